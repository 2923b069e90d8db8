#include "platform/Renderer.h"

#include <QLinearGradient>
#include <QRadialGradient>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "platform/Parallel.h"
#include "platform/Shapes.h"

namespace karto {

QTransform ToQTransform(const TMatrix& m) {
  return QTransform(m.m11, m.m12, m.m13, m.m21, m.m22, m.m23, m.m31, m.m32, m.m33);
}

QColor ToQColor(TAlphaColor c) {
  return QColor(ColorRed(c), ColorGreen(c), ColorBlue(c), ColorAlpha(c));
}

QPainterPath ToQPainterPath(const TPathData& path) {
  QPainterPath qp;
  const auto& pts = path.PointList();
  // A subpath of no length still shows its caps (a dot for round caps, a
  // square for square ones), but Qt keeps no segment of no length: such a
  // subpath gets a hair of length. A lone move is no subpath and stays so.
  bool hasLength = false;
  QPointF start;
  auto hairIfNone = [&] {
    if (!hasLength) qp.lineTo(start + QPointF(1e-4, 0));
    hasLength = true;
  };
  for (size_t i = 0; i < pts.size(); ++i) {
    const TPathPoint& p = pts[i];
    const QPointF at(p.Point.X, p.Point.Y);
    switch (p.Kind) {
      case ppMoveTo:
        qp.moveTo(at);
        start = at;
        hasLength = false;
        break;
      case ppLineTo:
        if (at == qp.currentPosition()) hairIfNone();
        else qp.lineTo(at);
        hasLength = true;
        break;
      case ppClose:
        hairIfNone();
        qp.closeSubpath();
        break;
      case ppCurveTo:
        if (i + 2 < pts.size()) {
          const QPointF c2(pts[i + 1].Point.X, pts[i + 1].Point.Y), end(pts[i + 2].Point.X, pts[i + 2].Point.Y);
          if (at == qp.currentPosition() && c2 == at && end == at) hairIfNone();
          else qp.cubicTo(at, c2, end);
          i += 2;
        } else {
          qp.lineTo(at);  // a broken curve ends as a line
        }
        hasLength = true;
        break;
    }
  }
  return qp;
}

namespace {

void SetStops(QGradient& g, const TBrush& b) {
  // Between stops of different opacity the colour runs as the stops give
  // it (a transparent white stop fades to grey, not to black), not as Qt
  // mixes premultiplied colours by default.
  g.setInterpolationMode(QGradient::ComponentInterpolation);
  const auto& points = b.Gradient.Points;
  if (points.empty()) g.setColorAt(0, ToQColor(b.Color));
  // Qt keeps one colour per offset; two stops at one offset are a sharp
  // step, so the second moves on by a hair.
  qreal last = -1;
  for (const TGradientPoint& p : points) {
    qreal offset = qBound(0.0, qreal(p.Offset), 1.0);
    if (offset <= last) offset = std::min(1.0, last + 1e-6);
    g.setColorAt(offset, ToQColor(p.Color));
    last = offset;
  }
}

QBrush ToQBrush(const TBrush& b, const TRectF& r) {
  switch (b.Kind) {
    case TBrushKind::bkNone: return Qt::NoBrush;
    case TBrushKind::bkSolid: return QBrush(ToQColor(b.Color));
    case TBrushKind::bkBitmap: {
      if (b.Bitmap.IsEmpty()) return Qt::NoBrush;
      QBrush brush(b.Bitmap.Image());
      if (b.BitmapMatrix.IsSet()) brush.setTransform(ToQTransform(b.BitmapMatrix));
      return brush;
    }
    case TBrushKind::bkGradient: {
      const TGradient& g = b.Gradient;
      // Positions as fractions of the shape rectangle, or as they stand.
      auto at = [&](TPointF p) {
        return g.PathCoordinates ? QPointF(p.X, p.Y) : QPointF(r.Left + p.X * r.Width(), r.Top + p.Y * r.Height());
      };
      const qreal scale = g.PathCoordinates ? 1.0 : std::max(r.Width(), r.Height());
      QBrush brush;
      if (g.Style == TGradientStyle::gsRadial) {
        QRadialGradient q(at(g.Center), g.Radius * scale, at(g.Focal), g.FocalRadius * scale);
        q.setSpread(g.Spread == TGradientSpread::spReflect  ? QGradient::ReflectSpread
                    : g.Spread == TGradientSpread::spRepeat ? QGradient::RepeatSpread
                                                            : QGradient::PadSpread);
        SetStops(q, b);
        brush = QBrush(q);
      } else {
        QLinearGradient q(at(g.StartPosition), at(g.StopPosition));
        q.setSpread(g.Spread == TGradientSpread::spReflect  ? QGradient::ReflectSpread
                    : g.Spread == TGradientSpread::spRepeat ? QGradient::RepeatSpread
                                                            : QGradient::PadSpread);
        SetStops(q, b);
        brush = QBrush(q);
      }
      if (g.Matrix.IsSet()) brush.setTransform(ToQTransform(g.Matrix));
      return brush;
    }
  }
  return Qt::NoBrush;
}

}  // namespace

void TShape::Paint(QPainter& painter) {
  if (ClipOutline.IsEmpty()) {
    PaintOutline(painter, ToQPainterPath(DrawingPath()));
    return;
  }
  painter.save();
  painter.setClipPath(ToQPainterPath(ClipOutline), Qt::IntersectClip);
  PaintOutline(painter, ToQPainterPath(DrawingPath()));
  painter.restore();
}

void TShape::PaintOutline(QPainter& painter, const QPainterPath& path) const {
  const TRectF r = GetShapeRect();
  const bool fill = Fill.Kind != TBrushKind::bkNone;
  if (fill && !StrokeUnderFill) painter.fillPath(path, ToQBrush(Fill, r));
  if (Stroke.Kind != TBrushKind::bkNone && StrokeThickness > 0) {
    QPen pen(ToQBrush(Stroke, r), StrokeThickness);
    pen.setCapStyle(StrokeCap == TStrokeCap::scRound    ? Qt::RoundCap
                    : StrokeCap == TStrokeCap::scSquare ? Qt::SquareCap
                                                        : Qt::FlatCap);
    pen.setJoinStyle(StrokeJoin == TStrokeJoin::sjRound   ? Qt::RoundJoin
                     : StrokeJoin == TStrokeJoin::sjBevel ? Qt::BevelJoin
                                                          : Qt::SvgMiterJoin);
    // Qt measures the miter from the join point, half the full length.
    pen.setMiterLimit(StrokeMiterLimit / 2);
    std::vector<float> dash = DashPattern();
    if (!dash.empty()) {
      if (dash.size() % 2) dash.insert(dash.end(), dash.begin(), dash.end());
      QVector<qreal> pattern;
      bool positive = false;
      for (size_t i = 0; i < dash.size(); ++i) {
        const float d = std::max(0.0f, dash[i]);
        // A dash of no length still gets its caps (dotted lines are drawn as
        // "0 n" with round caps); Qt draws nothing for it, so it gets a hair.
        const bool emptyDash = i % 2 == 0 && d == 0 && StrokeCap != TStrokeCap::scFlat;
        pattern.push_back(emptyDash ? 1e-3 : d);
        positive = positive || d > 0;
      }
      if (positive) {
        pen.setDashPattern(pattern);
        pen.setDashOffset(DashOffset);
      }
    }
    painter.strokePath(path, pen);
  }
  if (fill && StrokeUnderFill) painter.fillPath(path, ToQBrush(Fill, r));
}

void TPath::Paint(QPainter& painter) {
  QPainterPath path = ToQPainterPath(DrawingPath());
  path.setFillRule(FillRule == TPathFillRule::frNonZero ? Qt::WindingFill : Qt::OddEvenFill);
  if (!DataMatrix.IsSet() && ClipOutline.IsEmpty()) {
    PaintOutline(painter, path);
    return;
  }
  painter.save();
  if (!ClipOutline.IsEmpty()) painter.setClipPath(ToQPainterPath(ClipOutline), Qt::IntersectClip);
  if (DataMatrix.IsSet()) painter.setTransform(ToQTransform(DataMatrix), true);
  PaintOutline(painter, path);
  painter.restore();
}

void TText::Paint(QPainter& painter) {
  QFont font = painter.font();
  if (!FontFamily.empty()) font.setFamily(QString::fromStdString(FontFamily));
  font.setPixelSize(std::max(1, int(FontSize + 0.5f)));
  font.setBold(FontBold);
  painter.setFont(font);
  painter.setPen(ToQColor(Color));
  int flags = 0;
  flags |= HorzAlign == TTextAlign::taLeading    ? Qt::AlignLeft
           : HorzAlign == TTextAlign::taTrailing ? Qt::AlignRight
                                                 : Qt::AlignHCenter;
  flags |= VertAlign == TTextAlign::taLeading    ? Qt::AlignTop
           : VertAlign == TTextAlign::taTrailing ? Qt::AlignBottom
                                                 : Qt::AlignVCenter;
  painter.drawText(QRectF(0, 0, Width(), Height()), flags | Qt::TextWordWrap,
                   QString::fromStdString(Text));
}

void TImage::Paint(QPainter& painter) {
  if (Bitmap.IsEmpty()) return;
  if (DrawMatrix.IsSet()) {
    painter.save();
    if (!ClipOutline.IsEmpty()) painter.setClipPath(ToQPainterPath(ClipOutline), Qt::IntersectClip);
    painter.setTransform(ToQTransform(DrawMatrix), true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, Smooth);
    painter.drawImage(QPointF(0, 0), Bitmap.Image());
    painter.restore();
    return;
  }
  const TRectF r = BitmapRect();
  const QRectF target(r.Left, r.Top, r.Width(), r.Height());
  // The size the picture covers on the device.
  const QRectF onDevice = painter.transform().mapRect(target);
  const int w = int(std::ceil(onDevice.width())), h = int(std::ceil(onDevice.height()));
  const QImage& img = Bitmap.Image();
  if (w > 0 && h > 0 && w * 2 < img.width() && h * 2 < img.height() && painter.transform().isScaling() == false) {
    QImage scaled;
    {
      std::lock_guard<std::mutex> lock(m_scaledLock);
      if (m_scaledKey != img.cacheKey() || m_scaled.width() != w || m_scaled.height() != h) {
        m_scaled = img.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_scaledKey = img.cacheKey();
      }
      scaled = m_scaled;
    }
    painter.drawImage(target, scaled);
    return;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform, r.Width() < Bitmap.Width());
  painter.drawImage(target, img);
}

namespace {

// Whether child, drawn by painter (placed in its parent's coordinates),
// paints every pixel of the device opaquely, so that nothing drawn before
// it can show. Only plain opaque fills are considered; a cheap test of the
// child's rectangle comes before the exact one of its outline.
bool CoversDevice(const QPainter& painter, const TControl& child, const QRectF& device) {
  const auto* shape = dynamic_cast<const TShape*>(&child);
  if (!shape || !child.Visible() || child.Opacity() < 1 || !child.ChildList().empty() || child.Layer()) return false;
  if (shape->Fill.Kind != TBrushKind::bkSolid || ColorAlpha(shape->Fill.Color) != 255) return false;
  if (!shape->ClipOutline.IsEmpty()) return false;
  const QTransform placed = ToQTransform(child.LocalMatrix()) * painter.transform();
  const auto* path = dynamic_cast<const TPath*>(shape);
  const bool ownMatrix = path && path->DataMatrix.IsSet();
  // The child's rectangle holds what it draws, except for paths drawn
  // where their points are; those are tested by their outline only.
  if (!(path && path->WrapMode == TPathWrapMode::pwOriginal) &&
      !placed.mapRect(QRectF(0, 0, child.Width(), child.Height())).contains(device))
    return false;
  const QTransform toDevice = ownMatrix ? ToQTransform(path->DataMatrix) * placed : placed;
  QPainterPath outline = ToQPainterPath(shape->DrawingPath());
  if (path) outline.setFillRule(path->FillRule == TPathFillRule::frNonZero ? Qt::WindingFill : Qt::OddEvenFill);
  if (!toDevice.mapRect(outline.controlPointRect()).contains(device)) return false;
  bool invertible = false;
  const QTransform back = toDevice.inverted(&invertible);
  if (!invertible) return false;
  QPainterPath area;
  area.addPolygon(back.map(QPolygonF(device)));
  area.closeSubpath();
  return outline.contains(area);
}

// The first child worth drawing: the last one that covers the whole device
// opaquely, or the first. A drawing under a full-page opaque shape is not
// drawn at all.
size_t FirstShownChild(const QPainter& painter, const TControl& control) {
  const auto& children = control.ChildList();
  if (children.size() < 2 || painter.hasClipping() || painter.opacity() < 1 || !painter.device()) return 0;
  const QRectF device(0, 0, painter.device()->width(), painter.device()->height());
  for (size_t i = children.size(); i-- > 1;)
    if (CoversDevice(painter, *children[i], device)) return i;
  return 0;
}

// The layer below current that child is drawn in: null when child is drawn
// in current itself; outside is set when child lies outside current.
const TDrawLayer* LayerBelow(const TControl& child, const TDrawLayer* current, bool& outside) {
  const TDrawLayer* below = nullptr;
  const TDrawLayer* l = child.Layer().get();
  while (l && l != current) {
    below = l;
    l = l->Parent.get();
  }
  outside = l != current;
  return below;
}

// Where the children from i on that lie in layer land on the device, in
// device pixels; a generous margin takes in strokes, miters and caps.
QRect LayerArea(const QPainter& painter, const std::vector<TControl*>& children, size_t i, const TDrawLayer& layer) {
  const QRect device(0, 0, painter.device()->width(), painter.device()->height());
  QRectF area;
  for (; i < children.size(); ++i) {
    bool outside = false;
    LayerBelow(*children[i], &layer, outside);
    if (outside) break;
    const TControl& child = *children[i];
    if (!child.Visible()) continue;
    // What a control with children of its own covers is not known here.
    if (!child.ChildList().empty()) return device;
    const QTransform placed = ToQTransform(child.LocalMatrix()) * painter.transform();
    QRectF r = placed.mapRect(QRectF(0, 0, child.Width(), child.Height()));
    if (const auto* shape = dynamic_cast<const TShape*>(&child)) {
      QTransform m = placed;
      if (const auto* path = dynamic_cast<const TPath*>(shape); path && path->DataMatrix.IsSet())
        m = ToQTransform(path->DataMatrix) * placed;
      const qreal reach = std::max(std::abs(m.m11()) + std::abs(m.m21()), std::abs(m.m12()) + std::abs(m.m22()));
      const qreal margin = shape->StrokeThickness * std::max(2.0f, shape->StrokeMiterLimit) * reach;
      r.adjust(-margin, -margin, margin, margin);
    }
    area |= r;
  }
  return area.toAlignedRect().adjusted(-2, -2, 2, 2) & device;
}

void RenderChildren(QPainter& painter, const std::vector<TControl*>& children, size_t& i, const TDrawLayer* layer);

// The blends Qt composes itself.
bool QtBlend(TLayerBlend blend, QPainter::CompositionMode& mode) {
  switch (blend) {
    case TLayerBlend::Normal: mode = QPainter::CompositionMode_SourceOver; return true;
    case TLayerBlend::Multiply: mode = QPainter::CompositionMode_Multiply; return true;
    case TLayerBlend::Screen: mode = QPainter::CompositionMode_Screen; return true;
    case TLayerBlend::Overlay: mode = QPainter::CompositionMode_Overlay; return true;
    case TLayerBlend::Darken: mode = QPainter::CompositionMode_Darken; return true;
    case TLayerBlend::Lighten: mode = QPainter::CompositionMode_Lighten; return true;
    case TLayerBlend::ColorDodge: mode = QPainter::CompositionMode_ColorDodge; return true;
    case TLayerBlend::ColorBurn: mode = QPainter::CompositionMode_ColorBurn; return true;
    case TLayerBlend::HardLight: mode = QPainter::CompositionMode_HardLight; return true;
    case TLayerBlend::SoftLight: mode = QPainter::CompositionMode_SoftLight; return true;
    case TLayerBlend::Difference: mode = QPainter::CompositionMode_Difference; return true;
    case TLayerBlend::Exclusion: mode = QPainter::CompositionMode_Exclusion; return true;
    default: return false;
  }
}

// The blends of hue, saturation, colour and luminosity, which mix the
// channels with each other, as the compositing rules define them.
struct TRgbF {
  float r, g, b;
};
float Lum(TRgbF c) { return 0.3f * c.r + 0.59f * c.g + 0.11f * c.b; }
TRgbF ClipColor(TRgbF c) {
  const float l = Lum(c), n = std::min({c.r, c.g, c.b}), x = std::max({c.r, c.g, c.b});
  auto fix = [&](float v) {
    if (n < 0) v = l + (v - l) * l / (l - n);
    if (x > 1) v = l + (v - l) * (1 - l) / (x - l);
    return v;
  };
  return {fix(c.r), fix(c.g), fix(c.b)};
}
TRgbF SetLum(TRgbF c, float l) {
  const float d = l - Lum(c);
  return ClipColor({c.r + d, c.g + d, c.b + d});
}
float Sat(TRgbF c) { return std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b}); }
TRgbF SetSat(TRgbF c, float s) {
  float* v[3] = {&c.r, &c.g, &c.b};
  std::sort(v, v + 3, [](float* a, float* b) { return *a < *b; });
  if (*v[2] > *v[0]) {
    *v[1] = (*v[1] - *v[0]) * s / (*v[2] - *v[0]);
    *v[2] = s;
  } else {
    *v[1] = *v[2] = 0;
  }
  *v[0] = 0;
  return c;
}
TRgbF MixChannels(TLayerBlend blend, TRgbF b, TRgbF s) {
  switch (blend) {
    case TLayerBlend::Hue: return SetLum(SetSat(s, Sat(b)), Lum(b));
    case TLayerBlend::Saturation: return SetLum(SetSat(b, Sat(s)), Lum(b));
    case TLayerBlend::Color: return SetLum(s, Lum(b));
    default: return SetLum(b, Lum(s));  // luminosity
  }
}

// Turns picture (premultiplied, to be laid at area of the device below)
// into what source-over then lays down as the blend of it with the
// device's pixels: each colour becomes (1 - backdrop alpha) x colour +
// backdrop alpha x blend(backdrop, colour).
void BlendWithBackdrop(QImage& picture, const QImage& device, const QRect& area, TLayerBlend blend) {
  const bool opaqueBelow = !device.hasAlphaChannel();
  for (int y = 0; y < picture.height(); ++y) {
    auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
    const auto* below = reinterpret_cast<const QRgb*>(device.constScanLine(area.y() + y)) + area.x();
    for (int x = 0; x < picture.width(); ++x) {
      const int sa = qAlpha(out[x]);
      if (sa == 0) continue;
      const int ba = opaqueBelow ? 255 : qAlpha(below[x]);
      if (ba == 0) continue;
      const float sA = sa / 255.0f, bA = ba / 255.0f;
      const TRgbF s{qRed(out[x]) / 255.0f / sA, qGreen(out[x]) / 255.0f / sA, qBlue(out[x]) / 255.0f / sA};
      const TRgbF b{qRed(below[x]) / 255.0f / bA, qGreen(below[x]) / 255.0f / bA, qBlue(below[x]) / 255.0f / bA};
      const TRgbF m = MixChannels(blend, b, s);
      auto channel = [&](float sc, float mc) {
        const float c = (1 - bA) * sc + bA * std::clamp(mc, 0.0f, 1.0f);
        return int(std::lround(std::clamp(c, 0.0f, 1.0f) * sA * 255));
      };
      out[x] = qRgba(channel(s.r, m.r), channel(s.g, m.g), channel(s.b, m.b), sa);
    }
  }
}

// The mask's luminance (or alpha) scales picture, drawn at area of the
// device through transform.
void ApplyMask(QImage& picture, const QRect& area, const QTransform& transform, const TDrawLayer& layer) {
  QImage mask(picture.size(), QImage::Format_ARGB32_Premultiplied);
  mask.fill(Qt::transparent);
  {
    QPainter p(&mask);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setTransform(transform * QTransform::fromTranslate(-area.x(), -area.y()));
    size_t i = 0;
    RenderChildren(p, layer.Mask->ChildList(), i, nullptr);
  }
  for (int y = 0; y < picture.height(); ++y) {
    auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
    const auto* m = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
    for (int x = 0; x < picture.width(); ++x) {
      // Premultiplied: the luminance of the colour already carries alpha.
      const int scale = layer.MaskAlpha ? qAlpha(m[x])
                                        : (54 * qRed(m[x]) + 183 * qGreen(m[x]) + 19 * qBlue(m[x]) + 128) >> 8;
      if (scale == 255) continue;
      const QRgb p = out[x];
      out[x] = qRgba(qRed(p) * scale / 255, qGreen(p) * scale / 255, qBlue(p) * scale / 255, qAlpha(p) * scale / 255);
    }
  }
}

// Draws the children from i on that lie in layer into a picture of their
// own and lays it on painter's device; i ends past them.
void RenderLayer(QPainter& painter, const std::vector<TControl*>& children, size_t& i, const TDrawLayer& layer) {
  const QRect area = painter.device() ? LayerArea(painter, children, i, layer) : QRect();
  if (area.isEmpty() || !(layer.Opacity > 0)) {
    // Nothing shows: the run is passed over.
    for (bool outside = false; i < children.size(); ++i) {
      LayerBelow(*children[i], &layer, outside);
      if (outside) break;
    }
    return;
  }
  QImage picture(area.size(), QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  {
    QPainter p(&picture);
    p.setRenderHints(painter.renderHints());
    p.setTransform(painter.transform() * QTransform::fromTranslate(-area.x(), -area.y()));
    RenderChildren(p, children, i, &layer);
  }
  if (layer.Mask) ApplyMask(picture, area, painter.transform(), layer);
  QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
  if (!QtBlend(layer.Blend, mode)) {
    // Mixed with what is below, read from the device when it is a picture
    // (elsewhere drawn normally).
    if (const auto* device = dynamic_cast<const QImage*>(painter.device()))
      BlendWithBackdrop(picture, *device, area, layer.Blend);
  }
  painter.save();
  painter.resetTransform();
  painter.setOpacity(painter.opacity() * layer.Opacity);
  painter.setCompositionMode(mode);
  painter.drawImage(area.topLeft(), picture);
  painter.restore();
}

// Whether a shape without children certainly draws nothing inside visible
// (device pixels): its geometry's bounds, widened by what its stroke, joins
// and caps may add, lie outside. A view scrolled over a large drawing then
// draws only what shows. Anything else is never skipped.
bool OutsideDevice(const QPainter& painter, const TControl& child, const QRectF& visible) {
  const auto* shape = dynamic_cast<const TShape*>(&child);
  if (!shape || !child.ChildList().empty()) return false;
  const QTransform placed = ToQTransform(child.LocalMatrix()) * painter.transform();
  QRectF r;
  QTransform m = placed;
  const auto* path = dynamic_cast<const TPath*>(shape);
  if (path && path->DataMatrix.IsSet()) m = ToQTransform(path->DataMatrix) * placed;
  if (path && (path->WrapMode == TPathWrapMode::pwOriginal || path->WrapMode == TPathWrapMode::pwTile)) {
    // Drawn where the points are, which need not be inside the rectangle.
    const TRectF b = path->Data.GetBounds();
    r = m.mapRect(QRectF(b.Left, b.Top, b.Width(), b.Height()));
  } else {
    r = placed.mapRect(QRectF(0, 0, child.Width(), child.Height()));
  }
  const qreal reach = std::max(std::abs(m.m11()) + std::abs(m.m21()), std::abs(m.m12()) + std::abs(m.m22()));
  const qreal margin = shape->StrokeThickness * std::max(2.0f, shape->StrokeMiterLimit) * reach + 2;
  return !r.adjusted(-margin, -margin, margin, margin).intersects(visible);
}

// Draws the children from i on while they lie in layer (null: all),
// opening the layers below it as they come.
void RenderChildren(QPainter& painter, const std::vector<TControl*>& children, size_t& i, const TDrawLayer* layer) {
  QRectF visible;
  if (painter.device()) {
    visible = QRectF(0, 0, painter.device()->width(), painter.device()->height());
    if (painter.hasClipping()) visible &= painter.transform().mapRect(painter.clipBoundingRect());
  }
  while (i < children.size()) {
    bool outside = false;
    const TDrawLayer* below = LayerBelow(*children[i], layer, outside);
    if (outside) return;
    if (below) {
      RenderLayer(painter, children, i, *below);
    } else {
      if (visible.isEmpty() || !OutsideDevice(painter, *children[i], visible)) RenderControl(painter, *children[i]);
      ++i;
    }
  }
}

}  // namespace

void RenderControl(QPainter& painter, const TControl& control) {
  if (!control.Visible()) return;
  painter.save();
  painter.setTransform(ToQTransform(control.LocalMatrix()), true);
  painter.setOpacity(painter.opacity() * control.Opacity());
  if (painter.opacity() > 0) {
    const_cast<TControl&>(control).Paint(painter);
    if (control.ClipChildren())
      painter.setClipRect(QRectF(0, 0, control.Width(), control.Height()), Qt::IntersectClip);
    size_t i = FirstShownChild(painter, control);
    RenderChildren(painter, control.ChildList(), i, nullptr);
  }
  painter.restore();
}

QImage RenderToImage(const TControl& root, int width, int height, TAlphaColor background) {
  // On an opaque background the picture has no alpha to keep: drawn and
  // returned without the channel, and without a conversion at the end.
  const bool opaque = ColorAlpha(background) == 255;
  QImage img(std::max(1, width), std::max(1, height),
             opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
  img.fill(ToQColor(background));
  // Bands of rows are drawn at once, one per core, each by a painter of
  // its own on its rows of the one picture (nothing drawn changes on the
  // way, and pixels come out as one painter would make them).
  uchar* const bits = img.bits();
  const qsizetype stride = img.bytesPerLine();
  const long long workPerRow = (long long)img.width() * (1 + (long long)root.ChildrenCount() / 64);
  ParallelRows(img.height(), workPerRow, [&](int first, int last) {
    QImage band(bits + first * stride, img.width(), last - first, stride, img.format());
    QPainter painter(&band);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(0, -first);
    RenderControl(painter, root);
  });
  return opaque ? img : img.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace karto
