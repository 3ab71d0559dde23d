#pragma once
// The reference dictionary as a tree: parts (sections) at the top, their elements below them,
// elements nested under other elements of the same part. Loaded from one table by local SQL and
// edited through it: parts and elements added, entries renamed, leaves deleted. The control and
// its entry dialog (TDlgAFItemDict) keep the names the dictionary's control has always had
// ("AF"); everything of the dictionary is in this folder.

#include "db/Query.h"
#include "db/Table.h"

#include <QString>
#include <QTreeWidget>
#include <cstdint>
#include <memory>

class TDlgAFItemDict;

// The data of one node.
struct TAFDictItem {
  int32_t PartId = 0;
  int32_t ParentId = 0;
  int32_t Id = 0;
  QString ShortName;
  QString LongName;
};

// A node of the tree owns its item; it goes with the node.
class TAFDictNode : public QTreeWidgetItem {
public:
  explicit TAFDictNode(const TAFDictItem& item);
  void SetNames(const QString& shortName, const QString& longName);
  TAFDictItem Item;
};

class TAFTreeDict : public QTreeWidget {
public:
  explicit TAFTreeDict(QWidget* parent = nullptr);
  ~TAFTreeDict() override;

  QString DatabaseName; // the dictionary's directory
  QString Table;        // the table's name
  bool Active = false;
  int32_t PartFilter = 0; // 0: every part; otherwise the only part shown
  int32_t CurrentUser = 0;

  void OpenDictionary();
  void CloseDictionary();
  // Raises db::Error when the query fails; the tree is then left cleared.
  void LoadTree();
  // The first node, in node order, of the part `partId` whose Id is `parentId`.
  TAFDictNode* FindNode(int32_t partId, int32_t parentId) const;
  // Each of these raises db::Error when its statement fails; the tree is then unchanged.
  void AddPart();
  void AddItem();
  void EditItem();
  void DeleteItem();
  void ClearTree();

  // Shows only the entries whose short or long name holds `text` (any letter case), with the
  // nodes above them; an empty text shows every node.
  void SetFilterText(const QString& text);
  const QString& FilterText() const { return Filter; }

  static TAFDictNode* NodeOf(QTreeWidgetItem* item);
  // The date and time written to a text DTMODIFY: now, in the format the table's rows are
  // written in (the most frequent of the known date-time layouts among them), else
  // "dd.MM.yyyy HH:mm:ss"; the same whatever the user's locale.
  static QString NowText(const QStringList& storedTimes);

  // In the read-only work modes nothing is written: adding, editing and deleting refuse.
  bool ReadOnly = false;

private:
  bool RunDialog(TDlgAFItemDict& dialog);
  int32_t NextNumber(const QString& sql);
  bool Exists(const QString& sql);
  void Execute(const QString& sql, const std::vector<db::Value>& params);
  std::vector<db::Value> Texts(const TDlgAFItemDict& dialog);
  void AttachOrphans();
  QStringList StoredTimes() const;
  bool ApplyFilter(QTreeWidgetItem* item);

  db::Query Query;
  std::unique_ptr<db::Table> DictTable;
  QString Filter;
};
