// The table's writing: edit, insert, post, delete, emptying and rewriting a table, each under
// the table's lock from reading the table as it is to the change on disk.

#include "TableWriter.h"
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
namespace {

// A boolean from a number, or from a word of the users' languages or the tables' own letters;
// any other text is refused rather than stored as false.
Value CoerceBoolean(const QString& table, const FieldDef& def, const Value& value) {
  const auto* text = std::get_if<QString>(&value);
  if (!text) return ValueToBoolean(value);
  const QString word = text->trimmed().toUpper();
  if (word.isEmpty()) return Value();
  static const QStringList yes = {"T", "Y", "TRUE", "YES", "1", "ТАК", "ДА", "Т", "Д"};
  static const QStringList no = {"F", "N", "FALSE", "NO", "0", "НІ", "НЕТ", "Н"};
  if (yes.contains(word)) return true;
  if (no.contains(word)) return false;
  throw Error::ForField(table, def.Name, "\"" + *text + "\" не є логічним значенням");
}

} // namespace

// ---------------------------------------------------------------- editing

TableWriter::TableWriter(Table& table) : T(table), Mode(TableState::Inactive) {}
TableWriter::~TableWriter() = default;

void TableWriter::Reset() {
  HeldLock.reset();
  Buffer.clear();
  InsertAt.reset();
  Mode = TableState::Browse;
}

bool TableWriter::Editing() const {
  return Mode == TableState::Edit || Mode == TableState::Insert;
}

void TableWriter::SetField(size_t field, const Value& value) {
  if (!Editing())
    throw Error::ForField(T.Describe(), T.Defs[field].Name,
                          "таблиця не в режимі редагування чи вставки");
  Buffer[field] = CoerceField(field, value);
}

TableState TableWriter::State() const {
  return T.Active() ? Mode : TableState::Inactive;
}

void TableWriter::Edit() {
  T.CheckActive("редагувати");
  if (Mode == TableState::Edit || Mode == TableState::Insert) return;
  const RowSlot* row = T.CurrentRow();
  if (!row) throw Error::ForTable(T.Describe(), "не вдається редагувати: таблиця порожня");
  Buffer = T.Storage->ReadRow(row->Location);
  EditOriginal = Buffer;
  EditedId = row->Id;
  Mode = TableState::Edit;
}

void TableWriter::Insert() {
  T.CheckActive("вставити");
  if (Mode != TableState::Browse) Post();
  Buffer.assign(T.Defs.size(), Value());
  InsertAt = size_t(T.Cursor);
  Mode = TableState::Insert;
}

void TableWriter::Append() {
  Insert();
  InsertAt = T.Ordering.Positions.size();
}

void TableWriter::Post() {
  T.CheckActive("записати");
  if (Mode == TableState::Browse) return;
  // From reading the table as it is now to the change on disk, no other writer comes between.
  const auto lock = LockForWrite();
  if (Mode == TableState::Edit) {
    const auto index = LocateForWrite(EditedId, EditOriginal);
    if (!index)
      throw Error::ForTable(T.Describe(), "рядок " + RowText(EditOriginal) +
                                              " змінив або видалив інший користувач після того, "
                                              "як його прочитано; зміну не записано");
    EditedId = T.Rows[*index].Id;
    const size_t rowsBefore = T.Rows.size();
    const std::vector<Value> stored = T.StoredValues(*index);
    const bool orderFieldsKept = T.Ordering.FieldsEqual(stored, Buffer);
    T.Storage->UpdateRow(T.Rows, *index, stored, Buffer);
    if (orderFieldsKept && T.Rows.size() == rowsBefore && T.Rows[*index].Id == EditedId) {
      // Updated where it was, with the fields of the order unchanged: the order still holds.
      NoteOwnWrite();
      Mode = TableState::Browse;
      Buffer.clear();
      ++T.Changes;
      return;
    }
  } else {
    SyncForWrite();
    const RowSlot row{T.NextId++, -1};
    EditedId = row.Id;
    T.Storage->InsertRow(T.Rows, row, Buffer);
  }
  NoteOwnWrite();
  Mode = TableState::Browse;
  Buffer.clear();
  InsertAt.reset();
  T.Ordering.Rebuild(EditedId);
  T.AtBof = T.AtEof = T.Ordering.Positions.empty();
}

void TableWriter::NoteOwnWrite() {
  T.Signature = T.Storage->DiskSignature();
  T.Storage->NoteOwnWrite();
  T.ListedStamp.clear(); // what was kept for the file as listed no longer fits it
}

void TableWriter::Cancel() {
  if (!T.Active() || Mode == TableState::Browse) return;
  Mode = TableState::Browse;
  Buffer.clear();
  InsertAt.reset();
}

void TableWriter::Delete() {
  T.CheckActive("видалити");
  if (Mode == TableState::Insert) {
    Cancel();
    return;
  }
  if (Mode == TableState::Edit) Cancel();
  const RowSlot* row = T.CurrentRow();
  if (!row) throw Error::ForTable(T.Describe(), "не вдається видалити: таблиця порожня");
  const std::vector<Value> original = T.Storage->ReadRow(row->Location);
  const auto lock = LockForWrite();
  const auto index = LocateForWrite(row->Id, original);
  if (!index)
    throw Error::ForTable(T.Describe(), "рядок " + RowText(original) +
                                            " змінив або видалив інший користувач після того, як "
                                            "його прочитано; його не видалено");
  T.Storage->DeleteRow(T.Rows, *index);
  NoteOwnWrite();
  T.Ordering.Rebuild(std::nullopt);
  T.AtBof = T.AtEof = T.Ordering.Positions.empty();
}

void TableWriter::EmptyTable() {
  T.CheckActive("очистити таблицю");
  Cancel();
  const auto lock = LockForWrite();
  T.Storage->EmptyTable(T.Rows);
  NoteOwnWrite();
  T.Ordering.Rebuild(std::nullopt);
}

void TableWriter::ReplaceAllRows(const std::vector<std::vector<Value>>& rows) {
  T.CheckActive("замінити рядки");
  Cancel();
  const auto lock = LockForWrite();
  ReplaceRowsLocked(rows);
}

void TableWriter::UpdateFields(const std::vector<int>& positions, const std::vector<size_t>& fields,
                               const std::vector<std::vector<Value>>& values) {
  T.CheckBrowse("записати рядки");
  if (positions.size() != values.size())
    throw Error::ForTable(
        T.Describe(),
        QString("%1 рядків і %2 наборів значень").arg(positions.size()).arg(values.size()));
  std::vector<size_t> indexes;
  std::vector<uint64_t> ids;
  std::vector<std::vector<Value>> coerced;
  indexes.reserve(positions.size());
  coerced.reserve(values.size());
  for (size_t i = 0; i < positions.size(); ++i) {
    if (positions[i] < 0 || positions[i] >= int(T.Ordering.Positions.size()) ||
        values[i].size() != fields.size())
      throw Error::ForTable(T.Describe(), QString("рядка %1 немає").arg(positions[i] + 1));
    indexes.push_back(T.Ordering.Positions[size_t(positions[i])]);
    ids.push_back(T.Rows[indexes.back()].Id);
    std::vector<Value> row;
    for (size_t k = 0; k < fields.size(); ++k) {
      if (fields[k] >= T.Defs.size())
        throw Error::ForTable(T.Describe(), QString("поля номер %1 немає").arg(fields[k] + 1));
      row.push_back(CoerceField(fields[k], values[i][k]));
    }
    coerced.push_back(std::move(row));
  }
  const auto lock = LockForWrite();
  if (SyncForWrite()) {
    // Read again: the rows are found by the identities they keep.
    std::map<uint64_t, size_t> at;
    for (size_t i = 0; i < T.Rows.size(); ++i)
      at.emplace(T.Rows[i].Id, i);
    for (size_t i = 0; i < ids.size(); ++i) {
      const auto found = at.find(ids[i]);
      if (found == at.end())
        throw Error::ForTable(T.Describe(), QString("рядок %1 видалив інший користувач після того, "
                                                    "як його прочитано; нічого не записано")
                                                .arg(positions[i] + 1));
      indexes[i] = found->second;
    }
  }
  T.Storage->UpdateFields(T.Rows, indexes, fields, coerced);
  NoteOwnWrite();
  const bool reordered =
      std::any_of(fields.begin(), fields.end(), [&](size_t f) { return T.Ordering.Involves(f); });
  if (reordered)
    T.Ordering.Rebuild(T.CurrentRow() ? std::optional(T.CurrentRow()->Id) : std::nullopt);
  else
    ++T.Changes;
}

void TableWriter::RewriteRows(const RowsChange& change) {
  T.CheckActive("замінити рядки");
  Cancel();
  const auto lock = LockForWrite();
  SyncForWrite();
  std::vector<std::vector<Value>> current(T.Rows.size());
  std::vector<int64_t> locations;
  locations.reserve(T.Rows.size());
  for (const RowSlot& row : T.Rows)
    locations.push_back(row.Location);
  std::vector<size_t> fields(T.Defs.size());
  for (size_t f = 0; f < fields.size(); ++f)
    fields[f] = f;
  T.Storage->ReadFields(locations, fields,
                        [&](size_t i, const std::vector<Value>& values) { current[i] = values; });
  ReplaceRowsLocked(change(current));
}

void TableWriter::ReplaceRowsLocked(const std::vector<std::vector<Value>>& rows) {
  std::vector<StoredRow> replacement;
  replacement.reserve(rows.size());
  for (const std::vector<Value>& values : rows) {
    if (values.size() != T.Defs.size())
      throw Error::ForTable(
          T.Describe(),
          QString("новий рядок має %1 значень для %2 полів").arg(values.size()).arg(T.Defs.size()));
    StoredRow row;
    row.Id = T.NextId++;
    for (size_t f = 0; f < values.size(); ++f)
      row.Values.push_back(CoerceField(f, values[f]));
    replacement.push_back(std::move(row));
  }
  T.Storage->ReplaceRows(T.Rows, std::move(replacement));
  NoteOwnWrite();
  T.Ordering.Rebuild(std::nullopt);
}

QString TableWriter::RowText(const std::vector<Value>& values) const {
  // The key where the table has one, else the first fields: enough for a person to find it.
  const size_t shown =
      std::min(values.size(), size_t(T.KeyFieldCount() > 0 ? T.KeyFieldCount() : 3));
  QStringList texts;
  for (size_t f = 0; f < shown; ++f)
    texts << ValueToString(values[f]);
  return "(" + texts.join(", ") + ")";
}

bool TableWriter::SyncForWrite() {
  return T.SyncWithDisk(!T.Storage->ChangesShowInSignature());
}

std::optional<size_t> TableWriter::LocateForWrite(uint64_t id, const std::vector<Value>& original) {
  const bool reread = SyncForWrite();
  // The edited row is normally the cursor's own.
  std::optional<size_t> index;
  if (T.Cursor >= 0 && size_t(T.Cursor) < T.Ordering.Positions.size() &&
      T.Rows[T.Ordering.Positions[size_t(T.Cursor)]].Id == id)
    index = T.Ordering.Positions[size_t(T.Cursor)];
  for (size_t i = 0; !index && i < T.Rows.size(); ++i)
    if (T.Rows[i].Id == id) index = i;
  if (!reread) return index;
  // The file changed under this cursor: the row is written only where it still holds the
  // values it was read with.
  auto same = [&](const std::vector<Value>& values) {
    for (size_t f = 0; f < original.size(); ++f)
      if (!ValuesEqual(values[f], original[f])) return false;
    return true;
  };
  if (index && same(T.StoredValues(*index))) return index;
  for (size_t i = 0; i < T.Rows.size(); ++i)
    if (same(T.StoredValues(i))) return i;
  return std::nullopt;
}

std::unique_ptr<TableLock> TableWriter::LockForWrite() const {
  if (HeldLock || !T.Storage->UsesLockFiles()) return nullptr;
  return std::make_unique<TableLock>(T.Storage->Path());
}

void TableWriter::BeginWrites() {
  T.CheckBrowse("почати запис");
  if (HeldLock) return;
  if (!T.Storage->UsesLockFiles()) { // the database serialises the writers
    SyncForWrite();
    return;
  }
  HeldLock = std::make_unique<TableLock>(T.Storage->Path());
  try {
    SyncForWrite();
  } catch (...) {
    HeldLock.reset();
    throw;
  }
}

void TableWriter::EndWrites() {
  HeldLock.reset();
}

void TableWriter::WriteChanges(const std::vector<RowChange>& changes) {
  T.CheckBrowse("записати зміни");
  if (changes.empty()) return;
  // A table in a database takes no lock: it refuses a row another writer changed since it was
  // read, row by row, in the one transaction of the edits.
  const bool locks = T.Storage->UsesLockFiles();
  if (locks && !HeldLock)
    throw Error::ForTable(T.Describe(), "зміни записуються лише під блокуванням таблиці");
  // Nothing of ours wrote since BeginWrites; a change now is a program that ignores the lock.
  if (locks && T.Storage->DiskSignature() != T.Signature)
    throw Error::ForTable(T.Describe(), "таблицю змінила інша програма, поки виконувався запит; "
                                        "нічого не записано");
  std::map<uint64_t, size_t> at;
  for (size_t i = 0; i < T.Rows.size(); ++i)
    at.emplace(T.Rows[i].Id, i);
  std::vector<TableFile::RowEdit> edits;
  std::map<uint64_t, size_t> editOf; // a row's edit, where a change came before
  std::vector<size_t> allFields(T.Defs.size());
  for (size_t f = 0; f < allFields.size(); ++f)
    allFields[f] = f;
  for (const RowChange& change : changes) {
    if (change.What == RowChange::Kind::Insert) {
      TableFile::RowEdit edit{std::nullopt, false, T.NextId++, allFields,
                              std::vector<Value>(T.Defs.size())};
      for (const auto& [field, value] : change.Set)
        edit.Values[field] = CoerceField(field, value);
      edits.push_back(std::move(edit));
      continue;
    }
    const auto row = at.find(change.Row);
    if (row == at.end())
      throw Error::ForTable(T.Describe(), "рядка, який змінює запит, у таблиці вже немає; нічого "
                                          "не записано");
    auto [known, fresh] = editOf.emplace(change.Row, edits.size());
    if (fresh)
      edits.push_back(TableFile::RowEdit{row->second, false, 0, {}, T.StoredValues(row->second)});
    TableFile::RowEdit& edit = edits[known->second];
    if (change.What == RowChange::Kind::Delete) {
      edit.Delete = true;
      continue;
    }
    for (const auto& [field, value] : change.Set) {
      edit.Values[field] = CoerceField(field, value);
      if (std::find(edit.Fields.begin(), edit.Fields.end(), field) == edit.Fields.end())
        edit.Fields.push_back(field);
    }
  }
  T.Storage->WriteEdits(T.Rows, edits);
  NoteOwnWrite();
  T.Ordering.Rebuild(std::nullopt);
  T.AtBof = T.AtEof = T.Ordering.Positions.empty();
}

Value TableWriter::CoerceField(size_t field, const Value& value) const {
  if (IsNull(value)) return value;
  const FieldDef& def = T.Defs[field];
  switch (def.Type) {
  case FieldType::SmallInt:
  case FieldType::Integer:
  case FieldType::AutoInc: {
    if (auto s = std::get_if<QString>(&value)) {
      if (s->trimmed().isEmpty()) return Value();
      bool ok = false;
      const qlonglong v = s->trimmed().toLongLong(&ok);
      if (!ok) throw Error::ForField(T.Describe(), def.Name, "\"" + *s + "\" не є цілим числом");
      return int64_t(v);
    }
    if (auto d = std::get_if<double>(&value); d && !(std::fabs(*d) < 9.2e18))
      throw Error::ForField(T.Describe(), def.Name,
                            "число " + ValueToString(value) + " не вміщується в ціле поле");
    return ValueToInteger(value);
  }
  case FieldType::Float:
  case FieldType::Currency:
  case FieldType::BCD: {
    if (auto s = std::get_if<QString>(&value)) {
      if (s->trimmed().isEmpty()) return Value();
      bool ok = false;
      const double v = s->trimmed().toDouble(&ok);
      if (!ok || !std::isfinite(v))
        throw Error::ForField(T.Describe(), def.Name, "\"" + *s + "\" не є числом");
      return v;
    }
    const double v = ValueToFloat(value);
    if (!std::isfinite(v))
      throw Error::ForField(T.Describe(), def.Name,
                            "значення " + ValueToString(value) + " не є скінченним числом");
    return v;
  }
  case FieldType::Boolean:
    return CoerceBoolean(T.Describe(), def, value);
  case FieldType::String:
  case FieldType::Memo: {
    const QString s = ValueToString(value);
    if (s.isEmpty()) return Value();
    if (const QString missing = base::Unencodable(s, T.Storage->TextCodePage()); !missing.isEmpty())
      throw Error::ForField(T.Describe(), def.Name,
                            "\"" + s + "\" містить символи, яких немає в кодовій сторінці " +
                                base::CodePageName(T.Storage->TextCodePage()) +
                                " таблиці: " + missing);
    // A text wider than its field is refused, not cut: what was typed would be lost unseen.
    if (def.Type == FieldType::String && def.Size > 0 &&
        base::Encode(s, T.Storage->TextCodePage()).size() > def.Size)
      throw Error::ForField(
          T.Describe(), def.Name,
          QString("\"%1\" довший за поле в %2 символів; запис не змінено").arg(s).arg(def.Size));
    return Value(s);
  }
  case FieldType::Date:
    if (std::holds_alternative<QDate>(value)) return value;
    if (auto dt = std::get_if<QDateTime>(&value)) return dt->date();
    return QDate::fromString(ValueToString(value), Qt::ISODate);
  case FieldType::Time:
    if (std::holds_alternative<QTime>(value)) return value;
    return QTime::fromString(ValueToString(value), Qt::ISODateWithMs);
  case FieldType::DateTime:
    if (std::holds_alternative<QDateTime>(value)) return value;
    return QDateTime::fromString(ValueToString(value), Qt::ISODateWithMs);
  default: {
    const QByteArray b = ValueToBytes(value);
    return b.isEmpty() ? Value() : Value(b);
  }
  }
}

} // namespace db
