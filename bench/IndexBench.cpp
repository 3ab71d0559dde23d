// The object index and the network topology on a scale-100 demo city (about 150,000 water wells,
// 100,000 sewer manholes, 200,000 pipes): 10,000 picks through the index, the topology of both
// networks, and the rebuild of the index's grid tables. Run by hand or by scripts/bench.sh.

#include "AtlasWriter.h"
#include "BenchSupport.h"

#include "core/MapContent.h"
#include "db/Table.h"
#include "layers/LayerKinds.h"
#include "overlays/DBPointsIndexs.h"
#include "overlays/ObjectIndexBuilder.h"
#include "ui/network/NetworkTopology.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <random>

namespace {

struct City {
  QTemporaryDir Dir;
  TExtent Full;
  std::vector<TWorldPoint> Wells;
  QString Maps() const { return Dir.path() + "/MAPS"; }
  QString Base() const { return Dir.path() + "/BASE"; }
  QString UserObj() const { return Dir.path() + "/USER_OBJ"; }
  City() {
    demo::WriteAtlas(Dir.path(), bench::CityScale(), 1);
    RegisterLayerKinds();
    TMapContent map;
    map.LoadMap(Base(), Maps(), Dir.path(), "", "");
    Full = map.World.FullExtent;
    db::Table wells(Maps(), "WaterWells.db");
    wells.Open();
    for (wells.First(); !wells.Eof(); wells.Next())
      Wells.push_back({wells.FieldByName("X").AsFloat(), wells.FieldByName("Y").AsFloat()});
  }
  std::unique_ptr<TDBPointsIndexs> Index() const {
    return std::make_unique<TDBPointsIndexs>(Maps(), Base(), UserObj(), Full.XMin, Full.YMin,
                                             Full.XMax, Full.YMax);
  }
};

City& Data() {
  return bench::Kept<City>();
}

// 10,000 picks at wells spread over the city, at 2 pixels per metre.
void BM_TenThousandIndexedPicks(benchmark::State& state) {
  City& c = Data();
  auto index = c.Index();
  std::mt19937 random(7);
  std::uniform_int_distribution<size_t> pick(0, c.Wells.size() - 1);
  std::vector<TWorldPoint> at;
  for (int i = 0; i < 10000; ++i)
    at.push_back(c.Wells[pick(random)]);
  int found = 0;
  for (auto _ : state) {
    for (const TWorldPoint& p : at) {
      TWorld world;
      world.SetView(1920, 1080, p.X - 480, p.Y - 270, p.X + 480, p.Y + 270);
      int32_t number = 0;
      double x = 0, y = 0;
      found += index->FindObjectsAt(world, 100, p.X, p.Y, 1, number, x, y);
    }
  }
  benchmark::DoNotOptimize(found);
}
BENCHMARK(BM_TenThousandIndexedPicks)->Unit(benchmark::kMillisecond);

// Both networks: every pipe's two ends searched and its row written.
void BM_TopologyOfBothNetworks(benchmark::State& state) {
  City& c = Data();
  int pipes = 0;
  for (auto _ : state) {
    auto index = c.Index();
    TWorld world;
    for (const TNetworkTable& n : kNetworkTables)
      pipes += CalcNetworkHubs(*index, world, c.Maps(), n.TableName, n.Category, n.Class).Pipes;
  }
  state.counters["pipes"] = double(pipes) / double(state.iterations());
}
BENCHMARK(BM_TopologyOfBothNetworks)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_RebuildObjectIndex(benchmark::State& state) {
  City& c = Data();
  int objects = 0;
  for (auto _ : state)
    objects = BuildObjectIndex(c.Base(), c.Maps(), c.UserObj(), c.Full).Objects;
  state.counters["objects"] = objects;
}
BENCHMARK(BM_RebuildObjectIndex)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  bench::Release();
  benchmark::Shutdown();
  return 0;
}
