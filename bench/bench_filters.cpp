// The effect catalogue on a 4000 x 3000 photo-like picture: every filter at
// its defaults (time and megapixels per second; transitions and composites
// with a second picture of the same size), the adjustment chain as a whole,
// and whole `karto-cli filter` commands next to the same work in vips
// (Debian's libvips-tools, a peer for comparison only) on the same PNG.

#include <benchmark/benchmark.h>

#include <QDir>
#include <cstdlib>
#include <string>

#include "imaging/AdjustmentChain.h"
#include "imaging/Catalogue.h"
#include "tests/support/Synthetic.h"

using namespace karto;

namespace {

const TBitmap& Photo() {
  static const TBitmap photo = synthetic::PhotoLike(4000, 3000, 11);
  return photo;
}

const TBitmap& Second() {
  static const TBitmap second = synthetic::PhotoLike(4000, 3000, 23);
  return second;
}

void Report(benchmark::State& state) {
  const double mp = Photo().Width() * double(Photo().Height()) / 1e6;
  state.counters["MP/s"] = benchmark::Counter(mp * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Filter(benchmark::State& state, const std::string& name) {
  std::unique_ptr<TFilter> f = FilterManager::CreateFilter(name);
  f->SetInput(Photo());
  f->SetTarget(Second());
  for (auto _ : state) {
    TBitmap out = f->Output();
    benchmark::DoNotOptimize(out.Bits());
  }
  Report(state);
}

// One benchmark per filter of the catalogue, named Filter/<category>/<name>.
const bool kRegistered = [] {
  RegisterCatalogue();
  for (const std::string& cat : FilterManager::Categories())
    for (const std::string& name : FilterManager::FiltersOfCategory(cat))
      benchmark::RegisterBenchmark(("Filter/" + cat + "/" + name).c_str(), BM_Filter, name)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
  return true;
}();

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

// --- whole commands ---------------------------------------------------------------

const std::string& PhotoPng(int which) {
  static const std::string a = [] {
    const std::string f = QDir::tempPath().toStdString() + "/karto-bench-fx-a.png";
    Photo().SaveToFile(QString::fromStdString(f));
    return f;
  }();
  static const std::string b = [] {
    const std::string f = QDir::tempPath().toStdString() + "/karto-bench-fx-b.png";
    Second().SaveToFile(QString::fromStdString(f));
    return f;
  }();
  return which ? b : a;
}

void Command(benchmark::State& state, const std::string& command) {
  for (auto _ : state)
    if (std::system((command + " > /dev/null 2>&1").c_str()) != 0) {
      state.SkipWithError(("failed: " + command).c_str());
      return;
    }
}

std::string Out(const char* name) { return QDir::tempPath().toStdString() + "/karto-bench-fx-" + name + ".png"; }

bool HaveVips(benchmark::State& state) {
  if (std::system("command -v vips > /dev/null 2>&1") == 0) return true;
  state.SkipWithError("vips is not installed (libvips-tools)");
  return false;
}

#ifdef KARTO_CLI
void BM_CliGaussianBlur(benchmark::State& state) {
  Command(state, std::string(KARTO_CLI) + " filter GaussianBlur " + PhotoPng(0) + " -o " + Out("k-blur") + " --set Sigma=3");
}
void BM_CliInvert(benchmark::State& state) {
  Command(state, std::string(KARTO_CLI) + " filter Invert " + PhotoPng(0) + " -o " + Out("k-invert"));
}
void BM_CliFade(benchmark::State& state) {
  Command(state, std::string(KARTO_CLI) + " filter Fade " + PhotoPng(0) + " -o " + Out("k-fade") + " --target " + PhotoPng(1));
}
BENCHMARK(BM_CliGaussianBlur)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliInvert)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliFade)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

void BM_VipsGaussblur(benchmark::State& state) {
  if (HaveVips(state)) Command(state, "vips gaussblur " + PhotoPng(0) + " " + Out("v-blur") + " 3");
}
void BM_VipsInvert(benchmark::State& state) {
  if (HaveVips(state)) Command(state, "vips invert " + PhotoPng(0) + " " + Out("v-invert"));
}
void BM_VipsComposite(benchmark::State& state) {
  if (HaveVips(state)) Command(state, "vips composite2 " + PhotoPng(0) + " " + PhotoPng(1) + " " + Out("v-comp") + " over");
}
BENCHMARK(BM_VipsGaussblur)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VipsInvert)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VipsComposite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
