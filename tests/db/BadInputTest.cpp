// Bad input: missing tables and fields, truncated or garbage .DB, .MB and .DBF files give a
// db::Error that names the file, never a crash or a hang, and never change a file.

#include "TestFiles.h"

#include "base/Warnings.h"
#include "db/DbaseFile.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace testing_support;

namespace {

// Opens and reads every value; returns the error message, or an empty string when it worked.
QString OpenAndReadAll(const QString& dir, const QString& name) {
  try {
    db::Table t(dir, name);
    t.Open();
    for (t.First(); !t.Eof(); t.Next())
      for (auto& f : t.Fields())
        (void)f.AsValue();
    return QString();
  } catch (const db::Error& e) {
    return e.Message;
  }
}

void ExpectRefusedNamingFile(const QString& dir, const QString& name,
                             const QString& fileInMessage) {
  const QByteArray before = ReadAll(dir + "/" + fileInMessage);
  const QString message = OpenAndReadAll(dir, name);
  EXPECT_FALSE(message.isEmpty()) << "accepted " << name.toStdString();
  EXPECT_TRUE(message.contains(fileInMessage)) << message.toStdString();
  EXPECT_EQ(ReadAll(dir + "/" + fileInMessage), before) << "the file was changed";
}

} // namespace

TEST(BadInput, MissingDirectoryTableAndField) {
  QTemporaryDir dir;
  EXPECT_TRUE(OpenAndReadAll(dir.path() + "/nowhere", "classreest")
                  .contains(QString::fromUtf8("не існує")));
  EXPECT_TRUE(OpenAndReadAll(dir.path(), "classreest.DB").contains(dir.path() + "/classreest.DB"));
}

TEST(BadInput, TruncatedParadoxTablesAtEveryLength) {
  QTemporaryDir dir;
  const QByteArray whole = ReadAll(CorpusPath("paradox/paradoxdriver/db/ORDERS.DB"));
  int refused = 0;
  // Every cut inside the header and at points through the data blocks.
  for (qsizetype cut = 0; cut < whole.size(); cut += cut < 0x900 ? 7 : 509) {
    WriteAll(dir.path() + "/cut.db", whole.left(cut));
    const QString message = OpenAndReadAll(dir.path(), "cut");
    if (!message.isEmpty()) {
      EXPECT_TRUE(message.contains("cut.db")) << message.toStdString();
      ++refused;
    }
  }
  EXPECT_GT(refused, 100);
}

TEST(BadInput, GarbageParadoxHeaderAndBlockChain) {
  QTemporaryDir dir;
  WriteAll(dir.path() + "/noise.db", QByteArray(4096, '\xA7'));
  ExpectRefusedNamingFile(dir.path(), "noise", "noise.db");

  // A block chain that loops back on itself must not hang the reader.
  QByteArray looped = ReadAll(CorpusPath("paradox/paradoxdriver/db/ORDERS.DB"));
  const int headerSize = uchar(looped[2]) | uchar(looped[3]) << 8;
  looped[headerSize] = 1; // block 1 says its next block is block 1
  looped[headerSize + 1] = 0;
  WriteAll(dir.path() + "/loop.db", looped);
  ExpectRefusedNamingFile(dir.path(), "loop", "loop.db");

  // A block that claims more records than it can hold.
  QByteArray overfull = ReadAll(CorpusPath("paradox/paradoxdriver/db/ORDERS.DB"));
  overfull[headerSize + 4] = char(0xFF);
  overfull[headerSize + 5] = char(0x7F);
  WriteAll(dir.path() + "/over.db", overfull);
  ExpectRefusedNamingFile(dir.path(), "over", "over.db");
}

TEST(BadInput, TruncatedAndGarbageBlobFiles) {
  QTemporaryDir dir;
  CopyCorpusTable("paradox/rparadox/mushrooms.db", dir.path());
  const QByteArray mb = ReadAll(dir.path() + "/mushrooms.mb");
  WriteAll(dir.path() + "/mushrooms.mb", mb.left(20000));
  ExpectRefusedNamingFile(dir.path(), "mushrooms", "mushrooms.mb");
  WriteAll(dir.path() + "/mushrooms.mb", QByteArray(mb.size(), '\x11'));
  ExpectRefusedNamingFile(dir.path(), "mushrooms", "mushrooms.mb");
  QFile::remove(dir.path() + "/mushrooms.mb");
  EXPECT_TRUE(
      OpenAndReadAll(dir.path(), "mushrooms").contains(QString::fromUtf8("файлу BLOB немає")));
}

TEST(BadInput, TruncatedAndGarbageDbaseFiles) {
  QTemporaryDir dir;
  const QByteArray whole = ReadAll(CorpusPath("shapefile/debian-php-shapefile/mexico.dbf"));
  for (qsizetype cut : {qsizetype(0), qsizetype(10), qsizetype(31), qsizetype(100), qsizetype(320),
                        whole.size() / 2, whole.size() - 2}) {
    WriteAll(dir.path() + "/mexico.dbf", whole.left(cut));
    ExpectRefusedNamingFile(dir.path(), "mexico.dbf", "mexico.dbf");
  }
  WriteAll(dir.path() + "/noise.dbf", QByteArray(2000, '\x5A'));
  ExpectRefusedNamingFile(dir.path(), "noise.dbf", "noise.dbf");
}

TEST(BadInput, AFailedRewriteLeavesTheTableAsItWas) {
  QTemporaryDir dir;
  const QString path = CopyCorpusTable("paradox/paradoxdriver/db/AREACODES.DB", dir.path());
  const QByteArray before = ReadAll(path);
  const QByteArray indexBefore = ReadAll(ParadoxSidePathForTest(path));
  db::Table t(dir.path(), "AREACODES");
  t.Open();
  t.Append();
  t.FieldByName("AC").SetAsString("001");
  // A file-size limit makes the rewrite fail half-way, as a full disc would (root included).
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 20000;
  setrlimit(RLIMIT_FSIZE, &small);
  bool raised = false;
  try {
    t.Post();
  } catch (const db::Error& e) {
    raised = true;
    EXPECT_TRUE(e.Message.contains("AREACODES.DB")) << e.Message.toStdString();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_TRUE(raised);
  EXPECT_EQ(ReadAll(path), before);
  EXPECT_EQ(ReadAll(ParadoxSidePathForTest(path)), indexBefore);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2)
      << "no temporary file is left";
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 370);
}

TEST(BadInput, AValueTheFieldCannotHoldIsRefusedBeforeAnythingIsWritten) {
  QTemporaryDir dir;
  const QString path = CopyCorpusTable("paradox/paradoxdriver/geog/tblsttes.DB", dir.path());
  const QByteArray before = ReadAll(path);
  db::Table t(dir.path(), "tblsttes");
  t.Open();
  t.Edit();
  t.FieldByName("Admitted Order").SetAsInteger(70000); // a short integer field
  EXPECT_THROW(t.Post(), db::Error);
  EXPECT_EQ(ReadAll(path), before);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 58);
}

TEST(BadInput, AHeaderThatCountsOtherRecordsThanTheFileHoldsIsSaid) {
  QTemporaryDir dir;
  QStringList warnings;
  base::SetWarningReceiver([&](const QString& text) { warnings << text; });
  std::vector<std::vector<db::Value>> rows;
  for (int k = 0; k < 5; ++k)
    rows.push_back({int64_t(k)});
  db::DbaseFile::Create(dir.path() + "/Water.dbf",
                        {db::MakeDbaseField("N", db::FieldType::Integer, 5)}, rows);
  db::ParadoxFile::Create(dir.path() + "/Wells.DB",
                          {db::paradox::MakeField("N", db::FieldType::Integer)}, 0, rows);
  // Both headers count 3 of the 5 records.
  for (const auto& [name, offset] : {std::pair{"Water.dbf", 4}, std::pair{"Wells.DB", 6}}) {
    QFile f(dir.path() + "/" + name);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(offset);
    f.write(QByteArray("\x03\x00\x00\x00", 4));
  }
  db::Table dbase(dir.path(), "Water.dbf"), paradox(dir.path(), "Wells.DB");
  dbase.Open();
  paradox.Open();
  EXPECT_EQ(dbase.RecordCount(), 3) << "read as its header says";
  EXPECT_EQ(paradox.RecordCount(), 5) << "read as its blocks hold";
  base::SetWarningReceiver({});
  ASSERT_EQ(warnings.size(), 2) << warnings.join("\n").toStdString();
  EXPECT_TRUE(warnings[0].contains("Water.dbf") &&
              warnings[0].contains(QString::fromUtf8("лічить 3")) &&
              warnings[0].contains(QString::fromUtf8("містить 5")));
  EXPECT_TRUE(warnings[1].contains("Wells.DB") &&
              warnings[1].contains(QString::fromUtf8("лічить 3")) &&
              warnings[1].contains(QString::fromUtf8("містить 5")));
}
