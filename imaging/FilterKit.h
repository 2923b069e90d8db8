#pragma once
// What the catalogue's kernels share: the descriptions of parameters, the
// pixel arithmetic of Karto's 32-bit pixels ($AARRGGBB, not premultiplied),
// row loops split over the cores, a bilinear sampler with clamped edges that
// interpolates premultiplied colours (so transparent pixels do not bleed
// their hidden colour), and blurs whose cost does not grow with the radius.
//
// Conventions of the catalogue: points are fractions of the picture's width
// and height ((0.5, 0.5) is its middle), so a filter looks the same on a
// preview and on the full picture; lengths that shape a distortion are
// fractions of the picture's smaller side; blur radii are pixels; angles are
// degrees; a transition's Progress runs from 0 (Input) to 100 (Target).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/Filters.h"
#include "platform/Memory.h"
#include "platform/Parallel.h"

namespace karto::fx {

constexpr float kPi = 3.14159265358979f;

inline int A(uint32_t c) { return int(c >> 24); }
inline int R(uint32_t c) { return int((c >> 16) & 0xFF); }
inline int G(uint32_t c) { return int((c >> 8) & 0xFF); }
inline int B(uint32_t c) { return int(c & 0xFF); }
inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
inline int Clamp255(float v) { return v <= 0 ? 0 : (v >= 255 ? 255 : int(v + 0.5f)); }
inline uint32_t Argb(int a, int r, int g, int b) {
  return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}
// The colour channels of r, g, b with the alpha of c.
inline uint32_t WithAlpha(uint32_t c, int r, int g, int b) { return (c & 0xFF000000u) | (Argb(0, r, g, b)); }
// Rec. 601 luma in integers.
inline int Luma(uint32_t c) { return (77 * R(c) + 150 * G(c) + 29 * B(c) + 128) >> 8; }
inline float Smoothstep(float e0, float e1, float x) {
  const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3 - 2 * t);
}

// Whether kernels may take their AVX2 roads: the machine has AVX2 and
// nothing has forbidden them. Each such road has a plain twin that gives
// the same pixels; tests forbid the wide roads to compare the two.
bool WideLanes();
void AllowWideLanes(bool allow);

// floor for values well inside the int range, without a library call (the
// machines Karto is built for need not round in one instruction).
inline int FloorInt(float x) {
  const int i = int(x);
  return i - (x < float(i));
}

// Trigonometry good to about 1e-4, several times faster than the library's:
// distortions call it for every pixel, where the error is far below a
// pixel.
inline float FastSin(float x) {
  // Range-reduced to [-pi, pi], then a parabola refined once.
  const float twoPi = 2 * kPi;
  x -= twoPi * float(FloorInt((x + kPi) / twoPi));
  float y = (4 / kPi) * x - (4 / (kPi * kPi)) * x * std::fabs(x);
  return 0.225f * (y * std::fabs(y) - y) + y;
}
// The length of (x, y), without the library's care for overflow, which
// pixel distances never need.
inline float Hypot(float x, float y) { return std::sqrt(x * x + y * y); }
inline float FastCos(float x) { return FastSin(x + kPi / 2); }
inline float FastAtan2(float y, float x) {
  const float ax = std::fabs(x), ay = std::fabs(y);
  const float mx = std::max(ax, ay), mn = std::min(ax, ay);
  if (mx == 0) return 0;
  const float a = mn / mx, s = a * a;
  float r = ((-0.0464964749f * s + 0.15931422f) * s - 0.327622764f) * s * a + a;
  if (ay > ax) r = kPi / 2 - r;
  if (x < 0) r = kPi - r;
  return y < 0 ? -r : r;
}

// A function of a distance tabulated at quarter pixels up to a reach, read
// back with the nearest entry: for per-pixel work that depends on the
// distance from a centre only.
class TRadialTable {
 public:
  template <class F>
  TRadialTable(float reach, F f) : m_values(size_t(std::max(1.0f, reach) * 4) + 2) {
    for (size_t i = 0; i < m_values.size(); ++i) m_values[i] = f(float(i) / 4);
  }
  // (In int, which a row of look-ups converts to in vector lanes: r is a
  // distance, well inside the int range.)
  float operator()(float r) const { return m_values[size_t(std::min(int(m_values.size()) - 1, int(r * 4 + 0.5f)))]; }

 private:
  std::vector<float> m_values;
};

TShaderValueRec FloatValue(const char* name, const char* desc, double min, double max, double def);
TShaderValueRec PointValue(const char* name, const char* desc, TPointF def);
TShaderValueRec ColorValue(const char* name, const char* desc, TAlphaColor def);
// A transition's Progress, 0 to 100, default 50.
TShaderValueRec ProgressValue();

// Registers a filter under a category of the catalogue.
void Add(const char* category, const char* name, const char* desc, std::vector<TShaderValueRec> values,
         TFilterKernel kernel);

// Runs fn(y, out row) for every row of out, rows split across the cores;
// work is a rough count of operations per pixel.
template <class Fn>
void ForRows(TBitmap& out, int work, Fn&& fn) {
  uint32_t* const dst = out.Bits();
  const size_t stride = size_t(out.Stride());
  ParallelRows(out.Height(), (long long)out.Width() * std::max(1, work), [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) fn(y, dst + size_t(y) * stride);
  });
}

// Runs row(y, t, out row) for every row of out, rows split across the
// cores, with t the row's weights weight(x, y) laid out first: for kernels
// that mix or ramp a whole row at once, in vector lanes.
template <class Weight, class Row>
void ForRowsOfWeights(TBitmap& out, int work, Weight weight, Row row) {
  const int w = out.Width();
  uint32_t* const dst = out.Bits();
  const size_t stride = size_t(out.Stride());
  ParallelRows(out.Height(), (long long)w * std::max(1, work), [&](int y0, int y1) {
    std::vector<float> t(static_cast<size_t>(w));
    for (int y = y0; y < y1; ++y) {
      for (int x = 0; x < w; ++x) t[size_t(x)] = weight(x, y);
      row(y, t.data(), dst + size_t(y) * stride);
    }
  });
}

// Runs fn(y, x0, x1, out row) over out in tiles of 64 by 64 pixels,
// bands of tiles split across the cores. Warps that turn or swirl read the
// picture along slanted lines; a tile keeps what they read near the cores.
// Square, because a turned tile reads a turned copy of itself: a wide flat
// tile turned reads a little of many rows, a square one much of few.
constexpr int kTileSide = 64;
template <class Fn>
void ForTiles(TBitmap& out, int work, Fn&& fn) {
  constexpr int kRows = kTileSide, kColumns = kTileSide;
  uint32_t* const dst = out.Bits();
  const size_t stride = size_t(out.Stride());
  const int w = out.Width(), h = out.Height(), bands = (h + kRows - 1) / kRows;
  ParallelRows(bands, (long long)w * kRows * std::max(1, work), [&](int b0, int b1) {
    for (int band = b0; band < b1; ++band) {
      const int y0 = band * kRows, y1 = std::min(h, y0 + kRows);
      for (int x0 = 0; x0 < w; x0 += kColumns) {
        const int x1 = std::min(w, x0 + kColumns);
        for (int y = y0; y < y1; ++y) fn(y, x0, x1, dst + size_t(y) * stride);
      }
    }
  });
}

// out = map(in) pixel by pixel; map is inlined into the row loop.
template <class Map>
void MapPixels(const TBitmap& in, TBitmap& out, Map map) {
  const int w = in.Width();
  ForRows(out, 2, [&](int y, uint32_t* d) {
    const uint32_t* s = in.ScanLine(y);
    for (int x = 0; x < w; ++x) d[x] = map(s[x]);
  });
}

// A hash of two integers and a seed, spread over 32 bits: the same noise
// for the same pixel every run.
inline uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed = 0) {
  uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
  h ^= h >> 15;
  h *= 0x2c1b3c6du;
  h ^= h >> 12;
  h *= 0x297a2d39u;
  return h ^ (h >> 15);
}

// Premultiplied channels of a pixel, and back.
struct TPremul {
  float a = 0, r = 0, g = 0, b = 0;
};
inline TPremul Premul(uint32_t c) {
  const float a = float(A(c));
  const float k = a / 255.0f;
  return {a, R(c) * k, G(c) * k, B(c) * k};
}
inline uint32_t Unpremul(const TPremul& p) {
  if (p.a <= 0.5f) return 0;
  const float k = 255.0f / p.a;
  return Argb(Clamp255(p.a), Clamp255(p.r * k), Clamp255(p.g * k), Clamp255(p.b * k));
}
// Premultiplies b's colours by alpha (forward) or divides them back, in
// place; false, doing nothing, when forward finds every pixel opaque.
bool PremultiplyAll(TBitmap& b, bool forward);
// a and b mixed, t = 0 giving a and 1 giving b, through premultiplied
// colours so a transparent side lends no colour.
uint32_t Mix(uint32_t a, uint32_t b, float t);
// d[x] = Mix(a[x], b[x], t[x]) for x < n, the same bytes; a row of opaque
// pixels in vector lanes.
void MixRow(const uint32_t* a, const uint32_t* b, const float* t, uint32_t* d, int n);

// Prefetches the two rows of pixels a bilinear read at (x, y) takes.
inline void PrefetchPixels(const uint32_t* bits, size_t stride, int w, int h, float x, float y) {
  if (!(x == x) || !(y == y)) return;
  const int x0 = std::clamp(int(x - 0.5f), 0, w - 1), y0 = std::clamp(int(y - 0.5f), 0, h - 1);
  const uint32_t* p = bits + size_t(y0) * stride + size_t(x0);
  __builtin_prefetch(p);
  if (y0 + 1 < h) __builtin_prefetch(p + stride);
}

// Bilinear look-ups in a picture, pixel centres at (x + 0.5, y + 0.5);
// outside the picture the nearest edge pixel (clamped sampling).
class TSampler {
 public:
  explicit TSampler(const TBitmap& b) : m_b(b), m_w(b.Width()), m_h(b.Height()) {}
  int Width() const { return m_w; }
  int Height() const { return m_h; }
  uint32_t Pixel(int x, int y) const {
    return m_b.ScanLine(std::clamp(y, 0, m_h - 1))[std::clamp(x, 0, m_w - 1)];
  }
  uint32_t At(float x, float y) const;
  void Prefetch(float x, float y) const {
    PrefetchPixels(m_b.Bits(), size_t(m_b.Stride()), m_w, m_h, x, y);
  }

 private:
  const TBitmap& m_b;
  int m_w, m_h;
};

// The same look-ups in integers (8-bit weights, two channels a multiply),
// exact enough for pictures whose pixels are all opaque, where no colour
// hides behind transparency.
class TOpaqueSampler {
 public:
  explicit TOpaqueSampler(const TBitmap& b)
      : m_bits(b.Bits()), m_stride(size_t(b.Stride())), m_w(b.Width()), m_h(b.Height()) {}
  static uint32_t Lerp(uint32_t a, uint32_t b, uint32_t w) {
    const uint32_t rb = ((((a & 0x00FF00FFu) * (256 - w)) + ((b & 0x00FF00FFu) * w)) >> 8) & 0x00FF00FFu;
    const uint32_t ag = (((a >> 8) & 0x00FF00FFu) * (256 - w) + ((b >> 8) & 0x00FF00FFu) * w) & 0xFF00FF00u;
    return rb | ag;
  }
  // Asks the memory for the pixels At(x, y) will read, ahead of reading
  // them: warps that turn read the picture across its rows, where the
  // processor cannot guess the next read.
  void Prefetch(float x, float y) const { PrefetchPixels(m_bits, m_stride, m_w, m_h, x, y); }
  // Inlined into every warp's pixel loop: a call per sample cost as much
  // as the sample.
  __attribute__((always_inline)) uint32_t At(float x, float y) const {
    const float fx = std::clamp(x - 0.5f, -1.0f, float(m_w)), fy = std::clamp(y - 0.5f, -1.0f, float(m_h));
    if (!(fx == fx) || !(fy == fy)) return 0;
    // In 24.8 fixed point, rounded to a 256th: the whole pixel and the
    // weight of the next in one conversion (from 1 below, so that it
    // truncates towards the lower pixel).
    const int ix = int((fx + 1) * 256 + 0.5f) - 256, iy = int((fy + 1) * 256 + 0.5f) - 256;
    const int x0 = ix >> 8, y0 = iy >> 8;
    const uint32_t tx = uint32_t(ix & 255), ty = uint32_t(iy & 255);
    // Inside the picture the four pixels need no clamping; only the rim
    // does.
    if (unsigned(x0) < unsigned(m_w - 1) && unsigned(y0) < unsigned(m_h - 1)) {
      const uint32_t* r0 = m_bits + size_t(y0) * m_stride + x0;
      const uint32_t* r1 = r0 + m_stride;
#if defined(__SSE2__)
      // Both pairs of pixels as 16-bit channels, weighed down the column,
      // then the two halves weighed across: one register does all four.
      const __m128i zero = _mm_setzero_si128();
      const __m128i p0 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(r0)), zero);
      const __m128i p1 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(r1)), zero);
      const __m128i v = _mm_srli_epi16(
          _mm_add_epi16(_mm_mullo_epi16(p0, _mm_set1_epi16(short(256 - ty))), _mm_mullo_epi16(p1, _mm_set1_epi16(short(ty)))), 8);
      const short a = short(256 - tx), b = short(tx);
      const __m128i hsum = _mm_mullo_epi16(v, _mm_set_epi16(b, b, b, b, a, a, a, a));
      const __m128i c = _mm_srli_epi16(_mm_add_epi16(hsum, _mm_srli_si128(hsum, 8)), 8);
      return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(c, c)));
#else
      return Lerp(Lerp(r0[0], r0[1], tx), Lerp(r1[0], r1[1], tx), ty);
#endif
    }
    const uint32_t* r0 = m_bits + size_t(std::clamp(y0, 0, m_h - 1)) * m_stride;
    const uint32_t* r1 = m_bits + size_t(std::clamp(y0 + 1, 0, m_h - 1)) * m_stride;
    const int xa = std::clamp(x0, 0, m_w - 1), xb = std::clamp(x0 + 1, 0, m_w - 1);
    return Lerp(Lerp(r0[xa], r0[xb], tx), Lerp(r1[xa], r1[xb], tx), ty);
  }

 private:
  const uint32_t* m_bits;
  size_t m_stride;
  int m_w, m_h;
};

// Whether every pixel is opaque.
bool Opaque(const TBitmap& b);

// A warp's map over the pixels x0 .. x1 - 1 of row y at about half the
// cost: map(x, y, v) (false for no value) fills N coordinates for a pixel
// middle, and is asked at every other pixel; a pixel between two is given
// their mean where the map runs nearly straight there (its second
// difference over the neighbours within a fifth of a pixel, so the mean is
// off by under three hundredths), and is asked itself where the map bends,
// folds or wraps. put(x, ok, v) receives every pixel in order. Maps that
// turn, swirl or ripple spend more on their sines and roots than on the
// sample, so this nearly halves such warps.
template <int N, class Map, class Emit>
void HalfMapRun(int y, int x0, int x1, Map&& map, Emit&& put) {
  constexpr int kMax = 80;  // tiles are at most 128 pixels wide
  const float fy = float(y) + 0.5f;
  float v[kMax][N];
  bool ok[kMax];
  for (int start = x0; start < x1; start += 2 * (kMax - 2)) {
    const int end = std::min(x1, start + 2 * (kMax - 2));
    int m = 0;
    for (int x = start; x < end; x += 2, ++m) ok[m] = map(float(x) + 0.5f, fy, v[m]);
    const auto straight = [&](int k) {  // the second difference at even pixel k
      if (k <= 0 || k + 1 >= m || !ok[k - 1] || !ok[k] || !ok[k + 1]) return false;
      for (int i = 0; i < N; ++i)
        if (std::fabs(v[k + 1][i] - 2 * v[k][i] + v[k - 1][i]) > 0.2f) return false;
      return true;
    };
    for (int k = 0; k < m; ++k) {
      const int x = start + 2 * k;
      put(x, ok[k], v[k]);
      if (x + 1 >= end) break;
      // Straight at both even pixels beside, where each has neighbours to
      // tell (at a run's ends only the inner one does).
      float mid[N];
      const bool left = straight(k), right = k + 1 < m && straight(k + 1);
      if (k + 1 < m && (left || right) && (left || k == 0) && (right || k + 2 >= m)) {
        for (int i = 0; i < N; ++i) mid[i] = 0.5f * (v[k][i] + v[k + 1][i]);
        put(x + 1, true, mid);
      } else {
        const bool midOk = map(float(x + 1) + 0.5f, fy, mid);
        put(x + 1, midOk, mid);
      }
    }
  }
}

// A warp's map over n pixels of row y from x0: the places to read (and
// whether to read at all), in a plain loop the compiler puts in vector
// lanes where the map allows (roots, divisions, look-ups); built for AVX2
// too, the machine picking one. The same numbers either way (no step is
// fused).
template <class Map>
inline void MapRow(Map& map, int y, int x0, int n, float* xs, float* ys, uint8_t* ok) {
  for (int i = 0; i < n; ++i) {
    float sx = float(x0 + i) + 0.5f, sy = float(y) + 0.5f;
    ok[i] = map(sx, sy) ? 1 : 0;
    xs[i] = sx;
    ys[i] = sy;
  }
}
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
template <class Map>
__attribute__((target("avx2"))) void MapRowAvx2(Map& map, int y, int x0, int n, float* xs, float* ys, uint8_t* ok) {
  for (int i = 0; i < n; ++i) {
    float sx = float(x0 + i) + 0.5f, sy = float(y) + 0.5f;
    ok[i] = map(sx, sy) ? 1 : 0;
    xs[i] = sx;
    ys[i] = sy;
  }
}
#endif

// out(x, y) = in sampled at map(x, y): map receives the middle of an output
// pixel in pixels and returns where to read; it may also return false to
// leave the pixel transparent. smooth says map bends gently enough for
// HalfMapRun (which checks, and asks the map itself where it does not).
template <class Map>
void WarpPixels(const TBitmap& in, TBitmap& out, Map map, bool smooth = false) {
  const bool wide = WideLanes();
  (void)wide;  // (no wide road off x86-64)
  const auto run = [&](const auto& s, int work) {
    ForTiles(out, work, [&](int y, int x0, int x1, uint32_t* d) {
      if (smooth) {
        HalfMapRun<2>(
            y, x0, x1,
            [&](float x, float yy, float* v) {
              v[0] = x;
              v[1] = yy;
              return map(v[0], v[1]);
            },
            [&](int x, bool ok, const float* v) { d[x] = ok ? s.At(v[0], v[1]) : 0u; });
        return;
      }
      float xs[kTileSide], ys[kTileSide];
      uint8_t ok[kTileSide];
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
      if (wide) MapRowAvx2(map, y, x0, x1 - x0, xs, ys, ok);
      else
#endif
        MapRow(map, y, x0, x1 - x0, xs, ys, ok);
      for (int x = x0; x < x1; ++x) d[x] = ok[x - x0] ? s.At(xs[x - x0], ys[x - x0]) : 0u;
    });
  };
  if (Opaque(in)) run(TOpaqueSampler(in), 25);
  else run(TSampler(in), 40);
}

// out(x, y) = in sampled at (xs[x], ys[y]), as WarpPixels reads the place a
// map gives for the middle of pixel (x, y): for warps that move the
// columns and the rows each on their own (tiles, mirrors). An opaque
// picture's reads are laid out once per column and once per row, and each
// pixel only weighs its four neighbours.
void WarpAlongAxes(const TBitmap& in, TBitmap& out, const std::vector<float>& xs, const std::vector<float>& ys);

// The picture blurred like a Gaussian of sigma pixels (three box passes per
// axis), colours weighted by alpha. in and out may be the same bitmap.
void GaussianBlurBitmap(const TBitmap& in, TBitmap& out, float sigma);
// One box pass of radius r per axis; along rows only; along columns only.
void BoxBlurBitmap(const TBitmap& in, TBitmap& out, int radius);
void BoxBlurRows(const TBitmap& in, TBitmap& out, int radius);
void BoxBlurColumns(const TBitmap& in, TBitmap& out, int radius);

// Planes of one channel, blurred in place like a Gaussian of sigma pixels;
// the 16-bit plane may instead be given the blur of another plane of its
// size (source), which saves copying that plane in first.
void GaussianBlurPlane(std::vector<float>& plane, int w, int h, float sigma);
void GaussianBlurPlane16(TPlane<uint16_t>& plane, int w, int h, float sigma, const uint16_t* source = nullptr);

// A transition's second picture at the size of the first (the same bitmap
// when the sizes agree, else stretched bilinearly).
TBitmap TargetAtSizeOf(const TBitmap& target, const TBitmap& input);

}  // namespace karto::fx
