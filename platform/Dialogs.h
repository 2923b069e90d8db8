#pragma once
// The seam between the window and modal dialogs: message boxes and file
// dialogs go through TDialogs, so the window never opens a QMessageBox or a
// QFileDialog itself. The Qt implementation lives with the window; tests use
// TScriptedDialogs, which answers from a queue and records every call.

#include <QString>
#include <deque>
#include <vector>

namespace karto {

enum class TMsgDlgType { mtConfirmation, mtError, mtWarning, mtInformation };

enum TMsgDlgBtn : unsigned { mbYes = 1u << 0, mbNo = 1u << 1, mbOK = 1u << 2, mbCancel = 1u << 3 };
using TMsgDlgButtons = unsigned;
// Confirmations ask Yes / No / Cancel; errors offer OK / Cancel.
constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;
constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;

enum class TModalResult { mrNone, mrYes, mrNo, mrOk, mrCancel };

// A file dialog's set-up and, after it ran, its answer. The filter lists
// description and mask pairs, all separated by "|"; FilterIndex counts from 1.
struct TFileDialogRequest {
  QString Filter;
  int FilterIndex = 1;
  QString InitialDir;
  QString FileName;  // out: the chosen file
};

class TDialogs {
 public:
  virtual ~TDialogs() = default;
  virtual TModalResult MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) = 0;
  // True when the user chose a file; FileName and FilterIndex are then set.
  virtual bool OpenDialog(TFileDialogRequest& request) = 0;
  virtual bool SaveDialog(TFileDialogRequest& request) = 0;
};

class TScriptedDialogs : public TDialogs {
 public:
  struct Call {
    enum Kind { Message, Open, Save } kind;
    QString text;  // message text
    TMsgDlgType type = TMsgDlgType::mtInformation;
    TMsgDlgButtons buttons = 0;
    TFileDialogRequest request;  // as the window set it up
  };

  // Answers, used in order; with none left a message answers mrCancel and a
  // file dialog is cancelled.
  void PushAnswer(TModalResult r) { m_answers.push_back(r); }
  // An empty name cancels the dialog.
  void PushFile(const QString& fileName, int filterIndex = 0) {
    m_files.push_back({fileName, filterIndex});
  }

  const std::vector<Call>& Calls() const { return m_calls; }
  void ClearCalls() { m_calls.clear(); }
  int MessageCount() const;
  const Call* LastMessage() const;

  TModalResult MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
  bool OpenDialog(TFileDialogRequest& request) override { return File(Call::Open, request); }
  bool SaveDialog(TFileDialogRequest& request) override { return File(Call::Save, request); }

 private:
  bool File(Call::Kind kind, TFileDialogRequest& request);
  std::deque<TModalResult> m_answers;
  std::deque<std::pair<QString, int>> m_files;
  std::vector<Call> m_calls;
};

}  // namespace karto
