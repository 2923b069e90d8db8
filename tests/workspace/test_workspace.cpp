// The 2D workspace without a window: picking, rubber bands, the selection
// list and its marks, the commands, Normalize with snapping, and undo.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "platform/ObjectStream.h"
#include "workspace/ShapeWorkspace.h"

using namespace karto;

namespace {

class WorkspaceTest : public ::testing::Test {
 protected:
  void SetUp() override { box.SetSize(800, 600); }

  // An open polyline path placed at pos, named name, stroked 1.5 wide.
  TPath* Line(const std::string& name, std::vector<TPointF> pts, TPointF pos = {0, 0}) {
    auto* p = new TPath(&box);
    p->SetName(name);
    p->WrapMode = TPathWrapMode::pwOriginal;
    p->Fill.Kind = TBrushKind::bkNone;
    p->Stroke.Color = 0xFF0000FFu;
    p->StrokeThickness = 1.5f;
    for (size_t i = 0; i < pts.size(); ++i) {
      if (i == 0) p->Data.MoveTo(pts[i]);
      else p->Data.LineTo(pts[i]);
    }
    const TRectF b = p->Data.GetBounds();
    p->SetBounds(pos.X, pos.Y, b.Right + 1, b.Bottom + 1);
    p->SetHitTest(false);
    p->SetParent(&box);
    return p;
  }

  // A press, the given moves with the left button held, and a release.
  void Drag(TPointF from, TPointF to) {
    ws.MouseDown(TMouseButton::mbLeft, ssLeft, from.X, from.Y);
    ws.MouseMove(ssLeft, (from.X + to.X) / 2, (from.Y + to.Y) / 2);
    ws.MouseMove(ssLeft, to.X, to.Y);
    ws.MouseUp(TMouseButton::mbLeft, 0, to.X, to.Y);
  }
  void Click(float x, float y) {
    ws.MouseDown(TMouseButton::mbLeft, ssLeft, x, y);
    ws.MouseUp(TMouseButton::mbLeft, 0, x, y);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (TControl* c : box.ChildList()) out.push_back(c->Name());
    return out;
  }

  TPaintBox box;
  TShapeWorkspace ws{box};
};

TEST_F(WorkspaceTest, AClickTogglesThePathAndRestoresItsStrokeExactly) {
  TPath* a = Line("A", {{0, 0}, {100, 0}}, {100, 100});
  a->StrokeDash = TStrokeDash::sdDot;
  Click(150, 102);
  ASSERT_EQ(ws.Selection().count("A"), 1u);
  EXPECT_EQ(a->Stroke.Color, 0xFFFF0000u);
  EXPECT_FLOAT_EQ(a->StrokeThickness, 3);
  EXPECT_EQ(a->StrokeDash, TStrokeDash::sdDot);
  ASSERT_EQ(ws.Tree().size(), 1u);
  EXPECT_EQ(ws.Tree()[0].Text, "A");
  EXPECT_TRUE(ws.Highlight().Running());
  EXPECT_EQ(ws.Highlight().Parent(), a);

  Click(150, 100);
  EXPECT_TRUE(ws.Selection().empty());
  EXPECT_TRUE(ws.Tree().empty());
  EXPECT_EQ(a->Stroke.Color, 0xFF0000FFu);
  EXPECT_EQ(a->StrokeThickness, 1.5f);
  EXPECT_FALSE(ws.Highlight().Running());
  EXPECT_EQ(a->Opacity(), 1);

  // Far from every path: nothing, but the point is reported.
  ws.MouseDown(TMouseButton::mbLeft, ssLeft, 400, 400);
  TPointF at;
  EXPECT_TRUE(ws.MouseUp(TMouseButton::mbLeft, 0, 400, 400, &at));
  EXPECT_EQ(at, TPointF(400, 400));
  EXPECT_TRUE(ws.Selection().empty());
}

TEST_F(WorkspaceTest, PickingFindsLinesCurvesClosingSegmentsAndFills) {
  // A circle of curves, a closed triangle (its third side only the close),
  // a filled square, and two lines at the same distance from a point.
  auto* circle = new TPath(&box);
  circle->SetName("Circle");
  circle->WrapMode = TPathWrapMode::pwOriginal;
  circle->Fill.Kind = TBrushKind::bkNone;
  circle->Data.AddEllipse({0, 0, 100, 100});
  circle->SetBounds(0, 0, 100, 100);
  circle->SetParent(&box);
  TPath* tri = Line("Tri", {{0, 0}, {100, 0}, {100, 100}}, {200, 0});
  tri->Data.ClosePath();
  auto* square = new TPath(&box);
  square->SetName("Square");
  square->WrapMode = TPathWrapMode::pwOriginal;
  square->Fill.Color = 0xFF00FF00u;
  square->Data.AddRectangle({0, 0, 100, 100});
  square->SetBounds(400, 0, 100, 100);
  square->SetParent(&box);
  Line("Low", {{0, 0}, {100, 0}}, {0, 300});
  Line("High", {{0, 0}, {100, 0}}, {0, 306});
  struct Case {
    TPointF at;
    const char* expected;  // nullptr: nothing
  };
  const Case cases[] = {
      {{50 + 50 * 0.7071f, 50 + 50 * 0.7071f + 2}, "Circle"},  // on the curve, 45 degrees
      {{50, 50}, nullptr},                                        // inside the unfilled circle
      {{250, 48}, "Tri"},                                         // on the closing diagonal
      {{450, 50}, "Square"},                                      // inside the filled square
      {{50, 303}, "Low"},                                         // between two lines: the first
      {{50, 320}, nullptr},
  };
  ws.MouseDown(TMouseButton::mbLeft, ssLeft, 0, 0);  // a press sets the pick tolerance
  for (const Case& c : cases) {
    float dist = -1;
    const int i = ws.FindPathAt(dist, c.at.X, c.at.Y);
    if (!c.expected) {
      EXPECT_EQ(i, -1) << c.at.X << "," << c.at.Y;
      continue;
    }
    ASSERT_GE(i, 0) << c.expected;
    EXPECT_EQ(box.Children(i)->Name(), c.expected);
  }
}

TEST_F(WorkspaceTest, ARubberBandSelectsWhatLiesWhollyInsideWhicheverWayItIsDragged) {
  Line("A", {{0, 0}, {20, 0}}, {100, 100});
  Line("B", {{0, 0}, {20, 20}}, {150, 120});
  Line("C", {{0, 0}, {0, 30}}, {200, 110});
  Line("Across", {{0, 0}, {300, 0}}, {50, 200});  // only partly inside
  struct Case {
    TPointF from, to;
  };
  const Case drags[] = {
      {{90, 90}, {260, 180}}, {{260, 180}, {90, 90}}, {{90, 180}, {260, 90}}, {{260, 90}, {90, 180}}};
  for (const Case& d : drags) {
    Drag(d.from, d.to);
    ASSERT_EQ(ws.Tree().size(), 1u) << d.from.X << "," << d.from.Y;
    EXPECT_EQ(ws.Tree()[0].Text, "Inbox_1");
    EXPECT_EQ(ws.Tree()[0].Children, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(ws.Highlight().Parent(), box.FindComponent("C")) << "the last shape taken pulses";
    EXPECT_EQ(ws.InBoxSelection(), nullptr);
    ws.ClearAllShapeSelection();
  }
  // Numbering: a second band is group 2; one over selected shapes makes no
  // group but advances the count; after Clear it starts at 1 again.
  Drag({90, 90}, {140, 140});
  Drag({140, 110}, {260, 180});
  EXPECT_EQ(ws.Tree().back().Text, "Inbox_2");
  Drag({90, 90}, {260, 180});
  EXPECT_EQ(ws.Tree().size(), 2u);
  EXPECT_EQ(ws.InBoxSelCount(), 3);
  ws.ClearAllShapeSelection();
  Drag({90, 90}, {140, 140});
  EXPECT_EQ(ws.Tree().back().Text, "Inbox_1");
}

TEST_F(WorkspaceTest, ShortDragsAreClicksAndABandCanBeTakenBack) {
  TPath* a = Line("A", {{0, 0}, {100, 0}}, {100, 100});
  // Five units or less: a click on the line.
  ws.MouseDown(TMouseButton::mbLeft, ssLeft, 150, 100);
  ws.MouseMove(ssLeft, 153, 104);
  EXPECT_EQ(ws.InBoxSelection(), nullptr);
  ws.MouseUp(TMouseButton::mbLeft, 0, 153, 104);
  EXPECT_EQ(ws.Selection().count("A"), 1u);
  // A band that comes back to its start is dropped; so is one cancelled.
  ws.MouseDown(TMouseButton::mbLeft, ssLeft, 50, 50);
  ws.MouseMove(ssLeft, 300, 300);
  ASSERT_NE(ws.InBoxSelection(), nullptr);
  EXPECT_FALSE(ws.InBoxSelection()->Stored());
  ws.MouseMove(ssLeft, 52, 52);
  EXPECT_EQ(ws.InBoxSelection(), nullptr);
  ws.MouseDown(TMouseButton::mbLeft, ssLeft, 50, 50);
  ws.MouseMove(ssLeft, 300, 300);
  EXPECT_TRUE(ws.CancelGesture());
  EXPECT_EQ(ws.InBoxSelection(), nullptr);
  ws.MouseUp(TMouseButton::mbLeft, 0, 300, 300);
  EXPECT_EQ(ws.Tree().size(), 1u) << "nothing selected by the cancelled band";
  EXPECT_EQ(a->Stroke.Color, 0xFFFF0000u);
  // The right button never selects.
  ws.ClearAllShapeSelection();
  ws.MouseDown(TMouseButton::mbRight, ssRight, 150, 100);
  EXPECT_FALSE(ws.MouseUp(TMouseButton::mbRight, 0, 150, 100));
  EXPECT_TRUE(ws.Selection().empty());
}

TEST_F(WorkspaceTest, TheHighlightEndsOnTheShapesOwnOpacity) {
  TPath* a = Line("A", {{0, 0}, {100, 0}}, {100, 100});
  TPath* b = Line("B", {{0, 0}, {100, 0}}, {100, 200});
  a->SetOpacity(0.5f);
  Click(150, 100);
  ws.Highlight().ProcessTick(0.1);
  EXPECT_LT(a->Opacity(), 0.5f);
  Click(150, 200);  // b pulses now, a is still selected
  EXPECT_EQ(ws.Highlight().Parent(), b);
  EXPECT_FLOAT_EQ(a->Opacity(), 0.5f);
  ws.Highlight().ProcessTick(0.1);
  ws.ClearAllShapeSelection();
  EXPECT_FLOAT_EQ(b->Opacity(), 1);
  EXPECT_FLOAT_EQ(a->Opacity(), 0.5f);
}

TEST_F(WorkspaceTest, LinePropertiesStayAfterTheSelectionEnds) {
  TPath* a = Line("A", {{0, 0}, {100, 0}}, {100, 100});
  TPath* b = Line("B", {{0, 0}, {100, 0}}, {100, 200});
  b->Stroke.Kind = TBrushKind::bkNone;  // an imported shape without a stroke
  b->StrokeThickness = 0;
  Click(150, 100);
  Click(150, 200);
  EXPECT_EQ(b->Stroke.Kind, TBrushKind::bkSolid) << "selected shapes show their mark";
  EXPECT_EQ(ws.SetLineProps(0xFFFF0000u, TStrokeDash::sdDash, 2.4f), 2);
  for (TPath* p : {a, b}) {
    EXPECT_EQ(p->Stroke.Kind, TBrushKind::bkSolid);
    EXPECT_EQ(p->Stroke.Color, 0xFFFF0000u);
    EXPECT_EQ(p->StrokeDash, TStrokeDash::sdDash);
    EXPECT_FLOAT_EQ(p->StrokeThickness, 2.4f);
  }
  EXPECT_TRUE(ws.Selection().empty());
  EXPECT_TRUE(ws.Tree().empty());
  // Undo gives both their own strokes back, redo the new ones.
  ASSERT_TRUE(ws.Undo());
  EXPECT_EQ(a->Stroke.Color, 0xFF0000FFu);
  EXPECT_FLOAT_EQ(a->StrokeThickness, 1.5f);
  EXPECT_EQ(b->Stroke.Kind, TBrushKind::bkNone);
  ASSERT_TRUE(ws.Redo());
  EXPECT_FLOAT_EQ(b->StrokeThickness, 2.4f);

  // An imported path drawn four times its size gets a quarter of the width,
  // so the view shows the width asked for.
  TPath* imported = Line("Imported", {{0, 0}, {25, 0}}, {100, 300});
  imported->DataMatrix = TMatrix::CreateScaling(4, 4);
  ws.SelectShape(true, imported->Index(), imported, "");
  ws.SetLineProps(0xFF000000u, TStrokeDash::sdSolid, 2);
  EXPECT_FLOAT_EQ(imported->StrokeThickness, 0.5f);
}

TEST_F(WorkspaceTest, DeleteActsOnTheSelectedShapesEvenAfterIndicesMoved) {
  for (int i = 0; i < 10; ++i) Line("S" + std::to_string(i), {{0, 0}, {50, 0}}, {10, 20.0f + 40 * i});
  Click(30, 20 + 40 * 7);  // S7, child 7
  // S3 leaves by another road first: every later index moves down one.
  ws.SelectShape(true, 3, static_cast<TShape*>(box.Children(3)), "");
  ws.SetLineProps(0xFF000000u, TStrokeDash::sdSolid, 1);  // ends the selection
  Click(30, 20 + 40 * 3);
  Click(30, 20 + 40 * 7);
  delete box.FindComponent("S0");  // S3 is child 2 now, S7 child 6
  EXPECT_EQ(ws.DeleteSelection(), 2);
  EXPECT_EQ(Names(), (std::vector<std::string>{"S1", "S2", "S4", "S5", "S6", "S8", "S9"}));
  // Undo brings back the very same shapes in their places; redo removes them again.
  ASSERT_TRUE(ws.Undo());
  EXPECT_EQ(Names(), (std::vector<std::string>{"S1", "S2", "S3", "S4", "S5", "S6", "S7", "S8", "S9"}));
  EXPECT_EQ(box.FindComponent("S3"), box.Children(2));
  ASSERT_TRUE(ws.Redo());
  EXPECT_EQ(box.ChildrenCount(), 7);
  EXPECT_EQ(ws.History().KeptCount(), 2u);
  ws.History().Clear();
  EXPECT_EQ(ws.History().KeptCount(), 0u) << "kept shapes are freed with the history";
}

TEST_F(WorkspaceTest, JoinMakesOneClosedPathNamedLikeTheFirst) {
  TPath* first = Line("First", {{0, 0}, {10, 0}}, {5, 5});
  first->StrokeDash = TStrokeDash::sdDash;
  first->Stroke.Color = 0xFF123456u;
  Line("Second", {{0, 0}, {0, 10}}, {20, 5});
  Click(10, 5);
  Click(20, 10);
  TPath* joined = ws.JoinSelection();
  ASSERT_NE(joined, nullptr);
  ASSERT_EQ(box.ChildrenCount(), 1);
  EXPECT_EQ(box.Children(0), joined);
  EXPECT_EQ(joined->Name(), "First");
  EXPECT_EQ(joined->Position(), TPointF(5, 5));
  EXPECT_FLOAT_EQ(joined->Width(), 16);
  EXPECT_FLOAT_EQ(joined->Height(), 11);
  EXPECT_EQ(joined->StrokeDash, TStrokeDash::sdSolid);
  EXPECT_EQ(joined->Stroke.Color, 0xFF123456u);
  EXPECT_FLOAT_EQ(joined->StrokeThickness, 1.5f);
  EXPECT_EQ(joined->Data.Data(), "M 0,0 L 10,0 M 15,0 L 15,10 Z");
  ASSERT_TRUE(ws.Undo());
  EXPECT_EQ(Names(), (std::vector<std::string>{"First", "Second"}));
  EXPECT_EQ(first->StrokeDash, TStrokeDash::sdDash);
}

TEST_F(WorkspaceTest, JoinKeepsCurvesAndEveryFiguresClosing) {
  auto* ring = new TPath(&box);
  ring->SetName("Ring");
  ring->WrapMode = TPathWrapMode::pwOriginal;
  ring->Data.AddEllipse({0, 0, 20, 20});
  ring->Data.ClosePath();
  ring->SetBounds(100, 100, 20, 20);
  ring->SetParent(&box);
  TPath* tri = Line("Tri", {{0, 0}, {10, 0}, {10, 10}}, {200, 100});
  tri->Data.ClosePath();
  Line("Tail", {{0, 0}, {30, 0}}, {300, 100});
  Click(100, 110);
  Click(205, 100);
  Click(310, 100);
  TPath* joined = ws.JoinSelection();
  ASSERT_NE(joined, nullptr);
  int curves = 0, closes = 0, moves = 0;
  for (const TPathPoint& p : joined->Data.PointList()) {
    curves += p.Kind == ppCurveTo;
    closes += p.Kind == ppClose;
    moves += p.Kind == ppMoveTo;
  }
  EXPECT_EQ(curves, 12) << "four quarter arcs, three points each";
  EXPECT_EQ(moves, 3);
  EXPECT_EQ(closes, 3) << "the ring and the triangle stay closed; the whole is closed at its end";
  // Drawn where the pieces were: the ring's left point, the tail's end.
  EXPECT_EQ(joined->Position(), TPointF(100, 100));
  EXPECT_FLOAT_EQ(joined->Width(), 231);
}

TEST_F(WorkspaceTest, JoinWithOnlyBandGroupsMakesNothing) {
  Line("A", {{0, 0}, {20, 0}}, {100, 100});
  Line("B", {{0, 0}, {20, 0}}, {100, 120});
  Drag({90, 90}, {200, 200});
  EXPECT_EQ(ws.JoinSelection(), nullptr);
  EXPECT_EQ(box.ChildrenCount(), 2);
  EXPECT_TRUE(ws.Selection().empty());
  EXPECT_FALSE(ws.History().CanUndo());
}

TEST_F(WorkspaceTest, TheCoordinateFrameOpensOverTheMiddleQuarter) {
  ws.OpenCoordSystem();
  TCoordSystemSelection* f = ws.CoordSystemSelection();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->Position(), TPointF(400, 300));
  EXPECT_FLOAT_EQ(f->Width(), 200);
  EXPECT_FLOAT_EQ(f->Height(), 150);
  EXPECT_FALSE(f->Stored());
  TCoordFrame frame;
  ASSERT_TRUE(ws.CoordFrame(frame));
  EXPECT_FLOAT_EQ(frame.RefWidth(), 200);
  EXPECT_FLOAT_EQ(frame.RefHeight(), 150);
  ws.SetCoordOrigin(100, 50);
  EXPECT_EQ(f->Position(), TPointF(100, 50));
  ws.SetCoordRefSize(400, 200);
  ASSERT_TRUE(ws.CoordFrame(frame));
  EXPECT_FLOAT_EQ(frame.RefWidth(), 400);
  EXPECT_FLOAT_EQ(frame.RefHeight(), 200);
  // Presses do not select while the frame is open.
  Line("A", {{0, 0}, {100, 0}}, {100, 400});
  Click(150, 400);
  EXPECT_TRUE(ws.Selection().empty());
}

TEST_F(WorkspaceTest, NormalizeScalesEveryShapeAboutTheViewsOrigin) {
  TPath* a = Line("A", {{0, 0}, {100, 0}, {100, 50}}, {200, 100});
  a->StrokeThickness = 2;
  TPath* thin = Line("Thin", {{0, 0}, {0, 1}}, {10, 10});
  thin->SetSize(1, 1.5f);
  TPath* wide = Line("Wide", {{0, 0}, {10, 0}}, {0, 0});
  wide->SetScale({2, 1});
  Click(250, 100);  // A stays selected through the normalising
  ASSERT_TRUE(ws.Normalize(400, 200, 200, 100));
  EXPECT_EQ(a->Position(), TPointF(100, 50));
  EXPECT_EQ(a->Data.Data(), "M 0,0 L 50,0 L 50,25");
  EXPECT_FLOAT_EQ(a->Width(), 50.5f);
  EXPECT_FLOAT_EQ(a->Height(), 25.5f);
  EXPECT_FLOAT_EQ(thin->Width(), 1) << "never below 1";
  EXPECT_FLOAT_EQ(thin->Height(), 1);
  EXPECT_EQ(wide->Scale(), TPointF(1, 1));
  EXPECT_EQ(wide->Data.Data(), "M 0,0 L 10,0") << "stretched by 2 * 0.5";
  EXPECT_FLOAT_EQ(wide->StrokeThickness, 1.5f);
  // The selected shape's own stroke was scaled too: deselecting it gives
  // the normalised width, not the old one.
  ws.ClearAllShapeSelection();
  EXPECT_FLOAT_EQ(a->StrokeThickness, 1);
  EXPECT_EQ(a->Stroke.Color, 0xFF0000FFu);
  // Undo puts every shape back.
  ASSERT_TRUE(ws.Undo());
  EXPECT_EQ(a->Position(), TPointF(200, 100));
  EXPECT_EQ(a->Data.Data(), "M 0,0 L 100,0 L 100,50");
  EXPECT_FLOAT_EQ(a->StrokeThickness, 2);
  EXPECT_EQ(wide->Scale(), TPointF(2, 1));
  // Sizes that are no sizes change nothing.
  for (float ref : {0.0f, -5.0f, NAN}) EXPECT_FALSE(ws.Normalize(ref, 200, 200, 100));
  EXPECT_EQ(a->Position(), TPointF(200, 100));
}

TEST_F(WorkspaceTest, NormalizeScalesImportedGeometryThroughItsMatrix) {
  auto* p = new TPath(&box);
  p->SetName("Imported");
  p->WrapMode = TPathWrapMode::pwOriginal;
  p->Data.MoveTo({0, 0});
  p->Data.LineTo({10, 10});
  p->DataMatrix = TMatrix::CreateScaling(4, 4);
  p->SetBounds(40, 40, 40, 40);
  p->StrokeThickness = 1;
  p->SetParent(&box);
  ASSERT_TRUE(ws.Normalize(100, 100, 50, 50));
  EXPECT_EQ(p->DrawnBounds(), TRectF(0, 0, 20, 20));
  EXPECT_EQ(p->Position(), TPointF(20, 20));
  EXPECT_FLOAT_EQ(p->StrokeThickness, 1) << "the matrix scales the stroke already";

  // So does an imported picture.
  auto* picture = new TImage(&box);
  picture->SetParent(&box);
  picture->Bitmap = TBitmap(10, 10);
  picture->DrawMatrix = TMatrix::CreateScaling(2, 2);
  picture->SetBounds(100, 60, 20, 20);
  ASSERT_TRUE(ws.Normalize(100, 100, 50, 50));
  EXPECT_EQ(picture->Position(), TPointF(50, 30));
  EXPECT_FLOAT_EQ(picture->Width(), 10);
  EXPECT_FLOAT_EQ(picture->DrawMatrix.m11, 1);
  ASSERT_TRUE(ws.Undo());
  EXPECT_FLOAT_EQ(picture->DrawMatrix.m11, 2);
  EXPECT_EQ(picture->Position(), TPointF(100, 60));

  // A mask over an imported group moves and shrinks with what it masks,
  // and comes back with an undo.
  auto layer = std::make_shared<TDrawLayer>();
  layer->Mask = std::make_shared<TControl>();
  auto* area = new TRectangle(layer->Mask.get());
  area->SetParent(layer->Mask.get());
  area->SetBounds(20, 20, 40, 40);
  p->SetLayer(layer);
  ASSERT_TRUE(ws.Normalize(100, 100, 50, 50));
  EXPECT_EQ(area->Position(), TPointF(10, 10));
  EXPECT_FLOAT_EQ(area->Width(), 20);
  ASSERT_TRUE(ws.Undo());
  EXPECT_EQ(area->Position(), TPointF(20, 20));
  EXPECT_FLOAT_EQ(area->Width(), 40);
}

TEST_F(WorkspaceTest, SnapMovesTheFrameOntoNearbyLines) {
  // A frame drawn as a rectangle of four lines from (100, 100) to (300, 200).
  Line("Top", {{0, 0}, {200, 0}}, {100, 100});
  Line("Left", {{0, 0}, {0, 100}}, {100, 100});
  Line("Right", {{0, 0}, {0, 100}}, {300, 100});
  Line("Bottom", {{0, 0}, {200, 0}}, {100, 200});
  ws.OpenCoordSystem();
  // The origin 3 below the top line (its nearest), the y axis ending 2
  // short of the bottom line.
  ws.SetCoordOrigin(105, 103);
  ws.SetCoordRefSize(194, 96);
  TCoordFrame f = ws.Snap();
  EXPECT_EQ(f.Origin, TPointF(105, 100)) << "the y-axis probe meets the top line";
  EXPECT_FLOAT_EQ(f.XEnd.Y, 100) << "the x axis moves up with the origin";
  EXPECT_FLOAT_EQ(f.YEnd.X, 105);
  EXPECT_FLOAT_EQ(f.YEnd.Y, 200);
  // The x axis's end now lies on the top line itself: it stays.
  EXPECT_FLOAT_EQ(f.XEnd.X, 298);
  // An x-axis end near the right line alone snaps onto it.
  ws.SetCoordOrigin(150, 150);
  ws.SetCoordRefSize(148, 20);
  f = ws.Snap();
  EXPECT_FLOAT_EQ(f.XEnd.X, 300);
  EXPECT_EQ(ws.FetchDelta(), -1);
  TCoordFrame again = ws.Snap();
  EXPECT_EQ(again.Origin, f.Origin);
  EXPECT_EQ(again.XEnd, f.XEnd);
  EXPECT_EQ(again.YEnd, f.YEnd);
  // Far from every line nothing moves.
  ws.SetCoordOrigin(500, 400);
  ws.SetCoordRefSize(50, 50);
  f = ws.Snap();
  EXPECT_EQ(f.Origin, TPointF(500, 400));
  EXPECT_FLOAT_EQ(f.RefWidth(), 50);
}

TEST_F(WorkspaceTest, SavingAndExportingCarryNoSelectionMarks) {
  TPath* a = Line("A", {{0, 0}, {100, 0}}, {100, 100});
  Click(150, 100);
  ws.Highlight().ProcessTick(0.1);
  const std::string text = ws.WithOwnLooks([this] { return WriteComponent(box); });
  EXPECT_EQ(text.find("FFFF0000"), std::string::npos) << text;
  EXPECT_EQ(text.find("StrokeThickness = 3"), std::string::npos) << text;
  EXPECT_EQ(a->Stroke.Color, 0xFFFF0000u) << "the marks come back after writing";
  // A rubber band in progress is not written.
  ws.MouseDown(TMouseButton::mbLeft, ssLeft, 400, 400);
  ws.MouseMove(ssLeft, 500, 500);
  EXPECT_EQ(WriteComponent(box).find("TInBoxSelection"), std::string::npos);
}

TEST_F(WorkspaceTest, AnOutsideChangeCanBeUndone) {
  Line("Old", {{0, 0}, {100, 0}}, {100, 100});
  ws.BeginOutsideChange("Import");
  EXPECT_EQ(box.ChildrenCount(), 0);
  Line("Old", {{0, 0}, {50, 0}}, {10, 10});  // the new drawing may reuse names
  ws.EndOutsideChange();
  ASSERT_TRUE(ws.Undo());
  ASSERT_EQ(box.ChildrenCount(), 1);
  EXPECT_FLOAT_EQ(box.Children(0)->Position().X, 100);
  ASSERT_TRUE(ws.Redo());
  EXPECT_FLOAT_EQ(box.Children(0)->Position().X, 10);
}

// --- overlays --------------------------------------------------------------------

QImage Paint(TControl& c) {
  QImage img(int(c.Width()) + 20, int(c.Height()) + 20, QImage::Format_ARGB32);
  img.fill(0xFF000000u);
  QPainter p(&img);
  c.Paint(p);
  return img;
}

TEST(Overlays, DrawNothingWhenHiddenAndGreyGripsWhenDisabled) {
  TInBoxSelection band;
  band.SetBounds(0, 0, 40, 30);
  band.SetGripSize(7);
  TCoordSystemSelection frame;
  frame.SetBounds(0, 0, 40, 30);
  frame.SetGripSize(7);
  for (TSelection* s : std::initializer_list<TSelection*>{&band, &frame}) {
    s->SetHideSelection(true);
    const QImage hidden = Paint(*s);
    EXPECT_EQ(hidden.pixel(0, 0), 0xFF000000u);
    s->SetHideSelection(false);
    s->SetEnabled(false);
    const QImage grey = Paint(*s);
    EXPECT_EQ(grey.pixel(0, 0), 0xFF808080u) << s->ClassName();
  }
  EXPECT_EQ(OverlayGripColor(true, true), 0xFFFF0000u);
  EXPECT_EQ(OverlayGripColor(true, false), 0xFFFFFFFFu);
}

TEST(Overlays, ReleaseReachesTheHandlerInTheParentsCoordinates) {
  TPaintBox box;
  box.SetSize(400, 300);
  box.SetScale({2, 2});
  auto* band = new TInBoxSelection(&box);
  band->SetParent(&box);
  band->SetBounds(50, 40, 100, 80);
  TPointF got{-1, -1};
  band->OnMouseUp = [&](TControl*, TMouseButton, TShiftState, float x, float y) { got = {x, y}; };
  band->MouseUp(TMouseButton::mbLeft, 0, 10, 20);
  EXPECT_EQ(got, TPointF(60, 60));

  // Without a handler of its own the frame ends a drag as any selection does.
  auto* frame = new TCoordSystemSelection(&box);
  frame->SetParent(&box);
  frame->SetBounds(10, 10, 50, 50);
  int changes = 0;
  frame->OnChange = [&](TControl*) { ++changes; };
  frame->MouseDown(TMouseButton::mbLeft, ssLeft, 20, 20);
  frame->MouseMove(ssLeft, 30, 30);
  frame->MouseUp(TMouseButton::mbLeft, 0, 30, 30);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(frame->Position(), TPointF(20, 20));
}

}  // namespace
