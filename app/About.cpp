#include "app/About.h"

#include <QEasingCurve>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QSequentialAnimationGroup>
#include <QTransform>
#include <QVBoxLayout>
#include <QtMath>
#include <algorithm>
#include <array>
#include <cmath>

namespace karto {

namespace {

// ---- cube geometry -------------------------------------------------------

struct TVec3 {
  double x, y, z;
};

TVec3 operator-(const TVec3& a, const TVec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot(const TVec3& a, const TVec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
TVec3 Normalized(const TVec3& v) {
  const double len = std::sqrt(Dot(v, v));
  return {v.x / len, v.y / len, v.z / len};
}

// A unit cube (half edge 1) centred on the origin; +y is up and the front
// face looks down -z, towards the camera.
struct TFaceDef {
  TCubeFace::TSide Side;
  TVec3 Normal;
  // Corners top-left, top-right, bottom-right, bottom-left as seen from
  // outside, so a picture mapped onto the quad reads the right way round.
  std::array<TVec3, 4> Corners;
};

const std::array<TFaceDef, 6> kFaces = {{
    {TCubeFace::fsFront, {0, 0, -1}, {{{-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}}}},
    {TCubeFace::fsBack, {0, 0, 1}, {{{1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1}}}},
    {TCubeFace::fsRight, {1, 0, 0}, {{{1, 1, -1}, {1, 1, 1}, {1, -1, 1}, {1, -1, -1}}}},
    {TCubeFace::fsLeft, {-1, 0, 0}, {{{-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}, {-1, -1, 1}}}},
    {TCubeFace::fsTop, {0, 1, 0}, {{{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}}}},
    {TCubeFace::fsBottom, {0, -1, 0}, {{{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}}}},
}};

// The camera sits on the -z axis at this distance (in half edges) from the
// cube's centre and looks slightly down on it, so the top face shows.
constexpr double kCameraDistance = 5.0;
constexpr double kCameraElevationDeg = 22.0;
// Focal length as a share of the view's shorter side: the front face then
// spans a bit over half of it and the turned cube still fits.
constexpr double kFocalScale = 1.1;

// Direction towards the light in camera space: above, right and in front, so
// the front face is well lit through the first part of each turn.
const TVec3 kLightDir = Normalized({0.4, 0.6, -0.7});
// Faces turned away from the light keep some colour.
constexpr double kAmbient = 0.3;
constexpr double kDiffuse = 0.7;

// Text on the front face is laid out in this square and then mapped onto the
// projected face, so its size follows the face.
constexpr double kLabelSquare = 100.0;
constexpr int kLabelPixelSize = 27;

// Turns a model-space vector about the vertical axis by `turn` (positive moves
// the front face to the right), then tilts it for the camera's elevation.
struct TCameraRotation {
  double cosTurn, sinTurn, cosTilt, sinTilt;

  explicit TCameraRotation(double turnDeg)
      : cosTurn(std::cos(qDegreesToRadians(turnDeg))),
        sinTurn(std::sin(qDegreesToRadians(turnDeg))),
        cosTilt(std::cos(qDegreesToRadians(kCameraElevationDeg))),
        sinTilt(std::sin(qDegreesToRadians(kCameraElevationDeg))) {}

  TVec3 operator()(const TVec3& v) const {
    const double x = v.x * cosTurn - v.z * sinTurn;
    const double z = v.x * sinTurn + v.z * cosTurn;
    return {x, v.y * cosTilt + z * sinTilt, -v.y * sinTilt + z * cosTilt};
  }
};

QColor Shade(const QColor& material, double intensity) {
  auto channel = [intensity](int c) { return std::clamp(int(std::lround(c * intensity)), 0, 255); };
  return QColor(channel(material.red()), channel(material.green()), channel(material.blue()));
}

// ---- about box panel -----------------------------------------------------

constexpr double kPanelRadius = 20.0;
constexpr double kBorderWidth = 3.0;
const QColor kPanelColor(10, 30, 80, 200);
// The shadow is a stack of translucent rounded rects, each one pixel larger
// than the last, shifted down and right; where they pile up it is darkest.
// Painted by hand because a QGraphicsEffect on the top-level window does not
// render under every platform plugin (offscreen among them).
constexpr int kShadowBlur = 9;
constexpr int kShadowAlphaPerLayer = 22;
const QPointF kShadowOffset(5, 7);
// Room between the panel and the window edge for the shadow.
constexpr int kMarginLeft = kShadowBlur;
constexpr int kMarginTop = kShadowBlur;
constexpr int kMarginRight = kShadowBlur + 5;
constexpr int kMarginBottom = kShadowBlur + 7;
constexpr int kPadding = 22;

}  // namespace

// ---- TCubeView -----------------------------------------------------------

TCubeView::TCubeView(QWidget* parent) : QWidget(parent) {
  setObjectName("Viewport3D");
  setMouseTracking(true);  // hover colour without a pressed button
  setMinimumSize(160, 160);

  // Forward and back as two animations in an endless group: each keeps the
  // plain 0 -> 360 figures readable, and the return leg is the forward one
  // played backwards because InOutBack is point-symmetric (f(1-t) = 1 - f(t)).
  m_forward = new QPropertyAnimation(this, "angle");
  m_forward->setObjectName("CubeAnimation");
  m_forward->setStartValue(kTurnStartAngle);
  m_forward->setEndValue(kTurnEndAngle);
  m_forward->setDuration(kTurnDurationMs);
  m_forward->setEasingCurve(QEasingCurve::InOutBack);

  m_backward = new QPropertyAnimation(this, "angle");
  m_backward->setObjectName("CubeAnimationReverse");
  m_backward->setStartValue(kTurnEndAngle);
  m_backward->setEndValue(kTurnStartAngle);
  m_backward->setDuration(kTurnDurationMs);
  m_backward->setEasingCurve(QEasingCurve::InOutBack);

  m_loop = new QSequentialAnimationGroup(this);
  m_loop->setObjectName("CubeAnimationLoop");
  m_loop->addAnimation(m_forward);  // the group owns both from here on
  m_loop->addAnimation(m_backward);
  m_loop->setLoopCount(-1);
}

QSize TCubeView::sizeHint() const { return {360, 400}; }

void TCubeView::setAngle(qreal degrees) {
  if (degrees == m_angle) return;
  m_angle = degrees;
  emit angleChanged(m_angle);
  updateHot();
  update();
}

QColor TCubeView::normalColor() { return QColor(70, 130, 220); }
QColor TCubeView::hotColor() { return QColor(220, 30, 30); }
QColor TCubeView::faceColor() const { return m_hot ? hotColor() : normalColor(); }

QVector<TCubeFace> TCubeView::visibleFaces() const {
  const TCameraRotation rotate(m_angle);
  const QPointF centre = QRectF(rect()).center();
  const double focal = kFocalScale * std::min(width(), height());
  const TVec3 camera{0, 0, -kCameraDistance};
  const QColor material = faceColor();

  QVector<TCubeFace> faces;
  for (const TFaceDef& def : kFaces) {
    const TVec3 normal = rotate(def.Normal);
    std::array<TVec3, 4> corners;
    TVec3 mid{0, 0, 0};
    for (size_t i = 0; i < 4; ++i) {
      corners[i] = rotate(def.Corners[i]);
      mid = {mid.x + corners[i].x / 4, mid.y + corners[i].y / 4, mid.z + corners[i].z / 4};
    }
    // Back-face culling: keep a face only when its outer side looks at the
    // camera. Edge-on faces (at exactly 90 degrees) are dropped too.
    if (Dot(normal, camera - mid) <= 1e-9) continue;

    TCubeFace face;
    face.Side = def.Side;
    double depth = 0;
    for (const TVec3& c : corners) {
      const double dz = c.z + kCameraDistance;  // > 0: the camera is outside the cube
      face.Quad << QPointF(centre.x() + focal * c.x / dz, centre.y() - focal * c.y / dz);
      depth += dz / 4;
    }
    face.Depth = depth;
    face.Light = std::max(0.0, Dot(normal, kLightDir));
    face.Color = Shade(material, kAmbient + kDiffuse * face.Light);
    faces.push_back(face);
  }
  // Painter's order. A convex body needs none once back faces are gone, but
  // the order keeps overlapping edges drawn the same way at every angle.
  std::sort(faces.begin(), faces.end(),
            [](const TCubeFace& a, const TCubeFace& b) { return a.Depth > b.Depth; });
  return faces;
}

bool TCubeView::hitTest(const QPointF& p) const {
  const QVector<TCubeFace> faces = visibleFaces();
  return std::any_of(faces.begin(), faces.end(), [&p](const TCubeFace& f) {
    return f.Quad.containsPoint(p, Qt::OddEvenFill);
  });
}

void TCubeView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);

  QFont labelFont = font();
  labelFont.setPixelSize(kLabelPixelSize);
  labelFont.setBold(true);
  const QPolygonF labelQuad{QPointF(0, 0), QPointF(kLabelSquare, 0),
                            QPointF(kLabelSquare, kLabelSquare), QPointF(0, kLabelSquare)};

  for (const TCubeFace& face : visibleFaces()) {
    // A darker outline marks the edges and hides antialiasing seams.
    QPen edge(face.Color.darker(140), 1.2);
    edge.setJoinStyle(Qt::RoundJoin);
    painter.setPen(edge);
    painter.setBrush(face.Color);
    painter.drawPolygon(face.Quad);

    if (face.Side != TCubeFace::fsFront) continue;
    // A planar quad under perspective is a projective image of a square,
    // which is exactly what quadToQuad builds; the text turns with the face.
    QTransform toFace;
    if (!QTransform::quadToQuad(labelQuad, face.Quad, toFace)) continue;
    painter.save();
    painter.setTransform(toFace, true);
    painter.setFont(labelFont);
    painter.setPen(QColor(255, 255, 255, 235));
    painter.drawText(QRectF(0, 0, kLabelSquare, kLabelSquare), Qt::AlignCenter, "Karto");
    painter.restore();
  }
}

void TCubeView::mouseMoveEvent(QMouseEvent* event) {
  m_pointer = event->position();
  updateHot();
  QWidget::mouseMoveEvent(event);
}

void TCubeView::leaveEvent(QEvent* event) {
  m_pointer.reset();
  setHot(false);
  QWidget::leaveEvent(event);
}

void TCubeView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (m_loop->state() == QAbstractAnimation::Paused)
    m_loop->resume();
  else if (m_loop->state() == QAbstractAnimation::Stopped)
    m_loop->start();
}

void TCubeView::hideEvent(QHideEvent* event) {
  // No turning (and no repaints) while nobody can see the cube.
  if (m_loop->state() == QAbstractAnimation::Running) m_loop->pause();
  QWidget::hideEvent(event);
}

void TCubeView::setHot(bool hot) {
  if (hot == m_hot) return;
  m_hot = hot;
  update();
}

void TCubeView::updateHot() { setHot(m_pointer && hitTest(*m_pointer)); }

// ---- TfrmAbout -----------------------------------------------------------

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog) {
  setObjectName("frmAbout");
  setWindowTitle("About Karto");
  setAttribute(Qt::WA_TranslucentBackground);
  setFixedSize(kWidth, kHeight);
  setModal(true);

  lblTitle = new QLabel("Karto", this);
  lblTitle->setObjectName("lblTitle");
  lblTitle->setAlignment(Qt::AlignCenter);

  lblDescription = new QLabel("Traces pixel images into vector drawings.", this);
  lblDescription->setObjectName("lblDescription");
  lblDescription->setAlignment(Qt::AlignCenter);
  lblDescription->setWordWrap(true);

  Viewport3D = new TCubeView(this);
  Viewport3D->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

  btnClose = new QPushButton("Close", this);
  btnClose->setObjectName("btnClose");
  btnClose->setDefault(true);
  btnClose->setMinimumWidth(130);
  btnClose->setCursor(Qt::PointingHandCursor);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

  // Rules name the children only: the dialog paints its own panel and must
  // stay clear elsewhere for the translucent window.
  setStyleSheet(
      "QLabel#lblTitle { color: white; font-size: 44px; font-weight: bold; }"
      "QLabel#lblDescription { color: rgba(255, 255, 255, 200); font-size: 14px; }"
      "QPushButton#btnClose { color: white; font-size: 15px; font-weight: bold;"
      "  background: rgba(255, 255, 255, 40); border: 2px solid white;"
      "  border-radius: 14px; padding: 6px 24px; }"
      "QPushButton#btnClose:hover { background: rgba(255, 255, 255, 80); }"
      "QPushButton#btnClose:pressed { background: rgba(255, 255, 255, 130); }");

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kMarginLeft + kPadding, kMarginTop + kPadding,
                             kMarginRight + kPadding, kMarginBottom + kPadding);
  layout->setSpacing(8);
  layout->addWidget(lblTitle);
  layout->addWidget(lblDescription);
  layout->addWidget(Viewport3D, 1);
  layout->addWidget(btnClose, 0, Qt::AlignHCenter);
}

QRectF TfrmAbout::panelRect() const {
  return QRectF(rect()).adjusted(kMarginLeft, kMarginTop, -kMarginRight, -kMarginBottom);
}

void TfrmAbout::setVisible(bool visible) {
  // Placed before QDialog shows itself: moving marks the window as placed, so
  // QDialog does not centre it over the parent instead.
  if (visible) centreOnScreen();
  QDialog::setVisible(visible);
}

void TfrmAbout::centreOnScreen() {
  QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame(QPoint(0, 0), size());
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

void TfrmAbout::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);

  const QRectF panel = panelRect();
  QPainterPath panelPath;
  panelPath.addRoundedRect(panel, kPanelRadius, kPanelRadius);

  // The shadow stops at the panel's edge: seen through the translucent panel
  // it would darken one corner.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0, 0, 0, kShadowAlphaPerLayer));
  for (int i = 0; i < kShadowBlur; ++i) {
    QPainterPath layer;
    const double grow = i;
    layer.addRoundedRect(panel.translated(kShadowOffset).adjusted(-grow, -grow, grow, grow),
                         kPanelRadius + grow, kPanelRadius + grow);
    painter.drawPath(layer.subtracted(panelPath));
  }

  painter.setBrush(kPanelColor);
  painter.drawPath(panelPath);

  // The border sits inside the panel so its outer edge is the panel's edge.
  const double inset = kBorderWidth / 2;
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::white, kBorderWidth));
  painter.drawRoundedRect(panel.adjusted(inset, inset, -inset, -inset), kPanelRadius - inset,
                          kPanelRadius - inset);
}

}  // namespace karto
