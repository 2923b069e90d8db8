// "Load svg image ...": the drawing replaces the 2D view in the SVG mode,
// fitted into the visible area; files that cannot be read say why and leave
// the window as it was; .svgz and dropped files are imported too.

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <zlib.h>

#include "svg/SVG.h"
#include "tests/app/WindowFixture.h"

using namespace karto;

namespace {

class SvgImportTest : public WindowTest {
 protected:
  QString WriteFile(const QString& name, const QByteArray& bytes) {
    const QString file = dir.filePath(name);
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return file;
  }
  // A gzip stream of text, as .svgz files hold.
  static QByteArray Gzip(const QByteArray& text) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    QByteArray out(int(deflateBound(&z, uLong(text.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = uInt(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(int(z.total_out));
    deflateEnd(&z);
    return out;
  }
  QLabel* Status() { return Find<QLabel>("lbStatus"); }
};

const char* const kDrawing =
    "<svg xmlns='http://www.w3.org/2000/svg' width='200' height='100'>"
    "<rect x='10' y='10' width='50' height='30' fill='red'/>"
    "<g transform='translate(100 0)'><circle cx='20' cy='20' r='10'/><path d='M0 50 L50 90'/></g></svg>";

TEST_F(SvgImportTest, TheDrawingReplacesThe2DViewFitted) {
  const QString file = WriteFile("drawing.svg", kDrawing);
  w->SetWorkingMode(WorkMode::VECTORIZE_MODE);
  dialogs->PushFile(file);
  w->MenuItemLoadSVGImageClick();
  ASSERT_EQ(dialogs->Calls().size(), 1u);
  EXPECT_EQ(dialogs->Calls()[0].request.Filter, "SVG Files (*.svg;*.svgz)|*.svg;*.svgz");
  EXPECT_EQ(w->WorkingMode(), WorkMode::SVG_MODE);
  EXPECT_TRUE(w->View2DVisible());
  TPaintBox* box = w->PaintBox2D();
  ASSERT_EQ(box->ChildrenCount(), 3);
  EXPECT_EQ(box->Tag(), 3);
  EXPECT_EQ(box->Children(0)->Name(), "Rec_1");
  EXPECT_EQ(box->Children(1)->Name(), "Elp_2");
  // Fitted into the paint box with its proportions kept: the 200 x 100
  // drawing takes the box's full width, centred.
  const TControl* rect = box->Children(0);
  EXPECT_NEAR(rect->Width() / rect->Height(), 50.0 / 30.0, 1e-3);
  const float scale = std::min(box->Width() / 200, box->Height() / 100);
  EXPECT_NEAR(rect->Width(), 50 * scale, 1e-2);
  EXPECT_NEAR(rect->Position().X, (box->Width() - 200 * scale) / 2 + 10 * scale, 1e-2);
  for (int i = 0; i < box->ChildrenCount(); ++i) {
    const TControl* c = box->Children(i);
    EXPECT_GE(c->Position().X, -0.001f);
    EXPECT_LE(c->Position().X + c->Width(), box->Width() + 0.001f);
  }
  // A second import replaces the first.
  dialogs->PushFile(file);
  w->MenuItemLoadSVGImageClick();
  EXPECT_EQ(box->ChildrenCount(), 3);
}

TEST_F(SvgImportTest, AFileThatCannotBeReadSaysWhyAndChangesNothing) {
  const struct {
    const char* name;
    QByteArray bytes;
    const char* reason;  // a part of the message
  } cases[] = {
      {"broken.svg", "<svg xmlns='http://www.w3.org/2000/svg'>\n<rect width='5'\n</svg>", "line 3"},
      {"notsvg.svg", "<html><body/></html>", "not <svg>"},
      {"empty.svg", "", "no"},
      {"damaged.svgz", QByteArray("\x1F\x8B\x08\x00garbage", 11), "damaged"},
  };
  LoadPicture(40, 30);
  ASSERT_EQ(w->WorkingMode(), WorkMode::VECTORIZE_MODE);
  for (const auto& c : cases) {
    dialogs->ClearCalls();
    dialogs->PushFile(WriteFile(c.name, c.bytes));
    w->MenuItemLoadSVGImageClick();
    ASSERT_EQ(dialogs->MessageCount(), 1) << c.name;
    const QString text = dialogs->LastMessage()->text;
    EXPECT_EQ(dialogs->LastMessage()->type, TMsgDlgType::mtError) << c.name;
    EXPECT_TRUE(text.contains(c.name)) << text.toStdString();
    EXPECT_TRUE(text.contains(c.reason)) << text.toStdString();
    EXPECT_EQ(w->WorkingMode(), WorkMode::VECTORIZE_MODE) << c.name;
    EXPECT_EQ(w->SvgDocument(), nullptr) << c.name;
  }
}

TEST_F(SvgImportTest, LargeDrawingsAskToBeNormalisedFirst) {
  const struct {
    const char* size;
    bool asks;
  } cases[] = {{"width='2400' height='800'", true}, {"width='800' height='600'", false}};
  for (const auto& c : cases) {
    const QString file = WriteFile("d.svg", QByteArray("<svg xmlns='http://www.w3.org/2000/svg' ") + c.size +
                                                "><rect width='10' height='10'/></svg>");
    ASSERT_TRUE(w->LoadSvgDrawing(file));
    EXPECT_EQ(Status()->text() == "First normalize!", c.asks) << c.size;
  }
}

TEST_F(SvgImportTest, CompressedAndDroppedFilesAreImported) {
  const QString svgz = WriteFile("drawing.svgz", Gzip(kDrawing));
  ASSERT_TRUE(w->LoadSvgDrawing(svgz));
  EXPECT_EQ(w->PaintBox2D()->ChildrenCount(), 3);

  const QString plain = WriteFile("dropped.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'>"
                                                 "<rect width='5' height='5'/></svg>");
  auto* data = new QMimeData;
  data->setUrls({QUrl::fromLocalFile(plain)});
  const QPoint at(w->width() / 2, w->height() / 2);
  QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.get(), &drop);
  QTest::qWait(50);
  EXPECT_EQ(w->PaintBox2D()->ChildrenCount(), 1);
  delete data;
}

}  // namespace
