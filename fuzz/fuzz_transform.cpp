// Transform lists on arbitrary text: no hang (the scan is linear), and the
// result is either the all-zero "no transform" or an affine matrix.

#include <cmath>

#include "fuzz/FuzzCheck.h"
#include "svg/SVGParse.h"

using namespace karto;
using namespace karto::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  const TMatrix m = TransformListToMatrix(text);
  if (m.m33 == 0) {
    Check(m == TMatrix::Zero(), "an unset transform is all zero", text);
  } else if (std::isfinite(m.m11) && std::isfinite(m.m12) && std::isfinite(m.m21) && std::isfinite(m.m22) &&
             std::isfinite(m.m31) && std::isfinite(m.m32)) {
    // Non-finite products (huge scales multiplied) may spoil the last column.
    Check(m.m13 == 0 && m.m23 == 0 && m.m33 == 1, "a set transform is affine", text);
  }
  return 0;
}
