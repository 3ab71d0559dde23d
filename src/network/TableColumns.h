#pragma once
// Reading the network tools' tables by field name, letter case ignored: a field the tools need
// raises db::Error naming the table and the field; one they can do without is optional.

#include "db/Error.h"
#include "db/Table.h"

#include <optional>

namespace network {

inline std::optional<size_t> OptionalColumn(const db::Table& t, const char* name) {
  const auto& defs = t.FieldDefs();
  for (size_t f = 0; f < defs.size(); ++f)
    if (defs[f].Name.compare(QString(name), Qt::CaseInsensitive) == 0) return f;
  return std::nullopt;
}

inline size_t Column(const db::Table& t, const char* name) {
  if (const auto column = OptionalColumn(t, name)) return *column;
  throw db::Error::ForField(t.DatabaseName() + "/" + t.TableName(), name, "поля немає");
}

// The field's text at a row, trimmed; empty when the table has no such field.
inline QString Text(const db::Table& t, int row, const char* field) {
  const auto column = OptionalColumn(t, field);
  return column ? db::ValueToString(t.ValueAt(row, *column)).trimmed() : QString();
}

// "пров. Сковороди 3" from the row's TYPE, STREET and NUMBER, the empty ones left out.
inline QString StreetAddress(const db::Table& t, int row) {
  QStringList parts;
  for (const char* field : {"TYPE", "STREET", "NUMBER"})
    if (const QString text = Text(t, row, field); !text.isEmpty()) parts << text;
  return parts.join(' ');
}

} // namespace network
