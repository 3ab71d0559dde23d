#pragma once
// The atlas as a QGIS project stored in its GeoPackage (`qgis_projects`): the tables as layers in
// the atlas's drawing order, grouped by the categories of the classification tree, each class a
// layer with its look and switched on as the layers table says, and the atlas's whole extent as
// the first view. The layers name their tables relative to the GeoPackage, so the file can be
// moved or sent as it is.

#include "LayerStyle.h"

#include "core/World.h"

#include <QByteArray>
#include <QString>
#include <vector>

struct TProjectLayer {
  QString Table; // the GeoPackage table
  QString Name;  // the class's name, shown in QGIS's layer tree
  int Category = 0;
  bool Visible = true;
  int Geometry = 0; // 1 points, 2 lines, 3 areas
  TLayerLook Look;
};

struct TProjectCategory {
  int Category = 0;
  QString Name;
  bool Visible = true;
};

struct TQgisProject {
  QString Name;      // the project's name in the GeoPackage
  QString FileName;  // the GeoPackage's file name, without a folder
  QString CrsWkt;    // the coordinate system, or empty for none
  QString CrsAuthId; // "EPSG:N", or empty
  TExtent View;
  std::vector<TProjectCategory> Categories; // in the tree's order
  std::vector<TProjectLayer> Layers;        // in drawing order, the first drawn first
};

// The project document (.qgs).
QString QgisProjectXml(const TQgisProject& project);
// The project as QGIS keeps it in a GeoPackage: the .qgs in a zip archive (.qgz).
QByteArray ZippedProject(const QString& xml);
