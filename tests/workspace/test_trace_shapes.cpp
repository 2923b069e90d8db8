// The trace shown as shapes: the background, the view's size and where each
// traced path is drawn.

#include <gtest/gtest.h>

#include "platform/Renderer.h"
#include "platform/Shapes.h"
#include "trace/ImgTrace.h"
#include "workspace/TraceShapes.h"

using namespace karto;

namespace {

TBitmap White(int w, int h) {
  TBitmap b(w, h);
  b.Clear(0xFFFFFFFFu);
  return b;
}

std::vector<TPath*> Paths(TControl& box) {
  std::vector<TPath*> out;
  for (TControl* c : box.ChildList())
    if (auto* p = As<TPath>(c)) out.push_back(p);
  return out;
}

TEST(TraceShapes, ABackgroundCoversTheViewAndIsNotStored) {
  TPaintBox box;
  box.SetSize(300, 200);
  auto* old = new TPath(&box);
  old->SetParent(&box);
  ClearPanel(box);
  ASSERT_EQ(box.ChildrenCount(), 2);
  auto* bg = As<TRectangle>(box.Children(1));
  ASSERT_NE(bg, nullptr);
  EXPECT_FALSE(bg->Stored());
  EXPECT_FALSE(bg->HitTest());
  EXPECT_EQ(bg->Fill.Color, 0xFFFFFFFFu);
  EXPECT_EQ(bg->Align(), TAlignLayout::alClient);
  EXPECT_EQ(bg->Width(), 300);
  EXPECT_EQ(bg->Index(), 1) << "on top of what was there";
  // White paper without a frame: drawn, its edges stay white.
  EXPECT_EQ(bg->Stroke.Kind, TBrushKind::bkNone);
  const QImage img = RenderToImage(box, 300, 200, 0xFFFFFFFFu);
  for (QPoint p : {QPoint(0, 0), QPoint(150, 0), QPoint(299, 199), QPoint(0, 100)})
    EXPECT_EQ(img.pixel(p) & 0xFFFFFFu, 0xFFFFFFu) << p.x() << "," << p.y();
}

TEST(TraceShapes, APathIsPlacedByItsBoxAndDrawnOverItsPixels) {
  // A three-pixel-wide horizontal bar from x 10 to 40, rows 19 to 21, in a
  // dark blue the origin picture gives it.
  TBitmap src = White(120, 60), origin = White(120, 60);
  for (int y = 19; y <= 21; ++y)
    for (int x = 10; x <= 40; ++x) {
      src.SetPixel(x, y, 0xFF000000u);
      origin.SetPixel(x, y, 0xFF102080u);
    }
  TImgTrace trace(&src, &origin, 127);
  ASSERT_TRUE(trace.DoTrace());
  TPaintBox box;
  Draw2DObjects(trace, box);
  EXPECT_EQ(box.Width(), 100) << "never smaller than 100 x 100";
  EXPECT_EQ(box.Height(), 100);
  const auto paths = Paths(box);
  ASSERT_EQ(paths.size(), 1u);
  TPath* p = paths[0];
  EXPECT_FALSE(p->Stored());
  EXPECT_FALSE(p->HitTest());
  EXPECT_EQ(p->Fill.Kind, TBrushKind::bkNone);
  EXPECT_EQ(p->StrokeCap, TStrokeCap::scFlat);
  EXPECT_EQ(p->Stroke.Color, 0xFF102080u);
  EXPECT_EQ(p->StrokeThickness, 3);
  // Walked along the top row and centred onto the middle row.
  EXPECT_EQ(p->Position(), TPointF(10, 19));
  EXPECT_EQ(p->Width(), 31);
  // Every drawn point is the middle of a pixel of the middle row.
  const TPathData drawn = p->DrawingPath();
  for (const TPathPoint& pt : drawn.PointList()) {
    const TPointF abs = p->LocalToAbsolute(pt.Point);
    EXPECT_FLOAT_EQ(abs.Y, 20.5f);
    EXPECT_GE(abs.X, 10.5f);
    EXPECT_LE(abs.X, 40.5f);
  }
  // Drawn over its picture, the stroke covers the bar's pixels and no more.
  const QImage img = RenderToImage(box, 120, 60, 0xFFFFFFFFu);
  for (int x = 12; x <= 38; ++x)
    for (int y = 19; y <= 21; ++y) EXPECT_LT(qRed(img.pixel(x, y)), 60) << x << "," << y;
  EXPECT_EQ(qRed(img.pixel(25, 17)), 255);
  EXPECT_EQ(qRed(img.pixel(25, 23)), 255);
}

TEST(TraceShapes, TheViewGrowsWithTheTraceAndSkipsEmptyTraces) {
  TBitmap src = White(400, 300);
  for (int x = 20; x <= 380; ++x) src.SetPixel(x, 250, 0xFF000000u);
  TImgTrace trace(&src, &src, 127);
  ASSERT_TRUE(trace.DoTrace());
  TPaintBox box;
  Draw2DObjects(trace, box);
  EXPECT_EQ(box.Width(), 380);
  EXPECT_EQ(box.Height(), 250);
  // Named so they can be selected; a second Vectorize does not reuse names.
  ASSERT_EQ(Paths(box).size(), 1u);
  EXPECT_EQ(Paths(box)[0]->Name(), "Trace_1");
  Draw2DObjects(trace, box);
  ASSERT_EQ(Paths(box).size(), 2u);
  EXPECT_EQ(Paths(box)[1]->Name(), "Trace_2");

  TBitmap blank = White(50, 50);
  TImgTrace none(&blank, &blank, 127);
  TPaintBox empty;
  empty.SetSize(7, 7);
  Draw2DObjects(none, empty);
  EXPECT_EQ(empty.ChildrenCount(), 0);
  EXPECT_EQ(empty.Width(), 7);
}

}  // namespace
