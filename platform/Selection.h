#pragma once
// Interactive frames of the 2D view. A TSelection is a rectangle the user
// moves by dragging its body and resizes by dragging one of its four corner
// grips; a TSelectionPoint is a single grip the user drags around. Both take
// their input from TPointerDispatcher (local coordinates) and report through
// OnTrack while the drag goes on and OnChange once it has ended.
//
// Geometry is in the control's local units: grips are circles of radius
// GripSize around the corners, so they grow with the scale of the control
// and its ancestors like everything else drawn in the view.

#include "platform/Control.h"

namespace karto {

enum class TGrip { grLeftTop, grRightTop, grLeftBottom, grRightBottom, grNone };

class TSelection : public TControl {
 public:
  // The smallest width and height a grip drag leaves, in local units. Not
  // zero, so a frame keeps an inside; code may still set a smaller size.
  static constexpr float MinSize = 1;

  explicit TSelection(TControl* owner = nullptr) : TControl(owner) {}
  const char* ClassName() const override { return "TSelection"; }

  // Radius of the grip circles in local units; values below 1 become 1.
  float GripSize() const { return m_gripSize; }
  void SetGripSize(float size);
  // When set, Paint draws nothing; the frame still takes input.
  bool HideSelection() const { return m_hideSelection; }
  void SetHideSelection(bool hide);
  // When set, a grip drag keeps the ratio of width to height the frame had
  // when the drag began (a frame with a zero side resizes freely).
  bool Proportional() const { return m_proportional; }
  void SetProportional(bool p) { m_proportional = p; }

  // The grip under the pointer (or being dragged), grNone when none; Paint
  // draws it highlighted.
  TGrip HotGrip() const { return m_hotGrip; }
  // The corner a grip sits on, in local coordinates.
  TPointF GripCenter(TGrip grip) const;
  // The grip whose circle holds a local point, the nearest one where circles
  // overlap; grNone when none.
  TGrip GripAt(TPointF local) const;

  // Fired on every pointer move while the frame is being moved or resized.
  TNotifyEvent OnTrack;
  // Fired once on release when the drag changed the position or size. It
  // runs last, so it may free the frame.
  TNotifyEvent OnChange;

  // The local rectangle plus the grip circles, which reach outside it.
  bool PointInObject(TPointF local) const override;
  // A thin frame and the four grips as circles, the hot one filled.
  void Paint(QPainter& painter) override;

  // A left press on a grip starts a resize, elsewhere inside a move.
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  // Drags, or without a drag updates the hot grip.
  void MouseMove(TShiftState shift, float x, float y) override;
  // Ends the drag, fires OnMouseUp and then OnChange. Subclasses that
  // override it call this one to end the drag.
  void MouseUp(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseLeave() override;

 private:
  enum class TDrag { None, Move, Resize };

  void SetHotGrip(TGrip grip);
  // Applies the pointer moved to parentPoint (parent coordinates).
  void Track(TPointF parentPoint);

  float m_gripSize = 3;
  bool m_hideSelection = false;
  bool m_proportional = false;
  TGrip m_hotGrip = TGrip::grNone;

  // The drag in progress: what it does, where it began (parent coordinates)
  // and the frame as it was then.
  TDrag m_drag = TDrag::None;
  TGrip m_dragGrip = TGrip::grNone;
  TPointF m_downPoint;
  TPointF m_startPosition;
  float m_startWidth = 0;
  float m_startHeight = 0;
};

// A single draggable grip: Position is the point, drawn and hit as a circle
// of radius GripSize around local (0, 0). Its size stays zero.
class TSelectionPoint : public TControl {
 public:
  explicit TSelectionPoint(TControl* owner = nullptr) : TControl(owner) {}
  const char* ClassName() const override { return "TSelectionPoint"; }

  // Radius in local units; values below 1 become 1.
  float GripSize() const { return m_gripSize; }
  void SetGripSize(float size);
  // Whether the pointer is over the point (or dragging it).
  bool IsHot() const { return m_hot; }

  // Fired on every pointer move while the point is dragged.
  TNotifyEvent OnTrack;
  // Fired once on release when the drag moved the point; it runs last, so it
  // may free the point.
  TNotifyEvent OnChange;

  bool PointInObject(TPointF local) const override;
  void Paint(QPainter& painter) override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseMove(TShiftState shift, float x, float y) override;
  void MouseUp(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseEnter() override;
  void MouseLeave() override;

 private:
  void SetHot(bool hot);

  float m_gripSize = 3;
  bool m_hot = false;
  bool m_dragging = false;
  TPointF m_downPoint;  // parent coordinates
  TPointF m_startPosition;
};

}  // namespace karto
