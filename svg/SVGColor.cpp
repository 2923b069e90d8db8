#include "svg/SVGColor.h"

#include <algorithm>
#include <cmath>

#include "platform/NamedColors.h"
#include "svg/SVGCommon.h"
#include "svg/SVGParse.h"

namespace karto {

namespace {

constexpr TAlphaColor kInvalidColor = 0xFFFFFFFFu;
// No keyword is longer; longer texts skip the lookup.
constexpr size_t kMaxKeywordLength = 24;

bool IsHexChar(char c) {
  return IsDigitChar(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool LookUpKeyword(std::string_view text, TAlphaColor& color) {
  if (text.size() > kMaxKeywordLength) return false;
  char lower[kMaxKeywordLength];
  for (size_t i = 0; i < text.size(); ++i) lower[i] = AsciiLowerChar(text[i]);
  const std::string_view key(lower, text.size());
  const std::vector<TColorRef>& table = ColorKeywords();
  const auto it = std::lower_bound(table.begin(), table.end(), key,
                                   [](const TColorRef& r, std::string_view k) { return r.Name < k; });
  if (it == table.end() || it->Name != key) return false;
  color = it->Color;
  return true;
}

// Whole-text integer in the forms the colour parser accepts after its
// hexadecimal step: optional leading spaces, an optional sign, then decimal
// digits (a signed 32-bit value) or hexadecimal digits after "$", "x", "X",
// "0x" or "0X" (up to 32 bits). The result is the value taken as unsigned.
bool TryTextToColorInt(std::string_view s, uint32_t& value) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  const bool hex = SkipChar(s, '$') || SkipChar(s, 'x') || SkipChar(s, 'X') || SkipPrefix(s, "0x") ||
                   SkipPrefix(s, "0X");
  if (s.empty()) return false;
  uint64_t v = 0;
  const uint64_t limit = hex ? 0xFFFFFFFFull : negative ? 0x80000000ull : 0x7FFFFFFFull;
  for (char c : s) {
    if (hex ? !IsHexChar(c) : !IsDigitChar(c)) return false;
    v = v * (hex ? 16 : 10) + uint64_t(hex ? HexDigitValue(c) : c - '0');
    if (v > limit) return false;
  }
  value = negative ? uint32_t(0u - uint32_t(v)) : uint32_t(v);
  return true;
}

// Cuts the part before the next comma off the front of rest and returns it,
// trimmed; rest keeps what follows the comma, trimmed. Without a comma the
// result is empty and rest stays as it is.
std::string_view CutBeforeComma(std::string_view& rest) {
  const size_t at = rest.find(',');
  if (at == std::string_view::npos) return {};
  const std::string_view head = TrimBlanks(rest.substr(0, at));
  rest = TrimBlanks(rest.substr(at + 1));
  return head;
}

// The inside of name(...) trimmed, or false when text is not that function.
bool FunctionInside(std::string_view text, std::string_view name, std::string_view& inside) {
  if (!SkipPrefix(text, name) || !SkipChar(text, '(') || text.empty() || text.back() != ')')
    return false;
  inside = TrimBlanks(text.substr(0, text.size() - 1));
  return true;
}

// Exactly count comma-separated items, each trimmed.
bool SplitCommas(std::string_view inside, std::string_view* items, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const size_t at = inside.find(',');
    if ((at == std::string_view::npos) != (i + 1 == count)) return false;
    items[i] = TrimBlanks(inside.substr(0, at));
    if (at != std::string_view::npos) inside.remove_prefix(at + 1);
  }
  return true;
}

// Rounds to the nearest integer, halves to even.
int RoundHalfEven(double v) { return int(std::nearbyint(v)); }

// An alpha value in 0..1, or a percentage; clamped. -1 when invalid.
int AlphaToByte(std::string_view text) {
  bool percent = false;
  if (!text.empty() && text.back() == '%') {
    percent = true;
    text.remove_suffix(1);
  }
  float v;
  if (text.empty() || !TryTextToSingle(text, v)) return -1;
  double a = percent ? v / 100.0 : v;
  a = std::clamp(a, 0.0, 1.0);
  return RoundHalfEven(a * 255);
}

// A percentage "50%" or "12.5%" as a fraction, clamped to 0..1.
bool PercentToFraction(std::string_view text, double& fraction) {
  if (text.empty() || text.back() != '%') return false;
  float v;
  if (!TryTextToSingle(text.substr(0, text.size() - 1), v)) return false;
  fraction = std::clamp(double(v) / 100.0, 0.0, 1.0);
  return true;
}

double HueToChannel(double m1, double m2, double h) {
  if (h < 0) h += 1;
  if (h > 1) h -= 1;
  if (h * 6 < 1) return m1 + (m2 - m1) * h * 6;
  if (h * 2 < 1) return m2;
  if (h * 3 < 2) return m1 + (m2 - m1) * (2.0 / 3 - h) * 6;
  return m1;
}

}  // namespace

const std::vector<TColorRef>& ColorKeywords() {
  static const std::vector<TColorRef> table = [] {
    std::vector<TColorRef> t;
    t.push_back({"none", 0x00000000u});
    t.push_back({"transparent", 0x00000000u});
    for (const TNamedColor& c : NamedColors()) t.push_back({c.name, c.color});
    std::sort(t.begin(), t.end(), [](const TColorRef& a, const TColorRef& b) { return a.Name < b.Name; });
    return t;
  }();
  return table;
}

bool IsHexDigits(std::string_view text) {
  SkipChar(text, '#');
  return std::all_of(text.begin(), text.end(), IsHexChar);
}

bool IsDecimalDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), IsDigitChar);
}

int HexDigitValue(char c) {
  if (IsDigitChar(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

std::string HexColorToIntText(std::string_view text) {
  SkipChar(text, '#');
  if (text.size() > 8) text = text.substr(0, 8);
  std::string digits;
  if (text.size() == 3) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : text) digits.append(2, kHex[HexDigitValue(c)]);  // d x 17 = "dd"
  } else {
    digits.assign(text);
  }
  if (digits.size() == 6) digits.insert(0, "FF");
  return "$" + digits;
}

int ColorComponentToByte(std::string_view text) {
  text = TrimBlanks(text);
  bool percent = false;
  if (!text.empty() && text.back() == '%') {
    percent = true;
    text.remove_suffix(1);
  }
  // The empty component is 0.
  const bool decimal = IsDecimalDigits(text);
  if (!decimal && !std::all_of(text.begin(), text.end(), IsHexChar)) return -1;
  const uint64_t limit = decimal ? 0x7FFFFFFFull : 0xFFFFFFFFull;
  uint64_t v = 0;
  for (char c : text) {
    v = v * (decimal ? 10 : 16) + uint64_t(HexDigitValue(c));
    if (v > limit) return -1;
  }
  if (!percent) return int(std::min<uint64_t>(v, 255));
  // percent x 2.55 in integers, so that 50% is exactly 127.5 and goes to 128.
  const uint64_t scaled = std::min<uint64_t>(v, 100) * 255;
  uint64_t q = scaled / 100;
  const uint64_t r = scaled % 100;
  if (r > 50 || (r == 50 && (q & 1))) ++q;
  return int(q);
}

TAlphaColor RgbFunctionToColor(std::string_view text) {
  std::string_view inside;
  int r, g, b, a = 255;
  if (FunctionInside(text, "rgb", inside)) {
    // Components are cut at the commas one after the other: with fewer than
    // two commas the leading components are empty (0).
    std::string_view rest = inside;
    const std::string_view red = CutBeforeComma(rest);
    const std::string_view green = CutBeforeComma(rest);
    r = ColorComponentToByte(red);
    g = ColorComponentToByte(green);
    b = ColorComponentToByte(rest);
  } else if (FunctionInside(text, "rgba", inside)) {
    std::string_view items[4];
    if (!SplitCommas(inside, items, 4)) return kInvalidColor;
    r = ColorComponentToByte(items[0]);
    g = ColorComponentToByte(items[1]);
    b = ColorComponentToByte(items[2]);
    a = AlphaToByte(items[3]);
  } else {
    return kInvalidColor;
  }
  if (r < 0 || g < 0 || b < 0 || a < 0) return kInvalidColor;
  return MakeColor(uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a));
}

TAlphaColor HslFunctionToColor(std::string_view text) {
  std::string_view inside;
  std::string_view items[4];
  int a = 255;
  if (FunctionInside(text, "hsl", inside)) {
    if (!SplitCommas(inside, items, 3)) return kInvalidColor;
  } else if (FunctionInside(text, "hsla", inside)) {
    if (!SplitCommas(inside, items, 4)) return kInvalidColor;
    a = AlphaToByte(items[3]);
    if (a < 0) return kInvalidColor;
  } else {
    return kInvalidColor;
  }
  float hue;
  double s, l;
  if (items[0].empty() || !TryTextToSingle(items[0], hue) || !PercentToFraction(items[1], s) ||
      !PercentToFraction(items[2], l))
    return kInvalidColor;
  double h = std::fmod(double(hue), 360.0);
  if (h < 0) h += 360;
  h /= 360;
  const double m2 = l <= 0.5 ? l * (s + 1) : l + s - l * s;
  const double m1 = l * 2 - m2;
  const auto channel = [](double v) { return uint8_t(RoundHalfEven(std::clamp(v, 0.0, 1.0) * 255)); };
  return MakeColor(channel(HueToChannel(m1, m2, h + 1.0 / 3)), channel(HueToChannel(m1, m2, h)),
                   channel(HueToChannel(m1, m2, h - 1.0 / 3)), uint8_t(a));
}

TAlphaColor ColorTextToAlphaColor(std::string_view text) {
  if (text.empty()) return 0xFF000000u;
  TAlphaColor color;
  if (LookUpKeyword(text, color)) return color;
  std::string hexText;
  std::string_view working = text;
  if (IsHexDigits(text) && !IsDecimalDigits(text)) {
    hexText = HexColorToIntText(text);
    working = hexText;
  }
  uint32_t value;
  if (TryTextToColorInt(working, value)) return value;
  if (StartsWith(working, "hsl")) return HslFunctionToColor(working);
  return RgbFunctionToColor(working);
}

}  // namespace karto
