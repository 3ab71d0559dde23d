#pragma once
// A layer's look as a QGIS style (QML), from its row of the layers table: the pen and brush of
// lines and areas, points as font markers in the signs the program draws symbol fonts with,
// labels with their field, font and size, and the layer's scale window as scale-based
// visibility. Written into the GeoPackage's `layer_styles` table, QGIS's default-style table.

#include <QString>

namespace db {
class Table;
}

struct TLayerLook {
  int Kind =
      0; // the layer's primitive type: 1/7 points, 3/103 lines, 5 areas, 101/102 table points
  unsigned PenColor = 0, BrushColor = 0xFFFFFF, CharFontColor = 0, TextColor = 0;
  int PenStyle = 0, BrushStyle = 0;
  double PenWidth = 1, CharFontSize = 10, TextFontSize = 8;
  QString CharLabel, CharFont, TextFieldLabel, TextFont;
  bool VisibleLabel = false;
  double ZoomInScale = 0, ZoomOutScale = 0, ZoomInLabelScale = 0; // pixels per map unit
};

// The look of the layers table's current row.
TLayerLook LookOfRow(const db::Table& layers);
// The QML document of the look.
QString StyleQml(const TLayerLook& look);
