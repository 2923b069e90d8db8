// Transform lists on arbitrary text: no hang (the scan is linear); a list is
// either invalid, leaving the output untouched and giving the all-zero "no
// transform" to TransformListToMatrix, or a finite affine matrix that
// TransformListToMatrix gives too.

#include <cmath>

#include "fuzz/FuzzCheck.h"
#include "svg/SVGParse.h"

using namespace karto;
using namespace karto::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  const TMatrix untouched = TMatrix::CreateTranslation(42, 43);
  TMatrix m = untouched;
  const bool ok = TryParseTransform(text, m);
  const TMatrix old = TransformListToMatrix(text);
  if (!ok) {
    Check(m == untouched, "an invalid list leaves the output untouched", text);
    Check(old == TMatrix::Zero(), "an invalid list is no transform", text);
    return 0;
  }
  Check(std::isfinite(m.m11) && std::isfinite(m.m12) && std::isfinite(m.m21) && std::isfinite(m.m22) &&
            std::isfinite(m.m31) && std::isfinite(m.m32),
        "a valid list is finite", text);
  Check(m.m13 == 0 && m.m23 == 0 && m.m33 == 1, "a valid list is affine", text);
  Check(old == m, "TransformListToMatrix agrees", text);
  return 0;
}
