#pragma once
// A table cursor over a Paradox or dBase table: opened by directory and name, its rows listed
// at opening and read from the file when asked for, browsed in the order of the current index,
// narrowed by key ranges, and edited with every Post() and Delete() written through to the file
// before it returns. Its parts: the order (TableOrder), the writing (TableWriter, also the
// writes of many rows), the lock (TableLock); its files: Table.cpp (opening, fields, moving),
// TableListing.cpp (the rows listed from the file, and listed again after another's write).

#include "FieldDef.h"
#include "TableFile.h"
#include "TableOrder.h"
#include "TableWriter.h"
#include "Value.h"

#include "base/TextCodec.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace db {

class Table;

// One field of the open table, bound to the cursor's current row (or to the row being edited).
class Field {
public:
  Field(Table& table, size_t index) : Owner(&table), Index(index) {}

  const QString& FieldName() const;
  FieldType DataType() const;
  int Size() const;
  size_t FieldNo() const { return Index; }

  bool IsNull() const;
  Value AsValue() const;
  int64_t AsInteger() const;
  double AsFloat() const;
  QString AsString() const;
  bool AsBoolean() const;
  QByteArray AsBlob() const;
  QDate AsDate() const;

  // Only in the Edit or Insert state; the value is converted to the field's type.
  void SetValue(const Value& value);
  void SetAsInteger(int64_t value) { SetValue(value); }
  void SetAsFloat(double value) { SetValue(value); }
  void SetAsString(const QString& value) { SetValue(value); }
  void SetAsBoolean(bool value) { SetValue(value); }
  void SetAsBlob(const QByteArray& value) { SetValue(value); }
  void Clear() { SetValue(Value()); }

private:
  Table* Owner;
  size_t Index;
};

class Table {
public:
  Table();
  Table(const QString& databaseName, const QString& tableName);
  ~Table();

  // --- opening ---
  void SetDatabaseName(const QString& dir);
  void SetTableName(const QString& name);
  const QString& DatabaseName() const { return Database; }
  const QString& TableName() const { return Name; }
  // Overrides the code page of a Paradox table's text (for tables whose header declares none).
  void SetCodePage(std::optional<base::CodePage> cp) { CodePageOverride = cp; }
  void SetExclusive(bool exclusive);
  bool Exclusive() const { return IsExclusive; }
  void Open();
  void Close();
  bool Active() const { return Storage != nullptr; }
  // The file the table was opened from (after case-insensitive resolution).
  QString FilePath() const;
  QString Kind() const;

  // --- structure ---
  const std::vector<FieldDef>& FieldDefs() const;
  std::vector<Field>& Fields() { return FieldObjects; }
  Field& FieldByName(const QString& name);
  Field* FindField(const QString& name);
  int KeyFieldCount() const;

  // --- navigation ---
  void First();
  void Last();
  void Next();
  void Prior();
  int MoveBy(int distance);
  bool Eof() const { return AtEof; }
  bool Bof() const { return AtBof; }
  int RecNo() const; // 1-based position in the current order; 0 when empty
  void SetRecNo(int recNo);
  // The value of a field of the row at a 0-based position in the current order, without moving
  // the cursor (the row being edited shows its edited values). Safe from several threads.
  Value ValueAt(int position, size_t field) const;
  // Reads `fields` of every row in the current order, calling `take(position, values)` for each:
  // a walk of the whole table that reads the file in large pieces.
  void ReadColumns(const std::vector<size_t>& fields, const TableFile::FieldsTaker& take) const;
  int RecordCount() const { return int(Ordering.Positions.size()); }
  // The position (0-based, in the current order) of the row stored as record `Record` of the
  // file, counted from 0 with deleted records included: a geometry record's attribute row, which
  // keeps its number when records before it are deleted. -1 when that record is deleted, beyond
  // the end or outside the range. In a table that does not number its records (Paradox) the
  // record is the position itself.
  int PositionOfRecord(int Record) const;
  // The record number of the row at `Position` (the inverse); -1 outside the rows.
  int RecordOfPosition(int Position) const;
  // Counts the changes of the rows and of their order (posts, deletes, re-reads, index and range
  // changes, closing): values copied out of the table stay current while the count stays.
  uint64_t ChangeCount() const { return Changes; }
  bool IsEmpty() const { return Ordering.Positions.empty(); }
  // The state of the file (base::DerivedCache::Stamp) that the rows were listed from, while the
  // cursor shows every row in primary order and none was written since: what is derived from
  // the rows in this order may be kept under it. Empty otherwise.
  QByteArray RowsStamp() const;

  // --- indexes and ranges ---
  // "" selects the primary index (the key fields of a keyed table; otherwise file order).
  // "CLASS_ID" is Category;Class and "GROUP_ID" is Category;Class;GroupNum; a field's own name
  // stands for an index on that field.
  void SetIndexName(const QString& name) { Ordering.SetIndexName(name); }
  QString IndexName() const { return Ordering.IndexName(); }
  void SetIndexFieldNames(const QString& names) { Ordering.SetIndexFieldNames(names); }
  QString IndexFieldNames() const { return Ordering.IndexFieldNames(); } // "Category;Class"
  // Moves to the first row whose leading index fields equal `key` (a partial key is allowed);
  // returns false and stays put when there is none.
  bool FindKey(const std::vector<Value>& key) { return Ordering.FindKey(key); }
  void SetRange(const std::vector<Value>& low, const std::vector<Value>& high) {
    Ordering.SetRange(low, high);
  }
  void CancelRange() { Ordering.CancelRange(); }

  // --- editing ---
  TableState State() const { return Writer.State(); }
  void Edit() { Writer.Edit(); }
  void Insert() { Writer.Insert(); }
  void Append() { Writer.Append(); }
  void Post() { Writer.Post(); }
  void Cancel() { Writer.Cancel(); }
  void Delete() { Writer.Delete(); }
  void EmptyTable() { Writer.EmptyTable(); }
  // The writes of many rows and a statement's changes (TableWriter).
  TableWriter& Writes() { return Writer; }
  // Re-reads the file when it changed on disk since it was read.
  void Refresh();

  // --- bookmarks ---
  using Bookmark = uint64_t;
  Bookmark GetBookmark() const;
  bool BookmarkValid(Bookmark b) const;
  void GotoBookmark(Bookmark b);

private:
  friend class Field;
  friend class TableOrder;
  friend class TableWriter;
  const Value& CurrentValue(size_t field) const;
  void CheckActive(const char* operation) const;
  void CheckBrowse(const char* operation) const;
  size_t FieldIndex(const QString& name) const; // raises when missing
  std::optional<size_t> FindFieldIndex(const QString& name) const;
  // The stored values of the row at `row` (a position in Rows), read from the file.
  Value StoredValue(size_t row, size_t field) const;
  std::vector<Value> StoredValues(size_t row) const;
  // The identities of rows read again: a record keeps its identity where it keeps its number
  // (dBase) or its key (Paradox), and new rows get new ones.
  std::vector<RowSlot> IdentifyRows(const TableFile& storage,
                                    const std::vector<int64_t>& locations);
  // Reads the rows again when the file changed on disk since they were read (another cursor or
  // program wrote it); returns whether it did.
  bool SyncWithDisk(bool force = false);
  void MoveTo(int position);
  const RowSlot* CurrentRow() const;
  QString Describe() const;

  QString Database;
  QString Name;
  std::optional<base::CodePage> CodePageOverride;
  bool IsExclusive = false;
  std::unique_ptr<TableFile> Storage;
  QString Signature;
  std::vector<FieldDef> Defs;
  std::vector<Field> FieldObjects;
  std::vector<RowSlot> Rows; // browse order of the file (key order when keyed)
  QByteArray ListedStamp;    // the file's state the rows were listed from; empty once written
  uint64_t NextId = 1;
  // The values of the cursor's row, read when a field of it is first asked for: the row and the
  // change count they were read at.
  mutable struct {
    std::vector<Value> Values;
    uint64_t Id = 0;
    uint64_t Changes = ~0ull;
  } CurrentValues;
  int Cursor = 0;
  uint64_t Changes = 0;
  bool AtBof = true;
  bool AtEof = true;
  TableOrder Ordering{*this};
  TableWriter Writer{*this};
};

// A table file opened and its rows listed, both from one file (again when another program
// renamed a new file over it meanwhile).
struct ListedTableFile {
  std::unique_ptr<TableFile> Storage;
  std::vector<int64_t> Locations;
  QByteArray Stamp;
  QString Signature;
};
ListedTableFile ListTableFile(const QString& path, std::optional<base::CodePage> cp);

// The file a name resolves to in a directory: an explicit .DB or .DBF decides, a bare name tries
// .DB then .DBF; letter case is ignored. Raises db::Error when none exists.
QString ResolveTableFile(const QString& dir, const QString& name);
// The table file at `path` with its header read (a table of a database from its store): raises
// db::Error naming the table when it cannot be opened.
std::unique_ptr<TableFile> OpenTableFile(const QString& path,
                                         std::optional<base::CodePage> cp = std::nullopt);

} // namespace db
