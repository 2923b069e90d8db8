// The 2D workspace with 20,000 traced shapes in the view: a click's hit
// test, a rubber band over all of them, a repaint with and without a
// selection, and saving and reading the view back as an object stream.

#include <benchmark/benchmark.h>

#include <random>

#include "platform/ObjectStream.h"
#include "platform/Renderer.h"
#include "tests/support/Synthetic.h"
#include "trace/ImgTrace.h"
#include "workspace/ShapeWorkspace.h"
#include "workspace/TraceShapes.h"

using namespace karto;

namespace {

constexpr int kWidth = 4000, kHeight = 3000;
constexpr int kShapes = 20000;

// A traced view cut to 20,000 path shapes, stored (as joined or imported
// shapes are) so the object stream carries them.
TPaintBox& View() {
  static const std::unique_ptr<TPaintBox> view = [] {
    TBitmap picture = synthetic::StrokesOnWhite(kWidth, kHeight, 12000, 7);
    TBitmap origin = picture;
    TImgTrace trace(&picture, &origin, 127);
    trace.DoTrace();
    auto box = std::make_unique<TPaintBox>();
    box->SetName("PaintBox2D");
    Draw2DObjects(trace, *box);
    std::vector<TControl*> keep;
    for (TControl* c : box->ChildList())
      if (int(keep.size()) < kShapes) keep.push_back(c);
    std::vector<TControl*> drop(box->ChildList().begin() + std::ptrdiff_t(keep.size()), box->ChildList().end());
    for (TControl* c : drop) delete c;
    for (TControl* c : box->ChildList()) c->SetStored(true);
    box->SetSize(kWidth, kHeight);
    return box;
  }();
  return *view;
}

void BM_ClickHitTest(benchmark::State& state) {
  TPaintBox& view = View();
  TShapeWorkspace ws(view);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> x(0, kWidth), y(0, kHeight);
  int hits = 0, clicks = 0;
  for (auto _ : state) {
    const float px = x(rng), py = y(rng);
    ws.MouseDown(TMouseButton::mbLeft, ssLeft, px, py);
    float dist = 0;
    hits += ws.FindPathAt(dist, px, py) >= 0;
    ++clicks;
  }
  state.counters["shapes"] = view.ChildrenCount();
  state.counters["hit_rate"] = double(hits) / clicks;
}
BENCHMARK(BM_ClickHitTest)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RubberBandOverAll(benchmark::State& state) {
  TPaintBox& view = View();
  TShapeWorkspace ws(view);
  size_t selected = 0;
  for (auto _ : state) {
    ws.MouseDown(TMouseButton::mbLeft, ssLeft, -1, -1);
    ws.MouseMove(ssLeft, kWidth / 2, kHeight / 2);
    ws.MouseMove(ssLeft, kWidth + 1, kHeight + 1);
    ws.MouseUp(TMouseButton::mbLeft, 0, kWidth + 1, kHeight + 1);
    selected = ws.Selection().size();
    state.PauseTiming();
    ws.ClearAllShapeSelection();
    state.ResumeTiming();
  }
  state.counters["selected"] = double(selected);
}
BENCHMARK(BM_RubberBandOverAll)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ClearSelectionOfAll(benchmark::State& state) {
  TPaintBox& view = View();
  TShapeWorkspace ws(view);
  for (auto _ : state) {
    state.PauseTiming();
    ws.SelectAll();
    state.ResumeTiming();
    ws.ClearAllShapeSelection();
  }
}
BENCHMARK(BM_ClearSelectionOfAll)->Unit(benchmark::kMillisecond)->UseRealTime();

// The visible part of the view, as the window paints it.
void BM_Repaint(benchmark::State& state) {
  TPaintBox& view = View();
  TShapeWorkspace ws(view);
  if (state.range(0)) ws.SelectAll();
  for (auto _ : state) {
    QImage img = RenderToImage(view, 1600, 1000);
    benchmark::DoNotOptimize(img.constBits());
  }
  ws.ClearAllShapeSelection();
  state.SetLabel(state.range(0) ? "all selected" : "no selection");
}
BENCHMARK(BM_Repaint)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveView(benchmark::State& state) {
  TPaintBox& view = View();
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = WriteComponent(view);
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_SaveView)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadView(benchmark::State& state) {
  const std::string text = WriteComponent(View());
  for (auto _ : state) {
    std::unique_ptr<TControl> root = ReadComponent(text);
    benchmark::DoNotOptimize(root.get());
  }
}
BENCHMARK(BM_ReadView)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
