// Drawing SVG files: load, display shapes and render, as `karto-cli render`
// does, next to rsvg-convert (Debian's librsvg2-bin, a peer for comparison
// only) on the same files in the same run. Files: the generated 20 MB
// drawing of the XML benchmark, a generated 50 kB illustration (curves,
// nested transforms, gradients, strokes), a gradient-heavy set of 500 icons
// (clips and group opacity among them) and a page of text, each drawn
// 3000 pixels high with
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

// An icon set: 500 icons in a grid, each with gradients of its own (box
// and user space units, linear and radial), every third clipped, every
// fifth a half-transparent group.
std::string IconSet() {
  std::string s = "<svg xmlns='http://www.w3.org/2000/svg' width='1250' height='1000' viewBox='0 0 1250 1000'>\n";
  for (int i = 0; i < 500; ++i) {
    const int x = (i % 25) * 50, y = (i / 25) * 50;
    const std::string n = std::to_string(i);
    s += "<defs><linearGradient id='l" + n + "' x1='0' y1='0' x2='0' y2='1'><stop offset='0' stop-color='#" +
         std::to_string(100 + (i * 7) % 800) + "'/><stop offset='.6' stop-color='#fff' stop-opacity='.5'/>"
         "<stop offset='1' stop-color='#" + std::to_string(100 + (i * 13) % 800) + "'/></linearGradient>"
         "<radialGradient id='r" + n + "' gradientUnits='userSpaceOnUse' cx='" + std::to_string(x + 25) + "' cy='" +
         std::to_string(y + 20) + "' r='18' fx='" + std::to_string(x + 20) + "' fy='" + std::to_string(y + 15) +
         "'><stop offset='0' stop-color='#fff'/><stop offset='1' stop-color='#" + std::to_string(100 + (i * 3) % 800) +
         "' stop-opacity='.8'/></radialGradient>"
         "<clipPath id='c" + n + "'><circle cx='" + std::to_string(x + 25) + "' cy='" + std::to_string(y + 25) +
         "' r='20'/></clipPath></defs>\n";
    s += std::string("<g") + (i % 5 == 0 ? " opacity='.7'" : "") + (i % 3 == 0 ? " clip-path='url(#c" + n + ")'" : "") +
         ">";
    s += "<rect x='" + std::to_string(x + 3) + "' y='" + std::to_string(y + 3) + "' width='44' height='44' rx='8' fill='url(#l" +
         n + ")' stroke='#333'/>";
    s += "<circle cx='" + std::to_string(x + 25) + "' cy='" + std::to_string(y + 22) + "' r='15' fill='url(#r" + n + ")'/>";
    s += "<path d='M" + std::to_string(x + 10) + " " + std::to_string(y + 40) + " q15 -12 30 0' fill='none' stroke='#fff' "
         "stroke-width='3' stroke-linecap='round'/></g>\n";
  }
  return s + "</svg>\n";
}

// A page of text: headings, paragraphs of lines with bold, italic and
// coloured spans, serif and sans-serif, about 6,000 words.
std::string TextPage() {
  std::string s = "<svg xmlns='http://www.w3.org/2000/svg' width='800' height='1130' viewBox='0 0 800 1130'>\n"
                  "<rect width='800' height='1130' fill='#fff'/>\n";
  const char* words[] = {"vector", "drawing", "karto", "trace", "path", "stroke", "width", "colour", "scan",
                         "photo", "filter", "shape", "export", "layer", "glyph", "curve"};
  uint32_t state = 11;
  auto next = [&](int range) {
    state = state * 1664525u + 1013904223u;
    return int((state >> 8) % uint32_t(range));
  };
  for (int column = 0; column < 2; ++column) {
    float y = 40;
    for (int line = 0; line < 130; ++line) {
      const float x = 30 + column * 385;
      if (line % 20 == 0) {
        y += 12;
        s += "<text x='" + std::to_string(x + 170) + "' y='" + std::to_string(y) +
             "' font-family='serif' font-size='13' font-weight='bold' text-anchor='middle'>Section " +
             std::to_string(line / 20 + 1) + "</text>\n";
        y += 16;
      }
      s += "<text x='" + std::to_string(x) + "' y='" + std::to_string(y) + "' font-family='sans-serif' font-size='6.5'>";
      for (int w = 0; w < 11; ++w) {
        const std::string word = words[next(16)];
        const int kind = next(12);
        if (kind == 0) s += "<tspan font-weight='bold'>" + word + "</tspan> ";
        else if (kind == 1) s += "<tspan font-style='italic' fill='#a03'>" + word + "</tspan> ";
        else s += word + " ";
      }
      s += "</text>\n";
      y += 7.5f;
    }
  }
  return s + "</svg>\n";
}

const std::string& IconSetFile() {
  static const std::string path = TempFile("icons.svg", IconSet());
  return path;
}

const std::string& TextPageFile() {
  static const std::string path = TempFile("text-page.svg", TextPage());
  return path;
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
void BM_KartoIconSet(benchmark::State& state) { KartoRender(state, IconSetFile()); }
void BM_RsvgIconSet(benchmark::State& state) { RsvgRender(state, IconSetFile()); }
void BM_KartoTextPage(benchmark::State& state) { KartoRender(state, TextPageFile()); }
void BM_RsvgTextPage(benchmark::State& state) { RsvgRender(state, TextPageFile()); }
BENCHMARK(BM_KartoIconSet)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RsvgIconSet)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KartoTextPage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RsvgTextPage)->Unit(benchmark::kMillisecond)->UseRealTime();
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
