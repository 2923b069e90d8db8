// The engine's data: paths, the pixel map with its neighbourhood census, the
// memory figure and the highlighting of a path.

#include "trace/ImgTrace.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "platform/Parallel.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace karto {

// --- TTracePath -----------------------------------------------------------

void TTracePath::AddPoint(float x, float y, Direction dir) {
  // Storage grows geometrically (amortised constant per point); the engine
  // copies a kept path out at its exact size.
  m_arPt.push_back({x, y});
  m_arDirs.push_back(dir);
  m_iLastIdx = int32_t(m_arPt.size()) - 1;
  // Two independent tests, so that the first point sets both ends.
  if (x > m_oMaxPnt.x) m_oMaxPnt.x = x;
  if (x < m_oMinPnt.x) m_oMinPnt.x = x;
  if (y > m_oMaxPnt.y) m_oMaxPnt.y = y;
  if (y < m_oMinPnt.y) m_oMinPnt.y = y;
  ++m_arCntDirs[size_t(dir)];
  ++m_iPixelCntPath;
}

void TTracePath::Clear() {
  m_oMinPnt = TTraceObj().m_oMinPnt;
  m_oMaxPnt = TTraceObj().m_oMaxPnt;
  m_enPathType = PathType::PATH_NONE;
  m_oGreyColor = 0;
  m_oRealColor = 0;
  m_iPixelCntPath = 0;
  m_bLineWidth = 1;
  m_iLastIdx = -1;
  m_arPt.clear();
  m_arDirs.clear();
  m_arCntDirs.fill(0);
}

// --- Construction: pixel map and census ------------------------------------

namespace {

// Census words hold 12 rings; bit r - 1 is ring r.
constexpr uint32_t RING_MASK = (1u << RING_COUNT) - 1;

// 1 for a dark map entry (a record index), 0 for a light one (-1).
inline uint32_t DarkBit(int32_t entry) { return uint32_t(~entry) >> 31; }

// Set bits over all eight words, without relying on a popcount
// instruction the target may lack.
inline int32_t CountBits(const ArrayOfValDirs& words) {
  int32_t total = 0;
  for (size_t i = 0; i < words.size(); i += 2) {
    uint32_t v = uint32_t(words[i]) | uint32_t(words[i + 1]) << 16;
    v = v - ((v >> 1) & 0x55555555u);
    v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
    v = (v + (v >> 4)) & 0x0F0F0F0Fu;
    total += int32_t((v * 0x01010101u) >> 24);
  }
  return total;
}

// cur[i] := the word one ring further out than prev[i + lean], with
// dark[i + lean] as its first ring, for i = 1 .. n (lean -1, 0 or 1). Four
// 12-bit words are processed at once in a 64-bit integer: shifting by one
// never carries a bit into the next 16-bit lane.
void ExtendWords(const uint16_t* prev, const uint16_t* dark, uint16_t* cur, int n, int lean) {
  constexpr uint64_t LANE_MASK = 0x0FFF0FFF0FFF0FFFull;
  const uint16_t* p = prev + 1 + lean;
  const uint16_t* d = dark + 1 + lean;
  uint16_t* c = cur + 1;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    uint64_t words, bits;
    std::memcpy(&words, p + i, sizeof words);
    std::memcpy(&bits, d + i, sizeof bits);
    words = ((words << 1) | bits) & LANE_MASK;
    std::memcpy(c + i, &words, sizeof words);
  }
  for (; i < n; ++i) c[i] = uint16_t(((uint32_t(p[i]) << 1) | d[i]) & RING_MASK);
}

// dark[k] := DarkBit(entries[k]) for k < n, and the same as bits, bit k of
// bits[k / 64] (whole words written; bits past n are 0).
void NoteDarkness(const int32_t* entries, int n, uint16_t* dark, uint64_t* bits) {
  for (int k0 = 0; k0 < n; k0 += 64) {
    const int m = std::min(64, n - k0);
    uint64_t word = 0;
    int k = 0;
#if defined(__SSE2__)
    // Four entries a step: the sign of an entry is its lightness.
    for (; k + 4 <= m; k += 4) {
      const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(entries + k0 + k));
      word |= uint64_t(~_mm_movemask_ps(_mm_castsi128_ps(e)) & 0xF) << k;
      const __m128i d = _mm_srli_epi32(_mm_xor_si128(e, _mm_set1_epi32(-1)), 31);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dark + k0 + k), _mm_packs_epi32(d, d));
    }
#endif
    for (; k < m; ++k) {
      const uint32_t d = DarkBit(entries[k0 + k]);
      dark[k0 + k] = uint16_t(d);
      word |= uint64_t(d) << k;
    }
    bits[k0 / 64] = word;
  }
}

// The other way: dark[k] := bit k of bits, for k < n (eight a step
// through a table of the 256 bytes spread out).
void SpreadDarkness(const uint64_t* bits, int n, uint16_t* dark) {
  static const std::array<std::array<uint16_t, 8>, 256> kSpread = [] {
    std::array<std::array<uint16_t, 8>, 256> table{};
    for (int v = 0; v < 256; ++v)
      for (int b = 0; b < 8; ++b) table[size_t(v)][size_t(b)] = uint16_t((v >> b) & 1);
    return table;
  }();
  int k = 0;
  for (; k + 8 <= n; k += 8)
    std::memcpy(dark + k, kSpread[size_t((bits[k >> 6] >> (k & 63)) & 0xFF)].data(), 8 * sizeof(uint16_t));
  for (; k < n; ++k) dark[k] = uint16_t((bits[k >> 6] >> (k & 63)) & 1);
}

// Bits from .. from + 11 of a row's darkness (bits[0] holding bits -64 ..
// -1, all 0) as a 12-bit number, bit from first.
inline uint16_t BitsFrom(const uint64_t* bits, int from) {
  const int at = from + 64, off = at & 63;
  const uint64_t* word = bits + (at >> 6);
  uint64_t v = word[0] >> off;
  if (off > 64 - RING_COUNT) v |= word[1] << (64 - off);
  return uint16_t(v & RING_MASK);
}

// 12-bit numbers with their bits in reverse order.
const std::array<uint16_t, 4096> kReversed12 = [] {
  std::array<uint16_t, 4096> table{};
  for (uint32_t v = 0; v < 4096; ++v)
    for (int b = 0; b < RING_COUNT; ++b)
      if (v & (1u << b)) table[v] |= uint16_t(1u << (RING_COUNT - 1 - b));
  return table;
}();

}  // namespace

TImgTrace::TImgTrace(TBitmap* sourceBitmap, const TBitmap* originBitmap, int greyscaleLimit)
    : m_oSrcBmp(sourceBitmap), m_oOrgBmp(originBitmap), m_iGreyscaleLimit(greyscaleLimit) {
  if (!m_oSrcBmp || m_oSrcBmp->IsEmpty()) return;
  BuildPixelMap();
}

TImgTrace::~TImgTrace() = default;

void TImgTrace::BuildPixelMap() {
  // Read through a const reference: the map is built without detaching
  // pixels the caller shares with other bitmaps.
  const TBitmap& src = *m_oSrcBmp;
  const int w = src.Width(), h = src.Height();
  const long long total = (long long)w * (long long)h;
  auto tooLarge = [w, h](const char* why) {
    return ETraceError(std::string(why) + " to trace a bitmap of " + std::to_string(w) + " x " +
                       std::to_string(h) + " pixels");
  };
  if (total > MAX_TRACE_PIXELS) throw tooLarge("Too many pixels");
  // An engine whose constructor throws never exists, so nothing here needs
  // undoing when an allocation fails.
  try {
    // Left uninitialised: the first pass writes every entry.
    m_arPixelIdx = TPlane<int32_t>(size_t(total));
    m_iMapWidth = w;
    m_iMapHeight = h;

    // First pass: number the dark pixels in scan order, so that the
    // records are allocated once at their exact count.
    const uint32_t* bits = src.Bits();
    const ptrdiff_t stride = src.Stride();
    int32_t count = 0;
    for (int y = 0; y < h; ++y) {
      const uint32_t* row = bits + y * stride;
      int32_t* out = m_arPixelIdx.data() + MapOffset(0, y);
      for (int x = 0; x < w; ++x) {
        const int32_t dark = IsDarkPixel(row[x]) ? 1 : 0;
        out[x] = dark ? count : -1;
        count += dark;
      }
    }
    m_arPixelInfos.resize(size_t(count));
    m_iLastPixelIdx = count - 1;

    TakeCensus();
  } catch (const std::bad_alloc&) {
    throw tooLarge("Not enough memory");
  }
}

// The census in two sweeps instead of 96 reads per dark pixel: the word of a
// pixel in direction d is the word of its neighbour in direction d shifted
// by one ring, plus that neighbour's own darkness. A top-down sweep carries
// the three upward words per column from row to row; a bottom-up sweep does
// the same for the downward words. Each pixel is visited twice with a few
// operations, dark or not. The westward and eastward words are the
// darkness of the twelve pixels beside a dark one in its row, read off the
// row's darkness as bits.
//
// The sweeps run over vertical strips, so that the carried words take a
// fixed amount of memory however wide the bitmap. A word depends only on
// the RING_COUNT pixels along its ray, so a strip widened by RING_COUNT
// columns on each side gives exact words for its own columns: whatever the
// widened strip misses beyond its edges would sit in bits shifted out.
//
// The map stands in for the bitmap's colours: it holds the same darkness
// test for every pixel, those later in the scan included.
//
// Strips write the records of their own columns only, so they are swept
// on all cores, each with buffers of its own.
void TImgTrace::TakeCensus() {
  constexpr int STRIP_WIDTH = 1024;
  const int w = m_iMapWidth;
  const size_t span = size_t(std::min(w, STRIP_WIDTH) + 2 * RING_COUNT);
  // Per column of a widened strip, padded by one on each side: the
  // darkness of the neighbour row, and the carried words (straight,
  // leaning right, leaning left) of the neighbour row and of this row.
  const size_t bufferLength = 7 * (span + 2);
  // And per row of the strip: its darkness as bits, noted by the sweep
  // down for the sweep up, which then needs no look at the map; and the
  // record of its first dark pixel in the strip's own columns (the records
  // of a row's dark pixels there are numbered one after the other).
  const int h = m_iMapHeight;
  const size_t words = (span + 63) / 64;
  const size_t rowBytes = words * sizeof(uint64_t) + sizeof(int32_t);
  const size_t strips = size_t((w + STRIP_WIDTH - 1) / STRIP_WIDTH);
  m_iPeakBytes = MemoryBytes() + std::min(strips, size_t(Cores())) *
                                     (bufferLength * sizeof(uint16_t) + size_t(h) * rowBytes);

  ParallelEach(strips, [&](size_t strip) {
    std::vector<uint16_t> buffers(bufferLength);
    TStripRows rows{std::vector<uint64_t>(size_t(h) * words), std::vector<int32_t>(size_t(h), -1), words};
    const int x0 = int(strip) * STRIP_WIDTH, x1 = std::min(w, x0 + STRIP_WIDTH);
    const int lo = std::max(0, x0 - RING_COUNT), hi = std::min(w, x1 + RING_COUNT);
    SweepCensus(x0, x1, lo, hi, false, buffers.data(), span + 2, rows);
    SweepCensus(x0, x1, lo, hi, true, buffers.data(), span + 2, rows);
  });
}

// One sweep over the columns [lo, hi), writing the words of the records in
// [x0, x1). Downwards (top-down) it fills the up-pointing words and DIR180;
// upwards (bottom-up) the down-pointing words and DIR000, and then Sum.
void TImgTrace::SweepCensus(int x0, int x1, int lo, int hi, bool upwards, uint16_t* buffers, size_t stride,
                            TStripRows& rows) {
  const int h = m_iMapHeight, n = hi - lo;
  std::fill(buffers, buffers + 7 * stride, uint16_t(0));
  // The darkness of the row being swept, bit k for column lo + k, with a
  // word of zeros before and after it (nothing beyond the strip counts).
  std::vector<uint64_t> rowBits(std::max(rows.words, size_t(n + RING_COUNT + 63) / 64) + 2, 0);
  // Index i + 1 is column lo + i; the pads (0 and n + 1) stay 0, as beyond
  // the bitmap's edges.
  uint16_t* const dark = buffers;  // darkness of the row swept last
  uint16_t* prevStraight = buffers + stride;
  uint16_t* prevRight = buffers + 2 * stride;
  uint16_t* prevLeft = buffers + 3 * stride;
  uint16_t* curStraight = buffers + 4 * stride;
  uint16_t* curRight = buffers + 5 * stride;
  uint16_t* curLeft = buffers + 6 * stride;

  // Words that point towards the rows already swept: "right" leans towards
  // larger x.
  const size_t straightDir = size_t(upwards ? Direction::DIR270 : Direction::DIR090);
  const size_t rightDir = size_t(upwards ? Direction::DIR315 : Direction::DIR045);
  const size_t leftDir = size_t(upwards ? Direction::DIR225 : Direction::DIR135);

  for (int step = 0; step < h; ++step) {
    const int y = upwards ? h - 1 - step : step;
    if (step > 0) {
      ExtendWords(prevStraight, dark, curStraight, n, 0);
      ExtendWords(prevRight, dark, curRight, n, 1);
      ExtendWords(prevLeft, dark, curLeft, n, -1);
      std::swap(prevStraight, curStraight);
      std::swap(prevRight, curRight);
      std::swap(prevLeft, curLeft);
    }
    // The carried words now belong to this row. Its darkness is taken for
    // the next row's words and as bits (from the map sweeping down, from
    // the bits noted then sweeping up); the word along the row (westward
    // from the left, eastward from the right, starting outside the strip)
    // is read off the bits at each dark pixel of the strip, whose words
    // are stored.
    const int32_t* row = m_arPixelIdx.data() + MapOffset(0, y);
    uint64_t* const bits = rowBits.data() + 1;
    uint64_t* const noted = rows.bits.data() + size_t(y) * rows.words;
    if (!upwards) {
      NoteDarkness(row + lo, n, dark + 1, bits);
      std::copy(bits, bits + rows.words, noted);
    } else {
      std::copy(noted, noted + rows.words, bits);
      SpreadDarkness(bits, n, dark + 1);
    }
    int32_t& first = rows.firstRecord[size_t(y)];
    int32_t record = first;  // sweeping up: the next dark pixel's
    const int k0 = x0 - lo, k1 = x1 - lo;  // the strip's own columns, as bit numbers
    for (int word = k0 >> 6; word <= (k1 - 1) >> 6; ++word) {
      uint64_t pending = rowBits[size_t(word) + 1];
      if (word == k0 >> 6) pending &= ~uint64_t(0) << (k0 & 63);
      if (word == (k1 - 1) >> 6 && (k1 & 63)) pending &= ~(~uint64_t(0) << (k1 & 63));
      for (; pending; pending &= pending - 1) {
        const int k = word * 64 + __builtin_ctzll(pending);
        const size_t i = size_t(k) + 1;
        if (!upwards) {
          record = row[lo + k];
          if (first < 0) first = record;
        }
        PixelInfo& info = m_arPixelInfos[size_t(upwards ? record++ : record)];
        info.arDirSum[straightDir] = prevStraight[i];
        info.arDirSum[rightDir] = prevRight[i];
        info.arDirSum[leftDir] = prevLeft[i];
        if (!upwards) {
          info.x = lo + k;
          info.y = y;
          // Ring r westward is column k - r: the twelve bits below k, the
          // nearest first.
          info.arDirSum[size_t(Direction::DIR180)] = kReversed12[BitsFrom(rowBits.data(), k - RING_COUNT)];
        } else {
          info.arDirSum[size_t(Direction::DIR000)] = BitsFrom(rowBits.data(), k + 1);
          info.Sum = CountBits(info.arDirSum);
        }
      }
    }
  }
}

int TImgTrace::GetPixelCount() const {
  if (!m_oSrcBmp || m_oSrcBmp->IsEmpty()) return 0;
  return m_iLastPixelIdx + 1;
}

size_t TImgTrace::MemoryBytes() const {
  auto pathBytes = [](const TTracePath& p) {
    return p.m_arPt.capacity() * sizeof(TTraceObj::Point) + p.m_arDirs.capacity() * sizeof(Direction);
  };
  size_t bytes = sizeof(*this);
  bytes += size_t(m_iMapWidth) * size_t(m_iMapHeight) * sizeof(int32_t);
  bytes += m_arPixelInfos.capacity() * sizeof(PixelInfo);
  bytes += pathBytes(m_oWalk);
  if (m_lstOfTraceObjects) {
    bytes += sizeof(TTraceObjList) + m_lstOfTraceObjects->capacity() * sizeof(TTraceObjList::value_type);
    for (const auto& obj : *m_lstOfTraceObjects) {
      if (const auto* path = dynamic_cast<const TTracePath*>(obj.get()))
        bytes += sizeof(TTracePath) + pathBytes(*path);
      else
        bytes += sizeof(TTraceObj);
    }
  }
  return bytes;
}

// --- Highlighting -------------------------------------------------------------

void TImgTrace::SelectTracePath(float x, float y) {
  if (!m_lstOfTraceObjects || m_lstOfTraceObjects->empty()) return;
  // Range-checked before converting, so that far-off or non-finite
  // positions cannot overflow the conversion.
  const float rx = std::nearbyint(x), ry = std::nearbyint(y);
  if (!(rx >= 0.0f && ry >= 0.0f && rx < float(m_iMapWidth) && ry < float(m_iMapHeight))) return;
  const int i = PixelIndexAt(int(rx), int(ry));
  if (i < 0) return;
  const int32_t a = m_arPixelInfos[size_t(i)].TraceObjIdx;

  // The bitmap may have been replaced since the trace: paint only what lies
  // inside it now.
  uint32_t* bits = nullptr;
  ptrdiff_t stride = 0;
  int w = 0, h = 0;
  if (m_oSrcBmp && !m_oSrcBmp->IsEmpty()) {
    bits = m_oSrcBmp->Bits();
    stride = m_oSrcBmp->Stride();
    w = m_oSrcBmp->Width();
    h = m_oSrcBmp->Height();
  }
  if (bits) {
    for (const PixelInfo& info : m_arPixelInfos) {
      const int32_t b = info.TraceObjIdx;
      if (b < 0 || info.x >= w || info.y >= h) continue;
      uint32_t& pixel = bits[info.y * stride + info.x];
      if (m_iLastSelIdx >= 0 && b == m_iLastSelIdx) pixel = STATE_COLORS[size_t(info.State)];
      if (b == a) pixel = HIGHLIGHT_COLORS[size_t(info.State)];
    }
  }
  m_iLastSelIdx = a;
}

}  // namespace karto
