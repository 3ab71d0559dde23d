#pragma once
// The pieces of the demo atlas writer, shared by its source files.

#include "AtlasWriter.h"

#include "db/FieldDef.h"
#include "db/Value.h"

#include <map>
#include <vector>

namespace demo {

// One row of the layers table, by field name; fields not set take their empty value.
struct LayerRow {
  std::map<QString, db::Value> Values;
  LayerRow& Set(const QString& field, db::Value value) {
    Values[field] = std::move(value);
    return *this;
  }
  // Text given as a literal (a char pointer would otherwise become a boolean).
  LayerRow& Set(const QString& field, const char* text) {
    return Set(field, db::Value(QString::fromUtf8(text)));
  }
};

// The scales from which the node layers are drawn (pixels per metre); the grid index gives its
// records the same window.
inline constexpr double kNodeZoomIn = 0.6;
inline constexpr double kHydrantZoomIn = 1.0;

struct AtlasContext {
  QString Dir, BaseDir, MapsDir, RefDir, UserObjDir, HelpDir;
  City C;
  Extent StreetsBox; // header extent of the streets geometry (origin of the label grid)
  Extent FullExtent; // union of the extents of the map's geometry layers
  std::vector<LayerRow> Layers;
  AtlasSummary Summary;

  void Note(const QString& line) { Summary.Lines << line; }
};

// MAPS: geometry files, attribute tables, style files, object tables.
void WriteMaps(AtlasContext& ctx);
// BASE: layers, categories, groups, images, street dictionary, street segments, dictionary.
void WriteBase(AtlasContext& ctx);
// USER_OBJ: the object index tables.
void WriteObjectIndex(AtlasContext& ctx);
// REFERENSE and HELP documents.
void WriteDocuments(AtlasContext& ctx);

// A row of the layers table with the common fields of a layer filled in.
LayerRow MakeLayer(int category, int cls, const QString& name, int kind, const QString& file,
                   const Extent& extent);

// Windows-1251 text of the atlas's street addresses: "вул. Шевченка".
QString StreetTitle(const City& c, int code);

} // namespace demo
