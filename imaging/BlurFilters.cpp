// Blurs: Gaussian and box (cost independent of the radius: cascades of
// running sums), and the directional ones (motion, radial, zoom). Those
// average along a line, an arc or a ray: where the line runs along rows
// or columns, or the picture can be read onto rings or rays about the
// centre, with running sums again; elsewhere by repeated halving, each
// pass averaging the picture with itself moved half as far as the pass
// before, so 2^n samples cost n passes.


#include <functional>
#include <mutex>

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"
#include "imaging/WideReads.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

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

// A row's running sums for boxes of radius r, the ends repeated:
// sums[k] is the sum of the row's first k pixels counted from r before its
// start (w + 2r + 1 of them). In 32 bits: a box's sum, a difference of two,
// comes out exact even where the running sums wrap round.
// The row's own pixels' sums go eight at a time with AVX2: each sum
// waits on the one before it, but a step of eight waits only on the last.
#ifdef KARTO_AVX2
KARTO_AVX2 uint32_t AddUpAvx2(const uint16_t* in, uint32_t* sums, int n, uint32_t s) {
  __m256i carry = _mm256_set1_epi32(int(s));
  int x = 0;
  for (; x + 8 <= n; x += 8) {
    __m256i v = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x)));
    v = _mm256_add_epi32(v, _mm256_slli_si256(v, 4));
    v = _mm256_add_epi32(v, _mm256_slli_si256(v, 8));
    // The lower half's total onto the upper half, then what came before.
    const __m256i low = _mm256_shuffle_epi32(v, 0xFF);
    v = _mm256_add_epi32(v, _mm256_permute2x128_si256(low, low, 0x08));
    v = _mm256_add_epi32(v, carry);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + x), v);
    carry = _mm256_permutevar8x32_epi32(v, _mm256_set1_epi32(7));
  }
  s = uint32_t(_mm256_extract_epi32(carry, 0));
  for (; x < n; ++x) sums[x] = s += in[x];
  return s;
}
#endif

void RunningSums(const uint16_t* in, uint32_t* sums, int w, int r) {
  uint32_t s = 0;
  *sums++ = 0;
  for (int i = 0; i < r; ++i) *sums++ = s += in[0];
#ifdef KARTO_AVX2
  if (WideLanes()) {
    s = AddUpAvx2(in, sums, w, s);
    sums += w;
  } else
#endif
    for (int x = 0; x < w; ++x) *sums++ = s += in[x];
  for (int i = 0; i < r; ++i) *sums++ = s += in[w - 1];
}

// The boxes of m = 2r + 1 pixels from the running sums, divided by m
// through its reciprocal in 24-bit fixed point: a plain loop the compiler
// puts in vector lanes, where one running sum made the boxes one after
// the other.
KARTO_WIDE_CLONES void BoxesFromSums(const uint32_t* sums, uint16_t* out, int w, int m, uint64_t recip) {
  for (int x = 0; x < w; ++x) out[x] = uint16_t((uint64_t(sums[x + m] - sums[x]) * recip + (uint64_t(1) << 23)) >> 24);
}

// Three box passes of radius r along each row of source, in row buffers
// that stay in the cache, into plane (source may be plane itself).
void BoxCascadeRows16(const uint16_t* source, uint16_t* plane, int w, int h, int r) {
  const uint64_t recip = (uint64_t(1) << 24) / uint64_t(2 * r + 1);
  ParallelRows(h, 12LL * w, [&](int y0, int y1) {
    std::vector<uint16_t> a(static_cast<size_t>(w)), b(static_cast<size_t>(w));
    std::vector<uint32_t> sums(static_cast<size_t>(w) + 2 * size_t(r) + 1);
    for (int y = y0; y < y1; ++y) {
      uint16_t* row = plane + size_t(y) * size_t(w);
      const uint16_t* src = source + size_t(y) * size_t(w);
      uint16_t* bufs[3] = {a.data(), b.data(), row};
      for (uint16_t* dstRow : bufs) {
        RunningSums(src, sums.data(), w, r);
        BoxesFromSums(sums.data(), dstRow, w, 2 * r + 1, recip);
        src = dstRow;
      }
    }
  });
}

// A row of column boxes from their sums, and the sums moved a row down.
KARTO_WIDE_CLONES void BoxColumnsStep(uint16_t* d, uint32_t* sum, const uint16_t* add, const uint16_t* sub, int w,
                                      uint64_t recip) {
  for (int x = 0; x < w; ++x) {
    d[x] = uint16_t((sum[x] * recip + (uint64_t(1) << 23)) >> 24);
    sum[x] += uint32_t(add[x]) - uint32_t(sub[x]);
  }
}

// Three box passes of radius r down the columns of plane, in place. Each
// core takes a band of rows and streams the three passes down it at once,
// each a few rows behind the one before, the first two passes' rows kept
// in small rings: the plane is read and written once where three passes
// over a second plane read and wrote it three times (and took a second
// plane's worth of fresh memory). A band's passes start above it and end
// below it, in rows the neighbouring bands overwrite: those are copied
// first. Every box is the same sum of the same whole numbers as pass after
// pass over the whole plane gives, so the result is too.
void BoxColumnsCascade16(uint16_t* plane, int w, int h, int r) {
  const uint64_t recip = (uint64_t(1) << 24) / uint64_t(2 * r + 1);
  const size_t width = size_t(w);
  const int halo = 3 * r + 3;  // rows beyond a band that its first pass reads
  const int bands = std::clamp(h / (8 * halo), 1, int(Cores()));
  const int per = (h + bands - 1) / bands;
  std::vector<std::vector<uint16_t>> above(static_cast<size_t>(bands)), below(static_cast<size_t>(bands));
  for (int b = 0; b < bands; ++b) {
    const int y0 = std::min(h, b * per), y1 = std::min(h, y0 + per);
    const int a0 = std::max(0, y0 - halo), b1 = std::min(h, y1 + halo);
    above[size_t(b)].assign(plane + size_t(a0) * width, plane + size_t(y0) * width);
    below[size_t(b)].assign(plane + size_t(y1) * width, plane + size_t(b1) * width);
  }
  ParallelRows(bands, 12LL * w * per, [&](int b0, int b1) {
    const int ringRows = 2 * r + 2;  // a pass's window and the row it drops
    std::vector<uint16_t> rings[2] = {std::vector<uint16_t>(size_t(ringRows) * width),
                                      std::vector<uint16_t>(size_t(ringRows) * width)};
    std::vector<uint32_t> sums[3] = {std::vector<uint32_t>(width), std::vector<uint32_t>(width), std::vector<uint32_t>(width)};
    for (int b = b0; b < b1; ++b) {
      const int y0 = std::min(h, b * per), y1 = std::min(h, y0 + per);
      if (y0 >= y1) continue;
      const int a0 = std::max(0, y0 - halo);
      // Row q (clamped to the picture) of what pass k reads: the plane (its
      // rows from the one being written on are still untouched), the copies
      // round the band, or the previous pass's ring.
      const auto in = [&](int k, int q) -> const uint16_t* {
        q = std::clamp(q, 0, h - 1);
        if (k > 0) return rings[k - 1].data() + size_t(q % ringRows) * width;
        if (q < y0) return above[size_t(b)].data() + size_t(q - a0) * width;
        if (q >= y1) return below[size_t(b)].data() + size_t(q - y1) * width;
        return plane + size_t(q) * width;
      };
      // The next row each pass makes, and the last it needs to make.
      int next[3], last[3];
      const auto start = [&](int k, int first) {
        next[k] = first;
        uint32_t* sum = sums[k].data();
        std::fill(sum, sum + w, 0u);
        for (int q = first - r; q <= first + r; ++q) {
          const uint16_t* row = in(k, q);
          for (int x = 0; x < w; ++x) sum[x] += row[x];
        }
      };
      const auto make = [&](int k) {
        const int q = next[k]++;
        uint16_t* out = k < 2 ? rings[k].data() + size_t(q % ringRows) * width : plane + size_t(q) * width;
        BoxColumnsStep(out, sums[k].data(), in(k, q + r + 1), in(k, q - r), w, recip);
      };
      // Pass k's rows up to row, making the earlier passes' rows it reads
      // first.
      const std::function<void(int, int)> upTo = [&](int k, int row) {
        row = std::min(row, last[k]);
        while (next[k] <= row) {
          if (k > 0) upTo(k - 1, next[k] + r + 1);
          make(k);
        }
      };
      last[2] = y1 - 1;
      last[1] = std::min(h - 1, last[2] + r + 1);
      last[0] = std::min(h - 1, last[1] + r + 1);
      const int first1 = std::max(0, y0 - r), first0 = std::max(0, first1 - r);
      start(0, first0);
      upTo(0, std::min(h - 1, first1 + r));
      start(1, first1);
      upTo(1, std::min(h - 1, y0 + r));
      start(2, y0);
      upTo(2, y1 - 1);
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

// --- Eight reads at once ------------------------------------------------------
// The spin's two heavy loops read the picture, and then its rings, at
// places worked out rather than walked to: a load per tap, each waiting on
// the arithmetic before it. With AVX2, eight places are worked out
// together and their taps fetched with gathers; elsewhere the same integer
// arithmetic runs lane by lane, so both roads give the same pixels.
constexpr int kLanes = 8;

// A ring's samples j0 .. j0 + n - 1 at radius r about (cx, cy): lane k
// starts at the direction (c[k], s[k]) and every step turns all lanes by
// (c8, s8), eight samples on.
void ReadArcLanes(const TTaps& p, float cx, float cy, float r, const float* c0, const float* s0, float c8, float s8,
                  uint32_t* out, int n) {
  float c[kLanes], s[kLanes];
  std::copy(c0, c0 + kLanes, c);
  std::copy(s0, s0 + kLanes, s);
  for (int j = 0; j < n; j += kLanes) {
    const int m = std::min(kLanes, n - j);
    for (int k = 0; k < m; ++k) out[j + k] = ReadTaps(p, cx + r * c[k], cy + r * s[k]);
    for (int k = 0; k < kLanes; ++k) {
      const float nc = c[k] * c8 - s[k] * s8;
      s[k] = s[k] * c8 + c[k] * s8;
      c[k] = nc;
    }
  }
}

// Ring i's samples: one per pixel of its length, at least one.
inline int RingCount(int i) { return std::max(1, int(std::ceil(2 * kPi * float(i)))); }

// A band of rings as its pixels read them back: the band's k-th ring's
// samples start at samples + k * stride (stride at least the band's
// outermost ring's count), so that a ring's place and length are worked
// out rather than looked up.
struct TRingTable {
  const uint32_t* samples;
  int stride;
};

// Of pixels k < n, those whose inner ring (radius[k], 24.8 fixed point) is
// i0 .. i1 - 1: each between its two rings, each ring read at turn[k]
// between its two samples.
void ReadBackLanes(const TRingTable& t, int i0, int i1, const int* radius, const float* turn, uint32_t* d, int n) {
  for (int k = 0; k < n; ++k) {
    const int i = radius[k] >> 8;
    if (i < i0 || i >= i1) continue;
    uint32_t at[2];
    for (int e = 0; e < 2; ++e) {
      const int ring = i - i0 + e, count = RingCount(i + e);
      const int pos = int(turn[k] * (256.0f * float(count)));
      int j = pos >> 8;
      if (j >= count) j -= count;  // a whole turn is none
      const int j1 = j + 1 < count ? j + 1 : 0;
      const uint32_t* samples = t.samples + size_t(ring) * size_t(t.stride);
      at[e] = TOpaqueSampler::Lerp(samples[j], samples[j1], uint32_t(pos & 255));
    }
    d[k] = TOpaqueSampler::Lerp(at[0], at[1], uint32_t(radius[k] & 255));
  }
}

#ifdef KARTO_AVX2
KARTO_AVX2 void ReadArcAvx2(const TTaps& p, float cx, float cy, float r, const float* c0, const float* s0, float c8, float s8,
                            uint32_t* out, int n) {
  __m256 c = _mm256_loadu_ps(c0), s = _mm256_loadu_ps(s0);
  const __m256 vc8 = _mm256_set1_ps(c8), vs8 = _mm256_set1_ps(s8), vr = _mm256_set1_ps(r);
  const __m256 vcx = _mm256_set1_ps(cx), vcy = _mm256_set1_ps(cy);
  for (int j = 0; j < n; j += kLanes) {
    const __m256i v = ReadTaps8(p, _mm256_add_ps(vcx, _mm256_mul_ps(vr, c)), _mm256_add_ps(vcy, _mm256_mul_ps(vr, s)));
    if (n - j >= kLanes) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), v);
    } else {
      alignas(32) uint32_t rest[kLanes];
      _mm256_store_si256(reinterpret_cast<__m256i*>(rest), v);
      std::copy(rest, rest + (n - j), out + j);
    }
    const __m256 nc = _mm256_sub_ps(_mm256_mul_ps(c, vc8), _mm256_mul_ps(s, vs8));
    s = _mm256_add_ps(_mm256_mul_ps(s, vc8), _mm256_mul_ps(c, vs8));
    c = nc;
  }
}

// As ReadBackLanes (the band's samples in reach of 32-bit indices); reads
// whole lanes past n, but writes none.
KARTO_AVX2 void ReadBackAvx2(const TRingTable& t, int i0, int i1, const int* radius, const float* turn, uint32_t* d, int n) {
  const int* samples = reinterpret_cast<const int*>(t.samples);
  const __m256i rings = _mm256_set1_epi32(i1 - i0), first = _mm256_set1_epi32(i0), stride = _mm256_set1_epi32(t.stride);
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  for (int k = 0; k < n; k += kLanes) {
    const __m256i rad = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(radius + k));
    const __m256 tr = _mm256_loadu_ps(turn + k);
    const __m256i rel = _mm256_sub_epi32(_mm256_srai_epi32(rad, 8), first);
    // Pixels of other bands are not written; their lanes read this band's
    // nearest ring instead.
    const __m256i mine = _mm256_and_si256(
        _mm256_and_si256(_mm256_cmpgt_epi32(rel, _mm256_set1_epi32(-1)), _mm256_cmpgt_epi32(rings, rel)),
        _mm256_cmpgt_epi32(_mm256_set1_epi32(n - k), lane));
    const __m256i i = _mm256_min_epi32(_mm256_max_epi32(rel, _mm256_setzero_si256()), _mm256_sub_epi32(rings, _mm256_set1_epi32(1)));
    __m256i at[2];
    for (int e = 0; e < 2; ++e) {
      // The ring's place and its length, as RingCount works it out.
      const __m256i ring = _mm256_add_epi32(i, _mm256_set1_epi32(e));
      const __m256i st = _mm256_mullo_epi32(ring, stride);
      const __m256 length = _mm256_mul_ps(_mm256_set1_ps(2 * kPi), _mm256_cvtepi32_ps(_mm256_add_epi32(ring, first)));
      const __m256i count = _mm256_max_epi32(_mm256_set1_epi32(1), _mm256_cvttps_epi32(_mm256_ceil_ps(length)));
      const __m256 scale = _mm256_mul_ps(_mm256_set1_ps(256.0f), _mm256_cvtepi32_ps(count));
      const __m256i pos = _mm256_cvttps_epi32(_mm256_mul_ps(tr, scale));
      __m256i j = _mm256_srai_epi32(pos, 8);
      j = _mm256_sub_epi32(j, _mm256_andnot_si256(_mm256_cmpgt_epi32(count, j), count));
      __m256i j1 = _mm256_add_epi32(j, _mm256_set1_epi32(1));
      j1 = _mm256_and_si256(j1, _mm256_cmpgt_epi32(count, j1));
      const __m256i a = _mm256_i32gather_epi32(samples, _mm256_add_epi32(st, j), 4);
      const __m256i b = _mm256_i32gather_epi32(samples, _mm256_add_epi32(st, j1), 4);
      at[e] = Lerp8(a, b, Weight8(pos));
    }
    _mm256_maskstore_epi32(reinterpret_cast<int*>(d + k), mine, Lerp8(at[0], at[1], Weight8(rad)));
  }
}
#endif

#if defined(KARTO_AVX2)
// As BoxAlong (in and out apart), from running sums laid down first in
// sums (boxes + m of them): then every box is a difference of two sums,
// four boxes to a step in vector lanes, where one running sum made the
// boxes one after the other. The same integer sums and float steps, so the
// same pixels.
// Boxes k and k + 1 from the running sums (four 32-bit channels each), as
// 32-bit channels.
KARTO_AVX2 inline __m256i TwoBoxes(const int32_t* sums, int k, int m, __m256 scale) {
  const __m256i from = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + 4 * size_t(k)));
  const __m256i to = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + 4 * size_t(k + m)));
  return _mm256_cvttps_epi32(
      _mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(to, from)), scale), _mm256_set1_ps(0.5f)));
}

KARTO_AVX2 void BoxAlongAvx2(const uint32_t* in, uint32_t* out, int boxes, int m, int32_t* sums) {
  __m128i sum = _mm_setzero_si128();
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums), sum);
  for (int k = 0; k + 1 < boxes + m; ++k) {
    sum = _mm_add_epi32(sum, _mm_cvtepu8_epi32(_mm_cvtsi32_si128(int(in[k]))));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + 4 * size_t(k + 1)), sum);
  }
  const __m256 scale = _mm256_set1_ps(1.0f / float(m));
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0), alpha = _mm256_set1_epi32(int(0xFF000000u));
  int k = 0;
  for (; k + 4 <= boxes; k += 4) {
    // Per half: boxes k and k + 2, then k + 1 and k + 3; put in order.
    const __m256i words = _mm256_packs_epi32(TwoBoxes(sums, k, m, scale), TwoBoxes(sums, k + 2, m, scale));
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words, words), order);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm256_castsi256_si128(_mm256_or_si256(bytes, alpha)));
  }
  for (; k < boxes; ++k) {
    const __m128i d = _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 4 * size_t(k + m))),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 4 * size_t(k))));
    __m128i v = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(d), _mm256_castps256_ps128(scale)), _mm_set1_ps(0.5f)));
    v = _mm_packs_epi32(v, v);
    out[k] = 0xFF000000u | uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
  }
}
#endif

// The boxes of m opaque pixels along a line: out[k] the mean of in[k] ..
// in[k + m - 1], for k < boxes (out may be in: each box is written after
// the pixels it no longer needs are read).
void BoxAlong(const uint32_t* in, uint32_t* out, int boxes, int m) {
  const float inv = 1.0f / float(m);
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const auto widen = [&](uint32_t c) { return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(c)), zero), zero); };
  const __m128 scale = _mm_set1_ps(inv), half = _mm_set1_ps(0.5f);
  __m128i sum = zero;
  for (int k = 0; k < m; ++k) sum = _mm_add_epi32(sum, widen(in[k]));
  for (int k = 0;; ++k) {
    __m128i v = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(sum), scale), half));
    v = _mm_packs_epi32(v, v);
    const uint32_t box = 0xFF000000u | uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
    if (k + 1 == boxes) {
      out[k] = box;
      break;
    }
    sum = _mm_sub_epi32(_mm_add_epi32(sum, widen(in[k + m])), widen(in[k]));
    out[k] = box;
  }
#else
  uint32_t sum[4] = {0, 0, 0, 0};
  const auto add = [&](uint32_t c, uint32_t sign) {
    for (int ch = 0; ch < 4; ++ch) sum[ch] += sign * ((c >> (8 * ch)) & 0xFF);
  };
  for (int k = 0; k < m; ++k) add(in[k], 1);
  for (int k = 0;; ++k) {
    const uint32_t box = 0xFF000000u | uint32_t(float(sum[2]) * inv + 0.5f) << 16 |
                         uint32_t(float(sum[1]) * inv + 0.5f) << 8 | uint32_t(float(sum[0]) * inv + 0.5f);
    if (k + 1 == boxes) {
      out[k] = box;
      break;
    }
    add(in[k + m], 1);
    add(in[k], uint32_t(-1));
    out[k] = box;
  }
#endif
}

// Where n pixels of a row lie about the centre, the first dx0 across and
// all dy down from it: their distances (at most far) in 24.8 fixed point
// and their turns.
KARTO_WIDE_CLONES void RadiiAndTurns(float dx0, float dy, float far, int* radius, float* turn, int n) {
  for (int k = 0; k < n; ++k) {
    const float dx = dx0 + float(k);
    const float r = std::sqrt(dx * dx + dy * dy);
    radius[k] = int((r < far ? r : far) * 256.0f);
    turn[k] = FastTurn(dy, dx);
  }
}

// How far the picture's farthest corner lies from (cx, cy).
float FarthestCorner(const TBitmap& in, float cx, float cy) {
  const float w = float(in.Width()), h = float(in.Height());
  return Hypot(std::max(cx, w - cx), std::max(cy, h - cy));
}

// A spin of an opaque picture, through rings: the picture is read onto
// rings of radius 0, 1, 2 ... about the centre, one sample per pixel of
// arc; each ring is averaged along itself over the spin's angle with a
// running sum (so the cost does not grow with the angle); and every pixel
// reads its place between the two rings round it. Three passes over the
// pixels where halving passes took a dozen, made band by band of rings so
// that each band's samples are read back while they are still in the
// cache (a plane of all the rings, some 80 MB at 12 MP, came back from
// memory at every step).
//
// Rings reach the picture's farthest corner, and beyond the nearer edges
// they run off it: a ring is read only in the sectors (a 256th of a turn)
// where pixels of the picture lie next to it, and as far again to either
// side as the box reaches.
void SpinThroughRings(const TBitmap& in, TBitmap& out, float cx, float cy, float angle) {

  const int w = in.Width(), h = in.Height();
  const float reach = FarthestCorner(in, cx, cy);
  const int rings = int(std::ceil(reach)) + 2;
  std::vector<int64_t> start(size_t(rings) + 1, 0);
  for (int i = 0; i < rings; ++i) start[size_t(i) + 1] = start[size_t(i)] + RingCount(i);
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

  // Where each ring's stretch in each sector starts, as a cosine and a
  // sine: turned on from sector to sector in doubles (a library call for
  // each would cost as much as the samples).
  const size_t ringCount = size_t(rings);
  std::vector<float> startCos(ringCount * kSectors), startSin(startCos.size()), stepCos(ringCount), stepSin(ringCount);
  std::vector<float> step8Cos(ringCount), step8Sin(ringCount);
  ParallelRows(rings, kSectors * 8, [&](int i0, int i1) {
    for (int i = i0; i < i1; ++i) {
      const int n = count(i);
      const double step = 2 * 3.14159265358979323846 / n;
      stepCos[size_t(i)] = float(std::cos(step));
      stepSin[size_t(i)] = float(std::sin(step));
      step8Cos[size_t(i)] = float(std::cos(step * kLanes));
      step8Sin[size_t(i)] = float(std::sin(step * kLanes));
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
  // One ring's stretches of sectors from..to read onto samples (the ring's
  // first sample): eight samples at a time, each lane a sample further
  // round, all turned by eight steps at once; started afresh every kSeed
  // sectors, so that the turns in floats do not drift.
  constexpr int kSeed = 16;
  const TTaps taps{in.Bits(), size_t(in.Stride()), w, h};
  const bool lanes = WideLanes() && size_t(in.Stride()) * size_t(h) < size_t(INT32_MAX);
  const auto readRing = [&](int i, int from, int to, uint32_t* samples) {
    const uint8_t* used = use.data() + size_t(i) * kSectors;
    const float cs = stepCos[size_t(i)], sn = stepSin[size_t(i)];
    for (int sector = from; sector < to;) {
      if (!(used[sector] & kRead)) {
        ++sector;
        continue;
      }
      int end = sector + 1;
      while (end < to && (used[end] & kRead)) ++end;
      const int j0 = sectorStart(i, sector), j1 = sectorStart(i, end);
      if (j1 > j0) {
        float c[kLanes], sv[kLanes];
        c[0] = startCos[size_t(i) * kSectors + size_t(sector)];
        sv[0] = startSin[size_t(i) * kSectors + size_t(sector)];
        for (int k = 1; k < kLanes; ++k) {
          c[k] = c[k - 1] * cs - sv[k - 1] * sn;
          sv[k] = sv[k - 1] * cs + c[k - 1] * sn;
        }
#if defined(KARTO_AVX2)
        if (lanes)
          ReadArcAvx2(taps, cx, cy, float(i), c, sv, step8Cos[size_t(i)], step8Sin[size_t(i)], samples + j0, j1 - j0);
        else
#endif
          ReadArcLanes(taps, cx, cy, float(i), c, sv, step8Cos[size_t(i)], step8Sin[size_t(i)], samples + j0, j1 - j0);
      }
      sector = end;
    }
  };

  // A ring averaged along itself over the angle, in place, in the
  // stretches that were read: a running sum along each stretch gives the
  // boxes that lie wholly within it, which those the pixels read do.
  struct TScratch {
    TPlane<uint32_t> samples;
    std::vector<uint32_t> line;
    std::vector<int32_t> sums;  // running sums for the wide boxes, four channels each
    std::vector<std::pair<int, int>> stretches;
  };
  const auto boxRing = [&](int i, uint32_t* samples, TScratch& scratch) {
    const int n = count(i), half = halfOf(i);
    if (half <= 0) return;
    std::vector<std::pair<int, int>>& stretches = scratch.stretches;
    const uint8_t* used = use.data() + size_t(i) * kSectors;
    // Stretches of read sectors, as ranges of samples counted on past
    // n where they run round through the start.
    int from = 0;
    while (from < kSectors && (used[from] & kRead)) ++from;
    stretches.clear();
    const bool whole = from == kSectors;
    if (whole) {
      stretches.push_back({-half, n + half});  // boxes wrapping round
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
    for (const auto& [a, b] : stretches) {
      if (b - a < m) continue;
      // The stretch laid out straight (its boxes overwrite the samples),
      // boxed, and put back in place.
      std::vector<uint32_t>& line = scratch.line;
      line.resize(size_t(b - a));
      for (int j = a; j < b;) {
        const int from = wrap(j), run = std::min(b - j, n - from);
        std::copy(samples + from, samples + from + run, line.data() + (j - a));
        j += run;
      }
      const int boxes = b - a - m + 1;
#if defined(KARTO_AVX2)
      if (lanes) {
        scratch.sums.resize(4 * (size_t(b - a) + 1));
        BoxAlongAvx2(line.data(), line.data(), boxes, m, scratch.sums.data());
      } else
#endif
        BoxAlong(line.data(), line.data(), boxes, m);
      for (int j = a + half, k = 0; k < boxes;) {
        const int to = wrap(j), run = std::min(boxes - k, n - to);
        std::copy(line.data() + k, line.data() + k + run, samples + to);
        j += run;
        k += run;
      }
    }
  };

  // Each pixel between its two rings, each read between its two samples;
  // the distances and turns of a stretch of a row first, in vector lanes,
  // and where each falls in 24.8 fixed point.
  if (out.Width() != w || out.Height() != h) out = TBitmap(w, h);
  const float far = float(rings - 2);
  // Pixels are read back band by band of kBand rings (below), each ring
  // in the room of the band's outermost (kBand + 1 rings, with the next
  // band's first).
  constexpr int kBand = 128;
  const bool backLanes = WideLanes() && int64_t(kBand + 1) * RingCount(rings) < INT32_MAX;
  // (The rows' address taken once, before the cores share the picture:
  // ScanLine may detach it.)
  uint32_t* const outBits = out.Bits();
  const size_t outStride = size_t(out.Stride());
  // The pixels of a row from xa to xb whose inner ring is i0 .. i1 - 1,
  // reading rings i0 .. i1 from samples (ring i0's first).
  const auto readBack = [&](int y, int xa, int xb, int i0, int i1, const uint32_t* samples) {
    uint32_t* d = outBits + size_t(y) * outStride;
    constexpr int kRun = 64;  // a whole number of lanes
    alignas(32) float turn[kRun];
    alignas(32) int radius[kRun];  // 24.8 fixed point
    const float dy = float(y) + 0.5f - cy;
    const TRingTable table{samples, RingCount(i1)};
    for (int x0 = xa; x0 < xb; x0 += kRun) {
      const int len = std::min(kRun, xb - x0), whole = (len + kLanes - 1) / kLanes * kLanes;
      // (Past the run's end too, up to a whole lane: those pixels are
      // worked out but not written.)
      RadiiAndTurns(float(x0) + 0.5f - cx, dy, far, radius, turn, whole);
#if defined(KARTO_AVX2)
      if (backLanes) {
        ReadBackAvx2(table, i0, i1, radius, turn, d + x0, len);
        continue;
      }
#endif
      ReadBackLanes(table, i0, i1, radius, turn, d + x0, len);
    }
  };

  // Band by band of kBand rings, outermost first, each on the next free
  // core: its rings read (in patches of kSeed sectors, which stay in the
  // cache while the band's rings pass over them), averaged, and read back
  // by the pixels between them, all while the band's samples are in the
  // cache. The band also reads the first ring of the band outside it,
  // which its outermost pixels need. (Narrower bands fit the nearer cache
  // better but cut the rows into more, shorter runs: at 16 rings the read
  // back took twice as long as at 128.)
  const int pixelRings = rings - 1;  // a pixel's inner ring is at most far
  const int bands = (pixelRings + kBand - 1) / kBand;
  std::vector<TScratch> scratches(std::min<size_t>(Cores(), size_t(bands)));
  std::vector<TScratch*> idle;
  for (TScratch& scratch : scratches) idle.push_back(&scratch);
  std::mutex idleGuard;
  ParallelEach(size_t(bands), [&](size_t b) {
    TScratch* scratch;
    {
      std::lock_guard<std::mutex> lock(idleGuard);
      scratch = idle.back();
      idle.pop_back();
    }
    const int i0 = (bands - 1 - int(b)) * kBand, i1 = std::min(pixelRings, i0 + kBand);
    TPlane<uint32_t>& samples = scratch->samples;
    // (Not zeroed: a sample is read only where it was written.)
    const size_t stride = size_t(RingCount(i1));
    if (samples.size() < size_t(i1 - i0 + 1) * stride) samples.resize(size_t(i1 - i0 + 1) * stride);
    const auto ringSamples = [&](int i) { return samples.data() + size_t(i - i0) * stride; };
    // The patch each piece of the band reads lies in a box of the picture:
    // the next piece's box is asked of the memory a few rows at a time
    // while this piece is read (its reads come from rows the processor
    // cannot guess, and waited on the memory at every ring).
    static_assert(kSectors % (4 * kSeed) == 0, "pieces end on the axes");
    const auto boxOf = [&](int piece, int& xA, int& xB, int& yA, int& yB) {
      double x0 = 1e30, x1 = -1e30, y0 = 1e30, y1 = -1e30;
      for (int radius : {i0, i1 + 1})
        for (int sector : {piece, piece + kSeed}) {  // (an arc within a quadrant is widest at its ends)
          const double a = 2 * 3.14159265358979323846 * sector / kSectors;
          const double x = double(cx) + radius * std::cos(a), y = double(cy) + radius * std::sin(a);
          x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
      xA = int(std::clamp(x0 - 2, 0.0, double(w - 1))), xB = int(std::clamp(x1 + 2, 0.0, double(w - 1)));
      yA = int(std::clamp(y0 - 2, 0.0, double(h - 1))), yB = int(std::clamp(y1 + 2, 0.0, double(h - 1)));
    };
    const auto prefetchRows = [&](int xA, int xB, int from, int to) {
      for (int y = from; y < to; ++y) {
        const uint32_t* row = in.ScanLine(y);
        for (int x = xA; x <= xB; x += 16) __builtin_prefetch(row + x, 0, 2);
      }
    };
    int xA, xB, yA, yB;
    boxOf(0, xA, xB, yA, yB);
    prefetchRows(xA, xB, yA, yB + 1);
    for (int piece = 0; piece < kSectors; piece += kSeed) {
      const bool more = piece + kSeed < kSectors;
      if (more) boxOf(piece + kSeed, xA, xB, yA, yB);
      const int ringsRead = i1 - i0 + 1, rows = more ? yB - yA + 1 : 0;
      for (int i = i0; i <= i1; ++i) {
        readRing(i, piece, piece + kSeed, ringSamples(i));
        const int k = i - i0;
        prefetchRows(xA, xB, yA + int(int64_t(rows) * k / ringsRead), yA + int(int64_t(rows) * (k + 1) / ringsRead));
      }
    }
    for (int i = i0; i <= i1; ++i) boxRing(i, ringSamples(i), *scratch);
    // The rows through the band, and in each the pixels a ring or more
    // either side of it: every pixel there finds out its own ring.
    // (The outermost band takes every pixel beyond it: none should be,
    // but a pixel rounded past the farthest ring still finds its own.)
    const double outer = i1 >= pixelRings ? double(w) + double(h) + double(pixelRings) : double(i1) + 1, inner = double(i0) - 1;
    const int ya = int(std::max(0.0, std::floor(double(cy) - 0.5 - outer))),
              yb = int(std::min(double(h - 1), std::ceil(double(cy) - 0.5 + outer)));
    for (int y = ya; y <= yb; ++y) {
      const double dy = double(y) + 0.5 - double(cy), across = outer * outer - dy * dy;
      if (across < 0) continue;
      const double xo = std::sqrt(across), xi = inner > 0 && inner * inner > dy * dy ? std::sqrt(inner * inner - dy * dy) : -1;
      const auto span = [&](double lo, double hi) {
        const int xa = std::max(0, int(std::floor(std::max(lo, -1.0)))), xb = std::min(w - 1, int(std::ceil(std::min(hi, double(w)))));
        if (xa <= xb) readBack(y, xa, xb + 1, i0, i1, ringSamples(i0));
      };
      const double mid = double(cx) - 0.5;
      if (xi < 0) {
        span(mid - xo, mid + xo);
      } else {
        span(mid - xo, mid - xi);
        span(mid + xi, mid + xo);
      }
    }
    std::lock_guard<std::mutex> lock(idleGuard);
    idle.push_back(scratch);
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
// Boxes along the slopes, made of running sums of the four channels: a box
// is a sum plus three lines' reads with weights of their own (its ends),
// times an inverse length.
struct TBoxEnds {
  float weights[3];
  float inverse;
};

// The sums and boxes run over a line's slopes channel by channel, as plain
// arrays of bytes, ints and floats, which the compiler widens to as many
// lanes as the processor has.
KARTO_WIDE_CLONES void AddReads(int32_t* __restrict sums, const uint8_t* __restrict adding, size_t n) {
  for (size_t i = 0; i < n; ++i) sums[i] += adding[i];
}

KARTO_WIDE_CLONES void AddAndTakeReads(int32_t* __restrict sums, const uint8_t* __restrict adding,
                                       const uint8_t* __restrict leaving, size_t n) {
  for (size_t i = 0; i < n; ++i) sums[i] += int32_t(adding[i]) - int32_t(leaving[i]);
}

KARTO_WIDE_CLONES void LayBoxes(float* __restrict boxes, const int32_t* __restrict sums, const uint8_t* __restrict end0,
                                const uint8_t* __restrict end1, const uint8_t* __restrict end2, TBoxEnds e, size_t n) {
  for (size_t i = 0; i < n; ++i)
    boxes[i] = (float(sums[i]) + e.weights[0] * float(end0[i]) + e.weights[1] * float(end1[i]) +
                e.weights[2] * float(end2[i])) *
               e.inverse;
}

// Positions along a line in 32.32 fixed point: whole pixel and the 8-bit
// weight of the next one.
constexpr double kFixedOne = 4294967296.0;
inline int64_t Fixed(double v) { return int64_t(std::llround(v * kFixedOne)); }
inline int Whole(int64_t p) { return int(p >> 32); }
inline uint32_t Weight(int64_t p) { return uint32_t(((p & 0xFFFFFFFFLL) + (1LL << 23)) >> 24); }

// A line read at n places, from p on by step (32.32 fixed point), linear
// between its pixels and held at its ends.
void ReadAlong(uint32_t* reads, const uint32_t* line, int last, int64_t p, int64_t step, int n) {
  for (int i = 0; i < n; ++i, p += step) {
    const int q0 = Whole(p);
    reads[i] = q0 < 0 ? line[0] : q0 >= last ? line[last] : TOpaqueSampler::Lerp(line[q0], line[q0 + 1], Weight(p));
  }
}

#ifdef KARTO_AVX2
// The same, eight places a step: the places in 64-bit lanes, the reads
// gathered (a line of one pixel is left to the plain loop).
KARTO_AVX2 void ReadAlongAvx2(uint32_t* reads, const uint32_t* line, int last, int64_t p, int64_t step, int n) {
  int i = 0;
  if (last >= 1) {
    const int* base = reinterpret_cast<const int*>(line);
    __m256i low = _mm256_set_epi64x(p + 3 * step, p + 2 * step, p + step, p);
    __m256i high = _mm256_add_epi64(low, _mm256_set1_epi64x(4 * step));
    const __m256i advance = _mm256_set1_epi64x(8 * step);
    const __m256i zero = _mm256_setzero_si256(), top = _mm256_set1_epi32(last - 1);
    for (; i + 8 <= n; i += 8) {
      // The whole pixels and fractions of the eight places, in order.
      const __m256 l = _mm256_castsi256_ps(low), h = _mm256_castsi256_ps(high);
      const __m256i whole = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(l, h, _MM_SHUFFLE(3, 1, 3, 1))),
                                                     _MM_SHUFFLE(3, 1, 2, 0));
      const __m256i part = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(l, h, _MM_SHUFFLE(2, 0, 2, 0))),
                                                    _MM_SHUFFLE(3, 1, 2, 0));
      // The weight rounded to 8 bits (256 when the fraction rounds up).
      __m256i w = _mm256_add_epi32(_mm256_srli_epi32(part, 24), _mm256_and_si256(_mm256_srli_epi32(part, 23), _mm256_set1_epi32(1)));
      // Before the line's first pixel its first, from its last on its last.
      w = _mm256_andnot_si256(_mm256_cmpgt_epi32(zero, whole), w);
      w = _mm256_blendv_epi8(w, _mm256_set1_epi32(256), _mm256_cmpgt_epi32(whole, top));
      const __m256i q0 = _mm256_min_epi32(_mm256_max_epi32(whole, zero), top);
      const __m256i a = _mm256_i32gather_epi32(base, q0, 4), b = _mm256_i32gather_epi32(base + 1, q0, 4);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(reads + i), Lerp8(a, b, _mm256_or_si256(w, _mm256_slli_epi32(w, 16))));
      low = _mm256_add_epi64(low, advance);
      high = _mm256_add_epi64(high, advance);
    }
  }
  ReadAlong(reads + i, line, last, p + int64_t(i) * step, step, n - i);
}
#endif

// The pixel a share t of the way from a box to the next one (boxes four
// floats each, one after the other).
inline uint32_t BetweenBoxes(const float* box, float t) {
#if defined(__SSE2__)
  const __m128 a = _mm_loadu_ps(box), b = _mm_loadu_ps(box + 4);
  __m128i i = _mm_cvtps_epi32(_mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), _mm_set1_ps(t))));
  i = _mm_packs_epi32(i, i);
  return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(i, i)));
#else
  uint32_t v = 0;
  for (int k = 0; k < 4; ++k)
    v |= uint32_t(std::clamp(box[k] + (box[k + 4] - box[k]) * t + 0.5f, 0.0f, 255.0f)) << (8 * k);
  return v;
#endif
}

// A line's run of pixels qa .. qb, each between the boxes of the two
// slopes round it: pixel q lies at slope (q + 0.5 - c) scale + centre,
// clamped to the slopes first .. last (a pixel on the quadrant's edge lies
// on its first or last slope, where rounding may put it a hair beyond).
struct TSlopeRun {
  double c;
  float scale, centre;
  int first, last;
  float At(int q) const { return float(double(q) + 0.5 - c) * scale + centre; }
  int Below(float pos) const { return std::clamp(FloorInt(pos), first, last); }
};

void PutRun(uint32_t* dst, const float* box, const TSlopeRun& r, int qa, int qb) {
  for (int q = qa; q <= qb; ++q) {
    const float pos = r.At(q);
    const int k = r.Below(pos);
    dst[q] = BetweenBoxes(box + 4 * k, std::clamp(pos - float(k), 0.0f, 1.0f));
  }
}

#ifdef KARTO_AVX2
// The same, the places of eight pixels a step (in the same double and
// float steps).
KARTO_AVX2 void PutRunAvx2(uint32_t* dst, const float* box, const TSlopeRun& r, int qa, int qb) {
  int q = qa;
  const __m256d offset = _mm256_set1_pd(0.5), c = _mm256_set1_pd(r.c);
  const __m256 scale = _mm256_set1_ps(r.scale), centre = _mm256_set1_ps(r.centre);
  const __m256i first = _mm256_set1_epi32(r.first), last = _mm256_set1_epi32(r.last);
  const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
  alignas(32) int slope[8];
  alignas(32) float share[8];
  for (; q + 8 <= qb + 1; q += 8) {
    const __m128i qs = _mm_add_epi32(_mm_set1_epi32(q), _mm_setr_epi32(0, 1, 2, 3));
    const __m128 lowHalf = _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_add_pd(_mm256_cvtepi32_pd(qs), offset), c));
    const __m128 highHalf =
        _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_add_pd(_mm256_cvtepi32_pd(_mm_add_epi32(qs, _mm_set1_epi32(4))), offset), c));
    const __m256 pos = _mm256_add_ps(_mm256_mul_ps(_mm256_set_m128(highHalf, lowHalf), scale), centre);
    const __m256i k = _mm256_min_epi32(_mm256_max_epi32(_mm256_cvttps_epi32(_mm256_floor_ps(pos)), first), last);
    const __m256 t = _mm256_min_ps(_mm256_max_ps(_mm256_sub_ps(pos, _mm256_cvtepi32_ps(k)), zero), one);
    _mm256_store_si256(reinterpret_cast<__m256i*>(slope), k);
    _mm256_store_ps(share, t);
    for (int i = 0; i < 8; ++i) dst[q + i] = BetweenBoxes(box + 4 * slope[i], share[i]);
  }
  PutRun(dst, box, r, q, qb);
}
#endif

struct TZoomAxes {
  const uint32_t* in;
  uint32_t* out;
  size_t inStepM, inStepQ, outStepM, outStepQ;
  int extentM, extentQ;
  double cm, cq;
  bool strict;  // |dq| < u rather than <=
};

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
  constexpr int kBlock = 16, kAhead = 16;
  const bool alongRows = ax.inStepQ == 1;
  const int last = ax.extentQ - 1;
  [[maybe_unused]] const bool lanes = WideLanes();
  ParallelRows(slopes, 8LL * lines, [&](int k0, int k1) {
    const int k1x = std::min(slopes, k1 + 1);  // one more: the last pixels lie between k1 - 1 and k1
    const size_t width = size_t(k1x - k0);
    const int ringLines = window + 1;
    std::vector<uint32_t> ring(width * size_t(ringLines));
    std::vector<int32_t> sums(4 * width);
    std::vector<float> boxes(4 * width);
    const auto lineAt = [&](int j) { return ring.data() + size_t(j % ringLines) * width - k0; };
    // Slope k's channels, as bytes, and its sums and box.
    const auto bytesOf = [&](const uint32_t* line, int k) { return reinterpret_cast<const uint8_t*>(line + k); };
    int32_t* const sum = sums.data() - 4 * size_t(k0);
    float* const box = boxes.data() - 4 * size_t(k0);
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
        // (Row after row, each a new line of memory the processor does not
        // fetch ahead: asked for some rows early.)
        for (int q = qLo; q <= qHi; ++q) {
          if (q + kAhead <= qHi) {
            const uint32_t* ahead = ax.in + size_t(q + kAhead) * ax.inStepQ;
            __builtin_prefetch(ahead + lineOf(jb));
            __builtin_prefetch(ahead + lineOf(je - 1));
          }
          const uint32_t* row = ax.in + size_t(q) * ax.inStepQ;
          for (int j = jb; j < je; ++j) stripIn[size_t(j - jb) * stripLength + size_t(q)] = row[lineOf(j)];
        }
      }
      for (int j = jb; j < je; ++j) {
        const int ka = std::max(k0, lo[size_t(j)]), kb = std::min(k1x - 1, hi[size_t(j)]);
        if (ka > kb) continue;
        const uint32_t* src = alongRows ? ax.in + size_t(lineOf(j)) * ax.inStepM : stripIn.data() + size_t(j - jb) * stripLength;
        uint32_t* g = lineAt(j);
#ifdef KARTO_AVX2
        if (lanes)
          ReadAlongAvx2(g + ka, src, last, at[j - jb], step[j - jb], kb - ka + 1);
        else
#endif
          ReadAlong(g + ka, src, last, at[j - jb], step[j - jb], kb - ka + 1);
        const int t = tail[size_t(j)];
        const size_t n = 4 * size_t(kb - ka + 1);
        if (j > 0 && t > tail[size_t(j) - 1])
          AddAndTakeReads(sum + 4 * ka, bytesOf(g, ka), bytesOf(lineAt(t), ka), n);
        else if (j > 0)
          AddReads(sum + 4 * ka, bytesOf(g, ka), n);
        // The boxes of the line's slopes: the pixels of line j whose lower
        // slope is in this band lie between two of them.
        LayBoxes(box + 4 * ka, sum + 4 * ka, bytesOf(g, ka), bytesOf(t + 1 <= j ? lineAt(t + 1) : g, ka),
                 bytesOf(lineAt(t), ka), ends[size_t(j)], n);
        const double u = distance[size_t(j)];
        int qa = std::max(0, int(std::floor(ax.cq - 0.5 + double(ka - 1 - U) * u / U)));
        int qb = std::min(last, int(std::ceil(ax.cq - 0.5 + double(std::min(k1, hi[size_t(j)]) + 1 - U) * u / U)));
        const int kLo = std::max(k0, lo[size_t(j)]), kHi = std::min(k1, hi[size_t(j)]) - 1;
        const TSlopeRun run{ax.cq, float(U / u), float(U), lo[size_t(j)], hi[size_t(j)] - 1};
        // The pixels this band puts are those in the quadrant (between its
        // edges) whose lower slope is the band's: the slopes climb with q,
        // so they lie in one run, found from its ends.
        while (qa <= qb && (!inside(offset(qa, ax.cq), u) || run.Below(run.At(qa)) < kLo)) ++qa;
        while (qb >= qa && (!inside(offset(qb, ax.cq), u) || run.Below(run.At(qb)) > kHi)) --qb;
        if (qa > qb) continue;
        uint32_t* dst = alongRows ? ax.out + size_t(lineOf(j)) * ax.outStepM : stripOut.data() + size_t(j - jb) * stripLength;
#ifdef KARTO_AVX2
        if (lanes)
          PutRunAvx2(dst, box, run, qa, qb);
        else
#endif
          PutRun(dst, box, run, qa, qb);
        qs[j - jb] = qa;
        qe[j - jb] = qb;
      }
      if (!alongRows) {
        int qFirst = ax.extentQ, qLast = -1;
        for (int j = jb; j < je; ++j) {
          qFirst = std::min(qFirst, qs[j - jb]);
          qLast = std::max(qLast, qe[j - jb]);
        }
        for (int q = qFirst; q <= qLast; ++q) {
          if (q + kAhead <= qLast) {
            uint32_t* ahead = ax.out + size_t(q + kAhead) * ax.outStepQ;
            __builtin_prefetch(ahead + lineOf(jb), 1);
            __builtin_prefetch(ahead + lineOf(je - 1), 1);
          }
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
  // Rings reach from the centre to the picture's farthest corner, and
  // their memory grows with that reach, about 9 KB a pixel of it (the
  // sector tables and each core's band of whole rings): up to 16384 px,
  // some 140 MB. About a centre farther off the picture the halving
  // passes, which need no more memory wherever the centre lies (but read
  // the picture's edges less faithfully where the arcs leave it).
  constexpr float kFarthestRing = 16384;
  if (angle > 0 && FarthestCorner(in, cx, cy) <= kFarthestRing && Opaque(in)) {
    SpinThroughRings(in, out, cx, cy, std::min(angle, 2 * kPi));
    return;
  }
  // The longest arc is the farthest corner's (the diagonal undercounts it
  // about a centre off the picture, which then barely blurred at all).
  const float longest = angle * FarthestCorner(in, cx, cy);
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
  const float longest = strength * FarthestCorner(in, cx, cy);
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
  BoxColumnsCascade16(plane.data(), w, h, r);
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
