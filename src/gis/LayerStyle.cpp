#include "LayerStyle.h"

#include "db/Table.h"
#include "gfx/SymbolFonts.h"

#include <QStringList>

namespace {

// Pixels at 96 per inch per metre: a scale of S pixels per map unit is 1 : kPixelsPerMetre / S.
constexpr double kPixelsPerMetre = 96 / 0.0254;

QString Prop(const QString& key, const QString& value) {
  return QString("<prop k=\"%1\" v=\"%2\"/>").arg(key, value.toHtmlEscaped());
}

QString Denominator(double pixelsPerUnit) {
  return pixelsPerUnit > 0 ? QString::number(kPixelsPerMetre / pixelsPerUnit, 'f', 0) : "0";
}

// Layers from GDAL sources (11, 13, 15) draw as 1, 3 and 5 do.
int DrawnKind(int kind) {
  return kind >= 11 && kind <= 15 ? kind - 10 : kind;
}

QString Literal(QString text) {
  return "'" + text.replace("'", "''") + "'";
}

QString Decimal(double v) {
  return QString::number(v, 'g', 12);
}

// Pixels of a width or size kept in map units when `mapUnits`, else as it is; rounded as the
// program rounds them.
QString Pixels(const QString& value, bool mapUnits) {
  return mapUnits ? QString("round((%1) * %2 / @map_scale)").arg(value, Decimal(kPixelsPerMetre))
                  : QString("round(%1)").arg(value);
}

// A symbol layer's properties taken from expressions (QGIS's data-defined properties).
QString DataDefined(const std::vector<std::pair<QString, QString>>& expressions) {
  QString options;
  for (const auto& [key, expression] : expressions)
    options += QString("<Option name=\"%1\" type=\"Map\"><Option name=\"active\" type=\"bool\" "
                       "value=\"true\"/><Option name=\"expression\" type=\"QString\" "
                       "value=\"%2\"/><Option name=\"type\" type=\"int\" value=\"3\"/></Option>")
                   .arg(key, expression.toHtmlEscaped());
  return "<data_defined_properties><Option type=\"Map\"><Option name=\"name\" type=\"QString\" "
         "value=\"\"/><Option name=\"properties\" type=\"Map\">" +
         options +
         "</Option><Option name=\"type\" type=\"QString\" value=\"collection\"/></Option>"
         "</data_defined_properties>";
}

QString SymbolLayer(const QString& cls, const QString& props,
                    const std::vector<std::pair<QString, QString>>& expressions = {}) {
  return QString("<layer class=\"%1\" pass=\"0\" locked=\"0\" enabled=\"1\">%2%3</layer>")
      .arg(cls, props, expressions.empty() ? QString() : DataDefined(expressions));
}

QString SymbolOf(const QString& type, const QString& layers) {
  return QString("<symbol type=\"%1\" name=\"0\" alpha=\"1\" clip_to_extent=\"1\">%2</symbol>")
      .arg(type, layers);
}

// The pen's width in pixels: the layer's or the object's, sized by the object's multiplier at
// the scales where the layer sizes its lines.
QString PenWidth(const TLayerLook& look, unsigned columns) {
  const QString plain =
      Pixels(columns & kPenColumns ? QString("\"vandrel_pen_width\"") : Decimal(look.PenWidth),
             look.PenScale);
  if (!(columns & kSizeColumn)) return plain;
  const QString sized = QString("max(round(%1 * \"vandrel_size\"), 1)").arg(plain);
  if (look.ZoomInParamScale <= 0) return sized;
  return QString("CASE WHEN @map_scale <= %1 THEN %2 ELSE %3 END")
      .arg(Denominator(look.ZoomInParamScale), sized, plain);
}

// The pen's style: a pen wider than a pixel draws solid whatever its style, as on the platform
// the atlases come from.
QString PenStyle(const TLayerLook& look, unsigned columns) {
  const QString style = columns & kPenColumns ? QString("\"vandrel_pen_style\"")
                                              : Literal(QgisLineStyle(look.PenStyle));
  return QString("CASE WHEN %1 > 1 AND %2 <> 'no' THEN 'solid' ELSE %2 END")
      .arg(PenWidth(look, columns), style);
}

// The pen's width, colour and style as expressions.
std::vector<std::pair<QString, QString>> PenExpressions(const TLayerLook& look, unsigned columns) {
  std::vector<std::pair<QString, QString>> expressions{{"outlineWidth", PenWidth(look, columns)},
                                                       {"outlineStyle", PenStyle(look, columns)}};
  if (columns & kPenColumns) expressions.emplace_back("outlineColor", "\"vandrel_pen_color\"");
  return expressions;
}

QString LineSymbol(const TLayerLook& look, unsigned columns) {
  const std::vector<std::pair<QString, QString>> expressions = PenExpressions(look, columns);
  return SymbolOf("line",
                  SymbolLayer("SimpleLine",
                              Prop("line_color", QgisColor(look.PenColor)) +
                                  Prop("line_width", "1") + Prop("line_width_unit", "Pixel") +
                                  Prop("line_style", QgisLineStyle(look.PenStyle)) +
                                  Prop("capstyle", "round") + Prop("joinstyle", "round"),
                              expressions));
}

QString FillSymbol(const TLayerLook& look, unsigned columns) {
  const bool own = columns & kPenColumns;
  QString layers;
  if (look.Shadow > 0) {
    // The program draws the outline again 1 to Shadow pixels to the lower right, under the area.
    const QString offset = QString("%1,%1").arg(look.Shadow);
    std::vector<std::pair<QString, QString>> colour;
    if (own) colour.emplace_back("fillColor", "\"vandrel_pen_color\"");
    layers += SymbolLayer("SimpleFill",
                          Prop("color", QgisColor(look.PenColor)) + Prop("style", "solid") +
                              Prop("outline_style", "no") + Prop("offset", offset) +
                              Prop("offset_unit", "Pixel"),
                          colour);
  }
  std::vector<std::pair<QString, QString>> expressions = PenExpressions(look, columns);
  if (columns & kFillColumns) {
    expressions.emplace_back("fillColor", "\"vandrel_fill_color\"");
    expressions.emplace_back("fillStyle", "\"vandrel_fill_style\"");
  }
  layers += SymbolLayer(
      "SimpleFill",
      Prop("color", QgisColor(look.BrushColor)) + Prop("style", QgisFillStyle(look.BrushStyle)) +
          Prop("outline_color", QgisColor(look.PenColor)) + Prop("outline_width", "1") +
          Prop("outline_width_unit", "Pixel") + Prop("outline_style", QgisLineStyle(look.PenStyle)),
      expressions);
  return SymbolOf("fill", layers);
}

QString PointSymbol(const TLayerLook& look, unsigned columns) {
  QString character = look.CharLabel, font = look.CharFont;
  QgisSign(character, font);
  // Font sizes are in points of a 96-per-inch screen.
  const QString points =
      Pixels(columns & kSymbolColumns ? QString("\"vandrel_size\"") : Decimal(look.CharFontSize),
             look.CharLabelScale);
  std::vector<std::pair<QString, QString>> expressions{
      {"size", QString("max(round(%1 * 96 / 72), 1)").arg(points)}};
  if (columns & kSymbolColumns) {
    expressions.emplace_back("char", "\"vandrel_char\"");
    expressions.emplace_back("fontFamily", "\"vandrel_font\"");
    expressions.emplace_back("fillColor", "\"vandrel_color\"");
  } else if (columns & kGroupColumns) {
    // The group's symbol from the scale the layer shows groups at; the layer's before.
    const QString groups = QString("@map_scale <= %1 AND coalesce(\"vandrel_char\", '') <> ''")
                               .arg(Denominator(look.ZoomInGroupChar));
    expressions.emplace_back(
        "char",
        QString("CASE WHEN %1 THEN \"vandrel_char\" ELSE %2 END").arg(groups, Literal(character)));
    expressions.emplace_back(
        "fontFamily",
        QString("CASE WHEN %1 THEN \"vandrel_font\" ELSE %2 END").arg(groups, Literal(font)));
  }
  // An object's logo, from the scale the layer shows logos at, in place of its sign.
  QString logo;
  if (columns & kLogoColumns) {
    const QString shown = QString("(@map_scale <= %1 AND \"vandrel_logo\" IS NOT NULL)")
                              .arg(Denominator(look.ZoomInIconScale));
    // The picture is the object's (QGIS's "name" of a raster marker); its aspect is given, as a
    // marker without a picture of its own has none to keep.
    logo = SymbolLayer("RasterMarker",
                       Prop("imageFile", "") + Prop("size_unit", "Pixel") + Prop("size", "16") +
                           Prop("fixedAspectRatio", "1"),
                       {{"enabled", shown},
                        {"name", "\"vandrel_logo\""},
                        {"size", "\"vandrel_logo_width\""},
                        {"height", "\"vandrel_logo_height\""}});
    expressions.emplace_back("enabled", "NOT " + shown);
  }
  if (character.isEmpty() && !(columns & (kSymbolColumns | kGroupColumns)))
    return SymbolOf("marker", SymbolLayer("SimpleMarker",
                                          Prop("name", "circle") +
                                              Prop("color", QgisColor(look.CharFontColor)) +
                                              Prop("size", "6") + Prop("size_unit", "Pixel"),
                                          {expressions.front()}) +
                                  logo);
  return SymbolOf("marker", SymbolLayer("FontMarker",
                                        Prop("font", font) + Prop("chr", character) +
                                            Prop("color", QgisColor(look.CharFontColor)) +
                                            Prop("size", "10") + Prop("size_unit", "Pixel"),
                                        expressions) +
                                logo);
}

QString Symbol(const TLayerLook& look) {
  const unsigned columns = ObjectColumnsOf(look);
  switch (DrawnKind(look.Kind)) {
  case 23: // street names: their segments carry the names and are not drawn
    return SymbolOf("line", SymbolLayer("SimpleLine", Prop("line_style", "no")));
  case 3:
  case 103:
    return LineSymbol(look, columns);
  case 5:
    return FillSymbol(look, columns);
  default:
    return PointSymbol(look, columns);
  }
}

QString Labels(const TLayerLook& look) {
  if (!HasLabels(look)) return QString();
  const QString scale = look.ZoomInLabelScale > 0
                            ? QString(" scaleVisibility=\"1\" scaleMin=\"0\" scaleMax=\"%1\"")
                                  .arg(Denominator(look.ZoomInLabelScale))
                            : QString();
  // A size kept in map units grows with the map: its points at 96 per inch are map units then.
  const double size = std::max(1.0, look.TextFontSize) * (look.TextLabelScale ? 96.0 / 72 : 1);
  // The program writes every label, over each other where they meet.
  return QString("<labeling type=\"simple\"><settings calloutType=\"simple\"><text-style "
                 "fieldName=\"%1\" fontFamily=\"%2\" fontSize=\"%3\" fontSizeUnit=\"%4\" "
                 "fontWeight=\"%5\" textColor=\"%6\" isExpression=\"0\"/>"
                 "<placement placement=\"%7\"/><rendering displayAll=\"1\"%8/></settings>"
                 "</labeling>")
      .arg(
          look.TextFieldLabel.toHtmlEscaped(), look.TextFont.toHtmlEscaped(), Decimal(size),
          look.TextLabelScale ? "MapUnit" : "Point", look.TextFontBold ? "75" : "50",
          QgisColor(look.TextColor),
          QString::number(DrawnKind(look.Kind) == 3 || look.Kind == 103 || look.Kind == 23 ? 2 : 1),
          scale);
}

double Number(const db::Table& t, const char* field) {
  const db::Field* f = const_cast<db::Table&>(t).FindField(field);
  return f ? f->AsFloat() : 0;
}

bool Flag(const db::Table& t, const char* field) {
  const db::Field* f = const_cast<db::Table&>(t).FindField(field);
  return f && f->AsBoolean();
}

QString Text(const db::Table& t, const char* field) {
  const db::Field* f = const_cast<db::Table&>(t).FindField(field);
  return f ? f->AsString() : QString();
}

} // namespace

TLayerLook LookOfRow(const db::Table& layers) {
  TLayerLook look;
  look.Kind = int(Number(layers, "PrimitiveType"));
  look.PenColor = unsigned(Number(layers, "PenColor"));
  look.PenStyle = int(Number(layers, "PenStyle"));
  look.PenWidth = Number(layers, "PenWidth");
  look.BrushColor = unsigned(Number(layers, "BrushColor"));
  look.BrushStyle = int(Number(layers, "BrushStyle"));
  look.CharLabel = Text(layers, "CharLabel");
  look.CharFont = Text(layers, "CharFont");
  look.CharFontColor = unsigned(Number(layers, "CharFontColor"));
  look.CharFontSize = Number(layers, "CharFontSize");
  look.TextFieldLabel = Text(layers, "TextFieldLabel");
  look.TextFont = Text(layers, "TextFont");
  look.TextFontSize = Number(layers, "TextFontSize");
  look.TextLabelScale = Flag(layers, "TextLabelScale");
  look.TextFontBold = Flag(layers, "TextFontBold");
  look.TextColor = unsigned(Number(layers, "TextColor"));
  look.VisibleLabel = Flag(layers, "VisibleLabel");
  look.ZoomInScale = Number(layers, "ZoomInScale");
  look.ZoomOutScale = Number(layers, "ZoomOutScale");
  look.ZoomInLabelScale = Number(layers, "ZoomInLabelScale");
  look.RenderType = int(Number(layers, "RenderType"));
  look.Shadow = int(Number(layers, "Shadow"));
  look.PenScale = Flag(layers, "PenScale");
  look.CharLabelScale = Flag(layers, "CharLabelScale");
  look.ZoomInGroupChar = Number(layers, "ZoomInGroupChar");
  look.ZoomInParamScale = Number(layers, "ZoomInParamScale");
  look.ZoomInIconScale = Number(layers, "ZoomInIconScale");
  look.ParamSizeField = Text(layers, "ParamSizeField").trimmed();
  look.ParamSizeKoef = Number(layers, "ParamSizeKoef");
  return look;
}

unsigned ObjectColumnsOf(const TLayerLook& look) {
  switch (look.Kind) {
  case 3:
    return look.RenderType == -1 ? kPenColumns : 0;
  case 103: {
    const bool ownPen = look.RenderType == 0 || look.RenderType == -1;
    return (look.RenderType == -1 ? kPenColumns : 0) |
           (ownPen && !look.ParamSizeField.isEmpty() ? kSizeColumn : 0);
  }
  case 5:
    return look.RenderType == -1 ? kPenColumns | kFillColumns : 0;
  case 1:
  case 7:
    return look.RenderType == -1 || look.RenderType > 0 ? kSymbolColumns : 0;
  case 101:
  case 102:
    return (look.ZoomInGroupChar > 0 ? kGroupColumns : 0) |
           (look.ZoomInIconScale > 0 ? kLogoColumns : 0);
  default:
    return 0;
  }
}

QString QgisColor(unsigned windowsColour) {
  return QString("%1,%2,%3,255")
      .arg(windowsColour & 0xFF)
      .arg((windowsColour >> 8) & 0xFF)
      .arg((windowsColour >> 16) & 0xFF);
}

QString QgisLineStyle(int penStyle) {
  switch (penStyle & 0xFF) {
  case 1:
    return "dash";
  case 2:
    return "dot";
  case 3:
    return "dash dot";
  case 4:
    return "dash dot dot";
  case 5:
    return "no";
  default:
    return "solid";
  }
}

QString QgisFillStyle(int brushStyle) {
  static const char* names[] = {"solid",      "no",         "horizontal", "vertical",
                                "f_diagonal", "b_diagonal", "cross",      "diagonal_x"};
  const int style = brushStyle & 0xFF;
  return style >= 0 && style < 8 ? names[style] : "solid";
}

void QgisSign(QString& character, QString& font) {
  if (character.isEmpty() || !gfx::DrawsThroughSymbolTable(font)) return;
  const QString sign = gfx::SymbolFontText(font, character);
  if (sign.isEmpty()) return;
  character = sign;
  font = gfx::SymbolSignFamilies().value(0, font);
}

QString ScaleAttributes(const TLayerLook& look) {
  // QGIS's minScale is the largest denominator at which the layer shows (zoomed out furthest),
  // maxScale the smallest.
  const bool scaled = look.ZoomInScale > 0 || look.ZoomOutScale > 0;
  return QString("hasScaleBasedVisibilityFlag=\"%1\" minScale=\"%2\" maxScale=\"%3\"")
      .arg(scaled ? 1 : 0)
      .arg(Denominator(look.ZoomInScale), Denominator(look.ZoomOutScale));
}

QString StyleElements(const TLayerLook& look) {
  return QString("<renderer-v2 type=\"singleSymbol\" symbollevels=\"0\" enableorderby=\"0\" "
                 "forceraster=\"0\"><symbols>%1</symbols></renderer-v2>%2")
      .arg(Symbol(look), Labels(look));
}

bool HasLabels(const TLayerLook& look) {
  return look.VisibleLabel && !look.TextFieldLabel.isEmpty();
}

QString StyleQml(const TLayerLook& look) {
  return QString("<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>"
                 "<qgis version=\"3.22\" %1 styleCategories=\"AllStyleCategories\">%2</qgis>")
      .arg(ScaleAttributes(look), StyleElements(look));
}
