// Colours on arbitrary text: every text gives a colour without trouble, a
// component is a byte or -1, and keywords ignore ASCII case.

#include <string>

#include "fuzz/FuzzCheck.h"
#include "svg/SVGColor.h"

using namespace karto;
using namespace karto::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  const TAlphaColor color = ColorTextToAlphaColor(text);
  const int byte = ColorComponentToByte(text);
  Check(byte >= -1 && byte <= 255, "a component is a byte or -1", text);
  RgbFunctionToColor(text);
  HslFunctionToColor(text);
  // A keyword in other letter case is the same colour.
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  for (const TColorRef& k : ColorKeywords())
    if (k.Name == lower) Check(color == k.Color, "keywords ignore case", text);
  return 0;
}
