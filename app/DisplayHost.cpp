#include "app/DisplayHost.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "platform/PointerInput.h"
#include "platform/Renderer.h"

namespace karto {

namespace {

TMouseButton ToButton(Qt::MouseButton b) {
  switch (b) {
    case Qt::RightButton: return TMouseButton::mbRight;
    case Qt::MiddleButton: return TMouseButton::mbMiddle;
    default: return TMouseButton::mbLeft;
  }
}

TShiftState ToShift(const QMouseEvent* e) {
  TShiftState s = 0;
  const Qt::KeyboardModifiers m = e->modifiers();
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  const Qt::MouseButtons b = e->buttons();
  if (b & Qt::LeftButton) s |= ssLeft;
  if (b & Qt::RightButton) s |= ssRight;
  if (b & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

}  // namespace

TDisplayHost::TDisplayHost(TControl* root, QWidget* parent)
    : QWidget(parent), m_root(root), m_dispatcher(std::make_unique<TPointerDispatcher>()) {
  setObjectName(QString::fromStdString(root->Name()));
  setMouseTracking(true);
  m_root->SetOnRepaint([this] { RootChanged(); });
}

TDisplayHost::~TDisplayHost() {
  m_root->SetOnRepaint(nullptr);
  m_dispatcher.reset();
  m_root.reset();
}

void TDisplayHost::SetSizeFollowsRoot(bool on) {
  m_sizeFollowsRoot = on;
  UpdateSizeFromRoot();
}

void TDisplayHost::SetRootFollowsSize(bool on) {
  m_rootFollowsSize = on;
  if (on) m_root->SetSize(float(width()), float(height()));
}

void TDisplayHost::RootChanged() {
  UpdateSizeFromRoot();
  update();
}

void TDisplayHost::UpdateSizeFromRoot() {
  if (!m_sizeFollowsRoot || m_inResize) return;
  const TPointF p = m_root->Position();
  const TPointF s = m_root->Scale();
  const int w = int(std::ceil(std::max(0.0f, p.X + m_root->Width() * s.X)));
  const int h = int(std::ceil(std::max(0.0f, p.Y + m_root->Height() * s.Y)));
  if (w != width() || h != height()) {
    m_inResize = true;
    setFixedSize(w, h);
    m_inResize = false;
  }
}

void TDisplayHost::SyncHostMatrix() {
  const QPoint o = window() ? mapTo(window(), QPoint(0, 0)) : QPoint(0, 0);
  m_root->SetHostMatrix(TMatrix::CreateTranslation(float(o.x()), float(o.y())));
}

void TDisplayHost::SetBackground(const QColor& fill, const QColor& frame) {
  m_background = fill;
  m_frame = frame;
  update();
}

void TDisplayHost::paintEvent(QPaintEvent* e) {
  QPainter painter(this);
  if (m_background.isValid()) painter.fillRect(rect(), m_background);
  painter.setRenderHint(QPainter::Antialiasing, true);
  // Only the exposed part: in a scroll area over a large drawing the shapes
  // outside it are not drawn at all.
  painter.setClipRect(e->rect());
  RenderControl(painter, *m_root);
  painter.setClipping(false);
  if (m_frame.isValid()) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(m_frame);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void TDisplayHost::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  if (m_rootFollowsSize && !m_inResize) {
    m_inResize = true;
    m_root->SetSize(float(width()), float(height()));
    m_inResize = false;
  }
  SyncHostMatrix();
}

void TDisplayHost::moveEvent(QMoveEvent* e) {
  QWidget::moveEvent(e);
  SyncHostMatrix();
}

void TDisplayHost::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  SyncHostMatrix();
}

void TDisplayHost::SetDropHandler(TDropHandler handler) {
  m_drop = std::move(handler);
  setAcceptDrops(bool(m_drop.accept));
}

void TDisplayHost::SetDragSource(std::function<QMimeData*()> makeData, TControl* dragFrom) {
  m_makeDragData = std::move(makeData);
  m_dragFrom = dragFrom;
}

void TDisplayHost::mousePressEvent(QMouseEvent* e) {
  SyncHostMatrix();
  const QPointF p = e->position() + QPointF(mapTo(window(), QPoint(0, 0)));
  TControl* target =
      m_dispatcher->MouseDown(*m_root, {float(p.x()), float(p.y())}, ToButton(e->button()), ToShift(e));
  TControl* from = m_dragFrom ? m_dragFrom : m_root.get();
  m_dragArmed = m_makeDragData && e->button() == Qt::LeftButton && (target == from || target == m_root.get());
  m_pressPos = e->position().toPoint();
}

void TDisplayHost::mouseMoveEvent(QMouseEvent* e) {
  const QPointF p = e->position() + QPointF(mapTo(window(), QPoint(0, 0)));
  if (m_dragArmed && (e->buttons() & Qt::LeftButton) &&
      (e->position().toPoint() - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
    m_dragArmed = false;
    // The press ends here for the display objects; the drag takes over.
    m_dispatcher->MouseUp(*m_root, {float(p.x()), float(p.y())}, TMouseButton::mbLeft, 0);
    auto* drag = new QDrag(this);
    drag->setMimeData(m_makeDragData());
    drag->exec(Qt::CopyAction);
    return;
  }
  m_dispatcher->MouseMove(*m_root, {float(p.x()), float(p.y())}, ToShift(e));
}

void TDisplayHost::dragEnterEvent(QDragEnterEvent* e) {
  if (m_drop.accept && m_drop.accept(e->mimeData())) e->acceptProposedAction();
  else e->ignore();
}

void TDisplayHost::dragMoveEvent(QDragMoveEvent* e) {
  if (m_drop.accept && m_drop.accept(e->mimeData())) e->acceptProposedAction();
  else e->ignore();
}

void TDisplayHost::dropEvent(QDropEvent* e) {
  if (!m_drop.accept || !m_drop.accept(e->mimeData())) {
    e->ignore();
    return;
  }
  e->acceptProposedAction();
  if (m_drop.drop) m_drop.drop(e->mimeData());
}

void TDisplayHost::mouseReleaseEvent(QMouseEvent* e) {
  m_dragArmed = false;
  const QPointF p = e->position() + QPointF(mapTo(window(), QPoint(0, 0)));
  m_dispatcher->MouseUp(*m_root, {float(p.x()), float(p.y())}, ToButton(e->button()), ToShift(e));
}

void TDisplayHost::mouseDoubleClickEvent(QMouseEvent* e) {
  const QPointF p = e->position() + QPointF(mapTo(window(), QPoint(0, 0)));
  m_dispatcher->DblClick(*m_root, {float(p.x()), float(p.y())});
}

void TDisplayHost::leaveEvent(QEvent* e) {
  QWidget::leaveEvent(e);
  m_dispatcher->MouseLeave(*m_root);
}

}  // namespace karto
