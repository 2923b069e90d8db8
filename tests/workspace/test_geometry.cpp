// The plane geometry the workspace picks, selects and snaps with.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "workspace/GeoUtils.h"

namespace karto {

TEST(GeoUtils, DistancesAndNearestPoints) {
  EXPECT_FLOAT_EQ(Distance(0, 0, 3, 4), 5);
  struct Case {
    float px, py, x1, y1, x2, y2;  // point, segment
    float nx, ny, dist;
  };
  const Case cases[] = {
      {5, 5, 0, 0, 10, 0, 5, 0, 5},      // above the middle
      {-3, 4, 0, 0, 10, 0, 0, 0, 5},     // behind the first end
      {13, 4, 0, 0, 10, 0, 10, 0, 5},    // beyond the second end
      {7, 7, 2, 2, 2, 2, 2, 2, 5 * std::sqrt(2.0f)},  // a segment of no length
      {0, 10, 0, 0, 10, 10, 5, 5, 5 * std::sqrt(2.0f)},
  };
  for (const Case& c : cases) {
    float nx = -1, ny = -1;
    NearestPointOnSegment(c.x1, c.y1, c.x2, c.y2, c.px, c.py, nx, ny);
    EXPECT_FLOAT_EQ(nx, c.nx) << c.px << "," << c.py;
    EXPECT_FLOAT_EQ(ny, c.ny) << c.px << "," << c.py;
    EXPECT_FLOAT_EQ(DistanceToSegment(c.px, c.py, c.x1, c.y1, c.x2, c.y2), c.dist);
    EXPECT_FLOAT_EQ(DistanceToSegment(TPointF(c.px, c.py), TLineF{c.x1, c.y1, c.x2, c.y2}), c.dist);
  }
}

TEST(GeoUtils, RectangleTestsTakeTheCornersInAnyOrder) {
  struct Case {
    float c1x, c1y, c2x, c2y;
  };
  // Down-right, up-left, up-right and down-left drags over the same square.
  const Case corners[] = {{0, 0, 10, 10}, {10, 10, 0, 0}, {0, 10, 10, 0}, {10, 0, 0, 10}};
  for (const Case& c : corners) {
    EXPECT_TRUE(PointInRect(5, 5, c.c1x, c.c1y, c.c2x, c.c2y));
    EXPECT_TRUE(PointInRect(0, 10, c.c1x, c.c1y, c.c2x, c.c2y));  // a corner
    EXPECT_TRUE(PointInRect(10, 4, c.c1x, c.c1y, c.c2x, c.c2y));  // an edge
    EXPECT_FALSE(PointInRect(10.5f, 4, c.c1x, c.c1y, c.c2x, c.c2y));
    EXPECT_TRUE(SegmentInRect(1, 1, 9, 9, c.c1x, c.c1y, c.c2x, c.c2y));
    EXPECT_FALSE(SegmentInRect(1, 1, 9, 11, c.c1x, c.c1y, c.c2x, c.c2y));
  }
}

TEST(GeoUtils, SegmentIntersections) {
  struct Case {
    TLineF a, b;
    bool hit;
    float x, y;
  };
  const Case cases[] = {
      {{0, 0, 10, 10}, {0, 10, 10, 0}, true, 5, 5},
      {{0, 0, 10, 0}, {10, 0, 10, 10}, true, 10, 0},  // touching ends count
      {{0, 0, 4, 0}, {5, 0, 9, 0}, false, 0, 0},      // ranges apart
      {{0, 0, 10, 0}, {5, 0, 15, 0}, true, 5, 0},     // collinear: B's start
      {{0, 0, 10, 0}, {0, 1, 10, 1}, false, 0, 0},    // parallel
      {{0, 0, 10, 0}, {12, -5, 12, 5}, false, 0, 0},  // would cross beyond A's end
      {{0, 0, 10, 0}, {3, 5, 3, 1}, false, 0, 0},     // would cross beyond B's end
      {{10, 10, 0, 0}, {10, 0, 0, 10}, true, 5, 5},   // both reversed
  };
  for (const Case& c : cases) {
    float x = -1, y = -1;
    EXPECT_EQ(SegmentIntersection(c.a, c.b, x, y), c.hit) << c.b.X1 << "," << c.b.Y1;
    if (c.hit) {
      EXPECT_FLOAT_EQ(x, c.x);
      EXPECT_FLOAT_EQ(y, c.y);
    }
  }
}

TEST(GeoUtils, TolerantComparisons) {
  const float t = kEqualityTolerance;
  EXPECT_TRUE(IsEqual(1e-12f, 1e-12f + t / 10));
  EXPECT_FALSE(NotEqual(0, t / 10));
  EXPECT_FALSE(IsEqual(0, 10 * t));
  EXPECT_TRUE(NotEqual(0, 10 * t));
  EXPECT_FALSE(NotEqual(0, 0));
  EXPECT_TRUE(IsEqual(1, 1.5f, 0.5f));
  EXPECT_FALSE(NotEqual(1, 1.5f, 0.5f));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_TRUE(IsEqual(nan, 1));
  EXPECT_FALSE(NotEqual(nan, 1));
}

TEST(GeoUtils, AFailedSelfCheckIsAnExceptionNotACrash) {
  // 1 - (-2^-30) rounds to 1 as a float but is above 1 unrounded: with a
  // tolerance of 1 the comparison and its check disagree.
  const float tiny = -std::ldexp(1.0f, -30);
  try {
    NotEqual(1.0f, tiny, 1.0f);
    ADD_FAILURE() << "no self-check failure";
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(std::string(e.what()).find("Error - Illogical error in equality check. (NotEqual)"), std::string::npos);
  }
  EXPECT_NO_THROW(IsEqual(1.0f, tiny, 1.0f));
}

TEST(FitRect, PlacesADrawingInAnArea) {
  struct Case {
    bool center, keep;
    float srcW, srcH, dstW, dstH, sx, sy;
    TRectF expected;
  };
  const Case cases[] = {
      // Wide drawing in a square: fitted to the width, centred vertically.
      {true, true, 2000, 1000, 500, 500, 0.25f, 0.5f, {0, 125, 500, 375}},
      // Tall drawing in a wide area: fitted to the height, centred across.
      {true, true, 100, 200, 400, 100, 1, 1, {175, 0, 225, 100}},
      // Without keeping proportions the scales decide; not centred: at 0, 0.
      {false, false, 200, 100, 500, 500, 0.5f, 2, {0, 0, 100, 200}},
      // Centred without fitting.
      {true, false, 100, 100, 300, 200, 1, 1, {100, 50, 200, 150}},
      // A drawing without height counts as square.
      {true, true, 100, 0, 200, 100, 1, 1, {50, 0, 150, 100}},
      // An area without height: no division by zero.
      {false, true, 100, 50, 200, 0, 1, 1, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const TRectF r = FitRect(c.center, c.keep, c.srcW, c.srcH, c.dstW, c.dstH, c.sx, c.sy);
    EXPECT_FLOAT_EQ(r.Left, c.expected.Left);
    EXPECT_FLOAT_EQ(r.Top, c.expected.Top);
    EXPECT_FLOAT_EQ(r.Right, c.expected.Right);
    EXPECT_FLOAT_EQ(r.Bottom, c.expected.Bottom);
  }
}

}  // namespace karto
