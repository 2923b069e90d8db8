// SVG path data: the grammar (implicit repetition, number and flag forms,
// separators), the current point after Z, the S/T reflection rules, arcs,
// errors that keep what came before, and a large path in one pass.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "svg/SVGPathData.h"

using namespace karto;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Expected points are written in TPathData's own text form
// ("M x,y L x,y C x,y x,y x,y Z"), which its SetData reads back.
TPathData Points(const std::string& text) {
  TPathData p;
  EXPECT_TRUE(p.SetData(text)) << text;
  return p;
}

std::string KindsAndPoints(const TPathData& p) { return p.Data(); }

::testing::AssertionResult SamePoints(const TPathData& got, const TPathData& want, float tolerance = 1e-4f) {
  bool same = got.Count() == want.Count();
  for (int i = 0; same && i < got.Count(); ++i) {
    const TPathPoint& a = got.Points(i);
    const TPathPoint& b = want.Points(i);
    same = a.Kind == b.Kind && std::fabs(a.Point.X - b.Point.X) <= tolerance &&
           std::fabs(a.Point.Y - b.Point.Y) <= tolerance;
  }
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got  " << KindsAndPoints(got) << "\nwant " << KindsAndPoints(want);
}

TPathData Parse(std::string_view d) {
  TPathData p;
  TPathDataError error;
  EXPECT_TRUE(ParseSVGPathData(d, p, &error)) << '"' << d << "\": " << error.Message;
  return p;
}

// --- grammar ----------------------------------------------------------------------------

TEST(PathDataGrammar, EquivalentForms) {
  const struct {
    const char* a;
    const char* b;
  } cases[] = {
      // implicit repetition; pairs after a moveto are linetos
      {"M10 20 30 40", "M10 20 L30 40"},
      {"m10 20 5 5", "M10 20 l5 5"},
      {"M0 0L1 1 2 2", "M0 0 L1 1 L2 2"},
      {"M0 0 H10 20", "M0 0 H10 H20"},
      {"M0 0 V10,20", "M0 0 V10 V20"},
      {"M0 0 C1 1 2 2 3 3 4 4 5 5 6 6", "M0 0 C1 1 2 2 3 3 C4 4 5 5 6 6"},
      {"M0 0 c1 1 2 2 3 3 1 1 2 2 3 3", "M0 0 C1 1 2 2 3 3 C4 4 5 5 6 6"},
      {"M0 0 Q1 1 2 2 3 3 4 4", "M0 0 Q1 1 2 2 Q3 3 4 4"},
      {"M0 0 a1 1 0 0 1 1 1 1 1 0 0 1 1 1", "M0 0 a1 1 0 0 1 1 1 a1 1 0 0 1 1 1"},
      // number forms
      {"M1e1 0", "M10 0"},
      {"M-1.5e+1-2E-1", "M-15 -0.2"},
      {"M.5.5", "M0.5 0.5"},
      {"M10-5", "M10 -5"},
      {"M+1+.5", "M1 0.5"},
      // separators: white space, one comma between numbers or groups, or none
      {"M0,0L10,10", "M0 0 L10 10"},
      {"M0 0 L 10 10 , 20 20", "M0 0 L10 10 L20 20"},
      {"\n\t M0 0 \r\f", "M0 0"},
      {"M0 0\tl1\n1", "M0 0 L1 1"},
      // arc flags are single characters
      {"M0 0 a1 1 0 00 1 1", "M0 0 a1 1 0 0 0 1 1"},
      {"M0 0 a1,1,0,0,1,1,1", "M0 0 a1 1 0 0 1 1 1"},
      {"M0 0 A1 1 0 112 0", "M0 0 A1 1 0 1 1 2 0"},
      {"M0 0 A1 1 0 1,1,2,0", "M0 0 A1 1 0 1 1 2 0"},
      // relative forms
      {"M0 0 q1 1 2 2", "M0 0 Q1 1 2 2"},
      {"M1 1 t2 2", "M1 1 T3 3"},
      {"M1 1 a5 5 0 0 1 2 0", "M1 1 A5 5 0 0 1 3 1"},
      {"m10 10 z m5 5 l1 0", "M10 10 Z M15 15 L16 15"},
  };
  for (const auto& c : cases) EXPECT_TRUE(SamePoints(Parse(c.a), Parse(c.b), 0)) << c.a << "  vs  " << c.b;
}

TEST(PathDataGrammar, Results) {
  const struct {
    const char* d;
    const char* points;
  } cases[] = {
      {"M0 0 H5 V6 h1 v1", "M 0,0 L 5,0 L 5,6 L 6,6 L 6,7"},
      {"m1 2 3 4", "M 1,2 L 4,6"},  // a leading m is absolute
      {"M1 2 m1 1", "M 1,2 M 2,3"},
      {"M0 0 Q3 6 6 0", "M 0,0 C 2,4 4,4 6,0"},
      // after Z the current point is the subpath start; drawing starts a new subpath there
      {"M0 0 L10 0 Z l5 5", "M 0,0 L 10,0 Z M 0,0 L 5,5"},
      {"M1 1 L10 0 z L5 5", "M 1,1 L 10,0 Z M 1,1 L 5,5"},
      {"M1 1 L10 0 z h5", "M 1,1 L 10,0 Z M 1,1 L 6,1"},
      {"M1 1 L10 0 z m1 1", "M 1,1 L 10,0 Z M 2,2"},
      {"M0 0 L1 0 Z Z", "M 0,0 L 1,0 Z"},
      {"", ""},
      {" \t\r\n\f", ""},
  };
  for (const auto& c : cases) EXPECT_TRUE(SamePoints(Parse(c.d), Points(c.points))) << '"' << c.d << '"';
}

TEST(PathDataGrammar, SubpathsStayInOnePathAndCloseCarriesTheirStart) {
  const TPathData p = Parse("M0 0 H10 V10 H0 Z M2 2 H8 V8 H2 Z");
  ASSERT_EQ(p.Count(), 10);
  const TPathPointKind kinds[] = {ppMoveTo, ppLineTo, ppLineTo, ppLineTo, ppClose,
                                  ppMoveTo, ppLineTo, ppLineTo, ppLineTo, ppClose};
  for (int i = 0; i < p.Count(); ++i) EXPECT_EQ(p.Points(i).Kind, kinds[i]) << i;
  EXPECT_EQ(p.Points(4).Point, TPointF(0, 0));
  EXPECT_EQ(p.Points(9).Point, TPointF(2, 2));
  EXPECT_EQ(p.LastPoint(), TPointF(2, 2));
}

TEST(PathDataGrammar, AppendsToWhatThePathHolds) {
  TPathData p;
  p.MoveTo({100, 100});
  p.LineTo({200, 100});
  ASSERT_TRUE(ParseSVGPathData("m1 1 l1 0 z", p));
  EXPECT_TRUE(SamePoints(p, Points("M 100,100 L 200,100 M 1,1 L 2,1 Z")));
  EXPECT_EQ(p.LastPoint(), TPointF(1, 1));
}

// --- smooth curves ----------------------------------------------------------------------

TEST(PathDataSmoothCurves, ReflectOnlyTheirOwnKindOfControlPoint) {
  const struct {
    const char* d;
    const char* points;
  } cases[] = {
      // S reflects the second control point only after C/c/S/s
      {"M0 0 C0 1 2 3 4 4 S8 4 8 0", "M 0,0 C 0,1 2,3 4,4 C 6,5 8,4 8,0"},
      {"M0 0 c0 1 2 3 4 4 s4 0 4 -4", "M 0,0 C 0,1 2,3 4,4 C 6,5 8,4 8,0"},
      {"M0 0 C0 1 2 3 4 4 S8 4 8 0 S12 0 12 4", "M 0,0 C 0,1 2,3 4,4 C 6,5 8,4 8,0 C 8,-4 12,0 12,4"},
      {"M0 0 L4 4 S8 4 8 0", "M 0,0 L 4,4 C 4,4 8,4 8,0"},
      {"M0 0 Q3 6 6 0 S9 3 12 0", "M 0,0 C 2,4 4,4 6,0 C 6,0 9,3 12,0"},
      {"M0 0 C0 1 2 3 4 4 Z S8 4 8 0", "M 0,0 C 0,1 2,3 4,4 Z M 0,0 C 0,0 8,4 8,0"},
      {"M0 0 C0 1 2 3 4 4 M4 4 S8 4 8 0", "M 0,0 C 0,1 2,3 4,4 M 4,4 C 4,4 8,4 8,0"},
      {"M0 0 S2 2 4 0", "M 0,0 C 0,0 2,2 4,0"},
      // T reflects the quadratic control point only after Q/q/T/t
      {"M0 0 Q3 6 6 0 T12 0", "M 0,0 C 2,4 4,4 6,0 C 8,-4 10,-4 12,0"},
      {"M0 0 q3 6 6 0 t6 0", "M 0,0 C 2,4 4,4 6,0 C 8,-4 10,-4 12,0"},
      {"M0 0 Q3 6 6 0 T12 0 T18 0", "M 0,0 C 2,4 4,4 6,0 C 8,-4 10,-4 12,0 C 14,4 16,4 18,0"},
      {"M0 0 T6 0", "M 0,0 C 0,0 2,0 6,0"},
      {"M0 0 C0 3 6 3 6 0 T12 0", "M 0,0 C 0,3 6,3 6,0 C 6,0 8,0 12,0"},
      {"M0 0 L6 0 T12 0", "M 0,0 L 6,0 C 6,0 8,0 12,0"},
  };
  for (const auto& c : cases) EXPECT_TRUE(SamePoints(Parse(c.d), Points(c.points))) << '"' << c.d << '"';

  // After an arc (stored as cubics too) S starts from the current point.
  const TPathData afterArc = Parse("M0 0 A3 3 0 0 1 6 0 S9 3 12 0");
  ASSERT_GE(afterArc.Count(), 4);
  EXPECT_EQ(afterArc.Points(afterArc.Count() - 3).Point, TPointF(6, 0));
}

// --- arcs -------------------------------------------------------------------------------

struct Cubic {
  TPointF p0, c1, c2, p3;
  TPointF At(double t) const {
    const double u = 1 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    return {float(a * p0.X + b * c1.X + c * c2.X + d * p3.X), float(a * p0.Y + b * c1.Y + c * c2.Y + d * p3.Y)};
  }
};

// The cubic segments of a path, each with the point it starts from.
std::vector<Cubic> Cubics(const TPathData& p) {
  std::vector<Cubic> out;
  TPointF current;
  for (int i = 0; i < p.Count(); ++i) {
    if (p.Points(i).Kind == ppCurveTo && i + 2 < p.Count()) {
      out.push_back({current, p.Points(i).Point, p.Points(i + 1).Point, p.Points(i + 2).Point});
      i += 2;
    }
    current = p.Points(i).Point;
  }
  return out;
}

struct Ellipse {
  double cx, cy, rx, ry, rotationDegrees;
  // 1 on the ellipse, below 1 inside.
  double Level(TPointF p) const {
    const double r = rotationDegrees * kPi / 180;
    const double dx = p.X - cx, dy = p.Y - cy;
    const double x = std::cos(r) * dx + std::sin(r) * dy, y = -std::sin(r) * dx + std::cos(r) * dy;
    return std::sqrt((x / rx) * (x / rx) + (y / ry) * (y / ry));
  }
};

TEST(PathDataArcs, PiecesLieOnTheEllipseAndPassTheMidpoint) {
  const double h = 10 * std::sqrt(0.5);  // 10 cos 45
  const struct {
    const char* d;
    Ellipse ellipse;  // after any scale-up of the radii
    int pieces;
    TPointF midpoint;  // the arc point halfway through its sweep
  } cases[] = {
      // the quarter circles between (10, 0) and (0, 10): flags choose centre and direction
      {"M10 0 A10 10 0 0 1 0 10", {0, 0, 10, 10, 0}, 1, {float(h), float(h)}},
      {"M10 0 A10 10 0 0 0 0 10", {10, 10, 10, 10, 0}, 1, {float(10 - h), float(10 - h)}},
      {"M10 0 A10 10 0 1 1 0 10", {10, 10, 10, 10, 0}, 3, {float(10 + h), float(10 + h)}},
      {"M10 0 A10 10 0 1 0 0 10", {0, 0, 10, 10, 0}, 3, {float(-h), float(-h)}},
      {"M10 0 a10 10 0 0 1 -10 10", {0, 0, 10, 10, 0}, 1, {float(h), float(h)}},
      {"M10 0 A-10 -10 0 0 1 0 10", {0, 0, 10, 10, 0}, 1, {float(h), float(h)}},  // radii by absolute value
      // a half circle is two pieces
      {"M0 0 A5 5 0 0 0 10 0", {5, 0, 5, 5, 0}, 2, {5, 5}},
      // radii too small grow until the end point is reached: the centre is the midpoint
      {"M0 0 A1 1 0 0 1 10 0", {5, 0, 5, 5, 0}, 2, {5, -5}},
      {"M0 0 A2 1 0 0 1 10 0", {5, 0, 5, 2.5, 0}, 2, {5, -2.5f}},
      {"M0 0 A1 2 90 0 1 10 0", {5, 0, 2.5, 5, 90}, 2, {5, -2.5f}},
      // a rotated ellipse about the origin from its parameter 0 to 90 degrees
      {"M17.320508 10 A20 10 30 0 1 -5 8.660254", {0, 0, 20, 10, 30}, 1, {8.711915f, 13.194792f}},
      {"M17.320508 10 A20 10 390 0 1 -5 8.660254", {0, 0, 20, 10, 30}, 1, {8.711915f, 13.194792f}},
  };
  for (const auto& c : cases) {
    const TPathData p = Parse(c.d);
    const std::vector<Cubic> cubics = Cubics(p);
    ASSERT_EQ(int(cubics.size()), c.pieces) << c.d;
    EXPECT_EQ(p.Count(), 1 + 3 * c.pieces) << c.d;
    for (const Cubic& cubic : cubics)
      for (double t : {0.0, 0.5, 1.0}) EXPECT_NEAR(c.ellipse.Level(cubic.At(t)), 1, 1e-4) << c.d << " t " << t;
    const TPointF mid = c.pieces % 2 ? cubics[size_t(c.pieces / 2)].At(0.5) : cubics[size_t(c.pieces / 2 - 1)].p3;
    EXPECT_NEAR(mid.X, c.midpoint.X, 1e-3) << c.d;
    EXPECT_NEAR(mid.Y, c.midpoint.Y, 1e-3) << c.d;
  }
}

TEST(PathDataArcs, DegenerateArcs) {
  const struct {
    const char* d;
    const char* points;
  } cases[] = {
      // a zero radius is a line
      {"M0 0 A0 5 0 0 1 10 0", "M 0,0 L 10,0"},
      {"M0 0 a5 0 0 1 0 10 0", "M 0,0 L 10,0"},
      // the end point equal to the start draws nothing
      {"M3 4 A5 5 0 0 1 3 4", "M 3,4"},
      {"M3 4 a5 5 0 1 1 0 0 l1 0", "M 3,4 L 4,4"},
  };
  for (const auto& c : cases) EXPECT_TRUE(SamePoints(Parse(c.d), Points(c.points), 0)) << '"' << c.d << '"';
}

TEST(PathDataArcs, AddSVGArcAppendsCubicsThatEndExactlyAtTheTarget) {
  TPathData p;
  p.MoveTo({10.1f, 0.3f});
  AddSVGArc(p, {10.1f, 0.3f}, 7, 3, 17, true, false, {-0.7f, 9.9f});
  ASSERT_GT(p.Count(), 1);
  EXPECT_EQ(p.Points(0).Kind, ppMoveTo);
  EXPECT_EQ((p.Count() - 1) % 3, 0);
  for (int i = 1; i < p.Count(); ++i) EXPECT_EQ(p.Points(i).Kind, ppCurveTo) << i;
  EXPECT_EQ(p.LastPoint(), TPointF(-0.7f, 9.9f));
}

// --- errors -----------------------------------------------------------------------------

TEST(PathDataErrors, StopAtTheFirstErrorAndKeepWhatCameBefore) {
  const struct {
    const char* d;
    const char* kept;
    size_t offset;
    const char* message;
  } cases[] = {
      {"M0 0 L10 0 L", "M 0,0 L 10,0", 12, "Path data: number expected after \"L\" at offset 12."},
      {"M0 0 L10 10 20", "M 0,0 L 10,10", 14, "Path data: number expected after \"L\" at offset 14."},
      {"M0 0 C1 1 2 2 3 3 4 4", "M 0,0 C 1,1 2,2 3,3", 21, "Path data: number expected after \"C\" at offset 21."},
      {"M0 0 L10,,10", "M 0,0", 9, "Path data: number expected after \"L\" at offset 9."},
      {"M0 0 L10 10,", "M 0,0 L 10,10", 12, "Path data: number expected after \"L\" at offset 12."},
      {"M0 0,L10 10", "M 0,0", 5, "Path data: number expected after \"M\" at offset 5."},
      {"M0 0 L.e5 1", "M 0,0", 6, "Path data: number expected after \"L\" at offset 6."},
      {"M1e 2", "", 2, "Path data: number expected after \"M\" at offset 2."},
      {"M0 0 L1e39 0", "M 0,0", 6, "Path data: number out of range after \"L\" at offset 6."},
      // the data must start with a moveto
      {"L10 10", "", 0, "Path data: \"M\" or \"m\" expected at offset 0."},
      {"  10 10", "", 2, "Path data: \"M\" or \"m\" expected at offset 2."},
      // unknown letters and stray characters
      {"M0 0 X5", "M 0,0", 5, "Path data: unknown command \"X\" at offset 5."},
      {"M0 0 L1 1 e", "M 0,0 L 1,1", 10, "Path data: unknown command \"e\" at offset 10."},
      {"M0 0 L10 10 #", "M 0,0 L 10,10", 12, "Path data: unexpected \"#\" at offset 12."},
      {"M0 0 L1 1\x01", "M 0,0 L 1,1", 9, "Path data: unexpected byte 0x01 at offset 9."},
      // arc flags
      {"M0 0 A1 1 0 2 0 5 5", "M 0,0", 12, "Path data: flag 0 or 1 expected after \"A\" at offset 12."},
      {"M0 0 a1 1 0 0", "M 0,0", 13, "Path data: flag 0 or 1 expected after \"a\" at offset 13."},
      {"M0 0 a1 1 0 0 .5 1 1", "M 0,0", 14, "Path data: flag 0 or 1 expected after \"a\" at offset 14."},
      // numbers after Z; a broken segment after Z leaves no stray moveto
      {"M0 0 Z 5 5", "M 0,0 Z", 7, "Path data: command expected after \"Z\" at offset 7."},
      {"M0 0 L1 1 Z L", "M 0,0 L 1,1 Z", 13, "Path data: number expected after \"L\" at offset 13."},
  };
  for (const auto& c : cases) {
    TPathData p;
    TPathDataError error;
    EXPECT_FALSE(ParseSVGPathData(c.d, p, &error)) << '"' << c.d << '"';
    EXPECT_TRUE(SamePoints(p, Points(c.kept), 0)) << '"' << c.d << '"';
    EXPECT_TRUE(error.Present) << '"' << c.d << '"';
    EXPECT_EQ(error.Offset, c.offset) << '"' << c.d << '"';
    EXPECT_EQ(error.Message, c.message) << '"' << c.d << '"';
    TPathData without;
    EXPECT_FALSE(ParseSVGPathData(c.d, without)) << '"' << c.d << '"';  // no error report asked for
    EXPECT_EQ(without, p) << '"' << c.d << '"';
  }
}

TEST(PathDataErrors, ASuccessfulParseClearsAnOldReport) {
  TPathData p;
  TPathDataError error{true, 5, "old"};
  EXPECT_TRUE(ParseSVGPathData("M0 0 L1 1", p, &error));
  EXPECT_FALSE(error.Present);
  EXPECT_EQ(error.Message, "");
}

// --- size -------------------------------------------------------------------------------

TEST(PathDataSize, AMegabytePathParsesInOnePass) {
  // Every piece closes its subpath, so the next one starts with a moveto.
  const std::string piece = " l1.5-2.25e-1h.5v-.5c1 2 3 4 5 6s1 1 2 2q1 1 2 0t2 0a1 2 0 00 3 1z";
  std::string d = "M0 0";
  int pieces = 0;
  while (d.size() < (1u << 20)) {
    d += piece;
    ++pieces;
  }
  TPathData p;
  TPathDataError error;
  ASSERT_TRUE(ParseSVGPathData(d, p, &error)) << error.Message;
  int moves = 0, closes = 0;
  for (const TPathPoint& point : p.PointList()) {
    moves += point.Kind == ppMoveTo;
    closes += point.Kind == ppClose;
  }
  EXPECT_EQ(moves, pieces);
  EXPECT_EQ(closes, pieces);
}

}  // namespace
