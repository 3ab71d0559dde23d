#pragma once
// A Qt item model over a table cursor, for the grids and data-bound editors of the windows: one
// row per table row in the cursor's order, one column per field. Edits go through the cursor
// (Edit, set, Post), so they are on disk when setData returns.

#include "Table.h"

#include <QAbstractTableModel>

namespace db {

class TableModel : public QAbstractTableModel {
public:
  explicit TableModel(Table& table, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Call after the table changed behind the model (opened, filtered, edited directly).
  void Reload();
  // The message of the last edit that failed; empty after a successful one.
  const QString& LastError() const { return Error; }
  void SetReadOnly(bool readOnly) { ReadOnly = readOnly; }

private:
  Table& Source;
  QString Error;
  bool ReadOnly = false;
};

QVariant ToVariant(const Value& value);
Value FromVariant(const QVariant& value);

} // namespace db
