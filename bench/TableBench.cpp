// Opening and walking 100,000-row Paradox and dBase tables, 10,000 key look-ups, and searches
// of the search window's kind over 100,000 rows through the SQL engine.
// Run by hand or by scripts/bench.sh; never by ctest.

#include "BenchSupport.h"
#include "db/DbaseFile.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Query.h"
#include "db/Table.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int kRows = 100000;

struct Fixture {
  QTemporaryDir Dir;
  Fixture() {
    using db::FieldType;
    namespace px = db::paradox;
    std::vector<std::vector<db::Value>> rows;
    rows.reserve(kRows);
    for (int i = 0; i < kRows; ++i)
      rows.push_back({int64_t(100), int64_t(i % 50), int64_t(i), 1000.0 + i, 2000.0 - i,
                      QString::fromUtf8("Колодязь %1").arg(i), int64_t(i % 9)});
    db::ParadoxFile::Create(
        Dir.path() + "/Wells.db",
        {px::MakeField("Category", FieldType::SmallInt), px::MakeField("Class", FieldType::Integer),
         px::MakeField("ObjectCode", FieldType::Integer), px::MakeField("X", FieldType::Float),
         px::MakeField("Y", FieldType::Float), px::MakeField("NAME", FieldType::String, 60),
         px::MakeField("NUMGROUP", FieldType::Integer)},
        3, rows);
    using db::MakeDbaseField;
    db::DbaseFile::Create(Dir.path() + "/Water.dbf",
                          {MakeDbaseField("Category", FieldType::Integer, 6),
                           MakeDbaseField("Class", FieldType::Integer, 9),
                           MakeDbaseField("ObjectCode", FieldType::Integer, 9),
                           MakeDbaseField("X", FieldType::Float, 19, 6),
                           MakeDbaseField("Y", FieldType::Float, 19, 6),
                           MakeDbaseField("NAME", FieldType::String, 60),
                           MakeDbaseField("NUMGROUP", FieldType::Integer, 6)},
                          rows);
  }
};

Fixture& Data() {
  return bench::Kept<Fixture>();
}

void Walk(db::Table& t, benchmark::State& state) {
  double sum = 0;
  for (t.First(); !t.Eof(); t.Next())
    sum += t.FieldByName("X").AsFloat();
  benchmark::DoNotOptimize(sum);
  state.counters["rows"] = t.RecordCount();
}

void BM_OpenAndWalkParadox(benchmark::State& state) {
  Data(); // the tables are written once, outside the timing
  for (auto _ : state) {
    db::Table t(Data().Dir.path(), "Wells");
    t.Open();
    Walk(t, state);
  }
}
BENCHMARK(BM_OpenAndWalkParadox)->Unit(benchmark::kMillisecond);

void BM_OpenAndWalkDbase(benchmark::State& state) {
  Data();
  for (auto _ : state) {
    db::Table t(Data().Dir.path(), "Water.dbf");
    t.Open();
    Walk(t, state);
  }
}
BENCHMARK(BM_OpenAndWalkDbase)->Unit(benchmark::kMillisecond);

void BM_FindKey10000(benchmark::State& state) {
  db::Table t(Data().Dir.path(), "Wells");
  t.Open();
  for (auto _ : state) {
    int found = 0;
    for (int i = 0; i < 10000; ++i)
      found += t.FindKey({int64_t(100), int64_t((i * 7) % 50), int64_t((i * 7919) % kRows)});
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_FindKey10000)->Unit(benchmark::kMillisecond);

// The search window's query over 100,000 objects: by name, case ignored, from the start (a few
// rows) and anywhere (a tenth of the rows). The query's tables stay attached between searches.
void Search(benchmark::State& state, const QString& condition) {
  db::Query query;
  query.SetDatabaseName(Data().Dir.path());
  query.SQL =
      QStringList{"SELECT NAME, OBJECTCODE, (\"№ \" || NAME) AS ADRESS", "FROM Water", condition};
  for (auto _ : state) {
    query.Open();
    benchmark::DoNotOptimize(query.RecordCount());
  }
  state.counters["rows"] = query.RecordCount();
}
void BM_SearchByNameFromTheStart(benchmark::State& state) {
  Search(state, QString::fromUtf8("WHERE (LOWER(NAME) LIKE \"колодязь 9999%\") "));
}
BENCHMARK(BM_SearchByNameFromTheStart)->Unit(benchmark::kMillisecond);
void BM_SearchByNameAnywhere(benchmark::State& state) {
  Search(state, QString::fromUtf8("WHERE (LOWER(NAME) LIKE \"%7%\") "));
}
BENCHMARK(BM_SearchByNameAnywhere)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
