#pragma once
// Each object's own look as the layer draws it — from the layer's style file, its group's
// symbol, or its sizing field — as the values of the style columns of its GeoPackage table.

#include "LayerStyle.h"

#include "db/Value.h"

#include <QString>
#include <QVariant>
#include <map>
#include <memory>
#include <vector>

class TCustomLayer;
namespace base {
class MappedFile;
}
namespace db {
class Table;
}

// The symbols of the groups of the classification tree: (category, class, group) → sign, font.
using TGroupSymbols = std::map<std::tuple<int, int, int>, std::pair<QString, QString>>;
TGroupSymbols ReadGroupSymbols(db::Table& groups);

struct TStyleColumn {
  QString Name;
  bool Real = false; // a number, else a text
};

class TObjectLooks {
public:
  // `fields` are the names of the layer's table's fields, in order.
  TObjectLooks(TCustomLayer& layer, const TLayerLook& look, const TGroupSymbols& groups,
               const std::vector<QString>& fields);
  ~TObjectLooks();

  const std::vector<TStyleColumn>& Columns() const { return ColumnList; }
  // The values of the columns for a geometry record (or, for points kept in a table, a row) and
  // its row's values; null values where the object has no look of its own.
  std::vector<QVariant> Values(int record, const std::vector<db::Value>* row);

private:
  unsigned Kinds;
  TLayerLook Look;
  int Category, Class;
  const TGroupSymbols& Groups;
  std::unique_ptr<base::MappedFile> Styles;
  int GroupField = -1, SizeField = -1, ImageField = -1;
  // The logos by image number, as QGIS takes an embedded picture ("base64:" PNG), with its size
  // in pixels; read from the images table when first asked for.
  struct Logo {
    QString Picture;
    int Width = 0, Height = 0;
  };
  std::map<int64_t, Logo> Logos;
  QString ImagesDir;
  Logo LogoOf(int64_t image);
  std::vector<TStyleColumn> ColumnList;
};
