#pragma once
// The atlas's local SQL in SQLite's dialect: "..." string literals become '...', the names of
// the tables a statement reads or writes (after FROM, JOIN, INTO, UPDATE and the commas of a FROM
// list) are collected and quoted as identifiers.

#include <QString>
#include <QStringList>

namespace db {

struct SqlStatement {
  QString Sql;        // in SQLite's dialect
  QStringList Tables; // as the statement names them
};

SqlStatement TranslateSql(const QString& sql);
QString QuoteSqlIdentifier(const QString& name);

} // namespace db
