#pragma once
// Point objects kept in a Paradox table rather than a geometry file: each drawn, by scale, as
// its logo from the images table, as the symbol of its group, or as the layer's own symbol, and
// optionally labelled. Objects are found by their row position in the table's key order in hit
// tests and by their object number (ObjectCode) in look-ups.

#include "PointGrid.h"
#include "PointsLayer.h"

#include <QImage>
#include <map>
#include <optional>

class TDBPointsLayer : public TPointsLayer {
public:
  TDBPointsLayer();
  ~TDBPointsLayer() override;

  void LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) override;
  void FlashObject(int RecordIndex, gfx::Canvas& Canvas, TWorld& World) override;
  void Draw(gfx::Canvas& Canvas, TWorld& World) override;
  bool DrawsInParts(const TWorld& World) override;
  void PrepareToDraw(const TWorld& World) override;
  db::Table* ObjectRowsTable() override { return &Objects(); }
  int FindObject(gfx::Canvas& Canvas, TWorld& World, double X, double Y, bool IgnoreSelectable,
                 bool Flash) override;
  std::vector<TFound> FindObjects(gfx::Canvas& Canvas, TWorld& World, double X, double Y) override;
  bool LocateObject(int ObjectNumber, TWorld& World) override;
  int RecordOfLocated(int ObjectNumber) override { return IndexOfCode(ObjectNumber); }
  bool LocateRecord(int RecordIndex, TWorld& World) override;
  void GetObjectPoint(int ObjectNumber, double& X, double& Y) override;
  void SelectObjectsInPolygon(const std::vector<TSelectionShape>& Shapes, TWorld& World,
                              const std::vector<int32_t>& Groups,
                              std::vector<TSelectionRecord>& Result) override;
  int FindNearestObject(TWorld& World, const std::vector<int32_t>& Groups, double X, double Y,
                        int& Extra) override;
  void SetObjectImage(int ObjectNumber, int ImageIndex) override;
  int GetObjectImage(int ObjectNumber) override;
  TObjectInfo GetObjectInfo(int ObjectNumber) override;
  int GetObjectCode(int RecordIndex) override;
  int IndexOfCode(int ObjectCode) override;

  // Whether the rows walked last were taken from the cache of derived files.
  bool RowsTakenFromKept() const { return bool(KeptRowsContent); }

  // Whether a shape of a selection contains the point (circle, rectangle or polygon).
  static bool ShapeContains(const TSelectionShape& Shape, double X, double Y);

  // The objects table: named when the layer loads, opened when the layer first needs its rows
  // and open from then on; its rows in key order are the objects.
  mutable db::Table ObjectsTable;
  db::Table& Objects() const;

protected:
  // What the walking operations read of a row of the objects table.
  struct ObjectRow {
    double X = 0, Y = 0;
    int64_t ImageIndex = 0; // an empty field reads as 0
    int32_t Group = 0;      // NUMGROUP
    int32_t Code = -1;      // ObjectCode; -1 when the table has no such field
  };
  // The rows in key order, read out of the objects table again whenever it changed, with a grid
  // over them; kept in the program's cache of derived files while the table stays as it was,
  // so that a big table is read once, not at every start. Raises db::Error naming the table
  // and field when X, Y, ImageIndex or NUMGROUP is missing.
  std::span<const ObjectRow> Rows();
  // The rows that may lie in the extent, in key order (Rows() made current first).
  std::vector<int> RowsIn(double XMin, double YMin, double XMax, double YMax);
  // The symbol size m: CharFontSize, times the scale when CharLabelScale, rounded.
  int SymbolSize(const TWorld& World) const;
  // Runs when a drawing passed the scale test, before the first object.
  virtual void PrepareDrawing();
  // The size a row's group or layer symbol is drawn at; the parametric kind sizes it by an
  // attribute of the row.
  virtual int DrawnSymbolSize(int BaseSize, int Row) const;
  // Moves the objects table to the row with key (Category, Class, ObjectNumber).
  bool FindObjectRow(int ObjectNumber);
  // The box about X, Y within which a pick finds a point.
  TExtent PickBox(gfx::Canvas& Canvas, const TWorld& World, double X, double Y);

private:
  void ReadRows();
  bool TakeKeptRows(base::DerivedContent kept);
  QByteArray KeptRows() const;

  std::span<const ObjectRow> RowCache;
  std::vector<ObjectRow> OwnRows;
  base::DerivedContent KeptRowsContent; // what RowCache shows when the rows were kept
  TPointGrid RowGrid;
  std::optional<uint64_t> RowCacheChanges; // the table's change count the cache was read at
  // The images and groups tables of one drawing, with the bitmaps and group rows already looked
  // up (a look-up per drawn object would decode the same bitmap again and again).
  class DrawLookups;
  void DrawSymbol(gfx::Canvas& Canvas, int sx, int sy, int Size, const QString& Font,
                  const QString& Text) const;
};
