#pragma once
// SVG path data ("d" attribute) into TPathData, and the SVG elliptical arc.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/PathData.h"

namespace karto {

// Where and why path data broke off. Offset is a byte offset into the text;
// Message is a short sentence for the user, e.g.
// Path data: number expected after "L" at offset 12.
struct TPathDataError {
  bool Present = false;
  size_t Offset = 0;
  std::string Message;
};

// Appends the geometry of SVG path data to path, in one pass over the text.
//
// Grammar: the commands M m L l H h V v C c S s Q q T t A a Z z; parameter
// groups repeat without the letter (pairs after M/m are L/l); numbers as
// ReadNumber reads them, so "1e-5" has an exponent and ".5.5" and "10-5" are
// two numbers each; separators are white space and at most one comma between
// numbers or groups; arc flags are the single characters "0" and "1" and need
// no separator ("a1 1 0 00 1 1" and "a1,1,0,0,1,1,1" are both whole arcs). A
// leading "m" is absolute.
//
// Geometry: every subpath stays in this one path (holes remain holes). After
// Z/z the current point is the start of the closed subpath, so relative
// commands count from there, and a drawing command after Z/z starts a new
// subpath there with a MoveTo of its own; a Z right after a Z adds nothing.
// S/s reflect the previous second control point only after C/c/S/s, T/t the
// previous quadratic control point only after Q/q/T/t, else the control point
// is the current point. Quadratics go in through TPathData::QuadCurveTo (as
// cubics). Arcs go through AddSVGArc.
//
// Errors: at the first unknown command letter, missing or invalid number,
// flag other than 0/1, or text not starting with M/m, parsing stops. The
// segments before the broken one are kept, error (when given) gets the byte
// offset and a message, and the result is false; after a success error is
// cleared. Empty or blank text is valid and appends nothing.
bool ParseSVGPathData(std::string_view d, TPathData& path, TPathDataError* error = nullptr);

// One SVG elliptical arc from the current point 'from' to 'to', appended as
// cubic segments of at most 90 degrees each (no MoveTo is added). As SVG's
// implementation notes say: the radii count by their absolute values; a zero
// radius gives a straight line to 'to'; 'to' equal to 'from' gives nothing;
// radii too small to reach 'to' are scaled up just enough. The x-axis
// rotation is in degrees. The arc is computed in double precision and ends
// exactly at 'to'. Non-finite input gives a straight line.
void AddSVGArc(TPathData& path, TPointF from, float rx, float ry, float xAxisRotationDegrees, bool largeArc,
               bool sweep, TPointF to);

}  // namespace karto
