#include "platform/Dialogs.h"

namespace karto {

int TScriptedDialogs::MessageCount() const {
  int n = 0;
  for (const Call& c : m_calls) n += c.kind == Call::Message;
  return n;
}

const TScriptedDialogs::Call* TScriptedDialogs::LastMessage() const {
  for (auto it = m_calls.rbegin(); it != m_calls.rend(); ++it)
    if (it->kind == Call::Message) return &*it;
  return nullptr;
}

TModalResult TScriptedDialogs::MessageDlg(const QString& text, TMsgDlgType type,
                                          TMsgDlgButtons buttons) {
  Call c{Call::Message, text, type, buttons, {}};
  m_calls.push_back(c);
  if (m_answers.empty()) return TModalResult::mrCancel;
  const TModalResult r = m_answers.front();
  m_answers.pop_front();
  return r;
}

bool TScriptedDialogs::File(Call::Kind kind, TFileDialogRequest& request) {
  m_calls.push_back(Call{kind, {}, TMsgDlgType::mtInformation, 0, request});
  if (m_files.empty()) return false;
  auto [name, index] = m_files.front();
  m_files.pop_front();
  if (name.isEmpty()) return false;
  request.FileName = name;
  if (index > 0) request.FilterIndex = index;
  return true;
}

}  // namespace karto
