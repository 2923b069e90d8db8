#pragma once
// Helpers of the window: widget opacity, enabling controls and panels with
// their disabled look.

#include "platform/Types.h"

class QComboBox;
class QIcon;
class QWidget;

namespace karto {

// The opacity a widget is drawn with (1 when never set). Kept as the widget
// property "opacity" so tests can read it, and drawn through a
// QGraphicsOpacityEffect, which is removed again at full opacity.
void SetWidgetOpacity(QWidget* w, double opacity);
double WidgetOpacity(const QWidget* w);

// A small square of a colour, for colour boxes.
QIcon ColorIcon(TAlphaColor c);

// Fills a colour box with the named colours (each item's data its ARGB
// value) and selects color, adding it as "#AARRGGBB" when it has no name.
void FillColorBox(QComboBox* box, TAlphaColor color);
// The colour a colour box shows.
TAlphaColor ColorBoxColor(const QComboBox* box);

// Enables or disables a control; disabled edit fields, tree views and list
// boxes are drawn at opacity 0.6, every other control at 0.4.
void EnableControl(bool value, QWidget* control);

// The same for a panel with a caller-given disabled opacity.
void EnablePanel(bool value, QWidget* panel, float disabledOpacity);


}  // namespace karto
