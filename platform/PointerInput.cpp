#include "platform/PointerInput.h"

namespace karto {

namespace {

// parentAbs maps the coordinates of control's parent to absolute ones.
TControl* HitTestTree(TControl& control, const TMatrix& parentAbs, TPointF absolute,
                      TPointF* local) {
  if (!control.Visible() || !control.Enabled()) return nullptr;
  const TMatrix abs = control.LocalMatrix() * parentAbs;
  if (abs.Determinant() == 0) return nullptr;  // nothing on screen to hit
  const TPointF p = abs.Inverse().Transform(absolute);

  if (!control.ClipChildren() || control.LocalRect().Contains(p)) {
    const auto& children = control.ChildList();
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      if (TControl* hit = HitTestTree(**it, abs, absolute, local)) return hit;
  }
  if (control.HitTest() && control.PointInObject(p)) {
    if (local) *local = p;
    return &control;
  }
  return nullptr;
}

// Whether control and its ancestors are enabled; a disabled pressed control
// gets no more events.
bool Reachable(const TControl* c) { return c && c->AbsoluteEnabled(); }

}  // namespace

TControl* ObjectAtPoint(TControl& root, TPointF absolute, TPointF* local) {
  // root may be a subtree: its parent's placement leads to absolute space.
  const TMatrix parentAbs = root.Parent() ? root.Parent()->GetAbsoluteMatrix() : root.HostMatrix();
  return HitTestTree(root, parentAbs, absolute, local);
}

void TPointerDispatcher::SetHovered(TControl* target) {
  TControl* old = m_hovered.Get();
  if (old == target) return;
  const TControlRef keep(target);
  m_hovered = TControlRef();
  if (old) old->MouseLeave();
  // The leave handler may have freed the new target.
  if (TControl* t = keep.Get()) {
    m_hovered = keep;
    t->MouseEnter();
  }
}

TControl* TPointerDispatcher::MouseDown(TControl& root, TPointF absolute, TMouseButton button,
                                        TShiftState shift) {
  if (m_pressed) {
    // Another button while one is held: it belongs to the same press.
    TControl* c = m_captured.Get();
    if (!Reachable(c)) return nullptr;
    const TPointF p = c->AbsoluteToLocal(absolute);
    c->MouseDown(button, shift, p.X, p.Y);
    return c;
  }
  TPointF p;
  TControl* target = ObjectAtPoint(root, absolute, &p);
  SetHovered(target);
  // The enter handler may have freed the target.
  if (!target || m_hovered.Get() != target) return nullptr;
  m_pressed = true;
  m_captured = TControlRef(target);
  target->MouseDown(button, shift, p.X, p.Y);
  return target;
}

TControl* TPointerDispatcher::MouseMove(TControl& root, TPointF absolute, TShiftState shift) {
  if (m_pressed) {
    TControl* c = m_captured.Get();
    if (!Reachable(c)) return nullptr;
    // Converted afresh: the captured control may have moved itself.
    const TPointF p = c->AbsoluteToLocal(absolute);
    c->MouseMove(shift, p.X, p.Y);
    return c;
  }
  TPointF p;
  TControl* target = ObjectAtPoint(root, absolute, &p);
  SetHovered(target);
  if (!target || m_hovered.Get() != target) return nullptr;
  target->MouseMove(shift, p.X, p.Y);
  return target;
}

TControl* TPointerDispatcher::MouseUp(TControl& root, TPointF absolute, TMouseButton button,
                                      TShiftState shift) {
  TControl* target = nullptr;
  TPointF p;
  if (m_pressed) {
    target = m_captured.Get();
    if (!Reachable(target)) target = nullptr;
    if (target) p = target->AbsoluteToLocal(absolute);
  } else {
    // A release without a press seen here (the press was outside the host).
    target = ObjectAtPoint(root, absolute, &p);
  }
  // Capture ends before the handler runs, so a handler that starts a new
  // press or frees the control finds the dispatcher idle.
  m_pressed = false;
  m_captured = TControlRef();
  if (target) target->MouseUp(button, shift, p.X, p.Y);
  // The pointer may now be over another control, or the tree changed under it.
  SetHovered(ObjectAtPoint(root, absolute));
  return target;
}

TControl* TPointerDispatcher::DblClick(TControl& root, TPointF absolute, TMouseButton button,
                                       TShiftState shift) {
  TControl* target = MouseDown(root, absolute, button, shift | ssDouble);
  // Only the capture tells whether the press handler left target alive.
  if (target && m_captured.Get() == target) target->DblClick();
  return target;
}

void TPointerDispatcher::MouseLeave(TControl&) { SetHovered(nullptr); }

void TPointerDispatcher::SetCapture(TControl* control) {
  if (!m_pressed) return;  // nothing to hand over
  m_captured = TControlRef(control);
}

}  // namespace karto
