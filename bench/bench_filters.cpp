// The adjustment filters on a 4000 x 3000 photo-like picture: time and
// megapixels per second of each filter and of the whole chain
// (contrast -> sharpen -> paper sketch).

#include <benchmark/benchmark.h>


#include "imaging/AdjustmentChain.h"
#include "tests/support/Synthetic.h"

using namespace karto;

namespace {

const TBitmap& Photo() {
  static const TBitmap photo = synthetic::PhotoLike(4000, 3000, 11);
  return photo;
}

void Report(benchmark::State& state) {
  const double mp = Photo().Width() * double(Photo().Height()) / 1e6;
  state.counters["MP"] = mp;
  state.counters["MP/s"] = benchmark::Counter(mp * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Filter(benchmark::State& state, const char* name) {
  std::unique_ptr<TFilter> f = FilterManager::CreateFilter(name);
  f->SetInput(Photo());
  for (auto _ : state) {
    TBitmap out = f->Output();
    benchmark::DoNotOptimize(out.Bits());
  }
  Report(state);
}
BENCHMARK_CAPTURE(BM_Filter, Contrast, "Contrast")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Filter, Sharpen, "Sharpen")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Filter, PaperSketch, "PaperSketch")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Filter, Monochrome, "Monochrome")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WholeChain(benchmark::State& state) {
  TAdjustmentOptions o;
  o.brightness = 0.1f;
  o.contrast = 1.5f;
  o.sharpen = 1.0f;
  o.sketch = true;
  for (auto _ : state) {
    TBitmap out = ApplyAdjustmentOptions(Photo(), o);
    benchmark::DoNotOptimize(out.Bits());
  }
  Report(state);
}
BENCHMARK(BM_WholeChain)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

