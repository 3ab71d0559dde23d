#include "AtlasCopy.h"

#include "Connection.h"
#include "GeometryTable.h"
#include "Values.h"
#include "Wkb.h"

#include "base/AtomicFile.h"
#include "base/ByteOrder.h"
#include "base/FileError.h"
#include "base/IniFile.h"
#include "base/TextCodec.h"
#include "db/DbaseFile.h"
#include "db/ParadoxFile.h"
#include "db/Table.h"
#include "layers/GeometryFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <unistd.h>

namespace pg {

namespace {

const char* const kFolders[] = {"BASE", "MAPS", "REFERENSE", "USER_OBJ"};

enum class FileRole { Table, Geometry, Companion, Other };

// What a file of the atlas is: a table, a geometry file, a file the writing of a table or a
// geometry file makes again (indexes, blob files), or anything else (kept as bytes).
FileRole RoleOf(const QString& name) {
  const QString ext = QFileInfo(name).suffix().toLower();
  if (ext == "db" || ext == "dbf") return FileRole::Table;
  if (ext == "mds" || ext == "shp") return FileRole::Geometry;
  static const QRegularExpression secondary("^[xy][0-9a-f]{2}$");
  if (ext == "px" || ext == "mb" || ext == "shx" || secondary.match(ext).hasMatch())
    return FileRole::Companion;
  return FileRole::Other;
}

// PostgreSQL keeps 63 bytes of a name: longer paths get a number, the catalog keeps the path.
QString PgName(const QString& path, int& counter) {
  return path.toUtf8().size() <= 63 ? path : QString("vandrel_%1").arg(++counter);
}

QByteArray ReadWhole(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw base::FileError(path, QString::fromUtf8("не читається: ") + file.errorString());
  return file.readAll();
}

// The atlas's coordinate system as an SRID: "EPSG:32636" gives 32636, anything else 0.
int AtlasSrid(const QString& atlasDir) {
  const base::IniFile ini(atlasDir + "/BASE/ATLAS.INI");
  static const QRegularExpression epsg("^\\s*EPSG:(\\d+)\\s*$",
                                       QRegularExpression::CaseInsensitiveOption);
  const auto m = epsg.match(ini.ReadString("Atlas", "CRS", QString()));
  return m.hasMatch() ? m.captured(1).toInt() : 0;
}

// A schema's name as the copies take it: letters, digits and "_", not starting with a digit,
// short enough that its channel's name ("vandrel_" before it) is whole. Names that need quoting
// inside the copy's own function bodies and trigger arguments never reach them.
void CheckSchemaName(const QString& schema) {
  static const QRegularExpression allowed("^[\\p{L}_][\\p{L}\\p{N}_]*$");
  if (!allowed.match(schema).hasMatch() || schema.toUtf8().size() > 55 ||
      schema.startsWith("pg_", Qt::CaseInsensitive))
    throw Error(QString::fromUtf8("схема «%1»: ім'я схеми атласу має складатися з літер, цифр і "
                                  "«_», не починатися з цифри чи «pg_» і мати до 55 байтів")
                    .arg(schema));
}

// A path of the atlas as a copy keeps it: "FOLDER/name" or deeper, in one of the atlas's
// folders, with no empty, "." or ".." part. A path stored in the database that is not one is
// refused before anything is written for it.
void CheckAtlasPath(const QString& rel) {
  const QStringList parts = rel.split('/');
  bool ok = parts.size() >= 2 && !rel.contains('\\') && !rel.contains(QChar(0));
  for (const QString& part : parts)
    ok = ok && !part.isEmpty() && part != "." && part != "..";
  ok = ok && std::any_of(std::begin(kFolders), std::end(kFolders),
                         [&](const char* folder) { return parts[0] == QLatin1String(folder); });
  if (!ok)
    throw Error(QString::fromUtf8("«%1»: не шлях у папках атласу (BASE, MAPS, REFERENSE, "
                                  "USER_OBJ); копію не записано")
                    .arg(rel));
}

// Makes the schema ready for a new copy: created when there is none, dropped with what is in
// it when it holds an earlier copy of an atlas and nothing else, refused otherwise (a user's
// own tables, or objects of other schemas that depend on the copy's tables).
void PrepareSchema(Connection& c, const QString& schema) {
  const Result found =
      c.Exec("SELECT oid, to_regclass(format('%I.vandrel_tables', $1::text)) IS NOT NULL FROM "
             "pg_namespace WHERE nspname = $1",
             {schema.toUtf8()});
  const QString ident = Connection::Ident(schema);
  if (found.Rows.empty()) {
    c.Run("CREATE SCHEMA " + ident);
    return;
  }
  const QByteArray oid = *found.Rows[0][0];
  const bool earlierCopy = *found.Rows[0][1] == "t";
  QString ours = "ARRAY['vandrel_tables', 'vandrel_geometry', 'vandrel_files', 'vandrel_changes']";
  if (earlierCopy)
    ours = QString("%2 || ARRAY(SELECT pg_table FROM %1.vandrel_tables UNION ALL SELECT pg_table "
                   "FROM %1.vandrel_geometry)")
               .arg(ident, ours);
  const Result foreign = c.Exec(
      QString("SELECT format('%I.%I', n.nspname, c.relname) FROM pg_class c JOIN pg_namespace n "
              "ON n.oid = c.relnamespace WHERE c.relnamespace = $1::oid AND c.relkind IN ('r', "
              "'p', 'v', 'm', 'f', 'S') AND NOT (c.relname = ANY (%1)) UNION "
              "SELECT format('%I.%I', vn.nspname, v.relname) FROM pg_depend d JOIN pg_rewrite r "
              "ON d.classid = 'pg_rewrite'::regclass AND r.oid = d.objid JOIN pg_class v ON "
              "v.oid = r.ev_class JOIN pg_namespace vn ON vn.oid = v.relnamespace JOIN pg_class "
              "t ON t.oid = d.refobjid WHERE t.relnamespace = $1::oid AND v.relnamespace <> "
              "$1::oid UNION "
              "SELECT format('%I.%I', fn.nspname, f.relname) FROM pg_constraint k JOIN pg_class "
              "f ON f.oid = k.conrelid JOIN pg_namespace fn ON fn.oid = f.relnamespace JOIN "
              "pg_class t ON t.oid = k.confrelid WHERE k.contype = 'f' AND t.relnamespace = "
              "$1::oid AND f.relnamespace <> $1::oid ORDER BY 1 LIMIT 6")
          .arg(ours),
      {oid});
  if (!foreign.Rows.empty()) {
    QStringList names;
    for (const auto& row : foreign.Rows)
      names << QString::fromUtf8(*row[0]);
    throw Error(QString::fromUtf8("схема «%1» вже має те, що не є копією атласу (%2): її не "
                                  "змінено; назвіть іншу схему (--schema)")
                    .arg(schema, names.join(", ")));
  }
  if (earlierCopy) c.Run(QString("DROP SCHEMA %1 CASCADE; CREATE SCHEMA %1").arg(ident));
}

// Rows sent a few thousand at a time, as one JSON parameter of one INSERT: `declared` names
// and types the JSON's fields ("record integer"), `values` are the expressions over them (j.x).
class TBatchInsert {
public:
  TBatchInsert(Connection& c, const QString& target, const QStringList& columns,
               const QStringList& names, const QStringList& types, const QStringList& values)
      : Conn(c), Names(names) {
    QStringList declared;
    for (qsizetype i = 0; i < names.size(); ++i)
      declared << Connection::Ident(names[i]) + " " + types[i];
    Sql = QString("INSERT INTO %1 (%2) SELECT %3 FROM json_to_recordset($1::json) AS j(%4)")
              .arg(target, columns.join(", "), values.join(", "), declared.join(", "));
  }
  void Add(const std::vector<Param>& row) {
    Rows.StartRow();
    for (size_t i = 0; i < row.size(); ++i)
      Rows.Add(Names[qsizetype(i)], row[i]);
    if (Rows.Count() >= kRowsPerStatement) Flush();
  }
  // Sends what is left; the caller calls it before the rows are counted as written.
  void Flush() {
    if (Rows.Count() == 0) return;
    Conn.Exec(Sql, {Rows.Take()});
  }

private:
  static constexpr int kRowsPerStatement = 2000;
  Connection& Conn;
  const QStringList Names;
  QString Sql;
  TJsonRows Rows;
};

class TToPostgres {
public:
  TToPostgres(const QString& dir, Connection& c, const QString& schema, const TProgress& progress)
      : Dir(dir), Conn(c), SchemaName(schema), Schema(Connection::Ident(schema)),
        Progress(progress) {}

  TCopyReport Run() {
    Srid = AtlasSrid(Dir);
    Conn.Run("CREATE EXTENSION IF NOT EXISTS postgis");
    PrepareSchema(Conn, SchemaName);
    Conn.Run(
        QString("CREATE TABLE %1.vandrel_tables (path text PRIMARY KEY, pg_table text NOT NULL, "
                "kind text NOT NULL, key_fields integer NOT NULL, records bigint NOT NULL, "
                "options text NOT NULL, fields text NOT NULL);"
                "CREATE TABLE %1.vandrel_geometry (path text PRIMARY KEY, pg_table text NOT NULL, "
                "header bytea NOT NULL, shape_type integer NOT NULL, srid integer NOT NULL, "
                "has_index boolean NOT NULL);"
                "CREATE TABLE %1.vandrel_files (path text PRIMARY KEY, content bytea NOT NULL);"
                // Each table's, geometry file's and file's count of changes: what a reader
                // compares to know whether what it keeps is still so.
                "CREATE TABLE %1.vandrel_changes (path text PRIMARY KEY, stamp bigint NOT NULL);"
                // A shape changed by any client leaves the record's own bytes behind.
                "CREATE FUNCTION %1.vandrel_shape_changed() RETURNS trigger LANGUAGE plpgsql AS "
                "$$ BEGIN IF NEW.shape IS DISTINCT FROM OLD.shape THEN NEW.content := NULL; "
                "END IF; RETURN NEW; END $$;"
                // Every statement that changes a table tells the listeners which one, on the
                // channel of the schema (the payload is the table's path in the atlas).
                // The count is the definer's to change, so that a user granted a table's
                // writes needs no grant on the counts.
                "CREATE FUNCTION %1.vandrel_count(changed text) RETURNS void LANGUAGE sql "
                "SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS "
                "$$ INSERT INTO %1.vandrel_changes VALUES (changed, 1) ON CONFLICT (path) DO "
                "UPDATE SET stamp = %1.vandrel_changes.stamp + 1; SELECT pg_notify(%2, changed) "
                "$$;"
                "CREATE FUNCTION %1.vandrel_notify() RETURNS trigger LANGUAGE plpgsql AS "
                "$$ BEGIN PERFORM %1.vandrel_count(TG_ARGV[0]); RETURN NULL; END $$;"
                "CREATE FUNCTION %1.vandrel_file_changed() RETURNS trigger LANGUAGE plpgsql AS "
                "$$ BEGIN IF TG_OP <> 'INSERT' THEN PERFORM %1.vandrel_count(OLD.path); END IF; "
                "IF TG_OP <> 'DELETE' THEN PERFORM %1.vandrel_count(NEW.path); END IF; "
                "RETURN NULL; END $$;"
                "CREATE TRIGGER vandrel_file_changed AFTER INSERT OR UPDATE OR DELETE ON "
                "%1.vandrel_files FOR EACH ROW EXECUTE FUNCTION %1.vandrel_file_changed();")
            .arg(Schema, "'" + NotifyChannel(SchemaName) + "'"));
    for (const char* folder : kFolders) {
      const QString root = Dir + "/" + folder;
      if (!QFileInfo(root).isDir()) continue;
      QStringList files;
      for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        files << it.next();
      files.sort();
      for (const QString& path : files)
        CopyFile(path, QString(folder) + "/" + QDir(root).relativeFilePath(path));
    }
    return Report;
  }

private:
  void Say(const QString& what) {
    if (Progress) Progress(what);
  }

  void CopyFile(const QString& path, const QString& rel) {
    switch (RoleOf(rel)) {
    case FileRole::Table:
      Say(rel);
      CopyTable(path, rel);
      break;
    case FileRole::Geometry:
      Say(rel);
      CopyGeometry(path, rel);
      break;
    case FileRole::Companion:
      if (QFileInfo(rel).suffix().toLower().startsWith('x') ||
          QFileInfo(rel).suffix().toLower().startsWith('y'))
        Report.Notes << QString::fromUtf8("%1: вторинний індекс Paradox не перенесено (таблицю "
                                          "з нього впорядковує запит)")
                            .arg(rel);
      break;
    case FileRole::Other:
      Conn.Exec(QString("INSERT INTO %1.vandrel_files (path, content) VALUES ($1, $2)").arg(Schema),
                {rel.toUtf8(), Connection::Bytea(ReadWhole(path))});
      ++Report.Files;
      break;
    }
  }

  void CopyTable(const QString& path, const QString& rel) {
    const QFileInfo info(path);
    db::Table table(info.absolutePath(), info.fileName());
    table.Open();
    const std::vector<db::FieldDef>& fields = table.FieldDefs();
    const bool dbase = info.suffix().toLower() == "dbf";
    QJsonObject options;
    int64_t records = table.RecordCount();
    base::CodePage codePage = base::CodePage::Cp1251;
    if (dbase) {
      const auto file = db::DbaseFile::Open(path);
      codePage = file->TextCodePage();
      options["code_page"] = base::CodePageName(file->TextCodePage());
      // Deleted records keep their numbers: the geometry's record k is the table's record k.
      for (const int64_t location : file->ReadLocations())
        records = std::max(records, location + 1);
    } else {
      const auto file = db::ParadoxFile::Open(path);
      const auto& h = file->TableHeader();
      options["version"] = h.Version >= 70 ? 70 : 50;
      options["code_page"] = h.CodePage ? h.CodePage : 1251;
      codePage = base::CodePageFromNumber(h.CodePage ? h.CodePage : 1251, base::CodePage::Cp1251);
      options["block_kib"] = std::max(1, h.BlockSize / 1024);
    }
    const int keys = table.KeyFieldCount();
    // Rows first, so that a key field left empty can be seen before the key is declared.
    std::vector<std::pair<int64_t, std::vector<db::Value>>> rows;
    std::vector<size_t> all(fields.size());
    std::iota(all.begin(), all.end(), 0);
    table.ReadColumns(all, [&](size_t position, const std::vector<db::Value>& values) {
      rows.emplace_back(dbase ? table.RecordOfPosition(int(position)) : int64_t(position), values);
    });
    bool keyWhole = keys > 0;
    for (const auto& [row, values] : rows)
      for (int k = 0; k < keys; ++k)
        keyWhole = keyWhole && !db::IsNull(values[size_t(k)]);
    if (keys > 0 && !keyWhole)
      Report.Notes << QString::fromUtf8("%1: ключове поле порожнє в якомусь рядку: первинним "
                                        "ключем у базі став vandrel_row")
                          .arg(rel);
    const QString name = PgName(rel, Counter);
    QStringList defined, key;
    for (size_t f = 0; f < fields.size(); ++f) {
      defined << Connection::Ident(fields[f].Name) + " " + PgType(fields[f], dbase) +
                     PgFitCheck(fields[f], dbase, codePage);
      if (int(f) < keys) key << Connection::Ident(fields[f].Name);
    }
    const QString target = Schema + "." + Connection::Ident(name);
    Conn.Run(QString("CREATE TABLE %1 (%2, vandrel_row bigint NOT NULL UNIQUE, vandrel_version "
                     "bigint NOT NULL DEFAULT 1, PRIMARY KEY (%3))")
                 .arg(target, defined.join(", "), keyWhole ? key.join(", ") : "vandrel_row"));
    Notifying(target, rel);
    QStringList columns, names, types, values;
    for (const db::FieldDef& f : fields) {
      columns << Connection::Ident(f.Name);
      names << f.Name;
      types << PgType(f, dbase);
      values << "j." + Connection::Ident(f.Name);
    }
    columns << "vandrel_row";
    names << "vandrel_row";
    types << "bigint";
    values << "j.vandrel_row";
    TBatchInsert insert(Conn, target, columns, names, types, values);
    for (const auto& [row, rowValues] : rows) {
      std::vector<Param> params;
      for (const db::Value& v : rowValues)
        params.push_back(ToParam(v));
      params.push_back(QByteArray::number(qlonglong(row)));
      insert.Add(params);
    }
    insert.Flush();
    Conn.Exec(
        QString("INSERT INTO %1.vandrel_tables VALUES ($1, $2, $3, $4, $5, $6, $7)").arg(Schema),
        {rel.toUtf8(), name.toUtf8(), QByteArray(dbase ? "dbase" : "paradox"),
         QByteArray::number(keys), QByteArray::number(qlonglong(records)),
         QJsonDocument(options).toJson(QJsonDocument::Compact),
         QJsonDocument(FieldsToJson(fields)).toJson(QJsonDocument::Compact)});
    ++Report.Tables;
    Report.Rows += int(rows.size());
  }

  void CopyGeometry(const QString& path, const QString& rel) {
    const QByteArray bytes = ReadWhole(path);
    TGeometryFile file(path);
    const QString name = PgName(rel, Counter);
    const QString target = Schema + "." + Connection::Ident(name);
    const int32_t shapeType =
        bytes.size() >= 36 ? int32_t(base::GetU32LE(
                                 reinterpret_cast<const unsigned char*>(bytes.constData()) + 32))
                           : 0;
    Conn.Run(QString("CREATE TABLE %1 (record integer PRIMARY KEY, shape geometry, box box2d, "
                     "content bytea, vandrel_version bigint NOT NULL DEFAULT 1);"
                     "CREATE INDEX ON %1 USING gist (shape);"
                     "CREATE TRIGGER vandrel_shape_changed BEFORE UPDATE ON %1 FOR EACH ROW "
                     "EXECUTE FUNCTION %2.vandrel_shape_changed();")
                 .arg(target, Schema));
    Notifying(target, rel);
    TBatchInsert insert(Conn, target, {"record", "shape", "box", "content"},
                        {"record", "wkb", "xmin", "ymin", "xmax", "ymax", "content"},
                        {"integer", "bytea", "float8", "float8", "float8", "float8", "bytea"},
                        {"j.record", QString("ST_GeomFromWKB(j.wkb, %1)").arg(Srid),
                         "ST_MakeBox2D(ST_Point(j.xmin, j.ymin), ST_Point(j.xmax, j.ymax))",
                         "j.content"});
    TGeometryFile::Record r;
    int unknown = 0;
    while (file.Next(r)) {
      const QByteArray content = bytes.mid(r.Offset + 8, r.ContentBytes);
      const std::optional<QByteArray> wkb = RecordToWkb(content);
      if (!wkb && r.ShapeType != 0) ++unknown;
      const auto number = [](double v) { return Param(QByteArray::number(v, 'g', 17)); };
      insert.Add({QByteArray::number(r.Index), wkb ? Param(Connection::Bytea(*wkb)) : Param(),
                  r.HasBox ? number(r.XMin) : Param(), r.HasBox ? number(r.YMin) : Param(),
                  r.HasBox ? number(r.XMax) : Param(), r.HasBox ? number(r.YMax) : Param(),
                  Connection::Bytea(content)});
      ++Report.Records;
    }
    insert.Flush();
    if (unknown)
      Report.Notes << QString::fromUtf8("%1: %2 записів типу, якого PostGIS тут не показує "
                                        "(їхні байти збережено)")
                          .arg(rel)
                          .arg(unknown);
    const bool hasIndex = QFileInfo::exists(QFileInfo(path).path() + "/" +
                                            QFileInfo(path).completeBaseName() + ".shx");
    Conn.Exec(
        QString("INSERT INTO %1.vandrel_geometry VALUES ($1, $2, $3, $4, $5, $6)").arg(Schema),
        {rel.toUtf8(), name.toUtf8(), Connection::Bytea(bytes.left(100)),
         QByteArray::number(shapeType), QByteArray::number(Srid),
         QByteArray(hasIndex ? "true" : "false")});
    ++Report.GeometryFiles;
  }

  // Tells the schema's listeners of every statement that changes the table.
  void Notifying(const QString& target, const QString& rel) {
    QString payload = rel;
    payload.replace('\'', "''");
    Conn.Run(QString("CREATE TRIGGER vandrel_notify AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE "
                     "ON %1 FOR EACH STATEMENT EXECUTE FUNCTION %2.vandrel_notify('%3')")
                 .arg(target, Schema, payload));
  }

  const QString Dir;
  Connection& Conn;
  const QString SchemaName, Schema;
  const TProgress& Progress;
  int Srid = 0, Counter = 0;
  TCopyReport Report;
};

class TToFiles {
public:
  TToFiles(Connection& c, const QString& schema, const QString& dir, const TProgress& progress)
      : Conn(c), Schema(Connection::Ident(schema)), Dir(dir), Progress(progress) {}

  TCopyReport Run() {
    for (const auto& row :
         Conn.Exec(QString("SELECT path, pg_table, kind, key_fields, records, options, fields "
                           "FROM %1.vandrel_tables ORDER BY path")
                       .arg(Schema))
             .Rows)
      WriteTable(row);
    for (const auto& row : Conn.Exec(QString("SELECT path, pg_table, header, shape_type, has_index "
                                             "FROM %1.vandrel_geometry ORDER BY path")
                                         .arg(Schema))
                               .Rows)
      WriteGeometry(row);
    for (const auto& row :
         Conn.Exec(QString("SELECT path, content FROM %1.vandrel_files ORDER BY path").arg(Schema))
             .Rows) {
      Write(QString::fromUtf8(*row[0]), Connection::FromBytea(*row[1]));
      ++Report.Files;
    }
    return Report;
  }

private:
  QString Target(const QString& rel) {
    CheckAtlasPath(rel);
    const QString path = Dir + "/" + rel;
    QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
  }

  // Flushed and closed here, so that a full disk, which may show only then, is said.
  void Write(const QString& rel, const QByteArray& bytes) {
    QFile file(Target(rel));
    bool written =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
    file.close();
    written = written && file.error() == QFileDevice::NoError;
    if (!written)
      throw base::FileError(file.fileName(),
                            QString::fromUtf8("не записується: ") + file.errorString());
  }

  void WriteTable(const std::vector<Param>& row) {
    const QString rel = QString::fromUtf8(*row[0]);
    if (Progress) Progress(rel);
    const QString table = Schema + "." + Connection::Ident(QString::fromUtf8(*row[1]));
    const bool dbase = *row[2] == "dbase";
    const int keys = row[3]->toInt();
    const int64_t records = row[4]->toLongLong();
    const QJsonObject options = QJsonDocument::fromJson(*row[5]).object();
    const std::vector<db::FieldDef> fields = FieldsFromJson(*row[6]);
    QStringList names;
    for (const db::FieldDef& f : fields)
      names << Connection::Ident(f.Name);
    const Result result = Conn.Exec(QString("SELECT vandrel_row, %1 FROM %2 ORDER BY vandrel_row")
                                        .arg(names.join(", "), table));
    std::vector<std::pair<int64_t, std::vector<db::Value>>> rows;
    for (const auto& r : result.Rows) {
      std::vector<db::Value> values;
      for (size_t f = 0; f < fields.size(); ++f)
        values.push_back(FromParam(r[f + 1], fields[f].Type));
      rows.emplace_back(r[0]->toLongLong(), std::move(values));
    }
    const QString path = Target(rel);
    if (!dbase) {
      std::vector<std::vector<db::Value>> values;
      for (auto& [n, v] : rows)
        values.push_back(std::move(v));
      db::ParadoxCreateOptions o;
      o.Version = options["version"].toInt(70);
      o.CodePage = options["code_page"].toInt(1251);
      o.BlockSizeKiB = options["block_kib"].toInt(4);
      db::ParadoxFile::Create(path, fields, keys, values, o);
    } else {
      WriteDbase(path, fields, rows, records, options["code_page"].toString());
    }
    ++Report.Tables;
    Report.Rows += int(rows.size());
  }

  // Rows at their record numbers; the numbers no row holds are written as deleted records, so
  // that the geometry's record k stays the table's record k.
  static void WriteDbase(const QString& path, const std::vector<db::FieldDef>& fields,
                         const std::vector<std::pair<int64_t, std::vector<db::Value>>>& rows,
                         int64_t records, const QString& codePageName) {
    int64_t count = records;
    for (const auto& [n, v] : rows)
      count = std::max(count, n + 1);
    std::vector<std::vector<db::Value>> all(size_t(count), std::vector<db::Value>(fields.size()));
    std::vector<bool> live(size_t(count), false);
    for (const auto& [n, v] : rows)
      if (n >= 0) all[size_t(n)] = v, live[size_t(n)] = true;
    base::CodePage cp = base::CodePage::Cp1251;
    base::CodePageFromName(codePageName, cp);
    db::DbaseFile::Create(path, fields, all, cp);
    if (std::all_of(live.begin(), live.end(), [](bool b) { return b; })) return;
    const auto file = db::DbaseFile::Open(path);
    std::vector<db::RowSlot> listed;
    for (const int64_t location : file->ReadLocations())
      listed.push_back({uint64_t(listed.size() + 1), location});
    for (size_t i = listed.size(); i-- > 0;)
      if (!live[size_t(listed[i].Location)]) file->DeleteRow(listed, i);
  }

  void WriteGeometry(const std::vector<Param>& row) {
    const QString rel = QString::fromUtf8(*row[0]);
    if (Progress) Progress(rel);
    const QString table = Schema + "." + Connection::Ident(QString::fromUtf8(*row[1]));
    const int shapeType = row[3]->toInt();
    const bool hasIndex = *row[4] == "t";
    const TGeometryBytes made =
        ReadGeometryTable(Conn, table, Connection::FromBytea(*row[2]), shapeType);
    if (made.Rewritten)
      Report.Notes << QString::fromUtf8("%1: фігури, змінені в базі, записано з них; рамку "
                                        "заголовка файлу лишено")
                          .arg(rel);
    Report.Records += int(made.Index.size() - 100) / 8;
    Write(rel, made.Main);
    if (hasIndex)
      Write(QFileInfo(rel).path() + "/" + QFileInfo(rel).completeBaseName() + ".shx", made.Index);
    ++Report.GeometryFiles;
  }

  Connection& Conn;
  const QString Schema, Dir;
  const TProgress& Progress;
  TCopyReport Report;
};

} // namespace

QString NotifyChannel(const QString& schema) {
  return "vandrel_" + schema;
}

TCopyReport CopyAtlasToFiles(const QString& uri, const QString& schema, const QString& atlasDir,
                             const TProgress& progress) {
  CheckSchemaName(schema);
  const QFileInfo target(atlasDir);
  if (target.exists() && !(target.isDir() && QDir(atlasDir).isEmpty()))
    throw base::FileError(atlasDir, QString::fromUtf8("вже існує і не порожня: атлас пишеться "
                                                      "лише в нову папку"));
  // Written beside the target and put in its place when whole.
  const QString partial =
      target.absolutePath() + "/." + target.fileName() + ".partial-" + QString::number(getpid());
  QDir(partial).removeRecursively();
  try {
    Connection c(uri);
    Transaction t(c); // one snapshot of the database for the whole copy
    c.Run("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY");
    TCopyReport report = TToFiles(c, schema, partial, progress).Run();
    if (target.exists()) QDir().rmdir(atlasDir);
    if (!QDir().rename(partial, atlasDir))
      throw base::FileError(atlasDir, QString::fromUtf8("не вдалося поставити на місце"));
    return report;
  } catch (...) {
    QDir(partial).removeRecursively();
    throw;
  }
}

TCopyReport CopyAtlasToPostgres(const QString& atlasDir, const QString& uri, const QString& schema,
                                const TProgress& progress) {
  CheckSchemaName(schema);
  if (!QFileInfo(atlasDir + "/BASE").isDir())
    throw base::FileError(atlasDir, QString::fromUtf8("немає папки BASE: це не атлас"));
  Connection c(uri);
  Transaction t(c);
  // The paths kept are relative to the atlas's own folder, whatever folder the copy runs from.
  TCopyReport report = TToPostgres(QDir(atlasDir).absolutePath(), c, schema, progress).Run();
  t.Commit();
  return report;
}

} // namespace pg
