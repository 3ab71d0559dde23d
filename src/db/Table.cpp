#include "Table.h"
#include "TableLock.h"

#include "DbaseFile.h"
#include "Error.h"
#include "ParadoxFile.h"

#include "base/PathResolver.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <sys/stat.h>

namespace db {
namespace {

// Tables open in this process, by file, so that exclusive use can be enforced.
struct Users {
  int Shared = 0;
  bool Exclusive = false;
};
std::map<QString, Users>& OpenTables() {
  static std::map<QString, Users> tables;
  return tables;
}
// Held while a table is opened or closed: the layers of a picture drawn in bands open their
// look-up tables from several threads.
std::recursive_mutex& OpenTablesLock() {
  static std::recursive_mutex lock;
  return lock;
}

QString CanonicalKey(const QString& path) {
  const QString canonical = QFileInfo(path).canonicalFilePath();
  return canonical.isEmpty() ? path : canonical;
}

} // namespace

// ---------------------------------------------------------------- Field

const QString& Field::FieldName() const {
  return Owner->Defs[Index].Name;
}
FieldType Field::DataType() const {
  return Owner->Defs[Index].Type;
}
int Field::Size() const {
  return Owner->Defs[Index].Size;
}
bool Field::IsNull() const {
  return db::IsNull(Owner->CurrentValue(Index));
}
Value Field::AsValue() const {
  return Owner->CurrentValue(Index);
}
int64_t Field::AsInteger() const {
  return ValueToInteger(Owner->CurrentValue(Index));
}
double Field::AsFloat() const {
  return ValueToFloat(Owner->CurrentValue(Index));
}
QString Field::AsString() const {
  return ValueToString(Owner->CurrentValue(Index));
}
bool Field::AsBoolean() const {
  return ValueToBoolean(Owner->CurrentValue(Index));
}
QByteArray Field::AsBlob() const {
  return ValueToBytes(Owner->CurrentValue(Index));
}
QDate Field::AsDate() const {
  const Value& v = Owner->CurrentValue(Index);
  if (auto d = std::get_if<QDate>(&v)) return *d;
  if (auto dt = std::get_if<QDateTime>(&v)) return dt->date();
  return QDate();
}
void Field::SetValue(const Value& value) {
  Owner->Writer.SetField(Index, value);
}

// ---------------------------------------------------------------- opening

Table::Table() = default;

Table::Table(const QString& databaseName, const QString& tableName)
    : Database(databaseName), Name(tableName) {}

Table::~Table() {
  try {
    Close();
  } catch (...) {
    // A table being destroyed has nothing left to report to.
  }
}

void Table::SetDatabaseName(const QString& dir) {
  if (Active()) throw Error::ForTable(Describe(), "не можна змінити каталог відкритої таблиці");
  Database = dir;
}

void Table::SetTableName(const QString& name) {
  if (Active()) throw Error::ForTable(Describe(), "не можна змінити назву відкритої таблиці");
  Name = name;
}

void Table::SetExclusive(bool exclusive) {
  if (Active())
    throw Error::ForTable(Describe(), "не можна змінити монопольний доступ до відкритої таблиці");
  IsExclusive = exclusive;
}

QString Table::Describe() const {
  if (Storage) return Storage->Path();
  return base::NormalizeSeparators(Database) + "/" + Name;
}

void Table::Open() {
  if (Active()) return;
  if (Name.isEmpty()) throw Error::ForTable(Describe(), "не задано назви таблиці");
  const QString path = ResolveTableFile(Database, Name);
  const QString key = CanonicalKey(path);
  std::lock_guard registry(OpenTablesLock());
  Users& users = OpenTables()[key];
  if (users.Exclusive || (IsExclusive && users.Shared > 0)) {
    if (users.Shared == 0 && !users.Exclusive) OpenTables().erase(key);
    throw Error::ForTable(
        path, "таблиця використовується деінде і не може бути відкрита " +
                  QString(IsExclusive ? "монопольно" : "поки її монопольно тримає інший"));
  }
  try {
    ListedTableFile listed = ListTableFile(path, CodePageOverride);
    Defs = listed.Storage->Fields();
    Storage = std::move(listed.Storage);
    Signature = listed.Signature;
    ListedStamp = listed.Stamp;
    Rows.clear();
    Rows.reserve(listed.Locations.size());
    for (int64_t location : listed.Locations)
      Rows.push_back(RowSlot{NextId++, location});
  } catch (...) {
    Storage.reset();
    if (users.Shared == 0 && !users.Exclusive) OpenTables().erase(key);
    throw;
  }
  if (IsExclusive)
    users.Exclusive = true;
  else
    ++users.Shared;
  FieldObjects.clear();
  for (size_t i = 0; i < Defs.size(); ++i)
    FieldObjects.emplace_back(*this, i);
  Writer.Reset();
  Ordering.Reset();
  Ordering.Rebuild(std::nullopt);
  First();
}

void Table::Close() {
  if (!Active()) return;
  Writer.Reset();
  const QString key = CanonicalKey(Storage->Path());
  std::lock_guard registry(OpenTablesLock());
  auto it = OpenTables().find(key);
  if (it != OpenTables().end()) {
    if (IsExclusive)
      it->second.Exclusive = false;
    else if (it->second.Shared > 0)
      --it->second.Shared;
    if (!it->second.Exclusive && it->second.Shared == 0) OpenTables().erase(it);
  }
  Storage.reset();
  Rows.clear();
  ListedStamp.clear();
  Ordering.Clear();
  CurrentValues.Values.clear();
  ++Changes;
  FieldObjects.clear();
  AtBof = AtEof = true;
}

QString Table::FilePath() const {
  return Storage ? Storage->Path() : QString();
}
QString Table::Kind() const {
  return Storage ? Storage->Kind() : QString();
}

void Table::CheckActive(const char* operation) const {
  if (!Active())
    throw Error::ForTable(Describe(),
                          QString("не вдається %1: таблицю не відкрито").arg(operation));
}

void Table::CheckBrowse(const char* operation) const {
  CheckActive(operation);
  if (Writer.State() != TableState::Browse)
    throw Error::ForTable(Describe(),
                          QString("не вдається %1, поки рядок редагується").arg(operation));
}

// ---------------------------------------------------------------- structure

const std::vector<FieldDef>& Table::FieldDefs() const {
  CheckActive("перелічити поля");
  return Defs;
}

int Table::KeyFieldCount() const {
  return Storage ? Storage->KeyFieldCount() : 0;
}

std::optional<size_t> Table::FindFieldIndex(const QString& name) const {
  for (size_t i = 0; i < Defs.size(); ++i)
    if (Defs[i].Name.compare(name.trimmed(), Qt::CaseInsensitive) == 0) return i;
  return std::nullopt;
}

size_t Table::FieldIndex(const QString& name) const {
  CheckActive("знайти поле");
  if (auto i = FindFieldIndex(name)) return *i;
  throw Error::ForField(Describe(), name, "поля не знайдено");
}

Field& Table::FieldByName(const QString& name) {
  return FieldObjects[FieldIndex(name)];
}

Field* Table::FindField(const QString& name) {
  if (!Active()) return nullptr;
  if (auto i = FindFieldIndex(name)) return &FieldObjects[*i];
  return nullptr;
}

// ---------------------------------------------------------------- current row

const RowSlot* Table::CurrentRow() const {
  if (Ordering.Positions.empty() || Cursor < 0 || Cursor >= int(Ordering.Positions.size()))
    return nullptr;
  return &Rows[Ordering.Positions[size_t(Cursor)]];
}

const Value& Table::CurrentValue(size_t field) const {
  static const Value empty;
  if (Writer.Editing()) return Writer.EditedValue(field);
  const RowSlot* row = CurrentRow();
  if (!row) return empty;
  if (CurrentValues.Id != row->Id || CurrentValues.Changes != Changes) {
    CurrentValues.Values = Storage->ReadRow(row->Location);
    CurrentValues.Id = row->Id;
    CurrentValues.Changes = Changes;
  }
  return CurrentValues.Values[field];
}

// ---------------------------------------------------------------- navigation

void Table::MoveTo(int position) {
  Cursor = std::clamp(position, 0, std::max(0, int(Ordering.Positions.size()) - 1));
}

void Table::First() {
  CheckBrowse("перейти до першого рядка");
  MoveTo(0);
  AtBof = true;
  AtEof = Ordering.Positions.empty();
}

void Table::Last() {
  CheckBrowse("перейти до останнього рядка");
  MoveTo(int(Ordering.Positions.size()) - 1);
  AtEof = true;
  AtBof = Ordering.Positions.empty();
}

void Table::Next() {
  CheckBrowse("перейти до наступного рядка");
  if (Cursor + 1 < int(Ordering.Positions.size())) {
    ++Cursor;
    AtBof = AtEof = false;
  } else {
    AtEof = true;
  }
}

void Table::Prior() {
  CheckBrowse("перейти до попереднього рядка");
  if (Cursor > 0 && !Ordering.Positions.empty()) {
    --Cursor;
    AtBof = AtEof = false;
  } else {
    AtBof = true;
  }
}

int Table::MoveBy(int distance) {
  int moved = 0;
  while (distance > 0 && !AtEof) {
    const int before = Cursor;
    Next();
    if (Cursor != before) ++moved;
    --distance;
  }
  while (distance < 0 && !AtBof) {
    const int before = Cursor;
    Prior();
    if (Cursor != before) --moved;
    ++distance;
  }
  return moved;
}

int Table::PositionOfRecord(int Record) const {
  if (!Active() || Record < 0) return -1;
  if (!Storage->NumbersRecords()) return Record < RecordCount() ? Record : -1;
  return Ordering.PositionOfRecord(Record);
}

int Table::RecordOfPosition(int Position) const {
  if (!Active() || Position < 0 || Position >= int(Ordering.Positions.size())) return -1;
  return Storage->NumbersRecords() ? int(Rows[Ordering.Positions[size_t(Position)]].Location)
                                   : Position;
}

int Table::RecNo() const {
  if (!Active() || Ordering.Positions.empty()) return 0;
  if (Writer.State() == TableState::Insert) return 0;
  return Cursor + 1;
}

void Table::SetRecNo(int recNo) {
  CheckBrowse("перейти до рядка");
  if (recNo < 1 || recNo > int(Ordering.Positions.size()))
    throw Error::ForTable(
        Describe(),
        QString("рядка %1 немає (у таблиці їх %2)").arg(recNo).arg(Ordering.Positions.size()));
  Cursor = recNo - 1;
  AtBof = AtEof = false;
}

Value Table::ValueAt(int position, size_t field) const {
  CheckActive("прочитати рядок");
  if (position < 0 || position >= int(Ordering.Positions.size()) || field >= Defs.size())
    return Value();
  if (position == Cursor && Writer.State() == TableState::Edit) return Writer.EditedValue(field);
  return StoredValue(Ordering.Positions[size_t(position)], field);
}

void Table::ReadColumns(const std::vector<size_t>& fields,
                        const TableFile::FieldsTaker& take) const {
  CheckActive("прочитати рядки");
  for (size_t f : fields)
    if (f >= Defs.size())
      throw Error::ForTable(Describe(), QString("поля номер %1 немає").arg(f + 1));
  std::vector<int64_t> locations;
  locations.reserve(Ordering.Positions.size());
  for (size_t row : Ordering.Positions)
    locations.push_back(Rows[row].Location);
  Storage->ReadFields(locations, fields, take);
}

QByteArray Table::RowsStamp() const {
  if (!Active() || !Ordering.PrimaryWhole()) return {};
  return ListedStamp;
}

// ---------------------------------------------------------------- bookmarks

Table::Bookmark Table::GetBookmark() const {
  const RowSlot* row = CurrentRow();
  return row ? row->Id : 0;
}

bool Table::BookmarkValid(Bookmark b) const {
  if (b == 0) return false;
  for (size_t i : Ordering.Positions)
    if (Rows[i].Id == b) return true;
  return false;
}

void Table::GotoBookmark(Bookmark b) {
  CheckBrowse("перейти до закладки");
  for (size_t i = 0; i < Ordering.Positions.size(); ++i)
    if (Rows[Ordering.Positions[i]].Id == b) {
      Cursor = int(i);
      AtBof = AtEof = false;
      return;
    }
  throw Error::ForTable(Describe(), "рядка закладки вже немає");
}

} // namespace db
