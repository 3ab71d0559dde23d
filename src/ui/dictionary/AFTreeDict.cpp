#include "AFTreeDict.h"

#include "DlgAFItemDict.h"

#include "base/UserMessages.h"
#include "db/Error.h"

#include <QDateTime>
#include <QHash>
#include <QLineEdit>
#include <QSpinBox>
#include <algorithm>
#include <limits>
#include <map>

using db::Value;

// ---------------------------------------------------------------- nodes

TAFDictNode::TAFDictNode(const TAFDictItem& item) : Item(item) {
  SetNames(item.ShortName, item.LongName);
}

void TAFDictNode::SetNames(const QString& shortName, const QString& longName) {
  Item.ShortName = shortName;
  Item.LongName = longName;
  setText(0, shortName + " [" + longName + "]");
}

// ---------------------------------------------------------------- the tree

TAFTreeDict::TAFTreeDict(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("AFTreeDict");
  setHeaderHidden(true);
  setColumnCount(1);
  setSelectionMode(QAbstractItemView::SingleSelection);
}

TAFTreeDict::~TAFTreeDict() {
  CloseDictionary();
  ClearTree();
}

TAFDictNode* TAFTreeDict::NodeOf(QTreeWidgetItem* item) {
  return dynamic_cast<TAFDictNode*>(item);
}

QString TAFTreeDict::NowText(const QStringList& storedTimes) {
  // Layouts the desktop engine wrote under the locales of its users, the Ukrainian and Russian
  // ones first; a value matches a layout when it reads and writes back character for character.
  static const char* const kLayouts[] = {
      "dd.MM.yyyy HH:mm:ss", "dd.MM.yyyy H:mm:ss",  "d.M.yyyy H:mm:ss",  "dd.MM.yy HH:mm:ss",
      "dd.MM.yy H:mm:ss",    "dd.MM.yyyy HH:mm",    "dd.MM.yyyy",        "dd/MM/yyyy HH:mm:ss",
      "MM/dd/yyyy HH:mm:ss", "M/d/yyyy h:mm:ss AP", "M/d/yy h:mm:ss AP", "yyyy-MM-dd HH:mm:ss",
      "yyyy-MM-ddTHH:mm:ss"};
  std::map<QString, int> counts;
  for (const QString& stored : storedTimes)
    for (const char* layout : kLayouts) {
      const QDateTime read = QDateTime::fromString(stored.trimmed(), layout);
      if (read.isValid() && read.toString(layout) == stored.trimmed()) {
        ++counts[layout];
        break;
      }
    }
  QString layout = "dd.MM.yyyy HH:mm:ss";
  int best = 0;
  for (const auto& [candidate, count] : counts)
    if (count > best) {
      best = count;
      layout = candidate;
    }
  return QDateTime::currentDateTime().toString(layout);
}

QStringList TAFTreeDict::StoredTimes() const {
  QStringList times;
  if (!DictTable) return times;
  const db::Field* field = DictTable->FindField("DTMODIFY");
  if (!field) return times;
  for (int i = 0; i < DictTable->RecordCount(); ++i)
    if (QString t = db::ValueToString(DictTable->ValueAt(i, field->FieldNo())); !t.isEmpty())
      times << t;
  return times;
}

void TAFTreeDict::OpenDictionary() {
  Query.SetDatabaseName(DatabaseName);
  try {
    DictTable = std::make_unique<db::Table>(DatabaseName, Table);
    DictTable->Open();
    Active = true;
  } catch (const db::Error&) {
    DictTable.reset();
    base::UserMessages::Current().ShowMessage(
        QString::fromUtf8("Помилка відкриття таблиці класифікатору!"));
  }
}

void TAFTreeDict::CloseDictionary() {
  DictTable.reset();
  Query.Close();
  Query.SQL.clear();
  Query.Params.clear();
  Active = false;
}

void TAFTreeDict::ClearTree() {
  for (int i = topLevelItemCount() - 1; i >= 0; --i)
    delete takeTopLevelItem(i);
}

TAFDictNode* TAFTreeDict::FindNode(int32_t partId, int32_t parentId) const {
  for (QTreeWidgetItemIterator it(const_cast<TAFTreeDict*>(this)); *it; ++it)
    if (TAFDictNode* node = NodeOf(*it);
        node && node->Item.PartId == partId && node->Item.Id == parentId)
      return node;
  return nullptr;
}

void TAFTreeDict::LoadTree() {
  ClearTree();
  Query.Close();
  Query.Params.clear();
  Query.SQL = QStringList{PartFilter != 0 ? "SELECT * FROM " + Table + " WHERE PARTID=" +
                                                QString::number(PartFilter) + " ORDER BY PARTID"
                                          : "SELECT * FROM " + Table + " ORDER BY PARTID,ID"};
  try {
    Query.Open();
    // (part, id) -> its node: the first such node, as every entry's key is unique.
    QHash<QPair<int32_t, int32_t>, TAFDictNode*> nodes;
    for (Query.First(); !Query.Eof(); Query.Next()) {
      TAFDictItem item;
      item.PartId = int32_t(db::ValueToInteger(Query.FieldValue("PARTID")));
      item.ParentId = int32_t(db::ValueToInteger(Query.FieldValue("PARENTID")));
      item.Id = int32_t(db::ValueToInteger(Query.FieldValue("ID")));
      item.ShortName = db::ValueToString(Query.FieldValue("SHORTNAME"));
      item.LongName = db::ValueToString(Query.FieldValue("LONGNAME"));
      auto* node = new TAFDictNode(item);
      if (TAFDictNode* parent = nodes.value({item.PartId, item.ParentId}))
        parent->addChild(node);
      else
        addTopLevelItem(node);
      if (!nodes.contains({item.PartId, item.Id})) nodes.insert({item.PartId, item.Id}, node);
    }
    AttachOrphans();
  } catch (...) {
    Query.Close();
    Query.SQL.clear();
    throw;
  }
  Active = true;
  Query.Close();
  Query.SQL.clear();
  SetFilterText(Filter);
}

// An element read before its parent (a parent with a larger number) was left at the top; it
// goes under its parent now that every node exists, unless that would make a loop.
void TAFTreeDict::AttachOrphans() {
  std::vector<TAFDictNode*> orphans;
  for (int i = 0; i < topLevelItemCount(); ++i)
    if (TAFDictNode* node = NodeOf(topLevelItem(i)); node && node->Item.Id != 0)
      orphans.push_back(node);
  for (TAFDictNode* node : orphans) {
    TAFDictNode* parent = FindNode(node->Item.PartId, node->Item.ParentId);
    bool loop = !parent;
    for (QTreeWidgetItem* up = parent; up && !loop; up = up->parent())
      loop = up == node;
    if (loop) continue;
    takeTopLevelItem(indexOfTopLevelItem(node));
    parent->addChild(node);
  }
}

// ---------------------------------------------------------------- filtering

void TAFTreeDict::SetFilterText(const QString& text) {
  Filter = text;
  for (int i = 0; i < topLevelItemCount(); ++i)
    ApplyFilter(topLevelItem(i));
  if (QTreeWidgetItem* current = currentItem(); current && current->isHidden())
    setCurrentItem(nullptr);
}

bool TAFTreeDict::ApplyFilter(QTreeWidgetItem* item) {
  bool below = false;
  for (int i = 0; i < item->childCount(); ++i)
    below = ApplyFilter(item->child(i)) || below;
  bool matches = Filter.isEmpty();
  if (const TAFDictNode* node = NodeOf(item); node && !matches)
    matches = node->Item.ShortName.contains(Filter, Qt::CaseInsensitive) ||
              node->Item.LongName.contains(Filter, Qt::CaseInsensitive);
  item->setHidden(!(matches || below));
  if (!Filter.isEmpty() && below) item->setExpanded(true);
  return matches || below;
}

// ---------------------------------------------------------------- statements

bool TAFTreeDict::RunDialog(TDlgAFItemDict& dialog) {
  return dialog.exec() == QDialog::Accepted;
}

int32_t TAFTreeDict::NextNumber(const QString& sql) {
  Query.Close();
  Query.Params.clear();
  Query.SQL = QStringList{sql};
  Query.Open();
  // The largest of no rows reads as 0.
  const int64_t largest = Query.RecordCount() ? db::ValueToInteger(Query.ValueAt(0, 0)) : 0;
  Query.Close();
  return int32_t(std::min<int64_t>(largest + 1, std::numeric_limits<int32_t>::max()));
}

bool TAFTreeDict::Exists(const QString& sql) {
  Query.Close();
  Query.Params.clear();
  Query.SQL = QStringList{sql};
  Query.Open();
  const bool found = Query.RecordCount() > 0;
  Query.Close();
  return found;
}

void TAFTreeDict::Execute(const QString& sql, const std::vector<Value>& params) {
  Query.Close();
  Query.SQL = QStringList{sql};
  Query.Params = params;
  try {
    Query.ExecSQL();
  } catch (...) {
    Query.Params.clear();
    throw;
  }
  Query.Params.clear();
}

// The typed names and the time of the write, bound to the statement's "?" rather than written
// into it, so that no text can change the statement. A date-time field takes the time itself.
std::vector<Value> TAFTreeDict::Texts(const TDlgAFItemDict& dialog) {
  Value now = NowText(StoredTimes());
  if (DictTable)
    for (const db::FieldDef& f : DictTable->FieldDefs()) {
      if (f.Name.compare("DTMODIFY", Qt::CaseInsensitive) != 0) continue;
      const QDateTime time = QDateTime::currentDateTime();
      if (f.Type == db::FieldType::DateTime) now = time.toString(Qt::ISODateWithMs);
      if (f.Type == db::FieldType::Date) now = time.date().toString(Qt::ISODate);
    }
  return {dialog.eShort->text(), dialog.eLong->text(), now};
}

static QTreeWidgetItem* Selected(const QTreeWidget& tree) {
  const QList<QTreeWidgetItem*> items = tree.selectedItems();
  return items.isEmpty() ? nullptr : items.first();
}

void TAFTreeDict::AddPart() {
  if (ReadOnly) return;
  TDlgAFItemDict dialog(this);
  dialog.seID->setValue(NextNumber("SELECT MAX(PARTID) FROM " + Table));
  if (!RunDialog(dialog)) return;
  const int32_t part = dialog.seID->value();
  // A part number that exists is not written again.
  if (Exists("SELECT PARTID FROM " + Table + " WHERE PARTID=" + QString::number(part))) return;
  Execute("INSERT INTO " + Table + " VALUES ( " + QString::number(part) + ",0,0,?,?," +
              QString::number(CurrentUser) + ",?, 0 )",
          Texts(dialog));
  auto* node = new TAFDictNode({part, 0, 0, dialog.eShort->text(), dialog.eLong->text()});
  addTopLevelItem(node);
  SetFilterText(Filter);
}

void TAFTreeDict::AddItem() {
  TAFDictNode* selected = NodeOf(Selected(*this));
  if (ReadOnly || !selected) return;
  const int32_t part = selected->Item.PartId;
  const int32_t parent = selected->Item.Id;
  const QString inPart = " AND PARTID=" + QString::number(part);
  TDlgAFItemDict dialog(this);
  dialog.seID->setValue(
      NextNumber("SELECT MAX(ID) FROM " + Table + " WHERE PARTID=" + QString::number(part)));
  if (!RunDialog(dialog)) return;
  const int32_t id = dialog.seID->value();
  if (Exists("SELECT ID FROM " + Table + " WHERE ID=" + QString::number(id) + inPart)) return;
  Execute("INSERT INTO " + Table + " VALUES ( " + QString::number(part) + "," +
              QString::number(id) + "," + QString::number(parent) + ",?,?," +
              QString::number(CurrentUser) + ",?, 0 )",
          Texts(dialog));
  selected->addChild(
      new TAFDictNode({part, parent, id, dialog.eShort->text(), dialog.eLong->text()}));
  selected->setExpanded(true);
  SetFilterText(Filter);
}

void TAFTreeDict::EditItem() {
  TAFDictNode* selected = NodeOf(Selected(*this));
  if (ReadOnly || !selected) return;
  const int32_t part = selected->Item.PartId;
  const int32_t id = selected->Item.Id;
  // The entry's own parent, as stored: the same as the parent node's number for every node
  // that hangs where its row says.
  const int32_t parent = selected->Item.ParentId;
  const QString where = " WHERE PARTID=" + QString::number(part) + " AND ID=" + QString::number(id);
  TDlgAFItemDict dialog(this);
  Query.Close();
  Query.Params.clear();
  Query.SQL = QStringList{"SELECT * FROM " + Table + where};
  Query.Open();
  if (Query.RecordCount() == 0) {
    Query.Close();
    throw db::Error::ForTable(DatabaseName + "/" + Table, "запису " + QString::number(part) + ", " +
                                                              QString::number(id) +
                                                              " вже немає; нічого не записано");
  }
  dialog.seID->setValue(int(db::ValueToInteger(Query.FieldValue("ID"))));
  dialog.eShort->setText(db::ValueToString(Query.FieldValue("SHORTNAME")));
  dialog.eLong->setText(db::ValueToString(Query.FieldValue("LONGNAME")));
  Query.Close();
  dialog.SetCodeReadOnly();
  if (!RunDialog(dialog)) return;
  Execute(
      "UPDATE " + Table + " SET PARTID=" + QString::number(part) +
          ",ID=" + QString::number(dialog.seID->value()) + ",PARENTID=" + QString::number(parent) +
          ",SHORTNAME=?,LONGNAME=?,USERID=" + QString::number(CurrentUser) + ",DTMODIFY=?" + where,
      Texts(dialog));
  selected->SetNames(dialog.eShort->text(), dialog.eLong->text());
  SetFilterText(Filter);
}

void TAFTreeDict::DeleteItem() {
  TAFDictNode* selected = NodeOf(Selected(*this));
  if (ReadOnly || !selected) return;
  // Only a leaf is deleted; the user is told why a node with entries below it is not.
  if (selected->childCount() > 0) {
    base::UserMessages::Current().ShowMessage(
        QString::fromUtf8("«%1» не видалено: у нього є підлеглі елементи (%2). Спочатку видаліть "
                          "їх.")
            .arg(selected->Item.ShortName)
            .arg(selected->childCount()));
    return;
  }
  if (!base::UserMessages::Current().Ask(
          QString::fromUtf8("Ви дійсно бажаєте видалити цей елемент?")))
    return;
  db::Query remove;
  remove.SetDatabaseName(DatabaseName);
  remove.SQL << "DELETE FROM " + Table + " WHERE PARTID=" + QString::number(selected->Item.PartId) +
                    " AND ID=" + QString::number(selected->Item.Id);
  remove.ExecSQL();
  delete selected;
}
