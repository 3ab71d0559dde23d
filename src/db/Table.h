#pragma once
// A table cursor over a Paradox or dBase table: opened by directory and name, its rows listed
// at opening and read from the file when asked for, browsed in the order of the current index,
// narrowed by key ranges, and edited with every Post() and Delete() written through to the file
// before it returns.

#include "FieldDef.h"
#include "TableFile.h"
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
class TableLock;

enum class TableState { Inactive, Browse, Edit, Insert };

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
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

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
  // The file a name resolves to in a directory: an explicit .DB or .DBF decides, a bare name
  // tries .DB then .DBF; letter case is ignored. Raises db::Error when none exists.
  static QString ResolveTableFile(const QString& dir, const QString& name);
  // The table file at `path` with its header read (a table of a database from its store):
  // raises db::Error naming the table when it cannot be opened.
  static std::unique_ptr<TableFile> OpenFile(const QString& path,
                                             std::optional<base::CodePage> cp = std::nullopt);

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
  int RecordCount() const { return int(Order.size()); }
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
  bool IsEmpty() const { return Order.empty(); }
  // The state of the file (base::DerivedCache::Stamp) that the rows were listed from, while the
  // cursor shows every row in primary order and none was written since: what is derived from
  // the rows in this order may be kept under it. Empty otherwise.
  QByteArray RowsStamp() const;

  // --- indexes and ranges ---
  // "" selects the primary index (the key fields of a keyed table; otherwise file order).
  // "CLASS_ID" is Category;Class and "GROUP_ID" is Category;Class;GroupNum; a field's own name
  // stands for an index on that field.
  void SetIndexName(const QString& name);
  QString IndexName() const { return CurrentIndexName; }
  void SetIndexFieldNames(const QString& names); // "Category;Class"
  QString IndexFieldNames() const;
  // Moves to the first row whose leading index fields equal `key` (a partial key is allowed);
  // returns false and stays put when there is none.
  bool FindKey(const std::vector<Value>& key);
  void SetRange(const std::vector<Value>& low, const std::vector<Value>& high);
  void CancelRange();

  // --- editing ---
  TableState State() const;
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  void Delete();
  void EmptyTable();
  // Replaces every row of the table with `rows` (values in field order, converted to the
  // fields' types); a Paradox table is written whole in one step and is left as it was when
  // the write fails.
  void ReplaceAllRows(const std::vector<std::vector<Value>>& rows);
  // Writes `values[i]` into `fields` of the row at `positions[i]` (0-based, current order), for
  // every i, under one hold of the table's lock: the other fields of those rows stay as the
  // file holds them (another user's change among them). Each row is written whole or not at
  // all; a row another user deleted meanwhile stops the write before anything is written.
  void UpdateFields(const std::vector<int>& positions, const std::vector<size_t>& fields,
                    const std::vector<std::vector<Value>>& values);
  // Rewrites the table with the rows `change` makes of its rows as they are now (values in field
  // order, file order), holding the table's lock from the reading to the rename: changes other
  // writers made meanwhile are in what `change` is given.
  using RowsChange =
      std::function<std::vector<std::vector<Value>>(const std::vector<std::vector<Value>>&)>;
  void RewriteRows(const RowsChange& change);
  // Re-reads the file when it changed on disk since it was read.
  void Refresh();

  // --- a statement's changes, written together ---
  // A change of one statement: a row (its bookmark) updated in the fields `Set` names or
  // deleted, or a new row of the values `Set` gives.
  struct RowChange {
    enum class Kind { Update, Insert, Delete } What = Kind::Update;
    uint64_t Row = 0;
    std::vector<std::pair<size_t, Value>> Set; // field, value (converted by CoerceField)
  };
  // Takes the table's lock and reads the table as it is now: from here to EndWrites no other
  // writer changes it, so what is read meanwhile is what the changes are made from.
  void BeginWrites();
  // Writes `changes` all together (a Paradox table in one rewrite), or raises with nothing
  // written: a value a field cannot hold, a key that would repeat, a row gone, or a file that a
  // program ignoring the lock changed since BeginWrites. Only the fields a change sets are
  // written; the others keep their bytes.
  void WriteChanges(const std::vector<RowChange>& changes);
  void EndWrites();
  // `value` as field `field` stores it; raises db::Error naming the field and the value when
  // the field cannot hold it (a text beyond the table's code page, a word that is no boolean, a
  // number that is not finite).
  Value CoerceField(size_t field, const Value& value) const { return Coerce(field, value); }

  // --- bookmarks ---
  using Bookmark = uint64_t;
  Bookmark GetBookmark() const;
  bool BookmarkValid(Bookmark b) const;
  void GotoBookmark(Bookmark b);

private:
  friend class Field;
  const Value& CurrentValue(size_t field) const;
  void SetBufferValue(size_t field, const Value& value);
  void CheckActive(const char* operation) const;
  void CheckBrowse(const char* operation) const;
  size_t FieldIndex(const QString& name) const; // raises when missing
  std::optional<size_t> FindFieldIndex(const QString& name) const;
  std::vector<size_t> ParseFieldList(const QString& names) const;
  // A table file opened and its rows listed, both from one file.
  struct ListedFile {
    std::unique_ptr<TableFile> Storage;
    std::vector<int64_t> Locations;
    QByteArray Stamp;
    QString Signature;
  };
  static ListedFile OpenAndList(const QString& path, std::optional<base::CodePage> cp);
  // The stored values of the row at `row` (a position in Rows), read from the file.
  Value StoredValue(size_t row, size_t field) const;
  std::vector<Value> StoredValues(size_t row) const;
  // Whether the current order is the order of the rows as held (the primary key's, or the
  // file's), so that no keys need reading to sort them.
  bool PrimaryOrder() const;
  // The value of the i-th field of the current order for the row at `row` (a position in Rows).
  Value OrderValue(size_t row, size_t i) const;
  // The identities of rows read again: a record keeps its identity where it keeps its number
  // (dBase) or its key (Paradox), and new rows get new ones.
  std::vector<RowSlot> IdentifyRows(const TableFile& storage,
                                    const std::vector<int64_t>& locations);
  // Reads the rows again when the file changed on disk since they were read (another cursor or
  // program wrote it); returns whether it did.
  bool SyncWithDisk(bool force = false);
  // The re-read before a write (under the table's lock): forced where the signature can miss
  // another writer's change.
  bool SyncForWrite() { return SyncWithDisk(!Storage->ChangesShowInSignature()); }
  // The position in Rows of the row to write: the row `id`, or, after a re-read, the row whose
  // values are still `original`; nullopt when another writer changed or removed it.
  std::optional<size_t> LocateForWrite(uint64_t id, const std::vector<Value>& original);
  void RebuildOrder(std::optional<uint64_t> keepId);
  // Whether two rows agree on the key fields and the fields of the current order.
  bool OrderFieldsEqual(const std::vector<Value>& a, const std::vector<Value>& b) const;
  // Key values converted to the types of the index fields, so that they compare like the rows.
  std::vector<Value> CoerceKey(const std::vector<Value>& key) const;
  int CompareRowToKey(size_t row, const std::vector<Value>& key) const;
  void MoveTo(int position);
  const RowSlot* CurrentRow() const;
  Value Coerce(size_t field, const Value& value) const;
  Value CoerceBoolean(const FieldDef& def, const Value& value) const;
  QString Describe() const;
  // The table's lock for one write, or none where BeginWrites holds it already.
  std::unique_ptr<TableLock> LockForWrite() const;
  // After this cursor wrote the file: its state is this program's own.
  void NoteOwnWrite();
  // Replaces the rows; the caller holds the table's lock.
  void ReplaceRowsLocked(const std::vector<std::vector<Value>>& rows);
  // A row named for a message: its key values, or its first fields.
  QString RowText(const std::vector<Value>& values) const;
  // All of a row's values as one text, to know the row again after a re-read.
  static QString RowKey(const std::vector<Value>& values);

  QString Database;
  QString Name;
  std::optional<base::CodePage> CodePageOverride;
  bool IsExclusive = false;
  std::unique_ptr<TableFile> Storage;
  std::unique_ptr<TableLock> HeldLock; // between BeginWrites and EndWrites
  QString Signature;
  std::vector<FieldDef> Defs;
  std::vector<Field> FieldObjects;
  std::vector<RowSlot> Rows; // browse order of the file (key order when keyed)
  QByteArray ListedStamp;    // the file's state the rows were listed from; empty once written
  uint64_t NextId = 1;
  std::vector<size_t> IndexFields; // fields of the current order; empty = file order
  QString CurrentIndexName;
  bool UsingFieldNames = false;
  std::optional<std::vector<Value>> RangeLow, RangeHigh;
  std::vector<size_t> Order; // positions in Rows, in the current order, within the range
  // The values of the fields of the current order, IndexFields.size() per row of Rows, read
  // when the order is not the primary one; empty otherwise.
  std::vector<Value> OrderKeys;
  // The values of the cursor's row, read when a field of it is first asked for.
  mutable std::vector<Value> CurrentValues;
  mutable uint64_t CurrentValuesId = 0;
  mutable uint64_t CurrentValuesChanges = ~0ull;
  int Cursor = 0;
  uint64_t Changes = 0;
  bool AtBof = true;
  bool AtEof = true;
  TableState Mode = TableState::Inactive;
  std::vector<Value> Buffer;       // the row being edited or inserted
  std::vector<Value> EditOriginal; // the edited row's values as read
  uint64_t EditedId = 0;
  std::optional<size_t> InsertAt; // where Insert() was called (for a cancel)
  // Positions by record number (PositionOfRecord), built at the ChangeCount they were built at.
  // Guarded: the drawing threads of one layer ask for positions at once.
  mutable std::mutex RecordPositionsLock;
  mutable std::vector<int> RecordPositions;
  mutable uint64_t RecordPositionsChanges = ~0ull;
};

} // namespace db
