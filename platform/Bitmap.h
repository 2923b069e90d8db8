#pragma once
// A pixel bitmap: one uint32_t $AARRGGBB per pixel over a QImage in
// Format_ARGB32. Reads outside the bitmap give 0, writes outside are ignored.
// Loops that visit every pixel use ScanLine() and the unchecked accessors.

#include <QImage>
#include <QString>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/Types.h"

class QIODevice;

namespace karto {

// An ARGB32 picture of width x height, rows of exactly 4 x width bytes, its
// pixels not set (or all 0 when zeroed); large ones in memory the kernel
// may back with 2 MB pages. spare bytes more lie past the last row for the
// caller's own use while it fills the picture (the PNG reader inflates into
// them). Null when there is no memory.
QImage AllocateImage(int width, int height, size_t spare = 0, bool zeroed = false);

// Raised by LoadFromFile and SaveToFile; what() says what failed and why.
class EBitmapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TBitmap {
 public:
  // The largest picture LoadFromFile decodes, in megabytes of ARGB pixels
  // (about 400 megapixels).
  static constexpr int kMaxPictureMegabytes = 1600;

  TBitmap() = default;
  TBitmap(int width, int height);
  explicit TBitmap(const QImage& image);

  int Width() const { return m_image.width(); }
  int Height() const { return m_image.height(); }
  bool IsEmpty() const { return m_image.isNull() || Width() == 0 || Height() == 0; }

  // Resizes to width x height, filled with transparent black; a size of zero
  // (or below) empties the bitmap.
  void SetSize(int width, int height);

  // Checked per-pixel access: outside the bitmap a read gives 0 and a write
  // is ignored.
  TAlphaColor Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return 0;
    return ScanLine(y)[x];
  }
  void SetPixel(int x, int y, TAlphaColor c) {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return;
    ScanLine(y)[x] = c;
  }

  // Raw rows for loops; the caller keeps x and y inside the bitmap.
  uint32_t* ScanLine(int y) { return reinterpret_cast<uint32_t*>(m_image.scanLine(y)); }
  const uint32_t* ScanLine(int y) const {
    return reinterpret_cast<const uint32_t*>(m_image.constScanLine(y));
  }
  // The first row, for loops that address rows as Bits() + y * Stride().
  // Taken once before work is split across threads: ScanLine() of a
  // non-const bitmap may detach shared pixels and must not race.
  uint32_t* Bits() { return reinterpret_cast<uint32_t*>(m_image.bits()); }
  const uint32_t* Bits() const { return reinterpret_cast<const uint32_t*>(m_image.constBits()); }
  // Distance in pixels between the starts of two rows.
  int Stride() const { return int(m_image.bytesPerLine() / 4); }

  // Copies size and pixels.
  void Assign(const TBitmap& other) { m_image = other.m_image; }
  void Clear(TAlphaColor c);

  // Decodes a BMP, JPEG or PNG file; throws EBitmapError when it cannot.
  // The bitmap is unchanged after a failure.
  // EBitmapError with the reason when the file cannot be read. warning,
  // when given, gets a sentence about a picture that loaded but not whole
  // (a JPEG cut short), else is cleared.
  void LoadFromFile(const QString& fileName, std::string* warning = nullptr);
  // Encodes by the file name's extension (.bmp, .jpg, .jpeg, .png), writing
  // the whole file or nothing; throws EBitmapError with the reason.
  void SaveToFile(const QString& fileName) const;

  const QImage& Image() const { return m_image; }
  void SetImage(QImage image);
  // Lays the picture on opaque paper: what was transparent shows the paper,
  // half-transparent pixels mix with it. Pictures without alpha stay.
  void FlattenOnto(TAlphaColor paper);

  bool operator==(const TBitmap& o) const;

 private:
  QImage m_image;
};

// image laid on opaque paper (see TBitmap::FlattenOnto), as RGB32.
QImage FlattenedOnto(const QImage& image, TAlphaColor paper);

// Encodes image into device in the format fileName's extension names
// (.png, .jpg or .bmp); EBitmapError with the reason when it cannot.
void EncodePicture(const QImage& image, const QString& fileName, QIODevice& device);

// Writes image to fileName (.png, .jpg or .bmp by its extension) whole or
// not at all, as TBitmap::SaveToFile does, through symbolic links, never
// over anything but a regular file; EBitmapError with the reason (not the
// file's name) on failure.
void WritePictureFile(const QImage& image, const QString& fileName);

}  // namespace karto
