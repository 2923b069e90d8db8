#include "platform/JpegCodec.h"

#include <QSysInfo>
#include <turbojpeg.h>

#include <algorithm>

#include <memory>

namespace karto {

namespace {

struct TjHandle {
  explicit TjHandle(tjhandle h) : handle(h) {}
  ~TjHandle() {
    if (handle) tjDestroy(handle);
  }
  tjhandle handle;
};

uint16_t Get16(const uint8_t* p, bool bigEndian) { return bigEndian ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]); }
uint32_t Get32(const uint8_t* p, bool bigEndian) {
  return bigEndian ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                   : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

// The orientation tag of a TIFF block (an EXIF payload after "Exif\0\0").
int TiffOrientation(const uint8_t* t, size_t size) {
  if (size < 8) return 1;
  const bool big = t[0] == 'M' && t[1] == 'M';
  if (!big && !(t[0] == 'I' && t[1] == 'I')) return 1;
  const uint32_t ifd = Get32(t + 4, big);
  if (ifd + 2 > size) return 1;
  const unsigned entries = Get16(t + ifd, big);
  for (unsigned i = 0; i < entries; ++i) {
    const size_t e = ifd + 2 + size_t(i) * 12;
    if (e + 12 > size) return 1;
    if (Get16(t + e, big) == 0x0112) {
      const int v = Get16(t + e + 8, big);
      return v >= 1 && v <= 8 ? v : 1;
    }
  }
  return 1;
}

}  // namespace

int JpegExifOrientation(const QByteArray& bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData());
  const size_t n = size_t(bytes.size());
  if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return 1;
  size_t at = 2;
  // Markers up to the start of the picture data.
  while (at + 4 <= n && p[at] == 0xFF) {
    const uint8_t marker = p[at + 1];
    if (marker == 0xDA || marker == 0xD9) break;
    const size_t length = size_t(p[at + 2]) << 8 | p[at + 3];
    if (length < 2 || at + 2 + length > n) break;
    if (marker == 0xE1 && length >= 8 && std::equal(p + at + 4, p + at + 10, "Exif\0\0"))
      return TiffOrientation(p + at + 10, length - 8);
    at += 2 + length;
  }
  return 1;
}

bool DecodeJpeg(const QByteArray& bytes, QImage& out) {
  if (QSysInfo::ByteOrder != QSysInfo::LittleEndian) return false;
  if (bytes.size() < 4 || JpegExifOrientation(bytes) != 1) return false;
  TjHandle tj(tjInitDecompress());
  if (!tj.handle) return false;
  auto* data = reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.constData()));
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(tj.handle, data, static_cast<unsigned long>(bytes.size()), &width, &height, &subsampling,
                          &colorspace) != 0)
    return false;
  if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK || width <= 0 || height <= 0) return false;
  QImage img(width, height, QImage::Format_ARGB32);
  if (img.isNull()) return false;
  // BGRA in memory is ARGB32 on little-endian machines; the alpha byte comes
  // out opaque.
  const int rc = tjDecompress2(tj.handle, data, static_cast<unsigned long>(bytes.size()), img.bits(), width,
                               int(img.bytesPerLine()), height, TJPF_BGRA, 0);
  if (rc != 0 && tjGetErrorCode(tj.handle) != TJERR_WARNING) return false;
  out = std::move(img);
  return true;
}

QByteArray EncodeJpeg(const QImage& image, int quality) {
  if (QSysInfo::ByteOrder != QSysInfo::LittleEndian) return {};
  if (image.isNull() || (image.format() != QImage::Format_ARGB32 && image.format() != QImage::Format_RGB32)) return {};
  TjHandle tj(tjInitCompress());
  if (!tj.handle) return {};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(tj.handle, image.constBits(), image.width(), int(image.bytesPerLine()), image.height(),
                             TJPF_BGRX, &buffer, &size, TJSAMP_420, quality, 0);
  QByteArray jpeg;
  if (rc == 0 && buffer) jpeg = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(size));
  tjFree(buffer);
  return jpeg;
}

}  // namespace karto
