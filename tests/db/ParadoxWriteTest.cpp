// Tables written by our writer read back identically through our reader and through pxlib; an
// edited corpus table keeps every other byte; keyed tables stay in key order with an index that
// pxlib accepts; blobs written read back identically.

#include "TestFiles.h"

#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Table.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#ifdef VANDREL_HAVE_PXLIB
#include "PxlibOracle.h"
extern "C" {
#include <paradox.h>
}
#endif

using namespace testing_support;
using db::FieldType;
using db::Value;
namespace px = db::paradox;

namespace {

std::vector<db::FieldDef> LayerFields() {
  return {px::MakeField("Level", FieldType::Integer),
          px::MakeField("Category", FieldType::SmallInt),
          px::MakeField("Class", FieldType::Integer),
          px::MakeField("ClassName", FieldType::String, 255),
          px::MakeField("ZoomInScale", FieldType::Float),
          px::MakeField("Visibled", FieldType::Boolean),
          px::MakeField("Created", FieldType::Date),
          px::MakeField("Price", FieldType::Currency),
          px::MakeField("Stamp", FieldType::DateTime),
          px::MakeField("At", FieldType::Time),
          px::MakeField("Amount", FieldType::BCD, 2)};
}

std::vector<Value> LayerRow(int level, int category, const QString& name) {
  return {int64_t(level),
          int64_t(category),
          int64_t(level * 10),
          name,
          0.25 * level,
          level % 2 == 0,
          QDate(2001, 1, 1).addDays(level),
          -12.5 * level,
          QDateTime(QDate(1999, 12, 31), QTime(23, 59, 58)),
          QTime(12, 30, level % 60),
          1234.56 * (level % 2 ? 1 : -1)};
}

class ParadoxWrite : public ::testing::Test {
protected:
  QTemporaryDir Dir;
  QString PathOf(const QString& name) { return Dir.path() + "/" + name; }
};

} // namespace

TEST_F(ParadoxWrite, WrittenTableReadsBackIdentically) {
  std::vector<std::vector<Value>> rows;
  for (int i = 1; i <= 300; ++i)
    rows.push_back(LayerRow(i, i % 7, QString::fromUtf8("Шар №%1 «вода»").arg(i)));
  rows.push_back({int64_t(301), Value(), Value(), Value(), Value(), Value(), Value(), Value(),
                  Value(), Value(), Value()});
  db::ParadoxFile::Create(PathOf("classreest.DB"), LayerFields(), 1, rows);

  auto table = db::ParadoxFile::Open(PathOf("classreest.DB"));
  const auto read = table->ReadRows();
  ASSERT_EQ(read.size(), rows.size());
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t f = 0; f < rows[r].size(); ++f)
      ASSERT_TRUE(db::ValuesEqual(read[r].Values[f], rows[r][f])) << "row " << r << " field " << f;
#ifdef VANDREL_HAVE_PXLIB
  // pxlib reads our file, every value, and our primary index.
  ExpectSameAsPxlib(PathOf("classreest.DB"));
  auto theirs = ReadWithPxlib(PathOf("classreest.DB"), base::CodePage::Cp1251);
  ASSERT_TRUE(theirs.has_value());
  ASSERT_EQ(theirs->Rows.size(), rows.size());
  EXPECT_EQ(theirs->Rows[4][3], Value(QString::fromUtf8("Шар №5 «вода»")));
  EXPECT_EQ(theirs->Rows[4][0], Value(int64_t(5)));
  EXPECT_EQ(theirs->Rows[4][5], Value(false));
  EXPECT_EQ(theirs->Rows[4][6], Value(QDate(2001, 1, 6)));
  ExpectPxlibAcceptsIndex(PathOf("classreest.DB"), PathOf("classreest.PX"));
#endif
}

TEST_F(ParadoxWrite, KeyedTableStaysInKeyOrderThroughInsertsEditsAndDeletes) {
  db::ParadoxFile::Create(PathOf("groups.db"), LayerFields(), 2, {});
  db::Table t(Dir.path(), "GROUPS");
  t.Open();
  for (int level : {50, 3, 27, 1, 99, 12}) {
    t.Append();
    t.FieldByName("Level").SetAsInteger(level);
    t.FieldByName("Category").SetAsInteger(level % 3);
    t.FieldByName("ClassName").SetAsString(QString("L%1").arg(level));
    t.Post();
    EXPECT_EQ(t.FieldByName("Level").AsInteger(), level) << "the cursor stays on the posted row";
  }
  t.First();
  t.Edit();
  t.FieldByName("Level").SetAsInteger(60); // a key change moves the row
  t.Post();
  ASSERT_TRUE(t.FindKey({int64_t(27)}));
  t.Delete();
  db::Table again(Dir.path(), "groups.DB");
  again.Open();
  std::vector<int64_t> levels;
  for (again.First(); !again.Eof(); again.Next())
    levels.push_back(again.FieldByName("Level").AsInteger());
  EXPECT_EQ(levels, (std::vector<int64_t>{3, 12, 50, 60, 99}));
#ifdef VANDREL_HAVE_PXLIB
  pxdoc_t* index = PX_new();
  ASSERT_GE(PX_open_file(index, PathOf("groups.PX").toLocal8Bit().constData()), 0);
  EXPECT_EQ(PX_read_primary_index(index), 0);
  EXPECT_EQ(PX_get_num_records(index), 1); // five rows fit one block
  PX_close(index);
  PX_delete(index);
  // The file itself holds the rows in key order (pxlib reads them in block order).
  auto theirs = ReadWithPxlib(PathOf("groups.db"), base::CodePage::Cp1251);
  ASSERT_TRUE(theirs.has_value());
  std::vector<int64_t> fileOrder;
  for (const auto& row : theirs->Rows)
    fileOrder.push_back(db::ValueToInteger(row[0]));
  EXPECT_EQ(fileOrder, levels);
#endif
}

TEST_F(ParadoxWrite, KeyViolationIsRefusedAndNothingChanges) {
  db::ParadoxFile::Create(PathOf("k.db"), LayerFields(), 1,
                          {LayerRow(1, 0, "a"), LayerRow(2, 0, "b")});
  const QByteArray before = ReadAll(PathOf("k.db"));
  db::Table t(Dir.path(), "k");
  t.Open();
  t.Append();
  t.FieldByName("Level").SetAsInteger(2);
  EXPECT_THROW(t.Post(), db::Error);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(ReadAll(PathOf("k.db")), before);
}

TEST_F(ParadoxWrite, LargeTableIndexHasTwoLevelsThatPxlibAccepts) {
  std::vector<std::vector<Value>> rows;
  for (int i = 1; i <= 20000; ++i)
    rows.push_back(LayerRow(i, 1, "x"));
  db::ParadoxCreateOptions small;
  small.BlockSizeKiB = 1;
  db::ParadoxFile::Create(PathOf("big.db"), LayerFields(), 1, rows, small);
  auto table = db::ParadoxFile::Open(PathOf("big.db"));
  EXPECT_EQ(table->ReadRows().size(), 20000u);
#ifdef VANDREL_HAVE_PXLIB
  ExpectPxlibAcceptsIndex(PathOf("big.db"), PathOf("big.PX"));
#endif
}

TEST_F(ParadoxWrite, EditingACorpusTableKeepsEveryOtherByte) {
  const QString path = CopyCorpusTable("paradox/paradoxdriver/db/ORDERS.DB", Dir.path());
  const QByteArray before = ReadAll(path);
  const QByteArray indexBefore = ReadAll(ParadoxSidePathForTest(path));
  db::Table t(Dir.path(), "orders");
  t.Open();
  t.MoveBy(100);
  const int64_t recordOffset = [&] {
    auto file = db::ParadoxFile::Open(path);
    return file->ReadRows()[100].Location;
  }();
  t.Edit();
  t.FieldByName("Terms").SetAsString("Net 99");
  t.Post();
  const QByteArray after = ReadAll(path);
  ASSERT_EQ(after.size(), before.size());
  int changed = 0;
  for (qsizetype i = 0; i < after.size(); ++i)
    if (after[i] != before[i]) {
      ++changed;
      EXPECT_GE(i, recordOffset);
      EXPECT_LT(i, recordOffset + 71);
    }
  EXPECT_GT(changed, 0);
  EXPECT_EQ(ReadAll(ParadoxSidePathForTest(path)), indexBefore)
      << "a key kept leaves the index alone";
  db::Table check(Dir.path(), "ORDERS.DB");
  check.Open();
  check.MoveBy(100);
  EXPECT_EQ(check.FieldByName("Terms").AsString(), "Net 99");
}

TEST_F(ParadoxWrite, RewritingACorpusTableKeepsItsRowsAndHeaderFields) {
  const QString path = CopyCorpusTable("paradox/paradoxdriver/db/AREACODES.DB", Dir.path());
  db::Table t(Dir.path(), "AREACODES");
  t.Open();
  std::vector<std::vector<Value>> before;
  for (t.First(); !t.Eof(); t.Next()) {
    std::vector<Value> row;
    for (auto& f : t.Fields())
      row.push_back(f.AsValue());
    before.push_back(row);
  }
  auto rawBefore = db::ParadoxFile::Open(path)->ReadRows();
  t.Append();
  t.FieldByName("AC").SetAsString("000");
  t.FieldByName("Cities").SetAsString("Nowhere");
  t.Post();
  // The rewrite keeps every other record's bytes exactly.
  auto rawAfter = db::ParadoxFile::Open(path)->ReadRows();
  ASSERT_EQ(rawAfter.size(), rawBefore.size() + 1);
  EXPECT_EQ(rawAfter[0].Values[0], Value(QString("000")));
  for (size_t i = 0; i < rawBefore.size(); ++i)
    ASSERT_EQ(rawAfter[i + 1].Raw, rawBefore[i].Raw) << "record " << i;
  t.Delete(); // the cursor is on the new row
  t.Close();
  t.Open();
  ASSERT_EQ(size_t(t.RecordCount()), before.size());
  size_t r = 0;
  for (t.First(); !t.Eof(); t.Next(), ++r)
    for (size_t f = 0; f < t.Fields().size(); ++f)
      ASSERT_TRUE(db::ValuesEqual(t.Fields()[f].AsValue(), before[r][f]));
#ifdef VANDREL_HAVE_PXLIB
  ExpectPxlibAcceptsIndex(path, ParadoxSidePathForTest(path));
#endif
}

TEST_F(ParadoxWrite, BlobsWrittenReadBackIdentically) {
  QByteArray bmp("BM");
  bmp.append(QByteArray(4, '\0'));
  bmp.append(QByteArray(9000, 'x'));
  bmp[2] = char(bmp.size() & 0xFF);
  bmp[3] = char((bmp.size() >> 8) & 0xFF);
  const std::vector<db::FieldDef> fields = {px::MakeField("ImageIndex", FieldType::Integer),
                                            px::MakeField("ImageName", FieldType::String, 40),
                                            px::MakeField("Image", FieldType::Graphic, 1),
                                            px::MakeField("Notes", FieldType::Memo, 10)};
  const QString longMemo = QString::fromUtf8("Довгий опис об'єкта ").repeated(200);
  db::ParadoxFile::Create(PathOf("images.db"), fields, 1,
                          {{int64_t(1), QString("well"), bmp, QString::fromUtf8("короткий")},
                           {int64_t(2), QString("none"), Value(), longMemo}});
  db::Table t(Dir.path(), "IMAGES");
  t.Open();
  EXPECT_EQ(t.FieldByName("Image").AsBlob(), bmp);
  EXPECT_EQ(t.FieldByName("Notes").AsString(), QString::fromUtf8("короткий"));
  t.Next();
  EXPECT_TRUE(t.FieldByName("Image").IsNull());
  EXPECT_EQ(t.FieldByName("Notes").AsString(), longMemo);
  // A new picture for an existing row.
  QByteArray other = bmp;
  other[100] = 'y';
  t.Edit();
  t.FieldByName("Image").SetAsBlob(other);
  t.Post();
  t.Close();
  t.Open();
  t.Last();
  EXPECT_EQ(t.FieldByName("Image").AsBlob(), other);
  EXPECT_EQ(t.FieldByName("Notes").AsString(), longMemo);
  t.First();
  EXPECT_EQ(t.FieldByName("Image").AsBlob(), bmp);
  // Pictures changed again and again, in place and through SQL-like batches: the blocks freed
  // are written over, the blob file stays near the size of what the rows hold, and every row
  // keeps its own blobs.
  const QString blobs = db::ParadoxSidePath(PathOf("images.db"), ".MB");
  const qint64 before = QFileInfo(blobs).size();
  ASSERT_GT(before, 9000);
  for (int k = 0; k < 60; ++k) {
    QByteArray changed = bmp;
    changed[200] = char('a' + k % 26);
    t.First();
    t.Edit();
    t.FieldByName("Image").SetAsBlob(changed);
    t.Post();
    EXPECT_EQ(t.FieldByName("Image").AsBlob(), changed);
  }
  EXPECT_LE(QFileInfo(blobs).size(), before + 3 * 12288);
  t.Last();
  EXPECT_EQ(t.FieldByName("Image").AsBlob(), other);
  EXPECT_EQ(t.FieldByName("Notes").AsString(), longMemo);
}

TEST_F(ParadoxWrite, CorpusBlobTableEditedKeepsItsOtherBlobs) {
  CopyCorpusTable("paradox/rparadox/mushrooms.db", Dir.path());
  db::Table t(Dir.path(), "mushrooms");
  t.Open();
  std::vector<QByteArray> pictures;
  for (t.First(); !t.Eof(); t.Next())
    pictures.push_back(t.FieldByName("Picture").AsBlob());
  t.First();
  t.Edit();
  t.FieldByName("Notes").SetAsString(
      "Edited note that is longer than the twenty-byte leader of the field.");
  t.Post();
  t.Close();
  t.Open();
  size_t i = 0;
  for (t.First(); !t.Eof(); t.Next(), ++i)
    EXPECT_EQ(t.FieldByName("Picture").AsBlob(), pictures[i]);
  t.First();
  EXPECT_EQ(t.FieldByName("Notes").AsString(),
            "Edited note that is longer than the twenty-byte leader of the field.");
}
