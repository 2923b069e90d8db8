// The element classes of the SVG model other than the document, the paint
// servers and text: viewports, use, the basic shapes, path, image, clip
// paths, masks and markers.

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "svg/SVG.h"
#include "svg/SVGCommon.h"
#include "svg/SVGPathData.h"
#include "xml/XmlDoc.h"

namespace karto {

namespace {

constexpr std::string_view kXlinkNamespace = "http://www.w3.org/1999/xlink";

// The "href" of an element: SVG 2's plain attribute, or any attribute whose
// name ends in ":href" (xlink:href, whatever the prefix).
std::string_view HrefOf(const TXmlNode& node) {
  if (const TXmlAttribute* a = node.AttributeList().Find("href")) return a->Value();
  for (const TXmlAttribute& a : node.AttributeList())
    if (EndsWith(a.Name(), ":href")) return a.Value();
  return {};
}

TSVGUnits ReadUnits(const TXmlNode& node, std::string_view name, TSVGUnits fallback, bool* present = nullptr) {
  const std::string_view v = TrimBlanks(node.GetAttribute(name));
  if (present) *present = v == "userSpaceOnUse" || v == "objectBoundingBox";
  if (v == "userSpaceOnUse") return TSVGUnits::UserSpaceOnUse;
  if (v == "objectBoundingBox") return TSVGUnits::ObjectBoundingBox;
  return fallback;
}

}  // namespace

// --- nested svg and symbol -------------------------------------------------------------------

void TSVGNestedSVG::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGBasic::ReadFromXML(node, context);
  m_viewport.Read(node, context);
}

void TSVGNestedSVG::CopyFrom(const TSVGObject& source) {
  TSVGBasic::CopyFrom(source);
  if (const auto* n = dynamic_cast<const TSVGNestedSVG*>(&source)) m_viewport = n->m_viewport;
}

void TSVGNestedSVG::ResolveGeometry() {
  FX = Resolve(Geo().X, TAxis::Horizontal);
  FY = Resolve(Geo().Y, TAxis::Vertical);
  // A nested svg is 100 % wide and high unless it says otherwise; a use
  // element that instances it may give it a size.
  float useWidth = 0, useHeight = 0;
  const auto* use = m_parent ? dynamic_cast<const TSVGUse*>(m_parent) : nullptr;
  const bool fromUse = use && use->HasSize(useWidth, useHeight);
  const TPointF vp = ViewportSize();
  FWidth = fromUse && useWidth > 0 ? useWidth : Resolve(Geo().Width, TAxis::Horizontal, vp.X);
  FHeight = fromUse && useHeight > 0 ? useHeight : Resolve(Geo().Height, TAxis::Vertical, vp.Y);
}

TMatrix TSVGNestedSVG::LocalMatrix() const {
  TMatrix m = m_viewport.HasViewBox
                  ? ViewBoxToViewportMatrix(m_viewport.ViewBox, m_viewport.AspectRatio, TRectF(FX, FY, FX + FWidth, FY + FHeight))
                  : TMatrix::CreateTranslation(FX, FY);
  const TMatrix own = OwnTransform();
  if (own.IsSet()) m = m * own;
  return m;
}

TMatrix TSVGSymbol::LocalMatrix() const {
  return m_viewport.HasViewBox
             ? ViewBoxToViewportMatrix(m_viewport.ViewBox, m_viewport.AspectRatio, TRectF(FX, FY, FX + FWidth, FY + FHeight))
             : TMatrix::CreateTranslation(FX, FY);
}

bool TSVGSymbol::IsInstance() const { return m_parent && m_parent->HasKind(skUse); }

void TSVGSymbol::ResolveGeometry() {
  TSVGNestedSVG::ResolveGeometry();
  // A symbol's x and y count only since SVG 2; its size defaults to 100 %.
}

// --- use ------------------------------------------------------------------------------

void TSVGUse::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGBasic::ReadFromXML(node, context);
  FReference.assign(HrefOf(node));
}

void TSVGUse::CopyFrom(const TSVGObject& source) {
  TSVGBasic::CopyFrom(source);
  if (const auto* u = dynamic_cast<const TSVGUse*>(&source)) FReference = u->FReference;
  // A copy starts unexpanded: it gets its own copy of the target when the
  // expansion walk reaches it.
}

bool TSVGUse::HasSize(float& width, float& height) const {
  width = Geo().Width.Set ? ResolveLength(Geo().Width.Length(), TAxis::Horizontal) : 0;
  height = Geo().Height.Set ? ResolveLength(Geo().Height.Length(), TAxis::Vertical) : 0;
  return Geo().Width.Set || Geo().Height.Set;
}

void TSVGUse::ResolveGeometry() {
  FX = Resolve(Geo().X, TAxis::Horizontal);
  FY = Resolve(Geo().Y, TAxis::Vertical);
  HasSize(FWidth, FHeight);
  // x and y move the copy after the use's own transform.
  TMatrix offset = TMatrix::CreateTranslation(FX, FY);
  const TMatrix own = OwnTransform();
  m_offset = own.IsSet() ? offset * own : offset;
}

TMatrix TSVGUse::LocalMatrix() const { return m_offset; }

// --- rect -----------------------------------------------------------------------------


void TSVGRect::CopyFrom(const TSVGObject& source) {
  TSVGShape::CopyFrom(source);
  if (const auto* r = dynamic_cast<const TSVGRect*>(&source)) {
    FRX = r->FRX;
    FRY = r->FRY;
  }
}

void TSVGRect::ResolveGeometry() {
  FX = Resolve(Geo().X, TAxis::Horizontal);
  FY = Resolve(Geo().Y, TAxis::Vertical);
  FWidth = Resolve(Geo().Width, TAxis::Horizontal);
  FHeight = Resolve(Geo().Height, TAxis::Vertical);
  // rx and ry: a missing one takes the other's value ("auto"); each is at
  // most half its side.
  float rx = Resolve(Geo().RX, TAxis::Horizontal);
  float ry = Resolve(Geo().RY, TAxis::Vertical);
  if (!Geo().RX.Set && Geo().RY.Set) rx = ry;
  if (!Geo().RY.Set && Geo().RX.Set) ry = rx;
  FRX = std::min(rx, FWidth / 2);
  FRY = std::min(ry, FHeight / 2);
  InvalidateGeometry();
}

bool TSVGRect::GeometryBounds(TRectF& bounds) const {
  if (FWidth <= 0 || FHeight <= 0) return false;  // draws nothing
  bounds = TRectF(FX, FY, FX + FWidth, FY + FHeight);
  return true;
}

void TSVGRect::BuildGeometry(TPathData& path) const {
  if (FWidth <= 0 || FHeight <= 0) return;
  const bool rounded = FRX > 0 && FRY > 0;
  path.AddRectangle(TRectF(FX, FY, FX + FWidth, FY + FHeight), rounded ? FRX : 0, rounded ? FRY : 0);
}

// --- line -----------------------------------------------------------------------------

TSVGBasic::TLengthAttr* TSVGLine::LengthSlot(std::string_view name, bool& nonNegative) {
  if (name == "x1") return &m_x1;
  if (name == "y1") return &m_y1;
  if (name == "x2") return &m_x2;
  if (name == "y2") return &m_y2;
  return TSVGBasic::LengthSlot(name, nonNegative);
}

void TSVGLine::CopyFrom(const TSVGObject& source) {
  TSVGShape::CopyFrom(source);
  if (const auto* l = dynamic_cast<const TSVGLine*>(&source)) {
    m_x1 = l->m_x1;
    m_y1 = l->m_y1;
    m_x2 = l->m_x2;
    m_y2 = l->m_y2;
  }
}

void TSVGLine::ResolveGeometry() {
  FX = Resolve(m_x1, TAxis::Horizontal);
  FY = Resolve(m_y1, TAxis::Vertical);
  FWidth = Resolve(m_x2, TAxis::Horizontal);
  FHeight = Resolve(m_y2, TAxis::Vertical);
  InvalidateGeometry();
}

bool TSVGLine::GeometryBounds(TRectF& bounds) const {
  bounds = TRectF(std::min(FX, FWidth), std::min(FY, FHeight), std::max(FX, FWidth), std::max(FY, FHeight));
  return true;
}

void TSVGLine::BuildGeometry(TPathData& path) const {
  path.MoveTo({FX, FY});
  path.LineTo({FWidth, FHeight});
}

// --- polyline and polygon -------------------------------------------------------------------

void TSVGPolyLine::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGBasic::ReadFromXML(node, context);
  // Pairs of numbers; an odd count keeps the complete pairs, and reading
  // stops at the first thing that is no number (keeping what came before).
  std::string_view s = node.GetAttribute("points");
  std::vector<float> numbers;
  SkipBlanks(s);
  while (!s.empty()) {
    float v;
    if (!ReadNumber(s, v)) {
      context.Warn("The points of <" + std::string(ObjectName()) + "> break off with an error.");
      break;
    }
    numbers.push_back(v);
    SkipCommaWsp(s);
  }
  FPoints.clear();
  FPoints.reserve(numbers.size() / 2);
  for (size_t i = 0; i + 1 < numbers.size(); i += 2) FPoints.emplace_back(numbers[i], numbers[i + 1]);
}

void TSVGPolyLine::CopyFrom(const TSVGObject& source) {
  TSVGShape::CopyFrom(source);
  if (const auto* p = dynamic_cast<const TSVGPolyLine*>(&source)) FPoints = p->FPoints;
}

void TSVGPolyLine::ResolveGeometry() { InvalidateGeometry(); }

bool TSVGPolyLine::GeometryBounds(TRectF& bounds) const {
  if (FPoints.size() < 2) return false;  // a single point draws nothing
  TBoundsBuilder b;
  for (TPointF p : FPoints) b.Add(p);
  bounds = b.Rect;
  return true;
}

void TSVGPolyLine::BuildGeometry(TPathData& path) const {
  if (FPoints.size() < 2) return;
  path.MoveTo(FPoints.front());
  for (size_t i = 1; i < FPoints.size(); ++i) path.LineTo(FPoints[i]);
  if (Closed()) path.ClosePath();
}

// --- circle and ellipse -----------------------------------------------------------------

TSVGBasic::TLengthAttr* TSVGEllipse::LengthSlot(std::string_view name, bool& nonNegative) {
  if (name == "cx") return &m_cx;
  if (name == "cy") return &m_cy;
  if (name == "r" && ObjectName() == "circle") {
    nonNegative = true;
    return &m_r;
  }
  return TSVGBasic::LengthSlot(name, nonNegative);
}

void TSVGEllipse::CopyFrom(const TSVGObject& source) {
  TSVGShape::CopyFrom(source);
  if (const auto* e = dynamic_cast<const TSVGEllipse*>(&source)) {
    m_cx = e->m_cx;
    m_cy = e->m_cy;
    m_r = e->m_r;
  }
}

void TSVGEllipse::ResolveGeometry() {
  FX = Resolve(m_cx, TAxis::Horizontal);
  FY = Resolve(m_cy, TAxis::Vertical);
  if (ObjectName() == "circle") {
    FWidth = FHeight = Resolve(m_r, TAxis::Other);
  } else {
    // "auto" radii: a missing one takes the other's value.
    FWidth = Resolve(Geo().RX, TAxis::Horizontal);
    FHeight = Resolve(Geo().RY, TAxis::Vertical);
    if (!Geo().RX.Set && Geo().RY.Set) FWidth = FHeight;
    if (!Geo().RY.Set && Geo().RX.Set) FHeight = FWidth;
  }
  InvalidateGeometry();
}

bool TSVGEllipse::GeometryBounds(TRectF& bounds) const {
  if (FWidth <= 0 || FHeight <= 0) return false;
  bounds = TRectF(FX - FWidth, FY - FHeight, FX + FWidth, FY + FHeight);
  return true;
}

void TSVGEllipse::BuildGeometry(TPathData& path) const {
  if (FWidth <= 0 || FHeight <= 0) return;
  // As SVG defines it: from the rightmost point, turning towards +y, so
  // that dashes and markers start where other renderers start them.
  const float cx = FX, cy = FY, rx = FWidth, ry = FHeight;
  const float kx = CurveKappa * rx, ky = CurveKappa * ry;
  path.MoveTo({cx + rx, cy});
  path.CurveTo({cx + rx, cy + ky}, {cx + kx, cy + ry}, {cx, cy + ry});
  path.CurveTo({cx - kx, cy + ry}, {cx - rx, cy + ky}, {cx - rx, cy});
  path.CurveTo({cx - rx, cy - ky}, {cx - kx, cy - ry}, {cx, cy - ry});
  path.CurveTo({cx + kx, cy - ry}, {cx + rx, cy - ky}, {cx + rx, cy});
  path.ClosePath();
}

// --- path -----------------------------------------------------------------------------

void TSVGPath::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGBasic::ReadFromXML(node, context);
  const std::string_view d = node.GetAttribute("d");
  TPathData path;
  TPathDataError error;
  if (!ParseSVGPathData(d, path, &error)) {
    context.Warn("The path" + (FID.empty() ? std::string() : " \"" + FID.String() + "\"") +
                 " is drawn up to an error in its data: " + error.Message);
  }
  FPathData = std::move(path);
}

void TSVGPath::CopyFrom(const TSVGObject& source) { TSVGShape::CopyFrom(source); }

// --- image ----------------------------------------------------------------------------

TSVGImage::TSVGImage() = default;
TSVGImage::~TSVGImage() = default;

namespace {

// The bytes of a data URI ("data:[type][;base64],data"); false when it is
// none. mediaType gets the type.
bool DecodeDataUri(std::string_view uri, std::string& mediaType, std::vector<uint8_t>& bytes) {
  std::string_view s = TrimBlanks(uri);
  if (!SkipPrefix(s, "data:")) return false;
  const size_t comma = s.find(',');
  if (comma == std::string_view::npos) return false;
  std::string_view header = s.substr(0, comma);
  const std::string_view body = s.substr(comma + 1);
  const bool base64 = EndsWith(header, ";base64");
  if (base64) header.remove_suffix(7);
  mediaType.assign(TrimBlanks(header.substr(0, header.find(';'))));
  if (base64) {
    Base64ToStream(body, bytes);
  } else {
    // Percent-encoded text.
    bytes.clear();
    for (size_t i = 0; i < body.size(); ++i) {
      if (body[i] == '%' && i + 2 < body.size() && std::isxdigit(static_cast<unsigned char>(body[i + 1])) &&
          std::isxdigit(static_cast<unsigned char>(body[i + 2]))) {
        bytes.push_back(uint8_t(std::stoi(std::string(body.substr(i + 1, 2)), nullptr, 16)));
        i += 2;
      } else {
        bytes.push_back(uint8_t(body[i]));
      }
    }
  }
  return true;
}

bool LooksLikeSvg(const std::vector<uint8_t>& bytes, std::string_view mediaType, std::string_view name) {
  if (mediaType == "image/svg+xml" || EndsWith(name, ".svg")) return true;
  const std::string_view head(reinterpret_cast<const char*>(bytes.data()), std::min<size_t>(bytes.size(), 512));
  return head.find("<svg") != std::string_view::npos;
}

}  // namespace

void TSVGImage::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGBasic::ReadFromXML(node, context);
  if (const TXmlAttribute* a = node.AttributeList().Find("preserveAspectRatio")) {
    TPreserveAspectRatio par;
    if (TryParsePreserveAspectRatio(a->Value(), par)) m_aspect = par;
  }
  const std::string_view href = TrimBlanks(HrefOf(node));
  if (href.empty()) return;
  std::vector<uint8_t> bytes;
  std::string mediaType;
  std::string folder;
  if (!DecodeDataUri(href, mediaType, bytes)) {
    // A file: relative to the SVG file's folder, never above it, never a URL.
    FFileName.assign(href);
    namespace fs = std::filesystem;
    if (href.find("://") != std::string_view::npos || context.BaseFolder.empty()) {
      context.Warn("The image \"" + FFileName + "\" is not read: only files beside the drawing are.");
      return;
    }
    std::error_code ec;
    const fs::path base = fs::weakly_canonical(fs::path(context.BaseFolder), ec);
    const fs::path file = fs::weakly_canonical(base / fs::path(std::string(href)), ec);
    const auto rel = file.lexically_relative(base);
    if (ec || rel.empty() || *rel.begin() == "..") {
      context.Warn("The image \"" + FFileName + "\" lies outside the drawing's folder and is not read.");
      return;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      context.Warn("The image \"" + FFileName + "\" cannot be opened.");
      return;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    folder = file.parent_path().string();
  }
  if (LooksLikeSvg(bytes, mediaType, FFileName)) {
    if (context.ImageNesting >= TSVGLimits::kMaxImageNesting) {
      context.Warn("An SVG image nests too deeply and is left out.");
      return;
    }
    auto drawing = std::make_shared<TSVG>();
    drawing->Limits = context.Document->Limits;
    // Nested drawings read no files of their own and count against the
    // nesting limit.
    TSVGLoadResult nested;
    TSVGReadContext inner;
    (void)inner;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    nested = drawing->LoadFromBytes(text, {});
    if (!nested.Ok) {
      context.Warn("The SVG image cannot be read: " + nested.Error);
      return;
    }
    m_drawing = std::move(drawing);
    return;
  }
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer);
  const QSize size = reader.size();
  if (size.isValid() && int64_t(size.width()) * size.height() > TSVGLimits::kMaxImagePixels) {
    context.Warn("An image is too large to be read.");
    return;
  }
  auto picture = std::make_shared<QImage>();
  if (!reader.read(picture.get()) || picture->isNull()) {
    context.Warn("An image cannot be decoded" + (FFileName.empty() ? std::string(".") : ": \"" + FFileName + "\"."));
    return;
  }
  m_picture = std::move(picture);
}

void TSVGImage::CopyFrom(const TSVGObject& source) {
  TSVGBasic::CopyFrom(source);
  if (const auto* i = dynamic_cast<const TSVGImage*>(&source)) {
    FFileName = i->FFileName;
    m_picture = i->m_picture;  // shared: pictures are never changed
    m_drawing = i->m_drawing;
    m_aspect = i->m_aspect;
  }
}

TPointF TSVGImage::IntrinsicSize() const {
  if (m_picture) return {float(m_picture->width()), float(m_picture->height())};
  if (m_drawing) return {m_drawing->DocumentWidth(), m_drawing->DocumentHeight()};
  return {0, 0};
}

void TSVGImage::ResolveGeometry() {
  FX = Resolve(Geo().X, TAxis::Horizontal);
  FY = Resolve(Geo().Y, TAxis::Vertical);
  // A missing size is the picture's own, keeping its proportions when only
  // one side is given.
  const TPointF own = IntrinsicSize();
  FWidth = Resolve(Geo().Width, TAxis::Horizontal);
  FHeight = Resolve(Geo().Height, TAxis::Vertical);
  if (!Geo().Width.Set && !Geo().Height.Set) {
    FWidth = own.X;
    FHeight = own.Y;
  } else if (!Geo().Width.Set) {
    FWidth = own.Y > 0 ? FHeight * own.X / own.Y : 0;
  } else if (!Geo().Height.Set) {
    FHeight = own.X > 0 ? FWidth * own.Y / own.X : 0;
  }
}

bool TSVGImage::GeometryBounds(TRectF& bounds) const {
  if (FWidth <= 0 || FHeight <= 0) return false;
  bounds = TRectF(FX, FY, FX + FWidth, FY + FHeight);
  return true;
}

// --- clip paths, masks, markers ---------------------------------------------------------------

void TSVGClipPath::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGBasic::ReadFromXML(node, context);
  m_units = ReadUnits(node, "clipPathUnits", TSVGUnits::UserSpaceOnUse);
}

void TSVGClipPath::CopyFrom(const TSVGObject& source) {
  TSVGBasic::CopyFrom(source);
  if (const auto* c = dynamic_cast<const TSVGClipPath*>(&source)) m_units = c->m_units;
}

namespace {

// The value the style attribute declares for name, or "" (for the few
// properties only their own element reads).
std::string_view StyleDeclaration(std::string_view style, std::string_view name) {
  std::string_view found;
  while (!style.empty()) {
    const size_t end = std::min(style.find(';'), style.size());
    const std::string_view item = style.substr(0, end);
    const size_t colon = item.find(':');
    if (colon != std::string_view::npos && TrimBlanks(item.substr(0, colon)) == name)
      found = TrimBlanks(item.substr(colon + 1));
    style.remove_prefix(std::min(end + 1, style.size()));
  }
  return found;
}

}  // namespace

void TSVGMask::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGBasic::ReadFromXML(node, context);
  m_units = ReadUnits(node, "maskUnits", TSVGUnits::ObjectBoundingBox);
  m_contentUnits = ReadUnits(node, "maskContentUnits", TSVGUnits::UserSpaceOnUse);
  // mask-type as an attribute or in the style attribute, which wins.
  std::string_view type = TrimBlanks(node.GetAttribute("mask-type"));
  const std::string_view styled = StyleDeclaration(node.GetAttribute("style"), "mask-type");
  if (!styled.empty()) type = styled;
  m_alpha = type == "alpha";
}

void TSVGMask::CopyFrom(const TSVGObject& source) {
  TSVGBasic::CopyFrom(source);
  if (const auto* m = dynamic_cast<const TSVGMask*>(&source)) {
    m_units = m->m_units;
    m_contentUnits = m->m_contentUnits;
    m_alpha = m->m_alpha;
  }
}

void TSVGMask::ResolveGeometry() {
  // The mask region: -10 % / 120 % of the bounding box by default; in user
  // space, lengths of the viewport.
  if (m_units == TSVGUnits::ObjectBoundingBox) {
    auto fraction = [](const TLengthAttr& a, float fallback) {
      if (!a.Set) return fallback;
      return a.Length().Unit == luPercent ? a.Length().Value / 100 : a.Length().Value;
    };
    FX = fraction(Geo().X, -0.1f);
    FY = fraction(Geo().Y, -0.1f);
    FWidth = fraction(Geo().Width, 1.2f);
    FHeight = fraction(Geo().Height, 1.2f);
  } else {
    const TPointF vp = ViewportSize();
    FX = Resolve(Geo().X, TAxis::Horizontal, -0.1f * vp.X);
    FY = Resolve(Geo().Y, TAxis::Vertical, -0.1f * vp.Y);
    FWidth = Resolve(Geo().Width, TAxis::Horizontal, 1.2f * vp.X);
    FHeight = Resolve(Geo().Height, TAxis::Vertical, 1.2f * vp.Y);
  }
}

void TSVGMarker::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGBasic::ReadFromXML(node, context);
  m_viewport.Read(node, context);
  m_strokeWidthUnits = TrimBlanks(node.GetAttribute("markerUnits")) != "userSpaceOnUse";
  TLengthAttr width, height;
  if (ReadLength(node, "markerWidth", width, context, true)) MutableGeo().Width = width;
  if (ReadLength(node, "markerHeight", height, context, true)) MutableGeo().Height = height;
  ReadLength(node, "refX", m_refXAttr, context);
  ReadLength(node, "refY", m_refYAttr, context);
  const std::string_view orient = TrimBlanks(node.GetAttribute("orient"));
  if (orient == "auto") m_orient = TMarkerOrient::Auto;
  else if (orient == "auto-start-reverse") m_orient = TMarkerOrient::AutoStartReverse;
  else if (!orient.empty() && !TryParseAngle(orient, m_angle)) m_angle = 0;
}

void TSVGMarker::CopyFrom(const TSVGObject& source) {
  TSVGBasic::CopyFrom(source);
  if (const auto* m = dynamic_cast<const TSVGMarker*>(&source)) {
    m_viewport = m->m_viewport;
    m_strokeWidthUnits = m->m_strokeWidthUnits;
    m_orient = m->m_orient;
    m_angle = m->m_angle;
    m_refXAttr = m->m_refXAttr;
    m_refYAttr = m->m_refYAttr;
  }
}

void TSVGMarker::ResolveGeometry() {
  FWidth = Resolve(Geo().Width, TAxis::Horizontal, 3);
  FHeight = Resolve(Geo().Height, TAxis::Vertical, 3);
  m_refX = Resolve(m_refXAttr, TAxis::Horizontal);
  m_refY = Resolve(m_refYAttr, TAxis::Vertical);
}

}  // namespace karto
