#pragma once
// The centre-line engine: line art traced into strokes (smooth centre lines,
// each with one width and one colour) and fills (areas too wide or too round
// to be strokes, as outlines with their holes). It works beside the stroke
// follower (TImgTrace) on the same pictures: the prepared picture decides
// what is ink, the origin picture gives the colours.
//
// The stages, and what each guarantees to the next:
//  1. Ink: a pixel is ink when its grey (strong colour counting as dark,
//     alpha composited onto white, the paper's own level divided out) is
//     below Threshold. Ink areas of fewer than SpeckSize pixels are dropped.
//  2. Distance: for every ink pixel the exact Euclidean distance to the
//     nearest paper pixel (the picture's border counts as paper).
//  3. Skeleton: ink thinned to 8-connected lines one pixel wide that keep
//     the ink's connections (no line breaks where the ink is connected).
//  4. Fills: ink thicker than MaxStrokeWidth (the pixels within reach of the
//     centres of the widest disks that fit) splits off as a fill, with the
//     leftover pieces of ink that never leave it (the sharp corners of its
//     outline), and an ink area whose skeleton is no longer than the area is
//     thick (a dot) is a fill; fill pixels take no further part in strokes.
//     A darker ring round a fill's inside (a shape drawn with an outline)
//     becomes a closed stroke along the ring's middle, after the others.
//  5. Graph: the skeleton cut at its ends and junctions into chains; spurs
//     (end chains shorter than the ink is thick at their junction) and the
//     mitred tips of sharp bends removed.
//  6. Strokes: at a junction the two chains that continue each other most
//     nearly straight, of one hue and like thickness, join into one stroke
//     (an X gives two strokes, a T a through stroke and one that ends on
//     it). A stroke whose colour or thickness changes for good along it is
//     cut there (two inks touching end to end thin into one line).
//  7. Width and colour per stroke: the ink measured across its centre line
//     (median), the colour of its fully inked middle over the paper's.
//     Through a junction the line bridges the junction's blob straight;
//     free ends run on straight to where the ink ends, less half a width,
//     and ends at a junction straight to its middle.
//  8. Curves: each stroke's centre line fitted by cubic Béziers within
//     CurveTolerance, split at corners sharper than CornerAngle (or than
//     35 degrees between straight stretches); a corner goes back to where
//     the stretches either side meet (thinning cuts its tip off), and a
//     stretch within half the tolerance of its chord is one straight
//     curve. A closed line without corners is fitted round without a seam.

#include <functional>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/PathData.h"

namespace karto {

struct TCentrelineParams {
  // Grey level (0-255) below which a pixel is ink.
  int Threshold = 128;
  // How far a fitted curve may lie from the traced centre line, in pixels.
  float CurveTolerance = 0.8f;
  // Strokes shorter than this (pixels) are dropped.
  float MinStrokeLength = 3;
  // Ink areas of fewer pixels than this are specks and dropped; paper
  // enclosed by ink in fewer pixels is a pinhole and counts as ink.
  int SpeckSize = 6;
  // Ink wider than this (pixels, at most 500) is a fill, not a stroke.
  float MaxStrokeWidth = 16;
  // A centre line turning more sharply than this (degrees) has a corner.
  float CornerAngle = 60;
  // Divide out the paper's own level first, so that paper lit unevenly or
  // shadowed counts as paper everywhere.
  bool EvenPaper = true;
  // List which stroke or fill took each ink pixel (ClaimPixels and
  // ClaimOwners), for showing the trace over the picture; a command that
  // only writes the drawing leaves it out and saves a pass over the ink.
  bool Claims = true;
};

struct TCentrelineStroke {
  TPathData Path;  // in picture pixels, (0, 0) the top-left corner of the picture
  float Width = 1;
  TAlphaColor Color = 0xFF000000u;
};

struct TCentrelineFill {
  TPathData Outline;  // closed figures; holes inside (even-odd)
  TAlphaColor Color = 0xFF000000u;
};

struct TCentrelineDrawing {
  int Width = 0, Height = 0;
  std::vector<TCentrelineStroke> Strokes;
  std::vector<TCentrelineFill> Fills;
  // Which stroke or fill took each ink pixel, for showing the trace over
  // the picture. ClaimPixels holds y * Width + x in ascending order;
  // ClaimOwners the stroke's index, or Strokes.size() + the fill's index,
  // with kCentreClaim set on the pixels the centre line runs through. Ink
  // that no kept stroke or fill reaches is not listed. Empty unless
  // Params.Claims.
  static constexpr uint32_t kCentreClaim = 0x80000000u;
  std::vector<int32_t> ClaimPixels;
  std::vector<uint32_t> ClaimOwners;
  // What the stages found and what they took (milliseconds).
  long long InkPixels = 0;
  int Points = 0;
  double MsInk = 0, MsDistance = 0, MsSkeleton = 0, MsGraph = 0, MsFit = 0;
};

// The owner (without kCentreClaim) of the claimed pixel at (x, y), or -1.
long long ClaimOwnerAt(const TCentrelineDrawing& drawing, int x, int y);

// Traces picture (colours from colours, the same size; picture itself when
// colours is empty). progress, when given, receives 0-100 as stages end.
TCentrelineDrawing TraceCentrelines(const TBitmap& picture, const TBitmap& colours, const TCentrelineParams& params,
                                    const std::function<void(int)>& progress = {});

}  // namespace karto
