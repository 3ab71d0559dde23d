// The network graph of both networks of a scale-100 demo city built from their tables, one
// shut-off of a main there (with its labels and the dry pipes' length, as the window shows
// them, and the buildings that lose water), the check of the water network, and the water
// network as an EPANET model. Run by hand or by scripts/bench.sh.

#include "AtlasWriter.h"
#include "BenchSupport.h"

#include "network/EpanetExport.h"
#include "network/NetworkCheck.h"
#include "network/ShutOff.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

struct City {
  QTemporaryDir Dir;
  City() { demo::WriteAtlas(Dir.path(), bench::CityScale(), 1); }
  network::TNetworkSource Source(const network::TNetworkKind& kind) const {
    return network::SourceOf(Dir.path() + "/BASE", Dir.path() + "/MAPS", kind);
  }
};

City& TheCity() {
  return bench::Kept<City>();
}

void BM_NetworkGraphsOfBothNetworks(benchmark::State& state) {
  City& c = TheCity();
  size_t pipes = 0;
  for (auto _ : state) {
    pipes = 0;
    for (const auto& kind : {network::kWaterNetwork, network::kSewerNetwork})
      pipes += network::TNetworkGraph::Load(c.Source(kind))->Pipes().size();
  }
  state.counters["pipes"] = double(pipes);
}
BENCHMARK(BM_NetworkGraphsOfBothNetworks)->Unit(benchmark::kMillisecond);

void BM_ShutOffOfAMain(benchmark::State& state) {
  City& c = TheCity();
  const auto graph = network::TNetworkGraph::Load(c.Source(network::kWaterNetwork));
  const network::TNetworkSettings settings =
      network::TNetworkSettings::Read(c.Dir.path() + "/BASE");
  const int64_t main = graph->Pipes()[graph->Pipes().size() / 2].Code;
  size_t valves = 0;
  for (auto _ : state) {
    const network::TShutOff r = network::ShutOffPipe(*graph, settings, main);
    benchmark::DoNotOptimize(network::DryLength(*graph, r));
    benchmark::DoNotOptimize(network::ShutOffCsv(*graph, r));
    valves = r.Valves.size();
  }
  state.counters["valves"] = double(valves);
}
BENCHMARK(BM_ShutOffOfAMain)->Unit(benchmark::kMillisecond);

// The buildings read (outlines, rows, address points) and the main's shut-off's found.
void BM_BuildingsThatLoseWater(benchmark::State& state) {
  City& c = TheCity();
  const QString base = c.Dir.path() + "/BASE", maps = c.Dir.path() + "/MAPS";
  const auto graph = network::TNetworkGraph::Load(c.Source(network::kWaterNetwork));
  const network::TNetworkSettings settings = network::TNetworkSettings::Read(base);
  network::TShutOff r =
      network::ShutOffPipe(*graph, settings, graph->Pipes()[graph->Pipes().size() / 2].Code);
  for (auto _ : state) {
    network::FindLostBuildings(*graph, *network::TBuildings::Load(base, maps, settings), r);
    benchmark::DoNotOptimize(r.Buildings.data());
  }
  state.counters["buildings"] = double(r.Buildings.size());
}
BENCHMARK(BM_BuildingsThatLoseWater)->Unit(benchmark::kMillisecond);

void BM_CheckOfTheWaterNetwork(benchmark::State& state) {
  City& c = TheCity();
  const auto graph = network::TNetworkGraph::Load(c.Source(network::kWaterNetwork));
  size_t openEnds = 0;
  for (auto _ : state)
    openEnds = network::CheckNetwork(*graph).OpenEnds.size();
  state.counters["open_ends"] = double(openEnds);
}
BENCHMARK(BM_CheckOfTheWaterNetwork)->Unit(benchmark::kMillisecond);

void BM_EpanetModelOfTheWaterNetwork(benchmark::State& state) {
  City& c = TheCity();
  const QString base = c.Dir.path() + "/BASE";
  const network::TNetworkSettings settings = network::TNetworkSettings::Read(base);
  int pipes = 0;
  for (auto _ : state)
    pipes = network::BuildEpanetModel(base, c.Dir.path() + "/MAPS", settings, {}).Pipes;
  state.counters["pipes"] = double(pipes);
}
BENCHMARK(BM_EpanetModelOfTheWaterNetwork)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  bench::Release();
  benchmark::Shutdown();
  return 0;
}
