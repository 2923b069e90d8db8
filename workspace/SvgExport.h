#pragma once
// Writes the shapes of a 2D view as a standard SVG 1.1 document: the view's
// size as width, height and viewBox, and every visible shape below the view,
// in drawing order, as an SVG element with its placement (position, scale,
// rotation, stretch) applied exactly, its fill and stroke colours with their
// alpha, the opacity it is drawn with, stroke width, caps, joins and dashes.
// Traced output and imported, edited drawings go through the same writer.

#include <string>

#include "platform/Control.h"

namespace karto {

// The SVG text of view (its own width and height; the view's own scale is
// the zoom of the screen and is not part of the drawing). Shapes inside
// invisible controls are left out.
std::string ExportSvg(const TControl& view);

// True when view holds at least one visible shape to export.
bool HasExportableShapes(const TControl& view);

}  // namespace karto
