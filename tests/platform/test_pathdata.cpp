// Path geometry: building commands, arcs, bounds, transforms, the textual
// form, and how TPath places its geometry in the shape rectangle.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "platform/PathData.h"
#include "platform/Shapes.h"
#include "tests/platform/GeometryAsserts.h"

using namespace karto;

namespace {

constexpr double kPi = 3.14159265358979323846;

using Points = std::vector<TPathPoint>;

TPathPoint M(float x, float y) { return {ppMoveTo, {x, y}}; }
TPathPoint L(float x, float y) { return {ppLineTo, {x, y}}; }
TPathPoint C(float x, float y) { return {ppCurveTo, {x, y}}; }
TPathPoint Z(float x, float y) { return {ppClose, {x, y}}; }

std::string Describe(const Points& pts) {
  std::string s;
  for (const TPathPoint& p : pts) {
    const char k = p.Kind == ppMoveTo    ? 'M'
                   : p.Kind == ppLineTo  ? 'L'
                   : p.Kind == ppCurveTo ? 'C'
                                         : 'Z';
    s += k + std::string(" ") + FloatToText(p.Point.X) + "," + FloatToText(p.Point.Y) + "  ";
  }
  return s;
}

::testing::AssertionResult SamePoints(const Points& got, const Points& want, float eps = 1e-4f) {
  bool same = got.size() == want.size();
  for (size_t i = 0; same && i < got.size(); ++i)
    same = got[i].Kind == want[i].Kind && std::fabs(got[i].Point.X - want[i].Point.X) <= eps &&
           std::fabs(got[i].Point.Y - want[i].Point.Y) <= eps;
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "\n  got  " << Describe(got) << "\n  want " << Describe(want);
}

// The points appended by op to a copy of base.
Points Appended(const TPathData& base, const std::function<void(TPathData&)>& op) {
  TPathData p = base;
  op(p);
  return Points(p.PointList().begin() + base.Count(), p.PointList().end());
}

// --- building ------------------------------------------------------------------

TEST(PathDataBuild, CurvesAreThreePointsAndCloseCarriesTheFigureStart) {
  TPathData p;
  p.MoveTo({1, 2});
  p.LineTo({3, 4});
  p.CurveTo({5, 6}, {7, 8}, {9, 10});
  p.ClosePath();
  p.MoveTo({20, 20});
  p.LineTo({30, 20});
  p.ClosePath();
  EXPECT_TRUE(SamePoints(p.PointList(), {M(1, 2), L(3, 4), C(5, 6), C(7, 8), C(9, 10), Z(1, 2),
                                         M(20, 20), L(30, 20), Z(20, 20)}));
  EXPECT_EQ(p.Count(), 9);
  EXPECT_EQ(p.LastPoint(), TPointF(20, 20));
  EXPECT_EQ(TPathData().LastPoint(), TPointF(0, 0));
}

TEST(PathDataBuild, RelativeFormsStartFromTheLastPoint) {
  // Every case starts from M 10,20 L 15,25.
  TPathData base;
  base.MoveTo({10, 20});
  base.LineTo({15, 25});
  TPathData closed = base;
  closed.ClosePath();  // the last point is the figure start, 10,20

  struct Case {
    const char* what;
    const TPathData& start;
    std::function<void(TPathData&)> op;
    Points want;
  };
  const Case cases[] = {
      {"move",
       base,
       [](TPathData& p) {
         p.MoveToRel({1, 2});
       },
       {M(16, 27)}},
      {"line",
       base,
       [](TPathData& p) {
         p.LineToRel({-5, 0});
       },
       {L(10, 25)}},
      {"horizontal", base, [](TPathData& p) { p.HLineToRel(5); }, {L(20, 25)}},
      {"vertical", base, [](TPathData& p) { p.VLineToRel(-5); }, {L(15, 20)}},
      {"curve",
       base,
       [](TPathData& p) {
         p.CurveToRel({1, 0}, {2, 1}, {3, 3});
       },
       {C(16, 25), C(17, 26), C(18, 28)}},
      {"smooth curve after a line",
       base,
       [](TPathData& p) {
         p.SmoothCurveToRel({2, 0}, {4, 4});
       },
       {C(15, 25), C(17, 25), C(19, 29)}},
      {"quadratic, as a cubic",
       base,
       [](TPathData& p) {
         p.QuadCurveToRel({3, -3}, {6, 0});
       },
       {C(17, 23), C(19, 23), C(21, 25)}},
      {"line after a close",
       closed,
       [](TPathData& p) {
         p.LineToRel({1, 1});
       },
       {L(11, 21)}},
      {"absolute horizontal", base, [](TPathData& p) { p.HLineTo(0); }, {L(0, 25)}},
      {"absolute vertical", base, [](TPathData& p) { p.VLineTo(0); }, {L(15, 0)}},
  };
  for (const Case& c : cases) EXPECT_TRUE(SamePoints(Appended(c.start, c.op), c.want)) << c.what;
  EXPECT_TRUE(SamePoints(Appended(TPathData(),
                                  [](TPathData& p) {
                                    p.MoveToRel({3, 4});
                                  }),
                         {M(3, 4)}));
}

TEST(PathDataBuild, SmoothCurveReflectsThePreviousControlOnlyAfterACurve) {
  // The previous segment ends at 10,10; the new curve is S 20,0 30,10.
  TPathData afterCurve;
  afterCurve.MoveTo({0, 0});
  afterCurve.CurveTo({2, 8}, {6, 4}, {10, 10});
  TPathData afterLine;
  afterLine.MoveTo({0, 0});
  afterLine.LineTo({10, 10});
  TPathData afterClose;
  afterClose.MoveTo({10, 10});
  afterClose.CurveTo({12, 0}, {20, 20}, {0, 0});
  afterClose.ClosePath();

  struct Case {
    const char* what;
    const TPathData& before;
    TPointF firstControl;
  };
  const Case cases[] = {
      {"after a curve: 6,4 reflected through 10,10", afterCurve, {14, 16}},
      {"after a line: the current point", afterLine, {10, 10}},
      {"after a close: the current point", afterClose, {10, 10}},
  };
  for (const Case& c : cases) {
    const Points got = Appended(c.before, [](TPathData& p) { p.SmoothCurveTo({20, 0}, {30, 10}); });
    const TPathPoint first{ppCurveTo, c.firstControl};
    EXPECT_TRUE(SamePoints(got, {first, C(20, 0), C(30, 10)})) << c.what;
  }
}

TEST(PathDataBuild, ShapesStartWhereTheirOutlineStarts) {
  TPathData e;
  e.AddEllipse({10, 20, 50, 40});
  ASSERT_EQ(e.Count(), 13);  // a move and four cubic quarters, not closed
  EXPECT_EQ(e.Points(0), M(10, 30));
  for (int i : {3, 6, 9, 12}) EXPECT_EQ(e.Points(i).Kind, ppCurveTo);
  EXPECT_TRUE(PointNear(e.Points(3).Point, {30, 20}));
  EXPECT_TRUE(PointNear(e.Points(6).Point, {50, 30}));
  EXPECT_TRUE(PointNear(e.Points(9).Point, {30, 40}));
  EXPECT_TRUE(PointNear(e.Points(12).Point, {10, 30}));
  EXPECT_TRUE(RectNear(e.GetBounds(), {10, 20, 50, 40}));

  TPathData r;
  r.AddRectangle({1, 2, 11, 7});
  EXPECT_TRUE(SamePoints(r.PointList(), {M(1, 2), L(11, 2), L(11, 7), L(1, 7), Z(1, 2)}));

  // Radii larger than half the size are cut down to it: the straight parts
  // vanish and the corners meet in the middle of each edge.
  TPathData round;
  round.AddRectangle({0, 0, 10, 20}, 50, 50);
  EXPECT_TRUE(RectNear(round.GetBounds(), {0, 0, 10, 20}));
  EXPECT_EQ(round.Points(0), M(5, 0));
  EXPECT_EQ(round.PointList().back(), Z(5, 0));
  for (const TPathPoint& p : round.PointList()) {
    if (p.Kind != ppLineTo) continue;
    EXPECT_TRUE(p.Point == TPointF(5, 0) || p.Point == TPointF(10, 10) ||
                p.Point == TPointF(5, 20) || p.Point == TPointF(0, 10))
        << p.Point.X << "," << p.Point.Y;
  }
}

// --- arcs ------------------------------------------------------------------------

TPointF CubicAt(TPointF p0, TPointF p1, TPointF p2, TPointF p3, double t) {
  const double u = 1 - t;
  const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
  return {float(a * p0.X + b * p1.X + c * p2.X + d * p3.X),
          float(a * p0.Y + b * p1.Y + c * p2.Y + d * p3.Y)};
}

struct ArcCase {
  float start;
  float sweep;
  int curves;
};

TEST(PathDataArc, SplitsIntoCurvesOfAtMostAQuarterTurnOnTheEllipse) {
  const TPointF centre{50, 40};
  const TPointF radius{30, 20};
  const ArcCase cases[] = {
      {0, 90, 1},   {0, 100, 2},  {0, 180, 2},   {0, 360, 4}, {30, 45, 1},
      {90, 270, 3}, {0, -180, 2}, {-45, -91, 2}, {200, 1, 1}, {10, 359, 4},
  };
  // Where an angle lands on the ellipse, in units of the radii from the centre.
  auto unit = [&](TPointF p) {
    return TPointF((p.X - centre.X) / radius.X, (p.Y - centre.Y) / radius.Y);
  };
  auto angleOf = [&](TPointF p) {
    const TPointF u = unit(p);
    return std::atan2(double(u.Y), double(u.X)) * 180 / kPi;
  };
  for (const ArcCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "start " << c.start << ", sweep " << c.sweep);
    TPathData p;
    p.AddArc(centre, radius, c.start, c.sweep);
    ASSERT_EQ(p.Count(), 1 + 3 * c.curves);
    EXPECT_EQ(p.Points(0).Kind, ppMoveTo);  // an empty path starts with a move
    const double a0 = c.start * kPi / 180, a1 = (c.start + c.sweep) * kPi / 180;
    EXPECT_TRUE(PointNear(
        p.Points(0).Point,
        {float(centre.X + radius.X * std::cos(a0)), float(centre.Y + radius.Y * std::sin(a0))},
        1e-3f));
    EXPECT_TRUE(PointNear(
        p.LastPoint(),
        {float(centre.X + radius.X * std::cos(a1)), float(centre.Y + radius.Y * std::sin(a1))},
        1e-3f));
    double turned = 0;
    for (int k = 0; k < c.curves; ++k) {
      const TPointF p0 = p.Points(3 * k).Point;
      const TPointF p1 = p.Points(3 * k + 1).Point, p2 = p.Points(3 * k + 2).Point,
                    p3 = p.Points(3 * k + 3).Point;
      EXPECT_EQ(p.Points(3 * k + 3).Kind, ppCurveTo);
      // Each piece turns in the sweep's direction, by at most 90 degrees.
      double step = angleOf(p3) - angleOf(p0);
      if (step > 180) step -= 360;
      if (step <= -180) step += 360;
      EXPECT_LE(std::fabs(step), 90 + 1e-3);
      EXPECT_GT(step * c.sweep, 0);
      turned += step;
      // The curve stays on the ellipse, ends included.
      for (double t : {0.0, 0.25, 0.5, 0.75, 1.0}) {
        const TPointF u = unit(CubicAt(p0, p1, p2, p3, t));
        EXPECT_NEAR(u.Length(), 1.0, 1e-3) << "piece " << k << " at t = " << t;
      }
    }
    EXPECT_NEAR(turned, c.sweep, 1e-2);
  }
}

TEST(PathDataArc, JoinsItsStartToTheCurrentPointWithALine) {
  TPathData p;
  p.MoveTo({0, 0});
  p.AddArc({10, 10}, {5, 5}, 180, 90);
  ASSERT_EQ(p.Count(), 5);
  EXPECT_EQ(p.Points(1).Kind, ppLineTo);
  EXPECT_TRUE(PointNear(p.Points(1).Point, {5, 10}));
  EXPECT_TRUE(PointNear(p.LastPoint(), {10, 5}));
}

// --- bounds and transforms ------------------------------------------------------------

TEST(PathDataBounds, CoverEveryPointIncludingControlPoints) {
  struct Case {
    const char* what;
    std::function<void(TPathData&)> build;
    TRectF bounds;
  };
  const Case cases[] = {
      {"empty", [](TPathData&) {}, {0, 0, 0, 0}},
      {"one point",
       [](TPathData& p) {
         p.MoveTo({5, 6});
       },
       {5, 6, 5, 6}},
      {"control points outside the curve",
       [](TPathData& p) {
         p.MoveTo({0, 0});
         p.CurveTo({10, -20}, {20, 30}, {30, 0});
       },
       {0, -20, 30, 30}},
      {"negative coordinates, two figures",
       [](TPathData& p) {
         p.MoveTo({-5, -7});
         p.LineTo({-1, -2});
         p.ClosePath();
         p.MoveTo({3, 4});
         p.LineTo({2, 9});
       },
       {-5, -7, 3, 9}},
  };
  for (const Case& c : cases) {
    TPathData p;
    c.build(p);
    EXPECT_TRUE(RectNear(p.GetBounds(), c.bounds)) << c.what;
  }
}

TEST(PathDataBounds, ScaleAndTranslateMoveEveryPointAndTheFigureStart) {
  TPathData p;
  p.MoveTo({1, 2});
  p.CurveTo({3, 4}, {5, 6}, {7, 8});
  p.Scale(2, 3);
  p.Translate(1, -1);
  p.ClosePath();  // returns to the moved start
  EXPECT_TRUE(SamePoints(p.PointList(), {M(3, 5), C(7, 11), C(11, 17), C(15, 23), Z(3, 5)}));
  EXPECT_TRUE(RectNear(p.GetBounds(), {3, 5, 15, 23}));
}

// --- textual form ----------------------------------------------------------------------

TEST(PathDataText, ReadsBackExactlyTheSamePoints) {
  struct Case {
    const char* what;
    std::function<void(TPathData&)> build;
  };
  const Case cases[] = {
      {"lines with awkward numbers",
       [](TPathData& p) {
         p.MoveTo({0.1f, 1.0f / 3});
         p.LineTo({-1e-7f, 123456.789f});
         p.LineTo({3.4e38f, -2.5e-30f});
         p.LineTo({-0.0f, 16777217.0f});
       }},
      {"curves, smooth curves and closes over several figures",
       [](TPathData& p) {
         p.MoveTo({10, 10});
         p.CurveTo({20, 0}, {30, 20.5f}, {40, 10});
         p.SmoothCurveTo({60, 0.7f}, {70, 10});
         p.ClosePath();
         p.MoveTo({-3, -3});
         p.QuadCurveTo({1, 9}, {5, 5});
         p.ClosePath();
         p.LineToRel({2, 2});  // after a close, from the figure start
       }},
      {"arcs, an ellipse and a rounded rectangle",
       [](TPathData& p) {
         p.AddArc({50, 40}, {30, 20}, 17, 250);
         p.AddEllipse({0.3f, 0.7f, 99.1f, 42.2f});
         p.AddRectangle({1, 1, 33.3f, 22.2f}, 4.4f, 2.2f);
       }},
      {"a curve with no move before it",
       [](TPathData& p) {
         p.CurveTo({1, 2}, {3, 4}, {5, 6});
       }},
      {"empty", [](TPathData&) {}},
  };
  for (const Case& c : cases) {
    TPathData p;
    c.build(p);
    TPathData q;
    q.MoveTo({99, 99});  // replaced by the text
    ASSERT_TRUE(q.SetData(p.Data())) << c.what << ": " << p.Data();
    EXPECT_TRUE(SamePoints(q.PointList(), p.PointList(), 0)) << c.what << ": " << p.Data();
    EXPECT_EQ(q, p) << c.what;
  }
}

TEST(PathDataText, ReadsSvgStylePathText) {
  struct Case {
    const char* text;
    Points want;
  };
  const Case cases[] = {
      {"M10 20L30 40", {M(10, 20), L(30, 40)}},
      {"M 1,2 3,4 5,6", {M(1, 2), L(3, 4), L(5, 6)}},  // pairs after a move are lines
      {"m 10,20 5,5 l 1 1", {M(10, 20), L(15, 25), L(16, 26)}},
      {"M 0,0 H 10 V 5 h -5 v -5 Z", {M(0, 0), L(10, 0), L(10, 5), L(5, 5), L(5, 0), Z(0, 0)}},
      {"M 0,0 C 1,1 2,2 3,3 S 5,5 6,6",
       {M(0, 0), C(1, 1), C(2, 2), C(3, 3), C(4, 4), C(5, 5), C(6, 6)}},
      {"M 0,0 c 1,1 2,2 3,3 s 2,2 3,3",
       {M(0, 0), C(1, 1), C(2, 2), C(3, 3), C(4, 4), C(5, 5), C(6, 6)}},
      {"M 0,0 Q 3,3 6,0", {M(0, 0), C(2, 2), C(4, 2), C(6, 0)}},
      {"M0,0L1e1,-2.5e-1 +3-4.5", {M(0, 0), L(10, -0.25f), L(3, -4.5f)}},
      {"M 1,1 L 2,2 z m 1,0 l 0,1", {M(1, 1), L(2, 2), Z(1, 1), M(2, 1), L(2, 2)}},
      {"  M\t1\n2 \r\n", {M(1, 2)}},
      {"", {}},
  };
  for (const Case& c : cases) {
    TPathData p;
    EXPECT_TRUE(p.SetData(c.text)) << c.text;
    EXPECT_TRUE(SamePoints(p.PointList(), c.want)) << c.text;
  }
}

TEST(PathDataText, BadTextStopsAndKeepsWhatCameBefore) {
  struct Case {
    const char* text;
    int kept;
  };
  const Case cases[] = {
      {"10,20", 0},                        // numbers without a command
      {"M 1,2 L 3", 1},                    // half a point
      {"M 1,2 L 3,4 5", 2},                // half a repeated point
      {"M 1,2 C 1,1 2,2", 1},              // a curve short of its end
      {"M 1,2 X 3,4", 1},                  // unknown command
      {"M 1,2 L a,b", 1},                  // not a number
      {"M 1,2 Z 3,4", 2},                  // numbers after a close
      {"M 1,2 L 3,4 A 1 1 0 0 1 5 5", 2},  // arcs are not part of the text form
  };
  for (const Case& c : cases) {
    TPathData p;
    EXPECT_FALSE(p.SetData(c.text)) << c.text;
    EXPECT_EQ(p.Count(), c.kept) << c.text;
  }
}

// --- TPath placement -----------------------------------------------------------------

// A 100 x 50 path whose data spans 10,10 .. 30,50; the point 20,50 sits in the
// middle of the bottom edge.
class PathWrap : public ::testing::Test {
 protected:
  void SetUp() override {
    path.SetSize(100, 50);
    path.Data.MoveTo({10, 10});
    path.Data.LineTo({30, 10});
    path.Data.LineTo({20, 50});
    path.Data.ClosePath();
  }
  TPath path;
};

TEST_F(PathWrap, StretchMapsTheBoundsOntoTheShapeRect) {
  struct Case {
    const char* what;
    TBrushKind stroke;
    float thickness;
    TRectF want;
  };
  const Case cases[] = {
      {"no stroke: the whole local rect", TBrushKind::bkNone, 4, {0, 0, 100, 50}},
      {"a stroke insets by half its thickness", TBrushKind::bkSolid, 4, {2, 2, 98, 48}},
      {"thin stroke", TBrushKind::bkSolid, 1, {0.5f, 0.5f, 99.5f, 49.5f}},
      {"gradient stroke", TBrushKind::bkGradient, 10, {5, 5, 95, 45}},
  };
  path.WrapMode = TPathWrapMode::pwStretch;
  for (const Case& c : cases) {
    path.Stroke.Kind = c.stroke;
    path.StrokeThickness = c.thickness;
    EXPECT_TRUE(RectNear(path.GetShapeRect(), c.want)) << c.what;
    const TPathData d = path.DrawingPath();
    EXPECT_TRUE(RectNear(d.GetBounds(), c.want)) << c.what;
    // Proportional placement inside: 20,50 is the middle of the bottom edge.
    EXPECT_TRUE(PointNear(d.Points(2).Point, {(c.want.Left + c.want.Right) / 2, c.want.Bottom}))
        << c.what;
    // The close point follows the figure start.
    EXPECT_TRUE(PointNear(d.Points(3).Point, c.want.TopLeft())) << c.what;
  }
  // The data itself is not touched.
  EXPECT_TRUE(RectNear(path.Data.GetBounds(), {10, 10, 30, 50}));
}

TEST_F(PathWrap, StretchCountsControlPointsAndOnlyMovesAFlatAxis) {
  path.Stroke.Kind = TBrushKind::bkNone;
  path.WrapMode = TPathWrapMode::pwStretch;

  path.Data.Clear();
  path.Data.MoveTo({0, 0});
  path.Data.CurveTo({5, -10}, {15, 10}, {20, 0});  // bounds 0,-10 .. 20,10
  EXPECT_TRUE(RectNear(path.DrawingPath().GetBounds(), {0, 0, 100, 50}));
  EXPECT_TRUE(PointNear(path.DrawingPath().Points(0).Point, {0, 25}));

  path.Data.Clear();
  path.Data.MoveTo({10, 5});
  path.Data.LineTo({30, 5});  // no height
  const TPathData d = path.DrawingPath();
  EXPECT_TRUE(PointNear(d.Points(0).Point, {0, 0}));
  EXPECT_TRUE(PointNear(d.Points(1).Point, {100, 0}));
}

TEST_F(PathWrap, OtherModesKeepProportionsOrPoints) {
  path.Stroke.Kind = TBrushKind::bkNone;
  path.WrapMode = TPathWrapMode::pwFit;  // 20 x 40 scaled by 1.25, centred
  EXPECT_TRUE(RectNear(path.DrawingPath().GetBounds(), {37.5f, 0, 62.5f, 50}));
  path.WrapMode = TPathWrapMode::pwOriginal;
  EXPECT_EQ(path.DrawingPath(), path.Data);
}

}  // namespace

// Whole and half numbers take a quicker road to text than other numbers;
// both give the shortest text that reads back, as the general conversion
// does.
TEST(FloatText, QuickWholeAndHalfNumbersMatchTheGeneralConversion) {
  std::vector<float> values = {0.0f, -0.0f, 0.5f, -0.5f, 1, -1, 2.5f, 10, 10000, 20000, 99999, 99999.5f, 100000, 100000.5f,
                               1e7f, -1e7f, 0.25f, 1.75f, 3.1f, 1e-7f, 16777216, -65535.5f};
  for (int i = -2000; i <= 2000; ++i) values.push_back(float(i) * 0.5f);
  for (int i = 1; i < 100000; i *= 3) values.push_back(float(i) + 0.5f);
  for (const float v : values) {
    char buf[32];
    const std::string general(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
    EXPECT_EQ(FloatToText(v), general) << v;
    std::string appended = "x";
    AppendFloatText(appended, v);
    EXPECT_EQ(appended, "x" + general) << v;
  }
}
