#include "CatClass.h"

#include "base/PathResolver.h"
#include "base/UserMessages.h"
#include "db/Error.h"

#include <exception>

namespace {

// Finds (category, class) on the index CLASS_ID and gives back the index the table had.
QString FieldOfClass(db::Table& layers, int category, int cls, const char* field) {
  if (!layers.Active()) return QString();
  layers.First();
  const QString before = layers.IndexName();
  const QString names = layers.IndexFieldNames();
  QString result;
  layers.SetIndexName("CLASS_ID");
  if (layers.FindKey({int64_t(category), int64_t(cls)}))
    result = layers.FieldByName(field).AsString();
  if (!names.isEmpty())
    layers.SetIndexFieldNames(names);
  else
    layers.SetIndexName(before);
  return result;
}

QString Cut(const QString& text, int length) {
  return text.left(length);
}

// The fields of the layers table that a class node holds, by name, with the node's values, in
// the order they are written back.
using HeldFields = std::vector<std::pair<const char*, db::Value>>;
HeldFields ClassFields(const TClassObject& c) {
  return {{"Level", int64_t(c.Level)},
          {"Category", int64_t(c.Category)},
          {"Class", int64_t(c.Class)},
          {"ClassName", c.ClassName},
          {"PrimitiveType", int64_t(c.PrimitiveType)},
          {"FileName", c.FileName},
          {"ListType", int64_t(c.ListType)},
          {"X0", c.X0},
          {"Y0", c.Y0},
          {"Xm", c.Xm},
          {"Ym", c.Ym},
          {"Visibled", c.Visibled},
          {"Selected", c.Selected},
          {"ZoomInScale", c.ZoomInScale},
          {"ZoomOutScale", c.ZoomOutScale},
          {"TextLabelAngle", c.TextLabelAngle},
          {"ZoomInLabelScale", c.ZoomInLabelScale},
          {"ZoomInIconScale", c.ZoomInIconScale},
          {"CharLabel", c.CharLabel},
          {"VisibleLabel", c.VisibleLabel},
          {"TextFieldLabel", c.TextFieldLabel},
          {"CharFont", c.CharFont},
          {"CharFontSize", c.CharFontSize},
          {"CharFontColor", int64_t(c.CharFontColor)},
          {"TextFont", c.TextFont},
          {"TextFontSize", c.TextFontSize},
          {"TextColor", int64_t(c.TextColor)},
          {"TextFontBold", c.TextFontBold},
          {"TextFontItalic", c.TextFontItalic},
          {"TextFontUnderline", c.TextFontUnderline},
          {"BrushColor", int64_t(c.BrushColor)},
          {"BrushStyle", int64_t(c.BrushStyle)},
          {"PenColor", int64_t(c.PenColor)},
          {"PenStyle", int64_t(c.PenStyle)},
          {"PenWidth", int64_t(c.PenWidth)},
          {"CharLabelScale", c.CharLabelScale},
          {"TextLabelScale", c.TextLabelScale},
          {"PenScale", c.PenScale}};
}

// A row of the table as it is now with the fields the node changed since it read its row put
// over it: another user's changes to the other fields stay.
std::vector<db::Value> WithClassChanges(std::vector<db::Value> row, const TClassObject& c,
                                        const std::vector<db::FieldDef>& defs) {
  const HeldFields held = ClassFields(c);
  for (size_t f = 0; f < defs.size() && f < row.size(); ++f)
    for (size_t k = 0; k < held.size(); ++k)
      if (defs[f].Name.compare(QLatin1String(held[k].first), Qt::CaseInsensitive) == 0 &&
          (k >= c.HeldAsRead.size() || !db::ValuesEqual(held[k].second, c.HeldAsRead[k])))
        row[f] = held[k].second;
  return row;
}

void ShowError(const char* text) {
  base::UserMessages::Current().ShowMessage(QString::fromUtf8(text));
}

} // namespace

void TCategoryObject::ReadCategoryRow(db::Table& t) {
  Category = int8_t(t.FieldByName("Category").AsInteger());
  CategoryName = t.FieldByName("CategoryName").AsString();
  Visibled = t.FieldByName("Visibled").AsBoolean();
  OpenTree = t.FieldByName("OpenTree").AsBoolean();
}

void TClassObject::ReadClassRow(db::Table& t) {
  auto integer = [&](const char* f) { return t.FieldByName(f).AsInteger(); };
  auto real = [&](const char* f) { return t.FieldByName(f).AsFloat(); };
  auto flag = [&](const char* f) { return t.FieldByName(f).AsBoolean(); };
  auto text = [&](const char* f) { return t.FieldByName(f).AsString(); };
  Level = int32_t(integer("Level"));
  Category = int8_t(integer("Category"));
  Class = int32_t(integer("Class"));
  ClassName = text("ClassName");
  PrimitiveType = uint8_t(integer("PrimitiveType"));
  FileName = text("FileName");
  ListType = uint8_t(integer("ListType"));
  X0 = real("X0");
  Y0 = real("Y0");
  Xm = real("Xm");
  Ym = real("Ym");
  Visibled = flag("Visibled");
  Selected = flag("Selected");
  ZoomInScale = real("ZoomInScale");
  ZoomOutScale = real("ZoomOutScale");
  TextLabelAngle = real("TextLabelAngle");
  ZoomInLabelScale = real("ZoomInLabelScale");
  ZoomInIconScale = real("ZoomInIconScale");
  CharLabel = Cut(text("CharLabel"), 1);
  VisibleLabel = flag("VisibleLabel");
  TextFieldLabel = Cut(text("TextFieldLabel"), 25);
  CharFont = Cut(text("CharFont"), 32);
  CharFontSize = real("CharFontSize");
  CharFontColor = uint32_t(integer("CharFontColor"));
  TextFont = Cut(text("TextFont"), 32);
  TextFontSize = real("TextFontSize");
  TextColor = uint32_t(integer("TextColor"));
  TextFontBold = flag("TextFontBold");
  TextFontItalic = flag("TextFontItalic");
  TextFontUnderline = flag("TextFontUnderline");
  BrushColor = uint32_t(integer("BrushColor"));
  BrushStyle = uint8_t(integer("BrushStyle"));
  PenColor = uint32_t(integer("PenColor"));
  PenStyle = uint8_t(integer("PenStyle"));
  PenWidth = int32_t(integer("PenWidth"));
  CharLabelScale = flag("CharLabelScale");
  TextLabelScale = flag("TextLabelScale");
  PenScale = flag("PenScale");
  HeldAsRead.clear();
  for (const auto& [field, value] : ClassFields(*this))
    HeldAsRead.push_back(value);
}

void TGroupObject::ReadGroupRow(db::Table& t) {
  Category = int8_t(t.FieldByName("Category").AsInteger());
  Class = int32_t(t.FieldByName("Class").AsInteger());
  GroupNum = int8_t(t.FieldByName("GroupNum").AsInteger());
  GroupName = t.FieldByName("GroupName").AsString();
  Symbol_Code = t.FieldByName("Symbol_Code").AsString();
  SymbolFont = Cut(t.FieldByName("SymbolFont").AsString(), 32);
}

void FillLayerList(db::Table& layers, TNodeList& list) {
  try {
    layers.First();
    while (!layers.Eof()) {
      auto node = std::make_unique<TClassObject>();
      node->ReadClassRow(layers);
      list.push_back({" ", std::move(node)});
      layers.Next();
    }
  } catch (const std::exception&) {
    ShowError("Помилка при роботі з базою данних шарів!");
  }
}

void ClearNodeList(TNodeList& list) {
  while (!list.empty())
    list.erase(list.begin());
}

void ClearTreeList(TNodeList& list) {
  ClearNodeList(list);
}

namespace {

void AppendGroups(db::Table& groups, const TClassObject& cls, const QString& text,
                  TNodeList& list) {
  try {
    groups.First();
    groups.SetIndexName("CLASS_ID");
    groups.SetRange({int64_t(cls.Category), int64_t(cls.Class)},
                    {int64_t(cls.Category), int64_t(cls.Class)});
    for (groups.First(); !groups.Eof(); groups.Next()) {
      auto node = std::make_unique<TGroupObject>();
      node->ReadGroupRow(groups);
      node->FileName = cls.FileName;
      node->ListType = cls.ListType;
      node->Level = cls.Level;
      node->CharFontColor = cls.CharFontColor;
      list.push_back({text, std::move(node)});
    }
  } catch (const std::exception&) {
    ShowError("Помилка при роботі з базою данних груп!");
  }
  try {
    groups.CancelRange();
    groups.SetIndexName("");
  } catch (const std::exception&) {
  }
}

} // namespace

void AppendCategoryClasses(const TClassTables& tables, int8_t category, int n, TNodeList& list) {
  try {
    int j = 0;
    for (tables.Layers.First(); !tables.Layers.Eof(); tables.Layers.Next()) {
      if (tables.Layers.FieldByName("Category").AsInteger() != category) continue;
      auto node = std::make_unique<TClassObject>();
      node->ReadClassRow(tables.Layers);
      const TClassObject& cls = *node;
      list.push_back({QString("-%1,%2").arg(n).arg(j), std::move(node)});
      if (cls.Category >= 100)
        AppendGroups(tables.Groups, cls, QString("_%1,%2").arg(n).arg(j + 1), list);
      ++j;
    }
  } catch (const std::exception&) {
    ShowError("Помилка при роботі з базою данних класів!");
  }
}

void FillTreeList(const TClassTables& tables, TNodeList& list) {
  int n = 0;
  try {
    for (tables.Categories.First(); !tables.Categories.Eof(); tables.Categories.Next()) {
      auto node = std::make_unique<TCategoryObject>();
      node->ReadCategoryRow(tables.Categories);
      const TCategoryObject& category = *node;
      list.push_back({QString("+%1").arg(n), std::move(node)});
      ++n;
      if (category.OpenTree) AppendCategoryClasses(tables, category.Category, n, list);
    }
  } catch (const std::exception&) {
    ShowError("Помилка при роботі з базою данних категорій!");
  }
}

bool WriteLayerList(db::Table& layers, const TNodeList& list) {
  bool written = false;
  try {
    layers.Close();
    layers.SetExclusive(true);
    layers.Open();
    // The rows as they are when the lock is taken, each with what its node changed (the new
    // order): what another user changed meanwhile in other fields or rows stays.
    const std::vector<db::FieldDef>& defs = layers.FieldDefs();
    const size_t category = layers.FieldByName("Category").FieldNo();
    const size_t cls = layers.FieldByName("Class").FieldNo();
    layers.Writes().RewriteRows([&](const std::vector<std::vector<db::Value>>& current) {
      std::vector<std::vector<db::Value>> rows;
      for (const std::vector<db::Value>& row : current) {
        const TClassObject* node = nullptr;
        for (const TNodeLine& line : list)
          if (const auto* c = dynamic_cast<const TClassObject*>(line.Node.get());
              c && c->Category == db::ValueToInteger(row[category]) &&
              c->Class == db::ValueToInteger(row[cls]))
            node = c;
        rows.push_back(node ? WithClassChanges(row, *node, defs) : row);
      }
      return rows;
    });
    written = true;
  } catch (const std::exception&) {
    ShowError("Ошибка записи в БД!");
  }
  try {
    layers.Close();
    layers.SetExclusive(false);
    layers.Open();
  } catch (const std::exception&) {
    if (written) ShowError("Ошибка записи в БД!");
    written = false;
  }
  return written;
}

void MoveLayerLevel(TNodeList& list, int source, int target) {
  const int count = int(list.size());
  if (source < 0 || source >= count || target < 0 || target >= count) return;
  auto level = [&](int i) -> int32_t& {
    return static_cast<TClassObject&>(*list[size_t(i)].Node).Level;
  };
  if (source < target)
    for (int i = source + 1; i <= target; ++i)
      --level(i);
  else if (source > target)
    for (int i = target; i < source; ++i)
      ++level(i);
  level(source) = target + 1;
}

namespace {

void SetFlag(db::Table& t, const char* field, bool value) {
  if (t.State() != db::TableState::Edit && t.State() != db::TableState::Insert) t.Edit();
  t.FieldByName(field).SetAsBoolean(value);
  t.Post();
}

} // namespace

void SetCategoryVisibled(const TClassTables& tables, int8_t category, bool value) {
  if (tables.Categories.FindKey({int64_t(category)})) SetFlag(tables.Categories, "Visibled", value);
  for (tables.Layers.First(); !tables.Layers.Eof(); tables.Layers.Next())
    if (tables.Layers.FieldByName("Category").AsInteger() == category)
      SetFlag(tables.Layers, "Visibled", value);
}

void SetClassVisibled(db::Table& layers, int32_t level, bool value) {
  if (layers.FindKey({int64_t(level)})) SetFlag(layers, "Visibled", value);
}

void SetCategoryOpen(db::Table& categories, int8_t category, bool value) {
  if (categories.FindKey({int64_t(category)})) SetFlag(categories, "OpenTree", value);
}

QString GetAttributeTableName(db::Table& layers, int category, int cls) {
  QString name = FieldOfClass(layers, category, cls, "FileName");
  if (!name.isEmpty() && base::FileExtension(name) == ".SHP")
    name = base::ChangeExtension(name, ".mds");
  if (!name.isEmpty() && base::FileExtension(name) == ".MDS")
    name = base::ChangeExtension(name, ".DBF");
  return name;
}

QString GetClassTitle(db::Table& layers, int category, int cls) {
  return FieldOfClass(layers, category, cls, "ClassName");
}
