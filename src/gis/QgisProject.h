#pragma once
// The atlas as a QGIS project stored in its GeoPackage (`qgis_projects`): the tables as layers in
// the atlas's drawing order, grouped by the categories of the classification tree, each class a
// layer with its look and switched on as the layers table says, and the atlas's whole extent as
// the first view. The layers name their tables relative to the GeoPackage, so the file can be
// moved or sent as it is. A map server (QGIS Server) serves the project as it is: every layer
// and group has an ASCII name (the table's, the category's transliterated), its Cyrillic name
// as the title, the service's title and contact, the atlas's coordinate system among those
// offered, and the fields each layer tells of an object.

#include "LayerStyle.h"

#include "core/World.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

struct TProjectLayer {
  QString Table; // the GeoPackage table, also the layer's name in a map server
  QString Name;  // the class's name, shown in QGIS's layer tree and as the layer's title
  int Category = 0;
  bool Visible = true;
  int Geometry = 0; // 1 points, 2 lines, 3 areas
  TLayerLook Look;
  // The fields a map server tells of an object (GetFeatureInfo), in the order a person reads
  // them; the table's other fields are left out.
  QStringList Fields;
  // What a web page may search the layer for: "street" (its TYPE and STREET), "address" (its
  // TYPE, STREET and NUMBER), or empty; such a layer is also served as features (WFS).
  QString Search;
};

// What a map server tells of itself (its capabilities): the atlas's [Service] section.
struct TServiceInfo {
  QString Title, Abstract, Organization, Person, Email, Phone;
};

struct TProjectCategory {
  int Category = 0;
  QString Name;
  bool Visible = true;
};

// The search roles of TProjectLayer::Search, as a map server's keyword of the layer
// ("vandrel-search-street").
inline const char* kSearchKeywordPrefix = "vandrel-search-";

struct TQgisProject {
  QString Name;      // the project's name in the GeoPackage
  QString FileName;  // the GeoPackage's file name, without a folder
  QString CrsWkt;    // the coordinate system, or empty for none
  QString CrsAuthId; // "EPSG:N", or empty
  TExtent View;
  TServiceInfo Service;
  bool Labels = true;                       // false: no layer draws its labels
  std::vector<TProjectCategory> Categories; // in the tree's order
  std::vector<TProjectLayer> Layers;        // in drawing order, the first drawn first
};

// The project document (.qgs).
QString QgisProjectXml(const TQgisProject& project);
// The project as QGIS keeps it in a GeoPackage: the .qgs in a zip archive (.qgz).
QByteArray ZippedProject(const QString& xml);
