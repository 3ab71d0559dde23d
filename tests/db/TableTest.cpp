// The cursor: table files found without regard to case, browse order by index, partial-key
// look-ups, ranges, editing states, bookmarks, exclusive use and refreshing from disk.

#include "TestFiles.h"

#include "db/DbaseFile.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Table.h"
#include "db/TableLock.h"

#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

using namespace testing_support;
using db::FieldType;
using db::Value;
namespace px = db::paradox;

namespace {

class TableCursor : public ::testing::Test {
protected:
  void SetUp() override {
    // A groups table: keyed on Category, Class, GroupNum, written in no particular order.
    const std::vector<db::FieldDef> fields = {px::MakeField("Category", FieldType::SmallInt),
                                              px::MakeField("Class", FieldType::Integer),
                                              px::MakeField("GroupNum", FieldType::Integer),
                                              px::MakeField("GroupName", FieldType::String, 255)};
    std::vector<std::vector<Value>> rows;
    for (int cat : {101, 100})
      for (int cls : {2, 1})
        for (int grp : {3, 1, 2})
          rows.push_back({int64_t(cat), int64_t(cls), int64_t(grp),
                          QString("G%1.%2.%3").arg(cat).arg(cls).arg(grp)});
    db::ParadoxFile::Create(Dir.path() + "/GroupReest.DB", fields, 3, rows);
  }
  QTemporaryDir Dir;
};

std::vector<int64_t> Column(db::Table& t, const char* field) {
  std::vector<int64_t> values;
  for (t.First(); !t.Eof(); t.Next())
    values.push_back(t.FieldByName(field).AsInteger());
  return values;
}

} // namespace

TEST_F(TableCursor, TableNamesIgnoreCaseAndExtension) {
  for (const char* name : {"GroupReest.DB", "groupreest.db", "GROUPREEST", "GroupReest"}) {
    db::Table t(Dir.path(), name);
    ASSERT_NO_THROW(t.Open()) << name;
    EXPECT_EQ(t.RecordCount(), 12);
  }
  db::Table missing(Dir.path(), "NoSuchTable");
  try {
    missing.Open();
    FAIL();
  } catch (const db::Error& e) {
    EXPECT_TRUE(e.Message.contains("NoSuchTable")) << e.Message.toStdString();
    EXPECT_TRUE(e.Message.contains(Dir.path())) << e.Message.toStdString();
  }
}

TEST_F(TableCursor, NavigationFlagsFollowTheEnds) {
  db::Table t(Dir.path(), "GroupReest");
  t.Open();
  EXPECT_TRUE(t.Bof());
  EXPECT_FALSE(t.Eof());
  EXPECT_EQ(t.RecNo(), 1);
  t.Prior();
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.RecNo(), 1);
  EXPECT_EQ(t.MoveBy(5), 5);
  EXPECT_EQ(t.RecNo(), 6);
  EXPECT_EQ(t.MoveBy(100), 6);
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.RecNo(), 12);
  t.Last();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.MoveBy(-3), -3);
  EXPECT_EQ(t.RecNo(), 9);
}

TEST_F(TableCursor, PrimaryKeyOrderAndNamedIndexes) {
  db::Table t(Dir.path(), "GroupReest");
  t.Open();
  EXPECT_EQ(Column(t, "Category"),
            (std::vector<int64_t>{100, 100, 100, 100, 100, 100, 101, 101, 101, 101, 101, 101}));
  EXPECT_EQ(Column(t, "GroupNum"), (std::vector<int64_t>{1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3}));
  t.SetIndexName("CLASS_ID");
  ASSERT_TRUE(t.FindKey({int64_t(101), int64_t(2)}));
  EXPECT_EQ(t.FieldByName("GroupNum").AsInteger(), 1);
  t.SetIndexName("GROUP_ID");
  ASSERT_TRUE(t.FindKey({int64_t(100), int64_t(2), int64_t(3)}));
  EXPECT_EQ(t.FieldByName("GroupName").AsString(), "G100.2.3");
  EXPECT_THROW(t.SetIndexName("NO_SUCH_INDEX"), db::Error);
  t.SetIndexName("");
  EXPECT_TRUE(t.FindKey({int64_t(101)})); // partial key on the primary index
  EXPECT_EQ(t.FieldByName("Class").AsInteger(), 1);
}

TEST_F(TableCursor, FindKeyThatFailsStaysPut) {
  db::Table t(Dir.path(), "GroupReest");
  t.Open();
  t.MoveBy(4);
  EXPECT_FALSE(t.FindKey({int64_t(100), int64_t(7)}));
  EXPECT_EQ(t.RecNo(), 5);
}

TEST_F(TableCursor, RangesRestrictAndCancel) {
  db::Table t(Dir.path(), "GroupReest");
  t.Open();
  t.SetIndexName("CLASS_ID");
  t.SetRange({int64_t(100), int64_t(2)}, {int64_t(100), int64_t(2)});
  EXPECT_EQ(t.RecordCount(), 3);
  EXPECT_EQ(Column(t, "GroupNum"), (std::vector<int64_t>{1, 2, 3}));
  t.SetRange({int64_t(100), int64_t(2)}, {int64_t(101), int64_t(1)});
  EXPECT_EQ(t.RecordCount(), 6);
  t.CancelRange();
  EXPECT_EQ(t.RecordCount(), 12);
}

TEST_F(TableCursor, IndexFieldNamesOrderByAnyFields) {
  db::Table t(Dir.path(), "GroupReest");
  t.Open();
  t.SetIndexFieldNames("GroupNum;Category");
  EXPECT_EQ(t.IndexFieldNames(), "GroupNum;Category");
  EXPECT_EQ(Column(t, "GroupNum"), (std::vector<int64_t>{1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3}));
  ASSERT_TRUE(t.FindKey({int64_t(2), int64_t(101)}));
  EXPECT_EQ(t.FieldByName("Category").AsInteger(), 101);
  EXPECT_THROW(t.SetIndexFieldNames("GroupNum;Nope"), db::Error);
}

TEST_F(TableCursor, FieldsByNameIgnoreCaseAndMissingOnesAreNamed) {
  db::Table t(Dir.path(), "GroupReest");
  t.Open();
  EXPECT_EQ(t.FieldByName("groupname").AsString(), "G100.1.1");
  EXPECT_EQ(t.FindField("Levl"), nullptr);
  try {
    t.FieldByName("Levl");
    FAIL();
  } catch (const db::Error& e) {
    EXPECT_TRUE(e.Message.contains("\"Levl\"")) << e.Message.toStdString();
    EXPECT_TRUE(e.Message.contains("GroupReest.DB")) << e.Message.toStdString();
  }
}

TEST_F(TableCursor, EditingStatesAndCancel) {
  db::Table t(Dir.path(), "GroupReest");
  t.Open();
  EXPECT_EQ(t.State(), db::TableState::Browse);
  EXPECT_THROW(t.FieldByName("GroupName").SetAsString("x"), db::Error);
  t.Edit();
  EXPECT_EQ(t.State(), db::TableState::Edit);
  t.FieldByName("GroupName").SetAsString("changed");
  EXPECT_EQ(t.FieldByName("GroupName").AsString(), "changed");
  t.Cancel();
  EXPECT_EQ(t.FieldByName("GroupName").AsString(), "G100.1.1");
  t.Insert();
  EXPECT_EQ(t.State(), db::TableState::Insert);
  EXPECT_TRUE(t.FieldByName("GroupName").IsNull());
  EXPECT_EQ(t.FieldByName("GroupNum").AsInteger(), 0); // an empty number reads as 0
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 12);
}

TEST_F(TableCursor, TextForNumbersIsConvertedOrRefused) {
  db::Table t(Dir.path(), "GroupReest");
  t.Open();
  t.Edit();
  t.FieldByName("GroupNum").SetAsString("42");
  EXPECT_EQ(t.FieldByName("GroupNum").AsInteger(), 42);
  EXPECT_THROW(t.FieldByName("GroupNum").SetAsString("forty"), db::Error);
  t.Cancel();
}

TEST_F(TableCursor, PostIsOnDiskWhenItReturns) {
  db::Table writer(Dir.path(), "GroupReest");
  writer.Open();
  writer.Last();
  writer.Edit();
  writer.FieldByName("GroupName").SetAsString(QString::fromUtf8("Колодязі"));
  writer.Post();
  auto file = db::ParadoxFile::Open(Dir.path() + "/GroupReest.DB");
  EXPECT_EQ(file->ReadRows().back().Values[3], Value(QString::fromUtf8("Колодязі")));
}

TEST_F(TableCursor, EmptyTableAndExclusiveUse) {
  db::Table shared(Dir.path(), "GroupReest");
  shared.Open();
  db::Table exclusive(Dir.path(), "groupreest.db");
  exclusive.SetExclusive(true);
  EXPECT_THROW(exclusive.Open(), db::Error);
  shared.Close();
  exclusive.Open();
  EXPECT_THROW(shared.Open(), db::Error);
  exclusive.EmptyTable();
  EXPECT_EQ(exclusive.RecordCount(), 0);
  EXPECT_TRUE(exclusive.Eof());
  exclusive.Close();
  exclusive.SetExclusive(false);
  shared.Open();
  EXPECT_EQ(shared.RecordCount(), 0);
}

TEST_F(TableCursor, BookmarksSurviveReordering) {
  db::Table t(Dir.path(), "GroupReest");
  t.Open();
  t.MoveBy(7);
  const auto mark = t.GetBookmark();
  const QString name = t.FieldByName("GroupName").AsString();
  t.SetIndexFieldNames("GroupName");
  t.First();
  t.GotoBookmark(mark);
  EXPECT_EQ(t.FieldByName("GroupName").AsString(), name);
  t.Delete();
  EXPECT_FALSE(t.BookmarkValid(mark));
  EXPECT_THROW(t.GotoBookmark(mark), db::Error);
}

TEST_F(TableCursor, RefreshRereadsAFileChangedOnDisk) {
  db::Table reader(Dir.path(), "GroupReest");
  reader.Open();
  {
    db::Table writer(Dir.path(), "GroupReest");
    writer.Open();
    writer.Append();
    writer.FieldByName("Category").SetAsInteger(102);
    writer.Post();
  }
  EXPECT_EQ(reader.RecordCount(), 12);
  reader.Refresh();
  EXPECT_EQ(reader.RecordCount(), 13);
}

TEST_F(TableCursor, TwoCursorsOnOneTableDoNotLoseEachOthersChanges) {
  db::Table a(Dir.path(), "GroupReest");
  db::Table b(Dir.path(), "groupreest.db");
  a.Open();
  b.Open();
  a.Edit();
  a.FieldByName("GroupName").SetAsString("from a");
  a.Post();
  b.Last();
  b.Edit();
  b.FieldByName("GroupName").SetAsString("from b");
  b.Post(); // b read the table before a wrote it: a's change must survive b's write
  b.Append();
  b.FieldByName("Category").SetAsInteger(200);
  b.Post();

  db::Table check(Dir.path(), "GroupReest");
  check.Open();
  EXPECT_EQ(check.RecordCount(), 13);
  EXPECT_EQ(check.FieldByName("GroupName").AsString(), "from a");
  check.MoveBy(11);
  EXPECT_EQ(check.FieldByName("GroupName").AsString(), "from b");
}

TEST_F(TableCursor, AnEditOfARowAnotherCursorChangedIsRefused) {
  db::Table a(Dir.path(), "GroupReest");
  db::Table b(Dir.path(), "GroupReest");
  a.Open();
  b.Open();
  a.Edit();
  a.FieldByName("GroupName").SetAsString("first");
  b.Edit();
  b.FieldByName("GroupName").SetAsString("second");
  a.Post();
  EXPECT_THROW(b.Post(), db::Error);
  b.Cancel();
  db::Table check(Dir.path(), "GroupReest");
  check.Open();
  EXPECT_EQ(check.FieldByName("GroupName").AsString(), "first");
}

// A table another writer holds is waited for a bounded time, then refused by name with nothing
// written; once it is free the same post goes through. Reading never waits.
TEST(Table, ATableLockedByAnotherWriterIsWaitedForThenRefused) {
  QTemporaryDir dir;
  namespace px = db::paradox;
  const QString path = dir.path() + "/Codes.DB";
  db::ParadoxFile::Create(path, {px::MakeField("N", db::FieldType::Integer)}, 1,
                          {{int64_t(1)}, {int64_t(2)}});
  const QByteArray before = testing_support::ReadAll(path);
  db::Table t(dir.path(), "Codes.DB");
  t.Open();
  const int wait = db::TableLock::WaitMilliseconds();
  db::TableLock::SetWaitMilliseconds(200);
  int waits = 0;
  db::TableLock::SetWaitHook([&](bool waiting) { waits += waiting; });
  {
    const db::TableLock other(path); // another writer, in the middle of its write
    t.Append();
    t.FieldByName("N").SetAsInteger(3);
    try {
      t.Post();
      ADD_FAILURE() << "posted past another writer's lock";
    } catch (const db::Error& e) {
      EXPECT_EQ(e.Message, QString::fromUtf8("Таблиця %1 зайнята іншим користувачем").arg(path));
    }
    EXPECT_EQ(testing_support::ReadAll(path), before) << "nothing written";
    db::Table reader(dir.path(), "Codes.DB");
    reader.Open(); // readers do not wait
    EXPECT_EQ(reader.RecordCount(), 2);
  }
  EXPECT_EQ(waits, 1);
  t.Post();
  db::TableLock::SetWaitMilliseconds(wait);
  db::TableLock::SetWaitHook({});
  db::Table after(dir.path(), "Codes.DB");
  after.Open();
  EXPECT_EQ(after.RecordCount(), 3);
}

TEST(Table, AReadOnlyTableIsRefusedAndNeverReplaced) {
  QTemporaryDir dir;
  namespace px = db::paradox;
  const QString path = dir.path() + "/Hydrants.DB";
  db::ParadoxFile::Create(path, {px::MakeField("N", db::FieldType::Integer)}, 1, {{int64_t(1)}});
  db::DbaseFile::Create(dir.path() + "/Water.dbf",
                        {db::MakeDbaseField("N", db::FieldType::Integer, 5)}, {{int64_t(1)}});
  const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
  auto refused = [&](const QString& table, const QString& readOnlyFile) {
    const QByteArray before = testing_support::ReadAll(dir.path() + "/" + table);
    db::Table t(dir.path(), table);
    t.Open();
    t.Append();
    t.FieldByName("N").SetAsInteger(2);
    try {
      t.Post();
      ADD_FAILURE() << "wrote a read-only " << table.toStdString();
    } catch (const db::Error& e) {
      EXPECT_TRUE(e.Message.contains(readOnlyFile + QString::fromUtf8(" лише для читання")))
          << e.Message.toStdString();
    }
    EXPECT_EQ(testing_support::ReadAll(dir.path() + "/" + table), before);
    EXPECT_EQ(QFile::permissions(readOnlyFile) & QFile::WriteOwner, 0) << "the file is the same";
  };
  ASSERT_TRUE(QFile::setPermissions(path, readOnly));
  refused("Hydrants.DB", path);
  ASSERT_TRUE(QFile::setPermissions(dir.path() + "/Water.dbf", readOnly));
  refused("Water.dbf", dir.path() + "/Water.dbf");
  // The table writable, its primary index not.
  ASSERT_TRUE(QFile::setPermissions(path, readOnly | QFile::WriteOwner));
  ASSERT_TRUE(QFile::setPermissions(dir.path() + "/Hydrants.PX", readOnly));
  refused("Hydrants.DB", dir.path() + "/Hydrants.PX");
}
