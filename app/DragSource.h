#pragma once
// Lets a plain widget start a drag by itself: a left press that moves past
// the drag distance starts a drag with the data of makeData.

#include <QObject>
#include <QPoint>
#include <functional>

class QMimeData;
class QWidget;

namespace karto {

class TWidgetDragSource : public QObject {
 public:
  TWidgetDragSource(QWidget* widget, std::function<QMimeData*()> makeData);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* m_widget;
  std::function<QMimeData*()> m_makeData;
  bool m_armed = false;
  QPoint m_pressPos;
};

}  // namespace karto
