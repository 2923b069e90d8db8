// Styles: the picture redrawn in a manner (relief, mosaic, outlines,
// cartoon, glow, halftone dots, pencil on paper). Alpha is kept.

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"
#include "platform/Parallel.h"

namespace karto {

namespace fx {
namespace {

// The 3 x 3 neighbourhood's lightness (luma), edges repeated.
struct TLumaRows {
  const TBitmap& in;
  int w, h;
  void Row(int y, std::vector<int>& out) const {
    const uint32_t* s = in.ScanLine(std::clamp(y, 0, h - 1));
    for (int x = 0; x < w; ++x) out[size_t(x) + 1] = Luma(s[x]);
    out[0] = out[1];
    out[size_t(w) + 1] = out[size_t(w)];
  }
};

// Sobel gradient of lightness per pixel, handed with the pixel to
// fn(pixel, gx, gy), whose result is written.
template <class Fn>
void Gradients(const TBitmap& in, TBitmap& out, Fn fn) {
  const int w = in.Width(), h = in.Height();
  const TLumaRows rows{in, w, h};
  uint32_t* const dst = out.Bits();
  const size_t stride = size_t(out.Stride());
  ParallelRows(h, 30LL * w, [&](int y0, int y1) {
    std::vector<int> a(size_t(w) + 2), b(size_t(w) + 2), c(size_t(w) + 2);
    rows.Row(y0 - 1, a);
    rows.Row(y0, b);
    for (int y = y0; y < y1; ++y) {
      rows.Row(y + 1, c);
      uint32_t* d = dst + size_t(y) * stride;
      const uint32_t* s = in.ScanLine(y);
      for (int x = 0; x < w; ++x) {
        const size_t i = size_t(x) + 1;
        const int gx = (a[i + 1] + 2 * b[i + 1] + c[i + 1]) - (a[i - 1] + 2 * b[i - 1] + c[i - 1]);
        const int gy = (c[i - 1] + 2 * c[i] + c[i + 1]) - (a[i - 1] + 2 * a[i] + a[i + 1]);
        d[x] = fn(s[x], gx, gy);
      }
      std::swap(a, b);
      std::swap(b, c);
    }
  });
}

void EmbossKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float amount = p.Floats[0] / 4, a = p.Floats[1] * kPi / 180;
  const float lx = std::cos(a), ly = std::sin(a);
  Gradients(in, out, [&](uint32_t c, int gx, int gy) {
    const int v = Clamp255(128 + (gx * lx + gy * ly) * amount);
    return WithAlpha(c, v, v, v);
  });
}

void EdgeDetectKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float amount = p.Floats[0] / 4;
  Gradients(in, out, [&](uint32_t c, int gx, int gy) {
    const int v = Clamp255(std::sqrt(float(gx * gx + gy * gy)) * amount);
    return WithAlpha(c, v, v, v);
  });
}

// Blocks of Size pixels in their average colour.
void PixelateKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const int size = std::max(1, int(std::lround(p.Floats[0])));
  const int w = in.Width(), h = in.Height(), bands = (h + size - 1) / size;
  uint32_t* const dst = out.Bits();
  const size_t stride = size_t(out.Stride());
  ParallelRows(bands, (long long)w * size * 4, [&](int b0, int b1) {
    for (int band = b0; band < b1; ++band) {
      const int y0 = band * size, y1 = std::min(h, y0 + size);
      for (int x0 = 0; x0 < w; x0 += size) {
        const int x1 = std::min(w, x0 + size);
        TPremul sum;
        for (int y = y0; y < y1; ++y)
          for (int x = x0; x < x1; ++x) {
            const TPremul q = Premul(in.ScanLine(y)[x]);
            sum.a += q.a;
            sum.r += q.r;
            sum.g += q.g;
            sum.b += q.b;
          }
        const float n = float((y1 - y0) * (x1 - x0));
        const uint32_t c = Unpremul({sum.a / n, sum.r / n, sum.g / n, sum.b / n});
        for (int y = y0; y < y1; ++y) std::fill(dst + size_t(y) * stride + x0, dst + size_t(y) * stride + x1, c);
      }
    }
  });
}

// A cartoon: few colour levels and dark outlines where lightness changes fast.
void ToonKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float n = std::max(2.0f, std::round(p.Floats[0])) - 1, edge = p.Floats[1] * 1020;
  // Each channel's level, looked up: a rounding and two divisions per
  // channel cost more than the rest of the pixel.
  int level[256];
  for (int v = 0; v < 256; ++v) level[v] = Clamp255(std::round(v / 255.0f * n) / n * 255);
  Gradients(in, out, [&](uint32_t c, int gx, int gy) {
    if (float(std::abs(gx) + std::abs(gy)) > edge) return c & 0xFF000000u;
    return WithAlpha(c, level[R(c)], level[G(c)], level[B(c)]);
  });
}

// The picture with a blurred copy of itself screened over it.
// The halo g screened over the row s by amount; and the light g added to
// it. Plain loops without branches, which the compiler puts in vector
// lanes (eight with AVX2).
KARTO_WIDE_CLONES void ScreenRow(const uint32_t* s, const uint32_t* g, uint32_t* d, int w, float amount) {
  for (int x = 0; x < w; ++x) {
    const auto screen = [&](int a, int b) {
      return uint32_t(std::clamp(float(a) + (float(b) * amount) * float(255 - a) / 255.0f, 0.0f, 255.0f) + 0.5f);
    };
    d[x] = (s[x] & 0xFF000000u) | screen(R(s[x]), R(g[x])) << 16 | screen(G(s[x]), G(g[x])) << 8 | screen(B(s[x]), B(g[x]));
  }
}

KARTO_WIDE_CLONES void AddLightRow(const uint32_t* s, const uint32_t* g, uint32_t* d, int w, float amount) {
  for (int x = 0; x < w; ++x) {
    const auto add = [&](int a, int b) { return uint32_t(std::clamp(float(a) + float(b) * amount, 0.0f, 255.0f) + 0.5f); };
    d[x] = (s[x] & 0xFF000000u) | add(R(s[x]), R(g[x])) << 16 | add(G(s[x]), G(g[x])) << 8 | add(B(s[x]), B(g[x]));
  }
}

void GlowKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  TBitmap halo;
  GaussianBlurBitmap(in, halo, p.Floats[0]);
  const float amount = p.Floats[1];
  const int w = in.Width();
  ForRows(out, 8, [&](int y, uint32_t* d) { ScreenRow(in.ScanLine(y), halo.ScanLine(y), d, w, amount); });
}

// Only the light above Threshold glows, as bright lights bloom on film.
void BloomKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const int level = int(std::lround(p.Floats[0] * 255));
  TBitmap bright(in.Width(), in.Height());
  MapPixels(in, bright, [level](uint32_t c) {
    const int l = Luma(c);
    if (l <= level) return c & 0xFF000000u;
    const float k = float(l - level) / float(std::max(1, 255 - level));
    return WithAlpha(c, Clamp255(R(c) * k), Clamp255(G(c) * k), Clamp255(B(c) * k));
  });
  GaussianBlurBitmap(bright, bright, p.Floats[1]);
  const float amount = p.Floats[2];
  const int w = in.Width();
  ForRows(out, 6, [&](int y, uint32_t* d) { AddLightRow(in.ScanLine(y), bright.ScanLine(y), d, w, amount); });
}

// Black dots on a turned grid, each as large as its cell is dark.
void HalftoneKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float size = std::max(2.0f, p.Floats[0]), a = p.Floats[1] * kPi / 180;
  const float cs = std::cos(a), sn = std::sin(a);
  const int w = in.Width();
  // Each dot's darkness is read at its cell's middle.
  const auto draw = [&](const auto& s) {
    ForRows(out, 40, [&](int y, uint32_t* d) {
      // Neighbouring pixels mostly lie in the same cell: its dot is worked
      // out once for them.
      float cellU = -1, cellV = -1, radius = 0;
      bool known = false;
      for (int x = 0; x < w; ++x) {
        const float px = x + 0.5f, py = y + 0.5f;
        // In grid coordinates: the cell's middle, back in picture coordinates.
        const float u = (px * cs + py * sn) / size, v = (-px * sn + py * cs) / size;
        const float fu = float(FloorInt(u)), fv = float(FloorInt(v));
        if (!known || fu != cellU || fv != cellV) {
          const float cu = (fu + 0.5f) * size, cv = (fv + 0.5f) * size;
          const uint32_t c = s.At(cu * cs - cv * sn, cu * sn + cv * cs);
          const float dark = 1 - float(Luma(c)) / 255.0f;
          radius = std::sqrt(dark) * size * 0.70711f;
          cellU = fu;
          cellV = fv;
          known = true;
        }
        const float dist = Hypot((u - fu - 0.5f) * size, (v - fv - 0.5f) * size);
        const float ink = std::clamp(radius - dist + 0.5f, 0.0f, 1.0f);
        const int l = Clamp255((1 - ink) * 255);
        d[x] = WithAlpha(in.ScanLine(y)[x], l, l, l);
      }
    });
  };
  if (Opaque(in)) draw(TOpaqueSampler(in));
  else draw(TSampler(in));
}

// --- PaperSketch ----------------------------------------------------------------
// A pencil drawing on white paper. The grey of each pixel is divided by the
// grey of its blurred surroundings (a colour dodge): where the picture is
// flat the two agree and the paper stays white; at edges and in texture the
// darker side falls below its surroundings and becomes a stroke. The blur
// grows with BrushSize, and with it the softness and breadth of the strokes.
// A much wider blur estimates the paper's own light, so areas that are dark
// relative to their paper (thick ink, deep shadow) stay dark instead of
// turning hollow, and the uneven lighting of a photographed page is evened
// out. The grey planes are 16-bit with four fractional bits; the paper's
// light is smooth enough to be computed at a quarter of the size.
constexpr int kFrac = 16;  // grey 0..255 is stored as 0..4080

std::vector<float> PaperLight(const TPlane<uint16_t>& grey, int w, int h, float sigma, int f, int& lw, int& lh) {
  lw = (w + f - 1) / f;
  lh = (h + f - 1) / f;
  std::vector<float> low(size_t(lw) * size_t(lh));
  // Each block's sum gathered row by row along the picture's rows (a block
  // at a time would step down the rows for every few pixels), then the
  // block's columns added up.
  ParallelRows(lh, 4LL * f * w, [&](int y0, int y1) {
    std::vector<uint32_t> columns(static_cast<size_t>(w));
    for (int ly = y0; ly < y1; ++ly) {
      const int ya = ly * f, yb = std::min(h, ya + f);
      std::fill(columns.begin(), columns.end(), 0u);
      for (int y = ya; y < yb; ++y) {
        const uint16_t* g = grey.data() + size_t(y) * size_t(w);
        uint32_t* c = columns.data();
        for (int x = 0; x < w; ++x) c[x] += g[x];
      }
      for (int lx = 0; lx < lw; ++lx) {
        const int xa = lx * f, xb = std::min(w, xa + f);
        uint32_t sum = 0;
        for (int x = xa; x < xb; ++x) sum += columns[size_t(x)];
        low[size_t(ly) * size_t(lw) + size_t(lx)] = float(sum) / float(uint32_t((yb - ya) * (xb - xa)) * kFrac);
      }
    }
  });
  GaussianBlurPlane(low, lw, lh, sigma / float(f));
  return low;
}

// A row's grey, kFrac to a level.
KARTO_WIDE_CLONES void GreyRow16(const uint32_t* s, uint16_t* g, int width) {
  for (int x = 0; x < width; ++x) g[x] = uint16_t(Luma(s[x]) * kFrac);
}

// The inner pixels of a row's grey (centre row gc, gu above and gd below),
// smoothed by the 3 x 3 binomial, in levels: a plain loop that runs in
// vector lanes.
KARTO_WIDE_CLONES void SmoothGreyRow(const uint16_t* gu, const uint16_t* gc, const uint16_t* gd, float* gr, int width) {
  for (int x = 1; x + 1 < width; ++x) {
    const int sm = (gu[x - 1] + 2 * gu[x] + gu[x + 1]) + 2 * (gc[x - 1] + 2 * gc[x] + gc[x + 1]) +
                   (gd[x - 1] + 2 * gd[x] + gd[x + 1]);
    gr[x] = float(sm) / float(16 * kFrac);
  }
}

// A row of the pencil drawing from the smoothed grey gr, the grey of the
// surroundings nr (16-bit, kFrac to a level) and the paper's light pr;
// the alpha of s. One plain loop that runs in vector lanes.
KARTO_WIDE_CLONES void PencilRow(const float* gr, const uint16_t* nr, const float* pr, const uint32_t* s, uint32_t* d,
                                 int width) {
  // std::min and std::clamp as plain selections of values (theirs are
  // of references, which keeps the loop out of vector lanes).
  const auto upTo1 = [](float v) { return v < 1.0f ? v : 1.0f; };
  const auto in01 = [](float v) { return v < 0.0f ? 0.0f : (1.0f < v ? 1.0f : v); };
  for (int x = 0; x < width; ++x) {
    const float g = gr[x];
    const float nearGrey = float(nr[x]) / float(kFrac);
    const float paperGrey = pr[x];

    const float edge = upTo1((g + 1.0f) / (nearGrey + 1.0f));
    const float stroke = in01(1.0f - (1.0f - edge) * 2.5f);
    const float rel = upTo1((g + 1.0f) / (paperGrey + 1.0f));
    // Dark against the paper: full weight below 0.25 of the paper's
    // light, none above 0.6.
    const float ink = in01((rel - 0.25f) / 0.35f);
    float val = stroke * (0.15f + 0.85f * ink);
    val = val * val;          // pencil: strokes deepen quickly
    val = upTo1(val / 0.9f);  // faint texture turns to paper
    const int l = int(val * 255.0f + 0.5f);
    d[x] = WithAlpha(s[x], l, l, l);
  }
}

void PaperSketchKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  uint32_t* const dst = out.Bits();
  const size_t dstStride = size_t(out.Stride());
  const int w = in.Width(), h = in.Height();
  const float brush = p.Floats[0];
  const size_t n = size_t(w) * size_t(h);
  TPlane<uint16_t> grey(n);
  ParallelRows(h, w, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) GreyRow16(in.ScanLine(y), grey.data() + size_t(y) * size_t(w), w);
  });
  TPlane<uint16_t> near(n);
  GaussianBlurPlane16(near, w, h, brush, grey.data());
  constexpr int kPaperScale = 4;
  int lw = 0, lh = 0;
  const std::vector<float> paper = PaperLight(grey, w, h, std::max(8.0f, brush * 5.0f), kPaperScale, lw, lh);

  // Bilinear look-up of the paper's light: per column the two low-resolution
  // columns and the weight of the second.
  std::vector<int> cx0(static_cast<size_t>(w)), cx1(static_cast<size_t>(w));
  std::vector<float> cwx(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x) {
    const float u = std::clamp((x + 0.5f) / kPaperScale - 0.5f, 0.0f, float(lw - 1));
    cx0[size_t(x)] = int(u);
    cx1[size_t(x)] = std::min(lw - 1, int(u) + 1);
    cwx[size_t(x)] = u - float(int(u));
  }

  // Per row: the paper's light and the smoothed grey gathered into row
  // buffers first (the look-ups and the clamped edges), then the pencil
  // worked out in one plain loop over them that runs in vector lanes.
  ParallelRows(h, 24LL * w, [&](int y0, int y1) {
    const int width = w;
    std::vector<float> paperRow(static_cast<size_t>(width)), greyRow(static_cast<size_t>(width));
    // The two low-resolution rows read across, kept for the kPaperScale
    // rows that lie between the same two.
    std::vector<float> across0(static_cast<size_t>(width)), across1(static_cast<size_t>(width));
    int acrossFor = -1;
    for (int y = y0; y < y1; ++y) {
      const float v = std::clamp((y + 0.5f) / kPaperScale - 0.5f, 0.0f, float(lh - 1));
      if (int(v) != acrossFor) {
        acrossFor = int(v);
        const float* p0 = paper.data() + size_t(int(v)) * size_t(lw);
        const float* p1 = paper.data() + size_t(std::min(lh - 1, int(v) + 1)) * size_t(lw);
        for (int x = 0; x < width; ++x) {
          const size_t i0 = size_t(cx0[size_t(x)]), i1 = size_t(cx1[size_t(x)]);
          across0[size_t(x)] = p0[i0] + (p0[i1] - p0[i0]) * cwx[size_t(x)];
          across1[size_t(x)] = p1[i0] + (p1[i1] - p1[i0]) * cwx[size_t(x)];
        }
      }
      const float wy = v - float(int(v));
      for (int x = 0; x < width; ++x) {
        const float a = across0[size_t(x)], b = across1[size_t(x)];
        paperRow[size_t(x)] = a + (b - a) * wy;
      }
      const uint16_t* gu = grey.data() + size_t(std::max(y - 1, 0)) * size_t(width);
      const uint16_t* gc = grey.data() + size_t(y) * size_t(width);
      const uint16_t* gd = grey.data() + size_t(std::min(y + 1, h - 1)) * size_t(width);
      // The pixel's grey, smoothed by the 3 x 3 binomial so sensor grain
      // does not become pencil texture.
      const auto smooth = [&](int xl, int x, int xr) {
        const int sm = (gu[xl] + 2 * gu[x] + gu[xr]) + 2 * (gc[xl] + 2 * gc[x] + gc[xr]) + (gd[xl] + 2 * gd[x] + gd[xr]);
        return float(sm) / float(16 * kFrac);
      };
      float* gr = greyRow.data();
      gr[0] = smooth(0, 0, std::min(1, width - 1));
      if (width > 2) SmoothGreyRow(gu, gc, gd, gr, width);
      if (width > 1) gr[width - 1] = smooth(width - 2, width - 1, width - 1);
      PencilRow(greyRow.data(), near.data() + size_t(y) * size_t(width), paperRow.data(), in.ScanLine(y),
                dst + size_t(y) * dstStride, width);
    }
  });
}

}  // namespace
}  // namespace fx

void RegisterStyleFilters() {
  using namespace fx;
  const char* c = "Style";
  Add(c, "Emboss", "A grey relief, lit from one side.",
      {FloatValue("Amount", "Depth of the relief", 0, 5, 1), FloatValue("Angle", "Direction of the light in degrees", -180, 180, 135)},
      EmbossKernel);
  Add(c, "Pixelate", "Blocks of one colour, like a coarse screen.",
      {FloatValue("Size", "Side of a block in pixels", 1, 200, 12)}, PixelateKernel);
  Add(c, "EdgeDetect", "Light outlines where the picture's lightness changes.",
      {FloatValue("Amount", "Brightness of the outlines", 0, 5, 1)}, EdgeDetectKernel);
  Add(c, "Toon", "A cartoon: few colours and dark outlines.",
      {FloatValue("Levels", "Levels per colour channel", 2, 16, 5), FloatValue("Edge", "How sharp a change draws an outline", 0.01, 1, 0.2)},
      ToonKernel);
  Add(c, "Glow", "A soft halo of the picture's own light.",
      {FloatValue("Radius", "Spread of the halo in pixels", 0, 100, 8), FloatValue("Amount", "Strength of the halo", 0, 1, 0.5)},
      GlowKernel);
  Add(c, "Bloom", "Bright lights spill over their surroundings.",
      {FloatValue("Threshold", "Lightness above which light blooms", 0, 1, 0.7),
       FloatValue("Radius", "Spread in pixels", 0, 100, 12), FloatValue("Amount", "Strength", 0, 3, 1)},
      BloomKernel);
  Add(c, "Halftone", "Black dots that grow with darkness, as in newsprint.",
      {FloatValue("Size", "Distance between dots in pixels", 2, 100, 8), FloatValue("Angle", "Turn of the dot grid in degrees", 0, 90, 45)},
      HalftoneKernel);
  Add(c, "PaperSketch", "A grey pencil drawing of the picture on white paper.",
      {FloatValue("BrushSize", "Width and softness of the pencil strokes", 0.6, 10, 3)}, PaperSketchKernel);
}

}  // namespace karto
