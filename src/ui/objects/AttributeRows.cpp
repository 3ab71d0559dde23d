#include "AttributeRows.h"

#include "db/Error.h"

#include <QDate>

int TAttributeRows::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(Positions.size());
}

int TAttributeRows::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || !Table.Active() ? 0 : int(Table.FieldDefs().size());
}

QVariant TAttributeRows::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole) ||
      index.row() >= int(Positions.size()))
    return {};
  try {
    const db::Value v = Table.ValueAt(Positions[size_t(index.row())], size_t(index.column()));
    if (const auto* bytes = std::get_if<QByteArray>(&v))
      return QString::fromUtf8("(%1 байт)").arg(bytes->size());
    return db::ValueToString(v);
  } catch (const db::Error& e) {
    return role == Qt::DisplayRole ? e.Message : QString(); // a row the file no longer holds
  }
}

QVariant TAttributeRows::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  const auto& defs = Table.FieldDefs();
  return section >= 0 && section < int(defs.size()) ? defs[size_t(section)].Name : QString();
}

void TAttributeRows::SetShown(std::vector<int> positions) {
  beginResetModel();
  Positions = std::move(positions);
  endResetModel();
}

void TAttributeRows::AllowEditing(const QStringList& keptFields) {
  EditingAllowed = true;
  Kept = keptFields;
}

bool TAttributeRows::Editable(int column) const {
  const auto& defs = Table.FieldDefs();
  if (!EditingAllowed || column < 0 || column >= int(defs.size())) return false;
  const db::FieldDef& def = defs[size_t(column)];
  // The key names the row; pictures and memo bytes have their own windows.
  if (column < Table.KeyFieldCount() || db::IsBlobType(def.Type)) return false;
  return !Kept.contains(def.Name, Qt::CaseInsensitive);
}

Qt::ItemFlags TAttributeRows::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.isValid() && Editable(index.column())) f |= Qt::ItemIsEditable;
  return f;
}

void TAttributeRows::Write(int position, int column, const QString& text) {
  const db::FieldDef& def = Table.FieldDefs()[size_t(column)];
  QString value = text;
  switch (def.Type) {
  case db::FieldType::Float:
  case db::FieldType::Currency:
  case db::FieldType::BCD:
    value.replace(',', '.'); // the desktop's decimal comma; files keep the point
    break;
  case db::FieldType::String:
    // Cut silently, a text would lose its end.
    if (text.size() > int(def.Size))
      throw db::Error::ForField(Table.TableName(), def.Name,
                                QString::fromUtf8("не більше %1 знаків").arg(def.Size));
    break;
  case db::FieldType::Date:
    if (!text.trimmed().isEmpty() && !QDate::fromString(text.trimmed(), Qt::ISODate).isValid())
      throw db::Error::ForField(Table.TableName(), def.Name,
                                QString::fromUtf8("\"%1\" не є датою РРРР-ММ-ДД").arg(text));
    break;
  default:
    break;
  }
  Table.SetRecNo(position + 1);
  Table.Edit();
  try {
    Table.Fields()[size_t(column)].SetValue(value);
    Table.Post();
  } catch (...) {
    Table.Cancel();
    throw;
  }
}

bool TAttributeRows::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || !Editable(index.column()) ||
      index.row() >= int(Positions.size()))
    return false;
  const int position = Positions[size_t(index.row())];
  if (value.toString() == data(index, Qt::EditRole).toString()) return false; // nothing changed
  try {
    Write(position, index.column(), value.toString());
  } catch (const db::Error& e) {
    if (OnRefused) OnRefused(e.Message);
    return false;
  }
  emit dataChanged(index, index);
  if (OnWritten) OnWritten(position);
  return true;
}
