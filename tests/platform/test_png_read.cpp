// Karto's own PNG reader against Qt's: the same pixels for every kind it
// takes, every row filter undone, and the files it leaves to Qt (other bit
// depths, interlacing, damage) left without harm.

#include <gtest/gtest.h>
#include <zlib.h>

#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/PngRead.h"

using namespace karto;

namespace {

constexpr uint64_t kPlenty = uint64_t(1) << 32;

// A picture with smooth and noisy parts and translucent pixels, so that an
// encoder uses every kind of row filter.
QImage Varied(int w, int h) {
  QImage img(w, h, QImage::Format_ARGB32);
  uint32_t seed = 7;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int noise = x > w / 2 ? int(seed >> 24) % 64 : 0;
      img.setPixel(x, y, qRgba((x * 255 / w + noise) & 255, (y * 255 / h) & 255, (x * y + noise) & 255,
                               (y % 3 == 0) ? 255 : (x * 7 + y * 3) & 255));
    }
  return img;
}

QByteArray QtPng(const QImage& img) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  writer.write(img);
  return bytes;
}

QImage QtDecoded(const QByteArray& bytes) { return QImage::fromData(bytes, "PNG").convertToFormat(QImage::Format_ARGB32); }

void Chunk(std::string& png, const char* type, const std::string& body) {
  const uint32_t n = uint32_t(body.size());
  png += char(n >> 24);
  png += char(n >> 16);
  png += char(n >> 8);
  png += char(n);
  const std::string typed = std::string(type, 4) + body;
  png += typed;
  const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), uInt(typed.size())));
  png += char(crc >> 24);
  png += char(crc >> 16);
  png += char(crc >> 8);
  png += char(crc);
}

// An 8-bit RGBA PNG of img written here, row y filtered with filter y % 5
// (so every filter is met in every position), or with filters[y % size]
// when filters are given, with extra chunks before the image data;
// unknownFilterRow gets a filter type PNG does not have. channels: 1 grey
// (the red channel), 2 grey and alpha, 3 RGB, 4 RGBA.
std::string HandMadePng(const QImage& img, const std::vector<std::pair<std::string, std::string>>& extra = {},
                        int unknownFilterRow = -1, int channels = 4, const std::vector<int>& filters = {}) {
  const int w = img.width(), h = img.height();
  const size_t bpp = size_t(channels);
  std::string raw;
  std::vector<uint8_t> prev(size_t(w) * bpp, 0), cur(size_t(w) * bpp);
  for (int y = 0; y < h; ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    for (int x = 0; x < w; ++x) {
      const QRgb c = line[x];
      uint8_t* px = &cur[size_t(x) * bpp];
      const uint8_t rgba[4] = {uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c)), uint8_t(qAlpha(c))};
      if (channels == 1) px[0] = rgba[0];
      if (channels == 2) px[0] = rgba[0], px[1] = rgba[3];
      if (channels >= 3) std::memcpy(px, rgba, size_t(channels));
    }
    const int filter = filters.empty() ? y % 5 : filters[size_t(y) % filters.size()];
    raw += char(y == unknownFilterRow ? 5 : filter);
    for (size_t i = 0; i < cur.size(); ++i) {
      const int a = i >= bpp ? cur[i - bpp] : 0, b = y > 0 ? prev[i] : 0, c = y > 0 && i >= bpp ? prev[i - bpp] : 0;
      int predicted = 0;
      if (filter == 1) predicted = a;
      if (filter == 2) predicted = b;
      if (filter == 3) predicted = (a + b) / 2;
      if (filter == 4) {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      raw += char(uint8_t(cur[i] - predicted));
    }
    prev = cur;
  }
  uLongf packedSize = compressBound(uLong(raw.size()));
  std::string packed(packedSize, '\0');
  compress(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()));
  packed.resize(packedSize);
  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  for (int v : {w, h}) {
    header += char(v >> 24);
    header += char(v >> 16);
    header += char(v >> 8);
    header += char(v);
  }
  const char colourType[5] = {0, 0, 4, 2, 6};
  header += char(8);
  header += colourType[channels];
  header += std::string("\x00\x00\x00", 3);
  Chunk(png, "IHDR", header);
  for (const auto& [type, body] : extra) Chunk(png, type.c_str(), body);
  Chunk(png, "IDAT", packed.substr(0, packed.size() / 2));  // image data split over two chunks
  Chunk(png, "IDAT", packed.substr(packed.size() / 2));
  Chunk(png, "IEND", "");
  return png;
}

bool SamePixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.format() != b.format()) return false;
  for (int y = 0; y < a.height(); ++y)
    if (std::memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 4) != 0) return false;
  return true;
}

QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }

}  // namespace

TEST(PngRead, DecodesTheCommonKindsAsQtDoes) {
  const QImage varied = Varied(67, 41);
  struct Case {
    const char* name;
    QImage image;
    bool ours;  // decoded by Karto's reader rather than left to Qt's
  };
  QImage indexed = varied.convertToFormat(QImage::Format_Indexed8);
  const Case cases[] = {
      {"rgb", varied.convertToFormat(QImage::Format_RGB32), true},
      {"rgba", varied, true},
      {"grey", varied.convertToFormat(QImage::Format_Grayscale8), true},
      {"palette with alpha", indexed, true},
      {"16-bit grey", varied.convertToFormat(QImage::Format_Grayscale16), false},
      {"16-bit rgba", varied.convertToFormat(QImage::Format_RGBA64), false},
      {"1-bit", varied.convertToFormat(QImage::Format_Mono), false},
  };
  for (const Case& c : cases) {
    const QByteArray bytes = QtPng(c.image);
    QImage ours;
    ASSERT_EQ(DecodePng(bytes, ours, kPlenty), c.ours) << c.name;
    const QImage expected = QtDecoded(bytes);
    if (c.ours) {
      EXPECT_EQ(ours, expected) << c.name;
    }
    // Through the bitmap's loader either way: the same pixels as Qt's.
    QTemporaryDir dir;
    const QString file = dir.filePath("p.png");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    TBitmap loaded;
    loaded.LoadFromFile(file);
    EXPECT_EQ(loaded.Image(), expected) << c.name;
  }
}

TEST(PngRead, UndoesEveryRowFilter) {
  const QImage img = Varied(53, 30);
  const QByteArray bytes = Bytes(HandMadePng(img, {{"gAMA", std::string("\x00\x00\xB1\x8F", 4)}, {"tEXt", std::string("Title\0x", 7)}}));
  QImage ours;
  ASSERT_TRUE(DecodePng(bytes, ours, kPlenty));
  EXPECT_EQ(ours, img);
  // Qt's reader notes the gamma as the picture's colour space but leaves
  // the pixels as they are; so does Karto's.
  EXPECT_TRUE(SamePixels(ours, QtDecoded(bytes)));
}

// Every filter on rows of 1 to 4 bytes a pixel, on a small picture and on
// one large enough (a megapixel) that rows are laid out on a second thread
// while the filters are undone; an unknown filter late in the picture is
// declined on either road.
TEST(PngRead, UndoesEveryRowFilterForEveryKindOfPixel) {
  // Besides every filter in every position, every pair of the filters
  // that chain along a row (Sub, Average, Paeth) one above the other,
  // each pair after an Up row: such pairs are undone together.
  std::vector<int> pairs;
  for (const int first : {1, 3, 4})
    for (const int second : {1, 3, 4}) pairs.insert(pairs.end(), {first, second, 2});
  for (const std::vector<int>& filters : {std::vector<int>{}, pairs})
  for (const QSize size : {QSize(53, 30), QSize(7, 30), QSize(1031, 1020)}) {
    const QImage img = Varied(size.width(), size.height());
    for (int channels = 1; channels <= 4; ++channels) {
      const std::string name = std::to_string(size.width()) + " px wide, " + std::to_string(channels) + " channels" +
                               (filters.empty() ? "" : ", chained pairs");
      QImage expected(img.size(), QImage::Format_ARGB32);
      for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
          const QRgb c = img.pixel(x, y);
          const int r = qRed(c), a = channels % 2 == 0 ? qAlpha(c) : 255;
          expected.setPixel(x, y, channels <= 2 ? qRgba(r, r, r, a) : qRgba(r, qGreen(c), qBlue(c), a));
        }
      QImage ours;
      ASSERT_TRUE(DecodePng(Bytes(HandMadePng(img, {}, -1, channels, filters)), ours, kPlenty)) << name;
      EXPECT_TRUE(SamePixels(ours, expected)) << name;
      EXPECT_FALSE(DecodePng(Bytes(HandMadePng(img, {}, size.height() - 2, channels, filters)), ours, kPlenty)) << name;
    }
  }
}

// Damaged or unusual files: Karto's reader declines them (Qt's reader then
// decides), and never reads out of bounds while finding out.
TEST(PngRead, DeclinesWhatItDoesNotTake) {
  const QImage img = Varied(20, 12);
  const std::string good = HandMadePng(img);
  std::string badCrc = good;
  badCrc[8 + 8 + 13 + 2] ^= 0x40;  // IHDR's checksum
  const std::string badFilter = HandMadePng(img, {}, 7);
  std::string interlaced = good;
  {
    // Interlacing set in the header, with its checksum made right.
    std::string header = good.substr(8 + 8, 13);
    header[12] = 1;
    interlaced = std::string("\x89PNG\r\n\x1a\n", 8);
    Chunk(interlaced, "IHDR", header);
    interlaced += good.substr(8 + 25);
  }
  std::string noEnd = good.substr(0, good.size() - 12);
  std::string huge = std::string("\x89PNG\r\n\x1a\n", 8);
  Chunk(huge, "IHDR", std::string("\x00\x01\x00\x00\x00\x01\x00\x00\x08\x06\x00\x00\x00", 13));
  huge += good.substr(8 + 25);
  std::string exif = HandMadePng(img, {{"eXIf", std::string("MM\x00\x2a", 4)}});
  std::string keyed = HandMadePng(img, {{"tRNS", std::string("\x00\x10\x00\x20\x00\x30", 6)}});
  std::string unknownCritical = HandMadePng(img, {{"ABCD", "x"}});
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {{"checksum", badCrc},
                        {"unknown row filter", badFilter},
                        {"interlaced", interlaced},
                        {"no end", noEnd},
                        {"larger than allowed", huge},
                        {"orientation data", exif},
                        {"keyed transparency", keyed},
                        {"unknown critical chunk", unknownCritical},
                        {"cut short", good.substr(0, good.size() / 2)},
                        {"only the signature", good.substr(0, 8)},
                        {"empty", ""}};
  for (const Case& c : cases) {
    QImage out;
    EXPECT_FALSE(DecodePng(Bytes(c.bytes), out, uint64_t(64) << 20)) << c.name;
    EXPECT_TRUE(out.isNull()) << c.name;
  }
  // Image data that inflates to more or fewer bytes than the rows need.
  for (int rows : {11, 13}) {
    QImage other = Varied(20, rows);
    std::string mixed = good.substr(0, 8 + 25);
    const std::string otherPng = HandMadePng(other);
    mixed += otherPng.substr(8 + 25);
    QImage out;
    EXPECT_FALSE(DecodePng(Bytes(mixed), out, kPlenty)) << rows;
  }
}
