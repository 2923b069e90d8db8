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
  QString fileName = RunSaveDialog("FMX File (*.fmx)|*.fmx|JavaScript File (*.js)|*.js", 1);
  if (fileName.isEmpty()) return;
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
  QString fileName = RunSaveDialog("SVG File (*.svg)|*.svg", 1);
  if (fileName.isEmpty()) return;
  if (QFileInfo(fileName).suffix().toUpper() != "SVG") fileName += ".svg";
  QString reason;
  if (!WriteFileAtomically(fileName, ExportSvg(*m_oPaintBox2D), &reason)) {
    m_dialogs->MessageDlg(QString("The drawing could not be exported to %1.\n%2").arg(fileName, reason),
                          TMsgDlgType::mtError, mbOKCancel);
  }
}

}  // namespace karto
