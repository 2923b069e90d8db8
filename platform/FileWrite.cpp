#include "platform/FileWrite.h"

#include <QFileInfo>
#include <QSaveFile>

namespace karto {

QString WriteTarget(const QString& fileName, QString* error) {
  QString path = fileName;
  for (int hops = 0;; ++hops) {
    const QFileInfo info(path);
    if (info.isSymLink()) {
      if (hops >= 40) {
        if (error) *error = "Too many symbolic links.";
        return {};
      }
      path = info.symLinkTarget();
      continue;
    }
    if (info.exists() && !info.isFile()) {
      if (error) *error = "It is not a regular file; Karto does not replace it.";
      return {};
    }
    return path;
  }
}

bool WriteFileAtomically(const QString& fileName, const std::string& data, QString* error) {
  const QString target = WriteTarget(fileName, error);
  if (target.isEmpty()) return false;
  QSaveFile file(target);
  if (file.open(QIODevice::WriteOnly) && file.write(data.data(), qint64(data.size())) == qint64(data.size()) &&
      file.commit())
    return true;
  if (error) *error = file.errorString();
  file.cancelWriting();
  return false;
}

}  // namespace karto
