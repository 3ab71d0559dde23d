// Several programs writing the same Paradox and dBase tables at once (inserts with rewrites in
// key order, edits, deletes), thousands of writes in all, while another reads them in a loop:
// every change is there exactly once, every read saw a whole, valid table, and the Paradox
// table is one pxlib reads as we do.

#include "db/DbaseFile.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Table.h"

#ifdef VANDREL_HAVE_PXLIB
#include "../db/PxlibOracle.h"
#endif

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <memory>

namespace {

using db::FieldType;

constexpr int kWriters = 4;
constexpr int kRowsEach = 250;

// Writer `id`'s rows as they must end: row k → its value (rows deleted are absent).
std::map<std::pair<int64_t, int64_t>, int64_t> Expected() {
  std::map<std::pair<int64_t, int64_t>, int64_t> rows;
  for (int id = 1; id <= kWriters; ++id)
    for (int k = 0; k < kRowsEach; ++k) {
      if (k % 5 == 2 && k + 2 < kRowsEach) continue; // deleted at step k + 2
      rows[{id, k}] = (k % 3 == 1 && k + 1 < kRowsEach) ? -k : k;
    }
  return rows;
}

// How many writes the writers make in all (inserts, edits and deletes of both tables).
int Writes() {
  int writes = 0;
  for (int k = 0; k < kRowsEach; ++k)
    writes += 2 + 2 * (k % 3 == 2) + 2 * (k % 5 == 4);
  return writes * kWriters;
}

} // namespace

TEST(SharedWriters, NoChangeIsLostAndNoReadIsTorn) {
  QTemporaryDir dir;
  namespace px = db::paradox;
  db::ParadoxFile::Create(dir.filePath("Shared.DB"),
                          {px::MakeField("Key", FieldType::Integer),
                           px::MakeField("Writer", FieldType::Integer),
                           px::MakeField("Value", FieldType::Integer)},
                          1, {});
  db::DbaseFile::Create(dir.filePath("Shared.dbf"),
                        {db::MakeDbaseField("Writer", FieldType::Integer, 5),
                         db::MakeDbaseField("Seq", FieldType::Integer, 8),
                         db::MakeDbaseField("Value", FieldType::Integer, 9)},
                        {});
  QElapsedTimer clock;
  clock.start();
  QProcess reader;
  reader.start(SHARED_WRITER, {"read", dir.path()});
  ASSERT_TRUE(reader.waitForStarted());
  std::vector<std::unique_ptr<QProcess>> writers;
  for (int id = 1; id <= kWriters; ++id) {
    writers.push_back(std::make_unique<QProcess>());
    writers.back()->start(SHARED_WRITER,
                          {"write", dir.path(), QString::number(id), QString::number(kRowsEach)});
  }
  for (auto& w : writers) {
    ASSERT_TRUE(w->waitForFinished(900000));
    EXPECT_EQ(w->exitCode(), 0) << w->readAllStandardError().toStdString();
  }
  const qint64 elapsed = clock.elapsed();
  QFile stop(dir.filePath("stop"));
  ASSERT_TRUE(stop.open(QIODevice::WriteOnly));
  stop.close();
  ASSERT_TRUE(reader.waitForFinished(120000));
  EXPECT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
  const QString reads = QString::fromUtf8(reader.readAllStandardOutput()).trimmed();

  const auto expected = Expected();
  int lost = 0;
  for (const char* name : {"Shared.DB", "Shared.dbf"}) {
    db::Table t(dir.path(), name);
    t.Open();
    std::map<std::pair<int64_t, int64_t>, int64_t> found;
    int duplicates = 0;
    for (t.First(); !t.Eof(); t.Next()) {
      const int64_t id = t.FieldByName("Writer").AsInteger();
      const int64_t k = QString(name) == "Shared.DB"
                            ? t.FieldByName("Key").AsInteger() - id * 1000000
                            : t.FieldByName("Seq").AsInteger();
      duplicates +=
          !found.emplace(std::make_pair(id, k), t.FieldByName("Value").AsInteger()).second;
    }
    EXPECT_EQ(duplicates, 0) << name;
    for (const auto& [row, value] : expected) {
      const auto it = found.find(row);
      lost += it == found.end() || it->second != value;
    }
    EXPECT_EQ(found.size(), expected.size()) << name;
  }
  EXPECT_EQ(lost, 0);
#ifdef VANDREL_HAVE_PXLIB
  testing_support::ExpectSameAsPxlib(dir.filePath("Shared.DB"));
#endif
  std::cout << kWriters << " writers, " << Writes() << " writes in " << elapsed << " ms, " << lost
            << " changes lost; reader: " << reads.toStdString() << "\n";
}
