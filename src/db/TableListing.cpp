// The table's rows as listed from its file: the file a name resolves to, opened and listed from
// one file even while another program renames a new one over it, the rows' values read when
// asked for, and the rows listed again after another writer's change, each keeping its identity.

#include "Table.h"

#include "DbaseFile.h"
#include "Error.h"
#include "ParadoxFile.h"

#include "base/PathResolver.h"

#include <QFile>
#include <QFileInfo>
#include <map>
#include <sys/stat.h>

namespace db {
namespace {

// All of a row's values as one text, to know the row again after a re-read.
QString RowKey(const std::vector<Value>& values) {
  QString key;
  for (const Value& v : values)
    key += (IsNull(v) ? QString("\x1e") : ValueToString(v)) + QChar(0x1f);
  return key;
}

} // namespace

QString ResolveTableFile(const QString& dir, const QString& name) {
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

std::unique_ptr<TableFile> OpenTableFile(const QString& path, std::optional<base::CodePage> cp) {
  if (const RemoteTableKind* remote = RemoteKindOf(path)) {
    // A table in a database: the name follows the location's last slash.
    const qsizetype slash = path.lastIndexOf('/');
    return remote->Open(path.left(slash), path.mid(slash + 1));
  }
  if (QFileInfo(path).suffix().compare("DBF", Qt::CaseInsensitive) == 0)
    return DbaseFile::Open(path);
  return ParadoxFile::Open(path, cp);
}

ListedTableFile ListTableFile(const QString& path, std::optional<base::CodePage> cp) {
  if (RemoteKindOf(path)) {
    ListedTableFile listed;
    listed.Storage = OpenTableFile(path, cp);
    listed.Signature = listed.Storage->DiskSignature();
    listed.Locations = listed.Storage->ListRows(listed.Stamp);
    return listed;
  }
  for (int attempt = 0;; ++attempt) {
    ListedTableFile listed;
    // The signature first: a change made while the rows are listed shows at the next look.
    listed.Signature = FileSignature(path);
    struct stat before = {};
    ::stat(QFile::encodeName(path).constData(), &before);
    listed.Storage = OpenTableFile(path, cp);
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

bool Table::SyncWithDisk(bool force) {
  if (!force && Storage->DiskSignature() == Signature) return false;
  ListedTableFile listed = ListTableFile(Storage->Path(), CodePageOverride);
  if (listed.Storage->Fields().size() != Defs.size())
    throw Error::ForTable(Storage->Path(),
                          "структура таблиці на диску змінилася; закрийте й відкрийте її знову");
  std::vector<RowSlot> rows = IdentifyRows(*listed.Storage, listed.Locations);
  Storage = std::move(listed.Storage);
  Rows = std::move(rows);
  ListedStamp = listed.Stamp;
  Signature = listed.Signature;
  Ordering.Rebuild(std::nullopt); // the old order pointed into the old rows
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

void Table::Refresh() {
  CheckBrowse("оновити");
  SyncWithDisk();
}

} // namespace db
