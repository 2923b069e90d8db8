// Drawing the 2D view of a large trace: the 4000 x 3000 picture with 3000
// black strokes 1 to 6 pixels wide (the tracing benchmark's picture (a)),
// traced, shown as shapes, and rendered to an image of the picture's size.

#include <benchmark/benchmark.h>


#include "platform/Renderer.h"
#include "platform/Shapes.h"
#include "tests/support/Synthetic.h"
#include "trace/ImgTrace.h"
#include "workspace/SvgExport.h"
#include "workspace/TraceShapes.h"

using namespace karto;

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

// The view with its background and one shape per traced path.
const TPaintBox& TracedView() {
  static const std::unique_ptr<TPaintBox> view = [] {
    TBitmap picture = synthetic::StrokesOnWhite(kWidth, kHeight, 3000, 21);
    TBitmap origin = picture;
    TImgTrace trace(&picture, &origin, 127);
    trace.DoTrace();
    auto box = std::make_unique<TPaintBox>();
    ClearPanel(*box);
    Draw2DObjects(trace, *box);
    return box;
  }();
  return *view;
}

void BM_RenderTracedView(benchmark::State& state) {
  const TPaintBox& view = TracedView();
  for (auto _ : state) {
    QImage img = RenderToImage(view, kWidth, kHeight);
    benchmark::DoNotOptimize(img.constBits());
  }
  state.counters["shapes"] = view.ChildrenCount() - 1;
}
BENCHMARK(BM_RenderTracedView)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportTracedViewSvg(benchmark::State& state) {
  const TPaintBox& view = TracedView();
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string svg = ExportSvg(view);
    bytes = svg.size();
    benchmark::DoNotOptimize(svg.data());
  }
  state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_ExportTracedViewSvg)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

