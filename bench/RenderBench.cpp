// Drawing and hit-testing the layers of a scale-100 demo city at 1920 × 1080: the sewer pipes
// (about 116,000 pipes and 500,000 vertices), the buildings, the address points, the water wells
// from their Paradox table (logos, group symbols and layer symbols by scale) and the water pipes
// sized by their diameters, beside the floor of reading a file and summing its points.
// Run by hand or by scripts/bench.sh; never by ctest.

#include "AtlasWriter.h"
#include "BenchSupport.h"

#include "core/MapContent.h"
#include "core/ParallelDrawing.h"
#include "layers/DBPointsLayer.h"
#include "layers/GeometryFile.h"
#include "layers/LayerKinds.h"
#include "layers/LinesLayer.h"
#include "layers/PointsLayer.h"
#include "layers/PolygonsLayer.h"
#include "layers/RecordIndex.h"

#include "base/ByteOrder.h"
#include "base/MappedFile.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

struct City {
  QTemporaryDir Dir;
  TLinesLayer Pipes;
  TPolygonsLayer Buildings;
  TPointsLayer Addresses;
  TExtent Full;
  TMapContent Map; // the atlas as the program loads it
  TCustomLayer* WaterWells = nullptr;
  TCustomLayer* WaterPipes = nullptr;
  TCustomLayer* StreetNames = nullptr;
  City() {
    demo::WriteAtlas(Dir.path(), bench::CityScale(), 1);
    RegisterLayerKinds();
    Map.LoadMap(Dir.path() + "/BASE", Dir.path() + "/MAPS", Dir.path(), "", "");
    for (const auto& layer : Map.Layers) {
      if (layer->ClassName == QString::fromUtf8("Водопровідні колодязі")) WaterWells = layer.get();
      if (layer->ClassName == QString::fromUtf8("Водопровідні мережі")) WaterPipes = layer.get();
      if (layer->PrimitiveType == 23) StreetNames = layer.get();
    }
    // Drawn at every scale, so that the whole map shows every object.
    WaterWells->ZoomInScale = WaterPipes->ZoomInScale = 0;
    Buildings.FullPath = Dir.path() + "/MAPS/Buildings.mds";
    Buildings.Visibled = Buildings.Selected = true;
    Buildings.BrushColor = 0x00D3E0EA;
    Buildings.PenWidth = 1;
    Buildings.Shadow = 2;
    Addresses.FullPath = Dir.path() + "/MAPS/address.mds";
    Addresses.Visibled = Addresses.Selected = true;
    Addresses.CharFontSize = 6;
    Pipes.FullPath = Dir.path() + "/MAPS/Kanaliz.mds";
    Pipes.Visibled = Pipes.Selected = true;
    Pipes.PenColor = 0x00206090;
    Pipes.PenWidth = 1;
    base::MappedFile f(Pipes.FullPath);
    base::BinaryReader r(f);
    r.Seek(36);
    Full = {r.DoubleLE(), r.DoubleLE(), r.DoubleLE(), r.DoubleLE()};
  }
};

City& Data() {
  return bench::Kept<City>();
}

// A 1920 × 1080 view of `fraction` of the city's width and height about its centre.
TWorld CityView(double fraction) {
  const TExtent& f = Data().Full;
  const double w = (f.XMax - f.XMin) * fraction, h = (f.YMax - f.YMin) * fraction;
  const double cx = (f.XMin + f.XMax) / 2, cy = (f.YMin + f.YMax) / 2;
  TWorld world;
  world.SetView(1920, 1080, cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2);
  return world;
}

void Render(benchmark::State& state, double fraction, TCustomLayer& layer) {
  TWorld world = CityView(fraction);
  QImage image(1920, 1080, QImage::Format_RGB32);
  for (auto _ : state) {
    image.fill(Qt::white);
    gfx::Canvas canvas(image);
    layer.Draw(canvas, world);
  }
}

// Render, with the layer shared between the machine's threads as the map shares it.
void RenderOnEveryCore(benchmark::State& state, double fraction, TCustomLayer& layer) {
  TWorld world = CityView(fraction);
  QImage image(1920, 1080, QImage::Format_RGB32);
  std::vector<QImage> surfaces;
  for (auto _ : state) {
    image.fill(Qt::white);
    gfx::Canvas canvas(image);
    TParallelDrawing parallel(canvas, 0, &surfaces);
    if (parallel.Shares(layer, world))
      parallel.DrawLayer(layer, world);
    else
      layer.Draw(canvas, world);
  }
}

// Loading every layer of the atlas as the map window does (tables, geometry headers, indexes,
// attribute tables), without drawing.
void BM_LoadMap(benchmark::State& state) {
  City& c = Data();
  for (auto _ : state) {
    TMapContent map;
    map.LoadMap(c.Dir.path() + "/BASE", c.Dir.path() + "/MAPS", c.Dir.path(), "", "");
    benchmark::DoNotOptimize(map.Layers.size());
  }
}
BENCHMARK(BM_LoadMap)->Unit(benchmark::kMillisecond);

void BM_RenderPipesWholeMap(benchmark::State& state) {
  Render(state, 1.0, Data().Pipes);
}
BENCHMARK(BM_RenderPipesWholeMap)->Unit(benchmark::kMillisecond);
void BM_RenderPipesSixteenth(benchmark::State& state) {
  Render(state, 0.25, Data().Pipes);
}
BENCHMARK(BM_RenderPipesSixteenth)->Unit(benchmark::kMillisecond);
void BM_RenderPipesWholeMapEveryCore(benchmark::State& state) {
  RenderOnEveryCore(state, 1.0, Data().Pipes);
}
BENCHMARK(BM_RenderPipesWholeMapEveryCore)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_RenderBuildingsWholeMapEveryCore(benchmark::State& state) {
  RenderOnEveryCore(state, 1.0, Data().Buildings);
}
BENCHMARK(BM_RenderBuildingsWholeMapEveryCore)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_RenderBuildingsWholeMap(benchmark::State& state) {
  Render(state, 1.0, Data().Buildings);
}
BENCHMARK(BM_RenderBuildingsWholeMap)->Unit(benchmark::kMillisecond);
void BM_RenderBuildingsSixteenth(benchmark::State& state) {
  Render(state, 0.25, Data().Buildings);
}
BENCHMARK(BM_RenderBuildingsSixteenth)->Unit(benchmark::kMillisecond);
void BM_RenderAddressPointsWholeMap(benchmark::State& state) {
  Render(state, 1.0, Data().Addresses);
}
BENCHMARK(BM_RenderAddressPointsWholeMap)->Unit(benchmark::kMillisecond);
void BM_RenderAddressPointsSixteenth(benchmark::State& state) {
  Render(state, 0.25, Data().Addresses);
}
BENCHMARK(BM_RenderAddressPointsSixteenth)->Unit(benchmark::kMillisecond);

// A 1920-pixel-wide view of the city's middle at `scale` pixels per metre.
void RenderAtScale(benchmark::State& state, double scale, TCustomLayer& layer) {
  const TExtent& f = Data().Full;
  const double cx = (f.XMin + f.XMax) / 2, cy = (f.YMin + f.YMax) / 2;
  const double hw = 960 / scale, hh = 540 / scale;
  TWorld world;
  world.SetView(1920, 1080, cx - hw, cy - hh, cx + hw, cy + hh);
  QImage image(1920, 1080, QImage::Format_RGB32);
  for (auto _ : state) {
    image.fill(Qt::white);
    gfx::Canvas canvas(image);
    layer.Draw(canvas, world);
  }
}

// Water wells: about 148,000 rows of a Paradox table; logos from 4 pixels per metre, group
// symbols from 1, the layer's symbol below.
void BM_RenderWellsLogos(benchmark::State& state) {
  RenderAtScale(state, 5, *Data().WaterWells);
}
BENCHMARK(BM_RenderWellsLogos)->Unit(benchmark::kMillisecond);
void BM_RenderWellsGroupSymbols(benchmark::State& state) {
  RenderAtScale(state, 2, *Data().WaterWells);
}
BENCHMARK(BM_RenderWellsGroupSymbols)->Unit(benchmark::kMillisecond);
void BM_RenderWellsWholeMap(benchmark::State& state) {
  Render(state, 1.0, *Data().WaterWells);
}
BENCHMARK(BM_RenderWellsWholeMap)->Unit(benchmark::kMillisecond);
// Water pipes sized by DIAMETER (from 0.5 pixels per metre) and at their plain width.
void BM_RenderWaterPipesSized(benchmark::State& state) {
  RenderAtScale(state, 1, *Data().WaterPipes);
}
BENCHMARK(BM_RenderWaterPipesSized)->Unit(benchmark::kMillisecond);
void BM_RenderWaterPipesWholeMap(benchmark::State& state) {
  Render(state, 1.0, *Data().WaterPipes);
}
BENCHMARK(BM_RenderWaterPipesWholeMap)->Unit(benchmark::kMillisecond);

// One repaint of the street names: the segments of the view read by key, sized, tested against
// each other and drawn; at 1 and at 0.6 pixels per metre (the layer's threshold).
void BM_RenderStreetNames(benchmark::State& state) {
  RenderAtScale(state, 1, *Data().StreetNames);
}
BENCHMARK(BM_RenderStreetNames)->Unit(benchmark::kMillisecond);
void BM_RenderStreetNamesAtTheirThreshold(benchmark::State& state) {
  RenderAtScale(state, 0.6, *Data().StreetNames);
}
BENCHMARK(BM_RenderStreetNamesAtTheirThreshold)->Unit(benchmark::kMillisecond);

void FindAt(benchmark::State& state, double dx, double dy, TCustomLayer& layer) {
  const TExtent& f = Data().Full;
  const double cx = (f.XMin + f.XMax) / 2, cy = (f.YMin + f.YMax) / 2;
  TWorld world = CityView(0.25);
  QImage image(1920, 1080, QImage::Format_RGB32);
  gfx::Canvas canvas(image);
  int found = 0;
  for (auto _ : state)
    found += layer.FindObject(canvas, world, cx + dx, cy + dy, true, false) >= 0;
  benchmark::DoNotOptimize(found);
}

// On a pipe near the middle of the city, and in a block's middle where no pipe passes (every
// record in view is tested).
void BM_FindPipeHit(benchmark::State& state) {
  FindAt(state, 1, 1, Data().Pipes);
}
BENCHMARK(BM_FindPipeHit)->Unit(benchmark::kMillisecond);
void BM_FindPipeMiss(benchmark::State& state) {
  FindAt(state, 110, 60, Data().Pipes);
}
BENCHMARK(BM_FindPipeMiss)->Unit(benchmark::kMillisecond);
void BM_FindBuilding(benchmark::State& state) {
  FindAt(state, 110, 60, Data().Buildings);
}
BENCHMARK(BM_FindBuilding)->Unit(benchmark::kMillisecond);
void BM_FindAddressPoint(benchmark::State& state) {
  FindAt(state, 110, 60, Data().Addresses);
}
BENCHMARK(BM_FindAddressPoint)->Unit(benchmark::kMillisecond);
void BM_FindWell(benchmark::State& state) {
  FindAt(state, 110, 60, *Data().WaterWells);
}
BENCHMARK(BM_FindWell)->Unit(benchmark::kMillisecond);

// The record index of the sewer pipes (116,000 records) walked and gridded, as the first drawing
// of a session does.
void BM_BuildRecordIndexOfPipes(benchmark::State& state) {
  City& c = Data();
  for (auto _ : state)
    benchmark::DoNotOptimize(TRecordIndex::Walk(c.Pipes.FullPath)->Records.size());
}
BENCHMARK(BM_BuildRecordIndexOfPipes)->Unit(benchmark::kMillisecond);

// The floor: map the file and add up every coordinate, as any drawing must at least read them.
void BM_RawReadAndSum(benchmark::State& state) {
  City& c = Data();
  for (auto _ : state) {
    TGeometryFile file(c.Pipes.FullPath);
    TGeometryFile::Record r;
    double sum = 0;
    while (file.Next(r)) {
      const auto parts = file.ReadParts(r);
      for (int k = 0; k < parts.NumPoints; ++k) {
        const TWorldPoint p = file.PointAt(parts, k);
        sum += p.X + p.Y;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_RawReadAndSum)->Unit(benchmark::kMillisecond);

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
