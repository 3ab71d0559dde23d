#include "Query.h"

#include "Error.h"
#include "SqlDialect.h"
#include "SqlTableModule.h"
#include "Table.h"

#include <sqlite3.h>

namespace db {

Query::Query() {
  if (sqlite3_open_v2(":memory:", &Connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK)
    throw Error("SQL: не вдається запустити рушій запитів");
  InstallAtlasTables(Connection);
}

Query::~Query() {
  sqlite3_close_v2(Connection);
}

void Query::SetDatabaseName(const QString& dir) {
  if (dir == Database) return;
  Close();
  Database = dir;
  // The tables of another directory are other tables.
  for (const QString& name : Attached)
    sqlite3_exec(Connection, ("DROP TABLE temp." + QuoteSqlIdentifier(name)).toUtf8().constData(),
                 nullptr, nullptr, nullptr);
  Attached.clear();
}

QString Query::ToSqlite(const QString& sql) {
  return TranslateSql(sql).Sql;
}

QStringList Query::TableNames(const QString& sql) {
  return TranslateSql(sql).Tables;
}

void Query::AttachTables(const QString& sql) {
  for (const QString& name : TableNames(sql)) {
    if (Attached.contains(name, Qt::CaseInsensitive)) continue;
    ResolveTableFile(Database, name); // raises, naming the table, when there is none
    const auto quoted = [](const QString& t) { return "'" + QString(t).replace('\'', "''") + "'"; };
    const QByteArray create =
        ("CREATE VIRTUAL TABLE temp." + QuoteSqlIdentifier(name) + " USING vandrel_table(" +
         quoted(Database) + ", " + quoted(name) + ")")
            .toUtf8();
    char* message = nullptr;
    if (sqlite3_exec(Connection, create.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
      const QString reason = QString::fromUtf8(message ? message : "не читається");
      sqlite3_free(message);
      // The table's own error names it already.
      if (reason.startsWith("Таблиця ")) throw Error(reason);
      throw Error::ForTable(Database + "/" + name, reason);
    }
    Attached << name;
  }
}

namespace {

struct Statement {
  sqlite3_stmt* Handle = nullptr;
  ~Statement() { sqlite3_finalize(Handle); }
};

void Bind(sqlite3_stmt* statement, const std::vector<Value>& params) {
  for (size_t i = 0; i < params.size(); ++i) {
    const int at = int(i) + 1;
    const Value& v = params[i];
    if (IsNull(v)) {
      sqlite3_bind_null(statement, at);
    } else if (const auto* b = std::get_if<bool>(&v)) {
      sqlite3_bind_int64(statement, at, *b);
    } else if (const auto* n = std::get_if<int64_t>(&v)) {
      sqlite3_bind_int64(statement, at, *n);
    } else if (const auto* d = std::get_if<double>(&v)) {
      sqlite3_bind_double(statement, at, *d);
    } else if (const auto* bytes = std::get_if<QByteArray>(&v)) {
      sqlite3_bind_blob64(statement, at, bytes->constData(), sqlite3_uint64(bytes->size()),
                          SQLITE_TRANSIENT);
    } else {
      const QByteArray text = ValueToString(v).toUtf8();
      sqlite3_bind_text64(statement, at, text.constData(), sqlite3_uint64(text.size()),
                          SQLITE_TRANSIENT, SQLITE_UTF8);
    }
  }
}

} // namespace

namespace {

// Compiles the one statement of `text`; a second statement after it is refused, not left
// unread (a condition given as text could otherwise end one statement and start another).
void PrepareOne(sqlite3* connection, const QByteArray& text, sqlite3_stmt*& handle,
                const QString& sql) {
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(connection, text.constData(), int(text.size()), &handle, &tail) !=
      SQLITE_OK)
    throw Error("SQL: " + QString::fromUtf8(sqlite3_errmsg(connection)) + "\n" + sql);
  if (!tail || tail >= text.constData() + text.size()) return;
  sqlite3_stmt* next = nullptr;
  const int rc = sqlite3_prepare_v2(connection, tail, -1, &next, nullptr);
  sqlite3_finalize(next);
  if (rc != SQLITE_OK || next)
    throw Error(QString::fromUtf8("SQL: після запиту йде ще один; виконується лише один\n") + sql);
}

} // namespace

void Query::Open() {
  Close();
  const QString sql = SQL.join('\n');
  AttachTables(sql);
  Statement s;
  PrepareOne(Connection, ToSqlite(sql).toUtf8(), s.Handle, sql);
  Bind(s.Handle, Params);
  ReadResult(s.Handle);
  IsOpen = true;
}

void Query::ReadResult(sqlite3_stmt* statement) {
  Columns.clear();
  Rows.clear();
  Current = 0;
  const int columns = sqlite3_column_count(statement);
  for (int c = 0; c < columns; ++c)
    Columns << QString::fromUtf8(sqlite3_column_name(statement, c));
  int rc = SQLITE_OK;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    std::vector<Value> row;
    row.reserve(size_t(columns));
    for (int c = 0; c < columns; ++c)
      row.push_back(ValueOfSqlite(sqlite3_column_value(statement, c)));
    Rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) {
    Rows.clear();
    throw Error("SQL: " + QString::fromUtf8(sqlite3_errmsg(Connection)));
  }
}

int Query::ExecSQL() {
  Close();
  const QString sql = SQL.join('\n');
  AttachTables(sql);
  Statement s;
  PrepareOne(Connection, ToSqlite(sql).toUtf8(), s.Handle, sql);
  Bind(s.Handle, Params);
  int rc = SQLITE_OK;
  while ((rc = sqlite3_step(s.Handle)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) throw Error("SQL: " + QString::fromUtf8(sqlite3_errmsg(Connection)));
  return sqlite3_changes(Connection);
}

void Query::Close() {
  IsOpen = false;
  Columns.clear();
  Rows.clear();
  Current = 0;
}

const Value& Query::ValueAt(int row, int column) const {
  static const Value none;
  if (row < 0 || row >= int(Rows.size()) || column < 0 || column >= int(Columns.size()))
    return none;
  return Rows[size_t(row)][size_t(column)];
}

int Query::FindColumn(const QString& name) const {
  for (int c = 0; c < Columns.size(); ++c)
    if (Columns[c].compare(name, Qt::CaseInsensitive) == 0) return c;
  return -1;
}

void Query::Next() {
  if (Current < int(Rows.size())) ++Current;
}

void Query::SetRecNo(int recNo) {
  Current = std::clamp(recNo - 1, 0, std::max(0, int(Rows.size()) - 1));
}

Value Query::FieldValue(const QString& column) const {
  const int c = FindColumn(column);
  if (c < 0) throw Error("SQL: у результаті немає стовпця \"" + column + "\"");
  return Eof() ? Value() : ValueAt(Current, c);
}

} // namespace db
