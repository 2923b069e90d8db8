#pragma once
// A PNG writer for Karto's own pictures (8-bit RGB, or RGBA when a pixel is
// not opaque). It filters each row with the filter that leaves the smallest
// residues and compresses bands of rows on all cores at once; the bands form
// one zlib stream, as a PNG needs (each band's compressor is primed with the
// end of the band before, so the file is barely larger than one compressed
// in one piece). Large photos are written several times faster than by Qt's
// writer, in files no larger than those of its default setting.

#include <QByteArray>
#include <QImage>

namespace karto {

// Whether every pixel of image is opaque (true for formats without alpha).
bool AllOpaque(const QImage& image);

// The PNG file of image (any format; converted to ARGB32 first when it is
// another). level is zlib's compression level, 1 to 9.
QByteArray EncodePng(const QImage& image, int level = 3);

}  // namespace karto
