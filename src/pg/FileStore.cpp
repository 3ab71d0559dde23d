#include "FileStore.h"

#include "AtlasCopy.h"
#include "GeometryTable.h"
#include "Shared.h"
#include "TableStore.h"

#include "base/DerivedCache.h"
#include "base/FileError.h"
#include "base/RemoteFiles.h"

#include <QFileInfo>
#include <map>
#include <unordered_map>

namespace pg {

namespace {

// A file made from the database (a geometry file and its index file from their table, or a
// stored file's bytes): made now, or mapped from the copy kept on this computer.
struct TMadeFile {
  TGeometryBytes Made;
  base::DerivedContent KeptMain, KeptIndex;
  std::span<const unsigned char> Bytes(bool index) const {
    if (KeptMain) return index ? KeptIndex.Bytes : KeptMain.Bytes;
    const QByteArray& b = index ? Made.Index : Made.Main;
    return {reinterpret_cast<const unsigned char*>(b.constData()), size_t(b.size())};
  }
};

// What the database holds under a path of the atlas.
struct TEntry {
  QString Path;
  char What = 'f'; // 'f' a file's bytes, 't' a table, 'g' a geometry file, 'x' its index file
  int64_t Stamp = 0;
  QString PgTable;
  QByteArray Header;
  int ShapeType = 0;
  QString TableOid; // of its table: a table made again by another import has another
};

// The files of one schema: its catalog, read again when the schema tells of a change, and the
// geometry files made from their tables, kept while their counts of changes stay.
struct TSchemaFiles {
  std::mutex Lock;
  std::unique_ptr<Connection> Listener; // LISTENs on the schema's channel
  uint64_t Told = 0;                    // changes told so far
  bool CatalogStale = true;
  std::vector<TEntry> Catalog;
  struct TMade {
    QString TableOid;
    int64_t Stamp = -1;
    std::shared_ptr<const TMadeFile> Files;
  };
  // By table for a geometry file and its index file, by "file:" and the path for a stored file.
  std::unordered_map<QString, TMade> Made;
};

std::shared_ptr<TSchemaFiles> SchemaFiles(const TPlace& place) {
  static std::mutex registry;
  static std::map<QString, std::shared_ptr<TSchemaFiles>> open;
  const std::lock_guard guard(registry);
  auto& files = open[place.Uri + "#" + place.Schema];
  if (!files) {
    auto made = std::make_shared<TSchemaFiles>();
    made->Listener = std::make_unique<Connection>(place.Uri);
    made->Listener->Listen(NotifyChannel(place.Schema));
    files = made;
  }
  return files;
}

// Takes the notifications that arrived; a change makes the catalog stale. Under files.Lock.
void TakeNotifications(TSchemaFiles& files, const TPlace& place) {
  size_t told = 0;
  try {
    told = files.Listener->Notifications(0).size();
  } catch (const Error&) {
    if (!files.Listener->Lost()) throw;
    // The server went away: listened to again, and what changed meanwhile is read again.
    files.Listener->Reconnect();
    files.Listener->Listen(NotifyChannel(place.Schema));
    told = 1;
  }
  if (told == 0) return;
  files.Told += told;
  files.CatalogStale = true;
}

std::vector<TEntry> ReadCatalog(const TPlace& place) {
  const QString s = place.SchemaIdent();
  const Result r = SharedQuery(
      place.Uri,
      QString("SELECT c.path, c.what, coalesce(s.stamp, 0), c.pg_table, c.header, c.shape_type, "
              "CASE WHEN c.pg_table IS NOT NULL THEN to_regclass(format('%I.%I', '%2', "
              "c.pg_table))::oid END "
              "FROM (SELECT path, path AS counted, 'f' AS what, 'vandrel_files' AS pg_table, "
              "NULL::bytea AS "
              "header, 0 AS shape_type FROM %1.vandrel_files UNION ALL SELECT path, path, 't', "
              "pg_table, NULL, 0 FROM %1.vandrel_tables UNION ALL SELECT path, path, 'g', "
              "pg_table, header, shape_type FROM %1.vandrel_geometry UNION ALL SELECT "
              "regexp_replace(path, '\\.[^./]*$', '') || '.shx', path, 'x', pg_table, header, "
              "shape_type FROM %1.vandrel_geometry WHERE has_index) c LEFT JOIN "
              "%1.vandrel_changes s ON s.path = c.counted")
          .arg(s, QString(place.Schema).replace('\'', "''")));
  std::vector<TEntry> catalog;
  for (const auto& row : r.Rows)
    catalog.push_back({QString::fromUtf8(*row[0]), row[1]->at(0), row[2]->toLongLong(),
                       row[3] ? QString::fromUtf8(*row[3]) : QString(),
                       row[4] ? Connection::FromBytea(*row[4]) : QByteArray(), row[5]->toInt(),
                       row[6] ? QString::fromUtf8(*row[6]) : QString()});
  return catalog;
}

// The catalog as the database holds it now. Under files.Lock.
const std::vector<TEntry>& CurrentCatalog(TSchemaFiles& files, const TPlace& place) {
  TakeNotifications(files, place);
  if (files.CatalogStale) {
    files.Catalog = ReadCatalog(place);
    files.CatalogStale = false;
  }
  return files.Catalog;
}

const TEntry* Find(const std::vector<TEntry>& catalog, const QString& path) {
  const TEntry* found = nullptr;
  for (const TEntry& e : catalog) {
    if (e.Path == path) return &e;
    if (!found && e.Path.compare(path, Qt::CaseInsensitive) == 0) found = &e;
  }
  return found;
}

// Runs `work` with the schema's files and catalog; a failure of the server is said as the
// file's error.
template <class Work> auto WithCatalog(const QString& location, Work work) {
  const TPlace place(location);
  try {
    const auto files = SchemaFiles(place);
    const std::lock_guard guard(files->Lock);
    return work(place, *files, CurrentCatalog(*files, place));
  } catch (const Error& e) {
    throw base::FileError(location, QString::fromUtf8(e.what()));
  }
}

// A geometry file made from its table, kept on this computer (the program's cache of derived
// files) under the table's identity and count of changes, so that the next start reads it from
// there while the table stays as it was; any statement that changes the table raises the count.
std::shared_ptr<const TMadeFile> KeptOrRead(const TPlace& place, const TEntry& e) {
  const QString source = place.Uri + "#" + place.Schema + "/" + e.PgTable;
  const QByteArray stamp = QString("%1:%2").arg(e.TableOid).arg(e.Stamp).toUtf8();
  auto made = std::make_shared<TMadeFile>();
  if (!e.TableOid.isEmpty()) {
    made->KeptMain = base::DerivedCache::Load(source, "pg-geometry-1", stamp);
    made->KeptIndex = base::DerivedCache::Load(source, "pg-index-1", stamp);
    if (made->KeptMain && made->KeptIndex) return made;
    made->KeptMain = made->KeptIndex = {};
  }
  {
    const auto shared = SharedConnection(place.Uri);
    const std::lock_guard guard(shared->Lock);
    made->Made =
        ReadGeometryTable(shared->Ready(), place.SchemaIdent() + "." + Connection::Ident(e.PgTable),
                          e.Header, e.ShapeType);
  }
  if (!e.TableOid.isEmpty()) {
    base::DerivedCache::Store(source, "pg-geometry-1", stamp, made->Made.Main);
    base::DerivedCache::Store(source, "pg-index-1", stamp, made->Made.Index);
  }
  return made;
}

// A file of the atlas's own (an INI file, a layer's labels), kept on this computer like the
// geometry; nullopt when there is none.
std::shared_ptr<const TMadeFile> KeptOrReadFile(const TPlace& place, const TEntry& e) {
  const QString source = place.Uri + "#" + place.Schema + "/vandrel_files/" + e.Path;
  const QByteArray stamp = QString("%1:%2").arg(e.TableOid).arg(e.Stamp).toUtf8();
  auto made = std::make_shared<TMadeFile>();
  if (!e.TableOid.isEmpty()) {
    made->KeptMain = base::DerivedCache::Load(source, "pg-file-1", stamp);
    if (made->KeptMain) return made;
  }
  Result r;
  {
    const auto shared = SharedConnection(place.Uri);
    const std::lock_guard guard(shared->Lock);
    r = shared->Ready().ExecBinary(
        QString("SELECT content FROM %1.vandrel_files WHERE path = $1").arg(place.SchemaIdent()),
        {e.Path.toUtf8()});
  }
  if (r.Rows.empty() || !r.Rows[0][0]) return nullptr;
  made->Made.Main = *r.Rows[0][0];
  if (!e.TableOid.isEmpty()) base::DerivedCache::Store(source, "pg-file-1", stamp, made->Made.Main);
  return made;
}

// The bytes at `location`: a stored file's, or a geometry or index file's made from its table
// (kept while the table's count of changes stays).
std::optional<base::RemoteFileKind::Bytes> Map(const QString& location) {
  return WithCatalog(
      location,
      [&](const TPlace& place, TSchemaFiles& files,
          const std::vector<TEntry>& catalog) -> std::optional<base::RemoteFileKind::Bytes> {
        const TEntry* e = Find(catalog, place.Path);
        if (!e) return std::nullopt;
        if (e->What == 't')
          throw base::FileError(location,
                                QString::fromUtf8("це таблиця бази: її читають як таблицю"));
        TSchemaFiles::TMade& made = files.Made[e->What == 'f' ? "file:" + e->Path : e->PgTable];
        if (!made.Files || made.Stamp != e->Stamp || made.TableOid != e->TableOid) {
          made.Files = e->What == 'f' ? KeptOrReadFile(place, *e) : KeptOrRead(place, *e);
          made.Stamp = e->Stamp;
          made.TableOid = e->TableOid;
        }
        if (!made.Files) return std::nullopt;
        return base::RemoteFileKind::Bytes{made.Files, made.Files->Bytes(e->What == 'x')};
      });
}

std::optional<QByteArray> Read(const QString& location) {
  const auto bytes = Map(location);
  if (!bytes) return std::nullopt;
  return QByteArray(reinterpret_cast<const char*>(bytes->Data.data()),
                    qsizetype(bytes->Data.size()));
}

QStringList List(const QString& location) {
  return WithCatalog(location,
                     [&](const TPlace& place, TSchemaFiles&, const std::vector<TEntry>& catalog) {
                       const QString prefix = place.Path.isEmpty() ? QString() : place.Path + "/";
                       QStringList names;
                       for (const TEntry& e : catalog) {
                         if (!e.Path.startsWith(prefix, Qt::CaseInsensitive)) continue;
                         const QString name = e.Path.mid(prefix.size()).section('/', 0, 0);
                         if (!name.isEmpty() && !names.contains(name)) names << name;
                       }
                       names.sort(Qt::CaseInsensitive);
                       return names;
                     });
}

QString Signature(const QString& location) {
  return WithCatalog(location,
                     [&](const TPlace& place, TSchemaFiles&, const std::vector<TEntry>& catalog) {
                       const TEntry* e = Find(catalog, place.Path);
                       return e ? StampSignature(e->Path, e->TableOid, e->Stamp) : QString();
                     });
}

// A file of the atlas's own (an INI file) written whole in one transaction; the tables and
// geometry files are written only as tables.
void Rewrite(const QString& location,
             const std::function<QByteArray(const std::optional<QByteArray>&)>& change) {
  WithCatalog(location, [&](const TPlace& place, TSchemaFiles& files,
                            const std::vector<TEntry>& catalog) {
    const TEntry* e = Find(catalog, place.Path);
    if (e && e->What != 'f')
      throw base::FileError(location, QString::fromUtf8("у базі це таблиця; файлом не пишеться"));
    if (place.Path.isEmpty() || !IsAtlasFolder(place.Path.section('/', 0, 0)))
      throw base::FileError(location, QString::fromUtf8("поза папками атласу в базі"));
    const QString path = e ? e->Path : place.Path;
    const auto shared = SharedConnection(place.Uri);
    const std::lock_guard guard(shared->Lock);
    Transaction t(shared->Ready());
    // One writer of the path at a time, also for a file not there yet.
    shared->Conn->Exec("SELECT pg_advisory_xact_lock(hashtext($1))",
                       {(place.Schema + "#" + path).toUtf8()});
    const Result now = shared->Conn->Exec(
        QString("SELECT content FROM %1.vandrel_files WHERE path = $1").arg(place.SchemaIdent()),
        {path.toUtf8()});
    const std::optional<QByteArray> current =
        now.Rows.empty() ? std::nullopt
                         : std::optional<QByteArray>(Connection::FromBytea(*now.Rows[0][0]));
    shared->Conn->Exec(QString("INSERT INTO %1.vandrel_files VALUES ($1, $2) ON CONFLICT (path) "
                               "DO UPDATE SET content = excluded.content")
                           .arg(place.SchemaIdent()),
                       {path.toUtf8(), Connection::Bytea(change(current))});
    t.Commit();
    // Read again at the next look, without waiting for the notification of this write.
    files.CatalogStale = true;
    files.Made.erase("file:" + path);
    return 0;
  });
}

uint64_t ChangesTold(const QString& location) {
  return WithCatalog(location, [&](const TPlace&, TSchemaFiles& files, const std::vector<TEntry>&) {
    return files.Told;
  });
}

int ChangeSocket(const QString& location) {
  return WithCatalog(location, [&](const TPlace&, TSchemaFiles& files, const std::vector<TEntry>&) {
    return files.Listener->Socket();
  });
}

// A user who may not write every table and file of the atlas, or a server that takes only
// reads (a replica, a session kept read-only), reads it only.
QString ReadOnlyReason(const QString& location) {
  const TPlace place(location);
  try {
    const Result r = SharedQuery(
        place.Uri,
        QString("SELECT current_user, pg_is_in_recovery() OR "
                "current_setting('transaction_read_only') = 'on', bool_and(has_table_privilege(t, "
                "'INSERT') AND has_table_privilege(t, 'UPDATE') AND has_table_privilege(t, "
                "'DELETE')) FROM (SELECT format('%I.%I', $1::text, pg_table) AS t FROM "
                "%1.vandrel_tables UNION ALL SELECT format('%I.vandrel_files', $1::text)) names")
            .arg(place.SchemaIdent()),
        {place.Schema.toUtf8()});
    if (*r.Rows[0][1] == "t")
      return QString::fromUtf8("сервер приймає лише читання (репліка або сеанс лише для читання)");
    if (*r.Rows[0][2] != "t")
      return QString::fromUtf8("користувач %1 може лише читати атлас (так дозволяє сервер)")
          .arg(QString::fromUtf8(*r.Rows[0][0]));
    return QString();
  } catch (const Error& e) {
    throw base::FileError(location, QString::fromUtf8(e.what()));
  }
}

} // namespace

void RegisterPostgresFiles() {
  static std::once_flag once;
  std::call_once(once, [] {
    base::RegisterRemoteFileKind({IsDatabaseLocation, Read, Rewrite, List, Signature, ChangesTold,
                                  ChangeSocket, ReadOnlyReason, AtlasName, Map});
  });
}

} // namespace pg
