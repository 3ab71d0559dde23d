// Local SQL over the tables of a directory: the dialect, Cyrillic case and LIKE, table names,
// writes reaching the files, bound texts, and the corpus read through the module.

#include "db/Query.h"
#include "db/DbaseFile.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Table.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>

namespace {

using db::FieldType;
using db::Value;

class QueryTest : public ::testing::Test {
protected:
  void SetUp() override {
    db::DbaseFile::Create(Dir.path() + "/Streets.dbf",
                          {db::MakeDbaseField("OBJECTCODE", FieldType::Integer, 9),
                           db::MakeDbaseField("STREET", FieldType::String, 40),
                           db::MakeDbaseField("TYPE", FieldType::String, 10)},
                          {{int64_t(0), QString("Шевченка"), QString("вул.")},
                           {int64_t(1), QString("шевченківська"), QString("пров.")},
                           {int64_t(2), QString("Садова"), QString("вул.")},
                           {int64_t(3), QString("О\"Нейла"), QString("вул.")}});
    Q.SetDatabaseName(Dir.path());
  }
  QStringList Column(int column = 0) {
    QStringList values;
    for (int r = 0; r < Q.RecordCount(); ++r)
      values << db::ValueToString(Q.ValueAt(r, column));
    return values;
  }
  void Run(const QString& sql) {
    Q.SQL = QStringList{sql};
    Q.Open();
  }

  QTemporaryDir Dir;
  db::Query Q;
};

} // namespace

TEST_F(QueryTest, TheDialectsLiteralsAndJoinsBecomeSqlites) {
  EXPECT_EQ(db::Query::ToSqlite("SELECT (TYPE || \" \" || STREET) AS ADRESS \nFROM Streets.dbf\n"
                                "WHERE (TYPE =\"вул.\") AND (NAME LIKE \"О\"\"Н%\")"),
            "SELECT (TYPE || ' ' || STREET) AS ADRESS \nFROM \"Streets.dbf\"\n"
            "WHERE (TYPE ='вул.') AND (NAME LIKE 'О\"Н%')");
  EXPECT_EQ(db::Query::TableNames("SELECT * FROM a, \"b c.db\" x JOIN d ON a.k = d.k WHERE "
                                  "e IN (SELECT f FROM g)"),
            (QStringList{"a", "b c.db", "d", "g"}));
  EXPECT_EQ(db::Query::TableNames("UPDATE t SET a = 1"), QStringList{"t"});
  EXPECT_EQ(db::Query::TableNames("INSERT INTO t (a) VALUES (\"x\")"), QStringList{"t"});
}

TEST_F(QueryTest, LowerUpperAndLikeKnowCyrillicAndLikeRespectsCase) {
  Run("SELECT OBJECTCODE FROM Streets WHERE (LOWER(STREET) LIKE \"шев%\")");
  EXPECT_EQ(Column(), (QStringList{"0", "1"}));
  Run("SELECT OBJECTCODE FROM Streets WHERE (STREET LIKE \"Шев%\")");
  EXPECT_EQ(Column(), QStringList{"0"}) << "LIKE respects letter case";
  Run("SELECT OBJECTCODE FROM Streets WHERE (STREET LIKE \"%ов_\")");
  EXPECT_EQ(Column(), QStringList{"2"}) << "\"_\" is one character";
  Run("SELECT UPPER(STREET), (TYPE || \" \" || STREET) AS ADRESS FROM Streets WHERE "
      "OBJECTCODE = 2");
  EXPECT_EQ(Column(0), QStringList{"САДОВА"});
  EXPECT_EQ(Column(1), QStringList{"вул. Садова"});
  EXPECT_EQ(Q.ColumnNames()[1], "ADRESS");
  Run("SELECT OBJECTCODE FROM Streets WHERE STREET = \"О\"\"Нейла\"");
  EXPECT_EQ(Column(), QStringList{"3"}) << "a doubled double quote stands for one";
}

TEST_F(QueryTest, TableNamesWithOrWithoutExtensionInAnyCase) {
  for (const QString name : {"Streets", "STREETS.DBF", "streets.dbf", "\"Streets.dbf\""}) {
    db::Query q;
    q.SetDatabaseName(Dir.path());
    q.SQL = QStringList{"SELECT COUNT(*) FROM " + name};
    q.Open();
    EXPECT_EQ(db::ValueToInteger(q.ValueAt(0, 0)), 4) << name.toStdString();
  }
}

TEST_F(QueryTest, ChangesThroughTheModuleReachTheFiles) {
  Q.SQL = QStringList{"UPDATE Streets SET TYPE = \"просп.\" WHERE OBJECTCODE >= 2"};
  EXPECT_EQ(Q.ExecSQL(), 2);
  db::Table file(Dir.path(), "Streets.dbf");
  file.Open();
  file.SetRecNo(3);
  EXPECT_EQ(file.FieldByName("TYPE").AsString(), QString("просп."));
  EXPECT_EQ(file.FieldByName("STREET").AsString(), QString("Садова"));
  file.Close();
  // A keyed Paradox table: insert, a key change, delete.
  db::ParadoxFile::Create(Dir.path() + "/Codes.db",
                          {db::paradox::MakeField("Code", FieldType::Integer),
                           db::paradox::MakeField("Name", FieldType::String, 20)},
                          1, {{int64_t(5), QString("п'ять")}, {int64_t(7), QString("сім")}});
  Q.SQL = QStringList{"INSERT INTO Codes (Code, Name) VALUES (6, \"шість\")"};
  EXPECT_EQ(Q.ExecSQL(), 1);
  Q.SQL = QStringList{"UPDATE Codes SET Code = 1 WHERE Name = \"сім\""};
  EXPECT_EQ(Q.ExecSQL(), 1);
  Q.SQL = QStringList{"DELETE FROM Codes WHERE Code = 5"};
  EXPECT_EQ(Q.ExecSQL(), 1);
  db::Table codes(Dir.path(), "Codes.db");
  codes.Open();
  std::vector<std::pair<int64_t, QString>> rows;
  for (codes.First(); !codes.Eof(); codes.Next())
    rows.emplace_back(codes.FieldByName("Code").AsInteger(), codes.FieldByName("Name").AsString());
  EXPECT_EQ(rows, (std::vector<std::pair<int64_t, QString>>{{1, "сім"}, {6, "шість"}}));
  // A key violation is refused with the store's message and changes nothing.
  Q.SQL = QStringList{"INSERT INTO Codes (Code, Name) VALUES (6, \"ще шість\")"};
  try {
    Q.ExecSQL();
    FAIL();
  } catch (const db::Error& e) {
    EXPECT_TRUE(e.Message.contains(QString::fromUtf8("порушення ключа")))
        << e.Message.toStdString();
  }
}

TEST_F(QueryTest, AStatementIsWrittenWholeOrNotAtAll) {
  std::vector<std::vector<Value>> rows;
  for (int k = 1; k <= 40; ++k)
    rows.push_back({int64_t(k), int64_t(k % 2), QString("ряд %1").arg(k)});
  db::ParadoxFile::Create(Dir.path() + "/Wells.db",
                          {db::paradox::MakeField("Code", FieldType::Integer),
                           db::paradox::MakeField("Kind", FieldType::Integer),
                           db::paradox::MakeField("Name", FieldType::String, 20)},
                          1, rows);
  QFile wells(Dir.path() + "/Wells.db");
  ASSERT_TRUE(wells.open(QIODevice::ReadOnly));
  const QByteArray before = wells.readAll();
  wells.close();
  // Codes 2, 4, ... become 48, 46, ...: 24 among them meets row 24's own, kept, code.
  auto refused = [&](const QString& sql, const char* reason) {
    Q.SQL = QStringList{sql};
    try {
      Q.ExecSQL();
      ADD_FAILURE() << sql.toStdString();
    } catch (const db::Error& e) {
      EXPECT_TRUE(e.Message.contains(QString::fromUtf8(reason))) << e.Message.toStdString();
    }
    ASSERT_TRUE(wells.open(QIODevice::ReadOnly));
    EXPECT_EQ(wells.readAll(), before) << sql.toStdString();
    wells.close();
  };
  refused("UPDATE Wells SET Code = 50 - Code WHERE Kind = 0 AND Code <> 26", "порушення ключа");
  // Values the fields cannot hold are refused, naming the field and the value.
  refused("UPDATE Wells SET Name = \"Труби 😀 ☂\" WHERE Code = 3", "Name");
  refused("UPDATE Wells SET Name = \"Труби 😀 ☂\" WHERE Code = 3", "😀☂");
  refused("UPDATE Wells SET Kind = 1e308 * 10 WHERE Code = 3", "не вміщується в ціле поле");
  refused("UPDATE Wells SET Name = \"вулиця Котляревського\" WHERE Code = 3", "довший за поле");
  refused("UPDATE Streets SET OBJECTCODE = 1e308 * 10", "OBJECTCODE");
  // A statement that holds: one rewrite, every row, the other fields as they were.
  Q.SQL = QStringList{"UPDATE Wells SET Code = 100 + Code WHERE Kind = 1"};
  EXPECT_EQ(Q.ExecSQL(), 20);
  db::Table table(Dir.path(), "Wells.db");
  table.Open();
  ASSERT_TRUE(table.FindKey({int64_t(103)}));
  EXPECT_EQ(table.FieldByName("Name").AsString(), QString("ряд 3"));
  EXPECT_EQ(table.RecordCount(), 40);
}

TEST(TableValues, WordsThatAreNoBooleanAndUnfiniteNumbersAreRefused) {
  QTemporaryDir dir;
  db::DbaseFile::Create(dir.path() + "/Flags.dbf",
                        {db::MakeDbaseField("OK", FieldType::Boolean, 1),
                         db::MakeDbaseField("LEN", FieldType::Float, 12, 2)},
                        {{true, 1.5}});
  db::Table t(dir.path(), "Flags.dbf");
  t.Open();
  t.Edit();
  EXPECT_THROW(t.FieldByName("OK").SetAsString("abc"), db::Error);
  EXPECT_THROW(t.FieldByName("LEN").SetAsFloat(std::numeric_limits<double>::infinity()), db::Error);
  t.FieldByName("OK").SetAsString(QString::fromUtf8("нет"));
  t.Post();
  EXPECT_FALSE(t.FieldByName("OK").AsBoolean());
  EXPECT_DOUBLE_EQ(t.FieldByName("LEN").AsFloat(), 1.5);
}

TEST_F(QueryTest, BoundTextNeverChangesTheStatement) {
  Q.SQL = QStringList{"SELECT OBJECTCODE FROM Streets WHERE STREET = ?"};
  Q.Params = {QString("x\" OR \"1\"=\"1")};
  Q.Open();
  EXPECT_EQ(Q.RecordCount(), 0);
  Q.Params = {QString("О\"Нейла")};
  Q.Open();
  EXPECT_EQ(Column(), QStringList{"3"});
}

TEST_F(QueryTest, WrongStatementsNameWhatIsWrong) {
  auto message = [&](const QString& sql) {
    try {
      Run(sql);
    } catch (const db::Error& e) {
      return e.Message;
    }
    return QString();
  };
  EXPECT_TRUE(message("SELECT * FROM Nowhere").contains("Nowhere"));
  EXPECT_TRUE(message("SELECT NOSUCH FROM Streets").contains("NOSUCH"));
  EXPECT_FALSE(message("SELEKT 1").isEmpty());
  // A second statement is refused, never left unread nor run; a closing semicolon or a comment
  // is no statement.
  EXPECT_TRUE(message("SELECT * FROM Streets WHERE (1); DELETE FROM Streets").contains("SQL"));
  Q.SQL = QStringList{"UPDATE Streets SET TYPE = \"x\"; DELETE FROM Streets"};
  EXPECT_THROW(Q.ExecSQL(), db::Error);
  EXPECT_EQ(message("SELECT * FROM Streets; -- all of them"), QString());
  EXPECT_EQ(Q.RecordCount(), 4) << "nothing deleted, nothing changed";
  EXPECT_FALSE(Column(2).contains("x"));
}

// Every table has a hidden column of the row's position in its primary order, left out of "*"
// and not written by an update.
TEST_F(QueryTest, TheRowsPositionIsAHiddenColumn) {
  Run("SELECT * FROM Streets");
  EXPECT_EQ(Q.ColumnNames(), (QStringList{"OBJECTCODE", "STREET", "TYPE"}));
  Run("SELECT _ROW_POSITION, STREET FROM Streets WHERE LOWER(STREET) LIKE \"шев%\"");
  EXPECT_EQ(Column(0), (QStringList{"0", "1"}));
  Q.SQL = QStringList{"UPDATE Streets SET STREET = \"Нова\" WHERE _ROW_POSITION = 2"};
  EXPECT_EQ(Q.ExecSQL(), 1);
  Run("SELECT STREET FROM Streets");
  EXPECT_EQ(Column(0), (QStringList{"Шевченка", "шевченківська", "Нова", "О\"Нейла"}));
}

TEST(QueryCorpus, ParadoxAndDbaseTablesOfOtherProgramsAreQueried) {
  db::Query paradox;
  paradox.SetDatabaseName(QString(VANDREL_CORPUS) + "/paradox/rparadox");
  paradox.SQL = QStringList{"SELECT Name, Population FROM country WHERE Continent = \"South "
                            "America\" ORDER BY Name"};
  paradox.Open();
  db::Table country(QString(VANDREL_CORPUS) + "/paradox/rparadox", "country");
  country.Open();
  int expected = 0;
  for (country.First(); !country.Eof(); country.Next())
    expected += country.FieldByName("Continent").AsString() == "South America";
  EXPECT_GT(expected, 0);
  EXPECT_EQ(paradox.RecordCount(), expected);
  db::Query dbase;
  dbase.SetDatabaseName(QString(VANDREL_CORPUS) + "/dbf/dbfread");
  dbase.SQL = QStringList{"SELECT NAME FROM people.dbf"};
  dbase.Open();
  db::Table people(QString(VANDREL_CORPUS) + "/dbf/dbfread", "people.dbf");
  people.Open();
  ASSERT_EQ(dbase.RecordCount(), people.RecordCount());
  people.First();
  EXPECT_EQ(db::ValueToString(dbase.ValueAt(0, 0)), people.FieldByName("NAME").AsString());
}
