#include "TableModel.h"

#include "Error.h"

namespace db {

QVariant ToVariant(const Value& value) {
  return std::visit(
      [](const auto& v) -> QVariant {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>)
          return QVariant();
        else if constexpr (std::is_same_v<T, int64_t>)
          return QVariant(qlonglong(v));
        else
          return QVariant::fromValue(v);
      },
      value);
}

Value FromVariant(const QVariant& value) {
  if (!value.isValid() || value.isNull()) return Value();
  switch (value.typeId()) {
  case QMetaType::Bool:
    return value.toBool();
  case QMetaType::Int:
  case QMetaType::UInt:
  case QMetaType::LongLong:
  case QMetaType::ULongLong:
    return int64_t(value.toLongLong());
  case QMetaType::Double:
  case QMetaType::Float:
    return value.toDouble();
  case QMetaType::QDate:
    return value.toDate();
  case QMetaType::QTime:
    return value.toTime();
  case QMetaType::QDateTime:
    return value.toDateTime();
  case QMetaType::QByteArray:
    return value.toByteArray();
  default:
    return value.toString();
  }
}

TableModel::TableModel(Table& table, QObject* parent)
    : QAbstractTableModel(parent), Source(table) {}

int TableModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !Source.Active()) return 0;
  return Source.RecordCount();
}

int TableModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid() || !Source.Active()) return 0;
  return int(Source.FieldDefs().size());
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return QVariant();
  const Value v = Source.ValueAt(index.row(), size_t(index.column()));
  if (role == Qt::DisplayRole && std::holds_alternative<QByteArray>(v))
    return QString("(%1 bytes)").arg(std::get<QByteArray>(v).size());
  return ToVariant(v);
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || !Source.Active()) return QVariant();
  if (orientation == Qt::Horizontal) {
    const auto& defs = Source.FieldDefs();
    return section >= 0 && section < int(defs.size()) ? QVariant(defs[size_t(section)].Name)
                                                      : QVariant();
  }
  return section + 1;
}

bool TableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || ReadOnly) return false;
  try {
    Source.SetRecNo(index.row() + 1);
    Source.Edit();
    Source.Fields()[size_t(index.column())].SetValue(FromVariant(value));
    Source.Post();
    Error.clear();
  } catch (const db::Error& e) {
    Source.Cancel();
    Error = e.Message;
    return false;
  }
  // A key change may move rows: show the table as it now is.
  Reload();
  return true;
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
  if (!ReadOnly && !IsBlobType(Source.FieldDefs()[size_t(index.column())].Type))
    f |= Qt::ItemIsEditable;
  return f;
}

void TableModel::Reload() {
  beginResetModel();
  endResetModel();
}

} // namespace db
