#pragma once
// Point layers read from a geometry file of points (TPointFile): each point drawn as a
// character of a symbol font (or a circle when the layer has no symbol character), with an
// optional label from the attribute table; points are found by a pick box, blinked and located.
// The address layer is this layer under its own kind.

#include "core/CustomLayer.h"

#include "base/MappedFile.h"

class TPointsLayer : public TCustomLayer {
public:
  static constexpr int kStyleRecordSize =
      45; // symbol 1, colour 4, size 8, font 32 (length byte + text)

  // One point's record of the style file.
  struct SymbolStyle {
    QString Symbol, Font;
    uint32_t Color = 0;
    double Size = 0;
  };
  // The record of object `index`; false past the file's end.
  static bool ReadSymbolStyle(const base::MappedFile& styles, int index, SymbolStyle& style);

  void LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) override;
  void SaveToDataSet(db::Table& DataSet) override;
  void FlashObject(int RecordIndex, gfx::Canvas& Canvas, TWorld& World) override;
  void Draw(gfx::Canvas& Canvas, TWorld& World) override;
  bool DrawsInParts(const TWorld& World) override;
  bool FindsPoints() const override { return true; }
  // Raises base::FileError naming the file when its header's shape type (PrimitiveType, as read
  // from the header) holds no points or multipoints.
  void CheckShapeType() const;
  void PrepareToDraw(const TWorld& World) override;
  int FindObject(gfx::Canvas& Canvas, TWorld& World, double X, double Y, bool IgnoreSelectable,
                 bool Flash) override;
  bool LocateObject(int RecordIndex, TWorld& World) override;
  void GetObjectPoint(int RecordIndex, double& X, double& Y) override;
  int FindNearestObject(TWorld& World, const std::vector<int32_t>& Groups, double X, double Y,
                        int& Extra) override;

  // The style file of RenderType -1 (".r") or N > 0 (".tN"); empty for other values.
  QString StyleFilePath() const;
  // Draws one label at pixel (sx, sy) with the layer's font, box, anchors and angle.
  void DrawLabel(gfx::Canvas& Canvas, const TWorld& World, int sx, int sy,
                 const QString& text) const;

  QString CharLabel; // one character; empty: circles are drawn
  QString CharFont;
  double CharFontSize = 0;
  int32_t CharFontColor = 0;
  bool CharLabelScale = false;
  double ZoomInIconScale = 0;
  double ZoomInGroupChar = 0;
  int32_t BrushColor = 0;

protected:
  // The record of the point nearest (X, Y), only among those in `box` when given; -1 when none.
  int NearestPoint(double X, double Y, const TExtent* box, double& NearX, double& NearY) const;
  void SetLabelFont(gfx::Canvas& Canvas, const TWorld& World) const;
  // Blinks a red circle of radius 10 about pixel (sx, sy) six times, 300 ms apart.
  static void FlashCircle(gfx::Canvas& Canvas, int sx, int sy);

public:
  // Moves the requested view, keeping its size, to centre on (X, Y) unless the point lies at
  // least 20 pixels inside the visible extent.
  static void BringIntoView(TWorld& World, double X, double Y);
};

class TAddressLayer : public TPointsLayer {};
