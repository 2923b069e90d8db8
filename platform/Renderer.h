#pragma once
// Draws a display-object tree with QPainter: placement (position, scale,
// rotation), opacity multiplied down the tree, visibility, clipping, and
// each control's own Paint.

#include <QImage>
#include <QPainterPath>
#include <QTransform>

#include "platform/Control.h"
#include "platform/PathData.h"

class QPainter;

namespace karto {

QTransform ToQTransform(const TMatrix& m);
QPainterPath ToQPainterPath(const TPathData& path);
QColor ToQColor(TAlphaColor c);

// Draws control and its visible descendants. The painter's current
// transform is the coordinate system control's parent lives in.
void RenderControl(QPainter& painter, const TControl& control);

// Draws the tree rooted at root (placed by its own position and scale)
// into a new image of width x height filled with background: ARGB, or RGB
// when the background is opaque.
QImage RenderToImage(const TControl& root, int width, int height,
                     TAlphaColor background = 0xFFFFFFFFu);

}  // namespace karto
