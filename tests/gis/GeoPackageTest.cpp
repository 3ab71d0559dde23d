// The atlas as a GeoPackage, read back with GDAL as another program reads it: every layer a
// table with its features, typed fields and UTF-8 texts, areas with their holes, the coordinate
// system asked for; a cancelled or failed export leaves no file, and an earlier file stays.

#include "gis/GeoPackageExport.h"

#include "AtlasWriter.h"

#include "base/PathResolver.h"
#include "db/Table.h"
#include "layers/LayerKinds.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <gdal.h>
#include <gtest/gtest.h>
#include <map>
#include <ogr_geometry.h>
#include <ogrsf_frmts.h>

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
  const TGeoPackageReport report = ExportGeoPackage(atlas.Map, path, {"EPSG:32636", {}});
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
  EXPECT_THROW(ExportGeoPackage(atlas.Map, atlas.Dir.filePath("x.gpkg"), {"EPSG:nonsense", {}}),
               std::runtime_error);
  EXPECT_FALSE(QFile::exists(atlas.Dir.filePath("x.gpkg")));
}
