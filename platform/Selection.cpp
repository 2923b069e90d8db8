#include "platform/Selection.h"

#include <QPainter>
#include <QPen>
#include <algorithm>

#include "platform/Renderer.h"

namespace karto {

namespace {

// Colours of frames and grips: a blue outline that shows on white paper and
// on traced images, white grips, the hot grip red.
constexpr TAlphaColor kFrameColor = 0xFF3C78D8u;
constexpr TAlphaColor kGripColor = TAlphaColors::White;
constexpr TAlphaColor kHotGripColor = 0xFFE03C3Cu;

constexpr TGrip kGrips[] = {TGrip::grLeftTop, TGrip::grRightTop, TGrip::grLeftBottom,
                            TGrip::grRightBottom};

bool MovesLeftEdge(TGrip g) { return g == TGrip::grLeftTop || g == TGrip::grLeftBottom; }
bool MovesTopEdge(TGrip g) { return g == TGrip::grLeftTop || g == TGrip::grRightTop; }

// The outline pen stays one device pixel wide at any zoom.
QPen OutlinePen() {
  QPen pen(ToQColor(kFrameColor));
  pen.setWidthF(1);
  pen.setCosmetic(true);
  return pen;
}

void PaintGrip(QPainter& painter, TPointF centre, float radius, bool hot) {
  painter.setBrush(ToQColor(hot ? kHotGripColor : kGripColor));
  painter.drawEllipse(QPointF(centre.X, centre.Y), radius, radius);
}

// Runs a handler that may free its sender: a copy is called, so the
// std::function member it came from may die while it runs.
void FireLast(const TNotifyEvent& event, TControl* sender) {
  if (!event) return;
  const TNotifyEvent copy = event;
  copy(sender);
}

}  // namespace

// --- TSelection ------------------------------------------------------------

void TSelection::SetGripSize(float size) {
  m_gripSize = std::max(1.0f, size);
  Repaint();
}

void TSelection::SetHideSelection(bool hide) {
  if (hide == m_hideSelection) return;
  m_hideSelection = hide;
  Repaint();
}

void TSelection::SetHotGrip(TGrip grip) {
  if (grip == m_hotGrip) return;
  m_hotGrip = grip;
  Repaint();
}

TPointF TSelection::GripCenter(TGrip grip) const {
  switch (grip) {
    case TGrip::grLeftTop: return {0, 0};
    case TGrip::grRightTop: return {Width(), 0};
    case TGrip::grLeftBottom: return {0, Height()};
    case TGrip::grRightBottom: return {Width(), Height()};
    case TGrip::grNone: break;
  }
  return {};
}

TGrip TSelection::GripAt(TPointF local) const {
  TGrip best = TGrip::grNone;
  float bestDistance = m_gripSize;
  for (TGrip g : kGrips) {
    const float d = (local - GripCenter(g)).Length();
    if (d <= bestDistance && (best == TGrip::grNone || d < bestDistance)) {
      best = g;
      bestDistance = d;
    }
  }
  return best;
}

bool TSelection::PointInObject(TPointF local) const {
  // Edges count as inside: the frame line is drawn on them.
  const bool inFrame =
      local.X >= 0 && local.X <= Width() && local.Y >= 0 && local.Y <= Height();
  return inFrame || GripAt(local) != TGrip::grNone;
}

void TSelection::Paint(QPainter& painter) {
  if (m_hideSelection) return;
  painter.save();
  painter.setPen(OutlinePen());
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(0, 0, Width(), Height()));
  for (TGrip g : kGrips) PaintGrip(painter, GripCenter(g), m_gripSize, g == m_hotGrip);
  painter.restore();
}

void TSelection::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  if (button == TMouseButton::mbLeft && m_drag == TDrag::None) {
    const TPointF local{x, y};
    const TGrip grip = GripAt(local);
    m_drag = grip != TGrip::grNone ? TDrag::Resize
             : PointInObject(local)  ? TDrag::Move
                                     : TDrag::None;
    if (m_drag != TDrag::None) {
      m_dragGrip = grip;
      m_downPoint = LocalMatrix().Transform(local);
      m_startPosition = Position();
      m_startWidth = Width();
      m_startHeight = Height();
      SetHotGrip(grip);
    }
  }
  TControl::MouseDown(button, shift, x, y);
}

void TSelection::Track(TPointF parentPoint) {
  const TPointF d = parentPoint - m_downPoint;
  if (m_drag == TDrag::Move) {
    SetPosition(m_startPosition + d);
    return;
  }
  // Resizing works on the edges in parent coordinates: the edges the grip
  // does not touch stay where they were. Local sizes are parent lengths
  // divided by the scale. A rotated frame resizes along its unrotated axes,
  // and a mirrored or flattened one (scale <= 0) does not resize.
  const TPointF s = Scale();
  if (s.X <= 0 || s.Y <= 0) return;
  const float left = m_startPosition.X, top = m_startPosition.Y;
  const float right = left + m_startWidth * s.X, bottom = top + m_startHeight * s.Y;
  const bool movesLeft = MovesLeftEdge(m_dragGrip), movesTop = MovesTopEdge(m_dragGrip);
  float w = (movesLeft ? right - (left + d.X) : right + d.X - left) / s.X;
  float h = (movesTop ? bottom - (top + d.Y) : bottom + d.Y - top) / s.Y;
  if (m_proportional && m_startWidth > 0 && m_startHeight > 0) {
    // The larger relative change wins, so the frame reaches the pointer.
    const float k = std::max({w / m_startWidth, h / m_startHeight,
                              MinSize / m_startWidth, MinSize / m_startHeight});
    w = m_startWidth * k;
    h = m_startHeight * k;
  }
  w = std::max(w, MinSize);
  h = std::max(h, MinSize);
  SetBounds(movesLeft ? right - w * s.X : left, movesTop ? bottom - h * s.Y : top, w, h);
}

void TSelection::MouseMove(TShiftState shift, float x, float y) {
  const TControlRef self(this);
  if (m_drag != TDrag::None) {
    Track(LocalMatrix().Transform({x, y}));
    if (OnTrack) OnTrack(this);
    if (!self) return;
  } else {
    SetHotGrip(GripAt({x, y}));
  }
  TControl::MouseMove(shift, x, y);
}

void TSelection::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  const bool changed = m_drag != TDrag::None &&
                       (Position() != m_startPosition || Width() != m_startWidth ||
                        Height() != m_startHeight);
  m_drag = TDrag::None;
  m_dragGrip = TGrip::grNone;
  SetHotGrip(GripAt({x, y}));
  const TControlRef self(this);
  TControl::MouseUp(button, shift, x, y);
  if (changed && self) FireLast(OnChange, this);
}

void TSelection::MouseLeave() {
  SetHotGrip(TGrip::grNone);
  TControl::MouseLeave();
}

// --- TSelectionPoint -------------------------------------------------------

void TSelectionPoint::SetGripSize(float size) {
  m_gripSize = std::max(1.0f, size);
  Repaint();
}

void TSelectionPoint::SetHot(bool hot) {
  if (hot == m_hot) return;
  m_hot = hot;
  Repaint();
}

bool TSelectionPoint::PointInObject(TPointF local) const { return local.Length() <= m_gripSize; }

void TSelectionPoint::Paint(QPainter& painter) {
  painter.save();
  painter.setPen(OutlinePen());
  PaintGrip(painter, {0, 0}, m_gripSize, m_hot);
  painter.restore();
}

void TSelectionPoint::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  if (button == TMouseButton::mbLeft && !m_dragging) {
    m_dragging = true;
    m_downPoint = LocalMatrix().Transform({x, y});
    m_startPosition = Position();
    SetHot(true);
  }
  TControl::MouseDown(button, shift, x, y);
}

void TSelectionPoint::MouseMove(TShiftState shift, float x, float y) {
  const TControlRef self(this);
  if (m_dragging) {
    SetPosition(m_startPosition + (LocalMatrix().Transform({x, y}) - m_downPoint));
    if (OnTrack) OnTrack(this);
    if (!self) return;
  }
  TControl::MouseMove(shift, x, y);
}

void TSelectionPoint::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  const bool changed = m_dragging && Position() != m_startPosition;
  m_dragging = false;
  SetHot(PointInObject({x, y}));
  const TControlRef self(this);
  TControl::MouseUp(button, shift, x, y);
  if (changed && self) FireLast(OnChange, this);
}

void TSelectionPoint::MouseEnter() {
  SetHot(true);
  TControl::MouseEnter();
}

void TSelectionPoint::MouseLeave() {
  SetHot(false);
  TControl::MouseLeave();
}

}  // namespace karto
