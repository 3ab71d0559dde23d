#pragma once
// Polyline layers: every visible part of every object drawn with one pen (or a pen per object
// from the style file), objects found by a small pick box, blinked and brought into view.

#include "GeometryFile.h"
#include "core/CustomLayer.h"

class TGeometryFile;
namespace base {
class MappedFile;
}

class TLinesLayer : public TCustomLayer {
public:
  void LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) override;
  void SaveToDataSet(db::Table& DataSet) override;
  void FlashObject(int RecordIndex, gfx::Canvas& Canvas, TWorld& World) override;
  void Draw(gfx::Canvas& Canvas, TWorld& World) override;
  bool DrawsInParts(const TWorld& World) override;
  // Raises base::FileError naming the file when its header's shape type (PrimitiveType, as read
  // from the header) holds no lines or polygons.
  void CheckShapeType() const;
  int FindObject(gfx::Canvas& Canvas, TWorld& World, double X, double Y, bool IgnoreSelectable,
                 bool Flash) override;
  std::vector<TFound> FindObjects(gfx::Canvas& Canvas, TWorld& World, double X, double Y) override;
  bool LocateObject(int RecordIndex, TWorld& World) override;
  bool RecordBox(int RecordIndex, TExtent& Box) override;

  // The style file of per-object pens: the geometry path with its last three characters
  // replaced by "r".
  QString StyleFilePath() const;
  // Pen width in pixels: scaled by the map when PenScale, rounded half to even.
  int PixelWidth(double width, const TWorld& World) const;

  int32_t PenColor = 0;
  int32_t PenStyle = 0;
  double PenWidth = 0;
  bool PenScale = false;
  int32_t BrushColor = 0;
  int32_t BrushStyle = 0;

  // Sets the colour and style of `pen` from the 16-byte style record of object `index` (colour
  // 4, style 4, width as a double 8) and gives its width in map or pixel units; false when the
  // style file holds no record for the object.
  static bool ReadStylePen(const base::MappedFile& styles, int index, gfx::PenState& pen,
                           double& width);

protected:
  // The view that shows a record's box, `current` the view shown now.
  static TExtent ViewOfBox(const TGeometryFile::Record& r, const TExtent& current);
  // Whether a record's box meets the visible extent (closed intervals).
  static bool MeetsView(double XMin, double YMin, double XMax, double YMax, const TWorld& World,
                        double margin = 0);
};
