#pragma once
// The main window. Its handlers keep the names users of the design know
// (btnTraceClick, SetWorkingMode ...); each one reads controls, calls a
// module and writes controls. The layout is built in KartoLayout.cpp, the
// start-up, modes and views in KartoWindow.cpp.

#include <QMainWindow>

class QDragEnterEvent;
class QDropEvent;
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/Dialogs.h"
#include "platform/Filters.h"
#include "platform/Selection.h"
#include "platform/Shapes.h"
#include "workspace/ShapeSelection.h"

class QEvent;
class QObject;

class QAction;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QLineEdit;
class QListWidget;
class QMenu;
class QMimeData;
class QPushButton;
class QScrollArea;
class QToolButton;
class QTreeWidget;
class QVariantAnimation;

namespace karto {

class TDisplayHost;
class TImgTrace;
class TTraceRun;
class TSVG;
class TFloatTrackBar;
class TFloatAnimation;
class TShapeWorkspace;
struct TCoordFrame;
class TControl;
class TWidgetDragSource;

enum class WorkMode { NONE_MODE, VECTORIZE_MODE, IMAGING_MODE, SVG_MODE };

class TfrmKarto : public QMainWindow {
  Q_OBJECT
 public:
  // dialogs: the message and file dialogs to use (the Qt ones when null).
  explicit TfrmKarto(std::unique_ptr<TDialogs> dialogs = nullptr, QWidget* parent = nullptr);
  ~TfrmKarto() override;

  // --- modes and views ------------------------------------------------------
  void SetWorkingMode(WorkMode enWorkingMode);
  WorkMode WorkingMode() const { return m_enWorkingMode; }
  // Switches between the image view and the 2D view, fading the new one in.
  void ToggleView();
  bool ImageViewVisible() const;
  bool View2DVisible() const;
  void Set2DShapeActionPanel(ShapeActionMode enShapeActionMode);
  ShapeActionMode ShapeActionModeValue() const { return m_enShapeActionMode; }
  // Empties the 2D view: selection cleared, shapes removed, paint box sized
  // to the scroll box's client area at scale 1.
  void Reset2DView(bool keepHistory = false);

  // --- access for the modules' tests ---------------------------------------
  TDialogs& Dialogs() { return *m_dialogs; }
  TControl* PanelDestImageRoot() const;
  TImage* ImageDest() const { return m_oImageDest; }
  TPaintBox* PaintBox2D() const { return m_oPaintBox2D; }
  TImage* SlotImage(int i) const { return m_oImages[size_t(i)]; }
  int ActiveImage() const { return m_iActImage; }
  QVariantAnimation* ViewFadeAnimation() const { return m_viewFade; }
  TFloatAnimation* ShapeFloatAnimation() const;
  TShapeWorkspace& Workspace() const { return *m_workspace; }
  const QString& RunDir() const { return m_sRunDir; }
  // The stroke follower of the current trace (null for none or for the
  // centre-line engine), and the trace itself.
  TImgTrace* ImgTrace() const;
  TTraceRun* TraceRun() const { return m_trace.get(); }
  // Pictures of at least this many pixels are traced on a worker thread
  // while the window shows progress.
  void SetBackgroundTraceFrom(long long pixels) { m_traceInBackgroundFrom = pixels; }

 public slots:
  // File menu (KartoImages.cpp, KartoDrawings.cpp).
  void MenuItemLoadImageForProcessingClick();
  void MenuItemLoadImageForVectorizeClick();
  void MenuItemLoadTransitionImageClick();
  void MenuItemSaveImageClick();
  void MenuItemExportSVGClick();
  // Imports an SVG drawing into the 2D view (KartoDrawings.cpp).
  void MenuItemLoadSVGImageClick();
  // Offers "Export SVG ..." while the 2D view shows at least one shape.
  void UpdateFileMenu();
  // Slots (KartoImages.cpp).
  void btnCopyOriginImageToDestClick();
  void btnCopySavedImageToDestClick(int n);
  void btnCopyDestToSavedImageClick(int n);
  void ImageOriginDblClick();
  void SavedImageDblClick(int n);
  void SavedImageDragDrop(int n);
  // Adjustments (KartoAdjust.cpp).
  void TrackBarBrightnessChange();
  void TrackBarContrastChange();
  void TrackBarSharpenChange();
  void TrackBarPenSizeChange();
  void chbxPageSketchActiveChange();

  // The effect catalogue (KartoCatalogue.cpp).
  void listCatClick();
  void listFXClick();
  void OnTrackParamChange(TFloatTrackBar* track);
  void OnColorParamChange(QComboBox* box);
  void OnPointParamTrack(TSelectionPoint* grip);
  // Filters the active slot into the destination with the chosen filter,
  // off the window's thread: the newest request wins, a result that a later
  // change has overtaken is dropped.
  void ApplyCatalogFilter();
  // Waits (running the event loop) until no catalogue filter is running;
  // for tests and for callers that need the result at once.
  void WaitForCatalogFilter();
  bool CatalogFilterBusy() const;
  // The point grips of the chosen filter on the destination image.
  std::vector<TSelectionPoint*> CatalogGrips() const;

  // Trace and Vectorize (KartoTrace.cpp).
  void btnVectorizeClick();
  void btnTraceClick();
  void ImageDestMouseDown(TMouseButton button, TShiftState shift, float x, float y);
  void ImageDestDblClick();
  void ScaleTrackXChange();
  void ScaleTrackYChange();
  void TrackBarGreyscaleChange();
  void MenuItemExitClick();
  void MenuItemAboutClick();

  // 2D workspace (KartoWorkspace.cpp).
  void btnClearAllShapeSelectionClick();
  void PaintBox2DMouseDown(TMouseButton button, TShiftState shift, float x, float y);
  void PaintBox2DMouseMove(TShiftState shift, float x, float y);
  void PaintBox2DMouseUp(TMouseButton button, TShiftState shift, float x, float y);
  void btnSetLinePropsClick();
  void btnDeleteSelClick();
  void btnSelAdditionClick();
  void btnNormalizeClick();
  void btnShapeOkClick();
  void btnShapeCancelClick();
  void btnShapeNormalizeSnapClick();
  void txfShapeNormalizeXCoordChange();
  void txfShapeNormalizeYCoordChange();
  void txfShapeNormalizeRefWidthChange();
  void txfShapeNormalizeRefHeightChange();
  void CoordSystemTrack();
  void MenuItemUndoClick();
  void MenuItemRedoClick();
  void MenuItemSelectAllClick();
  void MenuItemLoadFMXImageClick();
  // Mirrors the workspace's selection list into the tree view and the Edit
  // menu's state.
  void ShowSelection();
  void btnNewShapeClick() {}
  void btnNewLineHClick() {}
  void btnNewLineVClick() {}
  void btnNewRectClick() {}
  void btnNewCircleClick() {}
  void btnNewTextClick() {}
  void btnSelSetTextClick() {}
  void btnSelSetArrowClick() {}

 private:
  void BuildLayout();
  void BuildMenus();
  QWidget* BuildStatusBar();
  QWidget* BuildImageView();
  QWidget* BuildTracePanel();
  QWidget* BuildImagingPanel();
  QWidget* BuildSlot(int n);
  QWidget* Build2DView();
  QWidget* BuildShapeToolbar();
  QWidget* BuildShapeInfoPanel();
  void WireHandlers();

  void FormCreate();
  void FormDestroy();
  void SetViewControls(bool imageSide, bool show);
  void ShowView(bool imageSide, bool fade);
  void DimImageButtons();
  void ResetAdjustmentControls(bool onlyValues);
  void ClearAllShapeSelection();
  void WireWorkspace();
  // The Normalize frame's corners in the coordinate and dialog fields.
  void ShowCoordFrame(const TCoordFrame& frame);
  // The frame and the number in a dialog field; false (after the error
  // text, when the number is wrong) when either is missing.
  bool ReadFrameField(QLineEdit* field, const char* error, TCoordFrame& frame, float& value);
  // Runs a workspace action; a failed geometry self-check becomes a message.
  template <class F>
  void Guarded(F&& action);
  // Ctrl + wheel zooms the 2D view about the pointer, a middle-button or
  // Space drag pans it.
  bool eventFilter(QObject* watched, QEvent* e) override;
  void ZoomView2D(double factor, QPoint viewportPoint);

 public:
  // --- image slots (KartoImages.cpp) ------------------------------------------
  // Loads a picture into slot 0 and makes it the destination. A picture that
  // cannot be read leaves the slots cleared to white and says so in lbStatus.
  void LoadPixelImage(const QString& fileName);
  // True when the first of the dragged files is a picture Karto reads.
  static bool IsPictureFile(const QMimeData* data);
  bool DropTargetOriginImageDragOver(const QMimeData* data);
  void DropTargetOriginImageDropped(const QMimeData* data);
  // The mime type of a picture dragged inside the window (destination image
  // or a slot panel onto a slot).
  static const char* const kSlotDragMime;

 private:
  void ClearImages();
  void ShowActiveImage(bool copy);
  // Runs a file dialog the way every load command does; returns the chosen
  // file when its upper-cased extension is one of accepted, else nothing.
  QString RunOpenDialog(const QString& filter, int filterIndex, const QStringList& accepted);
  // Runs the save dialog from the start directory; the chosen name, or an
  // empty string when the user cancelled.
  QString RunSaveDialog(const QString& filter, int filterIndex);
  void ApplyAdjustments();
  void FilterTrackBarChanged(TFloatTrackBar* bar, TFilter* filter, const TFilterRec& rec, size_t index,
                             QLabel* valueLabel, bool* stageFlag);
  // Discards the trace; Vectorize has nothing to show until the next one.
  void ReleaseTrace();
  // Writes the 2D view as an object stream (KartoDrawings.cpp).
  void Save2DView();

 public:
  // Reads a view written by "Save image as ..." into the 2D view. A file
  // that is not such a view is refused with a message naming the line, and
  // the view stays as it was; false then.
  bool LoadViewFile(const QString& fileName);
  // Imports an SVG (or .svgz) file: the drawing replaces the 2D view's
  // content in the SVG mode, fitted into the visible area. A file that
  // cannot be read shows an error box and leaves the view and the mode as
  // they were; false then.
  bool LoadSvgDrawing(const QString& fileName);
  // Opens a file named on the command line: a picture in the vectorize
  // mode, a drawing through the SVG import. False (with the reason in the
  // status line) for what Karto does not open.
  bool OpenFile(const QString& fileName);
  // The SVG document shown in the 2D view (null before an import).
  const TSVG* SvgDocument() const { return m_oSVG.get(); }
  static bool IsSvgFile(const QString& fileName);

 // The files opened last, newest first (the "Recent files" menu).
  const QStringList& RecentFiles() const { return m_recentFiles; }

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void ImageDestDragStart();

 public:
  // --- controls (named as in the design; objectName is the same) ----------
  QMenu* MenuItemFile = nullptr;
  QMenu* MenuItem2 = nullptr;
  QAction* MenuItemLoadImageForProcessing = nullptr;
  QAction* MenuItemLoadImageForVectorize = nullptr;
  QAction* MenuItemLoadTransitionImage = nullptr;
  QAction* MenuItemLoadSVGImage = nullptr;
  QAction* MenuItemLoadFMXImage = nullptr;
  QAction* MenuItemSaveImage = nullptr;
  QAction* MenuItemExportSVG = nullptr;
  QAction* MenuItemExit = nullptr;
  QMenu* MenuRecentFiles = nullptr;
  QAction* MenuItemAbout = nullptr;
  QMenu* MenuItemEdit = nullptr;
  QAction* MenuItemUndo = nullptr;
  QAction* MenuItemRedo = nullptr;
  QAction* MenuItemSelectAll = nullptr;
  QAction* MenuItemDeleteSel = nullptr;
  QAction* MenuItemCancel = nullptr;

  QWidget* StatusBarCommon = nullptr;
  QLabel* lbStatus = nullptr;
  // Shown while a long load runs, with how far it has come.
  QProgressBar* pbLoad = nullptr;
  QPushButton* btnVectorize = nullptr;
  QPushButton* btnTrace = nullptr;
  // Which engine Trace uses: the stroke follower or centre lines.
  QComboBox* cobxTraceEngine = nullptr;
  QLineEdit* txfXCoord = nullptr;
  QLineEdit* txfYCoord = nullptr;
  TFloatTrackBar* ScaleTrackX = nullptr;
  TFloatTrackBar* ScaleTrackY = nullptr;
  QLabel* TextScaleX = nullptr;
  QLabel* TextScaleY = nullptr;

  QWidget* lyScaleRoot = nullptr;
  QWidget* lyImageControlRoot = nullptr;
  QWidget* ly2DControlRoot = nullptr;

  // Image view.
  QWidget* LayoutControl = nullptr;
  QWidget* PanelForTraceControl = nullptr;
  QWidget* PanelForImagingControl = nullptr;
  QWidget* PanelOrigin = nullptr;
  TDisplayHost* ImageOrigin = nullptr;
  QLabel* DropTargetOriginImage = nullptr;
  QPushButton* btnCopyOriginImageToDest = nullptr;
  std::array<QWidget*, 4> PanelSavedImage{};  // [1..3]
  std::array<TDisplayHost*, 4> SavedImage{};  // [1..3]; [0] is ImageOrigin
  std::array<QLabel*, 4> lbSavedImage{};      // [1..3]
  std::array<QPushButton*, 4> btnCopySavedImageToDest{};  // [1..3]
  std::array<QPushButton*, 4> btnCopyDestToSavedImage{};  // [1..3]
  QScrollArea* ScrollBoxImageDest = nullptr;
  TDisplayHost* PanelDestImage = nullptr;

  // Adjustment panel.
  QLabel* lbBrightnessDesc = nullptr;
  QLabel* lbBrightnessValue = nullptr;
  TFloatTrackBar* TrackBarBrightness = nullptr;
  QLabel* lbContrastDesc = nullptr;
  QLabel* lbContrastValue = nullptr;
  TFloatTrackBar* TrackBarContrast = nullptr;
  QLabel* lbSharpenDesc = nullptr;
  QLabel* lbSharpenValue = nullptr;
  TFloatTrackBar* TrackBarSharpen = nullptr;
  QLabel* lbPenSizeDesc = nullptr;
  QLabel* lbPenSizeValue = nullptr;
  TFloatTrackBar* TrackBarPenSize = nullptr;
  QCheckBox* chbxPageSketchActive = nullptr;
  TFloatTrackBar* TrackBarGreyscale = nullptr;
  QLabel* lbGreyscaleValue = nullptr;

  // Effect catalogue panel.
  QListWidget* listCat = nullptr;
  QListWidget* listFX = nullptr;
  QListWidget* lbxFilterSettings = nullptr;

  // 2D view.
  QWidget* ToolBar2D = nullptr;
  QPushButton* btnNormalize = nullptr;
  QGroupBox* grbxShapeProps = nullptr;
  QDoubleSpinBox* SpinBoxLineWidth = nullptr;
  QComboBox* cobxLineType = nullptr;
  QComboBox* cobxLineColor = nullptr;
  QPushButton* btnSetLineProps = nullptr;
  QToolButton* btnDeleteSel = nullptr;
  QToolButton* btnSelAddition = nullptr;
  QGroupBox* grbxNewShape = nullptr;
  QPushButton* btnNewShape = nullptr;
  QPushButton* btnNewLineH = nullptr;
  QPushButton* btnNewLineV = nullptr;
  QPushButton* btnNewRect = nullptr;
  QPushButton* btnNewCircle = nullptr;
  QPushButton* btnNewText = nullptr;
  QPushButton* btnSelSetText = nullptr;
  QPushButton* btnSelSetArrow = nullptr;
  QWidget* PanelShapeInfos = nullptr;
  QWidget* PanelShapeSelections = nullptr;
  QPushButton* btnClearAllShapeSelection = nullptr;
  QTreeWidget* TreeViewShapeSelections = nullptr;
  QWidget* PanelShapeDialogs = nullptr;
  QLabel* lbHeaderShapeDialogs = nullptr;
  QToolButton* btnShapeOk = nullptr;
  QToolButton* btnShapeCancel = nullptr;
  QWidget* PanelShapeNormalize = nullptr;
  QLineEdit* txfShapeNormalizeOrgWidth = nullptr;
  QLineEdit* txfShapeNormalizeOrgHeight = nullptr;
  QLineEdit* txfShapeNormalizeXCoord = nullptr;
  QLineEdit* txfShapeNormalizeYCoord = nullptr;
  QLineEdit* txfShapeNormalizeRefWidth = nullptr;
  QLineEdit* txfShapeNormalizeRefHeight = nullptr;
  QLineEdit* txfShapeNormalizeNewWidth = nullptr;
  QLineEdit* txfShapeNormalizeNewHeight = nullptr;
  QPushButton* btnShapeNormalizeSnap = nullptr;
  QScrollArea* ScrollBox2D = nullptr;
  TDisplayHost* PaintBox2DHost = nullptr;

 private:
  // --- state -------------------------------------------------------------------
  WorkMode m_enWorkingMode = WorkMode::NONE_MODE;
  ShapeActionMode m_enShapeActionMode = ShapeActionMode::SHAPE_NONE;
  QString m_sRunDir;
  QStringList m_recentFiles;
  // What the window remembers between runs (KartoSettings.cpp).
  void LoadSettings();
  void RememberFile(const QString& fileName);
  void RebuildRecentFilesMenu();
  int m_iActImage = -1;
  bool m_lWithUpdate = false;
  double m_xMaxImg = 0, m_yMaxImg = 0;
  double m_xLastImg = 0, m_yLastImg = 0;
  bool m_lChngSharpe = false, m_lChngBrightness = false, m_lChngContrast = false;

  std::unique_ptr<TFilter> FilterContrast, FilterSharpe, FilterMonochrome, FilterPaperSketch;
  TFilterRec FilterRecContrast, FilterRecSharpe, FilterRecMonochrome, FilterRecPaperSketch;
  std::unique_ptr<TFilter> Filter;  // chosen in the effect catalogue
  TFilterRec Rec;
  // The catalogue's run off the window's thread: the job running, whether a
  // newer request waits for it, and the point grips of the chosen filter.
  struct TCatalogRun;
  std::unique_ptr<TCatalogRun> m_catalogRun;
  std::vector<TControlRef> m_catalogGrips;
  void StartCatalogJob();
  void RemoveCatalogGrips();

  std::unique_ptr<TTraceRun> m_trace;
  long long m_traceInBackgroundFrom = 10'000'000;
  bool m_tracing = false;
  std::unique_ptr<TTraceRun> RunTrace();
  // Runs the event loop until done() holds (work on another thread), and
  // once showAfterMs have passed shows status(percent()) in the status row
  // with the progress bar; the status row is put back afterwards.
  void WaitShowingProgress(const std::function<bool()>& done, const std::function<int()>& percent,
                           const std::function<QString(int)>& status, int showAfterMs);
  std::unique_ptr<TSVG> m_oSVG;
  bool m_svgLoading = false;
  std::array<TImage*, 4> m_oImages{};
  std::array<std::array<QPushButton*, 2>, 4> m_oImgBtns{};
  TImage* m_oImageDest = nullptr;
  TPaintBox* m_oPaintBox2D = nullptr;

  std::unique_ptr<TShapeWorkspace> m_workspace;
  // A pan of the 2D view in progress: where it began (global) and the scroll
  // bars then.
  bool m_panning = false;
  bool m_spaceHeld = false;
  QPoint m_panStart, m_panScroll;

  std::unique_ptr<TDialogs> m_dialogs;
  QVariantAnimation* m_viewFade = nullptr;
  std::unique_ptr<TWidgetDragSource> m_slotPanelDrag;
  bool m_destroyed = false;
};

}  // namespace karto
