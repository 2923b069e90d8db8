#include "platform/PngRead.h"

#include <libdeflate.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Memory.h"

namespace karto {

namespace {

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Sub, Average and Paeth rows are undone byte after byte, each waiting on
// the one to its left: the time goes in that chain, not in the work.
bool Chained(int filter) { return filter == 1 || filter == 3 || filter == 4; }

// The byte one of those filters predicts from the left (a), above (b) and
// above left (c).
template <int kFilter>
inline int Predicted(int a, int b, int c) {
  if constexpr (kFilter == 1) {
    return a;
  } else if constexpr (kFilter == 3) {
    return (a + b) >> 1;
  } else {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
  }
}

// A chained row undone pixel by pixel, left to right; above is the row
// above, already undone (zeros above the first). The bytes of the pixel to
// the left (and above left) are carried in registers: read back from the
// row just written, each would wait on its store.
template <size_t kBpp, int kFilter>
struct TChainedRow {
  uint8_t* row;
  const uint8_t* above;
  uint8_t a[kBpp] = {}, c[kBpp] = {};  // left, above left
  void Pixel(size_t i) {
    for (size_t k = 0; k < kBpp; ++k) {
      const int b = above[i + k];
      a[k] = row[i + k] = uint8_t(row[i + k] + Predicted<kFilter>(a[k], b, c[k]));
      c[k] = uint8_t(b);
    }
  }
};

// Undoes one row's filter; prev is the row above, already undone (zeros
// above the first). n is a whole number of pixels of kBpp bytes.
template <size_t kBpp>
bool UnfilterRow(int filter, uint8_t* row, const uint8_t* prev, size_t n) {
  const auto chained = [&](auto line) {
    for (size_t i = 0; i < n; i += kBpp) line.Pixel(i);
    return true;
  };
  switch (filter) {
    case 0:
      return true;
    case 1:
      return chained(TChainedRow<kBpp, 1>{row, prev});
    case 2:
      for (size_t i = 0; i < n; ++i) row[i] = uint8_t(row[i] + prev[i]);
      return true;
    case 3:
      return chained(TChainedRow<kBpp, 3>{row, prev});
    case 4:
      return chained(TChainedRow<kBpp, 4>{row, prev});
    default:
      return false;
  }
}

bool Unfilter(int filter, uint8_t* row, const uint8_t* prev, size_t n, size_t bpp) {
  switch (bpp) {
    case 1:
      return UnfilterRow<1>(filter, row, prev, n);
    case 2:
      return UnfilterRow<2>(filter, row, prev, n);
    case 3:
      return UnfilterRow<3>(filter, row, prev, n);
    default:
      return UnfilterRow<4>(filter, row, prev, n);
  }
}

// Two chained rows undone together, the second (whose row above is the
// first) a stretch behind the first: the two chains of bytes are
// independent, and the processor works on both at once. Each byte is
// undone exactly as one row at a time would.
template <size_t kBpp, int kFirst, int kSecond>
void UnfilterTwoRows(uint8_t* first, const uint8_t* above, uint8_t* second, size_t n) {
  constexpr size_t kLag = 16 * kBpp;
  TChainedRow<kBpp, kFirst> one{first, above};
  TChainedRow<kBpp, kSecond> two{second, first};
  size_t i = 0;
  for (; i < n && i < kLag; i += kBpp) one.Pixel(i);
  for (; i < n; i += kBpp) {
    one.Pixel(i);
    two.Pixel(i - kLag);
  }
  for (size_t j = n - std::min(n, kLag); j < n; j += kBpp) two.Pixel(j);
}

template <size_t kBpp, int kFirst>
void UnfilterTwoRows(int second, uint8_t* row, const uint8_t* above, uint8_t* next, size_t n) {
  switch (second) {
    case 1:
      return UnfilterTwoRows<kBpp, kFirst, 1>(row, above, next, n);
    case 3:
      return UnfilterTwoRows<kBpp, kFirst, 3>(row, above, next, n);
    default:
      return UnfilterTwoRows<kBpp, kFirst, 4>(row, above, next, n);
  }
}

template <size_t kBpp>
void UnfilterTwoRows(int first, int second, uint8_t* row, const uint8_t* above, uint8_t* next, size_t n) {
  switch (first) {
    case 1:
      return UnfilterTwoRows<kBpp, 1>(second, row, above, next, n);
    case 3:
      return UnfilterTwoRows<kBpp, 3>(second, row, above, next, n);
    default:
      return UnfilterTwoRows<kBpp, 4>(second, row, above, next, n);
  }
}

// Row (filter first) and the row after it (filter second), both Chained.
void UnfilterTwo(int first, int second, uint8_t* row, const uint8_t* above, uint8_t* next, size_t n, size_t bpp) {
  switch (bpp) {
    case 1:
      return UnfilterTwoRows<1>(first, second, row, above, next, n);
    case 2:
      return UnfilterTwoRows<2>(first, second, row, above, next, n);
    case 3:
      return UnfilterTwoRows<3>(first, second, row, above, next, n);
    default:
      return UnfilterTwoRows<4>(first, second, row, above, next, n);
  }
}

}  // namespace

bool DecodePng(const QByteArray& bytes, QImage& out, uint64_t maxBytes) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
  const size_t size = size_t(bytes.size());
  if (size < 8 + 25 || std::memcmp(data, kSignature, 8) != 0) return false;

  uint32_t width = 0, height = 0;
  int colourType = -1;
  uint32_t palette[256];
  size_t paletteSize = 0;
  std::vector<uint8_t> compressed;
  bool ended = false;
  for (size_t pos = 8; pos + 12 <= size && !ended;) {
    const uint32_t length = BigEndian32(data + pos);
    if (length > size - pos - 12) return false;  // runs past the file's end
    const uint8_t* type = data + pos + 4;
    const uint8_t* body = data + pos + 8;
    if (libdeflate_crc32(0, type, size_t(length) + 4) != BigEndian32(body + length)) return false;
    const bool first = pos == 8;
    pos += size_t(length) + 12;
    if (std::memcmp(type, "IHDR", 4) == 0) {
      if (!first || length != 13) return false;
      width = BigEndian32(body);
      height = BigEndian32(body + 4);
      const int depth = body[8];
      colourType = body[9];
      // Compression and filter method 0, no interlacing, 8 bits a channel.
      if (depth != 8 || body[10] != 0 || body[11] != 0 || body[12] != 0) return false;
      if (colourType != 0 && colourType != 2 && colourType != 3 && colourType != 4 && colourType != 6) return false;
      if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) return false;
      if (uint64_t(width) * height * 4 > maxBytes) return false;
    } else if (colourType < 0) {
      return false;  // IHDR must come first
    } else if (std::memcmp(type, "PLTE", 4) == 0) {
      if (length % 3 != 0 || length / 3 > 256) return false;
      paletteSize = length / 3;
      for (size_t i = 0; i < paletteSize; ++i)
        palette[i] = 0xFF000000u | uint32_t(body[3 * i]) << 16 | uint32_t(body[3 * i + 1]) << 8 | body[3 * i + 2];
    } else if (std::memcmp(type, "tRNS", 4) == 0) {
      // One colour keyed transparent (grey or RGB pictures) is left to Qt.
      if (colourType != 3 || length > paletteSize) return false;
      for (size_t i = 0; i < length; ++i) palette[i] = (palette[i] & 0x00FFFFFFu) | uint32_t(body[i]) << 24;
    } else if (std::memcmp(type, "IDAT", 4) == 0) {
      if (compressed.empty()) compressed.reserve(size - pos + length);
      compressed.insert(compressed.end(), body, body + length);
    } else if (std::memcmp(type, "IEND", 4) == 0) {
      ended = true;
    } else if (std::memcmp(type, "eXIf", 4) == 0) {
      return false;  // the picture may ask to be turned
    } else if (!(type[0] & 0x20)) {
      return false;  // a critical chunk this reader does not know
    }
  }
  if (!ended || compressed.empty() || (colourType == 3 && paletteSize == 0)) return false;

  const size_t channels = colourType == 0 ? 1 : colourType == 2 ? 3 : colourType == 3 ? 1 : colourType == 4 ? 2 : 4;
  const size_t rowBytes = size_t(width) * channels, stride = rowBytes + 1;
  const size_t rawSize = stride * height, pictureBytes = size_t(width) * height * 4;
  // A large picture is laid out on a second thread (below), and is
  // inflated into the picture's own memory: into its end, from where the
  // rows, laid out in order from its start, never overtake the bytes they
  // are made of. Row y's pixels end before row y + 1's inflated bytes
  // begin, and each pixel is written over bytes already read: a pixel takes
  // four bytes where its inflated form takes at most four, and row y's
  // pixels start at least as far before its inflated bytes as the row's
  // pixels outgrow them. Only rows of four channels (one byte more a row,
  // for the filter) need spare bytes past the picture, one a row. One
  // picture's worth of fresh memory instead of nearly two: pages the
  // system clears and a second walk over them.
  const bool helped = uint64_t(width) * height >= (uint64_t(1) << 20);
  const size_t spare = helped && rawSize > pictureBytes ? rawSize - pictureBytes : 0;
  QImage image = AllocateImage(int(width), int(height), spare);
  if (image.isNull()) return false;
  uchar* const bits = image.bits();  // taken once: the threads below share the picture
  const size_t bytesPerLine = size_t(image.bytesPerLine());
  std::unique_ptr<uint8_t, decltype(&std::free)> ownRaw(nullptr, &std::free);
  const bool inPlace = helped && bytesPerLine == size_t(width) * 4;  // as the picture's rows are
  const size_t rawAt = inPlace ? pictureBytes + spare - rawSize : 0;
  uint8_t* raw = bits + rawAt;
  if (!inPlace) {
    ownRaw.reset(static_cast<uint8_t*>(AllocateLarge(rawSize)));
    if (!ownRaw) return false;
    raw = ownRaw.get();
  }
  bool badIndex = false;
  // A row in pieces through a buffer of its own, each piece read whole
  // before its pixels are written over it.
  const auto layOut = [&](size_t y) {
    const uint8_t* row = raw + y * stride + 1;
    auto* const line = reinterpret_cast<uint32_t*>(bits + y * bytesPerLine);
    constexpr uint32_t kPiece = 256;
    uint8_t piece[kPiece * 4];
    for (uint32_t x0 = 0; x0 < width; x0 += kPiece) {
      const uint32_t n = std::min(kPiece, width - x0);
      std::memcpy(piece, row + size_t(x0) * channels, size_t(n) * channels);
      const uint8_t* s = piece;
      uint32_t* const d = line + x0;
      switch (colourType) {
        case 0:
          for (uint32_t x = 0; x < n; ++x) d[x] = 0xFF000000u | uint32_t(s[x]) * 0x010101u;
          break;
        case 2:
          for (uint32_t x = 0; x < n; ++x, s += 3) d[x] = 0xFF000000u | uint32_t(s[0]) << 16 | uint32_t(s[1]) << 8 | s[2];
          break;
        case 3:
          for (uint32_t x = 0; x < n; ++x) {
            if (s[x] >= paletteSize) {
              badIndex = true;
              break;
            }
            d[x] = palette[s[x]];
          }
          break;
        case 4:
          for (uint32_t x = 0; x < n; ++x, s += 2) d[x] = uint32_t(s[1]) << 24 | uint32_t(s[0]) * 0x010101u;
          break;
        default:
          for (uint32_t x = 0; x < n; ++x, s += 4)
            d[x] = uint32_t(s[3]) << 24 | uint32_t(s[0]) << 16 | uint32_t(s[1]) << 8 | s[2];
          break;
      }
    }
  };
  // Inflating and undoing the rows' filters can only go in order, on one
  // core. On a large picture a second thread meanwhile takes the picture's
  // fresh memory from the system (a few milliseconds per 10 MB, spent
  // clearing pages): the inflated bytes' part ahead of the inflating (the
  // kernel backs it without writing a byte, so the two may overlap), then
  // the rest. It sleeps until the data is inflated, and then lays out each
  // row as soon as the filter of the row after it is undone, which reads
  // it (the two keep about the same pace, so it waits on a row only
  // briefly). undone counts the rows ready; a failure sets failed and lets
  // the helper run to its end.
  std::atomic<size_t> undone{0};
  std::atomic<bool> failed{false};
  std::mutex inflating;
  std::condition_variable inflatedOrFailed;
  bool inflated = false;
  const auto wake = [&] {
    {
      std::lock_guard<std::mutex> lock(inflating);
      inflated = true;
    }
    inflatedOrFailed.notify_one();
  };
  std::thread helper;
  if (helped)
    helper = std::thread([&] {
      PopulateForWriting(raw, rawSize);
      const size_t untouched = inPlace ? rawAt : bytesPerLine * height;  // by the inflating
      for (size_t at = 0; at < untouched; at += 4096) bits[at] = 0;
      {
        std::unique_lock<std::mutex> lock(inflating);
        inflatedOrFailed.wait(lock, [&] { return inflated; });
      }
      for (size_t y = 0; y < height; ++y) {
        while (undone.load(std::memory_order_acquire) < std::min<size_t>(y + 2, height)) std::this_thread::yield();
        if (failed.load(std::memory_order_relaxed)) return;
        layOut(y);
      }
    });
  const auto fail = [&] {
    failed = true;
    undone.store(height, std::memory_order_release);
    wake();
    if (helper.joinable()) helper.join();
    return false;
  };
  {
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    if (!inflater) return fail();
    size_t got = 0;
    const libdeflate_result result =
        libdeflate_zlib_decompress(inflater, compressed.data(), compressed.size(), raw, rawSize, &got);
    libdeflate_free_decompressor(inflater);
    if (result != LIBDEFLATE_SUCCESS || got != rawSize) return fail();
  }
  wake();
  std::vector<uint8_t>().swap(compressed);
  const std::vector<uint8_t> zeros(rowBytes, 0);  // above the first row
  for (size_t y = 0; y < height;) {
    uint8_t* row = raw + y * stride;
    const uint8_t* above = y > 0 ? row + 1 - stride : zeros.data();
    // Two chained rows in a row go together; the second's filter byte
    // lies just past the first row.
    const size_t rows = y + 1 < height && Chained(row[0]) && Chained(row[stride]) ? 2 : 1;
    if (rows == 2) UnfilterTwo(row[0], row[stride], row + 1, above, row + stride + 1, rowBytes, channels);
    else if (!Unfilter(row[0], row + 1, above, rowBytes, channels)) return fail();
    for (size_t r = y; r < y + rows; ++r) {
      if (helped) undone.store(r + 1, std::memory_order_release);
      else layOut(r);
    }
    y += rows;
  }
  if (helper.joinable()) helper.join();
  if (badIndex) return false;  // a palette index past the palette: Qt's reader decides
  out = std::move(image);
  return true;
}

}  // namespace karto
