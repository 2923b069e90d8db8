#pragma once
// Parsers for SVG attribute and style values: numbers, angles, percentages,
// lengths, lists, view boxes, URL references, transform lists and base64.
//
// They are stateless and never throw; a value that cannot be read gives a
// fixed fallback that the document model relies on: 0 for numbers and
// lengths, -1 for an empty percentage, the all-zero rectangle, the empty
// reference, the all-zero matrix ("no transform"). Keywords and units are
// compared with their exact case. Numbers are single precision.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Matrix.h"
#include "svg/SVGTypes.h"

namespace karto {

// --- numbers and units ------------------------------------------------------------

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

// A transform list such as "translate(10,0) scale(2)". The first transform
// written acts on a point first: with row vectors the result is the product
// of the pieces from left to right. Pieces with an unknown name (the name
// runs up to "(" untrimmed) or a wrong number of arguments are skipped; a
// list without any valid piece gives TMatrix::Zero().
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
// One number, taken as radians as it stands.
TMatrix SkewXFromArgs(std::string_view args);
TMatrix SkewYFromArgs(std::string_view args);

// Decodes base64 (RFC 4648 alphabet) into stream, which is emptied first.
// Characters outside the alphabet (padding, white space, anything else) are
// skipped; bits left over at the end are dropped.
void Base64ToStream(std::string_view text, std::vector<uint8_t>& stream);

}  // namespace karto
