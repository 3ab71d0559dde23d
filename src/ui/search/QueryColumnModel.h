#pragma once
// One column of a query's result as a read-only item model, for the search window's grid.

#include "db/Query.h"

#include <QAbstractTableModel>

class TQueryColumnModel : public QAbstractTableModel {
public:
  TQueryColumnModel(const db::Query& query, QObject* parent = nullptr)
      : QAbstractTableModel(parent), Query(query) {}

  // Shows the result again, in the column of that name (none: an empty grid), headed by the
  // caption.
  void Reset(const QString& column, const QString& caption) {
    beginResetModel();
    Column = Query.Active() ? Query.FindColumn(column) : -1;
    Caption = caption;
    endResetModel();
  }
  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() || Column < 0 ? 0 : Query.RecordCount();
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : 1;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || Column < 0) return {};
    return db::ValueToString(Query.ValueAt(index.row(), Column));
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (role != Qt::DisplayRole) return {};
    return orientation == Qt::Horizontal ? QVariant(Caption) : QVariant(section + 1);
  }

private:
  const db::Query& Query;
  int Column = -1;
  QString Caption;
};
