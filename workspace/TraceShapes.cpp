#include "workspace/TraceShapes.h"

#include <algorithm>
#include <string>

#include "platform/Shapes.h"
#include "trace/ImgTrace.h"

namespace karto {

void ClearPanel(TControl& oPaintBox2D) {
  auto* bg = new TRectangle(&oPaintBox2D);
  bg->SetBounds(0, 0, 4096, 2400);
  bg->SetStored(false);
  bg->SetHitTest(false);
  bg->Fill.Color = TAlphaColors::White;
  // Paper only: a stroke would put a frame into the export and the
  // preview that the picture never had.
  bg->Stroke.Kind = TBrushKind::bkNone;
  bg->SetParent(&oPaintBox2D);
  bg->SetAlign(TAlignLayout::alClient);
}

void Draw2DObjects(const TImgTrace& trace, TControl& oPaintBox2D) {
  const TTraceObjList* list = trace.GetListOfTraceObjects();
  if (!list || list->empty()) return;

  float ex = 100, ey = 100;
  for (const auto& obj : *list) {
    const auto* path = dynamic_cast<const TTracePath*>(obj.get());
    if (!path) continue;
    ex = std::max(ex, path->m_oMaxPnt.x);
    ey = std::max(ey, path->m_oMaxPnt.y);
  }
  oPaintBox2D.SetSize(ex, ey);
  int number = 0;

  for (const auto& obj : *list) {
    const auto* path = dynamic_cast<const TTracePath*>(obj.get());
    if (!path || path->m_iLastIdx <= 2) continue;
    auto* shape = new TPath(&oPaintBox2D);
    // Named, so the workspace can select and edit it; a second Vectorize
    // continues the numbers.
    shape->SetName(UnusedComponentName(oPaintBox2D, "Trace_", number));
    shape->StrokeCap = TStrokeCap::scFlat;
    shape->StrokeDash = TStrokeDash::sdSolid;
    shape->StrokeThickness = path->m_bLineWidth;
    shape->Stroke.Color = path->m_oRealColor;
    shape->Fill.Color = 0;
    shape->Fill.Kind = TBrushKind::bkNone;
    // The centre line stays where it was traced: the walked bounding box
    // places the shape, and the points keep their own places inside it
    // instead of being stretched onto that box (centred points can lie a
    // pixel or two outside it).
    const float x0 = path->m_oMinPnt.x, y0 = path->m_oMinPnt.y;
    for (int i = 0; i <= path->m_iLastIdx; ++i) {
      const TTraceObj::Point& p = path->m_arPt[size_t(i)];
      const TPointF at(p.x - x0 + 0.5f, p.y - y0 + 0.5f);
      if (i == 0) shape->Data.MoveTo(at);
      else shape->Data.LineTo(at);
    }
    shape->WrapMode = TPathWrapMode::pwOriginal;
    shape->SetStored(false);
    shape->SetHitTest(false);
    shape->SetAlign(TAlignLayout::alNone);
    shape->SetPosition({x0, y0});
    shape->SetSize(path->m_oMaxPnt.x - x0 + 1, path->m_oMaxPnt.y - y0 + 1);
    shape->SetParent(&oPaintBox2D);
  }
}

}  // namespace karto
