#pragma once
// An atlas copied whole between its folder tree of files and one PostgreSQL database, and back:
// every table of BASE, MAPS, REFERENSE and USER_OBJ (Paradox and dBase) a table of its own with
// its fields typed (texts UTF-8, blobs bytea), its key as the primary key (a surrogate key,
// vandrel_row, where the table has none or a row leaves a key field empty) and a row version;
// every geometry file a PostGIS table of its records (record number, shape, box, the record's
// own bytes) with a GiST index; every other file of those folders as bytes. Each direction is
// whole or not at all: one transaction into the database; a folder written beside the target
// and put in its place only when complete.
//
// Layout in the schema (named on the command line, "atlas" by default):
//   vandrel_tables(path, pg_table, kind, key_fields, records, options, fields)
//   vandrel_geometry(path, pg_table, header, shape_type, srid, has_index)
//   vandrel_files(path, content)
//   vandrel_changes(path, stamp): how many statements changed each table, geometry file and file
//   "<FOLDER>/<file>" per table and geometry file (names longer than PostgreSQL's 63 bytes are
//   numbered, the catalog keeps the path), each with a trigger that notifies the channel
//   NotifyChannel(schema) of every statement that changes it, the table's path as payload, and
//   counts it in vandrel_changes; a file of vandrel_files changed does the same.

#include <QString>
#include <QStringList>
#include <functional>

namespace pg {

struct TCopyReport {
  int Tables = 0, Rows = 0, GeometryFiles = 0, Records = 0, Files = 0;
  QStringList Notes; // what was not kept as it was, and why
};

using TProgress = std::function<void(const QString& what)>;

// The channel on which the tables of a schema tell their changes: "vandrel_<schema>".
QString NotifyChannel(const QString& schema);

// Raises pg::Error, db::Error or base::FileError naming the table, file or statement; nothing
// is left in the database then.
TCopyReport CopyAtlasToPostgres(const QString& atlasDir, const QString& uri, const QString& schema,
                                const TProgress& progress = {});
// Raises as above; `atlasDir` must not exist or be empty, and nothing is left there on failure.
TCopyReport CopyAtlasToFiles(const QString& uri, const QString& schema, const QString& atlasDir,
                             const TProgress& progress = {});

} // namespace pg
