#pragma once
// A picture under the map from any raster source GDAL opens: an orthophoto GeoTIFF, a VRT, an
// MBTiles file, a WMS/WMTS/XYZ service described as GDAL's WMS driver reads it. Its row of the
// layers table (kind 17) names the source in `FileName`: a file of the maps folder (found
// without regard to letter case) or a connection string. Drawn in its place in the drawing order
// and scale window like every layer, from the overview that fits the view; a source in another
// coordinate system than the atlas's is warped into the view's pixels. It has no objects: it is
// never picked nor identified.

#include "AtlasCrs.h"
#include "core/CustomLayer.h"

#include <QImage>
#include <array>
#include <memory>

class GDALDataset;

class TRasterLayer : public TCustomLayer {
public:
  TRasterLayer();
  ~TRasterLayer() override;

  void LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) override;
  void Draw(gfx::Canvas& Canvas, TWorld& World) override;

  // The view's picture of the raster, to be drawn at `at`: the part of the view the raster
  // covers, transparent where it has no data. Raises TGdalSourceError with GDAL's reason when
  // the source cannot be read.
  QImage Picture(const TWorld& World, QPoint& at);

  // Whether a file chosen in the layers window is a picture (its name's ending).
  static bool IsRasterFile(const QString& path);
  // The extent, in the atlas's coordinates, of the raster source at `path` for the atlas whose
  // BASE folder is `baseDir`; raises TGdalSourceError naming what is wrong.
  static TExtent ExtentOf(const QString& path, const QString& baseDir);
  // The same of a raster opened (`path` names it in what is said).
  static TExtent ExtentIn(GDALDataset& raster, const QString& path, const QString& baseDir);

private:
  struct Closer {
    void operator()(GDALDataset* d) const;
  };
  std::unique_ptr<GDALDataset, Closer> Data;
  QString MapsDir;
  std::array<double, 6> Transform{}; // the source's pixels to its coordinates
  bool Warped = false;               // in another system than the atlas's, or turned
  QByteArray AtlasWkt;               // the atlas's system, for the warper
  std::vector<int> ColourBands;      // 1 (grey or a palette) or 3 (red, green, blue)
  int AlphaBand = 0;                 // 0: none
  bool Opaque = false;               // neither alpha, nor no-data value, nor palette

  GDALDataset& Opened();
  void Failed(const char* what);
  QImage ReadWindow(const TWorld& World, QPoint& at);
  QImage Warp(const TWorld& World);
  // The bands read, pixel after pixel (`bands` bytes each, the alpha last when there is one),
  // as a picture.
  QImage ToImage(const std::vector<uint8_t>& pixels, int width, int height, int bands,
                 bool hasAlpha) const;
};

// Registers kind 17.
void RegisterRasterLayerKind();
