// Drawing and hit-testing the sewer pipes of a scale-100 demo city (about 116,000 pipes and
// 500,000 vertices) at 1920 × 1080, beside the floor of reading the file and summing its points.
// Run by hand or by scripts/bench.sh; never by ctest.

#include "AtlasWriter.h"

#include "layers/GeometryFile.h"
#include "layers/LinesLayer.h"

#include "base/ByteOrder.h"
#include "base/MappedFile.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

struct City {
  QTemporaryDir Dir;
  TLinesLayer Pipes;
  TExtent Full;
  City() {
    demo::WriteAtlas(Dir.path(), 100, 1);
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
  static City city;
  return city;
}

void Render(benchmark::State& state, double fraction) {
  City& c = Data();
  TWorld world;
  const double w = (c.Full.XMax - c.Full.XMin) * fraction, h = (c.Full.YMax - c.Full.YMin) * fraction;
  const double cx = (c.Full.XMin + c.Full.XMax) / 2, cy = (c.Full.YMin + c.Full.YMax) / 2;
  world.SetView(1920, 1080, cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2);
  QImage image(1920, 1080, QImage::Format_RGB32);
  for (auto _ : state) {
    image.fill(Qt::white);
    gfx::Canvas canvas(image);
    c.Pipes.Draw(canvas, world);
  }
}

void BM_RenderPipesWholeMap(benchmark::State& state) { Render(state, 1.0); }
BENCHMARK(BM_RenderPipesWholeMap)->Unit(benchmark::kMillisecond);

void BM_RenderPipesSixteenth(benchmark::State& state) { Render(state, 0.25); }
BENCHMARK(BM_RenderPipesSixteenth)->Unit(benchmark::kMillisecond);

void FindAt(benchmark::State& state, double dx, double dy) {
  City& c = Data();
  TWorld world;
  const double w = (c.Full.XMax - c.Full.XMin) / 4, h = (c.Full.YMax - c.Full.YMin) / 4;
  const double cx = (c.Full.XMin + c.Full.XMax) / 2, cy = (c.Full.YMin + c.Full.YMax) / 2;
  world.SetView(1920, 1080, cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2);
  QImage image(1920, 1080, QImage::Format_RGB32);
  gfx::Canvas canvas(image);
  int found = 0;
  for (auto _ : state) found += c.Pipes.FindObject(canvas, world, cx + dx, cy + dy, true, false) >= 0;
  benchmark::DoNotOptimize(found);
}

// On a pipe near the middle of the city, and in a block's middle where no pipe passes (every
// record in view is tested).
void BM_FindObjectHit(benchmark::State& state) { FindAt(state, 1, 1); }
BENCHMARK(BM_FindObjectHit)->Unit(benchmark::kMillisecond);
void BM_FindObjectMiss(benchmark::State& state) { FindAt(state, 110, 60); }
BENCHMARK(BM_FindObjectMiss)->Unit(benchmark::kMillisecond);

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
  benchmark::Shutdown();
  return 0;
}
