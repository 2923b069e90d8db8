#pragma once
// A centre-line drawing as shapes of a 2D view: one path shape per fill
// (filled, even-odd, no stroke) and per stroke (unfilled, its width and
// colour, round caps and joins), named "Fill_<n>" and "Stroke_<n>", in
// picture coordinates. The view takes the picture's size. Exported, the
// shapes give the drawing's SVG; rendered, its preview.

#include "platform/Control.h"
#include "trace/CentrelineTrace.h"

namespace karto {

void DrawCentrelineShapes(const TCentrelineDrawing& drawing, TControl& view);

}  // namespace karto
