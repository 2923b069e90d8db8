#pragma once
// Writing a file whole or not at all: the data goes to a temporary file
// beside the target, which replaces the target only when everything was
// written. A failed write leaves the previous file as it was.

#include <QString>
#include <string>

namespace karto {

// False on failure, with the reason in *error when given.
bool WriteFileAtomically(const QString& fileName, const std::string& data, QString* error = nullptr);

}  // namespace karto
