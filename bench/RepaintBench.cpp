// The map window's repaint of a scale-100 demo city at 1920 × 1080: every layer of the atlas
// drawn into the window's back buffer as a user's zoom or pan does, the whole map and a view of
// 1/16 of it (a quarter of the width and height), by one thread and by every core.
// Run by hand or by scripts/bench.sh; never by ctest.

#include "AtlasWriter.h"

#include "core/FAMap.h"
#include "layers/LayerKinds.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

struct Window {
  QTemporaryDir Dir;
  TFAMap Map;
  TExtent Full;
  Window() {
    demo::WriteAtlas(Dir.path(), 100, 1);
    RegisterLayerKinds();
    Map.resize(1920, 1080);
    Map.LoadMap(Dir.path() + "/BASE", Dir.path() + "/MAPS", Dir.path(), "", "");
    Full = Map.World.FullExtent;
    Map.show();
  }
};

Window& TheWindow() {
  static Window window;
  return window;
}

// state.range(0): threads (1 alone, 0 every core); `fraction` of the map's width and height.
void Repaint(benchmark::State& state, double fraction) {
  Window& w = TheWindow();
  w.Map.Content.Threads = int(state.range(0));
  const TExtent& f = w.Full;
  const double cx = (f.XMin + f.XMax) / 2, cy = (f.YMin + f.YMax) / 2;
  const double hw = (f.XMax - f.XMin) * fraction / 2, hh = (f.YMax - f.YMin) * fraction / 2;
  for (auto _ : state) {
    w.Map.World.ViewExtent = {cx - hw, cy - hh, cx + hw, cy + hh};
    w.Map.Redraw();
  }
  state.counters["scale"] = w.Map.World.ScaleDenominator;
}

void BM_RepaintWholeMap(benchmark::State& state) {
  Repaint(state, 1.0);
}
BENCHMARK(BM_RepaintWholeMap)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_RepaintSixteenth(benchmark::State& state) {
  Repaint(state, 0.25);
}
BENCHMARK(BM_RepaintSixteenth)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
