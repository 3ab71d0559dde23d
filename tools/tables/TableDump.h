#pragma once
// Text renderings of tables for the vandrel-tables tool: a listing of a directory's tables and a
// dump of one table, as aligned text or as CSV (RFC 4180).

#include "db/Query.h"
#include "db/Table.h"

#include <QString>
#include <QTextStream>

namespace tools {

// One line per table of `dir`: file, kind, rows, fields; a table that cannot be read gets its
// error instead. Returns the number of tables that could not be read.
int ListTables(const QString& dir, QTextStream& out);

// The field list with types, then every row in browse order.
void DumpTable(db::Table& table, bool csv, QTextStream& out);

// A value as the dump shows it: blobs as their size and kind.
QString DumpText(const db::Field& field);

QString CsvQuote(const QString& text);
// A text on one line: line breaks and tabs written as \n, \r, \t.
QString OneLine(QString text);

// The result of a query: its column names, then its rows, tab-separated or as CSV.
void DumpQuery(const db::Query& query, bool csv, QTextStream& out);

} // namespace tools
