#pragma once
// What a vector source GDAL opens holds, for the layers window: its layers, each with the kind
// of layer that draws it, its extent and its text fields.

#include "core/World.h"

#include <QString>
#include <QStringList>
#include <vector>

struct TGdalSourceLayer {
  QString Name;
  int Kind = 0;     // 11 points, 13 lines, 15 areas; 0 for a table without shapes
  TExtent Extent{}; // in the atlas's coordinates
  QStringList TextFields;
  QString Refusal; // why the layer would not be drawn in the atlas (its system), or empty
};

// The layers of the source (a file path or a connection string), their extents brought to the
// atlas whose BASE folder is `atlasBaseDir`; raises TGdalSourceError with GDAL's reason when it
// cannot be opened.
std::vector<TGdalSourceLayer> ListGdalLayers(const QString& source, const QString& atlasBaseDir);
