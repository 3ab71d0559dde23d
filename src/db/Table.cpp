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
  Owner->SetBufferValue(Index, value);
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

QString Table::ResolveTableFile(const QString& dir, const QString& name) {
  if (RemoteKindOf(dir)) return dir + "/" + name; // the kind says at opening whether it is there
  const QString directory = base::NormalizeSeparators(dir);
  if (!QFileInfo(directory).isDir())
    throw Error::ForTable(directory + "/" + name, "каталогу " + directory + " не існує");
  const QString suffix = QFileInfo(name).suffix().toUpper();
  if (suffix == "DB" || suffix == "DBF") {
    if (auto found = base::FindPathIgnoreCase(directory, name)) return *found;
    throw Error::ForTable(directory + "/" + name, "таблиці не існує");
  }
  for (const char* ext : {".DB", ".DBF"})
    if (auto found = base::FindPathIgnoreCase(directory, name + ext)) return *found;
  throw Error::ForTable(directory + "/" + name, "таблиці не існує (шукали .DB і .DBF)");
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
    ListedFile listed = OpenAndList(path, CodePageOverride);
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
  Mode = TableState::Browse;
  IndexFields.clear();
  for (int i = 0; i < KeyFieldCount(); ++i)
    IndexFields.push_back(size_t(i));
  CurrentIndexName.clear();
  UsingFieldNames = false;
  RangeLow.reset();
  RangeHigh.reset();
  RebuildOrder(std::nullopt);
  First();
}

std::unique_ptr<TableFile> Table::OpenFile(const QString& path, std::optional<base::CodePage> cp) {
  if (const RemoteTableKind* remote = RemoteKindOf(path)) {
    // A table in a database: the name follows the location's last slash.
    const qsizetype slash = path.lastIndexOf('/');
    return remote->Open(path.left(slash), path.mid(slash + 1));
  }
  if (QFileInfo(path).suffix().compare("DBF", Qt::CaseInsensitive) == 0)
    return DbaseFile::Open(path);
  return ParadoxFile::Open(path, cp);
}

Table::ListedFile Table::OpenAndList(const QString& path, std::optional<base::CodePage> cp) {
  if (RemoteKindOf(path)) {
    ListedFile listed;
    listed.Storage = OpenFile(path, cp);
    listed.Signature = listed.Storage->DiskSignature();
    listed.Locations = listed.Storage->ListRows(listed.Stamp);
    return listed;
  }
  for (int attempt = 0;; ++attempt) {
    ListedFile listed;
    // The signature first: a change made while the rows are listed shows at the next look.
    listed.Signature = FileSignature(path);
    struct stat before = {};
    ::stat(QFile::encodeName(path).constData(), &before);
    listed.Storage = OpenFile(path, cp);
    listed.Locations = listed.Storage->ListRows(listed.Stamp);
    // The header was read and the rows listed from the file the rows will be read from, unless
    // another program renamed a new file over it meanwhile: then all again.
    if (listed.Storage->ReadIdentity() ==
        std::pair<uint64_t, uint64_t>(uint64_t(before.st_dev), uint64_t(before.st_ino)))
      return listed;
    if (attempt == 3)
      throw Error::ForTable(path, "файл замінюють частіше, ніж його вдається прочитати");
  }
}

Value Table::StoredValue(size_t row, size_t field) const {
  return Storage->ReadValue(Rows[row].Location, field);
}

std::vector<Value> Table::StoredValues(size_t row) const {
  return Storage->ReadRow(Rows[row].Location);
}

void Table::Close() {
  if (!Active()) return;
  HeldLock.reset();
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
  Order.clear();
  OrderKeys.clear();
  CurrentValues.clear();
  ++Changes;
  FieldObjects.clear();
  Buffer.clear();
  Mode = TableState::Inactive;
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
  if (Mode != TableState::Browse)
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
  if (Order.empty() || Cursor < 0 || Cursor >= int(Order.size())) return nullptr;
  return &Rows[Order[size_t(Cursor)]];
}

const Value& Table::CurrentValue(size_t field) const {
  static const Value empty;
  if (Mode == TableState::Edit || Mode == TableState::Insert) return Buffer[field];
  const RowSlot* row = CurrentRow();
  if (!row) return empty;
  if (CurrentValuesId != row->Id || CurrentValuesChanges != Changes) {
    CurrentValues = Storage->ReadRow(row->Location);
    CurrentValuesId = row->Id;
    CurrentValuesChanges = Changes;
  }
  return CurrentValues[field];
}

// A boolean from a number, or from a word of the users' languages or the tables' own letters;
// any other text is refused rather than stored as false.
Value Table::CoerceBoolean(const FieldDef& def, const Value& value) const {
  const auto* text = std::get_if<QString>(&value);
  if (!text) return ValueToBoolean(value);
  const QString word = text->trimmed().toUpper();
  if (word.isEmpty()) return Value();
  static const QStringList yes = {"T", "Y", "TRUE", "YES", "1", "ТАК", "ДА", "Т", "Д"};
  static const QStringList no = {"F", "N", "FALSE", "NO", "0", "НІ", "НЕТ", "Н"};
  if (yes.contains(word)) return true;
  if (no.contains(word)) return false;
  throw Error::ForField(Describe(), def.Name, "\"" + *text + "\" не є логічним значенням");
}

Value Table::Coerce(size_t field, const Value& value) const {
  if (IsNull(value)) return value;
  const FieldDef& def = Defs[field];
  switch (def.Type) {
  case FieldType::SmallInt:
  case FieldType::Integer:
  case FieldType::AutoInc: {
    if (auto s = std::get_if<QString>(&value)) {
      if (s->trimmed().isEmpty()) return Value();
      bool ok = false;
      const qlonglong v = s->trimmed().toLongLong(&ok);
      if (!ok) throw Error::ForField(Describe(), def.Name, "\"" + *s + "\" не є цілим числом");
      return int64_t(v);
    }
    if (auto d = std::get_if<double>(&value); d && !(std::fabs(*d) < 9.2e18))
      throw Error::ForField(Describe(), def.Name,
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
        throw Error::ForField(Describe(), def.Name, "\"" + *s + "\" не є числом");
      return v;
    }
    const double v = ValueToFloat(value);
    if (!std::isfinite(v))
      throw Error::ForField(Describe(), def.Name,
                            "значення " + ValueToString(value) + " не є скінченним числом");
    return v;
  }
  case FieldType::Boolean:
    return CoerceBoolean(def, value);
  case FieldType::String:
  case FieldType::Memo: {
    const QString s = ValueToString(value);
    if (s.isEmpty()) return Value();
    if (const QString missing = base::Unencodable(s, Storage->TextCodePage()); !missing.isEmpty())
      throw Error::ForField(Describe(), def.Name,
                            "\"" + s + "\" містить символи, яких немає в кодовій сторінці " +
                                base::CodePageName(Storage->TextCodePage()) +
                                " таблиці: " + missing);
    // A text wider than its field is refused, not cut: what was typed would be lost unseen.
    if (def.Type == FieldType::String && def.Size > 0 &&
        base::Encode(s, Storage->TextCodePage()).size() > def.Size)
      throw Error::ForField(
          Describe(), def.Name,
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

void Table::SetBufferValue(size_t field, const Value& value) {
  if (Mode != TableState::Edit && Mode != TableState::Insert)
    throw Error::ForField(Describe(), Defs[field].Name,
                          "таблиця не в режимі редагування чи вставки");
  Buffer[field] = Coerce(field, value);
}

// ---------------------------------------------------------------- navigation

void Table::MoveTo(int position) {
  Cursor = std::clamp(position, 0, std::max(0, int(Order.size()) - 1));
}

void Table::First() {
  CheckBrowse("перейти до першого рядка");
  MoveTo(0);
  AtBof = true;
  AtEof = Order.empty();
}

void Table::Last() {
  CheckBrowse("перейти до останнього рядка");
  MoveTo(int(Order.size()) - 1);
  AtEof = true;
  AtBof = Order.empty();
}

void Table::Next() {
  CheckBrowse("перейти до наступного рядка");
  if (Cursor + 1 < int(Order.size())) {
    ++Cursor;
    AtBof = AtEof = false;
  } else {
    AtEof = true;
  }
}

void Table::Prior() {
  CheckBrowse("перейти до попереднього рядка");
  if (Cursor > 0 && !Order.empty()) {
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
  if (!Storage->NumbersRecords()) return Record < int(Order.size()) ? Record : -1;
  const std::lock_guard<std::mutex> guard(RecordPositionsLock);
  if (RecordPositionsChanges != Changes) {
    int64_t last = -1;
    for (const RowSlot& row : Rows)
      last = std::max(last, row.Location);
    RecordPositions.assign(size_t(last + 1), -1);
    for (size_t position = 0; position < Order.size(); ++position)
      if (const int64_t at = Rows[Order[position]].Location; at >= 0)
        RecordPositions[size_t(at)] = int(position);
    RecordPositionsChanges = Changes;
  }
  return Record < int(RecordPositions.size()) ? RecordPositions[size_t(Record)] : -1;
}

int Table::RecordOfPosition(int Position) const {
  if (!Active() || Position < 0 || Position >= int(Order.size())) return -1;
  return Storage->NumbersRecords() ? int(Rows[Order[size_t(Position)]].Location) : Position;
}

int Table::RecNo() const {
  if (!Active() || Order.empty()) return 0;
  if (Mode == TableState::Insert) return 0;
  return Cursor + 1;
}

void Table::SetRecNo(int recNo) {
  CheckBrowse("перейти до рядка");
  if (recNo < 1 || recNo > int(Order.size()))
    throw Error::ForTable(Describe(),
                          QString("рядка %1 немає (у таблиці їх %2)").arg(recNo).arg(Order.size()));
  Cursor = recNo - 1;
  AtBof = AtEof = false;
}

Value Table::ValueAt(int position, size_t field) const {
  CheckActive("прочитати рядок");
  if (position < 0 || position >= int(Order.size()) || field >= Defs.size()) return Value();
  if (position == Cursor && Mode == TableState::Edit) return Buffer[field];
  return StoredValue(Order[size_t(position)], field);
}

void Table::ReadColumns(const std::vector<size_t>& fields,
                        const TableFile::FieldsTaker& take) const {
  CheckActive("прочитати рядки");
  for (size_t f : fields)
    if (f >= Defs.size())
      throw Error::ForTable(Describe(), QString("поля номер %1 немає").arg(f + 1));
  std::vector<int64_t> locations;
  locations.reserve(Order.size());
  for (size_t row : Order)
    locations.push_back(Rows[row].Location);
  Storage->ReadFields(locations, fields, take);
}

// ---------------------------------------------------------------- bookmarks

Table::Bookmark Table::GetBookmark() const {
  const RowSlot* row = CurrentRow();
  return row ? row->Id : 0;
}

bool Table::BookmarkValid(Bookmark b) const {
  if (b == 0) return false;
  for (size_t i : Order)
    if (Rows[i].Id == b) return true;
  return false;
}

void Table::GotoBookmark(Bookmark b) {
  CheckBrowse("перейти до закладки");
  for (size_t i = 0; i < Order.size(); ++i)
    if (Rows[Order[i]].Id == b) {
      Cursor = int(i);
      AtBof = AtEof = false;
      return;
    }
  throw Error::ForTable(Describe(), "рядка закладки вже немає");
}

} // namespace db
