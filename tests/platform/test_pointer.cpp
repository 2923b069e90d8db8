// Pointer dispatch over a display-object tree: hit testing, local
// coordinates, capture, hover, and handlers that free controls.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/PointerInput.h"

namespace karto {
namespace {

// A control that logs every event as "Name:kind" and frees itself on the
// event named by DeleteOn (after logging it).
class TProbe : public TControl {
 public:
  TProbe(TControl* parent, const std::string& name, TRectF r, std::vector<std::string>& log)
      : TControl(parent), m_log(log) {
    SetName(name);
    SetBounds(r.Left, r.Top, r.Width(), r.Height());
    if (parent) SetParent(parent);
  }
  ~TProbe() override { m_log.push_back(Name() + ":destroyed"); }

  std::string DeleteOn;
  TPointF LastLocal;
  TShiftState LastShift = 0;

  void MouseDown(TMouseButton, TShiftState shift, float x, float y) override {
    LastShift = shift;
    Event("down", x, y);
  }
  void MouseMove(TShiftState, float x, float y) override { Event("move", x, y); }
  void MouseUp(TMouseButton, TShiftState, float x, float y) override { Event("up", x, y); }
  void DblClick() override { Event("dbl", LastLocal.X, LastLocal.Y); }
  void MouseEnter() override { Event("enter", LastLocal.X, LastLocal.Y); }
  void MouseLeave() override { Event("leave", LastLocal.X, LastLocal.Y); }

 private:
  void Event(const char* kind, float x, float y) {
    LastLocal = {x, y};
    m_log.push_back(Name() + ":" + kind);
    if (DeleteOn == kind) delete this;
  }
  std::vector<std::string>& m_log;
};

// Root 200 x 200; A at (10, 10) and B at (60, 60), both 100 x 100, B on top,
// so they overlap over (60..110, 60..110).
struct TScene {
  TScene()
      : root(std::make_unique<TProbe>(nullptr, "Root", TRectF(0, 0, 200, 200), log)),
        a(new TProbe(root.get(), "A", {10, 10, 110, 110}, log)),
        b(new TProbe(root.get(), "B", {60, 60, 160, 160}, log)) {}

  std::string At(TPointF p) {
    TControl* c = ObjectAtPoint(*root, p);
    return c ? c->Name() : "";
  }
  // A 20 x 20 child of B at B's local (x, y).
  TProbe* AddChildOfB(float x, float y) {
    return new TProbe(b, "C", {x, y, x + 20, y + 20}, log);
  }

  std::vector<std::string> log;
  std::unique_ptr<TProbe> root;
  TProbe* a;
  TProbe* b;
  TPointerDispatcher disp;
};

class PointerTest : public ::testing::Test {
 protected:
  TScene s;
  std::vector<std::string>& log = s.log;
  TProbe* root = s.root.get();
  TProbe* a = s.a;
  TProbe* b = s.b;
  TPointerDispatcher& disp = s.disp;
};

TEST(PointerHitTest, FindsTopmostDeepestReachableControl) {
  struct Case {
    const char* what;
    std::function<void(TScene&)> setup;
    TPointF at;
    const char* expected;
  };
  const Case cases[] = {
      // Stacking: later siblings are on top; empty space is the root's.
      {"overlap goes to the later sibling", nullptr, {80, 80}, "B"},
      {"only A there", nullptr, {20, 20}, "A"},
      {"empty space is the root's", nullptr, {190, 10}, "Root"},
      {"outside the root is nothing", nullptr, {250, 250}, ""},
      // Controls that do not take the point let it through to A below.
      {"invisible", [](TScene& t) { t.b->SetVisible(false); }, {80, 80}, "A"},
      {"HitTest false", [](TScene& t) { t.b->SetHitTest(false); }, {80, 80}, "A"},
      {"disabled", [](TScene& t) { t.b->SetEnabled(false); }, {80, 80}, "A"},
      {"zero scale", [](TScene& t) { t.b->SetScale({0, 0}); }, {80, 80}, "A"},
      // Children: deepest first; HitTest false keeps them, hiding does not.
      {"child over its parent", [](TScene& t) { t.AddChildOfB(0, 0); }, {65, 65}, "C"},
      {"child of a HitTest-false parent",
       [](TScene& t) { t.AddChildOfB(0, 0); t.b->SetHitTest(false); }, {65, 65}, "C"},
      {"beside that child",
       [](TScene& t) { t.AddChildOfB(0, 0); t.b->SetHitTest(false); }, {100, 100}, "A"},
      {"child of an invisible parent",
       [](TScene& t) { t.AddChildOfB(0, 0); t.b->SetVisible(false); }, {65, 65}, "A"},
      {"child of a disabled parent",
       [](TScene& t) { t.AddChildOfB(0, 0); t.b->SetEnabled(false); }, {65, 65}, "A"},
      // A child outside its parent is hit unless the parent clips.
      {"child outside its parent", [](TScene& t) { t.AddChildOfB(-40, -40); }, {30, 30}, "C"},
      {"child outside a clipping parent",
       [](TScene& t) { t.AddChildOfB(-40, -40); t.b->SetClipChildren(true); }, {30, 30}, "A"},
  };
  for (const Case& c : cases) {
    TScene t;
    if (c.setup) c.setup(t);
    EXPECT_EQ(t.At(c.at), c.expected) << c.what;
  }
}

TEST(PointerLocal, HandlersGetPointsInTheirOwnCoordinates) {
  // The root sits at (5, 7) in its host; P is placed at (100, 0) with scale
  // 2 and holds D at (10, 10): D's local (2, 3) is absolute (129, 33).
  std::vector<std::string> log;
  TProbe root(nullptr, "Root", {0, 0, 300, 300}, log);
  root.SetHostMatrix(TMatrix::CreateTranslation(5, 7));
  TProbe* p = new TProbe(&root, "P", {100, 0, 150, 50}, log);
  p->SetScale({2, 2});
  TProbe* d = new TProbe(p, "D", {10, 10, 30, 30}, log);

  TPointerDispatcher disp;
  ASSERT_EQ(disp.MouseDown(root, {129, 33}, TMouseButton::mbLeft, ssLeft), d);
  EXPECT_FLOAT_EQ(d->LastLocal.X, 2);
  EXPECT_FLOAT_EQ(d->LastLocal.Y, 3);
  // Moved by code during the drag, D still gets points in its new frame.
  d->SetPosition({20, 10});
  disp.MouseMove(root, {129, 33}, ssLeft);
  EXPECT_FLOAT_EQ(d->LastLocal.X, -8);
  EXPECT_FLOAT_EQ(d->LastLocal.Y, 3);
}

TEST_F(PointerTest, PressedControlKeepsMovesAndReleaseUntilReleased) {
  EXPECT_EQ(disp.MouseDown(*root, {20, 20}, TMouseButton::mbLeft, ssLeft), a);
  // Over B, and then outside the root: still A's.
  EXPECT_EQ(disp.MouseMove(*root, {150, 150}, ssLeft), a);
  EXPECT_FLOAT_EQ(a->LastLocal.X, 140);
  EXPECT_EQ(disp.MouseMove(*root, {300, 300}, ssLeft), a);
  EXPECT_EQ(disp.MouseUp(*root, {150, 150}, TMouseButton::mbLeft, 0), a);
  // Released over B: hover moves there, and so do the next moves.
  EXPECT_EQ(disp.MouseMove(*root, {150, 150}, 0), b);
  const std::vector<std::string> expected = {"A:enter", "A:down", "A:move", "A:move",
                                             "A:up",    "A:leave", "B:enter", "B:move"};
  EXPECT_EQ(log, expected);
}

TEST_F(PointerTest, HoverSendsEnterAndLeaveWhenTheControlUnderThePointerChanges) {
  disp.MouseMove(*root, {20, 20}, 0);
  disp.MouseMove(*root, {25, 25}, 0);
  disp.MouseMove(*root, {80, 80}, 0);
  disp.MouseLeave(*root);
  const std::vector<std::string> expected = {"A:enter", "A:move",  "A:move", "A:leave",
                                             "B:enter", "B:move", "B:leave"};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(disp.Hovered(), nullptr);
}

TEST_F(PointerTest, DoubleClickIsAPressThatThePairedReleaseEnds) {
  disp.MouseDown(*root, {20, 20}, TMouseButton::mbLeft, ssLeft);
  disp.MouseUp(*root, {20, 20}, TMouseButton::mbLeft, 0);
  EXPECT_EQ(disp.DblClick(*root, {20, 20}), a);
  EXPECT_TRUE(a->LastShift & ssDouble);
  // The release lands on A even away from it.
  EXPECT_EQ(disp.MouseUp(*root, {150, 150}, TMouseButton::mbLeft, 0), a);
  const std::vector<std::string> expected = {"A:enter", "A:down", "A:up",  "A:down",
                                             "A:dbl",   "A:up",   "A:leave", "B:enter"};
  EXPECT_EQ(log, expected);
}

// B frees itself at one stage of the same gesture; the dispatcher must never
// reach it again and must carry on with A (run under ASan to see misuse).
TEST(PointerFreed, ControlFreedByItsOwnHandlerIsNeverTouchedAgain) {
  for (const char* stage : {"enter", "move", "down", "up", "dbl", "leave"}) {
    TScene t;
    t.b->DeleteOn = stage;
    t.disp.MouseMove(*t.root, {80, 80}, 0);
    t.disp.MouseMove(*t.root, {85, 85}, 0);
    t.disp.DblClick(*t.root, {85, 85});
    t.disp.MouseMove(*t.root, {150, 150}, ssLeft);
    t.disp.MouseUp(*t.root, {150, 150}, TMouseButton::mbLeft, 0);
    t.disp.MouseLeave(*t.root);
    // A press over B's old place and a move over A end up with A.
    EXPECT_EQ(t.disp.MouseDown(*t.root, {80, 80}, TMouseButton::mbLeft, ssLeft), t.a) << stage;
    t.disp.MouseUp(*t.root, {80, 80}, TMouseButton::mbLeft, 0);

    // Nothing of B's after its destruction.
    const auto gone = std::find(t.log.begin(), t.log.end(), "B:destroyed");
    ASSERT_NE(gone, t.log.end()) << stage;
    EXPECT_EQ(*(gone - 1), std::string("B:") + stage);
    EXPECT_EQ(std::find_if(gone + 1, t.log.end(),
                           [](const std::string& e) { return e.rfind("B:", 0) == 0; }),
              t.log.end())
        << stage;
  }
}

TEST_F(PointerTest, FreedPressedControlSwallowsTheRestOfItsPress) {
  b->DeleteOn = "down";
  disp.MouseDown(*root, {80, 80}, TMouseButton::mbLeft, ssLeft);
  EXPECT_TRUE(disp.Pressed());
  EXPECT_EQ(disp.MouseMove(*root, {20, 20}, ssLeft), nullptr);
  EXPECT_EQ(disp.MouseUp(*root, {20, 20}, TMouseButton::mbLeft, 0), nullptr);
  EXPECT_EQ(disp.MouseMove(*root, {20, 20}, 0), a);
}

TEST_F(PointerTest, HoveredControlFreedBetweenEventsGetsNoLeave) {
  disp.MouseMove(*root, {80, 80}, 0);
  delete b;
  EXPECT_EQ(disp.Hovered(), nullptr);
  EXPECT_EQ(disp.MouseMove(*root, {80, 80}, 0), a);
  const std::vector<std::string> expected = {"B:enter", "B:move", "B:destroyed", "A:enter",
                                             "A:move"};
  EXPECT_EQ(log, expected);
}

TEST_F(PointerTest, CaptureCanBeHandedToAnotherControl) {
  disp.MouseDown(*root, {20, 20}, TMouseButton::mbLeft, ssLeft);
  disp.SetCapture(b);
  EXPECT_EQ(disp.MouseMove(*root, {20, 20}, ssLeft), b);
  EXPECT_EQ(disp.MouseUp(*root, {20, 20}, TMouseButton::mbLeft, 0), b);
  EXPECT_EQ(disp.Captured(), nullptr);
}

}  // namespace
}  // namespace karto
