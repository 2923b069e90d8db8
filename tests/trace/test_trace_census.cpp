// The tracing engine's data: direction arithmetic, a path's bounding box,
// which pixels are dark, the pixel map with its records, and the
// neighbourhood census.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/trace/TraceFixtures.h"
#include "trace/ImgTrace.h"

using namespace karto;
using namespace karto::tracetest;

namespace {

TEST(TraceModel, DirectionArithmeticWrapsAround) {
  EXPECT_EQ(Direction::DIR000 - 1, Direction::DIR315);
  EXPECT_EQ(Direction::DIR315 + 1, Direction::DIR000);
  EXPECT_EQ(Direction::DIR090 + 4, Direction::DIR270);
  EXPECT_EQ(Direction::DIR045 - 9, Direction::DIR000);
  // An odd direction steps as the sum of its two even neighbours.
  for (int d = 1; d < DIRECTION_COUNT; d += 2) {
    EXPECT_EQ(DirDx(Direction(d)), DirDx(Direction(d) - 1) + DirDx(Direction(d) + 1)) << d;
    EXPECT_EQ(DirDy(Direction(d)), DirDy(Direction(d) - 1) + DirDy(Direction(d) + 1)) << d;
  }
}

TEST(TraceModel, PathBoundingBoxFollowsTheAddedPoints) {
  TTracePath path;
  EXPECT_EQ(path.m_iLastIdx, -1);
  EXPECT_EQ(path.m_bLineWidth, 1);
  path.AddPoint(5, 7, Direction::DIR000);
  // The first point sets both ends of the box.
  EXPECT_EQ(path.m_oMinPnt.x, 5.0f);
  EXPECT_EQ(path.m_oMinPnt.y, 7.0f);
  EXPECT_EQ(path.m_oMaxPnt.x, 5.0f);
  EXPECT_EQ(path.m_oMaxPnt.y, 7.0f);
  EXPECT_EQ(path.m_iLastIdx, 0);

  path.AddPoint(2.5f, 9.0f, Direction::DIR225);
  path.AddPoint(8, 1, Direction::DIR000);
  EXPECT_EQ(path.m_oMinPnt.x, 2.5f);
  EXPECT_EQ(path.m_oMinPnt.y, 1.0f);
  EXPECT_EQ(path.m_oMaxPnt.x, 8.0f);
  EXPECT_EQ(path.m_oMaxPnt.y, 9.0f);
  EXPECT_EQ(path.m_iLastIdx, 2);
  EXPECT_EQ(path.m_iPixelCntPath, 3);
  ASSERT_EQ(path.m_arPt.size(), 3u);
  ASSERT_EQ(path.m_arDirs.size(), 3u);
  EXPECT_EQ(path.m_arPt[1].x, 2.5f);
  EXPECT_EQ(path.m_arDirs[1], Direction::DIR225);
  EXPECT_EQ(path.m_arCntDirs[size_t(Direction::DIR000)], 2u);
  EXPECT_EQ(path.m_arCntDirs[size_t(Direction::DIR225)], 1u);
}

// Only the red channel is compared with the limit.
TEST(TraceCensus, DarknessIsTheRedChannelAgainstTheLimit) {
  struct Case {
    int limit;
    TAlphaColor colour;
    bool dark;
  };
  const Case cases[] = {
      {127, 0xFF7F7F7Fu, true},
      {127, 0xFF808080u, false},
      {127, 0xFFFF0000u, false},  // pure red
      {127, 0xFF0000FFu, true},   // pure blue
      {127, 0x007F0000u, true},   // alpha plays no part
      {255, 0xFFFFFFFFu, true},   // 255 makes everything dark
      {0, 0xFF00FFFFu, true},     // 0 keeps red 0 only
      {0, 0xFF010000u, false},
      {-1, 0xFF000000u, false},
  };
  for (const Case& c : cases) {
    TBitmap b(1, 1);
    b.SetPixel(0, 0, c.colour);
    TImgTrace t(&b, nullptr, c.limit);
    EXPECT_EQ(t.GetPixelCount(), c.dark ? 1 : 0) << std::hex << c.colour << " limit " << std::dec << c.limit;
    EXPECT_EQ(t.PixelIndexAt(0, 0), c.dark ? 0 : -1);
  }
}

TEST(TraceCensus, RecordsAreInScanOrderAndUnclaimed) {
  TBitmap b = FromArt({
      "..#...#",
      "#......",
      ".....##",
  });
  TImgTrace t(&b, &b, 127);
  const std::vector<std::pair<int, int>> dark = {{2, 0}, {6, 0}, {0, 1}, {5, 2}, {6, 2}};
  ASSERT_EQ(t.GetPixelCount(), int(dark.size()));
  ASSERT_EQ(t.MapWidth(), 7);
  ASSERT_EQ(t.MapHeight(), 3);
  for (size_t i = 0; i < dark.size(); ++i) {
    const PixelInfo& info = t.PixelInfos()[i];
    EXPECT_EQ(info.x, dark[i].first) << i;
    EXPECT_EQ(info.y, dark[i].second) << i;
    EXPECT_EQ(t.PixelIndexAt(info.x, info.y), int(i));
    EXPECT_EQ(info.State, PixelState::NONE);
    EXPECT_EQ(info.TraceObjIdx, -1);
  }
  EXPECT_EQ(t.PixelIndexAt(0, 0), -1);
  EXPECT_EQ(t.PixelIndexAt(-1, 0), -1);
  EXPECT_EQ(t.PixelIndexAt(7, 0), -1);
  EXPECT_EQ(t.PixelIndexAt(0, 3), -1);
}

// A 3 x 3 block counts alike in the middle and in the corner, where the
// rays run off the bitmap.
TEST(TraceCensus, ThreeByThreeBlockInTheMiddleAndInTheCorner) {
  for (const int at : {0, 20}) {
    SCOPED_TRACE(at);
    TBitmap b = White(45, 45);
    Fill(b, at, at, 3, 3);
    TImgTrace t(&b, nullptr, 127);
    ASSERT_EQ(t.GetPixelCount(), 9);

    const PixelInfo centre = InfoAt(t, at + 1, at + 1);
    for (int d = 0; d < DIRECTION_COUNT; ++d) EXPECT_EQ(centre.arDirSum[size_t(d)], 1) << d;
    EXPECT_EQ(centre.Sum, 8);

    const PixelInfo corner = InfoAt(t, at, at);
    const ArrayOfValDirs cornerWords = {3, 0, 0, 0, 0, 0, 3, 3};
    EXPECT_EQ(corner.arDirSum, cornerWords);
    EXPECT_EQ(corner.Sum, 6);
  }
}

TEST(TraceCensus, IsolatedPixelCountsNothing) {
  TBitmap b = White(30, 30);
  b.SetPixel(14, 15, kBlack);
  b.SetPixel(14 + 13, 15 + 1, kBlack);  // off every ray
  TImgTrace t(&b, nullptr, 127);
  const PixelInfo info = InfoAt(t, 14, 15);
  EXPECT_EQ(info.Sum, 0);
  EXPECT_EQ(info.arDirSum, ArrayOfValDirs{});
}

// Two dark pixels `distance` steps apart along each direction: at 12 the
// far ring sees the other pixel from both ends, at 13 neither does. Run in
// every direction this also checks the direction steps.
TEST(TraceCensus, TwelveStepsReachTheOtherPixelThirteenDoNot) {
  for (int d = 0; d < DIRECTION_COUNT; ++d) {
    for (const int distance : {12, 13}) {
      SCOPED_TRACE(testing::Message() << "direction " << d << " distance " << distance);
      const Direction dir = Direction(d);
      TBitmap b = White(60, 60);
      const int x0 = 23, y0 = 23;
      const int x1 = x0 + distance * DirDx(dir), y1 = y0 + distance * DirDy(dir);
      b.SetPixel(x0, y0, kBlack);
      b.SetPixel(x1, y1, kBlack);
      TImgTrace t(&b, nullptr, 127);
      const uint16_t expect = distance == 12 ? uint16_t(1u << 11) : 0;
      const PixelInfo first = InfoAt(t, x0, y0), second = InfoAt(t, x1, y1);
      EXPECT_EQ(first.arDirSum[size_t(dir)], expect);
      EXPECT_EQ(second.arDirSum[size_t(dir + 4)], expect);
      EXPECT_EQ(first.Sum, distance == 12 ? 1 : 0);
    }
  }
}

// Every census word against the bitmap itself, on a noisy picture whose
// dark pixels touch all four edges and the rows' ends, wide enough for the
// census to work in several strips of columns.
TEST(TraceCensus, MatchesTheBitmapEverywhere) {
  TBitmap b = White(4150, 31);
  uint32_t state = 7;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      state = state * 1664525u + 1013904223u;
      if ((state >> 12) % 3 == 0) b.SetPixel(x, y, kBlack);
    }
  TImgTrace t(&b, nullptr, 127);
  ASSERT_GT(t.GetPixelCount(), 300);
  for (const PixelInfo& info : t.PixelInfos()) {
    int sum = 0;
    for (int d = 0; d < DIRECTION_COUNT; ++d) {
      uint16_t word = 0;
      for (int r = 1; r <= RING_COUNT; ++r) {
        const int x = info.x + r * DirDx(Direction(d)), y = info.y + r * DirDy(Direction(d));
        if (x >= 0 && y >= 0 && x < b.Width() && y < b.Height() && b.Pixel(x, y) == kBlack) {
          word |= uint16_t(1u << (r - 1));
          ++sum;
        }
      }
      ASSERT_EQ(info.arDirSum[size_t(d)], word) << info.x << "," << info.y << " direction " << d;
    }
    ASSERT_EQ(info.Sum, sum) << info.x << "," << info.y;
  }
}

// A light pixel on a ray does not hide the dark ones behind it, and pixels
// later in the scan are counted too.
TEST(TraceCensus, RaysLookPastLightPixels) {
  TBitmap b = FromArt({
      "#.#..#....",
      "..........",
      "#.........",
  });
  TImgTrace t(&b, nullptr, 127);
  const PixelInfo first = InfoAt(t, 0, 0);
  EXPECT_EQ(first.arDirSum[size_t(Direction::DIR000)], 0b10010);
  EXPECT_EQ(first.arDirSum[size_t(Direction::DIR270)], 0b10);
  EXPECT_EQ(first.Sum, 3);
  EXPECT_EQ(InfoAt(t, 5, 0).arDirSum[size_t(Direction::DIR180)], 0b10100);
}

}  // namespace
