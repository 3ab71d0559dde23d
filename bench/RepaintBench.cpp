// The map window's repaint of a scale-100 demo city at 1920 × 1080: every layer of the atlas
// drawn into the window's back buffer as a user's zoom or pan does, the whole map and a view of
// 1/16 of it (a quarter of the width and height), by one thread and by every core, and the
// views at 1 : 500, 1 : 2,000 and 1 : 10,000 where engineers work (after their first paint). The
// atlas shows more layers the closer the view; the "same layers" runs show only the sewer pipes,
// the buildings and the address points, at every scale, styled as bench/peers.sh styles them. Run
// by hand or by scripts/bench.sh; never by ctest.

#include "AtlasWriter.h"
#include "BenchSupport.h"

#include "core/FAMap.h"
#include "layers/LayerKinds.h"
#include "layers/LinesLayer.h"
#include "layers/PointsLayer.h"

#include <QApplication>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <benchmark/benchmark.h>
#include <tuple>

namespace {

struct Window {
  QTemporaryDir Dir;
  TFAMap Map;
  TExtent Full;
  // The visibility and thresholds of every layer as the atlas has them.
  std::vector<std::pair<bool, double>> AsLoaded;
  Window() {
    demo::WriteAtlas(Dir.path(), bench::CityScale(), 1);
    RegisterLayerKinds();
    Map.resize(1920, 1080);
    Map.LoadMap(Dir.path() + "/BASE", Dir.path() + "/MAPS", Dir.path(), "", "");
    Full = Map.World.FullExtent;
    for (const auto& layer : Map.Layers)
      AsLoaded.emplace_back(layer->Visibled, layer->ZoomInScale);
    Map.show();
  }
  void ShowAtlasLayers() {
    for (size_t i = 0; i < Map.Layers.size(); ++i)
      std::tie(Map.Layers[i]->Visibled, Map.Layers[i]->ZoomInScale) = AsLoaded[i];
  }
  void ShowSameLayers() {
    for (const auto& layer : Map.Layers) {
      const QString file = QFileInfo(layer->FullPath).fileName();
      layer->Visibled = layer->PrimitiveType < 20 &&
                        (file == "Kanaliz.mds" || file == "Buildings.mds" || file == "address.mds");
      layer->ZoomInScale = 0;
      layer->VisibleLabel = false;
      layer->RenderType = 0;
      layer->Shadow = 0;
      if (auto* lines = dynamic_cast<TLinesLayer*>(layer.get())) lines->PenWidth = 1;
      if (auto* points = dynamic_cast<TPointsLayer*>(layer.get())) {
        points->CharLabel.clear();
        points->CharFontSize = 6;
      }
    }
  }
};

Window& TheWindow() {
  return bench::Kept<Window>();
}

// state.range(0): threads (1 alone, 0 every core); `fraction` of the map's width and height.
void Repaint(benchmark::State& state, double fraction, bool sameLayers = false) {
  Window& w = TheWindow();
  if (sameLayers)
    w.ShowSameLayers();
  else
    w.ShowAtlasLayers();
  w.Map.Content.Threads = bench::Threads(int(state.range(0)));
  const TExtent& f = w.Full;
  const double cx = (f.XMin + f.XMax) / 2, cy = (f.YMin + f.YMax) / 2;
  const double hw = (f.XMax - f.XMin) * fraction / 2, hh = (f.YMax - f.YMin) * fraction / 2;
  for (auto _ : state) {
    w.Map.World.ViewExtent = {cx - hw, cy - hh, cx + hw, cy + hh};
    w.Map.Redraw();
  }
  state.counters["scale"] = w.Map.World.ScaleDenominator;
}

// The view at 1 : state.range(0) about the city's centre, drawn, in the pan tool.
TFAMap& AtScale(benchmark::State& state) {
  Window& w = TheWindow();
  w.ShowAtlasLayers();
  w.Map.Content.Threads = bench::Threads(0); // as the window draws
  const TExtent& f = w.Full;
  w.Map.World.ViewExtent = f;
  w.Map.Redraw();
  const double screenMetres = (w.Map.World.VisibleExtent.XMax - w.Map.World.VisibleExtent.XMin) /
                              w.Map.World.ScaleDenominator;
  const double hw = double(state.range(0)) * screenMetres / 2;
  const double hh = hw * w.Map.height() / w.Map.width();
  const double cx = (f.XMin + f.XMax) / 2, cy = (f.YMin + f.YMax) / 2;
  w.Map.World.ViewExtent = {cx - hw, cy - hh, cx + hw, cy + hh};
  w.Map.SetMode(TFAMap::ModePan);
  return w.Map;
}

// state.range(0): the scale's denominator; the view is centred on the city, drawn as the window
// draws it, once before the timing so that only repaints are timed.
void RepaintAtScale(benchmark::State& state) {
  TFAMap& map = AtScale(state);
  const TExtent view = map.World.ViewExtent;
  map.Redraw();
  for (auto _ : state) {
    map.World.ViewExtent = view;
    map.Redraw();
  }
  state.counters["scale"] = map.World.ScaleDenominator;
}
BENCHMARK(RepaintAtScale)
    ->Arg(500)
    ->Arg(2000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void Mouse(TFAMap& map, QEvent::Type type, QPoint at) {
  QMouseEvent e(type, at, map.mapToGlobal(at), Qt::LeftButton,
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&map, &e);
}

// One frame of a drag in progress: the hand moves by a few pixels.
void PanFrame(benchmark::State& state) {
  TFAMap& map = AtScale(state);
  const QPoint centre = map.rect().center();
  Mouse(map, QEvent::MouseButtonPress, centre);
  int step = 0;
  for (auto _ : state) {
    step = (step + 1) % 40;
    Mouse(map, QEvent::MouseMove, centre + QPoint(8 + step * 4, step * 2));
  }
  Mouse(map, QEvent::MouseButtonRelease, centre);
  map.Settle();
  state.counters["scale"] = map.World.ScaleDenominator;
}
BENCHMARK(PanFrame)->Arg(500)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The finished picture after a drag of a quarter of the width.
void SettleAfterPan(benchmark::State& state) {
  TFAMap& map = AtScale(state);
  const QPoint centre = map.rect().center();
  int direction = 1;
  for (auto _ : state) {
    direction = -direction;
    Mouse(map, QEvent::MouseButtonPress, centre);
    Mouse(map, QEvent::MouseMove, centre + QPoint(direction * map.width() / 8, 0));
    Mouse(map, QEvent::MouseMove, centre + QPoint(direction * map.width() / 4, 0));
    Mouse(map, QEvent::MouseButtonRelease, centre + QPoint(direction * map.width() / 4, 0));
    map.Settle();
  }
  state.counters["scale"] = map.World.ScaleDenominator;
}
BENCHMARK(SettleAfterPan)
    ->Arg(500)
    ->Arg(2000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One frame of a wheel turn: a notch in, a notch out, the picture shown at once.
void ZoomFrame(benchmark::State& state) {
  TFAMap& map = AtScale(state);
  map.Redraw();
  const QPointF at = map.rect().center() + QPoint(100, 50);
  int notch = 120;
  for (auto _ : state) {
    notch = -notch;
    QWheelEvent e(at, map.mapToGlobal(at), {}, {0, notch}, Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(&map, &e);
  }
  map.Settle();
  state.counters["scale"] = map.World.ScaleDenominator;
}
BENCHMARK(ZoomFrame)->Arg(500)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A layer switched off and on again (the water wells, high in the order) at the view as it is:
// the layers under it come from the picture kept below it.
void LayerSwitched(benchmark::State& state) {
  TFAMap& map = AtScale(state);
  map.Redraw();
  TCustomLayer* wells = nullptr;
  for (const auto& layer : map.Layers)
    if (layer->ClassName == QString::fromUtf8("Водопровідні колодязі")) wells = layer.get();
  for (auto _ : state) {
    wells->Visibled = !wells->Visibled;
    map.RedrawChanged();
  }
  wells->Visibled = true;
  state.counters["scale"] = map.World.ScaleDenominator;
}
BENCHMARK(LayerSwitched)
    ->Arg(500)
    ->Arg(2000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_RepaintWholeMap(benchmark::State& state) {
  Repaint(state, 1.0);
}
BENCHMARK(BM_RepaintWholeMap)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_RepaintSixteenth(benchmark::State& state) {
  Repaint(state, 0.25);
}
BENCHMARK(BM_RepaintSixteenth)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_RepaintSameLayersWholeMap(benchmark::State& state) {
  Repaint(state, 1.0, true);
}
BENCHMARK(BM_RepaintSameLayersWholeMap)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
void BM_RepaintSameLayersSixteenth(benchmark::State& state) {
  Repaint(state, 0.25, true);
}
BENCHMARK(BM_RepaintSameLayersSixteenth)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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
