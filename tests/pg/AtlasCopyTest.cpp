// An atlas in PostgreSQL, against a real PostgreSQL 15 with PostGIS started by each test: the demo
// atlas (with a deleted dBase record) goes in with `vandrel-atlas` and comes back with every
// table's rows, every dBase record's number, every geometry file and every other file as they
// were; a shape changed by SQL comes back moved; every demo shape survives WKB; a folder in use
// and a server that is not there are refused. Through the table cursor and `vandrel-tables`: the
// same rows as the files, writes by the row's version (a stale one refused), keys kept, a
// read-only user refused, a statement in one transaction; notifications of every change; four
// writer processes at once lose nothing.

#include "AtlasWriter.h"
#include "PostgresServer.h"

#include "db/Error.h"
#include "db/Table.h"
#include "layers/GeometryFile.h"
#include "pg/AtlasCopy.h"
#include "pg/Connection.h"
#include "pg/RowBuffer.h"
#include "pg/TableStore.h"
#include "pg/Wkb.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

int Atlas(const QStringList& args, QString* errors = nullptr) {
  QProcess p;
  p.start(VANDREL_ATLAS, args);
  if (!p.waitForFinished(300000)) return -1;
  if (errors) *errors = QString::fromUtf8(p.readAllStandardError());
  return p.exitCode();
}

QByteArray Bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The files of the atlas's four folders (the program's own HELP and SAVE are not the atlas).
QStringList FilesUnder(const QString& dir) {
  QStringList files;
  for (const char* folder : {"BASE", "MAPS", "REFERENSE", "USER_OBJ"})
    for (QDirIterator it(dir + "/" + folder, QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();)
      files << QDir(dir).relativeFilePath(it.next());
  files.sort();
  return files;
}

// Every row of a table with its record number, as text.
QStringList Rows(const QString& dir, const QString& name) {
  db::Table t(dir, name);
  t.Open();
  QStringList rows;
  std::vector<size_t> all(t.FieldDefs().size());
  for (size_t f = 0; f < all.size(); ++f)
    all[f] = f;
  t.ReadColumns(all, [&](size_t position, const std::vector<db::Value>& values) {
    QString row = QString::number(t.RecordOfPosition(int(position)));
    for (const db::Value& v : values)
      row += "|" + db::ValueToString(v);
    rows << row;
  });
  return rows;
}

} // namespace

TEST(AtlasInPostgres, TheDemoAtlasGoesInAndComesBackAsItWas) {
  TPostgresServer server;
  ASSERT_TRUE(server.Started()) << server.Log().toStdString();
  QTemporaryDir dir;
  const QString atlas = dir.path() + "/city", back = dir.path() + "/back";
  demo::WriteAtlas(atlas, 1, 11);
  {
    db::Table buildings(atlas + "/MAPS", "Buildings.dbf");
    buildings.Open();
    buildings.SetRecNo(4);
    buildings.Delete(); // its geometry record stays: record numbers must not move
  }
  QString errors;
  ASSERT_EQ(Atlas({"to-postgres", atlas, server.Uri()}, &errors), 0) << errors.toStdString();
  EXPECT_EQ(server.Sql("SELECT count(*) FROM atlas.\"MAPS/Buildings.dbf\""),
            QString::number(Rows(atlas + "/MAPS", "Buildings.dbf").size()));
  EXPECT_EQ(server.Sql("SELECT ST_SRID(shape) FROM atlas.\"MAPS/Water.mds\" LIMIT 1"), "32636");
  ASSERT_EQ(Atlas({"to-files", server.Uri(), back}, &errors), 0) << errors.toStdString();
  // The same files, tables with the same rows at the same record numbers, every other file
  // byte for byte (the tables' own bytes may differ: a table is written anew).
  const QStringList files = FilesUnder(atlas);
  ASSERT_EQ(FilesUnder(back).join('\n').toStdString(), files.join('\n').toStdString());
  int tables = 0;
  for (const QString& rel : files) {
    const QString suffix = QFileInfo(rel).suffix().toLower();
    if (suffix == "db" || suffix == "dbf") {
      ++tables;
      const QString folder = atlas + "/" + QFileInfo(rel).path(),
                    again = back + "/" + QFileInfo(rel).path(), name = QFileInfo(rel).fileName();
      EXPECT_EQ(Rows(again, name), Rows(folder, name)) << rel.toStdString();
    } else if (suffix != "px" && suffix != "mb") {
      EXPECT_EQ(Bytes(back + "/" + rel), Bytes(atlas + "/" + rel)) << rel.toStdString();
    }
  }
  EXPECT_GT(tables, 10);
  // A shape moved by another client's SQL comes back moved, its record made from the shape.
  server.Sql("UPDATE atlas.\"MAPS/Buildings.mds\" SET shape = ST_Translate(shape, 100, 0) "
             "WHERE record = 0");
  const QString moved = dir.path() + "/moved";
  ASSERT_EQ(Atlas({"to-files", server.Uri(), moved}, &errors), 0) << errors.toStdString();
  TGeometryFile before(atlas + "/MAPS/Buildings.mds"), after(moved + "/MAPS/Buildings.mds");
  TGeometryFile::Record a, b;
  ASSERT_TRUE(before.Next(a) && after.Next(b));
  EXPECT_DOUBLE_EQ(b.XMin, a.XMin + 100);
  EXPECT_DOUBLE_EQ(b.YMax, a.YMax);
  // Refusals: a folder that holds something, a server that is not there.
  EXPECT_EQ(Atlas({"to-files", server.Uri(), atlas}), 1);
  EXPECT_EQ(Atlas({"to-postgres", atlas, "postgresql:///atlas?host=/nowhere&port=5433"}, &errors),
            1);
  EXPECT_TRUE(errors.contains("PostgreSQL")) << errors.toStdString();
  EXPECT_FALSE(QFileInfo::exists(dir.path() + "/nothing"));
}

// Every record of the demo's geometry files (buildings with courtyards and outbuildings, bent
// streets, points) made into WKB and back is the record it was.
TEST(AtlasInPostgres, EveryDemoShapeComesBackFromWkbAsItWas) {
  QTemporaryDir dir;
  demo::WriteAtlas(dir.path(), 1, 11);
  for (const char* name :
       {"Buildings.mds", "Water.mds", "Streets.mds", "Geodesy.mds", "Hydro.mds"}) {
    const QString path = dir.path() + "/MAPS/" + name;
    const QByteArray bytes = Bytes(path);
    TGeometryFile file(path);
    TGeometryFile::Record r;
    int records = 0;
    while (file.Next(r)) {
      const QByteArray content = bytes.mid(r.Offset + 8, r.ContentBytes);
      const auto wkb = pg::RecordToWkb(content);
      ASSERT_TRUE(wkb) << name << " record " << r.Index;
      ASSERT_EQ(pg::WkbToRecord(*wkb, r.ShapeType), content) << name << " record " << r.Index;
      ++records;
    }
    EXPECT_GT(records, 1) << name;
  }
}

namespace {

// The demo atlas imported into a server of its own.
class DatabaseAtlas : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(server.Started()) << server.Log().toStdString();
    demo::WriteAtlas(dir.path(), 1, 11);
    ASSERT_EQ(Atlas({"to-postgres", dir.path(), server.Uri()}), 0);
  }
  TPostgresServer server;
  QTemporaryDir dir;
};

QString Tables(const QStringList& args) {
  QProcess p;
  p.start(VANDREL_TABLES, args);
  p.waitForFinished(120000);
  return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

// Sets the pipe's DIAMETER in the row being edited and expects Post to be refused, saying `why`;
// the edit is cancelled.
void ExpectPostRefused(db::Table& table, int diameter, const char* why, const char* what) {
  table.FieldByName("DIAMETER").SetAsInteger(diameter);
  try {
    table.Post();
    ADD_FAILURE() << what;
  } catch (const db::Error& e) {
    EXPECT_TRUE(QString(e.what()).contains(QString::fromUtf8(why))) << e.what();
  }
  table.Cancel();
}

// A dump without its first line (the table's place and kind).
QString Body(const QString& dump) {
  return dump.section('\n', 1);
}

} // namespace

// The tables of an atlas in the database through the table cursor and `vandrel-tables`: the same
// rows as the files; a change posted by one cursor is refused to another that read the row
// before it (its other rows still take changes); a key that would repeat is refused; a
// statement of the SQL module is written in one transaction.
TEST_F(DatabaseAtlas, TheCursorReadsAndWritesTheDatabasesTablesByTheRowsVersion) {
  pg::RegisterPostgresAtlas();
  const QString maps = server.Uri() + "#MAPS", base = server.Uri() + "#BASE";
  EXPECT_TRUE(Tables({"list", maps}).contains("Water.dbf\tPostgreSQL (dBase)"));
  for (const auto& [folder, table] : {std::pair{QString("MAPS"), QString("Water.dbf")},
                                      {"MAPS", "WaterWells.db"},
                                      {"BASE", "ClassReest.DB"},
                                      {"BASE", "dictionary.db"}})
    EXPECT_EQ(Body(Tables({"dump", server.Uri() + "#" + folder, table})),
              Body(Tables({"dump", dir.path() + "/" + folder, table})))
        << table.toStdString();
  // Two cursors read the pipes; the first changes pipe row 3, the second's change of the same
  // row is refused, its change of another row is written.
  db::Table a(maps, "Water.dbf"), b(maps, "Water.dbf");
  a.Open();
  b.Open();
  a.SetRecNo(3);
  a.Edit();
  a.FieldByName("DIAMETER").SetAsInteger(999);
  a.Post();
  b.SetRecNo(3);
  b.Edit();
  ExpectPostRefused(b, 111, "інший користувач",
                    "a change of a row changed since it was read was written");
  b.SetRecNo(5);
  b.Edit();
  b.FieldByName("DIAMETER").SetAsInteger(555);
  b.Post();
  EXPECT_EQ(
      server.Sql("SELECT \"DIAMETER\" || ',' || vandrel_version FROM atlas.\"MAPS/Water.dbf\" "
                 "WHERE vandrel_row IN (2, 4) ORDER BY vandrel_row"),
      "999,2\n555,2");
  // A keyed table (the layers, keyed by Level): a new row is listed, a repeated key refused.
  db::Table layers(base, "ClassReest.DB");
  layers.Open();
  const int count = layers.RecordCount();
  ASSERT_EQ(layers.KeyFieldCount(), 1);
  for (int round = 0; round < 2; ++round) {
    layers.Append();
    layers.FieldByName("Level").SetAsInteger(count + 1000);
    layers.FieldByName("Category").SetAsInteger(200);
    layers.FieldByName("Class").SetAsInteger(1);
    layers.FieldByName("ClassName").SetAsString(QString::fromUtf8("Нові мережі"));
    if (round == 0) {
      layers.Post();
      EXPECT_EQ(layers.RecordCount(), count + 1);
    } else {
      EXPECT_THROW(layers.Post(), db::Error) << "the same key again";
      layers.Cancel();
    }
  }
  db::Table again(base, "ClassReest.DB");
  again.Open();
  EXPECT_EQ(again.RecordCount(), count + 1) << "another cursor reads the new row";
  // A user the server lets only read: refused every write, with the reason, nothing sent.
  server.Sql("CREATE ROLE reader LOGIN; GRANT USAGE ON SCHEMA atlas TO reader; "
             "GRANT SELECT ON ALL TABLES IN SCHEMA atlas TO reader");
  QString asReader = maps;
  asReader.replace("user=postgres", "user=reader");
  db::Table read(asReader, "Water.dbf");
  read.Open();
  EXPECT_EQ(read.RecordCount(), a.RecordCount());
  read.Edit();
  ExpectPostRefused(read, 1, "reader може лише читати", "a reader's change was written");
  // A session the server keeps read-only, as a replica's: every write refused, said so.
  server.Sql("CREATE ROLE viewer LOGIN; GRANT USAGE ON SCHEMA atlas TO viewer; "
             "GRANT ALL ON ALL TABLES IN SCHEMA atlas TO viewer; "
             "ALTER ROLE viewer SET default_transaction_read_only = on");
  QString asViewer = maps;
  asViewer.replace("user=postgres", "user=viewer");
  db::Table view(asViewer, "Water.dbf");
  view.Open();
  view.Edit();
  ExpectPostRefused(view, 2, "лише читання", "a read-only session's change was written");
  // The SQL module's statement: every row it changes in one transaction.
  const QString changed = Tables({"sql", maps,
                                  "UPDATE \"Water.dbf\" SET MATERIAL = 'чавун' "
                                  "WHERE DIAMETER = 50"});
  EXPECT_EQ(server.Sql("SELECT count(*) FROM atlas.\"MAPS/Water.dbf\" WHERE \"DIAMETER\" = 50 "
                       "AND \"MATERIAL\" <> 'чавун'"),
            "0")
      << changed.toStdString();
}

// Another user's change is told to a listener at once, without asking the server again and
// again: each statement that changes a table of the atlas notifies the schema's channel with the
// table's path.
TEST_F(DatabaseAtlas, AChangeIsToldToTheListenersOfTheAtlas) {
  pg::Connection listener(server.Uri());
  listener.Listen(pg::NotifyChannel("atlas"));
  EXPECT_TRUE(listener.Notifications(0).empty());
  // Another process changes a pipe's row and a building's shape.
  server.Sql("UPDATE atlas.\"MAPS/Water.dbf\" SET \"DIAMETER\" = 400 WHERE vandrel_row = 7");
  server.Sql("UPDATE atlas.\"MAPS/Buildings.mds\" SET shape = ST_Translate(shape, 1, 0) "
             "WHERE record = 3");
  std::vector<QString> told;
  for (int wait = 0; wait < 20 && told.size() < 2; ++wait)
    for (const QString& payload : listener.Notifications(500))
      told.push_back(payload);
  EXPECT_EQ(told, (std::vector<QString>{"MAPS/Water.dbf", "MAPS/Buildings.mds"}));
}

// Four processes change the same rows at once through the database: each statement is written
// whole or refused and said (a row another one changed since it was read), and no change that
// was reported written is lost.
TEST_F(DatabaseAtlas, WritersAtOnceLoseNothingAndAreRefusedAsAWhole) {
  const QString sum =
      "SELECT sum(\"YEAR\") FROM atlas.\"MAPS/Water.dbf\" WHERE \"OBJECTCODE\" < 40";
  const qlonglong before = server.Sql(sum).toLongLong();
  const int rows = server
                       .Sql("SELECT count(*) FROM atlas.\"MAPS/Water.dbf\" WHERE \"OBJECTCODE\" "
                            "< 40")
                       .toInt();
  std::vector<std::unique_ptr<QProcess>> writers;
  for (int k = 0; k < 4; ++k) {
    auto& p = writers.emplace_back(std::make_unique<QProcess>());
    p->start(VANDREL_TABLES, {"sql", server.Uri() + "#MAPS",
                              "UPDATE \"Water.dbf\" SET YEAR = YEAR + 1 WHERE OBJECTCODE < 40"});
  }
  int written = 0;
  for (auto& p : writers) {
    ASSERT_TRUE(p->waitForFinished(120000));
    const QString said = QString::fromUtf8(p->readAllStandardOutput() + p->readAllStandardError());
    if (p->exitCode() == 0)
      ++written;
    else
      EXPECT_TRUE(said.contains(QString::fromUtf8("інший користувач"))) << said.toStdString();
  }
  EXPECT_GE(written, 1);
  EXPECT_EQ(server.Sql(sum).toLongLong(), before + qlonglong(written) * rows);
}

// The rows kept as read: every kind of value comes back as it went in, one field or the whole
// row, and bytes that are not whole rows (a kept file cut short) are refused, not misread.
TEST(RowBuffer, EveryKindOfValueComesBackAndCutBytesAreRefused) {
  const std::vector<db::Value> values{db::Value(),
                                      true,
                                      int64_t(-7),
                                      2.5,
                                      QString::fromUtf8("вул. Шевченка"),
                                      QByteArray("\0\1blob", 6),
                                      QDate(2026, 12, 10),
                                      QTime(13, 45, 7, 250),
                                      QDateTime(QDate(1999, 1, 2), QTime(3, 4, 5)),
                                      QDate()};
  const std::vector<pg::TKeptRow> rows{{5, 2, values}, {9, 1, std::vector<db::Value>(10)}};
  const QByteArray bytes = pg::TRowBuffer::Encode(rows);
  pg::TRowBuffer buffer;
  ASSERT_TRUE(buffer.Take(bytes, values.size()));
  EXPECT_EQ(buffer.Locations(), (std::vector<int64_t>{5, 9}));
  EXPECT_EQ(buffer.Version(5), 2);
  EXPECT_EQ(buffer.Row(5), values);
  EXPECT_EQ(buffer.Value(5, 4), values[4]);
  EXPECT_TRUE(db::IsNull(buffer.Value(9, 3)));
  // The kept form is read in place from its mapping, with the rows' places it carries.
  QTemporaryDir dir;
  const auto mapped = [&](const QByteArray& content) {
    QFile file(dir.filePath("kept"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    auto map = std::make_shared<base::MappedFile>(file.fileName());
    return base::DerivedContent{map, map->Bytes()};
  };
  const QByteArray kept = buffer.KeptForm();
  pg::TRowBuffer fromKept;
  ASSERT_TRUE(fromKept.Take(mapped(kept), values.size()));
  EXPECT_EQ(fromKept.Locations(), (std::vector<int64_t>{5, 9}));
  EXPECT_EQ(fromKept.Row(5), values);
  EXPECT_EQ(fromKept.Version(9), 1);
  EXPECT_FALSE(fromKept.Take(mapped(kept.left(kept.size() - bytes.size() + 8)), values.size()))
      << "a row's place past the kept rows";
  // Kept rows of fewer fields than the table's: the missing values read as null, within bounds.
  ASSERT_TRUE(fromKept.Take(mapped(kept), values.size() + 3));
  EXPECT_TRUE(db::IsNull(fromKept.Value(9, values.size() + 2)));

  EXPECT_FALSE(buffer.Take(bytes.left(bytes.size() - 3), values.size()));
  EXPECT_FALSE(buffer.Take(bytes, values.size() + 1)) << "rows of another table's fields";
  EXPECT_TRUE(buffer.Locations().empty());
}

// What a stranger or a slip can do to the copies and the tools: a schema that holds a user's
// own table is never dropped; a copy run from inside the atlas's folder keeps the atlas's paths;
// a path stored in the database that leads out of the target is refused; a value the file could
// not hold is refused by the database and said, never the end of the program; a password in the
// URI never shows.
TEST_F(DatabaseAtlas, NothingOfTheUsersIsLostAndNothingLeavesItsFolder) {
  server.Sql("CREATE TABLE public.mine AS SELECT generate_series(1, 500) AS n");
  QString errors;
  EXPECT_EQ(Atlas({"to-postgres", dir.path(), server.Uri(), "--schema", "public"}, &errors), 1);
  EXPECT_TRUE(errors.contains("public.mine")) << errors.toStdString();
  EXPECT_EQ(server.Sql("SELECT count(*) FROM public.mine"), "500");
  EXPECT_EQ(Atlas({"to-postgres", dir.path(), server.Uri(), "--schema", "x'y"}, &errors), 1);

  QProcess relative;
  relative.setWorkingDirectory(dir.path());
  relative.start(VANDREL_ATLAS, {"to-postgres", ".", server.Uri(), "--schema", "again"});
  ASSERT_TRUE(relative.waitForFinished(300000));
  EXPECT_EQ(relative.exitCode(), 0) << relative.readAllStandardError().toStdString();
  EXPECT_TRUE(Tables({"list", server.Uri() + "#again/MAPS"}).contains("Water.dbf\t"));

  server.Sql("INSERT INTO atlas.vandrel_files VALUES ('BASE/../../escaped.txt', 'x')");
  QTemporaryDir out;
  EXPECT_EQ(Atlas({"to-files", server.Uri(), out.path() + "/copy"}, &errors), 1);
  EXPECT_TRUE(errors.contains("BASE/../../escaped.txt")) << errors.toStdString();
  EXPECT_FALSE(QFileInfo::exists(out.path() + "/../escaped.txt"));
  EXPECT_FALSE(QFileInfo::exists(out.path() + "/copy"));

  const QString secret = server.Uri() + "&password=s3cret";
  for (const QStringList& args :
       {QStringList{"sql", secret + "#MAPS", "UPDATE Water SET DIAMETER = 99999999999999"},
        QStringList{"sql", secret + "#MAPS", QString::fromUtf8("UPDATE address SET NAME = \"😀\"")},
        QStringList{"list", secret + "#nosuch/MAPS"}}) {
    QProcess p;
    p.start(VANDREL_TABLES, args);
    ASSERT_TRUE(p.waitForFinished(120000));
    const QString said = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << args.join(' ').toStdString();
    EXPECT_EQ(p.exitCode(), 1) << said.toStdString();
    EXPECT_FALSE(said.contains("s3cret")) << said.toStdString();
  }
  EXPECT_EQ(Body(Tables({"dump", server.Uri() + "#MAPS", "address.dbf"})),
            Body(Tables({"dump", dir.path() + "/MAPS", "address.dbf"})));

  // A value a copy without the checks took in is refused on the way back, never cut.
  server.Sql("DELETE FROM atlas.vandrel_files WHERE path LIKE '%..%'");
  server.Sql(
      "ALTER TABLE atlas.\"MAPS/address.dbf\" DROP CONSTRAINT \"MAPS/address.dbf_NAME_check\"");
  server.Sql(
      "UPDATE atlas.\"MAPS/address.dbf\" SET \"NAME\" = repeat('x', 200) WHERE vandrel_row = 3");
  EXPECT_EQ(Atlas({"to-files", server.Uri(), out.path() + "/copy"}, &errors), 1);
  EXPECT_TRUE(errors.contains("NAME")) << errors.toStdString();
  EXPECT_FALSE(QFileInfo::exists(out.path() + "/copy"));
}
