#pragma once
// The SVG document model: one object per SVG element, in a tree rooted in
// the document TSVG.
//
// A file is loaded in stages with one-way arrows, each a function of its own
// that tests call alone:
//   1. ReadDocument: the XML tree becomes element objects; every element
//      reads its own attributes (geometry as lengths, presentation attributes
//      and "style" as declarations, "transform"); style sheets are collected.
//   2. ResolveStyles: the cascade picks every element's declarations from
//      presentation attributes, the whole style sheet and "style"; computed
//      values are inherited down the tree.
//   3. ExpandUses: "use" elements receive copies of what they reference;
//      paint-server references ("href" chains) are resolved.
//   4. CalculateSize: lengths are resolved against their viewport and font
//      size, geometry is built, the document size and all matrices are set.
// LoadFromFile and LoadFromBytes run them in order and return a
// TSVGLoadResult; nothing throws out of them.
//
// Matrices are row-vector TMatrix values (platform/Matrix.h): a point p of an
// element maps to p * Matrix. An unset matrix has m33 != 1.
//
// Nothing here walks the tree recursively (reading, styling, copying,
// freeing), so documents nested 100 000 levels deep cost no stack.

#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
#include <unordered_map>
#include <vector>

#include <QImage>

#include "platform/Matrix.h"
#include "platform/PathData.h"
#include "svg/SVGParse.h"
#include "svg/SVGPresentation.h"
#include "svg/SVGTypes.h"

class QImage;

namespace karto {

class TXMLDocument;
class TXmlNode;
class TStyleList;
class TSVG;
class TSVGObject;
class TSVGUse;
class TControl;
class TPath;
struct TDrawLayer;

// What a load gives back: success, or a sentence for the user (with line and
// column for XML errors), plus warnings about what was skipped.
struct TSVGLoadResult {
  bool Ok = false;
  std::string Error;
  std::vector<std::string> Warnings;
};

// Limits against hostile files.
struct TSVGLimits {
  // Elements a document may hold after "use" expansion.
  static constexpr size_t kDefaultMaxElements = 1'000'000;
  // Nested SVG images inside images.
  static constexpr int kMaxImageNesting = 4;
  // Decoded image pixels (width * height) per image.
  static constexpr int64_t kMaxImagePixels = int64_t(1) << 28;
  // What a compressed (.svgz) file may unpack to.
  static constexpr size_t kMaxUnpackedBytes = size_t(1) << 30;
  size_t MaxElements = kDefaultMaxElements;
};

// State shared by the reading of one document.
struct TSVGReadContext {
  TSVG* Document = nullptr;
  TSVGLoadResult* Result = nullptr;
  std::string BaseFolder;  // folder of the SVG file, for relative image names; empty: none allowed
  int ImageNesting = 0;
  size_t Elements = 0;
  // Drawings repeat the same "style" and "class" texts on many elements:
  // each distinct text is parsed and interned once. The keys view the
  // file's text, which lives as long as the reading.
  std::unordered_map<std::string_view, const TDeclarations*> StyleTexts;
  std::unordered_map<std::string_view, const std::vector<std::string>*> ClassTexts;
  void Warn(std::string text);
};

// --- base classes ------------------------------------------------------------------------

// A transform that most elements do not have: one pointer when unset, the
// matrix on the heap when set. Reads as TMatrix::Zero() when unset.
class TSparseMatrix {
 public:
  TSparseMatrix() = default;
  TSparseMatrix(const TSparseMatrix& o) { *this = o.Get(); }
  TSparseMatrix& operator=(const TSparseMatrix& o) { return *this = o.Get(); }
  TSparseMatrix& operator=(const TMatrix& m) {
    if (!m.IsSet()) m_matrix.reset();
    else if (m_matrix) *m_matrix = m;
    else m_matrix = std::make_unique<TMatrix>(m);
    return *this;
  }
  const TMatrix& Get() const {
    static const TMatrix kZero = TMatrix::Zero();
    return m_matrix ? *m_matrix : kZero;
  }
  operator const TMatrix&() const { return Get(); }  // NOLINT: reads like the matrix it holds
  bool IsSet() const { return m_matrix != nullptr; }

 private:
  std::unique_ptr<TMatrix> m_matrix;
};

// An element's id in one pointer, so that the many elements without one pay
// little: the length and the characters in one allocation.
class TObjectId {
 public:
  TObjectId() = default;
  TObjectId(const TObjectId& o) { assign(o.View()); }
  TObjectId& operator=(const TObjectId& o) {
    if (this != &o) assign(o.View());
    return *this;
  }
  TObjectId(TObjectId&&) noexcept = default;
  TObjectId& operator=(TObjectId&&) noexcept = default;
  void assign(std::string_view text);
  void clear() { m_text.reset(); }
  bool empty() const { return !m_text; }
  std::string_view View() const {
    if (!m_text) return {};
    uint32_t length;
    std::memcpy(&length, m_text.get(), sizeof length);
    return std::string_view(m_text.get() + sizeof length, length);
  }
  std::string String() const { return std::string(View()); }
  bool operator==(std::string_view text) const { return View() == text; }

 private:
  std::unique_ptr<char[]> m_text;  // a uint32_t length, then the characters
};

// The accumulated matrices of an element, kept by the document: Complete
// maps to the output (the root matrix included), Calculated to the root's
// user space (unset when it would be the identity).
struct TSVGMatrixPair {
  TMatrix Complete;
  TMatrix Calculated;
};

// What an object is, as bits, so that the walks over large documents test a
// flag instead of running dynamic_cast on every element.
enum TSVGKind : uint16_t {
  skMatrix = 1 << 0,
  skBasic = 1 << 1,
  skFiller = 1 << 2,         // paint servers
  skGradient = 1 << 3,
  skPattern = 1 << 4,
  skReferenceOnly = 1 << 5,  // drawn only through a reference: defs, clipPath, mask, marker, paint servers
  skSymbol = 1 << 6,
  skViewport = 1 << 7,       // nested svg and symbol
  skUse = 1 << 8,
  skSwitch = 1 << 9,
  skDocument = 1 << 10,
  skTextContent = 1 << 11,
};

class TSVGObject {
 public:
  TSVGObject();
  virtual ~TSVGObject();
  TSVGObject(const TSVGObject&) = delete;
  TSVGObject& operator=(const TSVGObject&) = delete;

  // Children, owned, in document order.
  int Count() const { return m_items ? int(m_items->size()) : 0; }
  TSVGObject* Items(int index) const {
    return (index >= 0 && index < Count()) ? (*m_items)[size_t(index)].get() : nullptr;
  }
  // Appends item (taking ownership) and returns its index.
  int Add(std::unique_ptr<TSVGObject> item);
  // Takes the child out of the list and gives it back to the caller.
  std::unique_ptr<TSVGObject> Delete(int index);
  int IndexOf(const TSVGObject* item) const;
  TSVGObject* SVGParent() const { return m_parent; }
  // The document this object belongs to, or null.
  TSVG* Root() const;
  bool HasKind(uint16_t kinds) const { return (m_kinds & kinds) != 0; }

  std::string_view ID() const { return FID.View(); }
  std::string_view ObjectName() const;
  // Names are kept as views of a static table of the element names Karto
  // knows; any other name reads as "".
  void SetObjectName(std::string_view name);
  // xml:space as written on this element: -1 not given, 0 default, 1 preserve.
  int XmlSpace() const { return m_xmlSpace; }
  // A conditional attribute (systemLanguage, requiredExtensions) fails.
  bool ConditionFailed() const { return m_conditionFailed; }
  // Left out by a switch or a failing condition: drawn nowhere.
  bool HiddenByCondition() const { return m_hiddenByCondition; }
  const std::vector<std::string>& Classes() const;
  // The four corners of the element's geometry after its calculated matrix
  // (all zero without geometry); computed when asked.
  virtual TBounds ObjectBounds() const { return TBounds(); }

  // The first object of this subtree (itself first, pre-order) whose id is
  // name or "#" + id is name. On a document after loading this uses its
  // index, built once; "" finds nothing.
  TSVGObject* FindByID(std::string_view name) const;
  // The next object after previous (or the first, when previous is null) in
  // pre-order of this subtree whose class is exactly type (derived classes do
  // not match).
  TSVGObject* FindByType(const std::type_info& type, const TSVGObject* previous = nullptr) const;
  template <class T>
  T* FindByType(const TSVGObject* previous = nullptr) const {
    return static_cast<T*>(FindByType(typeid(T), previous));
  }
  // A copy of this object and all its descendants, appended to parent.
  TSVGObject* Clone(TSVGObject* parent) const;

  // A new empty object of the same class (not attached).
  virtual std::unique_ptr<TSVGObject> CreateEmpty() const = 0;
  // Copies the attributes of source (same class), not its children.
  virtual void CopyFrom(const TSVGObject& source);
  // Reads the element's attributes from its XML node (not its children):
  // one pass over them, each offered to ReadAttribute before it counts as a
  // presentation attribute.
  virtual void ReadFromXML(const TXmlNode& node, TSVGReadContext& context);
  // One attribute of the element: true when the class took it.
  virtual bool ReadAttribute(std::string_view name, std::string_view value, TSVGReadContext& context) {
    return false;
  }
  // Whether child elements are drawing elements read through the element
  // table (groups, viewports, clip paths ...).
  virtual bool ReadsChildElements() const { return false; }
  // What a child element named local (without a namespace prefix) becomes:
  // a new object, or null to skip it and its subtree. Groups look it up in
  // the element table; gradients take stops, text takes tspan and textPath.
  virtual std::unique_ptr<TSVGObject> CreateChildElement(std::string_view local) const;
  // Character data inside this element (text content); ignored by default.
  virtual void AddCharacters(std::string_view text, TSVGReadContext& context) {}
  // The element's subtree has been read.
  virtual void EndOfElement(TSVGReadContext& context) {}
  // Resolves lengths against the element's viewport and builds geometry.
  virtual void ResolveGeometry() {}

  // The computed presentation values (after ResolveStyles); initial values
  // before.
  const TSVGStyleValues& Style() const;
  // The element's own declarations: presentation attributes, then "style".
  const TDeclarations* PresentationDeclarations() const { return m_own ? m_own->Presentation : nullptr; }
  const TDeclarations* StyleAttributeDeclarations() const { return m_own ? m_own->StyleAttribute : nullptr; }
  // The cascaded declarations (after ResolveStyles).
  const TDeclarations* SpecifiedDeclarations() const { return m_specified; }

  // "display" is not "none" for this element and all its ancestors.
  bool IsDisplayed() const;
  // Computed visibility is "visible".
  bool IsVisible() const;

  // Matrices of the elements of this subtree, pre-order (parents first).
  void CalculateMatrices();

 protected:
  friend class TSVG;
  friend class TSVGDocumentReader;
  using TItems = std::vector<std::unique_ptr<TSVGObject>>;
  // The children; only objects that have some hold a list (most elements of
  // a drawing are leaves).
  std::unique_ptr<TItems> m_items;
  TSVGObject* m_parent = nullptr;
  TObjectId FID;
  // Classes, presentation attributes and "style", interned by the document
  // (null: none of them).
  const TOwnStyle* m_own = nullptr;
  const TDeclarations* m_specified = nullptr;
  const TSVGStyleValues* m_style = nullptr;
  // The xml:space of this element: -1 inherit, 0 default, 1 preserve.
  int8_t m_xmlSpace = -1;
  // A conditional attribute (systemLanguage ...) that fails.
  bool m_conditionFailed = false;
  // A failed condition, or a switch that picked another child.
  bool m_hiddenByCondition = false;
  uint16_t m_kinds = 0;
  uint8_t m_name = 0;  // index into the table of element names
  // A shape's geometry is to be built again (see TSVGShape); kept in the
  // spare byte here, which saves a shape 16 bytes of heap.
  mutable bool m_geometryStale = false;

 private:
  virtual void CalculateOwnMatrix(std::deque<TSVGMatrixPair>& pool) {}
};

// An object with a transform and the matrices accumulated from the root.
class TSVGMatrix : public TSVGObject {
 public:
  TSVGMatrix() { m_kinds |= skMatrix; }
  // The element's own "transform" (unset when it has none).
  const TMatrix& PureMatrix() const { return FMatrix; }
  void SetPureMatrix(const TMatrix& value);
  // Everything from the element's coordinates to the document's output
  // (the root matrix included).
  const TMatrix& Matrix() const { return m_matrices ? m_matrices->Complete : kUnsetMatrix; }
  // The same without the root matrix: element coordinates to the root's
  // user space.
  const TMatrix& CalculatedMatrix() const { return m_matrices ? m_matrices->Calculated : kUnsetMatrix; }
  // The element's own contribution: its viewport mapping (nested svg,
  // symbol, "use" offset) followed by its transform.
  virtual TMatrix LocalMatrix() const;
  TPointF TransformPoint(TPointF p) const;
  void CopyFrom(const TSVGObject& source) override;
  bool ReadAttribute(std::string_view name, std::string_view value, TSVGReadContext& context) override;

 protected:
  friend class TSVG;
  TSparseMatrix FMatrix;
  // The accumulated matrices live in the document; an element without a
  // transform of its own shares its parent's (most elements have none).
  const TSVGMatrixPair* m_matrices = nullptr;
  static const TMatrix kUnsetMatrix;

 private:
  void CalculateOwnMatrix(std::deque<TSVGMatrixPair>& pool) override;
};

// Base of the drawable and grouping elements: presentation values, the
// common geometry attributes and the element's path geometry.
class TSVGBasic : public TSVGMatrix {
 public:
  TSVGBasic() { m_kinds |= skBasic; }
  void CopyFrom(const TSVGObject& source) override;
  bool ReadAttribute(std::string_view name, std::string_view value, TSVGReadContext& context) override;
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGBasic>(); }

  // Geometry in user units (after ResolveGeometry); each class says what its
  // fields mean.
  float X() const { return FX; }
  float Y() const { return FY; }
  float Width() const { return FWidth; }
  float Height() const { return FHeight; }
  // Corner radii of a rect, the radii of an ellipse; 0 for the others.
  virtual float RX() const { return 0; }
  virtual float RY() const { return 0; }
  // The element's geometry in its own coordinates, or null (only shapes
  // have one).
  virtual const TPathData* PathData() const { return nullptr; }
  // The bounds of the geometry in element coordinates; false without
  // geometry.
  virtual bool GeometryBounds(TRectF& bounds) const;

  // Resolved presentation values.
  bool DoFill() const { return Style().Fill.Kind != TPaintKind::None; }
  bool DoStroke() const { return Style().Stroke.Kind != TPaintKind::None; }
  // The paint's colour: currentColor resolved; a reference gives its
  // fallback colour, or black when it has none.
  TAlphaColor FillColor() const;
  TAlphaColor StrokeColor() const;
  float FillOpacity() const { return Style().FillOpacity; }
  float StrokeOpacity() const { return Style().StrokeOpacity; }
  // This element's own "opacity" and the product down from the root.
  float Opacity() const { return Style().Opacity; }
  float EffectiveOpacity() const;
  float StrokeWidth() const;
  TLineCap StrokeLineCap() const { return Style().StrokeLinecap; }
  TLineJoin StrokeLineJoin() const { return Style().StrokeLinejoin; }
  float StrokeMiterLimit() const { return Style().StrokeMiterlimit; }
  float StrokeDashOffset() const;
  std::vector<float> StrokeDashArray() const;
  TFillRule FillRule() const { return Style().FillRule; }
  const std::string& ClipURI() const { return Style().ClipPath; }
  // The first family of "font-family".
  std::string FontName() const;
  float FontSize() const { return Style().FontSize; }
  int FontWeight() const { return Style().FontWeight; }
  TFontStyle FontStyle() const { return Style().FontStyle; }
  TTextDecoration TextDecoration() const { return Style().TextDecoration; }

  // A length of this element in user units: percentages of the nearest
  // viewport's width (horizontal), height (vertical) or normalised diagonal
  // (other), em and ex from the font size.
  enum class TAxis { Horizontal, Vertical, Other };
  float ResolveLength(const TSVGLength& length, TAxis axis) const;
  // Width and height of the nearest viewport (view box, or the viewport
  // size when there is no view box).
  TPointF ViewportSize() const;
  // The element's transform about its transform-origin (unset when it has
  // no transform).
  TMatrix OwnTransform() const;
  TMatrix LocalMatrix() const override { return OwnTransform(); }

  TBounds ObjectBounds() const override;

  // The display shape of this element: a TPath owned by and parented to
  // target, named by the element's kind and its place among the target's
  // children; null when the element has no geometry.
  TPath* CreatePathShape(TControl* target) const;

 protected:
  friend class TSVG;
  // Geometry attributes as written; absent ones stay unset.
  // 8 bytes: a document holds millions of them.
  struct TLengthAttr {
    float Value = 0;
    TLengthUnit Unit = luNone;
    bool Set = false;
    TSVGLength Length() const { return TSVGLength{Value, Unit}; }
  };
  bool ReadLength(const TXmlNode& node, std::string_view name, TLengthAttr& out, TSVGReadContext& context,
                  bool nonNegative = false);
  bool ReadLength(std::string_view name, std::string_view value, TLengthAttr& out, TSVGReadContext& context,
                  bool nonNegative = false);
  // Where the length attribute name of this element goes (null: it is none
  // of them); nonNegative is set when the attribute may not be negative.
  virtual TLengthAttr* LengthSlot(std::string_view name, bool& nonNegative);
  float Resolve(const TLengthAttr& a, TAxis axis, float fallback = 0) const {
    return a.Set ? ResolveLength(a.Length(), axis) : fallback;
  }

  // x, y, width, height, rx, ry as written. Kept on the heap, and only by
  // elements that have one of them: paths and groups (most of a drawing)
  // have none.
  struct TGeometryAttrs {
    TLengthAttr X, Y, Width, Height, RX, RY;
  };
  const TGeometryAttrs& Geo() const {
    static const TGeometryAttrs kNone;
    return m_geometry ? *m_geometry : kNone;
  }
  TGeometryAttrs& MutableGeo() {
    if (!m_geometry) m_geometry = std::make_unique<TGeometryAttrs>();
    return *m_geometry;
  }
  std::unique_ptr<TGeometryAttrs> m_geometry;
  // The size of the nearest viewport, set before ResolveGeometry (a walk up
  // the tree per length would cost the depth of the tree each time).
  TPointF m_viewportSize{100, 100};
  float FX = 0, FY = 0, FWidth = 0, FHeight = 0;
};

// The elements that have a geometry of their own: path and the basic shapes.
class TSVGShape : public TSVGBasic {
 public:
  // Basic shapes build their geometry when first asked: a large document
  // then holds only numbers for its rectangles and circles until something
  // draws them.
  const TPathData* PathData() const override {
    if (m_geometryStale) {
      m_geometryStale = false;
      BuildGeometry(FPathData);
    }
    return FPathData.IsEmpty() ? nullptr : &FPathData;
  }
  void SetPathData(TPathData data) {
    FPathData = std::move(data);
    m_geometryStale = false;
  }
  void CopyFrom(const TSVGObject& source) override;

 protected:
  // Builds the geometry of a basic shape from its resolved numbers.
  virtual void BuildGeometry(TPathData& path) const {}
  // The numbers changed: the geometry is built again when asked for.
  void InvalidateGeometry() {
    FPathData.Clear();
    m_geometryStale = true;
  }
  mutable TPathData FPathData;
};

// View box, preserveAspectRatio and the viewport rectangle of the elements
// that establish a viewport (svg, symbol, pattern, marker).
struct TSVGViewportAttrs {
  TFRect ViewBox;
  bool HasViewBox = false;
  TPreserveAspectRatio AspectRatio;
  void Read(const TXmlNode& node, TSVGReadContext& context);
};

// --- the document ---------------------------------------------------------------------

class TSVG : public TSVGBasic {
 public:
  TSVG();
  ~TSVG() override;
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVG>(); }
  bool ReadsChildElements() const override { return true; }
  void CopyFrom(const TSVGObject& source) override;

  // Loads a file: reads it, runs the four stages and reports. Images named
  // by the file are looked for in its folder and below only. The document is
  // cleared first.
  TSVGLoadResult LoadFromFile(const std::string& fileName);
  // The same for bytes already in memory; baseFolder for images (empty: no
  // image files are read). With owned given (holding the same bytes), the
  // reader may take its memory over instead of copying it.
  // How far a load running on another thread has come, 0 to 100.
  int LoadPercent() const { return m_loadPercent.load(std::memory_order_relaxed); }
  TSVGLoadResult LoadFromBytes(std::string_view bytes, const std::string& baseFolder = {},
                               std::string* owned = nullptr);
  // Removes all content, styles and values; keeps the limits.
  void Clear();

  // --- the stages, in order ---
  // 1. Elements from an XML tree (LoadFromBytes reads them straight from
  //    the XML reader, without a tree); false with result.Error set when
  //    the document element is no svg element.
  bool ReadDocument(const TXmlNode& svgRoot, TSVGReadContext& context);
  // 2. Cascade and computed values.
  void ResolveStyles(TSVGLoadResult* result = nullptr);
  // 3. Copies for "use" elements; href chains of paint servers.
  void ExpandUses(TSVGLoadResult* result = nullptr);
  // 4. Lengths, geometry, document size, matrices.
  void CalculateSize();

  // The document's size in user units ("width"/"height" of the root, else
  // its view box, else the bounds of its content).
  float DocumentWidth() const { return FWidth; }
  float DocumentHeight() const { return FHeight; }
  const TFRect& ViewBox() const { return m_viewport.ViewBox; }
  bool HasViewBox() const { return m_viewport.HasViewBox; }
  const TPreserveAspectRatio& AspectRatio() const { return m_viewport.AspectRatio; }
  const TRectF& ContentBounds() const { return m_contentBounds; }

  // Adds a display shape to target for every drawn element that has a
  // geometry, in document order (the copy below a use where the use
  // stands); returns how many. Each call adds a new set.
  int CreateFMShapes(TControl* target);
  // The shapes of top's descendants (a pattern's content), added to target
  // with the matrices they have in the document.
  // outer: the layer they are drawn in (a marker's, in its element's).
  int CreateShapesOf(const TSVGObject& top, TControl* target, std::shared_ptr<const TDrawLayer> outer = nullptr);
  // The shapes of the markers on element's vertices, after it, drawn in
  // layer.
  void CreateMarkerShapes(const TSVGBasic& element, TControl* target, const std::shared_ptr<const TDrawLayer>& layer);
  // What the mask maskObject lays over element: its content's shapes in
  // the target's coordinates, under one holder control; null when it
  // leaves nothing of element.
  std::shared_ptr<TControl> MaskContent(const TSVGObject& maskObject, const TSVGObject& element);

  // Places the drawing: the matrix that maps the root's user space into
  // target (view box and preserveAspectRatio honoured), after
  // initialMatrix. Then recalculates every matrix. With no call the target
  // is (0, 0, DocumentWidth, DocumentHeight).
  void SetTarget(const TRectF& target, const TMatrix& initialMatrix = TMatrix::Identity());
  const TMatrix& RootMatrix() const { return FSVGRootMatrix; }
  TMatrix LocalMatrix() const override;

  // The value of key in the style-sheet rule named name, or "".
  std::string GetStyleValue(std::string_view name, std::string_view key) const;
  const TStyleList& StyleSheet() const { return *FStyles; }
  TStylePool& StylePool() { return m_pool; }
  const std::string& FileName() const { return FFileName; }
  TSVGLimits Limits;
  size_t ElementCount() const { return m_elementCount; }

  // The id index (first element with an id wins).
  TSVGObject* LookUpID(std::string_view id) const;

 private:
  std::atomic<int> m_loadPercent{0};
  friend class TSVGDocumentReader;
  friend class TSVGObject;
  // Counts an object the reader made and puts its id into the index, so
  // that no later stage walks the whole tree for it.
  void Register(TSVGObject* object);
  void IndexIds();
  void ResolveReferences(TSVGLoadResult* result);
  void ExpandUse(TSVGUse& use, TSVGLoadResult* result, size_t& elements);
  // The root matrix for target, without recalculating the other matrices.
  void PlaceRoot(const TRectF& target, const TMatrix& initialMatrix);
  // Computed values of one object from its parent's and its cascade.
  void ComputeStyle(TSVGObject* object);
  void ComputeSubtreeStyles(TSVGObject* top);

  std::unique_ptr<TStyleList> FStyles;
  TSelectorIndex m_selectors;
  TStylePool m_pool;
  TSVGViewportAttrs m_viewport;
  TMatrix FSVGRootMatrix = TMatrix::Identity();
  TRectF m_target;
  bool m_hasTarget = false;
  TMatrix m_initialMatrix = TMatrix::Identity();
  TRectF m_contentBounds;
  std::string FFileName;
  std::unordered_map<std::string_view, TSVGObject*> m_ids;
  std::deque<TSVGMatrixPair> m_matrixPool;
  size_t m_elementCount = 0;
  // What the expansion stage works on, in document order, as the reader
  // found it: use elements and paint servers (a few in a large drawing).
  std::vector<TSVGUse*> m_uses;
  std::vector<TSVGObject*> m_servers;
  std::vector<TSVGObject*> m_named;
};

// --- containers -------------------------------------------------------------------------

// "g", and "a", which groups like "g".
class TSVGContainer : public TSVGBasic {
 public:
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGContainer>(); }
  bool ReadsChildElements() const override { return true; }
};

// "switch": only the first child whose conditions pass is shown; the
// others are marked not displayed when styles are resolved.
class TSVGSwitch : public TSVGBasic {
 public:
  TSVGSwitch() { m_kinds |= skSwitch; }
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGSwitch>(); }
  bool ReadsChildElements() const override { return true; }
  // The child that is shown, or null.
  TSVGObject* ChosenChild() const;
};

// "defs": holds elements for reference; never drawn itself.
class TSVGDefs : public TSVGBasic {
 public:
  TSVGDefs() { m_kinds |= skReferenceOnly; }
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGDefs>(); }
  bool ReadsChildElements() const override { return true; }
};

// A nested "svg" element: a group with its own viewport.
class TSVGNestedSVG : public TSVGBasic {
 public:
  TSVGNestedSVG() { m_kinds |= skViewport; }
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGNestedSVG>(); }
  bool ReadsChildElements() const override { return true; }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;
  void ResolveGeometry() override;
  TMatrix LocalMatrix() const override;
  const TSVGViewportAttrs& Viewport() const { return m_viewport; }
  // The viewport's clip rectangle in the element's parent coordinates.
  TRectF ClipRect() const { return {FX, FY, FX + FWidth, FY + FHeight}; }

 protected:
  TSVGViewportAttrs m_viewport;
};

// "symbol": drawn only through "use", then like a nested svg whose size
// comes from the use element.
class TSVGSymbol : public TSVGNestedSVG {
 public:
  TSVGSymbol() { m_kinds |= skSymbol; }
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGSymbol>(); }
  // A symbol takes no transform of its own (as SVG 1.1 says and drawings
  // expect); only its viewport mapping.
  TMatrix LocalMatrix() const override;
  void ResolveGeometry() override;
  // Whether this copy stands inside a use element (then it is drawn).
  bool IsInstance() const;
};

class TSVGUse : public TSVGBasic {
 public:
  TSVGUse() { m_kinds |= skUse; }
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGUse>(); }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;
  void ResolveGeometry() override;
  // x and y applied after the use's own transform.
  TMatrix LocalMatrix() const override;
  // The "href" text as written ("#id").
  const std::string& Reference() const { return FReference; }
  // The width and height given to a referenced symbol or svg, when set.
  bool HasSize(float& width, float& height) const;

 private:
  friend class TSVG;
  std::string FReference;
  // The target this use's copy was made of (null until expanded), so that
  // copies nested in copies can tell a cycle.
  const TSVGObject* m_instanceOf = nullptr;
  TMatrix m_offset = TMatrix::Zero();
};

// --- shapes ----------------------------------------------------------------------------

class TSVGRect : public TSVGShape {
 public:
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGRect>(); }
  void CopyFrom(const TSVGObject& source) override;
  void ResolveGeometry() override;
  bool GeometryBounds(TRectF& bounds) const override;
  float RX() const override { return FRX; }
  float RY() const override { return FRY; }

 protected:
  void BuildGeometry(TPathData& path) const override;

 private:
  float FRX = 0, FRY = 0;
};

// "line": X, Y hold x1, y1 and Width, Height hold x2, y2.
class TSVGLine : public TSVGShape {
 public:
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGLine>(); }
  void ResolveGeometry() override;
  bool GeometryBounds(TRectF& bounds) const override;

 protected:
  TLengthAttr* LengthSlot(std::string_view name, bool& nonNegative) override;
  void BuildGeometry(TPathData& path) const override;

 public:
  void CopyFrom(const TSVGObject& source) override;

 private:
  TLengthAttr m_x1, m_y1, m_x2, m_y2;
};

class TSVGPolyLine : public TSVGShape {
 public:
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGPolyLine>(); }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  void ResolveGeometry() override;
  bool GeometryBounds(TRectF& bounds) const override;

 protected:
  void BuildGeometry(TPathData& path) const override;

 public:
  void CopyFrom(const TSVGObject& source) override;
  const std::vector<TPointF>& Points() const { return FPoints; }

 protected:
  virtual bool Closed() const { return false; }
  std::vector<TPointF> FPoints;
};

class TSVGPolygon : public TSVGPolyLine {
 public:
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGPolygon>(); }

 protected:
  bool Closed() const override { return true; }
};

// "ellipse" and "circle": X, Y hold the centre, Width, Height the radii.
class TSVGEllipse : public TSVGShape {
 public:
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGEllipse>(); }
  void ResolveGeometry() override;
  bool GeometryBounds(TRectF& bounds) const override;
  float RX() const override { return FWidth; }
  float RY() const override { return FHeight; }

 protected:
  TLengthAttr* LengthSlot(std::string_view name, bool& nonNegative) override;
  void BuildGeometry(TPathData& path) const override;

 public:
  void CopyFrom(const TSVGObject& source) override;

 private:
  TLengthAttr m_cx, m_cy, m_r;
};

class TSVGPath : public TSVGShape {
 public:
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGPath>(); }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;
};

// "image": a picture (PNG, JPEG, GIF) or an SVG drawing, from a data URI or a
// file in the SVG file's folder or below. X, Y, Width, Height: the image
// rectangle.
class TSVGImage : public TSVGBasic {
 public:
  TSVGImage();
  ~TSVGImage() override;
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGImage>(); }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;
  void ResolveGeometry() override;
  // The decoded picture, or null; a nested drawing, or null.
  const QImage* Picture() const { return m_picture.get(); }
  const TSVG* Drawing() const { return m_drawing.get(); }
  const std::string& FileName() const { return FFileName; }
  const TPreserveAspectRatio& AspectRatio() const { return m_aspect; }
  bool GeometryBounds(TRectF& bounds) const override;
  // The picture's own size (pixels, or the drawing's size).
  TPointF IntrinsicSize() const;
  // The display object of the picture: a TImage on target placed by the
  // element's matrix and preserveAspectRatio (clipped to its viewport for
  // slice); a nested drawing is drawn at the size it covers. Null without
  // a picture or a size.
  TControl* CreateImageShape(TControl* target) const;

 private:
  std::string FFileName;
  std::shared_ptr<const QImage> m_picture;
  std::shared_ptr<const TSVG> m_drawing;
  TPreserveAspectRatio m_aspect;
};

// --- clipping, masking, markers ----------------------------------------------------------

enum class TSVGUnits : uint8_t { ObjectBoundingBox, UserSpaceOnUse };

class TSVGClipPath : public TSVGBasic {
 public:
  TSVGClipPath() { m_kinds |= skReferenceOnly; }
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGClipPath>(); }
  bool ReadsChildElements() const override { return true; }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;
  TSVGUnits Units() const { return m_units; }

 private:
  TSVGUnits m_units = TSVGUnits::UserSpaceOnUse;
};

class TSVGMask : public TSVGBasic {
 public:
  TSVGMask() { m_kinds |= skReferenceOnly; }
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGMask>(); }
  bool ReadsChildElements() const override { return true; }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;
  void ResolveGeometry() override;
  TSVGUnits Units() const { return m_units; }
  TSVGUnits ContentUnits() const { return m_contentUnits; }
  bool Alpha() const { return m_alpha; }

 private:
  TSVGUnits m_units = TSVGUnits::ObjectBoundingBox;
  TSVGUnits m_contentUnits = TSVGUnits::UserSpaceOnUse;
  bool m_alpha = false;  // mask-type="alpha"
};

enum class TMarkerOrient : uint8_t { Angle, Auto, AutoStartReverse };

class TSVGMarker : public TSVGBasic {
 public:
  TSVGMarker() { m_kinds |= skReferenceOnly; }
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGMarker>(); }
  bool ReadsChildElements() const override { return true; }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;
  void ResolveGeometry() override;
  const TSVGViewportAttrs& Viewport() const { return m_viewport; }
  // markerUnits="strokeWidth" (the default) scales by the stroke width.
  bool StrokeWidthUnits() const { return m_strokeWidthUnits; }
  TMarkerOrient Orient() const { return m_orient; }
  float OrientAngle() const { return m_angle; }
  float RefX() const { return m_refX; }
  float RefY() const { return m_refY; }
  // markerWidth and markerHeight.
  float MarkerWidth() const { return FWidth; }
  float MarkerHeight() const { return FHeight; }

 private:
  TSVGViewportAttrs m_viewport;
  bool m_strokeWidthUnits = true;
  TMarkerOrient m_orient = TMarkerOrient::Angle;
  float m_angle = 0;
  TLengthAttr m_refXAttr, m_refYAttr;
  float m_refX = 0, m_refY = 0;
};

// --- drawing a file -------------------------------------------------------------------

// The pixel size a document is drawn at: its own size (user units as
// pixels) without width and height; scaled with its proportions when one is
// given; fitted into width x height with its proportions when both are.
// False with a sentence when there is no size to draw at.
bool SvgPictureSize(const TSVG& doc, int width, int height, int& outWidth, int& outHeight, std::string& error);

struct TSvgPicture {
  bool Ok = false;
  std::string Error;
  std::vector<std::string> Warnings;
  QImage Image;
};

// Loads an SVG (or gzip-compressed .svgz) file and draws it through display
// shapes and the renderer, as the 2D view does, onto background.
TSvgPicture RenderSvgFile(const std::string& fileName, int width, int height, TAlphaColor background);

}  // namespace karto

#include "svg/SVGPaint.h"
#include "svg/SVGText.h"
