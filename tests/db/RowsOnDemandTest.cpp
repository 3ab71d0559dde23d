// Rows read when asked for: a cursor lists where its rows are at opening and reads a row from
// the file when a field of it is wanted. The first and the last row, the row after a deleted
// record, a whole walk in large pieces, a table changed on disk between two reads (in place, or
// replaced whole, or cut short by another program), and the list of rows kept between runs.

#include "TestFiles.h"

#include "base/DerivedCache.h"
#include "db/DbaseFile.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Table.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

using namespace testing_support;
using db::FieldType;
using db::Value;
namespace px = db::paradox;

namespace {

// A dBase table of `count` pipes, pipe i with code 1000 + i, and records 1, 2 and 5 deleted.
QString PipesWithDeletedRecords(const QString& dir, int count = 8) {
  const QString path = dir + "/Water.dbf";
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < count; ++i)
    rows.push_back({int64_t(1000 + i), QString::fromUtf8("труба %1").arg(i)});
  db::DbaseFile::Create(path,
                        {db::MakeDbaseField("CODE", FieldType::Integer, 10),
                         db::MakeDbaseField("NAME", FieldType::String, 40)},
                        rows);
  db::Table t(dir, "Water.dbf");
  t.Open();
  for (int record : {5, 2, 1}) {
    t.SetRecNo(t.PositionOfRecord(record) + 1);
    t.Delete();
  }
  return path;
}

std::vector<int64_t> Codes(db::Table& t) {
  std::vector<int64_t> codes;
  for (t.First(); !t.Eof(); t.Next())
    codes.push_back(t.FieldByName("CODE").AsInteger());
  return codes;
}

} // namespace

TEST(RowsOnDemand, FirstLastAndTheRowAfterADeletedRecord) {
  QTemporaryDir dir;
  PipesWithDeletedRecords(dir.path());
  db::Table t(dir.path(), "WATER");
  t.Open();
  ASSERT_EQ(t.RecordCount(), 5);
  EXPECT_EQ(t.FieldByName("CODE").AsInteger(), 1000);
  t.Next();
  EXPECT_EQ(t.FieldByName("CODE").AsInteger(), 1003) << "records 1 and 2 are skipped";
  EXPECT_EQ(t.FieldByName("NAME").AsString(), QString::fromUtf8("труба 3"));
  t.Last();
  EXPECT_EQ(t.FieldByName("CODE").AsInteger(), 1007);
  EXPECT_EQ(t.PositionOfRecord(6), 3) << "record 6 is the fourth live one";
  EXPECT_EQ(t.PositionOfRecord(5), -1) << "deleted";
  EXPECT_EQ(t.RecordOfPosition(2), 4);
  EXPECT_EQ(db::ValueToInteger(t.ValueAt(2, 0)), 1004);
  EXPECT_TRUE(db::IsNull(t.ValueAt(5, 0))) << "past the last row";
}

// A walk in large pieces reads what row-by-row reads give, in any order and range.
TEST(RowsOnDemand, AWalkOfColumnsMatchesTheRowsOneByOne) {
  QTemporaryDir dir;
  const QString path = dir.path() + "/Wells.DB";
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 5000; ++i) // many blocks, so that the walk crosses block ends
    rows.push_back({int64_t(100), int64_t(i), double(i % 97) + 0.5, QString("w%1").arg(i % 13)});
  db::ParadoxFile::Create(path,
                          {px::MakeField("Category", FieldType::SmallInt),
                           px::MakeField("ObjectCode", FieldType::Integer),
                           px::MakeField("X", FieldType::Float),
                           px::MakeField("NAME", FieldType::String, 20)},
                          2, rows);
  db::Table t(dir.path(), "Wells");
  t.Open();
  t.SetIndexFieldNames("NAME;X");
  t.SetRange({QString("w3")}, {QString("w5")});
  ASSERT_GT(t.RecordCount(), 1000);
  std::vector<std::pair<double, QString>> walked;
  t.ReadColumns({2, 3}, [&](size_t position, const std::vector<Value>& values) {
    ASSERT_EQ(position, walked.size());
    walked.emplace_back(db::ValueToFloat(values[0]), db::ValueToString(values[1]));
  });
  ASSERT_EQ(int(walked.size()), t.RecordCount());
  int position = 0;
  for (t.First(); !t.Eof(); t.Next(), ++position) {
    EXPECT_EQ(walked[size_t(position)].first, t.FieldByName("X").AsFloat());
    EXPECT_EQ(walked[size_t(position)].second, t.FieldByName("NAME").AsString());
  }
  EXPECT_EQ(walked.front().second, "w3");
  EXPECT_EQ(walked.back().second, "w5");
  EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second < b.second : a.first < b.first;
  }));
  EXPECT_THROW(t.ReadColumns({9}, [](size_t, const std::vector<Value>&) {}), db::Error);
}

// Another program changes the table between two reads of an open cursor: a record changed in
// place reads as it is now; a table replaced whole keeps reading as listed until refreshed; a
// table cut short gives an error naming it, never a crash.
TEST(RowsOnDemand, ATableChangedOnDiskBetweenTwoReads) {
  QTemporaryDir dir;
  const QString path = PipesWithDeletedRecords(dir.path());
  db::Table reader(dir.path(), "Water.dbf");
  reader.Open();
  reader.Last();
  EXPECT_EQ(reader.FieldByName("NAME").AsString(), QString::fromUtf8("труба 7"));
  {
    db::Table writer(dir.path(), "Water.dbf");
    writer.Open();
    writer.Last();
    writer.Edit();
    writer.FieldByName("NAME").SetAsString(QString::fromUtf8("перейменована"));
    writer.Post();
  }
  EXPECT_EQ(db::ValueToString(reader.ValueAt(4, 1)), QString::fromUtf8("перейменована"));

  // Emptied by another program (a new file renamed over the old): the listed rows stay
  // readable as they were, and a refresh shows the table as it is.
  {
    db::Table writer(dir.path(), "Water.dbf");
    writer.Open();
    writer.EmptyTable();
  }
  EXPECT_EQ(reader.RecordCount(), 5);
  EXPECT_EQ(db::ValueToInteger(reader.ValueAt(0, 0)), 1000);
  reader.Refresh();
  EXPECT_EQ(reader.RecordCount(), 0);

  // Cut short in place, under an open cursor.
  QTemporaryDir other;
  const QString cut = PipesWithDeletedRecords(other.path(), 2000);
  db::Table victim(other.path(), "Water.dbf");
  victim.Open();
  ASSERT_EQ(victim.RecordCount(), 1997);
  ASSERT_TRUE(QFile::resize(cut, QFile(cut).size() / 2));
  try {
    victim.ValueAt(1990, 1);
    FAIL() << "a row past the end of the file was read";
  } catch (const db::Error& e) {
    EXPECT_TRUE(e.Message.contains("Water.dbf")) << e.Message.toStdString();
    EXPECT_TRUE(e.Message.contains(QString::fromUtf8("обрізано"))) << e.Message.toStdString();
  }
  EXPECT_EQ(db::ValueToInteger(victim.ValueAt(3, 0)), 1006) << "rows before the cut still read";
}

// The list of a table's rows is kept between runs while the file stays as it was: a kept list
// gives the same rows, and a table changed since is listed afresh.
TEST(RowsOnDemand, TheKeptListOfRowsIsUsedOnlyForTheTableAsItWas) {
  QTemporaryDir dir, cache;
  const QByteArray previous = qgetenv("VANDREL_CACHE_DIR");
  const int64_t settled = base::DerivedCache::SettledMilliseconds();
  qputenv("VANDREL_CACHE_DIR", QFile::encodeName(cache.path()));
  base::DerivedCache::SetSettledMilliseconds(0);
  PipesWithDeletedRecords(dir.path());
  std::vector<int64_t> first, second;
  {
    db::Table t(dir.path(), "Water.dbf");
    t.Open();
    first = Codes(t);
    EXPECT_FALSE(t.RowsStamp().isEmpty());
  }
  EXPECT_EQ(QDir(cache.path()).entryList(QDir::Files).size(), 1);
  {
    db::Table t(dir.path(), "Water.dbf");
    t.Open();
    second = Codes(t);
    t.First();
    t.Delete(); // the file changes: what was kept no longer fits it
    EXPECT_TRUE(t.RowsStamp().isEmpty());
  }
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, (std::vector<int64_t>{1000, 1003, 1004, 1006, 1007}));
  db::Table t(dir.path(), "Water.dbf");
  t.Open();
  EXPECT_EQ(Codes(t), (std::vector<int64_t>{1003, 1004, 1006, 1007}));
  qputenv("VANDREL_CACHE_DIR", previous);
  base::DerivedCache::SetSettledMilliseconds(settled);
}

TEST(RowsOnDemand, ATableRenamedOverWhileOpeningIsReadFromOneFile) {
  QTemporaryDir dir, cache;
  const QByteArray previous = qgetenv("VANDREL_CACHE_DIR");
  const int64_t settled = base::DerivedCache::SettledMilliseconds();
  qputenv("VANDREL_CACHE_DIR", QFile::encodeName(cache.path()));
  base::DerivedCache::SetSettledMilliseconds(0);
  // Two versions of a table without a key: 40 rows all 1, or 7 rows all 2.
  for (const auto& [name, count, value] : {std::tuple{"one", 40, 1}, std::tuple{"two", 7, 2}}) {
    std::vector<std::vector<Value>> rows(size_t(count), {int64_t(value)});
    db::ParadoxFile::Create(dir.path() + "/" + name + ".DB",
                            {px::MakeField("V", FieldType::Integer)}, 0, rows);
  }
  QFile::copy(dir.path() + "/one.DB", dir.path() + "/Pipes.DB");
  // Another program puts one version and then the other in place, over and over.
  QProcess other;
  other.start(
      "sh",
      {"-c", "cd '" + dir.path() +
                 "' && while [ ! -e stop ]; do "
                 "cp -p one.DB t1 && mv t1 Pipes.DB; cp -p two.DB t2 && mv t2 Pipes.DB; done"});
  ASSERT_TRUE(other.waitForStarted());
  int opened = 0;
  for (int i = 0; i < 400; ++i) {
    db::Table t(dir.path(), "Pipes.DB");
    try {
      t.Open();
    } catch (const db::Error&) {
      continue; // replaced more often than it could be read: said, not misread
    }
    ++opened;
    std::vector<int64_t> values;
    for (t.First(); !t.Eof(); t.Next())
      values.push_back(t.FieldByName("V").AsInteger());
    const int64_t version = values.empty() ? 0 : values[0];
    ASSERT_EQ(values, std::vector<int64_t>(version == 1 ? 40 : 7, version)) << "open " << i;
  }
  QFile(dir.path() + "/stop").open(QIODevice::WriteOnly);
  other.waitForFinished();
  EXPECT_GT(opened, 300);
  qputenv("VANDREL_CACHE_DIR", previous);
  base::DerivedCache::SetSettledMilliseconds(settled);
}
