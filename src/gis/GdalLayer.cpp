#include "GdalLayer.h"
#include "AtlasCrs.h"
#include "NetworkSources.h"
#include "RasterLayer.h"

#include "GdalErrors.h"
#include "base/PathResolver.h"
#include "base/UserRefusal.h"
#include "core/LayerFactory.h"
#include "gfx/DrawHelpers.h"
#include "layers/PointsLayer.h"
#include "layers/PolygonsLayer.h"

#include <QDir>
#include <QFileInfo>

#include <gdal.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>

namespace {

// The pick box as a polygon for GDAL's geometry tests.
OGRPolygon BoxPolygon(double X1, double Y1, double X2, double Y2) {
  OGRLinearRing ring;
  ring.addPoint(X1, Y1);
  ring.addPoint(X2, Y1);
  ring.addPoint(X2, Y2);
  ring.addPoint(X1, Y2);
  ring.closeRings();
  OGRPolygon box;
  box.addRing(&ring);
  return box;
}

using gis::LastError;
using gis::QuietErrors;

// Every line of a shape: the lines of lines, the rings of areas, in their order.
void ForEachLine(const OGRGeometry& shape, const std::function<void(const OGRSimpleCurve&)>& f) {
  const OGRwkbGeometryType type = wkbFlatten(shape.getGeometryType());
  if (type == wkbLineString || type == wkbLinearRing) return f(*shape.toSimpleCurve());
  if (type == wkbPolygon) {
    for (const OGRLinearRing* ring : *shape.toPolygon())
      f(*ring);
    return;
  }
  if (OGR_GT_IsSubClassOf(type, wkbGeometryCollection))
    for (const OGRGeometry* part : *shape.toGeometryCollection())
      ForEachLine(*part, f);
}

// Every point of a shape (a point, or the points of a multipoint).
void ForEachPoint(const OGRGeometry& shape, const std::function<void(const OGRPoint&)>& f) {
  const OGRwkbGeometryType type = wkbFlatten(shape.getGeometryType());
  if (type == wkbPoint) return f(*shape.toPoint());
  if (OGR_GT_IsSubClassOf(type, wkbGeometryCollection))
    for (const OGRGeometry* part : *shape.toGeometryCollection())
      ForEachPoint(*part, f);
}

void Pixels(const OGRSimpleCurve& line, const TWorld& World, std::vector<QPoint>& out,
            bool dropRepeats) {
  out.clear();
  out.reserve(size_t(line.getNumPoints()));
  for (int k = 0; k < line.getNumPoints(); ++k) {
    const QPoint pixel(World.WorldToScreenX(line.getX(k)), World.WorldToScreenY(line.getY(k)));
    if (!dropRepeats || out.empty() || out.back() != pixel) out.push_back(pixel);
  }
}

// The middle of a shape's box: a point itself, where a line or an area is found and labelled.
TWorldPoint CentreOf(const OGRGeometry& shape) {
  OGREnvelope e;
  shape.getEnvelope(&e);
  return {(e.MinX + e.MaxX) / 2, (e.MinY + e.MaxY) / 2};
}

bool GeometryFits(OGRwkbGeometryType type, int geometry) {
  const OGRwkbGeometryType flat = wkbFlatten(type);
  if (flat == wkbUnknown || flat == wkbGeometryCollection) return true;
  switch (geometry) {
  case 1:
    return flat == wkbPoint || flat == wkbMultiPoint;
  case 3:
    return flat == wkbLineString || flat == wkbMultiLineString;
  default:
    return flat == wkbPolygon || flat == wkbMultiPolygon;
  }
}

// What a layer of the kind's geometry (1 points, 3 lines, 5 areas) holds, in words.
QString ObjectsOfKind(int geometry) {
  return QString::fromUtf8(geometry == 1 ? "точки" : geometry == 3 ? "лінії" : "полігони");
}

} // namespace

void CheckNetworkAllowed(const QString& source, const QString& path, const QString& mapsDir) {
  gis::TNetworkSources::GuardGdal(mapsDir);
  const QString address = gis::TNetworkSources::AddressOf(source, path);
  if (address.isEmpty() || gis::TNetworkSources::MayOpen(mapsDir, address)) return;
  // Refused by the user's own answer for the atlas: said with the layer, and where to change it.
  if (gis::TNetworkSources::AnswerFor(mapsDir) == gis::TNetworkSources::Answer::Refused)
    throw base::UserRefusal(
        QString::fromUtf8("джерело в мережі (%1) не відкрито: мережеві джерела цього атласу не "
                          "дозволено (змінити: Установки → Мережеві джерела атласу ...; у "
                          "командах — --allow-network-sources)")
            .arg(address)
            .toStdString());
  throw TGdalSourceError(
      QString::fromUtf8("джерело в мережі (%1) не відкривається без дозволу для цього атласу "
                        "(питання у вікні програми, відповідь у %2; у командах — "
                        "--allow-network-sources)")
          .arg(address, gis::TNetworkSources::SettingsPath())
          .toStdString());
}

void TGdalLayer::Closer::operator()(GDALDataset* d) const {
  GDALClose(d);
}

TGdalLayer::TGdalLayer() = default;
TGdalLayer::~TGdalLayer() = default;

bool TGdalLayer::SplitSourceName(const QString& FileName, QString& Source, QString& Layer) {
  const qsizetype at = FileName.indexOf("|layername=", 0, Qt::CaseInsensitive);
  if (at <= 0) return false;
  Source = FileName.left(at).trimmed();
  Layer = FileName.mid(at + qsizetype(strlen("|layername="))).trimmed();
  return !Source.isEmpty() && !Layer.isEmpty();
}

TGdalSourceError TGdalLayer::Failure(const QString& what) const {
  // The layer's name and its FileName (source and layer) are said by whoever reports the
  // failure, as for every layer.
  return TGdalSourceError(what.toStdString());
}

void TGdalLayer::LoadFromDataSet(db::Table& DataSet, const QString& Maps) {
  TLinesLayer::LoadFromDataSet(DataSet, Maps);
  MapsDir = Maps;
  Geometry = PrimitiveType % 10;
  CharLabel = DataSet.FieldByName("CharLabel").AsString();
  CharFont = DataSet.FieldByName("CharFont").AsString();
  CharFontSize = DataSet.FieldByName("CharFontSize").AsFloat();
  CharFontColor = int32_t(DataSet.FieldByName("CharFontColor").AsInteger());
  CharLabelScale = DataSet.FieldByName("CharLabelScale").AsBoolean();
  if (!SplitSourceName(FileName, Source, LayerName))
    throw Failure(
        QString::fromUtf8("FileName має називати джерело і шар: «джерело|layername=шар»"));
  OGRLayer& layer = Opened();
  if (!GeometryFits(layer.GetGeomType(), Geometry))
    throw Failure(QString::fromUtf8("шар %1 містить %2, а рядок таблиці шарів — %3")
                      .arg(LayerName, QString::fromUtf8(OGRGeometryTypeToName(layer.GetGeomType())),
                           ObjectsOfKind(Geometry)));
  // The extent of the layer's objects, as a geometry file's header gives it, in the atlas's
  // coordinates.
  OGREnvelope e;
  QuietErrors quiet;
  if (layer.GetExtent(&e, TRUE) != OGRERR_NONE) return;
  if (SourceToAtlas) e = ExtentInAtlas(layer, e);
  X0 = e.MinX;
  Y0 = e.MinY;
  Xm = e.MaxX;
  Ym = e.MaxY;
}

void TGdalLayer::SetUpCoordinateSystem(OGRLayer& layer) {
  try {
    gis::TToAtlas ways = gis::TAtlasCrs::ToAtlasFrom(
        layer.GetSpatialRef(), base::ResolvePath(QFileInfo(MapsDir).path(), "BASE"));
    SourceToAtlas = std::move(ways.Forward);
    AtlasToSource = std::move(ways.Back);
  } catch (const std::runtime_error& e) {
    SourceToAtlas.reset();
    AtlasToSource.reset();
    throw Failure(QString::fromUtf8(e.what()));
  }
}

OGREnvelope TGdalLayer::ExtentInAtlas(OGRLayer& layer, OGREnvelope e) {
  // The source's box in the atlas's system is a turned and bent box: its own box is wider than
  // the objects' (by a twentieth in a city two degrees from its zone's meridian) and would change
  // the whole map's scale. A source of a size read at once gives its objects' own box; a larger
  // one the box of its box.
  constexpr GIntBig kReadWhole = 200000;
  const GIntBig count = layer.GetFeatureCount(FALSE);
  if (count >= 0 && count <= kReadWhole) {
    OGREnvelope all;
    layer.SetSpatialFilter(nullptr);
    layer.ResetReading();
    for (std::unique_ptr<OGRFeature> f = NextFeature(layer); f; f = NextFeature(layer))
      if (const OGRGeometry* shape = f->GetGeometryRef(); shape && !shape->IsEmpty()) {
        OGREnvelope one;
        shape->getEnvelope(&one);
        all.Merge(one);
      }
    ThrowIfFailed("об'єкти не прочитано");
    if (all.IsInit()) return all;
  }
  if (!SourceToAtlas->TransformBounds(e.MinX, e.MinY, e.MaxX, e.MaxY, &e.MinX, &e.MinY, &e.MaxX,
                                      &e.MaxY, 21))
    throw Failure(QString::fromUtf8("межі шару не переводяться до системи атласу: ") + LastError());
  return e;
}

bool TGdalLayer::ToAtlas(OGRGeometry& shape) const {
  return !SourceToAtlas || shape.transform(SourceToAtlas.get()) == OGRERR_NONE;
}

bool TGdalLayer::FilterTo(OGRLayer& layer, double X1, double Y1, double X2, double Y2) {
  if (AtlasToSource && !AtlasToSource->TransformBounds(X1, Y1, X2, Y2, &X1, &Y1, &X2, &Y2, 21)) {
    // A box beyond the source system's area of use: nothing of the source lies in it.
    CPLErrorReset();
    return false;
  }
  layer.SetSpatialFilterRect(X1, Y1, X2, Y2);
  layer.ResetReading();
  return true;
}

std::unique_ptr<OGRFeature> TGdalLayer::NextFeature(OGRLayer& layer) {
  for (std::unique_ptr<OGRFeature> f(layer.GetNextFeature()); f; f.reset(layer.GetNextFeature())) {
    OGRGeometry* shape = f->GetGeometryRef();
    if (!shape || ToAtlas(*shape)) return f;
    CPLErrorReset(); // a shape without a place in the atlas is left out, not a failed read
  }
  return nullptr;
}

void TGdalLayer::SaveToDataSet(db::Table& DataSet) {
  TLinesLayer::SaveToDataSet(DataSet);
  DataSet.Edit();
  DataSet.FieldByName("CharLabel").SetAsString(CharLabel.left(1));
  DataSet.FieldByName("CharFont").SetAsString(CharFont);
  DataSet.FieldByName("CharFontSize").SetAsFloat(CharFontSize);
  DataSet.FieldByName("CharFontColor").SetAsInteger(CharFontColor);
  DataSet.FieldByName("CharLabelScale").SetAsBoolean(CharLabelScale);
  DataSet.Post();
}

OGRLayer& TGdalLayer::Opened() {
  if (Data && Layer) return *Layer;
  QuietErrors quiet;
  GDALAllRegister();
  // A file is found in the maps folder as every file of the atlas; a connection string is taken
  // as it is.
  const bool connection = Source.indexOf(':') > 1;
  const QString path =
      connection || QDir::isAbsolutePath(Source) ? Source : base::ResolvePath(MapsDir, Source);
  CheckNetworkAllowed(Source, path, MapsDir);
  Data.reset(static_cast<GDALDataset*>(GDALOpenEx(
      path.toUtf8().constData(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
  if (!Data) throw Failure(QString::fromUtf8("джерело не відкривається: ") + LastError());
  Layer = Data->GetLayerByName(LayerName.toUtf8().constData());
  if (!Layer) {
    Data.reset();
    throw Failure(QString::fromUtf8("у джерелі немає шару ") + LayerName);
  }
  // Each time it is opened: a file copied over may be in another system than before.
  try {
    SetUpCoordinateSystem(*Layer);
  } catch (...) {
    Layer = nullptr;
    Data.reset();
    throw;
  }
  return *Layer;
}

void TGdalLayer::ThrowIfFailed(const char* what) {
  if (CPLGetLastErrorType() < CE_Failure) return;
  const QString message = LastError();
  // A connection that broke (a server stopped) is made again at the next drawing.
  Layer = nullptr;
  Data.reset();
  throw Failure(QString::fromUtf8(what) + ": " + message);
}

void TGdalLayer::Draw(gfx::Canvas& Canvas, TWorld& World) {
  if (!ScaleAllowsDrawing(World.Scale)) return;
  OGRLayer& layer = Opened();
  QuietErrors quiet;
  const TExtent& v = World.VisibleExtent;
  // Areas are looked for a little beyond the view, as the polygons layer does, for their labels.
  const double margin = Geometry == 5 ? 10 : 0;
  if (!FilterTo(layer, v.XMin - margin, v.YMin - margin, v.XMax + margin, v.YMax + margin)) return;
  Canvas.Brush.Color = uint32_t(BrushColor);
  Canvas.Brush.Style = BrushStyle & 0xFF;
  Canvas.Pen.Style = PenStyle & 0xFF;
  Canvas.Pen.Color = uint32_t(PenColor);
  Canvas.Pen.Width = PixelWidth(PenWidth, World);
  Canvas.Pen.Mode = gfx::PenMode::Copy;
  const bool labels = Geometry != 3 && ScaleAllowsLabels(World.Scale);
  const int labelField = labels ? layer.GetLayerDefn()->GetFieldIndex(TextFieldLabel.toUtf8()) : -1;
  std::vector<std::pair<std::unique_ptr<OGRGeometry>, QString>> areaLabels;
  for (std::unique_ptr<OGRFeature> f = NextFeature(layer); f; f = NextFeature(layer)) {
    const OGRGeometry* shape = f->GetGeometryRef();
    if (!shape) continue;
    DrawShape(Canvas, World, *shape);
    if (labelField < 0) continue;
    const QString text = QString::fromUtf8(f->GetFieldAsString(labelField));
    if (Geometry == 1)
      DrawLabel(Canvas, World, *shape, text);
    else
      areaLabels.emplace_back(shape->clone(), text);
  }
  ThrowIfFailed("об'єкти не прочитано");
  // The areas' labels over all the areas, as the polygons layer writes them.
  for (const auto& [shape, text] : areaLabels)
    DrawLabel(Canvas, World, *shape, text);
}

int TGdalLayer::SymbolSize(const TWorld& World) const {
  return Rounded(CharLabelScale ? CharFontSize * World.Scale : CharFontSize);
}

void TGdalLayer::DrawShape(gfx::Canvas& Canvas, const TWorld& World, const OGRGeometry& shape) {
  std::vector<QPoint> pixels;
  if (Geometry == 1) {
    const int size = SymbolSize(World);
    ForEachPoint(shape, [&](const OGRPoint& p) {
      const int sx = World.WorldToScreenX(p.getX()), sy = World.WorldToScreenY(p.getY());
      if (!CharLabel.isEmpty() && CharLabel[0] != QChar(0)) {
        Canvas.Font.CharSet = 2;
        Canvas.Font.Bold = Canvas.Font.Italic = Canvas.Font.Underline = Canvas.Font.StrikeOut =
            false;
        Canvas.Font.Name = CharFont;
        Canvas.Font.Color = uint32_t(CharFontColor);
        Canvas.Font.Size = size;
        Canvas.Brush.Style = 1;
        Canvas.TextHAlign = gfx::HAlign::Left;
        Canvas.TextVAlign = gfx::VAlign::Top;
        Canvas.TextOut(sx - size / 2, sy - size / 2, CharLabel);
      } else {
        Canvas.Ellipse(sx - size / 2, sy - size / 2, sx + size / 2, sy + size / 2);
      }
    });
    return;
  }
  if (Geometry == 3) {
    ForEachLine(shape, [&](const OGRSimpleCurve& line) {
      Pixels(line, World, pixels, true);
      Canvas.Polyline(pixels);
    });
    return;
  }
  // Every ring is drawn as an area of its own, after its shadow, as the polygons layer draws the
  // parts of a record.
  ForEachLine(shape, [&](const OGRSimpleCurve& ring) {
    Pixels(ring, World, pixels, false);
    TPolygonsLayer::DrawRing(Canvas, pixels, Shadow);
  });
}

void TGdalLayer::DrawLabel(gfx::Canvas& Canvas, const TWorld& World, const OGRGeometry& shape,
                           const QString& text) {
  Canvas.Font.CharSet = TextCharSet;
  Canvas.Brush.Style = TextInBox ? 0 : 1; // the box keeps the last fill colour
  Canvas.Font.Size = LabelFontSize(World);
  Canvas.Font.Name = TextFont;
  Canvas.Font.Color = uint32_t(TextColor);
  if (Geometry == 1) {
    Canvas.Font.Bold = TextFontBold;
    Canvas.Font.Italic = TextFontItalic;
    Canvas.Font.Underline = TextFontUnderline;
    Canvas.Font.StrikeOut = TextFontStrikeOut;
  } else {
    // As the polygons layer: the style flags are added to those the font has.
    Canvas.Font.Bold = Canvas.Font.Bold || TextFontBold;
    Canvas.Font.Italic = Canvas.Font.Italic || TextFontItalic;
    Canvas.Font.Underline = Canvas.Font.Underline || TextFontUnderline;
    Canvas.Font.StrikeOut = Canvas.Font.StrikeOut || TextFontStrikeOut;
  }
  // A point at itself, an area at the middle of its box.
  const TWorldPoint at = CentreOf(shape);
  TextOutAnchored(Canvas, World.WorldToScreenX(at.X), World.WorldToScreenY(at.Y),
                  Rounded(TextLabelAngle * 10), text);
}

std::unique_ptr<OGRFeature> TGdalLayer::Feature(int RecordIndex) {
  if (RecordIndex < 0) return nullptr;
  OGRLayer& layer = Opened();
  QuietErrors quiet;
  std::unique_ptr<OGRFeature> f(layer.GetFeature(GIntBig(RecordIndex)));
  if (!f) ThrowIfFailed("об'єкт не прочитано");
  if (OGRGeometry* shape = f ? f->GetGeometryRef() : nullptr; shape && !ToAtlas(*shape))
    f->SetGeometryDirectly(nullptr); // no place in the atlas: shown by its fields alone
  return f;
}

int TGdalLayer::FindObject(gfx::Canvas& Canvas, TWorld& World, double X, double Y,
                           bool IgnoreSelectable, bool Flash) {
  if (!Visibled || (!Selected && !IgnoreSelectable)) return -1;
  // The pick box: 10 pixels about a point, 5 about a line, the point itself in an area.
  const int reach = Geometry == 1 ? 10 : Geometry == 3 ? 5 : 0;
  auto [x1, y1, x2, y2] = World.PickBox(X, Y, reach);
  if (Geometry == 5) x1 = x2 = X, y1 = y2 = Y;
  OGRLayer& layer = Opened();
  QuietErrors quiet;
  if (!FilterTo(layer, x1, y1, x2, y2)) return -1;
  const OGRPolygon box = BoxPolygon(x1, y1, x2, y2);
  int found = -1;
  double best = std::numeric_limits<double>::infinity();
  for (std::unique_ptr<OGRFeature> f = NextFeature(layer); f; f = NextFeature(layer)) {
    const OGRGeometry* shape = f->GetGeometryRef();
    if (!shape) continue;
    // An object's number is its feature id; one beyond the numbers objects have cannot be
    // picked (nor shown, located or identified by number).
    if (f->GetFID() < 0 || f->GetFID() > std::numeric_limits<int>::max()) continue;
    const int fid = int(f->GetFID());
    if (Geometry == 1) {
      // The nearest point in the box; on a tie the first stays.
      // The box's bindings are copied in by name: clang 14 cannot capture structured bindings.
      ForEachPoint(*shape, [&, x1 = x1, y1 = y1, x2 = x2, y2 = y2](const OGRPoint& p) {
        if (!TWorld::PointInRect(x1, y1, x2, y2, p.getX(), p.getY())) return;
        const double d = TWorld::Distance(X, Y, p.getX(), p.getY());
        if (d >= best) return;
        best = d;
        found = fid;
        FoundX = p.getX();
        FoundY = p.getY();
      });
      continue;
    }
    bool hit = false;
    if (Geometry == 3) {
      hit = shape->Intersects(&box);
    } else {
      // Inside any ring, as a record's parts are tested one by one.
      ForEachLine(*shape, [&](const OGRSimpleCurve& ring) {
        std::vector<TWorldPoint> points;
        for (int k = 0; k < ring.getNumPoints(); ++k)
          points.push_back({ring.getX(k), ring.getY(k)});
        hit = hit || TWorld::PointInPolygon(points, int(points.size()), X, Y);
      });
    }
    if (hit && (found < 0 || fid < found)) {
      found = fid;
      const TWorldPoint centre = CentreOf(*shape);
      FoundX = Geometry == 5 ? centre.X : X;
      FoundY = Geometry == 5 ? centre.Y : Y;
    }
  }
  ThrowIfFailed("об'єкти не прочитано");
  if (Flash && found >= 0) FlashObject(found, Canvas, World);
  return found;
}

std::vector<TCustomLayer::TFound> TGdalLayer::FindObjects(gfx::Canvas& Canvas, TWorld& World,
                                                          double X, double Y) {
  if (Geometry != 3) return TCustomLayer::FindObjects(Canvas, World, X, Y);
  if (!Visibled) return {};
  const auto [x1, y1, x2, y2] = World.PickBox(X, Y, 5);
  OGRLayer& layer = Opened();
  QuietErrors quiet;
  if (!FilterTo(layer, x1, y1, x2, y2)) return {};
  const OGRPolygon box = BoxPolygon(x1, y1, x2, y2);
  std::vector<TFound> found;
  for (std::unique_ptr<OGRFeature> f = NextFeature(layer); f; f = NextFeature(layer)) {
    const OGRGeometry* shape = f->GetGeometryRef();
    if (!shape || f->GetFID() < 0 || f->GetFID() > std::numeric_limits<int>::max()) continue;
    if (!shape->Intersects(&box)) continue;
    // Measured as the geometry files' lines are, so that both list a node's lines alike.
    double nearest = std::numeric_limits<double>::infinity();
    ForEachLine(*shape, [&](const OGRSimpleCurve& line) {
      for (int k = 0; k + 1 < line.getNumPoints(); ++k)
        nearest =
            std::min(nearest, TWorld::DistanceToSegment(X, Y, {line.getX(k), line.getY(k)},
                                                        {line.getX(k + 1), line.getY(k + 1)}));
    });
    found.push_back(TFound{int(f->GetFID()), X, Y, nearest});
  }
  ThrowIfFailed("об'єкти не прочитано");
  SortNearestFirst(found);
  return found;
}

void TGdalLayer::FlashObject(int RecordIndex, gfx::Canvas& Canvas, TWorld& World) {
  const std::unique_ptr<OGRFeature> f = Feature(RecordIndex);
  const OGRGeometry* shape = f ? f->GetGeometryRef() : nullptr;
  if (!shape) return;
  Canvas.Pen.Color = 255;
  Canvas.Pen.Width = 3;
  Canvas.Pen.Style = 0;
  Canvas.Pen.Mode = gfx::PenMode::NotXor;
  Canvas.Brush.Style = 1;
  std::vector<std::vector<QPoint>> lines;
  std::vector<QPoint> circles;
  if (Geometry == 1)
    ForEachPoint(*shape, [&](const OGRPoint& p) {
      circles.emplace_back(World.WorldToScreenX(p.getX()), World.WorldToScreenY(p.getY()));
    });
  else
    ForEachLine(*shape, [&](const OGRSimpleCurve& line) {
      lines.emplace_back();
      Pixels(line, World, lines.back(), false);
    });
  for (int pass = 0; pass < Canvas.BlinkPasses; ++pass) {
    for (const auto& line : lines)
      Canvas.Polyline(line);
    for (const QPoint& c : circles)
      Canvas.Ellipse(c.x() - 10, c.y() - 10, c.x() + 10, c.y() + 10);
    Canvas.Flush();
    if (Canvas.BlinkPasses > 1) gfx::Delay(300);
  }
}

void TGdalLayer::GetObjectPoint(int RecordIndex, double& X, double& Y) {
  const std::unique_ptr<OGRFeature> f = Feature(RecordIndex);
  const OGRGeometry* shape = f ? f->GetGeometryRef() : nullptr;
  if (!shape) return;
  const TWorldPoint centre = CentreOf(*shape);
  X = centre.X;
  Y = centre.Y;
}

bool TGdalLayer::LocateObject(int RecordIndex, TWorld& World) {
  const std::unique_ptr<OGRFeature> f = Feature(RecordIndex);
  const OGRGeometry* shape = f ? f->GetGeometryRef() : nullptr;
  if (!shape) return false;
  const TWorldPoint centre = CentreOf(*shape);
  FoundX = centre.X;
  FoundY = centre.Y;
  // A point: the view moves to it as to any point. A line or an area: kept as it is when the
  // object lies 20 pixels inside the view, else the view becomes the object's box.
  if (Geometry == 1) {
    TPointsLayer::BringIntoView(World, FoundX, FoundY);
    return true;
  }
  const double m = 20 / World.Scale;
  const TExtent& v = World.VisibleExtent;
  if (TWorld::PointInRect(v.XMin + m, v.YMin + m, v.XMax - m, v.YMax - m, FoundX, FoundY))
    return true;
  OGREnvelope e;
  shape->getEnvelope(&e);
  World.ViewExtent = {e.MinX, e.MinY, e.MaxX, e.MaxY};
  return true;
}

bool TGdalLayer::ObjectFields(int RecordIndex, std::vector<std::pair<QString, QString>>& Fields) {
  const std::unique_ptr<OGRFeature> f = Feature(RecordIndex);
  if (!f) return false;
  for (int k = 0; k < f->GetFieldCount(); ++k)
    Fields.emplace_back(QString::fromUtf8(f->GetFieldDefnRef(k)->GetNameRef()),
                        f->IsFieldSetAndNotNull(k) ? QString::fromUtf8(f->GetFieldAsString(k))
                                                   : QString());
  return true;
}

void RegisterGdalLayerKinds() {
  for (const int kind : {11, 13, 15})
    TLayerFactory::Instance().Register(kind, [] { return std::make_unique<TGdalLayer>(); });
  RegisterRasterLayerKind();
}
