#include "svg/SVGParse.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "svg/SVGCommon.h"

namespace karto {

namespace {

constexpr double kPi = 3.14159265358979323846;
// The largest magnitude a number may have.
constexpr double kMaxSingleMagnitude = 3.4e38;
// Mantissas up to this length are converted in a buffer on the stack.
constexpr size_t kNumberBufferSize = 96;

bool ConvertNumber(std::string_view body, bool negative, int64_t orderEstimate, float& value) {
  double d = 0;
  const auto result = std::from_chars(body.data(), body.data() + body.size(), d,
                                      std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    if (orderEstimate > 0) return false;  // too large
    d = 0;                                // too small: 0
  } else if (result.ec != std::errc() || result.ptr != body.data() + body.size()) {
    return false;
  }
  if (std::fabs(d) > kMaxSingleMagnitude) return false;
  value = float(negative ? -d : d);
  return true;
}

// Rough decimal order of the first significant digit of an unsigned number
// in SVG syntax (mantissa digits and point, optional exponent); only its sign
// matters: it tells an overflow from an underflow.
int64_t DecimalOrder(std::string_view n) {
  size_t i = 0;
  int64_t intDigits = 0, leadingZeros = 0;
  bool significant = false, point = false;
  for (; i < n.size() && (IsDigitChar(n[i]) || n[i] == '.'); ++i) {
    if (n[i] == '.') {
      point = true;
    } else if (n[i] != '0' || significant) {
      significant = true;
      if (!point) ++intDigits;
    } else if (point) {
      ++leadingZeros;
    }
  }
  int64_t exponent = 0;
  if (i < n.size()) {  // 'e' or 'E'
    ++i;
    const bool expNegative = i < n.size() && n[i] == '-';
    if (i < n.size() && (n[i] == '+' || n[i] == '-')) ++i;
    for (; i < n.size(); ++i)
      if (exponent < 1000000) exponent = exponent * 10 + (n[i] - '0');
    if (expNegative) exponent = -exponent;
  }
  return (intDigits > 0 ? intDigits : -leadingZeros) + exponent;
}

// Trims SVG white space at both ends.
std::string_view TrimSvgSpaces(std::string_view s) {
  while (!s.empty() && IsSvgSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSvgSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Whether all of s is one of the keywords (ASCII case ignored); found gets
// the value paired with it.
template <typename T, size_t N>
bool ReadWholeKeyword(std::string_view s, const std::pair<std::string_view, T> (&keywords)[N], T& found) {
  for (const auto& k : keywords) {
    if (EqualsIgnoringAsciiCase(s, k.first)) {
      found = k.second;
      return true;
    }
  }
  return false;
}

}  // namespace

// --- SVG grammar: scanners ------------------------------------------------------------

bool SkipSvgSpaces(std::string_view& s) {
  size_t i = 0;
  while (i < s.size() && IsSvgSpace(s[i])) ++i;
  s.remove_prefix(i);
  return i > 0;
}

bool ReadNumber(std::string_view& s, float& value) {
  const char* p = s.data();
  const char* const end = p + s.size();
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  const char* const body = p;
  while (p < end && IsDigitChar(*p)) ++p;
  bool digits = p != body;
  if (p < end && *p == '.') {
    const char* const fraction = p + 1;
    const char* q = fraction;
    while (q < end && IsDigitChar(*q)) ++q;
    if (q != fraction) digits = true;
    if (digits) p = q;  // "5." is a number, "." is none
  }
  if (!digits) return false;
  if (p < end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q < end && (*q == '+' || *q == '-')) ++q;
    if (q < end && IsDigitChar(*q)) {
      while (q < end && IsDigitChar(*q)) ++q;
      p = q;
    }
  }
  // Most numbers in drawings are short decimals ("12.75"): their digits fit
  // a double exactly, and one division rounds them.
  if (p - body <= 15) {
    uint64_t mantissa = 0;
    int decimals = -1;
    const char* q = body;
    for (; q < p; ++q) {
      if (*q == '.') decimals = 0;
      else if (IsDigitChar(*q)) {
        mantissa = mantissa * 10 + uint64_t(*q - '0');
        if (decimals >= 0) ++decimals;
      } else {
        break;  // an exponent: the general way below
      }
    }
    if (q == p) {
      static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                           1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
      const double v = double(mantissa) / kPowers[decimals > 0 ? decimals : 0];
      value = float(negative ? -v : v);
      s.remove_prefix(size_t(p - s.data()));
      return true;
    }
  }
  // The text is checked above: from_chars sees exactly one unsigned number,
  // never "inf", "nan" or a hexadecimal form.
  float v = 0;
  const auto result = std::from_chars(body, p, v, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    if (DecimalOrder(std::string_view(body, size_t(p - body))) > 0) return false;  // too large
    v = 0;                                                                          // too small
  } else if (result.ec != std::errc() || result.ptr != p) {
    return false;
  }
  value = negative ? -v : v;
  s.remove_prefix(size_t(p - s.data()));
  return true;
}

bool SkipCommaWsp(std::string_view& s) {
  const size_t before = s.size();
  SkipSvgSpaces(s);
  if (SkipChar(s, ',')) SkipSvgSpaces(s);
  return s.size() != before;
}

// --- SVG grammar: values ----------------------------------------------------------------

bool TryParseLength(std::string_view text, TSVGLength& out) {
  static constexpr std::pair<std::string_view, TLengthUnit> kUnits[] = {
      {"", luNone}, {"px", luPx}, {"pt", luPt}, {"pc", luPc}, {"mm", luMm},
      {"cm", luCm}, {"in", luIn}, {"em", luEm}, {"ex", luEx}, {"%", luPercent},
      {"Q", luQ}, {"rem", luRem}, {"ch", luCh}, {"vw", luVw}, {"vh", luVh}, {"vmin", luVmin}, {"vmax", luVmax}};
  std::string_view s = TrimSvgSpaces(text);
  float value;
  TLengthUnit unit;
  if (!ReadNumber(s, value) || !ReadWholeKeyword(s, kUnits, unit)) return false;
  out.Value = value;
  out.Unit = unit;
  return true;
}

float CssUnitToPx(TLengthUnit unit) {
  switch (unit) {
    case luIn: return 96.0f;
    case luCm: return float(96.0 / 2.54);
    case luMm: return float(96.0 / 25.4);
    case luPt: return float(4.0 / 3.0);
    case luPc: return 16.0f;
    case luQ: return float(96.0 / 101.6);
    case luRem: return 16.0f;  // the initial font size; documents resolve it from their root
    case luNone:
    case luPx:
    case luEm:
    case luEx:
    case luPercent:
    case luCh:
    case luVw:
    case luVh:
    case luVmin:
    case luVmax: return 1.0f;
  }
  return 1.0f;
}

bool TryParseNumber(std::string_view text, float& out) {
  std::string_view s = TrimSvgSpaces(text);
  float value;
  if (!ReadNumber(s, value) || !s.empty()) return false;
  out = value;
  return true;
}

bool TryParseNumberList(std::string_view text, std::vector<float>& out) {
  std::string_view s = TrimSvgSpaces(text);
  std::vector<float> values;
  while (!s.empty()) {
    float v;
    if (!ReadNumber(s, v)) return false;
    values.push_back(v);
    // A separator may be left out where the next number's sign or point
    // ends this one; a comma must be followed by a number.
    if (SkipCommaWsp(s) && s.empty()) return false;
  }
  out = std::move(values);
  return true;
}

bool TryParseAngle(std::string_view text, float& degrees) {
  static constexpr std::pair<std::string_view, double> kUnits[] = {
      {"", 1.0}, {"deg", 1.0}, {"grad", 0.9}, {"rad", 180.0 / kPi}, {"turn", 360.0}};
  std::string_view s = TrimSvgSpaces(text);
  float value;
  double factor;
  if (!ReadNumber(s, value) || !ReadWholeKeyword(s, kUnits, factor)) return false;
  const double d = double(value) * factor;
  if (std::fabs(d) > double(std::numeric_limits<float>::max())) return false;
  degrees = float(d);
  return true;
}

namespace {

// An affine map in SVG's column form: x' = a x + c y + e, y' = b x + d y + f.
struct Affine2D {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  // This map applied after m.
  Affine2D After(const Affine2D& m) const {
    return {a * m.a + c * m.b,       b * m.a + d * m.b,       a * m.c + c * m.d,
            b * m.c + d * m.d,       a * m.e + c * m.f + e,   b * m.e + d * m.f + f};
  }
};

Affine2D Translation(double tx, double ty) { return {1, 0, 0, 1, tx, ty}; }

double DegreesToRadians(double degrees) { return std::fmod(degrees, 360.0) * kPi / 180; }

// Reads "(" args ")" with up to six numbers; count gets how many there were.
bool ReadTransformArguments(std::string_view& s, float (&args)[6], int& count) {
  SkipSvgSpaces(s);
  if (!SkipChar(s, '(')) return false;
  SkipSvgSpaces(s);
  count = 0;
  for (;;) {
    if (count == 6 || !ReadNumber(s, args[count])) return false;
    ++count;
    SkipSvgSpaces(s);
    if (SkipChar(s, ')')) return true;
    if (SkipChar(s, ',')) SkipSvgSpaces(s);
  }
}

bool ReadTransform(std::string_view& s, Affine2D& piece) {
  enum Kind { kMatrix, kTranslate, kScale, kRotate, kSkewX, kSkewY };
  static constexpr std::pair<std::string_view, Kind> kNames[] = {
      {"matrix", kMatrix}, {"translate", kTranslate}, {"scale", kScale},
      {"rotate", kRotate}, {"skewX", kSkewX},         {"skewY", kSkewY}};
  Kind kind{};
  bool named = false;
  for (const auto& n : kNames) {
    if (SkipPrefix(s, n.first)) {
      kind = n.second;
      named = true;
      break;
    }
  }
  float v[6];
  int n = 0;
  if (!named || !ReadTransformArguments(s, v, n)) return false;
  switch (kind) {
    case kMatrix:
      if (n != 6) return false;
      piece = {v[0], v[1], v[2], v[3], v[4], v[5]};
      return true;
    case kTranslate:
      if (n > 2) return false;
      piece = Translation(v[0], n == 2 ? v[1] : 0.0);
      return true;
    case kScale:
      if (n > 2) return false;
      piece = {v[0], 0, 0, n == 2 ? v[1] : v[0], 0, 0};
      return true;
    case kRotate: {
      if (n != 1 && n != 3) return false;
      const double r = DegreesToRadians(v[0]);
      const double cs = std::cos(r), sn = std::sin(r);
      piece = {cs, sn, -sn, cs, 0, 0};
      // About (cx, cy): move the centre to the origin, rotate, move it back.
      if (n == 3) piece = Translation(v[1], v[2]).After(piece.After(Translation(-v[1], -v[2])));
      return true;
    }
    case kSkewX:
    case kSkewY: {
      if (n != 1) return false;
      const double t = std::tan(DegreesToRadians(v[0]));
      piece = kind == kSkewX ? Affine2D{1, 0, t, 1, 0, 0} : Affine2D{1, t, 0, 1, 0, 0};
      return true;
    }
  }
  return false;
}

bool FitsFloat(double v) { return std::fabs(v) <= double(std::numeric_limits<float>::max()); }

}  // namespace

bool TryParseTransform(std::string_view text, TMatrix& out) {
  std::string_view s = TrimSvgSpaces(text);
  Affine2D total;
  while (!s.empty()) {
    Affine2D piece;
    if (!ReadTransform(s, piece)) return false;
    // Written left to right, applied right to left: each new piece acts
    // before everything read so far.
    total = total.After(piece);
    // Separators between transforms: any run of white space and commas; a
    // list may not end in a comma.
    bool comma = false;
    while (!s.empty() && (IsSvgSpace(s.front()) || s.front() == ',')) {
      comma = comma || s.front() == ',';
      s.remove_prefix(1);
    }
    if (comma && s.empty()) return false;
  }
  if (!FitsFloat(total.a) || !FitsFloat(total.b) || !FitsFloat(total.c) || !FitsFloat(total.d) ||
      !FitsFloat(total.e) || !FitsFloat(total.f))
    return false;
  TMatrix m;
  m.m11 = float(total.a);
  m.m12 = float(total.b);
  m.m21 = float(total.c);
  m.m22 = float(total.d);
  m.m31 = float(total.e);
  m.m32 = float(total.f);
  out = m;
  return true;
}

bool TryParseViewBox(std::string_view text, TFRect& out) {
  std::vector<float> v;
  if (!TryParseNumberList(text, v) || v.size() != 4 || v[2] < 0 || v[3] < 0) return false;
  out = TFRect{v[0], v[1], v[2], v[3]};
  return true;
}

bool TryParsePreserveAspectRatio(std::string_view text, TPreserveAspectRatio& out) {
  static constexpr std::pair<std::string_view, TAspectAlign> kAligns[] = {
      {"none", TAspectAlign::None},         {"xMinYMin", TAspectAlign::xMinYMin},
      {"xMidYMin", TAspectAlign::xMidYMin}, {"xMaxYMin", TAspectAlign::xMaxYMin},
      {"xMinYMid", TAspectAlign::xMinYMid}, {"xMidYMid", TAspectAlign::xMidYMid},
      {"xMaxYMid", TAspectAlign::xMaxYMid}, {"xMinYMax", TAspectAlign::xMinYMax},
      {"xMidYMax", TAspectAlign::xMidYMax}, {"xMaxYMax", TAspectAlign::xMaxYMax}};
  std::string_view s = TrimSvgSpaces(text);
  // Up to three words separated by white space.
  std::string_view words[3];
  int count = 0;
  while (!s.empty()) {
    if (count == 3) return false;
    size_t n = 0;
    while (n < s.size() && !IsSvgSpace(s[n])) ++n;
    words[count++] = s.substr(0, n);
    s.remove_prefix(n);
    SkipSvgSpaces(s);
  }
  int w = 0;
  if (w < count && words[w] == "defer") ++w;
  if (w == count) return false;
  TPreserveAspectRatio result;
  bool found = false;
  for (const auto& a : kAligns) {
    if (words[w] == a.first) {
      result.Align = a.second;
      found = true;
    }
  }
  if (!found) return false;
  ++w;
  if (w < count) {
    if (words[w] == "slice")
      result.Slice = true;
    else if (words[w] != "meet")
      return false;
    ++w;
  }
  if (w != count) return false;
  out = result;
  return true;
}

TMatrix ViewBoxToViewportMatrix(const TFRect& viewBox, const TPreserveAspectRatio& par, const TRectF& viewport) {
  if (!(viewBox.Width > 0) || !(viewBox.Height > 0))
    return TMatrix::CreateTranslation(viewport.Left, viewport.Top);
  const double vpWidth = double(viewport.Right) - viewport.Left;
  const double vpHeight = double(viewport.Bottom) - viewport.Top;
  double sx = vpWidth / viewBox.Width;
  double sy = vpHeight / viewBox.Height;
  double alignX = 0, alignY = 0;  // 0 min, 0.5 mid, 1 max
  if (par.Align != TAspectAlign::None) {
    sx = sy = par.Slice ? std::max(sx, sy) : std::min(sx, sy);
    const int index = int(par.Align) - int(TAspectAlign::xMinYMin);
    alignX = (index % 3) * 0.5;
    alignY = (index / 3) * 0.5;
  }
  const double tx = viewport.Left - viewBox.Left * sx + (vpWidth - viewBox.Width * sx) * alignX;
  const double ty = viewport.Top - viewBox.Top * sy + (vpHeight - viewBox.Height * sy) * alignY;
  TMatrix m = TMatrix::CreateScaling(float(sx), float(sy));
  m.m31 = float(tx);
  m.m32 = float(ty);
  return m;
}

// --- numbers and units (fallback readers) ------------------------------------------

bool TryTextToSingle(std::string_view text, float& value) {
  value = 0;
  std::string_view s = text;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  // Check the grammar here: from_chars would also take "inf", "nan" and
  // hexadecimal forms, and needs "." as the point.
  size_t i = 0;
  size_t digits = 0, leadingZeros = 0, intDigits = 0;
  bool point = false, significant = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (IsDigitChar(c)) {
      ++digits;
      if (c != '0') significant = true;
      if (!point && significant) ++intDigits;
      if (point && !significant) ++leadingZeros;
    } else if (c == '.' || c == ',') {
      if (point) return false;
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0 && !point) return false;
  const size_t mantissaEnd = i;
  int64_t exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool expNegative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) expNegative = s[i++] == '-';
    const size_t expStart = i;
    for (; i < s.size() && IsDigitChar(s[i]); ++i)
      if (exponent < 100000) exponent = exponent * 10 + (s[i] - '0');
    if (i == expStart) return false;
    if (expNegative) exponent = -exponent;
  }
  if (i != s.size()) return false;
  if (digits == 0 || !significant) return true;  // "." or all zeros: 0

  // The decimal order of the first significant digit, to tell overflow from
  // underflow when from_chars reports the value out of range.
  const int64_t order = (intDigits > 0 ? int64_t(intDigits) : -int64_t(leadingZeros)) + exponent;
  char stackBuffer[kNumberBufferSize];
  std::string heapBuffer;
  char* buf = stackBuffer;
  if (s.size() > kNumberBufferSize) {
    heapBuffer.resize(s.size());
    buf = heapBuffer.data();
  }
  std::memcpy(buf, s.data(), s.size());
  for (size_t k = 0; k < mantissaEnd; ++k)
    if (buf[k] == ',') buf[k] = '.';
  return ConvertNumber(std::string_view(buf, s.size()), negative, order, value);
}

float TextToSingle(std::string_view text) {
  float v;
  TryTextToSingle(text, v);
  return v;
}

float AngleToRadians(std::string_view text) {
  if (text.empty()) return 0;
  struct Unit {
    std::string_view name;
    double factor;
  };
  // "grad" holds "rad", so it is looked for first.
  static constexpr Unit kUnits[] = {{"deg", kPi / 180}, {"grad", kPi / 200}, {"rad", 1}};
  for (const Unit& u : kUnits) {
    const size_t at = text.find(u.name);
    if (at != std::string_view::npos) return float(double(TextToSingle(text.substr(0, at))) * u.factor);
  }
  return float(double(TextToSingle(text)) * kPi / 180);
}

float ReadPercentValue(std::string_view text) {
  if (text.empty()) return -1;
  if (text.back() == '%') return TextToSingle(text.substr(0, text.size() - 1)) / 100.0f;
  return TextToSingle(text);
}

TLengthUnit DetectLengthUnit(std::string_view text) {
  struct Unit {
    std::string_view suffix;
    TLengthUnit unit;
  };
  static constexpr Unit kUnits[] = {{"px", luPx}, {"pt", luPt}, {"pc", luPc}, {"mm", luMm},
                                    {"cm", luCm}, {"in", luIn}, {"em", luEm}, {"ex", luEx}};
  const std::string_view s = TrimBlanks(text);
  if (s.size() >= 2) {
    const std::string_view last2 = s.substr(s.size() - 2);
    for (const Unit& u : kUnits)
      if (last2 == u.suffix) return u.unit;
  }
  if (!s.empty() && s.back() == '%') return luPercent;
  return luNone;
}

float LengthUnitFactor(TLengthUnit unit) {
  switch (unit) {
    case luPt: return 1.25f;
    case luPc: return 15.0f;
    case luMm: return 10.0f;
    case luCm: return 100.0f;
    case luIn: return 25.4f;
    case luQ: return 2.5f;
    case luNone:
    case luPx:
    case luEm:
    case luEx:
    case luPercent:
    case luRem:
    case luCh:
    case luVw:
    case luVh:
    case luVmin:
    case luVmax: return 1.0f;
  }
  return 1.0f;
}

float LengthToUserUnits(std::string_view text) {
  const std::string_view s = TrimBlanks(text);
  const TLengthUnit unit = DetectLengthUnit(s);
  const size_t unitLength = unit == luNone ? 0 : unit == luPercent ? 1 : 2;
  return TextToSingle(s.substr(0, s.size() - unitLength)) * LengthUnitFactor(unit);
}

// --- structured values ---------------------------------------------------------

std::vector<std::string> SplitValues(std::string_view text, char delimiter) {
  std::vector<std::string> items;
  auto isSeparatorBlank = [](char c) { return c != 0 && IsBlankChar(c); };
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const char c = text[i];
    if (c == delimiter || isSeparatorBlank(c)) {
      ++i;
      continue;
    }
    std::string item;
    if (c == '"') {
      ++i;
      while (i < n) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      const size_t start = i;
      while (i < n && text[i] != delimiter && !isSeparatorBlank(text[i])) ++i;
      item.assign(text.substr(start, i - start));
    }
    if (!item.empty()) items.push_back(std::move(item));
  }
  return items;
}

TFRect ReadRectangle(std::string_view text) {
  const std::vector<std::string> items = SplitValues(TrimBlanks(text), ',');
  if (items.size() != 4) return TFRect{};
  return TFRect{LengthToUserUnits(items[0]), LengthToUserUnits(items[1]),
                LengthToUserUnits(items[2]), LengthToUserUnits(items[3])};
}

std::string ExtractUrlReference(std::string_view text) {
  std::string_view s = TrimBlanks(text);
  if (!SkipPrefix(s, "url(#") || s.empty() || s.back() != ')') return {};
  s.remove_suffix(1);
  return std::string(s);
}

namespace {

TMatrix Affine(float m11, float m12, float m21, float m22, float m31, float m32) {
  TMatrix m;
  m.m11 = m11;
  m.m12 = m12;
  m.m21 = m21;
  m.m22 = m22;
  m.m31 = m31;
  m.m32 = m32;
  return m;
}

std::vector<float> Numbers(std::string_view args) {
  std::vector<float> values;
  for (const std::string& item : SplitValues(args, ',')) values.push_back(TextToSingle(item));
  return values;
}

}  // namespace

TMatrix MatrixFromArgs(std::string_view args) {
  const std::vector<float> v = Numbers(args);
  if (v.size() != 6) return TMatrix::Zero();
  return Affine(v[0], v[1], v[2], v[3], v[4], v[5]);
}

TMatrix TranslateFromArgs(std::string_view args) {
  const std::vector<float> v = Numbers(args);
  if (v.empty() || v.size() > 2) return TMatrix::Zero();
  return TMatrix::CreateTranslation(v[0], v.size() == 2 ? v[1] : 0.0f);
}

TMatrix ScaleFromArgs(std::string_view args) {
  const std::vector<float> v = Numbers(args);
  if (v.empty() || v.size() > 2) return TMatrix::Zero();
  return TMatrix::CreateScaling(v[0], v.size() == 2 ? v[1] : v[0]);
}

TMatrix RotateFromArgs(std::string_view args) {
  const std::vector<std::string> items = SplitValues(args, ',');
  if (items.empty()) return TMatrix::Zero();
  const TMatrix rotation = TMatrix::CreateRotation(AngleToRadians(items[0]));
  if (items.size() != 3) return rotation;
  // About (cx, cy): move the centre to the origin, rotate, move it back.
  const float cx = TextToSingle(items[1]);
  const float cy = TextToSingle(items[2]);
  return TMatrix::CreateTranslation(-cx, -cy) * rotation * TMatrix::CreateTranslation(cx, cy);
}

TMatrix SkewXFromArgs(std::string_view args) {
  const std::vector<float> v = Numbers(args);
  if (v.size() != 1) return TMatrix::Zero();
  return Affine(1, 0, float(std::tan(DegreesToRadians(v[0]))), 1, 0, 0);
}

TMatrix SkewYFromArgs(std::string_view args) {
  const std::vector<float> v = Numbers(args);
  if (v.size() != 1) return TMatrix::Zero();
  return Affine(1, float(std::tan(DegreesToRadians(v[0]))), 0, 1, 0, 0);
}

TMatrix TransformListToMatrix(std::string_view text) {
  TMatrix m;
  return TryParseTransform(text, m) ? m : TMatrix::Zero();
}

void Base64ToStream(std::string_view text, std::vector<uint8_t>& stream) {
  struct Table {
    int8_t v[256];
  };
  static const Table kIndex = [] {
    Table t{};
    for (int8_t& v : t.v) v = -1;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) t.v[static_cast<unsigned char>(alphabet[i])] = int8_t(i);
    return t;
  }();
  stream.clear();
  stream.reserve(text.size() * 3 / 4);
  uint32_t acc = 0;
  int bits = 0;
  for (char ch : text) {
    const int8_t v = kIndex.v[static_cast<unsigned char>(ch)];
    if (v < 0) continue;
    acc = (acc << 6) | uint32_t(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      stream.push_back(uint8_t(acc >> bits));
      acc &= (1u << bits) - 1;
    }
  }
}

}  // namespace karto
