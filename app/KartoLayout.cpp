// The window's controls and their places. Every named control gets its name
// as objectName so tests and tools find it with findChild.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/DisplayHost.h"
#include "app/FloatTrackBar.h"
#include "app/KartoWindow.h"
#include "app/Utils.h"
#include "platform/NamedColors.h"

namespace karto {

namespace {

template <class W>
W* Named(W* w, const char* name) {
  w->setObjectName(name);
  return w;
}

QLabel* Label(const QString& text, QWidget* parent = nullptr) { return new QLabel(text, parent); }

// Lays two widgets into one cell of host, so they share one area; the
// window shows one of them at a time.
void ShareOneArea(QWidget* host, QWidget* a, QWidget* b) {
  auto* grid = new QGridLayout(host);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(a, 0, 0);
  grid->addWidget(b, 0, 0);
}

QWidget* Panel(const char* name) {
  auto* w = new QWidget;
  w->setObjectName(name);
  return w;
}

TFloatTrackBar* TrackBar(const char* name, double min, double max, double step, double value) {
  auto* t = Named(new TFloatTrackBar, name);
  t->SetFrequency(step);
  t->SetRange(min, max);
  t->SetValue(value);
  return t;
}

// A sample of a dash style for the line-type box.
QIcon LineSampleIcon(Qt::PenStyle style) {
  QPixmap pm(64, 12);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  QPen pen(Qt::black, 2, style);
  p.setPen(pen);
  p.drawLine(2, 6, 62, 6);
  return QIcon(pm);
}

}  // namespace

void TfrmKarto::BuildLayout() {
  setObjectName("frmKarto");
  setWindowTitle("Karto");
  BuildMenus();

  auto* central = new QWidget;
  auto* col = new QVBoxLayout(central);
  col->setContentsMargins(0, 0, 0, 0);
  col->setSpacing(0);

  lyScaleRoot = Panel("lyScaleRoot");
  lyImageControlRoot = BuildImageView();
  ly2DControlRoot = Build2DView();
  ShareOneArea(lyScaleRoot, lyImageControlRoot, ly2DControlRoot);

  col->addWidget(lyScaleRoot, 1);
  col->addWidget(BuildStatusBar());
  setCentralWidget(central);
  resize(1132, 686 + menuBar()->sizeHint().height());
}

void TfrmKarto::BuildMenus() {
  MenuItemFile = Named(menuBar()->addMenu("&File"), "MenuItemFile");
  auto add = [this](const char* name, const QString& text) {
    QAction* a = MenuItemFile->addAction(text);
    a->setObjectName(name);
    return a;
  };
  MenuItemLoadImageForProcessing = add("MenuItemLoadImageForProcessing", "Load pixel image for processing ...");
  MenuItemLoadImageForVectorize = add("MenuItemLoadImageForVectorize", "Load pixel image for vectorize ...");
  MenuItemLoadTransitionImage = add("MenuItemLoadTransitionImage", "Load transition pixel image ...");
  MenuItemFile->addSeparator();
  MenuItemLoadSVGImage = add("MenuItemLoadSVGImage", "Load svg image ...");
  MenuItemLoadFMXImage = add("MenuItemLoadFMXImage", "Load fmx image ...");
  // Offered while the 2D view shows (UpdateFileMenu).
  MenuItemLoadFMXImage->setEnabled(false);
  MenuItemFile->addSeparator();
  MenuItemSaveImage = add("MenuItemSaveImage", "Save image as ...");
  MenuItemExportSVG = add("MenuItemExportSVG", "Export SVG ...");
  MenuItemFile->addSeparator();
  MenuRecentFiles = Named(MenuItemFile->addMenu("Recent files"), "MenuRecentFiles");
  MenuItemFile->addSeparator();
  MenuItemExit = add("MenuItemExit", "Exit");
  // The usual keys of a desktop program.
  MenuItemLoadImageForVectorize->setShortcut(QKeySequence::Open);
  MenuItemLoadImageForProcessing->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  MenuItemLoadSVGImage->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
  MenuItemSaveImage->setShortcut(QKeySequence::Save);
  MenuItemExportSVG->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  MenuItemExit->setShortcut(QKeySequence::Quit);

  // The 2D view's edit commands; the toolbar buttons do the same.
  MenuItemEdit = Named(menuBar()->addMenu("&Edit"), "MenuItemEdit");
  auto edit = [this](const char* name, const QString& text, const QList<QKeySequence>& keys) {
    QAction* a = MenuItemEdit->addAction(text);
    a->setObjectName(name);
    a->setShortcuts(keys);
    return a;
  };
  MenuItemUndo = edit("MenuItemUndo", "Undo", {QKeySequence(Qt::CTRL | Qt::Key_Z)});
  MenuItemRedo = edit("MenuItemRedo", "Redo",
                      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  MenuItemEdit->addSeparator();
  MenuItemSelectAll = edit("MenuItemSelectAll", "Select all", {QKeySequence(Qt::CTRL | Qt::Key_A)});
  MenuItemDeleteSel = edit("MenuItemDeleteSel", "Delete selection", {QKeySequence(Qt::Key_Delete)});
  MenuItemCancel = edit("MenuItemCancel", "Cancel", {QKeySequence(Qt::Key_Escape)});

  MenuItem2 = Named(menuBar()->addMenu("&Help"), "MenuItem2");
  MenuItemAbout = MenuItem2->addAction("About...");
  MenuItemAbout->setObjectName("MenuItemAbout");
}

QWidget* TfrmKarto::BuildStatusBar() {
  StatusBarCommon = Panel("StatusBarCommon");
  StatusBarCommon->setFixedHeight(38);
  auto* row = new QHBoxLayout(StatusBarCommon);
  row->setContentsMargins(6, 2, 6, 2);

  lbStatus = Named(Label(""), "lbStatus");
  QFont f = lbStatus->font();
  f.setBold(true);
  f.setPointSize(11);
  lbStatus->setFont(f);
  lbStatus->setMinimumWidth(200);
  row->addWidget(lbStatus, 1);
  pbLoad = Named(new QProgressBar, "pbLoad");
  pbLoad->setRange(0, 100);
  pbLoad->setFixedWidth(160);
  pbLoad->setVisible(false);
  row->addWidget(pbLoad);

  btnVectorize = Named(new QPushButton("Vectorize"), "btnVectorize");
  btnTrace = Named(new QPushButton("Trace"), "btnTrace");
  cobxTraceEngine = Named(new QComboBox, "cobxTraceEngine");
  cobxTraceEngine->addItems({"Stroke follower", "Centre lines"});
  cobxTraceEngine->setToolTip(
      "Stroke follower: short straight paths along the strokes.\n"
      "Centre lines: smooth curves through the middle of each stroke, with its width and colour, and filled areas.");
  row->addWidget(btnVectorize);
  row->addWidget(cobxTraceEngine);
  row->addWidget(btnTrace);

  auto* coords = Panel("PanelCoords");
  auto* cl = new QHBoxLayout(coords);
  cl->setContentsMargins(8, 0, 8, 0);
  txfXCoord = Named(new QLineEdit, "txfXCoord");
  txfYCoord = Named(new QLineEdit, "txfYCoord");
  for (QLineEdit* e : {txfXCoord, txfYCoord}) {
    e->setFixedWidth(70);
    e->setReadOnly(true);
  }
  cl->addWidget(Label("X"));
  cl->addWidget(txfXCoord);
  cl->addWidget(Label("Y"));
  cl->addWidget(txfYCoord);
  row->addWidget(coords);

  ScaleTrackX = TrackBar("ScaleTrackX", 0.5, 2.0, 0.1, 1.0);
  ScaleTrackY = TrackBar("ScaleTrackY", 0.5, 2.0, 0.1, 1.0);
  TextScaleX = Named(Label("100%"), "TextScaleX");
  TextScaleY = Named(Label("100%"), "TextScaleY");
  for (TFloatTrackBar* t : {ScaleTrackX, ScaleTrackY}) t->setFixedWidth(110);
  for (QLabel* l : {TextScaleX, TextScaleY}) l->setFixedWidth(40);
  row->addWidget(Label("X"));
  row->addWidget(ScaleTrackX);
  row->addWidget(TextScaleX);
  row->addWidget(Label("Y"));
  row->addWidget(ScaleTrackY);
  row->addWidget(TextScaleY);
  return StatusBarCommon;
}

QWidget* TfrmKarto::BuildImageView() {
  QWidget* root = Panel("lyImageControlRoot");
  auto* row = new QHBoxLayout(root);
  row->setContentsMargins(4, 4, 4, 4);

  // Left column: the mode's controls above the origin image.
  LayoutControl = Panel("LayoutControl");
  LayoutControl->setFixedWidth(278);
  auto* left = new QVBoxLayout(LayoutControl);
  left->setContentsMargins(0, 0, 0, 0);
  auto* modePanels = new QWidget;
  PanelForTraceControl = BuildTracePanel();
  PanelForImagingControl = BuildImagingPanel();
  ShareOneArea(modePanels, PanelForTraceControl, PanelForImagingControl);
  left->addWidget(modePanels, 1);

  PanelOrigin = Panel("PanelOrigin");
  auto* po = new QGridLayout(PanelOrigin);
  po->setContentsMargins(0, 0, 0, 0);
  auto* originRoot = new TImage;
  originRoot->SetName("ImageOrigin");
  ImageOrigin = new TDisplayHost(originRoot);
  ImageOrigin->SetRootFollowsSize(true);
  ImageOrigin->setMinimumHeight(150);
  ImageOrigin->SetBackground(QColor(250, 250, 250), QColor(190, 190, 190));
  DropTargetOriginImage = Named(new QLabel("Drop Picture File"), "DropTargetOriginImage");
  DropTargetOriginImage->setAlignment(Qt::AlignCenter);
  DropTargetOriginImage->setStyleSheet("color: rgba(0,0,0,90); border: 1px dashed rgba(0,0,0,60);");
  // The hint lies over the image; presses and drops go through to it.
  DropTargetOriginImage->setAttribute(Qt::WA_TransparentForMouseEvents);
  btnCopyOriginImageToDest = Named(new QPushButton("Show in destination"), "btnCopyOriginImageToDest");
  btnCopyOriginImageToDest->setToolTip("Copy the origin image into the destination");
  po->addWidget(ImageOrigin, 0, 0);
  po->addWidget(DropTargetOriginImage, 0, 0);
  po->addWidget(btnCopyOriginImageToDest, 1, 0);
  left->addWidget(PanelOrigin);
  row->addWidget(LayoutControl);

  // Saved-image slots.
  auto* slotColumn = Panel("LayoutSavedImages");
  slotColumn->setFixedWidth(170);
  auto* sl = new QVBoxLayout(slotColumn);
  sl->setContentsMargins(0, 0, 0, 0);
  for (int n = 1; n <= 3; ++n) sl->addWidget(BuildSlot(n), 1);
  row->addWidget(slotColumn);

  // Destination image.
  ScrollBoxImageDest = Named(new QScrollArea, "ScrollBoxImageDest");
  ScrollBoxImageDest->setWidgetResizable(false);
  ScrollBoxImageDest->setBackgroundRole(QPalette::Dark);
  auto* destRoot = new TLayout;
  destRoot->SetName("PanelDestImage");
  m_oImageDest = new TImage(destRoot);
  m_oImageDest->SetName("ImageDest");
  m_oImageDest->SetParent(destRoot);
  // The destination is drawn one to one in its own coordinates; the panel's
  // scale zooms it.
  m_oImageDest->WrapMode = TImageWrapMode::iwOriginal;
  PanelDestImage = new TDisplayHost(destRoot);
  PanelDestImage->SetSizeFollowsRoot(true);
  ScrollBoxImageDest->setWidget(PanelDestImage);
  row->addWidget(ScrollBoxImageDest, 1);
  return root;
}

QWidget* TfrmKarto::BuildSlot(int n) {
  const QByteArray num = QByteArray::number(n);
  QWidget* panel = Panel(("PanelSavedImage" + num).constData());
  auto* l = new QVBoxLayout(panel);
  l->setContentsMargins(2, 2, 2, 2);
  lbSavedImage[size_t(n)] = Named(Label(QString("Temp. saved image %1").arg(n)), ("lbSavedImage" + num).constData());
  auto* img = new TImage;
  img->SetName(("SavedImage" + num).toStdString());
  SavedImage[size_t(n)] = new TDisplayHost(img);
  SavedImage[size_t(n)]->SetRootFollowsSize(true);
  SavedImage[size_t(n)]->setMinimumHeight(80);
  SavedImage[size_t(n)]->SetBackground(QColor(250, 250, 250), QColor(190, 190, 190));
  auto* btns = new QHBoxLayout;
  btnCopySavedImageToDest[size_t(n)] =
      Named(new QPushButton("Show"), ("btnCopySavedImage" + num + "ToDest").constData());
  btnCopySavedImageToDest[size_t(n)]->setToolTip("Copy this image into the destination");
  btnCopyDestToSavedImage[size_t(n)] =
      Named(new QPushButton("Store"), ("btnCopyDestToSavedImage" + num).constData());
  btnCopyDestToSavedImage[size_t(n)]->setToolTip("Store the destination image here");
  btns->addWidget(btnCopySavedImageToDest[size_t(n)]);
  btns->addWidget(btnCopyDestToSavedImage[size_t(n)]);
  l->addWidget(lbSavedImage[size_t(n)]);
  l->addWidget(SavedImage[size_t(n)], 1);
  l->addLayout(btns);
  PanelSavedImage[size_t(n)] = panel;
  return panel;
}

QWidget* TfrmKarto::BuildTracePanel() {
  QWidget* p = Panel("PanelForTraceControl");
  // The stage rows go into whichever group box l points at.
  QVBoxLayout* l = nullptr;
  auto stage = [&](const char* desc, QLabel*& lbDesc, TFloatTrackBar*& bar, const char* barName,
                   QLabel*& lbValue, const char* valueName) {
    lbDesc = Named(Label(""), desc);
    bar = Named(new TFloatTrackBar, barName);
    bar->SetFrequency(0.01);
    lbValue = Named(Label(""), valueName);
    lbValue->setFixedWidth(44);
    lbValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* row = new QHBoxLayout;
    row->addWidget(bar, 1);
    row->addWidget(lbValue);
    l->addWidget(lbDesc);
    l->addLayout(row);
  };
  auto* adjust = Named(new QGroupBox("Adjustments"), "grbxAdjustments");
  auto* al = new QVBoxLayout(adjust);
  l = al;
  stage("lbBrightnessDesc", lbBrightnessDesc, TrackBarBrightness, "TrackBarBrightness", lbBrightnessValue,
        "lbBrightnessValue");
  stage("lbContrastDesc", lbContrastDesc, TrackBarContrast, "TrackBarContrast", lbContrastValue,
        "lbContrastValue");
  stage("lbSharpenDesc", lbSharpenDesc, TrackBarSharpen, "TrackBarSharpen", lbSharpenValue, "lbSharpenValue");

  auto* sketch = Named(new QGroupBox("Paper Sketch"), "grbxPaperSketch");
  l = new QVBoxLayout(sketch);
  stage("lbPenSizeDesc", lbPenSizeDesc, TrackBarPenSize, "TrackBarPenSize", lbPenSizeValue, "lbPenSizeValue");
  chbxPageSketchActive = Named(new QCheckBox("Active"), "chbxPageSketchActive");
  l->addWidget(chbxPageSketchActive);
  auto* hint = Label("Must be the last step! Convert colored\nPicture into grayscale Image.");
  hint->setStyleSheet("color: #555;");
  l->addWidget(hint);

  auto* grey = Named(new QGroupBox("Greyscale limit"), "grbxGreyscale");
  auto* gl = new QVBoxLayout(grey);
  TrackBarGreyscale = TrackBar("TrackBarGreyscale", 0, 255, 1, 127);
  lbGreyscaleValue = Named(Label(""), "lbGreyscaleValue");
  lbGreyscaleValue->setFixedWidth(44);
  lbGreyscaleValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* gr = new QHBoxLayout;
  gr->addWidget(TrackBarGreyscale, 1);
  gr->addWidget(lbGreyscaleValue);
  gl->addLayout(gr);
  auto* needed = Label("Needed for trace");
  needed->setStyleSheet("color: #555;");
  gl->addWidget(needed);

  auto* outer = new QVBoxLayout(p);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(adjust);
  outer->addWidget(sketch);
  outer->addWidget(grey);
  outer->addStretch(1);
  return p;
}

QWidget* TfrmKarto::BuildImagingPanel() {
  QWidget* p = Panel("PanelForImagingControl");
  auto* l = new QVBoxLayout(p);
  l->setContentsMargins(4, 4, 4, 4);
  listCat = Named(new QListWidget, "listCat");
  for (const std::string& c : FilterManager::Categories()) listCat->addItem(QString::fromStdString(c));
  listFX = Named(new QListWidget, "listFX");
  auto* lists = new QHBoxLayout;
  lists->addWidget(listCat);
  lists->addWidget(listFX);
  l->addWidget(Label("Effects"));
  l->addLayout(lists, 1);
  lbxFilterSettings = Named(new QListWidget, "lbxFilterSettings");
  l->addWidget(lbxFilterSettings, 1);
  return p;
}

QWidget* TfrmKarto::Build2DView() {
  QWidget* root = Panel("ly2DControlRoot");
  auto* col = new QVBoxLayout(root);
  col->setContentsMargins(0, 0, 0, 0);
  col->addWidget(BuildShapeToolbar());
  auto* row = new QHBoxLayout;
  row->addWidget(BuildShapeInfoPanel());
  ScrollBox2D = Named(new QScrollArea, "ScrollBox2D");
  ScrollBox2D->setWidgetResizable(false);
  ScrollBox2D->setBackgroundRole(QPalette::Dark);
  m_oPaintBox2D = new TPaintBox;
  m_oPaintBox2D->SetName("PaintBox2D");
  PaintBox2DHost = new TDisplayHost(m_oPaintBox2D);
  PaintBox2DHost->SetSizeFollowsRoot(true);
  // The drawing lies on white paper, as it will when printed or exported
  // into a page; the scroll area's grey shows where the paper ends.
  PaintBox2DHost->SetBackground(Qt::white, QColor());
  ScrollBox2D->setWidget(PaintBox2DHost);
  row->addWidget(ScrollBox2D, 1);
  col->addLayout(row, 1);
  return root;
}

QWidget* TfrmKarto::BuildShapeToolbar() {
  ToolBar2D = Panel("ToolBar2D");
  auto* row = new QHBoxLayout(ToolBar2D);
  row->setContentsMargins(4, 2, 4, 2);
  btnNormalize = Named(new QPushButton("Normalize"), "btnNormalize");
  row->addWidget(btnNormalize);

  grbxShapeProps = Named(new QGroupBox("Line"), "grbxShapeProps");
  auto* gp = new QHBoxLayout(grbxShapeProps);
  gp->setContentsMargins(4, 0, 4, 0);
  SpinBoxLineWidth = Named(new QDoubleSpinBox, "SpinBoxLineWidth");
  SpinBoxLineWidth->setRange(0.2, 10);
  SpinBoxLineWidth->setSingleStep(0.2);
  SpinBoxLineWidth->setDecimals(1);
  SpinBoxLineWidth->setValue(1.0);
  cobxLineType = Named(new QComboBox, "cobxLineType");
  cobxLineType->setIconSize(QSize(64, 12));
  for (Qt::PenStyle s : {Qt::SolidLine, Qt::DashDotLine, Qt::DashLine, Qt::DotLine})
    cobxLineType->addItem(LineSampleIcon(s), "");
  cobxLineType->setCurrentIndex(0);
  cobxLineColor = Named(new QComboBox, "cobxLineColor");
  FillColorBox(cobxLineColor, TAlphaColors::Black);
  btnSetLineProps = Named(new QPushButton("= Sel."), "btnSetLineProps");
  gp->addWidget(SpinBoxLineWidth);
  gp->addWidget(cobxLineType);
  gp->addWidget(cobxLineColor);
  gp->addWidget(btnSetLineProps);
  row->addWidget(grbxShapeProps);

  btnDeleteSel = Named(new QToolButton, "btnDeleteSel");
  btnDeleteSel->setText("Delete");
  btnDeleteSel->setToolTip("Delete the selected shapes");
  btnSelAddition = Named(new QToolButton, "btnSelAddition");
  btnSelAddition->setText("Join");
  btnSelAddition->setToolTip("Join the selected paths into one");
  row->addWidget(btnDeleteSel);
  row->addWidget(btnSelAddition);

  grbxNewShape = Named(new QGroupBox("New"), "grbxNewShape");
  auto* gn = new QHBoxLayout(grbxNewShape);
  btnNewShape = Named(new QPushButton("New"), "btnNewShape");
  btnNewLineH = Named(new QPushButton("H"), "btnNewLineH");
  btnNewLineV = Named(new QPushButton("V"), "btnNewLineV");
  btnNewRect = Named(new QPushButton("Rect"), "btnNewRect");
  btnNewCircle = Named(new QPushButton("Circle"), "btnNewCircle");
  btnNewText = Named(new QPushButton("Text"), "btnNewText");
  for (QPushButton* b : {btnNewShape, btnNewLineH, btnNewLineV, btnNewRect, btnNewCircle, btnNewText}) gn->addWidget(b);
  btnSelSetText = Named(new QPushButton("Text"), "btnSelSetText");
  btnSelSetArrow = Named(new QPushButton("Arrow"), "btnSelSetArrow");
  row->addWidget(grbxNewShape);
  row->addWidget(btnSelSetText);
  row->addWidget(btnSelSetArrow);
  // Drawing new shapes is not offered yet; the controls keep their places.
  grbxNewShape->hide();
  btnSelSetText->hide();
  btnSelSetArrow->hide();
  row->addStretch(1);
  return ToolBar2D;
}

QWidget* TfrmKarto::BuildShapeInfoPanel() {
  PanelShapeInfos = Panel("PanelShapeInfos");
  PanelShapeInfos->setFixedWidth(260);
  auto* col = new QVBoxLayout(PanelShapeInfos);
  col->setContentsMargins(2, 2, 2, 2);

  PanelShapeSelections = Panel("PanelShapeSelections");
  auto* sl = new QVBoxLayout(PanelShapeSelections);
  sl->setContentsMargins(0, 0, 0, 0);
  auto* head = new QHBoxLayout;
  auto* title = Label("Shape Selections");
  QFont bf = title->font();
  bf.setBold(true);
  title->setFont(bf);
  btnClearAllShapeSelection = Named(new QPushButton("Clear"), "btnClearAllShapeSelection");
  head->addWidget(title, 1);
  head->addWidget(btnClearAllShapeSelection);
  TreeViewShapeSelections = Named(new QTreeWidget, "TreeViewShapeSelections");
  TreeViewShapeSelections->setHeaderHidden(true);
  sl->addLayout(head);
  sl->addWidget(TreeViewShapeSelections, 1);
  col->addWidget(PanelShapeSelections, 1);

  PanelShapeDialogs = Panel("PanelShapeDialogs");
  auto* dl = new QVBoxLayout(PanelShapeDialogs);
  dl->setContentsMargins(0, 0, 0, 0);
  auto* dh = new QHBoxLayout;
  lbHeaderShapeDialogs = Named(Label(""), "lbHeaderShapeDialogs");
  lbHeaderShapeDialogs->setFont(bf);
  btnShapeOk = Named(new QToolButton, "btnShapeOk");
  btnShapeOk->setText("OK");
  btnShapeCancel = Named(new QToolButton, "btnShapeCancel");
  btnShapeCancel->setText("Cancel");
  dh->addWidget(lbHeaderShapeDialogs, 1);
  dh->addWidget(btnShapeOk);
  dh->addWidget(btnShapeCancel);
  dl->addLayout(dh);

  PanelShapeNormalize = Panel("PanelShapeNormalize");
  auto* nl = new QVBoxLayout(PanelShapeNormalize);
  nl->setContentsMargins(0, 0, 0, 0);
  auto field = [](QGridLayout* g, int r, const QString& text, QLineEdit*& e, const char* name) {
    e = Named(new QLineEdit, name);
    g->addWidget(Label(text), r, 0);
    g->addWidget(e, r, 1);
  };
  auto* org = new QGridLayout;
  field(org, 0, "Orginal width", txfShapeNormalizeOrgWidth, "txfShapeNormalizeOrgWidth");
  field(org, 1, "Orginal height", txfShapeNormalizeOrgHeight, "txfShapeNormalizeOrgHeight");
  nl->addLayout(org);
  auto* gOrigin = new QGroupBox("Coordinate system origin");
  auto* go = new QGridLayout(gOrigin);
  field(go, 0, "x", txfShapeNormalizeXCoord, "txfShapeNormalizeXCoord");
  field(go, 1, "y", txfShapeNormalizeYCoord, "txfShapeNormalizeYCoord");
  nl->addWidget(gOrigin);
  auto* gRef = new QGroupBox("Reference values");
  auto* gr = new QGridLayout(gRef);
  field(gr, 0, "Reference width", txfShapeNormalizeRefWidth, "txfShapeNormalizeRefWidth");
  field(gr, 1, "Reference height", txfShapeNormalizeRefHeight, "txfShapeNormalizeRefHeight");
  field(gr, 2, "-> New width", txfShapeNormalizeNewWidth, "txfShapeNormalizeNewWidth");
  field(gr, 3, "-> New height", txfShapeNormalizeNewHeight, "txfShapeNormalizeNewHeight");
  txfShapeNormalizeNewWidth->setText("200");
  txfShapeNormalizeNewHeight->setText("100");
  nl->addWidget(gRef);
  auto* gSnap = new QGroupBox("Coordinate correction by snapping");
  auto* gs = new QHBoxLayout(gSnap);
  btnShapeNormalizeSnap = Named(new QPushButton("Snap"), "btnShapeNormalizeSnap");
  gs->addWidget(btnShapeNormalizeSnap);
  nl->addWidget(gSnap);
  nl->addStretch(1);
  dl->addWidget(PanelShapeNormalize, 1);
  col->addWidget(PanelShapeDialogs, 1);
  return PanelShapeInfos;
}

}  // namespace karto
