#include "workspace/ViewHistory.h"

#include <unordered_map>

#include "platform/Selection.h"

namespace karto {

bool IsViewContent(const TControl* c) {
  return c && !dynamic_cast<const TSelection*>(c) && !dynamic_cast<const TSelectionPoint*>(c);
}

TShapeLook TakeLook(TControl& shape, bool geometry) {
  TShapeLook look;
  look.Shape = &shape;
  look.Position = shape.Position();
  look.Scale = shape.Scale();
  look.Width = shape.Width();
  look.Height = shape.Height();
  if (auto* s = dynamic_cast<TShape*>(&shape)) {
    look.Stroke = s->Stroke;
    look.StrokeThickness = s->StrokeThickness;
    look.StrokeDash = s->StrokeDash;
    look.CustomDash = s->CustomDash;
    look.DashOffset = s->DashOffset;
    if (geometry) look.ClipOutline = s->ClipOutline;
  }
  if (auto* p = dynamic_cast<TPath*>(&shape); p && geometry) {
    look.Data = p->Data;
    look.DataMatrix = p->DataMatrix;
  }
  if (auto* img = dynamic_cast<TImage*>(&shape); img && geometry) {
    look.DataMatrix = img->DrawMatrix;
    look.ClipOutline = img->ClipOutline;
  }
  look.HasGeometry = geometry;
  return look;
}

void ApplyLook(const TShapeLook& look) {
  TControl& shape = *look.Shape;
  shape.SetPosition(look.Position);
  shape.SetScale(look.Scale);
  shape.SetSize(look.Width, look.Height);
  if (auto* s = dynamic_cast<TShape*>(&shape)) {
    s->Stroke = look.Stroke;
    s->StrokeThickness = look.StrokeThickness;
    s->StrokeDash = look.StrokeDash;
    s->CustomDash = look.CustomDash;
    s->DashOffset = look.DashOffset;
    if (look.HasGeometry) s->ClipOutline = look.ClipOutline;
  }
  if (auto* p = dynamic_cast<TPath*>(&shape); p && look.HasGeometry) {
    p->Data = look.Data;
    p->DataMatrix = look.DataMatrix;
  }
  if (auto* img = dynamic_cast<TImage*>(&shape); img && look.HasGeometry) {
    img->DrawMatrix = look.DataMatrix;
    img->ClipOutline = look.ClipOutline;
  }
  shape.Repaint();
}

TViewHistory::~TViewHistory() {
  for (TControl* c : m_kept) delete c;
}

TViewState TViewHistory::Capture(const std::vector<TControl*>& lookShapes, bool geometry) const {
  TViewState state;
  auto content = std::make_shared<std::vector<TControl*>>();
  content->reserve(size_t(m_view.ChildrenCount()));
  for (TControl* c : m_view.ChildList())
    if (IsViewContent(c)) content->push_back(c);
  // Consecutive steps mostly see the same content; share it.
  if (m_next > 0 && *m_steps[m_next - 1].After.Content == *content) state.Content = m_steps[m_next - 1].After.Content;
  else state.Content = std::move(content);
  state.Looks.reserve(lookShapes.size());
  for (TControl* c : lookShapes) state.Looks.push_back(TakeLook(*c, geometry));
  state.Scale = m_view.Scale();
  state.Width = m_view.Width();
  state.Height = m_view.Height();
  return state;
}

void TViewHistory::Keep(const std::vector<TControl*>& shapes) {
  if (shapes.empty()) return;
  std::unordered_set<TControl*> leaving(shapes.begin(), shapes.end());
  std::vector<TControl*> children;
  children.reserve(m_view.ChildList().size());
  for (TControl* c : m_view.ChildList())
    if (!leaving.count(c)) children.push_back(c);
  m_view.SetChildList(children);
  std::vector<TControl*> owned;
  for (TControl* c : shapes) {
    if (c->Owner() == &m_view) owned.push_back(c);
    else if (c->Owner()) c->SetOwner(nullptr);
    m_kept.insert(c);
  }
  m_view.ReleaseComponents(owned);
}

void TViewHistory::Push(const std::string& caption, TViewState before, TViewState after) {
  const bool dropping = m_next < m_steps.size() || m_next >= kMaxSteps;
  m_steps.erase(m_steps.begin() + std::ptrdiff_t(m_next), m_steps.end());
  m_steps.push_back({caption, std::move(before), std::move(after)});
  if (m_steps.size() > kMaxSteps) m_steps.erase(m_steps.begin());
  m_next = m_steps.size();
  if (dropping) FreeUnreachable();
}

void TViewHistory::Restore(const TViewState& state) {
  const std::vector<TControl*>& target = *state.Content;
  std::unordered_set<TControl*> wanted(target.begin(), target.end());
  std::vector<TControl*> leaving, overlays;
  std::unordered_set<TControl*> present;
  for (TControl* c : m_view.ChildList()) {
    if (!IsViewContent(c)) overlays.push_back(c);
    else if (!wanted.count(c)) leaving.push_back(c);
    else present.insert(c);
  }
  std::vector<TControl*> owned;
  for (TControl* c : leaving) {
    if (c->Owner() == &m_view) owned.push_back(c);
    m_kept.insert(c);
  }
  m_view.ReleaseComponents(owned);
  for (TControl* c : target) {
    if (present.count(c)) continue;
    m_kept.erase(c);
    if (c->Owner() != &m_view) {
      try {
        c->SetOwner(&m_view);
      } catch (const EComponentError&) {
        // A name taken meanwhile by a shape made outside the history: the
        // shape comes back unnamed rather than not at all.
        c->SetName("");
        c->SetOwner(&m_view);
      }
    }
  }
  std::vector<TControl*> children = target;
  children.insert(children.end(), overlays.begin(), overlays.end());
  m_view.SetChildList(children);
  for (const TShapeLook& look : state.Looks) ApplyLook(look);
  m_view.SetScale(state.Scale);
  m_view.SetSize(state.Width, state.Height);
  m_view.Repaint();
}

bool TViewHistory::Undo() {
  if (!CanUndo()) return false;
  --m_next;
  Restore(m_steps[m_next].Before);
  return true;
}

bool TViewHistory::Redo() {
  if (!CanRedo()) return false;
  Restore(m_steps[m_next].After);
  ++m_next;
  return true;
}

void TViewHistory::Clear() {
  m_steps.clear();
  m_next = 0;
  FreeUnreachable();
}

void TViewHistory::FreeUnreachable() {
  if (m_kept.empty()) return;
  std::unordered_set<const TControl*> reachable;
  const std::vector<TControl*>* last = nullptr;
  for (const TStep& s : m_steps)
    for (const TViewState* state : {&s.Before, &s.After}) {
      if (state->Content.get() == last) continue;
      last = state->Content.get();
      reachable.insert(last->begin(), last->end());
    }
  for (const TStep& s : m_steps)
    for (const TViewState* state : {&s.Before, &s.After})
      for (const TShapeLook& look : state->Looks) reachable.insert(look.Shape);
  for (auto it = m_kept.begin(); it != m_kept.end();) {
    if (reachable.count(*it)) {
      ++it;
      continue;
    }
    delete *it;
    it = m_kept.erase(it);
  }
}

}  // namespace karto
