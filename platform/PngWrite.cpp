#include "platform/PngWrite.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "platform/Parallel.h"

namespace karto {

namespace {

void PutU32(QByteArray& out, uint32_t v) {
  const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  out.append(b, 4);
}

void Chunk(QByteArray& out, const char* type, const char* data, size_t size) {
  PutU32(out, uint32_t(size));
  const qsizetype start = out.size();
  out.append(type, 4);
  out.append(data, qsizetype(size));
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(out.constData() + start), uInt(size + 4));
  PutU32(out, uint32_t(crc));
}

// A picture row as PNG samples: RGB or RGBA bytes.
void Samples(const uint32_t* px, int width, bool alpha, uint8_t* out) {
  if (alpha) {
    for (int x = 0; x < width; ++x, out += 4) {
      const uint32_t c = px[x];
      out[0] = uint8_t(c >> 16);
      out[1] = uint8_t(c >> 8);
      out[2] = uint8_t(c);
      out[3] = uint8_t(c >> 24);
    }
  } else {
    for (int x = 0; x < width; ++x, out += 3) {
      const uint32_t c = px[x];
      out[0] = uint8_t(c >> 16);
      out[1] = uint8_t(c >> 8);
      out[2] = uint8_t(c);
    }
  }
}

inline int Residue(uint8_t v) { return v < 128 ? v : 256 - v; }

// Filters cur (prev: the row above, zeros for the first) into out[0] (the
// filter type) and out[1..n]: each of the five filters is tried and the one
// with the smallest sum of residues is kept, the usual heuristic.
void FilterRow(const uint8_t* cur, const uint8_t* prev, int n, int bpp, uint8_t* out, uint8_t* scratch) {
  uint8_t* cand[4] = {scratch, scratch + n, scratch + 2 * n, scratch + 3 * n};
  long sums[5] = {0, 0, 0, 0, 0};
  for (int i = 0; i < n; ++i) sums[0] += Residue(cur[i]);
  // Sub and Up.
  for (int i = 0; i < bpp; ++i) cand[0][i] = cur[i];
  for (int i = bpp; i < n; ++i) cand[0][i] = uint8_t(cur[i] - cur[i - bpp]);
  for (int i = 0; i < n; ++i) cand[1][i] = uint8_t(cur[i] - prev[i]);
  // Average and Paeth.
  for (int i = 0; i < bpp; ++i) {
    cand[2][i] = uint8_t(cur[i] - (prev[i] >> 1));
    cand[3][i] = uint8_t(cur[i] - prev[i]);
  }
  for (int i = bpp; i < n; ++i) {
    const int a = cur[i - bpp], b = prev[i], c = prev[i - bpp];
    cand[2][i] = uint8_t(cur[i] - ((a + b) >> 1));
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    const int pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
    cand[3][i] = uint8_t(cur[i] - pred);
  }
  for (int f = 0; f < 4; ++f) {
    long s = 0;
    const uint8_t* r = cand[f];
    for (int i = 0; i < n; ++i) s += Residue(r[i]);
    sums[f + 1] = s;
  }
  const int best = int(std::min_element(sums, sums + 5) - sums);
  out[0] = uint8_t(best);
  std::memcpy(out + 1, best == 0 ? cur : cand[best - 1], size_t(n));
}

}  // namespace

bool AllOpaque(const QImage& image) {
  if (!image.hasAlphaChannel()) return true;
  if (image.format() != QImage::Format_ARGB32 && image.format() != QImage::Format_ARGB32_Premultiplied)
    return AllOpaque(image.convertToFormat(QImage::Format_ARGB32));
  // Every pixel is read on an opaque picture, the common case: a band of
  // rows to each core, each stopping once any has found a transparent
  // pixel. (Filters, flattening and saving ask first; on 12 MP a single
  // core took about 3 ms.)
  const int w = image.width(), h = image.height();
  std::atomic<bool> transparent{false};
  ParallelRows(h, w, [&](int first, int last) {
    for (int y = first; y < last && !transparent.load(std::memory_order_relaxed); ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
      uint32_t all = 0xFFFFFFFFu;
      for (int x = 0; x < w; ++x) all &= row[x];
      if ((all >> 24) != 0xFF) transparent.store(true, std::memory_order_relaxed);
    }
  });
  return !transparent.load();
}

QByteArray EncodePng(const QImage& source, int level) {
  const QImage image = source.format() == QImage::Format_ARGB32 || source.format() == QImage::Format_RGB32
                           ? source
                           : source.convertToFormat(QImage::Format_ARGB32);
  const int width = image.width(), height = image.height();
  const bool alpha = !AllOpaque(image);
  const int bpp = alpha ? 4 : 3;
  const int n = width * bpp;
  const size_t stride = size_t(n) + 1;

  // Filtered rows, then compressed in bands; a band's compressor sees the
  // last 32 KB of the band before as its dictionary.
  std::vector<uint8_t> filtered(stride * size_t(height));
  const int bands = std::max(1, std::min(height / 64, 4 * int(Cores())));
  std::vector<int> bandStart(static_cast<size_t>(bands) + 1);
  for (int b = 0; b <= bands; ++b) bandStart[size_t(b)] = int((long long)height * b / bands);
  std::vector<std::vector<uint8_t>> packed(static_cast<size_t>(bands));
  std::vector<uLong> adler(static_cast<size_t>(bands));
  std::vector<bool> failed(static_cast<size_t>(bands), false);

  ParallelRows(bands, 1 << 20, [&](int first, int last) {
    std::vector<uint8_t> prev(static_cast<size_t>(n)), cur(static_cast<size_t>(n)), scratch(static_cast<size_t>(n) * 4);
    for (int b = first; b < last; ++b) {
      const int y0 = bandStart[size_t(b)], y1 = bandStart[size_t(b) + 1];
      if (y0 > 0) Samples(reinterpret_cast<const uint32_t*>(image.constScanLine(y0 - 1)), width, alpha, prev.data());
      else std::fill(prev.begin(), prev.end(), 0);
      for (int y = y0; y < y1; ++y) {
        Samples(reinterpret_cast<const uint32_t*>(image.constScanLine(y)), width, alpha, cur.data());
        FilterRow(cur.data(), prev.data(), n, bpp, &filtered[stride * size_t(y)], scratch.data());
        std::swap(prev, cur);
      }
    }
  });
  ParallelRows(bands, 1 << 20, [&](int first, int last) {
    for (int b = first; b < last; ++b) {
      const size_t begin = stride * size_t(bandStart[size_t(b)]), end = stride * size_t(bandStart[size_t(b) + 1]);
      z_stream z{};
      if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        failed[size_t(b)] = true;
        continue;
      }
      if (begin > 0) {
        const size_t dict = std::min<size_t>(begin, 32768);
        deflateSetDictionary(&z, &filtered[begin - dict], uInt(dict));
      }
      std::vector<uint8_t>& out = packed[size_t(b)];
      out.resize(deflateBound(&z, uLong(end - begin)) + 16);
      z.next_in = &filtered[begin];
      z.avail_in = uInt(end - begin);
      z.next_out = out.data();
      z.avail_out = uInt(out.size());
      // Every band but the last ends on a byte boundary without closing the
      // stream, so the next band's output simply follows it.
      const int flush = b + 1 == bands ? Z_FINISH : Z_SYNC_FLUSH;
      const int rc = deflate(&z, flush);
      if ((flush == Z_FINISH && rc != Z_STREAM_END) || (flush != Z_FINISH && rc != Z_OK) || z.avail_in != 0)
        failed[size_t(b)] = true;
      out.resize(z.total_out);
      deflateEnd(&z);
      adler[size_t(b)] = adler32(adler32(0, nullptr, 0), &filtered[begin], uInt(end - begin));
    }
  });
  if (std::find(failed.begin(), failed.end(), true) != failed.end()) return {};

  uLong check = adler32(0, nullptr, 0);
  for (int b = 0; b < bands; ++b) {
    const size_t length = stride * size_t(bandStart[size_t(b) + 1] - bandStart[size_t(b)]);
    check = adler32_combine(check, adler[size_t(b)], z_off_t(length));
  }

  QByteArray png;
  size_t total = 0;
  for (const auto& p : packed) total += p.size();
  png.reserve(qsizetype(total + 1024));
  png.append("\x89PNG\r\n\x1a\n", 8);
  char ihdr[13];
  const uint32_t w = uint32_t(width), h = uint32_t(height);
  const char head[8] = {char(w >> 24), char(w >> 16), char(w >> 8), char(w), char(h >> 24), char(h >> 16), char(h >> 8), char(h)};
  std::memcpy(ihdr, head, 8);
  ihdr[8] = 8;                 // bits per sample
  ihdr[9] = alpha ? 6 : 2;     // RGBA or RGB
  ihdr[10] = ihdr[11] = ihdr[12] = 0;  // deflate, adaptive filtering, not interlaced
  Chunk(png, "IHDR", ihdr, 13);
  // The zlib stream: its header, the bands, its checksum; in IDAT chunks of
  // at most 1 MB.
  std::vector<uint8_t> stream;
  stream.reserve(total + 6);
  stream.push_back(0x78);
  stream.push_back(0x5E);
  for (const auto& p : packed) stream.insert(stream.end(), p.begin(), p.end());
  for (int s = 24; s >= 0; s -= 8) stream.push_back(uint8_t(check >> s));
  for (size_t at = 0; at < stream.size(); at += 1 << 20)
    Chunk(png, "IDAT", reinterpret_cast<const char*>(stream.data() + at), std::min<size_t>(1 << 20, stream.size() - at));
  Chunk(png, "IEND", nullptr, 0);
  return png;
}

}  // namespace karto
