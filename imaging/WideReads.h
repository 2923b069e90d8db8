#pragma once
// Bilinear reads of an opaque picture at places worked out rather than
// walked to (spins, warps): one at a time, or with AVX2 eight at a time,
// their taps fetched with gathers. Both do the same integer arithmetic and
// give the pixels TOpaqueSampler::At gives (but at places that are not
// numbers, which At reads as 0 and these as the picture's edge), so a
// filter may take either road.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "imaging/FilterKit.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace karto::fx {

// A picture to read: pixels, row length in pixels, size.
struct TTaps {
  const uint32_t* bits;
  size_t stride;
  int w, h;
};

// One axis of a bilinear read at v, clamped as TOpaqueSampler::At clamps:
// the two pixels read and the 8-bit weight of the second.
inline void AxisTaps(float v, int size, int& a, int& b, uint32_t& t) {
  float f = v - 0.5f;
  f = f > -1.0f ? f : -1.0f;  // (as the vector maximum and minimum, a NaN to the edge)
  f = f < float(size) ? f : float(size);
  const int i = int((f + 1.0f) * 256.0f + 0.5f) - 256;
  t = uint32_t(i & 255);
  a = std::clamp(i >> 8, 0, size - 1);
  b = std::clamp((i >> 8) + 1, 0, size - 1);
}

inline uint32_t ReadTaps(const TTaps& p, float x, float y) {
  int xa, xb, ya, yb;
  uint32_t tx, ty;
  AxisTaps(x, p.w, xa, xb, tx);
  AxisTaps(y, p.h, ya, yb, ty);
  const uint32_t* r0 = p.bits + size_t(ya) * p.stride;
  const uint32_t* r1 = p.bits + size_t(yb) * p.stride;
  return TOpaqueSampler::Lerp(TOpaqueSampler::Lerp(r0[xa], r1[xa], ty), TOpaqueSampler::Lerp(r0[xb], r1[xb], ty), tx);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KARTO_AVX2 __attribute__((target("avx2")))

// a towards b by w / 256 in every channel (w in both 16-bit halves of a
// lane), as TOpaqueSampler::Lerp: every product and sum fits in 16 bits.
KARTO_AVX2 inline __m256i Lerp8(__m256i a, __m256i b, __m256i w) {
  const __m256i low = _mm256_set1_epi32(0x00FF00FF);
  const __m256i v = _mm256_sub_epi16(_mm256_set1_epi16(256), w);
  const __m256i rb = _mm256_srli_epi16(
      _mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(a, low), v), _mm256_mullo_epi16(_mm256_and_si256(b, low), w)), 8);
  const __m256i ag = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(a, 8), v), _mm256_mullo_epi16(_mm256_srli_epi16(b, 8), w));
  return _mm256_or_si256(rb, _mm256_andnot_si256(low, ag));
}

// An 8-bit weight in each lane, in both its halves.
KARTO_AVX2 inline __m256i Weight8(__m256i t) {
  const __m256i w = _mm256_and_si256(t, _mm256_set1_epi32(255));
  return _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
}

KARTO_AVX2 inline void AxisTaps8(__m256 v, int size, __m256i& a, __m256i& b, __m256i& t) {
  __m256 f = _mm256_sub_ps(v, _mm256_set1_ps(0.5f));
  f = _mm256_max_ps(f, _mm256_set1_ps(-1.0f));
  f = _mm256_min_ps(f, _mm256_set1_ps(float(size)));
  const __m256i i = _mm256_sub_epi32(
      _mm256_cvttps_epi32(_mm256_add_ps(_mm256_mul_ps(_mm256_add_ps(f, _mm256_set1_ps(1.0f)), _mm256_set1_ps(256.0f)),
                                        _mm256_set1_ps(0.5f))),
      _mm256_set1_epi32(256));
  t = Weight8(i);
  const __m256i i0 = _mm256_srai_epi32(i, 8), zero = _mm256_setzero_si256(), top = _mm256_set1_epi32(size - 1);
  a = _mm256_min_epi32(_mm256_max_epi32(i0, zero), top);
  b = _mm256_min_epi32(_mm256_max_epi32(_mm256_add_epi32(i0, _mm256_set1_epi32(1)), zero), top);
}

KARTO_AVX2 inline __m256i ReadTaps8(const TTaps& p, __m256 x, __m256 y) {
  __m256i xa, xb, tx, ya, yb, ty;
  AxisTaps8(x, p.w, xa, xb, tx);
  AxisTaps8(y, p.h, ya, yb, ty);
  const __m256i stride = _mm256_set1_epi32(int(p.stride));
  const __m256i r0 = _mm256_mullo_epi32(ya, stride), r1 = _mm256_mullo_epi32(yb, stride);
  const int* bits = reinterpret_cast<const int*>(p.bits);
  const __m256i p00 = _mm256_i32gather_epi32(bits, _mm256_add_epi32(r0, xa), 4);
  const __m256i p01 = _mm256_i32gather_epi32(bits, _mm256_add_epi32(r0, xb), 4);
  const __m256i p10 = _mm256_i32gather_epi32(bits, _mm256_add_epi32(r1, xa), 4);
  const __m256i p11 = _mm256_i32gather_epi32(bits, _mm256_add_epi32(r1, xb), 4);
  return Lerp8(Lerp8(p00, p10, ty), Lerp8(p01, p11, ty), tx);
}
#endif

#ifdef KARTO_AVX2
// Eight reads as TOpaqueSampler::At reads: a place that is not a number
// reads 0.
KARTO_AVX2 inline __m256i ReadOrNothing8(const TTaps& t, const float* xs, const float* ys) {
  const __m256 x = _mm256_loadu_ps(xs), y = _mm256_loadu_ps(ys);
  const __m256 numbers = _mm256_and_ps(_mm256_cmp_ps(x, x, _CMP_ORD_Q), _mm256_cmp_ps(y, y, _CMP_ORD_Q));
  return _mm256_and_si256(ReadTaps8(t, x, y), _mm256_castps_si256(numbers));
}
#endif

}  // namespace karto::fx
