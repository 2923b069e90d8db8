// TBitmap: pixel access rules, copying, and the file codecs with their
// failure paths.

#include <gtest/gtest.h>

#include <algorithm>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <cstring>

#include "platform/Bitmap.h"
#include "platform/FileWrite.h"
#include "platform/JpegCodec.h"
#include "platform/Memory.h"
#include "platform/PngWrite.h"

using namespace karto;

namespace {

// 4 x 3 with a different colour in every pixel, some of them translucent.
TBitmap Sample() {
  TBitmap b(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      b.SetPixel(x, y,
                 MakeColor(uint8_t(40 * x + 10), uint8_t(70 * y + 5), uint8_t(200 - 30 * x),
                           uint8_t(x == 3 ? 128 : 255)));
  return b;
}

// The largest per-channel difference between two bitmaps of the same size.
int MaxChannelDifference(const TBitmap& a, const TBitmap& b) {
  int worst = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      for (int shift : {0, 8, 16, 24})
        worst = std::max(worst, std::abs(int((a.Pixel(x, y) >> shift) & 0xFF) -
                                         int((b.Pixel(x, y) >> shift) & 0xFF)));
  return worst;
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

QByteArray ReadBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(BitmapPixels, OutsideReadsGiveZeroAndWritesAreIgnored) {
  TBitmap b = Sample();
  const TBitmap before = Sample();
  const int outside[][2] = {{-1, 0}, {0, -1}, {4, 0}, {0, 3}, {4, 3}, {-100000, 5}, {3, 100000}};
  for (const auto& xy : outside) {
    EXPECT_EQ(b.Pixel(xy[0], xy[1]), 0u) << xy[0] << "," << xy[1];
    b.SetPixel(xy[0], xy[1], TAlphaColors::Red);
  }
  EXPECT_TRUE(b == before);
  // The corners are inside.
  b.SetPixel(3, 2, TAlphaColors::Lime);
  EXPECT_EQ(b.Pixel(3, 2), TAlphaColors::Lime);
  EXPECT_EQ(b.ScanLine(2)[3], TAlphaColors::Lime);
  EXPECT_EQ(TBitmap().Pixel(0, 0), 0u);
}

TEST(BitmapPixels, SizeClearAndAssign) {
  TBitmap b(5, 2);
  EXPECT_EQ(b.Pixel(4, 1), 0u);  // a new bitmap is transparent black
  b.Clear(0x80402010u);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(b.Pixel(x, y), 0x80402010u);

  TBitmap copy;
  copy.Assign(Sample());
  EXPECT_EQ(copy.Width(), 4);
  EXPECT_EQ(copy.Height(), 3);
  EXPECT_TRUE(copy == Sample());
  // The copy is its own: changing one leaves the other.
  TBitmap source = Sample();
  copy.Assign(source);
  copy.SetPixel(0, 0, TAlphaColors::Black);
  EXPECT_EQ(source.Pixel(0, 0), Sample().Pixel(0, 0));

  b.SetSize(0, 7);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.Width(), 0);
}

// A new bitmap is transparent black also when it is large and its memory
// was another picture's a moment before (large ones are not cleared
// pixel by pixel: their memory must come zero). The first size, freed,
// makes the allocator keep the second size's memory for reuse.
TEST(BitmapPixels, NewBitmapsAreTransparentBlackInReusedMemory) {
  for (const QSize size : {QSize(2500, 2000), QSize(1600, 1400), QSize(300, 200)}) {
    for (int round = 0; round < 3; ++round) {
      TBitmap b(size.width(), size.height());
      const uint32_t* bits = b.Bits();
      const size_t n = size_t(size.width()) * size_t(size.height());
      EXPECT_EQ(std::count(bits, bits + n, 0u), ptrdiff_t(n)) << size.width() << " x " << size.height();
      b.Clear(0xFFFFFFFFu);  // left behind for the next round's bitmap
    }
  }
}

class BitmapFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  QString Path(const QString& name) const { return dir.filePath(name); }
  QTemporaryDir dir;
};

TEST_F(BitmapFiles, PngAndBmpRoundTripExactlyAndJpegApproximately) {
  // An opaque picture of smooth ramps for the formats without alpha.
  TBitmap opaque(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      opaque.SetPixel(x, y, MakeColor(uint8_t(60 + x * 8), uint8_t(60 + y * 8), 128));

  struct Case {
    const char* file;
    const TBitmap& picture;
    int tolerance;  // per channel
  };
  const TBitmap translucent = Sample();
  const Case cases[] = {
      {"a.png", translucent, 0},
      {"upper.PNG", translucent, 0},
      {"a.bmp", opaque, 0},
      // JPEG is lossy: the ramps come back within a few levels (5 at quality 95).
      {"a.jpg", opaque, 12},
      {"a.jpeg", opaque, 12},
  };
  for (const Case& c : cases) {
    c.picture.SaveToFile(Path(c.file));
    TBitmap back;
    back.LoadFromFile(Path(c.file));
    ASSERT_EQ(back.Width(), c.picture.Width()) << c.file;
    ASSERT_EQ(back.Height(), c.picture.Height()) << c.file;
    EXPECT_EQ(back.Image().format(), QImage::Format_ARGB32) << c.file;
    EXPECT_LE(MaxChannelDifference(back, c.picture), c.tolerance) << c.file;
  }
}

TEST_F(BitmapFiles, FormatsWithoutAlphaFlattenOntoWhite) {
  TBitmap b(2, 1);
  b.SetPixel(0, 0, 0x00000000u);  // transparent
  b.SetPixel(1, 0, 0x80000000u);  // half-covered black
  b.SaveToFile(Path("flat.bmp"));
  TBitmap back;
  back.LoadFromFile(Path("flat.bmp"));
  EXPECT_EQ(back.Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_NEAR(int(ColorRed(back.Pixel(1, 0))), 127, 1);
  EXPECT_EQ(ColorAlpha(back.Pixel(1, 0)), 255);
}

// A save through a symbolic link writes the file it leads to; the link
// stays a link.
TEST_F(BitmapFiles, SavesGoThroughSymbolicLinks) {
  const QString real = Path("real.png"), link = Path("link.png");
  Sample().SaveToFile(real);
  ASSERT_TRUE(QFile::link(real, link));
  TBitmap other = Sample();
  other.SetPixel(0, 0, 0xFF00FF00u);
  other.SaveToFile(link);
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  TBitmap back;
  back.LoadFromFile(real);
  EXPECT_EQ(back.Pixel(0, 0), 0xFF00FF00u);
}

// Text files (drawings, views) go the same way: through links, never over
// a folder or a device.
TEST_F(BitmapFiles, TextWritesFollowLinksAndSpareWhatIsNoFile) {
  const QString real = Path("real.svg"), link = Path("link.svg");
  WriteBytes(real, "old");
  ASSERT_TRUE(QFile::link(real, link));
  ASSERT_TRUE(WriteFileAtomically(link, "new"));
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(ReadBytes(real), QByteArray("new"));
  QDir(dir.path()).mkdir("folder.svg");
  QString reason;
  EXPECT_FALSE(WriteFileAtomically(Path("folder.svg"), "x", &reason));
  EXPECT_TRUE(reason.contains("not a regular file")) << reason.toStdString();
  EXPECT_TRUE(QFileInfo(Path("folder.svg")).isDir());
}

TEST_F(BitmapFiles, SaveFailuresThrowWithAReasonAndKeepThePreviousFile) {
  const QString existing = Path("keep.png");
  Sample().SaveToFile(existing);
  const QByteArray before = ReadBytes(existing);
  WriteBytes(Path("plainfile"), "not a folder");

  struct Case {
    const char* what;
    TBitmap picture;
    QString file;
    const char* reason;  // a word the message must hold
  };
  const Case cases[] = {
      {"unknown extension", Sample(), Path("a.gif"), ".gif"},
      {"no extension", Sample(), Path("noext"), "format"},
      {"a folder that does not exist", Sample(), Path("missing/a.png"), "No such file"},
      {"a folder that is a file", Sample(), Path("plainfile/a.png"), "directory"},
      {"an empty picture over an existing file", TBitmap(), existing, "empty"},
      {"a folder", Sample(), Path("folder.png"), "not a regular file"},
      {"a link to a device", Sample(), Path("device.png"), "not a regular file"},
  };
  QDir(dir.path()).mkdir("folder.png");
  QFile::link("/dev/null", Path("device.png"));
  for (const Case& c : cases) {
    try {
      c.picture.SaveToFile(c.file);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const EBitmapError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos)
          << c.what << ": " << e.what();
    }
  }
  EXPECT_EQ(ReadBytes(existing), before);
  EXPECT_TRUE(QFileInfo(Path("device.png")).isSymLink());
  QDir(dir.path()).rmdir("folder.png");
  QFile::remove(Path("device.png"));
  // Nothing half-written is left behind.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
            (QStringList{"keep.png", "plainfile"}));
}

TEST_F(BitmapFiles, LoadFailuresThrowAndLeaveTheBitmapUnchanged) {
  Sample().SaveToFile(Path("good.png"));
  QByteArray truncated = ReadBytes(Path("good.png"));
  truncated.chop(truncated.size() / 2);
  WriteBytes(Path("truncated.png"), truncated);
  WriteBytes(Path("garbage.png"), QByteArray(300, 'x'));
  WriteBytes(Path("garbage.jpg"), QByteArray("\xFF\xD8\xFF\xE0 not really a jpeg"));
  WriteBytes(Path("empty.bmp"), QByteArray());

  for (const char* name :
       {"missing.png", "truncated.png", "garbage.png", "garbage.jpg", "empty.bmp"}) {
    TBitmap b = Sample();
    EXPECT_THROW(b.LoadFromFile(Path(name)), EBitmapError) << name;
    EXPECT_TRUE(b == Sample()) << name;
  }
}

}  // namespace

// Work on a picture too large for the machine's memory is refused with the
// picture's size and the memory it would need; what fits is not.
TEST(PngWriter, PicturesOfEverySizeComeBackExactly) {
  // Random pixels defeat the filters; sizes cover one band, many bands
  // (each band's stream primed by the one before) and a single pixel.
  struct Case {
    int width, height;
    bool alpha;
  };
  const Case cases[] = {{1, 1, false}, {7, 3, true}, {300, 70, false}, {257, 1000, true}, {1000, 997, false}};
  uint32_t seed = 12345;
  for (const Case& c : cases) {
    QImage img(c.width, c.height, QImage::Format_ARGB32);
    for (int y = 0; y < c.height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(img.scanLine(y));
      for (int x = 0; x < c.width; ++x) {
        seed = seed * 1664525u + 1013904223u;
        // Half the rows smooth, half noise, so every filter gets chosen.
        const uint32_t v = (y % 2) ? seed : (uint32_t(x * 3) * 0x010101u);
        row[x] = c.alpha ? v : (v | 0xFF000000u);
      }
    }
    const QByteArray png = EncodePng(img);
    ASSERT_FALSE(png.isEmpty());
    // The colour type byte of the header: RGB for opaque pictures.
    EXPECT_EQ(int(png[25]), c.alpha ? 6 : 2) << c.width << "x" << c.height;
    QImage back;
    ASSERT_TRUE(back.loadFromData(png, "PNG")) << c.width << "x" << c.height;
    back = back.convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(back.size(), img.size());
    for (int y = 0; y < c.height; ++y)
      ASSERT_EQ(std::memcmp(back.constScanLine(y), img.constScanLine(y), size_t(c.width) * 4), 0)
          << c.width << "x" << c.height << " row " << y;
  }
  EXPECT_TRUE(AllOpaque(QImage(3, 3, QImage::Format_RGB32)));
}

// Opacity is asked of whole pictures, large ones split over the cores:
// one translucent pixel anywhere (either band's first or last row, or
// its last pixel) is found.
TEST(Bitmap, OneTranslucentPixelAnywhereMakesAPictureNotOpaque) {
  for (const QSize size : {QSize(7, 5), QSize(1200, 1001)}) {
    const int w = size.width(), h = size.height();
    struct Case {
      int x, y;  // the translucent pixel; -1 for none
    };
    const Case cases[] = {{-1, -1}, {0, 0}, {w - 1, h - 1}, {w / 2, h / 2}, {3, h / 2 + 1}, {w - 1, h / 2 - 1}};
    for (const Case& c : cases) {
      QImage img(size, QImage::Format_ARGB32);
      img.fill(0xFF336699u);
      if (c.x >= 0) img.setPixel(c.x, c.y, 0xFE336699u);
      EXPECT_EQ(AllOpaque(img), c.x < 0) << w << "x" << h << " at " << c.x << "," << c.y;
    }
  }
}

TEST_F(BitmapFiles, JpegThroughLibjpegTurboMatchesQtAndHonoursExifTurns) {
  TBitmap photo(64, 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) photo.SetPixel(x, y, MakeColor(uint8_t(x * 4), uint8_t(y * 5), uint8_t(128 + x - y)));
  photo.SaveToFile(Path("p.jpg"));
  const QByteArray bytes = ReadBytes(Path("p.jpg"));
  // Decoded by either road, the same picture within a level or two.
  QImage ours;
  ASSERT_TRUE(DecodeJpeg(bytes, ours));
  QImage qt;
  ASSERT_TRUE(qt.loadFromData(bytes, "JPEG"));
  EXPECT_LE(MaxChannelDifference(TBitmap(ours), TBitmap(qt)), 2);
  EXPECT_LE(MaxChannelDifference(TBitmap(ours), photo), 16);
  EXPECT_EQ(JpegExifOrientation(bytes), 1);

  // The same file with an EXIF block asking for a quarter turn: loaded
  // turned, 48 x 64.
  const char tiff[] = {'I', 'I', 42, 0, 8, 0, 0, 0,  // header, first block at 8
                       1, 0,                          // one entry
                       0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0,  // orientation = 6
                       0, 0, 0, 0};
  QByteArray app1("\xFF\xE1", 2);
  const int length = 2 + 6 + int(sizeof(tiff));
  app1.append(char(length >> 8)).append(char(length & 0xFF)).append("Exif\0\0", 6).append(tiff, sizeof(tiff));
  const QByteArray turned = bytes.left(2) + app1 + bytes.mid(2);
  EXPECT_EQ(JpegExifOrientation(turned), 6);
  WriteBytes(Path("turned.jpg"), turned);
  TBitmap back;
  back.LoadFromFile(Path("turned.jpg"));
  EXPECT_EQ(back.Width(), 48);
  EXPECT_EQ(back.Height(), 64);
  // Not a JPEG at all: this road declines, and says nothing of orientation.
  QImage none;
  EXPECT_FALSE(DecodeJpeg(QByteArray("not a picture"), none));
  EXPECT_EQ(JpegExifOrientation(QByteArray("\xFF\xD8\xFF", 3)), 1);
}

TEST(Memory, TooLargeForTheMachineIsRefusedUpFront) {
  const uint64_t gb = 1024ull * 1024 * 1024;
  const struct {
    int w, h;
    double perPixel;
    uint64_t available;
    bool refused;
  } cases[] = {
      {20000, 20000, kTraceBytesPerPixel, 4 * gb, true},   // 400 MP: 9 GB to trace
      {4000, 3000, kTraceBytesPerPixel, 4 * gb, false},    // 12 MP: 0.3 GB
      {20000, 20000, kAdjustBytesPerPixel, 8 * gb, false}, // 4.5 GB to adjust
  };
  for (const auto& c : cases) {
    const std::string s = MemoryRefusal(c.w, c.h, c.perPixel, "trace", c.available);
    EXPECT_EQ(!s.empty(), c.refused) << c.w << "x" << c.h;
    if (c.refused) {
      EXPECT_NE(s.find(std::to_string(c.w) + " x " + std::to_string(c.h)), std::string::npos) << s;
      EXPECT_NE(s.find("8.9 GB"), std::string::npos) << s;
      EXPECT_NE(s.find("4.0 GB"), std::string::npos) << s;
    }
  }
  EXPECT_GT(MachineMemoryBytes(), 64ull * 1024 * 1024);
}

// A zeroed plane reads zero everywhere it was not written, at every size,
// also where the memory was just used and filled by another plane.
TEST(Memory, ZeroPlanesStartZeroAlsoInMemoryUsedBefore) {
  for (const size_t n : {size_t(1), size_t(1000), size_t(3) << 20, size_t(12) << 20}) {
    SCOPED_TRACE(n);
    {
      TPlane<uint32_t> used(n);
      std::fill(used.begin(), used.end(), 0xDEADBEEFu);
    }
    {
      std::vector<uint32_t> small(n / 2 + 1, 0xDEADBEEFu);
    }
    const TZeroPlane<uint32_t> plane(n);
    EXPECT_EQ(std::count(plane.begin(), plane.end(), 0u), std::ptrdiff_t(n));
  }
}
