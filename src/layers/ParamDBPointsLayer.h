#pragma once
// Database point objects whose group and layer symbols are sized by one of their own numeric
// fields (a pumping station drawn larger the more power it has); never smaller than 10 points.

#include "DBPointsLayer.h"

class TParamDBPointsLayer : public TDBPointsLayer {
public:
  static constexpr int kMinimumSymbolSize = 10;

  void LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) override;

  QString ParamSizeField; // numeric field of the objects table; empty: the size is not scaled
  double ParamSizeKoef = 0;

protected:
  void PrepareDrawing() override;
  int DrawnSymbolSize(int BaseSize, int Row) const override;

private:
  std::optional<size_t> SizeField; // the field number of ParamSizeField in this drawing
};
