// Layers from another GDAL source (here a GeoPackage beside the atlas's files; the PostGIS test
// runs the same layers against a real server): drawn with their row's pen and brush, picked and
// identified by feature id, refused with a reason when their row names no such source, layer or
// geometry, and a source lost after the map loaded fails that layer alone and is read again
// once it is back.

#include "gis/GdalLayer.h"
#include "gis/GeoPackageExport.h"
#include "gis/NetworkSources.h"
#include "gis/RasterLayer.h"

#include "AtlasWriter.h"

#include "base/NetworkGuard.h"
#include "core/Identify.h"
#include "core/MapContent.h"
#include "db/Query.h"
#include "layers/LayerKinds.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <gdal.h>
#include <gdal_utils.h>
#include <gtest/gtest.h>
#include <ogr_geometry.h>
#include <ogrsf_frmts.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct GuiEnvironment : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "gdal_layer_tests";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) App = new QGuiApplication(argc, argv);
  }
  void TearDown() override { delete App; }
  QGuiApplication* App = nullptr;
};
const auto* const gui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

// Beyond the demo city's east edge, where nothing else of the atlas lies.
constexpr double kX = 330000, kY = 5591000;
constexpr unsigned kMainColour = 0x000000FF, kLotFill = 0x0000FF00, kLotPen = 0x00FF0000;

// A GeoPackage of two mains (a street's name each) and a lot, in the atlas's coordinates.
void WriteSource(const QString& path) {
  GDALAllRegister();
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
  GDALDataset* data = driver->Create(path.toUtf8().constData(), 0, 0, 0, GDT_Unknown, nullptr);
  ASSERT_NE(data, nullptr);
  OGRLayer* mains = data->CreateLayer("mains", nullptr, wkbLineString, nullptr);
  OGRFieldDefn name("STREET", OFTString);
  mains->CreateField(&name);
  for (int k = 0; k < 2; ++k) {
    OGRFeature f(mains->GetLayerDefn());
    OGRLineString line;
    line.addPoint(kX, kY + 100 * k);
    line.addPoint(kX + 200, kY + 100 * k);
    f.SetGeometry(&line);
    f.SetField("STREET", k == 0 ? "вул. Хрещатик" : "вул. Січових Стрільців");
    ASSERT_EQ(mains->CreateFeature(&f), OGRERR_NONE);
  }
  OGRLayer* lots = data->CreateLayer("lots", nullptr, wkbPolygon, nullptr);
  OGRFeature lot(lots->GetLayerDefn());
  OGRPolygon square;
  OGRLinearRing ring;
  ring.addPoint(kX + 300, kY);
  ring.addPoint(kX + 400, kY);
  ring.addPoint(kX + 400, kY + 100);
  ring.addPoint(kX + 300, kY + 100);
  ring.closeRings();
  square.addRing(&ring);
  lot.SetGeometry(&square);
  ASSERT_EQ(lots->CreateFeature(&lot), OGRERR_NONE);
  GDALClose(data);
}

struct Atlas {
  QTemporaryDir Dir;
  TMapContent Map;
  Atlas() {
    demo::WriteAtlas(Dir.path(), 1, 3);
    WriteSource(Dir.path() + "/MAPS/Extra.gpkg");
    RegisterLayerKinds();
    RegisterGdalLayerKinds();
    // The water bodies become the served mains, the green areas the served lots; the file's
    // name in another letter case, as atlases written on Windows have them.
    Update("PrimitiveType = 13, FileName = 'extra.GPKG|layername=mains', PenColor = " +
               QString::number(kMainColour) + ", PenWidth = 3, PenStyle = 0",
           4, 1);
    Update("PrimitiveType = 15, FileName = 'Extra.gpkg|layername=lots', BrushStyle = 0, "
           "BrushColor = " +
               QString::number(kLotFill) + ", PenColor = " + QString::number(kLotPen) +
               ", Shadow = 0",
           4, 2);
  }
  void Update(const QString& set, int category, int cls) {
    db::Query q;
    q.SetDatabaseName(Dir.path() + "/BASE");
    q.SQL << QString("UPDATE classreest SET %1 WHERE Category = %2 AND Class = %3")
                 .arg(set)
                 .arg(category)
                 .arg(cls);
    ASSERT_EQ(q.ExecSQL(), 1);
  }
  QString Load() {
    return Map.LoadMap(Dir.path() + "/BASE", Dir.path() + "/MAPS", Dir.path(), "", "");
  }
  TGdalLayer* Served(int category, int cls) {
    return dynamic_cast<TGdalLayer*>(Map.LayerOf(category, cls));
  }
  // The served objects' corner of the map at 1 pixel per metre; the failures reported.
  QImage Draw(QStringList& failures) {
    QImage image(600, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
    gfx::Canvas canvas(image);
    Map.World.SetView(600, 300, kX - 50, kY - 100, kX + 550, kY + 200);
    Map.World.ComputeScale(canvas.WidthMM());
    Map.DrawLayers(canvas, [&](int, const QString& reason) { failures << reason; });
    return image;
  }
  // One layer alone, in a view of the box; lines in black, `width` pixels wide.
  QImage DrawAlone(TCustomLayer* layer, const TExtent& box, QSize size = {600, 300},
                   int width = 1) {
    for (const auto& l : Map.Layers)
      l->Visibled = l.get() == layer;
    if (auto* lines = dynamic_cast<TGdalLayer*>(layer)) {
      lines->PenColor = 0;
      lines->PenWidth = width;
      lines->PenScale = false; // pixels
    }
    layer->ZoomInScale = layer->ZoomOutScale = 0;
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    gfx::Canvas canvas(image);
    Map.World.SetView(size.width(), size.height(), box.XMin, box.YMin, box.XMax, box.YMax);
    Map.World.ComputeScale(canvas.WidthMM());
    Map.DrawLayers(canvas,
                   [](int, const QString& reason) { ADD_FAILURE() << reason.toStdString(); });
    return image;
  }
  // How many of `drawn`'s pixels darker than `dark` have no ink of `expected` within a pixel,
  // and how many there are; the view's edge (two pixels, where a line's end beyond the view is
  // cut) left out.
  static std::pair<int, int> Astray(const QImage& drawn, const QImage& expected, int dark) {
    int ink = 0, astray = 0;
    for (int py = 2; py < drawn.height() - 2; ++py)
      for (int px = 2; px < drawn.width() - 2; ++px) {
        if (qGray(drawn.pixel(px, py)) >= dark) continue;
        ++ink;
        bool near = false;
        for (int dy = -1; dy <= 1 && !near; ++dy)
          for (int dx = -1; dx <= 1 && !near; ++dx)
            near = expected.rect().contains(px + dx, py + dy) &&
                   expected.pixel(px + dx, py + dy) != qRgb(255, 255, 255);
        astray += near ? 0 : 1;
      }
    return {astray, ink};
  }
  QPoint Pixel(double x, double y) const {
    return {Map.World.WorldToScreenX(x), Map.World.WorldToScreenY(y)};
  }
};

struct Closer {
  void operator()(GDALDataset* d) const { GDALClose(d); }
};
using Dataset = std::unique_ptr<GDALDataset, Closer>;

Dataset Open(const QString& path) {
  return Dataset(static_cast<GDALDataset*>(
      GDALOpenEx(path.toUtf8().constData(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr)));
}

QRgb Rgb(unsigned windowsColour) {
  return qRgb(windowsColour & 0xFF, (windowsColour >> 8) & 0xFF, (windowsColour >> 16) & 0xFF);
}

} // namespace

TEST(GdalLayer, DrawsPicksAndIdentifiesItsSourcesObjects) {
  Atlas atlas;
  EXPECT_EQ(atlas.Load(), "");
  TGdalLayer* mains = atlas.Served(4, 1);
  TGdalLayer* lots = atlas.Served(4, 2);
  ASSERT_NE(mains, nullptr);
  ASSERT_NE(lots, nullptr);
  // Its extent counts in the atlas's: the map reaches the served objects.
  EXPECT_GE(atlas.Map.World.FullExtent.XMax, kX + 400);
  QStringList failures;
  const QImage image = atlas.Draw(failures);
  EXPECT_TRUE(failures.isEmpty()) << failures.join("; ").toStdString();
  EXPECT_EQ(image.pixel(atlas.Pixel(kX + 100, kY)), Rgb(kMainColour));
  EXPECT_EQ(image.pixel(atlas.Pixel(kX + 100, kY + 100)), Rgb(kMainColour));
  EXPECT_EQ(image.pixel(atlas.Pixel(kX + 350, kY + 50)), Rgb(kLotFill));
  EXPECT_EQ(image.pixel(atlas.Pixel(kX + 300, kY + 50)), Rgb(kLotPen));
  EXPECT_EQ(image.pixel(atlas.Pixel(kX + 100, kY + 50)), qRgb(255, 255, 255)) << "between";
  // Picks: a main by its feature id (ids start at 1 in a GeoPackage), the lot from inside.
  QImage scratch(10, 10, QImage::Format_RGB32);
  gfx::Canvas canvas(scratch);
  EXPECT_EQ(mains->FindObject(canvas, atlas.Map.World, kX + 50, kY + 101, true, false), 2);
  EXPECT_EQ(mains->FindObject(canvas, atlas.Map.World, kX + 50, kY + 50, true, false), -1);
  EXPECT_EQ(lots->FindObject(canvas, atlas.Map.World, kX + 320, kY + 10, true, false), 1);
  // Identify lists the main with its fields from the source.
  const std::vector<TIdentifiedObject> found =
      ObjectsAt(atlas.Map.Layers, canvas, atlas.Map.World, kX + 50, kY);
  ASSERT_EQ(found.size(), 1u) << IdentifiedText(found).join("\n").toStdString();
  EXPECT_EQ(found[0].Layer, mains);
  EXPECT_EQ(found[0].RecordIndex, 1);
  ASSERT_EQ(found[0].Fields.size(), 1u);
  EXPECT_EQ(found[0].Fields[0].Name, "STREET");
  EXPECT_EQ(found[0].Fields[0].Value, QString::fromUtf8("вул. Хрещатик"));
  // Located: the view moves to an object out of it.
  atlas.Map.World.SetView(600, 300, 0, 0, 600, 300);
  EXPECT_TRUE(lots->LocateObject(1, atlas.Map.World));
  EXPECT_DOUBLE_EQ(atlas.Map.World.ViewExtent.XMin, kX + 300);
  EXPECT_FALSE(lots->LocateObject(7, atlas.Map.World)) << "no such feature";
}

// A row naming what is not there: the layer is left out with the reason, the rest loads.
TEST(GdalLayer, ARowNamingNoSuchSourceLayerOrGeometryIsRefusedWithItsReason) {
  const struct {
    const char* FileName;
    int Kind;
    const char* Said;
  } cases[] = {
      {"Extra.gpkg", 13, "layername"},
      {"Nowhere.gpkg|layername=mains", 13, "не відкривається"},
      {"Extra.gpkg|layername=pipes", 13, "немає шару pipes"},
      {"Extra.gpkg|layername=lots", 13, "містить Polygon"},
  };
  for (const auto& c : cases) {
    Atlas atlas;
    atlas.Update(QString("PrimitiveType = %1, FileName = '%2'").arg(c.Kind).arg(c.FileName), 4, 1);
    const QString said = atlas.Load();
    EXPECT_TRUE(said.contains(QString::fromUtf8(c.Said))) << said.toStdString();
    EXPECT_TRUE(said.contains(c.FileName)) << said.toStdString();
    EXPECT_EQ(atlas.Map.LayerOf(4, 1), nullptr);
    EXPECT_NE(atlas.Map.LayerOf(4, 2), nullptr) << "the other layers load";
  }
}

// A source in WGS 84 degrees on an atlas without a system, or in another system than the
// atlas's: refused with the reason, and the whole map keeps its extent (degrees are no metres).
TEST(GdalLayer, ASourceInAnotherCoordinateSystemIsRefusedAndTheMapKeepsItsExtent) {
  Atlas atlas;
  ASSERT_TRUE(QFile::remove(atlas.Dir.path() + "/BASE/ATLAS.INI")); // an atlas without a system
  ASSERT_EQ(atlas.Load(), "");
  const TExtent full = atlas.Map.World.FullExtent;
  GDALDriver* json = GetGDALDriverManager()->GetDriverByName("GeoJSON");
  GDALDataset* data = json->Create((atlas.Dir.path() + "/MAPS/gps.geojson").toUtf8().constData(), 0,
                                   0, 0, GDT_Unknown, nullptr);
  ASSERT_NE(data, nullptr);
  OGRSpatialReference wgs84;
  wgs84.importFromEPSG(4326);
  OGRLayer* track = data->CreateLayer("gps", &wgs84, wkbLineString, nullptr);
  OGRFeature f(track->GetLayerDefn());
  OGRLineString line;
  line.addPoint(30.52, 50.45);
  line.addPoint(30.53, 50.46);
  f.SetGeometry(&line);
  ASSERT_EQ(track->CreateFeature(&f), OGRERR_NONE);
  GDALClose(data);
  atlas.Update("PrimitiveType = 13, FileName = 'gps.geojson|layername=gps'", 4, 1);
  atlas.Map.CloseMap();
  atlas.Map.DestroyLayers();
  QString said = atlas.Load();
  EXPECT_TRUE(said.contains(QString::fromUtf8("атлас не має системи координат; шар у EPSG:4326")))
      << said.toStdString();
  EXPECT_EQ(atlas.Map.LayerOf(4, 1), nullptr);
  EXPECT_DOUBLE_EQ(atlas.Map.World.FullExtent.XMin, full.XMin);
  EXPECT_DOUBLE_EQ(atlas.Map.World.FullExtent.YMax, full.YMax);
  // An atlas in UTM 36N: the layer's system and the atlas's both named.
  QFile ini(atlas.Dir.path() + "/BASE/ATLAS.INI");
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[Atlas]\r\nCRS=EPSG:32636\r\n");
  ini.close();
  atlas.Map.CloseMap();
  atlas.Map.DestroyLayers();
  EXPECT_EQ(atlas.Load(), "") << "transformed to the atlas's";
  EXPECT_NE(atlas.Map.LayerOf(4, 1), nullptr);
  EXPECT_NE(atlas.Map.LayerOf(4, 2), nullptr) << "a source without a system is the atlas's own";
}

// Our own water pipes written in WGS 84 (GeoJSON) and in Web Mercator (GeoPackage) lie on the
// same pixels as the atlas's, drawn at the whole map and at about 1 : 1,000; picked alike; and
// the whole map keeps its scale.
TEST(GdalLayer, ASourceInAnotherSystemIsDrawnAndPickedInTheAtlasPlace) {
  Atlas atlas;
  ASSERT_EQ(atlas.Load(), "");
  const QString own = atlas.Dir.path() + "/MAPS/own.gpkg";
  ASSERT_TRUE(
      ExportGeoPackage(atlas.Map, own, {"EPSG:32636", {}, nullptr, true}).Problems.isEmpty());
  atlas.Update("PrimitiveType = 13, FileName = 'own.gpkg|layername=water'", 4, 2);
  atlas.Update("PrimitiveType = 13, FileName = 'own.gpkg|layername=water'", 4, 1);
  atlas.Map.CloseMap();
  atlas.Map.DestroyLayers();
  ASSERT_EQ(atlas.Load(), "");
  const TExtent full = atlas.Map.World.FullExtent;
  const auto translate = [&](const QString& to, const char* format, const char* crs) {
    const Dataset from = Open(own);
    GDALDatasetH handle = from.get();
    char* argv[] = {const_cast<char*>("-f"),     const_cast<char*>(format),
                    const_cast<char*>("-t_srs"), const_cast<char*>(crs),
                    const_cast<char*>("water"),  nullptr};
    GDALVectorTranslateOptions* options = GDALVectorTranslateOptionsNew(argv, nullptr);
    GDALClose(GDALVectorTranslate(to.toUtf8().constData(), nullptr, 1, &handle, options, nullptr));
    GDALVectorTranslateOptionsFree(options);
  };
  translate(atlas.Dir.path() + "/MAPS/wgs84.geojson", "GeoJSON", "EPSG:4326");
  translate(atlas.Dir.path() + "/MAPS/mercator.gpkg", "GPKG", "EPSG:3857");
  for (const char* other : {"wgs84.geojson", "mercator.gpkg"}) {
    SCOPED_TRACE(other);
    atlas.Update("PrimitiveType = 13, FileName = 'own.gpkg|layername=water'", 4, 1);
    atlas.Update(QString("PrimitiveType = 13, FileName = '%1|layername=water'").arg(other), 4, 2);
    atlas.Map.CloseMap();
    atlas.Map.DestroyLayers();
    ASSERT_EQ(atlas.Load(), "");
    const TExtent whole = atlas.Map.World.FullExtent;
    EXPECT_NEAR(whole.XMax - whole.XMin, full.XMax - full.XMin, (full.XMax - full.XMin) / 100);
    EXPECT_NEAR(whole.YMax - whole.YMin, full.YMax - full.YMin, (full.YMax - full.YMin) / 100);
    TGdalLayer* reference = atlas.Served(4, 1);
    TGdalLayer* moved = atlas.Served(4, 2);
    ASSERT_TRUE(reference && moved);
    OGRLineString first;
    {
      const Dataset from = Open(own);
      std::unique_ptr<OGRFeature> f(from->GetLayerByName("water")->GetFeature(5));
      first = *f->GetGeometryRef()->toMultiLineString()->getGeometryRef(0);
    }
    const double x = first.getX(0), y = first.getY(0);
    for (const TExtent view : {whole, TExtent{x - 80, y - 40, x + 80, y + 40}}) {
      const QImage expected = atlas.DrawAlone(reference, view);
      const auto [astray, ink] = Atlas::Astray(atlas.DrawAlone(moved, view), expected, 255);
      EXPECT_GT(ink, 100);
      EXPECT_EQ(astray, 0) << "of " << ink << " drawn pixels";
    }
    // Picked at the atlas's coordinates of a vertex: the same pipe as the atlas's own copy (its
    // number may differ: a GeoJSON counts from 0).
    QImage scratch(10, 10, QImage::Format_RGB32);
    gfx::Canvas canvas(scratch);
    reference->Visibled = moved->Visibled = true;
    const int mine = reference->FindObject(canvas, atlas.Map.World, x, y, true, false);
    const int theirs = moved->FindObject(canvas, atlas.Map.World, x, y, true, false);
    ASSERT_TRUE(mine >= 0 && theirs >= 0);
    double cx = 0, cy = 0, rx = 0, ry = 0;
    moved->GetObjectPoint(theirs, cx, cy);
    reference->GetObjectPoint(mine, rx, ry);
    EXPECT_NEAR(cx, rx, 0.5);
    EXPECT_NEAR(cy, ry, 0.5);
  }
}

// The source breaks after the map loaded (a server stopped, a file overwritten under it): that
// layer fails with its reason and the rest of the map draws; whole again, it draws again.
TEST(GdalLayer, ASourceBrokenAfterLoadingFailsItsLayerAloneUntilItIsWhole) {
  Atlas atlas;
  ASSERT_EQ(atlas.Load(), "");
  QFile source(atlas.Dir.path() + "/MAPS/Extra.gpkg");
  ASSERT_TRUE(source.open(QIODevice::ReadWrite));
  const QByteArray whole = source.readAll();
  // Emptied in place: the layers' open handles now read nothing.
  ASSERT_TRUE(source.resize(0));
  source.flush();
  QStringList failures;
  QImage image = atlas.Draw(failures);
  ASSERT_EQ(failures.size(), 2) << failures.join("; ").toStdString();
  EXPECT_NE(image.pixel(atlas.Pixel(kX + 350, kY + 50)), Rgb(kLotFill));
  EXPECT_FALSE(atlas.Map.FailureOf(4, 2).isEmpty());
  EXPECT_TRUE(atlas.Map.FailureOf(2, 1).isEmpty()) << "the buildings drew";
  // Whole again: read again at the next drawing.
  ASSERT_TRUE(source.seek(0));
  ASSERT_EQ(source.write(whole), whole.size());
  source.close();
  failures.clear();
  image = atlas.Draw(failures);
  EXPECT_TRUE(failures.isEmpty()) << failures.join("; ").toStdString();
  EXPECT_EQ(image.pixel(atlas.Pixel(kX + 350, kY + 50)), Rgb(kLotFill));
}

// Exported, a served layer is its source's objects and fields, named by the source's layer; a
// source that cannot be reached then is left out with its reason and the rest is written.
TEST(GdalLayer, IsExportedAsItsSourcesObjectsAndAnUnreachableOneIsLeftOut) {
  Atlas atlas;
  ASSERT_EQ(atlas.Load(), "");
  const QString path = atlas.Dir.filePath("out.gpkg");
  TGeoPackageReport report = ExportGeoPackage(atlas.Map, path);
  EXPECT_TRUE(report.Problems.isEmpty()) << report.Problems.join("; ").toStdString();
  EXPECT_TRUE(report.Tables.contains("mains: 2")) << report.Tables.join(", ").toStdString();
  EXPECT_TRUE(report.Tables.contains("lots: 1"));
  {
    GDALDataset* data = static_cast<GDALDataset*>(
        GDALOpenEx(path.toUtf8().constData(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr));
    ASSERT_NE(data, nullptr);
    OGRLayer* mains = data->GetLayerByName("mains");
    ASSERT_NE(mains, nullptr);
    EXPECT_EQ(wkbFlatten(mains->GetGeomType()), wkbMultiLineString);
    std::unique_ptr<OGRFeature> first(mains->GetNextFeature());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(QString::fromUtf8(first->GetFieldAsString("STREET")),
              QString::fromUtf8("вул. Хрещатик"));
    GDALClose(data);
  }
  // The source emptied: those two layers are said, the others written.
  QFile source(atlas.Dir.path() + "/MAPS/Extra.gpkg");
  ASSERT_TRUE(source.open(QIODevice::ReadWrite));
  ASSERT_TRUE(source.resize(0));
  source.close();
  report = ExportGeoPackage(atlas.Map, path);
  EXPECT_EQ(report.Problems.size(), 2) << report.Problems.join("; ").toStdString();
  EXPECT_TRUE(report.Tables.contains(QString("buildings: %1").arg(666)) ||
              !report.Tables.filter("buildings:").isEmpty());
}

// Whether a source reaches the network, told from its name (and a description file's text).
TEST(NetworkSources, AreToldFromTheirNamesAndDescriptions) {
  using gis::TNetworkSources;
  EXPECT_EQ(TNetworkSources::AddressOf("/vsicurl/https://tiles.example.org/a.gpkg", ""),
            "tiles.example.org");
  EXPECT_EQ(TNetworkSources::AddressOf("WFS:http://gis.city.ua:8080/ows", ""), "gis.city.ua:8080");
  EXPECT_FALSE(TNetworkSources::AddressOf("/vsis3/bucket/roads.gpkg", "").isEmpty());
  EXPECT_EQ(TNetworkSources::AddressOf("PG:host=db.vodokanal.ua dbname=city", ""),
            "db.vodokanal.ua");
  for (const char* local : {"PG:dbname=city", "PG:host=/run/postgresql dbname=city",
                            "PG:host=localhost port=5433 dbname=city", "PG:service=atlas",
                            "PG:postgresql:///city?host=/run/postgresql", "Extra.gpkg"})
    EXPECT_EQ(TNetworkSources::AddressOf(local, ""), "") << local;
  // A WMS description in the maps folder names its server inside.
  QTemporaryDir dir;
  QFile wms(dir.filePath("ortho.xml"));
  ASSERT_TRUE(wms.open(QIODevice::WriteOnly));
  wms.write("<GDAL_WMS><Service name=\"TMS\"><ServerUrl>https://ortho.example.org/${z}/${x}/${y}"
            "</ServerUrl></Service></GDAL_WMS>");
  wms.close();
  EXPECT_EQ(TNetworkSources::AddressOf("ortho.xml", wms.fileName()), "ortho.example.org");
  // Ways around the reading: "127." that is a name, character references, an address after the
  // first 64 KiB, a description naming another description that reaches a database.
  EXPECT_EQ(TNetworkSources::AddressOf("PG:host=127.example.invalid dbname=x", ""),
            "127.example.invalid");
  const auto write = [&](const char* name, const QByteArray& text) {
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
    return f.fileName();
  };
  const QString coded =
      write("coded.vrt", "<VRTDataset><VRTRasterBand><SimpleSource><SourceFilename>"
                         "&#47;vsicurl&#47;http&#58;//10.1.2.3/a.tif"
                         "</SourceFilename></SimpleSource></VRTRasterBand></VRTDataset>");
  EXPECT_FALSE(TNetworkSources::AddressOf("coded.vrt", coded).isEmpty());
  const QString late = write("late.vrt", "<VRTDataset><!--" + QByteArray(70000, ' ') +
                                             "--><SourceFilename>/vsicurl/http://10.1.2.3/a.tif"
                                             "</SourceFilename></VRTDataset>");
  EXPECT_EQ(TNetworkSources::AddressOf("late.vrt", late), "10.1.2.3");
  write("inner.vrt",
        "<OGRVRTDataSource><OGRVRTLayer name=\"x\"><SrcDataSource>"
        "PG:host=10.255.255.1 dbname=x</SrcDataSource></OGRVRTLayer></OGRVRTDataSource>");
  const QString outer =
      write("outer.vrt", "<OGRVRTDataSource><OGRVRTLayer name=\"y\"><SrcDataSource>"
                         "inner.vrt</SrcDataSource></OGRVRTLayer></OGRVRTDataSource>");
  EXPECT_EQ(TNetworkSources::AddressOf("outer.vrt", outer), "10.255.255.1");
}

namespace {

// A server on the loopback that never answers: a connection to it is seen in its queue.
// Returns the socket (or -1), its address in `address`.
int LoopbackListener(sockaddr_in& address) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 4) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    return -1;
  return listener;
}

} // namespace

// A row naming a source on the network: nothing is contacted until the user allows it for the
// atlas (asked once), and then it is.
TEST(NetworkSources, AreOpenedOnlyOnceTheUserAllowedThemForTheAtlas) {
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  CPLSetConfigOption("GDAL_HTTP_TIMEOUT", "1");
  sockaddr_in address{};
  const int listener = LoopbackListener(address);
  ASSERT_GE(listener, 0);
  const QString host = QString("127.0.0.1:%1").arg(ntohs(address.sin_port));
  const auto contacted = [&] {
    pollfd p{listener, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
  };
  Atlas atlas;
  atlas.Update("FileName = '/vsicurl/http://" + host + "/mains.gpkg|layername=mains'", 4, 1);
  int asked = 0;
  gis::TNetworkSources::SetQuestion([&](const QString&, const QString& where) {
    ++asked;
    EXPECT_EQ(where, host);
    return false;
  });
  for (int load = 0; load < 2; ++load) {
    const QString said = atlas.Load();
    EXPECT_TRUE(said.contains(QString::fromUtf8("джерело в мережі (") + host))
        << said.toStdString();
    EXPECT_EQ(atlas.Map.LayerOf(4, 1), nullptr);
    EXPECT_NE(atlas.Map.LayerOf(4, 2), nullptr) << "the rest of the map loads";
    atlas.Map.CloseMap();
    atlas.Map.DestroyLayers();
  }
  EXPECT_EQ(asked, 1) << "asked once, the answer kept";
  EXPECT_FALSE(contacted());
  EXPECT_TRUE(QFile::exists(gis::TNetworkSources::SettingsPath()));
  gis::TNetworkSources::Remember(atlas.Dir.path() + "/MAPS", true);
  atlas.Load();
  EXPECT_TRUE(contacted());
  gis::TNetworkSources::SetQuestion(nullptr);
  close(listener);
}

// Where a source actually goes decides, not its text: for an atlas not allowed, a database that
// GDAL is told to open (no reading of a description comes between) is refused at the socket, a
// name is not even looked up, and this machine's loopback stays reachable.
TEST(NetworkSources, AConnectionOffThisMachineIsRefusedAtTheSocket) {
  QTemporaryDir config, atlas;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  const QString maps = atlas.path() + "/MAPS";
  gis::TNetworkSources::Remember(maps, false);
  gis::TNetworkSources::GuardGdal(maps);
  GDALAllRegister();
  for (const char* source : {"PG:host=10.255.255.1 dbname=x connect_timeout=30",
                             "PG:host=127.example.invalid dbname=x"}) {
    const uint64_t before = base::NetworkGuard::Refusals();
    CPLPushErrorHandler(CPLQuietErrorHandler);
    GDALDatasetH opened = GDALOpenEx(source, GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
    CPLPopErrorHandler();
    EXPECT_EQ(opened, nullptr) << source;
    EXPECT_GT(base::NetworkGuard::Refusals(), before) << source;
  }
  sockaddr_in address{};
  const int listener = LoopbackListener(address);
  ASSERT_GE(listener, 0);
  const int client = socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(client);
  close(listener);
  gis::TNetworkSources::Remember(maps, true);
  gis::TNetworkSources::GuardGdal(maps);
  EXPECT_FALSE(base::NetworkGuard::Refused());
}

// An orthophoto made from our own picture of the water pipes (placed in UTM 36N, warped to Web
// Mercator, with overviews) drawn as a raster layer alone: its lines lie within a pixel of the
// pipes drawn from their vectors, at its own resolution and at half of it.
TEST(RasterLayer, AnOrthophotoInAnotherSystemLiesUnderItsVectors) {
  Atlas atlas;
  ASSERT_EQ(atlas.Load(), "");
  const QString maps = atlas.Dir.path() + "/MAPS/";
  ASSERT_TRUE(ExportGeoPackage(atlas.Map, maps + "own.gpkg", {"EPSG:32636", {}, nullptr, true})
                  .Problems.isEmpty());
  atlas.Update("PrimitiveType = 13, FileName = 'own.gpkg|layername=water'", 4, 1);
  atlas.Map.CloseMap();
  atlas.Map.DestroyLayers();
  ASSERT_EQ(atlas.Load(), "");
  double x = 0, y = 0;
  atlas.Served(4, 1)->GetObjectPoint(5, x, y);
  const TExtent box{x - 300, y - 200, x + 300, y + 200};
  // The picture at half a metre a pixel, placed by its pixels' edges.
  const QImage picture = atlas.DrawAlone(atlas.Served(4, 1), box, {1200, 800}, 3);
  ASSERT_TRUE(picture.save(maps + "picture.png"));
  const TWorld& w = atlas.Map.World;
  const double half = 0.5 / w.Scale;
  const QStringList placed{"-a_srs",
                           "EPSG:32636",
                           "-a_ullr",
                           QString::number(w.ScreenToWorldX(0) - half, 'f', 6),
                           QString::number(w.ScreenToWorldY(0) + half, 'f', 6),
                           QString::number(w.ScreenToWorldX(1199) + half, 'f', 6),
                           QString::number(w.ScreenToWorldY(799) - half, 'f', 6)};
  const auto arguments = [](const QStringList& list) {
    std::vector<QByteArray> bytes;
    for (const QString& a : list)
      bytes.push_back(a.toUtf8());
    return bytes;
  };
  const auto pointers = [](std::vector<QByteArray>& bytes) {
    std::vector<char*> out;
    for (QByteArray& b : bytes)
      out.push_back(b.data());
    out.push_back(nullptr);
    return out;
  };
  {
    std::vector<QByteArray> a = arguments(placed);
    std::vector<char*> p = pointers(a);
    GDALTranslateOptions* o = GDALTranslateOptionsNew(p.data(), nullptr);
    const Dataset png(
        static_cast<GDALDataset*>(GDALOpen((maps + "picture.png").toUtf8(), GA_ReadOnly)));
    GDALClose(GDALTranslate((maps + "utm.tif").toUtf8(), png.get(), o, nullptr));
    GDALTranslateOptionsFree(o);
  }
  {
    std::vector<QByteArray> a = arguments({"-t_srs", "EPSG:3857", "-r", "bilinear"});
    std::vector<char*> p = pointers(a);
    GDALWarpAppOptions* o = GDALWarpAppOptionsNew(p.data(), nullptr);
    const Dataset utm(
        static_cast<GDALDataset*>(GDALOpen((maps + "utm.tif").toUtf8(), GA_ReadOnly)));
    GDALDatasetH source = utm.get();
    Dataset ortho(static_cast<GDALDataset*>(
        GDALWarp((maps + "Ortho.tif").toUtf8(), nullptr, 1, &source, o, nullptr)));
    GDALWarpAppOptionsFree(o);
    ASSERT_NE(ortho, nullptr);
    int levels[] = {2, 4};
    ASSERT_EQ(ortho->BuildOverviews("AVERAGE", 2, levels, 0, nullptr, nullptr, nullptr), CE_None);
  }
  // In the atlas's own system (read by windows) and in Web Mercator (warped).
  for (const char* file : {"utm.tif", "ortho.TIF"}) {
    SCOPED_TRACE(file);
    atlas.Update(QString("PrimitiveType = 17, FileName = '%1'").arg(file), 4, 2);
    atlas.Map.CloseMap();
    atlas.Map.DestroyLayers();
    ASSERT_EQ(atlas.Load(), "");
    TCustomLayer* ortho = atlas.Map.LayerOf(4, 2);
    ASSERT_NE(ortho, nullptr);
    EXPECT_NEAR(ortho->X0, box.XMin, 30);
    for (const TExtent view : {box, TExtent{x - 150, y - 100, x + 150, y + 100}}) {
      const QImage vectors = atlas.DrawAlone(atlas.Served(4, 1), view, {600, 400}, 3);
      const auto [astray, ink] =
          Atlas::Astray(atlas.DrawAlone(ortho, view, {600, 400}), vectors, 96);
      EXPECT_GT(ink, 300);
      EXPECT_EQ(astray, 0) << "of " << ink << " dark pixels";
    }
  }
  // Not exported: left out with the reason.
  const TGeoPackageReport report = ExportGeoPackage(atlas.Map, maps + "again.gpkg", {});
  EXPECT_TRUE(report.Problems.join('\n').contains(QString::fromUtf8("растр не записується")));
}
