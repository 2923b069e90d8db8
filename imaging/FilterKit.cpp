#include "imaging/FilterKit.h"
#include "imaging/WideReads.h"

#include <QImage>
#include <atomic>

#include "platform/PngWrite.h"

namespace karto::fx {

namespace {

TShaderValueRec Value(const char* name, const char* desc, TShaderValueType type) {
  TShaderValueRec v;
  v.Name = name;
  v.Desc = desc;
  v.ValueType = type;
  return v;
}

}  // namespace

TShaderValueRec FloatValue(const char* name, const char* desc, double min, double max, double def) {
  TShaderValueRec v = Value(name, desc, TShaderValueType::vtFloat);
  v.Min = min;
  v.Max = max;
  v.Default = def;
  v.Value = def;
  return v;
}

TShaderValueRec PointValue(const char* name, const char* desc, TPointF def) {
  TShaderValueRec v = Value(name, desc, TShaderValueType::vtPoint);
  v.DefaultPoint = def;
  return v;
}

TShaderValueRec ColorValue(const char* name, const char* desc, TAlphaColor def) {
  TShaderValueRec v = Value(name, desc, TShaderValueType::vtColor);
  v.DefaultColor = def;
  return v;
}

TShaderValueRec ProgressValue() {
  return FloatValue("Progress", "How far from Input (0) to Target (100)", 0, 100, 50);
}

void Add(const char* category, const char* name, const char* desc, std::vector<TShaderValueRec> values,
         TFilterKernel kernel) {
  FilterManager::Register(category, TFilterRec{name, desc, std::move(values)}, kernel);
}

uint32_t Mix(uint32_t a, uint32_t b, float t) {
  if (t <= 0) return a;
  if (t >= 1) return b;
  if ((a >> 24) == 0xFF && (b >> 24) == 0xFF) {
    const float u = 1 - t;
    return Argb(255, Clamp255(R(a) * u + R(b) * t), Clamp255(G(a) * u + G(b) * t), Clamp255(B(a) * u + B(b) * t));
  }
  const TPremul p = Premul(a), q = Premul(b);
  const float u = 1 - t;
  return Unpremul({p.a * u + q.a * t, p.r * u + q.r * t, p.g * u + q.g * t, p.b * u + q.b * t});
}

namespace {
std::atomic<bool> wideAllowed{true};

// Mix's opaque road without branches, so that the compiler puts a row of
// it in vector lanes.
KARTO_WIDE_CLONES void MixOpaqueRow(const uint32_t* a, const uint32_t* b, const float* t, uint32_t* d, int n) {
  for (int x = 0; x < n; ++x) {
    const float v = t[x], u = 1 - v;
    const auto channel = [&](int shift) {
      return uint32_t(Clamp255(float((a[x] >> shift) & 0xFF) * u + float((b[x] >> shift) & 0xFF) * v)) << shift;
    };
    const uint32_t mixed = 0xFF000000u | channel(16) | channel(8) | channel(0);
    d[x] = v <= 0 ? a[x] : (v >= 1 ? b[x] : mixed);
  }
}
}  // namespace

void MixRow(const uint32_t* a, const uint32_t* b, const float* t, uint32_t* d, int n) {
  uint32_t both = 0xFFFFFFFFu;
  for (int x = 0; x < n; ++x) both &= a[x] & b[x];
  if ((both >> 24) == 0xFF) {
    MixOpaqueRow(a, b, t, d, n);
    return;
  }
  for (int x = 0; x < n; ++x) d[x] = Mix(a[x], b[x], t[x]);
}

bool WideLanes() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  static const bool has = __builtin_cpu_supports("avx2");
  return has && wideAllowed.load(std::memory_order_relaxed);
#else
  return false;
#endif
}

void AllowWideLanes(bool allow) { wideAllowed = allow; }

bool Opaque(const TBitmap& b) { return AllOpaque(b.Image()); }

void WarpAlongAxes(const TBitmap& in, TBitmap& out, const std::vector<float>& xs, const std::vector<float>& ys) {
  const int w = out.Width();
  if (!Opaque(in)) {
    const TSampler s(in);
    ForRows(out, 40, [&](int y, uint32_t* d) {
      for (int x = 0; x < w; ++x) d[x] = s.At(xs[size_t(x)], ys[size_t(y)]);
    });
    return;
  }
  // The same reads as TOpaqueSampler::At, taken apart per axis.
  struct TAxisTap {
    int a, b;
    uint32_t t;
  };
  std::vector<TAxisTap> columns(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x) AxisTaps(xs[size_t(x)], in.Width(), columns[size_t(x)].a, columns[size_t(x)].b, columns[size_t(x)].t);
  const uint32_t* const bits = in.Bits();
  const size_t stride = size_t(in.Stride());
  ForRows(out, 4, [&](int y, uint32_t* d) {
    TAxisTap row;
    AxisTaps(ys[size_t(y)], in.Height(), row.a, row.b, row.t);
    const uint32_t* r0 = bits + size_t(row.a) * stride;
    const uint32_t* r1 = bits + size_t(row.b) * stride;
    for (int x = 0; x < w; ++x) {
      const TAxisTap& c = columns[size_t(x)];
      d[x] = TOpaqueSampler::Lerp(TOpaqueSampler::Lerp(r0[c.a], r1[c.a], row.t), TOpaqueSampler::Lerp(r0[c.b], r1[c.b], row.t), c.t);
    }
  });
}

uint32_t TSampler::At(float x, float y) const {
  const float fx = x - 0.5f, fy = y - 0.5f;
  if (!(fx == fx) || !(fy == fy)) return 0;  // NaN from a degenerate mapping
  const float cx = std::clamp(fx, -1.0f, float(m_w)), cy = std::clamp(fy, -1.0f, float(m_h));
  const int x0 = FloorInt(cx), y0 = FloorInt(cy);
  const float tx = cx - float(x0), ty = cy - float(y0);
  const uint32_t* r0 = m_b.ScanLine(std::clamp(y0, 0, m_h - 1));
  const uint32_t* r1 = m_b.ScanLine(std::clamp(y0 + 1, 0, m_h - 1));
  const int xa = std::clamp(x0, 0, m_w - 1), xb = std::clamp(x0 + 1, 0, m_w - 1);
  const uint32_t c00 = r0[xa], c10 = r0[xb], c01 = r1[xa], c11 = r1[xb];
  const float w00 = (1 - tx) * (1 - ty), w10 = tx * (1 - ty), w01 = (1 - tx) * ty, w11 = tx * ty;
  if ((c00 & c10 & c01 & c11) >> 24 == 0xFF) {
    return Argb(255, Clamp255(R(c00) * w00 + R(c10) * w10 + R(c01) * w01 + R(c11) * w11),
                Clamp255(G(c00) * w00 + G(c10) * w10 + G(c01) * w01 + G(c11) * w11),
                Clamp255(B(c00) * w00 + B(c10) * w10 + B(c01) * w01 + B(c11) * w11));
  }
  const TPremul p00 = Premul(c00), p10 = Premul(c10), p01 = Premul(c01), p11 = Premul(c11);
  return Unpremul({p00.a * w00 + p10.a * w10 + p01.a * w01 + p11.a * w11,
                   p00.r * w00 + p10.r * w10 + p01.r * w01 + p11.r * w11,
                   p00.g * w00 + p10.g * w10 + p01.g * w01 + p11.g * w11,
                   p00.b * w00 + p10.b * w10 + p01.b * w01 + p11.b * w11});
}

namespace {

// Box passes keep their sums undivided: a pixel's four channels sit in the
// four 32-bit lanes of one vector (GCC and Clang vector extensions: one SSE2
// or NEON register), a pass adds and subtracts whole vectors, and one
// multiplication at the end turns the sums of sums back into channels. Three
// passes of radius r sum at most 255 (2r + 1)^3 per lane, which stays below
// 2^31 for r up to 100.
typedef uint32_t TLanes __attribute__((vector_size(16)));
typedef float TLanesF __attribute__((vector_size(16)));
#if defined(__SSE2__)
// Bytes to lanes and back with SSE2's unpack and saturating pack, a few
// instructions where taking the lanes one by one costs a dozen.
inline TLanes Spread(uint32_t c) {
  const __m128i zero = _mm_setzero_si128();
  return TLanes(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(c)), zero), zero));
}
// A sum times the reciprocal of the boxes' total weight, rounded. A float
// keeps 24 bits of the sum, far more than the 8 the channel needs. Sums
// stay below 2^31 (see BlurBoxes), so the signed conversion is exact.
inline uint32_t Gather(const TLanes& s, float recip) {
  const __m128 f = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(__m128i(s)), _mm_set1_ps(recip)), _mm_set1_ps(0.5f));
  const __m128i c = _mm_cvttps_epi32(f);
  const __m128i words = _mm_packs_epi32(c, c);
  return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
}
#else
inline TLanes Spread(uint32_t c) { return TLanes{c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, c >> 24}; }
inline uint32_t Gather(const TLanes& s, float recip) {
  const TLanesF f = __builtin_convertvector(s, TLanesF) * recip + 0.5f;
  const TLanes c = __builtin_convertvector(f, TLanes);
  return std::min(c[3], 255u) << 24 | std::min(c[2], 255u) << 16 | std::min(c[1], 255u) << 8 | std::min(c[0], 255u);
}
#endif

// One box pass of radius r along n values with the given spacing (edges
// repeat the end values).
inline void BoxPass(const TLanes* in, TLanes* out, int n, size_t step, int r) {
  TLanes sum{0, 0, 0, 0};
  for (int i = -r; i <= r; ++i) sum += in[size_t(std::clamp(i, 0, n - 1)) * step];
  // Only the first r + 1 and the last r outputs reach past an end; the run
  // between them needs no clamping.
  const int lead = std::min(n, r + 1), tail = std::max(lead, n - r - 1);
  int x = 0;
  for (; x < lead; ++x) {
    out[size_t(x) * step] = sum;
    sum += in[size_t(std::min(x + r + 1, n - 1)) * step] - in[size_t(std::max(x - r, 0)) * step];
  }
  for (; x < tail; ++x) {
    out[size_t(x) * step] = sum;
    sum += in[size_t(x + r + 1) * step] - in[size_t(x - r) * step];
  }
  for (; x < n; ++x) {
    out[size_t(x) * step] = sum;
    sum += in[size_t(std::min(x + r + 1, n - 1)) * step] - in[size_t(std::max(x - r, 0)) * step];
  }
}

float Reciprocal(int r, int passes) {
  double weight = 1;
  for (int i = 0; i < passes; ++i) weight *= double(2 * r + 1);
  return float(1 / weight);
}

// passes box passes along every row of src into dst (which may be src).
void BoxRowsRGBA(const TBitmap& src, uint32_t* img, size_t stride, int w, int h, int r, int passes) {
  const float recip = Reciprocal(r, passes);
  ParallelRows(h, 12LL * w * passes, [&](int y0, int y1) {
    std::vector<TLanes> a(static_cast<size_t>(w)), b(static_cast<size_t>(w));
    for (int y = y0; y < y1; ++y) {
      const uint32_t* in = src.ScanLine(y);
      uint32_t* row = img + size_t(y) * stride;
      for (int x = 0; x < w; ++x) a[size_t(x)] = Spread(in[x]);
      TLanes* from = a.data();
      TLanes* to = b.data();
      for (int pass = 0; pass < passes; ++pass) {
        BoxPass(from, to, w, 1, r);
        std::swap(from, to);
      }
      for (int x = 0; x < w; ++x) row[x] = Gather(from[x], recip);
    }
  });
}

// The same down the columns, in strips of columns small enough that a
// strip's sums stay near the cores.
void BoxColumnsRGBA(uint32_t* img, size_t stride, int w, int h, int r, int passes) {
  constexpr int kStrip = 8;
  const float recip = Reciprocal(r, passes);
  const int strips = (w + kStrip - 1) / kStrip;
  ParallelRows(strips, 12LL * kStrip * h * passes, [&](int s0, int s1) {
    std::vector<TLanes> a(size_t(kStrip) * size_t(h)), b(size_t(kStrip) * size_t(h));
    for (int strip = s0; strip < s1; ++strip) {
      const int x0 = strip * kStrip, n = std::min(kStrip, w - x0);
      for (int y = 0; y < h; ++y) {
        const uint32_t* row = img + size_t(y) * stride + x0;
        TLanes* dst = a.data() + size_t(y) * kStrip;
        for (int i = 0; i < n; ++i) dst[i] = Spread(row[i]);
      }
      TLanes* from = a.data();
      TLanes* to = b.data();
      for (int pass = 0; pass < passes; ++pass) {
        // All columns of the strip at once, row after row, so memory is
        // read in order.
        TLanes sum[kStrip] = {};
        for (int i = -r; i <= r; ++i) {
          const TLanes* src = from + size_t(std::clamp(i, 0, h - 1)) * kStrip;
          for (int c = 0; c < kStrip; ++c) sum[c] += src[c];
        }
        for (int y = 0; y < h; ++y) {
          TLanes* out = to + size_t(y) * kStrip;
          const TLanes* add = from + size_t(std::min(y + r + 1, h - 1)) * kStrip;
          const TLanes* sub = from + size_t(std::max(y - r, 0)) * kStrip;
          for (int c = 0; c < kStrip; ++c) {
            out[c] = sum[c];
            sum[c] += add[c] - sub[c];
          }
        }
        std::swap(from, to);
      }
      for (int y = 0; y < h; ++y) {
        uint32_t* row = img + size_t(y) * stride + x0;
        const TLanes* src = from + size_t(y) * kStrip;
        for (int i = 0; i < n; ++i) row[i] = Gather(src[i], recip);
      }
    }
  });
}

// Which axes a blur runs along.
enum TAxes { kRows = 1, kColumns = 2, kBoth = 3 };

void BlurBoxes(const TBitmap& in, TBitmap& out, int r, int passes, int axes = kBoth) {
  const int w = in.Width(), h = in.Height();
  // Colours are weighted by alpha (premultiplied) while they are blurred,
  // unless every pixel is opaque.
  TBitmap premultiplied;
  const bool opaque = Opaque(in);
  if (!opaque) {
    premultiplied.Assign(in);
    PremultiplyAll(premultiplied, true);
  }
  const TBitmap& src = opaque ? in : premultiplied;
  if (&out != &in && (out.Width() != w || out.Height() != h)) out = TBitmap(w, h);
  // Beyond these radii the passes' sums would pass 2^31 in a lane.
  r = std::clamp(r, 1, passes >= 3 ? 100 : 127);
  // The rows read the source and write the result; with in and out the same
  // bitmap a row is read whole before it is written.
  const TBitmap source = &src == &out ? TBitmap() : src;
  if (axes & kRows) {
    BoxRowsRGBA(&src == &out ? out : source, out.Bits(), size_t(out.Stride()), w, h, r, passes);
  } else if (&src != &out) {
    for (int y = 0; y < h; ++y) std::copy(src.ScanLine(y), src.ScanLine(y) + w, out.Bits() + size_t(y) * size_t(out.Stride()));
  }
  if (axes & kColumns) BoxColumnsRGBA(out.Bits(), size_t(out.Stride()), w, h, r, passes);
  if (!opaque) PremultiplyAll(out, false);
}

int BoxRadius(float sigma) {
  // Three boxes of width b have the variance 3 (b^2 - 1) / 12 of a Gaussian
  // with sigma^2 = (b^2 - 1) / 4.
  return std::max(1, int(std::lround((std::sqrt(4.0f * sigma * sigma + 1.0f) - 1.0f) / 2.0f)));
}

}  // namespace

bool PremultiplyAll(TBitmap& b, bool forward) {
  if (forward && Opaque(b)) return false;
  MapPixels(b, b, [forward](uint32_t c) {
    const int a = A(c);
    if (a == 255) return c;
    if (forward) return Argb(a, (R(c) * a + 127) / 255, (G(c) * a + 127) / 255, (B(c) * a + 127) / 255);
    if (a == 0) return 0u;
    return Argb(a, Clamp255((R(c) * 255 + a / 2) / a), Clamp255((G(c) * 255 + a / 2) / a),
                Clamp255((B(c) * 255 + a / 2) / a));
  });
  return true;
}

void GaussianBlurBitmap(const TBitmap& in, TBitmap& out, float sigma) {
  if (in.IsEmpty()) return;
  if (!(sigma > 0)) {
    if (&in != &out) out.Assign(in);
    return;
  }
  // Beyond what one cascade of boxes covers, blur a smaller copy: the
  // result is smooth anyway.
  if (sigma > 60) {
    const QImage small = in.Image().scaled(std::max(1, int(in.Width() * 60 / sigma)),
                                           std::max(1, int(in.Height() * 60 / sigma)), Qt::IgnoreAspectRatio,
                                           Qt::SmoothTransformation);
    TBitmap s(small);
    GaussianBlurBitmap(s, s, 60);
    out = TBitmap(s.Image().scaled(in.Width(), in.Height(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return;
  }
  BlurBoxes(in, out, BoxRadius(sigma), 3);
}

void BoxBlurBitmap(const TBitmap& in, TBitmap& out, int radius) {
  if (in.IsEmpty()) return;
  if (radius < 1) {
    if (&in != &out) out.Assign(in);
    return;
  }
  BlurBoxes(in, out, radius, 1);
}

void BoxBlurRows(const TBitmap& in, TBitmap& out, int radius) {
  if (in.IsEmpty()) return;
  BlurBoxes(in, out, std::max(1, radius), 1, kRows);
}

void BoxBlurColumns(const TBitmap& in, TBitmap& out, int radius) {
  if (in.IsEmpty()) return;
  BlurBoxes(in, out, std::max(1, radius), 1, kColumns);
}

TBitmap TargetAtSizeOf(const TBitmap& target, const TBitmap& input) {
  if (target.IsEmpty()) {
    TBitmap none(input.Width(), input.Height());
    none.Clear(0);
    return none;
  }
  if (target.Width() == input.Width() && target.Height() == input.Height()) return target;
  return TBitmap(target.Image().scaled(input.Width(), input.Height(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

}  // namespace karto::fx
