#include "platform/FilterKernels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "platform/Parallel.h"

namespace karto {

namespace {

inline uint32_t Pack(uint32_t a, int r, int g, int b) {
  return (a & 0xFF000000u) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}
inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
// Rec. 601 luma in integers: (77 R + 150 G + 29 B) / 256.
inline int Luma(uint32_t c) {
  return int((77 * ((c >> 16) & 0xFF) + 150 * ((c >> 8) & 0xFF) + 29 * (c & 0xFF) + 128) >> 8);
}

TShaderValueRec FloatValue(const char* name, const char* desc, double min, double max, double def) {
  TShaderValueRec v;
  v.Name = name;
  v.Desc = desc;
  v.ValueType = TShaderValueType::vtFloat;
  v.Min = min;
  v.Max = max;
  v.Default = def;
  v.Value = def;
  return v;
}

// Runs a pixel-by-pixel kernel over in, writing out, rows split across the
// cores. map is inlined into the row loop (a template, not a function
// pointer), so a per-pixel kernel costs no call per pixel.
template <class Map>
void MapPixels(const TBitmap& in, TBitmap& out, Map map) {
  uint32_t* const dst = out.Bits();
  const size_t dstStride = size_t(out.Stride());
  const int w = in.Width();
  ParallelRows(in.Height(), w, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const uint32_t* s = in.ScanLine(y);
      uint32_t* d = dst + size_t(y) * dstStride;
      for (int x = 0; x < w; ++x) d[x] = map(s[x]);
    }
  });
}

// --- Contrast -----------------------------------------------------------------
// Per channel: (v - mid) * contrast + mid + brightness, on 0..1 values. One
// table serves all three channels; alpha is kept.
void ContrastKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float brightness = p.Floats[0], contrast = p.Floats[1];
  std::array<uint8_t, 256> lut;
  for (int i = 0; i < 256; ++i) {
    const float v = (i / 255.0f - 0.5f) * contrast + 0.5f + brightness;
    lut[size_t(i)] = uint8_t(Clamp255(int(std::lround(v * 255.0f))));
  }
  MapPixels(in, out, [&lut](uint32_t c) {
    return Pack(c, lut[(c >> 16) & 0xFF], lut[(c >> 8) & 0xFF], lut[c & 0xFF]);
  });
}

// --- Sharpen ------------------------------------------------------------------
// Unsharp mask: v + amount * (v - blur(v)), with the 3 x 3 binomial blur
// [1 2 1] x [1 2 1] / 16. Rows are blurred horizontally into a rolling window
// of three rows, so each pixel is read once per pass.
void SharpenKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  uint32_t* const dst = out.Bits();
  const size_t dstStride = size_t(out.Stride());
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
        d[x] = Pack(c, ch3[0], ch3[1], ch3[2]);
      }
      std::rotate(rows, rows + 1, rows + 3);
    }
  });
}

// --- Monochrome ---------------------------------------------------------------
void MonochromeKernel(const TFilterParams&, const TBitmap& in, const TBitmap&, TBitmap& out) {
  MapPixels(in, out, [](uint32_t c) {
    const int l = Luma(c);
    return Pack(c, l, l, l);
  });
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

std::vector<float> PaperLight(const std::vector<uint16_t>& grey, int w, int h, float sigma, int f,
                              int& lw, int& lh) {
  lw = (w + f - 1) / f;
  lh = (h + f - 1) / f;
  std::vector<float> low(size_t(lw) * size_t(lh));
  ParallelRows(lh, 4LL * w, [&](int y0, int y1) {
    for (int ly = y0; ly < y1; ++ly) {
      for (int lx = 0; lx < lw; ++lx) {
        uint32_t sum = 0, count = 0;
        for (int y = ly * f; y < std::min(h, ly * f + f); ++y)
          for (int x = lx * f; x < std::min(w, lx * f + f); ++x, ++count) sum += grey[size_t(y) * size_t(w) + size_t(x)];
        low[size_t(ly) * size_t(lw) + size_t(lx)] = float(sum) / float(count * kFrac);
      }
    }
  });
  GaussianBlurPlane(low, lw, lh, sigma / float(f));
  return low;
}

void PaperSketchKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  uint32_t* const dst = out.Bits();
  const size_t dstStride = size_t(out.Stride());
  const int w = in.Width(), h = in.Height();
  const float brush = p.Floats[0];
  const size_t n = size_t(w) * size_t(h);
  std::vector<uint16_t> grey(n);
  ParallelRows(h, w, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const uint32_t* s = in.ScanLine(y);
      uint16_t* g = grey.data() + size_t(y) * size_t(w);
      for (int x = 0; x < w; ++x) g[x] = uint16_t(Luma(s[x]) * kFrac);
    }
  });
  std::vector<uint16_t> near = grey;
  GaussianBlurPlane16(near, w, h, brush);
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

  ParallelRows(h, 24LL * w, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const float v = std::clamp((y + 0.5f) / kPaperScale - 0.5f, 0.0f, float(lh - 1));
      const float* p0 = paper.data() + size_t(int(v)) * size_t(lw);
      const float* p1 = paper.data() + size_t(std::min(lh - 1, int(v) + 1)) * size_t(lw);
      const float wy = v - float(int(v));
      const uint16_t* gu = grey.data() + size_t(std::max(y - 1, 0)) * size_t(w);
      const uint16_t* gc = grey.data() + size_t(y) * size_t(w);
      const uint16_t* gd = grey.data() + size_t(std::min(y + 1, h - 1)) * size_t(w);
      const uint16_t* nr = near.data() + size_t(y) * size_t(w);
      const uint32_t* s = in.ScanLine(y);
      uint32_t* d = dst + size_t(y) * dstStride;
      for (int x = 0; x < w; ++x) {
        // The pixel's grey, smoothed by the 3 x 3 binomial so sensor grain
        // does not become pencil texture.
        const int xl = std::max(x - 1, 0), xr = std::min(x + 1, w - 1);
        const int sm = (gu[xl] + 2 * gu[x] + gu[xr]) + 2 * (gc[xl] + 2 * gc[x] + gc[xr]) + (gd[xl] + 2 * gd[x] + gd[xr]);
        const float g = float(sm) / float(16 * kFrac);
        const float nearGrey = float(nr[x]) / float(kFrac);
        const size_t i0 = size_t(cx0[size_t(x)]), i1 = size_t(cx1[size_t(x)]);
        const float a = p0[i0] + (p0[i1] - p0[i0]) * cwx[size_t(x)];
        const float b = p1[i0] + (p1[i1] - p1[i0]) * cwx[size_t(x)];
        const float paperGrey = a + (b - a) * wy;

        const float edge = std::min(1.0f, (g + 1.0f) / (nearGrey + 1.0f));
        const float stroke = std::clamp(1.0f - (1.0f - edge) * 2.5f, 0.0f, 1.0f);
        const float rel = std::min(1.0f, (g + 1.0f) / (paperGrey + 1.0f));
        // Dark against the paper: full weight below 0.25 of the paper's
        // light, none above 0.6.
        const float ink = std::clamp((rel - 0.25f) / 0.35f, 0.0f, 1.0f);
        float val = stroke * (0.15f + 0.85f * ink);
        val = val * val;                      // pencil: strokes deepen quickly
        val = std::min(1.0f, val / 0.9f);     // faint texture turns to paper
        const int l = int(val * 255.0f + 0.5f);
        d[x] = Pack(s[x], l, l, l);
      }
    }
  });
}

// One box pass of radius r along rows (horizontal) of a plane.
void BoxRows(const float* src, float* dst, int w, int h, int r) {
  ParallelRows(h, 4LL * w, [&](int y0, int y1) {
    const float inv = 1.0f / float(2 * r + 1);
    for (int y = y0; y < y1; ++y) {
      const float* s = src + size_t(y) * size_t(w);
      float* d = dst + size_t(y) * size_t(w);
      double sum = 0;
      for (int i = -r; i <= r; ++i) sum += s[std::clamp(i, 0, w - 1)];
      for (int x = 0; x < w; ++x) {
        d[x] = float(sum * inv);
        sum += s[std::min(x + r + 1, w - 1)] - s[std::max(x - r, 0)];
      }
    }
  });
}

// One box pass of radius r along columns, walking rows in memory order with
// one running sum per column.
void BoxColumns(const float* src, float* dst, int w, int h, int r) {
  ParallelRows(h, 4LL * w, [&](int y0, int y1) {
    const float inv = 1.0f / float(2 * r + 1);
    std::vector<double> sum(size_t(w), 0.0);
    for (int i = y0 - r; i <= y0 + r; ++i) {
      const float* s = src + size_t(std::clamp(i, 0, h - 1)) * size_t(w);
      for (int x = 0; x < w; ++x) sum[size_t(x)] += s[x];
    }
    for (int y = y0; y < y1; ++y) {
      float* d = dst + size_t(y) * size_t(w);
      for (int x = 0; x < w; ++x) d[x] = float(sum[size_t(x)] * inv);
      const float* add = src + size_t(std::min(y + r + 1, h - 1)) * size_t(w);
      const float* sub = src + size_t(std::max(y - r, 0)) * size_t(w);
      for (int x = 0; x < w; ++x) sum[size_t(x)] += double(add[x]) - double(sub[x]);
    }
  });
}


// Three box passes of radius r along each row, in a row buffer that stays in
// the cache.
void BoxCascadeRows16(uint16_t* plane, int w, int h, int r) {
  const uint64_t recip = (uint64_t(1) << 24) / uint64_t(2 * r + 1);
  ParallelRows(h, 12LL * w, [&](int y0, int y1) {
    std::vector<uint16_t> a(static_cast<size_t>(w)), b(static_cast<size_t>(w));
    for (int y = y0; y < y1; ++y) {
      uint16_t* row = plane + size_t(y) * size_t(w);
      const uint16_t* src = row;
      uint16_t* bufs[3] = {a.data(), b.data(), row};
      for (int pass = 0; pass < 3; ++pass) {
        uint16_t* dstRow = bufs[pass];
        uint32_t sum = 0;
        for (int i = -r; i <= r; ++i) sum += src[std::clamp(i, 0, w - 1)];
        for (int x = 0; x < w; ++x) {
          dstRow[x] = uint16_t((sum * recip + (uint64_t(1) << 23)) >> 24);
          sum += src[std::min(x + r + 1, w - 1)];
          sum -= src[std::max(x - r, 0)];
        }
        src = dstRow;
      }
    }
  });
}

// One box pass of radius r down the columns, rows visited in memory order
// with a running sum per column.
void BoxColumns16(const uint16_t* src, uint16_t* dst, int w, int h, int r) {
  const uint64_t recip = (uint64_t(1) << 24) / uint64_t(2 * r + 1);
  ParallelRows(h, 4LL * w, [&](int y0, int y1) {
    std::vector<uint32_t> sum(static_cast<size_t>(w), 0u);
    for (int i = y0 - r; i <= y0 + r; ++i) {
      const uint16_t* s = src + size_t(std::clamp(i, 0, h - 1)) * size_t(w);
      for (int x = 0; x < w; ++x) sum[size_t(x)] += s[x];
    }
    for (int y = y0; y < y1; ++y) {
      uint16_t* d = dst + size_t(y) * size_t(w);
      const uint16_t* add = src + size_t(std::min(y + r + 1, h - 1)) * size_t(w);
      const uint16_t* sub = src + size_t(std::max(y - r, 0)) * size_t(w);
      for (int x = 0; x < w; ++x) {
        d[x] = uint16_t((sum[size_t(x)] * recip + (uint64_t(1) << 23)) >> 24);
        sum[size_t(x)] += uint32_t(add[x]) - uint32_t(sub[x]);
      }
    }
  });
}

int BoxRadius(float sigma) {
  // Three boxes of width b have the variance 3 (b^2 - 1) / 12 of a Gaussian
  // with sigma^2 = (b^2 - 1) / 4.
  return std::max(1, int(std::lround((std::sqrt(4.0f * sigma * sigma + 1.0f) - 1.0f) / 2.0f)));
}

}  // namespace

void GaussianBlurPlane(std::vector<float>& plane, int w, int h, float sigma) {
  if (w <= 0 || h <= 0 || !(sigma > 0)) return;
  const int r = BoxRadius(sigma);
  std::vector<float> tmp(plane.size());
  for (int pass = 0; pass < 3; ++pass) {
    BoxRows(plane.data(), tmp.data(), w, h, r);
    BoxColumns(tmp.data(), plane.data(), w, h, r);
  }
}


void GaussianBlurPlane16(std::vector<uint16_t>& plane, int w, int h, float sigma) {
  if (w <= 0 || h <= 0 || !(sigma > 0)) return;
  const int r = BoxRadius(sigma);
  BoxCascadeRows16(plane.data(), w, h, r);
  std::vector<uint16_t> tmp(plane.size());
  BoxColumns16(plane.data(), tmp.data(), w, h, r);
  BoxColumns16(tmp.data(), plane.data(), w, h, r);
  BoxColumns16(plane.data(), tmp.data(), w, h, r);
  plane.swap(tmp);
}

std::vector<TFilterRegistration> BuiltinFilters() {
  std::vector<TFilterRegistration> list;
  {
    TFilterRec r{"Contrast", "Changes the brightness and the contrast of a picture.", {}};
    r.Values.push_back(FloatValue("Brightness", "Shift towards white (positive) or black", -1, 1, 0));
    r.Values.push_back(FloatValue("Contrast", "Stretch about mid-grey; 1 keeps the picture", 0, 2, 1.5));
    list.push_back({"Color Adjust", r, ContrastKernel});
  }
  {
    TFilterRec r{"Sharpen", "Sharpens edges with an unsharp mask.", {}};
    r.Values.push_back(FloatValue("Amount", "Strength of the sharpening; 0 keeps the picture", 0, 2, 1));
    list.push_back({"Blur", r, SharpenKernel});
  }
  {
    TFilterRec r{"Monochrome", "Turns a picture into its luminance grey.", {}};
    list.push_back({"Color", r, MonochromeKernel});
  }
  {
    TFilterRec r{"PaperSketch", "A grey pencil drawing of the picture on white paper.", {}};
    r.Values.push_back(FloatValue("BrushSize", "Width and softness of the pencil strokes", 0.6, 10, 3));
    list.push_back({"Style", r, PaperSketchKernel});
  }
  return list;
}

}  // namespace karto
