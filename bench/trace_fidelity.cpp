// How faithfully the tracers follow line art with known strokes: for each
// kind of drawing (clean or photographed paper, anti-aliased or hard-edged,
// black or coloured) and each tracer, the dark-pixel IoU of the traced
// drawing against the drawing (rendered by Karto's own renderer, and by
// rsvg-convert from the exported SVG), the points, and for the centre-line
// engine the widths and colours of the strokes it found. potrace (Debian's
// package, a peer for comparison only) traces the same picture thresholded
// to a PBM. Peers that are not installed are left out.
//
//   trace-fidelity [OUTPUT-DIR]   writes the pictures and drawings there
//                                 (default: a folder under /tmp) for looking at.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QPainter>
#include <QRegularExpression>
#include <cstdio>

#include "imaging/AdjustmentChain.h"
#include "platform/Renderer.h"
#include "platform/Shapes.h"
#include "tests/support/LineArt.h"
#include "workspace/SvgExport.h"
#include "workspace/TraceRoad.h"
#include "workspace/TraceShapes.h"

using namespace karto;
using namespace karto::lineart;

namespace {

bool Have(const char* program) {
  return QProcess::execute("sh", {"-c", QString("command -v %1 >/dev/null").arg(program)}) == 0;
}

// rsvg-convert's rendering of an SVG file on white, or a null image.
QImage Rsvg(const QString& svg, int w, int h) {
  const QString png = svg + ".rsvg.png";
  if (QProcess::execute("rsvg-convert", {"-w", QString::number(w), "-h", QString::number(h), "-b", "white", "-o", png, svg}) != 0)
    return {};
  return QImage(png);
}

// Coordinate pairs in an SVG's path data.
long long SvgPoints(const QString& svg) {
  QFile f(svg);
  if (!f.open(QIODevice::ReadOnly)) return 0;
  const QString text = QString::fromUtf8(f.readAll());
  long long numbers = 0;
  static const QRegularExpression d(" d=\"([^\"]*)\"");
  static const QRegularExpression number("-?[0-9]*\\.?[0-9]+(e-?[0-9]+)?");
  for (auto m = d.globalMatch(text); m.hasNext();) {
    const QString data = m.next().captured(1);
    for (auto n = number.globalMatch(data); n.hasNext(); n.next()) ++numbers;
  }
  return numbers / 2;
}

struct TRow {
  std::string tracer;
  double iou = 0, iouRsvg = -1;
  // Shares of the drawing's ink the trace leaves out and draws beside it.
  double missed = 0, extra = 0;
  long long points = 0;
  TStrokeMatch match;
  bool matched = false;
};


TRow RunKarto(const TLineArt& art, TTraceEngine engine, bool sketch, const QString& stem) {
  TRow row;
  row.tracer = std::string(engine == TTraceEngine::Centreline ? "centre lines" : "stroke follower") +
               (sketch ? " (sketch)" : "");
  TAdjustmentOptions o;
  o.sketch = sketch;
  TBitmap traced = ApplyAdjustmentOptions(art.Picture, o);
  TTraceSettings settings;
  settings.Engine = engine;
  const std::unique_ptr<TTraceRun> run = TTraceRun::Trace(traced, art.Picture, settings);
  if (!run->Traced()) return row;
  TPaintBox view;
  if (engine == TTraceEngine::Follower) ClearPanel(view);
  run->DrawShapes(view);
  const int w = art.Picture.Width(), h = art.Picture.Height();
  view.SetSize(float(w), float(h));
  const QImage drawn = RenderToImage(view, w, h);
  row.iou = DarkIoU(drawn, art.Clean);
  row.points = run->Points();
  const QString svg = stem + ".svg";
  QFile f(svg);
  if (f.open(QIODevice::WriteOnly)) f.write(QByteArray::fromStdString(ExportSvg(view)));
  f.close();
  drawn.save(stem + ".png");
  // Where the drawing misses ink (red) and where it draws on paper (blue).
  QImage diff(w, h, QImage::Format_RGB32);
  long long inked = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool a = qGray(art.Clean.pixel(x, y)) < 128, b = qGray(drawn.pixel(x, y)) < 128;
      inked += a;
      row.missed += a && !b;
      row.extra += b && !a;
      diff.setPixel(x, y, a && b ? qRgb(0, 0, 0) : a ? qRgb(230, 0, 0) : b ? qRgb(0, 90, 255) : qRgb(255, 255, 255));
    }
  diff.save(stem + "-diff.png");
  if (inked) {
    row.missed /= double(inked);
    row.extra /= double(inked);
  }
  if (Have("rsvg-convert")) {
    const QImage r = Rsvg(svg, w, h);
    if (!r.isNull()) row.iouRsvg = DarkIoU(r, art.Clean);
  }
  if (const TCentrelineDrawing* d = run->Drawing()) {
    row.match = MatchStrokes(art, TracedStrokes(*d));
    row.matched = true;
  }
  return row;
}

TRow RunPotrace(const TLineArt& art, const QString& stem) {
  TRow row;
  row.tracer = "potrace -s";
  const QImage pic = art.Picture.Image();
  QImage mono(pic.width(), pic.height(), QImage::Format_Mono);
  mono.setColor(0, qRgb(255, 255, 255));
  mono.setColor(1, qRgb(0, 0, 0));
  for (int y = 0; y < pic.height(); ++y)
    for (int x = 0; x < pic.width(); ++x) mono.setPixel(x, y, qGray(pic.pixel(x, y)) < 128 ? 1 : 0);
  const QString pbm = stem + ".pbm", svg = stem + ".svg";
  mono.save(pbm, "PBM");
  if (QProcess::execute("potrace", {"-s", "-o", svg, pbm}) != 0) return row;
  row.points = SvgPoints(svg);
  const QImage r = Rsvg(svg, pic.width(), pic.height());
  if (!r.isNull()) row.iouRsvg = DarkIoU(r, art.Clean);
  return row;
}

// The pictures side by side, for looking at.
void SideBySide(const QString& file, const std::vector<QImage>& images) {
  int w = 0, h = 0;
  for (const QImage& i : images) {
    w += i.width() + 8;
    h = std::max(h, i.height());
  }
  QImage out(w, h, QImage::Format_RGB32);
  out.fill(qRgb(128, 128, 128));
  QPainter p(&out);
  int x = 0;
  for (const QImage& i : images) {
    p.drawImage(x, 0, i);
    x += i.width() + 8;
  }
  p.end();
  out.save(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath() + "/karto-trace-fidelity";
  QDir().mkpath(dir);
  const bool potrace = Have("potrace") && Have("rsvg-convert");
  std::printf("%-38s %-26s %6s %6s %6s %6s %7s %12s %7s %6s\n", "picture", "tracer", "IoU", "rsvg", "missed",
              "extra", "points", "widths", "worst w", "colour");
  int index = 0;
  for (int paper : {0, 1, 2})  // white, photographed, photographed in poor light
    for (bool coloured : {false, true})
      for (bool antialiased : {true, false}) {
        if (paper && !antialiased) continue;  // a camera sees no hard edges
        const TLineArt art =
            MakeLineArt(1200, 900, 40, {antialiased, coloured, paper == 1, paper == 2}, uint32_t(11 + index));
        const QString stem = dir + QString("/%1").arg(index++);
        art.Picture.SaveToFile(stem + "-picture.png");
        std::vector<TRow> rows;
        for (bool sketch : {false, true}) {
          rows.push_back(RunKarto(art, TTraceEngine::Centreline, sketch, stem + (sketch ? "-centre-sketch" : "-centre")));
          rows.push_back(RunKarto(art, TTraceEngine::Follower, sketch, stem + (sketch ? "-follower-sketch" : "-follower")));
        }
        if (potrace) rows.push_back(RunPotrace(art, stem + "-potrace"));
        std::vector<QImage> shown{art.Picture.Image(), QImage(stem + "-centre.png"), QImage(stem + "-follower.png")};
        if (potrace) shown.push_back(QImage(stem + "-potrace.svg.rsvg.png"));
        SideBySide(stem + "-compare.png", shown);
        // KARTO_DETAIL="x,y,w,h,zoom" picks the detail shown.
        QStringList detail = qEnvironmentVariable("KARTO_DETAIL", "300,250,600,400,1").split(',');
        if (detail.size() != 5) detail = QStringList{"300", "250", "600", "400", "1"};
        const int zoom = std::max(1, detail[4].toInt());
        for (QImage& i : shown)
          i = i.copy(detail[0].toInt(), detail[1].toInt(), detail[2].toInt(), detail[3].toInt())
                  .scaled(detail[2].toInt() * zoom, detail[3].toInt() * zoom);
        SideBySide(stem + "-detail.png", shown);
        for (const TRow& r : rows) {
          char widths[32] = "", worst[32] = "", colour[32] = "";
          if (r.matched) {
            std::snprintf(widths, sizeof widths, "%d/%d %.2f", r.match.Found, r.match.Measured, r.match.MeanWidth);
            std::snprintf(worst, sizeof worst, "%.2f", r.match.WorstWidth);
            std::snprintf(colour, sizeof colour, "%d", r.match.WorstColour);
          }
          char rsvg[16] = "-";
          if (r.iouRsvg >= 0) std::snprintf(rsvg, sizeof rsvg, "%.3f", r.iouRsvg);
          char iou[16] = "-";
          if (r.iou > 0) std::snprintf(iou, sizeof iou, "%.3f", r.iou);
          char missed[16] = "-", extra[16] = "-";
          if (r.iou > 0) {
            std::snprintf(missed, sizeof missed, "%.3f", r.missed);
            std::snprintf(extra, sizeof extra, "%.3f", r.extra);
          }
          std::printf("%-38s %-26s %6s %6s %6s %6s %7lld %12s %7s %6s\n", art.Name.c_str(), r.tracer.c_str(), iou, rsvg,
                      missed, extra, r.points, widths, worst, colour);
        }
      }
  std::printf("pictures and drawings in %s\n", qPrintable(dir));
  return 0;
}
