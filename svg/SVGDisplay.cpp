// The document as display shapes: one TPath per drawn element that has a
// geometry, placed on a target control exactly where the element lands.
//
// A shape keeps the element's geometry in the element's own coordinates and
// the element's complete matrix (its transforms, its ancestors', the use
// offsets, the view box and the target rectangle) as the path's DataMatrix,
// less the translation to the shape's position. So any affine transform,
// skews and uneven scales included, is drawn exactly, and the stroke, drawn
// through the same matrix, gets the width and shape SVG gives it.

#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "platform/Renderer.h"
#include "platform/Shapes.h"
#include "svg/SVG.h"
#include "svg/SVGPaint.h"
#include "svg/SVGTextLayout.h"

namespace karto {

namespace {

TAlphaColor WithOpacity(TAlphaColor color, float opacity) {
  const float alpha = float(ColorAlpha(color)) * std::clamp(opacity, 0.0f, 1.0f);
  return (color & 0x00FFFFFFu) | (TAlphaColor(std::lround(alpha)) << 24);
}

// A gradient as a brush in the coordinates of the element's geometry, whose
// bounds are bbox; false when it paints nothing there (no stops, or bounding
// box units on a geometry without width or height).
bool GradientBrush(const TSVGGradient& gradient, const TRectF& bbox, TPointF viewport, float opacity, TBrush& out) {
  TColors colors;
  gradient.ComposeColors(uint8_t(std::lround(255 * std::clamp(opacity, 0.0f, 1.0f))), colors);
  if (colors.StopCount == 0) return false;
  if (colors.StopCount == 1 || colors.ColorArray.front() == colors.ColorArray.back()) {
    bool allSame = true;
    for (TAlphaColor c : colors.ColorArray) allSame = allSame && c == colors.ColorArray.front();
    if (allSame) {
      out.Kind = TBrushKind::bkSolid;
      out.Color = colors.ColorArray.front();
      return true;
    }
  }
  TGradient& g = out.Gradient;
  g = TGradient();
  for (int i = 0; i < colors.StopCount; ++i) g.Points.push_back({colors.ColorArray[size_t(i)], colors.OffsetArray[size_t(i)]});
  g.PathCoordinates = true;
  TMatrix matrix = gradient.GradientTransform().IsSet() ? gradient.GradientTransform() : TMatrix::Identity();
  if (gradient.GradientUnits() == TSVGUnits::ObjectBoundingBox) {
    if (!(bbox.Width() > 0) || !(bbox.Height() > 0)) return false;
    TMatrix box = TMatrix::CreateScaling(bbox.Width(), bbox.Height()) * TMatrix::CreateTranslation(bbox.Left, bbox.Top);
    matrix = matrix * box;
  }
  g.Matrix = matrix;
  g.Spread = gradient.SpreadMethod() == TSpreadMethod::Reflect  ? TGradientSpread::spReflect
             : gradient.SpreadMethod() == TSpreadMethod::Repeat ? TGradientSpread::spRepeat
                                                                : TGradientSpread::spPad;
  if (const auto* radial = dynamic_cast<const TSVGRadialGradient*>(&gradient)) {
    if (!(radial->Radius(viewport) > 0)) {
      // A zero radius paints the last stop's colour.
      out.Kind = TBrushKind::bkSolid;
      out.Color = colors.ColorArray.back();
      return true;
    }
    g.Style = TGradientStyle::gsRadial;
    g.Center = radial->Center(viewport);
    g.Radius = radial->Radius(viewport);
    g.Focal = radial->Focal(viewport);
    g.FocalRadius = std::max(0.0f, radial->FocalRadius(viewport));
  } else if (const auto* linear = dynamic_cast<const TSVGLinearGradient*>(&gradient)) {
    g.Style = TGradientStyle::gsLinear;
    g.StartPosition = linear->Start(viewport);
    g.StopPosition = linear->End(viewport);
    if (g.StartPosition == g.StopPosition) {
      // No length: the last stop's colour.
      out.Kind = TBrushKind::bkSolid;
      out.Color = colors.ColorArray.back();
      return true;
    }
  }
  out.Kind = TBrushKind::bkGradient;
  out.Color = colors.ColorArray.back();
  return true;
}

// Moves the shapes on root by change, applied after their own placement:
// they are drawn as before, then through change. Their clip outlines move
// with them.
void MoveShapes(TControl& root, const TMatrix& change, int first = 0) {
  for (int k = first; k < root.ChildrenCount(); ++k) {
    TControl* c = root.Children(k);
    const TMatrix at = TMatrix::CreateTranslation(c->Position().X, c->Position().Y);
    auto moveClip = [&](TPathData& clip) {
      if (!clip.IsEmpty()) clip.ApplyMatrix(at * change);
    };
    if (auto* path = dynamic_cast<TPath*>(c)) {
      const TMatrix m = path->DataMatrix.IsSet() ? path->DataMatrix * at : at;
      path->DataMatrix = m * change;
      moveClip(path->ClipOutline);
    } else if (auto* picture = dynamic_cast<TImage*>(c)) {
      if (picture->DrawMatrix.IsSet()) picture->DrawMatrix = picture->DrawMatrix * at * change;
      moveClip(picture->ClipOutline);
    }
    c->SetPosition({0, 0});
  }
}

// A pattern's tile as a picture brush in the coordinates of element's
// geometry (bounds bbox); false when it paints nothing.
bool PatternBrush(const TSVGPattern& pattern, const TSVGBasic& element, const TRectF& bbox, float opacity,
                  TBrush& out) {
  // A pattern whose content paints with itself stops here.
  static thread_local int depth = 0;
  if (depth > 2) return false;
  TSVG* doc = element.Root();
  if (!doc) return false;
  const bool boxUnits = pattern.PatternUnits() == TSVGUnits::ObjectBoundingBox;
  const TFRect tile = pattern.Tile();
  const float bw = bbox.Width(), bh = bbox.Height();
  if (boxUnits && (!(bw > 0) || !(bh > 0))) return false;
  const float tx = boxUnits ? bbox.Left + tile.Left * bw : tile.Left;
  const float ty = boxUnits ? bbox.Top + tile.Top * bh : tile.Top;
  const float tw = boxUnits ? tile.Width * bw : tile.Width;
  const float th = boxUnits ? tile.Height * bh : tile.Height;
  if (!(tw > 0) || !(th > 0)) return false;
  // The content's coordinates into the tile's: the content's origin is the
  // tile's top left.
  TMatrix content = TMatrix::Identity();
  if (pattern.Viewport().HasViewBox) {
    content = ViewBoxToViewportMatrix(pattern.Viewport().ViewBox, pattern.Viewport().AspectRatio, TRectF(0, 0, tw, th));
  } else if (pattern.PatternContentUnits() == TSVGUnits::ObjectBoundingBox) {
    if (!(bw > 0) || !(bh > 0)) return false;
    content = TMatrix::CreateScaling(bw, bh);
  }
  // The tile is drawn at the resolution it is shown with.
  const TMatrix transform = pattern.PatternTransform().IsSet() ? pattern.PatternTransform() : TMatrix::Identity();
  const TMatrix& placed = element.Matrix();
  const TMatrix shown = transform * (placed.IsSet() ? placed : TMatrix::Identity());
  const float scale = std::clamp(std::sqrt(std::fabs(shown.m11 * shown.m22 - shown.m12 * shown.m21)), 0.01f, 64.0f);
  const int pw = std::clamp(int(std::ceil(tw * scale)), 1, 2048), ph = std::clamp(int(std::ceil(th * scale)), 1, 2048);
  const TMatrix toPixels = TMatrix::CreateScaling(float(pw) / tw, float(ph) / th);
  // The content's shapes carry the document's root matrix; it is taken out
  // again.
  const TMatrix& rootMatrix = doc->Matrix();
  const TMatrix unroot = rootMatrix.IsSet() ? rootMatrix.Inverse() : TMatrix::Identity();
  TControl root;
  root.SetSize(float(pw), float(ph));
  root.SetOpacity(std::clamp(opacity, 0.0f, 1.0f));
  ++depth;
  doc->CreateShapesOf(*pattern.ContentSource(), &root);
  --depth;
  MoveShapes(root, unroot * content * toPixels);
  out.Kind = TBrushKind::bkBitmap;
  out.Bitmap = TBitmap(RenderToImage(root, pw, ph, 0));
  out.BitmapMatrix = TMatrix::CreateScaling(tw / float(pw), th / float(ph)) * TMatrix::CreateTranslation(tx, ty) * transform;
  return true;
}

// The brush a paint draws with on element (geometry bounds bbox), its
// opacity applied; false: nothing drawn.
bool PaintBrush(const TSVGBasic& element, const TPaint& paint, float opacity, const TRectF& bbox, TBrush& out) {
  const TSVGStyleValues& style = element.Style();
  out.Kind = TBrushKind::bkSolid;
  switch (paint.Kind) {
    case TPaintKind::None: return false;
    case TPaintKind::Color: out.Color = WithOpacity(paint.Color, opacity); return true;
    case TPaintKind::CurrentColor: out.Color = WithOpacity(style.Color, opacity); return true;
    case TPaintKind::Url: {
      const TSVG* doc = element.Root();
      const TSVGObject* server = doc && !paint.Url.empty() ? doc->LookUpID(paint.Url) : nullptr;
      if (const auto* gradient = dynamic_cast<const TSVGGradient*>(server)) {
        if (GradientBrush(*gradient, bbox, element.ViewportSize(), opacity, out)) return true;
      }
      if (const auto* pattern = dynamic_cast<const TSVGPattern*>(server)) {
        if (PatternBrush(*pattern, element, bbox, opacity, out)) return true;
        return false;
      }
      // A server that paints nothing here: the fallback, or nothing.
      out.Kind = TBrushKind::bkSolid;
      if (paint.FallbackKind == TPaintKind::Color) out.Color = WithOpacity(paint.FallbackColor, opacity);
      else if (paint.FallbackKind == TPaintKind::CurrentColor) out.Color = WithOpacity(style.Color, opacity);
      else return false;
      return true;
    }
    default: return false;
  }
}

// The name prefix of the shape made from element with geometry path.
std::string ShapePrefix(const TSVGBasic& element, const TPathData& path) {
  if (dynamic_cast<const TSVGRect*>(&element)) return "Rec_";
  if (dynamic_cast<const TSVGLine*>(&element)) return "Lin_";
  if (dynamic_cast<const TSVGPolygon*>(&element)) return "Ply_";
  if (dynamic_cast<const TSVGEllipse*>(&element)) return "Elp_";
  const auto& points = path.PointList();
  if (points.size() == 3 && points[1].Kind == ppLineTo) return "Lin_";
  return "Pth" + std::to_string(points.size() - 1) + "_";
}

// Gives shape its name: the prefix and its place among the target's
// children. A name another component of the owner already has (shapes were
// deleted in between) takes the next free number instead of failing the
// whole import.
void NameShape(TControl& shape, const std::string& prefix, int place) {
  for (int n = place;; ++n) {
    try {
      shape.SetName(prefix + std::to_string(n));
      return;
    } catch (const EComponentError&) {
      if (n - place > 1000000) throw;
    }
  }
}

// A path shape of geometry, painted as element paints, placed by the
// complete matrix; box is the bounding box paint servers are laid on.
TPath* MakePathShape(const TSVGBasic& element, const TPathData& geometry, const TMatrix& complete,
                     const TRectF& box, TPathFillRule fillRule, const std::string& prefix, TControl* target) {
  auto shape = std::make_unique<TPath>(target);
  shape->Data = geometry;
  shape->WrapMode = TPathWrapMode::pwOriginal;
  shape->FillRule = fillRule;
  // Placed at the top left of the drawn geometry, sized to it.
  shape->DataMatrix = complete;
  const TRectF bounds = shape->DrawnBounds();
  shape->DataMatrix = complete * TMatrix::CreateTranslation(-bounds.Left, -bounds.Top);
  shape->SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());

  const TSVGStyleValues& style = element.Style();
  if (!PaintBrush(element, style.Fill, style.FillOpacity, box, shape->Fill)) {
    shape->Fill.Kind = TBrushKind::bkNone;
    shape->Fill.Color = element.FillColor();
  }
  const float width = element.StrokeWidth();
  if (!(width > 0) || !PaintBrush(element, style.Stroke, style.StrokeOpacity, box, shape->Stroke)) {
    shape->Stroke.Kind = TBrushKind::bkNone;
    shape->Stroke.Color = element.StrokeColor();
  }
  shape->StrokeThickness = width;
  shape->StrokeCap = style.StrokeLinecap == TLineCap::Round    ? TStrokeCap::scRound
                     : style.StrokeLinecap == TLineCap::Square ? TStrokeCap::scSquare
                                                               : TStrokeCap::scFlat;
  shape->StrokeJoin = style.StrokeLinejoin == TLineJoin::Round   ? TStrokeJoin::sjRound
                      : style.StrokeLinejoin == TLineJoin::Bevel ? TStrokeJoin::sjBevel
                                                                 : TStrokeJoin::sjMiter;
  shape->StrokeMiterLimit = element.StrokeMiterLimit();
  // paint-order: the stroke before the fill when it is named first.
  const uint8_t* order = style.PaintOrder;
  shape->StrokeUnderFill = std::find(order, order + 3, 1) < std::find(order, order + 3, 0);
  // Dashes in units of the stroke width; a list with a negative value, or
  // only zeros, draws a solid line.
  if (width > 0) {
    const std::vector<float> dashes = element.StrokeDashArray();
    bool valid = !dashes.empty();
    bool positive = false;
    for (float d : dashes) {
      valid = valid && d >= 0;
      positive = positive || d > 0;
    }
    if (valid && positive) {
      std::vector<float> relative;
      for (float d : dashes) relative.push_back(d / width);
      shape->SetCustomDash(relative, element.StrokeDashOffset() / width);
    }
  }
  shape->SetOpacity(element.EffectiveOpacity());
  shape->SetHitTest(false);
  shape->SetAlign(TAlignLayout::alNone);
  shape->SetParent(target);
  NameShape(*shape, prefix, target->ChildrenCount());
  return shape.release();
}

TPathData ToPathData(const QPainterPath& path) {
  TPathData out;
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    switch (e.type) {
      case QPainterPath::MoveToElement: out.MoveTo({float(e.x), float(e.y)}); break;
      case QPainterPath::LineToElement: out.LineTo({float(e.x), float(e.y)}); break;
      case QPainterPath::CurveToElement:
        if (i + 2 < path.elementCount()) {
          const QPainterPath::Element c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
          out.CurveTo({float(e.x), float(e.y)}, {float(c2.x), float(c2.y)}, {float(end.x), float(end.y)});
          i += 2;
        }
        break;
      case QPainterPath::CurveToDataElement: break;
    }
  }
  return out;
}

// The shapes of a text element: a "Txt_" path per run of glyphs painted
// alike, and per decoration line. Paint servers span the whole text.
int CreateTextShapes(const TSVGText& text, TControl* target) {
  QRectF all;
  const std::vector<TTextPiece> pieces = LayoutText(text, &all);
  const TRectF box(float(all.left()), float(all.top()), float(all.right()), float(all.bottom()));
  const TMatrix& matrix = text.Matrix();
  const TMatrix complete = matrix.IsSet() ? matrix : TMatrix::Identity();
  int made = 0;
  for (const TTextPiece& p : pieces) {
    if (!p.Owner->IsVisible()) continue;
    TPath* shape =
        MakePathShape(*p.Owner, ToPathData(p.Outline), complete, box, TPathFillRule::frNonZero, "Txt_", target);
    // The opacities of the tspans and the text; those around the text are
    // its groups'.
    float opacity = 1;
    for (const TSVGObject* o = p.Owner; o; o = o == &text ? nullptr : o->SVGParent()) opacity *= o->Style().Opacity;
    shape->SetOpacity(opacity);
    ++made;
  }
  return made;
}

}  // namespace

TPath* TSVGBasic::CreatePathShape(TControl* target) const {
  const TPathData* geometry = PathData();
  if (!target || !geometry || geometry->IsEmpty()) return nullptr;
  const TMatrix& matrix = Matrix();
  TRectF box;
  if (!GeometryBounds(box)) box = geometry->GetBounds();
  return MakePathShape(*this, *geometry, matrix.IsSet() ? matrix : TMatrix::Identity(), box,
                       FillRule() == TFillRule::EvenOdd ? TPathFillRule::frEvenOdd : TPathFillRule::frNonZero,
                       ShapePrefix(*this, *geometry), target);
}

TControl* TSVGImage::CreateImageShape(TControl* target) const {
  if (!target || !(FWidth > 0) || !(FHeight > 0)) return nullptr;
  const TMatrix& matrix = Matrix();
  const TMatrix complete = matrix.IsSet() ? matrix : TMatrix::Identity();
  const TRectF viewport(FX, FY, FX + FWidth, FY + FHeight);
  QImage picture;
  TFRect source;
  // From the picture's pixels to the source's units.
  TMatrix pixels = TMatrix::Identity();
  if (m_picture && !m_picture->isNull()) {
    picture = *m_picture;
    source = TFRect{0, 0, float(picture.width()), float(picture.height())};
  } else if (m_drawing) {
    // A drawing as a picture: drawn at the pixel size it covers on the
    // target.
    const TPointF own = IntrinsicSize();
    if (!(own.X > 0) || !(own.Y > 0)) return nullptr;
    const float scale = std::sqrt(std::fabs(complete.m11 * complete.m22 - complete.m12 * complete.m21));
    const float zoom = std::clamp(scale * std::max(FWidth / own.X, FHeight / own.Y), 0.01f, 16.0f);
    const int w = std::clamp(int(std::ceil(own.X * zoom)), 1, 8192);
    const int h = std::clamp(int(std::ceil(own.Y * zoom)), 1, 8192);
    TControl root;
    root.SetSize(float(w), float(h));
    // The nested document is placed for this drawing only.
    auto* drawing = const_cast<TSVG*>(m_drawing.get());
    drawing->SetTarget(TRectF(0, 0, float(w), float(h)));
    drawing->CreateFMShapes(&root);
    picture = RenderToImage(root, w, h, 0);
    source = TFRect{0, 0, own.X, own.Y};
    pixels = TMatrix::CreateScaling(own.X / float(w), own.Y / float(h));
  } else {
    return nullptr;
  }
  // The picture into the viewport as preserveAspectRatio says; what a slice
  // pushes out of the viewport is clipped.
  auto shape = std::make_unique<TImage>(target);
  shape->Bitmap = TBitmap(picture);
  shape->WrapMode = TImageWrapMode::iwOriginal;
  shape->DrawMatrix = pixels * ViewBoxToViewportMatrix(source, m_aspect, viewport) * complete;
  if (m_aspect.Slice) {
    TPathData clip;
    clip.MoveTo(complete.Transform({viewport.Left, viewport.Top}));
    clip.LineTo(complete.Transform({viewport.Right, viewport.Top}));
    clip.LineTo(complete.Transform({viewport.Right, viewport.Bottom}));
    clip.LineTo(complete.Transform({viewport.Left, viewport.Bottom}));
    clip.ClosePath();
    shape->ClipOutline = clip;
  }
  const std::string& rendering = Style().ImageRendering;
  shape->Smooth = !(rendering == "optimizeSpeed" || rendering == "pixelated" || rendering == "crisp-edges");
  shape->SetOpacity(EffectiveOpacity());
  shape->SetHitTest(false);
  shape->SetParent(target);
  NameShape(*shape, "Img_", target->ChildrenCount());
  return shape.release();
}

namespace {

// The bounding box of o in its own user space: its geometry, a text's
// glyphs, or what a container holds; false when there is none.
bool UserBounds(const TSVGObject& o, TRectF& out) {
  if (const auto* text = dynamic_cast<const TSVGText*>(&o)) {
    QRectF r;
    LayoutText(*text, &r);
    if (r.isNull()) return false;
    out = TRectF(float(r.left()), float(r.top()), float(r.right()), float(r.bottom()));
    return true;
  }
  if (o.HasKind(skBasic) && static_cast<const TSVGBasic&>(o).GeometryBounds(out)) return true;
  if (!o.HasKind(skMatrix)) return false;
  const TMatrix& own = static_cast<const TSVGMatrix&>(o).Matrix();
  const TMatrix back = own.IsSet() ? own.Inverse() : TMatrix::Identity();
  TBoundsBuilder bounds;
  std::vector<const TSVGObject*> stack;
  for (int i = 0; i < o.Count(); ++i) stack.push_back(o.Items(i));
  while (!stack.empty()) {
    const TSVGObject* c = stack.back();
    stack.pop_back();
    if (c->Style().DisplayNone || c->HiddenByCondition() || c->HasKind(skReferenceOnly) || !c->HasKind(skMatrix))
      continue;
    TRectF r;
    const bool leaf = dynamic_cast<const TSVGText*>(c) || dynamic_cast<const TSVGShape*>(c) ||
                      dynamic_cast<const TSVGImage*>(c);
    if (leaf && UserBounds(*c, r)) {
      const TMatrix& m = static_cast<const TSVGMatrix*>(c)->Matrix();
      const TMatrix to = (m.IsSet() ? m : TMatrix::Identity()) * back;
      for (TPointF p : {TPointF(r.Left, r.Top), TPointF(r.Right, r.Top), TPointF(r.Right, r.Bottom),
                        TPointF(r.Left, r.Bottom)})
        bounds.Add(to.Transform(p));
      continue;
    }
    if (!leaf)
      for (int i = 0; i < c->Count(); ++i) stack.push_back(c->Items(i));
  }
  if (!bounds.Any) return false;
  out = bounds.Rect;
  return true;
}

TMatrix MatrixOf(const TSVGObject* o) {
  if (!o || !o->HasKind(skMatrix)) return TMatrix::Identity();
  const TMatrix& m = static_cast<const TSVGMatrix*>(o)->Matrix();
  return m.IsSet() ? m : TMatrix::Identity();
}

QPainterPath Mapped(const QPainterPath& path, const TMatrix& m) { return ToQTransform(m).map(path); }

// The area the clip path named id leaves of an element whose user space
// lies on the target through user and whose bounding box is box (null: it
// has none), in the target's coordinates. Nothing when the name is no clip
// path (a link to nothing is ignored) or a clip path already being built
// (clip paths that refer to each other in a circle).
std::optional<QPainterPath> ClipArea(const TSVG& doc, const std::string& id, const TRectF* box, const TMatrix& user,
                                     std::vector<const TSVGObject*>& building) {
  if (id.empty()) return std::nullopt;
  const auto* clip = dynamic_cast<const TSVGClipPath*>(doc.LookUpID(id));
  if (!clip || std::find(building.begin(), building.end(), clip) != building.end()) return std::nullopt;
  building.push_back(clip);
  struct TPop {
    std::vector<const TSVGObject*>& list;
    ~TPop() { list.pop_back(); }
  } pop{building};
  // The content was placed as if drawn where the clip path stands: its
  // own transforms stay, the clip path's transform goes outside the
  // bounding box units, the rest is the referring element's.
  const TMatrix clipMatrix = MatrixOf(clip);
  TMatrix space = clipMatrix * MatrixOf(clip->SVGParent()).Inverse() * user;
  if (clip->Units() == TSVGUnits::ObjectBoundingBox) {
    if (!box || !(box->Width() > 0) || !(box->Height() > 0)) return QPainterPath();
    space = TMatrix::CreateScaling(box->Width(), box->Height()) * TMatrix::CreateTranslation(box->Left, box->Top) *
            space;
  }
  const TMatrix unplace = clipMatrix.Inverse();
  QPainterPath area;
  area.setFillRule(Qt::WindingFill);
  for (int i = 0; i < clip->Count(); ++i) {
    const TSVGObject* c = clip->Items(i);
    // Only shapes, text and uses of them clip; a hidden one adds nothing.
    if (c->HasKind(skUse) && c->Count() > 0) c = c->Items(0);
    if (!c->HasKind(skBasic) || c->Style().DisplayNone || !c->IsVisible()) continue;
    QPainterPath part;
    if (const auto* text = dynamic_cast<const TSVGText*>(c)) {
      for (const TTextPiece& p : LayoutText(*text)) part.addPath(p.Outline);
      part.setFillRule(Qt::WindingFill);
    } else if (dynamic_cast<const TSVGShape*>(c)) {
      const TPathData* geometry = static_cast<const TSVGBasic*>(c)->PathData();
      if (!geometry) continue;
      part = ToQPainterPath(*geometry);
      part.setFillRule(c->Style().ClipRule == TFillRule::EvenOdd ? Qt::OddEvenFill : Qt::WindingFill);
    } else {
      continue;
    }
    const TMatrix placed = MatrixOf(c) * unplace * space;
    part = Mapped(part, placed).simplified();
    // A clip path on a child clips that child.
    TRectF childBox;
    const bool hasBox = UserBounds(*c, childBox);
    if (const auto own = ClipArea(doc, c->Style().ClipPath, hasBox ? &childBox : nullptr, placed, building))
      part = part.intersected(*own);
    area = area.united(part);
  }
  area = area.simplified();
  // A clip path on the clip path clips the whole.
  if (const auto own = ClipArea(doc, clip->Style().ClipPath, box, user, building)) area = area.intersected(*own);
  return area;
}

// Whether a nested svg, a symbol or a marker clips its content to its
// viewport: it does unless its overflow is set to visible or auto (SVG's
// user agent style sheet makes it hidden).
bool OverflowHidden(const TSVGObject& o) {
  const TDeclarations* specified = o.SpecifiedDeclarations();
  if (specified)
    for (const TDeclaration& d : *specified)
      if (d.Id == TPropertyId::Overflow)
        return o.Style().Overflow != TOverflow::Visible && o.Style().Overflow != TOverflow::Auto;
  return true;
}

bool ClipsToViewport(const TSVGObject& o) { return o.HasKind(skViewport) && OverflowHidden(o); }

// A vertex of a path with the directions (radians) the path comes in and
// goes out with.
struct TVertex {
  TPointF Point;
  bool HasIn = false, HasOut = false;
  float In = 0, Out = 0;
  // The direction a marker turns to: the bisector where the path both
  // comes and goes.
  float Angle() const {
    if (HasIn && HasOut) {
      const float x = std::cos(In) + std::cos(Out), y = std::sin(In) + std::sin(Out);
      return x == 0 && y == 0 ? In : std::atan2(y, x);
    }
    return HasOut ? Out : In;
  }
};

// The vertices of a path, as markers see them: every segment's end, the
// start of every subpath, and a closing segment's end at its start.
std::vector<TVertex> PathVertices(const TPathData& path) {
  std::vector<TVertex> out;
  const auto& pts = path.PointList();
  TPointF current, start;
  size_t startVertex = 0;
  auto direction = [](TPointF from, std::initializer_list<TPointF> towards, float& angle) {
    for (TPointF t : towards)
      if (t.X != from.X || t.Y != from.Y) {
        angle = std::atan2(t.Y - from.Y, t.X - from.X);
        return true;
      }
    return false;
  };
  auto segment = [&](TPointF end, float outAngle, float inAngle, bool has) {
    if (!out.empty()) {
      out.back().Out = outAngle;
      out.back().HasOut = true;
    }
    TVertex v{end};
    v.In = inAngle;
    v.HasIn = true;
    // A segment of no length takes the direction it had before.
    if (!has && !out.empty()) v.In = out.back().Out = out.back().HasIn ? out.back().In : 0;
    out.push_back(v);
    current = end;
  };
  for (size_t i = 0; i < pts.size(); ++i) {
    const TPathPoint& p = pts[i];
    switch (p.Kind) {
      case ppMoveTo:
        out.push_back({p.Point});
        current = start = p.Point;
        startVertex = out.size() - 1;
        break;
      case ppLineTo: {
        float a = 0;
        const bool has = direction(current, {p.Point}, a);
        segment(p.Point, a, a, has);
        break;
      }
      case ppCurveTo:
        if (i + 2 < pts.size()) {
          const TPointF c1 = p.Point, c2 = pts[i + 1].Point, end = pts[i + 2].Point;
          float a0 = 0, a1 = 0;
          const bool has = direction(current, {c1, c2, end}, a0);
          direction(end, {c2, c1, current}, a1);
          segment(end, a0, a1 + float(M_PI), has);
          i += 2;
        }
        break;
      case ppClose: {
        float a = 0;
        const bool has = direction(current, {start}, a);
        segment(start, a, a, has);
        // The subpath turns round: its start comes in as its end does.
        TVertex& first = out[startVertex];
        first.In = out.back().In;
        first.HasIn = true;
        if (first.HasOut) {
          out.back().Out = first.Out;
          out.back().HasOut = true;
        }
        break;
      }
    }
  }
  return out;
}

// The markers drawn on the vertices of markers in this thread: a marker
// whose content draws itself stops there.
thread_local int t_markerDepth = 0;

}  // namespace

int TSVG::CreateFMShapes(TControl* target) {
  if (!target || Style().DisplayNone) return 0;
  CalculateMatrices();
  return CreateShapesOf(*this, target);
}

namespace {

// The masks whose content is being made: a mask used inside its own
// content is ignored there.
thread_local std::vector<const TSVGObject*> t_maskChain;

// The area a nested svg or symbol clips its content to, in the target's
// coordinates.
QPainterPath ViewportArea(const TSVGObject& o) {
  const TRectF r = static_cast<const TSVGNestedSVG&>(o).ClipRect();
  const TMatrix m = MatrixOf(o.SVGParent());
  QPolygonF polygon;
  for (TPointF p : {TPointF(r.Left, r.Top), TPointF(r.Right, r.Top), TPointF(r.Right, r.Bottom),
                    TPointF(r.Left, r.Bottom)}) {
    const TPointF q = m.Transform(p);
    polygon << QPointF(q.X, q.Y);
  }
  QPainterPath area;
  area.addPolygon(polygon);
  area.closeSubpath();
  return area;
}

// Gives the shapes from first on the clip area (in the target's
// coordinates), within any clip they have.
void ClipShapes(TControl& target, int first, const QPainterPath& area) {
  for (int k = first; k < target.ChildrenCount(); ++k) {
    TControl* shape = target.Children(k);
    const QPainterPath local = area.translated(-shape->Position().X, -shape->Position().Y);
    TPathData* clip = nullptr;
    if (auto* s = dynamic_cast<TShape*>(shape)) clip = &s->ClipOutline;
    else if (auto* picture = dynamic_cast<TImage*>(shape)) clip = &picture->ClipOutline;
    if (clip) *clip = ToPathData(clip->IsEmpty() ? local : local.intersected(ToQPainterPath(*clip)));
  }
}

}  // namespace

std::shared_ptr<TControl> TSVG::MaskContent(const TSVGObject& maskObject, const TSVGObject& element) {
  const auto& mask = static_cast<const TSVGMask&>(maskObject);
  if (std::find(t_maskChain.begin(), t_maskChain.end(), &mask) != t_maskChain.end()) return nullptr;
  TRectF box;
  const bool hasBox = UserBounds(element, box) && box.Width() > 0 && box.Height() > 0;
  const bool boxUnits = mask.Units() == TSVGUnits::ObjectBoundingBox;
  const bool contentBoxUnits = mask.ContentUnits() == TSVGUnits::ObjectBoundingBox;
  if ((boxUnits || contentBoxUnits) && !hasBox) return nullptr;
  const TMatrix user = MatrixOf(&element);
  const TMatrix toBox =
      hasBox ? TMatrix::CreateScaling(box.Width(), box.Height()) * TMatrix::CreateTranslation(box.Left, box.Top)
             : TMatrix::Identity();
  // The region the mask acts in: outside it the element is masked away.
  const TRectF region(mask.X(), mask.Y(), mask.X() + mask.Width(), mask.Y() + mask.Height());
  if (!(region.Width() > 0) || !(region.Height() > 0)) return nullptr;
  const TMatrix regionToTarget = (boxUnits ? toBox : TMatrix::Identity()) * user;
  QPolygonF corners;
  for (TPointF p : {TPointF(region.Left, region.Top), TPointF(region.Right, region.Top),
                    TPointF(region.Right, region.Bottom), TPointF(region.Left, region.Bottom)}) {
    const TPointF q = regionToTarget.Transform(p);
    corners << QPointF(q.X, q.Y);
  }
  QPainterPath area;
  area.addPolygon(corners);
  area.closeSubpath();

  auto content = std::make_shared<TControl>();
  auto* holder = new TControl(content.get());
  holder->SetParent(content.get());
  t_maskChain.push_back(&mask);
  struct TPop {
    ~TPop() { t_maskChain.pop_back(); }
  } pop;
  CreateShapesOf(mask, holder);
  // The content was placed where the mask stands; it belongs in the
  // referring element's user space (or its bounding box).
  MoveShapes(*holder, MatrixOf(&mask).Inverse() * (contentBoxUnits ? toBox : TMatrix::Identity()) * user);
  ClipShapes(*holder, 0, area);
  // A mask on the mask masks its content.
  const auto* outer = dynamic_cast<const TSVGMask*>(mask.Style().Mask.empty() ? nullptr : LookUpID(mask.Style().Mask));
  if (outer && std::find(t_maskChain.begin(), t_maskChain.end(), outer) == t_maskChain.end()) {
    auto layer = std::make_shared<TDrawLayer>();
    layer->Mask = MaskContent(*outer, element);
    if (!layer->Mask) return nullptr;
    layer->MaskAlpha = outer->Alpha();
    holder->SetLayer(layer);
  }
  return content;
}

void TSVG::CreateMarkerShapes(const TSVGBasic& element, TControl* target, const std::shared_ptr<const TDrawLayer>& layer) {
  const TSVGStyleValues& style = element.Style();
  if (style.MarkerStart.empty() && style.MarkerMid.empty() && style.MarkerEnd.empty()) return;
  if (!dynamic_cast<const TSVGPath*>(&element) && !dynamic_cast<const TSVGLine*>(&element) &&
      !dynamic_cast<const TSVGPolyLine*>(&element))
    return;
  const TPathData* geometry = element.PathData();
  if (!geometry || t_markerDepth > 4) return;
  const std::vector<TVertex> vertices = PathVertices(*geometry);
  if (vertices.empty()) return;
  const TMatrix placed = MatrixOf(&element);
  const float strokeWidth = element.StrokeWidth();
  ++t_markerDepth;
  struct TLeave {
    ~TLeave() { --t_markerDepth; }
  } leave;
  for (size_t i = 0; i < vertices.size(); ++i) {
    const std::string& id = i == 0 ? style.MarkerStart : i + 1 == vertices.size() ? style.MarkerEnd : style.MarkerMid;
    const auto* marker = id.empty() ? nullptr : dynamic_cast<const TSVGMarker*>(LookUpID(id));
    if (!marker || !(marker->MarkerWidth() > 0) || !(marker->MarkerHeight() > 0) || marker->Count() == 0) continue;
    // Content → viewport (view box), its reference point on the vertex,
    // scaled by the stroke width, turned, then placed as the element.
    const TRectF viewport(0, 0, marker->MarkerWidth(), marker->MarkerHeight());
    const TMatrix toViewport = marker->Viewport().HasViewBox
                                   ? ViewBoxToViewportMatrix(marker->Viewport().ViewBox, marker->Viewport().AspectRatio, viewport)
                                   : TMatrix::Identity();
    const TPointF ref = toViewport.Transform({marker->RefX(), marker->RefY()});
    float angle = 0;
    if (marker->Orient() == TMarkerOrient::Angle) angle = marker->OrientAngle() * float(M_PI) / 180;
    else angle = vertices[i].Angle() + (marker->Orient() == TMarkerOrient::AutoStartReverse && i == 0 ? float(M_PI) : 0);
    const float scale = marker->StrokeWidthUnits() ? strokeWidth : 1;
    if (!(scale > 0)) continue;
    const TMatrix onVertex = TMatrix::CreateTranslation(-ref.X, -ref.Y) * TMatrix::CreateScaling(scale, scale) *
                             TMatrix::CreateRotation(angle) *
                             TMatrix::CreateTranslation(vertices[i].Point.X, vertices[i].Point.Y) * placed;
    const int first = target->ChildrenCount();
    CreateShapesOf(*marker, target, layer);
    MoveShapes(*target, MatrixOf(marker).Inverse() * toViewport * onVertex, first);
    if (OverflowHidden(*marker)) {
      QPolygonF corners;
      for (TPointF p : {TPointF(0, 0), TPointF(viewport.Right, 0), TPointF(viewport.Right, viewport.Bottom),
                        TPointF(0, viewport.Bottom)}) {
        const TPointF q = onVertex.Transform(p);
        corners << QPointF(q.X, q.Y);
      }
      QPainterPath area;
      area.addPolygon(corners);
      area.closeSubpath();
      ClipShapes(*target, first, area);
    }
  }
}

int TSVG::CreateShapesOf(const TSVGObject& top, TControl* target, std::shared_ptr<const TDrawLayer> outer) {
  const int start = target->ChildrenCount();
  // Pre-order, skipping what is not displayed with everything inside it and
  // what is drawn only through a reference (defs, clip paths, masks,
  // markers, paint servers, symbols outside a use). Clip paths and nested
  // viewports clip what they hold: the clips, in the target's coordinates,
  // intersect. A group with an opacity below 1 and an element with a mask
  // draw into a layer of their own.
  std::vector<QPainterPath> clips;
  struct Frame {
    const TSVGObject* object;
    int next;
    int clip;  // index into clips, or -1
    std::shared_ptr<const TDrawLayer> layer;  // what the children draw in
    std::shared_ptr<TDrawLayer> own;          // the layer this object opened, if any
    int first;                                // its first shape
  };
  std::vector<const TSVGObject*> building;
  auto clipBy = [&](const TSVGObject& o, int& clip) {
    TRectF box;
    const bool hasBox = UserBounds(o, box);
    std::optional<QPainterPath> area = ClipArea(*this, o.Style().ClipPath, hasBox ? &box : nullptr, MatrixOf(&o), building);
    if (!area) return true;
    if (clip >= 0) *area = clips[size_t(clip)].intersected(*area);
    if (area->isEmpty()) return false;
    clips.push_back(*area);
    clip = int(clips.size()) - 1;
    return true;
  };
  // The layer o draws in: a new one for a mask or a group's opacity, else
  // outer. False when o draws nothing at all (a mask that leaves nothing).
  auto layerOf = [&](const TSVGObject& o, const std::shared_ptr<const TDrawLayer>& outer,
                     std::shared_ptr<TDrawLayer>& own) {
    own.reset();
    const bool group = o.Count() > 0 && !dynamic_cast<const TSVGText*>(&o);
    const float opacity = o.Style().Opacity;
    const auto* mask = o.Style().Mask.empty() ? nullptr : dynamic_cast<const TSVGMask*>(LookUpID(o.Style().Mask));
    // A mask used inside its own content is ignored there.
    if (mask && std::find(t_maskChain.begin(), t_maskChain.end(), mask) != t_maskChain.end()) mask = nullptr;
    // Blend modes are listed in the same order here and in the layers.
    const auto blend = TLayerBlend(int(o.Style().MixBlendMode));
    if (!mask && !(group && (opacity < 1 || o.Style().IsolationIsolate)) && blend == TLayerBlend::Normal) return true;
    own = std::make_shared<TDrawLayer>();
    own->Parent = outer;
    own->Opacity = group ? opacity : 1;
    own->Blend = blend;
    if (mask) {
      own->Mask = MaskContent(*mask, o);
      if (!own->Mask) return false;
      own->MaskAlpha = mask->Alpha();
    }
    return true;
  };

  int topClip = -1;
  std::shared_ptr<TDrawLayer> topLayer;
  if (top.HasKind(skDocument)) {
    if (!top.Style().ClipPath.empty() && !clipBy(top, topClip)) return 0;
    if (!layerOf(top, outer, topLayer)) return 0;
  }
  std::vector<Frame> stack{{&top, 0, topClip, topLayer ? topLayer : outer, topLayer, start}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next >= f.object->Count()) {
      // A group's layer holding a single shape is only its opacity: the
      // shape takes it.
      if (f.own && !f.own->Mask && f.own->Blend == TLayerBlend::Normal && !f.object->Style().IsolationIsolate &&
          target->ChildrenCount() - f.first == 1) {
        TControl* only = target->Children(f.first);
        if (only->Layer() == f.own) {
          only->SetLayer(f.own->Parent);
          only->SetOpacity(only->Opacity() * f.own->Opacity);
        }
      }
      stack.pop_back();
      continue;
    }
    const TSVGObject* o = f.object->Items(f.next++);
    int clip = f.clip;
    if (o->Style().DisplayNone || o->m_hiddenByCondition || o->HasKind(skReferenceOnly)) continue;
    if (o->HasKind(skSymbol) && !static_cast<const TSVGSymbol*>(o)->IsInstance()) continue;
    // A clip path clips the element and all it holds; one that leaves
    // nothing hides them.
    if (!o->Style().ClipPath.empty() && !clipBy(*o, clip)) continue;
    std::shared_ptr<TDrawLayer> own;
    if (!layerOf(*o, f.layer, own)) continue;
    const std::shared_ptr<const TDrawLayer> layer = own ? own : f.layer;
    // A hidden element draws nothing, but a visible descendant does. A
    // text and its tspans are laid out together: nothing inside draws on
    // its own.
    const auto* text = o->HasKind(skBasic) ? dynamic_cast<const TSVGText*>(o) : nullptr;
    const int before = target->ChildrenCount();
    if (text) CreateTextShapes(*text, target);
    else if (o->HasKind(skBasic) && o->IsVisible()) {
      if (const auto* image = dynamic_cast<const TSVGImage*>(o)) image->CreateImageShape(target);
      else static_cast<const TSVGBasic*>(o)->CreatePathShape(target);
    }
    const int ownEnd = target->ChildrenCount();
    for (int k = before; k < ownEnd; ++k) {
      TControl* shape = target->Children(k);
      // The groups' opacities are in the layers.
      if (!text) shape->SetOpacity(o->Style().Opacity);
      shape->SetLayer(layer);
    }
    // Markers come after the element's fill and stroke, seen through its
    // opacity.
    if (ownEnd > before && !text) {
      CreateMarkerShapes(static_cast<const TSVGBasic&>(*o), target, layer);
      for (int k = ownEnd; k < target->ChildrenCount(); ++k)
        target->Children(k)->SetOpacity(target->Children(k)->Opacity() * o->Style().Opacity);
    }
    if (clip >= 0) ClipShapes(*target, before, clips[size_t(clip)]);
    if (text) continue;
    int inner = clip;
    if (ClipsToViewport(*o)) {
      const QPainterPath area = ViewportArea(*o);
      clips.push_back(clip >= 0 ? clips[size_t(clip)].intersected(area) : area);
      inner = int(clips.size()) - 1;
    }
    stack.push_back({o, 0, inner, layer, own, before});
  }
  return target->ChildrenCount() - start;
}

bool SvgPictureSize(const TSVG& doc, int width, int height, int& outWidth, int& outHeight, std::string& error) {
  const double w = doc.DocumentWidth(), h = doc.DocumentHeight();
  constexpr double kMaxSide = 32768;
  if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide) {
    error = "The picture size must be between 1 and 32768 pixels.";
    return false;
  }
  if (!(w > 0) || !(h > 0) || !std::isfinite(w) || !std::isfinite(h)) {
    if (width > 0 && height > 0) {
      outWidth = width;
      outHeight = height;
      return true;
    }
    error = "The drawing has no size; give --width and --height.";
    return false;
  }
  double scale = 1;
  if (width > 0 && height > 0) scale = std::min(width / w, height / h);
  else if (width > 0) scale = width / w;
  else if (height > 0) scale = height / h;
  const double ow = std::round(w * scale), oh = std::round(h * scale);
  if (ow > kMaxSide || oh > kMaxSide) {
    error = "The drawing would be " + std::to_string(int64_t(ow)) + " x " + std::to_string(int64_t(oh)) +
            " pixels, larger than Karto draws (32768 a side); give a smaller --width or --height.";
    return false;
  }
  outWidth = std::max(1, int(ow));
  outHeight = std::max(1, int(oh));
  return true;
}

TSvgPicture RenderSvgFile(const std::string& fileName, int width, int height, TAlphaColor background) {
  TSvgPicture picture;
  TSVG doc;
  const TSVGLoadResult loaded = doc.LoadFromFile(fileName);
  picture.Warnings = loaded.Warnings;
  if (!loaded.Ok) {
    picture.Error = loaded.Error;
    return picture;
  }
  int w = 0, h = 0;
  if (!SvgPictureSize(doc, width, height, w, h, picture.Error)) return picture;
  try {
    // The same road as the 2D view: display shapes on a control, drawn by
    // the renderer.
    TControl root;
    root.SetSize(float(w), float(h));
    doc.SetTarget(TRectF(0, 0, float(w), float(h)));
    doc.CreateFMShapes(&root);
    picture.Image = RenderToImage(root, w, h, background);
  } catch (const std::bad_alloc&) {
    picture.Error = "There is not enough memory to draw this picture.";
    return picture;
  }
  if (picture.Image.isNull()) {
    picture.Error = "There is not enough memory to draw this picture.";
    return picture;
  }
  picture.Ok = true;
  return picture;
}

}  // namespace karto
