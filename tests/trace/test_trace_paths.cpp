// Path tracing on small drawn pictures: where paths start, how they walk,
// measure, end and centre, what they claim and paint, and highlighting.

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "tests/trace/TraceFixtures.h"
#include "trace/ImgTrace.h"

using namespace karto;
using namespace karto::tracetest;

namespace {

using Hist = TImgTrace::WidthHistogram;

// --- Whole traces ---------------------------------------------------------------

TEST(TracePaths, NeedsElevenDarkPixels) {
  for (const int count : {10, 11}) {
    SCOPED_TRACE(count);
    TBitmap b = White(30, 10);
    Fill(b, 3, 5, count, 1);
    TImgTrace t(&b, nullptr, 127);
    ASSERT_EQ(t.GetPixelCount(), count);
    const bool traced = t.DoTrace();
    EXPECT_EQ(traced, count == 11);
    if (count == 10) {
      EXPECT_EQ(t.GetListOfTraceObjects(), nullptr);
      EXPECT_EQ(b.Pixel(3, 5), kBlack);  // nothing repainted
    } else {
      ASSERT_EQ(PathCount(t), 1);
      EXPECT_EQ(PathAt(t, 0).m_iPixelCntPath, 11);
    }
  }
}

TEST(TracePaths, OnePixelLineBecomesOneCentredPath) {
  TBitmap b = White(40, 10);
  Fill(b, 5, 4, 30, 1);
  // The origin's colours differ per column, so the colour taken is known.
  TBitmap origin(40, 10);
  for (int x = 0; x < 40; ++x) Fill(origin, x, 0, 1, 10, MakeColor(uint8_t(x), 100, 200));
  TImgTrace t(&b, &origin, 127);
  ASSERT_TRUE(t.DoTrace());
  ASSERT_EQ(PathCount(t), 1);
  const TTracePath& path = PathAt(t, 0);
  ASSERT_EQ(path.m_iPixelCntPath, 30);
  ASSERT_EQ(path.m_iLastIdx, 29);
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(path.m_arPt[size_t(i)].x, float(5 + i));
    EXPECT_EQ(path.m_arPt[size_t(i)].y, 4.0f);
    EXPECT_EQ(path.m_arDirs[size_t(i)], Direction::DIR000);
  }
  EXPECT_EQ(path.m_bLineWidth, 1);
  EXPECT_EQ(path.m_enPathType, PathType::PATH_NONE);
  EXPECT_EQ(path.m_oMinPnt.x, 5.0f);
  EXPECT_EQ(path.m_oMinPnt.y, 4.0f);
  EXPECT_EQ(path.m_oMaxPnt.x, 34.0f);
  EXPECT_EQ(path.m_oMaxPnt.y, 4.0f);
  EXPECT_EQ(path.m_oGreyColor, kBlack);
  EXPECT_EQ(path.m_oRealColor, MakeColor(34, 100, 200));
  for (int x = 5; x < 35; ++x) {
    EXPECT_EQ(StateAt(t, x, 4), PixelState::LINECENTER) << x;
    EXPECT_EQ(InfoAt(t, x, 4).TraceObjIdx, 0);
    EXPECT_EQ(b.Pixel(x, 4), kBlue) << x;
  }
  EXPECT_EQ(b.Pixel(4, 4), kWhite);
  EXPECT_EQ(b.Pixel(5, 5), kWhite);
}

// The path walks the bar's top row and steps down its last column; every
// point then moves onto the middle row and widening takes the rest.
TEST(TracePaths, FiveRowBarIsWalkedAlongItsTopAndCentredOnItsMiddleRow) {
  TBitmap b = White(40, 12);
  Fill(b, 5, 3, 30, 5);
  TImgTrace t(&b, nullptr, 127);
  ASSERT_TRUE(t.DoTrace());
  ASSERT_EQ(PathCount(t), 1);
  const TTracePath& path = PathAt(t, 0);
  ASSERT_EQ(path.m_iPixelCntPath, 34);  // 30 along the top, 4 down the end
  for (int i = 0; i <= path.m_iLastIdx; ++i) {
    EXPECT_EQ(path.m_arPt[size_t(i)].y, 5.0f) << i;
    EXPECT_EQ(path.m_arPt[size_t(i)].x, float(i < 30 ? 5 + i : 34)) << i;
    EXPECT_EQ(path.m_arDirs[size_t(i)], Direction::DIR000);
  }
  EXPECT_EQ(path.m_bLineWidth, 5);
  // The box is the walked one.
  EXPECT_EQ(path.m_oMinPnt.y, 3.0f);
  EXPECT_EQ(path.m_oMaxPnt.x, 34.0f);
  EXPECT_EQ(path.m_oMaxPnt.y, 7.0f);
  for (int y = 3; y < 8; ++y)
    for (int x = 5; x < 35; ++x) {
      const PixelState want = y == 5 ? PixelState::LINECENTER : PixelState::LINEPART;
      EXPECT_EQ(StateAt(t, x, y), want) << x << "," << y;
      EXPECT_EQ(b.Pixel(x, y), STATE_COLORS[size_t(want)]) << x << "," << y;
    }
}

// The same bar standing upright, entered from a single pixel on top of its
// right edge: the walk goes down the right column (so the stroke lies on
// the minus side), then west along the bottom row; the centre is the
// middle column, and widening on the minus side reaches the left column.
TEST(TracePaths, UprightBarIsCentredOnItsMiddleColumn) {
  TBitmap b = White(25, 35);
  b.SetPixel(14, 0, kBlack);
  Fill(b, 10, 1, 5, 30);
  TImgTrace t(&b, nullptr, 127);
  ASSERT_TRUE(t.DoTrace());
  ASSERT_EQ(PathCount(t), 1);
  const TTracePath& path = PathAt(t, 0);
  ASSERT_EQ(path.m_iPixelCntPath, 35);  // 31 down the right column, 4 along the bottom
  EXPECT_EQ(path.m_arDirs[0], Direction::DIR270);
  EXPECT_EQ(path.m_arPt[0].x, 14.0f);
  for (int i = 1; i <= path.m_iLastIdx; ++i) EXPECT_EQ(path.m_arPt[size_t(i)].x, 12.0f) << i;
  EXPECT_EQ(path.m_bLineWidth, 5);
  for (int y = 1; y < 31; ++y)
    for (int x = 10; x < 15; ++x) {
      EXPECT_EQ(StateAt(t, x, y), x == 12 ? PixelState::LINECENTER : PixelState::LINEPART) << x << "," << y;
      EXPECT_EQ(InfoAt(t, x, y).TraceObjIdx, 0);
    }
}

// Walking south-west, two of the sideways candidates are the walker's own
// pixel; they are passed over, and straight down comes before left.
TEST(TracePaths, DiagonalWalkPassesOverItsOwnPixel) {
  TBitmap b = White(30, 30);
  for (int i = 0; i < 16; ++i) b.SetPixel(20 - i, 5 + i, kBlack);
  b.SetPixel(5, 21, kBlack);  // below the lower end
  b.SetPixel(4, 20, kBlack);  // left of it
  TImgTrace t(&b, nullptr, 127);
  ASSERT_TRUE(t.DoTrace());
  const TTracePath& path = PathAt(t, 0);
  EXPECT_EQ(path.m_arDirs[0], Direction::DIR225);
  EXPECT_EQ(path.m_iPixelCntPath, 17);
  // The walked box ends at the pixel below, not at the one to the left.
  EXPECT_EQ(path.m_oMaxPnt.y, 21.0f);
  EXPECT_EQ(path.m_oMinPnt.x, 5.0f);
}

TEST(TracePaths, ShortWalkIsDroppedButKeepsItsPixelsForTheNextPath) {
  TBitmap b = White(40, 30);
  Fill(b, 2, 2, 3, 1);    // three pixels: too short
  Fill(b, 5, 20, 30, 1);  // the first kept path
  TImgTrace t(&b, nullptr, 127);
  ASSERT_TRUE(t.DoTrace());
  ASSERT_EQ(PathCount(t), 1);
  EXPECT_EQ(PathAt(t, 0).m_arPt[0].y, 20.0f);
  for (int x = 2; x < 5; ++x) {
    EXPECT_EQ(StateAt(t, x, 2), PixelState::LINEPART);
    EXPECT_EQ(InfoAt(t, x, 2).TraceObjIdx, 0);
    EXPECT_EQ(b.Pixel(x, 2), kLightBlue);
  }
  EXPECT_EQ(InfoAt(t, 5, 20).TraceObjIdx, 0);
}

// The grey may change by 5 in the red channel from one step to the next; a
// larger step ends the path and the rest becomes a path of its own, which
// walks on east (the claimed pixels to its west count for nothing).
TEST(TracePaths, GreyStepEndsThePath) {
  struct Case {
    int step;
    std::vector<int> points;
  };
  const Case cases[] = {{5, {30}}, {6, {15, 15}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    TBitmap b = White(40, 10);
    Fill(b, 5, 4, 15, 1, Grey(0x10));
    Fill(b, 20, 4, 15, 1, Grey(0x10 + c.step));
    TImgTrace t(&b, nullptr, 127);
    ASSERT_TRUE(t.DoTrace());
    ASSERT_EQ(PathCount(t), int(c.points.size()));
    for (size_t i = 0; i < c.points.size(); ++i) {
      const TTracePath& path = PathAt(t, int(i));
      EXPECT_EQ(path.m_iPixelCntPath, c.points[i]) << i;
      EXPECT_EQ(path.m_arDirs[0], Direction::DIR000);
      EXPECT_EQ(path.m_arPt[0].x, i == 0 ? 5.0f : 20.0f);
    }
  }
}

// A stroke that thickens: from the 21st point on, a width more than 2 away
// from the usual one ends the path; before that any width is taken.
TEST(TracePaths, StrokeThatWidensAfterTwentyPointsEndsThere) {
  struct Case {
    int thin;       // length of the one-pixel part
    int extraRows;  // rows below the line in the 20-pixel thick part
    float lastX;    // where the first path's walk ends
  };
  const Case cases[] = {
      {25, 3, 26},  // width 4 against 1: ends after the thin part
      {25, 2, 46},  // width 3 against 1: within the tolerance
      {10, 3, 31},  // widens before the check starts
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.thin << " + " << c.extraRows);
    TBitmap b = White(60, 12);
    Fill(b, 2, 3, c.thin, 1);
    Fill(b, 2 + c.thin, 3, 20, 1 + c.extraRows);
    TImgTrace t(&b, nullptr, 127);
    ASSERT_TRUE(t.DoTrace());
    const TTracePath& first = PathAt(t, 0);
    EXPECT_EQ(first.m_oMinPnt.x, 2.0f);
    EXPECT_EQ(first.m_oMaxPnt.x, c.lastX);
    if (c.lastX == 26) {
      EXPECT_EQ(first.m_iPixelCntPath, 25);
    }
  }
}

TEST(TracePaths, IsolatedPixelNeverStartsAPath) {
  TBitmap b = White(60, 50);
  Fill(b, 5, 5, 30, 1);
  b.SetPixel(50, 40, Grey(0x40));
  TImgTrace t(&b, nullptr, 127);
  ASSERT_TRUE(t.DoTrace());
  EXPECT_EQ(PathCount(t), 1);
  EXPECT_EQ(StateAt(t, 50, 40), PixelState::NONE);
  EXPECT_EQ(InfoAt(t, 50, 40).TraceObjIdx, -1);
  EXPECT_EQ(b.Pixel(50, 40), Grey(0x40));
}

// One light row between two lines is bridged by the width measurement, two
// are not. Neither line's centre moves (the sides differ by at most one).
TEST(TracePaths, ParallelLinesOneAndTwoRowsApart) {
  for (const int gap : {1, 2}) {
    SCOPED_TRACE(gap);
    const int rowA = 4, rowB = 4 + gap + 1;
    TBitmap b = White(40, 15);
    Fill(b, 5, rowA, 30, 1);
    Fill(b, 5, rowB, 30, 1);
    TImgTrace t(&b, nullptr, 127);
    ASSERT_TRUE(t.DoTrace());
    ASSERT_EQ(PathCount(t), 2);
    for (int i = 0; i < 2; ++i) {
      const TTracePath& path = PathAt(t, i);
      EXPECT_EQ(path.m_bLineWidth, gap == 1 ? 2 : 1) << i;
      EXPECT_EQ(path.m_iPixelCntPath, 30) << i;
      for (const TTraceObj::Point& p : path.m_arPt) EXPECT_EQ(p.y, float(i == 0 ? rowA : rowB));
    }
  }
}

// A centre that jumps several rows from the previous one is joined to it by
// centre pixels: here a thin line runs into a ten-row block whose centre row
// lies five rows lower.
TEST(TracePaths, CentreJumpIsFilledWithCentrePixels) {
  TBitmap b = White(40, 20);
  Fill(b, 2, 2, 5, 1);
  Fill(b, 7, 2, 6, 10);
  TImgTrace t(&b, nullptr, 127);
  ASSERT_TRUE(t.DoTrace());
  const TTracePath& path = PathAt(t, 0);
  ASSERT_GE(path.m_iLastIdx, 5);
  EXPECT_EQ(path.m_arPt[4].y, 2.0f);
  EXPECT_EQ(path.m_arPt[5].x, 7.0f);
  EXPECT_EQ(path.m_arPt[5].y, 7.0f);
  EXPECT_EQ(StateAt(t, 7, 5), PixelState::LINECENTER);
  EXPECT_EQ(StateAt(t, 7, 6), PixelState::LINECENTER);
  EXPECT_EQ(b.Pixel(7, 5), kBlue);
  // The next column's centre is beside the previous one: no filling.
  EXPECT_EQ(StateAt(t, 8, 5), PixelState::LINEPART);
}

// --- Single decisions --------------------------------------------------------------

// Arms of dark pixels from a centre pixel; the start direction goes where
// the arms' census words sum highest, ties to the higher priority.
TEST(TraceSteps, StartDirectionScoresAndTies) {
  struct Arm {
    Direction dir;
    std::vector<int> at;  // distances from the centre
  };
  struct Case {
    const char* what;
    std::vector<Arm> arms;
    std::optional<Direction> want;
  };
  using D = Direction;
  const std::vector<int> five = {1, 2, 3, 4, 5};
  const Case cases[] = {
      // Equal arms: the preference order east, south, south-east,
      // south-west, west, north, north-east, north-west.
      {"east-south", {{D::DIR000, five}, {D::DIR270, five}}, D::DIR000},
      {"south-southeast", {{D::DIR270, five}, {D::DIR315, five}}, D::DIR270},
      {"southeast-southwest", {{D::DIR315, five}, {D::DIR225, five}}, D::DIR315},
      {"southwest-west", {{D::DIR225, five}, {D::DIR180, five}}, D::DIR225},
      {"west-north", {{D::DIR180, five}, {D::DIR090, five}}, D::DIR180},
      {"north-northeast", {{D::DIR090, five}, {D::DIR045, five}}, D::DIR090},
      {"northeast-northwest", {{D::DIR045, five}, {D::DIR135, five}}, D::DIR045},
      // Reach outweighs numbers: one pixel 5 away beats three adjacent ones.
      {"far beats near", {{D::DIR000, {1, 2, 3}}, {D::DIR270, {5}}}, D::DIR270},
      {"longer arm", {{D::DIR135, {1, 2, 3, 4, 5, 6}}, {D::DIR000, five}}, D::DIR135},
      {"nothing in reach", {{D::DIR000, {13}}}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TBitmap b = White(61, 61);
    b.SetPixel(30, 30, kBlack);
    for (const Arm& arm : c.arms)
      for (const int s : arm.at) b.SetPixel(30 + s * DirDx(arm.dir), 30 + s * DirDy(arm.dir), kBlack);
    TImgTrace t(&b, nullptr, 127);
    EXPECT_EQ(t.FindStartDirection(t.PixelIndexAt(30, 30)), c.want);
  }
}

// Walking east from (10, 10) the candidates come in this order: straight
// on; then with the neighbouring directions south-east and north-east the
// patterns (0,1), (1,0), (1,1), (2,1), (1,2). (1,0) repeats straight on.
// With candidates i, i+1, ... dark the walk takes candidate i.
TEST(TraceSteps, NextPixelCandidateOrder) {
  const int order[][2] = {{11, 10}, {10, 11}, {10, 9},  {11, 11}, {11, 9},
                          {12, 11}, {12, 9},  {11, 12}, {11, 8}};
  const int n = int(sizeof order / sizeof order[0]);
  for (int first = 0; first <= n; ++first) {
    SCOPED_TRACE(first);
    TBitmap b = White(21, 21);
    b.SetPixel(10, 10, kBlack);
    for (int j = first; j < n; ++j) b.SetPixel(order[j][0], order[j][1], kBlack);
    TImgTrace t(&b, nullptr, 127);
    TTracePath path;
    int x = 10, y = 10, idx = t.PixelIndexAt(10, 10);
    const bool found = t.NextPathPixel(x, y, idx, Direction::DIR000, path);
    EXPECT_EQ(found, first < n);
    if (first < n) {
      EXPECT_EQ(x, order[first][0]);
      EXPECT_EQ(y, order[first][1]);
      EXPECT_EQ(idx, t.PixelIndexAt(x, y));
      EXPECT_EQ(path.m_arCntDirs[size_t(Direction::DIR000)], 1u);
    } else {
      EXPECT_EQ(x, 10);
      EXPECT_EQ(path.m_arCntDirs[size_t(Direction::DIR000)], 0u);
    }
  }
  // From a light position there is no next pixel.
  TBitmap b = White(5, 5);
  b.SetPixel(3, 2, kBlack);
  TImgTrace t(&b, nullptr, 127);
  TTracePath path;
  int x = 2, y = 2, idx = -1;
  EXPECT_FALSE(t.NextPathPixel(x, y, idx, Direction::DIR000, path));
}

TEST(TraceSteps, MostFrequentWidth) {
  struct Case {
    std::vector<std::pair<int, int>> counts;  // width, count
    int want;
  };
  const Case cases[] = {
      {{}, 0},
      {{{0, 100}}, 0},          // no extent never counts
      {{{3, 6}}, 3},
      {{{3, 5}}, 0},            // needs more than five
      {{{2, 6}, {4, 6}}, 2},    // the lower width on equal counts
      {{{2, 6}, {4, 7}}, 4},
      {{{20, 9}, {0, 50}}, 20},
  };
  for (const Case& c : cases) {
    Hist h{};
    for (const auto& wc : c.counts) h[size_t(wc.first)] = wc.second;
    EXPECT_EQ(TImgTrace::MostFrequentWidth(h), c.want) << testing::PrintToString(c.counts);
  }
}

// A column through the measured pixel 'o', top to bottom; walking east the
// plus side is downwards.
TEST(TraceSteps, StrokeWidthAcrossTheWalk) {
  struct Case {
    const char* column;
    int plus, minus, width;
    int rawPlus, rawMinus;  // the sides before the width cap, as the histograms hold them
  };
  const Case cases[] = {
      {"o", 0, 0, 1, 0, 0},
      {"o####", 4, 0, 5, 4, 0},
      {"o#.#", 2, 0, 3, 2, 0},   // one light pixel is bridged
      {"o#..#", 1, 0, 2, 1, 0},   // a second one ends the ray
      {"#.#o", 0, 2, 3, 0, 2},   // the minus side bridges alike
      {"o##########", 9, 0, 10, 9, 0},   // rays are 9 pixels long
      {"#########o#########", 9, 9, 10, 9, 9},   // too wide, equal sides stay
      {"##o#########", 7, 2, 10, 9, 2},   // too wide: the longer side gives way
      {"#########o##", 2, 7, 10, 2, 9},   // ... on either side
  };
  for (const Case& c : cases) {
    const std::string column = c.column;
    SCOPED_TRACE(column);
    const int h = int(column.size()), y = int(column.find('o'));
    TBitmap b = White(11, h);
    for (int i = 0; i < h; ++i)
      if (column[size_t(i)] != '.') b.SetPixel(5, i, kBlack);
    TImgTrace t(&b, nullptr, 127);
    // Opposite walking directions measure along the same line.
    for (const Direction dir : {Direction::DIR000, Direction::DIR180}) {
      Hist hp{}, hm{};
      const TImgTrace::StrokeMeasure m = t.MeasureStrokeWidth(1, 5, y, dir, hp, hm);
      EXPECT_EQ(m.plus, c.plus);
      EXPECT_EQ(m.minus, c.minus);
      EXPECT_EQ(m.width, c.width);
      EXPECT_TRUE(m.verdict);
      EXPECT_EQ(hp[size_t(c.rawPlus)], 1);
      EXPECT_EQ(hm[size_t(c.rawMinus)], 1);
    }
  }
  // A light position measures nothing.
  TBitmap b = White(5, 5);
  TImgTrace t(&b, nullptr, 127);
  Hist hp{}, hm{};
  const TImgTrace::StrokeMeasure m = t.MeasureStrokeWidth(30, 2, 2, Direction::DIR000, hp, hm);
  EXPECT_TRUE(m.verdict);
  EXPECT_EQ(m.width, 0);
  EXPECT_EQ(hp, Hist{});
}

// The usual width here is 2 (one pixel on the plus side, six times); the
// check starts with the 21st point and allows a difference of 2.
TEST(TraceSteps, WidthVerdictFromTheTwentyFirstPoint) {
  struct Case {
    int count, rows;
    bool verdict;
  };
  const Case cases[] = {
      {21, 1, true}, {21, 4, true}, {21, 5, false}, {20, 5, true}, {20, 9, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "count " << c.count << " rows " << c.rows);
    TBitmap b = White(10, 12);
    Fill(b, 5, 0, 1, c.rows);
    TImgTrace t(&b, nullptr, 127);
    Hist hp{}, hm{};
    hp[1] = 6;
    const TImgTrace::StrokeMeasure m = t.MeasureStrokeWidth(c.count, 5, 0, Direction::DIR000, hp, hm);
    EXPECT_EQ(m.verdict, c.verdict);
    EXPECT_EQ(hp[size_t(c.rows - 1)], c.rows == 2 ? 7 : 1);  // counted either way
  }
}

// The stroke across a point: plus pixels on the side of the perpendicular,
// minus pixels on the other; the point moves by s along the perpendicular.
TEST(TraceSteps, CentreOfAPoint) {
  struct Case {
    Direction dir;
    int plus, minus;  // dark pixels drawn on each side
    int s, outPlus, outMinus;
  };
  using D = Direction;
  const Case cases[] = {
      {D::DIR000, 0, 0, 0, 0, 0},
      {D::DIR000, 1, 0, 0, 1, 0},
      {D::DIR000, 2, 1, 0, 2, 1},
      {D::DIR000, 4, 0, 2, 2, 2},
      {D::DIR000, 3, 0, 2, 1, 2},   // halves go to the larger side
      {D::DIR000, 0, 3, -2, 2, 1},
      {D::DIR000, 5, 2, 2, 3, 4},
      {D::DIR000, 2, 5, -1, 3, 4},
      {D::DIR000, 9, 2, 3, 4, 5},   // 9 is first cut to 7 by the width cap
      {D::DIR045, 4, 0, 2, 2, 2},   // across a diagonal walk
      {D::DIR090, 0, 3, -2, 2, 1},  // across a vertical walk
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "dir " << int(c.dir) << " P " << c.plus << " M " << c.minus);
    const Direction p = PERPENDICULAR_DIR[size_t(c.dir)];
    const int x = 20, y = 20;
    TBitmap b = White(41, 41);
    b.SetPixel(x, y, kBlack);
    for (int i = 1; i <= c.plus; ++i) b.SetPixel(x + i * DirDx(p), y + i * DirDy(p), kBlack);
    for (int i = 1; i <= c.minus; ++i) b.SetPixel(x - i * DirDx(p), y - i * DirDy(p), kBlack);
    TImgTrace t(&b, nullptr, 127);
    TTracePath path;
    path.AddPoint(x, y, c.dir);
    const TImgTrace::CentredPoint cp = t.CenterPathPoint(path, 0);
    EXPECT_EQ(cp.x, x + c.s * DirDx(p));
    EXPECT_EQ(cp.y, y + c.s * DirDy(p));
    EXPECT_EQ(cp.outPlus, c.outPlus);
    EXPECT_EQ(cp.outMinus, c.outMinus);
  }
}

// --- Highlighting --------------------------------------------------------------------

TEST(TraceSelect, HighlightsThePathUnderThePointer) {
  TBitmap b = White(60, 40);
  Fill(b, 2, 2, 3, 1);     // dropped; carries the number of path 0
  Fill(b, 5, 10, 30, 1);   // path 0
  Fill(b, 5, 25, 30, 1);   // path 1
  b.SetPixel(55, 38, kBlack);  // never claimed
  TImgTrace t(&b, nullptr, 127);
  ASSERT_TRUE(t.DoTrace());
  ASSERT_EQ(PathCount(t), 2);
  ASSERT_EQ(t.GetLastSelIdx(), -1);

  const TAlphaColor darkRed = HIGHLIGHT_COLORS[size_t(PixelState::LINECENTER)];
  const TAlphaColor pink = HIGHLIGHT_COLORS[size_t(PixelState::LINEPART)];
  auto expectColours = [&](TAlphaColor line0, TAlphaColor line1, TAlphaColor dropped) {
    for (int x = 5; x < 35; ++x) {
      EXPECT_EQ(b.Pixel(x, 10), line0) << x;
      EXPECT_EQ(b.Pixel(x, 25), line1) << x;
    }
    for (int x = 2; x < 5; ++x) EXPECT_EQ(b.Pixel(x, 2), dropped) << x;
    EXPECT_EQ(b.Pixel(55, 38), kBlack);
  };

  t.SelectTracePath(20, 25);
  EXPECT_EQ(t.GetLastSelIdx(), 1);
  expectColours(kBlue, darkRed, kLightBlue);

  t.SelectTracePath(20.4f, 10.2f);
  EXPECT_EQ(t.GetLastSelIdx(), 0);
  expectColours(darkRed, kBlue, pink);

  // A light pixel or a position off the map changes nothing.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float away[][2] = {{20, 15}, {-3, 2}, {60, 10}, {10, 40}, {nan, 5}, {1e30f, 1e30f}, {-1e30f, 3}};
  for (const auto& p : away) {
    t.SelectTracePath(p[0], p[1]);
    EXPECT_EQ(t.GetLastSelIdx(), 0) << p[0] << "," << p[1];
  }
  expectColours(darkRed, kBlue, pink);

  // An unclaimed dark pixel removes the highlight.
  t.SelectTracePath(55, 38);
  EXPECT_EQ(t.GetLastSelIdx(), -1);
  expectColours(kBlue, kBlue, kLightBlue);

  // Halves round to even: 4.5 is the light pixel 4, 34.5 the line's last.
  t.SelectTracePath(4.5f, 10);
  EXPECT_EQ(t.GetLastSelIdx(), -1);
  t.SelectTracePath(34.5f, 10);
  EXPECT_EQ(t.GetLastSelIdx(), 0);
}

}  // namespace
