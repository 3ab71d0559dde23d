// dBase tables through shapelib: values of every type, write-through edits in place, appends,
// deletions that later reads skip, and Windows-1251 text.

#include "TestFiles.h"

#include "db/DbaseFile.h"
#include "db/Error.h"
#include "db/Table.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace testing_support;
using db::FieldType;
using db::Value;

namespace {

std::vector<db::FieldDef> PipeFields() {
  using db::MakeDbaseField;
  return {MakeDbaseField("HUB1CODE", FieldType::Integer, 10),
          MakeDbaseField("HUB2CODE", FieldType::Integer, 10),
          MakeDbaseField("Name", FieldType::String, 60),
          MakeDbaseField("DIAMETER", FieldType::Float, 12, 3),
          MakeDbaseField("Active", FieldType::Boolean, 1),
          MakeDbaseField("Laid", FieldType::Date, 8)};
}

} // namespace

TEST(Dbase, WrittenTableReadsBackWithEveryType) {
  QTemporaryDir dir;
  db::DbaseFile::Create(dir.path() + "/Water.dbf", PipeFields(),
                        {{int64_t(7), int64_t(8), QString::fromUtf8("вул. Шевченка"), 150.5, true,
                          QDate(1978, 6, 30)},
                         {Value(), Value(), Value(), Value(), Value(), Value()}});
  db::Table t(dir.path(), "WATER.DBF");
  t.Open();
  EXPECT_EQ(t.Kind(), "dBase III");
  ASSERT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(t.FieldByName("HUB1CODE").AsInteger(), 7);
  EXPECT_EQ(t.FieldByName("Name").AsString(), QString::fromUtf8("вул. Шевченка"));
  EXPECT_DOUBLE_EQ(t.FieldByName("DIAMETER").AsFloat(), 150.5);
  EXPECT_TRUE(t.FieldByName("Active").AsBoolean());
  EXPECT_EQ(t.FieldByName("Laid").AsDate(), QDate(1978, 6, 30));
  t.Next();
  for (auto& f : t.Fields())
    EXPECT_TRUE(f.IsNull()) << f.FieldName().toStdString();
  // The text is stored in Windows-1251.
  EXPECT_TRUE(ReadAll(dir.path() + "/Water.dbf")
                  .contains(QByteArray("\xE2\xF3\xEB. \xD8\xE5\xE2\xF7\xE5\xED\xEA\xE0")));
}

TEST(Dbase, EditsAppendsAndDeletesAreWrittenThrough) {
  QTemporaryDir dir;
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 5; ++i)
    rows.push_back({int64_t(i), int64_t(i + 1), QString("p%1").arg(i), 100.0, false, Value()});
  db::DbaseFile::Create(dir.path() + "/Kanaliz.dbf", PipeFields(), rows);
  const qint64 size = QFile(dir.path() + "/Kanaliz.dbf").size();
  db::Table t(dir.path(), "kanaliz");
  t.Open();
  t.MoveBy(2);
  t.Edit();
  t.FieldByName("HUB2CODE").SetAsInteger(4242);
  t.Post();
  EXPECT_EQ(QFile(dir.path() + "/Kanaliz.dbf").size(), size)
      << "a fixed-size record is updated in place";
  t.First();
  t.Delete();
  t.Append();
  t.FieldByName("Name").SetAsString("new");
  t.Post();

  db::Table check(dir.path(), "Kanaliz.DBF");
  check.Open();
  EXPECT_EQ(check.RecordCount(), 5);
  std::vector<QString> names;
  for (check.First(); !check.Eof(); check.Next())
    names.push_back(check.FieldByName("Name").AsString());
  EXPECT_EQ(names, (std::vector<QString>{"p1", "p2", "p3", "p4", "new"}));
  check.First();
  check.Next();
  EXPECT_EQ(check.FieldByName("HUB2CODE").AsInteger(), 4242);
}

TEST(Dbase, IndexOnAFieldFindsByValue) {
  QTemporaryDir dir;
  std::vector<std::vector<Value>> rows;
  for (int i : {30, 10, 20})
    rows.push_back({int64_t(i), int64_t(0), QString("n%1").arg(i), 1.0, true, Value()});
  db::DbaseFile::Create(dir.path() + "/Water.dbf", PipeFields(), rows);
  db::Table t(dir.path(), "Water");
  t.Open();
  t.SetIndexFieldNames("HUB1CODE");
  ASSERT_TRUE(t.FindKey({int64_t(20)}));
  EXPECT_EQ(t.FieldByName("Name").AsString(), "n20");
  EXPECT_EQ(t.RecNo(), 2);
}

TEST(Dbase, CodePageFromCpgBeatsTheLanguageByte) {
  QTemporaryDir dir;
  const QString path = dir.path() + "/a.dbf";
  db::DbaseFile::Create(path, PipeFields(), {});
  EXPECT_EQ(db::DbaseCodePage(path, 0x57), base::CodePage::Cp1252);
  WriteAll(dir.path() + "/A.CPG", "UTF-8");
  EXPECT_EQ(db::DbaseCodePage(path, 0x57), base::CodePage::Utf8);
  EXPECT_EQ(db::DbaseCodePage(dir.path() + "/b.dbf", 0xC9), base::CodePage::Cp1251);
  EXPECT_EQ(db::DbaseCodePage(dir.path() + "/b.dbf", 0), base::CodePage::Cp1251);
}

TEST(Dbase, EmptyTableLeavesAnEmptyFileWithTheSameFields) {
  QTemporaryDir dir;
  std::vector<std::vector<Value>> rows(
      50, {int64_t(1), int64_t(2), QString("pipe"), 1.5, true, Value()});
  db::DbaseFile::Create(dir.path() + "/Water.dbf", PipeFields(), rows);
  db::Table t(dir.path(), "Water");
  t.Open();
  t.EmptyTable();
  EXPECT_EQ(t.RecordCount(), 0);
  t.Append();
  t.FieldByName("Name").SetAsString(QString::fromUtf8("нова"));
  t.Post();
  t.Close();
  t.Open();
  ASSERT_EQ(t.RecordCount(), 1);
  EXPECT_EQ(t.FieldByName("Name").AsString(), QString::fromUtf8("нова"));
  EXPECT_EQ(t.FieldDefs().size(), 6u);
  EXPECT_LT(QFile(dir.path() + "/Water.dbf").size(), 1000);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Water.dbf"});
}

// A number wider than its field is refused before anything reaches the file: the record keeps
// every value it had, the fields written before the wide one included.
TEST(Dbase, ARefusedWriteLeavesTheRecordAsItWas) {
  QTemporaryDir dir;
  using db::MakeDbaseField;
  db::DbaseFile::Create(dir.path() + "/Water.dbf",
                        {MakeDbaseField("NAME", FieldType::String, 10),
                         MakeDbaseField("HUB1CODE", FieldType::Integer, 3),
                         MakeDbaseField("LENGTH", FieldType::Float, 6, 2)},
                        {{QString("a"), int64_t(12), 1.5}});
  const QByteArray before = ReadAll(dir.path() + "/Water.dbf");
  db::Table t(dir.path(), "Water.dbf");
  t.Open();
  t.Edit();
  t.FieldByName("NAME").SetAsString("b");
  t.FieldByName("HUB1CODE").SetAsInteger(1003);
  try {
    t.Post();
    FAIL() << "1003 in three characters was accepted";
  } catch (const db::Error& e) {
    EXPECT_TRUE(e.Message.contains("HUB1CODE")) << e.Message.toStdString();
    EXPECT_TRUE(e.Message.contains("1003")) << e.Message.toStdString();
  }
  EXPECT_EQ(ReadAll(dir.path() + "/Water.dbf"), before);
  t.Cancel();
  // The widest that fits, and a float too wide for its field.
  t.Edit();
  t.FieldByName("HUB1CODE").SetAsInteger(-99);
  t.Post();
  t.Edit();
  t.FieldByName("LENGTH").SetAsFloat(1234.5); // "1234.50": seven characters in six
  EXPECT_THROW(t.Post(), db::Error);
  t.Cancel();
  db::Table again(dir.path(), "Water.dbf");
  again.Open();
  EXPECT_EQ(again.FieldByName("HUB1CODE").AsInteger(), -99);
  EXPECT_EQ(again.FieldByName("LENGTH").AsFloat(), 1.5);
  EXPECT_EQ(again.FieldByName("NAME").AsString(), "a");
  // A new record that does not fit is not appended at all.
  again.Append();
  again.FieldByName("HUB1CODE").SetAsInteger(5000);
  EXPECT_THROW(again.Post(), db::Error);
  again.Cancel();
  db::Table third(dir.path(), "Water.dbf");
  third.Open();
  EXPECT_EQ(third.RecordCount(), 1);
}

// Under the users' locale (the suite runs under uk_UA.UTF-8) numbers are written with a decimal
// point, as every dBase reader expects, and read so; a decimal comma written by another program
// that followed the desktop reads as the point.
TEST(Dbase, NumbersInTheFileDoNotFollowTheLocale) {
  QTemporaryDir dir;
  using db::MakeDbaseField;
  const QString path = dir.path() + "/Water.dbf";
  db::DbaseFile::Create(path,
                        {MakeDbaseField("LENGTH", FieldType::Float, 10, 2),
                         MakeDbaseField("BIG", FieldType::Integer, 15)},
                        {{224.38, int64_t(12345678901)}});
  QByteArray bytes = ReadAll(path);
  EXPECT_TRUE(bytes.contains("    224.38")) << bytes.toStdString();
  EXPECT_TRUE(bytes.contains("    12345678901")) << bytes.toStdString();
  {
    db::Table t(dir.path(), "Water.dbf");
    t.Open();
    EXPECT_EQ(t.FieldByName("LENGTH").AsFloat(), 224.38);
    EXPECT_EQ(t.FieldByName("BIG").AsInteger(), 12345678901);
    t.Edit();
    t.FieldByName("LENGTH").SetAsFloat(-0.5);
    t.Post();
  }
  bytes = ReadAll(path);
  EXPECT_TRUE(bytes.contains("     -0.50")) << bytes.toStdString();
  // The same field as a program under a Ukrainian desktop might have left it.
  bytes.replace("     -0.50", "    224,38");
  WriteAll(path, bytes);
  db::Table t(dir.path(), "Water.dbf");
  t.Open();
  EXPECT_EQ(t.FieldByName("LENGTH").AsFloat(), 224.38);
}
