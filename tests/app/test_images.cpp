// Image files, slots, drag and drop and the adjustment panel, driven
// through the real window with scripted dialogs.

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "app/DisplayHost.h"
#include "app/FloatTrackBar.h"
#include "app/Utils.h"
#include "imaging/AdjustmentChain.h"
#include "tests/app/WindowFixture.h"
#include "tests/support/Synthetic.h"

using namespace karto;

namespace {

const char* const kPixelFilter =
    "Bitmap files (*.bmp)|*.bmp|jpg files (*.jpg)|*.jpg|png files (*.png)|*.png|All Files (*.*)|*.*";
const char* const kTransitionFilter =
    "Bitmap File (*.bmp)|*.bmp|jpg File (*.jpg)|*.jpg|png File (*.png)|*.png|All Files (*.*)|*.*";

// Sends a drag carrying mime data over a widget and, when accepted, drops
// it. Returns whether the drag-over was accepted.
bool DragAndDrop(QWidget* target, QMimeData* data, bool drop = true) {
  const QPoint at(target->width() / 2, target->height() / 2);
  QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  if (drop) {
    QDropEvent dropEvent(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropEvent);
  }
  return true;
}

QMimeData* Files(const QStringList& paths) {
  auto* d = new QMimeData;
  QList<QUrl> urls;
  for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
  d->setUrls(urls);
  return d;
}

class ImagesTest : public WindowTest {
 protected:
  TBitmap Picture(TAlphaColor c, int w = 20, int h = 10) {
    TBitmap b(w, h);
    b.Clear(c);
    return b;
  }
};

TEST_F(ImagesTest, LoadCommandsUseTheirFiltersAndSwitchModes) {
  const QString file = WritePicture(Picture(0xFF112233u));
  struct Case {
    void (TfrmKarto::*command)();
    WorkMode mode;
  };
  const Case cases[] = {{&TfrmKarto::MenuItemLoadImageForProcessingClick, WorkMode::IMAGING_MODE},
                        {&TfrmKarto::MenuItemLoadImageForVectorizeClick, WorkMode::VECTORIZE_MODE}};
  for (const Case& c : cases) {
    dialogs->ClearCalls();
    dialogs->PushFile(file);
    const QString folderBefore = w->RunDir();
    (w.get()->*c.command)();
    ASSERT_EQ(dialogs->Calls().size(), 1u);
    const auto& call = dialogs->Calls()[0];
    EXPECT_EQ(call.kind, TScriptedDialogs::Call::Open);
    EXPECT_EQ(call.request.Filter, kPixelFilter);
    EXPECT_EQ(call.request.FilterIndex, 3);
    EXPECT_EQ(call.request.InitialDir, folderBefore);
    EXPECT_EQ(w->RunDir(), dir.path());  // the next dialog starts where this file was
    EXPECT_EQ(w->WorkingMode(), c.mode);
    EXPECT_EQ(w->ActiveImage(), 0);
    EXPECT_EQ(w->ImageDest()->Bitmap.Pixel(3, 3), 0xFF112233u);
    EXPECT_EQ(w->SlotImage(0)->Bitmap.Width(), 20);
  }
}

TEST_F(ImagesTest, RefusedExtensionsAndCancelledDialogsChangeNothing) {
  const QString jpeg = dir.filePath("photo.jpeg");
  QFile::copy(WritePicture(Picture(0xFF112233u), "x.jpg"), jpeg);
  for (const QString& answer : {jpeg, QString()}) {
    dialogs->PushFile(answer);
    w->MenuItemLoadImageForProcessingClick();
    EXPECT_EQ(w->WorkingMode(), WorkMode::VECTORIZE_MODE);
    EXPECT_EQ(w->ActiveImage(), -1);
    EXPECT_EQ(dialogs->MessageCount(), 0);
  }
}

TEST_F(ImagesTest, TransitionImageLoadsOnlyInImagingModeIntoSlotThree) {
  const QString file = WritePicture(Picture(0xFF00FF00u), "t.bmp");
  dialogs->PushFile(file);
  w->MenuItemLoadTransitionImageClick();  // vectorize mode: not offered
  EXPECT_TRUE(dialogs->Calls().empty());

  w->SetWorkingMode(WorkMode::IMAGING_MODE);
  w->MenuItemLoadTransitionImageClick();
  ASSERT_EQ(dialogs->Calls().size(), 1u);
  EXPECT_EQ(dialogs->Calls()[0].request.Filter, kTransitionFilter);
  EXPECT_EQ(w->SlotImage(3)->Bitmap.Pixel(1, 1), 0xFF00FF00u);
  EXPECT_EQ(w->ActiveImage(), -1) << "the transition image does not become active";
}

TEST_F(ImagesTest, CopyingTheDestinationIntoASlotWorksBeforeAnyLoad) {
  w->btnCopyDestToSavedImage[2]->click();
  EXPECT_EQ(w->ActiveImage(), 2);
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->btnCopySavedImageToDest[2]), 1.0);
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->btnCopyDestToSavedImage[2]), 1.0);
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->btnCopyOriginImageToDest), 0.5);
}

TEST_F(ImagesTest, CopyIntoTheDestinationNeedsALoadedPicture) {
  w->btnCopySavedImageToDest[1]->click();
  w->btnCopyOriginImageToDest->click();
  EXPECT_EQ(w->ActiveImage(), -1);
}

TEST_F(ImagesTest, SlotsStoreAndShowTheDestination) {
  LoadPicture(16, 8, 0xFF0000FFu);
  w->btnCopyDestToSavedImage[1]->click();
  EXPECT_EQ(w->ActiveImage(), 1);
  EXPECT_EQ(w->SlotImage(1)->Bitmap.Pixel(2, 2), 0xFF0000FFu);

  // The destination changes; showing slot 1 brings the stored picture back.
  w->ImageDest()->Bitmap.Clear(0xFFFFFFFFu);
  w->btnCopySavedImageToDest[1]->click();
  EXPECT_EQ(w->ImageDest()->Bitmap.Pixel(2, 2), 0xFF0000FFu);

  // A double click on the origin image makes slot 0 active again.
  QTest::mouseDClick(w->ImageOrigin, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(w->ActiveImage(), 0);
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->btnCopyOriginImageToDest), 1.0);
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->btnCopySavedImageToDest[1]), 0.5);

  // A double click on a slot shows it.
  QTest::mouseDClick(w->SavedImage[1], Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(w->ActiveImage(), 1);
}

TEST_F(ImagesTest, ShowingTheOriginResetsTheAdjustments) {
  LoadPicture(16, 8);
  w->TrackBarBrightness->SetValue(0.5);
  w->chbxPageSketchActive->setChecked(true);
  w->btnCopyOriginImageToDest->click();
  EXPECT_DOUBLE_EQ(w->TrackBarBrightness->Value(), 0.0);
  EXPECT_FALSE(w->chbxPageSketchActive->isChecked());
  EXPECT_EQ(w->ImageDest()->Bitmap.Pixel(1, 1), 0xFF336699u);
}

// After a reset the filters work with what the controls show: a contrast
// moved before the reset is gone from the next adjustment.
TEST_F(ImagesTest, AResetPutsTheFiltersBackWithTheControls) {
  LoadPicture(16, 8);
  w->TrackBarBrightness->SetValue(0.1);
  const TBitmap brightenedOnly = w->ImageDest()->Bitmap;
  w->btnCopyOriginImageToDest->click();
  w->TrackBarContrast->SetValue(0.2);
  ASSERT_FALSE(w->ImageDest()->Bitmap == brightenedOnly);
  w->btnCopyOriginImageToDest->click();
  w->TrackBarBrightness->SetValue(0.1);
  EXPECT_TRUE(w->ImageDest()->Bitmap == brightenedOnly);
}

TEST_F(ImagesTest, PictureFilesDroppedOnTheOriginImageLoadAndKeepTheMode) {
  w->SetWorkingMode(WorkMode::IMAGING_MODE);
  const QString bmp = WritePicture(Picture(0xFFAA5500u), "dropped.bmp");
  const std::unique_ptr<QMimeData> dropped(Files({bmp}));
  EXPECT_TRUE(DragAndDrop(w->ImageOrigin, dropped.get()));
  EXPECT_EQ(w->WorkingMode(), WorkMode::IMAGING_MODE);
  EXPECT_EQ(w->ImageDest()->Bitmap.Pixel(0, 0), 0xFFAA5500u);

  // Only the first file counts, by its extension; a GIF or no file at all
  // is refused at drag-over.
  struct Case {
    QStringList files;
    bool accepted;
  };
  const Case cases[] = {{{dir.filePath("a.gif")}, false},
                        {{dir.filePath("a.gif"), bmp}, false},
                        {{dir.filePath("UPPER.PNG")}, true},
                        {{dir.filePath("a.jpeg")}, false},
                        {{}, false}};
  for (const Case& c : cases) {
    std::unique_ptr<QMimeData> data(Files(c.files));
    EXPECT_EQ(TfrmKarto::IsPictureFile(data.get()), c.accepted) << c.files.join(",").toStdString();
    EXPECT_EQ(DragAndDrop(w->ImageOrigin, data.get(), false), c.accepted);
  }
  auto text = std::make_unique<QMimeData>();
  text->setText("not a file");
  EXPECT_FALSE(TfrmKarto::IsPictureFile(text.get()));
}

TEST_F(ImagesTest, AnythingDroppedOnASlotStoresTheDestination) {
  LoadPicture(12, 12, 0xFF445566u);
  auto data = std::make_unique<QMimeData>();
  data->setData(TfrmKarto::kSlotDragMime, "destination");
  EXPECT_TRUE(DragAndDrop(w->SavedImage[3], data.get()));
  EXPECT_EQ(w->ActiveImage(), 3);
  EXPECT_EQ(w->SlotImage(3)->Bitmap.Pixel(4, 4), 0xFF445566u);
  // Dropping onto the destination is accepted and changes nothing.
  EXPECT_TRUE(DragAndDrop(w->PanelDestImage, data.get()));
  EXPECT_EQ(w->ActiveImage(), 3);
}

TEST_F(ImagesTest, SaveImageWritesTheDestinationOnlyInImagingMode) {
  LoadPicture(10, 10, 0xFF123456u);
  const QString out = dir.filePath("out.png");
  dialogs->PushFile(out);
  w->MenuItemSaveImageClick();  // vectorize mode, image view: nothing
  EXPECT_TRUE(dialogs->Calls().empty());
  EXPECT_FALSE(QFile::exists(out));

  w->SetWorkingMode(WorkMode::IMAGING_MODE);
  w->LoadPixelImage(WritePicture(Picture(0xFF123456u)));
  w->MenuItemSaveImageClick();
  ASSERT_EQ(dialogs->Calls().size(), 1u);
  EXPECT_EQ(dialogs->Calls()[0].kind, TScriptedDialogs::Call::Save);
  EXPECT_EQ(dialogs->Calls()[0].request.Filter, kTransitionFilter);
  EXPECT_EQ(dialogs->Calls()[0].request.FilterIndex, 3);
  TBitmap back;
  back.LoadFromFile(out);
  EXPECT_EQ(back.Pixel(5, 5), 0xFF123456u);

  // An extension Karto does not write: nothing written, nothing said.
  const QString gif = dir.filePath("out.gif");
  dialogs->PushFile(gif);
  w->MenuItemSaveImageClick();
  EXPECT_FALSE(QFile::exists(gif));
  EXPECT_EQ(dialogs->MessageCount(), 0);
}

TEST_F(ImagesTest, AFailedSaveShowsAnErrorAndKeepsTheOldFile) {
  w->SetWorkingMode(WorkMode::IMAGING_MODE);
  w->LoadPixelImage(WritePicture(Picture(0xFF123456u)));
  dialogs->PushFile(dir.filePath("missing-folder/out.png"));
  w->MenuItemSaveImageClick();
  const auto* msg = dialogs->LastMessage();
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(msg->type, TMsgDlgType::mtError);
  EXPECT_EQ(msg->buttons, mbOKCancel);
  EXPECT_TRUE(msg->text.startsWith("The image could not be saved.")) << msg->text.toStdString();
}

// --- the adjustment panel ------------------------------------------------------

TEST_F(ImagesTest, PanelShowsTheFiltersRangesAndDefaults) {
  const std::pair<QLabel*, const char*> labels[] = {
      {w->lbSharpenDesc, "Amount (0.00 ... 2.00)"},       {w->lbSharpenValue, "1.00"},
      {w->lbBrightnessDesc, "Brightness (-1.00 ... 1.00)"}, {w->lbBrightnessValue, "0.00"},
      {w->lbContrastDesc, "Contrast (0.00 ... 2.00)"},     {w->lbContrastValue, "1.50"},
      {w->lbPenSizeDesc, "BrushSize (0.60 ... 10.00)"},    {w->lbPenSizeValue, "3.00"},
  };
  for (const auto& [label, text] : labels) EXPECT_EQ(label->text(), text) << label->objectName().toStdString();
  EXPECT_DOUBLE_EQ(w->TrackBarPenSize->Min(), 0.6);
  EXPECT_DOUBLE_EQ(w->TrackBarPenSize->Max(), 10);
  EXPECT_DOUBLE_EQ(w->TrackBarContrast->Value(), 1.5);
  EXPECT_FALSE(w->chbxPageSketchActive->isChecked());
}

class AdjustTest : public ImagesTest {
 protected:
  void SetUp() override {
    ImagesTest::SetUp();
    photo = synthetic::PhotoLike(60, 40, 3);
    w->SetWorkingMode(WorkMode::VECTORIZE_MODE);
    w->LoadPixelImage(WritePicture(photo));
    photo.LoadFromFile(dir.filePath("pic.png"));  // as the window read it
  }
  // What the chain makes of the picture with the given stages.
  TBitmap Expected(std::optional<float> brightness, std::optional<float> contrast, bool sketch) {
    TAdjustmentOptions o;
    o.brightness = brightness;
    o.contrast = contrast;
    o.sketch = sketch;
    return ApplyAdjustmentOptions(photo, o);
  }
  TBitmap photo;
};

TEST_F(AdjustTest, MovingThePenSizeSwitchesThePaperSketchOn) {
  w->TrackBarPenSize->SetValue(4.0);
  EXPECT_TRUE(w->chbxPageSketchActive->isChecked());
  EXPECT_EQ(w->lbPenSizeValue->text(), "4.00");
  TAdjustmentOptions o;
  o.penSize = 4.0f;
  EXPECT_EQ(w->ImageDest()->Bitmap, ApplyAdjustmentOptions(photo, o));
}

TEST_F(AdjustTest, UncheckingActiveLeavesTheEarlierStages) {
  w->TrackBarContrast->SetValue(1.8);
  w->chbxPageSketchActive->setChecked(true);
  EXPECT_EQ(w->ImageDest()->Bitmap, Expected(std::nullopt, 1.8f, true));
  w->chbxPageSketchActive->setChecked(false);
  EXPECT_EQ(w->ImageDest()->Bitmap, Expected(std::nullopt, 1.8f, false));
}

TEST_F(AdjustTest, BrightnessBackToZeroKeepsTheStage) {
  w->TrackBarBrightness->SetValue(0.4);
  w->TrackBarBrightness->SetValue(0.0);
  EXPECT_EQ(w->lbBrightnessValue->text(), "0.00");
  // Brightness 0 with the contrast shown (1.50) still runs.
  EXPECT_EQ(w->ImageDest()->Bitmap, Expected(0.0f, 1.5f, false));
  EXPECT_FALSE(w->ImageDest()->Bitmap == photo);
}

TEST_F(AdjustTest, EveryRunDisablesVectorizeAndStartsFromTheSlot) {
  EnableControl(true, w->btnVectorize);
  w->TrackBarSharpen->SetValue(2.0);
  EXPECT_FALSE(w->btnVectorize->isEnabled());
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->btnVectorize), 0.4);
  // Moving the same bar twice gives the result of the last value alone:
  // the destination never accumulates effects.
  w->TrackBarSharpen->SetValue(0.5);
  TAdjustmentOptions o;
  o.sharpen = 0.5f;
  EXPECT_EQ(w->ImageDest()->Bitmap, ApplyAdjustmentOptions(photo, o));
  EXPECT_EQ(w->SlotImage(0)->Bitmap, photo);
}

TEST_F(AdjustTest, TheGreyscaleLimitRunsNothing) {
  w->TrackBarSharpen->SetValue(1.5);
  const TBitmap before = w->ImageDest()->Bitmap;
  EnableControl(true, w->btnVectorize);
  w->TrackBarGreyscale->SetValue(90);
  EXPECT_EQ(w->lbGreyscaleValue->text(), "90");
  EXPECT_TRUE(w->btnVectorize->isEnabled());
  EXPECT_EQ(w->ImageDest()->Bitmap, before);
}

}  // namespace

// A picture with a transparent background is laid on white paper when it
// loads for adjusting and tracing: transparent is paper, not black ink.
TEST_F(ImagesTest, TransparentPicturesLoadOnWhitePaper) {
  TBitmap art = Picture(0x00000000u, 20, 10);
  art.SetPixel(3, 3, 0xFF000000u);
  art.SetPixel(4, 3, 0x80000000u);
  w->LoadPixelImage(WritePicture(art));
  const TBitmap& origin = w->SlotImage(0)->Bitmap;
  EXPECT_EQ(origin.Pixel(10, 5), 0xFFFFFFFFu);
  EXPECT_EQ(origin.Pixel(3, 3), 0xFF000000u);
  EXPECT_NEAR(int(origin.Pixel(4, 3) & 0xFF), 127, 2);  // half ink, half paper
}

// A JPEG cut short loads (its lower part grey) and the status line says so.
TEST_F(ImagesTest, APictureCutShortSaysSo) {
  TBitmap photo = Picture(0xFF884422u, 200, 150);
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x) photo.SetPixel(x, y, 0xFF000000u | uint32_t((x * 7 % 256) << 16 | (y * 5 % 256) << 8 | (x * y % 256)));
  const QString whole = WritePicture(photo, "whole.jpg");
  QFile in(whole);
  ASSERT_TRUE(in.open(QIODevice::ReadOnly));
  const QByteArray bytes = in.readAll();
  QFile cut(dir.filePath("cut.jpg"));
  ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
  cut.write(bytes.left(bytes.size() / 2));
  cut.close();
  w->LoadPixelImage(cut.fileName());
  EXPECT_EQ(w->SlotImage(0)->Bitmap.Width(), 200);
  EXPECT_TRUE(w->lbStatus->text().contains("cut short")) << w->lbStatus->text().toStdString();
  w->LoadPixelImage(whole);
  EXPECT_FALSE(w->lbStatus->text().contains("cut short"));
}

// Files named on the command line: pictures open for vectorizing, drawings
// through the SVG import, anything else says why it did not open.
TEST_F(ImagesTest, FilesFromTheCommandLineOpenByTheirKind) {
  const QString svg = dir.filePath("d.svg");
  QFile f(svg);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("<svg xmlns='http://www.w3.org/2000/svg' width='20' height='20'><rect width='5' height='5'/></svg>");
  f.close();
  QFile txt(dir.filePath("notes.txt"));
  ASSERT_TRUE(txt.open(QIODevice::WriteOnly));
  txt.close();

  w->SetWorkingMode(WorkMode::IMAGING_MODE);
  EXPECT_TRUE(w->OpenFile(WritePicture(Picture(0xFF112233u))));
  EXPECT_EQ(w->WorkingMode(), WorkMode::VECTORIZE_MODE);
  EXPECT_EQ(w->SlotImage(0)->Bitmap.Pixel(1, 1), 0xFF112233u);

  EXPECT_TRUE(w->OpenFile(svg));
  EXPECT_EQ(w->WorkingMode(), WorkMode::SVG_MODE);
  EXPECT_EQ(w->PaintBox2D()->ChildrenCount(), 1);

  EXPECT_FALSE(w->OpenFile(txt.fileName()));
  EXPECT_TRUE(w->lbStatus->text().contains("does not open notes.txt")) << w->lbStatus->text().toStdString();
  EXPECT_FALSE(w->OpenFile(dir.filePath("gone.png")));
  EXPECT_TRUE(w->lbStatus->text().contains("does not exist"));
  EXPECT_EQ(w->WorkingMode(), WorkMode::SVG_MODE);  // what failed changed nothing
}
