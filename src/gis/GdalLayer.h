#pragma once
// A layer whose objects come from any vector source GDAL opens — a GeoPackage table, a PostGIS
// table — in the atlas's own coordinates. Its row of the layers table names the source and the
// layer in `FileName` as "SOURCE|layername=LAYER": SOURCE a file (relative to the maps folder,
// found without regard to letter case) or a connection string ("PG:host=... dbname=..."). Its
// kind says what it draws: 11 points, 13 lines, 15 areas, with the same style fields as the
// points, lines and polygons layers. Only the objects in the view are read (GDAL's spatial
// filter); an object's number is its feature id. A source in another coordinate system than the
// atlas's is transformed to the atlas's as it is read, and the view's box back to the source's.

#include "AtlasCrs.h"
#include "layers/LinesLayer.h"

#include <memory>
#include <stdexcept>

class GDALDataset;
class OGRLayer;
class OGRFeature;
class OGRGeometry;
class OGREnvelope;

// A source that cannot be opened or read, with GDAL's reason.
class TGdalSourceError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TGdalLayer : public TLinesLayer {
public:
  TGdalLayer();
  ~TGdalLayer() override;

  void LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) override;
  void SaveToDataSet(db::Table& DataSet) override;
  void Draw(gfx::Canvas& Canvas, TWorld& World) override;
  bool DrawsInParts(const TWorld&) override { return false; }
  void FlashObject(int RecordIndex, gfx::Canvas& Canvas, TWorld& World) override;
  bool FindsPoints() const override { return Geometry == 1; }
  // Found and boxed through the source, not a geometry file: every line the pick box crosses,
  // nearest first; a point or an area as FindObject finds it.
  std::vector<TFound> FindObjects(gfx::Canvas& Canvas, TWorld& World, double X, double Y) override;
  bool RecordBox(int RecordIndex, TExtent& Box) override {
    return TCustomLayer::RecordBox(RecordIndex, Box);
  }
  int FindObject(gfx::Canvas& Canvas, TWorld& World, double X, double Y, bool IgnoreSelectable,
                 bool Flash) override;
  bool LocateObject(int RecordIndex, TWorld& World) override;
  void GetObjectPoint(int RecordIndex, double& X, double& Y) override;
  bool ObjectFields(int RecordIndex, std::vector<std::pair<QString, QString>>& Fields) override;

  // The source's layer, opened (again) when it is not; raises std::runtime_error with the reason.
  OGRLayer& SourceLayer() { return Opened(); }
  // A shape read from the source, brought to the atlas's coordinates; false when a point of it
  // has no place in the atlas's system (then the shape is not drawn nor found).
  bool ToAtlas(OGRGeometry& shape) const;

  // The source and the layer named by a row's FileName; false when it names no layer.
  static bool SplitSourceName(const QString& FileName, QString& Source, QString& Layer);

  QString Source, LayerName;
  int Geometry = 0; // 1 points, 3 lines, 5 areas: the kind's last digit
  QString CharLabel, CharFont;
  double CharFontSize = 0;
  int32_t CharFontColor = 0;
  bool CharLabelScale = false;

private:
  struct Closer {
    void operator()(GDALDataset* d) const;
  };
  std::unique_ptr<GDALDataset, Closer> Data;
  OGRLayer* Layer = nullptr;
  QString MapsDir;

  // From the source's coordinate system to the atlas's and back; none when they are the same.
  gis::TTransformation SourceToAtlas, AtlasToSource;

  // Opens the source (again, after a failure); raises std::runtime_error naming the layer.
  OGRLayer& Opened();
  // Sets the transformations for the source's system; refuses a source in a system when the
  // atlas has none, with the reason.
  void SetUpCoordinateSystem(OGRLayer& layer);
  // Only the objects in the box of the atlas's coordinates are read next; the box is taken to
  // the source's system with its edges densified (a box in metres is no box in degrees).
  // False when the box has no place in the source's system.
  bool FilterTo(OGRLayer& layer, double X1, double Y1, double X2, double Y2);
  // The box of the source's objects (its box `e` in its own system) in the atlas's system.
  OGREnvelope ExtentInAtlas(OGRLayer& layer, OGREnvelope e);
  // The next object of the filter, its shape in the atlas's coordinates; null at the end.
  std::unique_ptr<OGRFeature> NextFeature(OGRLayer& layer);
  // Raises naming the layer when GDAL's last call failed; the source is opened again next time.
  void ThrowIfFailed(const char* what);
  TGdalSourceError Failure(const QString& what) const;
  std::unique_ptr<OGRFeature> Feature(int RecordIndex);
  void DrawShape(gfx::Canvas& Canvas, const TWorld& World, const OGRGeometry& shape);
  void DrawLabel(gfx::Canvas& Canvas, const TWorld& World, const OGRGeometry& shape,
                 const QString& text);
  int SymbolSize(const TWorld& World) const;
};

// Raises TGdalSourceError when `source` (the file at `path`) reaches the network and the atlas
// whose maps folder is `mapsDir` may not open such sources.
void CheckNetworkAllowed(const QString& source, const QString& path, const QString& mapsDir);

// Registers kinds 11, 13 and 15, and the rasters' 17.
void RegisterGdalLayerKinds();
