// The adjustment chain: stage order, which stages join, and that each run
// starts from the untouched source.

#include <gtest/gtest.h>

#include "imaging/AdjustmentChain.h"
#include "tests/support/Synthetic.h"

using namespace karto;

namespace {

class ChainTest : public ::testing::Test {
 protected:
  TBitmap source = synthetic::PhotoLike(50, 40, 4);
  std::unique_ptr<TFilter> contrast = FilterManager::CreateFilter("Contrast");
  std::unique_ptr<TFilter> sharpen = FilterManager::CreateFilter("Sharpen");
  std::unique_ptr<TFilter> sketch = FilterManager::CreateFilter("PaperSketch");

  TBitmap Apply(TFilter& f, const TBitmap& in) {
    f.SetInput(in);
    return f.Output();
  }
  TAdjustmentStages Stages(bool c, bool s, bool p) {
    return {contrast.get(), c, sharpen.get(), s, sketch.get(), p};
  }
};

TEST_F(ChainTest, StagesRunInOrderEachOnThePreviousResult) {
  const TBitmap copy = source;
  struct Case {
    bool c, s, p;
  };
  const Case cases[] = {{true, false, false}, {false, true, false}, {false, false, true}, {true, true, false},
                        {true, false, true},  {false, true, true},  {true, true, true}};
  for (const Case& k : cases) {
    TBitmap expected = source;
    if (k.c) expected = Apply(*contrast, expected);
    if (k.s) expected = Apply(*sharpen, expected);
    if (k.p) expected = Apply(*sketch, expected);
    EXPECT_EQ(RunAdjustmentChain(source, Stages(k.c, k.s, k.p)), expected) << k.c << k.s << k.p;
  }
  EXPECT_EQ(source, copy) << "the source is never changed";
}

TEST_F(ChainTest, NoStageGivesACopyAndMissingFiltersAreSkipped) {
  EXPECT_EQ(RunAdjustmentChain(source, Stages(false, false, false)), source);
  TAdjustmentStages missing{nullptr, true, sharpen.get(), true, nullptr, true};
  EXPECT_EQ(RunAdjustmentChain(source, missing), Apply(*sharpen, source));
  EXPECT_TRUE(RunAdjustmentChain(TBitmap(), Stages(true, true, true)).IsEmpty());
}

TEST_F(ChainTest, OptionsJoinTheirStages) {
  // Brightness alone brings the contrast stage with the contrast default.
  TAdjustmentOptions o;
  o.brightness = 0.2f;
  contrast->SetFloat("Brightness", 0.2f);
  EXPECT_EQ(ApplyAdjustmentOptions(source, o), Apply(*contrast, source));
  // A pen size switches the sketch on without --sketch.
  TAdjustmentOptions pen;
  pen.penSize = 5;
  sketch->SetFloat("BrushSize", 5);
  EXPECT_EQ(ApplyAdjustmentOptions(source, pen), Apply(*sketch, source));
  EXPECT_EQ(ApplyAdjustmentOptions(source, TAdjustmentOptions{}), source);
}

}  // namespace
