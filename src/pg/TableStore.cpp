#include "TableStore.h"

#include "Connection.h"
#include "FileStore.h"
#include "RowBuffer.h"
#include "Shared.h"
#include "Values.h"

#include "base/DerivedCache.h"
#include "base/OwnWrites.h"
#include "db/Error.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace pg {

namespace {

QStringList TablesAt(const QString& location) {
  const TPlace place(location);
  QStringList names;
  for (const auto& row : SharedQuery(place.Uri, QString("SELECT path FROM %1.vandrel_tables ORDER "
                                                        "BY lower(path)")
                                                    .arg(place.SchemaIdent()))
                             .Rows) {
    const QString path = QString::fromUtf8(*row[0]);
    if (path.section('/', 0, -2).compare(place.Path, Qt::CaseInsensitive) == 0)
      names << path.section('/', -1);
  }
  return names;
}

class TPgTableFile : public db::TableFile {
public:
  TPgTableFile(const QString& location, const QString& name) : Location(location), Name(name) {
    const TPlace place(location);
    Schema = place.Schema;
    const QString folder = place.Path;
    Shared = SharedConnection(place.Uri);
    const std::lock_guard guard(Shared->Lock);
    // The table, what the server grants this user on it (a standby, such as a district office's
    // replica, or a session the server keeps read-only takes no write at all) and its count of
    // changes, in one statement.
    const Result found = Shared->Ready().Exec(
        QString("SELECT t.path, t.pg_table, t.kind, t.key_fields, t.fields, current_user, "
                "has_table_privilege(q.name, 'INSERT') AND has_table_privilege(q.name, 'UPDATE') "
                "AND has_table_privilege(q.name, 'DELETE'), pg_is_in_recovery() OR "
                "current_setting('transaction_read_only') = 'on', to_regclass(q.name)::oid, "
                "coalesce((SELECT stamp FROM %1.vandrel_changes c WHERE c.path = t.path), 0) "
                "FROM %1.vandrel_tables t, LATERAL (SELECT format('%I.%I', $4::text, t.pg_table) "
                "AS name) q WHERE lower(t.path) = lower($1) OR lower(t.path) = lower($2) OR "
                "lower(t.path) = lower($3) ORDER BY t.path LIMIT 1")
            .arg(Connection::Ident(Schema)),
        {(folder + "/" + name).toUtf8(), (folder + "/" + name + ".db").toUtf8(),
         (folder + "/" + name + ".dbf").toUtf8(), Schema.toUtf8()});
    if (found.Rows.empty()) throw db::Error::ForTable(Path(), "таблиці в базі немає");
    const auto& row = found.Rows[0];
    CatalogPath = QString::fromUtf8(*row[0]);
    Target = Connection::Ident(Schema) + "." + Connection::Ident(QString::fromUtf8(*row[1]));
    Dbase = *row[2] == "dbase";
    Keys = row[3]->toInt();
    Defs = FieldsFromJson(*row[4]);
    KeptAs = place.Uri + "#" + Schema + "/" + QString::fromUtf8(*row[1]);
    TableOid = row[8] ? QString::fromUtf8(*row[8]) : QString();
    StampAtOpen = row[9]->toLongLong();
    if (*row[7] == "t")
      ReadOnly = QString::fromUtf8("сервер приймає лише читання (репліка або сеанс лише для "
                                   "читання)");
    else if (*row[6] != "t")
      ReadOnly =
          QString::fromUtf8("користувач %1 може лише читати цю таблицю (так дозволяє сервер)")
              .arg(QString::fromUtf8(*row[5]));
  }

  QString Path() const override { return Location + "/" + Name; }
  QString Kind() const override { return Dbase ? "PostgreSQL (dBase)" : "PostgreSQL (Paradox)"; }
  const std::vector<db::FieldDef>& Fields() const override { return Defs; }
  int KeyFieldCount() const override { return Keys; }
  bool NumbersRecords() const override { return Dbase; }
  base::CodePage TextCodePage() const override { return base::CodePage::Utf8; }
  bool UsesLockFiles() const override { return false; }
  std::pair<uint64_t, uint64_t> ReadIdentity() const override { return {0, 0}; }
  void NoteOwnWrite() const override {}

  std::vector<int64_t> ReadLocations() override {
    QByteArray stamp;
    return ListRows(stamp);
  }
  // The stamp is the table's count of changes read before the rows: what is derived from rows
  // newer than it is kept under a count the database no longer tells.
  std::vector<int64_t> ListRows(QByteArray& stamp) override {
    stamp = DiskSignature().toUtf8();
    StampAtOpen.reset();
    Rows = TRows{KeptOrReadRows(stamp), {}, {}};
    return Rows.Read.Locations();
  }

  std::vector<db::Value> ReadRow(int64_t location) const override { return RowAt(location).Values; }
  db::Value ReadValue(int64_t location, size_t field) const override {
    if (const auto written = Rows.Written.find(location); written != Rows.Written.end())
      return written->second.Values[field];
    if (Rows.Removed.count(location) || !Rows.Read.Has(location)) Missing();
    return Rows.Read.Value(location, field);
  }
  void ReadFields(std::span<const int64_t> locations, const std::vector<size_t>& fields,
                  const FieldsTaker& take) const override {
    std::vector<db::Value> values(fields.size());
    for (size_t i = 0; i < locations.size(); ++i) {
      for (size_t k = 0; k < fields.size(); ++k)
        values[k] = ReadValue(locations[i], fields[k]);
      take(i, values);
    }
  }

  // The table's count of changes, which every statement that changes it raises. Until the rows
  // are listed, the count read when the table was opened: it was read before them.
  QString DiskSignature() const override {
    if (StampAtOpen) return StampSignature(CatalogPath, TableOid, *StampAtOpen);
    const std::lock_guard guard(Shared->Lock);
    const Result r = Shared->Ready().Exec(
        QString("SELECT coalesce((SELECT stamp FROM %1.vandrel_changes WHERE path = $1), 0)")
            .arg(Connection::Ident(Schema)),
        {CatalogPath.toUtf8()});
    return StampSignature(CatalogPath, TableOid, r.Rows[0][0]->toLongLong());
  }

  void UpdateRow(std::vector<db::RowSlot>& rows, size_t index, const std::vector<db::Value>&,
                 std::vector<db::Value> values) override {
    RefuseIfReadOnly();
    const std::lock_guard guard(Shared->Lock);
    Transaction t(Shared->Ready());
    const int64_t location = rows[index].Location;
    Update(location, values, "зміну не записано");
    CommitNoting(t);
    Place(rows, index);
  }

  size_t InsertRow(std::vector<db::RowSlot>& rows, db::RowSlot slot,
                   std::vector<db::Value> values) override {
    RefuseIfReadOnly();
    const std::lock_guard guard(Shared->Lock);
    Transaction t(Shared->Ready());
    slot.Location = Insert(values);
    CommitNoting(t);
    rows.push_back(slot);
    return Place(rows, rows.size() - 1);
  }

  void DeleteRow(std::vector<db::RowSlot>& rows, size_t index) override {
    RefuseIfReadOnly();
    const std::lock_guard guard(Shared->Lock);
    Transaction t(Shared->Ready());
    Delete(rows[index].Location);
    CommitNoting(t);
    Rows.Erase(rows[index].Location);
    rows.erase(rows.begin() + qsizetype(index));
  }

  // The rows in one statement: each changes only if its version is still the one read, and a
  // row another user changed meanwhile leaves every row as it was.
  void UpdateFields(std::vector<db::RowSlot>& rows, std::span<const size_t> indexes,
                    const std::vector<size_t>& fields,
                    const std::vector<std::vector<db::Value>>& values) override {
    RefuseIfReadOnly();
    if (indexes.empty()) return;
    QStringList declared{"vandrel_row bigint", "vandrel_version bigint"}, set;
    for (const size_t f : fields) {
      const QString column = Connection::Ident(Defs[f].Name);
      declared << column + " " + PgType(Defs[f], Dbase);
      set << QString("%1 = j.%1").arg(column);
    }
    // A row whose fields already hold the values is not sent: its version stays, and another
    // user's change of it meets no refusal for a write that changes nothing.
    TJsonRows changes;
    std::vector<size_t> sent;
    for (size_t i = 0; i < indexes.size(); ++i) {
      const int64_t location = rows[indexes[i]].Location;
      bool same = true;
      for (size_t k = 0; k < fields.size() && same; ++k)
        same = db::ValuesEqual(ReadValue(location, fields[k]), values[i][k]);
      if (same) continue;
      changes.StartRow();
      changes.Add("vandrel_row", location);
      changes.Add("vandrel_version", VersionAt(location));
      for (size_t k = 0; k < fields.size(); ++k)
        changes.Add(Defs[fields[k]].Name, ToParam(values[i][k]));
      sent.push_back(i);
    }
    if (sent.empty()) return;
    const std::lock_guard guard(Shared->Lock);
    Transaction t(Shared->Ready());
    const Result r = Shared->Conn->Exec(
        QString("UPDATE %1 SET %2, vandrel_version = %1.vandrel_version + 1 FROM "
                "json_to_recordset($1::json) AS j(%3) WHERE %1.vandrel_row = j.vandrel_row AND "
                "%1.vandrel_version = j.vandrel_version RETURNING %1.vandrel_row, "
                "%1.vandrel_version")
            .arg(Target, set.join(", "), declared.join(", ")),
        {changes.Take()});
    std::unordered_map<int64_t, int64_t> written;
    for (const auto& row : r.Rows)
      written[row[0]->toLongLong()] = row[1]->toLongLong();
    for (const size_t i : sent)
      if (!written.count(rows[indexes[i]].Location))
        Changed(rows[indexes[i]].Location, "нічого не записано");
    CommitNoting(t);
    for (const size_t i : sent) {
      const int64_t location = rows[indexes[i]].Location;
      TRow row = RowAt(location);
      for (size_t k = 0; k < fields.size(); ++k)
        row.Values[fields[k]] = values[i][k];
      row.Version = written[location];
      Rows.Written[location] = std::move(row);
    }
    Resort(rows);
  }

  void EmptyTable(std::vector<db::RowSlot>& rows) override {
    RefuseIfReadOnly();
    const std::lock_guard guard(Shared->Lock);
    Transaction t(Shared->Ready());
    Shared->Conn->Exec(QString("DELETE FROM %1").arg(Target));
    CommitNoting(t);
    Rows = TRows();
    rows.clear();
  }

  void WriteEdits(std::vector<db::RowSlot>& rows, const std::vector<RowEdit>& edits) override {
    RefuseIfReadOnly();
    const std::lock_guard guard(Shared->Lock);
    const TRows keptRows = Rows;
    try {
      Transaction t(Shared->Ready());
      std::vector<int64_t> gone;
      std::vector<db::RowSlot> added;
      for (const RowEdit& e : edits) {
        if (!e.Index) {
          added.push_back({e.Id, Insert(e.Values)});
        } else if (e.Delete) {
          Delete(rows[*e.Index].Location);
          gone.push_back(rows[*e.Index].Location);
        } else {
          Update(rows[*e.Index].Location, e.Values, "нічого не записано");
        }
      }
      CommitNoting(t);
      for (const int64_t location : gone) {
        Rows.Erase(location);
        std::erase_if(rows, [&](const db::RowSlot& r) { return r.Location == location; });
      }
      rows.insert(rows.end(), added.begin(), added.end());
      Resort(rows);
    } catch (...) {
      Rows = keptRows;
      throw;
    }
  }

  void ReplaceRows(std::vector<db::RowSlot>& rows,
                   std::vector<db::StoredRow> replacement) override {
    RefuseIfReadOnly();
    const std::lock_guard guard(Shared->Lock);
    const TRows keptRows = Rows;
    try {
      Transaction t(Shared->Ready());
      Shared->Conn->Exec(QString("DELETE FROM %1").arg(Target));
      Rows = TRows();
      std::vector<db::RowSlot> fresh;
      for (db::StoredRow& row : replacement)
        fresh.push_back({row.Id, Insert(row.Values)});
      CommitNoting(t);
      rows = std::move(fresh);
      Resort(rows);
    } catch (...) {
      Rows = keptRows;
      throw;
    }
  }

protected:
  // Rows are read from the database, never as records of a file.
  int64_t RecordOffset(int64_t) const override { return 0; }
  size_t RecordSize() const override { return 0; }
  db::Value DecodeField(const unsigned char*, size_t) const override { return {}; }

private:
  struct TRow {
    std::vector<db::Value> Values;
    int64_t Version = 1;
  };

  // Commits the write and notes the table's count of changes after it as this program's own, so
  // that a watcher of the atlas does not take the program's write for another user's.
  void CommitNoting(Transaction& t) {
    const Result r =
        Shared->Conn->Exec(QString("SELECT stamp FROM %1.vandrel_changes WHERE path = $1")
                               .arg(Connection::Ident(Schema)),
                           {CatalogPath.toUtf8()});
    t.Commit();
    if (!r.Rows.empty())
      base::NoteOwnState(Location + "/" + CatalogPath.section('/', -1),
                         StampSignature(CatalogPath, TableOid, r.Rows[0][0]->toLongLong()));
  }

  // The rows, kept on this computer (the program's cache of derived files) under the table's
  // identity and count of changes, so that the next start reads them from there while the
  // table stays as it was; any statement that changes the table raises the count. The count is
  // read before the rows: rows newer than it are kept under the older count, which the database
  // no longer tells.
  TRowBuffer KeptOrReadRows(const QByteArray& stamp) {
    TRowBuffer buffer;
    if (buffer.Take(base::DerivedCache::Load(KeptAs, "pg-rows-3", stamp), Defs.size()))
      return buffer;
    QStringList names;
    for (const db::FieldDef& f : Defs)
      names << Connection::Ident(f.Name);
    Result all;
    {
      const std::lock_guard guard(Shared->Lock);
      all = Shared->Ready().Exec(QString("SELECT vandrel_row, vandrel_version, %1 FROM %2 ORDER BY "
                                         "vandrel_row")
                                     .arg(names.join(", "), Target));
    }
    // Kept in the key's order, compared as the cursor compares; the rows are encoded one by one
    // as they come, with no value kept but the keys.
    std::vector<size_t> order(all.Rows.size());
    std::iota(order.begin(), order.end(), size_t(0));
    if (Keys > 0) {
      std::vector<std::vector<db::Value>> keys(all.Rows.size());
      for (size_t i = 0; i < keys.size(); ++i)
        for (int k = 0; k < Keys; ++k)
          keys[i].push_back(FromParam(all.Rows[i][size_t(k) + 2], Defs[size_t(k)].Type));
      std::stable_sort(order.begin(), order.end(),
                       [&](size_t a, size_t b) { return KeyLess(keys[a], keys[b]); });
    }
    QByteArray bytes;
    bytes.reserve(qsizetype(all.Rows.size() * (16 + Defs.size() * 12)));
    std::vector<db::Value> values(Defs.size());
    for (const size_t i : order) {
      const auto& r = all.Rows[i];
      for (size_t f = 0; f < Defs.size(); ++f)
        values[f] = FromParam(r[f + 2], Defs[f].Type);
      TRowBuffer::AppendRow(bytes, r[0]->toLongLong(), r[1]->toLongLong(), values);
    }
    buffer.Take(std::move(bytes), Defs.size());
    if (!TableOid.isEmpty())
      base::DerivedCache::Store(KeptAs, "pg-rows-3", stamp, buffer.KeptForm());
    return buffer;
  }

  void RefuseIfReadOnly() const {
    if (!ReadOnly.isEmpty()) throw db::Error::ForTable(Path(), "не змінено: " + ReadOnly);
  }

  [[noreturn]] void Missing() const { throw db::Error::ForTable(Path(), "рядка в базі немає"); }

  int64_t VersionAt(int64_t location) const {
    if (const auto written = Rows.Written.find(location); written != Rows.Written.end())
      return written->second.Version;
    if (Rows.Removed.count(location) || !Rows.Read.Has(location)) Missing();
    return Rows.Read.Version(location);
  }

  TRow RowAt(int64_t location) const {
    if (const auto written = Rows.Written.find(location); written != Rows.Written.end())
      return written->second;
    if (Rows.Removed.count(location) || !Rows.Read.Has(location)) Missing();
    return TRow{Rows.Read.Row(location), Rows.Read.Version(location)};
  }

  bool KeyLess(const std::vector<db::Value>& a, const std::vector<db::Value>& b) const {
    for (int k = 0; k < Keys; ++k)
      if (const int c = db::CompareValues(a[size_t(k)], b[size_t(k)]); c != 0) return c < 0;
    return false;
  }

  QString Assignments(size_t firstParam) const {
    QStringList set;
    for (size_t f = 0; f < Defs.size(); ++f)
      set << QString("%1 = $%2").arg(Connection::Ident(Defs[f].Name)).arg(firstParam + f);
    return set.join(", ");
  }

  std::vector<Param> Params(const std::vector<db::Value>& values) const {
    std::vector<Param> params;
    for (const db::Value& v : values)
      params.push_back(ToParam(v));
    return params;
  }

  [[noreturn]] void Changed(int64_t location, const char* what) const {
    throw db::Error::ForTable(Path(), QString::fromUtf8("рядок %1 змінив або видалив інший "
                                                        "користувач після того, як його "
                                                        "прочитано; %2")
                                          .arg(location)
                                          .arg(QString::fromUtf8(what)));
  }

  // Only the version read is changed; the caller holds the connection in a transaction.
  void Update(int64_t location, const std::vector<db::Value>& values, const char* what) {
    const TRow row = RowAt(location);
    std::vector<Param> params = Params(values);
    params.push_back(QByteArray::number(qlonglong(location)));
    params.push_back(QByteArray::number(qlonglong(row.Version)));
    const Result r = Shared->Conn->Exec(
        QString("UPDATE %1 SET %2, vandrel_version = vandrel_version + 1 WHERE vandrel_row = $%3 "
                "AND vandrel_version = $%4 RETURNING vandrel_version")
            .arg(Target, Assignments(1))
            .arg(Defs.size() + 1)
            .arg(Defs.size() + 2),
        params);
    if (r.Rows.empty()) Changed(location, what);
    Rows.Written[location] = {values, r.Rows[0][0]->toLongLong()};
  }

  void Delete(int64_t location) {
    const Result r = Shared->Conn->Exec(
        QString("DELETE FROM %1 WHERE vandrel_row = $1 AND vandrel_version = $2").arg(Target),
        {QByteArray::number(qlonglong(location)),
         QByteArray::number(qlonglong(RowAt(location).Version))});
    if (r.Changed == 0) Changed(location, "його не видалено");
  }

  // A new row numbered after the last; two writers that take the same number meet on the
  // number's uniqueness, and the one that loses takes the next.
  int64_t Insert(const std::vector<db::Value>& values) {
    QStringList names, places;
    for (size_t f = 0; f < Defs.size(); ++f) {
      names << Connection::Ident(Defs[f].Name);
      places << QString("$%1").arg(f + 1);
    }
    const QString sql =
        QString("INSERT INTO %1 (%2, vandrel_row) SELECT %3, coalesce(max(vandrel_row), -1) + 1 "
                "FROM %1 RETURNING vandrel_row")
            .arg(Target, names.join(", "), places.join(", "));
    for (int attempt = 0;; ++attempt) {
      try {
        Shared->Conn->Run("SAVEPOINT vandrel_insert");
        const Result r = Shared->Conn->Exec(sql, Params(values));
        Shared->Conn->Run("RELEASE SAVEPOINT vandrel_insert");
        const int64_t location = r.Rows[0][0]->toLongLong();
        Rows.Written[location] = {values, 1};
        Rows.Removed.erase(location);
        return location;
      } catch (const Error& e) {
        Shared->Conn->Run("ROLLBACK TO SAVEPOINT vandrel_insert");
        if (attempt < 8 && QString::fromUtf8(e.what()).contains("vandrel_row")) continue;
        throw db::Error::ForTable(Path(), QString::fromUtf8(e.what()));
      }
    }
  }

  // Moves the row at `index` to its place in key order; returns where it went.
  size_t Place(std::vector<db::RowSlot>& rows, size_t index) {
    if (Keys == 0) return index;
    const db::RowSlot slot = rows[index];
    rows.erase(rows.begin() + qsizetype(index));
    const auto at = std::lower_bound(
        rows.begin(), rows.end(), slot, [&](const db::RowSlot& a, const db::RowSlot& b) {
          return KeyLess(RowAt(a.Location).Values, RowAt(b.Location).Values);
        });
    return size_t(rows.insert(at, slot) - rows.begin());
  }

  void Resort(std::vector<db::RowSlot>& rows) {
    if (Keys == 0) return;
    std::vector<std::pair<std::vector<db::Value>, db::RowSlot>> keyed;
    keyed.reserve(rows.size());
    for (const db::RowSlot& slot : rows) {
      std::vector<db::Value> key;
      for (int k = 0; k < Keys; ++k)
        key.push_back(ReadValue(slot.Location, size_t(k)));
      keyed.emplace_back(std::move(key), slot);
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [&](const auto& a, const auto& b) { return KeyLess(a.first, b.first); });
    for (size_t i = 0; i < rows.size(); ++i)
      rows[i] = keyed[i].second;
  }

  const QString Location, Name;
  QString Schema, Target;
  QString CatalogPath;      // the table's path in the atlas ("MAPS/Water.dbf")
  QString KeptAs, TableOid; // the name and identity its rows are kept under on this computer
  std::optional<int64_t> StampAtOpen; // the count of changes read with the table, until listed
  std::shared_ptr<TShared> Shared;
  std::vector<db::FieldDef> Defs;
  int Keys = 0;
  bool Dbase = false;
  QString ReadOnly; // why this user may not write, or empty
  // The rows as read, and this program's writes since over them.
  struct TRows {
    TRowBuffer Read;
    std::unordered_map<int64_t, TRow> Written;
    std::unordered_set<int64_t> Removed;
    void Erase(int64_t location) {
      Written.erase(location);
      Removed.insert(location);
    }
  };
  TRows Rows;
};

} // namespace

bool IsDatabaseLocation(const QString& location) {
  return location.startsWith("postgresql:", Qt::CaseInsensitive) ||
         location.startsWith("postgres:", Qt::CaseInsensitive);
}

void RegisterPostgresAtlas() {
  RegisterPostgresFiles();
  static std::once_flag once;
  std::call_once(once, [] {
    db::RegisterRemoteTableKind(
        {IsDatabaseLocation,
         [](const QString& location, const QString& name) {
           try {
             return std::unique_ptr<db::TableFile>(new TPgTableFile(location, name));
           } catch (const Error& e) { // the server's refusal, said as the cursor says errors
             throw db::Error::ForTable(location + "/" + name, QString::fromUtf8(e.what()));
           }
         },
         [](const QString& location) {
           try {
             return TablesAt(location);
           } catch (const Error& e) {
             throw db::Error::ForTable(location, QString::fromUtf8(e.what()));
           }
         }});
  });
}

} // namespace pg
