// Geometry files of every layer kind that reads them: the record walk and its index, the parts
// and points of every record, and the lines, polygons and points layers drawing, picking and
// locating with their per-object style files. Input: the style file, then the geometry file.

#include "FuzzTarget.h"

#include "base/FileError.h"
#include "layers/GeometryFile.h"
#include "layers/LinesLayer.h"
#include "layers/PointsLayer.h"
#include "layers/PolygonsLayer.h"
#include "layers/RecordIndex.h"

#include <QImage>
#include <cmath>

namespace {

void WalkRecords(const QString& path, const TWorld& world) {
  try {
    TGeometryFile file(path);
    TGeometryFile::Record r;
    std::vector<QPoint> pixels;
    for (int k = 0; k < 10000 && file.Next(r); ++k) {
      if (r.ShapeType != 3 && r.ShapeType != 5) continue;
      const TGeometryFile::Parts parts = file.ReadParts(r);
      for (int p = 0; p < parts.NumParts; ++p)
        file.PartPixels(parts, p, world, pixels, p % 2 == 0);
    }
  } catch (const base::FileError&) {
  }
  try {
    const auto index = TRecordIndex::Walk(path);
    index->Candidates(-100, -100, 100, 100);
    TGeometryFile::Record r;
    index->Seek(1, r);
  } catch (const base::FileError&) {
  }
}

void UseLayer(TCustomLayer& layer, const QString& path, TWorld& world, int renderType) {
  layer.FullPath = path;
  layer.Visibled = layer.Selected = true;
  layer.RenderType = renderType;
  QImage image(64, 64, QImage::Format_RGB32);
  image.fill(Qt::white);
  gfx::Canvas canvas(image);
  try {
    layer.Draw(canvas, world);
  } catch (const std::exception&) {
  }
  try {
    layer.FindObject(canvas, world, 0, 0, true, false);
    layer.LocateObject(0, world);
  } catch (const std::exception&) {
  }
}

} // namespace

VANDREL_FUZZ_TARGET(Geometry) {
  fuzz::EnsureGuiApplication();
  const auto pieces = fuzz::Split(data, size, 2);
  fuzz::WriteFile("g.r", pieces[0].data(), pieces[0].size());
  const QString path = fuzz::WriteFile("g.mds", pieces[1].data(), pieces[1].size());
  TWorld world;
  world.SetView(64, 64, -100, -100, 100, 100);
  WalkRecords(path, world);
  TLinesLayer lines;
  UseLayer(lines, path, world, 0);
  UseLayer(lines, path, world, -1);
  TPolygonsLayer polygons;
  polygons.Shadow = 1;
  UseLayer(polygons, path, world, -1);
  TPointsLayer points;
  points.CharFontSize = 6;
  UseLayer(points, path, world, -1);
  return 0;
}
