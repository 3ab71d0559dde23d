#pragma once
// The error of the table store: it names the directory, the table and, where one is concerned,
// the field, and says what is wrong.

#include "base/SecretText.h"

#include <QString>
#include <stdexcept>

namespace db {

class Error : public std::runtime_error {
public:
  // A database atlas's password never shows (its URI names the tables).
  explicit Error(const QString& message)
      : std::runtime_error(base::HidePasswords(message).toStdString()),
        Message(base::HidePasswords(message)) {}

  // "Table /atlas/BASE/classreest.DB: field "Levl" not found"
  static Error ForTable(const QString& tablePath, const QString& reason) {
    return Error("Таблиця " + tablePath + ": " + reason);
  }
  static Error ForField(const QString& tablePath, const QString& field, const QString& reason) {
    return Error("Таблиця " + tablePath + ", поле \"" + field + "\": " + reason);
  }

  QString Message;
};

} // namespace db
