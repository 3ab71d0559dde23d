// USER_OBJ: the grid index of the network node objects, and the documents of REFERENSE and HELP.

#include "AtlasParts.h"

#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"

#include "base/AtomicFile.h"
#include "base/TextCodec.h"

namespace demo {
namespace {

using db::FieldType;
using db::Value;
namespace px = db::paradox;

constexpr double kGridCell = 250.0;

std::vector<db::FieldDef> GridFields() {
  return {
      px::MakeField("Nodei", FieldType::Integer),     px::MakeField("Nodej", FieldType::Integer),
      px::MakeField("Category", FieldType::SmallInt), px::MakeField("Class", FieldType::Integer),
      px::MakeField("ObjNum", FieldType::Integer),    px::MakeField("X", FieldType::Float),
      px::MakeField("Y", FieldType::Float),           px::MakeField("ScaleIn", FieldType::Float),
      px::MakeField("ScaleOut", FieldType::Float)};
}

// One grid record per object: its cell (counted from 1 from the map's origin), its class and
// number, its position and the scales at which it counts as visible.
void AddObjects(std::vector<std::vector<Value>>& rows, const Extent& map,
                const std::vector<Node>& nodes, int category, int cls, double scaleIn) {
  for (const Node& n : nodes) {
    const int64_t col = int64_t((n.At.X - map.XMin) / kGridCell) + 1;
    const int64_t row = int64_t((n.At.Y - map.YMin) / kGridCell) + 1;
    rows.push_back({col, row, int64_t(category), int64_t(cls), int64_t(n.Code), n.At.X, n.At.Y,
                    scaleIn == 0 ? Value() : Value(scaleIn), Value()});
  }
}

void CreateGridTable(AtlasContext& ctx, const QString& file,
                     const std::vector<std::vector<Value>>& rows) {
  db::ParadoxCreateOptions options;
  options.UpdateTime = kAtlasTime;
  db::ParadoxFile::Create(ctx.UserObjDir + "/" + file, GridFields(), 5, rows, options);
  ctx.Note(QString("USER_OBJ/%1: %2 rows").arg(file).arg(rows.size()));
}

QByteArray Html(const QString& title, const QString& body) {
  const QString page = "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
                       "charset=windows-1251\">\r\n"
                       "<title>" +
                       title + "</title>\r\n</head>\r\n<body>\r\n<h2>" + title + "</h2>\r\n" +
                       body + "</body>\r\n</html>\r\n";
  return base::Encode(page, base::CodePage::Cp1251);
}

} // namespace

void WriteObjectIndex(AtlasContext& ctx) {
  const City& c = ctx.C;
  // The header record comes first in key order: its X and Y are the cell width and height.
  std::vector<std::vector<Value>> shared = {{int64_t(0), int64_t(0), int64_t(0), int64_t(0),
                                             int64_t(0), kGridCell, kGridCell, Value(), Value()}};
  // The scale window of each class is its layer's (ZoomInScale of the node layers).
  AddObjects(shared, ctx.FullExtent, c.WaterWells, 100, 1, kNodeZoomIn);
  AddObjects(shared, ctx.FullExtent, c.Hydrants, 100, 3, kHydrantZoomIn);
  CreateGridTable(ctx, "SPIN.DB", shared);
  // The sewer manholes have a grid table of their own, named after their layer's file.
  std::vector<std::vector<Value>> sewer;
  AddObjects(sewer, ctx.FullExtent, c.SewerWells, 100, 2, kNodeZoomIn);
  CreateGridTable(ctx, "spinSewerWells.db", sewer);
}

void WriteDocuments(AtlasContext& ctx) {
  const City& c = ctx.C;
  int documents = 0;
  for (const Building& b : c.Buildings) {
    if (b.InfoFile.isEmpty()) continue;
    const QString body =
        QString::fromUtf8("<p>Адреса: %1, %2</p>\r\n<p>Поверхів: %3</p>\r\n"
                          "<p>Об'єкт соціальної інфраструктури (%4). Підключений до "
                          "міських мереж водопостачання та водовідведення.</p>\r\n")
            .arg(StreetTitle(c, b.StreetCode), b.Number)
            .arg(b.Floors)
            .arg(b.Type);
    base::WriteFileAtomically(ctx.RefDir + "/" + b.InfoFile, Html(b.Name, body));
    ++documents;
  }
  ctx.Note(QString("REFERENSE: %1 documents").arg(documents));
  const QString help = QString::fromUtf8(
      "<p>Електронний атлас мереж водопостачання та водовідведення міста.</p>\r\n"
      "<ul>\r\n<li>Масштаб змінюється кнопками збільшення та зменшення, рамкою або коліщатком "
      "миші.</li>\r\n"
      "<li>Категорії, класи та шари вмикаються в панелях праворуч.</li>\r\n"
      "<li>Інструмент «Інформація» показує назву та адресу об'єкта.</li>\r\n"
      "<li>Пошук вулиць і адрес відкривається з меню «Пошук».</li>\r\n"
      "<li>Виміри відстаней і площ зберігаються у файли *.pth у теці SAVE.</li>\r\n</ul>\r\n");
  base::WriteFileAtomically(ctx.HelpDir + "/INDEX.HTM", Html(QString::fromUtf8("Довідка"), help));
}

} // namespace demo
