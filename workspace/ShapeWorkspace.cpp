#include "workspace/ShapeWorkspace.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace karto {

namespace {

constexpr TAlphaColor kSelectedStroke = 0xFFFF0000u;

// The placement of a path's drawn geometry in absolute coordinates.
TMatrix DrawnToAbsolute(const TPath& p, const TMatrix& parentToAbsolute) {
  const TMatrix local = p.LocalMatrix() * parentToAbsolute;
  return p.DataMatrix.IsSet() ? p.DataMatrix * local : local;
}

// The bounding box of a control's local rectangle mapped by m.
TRectF MappedRect(const TControl& c, const TMatrix& m) {
  const TRectF r = c.LocalRect();
  const TPointF pts[4] = {m.Transform({r.Left, r.Top}), m.Transform({r.Right, r.Top}),
                          m.Transform({r.Left, r.Bottom}), m.Transform({r.Right, r.Bottom})};
  TRectF b{pts[0].X, pts[0].Y, pts[0].X, pts[0].Y};
  for (const TPointF& p : pts) {
    b.Left = std::min(b.Left, p.X);
    b.Top = std::min(b.Top, p.Y);
    b.Right = std::max(b.Right, p.X);
    b.Bottom = std::max(b.Bottom, p.Y);
  }
  return b;
}

bool InRect(const TRectF& r, TPointF p) { return p.X >= r.Left && p.X <= r.Right && p.Y >= r.Top && p.Y <= r.Bottom; }

// Walks the segments of a path mapped by m: straight ones as they are,
// curves flattened into pieces no longer than step, closing segments back
// to their figure's start. visit(a, b, closing) gets each piece; closing is
// set for the segment that closes a figure the path leaves open, which
// only a fill sees.
template <class Visit>
void WalkSegments(const TPathData& path, const TMatrix& m, float step, Visit visit) {
  TPointF current, start;
  bool open = false;
  const auto closeOpen = [&] {
    if (open && !(current == start)) visit(current, start, true);
    open = false;
  };
  const int n = path.Count();
  for (int i = 0; i < n; ++i) {
    const TPathPoint& pt = path.Points(i);
    switch (pt.Kind) {
      case TPathPointKind::ppMoveTo:
        closeOpen();
        current = start = m.Transform(pt.Point);
        open = true;
        break;
      case TPathPointKind::ppLineTo: {
        const TPointF p = m.Transform(pt.Point);
        visit(current, p, false);
        current = p;
        open = true;
        break;
      }
      case TPathPointKind::ppCurveTo: {
        if (i + 2 >= n) return;
        const TPointF p0 = current, p1 = m.Transform(pt.Point), p2 = m.Transform(path.Points(i + 1).Point),
                      p3 = m.Transform(path.Points(i + 2).Point);
        const float length = Distance(p0.X, p0.Y, p1.X, p1.Y) + Distance(p1.X, p1.Y, p2.X, p2.Y) +
                             Distance(p2.X, p2.Y, p3.X, p3.Y);
        const int pieces = std::clamp(int(std::ceil(length / std::max(step, 0.25f))), 1, 256);
        TPointF prev = p0;
        for (int k = 1; k <= pieces; ++k) {
          const float t = float(k) / float(pieces), u = 1 - t;
          const float a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
          const TPointF q = k == pieces ? p3
                                        : TPointF(a * p0.X + b * p1.X + c * p2.X + d * p3.X,
                                                  a * p0.Y + b * p1.Y + c * p2.Y + d * p3.Y);
          visit(prev, q, false);
          prev = q;
        }
        current = p3;
        open = true;
        i += 2;
        break;
      }
      case TPathPointKind::ppClose:
        if (!(current == start)) visit(current, start, false);
        current = start;
        open = false;
        break;
    }
  }
  closeOpen();
}

// The stroke a selected shape had before it was drawn selected.
void GiveOwnStroke(TShape& shape, const TSelShapeInfo& info) {
  shape.Stroke = info.m_oStroke;
  shape.Stroke.Color = info.m_oColor;
  shape.StrokeDash = info.m_enStrokeDash;
  shape.StrokeThickness = info.m_fStrokeThickness;
}

}  // namespace

TShapeWorkspace::TShapeWorkspace(TControl& paintBox) : m_paintBox(paintBox), m_history(paintBox) {
  // The highlight pulse: opacity down to a fifth and back, five times a second.
  m_oShapeFloatAnimation = std::make_unique<TFloatAnimation>();
  m_oShapeFloatAnimation->SetEnabled(false);
  m_oShapeFloatAnimation->AutoReverse = true;
  m_oShapeFloatAnimation->Duration = 0.2;
  m_oShapeFloatAnimation->Loop = true;
  m_oShapeFloatAnimation->StartValue = 1.0f;
  m_oShapeFloatAnimation->StopValue = 0.2f;
  m_oShapeFloatAnimation->SetPropertyName("Opacity");
}

TShapeWorkspace::~TShapeWorkspace() {
  m_oShapeFloatAnimation->Stop();
  delete m_oInBoxSelection.Get();
  delete m_oCoordSystemSelection.Get();
}

void TShapeWorkspace::Changed() {
  if (OnSelectionChanged) OnSelectionChanged();
}

float TShapeWorkspace::PickTolerance() const {
  const TPointF v = m_paintBox.LocalToAbsoluteVector({kPickUnits, kPickUnits});
  return Distance(0, 0, v.X, v.Y);
}

TInBoxSelection* TShapeWorkspace::InBoxSelection() const {
  return static_cast<TInBoxSelection*>(m_oInBoxSelection.Get());
}

TCoordSystemSelection* TShapeWorkspace::CoordSystemSelection() const {
  return static_cast<TCoordSystemSelection*>(m_oCoordSystemSelection.Get());
}

std::string TShapeWorkspace::FreeName(const std::string& prefix) {
  return UnusedComponentName(m_paintBox, prefix, m_nameCounters[prefix]);
}

// --- gestures -------------------------------------------------------------------

void TShapeWorkspace::MouseDown(TMouseButton button, TShiftState, float x, float y) {
  if (CoordSystemSelection() || button != TMouseButton::mbLeft) {
    m_fFetchDelta = -1;
    return;
  }
  m_BeginMouseMoveLocalPoint = {x, y};
  m_BeginMouseMoveAbsolutPoint = m_paintBox.LocalToAbsolute({x, y});
  m_fFetchDelta = PickTolerance();
}

void TShapeWorkspace::MouseMove(TShiftState shift, float x, float y) {
  if (!(shift & ssLeft)) {
    m_fFetchDelta = -1;
    return;
  }
  if (!(m_fFetchDelta > 0)) return;
  const TPointF b = m_BeginMouseMoveLocalPoint;
  const float d = Distance(b.X, b.Y, x, y);
  TInBoxSelection* band = InBoxSelection();
  if (!band && d > kPickUnits) {
    band = new TInBoxSelection(&m_paintBox);
    band->SetParent(&m_paintBox);
    band->SetVisible(true);
    band->SetGripSize(kGripSize);
    band->SetScale({1, 1});
    band->OnTrack = nullptr;
    band->OnMouseUp = [this](TControl* s, TMouseButton bt, TShiftState st, float px, float py) {
      InBoxSelectionMouseUp(s, bt, st, px, py);
    };
    band->SetEnabled(true);
    band->SetStored(false);  // a gesture, not part of a saved view
    m_oInBoxSelection = TControlRef(band);
  }
  if (!band) return;
  if (d > kPickUnits) {
    // The band spans the press point and the pointer whichever way it was
    // dragged, so it is drawn where the user drags it.
    band->SetBounds(std::min(b.X, x), std::min(b.Y, y), std::fabs(b.X - x), std::fabs(b.Y - y));
  } else {
    delete band;
    m_oInBoxSelection = TControlRef();
    m_fFetchDelta = -1;
  }
}

bool TShapeWorkspace::MouseUp(TMouseButton button, TShiftState shift, float x, float y, TPointF* clickedAbsolute) {
  if (button != TMouseButton::mbLeft || CoordSystemSelection()) return false;
  if (InBoxSelection()) {
    InBoxSelectionMouseUp(InBoxSelection(), button, shift, x, y);
    return false;
  }
  if (clickedAbsolute) *clickedAbsolute = m_paintBox.LocalToAbsolute({x, y});
  float dist = 0;
  const int index = FindPathAt(dist, x, y);
  if (index < 0) return true;
  auto* shape = dynamic_cast<TShape*>(m_paintBox.Children(index));
  if (!shape || shape->Name().empty()) return true;
  if (m_lstSelShapes.count(shape->Name())) {
    SelectShape(false, -1, shape, "");
  } else {
    HighlightShape(false, nullptr);
    SelectShape(true, index, shape, "");
    HighlightShape(true, shape);
  }
  Changed();
  return true;
}

void TShapeWorkspace::InBoxSelectionMouseUp(TControl*, TMouseButton button, TShiftState, float x, float y) {
  TInBoxSelection* band = InBoxSelection();
  if (button != TMouseButton::mbLeft || CoordSystemSelection() || !band) return;
  const TPointF c1 = m_BeginMouseMoveAbsolutPoint;
  const TPointF c2 = m_paintBox.LocalToAbsolute({x, y});
  delete band;
  m_oInBoxSelection = TControlRef();
  m_fFetchDelta = -1;
  const TPointF b = m_BeginMouseMoveLocalPoint;
  if (!(Distance(b.X, b.Y, x, y) > kPickUnits)) return;

  const std::string group = "Inbox_" + std::to_string(m_iInBoxSelCount + 1);
  int last = -1;
  const TMatrix base = m_paintBox.GetAbsoluteMatrix();
  const int n = m_paintBox.ChildrenCount();
  for (int i = 0; i < n; ++i) {
    auto* shape = dynamic_cast<TShape*>(m_paintBox.Children(i));
    if (!shape || shape->Name().empty()) continue;
    const TRectF r = MappedRect(*shape, shape->LocalMatrix() * base);
    if (!SegmentInRect(r.Left, r.Top, r.Right, r.Bottom, c1.X, c1.Y, c2.X, c2.Y)) continue;
    SelectShape(true, i, shape, group);
    last = i;
  }
  if (last >= 0) {
    HighlightShape(false, nullptr);
    HighlightShape(true, m_paintBox.Children(last));
    ++m_iInBoxSelCount;
  }
  Changed();
}

bool TShapeWorkspace::CancelGesture() {
  TInBoxSelection* band = InBoxSelection();
  m_fFetchDelta = -1;
  if (!band) return false;
  delete band;
  m_oInBoxSelection = TControlRef();
  m_paintBox.Repaint();
  return true;
}

int TShapeWorkspace::FindPathAt(float& dist, float x, float y, bool fills) const {
  const float tol = m_fFetchDelta;
  if (!(tol > 0)) return -1;
  const TPointF P = m_paintBox.LocalToAbsolute({x, y});
  const TMatrix base = m_paintBox.GetAbsoluteMatrix();
  float best = m_paintBox.Width();
  int found = -1, filled = -1;
  const int n = m_paintBox.ChildrenCount();
  for (int i = 0; i < n; ++i) {
    const auto* p = dynamic_cast<const TPath*>(m_paintBox.Children(i));
    if (!p || !p->Visible() || p->Data.IsEmpty()) continue;
    // Most paths lie nowhere near the pointer: their placed rectangle says so
    // without walking their points.
    if (!InRect(MappedRect(*p, p->LocalMatrix() * base).Inflated(tol, tol), P)) continue;
    const bool wantFill = fills && p->Fill.Kind != TBrushKind::bkNone;
    float nearest = best;
    int winding = 0, crossings = 0;
    WalkSegments(p->DrawingPath(), DrawnToAbsolute(*p, base), tol, [&](TPointF a, TPointF b, bool closing) {
      if (wantFill && ((a.Y <= P.Y) != (b.Y <= P.Y))) {
        const float t = (P.Y - a.Y) / (b.Y - a.Y);
        if (a.X + t * (b.X - a.X) > P.X) {
          ++crossings;
          winding += b.Y > a.Y ? 1 : -1;
        }
      }
      if (closing) return;
      const float d = DistanceToSegment(P.X, P.Y, a.X, a.Y, b.X, b.Y);
      if (d < nearest) nearest = d;
    });
    if (nearest <= tol && nearest < best) {
      best = nearest;
      found = i;
    }
    const bool inside = p->FillRule == TPathFillRule::frNonZero ? winding != 0 : (crossings & 1) != 0;
    if (wantFill && inside) filled = i;
  }
  // An outline near the pointer wins; inside a filled shape with none
  // near, the topmost such shape is the one the user sees and means.
  if (found < 0 && filled >= 0) {
    found = filled;
    best = 0;
  }
  if (found >= 0) dist = best;
  return found;
}

// --- selection --------------------------------------------------------------------

bool TShapeWorkspace::SelectShape(bool select, int index, TShape* shape, const std::string& groupName) {
  if (!shape || shape->Name().empty()) return false;
  const std::string& name = shape->Name();
  auto known = m_lstSelShapes.find(name);
  if (select) {
    if (known != m_lstSelShapes.end()) return false;
    if (!groupName.empty()) {
      auto group = std::find_if(m_tree.rbegin(), m_tree.rend(),
                                [&](const TSelTreeItem& t) { return t.IsGroup && t.Text == groupName; });
      if (group == m_tree.rend()) {
        m_tree.push_back({groupName, {}, true});
        group = m_tree.rbegin();
      }
      group->Children.push_back(name);
    } else {
      m_tree.push_back({name, {}, false});
    }
    TSelShapeInfo info;
    info.m_iIdx = index;
    info.m_oColor = shape->Stroke.Color;
    info.m_enStrokeDash = shape->StrokeDash;
    info.m_fStrokeThickness = shape->StrokeThickness;
    info.m_oStroke = shape->Stroke;
    info.m_oShape = TControlRef(shape);
    info.m_sGroup = groupName;
    m_lstSelShapes.emplace(name, std::move(info));
    shape->Stroke = TBrush();
    shape->Stroke.Kind = TBrushKind::bkSolid;
    shape->Stroke.Color = kSelectedStroke;
    // A shape drawn without a stroke gets a visible one while selected.
    shape->StrokeThickness = shape->StrokeThickness > 0 ? 2 * shape->StrokeThickness : 2.0f;
    shape->Repaint();
    return true;
  }
  if (known == m_lstSelShapes.end()) return false;
  HighlightShape(false, shape);
  RemoveFromTree(name, known->second.m_sGroup);
  if (!groupName.empty()) {
    auto group = std::find_if(m_tree.begin(), m_tree.end(),
                              [&](const TSelTreeItem& t) { return t.IsGroup && t.Text == groupName; });
    if (group != m_tree.end() && group->Children.empty()) m_tree.erase(group);
  }
  RestoreSelectedShape(name);
  return true;
}

void TShapeWorkspace::RemoveFromTree(const std::string& name, const std::string& group) {
  if (group.empty()) {
    auto it = std::find_if(m_tree.begin(), m_tree.end(), [&](const TSelTreeItem& t) { return !t.IsGroup && t.Text == name; });
    if (it != m_tree.end()) m_tree.erase(it);
    return;
  }
  for (TSelTreeItem& t : m_tree) {
    if (!t.IsGroup || t.Text != group) continue;
    auto it = std::find(t.Children.begin(), t.Children.end(), name);
    if (it != t.Children.end()) {
      t.Children.erase(it);
      return;
    }
  }
}

void TShapeWorkspace::RestoreSelectedShape(const std::string& key) {
  auto it = m_lstSelShapes.find(key);
  if (it == m_lstSelShapes.end()) return;
  const TSelShapeInfo& info = it->second;
  if (auto* shape = dynamic_cast<TShape*>(info.m_oShape.Get())) {
    GiveOwnStroke(*shape, info);
    shape->Repaint();
  }
  m_lstSelShapes.erase(it);
}

void TShapeWorkspace::HighlightShape(bool start, TControl* shape) {
  TFloatAnimation& a = *m_oShapeFloatAnimation;
  const auto stop = [&] {
    a.Stop();
    a.SetEnabled(false);
    if (TControl* p = a.Parent()) p->SetOpacity(a.StartValue);
  };
  if (a.Running() && !shape) stop();
  if (start) {
    // The pulse runs from the shape's own opacity down to a fifth of it and
    // ends on it, so a half-transparent shape stays half-transparent.
    a.StartValue = shape ? shape->Opacity() : 1.0f;
    a.StopValue = a.StartValue * 0.2f;
    a.SetParent(shape);
    a.SetEnabled(true);
    a.Start();
  } else if (shape) {
    if (a.Running() && a.Parent() && a.Parent()->Name() == shape->Name()) stop();
  } else {
    a.SetParent(nullptr);
  }
}

void TShapeWorkspace::ClearAllShapeSelection() {
  HighlightShape(false, nullptr);
  delete m_oInBoxSelection.Get();
  m_oInBoxSelection = TControlRef();
  delete m_oCoordSystemSelection.Get();
  m_oCoordSystemSelection = TControlRef();
  for (const TSelTreeItem& item : m_tree) {
    for (const std::string& child : item.Children) RestoreSelectedShape(child);
    RestoreSelectedShape(item.Text);
  }
  m_tree.clear();
  m_lstSelShapes.clear();
  m_iInBoxSelCount = 0;
  m_paintBox.Repaint();
  Changed();
}

void TShapeWorkspace::SelectAll() {
  TControl* last = nullptr;
  const int n = m_paintBox.ChildrenCount();
  for (int i = 0; i < n; ++i) {
    auto* shape = dynamic_cast<TShape*>(m_paintBox.Children(i));
    if (shape && SelectShape(true, i, shape, "")) last = shape;
  }
  if (last) {
    HighlightShape(false, nullptr);
    HighlightShape(true, last);
  }
  Changed();
}

std::vector<TControl*> TShapeWorkspace::SelectedShapesInTreeOrder(bool topLevelOnly) const {
  std::vector<TControl*> out;
  const auto take = [&](const std::string& name) {
    auto it = m_lstSelShapes.find(name);
    if (it == m_lstSelShapes.end()) return;
    TControl* c = it->second.m_oShape.Get();
    if (c && c->Parent() == &m_paintBox) out.push_back(c);
  };
  for (const TSelTreeItem& item : m_tree) {
    if (!topLevelOnly)
      for (const std::string& child : item.Children) take(child);
    take(item.Text);
  }
  return out;
}

// --- commands ------------------------------------------------------------------------

int TShapeWorkspace::SetLineProps(TAlphaColor color, TStrokeDash dash, float thickness) {
  const std::vector<TControl*> shapes = SelectedShapesInTreeOrder(false);
  ClearAllShapeSelection();
  if (shapes.empty()) return 0;
  TViewState before = m_history.Capture(shapes);
  for (TControl* c : shapes) {
    auto* s = static_cast<TShape*>(c);
    s->Stroke = TBrush();
    s->Stroke.Kind = TBrushKind::bkSolid;
    s->Stroke.Color = color;
    s->StrokeDash = dash;
    // The width is meant as the view shows it: an imported path's stroke is
    // drawn through its own matrix, so it gets the width that matrix
    // turns into the one asked for.
    const auto* p = dynamic_cast<const TPath*>(s);
    const float det = p && p->DataMatrix.IsSet()
                          ? std::fabs(p->DataMatrix.m11 * p->DataMatrix.m22 - p->DataMatrix.m12 * p->DataMatrix.m21)
                          : 1.0f;
    s->StrokeThickness = det > 0 ? thickness / std::sqrt(det) : thickness;
    s->Repaint();
  }
  m_history.Push("Line properties", std::move(before), m_history.Capture(shapes));
  Changed();
  return int(shapes.size());
}

int TShapeWorkspace::DeleteSelection() {
  const std::vector<TControl*> shapes = SelectedShapesInTreeOrder(false);
  ClearAllShapeSelection();
  if (shapes.empty()) return 0;
  TViewState before = m_history.Capture();
  m_history.Keep(shapes);
  m_history.Push("Delete", std::move(before), m_history.Capture());
  m_paintBox.Repaint();
  Changed();
  return int(shapes.size());
}

TPath* TShapeWorkspace::JoinSelection() {
  HighlightShape(false, nullptr);
  std::vector<TPath*> paths;
  for (TControl* c : SelectedShapesInTreeOrder(true))
    if (auto* p = dynamic_cast<TPath*>(c)) paths.push_back(p);
  ClearAllShapeSelection();
  if (paths.empty()) return nullptr;
  TViewState before = m_history.Capture();

  const TPath& first = *paths.front();
  auto joined = std::make_unique<TPath>();
  joined->SetOpacity(first.Opacity());
  joined->Fill = first.Fill;
  joined->FillRule = first.FillRule;
  joined->Stroke = first.Stroke;
  joined->StrokeCap = first.StrokeCap;
  joined->StrokeJoin = first.StrokeJoin;
  joined->StrokeMiterLimit = first.StrokeMiterLimit;
  joined->StrokeDash = TStrokeDash::sdSolid;
  joined->SetLayer(first.Layer());
  // Every path's points go into paint-box coordinates through its own
  // placement, so the stroke is drawn as wide as the first path drew it.
  {
    const TMatrix m = first.DataMatrix.IsSet() ? first.DataMatrix * first.LocalMatrix() : first.LocalMatrix();
    const float det = m.m11 * m.m22 - m.m12 * m.m21;
    joined->StrokeThickness = first.StrokeThickness * std::sqrt(std::fabs(det));
  }
  TPathData& data = joined->Data;
  for (const TPath* s : paths) {
    const TMatrix m = s->DataMatrix.IsSet() ? s->DataMatrix * s->LocalMatrix() : s->LocalMatrix();
    const TPathData source = s->DrawingPath();
    const int n = source.Count();
    for (int i = 0; i < n; ++i) {
      const TPathPoint& pt = source.Points(i);
      // A path whose points do not begin with a move starts a figure of
      // its own rather than continuing the previous path's.
      if (i == 0 && pt.Kind != TPathPointKind::ppMoveTo) data.MoveTo(m.Transform({0, 0}));
      switch (pt.Kind) {
        case TPathPointKind::ppMoveTo: data.MoveTo(m.Transform(pt.Point)); break;
        case TPathPointKind::ppLineTo: data.LineTo(m.Transform(pt.Point)); break;
        case TPathPointKind::ppCurveTo:
          if (i + 2 < n) {
            data.CurveTo(m.Transform(pt.Point), m.Transform(source.Points(i + 1).Point),
                         m.Transform(source.Points(i + 2).Point));
          }
          i += 2;
          break;
        case TPathPointKind::ppClose: data.ClosePath(); break;
      }
    }
  }
  if (data.IsEmpty()) return nullptr;
  if (data.Points(data.Count() - 1).Kind != TPathPointKind::ppClose) data.ClosePath();
  const std::string name = first.Name();
  m_history.Keep(std::vector<TControl*>(paths.begin(), paths.end()));

  const TRectF r = data.GetBounds();
  data.Translate(-r.Left, -r.Top);
  joined->WrapMode = TPathWrapMode::pwOriginal;
  joined->SetSize(r.Right - r.Left + 1, r.Bottom - r.Top + 1);
  joined->SetPosition({r.Left, r.Top});
  joined->SetAlign(TAlignLayout::alNone);
  joined->SetHitTest(false);
  TPath* result = joined.release();
  result->SetName(name);  // the first path has left the paint box: the name is free
  result->SetOwner(&m_paintBox);
  result->SetParent(&m_paintBox);
  m_history.Push("Join", std::move(before), m_history.Capture());
  Changed();
  return result;
}

// --- normalise ------------------------------------------------------------------------

void TShapeWorkspace::OpenCoordSystem() {
  delete m_oCoordSystemSelection.Get();
  const float w = m_paintBox.Width(), h = m_paintBox.Height();
  auto* frame = new TCoordSystemSelection(&m_paintBox);
  frame->SetParent(&m_paintBox);
  frame->SetVisible(true);
  frame->SetGripSize(kGripSize);
  frame->SetBounds(w / 2, h / 2, w / 4, h / 4);
  frame->SetScale({1, 1});
  frame->SetEnabled(true);
  frame->SetHitTest(true);
  frame->SetStored(false);
  m_oCoordSystemSelection = TControlRef(frame);
}

void TShapeWorkspace::CloseCoordSystem() {
  delete m_oCoordSystemSelection.Get();
  m_oCoordSystemSelection = TControlRef();
  m_paintBox.Repaint();
}

bool TShapeWorkspace::CoordFrame(TCoordFrame& frame) const {
  const TCoordSystemSelection* f = CoordSystemSelection();
  if (!f) return false;
  const TPointF o = f->Position();
  frame.Origin = m_paintBox.LocalToAbsolute(o);
  frame.YEnd = m_paintBox.LocalToAbsolute({o.X, o.Y + f->Height() - 1});
  frame.XEnd = m_paintBox.LocalToAbsolute({o.X + f->Width() - 1, o.Y});
  return true;
}

void TShapeWorkspace::SetCoordOrigin(float x, float y) {
  TCoordSystemSelection* f = CoordSystemSelection();
  if (!f) return;
  f->SetPosition(m_paintBox.AbsoluteToLocal({x, y}));
}

void TShapeWorkspace::SetCoordRefSize(float refWidth, float refHeight) {
  TCoordSystemSelection* f = CoordSystemSelection();
  if (!f) return;
  const TPointF pos = f->Position();
  TPointF a = m_paintBox.LocalToAbsolute(pos);
  a = {a.X + refWidth - 1, a.Y + refHeight - 1};
  const TPointF b = m_paintBox.AbsoluteToLocal(a);
  f->SetSize(b.X - pos.X + 1, b.Y - pos.Y + 1);
}

bool TShapeWorkspace::Normalize(float refWidth, float refHeight, float newWidth, float newHeight) {
  const float fx = newWidth / refWidth, fy = newHeight / refHeight;
  if (!std::isfinite(fx) || !std::isfinite(fy) || !(fx > 0) || !(fy > 0)) return false;
  std::vector<TControl*> shapes, pictures;
  for (TControl* c : m_paintBox.ChildList()) {
    if (dynamic_cast<TShape*>(c)) shapes.push_back(c);
    else if (dynamic_cast<TImage*>(c)) pictures.push_back(c);
  }
  // Masks of imported groups hold shapes in the same coordinates as the
  // view's: they are scaled alike, or they would no longer lie over what
  // they mask.
  {
    std::unordered_set<const TDrawLayer*> seen;
    const size_t viewShapes = shapes.size();
    for (size_t k = 0; k < viewShapes; ++k)
      for (const TDrawLayer* l = shapes[k]->Layer().get(); l && seen.insert(l).second; l = l->Parent.get())
        if (l->Mask)
          for (TControl* c : l->Mask->ChildList())
            if (dynamic_cast<TShape*>(c)) shapes.push_back(c);
  }
  // Undo gives selected shapes back their own strokes, not the red ones.
  const auto capture = [&] {
    TViewState state = m_history.Capture(shapes, true);
    for (TShapeLook& look : state.Looks) {
      auto it = m_lstSelShapes.find(look.Shape->Name());
      if (it == m_lstSelShapes.end() || it->second.m_oShape.Get() != look.Shape) continue;
      look.Stroke = it->second.m_oStroke;
      look.Stroke.Color = it->second.m_oColor;
      look.StrokeDash = it->second.m_enStrokeDash;
      look.StrokeThickness = it->second.m_fStrokeThickness;
    }
    return state;
  };
  shapes.insert(shapes.end(), pictures.begin(), pictures.end());
  TViewState before = capture();
  for (TControl* c : shapes) {
    if (auto* img = dynamic_cast<TImage*>(c)) {
      // Pictures of an imported drawing move and shrink with it.
      const TPointF sc = img->Scale();
      const float kx = fx * sc.X, ky = fy * sc.Y;
      if (img->DrawMatrix.IsSet()) img->DrawMatrix = img->DrawMatrix * TMatrix::CreateScaling(kx, ky);
      if (!img->ClipOutline.IsEmpty()) img->ClipOutline.Scale(kx, ky);
      img->SetPosition({img->Position().X * fx, img->Position().Y * fy});
      img->SetScale({1, 1});
      img->SetSize(std::max(1.0f, img->Width() * kx), std::max(1.0f, img->Height() * ky));
      img->Repaint();
      continue;
    }
    auto* s = static_cast<TShape*>(c);
    const TPointF sc = s->Scale();
    const float w = s->Width(), h = s->Height();
    const float kx = fx * sc.X, ky = fy * sc.Y;
    auto* p = dynamic_cast<TPath*>(s);
    const bool ownMatrix = p && p->DataMatrix.IsSet();
    if (p && !p->Data.IsEmpty()) {
      // An imported path keeps its geometry in its own coordinates and the
      // placement in DataMatrix: scaling the matrix scales what is drawn,
      // stroke included.
      if (ownMatrix) p->DataMatrix = p->DataMatrix * TMatrix::CreateScaling(kx, ky);
      else p->Data.Scale(kx, ky);
    }
    if (!s->ClipOutline.IsEmpty()) s->ClipOutline.Scale(kx, ky);
    s->SetPosition({s->Position().X * fx, s->Position().Y * fy});
    s->SetScale({1, 1});
    s->SetSize(std::max(1.0f, w * kx), std::max(1.0f, h * ky));
    if (!ownMatrix) {
      s->StrokeThickness *= kx;
      // A selected shape's own stroke scales with it, so deselecting it
      // later gives back the normalised width.
      auto it = m_lstSelShapes.find(s->Name());
      if (it != m_lstSelShapes.end() && it->second.m_oShape.Get() == s) it->second.m_fStrokeThickness *= kx;
    }
    s->Repaint();
  }
  m_history.Push("Normalize", std::move(before), capture());
  Changed();
  return true;
}

bool TShapeWorkspace::FindProbeCrossing(const TLineF& L, TControl* shape, float& x, float& y) const {
  const auto* p = dynamic_cast<const TPath*>(shape);
  if (!p) return false;
  const float tol = m_fFetchDelta;
  float best = 4 * tol;
  bool found = false;
  WalkSegments(p->DrawingPath(), DrawnToAbsolute(*p, m_paintBox.GetAbsoluteMatrix()), tol,
               [&](TPointF a, TPointF b, bool closing) {
                 if (closing) return;
                 float cx = 0, cy = 0;
                 if (!SegmentIntersection(L, TLineF{a.X, a.Y, b.X, b.Y}, cx, cy)) return;
                 const float d = Distance(L.X2, L.Y2, cx, cy);
                 if (d <= tol && d < best) {
                   best = d;
                   x = cx;
                   y = cy;
                   found = true;
                 }
               });
  return found;
}

TCoordFrame TShapeWorkspace::Snap() {
  TCoordFrame f;
  if (!CoordFrame(f)) {
    m_fFetchDelta = -1;
    return f;
  }
  struct Reset {
    float& v;
    ~Reset() { v = -1; }
  } reset{m_fFetchDelta};
  m_fFetchDelta = PickTolerance();
  TCoordSystemSelection* frame = CoordSystemSelection();
  const TPointF o = frame->Position();
  TPointF aO = f.Origin, aEx = f.XEnd, aEy = f.YEnd;
  float d = 0, x = 0, y = 0;
  int i = FindPathAt(d, o.X, o.Y, false);
  if (i >= 0 && std::fabs(d) > 1e-8f) {
    TControl* s = m_paintBox.Children(i);
    if (FindProbeCrossing({aEy.X, aEy.Y, aO.X, aO.Y - d - 1}, s, x, y) ||
        FindProbeCrossing({aEx.X, aEx.Y, aO.X - d - 1, aO.Y}, s, x, y)) {
      aO = {x, y};
      aEy.X = x;
      aEx.Y = y;
    }
  }
  TPointF l = m_paintBox.AbsoluteToLocal(aEy);
  i = FindPathAt(d, l.X, l.Y, false);
  if (i >= 0 && std::fabs(d) > 1e-8f && FindProbeCrossing({aO.X, aO.Y, aEy.X, aEy.Y + d + 1}, m_paintBox.Children(i), x, y))
    aEy.Y = y;
  l = m_paintBox.AbsoluteToLocal(aEx);
  i = FindPathAt(d, l.X, l.Y, false);
  if (i >= 0 && std::fabs(d) > 1e-8f && FindProbeCrossing({aO.X, aO.Y, aEx.X + d + 1, aEx.Y}, m_paintBox.Children(i), x, y))
    aEx.X = x;
  const TPointF lo = m_paintBox.AbsoluteToLocal(aO), lx = m_paintBox.AbsoluteToLocal(aEx),
                ly = m_paintBox.AbsoluteToLocal(aEy);
  frame->SetBounds(lo.X, lo.Y, lx.X - lo.X + 1, ly.Y - lo.Y + 1);
  f = {aO, aEx, aEy};
  return f;
}

std::string TShapeWorkspace::WithOwnLooks(const std::function<std::string()>& write) {
  struct TMarked {
    TShape* Shape;
    TBrush Stroke;
    TStrokeDash Dash;
    float Thickness;
  };
  std::vector<TMarked> marked;
  for (auto& [name, info] : m_lstSelShapes) {
    auto* s = dynamic_cast<TShape*>(info.m_oShape.Get());
    if (!s) continue;
    marked.push_back({s, s->Stroke, s->StrokeDash, s->StrokeThickness});
    GiveOwnStroke(*s, info);
  }
  TFloatAnimation& a = *m_oShapeFloatAnimation;
  TControl* pulsing = a.Running() ? a.Parent() : nullptr;
  const float opacity = pulsing ? pulsing->Opacity() : 1;
  if (pulsing) pulsing->SetOpacity(a.StartValue);
  // The marks come back however write ends.
  struct TRestore {
    const std::vector<TMarked>& marked;
    TControl* pulsing;
    float opacity;
    ~TRestore() {
      if (pulsing) pulsing->SetOpacity(opacity);
      for (const TMarked& m : marked) {
        m.Shape->Stroke = m.Stroke;
        m.Shape->StrokeDash = m.Dash;
        m.Shape->StrokeThickness = m.Thickness;
      }
    }
  } restore{marked, pulsing, opacity};
  return write();
}

// --- undo ---------------------------------------------------------------------------------

bool TShapeWorkspace::Undo() {
  if (!m_history.CanUndo()) return false;
  ClearAllShapeSelection();
  m_history.Undo();
  Changed();
  return true;
}

bool TShapeWorkspace::Redo() {
  if (!m_history.CanRedo()) return false;
  ClearAllShapeSelection();
  m_history.Redo();
  Changed();
  return true;
}

void TShapeWorkspace::BeginOutsideChange(const std::string& caption) {
  ClearAllShapeSelection();
  m_pendingCaption = caption;
  m_pendingBefore = std::make_unique<TViewState>(m_history.Capture());
  std::vector<TControl*> content;
  for (TControl* c : m_paintBox.ChildList())
    if (IsViewContent(c)) content.push_back(c);
  m_history.Keep(content);
}

void TShapeWorkspace::EndOutsideChange() {
  if (!m_pendingBefore) return;
  m_history.Push(m_pendingCaption, std::move(*m_pendingBefore), m_history.Capture());
  m_pendingBefore.reset();
  Changed();
}

}  // namespace karto
