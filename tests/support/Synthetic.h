#pragma once
// Generated pictures for tests, benchmarks and the shipped samples: the same
// seed gives the same picture on every machine.

#include <cstdint>

#include "platform/Bitmap.h"

namespace karto::synthetic {

// A colourful photo-like picture: smooth gradients, soft blobs, a few hard
// edges and sensor noise.
TBitmap PhotoLike(int width, int height, uint32_t seed = 1);

// A photographed line drawing: paper lit unevenly (brighter in one corner),
// fine grain, and anti-aliased dark ink strokes 1 to 6 pixels wide, straight
// and curved.
TBitmap LineDrawingPhoto(int width, int height, uint32_t seed = 1);

// Pure white with `strokes` black polyline strokes 1 to 6 pixels wide, not
// anti-aliased: clean line art.
TBitmap StrokesOnWhite(int width, int height, int strokes, uint32_t seed = 1);

// A small line drawing (a house under a sun, a tree, a fence, a path and a
// few hand-written strokes), scaled to the picture, drawn onto an existing
// picture with the given ink and pen widths 2 to 5 (times scale).
void DrawHouse(TBitmap& picture, TAlphaColor ink, bool antialias);

}  // namespace karto::synthetic
