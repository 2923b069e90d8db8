// Tiles: the picture repeated in a pattern.

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"

namespace karto {

namespace fx {
namespace {

// Where each column and each row of out reads: place(middle, size) for
// the middles of out's pixels along each axis.
template <class Place>
void AlongAxes(const TBitmap& in, TBitmap& out, Place place) {
  std::vector<float> xs(static_cast<size_t>(out.Width())), ys(static_cast<size_t>(out.Height()));
  for (size_t x = 0; x < xs.size(); ++x) xs[x] = place(float(x) + 0.5f, float(in.Width()));
  for (size_t y = 0; y < ys.size(); ++y) ys[y] = place(float(y) + 0.5f, float(in.Height()));
  WarpAlongAxes(in, out, xs, ys);
}

// Count x Count copies of the whole picture.
void TilerKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float n = std::max(1.0f, std::round(p.Floats[0]));
  AlongAxes(in, out, [&](float v, float size) {
    const float u = v * n / size;
    return (u - std::floor(u)) * size;
  });
}

// The same, every other copy mirrored, so the copies meet without seams.
void MirrorTilesKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float n = std::max(1.0f, std::round(p.Floats[0]));
  const auto fold = [](float u) {
    const float f = u - 2 * std::floor(u / 2);  // 0 .. 2
    return f <= 1 ? f : 2 - f;
  };
  AlongAxes(in, out, [&](float v, float size) { return fold(v * n / size) * size; });
}

// Wedges about a point, each a mirror of the first. Counted from the
// turn, wedge 0 is the picture itself; every other wedge j is folded onto
// it by a fixed linear map about the point: a turn back by j wedges (j
// even) or a mirror across the line halfway between wedge j and wedge 0
// (j odd), so neighbouring wedges mirror each other. So a row is cut where it
// crosses the wedges' edges, and each piece is read along a straight line:
// no angle is worked out per pixel, and the reads land exactly where the
// fold puts them. Directions are measured from -pi to pi, so with an odd
// number of wedges the last pair is cut short on the left of the point.
void KaleidoscopeKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const double cx = double(p.Points[0].X) * in.Width(), cy = double(p.Points[0].Y) * in.Height();
  const int segments = int(std::max(2.0f, std::round(p.Floats[1])));
  const double pi = 3.14159265358979323846, wedge = 2 * pi / segments, turn = double(p.Floats[2]) * pi / 180;
  const auto wedgeOf = [&](double direction) { return int(std::floor((direction - turn) / wedge)); };
  // Every wedge a direction from -pi to pi can fall in, and the edges
  // between them (edge e starts wedge e).
  const int first = wedgeOf(-pi) - 1, last = wedgeOf(pi) + 1;
  struct TFold {
    float xx, xy, yx, yy;  // source = point + this matrix times (dx, dy)
  };
  std::vector<TFold> folds;
  std::vector<double> edgeCos, edgeSin;
  for (int j = first; j <= last + 1; ++j) {
    const int pair = (j - (j & 1)) / 2;
    if (j & 1) {
      const double twice = 2 * ((pair + 1) * wedge + turn);  // twice the mirror's direction
      const double c = std::cos(twice), s = std::sin(twice);
      folds.push_back({float(c), float(s), float(s), float(-c)});
    } else {
      const double back = -2 * pair * wedge, c = std::cos(back), s = std::sin(back);
      folds.push_back({float(c), float(-s), float(s), float(c)});
    }
    edgeCos.push_back(std::cos(turn + j * wedge));
    edgeSin.push_back(std::sin(turn + j * wedge));
  }
  const auto run = [&](const auto& sampler, int work) {
    ForTiles(out, work, [&](int y, int x0, int x1, uint32_t* d) {
      const double dy = y + 0.5 - cy;
      for (int x = x0; x < x1;) {
        const double dx = x + 0.5 - cx;
        const int j = std::clamp(wedgeOf(std::atan2(dy, dx)), first, last);
        // Along the row the direction falls (below the point) or rises
        // (above it) towards the next edge; the row meets that edge's ray
        // only if the ray points to the row's side of the point.
        int end = x1;
        const int edge = (dy > 0 ? j : j + 1) - first;
        const double s = edgeSin[size_t(edge)];
        if (dy != 0 && s != 0 && (s > 0) == (dy > 0)) {
          const double meet = dy * edgeCos[size_t(edge)] / s + cx - 0.5;  // x where dx reaches the edge
          if (meet < double(x1)) end = std::max(x + 1, int(std::floor(std::max(meet, double(x)))) + 1);
        } else if (dy == 0 && dx < 0) {
          end = std::clamp(int(std::ceil(cx - 0.5)), x + 1, x1);  // the point's own column turns to 0
        }
        const TFold& f = folds[size_t(j - first)];
        const float fdy = float(dy), bx = float(cx) + f.xy * fdy, by = float(cy) + f.yy * fdy;
        for (; x < end; ++x) {
          const float fdx = float(x) + 0.5f - float(cx);
          d[x] = sampler.At(bx + f.xx * fdx, by + f.yx * fdx);
        }
      }
    });
  };
  if (Opaque(in)) run(TOpaqueSampler(in), 25);
  else run(TSampler(in), 40);
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
