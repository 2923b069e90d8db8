#include "svg/SVG.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>

#include <zlib.h>

#include "svg/SVGCommon.h"
#include "svg/SVGStyle.h"
#include "xml/XmlDoc.h"

namespace karto {

namespace {

constexpr std::string_view kSvgNamespace = "http://www.w3.org/2000/svg";
constexpr std::string_view kXlinkNamespace = "http://www.w3.org/1999/xlink";

// Calls visit(object) for every object of the subtree in pre-order; visit
// returns whether to descend into the object's children. Children added by
// visit itself are visited too.
template <class F>
void WalkPreOrder(TSVGObject* top, F visit) {
  struct Frame {
    TSVGObject* object;
    int next;
  };
  if (!visit(top)) return;
  std::vector<Frame> stack{{top, 0}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next >= f.object->Count()) {
      stack.pop_back();
      continue;
    }
    TSVGObject* child = f.object->Items(f.next++);
    if (visit(child)) stack.push_back({child, 0});
  }
}

template <class F>
void WalkPreOrderConst(const TSVGObject* top, F visit) {
  WalkPreOrder(const_cast<TSVGObject*>(top), [&](TSVGObject* o) { return visit(static_cast<const TSVGObject*>(o)); });
}

// Whether a systemLanguage list (language tags separated by commas and
// blanks) names English.
bool IncludesEnglish(std::string_view s) {
  for (;;) {
    // Separators first: any run of commas and blanks.
    while (!s.empty() && (s.front() == ',' || IsBlankChar(s.front()))) s.remove_prefix(1);
    if (s.empty()) return false;
    size_t end = 0;
    while (end < s.size() && s[end] != ',' && !IsBlankChar(s[end])) ++end;
    const std::string_view tag = s.substr(0, end);
    if (EqualsIgnoringAsciiCase(tag.substr(0, tag.find('-')), "en")) return true;
    s.remove_prefix(end);
  }
}

// The number of objects of a subtree, counting stops at limit + 1.
size_t SubtreeSize(const TSVGObject* top, size_t limit) {
  size_t n = 0;
  WalkPreOrderConst(top, [&](const TSVGObject*) { return ++n <= limit; });
  return n;
}

}  // namespace

void TSVGReadContext::Warn(std::string text) {
  if (!Result) return;
  // A hostile file could make millions of the same warning.
  constexpr size_t kMaxWarnings = 100;
  if (Result->Warnings.size() < kMaxWarnings) Result->Warnings.push_back(std::move(text));
  else if (Result->Warnings.size() == kMaxWarnings) Result->Warnings.push_back("More warnings were left out.");
}

// --- TSVGObject ----------------------------------------------------------------------

void TObjectId::assign(std::string_view text) {
  if (text.empty()) {
    m_text.reset();
    return;
  }
  const auto length = uint32_t(std::min<size_t>(text.size(), UINT32_MAX));
  m_text = std::make_unique<char[]>(sizeof length + length);
  std::memcpy(m_text.get(), &length, sizeof length);
  std::memcpy(m_text.get() + sizeof length, text.data(), length);
}

TSVGObject::TSVGObject() = default;

TSVGObject::~TSVGObject() {
  // Free the subtree without recursion: children are taken out and freed
  // childless, so no destructor ever descends.
  if (!m_items) return;
  TItems pending = std::move(*m_items);
  while (!pending.empty()) {
    std::unique_ptr<TSVGObject> o = std::move(pending.back());
    pending.pop_back();
    if (!o->m_items) continue;
    for (auto& c : *o->m_items) pending.push_back(std::move(c));
    o->m_items.reset();
  }
}

namespace {

// The element names an object can carry; index 0 is the unknown name.
constexpr std::string_view kObjectNames[] = {
    "", "a", "circle", "clipPath", "defs", "ellipse", "g", "image", "line", "linearGradient", "marker", "mask",
    "path", "pattern", "polygon", "polyline", "radialGradient", "rect", "svg", "switch", "symbol", "text",
    "use", "stop", "tspan", "textPath", "#text"};

}  // namespace

void TSVGObject::SetObjectName(std::string_view name) {
  m_name = 0;
  for (size_t i = 1; i < std::size(kObjectNames); ++i)
    if (kObjectNames[i] == name) m_name = uint8_t(i);
}

std::string_view TSVGObject::ObjectName() const { return kObjectNames[m_name]; }

const std::vector<std::string>& TSVGObject::Classes() const {
  static const std::vector<std::string> kNone;
  return m_own && m_own->Classes ? *m_own->Classes : kNone;
}


int TSVGObject::Add(std::unique_ptr<TSVGObject> item) {
  item->m_parent = this;
  if (!m_items) m_items = std::make_unique<TItems>();
  m_items->push_back(std::move(item));
  return Count() - 1;
}

std::unique_ptr<TSVGObject> TSVGObject::Delete(int index) {
  if (index < 0 || index >= Count()) return nullptr;
  std::unique_ptr<TSVGObject> item = std::move((*m_items)[size_t(index)]);
  m_items->erase(m_items->begin() + index);
  item->m_parent = nullptr;
  return item;
}

int TSVGObject::IndexOf(const TSVGObject* item) const {
  for (int i = 0; i < Count(); ++i)
    if ((*m_items)[size_t(i)].get() == item) return i;
  return -1;
}

TSVG* TSVGObject::Root() const {
  for (const TSVGObject* o = this; o; o = o->m_parent)
    if (o->HasKind(skDocument)) return static_cast<TSVG*>(const_cast<TSVGObject*>(o));
  return nullptr;
}

TSVGObject* TSVGObject::FindByID(std::string_view name) const {
  std::string_view id = name;
  if (!id.empty() && id.front() == '#' && !(FID == name)) id.remove_prefix(1);
  if (id.empty()) return nullptr;
  // The document answers from its index when asked as a whole.
  if (const auto* svg = dynamic_cast<const TSVG*>(this); svg && !m_parent) {
    if (FID == name || FID == id) return const_cast<TSVGObject*>(static_cast<const TSVGObject*>(this));
    return svg->LookUpID(id);
  }
  TSVGObject* found = nullptr;
  WalkPreOrderConst(this, [&](const TSVGObject* o) {
    if (found) return false;
    if (o->FID == name || o->FID == id) found = const_cast<TSVGObject*>(o);
    return !found;
  });
  return found;
}

TSVGObject* TSVGObject::FindByType(const std::type_info& type, const TSVGObject* previous) const {
  TSVGObject* found = nullptr;
  bool passed = previous == nullptr;
  WalkPreOrderConst(this, [&](const TSVGObject* o) {
    if (found) return false;
    if (passed && typeid(*o) == type) {
      found = const_cast<TSVGObject*>(o);
      return false;
    }
    if (o == previous) passed = true;
    return true;
  });
  return found;
}

TSVGObject* TSVGObject::Clone(TSVGObject* parent) const {
  // Pairs of (original, copy) whose children are still to be copied.
  std::unique_ptr<TSVGObject> top = CreateEmpty();
  top->CopyFrom(*this);
  TSVGObject* copy = top.get();
  if (parent) parent->Add(std::move(top));
  std::vector<std::pair<const TSVGObject*, TSVGObject*>> pending{{this, copy}};
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    for (int i = 0; i < from->Count(); ++i) {
      const TSVGObject* child = from->Items(i);
      std::unique_ptr<TSVGObject> c = child->CreateEmpty();
      c->CopyFrom(*child);
      TSVGObject* raw = c.get();
      to->Add(std::move(c));
      pending.emplace_back(child, raw);
    }
  }
  if (!parent) top.release();  // the caller owns a copy made without a parent
  return copy;
}

void TSVGObject::CopyFrom(const TSVGObject& source) {
  FID = source.FID;
  m_name = source.m_name;
  m_own = source.m_own;
  m_specified = source.m_specified;
  m_style = source.m_style;
  m_xmlSpace = source.m_xmlSpace;
}

void TSVGObject::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TStylePool& pool = context.Document->StylePool();
  TDeclarations presentation;
  std::string_view styleText;
  TOwnStyle own;
  for (const TXmlAttribute& a : node.AttributeList()) {
    const std::string_view name = a.Name();
    if (name == "id") FID.assign(TrimBlanks(a.Value()));
    else if (name == "class") {
      auto [it, added] = context.ClassTexts.try_emplace(a.Value(), nullptr);
      if (added) {
        std::vector<std::string> classes;
        std::string_view s = a.Value();
        while (!s.empty()) {
          SkipBlanks(s);
          size_t end = 0;
          while (end < s.size() && !IsBlankChar(s[end])) ++end;
          if (end) classes.emplace_back(s.substr(0, end));
          s.remove_prefix(end);
        }
        it->second = pool.InternClasses(std::move(classes));
      }
      own.Classes = it->second;
    } else if (name == "style") styleText = a.Value();
    else if (name == "xml:space") m_xmlSpace = a.Value() == "preserve" ? 1 : a.Value() == "default" ? 0 : m_xmlSpace;
    // Conditions: Karto supports no extension; of the languages, English
    // (requiredFeatures always passes, as SVG 2 says).
    else if (name == "requiredExtensions") m_conditionFailed = true;
    else if (name == "systemLanguage") m_conditionFailed |= !IncludesEnglish(a.Value());
    else if (!ReadAttribute(name, a.Value(), context) && name != "transform")
      AddPresentationAttribute(name, a.Value(), presentation);
  }
  own.Presentation = pool.Intern(std::move(presentation));
  if (!styleText.empty()) {
    auto [it, added] = context.StyleTexts.try_emplace(styleText, nullptr);
    if (added) {
      TDeclarations declarations;
      ParseDeclarationText(styleText, declarations);
      it->second = pool.Intern(std::move(declarations));
    }
    own.StyleAttribute = it->second;
  }
  m_own = pool.InternOwn(own);
}

const TSVGStyleValues& TSVGObject::Style() const {
  static const TSVGStyleValues kInitial;
  return m_style ? *m_style : kInitial;
}

bool TSVGObject::IsDisplayed() const {
  for (const TSVGObject* o = this; o; o = o->m_parent)
    if (o->Style().DisplayNone || o->m_hiddenByCondition) return false;
  return true;
}

bool TSVGObject::IsVisible() const { return Style().Visibility == TVisibility::Visible; }

void TSVGObject::CalculateMatrices() {
  // The document keeps the matrices; an object outside one has none to keep.
  TSVG* doc = Root();
  if (!doc) return;
  if (this == doc) doc->m_matrixPool.clear();
  std::deque<TSVGMatrixPair>& pool = doc->m_matrixPool;
  WalkPreOrder(this, [&](TSVGObject* o) {
    o->CalculateOwnMatrix(pool);
    return true;
  });
}

// --- TSVGMatrix ----------------------------------------------------------------------

void TSVGMatrix::SetPureMatrix(const TMatrix& value) {
  FMatrix = value;
  CalculateMatrices();
}

TMatrix TSVGMatrix::LocalMatrix() const { return FMatrix; }

const TMatrix TSVGMatrix::kUnsetMatrix = TMatrix::Zero();

void TSVGMatrix::CalculateOwnMatrix(std::deque<TSVGMatrixPair>& pool) {
  // Accumulate from the nearest ancestor that has matrices: it is always
  // calculated first (pre-order).
  const TSVGMatrixPair* inherited = nullptr;
  for (const TSVGObject* p = m_parent; p; p = p->SVGParent()) {
    if (p->HasKind(skMatrix)) {
      inherited = static_cast<const TSVGMatrix*>(p)->m_matrices;
      break;
    }
  }
  if (HasKind(skDocument) && !m_parent) {
    const TMatrix& root = static_cast<const TSVG*>(static_cast<const TSVGObject*>(this))->RootMatrix();
    pool.push_back({root.IsSet() ? root : TMatrix::Identity(), TMatrix::Zero()});
    m_matrices = &pool.back();
    return;
  }
  const TMatrix local = LocalMatrix();
  if (!local.IsSet()) {
    m_matrices = inherited;
    return;
  }
  const bool complete = inherited && inherited->Complete.IsSet();
  const bool calculated = inherited && inherited->Calculated.IsSet();
  pool.push_back({complete ? local * inherited->Complete : local, calculated ? local * inherited->Calculated : local});
  m_matrices = &pool.back();
}

TPointF TSVGMatrix::TransformPoint(TPointF p) const {
  return m_matrices && m_matrices->Calculated.IsSet() ? m_matrices->Calculated.Transform(p) : p;
}

void TSVGMatrix::CopyFrom(const TSVGObject& source) {
  TSVGObject::CopyFrom(source);
  if (const auto* m = dynamic_cast<const TSVGMatrix*>(&source)) FMatrix = m->FMatrix;
}

bool TSVGMatrix::ReadAttribute(std::string_view name, std::string_view value, TSVGReadContext& context) {
  if (name != "transform") return false;
  TMatrix m;
  if (TryParseTransform(value, m)) FMatrix = m;
  else context.Warn("Ignored the invalid transform \"" + std::string(value.substr(0, 60)) + "\".");
  return true;
}

// --- TSVGBasic -------------------------------------------------------------------------

bool TSVGBasic::ReadLength(const TXmlNode& node, std::string_view name, TLengthAttr& out,
                           TSVGReadContext& context, bool nonNegative) {
  const TXmlAttribute* a = node.AttributeList().Find(name);
  return a && ReadLength(name, a->Value(), out, context, nonNegative);
}

bool TSVGBasic::ReadLength(std::string_view name, std::string_view value, TLengthAttr& out,
                           TSVGReadContext& context, bool nonNegative) {
  TSVGLength len;
  if (!TryParseLength(value, len) || (nonNegative && len.Value < 0)) {
    context.Warn("Ignored the invalid " + std::string(name) + " \"" + std::string(value.substr(0, 40)) + "\" of <" +
                 std::string(ObjectName()) + ">.");
    return false;
  }
  out.Value = len.Value;
  out.Unit = len.Unit;
  out.Set = true;
  return true;
}

TSVGBasic::TLengthAttr* TSVGBasic::LengthSlot(std::string_view name, bool& nonNegative) {
  switch (name.size()) {
    case 1:
      if (name == "x") return &MutableGeo().X;
      if (name == "y") return &MutableGeo().Y;
      return nullptr;
    case 2:
      nonNegative = true;
      if (name == "rx") return &MutableGeo().RX;
      if (name == "ry") return &MutableGeo().RY;
      return nullptr;
    case 5:
      nonNegative = true;
      return name == "width" ? &MutableGeo().Width : nullptr;
    case 6:
      nonNegative = true;
      return name == "height" ? &MutableGeo().Height : nullptr;
    default: return nullptr;
  }
}

bool TSVGBasic::ReadAttribute(std::string_view name, std::string_view value, TSVGReadContext& context) {
  bool nonNegative = false;
  if (TLengthAttr* slot = LengthSlot(name, nonNegative)) {
    ReadLength(name, value, *slot, context, nonNegative);
    return true;
  }
  return TSVGMatrix::ReadAttribute(name, value, context);
}

void TSVGBasic::CopyFrom(const TSVGObject& source) {
  TSVGMatrix::CopyFrom(source);
  const auto* b = dynamic_cast<const TSVGBasic*>(&source);
  if (!b) return;
  m_geometry = b->m_geometry ? std::make_unique<TGeometryAttrs>(*b->m_geometry) : nullptr;
  FX = b->FX;
  FY = b->FY;
  FWidth = b->FWidth;
  FHeight = b->FHeight;
}

void TSVGShape::CopyFrom(const TSVGObject& source) {
  TSVGBasic::CopyFrom(source);
  if (const auto* shape = dynamic_cast<const TSVGShape*>(&source)) {
    FPathData = shape->FPathData;
    m_geometryStale = shape->m_geometryStale;
  }
}

namespace {

TAlphaColor PaintColor(const TPaint& paint, const TSVGStyleValues& style) {
  switch (paint.Kind) {
    case TPaintKind::None: return TAlphaColors::Null;
    case TPaintKind::Color: return paint.Color;
    case TPaintKind::CurrentColor: return style.Color;
    case TPaintKind::Url:
      if (paint.FallbackKind == TPaintKind::Color) return paint.FallbackColor;
      if (paint.FallbackKind == TPaintKind::CurrentColor) return style.Color;
      return paint.FallbackKind == TPaintKind::None && !paint.Url.empty() ? TAlphaColors::Black : TAlphaColors::Null;
    default: return TAlphaColors::Black;
  }
}

}  // namespace

TAlphaColor TSVGBasic::FillColor() const { return PaintColor(Style().Fill, Style()); }
TAlphaColor TSVGBasic::StrokeColor() const { return PaintColor(Style().Stroke, Style()); }

float TSVGBasic::EffectiveOpacity() const {
  float opacity = 1;
  for (const TSVGObject* o = this; o; o = o->SVGParent()) opacity *= o->Style().Opacity;
  return opacity;
}

float TSVGBasic::StrokeWidth() const { return ResolveLength(Style().StrokeWidth, TAxis::Other); }

float TSVGBasic::StrokeDashOffset() const { return ResolveLength(Style().StrokeDashoffset, TAxis::Other); }

std::vector<float> TSVGBasic::StrokeDashArray() const {
  std::vector<float> dashes;
  for (const TSVGLength& d : Style().StrokeDasharray) dashes.push_back(ResolveLength(d, TAxis::Other));
  return dashes;
}

std::string TSVGBasic::FontName() const {
  const auto& families = Style().FontFamily;
  return families.empty() ? std::string() : families.front();
}

TPointF TSVGBasic::ViewportSize() const { return m_viewportSize; }

TMatrix TSVGBasic::OwnTransform() const {
  if (!FMatrix.IsSet()) return TMatrix::Zero();
  const TSVGStyleValues& style = Style();
  const float ox = ResolveLength(style.TransformOriginX, TAxis::Horizontal);
  const float oy = ResolveLength(style.TransformOriginY, TAxis::Vertical);
  if (ox == 0 && oy == 0) return FMatrix;
  return TMatrix::CreateTranslation(-ox, -oy) * FMatrix.Get() * TMatrix::CreateTranslation(ox, oy);
}

float TSVGBasic::ResolveLength(const TSVGLength& length, TAxis axis) const {
  switch (length.Unit) {
    case luEm: return length.Value * Style().FontSize;
    case luEx:
    case luCh: return length.Value * Style().FontSize * 0.5f;
    case luRem: {
      const TSVG* root = Root();
      return length.Value * (root ? root->Style().FontSize : 16.0f);
    }
    case luVw:
    case luVh:
    case luVmin:
    case luVmax: {
      const TPointF vp = ViewportSize();
      const float base = length.Unit == luVw ? vp.X
                         : length.Unit == luVh ? vp.Y
                         : length.Unit == luVmin ? std::min(vp.X, vp.Y)
                                                 : std::max(vp.X, vp.Y);
      return length.Value / 100 * base;
    }
    case luPercent: {
      const TPointF vp = ViewportSize();
      const float base = axis == TAxis::Horizontal ? vp.X
                         : axis == TAxis::Vertical ? vp.Y
                                                   : float(std::sqrt((double(vp.X) * vp.X + double(vp.Y) * vp.Y) / 2));
      return length.Value / 100 * base;
    }
    default: return length.Value * CssUnitToPx(length.Unit);
  }
}


bool TSVGBasic::GeometryBounds(TRectF& bounds) const {
  const TPathData* path = PathData();
  if (!path) return false;
  bounds = path->GetBounds();
  return true;
}

TBounds TSVGBasic::ObjectBounds() const {
  TBounds b;
  TRectF r;
  if (!GeometryBounds(r)) return b;
  b.TopLeft = TransformPoint({r.Left, r.Top});
  b.TopRight = TransformPoint({r.Right, r.Top});
  b.BottomRight = TransformPoint({r.Right, r.Bottom});
  b.BottomLeft = TransformPoint({r.Left, r.Bottom});
  return b;
}

void TSVGViewportAttrs::Read(const TXmlNode& node, TSVGReadContext& context) {
  if (const TXmlAttribute* a = node.AttributeList().Find("viewBox")) {
    TFRect vb;
    if (TryParseViewBox(a->Value(), vb)) {
      ViewBox = vb;
      HasViewBox = true;
    } else {
      context.Warn("Ignored the invalid viewBox \"" + std::string(a->Value().substr(0, 60)) + "\".");
    }
  }
  if (const TXmlAttribute* a = node.AttributeList().Find("preserveAspectRatio")) {
    TPreserveAspectRatio par;
    if (TryParsePreserveAspectRatio(a->Value(), par)) AspectRatio = par;
  }
}

// --- reading the XML tree ----------------------------------------------------------------

namespace {

using TFactory = std::unique_ptr<TSVGObject> (*)();
template <class T>
std::unique_ptr<TSVGObject> Make() {
  return std::make_unique<T>();
}

// Element names to classes, sorted by name.
struct TElementRow {
  std::string_view Name;
  TFactory Create;
};
constexpr TElementRow kElements[] = {
    {"a", Make<TSVGContainer>},
    {"circle", Make<TSVGEllipse>},
    {"clipPath", Make<TSVGClipPath>},
    {"defs", Make<TSVGDefs>},
    {"ellipse", Make<TSVGEllipse>},
    {"g", Make<TSVGContainer>},
    {"image", Make<TSVGImage>},
    {"line", Make<TSVGLine>},
    {"linearGradient", Make<TSVGLinearGradient>},
    {"marker", Make<TSVGMarker>},
    {"mask", Make<TSVGMask>},
    {"path", Make<TSVGPath>},
    {"pattern", Make<TSVGPattern>},
    {"polygon", Make<TSVGPolygon>},
    {"polyline", Make<TSVGPolyLine>},
    {"radialGradient", Make<TSVGRadialGradient>},
    {"rect", Make<TSVGRect>},
    {"svg", Make<TSVGNestedSVG>},
    {"switch", Make<TSVGSwitch>},
    {"symbol", Make<TSVGSymbol>},
    {"text", Make<TSVGText>},
    {"use", Make<TSVGUse>},
};

TFactory FindFactory(std::string_view name) {
  const auto it = std::lower_bound(std::begin(kElements), std::end(kElements), name,
                                   [](const TElementRow& r, std::string_view n) { return r.Name < n; });
  return (it != std::end(kElements) && it->Name == name) ? it->Create : nullptr;
}

// SVG elements that hold nothing to draw: skipped without a warning.
bool IsQuietlySkipped(std::string_view name) {
  static constexpr std::string_view kQuiet[] = {"title", "desc", "metadata", "script", "style", "font",
                                                "font-face", "glyph", "missing-glyph", "cursor", "view",
                                                "animate", "animateColor", "animateMotion",
                                                "animateTransform", "set", "mpath"};
  return std::find(std::begin(kQuiet), std::end(kQuiet), name) != std::end(kQuiet);
}

}  // namespace

// Turns the elements of an XML document, given as events in document order
// (an element opens, characters, it closes), into objects. It tracks
// namespace declarations, so that prefixed SVG elements (svg:rect) are found
// and elements of other vocabularies are skipped with their subtrees. The
// events come from a tree walk (TSVG::ReadDocument) or straight from the XML
// reader while it reads, without a tree.
class TSVGDocumentReader {
 public:
  explicit TSVGDocumentReader(TSVGReadContext& context) : m_context(context) {}

  // An element opens: the document element first. False when the document
  // element is no svg element (the error is set).
  bool StartElement(const TXmlNode& element) {
    if (m_skip > 0) {
      ++m_skip;
      return true;
    }
    const size_t bindings = m_bindings.size();
    PushBindings(element);
    std::string_view local;
    const bool svg = IsSvgElement(element.NodeName(), local);
    TSVG* doc = m_context.Document;
    if (m_open.empty()) {
      if (m_started) return Skip(bindings);  // a second document element
      m_started = true;
      if (!svg || local != "svg") {
        m_context.Result->Error = "The file is no SVG drawing: its document element is <" +
                                  std::string(element.NodeName()) + ">, not <svg>.";
        return false;
      }
      doc->SetObjectName("svg");
      ++m_context.Elements;
      doc->TSVGBasic::ReadFromXML(element, m_context);
      doc->m_viewport.Read(element, m_context);
      doc->Register(doc);
      m_open.push_back({doc, bindings, false});
      return true;
    }
    // Nothing inside a style element is an element of the drawing.
    if (!svg || m_open.back().style) return Skip(bindings);
    TSVGObject* parent = m_open.back().object;
    if (local == "style" && parent->HasKind(skBasic)) {
      const std::string_view type = TrimBlanks(element.GetAttribute("type"));
      m_styleActive = type.empty() || type == "text/css";
      m_styleText.clear();
      m_open.push_back({nullptr, bindings, true});
      return true;
    }
    std::unique_ptr<TSVGObject> object = parent->CreateChildElement(local);
    if (!object) {
      if (parent->ReadsChildElements() && !IsQuietlySkipped(local))
        WarnOnce("Skipped the unsupported element <" + std::string(local) + ">.");
      return Skip(bindings);
    }
    if (m_context.Elements >= doc->Limits.MaxElements) {
      if (!m_limitWarned) m_context.Warn("The drawing has more elements than Karto reads; the rest was skipped.");
      m_limitWarned = true;
      return Skip(bindings);
    }
    TSVGObject* o = object.get();
    o->SetObjectName(local);
    parent->Add(std::move(object));
    ++m_context.Elements;
    o->ReadFromXML(element, m_context);
    o->m_hiddenByCondition = o->m_conditionFailed;
    doc->Register(o);
    m_open.push_back({o, bindings, false});
    return true;
  }

  void Characters(std::string_view text) {
    if (m_skip > 0 || m_open.empty()) return;
    if (m_open.back().style) {
      if (m_styleActive) m_styleText += text;
      return;
    }
    m_open.back().object->AddCharacters(text, m_context);
  }

  void EndElement() {
    if (m_skip > 0) {
      if (--m_skip == 0) m_bindings.resize(m_skipBindings);
      return;
    }
    if (m_open.empty()) return;
    const Open open = m_open.back();
    m_open.pop_back();
    m_bindings.resize(open.bindings);
    if (open.style) {
      if (m_styleActive) m_context.Document->FStyles->Add(m_styleText);
      m_styleText.clear();
      return;
    }
    open.object->EndOfElement(m_context);
  }

  // The elements of a tree, as events, without recursion. Text and CDATA
  // children (the reader's "#text" and "#cdata-section" nodes) are
  // characters; an element without such children gives its own text.
  // Whether the document element has been seen.
  bool Started() const { return m_started; }

  bool ReadTree(const TXmlNode& root) {
    struct Frame {
      const TXmlNode* node;
      int next;
    };
    if (!StartElement(root)) return false;
    std::vector<Frame> stack{{&root, 0}};
    EmitOwnText(root);
    while (!stack.empty()) {
      Frame& f = stack.back();
      if (f.next >= f.node->ChildNodes().Count()) {
        EndElement();
        stack.pop_back();
        continue;
      }
      const TXmlNode& child = *f.node->ChildNodes()[f.next++];
      const std::string_view name = child.NodeName();
      if (name == "#text" || name == "#cdata-section") {
        Characters(child.Text());
        continue;
      }
      if (!StartElement(child)) return false;
      stack.push_back({&child, 0});
      EmitOwnText(child);
    }
    return true;
  }

 private:
  struct Open {
    TSVGObject* object;  // null for a style element
    size_t bindings;     // namespace bindings before the element
    bool style;
  };

  bool Skip(size_t bindings) {
    m_skip = 1;
    m_skipBindings = bindings;
    return true;
  }

  void EmitOwnText(const TXmlNode& node) {
    for (const TXmlNode* c : node.ChildNodes())
      if (c->NodeName() == "#text" || c->NodeName() == "#cdata-section") return;
    if (!node.Text().empty()) Characters(node.Text());
  }

  void PushBindings(const TXmlNode& node) {
    for (const TXmlAttribute& a : node.AttributeList()) {
      const std::string_view n = a.Name();
      if (n == "xmlns") m_bindings.emplace_back(std::string_view(), a.Value());
      else if (StartsWith(n, "xmlns:")) m_bindings.emplace_back(n.substr(6), a.Value());
    }
  }

  // Whether the element name stands for an SVG element; local gets its name
  // without a prefix. Without any declaration of the default namespace, an
  // unprefixed name counts as SVG (many hand-written files omit xmlns).
  bool IsSvgElement(std::string_view name, std::string_view& local) const {
    const size_t colon = name.find(':');
    const std::string_view prefix = colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
    local = colon == std::string_view::npos ? name : name.substr(colon + 1);
    for (auto it = m_bindings.rbegin(); it != m_bindings.rend(); ++it)
      if (it->first == prefix) return it->second == kSvgNamespace;
    return prefix.empty();
  }

  void WarnOnce(std::string text) {
    if (std::find(m_warned.begin(), m_warned.end(), text) != m_warned.end()) return;
    m_warned.push_back(text);
    m_context.Warn(std::move(text));
  }

  TSVGReadContext& m_context;
  // Namespace prefixes in scope ("" for the default namespace). Bindings
  // view the attribute values, which live as long as the events' source.
  std::vector<std::pair<std::string, std::string>> m_bindings;
  std::vector<Open> m_open;
  int m_skip = 0;  // depth inside a skipped subtree
  size_t m_skipBindings = 0;
  bool m_started = false;
  bool m_styleActive = false;
  std::string m_styleText;
  std::vector<std::string> m_warned;
  bool m_limitWarned = false;
};

std::unique_ptr<TSVGObject> TSVGObject::CreateChildElement(std::string_view local) const {
  if (!ReadsChildElements()) return nullptr;
  const TFactory factory = FindFactory(local);
  return factory ? factory() : nullptr;
}

// --- TSVG ------------------------------------------------------------------------------

TSVG::TSVG() : FStyles(std::make_unique<TStyleList>()) {
  SetObjectName("svg");
  m_kinds |= skDocument;
}

TSVG::~TSVG() = default;

void TSVG::Clear() {
  // Children first, without recursion (the destructor of each child frees
  // its own subtree iteratively).
  std::unique_ptr<TItems> items = std::move(m_items);
  items.reset();
  FStyles = std::make_unique<TStyleList>();
  m_selectors = TSelectorIndex();
  m_pool = TStylePool();
  m_viewport = TSVGViewportAttrs();
  m_own = nullptr;
  m_specified = nullptr;
  m_style = nullptr;
  FID.clear();
  FMatrix = TMatrix::Zero();
  m_geometry.reset();
  FX = FY = FWidth = FHeight = 0;
  m_hasTarget = false;
  m_contentBounds = TRectF();
  m_ids.clear();
  // Objects waiting to be indexed are gone with the children (a read that
  // starts over clears the document halfway through).
  m_named.clear();
  m_elementCount = 0;
  m_uses.clear();
  m_servers.clear();
  FFileName.clear();
}

void TSVG::CopyFrom(const TSVGObject& source) {
  TSVGBasic::CopyFrom(source);
  if (const auto* svg = dynamic_cast<const TSVG*>(&source)) {
    m_viewport = svg->m_viewport;
    FFileName = svg->FFileName;
  }
}

TSVGObject* TSVG::LookUpID(std::string_view id) const {
  const auto it = m_ids.find(id);
  return it == m_ids.end() ? nullptr : it->second;
}

void TSVG::IndexIds() {
  m_ids.reserve(m_ids.size() + m_named.size());
  for (TSVGObject* o : m_named) m_ids.emplace(o->FID.View(), o);  // the first one wins
  m_named.clear();
  m_named.shrink_to_fit();
}

void TSVG::Register(TSVGObject* object) {
  ++m_elementCount;
  if (!object->FID.empty()) m_named.push_back(object);
  if (object->HasKind(skUse)) m_uses.push_back(static_cast<TSVGUse*>(object));
  else if (object->HasKind(skFiller)) m_servers.push_back(object);
}

std::string TSVG::GetStyleValue(std::string_view name, std::string_view key) const {
  const TStyle* style = FStyles->GetStyle(name);
  return style ? style->Get(key) : std::string();
}

bool TSVG::ReadDocument(const TXmlNode& svgRoot, TSVGReadContext& context) {
  TSVGDocumentReader reader(context);
  return reader.ReadTree(svgRoot);
}

void TSVG::ComputeStyle(TSVGObject* o) {
  const TSVGStyleValues* parent = o->m_parent ? o->m_parent->m_style : nullptr;
  o->m_style = m_pool.Compute(parent, o->m_specified);
  if (o->m_style->HasTransform && o->HasKind(skMatrix) && !o->HasKind(skFiller))
    static_cast<TSVGMatrix*>(o)->FMatrix = o->m_style->Transform;
}

void TSVG::ComputeSubtreeStyles(TSVGObject* top) {
  WalkPreOrder(top, [&](TSVGObject* o) {
    ComputeStyle(o);
    return true;
  });
}

void TSVG::ResolveStyles(TSVGLoadResult* result) {
  m_selectors = TSelectorIndex();
  m_selectors.AddSheet(*FStyles, m_pool);
  if (result && m_selectors.SkippedRules() > 0)
    result->Warnings.push_back("Skipped " + std::to_string(m_selectors.SkippedRules()) +
                               " style rules with selectors Karto does not support.");
  // Elements without matching rules share their cascade with every element
  // that has the same attributes and "style".
  std::unordered_map<const TOwnStyle*, const TDeclarations*> memo;
  std::vector<const TSelectorRule*> rules;
  // One walk, parents before children: the cascade of each element, then its
  // computed values from its parent's.
  WalkPreOrder(this, [&](TSVGObject* o) {
    rules.clear();
    m_selectors.Match(*o, rules);
    if (rules.empty()) {
      auto& slot = memo[o->m_own];
      if (!slot)
        slot = m_pool.Intern(CascadeDeclarations(o->PresentationDeclarations(), rules, o->StyleAttributeDeclarations()));
      o->m_specified = slot;
    } else {
      o->m_specified =
          m_pool.Intern(CascadeDeclarations(o->PresentationDeclarations(), rules, o->StyleAttributeDeclarations()));
    }
    ComputeStyle(o);
    // The children of a switch other than the one it picks are not drawn.
    if (o->HasKind(skSwitch)) {
      auto* sw = static_cast<TSVGSwitch*>(o);
      TSVGObject* chosen = sw->ChosenChild();
      for (int i = 0; i < sw->Count(); ++i)
        if (sw->Items(i) != chosen) sw->Items(i)->m_hiddenByCondition = true;
    }
    return true;
  });
}

TSVGObject* TSVGSwitch::ChosenChild() const {
  for (int i = 0; i < Count(); ++i)
    if (!Items(i)->ConditionFailed()) return Items(i);
  return nullptr;
}


// --- references and use expansion ---------------------------------------------------------

void TSVG::ResolveReferences(TSVGLoadResult* result) {
  // Paint servers inherit attributes and content along their href chains;
  // the chain stops at a cycle or at a server of another kind.
  for (TSVGObject* o : m_servers) {
    if (auto* g = dynamic_cast<TSVGGradient*>(o)) {
      std::vector<const TSVGGradient*> chain{g};
      for (std::string id = g->FURI; !id.empty();) {
        const auto* next = dynamic_cast<const TSVGGradient*>(LookUpID(id));
        if (!next) {
          if (result && !dynamic_cast<const TSVGObject*>(LookUpID(id)))
            result->Warnings.push_back("The gradient \"" + g->FID.String() + "\" refers to the missing \"" + id + "\".");
          break;
        }
        if (std::find(chain.begin(), chain.end(), next) != chain.end()) {
          if (result) result->Warnings.push_back("The gradient \"" + g->FID.String() + "\" has a cyclic href chain.");
          break;
        }
        chain.push_back(next);
        id = next->FURI;
      }
      for (size_t i = 1; i < chain.size(); ++i) g->InheritFrom(*chain[i]);
      g->m_stopSource = nullptr;
      for (const TSVGGradient* c : chain)
        if (c->Count() > 0) {
          g->m_stopSource = c;
          break;
        }
    } else if (auto* p = dynamic_cast<TSVGPattern*>(o)) {
      std::vector<const TSVGPattern*> chain{p};
      for (std::string id = p->FURI; !id.empty();) {
        const auto* next = dynamic_cast<const TSVGPattern*>(LookUpID(id));
        if (!next || std::find(chain.begin(), chain.end(), next) != chain.end()) break;
        chain.push_back(next);
        id = next->FURI;
      }
      for (size_t i = 1; i < chain.size(); ++i) p->InheritFrom(*chain[i]);
      p->m_contentSource = nullptr;
      for (const TSVGPattern* c : chain)
        if (c->Count() > 0) {
          p->m_contentSource = c;
          break;
        }
    }
  }
}

void TSVG::ExpandUse(TSVGUse& use, TSVGLoadResult* result, size_t& elements) {
  auto warn = [&](std::string text) {
    if (result && result->Warnings.size() < 100) result->Warnings.push_back(std::move(text));
  };
  std::string_view ref = TrimBlanks(use.FReference);
  if (ref.empty()) return;
  if (!SkipChar(ref, '#') || ref.empty()) {
    warn("The use element refers to \"" + use.FReference + "\", which is no element of this file.");
    return;
  }
  const TSVGObject* target = LookUpID(ref);
  if (!target) {
    warn("The use element refers to the missing \"" + std::string(ref) + "\".");
    return;
  }
  // A cycle: the target contains this use, or a copy of the target is
  // already among the copies this use stands in.
  for (const TSVGObject* a = &use; a; a = a->SVGParent()) {
    const auto* outer = dynamic_cast<const TSVGUse*>(a);
    if (a == target || (outer && outer != &use && outer->m_instanceOf == target)) {
      warn("The use of \"" + std::string(ref) + "\" refers to itself and was left out.");
      return;
    }
  }
  if (dynamic_cast<const TSVG*>(target) && !target->SVGParent()) {
    warn("The use of the whole document \"" + std::string(ref) + "\" was left out.");
    return;
  }
  const size_t budget = Limits.MaxElements > elements ? Limits.MaxElements - elements : 0;
  const size_t size = SubtreeSize(target, budget);
  if (size > budget) {
    warn("The drawing grows beyond " + std::to_string(Limits.MaxElements) +
         " elements through use elements; the rest was left out.");
    return;
  }
  elements += size;
  use.m_instanceOf = target;
  TSVGObject* copy = target->Clone(&use);
  ComputeSubtreeStyles(copy);
}

void TSVG::ExpandUses(TSVGLoadResult* result) {
  ResolveReferences(result);
  size_t elements = m_elementCount;
  // In document order; the copies a use brings in may hold uses themselves,
  // which are expanded as they come.
  for (TSVGUse* first : m_uses) {
    WalkPreOrder(first, [&](TSVGObject* o) {
      if (!o->HasKind(skUse)) return true;
      auto* use = static_cast<TSVGUse*>(o);
      if (use->Count() == 0 && !use->m_instanceOf) ExpandUse(*use, result, elements);
      return true;
    });
  }
  m_uses.clear();
  m_servers.clear();
  m_elementCount = elements;
  // A paint that names no paint server is its fallback, or none.
  m_pool.ForEachValueSet([&](TSVGStyleValues& v) {
    for (TPaint* paint : {&v.Fill, &v.Stroke}) {
      if (paint->Kind != TPaintKind::Url) continue;
      const TSVGObject* target = paint->Url.empty() ? nullptr : LookUpID(paint->Url);
      // A gradient without stops counts as no paint server: its fallback,
      // or nothing.
      const auto* g = dynamic_cast<const TSVGGradient*>(target);
      if ((g && !g->EffectiveStops().empty()) || dynamic_cast<const TSVGPattern*>(target)) continue;
      paint->Kind = paint->FallbackKind;
      paint->Color = paint->FallbackColor;
    }
  });
}

// --- sizes and matrices ---------------------------------------------------------------------


TMatrix TSVG::LocalMatrix() const {
  if (m_parent) return TSVGBasic::LocalMatrix();
  return FSVGRootMatrix;
}

void TSVG::SetTarget(const TRectF& target, const TMatrix& initialMatrix) {
  PlaceRoot(target, initialMatrix);
  CalculateMatrices();
}

void TSVG::PlaceRoot(const TRectF& target, const TMatrix& initialMatrix) {
  m_target = target;
  m_initialMatrix = initialMatrix;
  m_hasTarget = true;
  // View box to target, after the root's own transform, before the matrix
  // of the control the drawing is placed in.
  TMatrix root = m_viewport.HasViewBox ? ViewBoxToViewportMatrix(m_viewport.ViewBox, m_viewport.AspectRatio, target)
                                       : TMatrix::CreateTranslation(target.Left, target.Top);
  if (!m_viewport.HasViewBox && FWidth > 0 && FHeight > 0 && (target.Width() != FWidth || target.Height() != FHeight)) {
    // Without a view box the drawing's own size maps onto the target.
    const TFRect own{0, 0, FWidth, FHeight};
    root = ViewBoxToViewportMatrix(own, m_viewport.AspectRatio, target);
  }
  if (FMatrix.IsSet()) root = FMatrix.Get() * root;
  if (initialMatrix.IsSet()) root = root * initialMatrix;
  FSVGRootMatrix = root;
}

void TSVG::CalculateSize() {
  // The document size: width and height in absolute units; a percentage of
  // the view box; a missing side follows the view box's proportions, or its
  // size when both are missing. Without a view box, what is missing comes
  // from the content's bounds below.
  const bool hasViewBox = m_viewport.HasViewBox;
  const TFRect& vb = m_viewport.ViewBox;
  auto absolute = [&](const TLengthAttr& a, float& out) {
    if (!a.Set || a.Unit == luPercent) return false;
    out = ResolveLength(a.Length(), TAxis::Other);
    return true;
  };
  bool hasWidth = absolute(Geo().Width, FWidth);
  bool hasHeight = absolute(Geo().Height, FHeight);
  if (hasViewBox) {
    if (!hasWidth && Geo().Width.Set) FWidth = vb.Width * Geo().Width.Value / 100, hasWidth = true;
    if (!hasHeight && Geo().Height.Set) FHeight = vb.Height * Geo().Height.Value / 100, hasHeight = true;
    if (hasWidth && !hasHeight) FHeight = vb.Width > 0 ? FWidth * vb.Height / vb.Width : 0;
    else if (hasHeight && !hasWidth) FWidth = vb.Height > 0 ? FHeight * vb.Width / vb.Height : 0;
    else if (!hasWidth && !hasHeight) FWidth = vb.Width, FHeight = vb.Height;
    hasWidth = hasHeight = true;
  }

  // A target set by the caller stays; otherwise the document's own size.
  const bool userTarget = m_hasTarget;
  PlaceRoot(userTarget ? m_target : TRectF(0, 0, FWidth, FHeight), m_initialMatrix);
  m_hasTarget = userTarget;
  m_matrixPool.clear();
  static_cast<TSVGObject*>(this)->CalculateOwnMatrix(m_matrixPool);

  // One walk, parents first: the geometry of every element, told the size of
  // its nearest viewport (nested viewports resolve their own size before
  // their children use it); then its matrices; then the bounds of what is
  // drawn (not what only serves as a reference: defs, clip paths, masks,
  // markers, paint servers, symbols outside a use).
  TBoundsBuilder content;
  {
    struct Frame {
      TSVGObject* object;
      int next;
      TPointF viewport;
      bool drawn;
    };
    const TPointF rootViewport = hasViewBox ? TPointF(m_viewport.ViewBox.Width, m_viewport.ViewBox.Height)
                                 : (hasWidth && hasHeight) ? TPointF(FWidth, FHeight)
                                                           : TPointF(100, 100);
    m_viewportSize = rootViewport;
    std::vector<Frame> stack{{this, 0, rootViewport, true}};
    while (!stack.empty()) {
      Frame& f = stack.back();
      if (f.next >= f.object->Count()) {
        stack.pop_back();
        continue;
      }
      TSVGObject* o = f.object->Items(f.next++);
      TPointF viewport = f.viewport;
      auto* b = o->HasKind(skBasic) ? static_cast<TSVGBasic*>(o) : nullptr;
      if (b) {
        b->m_viewportSize = viewport;
        b->ResolveGeometry();
        if (b->HasKind(skViewport)) {
          auto* nested = static_cast<TSVGNestedSVG*>(b);
          viewport = nested->Viewport().HasViewBox
                         ? TPointF(nested->Viewport().ViewBox.Width, nested->Viewport().ViewBox.Height)
                         : TPointF(nested->Width(), nested->Height());
        }
      } else {
        o->ResolveGeometry();
      }
      o->CalculateOwnMatrix(m_matrixPool);
      bool drawn = f.drawn && !o->Style().DisplayNone && !o->m_hiddenByCondition && !o->HasKind(skReferenceOnly) &&
                   !(o->HasKind(skSymbol) && !static_cast<TSVGSymbol*>(o)->IsInstance());
      TRectF own;
      if (drawn && b && b->GeometryBounds(own)) {
        const TBounds c = o->ObjectBounds();
        for (TPointF p : {c.TopLeft, c.TopRight, c.BottomLeft, c.BottomRight}) content.Add(p);
      }
      stack.push_back({o, 0, viewport, drawn});
    }
  }
  m_contentBounds = content.Rect;
  if ((!hasWidth || !hasHeight) && content.Any) {
    // No size and no view box: the drawing is as large as what it holds,
    // measured from the origin.
    if (!hasWidth) FWidth = std::max(0.0f, content.Rect.Right);
    if (!hasHeight) FHeight = std::max(0.0f, content.Rect.Bottom);
    if (!userTarget) {
      SetTarget(TRectF(0, 0, FWidth, FHeight), m_initialMatrix);
      m_hasTarget = false;
    }
  }
}

// --- loading --------------------------------------------------------------------------------

namespace {

// Hands the XML reader's events to the document reader while the file is
// read, so that no XML tree is built: a large drawing then needs the memory
// of its text and of its objects only.
class TSVGStreamHandler : public TXmlHandler {
 public:
  // expected: about how many elements the text holds; reading them is
  // the first 80 % of a load's progress.
  TSVGStreamHandler(TSVG& doc, TSVGReadContext& context, size_t expected, std::atomic<int>& percent)
      : m_doc(doc), m_context(context), m_expected(std::max<size_t>(1, expected)), m_percent(percent) {
    Restart();
  }
  void StartElement(const TXmlNode& element) override {
    if (!m_failed && !m_reader->StartElement(element)) m_failed = true;
    if ((++m_seen & 1023) == 0)
      m_percent.store(int(std::min<size_t>(80, 80 * m_seen / m_expected)), std::memory_order_relaxed);
  }
  void Characters(std::string_view text) override {
    if (!m_failed) m_reader->Characters(text);
  }
  void EndElement() override {
    if (!m_failed) m_reader->EndElement();
  }
  void Restart() override {
    m_doc.Clear();
    m_context.Elements = 0;
    m_context.Result->Warnings.clear();
    m_context.Result->Error.clear();
    m_reader = std::make_unique<TSVGDocumentReader>(m_context);
    m_failed = false;
    m_seen = 0;
  }
  bool Failed() const { return m_failed; }
  bool Started() const { return m_reader->Started(); }

 private:
  TSVG& m_doc;
  TSVGReadContext& m_context;
  std::unique_ptr<TSVGDocumentReader> m_reader;
  bool m_failed = false;
  size_t m_seen = 0;
  const size_t m_expected;
  std::atomic<int>& m_percent;
};

// About how many elements text holds: the tags that open something.
size_t CountOpeningTags(std::string_view text) {
  size_t count = 0;
  if (text.empty()) return 0;  // no bytes may also mean no pointer
  for (const char* p = text.data(), *end = p + text.size();
       (p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)))) != nullptr; ++p)
    count += p + 1 < end && p[1] != '/' && p[1] != '!' && p[1] != '?';
  return count;
}

}  // namespace

namespace {

// The content of gzip-compressed bytes (an .svgz file), at most limit bytes
// of it; false with a sentence in error when they do not inflate.
bool Gunzip(std::string_view bytes, size_t limit, std::string& out, std::string& error) {
  z_stream z{};
  // 16 + MAX_WBITS: a gzip header and trailer around the deflate data.
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
    error = "The compressed file cannot be opened.";
    return false;
  }
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = uInt(std::min<size_t>(bytes.size(), UINT_MAX));
  out.clear();
  char buffer[1 << 16];
  int status = Z_OK;
  while (status == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    status = inflate(&z, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) break;
    out.append(buffer, sizeof buffer - z.avail_out);
    if (out.size() > limit) {
      inflateEnd(&z);
      error = "The compressed file unpacks to more than " + std::to_string(limit >> 20) + " MB.";
      return false;
    }
    if (status == Z_OK && z.avail_in == 0 && z.avail_out != 0) status = Z_BUF_ERROR;  // cut short
  }
  inflateEnd(&z);
  if (status != Z_STREAM_END) {
    error = "The compressed file is damaged or cut short.";
    return false;
  }
  return true;
}

}  // namespace

TSVGLoadResult TSVG::LoadFromBytes(std::string_view bytes, const std::string& baseFolder, std::string* owned) {
  TSVGLoadResult result;
  Clear();
  // .svgz: gzip around the text.
  if (bytes.size() >= 2 && bytes[0] == '\x1F' && bytes[1] == '\x8B') {
    std::string text;
    if (!Gunzip(bytes, TSVGLimits::kMaxUnpackedBytes, text, result.Error)) return result;
    return LoadFromBytes(text, baseFolder, &text);
  }
  TSVGReadContext context;
  context.Document = this;
  context.Result = &result;
  context.BaseFolder = baseFolder;
  m_loadPercent = 0;
  try {
    {
      TXMLDocument xml;
      xml.MixedContentElements = {"text", "style"};
      TSVGStreamHandler handler(*this, context, CountOpeningTags(bytes), m_loadPercent);
      xml.ReadFromBytes(bytes, handler, owned);
      if (xml.Error().Present) {
        result.Error = "The file is no well-formed XML: line " + std::to_string(xml.Error().Line) + ", column " +
                       std::to_string(xml.Error().Column) + ": " + xml.Error().Message;
        Clear();
        return result;
      }
      if (handler.Failed()) {
        Clear();
        return result;
      }
      if (!handler.Started()) {
        result.Error = "The file holds no SVG drawing.";
        return result;
      }
      if (xml.LimitReached()) result.Warnings.push_back("The file is too large; only its beginning was read.");
    }  // the file's text is freed before the later stages build their data
    m_loadPercent = 80;
    IndexIds();
    ResolveStyles(&result);
    m_loadPercent = 90;
    ExpandUses(&result);
    m_loadPercent = 95;
    CalculateSize();
    m_loadPercent = 100;
  } catch (const std::bad_alloc&) {
    Clear();
    result.Error = "There is not enough memory to load this drawing.";
    return result;
  } catch (const std::exception& e) {
    Clear();
    result.Error = std::string("The drawing could not be loaded: ") + e.what();
    return result;
  }
  result.Ok = true;
  return result;
}

TSVGLoadResult TSVG::LoadFromFile(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  if (!file) {
    Clear();
    TSVGLoadResult result;
    result.Error = "Cannot open the file \"" + fileName + "\".";
    return result;
  }
  std::string bytes;
  try {
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0, std::ios::beg);
    if (size > 0) bytes.resize(size_t(size));
    file.read(bytes.data(), std::streamsize(bytes.size()));
    if (!file && !file.eof()) throw std::runtime_error("read");
  } catch (const std::bad_alloc&) {
    TSVGLoadResult result;
    result.Error = "There is not enough memory to read the file \"" + fileName + "\".";
    return result;
  } catch (const std::exception&) {
    TSVGLoadResult result;
    result.Error = "Cannot read the file \"" + fileName + "\".";
    return result;
  }
  const size_t slash = fileName.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : fileName.substr(0, slash);
  TSVGLoadResult result = LoadFromBytes(bytes, folder, &bytes);
  if (result.Ok) FFileName = fileName;
  return result;
}

}  // namespace karto
