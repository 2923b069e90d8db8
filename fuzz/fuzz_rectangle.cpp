// View boxes and URL references on arbitrary text.

#include "fuzz/FuzzCheck.h"
#include "svg/SVGCommon.h"
#include "svg/SVGParse.h"

using namespace karto;
using namespace karto::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  const TFRect r = ReadRectangle(text);
  if (SplitValues(TrimBlanks(text), ',').size() != 4) Check(r == TFRect{}, "not four numbers: all zero", text);
  const std::string id = ExtractUrlReference(text);
  Check(id.size() + 6 <= text.size() || id.empty(), "an id lies inside url(#...)", text);
  return 0;
}
