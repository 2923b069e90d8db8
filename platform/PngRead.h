#pragma once
// A PNG reader for the files Karto meets most and largest: 8 bits a channel,
// not interlaced, grey, grey with alpha, RGB, RGBA or a palette. The image
// data is inflated in one piece with libdeflate (about three times zlib's
// speed), the rows' filters undone in place, and the pixels laid out in
// Karto's 32-bit form on all cores; a 12-megapixel line drawing loads in
// well under half the time Qt's plug-in takes. Anything else (16 bits or
// fewer than 8, interlaced, transparency keyed to one colour, orientation
// data, a damaged file) is left to Qt's reader, which the caller falls back
// to and which then also says what is wrong with a broken file.

#include <QByteArray>
#include <QImage>

#include <cstdint>

namespace karto {

// Decodes a PNG file into an ARGB32 picture (not premultiplied); false when
// this road cannot, or when the picture would take more than maxBytes.
bool DecodePng(const QByteArray& bytes, QImage& out, uint64_t maxBytes);

}  // namespace karto
