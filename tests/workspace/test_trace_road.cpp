// The trace road end to end on line art with known strokes: what the
// centre-line engine draws, rendered by Karto's own renderer, against the
// drawing (dark-pixel IoU), its widths and colours against the known
// strokes, and its points against the stroke follower's on the same
// picture. The small pictures here are harder than the big set the
// trace-fidelity report measures (more ends and crossings per stroke), so
// the bounds sit a little below its figures.

#include <gtest/gtest.h>

#include "imaging/AdjustmentChain.h"
#include "platform/Renderer.h"
#include "platform/Shapes.h"
#include "tests/support/LineArt.h"
#include "workspace/CentrelineShapes.h"
#include "workspace/TraceRoad.h"
#include "workspace/TraceShapes.h"

using namespace karto;
using namespace karto::lineart;

namespace {

struct TTraced {
  std::unique_ptr<TTraceRun> run;
  QImage drawn;
};

TTraced TraceArt(const TBitmap& picture, TTraceEngine engine, bool sketch) {
  TAdjustmentOptions o;
  o.sketch = sketch;
  static TBitmap prepared;
  prepared = ApplyAdjustmentOptions(picture, o);
  TTraceSettings settings;
  settings.Engine = engine;
  TTraced t;
  t.run = TTraceRun::Trace(prepared, picture, settings);
  TPaintBox view;
  if (engine == TTraceEngine::Follower) ClearPanel(view);
  t.run->DrawShapes(view);
  view.SetSize(float(picture.Width()), float(picture.Height()));
  t.drawn = RenderToImage(view, picture.Width(), picture.Height());
  return t;
}


}  // namespace

TEST(TraceFidelity, CentreLinesFollowTheDrawing) {
  struct Case {
    TStyle style;
    double iou, meanWidth;
    int colour;
  };
  const Case cases[] = {
      {{true, false, false}, 0.9, 0.25, 5},  {{false, false, false}, 0.9, 0.25, 5},
      {{true, true, false}, 0.9, 0.25, 20},  {{false, true, false}, 0.9, 0.35, 20},
      {{true, false, true}, 0.9, 0.25, 10},  {{true, true, true}, 0.9, 0.25, 50},
      {{true, false, false, true}, 0.9, 0.3, 20},
  };
  uint32_t seed = 5;
  for (const Case& c : cases) {
    const TLineArt art = MakeLineArt(480, 360, 12, c.style, seed++);
    SCOPED_TRACE(art.Name);
    const TTraced centre = TraceArt(art.Picture, TTraceEngine::Centreline, false);
    ASSERT_TRUE(centre.run->Traced());
    const double iou = DarkIoU(centre.drawn, art.Clean);
    const TStrokeMatch m = MatchStrokes(art, TracedStrokes(*centre.run->Drawing()));
    const TTraced follower = TraceArt(art.Picture, TTraceEngine::Follower, true);
    EXPECT_GE(iou, c.iou);
    EXPECT_GE(m.Found, m.Measured - 1) << "nearly every lone stroke found";
    EXPECT_LE(m.MeanWidth, c.meanWidth);
    EXPECT_LE(m.WorstColour, c.colour);
    EXPECT_GE(follower.run->Points(), 8 * centre.run->Points()) << "far fewer points than the follower";
  }
}

// Paper in poor light falls below the ink threshold in places; evening it
// out first keeps the shadow from turning into ink.
TEST(TraceFidelity, ShadowedPaperIsStillPaper) {
  const TLineArt art = MakeLineArt(480, 360, 12, {true, false, false, true}, 17);
  for (bool even : {false, true}) {
    TCentrelineParams params;
    params.EvenPaper = even;
    const TCentrelineDrawing d = TraceCentrelines(art.Picture, art.Picture, params);
    TPaintBox view;
    DrawCentrelineShapes(d, view);
    const double iou = DarkIoU(RenderToImage(view, art.Picture.Width(), art.Picture.Height()), art.Clean);
    if (even) EXPECT_GE(iou, 0.9);
    else EXPECT_LT(iou, 0.6) << "without evening out, the shadow is ink";
  }
}

// Both engines report how far they have come, in order and up to the end,
// and an empty picture is refused in the window's words.
TEST(TraceRoad, ProgressAndRefusals) {
  const TLineArt art = MakeLineArt(300, 200, 6, {}, 3);
  TBitmap white(300, 200);
  white.Clear(0xFFFFFFFFu);
  for (TTraceEngine engine : {TTraceEngine::Follower, TTraceEngine::Centreline}) {
    TTraceSettings settings;
    settings.Engine = engine;
    std::vector<int> seen;
    TBitmap picture = art.Picture;
    const auto run = TTraceRun::Trace(picture, art.Picture, settings, [&](int p) { seen.push_back(p); });
    EXPECT_TRUE(run->Traced());
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100);

    TBitmap blank = white;
    const auto none = TTraceRun::Trace(blank, white, settings);
    EXPECT_EQ(none->Status(), TTraceStatus::Empty);
    EXPECT_EQ(none->Message(), "The bitmap is empty or too small!");
    TPaintBox view;
    EXPECT_FALSE(none->DrawShapes(view));
  }
}
