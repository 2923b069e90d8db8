// Drawing files: SVG import into the 2D view, the 2D view written as an
// object stream, and SVG export.

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QScrollArea>
#include <QTimer>
#include <QUrl>
#include <future>

#include "app/KartoWindow.h"
#include "app/Utils.h"
#include "platform/FileWrite.h"
#include "platform/ObjectStream.h"
#include "svg/SVG.h"
#include "workspace/GeoUtils.h"
#include "workspace/ShapeWorkspace.h"
#include "workspace/SvgExport.h"

namespace karto {

bool TfrmKarto::IsSvgFile(const QString& fileName) {
  const QString ext = QFileInfo(fileName).suffix().toUpper();
  return ext == "SVG" || ext == "SVGZ";
}

void TfrmKarto::MenuItemLoadSVGImageClick() {
  const QString file = RunOpenDialog("SVG Files (*.svg;*.svgz)|*.svg;*.svgz", 1, {".SVG", ".SVGZ"});
  if (!file.isEmpty()) LoadSvgDrawing(file);
}

bool TfrmKarto::LoadSvgDrawing(const QString& fileName) {
  if (m_svgLoading) return false;
  m_svgLoading = true;
  // Read on a worker thread: a large drawing takes seconds, and the window
  // stays responsive meanwhile, saying what it does after half a second.
  auto doc = std::make_unique<TSVG>();
  TSVG* raw = doc.get();
  const std::string path = fileName.toStdString();
  std::future<TSVGLoadResult> pending = std::async(std::launch::async, [raw, path] { return raw->LoadFromFile(path); });
  MenuItemFile->setEnabled(false);
  const QString name = QFileInfo(fileName).fileName();
  WaitShowingProgress(
      [&] { return pending.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; },
      [raw] { return raw->LoadPercent(); }, [&](int percent) { return QString("Loading %1 ... %2 %").arg(name).arg(percent); },
      500);
  const TSVGLoadResult result = pending.get();
  MenuItemFile->setEnabled(true);
  m_svgLoading = false;
  if (!result.Ok) {
    m_dialogs->MessageDlg(QString("The drawing %1 could not be loaded.\n%2")
                              .arg(QFileInfo(fileName).fileName(), QString::fromStdString(result.Error)),
                          TMsgDlgType::mtError, mbOK);
    return false;
  }

  SetWorkingMode(WorkMode::SVG_MODE);
  m_oSVG = std::move(doc);
  if (m_enShapeActionMode != ShapeActionMode::SHAPE_NONE) Set2DShapeActionPanel(ShapeActionMode::SHAPE_NONE);
  // The import can be undone: the shapes it replaces are kept.
  Reset2DView(true);
  // The drawing's size (its content's bounds when it gives none), fitted
  // into the visible area with its proportions kept, centred.
  float w = m_oSVG->DocumentWidth(), h = m_oSVG->DocumentHeight();
  if (!(w > 0) || !(h > 0)) {
    const TRectF content = m_oSVG->ContentBounds();
    w = std::max(1.0f, content.Right);
    h = std::max(1.0f, content.Bottom);
  }
  const QSize area = ScrollBox2D->viewport()->size();
  const float cw = float(area.width()), ch = float(area.height());
  const float sx = std::min(1.0f, cw / w), sy = std::min(1.0f, ch / h);
  const TRectF bounds = FitRect(true, true, w, h, cw, ch, sx, sy);
  m_oSVG->SetTarget(bounds);
  m_oSVG->CreateFMShapes(m_oPaintBox2D);
  m_workspace->EndOutsideChange();
  m_oPaintBox2D->Repaint();
  m_oPaintBox2D->SetTag(m_oPaintBox2D->ChildrenCount());
  RememberFile(fileName);
  lbStatus->setText("");
  if (w > 1000 || h > 1000) lbStatus->setText("First normalize!");
  else if (!result.Warnings.empty())
    lbStatus->setText(QString("%1: %2").arg(QFileInfo(fileName).fileName(),
                                            QString::fromStdString(result.Warnings.front())));
  return true;
}

void TfrmKarto::dragEnterEvent(QDragEnterEvent* e) {
  const QList<QUrl> urls = e->mimeData()->urls();
  if (!urls.isEmpty() && urls.front().isLocalFile() && IsSvgFile(urls.front().toLocalFile())) e->acceptProposedAction();
  else QMainWindow::dragEnterEvent(e);
}

void TfrmKarto::dropEvent(QDropEvent* e) {
  const QList<QUrl> urls = e->mimeData()->urls();
  if (!urls.isEmpty() && urls.front().isLocalFile() && IsSvgFile(urls.front().toLocalFile())) {
    e->acceptProposedAction();
    // After the drop returns: the import runs its own event loop.
    const QString file = urls.front().toLocalFile();
    QTimer::singleShot(0, this, [this, file] { LoadSvgDrawing(file); });
    return;
  }
  QMainWindow::dropEvent(e);
}

void TfrmKarto::Save2DView() {
  if (m_oPaintBox2D->ChildrenCount() == 0) return;
  QString fileName = RunSaveDialog("FMX File (*.fmx)|*.fmx|JavaScript File (*.js)|*.js", 1);
  if (fileName.isEmpty()) return;
  const QFileInfo info(fileName);
  // Only the object stream is written; any other extension becomes .fmx.
  if (info.suffix().toUpper() != "FMX") {
    const QString base = info.suffix().isEmpty() ? fileName : fileName.left(fileName.size() - info.suffix().size() - 1);
    fileName = base + ".fmx";
  }
  QString reason;
  // Selected shapes are written with their own strokes, not the red ones.
  const std::string text = m_workspace->WithOwnLooks([this] { return WriteComponent(*m_oPaintBox2D); });
  if (!WriteFileAtomically(fileName, text, &reason)) {
    m_dialogs->MessageDlg(QString("The drawing could not be saved to %1.\n%2").arg(fileName, reason),
                          TMsgDlgType::mtError, mbOKCancel);
  }
}

void TfrmKarto::UpdateFileMenu() {
  MenuItemExportSVG->setEnabled(View2DVisible() && HasExportableShapes(*m_oPaintBox2D));
  MenuItemLoadFMXImage->setEnabled(View2DVisible() && (m_enWorkingMode == WorkMode::VECTORIZE_MODE ||
                                                       m_enWorkingMode == WorkMode::SVG_MODE));
}

void TfrmKarto::MenuItemExportSVGClick() {
  UpdateFileMenu();
  if (!MenuItemExportSVG->isEnabled()) return;
  QString fileName = RunSaveDialog("SVG File (*.svg)|*.svg", 1);
  if (fileName.isEmpty()) return;
  if (QFileInfo(fileName).suffix().toUpper() != "SVG") fileName += ".svg";
  QString reason;
  const std::string text = m_workspace->WithOwnLooks([this] { return ExportSvg(*m_oPaintBox2D); });
  if (!WriteFileAtomically(fileName, text, &reason)) {
    m_dialogs->MessageDlg(QString("The drawing could not be exported to %1.\n%2").arg(fileName, reason),
                          TMsgDlgType::mtError, mbOKCancel);
  }
}

}  // namespace karto
