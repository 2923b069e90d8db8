// The about box: window setup, closing, the cube's turn, hover colour, the
// projected geometry and what actually lands on screen.
#include <gtest/gtest.h>

#include <QEasingCurve>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QSequentialAnimationGroup>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <ostream>
#include <set>

#include "app/About.h"

namespace karto {
namespace {

class AboutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view = dlg.findChild<TCubeView*>("Viewport3D");
    ASSERT_NE(view, nullptr);
  }

  // Shows the box and holds the cube still at `degrees`, so pictures and
  // hit tests do not race the animation.
  void ShowStill(qreal degrees) {
    dlg.show();
    view->animationLoop()->stop();
    view->setAngle(degrees);
  }

  // The dialog as painted, with the view's point `p` mapped into it.
  QImage Grab() { return dlg.grab().toImage().convertToFormat(QImage::Format_ARGB32); }
  QPoint InDialog(const QPointF& p) const { return view->mapTo(&dlg, p.toPoint()); }

  void MovePointer(const QPointF& p) {
    QMouseEvent move(QEvent::MouseMove, p, view->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view, &move);
  }
  void LeaveView() {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view, &leave);
  }

  static QRectF Bounds(const QVector<TCubeFace>& faces) {
    QRectF r;
    for (const TCubeFace& f : faces) r = r.united(f.Quad.boundingRect());
    return r;
  }

  TfrmAbout dlg;
  TCubeView* view = nullptr;
};

// ---- the window ----------------------------------------------------------

TEST_F(AboutTest, IsAFixedSizeBorderlessTranslucentDialog) {
  EXPECT_EQ(dlg.objectName(), "frmAbout");
  EXPECT_EQ(dlg.size(), QSize(419, 698));
  EXPECT_EQ(dlg.minimumSize(), QSize(419, 698));
  EXPECT_EQ(dlg.maximumSize(), QSize(419, 698));
  EXPECT_TRUE(dlg.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_EQ(dlg.windowFlags() & Qt::WindowType_Mask, Qt::Dialog);
  EXPECT_TRUE(dlg.testAttribute(Qt::WA_TranslucentBackground));
}

TEST_F(AboutTest, ShowsTheProductNameAsTitle) {
  auto* title = dlg.findChild<QLabel*>("lblTitle");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->text(), "Karto");
  dlg.show();
  // The title sits above the cube, inside the panel.
  EXPECT_TRUE(title->isVisible());
  EXPECT_LT(title->geometry().bottom(), view->geometry().top());
  EXPECT_TRUE(dlg.panelRect().contains(QRectF(title->geometry())));
}

TEST(AboutPlacement, IsCentredOnTheScreenNotOverItsOwner) {
  // A dialog would otherwise centre itself over its owner window; this one
  // goes to the middle of the screen wherever the owner is.
  QWidget owner;
  owner.setGeometry(10, 10, 200, 150);
  owner.show();
  TfrmAbout dlg(&owner);
  dlg.show();
  const QRect screen = owner.screen()->availableGeometry();
  const QPoint c = dlg.geometry().center();
  EXPECT_NEAR(c.x(), screen.center().x(), 1);
  EXPECT_NEAR(c.y(), screen.center().y(), 1);
}

TEST_F(AboutTest, CloseButtonAcceptsAndHides) {
  dlg.show();
  auto* close = dlg.findChild<QPushButton*>("btnClose");
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(close->text(), "Close");
  QTest::mouseClick(close, Qt::LeftButton);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST_F(AboutTest, ModalRunEndsWithCloseAccepted) {
  // The caller runs the box with exec(); Close must end that loop. A second
  // timer rejects if Close failed to, so a fault fails instead of hanging.
  QTimer::singleShot(0, &dlg, [this] {
    EXPECT_TRUE(dlg.isModal());
    QTest::mouseClick(dlg.findChild<QPushButton*>("btnClose"), Qt::LeftButton);
  });
  QTimer::singleShot(3000, &dlg, [this] { dlg.reject(); });
  EXPECT_EQ(dlg.exec(), QDialog::Accepted);
}

// ---- the turn ------------------------------------------------------------

TEST_F(AboutTest, TurnAnimatesTheAngleOverFourSecondsWithBackEasing) {
  auto* turn = dlg.findChild<QPropertyAnimation*>("CubeAnimation");
  ASSERT_NE(turn, nullptr);
  EXPECT_EQ(turn, view->animation());
  EXPECT_EQ(turn->targetObject(), view);
  EXPECT_EQ(turn->propertyName(), "angle");
  EXPECT_EQ(turn->duration(), 4000);
  EXPECT_DOUBLE_EQ(turn->startValue().toDouble(), 0.0);
  EXPECT_DOUBLE_EQ(turn->endValue().toDouble(), 360.0);
  EXPECT_EQ(turn->easingCurve().type(), QEasingCurve::InOutBack);
}

TEST_F(AboutTest, TurnReversesAndLoopsForEver) {
  auto* loop = dlg.findChild<QSequentialAnimationGroup*>("CubeAnimationLoop");
  ASSERT_NE(loop, nullptr);
  EXPECT_EQ(loop->loopCount(), -1);
  ASSERT_EQ(loop->animationCount(), 2);
  EXPECT_EQ(loop->animationAt(0), view->animation());
  EXPECT_EQ(loop->animationAt(1), view->reverseAnimation());
  auto* back = view->reverseAnimation();
  EXPECT_EQ(back->targetObject(), view);
  EXPECT_EQ(back->propertyName(), "angle");
  EXPECT_EQ(back->duration(), 4000);
  EXPECT_DOUBLE_EQ(back->startValue().toDouble(), 360.0);
  EXPECT_DOUBLE_EQ(back->endValue().toDouble(), 0.0);

  // Driven by the clock of the group: the return leg retraces the forward
  // leg (angle at 4 s + t equals angle at 4 s - t), the back easing
  // overshoots below 0 early on, and the second round repeats the first.
  loop->start();
  loop->pause();
  auto angleAt = [&](int ms) {
    loop->setCurrentTime(ms);
    return view->angle();
  };
  EXPECT_NEAR(angleAt(2000), 180.0, 1e-6);
  EXPECT_NEAR(angleAt(4000), 360.0, 1e-6);
  EXPECT_NEAR(angleAt(8000 - 1), 0.0, 0.1);
  for (int t : {300, 1000, 2500, 3700}) {
    SCOPED_TRACE(t);
    const double forward = angleAt(4000 - t);
    EXPECT_NEAR(angleAt(4000 + t), forward, 1e-6);
    EXPECT_NEAR(angleAt(8000 + 4000 - t), forward, 1e-6);
  }
  EXPECT_LT(angleAt(400), 0.0);
}

TEST_F(AboutTest, TurnRunsOnlyWhileShown) {
  EXPECT_NE(view->animationLoop()->state(), QAbstractAnimation::Running);
  dlg.show();
  EXPECT_EQ(view->animationLoop()->state(), QAbstractAnimation::Running);
  dlg.hide();
  EXPECT_NE(view->animationLoop()->state(), QAbstractAnimation::Running);
}

// ---- projected geometry --------------------------------------------------

struct TVisibleCase {
  qreal Angle;
  std::set<TCubeFace::TSide> Sides;
};

void PrintTo(const TVisibleCase& c, std::ostream* os) { *os << "angle " << c.Angle; }

class CubeGeometryTest : public AboutTest, public ::testing::WithParamInterface<TVisibleCase> {};

constexpr auto kFront = TCubeFace::fsFront, kBack = TCubeFace::fsBack;
constexpr auto kLeft = TCubeFace::fsLeft, kRight = TCubeFace::fsRight, kTop = TCubeFace::fsTop;

// The camera looks down a little, so the top face always shows; a positive
// turn moves the front face to the right and brings the left face in.
INSTANTIATE_TEST_SUITE_P(Angles, CubeGeometryTest,
                         ::testing::Values(TVisibleCase{0, {kFront, kTop}},
                                           TVisibleCase{45, {kFront, kLeft, kTop}},
                                           TVisibleCase{90, {kLeft, kTop}},
                                           TVisibleCase{180, {kBack, kTop}},
                                           TVisibleCase{270, {kRight, kTop}},
                                           TVisibleCase{360, {kFront, kTop}},
                                           // the back easing overshoots below 0 and above 360
                                           TVisibleCase{-30, {kFront, kRight, kTop}},
                                           TVisibleCase{380, {kFront, kLeft, kTop}}));

TEST_P(CubeGeometryTest, CullsBackFacesAndPaintsFarToNear) {
  ShowStill(GetParam().Angle);
  const QVector<TCubeFace> faces = view->visibleFaces();
  std::set<TCubeFace::TSide> sides;
  for (const TCubeFace& f : faces) sides.insert(f.Side);
  EXPECT_EQ(sides, GetParam().Sides);
  EXPECT_EQ(size_t(faces.size()), GetParam().Sides.size());
  for (int i = 1; i < faces.size(); ++i) EXPECT_GE(faces[i - 1].Depth, faces[i].Depth);
  // The cube stays inside its view, centred on it.
  const QRectF bounds = Bounds(faces);
  EXPECT_TRUE(QRectF(view->rect()).contains(bounds));
  EXPECT_NEAR(bounds.center().x(), view->width() / 2.0, view->width() * 0.15);
}

TEST_F(AboutTest, FacesAreFlatShadedFromAFixedLight) {
  ShowStill(0);
  const QVector<TCubeFace> faces = view->visibleFaces();
  ASSERT_EQ(faces.size(), 2);
  const TCubeFace& top = faces[0].Side == TCubeFace::fsTop ? faces[0] : faces[1];
  const TCubeFace& front = faces[0].Side == TCubeFace::fsFront ? faces[0] : faces[1];
  ASSERT_EQ(top.Side, TCubeFace::fsTop);
  ASSERT_EQ(front.Side, TCubeFace::fsFront);
  // The light comes from above: the top face catches more of it and is
  // painted lighter, both in the material's hue.
  EXPECT_GT(top.Light, front.Light);
  EXPECT_GT(top.Color.value(), front.Color.value());
  for (const TCubeFace& f : faces) {
    EXPECT_GT(f.Color.blue(), f.Color.red());
    EXPECT_LE(f.Color.blue(), TCubeView::normalColor().blue());
  }
  // The light stays put while the cube turns: the light is on the right, so
  // the front face turned to the left catches less of it.
  view->setAngle(-60);
  const QVector<TCubeFace> turned = view->visibleFaces();
  const auto turnedFront = std::find_if(turned.begin(), turned.end(), [](const TCubeFace& f) {
    return f.Side == TCubeFace::fsFront;
  });
  ASSERT_NE(turnedFront, turned.end());
  EXPECT_LT(turnedFront->Light, front.Light);
}

// ---- hover ---------------------------------------------------------------

TEST_F(AboutTest, CubeTurnsRedUnderThePointerAndBackWhenItLeaves) {
  ShowStill(30);
  const QColor normal = view->faceColor();
  EXPECT_FALSE(view->isHot());
  EXPECT_EQ(normal, TCubeView::normalColor());
  EXPECT_NE(normal, TCubeView::hotColor());

  // Events go straight to the view: QTest::mouseMove drops a move to where
  // an earlier test left the pointer. Tracking is what lets the real pointer
  // produce these moves with no button held.
  EXPECT_TRUE(view->hasMouseTracking());
  MovePointer(view->rect().center());
  EXPECT_TRUE(view->isHot());
  EXPECT_EQ(view->faceColor(), TCubeView::hotColor());
  EXPECT_GT(view->faceColor().red(), 200);
  for (const TCubeFace& f : view->visibleFaces()) EXPECT_GT(f.Color.red(), f.Color.blue());

  LeaveView();
  EXPECT_FALSE(view->isHot());
  EXPECT_EQ(view->faceColor(), normal);
}

TEST_F(AboutTest, PointerBesideTheCubeIsNotHot) {
  ShowStill(30);
  MovePointer(view->rect().center());
  ASSERT_TRUE(view->isHot());
  // Inside the view but off the cube: corner and just past the projection.
  MovePointer(QPointF(2, 2));
  EXPECT_FALSE(view->isHot());
  const QRectF bounds = Bounds(view->visibleFaces());
  MovePointer(QPointF(bounds.right() + 2, bounds.center().y()));
  EXPECT_FALSE(view->isHot());
  MovePointer(QPointF(bounds.center().x(), bounds.top() - 2));
  EXPECT_FALSE(view->isHot());
}

TEST_F(AboutTest, HoverFollowsTheCubeTurningUnderAStillPointer) {
  // At 0 the cube shows its narrowest silhouette; turned by 45 its corner
  // reaches further out and under a pointer that has not moved.
  ShowStill(0);
  const QRectF square = Bounds(view->visibleFaces());
  const QPointF beside(square.right() + 3, view->rect().center().y());
  MovePointer(beside);
  ASSERT_FALSE(view->isHot());
  view->setAngle(45);
  ASSERT_GT(Bounds(view->visibleFaces()).right(), beside.x());
  EXPECT_TRUE(view->isHot());
  view->setAngle(0);
  EXPECT_FALSE(view->isHot());
}

// ---- on screen -----------------------------------------------------------

namespace {
bool IsWhitish(QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200; }
}  // namespace

TEST_F(AboutTest, PaintsPanelBorderAndShadow) {
  ShowStill(0);
  const QImage img = Grab();
  const QRectF panel = dlg.panelRect();
  // Clear outside the panel and its shadow.
  EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0);
  // Translucent dark blue inside, in the padding next to the left border.
  const QRgb inside = img.pixel(int(panel.left()) + 12, int(panel.center().y()));
  EXPECT_NEAR(qAlpha(inside), 200, 12);
  EXPECT_GT(qBlue(inside), qRed(inside) + 20);
  // White border on the edge.
  EXPECT_TRUE(IsWhitish(img.pixel(int(panel.left()) + 1, int(panel.center().y()))));
  // Shadow below and right of the panel: dark and partly opaque.
  const QRgb shadow = img.pixel(int(panel.center().x()), int(panel.bottom()) + 4);
  EXPECT_GT(qAlpha(shadow), 20);
  EXPECT_LT(qRed(shadow) + qGreen(shadow) + qBlue(shadow), 60);
  EXPECT_GT(qAlpha(img.pixel(int(panel.right()) + 4, int(panel.center().y()))), 20);
}

TEST_F(AboutTest, PaintsTheCubeInItsMaterialOverThePanel) {
  ShowStill(30);
  const QImage img = Grab();
  const QRgb panel = img.pixel(InDialog(QPointF(3, 3)));
  const QRgb cube = img.pixel(InDialog(QRectF(view->rect()).center() + QPointF(0, 25)));
  EXPECT_NE(cube, panel);
  EXPECT_EQ(qAlpha(cube), 255);  // the faces are opaque
  EXPECT_GT(qBlue(cube), qRed(cube) + 40);

  MovePointer(view->rect().center());
  const QRgb hot = Grab().pixel(InDialog(QRectF(view->rect()).center() + QPointF(0, 25)));
  EXPECT_GT(qRed(hot), qBlue(hot) + 40);
}

TEST_F(AboutTest, WritesTheNameOnTheFrontFaceOnly) {
  auto whiteOnCube = [this] {
    const QImage img = Grab();
    int count = 0;
    for (const TCubeFace& f : view->visibleFaces()) {
      const QRect r = f.Quad.boundingRect().toAlignedRect();
      for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
          if (f.Quad.containsPoint(QPointF(x, y), Qt::OddEvenFill) &&
              IsWhitish(img.pixel(InDialog(QPointF(x, y)))))
            ++count;
    }
    return count;
  };
  ShowStill(0);
  EXPECT_GT(whiteOnCube(), 150);
  // Turned, the text goes with the face; front face away, no text.
  view->setAngle(35);
  EXPECT_GT(whiteOnCube(), 100);
  view->setAngle(180);
  EXPECT_EQ(whiteOnCube(), 0);
}

}  // namespace
}  // namespace karto
