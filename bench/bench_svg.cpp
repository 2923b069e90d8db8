// Loading the generated 20 MB drawing (over 200 000 elements) into the SVG
// document model: read, styles resolved, uses expanded, sizes and matrices,
// next to Karto's XML reader alone on the same bytes in the same run. Also
// the peak heap the load needs, as a multiple of the file size, and the time
// it takes to free the document again.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>

#include "bench/GeneratedDrawing.h"
#include "svg/SVG.h"
#include "xml/XmlDoc.h"

using namespace karto;
using karto::bench::GeneratedDrawing;

// Heap accounting for the peak-memory figure: every C++ allocation of the
// program is counted with its usable size.
namespace {
std::atomic<size_t> g_heapNow{0};
std::atomic<size_t> g_heapPeak{0};

void* CountedAlloc(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  const size_t now = g_heapNow += malloc_usable_size(p);
  size_t peak = g_heapPeak.load();
  while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
  }
  return p;
}

void CountedFree(void* p) {
  if (!p) return;
  g_heapNow -= malloc_usable_size(p);
  std::free(p);
}
}  // namespace

void* operator new(size_t size) { return CountedAlloc(size); }
void* operator new[](size_t size) { return CountedAlloc(size); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }

namespace {

double g_xmlSeconds = 0;

double Seconds(std::chrono::steady_clock::time_point start, const benchmark::State& state) {
  const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return total / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

void BM_XmlReadAlone(benchmark::State& state) {
  const std::string& text = GeneratedDrawing().text;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    TXMLDocument doc;
    doc.MixedContentElements = {"text", "style"};
    doc.LoadFromBytes(text);
    benchmark::DoNotOptimize(doc.Root());
  }
  g_xmlSeconds = Seconds(start, state);
  state.counters["MB"] = double(text.size()) / 1e6;
}
BENCHMARK(BM_XmlReadAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SvgModelLoad(benchmark::State& state) {
  const std::string& text = GeneratedDrawing().text;
  size_t elements = 0;
  size_t peak = 0;
  size_t kept = 0;
  double loadSeconds = 0;
  double freeSeconds = 0;
  for (auto _ : state) {
    const size_t before = g_heapNow.load();
    g_heapPeak = before;
    auto doc = std::make_unique<TSVG>();
    const auto start = std::chrono::steady_clock::now();
    const TSVGLoadResult result = doc->LoadFromBytes(text);
    const auto loaded = std::chrono::steady_clock::now();
    if (!result.Ok) state.SkipWithError(result.Error.c_str());
    elements = doc->ElementCount();
    benchmark::DoNotOptimize(doc->Count());
    peak = std::max(peak, g_heapPeak.load() - before);
    kept = g_heapNow.load() - before;
    // Freeing the document is not part of loading it; it is timed apart.
    doc.reset();
    const double load = std::chrono::duration<double>(loaded - start).count();
    state.SetIterationTime(load);
    loadSeconds += load;
    freeSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - loaded).count();
  }
  const double iterations = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["elements"] = double(elements);
  state.counters["peak MB"] = double(peak) / 1e6;
  state.counters["model MB"] = double(kept) / 1e6;
  state.counters["peak/file"] = double(peak) / double(text.size());
  state.counters["free ms"] = freeSeconds / iterations * 1e3;
  if (g_xmlSeconds > 0) state.counters["x XML read"] = loadSeconds / iterations / g_xmlSeconds;
}
BENCHMARK(BM_SvgModelLoad)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
