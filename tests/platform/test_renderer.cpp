// The renderer, checked on a 40 x 40 white canvas. Pictures whose edges fall
// on whole pixels are compared with a reference of filled rectangles, within
// kTolerance per channel; strokes, caps, joins and dashes are checked by probe
// pixels that lie well inside or well outside the drawn area.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/Renderer.h"
#include "platform/Shapes.h"

using namespace karto;

namespace {

constexpr int kSize = 40;
constexpr int kTolerance = 2;  // per channel, for antialiasing and rounding

using Boxes = std::vector<std::pair<QRect, QColor>>;

// White, with the boxes filled in order, no antialiasing.
QImage Reference(const Boxes& boxes) {
  QImage img(kSize, kSize, QImage::Format_ARGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  for (const auto& [rect, color] : boxes) p.fillRect(rect, color);
  return img;
}

::testing::AssertionResult MatchesReference(const QImage& got, const Boxes& boxes) {
  const QImage want = Reference(boxes);
  if (got.size() != want.size()) return ::testing::AssertionFailure() << "size differs";
  int bad = 0;
  QString first;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const QRgb g = got.pixel(x, y), w = want.pixel(x, y);
      const int d = std::max({std::abs(qRed(g) - qRed(w)), std::abs(qGreen(g) - qGreen(w)),
                              std::abs(qBlue(g) - qBlue(w)), std::abs(qAlpha(g) - qAlpha(w))});
      if (d > kTolerance && bad++ == 0)
        first = QString("%1,%2: got #%3, want #%4")
                    .arg(x)
                    .arg(y)
                    .arg(g, 8, 16, QChar('0'))
                    .arg(w, 8, 16, QChar('0'));
    }
  if (bad == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << bad << " pixels differ; first at " << first.toStdString();
}

// A probe pixel of a black-on-white picture: dark, light, or in between.
enum class Ink { Dark, Light };
::testing::AssertionResult Probe(const QImage& img, int x, int y, Ink want) {
  const int v = qGray(img.pixel(x, y));
  if ((want == Ink::Dark && v < 64) || (want == Ink::Light && v > 191))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel " << x << "," << y << " has grey " << v
                                       << ", want " << (want == Ink::Dark ? "dark" : "light");
}

class Render : public ::testing::Test {
 protected:
  void SetUp() override { root.SetSize(kSize, kSize); }

  // A control owned by root, placed under parent (root by default).
  template <class T>
  T* Add(TControl* parent = nullptr) {
    auto* c = new T(&root);
    c->SetParent(parent ? parent : &root);
    return c;
  }
  // A rectangle filled with color, without a stroke.
  TRectangle* FilledRect(TControl* parent, float x, float y, float w, float h,
                         TAlphaColor color = TAlphaColors::Black) {
    auto* r = Add<TRectangle>(parent);
    r->SetBounds(x, y, w, h);
    r->Fill.Color = color;
    r->Stroke.Kind = TBrushKind::bkNone;
    return r;
  }
  // A black stroked polyline drawn where its points are.
  TPath* Polyline(std::initializer_list<TPointF> pts, float thickness) {
    auto* p = Add<TPath>();
    p->SetSize(kSize, kSize);
    p->WrapMode = TPathWrapMode::pwOriginal;
    p->Fill.Kind = TBrushKind::bkNone;
    p->StrokeThickness = thickness;
    bool first = true;
    for (TPointF pt : pts) {
      first ? p->Data.MoveTo(pt) : p->Data.LineTo(pt);
      first = false;
    }
    return p;
  }
  QImage Draw() const { return RenderToImage(root, kSize, kSize); }

  TLayout root;
};

TEST_F(Render, FilledRectangleLandsOnItsPixels) {
  FilledRect(nullptr, 10, 5, 20, 10, TAlphaColors::Red);
  EXPECT_TRUE(MatchesReference(Draw(), {{QRect(10, 5, 20, 10), Qt::red}}));
}

TEST_F(Render, ChildOfAScaledParentIsDrawnScaled) {
  auto* parent = Add<TLayout>();
  parent->SetBounds(4, 2, 10, 10);
  parent->SetScale({2, 3});
  FilledRect(parent, 3, 1, 5, 4);  // -> 10, 5, 10 x 12
  EXPECT_TRUE(MatchesReference(Draw(), {{QRect(10, 5, 10, 12), Qt::black}}));
}

TEST_F(Render, OpacityMultipliesDownTheTree) {
  auto* parent = Add<TLayout>();
  parent->SetSize(kSize, kSize);
  parent->SetOpacity(0.5f);
  FilledRect(parent, 5, 5, 30, 30)->SetOpacity(0.5f);
  // A quarter of black over white.
  EXPECT_TRUE(MatchesReference(Draw(), {{QRect(5, 5, 30, 30), QColor(191, 191, 191)}}));
}

TEST_F(Render, RotatedShapesTurnClockwiseAboutTheirRotationCentre) {
  struct Case {
    const char* what;
    TPointF centre;
    QRect want;
  };
  const Case cases[] = {
      // 20 x 10 at 10, 15 turned about its middle (20, 20).
      {"about the middle", {0.5f, 0.5f}, QRect(15, 10, 10, 20)},
      // About the top-left corner 10, 15: the box swings to the left of it.
      {"about the top-left corner", {0, 0}, QRect(0, 15, 10, 20)},
  };
  TRectangle* r = FilledRect(nullptr, 10, 15, 20, 10);
  r->SetRotationAngle(90);
  for (const Case& c : cases) {
    r->SetRotationCenter(c.centre);
    EXPECT_TRUE(MatchesReference(Draw(), {{c.want, Qt::black}})) << c.what;
  }
}

TEST_F(Render, HiddenControlsAndTheirChildrenDrawNothing) {
  auto* parent = Add<TLayout>();
  parent->SetSize(kSize, kSize);
  FilledRect(parent, 5, 5, 10, 10);
  TRectangle* hidden = FilledRect(nullptr, 20, 20, 10, 10);
  hidden->SetVisible(false);
  EXPECT_TRUE(MatchesReference(Draw(), {{QRect(5, 5, 10, 10), Qt::black}}));
  parent->SetVisible(false);
  EXPECT_TRUE(MatchesReference(Draw(), {}));
}

TEST_F(Render, ClipChildrenCutsChildrenToTheParent) {
  auto* parent = Add<TLayout>();
  parent->SetBounds(10, 10, 10, 10);
  FilledRect(parent, -5, -5, 30, 30);
  EXPECT_TRUE(MatchesReference(Draw(), {{QRect(5, 5, 30, 30), Qt::black}}));
  parent->SetClipChildren(true);
  EXPECT_TRUE(MatchesReference(Draw(), {{QRect(10, 10, 10, 10), Qt::black}}));
}

TEST_F(Render, StretchedPathFillsItsShapeRectAndStrokesItsEdge) {
  auto* path = Add<TPath>();
  path->SetBounds(5, 5, 30, 20);
  path->Data.SetData("M 100,100 L 200,100 L 200,300 L 100,300 Z");
  path->Fill.Color = TAlphaColors::Red;
  path->Stroke.Kind = TBrushKind::bkNone;
  EXPECT_TRUE(MatchesReference(Draw(), {{QRect(5, 5, 30, 20), Qt::red}})) << "fill only";

  // A stroke 2 wide: the shape rect is inset by 1, so the outer edge of the
  // stroke is the control's edge.
  path->Stroke.Kind = TBrushKind::bkSolid;
  path->Stroke.Color = TAlphaColors::Blue;
  path->StrokeThickness = 2;
  EXPECT_TRUE(
      MatchesReference(Draw(), {{QRect(5, 5, 30, 20), Qt::blue}, {QRect(7, 7, 26, 16), Qt::red}}))
      << "fill and stroke";
}

TEST_F(Render, GradientFillRunsFromStartToStop) {
  TRectangle* r = FilledRect(nullptr, 0, 0, kSize, kSize);
  r->Fill.Kind = TBrushKind::bkGradient;
  r->Fill.Gradient.Points = {{TAlphaColors::Black, 0}, {TAlphaColors::White, 1}};  // top to bottom
  const QImage img = Draw();
  EXPECT_TRUE(Probe(img, 20, 1, Ink::Dark));
  EXPECT_NEAR(qGray(img.pixel(20, 20)), 128, 16);
  EXPECT_TRUE(Probe(img, 20, 38, Ink::Light));
  EXPECT_EQ(img.pixel(2, 20), img.pixel(37, 20));  // no change across
}

TEST_F(Render, DashesFollowThePatternInUnitsOfTheThickness) {
  struct Case {
    const char* what;
    TStrokeDash dash;
    std::vector<float> custom;
    std::vector<int> dark, light;  // probe columns on the line
  };
  // A line 2 wide from x = 2 along y = 20.
  const Case cases[] = {
      {"solid", TStrokeDash::sdSolid, {}, {3, 8, 9, 16, 30}, {}},
      {"dash: 6 on, 2 off", TStrokeDash::sdDash, {}, {3, 7, 10, 15}, {8, 9, 16, 17}},
      {"dot: 2 on, 2 off", TStrokeDash::sdDot, {}, {2, 3, 6, 7}, {4, 5, 8, 9}},
      {"custom 2 1: 4 on, 2 off", TStrokeDash::sdCustom, {2, 1}, {2, 5, 8, 11}, {6, 7, 12, 13}},
  };
  for (const Case& c : cases) {
    root.DeleteChildren();
    TPath* p = Polyline({{2, 20}, {38, 20}}, 2);
    p->StrokeDash = c.dash;
    p->CustomDash = c.custom;
    const QImage img = Draw();
    for (int x : c.dark) EXPECT_TRUE(Probe(img, x, 20, Ink::Dark)) << c.what;
    for (int x : c.light) EXPECT_TRUE(Probe(img, x, 20, Ink::Light)) << c.what;
  }
}

TEST_F(Render, CapsAndJoinsShapeTheEndsAndCorners) {
  // Caps: a line 6 wide from 10,20 to 30,20; 8,20 lies before its start.
  TPath* line = Polyline({{10, 20}, {30, 20}}, 6);
  line->StrokeCap = TStrokeCap::scFlat;
  EXPECT_TRUE(Probe(Draw(), 8, 20, Ink::Light)) << "flat cap";
  line->StrokeCap = TStrokeCap::scRound;
  EXPECT_TRUE(Probe(Draw(), 8, 20, Ink::Dark)) << "round cap";

  // Joins: a right angle 10 wide at 25,15; the outer corner square is
  // 25..30 x 10..15. Its far corner 29,10 is only covered by a miter; 28,12
  // lies inside a round join and outside a bevel.
  root.DeleteChildren();
  TPath* corner = Polyline({{5, 15}, {25, 15}, {25, 35}}, 10);
  struct Case {
    TStrokeJoin join;
    Ink farCorner, nearCorner;
  };
  const Case cases[] = {
      {TStrokeJoin::sjMiter, Ink::Dark, Ink::Dark},
      {TStrokeJoin::sjRound, Ink::Light, Ink::Dark},
      {TStrokeJoin::sjBevel, Ink::Light, Ink::Light},
  };
  for (const Case& c : cases) {
    corner->StrokeJoin = c.join;
    const QImage img = Draw();
    EXPECT_TRUE(Probe(img, 29, 10, c.farCorner)) << "join " << int(c.join);
    EXPECT_TRUE(Probe(img, 28, 12, c.nearCorner)) << "join " << int(c.join);
  }
}

}  // namespace

// A shape that paints the whole picture opaquely hides everything before
// it, which the renderer then leaves out; every other kind of cover lets
// what lies below show through as before.
// Shapes in a half-transparent layer are drawn together: where they
// overlap the layer is as light as elsewhere; shapes each half transparent
// show the overlap darker. A mask's luminance scales what it lies over.
TEST_F(Render, LayersDrawTheirShapesTogether) {
  auto layer = std::make_shared<TDrawLayer>();
  layer->Opacity = 0.5f;
  for (float x : {2.0f, 6.0f}) FilledRect(nullptr, x, 2, 8, 4)->SetLayer(layer);  // overlap at x 6..10
  for (float x : {2.0f, 6.0f}) FilledRect(nullptr, x, 10, 8, 4)->SetOpacity(0.5f);
  auto masked = std::make_shared<TDrawLayer>();
  masked->Mask = std::make_shared<TControl>();
  auto* white = new TRectangle(masked->Mask.get());
  white->SetParent(masked->Mask.get());
  white->SetBounds(0, 0, 8, kSize);  // left of x = 8 only
  white->Fill.Color = TAlphaColors::White;
  white->Stroke.Kind = TBrushKind::bkNone;
  FilledRect(nullptr, 2, 15, 12, 3)->SetLayer(masked);
  const QImage img = Draw();
  EXPECT_NEAR(qGray(img.pixel(8, 4)), qGray(img.pixel(4, 4)), 2);  // the layer's overlap
  EXPECT_NEAR(qGray(img.pixel(4, 4)), 128, 4);
  EXPECT_LT(qGray(img.pixel(8, 12)), qGray(img.pixel(4, 12)) - 30);  // shapes on their own
  EXPECT_TRUE(Probe(img, 4, 16, Ink::Dark));                         // under white
  EXPECT_TRUE(Probe(img, 12, 16, Ink::Light));                       // outside the mask
}

// A layer's blend mixes its colours with what lies below: yellow over cyan.
TEST(RenderBlend, LayersBlendWithWhatLiesBelow) {
  const struct {
    TLayerBlend blend;
    QRgb expected;
  } cases[] = {
      {TLayerBlend::Normal, qRgb(255, 255, 0)},     {TLayerBlend::Multiply, qRgb(0, 255, 0)},
      {TLayerBlend::Screen, qRgb(255, 255, 255)},   {TLayerBlend::Difference, qRgb(255, 0, 255)},
      {TLayerBlend::Luminosity, qRgb(161, 255, 255)},
  };
  for (const auto& c : cases) {
    TControl root;
    root.SetSize(10, 10);
    for (TAlphaColor color : {0xFF00FFFFu, 0xFFFFFF00u}) {
      auto* square = new TRectangle(&root);
      square->SetParent(&root);
      square->SetBounds(0, 0, 10, 10);
      square->Fill.Color = color;
      square->Stroke.Kind = TBrushKind::bkNone;
    }
    auto layer = std::make_shared<TDrawLayer>();
    layer->Blend = c.blend;
    root.Children(1)->SetLayer(layer);
    const QImage img = RenderToImage(root, 10, 10, 0xFFFFFFFFu);
    const QRgb got = img.pixel(5, 5);
    EXPECT_NEAR(qRed(got), qRed(c.expected), 2) << LayerBlendName(c.blend);
    EXPECT_NEAR(qGreen(got), qGreen(c.expected), 2) << LayerBlendName(c.blend);
    EXPECT_NEAR(qBlue(got), qBlue(c.expected), 2) << LayerBlendName(c.blend);
  }
}

TEST(RenderCover, WhatAFullOpaqueCoverHidesIsLeftOutAndNothingElse) {
  struct Cover {
    const char* what;
    TAlphaColor fill;
    float opacity;
    bool hole;       // an even-odd hole in the middle
    float inset;     // the cover stops short of the picture's edge by this much
    QRgb middle;     // the pixel at (10, 10)
    QRgb corner;     // the pixel at (0, 0)
  };
  const Cover cases[] = {
      {"opaque and whole", 0xFF0000FFu, 1, false, 0, 0xFF0000FF, 0xFF0000FF},
      {"a hole shows the red below", 0xFF0000FFu, 1, true, 0, 0xFFFF0000, 0xFF0000FF},
      {"short of a corner", 0xFF0000FFu, 1, false, 1, 0xFF0000FF, 0xFFFF0000},
      {"translucent colour", 0x800000FFu, 1, false, 0, 0xFF7F0080, 0xFF7F0080},
      {"translucent shape", 0xFF0000FFu, 0.5f, false, 0, 0xFF7F0080, 0xFF7F0080},
  };
  for (const Cover& c : cases) {
    TControl root;
    root.SetSize(20, 20);
    auto* below = new TPath(&root);
    below->SetParent(&root);
    below->SetBounds(0, 0, 20, 20);
    below->Data.AddRectangle(TRectF(0, 0, 20, 20), 0, 0);
    below->Fill.Color = 0xFFFF0000u;
    below->Stroke.Kind = TBrushKind::bkNone;
    auto* cover = new TPath(&root);
    cover->SetParent(&root);
    cover->WrapMode = TPathWrapMode::pwOriginal;
    cover->SetBounds(0, 0, 20, 20);
    cover->Data.AddRectangle(TRectF(-5 + c.inset * 6, -5 + c.inset * 6, 25, 25), 0, 0);
    if (c.hole) cover->Data.AddRectangle(TRectF(8, 8, 12, 12), 0, 0);
    cover->Fill.Color = c.fill;
    cover->Stroke.Kind = TBrushKind::bkNone;
    cover->SetOpacity(c.opacity);
    const QImage img = RenderToImage(root, 20, 20, 0xFFFFFFFFu);
    auto near = [](QRgb a, QRgb b) {
      return std::abs(qRed(a) - qRed(b)) <= 2 && std::abs(qGreen(a) - qGreen(b)) <= 2 && std::abs(qBlue(a) - qBlue(b)) <= 2;
    };
    EXPECT_TRUE(near(img.pixel(10, 10), c.middle)) << c.what << ": " << std::hex << img.pixel(10, 10);
    EXPECT_TRUE(near(img.pixel(0, 0), c.corner)) << c.what << ": " << std::hex << img.pixel(0, 0);
  }
}

// Dotted lines: dashes of no length with round caps draw as dots.
TEST(RenderDash, EmptyDashesWithCapsAreDots) {
  for (TStrokeCap cap : {TStrokeCap::scRound, TStrokeCap::scFlat}) {
    TControl root;
    root.SetSize(40, 10);
    auto* line = new TPath(&root);
    line->SetParent(&root);
    line->WrapMode = TPathWrapMode::pwOriginal;
    line->SetBounds(0, 0, 40, 10);
    line->Data.MoveTo({5, 5});
    line->Data.LineTo({35, 5});
    line->Fill.Kind = TBrushKind::bkNone;
    line->Stroke.Color = 0xFF000000u;
    line->StrokeThickness = 4;
    line->StrokeCap = cap;
    line->SetCustomDash({0, 2.5f}, 0);  // a dot every 10 units
    const QImage img = RenderToImage(root, 40, 10, 0xFFFFFFFFu);
    const bool dots = cap == TStrokeCap::scRound;
    for (int x : {5, 15, 25}) EXPECT_EQ(qRed(img.pixel(x, 5)) < 64, dots) << x;
    for (int x : {10, 20, 30}) EXPECT_GT(qRed(img.pixel(x, 5)), 192) << x;
  }
}

// Subpaths of no length show their caps: a dot, a square, nothing for butt
// caps; a lone move draws nothing whatever the caps.
TEST(RenderDash, SubpathsOfNoLengthShowTheirCaps) {
  const struct {
    const char* what;
    TStrokeCap cap;
    bool lone;     // only a move, no segment
    bool drawn;    // the point itself
    bool corner;   // 3 units off in both directions: only a square reaches it
  } cases[] = {
      {"round", TStrokeCap::scRound, false, true, false},
      {"square", TStrokeCap::scSquare, false, true, true},
      {"butt", TStrokeCap::scFlat, false, false, false},
      {"a lone move", TStrokeCap::scSquare, true, false, false},
  };
  for (const auto& c : cases) {
    TControl root;
    root.SetSize(20, 20);
    auto* dot = new TPath(&root);
    dot->SetParent(&root);
    dot->WrapMode = TPathWrapMode::pwOriginal;
    dot->SetBounds(0, 0, 20, 20);
    dot->Data.MoveTo({10, 10});
    if (!c.lone) dot->Data.LineTo({10, 10});
    dot->Fill.Kind = TBrushKind::bkNone;
    dot->Stroke.Color = 0xFF000000u;
    dot->StrokeThickness = 8;
    dot->StrokeCap = c.cap;
    const QImage img = RenderToImage(root, 20, 20, 0xFFFFFFFFu);
    EXPECT_EQ(qRed(img.pixel(10, 10)) < 64, c.drawn) << c.what;
    EXPECT_EQ(qRed(img.pixel(13, 13)) < 64, c.corner) << c.what;
  }
}

// A large picture is drawn in bands at once; it comes out as one painter
// draws it, layers, pictures and shapes across the band borders included.
TEST(RenderBands, BandsDrawWhatOnePainterDraws) {
  TControl root;
  root.SetSize(1200, 900);
  auto layer = std::make_shared<TDrawLayer>();
  layer->Opacity = 0.5f;
  for (int i = 0; i < 200; ++i) {
    auto* shape = new TEllipse(&root);
    shape->SetParent(&root);
    shape->SetBounds(float((i * 53) % 1100), float((i * 97) % 800), 90, 70);
    shape->Fill.Color = 0xFF000000u | uint32_t(i * 2654435761u >> 8);
    shape->StrokeThickness = 3;
    if (i % 3 == 0) shape->SetLayer(layer);
  }
  auto* picture = new TImage(&root);
  picture->SetParent(&root);
  TBitmap pixels(300, 300);
  pixels.Clear(0xFF3366CCu);
  picture->Bitmap = pixels;
  picture->SetBounds(400, 300, 100, 400);  // shown smaller: the scaled copy is shared
  const QImage banded = RenderToImage(root, 1200, 900, 0xFFFFFFFFu);
  QImage whole(1200, 900, QImage::Format_RGB32);
  whole.fill(Qt::white);
  {
    QPainter painter(&whole);
    painter.setRenderHint(QPainter::Antialiasing, true);
    RenderControl(painter, root);
  }
  int differing = 0;
  for (int y = 0; y < 900; ++y)
    for (int x = 0; x < 1200; ++x) {
      const QRgb a = banded.pixel(x, y), b = whole.pixel(x, y);
      differing += std::abs(qRed(a) - qRed(b)) > 1 || std::abs(qGreen(a) - qGreen(b)) > 1 ||
                   std::abs(qBlue(a) - qBlue(b)) > 1;
    }
  EXPECT_EQ(differing, 0);
}
