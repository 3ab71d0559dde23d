#pragma once
// A layer's look as a QGIS style (QML), from its row of the layers table: the pen and brush of
// lines and areas, points as font markers in the signs the program draws symbol fonts with,
// labels with their field, font and size, and the layer's scale window as scale-based
// visibility. Written into the GeoPackage's `layer_styles` table, QGIS's default-style table.

#include <QString>

namespace db {
class Table;
}

// A layer's row of the layers table, as the export reads it (the fields of the same names).
struct TLayerLook {
  int Kind =
      0; // the layer's primitive type: 1/7 points, 3/103 lines, 5 areas, 101/102 table points
  // Colours as Windows keeps them (0x00BBGGRR): the pen of lines and outlines, the fill of areas,
  // the symbol's sign and the labels' text.
  unsigned PenColor = 0, BrushColor = 0xFFFFFF, CharFontColor = 0, TextColor = 0;
  int PenStyle = 0, BrushStyle = 0; // Windows pen and brush styles (0 solid)
  // The pen's width in pixels (in map units when PenScale), the symbol's and the labels' font
  // sizes in points (in map units when CharLabelScale, TextLabelScale).
  double PenWidth = 1, CharFontSize = 10, TextFontSize = 8;
  // The symbol's character and font, the field whose value labels each object, the labels' font.
  QString CharLabel, CharFont, TextFieldLabel, TextFont;
  bool VisibleLabel = false; // labels shown
  // The scale window (pixels per map unit; 0 none): the layer is drawn between ZoomInScale and
  // ZoomOutScale, its labels from ZoomInLabelScale in.
  double ZoomInScale = 0, ZoomOutScale = 0, ZoomInLabelScale = 0;
  // 0: one look for every object; -1: each object's own from the layer's style file (".r"); N
  // above 0 (points): each object's symbol from the style file ".tN". Shadow: an area's outline
  // drawn again 1 to Shadow pixels to the lower right.
  int RenderType = 0, Shadow = 0;
  bool PenScale = false, CharLabelScale = false, TextLabelScale = false; // sizes in map units
  bool TextFontBold = false;
  // Zooms (pixels per map unit; 0 never) from which table points show their group's sign, lines
  // take their width from ParamSizeField, table points show their pictures.
  double ZoomInGroupChar = 0, ZoomInParamScale = 0, ZoomInIconScale = 0;
  QString ParamSizeField;   // the field that sizes a line's width (a main's diameter)
  double ParamSizeKoef = 0; // the width per unit of that field
};

// The columns a layer's table gets for what the atlas keeps per object: its style file's pen,
// fill or symbol, its group's symbol, or the multiplier of its width. Their values are QGIS's:
// colours as "r,g,b,a", styles by QGIS's names, symbols as the signs drawn.
constexpr unsigned kPenColumns = 1;    // vandrel_pen_color, vandrel_pen_style, vandrel_pen_width
constexpr unsigned kFillColumns = 2;   // vandrel_fill_color, vandrel_fill_style
constexpr unsigned kSymbolColumns = 4; // vandrel_char, vandrel_font, vandrel_color, vandrel_size
constexpr unsigned kGroupColumns = 8;  // vandrel_char, vandrel_font
constexpr unsigned kSizeColumn = 16;   // vandrel_size
constexpr unsigned kLogoColumns = 32;  // vandrel_logo ("base64:" PNG), its width and height
unsigned ObjectColumnsOf(const TLayerLook& look);
// QGIS's names of a colour, a pen style and a brush style.
QString QgisColor(unsigned windowsColour);
QString QgisLineStyle(int penStyle);
QString QgisFillStyle(int brushStyle);
// A symbol font's character as the sign the program draws for it and the font that has the
// sign; left as it is where the font is drawn as it is.
void QgisSign(QString& character, QString& font);

// The look of the layers table's current row.
TLayerLook LookOfRow(const db::Table& layers);
// The QML document of the look.
QString StyleQml(const TLayerLook& look);
// Its parts, as a QGIS project's layer holds them: the scale window as the attributes of the
// layer's element, and the renderer and labelling elements.
QString ScaleAttributes(const TLayerLook& look);
QString StyleElements(const TLayerLook& look);
bool HasLabels(const TLayerLook& look);
