#include "ParamDBPointsLayer.h"

#include <algorithm>

void TParamDBPointsLayer::LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) {
  TDBPointsLayer::LoadFromDataSet(DataSet, MapsDir);
  ParamSizeField = DataSet.FieldByName("ParamSizeField").AsString().trimmed();
  ParamSizeKoef = DataSet.FieldByName("ParamSizeKoef").AsFloat();
}

void TParamDBPointsLayer::PrepareDrawing() {
  SizeField.reset();
  // A name that is no field of the objects table raises here, naming table and field.
  if (!ParamSizeField.isEmpty()) SizeField = Objects().FieldByName(ParamSizeField).FieldNo();
}

int TParamDBPointsLayer::DrawnSymbolSize(int BaseSize, int Row) const {
  int m = BaseSize;
  if (SizeField) {
    // An empty value reads as 0, so the object takes the minimum size.
    const double v = db::ValueToFloat(Objects().ValueAt(Row, *SizeField));
    m = Rounded(v * m * ParamSizeKoef);
  }
  return std::max(m, kMinimumSymbolSize);
}
