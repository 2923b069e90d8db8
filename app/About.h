#pragma once
// The about box: a borderless, translucent dialog that paints its own rounded
// dark-blue panel with a white border and a drop shadow, the product name, a
// turning lit cube with "Karto" on its front face, and a Close button. The
// caller shows it modally with exec(); Close accepts it.
//
// The cube is drawn with QPainter alone (no Qt3D, no OpenGL): its eight
// corners are projected in perspective, back faces are culled, the rest are
// painted far to near with flat Lambert shading.

#include <QColor>
#include <QDialog>
#include <QPointF>
#include <QPolygonF>
#include <QVector>
#include <QWidget>
#include <optional>

class QLabel;
class QPropertyAnimation;
class QPushButton;
class QSequentialAnimationGroup;

namespace karto {

// One cube face as it appears on screen for the current angle and widget size.
struct TCubeFace {
  enum TSide { fsFront, fsBack, fsLeft, fsRight, fsTop, fsBottom };
  TSide Side = fsFront;
  // Projected corners in widget coordinates. For the front face the order is
  // top-left, top-right, bottom-right, bottom-left as seen from outside.
  QPolygonF Quad;
  // Mean distance of the face's corners from the camera; larger is farther.
  double Depth = 0;
  // Lambert term in 0..1: how squarely the face turns to the light.
  double Light = 0;
  // Material colour shaded by the ambient and Lambert terms.
  QColor Color;
};

// The turning cube. `angle` is the turn about the cube's vertical axis in
// degrees (0 shows the front face squarely, positive turns the front face to
// the right); the camera looks slightly down on it so the top face shows too.
class TCubeView : public QWidget {
  Q_OBJECT
  Q_PROPERTY(qreal angle READ angle WRITE setAngle NOTIFY angleChanged)

 public:
  // One turn: 0 to 360 degrees in 4 s with a back easing, then the same way
  // back, for ever.
  static constexpr int kTurnDurationMs = 4000;
  static constexpr double kTurnStartAngle = 0.0;
  static constexpr double kTurnEndAngle = 360.0;

  explicit TCubeView(QWidget* parent = nullptr);

  qreal angle() const { return m_angle; }
  void setAngle(qreal degrees);

  // True while the pointer is over the visible part of the cube.
  bool isHot() const { return m_hot; }
  // The material the faces are shaded from: red while hot, blue otherwise.
  QColor faceColor() const;
  static QColor normalColor();
  static QColor hotColor();

  // The faces that face the camera, sorted far to near (the painting order),
  // for the current angle and size.
  QVector<TCubeFace> visibleFaces() const;
  // True when `p` (widget coordinates) lies on one of the visible faces.
  bool hitTest(const QPointF& p) const;

  // The forward turn ("CubeAnimation", 0 -> 360), its mirror
  // ("CubeAnimationReverse", 360 -> 0) and the endless group that plays them
  // one after the other ("CubeAnimationLoop"). The group runs while the view
  // is shown.
  QPropertyAnimation* animation() const { return m_forward; }
  QPropertyAnimation* reverseAnimation() const { return m_backward; }
  QSequentialAnimationGroup* animationLoop() const { return m_loop; }

  QSize sizeHint() const override;

 signals:
  void angleChanged(qreal degrees);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void setHot(bool hot);
  // Re-tests the last pointer position, so the colour follows the cube as
  // it turns under a pointer that stands still.
  void updateHot();

  qreal m_angle = kTurnStartAngle;
  bool m_hot = false;
  std::optional<QPointF> m_pointer;  // last position while inside the view
  QPropertyAnimation* m_forward = nullptr;
  QPropertyAnimation* m_backward = nullptr;
  QSequentialAnimationGroup* m_loop = nullptr;
};

class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 419;
  static constexpr int kHeight = 698;

  explicit TfrmAbout(QWidget* parent = nullptr);

  TCubeView* cubeView() const { return Viewport3D; }
  // The panel the dialog paints; the rest of the window is shadow or clear.
  QRectF panelRect() const;

  void setVisible(bool visible) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void centreOnScreen();

  QLabel* lblTitle = nullptr;
  QLabel* lblDescription = nullptr;
  TCubeView* Viewport3D = nullptr;
  QPushButton* btnClose = nullptr;
};

}  // namespace karto
