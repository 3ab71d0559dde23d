#pragma once
// Polygon layers: every part of every object filled as its own ring with one brush and outlined
// with one pen (or with the pens and brushes of the style file), optional drop shadows, labels
// at the centres of the objects' boxes drawn above all fills, a containment hit test, locating
// on the doubled box, and blinking part by part.

#include "LinesLayer.h"

class TPolygonsLayer : public TLinesLayer {
public:
  static constexpr int kStyleRecordSize =
      24; // brush colour, brush style, pen colour, pen style, pen width
  static constexpr double kViewMargin = 10; // map units added to the view on every side

  // One object's record of the style file.
  struct AreaStyle {
    uint32_t BrushColor = 0;
    int BrushStyle = 0;
    uint32_t PenColor = 0;
    int PenStyle = 0;
    double PenWidth = 0;
  };
  // The record of object `index`; false past the file's end.
  static bool ReadAreaStyle(const base::MappedFile& styles, int index, AreaStyle& style);
  // Draws one ring as an area with the canvas's pen and brush, after its shadow: the outline
  // again 1 to `shadow` pixels to the lower right.
  static void DrawRing(gfx::Canvas& Canvas, const std::vector<QPoint>& ring, int shadow);

  void FlashObject(int RecordIndex, gfx::Canvas& Canvas, TWorld& World) override;
  void Draw(gfx::Canvas& Canvas, TWorld& World) override;
  bool DrawsInParts(const TWorld& World) override;
  void PrepareToDraw(const TWorld& World) override;
  // An area is found from inside it, as FindObject finds it (not by its edges, as lines are).
  std::vector<TFound> FindObjects(gfx::Canvas& Canvas, TWorld& World, double X, double Y) override {
    return TCustomLayer::FindObjects(Canvas, World, X, Y);
  }
  int FindObject(gfx::Canvas& Canvas, TWorld& World, double X, double Y, bool IgnoreSelectable,
                 bool Flash) override;
  bool LocateObject(int RecordIndex, TWorld& World) override;

private:
  void DrawLabels(gfx::Canvas& Canvas, const TWorld& World);
  bool LabelsAtScale(const TWorld& World) const;
};
