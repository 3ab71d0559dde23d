#pragma once
// Polyline objects whose pen width follows one of their own numeric attributes (a water main
// drawn as wide as its diameter says), once the map is zoomed in past ZoomInParamScale.

#include "LinesLayer.h"

#include <optional>

class TParamLinesLayer : public TLinesLayer {
public:
  static constexpr int kMinimumFlashWidth = 2;

  void LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) override;
  void FlashObject(int RecordIndex, gfx::Canvas& Canvas, TWorld& World) override;
  void Draw(gfx::Canvas& Canvas, TWorld& World) override;
  void PrepareToDraw(const TWorld& World) override;

  // The width of object `RecordIndex` from a plain pixel width: multiplied by ParamSizeKoef
  // and the object's attribute when the sizing applies at this scale, rounded.
  int SizedWidth(int Width, int RecordIndex, const TWorld& World);

  QString ParamSizeField; // numeric field of the attribute table; empty: widths are not sized
  double ParamSizeKoef = 0;
  double ZoomInParamScale = 0; // the sizing applies from this scale on; 0: at every scale

private:
  // The field number of ParamSizeField when the sizing applies at this scale.
  std::optional<size_t> SizingField(const TWorld& World);
  // The attribute value that sizes object `RecordIndex`: the attribute table walked in step
  // with the geometry records, so past its last row it stays on the last row.
  double SizeValue(size_t Field, int RecordIndex) const;
};
