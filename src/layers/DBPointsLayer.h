#pragma once
// Point objects kept in a Paradox table rather than a geometry file: each drawn, by scale, as
// its logo from the images table, as the symbol of its group, or as the layer's own symbol, and
// optionally labelled. Objects are found by their row position in the table's key order in hit
// tests and by their object number (ObjectCode) in look-ups.

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
  int FindObject(gfx::Canvas& Canvas, TWorld& World, double X, double Y, bool IgnoreSelectable,
                 bool Flash) override;
  bool LocateObject(int ObjectNumber, TWorld& World) override;
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

  // Whether a shape of a selection contains the point (circle, rectangle or polygon).
  static bool ShapeContains(const TSelectionShape& Shape, double X, double Y);

  // The objects table, open for the life of the layer; its rows in key order are the objects.
  db::Table ObjectsTable;

protected:
  // The field numbers of the objects table that every operation reads.
  struct ObjectFields {
    size_t X = 0, Y = 0, ImageIndex = 0, NumGroup = 0;
  };
  ObjectFields PositionFields();
  // The symbol size m: CharFontSize, times the scale when CharLabelScale, rounded.
  int SymbolSize(const TWorld& World) const;
  // Runs when a drawing passed the scale test, before the first object.
  virtual void PrepareDrawing();
  // The size a row's group or layer symbol is drawn at; the parametric kind sizes it by an
  // attribute of the row.
  virtual int DrawnSymbolSize(int BaseSize, int Row) const;
  // Moves the objects table to the row with key (Category, Class, ObjectNumber).
  bool FindObjectRow(int ObjectNumber);

private:
  // The images and groups tables of one drawing, with the bitmaps and group rows already looked
  // up (a look-up per drawn object would decode the same bitmap again and again).
  class DrawLookups;
  void DrawSymbol(gfx::Canvas& Canvas, int sx, int sy, int Size, const QString& Font,
                  const QString& Text) const;
};
