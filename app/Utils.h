#pragma once
// Helpers of the window: widget opacity, enabling controls and panels with
// their disabled look, and fitting a drawing into an area.

#include "platform/Types.h"

class QWidget;

namespace karto {

// The opacity a widget is drawn with (1 when never set). Kept as the widget
// property "opacity" so tests can read it, and drawn through a
// QGraphicsOpacityEffect, which is removed again at full opacity.
void SetWidgetOpacity(QWidget* w, double opacity);
double WidgetOpacity(const QWidget* w);

// Enables or disables a control; disabled edit fields, tree views and list
// boxes are drawn at opacity 0.6, every other control at 0.4.
void EnableControl(bool value, QWidget* control);

// The same for a panel with a caller-given disabled opacity.
void EnablePanel(bool value, QWidget* panel, float disabledOpacity);

// Where a drawing of srcW x srcH (scaled by scaleX, scaleY) lies in an area
// of dstW x dstH: with keepAspect it is fitted to touch the area on two sides
// with its proportions kept, with center it is centred. Returns left, top,
// right, bottom.
TRectF FitRect(bool center, bool keepAspect, float srcW, float srcH, float dstW, float dstH,
               float scaleX, float scaleY);

}  // namespace karto
