#include "FormAttributeTable.h"

#include "base/AtomicFile.h"
#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "db/Error.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

namespace {

// A field of a CSV line: quoted when it holds a separator, a quote or a line break, its quotes
// doubled.
QByteArray CsvField(const QString& text) {
  QByteArray bytes = text.toUtf8();
  if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') &&
      !bytes.contains('\r'))
    return bytes;
  bytes.replace("\"", "\"\"");
  return "\"" + bytes + "\"";
}

} // namespace

// ---------------------------------------------------------------- the rows

int TAttributeRows::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(Positions.size());
}

int TAttributeRows::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || !Table.Active() ? 0 : int(Table.FieldDefs().size());
}

QVariant TAttributeRows::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole || index.row() >= int(Positions.size()))
    return {};
  try {
    const db::Value v = Table.ValueAt(Positions[size_t(index.row())], size_t(index.column()));
    if (const auto* bytes = std::get_if<QByteArray>(&v))
      return QString::fromUtf8("(%1 байт)").arg(bytes->size());
    return db::ValueToString(v);
  } catch (const db::Error& e) {
    return e.Message; // a row the file no longer holds says why in its cell
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

// ---------------------------------------------------------------- the window

TFormAttributeTable::TFormAttributeTable(TFAMap& map, TCustomLayer& layer, QWidget* parent)
    : QDialog(parent), Map(map), Layer(layer) {
  setObjectName("FormAttributeTable");
  // The objects table of points kept in a table, else the geometry file's attribute table.
  const db::Table* source = layer.ObjectRowsTable();
  RowsAreObjects = source != nullptr;
  if (!source) source = &layer.AttrTable;
  if (source->TableName().isEmpty())
    throw db::Error(QString::fromUtf8("Шар \"%1\" не має таблиці атрибутів").arg(layer.ClassName));
  Rows.SetDatabaseName(source->DatabaseName());
  Rows.SetTableName(source->TableName());
  Rows.Open();
  setWindowTitle(QString::fromUtf8("Таблиця атрибутів: %1").arg(layer.ClassName));
  resize(900, 560);

  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout();
  bar->addWidget(new QLabel(QString::fromUtf8("Знайти:"), this));
  edFilter = new QLineEdit(this);
  edFilter->setObjectName("edFilter");
  edFilter->setPlaceholderText(QString::fromUtf8("текст у будь-якому полі, Enter"));
  bar->addWidget(edFilter, 1);
  btnShow = new QPushButton(QString::fromUtf8("Показати на карті"), this);
  btnShow->setObjectName("btnShow");
  bar->addWidget(btnShow);
  btnExport = new QPushButton(QString::fromUtf8("Експорт у CSV..."), this);
  btnExport->setObjectName("btnExport");
  bar->addWidget(btnExport);
  layout->addLayout(bar);
  grdRows = new QTableView(this);
  grdRows->setObjectName("grdRows");
  grdRows->setSelectionBehavior(QAbstractItemView::SelectRows);
  grdRows->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdRows->verticalHeader()->setDefaultSectionSize(grdRows->fontMetrics().height() + 4);
  layout->addWidget(grdRows, 1);
  lblCount = new QLabel(this);
  lblCount->setObjectName("lblCount");
  layout->addWidget(lblCount);

  Model = std::make_unique<TAttributeRows>(Rows);
  std::vector<int> all(size_t(Rows.RecordCount()));
  std::iota(all.begin(), all.end(), 0);
  Model->SetShown(std::move(all));
  grdRows->setModel(Model.get());
  ShowCount();

  connect(grdRows->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int column) { SortBy(column); });
  connect(edFilter, &QLineEdit::returnPressed, this, [this] { Filter(edFilter->text()); });
  connect(grdRows->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { ChosenChanged(); });
  connect(btnShow, &QPushButton::clicked, this, [this] { ShowChosen(); });
  connect(btnExport, &QPushButton::clicked, this, [this] { ExportCsv(); });
}

void TFormAttributeTable::ShowCount() {
  lblCount->setText(
      QString::fromUtf8("Рядків: %1 з %2").arg(Model->Shown().size()).arg(Rows.RecordCount()));
}

void TFormAttributeTable::SortBy(int column) {
  if (column < 0 || column >= Model->columnCount()) return;
  SortDescending = column == SortColumn && !SortDescending;
  SortColumn = column;
  // One walk of the column's values, then the positions sorted by them (ties keep their order).
  std::vector<db::Value> values(size_t(Rows.RecordCount()));
  Rows.ReadColumns({size_t(column)}, [&](size_t position, const std::vector<db::Value>& v) {
    values[position] = v[0];
  });
  std::vector<int> shown = Model->Shown();
  std::stable_sort(shown.begin(), shown.end(), [&](int a, int b) {
    const int c = db::CompareValues(values[size_t(a)], values[size_t(b)]);
    return SortDescending ? c > 0 : c < 0;
  });
  Model->SetShown(std::move(shown));
  grdRows->horizontalHeader()->setSortIndicatorShown(true);
  grdRows->horizontalHeader()->setSortIndicator(column, SortDescending ? Qt::DescendingOrder
                                                                       : Qt::AscendingOrder);
}

void TFormAttributeTable::Filter(const QString& text) {
  const QString wanted = text.trimmed();
  std::vector<int> shown;
  if (wanted.isEmpty()) {
    shown.resize(size_t(Rows.RecordCount()));
    std::iota(shown.begin(), shown.end(), 0);
  } else {
    std::vector<size_t> fields;
    for (size_t f = 0; f < Rows.FieldDefs().size(); ++f)
      if (!db::IsBlobType(Rows.FieldDefs()[f].Type)) fields.push_back(f);
    Rows.ReadColumns(fields, [&](size_t position, const std::vector<db::Value>& values) {
      for (const db::Value& v : values)
        if (db::ValueToString(v).contains(wanted, Qt::CaseInsensitive)) {
          shown.push_back(int(position));
          return;
        }
    });
  }
  Model->SetShown(std::move(shown));
  if (SortColumn >= 0) {
    // The order chosen stays: sorted again in the same direction.
    SortDescending = !SortDescending;
    SortBy(SortColumn);
  }
  ShowCount();
}

QByteArray TFormAttributeTable::Csv() const {
  QByteArray csv;
  const auto& defs = Rows.FieldDefs();
  for (size_t f = 0; f < defs.size(); ++f)
    csv += (f ? "," : "") + CsvField(defs[f].Name);
  csv += "\r\n";
  for (int position : Model->Shown()) {
    for (size_t f = 0; f < defs.size(); ++f) {
      const db::Value v = Rows.ValueAt(position, f);
      csv += (f ? "," : "") +
             CsvField(db::IsBlobType(defs[f].Type) ? QString() : db::ValueToString(v));
    }
    csv += "\r\n";
  }
  return csv;
}

int TFormAttributeTable::ObjectOfPosition(int position) const {
  return RowsAreObjects ? position : Rows.RecordOfPosition(position);
}

std::vector<int> TFormAttributeTable::ChosenObjects() const {
  std::vector<int> objects;
  for (const QModelIndex& row : grdRows->selectionModel()->selectedRows())
    objects.push_back(ObjectOfPosition(Model->Shown()[size_t(row.row())]));
  std::sort(objects.begin(), objects.end());
  return objects;
}

void TFormAttributeTable::ChosenChanged() {
  std::vector<TSelectedObject> records;
  for (int object : ChosenObjects())
    if (object >= 0) records.push_back({Layer.Category, Layer.Class, object});
  Map.SetSelection(std::move(records));
}

void TFormAttributeTable::ShowChosen() {
  const std::vector<int> chosen = ChosenObjects();
  if (chosen.empty() || chosen.front() < 0) return;
  try {
    Map.ShowLayerRecord(Layer, chosen.front());
    // The whole choice stays marked, not only the object shown.
    ChosenChanged();
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
  }
}

void TFormAttributeTable::ExportCsv() {
  const QString path =
      QFileDialog::getSaveFileName(this, QString::fromUtf8("Експорт у CSV"),
                                   QFileInfo(Layer.FileName).completeBaseName() + ".csv",
                                   QString::fromUtf8("Таблиці CSV (*.csv)"));
  if (path.isEmpty()) return;
  try {
    base::WriteFileAtomically(path, Csv());
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(
        QString::fromUtf8("Не вдається записати %1: %2").arg(path, QString::fromUtf8(e.what())));
  }
}
