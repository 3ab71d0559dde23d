#include "DBPointsLayer.h"

#include "db/Table.h"

#include "db/Error.h"
#include "gfx/DrawHelpers.h"

#include <QFileInfo>
#include <algorithm>
#include <limits>

// The images table (bitmap by ImageIndex) and the groups table (symbol by Category, Class and
// GroupNum) of one drawing, opened in the directory of the layers table. A key is looked up once
// per drawing; later objects with the same key reuse what was found.
class TDBPointsLayer::DrawLookups {
public:
  struct GroupSymbol {
    QString Font, Code;
  };

  DrawLookups(const QString& databaseName, int16_t category, int32_t cls)
      : Category(category), Class(cls) {
    Images.SetDatabaseName(databaseName);
    Images.SetTableName("IMAGES.DB");
    Images.Open();
    Images.SetIndexFieldNames("ImageIndex");
    ImageField = Images.FieldByName("Image").FieldNo();
    Groups.SetDatabaseName(databaseName);
    Groups.SetTableName("GroupReest.db");
    Groups.Open();
    Groups.SetIndexFieldNames("Category;Class;GroupNum");
    FontField = Groups.FieldByName("SymbolFont").FieldNo();
    CodeField = Groups.FieldByName("Symbol_Code").FieldNo();
  }

  // The bitmap of an image number; null when the images table has no such row. A row whose
  // picture is empty or unreadable gives an empty image (nothing is drawn for it).
  const QImage* Bitmap(int64_t imageIndex) {
    auto it = Bitmaps.find(imageIndex);
    if (it == Bitmaps.end()) {
      std::optional<QImage> image;
      if (Images.FindKey({imageIndex})) {
        const QByteArray bytes = Images.Fields()[ImageField].AsBlob();
        // Copied as it is, whatever its alpha, as a plain block copy does.
        image = QImage::fromData(bytes).convertToFormat(QImage::Format_RGB32);
      }
      it = Bitmaps.emplace(imageIndex, std::move(image)).first;
    }
    return it->second ? &*it->second : nullptr;
  }

  // The group row of a group number of the layer's class; null when there is none.
  const GroupSymbol* Group(int64_t groupNumber) {
    auto it = Symbols.find(groupNumber);
    if (it == Symbols.end()) {
      std::optional<GroupSymbol> symbol;
      if (Groups.FindKey({int64_t(Category), int64_t(Class), groupNumber})) {
        symbol = GroupSymbol{Groups.Fields()[FontField].AsString(),
                             Groups.Fields()[CodeField].AsString()};
      }
      it = Symbols.emplace(groupNumber, std::move(symbol)).first;
    }
    return it->second ? &*it->second : nullptr;
  }

private:
  int16_t Category;
  int32_t Class;
  db::Table Images, Groups;
  size_t ImageField = 0, FontField = 0, CodeField = 0;
  std::map<int64_t, std::optional<QImage>> Bitmaps;
  std::map<int64_t, std::optional<GroupSymbol>> Symbols;
};

TDBPointsLayer::TDBPointsLayer() = default;

TDBPointsLayer::~TDBPointsLayer() {
  ObjectsTable.Close();
}

void TDBPointsLayer::LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) {
  TPointsLayer::LoadFromDataSet(DataSet, MapsDir);
  const QFileInfo path(FullPath);
  ObjectsTable.Close();
  ObjectsTable.SetDatabaseName(path.path());
  ObjectsTable.SetTableName(path.fileName());
  // Only the header is read now (a missing or broken table still stops the layer here); the
  // rows when the layer is first drawn, picked or asked about.
  db::OpenTableFile(FullPath);
}

db::Table& TDBPointsLayer::Objects() const {
  if (!ObjectsTable.Active() && !ObjectsTable.TableName().isEmpty()) ObjectsTable.Open();
  return ObjectsTable;
}

namespace {
// The kind of derived file the rows are kept as (its layout's version in the name).
const QString kKeptRowsKind = "points-rows-1";
} // namespace

std::span<const TDBPointsLayer::ObjectRow> TDBPointsLayer::Rows() {
  if (RowCacheChanges == Objects().ChangeCount()) return RowCache;
  // Kept rows are used only while the file is as it was when the table listed its rows.
  const QByteArray stamp = Objects().RowsStamp();
  const bool keepable =
      !stamp.isEmpty() && stamp == base::DerivedCache::Stamp(Objects().FilePath());
  if (!keepable ||
      !TakeKeptRows(base::DerivedCache::Load(Objects().FilePath(), kKeptRowsKind, stamp))) {
    ReadRows();
    if (keepable) base::DerivedCache::Store(Objects().FilePath(), kKeptRowsKind, stamp, KeptRows());
  }
  RowCacheChanges = Objects().ChangeCount();
  return RowCache;
}

void TDBPointsLayer::ReadRows() {
  const size_t x = Objects().FieldByName("X").FieldNo();
  const size_t y = Objects().FieldByName("Y").FieldNo();
  const size_t image = Objects().FieldByName("ImageIndex").FieldNo();
  const size_t group = Objects().FieldByName("NUMGROUP").FieldNo();
  const db::Field* code = Objects().FindField("ObjectCode");
  std::vector<size_t> fields = {x, y, image, group};
  if (code) fields.push_back(code->FieldNo());
  KeptRowsContent = {};
  OwnRows.assign(size_t(Objects().RecordCount()), ObjectRow{});
  Objects().ReadColumns(fields, [&](size_t row, const std::vector<db::Value>& values) {
    ObjectRow& r = OwnRows[row];
    r.X = db::ValueToFloat(values[0]);
    r.Y = db::ValueToFloat(values[1]);
    r.ImageIndex = db::ValueToInteger(values[2]);
    r.Group = int32_t(db::ValueToInteger(values[3]));
    r.Code = code ? int32_t(db::ValueToInteger(values[4])) : -1;
  });
  RowCache = OwnRows;
  RowGrid.Build(OwnRows.size(), [&](size_t i) { return std::pair(OwnRows[i].X, OwnRows[i].Y); });
}

QByteArray TDBPointsLayer::KeptRows() const {
  const uint64_t header[2] = {sizeof(ObjectRow), RowCache.size()};
  QByteArray content(reinterpret_cast<const char*>(header), sizeof header);
  base::AppendArray(content, RowCache);
  RowGrid.AppendTo(content);
  return content;
}

bool TDBPointsLayer::TakeKeptRows(base::DerivedContent kept) {
  std::span<const uint64_t> header;
  std::span<const ObjectRow> rows;
  size_t offset = 0;
  if (!kept || !base::ViewArray(kept.Bytes, offset, 2, header) || header[0] != sizeof(ObjectRow) ||
      header[1] != uint64_t(Objects().RecordCount()) ||
      !base::ViewArray(kept.Bytes, offset, header[1], rows) ||
      !RowGrid.View(kept.Bytes, offset, rows.size()))
    return false;
  OwnRows.clear();
  OwnRows.shrink_to_fit();
  RowCache = rows;
  KeptRowsContent = std::move(kept);
  return true;
}

std::vector<int> TDBPointsLayer::RowsIn(double XMin, double YMin, double XMax, double YMax) {
  Rows();
  return RowGrid.Candidates(XMin, YMin, XMax, YMax);
}

int TDBPointsLayer::SymbolSize(const TWorld& World) const {
  return Rounded(CharLabelScale ? CharFontSize * World.Scale : CharFontSize);
}

int TDBPointsLayer::DrawnSymbolSize(int BaseSize, int) const {
  return BaseSize;
}

void TDBPointsLayer::PrepareDrawing() {}

bool TDBPointsLayer::FindObjectRow(int ObjectNumber) {
  return Objects().FindKey({int64_t(Category), int64_t(Class), int64_t(ObjectNumber)});
}

bool TDBPointsLayer::DrawsInParts(const TWorld& World) {
  if (!ScaleAllowsDrawing(World.Scale)) return false;
  // Runs pay for their surfaces whatever they draw: only the objects in view count.
  const TExtent& v = World.VisibleExtent;
  if (int64_t(RowsIn(v.XMin, v.YMin, v.XMax, v.YMax).size()) < ShareableObjects) return false;
  // A circle takes the canvas's brush, which a symbol or a label drawn before it changes.
  const bool circles = CharLabel.isEmpty() || CharLabel[0] == QChar(0);
  const bool groups = ZoomInGroupChar != 0 && ZoomInGroupChar <= World.Scale;
  return !circles || (!groups && !ScaleAllowsLabels(World.Scale));
}

void TDBPointsLayer::PrepareToDraw(const TWorld& World) {
  if (!ScaleAllowsDrawing(World.Scale)) return;
  PrepareDrawing();
  Rows();
}

void TDBPointsLayer::Draw(gfx::Canvas& Canvas, TWorld& World) {
  if (!ScaleAllowsDrawing(World.Scale)) return;
  // A layer drawn in parts was prepared once, before the parts began.
  if (!World.Part.On) PrepareDrawing();
  DrawLookups lookups(DatabaseName, Category, Class);
  const std::span<const ObjectRow> rows = Rows();
  // A label field that is not named, or names no field, draws no labels.
  std::optional<size_t> labelField;
  if (ScaleAllowsLabels(World.Scale))
    if (const db::Field* field = Objects().FindField(TextFieldLabel)) labelField = field->FieldNo();
  const int size = SymbolSize(World);
  const TExtent& v = World.VisibleExtent;
  const bool logos = ZoomInIconScale != 0 && ZoomInIconScale <= World.Scale;
  const bool groups = ZoomInGroupChar != 0 && ZoomInGroupChar <= World.Scale;
  const auto [first, last] = World.Part.Range(int64_t(rows.size()));
  const std::vector<int> inView = RowsIn(v.XMin, v.YMin, v.XMax, v.YMax);
  for (auto it = std::lower_bound(inView.begin(), inView.end(), int(first));
       it != inView.end() && *it < int(last); ++it) {
    const int row = *it;
    const ObjectRow& o = rows[size_t(row)];
    if (!TWorld::PointInRect(v.XMin, v.YMin, v.XMax, v.YMax, o.X, o.Y)) continue;
    World.Part.LastObject = row;
    const int sx = World.WorldToScreenX(o.X), sy = World.WorldToScreenY(o.Y);
    Canvas.Pen.Mode = gfx::PenMode::Copy;
    // The picture by scale: the logo, else the group's symbol, else the layer's symbol.
    const QImage* bitmap = logos && o.ImageIndex >= 0 ? lookups.Bitmap(o.ImageIndex) : nullptr;
    const DrawLookups::GroupSymbol* group = nullptr;
    if (!bitmap && groups) {
      group = lookups.Group(o.Group);
      if (group && group->Code.isEmpty()) group = nullptr;
    }
    const int m = DrawnSymbolSize(size, row);
    if (bitmap) {
      const int w = bitmap->width(), h = bitmap->height();
      Canvas.CopyRect(QRect(sx - w / 2, sy - h / 2, w, h), *bitmap, bitmap->rect());
    } else if (group) {
      DrawSymbol(Canvas, sx, sy, m, group->Font.isEmpty() ? CharFont : group->Font, group->Code);
    } else if (!CharLabel.isEmpty() && CharLabel[0] != QChar(0)) {
      DrawSymbol(Canvas, sx, sy, m, CharFont, CharLabel);
    } else {
      Canvas.Ellipse(sx - m / 2, sy - m / 2, sx + m / 2, sy + m / 2);
    }
    if (labelField)
      DrawLabel(Canvas, World, sx, sy, db::ValueToString(Objects().ValueAt(row, *labelField)));
  }
}

void TDBPointsLayer::DrawSymbol(gfx::Canvas& Canvas, int sx, int sy, int Size, const QString& Font,
                                const QString& Text) const {
  Canvas.Font.Name = Font;
  Canvas.Font.CharSet = 2;
  Canvas.Font.Bold = Canvas.Font.Italic = Canvas.Font.Underline = Canvas.Font.StrikeOut = false;
  Canvas.Font.Color = uint32_t(CharFontColor);
  Canvas.Font.Size = Size;
  Canvas.Brush.Style = 1;
  Canvas.TextHAlign = gfx::HAlign::Center;
  Canvas.TextVAlign = gfx::VAlign::Top;
  Canvas.TextOut(sx, sy - Size / 2, Text);
}

TExtent TDBPointsLayer::PickBox(gfx::Canvas& Canvas, const TWorld& World, double X, double Y) {
  // The pick box is as wide and high around the point as a "W" of the label font at the
  // symbol's size.
  Canvas.Font.Name = TextFont;
  Canvas.Font.Size = SymbolSize(World);
  Canvas.Font.CharSet = 2;
  Canvas.Font.Bold = Canvas.Font.Italic = Canvas.Font.Underline = Canvas.Font.StrikeOut = false;
  const int w = Canvas.TextWidth("W"), h = Canvas.TextHeight("W");
  const int sx = World.WorldToScreenX(X), sy = World.WorldToScreenY(Y);
  double x1 = World.ScreenToWorldX(sx - w), x2 = World.ScreenToWorldX(sx + w);
  double y1 = World.ScreenToWorldY(sy - h), y2 = World.ScreenToWorldY(sy + h);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  return {x1, y1, x2, y2};
}

std::vector<TCustomLayer::TFound> TDBPointsLayer::FindObjects(gfx::Canvas& Canvas, TWorld& World,
                                                              double X, double Y) {
  if (!Visibled) return {};
  const TExtent box = PickBox(Canvas, World, X, Y);
  const std::span<const ObjectRow> rows = Rows();
  std::vector<TFound> found;
  for (const int row : RowsIn(box.XMin, box.YMin, box.XMax, box.YMax)) {
    const ObjectRow& o = rows[size_t(row)];
    if (TWorld::PointInRect(box.XMin, box.YMin, box.XMax, box.YMax, o.X, o.Y))
      found.push_back(TFound{row, o.X, o.Y, TWorld::Distance(X, Y, o.X, o.Y)});
  }
  SortNearestFirst(found);
  return found;
}

int TDBPointsLayer::FindObject(gfx::Canvas& Canvas, TWorld& World, double X, double Y,
                               bool IgnoreSelectable, bool Flash) {
  if (!Visibled || (!Selected && !IgnoreSelectable)) return -1;
  const auto [x1, y1, x2, y2] = PickBox(Canvas, World, X, Y);
  const std::span<const ObjectRow> rows = Rows();
  int found = -1;
  double best = std::numeric_limits<double>::infinity();
  for (const int row : RowsIn(x1, y1, x2, y2)) {
    const ObjectRow& o = rows[size_t(row)];
    if (!TWorld::PointInRect(x1, y1, x2, y2, o.X, o.Y)) continue;
    const double d = TWorld::Distance(X, Y, o.X, o.Y);
    if (d < best) { // strictly nearer: on a tie the earlier row stays
      best = d;
      found = row;
      FoundX = o.X;
      FoundY = o.Y;
    }
  }
  if (Flash) FlashObject(found, Canvas, World);
  return found;
}

void TDBPointsLayer::FlashObject(int RecordIndex, gfx::Canvas& Canvas, TWorld& World) {
  const std::span<const ObjectRow> rows = Rows();
  if (RecordIndex < 0 || RecordIndex >= int(rows.size())) return;
  const ObjectRow& o = rows[size_t(RecordIndex)];
  FlashCircle(Canvas, World.WorldToScreenX(o.X), World.WorldToScreenY(o.Y));
}

bool TDBPointsLayer::LocateObject(int ObjectNumber, TWorld& World) {
  if (!FindObjectRow(ObjectNumber)) return false;
  FoundX = Objects().FieldByName("X").AsFloat();
  FoundY = Objects().FieldByName("Y").AsFloat();
  BringIntoView(World, FoundX, FoundY);
  return true;
}

bool TDBPointsLayer::LocateRecord(int RecordIndex, TWorld& World) {
  const int code = GetObjectCode(RecordIndex);
  return code >= 0 && LocateObject(code, World);
}

void TDBPointsLayer::GetObjectPoint(int ObjectNumber, double& X, double& Y) {
  if (!FindObjectRow(ObjectNumber)) return;
  X = Objects().FieldByName("X").AsFloat();
  Y = Objects().FieldByName("Y").AsFloat();
}

bool TDBPointsLayer::ShapeContains(const TSelectionShape& Shape, double X, double Y) {
  switch (Shape.Kind) {
  case 1:
    return TWorld::Distance(Shape.CentreX, Shape.CentreY, X, Y) <= Shape.Radius;
  case 2:
    return Shape.XMin <= X && X <= Shape.XMax && Shape.YMin <= Y && Y <= Shape.YMax;
  case 3: {
    if (Shape.Points.empty()) return false;
    double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    TWorld::GetBounds(Shape.Points, int(Shape.Points.size()), xmin, ymin, xmax, ymax);
    if (!TWorld::PointInRect(xmin, ymin, xmax, ymax, X, Y)) return false;
    // The even-odd walk needs the closing edge: a ring given open is closed here.
    std::vector<TWorldPoint> ring = Shape.Points;
    const TWorldPoint first = ring.front(), last = ring.back();
    if (first.X != last.X || first.Y != last.Y) ring.push_back(first);
    return TWorld::PointInPolygon(ring, int(ring.size()), X, Y);
  }
  default:
    return false;
  }
}

void TDBPointsLayer::SelectObjectsInPolygon(const std::vector<TSelectionShape>& Shapes, TWorld&,
                                            const std::vector<int32_t>& Groups,
                                            std::vector<TSelectionRecord>& Result) {
  const std::span<const ObjectRow> rows = Rows();
  for (int row = 0; row < int(rows.size()); ++row) {
    const ObjectRow& o = rows[size_t(row)];
    if (std::find(Groups.begin(), Groups.end(), o.Group) == Groups.end()) continue;
    const bool inside = std::any_of(Shapes.begin(), Shapes.end(), [&](const TSelectionShape& s) {
      return ShapeContains(s, o.X, o.Y);
    });
    if (inside) Result.push_back({Category, Class, 1, {o.Group}, row});
  }
}

int TDBPointsLayer::FindNearestObject(TWorld&, const std::vector<int32_t>& Groups, double X,
                                      double Y, int& Extra) {
  Extra = 0;
  const std::span<const ObjectRow> rows = Rows();
  int found = -1;
  double best = std::numeric_limits<double>::infinity();
  for (int row = 0; row < int(rows.size()); ++row) {
    const ObjectRow& o = rows[size_t(row)];
    if (std::find(Groups.begin(), Groups.end(), o.Group) == Groups.end()) continue;
    const double d = TWorld::Distance(X, Y, o.X, o.Y);
    if (d < best) {
      best = d;
      found = row;
    }
  }
  return found;
}

void TDBPointsLayer::SetObjectImage(int ObjectNumber, int ImageIndex) {
  if (!FindObjectRow(ObjectNumber)) return;
  Objects().Edit();
  try {
    Objects().FieldByName("ImageIndex").SetAsInteger(ImageIndex);
    Objects().Post();
  } catch (...) {
    Objects().Cancel(); // the row stays as it is in the file
    throw;
  }
}

int TDBPointsLayer::GetObjectImage(int ObjectNumber) {
  if (!FindObjectRow(ObjectNumber)) return -1;
  const db::Field& image = Objects().FieldByName("ImageIndex");
  return image.IsNull() ? -1 : int(image.AsInteger());
}

TObjectInfo TDBPointsLayer::GetObjectInfo(int ObjectNumber) {
  TObjectInfo info;
  if (!FindObjectRow(ObjectNumber)) return info;
  info.X = Objects().FieldByName("X").AsFloat();
  info.Y = Objects().FieldByName("Y").AsFloat();
  info.Name = Objects().FieldByName("NAME").AsString();
  info.Type = Objects().FieldByName("TYPE").AsString();
  info.Street = Objects().FieldByName("STREET").AsString();
  info.Number = Objects().FieldByName("NUMBER").AsString();
  info.Phone = Objects().FieldByName("PHONE").AsString();
  return info;
}

int TDBPointsLayer::GetObjectCode(int RecordIndex) {
  Objects().FieldByName("ObjectCode"); // a table without the field raises, naming it
  const std::span<const ObjectRow> rows = Rows();
  if (RecordIndex < 0 || RecordIndex >= int(rows.size())) return -1;
  return rows[size_t(RecordIndex)].Code;
}

int TDBPointsLayer::IndexOfCode(int ObjectCode) {
  Objects().FieldByName("ObjectCode");
  const std::span<const ObjectRow> rows = Rows();
  for (int row = 0; row < int(rows.size()); ++row)
    if (rows[size_t(row)].Code == ObjectCode) return row;
  return -1;
}
