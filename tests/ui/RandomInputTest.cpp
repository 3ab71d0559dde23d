// The main window over a damaged atlas, driven by a few thousand random clicks, drags, wheel
// turns and keys over the map, the panels, the tool buttons and the menus: no failure leaves an
// event handler (the program would end), and, in a read-only work mode, no file of the atlas
// changes. The atlas has an objects table without ObjectCode, an indexed layer whose user-object
// table has no key, a truncated geometry file and a table without write permission.

#include "data/DataModule.h"
#include "ui/common/FormMsg.h"
#include "ui/common/GuardedApplication.h"
#include "ui/main/ContentCommands.h"
#include "ui/main/FormMap.h"
#include "ui/main/ObjectListLink.h"
#include "ui/objects/FormSelectInfo.h"
#include "ui/search/FormObjList.h"

#include "AtlasWriter.h"
#include "FolderDigests.h"
#include "ProgramWindows.h"

#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "core/MapContent.h"
#include "db/ParadoxFile.h"
#include "db/Table.h"
#include "overlays/DBPointsIndexs.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <iostream>
#include <random>

namespace {

using db::Value;

// Rewrites a table without one of its fields, keyless.
void DropField(const QString& dir, const QString& table, const QString& field) {
  std::vector<db::FieldDef> fields;
  std::vector<std::vector<Value>> rows;
  {
    db::Table t(dir, table);
    t.Open();
    std::vector<size_t> kept;
    for (size_t f = 0; f < t.FieldDefs().size(); ++f)
      if (t.FieldDefs()[f].Name.compare(field, Qt::CaseInsensitive) != 0) {
        kept.push_back(f);
        fields.push_back(t.FieldDefs()[f]);
      }
    for (int r = 0; r < t.RecordCount(); ++r) {
      std::vector<Value> row;
      for (size_t f : kept)
        row.push_back(t.ValueAt(r, f));
      rows.push_back(row);
    }
  }
  for (const char* side : {".DB", ".db", ".PX", ".px"})
    QFile::remove(dir + "/" + QFileInfo(table).completeBaseName() + side);
  db::ParadoxFile::Create(dir + "/" + table, fields, 0, rows);
}

void Damage(const QString& atlas) {
  // The hydrants' objects table without ObjectCode.
  DropField(atlas + "/MAPS", "Hydrants.db", "ObjectCode");
  // The pumping stations indexed, twice over at every station (a pick offers a choice, whose
  // labels come from a keyless user-object table).
  {
    db::Table layers(atlas + "/BASE", "classreest");
    layers.Open();
    for (layers.First(); !layers.Eof(); layers.Next())
      if (layers.FieldByName("FileName").AsString() == "Pumps.db") {
        layers.Edit();
        layers.FieldByName("IsIndexed").SetAsBoolean(true);
        layers.Post();
      }
    // Filed under the cells of the map's grid, whose origin is the map's whole extent.
    TMapContent map;
    map.LoadMap(atlas + "/BASE", atlas + "/MAPS", atlas, "", "");
    const TExtent e = map.World.FullExtent;
    map.CloseMap();
    map.DestroyLayers();
    db::Table pumps(atlas + "/MAPS", "Pumps.db");
    pumps.Open();
    db::Table spin(atlas + "/USER_OBJ", "SPIN.DB");
    spin.Open();
    spin.First();
    const double cell = spin.FieldByName("X").AsFloat();
    for (pumps.First(); !pumps.Eof(); pumps.Next())
      for (const int64_t offset : {0, 100000}) {
        spin.Append();
        spin.FieldByName("Nodei").SetAsInteger(
            GridCellNumber(pumps.FieldByName("X").AsFloat() - e.XMin, cell));
        spin.FieldByName("Nodej").SetAsInteger(
            GridCellNumber(pumps.FieldByName("Y").AsFloat() - e.YMin, cell));
        spin.FieldByName("Category").SetAsInteger(101);
        spin.FieldByName("Class").SetAsInteger(2);
        spin.FieldByName("ObjNum").SetAsInteger(pumps.FieldByName("ObjectCode").AsInteger() +
                                                offset);
        spin.FieldByName("X").SetAsFloat(pumps.FieldByName("X").AsFloat());
        spin.FieldByName("Y").SetAsFloat(pumps.FieldByName("Y").AsFloat());
        spin.Post();
      }
  }
  QFile::copy(atlas + "/MAPS/Pumps.db", atlas + "/USER_OBJ/Pumps.db");
  DropField(atlas + "/USER_OBJ", "Pumps.db", "NoSuchField"); // the same rows, keyless
  // The buildings' geometry cut off in the middle of a record.
  QFile buildings(atlas + "/MAPS/Buildings.mds");
  ASSERT_TRUE(buildings.resize(buildings.size() * 3 / 5 + 7));
  // A table without write permission (a shared folder's file of another user).
  QFile::setPermissions(atlas + "/MAPS/address.dbf", QFile::ReadOwner | QFile::ReadGroup);
}

class RandomInput : public ::testing::Test {
protected:
  void SetUp() override {
    demo::WriteAtlas(Atlas.path(), 1, 21);
    Damage(Atlas.path());
    Before = FolderDigests(Atlas.path());
    Previous = &base::UserMessages::Current();
    base::UserMessages::Install(&Messages);
    Messages.Answer = true;
  }
  void TearDown() override {
    Closer.Stop();
    base::UserMessages::Install(Previous);
  }

  QTemporaryDir ProgramDir, Atlas;
  std::map<QString, QByteArray> Before;
  base::RecordedMessages Messages;
  base::UserMessages* Previous = nullptr;
  // Dialogs and menus the commands open are closed as soon as they show.
  DialogCloser Closer{15, true};
};

// One random event on `target` at a random place inside it.
void RandomEvent(QWidget* target, std::mt19937& random) {
  auto pick = [&](int n) { return int(random() % unsigned(std::max(n, 1))); };
  const QPoint at(pick(target->width()), pick(target->height()));
  const QPoint to(pick(target->width()), pick(target->height()));
  switch (pick(7)) {
  case 0:
  case 1:
    QTest::mouseClick(target, Qt::LeftButton, {}, at);
    break;
  case 2:
    QTest::mouseClick(target, pick(2) ? Qt::RightButton : Qt::MiddleButton, {}, at);
    break;
  case 3:
    QTest::mouseDClick(target, Qt::LeftButton, {}, at);
    break;
  case 4:
    QTest::mousePress(target, Qt::LeftButton, {}, at);
    QTest::mouseMove(target, to);
    QTest::mouseRelease(target, Qt::LeftButton, {}, to);
    break;
  case 5: {
    QWheelEvent wheel(at, target->mapToGlobal(at), {}, {0, pick(2) ? 120 : -120}, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
    break;
  }
  default: {
    static const Qt::Key keys[] = {Qt::Key_Plus,   Qt::Key_Minus, Qt::Key_Left,  Qt::Key_Right,
                                   Qt::Key_Up,     Qt::Key_Down,  Qt::Key_Home,  Qt::Key_Escape,
                                   Qt::Key_Return, Qt::Key_I,     Qt::Key_Space, Qt::Key_Delete};
    QTest::keyClick(target, keys[pick(int(std::size(keys)))]);
  }
  }
}

} // namespace

TEST_F(RandomInput, ThousandsOfEventsOverADamagedAtlasNeitherEndTheProgramNorWriteAFile) {
  TDataModuleVANDREL data(ProgramDir.path(), 2, Atlas.path());
  {
    Program p(data);
    p.Form.ContentCommands->SetHtmlViewer(
        "true"); // help and reference pages open in a program doing nothing
    p.Form.resize(1180, 760);
    p.Form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.Form));
    std::mt19937 random(2026);
    std::vector<QToolButton*> tools;
    for (QToolButton* b : p.Form.findChildren<QToolButton*>())
      tools.push_back(b);
    std::vector<QAction*> actions;
    for (QAction* a : p.Form.findChildren<QAction*>())
      if (!a->isSeparator() && !a->objectName().isEmpty() && a->objectName() != "imExit")
        actions.push_back(a);
    int events = 0;
    for (; events < 2500; ++events) {
      const unsigned where = random() % 20;
      if (where < 10) {
        RandomEvent(p.Form.Map, random);
      } else if (where < 13) {
        RandomEvent(p.Form.lboxObjects, random);
      } else if (where < 15) {
        RandomEvent(p.Form.lboxLayers, random);
      } else if (where < 18) {
        QToolButton* b = tools[random() % tools.size()];
        if (b->isVisible() && b->isEnabled()) QTest::mouseClick(b, Qt::LeftButton);
      } else {
        QAction* a = actions[random() % actions.size()];
        if (a->isEnabled()) a->trigger();
      }
      QApplication::processEvents();
    }
    EXPECT_EQ(events, 2500);
    EXPECT_TRUE(p.Form.isVisible()) << "the main window is still there";
    std::cout << "events: " << events << ", messages shown: " << Messages.Shown.size() << "\n";
    for (const QString& m : Messages.Shown)
      std::cout << "  " << m.left(160).toStdString() << "\n";
  }
  const auto after = FolderDigests(Atlas.path());
  EXPECT_EQ(after.size(), Before.size()) << "files appeared in or vanished from the atlas";
  for (const auto& [file, digest] : Before) {
    const auto now = after.find(file);
    EXPECT_TRUE(now != after.end() && now->second == digest) << file.toStdString() << " changed";
  }
}

namespace {

// The first object of a database points layer's table: its place.
QPointF FirstObject(const QString& maps, const QString& table) {
  db::Table t(maps, table);
  t.Open();
  t.First();
  return {t.FieldByName("X").AsFloat(), t.FieldByName("Y").AsFloat()};
}

int LayerOf(TFAMap& map, int category, int cls) {
  for (size_t i = 0; i < map.Layers.size(); ++i)
    if (map.Layers[i]->Category == category && map.Layers[i]->Class == cls) return int(i);
  return -1;
}

// Clicks the map at a world point after centring the view on it at two pixels per metre.
void ClickAt(TFAMap& map, QPointF at) {
  const double hw = map.width() / 4.0, hh = map.height() / 4.0;
  map.World.ViewExtent = {at.x() - hw, at.y() - hh, at.x() + hw, at.y() + hh};
  map.Redraw();
  QTest::mouseClick(&map, Qt::LeftButton, {},
                    QPoint(map.World.WorldToScreenX(at.x()), map.World.WorldToScreenY(at.y())));
}

} // namespace

// The three failures seen to end the program are reported where they happen: the event guard,
// the last resort, sees none of them.
TEST_F(RandomInput, PicksOnDamagedTablesAndAFailedLogoWriteAreReportedInPlace) {
  auto* app = dynamic_cast<TGuardedApplication*>(QApplication::instance());
  ASSERT_NE(app, nullptr);
  const int guarded = app->FailuresShown();
  TDataModuleVANDREL data(ProgramDir.path(), 0, Atlas.path());
  Program p(data);
  p.Form.resize(1180, 760);
  p.Form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.Form));
  TFAMap& map = *p.Form.Map;
  const QString maps = Atlas.filePath("MAPS");
  // The edit tool on a hydrant of a table without ObjectCode.
  map.ActiveLayer = LayerOf(map, 100, 3);
  ASSERT_GE(map.ActiveLayer, 0);
  p.Form.sbEditObjectClick();
  Messages.Shown.clear();
  ClickAt(map, FirstObject(maps, "Hydrants.db"));
  ASSERT_FALSE(Messages.Shown.isEmpty())
      << map.Selection.size() << " " << map.Mode << " " << p.Form.pnlMode->text().toStdString();
  EXPECT_TRUE(Messages.Shown.last().contains("ObjectCode")) << Messages.Shown.last().toStdString();
  // The information tool on a doubled pumping station: its labels come from a keyless table.
  map.ActiveLayer = LayerOf(map, 101, 2);
  ASSERT_GE(map.ActiveLayer, 0);
  ASSERT_TRUE(map.Layers[size_t(map.ActiveLayer)]->IsIndexed);
  p.Form.sbInfoClick();
  Messages.Shown.clear();
  ClickAt(map, FirstObject(maps, "Pumps.db"));
  ASSERT_FALSE(Messages.Shown.isEmpty());
  EXPECT_TRUE(Messages.Shown.first().startsWith(QString::fromUtf8("Помилка: ")));
  // A logo written to a pumping station that another program changed meanwhile.
  p.List.ShowList("Pumps", maps, QString::fromUtf8("Насосні станції"), 3, 101, 2, -1);
  p.List.DBGridSearch->setCurrentIndex(p.List.DBGridSearch->model()->index(0, 0));
  p.List.GetObjectImageIndex(101, 2, 0); // the layer has read its objects table
  {
    db::Table other(maps, "Pumps.db");
    other.Open();
    for (other.First(); !other.Eof(); other.Next()) {
      other.Edit();
      other.FieldByName("NAME").SetAsString("changed elsewhere");
      other.Post();
    }
  }
  p.List.ChooseImage = [](int current) { return current + 1; };
  Messages.Shown.clear();
  p.List.sbImageClick();
  EXPECT_EQ(app->FailuresShown(), guarded) << "nothing reached the event guard";
}
