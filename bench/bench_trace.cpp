// The tracing engine on two 4000 x 3000 pictures: clean line art (white
// with a few thousand black strokes 1 to 6 pixels wide) and a paper-sketch
// grey image of a photographed drawing. Per picture: dark pixels, paths
// kept, points, the engine's peak storage, and the milliseconds of
// construction (pixel map and census) and of DoTrace, each on its own.

#include <benchmark/benchmark.h>

#include <chrono>

#include "imaging/AdjustmentChain.h"
#include "tests/support/Synthetic.h"
#include "trace/ImgTrace.h"

using namespace karto;

namespace {

constexpr int kWidth = 4000, kHeight = 3000;
constexpr int kLimit = 127;

const TBitmap& Strokes() {
  static const TBitmap picture = synthetic::StrokesOnWhite(kWidth, kHeight, 3000, 21);
  return picture;
}

const TBitmap& Sketch() {
  static const TBitmap picture = [] {
    TAdjustmentOptions o;
    o.sketch = true;
    return ApplyAdjustmentOptions(synthetic::LineDrawingPhoto(kWidth, kHeight, 21), o);
  }();
  return picture;
}

double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Each iteration traces a fresh copy (DoTrace repaints its source); the
// iteration time is construction plus trace.
void BM_Trace(benchmark::State& state, const TBitmap& (*picture)()) {
  const TBitmap& original = picture();
  double constructMs = 0, traceMs = 0;
  double dark = 0, paths = 0, points = 0, bytes = 0;
  for (auto _ : state) {
    TBitmap work;
    work.Assign(original);
    work.Bits();  // detach outside the timed part
    const auto t0 = std::chrono::steady_clock::now();
    TImgTrace trace(&work, &original, kLimit);
    const auto t1 = std::chrono::steady_clock::now();
    const bool traced = trace.DoTrace();
    const auto t2 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(traced);
    state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());

    constructMs += Ms(t1 - t0);
    traceMs += Ms(t2 - t1);
    dark = trace.GetPixelCount();
    paths = 0;
    points = 0;
    if (const TTraceObjList* list = trace.GetListOfTraceObjects()) {
      paths = double(list->size());
      for (const auto& obj : *list)
        if (const auto* path = dynamic_cast<const TTracePath*>(obj.get())) points += path->m_iPixelCntPath;
    }
    bytes = double(trace.PeakMemoryBytes());
  }
  const double n = double(state.iterations());
  const double pixels = double(original.Width()) * original.Height();
  state.counters["dark_px"] = dark;
  state.counters["paths"] = paths;
  state.counters["points"] = points;
  state.counters["construct_ms"] = constructMs / n;
  state.counters["trace_ms"] = traceMs / n;
  state.counters["peak_MB"] = bytes / 1e6;
  // Storage beyond the 4-byte pixel map, per dark pixel.
  state.counters["B/dark_px"] = dark > 0 ? (bytes - 4 * pixels) / dark : 0;
  state.counters["budget_MB"] = (64 * dark + 4 * pixels) / 1e6;
}
BENCHMARK_CAPTURE(BM_Trace, Strokes, Strokes)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(BM_Trace, PaperSketch, Sketch)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

