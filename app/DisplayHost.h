#pragma once
// A widget that shows a display-object tree: it draws the root with the
// platform renderer and hands pointer input to the objects under the pointer.
// Absolute coordinates of the tree are window coordinates: the host places
// the root with its own offset in the window.

#include <QWidget>
#include <functional>
#include <memory>

#include "platform/Control.h"

class QMimeData;

namespace karto {

class TPointerDispatcher;

// Drops onto a host: accept decides at drag-over, drop receives the data.
struct TDropHandler {
  std::function<bool(const QMimeData*)> accept;
  std::function<void(const QMimeData*)> drop;
};

class TDisplayHost : public QWidget {
  Q_OBJECT
 public:
  // Takes ownership of root; the widget's objectName is the root's name.
  TDisplayHost(TControl* root, QWidget* parent = nullptr);
  ~TDisplayHost() override;

  TControl* Root() const { return m_root.get(); }

  // When set, the widget takes the size the root covers on screen (its
  // position plus width and height times its scale), so a scroll area
  // around it scrolls over the whole drawing.
  void SetSizeFollowsRoot(bool on);
  // When set, the root takes the widget's size (a root that fills its area).
  void SetRootFollowsSize(bool on);

  // Fills the widget before the tree is drawn and outlines it, for image
  // slots that should read as a place even while empty.
  void SetBackground(const QColor& fill, const QColor& frame);

  // Makes the host a drop target.
  void SetDropHandler(TDropHandler handler);
  // Makes the host a drag source: a left press on dragFrom (or on the root
  // when null) that moves past the drag distance starts a drag carrying the
  // data of makeData. Presses that reach other controls (grips on the
  // picture) drag those instead.
  void SetDragSource(std::function<QMimeData*()> makeData, TControl* dragFrom = nullptr);

  TPointerDispatcher& Dispatcher() { return *m_dispatcher; }

  // Recomputes the root's placement in the window.
  void SyncHostMatrix();

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void RootChanged();
  void UpdateSizeFromRoot();

  std::unique_ptr<TControl> m_root;
  std::unique_ptr<TPointerDispatcher> m_dispatcher;
  bool m_sizeFollowsRoot = false;
  bool m_rootFollowsSize = false;
  bool m_inResize = false;
  TDropHandler m_drop;
  std::function<QMimeData*()> m_makeDragData;
  TControl* m_dragFrom = nullptr;
  bool m_dragArmed = false;
  QPoint m_pressPos;
  QColor m_background;
  QColor m_frame;
};

}  // namespace karto
