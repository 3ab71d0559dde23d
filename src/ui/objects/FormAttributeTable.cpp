#include "FormAttributeTable.h"

#include "ui/common/CsvExport.h"

#include "base/AtomicFile.h"
#include "base/Csv.h"
#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "db/Error.h"
#include "db/Query.h"

#include <QCheckBox>
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

// ---------------------------------------------------------------- the window

TFormAttributeTable::TFormAttributeTable(TFAMap& map, TCustomLayer& layer, QWidget* parent)
    : QDialog(parent), Map(map), LayerCategory(layer.Category), LayerClass(layer.Class),
      LayerFileName(layer.FileName) {
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
  chkCondition = new QCheckBox(QString::fromUtf8("Умова SQL"), this);
  chkCondition->setObjectName("chkCondition");
  chkCondition->setToolTip(QString::fromUtf8(
      "Умова мовою SQL атласу, як після WHERE: DIAMETER >= 200 AND MATERIAL = \"ПВХ\""));
  bar->addWidget(chkCondition);
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
  FitColumns();
  ShowCount();

  connect(grdRows->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int column) { SortBy(column); });
  connect(edFilter, &QLineEdit::returnPressed, this, [this] { ApplyFilter(); });
  connect(chkCondition, &QCheckBox::toggled, this, [this](bool condition) {
    edFilter->setPlaceholderText(condition ? QString::fromUtf8("умова SQL, як після WHERE, Enter")
                                           : QString::fromUtf8("текст у будь-якому полі, Enter"));
  });
  Model->OnRefused = [](const QString& reason) {
    base::UserMessages::Current().ShowMessage(reason);
  };
  Model->OnWritten = [this](int) {
    if (TCustomLayer* layer = Layer()) layer->MarkChanged();
    Map.Redraw(); // labels and names drawn from the row
  };
  connect(grdRows->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { ChosenChanged(); });
  connect(btnShow, &QPushButton::clicked, this, [this] { ShowChosen(); });
  connect(btnExport, &QPushButton::clicked, this, [this] { ExportCsv(); });
}

TCustomLayer* TFormAttributeTable::Layer() const {
  return Map.Content.LayerOf(LayerCategory, LayerClass);
}

void TFormAttributeTable::AllowEditing() {
  // An object's identity, place, group and logo, and the nodes at a pipe's ends, are the map's
  // and its own tools' to change: the layer, the object index and the topology rely on them.
  Model->AllowEditing(RowsAreObjects ? QStringList{"Category", "Class", "ObjectCode", "X", "Y",
                                                   "NUMGROUP", "ImageIndex"}
                                     : QStringList{"OBJECTCODE", "HUB1CODE", "HUB2CODE"});
  // Only a deliberate start edits a cell (a double click, F2): a key typed into the grid while
  // the user meant another window changes nothing.
  grdRows->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
}

void TFormAttributeTable::ApplyFilter() {
  if (chkCondition->isChecked())
    FilterByCondition(edFilter->text());
  else
    Filter(edFilter->text());
}

bool TFormAttributeTable::FilterByCondition(const QString& condition) {
  if (condition.trimmed().isEmpty()) {
    Filter(QString());
    return true;
  }
  std::vector<int> shown;
  try {
    // In parentheses: a condition cannot end the statement and start another.
    db::Query query;
    query.SetDatabaseName(Rows.DatabaseName());
    query.SQL << QString("SELECT %1 FROM %2").arg(db::Query::PositionColumn, Rows.TableName())
              << "WHERE (" + condition + ")";
    query.Open();
    for (int r = 0; r < query.RecordCount(); ++r) {
      const int64_t position = db::ValueToInteger(query.ValueAt(r, 0));
      if (position >= 0 && position < Rows.RecordCount()) shown.push_back(int(position));
    }
  } catch (const db::Error& e) {
    lblCount->setText(QString::fromUtf8("Умову не прийнято: %1").arg(e.Message));
    return false;
  }
  std::sort(shown.begin(), shown.end());
  ShowRows(std::move(shown));
  return true;
}

void TFormAttributeTable::FitColumns() {
  // Each column as wide as its name and the values of the first rows, within a third of a
  // screen: nothing cut that a look would need, no column pushing the others out of sight.
  QHeaderView* header = grdRows->horizontalHeader();
  header->setResizeContentsPrecision(200);
  grdRows->resizeColumnsToContents();
  constexpr int kWidest = 320;
  for (int c = 0; c < header->count(); ++c)
    if (header->sectionSize(c) > kWidest) header->resizeSection(c, kWidest);
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
  ShowRows(std::move(shown));
}

void TFormAttributeTable::ShowRows(std::vector<int> positions) {
  Model->SetShown(std::move(positions));
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
    csv += (f ? "," : "") + base::CsvField(defs[f].Name).toUtf8();
  csv += "\r\n";
  for (int position : Model->Shown()) {
    for (size_t f = 0; f < defs.size(); ++f) {
      const db::Value v = Rows.ValueAt(position, f);
      csv +=
          (f ? "," : "") +
          base::CsvField(db::IsBlobType(defs[f].Type) ? QString() : db::ValueToString(v)).toUtf8();
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
  if (Following) return;
  std::vector<TSelectedObject> records;
  for (int object : ChosenObjects())
    if (object >= 0) records.push_back({int16_t(LayerCategory), LayerClass, object});
  // The map's selection set from here needs no following back.
  Following = true;
  Map.SetSelection(std::move(records));
  Following = false;
}

void TFormAttributeTable::FollowMapSelection() {
  if (Following) return;
  // The positions of the selected objects of this layer, then the grid's rows showing them.
  std::vector<int> positions;
  for (const TSelectedObject& s : Map.Selection)
    if (s.Category == LayerCategory && s.Class == LayerClass && s.ObjectIndex >= 0)
      positions.push_back(RowsAreObjects ? s.ObjectIndex : Rows.PositionOfRecord(s.ObjectIndex));
  std::sort(positions.begin(), positions.end());
  QItemSelection chosen;
  const std::vector<int>& shown = Model->Shown();
  int first = -1;
  for (int row = 0; row < int(shown.size()); ++row)
    if (std::binary_search(positions.begin(), positions.end(), shown[size_t(row)])) {
      chosen.select(Model->index(row, 0), Model->index(row, Model->columnCount() - 1));
      if (first < 0) first = row;
    }
  Following = true;
  grdRows->selectionModel()->select(chosen, QItemSelectionModel::ClearAndSelect);
  Following = false;
  if (first >= 0) grdRows->scrollTo(Model->index(first, 0));
}

void TFormAttributeTable::ShowChosen() {
  const std::vector<int> chosen = ChosenObjects();
  if (chosen.empty() || chosen.front() < 0) return;
  try {
    TCustomLayer* layer = Layer();
    if (!layer) return;
    Following = true; // the object shown is selected there; the grid keeps its whole choice
    Map.ShowLayerRecords(*layer, chosen);
    Following = false;
    ChosenChanged(); // and the map marks all of it
  } catch (const std::exception& e) {
    Following = false;
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
  }
}

void TFormAttributeTable::ExportCsv() {
  SaveCsvAs(this, QFileInfo(LayerFileName).completeBaseName() + ".csv", Csv());
}
