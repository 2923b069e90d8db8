#pragma once
// Message boxes and file dialogs with Qt, behind the dialogs seam.

#include "platform/Dialogs.h"

class QWidget;

namespace karto {

class TQtDialogs : public TDialogs {
 public:
  explicit TQtDialogs(QWidget* parent) : m_parent(parent) {}
  TModalResult MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
  bool OpenDialog(TFileDialogRequest& request) override;
  bool SaveDialog(TFileDialogRequest& request) override;

  // "Desc|*.a|Other|*.b;*.c" as Qt name filters ("Desc (*.a)", ...).
  static QStringList ToQtFilters(const QString& filter);

 private:
  bool Run(TFileDialogRequest& request, bool save);
  QWidget* m_parent;
};

}  // namespace karto
