#pragma once
// Line art with known strokes, for measuring how faithfully a trace follows
// a drawing: straight and curved strokes of known width and colour (some
// crossing, some meeting in T-junctions and corners), dots and filled
// shapes, drawn anti-aliased or hard-edged, in black or in colours, on white
// paper or on photographed paper (unevenly lit, grainy, saved as JPEG).
// The same seed gives the same picture on every machine.

#include <QImage>
#include <QPainterPath>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "trace/CentrelineTrace.h"

namespace karto::lineart {

struct TKnownStroke {
  QPainterPath Path;  // the centre line
  float Width = 1;
  TAlphaColor Color = 0xFF000000u;
};

struct TKnownFill {
  QPainterPath Shape;
  TAlphaColor Color = 0xFF000000u;
};

struct TStyle {
  bool Antialiased = true;
  bool Coloured = false;
  bool Photographed = false;
  // Photographed in poor light: the paper falls to a grey darker than the
  // usual ink threshold in the far corner, with a shadow along one side.
  bool Shadowed = false;
};

struct TLineArt {
  std::string Name;
  TBitmap Picture;  // what a user would load
  QImage Clean;     // the same drawing on white, anti-aliased: what ink there is
  std::vector<TKnownStroke> Strokes;
  std::vector<TKnownFill> Fills;
};

// A drawing of about `strokes` strokes 1 to 12 pixels wide plus a few dots
// and filled shapes.
TLineArt MakeLineArt(int width, int height, int strokes, const TStyle& style, uint32_t seed);

// Dark pixels (grey below 128 on white) of a and b, intersection over union.
double DarkIoU(const QImage& a, const QImage& b);

// How a traced drawing, given as centre lines with widths and colours,
// matches the known strokes: for each known stroke of 2 to 12 pixels whose
// middle is at least a width away from every other stroke, the traced stroke
// passing nearest its middle (within half its width), the largest width
// difference and the largest colour difference (per channel) among them,
// and how many were found.
struct TTracedStroke {
  std::vector<QPointF> Points;  // the centre line, flattened
  float Width = 1;
  TAlphaColor Color = 0;
};
struct TStrokeMatch {
  int Measured = 0, Found = 0;
  double WorstWidth = 0, MeanWidth = 0;
  int WorstColour = 0;
};
TStrokeMatch MatchStrokes(const TLineArt& art, const std::vector<TTracedStroke>& traced);

// A centre-line drawing's strokes, flattened, for MatchStrokes.
std::vector<TTracedStroke> TracedStrokes(const TCentrelineDrawing& drawing);

}  // namespace karto::lineart
