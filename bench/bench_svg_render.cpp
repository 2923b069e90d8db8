// Drawing SVG files: load, display shapes and render, as `karto-cli render`
// does, next to rsvg-convert (Debian's librsvg2-bin, a peer for comparison
// only) on the same files in the same run. Files: the generated 20 MB
// drawing of the XML benchmark and a generated 50 kB illustration (curves,
// nested transforms, gradients, strokes), each drawn 3000 pixels high with
// its proportions kept, written as PNG by both. Also the repaint of a 2D
// view holding 20,000 shapes at the window's size.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/GeneratedDrawing.h"
#include "platform/Bitmap.h"
#include "platform/Renderer.h"
#include "platform/Shapes.h"
#include "svg/SVG.h"

using namespace karto;

namespace {

std::string TempFile(const std::string& name, const std::string& text) {
  const std::string path = QDir::tempPath().toStdString() + "/karto-bench-" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// An illustration as drawing programs write them: groups with transforms,
// curved paths with fills and strokes, gradients, about 50 kB.
std::string Illustration() {
  std::string s =
      "<svg xmlns='http://www.w3.org/2000/svg' width='800' height='600' viewBox='0 0 800 600'>\n"
      "<defs><linearGradient id='sky' x1='0' y1='0' x2='0' y2='1'><stop offset='0' stop-color='#9cf'/>"
      "<stop offset='1' stop-color='#fff'/></linearGradient>"
      "<radialGradient id='sun'><stop offset='0' stop-color='#ff0'/><stop offset='1' stop-color='#f80' "
      "stop-opacity='0'/></radialGradient></defs>\n"
      "<rect width='800' height='600' fill='url(#sky)'/>\n<circle cx='650' cy='120' r='80' fill='url(#sun)'/>\n";
  uint32_t state = 7;
  auto next = [&](int range) {
    state = state * 1664525u + 1013904223u;
    return int((state >> 8) % uint32_t(range));
  };
  while (s.size() < 50'000) {
    s += "<g transform='translate(" + std::to_string(next(700)) + " " + std::to_string(next(500)) + ") rotate(" +
         std::to_string(next(360)) + ") scale(0." + std::to_string(5 + next(5)) + ")'>\n";
    for (int i = 0; i < 4; ++i) {
      s += "<path fill='#" + std::to_string(100 + next(800)) + "' stroke='#333' stroke-width='" +
           std::to_string(1 + next(4)) + "' stroke-linejoin='round' d='M0 0 C" + std::to_string(next(120)) + " " +
           std::to_string(next(120)) + " " + std::to_string(next(160)) + " -" + std::to_string(next(80)) + " " +
           std::to_string(next(200)) + " " + std::to_string(next(60)) + " S" + std::to_string(next(120)) + " " +
           std::to_string(next(160)) + " " + std::to_string(next(40)) + " " + std::to_string(next(120)) + " Z'/>\n";
    }
    s += "</g>\n";
  }
  return s + "</svg>\n";
}

const std::string& GeneratedFile() {
  static const std::string path = TempFile("generated.svg", bench::GeneratedDrawing().text);
  return path;
}

const std::string& IllustrationFile() {
  static const std::string path = TempFile("illustration.svg", Illustration());
  return path;
}

void KartoRender(benchmark::State& state, const std::string& file) {
  const std::string out = QDir::tempPath().toStdString() + "/karto-bench-karto.png";
  int w = 0, h = 0;
  for (auto _ : state) {
    const TSvgPicture picture = RenderSvgFile(file, 0, 3000, 0xFFFFFFFFu);
    if (!picture.Ok) state.SkipWithError(picture.Error.c_str());
    // Written as karto-cli writes it.
    WritePictureFile(picture.Image, QString::fromStdString(out));
    w = picture.Image.width();
    h = picture.Image.height();
  }
  state.counters["width"] = w;
  state.counters["height"] = h;
}

void RsvgRender(benchmark::State& state, const std::string& file) {
  if (std::system("command -v rsvg-convert > /dev/null 2>&1") != 0) {
    state.SkipWithError("rsvg-convert is not installed");
    return;
  }
  const std::string command = "rsvg-convert -h 3000 -b white '" + file + "' -o '" + QDir::tempPath().toStdString() +
                              "/karto-bench-rsvg.png' 2> /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("rsvg-convert failed");
  }
}

void BM_KartoGenerated(benchmark::State& state) { KartoRender(state, GeneratedFile()); }
void BM_RsvgGenerated(benchmark::State& state) { RsvgRender(state, GeneratedFile()); }
void BM_KartoIllustration(benchmark::State& state) { KartoRender(state, IllustrationFile()); }
void BM_RsvgIllustration(benchmark::State& state) { RsvgRender(state, IllustrationFile()); }
BENCHMARK(BM_KartoGenerated)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_RsvgGenerated)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_KartoIllustration)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RsvgIllustration)->Unit(benchmark::kMillisecond)->UseRealTime();

// The 2D view's repaint: 20,000 imported shapes drawn at the window's size.
void BM_Repaint20000Shapes(benchmark::State& state) {
  std::string s = "<svg xmlns='http://www.w3.org/2000/svg' width='1000' height='1000'>";
  for (int i = 0; i < 20000; ++i) {
    const int x = (i * 37) % 990, y = (i * 91) % 990;
    s += "<path fill='#" + std::to_string(100 + i % 800) + "' stroke='black' d='M" + std::to_string(x) + " " +
         std::to_string(y) + " l8 2 l-3 7 z'/>";
  }
  s += "</svg>";
  TSVG doc;
  doc.LoadFromBytes(s);
  TPaintBox view;
  view.SetSize(860, 590);
  doc.SetTarget(TRectF(0, 0, 860, 590));
  doc.CreateFMShapes(&view);
  QImage target(860, 590, QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    target.fill(Qt::white);
    QPainter painter(&target);
    painter.setRenderHint(QPainter::Antialiasing, true);
    RenderControl(painter, view);
  }
  state.counters["shapes"] = view.ChildrenCount();
}
BENCHMARK(BM_Repaint20000Shapes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
