// Drawing many path shapes with the platform renderer, as the 2D view does
// for a large trace: one white background and thousands of short open paths.

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <random>

#include "platform/Renderer.h"
#include "platform/Shapes.h"

using namespace karto;

namespace {

std::unique_ptr<TPaintBox> MakeDrawing(int paths, int width, int height) {
  auto box = std::make_unique<TPaintBox>();
  box->SetSize(float(width), float(height));
  auto* bg = new TRectangle(box.get());
  bg->SetParent(box.get());
  bg->SetAlign(TAlignLayout::alClient);
  bg->Fill.Color = TAlphaColors::White;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> x(0, float(width - 60)), y(0, float(height - 60)), d(-4, 4);
  for (int i = 0; i < paths; ++i) {
    auto* p = new TPath(box.get());
    p->SetParent(box.get());
    p->Fill.Kind = TBrushKind::bkNone;
    p->StrokeThickness = float(1 + i % 6);
    p->WrapMode = TPathWrapMode::pwOriginal;
    TPointF at(x(rng), y(rng));
    p->Data.MoveTo(at);
    for (int k = 0; k < 12; ++k) {
      at = at + TPointF(std::abs(d(rng)), d(rng));
      p->Data.LineTo(at);
    }
    const TRectF b = p->Data.GetBounds();
    p->SetBounds(0, 0, b.Right + 1, b.Bottom + 1);
  }
  return box;
}

void BM_RenderPaths(benchmark::State& state) {
  const int paths = int(state.range(0));
  auto box = MakeDrawing(paths, 4000, 3000);
  for (auto _ : state) {
    QImage img = RenderToImage(*box, 4000, 3000);
    benchmark::DoNotOptimize(img.constBits());
  }
  state.counters["paths"] = paths;
}
BENCHMARK(BM_RenderPaths)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
