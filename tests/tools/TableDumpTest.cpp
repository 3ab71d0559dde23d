#include "tables/TableDump.h"

#include "../db/TestFiles.h"

#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"

#include "AtlasWriter.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using db::FieldType;
namespace px = db::paradox;

TEST(TableDump, CsvQuotesPerRfc4180) {
  EXPECT_EQ(tools::CsvQuote("plain"), "plain");
  EXPECT_EQ(tools::CsvQuote("a,b"), "\"a,b\"");
  EXPECT_EQ(tools::CsvQuote("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(tools::CsvQuote("two\nlines"), "\"two\nlines\"");
}

TEST(TableDump, CsvDumpOfATableWithTextNumbersAndBlobs) {
  QTemporaryDir dir;
  QByteArray bmp("BM");
  bmp.append(QByteArray(98, '\0'));
  db::ParadoxFile::Create(dir.path() + "/images.db",
                          {px::MakeField("ImageIndex", FieldType::Integer),
                           px::MakeField("ImageName", FieldType::String, 40),
                           px::MakeField("Image", FieldType::Graphic, 1)},
                          1,
                          {{int64_t(2), QString::fromUtf8("Гідрант, пожежний"), bmp},
                           {int64_t(1), QString("\"x\""), db::Value()}});
  db::Table t(dir.path(), "images");
  t.Open();
  QString text;
  QTextStream out(&text);
  tools::DumpTable(t, true, out);
  out.flush();
  EXPECT_EQ(text, QString::fromUtf8("ImageIndex,ImageName,Image\r\n1,\"\"\"x\"\"\",\r\n2,\"Гідрант,"
                                    " пожежний\",<100 bytes BMP>\r\n"));
}

TEST(TableDump, ListNamesTablesAndTheirErrors) {
  QTemporaryDir dir;
  db::ParadoxFile::Create(dir.path() + "/groups.db",
                          {px::MakeField("GroupNum", FieldType::Integer)}, 0, {{int64_t(1)}});
  testing_support::WriteAll(dir.path() + "/broken.DB", QByteArray(100, '\x01'));
  QString text;
  QTextStream out(&text);
  EXPECT_EQ(tools::ListTables(dir.path(), out), 1);
  out.flush();
  EXPECT_TRUE(text.contains("groups.db\tParadox 7\t1 rows\tGroupNum")) << text.toStdString();
  EXPECT_TRUE(text.contains("broken.DB\terror: ")) << text.toStdString();
}

TEST(TableDump, TextDumpKeepsOneRowPerLine) {
  QTemporaryDir dir;
  db::ParadoxFile::Create(
      dir.path() + "/notes.db",
      {px::MakeField("Id", FieldType::Integer), px::MakeField("Note", FieldType::Memo, 5)}, 0,
      {{int64_t(1), QString("two\nlines\tand tab")}});
  db::Table t(dir.path(), "notes");
  t.Open();
  QString text;
  QTextStream out(&text);
  tools::DumpTable(t, false, out);
  out.flush();
  EXPECT_TRUE(text.endsWith("# Id: Integer(4)\n# Note: Memo(15)\n1\ttwo\\nlines\\tand tab\n"))
      << text.toStdString();
}

TEST(TableDump, AQueryResultIsDumpedLikeATable) {
  QTemporaryDir dir;
  db::ParadoxFile::Create(
      dir.path() + "/streets.db",
      {px::MakeField("Code", FieldType::Integer), px::MakeField("Name", FieldType::String, 40)}, 1,
      {{int64_t(1), QString::fromUtf8("Садова, \"стара\"")},
       {int64_t(2), QString::fromUtf8("Лісова\nнова")}});
  db::Query query;
  query.SetDatabaseName(dir.path());
  query.SQL = QStringList{"SELECT Code, UPPER(Name) AS N FROM streets.db ORDER BY Code DESC"};
  query.Open();
  QString text, csv;
  QTextStream t(&text), c(&csv);
  tools::DumpQuery(query, false, t);
  tools::DumpQuery(query, true, c);
  t.flush();
  c.flush();
  EXPECT_EQ(text, QString::fromUtf8("Code\tN\n2\tЛІСОВА\\nНОВА\n1\tСАДОВА, \"СТАРА\"\n"));
  EXPECT_EQ(csv, QString::fromUtf8("Code,N\n2,\"ЛІСОВА\nНОВА\"\n1,\"САДОВА, \"\"СТАРА\"\"\"\n"));
}

// What the tool prints for machines does not follow the desktop's locale: a dump of the demo's
// pipes (lengths and diameters with decimals) is the same byte for byte under C and uk_UA.UTF-8.
TEST(TableDump, TheDumpIsTheSameUnderEveryLocale) {
  QTemporaryDir dir;
  demo::WriteAtlas(dir.path(), 1, 2);
  auto dump = [&](const char* locale) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", locale);
    env.insert("LANG", locale);
    p.setProcessEnvironment(env);
    p.start(VANDREL_TABLES, {"dump", dir.path() + "/MAPS", "Water.dbf", "--csv"});
    EXPECT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
  };
  const QByteArray c = dump("C"), ukrainian = dump("uk_UA.UTF-8");
  EXPECT_GT(c.count('\n'), 100);
  EXPECT_TRUE(c.contains('.'));
  EXPECT_EQ(c, ukrainian);
}
