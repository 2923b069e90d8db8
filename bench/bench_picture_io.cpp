// Loading and saving a 12-megapixel photo as Karto does (TBitmap load, the
// picture writer), next to `vips copy` (Debian's libvips-tools, a peer for
// comparison only) on the same files in the same run, for PNG and JPEG.
// The file sizes of both writers are printed as counters.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFileInfo>
#include <cstdlib>
#include <string>

#include "platform/Bitmap.h"
#include "tests/support/Synthetic.h"

using namespace karto;

namespace {

const QString& PhotoFile(const char* extension) {
  static const QString png = [] {
    const QString f = QDir::tempPath() + "/karto-bench-photo.png";
    synthetic::PhotoLike(4000, 3000, 11).SaveToFile(f);
    return f;
  }();
  static const QString jpg = [] {
    const QString f = QDir::tempPath() + "/karto-bench-photo.jpg";
    synthetic::PhotoLike(4000, 3000, 11).SaveToFile(f);
    return f;
  }();
  return std::string(extension) == "png" ? png : jpg;
}

void KartoLoadSave(benchmark::State& state, const char* extension) {
  const QString in = PhotoFile(extension);
  const QString out = QDir::tempPath() + "/karto-bench-out." + extension;
  for (auto _ : state) {
    TBitmap b;
    b.LoadFromFile(in);
    b.SaveToFile(out);
  }
  state.counters["out_MB"] = double(QFileInfo(out).size()) / 1e6;
}

void VipsCopy(benchmark::State& state, const char* extension) {
  if (std::system("command -v vips > /dev/null 2>&1") != 0) {
    state.SkipWithError("vips is not installed (libvips-tools)");
    return;
  }
  const QString in = PhotoFile(extension);
  const QString out = QDir::tempPath() + "/karto-bench-vips." + extension;
  const std::string command = "vips copy '" + in.toStdString() + "' '" + out.toStdString() + "' 2> /dev/null";
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) state.SkipWithError("vips copy failed");
  state.counters["out_MB"] = double(QFileInfo(out).size()) / 1e6;
}

void BM_KartoPng(benchmark::State& state) { KartoLoadSave(state, "png"); }
void BM_VipsPng(benchmark::State& state) { VipsCopy(state, "png"); }
void BM_KartoJpeg(benchmark::State& state) { KartoLoadSave(state, "jpg"); }
void BM_VipsJpeg(benchmark::State& state) { VipsCopy(state, "jpg"); }
BENCHMARK(BM_KartoPng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VipsPng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KartoJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VipsJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
