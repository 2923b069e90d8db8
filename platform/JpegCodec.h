#pragma once
// JPEG through libjpeg-turbo's own interface: pixels are decoded straight
// into Karto's 32-bit layout and encoded from it, with the library's SIMD
// colour conversion, about twice as fast as going through Qt's image
// plug-in. What this road does not handle (CMYK pictures, pictures the EXIF
// data asks to turn, broken files) is left to Qt's reader, which the caller
// falls back to.

#include <QByteArray>
#include <QImage>

namespace karto {

// The orientation an EXIF block in a JPEG file asks for (1 to 8), 1 when
// there is none.
int JpegExifOrientation(const QByteArray& bytes);

// Decodes a JPEG file into an ARGB32 picture; false when this road cannot
// (the caller then uses Qt's reader). A file that ends early decodes with
// its missing part grey, as Qt's reader does.
bool DecodeJpeg(const QByteArray& bytes, QImage& out);

// Encodes an opaque picture (ARGB32 or RGB32; alpha ignored) at quality
// 1-100 with 4:2:0 chroma, as Qt's writer does by default; empty on failure.
QByteArray EncodeJpeg(const QImage& image, int quality = 75);

}  // namespace karto
