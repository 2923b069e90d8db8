// Start-up, shutdown, working modes, the view toggle and the zoom track bars.

#include "app/KartoWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QProgressBar>
#include <QTimer>
#include <QThread>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVariantAnimation>
#include <cmath>

#include "app/About.h"
#include "app/CatalogRun.h"
#include "app/DisplayHost.h"
#include "app/DragSource.h"
#include "workspace/TraceRoad.h"
#include "app/FloatTrackBar.h"
#include "app/QtDialogs.h"
#include "app/Utils.h"
#include "imaging/Catalogue.h"
#include "platform/Animation.h"
#include "svg/SVG.h"
#include "trace/ImgTrace.h"
#include "workspace/ShapeWorkspace.h"

namespace karto {

namespace {
QString F0(double v) { return QString::number(v, 'f', 0); }
}  // namespace

TfrmKarto::TfrmKarto(std::unique_ptr<TDialogs> dialogs, QWidget* parent)
    : QMainWindow(parent), m_dialogs(std::move(dialogs)) {
  if (!m_dialogs) m_dialogs = std::make_unique<TQtDialogs>(this);
  BuildLayout();
  m_viewFade = new QVariantAnimation(this);
  m_viewFade->setObjectName("ViewFadeAnimation");
  WireHandlers();
  FormCreate();
}

TfrmKarto::~TfrmKarto() { FormDestroy(); }

void TfrmKarto::WireHandlers() {
  connect(btnVectorize, &QPushButton::clicked, this, &TfrmKarto::btnVectorizeClick);
  connect(btnTrace, &QPushButton::clicked, this, &TfrmKarto::btnTraceClick);
  connect(ScaleTrackX, &TFloatTrackBar::changed, this, &TfrmKarto::ScaleTrackXChange);
  connect(ScaleTrackY, &TFloatTrackBar::changed, this, &TfrmKarto::ScaleTrackYChange);
  connect(TrackBarGreyscale, &TFloatTrackBar::changed, this, &TfrmKarto::TrackBarGreyscaleChange);
  connect(MenuItemExit, &QAction::triggered, this, &TfrmKarto::MenuItemExitClick);
  connect(MenuItemAbout, &QAction::triggered, this, &TfrmKarto::MenuItemAboutClick);
  connect(btnClearAllShapeSelection, &QPushButton::clicked, this, &TfrmKarto::btnClearAllShapeSelectionClick);
  connect(listCat, &QListWidget::currentRowChanged, this, &TfrmKarto::listCatClick);
  connect(listFX, &QListWidget::currentRowChanged, this, &TfrmKarto::listFXClick);

  connect(MenuItemLoadImageForProcessing, &QAction::triggered, this, &TfrmKarto::MenuItemLoadImageForProcessingClick);
  connect(MenuItemLoadImageForVectorize, &QAction::triggered, this, &TfrmKarto::MenuItemLoadImageForVectorizeClick);
  connect(MenuItemLoadTransitionImage, &QAction::triggered, this, &TfrmKarto::MenuItemLoadTransitionImageClick);
  connect(MenuItemSaveImage, &QAction::triggered, this, &TfrmKarto::MenuItemSaveImageClick);
  connect(MenuItemExportSVG, &QAction::triggered, this, &TfrmKarto::MenuItemExportSVGClick);
  connect(MenuItemLoadSVGImage, &QAction::triggered, this, &TfrmKarto::MenuItemLoadSVGImageClick);
  connect(MenuItemFile, &QMenu::aboutToShow, this, &TfrmKarto::UpdateFileMenu);

  connect(TrackBarBrightness, &TFloatTrackBar::changed, this, &TfrmKarto::TrackBarBrightnessChange);
  connect(TrackBarContrast, &TFloatTrackBar::changed, this, &TfrmKarto::TrackBarContrastChange);
  connect(TrackBarSharpen, &TFloatTrackBar::changed, this, &TfrmKarto::TrackBarSharpenChange);
  connect(TrackBarPenSize, &TFloatTrackBar::changed, this, &TfrmKarto::TrackBarPenSizeChange);
  connect(chbxPageSketchActive, &QCheckBox::toggled, this, &TfrmKarto::chbxPageSketchActiveChange);

  connect(btnCopyOriginImageToDest, &QPushButton::clicked, this, &TfrmKarto::btnCopyOriginImageToDestClick);
  ImageOrigin->Root()->OnDblClick = [this](TControl*) { ImageOriginDblClick(); };
  m_oImageDest->OnMouseDown = [this](TControl*, TMouseButton b, TShiftState s, float x, float y) {
    ImageDestMouseDown(b, s, x, y);
  };
  m_oImageDest->OnDblClick = [this](TControl*) { ImageDestDblClick(); };
  ImageOrigin->SetDropHandler({[this](const QMimeData* d) { return DropTargetOriginImageDragOver(d); },
                               [this](const QMimeData* d) { DropTargetOriginImageDropped(d); }});
  for (int n = 1; n <= 3; ++n) {
    connect(btnCopySavedImageToDest[size_t(n)], &QPushButton::clicked, this, [this, n] { btnCopySavedImageToDestClick(n); });
    connect(btnCopyDestToSavedImage[size_t(n)], &QPushButton::clicked, this, [this, n] { btnCopyDestToSavedImageClick(n); });
    SavedImage[size_t(n)]->Root()->OnDblClick = [this, n](TControl*) { SavedImageDblClick(n); };
    // A slot takes whatever is dropped on it: the destination is stored there.
    SavedImage[size_t(n)]->SetDropHandler({[](const QMimeData*) { return true; },
                                           [this, n](const QMimeData*) { SavedImageDragDrop(n); }});
  }
  auto slotDrag = [] {
    auto* data = new QMimeData;
    data->setData(kSlotDragMime, QByteArray("destination"));
    return data;
  };
  PanelDestImage->SetDragSource(slotDrag, m_oImageDest);
  // Dropping onto the destination is accepted and does nothing.
  PanelDestImage->SetDropHandler({[](const QMimeData*) { return true; }, [](const QMimeData*) {}});
  m_slotPanelDrag = std::make_unique<TWidgetDragSource>(PanelSavedImage[1], slotDrag);
}

void TfrmKarto::FormCreate() {
  SetViewControls(false, true);
  // SVG files dropped anywhere on the window are imported.
  setAcceptDrops(true);
  // The views fill their shared area and the destination fills its panel
  // (layouts and alignment do this).
  m_oImageDest->SetAlign(TAlignLayout::alClient);

  RegisterCatalogue();
  FilterSharpe = FilterManager::CreateFilter("Sharpen");
  FilterMonochrome = FilterManager::CreateFilter("Monochrome");
  FilterContrast = FilterManager::CreateFilter("Contrast");
  FilterPaperSketch = FilterManager::CreateFilter("PaperSketch");
  if (FilterSharpe) FilterRecSharpe = FilterSharpe->FilterRec();
  if (FilterMonochrome) FilterRecMonochrome = FilterMonochrome->FilterRec();
  if (FilterContrast) FilterRecContrast = FilterContrast->FilterRec();
  if (FilterPaperSketch) FilterRecPaperSketch = FilterPaperSketch->FilterRec();
  ResetAdjustmentControls(false);

  TrackBarGreyscale->SetValue(127);
  lbGreyscaleValue->setText(F0(TrackBarGreyscale->Value()));
  ScaleTrackX->SetValue(1);
  ScaleTrackY->SetValue(1);
  m_lWithUpdate = true;
  m_oImageDest->DeleteChildren();
  m_sRunDir = QDir::currentPath();
  LoadSettings();
  m_iActImage = -1;
  EnableControl(false, btnVectorize);

  m_oImages = {As<TImage>(ImageOrigin->Root()), As<TImage>(SavedImage[1]->Root()),
               As<TImage>(SavedImage[2]->Root()), As<TImage>(SavedImage[3]->Root())};
  m_oImgBtns[0] = {btnCopyOriginImageToDest, nullptr};
  for (size_t n = 1; n <= 3; ++n) m_oImgBtns[n] = {btnCopySavedImageToDest[n], btnCopyDestToSavedImage[n]};
  DimImageButtons();

  PanelDestImageRoot()->SetPosition({0, 0});
  m_oImageDest->SetPosition({0, 0});
  m_oPaintBox2D->SetPosition({0, 0});

  lyImageControlRoot->setVisible(true);
  SetWidgetOpacity(lyImageControlRoot, 1);
  ly2DControlRoot->setVisible(false);
  SetWidgetOpacity(ly2DControlRoot, 0);

  m_enWorkingMode = WorkMode::NONE_MODE;
  m_trace.reset();
  SetWorkingMode(WorkMode::VECTORIZE_MODE);

  // The workspace keeps the selection, the gestures, the commands and undo
  // of the 2D view; the handlers in KartoWorkspace.cpp talk to it.
  m_workspace = std::make_unique<TShapeWorkspace>(*m_oPaintBox2D);
  WireWorkspace();
  lbStatus->setText("");
  Set2DShapeActionPanel(ShapeActionMode::SHAPE_NONE);
}

void TfrmKarto::WaitShowingProgress(const std::function<bool()>& done, const std::function<int()>& percent,
                                    const std::function<QString(int)>& status, int showAfterMs) {
  QElapsedTimer clock;
  clock.start();
  const QString statusBefore = lbStatus->text();
  QEventLoop wait;
  QTimer poll;
  const auto show = [&] {
    const int p = percent();
    lbStatus->setText(status(p));
    pbLoad->setValue(p);
    pbLoad->setVisible(true);
  };
  connect(&poll, &QTimer::timeout, &wait, [&] {
    if (done()) wait.quit();
    else if (clock.elapsed() >= showAfterMs) show();
  });
  if (showAfterMs <= 0) show();
  poll.start(50);
  // Quick work ends before the loop is needed.
  for (int i = 0; i < 4 && !done(); ++i) QThread::msleep(5);
  if (!done()) wait.exec();
  poll.stop();
  pbLoad->setVisible(false);
  lbStatus->setText(statusBefore);
}

void TfrmKarto::FormDestroy() {
  if (m_destroyed) return;
  m_destroyed = true;
  // A catalogue filter still running finishes before its pictures go.
  if (m_catalogRun) {
    m_catalogRun->watcher.disconnect();
    m_catalogRun->watcher.waitForFinished();
  }
  m_trace.reset();
  if (m_workspace) {
    m_workspace->OnSelectionChanged = nullptr;
    m_workspace->ClearAllShapeSelection();
    m_workspace.reset();
  }
  m_oPaintBox2D->DeleteChildren();
  FilterContrast.reset();
  FilterSharpe.reset();
  FilterMonochrome.reset();
  FilterPaperSketch.reset();
  Filter.reset();
}

TControl* TfrmKarto::PanelDestImageRoot() const { return PanelDestImage->Root(); }

bool TfrmKarto::ImageViewVisible() const { return !lyImageControlRoot->isHidden(); }
bool TfrmKarto::View2DVisible() const { return !ly2DControlRoot->isHidden(); }

// --- working modes -------------------------------------------------------------

void TfrmKarto::SetWorkingMode(WorkMode m) {
  if (m == m_enWorkingMode || m == WorkMode::NONE_MODE) {
    m_enWorkingMode = m;
    return;
  }
  if (m == WorkMode::VECTORIZE_MODE || m == WorkMode::IMAGING_MODE) {
    if (View2DVisible()) {
      Reset2DView();
      ShowView(true, false);
    }
    const bool vectorize = m == WorkMode::VECTORIZE_MODE;
    PanelForTraceControl->setVisible(vectorize);
    PanelForImagingControl->setVisible(!vectorize);
    btnCopySavedImageToDest[3]->setVisible(vectorize);
    btnCopyDestToSavedImage[3]->setVisible(vectorize);
    lbSavedImage[3]->setText(vectorize ? "Temp. saved image 3" : "Transition Image");
    btnVectorize->setVisible(vectorize);
    btnTrace->setVisible(vectorize);
    cobxTraceEngine->setVisible(vectorize);
    MenuItemLoadTransitionImage->setEnabled(!vectorize);
    m_oImages[3]->Bitmap.Clear(TAlphaColors::White);
    m_oImages[3]->Repaint();
  } else {  // SVG_MODE
    if (!View2DVisible()) ShowView(false, false);
    ly2DControlRoot->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    btnVectorize->setVisible(false);
    btnTrace->setVisible(false);
    cobxTraceEngine->setVisible(false);
    MenuItemLoadTransitionImage->setEnabled(true);
  }
  // A mode switch never leaves the window without a way back: the image
  // load commands are offered again (the 2D view of the trace mode
  // disables them while it shows).
  MenuItemLoadImageForProcessing->setEnabled(true);
  MenuItemLoadImageForVectorize->setEnabled(true);
  m_enWorkingMode = m;
}

// Shows one view and hides the other. Leaving the 2D view also puts the
// image-side controls and the Vectorize caption back.
void TfrmKarto::ShowView(bool imageSide, bool fade) {
  QWidget* show = imageSide ? lyImageControlRoot : ly2DControlRoot;
  QWidget* hide = imageSide ? ly2DControlRoot : lyImageControlRoot;
  m_viewFade->stop();
  hide->setVisible(false);
  SetWidgetOpacity(hide, 0);
  show->setVisible(true);
  if (imageSide && !fade) {
    SetViewControls(true, true);
    btnVectorize->setText("Vectorize");
  }
  if (!fade) {
    SetWidgetOpacity(show, 1);
    return;
  }
  SetWidgetOpacity(show, 0);
  m_viewFade->disconnect();
  m_viewFade->setStartValue(0.0);
  m_viewFade->setEndValue(1.0);
  m_viewFade->setDuration(1500);
  m_viewFade->setEasingCurve(QEasingCurve::Linear);
  connect(m_viewFade, &QVariantAnimation::valueChanged, show,
          [show](const QVariant& v) { SetWidgetOpacity(show, v.toDouble()); });
  m_viewFade->start();
}

void TfrmKarto::SetViewControls(bool imageSide, bool show) {
  if (imageSide) {
    m_oImageDest->SetVisible(show);
    ImageOrigin->setVisible(show);
    btnCopyOriginImageToDest->setVisible(show);
    for (size_t n = 1; n <= 3; ++n) {
      btnCopySavedImageToDest[n]->setVisible(show);
      btnCopyDestToSavedImage[n]->setVisible(show);
      SavedImage[n]->setVisible(show);
    }
    for (TFloatTrackBar* t : {TrackBarBrightness, TrackBarContrast, TrackBarSharpen, TrackBarPenSize, TrackBarGreyscale})
      t->setVisible(show);
    btnTrace->setVisible(show);
    cobxTraceEngine->setVisible(show);
    return;
  }
  if (m_enWorkingMode == WorkMode::VECTORIZE_MODE) {
    MenuItemLoadImageForProcessing->setEnabled(show);
    MenuItemLoadImageForVectorize->setEnabled(show);
    MenuItemLoadTransitionImage->setEnabled(show);
  }
  btnVectorize->setText(show ? "Vectorize" : "Image View");
}

void TfrmKarto::ToggleView() {
  const bool imageViewVisible = ImageViewVisible();
  SetViewControls(true, !imageViewVisible);
  ShowView(!imageViewVisible, true);
  SetViewControls(false, ImageViewVisible());
}


// --- zoom ----------------------------------------------------------------------

void TfrmKarto::ScaleTrackXChange() {
  const double v = ScaleTrackX->Value();
  if (ImageViewVisible()) {
    TControl* panel = PanelDestImageRoot();
    panel->SetScale({float(v), panel->Scale().Y});
    panel->SetWidth(float(std::max(m_xMaxImg * v, m_xMaxImg)));
    panel->SetPosition({0, panel->Position().Y});
    m_oImageDest->SetPosition({0, m_oImageDest->Position().Y});
  } else if (View2DVisible()) {
    m_oPaintBox2D->SetScale({float(v), m_oPaintBox2D->Scale().Y});
    m_oPaintBox2D->SetWidth(float(ScrollBox2D->viewport()->width() * v));
  }
  TextScaleX->setText(QString::number(std::nearbyint(v * 100), 'f', 0) + "%");
}

void TfrmKarto::ScaleTrackYChange() {
  const double v = ScaleTrackY->Value();
  if (ImageViewVisible()) {
    TControl* panel = PanelDestImageRoot();
    panel->SetScale({panel->Scale().X, float(v)});
    panel->SetHeight(float(std::max(m_yMaxImg * v, m_yMaxImg)));
    panel->SetPosition({0, 0});
    m_oImageDest->SetPosition({0, 0});
  } else if (View2DVisible()) {
    m_oPaintBox2D->SetScale({m_oPaintBox2D->Scale().X, float(v)});
    m_oPaintBox2D->SetHeight(float(ScrollBox2D->viewport()->height() * v));
  }
  TextScaleY->setText(QString::number(std::nearbyint(v * 100), 'f', 0) + "%");
}

// --- buttons and helpers ----------------------------------------------------------

void TfrmKarto::DimImageButtons() {
  for (const auto& pair : m_oImgBtns)
    for (QPushButton* b : pair)
      if (b) SetWidgetOpacity(b, 0.5);
}

void TfrmKarto::MenuItemExitClick() {
  close();
  QApplication::quit();
}

void TfrmKarto::MenuItemAboutClick() {
  TfrmAbout about(this);
  about.exec();
}

// --- 2D workspace -------------------------------------------------------------------

}  // namespace karto
