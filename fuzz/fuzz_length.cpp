// Lengths and units on arbitrary text: the unit found is the one the
// length uses, and a length is its number times the unit's factor.

#include <cmath>

#include "fuzz/FuzzCheck.h"
#include "svg/SVGCommon.h"
#include "svg/SVGParse.h"

using namespace karto;
using namespace karto::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  const TLengthUnit unit = DetectLengthUnit(text);
  const float length = LengthToUserUnits(text);
  const std::string_view trimmed = TrimBlanks(text);
  const size_t unitLength = unit == luNone ? 0 : unit == luPercent ? 1 : 2;
  Check(unitLength <= trimmed.size(), "a unit lies inside the text", text);
  const float number = TextToSingle(trimmed.substr(0, trimmed.size() - unitLength));
  const float expected = number * LengthUnitFactor(unit);
  Check(length == expected || (std::isnan(length) && std::isnan(expected)), "length = number x factor", text);
  if (unit == luNone) Check(length == TextToSingle(trimmed), "no unit: the plain number", text);
  return 0;
}
