// The main window on the offscreen platform: start-up state, working modes,
// the view toggle, the zoom track bars and the enable helpers.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QVariantAnimation>

#include "app/DisplayHost.h"
#include "app/FloatTrackBar.h"
#include "app/KartoWindow.h"
#include "app/Utils.h"
#include "platform/Animation.h"
#include "tests/app/WindowFixture.h"

using namespace karto;

namespace {

TEST_F(WindowTest, EveryNamedControlExists) {
  const char* names[] = {
      "lbStatus", "btnVectorize", "btnTrace", "txfXCoord", "txfYCoord", "ScaleTrackX", "ScaleTrackY",
      "TextScaleX", "TextScaleY", "StatusBarCommon", "lyScaleRoot", "lyImageControlRoot",
      "ly2DControlRoot", "LayoutControl", "PanelForTraceControl", "PanelForImagingControl",
      "PanelOrigin", "ImageOrigin", "DropTargetOriginImage", "btnCopyOriginImageToDest",
      "SavedImage1", "SavedImage2", "SavedImage3", "lbSavedImage1", "lbSavedImage2", "lbSavedImage3",
      "PanelSavedImage1", "btnCopySavedImage1ToDest", "btnCopySavedImage2ToDest",
      "btnCopySavedImage3ToDest", "btnCopyDestToSavedImage1", "btnCopyDestToSavedImage2",
      "btnCopyDestToSavedImage3", "ScrollBoxImageDest", "PanelDestImage", "TrackBarBrightness",
      "TrackBarContrast", "TrackBarSharpen", "TrackBarPenSize", "TrackBarGreyscale", "lbBrightnessDesc",
      "lbBrightnessValue", "lbContrastDesc", "lbContrastValue", "lbSharpenDesc", "lbSharpenValue",
      "lbPenSizeDesc", "lbPenSizeValue", "lbGreyscaleValue", "chbxPageSketchActive", "listCat",
      "listFX", "lbxFilterSettings", "ToolBar2D", "btnNormalize", "grbxShapeProps",
      "SpinBoxLineWidth", "cobxLineType", "cobxLineColor", "btnSetLineProps", "btnDeleteSel",
      "btnSelAddition", "grbxNewShape", "btnNewShape", "btnNewLineH", "btnNewLineV", "btnNewRect",
      "btnNewCircle", "btnNewText", "btnSelSetText", "btnSelSetArrow", "PanelShapeInfos",
      "PanelShapeSelections", "btnClearAllShapeSelection", "TreeViewShapeSelections",
      "PanelShapeDialogs", "lbHeaderShapeDialogs", "btnShapeOk", "btnShapeCancel",
      "PanelShapeNormalize", "txfShapeNormalizeOrgWidth", "txfShapeNormalizeOrgHeight",
      "txfShapeNormalizeXCoord", "txfShapeNormalizeYCoord", "txfShapeNormalizeRefWidth",
      "txfShapeNormalizeRefHeight", "txfShapeNormalizeNewWidth", "txfShapeNormalizeNewHeight",
      "btnShapeNormalizeSnap", "ScrollBox2D", "PaintBox2D", "MenuItemFile", "MenuItem2"};
  for (const char* n : names) EXPECT_NE(w->findChild<QObject*>(n), nullptr) << n;
  const std::pair<const char*, const char*> menu[] = {
      {"MenuItemLoadImageForProcessing", "Load pixel image for processing ..."},
      {"MenuItemLoadImageForVectorize", "Load pixel image for vectorize ..."},
      {"MenuItemLoadTransitionImage", "Load transition pixel image ..."},
      {"MenuItemLoadSVGImage", "Load svg image ..."},
      {"MenuItemLoadFMXImage", "Load fmx image ..."},
      {"MenuItemSaveImage", "Save image as ..."},
      {"MenuItemExit", "Exit"},
      {"MenuItemAbout", "About..."}};
  for (const auto& [name, text] : menu) {
    auto* a = w->findChild<QAction*>(name);
    ASSERT_NE(a, nullptr) << name;
    EXPECT_EQ(a->text(), text);
  }
  // A command that does nothing yet is not offered; the SVG import is.
  EXPECT_FALSE(w->findChild<QAction*>("MenuItemLoadFMXImage")->isEnabled());
  EXPECT_TRUE(w->findChild<QAction*>("MenuItemLoadSVGImage")->isEnabled());
}

TEST_F(WindowTest, StartsInVectorizeModeWithTheImageView) {
  EXPECT_EQ(w->WorkingMode(), WorkMode::VECTORIZE_MODE);
  EXPECT_TRUE(w->ImageViewVisible());
  EXPECT_FALSE(w->View2DVisible());
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->ly2DControlRoot), 0.0);
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->lyImageControlRoot), 1.0);

  EXPECT_FALSE(w->btnVectorize->isEnabled());
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->btnVectorize), 0.4);
  EXPECT_EQ(w->btnVectorize->text(), "Vectorize");
  EXPECT_EQ(w->TextScaleX->text(), "100%");
  EXPECT_EQ(w->TextScaleY->text(), "100%");
  EXPECT_EQ(w->lbGreyscaleValue->text(), "127");
  EXPECT_DOUBLE_EQ(w->TrackBarGreyscale->Value(), 127);
  EXPECT_EQ(w->lbStatus->text(), "");
  EXPECT_EQ(w->ActiveImage(), -1);

  EXPECT_TRUE(w->PanelForTraceControl->isVisibleTo(w.get()));
  EXPECT_FALSE(w->PanelForImagingControl->isVisibleTo(w.get()));
  EXPECT_EQ(w->lbSavedImage[3]->text(), "Temp. saved image 3");
  EXPECT_FALSE(w->MenuItemLoadTransitionImage->isEnabled());
  EXPECT_TRUE(w->MenuItemLoadImageForVectorize->isEnabled());

  // Every copy button starts dimmed; no slot is active.
  for (QPushButton* b : {w->btnCopyOriginImageToDest, w->btnCopySavedImageToDest[1], w->btnCopyDestToSavedImage[1],
                         w->btnCopySavedImageToDest[2], w->btnCopyDestToSavedImage[2], w->btnCopySavedImageToDest[3],
                         w->btnCopyDestToSavedImage[3]})
    EXPECT_DOUBLE_EQ(WidgetOpacity(b), 0.5) << b->objectName().toStdString();

  // The shape dialog panel is closed and the selection panel usable.
  EXPECT_EQ(w->ShapeActionModeValue(), ShapeActionMode::SHAPE_NONE);
  EXPECT_FALSE(w->PanelShapeDialogs->isVisibleTo(w.get()));
  EXPECT_TRUE(w->PanelShapeSelections->isEnabled());
  EXPECT_EQ(w->txfShapeNormalizeNewWidth->text(), "200");
  EXPECT_EQ(w->txfShapeNormalizeNewHeight->text(), "100");

  // The 2D toolbar's line controls and the hidden drawing controls.
  EXPECT_DOUBLE_EQ(w->SpinBoxLineWidth->value(), 1.0);
  EXPECT_DOUBLE_EQ(w->SpinBoxLineWidth->minimum(), 0.2);
  EXPECT_DOUBLE_EQ(w->SpinBoxLineWidth->maximum(), 10);
  EXPECT_EQ(w->cobxLineType->count(), 4);
  EXPECT_EQ(w->cobxLineColor->currentIndex(), 7);
  EXPECT_EQ(w->cobxLineColor->currentData().toUInt(), 0xFF000000u);
  EXPECT_FALSE(w->grbxNewShape->isVisibleTo(w.get()));
  EXPECT_FALSE(w->btnSelSetText->isVisibleTo(w.get()));

  // The catalogue lists its ten categories in order.
  ASSERT_EQ(w->listCat->count(), 10);
  EXPECT_EQ(w->listCat->item(0)->text(), "Blur");
  EXPECT_EQ(w->listCat->item(9)->text(), "Transition");

  // The highlight pulse is prepared but idle.
  TFloatAnimation* pulse = w->ShapeFloatAnimation();
  ASSERT_NE(pulse, nullptr);
  EXPECT_FALSE(pulse->Enabled());
  EXPECT_FALSE(pulse->Running());
  EXPECT_TRUE(pulse->AutoReverse);
  EXPECT_TRUE(pulse->Loop);
  EXPECT_DOUBLE_EQ(pulse->Duration, 0.2);
  EXPECT_FLOAT_EQ(pulse->StartValue, 1.0f);
  EXPECT_FLOAT_EQ(pulse->StopValue, 0.2f);
  EXPECT_EQ(pulse->PropertyName(), "Opacity");
  EXPECT_EQ(pulse->Parent(), nullptr);
}

// What each mode shows, reached from the start-up mode.
struct ModeCase {
  WorkMode mode;
  bool imageView;
  bool tracePanel;
  bool imagingPanel;
  bool slot3Buttons;
  const char* slot3Label;
  bool vectorizeButtons;
  bool transitionMenu;
};

class ModeTableTest : public WindowTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ModeTableTest, SwitchSetsTheModesControls) {
  const ModeCase& c = GetParam();
  // Slot 3 holds a picture; switching to an image mode clears it to white.
  w->SlotImage(3)->Bitmap.SetSize(4, 4);
  w->SlotImage(3)->Bitmap.Clear(0xFFFF0000u);
  w->SetWorkingMode(WorkMode::IMAGING_MODE);  // leave the start mode first
  w->SlotImage(3)->Bitmap.Clear(0xFFFF0000u);
  w->SetWorkingMode(c.mode);
  QWidget* top = w.get();
  EXPECT_EQ(w->WorkingMode(), c.mode);
  EXPECT_EQ(w->ImageViewVisible(), c.imageView);
  EXPECT_EQ(w->View2DVisible(), !c.imageView);
  if (c.mode != WorkMode::SVG_MODE) {
    EXPECT_EQ(w->PanelForTraceControl->isVisibleTo(top), c.tracePanel);
    EXPECT_EQ(w->PanelForImagingControl->isVisibleTo(top), c.imagingPanel);
    EXPECT_EQ(w->btnCopySavedImageToDest[3]->isVisibleTo(top), c.slot3Buttons);
    EXPECT_EQ(w->btnCopyDestToSavedImage[3]->isVisibleTo(top), c.slot3Buttons);
    EXPECT_EQ(w->lbSavedImage[3]->text(), c.slot3Label);
  }
  EXPECT_EQ(w->btnVectorize->isVisibleTo(top), c.vectorizeButtons);
  EXPECT_EQ(w->btnTrace->isVisibleTo(top), c.vectorizeButtons);
  EXPECT_EQ(w->MenuItemLoadTransitionImage->isEnabled(), c.transitionMenu);
  const TAlphaColor slot3 = w->SlotImage(3)->Bitmap.Pixel(0, 0);
  if (c.mode == WorkMode::IMAGING_MODE)
    EXPECT_EQ(slot3, 0xFFFF0000u) << "the same mode again changes nothing";
  else if (c.mode == WorkMode::VECTORIZE_MODE)
    EXPECT_EQ(slot3, 0xFFFFFFFFu);
  else
    EXPECT_EQ(slot3, 0xFFFF0000u) << "the SVG mode leaves slot 3 alone";
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ModeTableTest,
    ::testing::Values(
        //        mode                    image  trace  imaging slot3  label                   vect   transition
        ModeCase{WorkMode::VECTORIZE_MODE, true, true, false, true, "Temp. saved image 3", true, false},
        ModeCase{WorkMode::IMAGING_MODE, true, false, true, false, "Transition Image", false, true},
        ModeCase{WorkMode::SVG_MODE, false, false, true, false, "Transition Image", false, true}));

TEST_F(WindowTest, LeavingTheSvgModeEmptiesThe2DView) {
  w->SetWorkingMode(WorkMode::SVG_MODE);
  ASSERT_TRUE(w->View2DVisible());
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->ly2DControlRoot), 1.0);
  auto* shape = new TPath(w->PaintBox2D());
  shape->SetParent(w->PaintBox2D());
  w->PaintBox2D()->SetScale({2, 2});

  w->SetWorkingMode(WorkMode::VECTORIZE_MODE);
  EXPECT_EQ(w->PaintBox2D()->ChildrenCount(), 0);
  EXPECT_EQ(w->PaintBox2D()->Scale(), TPointF(1, 1));
  EXPECT_TRUE(w->ImageViewVisible());
  EXPECT_FALSE(w->View2DVisible());
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->lyImageControlRoot), 1.0);
}

TEST_F(WindowTest, ViewToggleFadesTheOtherViewInAndRelabels) {
  w->ToggleView();
  EXPECT_TRUE(w->View2DVisible());
  EXPECT_FALSE(w->ImageViewVisible());
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->lyImageControlRoot), 0.0);
  EXPECT_EQ(w->btnVectorize->text(), "Image View");
  EXPECT_FALSE(w->MenuItemLoadImageForProcessing->isEnabled());
  EXPECT_FALSE(w->MenuItemLoadImageForVectorize->isEnabled());
  EXPECT_FALSE(w->MenuItemLoadTransitionImage->isEnabled());
  EXPECT_FALSE(w->ImageDest()->Visible());
  EXPECT_FALSE(w->btnTrace->isVisibleTo(w.get()));
  EXPECT_FALSE(w->TrackBarPenSize->isVisibleTo(w.get()));

  // A linear 1.5 s fade from 0 to 1.
  QVariantAnimation* fade = w->ViewFadeAnimation();
  EXPECT_EQ(fade->duration(), 1500);
  EXPECT_DOUBLE_EQ(fade->startValue().toDouble(), 0.0);
  EXPECT_DOUBLE_EQ(fade->endValue().toDouble(), 1.0);
  EXPECT_EQ(fade->easingCurve().type(), QEasingCurve::Linear);
  fade->setCurrentTime(750);
  EXPECT_NEAR(WidgetOpacity(w->ly2DControlRoot), 0.5, 1e-6);
  fade->setCurrentTime(1500);
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->ly2DControlRoot), 1.0);

  w->ToggleView();
  EXPECT_TRUE(w->ImageViewVisible());
  EXPECT_EQ(w->btnVectorize->text(), "Vectorize");
  EXPECT_TRUE(w->MenuItemLoadImageForProcessing->isEnabled());
  EXPECT_TRUE(w->MenuItemLoadTransitionImage->isEnabled());
  EXPECT_TRUE(w->ImageDest()->Visible());
  EXPECT_TRUE(w->btnTrace->isVisibleTo(w.get()));
  fade->setCurrentTime(1500);
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->lyImageControlRoot), 1.0);
}

// The 2D view of the trace mode disables the image loads; an SVG load from
// there must not strand the user in the SVG mode without them.
TEST_F(WindowTest, AModeSwitchFromThe2DViewKeepsTheLoadCommands) {
  w->ToggleView();
  w->SetWorkingMode(WorkMode::SVG_MODE);
  EXPECT_TRUE(w->MenuItemLoadImageForProcessing->isEnabled());
  EXPECT_TRUE(w->MenuItemLoadImageForVectorize->isEnabled());
  w->SetWorkingMode(WorkMode::VECTORIZE_MODE);
  EXPECT_TRUE(w->ImageViewVisible());
  EXPECT_EQ(w->btnVectorize->text(), "Vectorize");
  EXPECT_TRUE(w->ImageDest()->Visible());
  EXPECT_TRUE(w->TrackBarGreyscale->isVisibleTo(w.get()));
}

TEST_F(WindowTest, ScaleTrackBarsZoomTheImageViewButNeverShrinkThePanel) {
  LoadPicture(300, 200);
  TControl* panel = w->PanelDestImageRoot();
  EXPECT_FLOAT_EQ(panel->Width(), 300);
  EXPECT_FLOAT_EQ(panel->Height(), 200);

  w->ScaleTrackX->SetValue(0.5);
  EXPECT_EQ(w->TextScaleX->text(), "50%");
  EXPECT_FLOAT_EQ(panel->Scale().X, 0.5f);
  EXPECT_FLOAT_EQ(panel->Width(), 300) << "never narrower than the picture";
  EXPECT_EQ(w->PanelDestImage->width(), 150) << "drawn at half size";

  w->ScaleTrackY->SetValue(2.0);
  EXPECT_EQ(w->TextScaleY->text(), "200%");
  EXPECT_FLOAT_EQ(panel->Scale().Y, 2.0f);
  EXPECT_FLOAT_EQ(panel->Height(), 400);
  EXPECT_EQ(panel->Position(), TPointF(0, 0));

  w->ScaleTrackX->SetValue(1.3);
  EXPECT_EQ(w->TextScaleX->text(), "130%");
}

TEST_F(WindowTest, ScaleTrackBarsZoomThe2DView) {
  w->SetWorkingMode(WorkMode::SVG_MODE);
  const int vw = w->ScrollBox2D->viewport()->width();
  w->ScaleTrackX->SetValue(1.5);
  EXPECT_FLOAT_EQ(w->PaintBox2D()->Scale().X, 1.5f);
  EXPECT_FLOAT_EQ(w->PaintBox2D()->Width(), float(vw * 1.5));
  EXPECT_EQ(w->TextScaleX->text(), "150%");
}

TEST_F(WindowTest, LoadingAPictureMakesSlotZeroActive) {
  LoadPicture(40, 30);
  EXPECT_EQ(w->ActiveImage(), 0);
  EXPECT_EQ(w->ImageDest()->Bitmap.Width(), 40);
  EXPECT_EQ(w->ImageDest()->Bitmap.Pixel(5, 5), 0xFF336699u);
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->btnCopyOriginImageToDest), 1.0);
  EXPECT_DOUBLE_EQ(WidgetOpacity(w->btnCopySavedImageToDest[1]), 0.5);
  EXPECT_EQ(w->TextScaleX->text(), "100%");
}

TEST_F(WindowTest, AnUnreadablePictureClearsTheSlotsAndSaysSo) {
  LoadPicture(10, 10);
  QFile bad(dir.filePath("broken.png"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("\x89PNG\r\n\x1a\n not really");
  bad.close();
  w->LoadPixelImage(bad.fileName());
  EXPECT_EQ(w->SlotImage(0)->Bitmap.Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_TRUE(w->lbStatus->text().contains("broken.png")) << w->lbStatus->text().toStdString();
}

TEST(EnableHelpers, DisabledOpacityDependsOnTheKindOfControl) {
  struct Case {
    QWidget* widget;
    double disabledOpacity;
  };
  QWidget parent;
  const Case cases[] = {
      {new QLineEdit(&parent), 0.6},   {new QListWidget(&parent), 0.6}, {new QTreeWidget(&parent), 0.6},
      {new QPushButton(&parent), 0.4}, {new QLabel(&parent), 0.4},      {new QComboBox(&parent), 0.4},
      {new QCheckBox(&parent), 0.4},
  };
  for (const Case& c : cases) {
    const char* kind = c.widget->metaObject()->className();
    EnableControl(false, c.widget);
    EXPECT_FALSE(c.widget->isEnabled()) << kind;
    EXPECT_DOUBLE_EQ(WidgetOpacity(c.widget), c.disabledOpacity) << kind;
    EnableControl(true, c.widget);
    EXPECT_TRUE(c.widget->isEnabled()) << kind;
    EXPECT_DOUBLE_EQ(WidgetOpacity(c.widget), 1.0) << kind;
    EXPECT_EQ(c.widget->graphicsEffect(), nullptr) << "full opacity needs no effect";
  }
  QWidget panel(&parent);
  EnablePanel(false, &panel, 0.8f);
  EXPECT_FALSE(panel.isEnabled());
  EXPECT_NEAR(WidgetOpacity(&panel), 0.8, 1e-6);
  EnablePanel(true, &panel, 0.8f);
  EXPECT_DOUBLE_EQ(WidgetOpacity(&panel), 1.0);
}

TEST(FloatTrackBar, KeepsValuesExactAndClampsToItsRange) {
  TFloatTrackBar t;
  t.SetFrequency(0.1);
  t.SetRange(0.6, 10);
  int changes = 0;
  QObject::connect(&t, &TFloatTrackBar::changed, [&] { ++changes; });
  t.SetValue(3.0);
  EXPECT_EQ(t.Value(), 3.0);
  EXPECT_EQ(changes, 1);
  t.SetValue(3.0);
  EXPECT_EQ(changes, 1) << "no change, no signal";
  t.SetValue(20);
  EXPECT_EQ(t.Value(), 10.0);
  t.SetValue(-5);
  EXPECT_EQ(t.Value(), 0.6);
  // Moving the slider lands on exact steps: 0.6 + 4 steps is 1.0, not 0.99999.
  t.Slider()->setValue(4);
  EXPECT_EQ(t.Value(), 1.0);
  // Narrowing the range pulls the value in.
  t.SetRange(2, 5);
  EXPECT_EQ(t.Value(), 2.0);
}

}  // namespace

// The window remembers the files opened last (a menu that opens them), the
// last folder and its size, for the next run; the File menu has the usual
// keys.
TEST_F(WindowTest, RecentFilesFolderAndSizeAreRemembered) {
  EXPECT_EQ(w->MenuItemLoadImageForVectorize->shortcut(), QKeySequence(QKeySequence::Open));
  EXPECT_EQ(w->MenuItemExit->shortcut(), QKeySequence(QKeySequence::Quit));
  EXPECT_FALSE(w->MenuItemExportSVG->shortcut().isEmpty());
  EXPECT_FALSE(w->MenuRecentFiles->isEnabled());

  TBitmap b(8, 8);
  b.Clear(0xFF102030u);
  const QString first = WritePicture(b, "first.png"), second = WritePicture(b, "second.png");
  ASSERT_TRUE(w->OpenFile(first));
  ASSERT_TRUE(w->OpenFile(second));
  ASSERT_TRUE(w->OpenFile(first));
  EXPECT_EQ(w->RecentFiles(), (QStringList{first, second}));
  ASSERT_EQ(w->MenuRecentFiles->actions().size(), 2);
  EXPECT_TRUE(w->MenuRecentFiles->actions()[0]->text().contains("first.png"));
  w->resize(1100, 700);
  w->close();

  TfrmKarto next(std::make_unique<TScriptedDialogs>());
  EXPECT_EQ(next.RecentFiles(), (QStringList{first, second}));
  EXPECT_EQ(next.RunDir(), dir.path());
  EXPECT_EQ(next.size(), QSize(1100, 700));
  next.MenuRecentFiles->actions()[1]->trigger();  // second.png
  EXPECT_EQ(next.RecentFiles().front(), second);
  EXPECT_EQ(next.SlotImage(0)->Bitmap.Pixel(1, 1), 0xFF102030u);
}
