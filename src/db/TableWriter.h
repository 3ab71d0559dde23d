#pragma once
// The writing of an open table: the row being edited or inserted and its post, deletes, emptying
// and rewriting, the changes of a statement written together, and fields written in many rows;
// each under the table's lock from reading the table as it is to the change on disk. Part of
// db::Table, whose rows and file it changes.

#include "Value.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace db {

class Table;
class TableLock;
enum class TableState { Inactive, Browse, Edit, Insert };

class TableWriter {
public:
  explicit TableWriter(Table& table);
  ~TableWriter();

  // --- the cursor's row ---
  TableState State() const;
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  void Delete();
  void EmptyTable();
  // The row being edited or inserted: its values, and one set (converted to the field's type).
  bool Editing() const;
  const Value& EditedValue(size_t field) const { return Buffer[field]; }
  void SetField(size_t field, const Value& value);
  // Back to browsing, nothing held (at opening and closing).
  void Reset();

  // --- many rows ---
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
  Value CoerceField(size_t field, const Value& value) const;

private:
  // The table's lock for one write, or none where BeginWrites holds it already.
  std::unique_ptr<TableLock> LockForWrite() const;
  // The re-read before a write (under the table's lock): forced where the signature can miss
  // another writer's change.
  bool SyncForWrite();
  // The position in the rows of the row to write: the row `id`, or, after a re-read, the row
  // whose values are still `original`; nullopt when another writer changed or removed it.
  std::optional<size_t> LocateForWrite(uint64_t id, const std::vector<Value>& original);
  // After this cursor wrote the file: its state is this program's own.
  void NoteOwnWrite();
  // Replaces the rows; the caller holds the table's lock.
  void ReplaceRowsLocked(const std::vector<std::vector<Value>>& rows);
  // A row named for a message: its key values, or its first fields.
  QString RowText(const std::vector<Value>& values) const;

  Table& T;
  std::unique_ptr<TableLock> HeldLock; // between BeginWrites and EndWrites
  TableState Mode;
  std::vector<Value> Buffer;       // the row being edited or inserted
  std::vector<Value> EditOriginal; // the edited row's values as read
  uint64_t EditedId = 0;
  std::optional<size_t> InsertAt; // where Insert() was called (for a cancel)
};

} // namespace db
