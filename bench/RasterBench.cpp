// An orthophoto under the map: a 20,000 × 20,000-pixel GeoTIFF (JPEG tiles, overviews to 1/64)
// drawn as a raster layer at 1920 × 1080, at its whole extent and at 1 : 500, beside GDAL's own
// tools for the same window and size (gdal_translate -outsize when the atlas shares the photo's
// system, gdalwarp when the atlas is in Web Mercator): Arg 0 is the layer, Arg 1 GDAL alone.
// The photo is made once and kept in the user's cache folder. Run by hand or by scripts/bench.sh.

#include "AtlasWriter.h"
#include "BenchSupport.h"

#include "core/MapContent.h"
#include "db/Query.h"
#include "gis/GdalLayer.h"
#include "layers/LayerKinds.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <ogr_spatialref.h>

#include <cmath>

namespace {

// 20,000 pixels a side; a tenth of it for a short run on a small city.
const int kSide = bench::CityScale() >= 100 ? 20000 : 2000;
const double kPixel = 5000.0 / kSide;            // metres: the photo is 5 km a side
constexpr double kLeft = 318000, kTop = 5594000; // UTM 36N, the demo city's
constexpr int kWidth = 1920, kHeight = 1080;

QString PhotoPath() {
  const QString dir =
      QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/vandrel-bench";
  QDir().mkpath(dir);
  return dir + QString("/ortho%1.tif").arg(kSide);
}

// Fields, roads every 100 m and a little texture, as JPEG tiles with overviews.
void MakePhoto(const QString& path) {
  if (QFile::exists(path)) return;
  GDALAllRegister();
  const char* options[] = {"TILED=YES", "COMPRESS=JPEG", "PHOTOMETRIC=YCBCR", "BIGTIFF=IF_SAFER",
                           nullptr};
  const QString part = path + ".part";
  GDALDataset* photo = GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
      part.toUtf8().constData(), kSide, kSide, 3, GDT_Byte, const_cast<char**>(options));
  double corner[6] = {kLeft, kPixel, 0, kTop, 0, -kPixel};
  photo->SetGeoTransform(corner);
  OGRSpatialReference utm;
  utm.importFromEPSG(32636);
  photo->SetSpatialRef(&utm);
  const int rows = 256;
  std::vector<uint8_t> strip(size_t(kSide) * rows * 3);
  for (int y0 = 0; y0 < kSide; y0 += rows) {
    const int h = std::min(rows, kSide - y0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < kSide; ++x) {
        const int gy = y0 + y;
        const bool road = x % 400 < 24 || gy % 400 < 24;
        const uint8_t t = uint8_t((x * 7 + gy * 13) % 23);
        uint8_t* p = &strip[(size_t(y) * kSide + size_t(x)) * 3];
        p[0] = road ? 90 : uint8_t(100 + (x / 400) % 5 * 20 + t);
        p[1] = road ? 90 : uint8_t(130 + (gy / 400) % 4 * 15 + t);
        p[2] = road ? 95 : uint8_t(70 + t);
      }
    if (photo->RasterIO(GF_Write, 0, y0, kSide, h, strip.data(), kSide, h, GDT_Byte, 3, nullptr, 3,
                        GSpacing(kSide) * 3, 1, nullptr) != CE_None)
      throw std::runtime_error("the photo could not be written");
  }
  CPLSetConfigOption("COMPRESS_OVERVIEW", "JPEG");
  CPLSetConfigOption("PHOTOMETRIC_OVERVIEW", "YCBCR");
  int levels[] = {2, 4, 8, 16, 32, 64};
  photo->BuildOverviews("AVERAGE", 6, levels, 0, nullptr, nullptr, nullptr);
  GDALClose(photo);
  QFile::rename(part, path);
}

// The demo atlas in `crs`, its first layer the photo.
struct Atlas {
  QTemporaryDir Dir;
  TMapContent Map;
  TCustomLayer* Photo = nullptr;
  explicit Atlas(const char* crs) {
    demo::WriteAtlas(Dir.path(), 1, 1);
    QFile ini(Dir.path() + "/BASE/ATLAS.INI");
    ini.open(QIODevice::WriteOnly);
    ini.write(QByteArray("[Atlas]\r\nCRS=") + crs + "\r\n");
    ini.close();
    db::Query q;
    q.SetDatabaseName(Dir.path() + "/BASE");
    q.SQL << "UPDATE classreest SET PrimitiveType = 17, ZoomInScale = 0, ZoomOutScale = 0, "
             "FileName = '" +
                 PhotoPath() + "' WHERE Category = 4 AND Class = 1";
    q.ExecSQL();
    RegisterLayerKinds();
    RegisterGdalLayerKinds();
    Map.LoadMap(Dir.path() + "/BASE", Dir.path() + "/MAPS", Dir.path(), "", "");
    Photo = Map.LayerOf(4, 1);
    if (!Photo) throw std::runtime_error("the photo's layer did not load");
  }
};

// Made once per system, and gone before the application is.
struct AtlasesBySystem {
  std::map<QString, std::unique_ptr<Atlas>> Of;
};
std::map<QString, std::unique_ptr<Atlas>>& Atlases() {
  return bench::Kept<AtlasesBySystem>().Of;
}

// The view of the photo's whole extent, or of 1 : 500 at its middle, in the atlas's system.
TExtent ViewOf(const Atlas& atlas, bool whole, bool mercator, TWorld& world) {
  const TCustomLayer& p = *atlas.Photo;
  const double cx = (p.X0 + p.Xm) / 2, cy = (p.Y0 + p.Ym) / 2;
  TExtent box{p.X0, p.Y0, p.Xm, p.Ym};
  if (!whole) {
    // 1 : 500 on a screen of 96 pixels to the inch, in metres on the ground (a Mercator metre
    // is longer by the secant of the latitude, here about 1.57).
    const double perPixel = 500 * 0.0254 / 96 * (mercator ? 1.57 : 1.0);
    box = {cx - kWidth / 2 * perPixel, cy - kHeight / 2 * perPixel, cx + kWidth / 2 * perPixel,
           cy + kHeight / 2 * perPixel};
  }
  world.SetView(kWidth, kHeight, box.XMin, box.YMin, box.XMax, box.YMax);
  world.ComputeScale(kWidth * 25.4 / 96);
  return world.VisibleExtent;
}

std::vector<QByteArray> Words(const QStringList& list) {
  std::vector<QByteArray> out;
  for (const QString& s : list)
    out.push_back(s.toUtf8());
  return out;
}
std::vector<char*> Pointers(std::vector<QByteArray>& words) {
  std::vector<char*> out;
  for (QByteArray& w : words)
    out.push_back(w.data());
  out.push_back(nullptr);
  return out;
}

void Draw(benchmark::State& state, const char* crs, bool whole) {
  MakePhoto(PhotoPath());
  auto& atlas = Atlases()[crs];
  if (!atlas) atlas = std::make_unique<Atlas>(crs);
  TWorld& world = atlas->Map.World;
  const bool warped = QByteArray(crs) != "EPSG:32636";
  const TExtent v = ViewOf(*atlas, whole, warped, world);
  const double half = 0.5 / world.Scale;
  const QString x0 = QString::number(world.ScreenToWorldX(0) - half, 'f', 4);
  const QString x1 = QString::number(world.ScreenToWorldX(kWidth - 1) + half, 'f', 4);
  const QString y0 = QString::number(world.ScreenToWorldY(kHeight - 1) - half, 'f', 4);
  const QString y1 = QString::number(world.ScreenToWorldY(0) + half, 'f', 4);
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  GDALDatasetH source = GDALOpen(PhotoPath().toUtf8().constData(), GA_ReadOnly);
  std::vector<QByteArray> words =
      warped ? Words({"-of", "MEM", "-t_srs", crs, "-te", x0, y0, x1, y1, "-ts",
                      QString::number(kWidth), QString::number(kHeight), "-r", "near", "-dstalpha"})
             : Words({"-of", "MEM", "-projwin", x0, y1, x1, y0, "-outsize", QString::number(kWidth),
                      QString::number(kHeight), "-r", "near"});
  std::vector<char*> args = Pointers(words);
  for (auto _ : state) {
    if (state.range(0) == 0) {
      image.fill(Qt::white);
      gfx::Canvas canvas(image);
      atlas->Photo->Draw(canvas, world);
    } else if (warped) {
      GDALWarpAppOptions* o = GDALWarpAppOptionsNew(args.data(), nullptr);
      GDALClose(GDALWarp("", nullptr, 1, &source, o, nullptr));
      GDALWarpAppOptionsFree(o);
    } else {
      GDALTranslateOptions* o = GDALTranslateOptionsNew(args.data(), nullptr);
      GDALClose(GDALTranslate("", source, o, nullptr));
      GDALTranslateOptionsFree(o);
    }
  }
  GDALClose(source);
  state.counters["scale"] = world.ScaleDenominator;
  state.counters["view_m"] = v.XMax - v.XMin;
}

void BM_OrthoWhole(benchmark::State& state) {
  Draw(state, "EPSG:32636", true);
}
void BM_Ortho500(benchmark::State& state) {
  Draw(state, "EPSG:32636", false);
}
void BM_OrthoWarpedWhole(benchmark::State& state) {
  Draw(state, "EPSG:3857", true);
}
void BM_OrthoWarped500(benchmark::State& state) {
  Draw(state, "EPSG:3857", false);
}
BENCHMARK(BM_OrthoWhole)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Ortho500)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OrthoWarpedWhole)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OrthoWarped500)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  bench::Release();
  benchmark::Shutdown();
  return 0;
}
