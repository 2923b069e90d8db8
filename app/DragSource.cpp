#include "app/DragSource.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QWidget>

namespace karto {

TWidgetDragSource::TWidgetDragSource(QWidget* widget, std::function<QMimeData*()> makeData)
    : m_widget(widget), m_makeData(std::move(makeData)) {
  widget->installEventFilter(this);
}

bool TWidgetDragSource::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_widget) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(event);
      m_armed = e->button() == Qt::LeftButton;
      m_pressPos = e->position().toPoint();
      break;
    }
    case QEvent::MouseMove: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (m_armed && (e->buttons() & Qt::LeftButton) &&
          (e->position().toPoint() - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        m_armed = false;
        auto* drag = new QDrag(m_widget);
        drag->setMimeData(m_makeData());
        drag->exec(Qt::CopyAction);
        return true;
      }
      break;
    }
    case QEvent::MouseButtonRelease:
      m_armed = false;
      break;
    default:
      break;
  }
  return false;
}

}  // namespace karto
