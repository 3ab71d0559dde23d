#pragma once
// The error every file-level failure in the program raises: it carries the file and the reason.

#include "SecretText.h"

#include <QString>
#include <stdexcept>
#include <string>

namespace base {

class FileError : public std::runtime_error {
public:
  FileError(const QString& path, const QString& reason)
      : std::runtime_error(HidePasswords(path + ": " + reason).toStdString()), Path(path),
        Reason(reason) {}

  QString Path;   // the file the failure concerns
  QString Reason; // what is wrong with it, in words a user can act on
};

} // namespace base
