#include "ObjectCard.h"

#include <QApplication>

#include "db/Error.h"
#include "db/TableModel.h"

#include <QDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace plugins {

ObjectCard::ObjectCard(ObjectUtilsContext context) : Context(std::move(context)) {}

ObjectCard::~ObjectCard() {
  Finish();
}

QString ObjectCard::AttributeTableName(const QString& fileName) {
  const QFileInfo info(fileName);
  const QString suffix = info.suffix().toUpper();
  if (suffix == "MDS" || suffix == "SHP") {
    const QString dir = info.path() == "." ? QString() : info.path() + "/";
    return dir + info.completeBaseName() + ".DBF";
  }
  return fileName;
}

void ObjectCard::Start() {
  Table.SetDatabaseName(Context.MapsDir);
  Table.SetTableName(AttributeTableName(Context.FileName));
}

std::vector<std::pair<QString, QString>> ObjectCard::ObjectFields(int objectCode) {
  std::vector<std::pair<QString, QString>> fields;
  try {
    Table.Close();
    Table.Open();
    bool found = false;
    if (Table.FindField("ObjectCode")) {
      Table.SetIndexFieldNames("ObjectCode");
      found = Table.FindKey({int64_t(objectCode)});
    } else if (const int row = Table.PositionOfRecord(objectCode); row >= 0) {
      Table.SetRecNo(row + 1); // a geometry record's own attribute row
      found = true;
    }
    if (!found) return fields;
    for (db::Field& f : Table.Fields()) {
      const bool blob = db::IsBlobType(f.DataType()) && f.DataType() != db::FieldType::Memo;
      fields.emplace_back(f.FieldName(),
                          blob ? QString("(%1 bytes)").arg(f.AsBlob().size()) : f.AsString());
    }
    Error.clear();
  } catch (const db::Error& e) {
    Error = e.Message;
  }
  return fields;
}

void ObjectCard::SelectObject(int objectCode) {
  SelectedCode = objectCode;
}

void ObjectCard::ShowCard() {
  const auto fields = ObjectFields(SelectedCode);
  if (!Card) {
    auto* dialog = new QDialog(MainForm);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(dialog);
    auto* grid = new QTableWidget(0, 2, dialog);
    grid->setObjectName("grid");
    grid->setHorizontalHeaderLabels({QString::fromUtf8("Поле"), QString::fromUtf8("Значення")});
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(grid);
    dialog->resize(420, 360);
    Card = dialog;
  }
  auto* grid = Card->findChild<QTableWidget*>("grid");
  grid->setRowCount(int(fields.size()));
  for (int r = 0; r < int(fields.size()); ++r) {
    grid->setItem(r, 0, new QTableWidgetItem(fields[size_t(r)].first));
    grid->setItem(r, 1, new QTableWidgetItem(fields[size_t(r)].second));
  }
  Card->setWindowTitle(
      QString::fromUtf8("Картка об'єкта %1 — %2").arg(SelectedCode).arg(Context.ClassName));
  ShowInFrontOfAsker(Card);
}

void ObjectCard::ShowInFrontOfAsker(QWidget* window) {
  // The window belongs to the window that asked for it (the identify window, the attribute
  // table, the map), so that it opens in front of that one and not over the others.
  QWidget* owner = QApplication::activeWindow();
  if (!owner || owner == window || owner->window() == window) owner = MainForm;
  if (owner && window->parentWidget() != owner) window->setParent(owner, window->windowFlags());
  window->show();
  window->raise();
  window->activateWindow();
}

void ObjectCard::ShowList() {
  try {
    Table.Close();
    Table.Open();
  } catch (const db::Error& e) {
    Error = e.Message;
    return;
  }
  if (!List) {
    auto* dialog = new QDialog(MainForm);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(dialog);
    auto* view = new QTableView(dialog);
    auto* model = new db::TableModel(Table, view);
    model->SetReadOnly(true);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    QObject::connect(view, &QTableView::doubleClicked, [this](const QModelIndex& index) {
      if (Host) Host->ShowObject(ObjectNumberOfRow(index.row()));
    });
    layout->addWidget(view);
    dialog->resize(640, 420);
    List = dialog;
  }
  List->setWindowTitle(QString::fromUtf8("Об'єкти шару — %1").arg(Context.ClassName));
  ShowInFrontOfAsker(List);
}

int ObjectCard::ObjectNumberOfRow(int row) {
  // Objects of a database points layer (a Paradox objects table) are located by their
  // ObjectCode; those of a geometry file by their record index, the row of its attribute table.
  const bool objectsTable =
      QFileInfo(Context.FileName).suffix().compare("db", Qt::CaseInsensitive) == 0;
  if (!objectsTable || !Table.Active()) return Table.Active() ? Table.RecordOfPosition(row) : row;
  const db::Field* code = Table.FindField("ObjectCode");
  if (!code || row < 0 || row >= Table.RecordCount()) return row;
  return int(db::ValueToInteger(Table.ValueAt(row, code->FieldNo())));
}

void ObjectCard::Finish() {
  delete Card.data();
  delete List.data();
  Table.Close();
}

} // namespace plugins
