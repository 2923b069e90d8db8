#pragma once
// SVG colour values ("fill", "stroke", "stop-color" ...) to 32-bit colours
// $AARRGGBB. Every text gives a colour: the empty text opaque black, anything
// unrecognised opaque white. Callers that must tell "none" or a missing
// colour from a colour look at the text themselves.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Types.h"

namespace karto {

struct TColorRef {
  std::string_view Name;
  TAlphaColor Color;
};

// The colour keywords, sorted by name: "none" and "transparent" (both
// $00000000) and the 147 keywords of CSS with alpha 255, the grey/gray
// spellings all included.
const std::vector<TColorRef>& ColorKeywords();

// The colour parser, in this order:
//  1. the empty text gives $FF000000;
//  2. a keyword, ASCII case ignored ("Red" is red, "none" transparent);
//  3. hexadecimal: "#" followed by hexadecimal digits, or digits without "#"
//     that hold at least one letter ("ff0000"): 3 and 6 digits are opaque,
//     8 digits carry their own alpha in front, other counts are the plain
//     number (mostly alpha 0);
//  4. an integer with an optional sign, decimal or hexadecimal after "$",
//     "x" or "0x": the 32-bit value as it is ("255" is a transparent blue);
//  5. rgb(), rgba(), hsl() and hsla() of CSS Color 3;
//  6. anything else gives $FFFFFFFF.
TAlphaColor ColorTextToAlphaColor(std::string_view text);

// color with its alpha byte replaced.
constexpr TAlphaColor ColorWithAlpha(TAlphaColor color, uint8_t alpha) {
  return (TAlphaColor(alpha) << 24) | (color & 0x00FFFFFFu);
}

// After one optional leading "#", only 0-9, A-F, a-f (the empty rest counts).
bool IsHexDigits(std::string_view text);
// Only 0-9; the empty text counts.
bool IsDecimalDigits(std::string_view text);
// 0 to 15 for a hexadecimal digit, 0 for any other character.
int HexDigitValue(char c);
// "#f00" to "$FFFF0000": the "#" dropped, more than 8 digits cut to 8, 3
// digits doubled, 6 digits given an opaque "FF" in front, "$" in front.
std::string HexColorToIntText(std::string_view text);

// One rgb() component: decimal digits, or hexadecimal digits ("ff" is 255),
// optionally followed by "%"; white space around it is ignored and the empty
// component is 0. Values above 255 (above 100%) are clamped; a percentage is
// scaled by 2.55 and rounded to nearest, halves to even. -1 when invalid (a
// sign, a decimal point, inner white space, more than 32 bits).
int ColorComponentToByte(std::string_view text);

// "rgb(r, g, b)" or "rgba(r, g, b, a)" (exact case) with components as in
// ColorComponentToByte and an alpha in 0..1 or a percentage (clamped).
// $FFFFFFFF when invalid.
TAlphaColor RgbFunctionToColor(std::string_view text);
// "hsl(h, s%, l%)" or "hsla(h, s%, l%, a)": the hue in degrees, saturation
// and lightness as percentages. $FFFFFFFF when invalid.
TAlphaColor HslFunctionToColor(std::string_view text);

}  // namespace karto
