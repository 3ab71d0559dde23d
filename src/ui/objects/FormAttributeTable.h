#pragma once
// "Таблиця атрибутів": the rows of a layer's table (its objects table, or its geometry file's
// attribute table) in a grid read from the table store as it scrolls (no copy of the rows),
// sorted by a column at a click on its header, narrowed by a text found in any field or by a
// condition in the atlas's SQL, exported as shown to CSV (UTF-8, RFC 4180), edited where the
// work mode writes. The rows chosen in the grid are the map's selection, and "Показати на
// карті" brings the first of them into view. The window finds its layer by category and class
// whenever it needs it, so a map loaded again leaves it working.

#include "AttributeRows.h"

#include <QDialog>
#include <memory>
#include <vector>

#include "db/Table.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class TCustomLayer;
class TFAMap;

class TFormAttributeTable : public QDialog {
public:
  // Opens the layer's table in a cursor of its own; raises db::Error naming the table when it
  // cannot be opened.
  TFormAttributeTable(TFAMap& map, TCustomLayer& layer, QWidget* parent = nullptr);

  // Sorts the shown rows by a column (ascending, or descending when already sorted by it).
  void SortBy(int column);
  // Shows only the rows with `text` in some field (letter case ignored); all rows when empty.
  void Filter(const QString& text);
  // Shows only the rows meeting a condition in the atlas's SQL (what follows WHERE). The
  // condition is checked before any row is read; one refused keeps the rows shown and says why
  // in the count line. False when refused.
  bool FilterByCondition(const QString& condition);
  // Lets the cells be edited (work mode 0): every field but the key, pictures and the fields
  // the map's own windows keep (an object's place, number, group and logo).
  void AllowEditing();
  // The shown rows as CSV: a header line of the field names, then a line per row.
  QByteArray Csv() const;
  // The layer's numbers (record or row) of the rows chosen in the grid.
  std::vector<int> ChosenObjects() const;
  // Chooses the rows of the map's selection that are of this layer and shown, and no others.
  void FollowMapSelection();
  // Brings the first chosen object into view, at a scale at which its layer is drawn.
  void ShowChosen();

  QLineEdit* edFilter = nullptr;
  QCheckBox* chkCondition = nullptr;
  QTableView* grdRows = nullptr;
  QLabel* lblCount = nullptr;
  QPushButton* btnShow = nullptr;
  QPushButton* btnExport = nullptr;

private:
  void ChosenChanged();
  void ExportCsv();
  void FitColumns(); // to the names and the first rows' values
  void ShowCount();
  // Shows these rows, in the sort order chosen.
  void ShowRows(std::vector<int> positions);
  // The layer's number of the object at a position of the cursor.
  int ObjectOfPosition(int position) const;

  // The layer as the map has it now; null when the map has none of this class any more.
  TCustomLayer* Layer() const;
  void ApplyFilter();

  TFAMap& Map;
  const int LayerCategory, LayerClass;
  const QString LayerFileName;
  bool RowsAreObjects = false; // the table is the layer's objects table (not a geometry file's)
  db::Table Rows;
  std::unique_ptr<TAttributeRows> Model;
  int SortColumn = -1;
  bool SortDescending = false;
  bool Following = false; // the grid's choice is being set from the map's selection
};
