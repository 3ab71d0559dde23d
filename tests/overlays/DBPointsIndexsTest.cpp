// The grid index on grid, layers and object tables written for each test: the pick box and its
// choice, scale windows, per-class tables, the nearest search, names and failures.

#include "overlays/DBPointsIndexs.h"
#include "overlays/ObjectIndexBuilder.h"

#include "base/UserMessages.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using db::FieldType;
using db::Value;
namespace px = db::paradox;

struct GuiEnvironment : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "overlays_tests";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) App = new QGuiApplication(argc, argv);
  }
  void TearDown() override { delete App; }
  QGuiApplication* App = nullptr;
};
const auto* const gui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

struct Grid {
  int Class, Number;
  double X, Y;
  double ScaleIn = 0, ScaleOut = 0;
};

class IndexTest : public ::testing::Test {
protected:
  static constexpr double kCell = 100;

  void SetUp() override {
    for (const char* d : {"MAPS", "BASE", "USER_OBJ"})
      QDir(Dir.path()).mkpath(d);
    base::UserMessages::Install(&Messages);
    db::ParadoxFile::Create(Base() + "/ClassReest.db",
                            {px::MakeField("Category", FieldType::SmallInt),
                             px::MakeField("Class", FieldType::Integer),
                             px::MakeField("FileName", FieldType::String, 40)},
                            2,
                            {{int64_t(100), int64_t(1), QString("Wells.db")},
                             {int64_t(100), int64_t(2), QString("Manholes.db")},
                             {int64_t(100), int64_t(3), QString("Water")},
                             {int64_t(100), int64_t(4), QString("a.b.c")}});
    // The wells' object table: labels come from Number, else Name.
    db::ParadoxFile::Create(Maps() + "/Wells.db",
                            {px::MakeField("Category", FieldType::SmallInt),
                             px::MakeField("Class", FieldType::Integer),
                             px::MakeField("ObjectCode", FieldType::Integer),
                             px::MakeField("Name", FieldType::String, 20),
                             px::MakeField("Number", FieldType::String, 10)},
                            3,
                            {{int64_t(100), int64_t(1), int64_t(7), QString("ВК-7"), QString("7a")},
                             {int64_t(100), int64_t(1), int64_t(8), QString("ВК-8"), Value()}});
  }
  void TearDown() override { base::UserMessages::Install(nullptr); }

  QString Maps() const { return Dir.path() + "/MAPS"; }
  QString Base() const { return Dir.path() + "/BASE"; }
  QString UserObj() const { return Dir.path() + "/USER_OBJ"; }

  // A grid table of category-100 records (with the header first when `header`).
  void WriteGrid(const QString& name, const std::vector<Grid>& records, bool header = true) {
    std::vector<std::vector<Value>> rows;
    if (header)
      rows.push_back({int64_t(0), int64_t(0), int64_t(0), int64_t(0), int64_t(0), kCell, kCell,
                      Value(), Value()});
    for (const Grid& g : records)
      rows.push_back({int64_t(std::trunc(g.X / kCell)) + 1, int64_t(std::trunc(g.Y / kCell)) + 1,
                      int64_t(100), int64_t(g.Class), int64_t(g.Number), g.X, g.Y,
                      g.ScaleIn == 0 ? Value() : Value(g.ScaleIn),
                      g.ScaleOut == 0 ? Value() : Value(g.ScaleOut)});
    db::ParadoxFile::Create(UserObj() + "/" + name, GridTableFields(), 5, rows);
  }
  std::unique_ptr<TDBPointsIndexs> Index() {
    auto index = std::make_unique<TDBPointsIndexs>(Maps(), Base(), UserObj(), 0, 0, 1000, 1000);
    index->ChooseObject = [this](const QStringList& labels) {
      Offered << labels;
      return Choice;
    };
    return index;
  }
  // A 200 × 200 view at `scale` pixels per map unit centred on (x, y).
  void ViewAt(double x, double y, double scale) {
    World.SetView(200, 200, x - 100 / scale, y - 100 / scale, x + 100 / scale, y + 100 / scale);
  }

  QTemporaryDir Dir;
  base::RecordedMessages Messages;
  TWorld World;
  QList<QStringList> Offered;
  int Choice = -1;
};

} // namespace

TEST_F(IndexTest, OneRecordUnderThePickBoxIsFoundWithoutAChoice) {
  WriteGrid("SPIN.DB", {{1, 7, 250, 250}, {1, 8, 400, 400}, {2, 9, 250, 250}});
  auto index = Index();
  EXPECT_EQ(index->CellWidth, kCell);
  ViewAt(250, 250, 1);
  int32_t number = 0;
  double x = 1, y = 1;
  ASSERT_TRUE(index->FindObjectsAt(World, 100, 251, 249, 1, number, x, y));
  EXPECT_EQ(number, 7);
  EXPECT_EQ(x, 250);
  EXPECT_EQ(y, 250);
  EXPECT_TRUE(Offered.isEmpty()) << "no window for one object";
  EXPECT_FALSE(index->FindObjectsAt(World, 100, 320, 320, 1, number, x, y));
  EXPECT_EQ(number, -1);
  EXPECT_EQ(x, 0);
}

TEST_F(IndexTest, SeveralRecordsOfferAChoiceInKeyOrder) {
  // Object 8 is in a lower cell column than object 7, so it comes first in key order.
  WriteGrid("SPIN.DB", {{1, 7, 201, 150}, {1, 8, 199, 150}});
  auto index = Index();
  ViewAt(200, 150, 1);
  int32_t number = 0;
  double x = 0, y = 0;
  Choice = -1; // "Відмінити", or OK without a chosen line
  EXPECT_FALSE(index->FindObjectsAt(World, 100, 200, 150, 1, number, x, y));
  ASSERT_EQ(Offered.size(), 1);
  // In key order; the label is the Number, or the Name where the number is empty.
  EXPECT_EQ(Offered[0], (QStringList{"ВК-8", "7a"}));
  EXPECT_EQ(number, -1);
  Choice = 1;
  ASSERT_TRUE(index->FindObjectsAt(World, 100, 200, 150, 1, number, x, y));
  EXPECT_EQ(number, 7);
  EXPECT_EQ(x, 201);
}

TEST_F(IndexTest, RecordsCountOnlyWithinTheirScaleWindow) {
  WriteGrid("SPIN.DB", {{1, 1, 150, 150, 0, 0}, {1, 2, 550, 150, 2, 0}, {1, 3, 850, 150, 0, 0.5}});
  auto index = Index();
  int32_t number = 0;
  double x = 0, y = 0;
  for (const double scale : {0.25, 1.0, 4.0}) {
    ViewAt(150, 150, scale);
    EXPECT_TRUE(index->FindObjectsAt(World, 100, 150, 150, 1, number, x, y)) << scale;
  }
  ViewAt(550, 150, 1);
  EXPECT_FALSE(index->FindObjectsAt(World, 100, 550, 150, 1, number, x, y)) << "ScaleIn 2 > 1";
  ViewAt(550, 150, 2);
  EXPECT_TRUE(index->FindObjectsAt(World, 100, 550, 150, 1, number, x, y)) << "ScaleIn = Scale";
  ViewAt(850, 150, 0.5);
  EXPECT_TRUE(index->FindObjectsAt(World, 100, 850, 150, 1, number, x, y));
  ViewAt(850, 150, 1);
  EXPECT_FALSE(index->FindObjectsAt(World, 100, 850, 150, 1, number, x, y)) << "ScaleOut 0.5 < 1";
}

TEST_F(IndexTest, BelowEightPixelsForTenUnitsThePickBoxIsTenPixelsAndItsBorderCounts) {
  ViewAt(500, 500, 0.5); // 10 units are 5 pixels
  int hw = 0, hh = 0;
  TDBPointsIndexs::PickBoxHalfSize(World, hw, hh);
  EXPECT_EQ(hw, 5);
  EXPECT_EQ(hh, 5);
  // Five pixels are ten units: a record exactly on the border is inside, one unit further not.
  WriteGrid("SPIN.DB", {{1, 1, 510, 500}, {1, 2, 500, 489}});
  auto index = Index();
  int32_t number = 0;
  double x = 0, y = 0;
  ASSERT_TRUE(index->FindObjectsAt(World, 100, 500, 500, 1, number, x, y));
  EXPECT_EQ(number, 1);
  // From eight pixels on, the box is half a "W" of the symbol font at that size.
  ViewAt(500, 500, 1);
  TDBPointsIndexs::PickBoxHalfSize(World, hw, hh);
  EXPECT_GT(hh, 5);
  EXPECT_GT(hw, 2);
}

TEST_F(IndexTest, AClassWithItsOwnTableIgnoresTheSharedRecordsAndLetsItGo) {
  WriteGrid("SPIN.DB", {{2, 50, 300, 300}});
  WriteGrid("spinManholes.db", {{2, 60, 300, 300}}, false);
  auto index = Index();
  ViewAt(300, 300, 1);
  int32_t number = 0;
  double x = 0, y = 0;
  ASSERT_TRUE(index->FindObjectsAt(World, 100, 300, 300, 2, number, x, y));
  EXPECT_EQ(number, 60);
  ASSERT_TRUE(index->FindNearestInGrid(World, 100, 301, 301, 2, number));
  EXPECT_EQ(number, 60);
  EXPECT_TRUE(index->SpinTable.Active()) << "the shared table stays open";
  db::Table own(UserObj(), "spinManholes.db");
  own.SetExclusive(true);
  EXPECT_NO_THROW(own.Open()) << "the per-class table is closed after the search";
  own.Close();
  // A class without a table of its own still reads the shared one.
  WriteGrid("SPIN.DB", {{2, 50, 300, 300}, {1, 7, 300, 300}});
  auto again = Index();
  ASSERT_TRUE(again->FindObjectsAt(World, 100, 300, 300, 1, number, x, y));
  EXPECT_EQ(number, 7);
}

TEST_F(IndexTest, GridTableNamesTakeTheLayerFileUpToItsFirstDot) {
  WriteGrid("SPIN.DB", {});
  auto index = Index();
  EXPECT_EQ(index->GetSpinTableName(100, 1), "spinWells.db");
  EXPECT_EQ(index->GetSpinTableName(100, 3), "spinWater.db") << "no dot: the whole name";
  EXPECT_EQ(index->GetSpinTableName(100, 4), "spina.db");
  EXPECT_EQ(index->GetSpinTableName(100, 9), "") << "no such class";
  EXPECT_EQ(index->GetObjectLabel(100, 1, 7), "7a");
  EXPECT_EQ(index->GetObjectLabel(100, 1, 8), "ВК-8") << "an empty Number gives the Name";
  EXPECT_EQ(index->GetObjectLabel(100, 1, 99), "");
}

TEST_F(IndexTest, TheNearestSearchReachesTenUnitsAndKeepsTheFirstOfEqualDistances) {
  WriteGrid("SPIN.DB", {{1, 1, 505, 500},
                        {1, 2, 503, 500},
                        {1, 3, 510, 520},
                        {1, 4, 310, 300},
                        {1, 5, 290, 300},
                        {2, 6, 500, 501}});
  auto index = Index();
  int32_t number = 0;
  ASSERT_TRUE(index->FindNearestInGrid(World, 100, 500, 500, 1, number));
  EXPECT_EQ(number, 2) << "the nearer of two";
  ASSERT_TRUE(index->FindNearestInGrid(World, 100, 500, 530, 1, number));
  EXPECT_EQ(number, 3) << "exactly 10 units away in X and in Y counts";
  EXPECT_FALSE(index->FindNearestInGrid(World, 100, 499.99, 530, 1, number));
  EXPECT_EQ(number, -1);
  // (290, 300) is in a lower column than (310, 300): first in key order, at the same distance.
  ASSERT_TRUE(index->FindNearestInGrid(World, 100, 300, 300, 1, number));
  EXPECT_EQ(number, 5);
  EXPECT_FALSE(index->FindNearestInGrid(World, 100, 500, 500, 3, number)) << "no such class";
}

TEST_F(IndexTest, WithoutAGridHeaderOrTableNothingIsFound) {
  WriteGrid("SPIN.DB", {}, false);
  int32_t number = 0;
  double x = 0, y = 0;
  EXPECT_FALSE(Index()->FindNearestInGrid(World, 100, 0, 0, 1, number));
  QFile::remove(UserObj() + "/SPIN.DB");
  QFile::remove(UserObj() + "/SPIN.PX");
  Messages.Shown.clear();
  auto index = Index();
  ASSERT_EQ(Messages.Shown.size(), 1);
  EXPECT_EQ(Messages.Shown[0], QString::fromUtf8("Помилка відкриття ") + UserObj() + "\\SPIN.DB");
  ViewAt(0, 0, 1);
  EXPECT_FALSE(index->FindObjectsAt(World, 100, 0, 0, 1, number, x, y));
  EXPECT_FALSE(index->FindNearestInGrid(World, 100, 0, 0, 1, number));
}

// A header whose cell size is no positive number finds nothing; a cell so small that a pick
// spans billions of cells walks only the columns the table holds.
TEST_F(IndexTest, OddCellSizesNeitherMisreadNorWalkEveryCell) {
  const auto writeWithCell = [&](double cell) {
    db::ParadoxFile::Create(
        UserObj() + "/SPIN.DB", GridTableFields(), 5,
        {{int64_t(0), int64_t(0), int64_t(0), int64_t(0), int64_t(0), cell, cell, Value(), Value()},
         {int64_t(1), int64_t(1), int64_t(100), int64_t(1), int64_t(7), 0.0, 0.0, Value(),
          Value()}});
  };
  int32_t number = 0;
  double x = 0, y = 0;
  ViewAt(500, 500, 1);
  for (const double cell : {std::nan(""), -100.0, 0.0, HUGE_VAL}) {
    writeWithCell(cell);
    auto index = Index();
    EXPECT_FALSE(index->FindNearestInGrid(World, 100, 0, 0, 1, number)) << cell;
    EXPECT_FALSE(index->FindObjectsAt(World, 100, 500, 500, 1, number, x, y)) << cell;
  }
  writeWithCell(1e-12); // the pick box spans some 10^13 columns
  auto index = Index();
  EXPECT_FALSE(index->FindObjectsAt(World, 100, 500, 500, 1, number, x, y));
  EXPECT_FALSE(index->FindNearestInGrid(World, 100, 1e300, -1e300, 1, number));
  // The record's own cell is still reached from a pick beside it.
  ViewAt(0, 0, 1);
  EXPECT_TRUE(index->FindNearestInGrid(World, 100, 0, 0, 1, number));
  EXPECT_EQ(number, 7);
}

// A user-object table without a key, or an objects table without ObjectCode, cannot be searched
// for an object's label: said, and the label is empty; nothing is raised to the caller (a mouse
// handler).
TEST_F(IndexTest, ALabelFromATableThatCannotBeSearchedIsEmptyAndSaid) {
  db::ParadoxFile::Create(Base() + "/ClassReest.db",
                          {px::MakeField("Category", FieldType::SmallInt),
                           px::MakeField("Class", FieldType::Integer),
                           px::MakeField("FileName", FieldType::String, 40)},
                          2,
                          {{int64_t(5), int64_t(1), QString("Keyless.db")},
                           {int64_t(100), int64_t(1), QString("Wells.db")}});
  db::ParadoxFile::Create(UserObj() + "/Keyless.db", {px::MakeField("Name", FieldType::String, 20)},
                          0, {{QString("A")}});
  db::ParadoxFile::Create(Maps() + "/Wells.db", {px::MakeField("Name", FieldType::String, 20)}, 0,
                          {{QString("B")}});
  WriteGrid("SPIN.DB", {});
  auto index = Index();
  Messages.Shown.clear();
  EXPECT_EQ(index->GetObjectLabel(5, 1, 1), "");
  EXPECT_EQ(index->GetObjectLabel(100, 1, 1), "");
  ASSERT_EQ(Messages.Shown.size(), 2);
  EXPECT_TRUE(Messages.Shown[0].startsWith(QString::fromUtf8("Помилка: ")));
  EXPECT_TRUE(Messages.Shown[1].contains("ObjectCode")) << Messages.Shown[1].toStdString();
}
