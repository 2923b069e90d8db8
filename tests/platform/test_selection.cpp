// Selection frames and points driven through the pointer dispatcher, as the
// 2D view drives them: moving, resizing from each corner, hover, events,
// drawing, and a frame freed by its own change handler.
#include <gtest/gtest.h>

#include <memory>

#include "platform/PointerInput.h"
#include "platform/Renderer.h"
#include "platform/Selection.h"

namespace karto {
namespace {

constexpr float kTol = 1e-4f;

// Root 400 x 400 holding a paper layout (which tests scale and move), which
// holds the frame at (100, 100), 80 x 60, with grips of radius 7.
struct TFrameScene {
  TFrameScene() {
    root->SetSize(400, 400);
    paper->SetParent(root.get());
    paper->SetSize(400, 400);
    sel->SetParent(paper);
    sel->SetBounds(100, 100, 80, 60);
    sel->SetGripSize(7);
  }

  // Absolute point of a point local to c (the frame by default).
  TPointF Abs(TPointF local, const TControl* c = nullptr) const {
    return (c ? c : sel)->LocalToAbsolute(local);
  }

  // Press at from, move to to in steps, release: a drag as the host reports it.
  void Drag(TPointF from, TPointF to, int steps = 3) {
    disp.MouseDown(*root, from, TMouseButton::mbLeft, ssLeft);
    for (int i = 1; i <= steps; ++i)
      disp.MouseMove(*root, from + (to - from) * (float(i) / float(steps)), ssLeft);
    disp.MouseUp(*root, to, TMouseButton::mbLeft, 0);
  }

  std::unique_ptr<TLayout> root = std::make_unique<TLayout>();
  TLayout* paper = new TLayout(root.get());
  TSelection* sel = new TSelection(root.get());
  TPointerDispatcher disp;
};

// Position and size against a rectangle given by its edges in the parent's
// coordinates, for a control of the given scale.
void ExpectPlacement(const TControl* c, TRectF edges, const char* what) {
  const TPointF s = c->Scale();
  EXPECT_NEAR(c->Position().X, edges.Left, kTol) << what;
  EXPECT_NEAR(c->Position().Y, edges.Top, kTol) << what;
  EXPECT_NEAR(c->Width(), edges.Width() / s.X, kTol) << what;
  EXPECT_NEAR(c->Height(), edges.Height() / s.Y, kTol) << what;
}

bool IsRedish(QRgb c) { return qRed(c) > 200 && qGreen(c) < 120 && qBlue(c) < 120; }

TEST(SelectionMove, DraggingTheBodyMovesByThePointerDeltaInParentUnits) {
  struct Case {
    const char* what;
    TPointF paperScale;
    TPointF paperPosition;
    TPointF hostOffset;
    TPointF pointerDelta;  // absolute
    TPointF expectedPosition;
  };
  const Case cases[] = {
      {"plain", {1, 1}, {0, 0}, {0, 0}, {30, -20}, {130, 80}},
      // The parent's scale divides the pointer's travel.
      {"parent scaled 2", {2, 2}, {0, 0}, {0, 0}, {30, -20}, {115, 90}},
      {"parent scaled unevenly, moved, in an offset host",
       {0.5f, 4}, {13, 17}, {50, 60}, {30, -20}, {160, 95}},
  };
  for (const Case& c : cases) {
    TFrameScene t;
    t.paper->SetScale(c.paperScale);
    t.paper->SetPosition(c.paperPosition);
    t.root->SetHostMatrix(TMatrix::CreateTranslation(c.hostOffset.X, c.hostOffset.Y));
    const TPointF from = t.Abs({40, 30});
    t.Drag(from, from + c.pointerDelta);
    const TPointF p = c.expectedPosition;
    ExpectPlacement(t.sel, {p.X, p.Y, p.X + 80, p.Y + 60}, c.what);
  }
}

TEST(SelectionResize, DraggingAGripResizesWithTheOppositeCornerFixed) {
  // The frame starts at (100, 100), 80 x 60: corners (100, 100) .. (180, 160).
  constexpr float m = TSelection::MinSize;
  struct Case {
    const char* what;
    TGrip grip;
    TPointF pointerDelta;
    TPointF selScale;
    bool proportional;
    TRectF expected;  // edges in the parent's coordinates
  };
  const Case cases[] = {
      {"left-top", TGrip::grLeftTop, {10, 5}, {1, 1}, false, {110, 105, 180, 160}},
      {"right-top", TGrip::grRightTop, {10, 5}, {1, 1}, false, {100, 105, 190, 160}},
      {"left-bottom", TGrip::grLeftBottom, {10, 5}, {1, 1}, false, {110, 100, 180, 165}},
      {"right-bottom", TGrip::grRightBottom, {10, 5}, {1, 1}, false, {100, 100, 190, 165}},
      // Dragged across the opposite corner: the frame stops at MinSize.
      {"right-bottom past left-top", TGrip::grRightBottom, {-200, -200}, {1, 1}, false,
       {100, 100, 100 + m, 100 + m}},
      {"left-top past right-bottom", TGrip::grLeftTop, {200, 200}, {1, 1}, false,
       {180 - m, 160 - m, 180, 160}},
      // A frame scaled 2 covers (100, 100) .. (260, 220) in its parent.
      {"scaled right-bottom", TGrip::grRightBottom, {20, 10}, {2, 2}, false,
       {100, 100, 280, 230}},
      {"scaled left-top", TGrip::grLeftTop, {20, 10}, {2, 2}, false, {120, 110, 260, 220}},
      // Proportional: the larger factor wins, 80 x 60 stays 4 : 3.
      {"proportional right-bottom", TGrip::grRightBottom, {40, 0}, {1, 1}, true,
       {100, 100, 220, 190}},
      {"proportional left-top", TGrip::grLeftTop, {-20, -30}, {1, 1}, true, {60, 70, 180, 160}},
  };
  for (const Case& c : cases) {
    TFrameScene t;
    t.sel->SetScale(c.selScale);
    t.sel->SetProportional(c.proportional);
    const TPointF from = t.Abs(t.sel->GripCenter(c.grip));
    t.Drag(from, from + c.pointerDelta);
    ExpectPlacement(t.sel, c.expected, c.what);
  }
}

class SelectionTest : public ::testing::Test {
 protected:
  TFrameScene s;
  TControl& root = *s.root;
  TSelection* sel = s.sel;
  TPointerDispatcher& disp = s.disp;
};

TEST_F(SelectionTest, HotGripFollowsTheHoveringPointer) {
  struct Step {
    TPointF local;  // relative to the frame's left-top corner
    TGrip expected;
  };
  const Step steps[] = {
      {{-4, -4}, TGrip::grLeftTop},  // outside the rectangle, inside the grip circle
      {{84, -3}, TGrip::grRightTop},
      {{2, 63}, TGrip::grLeftBottom},
      {{80, 60}, TGrip::grRightBottom},
      {{40, 30}, TGrip::grNone},  // the body
      {{3, 3}, TGrip::grLeftTop},
      {{-6, -6}, TGrip::grNone},  // beyond the circle: the pointer left the frame
  };
  for (const Step& st : steps) {
    disp.MouseMove(root, s.Abs(st.local), 0);
    EXPECT_EQ(sel->HotGrip(), st.expected) << st.local.X << "," << st.local.Y;
  }
  // Leaving the host clears it too.
  disp.MouseMove(root, s.Abs({80, 60}), 0);
  disp.MouseLeave(root);
  EXPECT_EQ(sel->HotGrip(), TGrip::grNone);
}

TEST_F(SelectionTest, TrackFiresDuringTheDragAndChangeOnlyOnARelease) {
  int tracks = 0, changes = 0;
  TPointF trackedPosition;
  sel->OnTrack = [&](TControl* c) {
    ++tracks;
    trackedPosition = c->Position();
  };
  sel->OnChange = [&](TControl*) { ++changes; };

  const TPointF p0 = s.Abs({40, 30});
  disp.MouseDown(root, p0, TMouseButton::mbLeft, ssLeft);
  disp.MouseMove(root, p0 + TPointF(5, 0), ssLeft);
  disp.MouseMove(root, p0 + TPointF(10, 0), ssLeft);
  EXPECT_EQ(tracks, 2);
  EXPECT_EQ(changes, 0);
  EXPECT_FLOAT_EQ(trackedPosition.X, 110);  // OnTrack sees the frame already moved
  disp.MouseUp(root, p0 + TPointF(10, 0), TMouseButton::mbLeft, 0);
  EXPECT_EQ(changes, 1);

  // A click that moves nothing changes nothing.
  const TPointF p1 = s.Abs({40, 30});
  s.Drag(p1, p1, 1);
  EXPECT_EQ(changes, 1);
}

TEST(SelectionPaint, HideSelectionDrawsNothingAndTheHotGripIsHighlighted) {
  struct Case {
    const char* what;
    bool hide;
    bool hoverRightBottom;
    bool expectDrawn;
    bool expectRedGrip;
  };
  const Case cases[] = {
      {"shown", false, false, true, false},
      {"shown, right-bottom hot", false, true, true, true},
      {"hidden", true, false, false, false},
      {"hidden, right-bottom hot", true, true, false, false},
  };
  for (const Case& c : cases) {
    TFrameScene t;
    t.sel->SetHideSelection(c.hide);
    if (c.hoverRightBottom) t.disp.MouseMove(*t.root, t.Abs({80, 60}), 0);
    const QImage img = RenderToImage(*t.root, 300, 300);
    // Nothing else in the tree draws: any non-white pixel is the frame's.
    int drawn = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) drawn += img.pixel(x, y) != 0xFFFFFFFFu;
    EXPECT_EQ(drawn > 0, c.expectDrawn) << c.what << ": " << drawn << " pixels";
    EXPECT_EQ(IsRedish(img.pixel(180, 160)), c.expectRedGrip) << c.what;
  }
}

// A rubber band: Paint and MouseUp overridden, freed by its change handler.
class TRubberBand : public TSelection {
 public:
  TRubberBand(TControl* owner, int& releases) : TSelection(owner), m_releases(releases) {}
  void Paint(QPainter&) override {}
  void MouseUp(TMouseButton button, TShiftState shift, float x, float y) override {
    ++m_releases;
    TSelection::MouseUp(button, shift, x, y);  // may free this: nothing after it
  }

 private:
  int& m_releases;
};

TEST_F(SelectionTest, FrameFreedByItsChangeHandlerOnReleaseIsSafe) {
  int releases = 0, changes = 0;
  auto* band = new TRubberBand(s.root.get(), releases);
  band->SetParent(s.paper);
  band->SetBounds(100, 100, 10, 10);
  band->OnChange = [&changes](TControl* sender) {
    ++changes;
    delete sender;
  };
  const TControlRef ref(band);
  const TPointF from = s.Abs({10, 10}, band);
  s.Drag(from, from + TPointF(50, 40));
  EXPECT_EQ(releases, 1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(ref.Get(), nullptr);
  // The pointer over the place it had finds the frame below it.
  EXPECT_EQ(disp.MouseMove(root, from, 0), sel);
  EXPECT_EQ(s.paper->ChildrenCount(), 1);
}

TEST_F(SelectionTest, PointDragsInParentUnitsAndReportsTrackAndChange) {
  s.paper->SetScale({2, 2});
  auto* point = new TSelectionPoint(s.root.get());
  point->SetParent(s.paper);
  point->SetPosition({20, 20});  // absolute (40, 40), clear of the frame
  point->SetGripSize(7);
  int tracks = 0, changes = 0;
  point->OnTrack = [&](TControl*) { ++tracks; };
  point->OnChange = [&](TControl*) { ++changes; };

  const TPointF from = s.Abs({1, 1}, point);  // anywhere inside the grip
  disp.MouseDown(root, from, TMouseButton::mbLeft, ssLeft);
  for (int i = 1; i <= 3; ++i) disp.MouseMove(root, from + TPointF(10.f * i, -4.f * i), ssLeft);
  EXPECT_EQ(tracks, 3);
  EXPECT_EQ(changes, 0);
  disp.MouseUp(root, from + TPointF(30, -12), TMouseButton::mbLeft, 0);
  EXPECT_EQ(changes, 1);
  EXPECT_NEAR(point->Position().X, 35, kTol);
  EXPECT_NEAR(point->Position().Y, 14, kTol);
}

TEST_F(SelectionTest, PointIsHitWithinItsGripCircle) {
  auto* point = new TSelectionPoint(s.root.get());
  point->SetParent(s.paper);
  point->SetPosition({40, 40});
  point->SetGripSize(7);
  struct Case {
    TPointF offset;
    bool hit;
  };
  const Case cases[] = {
      {{0, 0}, true}, {{4, 4}, true}, {{-7, 0}, true}, {{0, 7}, true},
      {{6, 6}, false}, {{7.5f, 0}, false}, {{0, -8}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ObjectAtPoint(root, point->Position() + c.offset) == point, c.hit)
        << c.offset.X << "," << c.offset.Y;
}

}  // namespace
}  // namespace karto
