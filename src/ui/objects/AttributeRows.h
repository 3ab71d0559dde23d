#pragma once
// The rows of the attribute table's grid: positions in a cursor's primary order, as sorted and
// filtered, read from the table store as they are shown (no copy of the rows). Cells are edited
// only when the window allows it, each change written to the file as one post.

#include "db/Table.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <functional>
#include <vector>

class TAttributeRows : public QAbstractTableModel {
public:
  explicit TAttributeRows(db::Table& table) : Table(table) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  void SetShown(std::vector<int> positions);
  const std::vector<int>& Shown() const { return Positions; }

  // Cells may be edited, except in these fields (by name, letter case ignored) and in pictures.
  void AllowEditing(const QStringList& keptFields);
  bool Editable(int column) const;
  // Writes `text` into a field of the row at `position`; raises db::Error naming the table and
  // the field when the value does not fit or the file refuses it (the row keeps its values).
  void Write(int position, int column, const QString& text);
  // Told of every refused change, with the reason.
  std::function<void(const QString&)> OnRefused;
  // Told after a change was written.
  std::function<void(int position)> OnWritten;

private:
  db::Table& Table;
  std::vector<int> Positions;
  bool EditingAllowed = false;
  QStringList Kept;
};
