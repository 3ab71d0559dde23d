#pragma once
// The classification of the map content: categories, their classes (the rows of the layers
// table) and the symbol groups of network classes, read into the line lists the panels show,
// and the writing back of visibility and drawing order.

#include "db/Table.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

// The node held by one line of a panel list.
class TObject {
public:
  virtual ~TObject() = default;
};

class TCategoryObject : public TObject {
public:
  int8_t Category = 0;
  QString CategoryName;
  bool Visibled = false;
  bool OpenTree = false;
  void ReadCategoryRow(db::Table& categories);
};

class TClassObject : public TObject {
public:
  int32_t Level = 0;
  int8_t Category = 0;
  int32_t Class = 0;
  QString ClassName;
  uint8_t PrimitiveType = 0;
  QString FileName;
  uint8_t ListType = 0;
  double X0 = 0, Y0 = 0, Xm = 0, Ym = 0;
  bool Visibled = false, Selected = false;
  double ZoomInScale = 0, ZoomOutScale = 0, TextLabelAngle = 0, ZoomInLabelScale = 0,
         ZoomInIconScale = 0;
  QString CharLabel; // at most 1 character
  bool VisibleLabel = false;
  QString TextFieldLabel; // at most 25 characters
  QString CharFont;       // at most 32 characters
  double CharFontSize = 0;
  uint32_t CharFontColor = 0;
  QString TextFont; // at most 32 characters
  double TextFontSize = 0;
  uint32_t TextColor = 0;
  bool TextFontBold = false, TextFontItalic = false, TextFontUnderline = false;
  uint32_t BrushColor = 0;
  uint8_t BrushStyle = 0;
  uint32_t PenColor = 0;
  uint8_t PenStyle = 0;
  int32_t PenWidth = 0;
  bool CharLabelScale = false, TextLabelScale = false, PenScale = false;

  // The node's own fields as they were read. The rewrite of the layers table starts from each
  // row as the table holds it then and puts over it only the fields changed since, so the fields
  // this node does not hold (render type, label anchors, shadow, ...), empty fields, the fraction
  // of a pen width and other users' changes survive.
  std::vector<db::Value> HeldAsRead;

  void ReadClassRow(db::Table& layers);
};

class TGroupObject : public TObject {
public:
  int8_t Category = 0;
  int32_t Class = 0;
  int8_t GroupNum = 0; // 1 to 127
  QString FileName;
  uint8_t ListType = 0;
  int32_t Level = 0;
  QString GroupName;
  QString Symbol_Code;
  QString SymbolFont; // at most 32 characters
  uint32_t CharFontColor = 0;
  void ReadGroupRow(db::Table& groups);
};

// One line of a panel list: its text (only the first character tells its kind: "+" category,
// "-" class, "_" group, " " layer) and the node it owns.
struct TNodeLine {
  QString Text;
  std::unique_ptr<TObject> Node;
};
using TNodeList = std::vector<TNodeLine>;

// The three tables the classification reads and writes.
struct TClassTables {
  db::Table& Categories;
  db::Table& Layers;
  db::Table& Groups;
};

// Appends one line " " per layers-table row in Level order. Any error ends the walk with a
// message; the lines appended so far stay.
void FillLayerList(db::Table& layers, TNodeList& list);
void ClearNodeList(TNodeList& list);
// Appends a line per category; under open categories their classes in Level order, and under
// classes of categories 100 and up their symbol groups.
void FillTreeList(const TClassTables& tables, TNodeList& list);
void ClearTreeList(TNodeList& list);
// Appends the class lines of one category ("-n,j") in Level order, each followed by its group
// lines ("_n,j+1") when the category is 100 or more.
void AppendCategoryClasses(const TClassTables& tables, int8_t category, int n, TNodeList& list);
// Rewrites the layers table from the layers list, in list order, in one step: a failure leaves
// the table as it was and shows "Ошибка записи в БД!". Returns whether it was written.
bool WriteLayerList(db::Table& layers, const TNodeList& list);
// Gives the layer at `source` the 1-based level `target` + 1 and shifts the levels between.
void MoveLayerLevel(TNodeList& list, int source, int target);
void SetCategoryVisibled(const TClassTables& tables, int8_t category, bool value);
void SetClassVisibled(db::Table& layers, int32_t level, bool value);
void SetCategoryOpen(db::Table& categories, int8_t category, bool value);

// The attribute table of a class: its FileName with an extension .SHP or .mds turned into .DBF;
// other names are returned unchanged; empty when the class is not in the table.
QString GetAttributeTableName(db::Table& layers, int category, int cls);
// The class's ClassName; empty when the class is not in the table.
QString GetClassTitle(db::Table& layers, int category, int cls);
