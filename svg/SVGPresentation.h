#pragma once
// Presentation properties of SVG elements: one table that names every
// property once (its name, whether it inherits, how its text is parsed, its
// initial value), the typed values an element ends up with (TSVGStyleValues),
// and the cascade that picks, for each element, the winning declaration of
// each property among presentation attributes, style-sheet rules and the
// "style" attribute.
//
// Reading, resolution, copying and export all loop over the table instead of
// spelling every property in every class. A declaration whose value does not
// parse is ignored, as CSS and SVG say: the next lower one in the cascade (or
// the inherited / initial value) applies instead of a silent 0.
//
// Memory: real drawings repeat the same few declaration sets on thousands of
// elements, so declaration lists and computed values are interned in a
// TStylePool owned by the document; elements hold pointers into it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Matrix.h"
#include "platform/Types.h"
#include "svg/SVGParse.h"
#include "svg/SVGTypes.h"

namespace karto {

class TStyleList;

// Every presentation property Karto reads. Order is the table's order.
enum class TPropertyId : uint8_t {
  Fill,
  FillOpacity,
  FillRule,
  Stroke,
  StrokeWidth,
  StrokeOpacity,
  StrokeLinecap,
  StrokeLinejoin,
  StrokeMiterlimit,
  StrokeDasharray,
  StrokeDashoffset,
  Color,
  Opacity,
  Display,
  Visibility,
  ClipPath,
  ClipRule,
  Mask,
  MarkerStart,
  MarkerMid,
  MarkerEnd,
  StopColor,
  StopOpacity,
  FontFamily,
  FontSize,
  FontWeight,
  FontStyle,
  FontVariant,
  FontStretch,
  TextAnchor,
  LetterSpacing,
  WordSpacing,
  TextDecoration,
  BaselineShift,
  DominantBaseline,
  AlignmentBaseline,
  WritingMode,
  Direction,
  Overflow,
  MixBlendMode,
  Isolation,
  PaintOrder,
  VectorEffect,
  ShapeRendering,
  TextRendering,
  ImageRendering,
  Filter,
  // "transform" written in a style sheet or "style" (CSS); the attribute of
  // the same name is read by the element itself.
  Transform,
  TransformOrigin,
  Count
};
constexpr int kPropertyCount = int(TPropertyId::Count);

enum class TPaintKind : uint8_t { None, Color, CurrentColor, Url, ContextFill, ContextStroke };

// A fill or stroke: none, a colour, the current colour, or a paint server
// reference with a fallback for when the reference does not resolve.
struct TPaint {
  TPaintKind Kind = TPaintKind::None;
  TAlphaColor Color = TAlphaColors::Black;
  std::string Url;                                 // the id, without "#", for Kind Url
  TPaintKind FallbackKind = TPaintKind::None;      // for Url: None unless a fallback was written
  TAlphaColor FallbackColor = TAlphaColors::Black;
  bool operator==(const TPaint& o) const {
    return Kind == o.Kind && Color == o.Color && Url == o.Url && FallbackKind == o.FallbackKind &&
           FallbackColor == o.FallbackColor;
  }
};

enum class TFillRule : uint8_t { NonZero, EvenOdd };
enum class TLineCap : uint8_t { Butt, Round, Square };
enum class TLineJoin : uint8_t { Miter, MiterClip, Round, Bevel, Arcs };
enum class TVisibility : uint8_t { Visible, Hidden, Collapse };
enum class TFontStyle : uint8_t { Normal, Italic, Oblique };
enum class TTextAnchor : uint8_t { Start, Middle, End };
enum class TOverflow : uint8_t { Visible, Hidden, Scroll, Auto };
enum class TBaselineShiftKind : uint8_t { Baseline, Sub, Super, Length };
enum class TBlendMode : uint8_t {
  Normal, Multiply, Screen, Overlay, Darken, Lighten, ColorDodge, ColorBurn, HardLight,
  SoftLight, Difference, Exclusion, Hue, Saturation, Color, Luminosity
};

// The computed values of all properties of one element. Lengths that depend
// on the viewport (percentages) stay lengths; the element resolves them when
// it knows its viewport. font-size is resolved here, in user units, because
// "em" lengths everywhere else depend on it.
struct TSVGStyleValues {
  TPaint Fill{TPaintKind::Color, TAlphaColors::Black, {}, TPaintKind::None, TAlphaColors::Black};
  float FillOpacity = 1;
  TFillRule FillRule = TFillRule::NonZero;
  TPaint Stroke;
  TSVGLength StrokeWidth{1, luNone};
  float StrokeOpacity = 1;
  TLineCap StrokeLinecap = TLineCap::Butt;
  TLineJoin StrokeLinejoin = TLineJoin::Miter;
  float StrokeMiterlimit = 4;
  std::vector<TSVGLength> StrokeDasharray;  // empty: solid ("none")
  TSVGLength StrokeDashoffset;
  TAlphaColor Color = TAlphaColors::Black;
  float Opacity = 1;
  bool DisplayNone = false;
  TVisibility Visibility = TVisibility::Visible;
  std::string ClipPath;  // ids without "#"; empty: none
  TFillRule ClipRule = TFillRule::NonZero;
  std::string Mask;
  std::string MarkerStart, MarkerMid, MarkerEnd;
  TAlphaColor StopColor = TAlphaColors::Black;  // current colour resolved
  float StopOpacity = 1;
  std::vector<std::string> FontFamily{"sans-serif"};
  float FontSize = 16;  // user units
  int FontWeight = 400;
  TFontStyle FontStyle = TFontStyle::Normal;
  bool FontVariantSmallCaps = false;
  std::string FontStretch = "normal";
  TTextAnchor TextAnchor = TTextAnchor::Start;
  TSVGLength LetterSpacing;  // "normal" is 0
  TSVGLength WordSpacing;
  TTextDecoration TextDecoration;  // this element's own decorations (not inherited)
  TBaselineShiftKind BaselineShift = TBaselineShiftKind::Baseline;
  TSVGLength BaselineShiftLength;
  std::string DominantBaseline = "auto";
  std::string AlignmentBaseline = "auto";
  std::string WritingMode = "horizontal-tb";
  bool DirectionRtl = false;
  TOverflow Overflow = TOverflow::Visible;
  TBlendMode MixBlendMode = TBlendMode::Normal;
  bool IsolationIsolate = false;
  // The three layers in painting order: 0 fill, 1 stroke, 2 markers.
  uint8_t PaintOrder[3] = {0, 1, 2};
  bool NonScalingStroke = false;
  std::string ShapeRendering = "auto";
  std::string TextRendering = "auto";
  std::string ImageRendering = "auto";
  std::string Filter;  // the raw value; empty: none
  // A CSS "transform" declaration, which replaces the attribute.
  TMatrix Transform = TMatrix::Zero();
  bool HasTransform = false;
  // The point the transform turns and scales about (percentages of the
  // viewport); 0 0 unless given.
  TSVGLength TransformOriginX, TransformOriginY;
};

// One row of the property table.
struct TPropertyInfo {
  std::string_view Name;
  TPropertyId Id;
  bool Inherited;
  // Parses value into out; false (out untouched) when the text is invalid.
  // parent holds the parent's computed values, for values relative to them
  // (font-size in em, bolder, currentColor for stop-color).
  bool (*Parse)(std::string_view value, TSVGStyleValues& out, const TSVGStyleValues& parent);
  // Copies this property from one value set to another.
  void (*Copy)(const TSVGStyleValues& from, TSVGStyleValues& to);
};

// The table, indexed by TPropertyId.
const TPropertyInfo& PropertyInfo(TPropertyId id);
// The property named name (exact case, as CSS property names are written), or
// TPropertyId::Count.
TPropertyId FindProperty(std::string_view name);

// One declaration that survived validation: a property and its value text.
// "inherit" is kept as the value and applied by ComputeValues.
struct TDeclaration {
  TPropertyId Id;
  bool Important = false;
  std::string Value;
  bool operator==(const TDeclaration& o) const {
    return Id == o.Id && Important == o.Important && Value == o.Value;
  }
};
using TDeclarations = std::vector<TDeclaration>;

// Declarations from a "style" attribute or a rule body ("fill: red; stroke:
// blue !important"), and from one attribute. Unknown properties are skipped;
// values are kept as text (validated when the cascade picks them).
void ParseDeclarationText(std::string_view text, TDeclarations& out);
// Adds name=value as a presentation attribute when name is a property.
bool AddPresentationAttribute(std::string_view name, std::string_view value, TDeclarations& out);

// One compound selector of a rule: an optional type ("*" or empty: any),
// an optional id, classes and ":first-child"; Combinator relates it to the
// compound on its left (' ' descendant, '>' child, 0 for the leftmost).
struct TCompoundSelector {
  std::string Type;
  std::string Id;
  std::vector<std::string> Classes;
  bool FirstChild = false;
  char Combinator = 0;
};

// A style-sheet rule reduced to what Karto matches: compound selectors joined
// by descendant and child combinators.
struct TSelectorRule {
  std::vector<TCompoundSelector> Chain;  // left to right; the last one names the element
  int Specificity = 0;                   // ids * 10000 + classes * 100 + types
  int Order = 0;                         // position in the sheet
  const TDeclarations* Declarations = nullptr;
};

// The style sheet in matchable form. Rules with selectors Karto does not
// support (attributes, most pseudo-classes, sibling combinators ...) are left
// out, never applied to the wrong elements.
class TSelectorIndex {
 public:
  // A descendant combinator looks at most this many ancestors up, so that a
  // hostile file nested 100 000 deep cannot make matching quadratic.
  static constexpr int kMaxAncestorWalk = 256;

  // Adds the rules of a parsed sheet; declarations are interned in pool.
  void AddSheet(const TStyleList& sheet, class TStylePool& pool);
  // Rules that match element, in ascending cascade order (specificity, then
  // position); appends to out. E offers ObjectName(), ID(), Classes(),
  // SVGParent(), Count() and Items(i).
  template <class E>
  void Match(const E& element, std::vector<const TSelectorRule*>& out) const;
  bool IsEmpty() const { return m_rules.empty(); }
  int SkippedRules() const { return m_skipped; }

 private:
  template <class E>
  static bool MatchesCompound(const TCompoundSelector& c, const E& e);
  template <class E>
  static bool MatchesRule(const TSelectorRule& r, const E& e);
  static void SortRules(std::vector<const TSelectorRule*>& out, size_t first);

  std::vector<std::unique_ptr<TSelectorRule>> m_rules;
  // Keys view the strings of the rules, which never move.
  std::unordered_map<std::string_view, std::vector<const TSelectorRule*>> m_byId, m_byClass, m_byType;
  std::vector<const TSelectorRule*> m_universal;
  int m_skipped = 0;
};

template <class E>
bool TSelectorIndex::MatchesCompound(const TCompoundSelector& c, const E& e) {
  if (!c.Type.empty() && c.Type != e.ObjectName()) return false;
  if (!c.Id.empty() && c.Id != e.ID()) return false;
  for (const std::string& cls : c.Classes) {
    bool found = false;
    for (const std::string& own : e.Classes()) found = found || own == cls;
    if (!found) return false;
  }
  if (c.FirstChild) {
    const auto* parent = e.SVGParent();
    if (!parent) return false;
    for (int i = 0; i < parent->Count(); ++i) {
      const auto* sibling = parent->Items(i);
      if (sibling->ObjectName().empty() || sibling->ObjectName().front() == '#') continue;  // text, not an element
      return sibling == &e;
    }
    return false;
  }
  return true;
}

template <class E>
bool TSelectorIndex::MatchesRule(const TSelectorRule& r, const E& e) {
  if (!MatchesCompound(r.Chain.back(), e)) return false;
  const E* current = &e;
  for (size_t i = r.Chain.size() - 1; i > 0; --i) {
    const char combinator = r.Chain[i].Combinator;
    const TCompoundSelector& left = r.Chain[i - 1];
    const E* p = static_cast<const E*>(current->SVGParent());
    if (combinator == '>') {
      if (!p || !MatchesCompound(left, *p)) return false;
      current = p;
      continue;
    }
    int steps = 0;
    while (p && steps < kMaxAncestorWalk && !MatchesCompound(left, *p)) {
      p = static_cast<const E*>(p->SVGParent());
      ++steps;
    }
    if (!p || steps >= kMaxAncestorWalk) return false;
    current = p;
  }
  return true;
}

template <class E>
void TSelectorIndex::Match(const E& element, std::vector<const TSelectorRule*>& out) const {
  if (m_rules.empty()) return;
  const size_t first = out.size();
  auto consider = [&](const std::vector<const TSelectorRule*>& rules) {
    for (const TSelectorRule* r : rules) {
      if (!MatchesRule(*r, element)) continue;
      bool seen = false;
      for (size_t k = first; k < out.size(); ++k) seen = seen || out[k] == r;
      if (!seen) out.push_back(r);
    }
  };
  // Each index is asked only when it holds rules: most sheets have no id
  // rules, and reading every element's id would cost a memory access each.
  if (!m_byId.empty() && !element.ID().empty()) {
    const auto it = m_byId.find(element.ID());
    if (it != m_byId.end()) consider(it->second);
  }
  if (!m_byClass.empty()) {
    for (const std::string& c : element.Classes()) {
      const auto it = m_byClass.find(c);
      if (it != m_byClass.end()) consider(it->second);
    }
  }
  if (!m_byType.empty()) {
    const auto it = m_byType.find(element.ObjectName());
    if (it != m_byType.end()) consider(it->second);
  }
  consider(m_universal);
  SortRules(out, first);
}

struct TPointerPairHash {
  size_t operator()(const std::pair<const void*, const void*>& k) const {
    return std::hash<const void*>()(k.first) * 31 + std::hash<const void*>()(k.second);
  }
};

// What an element says of its own style: its classes, its presentation
// attributes and its "style" attribute, each interned. Elements that say the
// same share one (most elements of a drawing do), so each pays one pointer.
struct TOwnStyle {
  const std::vector<std::string>* Classes = nullptr;
  const TDeclarations* Presentation = nullptr;
  const TDeclarations* StyleAttribute = nullptr;
  bool operator==(const TOwnStyle& o) const {
    return Classes == o.Classes && Presentation == o.Presentation && StyleAttribute == o.StyleAttribute;
  }
};

struct TOwnStyleHash {
  size_t operator()(const TOwnStyle& k) const {
    const std::hash<const void*> h;
    return (h(k.Classes) * 31 + h(k.Presentation)) * 31 + h(k.StyleAttribute);
  }
};

// Interned declaration lists and computed value sets, owned by one document.
class TStylePool {
 public:
  // The interned copy of decls (equal lists give the same pointer); null for
  // an empty list.
  const TDeclarations* Intern(TDeclarations&& decls);
  // The computed values of an element with these specified declarations
  // whose parent computed parent (null for the root); memoised.
  const TSVGStyleValues* Compute(const TSVGStyleValues* parent, const TDeclarations* specified);
  const TSVGStyleValues* Initial();
  // The interned copy of a class list; null for an empty one.
  const std::vector<std::string>* InternClasses(std::vector<std::string>&& classes);
  // The interned copy of own (its parts interned in this pool); null when it
  // has no part.
  const TOwnStyle* InternOwn(const TOwnStyle& own);
  size_t DistinctValueSets() const { return m_values.size(); }
  // Every value set made so far, for document-wide corrections (paint
  // references that turn out not to resolve).
  template <class F>
  void ForEachValueSet(F f) {
    for (auto& v : m_values) f(*v);
  }

 private:
  std::unordered_map<std::string, std::unique_ptr<TDeclarations>> m_decls;
  std::unordered_map<std::string, std::unique_ptr<std::vector<std::string>>> m_classes;
  std::unordered_map<TOwnStyle, std::unique_ptr<TOwnStyle>, TOwnStyleHash> m_owns;
  std::unordered_map<std::pair<const void*, const void*>, const TSVGStyleValues*, TPointerPairHash> m_memo;
  std::vector<std::unique_ptr<TSVGStyleValues>> m_values;
  std::unique_ptr<TSVGStyleValues> m_initial;
};

// The cascade of one element: presentation attributes, then matching rules
// by specificity and order, then the "style" attribute, then !important rules
// and !important style declarations. Per property the highest declaration
// whose value parses wins; the result lists the winners in table order.
TDeclarations CascadeDeclarations(const TDeclarations* presentation,
                                  const std::vector<const TSelectorRule*>& rules,
                                  const TDeclarations* styleAttribute);

// Applies a specified declaration list to the values inherited from parent
// (inherited properties from parent, the others initial).
void ComputeValues(const TSVGStyleValues& parent, const TDeclarations* specified, TSVGStyleValues& out);

// Paint text: "none", a colour, "currentColor", "url(#id) [fallback]",
// "context-fill", "context-stroke". False when invalid.
bool TryParsePaint(std::string_view text, TPaint& out);
// A colour as CSS writes it (keywords, #rgb, #rrggbb, #rrggbbaa, rgb(),
// rgba(), hsl(), hsla()); "currentColor" gives false here. False when invalid.
bool TryParseColor(std::string_view text, TAlphaColor& out);
// "url(#id)", "url('#id')", url("#id") with optional blanks: the id.
bool TryParseFuncIri(std::string_view text, std::string& id);

}  // namespace karto
