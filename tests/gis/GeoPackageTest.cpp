// The atlas as a GeoPackage, read back with GDAL as another program reads it: every layer a
// table with its features, typed fields and UTF-8 texts, areas with their holes, the coordinate
// system asked for; a cancelled or failed export leaves no file, and an earlier file stays.

#include "gis/AsciiName.h"
#include "gis/GeoPackageExport.h"

#include "AtlasWriter.h"

#include "base/AtomicFile.h"
#include "base/PathResolver.h"
#include "base/TextCodec.h"
#include "db/Table.h"
#include "layers/LayerKinds.h"
#include "overlays/Distation.h"

#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cpl_vsi.h>
#include <gdal.h>
#include <gtest/gtest.h>
#include <map>
#include <ogr_geometry.h>
#include <ogrsf_frmts.h>
#include <set>

namespace {

// The symbol fonts' signs are looked up in the font database, which needs the application.
struct GuiEnvironment : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "gis_tests";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) App = new QGuiApplication(argc, argv);
  }
  void TearDown() override { delete App; }
  QGuiApplication* App = nullptr;
};
const auto* const gui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

struct Atlas {
  QTemporaryDir Dir;
  TMapContent Map;
  Atlas() {
    demo::WriteAtlas(Dir.path(), 1, 6);
    RegisterLayerKinds();
    Map.LoadMap(Dir.path() + "/BASE", Dir.path() + "/MAPS", Dir.path(), "", "");
  }
};

struct Closer {
  void operator()(GDALDataset* d) const { GDALClose(d); }
};
using Dataset = std::unique_ptr<GDALDataset, Closer>;

Dataset Open(const QString& path) {
  GDALAllRegister();
  return Dataset(static_cast<GDALDataset*>(
      GDALOpenEx(path.toUtf8().constData(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr)));
}

} // namespace

TEST(GeoPackage, EveryLayerIsATableOfItsFeaturesWithTypedFields) {
  Atlas atlas;
  const QString path = atlas.Dir.filePath("atlas.gpkg");
  const TGeoPackageReport report =
      ExportGeoPackage(atlas.Map, path, {"EPSG:32636", {}, nullptr, true});
  EXPECT_TRUE(report.Problems.isEmpty()) << report.Problems.join("; ").toStdString();
  const Dataset data = Open(path);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->GetLayerCount(), int(atlas.Map.Layers.size()) + 1) << "and layer_styles";
  // The water pipes: a line per row, its fields typed, its texts Cyrillic.
  OGRLayer* water = data->GetLayerByName("water");
  ASSERT_NE(water, nullptr);
  db::Table pipes(atlas.Dir.path() + "/MAPS", "Water.dbf");
  pipes.Open();
  EXPECT_EQ(water->GetFeatureCount(), pipes.RecordCount());
  EXPECT_STREQ(water->GetMetadataItem("IDENTIFIER"), "Водопровідні мережі");
  OGRFeatureDefn* defn = water->GetLayerDefn();
  EXPECT_EQ(defn->GetFieldDefn(defn->GetFieldIndex("DIAMETER"))->GetType(), OFTInteger64);
  EXPECT_EQ(defn->GetFieldDefn(defn->GetFieldIndex("LENGTH"))->GetType(), OFTReal);
  water->SetAttributeFilter("OBJECTCODE = 3");
  std::unique_ptr<OGRFeature> pipe(water->GetNextFeature());
  ASSERT_NE(pipe, nullptr);
  pipes.SetRecNo(pipes.PositionOfRecord(3) + 1);
  EXPECT_EQ(QString::fromUtf8(pipe->GetFieldAsString("STREET")),
            pipes.FieldByName("STREET").AsString());
  EXPECT_EQ(pipe->GetFieldAsInteger64("HUB1CODE"), pipes.FieldByName("HUB1CODE").AsInteger());
  ASSERT_NE(pipe->GetGeometryRef(), nullptr);
  EXPECT_EQ(wkbFlatten(pipe->GetGeometryRef()->getGeometryType()), wkbMultiLineString);
  const OGRSpatialReference* crs = water->GetSpatialRef();
  ASSERT_NE(crs, nullptr);
  EXPECT_STREQ(crs->GetAuthorityCode(nullptr), "32636");
  // Points kept in a table: at their X and Y, with every field of their row.
  OGRLayer* wells = data->GetLayerByName("waterwells");
  ASSERT_NE(wells, nullptr);
  std::unique_ptr<OGRFeature> well(wells->GetNextFeature());
  ASSERT_NE(well, nullptr);
  const auto* point = well->GetGeometryRef()->toPoint();
  EXPECT_DOUBLE_EQ(point->getX(), well->GetFieldAsDouble("X"));
  EXPECT_DOUBLE_EQ(point->getY(), well->GetFieldAsDouble("Y"));
  // A block of flats around a courtyard keeps its hole.
  OGRLayer* buildings = data->GetLayerByName("buildings");
  ASSERT_NE(buildings, nullptr);
  bool courtyard = false;
  for (auto& f : *buildings) {
    const OGRMultiPolygon* mp = f->GetGeometryRef()->toMultiPolygon();
    for (const OGRPolygon* polygon : *mp)
      courtyard = courtyard || polygon->getNumInteriorRings() > 0;
  }
  EXPECT_TRUE(courtyard);
}

// The look goes with the data: a default QGIS style per table, with the layer's pen, its symbol
// in the signs the program draws it with, and its scale window.
TEST(GeoPackage, EveryTableHasItsDefaultStyle) {
  Atlas atlas;
  const QString path = atlas.Dir.filePath("atlas.gpkg");
  ExportGeoPackage(atlas.Map, path);
  const Dataset data = Open(path);
  ASSERT_NE(data, nullptr);
  OGRLayer* styles = data->GetLayerByName("layer_styles");
  ASSERT_NE(styles, nullptr);
  std::map<QString, QString> qml;
  for (auto& row : *styles) {
    EXPECT_EQ(row->GetFieldAsInteger("useAsDefault"), 1);
    EXPECT_STREQ(row->GetFieldAsString("f_geometry_column"), "geom");
    qml[QString::fromUtf8(row->GetFieldAsString("f_table_name"))] =
        QString::fromUtf8(row->GetFieldAsString("styleQML"));
  }
  EXPECT_EQ(int(qml.size()), int(atlas.Map.Layers.size()));
  // The water mains: blue lines (the table's colour 0x00FF0000 is blue, green, red from the top).
  EXPECT_TRUE(qml["water"].contains("SimpleLine"));
  EXPECT_TRUE(qml["water"].contains("\"line_color\" v=\"0,0,255,255\""));
  // The buildings show from 1 : 31,496 inwards (0.12 pixels per metre).
  EXPECT_TRUE(qml["buildings"].contains("hasScaleBasedVisibilityFlag=\"1\""));
  EXPECT_TRUE(qml["buildings"].contains("minScale=\"31496\"")) << qml["buildings"].toStdString();
  // Hydrants: a font marker with the sign the map draws for Webdings "H".
  EXPECT_TRUE(qml["hydrants"].contains("FontMarker")) << qml["hydrants"].toStdString();
  EXPECT_FALSE(qml["hydrants"].contains("\"chr\" v=\"H\"")) << "the sign, not the letter";
  // Labels by their field.
  EXPECT_TRUE(qml["buildings"].contains("fieldName=\"NUMBER\""));
}

TEST(GeoPackage, ACancelledOrFailedExportLeavesNoFileAndKeepsAnEarlierOne) {
  Atlas atlas;
  const QString path = atlas.Dir.filePath("atlas.gpkg");
  QFile earlier(path);
  ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
  earlier.write("earlier");
  earlier.close();
  TGeoPackageOptions cancel;
  cancel.Progress = [](int done, int) { return done < 3; };
  const TGeoPackageReport report = ExportGeoPackage(atlas.Map, path, cancel);
  EXPECT_TRUE(report.Cancelled);
  ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
  EXPECT_EQ(earlier.readAll(), QByteArray("earlier"));
  earlier.close();
  EXPECT_FALSE(QFile::exists(path + ".part.gpkg"));
  // A folder that does not exist: an error naming the file, nothing written.
  const QString nowhere = atlas.Dir.filePath("no/such/atlas.gpkg");
  EXPECT_THROW(ExportGeoPackage(atlas.Map, nowhere), std::runtime_error);
  EXPECT_FALSE(QFile::exists(nowhere));
  // An unknown coordinate system is refused before anything is written.
  EXPECT_THROW(ExportGeoPackage(atlas.Map, atlas.Dir.filePath("x.gpkg"),
                                {"EPSG:nonsense", {}, nullptr, true}),
               std::runtime_error);
  EXPECT_FALSE(QFile::exists(atlas.Dir.filePath("x.gpkg")));
  // So is the atlas's own declaration that cannot be read: the tables would lie nowhere.
  base::WriteFileAtomically(atlas.Dir.filePath("BASE/ATLAS.INI"), "[Atlas]\r\nCRS=EPSG 32636\r\n");
  try {
    ExportGeoPackage(atlas.Map, atlas.Dir.filePath("y.gpkg"));
    ADD_FAILURE() << "an unreadable CRS= exported";
  } catch (const std::runtime_error& e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).contains("CRS=EPSG 32636")) << e.what();
  }
  EXPECT_FALSE(QFile::exists(atlas.Dir.filePath("y.gpkg")));
}

namespace {

// The project QGIS keeps in the GeoPackage: its archive as hexadecimal text, unpacked through
// GDAL's zip reader.
QString StoredProject(GDALDataset& data, QString& name) {
  OGRLayer* rows =
      data.ExecuteSQL("SELECT name, CAST(content AS TEXT) FROM qgis_projects", nullptr, nullptr);
  if (!rows) return QString();
  QByteArray archive;
  if (std::unique_ptr<OGRFeature> row(rows->GetNextFeature()); row) {
    name = QString::fromUtf8(row->GetFieldAsString(0));
    archive = QByteArray::fromHex(row->GetFieldAsString(1));
  }
  data.ReleaseResultSet(rows);
  const QByteArray zip = "/vsimem/project_test.zip"; // GDAL knows a zip by its extension
  VSIFCloseL(VSIFileFromMemBuffer(zip.constData(), reinterpret_cast<GByte*>(archive.data()),
                                  vsi_l_offset(archive.size()), FALSE));
  char** files = VSIReadDir(("/vsizip/" + zip).constData());
  QString xml;
  if (files && files[0]) {
    const QByteArray inner = "/vsizip/" + zip + "/" + files[0];
    if (VSILFILE* f = VSIFOpenL(inner.constData(), "rb")) {
      QByteArray text;
      char buffer[65536];
      for (size_t n; (n = VSIFReadL(buffer, 1, sizeof buffer, f)) > 0;)
        text.append(buffer, qsizetype(n));
      VSIFCloseL(f);
      xml = QString::fromUtf8(text);
    }
  }
  CSLDestroy(files);
  VSIUnlink(zip.constData());
  return xml;
}

} // namespace

// The GeoPackage carries a QGIS project: the layers in the atlas's drawing order, grouped by
// the classification tree's categories, named by their classes, their tables relative to the
// file, the atlas's whole extent as the first view, the coordinate system on.
TEST(GeoPackage, HoldsAQgisProjectOfTheAtlas) {
  Atlas atlas;
  const QString path = atlas.Dir.filePath("міська мережа.gpkg");
  ExportGeoPackage(atlas.Map, path, {"EPSG:32636", {}, nullptr, true});
  const Dataset data = Open(path);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->GetLayerByName("qgis_projects"), nullptr) << "not one of the data tables";
  QString name;
  const QString xml = StoredProject(*data, name);
  EXPECT_EQ(name, "міська мережа");
  ASSERT_FALSE(xml.isEmpty());
  QDomDocument doc;
  ASSERT_TRUE(doc.setContent(xml));
  const QDomElement root = doc.documentElement();
  // A group per category, its layers named as the classes, each pointing at its table beside
  // the project.
  db::Table categories(atlas.Dir.path() + "/BASE", "CATEGORYREEST.db");
  categories.Open();
  QString networks;
  for (categories.First(); !categories.Eof(); categories.Next())
    if (categories.FieldByName("Category").AsInteger() == 101)
      networks = categories.FieldByName("CategoryName").AsString();
  ASSERT_FALSE(networks.isEmpty());
  bool found = false;
  const QDomNodeList groups = root.firstChildElement("layer-tree-group").childNodes();
  for (int g = 0; g < groups.size(); ++g) {
    const QDomElement group = groups.at(g).toElement();
    if (group.tagName() != "layer-tree-group" || group.attribute("name") != networks) continue;
    for (QDomElement layer = group.firstChildElement("layer-tree-layer"); !layer.isNull();
         layer = layer.nextSiblingElement("layer-tree-layer"))
      if (layer.attribute("name") == QString::fromUtf8("Водопровідні мережі")) {
        found = true;
        EXPECT_EQ(layer.attribute("source"), "./міська мережа.gpkg|layername=water");
        EXPECT_EQ(layer.attribute("checked"), "Qt::Checked");
      }
  }
  EXPECT_TRUE(found) << "the water mains in their category's group";
  // The canvas draws in the atlas's order, the last layer drawn on top (first in the list).
  QStringList order;
  const QDomElement custom =
      root.firstChildElement("layer-tree-group").firstChildElement("custom-order");
  EXPECT_EQ(custom.attribute("enabled"), "1");
  for (QDomElement item = custom.firstChildElement("item"); !item.isNull();
       item = item.nextSiblingElement("item"))
    order << item.text();
  ASSERT_EQ(order.size(), int(atlas.Map.Layers.size()));
  std::map<QString, QString> idOfClass;
  const QDomNodeList layers = doc.elementsByTagName("layer-tree-layer");
  for (int k = 0; k < layers.size(); ++k)
    idOfClass[layers.at(k).toElement().attribute("name")] =
        layers.at(k).toElement().attribute("id");
  for (size_t k = 0; k < atlas.Map.Layers.size(); ++k)
    EXPECT_EQ(order[int(atlas.Map.Layers.size() - 1 - k)],
              idOfClass[atlas.Map.Layers[k]->ClassName])
        << atlas.Map.Layers[k]->ClassName.toStdString();
  // The first view is the atlas's whole extent; projections on, with the system asked for.
  const QDomElement view =
      root.firstChildElement("ProjectViewSettings").firstChildElement("DefaultViewExtent");
  EXPECT_NEAR(view.attribute("xmin").toDouble(), atlas.Map.World.FullExtent.XMin, 1e-3);
  EXPECT_NEAR(view.attribute("ymax").toDouble(), atlas.Map.World.FullExtent.YMax, 1e-3);
  EXPECT_EQ(root.firstChildElement("projectCrs")
                .firstChildElement("spatialrefsys")
                .firstChildElement("authid")
                .text(),
            "EPSG:32636");
  EXPECT_EQ(root.firstChildElement("properties")
                .firstChildElement("SpatialRefSys")
                .firstChildElement("ProjectionsEnabled")
                .text(),
            "1");
}

// A map server serves the project as it is: ASCII names for layers (their tables) and groups
// (their categories transliterated, unlike any table's), the atlas's title and contact, its
// coordinate system first, an object's fields in reading order without the export's own, the
// streets and addresses searchable as features; without labels when asked.
TEST(GeoPackage, TheProjectServesAsAMap) {
  Atlas atlas;
  QFile ini(atlas.Dir.filePath("BASE/ATLAS.INI"));
  ASSERT_TRUE(ini.open(QIODevice::Append));
  ini.write(
      base::Encode(QString::fromUtf8(
                       "\n[Service]\nTitle=Водоканал: мережі міста\nOrganization=КП «Водоканал»\n"),
                   base::CodePage::Cp1251)); // as Windows programs write INI files
  ini.close();
  const QString path = atlas.Dir.filePath("atlas.gpkg");
  ExportGeoPackage(atlas.Map, path, {"EPSG:32636", {}, nullptr, false});
  const Dataset data = Open(path);
  ASSERT_NE(data, nullptr);
  QString name;
  QDomDocument doc;
  ASSERT_TRUE(doc.setContent(StoredProject(*data, name)));
  const QDomElement properties = doc.documentElement().firstChildElement("properties");
  EXPECT_EQ(properties.firstChildElement("WMSServiceTitle").text(),
            QString::fromUtf8("Водоканал: мережі міста"));
  EXPECT_EQ(properties.firstChildElement("WMSContactOrganization").text(),
            QString::fromUtf8("КП «Водоканал»"));
  EXPECT_EQ(properties.firstChildElement("WMSCrsList").firstChildElement("value").text(),
            "EPSG:32636");
  QStringList served;
  for (QDomElement v = properties.firstChildElement("WFSLayers").firstChildElement("value");
       !v.isNull(); v = v.nextSiblingElement("value"))
    served << v.text();
  EXPECT_TRUE(served.contains("vandrel_streets")) << served.join(",").toStdString();
  EXPECT_TRUE(served.contains("vandrel_address")) << served.join(",").toStdString();
  EXPECT_FALSE(served.contains("vandrel_water")) << "only what a search needs";
  std::set<QString> names;
  const QRegularExpression ascii("^[a-z][a-z0-9_]*$");
  const QDomNodeList layers = doc.elementsByTagName("maplayer");
  for (int k = 0; k < layers.size(); ++k) {
    const QDomElement layer = layers.at(k).toElement();
    const QString shortName = layer.firstChildElement("shortname").text();
    EXPECT_TRUE(ascii.match(shortName).hasMatch()) << shortName.toStdString();
    EXPECT_EQ(layer.firstChildElement("title").text(), layer.firstChildElement("layername").text());
    EXPECT_EQ(layer.attribute("labelsEnabled"), "0");
    names.insert(shortName);
    if (shortName != "water") continue;
    QStringList fields;
    for (QDomElement f = layer.firstChildElement("attributeEditorForm").firstChildElement();
         !f.isNull(); f = f.nextSiblingElement())
      fields << f.attribute("name");
    EXPECT_EQ(fields.mid(0, 3), (QStringList{"STREET", "DIAMETER", "MATERIAL"}));
    EXPECT_FALSE(fields.contains("vandrel_size"));
  }
  const QDomNodeList groups = doc.elementsByTagName("layer-tree-group");
  for (int g = 1; g < groups.size(); ++g) {
    const QDomElement property =
        groups.at(g).toElement().firstChildElement("customproperties").firstChildElement();
    EXPECT_EQ(property.attribute("key"), "wmsShortName");
    EXPECT_TRUE(ascii.match(property.attribute("value")).hasMatch());
    EXPECT_TRUE(names.insert(property.attribute("value")).second)
        << "a group named as a layer: " << property.attribute("value").toStdString();
  }
  EXPECT_EQ(AsciiName(QString::fromUtf8("Водопровідні мережі")), "vodoprovidni_merezhi");
  EXPECT_EQ(AsciiName(QString::fromUtf8("Щастя Юрія")), "shchastia_iuriia");
  EXPECT_EQ(AsciiName("2nd"), "layer_2nd");
}

// What the atlas keeps per object goes with each feature: the buildings' colours from their
// style file, the wells' group signs, the pumps' pictures, the mains' widths by diameter.
TEST(GeoPackage, ObjectsCarryTheirOwnLooks) {
  Atlas atlas;
  const QString path = atlas.Dir.filePath("atlas.gpkg");
  ExportGeoPackage(atlas.Map, path);
  const Dataset data = Open(path);
  ASSERT_NE(data, nullptr);
  // Buildings: record N's fill is the colour at N × 24 of Buildings.r (red in the low byte).
  QFile styles(atlas.Dir.path() + "/MAPS/Buildings.r");
  ASSERT_TRUE(styles.open(QIODevice::ReadOnly));
  const QByteArray bytes = styles.readAll();
  OGRLayer* buildings = data->GetLayerByName("buildings");
  ASSERT_NE(buildings, nullptr);
  std::set<QString> fills;
  int record = 0;
  for (auto& f : *buildings) {
    ASSERT_LE((record + 1) * 24, bytes.size());
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.constData()) + record * 24;
    const QString expected = QString("%1,%2,%3,255").arg(s[0]).arg(s[1]).arg(s[2]);
    const QString fill = QString::fromUtf8(f->GetFieldAsString("vandrel_fill_color"));
    ASSERT_EQ(fill, expected) << "record " << record;
    fills.insert(fill);
    ++record;
  }
  EXPECT_GT(fills.size(), 1u) << "buildings differ in colour";
  // Wells: those of a group with its own symbol carry the group's sign, the others none.
  OGRLayer* wells = data->GetLayerByName("waterwells");
  ASSERT_NE(wells, nullptr);
  std::map<int64_t, std::set<QString>> signsOfGroup;
  for (auto& f : *wells)
    signsOfGroup[f->GetFieldAsInteger64("NUMGROUP")].insert(
        QString::fromUtf8(f->GetFieldAsString("vandrel_char")));
  EXPECT_GT(signsOfGroup.size(), 1u);
  for (const auto& [group, signs] : signsOfGroup)
    EXPECT_EQ(signs.size(), 1u) << "group " << group << " has one sign";
  // Pumping stations: those with a picture carry it as QGIS takes one ("base64:" PNG) with its
  // size, the picture of their row of the images table; the others none.
  OGRLayer* pumps = data->GetLayerByName("pumps");
  ASSERT_NE(pumps, nullptr);
  db::Table images(atlas.Dir.path() + "/BASE", "IMAGES.DB");
  images.Open();
  images.SetIndexFieldNames("ImageIndex");
  int withLogo = 0;
  for (auto& f : *pumps) {
    const int64_t image = f->GetFieldAsInteger64("ImageIndex");
    const QString logo = QString::fromUtf8(f->GetFieldAsString("vandrel_logo"));
    if (image < 0 || !images.FindKey({image})) {
      EXPECT_TRUE(logo.isEmpty());
      continue;
    }
    ASSERT_TRUE(logo.startsWith("base64:"));
    const QImage carried = QImage::fromData(QByteArray::fromBase64(logo.mid(7).toLatin1()));
    const QImage stored = QImage::fromData(images.FieldByName("Image").AsBlob());
    EXPECT_EQ(carried.size(), stored.size());
    EXPECT_EQ(f->GetFieldAsDouble("vandrel_logo_width"), stored.width());
    EXPECT_EQ(carried.pixel(stored.width() / 2, stored.height() / 2),
              stored.convertToFormat(QImage::Format_RGB32)
                  .pixel(stored.width() / 2, stored.height() / 2));
    ++withLogo;
  }
  EXPECT_GT(withLogo, 0);
  // Water mains: the width multiplier is the table's ParamSizeKoef (0.01) × DIAMETER.
  OGRLayer* water = data->GetLayerByName("water");
  ASSERT_NE(water, nullptr);
  for (auto& f : *water)
    ASSERT_DOUBLE_EQ(f->GetFieldAsDouble("vandrel_size"), 0.01 * f->GetFieldAsDouble("DIAMETER"));
}

// Measurements, when asked for: distances as lines and areas as polygons with their values and
// colours, in a group of their own drawn over the atlas.
TEST(GeoPackage, CarriesTheMeasurementsWhenAskedFor) {
  Atlas atlas;
  TDistationLayer measurements;
  const TExtent& e = atlas.Map.World.FullExtent;
  auto distance = std::make_unique<TDistation>();
  distance->Points = {{e.XMin, e.YMin}, {e.XMin + 30, e.YMin}, {e.XMin + 30, e.YMin + 40}};
  distance->Value = 70;
  distance->Color = 0x000000FF;
  auto area = std::make_unique<TDistation>();
  area->Kind = 1;
  area->Points = {{e.XMin, e.YMin}, {e.XMin + 10, e.YMin}, {e.XMin + 10, e.YMin + 10}};
  area->Value = 50;
  measurements.Items.push_back(std::move(distance));
  measurements.Items.push_back(std::move(area));
  const QString path = atlas.Dir.filePath("atlas.gpkg");
  TGeoPackageOptions options;
  options.Measurements = &measurements;
  const TGeoPackageReport report = ExportGeoPackage(atlas.Map, path, options);
  EXPECT_TRUE(report.Tables.contains("measured_distances: 1"))
      << report.Tables.join(", ").toStdString();
  EXPECT_TRUE(report.Tables.contains("measured_areas: 1"));
  const Dataset data = Open(path);
  ASSERT_NE(data, nullptr);
  OGRLayer* lines = data->GetLayerByName("measured_distances");
  ASSERT_NE(lines, nullptr);
  std::unique_ptr<OGRFeature> line(lines->GetNextFeature());
  ASSERT_NE(line, nullptr);
  EXPECT_DOUBLE_EQ(line->GetFieldAsDouble("value"), 70);
  EXPECT_STREQ(line->GetFieldAsString("vandrel_pen_color"), "255,0,0,255");
  EXPECT_DOUBLE_EQ(line->GetGeometryRef()->toLineString()->get_Length(), 70);
  OGRLayer* areas = data->GetLayerByName("measured_areas");
  ASSERT_NE(areas, nullptr);
  std::unique_ptr<OGRFeature> polygon(areas->GetNextFeature());
  ASSERT_NE(polygon, nullptr);
  EXPECT_DOUBLE_EQ(polygon->GetGeometryRef()->toPolygon()->get_Area(), 50);
  QString name;
  const QString xml = StoredProject(*data, name);
  EXPECT_TRUE(xml.contains(QString::fromUtf8("layer-tree-group name=\"Вимірювання\"")));
  // Drawn last: first in the canvas's order.
  const qsizetype order = xml.indexOf("<custom-order");
  EXPECT_EQ(xml.indexOf("<item>", order),
            xml.indexOf("<item>vandrel_measured_areas</item>", order));
  // Without asking, none.
  ExportGeoPackage(atlas.Map, atlas.Dir.filePath("plain.gpkg"));
  const Dataset plain = Open(atlas.Dir.filePath("plain.gpkg"));
  EXPECT_EQ(plain->GetLayerByName("measured_distances"), nullptr);
}

// The atlas records no coordinate system: without one given, its plane in metres goes with the
// tables and the project, so that a GIS measures scales in metres yet places the map nowhere.
TEST(GeoPackage, WithoutACoordinateSystemTheAtlasPlaneInMetresGoesWithIt) {
  Atlas atlas;
  // The demo declares UTM 36N: the export writes it when no other is asked for.
  {
    const QString declared = atlas.Dir.filePath("declared.gpkg");
    ExportGeoPackage(atlas.Map, declared);
    const Dataset data = Open(declared);
    ASSERT_NE(data, nullptr);
    const OGRSpatialReference* crs = data->GetLayerByName("water")->GetSpatialRef();
    ASSERT_NE(crs, nullptr);
    EXPECT_STREQ(crs->GetAuthorityCode(nullptr), "32636");
  }
  ASSERT_TRUE(QFile::remove(atlas.Dir.filePath("BASE/ATLAS.INI"))); // an atlas without a system
  const QString path = atlas.Dir.filePath("atlas.gpkg");
  ExportGeoPackage(atlas.Map, path);
  const Dataset data = Open(path);
  ASSERT_NE(data, nullptr);
  const OGRSpatialReference* crs = data->GetLayerByName("water")->GetSpatialRef();
  ASSERT_NE(crs, nullptr);
  EXPECT_TRUE(crs->IsLocal());
  EXPECT_FALSE(crs->IsGeographic());
  EXPECT_DOUBLE_EQ(crs->GetLinearUnits(), 1.0);
  QString name;
  const QString xml = StoredProject(*data, name);
  EXPECT_TRUE(xml.contains("<projectCrs><spatialrefsys><wkt>ENGCRS["))
      << xml.left(600).toStdString();
  EXPECT_TRUE(xml.contains("<ProjectionsEnabled type=\"int\">1</ProjectionsEnabled>"));
}
