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

// The two halves apart, and what Qt itself writes at its default settings
// (the size Karto's files are held against).
void KartoLoad(benchmark::State& state, const char* extension) {
  const QString in = PhotoFile(extension);
  for (auto _ : state) {
    TBitmap b;
    b.LoadFromFile(in);
    benchmark::DoNotOptimize(b.ScanLine(0));
  }
}

void KartoSave(benchmark::State& state, const char* extension) {
  TBitmap b;
  b.LoadFromFile(PhotoFile(extension));
  const QString out = QDir::tempPath() + "/karto-bench-out." + extension;
  for (auto _ : state) b.SaveToFile(out);
  state.counters["out_MB"] = double(QFileInfo(out).size()) / 1e6;
}

void QtDefaultSave(benchmark::State& state, const char* extension) {
  TBitmap b;
  b.LoadFromFile(PhotoFile(extension));
  const QString out = QDir::tempPath() + "/karto-bench-qt." + extension;
  for (auto _ : state) b.Image().save(out);
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

// The paper-sketch road of `karto-cli adjust` on the 12-megapixel PNG, and
// vips doing the comparable steps (linear, sharpen, colourspace b-w,
// gaussblur, pngsave), each a command as a script would run them.
void Run(benchmark::State& state, const std::string& command) {
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError(("failed: " + command).c_str());
      return;
    }
}

void BM_KartoAdjustSketch(benchmark::State& state) {
#ifdef KARTO_CLI
  const std::string in = PhotoFile("png").toStdString();
  Run(state, std::string(KARTO_CLI) + " adjust '" + in + "' -o '" + QDir::tempPath().toStdString() +
                 "/karto-bench-sketch.png' --contrast 1.2 --sharpen 1 --sketch");
#else
  state.SkipWithError("karto-cli is not built");
#endif
}

void BM_VipsSketchPipeline(benchmark::State& state) {
  if (std::system("command -v vips > /dev/null 2>&1") != 0) {
    state.SkipWithError("vips is not installed (libvips-tools)");
    return;
  }
  const std::string t = QDir::tempPath().toStdString() + "/karto-bench-vips-";
  const std::string in = PhotoFile("png").toStdString();
  Run(state, "vips linear '" + in + "' " + t + "1.v 1.2 -- -25 && vips sharpen " + t + "1.v " + t +
                 "2.v && vips colourspace " + t + "2.v " + t + "3.v b-w && vips gaussblur " + t + "3.v " + t +
                 "4.v 3 && vips pngsave " + t + "4.v " + t + "sketch.png");
}

void BM_KartoPng(benchmark::State& state) { KartoLoadSave(state, "png"); }
void BM_VipsPng(benchmark::State& state) { VipsCopy(state, "png"); }
void BM_KartoJpeg(benchmark::State& state) { KartoLoadSave(state, "jpg"); }
void BM_VipsJpeg(benchmark::State& state) { VipsCopy(state, "jpg"); }
void BM_KartoPngLoad(benchmark::State& state) { KartoLoad(state, "png"); }
void BM_KartoPngSave(benchmark::State& state) { KartoSave(state, "png"); }
void BM_QtPngSave(benchmark::State& state) { QtDefaultSave(state, "png"); }
void BM_KartoJpegLoad(benchmark::State& state) { KartoLoad(state, "jpg"); }
void BM_KartoJpegSave(benchmark::State& state) { KartoSave(state, "jpg"); }
void BM_QtJpegSave(benchmark::State& state) { QtDefaultSave(state, "jpg"); }
BENCHMARK(BM_KartoPngLoad)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KartoPngSave)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QtPngSave)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KartoJpegLoad)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KartoJpegSave)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QtJpegSave)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KartoPng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VipsPng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KartoJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VipsJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KartoAdjustSketch)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VipsSketchPipeline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
