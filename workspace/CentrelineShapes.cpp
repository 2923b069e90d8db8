#include "workspace/CentrelineShapes.h"

#include <string>

#include "platform/Shapes.h"

namespace karto {

namespace {

// A path shape placed at its points' top-left corner, its points where
// they are in the picture.
TPath* AddPath(TControl& view, const TPathData& data, const std::string& name) {
  auto* shape = new TPath(&view);
  shape->SetName(name);
  shape->Data = data;
  const TRectF b = data.GetBounds();
  shape->Data.Translate(-b.Left, -b.Top);
  shape->WrapMode = TPathWrapMode::pwOriginal;
  shape->SetBounds(b.Left, b.Top, std::max(1.0f, b.Width()), std::max(1.0f, b.Height()));
  shape->SetHitTest(false);
  shape->SetParent(&view);
  return shape;
}

}  // namespace

void DrawCentrelineShapes(const TCentrelineDrawing& drawing, TControl& view) {
  view.SetSize(float(drawing.Width), float(drawing.Height));
  int fills = 0, strokes = 0;
  for (const TCentrelineFill& f : drawing.Fills) {
    if (f.Outline.IsEmpty()) continue;
    TPath* p = AddPath(view, f.Outline, UnusedComponentName(view, "Fill_", fills));
    p->Fill.Kind = TBrushKind::bkSolid;
    p->Fill.Color = f.Color;
    p->FillRule = TPathFillRule::frEvenOdd;
    p->Stroke.Kind = TBrushKind::bkNone;
  }
  for (const TCentrelineStroke& s : drawing.Strokes) {
    if (s.Path.IsEmpty()) continue;
    TPath* p = AddPath(view, s.Path, UnusedComponentName(view, "Stroke_", strokes));
    p->Fill.Kind = TBrushKind::bkNone;
    p->Stroke.Kind = TBrushKind::bkSolid;
    p->Stroke.Color = s.Color;
    p->StrokeThickness = s.Width;
    p->StrokeCap = TStrokeCap::scRound;
    p->StrokeJoin = TStrokeJoin::sjRound;
  }
}

}  // namespace karto
