// Colour adjustments: brightness, contrast, gamma, exposure, levels,
// posterise and threshold through one 256-entry table per run; saturation,
// hue and vibrance per pixel; sharpen as an unsharp mask. Alpha is kept.

#include <array>

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"
#include "platform/Parallel.h"

namespace karto {

namespace fx {
namespace {

using TLut = std::array<uint8_t, 256>;

// Runs the same table on the three colour channels.
void ApplyLut(const TLut& lut, const TBitmap& in, TBitmap& out) {
  MapPixels(in, out, [&lut](uint32_t c) { return WithAlpha(c, lut[size_t(R(c))], lut[size_t(G(c))], lut[size_t(B(c))]); });
}

template <class F>
TLut MakeLut(F f) {
  TLut lut;
  for (int i = 0; i < 256; ++i) lut[size_t(i)] = uint8_t(Clamp255(f(float(i) / 255.0f) * 255.0f));
  return lut;
}

// Per channel: (v - mid) * contrast + mid + brightness, on 0..1 values.
void ContrastKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float brightness = p.Floats[0], contrast = p.Floats[1];
  ApplyLut(MakeLut([=](float v) { return (v - 0.5f) * contrast + 0.5f + brightness; }), in, out);
}

void BrightnessKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float b = p.Floats[0];
  ApplyLut(MakeLut([=](float v) { return v + b; }), in, out);
}

void GammaKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float inv = 1.0f / std::max(0.01f, p.Floats[0]);
  ApplyLut(MakeLut([=](float v) { return std::pow(v, inv); }), in, out);
}

// Stops of exposure on linear light: the channel is turned linear, scaled
// by 2^stops and turned back.
void ExposureKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float k = std::exp2(p.Floats[0]);
  ApplyLut(MakeLut([=](float v) { return std::pow(std::pow(v, 2.2f) * k, 1 / 2.2f); }), in, out);
}

void LevelsKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float inBlack = p.Floats[0], inWhite = std::max(inBlack + 0.004f, p.Floats[1]);
  const float gamma = std::max(0.01f, p.Floats[2]), outBlack = p.Floats[3], outWhite = p.Floats[4];
  ApplyLut(MakeLut([=](float v) {
             const float t = std::clamp((v - inBlack) / (inWhite - inBlack), 0.0f, 1.0f);
             return outBlack + std::pow(t, 1 / gamma) * (outWhite - outBlack);
           }),
           in, out);
}

void PosterizeKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float n = std::max(2.0f, std::round(p.Floats[0])) - 1;
  ApplyLut(MakeLut([=](float v) { return std::round(v * n) / n; }), in, out);
}

void ThresholdKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const int level = int(std::lround(p.Floats[0] * 255));
  MapPixels(in, out, [level](uint32_t c) { return (c & 0xFF000000u) | (Luma(c) >= level ? 0x00FFFFFFu : 0u); });
}

// Saturation: each channel moved away from (or towards) the pixel's grey.
void SaturationKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const int k = int(std::lround(p.Floats[0] * 256));
  MapPixels(in, out, [k](uint32_t c) {
    const int l = Luma(c);
    return WithAlpha(c, Clamp255(l + (((R(c) - l) * k) >> 8)), Clamp255(l + (((G(c) - l) * k) >> 8)),
                     Clamp255(l + (((B(c) - l) * k) >> 8)));
  });
}

// Vibrance: saturation raised more where it is low, so skin and already
// bright colours are spared. A row at a time in plain steps without
// branches, which the compiler puts in vector lanes (eight with AVX2).
KARTO_WIDE_CLONES void VibranceRow(const uint32_t* s, uint32_t* d, int w, float amount) {
  for (int x = 0; x < w; ++x) {
    const uint32_t c = s[x];
    const int r = R(c), g = G(c), b = B(c);
    const int mx = std::max(r, std::max(g, b)), mn = std::min(r, std::min(g, b));
    const float sat = float(mx - mn) / float(std::max(mx, 1));  // 0 for black
    const float k = 1 + amount * (1 - sat);
    const float l = float(Luma(c));
    const auto channel = [&](int v) { return uint32_t(std::clamp(l + (float(v) - l) * k, 0.0f, 255.0f) + 0.5f); };
    d[x] = (c & 0xFF000000u) | channel(r) << 16 | channel(g) << 8 | channel(b);
  }
}

void VibranceKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float amount = p.Floats[0];
  const int w = in.Width();
  ForRows(out, 2, [&](int y, uint32_t* d) { VibranceRow(in.ScanLine(y), d, w, amount); });
}

// Hue: the colour turned about the grey axis (a rotation in YIQ).
void HueKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float a = p.Floats[0] * kPi / 180, cs = std::cos(a), sn = std::sin(a);
  // The rotation matrix in RGB, in 8.8 fixed point.
  const float m[9] = {0.299f + 0.701f * cs + 0.168f * sn, 0.587f - 0.587f * cs + 0.330f * sn, 0.114f - 0.114f * cs - 0.497f * sn,
                      0.299f - 0.299f * cs - 0.328f * sn, 0.587f + 0.413f * cs + 0.035f * sn, 0.114f - 0.114f * cs + 0.292f * sn,
                      0.299f - 0.300f * cs + 1.250f * sn, 0.587f - 0.588f * cs - 1.050f * sn, 0.114f + 0.886f * cs - 0.203f * sn};
  int k[9];
  for (int i = 0; i < 9; ++i) k[i] = int(std::lround(m[i] * 256));
  MapPixels(in, out, [&k](uint32_t c) {
    const int r = R(c), g = G(c), b = B(c);
    return WithAlpha(c, Clamp255((k[0] * r + k[1] * g + k[2] * b + 128) >> 8),
                     Clamp255((k[3] * r + k[4] * g + k[5] * b + 128) >> 8),
                     Clamp255((k[6] * r + k[7] * g + k[8] * b + 128) >> 8));
  });
}

// Unsharp mask: v + amount * (v - blur(v)), with the 3 x 3 binomial blur
// [1 2 1] x [1 2 1] / 16. Rows are blurred horizontally into a rolling window
// of three rows, so each pixel is read once per pass.
void SharpenKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const int w = in.Width(), h = in.Height();
  const int k = int(std::lround(p.Floats[0] * 256.0f));  // amount in 8.8 fixed point
  auto hblur = [&](int y, uint16_t* row) {  // 3 channels interleaved, sums of weight 4
    const uint32_t* s = in.ScanLine(std::clamp(y, 0, h - 1));
    for (int x = 0; x < w; ++x) {
      const uint32_t l = s[std::max(x - 1, 0)], c = s[x], r = s[std::min(x + 1, w - 1)];
      for (int ch = 0; ch < 3; ++ch) {
        const int sh = 16 - 8 * ch;
        row[3 * x + ch] = uint16_t(((l >> sh) & 0xFF) + 2 * ((c >> sh) & 0xFF) + ((r >> sh) & 0xFF));
      }
    }
  };
  uint32_t* const dst = out.Bits();
  const size_t dstStride = size_t(out.Stride());
  ParallelRows(h, 30LL * w, [&](int y0, int y1) {
    std::vector<uint16_t> buf(size_t(3) * 3 * size_t(w));
    uint16_t* rows[3] = {buf.data(), buf.data() + 3 * size_t(w), buf.data() + 6 * size_t(w)};
    hblur(y0 - 1, rows[0]);
    hblur(y0, rows[1]);
    for (int y = y0; y < y1; ++y) {
      hblur(y + 1, rows[2]);
      const uint32_t* s = in.ScanLine(y);
      uint32_t* d = dst + size_t(y) * dstStride;
      for (int x = 0; x < w; ++x) {
        const uint32_t c = s[x];
        int ch3[3];
        for (int ch = 0; ch < 3; ++ch) {
          const int v = int((c >> (16 - 8 * ch)) & 0xFF);
          const size_t i = size_t(3 * x + ch);
          const int blur16 = rows[0][i] + 2 * rows[1][i] + rows[2][i];  // 16 x blur
          const int diff16 = v * 16 - blur16;
          ch3[ch] = Clamp255(v + ((diff16 * k + (diff16 >= 0 ? 2048 : -2048)) / 4096));
        }
        d[x] = WithAlpha(c, ch3[0], ch3[1], ch3[2]);
      }
      std::rotate(rows, rows + 1, rows + 3);
    }
  });
}

}  // namespace
}  // namespace fx

void RegisterAdjustFilters() {
  using namespace fx;
  Add("Color Adjust", "Brightness", "Makes the picture lighter or darker.",
      {FloatValue("Brightness", "Shift towards white (positive) or black", -1, 1, 0.1)}, BrightnessKernel);
  Add("Color Adjust", "Contrast", "Changes the brightness and the contrast of a picture.",
      {FloatValue("Brightness", "Shift towards white (positive) or black", -1, 1, 0),
       FloatValue("Contrast", "Stretch about mid-grey; 1 keeps the picture", 0, 2, 1.5)},
      ContrastKernel);
  Add("Color Adjust", "Gamma", "Lightens or darkens the middle tones, keeping black and white.",
      {FloatValue("Gamma", "Above 1 lightens, below 1 darkens", 0.1, 5, 1.5)}, GammaKernel);
  Add("Color Adjust", "Saturation", "Makes colours stronger or paler.",
      {FloatValue("Amount", "0 grey, 1 unchanged, above 1 stronger", 0, 3, 1.5)}, SaturationKernel);
  Add("Color Adjust", "Hue", "Turns every colour round the colour wheel.",
      {FloatValue("Angle", "Degrees round the wheel", -180, 180, 60)}, HueKernel);
  Add("Color Adjust", "Exposure", "Adds or takes light as a longer or shorter exposure would.",
      {FloatValue("Stops", "Each stop doubles the light", -5, 5, 0.5)}, ExposureKernel);
  Add("Color Adjust", "Levels", "Maps a range of input tones onto a range of output tones.",
      {FloatValue("InputBlack", "Input tone that becomes black", 0, 1, 0.05),
       FloatValue("InputWhite", "Input tone that becomes white", 0, 1, 0.95),
       FloatValue("Gamma", "Middle tones: above 1 lighter", 0.1, 5, 1),
       FloatValue("OutputBlack", "Darkest output tone", 0, 1, 0),
       FloatValue("OutputWhite", "Lightest output tone", 0, 1, 1)},
      LevelsKernel);
  Add("Color Adjust", "Posterize", "Reduces every channel to a few levels, like a poster print.",
      {FloatValue("Levels", "Levels per channel", 2, 32, 4)}, PosterizeKernel);
  Add("Color Adjust", "Threshold", "Black below a lightness, white above it.",
      {FloatValue("Level", "The lightness that divides black from white", 0, 1, 0.5)}, ThresholdKernel);
  Add("Color Adjust", "Vibrance", "Strengthens dull colours more than strong ones.",
      {FloatValue("Amount", "Below 0 paler, above 0 livelier", -1, 1, 0.5)}, VibranceKernel);
  Add("Color Adjust", "Sharpen", "Sharpens edges with an unsharp mask.",
      {FloatValue("Amount", "Strength of the sharpening; 0 keeps the picture", 0, 2, 1)}, SharpenKernel);
}

}  // namespace karto
