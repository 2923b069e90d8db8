#include "platform/FileWrite.h"

#include <QFileInfo>
#include <QSaveFile>
#include <memory>

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
  return WriteFilesAtomically({{fileName, data}}, nullptr, error);
}

bool WriteFilesAtomically(const std::vector<TFileContent>& files, QString* failed, QString* error) {
  std::vector<std::unique_ptr<QSaveFile>> pending;
  auto fail = [&](const QString& name, const QString& reason) {
    if (failed) *failed = name;
    if (error) *error = reason;
    for (auto& f : pending) f->cancelWriting();
    return false;
  };
  for (const TFileContent& f : files) {
    QString reason;
    const QString target = WriteTarget(f.FileName, &reason);
    if (target.isEmpty()) return fail(f.FileName, reason);
    pending.push_back(std::make_unique<QSaveFile>(target));
    QSaveFile& file = *pending.back();
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(f.Data.data(), qint64(f.Data.size())) != qint64(f.Data.size()))
      return fail(f.FileName, file.errorString());
  }
  // All written: each replaces its target now (a rename each).
  for (size_t i = 0; i < pending.size(); ++i)
    if (!pending[i]->commit()) return fail(files[i].FileName, pending[i]->errorString());
  return true;
}

}  // namespace karto
