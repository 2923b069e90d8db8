// The tracing engine on two 4000 x 3000 pictures: clean line art (white
// with a few thousand black strokes 1 to 6 pixels wide) and a paper-sketch
// grey image of a photographed drawing. Per picture: dark pixels, paths
// kept, points, the engine's peak storage, and the milliseconds of
// construction (pixel map and census) and of DoTrace, each on its own.
// Then whole commands from file to SVG on line art of about a million dark
// pixels: karto-cli with each engine next to potrace -s (Debian's potrace,
// a peer for comparison only), with each one's peak memory.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <chrono>
#include <cstdlib>
#include <fstream>

#include "imaging/AdjustmentChain.h"
#include "tests/support/LineArt.h"
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

// --- whole commands, from picture file to SVG file ---------------------------------

// Line art of about a million dark pixels on 4000 x 3000: strokes 1 to 12
// pixels wide, dots and filled shapes, anti-aliased, as PNG (Karto's input)
// and thresholded to PBM (potrace's).
struct TLineArtFiles {
  std::string png, pbm;
  long long dark = 0;
};
const TLineArtFiles& LineArtFiles() {
  static const TLineArtFiles files = [] {
    TLineArtFiles f;
    const std::string dir = QDir::tempPath().toStdString();
    f.png = dir + "/karto-bench-lineart.png";
    f.pbm = dir + "/karto-bench-lineart.pbm";
    const lineart::TLineArt art = lineart::MakeLineArt(kWidth, kHeight, 70, {true, false, false}, 3);
    art.Picture.SaveToFile(QString::fromStdString(f.png));
    const QImage& pic = art.Picture.Image();
    QImage mono(pic.width(), pic.height(), QImage::Format_Mono);
    mono.setColor(0, qRgb(255, 255, 255));
    mono.setColor(1, qRgb(0, 0, 0));
    mono.fill(0);
    for (int y = 0; y < pic.height(); ++y) {
      const auto* row = reinterpret_cast<const QRgb*>(pic.constScanLine(y));
      for (int x = 0; x < pic.width(); ++x)
        if (qGray(row[x]) < 128) {
          mono.setPixel(x, y, 1);
          ++f.dark;
        }
    }
    mono.save(QString::fromStdString(f.pbm), "PBM");
    return f;
  }();
  return files;
}

// Runs argv (no shell) with its output thrown away; the wall time and the
// child's peak resident memory. The peak comes from GNU time, which starts
// the command from its own small process: a child forked straight from
// this one counts this process's resident memory (the pictures made for
// the benchmarks above) as its own peak until it runs the command, and the
// kernel keeps that peak across the exec.
bool RunMeasured(const std::vector<std::string>& argv, double& ms, double& peakMB) {
  const std::string report = QDir::tempPath().toStdString() + "/karto-bench-peak.txt";
  std::vector<std::string> timed = {"/usr/bin/time", "-f", "%M", "-o", report};
  timed.insert(timed.end(), argv.begin(), argv.end());
  std::vector<char*> args;
  for (const std::string& a : timed) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
  ms = Ms(std::chrono::steady_clock::now() - t0);
  std::ifstream in(report);
  double kilobytes = 0;
  if (!(in >> kilobytes)) return false;
  peakMB = kilobytes / 1024.0;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_Command(benchmark::State& state, std::vector<std::string> argv) {
  const TLineArtFiles& files = LineArtFiles();
  for (std::string& a : argv) {
    if (a == "PNG") a = files.png;
    if (a == "PBM") a = files.pbm;
  }
  double peak = 0;
  for (auto _ : state) {
    double ms = 0, mb = 0;
    if (!RunMeasured(argv, ms, mb)) {
      state.SkipWithError(("failed: " + argv[0]).c_str());
      return;
    }
    state.SetIterationTime(ms / 1000);
    peak = std::max(peak, mb);
  }
  const double pixels = double(kWidth) * kHeight;
  state.counters["dark_px"] = double(files.dark);
  state.counters["peak_MB"] = peak;
  state.counters["budget_MB"] = (64.0 * double(files.dark) + 8 * pixels) / (1024.0 * 1024.0);
}

const bool kCommands = [] {
  const std::string out = QDir::tempPath().toStdString() + "/karto-bench-lineart";
#ifdef KARTO_CLI
  benchmark::RegisterBenchmark("Command/karto-cli trace (centre lines)", BM_Command,
                               std::vector<std::string>{KARTO_CLI, "trace", "PNG", "-o", out + "-centre.svg"})
      ->Unit(benchmark::kMillisecond)
      ->UseManualTime();
  benchmark::RegisterBenchmark("Command/karto-cli trace --engine follower", BM_Command,
                               std::vector<std::string>{KARTO_CLI, "trace", "--engine", "follower", "PNG", "-o",
                                                        out + "-follower.svg"})
      ->Unit(benchmark::kMillisecond)
      ->UseManualTime();
#endif
  if (std::system("command -v potrace > /dev/null 2>&1") == 0)
    benchmark::RegisterBenchmark("Command/potrace -s", BM_Command,
                                 std::vector<std::string>{"potrace", "-s", "PBM", "-o", out + "-potrace.svg"})
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
  return true;
}();

}  // namespace

