// The tracing engine on awkward input: empty, tiny, all-dark and noisy
// pictures, bitmaps that change or are shared after construction, missing or
// small origin pictures; and what every trace leaves behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "tests/support/Synthetic.h"
#include "tests/trace/TraceFixtures.h"
#include "trace/ImgTrace.h"

using namespace karto;
using namespace karto::tracetest;

namespace {

// What every trace must leave: claimed pixels painted in their state
// colours and numbered within the kept paths (a dropped walk at the end may
// carry the number after the last), everything else untouched, and kept
// paths of at least four points inside the map.
void ExpectConsistentTrace(const TBitmap& before, const TBitmap& after, const TImgTrace& t, bool traced) {
  const int paths = PathCount(t);
  EXPECT_EQ(traced, paths > 0);
  for (int y = 0; y < before.Height(); ++y)
    for (int x = 0; x < before.Width(); ++x) {
      const int idx = t.PixelIndexAt(x, y);
      if (idx < 0) {
        ASSERT_EQ(after.Pixel(x, y), before.Pixel(x, y)) << "light pixel " << x << "," << y;
        continue;
      }
      const PixelInfo& info = t.PixelInfos()[size_t(idx)];
      ASSERT_EQ(info.x, x);
      ASSERT_EQ(info.y, y);
      switch (info.State) {
        case PixelState::NONE:
          ASSERT_EQ(info.TraceObjIdx, -1);
          ASSERT_EQ(after.Pixel(x, y), before.Pixel(x, y)) << x << "," << y;
          break;
        case PixelState::LINECENTER:
          ASSERT_LT(info.TraceObjIdx, paths) << x << "," << y;
          [[fallthrough]];
        case PixelState::LINEPART:
          ASSERT_GE(info.TraceObjIdx, 0);
          ASSERT_LE(info.TraceObjIdx, paths);
          ASSERT_EQ(after.Pixel(x, y), STATE_COLORS[size_t(info.State)]) << x << "," << y;
          break;
        default:
          FAIL() << "unexpected state " << int(info.State) << " at " << x << "," << y;
      }
    }
  for (int i = 0; i < paths; ++i) {
    const TTracePath& path = PathAt(t, i);
    ASSERT_GE(path.m_iPixelCntPath, MIN_PATH_POINTS);
    ASSERT_EQ(size_t(path.m_iLastIdx) + 1, path.m_arPt.size());
    ASSERT_EQ(path.m_arDirs.size(), path.m_arPt.size());
    ASSERT_EQ(path.m_iPixelCntPath, path.m_iLastIdx + 1);
    ASSERT_GE(path.m_bLineWidth, 1);
    ASSERT_LE(path.m_bLineWidth, 2 * (MAX_STROKE_WIDTH - 1) + 1);
    for (size_t k = 0; k < path.m_arPt.size(); ++k) {
      ASSERT_EQ(path.m_arDirs[k], path.m_arDirs[0]) << "path " << i << " turns";
      ASSERT_GE(path.m_arPt[k].x, 0.0f);
      ASSERT_GE(path.m_arPt[k].y, 0.0f);
      ASSERT_LT(path.m_arPt[k].x, float(t.MapWidth()));
      ASSERT_LT(path.m_arPt[k].y, float(t.MapHeight()));
    }
  }
}

// Random dark pixels with greys 0 .. spread - 1.
TBitmap Noise(int w, int h, int percentDark, int spread, uint32_t seed) {
  TBitmap b = White(w, h);
  uint32_t state = seed;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      state = state * 1664525u + 1013904223u;
      if (int((state >> 8) % 100) < percentDark) b.SetPixel(x, y, Grey(int((state >> 4) % uint32_t(spread))));
    }
  return b;
}

TEST(TraceRobustness, SmallEmptyAndExtremePictures) {
  struct Case {
    const char* what;
    std::function<TBitmap()> make;
    int limit;
    int dark;
    bool traced;
  };
  const Case cases[] = {
      {"empty", [] { return TBitmap(); }, 127, 0, false},
      {"1x1 black", [] { return FromArt({"#"}); }, 127, 1, false},
      {"1x1 white", [] { return FromArt({"."}); }, 127, 0, false},
      {"all white", [] { return White(50, 40); }, 127, 0, false},
      {"one row", [] { return TBitmap(40, 1); }, 127, 40, true},
      {"one column", [] { return TBitmap(1, 40); }, 127, 40, true},
      {"all black", [] { return TBitmap(64, 48); }, 127, 64 * 48, true},
      {"white under limit 255", [] { return White(30, 20); }, 255, 600, true},
      {"black under limit -1", [] { return TBitmap(30, 20); }, -1, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TBitmap b = c.make();
    const TBitmap before = c.make();
    TImgTrace t(&b, nullptr, c.limit);
    EXPECT_EQ(t.GetPixelCount(), c.dark);
    const bool traced = t.DoTrace();
    EXPECT_EQ(traced, c.traced);
    ExpectConsistentTrace(before, b, t, traced);
    t.SelectTracePath(0, 0);  // whatever lies there, nothing breaks
  }
  // No bitmap at all.
  TImgTrace none(nullptr, nullptr, 127);
  EXPECT_EQ(none.GetPixelCount(), 0);
  EXPECT_FALSE(none.DoTrace());
  none.SelectTracePath(0, 0);
  EXPECT_EQ(none.GetListOfTraceObjects(), nullptr);
}

TEST(TraceRobustness, GeneratedPicturesTraceConsistently) {
  struct Case {
    const char* what;
    std::function<TBitmap()> make;
    int limit;
  };
  const Case cases[] = {
      {"strokes", [] { return synthetic::StrokesOnWhite(300, 200, 40, 3); }, 127},
      {"photographed drawing", [] { return synthetic::LineDrawingPhoto(240, 180, 5); }, 127},
      {"photo, high limit", [] { return synthetic::PhotoLike(160, 120, 7); }, 170},
      {"sparse noise", [] { return Noise(120, 90, 15, 4, 1); }, 127},
      {"dense noise", [] { return Noise(120, 90, 70, 100, 2); }, 127},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TBitmap b = c.make();
    const TBitmap before = c.make();
    TImgTrace t(&b, nullptr, c.limit);
    ASSERT_GT(t.GetPixelCount(), MIN_TRACE_PIXELS);
    const bool traced = t.DoTrace();
    EXPECT_TRUE(traced);
    ExpectConsistentTrace(before, b, t, traced);
  }
}

// The map and records describe the picture at construction; a bitmap that
// has since changed size is not traced, and highlighting paints only what
// still lies inside it.
TEST(TraceRobustness, BitmapResizedAfterConstruction) {
  TBitmap b = White(40, 10);
  Fill(b, 5, 4, 30, 1);
  TImgTrace t(&b, nullptr, 127);
  b.SetSize(20, 5);
  EXPECT_FALSE(t.DoTrace());
  b.SetSize(0, 0);
  EXPECT_EQ(t.GetPixelCount(), 0);
  EXPECT_FALSE(t.DoTrace());

  TBitmap c = White(40, 10);
  Fill(c, 5, 4, 30, 1);
  TImgTrace traced(&c, nullptr, 127);
  ASSERT_TRUE(traced.DoTrace());
  c = White(20, 5);
  traced.SelectTracePath(30, 4);
  EXPECT_EQ(traced.GetLastSelIdx(), 0);
  for (int x = 0; x < 20; ++x)
    EXPECT_EQ(c.Pixel(x, 4), x >= 5 ? HIGHLIGHT_COLORS[size_t(PixelState::LINECENTER)] : kWhite) << x;
}

// Repainting touches the traced bitmap only, never a copy sharing its pixels.
TEST(TraceRobustness, CopiesOfTheSourceStayUntouched) {
  TBitmap b = White(40, 10);
  Fill(b, 5, 4, 30, 1);
  TBitmap copy;
  copy.Assign(b);
  TImgTrace t(&b, &copy, 127);
  ASSERT_TRUE(t.DoTrace());
  EXPECT_EQ(b.Pixel(10, 4), kBlue);
  EXPECT_EQ(copy.Pixel(10, 4), kBlack);
  TBitmap second;
  second.Assign(b);
  t.SelectTracePath(10, 4);
  EXPECT_EQ(b.Pixel(10, 4), HIGHLIGHT_COLORS[size_t(PixelState::LINECENTER)]);
  EXPECT_EQ(second.Pixel(10, 4), kBlue);
}

// The path's colour comes from the origin at its last accepted pixel; an
// origin that is missing or does not reach there gives 0.
TEST(TraceRobustness, PathColourFromTheOrigin) {
  const TAlphaColor red = 0xFFC00000u;
  struct Case {
    const char* what;
    int originWidth;  // 0: no origin; -1: the source itself
    TAlphaColor want;
  };
  const Case cases[] = {
      {"same size", 40, red},
      {"too narrow", 30, 0},
      {"missing", 0, 0},
      {"the source itself", -1, kBlack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TBitmap b = White(40, 10);
    Fill(b, 5, 4, 30, 1);
    TBitmap origin(std::max(c.originWidth, 0), 10);
    origin.Clear(red);
    const TBitmap* org = c.originWidth > 0 ? &origin : c.originWidth < 0 ? &b : nullptr;
    TImgTrace t(&b, org, 127);
    ASSERT_TRUE(t.DoTrace());
    EXPECT_EQ(PathAt(t, 0).m_oRealColor, c.want);
  }
}

TEST(TraceRobustness, SecondTraceReleasesTheFirstList) {
  TBitmap b = White(40, 10);
  Fill(b, 5, 4, 30, 1);
  TImgTrace t(&b, nullptr, 127);
  ASSERT_TRUE(t.DoTrace());
  // Every pixel is claimed now: nothing is left to start a path from.
  EXPECT_FALSE(t.DoTrace());
  EXPECT_EQ(t.GetListOfTraceObjects(), nullptr);
  EXPECT_EQ(b.Pixel(10, 4), kBlue);
}

// The engine's storage stays within 64 bytes per dark pixel plus 4 per
// bitmap pixel (and a small fixed part).
TEST(TraceRobustness, MemoryStaysWithinItsBudget) {
  TBitmap b = synthetic::StrokesOnWhite(400, 300, 80, 9);
  TImgTrace t(&b, nullptr, 127);
  ASSERT_TRUE(t.DoTrace());
  const size_t budget = 64 * size_t(t.GetPixelCount()) + 4 * size_t(400 * 300) + 4096;
  EXPECT_LE(t.PeakMemoryBytes(), budget);
  EXPECT_GE(t.MemoryBytes(), 4 * size_t(400 * 300) + sizeof(PixelInfo) * size_t(t.GetPixelCount()));
}

}  // namespace
