#include "platform/Bitmap.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>
#include <cstdlib>


#include "platform/FileWrite.h"
#include "platform/JpegCodec.h"
#include "platform/Memory.h"
#include "platform/PngRead.h"
#include "platform/PngWrite.h"

namespace karto {

// Large pictures live in memory the kernel may back with 2 MB pages. Warps
// read them along slanted lines, a new row (and a new 4 KB page) every few
// pixels; with small pages most of those reads missed the address cache.
QImage AllocateImage(int width, int height, size_t spare, bool zeroed) {
  const size_t bytes = size_t(width) * size_t(height) * 4;
  if (bytes >= (size_t(8) << 20) || spare > 0) {
    if (void* data = zeroed ? AllocateLargeZeroed(bytes + spare) : AllocateLarge(bytes + spare)) {
      QImage image(static_cast<uchar*>(data), width, height, qsizetype(width) * 4, QImage::Format_ARGB32,
                   [](void* p) { std::free(p); }, data);
      if (!image.isNull()) return image;
      std::free(data);
    }
    if (spare > 0) return QImage();
  }
  QImage image(width, height, QImage::Format_ARGB32);
  if (zeroed) image.fill(0);
  return image;
}

TBitmap::TBitmap(int width, int height) { SetSize(width, height); }

TBitmap::TBitmap(const QImage& image) { SetImage(image); }

void TBitmap::SetImage(QImage image) {
  if (image.format() == QImage::Format_ARGB32) {
    m_image = std::move(image);
  } else if (image.format() == QImage::Format_RGB32) {
    // The same pixels with an opaque alpha byte: taken over as they are
    // (a copy only when the picture is shared).
    m_image = std::move(image);
    m_image.reinterpretAsFormat(QImage::Format_ARGB32);
  } else {
    m_image = image.convertToFormat(QImage::Format_ARGB32);
  }
}

void TBitmap::SetSize(int width, int height) {
  if (width <= 0 || height <= 0) {
    m_image = QImage();
    return;
  }
  // Transparent black from the start: a large picture's fresh memory is
  // zero already, and clearing it again on one core took longer than
  // many a filter that then writes every pixel.
  m_image = AllocateImage(width, height, 0, true);
  if (m_image.isNull()) throw EBitmapError("Not enough memory for a bitmap of " +
                                           std::to_string(width) + " x " + std::to_string(height));
}

void TBitmap::Clear(TAlphaColor c) {
  if (!m_image.isNull()) m_image.fill(c);
}

namespace {

// Whether a JPEG file ends with its end marker (trailing bytes after it
// are allowed): a file cut short loads with its missing rows grey.
bool JpegComplete(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return true;
  const qint64 tail = std::min<qint64>(file.size(), 1 << 16);
  file.seek(file.size() - tail);
  const QByteArray end = file.read(tail);
  return end.contains("\xFF\xD9");
}

}  // namespace

void TBitmap::LoadFromFile(const QString& fileName, std::string* warning) {
  QImageReader reader(fileName);
  reader.setAutoTransform(true);
  // Qt refuses pictures above 256 MB of pixels by default (64 megapixels);
  // scans are often larger. Beyond this a picture is refused with a reason.
  reader.setAllocationLimit(kMaxPictureMegabytes);
  const QByteArray format = reader.format();
  QImage img;
  if (format == "jpeg") {
    // libjpeg-turbo straight into Karto's pixel layout; Qt's reader for what
    // that road leaves (and to say why a file cannot be read).
    const QSize size = reader.size();
    if (size.isValid() && double(size.width()) * size.height() * 4 <= double(kMaxPictureMegabytes) * 1024 * 1024) {
      QFile file(fileName);
      if (file.open(QIODevice::ReadOnly)) DecodeJpeg(file.readAll(), img);
    }
  }
  if (format == "png") {
    // The common kinds through Karto's own reader; the rest through Qt's.
    QFile file(fileName);
    if (file.open(QIODevice::ReadOnly)) DecodePng(file.readAll(), img, uint64_t(kMaxPictureMegabytes) * 1024 * 1024);
  }
  if (img.isNull()) img = reader.read();
  if (img.isNull()) throw EBitmapError(reader.errorString().toStdString());
  if (warning) {
    warning->clear();
    if (format == "jpeg" && !JpegComplete(fileName))
      *warning = QString("The picture %1 is cut short: its lower part is missing and shows grey.")
                     .arg(QFileInfo(fileName).fileName())
                     .toStdString();
  }
  SetImage(std::move(img));
}

void TBitmap::SaveToFile(const QString& fileName) const {
  if (IsEmpty()) throw EBitmapError("The picture is empty.");
  WritePictureFile(m_image, fileName);
}

QImage FlattenedOnto(const QImage& image, TAlphaColor paper) {
  const QImage in = image.convertToFormat(QImage::Format_ARGB32);
  QImage flat(in.size(), QImage::Format_RGB32);
  const uint32_t pr = (paper >> 16) & 0xFF, pg = (paper >> 8) & 0xFF, pb = paper & 0xFF;
  for (int y = 0; y < in.height(); ++y) {
    const uint32_t* src = reinterpret_cast<const uint32_t*>(in.constScanLine(y));
    uint32_t* dst = reinterpret_cast<uint32_t*>(flat.scanLine(y));
    for (int x = 0; x < in.width(); ++x) {
      const uint32_t c = src[x];
      const uint32_t a = c >> 24;
      auto mix = [a](uint32_t ch, uint32_t under) { return (ch * a + under * (255 - a) + 127) / 255; };
      dst[x] = 0xFF000000u | (mix((c >> 16) & 0xFF, pr) << 16) | (mix((c >> 8) & 0xFF, pg) << 8) | mix(c & 0xFF, pb);
    }
  }
  return flat;
}

void TBitmap::FlattenOnto(TAlphaColor paper) {
  // Loaded pictures carry an alpha channel even when every pixel is opaque;
  // those have nothing to flatten.
  if (!IsEmpty() && m_image.hasAlphaChannel() && !AllOpaque(m_image)) SetImage(FlattenedOnto(m_image, paper));
}

namespace {

// The format fileName's extension names; EBitmapError for a format Karto
// does not write and for an empty picture.
const char* PictureFormat(const QImage& image, const QString& fileName) {
  const QString ext = QFileInfo(fileName).suffix().toLower();
  const char* format = nullptr;
  if (ext == "bmp") format = "BMP";
  else if (ext == "jpg" || ext == "jpeg") format = "JPG";
  else if (ext == "png") format = "PNG";
  if (!format) throw EBitmapError("Unknown picture format: ." + ext.toStdString());
  if (image.isNull()) throw EBitmapError("The picture is empty.");
  return format;
}

}  // namespace

void EncodePicture(const QImage& image, const QString& fileName, QIODevice& device) {
  const char* format = PictureFormat(image, fileName);
  if (format[0] == 'J' && (image.width() > 65500 || image.height() > 65500))
    throw EBitmapError("A JPEG picture cannot be larger than 65,500 pixels a side.");
  const QString ext = QFileInfo(fileName).suffix().toLower();
  // JPEG and BMP have no use for alpha; flatten onto white so that
  // transparent areas do not turn black.
  if (ext == "png") {
    // Karto's own writer: several times faster than Qt's on large
    // pictures, files no larger than Qt's default.
    const QByteArray png = EncodePng(image);
    if (png.isEmpty() || device.write(png) != png.size())
      throw EBitmapError(png.isEmpty() ? "The picture cannot be encoded as PNG." : device.errorString().toStdString());
    return;
  }
  // JPEG and BMP have no use for alpha; flatten onto white so that
  // transparent areas do not turn black.
  const QImage out = AllOpaque(image) ? image : FlattenedOnto(image, TAlphaColors::White);
  // JPEG at Qt's default quality: a photo's file is a quarter of one at
  // quality 95, and the difference is hard to see.
  if (format[0] == 'J') {
    const QByteArray jpeg = EncodeJpeg(out, 75);
    if (!jpeg.isEmpty()) {
      if (device.write(jpeg) != jpeg.size()) throw EBitmapError(device.errorString().toStdString());
      return;
    }
  }
  if (!out.save(&device, format, -1))
    throw EBitmapError(QString("The picture cannot be encoded as %1.").arg(format).toStdString());
}

void WritePictureFile(const QImage& image, const QString& fileName) {
  // Written to a temporary file and renamed at the end, so a failed save
  // never leaves half a picture or destroys the previous file.
  QString refused;
  const QString target = WriteTarget(fileName, &refused);
  if (target.isEmpty()) throw EBitmapError(refused.toStdString());
  PictureFormat(image, fileName);  // before anything is opened
  QSaveFile file(target);
  if (!file.open(QIODevice::WriteOnly))
    throw EBitmapError(file.errorString().toStdString());
  try {
    EncodePicture(image, fileName, file);
  } catch (const EBitmapError&) {
    file.cancelWriting();
    throw;
  }
  if (!file.commit())
    throw EBitmapError(file.errorString().toStdString());
}

bool TBitmap::operator==(const TBitmap& o) const {
  if (Width() != o.Width() || Height() != o.Height()) return false;
  for (int y = 0; y < Height(); ++y)
    for (int x = 0; x < Width(); ++x)
      if (ScanLine(y)[x] != o.ScanLine(y)[x]) return false;
  return true;
}

}  // namespace karto
