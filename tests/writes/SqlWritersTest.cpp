// Several programs running SQL on one table at once (vandrel-tables sql, as scripts run it):
// every statement's change reaches the file, and one statement never writes back what another
// changed after it read the row.

#include "db/DbaseFile.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Table.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

using db::FieldType;

constexpr int kRows = 300;
constexpr int kProcesses = 4;
constexpr int kRunsEach = 6;

std::vector<std::vector<db::Value>> Rows() {
  std::vector<std::vector<db::Value>> rows;
  for (int k = 1; k <= kRows; ++k)
    rows.push_back({int64_t(k), int64_t(0), QString()});
  return rows;
}

// Runs `sql` on `dir` from kProcesses programs at once, kRunsEach times each, while one more
// program sets one row's PHONE; returns how many of the increments said they changed the rows.
int RunAtOnce(const QString& dir, const QString& table) {
  std::vector<std::unique_ptr<QProcess>> runs;
  auto start = [&](const QString& sql) {
    runs.push_back(std::make_unique<QProcess>());
    runs.back()->start(VANDREL_TABLES, {"sql", dir, sql});
  };
  int done = 0, phoneSet = 0;
  for (int round = 0; round < kRunsEach; ++round) {
    for (int p = 0; p < kProcesses; ++p)
      start("UPDATE " + table + " SET N = N + 1");
    if (round == kRunsEach / 2)
      start("UPDATE " + table + " SET PHONE = \"555-0001\" WHERE K = 140");
    for (auto& run : runs) {
      EXPECT_TRUE(run->waitForFinished(120000));
      const QString out = QString::fromUtf8(run->readAllStandardOutput());
      EXPECT_EQ(run->exitCode(), 0) << run->readAllStandardError().toStdString();
      if (out.contains(QString::number(kRows))) ++done;
      if (out.startsWith("1 ")) ++phoneSet;
    }
    runs.clear();
  }
  EXPECT_EQ(phoneSet, 1);
  return done;
}

void ExpectEveryChange(const QString& dir, const QString& table, int increments) {
  db::Table t(dir, table);
  t.Open();
  ASSERT_EQ(t.RecordCount(), kRows);
  for (t.First(); !t.Eof(); t.Next()) {
    ASSERT_EQ(t.FieldByName("N").AsInteger(), increments) << "row " << t.RecNo();
    if (t.FieldByName("K").AsInteger() == 140) {
      EXPECT_EQ(t.FieldByName("PHONE").AsString(), "555-0001");
    }
  }
}

} // namespace

TEST(SqlWriters, StatementsFromSeveralProgramsLoseNoChange) {
  QTemporaryDir dir;
  namespace px = db::paradox;
  db::ParadoxFile::Create(dir.filePath("Counter.DB"),
                          {px::MakeField("K", FieldType::Integer),
                           px::MakeField("N", FieldType::Integer),
                           px::MakeField("PHONE", FieldType::String, 20)},
                          1, Rows());
  db::DbaseFile::Create(dir.filePath("Counts.dbf"),
                        {db::MakeDbaseField("K", FieldType::Integer, 6),
                         db::MakeDbaseField("N", FieldType::Integer, 6),
                         db::MakeDbaseField("PHONE", FieldType::String, 20)},
                        Rows());
  const int paradox = RunAtOnce(dir.path(), "Counter");
  EXPECT_EQ(paradox, kProcesses * kRunsEach);
  ExpectEveryChange(dir.path(), "Counter", paradox);
  const int dbase = RunAtOnce(dir.path(), "Counts.dbf");
  EXPECT_EQ(dbase, kProcesses * kRunsEach);
  ExpectEveryChange(dir.path(), "Counts.dbf", dbase);
}
