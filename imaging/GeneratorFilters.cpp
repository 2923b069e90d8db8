// Generators: pictures made from nothing but their parameters, the size of
// Input. Gradients are dithered (an ordered 4 x 4 pattern, less than one
// level) so a slow ramp shows no bands.

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"

namespace karto {

namespace fx {
namespace {

// Less than one level, different in every pixel of a 4 x 4 block.
inline float Dither(int x, int y) {
  static const float kBayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
  return (kBayer[(y & 3) * 4 + (x & 3)] + 0.5f) / 16.0f - 0.5f;
}

// a mixed with b by t, dithered, through premultiplied colours.
inline uint32_t Ramp(uint32_t a, uint32_t b, float t, int x, int y) {
  const TPremul p = Premul(a), q = Premul(b);
  const float u = 1 - t, n = Dither(x, y);
  TPremul m{p.a * u + q.a * t + n, p.r * u + q.r * t, p.g * u + q.g * t, p.b * u + q.b * t};
  if (m.a >= 254.5f) return Argb(255, Clamp255(m.r + n), Clamp255(m.g + n), Clamp255(m.b + n));
  const float k = m.a > 0.5f ? 255.0f / m.a : 0;
  return Argb(Clamp255(m.a), Clamp255(m.r * k + n), Clamp255(m.g * k + n), Clamp255(m.b * k + n));
}

// Ramp's road for two opaque colours a and b (channels as numbers) along a
// row: t[x] per pixel, the row's four dither values repeating. Without
// branches, so that the compiler puts it in vector lanes. (Opaque colours
// stay opaque whatever the dither: less than half a level.)
KARTO_WIDE_CLONES void OpaqueRampRow(const float* a, const float* b, const float* t, const float* dither, uint32_t* d, int n) {
  for (int x = 0; x < n; ++x) {
    const float v = t[x], u = 1 - v, noise = dither[x & 3];
    const auto channel = [&](int k) {
      return uint32_t(Clamp255(a[k] * u + b[k] * v + noise));
    };
    d[x] = 0xFF000000u | channel(0) << 16 | channel(1) << 8 | channel(2);
  }
}

// out ramped from a to b by t(x, y) (0 .. 1) per pixel: a row's t first,
// then the row ramped in one go.
template <class T>
void Gradient(TBitmap& out, uint32_t a, uint32_t b, T t) {
  const int w = out.Width();
  const bool opaque = (a >> 24) == 0xFF && (b >> 24) == 0xFF;
  const float ca[3] = {float(R(a)), float(G(a)), float(B(a))}, cb[3] = {float(R(b)), float(G(b)), float(B(b))};
  ForRowsOfWeights(out, 20, t, [&](int y, const float* ts, uint32_t* d) {
    if (opaque) {
      const float dither[4] = {Dither(0, y), Dither(1, y), Dither(2, y), Dither(3, y)};
      OpaqueRampRow(ca, cb, ts, dither, d, w);
    } else {
      for (int x = 0; x < w; ++x) d[x] = Ramp(a, b, ts[x], x, y);
    }
  });
}

void SolidColorKernel(const TFilterParams& p, const TBitmap&, const TBitmap&, TBitmap& out) { out.Clear(p.Colors[0]); }

void CheckerboardKernel(const TFilterParams& p, const TBitmap&, const TBitmap&, TBitmap& out) {
  const int size = std::max(1, int(std::lround(p.Floats[0])));
  const uint32_t a = p.Colors[1], b = p.Colors[2];
  const int w = out.Width();
  ForRows(out, 2, [&](int y, uint32_t* d) {
    for (int x = 0; x < w; ++x) d[x] = ((x / size + y / size) & 1) ? b : a;
  });
}

void LinearGradientKernel(const TFilterParams& p, const TBitmap&, const TBitmap&, TBitmap& out) {
  const float w = float(out.Width()), h = float(out.Height());
  const float x0 = p.Points[0].X * w, y0 = p.Points[0].Y * h, x1 = p.Points[1].X * w, y1 = p.Points[1].Y * h;
  const float dx = x1 - x0, dy = y1 - y0, len2 = std::max(1e-6f, dx * dx + dy * dy);
  Gradient(out, p.Colors[2], p.Colors[3], [&](int x, int y) {
    return std::clamp(((x + 0.5f - x0) * dx + (y + 0.5f - y0) * dy) / len2, 0.0f, 1.0f);
  });
}

void RadialGradientKernel(const TFilterParams& p, const TBitmap&, const TBitmap&, TBitmap& out) {
  const float w = float(out.Width()), h = float(out.Height());
  const float cx = p.Points[0].X * w, cy = p.Points[0].Y * h;
  const float radius = std::max(1.0f, p.Floats[1] * std::min(w, h));
  Gradient(out, p.Colors[2], p.Colors[3],
           [&](int x, int y) { return std::min(1.0f, Hypot(x + 0.5f - cx, y + 0.5f - cy) / radius); });
}

// Random grey (or colour) noise added to the picture.
void NoiseKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float amount = p.Floats[0] * 255;
  const uint32_t seed = uint32_t(p.Floats[1]);
  const bool mono = p.Floats[2] >= 0.5f;
  const int w = in.Width();
  ForRows(out, 10, [&](int y, uint32_t* d) {
    const uint32_t* s = in.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const uint32_t hsh = Hash(uint32_t(x), uint32_t(y), seed);
      const auto n = [&](int shift) { return (float((hsh >> shift) & 0xFF) / 255.0f - 0.5f) * amount; };
      const float nr = n(0), ng = mono ? nr : n(8), nb = mono ? nr : n(16);
      d[x] = WithAlpha(s[x], Clamp255(R(s[x]) + nr), Clamp255(G(s[x]) + ng), Clamp255(B(s[x]) + nb));
    }
  });
}

void StripesKernel(const TFilterParams& p, const TBitmap&, const TBitmap&, TBitmap& out) {
  const float width = std::max(1.0f, p.Floats[0]), angle = p.Floats[1] * kPi / 180;
  const float cs = std::cos(angle), sn = std::sin(angle);
  const int iw = out.Width();
  // Rows of the two colours to mix.
  const std::vector<uint32_t> first(static_cast<size_t>(iw), p.Colors[2]), second(static_cast<size_t>(iw), p.Colors[3]);
  ForRowsOfWeights(
      out, 20,
      [&](int x, int y) {
        // Position across the stripes in stripe widths; the edges are
        // smoothed over a pixel.
        const float u = ((x + 0.5f) * cs + (y + 0.5f) * sn) / width;
        const float f = u - std::floor(u / 2) * 2;  // 0 .. 2: first colour, then second
        // Signed distance to the nearest edge, positive inside the second colour.
        const float sd = f >= 1 ? std::min(f - 1, 2 - f) : -std::min(f, 1 - f);
        const float t = 0.5f + sd * width;  // one pixel of smoothing
        return std::clamp(t, 0.0f, 1.0f);
      },
      [&](int, const float* ts, uint32_t* d) { MixRow(first.data(), second.data(), ts, d, iw); });
}

}  // namespace
}  // namespace fx

void RegisterGeneratorFilters() {
  using namespace fx;
  const char* c = "Generator";
  Add(c, "SolidColor", "A picture of one colour.", {ColorValue("Color", "The colour", 0xFF3A7BD5u)}, SolidColorKernel);
  Add(c, "Checkerboard", "Squares of two colours.",
      {FloatValue("Size", "Side of a square in pixels", 1, 500, 32), ColorValue("Color1", "First colour", 0xFFFFFFFFu),
       ColorValue("Color2", "Second colour", 0xFF404040u)},
      CheckerboardKernel);
  Add(c, "LinearGradient", "Colour changing smoothly along a line.",
      {PointValue("Start", "Where the first colour is", {0, 0.5f}),
       PointValue("End", "Where the second colour is", {1, 0.5f}),
       ColorValue("Color1", "First colour", 0xFF000000u), ColorValue("Color2", "Second colour", 0xFFFFFFFFu)},
      LinearGradientKernel);
  Add(c, "RadialGradient", "Colour changing smoothly outwards from a point.",
      {PointValue("Center", "Where the first colour is", {0.5f, 0.5f}),
       FloatValue("Radius", "Where the second colour is reached, as a share of the picture", 0.01, 2, 0.5),
       ColorValue("Color1", "Colour at the middle", 0xFFFFFFFFu), ColorValue("Color2", "Colour outside", 0xFF000000u)},
      RadialGradientKernel);
  Add(c, "Noise", "Adds random grain to the picture.",
      {FloatValue("Amount", "Strength of the grain", 0, 1, 0.2), FloatValue("Seed", "Another seed, another grain", 0, 1000, 1),
       FloatValue("Monochrome", "1: grey grain, 0: coloured", 0, 1, 1)},
      NoiseKernel);
  Add(c, "Stripes", "Parallel stripes of two colours.",
      {FloatValue("Width", "Width of a stripe in pixels", 1, 500, 20), FloatValue("Angle", "Direction in degrees", -180, 180, 45),
       ColorValue("Color1", "First colour", 0xFFFFFFFFu), ColorValue("Color2", "Second colour", 0xFF202020u)},
      StripesKernel);
}

}  // namespace karto
