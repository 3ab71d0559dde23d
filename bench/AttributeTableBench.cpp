// The attribute table of the water pipes of a scale-100 demo city (about 120,000 of its 208,000
// pipes): the window opened with its first screen of rows read, and a sort by one column. Run
// by hand or by scripts/bench.sh.

#include "AtlasWriter.h"
#include "BenchSupport.h"

#include "core/FAMap.h"
#include "layers/LayerKinds.h"
#include "ui/objects/FormAttributeTable.h"

#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

struct City {
  QTemporaryDir Dir;
  TFAMap Map;
  TCustomLayer* Pipes = nullptr;
  City() {
    demo::WriteAtlas(Dir.path(), bench::CityScale(), 1);
    RegisterLayerKinds();
    Map.LoadMap(Dir.path() + "/BASE", Dir.path() + "/MAPS", Dir.path(), "", "");
    for (const auto& layer : Map.Layers)
      if (layer->FileName.compare("Water.mds", Qt::CaseInsensitive) == 0) Pipes = layer.get();
  }
};

City& TheCity() {
  return bench::Kept<City>();
}

// Opening the window and reading what its first screen shows (40 rows of every column).
void BM_AttributeTableFirstScreen(benchmark::State& state) {
  City& c = TheCity();
  int rows = 0;
  for (auto _ : state) {
    TFormAttributeTable window(c.Map, *c.Pipes);
    const QAbstractItemModel& model = *window.grdRows->model();
    rows = model.rowCount();
    for (int r = 0; r < 40; ++r)
      for (int col = 0; col < model.columnCount(); ++col)
        benchmark::DoNotOptimize(model.index(r, col).data());
  }
  state.counters["rows"] = rows;
}
BENCHMARK(BM_AttributeTableFirstScreen)->Unit(benchmark::kMillisecond);

void BM_AttributeTableSortByYear(benchmark::State& state) {
  City& c = TheCity();
  TFormAttributeTable window(c.Map, *c.Pipes);
  int year = 0;
  while (window.grdRows->model()->headerData(year, Qt::Horizontal).toString() != "YEAR")
    ++year;
  for (auto _ : state)
    window.SortBy(year);
}
BENCHMARK(BM_AttributeTableSortByYear)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  bench::Release();
  benchmark::Shutdown();
  return 0;
}
