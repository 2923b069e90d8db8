#include "platform/FileWrite.h"

#include <QSaveFile>

namespace karto {

bool WriteFileAtomically(const QString& fileName, const std::string& data, QString* error) {
  QSaveFile file(fileName);
  if (file.open(QIODevice::WriteOnly) && file.write(data.data(), qint64(data.size())) == qint64(data.size()) &&
      file.commit())
    return true;
  if (error) *error = file.errorString();
  file.cancelWriting();
  return false;
}

}  // namespace karto
