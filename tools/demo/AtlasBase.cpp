// BASE: the layers table and the reference tables of the atlas.

#include "AtlasParts.h"

#include "Bitmaps.h"
#include "base/AtomicFile.h"
#include "base/TextCodec.h"

#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"

#include <cmath>

namespace demo {
namespace {

using db::FieldType;
using db::Value;
namespace px = db::paradox;

void CreateTable(AtlasContext& ctx, const QString& file, const std::vector<db::FieldDef>& fields,
                 int keys, const std::vector<std::vector<Value>>& rows) {
  db::ParadoxCreateOptions options;
  options.UpdateTime = kAtlasTime;
  db::ParadoxFile::Create(ctx.BaseDir + "/" + file, fields, keys, rows, options);
  ctx.Note(QString("BASE/%1: %2 rows").arg(file).arg(rows.size()));
}

// The layers table: keyed on Level (the drawing order), then every field a layer row holds.
std::vector<db::FieldDef> LayerFields() {
  return {px::MakeField("Level", FieldType::Integer),
          px::MakeField("Category", FieldType::SmallInt),
          px::MakeField("Class", FieldType::Integer),
          px::MakeField("ClassName", FieldType::String, 255),
          px::MakeField("PrimitiveType", FieldType::SmallInt),
          px::MakeField("FileName", FieldType::String, 255),
          px::MakeField("ListType", FieldType::SmallInt),
          px::MakeField("X0", FieldType::Float),
          px::MakeField("Y0", FieldType::Float),
          px::MakeField("Xm", FieldType::Float),
          px::MakeField("Ym", FieldType::Float),
          px::MakeField("Visibled", FieldType::Boolean),
          px::MakeField("Selected", FieldType::Boolean),
          px::MakeField("IsIndexed", FieldType::Boolean),
          px::MakeField("ZoomInScale", FieldType::Float),
          px::MakeField("ZoomOutScale", FieldType::Float),
          px::MakeField("TextLabelAngle", FieldType::Float),
          px::MakeField("ZoomInLabelScale", FieldType::Float),
          px::MakeField("ZoomInIconScale", FieldType::Float),
          px::MakeField("CharLabel", FieldType::String, 1),
          px::MakeField("CharFont", FieldType::String, 32),
          px::MakeField("CharFontSize", FieldType::Float),
          px::MakeField("CharFontColor", FieldType::Integer),
          px::MakeField("CharLabelScale", FieldType::Boolean),
          px::MakeField("ZoomInGroupChar", FieldType::Float),
          px::MakeField("TextFont", FieldType::String, 32),
          px::MakeField("TextFontSize", FieldType::Float),
          px::MakeField("TextFontBold", FieldType::Boolean),
          px::MakeField("TextFontItalic", FieldType::Boolean),
          px::MakeField("TextFontUnderline", FieldType::Boolean),
          px::MakeField("TextFontStrikeOut", FieldType::Boolean),
          px::MakeField("TextColor", FieldType::Integer),
          px::MakeField("TextCharSet", FieldType::Integer),
          px::MakeField("TextInBox", FieldType::Boolean),
          px::MakeField("TextFieldLabel", FieldType::String, 25),
          px::MakeField("VisibleLabel", FieldType::Boolean),
          px::MakeField("TextLabelScale", FieldType::Boolean),
          px::MakeField("XLabel", FieldType::SmallInt),
          px::MakeField("YLabel", FieldType::SmallInt),
          px::MakeField("BrushColor", FieldType::Integer),
          px::MakeField("BrushStyle", FieldType::SmallInt),
          px::MakeField("PenColor", FieldType::Integer),
          px::MakeField("PenStyle", FieldType::SmallInt),
          px::MakeField("PenWidth", FieldType::Float),
          px::MakeField("PenScale", FieldType::Boolean),
          px::MakeField("RenderType", FieldType::Integer),
          px::MakeField("Shadow", FieldType::SmallInt),
          px::MakeField("ObjUtilsGUID", FieldType::String, 38),
          px::MakeField("ParamSizeField", FieldType::String, 25),
          px::MakeField("ParamSizeKoef", FieldType::Float),
          px::MakeField("ZoomInParamScale", FieldType::Float)};
}

void WriteLayers(AtlasContext& ctx) {
  const auto fields = LayerFields();
  std::vector<std::vector<Value>> rows;
  int level = 0;
  for (LayerRow& layer : ctx.Layers) {
    layer.Set("Level", int64_t(++level));
    std::vector<Value> row;
    for (const db::FieldDef& f : fields) {
      const auto it = layer.Values.find(f.Name);
      row.push_back(it == layer.Values.end() ? Value() : it->second);
    }
    rows.push_back(std::move(row));
  }
  CreateTable(ctx, "classreest.DB", fields, 1, rows);
}

void WriteCategories(AtlasContext& ctx) {
  auto row = [](int code, const char* name, bool visible, bool open) {
    return std::vector<Value>{int64_t(code), QString::fromUtf8(name), visible, open};
  };
  CreateTable(
      ctx, "CATEGORYREEST.db",
      {px::MakeField("Category", FieldType::SmallInt),
       px::MakeField("CategoryName", FieldType::String, 255),
       px::MakeField("Visibled", FieldType::Boolean),
       px::MakeField("OpenTree", FieldType::Boolean)},
      1,
      {row(2, "Забудова", true, true), row(4, "Гідрографія та зелені насадження", true, false),
       row(5, "Орієнтири", true, false), row(7, "Вулиці", true, true),
       row(8, "Адреси", true, false), row(100, "Вузли мереж", true, true),
       row(101, "Водопровідна мережа", true, true), row(102, "Каналізаційна мережа", true, false)});
}

void WriteGroups(AtlasContext& ctx) {
  auto row = [](int category, int cls, int group, const char* name, const char* font,
                const char* code) {
    return std::vector<Value>{int64_t(category),
                              int64_t(cls),
                              int64_t(group),
                              QString::fromUtf8(name),
                              *font ? Value(QString(font)) : Value(),
                              *code ? Value(QString(code)) : Value()};
  };
  CreateTable(
      ctx, "GroupReest.DB",
      {px::MakeField("Category", FieldType::SmallInt), px::MakeField("Class", FieldType::Integer),
       px::MakeField("GroupNum", FieldType::Integer),
       px::MakeField("GroupName", FieldType::String, 255),
       px::MakeField("SymbolFont", FieldType::String, 255),
       px::MakeField("Symbol_Code", FieldType::String, 2)},
      3,
      {row(100, 1, 1, "Колодязі", "Wingdings", "l"), row(100, 1, 2, "Камери", "Wingdings", "n"),
       row(100, 1, 3, "Засувки", "Wingdings", "u"), row(100, 1, 4, "Вводи в будинки", "", "v"),
       row(100, 2, 1, "Оглядові колодязі", "Wingdings", "l"),
       row(100, 2, 2, "Випуски", "Wingdings", "s"),
       row(100, 3, 1, "Пожежні гідранти", "Webdings", "H"),
       row(101, 2, 1, "Водопровідні насосні станції", "Wingdings", "R"),
       row(101, 2, 2, "Каналізаційні насосні станції", "Wingdings", "Q"),
       row(101, 2, 3, "Резервні (без знака)", "", "")});
}

void WriteImages(AtlasContext& ctx) {
  const char* names[] = {"Об'єкт мережі", "Насосна станція", "Гідрант", "Колодязь", "Засувка"};
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 5; ++i)
    rows.push_back({int64_t(i), QString::fromUtf8(names[i]), DrawLogo(i)});
  CreateTable(ctx, "IMAGES.DB",
              {px::MakeField("ImageIndex", FieldType::Integer),
               px::MakeField("ImageName", FieldType::String, 60),
               px::MakeField("Image", FieldType::Graphic, 1)},
              1, rows);
}

void WriteStreetDictionary(AtlasContext& ctx) {
  std::vector<std::vector<Value>> rows;
  for (const Street& s : ctx.C.Streets)
    rows.push_back({int64_t(s.Code), s.Name, s.Type});
  // A code with no name: its segments get no label.
  rows.push_back({int64_t(ctx.C.Streets.size() + 1), Value(), QString::fromUtf8("пров.")});
  CreateTable(ctx, "StreetDc.db",
              {px::MakeField("STREETCODE", FieldType::Integer),
               px::MakeField("STREET", FieldType::String, 60),
               px::MakeField("TYPE", FieldType::String, 20)},
              1, rows);
}

// The street segments of the name labels, keyed by their grid address: cell row × 16777216 +
// cell column × 65536 + a sequence number, cells counted from 1 from the streets layer's origin.
void WriteSegments(AtlasContext& ctx) {
  constexpr double kCell = 500.0;
  std::vector<std::vector<Value>> rows;
  rows.push_back(
      {int64_t(0), Value(), kCell, kCell, Value(), Value(), Value(), Value()}); // the grid header
  std::map<int64_t, int> sequence;
  for (const StreetSegment& s : ctx.C.Segments) {
    const double xc = (s.A.X + s.B.X) / 2, yc = (s.A.Y + s.B.Y) / 2;
    const int64_t col = int64_t((xc - ctx.StreetsBox.XMin) / kCell) + 1;
    const int64_t row = int64_t((yc - ctx.StreetsBox.YMin) / kCell) + 1;
    const int64_t cell = (row & 0xFF) * 16777216 + (col & 0xFF) * 65536;
    const int seq = ++sequence[cell];
    // As a Paradox long integer holds it: rows from 128 on are negative.
    const int64_t key = int64_t(int32_t(uint32_t(cell + seq)));
    rows.push_back({key, int64_t(s.StreetCode), xc, yc, std::hypot(s.B.X - s.A.X, s.B.Y - s.A.Y),
                    std::atan2(s.B.Y - s.A.Y, s.B.X - s.A.X), int64_t(s.NodeA), int64_t(s.NodeB)});
  }
  CreateTable(ctx, "Streets.DB",
              {px::MakeField("SHPADDRESS", FieldType::Integer),
               px::MakeField("STREETCODE", FieldType::Integer),
               px::MakeField("XC", FieldType::Float), px::MakeField("YC", FieldType::Float),
               px::MakeField("LENGTH", FieldType::Float), px::MakeField("PHI", FieldType::Float),
               px::MakeField("NODEBEGIN", FieldType::Integer),
               px::MakeField("NODEEND", FieldType::Integer)},
              1, rows);
}

void WriteDictionary(AtlasContext& ctx) {
  struct Entry {
    int Part, Id, Parent;
    const char *Short, *Long;
  };
  const Entry entries[] = {{1, 0, 0, "Матеріали", "Матеріали труб"},
                           {1, 1, 0, "Сталь", "Сталеві труби"},
                           {1, 2, 0, "Чавун", "Чавунні труби"},
                           {1, 3, 2, "Сірий", "Сірий чавун"},
                           {1, 4, 2, "Ковкий", "Ковкий чавун (ВЧШГ)"},
                           {1, 5, 0, "ПЕ", "Поліетилен"},
                           {1, 6, 0, "Кераміка", "Керамічні труби"},
                           {1, 7, 0, "Бетон", "Залізобетонні труби"},
                           {1, 8, 0, "ПВХ", "Полівінілхлорид"},
                           {2, 0, 0, "Об'єкти", "Об'єкти мереж"},
                           {2, 1, 0, "Колодязі", "Колодязі мереж"},
                           {2, 2, 1, "Водопровідні", "Водопровідні колодязі"},
                           {2, 3, 1, "Оглядові", "Оглядові каналізаційні колодязі"},
                           {2, 4, 3, "Перепадні", "Перепадні колодязі"},
                           {2, 5, 0, "Гідранти", "Пожежні гідранти"},
                           {2, 6, 0, "НС", "Насосні станції"},
                           {3, 0, 0, "Стан", "Технічний стан"},
                           {3, 1, 0, "Робочий", "У робочому стані"},
                           {3, 2, 0, "Аварійний", "В аварійному стані"},
                           {3, 3, 0, "Законсервований", "Законсервований об'єкт"}};
  std::vector<std::vector<Value>> rows;
  for (const Entry& e : entries)
    rows.push_back({int64_t(e.Part), int64_t(e.Id), int64_t(e.Parent), QString::fromUtf8(e.Short),
                    QString::fromUtf8(e.Long), int64_t(0), QString("01.02.2003 10:00:00"),
                    int64_t(0)});
  CreateTable(ctx, "dictionary.db",
              {px::MakeField("PARTID", FieldType::Integer), px::MakeField("ID", FieldType::Integer),
               px::MakeField("PARENTID", FieldType::Integer),
               px::MakeField("SHORTNAME", FieldType::String, 32),
               px::MakeField("LONGNAME", FieldType::String, 64),
               px::MakeField("USERID", FieldType::Integer),
               px::MakeField("DTMODIFY", FieldType::String, 20),
               px::MakeField("RESERVED", FieldType::Integer)},
              2, rows);
}

} // namespace

LayerRow MakeLayer(int category, int cls, const QString& name, int kind, const QString& file,
                   const Extent& extent) {
  LayerRow row;
  row.Set("Category", int64_t(category))
      .Set("Class", int64_t(cls))
      .Set("ClassName", name)
      .Set("PrimitiveType", int64_t(kind))
      .Set("FileName", file)
      .Set("ListType", int64_t(4))
      .Set("X0", extent.XMin)
      .Set("Y0", extent.YMin)
      .Set("Xm", extent.XMax)
      .Set("Ym", extent.YMax)
      .Set("Visibled", true)
      .Set("Selected", true)
      .Set("IsIndexed", false)
      .Set("TextFont", "Arial")
      .Set("TextFontSize", 8.0)
      .Set("TextCharSet", int64_t(204))
      .Set("BrushColor", int64_t(0x00FFFFFF))
      .Set("PenColor", int64_t(0))
      .Set("PenWidth", 1.0)
      .Set("RenderType", int64_t(0));
  return row;
}

QString StreetTitle(const City& c, int code) {
  const Street& s = c.StreetByCode(code);
  return s.Type + " " + s.Name;
}

// The network tools' settings: which water-well groups are shut-off valves ("Засувки") and which
// are service connections ("Вводи в будинки"), where the buildings and the heights are, and
// what the hydraulic model takes (Windows-1251, as the atlas's other INI files).
void WriteNetworkSettings(AtlasContext& ctx) {
  const QString text =
      "; The node groups of the networks (Category.Class.Group, separated by commas)\r\n"
      "[Network]\r\nValves=100.1.3\r\nConnections=100.1.4\r\nSources=101.2.1\r\n"
      "; The buildings and address points layers (Category.Class); metres\r\n"
      "Buildings=2.1\r\nAddresses=8.1\r\nBuildingTolerance=3\r\n"
      "[Epanet]\r\nSurvey=5.2\r\nDemandPerConnection=0.05\r\nSourceHead=45\r\n"
      "; Hazen-Williams C of a new pipe, C lost per decade of age\r\n"
      "[Roughness]\r\n" +
      QString::fromUtf8("сталь=120,4\r\nчавун=130,6\r\nполіетилен=150,0\r\n") + "Default=130,3\r\n";
  base::WriteFileAtomically(ctx.BaseDir + "/NETWORK.INI",
                            base::Encode(text, base::CodePage::Cp1251));
}

// The town's coordinates are UTM zone 36N metres.
void WriteAtlasSettings(AtlasContext& ctx) {
  base::WriteFileAtomically(ctx.BaseDir + "/ATLAS.INI",
                            "; The atlas's coordinate system\r\n[Atlas]\r\nCRS=EPSG:32636\r\n");
}

void WriteBase(AtlasContext& ctx) {
  WriteAtlasSettings(ctx);
  WriteNetworkSettings(ctx);
  WriteLayers(ctx);
  WriteCategories(ctx);
  WriteGroups(ctx);
  WriteImages(ctx);
  WriteStreetDictionary(ctx);
  WriteSegments(ctx);
  WriteDictionary(ctx);
}

} // namespace demo
