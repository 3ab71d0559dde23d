#include "RasterLayer.h"
#include "GdalLayer.h"

#include "GdalErrors.h"
#include "base/PathResolver.h"
#include "core/LayerFactory.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QStandardPaths>

#include <gdal_priv.h>
#include <gdal_utils.h>
#include <ogr_spatialref.h>

#include <cmath>

namespace {

using gis::LastError;
using gis::QuietErrors;

TGdalSourceError Failure(const QString& what) {
  return TGdalSourceError(what.toStdString());
}

// The geotransform of a view: the world place of each pixel of the picture, as the map draws a
// vertex at the pixel its coordinates round to (a pixel's centre is at a whole screen unit).
std::array<double, 6> ViewTransform(const TWorld& World) {
  const double size = 1 / World.Scale;
  return {World.OriginX + (-0.5 - World.OffsetX) * size,
          size,
          0,
          World.OriginY + (World.ScreenHeight + 0.5 - World.OffsetY) * size,
          0,
          -size};
}

// A file of the maps folder, a file elsewhere, or a connection string or description as it is.
QString SourcePath(const QString& source, const QString& mapsDir) {
  const QString s = source.trimmed();
  const bool connection = s.indexOf(':') > 1 || s.startsWith('<') || s.startsWith("/vsi");
  return connection || QDir::isAbsolutePath(s) ? s : base::ResolvePath(mapsDir, s);
}

GDALDataset* OpenRaster(const QString& path) {
  // A service's tiles are kept on disk between runs (GDAL's WMS cache), in the user's cache.
  if (!CPLGetConfigOption("GDAL_DEFAULT_WMS_CACHE_PATH", nullptr))
    CPLSetConfigOption("GDAL_DEFAULT_WMS_CACHE_PATH",
                       (QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                        "/vandrel/gdalwmscache")
                           .toUtf8()
                           .constData());
  GDALAllRegister();
  return static_cast<GDALDataset*>(GDALOpenEx(
      path.toUtf8().constData(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
}

} // namespace

void TRasterLayer::Closer::operator()(GDALDataset* d) const {
  GDALClose(d);
}

TRasterLayer::TRasterLayer() = default;
TRasterLayer::~TRasterLayer() = default;

bool TRasterLayer::IsRasterFile(const QString& path) {
  static const QStringList endings{"tif", "tiff", "vrt", "mbtiles", "jp2", "png",
                                   "jpg", "jpeg", "ecw", "sid",     "img", "xml"};
  return endings.contains(QFileInfo(path).suffix().toLower());
}

TExtent TRasterLayer::ExtentOf(const QString& path, const QString& baseDir) {
  QuietErrors quiet;
  const std::unique_ptr<GDALDataset, Closer> data(OpenRaster(path));
  if (!data) throw Failure(path + QString::fromUtf8(": растр не відкривається: ") + LastError());
  return ExtentIn(*data, path, baseDir);
}

TExtent TRasterLayer::ExtentIn(GDALDataset& raster, const QString& path, const QString& baseDir) {
  std::array<double, 6> t{};
  if (raster.GetGeoTransform(t.data()) != CE_None)
    throw Failure(path + QString::fromUtf8(": растр не прив'язаний до координат"));
  const int w = raster.GetRasterXSize(), h = raster.GetRasterYSize();
  double xs[4], ys[4];
  for (int k = 0; k < 4; ++k) {
    const double px = (k == 1 || k == 2) ? w : 0, py = k >= 2 ? h : 0;
    xs[k] = t[0] + px * t[1] + py * t[2];
    ys[k] = t[3] + px * t[4] + py * t[5];
  }
  TExtent e{*std::min_element(xs, xs + 4), *std::min_element(ys, ys + 4),
            *std::max_element(xs, xs + 4), *std::max_element(ys, ys + 4)};
  try {
    const gis::TToAtlas ways = gis::TAtlasCrs::ToAtlasFrom(raster.GetSpatialRef(), baseDir);
    if (ways.Forward && !ways.Forward->TransformBounds(e.XMin, e.YMin, e.XMax, e.YMax, &e.XMin,
                                                       &e.YMin, &e.XMax, &e.YMax, 21))
      throw Failure(path + QString::fromUtf8(": межі растра не переводяться до системи атласу"));
  } catch (const TGdalSourceError&) {
    throw;
  } catch (const std::runtime_error& refused) {
    throw Failure(path + ": " + QString::fromUtf8(refused.what()));
  }
  return e;
}

void TRasterLayer::LoadFromDataSet(db::Table& DataSet, const QString& Maps) {
  TCustomLayer::LoadFromDataSet(DataSet, Maps);
  MapsDir = Maps;
  if (FileName.trimmed().isEmpty())
    throw Failure(QString::fromUtf8("FileName має називати растр: файл або джерело GDAL"));
  const TExtent e = ExtentIn(Opened(), SourcePath(FileName, MapsDir),
                             base::ResolvePath(QFileInfo(MapsDir).path(), "BASE"));
  X0 = e.XMin;
  Y0 = e.YMin;
  Xm = e.XMax;
  Ym = e.YMax;
}

GDALDataset& TRasterLayer::Opened() {
  if (Data) return *Data;
  QuietErrors quiet;
  const QString path = SourcePath(FileName, MapsDir);
  CheckNetworkAllowed(FileName, path, MapsDir);
  Data.reset(OpenRaster(path));
  if (!Data) throw Failure(QString::fromUtf8("растр не відкривається: ") + LastError());
  try {
    if (Data->GetGeoTransform(Transform.data()) != CE_None)
      throw Failure(QString::fromUtf8("растр не прив'язаний до координат"));
    const QString baseDir = base::ResolvePath(QFileInfo(MapsDir).path(), "BASE");
    gis::TToAtlas ways;
    try {
      ways = gis::TAtlasCrs::ToAtlasFrom(Data->GetSpatialRef(), baseDir);
    } catch (const std::runtime_error& refused) {
      throw Failure(QString::fromUtf8(refused.what()));
    }
    Warped = ways.Forward || Transform[2] != 0 || Transform[4] != 0;
    AtlasWkt.clear();
    QString problem;
    if (const auto atlas = gis::TAtlasCrs::Read(baseDir, problem)) {
      char* wkt = nullptr;
      atlas->exportToWkt(&wkt);
      AtlasWkt = wkt;
      CPLFree(wkt);
    }
    // The bands drawn: red, green and blue (or one grey or paletted band), and the alpha.
    ColourBands.clear();
    AlphaBand = 0;
    for (int b = 1; b <= Data->GetRasterCount(); ++b) {
      const GDALColorInterp meaning = Data->GetRasterBand(b)->GetColorInterpretation();
      if (meaning == GCI_AlphaBand)
        AlphaBand = b;
      else if (ColourBands.size() < 3)
        ColourBands.push_back(b);
    }
    if (ColourBands.empty()) throw Failure(QString::fromUtf8("растр не має смуг кольору"));
    if (ColourBands.size() == 2) ColourBands.resize(1);
    int hasNoData = FALSE;
    Data->GetRasterBand(ColourBands[0])->GetNoDataValue(&hasNoData);
    Opaque = !AlphaBand && !hasNoData && !Data->GetRasterBand(ColourBands[0])->GetColorTable();
  } catch (...) {
    Data.reset();
    throw;
  }
  return *Data;
}

void TRasterLayer::Failed(const char* what) {
  const QString message = LastError();
  Data.reset(); // opened again at the next drawing: a file copied over, a server back
  throw Failure(QString::fromUtf8(what) + ": " + message);
}

void TRasterLayer::Draw(gfx::Canvas& Canvas, TWorld& World) {
  if (!Visibled || !ScaleAllowsDrawing(World.Scale)) return;
  QPoint at;
  const QImage picture = Picture(World, at);
  if (!picture.isNull()) Canvas.Draw(at.x(), at.y(), picture);
}

QImage TRasterLayer::Picture(const TWorld& World, QPoint& at) {
  at = {0, 0};
  if (World.Scale <= 0 || World.ScreenWidth <= 0 || World.ScreenHeight <= 0) return {};
  Opened();
  QuietErrors quiet;
  return Warped ? Warp(World) : ReadWindow(World, at);
}

QImage TRasterLayer::ReadWindow(const TWorld& World, QPoint& at) {
  GDALDataset& data = Opened();
  const std::array<double, 6> view = ViewTransform(World);
  const int W = World.ScreenWidth, H = World.ScreenHeight;
  // The view's edges in the source's pixels, and the view's pixels whose middles the raster
  // covers.
  const double left = (view[0] - Transform[0]) / Transform[1];
  const double top = (view[3] - Transform[3]) / Transform[5];
  const double perPixelX = view[1] / Transform[1], perPixelY = view[5] / Transform[5];
  const int x0 = std::max(0, int(std::ceil(-left / perPixelX - 0.5)));
  const int x1 = std::min(W, int(std::floor((data.GetRasterXSize() - left) / perPixelX + 0.5)));
  const int y0 = std::max(0, int(std::ceil(-top / perPixelY - 0.5)));
  const int y1 = std::min(H, int(std::floor((data.GetRasterYSize() - top) / perPixelY + 0.5)));
  if (x1 <= x0 || y1 <= y0) return {};
  at = {x0, y0};
  const int w = x1 - x0, h = y1 - y0;
  GDALRasterIOExtraArg extra;
  INIT_RASTERIO_EXTRA_ARG(extra);
  // The nearest pixel of the overview that fits, as desktop GIS programs draw by default: a
  // blend would cost twice the reading.
  extra.eResampleAlg = GRIORA_NearestNeighbour;
  extra.bFloatingPointWindowValidity = TRUE;
  extra.dfXOff = std::clamp(left + x0 * perPixelX, 0.0, double(data.GetRasterXSize()));
  extra.dfYOff = std::clamp(top + y0 * perPixelY, 0.0, double(data.GetRasterYSize()));
  extra.dfXSize = std::min(w * perPixelX, data.GetRasterXSize() - extra.dfXOff);
  extra.dfYSize = std::min(h * perPixelY, data.GetRasterYSize() - extra.dfYOff);
  const int xOff = int(extra.dfXOff), yOff = int(extra.dfYOff);
  const int xSize = std::max(1, std::min(data.GetRasterXSize() - xOff,
                                         int(std::ceil(extra.dfXOff + extra.dfXSize)) - xOff));
  const int ySize = std::max(1, std::min(data.GetRasterYSize() - yOff,
                                         int(std::ceil(extra.dfYOff + extra.dfYSize)) - yOff));
  if (Opaque) {
    // Straight into the picture's pixels: blue, green and red in the first three bytes of each
    // (a grey band in all three), the fourth left opaque.
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(0xFFFFFFFF);
    // Band by band: GDAL resamples one band at a time faster than pixels of three.
    const int bands[3] = {ColourBands.back(), ColourBands[ColourBands.size() / 2],
                          ColourBands.front()};
    for (int k = 0; k < 3; ++k)
      if (data.GetRasterBand(bands[k])->RasterIO(GF_Read, xOff, yOff, xSize, ySize,
                                                 picture.bits() + k, w, h, GDT_Byte, 4,
                                                 picture.bytesPerLine(), &extra) != CE_None)
        Failed("растр не прочитано");
    return picture;
  }
  std::vector<int> bands = ColourBands;
  if (AlphaBand) bands.push_back(AlphaBand);
  const int n = int(bands.size());
  std::vector<uint8_t> pixels(size_t(w) * size_t(h) * size_t(n));
  if (data.RasterIO(GF_Read, xOff, yOff, xSize, ySize, pixels.data(), w, h, GDT_Byte, n,
                    bands.data(), n, GSpacing(w) * n, 1, &extra) != CE_None)
    Failed("растр не прочитано");
  return ToImage(pixels, w, h, n, AlphaBand != 0);
}

QImage TRasterLayer::Warp(const TWorld& World) {
  GDALDataset& data = Opened();
  if (AtlasWkt.isEmpty() && Transform[2] == 0 && Transform[4] == 0)
    throw Failure(QString::fromUtf8("атлас не має системи координат"));
  const int W = World.ScreenWidth, H = World.ScreenHeight;
  const int colours = int(ColourBands.size());
  // Every band but the alpha is warped; the picture takes the first three (or the one).
  const int warpedBands = data.GetRasterCount() - (AlphaBand ? 1 : 0);
  // Red, green and blue are warped straight into the picture's pixels (bytes 2, 1, 0 of each,
  // the alpha in byte 3); other bands into bands of their own, made a picture after.
  const bool straight = warpedBands == 3 && colours == 3 && ColourBands[2] <= 3 + (AlphaBand != 0);
  QImage picture;
  GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
  std::unique_ptr<GDALDataset, Closer> view;
  if (straight) {
    picture = QImage(W, H, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    view.reset(memory->Create("", W, H, 0, GDT_Byte, nullptr));
    for (int k = 0; view && k < 4; ++k) {
      char pointer[64] = {};
      CPLPrintPointer(pointer, picture.bits() + (k < 3 ? 2 - k : 3), sizeof pointer - 1);
      char** band = CSLSetNameValue(nullptr, "DATAPOINTER", pointer);
      band = CSLSetNameValue(band, "PIXELOFFSET", "4");
      band = CSLSetNameValue(band, "LINEOFFSET", QByteArray::number(picture.bytesPerLine()));
      view->AddBand(GDT_Byte, band);
      CSLDestroy(band);
    }
  } else {
    view.reset(memory->Create("", W, H, warpedBands + 1, GDT_Byte, nullptr));
  }
  if (!view || view->GetRasterCount() != warpedBands + 1) Failed("растр не перетворено");
  std::array<double, 6> t = ViewTransform(World);
  view->SetGeoTransform(t.data());
  view->SetProjection(AtlasWkt.isEmpty() ? data.GetProjectionRef() : AtlasWkt.constData());
  view->GetRasterBand(warpedBands + 1)->SetColorInterpretation(GCI_AlphaBand);
  // The nearest pixel of the source's overview that fits the view (as gdalwarp takes it), into
  // a picture that starts empty (not read back before each chunk is written).
  const char* args[] = {"-r", "near", "-dstalpha", "-wo", "INIT_DEST=0", nullptr};
  GDALWarpAppOptions* options = GDALWarpAppOptionsNew(const_cast<char**>(args), nullptr);
  GDALDatasetH source = &data;
  int usage = 0;
  const GDALDatasetH done = GDALWarp(nullptr, view.get(), 1, &source, options, &usage);
  GDALWarpAppOptionsFree(options);
  if (!done) Failed("растр не перетворено до системи атласу");
  if (straight) return picture;
  std::vector<int> bands;
  for (int b = 0; b < colours; ++b)
    bands.push_back(ColourBands[size_t(b)] - (AlphaBand && ColourBands[size_t(b)] > AlphaBand));
  bands.push_back(warpedBands + 1);
  const int n = int(bands.size());
  std::vector<uint8_t> pixels(size_t(W) * size_t(H) * size_t(n));
  if (view->RasterIO(GF_Read, 0, 0, W, H, pixels.data(), W, H, GDT_Byte, n, bands.data(), n,
                     GSpacing(W) * n, 1, nullptr) != CE_None)
    Failed("растр не прочитано");
  return ToImage(pixels, W, H, n, true);
}

QImage TRasterLayer::ToImage(const std::vector<uint8_t>& pixels, int width, int height, int bands,
                             bool hasAlpha) const {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  const int colours = bands - (hasAlpha ? 1 : 0);
  GDALRasterBand& first = *Data->GetRasterBand(ColourBands[0]);
  const GDALColorTable* palette = colours == 1 ? first.GetColorTable() : nullptr;
  int hasNoData = FALSE;
  const double noData = first.GetNoDataValue(&hasNoData);
  const bool byteNoData = hasNoData && noData >= 0 && noData <= 255 && noData == std::floor(noData);
  std::array<QRgb, 256> lookUp{};
  for (int v = 0; v < 256; ++v) {
    const GDALColorEntry* c = palette ? palette->GetColorEntry(v) : nullptr;
    lookUp[size_t(v)] = c ? qRgba(c->c1, c->c2, c->c3, c->c4) : qRgb(v, v, v);
  }
  const uint8_t* p = pixels.data();
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x, p += bands) {
      const int alpha = hasAlpha ? p[bands - 1] : 255;
      QRgb rgb = colours >= 3 ? qRgb(p[0], p[1], p[2]) : lookUp[p[0]];
      // No data: nothing drawn (all colour bands at the value, as a photo's black margin).
      const bool empty =
          byteNoData && p[0] == noData && (colours < 3 || (p[1] == noData && p[2] == noData));
      const int a = empty ? 0 : alpha * qAlpha(rgb) / 255;
      line[x] = qPremultiply(qRgba(qRed(rgb), qGreen(rgb), qBlue(rgb), a));
    }
  }
  return image;
}

void RegisterRasterLayerKind() {
  TLayerFactory::Instance().Register(17, [] { return std::make_unique<TRasterLayer>(); });
}
