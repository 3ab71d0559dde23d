// MAPS: the geometry files with their attribute tables and style files, and the object tables
// of the database point layers.

#include "AtlasParts.h"

#include <algorithm>

#include "db/DbaseFile.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"

#include "base/AtomicFile.h"

#include <cmath>
#include <map>

namespace demo {
namespace {

using db::FieldType;
using db::MakeDbaseField;
using db::Value;

QString PathIn(const QString& dir, const QString& name) {
  return dir + "/" + name;
}

double PathLength(const Ring& r) {
  double length = 0;
  for (size_t k = 1; k < r.size(); ++k)
    length += std::hypot(r[k].X - r[k - 1].X, r[k].Y - r[k - 1].Y);
  return length;
}

int64_t VertexCount(const std::vector<Ring>& parts) {
  int64_t n = 0;
  for (const Ring& r : parts)
    n += int64_t(r.size());
  return n;
}

void SaveGeometry(AtlasContext& ctx, const ShapeWriter& shapes, const QString& file,
                  int64_t vertices) {
  shapes.Save(PathIn(ctx.MapsDir, file));
  ctx.FullExtent.Add(shapes.Bounds());
  ctx.Summary.Objects += int64_t(shapes.Count());
  ctx.Summary.Vertices += vertices;
  ctx.Note(QString("MAPS/%1: %2 records, %3 vertices").arg(file).arg(shapes.Count()).arg(vertices));
}

void WriteStreets(AtlasContext& ctx) {
  const City& c = ctx.C;
  ShapeWriter shapes(ShapeType::PolyLine);
  std::vector<std::vector<Value>> rows;
  int64_t vertices = 0;
  for (const Street& s : c.Streets) {
    shapes.AddShape(s.Parts);
    vertices += VertexCount(s.Parts);
    rows.push_back({int64_t(rows.size()), int64_t(s.Code), s.Name, s.Type, s.Type + " " + s.Name});
  }
  SaveGeometry(ctx, shapes, "Streets.mds", vertices);
  ctx.StreetsBox = shapes.Bounds();
  // The streets layer's attribute table is also the table the street search reads.
  db::DbaseFile::Create(PathIn(ctx.MapsDir, "Streets.dbf"),
                        {MakeDbaseField("OBJECTCODE", FieldType::Integer, 10),
                         MakeDbaseField("STREETCODE", FieldType::Integer, 10),
                         MakeDbaseField("STREET", FieldType::String, 60),
                         MakeDbaseField("TYPE", FieldType::String, 20),
                         MakeDbaseField("NAME", FieldType::String, 80)},
                        rows);
  ctx.Layers.push_back(
      MakeLayer(7, 4, QString::fromUtf8("Вулиці"), 3, "Streets.shp", shapes.Bounds())
          .Set("PenColor", int64_t(0x00C8C8C8))
          .Set("PenWidth", 16.0)
          .Set("PenScale", true)
          .Set("ListType", int64_t(1)));
  ctx.Layers.push_back(
      MakeLayer(7, 5, QString::fromUtf8("Назви вулиць"), 23, "Streets.shp", shapes.Bounds())
          .Set("TextFont", "Arial")
          .Set("TextFontSize", 9.0)
          .Set("TextColor", int64_t(0x00202020))
          .Set("TextFontBold", true)
          .Set("TextFieldLabel", "NAME")
          .Set("VisibleLabel", true)
          .Set("ZoomInLabelScale", 0.6)
          .Set("ListType", int64_t(1)));
}

void WriteAreas(AtlasContext& ctx, const std::vector<Area>& areas, const QString& file, int cls,
                const QString& title, uint32_t fill, int brushStyle) {
  ShapeWriter shapes(ShapeType::Polygon);
  std::vector<std::vector<Value>> rows;
  int64_t vertices = 0;
  for (const Area& a : areas) {
    shapes.AddShape(a.Rings);
    vertices += VertexCount(a.Rings);
    rows.push_back({int64_t(rows.size()), a.Name, a.Type});
  }
  SaveGeometry(ctx, shapes, file + ".mds", vertices);
  db::DbaseFile::Create(PathIn(ctx.MapsDir, file + ".dbf"),
                        {MakeDbaseField("OBJECTCODE", FieldType::Integer, 10),
                         MakeDbaseField("NAME", FieldType::String, 80),
                         MakeDbaseField("KIND", FieldType::String, 40)},
                        rows);
  ctx.Layers.push_back(MakeLayer(4, cls, title, 5, file + ".mds", shapes.Bounds())
                           .Set("BrushColor", int64_t(fill))
                           .Set("BrushStyle", int64_t(brushStyle))
                           .Set("PenColor", int64_t(brushStyle == 0 ? 0x00C08040 : 0x00408040))
                           .Set("PenWidth", 1.0)
                           .Set("TextFieldLabel", "NAME")
                           .Set("VisibleLabel", true)
                           .Set("TextFont", "Times New Roman")
                           .Set("TextFontSize", 10.0)
                           .Set("TextFontItalic", true)
                           .Set("TextColor", int64_t(brushStyle == 0 ? 0x00800000 : 0x00005000))
                           .Set("ZoomInLabelScale", 0.4));
}

std::vector<db::FieldDef> AddressFields() {
  return {MakeDbaseField("OBJECTCODE", FieldType::Integer, 10),
          MakeDbaseField("NAME", FieldType::String, 80),
          MakeDbaseField("TYPE", FieldType::String, 20),
          MakeDbaseField("STREET", FieldType::String, 60),
          MakeDbaseField("NUMBER", FieldType::String, 10),
          MakeDbaseField("KIND", FieldType::String, 40),
          MakeDbaseField("InfoFile", FieldType::String, 40)};
}

void WriteBuildings(AtlasContext& ctx) {
  const City& c = ctx.C;
  ShapeWriter shapes(ShapeType::Polygon);
  QByteArray styles;
  std::vector<std::vector<Value>> rows;
  int64_t vertices = 0;
  for (const Building& b : c.Buildings) {
    shapes.AddShape(b.Rings);
    vertices += VertexCount(b.Rings);
    AppendPolygonStyle(styles, b.Fill, b.Hatch, 0x00505050, 0, 1.0);
    const Street& s = c.StreetByCode(b.StreetCode);
    rows.push_back({int64_t(rows.size()), b.Name, s.Type, s.Name, b.Number, b.Type,
                    b.InfoFile.isEmpty() ? Value() : Value(b.InfoFile), int64_t(b.Floors)});
  }
  SaveGeometry(ctx, shapes, "Buildings.mds", vertices);
  base::WriteFileAtomically(PathIn(ctx.MapsDir, "Buildings.r"), styles);
  std::vector<db::FieldDef> all = AddressFields();
  all.push_back(MakeDbaseField("FLOORS", FieldType::Integer, 3));
  db::DbaseFile::Create(PathIn(ctx.MapsDir, "Buildings.dbf"), all, rows);
  ctx.Layers.push_back(
      MakeLayer(2, 1, QString::fromUtf8("Будинки"), 5, "Buildings.mds", shapes.Bounds())
          .Set("RenderType", int64_t(-1))
          .Set("Shadow", int64_t(2))
          .Set("BrushColor", int64_t(0x00D3E0EA))
          .Set("PenColor", int64_t(0x00505050))
          .Set("PenWidth", 1.0)
          .Set("ZoomInScale", 0.12)
          .Set("TextFieldLabel", "NUMBER")
          .Set("VisibleLabel", true)
          .Set("TextFont", "Arial")
          .Set("TextFontSize", 3.0)
          .Set("TextLabelScale", true)
          .Set("TextColor", int64_t(0x00000000))
          .Set("ZoomInLabelScale", 1.2)
          .Set("ListType", int64_t(4)));
}

void WriteAddresses(AtlasContext& ctx) {
  const City& c = ctx.C;
  ShapeWriter shapes(ShapeType::Point);
  std::vector<std::vector<Value>> rows;
  for (const Building& b : c.Buildings) {
    shapes.AddPoint(b.Centre);
    const Street& s = c.StreetByCode(b.StreetCode);
    rows.push_back({int64_t(rows.size()), b.Name, s.Type, s.Name, b.Number, b.Type,
                    b.InfoFile.isEmpty() ? Value() : Value(b.InfoFile)});
  }
  SaveGeometry(ctx, shapes, "address.mds", int64_t(shapes.Count()));
  db::DbaseFile::Create(PathIn(ctx.MapsDir, "address.dbf"), AddressFields(), rows);
  ctx.Layers.push_back(
      MakeLayer(8, 1, QString::fromUtf8("Адреси"), 7, "address.mds", shapes.Bounds())
          .Set("CharLabel", ".")
          .Set("CharFont", "Arial")
          .Set("CharFontSize", 10.0)
          .Set("CharFontColor", int64_t(0x00404040))
          .Set("ZoomInScale", 0.8)
          .Set("TextFieldLabel", "NUMBER")
          // The buildings carry their numbers; the address points would write each one twice.
          .Set("VisibleLabel", false)
          .Set("TextFont", "Arial")
          .Set("TextFontSize", 8.0)
          .Set("TextColor", int64_t(0x00000080))
          .Set("XLabel", int64_t(1))
          .Set("YLabel", int64_t(1))
          .Set("ZoomInLabelScale", 1.0)
          .Set("ListType", int64_t(4)));
}

void WriteLandmarks(AtlasContext& ctx) {
  const City& c = ctx.C;
  ShapeWriter shapes(ShapeType::Point);
  QByteArray styles;
  std::vector<std::vector<Value>> rows;
  for (const Landmark& l : c.Landmarks) {
    shapes.AddPoint(l.At);
    AppendPointStyle(styles, l.Symbol, l.Colour, l.Size, "Wingdings");
    const Street& s = c.StreetByCode(l.StreetCode);
    rows.push_back({int64_t(rows.size()), l.Name, s.Type, s.Name, l.Number, l.Type, l.InfoFile});
  }
  SaveGeometry(ctx, shapes, "Landmarks.mds", int64_t(shapes.Count()));
  // Style set 3 of the landmarks; a layer with RenderType 3 reads Landmarks.t3.
  base::WriteFileAtomically(PathIn(ctx.MapsDir, "Landmarks.t3"), styles);
  db::DbaseFile::Create(PathIn(ctx.MapsDir, "Landmarks.dbf"), AddressFields(), rows);
  ctx.Layers.push_back(
      MakeLayer(5, 1, QString::fromUtf8("Соціальні об'єкти"), 1, "Landmarks.mds", shapes.Bounds())
          .Set("RenderType", int64_t(3))
          .Set("CharLabel", "J")
          .Set("CharFont", "Wingdings")
          .Set("CharFontSize", 14.0)
          .Set("CharFontColor", int64_t(0x00008000))
          .Set("ZoomInScale", 0.25)
          .Set("TextFieldLabel", "NAME")
          .Set("VisibleLabel", true)
          .Set("TextFont", "Arial")
          .Set("TextFontSize", 8.0)
          .Set("TextColor", int64_t(0x00400040))
          .Set("TextInBox", true)
          .Set("BrushColor", int64_t(0x00C0FFFF))
          .Set("YLabel", int64_t(-1))
          .Set("ZoomInLabelScale", 0.9)
          .Set("ListType", int64_t(4)));
}

void WriteSurvey(AtlasContext& ctx) {
  ShapeWriter shapes(ShapeType::Point);
  std::vector<std::vector<Value>> rows;
  for (const SurveyPoint& p : ctx.C.Survey) {
    shapes.AddPoint(p.At);
    rows.push_back({int64_t(rows.size()), p.Name, std::round(p.Height * 100) / 100});
  }
  SaveGeometry(ctx, shapes, "Geodesy.mds", int64_t(shapes.Count()));
  db::DbaseFile::Create(PathIn(ctx.MapsDir, "Geodesy.dbf"),
                        {MakeDbaseField("OBJECTCODE", FieldType::Integer, 10),
                         MakeDbaseField("NAME", FieldType::String, 20),
                         MakeDbaseField("HEIGHT", FieldType::Float, 8, 2)},
                        rows);
  // No symbol character: the points are drawn as circles.
  ctx.Layers.push_back(
      MakeLayer(5, 2, QString::fromUtf8("Геодезичні пункти"), 1, "Geodesy.mds", shapes.Bounds())
          .Set("CharFontSize", 6.0)
          .Set("ZoomInScale", 0.5)
          .Set("ZoomOutScale", 40.0)
          .Set("TextFieldLabel", "NAME")
          .Set("VisibleLabel", true)
          .Set("TextFont", "Courier New")
          .Set("TextFontSize", 7.0)
          .Set("TextColor", int64_t(0x00FF0000))
          .Set("TextLabelAngle", 30.0)
          .Set("XLabel", int64_t(1))
          .Set("YLabel", int64_t(-1))
          .Set("ZoomInLabelScale", 1.0));
}

// The nodes of a network by place, to find the node at a pipe's end as the topology
// calculation finds it: the nearest within 10 map units in X and in Y.
class NodeFinder {
public:
  explicit NodeFinder(const std::vector<Node>& nodes) : Nodes(nodes) {
    for (size_t n = 0; n < nodes.size(); ++n)
      Cells[Key(Cell(nodes[n].At.X), Cell(nodes[n].At.Y))].push_back(n);
  }
  int64_t NodeAt(Point p) const {
    int64_t best = -1;
    double bestDistance = 1e300;
    for (int64_t dy = -1; dy <= 1; ++dy)
      for (int64_t dx = -1; dx <= 1; ++dx) {
        const auto cell = Cells.find(Key(Cell(p.X) + dx, Cell(p.Y) + dy));
        if (cell == Cells.end()) continue;
        for (size_t n : cell->second) {
          const Point q = Nodes[n].At;
          if (std::fabs(q.X - p.X) > kReach || std::fabs(q.Y - p.Y) > kReach) continue;
          const double d = std::hypot(q.X - p.X, q.Y - p.Y);
          if (d < bestDistance) bestDistance = d, best = Nodes[n].Code;
        }
      }
    return best;
  }

private:
  static constexpr double kReach = 10;
  static int64_t Cell(double v) { return int64_t(std::floor(v / kReach)); }
  static std::pair<int64_t, int64_t> Key(int64_t x, int64_t y) { return {x, y}; }
  const std::vector<Node>& Nodes;
  std::map<std::pair<int64_t, int64_t>, std::vector<size_t>> Cells;
};

void WritePipes(AtlasContext& ctx, const std::vector<Pipe>& pipes, const QString& file, bool styled,
                const std::vector<Node>& nodes) {
  const City& c = ctx.C;
  // The topology is written with the pipes, so that the network tools work from the start.
  const NodeFinder finder(nodes);
  ShapeWriter shapes(ShapeType::PolyLine);
  QByteArray styles;
  std::vector<std::vector<Value>> rows;
  int64_t vertices = 0;
  for (const Pipe& p : pipes) {
    shapes.AddShape({p.Path});
    vertices += int64_t(p.Path.size());
    if (styled)
      AppendLineStyle(styles, p.Diameter >= 300 ? 0x00004080 : 0x00206090, p.Diameter < 200 ? 2 : 0,
                      p.Diameter / 100.0);
    rows.push_back({int64_t(rows.size()), finder.NodeAt(p.Path.front()),
                    finder.NodeAt(p.Path.back()), int64_t(p.Diameter), p.Material, int64_t(p.Year),
                    std::round(PathLength(p.Path) * 100) / 100, c.StreetByCode(p.StreetCode).Name});
  }
  SaveGeometry(ctx, shapes, file + ".mds", vertices);
  if (styled) base::WriteFileAtomically(PathIn(ctx.MapsDir, file + ".r"), styles);
  db::DbaseFile::Create(PathIn(ctx.MapsDir, file + ".dbf"),
                        {MakeDbaseField("OBJECTCODE", FieldType::Integer, 10),
                         MakeDbaseField("HUB1CODE", FieldType::Integer, 10),
                         MakeDbaseField("HUB2CODE", FieldType::Integer, 10),
                         MakeDbaseField("DIAMETER", FieldType::Integer, 6),
                         MakeDbaseField("MATERIAL", FieldType::String, 20),
                         MakeDbaseField("YEAR", FieldType::Integer, 4),
                         MakeDbaseField("LENGTH", FieldType::Float, 10, 2),
                         MakeDbaseField("STREET", FieldType::String, 60)},
                        rows);
}

std::vector<db::FieldDef> ObjectFields(bool power) {
  namespace px = db::paradox;
  std::vector<db::FieldDef> f = {px::MakeField("Category", FieldType::SmallInt),
                                 px::MakeField("Class", FieldType::Integer),
                                 px::MakeField("ObjectCode", FieldType::Integer),
                                 px::MakeField("X", FieldType::Float),
                                 px::MakeField("Y", FieldType::Float),
                                 px::MakeField("ImageIndex", FieldType::Integer),
                                 px::MakeField("NUMGROUP", FieldType::Integer),
                                 px::MakeField("NAME", FieldType::String, 80),
                                 px::MakeField("TYPE", FieldType::String, 20),
                                 px::MakeField("STREET", FieldType::String, 60),
                                 px::MakeField("NUMBER", FieldType::String, 10),
                                 px::MakeField("PHONE", FieldType::String, 20)};
  if (power) f.push_back(px::MakeField("POWER", FieldType::Float));
  return f;
}

Extent WriteObjects(AtlasContext& ctx, const std::vector<Node>& nodes, const QString& file,
                    int category, int cls) {
  const City& c = ctx.C;
  const bool pumps = file == "Pumps.db";
  std::vector<std::vector<Value>> rows;
  Extent box;
  for (const Node& n : nodes) {
    const Street& s = c.StreetByCode(n.StreetCode);
    // Every eleventh object has no image number at all (an empty field, as hand-filled tables
    // have).
    const Value image = n.Code % 11 == 0 ? Value() : Value(int64_t(n.ImageIndex));
    std::vector<Value> row = {int64_t(category),
                              int64_t(cls),
                              int64_t(n.Code),
                              n.At.X,
                              n.At.Y,
                              image,
                              int64_t(n.Group),
                              n.Name,
                              s.Type,
                              s.Name,
                              n.Number.isEmpty() ? Value() : Value(n.Number),
                              n.Phone.isEmpty() ? Value() : Value(n.Phone)};
    if (pumps) row.push_back(n.Power);
    rows.push_back(std::move(row));
    box.Add(n.At);
  }
  db::ParadoxCreateOptions options;
  options.UpdateTime = kAtlasTime;
  db::ParadoxFile::Create(PathIn(ctx.MapsDir, file), ObjectFields(pumps), 3, rows, options);
  ctx.Summary.Objects += int64_t(nodes.size());
  ctx.Note(QString("MAPS/%1: %2 objects of category %3, class %4")
               .arg(file)
               .arg(nodes.size())
               .arg(category)
               .arg(cls));
  return box;
}

LayerRow NodeLayer(int category, int cls, const QString& title, int kind, const QString& file,
                   const Extent& box, const QString& symbol, uint32_t colour) {
  return MakeLayer(category, cls, title, kind, file, box)
      .Set("CharLabel", symbol)
      .Set("CharFont", "Wingdings")
      .Set("CharFontSize", 12.0)
      .Set("CharFontColor", int64_t(colour))
      .Set("ZoomInScale", kNodeZoomIn)
      .Set("ZoomInGroupChar", 1.0)
      .Set("ZoomInIconScale", 4.0)
      .Set("TextFieldLabel", "NAME")
      .Set("VisibleLabel", true)
      .Set("TextFont", "Arial")
      .Set("TextFontSize", 7.0)
      .Set("TextColor", int64_t(colour))
      .Set("XLabel", int64_t(1))
      .Set("YLabel", int64_t(0))
      .Set("ZoomInLabelScale", 3.0)
      .Set("ListType", int64_t(3));
}

} // namespace

void WriteMaps(AtlasContext& ctx) {
  const City& c = ctx.C;
  // Parks first, so that the lake in the central park is drawn over its lawn.
  WriteAreas(ctx, c.Green, "Green", 2, QString::fromUtf8("Зелені насадження"), 0x0080D080, 6);
  WriteAreas(ctx, c.Water, "Hydro", 1, QString::fromUtf8("Водойми"), 0x00F0C080, 0);
  WriteStreets(ctx);
  WriteBuildings(ctx);
  WritePipes(ctx, c.WaterPipes, "Water", false, c.WaterWells);
  ctx.Layers.push_back(
      MakeLayer(101, 1, QString::fromUtf8("Водопровідні мережі"), 103, "Water.mds", ctx.FullExtent)
          .Set("PenColor", int64_t(0x00FF0000))
          .Set("PenWidth", 1.0)
          .Set("ZoomInScale", 0.15)
          .Set("ParamSizeField", "DIAMETER")
          .Set("ParamSizeKoef", 0.01)
          .Set("ZoomInParamScale", 0.5));
  WritePipes(ctx, c.SewerPipes, "Kanaliz", true, c.SewerWells);
  ctx.Layers.push_back(
      MakeLayer(102, 1, QString::fromUtf8("Каналізаційні мережі"), 3, "Kanaliz.mds", ctx.FullExtent)
          .Set("RenderType", int64_t(-1))
          .Set("PenColor", int64_t(0x00206090))
          .Set("PenWidth", 2.0)
          .Set("ZoomInScale", 0.15));
  WriteAddresses(ctx);
  WriteLandmarks(ctx);
  WriteSurvey(ctx);
  const Extent sewer = WriteObjects(ctx, c.SewerWells, "SewerWells.db", 100, 2);
  ctx.Layers.push_back(NodeLayer(100, 2, QString::fromUtf8("Каналізаційні колодязі"), 101,
                                 "SewerWells.db", sewer, "l", 0x00206090)
                           .Set("IsIndexed", true));
  const Extent water = WriteObjects(ctx, c.WaterWells, "WaterWells.db", 100, 1);
  ctx.Layers.push_back(NodeLayer(100, 1, QString::fromUtf8("Водопровідні колодязі"), 101,
                                 "WaterWells.db", water, "l", 0x00FF0000)
                           .Set("IsIndexed", true));
  const Extent hydrants = WriteObjects(ctx, c.Hydrants, "Hydrants.db", 100, 3);
  ctx.Layers.push_back(NodeLayer(100, 3, QString::fromUtf8("Пожежні гідранти"), 101, "Hydrants.db",
                                 hydrants, "H", 0x000000FF)
                           .Set("ZoomInScale", kHydrantZoomIn));
  const Extent pumps = WriteObjects(ctx, c.Pumps, "Pumps.db", 101, 2);
  ctx.Layers.push_back(NodeLayer(101, 2, QString::fromUtf8("Насосні станції"), 102, "Pumps.db",
                                 pumps, "R", 0x00800000)
                           .Set("ZoomInScale", 0.1)
                           .Set("ZoomInIconScale", 1.5)
                           .Set("ZoomInLabelScale", 0.8)
                           .Set("XLabel", int64_t(-1))
                           .Set("ParamSizeField", "POWER")
                           .Set("ParamSizeKoef", 0.012));
  // The street names go last: drawn over the pipes and the wells on the streets, never under.
  std::stable_partition(ctx.Layers.begin(), ctx.Layers.end(), [](const LayerRow& row) {
    return !(row.Values.at("Category") == db::Value(int64_t(7)) &&
             row.Values.at("Class") == db::Value(int64_t(5)));
  });
}

} // namespace demo
