// Tiles: the picture repeated in a pattern.

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"

namespace karto {

namespace fx {
namespace {

// Count x Count copies of the whole picture.
void TilerKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float n = std::max(1.0f, std::round(p.Floats[0]));
  const float w = float(in.Width()), h = float(in.Height());
  WarpPixels(in, out, [&](float& x, float& y) {
    const float u = x * n / w, v = y * n / h;
    x = (u - std::floor(u)) * w;
    y = (v - std::floor(v)) * h;
    return true;
  });
}

// The same, every other copy mirrored, so the copies meet without seams.
void MirrorTilesKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float n = std::max(1.0f, std::round(p.Floats[0]));
  const float w = float(in.Width()), h = float(in.Height());
  const auto fold = [](float u) {
    const float f = u - 2 * std::floor(u / 2);  // 0 .. 2
    return f <= 1 ? f : 2 - f;
  };
  WarpPixels(in, out, [&](float& x, float& y) {
    x = fold(x * n / w) * w;
    y = fold(y * n / h) * h;
    return true;
  });
}

// Wedges about a point, each a mirror of the first.
void KaleidoscopeKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float cx = p.Points[0].X * in.Width(), cy = p.Points[0].Y * in.Height();
  const float segments = std::max(2.0f, std::round(p.Floats[1]));
  const float wedge = 2 * kPi / segments, turn = p.Floats[2] * kPi / 180;
  WarpPixels(in, out, [&](float& x, float& y) {
    const float dx = x - cx, dy = y - cy, r = Hypot(dx, dy);
    float a = FastAtan2(dy, dx) - turn;
    a -= std::floor(a / (2 * wedge)) * 2 * wedge;  // 0 .. 2 wedges
    if (a > wedge) a = 2 * wedge - a;
    a += turn;
    x = cx + r * FastCos(a);
    y = cy + r * FastSin(a);
    return true;
  }, true);
}

// A floor of tiles running away to a horizon.
void PerspectiveTileKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float w = float(in.Width()), h = float(in.Height());
  const float horizon = std::clamp(p.Floats[0], 0.0f, 0.95f) * h, n = std::max(1.0f, p.Floats[1]);
  WarpPixels(in, out, [&](float& x, float& y) {
    if (y <= horizon + 0.5f) return false;
    // Depth grows as the row nears the horizon.
    const float depth = (h - horizon) / (y - horizon);
    const float u = ((x - w / 2) * depth / w + 0.5f) * n, v = depth * n / 2;
    x = (u - std::floor(u)) * w;
    y = (v - std::floor(v)) * h;
    return true;
  });
}

}  // namespace
}  // namespace fx

void RegisterTileFilters() {
  using namespace fx;
  const char* c = "Tiles";
  Add(c, "Tiler", "Copies of the picture side by side.", {FloatValue("Count", "Copies across and down", 1, 32, 3)},
      TilerKernel);
  Add(c, "MirrorTiles", "Copies of the picture, every other one mirrored, meeting without seams.",
      {FloatValue("Count", "Copies across and down", 1, 32, 3)}, MirrorTilesKernel);
  Add(c, "Kaleidoscope", "Mirrored wedges about a point.",
      {PointValue("Center", "Middle of the kaleidoscope", {0.5f, 0.5f}), FloatValue("Segments", "Number of wedges", 2, 32, 8),
       FloatValue("Angle", "Turn of the wedges in degrees", -180, 180, 0)},
      KaleidoscopeKernel);
  Add(c, "PerspectiveTile", "A floor of tiles running away to the horizon.",
      {FloatValue("Horizon", "Height of the horizon as a share of the picture", 0, 0.95, 0.3),
       FloatValue("Count", "Tiles across", 1, 32, 4)},
      PerspectiveTileKernel);
}

}  // namespace karto
