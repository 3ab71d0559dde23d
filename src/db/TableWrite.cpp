// The cursor's writing: edit, insert, post, delete, emptying and rewriting a table, each under
// the table's lock from reading the table as it is to the change on disk, and the re-reading of
// a table another writer changed.

#include "Table.h"

#include "DbaseFile.h"
#include "Error.h"
#include "ParadoxFile.h"
#include "TableLock.h"
#include "base/OwnWrites.h"

#include <QFileInfo>
#include <algorithm>
#include <map>

namespace db {

// ---------------------------------------------------------------- editing

TableState Table::State() const {
  return Active() ? Mode : TableState::Inactive;
}

void Table::Edit() {
  CheckActive("редагувати");
  if (Mode == TableState::Edit || Mode == TableState::Insert) return;
  const RowSlot* row = CurrentRow();
  if (!row) throw Error::ForTable(Describe(), "не вдається редагувати: таблиця порожня");
  Buffer = Storage->ReadRow(row->Location);
  EditOriginal = Buffer;
  EditedId = row->Id;
  Mode = TableState::Edit;
}

void Table::Insert() {
  CheckActive("вставити");
  if (Mode != TableState::Browse) Post();
  Buffer.assign(Defs.size(), Value());
  InsertAt = size_t(Cursor);
  Mode = TableState::Insert;
}

void Table::Append() {
  Insert();
  InsertAt = Order.size();
}

void Table::Post() {
  CheckActive("записати");
  if (Mode == TableState::Browse) return;
  // From reading the table as it is now to the change on disk, no other writer comes between.
  const auto lock = LockForWrite();
  if (Mode == TableState::Edit) {
    const auto index = LocateForWrite(EditedId, EditOriginal);
    if (!index)
      throw Error::ForTable(Describe(), "рядок " + RowText(EditOriginal) +
                                            " змінив або видалив інший користувач після того, "
                                            "як його прочитано; зміну не записано");
    EditedId = Rows[*index].Id;
    const size_t rowsBefore = Rows.size();
    const std::vector<Value> stored = StoredValues(*index);
    const bool orderFieldsKept = OrderFieldsEqual(stored, Buffer);
    Storage->UpdateRow(Rows, *index, stored, Buffer);
    if (orderFieldsKept && Rows.size() == rowsBefore && Rows[*index].Id == EditedId) {
      // Updated where it was, with the fields of the order unchanged: the order still holds.
      NoteOwnWrite();
      Mode = TableState::Browse;
      Buffer.clear();
      ++Changes;
      return;
    }
  } else {
    SyncForWrite();
    const RowSlot row{NextId++, -1};
    EditedId = row.Id;
    Storage->InsertRow(Rows, row, Buffer);
  }
  NoteOwnWrite();
  Mode = TableState::Browse;
  Buffer.clear();
  InsertAt.reset();
  RebuildOrder(EditedId);
  AtBof = AtEof = Order.empty();
}

void Table::NoteOwnWrite() {
  Signature = Storage->DiskSignature();
  Storage->NoteOwnWrite();
  ListedStamp.clear(); // what was kept for the file as listed no longer fits it
}

bool Table::OrderFieldsEqual(const std::vector<Value>& a, const std::vector<Value>& b) const {
  for (size_t f = 0; f < size_t(KeyFieldCount()) && f < a.size() && f < b.size(); ++f)
    if (!ValuesEqual(a[f], b[f])) return false;
  for (size_t f : IndexFields)
    if (f >= a.size() || f >= b.size() || !ValuesEqual(a[f], b[f])) return false;
  return true;
}

void Table::Cancel() {
  if (!Active() || Mode == TableState::Browse) return;
  Mode = TableState::Browse;
  Buffer.clear();
  InsertAt.reset();
}

void Table::Delete() {
  CheckActive("видалити");
  if (Mode == TableState::Insert) {
    Cancel();
    return;
  }
  if (Mode == TableState::Edit) Cancel();
  const RowSlot* row = CurrentRow();
  if (!row) throw Error::ForTable(Describe(), "не вдається видалити: таблиця порожня");
  const std::vector<Value> original = Storage->ReadRow(row->Location);
  const auto lock = LockForWrite();
  const auto index = LocateForWrite(row->Id, original);
  if (!index)
    throw Error::ForTable(Describe(), "рядок " + RowText(original) +
                                          " змінив або видалив інший користувач після того, як "
                                          "його прочитано; його не видалено");
  Storage->DeleteRow(Rows, *index);
  NoteOwnWrite();
  RebuildOrder(std::nullopt);
  AtBof = AtEof = Order.empty();
}

void Table::EmptyTable() {
  CheckActive("очистити таблицю");
  Cancel();
  const auto lock = LockForWrite();
  Storage->EmptyTable(Rows);
  NoteOwnWrite();
  RebuildOrder(std::nullopt);
}

void Table::ReplaceAllRows(const std::vector<std::vector<Value>>& rows) {
  CheckActive("замінити рядки");
  Cancel();
  const auto lock = LockForWrite();
  ReplaceRowsLocked(rows);
}

void Table::UpdateFields(const std::vector<int>& positions, const std::vector<size_t>& fields,
                         const std::vector<std::vector<Value>>& values) {
  CheckBrowse("записати рядки");
  if (positions.size() != values.size())
    throw Error::ForTable(
        Describe(),
        QString("%1 рядків і %2 наборів значень").arg(positions.size()).arg(values.size()));
  std::vector<size_t> indexes;
  std::vector<uint64_t> ids;
  std::vector<std::vector<Value>> coerced;
  indexes.reserve(positions.size());
  coerced.reserve(values.size());
  for (size_t i = 0; i < positions.size(); ++i) {
    if (positions[i] < 0 || positions[i] >= int(Order.size()) || values[i].size() != fields.size())
      throw Error::ForTable(Describe(), QString("рядка %1 немає").arg(positions[i] + 1));
    indexes.push_back(Order[size_t(positions[i])]);
    ids.push_back(Rows[indexes.back()].Id);
    std::vector<Value> row;
    for (size_t k = 0; k < fields.size(); ++k) {
      if (fields[k] >= Defs.size())
        throw Error::ForTable(Describe(), QString("поля номер %1 немає").arg(fields[k] + 1));
      row.push_back(Coerce(fields[k], values[i][k]));
    }
    coerced.push_back(std::move(row));
  }
  const auto lock = LockForWrite();
  if (SyncForWrite()) {
    // Read again: the rows are found by the identities they keep.
    std::map<uint64_t, size_t> at;
    for (size_t i = 0; i < Rows.size(); ++i)
      at.emplace(Rows[i].Id, i);
    for (size_t i = 0; i < ids.size(); ++i) {
      const auto found = at.find(ids[i]);
      if (found == at.end())
        throw Error::ForTable(Describe(), QString("рядок %1 видалив інший користувач після того, "
                                                  "як його прочитано; нічого не записано")
                                              .arg(positions[i] + 1));
      indexes[i] = found->second;
    }
  }
  Storage->UpdateFields(Rows, indexes, fields, coerced);
  NoteOwnWrite();
  const bool reordered = std::any_of(fields.begin(), fields.end(), [&](size_t f) {
    return f < size_t(KeyFieldCount()) ||
           std::find(IndexFields.begin(), IndexFields.end(), f) != IndexFields.end();
  });
  if (reordered)
    RebuildOrder(CurrentRow() ? std::optional(CurrentRow()->Id) : std::nullopt);
  else
    ++Changes;
}

void Table::RewriteRows(const RowsChange& change) {
  CheckActive("замінити рядки");
  Cancel();
  const auto lock = LockForWrite();
  SyncForWrite();
  std::vector<std::vector<Value>> current(Rows.size());
  std::vector<int64_t> locations;
  locations.reserve(Rows.size());
  for (const RowSlot& row : Rows)
    locations.push_back(row.Location);
  std::vector<size_t> fields(Defs.size());
  for (size_t f = 0; f < fields.size(); ++f)
    fields[f] = f;
  Storage->ReadFields(locations, fields,
                      [&](size_t i, const std::vector<Value>& values) { current[i] = values; });
  ReplaceRowsLocked(change(current));
}

void Table::ReplaceRowsLocked(const std::vector<std::vector<Value>>& rows) {
  std::vector<StoredRow> replacement;
  replacement.reserve(rows.size());
  for (const std::vector<Value>& values : rows) {
    if (values.size() != Defs.size())
      throw Error::ForTable(
          Describe(),
          QString("новий рядок має %1 значень для %2 полів").arg(values.size()).arg(Defs.size()));
    StoredRow row;
    row.Id = NextId++;
    for (size_t f = 0; f < values.size(); ++f)
      row.Values.push_back(Coerce(f, values[f]));
    replacement.push_back(std::move(row));
  }
  Storage->ReplaceRows(Rows, std::move(replacement));
  NoteOwnWrite();
  RebuildOrder(std::nullopt);
}

QString Table::RowKey(const std::vector<Value>& values) {
  QString key;
  for (const Value& v : values)
    key += (IsNull(v) ? QString("\x1e") : ValueToString(v)) + QChar(0x1f);
  return key;
}

QString Table::RowText(const std::vector<Value>& values) const {
  // The key where the table has one, else the first fields: enough for a person to find it.
  const size_t shown = std::min(values.size(), size_t(KeyFieldCount() > 0 ? KeyFieldCount() : 3));
  QStringList texts;
  for (size_t f = 0; f < shown; ++f)
    texts << ValueToString(values[f]);
  return "(" + texts.join(", ") + ")";
}

bool Table::SyncWithDisk(bool force) {
  if (!force && Storage->DiskSignature() == Signature) return false;
  ListedFile listed = OpenAndList(Storage->Path(), CodePageOverride);
  if (listed.Storage->Fields().size() != Defs.size())
    throw Error::ForTable(Storage->Path(),
                          "структура таблиці на диску змінилася; закрийте й відкрийте її знову");
  std::vector<RowSlot> rows = IdentifyRows(*listed.Storage, listed.Locations);
  Storage = std::move(listed.Storage);
  Rows = std::move(rows);
  ListedStamp = listed.Stamp;
  Signature = listed.Signature;
  RebuildOrder(std::nullopt); // the old order pointed into the old rows
  return true;
}

std::vector<RowSlot> Table::IdentifyRows(const TableFile& storage,
                                         const std::vector<int64_t>& locations) {
  std::vector<RowSlot> rows(locations.size());
  if (storage.NumbersRecords()) {
    // A record keeps its number while it lives, so the number is its identity.
    std::map<int64_t, uint64_t> byRecord;
    for (const RowSlot& row : Rows)
      byRecord.emplace(row.Location, row.Id);
    for (size_t i = 0; i < rows.size(); ++i) {
      const auto same = byRecord.find(locations[i]);
      rows[i] = RowSlot{same == byRecord.end() ? NextId++ : same->second, locations[i]};
    }
    return rows;
  }
  // A row read again with the same key (all its values in a table without a key) keeps its
  // identity, so that bookmarks and the SQL module's cursors still find it.
  std::vector<size_t> fields;
  const size_t identifying = KeyFieldCount() > 0 ? size_t(KeyFieldCount()) : Defs.size();
  for (size_t f = 0; f < identifying; ++f)
    fields.push_back(f);
  std::multimap<QString, uint64_t> identities;
  std::vector<int64_t> oldLocations;
  for (const RowSlot& row : Rows)
    oldLocations.push_back(row.Location);
  try {
    Storage->ReadFields(oldLocations, fields, [&](size_t i, const std::vector<Value>& values) {
      identities.emplace(RowKey(values), Rows[i].Id);
    });
  } catch (const Error&) {
    identities.clear(); // the rows as read are gone: every row is new
  }
  storage.ReadFields(locations, fields, [&](size_t i, const std::vector<Value>& values) {
    const auto same = identities.find(RowKey(values));
    if (same == identities.end()) {
      rows[i] = RowSlot{NextId++, locations[i]};
    } else {
      rows[i] = RowSlot{same->second, locations[i]};
      identities.erase(same);
    }
  });
  return rows;
}

std::optional<size_t> Table::LocateForWrite(uint64_t id, const std::vector<Value>& original) {
  const bool reread = SyncForWrite();
  // The edited row is normally the cursor's own.
  std::optional<size_t> index;
  if (Cursor >= 0 && size_t(Cursor) < Order.size() && Rows[Order[size_t(Cursor)]].Id == id)
    index = Order[size_t(Cursor)];
  for (size_t i = 0; !index && i < Rows.size(); ++i)
    if (Rows[i].Id == id) index = i;
  if (!reread) return index;
  // The file changed under this cursor: the row is written only where it still holds the
  // values it was read with.
  auto same = [&](const std::vector<Value>& values) {
    for (size_t f = 0; f < original.size(); ++f)
      if (!ValuesEqual(values[f], original[f])) return false;
    return true;
  };
  if (index && same(StoredValues(*index))) return index;
  for (size_t i = 0; i < Rows.size(); ++i)
    if (same(StoredValues(i))) return i;
  return std::nullopt;
}

std::unique_ptr<TableLock> Table::LockForWrite() const {
  if (HeldLock || !Storage->UsesLockFiles()) return nullptr;
  return std::make_unique<TableLock>(Storage->Path());
}

void Table::BeginWrites() {
  CheckBrowse("почати запис");
  if (HeldLock) return;
  if (!Storage->UsesLockFiles()) { // the database serialises the writers
    SyncForWrite();
    return;
  }
  HeldLock = std::make_unique<TableLock>(Storage->Path());
  try {
    SyncForWrite();
  } catch (...) {
    HeldLock.reset();
    throw;
  }
}

void Table::EndWrites() {
  HeldLock.reset();
}

void Table::WriteChanges(const std::vector<RowChange>& changes) {
  CheckBrowse("записати зміни");
  if (changes.empty()) return;
  // A table in a database takes no lock: it refuses a row another writer changed since it was
  // read, row by row, in the one transaction of the edits.
  const bool locks = Storage->UsesLockFiles();
  if (locks && !HeldLock)
    throw Error::ForTable(Describe(), "зміни записуються лише під блокуванням таблиці");
  // Nothing of ours wrote since BeginWrites; a change now is a program that ignores the lock.
  if (locks && Storage->DiskSignature() != Signature)
    throw Error::ForTable(Describe(), "таблицю змінила інша програма, поки виконувався запит; "
                                      "нічого не записано");
  std::map<uint64_t, size_t> at;
  for (size_t i = 0; i < Rows.size(); ++i)
    at.emplace(Rows[i].Id, i);
  std::vector<TableFile::RowEdit> edits;
  std::map<uint64_t, size_t> editOf; // a row's edit, where a change came before
  std::vector<size_t> allFields(Defs.size());
  for (size_t f = 0; f < allFields.size(); ++f)
    allFields[f] = f;
  for (const RowChange& change : changes) {
    if (change.What == RowChange::Kind::Insert) {
      TableFile::RowEdit edit{std::nullopt, false, NextId++, allFields,
                              std::vector<Value>(Defs.size())};
      for (const auto& [field, value] : change.Set)
        edit.Values[field] = Coerce(field, value);
      edits.push_back(std::move(edit));
      continue;
    }
    const auto row = at.find(change.Row);
    if (row == at.end())
      throw Error::ForTable(Describe(), "рядка, який змінює запит, у таблиці вже немає; нічого "
                                        "не записано");
    auto [known, fresh] = editOf.emplace(change.Row, edits.size());
    if (fresh)
      edits.push_back(TableFile::RowEdit{row->second, false, 0, {}, StoredValues(row->second)});
    TableFile::RowEdit& edit = edits[known->second];
    if (change.What == RowChange::Kind::Delete) {
      edit.Delete = true;
      continue;
    }
    for (const auto& [field, value] : change.Set) {
      edit.Values[field] = Coerce(field, value);
      if (std::find(edit.Fields.begin(), edit.Fields.end(), field) == edit.Fields.end())
        edit.Fields.push_back(field);
    }
  }
  Storage->WriteEdits(Rows, edits);
  NoteOwnWrite();
  RebuildOrder(std::nullopt);
  AtBof = AtEof = Order.empty();
}

void Table::Refresh() {
  CheckBrowse("оновити");
  SyncWithDisk();
}

} // namespace db
