#pragma once
// "Таблиця атрибутів": the rows of a layer's table (its objects table, or its geometry file's
// attribute table) in a grid read from the table store as it scrolls (no copy of the rows),
// sorted by a column at a click on its header, narrowed by a text found in any field, exported
// as shown to CSV (UTF-8, RFC 4180). The rows chosen in the grid are the map's selection, and
// "Показати" brings the first of them into view.

#include <QAbstractTableModel>
#include <QDialog>
#include <memory>
#include <vector>

#include "db/Table.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class TCustomLayer;
class TFAMap;

// The rows of the grid: positions in the cursor's primary order, as sorted and filtered.
class TAttributeRows : public QAbstractTableModel {
public:
  explicit TAttributeRows(db::Table& table) : Table(table) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  void SetShown(std::vector<int> positions);
  const std::vector<int>& Shown() const { return Positions; }

private:
  db::Table& Table;
  std::vector<int> Positions;
};

class TFormAttributeTable : public QDialog {
public:
  // Opens the layer's table in a cursor of its own; raises db::Error naming the table when it
  // cannot be opened.
  TFormAttributeTable(TFAMap& map, TCustomLayer& layer, QWidget* parent = nullptr);

  // Sorts the shown rows by a column (ascending, or descending when already sorted by it).
  void SortBy(int column);
  // Shows only the rows with `text` in some field (letter case ignored); all rows when empty.
  void Filter(const QString& text);
  // The shown rows as CSV: a header line of the field names, then a line per row.
  QByteArray Csv() const;
  // The layer's numbers (record or row) of the rows chosen in the grid.
  std::vector<int> ChosenObjects() const;
  // Brings the first chosen object into view, at a scale at which its layer is drawn.
  void ShowChosen();

  QLineEdit* edFilter = nullptr;
  QTableView* grdRows = nullptr;
  QLabel* lblCount = nullptr;
  QPushButton* btnShow = nullptr;
  QPushButton* btnExport = nullptr;

private:
  void ChosenChanged();
  void ExportCsv();
  void ShowCount();
  // The layer's number of the object at a position of the cursor.
  int ObjectOfPosition(int position) const;

  TFAMap& Map;
  TCustomLayer& Layer;
  bool RowsAreObjects = false; // the table is the layer's objects table (not a geometry file's)
  db::Table Rows;
  std::unique_ptr<TAttributeRows> Model;
  int SortColumn = -1;
  bool SortDescending = false;
};
