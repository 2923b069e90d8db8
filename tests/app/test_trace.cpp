// The Trace and Vectorize commands through the real window: messages, the
// trace's lifetime, highlighting by double click and the 2D view.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app/DisplayHost.h"
#include "app/FloatTrackBar.h"
#include "app/Utils.h"
#include "tests/app/WindowFixture.h"
#include "trace/ImgTrace.h"
#include "workspace/ShapeWorkspace.h"
#include "workspace/TraceRoad.h"

using namespace karto;

namespace {

class TraceTest : public WindowTest {
 protected:
  // A white picture with a horizontal and a vertical black bar.
  void LoadBars(int w = 160, int h = 120) {
    TBitmap b(w, h);
    b.Clear(0xFFFFFFFFu);
    auto bar = [&](int x0, int y0, int x1, int y1) {
      for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) b.SetPixel(x, y, 0xFF000000u);
    };
    bar(20, 30, 120, 32);
    bar(60, 50, 62, 100);
    w_LoadFile(WritePicture(b));
  }
  void w_LoadFile(const QString& file) {
    w->SetWorkingMode(WorkMode::VECTORIZE_MODE);
    w->LoadPixelImage(file);
  }
  void Trace() {
    w->chbxPageSketchActive->setChecked(true);
    w->btnTrace->click();
  }
  int Count(const char* className) {
    int n = 0;
    for (TControl* c : w->PaintBox2D()->ChildList()) n += std::string(c->ClassName()) == className;
    return n;
  }
};

TEST_F(TraceTest, TracingNeedsThePaperSketch) {
  LoadBars();
  w->btnTrace->click();
  const auto* msg = dialogs->LastMessage();
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(msg->text, "Please activate \"Paper Sketch\" before trace the bitmap!");
  EXPECT_EQ(msg->type, TMsgDlgType::mtError);
  EXPECT_EQ(msg->buttons, mbOKCancel);
  EXPECT_EQ(w->ImgTrace(), nullptr);

  // Centre lines read the ink as drawn: no sketch needed.
  dialogs->ClearCalls();
  w->cobxTraceEngine->setCurrentIndex(1);
  w->btnTrace->click();
  EXPECT_EQ(dialogs->MessageCount(), 0);
  ASSERT_NE(w->TraceRun(), nullptr);
  EXPECT_TRUE(w->TraceRun()->Traced());
  EXPECT_EQ(w->TraceRun()->Drawing()->Strokes.size(), 2u);
}

TEST_F(TraceTest, AnEmptyPictureIsTooSmallToTrace) {
  LoadPicture(80, 60, 0xFFFFFFFFu);
  Trace();
  const auto* msg = dialogs->LastMessage();
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(msg->text, "The bitmap is empty or too small!");
  EXPECT_FALSE(w->btnVectorize->isEnabled());
  EXPECT_NE(w->ImgTrace(), nullptr) << "the engine stays";
  // Vectorize with such a trace does nothing and says nothing.
  dialogs->ClearCalls();
  w->btnVectorize->setEnabled(true);
  w->btnVectorize->click();
  EXPECT_TRUE(w->ImageViewVisible());
  EXPECT_TRUE(dialogs->Calls().empty());
}

TEST_F(TraceTest, ATraceEnablesVectorizeAndPaintsTheClaimedPixels) {
  LoadBars();
  Trace();
  EXPECT_EQ(dialogs->MessageCount(), 0);
  ASSERT_NE(w->ImgTrace(), nullptr);
  EXPECT_TRUE(w->btnVectorize->isEnabled());
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->btnVectorize), 1.0);
  int blue = 0;
  const TBitmap& dest = w->ImageDest()->Bitmap;
  for (int y = 0; y < dest.Height(); ++y)
    for (int x = 0; x < dest.Width(); ++x) blue += dest.Pixel(x, y) == STATE_COLORS[size_t(PixelState::LINECENTER)];
  EXPECT_GT(blue, 50);

  // Moving an adjustment releases the trace and disables Vectorize.
  w->TrackBarSharpen->SetValue(0.5);
  EXPECT_EQ(w->ImgTrace(), nullptr);
  EXPECT_FALSE(w->btnVectorize->isEnabled());
}

TEST_F(TraceTest, TracingAgainAsksFirst) {
  LoadBars();
  Trace();
  TImgTrace* first = w->ImgTrace();
  ASSERT_NE(first, nullptr);
  const int firstPixels = first->GetPixelCount();
  const size_t firstPaths = first->GetListOfTraceObjects()->size();
  const TBitmap firstDest = w->ImageDest()->Bitmap;
  const int firstShapes = Count("TPath");
  for (TModalResult answer : {TModalResult::mrNo, TModalResult::mrCancel}) {
    dialogs->PushAnswer(answer);
    w->btnTrace->click();
    const auto* msg = dialogs->LastMessage();
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(msg->text, "Override the existing Trace?");
    EXPECT_EQ(msg->type, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(msg->buttons, mbYesNoCancel);
    EXPECT_EQ(w->ImgTrace(), first);
  }
  dialogs->PushAnswer(TModalResult::mrYes);
  w->btnTrace->click();
  ASSERT_NE(w->ImgTrace(), nullptr);
  EXPECT_TRUE(w->btnVectorize->isEnabled());
  // The new trace started from a clean destination: the same picture
  // traces to the same pixels, paths, colours and shapes as the first time,
  // nothing left over from the first trace.
  EXPECT_EQ(w->ImgTrace()->GetPixelCount(), firstPixels);
  EXPECT_EQ(w->ImgTrace()->GetListOfTraceObjects()->size(), firstPaths);
  EXPECT_TRUE(w->ImageDest()->Bitmap == firstDest);
  EXPECT_EQ(Count("TPath"), firstShapes);
}

TEST_F(TraceTest, ADoubleClickHighlightsThePathUnderThePointer) {
  LoadBars();
  Trace();
  TImgTrace* t = w->ImgTrace();
  ASSERT_NE(t, nullptr);
  // A centre pixel of the horizontal bar.
  int cx = -1, cy = -1;
  for (const PixelInfo& p : t->PixelInfos())
    if (p.State == PixelState::LINECENTER && p.y >= 30 && p.y <= 32 && p.x > 40) {
      cx = p.x;
      cy = p.y;
      break;
    }
  ASSERT_GE(cx, 0);
  const int path = t->PixelInfos()[size_t(t->PixelIndexAt(cx, cy))].TraceObjIdx;
  QTest::mouseDClick(w->PanelDestImage, Qt::LeftButton, {}, QPoint(cx, cy));
  EXPECT_EQ(w->txfXCoord->text(), QString::number(cx));
  EXPECT_EQ(w->txfYCoord->text(), QString::number(cy));
  EXPECT_EQ(t->GetLastSelIdx(), path);
  EXPECT_EQ(w->ImageDest()->Bitmap.Pixel(cx, cy), HIGHLIGHT_COLORS[size_t(PixelState::LINECENTER)]);
  // A light pixel keeps the highlight.
  QTest::mouseDClick(w->PanelDestImage, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(t->GetLastSelIdx(), path);
}

TEST_F(TraceTest, VectorizeTwiceStacksASecondDrawing) {
  LoadBars();
  Trace();
  w->btnVectorize->click();
  ASSERT_TRUE(w->View2DVisible());
  EXPECT_EQ(w->btnVectorize->text(), "Image View");
  const int paths = Count("TPath");
  EXPECT_GE(paths, 2);
  EXPECT_EQ(Count("TRectangle"), 1);
  EXPECT_GE(w->PaintBox2D()->Width(), 120);

  w->btnVectorize->click();
  EXPECT_TRUE(w->ImageViewVisible());
  w->btnVectorize->click();
  EXPECT_EQ(Count("TRectangle"), 2);
  EXPECT_EQ(Count("TPath"), 2 * paths);
}

TEST_F(TraceTest, ASmallTraceStillGetsA100By100View) {
  TBitmap b(60, 40);
  b.Clear(0xFFFFFFFFu);
  for (int y = 10; y <= 12; ++y)
    for (int x = 5; x <= 50; ++x) b.SetPixel(x, y, 0xFF000000u);
  w_LoadFile(WritePicture(b));
  Trace();
  ASSERT_TRUE(w->btnVectorize->isEnabled());
  w->btnVectorize->click();
  EXPECT_EQ(w->PaintBox2D()->Width(), 100);
  EXPECT_EQ(w->PaintBox2D()->Height(), 100);
}

TEST_F(TraceTest, TheVectorDrawingExportsAsSvg) {
  LoadBars();
  Trace();
  w->UpdateFileMenu();
  EXPECT_FALSE(w->MenuItemExportSVG->isEnabled()) << "nothing to export from the image view";
  w->btnVectorize->click();
  w->UpdateFileMenu();
  EXPECT_TRUE(w->MenuItemExportSVG->isEnabled());
  const QString out = dir.filePath("drawing");
  dialogs->PushFile(out);
  w->MenuItemExportSVGClick();
  QFile f(out + ".svg");
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray svg = f.readAll();
  EXPECT_TRUE(svg.contains("<svg"));
  EXPECT_GE(svg.count("<path"), 2);
  EXPECT_EQ(dialogs->MessageCount(), 0);
}

TEST_F(TraceTest, TheSavedViewLeavesOutTheTrace) {
  LoadBars();
  Trace();
  w->btnVectorize->click();
  dialogs->PushFile(dir.filePath("view.js"));
  w->MenuItemSaveImageClick();
  QFile f(dir.filePath("view.fmx"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray text = f.readAll();
  EXPECT_TRUE(text.startsWith("object PaintBox2D: TPaintBox"));
  EXPECT_FALSE(text.contains("TPath"));
  EXPECT_FALSE(text.contains("TRectangle"));
}

}  // namespace

// The centre-line engine through the window: its claims painted in the
// state colours, a double click lighting up one stroke, smooth strokes in
// the 2D view that the workspace can pick.
TEST_F(TraceTest, CentreLinesTraceHighlightAndVectorize) {
  w->cobxTraceEngine->setCurrentIndex(1);
  LoadBars();
  Trace();
  EXPECT_EQ(dialogs->MessageCount(), 0);
  ASSERT_NE(w->TraceRun(), nullptr);
  EXPECT_EQ(w->ImgTrace(), nullptr);
  EXPECT_TRUE(w->btnVectorize->isEnabled());
  const TBitmap& dest = w->ImageDest()->Bitmap;
  const TAlphaColor centre = STATE_COLORS[size_t(PixelState::LINECENTER)];
  const TAlphaColor part = STATE_COLORS[size_t(PixelState::LINEPART)];
  EXPECT_EQ(dest.Pixel(40, 31), centre) << "the bar's centre line";
  EXPECT_EQ(dest.Pixel(40, 30), part) << "the bar's ink beside it";
  EXPECT_EQ(dest.Pixel(61, 80), centre) << "the stem's centre line";
  EXPECT_EQ(dest.Pixel(5, 5), 0xFFFFFFFFu) << "paper stays";

  QTest::mouseDClick(w->PanelDestImage, Qt::LeftButton, {}, QPoint(40, 31));
  EXPECT_EQ(dest.Pixel(40, 31), HIGHLIGHT_COLORS[size_t(PixelState::LINECENTER)]);
  EXPECT_EQ(dest.Pixel(40, 30), HIGHLIGHT_COLORS[size_t(PixelState::LINEPART)]);
  EXPECT_EQ(dest.Pixel(61, 80), centre) << "only the stroke under the pointer";
  // Another stroke takes the highlight over.
  QTest::mouseDClick(w->PanelDestImage, Qt::LeftButton, {}, QPoint(61, 80));
  EXPECT_EQ(dest.Pixel(40, 31), centre);
  EXPECT_EQ(dest.Pixel(61, 80), HIGHLIGHT_COLORS[size_t(PixelState::LINECENTER)]);

  w->btnVectorize->click();
  ASSERT_TRUE(w->View2DVisible());
  std::vector<std::string> names;
  for (TControl* c : w->PaintBox2D()->ChildList())
    if (std::string(c->ClassName()) == "TPath") names.push_back(c->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Stroke_1", "Stroke_2"})) << "a T is a bar and a stem";
  // A click on the bar selects it.
  w->Workspace().MouseDown(TMouseButton::mbLeft, ssLeft, 80, 31);
  w->Workspace().MouseUp(TMouseButton::mbLeft, ssLeft, 80, 31);
  EXPECT_EQ(w->Workspace().Selection().count("Stroke_1"), 1u) << "the workspace picks a traced stroke";
}

// Large pictures trace on a worker thread; the result is the one the window
// would have got tracing them itself, for both engines.
TEST_F(TraceTest, ATraceInTheBackgroundGivesTheSameResult) {
  for (int engine : {0, 1}) {
    SCOPED_TRACE(engine);
    w->cobxTraceEngine->setCurrentIndex(engine);
    LoadBars();
    Trace();
    ASSERT_NE(w->TraceRun(), nullptr);
    const QImage painted = w->ImageDest()->Bitmap.Image().copy();
    const long long dark = w->TraceRun()->DarkPixels();

    w->SetBackgroundTraceFrom(1);
    dialogs->PushAnswer(TModalResult::mrYes);
    w->btnTrace->click();
    w->SetBackgroundTraceFrom(10'000'000);
    ASSERT_NE(w->TraceRun(), nullptr);
    EXPECT_TRUE(w->TraceRun()->Traced());
    EXPECT_EQ(w->TraceRun()->DarkPixels(), dark);
    EXPECT_TRUE(w->ImageDest()->Bitmap.Image() == painted) << "the same claims painted into the destination";
    EXPECT_FALSE(w->pbLoad->isVisible());
    EXPECT_TRUE(w->btnTrace->isEnabled());
    EXPECT_TRUE(w->centralWidget()->isEnabled());
    // Highlighting after a background trace paints into the window's picture.
    QTest::mouseDClick(w->PanelDestImage, Qt::LeftButton, {}, QPoint(40, 31));
    EXPECT_EQ(w->ImageDest()->Bitmap.Pixel(40, 31), HIGHLIGHT_COLORS[size_t(PixelState::LINECENTER)]);
  }
}
