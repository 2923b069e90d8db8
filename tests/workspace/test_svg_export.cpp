// The SVG export, checked by an independent renderer: the exported file
// drawn by rsvg-convert must look like the view drawn by Karto's renderer.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "platform/Renderer.h"
#include "platform/Shapes.h"
#include "workspace/SvgExport.h"

using namespace karto;

namespace {

// Renders SVG text with rsvg-convert at the given size.
QImage RenderWithRsvg(const std::string& svg, int w, int h, const QTemporaryDir& dir) {
  const QString exe = QStandardPaths::findExecutable("rsvg-convert");
  EXPECT_FALSE(exe.isEmpty()) << "rsvg-convert is missing: install librsvg2-bin";
  if (exe.isEmpty()) return {};
  QFile f(dir.filePath("view.svg"));
  f.open(QIODevice::WriteOnly);
  f.write(svg.data(), qint64(svg.size()));
  f.close();
  QProcess p;
  p.start(exe, {"-w", QString::number(w), "-h", QString::number(h), "-b", "white", "-o",
                dir.filePath("view.png"), f.fileName()});
  EXPECT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  QImage img(dir.filePath("view.png"));
  return img.convertToFormat(QImage::Format_ARGB32);
}

// The share of pixels whose colour differs by more than 48 in some channel.
double DifferentShare(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return 1;
  long long diff = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      if (std::abs(qRed(p) - qRed(q)) > 48 || std::abs(qGreen(p) - qGreen(q)) > 48 ||
          std::abs(qBlue(p) - qBlue(q)) > 48)
        ++diff;
    }
  return double(diff) / (a.width() * double(a.height()));
}

template <class T>
T* Add(TControl* parent) {
  auto* s = new T(parent);
  s->SetParent(parent);
  return s;
}

TEST(SvgExport, AnIndependentRendererDrawsTheSameView) {
  TPaintBox view;
  view.SetSize(240, 180);
  view.SetScale({2, 2});  // the screen's zoom is not part of the drawing

  auto* bg = Add<TRectangle>(&view);
  bg->SetAlign(TAlignLayout::alClient);
  bg->Fill.Color = 0xFFFFFFFFu;
  bg->Stroke.Kind = TBrushKind::bkNone;

  // A traced-looking open stroke, stretched into its box.
  auto* line = Add<TPath>(&view);
  line->Data.MoveTo({0, 0});
  line->Data.LineTo({10, 5});
  line->Data.LineTo({20, 0});
  line->SetBounds(20, 20, 80, 40);
  line->Fill.Kind = TBrushKind::bkNone;
  line->Stroke.Color = 0xFFCC2020u;
  line->StrokeThickness = 4;
  line->StrokeCap = TStrokeCap::scRound;
  line->StrokeJoin = TStrokeJoin::sjRound;

  // A filled, half-transparent ellipse under a scaled, rotated group.
  auto* group = Add<TLayout>(&view);
  group->SetBounds(130, 30, 60, 40);
  group->SetScale({1.5f, 1});
  group->SetRotationAngle(30);
  group->SetOpacity(0.8f);
  auto* ell = Add<TEllipse>(group);
  ell->SetBounds(0, 0, 60, 40);
  ell->Fill.Color = 0x802060E0u;
  ell->Stroke.Color = 0xFF000000u;
  ell->StrokeThickness = 2;

  // A dashed closed path with a curve, and a rounded rectangle.
  auto* dashed = Add<TPath>(&view);
  dashed->Data.MoveTo({0, 0});
  dashed->Data.CurveTo({30, -20}, {60, 20}, {90, 0});
  dashed->Data.LineTo({90, 40});
  dashed->Data.ClosePath();
  dashed->WrapMode = TPathWrapMode::pwOriginal;
  dashed->SetBounds(20, 110, 100, 60);
  dashed->Fill.Color = 0xFFFFE080u;
  dashed->Stroke.Color = 0xFF006000u;
  dashed->StrokeThickness = 3;
  dashed->StrokeDash = TStrokeDash::sdDash;
  auto* rr = Add<TRectangle>(&view);
  rr->SetBounds(150, 110, 70, 50);
  rr->XRadius = rr->YRadius = 10;
  rr->Fill.Kind = TBrushKind::bkNone;
  rr->Stroke.Color = 0xFF8000FFu;
  rr->StrokeThickness = 2;

  // Hidden shapes stay out of the file.
  auto* hidden = Add<TRectangle>(&view);
  hidden->SetBounds(0, 0, 240, 180);
  hidden->Fill.Color = 0xFF000000u;
  hidden->SetVisible(false);

  const std::string svg = ExportSvg(view);
  EXPECT_NE(svg.find("width=\"240\" height=\"180\" viewBox=\"0 0 240 180\""), std::string::npos);
  EXPECT_NE(svg.find("stroke-dasharray=\"9 3\""), std::string::npos);
  EXPECT_NE(svg.find("fill-opacity="), std::string::npos);

  view.SetScale({1, 1});
  const QImage ours = RenderToImage(view, 240, 180, 0xFFFFFFFFu);
  QTemporaryDir dir;
  const QImage theirs = RenderWithRsvg(svg, 240, 180, dir);
  ASSERT_FALSE(theirs.isNull());
  EXPECT_LT(DifferentShare(ours, theirs), 0.01);
  // And the comparison can fail: a view drawn without the ellipse differs.
  ell->SetVisible(false);
  EXPECT_GT(DifferentShare(RenderToImage(view, 240, 180, 0xFFFFFFFFu), theirs), 0.02);
}

TEST(SvgExport, EscapesNamesAndSkipsEmptyViews) {
  TPaintBox view;
  view.SetSize(10, 10);
  EXPECT_FALSE(HasExportableShapes(view));
  auto* layer = Add<TLayout>(&view);
  auto* r = Add<TRectangle>(layer);
  r->SetBounds(1, 1, 4, 4);
  EXPECT_TRUE(HasExportableShapes(view));
  layer->SetVisible(false);
  EXPECT_FALSE(HasExportableShapes(view));
  layer->SetVisible(true);
  auto* t = Add<TText>(&view);
  t->Text = "a<b & \"c\"";
  t->SetBounds(0, 0, 10, 10);
  const std::string svg = ExportSvg(view);
  EXPECT_NE(svg.find("a&lt;b &amp; &quot;c&quot;"), std::string::npos);
  EXPECT_EQ(svg.find("a<b"), std::string::npos);
}

}  // namespace
