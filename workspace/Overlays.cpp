#include "workspace/Overlays.h"

#include <QPainter>

namespace karto {

namespace {

QColor ToQColor(TAlphaColor c) { return QColor::fromRgba(c); }

// Sends a release to an overlay's own handler in its parent's coordinates;
// false when it has none.
bool ReportMouseUp(TSelection& overlay, const TMouseEvent& handler, TMouseButton button, TShiftState shift,
                   float x, float y) {
  if (!handler) return false;
  TPointF p = overlay.LocalToAbsolute({x, y});
  if (TControl* parent = overlay.Parent()) p = parent->AbsoluteToLocal(p);
  const TMouseEvent call = handler;  // the handler may free the overlay
  call(&overlay, button, shift, p.X, p.Y);
  return true;
}

// The common set-up: a white fill, a dashed blue one-pixel line, and the
// local rectangle shrunk by half a pixel so lines fall on pixel centres.
QRectF BeginOverlayPaint(const TControl& overlay, QPainter& painter) {
  painter.setBrush(ToQColor(kOverlayGripColor));
  QPen pen(ToQColor(kOverlayLineColor), 1, Qt::DashLine);
  painter.setPen(pen);
  return QRectF(0.5, 0.5, double(overlay.Width()) - 1, double(overlay.Height()) - 1);
}

void SolidLine(QPainter& painter) {
  QPen pen = painter.pen();
  pen.setStyle(Qt::SolidLine);
  painter.setPen(pen);
}

void Grip(QPainter& painter, const TControl& overlay, QPointF centre, double r, bool hot) {
  painter.setBrush(ToQColor(OverlayGripColor(overlay.AbsoluteEnabled(), hot)));
  painter.drawEllipse(centre, r, r);
}

}  // namespace

TAlphaColor OverlayGripColor(bool enabled, bool hot) {
  if (!enabled) return kOverlayDisabledGripColor;
  return hot ? kOverlayHotGripColor : kOverlayGripColor;
}

void TReportingSelection::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  if (!ReportMouseUp(*this, OnMouseUp, button, shift, x, y)) TSelection::MouseUp(button, shift, x, y);
}

void TInBoxSelection::Paint(QPainter& painter) {
  if (HideSelection()) return;
  painter.save();
  const QRectF r = BeginOverlayPaint(*this, painter);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(r);
  SolidLine(painter);
  Grip(painter, *this, r.topLeft(), GripSize() / 2, HotGrip() == TGrip::grLeftTop);
  Grip(painter, *this, QPointF(Width(), Height()), GripSize(), HotGrip() == TGrip::grRightBottom);
  painter.restore();
}

void TCoordSystemSelection::Paint(QPainter& painter) {
  if (HideSelection()) return;
  painter.save();
  const QRectF r = BeginOverlayPaint(*this, painter);
  painter.drawLine(r.topLeft(), r.bottomLeft());
  painter.drawLine(r.topLeft(), r.topRight());
  SolidLine(painter);
  const double g = GripSize();
  Grip(painter, *this, r.topLeft(), g, HotGrip() == TGrip::grLeftTop);
  Grip(painter, *this, QPointF(Width(), 0), g, HotGrip() == TGrip::grRightTop);
  Grip(painter, *this, QPointF(0, Height()), g, HotGrip() == TGrip::grLeftBottom);
  painter.restore();
}

}  // namespace karto
