#include "imaging/FilterKit.h"

#include <QImage>

namespace karto::fx {

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

TShaderValueRec PointValue(const char* name, const char* desc, TPointF def) {
  TShaderValueRec v;
  v.Name = name;
  v.Desc = desc;
  v.ValueType = TShaderValueType::vtPoint;
  v.DefaultPoint = def;
  return v;
}

TShaderValueRec ColorValue(const char* name, const char* desc, TAlphaColor def) {
  TShaderValueRec v;
  v.Name = name;
  v.Desc = desc;
  v.ValueType = TShaderValueType::vtColor;
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

bool Opaque(const TBitmap& b) {
  for (int y = 0; y < b.Height(); ++y) {
    const uint32_t* row = b.ScanLine(y);
    uint32_t all = 0xFFFFFFFFu;
    for (int x = 0; x < b.Width(); ++x) all &= row[x];
    if ((all >> 24) != 0xFF) return false;
  }
  return true;
}

uint32_t TSampler::At(float x, float y) const {
  const float fx = x - 0.5f, fy = y - 0.5f;
  if (!(fx == fx) || !(fy == fy)) return 0;  // NaN from a degenerate mapping
  const float cx = std::clamp(fx, -1.0f, float(m_w)), cy = std::clamp(fy, -1.0f, float(m_h));
  const int x0 = int(std::floor(cx)), y0 = int(std::floor(cy));
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

// Four 8-bit channels spread into the 16-bit lanes of a 64-bit word, so one
// addition sums all four; a box of up to 257 pixels cannot overflow a lane.
inline uint64_t Spread(uint32_t c) {
  return (uint64_t(c & 0xFF)) | (uint64_t((c >> 8) & 0xFF) << 16) | (uint64_t((c >> 16) & 0xFF) << 32) |
         (uint64_t(c >> 24) << 48);
}
// The lanes of a sum of n pixels divided by n (recip = 2^24 / n), rounded.
inline uint32_t Gather(uint64_t s, uint64_t recip) {
  const uint64_t half = uint64_t(1) << 23;
  const uint32_t b = uint32_t(((s & 0xFFFF) * recip + half) >> 24);
  const uint32_t g = uint32_t((((s >> 16) & 0xFFFF) * recip + half) >> 24);
  const uint32_t r = uint32_t((((s >> 32) & 0xFFFF) * recip + half) >> 24);
  const uint32_t a = uint32_t(((s >> 48) * recip + half) >> 24);
  return a << 24 | r << 16 | g << 8 | b;
}

// passes box passes of radius r along every row of img, in place.
void BoxRowsRGBA(uint32_t* img, size_t stride, int w, int h, int r, int passes) {
  const uint64_t recip = (uint64_t(1) << 24) / uint64_t(2 * r + 1);
  ParallelRows(h, 6LL * w * passes, [&](int y0, int y1) {
    std::vector<uint32_t> buf(static_cast<size_t>(w));
    for (int y = y0; y < y1; ++y) {
      uint32_t* row = img + size_t(y) * stride;
      for (int pass = 0; pass < passes; ++pass) {
        std::copy(row, row + w, buf.begin());
        const uint32_t* s = buf.data();
        uint64_t sum = 0;
        for (int i = -r; i <= r; ++i) sum += Spread(s[std::clamp(i, 0, w - 1)]);
        for (int x = 0; x < w; ++x) {
          row[x] = Gather(sum, recip);
          sum += Spread(s[std::min(x + r + 1, w - 1)]);
          sum -= Spread(s[std::max(x - r, 0)]);
        }
      }
    }
  });
}

// One box pass of radius r down the columns of src into dst, rows visited in
// memory order with a running sum per column.
void BoxColumnsRGBA(const uint32_t* src, uint32_t* dst, size_t stride, int w, int h, int r) {
  const uint64_t recip = (uint64_t(1) << 24) / uint64_t(2 * r + 1);
  ParallelRows(h, 6LL * w, [&](int y0, int y1) {
    std::vector<uint64_t> sum(static_cast<size_t>(w), 0);
    for (int i = y0 - r; i <= y0 + r; ++i) {
      const uint32_t* s = src + size_t(std::clamp(i, 0, h - 1)) * stride;
      for (int x = 0; x < w; ++x) sum[size_t(x)] += Spread(s[x]);
    }
    for (int y = y0; y < y1; ++y) {
      uint32_t* d = dst + size_t(y) * stride;
      const uint32_t* add = src + size_t(std::min(y + r + 1, h - 1)) * stride;
      const uint32_t* sub = src + size_t(std::max(y - r, 0)) * stride;
      for (int x = 0; x < w; ++x) {
        d[x] = Gather(sum[size_t(x)], recip);
        sum[size_t(x)] += Spread(add[x]) - Spread(sub[x]);
      }
    }
  });
}

// Premultiplies (or back) in place; false when every pixel is opaque and
// nothing needed doing.
bool PremultiplyAll(TBitmap& b, bool forward) {
  bool any = false;
  for (int y = 0; y < b.Height() && !any; ++y) {
    const uint32_t* row = b.ScanLine(y);
    uint32_t all = 0xFFFFFFFFu;
    for (int x = 0; x < b.Width(); ++x) all &= row[x];
    any = (all >> 24) != 0xFF;
  }
  if (!any && forward) return false;
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

void BlurBoxes(const TBitmap& in, TBitmap& out, int r, int passes) {
  const int w = in.Width(), h = in.Height();
  if (&in != &out) out.Assign(in);
  const bool premultiplied = PremultiplyAll(out, true);
  // The box covers at most 257 pixels, so a lane cannot overflow.
  r = std::clamp(r, 1, 128);
  BoxRowsRGBA(out.Bits(), size_t(out.Stride()), w, h, r, passes);
  TBitmap tmp(w, h);
  for (int pass = 0; pass < passes; ++pass) {
    if (pass % 2 == 0) BoxColumnsRGBA(out.Bits(), tmp.Bits(), size_t(out.Stride()), w, h, r);
    else BoxColumnsRGBA(tmp.Bits(), out.Bits(), size_t(out.Stride()), w, h, r);
  }
  if (passes % 2 == 1) out.Assign(tmp);
  if (premultiplied) PremultiplyAll(out, false);
}

int BoxRadius(float sigma) {
  // Three boxes of width b have the variance 3 (b^2 - 1) / 12 of a Gaussian
  // with sigma^2 = (b^2 - 1) / 4.
  return std::max(1, int(std::lround((std::sqrt(4.0f * sigma * sigma + 1.0f) - 1.0f) / 2.0f)));
}

}  // namespace

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
