#include "LayerStyle.h"

#include "db/Table.h"
#include "gfx/SymbolFonts.h"

#include <QStringList>

namespace {

// Pixels at 96 per inch per metre: a scale of S pixels per map unit is 1 : kPixelsPerMetre / S.
constexpr double kPixelsPerMetre = 96 / 0.0254;

QString Rgb(unsigned windowsColour) {
  return QString("%1,%2,%3,255")
      .arg(windowsColour & 0xFF)
      .arg((windowsColour >> 8) & 0xFF)
      .arg((windowsColour >> 16) & 0xFF);
}

QString Prop(const QString& key, const QString& value) {
  return QString("<prop k=\"%1\" v=\"%2\"/>").arg(key, value.toHtmlEscaped());
}

QString LineStyleName(int penStyle) {
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

QString Denominator(double pixelsPerUnit) {
  return pixelsPerUnit > 0 ? QString::number(kPixelsPerMetre / pixelsPerUnit, 'f', 0) : "0";
}

QString Symbol(const TLayerLook& look) {
  const QString width = QString::number(std::max(1.0, look.PenWidth), 'f', 2);
  switch (look.Kind) {
  case 3:
  case 103:
  case 23:
    return "<symbol type=\"line\" name=\"0\" alpha=\"1\"><layer class=\"SimpleLine\" pass=\"0\" "
           "locked=\"0\" enabled=\"1\">" +
           Prop("line_color", Rgb(look.PenColor)) + Prop("line_width", width) +
           Prop("line_width_unit", "Pixel") + Prop("line_style", LineStyleName(look.PenStyle)) +
           "</layer></symbol>";
  case 5:
    return "<symbol type=\"fill\" name=\"0\" alpha=\"1\"><layer class=\"SimpleFill\" pass=\"0\" "
           "locked=\"0\" enabled=\"1\">" +
           Prop("color", Rgb(look.BrushColor)) +
           Prop("style", (look.BrushStyle & 0xFF) == 1 ? "no" : "solid") +
           Prop("outline_color", Rgb(look.PenColor)) + Prop("outline_width", width) +
           Prop("outline_width_unit", "Pixel") +
           Prop("outline_style", LineStyleName(look.PenStyle)) + "</layer></symbol>";
  default: {
    // A point: the layer's character in the signs the program draws its symbol font with.
    QString character = look.CharLabel;
    QString font = look.CharFont;
    if (!character.isEmpty() && gfx::DrawsThroughSymbolTable(font)) {
      const QString sign = gfx::SymbolFontText(font, character);
      if (!sign.isEmpty()) {
        character = sign;
        font = gfx::SymbolSignFamilies().value(0, font);
      }
    }
    if (character.isEmpty()) {
      return "<symbol type=\"marker\" name=\"0\" alpha=\"1\"><layer class=\"SimpleMarker\" "
             "pass=\"0\" locked=\"0\" enabled=\"1\">" +
             Prop("name", "circle") + Prop("color", Rgb(look.CharFontColor)) + Prop("size", "6") +
             Prop("size_unit", "Pixel") + "</layer></symbol>";
    }
    return "<symbol type=\"marker\" name=\"0\" alpha=\"1\"><layer class=\"FontMarker\" pass=\"0\" "
           "locked=\"0\" enabled=\"1\">" +
           Prop("font", font) + Prop("chr", character) + Prop("color", Rgb(look.CharFontColor)) +
           Prop("size", QString::number(std::max(4.0, look.CharFontSize * 96 / 72), 'f', 1)) +
           Prop("size_unit", "Pixel") + "</layer></symbol>";
  }
  }
}

QString Labels(const TLayerLook& look) {
  if (!look.VisibleLabel || look.TextFieldLabel.isEmpty()) return QString();
  const QString scale = look.ZoomInLabelScale > 0
                            ? QString(" scaleVisibility=\"1\" scaleMin=\"0\" scaleMax=\"%1\"")
                                  .arg(Denominator(look.ZoomInLabelScale))
                            : QString();
  return QString("<labeling type=\"simple\"><settings calloutType=\"simple\"><text-style "
                 "fieldName=\"%1\" fontFamily=\"%2\" fontSize=\"%3\" fontSizeUnit=\"Point\" "
                 "textColor=\"%4\" isExpression=\"0\"/><placement placement=\"%5\"/>"
                 "<rendering%6/></settings></labeling>")
      .arg(look.TextFieldLabel.toHtmlEscaped(), look.TextFont.toHtmlEscaped())
      .arg(std::max(1.0, look.TextFontSize))
      .arg(Rgb(look.TextColor))
      .arg(look.Kind == 3 || look.Kind == 103 || look.Kind == 23 ? 2 : 0)
      .arg(scale);
}

double Number(const db::Table& t, const char* field) {
  const db::Field* f = const_cast<db::Table&>(t).FindField(field);
  return f ? f->AsFloat() : 0;
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
  look.TextColor = unsigned(Number(layers, "TextColor"));
  const db::Field* visible = const_cast<db::Table&>(layers).FindField("VisibleLabel");
  look.VisibleLabel = visible && visible->AsBoolean();
  look.ZoomInScale = Number(layers, "ZoomInScale");
  look.ZoomOutScale = Number(layers, "ZoomOutScale");
  look.ZoomInLabelScale = Number(layers, "ZoomInLabelScale");
  return look;
}

QString StyleQml(const TLayerLook& look) {
  // QGIS's minScale is the largest denominator at which the layer shows (zoomed out furthest),
  // maxScale the smallest.
  const bool scaled = look.ZoomInScale > 0 || look.ZoomOutScale > 0;
  return QString("<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>"
                 "<qgis version=\"3.22\" hasScaleBasedVisibilityFlag=\"%1\" minScale=\"%2\" "
                 "maxScale=\"%3\" styleCategories=\"AllStyleCategories\">"
                 "<renderer-v2 type=\"singleSymbol\" symbollevels=\"0\" enableorderby=\"0\" "
                 "forceraster=\"0\"><symbols>%4</symbols></renderer-v2>%5</qgis>")
      .arg(scaled ? 1 : 0)
      .arg(Denominator(look.ZoomInScale), Denominator(look.ZoomOutScale), Symbol(look),
           Labels(look));
}
