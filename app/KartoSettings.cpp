// What the window remembers between runs: the last folder, the files opened
// last (the "Recent files" menu) and its own size and place. Kept in an
// INI file in the user's configuration folder.

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

#include "app/KartoWindow.h"

namespace karto {

namespace {
constexpr int kMaxRecentFiles = 8;
}  // namespace

void TfrmKarto::LoadSettings() {
  QSettings s(QSettings::IniFormat, QSettings::UserScope, "Karto", "Karto");
  const QString folder = s.value("lastFolder").toString();
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) m_sRunDir = folder;
  m_recentFiles = s.value("recentFiles").toStringList();
  while (m_recentFiles.size() > kMaxRecentFiles) m_recentFiles.removeLast();
  const QByteArray geometry = s.value("geometry").toByteArray();
  if (!geometry.isEmpty()) restoreGeometry(geometry);
  RebuildRecentFilesMenu();
}

void TfrmKarto::RememberFile(const QString& fileName) {
  const QString path = QFileInfo(fileName).absoluteFilePath();
  m_recentFiles.removeAll(path);
  m_recentFiles.prepend(path);
  while (m_recentFiles.size() > kMaxRecentFiles) m_recentFiles.removeLast();
  m_sRunDir = QFileInfo(path).absolutePath();
  QSettings s(QSettings::IniFormat, QSettings::UserScope, "Karto", "Karto");
  s.setValue("recentFiles", m_recentFiles);
  s.setValue("lastFolder", m_sRunDir);
  RebuildRecentFilesMenu();
}

void TfrmKarto::RebuildRecentFilesMenu() {
  MenuRecentFiles->clear();
  for (int i = 0; i < m_recentFiles.size(); ++i) {
    const QString file = m_recentFiles[i];
    QAction* a = MenuRecentFiles->addAction(QString("&%1 %2").arg(i + 1).arg(QFileInfo(file).fileName()));
    a->setToolTip(file);
    connect(a, &QAction::triggered, this, [this, file] { OpenFile(file); });
  }
  MenuRecentFiles->setEnabled(!m_recentFiles.isEmpty());
}

void TfrmKarto::closeEvent(QCloseEvent* e) {
  QSettings s(QSettings::IniFormat, QSettings::UserScope, "Karto", "Karto");
  s.setValue("geometry", saveGeometry());
  QMainWindow::closeEvent(e);
}

}  // namespace karto
