#pragma once
// A text element laid out as glyph outlines (see SVGTextLayout.cpp).

#include <QPainterPath>
#include <vector>

#include "svg/SVG.h"

namespace karto {

// Outlines of characters painted as one element paints them: the glyphs of
// a text or a tspan, or the decoration lines an element declares.
struct TTextPiece {
  const TSVGBasic* Owner;
  QPainterPath Outline;  // in the text element's user coordinates
};

// The pieces of text in painting order; empty when nothing shows. box, when
// given, gets the text's bounding box: the bounds of its glyph outlines
// (decorations left out), the box paint servers and clip paths in bounding
// box units are laid on.
std::vector<TTextPiece> LayoutText(const TSVGText& text, QRectF* box = nullptr);

}  // namespace karto
