// Blurs: Gaussian and box (cost independent of the radius: cascades of
// running sums), and the directional ones (motion, radial, zoom). Those
// average along a line, an arc or a ray: where the line runs along rows
// or columns, or the picture can be read onto rings or rays about the
// centre, with running sums again; elsewhere by repeated halving, each
// pass averaging the picture with itself moved half as far as the pass
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

// Three box passes of radius r along each row of source, in row buffers
// that stay in the cache, into plane (source may be plane itself).
void BoxCascadeRows16(const uint16_t* source, uint16_t* plane, int w, int h, int r) {
  const uint64_t recip = (uint64_t(1) << 24) / uint64_t(2 * r + 1);
  ParallelRows(h, 12LL * w, [&](int y0, int y1) {
    std::vector<uint16_t> a(static_cast<size_t>(w)), b(static_cast<size_t>(w));
    for (int y = y0; y < y1; ++y) {
      uint16_t* row = plane + size_t(y) * size_t(w);
      const uint16_t* src = source + size_t(y) * size_t(w);
      uint16_t* bufs[3] = {a.data(), b.data(), row};
      for (int pass = 0; pass < 3; ++pass) {
        uint16_t* dstRow = bufs[pass];
        uint32_t sum = 0;
        for (int i = -r; i <= r; ++i) sum += src[std::clamp(i, 0, w - 1)];
        const auto put = [&](int x) { dstRow[x] = uint16_t((sum * recip + (uint64_t(1) << 23)) >> 24); };
        // Clamped reads only where the box reaches past an end of the row.
        const int body0 = std::min(w, r), body1 = std::max(body0, w - r - 1);
        int x = 0;
        for (; x < body0; ++x) {
          put(x);
          sum += src[std::min(x + r + 1, w - 1)];
          sum -= src[0];
        }
        for (; x < body1; ++x) {
          put(x);
          sum += src[x + r + 1];
          sum -= src[x - r];
        }
        for (; x < w; ++x) {
          put(x);
          sum += src[w - 1];
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

// The turn of (x, y) about the origin, 0 to 1 from the x axis towards y,
// to about 1e-5 of a turn; without branches, so that a row of them is
// worked out in vector lanes.
inline float FastTurn(float y, float x) {
  const float ax = std::fabs(x), ay = std::fabs(y);
  const float mx = std::max(ax, ay), mn = std::min(ax, ay);
  const float a = mn / std::max(mx, 1e-30f), s = a * a;
  float r = ((-0.0464964749f * s + 0.15931422f) * s - 0.327622764f) * s * a + a;
  r = ay > ax ? kPi / 2 - r : r;
  r = x < 0 ? kPi - r : r;
  r = y < 0 ? 2 * kPi - r : r;
  return r * (1 / (2 * kPi));
}

// A spin of an opaque picture, through rings: the picture is read onto
// rings of radius 0, 1, 2 ... about the centre, one sample per pixel of
// arc; each ring is averaged along itself over the spin's angle with a
// running sum (so the cost does not grow with the angle); and every pixel
// reads its place between the two rings round it. Three passes over the
// pixels where halving passes took a dozen.
//
// Rings reach the picture's farthest corner, and beyond the nearer edges
// they run off it: a ring is read only in the sectors (a 256th of a turn)
// where pixels of the picture lie next to it, and as far again to either
// side as the box reaches.
void SpinThroughRings(const TBitmap& in, TBitmap& out, float cx, float cy, float angle) {

  const int w = in.Width(), h = in.Height();
  const float reach = std::max(Hypot(std::max(cx, w - cx), std::max(cy, h - cy)), Hypot(cx, cy));
  const int rings = int(std::ceil(reach)) + 2;
  std::vector<int64_t> start(size_t(rings) + 1, 0);
  for (int i = 0; i < rings; ++i) start[size_t(i) + 1] = start[size_t(i)] + std::max<int64_t>(1, int64_t(std::ceil(2 * kPi * i)));
  const auto count = [&](int i) { return int(start[size_t(i) + 1] - start[size_t(i)]); };
  // A ring's box: an odd number of samples, centred, half of them each side.
  const auto halfOf = [&](int i) { return std::min((count(i) - 1) / 2, int(std::lround(angle / (2 * kPi) * float(count(i)) / 2))); };

  // Which sectors of each ring are read: where pixels lie between the ring
  // and its neighbours, or in the sector next to it (a pixel reads two
  // samples of each ring round it), and as far again as the box reaches,
  // so that the boxes those pixels read lie wholly within what was read.
  constexpr int kSectors = 256;
  constexpr uint8_t kRead = 1;
  std::vector<uint8_t> use(size_t(rings) * kSectors);
  {
    float edgeCos[kSectors + 1], edgeSin[kSectors + 1];
    for (int k = 0; k <= kSectors; ++k) {
      edgeCos[k] = std::cos(2 * kPi * float(k) / kSectors);
      edgeSin[k] = std::sin(2 * kPi * float(k) / kSectors);
    }
    ParallelRows(rings, kSectors * 16, [&](int i0, int i1) {
      int inside[2 * kSectors + 1];
      for (int i = i0; i < i1; ++i) {
        // A sector's stretch of the annulus from i - 1.5 to i + 1.5 lies
        // within a pixel of the box round its four corners.
        const float r0 = std::max(0.0f, float(i) - 1.5f), r1 = float(i) + 1.5f;
        inside[0] = 0;
        for (int k = 0; k < 2 * kSectors; ++k) {
          const int sec = k % kSectors;
          const float xs[4] = {r0 * edgeCos[sec], r0 * edgeCos[sec + 1], r1 * edgeCos[sec], r1 * edgeCos[sec + 1]};
          const float ys[4] = {r0 * edgeSin[sec], r0 * edgeSin[sec + 1], r1 * edgeSin[sec], r1 * edgeSin[sec + 1]};
          const float x0 = cx + *std::min_element(xs, xs + 4) - 1, x1 = cx + *std::max_element(xs, xs + 4) + 1;
          const float y0 = cy + *std::min_element(ys, ys + 4) - 1, y1 = cy + *std::max_element(ys, ys + 4) + 1;
          inside[k + 1] = inside[k] + (x1 >= 0 && x0 <= float(w) && y1 >= 0 && y0 <= float(h));
        }
        // Sectors within d of one inside (counted round the ring through
        // the doubled prefix sums).
        const auto near = [&](int sec, int d) {
          if (2 * d + 1 >= kSectors) return inside[kSectors] > 0;
          const int a = sec - d + kSectors, b = sec + d + 1 + kSectors;  // within [0, 2 kSectors + ...)
          const auto upTo = [&](int k) { return k <= 2 * kSectors ? inside[k] : inside[2 * kSectors] + inside[k - 2 * kSectors]; };
          return upTo(b) - upTo(a) > 0;
        };
        const int n = count(i);
        const int reachSectors = int(std::ceil(float(halfOf(i)) * kSectors / float(n))) + 2;
        for (int sec = 0; sec < kSectors; ++sec)
          use[size_t(i) * kSectors + size_t(sec)] =
              near(sec, 1 + reachSectors) ? kRead : 0;
      }
    });
  }
  const auto sectorStart = [&](int i, int sec) { return int(int64_t(count(i)) * sec / kSectors); };

  // (Not zeroed: a sample is read only where it was written.)
  TPlane<uint32_t> ring(size_t(start.back()));
  const TOpaqueSampler sampler(in);
  // Where each ring's stretch in each sector starts, as a cosine and a
  // sine: turned on from sector to sector in doubles (a library call for
  // each would cost as much as the samples).
  const size_t ringCount = size_t(rings);
  std::vector<float> startCos(ringCount * kSectors), startSin(startCos.size()), stepCos(ringCount), stepSin(ringCount);
  ParallelRows(rings, kSectors * 8, [&](int i0, int i1) {
    for (int i = i0; i < i1; ++i) {
      const int n = count(i);
      const double step = 2 * 3.14159265358979323846 / n;
      stepCos[size_t(i)] = float(std::cos(step));
      stepSin[size_t(i)] = float(std::sin(step));
      // Sectors start n / kSectors samples apart, or one more.
      const int q = n / kSectors;
      const double turnCos[2] = {std::cos(step * q), std::cos(step * (q + 1))};
      const double turnSin[2] = {std::sin(step * q), std::sin(step * (q + 1))};
      double c = 1, sv = 0;
      for (int sector = 0; sector < kSectors; ++sector) {
        startCos[size_t(i) * kSectors + size_t(sector)] = float(c);
        startSin[size_t(i) * kSectors + size_t(sector)] = float(sv);
        const int e = sectorStart(i, sector + 1) - sectorStart(i, sector) - q;
        const double nc = c * turnCos[e] - sv * turnSin[e];
        sv = sv * turnCos[e] + c * turnSin[e];
        c = nc;
      }
    }
  });
  // Read the rings sector by sector (all rings from the middle out):
  // inside a sector the rings lie close together in the picture, where a
  // whole ring would run through every row of it.
  ParallelRows(kSectors, int64_t(start.back()) * 8 / kSectors, [&](int s0, int s1) {
    for (int sector = s0; sector < s1; ++sector)
      for (int i = 0; i < rings; ++i) {
        if (!(use[size_t(i) * kSectors + size_t(sector)] & kRead)) continue;
        const int j0 = sectorStart(i, sector), j1 = sectorStart(i, sector + 1);
        if (j1 <= j0) continue;
        uint32_t* samples = ring.data() + start[size_t(i)];
        // Round the ring by a fixed turn per step.
        const float cs = stepCos[size_t(i)], sn = stepSin[size_t(i)];
        float c = startCos[size_t(i) * kSectors + size_t(sector)], sv = startSin[size_t(i) * kSectors + size_t(sector)];
        for (int j = j0; j < j1; ++j) {
          samples[j] = sampler.At(cx + float(i) * c, cy + float(i) * sv);
          const float nc = c * cs - sv * sn;
          sv = sv * cs + c * sn;
          c = nc;
        }
      }
  });
  // Each ring averaged along itself over the angle, in place, in the
  // stretches that were read: a running sum along each stretch gives the
  // boxes that lie wholly within it, which those the pixels read do. The
  // samples the box has passed are kept aside, as their places now hold
  // boxes.
  constexpr int kChunks = 64;  // every 64th ring to a chunk: outer rings are longer
  ParallelRows(kChunks, int64_t(start.back()) * 8 / kChunks, [&](int c0, int c1) {
    std::vector<uint32_t> passed, head;
    std::vector<std::pair<int, int>> stretches;
    for (int chunk = c0; chunk < c1; ++chunk)
      for (int i = chunk; i < rings; i += kChunks) {
        const int n = count(i), half = halfOf(i);
        if (half <= 0) continue;
        uint32_t* samples = ring.data() + start[size_t(i)];
        const uint8_t* used = use.data() + size_t(i) * kSectors;
        // Stretches of read sectors, as ranges of samples counted on past
        // n where they run round through the start.
        int from = 0;
        while (from < kSectors && (used[from] & kRead)) ++from;
        stretches.clear();
        const bool whole = from == kSectors;
        if (whole) {
          stretches.push_back({-half, n + half});  // boxes wrapping round
          head.assign(samples, samples + half);    // read again at the end
        } else {
          for (int k = from + 1; k <= from + kSectors; ++k) {
            if (!(used[k % kSectors] & kRead)) continue;
            int e = k;
            while (e < from + kSectors && (used[e % kSectors] & kRead)) ++e;
            const int a = sectorStart(i, k % kSectors) + (k >= kSectors ? n : 0);
            const int b = sectorStart(i, (e - 1) % kSectors + 1) + (e - 1 >= kSectors ? n : 0);
            stretches.push_back({a, b});
            k = e;
          }
        }
        const auto wrap = [n](int j) { return j < 0 ? j + n : (j >= n ? j - n : j); };
        const int m = 2 * half + 1;
        const float inv = 1.0f / float(m);
        for (const auto& [a, b] : stretches) {
          if (b - a < m) continue;
          // The samples j - half .. j + half as they were read, oldest at
          // passed[oldest].
          passed.resize(size_t(m));
          uint32_t sum[4] = {0, 0, 0, 0};
          const auto add = [&](uint32_t c, int sign) {
            for (int k = 0; k < 4; ++k) sum[k] += uint32_t(sign) * ((c >> (8 * k)) & 0xFF);
          };
          for (int k = 0; k < m; ++k) add(passed[size_t(k)] = samples[wrap(a + k)], 1);
          int oldest = 0;
          for (int j = a + half;; ++j) {
            samples[wrap(j)] = 0xFF000000u | uint32_t(float(sum[2]) * inv + 0.5f) << 16 |
                               uint32_t(float(sum[1]) * inv + 0.5f) << 8 | uint32_t(float(sum[0]) * inv + 0.5f);
            const int next = j + half + 1;
            if (next >= b) break;
            const uint32_t c = whole && next >= n ? head[size_t(next - n)] : samples[wrap(next)];
            add(passed[size_t(oldest)], -1);
            add(c, 1);
            passed[size_t(oldest)] = c;
            if (++oldest == m) oldest = 0;
          }
        }
      }
  });
  // Each pixel between its two rings, each read between its two samples;
  // the distances and turns of a stretch of a row first, in vector lanes,
  // and where each falls in 24.8 fixed point. In tiles: a whole row crosses
  // thousands of rings and reads a sample or two of each, which the next
  // row needs again but no longer finds in the cache; a tile's rings are
  // short stretches that stay there.
  if (out.Width() != w || out.Height() != h) out = TBitmap(w, h);
  const float far = float(rings - 2);
  struct TRing {
    const uint32_t* samples;
    float scale;  // samples a turn, times 256
    int n;
  };
  std::vector<TRing> ringAt(static_cast<size_t>(rings));
  for (int i = 0; i < rings; ++i) ringAt[size_t(i)] = {ring.data() + start[size_t(i)], 256.0f * float(count(i)), count(i)};
  ForTiles(out, 30, [&](int y, int xa, int xb, uint32_t* d) {
    constexpr int kRun = 64;
    float turn[kRun];
    int radius[kRun];  // 24.8 fixed point
    const float dy = float(y) + 0.5f - cy;
    for (int x0 = xa; x0 < xb; x0 += kRun) {
      const int len = std::min(kRun, xb - x0);
      for (int k = 0; k < len; ++k) {
        const float dx = float(x0 + k) + 0.5f - cx;
        radius[k] = int(std::min(std::sqrt(dx * dx + dy * dy), far) * 256.0f);
        turn[k] = FastTurn(dy, dx);
      }
      for (int k = 0; k < len; ++k) {
        const int i = radius[k] >> 8;
        uint32_t at[2];
        for (int e = 0; e < 2; ++e) {
          const TRing& r = ringAt[size_t(i + e)];
          const int pos = int(turn[k] * r.scale);
          int j = pos >> 8;
          if (j >= r.n) j -= r.n;  // a whole turn is none
          at[e] = TOpaqueSampler::Lerp(r.samples[j], r.samples[j + 1 < r.n ? j + 1 : 0], uint32_t(pos & 255));
        }
        d[x0 + k] = TOpaqueSampler::Lerp(at[0], at[1], uint32_t(radius[k] & 255));
      }
    }
  });
}

// One quadrant of a zoom about (cm, cq), in coordinates along the main
// axis m and the cross axis q: for the quadrants above and below the
// centre m is the row and q the column; for those left and right of it the
// other way round. The quadrant's pixels lie on "lines" (rows or columns)
// at distances u0, u0 + 1, ... from the centre, stepping by dir, and hold
// |dq| <= u (above and below) or |dq| < u (left and right), so each pixel
// falls in one quadrant.
//
// A ray from the centre keeps its slope v = dq / u, so the picture is read
// onto a grid of lines by slopes, 2U + 1 slopes from -1 to 1 (U the
// farthest line's distance: a slope a pixel apart on it). A read never
// leaves its line, so it is linear between two pixels. Down each slope a
// running sum gives the box from (1 - s) u to u, whatever s; and every
// pixel takes its place between the two slopes round it. The grid's
// slopes are split over the cores.
// Running sums of the four channels of pixels, and boxes made of them: a
// box is a sum plus three pixels with weights of their own (its ends),
// times an inverse length.
struct TBoxEnds {
  float weights[3];
  float inverse;
};

struct TChannelSums {
#if defined(__SSE2__)
  using TBox = __m128;
  __m128i sums = _mm_setzero_si128();
  static __m128i Widen(uint32_t c) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(c)), zero), zero);
  }
  static __m128 Float(uint32_t c) { return _mm_cvtepi32_ps(Widen(c)); }
  void Add(uint32_t c) { sums = _mm_add_epi32(sums, Widen(c)); }
  void Take(uint32_t c) { sums = _mm_sub_epi32(sums, Widen(c)); }
  // The box without its inverse length.
  TBox Box(const uint32_t* ends, const TBoxEnds& e) const {
    __m128 v = _mm_cvtepi32_ps(sums);
    for (int i = 0; i < 3; ++i) v = _mm_add_ps(v, _mm_mul_ps(_mm_set1_ps(e.weights[i]), Float(ends[i])));
    return v;
  }
  // Box a at (1 - t) and box b at t, as a pixel.
  static uint32_t Between(const TBox& a, const TBox& b, const TBoxEnds& e, float t) {
    const __m128 v = _mm_mul_ps(_mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), _mm_set1_ps(t))), _mm_set1_ps(e.inverse));
    __m128i i = _mm_cvtps_epi32(v);
    i = _mm_packs_epi32(i, i);
    return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(i, i)));
  }
#else
  struct TBox {
    float v[4];
  };
  uint32_t sums[4] = {0, 0, 0, 0};
  void Add(uint32_t c) {
    for (int k = 0; k < 4; ++k) sums[k] += (c >> (8 * k)) & 0xFF;
  }
  void Take(uint32_t c) {
    for (int k = 0; k < 4; ++k) sums[k] -= (c >> (8 * k)) & 0xFF;
  }
  TBox Box(const uint32_t* ends, const TBoxEnds& e) const {
    TBox b;
    for (int k = 0; k < 4; ++k) {
      b.v[k] = float(sums[k]);
      for (int i = 0; i < 3; ++i) b.v[k] += e.weights[i] * float((ends[i] >> (8 * k)) & 0xFF);
    }
    return b;
  }
  static uint32_t Between(const TBox& a, const TBox& b, const TBoxEnds& e, float t) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k)
      v |= uint32_t(std::clamp((a.v[k] + (b.v[k] - a.v[k]) * t) * e.inverse + 0.5f, 0.0f, 255.0f)) << (8 * k);
    return v;
  }
#endif
};

struct TZoomAxes {
  const uint32_t* in;
  uint32_t* out;
  size_t inStepM, inStepQ, outStepM, outStepQ;
  int extentM, extentQ;
  double cm, cq;
  bool strict;  // |dq| < u rather than <=
};

// Positions along a line in 32.32 fixed point: whole pixel and the 8-bit
// weight of the next one.
constexpr double kFixedOne = 4294967296.0;
inline int64_t Fixed(double v) { return int64_t(std::llround(v * kFixedOne)); }
inline int Whole(int64_t p) { return int(p >> 32); }
inline uint32_t Weight(int64_t p) { return uint32_t(((p & 0xFFFFFFFFLL) + (1LL << 23)) >> 24); }

void ZoomQuadrant(const TZoomAxes& ax, int dir, float s) {
  int first, lines;
  if (dir < 0) {
    first = int(std::ceil(ax.cm - 0.5)) - 1;
    lines = first + 1;
  } else {
    first = int(std::floor(ax.cm - 0.5)) + 1;
    lines = ax.extentM - first;
  }
  if (lines <= 0) return;
  // Distances and offsets are worked out alike in every quadrant (in
  // doubles, from the pixel's middle), so a pixel as far across as along
  // falls in exactly one of them.
  const auto lineOf = [&](int j) { return first + dir * j; };
  const auto offset = [](int x, double c) { return double(x) + 0.5 - c; };
  std::vector<double> distance(static_cast<size_t>(lines));
  for (int j = 0; j < lines; ++j) distance[size_t(j)] = std::fabs(offset(lineOf(j), ax.cm));
  const double u0 = distance[0];
  const int U = std::max(1, int(std::ceil(distance[size_t(lines) - 1]))), slopes = 2 * U + 1;
  const auto slopeAt = [&](double dq, double u) { return dq / u * U + U; };
  const auto inside = [&](double dq, double u) { return ax.strict ? std::fabs(dq) < u : std::fabs(dq) <= u; };

  // The slopes each line needs: those that fall on the picture (and one
  // more each side). The nearer a line, the more of its slopes do, so a
  // line's slopes are among those of every nearer line, which its box reads.
  std::vector<int> lo(static_cast<size_t>(lines)), hi(static_cast<size_t>(lines));
  // Each line's box along the ray, from (1 - s) u to u: the line's read
  // taken as straight between lines, so the box is its integral (ends cut
  // part way between lines, and the whole lines weighed as a trapezoid);
  // before the first line the ray holds the first line's value. That is a
  // running sum of the whole lines tail + 1 .. j, plus weights for lines
  // j, tail + 1 and tail.
  std::vector<int> tail(static_cast<size_t>(lines));
  std::vector<TBoxEnds> ends(static_cast<size_t>(lines));
  for (int j = 0; j < lines; ++j) {
    const double u = distance[size_t(j)];
    // (Clamped first: near the centre the slopes of the picture's edges
    // run far past the grid.)
    const double edge0 = std::clamp(slopeAt(-ax.cq, u), -2.0, double(slopes));
    const double edge1 = std::clamp(slopeAt(double(ax.extentQ) - ax.cq, u), -2.0, double(slopes));
    lo[size_t(j)] = std::clamp(int(std::floor(edge0)) - 1, 0, slopes - 2);
    hi[size_t(j)] = std::clamp(int(std::ceil(edge1)) + 1, lo[size_t(j)] + 1, slopes - 1);
    const double a = std::min(double(j), (1 - double(s)) * u - u0), length = double(j) - a;
    TBoxEnds& e = ends[size_t(j)];
    if (length < 1e-6) {  // no streak: the line itself
      tail[size_t(j)] = j;
      e = {{1, 0, 0}, 1};
    } else if (a < 0) {
      tail[size_t(j)] = 0;
      e = {{-0.5f, 0, float(0.5 - a)}, float(1 / length)};
    } else {
      const int t = std::min(j - 1, int(a));
      const double f = a - t;
      tail[size_t(j)] = t;
      e = {{-0.5f, float(-f * f / 2), float((1 - f) * (1 - f) / 2)}, float(1 / length)};
    }
  }
  // A box reaches back at most this many lines.
  int window = 1;
  for (int j = 0; j < lines; ++j) window = std::max(window, j - tail[size_t(j)] + 1);

  // Down the slopes, a band of them to a core, line after line: the line
  // read onto the band's slopes, added to the running sums (and the line
  // the box leaves behind taken off), and then its pixels, each between
  // the boxes of its two slopes. A band keeps the lines a box reaches back
  // to in a ring. In the left and right quadrants a line is a column: there
  // lines go in blocks of sixteen, copied across into rows to be read and
  // back out of rows once written, sixteen neighbouring pixels of a row at
  // a time, where a column at a time would touch a page per pixel.
  constexpr int kBlock = 16;
  const bool alongRows = ax.inStepQ == 1;
  const int last = ax.extentQ - 1;
  ParallelRows(slopes, 8LL * lines, [&](int k0, int k1) {
    const int k1x = std::min(slopes, k1 + 1);  // one more: the last pixels lie between k1 - 1 and k1
    const size_t width = size_t(k1x - k0);
    const int ringLines = window + 1;
    std::vector<uint32_t> ring(width * size_t(ringLines));
    std::vector<TChannelSums> sums(width);
    const auto lineAt = [&](int j) { return ring.data() + size_t(j % ringLines) * width - k0; };
    TChannelSums* const sum = sums.data() - k0;
    const size_t stripLength = alongRows ? 0 : size_t(ax.extentQ);
    std::vector<uint32_t> stripIn(kBlock * stripLength), stripOut(kBlock * stripLength);
    for (int jb = 0; jb < lines; jb += kBlock) {
      const int je = std::min(lines, jb + kBlock);
      // Lines further out fall on fewer slopes: once a line has none in
      // the band, no later one has.
      if (std::max(k0, lo[size_t(jb)]) > std::min(k1x - 1, hi[size_t(jb)])) break;
      // Where each line's first slope in the band falls on it, and how far
      // the next one is: 32.32 fixed point.
      int64_t at[kBlock], step[kBlock];
      int qs[kBlock], qe[kBlock];  // the pixels each line puts
      for (int j = jb; j < je; ++j) {
        const double u = distance[size_t(j)];
        const int ka = std::max(k0, lo[size_t(j)]);
        step[j - jb] = Fixed(u / U);
        at[j - jb] = Fixed(ax.cq - 0.5 + double(ka - U) * u / U);
        qs[j - jb] = ax.extentQ;
        qe[j - jb] = -1;
      }
      if (!alongRows) {
        int qLo = last, qHi = 0;
        for (int j = jb; j < je; ++j) {
          const int ka = std::max(k0, lo[size_t(j)]), kb = std::min(k1x - 1, hi[size_t(j)]);
          if (ka > kb) continue;
          qLo = std::min(qLo, std::clamp(Whole(at[j - jb]), 0, last));
          qHi = std::max(qHi, std::clamp(Whole(at[j - jb] + int64_t(kb - ka) * step[j - jb]) + 1, 0, last));
        }
        for (int q = qLo; q <= qHi; ++q) {
          const uint32_t* row = ax.in + size_t(q) * ax.inStepQ;
          for (int j = jb; j < je; ++j) stripIn[size_t(j - jb) * stripLength + size_t(q)] = row[lineOf(j)];
        }
      }
      for (int j = jb; j < je; ++j) {
        const int ka = std::max(k0, lo[size_t(j)]), kb = std::min(k1x - 1, hi[size_t(j)]);
        if (ka > kb) continue;
        const uint32_t* src = alongRows ? ax.in + size_t(lineOf(j)) * ax.inStepM : stripIn.data() + size_t(j - jb) * stripLength;
        uint32_t* g = lineAt(j);
        int64_t p = at[j - jb];
        for (int k = ka; k <= kb; ++k, p += step[j - jb]) {
          const int q0 = Whole(p);
          g[k] = q0 < 0 ? src[0] : q0 >= last ? src[last] : TOpaqueSampler::Lerp(src[q0], src[q0 + 1], Weight(p));
        }
        const int t = tail[size_t(j)];
        if (j > 0)
          for (int k = ka; k <= kb; ++k) sum[k].Add(g[k]);
        if (j > 0 && t > tail[size_t(j) - 1]) {
          const uint32_t* leaving = lineAt(t);
          for (int k = ka; k <= kb; ++k) sum[k].Take(leaving[k]);
        }
        // The pixels of line j whose lower slope is in this band.
        const uint32_t* endLines[3] = {g, t + 1 <= j ? lineAt(t + 1) : g, lineAt(t)};
        const TBoxEnds& e = ends[size_t(j)];
        const double u = distance[size_t(j)];
        const float scale = float(U / u);
        const int qa = std::max(0, int(std::floor(ax.cq - 0.5 + double(ka - 1 - U) * u / U)));
        const int qb = std::min(last, int(std::ceil(ax.cq - 0.5 + double(std::min(k1, hi[size_t(j)]) + 1 - U) * u / U)));
        uint32_t* dst = alongRows ? ax.out + size_t(lineOf(j)) * ax.outStepM : stripOut.data() + size_t(j - jb) * stripLength;
        // The boxes of slopes k and k + 1 for the last pixel: far out,
        // neighbouring pixels share slopes.
        const auto boxAt = [&](int k) {
          const uint32_t ends3[3] = {endLines[0][k], endLines[1][k], endLines[2][k]};
          return sum[k].Box(ends3, e);
        };
        int known = -2;
        TChannelSums::TBox lower{}, upper{};
        for (int q = qa; q <= qb; ++q) {
          const double dq = offset(q, ax.cq);
          if (!inside(dq, u)) continue;
          const float pos = float(dq) * scale + float(U);
          // (Clamped: a pixel on the quadrant's edge lies on its first or
          // last slope, where rounding may put it a hair beyond.)
          const int k = std::clamp(FloorInt(pos), lo[size_t(j)], hi[size_t(j)] - 1);
          const float w = std::clamp(pos - float(k), 0.0f, 1.0f);
          if (k < k0 || k >= k1) continue;
          if (k != known) {
            lower = k == known + 1 ? upper : boxAt(k);
            upper = boxAt(k + 1);
            known = k;
          }
          const uint32_t c = TChannelSums::Between(lower, upper, e, w);
          dst[q] = c;
          qs[j - jb] = std::min(qs[j - jb], q);
          qe[j - jb] = q;
        }
      }
      if (!alongRows) {
        int qFirst = ax.extentQ, qLast = -1;
        for (int j = jb; j < je; ++j) {
          qFirst = std::min(qFirst, qs[j - jb]);
          qLast = std::max(qLast, qe[j - jb]);
        }
        for (int q = qFirst; q <= qLast; ++q) {
          uint32_t* row = ax.out + size_t(q) * ax.outStepQ;
          for (int j = jb; j < je; ++j)
            if (q >= qs[j - jb] && q <= qe[j - jb]) row[lineOf(j)] = stripOut[size_t(j - jb) * stripLength + size_t(q)];
        }
      }
    }
  });
}

// A zoom towards (cx, cy), the centre inside the picture: each pixel the
// mean of the picture along the ray to the centre, from (1 - s) of its
// distance to all of it, in the four quadrants round the centre.
void ZoomAlongRays(const TBitmap& in, TBitmap& out, float cx, float cy, float s) {
  const int w = in.Width(), h = in.Height();
  // Colours weighted by alpha while they are averaged, unless every pixel
  // is opaque.
  TBitmap premultiplied;
  const bool opaque = Opaque(in);
  if (!opaque) {
    premultiplied.Assign(in);
    PremultiplyAll(premultiplied, true);
  }
  const TBitmap& source = opaque ? in : premultiplied;
  if (out.Width() != w || out.Height() != h) out = TBitmap(w, h);
  const size_t inStride = size_t(source.Stride()), outStride = size_t(out.Stride());
  const TZoomAxes rows{source.Bits(), out.Bits(), inStride, 1, outStride, 1, h, w, double(cy), double(cx), false};
  const TZoomAxes columns{source.Bits(), out.Bits(), 1, inStride, 1, outStride, w, h, double(cx), double(cy), true};
  for (const TZoomAxes* ax : {&rows, &columns})
    for (int dir : {-1, 1}) ZoomQuadrant(*ax, dir, s);
  // The pixel on the centre, when one is, lies in no quadrant: nothing
  // streaks it.
  const float px = cx - 0.5f, py = cy - 0.5f;
  if (px == std::floor(px) && py == std::floor(py) && px >= 0 && py >= 0 && px < float(w) && py < float(h))
    out.ScanLine(int(py))[int(px)] = source.ScanLine(int(py))[int(px)];
  if (!opaque) PremultiplyAll(out, false);
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
  if (strength > 0 && cx >= 0 && cy >= 0 && cx <= float(in.Width()) && cy <= float(in.Height())) {
    ZoomAlongRays(in, out, cx, cy, strength);
    return;
  }
  // A centre off the picture: rays come in from beyond its edge, so halving
  // passes, which read clamped edges as they go.
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

void GaussianBlurPlane16(TPlane<uint16_t>& plane, int w, int h, float sigma, const uint16_t* source) {
  if (!source) source = plane.data();
  if (w <= 0 || h <= 0) return;
  if (!(sigma > 0)) {
    if (source != plane.data()) std::copy(source, source + plane.size(), plane.begin());
    return;
  }
  const int r = PlaneBoxRadius(sigma);
  BoxCascadeRows16(source, plane.data(), w, h, r);
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
