#include "svg/SVGPresentation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

#include "svg/SVGColor.h"
#include "svg/SVGCommon.h"
#include "svg/SVGStyle.h"

namespace karto {

namespace {

// --- small scanners ---------------------------------------------------------------

bool EqualsNoCase(std::string_view a, std::string_view b) { return EqualsIgnoringAsciiCase(a, b); }

// Keyword lookup in a small table; false when text is none of them.
template <class E, size_t N>
bool LookUp(std::string_view text, const std::pair<std::string_view, E> (&table)[N], E& out) {
  for (const auto& row : table)
    if (text == row.first) {
      out = row.second;
      return true;
    }
  return false;
}

uint8_t ClampByte(double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 255.0))); }

// One rgb() component: a number (0..255) or a percentage.
bool ReadRgbComponent(std::string_view& s, double& value, bool& percent) {
  float v;
  SkipBlanks(s);
  if (!ReadNumber(s, v)) return false;
  percent = SkipChar(s, '%');
  value = percent ? double(v) / 100 * 255 : double(v);
  return true;
}

// An alpha value: a number 0..1 or a percentage.
bool ReadAlpha(std::string_view& s, double& alpha) {
  float v;
  SkipBlanks(s);
  if (!ReadNumber(s, v)) return false;
  alpha = SkipChar(s, '%') ? double(v) / 100 : double(v);
  alpha = std::clamp(alpha, 0.0, 1.0);
  return true;
}

// The arguments of rgb()/hsl() after the "(": three values separated by
// commas or blanks, then optionally ", a" or "/ a", then ")".
bool ReadColorFunction(std::string_view s, bool hsl, TAlphaColor& out) {
  double c[3];
  bool percent[3] = {false, false, false};
  bool commas = false;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      std::string_view ahead = s;
      SkipBlanks(ahead);
      commas = commas || (!ahead.empty() && ahead.front() == ',');
      SkipCommaWsp(s);
    }
    if (hsl && i == 0) {
      float v;
      SkipBlanks(s);
      if (!ReadNumber(s, v)) return false;
      SkipPrefix(s, "deg");
      c[0] = v;
    } else if (!ReadRgbComponent(s, c[i], percent[i])) {
      return false;
    }
  }
  // The comma-separated form takes three numbers or three percentages,
  // never a mix.
  if (!hsl && commas && !(percent[0] == percent[1] && percent[1] == percent[2])) return false;
  double alpha = 1;
  SkipBlanks(s);
  if (SkipChar(s, ',') || SkipChar(s, '/')) {
    if (!ReadAlpha(s, alpha)) return false;
  }
  SkipBlanks(s);
  if (!SkipChar(s, ')')) return false;
  SkipBlanks(s);
  if (!s.empty()) return false;
  const uint8_t a = ClampByte(alpha * 255);
  if (!hsl) {
    out = MakeColor(ClampByte(c[0]), ClampByte(c[1]), ClampByte(c[2]), a);
    return true;
  }
  // hsl: saturation and lightness were read as percentages times 2.55.
  const double h = std::fmod(std::fmod(c[0], 360.0) + 360.0, 360.0) / 360.0;
  const double sat = std::clamp(c[1] / 255.0, 0.0, 1.0);
  const double light = std::clamp(c[2] / 255.0, 0.0, 1.0);
  const double q = light < 0.5 ? light * (1 + sat) : light + sat - light * sat;
  const double p = 2 * light - q;
  auto channel = [&](double t) {
    t = t < 0 ? t + 1 : t > 1 ? t - 1 : t;
    if (t < 1.0 / 6) return p + (q - p) * 6 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
  };
  out = MakeColor(ClampByte(channel(h + 1.0 / 3) * 255), ClampByte(channel(h) * 255),
                  ClampByte(channel(h - 1.0 / 3) * 255), a);
  return true;
}

bool TryParseLengthNonNegative(std::string_view text, TSVGLength& out) {
  TSVGLength v;
  if (!TryParseLength(text, v) || v.Value < 0) return false;
  out = v;
  return true;
}

bool TryParseOpacity(std::string_view text, float& out) {
  std::string_view s = TrimBlanks(text);
  float v;
  if (!ReadNumber(s, v)) return false;
  if (SkipChar(s, '%')) v /= 100;
  if (!s.empty()) return false;
  out = std::clamp(v, 0.0f, 1.0f);
  return true;
}

// --- property parsers ------------------------------------------------------------------

using V = TSVGStyleValues;

bool ParseFill(std::string_view t, V& o, const V&) { return TryParsePaint(t, o.Fill); }
bool ParseStroke(std::string_view t, V& o, const V&) { return TryParsePaint(t, o.Stroke); }
bool ParseFillOpacity(std::string_view t, V& o, const V&) { return TryParseOpacity(t, o.FillOpacity); }
bool ParseStrokeOpacity(std::string_view t, V& o, const V&) { return TryParseOpacity(t, o.StrokeOpacity); }
bool ParseOpacity(std::string_view t, V& o, const V&) { return TryParseOpacity(t, o.Opacity); }
bool ParseStopOpacity(std::string_view t, V& o, const V&) { return TryParseOpacity(t, o.StopOpacity); }

bool ParseRule(std::string_view t, TFillRule& out) {
  static constexpr std::pair<std::string_view, TFillRule> k[] = {{"nonzero", TFillRule::NonZero},
                                                                 {"evenodd", TFillRule::EvenOdd}};
  return LookUp(TrimBlanks(t), k, out);
}
bool ParseFillRule(std::string_view t, V& o, const V&) { return ParseRule(t, o.FillRule); }
bool ParseClipRule(std::string_view t, V& o, const V&) { return ParseRule(t, o.ClipRule); }

bool ParseStrokeWidth(std::string_view t, V& o, const V&) {
  return TryParseLengthNonNegative(t, o.StrokeWidth);
}

bool ParseLinecap(std::string_view t, V& o, const V&) {
  static constexpr std::pair<std::string_view, TLineCap> k[] = {
      {"butt", TLineCap::Butt}, {"round", TLineCap::Round}, {"square", TLineCap::Square}};
  return LookUp(TrimBlanks(t), k, o.StrokeLinecap);
}

bool ParseLinejoin(std::string_view t, V& o, const V&) {
  static constexpr std::pair<std::string_view, TLineJoin> k[] = {{"miter", TLineJoin::Miter},
                                                                 {"miter-clip", TLineJoin::MiterClip},
                                                                 {"round", TLineJoin::Round},
                                                                 {"bevel", TLineJoin::Bevel},
                                                                 {"arcs", TLineJoin::Arcs}};
  return LookUp(TrimBlanks(t), k, o.StrokeLinejoin);
}

bool ParseMiterlimit(std::string_view t, V& o, const V&) {
  float v;
  if (!TryParseNumber(t, v) || v < 1) return false;
  o.StrokeMiterlimit = v;
  return true;
}

bool ParseDasharray(std::string_view t, V& o, const V&) {
  std::string_view s = TrimBlanks(t);
  if (s == "none") {
    o.StrokeDasharray.clear();
    return true;
  }
  std::vector<TSVGLength> dashes;
  while (!s.empty()) {
    size_t end = 0;
    while (end < s.size() && s[end] != ',' && !IsBlankChar(s[end])) ++end;
    TSVGLength len;
    if (!TryParseLengthNonNegative(s.substr(0, end), len)) return false;
    dashes.push_back(len);
    s.remove_prefix(end);
    SkipCommaWsp(s);
  }
  if (dashes.empty()) return false;
  // An odd list is repeated once, so that dashes and gaps alternate.
  if (dashes.size() % 2) dashes.insert(dashes.end(), dashes.begin(), dashes.end());
  // All zeros draws a solid line, as if there were no dashes.
  const bool allZero = std::all_of(dashes.begin(), dashes.end(), [](const TSVGLength& d) { return d.Value == 0; });
  if (allZero) dashes.clear();
  o.StrokeDasharray = std::move(dashes);
  return true;
}

bool ParseDashoffset(std::string_view t, V& o, const V&) { return TryParseLength(t, o.StrokeDashoffset); }

bool ParseColorProperty(std::string_view t, V& o, const V& parent) {
  const std::string_view s = TrimBlanks(t);
  if (EqualsNoCase(s, "currentColor")) {
    o.Color = parent.Color;
    return true;
  }
  return TryParseColor(s, o.Color);
}

bool ParseDisplay(std::string_view t, V& o, const V&) {
  const std::string_view s = TrimBlanks(t);
  static constexpr std::string_view kShown[] = {
      "inline", "block", "list-item", "run-in", "compact", "marker", "table", "inline-table",
      "table-row-group", "table-header-group", "table-footer-group", "table-row",
      "table-column-group", "table-column", "table-cell", "table-caption", "inline-block",
      "flex", "inline-flex", "grid", "inline-grid", "contents", "flow-root"};
  if (s == "none") {
    o.DisplayNone = true;
    return true;
  }
  for (std::string_view k : kShown)
    if (s == k) {
      o.DisplayNone = false;
      return true;
    }
  return false;
}

bool ParseVisibility(std::string_view t, V& o, const V&) {
  static constexpr std::pair<std::string_view, TVisibility> k[] = {{"visible", TVisibility::Visible},
                                                                   {"hidden", TVisibility::Hidden},
                                                                   {"collapse", TVisibility::Collapse}};
  return LookUp(TrimBlanks(t), k, o.Visibility);
}

bool ParseReference(std::string_view t, std::string& out) {
  const std::string_view s = TrimBlanks(t);
  if (s == "none") {
    out.clear();
    return true;
  }
  return TryParseFuncIri(s, out);
}
bool ParseClipPath(std::string_view t, V& o, const V&) { return ParseReference(t, o.ClipPath); }
bool ParseMask(std::string_view t, V& o, const V&) { return ParseReference(t, o.Mask); }
bool ParseMarkerStart(std::string_view t, V& o, const V&) { return ParseReference(t, o.MarkerStart); }
bool ParseMarkerMid(std::string_view t, V& o, const V&) { return ParseReference(t, o.MarkerMid); }
bool ParseMarkerEnd(std::string_view t, V& o, const V&) { return ParseReference(t, o.MarkerEnd); }

bool ParseStopColor(std::string_view t, V& o, const V& parent) {
  const std::string_view s = TrimBlanks(t);
  if (EqualsNoCase(s, "currentColor")) {
    // "color" of this element is already computed: it precedes in the table.
    o.StopColor = o.Color;
    return true;
  }
  return TryParseColor(s, o.StopColor);
}

// A comma-separated list of family names, quoted or not.
bool ParseFontFamily(std::string_view t, V& o, const V&) {
  std::vector<std::string> families;
  std::string_view s = TrimBlanks(t);
  while (!s.empty()) {
    std::string name;
    if (s.front() == '"' || s.front() == '\'') {
      const char q = s.front();
      const size_t close = s.find(q, 1);
      if (close == std::string_view::npos) return false;
      name.assign(s.substr(1, close - 1));
      s.remove_prefix(close + 1);
    } else {
      const size_t comma = s.find(',');
      const std::string_view raw = TrimBlanks(s.substr(0, comma));
      // Blanks inside an unquoted name collapse to one.
      bool blank = false;
      for (char c : raw) {
        if (IsBlankChar(c)) {
          blank = true;
          continue;
        }
        if (blank && !name.empty()) name += ' ';
        blank = false;
        name += c;
      }
      s.remove_prefix(comma == std::string_view::npos ? s.size() : comma);
    }
    if (!name.empty()) families.push_back(std::move(name));
    SkipBlanks(s);
    if (!s.empty() && !SkipChar(s, ',')) return false;
    SkipBlanks(s);
  }
  if (families.empty()) return false;
  o.FontFamily = std::move(families);
  return true;
}

bool ParseFontSize(std::string_view t, V& o, const V& parent) {
  const std::string_view s = TrimBlanks(t);
  // The absolute keywords as CSS maps them, medium being 16 user units.
  static constexpr std::pair<std::string_view, float> kKeywords[] = {
      {"xx-small", 9}, {"x-small", 10}, {"small", 13}, {"medium", 16},
      {"large", 18},   {"x-large", 24}, {"xx-large", 32}, {"xxx-large", 48}};
  float keyword;
  if (LookUp(s, kKeywords, keyword)) {
    o.FontSize = keyword;
    return true;
  }
  if (s == "larger") {
    o.FontSize = parent.FontSize * 1.2f;
    return true;
  }
  if (s == "smaller") {
    o.FontSize = parent.FontSize / 1.2f;
    return true;
  }
  TSVGLength len;
  if (!TryParseLengthNonNegative(s, len)) return false;
  switch (len.Unit) {
    case luEm: o.FontSize = len.Value * parent.FontSize; break;
    case luEx:
    case luCh: o.FontSize = len.Value * parent.FontSize * 0.5f; break;
    case luPercent: o.FontSize = len.Value / 100 * parent.FontSize; break;
    default: o.FontSize = len.Value * CssUnitToPx(len.Unit); break;
  }
  return true;
}

bool ParseFontWeight(std::string_view t, V& o, const V& parent) {
  const std::string_view s = TrimBlanks(t);
  if (s == "normal") o.FontWeight = 400;
  else if (s == "bold") o.FontWeight = 700;
  else if (s == "bolder") o.FontWeight = parent.FontWeight < 400 ? 400 : parent.FontWeight < 600 ? 700 : 900;
  else if (s == "lighter") o.FontWeight = parent.FontWeight < 600 ? 100 : parent.FontWeight < 800 ? 400 : 700;
  else {
    float v;
    if (!TryParseNumber(s, v) || v < 1 || v > 1000) return false;
    o.FontWeight = int(std::lround(v));
  }
  return true;
}

bool ParseFontStyle(std::string_view t, V& o, const V&) {
  static constexpr std::pair<std::string_view, TFontStyle> k[] = {
      {"normal", TFontStyle::Normal}, {"italic", TFontStyle::Italic}, {"oblique", TFontStyle::Oblique}};
  return LookUp(TrimBlanks(t), k, o.FontStyle);
}

bool ParseFontVariant(std::string_view t, V& o, const V&) {
  const std::string_view s = TrimBlanks(t);
  if (s == "normal") o.FontVariantSmallCaps = false;
  else if (s == "small-caps") o.FontVariantSmallCaps = true;
  else return false;
  return true;
}

bool ParseKeywordText(std::string_view t, std::string& out, std::initializer_list<std::string_view> allowed) {
  const std::string_view s = TrimBlanks(t);
  for (std::string_view k : allowed)
    if (s == k) {
      out.assign(s);
      return true;
    }
  return false;
}

bool ParseFontStretch(std::string_view t, V& o, const V&) {
  return ParseKeywordText(t, o.FontStretch,
                          {"normal", "wider", "narrower", "ultra-condensed", "extra-condensed", "condensed",
                           "semi-condensed", "semi-expanded", "expanded", "extra-expanded", "ultra-expanded"});
}

bool ParseTextAnchor(std::string_view t, V& o, const V&) {
  static constexpr std::pair<std::string_view, TTextAnchor> k[] = {
      {"start", TTextAnchor::Start}, {"middle", TTextAnchor::Middle}, {"end", TTextAnchor::End}};
  return LookUp(TrimBlanks(t), k, o.TextAnchor);
}

bool ParseSpacing(std::string_view t, TSVGLength& out) {
  const std::string_view s = TrimBlanks(t);
  if (s == "normal") {
    out = TSVGLength{};
    return true;
  }
  return TryParseLength(s, out);
}
bool ParseLetterSpacing(std::string_view t, V& o, const V&) { return ParseSpacing(t, o.LetterSpacing); }
bool ParseWordSpacing(std::string_view t, V& o, const V&) { return ParseSpacing(t, o.WordSpacing); }

bool ParseTextDecoration(std::string_view t, V& o, const V&) {
  std::string_view s = TrimBlanks(t);
  TTextDecoration d;
  if (s == "none") {
    o.TextDecoration = d;
    return true;
  }
  while (!s.empty()) {
    size_t end = 0;
    while (end < s.size() && !IsBlankChar(s[end])) ++end;
    const std::string_view word = s.substr(0, end);
    if (word == "underline") d.Include(tdUnderLine);
    else if (word == "overline") d.Include(tdOverLine);
    else if (word == "line-through") d.Include(tdStrikeOut);
    else if (word != "blink") return false;
    s.remove_prefix(end);
    SkipBlanks(s);
  }
  o.TextDecoration = d;
  return true;
}

bool ParseBaselineShift(std::string_view t, V& o, const V&) {
  const std::string_view s = TrimBlanks(t);
  if (s == "baseline") o.BaselineShift = TBaselineShiftKind::Baseline;
  else if (s == "sub") o.BaselineShift = TBaselineShiftKind::Sub;
  else if (s == "super") o.BaselineShift = TBaselineShiftKind::Super;
  else {
    TSVGLength len;
    if (!TryParseLength(s, len)) return false;
    o.BaselineShift = TBaselineShiftKind::Length;
    o.BaselineShiftLength = len;
  }
  return true;
}

bool ParseDominantBaseline(std::string_view t, V& o, const V&) {
  return ParseKeywordText(t, o.DominantBaseline,
                          {"auto", "use-script", "no-change", "reset-size", "ideographic", "alphabetic",
                           "hanging", "mathematical", "central", "middle", "text-after-edge",
                           "text-before-edge", "text-top", "text-bottom"});
}

bool ParseAlignmentBaseline(std::string_view t, V& o, const V&) {
  return ParseKeywordText(t, o.AlignmentBaseline,
                          {"auto", "baseline", "before-edge", "text-before-edge", "middle", "central",
                           "after-edge", "text-after-edge", "ideographic", "alphabetic", "hanging",
                           "mathematical", "text-top", "text-bottom", "top", "bottom", "center"});
}

bool ParseWritingMode(std::string_view t, V& o, const V&) {
  return ParseKeywordText(t, o.WritingMode,
                          {"horizontal-tb", "vertical-rl", "vertical-lr", "lr", "lr-tb", "rl", "rl-tb",
                           "tb", "tb-rl"});
}

bool ParseDirection(std::string_view t, V& o, const V&) {
  const std::string_view s = TrimBlanks(t);
  if (s == "ltr") o.DirectionRtl = false;
  else if (s == "rtl") o.DirectionRtl = true;
  else return false;
  return true;
}

bool ParseOverflow(std::string_view t, V& o, const V&) {
  static constexpr std::pair<std::string_view, TOverflow> k[] = {{"visible", TOverflow::Visible},
                                                                 {"hidden", TOverflow::Hidden},
                                                                 {"scroll", TOverflow::Scroll},
                                                                 {"auto", TOverflow::Auto}};
  return LookUp(TrimBlanks(t), k, o.Overflow);
}

bool ParseBlendMode(std::string_view t, V& o, const V&) {
  static constexpr std::pair<std::string_view, TBlendMode> k[] = {
      {"normal", TBlendMode::Normal},         {"multiply", TBlendMode::Multiply},
      {"screen", TBlendMode::Screen},         {"overlay", TBlendMode::Overlay},
      {"darken", TBlendMode::Darken},         {"lighten", TBlendMode::Lighten},
      {"color-dodge", TBlendMode::ColorDodge}, {"color-burn", TBlendMode::ColorBurn},
      {"hard-light", TBlendMode::HardLight},  {"soft-light", TBlendMode::SoftLight},
      {"difference", TBlendMode::Difference}, {"exclusion", TBlendMode::Exclusion},
      {"hue", TBlendMode::Hue},               {"saturation", TBlendMode::Saturation},
      {"color", TBlendMode::Color},           {"luminosity", TBlendMode::Luminosity}};
  return LookUp(TrimBlanks(t), k, o.MixBlendMode);
}

bool ParseIsolation(std::string_view t, V& o, const V&) {
  const std::string_view s = TrimBlanks(t);
  if (s == "auto") o.IsolationIsolate = false;
  else if (s == "isolate") o.IsolationIsolate = true;
  else return false;
  return true;
}

// "normal", or up to three of fill, stroke, markers; the missing ones follow
// in their normal order.
bool ParsePaintOrder(std::string_view t, V& o, const V&) {
  std::string_view s = TrimBlanks(t);
  uint8_t order[3];
  int n = 0;
  bool used[3] = {false, false, false};
  if (s != "normal") {
    while (!s.empty()) {
      size_t end = 0;
      while (end < s.size() && !IsBlankChar(s[end])) ++end;
      const std::string_view word = s.substr(0, end);
      const int layer = word == "fill" ? 0 : word == "stroke" ? 1 : word == "markers" ? 2 : -1;
      if (layer < 0 || used[layer] || n == 3) return false;
      used[layer] = true;
      order[n++] = uint8_t(layer);
      s.remove_prefix(end);
      SkipBlanks(s);
    }
  }
  for (uint8_t layer = 0; layer < 3; ++layer)
    if (!used[layer]) order[n++] = layer;
  std::copy(order, order + 3, o.PaintOrder);
  return true;
}

bool ParseVectorEffect(std::string_view t, V& o, const V&) {
  const std::string_view s = TrimBlanks(t);
  if (s == "none") o.NonScalingStroke = false;
  else if (s == "non-scaling-stroke") o.NonScalingStroke = true;
  else return false;
  return true;
}

bool ParseShapeRendering(std::string_view t, V& o, const V&) {
  return ParseKeywordText(t, o.ShapeRendering, {"auto", "optimizeSpeed", "crispEdges", "geometricPrecision"});
}
bool ParseTextRendering(std::string_view t, V& o, const V&) {
  return ParseKeywordText(t, o.TextRendering,
                          {"auto", "optimizeSpeed", "optimizeLegibility", "geometricPrecision"});
}
bool ParseImageRendering(std::string_view t, V& o, const V&) {
  return ParseKeywordText(t, o.ImageRendering,
                          {"auto", "optimizeSpeed", "optimizeQuality", "smooth", "high-quality",
                           "crisp-edges", "pixelated"});
}
bool ParseTransformProperty(std::string_view t, V& o, const V&) {
  const std::string_view s = TrimBlanks(t);
  if (s == "none") {
    o.Transform = TMatrix::Identity();
    o.HasTransform = true;
    return true;
  }
  TMatrix m;
  if (!TryParseTransform(s, m)) return false;
  o.Transform = m;
  o.HasTransform = true;
  return true;
}

// One to three components: keywords (left, center, right, top, bottom) or
// lengths and percentages, horizontal first unless a keyword says otherwise.
bool ParseTransformOrigin(std::string_view t, V& o, const V&) {
  std::string_view s = TrimBlanks(t);
  std::vector<std::string_view> words;
  while (!s.empty()) {
    size_t end = 0;
    while (end < s.size() && !IsBlankChar(s[end]) && s[end] != ',') ++end;
    words.push_back(s.substr(0, end));
    s.remove_prefix(end);
    SkipCommaWsp(s);
  }
  if (words.empty() || words.size() > 3) return false;
  TSVGLength x{50, luPercent}, y{50, luPercent};
  bool xSet = false;
  for (size_t i = 0; i < std::min<size_t>(words.size(), 2); ++i) {
    const std::string_view w = words[i];
    if (w == "left" || w == "right") {
      x = {w == "left" ? 0.0f : 100.0f, luPercent};
      xSet = true;
    } else if (w == "top" || w == "bottom") {
      y = {w == "top" ? 0.0f : 100.0f, luPercent};
    } else if (w != "center") {
      TSVGLength len;
      if (!TryParseLength(w, len)) return false;
      if (i == 0 && !xSet) x = len, xSet = true;
      else y = len;
    }
  }
  o.TransformOriginX = x;
  o.TransformOriginY = y;
  return true;
}

bool ParseFilter(std::string_view t, V& o, const V&) {
  const std::string_view s = TrimBlanks(t);
  if (s.empty()) return false;
  if (s == "none") o.Filter.clear();
  else o.Filter.assign(s);
  return true;
}

#define KARTO_COPY(field) [](const V& f, V& t) { t.field = f.field; }

// The table: name, id, inherited, parser, copy. "color" comes before
// "stop-color" so that a stop's currentColor sees its own colour.
const TPropertyInfo kProperties[kPropertyCount] = {
    {"fill", TPropertyId::Fill, true, ParseFill, KARTO_COPY(Fill)},
    {"fill-opacity", TPropertyId::FillOpacity, true, ParseFillOpacity, KARTO_COPY(FillOpacity)},
    {"fill-rule", TPropertyId::FillRule, true, ParseFillRule, KARTO_COPY(FillRule)},
    {"stroke", TPropertyId::Stroke, true, ParseStroke, KARTO_COPY(Stroke)},
    {"stroke-width", TPropertyId::StrokeWidth, true, ParseStrokeWidth, KARTO_COPY(StrokeWidth)},
    {"stroke-opacity", TPropertyId::StrokeOpacity, true, ParseStrokeOpacity, KARTO_COPY(StrokeOpacity)},
    {"stroke-linecap", TPropertyId::StrokeLinecap, true, ParseLinecap, KARTO_COPY(StrokeLinecap)},
    {"stroke-linejoin", TPropertyId::StrokeLinejoin, true, ParseLinejoin, KARTO_COPY(StrokeLinejoin)},
    {"stroke-miterlimit", TPropertyId::StrokeMiterlimit, true, ParseMiterlimit, KARTO_COPY(StrokeMiterlimit)},
    {"stroke-dasharray", TPropertyId::StrokeDasharray, true, ParseDasharray, KARTO_COPY(StrokeDasharray)},
    {"stroke-dashoffset", TPropertyId::StrokeDashoffset, true, ParseDashoffset, KARTO_COPY(StrokeDashoffset)},
    {"color", TPropertyId::Color, true, ParseColorProperty, KARTO_COPY(Color)},
    {"opacity", TPropertyId::Opacity, false, ParseOpacity, KARTO_COPY(Opacity)},
    {"display", TPropertyId::Display, false, ParseDisplay, KARTO_COPY(DisplayNone)},
    {"visibility", TPropertyId::Visibility, true, ParseVisibility, KARTO_COPY(Visibility)},
    {"clip-path", TPropertyId::ClipPath, false, ParseClipPath, KARTO_COPY(ClipPath)},
    {"clip-rule", TPropertyId::ClipRule, true, ParseClipRule, KARTO_COPY(ClipRule)},
    {"mask", TPropertyId::Mask, false, ParseMask, KARTO_COPY(Mask)},
    {"marker-start", TPropertyId::MarkerStart, true, ParseMarkerStart, KARTO_COPY(MarkerStart)},
    {"marker-mid", TPropertyId::MarkerMid, true, ParseMarkerMid, KARTO_COPY(MarkerMid)},
    {"marker-end", TPropertyId::MarkerEnd, true, ParseMarkerEnd, KARTO_COPY(MarkerEnd)},
    {"stop-color", TPropertyId::StopColor, false, ParseStopColor, KARTO_COPY(StopColor)},
    {"stop-opacity", TPropertyId::StopOpacity, false, ParseStopOpacity, KARTO_COPY(StopOpacity)},
    {"font-family", TPropertyId::FontFamily, true, ParseFontFamily, KARTO_COPY(FontFamily)},
    {"font-size", TPropertyId::FontSize, true, ParseFontSize, KARTO_COPY(FontSize)},
    {"font-weight", TPropertyId::FontWeight, true, ParseFontWeight, KARTO_COPY(FontWeight)},
    {"font-style", TPropertyId::FontStyle, true, ParseFontStyle, KARTO_COPY(FontStyle)},
    {"font-variant", TPropertyId::FontVariant, true, ParseFontVariant, KARTO_COPY(FontVariantSmallCaps)},
    {"font-stretch", TPropertyId::FontStretch, true, ParseFontStretch, KARTO_COPY(FontStretch)},
    {"text-anchor", TPropertyId::TextAnchor, true, ParseTextAnchor, KARTO_COPY(TextAnchor)},
    {"letter-spacing", TPropertyId::LetterSpacing, true, ParseLetterSpacing, KARTO_COPY(LetterSpacing)},
    {"word-spacing", TPropertyId::WordSpacing, true, ParseWordSpacing, KARTO_COPY(WordSpacing)},
    {"text-decoration", TPropertyId::TextDecoration, false, ParseTextDecoration, KARTO_COPY(TextDecoration)},
    {"baseline-shift", TPropertyId::BaselineShift, false, ParseBaselineShift,
     [](const V& f, V& t) {
       t.BaselineShift = f.BaselineShift;
       t.BaselineShiftLength = f.BaselineShiftLength;
     }},
    {"dominant-baseline", TPropertyId::DominantBaseline, true, ParseDominantBaseline, KARTO_COPY(DominantBaseline)},
    {"alignment-baseline", TPropertyId::AlignmentBaseline, false, ParseAlignmentBaseline,
     KARTO_COPY(AlignmentBaseline)},
    {"writing-mode", TPropertyId::WritingMode, true, ParseWritingMode, KARTO_COPY(WritingMode)},
    {"direction", TPropertyId::Direction, true, ParseDirection, KARTO_COPY(DirectionRtl)},
    {"overflow", TPropertyId::Overflow, false, ParseOverflow, KARTO_COPY(Overflow)},
    {"mix-blend-mode", TPropertyId::MixBlendMode, false, ParseBlendMode, KARTO_COPY(MixBlendMode)},
    {"isolation", TPropertyId::Isolation, false, ParseIsolation, KARTO_COPY(IsolationIsolate)},
    {"paint-order", TPropertyId::PaintOrder, true, ParsePaintOrder,
     [](const V& f, V& t) { std::copy(f.PaintOrder, f.PaintOrder + 3, t.PaintOrder); }},
    {"vector-effect", TPropertyId::VectorEffect, false, ParseVectorEffect, KARTO_COPY(NonScalingStroke)},
    {"shape-rendering", TPropertyId::ShapeRendering, true, ParseShapeRendering, KARTO_COPY(ShapeRendering)},
    {"text-rendering", TPropertyId::TextRendering, true, ParseTextRendering, KARTO_COPY(TextRendering)},
    {"image-rendering", TPropertyId::ImageRendering, true, ParseImageRendering, KARTO_COPY(ImageRendering)},
    {"filter", TPropertyId::Filter, false, ParseFilter, KARTO_COPY(Filter)},
    {"transform", TPropertyId::Transform, false, ParseTransformProperty,
     [](const V& f, V& t) {
       t.Transform = f.Transform;
       t.HasTransform = f.HasTransform;
     }},
    {"transform-origin", TPropertyId::TransformOrigin, false, ParseTransformOrigin,
     [](const V& f, V& t) {
       t.TransformOriginX = f.TransformOriginX;
       t.TransformOriginY = f.TransformOriginY;
     }},
};

#undef KARTO_COPY

// Property names sorted for lookup.
// Every attribute of every element is looked up here while a file loads.
const std::unordered_map<std::string_view, TPropertyId>& PropertiesByName() {
  static const auto table = [] {
    std::unordered_map<std::string_view, TPropertyId> t;
    for (const TPropertyInfo& p : kProperties) t.emplace(p.Name, p.Id);
    return t;
  }();
  return table;
}

bool IsInheritKeyword(std::string_view value) { return TrimBlanks(value) == "inherit"; }

// Whether the declaration's value parses (or is "inherit"): the cascade skips
// invalid declarations.
bool IsValidDeclaration(const TDeclaration& d) {
  if (IsInheritKeyword(d.Value)) return true;
  static const TSVGStyleValues kScratchParent;
  TSVGStyleValues scratch;
  return PropertyInfo(d.Id).Parse(d.Value, scratch, kScratchParent);
}

// Splits "value !important".
std::string_view StripImportant(std::string_view value, bool& important) {
  std::string_view v = TrimBlanks(value);
  important = false;
  const size_t bang = v.rfind('!');
  if (bang != std::string_view::npos && TrimBlanks(v.substr(bang + 1)) == "important") {
    important = true;
    v = TrimBlanks(v.substr(0, bang));
  }
  return v;
}

}  // namespace

const TPropertyInfo& PropertyInfo(TPropertyId id) { return kProperties[size_t(id)]; }

TPropertyId FindProperty(std::string_view name) {
  const auto& t = PropertiesByName();
  const auto it = t.find(name);
  return it != t.end() ? it->second : TPropertyId::Count;
}

bool TryParseColor(std::string_view text, TAlphaColor& out) {
  const std::string_view s = TrimBlanks(text);
  if (s.empty()) return false;
  if (s.front() == '#') {
    const std::string_view hex = s.substr(1);
    if (!IsHexDigits(hex)) return false;
    auto digit = [&](size_t i) { return uint32_t(HexDigitValue(hex[i])); };
    switch (hex.size()) {
      case 3:
      case 4: {
        const uint32_t a = hex.size() == 4 ? digit(3) * 17 : 255;
        out = MakeColor(uint8_t(digit(0) * 17), uint8_t(digit(1) * 17), uint8_t(digit(2) * 17), uint8_t(a));
        return true;
      }
      case 6:
      case 8: {
        auto byte = [&](size_t i) { return uint8_t(digit(i) * 16 + digit(i + 1)); };
        out = MakeColor(byte(0), byte(2), byte(4), hex.size() == 8 ? byte(6) : 255);
        return true;
      }
      default: return false;
    }
  }
  const size_t open = s.find('(');
  if (open != std::string_view::npos) {
    const std::string_view name = TrimBlanks(s.substr(0, open));
    const bool rgb = EqualsNoCase(name, "rgb") || EqualsNoCase(name, "rgba");
    const bool hsl = EqualsNoCase(name, "hsl") || EqualsNoCase(name, "hsla");
    if (!rgb && !hsl) return false;
    return ReadColorFunction(s.substr(open + 1), hsl, out);
  }
  if (EqualsNoCase(s, "none")) return false;  // a paint keyword, not a colour
  // Keywords: the colour parser's table, ASCII case ignored.
  for (char c : s)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  const TAlphaColor c = ColorTextToAlphaColor(s);
  if (c == 0xFFFFFFFFu && !EqualsNoCase(s, "white")) return false;
  out = c;
  return true;
}

bool TryParseFuncIri(std::string_view text, std::string& id) {
  std::string_view s = TrimBlanks(text);
  if (!SkipPrefix(s, "url(")) return false;
  const size_t close = s.find(')');
  if (close == std::string_view::npos) return false;
  std::string_view inner = TrimBlanks(s.substr(0, close));
  if (!TrimBlanks(s.substr(close + 1)).empty()) return false;
  if (inner.size() >= 2 && (inner.front() == '"' || inner.front() == '\'') && inner.back() == inner.front())
    inner = TrimBlanks(inner.substr(1, inner.size() - 2));
  if (!SkipChar(inner, '#') || inner.empty()) return false;
  id.assign(inner);
  return true;
}

bool TryParsePaint(std::string_view text, TPaint& out) {
  std::string_view s = TrimBlanks(text);
  TPaint p;
  if (s == "none") {
    p.Kind = TPaintKind::None;
  } else if (EqualsNoCase(s, "currentColor")) {
    p.Kind = TPaintKind::CurrentColor;
  } else if (s == "context-fill") {
    p.Kind = TPaintKind::ContextFill;
  } else if (s == "context-stroke") {
    p.Kind = TPaintKind::ContextStroke;
  } else if (StartsWith(s, "url(")) {
    const size_t close = s.find(')');
    if (close == std::string_view::npos) return false;
    // A reference that is no local id ("url(file.svg#g)") counts as one that
    // does not resolve: the fallback (or none) is used.
    if (!TryParseFuncIri(s.substr(0, close + 1), p.Url)) p.Url.clear();
    p.Kind = TPaintKind::Url;
    const std::string_view fallback = TrimBlanks(s.substr(close + 1));
    if (!fallback.empty()) {
      TPaint f;
      if (!TryParsePaint(fallback, f) || f.Kind == TPaintKind::Url) return false;
      p.FallbackKind = f.Kind;
      p.FallbackColor = f.Color;
    }
  } else {
    p.Kind = TPaintKind::Color;
    if (!TryParseColor(s, p.Color)) return false;
  }
  out = std::move(p);
  return true;
}

void ParseDeclarationText(std::string_view text, TDeclarations& out) {
  // Comments go first; they may stand anywhere, even inside a value.
  std::string uncommented;
  std::string_view s = text;
  if (text.find("/*") != std::string_view::npos) {
    uncommented.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '*') {
        const size_t end = text.find("*/", i + 2);
        if (end == std::string_view::npos) break;
        i = end + 1;
        uncommented += ' ';
        continue;
      }
      uncommented += text[i];
    }
    s = uncommented;
  }
  while (!s.empty()) {
    // A ";" inside quotes or parentheses (url("a;b")) does not end the declaration.
    size_t end = 0;
    char quote = 0;
    int depth = 0;
    for (; end < s.size(); ++end) {
      const char c = s[end];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')') {
        if (depth) --depth;
      } else if (c == ';' && depth == 0) {
        break;
      }
    }
    const std::string_view piece = s.substr(0, end);
    s.remove_prefix(end < s.size() ? end + 1 : end);
    const size_t colon = piece.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = TrimBlanks(piece.substr(0, colon));
    const TPropertyId id = FindProperty(name);
    if (id == TPropertyId::Count) continue;
    bool important;
    const std::string_view value = StripImportant(piece.substr(colon + 1), important);
    if (value.empty()) continue;
    // A later declaration of the same property replaces an earlier one.
    auto it = std::find_if(out.begin(), out.end(), [&](const TDeclaration& d) { return d.Id == id; });
    if (it != out.end()) {
      if (it->Important && !important) continue;
      out.erase(it);
    }
    out.push_back(TDeclaration{id, important, std::string(value)});
  }
}

bool AddPresentationAttribute(std::string_view name, std::string_view value, TDeclarations& out) {
  const TPropertyId id = FindProperty(name);
  if (id == TPropertyId::Count) return false;
  // Compositing properties are set by style sheets and style attributes
  // only; SVG has no attributes for them.
  if (id == TPropertyId::MixBlendMode || id == TPropertyId::Isolation) return false;
  // Presentation attributes take no "!important".
  const std::string_view v = TrimBlanks(value);
  auto it = std::find_if(out.begin(), out.end(), [&](const TDeclaration& d) { return d.Id == id; });
  if (it != out.end()) out.erase(it);
  out.push_back(TDeclaration{id, false, std::string(v)});
  return true;
}

// --- selectors --------------------------------------------------------------------------

namespace {

bool IsIdentChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigitChar(c) || c == '-' || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// A compound selector "type#id.class:first-child" (each part optional, "*"
// as the type); false for anything else.
bool ParseCompound(std::string_view s, TCompoundSelector& c, int& ids, int& classes, int& types) {
  if (s.empty()) return false;
  auto ident = [&](std::string& out) {
    size_t n = 0;
    while (n < s.size() && IsIdentChar(s[n])) ++n;
    if (n == 0) return false;
    out.assign(s.substr(0, n));
    s.remove_prefix(n);
    return true;
  };
  if (SkipChar(s, '*')) {
    c.Type.clear();
  } else if (IsIdentChar(s.front())) {
    if (!ident(c.Type)) return false;
    ++types;
  }
  while (!s.empty()) {
    if (SkipChar(s, '#')) {
      if (!c.Id.empty() || !ident(c.Id)) return false;
      ++ids;
    } else if (SkipChar(s, '.')) {
      std::string cls;
      if (!ident(cls)) return false;
      c.Classes.push_back(std::move(cls));
      ++classes;
    } else if (SkipPrefix(s, ":first-child")) {
      c.FirstChild = true;
      ++classes;
    } else {
      return false;  // attributes, other pseudo-classes: not supported
    }
  }
  return true;
}

// A selector of compounds joined by blanks (descendant) and ">" (child).
bool ParseSelector(std::string_view text, TSelectorRule& rule) {
  std::string_view s = TrimBlanks(text);
  int ids = 0, classes = 0, types = 0;
  char combinator = 0;
  while (!s.empty()) {
    size_t end = 0;
    while (end < s.size() && !IsBlankChar(s[end]) && s[end] != '>' && s[end] != '+' && s[end] != '~') ++end;
    TCompoundSelector c;
    if (!ParseCompound(s.substr(0, end), c, ids, classes, types)) return false;
    c.Combinator = rule.Chain.empty() ? 0 : combinator;
    rule.Chain.push_back(std::move(c));
    s.remove_prefix(end);
    const bool blank = SkipBlanks(s);
    if (SkipChar(s, '>')) {
      combinator = '>';
      SkipBlanks(s);
      if (s.empty()) return false;  // "rect >" names nothing
    } else if (!s.empty() && (s.front() == '+' || s.front() == '~')) {
      return false;  // sibling combinators: not supported
    } else if (blank) {
      combinator = ' ';
    }
  }
  if (rule.Chain.empty()) return false;
  rule.Specificity = ids * 10000 + classes * 100 + types;
  return true;
}

}  // namespace

void TSelectorIndex::AddSheet(const TStyleList& sheet, TStylePool& pool) {
  for (int i = 0; i < sheet.Count(); ++i) {
    const TStyle* style = sheet.Get(i);
    auto rule = std::make_unique<TSelectorRule>();
    if (!ParseSelector(style->Name(), *rule)) {
      ++m_skipped;
      continue;
    }
    TDeclarations decls;
    for (int k = 0; k < style->Count(); ++k) {
      const TPropertyId id = FindProperty(TrimBlanks(style->GetKey(k)));
      if (id == TPropertyId::Count) continue;
      bool important;
      const std::string_view value = StripImportant(style->GetValue(k), important);
      if (!value.empty()) decls.push_back(TDeclaration{id, important, std::string(value)});
    }
    rule->Declarations = pool.Intern(std::move(decls));
    if (!rule->Declarations) continue;
    rule->Order = int(m_rules.size());
    const TSelectorRule* r = rule.get();
    const TCompoundSelector& key = r->Chain.back();
    if (!key.Id.empty()) m_byId[key.Id].push_back(r);
    else if (!key.Classes.empty()) m_byClass[key.Classes.front()].push_back(r);
    else if (!key.Type.empty()) m_byType[key.Type].push_back(r);
    else m_universal.push_back(r);
    m_rules.push_back(std::move(rule));
  }
}

void TSelectorIndex::SortRules(std::vector<const TSelectorRule*>& out, size_t first) {
  std::sort(out.begin() + long(first), out.end(), [](const TSelectorRule* a, const TSelectorRule* b) {
    return a->Specificity != b->Specificity ? a->Specificity < b->Specificity : a->Order < b->Order;
  });
}

// --- cascade ----------------------------------------------------------------------------

TDeclarations CascadeDeclarations(const TDeclarations* presentation,
                                  const std::vector<const TSelectorRule*>& rules,
                                  const TDeclarations* styleAttribute) {
  // Later layers override earlier ones; within a layer the later declaration
  // wins. Only valid declarations take part.
  std::array<const TDeclaration*, kPropertyCount> winner{};
  auto layer = [&](const TDeclarations* decls, bool important) {
    if (!decls) return;
    for (const TDeclaration& d : *decls)
      if (d.Important == important && IsValidDeclaration(d)) winner[size_t(d.Id)] = &d;
  };
  layer(presentation, false);
  for (const TSelectorRule* r : rules) layer(r->Declarations, false);
  layer(styleAttribute, false);
  for (const TSelectorRule* r : rules) layer(r->Declarations, true);
  layer(styleAttribute, true);
  TDeclarations result;
  for (const TDeclaration* d : winner)
    if (d) result.push_back(*d);
  return result;
}

void ComputeValues(const TSVGStyleValues& parent, const TDeclarations* specified, TSVGStyleValues& out) {
  static const TSVGStyleValues kInitial;
  // Inherited properties start from the parent, the others from their
  // initial values.
  out = kInitial;
  for (const TPropertyInfo& p : kProperties)
    if (p.Inherited) p.Copy(parent, out);
  if (!specified) return;
  // Declarations are in table order, so "color" is settled before the
  // properties that refer to it.
  for (const TDeclaration& d : *specified) {
    const TPropertyInfo& p = PropertyInfo(d.Id);
    if (IsInheritKeyword(d.Value)) p.Copy(parent, out);
    else p.Parse(d.Value, out, parent);
  }
}

// --- pool -------------------------------------------------------------------------------

const TDeclarations* TStylePool::Intern(TDeclarations&& decls) {
  if (decls.empty()) return nullptr;
  std::string key;
  for (const TDeclaration& d : decls) {
    key += char(d.Id);
    key += d.Important ? '!' : ':';
    key += d.Value;
    key += '\0';
  }
  auto& slot = m_decls[key];
  if (!slot) slot = std::make_unique<TDeclarations>(std::move(decls));
  return slot.get();
}

const std::vector<std::string>* TStylePool::InternClasses(std::vector<std::string>&& classes) {
  if (classes.empty()) return nullptr;
  std::string key;
  for (const std::string& c : classes) {
    key += c;
    key += ' ';
  }
  auto& slot = m_classes[key];
  if (!slot) slot = std::make_unique<std::vector<std::string>>(std::move(classes));
  return slot.get();
}

const TOwnStyle* TStylePool::InternOwn(const TOwnStyle& own) {
  if (own == TOwnStyle()) return nullptr;
  auto& slot = m_owns[own];
  if (!slot) slot = std::make_unique<TOwnStyle>(own);
  return slot.get();
}

const TSVGStyleValues* TStylePool::Initial() {
  if (!m_initial) m_initial = std::make_unique<TSVGStyleValues>();
  return m_initial.get();
}

const TSVGStyleValues* TStylePool::Compute(const TSVGStyleValues* parent, const TDeclarations* specified) {
  const TSVGStyleValues* base = parent ? parent : Initial();
  auto& slot = m_memo[{base, specified}];
  if (slot) return slot;
  auto values = std::make_unique<TSVGStyleValues>();
  ComputeValues(*base, specified, *values);
  slot = values.get();
  m_values.push_back(std::move(values));
  return slot;
}

}  // namespace karto
