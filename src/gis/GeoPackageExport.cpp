#include "GeoPackageExport.h"

#include "AsciiName.h"
#include "AtlasCrs.h"
#include "GeoPackageWriter.h"

#include <ogr_spatialref.h>

#include "GdalLayer.h"
#include "RasterLayer.h"

#include "base/FileError.h"
#include "base/IniFile.h"
#include "base/PathResolver.h"
#include "base/RemoteFiles.h"
#include "core/Identify.h"
#include "db/Error.h"
#include "db/Table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>

namespace {

// A table name GeoPackage readers take everywhere: Latin letters, digits and "_", made unique;
// it is also the layer's name in a map server (WMS).
QString TableNameFor(const TCustomLayer& layer, std::set<QString>& used) {
  // A layer from a GDAL source is named by its source's layer, a file's by the file.
  const auto* source = dynamic_cast<const TGdalLayer*>(&layer);
  return UniqueAsciiName(source ? source->LayerName : QFileInfo(layer.FileName).completeBaseName(),
                         used);
}

// Each class's name, look and switch from its row of the layers table.
std::map<std::pair<int, int>, TProjectLayer> ClassRows(db::Table& rows) {
  std::map<std::pair<int, int>, TProjectLayer> rowOf;
  if (!rows.Active()) return rowOf;
  for (rows.First(); !rows.Eof(); rows.Next()) {
    TProjectLayer layer;
    layer.Category = int(rows.FieldByName("Category").AsInteger());
    layer.Name = rows.FieldByName("ClassName").AsString();
    layer.Visible = rows.FieldByName("Visibled").AsBoolean();
    layer.Look = LookOfRow(rows);
    rowOf.emplace(std::pair{layer.Category, int(rows.FieldByName("Class").AsInteger())}, layer);
  }
  return rowOf;
}

// The project's frame: its name, the categories of the classification tree and the first view.
// A categories table that cannot be read leaves the groups named by their numbers.
// The atlas's name: its folder's, or the database's for an atlas kept in one.
QString AtlasName(const TMapContent& content) {
  if (base::RemoteFileKindOf(content.BaseDir)) return base::RootName(content.BaseDir);
  return QFileInfo(QDir::cleanPath(content.BaseDir)).dir().dirName();
}

// What a map server tells of itself, from the [Service] section of the atlas's ATLAS.INI; the
// title, when none is given, names the atlas.
TServiceInfo ServiceOf(const TMapContent& content) {
  const base::IniFile ini(base::ResolvePath(content.BaseDir, "ATLAS.INI"));
  const auto value = [&](const char* key) {
    return ini.ReadString("Service", key, QString()).trimmed();
  };
  TServiceInfo service{value("Title"),  value("Abstract"), value("Organization"),
                       value("Person"), value("Email"),    value("Phone")};
  if (service.Title.isEmpty())
    service.Title = QString::fromUtf8("Атлас мереж водопостачання і водовідведення «%1»")
                        .arg(AtlasName(content));
  return service;
}

// The fields a person reads of an object, in the order "Що тут?" shows them; the export's own
// fields (the objects' looks) are left out.
QStringList ReadingOrder(QStringList fields) {
  fields.removeIf([](const QString& f) { return f.startsWith("vandrel_"); });
  std::stable_sort(fields.begin(), fields.end(), [](const QString& a, const QString& b) {
    return ReadingRank(a) < ReadingRank(b);
  });
  return fields;
}

// What a web page may search a layer for: streets by their type and name (lines), addresses by
// street and house number (points).
QString SearchRole(const QStringList& fields, int geometry) {
  const auto has = [&](const char* f) { return fields.contains(f, Qt::CaseInsensitive); };
  if (!has("TYPE") || !has("STREET")) return {};
  if (geometry == 2 && !has("NUMBER")) return "street";
  if (geometry == 1 && has("NUMBER")) return "address";
  return {};
}

TQgisProject ProjectOf(TMapContent& content, const QString& path) {
  TQgisProject project;
  project.Name = QFileInfo(path).completeBaseName();
  project.FileName = QFileInfo(path).fileName();
  project.View = content.World.FullExtent;
  project.Service = ServiceOf(content);
  try {
    db::Table categories;
    categories.SetDatabaseName(content.BaseDir);
    categories.SetTableName("CATEGORYREEST.db");
    categories.Open();
    for (categories.First(); !categories.Eof(); categories.Next())
      project.Categories.push_back({int(categories.FieldByName("Category").AsInteger()),
                                    categories.FieldByName("CategoryName").AsString(),
                                    categories.FieldByName("Visibled").AsBoolean()});
  } catch (const db::Error&) {
    project.Categories.clear();
  }
  return project;
}

// Without a system asked for, the atlas's own where it declares one by its authority's code.
TGeoPackageOptions WithAtlasCrs(TMapContent& content, TGeoPackageOptions options) {
  if (!options.Crs.isEmpty()) return options;
  QString problem;
  const auto crs = gis::TAtlasCrs::Read(content.ClassTable.DatabaseName(), problem);
  // A declaration that cannot be read would leave every table without its place on the Earth.
  if (!problem.isEmpty())
    throw std::runtime_error((problem + QString::fromUtf8("; атлас не експортовано (виправте "
                                                          "CRS= або назвіть систему: --crs)"))
                                 .toStdString());
  if (crs && crs->GetAuthorityName(nullptr) && crs->GetAuthorityCode(nullptr))
    options.Crs = gis::TAtlasCrs::NameOf(*crs);
  return options;
}

} // namespace

TGeoPackageReport ExportGeoPackage(TMapContent& content, const QString& path,
                                   const TGeoPackageOptions& options) {
  TGeoPackageReport report;
  // Beside the target, so that putting it in place is a rename on one file system.
  const QString temp = path + ".part.gpkg";
  QFile::remove(temp);
  bool whole = false;
  try {
    const TGeoPackageOptions effective = WithAtlasCrs(content, options); // the writer keeps it
    TGeoPackageWriter writer(path, temp, effective);
    std::set<QString> used;
    const int total = int(content.Layers.size());
    const std::map<std::pair<int, int>, TProjectLayer> rowOf = ClassRows(content.ClassTable);
    TQgisProject project = ProjectOf(content, path);
    project.Labels = options.Labels;
    const TGroupSymbols groups = ReadGroupSymbols(content.GroupTable);
    std::vector<std::pair<QString, TLayerLook>> looks;
    for (int i = 0; i < total; ++i) {
      TCustomLayer& layer = *content.Layers[size_t(i)];
      const QString name = TableNameFor(layer, used);
      int64_t features = 0;
      QString problem;
      const auto row = rowOf.find({layer.Category, layer.Class});
      try {
        if (dynamic_cast<TRasterLayer*>(&layer))
          problem = QString::fromUtf8("растр не записується: файл містить лише векторні шари");
        else
          problem = writer.Layer(layer, name, row == rowOf.end() ? nullptr : &row->second.Look,
                                 groups, features);
      } catch (const db::Error& e) {
        problem = e.Message;
      } catch (const base::FileError& e) {
        problem = QString::fromUtf8(e.what()); // a layer's file that cannot be read
      } catch (const TGdalSourceError& e) {
        problem = QString::fromUtf8(e.what()); // a source that cannot be reached
      }
      if (!problem.isEmpty()) writer.DropLayer(name);
      if (problem.isEmpty()) {
        report.Tables << QString("%1: %2").arg(name).arg(features);
        if (row != rowOf.end()) {
          TProjectLayer entry = row->second;
          entry.Table = name;
          entry.Geometry = GeometryOf(layer);
          const QStringList fields = writer.FieldNames(name);
          entry.Fields = ReadingOrder(fields);
          entry.Search = SearchRole(fields, entry.Geometry);
          looks.emplace_back(name, entry.Look);
          project.Layers.push_back(entry);
        }
      } else
        report.Problems << QString("%1 (%2): %3").arg(layer.ClassName, layer.FileName, problem);
      report.Features += features;
      if (options.Progress && !options.Progress(i + 1, total)) {
        report.Cancelled = true;
        break;
      }
    }
    if (!report.Cancelled && options.Measurements) {
      for (const auto& [layer, features] : writer.Measurements(*options.Measurements)) {
        report.Tables << QString("%1: %2").arg(layer.Table).arg(features);
        report.Features += features;
        looks.emplace_back(layer.Table, layer.Look);
        project.Layers.push_back(layer);
      }
      if (!project.Layers.empty() && project.Layers.back().Category == kMeasurementsCategory)
        project.Categories.insert(project.Categories.begin(),
                                  {kMeasurementsCategory, QString::fromUtf8("Вимірювання"), true});
    }
    if (!report.Cancelled) {
      writer.Styles(looks);
      writer.Project(project);
    }
    writer.Close();
    whole = !report.Cancelled;
  } catch (...) {
    QFile::remove(temp);
    throw;
  }
  if (!whole) {
    QFile::remove(temp);
    return report;
  }
  std::error_code error;
  std::filesystem::rename(temp.toStdString(), path.toStdString(), error);
  if (error) {
    QFile::remove(temp);
    throw GeoPackageFailure(path, QString::fromStdString(error.message()));
  }
  return report;
}
