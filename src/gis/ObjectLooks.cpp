#include "ObjectLooks.h"

#include "base/MappedFile.h"
#include "db/Error.h"
#include "db/Table.h"
#include "layers/LinesLayer.h"
#include "layers/PointsLayer.h"
#include "layers/PolygonsLayer.h"

#include <QBuffer>
#include <QImage>

TGroupSymbols ReadGroupSymbols(db::Table& groups) {
  TGroupSymbols symbols;
  if (!groups.Active()) return symbols;
  const db::Field* font = groups.FindField("SymbolFont");
  const db::Field* code = groups.FindField("Symbol_Code");
  if (!font || !code) return symbols; // a groups table without symbols: the classes' signs
  for (groups.First(); !groups.Eof(); groups.Next())
    symbols[{int(groups.FieldByName("Category").AsInteger()),
             int(groups.FieldByName("Class").AsInteger()),
             int(groups.FieldByName("GroupNum").AsInteger())}] = {code->AsString(),
                                                                  font->AsString()};
  return symbols;
}

namespace {

int FieldIndex(const std::vector<QString>& fields, const QString& name) {
  for (size_t f = 0; f < fields.size(); ++f)
    if (fields[f].compare(name, Qt::CaseInsensitive) == 0) return int(f);
  return -1;
}

QString StyleFileOf(TCustomLayer& layer) {
  if (const auto* points = dynamic_cast<TPointsLayer*>(&layer)) return points->StyleFilePath();
  if (const auto* lines = dynamic_cast<TLinesLayer*>(&layer)) return lines->StyleFilePath();
  return QString();
}

} // namespace

TObjectLooks::TObjectLooks(TCustomLayer& layer, const TLayerLook& look, const TGroupSymbols& groups,
                           const std::vector<QString>& fields)
    : Kinds(ObjectColumnsOf(look)), Look(look), Category(layer.Category), Class(layer.Class),
      Groups(groups) {
  if (Kinds & (kPenColumns | kFillColumns | kSymbolColumns)) {
    // A style file that cannot be read leaves every object in the layer's look.
    const QString path = StyleFileOf(layer);
    try {
      if (!path.isEmpty()) Styles = std::make_unique<base::MappedFile>(path);
    } catch (const std::exception&) {
      Styles.reset();
    }
  }
  if (Kinds & kGroupColumns) GroupField = FieldIndex(fields, "NUMGROUP");
  if (Kinds & kSizeColumn) SizeField = FieldIndex(fields, look.ParamSizeField);
  if (Kinds & kLogoColumns) {
    ImageField = FieldIndex(fields, "ImageIndex");
    ImagesDir = layer.DatabaseName;
  }
  if (Kinds & kPenColumns)
    ColumnList.insert(ColumnList.end(),
                      {{"vandrel_pen_color"}, {"vandrel_pen_style"}, {"vandrel_pen_width", true}});
  if (Kinds & kFillColumns)
    ColumnList.insert(ColumnList.end(), {{"vandrel_fill_color"}, {"vandrel_fill_style"}});
  if (Kinds & kSymbolColumns)
    ColumnList.insert(
        ColumnList.end(),
        {{"vandrel_char"}, {"vandrel_font"}, {"vandrel_color"}, {"vandrel_size", true}});
  if (Kinds & kGroupColumns)
    ColumnList.insert(ColumnList.end(), {{"vandrel_char"}, {"vandrel_font"}});
  if (Kinds & kSizeColumn) ColumnList.push_back({"vandrel_size", true});
  if (Kinds & kLogoColumns)
    ColumnList.insert(
        ColumnList.end(),
        {{"vandrel_logo"}, {"vandrel_logo_width", true}, {"vandrel_logo_height", true}});
}

TObjectLooks::~TObjectLooks() = default;

TObjectLooks::Logo TObjectLooks::LogoOf(int64_t image) {
  const auto known = Logos.find(image);
  if (known != Logos.end()) return known->second;
  Logo logo;
  try {
    db::Table images(ImagesDir, "IMAGES.DB");
    images.Open();
    images.SetIndexFieldNames("ImageIndex");
    if (images.FindKey({image})) {
      // Copied as the map copies it: its pixels whole, whatever their alpha.
      const QImage picture = QImage::fromData(images.FieldByName("Image").AsBlob())
                                 .convertToFormat(QImage::Format_RGB32);
      QByteArray png;
      QBuffer buffer(&png);
      if (!picture.isNull() && buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "PNG"))
        logo = {"base64:" + QString::fromLatin1(png.toBase64()), picture.width(), picture.height()};
    }
  } catch (const db::Error&) {
    // No images table, or no such field: the objects keep their signs.
  }
  Logos.emplace(image, logo);
  return logo;
}

std::vector<QVariant> TObjectLooks::Values(int record, const std::vector<db::Value>* row) {
  std::vector<QVariant> values;
  if (Kinds & kFillColumns) {
    TPolygonsLayer::AreaStyle style;
    if (Styles && TPolygonsLayer::ReadAreaStyle(*Styles, record, style))
      values = {QgisColor(style.PenColor), QgisLineStyle(style.PenStyle), style.PenWidth,
                QgisColor(style.BrushColor), QgisFillStyle(style.BrushStyle)};
    else
      values.resize(5);
  } else if (Kinds & kPenColumns) {
    gfx::PenState pen;
    double width = 0;
    if (Styles && TLinesLayer::ReadStylePen(*Styles, record, pen, width))
      values = {QgisColor(pen.Color), QgisLineStyle(pen.Style), width};
    else
      values.resize(3);
  }
  if (Kinds & kSymbolColumns) {
    TPointsLayer::SymbolStyle style;
    if (Styles && TPointsLayer::ReadSymbolStyle(*Styles, record, style)) {
      QgisSign(style.Symbol, style.Font);
      values.insert(values.end(), {style.Symbol, style.Font, QgisColor(style.Color), style.Size});
    } else {
      values.resize(values.size() + 4);
    }
  }
  if (Kinds & kGroupColumns) {
    const auto group =
        row && GroupField >= 0 && size_t(GroupField) < row->size() &&
                !db::IsNull((*row)[size_t(GroupField)])
            ? Groups.find({Category, Class, int(db::ValueToInteger((*row)[size_t(GroupField)]))})
            : Groups.end();
    if (group != Groups.end() && !group->second.first.isEmpty()) {
      QString sign = group->second.first;
      QString font = group->second.second.isEmpty() ? Look.CharFont : group->second.second;
      QgisSign(sign, font);
      values.insert(values.end(), {sign, font});
    } else {
      values.resize(values.size() + 2);
    }
  }
  if (Kinds & kSizeColumn) {
    // An object without a row (or with an empty value) is drawn at the minimum width.
    const double value = row && SizeField >= 0 && size_t(SizeField) < row->size()
                             ? db::ValueToFloat((*row)[size_t(SizeField)])
                             : 0;
    values.emplace_back(Look.ParamSizeKoef * value);
  }
  if (Kinds & kLogoColumns) {
    const bool hasImage = row && ImageField >= 0 && size_t(ImageField) < row->size() &&
                          !db::IsNull((*row)[size_t(ImageField)]) &&
                          db::ValueToInteger((*row)[size_t(ImageField)]) >= 0;
    const Logo logo = hasImage ? LogoOf(db::ValueToInteger((*row)[size_t(ImageField)])) : Logo{};
    if (logo.Picture.isEmpty())
      values.resize(values.size() + 3);
    else
      values.insert(values.end(), {logo.Picture, double(logo.Width), double(logo.Height)});
  }
  return values;
}
