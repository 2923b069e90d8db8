#pragma once
// The two frames the 2D workspace lays over the shapes: the rubber band the
// user drags across empty space to select what lies inside, and the
// coordinate-system frame of the Normalize dialog (origin, x axis and y axis,
// with three grips). Both move and resize like any TSelection; they only
// draw themselves differently and can report the release of the mouse
// button to whoever made them.

#include "platform/Selection.h"

namespace karto {

// Colours of both overlays.
constexpr TAlphaColor kOverlayLineColor = 0xFF1072C5u;
constexpr TAlphaColor kOverlayGripColor = 0xFFFFFFFFu;
constexpr TAlphaColor kOverlayHotGripColor = 0xFFFF0000u;
constexpr TAlphaColor kOverlayDisabledGripColor = 0xFF808080u;

// The fill of a grip: red while hot, white otherwise, grey when disabled.
TAlphaColor OverlayGripColor(bool enabled, bool hot);

// A selection frame that can report the release of the mouse button to
// whoever made it: the common part of both overlays.
class TReportingSelection : public TSelection {
 public:
  using TSelection::TSelection;

  // When set, a release over the frame goes here, with the point in the
  // coordinates of the frame's parent, instead of ending a move or resize.
  // A handler of its own, apart from the mouse-up every control has.
  TMouseEvent OnMouseUp;

  void MouseUp(TMouseButton button, TShiftState shift, float x, float y) override;
};

class TInBoxSelection : public TReportingSelection {
 public:
  using TReportingSelection::TReportingSelection;
  const char* ClassName() const override { return "TInBoxSelection"; }
  // A dashed frame, not filled, with grips at the left-top and right-bottom
  // corners only.
  void Paint(QPainter& painter) override;
};

class TCoordSystemSelection : public TReportingSelection {
 public:
  using TReportingSelection::TReportingSelection;
  const char* ClassName() const override { return "TCoordSystemSelection"; }
  // Two dashed axes from the left-top origin, along the top edge and down
  // the left edge, with grips at the origin and at both axis ends.
  void Paint(QPainter& painter) override;
};

}  // namespace karto
