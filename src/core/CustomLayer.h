#pragma once
// The base of every map layer: the properties of its row of the layers table, the opening of
// its geometry file header and attribute table, its optional object-utilities component, and
// the virtual operations every layer kind answers (in slot order).

#include "LayerTypes.h"
#include "World.h"

#include "db/Table.h"
#include "gfx/Canvas.h"
#include "plugins/ObjectUtils.h"

#include <QString>
#include <memory>

class TCustomLayer {
public:
  TCustomLayer();
  virtual ~TCustomLayer(); // slot 0: Destroy

  // Slot 1: reads the row the dataset stands on; raises db::Error (a missing field, a missing
  // attribute table), base::FileError (a missing or short geometry file) or std::runtime_error
  // (an object-utilities component that is not installed).
  virtual void LoadFromDataSet(db::Table& DataSet, const QString& MapsDir);
  // Slot 2: writes the common fields back into the row and posts it.
  virtual void SaveToDataSet(db::Table& DataSet);
  virtual void FlashObject(int RecordIndex, gfx::Canvas& Canvas, TWorld& World); // 3
  virtual void Draw(gfx::Canvas& Canvas, TWorld& World);                         // 4
  // Whether Draw, at this view, may draw its objects in parts (World.Part), each on its own
  // thread and surface, the surfaces laid over each other in order: true when the layer holds
  // enough objects to share and the look of each object does not depend on the objects drawn
  // before it. PrepareToDraw runs first, on one thread, and opens whatever the drawing at this
  // scale reads, so that Draw then only reads the layer.
  virtual bool DrawsInParts(const TWorld&) { return false; }
  // A layer with fewer objects than this in the view is drawn by one thread: sharing it costs
  // more than it saves.
  static inline int ShareableObjects = 4000;
  virtual void PrepareToDraw(const TWorld&) {}
  // The table whose rows, in its current order, are the layer's objects, for a layer that keeps
  // its objects in a table rather than in a geometry file; null otherwise.
  virtual db::Table* ObjectRowsTable() { return nullptr; }
  // Whether a pick's FoundX and FoundY are the object itself (a point), not a place on it.
  virtual bool FindsPoints() const { return false; }
  virtual int FindObject(gfx::Canvas& Canvas, TWorld& World, double X, double Y,
                         bool IgnoreSelectable,
                         bool Flash); // 5
  // Every object under the pick box at X, Y (not only the one FindObject chooses), nearest
  // first: "what is here". By default the one FindObject finds.
  struct TFound {
    int RecordIndex = -1;
    double X = 0, Y = 0; // a point object's own place; the pick point for others
    double Distance = 0; // from the pick point to the object, in map units
  };
  virtual std::vector<TFound> FindObjects(gfx::Canvas& Canvas, TWorld& World, double X, double Y);
  // The order of FindObjects: nearer first, to the millimetre; among equals the earlier record
  // (objects meeting at a node are listed alike whatever computed their distances).
  static void SortNearestFirst(std::vector<TFound>& Found);
  virtual bool LocateObject(int RecordIndex, TWorld& World); // 6
  // The box an object covers, by its record: a point's place by default (LocateRecord's).
  virtual bool RecordBox(int RecordIndex, TExtent& Box);
  // The record of the object LocateObject is given (points kept in a table are located by their
  // object code), and LocateObject by a record index.
  virtual int RecordOfLocated(int ObjectNumber) { return ObjectNumber; }
  virtual bool LocateRecord(int RecordIndex, TWorld& World) {
    return LocateObject(RecordIndex, World);
  }
  // The fields of an object whose values are not rows of a table of the atlas (a layer from
  // another source), as name and text; false for the layers whose rows are read from their
  // tables.
  virtual bool ObjectFields(int /*RecordIndex*/,
                            std::vector<std::pair<QString, QString>>& /*Fields*/) {
    return false;
  }
  virtual void MarkChanged();                                         // 7
  virtual void GetObjectPoint(int RecordIndex, double& X, double& Y); // 8
  virtual void SelectObjectsInPolygon(const std::vector<TSelectionShape>& Shapes, TWorld& World,
                                      const std::vector<int32_t>& Groups,
                                      std::vector<TSelectionRecord>& Result); // 9
  virtual int FindNearestObject(TWorld& World, const std::vector<int32_t>& Groups, double X,
                                double Y,
                                int& Extra);                   // 10
  virtual void SetObjectImage(int ObjectCode, int ImageIndex); // 11
  virtual int GetObjectImage(int ObjectCode);                  // 12
  virtual TObjectInfo GetObjectInfo(int ObjectCode);           // 13
  virtual int GetObjectCode(int RecordIndex);                  // 14
  virtual int IndexOfCode(int ObjectCode);                     // 15
  virtual void ShowObjectCard(int ObjectCode);                 // 16
  virtual void ShowObjectList();                               // 17

  void GetFoundPoint(double& X, double& Y) const {
    X = FoundX;
    Y = FoundY;
  }
  // Whether the scale test lets the layer draw, and its labels.
  bool ScaleAllowsDrawing(double Scale) const;
  bool ScaleAllowsLabels(double Scale) const;

  std::unique_ptr<plugins::IObjectUtils> ObjectUtils;
  QString DatabaseName; // directory of the layers table the row came from
  bool Changed = false;
  double FoundX = 0, FoundY = 0;
  int32_t Level = 0;
  int16_t Category = 0;
  int32_t Class = 0;
  QString ClassName;
  int16_t PrimitiveType = 0;
  QString FileName; // as in the row, with .SHP changed to .mds
  QString FullPath; // maps directory + "/" + FileName, resolved without regard to case
  // The attribute table of a geometry layer: named when the layer loads, opened when first used.
  db::Table AttrTable;
  db::Table& Attributes();
  int32_t RenderType = 0;
  double X0 = 0, Y0 = 0, Xm = 0, Ym = 0;
  bool Visibled = false, Selected = false, IsIndexed = false;
  double ZoomInScale = 0, ZoomOutScale = 0;
  QString TextFieldLabel;
  double TextLabelAngle = 0, ZoomInLabelScale = 0;
  bool VisibleLabel = false;
  QString TextFont;
  int32_t TextColor = 0;
  double TextFontSize = 0;
  bool TextFontBold = false, TextFontItalic = false, TextFontUnderline = false,
       TextFontStrikeOut = false;
  bool TextInBox = false;
  int16_t TextCharSet = 0, XLabel = 0, YLabel = 0;
  bool TextLabelScale = false;
  int16_t Shadow = 0;
  QString ObjUtilsGUID;

  // The labels' font size in points: scaled with the map when TextLabelScale, at least 1.
  int LabelFontSize(const TWorld& World) const;
  // Reads the geometry file header: shape type into PrimitiveType, the bounding box into the
  // extent.
  void ReadGeometryHeader();

protected:
  // The file beside the geometry file whose name is the geometry file's with its last three
  // characters replaced by `ending` ("Buildings.mds" and "r" give "Buildings.r"), found without
  // regard to letter case as every path of the atlas.
  QString CompanionPath(const QString& ending) const;
  // Rounds to the nearest whole number; values that are not finite or beyond a million give 0.
  static int Rounded(double v);
  // Whether a style file of `RecordSize`-byte records holds a style for each of `Objects`
  // objects (none left to carry the previous object's style over).
  static bool StylesCoverAll(const QString& Path, int RecordSize, int64_t Objects);
  // Writes a label turned by Angle tenths of a degree with its anchor (XLabel, YLabel: -1 right
  // or bottom, 0 centre, 1 left or top) at pixel (X, Y); the alignment set stays set.
  void TextOutAnchored(gfx::Canvas& Canvas, int X, int Y, int Angle, const QString& Text) const;
};
