#pragma once
// Shows a trace as vector shapes in a 2D view: a white background and one
// open path shape per traced path, in the colour of the original picture
// and the width of the stroke it came from.

#include "platform/Control.h"

namespace karto {

class TImgTrace;

// Puts a blank white background (not stored, not hit-testable, filling the
// view) on top of whatever the view holds.
void ClearPanel(TControl& oPaintBox2D);

// Sizes the view to the trace (at least 100 x 100) and adds one path shape
// per kept path of at least four points, named "Trace_<n>" (numbers
// the view does not use yet) so that the workspace can select them. Each centre-line point (x, y) is
// drawn at (x + 0.5, y + 0.5), the middle of its pixel, so a traced stroke
// laid over its picture covers the pixels it came from; the shapes are not
// stored and not hit-testable. Nothing happens without paths.
void Draw2DObjects(const TImgTrace& trace, TControl& oPaintBox2D);

}  // namespace karto
