#pragma once
// Writing a file whole or not at all: the data goes to a temporary file
// beside the target, which replaces the target only when everything was
// written. A failed write leaves the previous file as it was.

#include <QString>
#include <string>
#include <vector>

namespace karto {

// False on failure, with the reason in *error when given (the reason only:
// callers name the file).
bool WriteFileAtomically(const QString& fileName, const std::string& data, QString* error = nullptr);

// Several files written together: each to a temporary file first, and
// only when all are written do they replace their targets. On failure
// nothing is replaced; *failed names the file that could not be written.
struct TFileContent {
  QString FileName;
  std::string Data;
};
bool WriteFilesAtomically(const std::vector<TFileContent>& files, QString* failed = nullptr,
                          QString* error = nullptr);

// The file a write to fileName replaces: through symbolic links to where
// they lead, so that a link stays a link. Empty, with the reason in
// *error, when that is something other than a regular file (a directory,
// a device) or the links go round: such things are never replaced.
QString WriteTarget(const QString& fileName, QString* error = nullptr);

}  // namespace karto
