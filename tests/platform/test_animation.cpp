// Float animations of control properties: values over time with auto-reverse
// and loop, finishing, stopping, changing and losing the parent, and the
// real-time driver.
#include <gtest/gtest.h>

#include <QTest>
#include <functional>
#include <memory>

#include "platform/Animation.h"
#include "platform/Shapes.h"

namespace karto {
namespace {

constexpr float kTol = 1e-5f;

// Opacity of a rectangle from 0 to 1 over 2 seconds.
struct TFadeScene {
  TFadeScene() {
    anim.SetParent(shape.get());
    anim.SetPropertyName("Opacity");
    anim.StartValue = 0;
    anim.StopValue = 1;
    anim.Duration = 2;
  }
  std::unique_ptr<TRectangle> shape = std::make_unique<TRectangle>();
  TFloatAnimation anim;
};

TEST(AnimationValues, FollowTimeWithAutoReverseAndLoop) {
  struct Case {
    bool autoReverse;
    bool loop;
    double t;
    float expected;
    bool running;
  };
  const Case cases[] = {
      // One pass, then it holds StopValue.
      {false, false, 0, 0, true},
      {false, false, 0.5, 0.25, true},
      {false, false, 2, 1, false},
      {false, false, 3, 1, false},
      // Forward in 2 s, back in 2 s, then it holds StartValue.
      {true, false, 1, 0.5, true},
      {true, false, 2, 1, true},
      {true, false, 3, 0.5, true},
      {true, false, 4, 0, false},
      {true, false, 5, 0, false},
      // Passes repeat from StartValue.
      {false, true, 2.5, 0.25, true},
      {false, true, 5, 0.5, true},
      // Forward and back, repeated: 6.5 s is 2.5 s into the third cycle.
      {true, true, 5, 0.5, true},
      {true, true, 6.5, 0.75, true},
  };
  for (const Case& c : cases) {
    TFadeScene s;
    s.anim.AutoReverse = c.autoReverse;
    s.anim.Loop = c.loop;
    s.anim.Start();
    s.anim.ProcessTick(c.t);
    const std::string what = std::string(c.autoReverse ? "reverse " : "") +
                             (c.loop ? "loop " : "") + "t=" + std::to_string(c.t);
    EXPECT_NEAR(s.shape->Opacity(), c.expected, kTol) << what;
    EXPECT_EQ(s.anim.Running(), c.running) << what;
    EXPECT_NEAR(s.anim.ValueAt(c.t), c.expected, kTol) << what;
  }
}

TEST(AnimationFinish, SmallTicksEndExactlyOnTheFinalValue) {
  struct Case {
    const char* what;
    double duration;
    bool autoReverse;
    bool loop;
    float final;
  };
  const Case cases[] = {
      {"forward", 2, false, false, 1},
      {"forward and back", 2, true, false, 0},
      // Nothing to run: the final value at once, even when looping.
      {"zero duration", 0, false, false, 1},
      {"zero duration, looping", 0, false, true, 1},
      {"zero duration, forward and back", 0, true, false, 0},
  };
  for (const Case& c : cases) {
    TFadeScene s;
    s.shape->SetOpacity(0.5f);
    s.anim.Duration = c.duration;
    s.anim.AutoReverse = c.autoReverse;
    s.anim.Loop = c.loop;
    s.anim.Start();
    int ticks = 0;
    while (s.anim.Running() && ticks < 1000) {
      s.anim.ProcessTick(0.1);
      ++ticks;
    }
    EXPECT_FALSE(s.anim.Running()) << c.what;
    EXPECT_EQ(s.shape->Opacity(), c.final) << c.what;
  }
}

TEST(AnimationStop, LeavesTheLastValue) {
  const std::pair<const char*, std::function<void(TFloatAnimation&)>> stops[] = {
      {"Stop", [](TFloatAnimation& a) { a.Stop(); }},
      {"Enabled off", [](TFloatAnimation& a) { a.SetEnabled(false); }},
  };
  for (const auto& [what, stop] : stops) {
    TFadeScene s;
    s.anim.Loop = true;
    s.anim.SetEnabled(true);  // starts it
    ASSERT_TRUE(s.anim.Running()) << what;
    s.anim.ProcessTick(0.5);
    stop(s.anim);
    EXPECT_FALSE(s.anim.Running()) << what;
    EXPECT_NEAR(s.shape->Opacity(), 0.25f, kTol) << what;
    s.anim.ProcessTick(1);  // a stopped animation ignores ticks
    EXPECT_NEAR(s.shape->Opacity(), 0.25f, kTol) << what;
  }
}

TEST(AnimationProperty, AnimatesTheNamedPropertyOnly) {
  struct Case {
    const char* name;
    float stop;
    float expectedOpacity;
    float expectedAngle;
  };
  const Case cases[] = {
      {"Opacity", 1, 0.5f, 0},
      {"RotationAngle", 90, 1, 45},
      {"opacity", 1, 1, 0},  // names are case-sensitive: unknown, nothing moves
      {"Width", 1, 1, 0},
  };
  for (const Case& c : cases) {
    TFadeScene s;
    s.anim.SetPropertyName(c.name);
    s.anim.StopValue = c.stop;
    s.shape->SetOpacity(1);
    s.anim.SetCurrentTime(1);
    EXPECT_NEAR(s.shape->Opacity(), c.expectedOpacity, kTol) << c.name;
    EXPECT_NEAR(s.shape->RotationAngle(), c.expectedAngle, kTol) << c.name;
    EXPECT_EQ(s.shape->Width(), 0) << c.name;
  }
}

TEST(AnimationParent, MovesBetweenParentsAndSurvivesItsParent) {
  TFadeScene s;
  auto other = std::make_unique<TRectangle>();
  s.anim.Loop = true;
  s.anim.Start();
  s.anim.ProcessTick(0.5);
  // Re-parented: the new parent moves on, the old one keeps what it had.
  s.anim.SetParent(other.get());
  s.anim.ProcessTick(0.5);
  EXPECT_NEAR(s.shape->Opacity(), 0.25f, kTol);
  EXPECT_NEAR(other->Opacity(), 0.5f, kTol);

  other.reset();
  EXPECT_EQ(s.anim.Parent(), nullptr);
  EXPECT_TRUE(s.anim.Running());
  s.anim.ProcessTick(0.5);  // stops: nothing left to animate
  EXPECT_FALSE(s.anim.Running());
  s.anim.SetCurrentTime(1);  // harmless without a parent
  EXPECT_NEAR(s.shape->Opacity(), 0.25f, kTol);
}

TEST(AnimationDriver, RunsInRealTimeToTheEnd) {
  TFadeScene s;
  s.anim.Duration = 0.05;
  s.anim.Start();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !s.anim.Running(); }, 5000));
  EXPECT_EQ(s.shape->Opacity(), 1.0f);
}

}  // namespace
}  // namespace karto
