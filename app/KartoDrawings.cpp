// Drawing files: the 2D view written as an object stream.

#include <QAction>
#include <QFileInfo>

#include "app/KartoWindow.h"
#include "platform/FileWrite.h"
#include "platform/ObjectStream.h"
#include "workspace/SvgExport.h"

namespace karto {

void TfrmKarto::Save2DView() {
  if (m_oPaintBox2D->ChildrenCount() == 0) return;
  TFileDialogRequest request;
  request.Filter = "FMX File (*.fmx)|*.fmx|JavaScript File (*.js)|*.js";
  request.FilterIndex = 1;
  request.InitialDir = m_sRunDir;
  if (!m_dialogs->SaveDialog(request)) return;
  QString fileName = request.FileName;
  const QFileInfo info(fileName);
  // Only the object stream is written; any other extension becomes .fmx.
  if (info.suffix().toUpper() != "FMX") {
    const QString base = info.suffix().isEmpty() ? fileName : fileName.left(fileName.size() - info.suffix().size() - 1);
    fileName = base + ".fmx";
  }
  QString reason;
  if (!WriteFileAtomically(fileName, WriteComponent(*m_oPaintBox2D), &reason)) {
    m_dialogs->MessageDlg(QString("The drawing could not be saved to %1.\n%2").arg(fileName, reason),
                          TMsgDlgType::mtError, mbOKCancel);
  }
}

void TfrmKarto::UpdateFileMenu() {
  MenuItemExportSVG->setEnabled(View2DVisible() && HasExportableShapes(*m_oPaintBox2D));
}

void TfrmKarto::MenuItemExportSVGClick() {
  UpdateFileMenu();
  if (!MenuItemExportSVG->isEnabled()) return;
  TFileDialogRequest request;
  request.Filter = "SVG File (*.svg)|*.svg";
  request.FilterIndex = 1;
  request.InitialDir = m_sRunDir;
  if (!m_dialogs->SaveDialog(request)) return;
  QString fileName = request.FileName;
  if (QFileInfo(fileName).suffix().toUpper() != "SVG") fileName += ".svg";
  QString reason;
  if (!WriteFileAtomically(fileName, ExportSvg(*m_oPaintBox2D), &reason)) {
    m_dialogs->MessageDlg(QString("The drawing could not be exported to %1.\n%2").arg(fileName, reason),
                          TMsgDlgType::mtError, mbOKCancel);
  }
}

}  // namespace karto
