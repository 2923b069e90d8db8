// Colour filters: each pixel's colour becomes another one; alpha is kept.

#include <array>

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"
#include "platform/Parallel.h"

namespace karto {

namespace fx {
namespace {

void InvertKernel(const TFilterParams&, const TBitmap& in, const TBitmap&, TBitmap& out) {
  MapPixels(in, out, [](uint32_t c) { return c ^ 0x00FFFFFFu; });
}

void MonochromeKernel(const TFilterParams&, const TBitmap& in, const TBitmap&, TBitmap& out) {
  MapPixels(in, out, [](uint32_t c) {
    const int l = Luma(c);
    return WithAlpha(c, l, l, l);
  });
}

// The classic sepia matrix, mixed with the picture by Amount.
void SepiaKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const int k = int(std::lround(std::clamp(p.Floats[0], 0.0f, 1.0f) * 256));
  MapPixels(in, out, [k](uint32_t c) {
    const int r = R(c), g = G(c), b = B(c);
    const int sr = std::min(255, (101 * r + 197 * g + 48 * b) >> 8);
    const int sg = std::min(255, (89 * r + 176 * g + 43 * b) >> 8);
    const int sb = std::min(255, (70 * r + 137 * g + 34 * b) >> 8);
    return WithAlpha(c, r + (((sr - r) * k) >> 8), g + (((sg - g) * k) >> 8), b + (((sb - b) * k) >> 8));
  });
}

// Pixels near Color become transparent (a green screen), with a soft edge.
// A row at a time in plain steps without branches, which the compiler puts
// in vector lanes (eight with AVX2).
KARTO_WIDE_CLONES void ColorKeyRow(const uint32_t* s, uint32_t* d, int w, uint32_t key, float tolerance, float softness) {
  const float kr = float(R(key)), kg = float(G(key)), kb = float(B(key));
  for (int x = 0; x < w; ++x) {
    const uint32_t c = s[x];
    const float dr = float(R(c)) - kr, dg = float(G(c)) - kg, db = float(B(c)) - kb;
    const float dist = std::sqrt(dr * dr + dg * dg + db * db);
    const float keep = std::clamp((dist - tolerance) / softness, 0.0f, 1.0f);
    d[x] = (c & 0x00FFFFFFu) | uint32_t(float(A(c)) * keep + 0.5f) << 24;
  }
}

void ColorKeyKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const uint32_t key = p.Colors[0];
  const float tolerance = p.Floats[1] * 441.7f, softness = std::max(1.0f, p.Floats[2] * 441.7f);
  const int w = in.Width();
  ForRows(out, 2, [&](int y, uint32_t* d) { ColorKeyRow(in.ScanLine(y), d, w, key, tolerance, softness); });
}

// Every pixel takes Color, keeping its own alpha (multiplied by Color's).
void FillKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const uint32_t fill = p.Colors[0];
  MapPixels(in, out, [fill](uint32_t c) {
    return (fill & 0x00FFFFFFu) | uint32_t((A(c) * A(fill) + 127) / 255) << 24;
  });
}

// The picture's lightness in the hue of Color, mixed in by Amount.
void TintKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const uint32_t t = p.Colors[0];
  const int k = int(std::lround(std::clamp(p.Floats[1], 0.0f, 1.0f) * 256));
  MapPixels(in, out, [t, k](uint32_t c) {
    const int l = Luma(c);
    const int tr = (R(t) * l + 127) / 255, tg = (G(t) * l + 127) / 255, tb = (B(t) * l + 127) / 255;
    return WithAlpha(c, R(c) + (((tr - R(c)) * k) >> 8), G(c) + (((tg - G(c)) * k) >> 8),
                     B(c) + (((tb - B(c)) * k) >> 8));
  });
}

// Each output channel a weighted sum of the input's three.
void ChannelMixerKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  std::array<int, 9> m;
  for (size_t i = 0; i < 9; ++i) m[i] = int(std::lround(p.Floats[i] * 256));
  MapPixels(in, out, [&m](uint32_t c) {
    const int r = R(c), g = G(c), b = B(c);
    return WithAlpha(c, Clamp255((m[0] * r + m[1] * g + m[2] * b + 128) >> 8),
                     Clamp255((m[3] * r + m[4] * g + m[5] * b + 128) >> 8),
                     Clamp255((m[6] * r + m[7] * g + m[8] * b + 128) >> 8));
  });
}

}  // namespace
}  // namespace fx

void RegisterColorFilters() {
  using namespace fx;
  Add("Color", "Invert", "Turns every colour into its opposite.", {}, InvertKernel);
  Add("Color", "Monochrome", "Turns a picture into its luminance grey.", {}, MonochromeKernel);
  Add("Color", "Sepia", "Browns the picture like an old photograph.",
      {FloatValue("Amount", "How much of the sepia tone; 0 keeps the picture", 0, 1, 1)}, SepiaKernel);
  Add("Color", "ColorKey", "Makes the pixels of one colour transparent, as a green screen.",
      {ColorValue("Color", "The colour to remove", 0xFF00FF00u),
       FloatValue("Tolerance", "How far a colour may lie from it and still go", 0, 1, 0.2),
       FloatValue("Softness", "Width of the half-transparent edge", 0, 1, 0.1)},
      ColorKeyKernel);
  Add("Color", "Fill", "Paints every pixel in one colour, keeping the picture's transparency.",
      {ColorValue("Color", "The colour to paint", 0xFF3060C0u)}, FillKernel);
  Add("Color", "Tint", "Colours the picture's light and shade in one hue.",
      {ColorValue("Color", "The hue", 0xFFE0A040u), FloatValue("Amount", "How strongly", 0, 1, 0.8)}, TintKernel);
  Add("Color", "ChannelMixer", "Builds each colour channel from a mix of the three.",
      {FloatValue("RedFromRed", "Red in the new red", -2, 2, 1),
       FloatValue("RedFromGreen", "Green in the new red", -2, 2, 0),
       FloatValue("RedFromBlue", "Blue in the new red", -2, 2, 0),
       FloatValue("GreenFromRed", "Red in the new green", -2, 2, 0),
       FloatValue("GreenFromGreen", "Green in the new green", -2, 2, 1),
       FloatValue("GreenFromBlue", "Blue in the new green", -2, 2, 0),
       FloatValue("BlueFromRed", "Red in the new blue", -2, 2, 0),
       FloatValue("BlueFromGreen", "Green in the new blue", -2, 2, 0),
       FloatValue("BlueFromBlue", "Blue in the new blue", -2, 2, 1)},
      ChannelMixerKernel);
}

}  // namespace karto
