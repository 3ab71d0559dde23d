#pragma once
// Local SQL over the tables of one directory: the desktop engine's dialect run by SQLite, each
// Paradox or dBase table of the directory reached through one virtual-table module over a
// db::Table, created on the first use of its name (with or without extension, any letter
// case). Rows changed through a statement are posted to the file as db::Table posts them.
//
// The dialect: text in double quotes is a string literal (a doubled double quote stands for
// one), "||" joins texts, LOWER and UPPER know every alphabet, LIKE respects letter case with
// "%" and "_" as wildcards. A table name may carry its extension ("Streets.dbf").
// Each table also has a hidden column _ROW_POSITION (left out of "*"): the row's position from 0
// in the table's primary order, as a db::Table opened on the same file lists it.
// Limits: every table is scanned whole (no index is offered to SQLite); a result is read whole.

#include "Value.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace db {

class Query {
public:
  Query();
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  static constexpr const char* PositionColumn = "_ROW_POSITION";

  void SetDatabaseName(const QString& dir);
  const QString& DatabaseName() const { return Database; }
  // The statement, one line per entry; lines are joined with a line break.
  QStringList SQL;
  // Values for "?" or ":name" placeholders, in order.
  std::vector<Value> Params;

  // Runs a SELECT and keeps its rows; raises db::Error with the engine's message.
  void Open();
  // Runs a statement that returns no rows; the number of rows it changed.
  int ExecSQL();
  void Close();
  bool Active() const { return IsOpen; }

  // The result, read whole: column names and rows.
  const QStringList& ColumnNames() const { return Columns; }
  int RecordCount() const { return int(Rows.size()); }
  const Value& ValueAt(int row, int column) const;
  int FindColumn(const QString& name) const; // -1 when there is none (letter case ignored)

  // A cursor over the result.
  void First() { Current = 0; }
  void Last() { Current = Rows.empty() ? 0 : int(Rows.size()) - 1; }
  void Next();
  bool Eof() const { return Rows.empty() || Current >= int(Rows.size()); }
  int RecNo() const { return Rows.empty() ? 0 : Current + 1; }
  void SetRecNo(int recNo);
  // The current row's value of a column; raises db::Error naming a column there is none of.
  Value FieldValue(const QString& column) const;

  // The statement in SQLite's dialect (for tests and messages).
  static QString ToSqlite(const QString& sql);
  // The table names a statement reads or writes (after FROM, JOIN, INTO, UPDATE and the commas
  // of a FROM list).
  static QStringList TableNames(const QString& sql);

private:
  void Prepare();
  void ReadResult(sqlite3_stmt* statement);
  void AttachTables(const QString& sql);

  QString Database;
  sqlite3* Connection = nullptr;
  QStringList Attached; // virtual tables made so far, by their name in the statement
  bool IsOpen = false;
  QStringList Columns;
  std::vector<std::vector<Value>> Rows;
  int Current = 0;
};

} // namespace db
