// Numbers, angles and percentages on arbitrary text: a failed number is 0,
// an accepted one is finite, within the range, and equals what the C
// library reads from the same digits (with "." as the point) to within the
// last bit of a float.

#include <cmath>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "svg/SVGParse.h"

using namespace karto;
using namespace karto::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  float v = 1;
  const bool ok = TryTextToSingle(text, v);
  Check(TextToSingle(text) == v || (std::isnan(v) && std::isnan(TextToSingle(text))), "TextToSingle agrees");
  if (!ok) {
    Check(v == 0, "a failed number is 0", text);
  } else {
    Check(std::isfinite(v) && std::fabs(v) <= 3.4e38f, "an accepted number is in range", text);
    std::string normal(text);
    for (char& c : normal)
      if (c == ',') c = '.';
    if (normal.find_first_of("0123456789") != std::string::npos) {
      const double reference = std::strtod(normal.c_str(), nullptr);
      const float expected = float(reference);
      Check(v == expected || std::nextafter(v, expected) == expected, "the value matches strtod", text);
    }
  }
  Check(std::isfinite(AngleToRadians(text)), "an angle is finite", text);
  const float percent = ReadPercentValue(text);
  Check(!std::isnan(percent), "a percentage is a number", text);
  return 0;
}
