// Transitions from Input to Target (stretched to Input's size) as Progress
// runs from 0 to 100: at 0 the result is Input, at 100 Target.

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"
#include "imaging/WideReads.h"

namespace karto {

namespace fx {
namespace {

float Progress(const TFilterParams& p) { return std::clamp(p.Floats[0] / 100.0f, 0.0f, 1.0f); }

// out = Input and Target mixed per pixel by t(x, y) in 0..1: a row's
// weights first, then the row mixed in one go.
template <class T>
void Blend(const TBitmap& a, const TBitmap& b, TBitmap& out, T t) {
  const int w = a.Width();
  ForRowsOfWeights(
      out, 20, [&](int x, int y) { return t(x + 0.5f, y + 0.5f); },
      [&](int y, const float* weights, uint32_t* d) { MixRow(a.ScanLine(y), b.ScanLine(y), weights, d, w); });
}

// Both pictures distorted, Input more as the transition goes on and Target
// less, cross-faded: the shared road of the distorting transitions.
// warp(x, y, ax, ay, bx, by) gives, for the output point (x, y), where to
// read Input and Target; it works out what both share (a distance, a noise
// value) once.
template <class Sampler, class Warp, class Blend>
void WarpedFadeWith(const Sampler& sa, const Sampler& sb, TBitmap& out, Warp& warp, Blend blend, bool smooth) {
  ForTiles(out, 60, [&](int y, int x0, int x1, uint32_t* d) {
    if (!smooth) {
      // Each pixel's reads are worked out a few pixels ahead, and asked of
      // the memory then.
      constexpr int kAhead = 8;
      float at[kAhead][4];
      const auto ask = [&](int x) {
        float* v = at[(x - x0) % kAhead];
        warp(x + 0.5f, y + 0.5f, v[0], v[1], v[2], v[3]);
        sa.Prefetch(v[0], v[1]);
        sb.Prefetch(v[2], v[3]);
      };
      for (int x = x0; x < std::min(x1, x0 + kAhead); ++x) ask(x);
      for (int x = x0; x < x1; ++x) {
        const float* v = at[(x - x0) % kAhead];
        d[x] = blend(sa.At(v[0], v[1]), sb.At(v[2], v[3]));
        if (x + kAhead < x1) ask(x + kAhead);
      }
      return;
    }
    HalfMapRun<4>(
        y, x0, x1,
        [&](float x, float yy, float* v) {
          warp(x, yy, v[0], v[1], v[2], v[3]);
          return true;
        },
        [&](int x, bool, const float* v) { d[x] = blend(sa.At(v[0], v[1]), sb.At(v[2], v[3])); });
  });
}

#ifdef KARTO_AVX2
// A run of n pixels of an opaque fade, read at the places (ax, ay) in one
// picture and (bx, by) in the other and mixed by k / 256: eight at a time
// through gathers, the rest one by one through the samplers.
KARTO_AVX2 void FadeRunAvx2(const TOpaqueSampler& sa, const TOpaqueSampler& sb, const TTaps& ta, const TTaps& tb,
                            const float* ax, const float* ay, const float* bx, const float* by, int n, uint32_t k,
                            uint32_t* d) {
  const __m256i weight = _mm256_set1_epi32(int(k | k << 16));
  int i = 0;
  for (; i + 8 <= n; i += 8)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i),
                        Lerp8(ReadOrNothing8(ta, ax + i, ay + i), ReadOrNothing8(tb, bx + i, by + i), weight));
  for (; i < n; ++i) d[i] = TOpaqueSampler::Lerp(sa.At(ax[i], ay[i]), sb.At(bx[i], by[i]), k);
}
#endif

// smooth: the warp costs more than its two samples and bends gently, so
// HalfMapRun may skip it at every other pixel.
template <class Warp>
void WarpedFade(const TBitmap& a, const TBitmap& b, TBitmap& out, float t, Warp warp, bool smooth = false) {
  if (Opaque(a) && Opaque(b)) {
    const uint32_t k = uint32_t(std::lround(std::clamp(t, 0.0f, 1.0f) * 256));
#ifdef KARTO_AVX2
    // A tile's row of places first, then its reads eight at a time.
    if (WideLanes()) {
      const TTaps ta{a.Bits(), size_t(a.Stride()), a.Width(), a.Height()};
      const TTaps tb{b.Bits(), size_t(b.Stride()), b.Width(), b.Height()};
      const TOpaqueSampler sa(a), sb(b);
      ForTiles(out, 60, [&](int y, int x0, int x1, uint32_t* d) {
        float at[4][kTileSide];  // a tile's row at most
        // (Each place asked of the memory as it is worked out: the reads
        // come once the row's places are all known.)
        const auto keep = [&](int x, const float* v) {
          for (int c = 0; c < 4; ++c) at[c][x - x0] = v[c];
          PrefetchPixels(ta.bits, ta.stride, ta.w, ta.h, v[0], v[1]);
          PrefetchPixels(tb.bits, tb.stride, tb.w, tb.h, v[2], v[3]);
        };
        if (smooth) {
          HalfMapRun<4>(
              y, x0, x1,
              [&](float x, float yy, float* v) {
                warp(x, yy, v[0], v[1], v[2], v[3]);
                return true;
              },
              [&](int x, bool, const float* v) { keep(x, v); });
        } else {
          for (int x = x0; x < x1; ++x) {
            float v[4];
            warp(x + 0.5f, y + 0.5f, v[0], v[1], v[2], v[3]);
            keep(x, v);
          }
        }
        FadeRunAvx2(sa, sb, ta, tb, at[0], at[1], at[2], at[3], x1 - x0, k, d + x0);
      });
      return;
    }
#endif
    WarpedFadeWith(TOpaqueSampler(a), TOpaqueSampler(b), out, warp,
                   [k](uint32_t p, uint32_t q) { return TOpaqueSampler::Lerp(p, q, k); }, smooth);
  } else {
    WarpedFadeWith(TSampler(a), TSampler(b), out, warp, [t](uint32_t p, uint32_t q) { return Mix(p, q, t); }, smooth);
  }
}

void DissolveKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap b = TargetAtSizeOf(target, in);
  const uint32_t limit = uint32_t(double(Progress(p)) * 4294967295.0);
  const int w = in.Width();
  ForRows(out, 8, [&](int y, uint32_t* d) {
    const uint32_t* pa = in.ScanLine(y);
    const uint32_t* pb = b.ScanLine(y);
    for (int x = 0; x < w; ++x) d[x] = Hash(uint32_t(x), uint32_t(y)) < limit || limit == 4294967295u ? pb[x] : pa[x];
  });
}

void FadeKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap b = TargetAtSizeOf(target, in);
  const float t = Progress(p);
  Blend(in, b, out, [t](float, float) { return t; });
}

// A soft straight edge sweeping across at Angle.
void WipeKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap b = TargetAtSizeOf(target, in);
  const float w = float(in.Width()), h = float(in.Height()), a = p.Floats[1] * kPi / 180;
  const float dx = std::cos(a), dy = std::sin(a);
  // The picture's extent along the direction.
  const float lo = std::min({0.0f, w * dx, h * dy, w * dx + h * dy}), hi = std::max({0.0f, w * dx, h * dy, w * dx + h * dy});
  const float soft = 0.05f, t = Progress(p) * (1 + 2 * soft) - soft;
  Blend(in, b, out, [&](float x, float y) {
    const float u = (x * dx + y * dy - lo) / (hi - lo);
    return 1 - Smoothstep(t - soft, t + soft, u);
  });
}

// Target slides in from the side at Angle, pushing Input out.
void SlideKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap b = TargetAtSizeOf(target, in);
  const float w = float(in.Width()), h = float(in.Height()), a = p.Floats[1] * kPi / 180;
  const float dx = std::cos(a) * w, dy = std::sin(a) * h, t = Progress(p), ox = dx * t, oy = dy * t;
  const int iw = in.Width();
  const auto slide = [&](const auto& sa, const auto& sb) {
    ForRows(out, 40, [&](int y, uint32_t* d) {
      for (int x = 0; x < iw; ++x) {
        // Input moved on by the offset; Target follows one picture behind it.
        const float ax = x + 0.5f - ox, ay = y + 0.5f - oy;
        d[x] = ax >= 0 && ay >= 0 && ax <= w && ay <= h ? sa.At(ax, ay) : sb.At(ax + dx, ay + dy);
      }
    });
  };
  // Opaque pictures through the inlined integer reads, as the other
  // moving transitions do (the general read, a call per pixel, took four
  // times as long).
  if (Opaque(in) && Opaque(b)) slide(TOpaqueSampler(in), TOpaqueSampler(b));
  else slide(TSampler(in), TSampler(b));
}

// A circle opening from the middle.
void IrisKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap b = TargetAtSizeOf(target, in);
  const float w = float(in.Width()), h = float(in.Height()), cx = w / 2, cy = h / 2;
  const float reach = Hypot(cx, cy), soft = 0.02f * reach;
  const float r = Progress(p) * (reach + 2 * soft) - soft;
  Blend(in, b, out, [&](float x, float y) { return 1 - Smoothstep(r - soft, r + soft, Hypot(x - cx, y - cy)); });
}

// Horizontal slats that turn open.
void BlindsKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap b = TargetAtSizeOf(target, in);
  const float n = std::max(1.0f, std::round(p.Floats[1])), h = float(in.Height()), t = Progress(p);
  Blend(in, b, out, [&](float, float y) {
    const float u = y / h * n;
    const float f = u - std::floor(u);
    return f < t ? 1.0f : 0.0f;
  });
}

// Blocks grow until the middle of the way, where the pictures change, and
// shrink again.
void PixelateTransitionKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap b = TargetAtSizeOf(target, in);
  const float t = Progress(p), peak = 1 - std::fabs(2 * t - 1);
  const int size = std::max(1, int(std::lround(peak * std::max(p.Floats[1], 1.0f))));
  const TBitmap& from = t < 0.5f ? in : b;
  const int w = in.Width(), h = in.Height();
  ForRows(out, 4, [&](int y, uint32_t* d) {
    const int sy = std::min(h - 1, (y / size) * size + size / 2);
    const uint32_t* s = from.ScanLine(sy);
    for (int x = 0; x < w; ++x) d[x] = s[std::min(w - 1, (x / size) * size + size / 2)];
  });
}

// Input and Target turned about the middle, each by an angle that depends
// on the distance alone (angle(side, r); side is t for Input, 1 - t for
// Target), cross-faded. The angles' cosines and sines are tabulated once,
// at quarter pixels, all four side by side: a pixel reads one entry.
template <class Angle>
void TurnedFade(const TBitmap& in, const TBitmap& b, TBitmap& out, float t, Angle angle) {
  const float cx = in.Width() / 2.0f, cy = in.Height() / 2.0f, reach = Hypot(cx, cy) + 2;
  struct TTurn {
    float ca, sa, cb, sb;
  };
  std::vector<TTurn> turns(size_t(reach * 4) + 2);
  for (size_t i = 0; i < turns.size(); ++i) {
    const float r = float(i) / 4, a = angle(t, r), bb = angle(1 - t, r);
    turns[i] = {std::cos(a), std::sin(a), std::cos(bb), std::sin(bb)};
  }
  WarpedFade(in, b, out, t, [&](float x, float y, float& ax, float& ay, float& bx, float& by) {
    const float dx = x - cx, dy = y - cy;
    const TTurn& k = turns[std::min(turns.size() - 1, size_t(Hypot(dx, dy) * 4 + 0.5f))];
    ax = cx + dx * k.ca - dy * k.sa;
    ay = cy + dx * k.sa + dy * k.ca;
    bx = cx + dx * k.cb - dy * k.sb;
    by = cy + dx * k.sb + dy * k.cb;
  });
}

void SwirlTransitionKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const float radius = Hypot(in.Width() / 2.0f, in.Height() / 2.0f), turns = p.Floats[1] * kPi / 180;
  TurnedFade(in, TargetAtSizeOf(target, in), out, Progress(p), [&](float side, float r) {
    const float k = std::max(0.0f, 1 - r / radius);
    return turns * side * k * k;
  });
}

void RippleTransitionKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap b = TargetAtSizeOf(target, in);
  const float cx = in.Width() / 2.0f, cy = in.Height() / 2.0f;
  const float amplitude = p.Floats[1], wavelength = std::max(2.0f, p.Floats[2]);
  const TRadialTable wave(Hypot(cx, cy) + 2, [&](float r) { return amplitude * std::sin(2 * kPi * r / wavelength); });
  const float t = Progress(p);
  WarpedFade(in, b, out, t, [&](float x, float y, float& ax, float& ay, float& bx, float& by) {
    const float dx = x - cx, dy = y - cy, r = Hypot(dx, dy);
    ax = bx = x;
    ay = by = y;
    if (r <= 0) return;
    const float shift = wave(r) / r;
    ax += dx * shift * t;
    ay += dy * shift * t;
    bx += dx * shift * (1 - t);
    by += dy * shift * (1 - t);
  });
}

void MagnifyTransitionKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap b = TargetAtSizeOf(target, in);
  const float cx = in.Width() / 2.0f, cy = in.Height() / 2.0f, zoom = std::max(1.0f, p.Floats[1]);
  const float t = Progress(p), ka = 1 / (1 + (zoom - 1) * t), kb = 1 / (1 + (zoom - 1) * (1 - t));
  WarpedFade(in, b, out, t, [&](float x, float y, float& ax, float& ay, float& bx, float& by) {
    ax = cx + (x - cx) * ka;
    ay = cy + (y - cy) * ka;
    bx = cx + (x - cx) * kb;
    by = cy + (y - cy) * kb;
  });
}

void WaveTransitionKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap b = TargetAtSizeOf(target, in);
  const float amplitude = p.Floats[1], k = 2 * kPi / std::max(2.0f, p.Floats[2]);
  // The sines depend on the row or the column alone: tables, scaled per side.
  std::vector<float> byRow(static_cast<size_t>(in.Height())), byColumn(static_cast<size_t>(in.Width()));
  for (size_t y = 0; y < byRow.size(); ++y) byRow[y] = amplitude * std::sin((float(y) + 0.5f) * k);
  for (size_t x = 0; x < byColumn.size(); ++x) byColumn[x] = amplitude * std::sin((float(x) + 0.5f) * k);
  const float t = Progress(p);
  WarpedFade(in, b, out, t, [&](float x, float y, float& ax, float& ay, float& bx, float& by) {
    const float ox = byRow[size_t(y)], oy = byColumn[size_t(x)];
    ax = x + ox * t;
    ay = y + oy * t;
    bx = x + ox * (1 - t);
    by = y + oy * (1 - t);
  });
}

// Target runs down over Input in drops of uneven length, like paint.
void DripKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap b = TargetAtSizeOf(target, in);
  const float t = Progress(p), h = float(in.Height()), drops = std::max(2.0f, p.Floats[1]);
  const float w = float(in.Width());
  Blend(in, b, out, [&](float x, float y) {
    // Each drop's lag: smooth noise along x, from a few random heights.
    const float u = x / w * drops;
    const int i = int(std::floor(u));
    const float f = u - float(i), s = f * f * (3 - 2 * f);
    const float l0 = float(Hash(uint32_t(i), 7u) & 0xFFFF) / 65535.0f, l1 = float(Hash(uint32_t(i + 1), 7u) & 0xFFFF) / 65535.0f;
    const float lag = (l0 + (l1 - l0) * s) * 0.5f;
    const float front = (t * 1.5f - lag) * h;
    return 1 - Smoothstep(front - 2, front + 2, y);
  });
}

// Swirls in rings that turn alternately one way and the other.
void BandedSwirlKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const float bands = std::max(1.0f, p.Floats[1]), radius = Hypot(in.Width() / 2.0f, in.Height() / 2.0f);
  const float turn = p.Floats[2] * kPi / 180;
  TurnedFade(in, TargetAtSizeOf(target, in), out, Progress(p),
             [&](float side, float r) { return turn * side * std::sin(r / radius * bands * kPi); });
}

// Circles on a grid grow until they cover the picture.
void CircleKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap b = TargetAtSizeOf(target, in);
  const float size = std::max(4.0f, p.Floats[1]), r = Progress(p) * size * 0.7072f;
  Blend(in, b, out, [&](float x, float y) {
    const float fx = x - (std::floor(x / size) + 0.5f) * size, fy = y - (std::floor(y / size) + 0.5f) * size;
    return 1 - Smoothstep(r - 0.75f, r + 0.75f, Hypot(fx, fy));
  });
}

// Crumpled like paper: a smooth random displacement that grows and fades.
void CrumpleKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap b = TargetAtSizeOf(target, in);
  const float strength = p.Floats[1], cell = std::max(8.0f, std::min(in.Width(), in.Height()) / 8.0f);
  // Random heights on a coarse grid, smoothly interpolated between.
  const int gw = int(in.Width() / cell) + 3, gh = int(in.Height() / cell) + 3;
  std::vector<float> grid[2];
  for (uint32_t seed = 0; seed < 2; ++seed) {
    grid[seed].resize(size_t(gw) * size_t(gh));
    for (int j = 0; j < gh; ++j)
      for (int i = 0; i < gw; ++i)
        grid[seed][size_t(j) * size_t(gw) + size_t(i)] = float(Hash(uint32_t(i) * 2 + seed + 1, uint32_t(j)) & 0xFFFF) / 32767.5f - 1;
  }
  // Where a place falls on the grid along one axis: the cell and the
  // smoothed weight of the next, worked out once per column (pixels are
  // asked at their middles, so x is a whole number and a half) and per
  // row instead of at every pixel.
  struct TAxis {
    int cell;
    float weight;
  };
  const auto axis = [&](float v, int cells) {
    const float u = std::clamp(v / cell, 0.0f, float(cells - 2));
    const int i = std::min(cells - 2, int(u));
    const float f = u - float(i);
    return TAxis{i, f * f * (3 - 2 * f)};
  };
  std::vector<TAxis> columns(static_cast<size_t>(in.Width())), rows(static_cast<size_t>(in.Height()));
  for (size_t x = 0; x < columns.size(); ++x) columns[x] = axis(float(x) + 0.5f, gw);
  for (size_t y = 0; y < rows.size(); ++y) rows[y] = axis(float(y) + 0.5f, gh);
  const auto noise = [&](float x, float y, int seed) {
    const TAxis& c = columns[size_t(x)];
    const TAxis& r = rows[size_t(y)];
    const float* g = grid[seed].data() + size_t(r.cell) * size_t(gw) + size_t(c.cell);
    const float top = g[0] + (g[1] - g[0]) * c.weight, bottom = g[gw] + (g[gw + 1] - g[gw]) * c.weight;
    return top + (bottom - top) * r.weight;
  };
  const float t = Progress(p), ka = strength * std::sin(t * kPi / 2), kb = strength * std::sin((1 - t) * kPi / 2);
  WarpedFade(in, b, out, t, [&](float x, float y, float& ax, float& ay, float& bx, float& by) {
    const float nx = noise(x, y, 0), ny = noise(x, y, 1);
    ax = x + nx * ka;
    ay = y + ny * ka;
    bx = x + nx * kb;
    by = y + ny * kb;
  }, true);
}

}  // namespace
}  // namespace fx

void RegisterTransitionFilters() {
  using namespace fx;
  const char* c = "Transition";
  Add(c, "Dissolve", "Pixels of the second picture appear at random.", {ProgressValue()}, DissolveKernel);
  Add(c, "Fade", "One picture fades into the other.", {ProgressValue()}, FadeKernel);
  Add(c, "Wipe", "A soft edge sweeps the second picture in.",
      {ProgressValue(), FloatValue("Angle", "Direction of the sweep in degrees", -180, 180, 0)}, WipeKernel);
  Add(c, "Slide", "The second picture slides in and pushes the first out.",
      {ProgressValue(), FloatValue("Angle", "Direction in degrees", -180, 180, 0)}, SlideKernel);
  Add(c, "Iris", "A circle opens from the middle onto the second picture.", {ProgressValue()}, IrisKernel);
  Add(c, "Blinds", "Slats turn open onto the second picture.",
      {ProgressValue(), FloatValue("Count", "Number of slats", 1, 100, 10)}, BlindsKernel);
  Add(c, "PixelateTransition", "Coarsens into blocks and clears again as the second picture.",
      {ProgressValue(), FloatValue("Size", "Largest block in pixels", 1, 200, 40)}, PixelateTransitionKernel);
  Add(c, "SwirlTransition", "Twists the first picture away and the second into place.",
      {ProgressValue(), FloatValue("Angle", "Largest twist in degrees", -1440, 1440, 360)}, SwirlTransitionKernel);
  Add(c, "RippleTransition", "Ripples carry one picture into the other.",
      {ProgressValue(), FloatValue("Amplitude", "Height of the ripples in pixels", 0, 100, 20),
       FloatValue("Wavelength", "Distance between ripples in pixels", 2, 400, 40)},
      RippleTransitionKernel);
  Add(c, "MagnifyTransition", "Zooms into the first picture and out of the second.",
      {ProgressValue(), FloatValue("Zoom", "Largest magnification", 1, 20, 4)}, MagnifyTransitionKernel);
  Add(c, "WaveTransition", "Waves carry one picture into the other.",
      {ProgressValue(), FloatValue("Amplitude", "Swing in pixels", 0, 100, 20),
       FloatValue("Wavelength", "Length of a wave in pixels", 2, 400, 80)},
      WaveTransitionKernel);
  Add(c, "Drip", "The second picture runs down over the first like drops of paint.",
      {ProgressValue(), FloatValue("Drops", "Number of drops across", 2, 200, 24)}, DripKernel);
  Add(c, "BandedSwirl", "Rings turning one way and the other carry the pictures.",
      {ProgressValue(), FloatValue("Bands", "Number of rings", 1, 40, 6), FloatValue("Angle", "Largest turn in degrees", -720, 720, 90)},
      BandedSwirlKernel);
  Add(c, "Circle", "Circles on a grid grow into the second picture.",
      {ProgressValue(), FloatValue("Size", "Distance between circles in pixels", 4, 400, 40)}, CircleKernel);
  Add(c, "Crumple", "The first picture crumples like paper and the second smooths out.",
      {ProgressValue(), FloatValue("Strength", "How far it crumples, in pixels", 0, 200, 40)}, CrumpleKernel);
}

}  // namespace karto
