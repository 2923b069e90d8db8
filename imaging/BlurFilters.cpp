// Blurs: Gaussian and box (cost independent of the radius: cascades of
// running sums), and the directional ones (motion, radial, zoom), which
// average samples along a line, an arc or a ray by repeated halving: each
// pass averages the picture with itself moved half as far as the pass
// before, so 2^n samples cost n passes.

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"

namespace karto {

namespace fx {
namespace {

// One box pass of radius r along rows of a float plane.
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

// One box pass of radius r down the columns, rows in memory order.
void BoxColumns(const float* src, float* dst, int w, int h, int r) {
  ParallelRows(h, 4LL * w, [&](int y0, int y1) {
    const float inv = 1.0f / float(2 * r + 1);
    std::vector<double> sum(static_cast<size_t>(w), 0.0);
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

int PlaneBoxRadius(float sigma) {
  return std::max(1, int(std::lround((std::sqrt(4.0f * sigma * sigma + 1.0f) - 1.0f) / 2.0f)));
}

// Averages cur with cur read at where(x, y), pass after pass; passes(k)
// gives pass k's mapping. The result replaces cur.
template <class Where>
void HalvingPasses(TBitmap& cur, int passes, Where where) {
  TBitmap next(cur.Width(), cur.Height());
  const bool opaque = Opaque(cur);
  for (int k = 0; k < passes; ++k) {
    if (opaque) {
      const TOpaqueSampler s(cur);
      ForTiles(next, 25, [&](int y, int x0, int x1, uint32_t* d) {
        const uint32_t* row = cur.ScanLine(y);
        for (int x = x0; x < x1; ++x) {
          float sx = x + 0.5f, sy = y + 0.5f;
          where(k, sx, sy);
          d[x] = TOpaqueSampler::Lerp(row[x], s.At(sx, sy), 128);
        }
      });
    } else {
      const TSampler s(cur);
      ForTiles(next, 50, [&](int y, int x0, int x1, uint32_t* d) {
        const uint32_t* row = cur.ScanLine(y);
        for (int x = x0; x < x1; ++x) {
          float sx = x + 0.5f, sy = y + 0.5f;
          where(k, sx, sy);
          d[x] = Mix(row[x], s.At(sx, sy), 0.5f);
        }
      });
    }
    std::swap(cur, next);
  }
}

void GaussianBlurKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  GaussianBlurBitmap(in, out, p.Floats[0]);
}

void BoxBlurKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  BoxBlurBitmap(in, out, int(std::lround(p.Floats[0])));
}

// Along a line of Distance pixels at Angle, centred on each pixel.
void MotionBlurKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float angle = p.Floats[0] * kPi / 180, distance = p.Floats[1];
  // Along a row or a column the streak is a box: running sums, whatever
  // its length.
  const float degrees = std::fmod(std::fabs(p.Floats[0]), 180.0f);
  if ((degrees == 0 || degrees == 90) && distance >= 2) {
    const int r = std::max(1, int(std::lround((distance - 1) / 2)));
    if (degrees == 0) BoxBlurRows(in, out, r);
    else BoxBlurColumns(in, out, r);
    return;
  }
  const int passes = distance < 1 ? 0 : std::clamp(int(std::ceil(std::log2(distance))), 1, 12);
  const float step = passes ? distance / float(1 << passes) : 0;
  const float dx = std::cos(angle), dy = std::sin(angle);
  // Start half the distance back, so the streak is centred.
  TBitmap cur(in.Width(), in.Height());
  WarpPixels(in, cur, [&](float& x, float& y) {
    x -= dx * (distance - step) / 2;
    y -= dy * (distance - step) / 2;
    return true;
  });
  HalvingPasses(cur, passes, [&](int k, float& x, float& y) {
    const float d = step * float(1 << k);
    x += dx * d;
    y += dy * d;
  });
  out = cur;
}

// A spin of an opaque picture, through rings: the picture is read onto
// rings of radius 0, 1, 2 ... about the centre, one sample per pixel of
// arc; each ring is averaged along itself over the spin's angle with a
// running sum (so the cost does not grow with the angle); and every pixel
// reads its place between the two rings round it. Three passes over the
// pixels where halving passes took a dozen.
void SpinThroughRings(const TBitmap& in, TBitmap& out, float cx, float cy, float angle) {
  const int w = in.Width(), h = in.Height();
  const float reach = std::max(Hypot(std::max(cx, w - cx), std::max(cy, h - cy)), Hypot(cx, cy));
  const int rings = int(std::ceil(reach)) + 2;
  std::vector<int64_t> start(size_t(rings) + 1, 0);
  for (int i = 0; i < rings; ++i) start[size_t(i) + 1] = start[size_t(i)] + std::max<int64_t>(1, int64_t(std::ceil(2 * kPi * i)));
  const auto count = [&](int i) { return int(start[size_t(i) + 1] - start[size_t(i)]); };
  std::vector<uint32_t> ring(size_t(start.back())), spun(ring.size());
  const TOpaqueSampler sampler(in);
  // Read the rings sector by sector (a sixty-fourth of a turn, all rings
  // from the middle out): inside a sector the rings lie close together in
  // the picture, where a whole ring would run through every row of it.
  constexpr int kSectors = 64;
  ParallelRows(kSectors, int64_t(start.back()) * 8 / kSectors, [&](int s0, int s1) {
    for (int sector = s0; sector < s1; ++sector)
      for (int i = 0; i < rings; ++i) {
        const int n = count(i);
        const int j0 = int(int64_t(n) * sector / kSectors), j1 = int(int64_t(n) * (sector + 1) / kSectors);
        if (j1 <= j0) continue;
        uint32_t* samples = ring.data() + start[size_t(i)];
        // Round the ring by a fixed turn per step.
        const float step = 2 * kPi / float(n), cs = std::cos(step), sn = std::sin(step);
        float c = std::cos(step * float(j0)), sv = std::sin(step * float(j0));
        for (int j = j0; j < j1; ++j) {
          samples[j] = sampler.At(cx + float(i) * c, cy + float(i) * sv);
          const float nc = c * cs - sv * sn;
          sv = sv * cs + c * sn;
          c = nc;
        }
      }
  });
  // Each ring averaged along itself over the angle.
  constexpr int kChunks = 64;  // every 64th ring to a chunk: outer rings are longer
  ParallelRows(kChunks, int64_t(start.back()) * 8 / kChunks, [&](int c0, int c1) {
    for (int chunk = c0; chunk < c1; ++chunk)
      for (int i = chunk; i < rings; i += kChunks) {
        const int n = count(i);
        const uint32_t* samples = ring.data() + start[size_t(i)];
        // The box along the ring: an odd number of samples, centred.
        const int half = std::min((n - 1) / 2, int(std::lround(angle / (2 * kPi) * float(n) / 2)));
        uint32_t* dst = spun.data() + start[size_t(i)];
        if (half <= 0) {
          std::copy(samples, samples + n, dst);
          continue;
        }
        const uint32_t m = uint32_t(2 * half + 1);
        uint32_t sum[4] = {0, 0, 0, 0};
        const auto add = [&](uint32_t c, int sign) {
          for (int k = 0; k < 4; ++k) sum[k] += uint32_t(sign) * ((c >> (8 * k)) & 0xFF);
        };
        for (int j = -half; j <= half; ++j) add(samples[j < 0 ? j + n : j], 1);
        const float inv = 1.0f / float(m);
        for (int j = 0, in = half + 1, outIdx = n - half; j < n; ++j) {
          dst[j] = 0xFF000000u | uint32_t(float(sum[2]) * inv + 0.5f) << 16 | uint32_t(float(sum[1]) * inv + 0.5f) << 8 |
                   uint32_t(float(sum[0]) * inv + 0.5f);
          if (in >= n) in -= n;
          if (outIdx >= n) outIdx -= n;
          add(samples[in++], 1);
          add(samples[outIdx++], -1);
        }
      }
  });
  std::vector<uint32_t>().swap(ring);
  // Each pixel between its two rings, each read between its two samples.
  const auto at = [&](int i, float turn) {
    const int n = count(i);
    const float pos = turn * float(n);
    const int j = std::min(n - 1, int(pos));
    const uint32_t w8 = uint32_t(std::clamp((pos - float(j)) * 256.0f, 0.0f, 256.0f));
    const uint32_t* r = spun.data() + start[size_t(i)];
    return TOpaqueSampler::Lerp(r[j], r[j + 1 < n ? j + 1 : 0], w8);
  };
  if (out.Width() != w || out.Height() != h) out = TBitmap(w, h);
  ForRows(out, 30, [&](int y, uint32_t* d) {
    for (int x = 0; x < w; ++x) {
      const float dx = float(x) + 0.5f - cx, dy = float(y) + 0.5f - cy;
      const float r = std::min(Hypot(dx, dy), float(rings - 2));
      float turn = FastAtan2(dy, dx) / (2 * kPi);
      if (turn < 0) turn += 1;
      const int i = int(r);
      const uint32_t t = uint32_t((r - float(i)) * 256.0f);
      d[x] = TOpaqueSampler::Lerp(at(i, turn), at(i + 1, turn), t);
    }
  });
}

// Along arcs about Center, Angle degrees long (a spin).
void RadialBlurKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float cx = p.Points[0].X * in.Width(), cy = p.Points[0].Y * in.Height();
  const float angle = p.Floats[1] * kPi / 180;
  if (angle > 0 && Opaque(in)) {
    SpinThroughRings(in, out, cx, cy, std::min(angle, 2 * kPi));
    return;
  }
  const float longest = angle * Hypot(float(in.Width()), float(in.Height()));
  const int passes = longest < 1 ? 0 : std::clamp(int(std::ceil(std::log2(longest))), 1, 12);
  const float step = passes ? angle / float(1 << passes) : 0;
  const auto rotate = [&](float c, float s, float& x, float& y) {
    const float ox = x - cx, oy = y - cy;
    x = cx + ox * c - oy * s;
    y = cy + ox * s + oy * c;
  };
  // Each pass turns by a fixed angle: its sine and cosine are taken once.
  std::vector<float> cs(static_cast<size_t>(passes)), sn(static_cast<size_t>(passes));
  for (int k = 0; k < passes; ++k) {
    cs[size_t(k)] = std::cos(step * float(1 << k));
    sn[size_t(k)] = std::sin(step * float(1 << k));
  }
  const float c0 = std::cos(-(angle - step) / 2), s0 = std::sin(-(angle - step) / 2);
  TBitmap cur(in.Width(), in.Height());
  WarpPixels(in, cur, [&](float& x, float& y) {
    rotate(c0, s0, x, y);
    return true;
  });
  HalvingPasses(cur, passes, [&](int k, float& x, float& y) { rotate(cs[size_t(k)], sn[size_t(k)], x, y); });
  out = cur;
}

// Along rays towards Center, Strength of the way.
void ZoomBlurKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float cx = p.Points[0].X * in.Width(), cy = p.Points[0].Y * in.Height();
  const float strength = std::clamp(p.Floats[1], 0.0f, 0.95f);
  const float longest = strength * Hypot(float(in.Width()), float(in.Height()));
  const int passes = longest < 1 ? 0 : std::clamp(int(std::ceil(std::log2(longest))), 1, 12);
  // Scales multiply: pass k scales about the centre by f^(2^k).
  const float total = std::log(1 - strength);
  const float step = passes ? total / float(1 << passes) : 0;
  TBitmap cur(in);
  std::vector<float> scale(static_cast<size_t>(passes));
  for (int k = 0; k < passes; ++k) scale[size_t(k)] = std::exp(step * float(1 << k));
  HalvingPasses(cur, passes, [&](int k, float& x, float& y) {
    const float f = scale[size_t(k)];
    x = cx + (x - cx) * f;
    y = cy + (y - cy) * f;
  });
  out = cur;
}

}  // namespace

void GaussianBlurPlane(std::vector<float>& plane, int w, int h, float sigma) {
  if (w <= 0 || h <= 0 || !(sigma > 0)) return;
  const int r = PlaneBoxRadius(sigma);
  std::vector<float> tmp(plane.size());
  for (int pass = 0; pass < 3; ++pass) {
    BoxRows(plane.data(), tmp.data(), w, h, r);
    BoxColumns(tmp.data(), plane.data(), w, h, r);
  }
}

void GaussianBlurPlane16(TPlane<uint16_t>& plane, int w, int h, float sigma) {
  if (w <= 0 || h <= 0 || !(sigma > 0)) return;
  const int r = PlaneBoxRadius(sigma);
  BoxCascadeRows16(plane.data(), w, h, r);
  TPlane<uint16_t> tmp(plane.size());
  BoxColumns16(plane.data(), tmp.data(), w, h, r);
  BoxColumns16(tmp.data(), plane.data(), w, h, r);
  BoxColumns16(plane.data(), tmp.data(), w, h, r);
  plane.swap(tmp);
}

}  // namespace fx

void RegisterBlurFilters() {
  using namespace fx;
  Add("Blur", "GaussianBlur", "Softens the picture like a lens out of focus.",
      {FloatValue("Sigma", "Spread of the blur in pixels", 0, 100, 3)}, GaussianBlurKernel);
  Add("Blur", "BoxBlur", "Averages every pixel with its square neighbourhood.",
      {FloatValue("Radius", "Half the side of the square in pixels", 0, 100, 4)}, BoxBlurKernel);
  Add("Blur", "MotionBlur", "Streaks the picture along a direction, as a moving camera does.",
      {FloatValue("Angle", "Direction of the streaks in degrees", -180, 180, 0),
       FloatValue("Distance", "Length of the streaks in pixels", 0, 200, 20)},
      MotionBlurKernel);
  Add("Blur", "RadialBlur", "Spins the picture about a point.",
      {PointValue("Center", "The point the picture spins about", {0.5f, 0.5f}),
       FloatValue("Angle", "How far it spins, in degrees", 0, 90, 5)},
      RadialBlurKernel);
  Add("Blur", "ZoomBlur", "Streaks the picture towards a point, as a zooming lens does.",
      {PointValue("Center", "The point the streaks run to", {0.5f, 0.5f}),
       FloatValue("Strength", "Length of the streaks as a share of the distance", 0, 0.9, 0.15)},
      ZoomBlurKernel);
}

}  // namespace karto
