#include "svg/SVGParse.h"

#include <charconv>
#include <cmath>
#include <cstring>

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

}  // namespace

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
    case luNone:
    case luPx:
    case luEm:
    case luEx:
    case luPercent: return 1.0f;
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
  return Affine(1, 0, float(std::tan(double(v[0]))), 1, 0, 0);
}

TMatrix SkewYFromArgs(std::string_view args) {
  const std::vector<float> v = Numbers(args);
  if (v.size() != 1) return TMatrix::Zero();
  return Affine(1, float(std::tan(double(v[0]))), 0, 1, 0, 0);
}

TMatrix TransformListToMatrix(std::string_view text) {
  using Builder = TMatrix (*)(std::string_view);
  struct Transform {
    std::string_view name;
    Builder build;
  };
  static constexpr Transform kTransforms[] = {
      {"matrix", MatrixFromArgs}, {"translate", TranslateFromArgs}, {"scale", ScaleFromArgs},
      {"rotate", RotateFromArgs}, {"skewX", SkewXFromArgs},         {"skewY", SkewYFromArgs}};

  TMatrix result = TMatrix::Zero();
  const std::string_view s = TrimBlanks(text);
  const size_t npos = std::string_view::npos;
  size_t p = 0;
  size_t open = npos;  // the first "(" at or after p, kept while it lies ahead
  std::string args;
  for (;;) {
    while (p < s.size() && IsBlankChar(s[p])) ++p;
    if (p >= s.size()) break;
    if (open == npos || open < p) open = s.find('(', p);
    const size_t close = s.find(')', p);
    if (open == npos || close == npos) break;
    const std::string_view name = s.substr(p, open - p);
    args.assign(close > open ? TrimBlanks(s.substr(open + 1, close - open - 1)) : std::string_view());
    for (char& c : args)
      if (c == ' ') c = ',';
    TMatrix piece = TMatrix::Zero();
    for (const Transform& t : kTransforms)
      if (name == t.name) piece = t.build(args);
    if (piece.m33 == 1) result = result.m33 != 0 ? result * piece : piece;
    p = close + 1;
  }
  return result;
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
