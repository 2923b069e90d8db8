#pragma once
// Pointer input for a display-object tree. The host widget reports press,
// move, release, double click and leave in absolute coordinates (those of
// the root's host, see TControl::SetHostMatrix); the dispatcher finds the
// control under the pointer, converts the point to its local coordinates and
// calls its virtual handlers.
//
// Rules:
// - Hit testing visits children in reverse index order (topmost first),
//   depth-first, so the deepest topmost control wins. A control that is not
//   Visible or not Enabled hides its whole subtree; a control with HitTest
//   false is not hit itself but its children still can be; a control with
//   ClipChildren only passes points inside its rectangle to its children; a
//   control whose placement cannot be inverted (a zero scale) is skipped with
//   its subtree.
// - After a press, every move and the release go to the pressed control
//   (capture), wherever the pointer is. Capture ends with the first release.
// - Without a button held, moves go to the control under the pointer, which
//   first gets MouseEnter (and the previous one MouseLeave).
// - Handlers may free controls, the pressed or hovered one included: the
//   dispatcher holds them through TControlRef and never touches a freed one.
//   If the pressed control is freed before the release, the remaining moves
//   and the release of that press go nowhere.
// - Each call returns the control the event was delivered to, or nullptr.
//   Its handler may have freed it meanwhile: compare the pointer, do not
//   dereference it.

#include "platform/Control.h"

namespace karto {

// The topmost control under an absolute point in the tree of root (root
// itself included), or nullptr. When local is given it receives the point in
// the found control's coordinates.
TControl* ObjectAtPoint(TControl& root, TPointF absolute, TPointF* local = nullptr);

class TPointerDispatcher {
 public:
  TControl* MouseDown(TControl& root, TPointF absolute, TMouseButton button, TShiftState shift);
  TControl* MouseMove(TControl& root, TPointF absolute, TShiftState shift);
  TControl* MouseUp(TControl& root, TPointF absolute, TMouseButton button, TShiftState shift);
  // Called in place of the second press of a double click: a press with
  // ssDouble added (so the release that follows pairs with it), then
  // DblClick on the same control if it is still alive.
  TControl* DblClick(TControl& root, TPointF absolute,
                     TMouseButton button = TMouseButton::mbLeft, TShiftState shift = ssLeft);
  // The pointer left the host: the hovered control gets MouseLeave. A held
  // capture stays (the host keeps reporting moves while a button is down).
  void MouseLeave(TControl& root);

  // Hands the rest of the current press to another control, e.g. a rubber
  // band created by the pressed control's handler. The new control gets no
  // MouseDown; nullptr drops the capture but swallows the rest of the press.
  // Outside a press it does nothing.
  void SetCapture(TControl* control);

  // The control holding the capture, nullptr when none or when it was freed.
  TControl* Captured() const { return m_captured.Get(); }
  // The control under the pointer that last got MouseEnter, nullptr when none.
  TControl* Hovered() const { return m_hovered.Get(); }
  // True between a press and its release.
  bool Pressed() const { return m_pressed; }

 private:
  // Moves hover to target, with MouseLeave / MouseEnter as needed.
  void SetHovered(TControl* target);

  TControlRef m_captured;
  TControlRef m_hovered;
  bool m_pressed = false;
};

}  // namespace karto
