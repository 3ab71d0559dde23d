// The classification lists built from the demo atlas's tables, and the writing back of
// visibility, open state and drawing order.

#include "core/CatClass.h"

#include "AtlasWriter.h"

#include "base/UserMessages.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

namespace {

class Classification : public ::testing::Test {
protected:
  void SetUp() override {
    demo::WriteAtlas(Dir.path(), 1, 9);
    for (auto [table, name] :
         {std::pair{&Categories, "CATEGORYREEST.db"}, std::pair{&Layers, "classreest.DB"},
          std::pair{&Groups, "GroupReest.DB"}}) {
      table->SetDatabaseName(Dir.path() + "/BASE");
      table->SetTableName(name);
      table->Open();
    }
    Previous = &base::UserMessages::Current();
    base::UserMessages::Install(&Messages);
  }
  void TearDown() override { base::UserMessages::Install(Previous); }

  TNodeList Tree() {
    TNodeList list;
    FillTreeList({Categories, Layers, Groups}, list);
    return list;
  }
  TNodeList LayerList() {
    TNodeList list;
    FillLayerList(Layers, list);
    return list;
  }
  void CloseEveryCategory() {
    for (Categories.First(); !Categories.Eof(); Categories.Next())
      SetCategoryOpen(Categories, int8_t(Categories.FieldByName("Category").AsInteger()), false);
  }
  // The rows of the layers table by (category, class), without their levels.
  std::map<std::pair<int, int>, std::vector<db::Value>> RowsByClass() {
    std::map<std::pair<int, int>, std::vector<db::Value>> rows;
    for (Layers.First(); !Layers.Eof(); Layers.Next()) {
      std::vector<db::Value> values;
      for (const db::Field& f : Layers.Fields())
        if (f.FieldName() != "Level") values.push_back(f.AsValue());
      rows[{int(Layers.FieldByName("Category").AsInteger()),
            int(Layers.FieldByName("Class").AsInteger())}] = values;
    }
    return rows;
  }

  QTemporaryDir Dir;
  db::Table Categories, Layers, Groups;
  base::RecordedMessages Messages;
  base::UserMessages* Previous = nullptr;
};

template <class T> const T& NodeAs(const TNodeLine& line) {
  const T* node = dynamic_cast<const T*>(line.Node.get());
  if (!node) throw std::runtime_error(("not the expected node: " + line.Text).toStdString());
  return *node;
}

} // namespace

TEST_F(Classification, ClosedCategoriesGiveOneLineEachAndOpeningOneListsItsClassesInLevelOrder) {
  CloseEveryCategory();
  TNodeList closed = Tree();
  ASSERT_EQ(int(closed.size()), Categories.RecordCount());
  for (size_t i = 0; i < closed.size(); ++i)
    EXPECT_EQ(closed[i].Text, QString("+%1").arg(i));

  // "Вулиці" (7) is the fourth category row.
  SetCategoryOpen(Categories, 7, true);
  TNodeList open = Tree();
  int classesOf7 = 0;
  for (Layers.First(); !Layers.Eof(); Layers.Next())
    classesOf7 += Layers.FieldByName("Category").AsInteger() == 7;
  ASSERT_GE(classesOf7, 2);
  ASSERT_EQ(open.size(), closed.size() + size_t(classesOf7));
  EXPECT_EQ(NodeAs<TCategoryObject>(open[3]).Category, 7);
  int lastLevel = 0;
  for (int j = 0; j < classesOf7; ++j) {
    const TNodeLine& line = open[size_t(4 + j)];
    EXPECT_EQ(line.Text, QString("-4,%1").arg(j));
    const TClassObject& c = NodeAs<TClassObject>(line);
    EXPECT_EQ(c.Category, 7);
    EXPECT_GT(c.Level, lastLevel);
    lastLevel = c.Level;
  }
  EXPECT_EQ(open[size_t(4 + classesOf7)].Text, "+4");
  EXPECT_TRUE(Messages.Shown.isEmpty()) << Messages.Shown.join("\n").toStdString();
}

TEST_F(Classification, GroupLinesFollowTheirClassOnlyFromCategory100Up) {
  CloseEveryCategory();
  SetCategoryOpen(Categories, 100, true);
  SetCategoryOpen(Categories, 7, true);
  TNodeList tree = Tree();
  int groupsOf100_1 = 0, groupLinesUnder7 = 0;
  for (size_t i = 0; i < tree.size(); ++i) {
    const auto* cls = dynamic_cast<const TClassObject*>(tree[i].Node.get());
    if (!cls) continue;
    size_t k = i + 1;
    for (; k < tree.size() && tree[k].Text.startsWith('_'); ++k) {
      const TGroupObject& g = NodeAs<TGroupObject>(tree[k]);
      EXPECT_EQ(g.Category, cls->Category);
      EXPECT_EQ(g.Class, cls->Class);
      EXPECT_EQ(g.FileName, cls->FileName);
      EXPECT_EQ(g.Level, cls->Level);
      EXPECT_EQ(g.CharFontColor, cls->CharFontColor);
      if (cls->Category == 100 && cls->Class == 1) {
        ++groupsOf100_1;
        EXPECT_EQ(g.GroupNum, groupsOf100_1); // in GROUP_ID order
        // The class counter of the line is one past its class line's.
        const QString classText = tree[i].Text;
        const int j = classText.section(',', 1).toInt();
        EXPECT_EQ(tree[k].Text.section(',', 1).toInt(), j + 1);
      }
      if (cls->Category == 7) ++groupLinesUnder7;
    }
  }
  EXPECT_EQ(groupsOf100_1, 4);
  EXPECT_EQ(groupLinesUnder7, 0);
  // The lookups left the groups table on its primary order.
  Groups.First();
  EXPECT_EQ(Groups.RecordCount(), 10);
  EXPECT_EQ(Groups.IndexName(), QString());
}

TEST_F(Classification, MovingALayerRenumbersTheLevelsBetween) {
  TNodeList list;
  for (int level : {1, 2, 3}) {
    auto c = std::make_unique<TClassObject>();
    c->Level = level;
    list.push_back({" ", std::move(c)});
  }
  MoveLayerLevel(list, 0, 2);
  EXPECT_EQ(NodeAs<TClassObject>(list[0]).Level, 3);
  EXPECT_EQ(NodeAs<TClassObject>(list[1]).Level, 1);
  EXPECT_EQ(NodeAs<TClassObject>(list[2]).Level, 2);
  MoveLayerLevel(list, 2, 0); // back up: the entries before the source move down one
  EXPECT_EQ(NodeAs<TClassObject>(list[0]).Level, 4);
  EXPECT_EQ(NodeAs<TClassObject>(list[1]).Level, 2);
  EXPECT_EQ(NodeAs<TClassObject>(list[2]).Level, 1);
}

TEST_F(Classification, RewritingTheLayersTableKeepsEveryFieldAndTakesTheNewOrder) {
  // A fractional pen width and fields the class node does not hold must survive.
  Layers.First();
  Layers.Edit();
  Layers.FieldByName("PenWidth").SetAsFloat(1.5);
  Layers.Post();
  const auto before = RowsByClass();

  TNodeList list = LayerList();
  ASSERT_GE(list.size(), 3u);
  const TClassObject first = NodeAs<TClassObject>(list[0]);
  EXPECT_EQ(first.PenWidth, 2); // read as a whole number, the fraction kept in the row
  MoveLayerLevel(list, 0, 2);
  ASSERT_TRUE(WriteLayerList(Layers, list));
  EXPECT_TRUE(Messages.Shown.isEmpty());

  EXPECT_EQ(RowsByClass(), before);
  TNodeList reread = LayerList();
  ASSERT_EQ(reread.size(), list.size());
  const TClassObject& third = NodeAs<TClassObject>(reread[2]);
  EXPECT_EQ(third.Category, first.Category);
  EXPECT_EQ(third.Class, first.Class);
  EXPECT_EQ(third.Level, 3);
  EXPECT_EQ(NodeAs<TClassObject>(reread[0]).Level, 1);

  // A changed pen width is written as the new whole number.
  static_cast<TClassObject&>(*reread[2].Node).PenWidth = 4;
  ASSERT_TRUE(WriteLayerList(Layers, reread));
  Layers.FindKey({int64_t(3)});
  EXPECT_DOUBLE_EQ(Layers.FieldByName("PenWidth").AsFloat(), 4.0);
}

TEST_F(Classification, AFailedRewriteLeavesTheLayersTableAsItWas) {
  const QString path = Layers.FilePath();
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  file.close();
  TNodeList list = LayerList();
  static_cast<TClassObject&>(*list[1].Node).Level = 1; // two layers on level 1
  EXPECT_FALSE(WriteLayerList(Layers, list));
  EXPECT_EQ(Messages.Shown, QStringList{QString::fromUtf8("Ошибка записи в БД!")});
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), bytes);
  EXPECT_TRUE(Layers.Active());
  EXPECT_FALSE(Layers.Exclusive());
  EXPECT_EQ(Layers.RecordCount(), int(list.size()));
}

TEST_F(Classification, VisibilityIsWrittenForACategoryWithItsClassesAndForOneLevel) {
  SetCategoryVisibled({Categories, Layers, Groups}, 7, false);
  ASSERT_TRUE(Categories.FindKey({int64_t(7)}));
  EXPECT_FALSE(Categories.FieldByName("Visibled").AsBoolean());
  int hidden = 0, shown = 0;
  for (Layers.First(); !Layers.Eof(); Layers.Next()) {
    const bool of7 = Layers.FieldByName("Category").AsInteger() == 7;
    const bool visible = Layers.FieldByName("Visibled").AsBoolean();
    if (of7) {
      EXPECT_FALSE(visible);
    }
    (visible ? shown : hidden) += 1;
  }
  EXPECT_GT(hidden, 0);
  EXPECT_GT(shown, 0) << "other categories are left alone";
  SetClassVisibled(Layers, 1, false);
  ASSERT_TRUE(Layers.FindKey({int64_t(1)}));
  EXPECT_FALSE(Layers.FieldByName("Visibled").AsBoolean());
  SetClassVisibled(Layers, 9999, true); // no such level: nothing happens, nothing is said
  SetCategoryVisibled({Categories, Layers, Groups}, 99, true);
  EXPECT_TRUE(Messages.Shown.isEmpty());
}

TEST_F(Classification, AMissingFieldEndsTheLayerListWithItsMessage) {
  db::Table groupsAsLayers(Dir.path() + "/BASE", "GroupReest.DB"); // no Level, no ClassName
  groupsAsLayers.Open();
  TNodeList list;
  FillLayerList(groupsAsLayers, list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(Messages.Shown,
            QStringList{QString::fromUtf8("Помилка при роботі з базою данних шарів!")});
}

TEST_F(Classification, TheAttributeTableOfAClassIsNamedAfterItsGeometryFile) {
  Layers.First();
  const int category = int(Layers.FieldByName("Category").AsInteger());
  const int cls = int(Layers.FieldByName("Class").AsInteger());
  const QString title = Layers.FieldByName("ClassName").AsString();
  for (auto [file, table] :
       {std::pair{"Parks.shp", "Parks.DBF"}, std::pair{"Parks.MDS", "Parks.DBF"},
        std::pair{"parks.dbf", "parks.dbf"}, std::pair{"Parks", "Parks"}}) {
    Layers.Edit();
    Layers.FieldByName("FileName").SetAsString(file);
    Layers.Post();
    EXPECT_EQ(GetAttributeTableName(Layers, category, cls), QString(table)) << file;
  }
  EXPECT_EQ(GetClassTitle(Layers, category, cls), title);
  EXPECT_EQ(GetAttributeTableName(Layers, 99, 99), QString());
  EXPECT_EQ(Layers.IndexName(), QString()) << "the primary order is given back";
}

TEST_F(Classification, AMissingGroupsOrLayersTableIsReportedAndTheTreeGoesOn) {
  CloseEveryCategory();
  SetCategoryOpen(Categories, 100, true);
  SetCategoryOpen(Categories, 7, true);
  const size_t full = Tree().size();
  Groups.Close(); // as when GroupReest.DB could not be opened
  TNodeList withoutGroups = Tree();
  int classes100 = 0;
  for (const TNodeLine& line : withoutGroups) {
    EXPECT_NE(line.Text[0], '_');
    if (auto* c = dynamic_cast<TClassObject*>(line.Node.get()); c && c->Category == 100)
      ++classes100;
  }
  EXPECT_EQ(classes100, 3);
  EXPECT_EQ(withoutGroups.size(), full - 7) << "the seven groups of category 100";
  ASSERT_EQ(Messages.Shown.size(), 3) << "one message per class of category 100";
  EXPECT_EQ(Messages.Shown[0], QString::fromUtf8("Помилка при роботі з базою данних груп!"));

  Messages.Shown.clear();
  Layers.Close();
  TNodeList withoutLayers = Tree();
  EXPECT_EQ(int(withoutLayers.size()), Categories.RecordCount());
  EXPECT_EQ(Messages.Shown,
            QStringList(2, QString::fromUtf8("Помилка при роботі з базою данних класів!")));
}
