// Karto's PNG reader on arbitrary bytes: it decodes or declines, and never
// reads or writes out of bounds. Each chunk's checksum is made right
// first, or nearly every mutation would stop at the first checksum.

#include <libdeflate.h>

#include <QByteArray>
#include <QImage>
#include <cstring>

#include "platform/PngRead.h"

using namespace karto;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  static const char kSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
  if (bytes.size() >= 8) std::memcpy(bytes.data(), kSignature, 8);
  auto* p = reinterpret_cast<uint8_t*>(bytes.data());
  for (size_t pos = 8; pos + 12 <= size_t(bytes.size());) {
    const uint32_t length = uint32_t(p[pos]) << 24 | uint32_t(p[pos + 1]) << 16 | uint32_t(p[pos + 2]) << 8 | p[pos + 3];
    if (length > size_t(bytes.size()) - pos - 12) break;
    const uint32_t crc = libdeflate_crc32(0, p + pos + 4, size_t(length) + 4);
    uint8_t* at = p + pos + 8 + length;
    at[0] = uint8_t(crc >> 24);
    at[1] = uint8_t(crc >> 16);
    at[2] = uint8_t(crc >> 8);
    at[3] = uint8_t(crc);
    pos += size_t(length) + 12;
  }
  QImage image;
  if (DecodePng(bytes, image, uint64_t(16) << 20) && (image.isNull() || image.format() != QImage::Format_ARGB32))
    __builtin_trap();  // a success must give a picture in Karto's form
  return 0;
}
