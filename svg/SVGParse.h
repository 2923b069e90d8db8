#pragma once
// Parsers for SVG attribute and style values: numbers, angles, percentages,
// lengths, lists, view boxes, URL references, transform lists and base64.
//
// They are stateless and never throw. There are two families:
//
// - The Try forms and the scanners at the top follow the grammar SVG gives
//   for attribute values. They keep "absent" and "invalid" apart: a Try
//   function returns false for text that breaks the grammar and then leaves
//   its output untouched. White space is SVG's: space, tab, line feed,
//   carriage return and form feed.
// - The older readers below them give a fixed fallback for a value that
//   cannot be read, which the document model relies on: 0 for numbers and
//   lengths, -1 for an empty percentage, the all-zero rectangle, the empty
//   reference, the all-zero matrix ("no transform"). Their keywords and units
//   are compared with their exact case.
//
// Numbers are single precision.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Matrix.h"
#include "svg/SVGTypes.h"

namespace karto {

// --- SVG grammar: scanners ------------------------------------------------------------

constexpr bool IsSvgSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Consumes leading SVG white space; true when there was any.
bool SkipSvgSpaces(std::string_view& s);

// Consumes the SVG/CSS number at the front of s and returns true:
//   [+-]? (digits ("." digits?)? | "." digits) ([eE] [+-]? digits)?
// The exponent is taken only when digits follow it, so "1em" reads 1 and
// leaves "em"; "." alone is no number; ".5.5" reads .5 and leaves ".5".
// A number whose magnitude a float cannot hold (above 3.40282347e38 after
// rounding) is invalid; one too small for a float reads as 0 (or the nearest
// denormal). On failure s and value are untouched.
bool ReadNumber(std::string_view& s, float& value);

// Consumes optional white space, then at most one comma, then optional white
// space; true if anything was consumed.
bool SkipCommaWsp(std::string_view& s);

// --- SVG grammar: values ----------------------------------------------------------------

// A length as written: the number and its unit (luNone: user units).
struct TSVGLength {
  float Value = 0;
  TLengthUnit Unit = luNone;
};

// The whole text, white space around it trimmed, is one number directly
// followed by an optional unit: px pt pc mm cm in em ex % (ASCII case does not
// matter). False for anything else, e.g. "10 px", "abc", "", "1e".
bool TryParseLength(std::string_view text, TSVGLength& out);

// Pixels per unit for CSS absolute units: px 1, in 96, cm 96/2.54,
// mm 96/25.4, pt 4/3, pc 16, luNone 1. em, ex and % give 1: the caller
// resolves them against the font size or the viewport.
float CssUnitToPx(TLengthUnit unit);

// The whole text, white space around it trimmed, is one number.
bool TryParseNumber(std::string_view text, float& out);

// Numbers separated by white space and/or one comma; out is replaced. The
// empty or blank text is the empty list (true). A comma at either end or two
// commas in a row are invalid.
bool TryParseNumberList(std::string_view text, std::vector<float>& out);

// A number with an optional unit deg (the default), grad, rad or turn (ASCII
// case does not matter); the result is in degrees and must fit a float.
bool TryParseAngle(std::string_view text, float& degrees);

// An SVG transform list: matrix(a b c d e f), translate(tx [ty]),
// scale(sx [sy]), rotate(a [cx cy]) and skewX(a), skewY(a), angles in
// degrees. Names are case-sensitive; white space may stand between a name and
// its "("; arguments are separated by white space and/or one comma (or by
// nothing where a sign or point starts the next number); transforms by white
// space and/or commas, or by nothing. The empty or blank text is the identity
// (true).
//
// The meaning is SVG's: the last transform written acts on a point first, so
// "translate(10,0) scale(2)" maps x to 2x + 10. TMatrix is in row-vector form
// (A * B applies A first), so out is the product of the pieces from right to
// left. The product is formed in double precision.
//
// Any syntax error (unknown name, wrong argument count, junk anywhere) makes
// the whole list invalid, and so does a product that does not fit a float.
bool TryParseTransform(std::string_view text, TMatrix& out);

// A view box: exactly four numbers separated like a number list. False for
// another count or a negative width or height; a zero width or height is
// valid (it means "draw nothing"; the caller decides).
bool TryParseViewBox(std::string_view text, TFRect& out);

enum class TAspectAlign {
  None,
  xMinYMin,
  xMidYMin,
  xMaxYMin,
  xMinYMid,
  xMidYMid,
  xMaxYMid,
  xMinYMax,
  xMidYMax,
  xMaxYMax
};
struct TPreserveAspectRatio {
  TAspectAlign Align = TAspectAlign::xMidYMid;
  bool Slice = false;
  bool operator==(const TPreserveAspectRatio& o) const { return Align == o.Align && Slice == o.Slice; }
};

// "[defer] <align> [meet | slice]" with the keywords in their exact case and
// white space between them; false for anything else. "defer" is accepted and
// dropped (it only matters for images).
bool TryParsePreserveAspectRatio(std::string_view text, TPreserveAspectRatio& out);

// The row-vector matrix that maps the view box onto the viewport as
// preserveAspectRatio says: translate by (-viewBox.Left, -viewBox.Top), scale
// (uniformly by the smaller factor for meet, the larger for slice, each axis
// on its own for none), then shift by the alignment offset and the viewport
// origin. An empty view box (width or height <= 0) gives the translation to
// the viewport origin.
TMatrix ViewBoxToViewportMatrix(const TFRect& viewBox, const TPreserveAspectRatio& par, const TRectF& viewport);

// --- numbers and units (fallback readers) ------------------------------------------

// A decimal number: optional spaces (U+0020), an optional sign, digits with
// at most one decimal point, an optional exponent (e or E, optional sign,
// digits), optional spaces and nothing else. Both "." and "," serve as the
// decimal point ("1,5" is 1.5, "1,000.5" is no number). A mantissa needs a
// digit or the point; a magnitude above 3.4e38 is no number, one too small
// for a float is 0. On failure value is 0 and the result false.
bool TryTextToSingle(std::string_view text, float& value);
// TryTextToSingle without the flag: 0 when the text is no number.
float TextToSingle(std::string_view text);

// An angle in radians. The unit is searched anywhere in the text, in the
// order "deg", "grad", "rad"; the number is the text before it. Without a
// unit the number is in degrees. Empty text or a bad number gives 0.
float AngleToRadians(std::string_view text);

// "50%" and "0.5" both give 0.5; the empty text gives -1; anything else that
// is no number gives 0.
float ReadPercentValue(std::string_view text);

// The unit at the end of the trimmed text: the last two characters "px",
// "pt", "pc", "mm", "cm", "in", "em", "ex" (exact case), else a last "%",
// else luNone.
TLengthUnit DetectLengthUnit(std::string_view text);
// Karto's own scale, not pixels per inch: px, em, ex and % 1, pt 1.25,
// pc 15, mm 10, cm 100, in 25.4.
float LengthUnitFactor(TLengthUnit unit);
// The trimmed text's number times its unit's factor; a percentage gives the
// bare number ("50%" is 50). A bad number gives 0.
float LengthToUserUnits(std::string_view text);

// --- structured values ---------------------------------------------------------

// Items separated by delimiter or by any run of blank characters (codes 1 to
// 32). An item that starts with a double quote runs to its closing quote; the
// quotes are removed and a doubled quote inside stands for one (an unclosed
// quote runs to the end). Empty items are dropped; order is kept.
std::vector<std::string> SplitValues(std::string_view text, char delimiter);

// A view box: four lengths separated by commas and/or white space. Any other
// count gives the all-zero rectangle.
TFRect ReadRectangle(std::string_view text);

// The id in "url(#id)" (the trimmed text must start with "url(#" and end with
// ")", exact case), else the empty string.
std::string ExtractUrlReference(std::string_view text);

// TryParseTransform's matrix (the blank text gives the identity), or
// TMatrix::Zero() ("no transform") when the list is invalid.
TMatrix TransformListToMatrix(std::string_view text);

// The builders take the argument text of one transform with its items
// separated by commas and/or blanks, and give TMatrix::Zero() for a wrong
// number of items.
TMatrix MatrixFromArgs(std::string_view args);     // a, b, c, d, e, f
TMatrix TranslateFromArgs(std::string_view args);  // tx [, ty = 0]
TMatrix ScaleFromArgs(std::string_view args);      // sx [, sy = sx]
// angle (AngleToRadians: a bare number is in degrees) [, cx, cy]: a rotation
// about (cx, cy); cx and cy count only when there are exactly three items.
TMatrix RotateFromArgs(std::string_view args);
// One number: the skew angle in degrees.
TMatrix SkewXFromArgs(std::string_view args);
TMatrix SkewYFromArgs(std::string_view args);

// Decodes base64 (RFC 4648 alphabet) into stream, which is emptied first.
// Characters outside the alphabet (padding, white space, anything else) are
// skipped; bits left over at the end are dropped.
void Base64ToStream(std::string_view text, std::vector<uint8_t>& stream);

}  // namespace karto
