#include "app/QtDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace karto {

TModalResult TQtDialogs::MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  QMessageBox box(m_parent);
  switch (type) {
    case TMsgDlgType::mtConfirmation: box.setIcon(QMessageBox::Question); box.setWindowTitle("Confirm"); break;
    case TMsgDlgType::mtError: box.setIcon(QMessageBox::Critical); box.setWindowTitle("Error"); break;
    case TMsgDlgType::mtWarning: box.setIcon(QMessageBox::Warning); box.setWindowTitle("Warning"); break;
    case TMsgDlgType::mtInformation: box.setIcon(QMessageBox::Information); box.setWindowTitle("Information"); break;
  }
  box.setText(text);
  QMessageBox::StandardButtons sb;
  if (buttons & mbYes) sb |= QMessageBox::Yes;
  if (buttons & mbNo) sb |= QMessageBox::No;
  if (buttons & mbOK) sb |= QMessageBox::Ok;
  if (buttons & mbCancel) sb |= QMessageBox::Cancel;
  box.setStandardButtons(sb);
  switch (box.exec()) {
    case QMessageBox::Yes: return TModalResult::mrYes;
    case QMessageBox::No: return TModalResult::mrNo;
    case QMessageBox::Ok: return TModalResult::mrOk;
    default: return TModalResult::mrCancel;
  }
}

QStringList TQtDialogs::ToQtFilters(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString desc = parts[i].trimmed();
    QString masks = parts[i + 1].trimmed();
    masks.replace(';', ' ');
    out << QString("%1 (%2)").arg(desc, masks.simplified());
  }
  return out;
}

bool TQtDialogs::Run(TFileDialogRequest& request, bool save) {
  QFileDialog dlg(m_parent);
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const QStringList filters = ToQtFilters(request.Filter);
  dlg.setNameFilters(filters);
  if (request.FilterIndex >= 1 && request.FilterIndex <= filters.size())
    dlg.selectNameFilter(filters[request.FilterIndex - 1]);
  if (!request.InitialDir.isEmpty()) dlg.setDirectory(request.InitialDir);
  if (!request.FileName.isEmpty()) dlg.selectFile(request.FileName);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
  request.FileName = dlg.selectedFiles().first();
  request.FilterIndex = int(filters.indexOf(dlg.selectedNameFilter())) + 1;
  return true;
}

bool TQtDialogs::OpenDialog(TFileDialogRequest& request) { return Run(request, false); }
bool TQtDialogs::SaveDialog(TFileDialogRequest& request) { return Run(request, true); }

}  // namespace karto
