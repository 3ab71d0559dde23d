#include "GeoPackageWriter.h"

#include "GdalLayer.h"

#include "layers/GeometryFile.h"
#include "layers/RecordIndex.h"
#include "overlays/Distation.h"

#include <QDateTime>

#include <gdal.h>
#include <ogr_api.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

namespace {

// The atlas's own plane in metres, for an export given no coordinate system.
constexpr const char* kLocalCrs =
    "ENGCRS[\"Atlas local coordinates\",EDATUM[\"Atlas\"],CS[Cartesian,2],"
    "AXIS[\"easting (X)\",east,ORDER[1],LENGTHUNIT[\"metre\",1]],"
    "AXIS[\"northing (Y)\",north,ORDER[2],LENGTHUNIT[\"metre\",1]]]";

OGRFieldType FieldTypeOf(db::FieldType t, OGRFieldSubType& sub) {
  sub = OFSTNone;
  switch (t) {
  case db::FieldType::SmallInt:
  case db::FieldType::Integer:
  case db::FieldType::AutoInc:
    return OFTInteger64;
  case db::FieldType::Float:
  case db::FieldType::Currency:
  case db::FieldType::BCD:
    return OFTReal;
  case db::FieldType::Boolean:
    sub = OFSTBoolean;
    return OFTInteger;
  case db::FieldType::Date:
    return OFTDate;
  case db::FieldType::Time:
    return OFTTime;
  case db::FieldType::DateTime:
    return OFTDateTime;
  default:
    return db::IsBlobType(t) && t != db::FieldType::Memo ? OFTBinary : OFTString;
  }
}

void SetField(OGRFeature& f, int index, const db::Value& v, OGRFieldType type) {
  if (db::IsNull(v)) return f.SetFieldNull(index);
  switch (type) {
  case OFTInteger64:
    return f.SetField(index, GIntBig(db::ValueToInteger(v)));
  case OFTInteger:
    return f.SetField(index, int(db::ValueToBoolean(v)));
  case OFTReal:
    return f.SetField(index, db::ValueToFloat(v));
  case OFTDate:
  case OFTTime:
  case OFTDateTime: {
    const QDateTime dt = std::holds_alternative<QDate>(v)       ? std::get<QDate>(v).startOfDay()
                         : std::holds_alternative<QDateTime>(v) ? std::get<QDateTime>(v)
                         : std::holds_alternative<QTime>(v)
                             ? QDateTime(QDate(1, 1, 1), std::get<QTime>(v))
                             : QDateTime();
    if (!dt.isValid()) return f.SetFieldNull(index);
    return f.SetField(index, dt.date().year(), dt.date().month(), dt.date().day(), dt.time().hour(),
                      dt.time().minute(), float(dt.time().second()), 0);
  }
  case OFTBinary: {
    const QByteArray bytes = db::ValueToBytes(v);
    return f.SetField(index, int(bytes.size()), reinterpret_cast<const GByte*>(bytes.constData()));
  }
  default:
    return f.SetField(index, db::ValueToString(v).toUtf8().constData());
  }
}

// The shape of one geometry record as OGR's: points, lines, areas (rings sorted into polygons
// with their holes).
std::unique_ptr<OGRGeometry> ShapeOf(const TGeometryFile& file, const TGeometryFile::Record& r) {
  if (!r.HasBox) return nullptr;
  const int type = r.ShapeType % 10;
  if (type == 1) {
    const TGeometryFile::Parts none;
    return std::make_unique<OGRPoint>(r.XMin, r.YMin);
  }
  if (!TGeometryFile::HasParts(r.ShapeType)) return nullptr;
  const TGeometryFile::Parts parts = file.ReadParts(r);
  const auto ring = [&](int part, auto& line) {
    for (int k = parts.Starts[size_t(part)]; k < parts.Starts[size_t(part) + 1]; ++k) {
      const TWorldPoint p = file.PointAt(parts, k);
      line.addPoint(p.X, p.Y);
    }
  };
  if (type == 3) {
    auto lines = std::make_unique<OGRMultiLineString>();
    for (int part = 0; part < parts.NumParts; ++part) {
      auto line = std::make_unique<OGRLineString>();
      ring(part, *line);
      lines->addGeometryDirectly(line.release());
    }
    return lines;
  }
  std::vector<OGRGeometry*> polygons;
  for (int part = 0; part < parts.NumParts; ++part) {
    auto polygon = std::make_unique<OGRPolygon>();
    auto linear = std::make_unique<OGRLinearRing>();
    ring(part, *linear);
    linear->closeRings();
    polygon->addRingDirectly(linear.release());
    polygons.push_back(polygon.release());
  }
  if (polygons.empty()) return nullptr;
  int valid = 0;
  const char* options[] = {"METHOD=ONLY_CCW", nullptr};
  std::unique_ptr<OGRGeometry> organized(
      OGRGeometryFactory::organizePolygons(polygons.data(), int(polygons.size()), &valid, options));
  return std::unique_ptr<OGRGeometry>(OGRGeometryFactory::forceToMultiPolygon(organized.release()));
}

OGRwkbGeometryType LayerTypeOf(const TCustomLayer& layer) {
  if (const_cast<TCustomLayer&>(layer).ObjectRowsTable()) return wkbPoint;
  // Layers from GDAL sources (11, 13, 15) draw what 1, 3 and 5 draw.
  const int kind = layer.PrimitiveType >= 11 && layer.PrimitiveType <= 15 ? layer.PrimitiveType - 10
                                                                          : layer.PrimitiveType;
  switch (kind) {
  case 1:
  case 7:
    return wkbPoint;
  case 5:
    return wkbMultiPolygon;
  default:
    return wkbMultiLineString;
  }
}

} // namespace

std::runtime_error GeoPackageFailure(const QString& path, const QString& what) {
  return std::runtime_error((path + ": " + what).toStdString());
}

int GeometryOf(const TCustomLayer& layer) {
  switch (LayerTypeOf(layer)) {
  case wkbPoint:
    return 1;
  case wkbMultiPolygon:
    return 3;
  default:
    return 2;
  }
}

TGeoPackageWriter::~TGeoPackageWriter() = default;

QString TGeoPackageWriter::CopySource(TGdalLayer& layer, OGRLayer& out, int64_t& features) {
  OGRLayer& source = layer.SourceLayer();
  OGRFeatureDefn* defn = source.GetLayerDefn();
  for (int k = 0; k < defn->GetFieldCount(); ++k)
    if (out.CreateField(defn->GetFieldDefn(k)) != OGRERR_NONE)
      return QString::fromUtf8("поле %1 не створено").arg(defn->GetFieldDefn(k)->GetNameRef());
  if (out.StartTransaction() != OGRERR_NONE) return "no transaction";
  Writing = &out;
  CPLErrorReset();
  source.SetSpatialFilter(nullptr);
  source.ResetReading();
  const OGRwkbGeometryType type = out.GetGeomType();
  for (std::unique_ptr<OGRFeature> f(source.GetNextFeature()); f;
       f.reset(source.GetNextFeature())) {
    OGRFeature copy(out.GetLayerDefn());
    copy.SetFrom(f.get(), TRUE);
    if (OGRGeometry* shape = f->StealGeometry(); shape && !layer.ToAtlas(*shape)) {
      delete shape; // no place in the atlas's system: the object goes without its shape
    } else if (shape) {
      // Every object of a table of one kind: lines and areas as their multi-part kinds.
      OGRGeometry* fitted = type == wkbMultiPolygon ? OGRGeometryFactory::forceToMultiPolygon(shape)
                            : type == wkbMultiLineString
                                ? OGRGeometryFactory::forceToMultiLineString(shape)
                                : shape;
      fitted->assignSpatialReference(Crs.get());
      copy.SetGeometryDirectly(fitted);
    }
    if (out.CreateFeature(&copy) != OGRERR_NONE)
      throw GeoPackageFailure(Path,
                              QString::fromUtf8("об'єкт не записано: ") + CPLGetLastErrorMsg());
    ++features;
  }
  if (CPLGetLastErrorType() >= CE_Failure)
    return QString::fromUtf8("джерело не прочитано: ") + CPLGetLastErrorMsg();
  Writing = nullptr;
  if (out.CommitTransaction() != OGRERR_NONE) return "not committed";
  return QString();
}

void TGeoPackageWriter::DropLayer(const QString& name) {
  if (Writing) {
    Writing->RollbackTransaction();
    Writing = nullptr;
  }
  for (int k = 0; k < Data->GetLayerCount(); ++k)
    if (name == QString::fromUtf8(Data->GetLayer(k)->GetName())) {
      Data->DeleteLayer(k);
      return;
    }
}

QStringList TGeoPackageWriter::FieldNames(const QString& table) const {
  QStringList names;
  OGRLayer* layer = Data ? Data->GetLayerByName(table.toUtf8().constData()) : nullptr;
  if (!layer) return names;
  OGRFeatureDefn* fields = layer->GetLayerDefn();
  for (int i = 0; i < fields->GetFieldCount(); ++i)
    names << QString::fromUtf8(fields->GetFieldDefn(i)->GetNameRef());
  return names;
}

void TGeoPackageWriter::Closer::operator()(GDALDataset* d) const {
  GDALClose(d);
}

TGeoPackageWriter::TGeoPackageWriter(const QString& path, const QString& temp,
                                     const TGeoPackageOptions& options)
    : Path(path), Options(options) {
  GDALAllRegister();
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
  if (!driver) throw GeoPackageFailure(path, "GDAL has no GeoPackage driver");
  Data.reset(driver->Create(temp.toUtf8().constData(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!Data)
    throw GeoPackageFailure(path, QString::fromUtf8("не вдається створити файл: ") +
                                      CPLGetLastErrorMsg());
  Crs = std::make_unique<OGRSpatialReference>();
  Crs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  if (options.Crs.isEmpty()) {
    // The atlas records no coordinate system, only metres on a plane: a local system says
    // just that, so that GIS programs measure scales and lengths in metres without placing
    // the map anywhere on the Earth.
    if (Crs->SetFromUserInput(kLocalCrs) != OGRERR_NONE)
      throw GeoPackageFailure(path, QString::fromUtf8("місцева система координат не створюється"));
  } else if (Crs->SetFromUserInput(options.Crs.toUtf8().constData()) != OGRERR_NONE) {
    throw GeoPackageFailure(path, QString::fromUtf8("невідома система координат ") + options.Crs);
  }
}

// Writes one layer; its problem, or empty.
QString TGeoPackageWriter::Layer(TCustomLayer& layer, const QString& name, const TLayerLook* look,
                                 const TGroupSymbols& groups, int64_t& features) {
  db::Table* objects = layer.ObjectRowsTable();
  db::Table& rows = objects ? *objects : layer.Attributes();
  const bool hasRows = !rows.TableName().isEmpty();
  char** creation = nullptr;
  creation = CSLSetNameValue(creation, "IDENTIFIER", layer.ClassName.toUtf8().constData());
  creation = CSLSetNameValue(creation, "DESCRIPTION",
                             QString("%1.%2").arg(layer.Category).arg(layer.Class).toUtf8());
  OGRLayer* out =
      Data->CreateLayer(name.toUtf8().constData(), Crs.get(), LayerTypeOf(layer), creation);
  CSLDestroy(creation);
  if (!out) return QString::fromUtf8("таблицю не створено: ") + CPLGetLastErrorMsg();
  if (auto* source = dynamic_cast<TGdalLayer*>(&layer)) return CopySource(*source, *out, features);
  std::vector<OGRFieldType> types;
  if (hasRows) {
    if (!rows.Active()) rows.Open();
    for (const db::FieldDef& def : rows.FieldDefs()) {
      OGRFieldSubType sub = OFSTNone;
      const OGRFieldType type = FieldTypeOf(def.Type, sub);
      OGRFieldDefn field(def.Name.toUtf8().constData(), type);
      field.SetSubType(sub);
      if (out->CreateField(&field) != OGRERR_NONE)
        return QString::fromUtf8("поле %1 не створено").arg(def.Name);
      types.push_back(type);
    }
  }
  // The objects' own looks, in columns after the table's.
  std::vector<QString> fieldNames;
  if (hasRows)
    for (const db::FieldDef& def : rows.FieldDefs())
      fieldNames.push_back(def.Name);
  std::unique_ptr<TObjectLooks> looks;
  if (look) looks = std::make_unique<TObjectLooks>(layer, *look, groups, fieldNames);
  if (looks)
    for (const TStyleColumn& column : looks->Columns()) {
      OGRFieldDefn field(column.Name.toUtf8().constData(), column.Real ? OFTReal : OFTString);
      if (out->CreateField(&field) != OGRERR_NONE)
        return QString::fromUtf8("поле %1 не створено").arg(column.Name);
    }
  // Every row's values in one walk of the table, by position.
  std::vector<std::vector<db::Value>> values;
  if (hasRows) {
    std::vector<size_t> all(rows.FieldDefs().size());
    for (size_t f = 0; f < all.size(); ++f)
      all[f] = f;
    values.resize(size_t(rows.RecordCount()));
    rows.ReadColumns(
        all, [&](size_t position, const std::vector<db::Value>& v) { values[position] = v; });
  }
  if (out->StartTransaction() != OGRERR_NONE) return "no transaction";
  Writing = out;
  const auto put = [&](std::unique_ptr<OGRGeometry> shape, int position, int record) {
    OGRFeature feature(out->GetLayerDefn());
    if (shape) {
      if (Crs) shape->assignSpatialReference(Crs.get());
      feature.SetGeometryDirectly(shape.release());
    }
    const bool hasRow = position >= 0 && size_t(position) < values.size();
    if (hasRow)
      for (size_t f = 0; f < types.size(); ++f)
        SetField(feature, int(f), values[size_t(position)][f], types[f]);
    if (looks) {
      const std::vector<QVariant> own =
          looks->Values(record, hasRow ? &values[size_t(position)] : nullptr);
      for (size_t k = 0; k < own.size(); ++k) {
        const int index = int(types.size() + k);
        if (own[k].isNull())
          feature.SetFieldNull(index);
        else if (own[k].typeId() == QMetaType::Double)
          feature.SetField(index, own[k].toDouble());
        else
          feature.SetField(index, own[k].toString().toUtf8().constData());
      }
    }
    if (out->CreateFeature(&feature) != OGRERR_NONE)
      throw GeoPackageFailure(Path,
                              QString::fromUtf8("об'єкт не записано: ") + CPLGetLastErrorMsg());
    ++features;
  };
  if (objects) {
    // Points kept in a table: at their X and Y.
    const auto x = objects->FieldDefs().size(), none = size_t(-1);
    size_t cx = none, cy = none;
    for (size_t f = 0; f < x; ++f) {
      if (objects->FieldDefs()[f].Name.compare("X", Qt::CaseInsensitive) == 0) cx = f;
      if (objects->FieldDefs()[f].Name.compare("Y", Qt::CaseInsensitive) == 0) cy = f;
    }
    for (size_t p = 0; p < values.size(); ++p) {
      std::unique_ptr<OGRGeometry> point;
      if (cx != none && cy != none && !db::IsNull(values[p][cx]) && !db::IsNull(values[p][cy]))
        point = std::make_unique<OGRPoint>(db::ValueToFloat(values[p][cx]),
                                           db::ValueToFloat(values[p][cy]));
      put(std::move(point), int(p), int(p));
    }
  } else {
    TGeometryFile file(layer.FullPath);
    const auto index = TRecordIndex::For(layer.FullPath);
    for (const TGeometryFile::Record& r : index->Records)
      put(ShapeOf(file, r), hasRows ? rows.PositionOfRecord(r.Index) : -1, r.Index);
    index->ThrowIfBroken();
  }
  Writing = nullptr;
  if (out->CommitTransaction() != OGRERR_NONE) return "not committed";
  return QString();
}

// The measurements: distances as lines and areas as polygons, each in its colour, with its
// value (metres, square metres); the project's layers of them.
std::vector<std::pair<TProjectLayer, int64_t>>
TGeoPackageWriter::Measurements(const TDistationLayer& measurements) {
  std::vector<std::pair<TProjectLayer, int64_t>> layers;
  for (const bool areas : {false, true}) {
    std::vector<const TDistation*> items;
    for (const auto& item : measurements.Items)
      if ((item->Kind != 0) == areas && item->Points.size() >= (areas ? 3u : 2u))
        items.push_back(item.get());
    if (items.empty()) continue;
    TProjectLayer layer;
    layer.Table = areas ? "measured_areas" : "measured_distances";
    layer.Name = QString::fromUtf8(areas ? "Виміряні площі" : "Виміряні відстані");
    layer.Category = kMeasurementsCategory;
    layer.Geometry = areas ? 3 : 2;
    layer.Look.Kind = areas ? 5 : 3;
    layer.Look.RenderType = -1; // a pen (and fill) of each object's own
    layer.Look.VisibleLabel = true;
    layer.Look.TextFieldLabel = "value";
    OGRLayer* out = Data->CreateLayer(layer.Table.toUtf8().constData(), Crs.get(),
                                      areas ? wkbPolygon : wkbLineString, nullptr);
    if (!out) throw GeoPackageFailure(Path, QString::fromUtf8("таблицю вимірювань не створено"));
    for (const auto& [name, type] :
         std::vector<std::pair<const char*, OGRFieldType>>{{"value", OFTReal},
                                                           {"unit", OFTString},
                                                           {"vandrel_pen_color", OFTString},
                                                           {"vandrel_pen_style", OFTString},
                                                           {"vandrel_pen_width", OFTReal},
                                                           {"vandrel_fill_color", OFTString},
                                                           {"vandrel_fill_style", OFTString}}) {
      OGRFieldDefn field(name, type);
      if (out->CreateField(&field) != OGRERR_NONE)
        throw GeoPackageFailure(Path, QString::fromUtf8("поле %1 не створено").arg(name));
    }
    int64_t features = 0;
    for (const TDistation* item : items) {
      OGRFeature feature(out->GetLayerDefn());
      std::unique_ptr<OGRGeometry> shape;
      if (areas) {
        auto ring = std::make_unique<OGRLinearRing>();
        for (const TWorldPoint& p : item->Points)
          ring->addPoint(p.X, p.Y);
        ring->closeRings();
        auto polygon = std::make_unique<OGRPolygon>();
        polygon->addRingDirectly(ring.release());
        shape = std::move(polygon);
      } else {
        auto line = std::make_unique<OGRLineString>();
        for (const TWorldPoint& p : item->Points)
          line->addPoint(p.X, p.Y);
        shape = std::move(line);
      }
      if (Crs) shape->assignSpatialReference(Crs.get());
      feature.SetGeometryDirectly(shape.release());
      feature.SetField("value", item->Value);
      feature.SetField("unit", areas ? "м²" : "м");
      feature.SetField("vandrel_pen_color", QgisColor(item->Color).toUtf8().constData());
      feature.SetField("vandrel_pen_style", "solid");
      feature.SetField("vandrel_pen_width", 2.0);
      feature.SetField("vandrel_fill_color", QgisColor(item->Color).toUtf8().constData());
      feature.SetField("vandrel_fill_style", "no");
      if (out->CreateFeature(&feature) != OGRERR_NONE)
        throw GeoPackageFailure(Path,
                                QString::fromUtf8("вимір не записано: ") + CPLGetLastErrorMsg());
      ++features;
    }
    layers.emplace_back(layer, features);
  }
  return layers;
}

// QGIS's default styles: a row per table in `layer_styles`.
void TGeoPackageWriter::Styles(const std::vector<std::pair<QString, TLayerLook>>& looks) {
  OGRLayer* styles = Data->CreateLayer("layer_styles", nullptr, wkbNone, nullptr);
  if (!styles) throw GeoPackageFailure(Path, QString::fromUtf8("таблицю стилів не створено"));
  const char* texts[] = {"f_table_catalog", "f_table_schema",
                         "f_table_name",    "f_geometry_column",
                         "styleName",       "styleQML",
                         "styleSLD",        "description",
                         "owner",           "ui"};
  for (const char* name : texts) {
    OGRFieldDefn field(name, OFTString);
    styles->CreateField(&field);
  }
  OGRFieldDefn useAsDefault("useAsDefault", OFTInteger);
  useAsDefault.SetSubType(OFSTBoolean);
  styles->CreateField(&useAsDefault);
  OGRFieldDefn updated("update_time", OFTDateTime);
  styles->CreateField(&updated);
  if (styles->StartTransaction() != OGRERR_NONE)
    throw GeoPackageFailure(Path, QString::fromUtf8("стилі не записано: ") + CPLGetLastErrorMsg());
  for (const auto& [table, look] : looks) {
    OGRFeature row(styles->GetLayerDefn());
    row.SetField("f_table_catalog", "");
    row.SetField("f_table_schema", "");
    row.SetField("f_table_name", table.toUtf8().constData());
    row.SetField("f_geometry_column", "geom");
    row.SetField("styleName", table.toUtf8().constData());
    row.SetField("styleQML", StyleQml(look).toUtf8().constData());
    row.SetField("styleSLD", "");
    row.SetField("useAsDefault", 1);
    row.SetField("description", "Vandrel");
    if (styles->CreateFeature(&row) != OGRERR_NONE)
      throw GeoPackageFailure(Path,
                              QString::fromUtf8("стиль не записано: ") + CPLGetLastErrorMsg());
  }
  if (styles->CommitTransaction() != OGRERR_NONE)
    throw GeoPackageFailure(Path, QString::fromUtf8("стилі не записано: ") + CPLGetLastErrorMsg());
}

// The QGIS project, in QGIS's own table (kept out of the GeoPackage's contents, as QGIS keeps
// it): the archive as hexadecimal text, which is how QGIS reads it back.
void TGeoPackageWriter::Project(TQgisProject project) {
  if (Crs) {
    char* wkt = nullptr;
    const char* format[] = {"FORMAT=WKT2_2019", nullptr};
    if (Crs->exportToWkt(&wkt, format) == OGRERR_NONE && wkt) project.CrsWkt = wkt;
    CPLFree(wkt);
    project.CrsAuthId = Options.Crs.toUpper();
  }
  const QByteArray archive = ZippedProject(QgisProjectXml(project));
  const QString metadata = QString("{\"last_modified_time\": \"%1\", \"last_modified_user\": "
                                   "\"vandrel\"}")
                               .arg(QDateTime::currentDateTime().toString(Qt::ISODate));
  const auto quoted = [](QString text) { return "'" + text.replace("'", "''") + "'"; };
  const QString insert = QString("INSERT INTO qgis_projects VALUES (%1, %2, %3)")
                             .arg(quoted(project.Name), quoted(metadata),
                                  quoted(QString::fromLatin1(archive.toHex())));
  for (const QString& sql :
       {QString("CREATE TABLE qgis_projects(name TEXT PRIMARY KEY, metadata BLOB, content BLOB)"),
        insert}) {
    CPLErrorReset();
    Data->ExecuteSQL(sql.toUtf8().constData(), nullptr, nullptr);
    if (CPLGetLastErrorType() >= CE_Failure)
      throw GeoPackageFailure(Path, QString::fromUtf8("проєкт QGIS не записано: ") +
                                        CPLGetLastErrorMsg());
  }
}
