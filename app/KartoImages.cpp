// Image files and the image slots: loading, the slot bookkeeping, copies
// between slots and destination, drag and drop, and saving the destination.

#include <QCheckBox>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include "app/DisplayHost.h"
#include "app/FloatTrackBar.h"
#include "app/KartoWindow.h"
#include "app/Utils.h"
#include "platform/Memory.h"

namespace karto {

namespace {

const QString kPixelFilter =
    "Bitmap files (*.bmp)|*.bmp|jpg files (*.jpg)|*.jpg|png files (*.png)|*.png|All Files (*.*)|*.*";
const QString kTransitionFilter =
    "Bitmap File (*.bmp)|*.bmp|jpg File (*.jpg)|*.jpg|png File (*.png)|*.png|All Files (*.*)|*.*";
const QStringList kPictureExtensions = {".BMP", ".JPG", ".PNG"};

// The extension with its dot, upper-cased ("" when there is none).
QString UpperExtension(const QString& fileName) {
  const QString suffix = QFileInfo(fileName).suffix();
  return suffix.isEmpty() ? QString() : "." + suffix.toUpper();
}

}  // namespace

const char* const TfrmKarto::kSlotDragMime = "application/x-karto-slot-image";

QString TfrmKarto::RunOpenDialog(const QString& filter, int filterIndex, const QStringList& accepted) {
  TFileDialogRequest request;
  request.Filter = filter;
  request.FilterIndex = filterIndex;
  request.InitialDir = m_sRunDir;
  if (!m_dialogs->OpenDialog(request)) return {};
  if (!accepted.contains(UpperExtension(request.FileName))) return {};
  return request.FileName;
}

QString TfrmKarto::RunSaveDialog(const QString& filter, int filterIndex) {
  TFileDialogRequest request;
  request.Filter = filter;
  request.FilterIndex = filterIndex;
  request.InitialDir = m_sRunDir;
  return m_dialogs->SaveDialog(request) ? request.FileName : QString();
}

bool TfrmKarto::OpenFile(const QString& fileName) {
  if (!QFileInfo::exists(fileName)) {
    lbStatus->setText(QString("The file %1 does not exist.").arg(fileName));
    return false;
  }
  if (IsSvgFile(fileName)) return LoadSvgDrawing(fileName);
  if (kPictureExtensions.contains(UpperExtension(fileName)) ||
      UpperExtension(fileName) == ".JPEG") {
    SetWorkingMode(WorkMode::VECTORIZE_MODE);
    LoadPixelImage(fileName);
    return !m_oImages[0]->Bitmap.IsEmpty();
  }
  lbStatus->setText(QString("Karto does not open %1: pictures (.png, .jpg, .bmp) and drawings (.svg, .svgz) only.")
                        .arg(QFileInfo(fileName).fileName()));
  return false;
}

void TfrmKarto::MenuItemLoadImageForProcessingClick() {
  const QString file = RunOpenDialog(kPixelFilter, 3, kPictureExtensions);
  if (file.isEmpty()) return;
  SetWorkingMode(WorkMode::IMAGING_MODE);
  LoadPixelImage(file);
}

void TfrmKarto::MenuItemLoadImageForVectorizeClick() {
  const QString file = RunOpenDialog(kPixelFilter, 3, kPictureExtensions);
  if (file.isEmpty()) return;
  SetWorkingMode(WorkMode::VECTORIZE_MODE);
  LoadPixelImage(file);
}

void TfrmKarto::MenuItemLoadTransitionImageClick() {
  if (m_enWorkingMode != WorkMode::IMAGING_MODE || !ImageViewVisible()) return;
  const QString file = RunOpenDialog(kTransitionFilter, 3, kPictureExtensions);
  if (file.isEmpty()) return;
  TImage* slot = m_oImages[3];
  slot->DeleteChildren();
  slot->Bitmap.Clear(TAlphaColors::White);
  TBitmap loaded;
  try {
    loaded.LoadFromFile(file);
  } catch (const EBitmapError&) {
    lbStatus->setText(QString("Cannot read the picture %1.").arg(QFileInfo(file).fileName()));
    slot->Repaint();
    return;
  }
  slot->Bitmap = loaded;
  slot->Repaint();
}

void TfrmKarto::LoadPixelImage(const QString& fileName) {
  // A picture too large to trace on this machine is turned away before
  // anything changes.
  const QSize size = QImageReader(fileName).size();
  if (size.isValid()) {
    const std::string refusal =
        MemoryRefusal(size.width(), size.height(), kTraceBytesPerPixel, "trace", MachineMemoryBytes());
    if (!refusal.empty()) {
      m_dialogs->MessageDlg(QString::fromStdString(refusal), TMsgDlgType::mtError, mbOK);
      return;
    }
  }
  ClearImages();
  TBitmap loaded;
  std::string warning;
  try {
    loaded.LoadFromFile(fileName, &warning);
  } catch (const EBitmapError&) {
    // The slots stay cleared; the user learns why nothing appeared.
    lbStatus->setText(QString("Cannot read the picture %1.").arg(QFileInfo(fileName).fileName()));
    return;
  }
  // Adjusting and tracing see ink and paper: what is transparent is paper.
  loaded.FlattenOnto(TAlphaColors::White);
  m_oImages[0]->Bitmap = loaded;
  m_oImages[0]->Repaint();
  DropTargetOriginImage->setText("");
  m_xMaxImg = loaded.Width();
  m_yMaxImg = loaded.Height();
  ResetAdjustmentControls(true);
  ScaleTrackX->SetValue(1);
  ScaleTrackY->SetValue(1);
  m_iActImage = 0;
  ShowActiveImage(true);
  m_oImageDest->SetSize(float(m_xMaxImg), float(m_yMaxImg));
  ScaleTrackXChange();
  ScaleTrackYChange();
  // A picture that loaded but not whole says so; a whole one clears what
  // the status line said of the last.
  lbStatus->setText(QString::fromStdString(warning));
  RememberFile(fileName);
}

void TfrmKarto::ClearImages() {
  // The drop hint shows while the origin is empty and gives way to the
  // picture once one is loaded.
  DropTargetOriginImage->setText("Drop Picture File");
  m_oImageDest->DeleteChildren();
  for (TImage* img : m_oImages) {
    img->DeleteChildren();
    img->Bitmap.Clear(TAlphaColors::White);
    img->Repaint();
  }
}

void TfrmKarto::ShowActiveImage(bool copy) {
  m_oImageDest->DeleteChildren();
  if (m_iActImage < 0) return;
  DimImageButtons();
  if (copy) {
    m_oImageDest->Bitmap.Assign(m_oImages[size_t(m_iActImage)]->Bitmap);
    m_oImageDest->Repaint();
  }
  for (QPushButton* b : m_oImgBtns[size_t(m_iActImage)])
    if (b) SetWidgetOpacity(b, 1);
}

// --- slot commands ---------------------------------------------------------------

void TfrmKarto::btnCopyOriginImageToDestClick() {
  if (m_iActImage < 0) return;
  m_iActImage = 0;
  ShowActiveImage(true);
  ResetAdjustmentControls(true);
}

void TfrmKarto::ImageOriginDblClick() {
  if (m_iActImage < 0) return;
  m_iActImage = 0;
  ShowActiveImage(true);
}

void TfrmKarto::btnCopySavedImageToDestClick(int n) {
  if (m_iActImage < 0) return;
  m_iActImage = n;
  ShowActiveImage(true);
}

void TfrmKarto::SavedImageDblClick(int n) { btnCopySavedImageToDestClick(n); }

void TfrmKarto::btnCopyDestToSavedImageClick(int n) {
  m_iActImage = n;
  m_oImages[size_t(n)]->Bitmap.Assign(m_oImageDest->Bitmap);
  m_oImages[size_t(n)]->Repaint();
  ShowActiveImage(false);
}

void TfrmKarto::SavedImageDragDrop(int n) { btnCopyDestToSavedImageClick(n); }

// --- files dropped on the origin image ----------------------------------------------

bool TfrmKarto::IsPictureFile(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().isEmpty()) return false;
  const QUrl first = data->urls().first();
  if (!first.isLocalFile()) return false;
  return kPictureExtensions.contains(UpperExtension(first.toLocalFile()));
}

bool TfrmKarto::DropTargetOriginImageDragOver(const QMimeData* data) { return IsPictureFile(data); }

void TfrmKarto::DropTargetOriginImageDropped(const QMimeData* data) {
  if (!IsPictureFile(data)) return;
  LoadPixelImage(data->urls().first().toLocalFile());
}

// --- saving the destination ---------------------------------------------------------

void TfrmKarto::MenuItemSaveImageClick() {
  if (View2DVisible()) {
    if (m_enWorkingMode == WorkMode::VECTORIZE_MODE || m_enWorkingMode == WorkMode::SVG_MODE) Save2DView();
    return;
  }
  if (m_enWorkingMode != WorkMode::IMAGING_MODE) return;
  const QString fileName = RunSaveDialog(kTransitionFilter, 3);
  if (fileName.isEmpty() || !kPictureExtensions.contains(UpperExtension(fileName))) return;
  try {
    m_oImageDest->Bitmap.SaveToFile(fileName);
  } catch (const EBitmapError& e) {
    m_dialogs->MessageDlg(QString("The image could not be saved.\n%1").arg(QString::fromStdString(e.what())),
                          TMsgDlgType::mtError, mbOKCancel);
  }
}

}  // namespace karto
