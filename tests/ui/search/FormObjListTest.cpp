// The search window on the demo atlas, driven through its widgets: the SQL lines it builds,
// the columns it shows per mode, double clicks, showing on the map and the information.

#include "ui/search/FormObjList.h"

#include "AtlasWriter.h"
#include "base/UserMessages.h"

#include "core/FAMap.h"
#include "data/DataModule.h"
#include "db/Table.h"
#include "gfx/DrawHelpers.h"
#include "layers/LayerKinds.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

namespace {

struct WidgetsEnvironment : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "search_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) App = new QApplication(argc, argv);
    gfx::SetDelayHandler([](int) {});
    RegisterLayerKinds();
  }
  void TearDown() override { delete App; }
  QApplication* App = nullptr;
};
const auto* const widgets = ::testing::AddGlobalTestEnvironment(new WidgetsEnvironment);

class SearchWindow : public ::testing::Test {
protected:
  void SetUp() override {
    demo::WriteAtlas(Atlas.path(), 1, 3);
    Data = std::make_unique<TDataModuleVANDREL>(Program.path(), 0, Atlas.path());
    Map.LoadMap(Data->BaseDir, Data->MapsDir, Data->AppDir, Data->RefDir, Data->RoutesDir);
    List = std::make_unique<TFormObjList>(*Data, Map);
    List->ShowObjectOnMap = [this](int category, int cls, int code) {
      Shown.push_back({category, cls, code});
      return true;
    };
    List->ShowInfo = [this](int category, int cls, int record) {
      Informed.push_back({category, cls, record});
    };
  }
  void Streets() {
    List->ShowList("Streets", Data->MapsDir, QString::fromUtf8("Вулиці"), 1, 7, 4, -1);
  }
  void Addresses() {
    List->ShowList("address", Data->MapsDir, QString::fromUtf8("Адреси"), 4, 8, 1, -1);
  }
  void ChooseType(const char* type) {
    List->cboxTypeStr->setCurrentIndex(List->cboxTypeStr->findText(QString::fromUtf8(type)));
  }
  int Rows(const QString& table) {
    db::Table t(Data->MapsDir, table);
    t.Open();
    return t.RecordCount();
  }
  QString Header() const {
    return List->DBGridSearch->model()->headerData(0, Qt::Horizontal).toString();
  }

  QTemporaryDir Program, Atlas;
  std::unique_ptr<TDataModuleVANDREL> Data;
  TFAMap Map;
  std::unique_ptr<TFormObjList> List;
  std::vector<std::array<int, 3>> Shown, Informed;
};

} // namespace

TEST_F(SearchWindow, TheStreetSearchOfTheExampleBuildsFourLines) {
  Streets();
  ChooseType("вул.");
  List->chboxRegistr->setChecked(false);
  List->RdBtnBegin->setChecked(true);
  List->edtNameStr->setText("ab\"c");
  QTest::mouseClick(List->sbGoSearch, Qt::LeftButton);
  EXPECT_EQ(List->QueryStreets.SQL,
            (QStringList{"SELECT OBJECTCODE, STREET, (TYPE || \" \" || STREET) AS ADRESS ",
                         "FROM Streets", QString::fromUtf8("WHERE (TYPE =\"вул.\") "),
                         "AND (LOWER(STREET) LIKE \"ab\"\"c%\")"}));
  EXPECT_EQ(List->QueryStreets.RecordCount(), 0);
  // A real search: case ignored, from the start, any type.
  ChooseType("<Всі>");
  List->edtNameStr->setText(QString::fromUtf8("ШЕВ"));
  QTest::mouseClick(List->sbGoSearch, Qt::LeftButton);
  ASSERT_GT(List->QueryStreets.RecordCount(), 0);
  for (int r = 0; r < List->QueryStreets.RecordCount(); ++r)
    EXPECT_TRUE(
        db::ValueToString(List->QueryStreets.ValueAt(r, 1)).startsWith(QString::fromUtf8("Шев")));
  // With case: nothing starts with "ШЕВ".
  QTest::mouseClick(List->chboxRegistr, Qt::LeftButton, {}, {8, 9}); // on its box
  ASSERT_TRUE(List->chboxRegistr->isChecked());
  EXPECT_EQ(List->QueryStreets.RecordCount(), 0);
}

TEST_F(SearchWindow, AnEmptyNameListsEveryRowWhateverTheOptions) {
  Streets();
  List->chboxRegistr->setChecked(true);
  List->RdBtnIncl->setChecked(true);
  List->edtNameStr->clear();
  List->edtNameStrChange();
  EXPECT_EQ(List->QueryStreets.SQL.size(), 2);
  EXPECT_EQ(List->QueryStreets.RecordCount(), Rows("Streets.dbf"));
  EXPECT_EQ(Header(), QString::fromUtf8("Вулиця")) << "streets list type and name";
  // A group's list: the rows of that group only.
  List->ShowList("WaterWells", Data->MapsDir, QString::fromUtf8("Засувки"), 3, 100, 1, 3);
  EXPECT_EQ(List->QueryStreets.SQL[2], "WHERE (NUMGROUP =3) ");
  db::Table wells(Data->MapsDir, "WaterWells.db");
  wells.Open();
  int valves = 0;
  for (wells.First(); !wells.Eof(); wells.Next())
    valves += wells.FieldByName("NUMGROUP").AsInteger() == 3;
  EXPECT_EQ(List->QueryStreets.RecordCount(), valves);
}

TEST_F(SearchWindow, AddressSearchesUseTheNumberOnlyWithAStreetAndTheTypeOnlyByAddress) {
  Addresses();
  EXPECT_TRUE(List->RdBtnFromAddress->isChecked());
  List->edtNum->setText("5");
  List->edtNameStrChange();
  EXPECT_EQ(List->QueryStreets.SQL.size(), 2) << "a house number without a street is ignored";
  EXPECT_EQ(List->QueryStreets.RecordCount(), Rows("address.dbf"));
  List->edtNameStr->setText(QString::fromUtf8("сад"));
  List->edtNameStrChange();
  EXPECT_EQ(List->QueryStreets.SQL.last(), "AND (NUMBER LIKE \"5%\")");
  for (int r = 0; r < List->QueryStreets.RecordCount(); ++r)
    EXPECT_TRUE(db::ValueToString(List->QueryStreets.FieldValue("ADRESS"))
                    .contains(QString::fromUtf8("Садова, 5")));
  EXPECT_EQ(Header(), QString::fromUtf8("Адреса"));
  EXPECT_EQ(List->MemoField, "NAME");
  // By name the street type is left out even when one is chosen.
  ChooseType("вул.");
  List->RdBtnFromName->setChecked(true);
  List->edtNameStr->setText(QString::fromUtf8("Житловий"));
  List->edtNameStrChange();
  EXPECT_FALSE(List->QueryStreets.SQL.join("").contains("TYPE ="))
      << List->QueryStreets.SQL.join("|").toStdString();
  EXPECT_EQ(List->QueryStreets.SQL.last(),
            QString::fromUtf8("WHERE (LOWER(NAME) LIKE \"житловий%\") "));
  EXPECT_EQ(Header(), QString::fromUtf8("Назва"));
  EXPECT_EQ(List->MemoField, "ADRESS");
  EXPECT_FALSE(List->edtNum->isVisibleTo(List.get()));
}

TEST_F(SearchWindow, ADoubleClickFillsTheFieldAndShowsTheObjectWithoutSearchingAgain) {
  Streets();
  List->show();
  QApplication::processEvents();
  ASSERT_GT(List->QueryStreets.RecordCount(), 2);
  const QStringList sql = List->QueryStreets.SQL;
  const int rows = List->QueryStreets.RecordCount();
  QTableView* grid = List->DBGridSearch;
  const QRect cell = grid->visualRect(grid->model()->index(2, 0));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  const QString street = db::ValueToString(List->QueryStreets.ValueAt(2, 1));
  const int code = int(db::ValueToInteger(List->QueryStreets.ValueAt(2, 0)));
  EXPECT_EQ(List->edtNameStr->text(), street);
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Shown[0], (std::array<int, 3>{7, 4, code}));
  EXPECT_EQ(List->QueryStreets.SQL, sql) << "no new search";
  EXPECT_EQ(List->QueryStreets.RecordCount(), rows);
  EXPECT_EQ(List->DBMemo1->isVisibleTo(List.get()), false) << "streets have no memo";
}

TEST_F(SearchWindow, InformationNeedsALoadedLayerOfTheClass) {
  Addresses();
  List->DBGridSearch->selectRow(0);
  QTest::mouseClick(List->sbInfo, Qt::LeftButton);
  ASSERT_EQ(Informed.size(), 1u);
  EXPECT_EQ(Informed[0][0], 8);
  EXPECT_EQ(Informed[0][2],
            List->FindObjectIndex(8, 1, int(db::ValueToInteger(List->QueryStreets.ValueAt(0, 2)))));
  EXPECT_EQ(List->FindObjectIndex(99, 99, 0), -1);
  List->ShowList("address", Data->MapsDir, "?", 4, 99, 99, -1);
  List->DBGridSearch->selectRow(0);
  QTest::mouseClick(List->sbInfo, Qt::LeftButton);
  EXPECT_EQ(Informed.size(), 1u) << "no loaded layer of class (99, 99)";
}

TEST_F(SearchWindow, TypingSearchesAfterAShortPause) {
  Streets();
  const int all = List->QueryStreets.RecordCount();
  // Keys as the keyboard gives them (QTest::keyClicks knows Latin letters only).
  for (const QChar c : QString::fromUtf8("сад")) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(List->edtNameStr, &press);
  }
  EXPECT_EQ(List->edtNameStr->text(), QString::fromUtf8("сад"));
  EXPECT_EQ(List->QueryStreets.RecordCount(), all) << "not at every key";
  QTest::qWait(800);
  ASSERT_GT(List->QueryStreets.RecordCount(), 0);
  EXPECT_LT(List->QueryStreets.RecordCount(), all);
  EXPECT_TRUE(List->QueryStreets.SQL.last().contains(QString::fromUtf8("\"сад%\"")));
}

// A list whose query fails is said once (the radio button's handler leaves the query to the
// preparation), and the field's caption after a mode switch is the mode's own, without a colon.
TEST_F(SearchWindow, AFailingListIsSaidOnceAndTheCaptionHasNoColon) {
  base::RecordedMessages messages;
  base::UserMessages* previous = &base::UserMessages::Current();
  base::UserMessages::Install(&messages);
  Streets();
  EXPECT_EQ(List->lblSearchPar->text(), QString::fromUtf8("Назва"));
  messages.Shown.clear();
  // The green areas' table has no STREET: an objects list of it cannot be searched.
  List->ShowList("Green", Data->MapsDir, QString::fromUtf8("Зелені насадження"), 4, 4, 2, -1);
  EXPECT_EQ(messages.Shown.size(), 1) << messages.Shown.join(" | ").toStdString();
  EXPECT_EQ(List->lblSearchPar->text(), QString::fromUtf8("Вулиця"));
  Streets();
  EXPECT_EQ(List->lblSearchPar->text(), QString::fromUtf8("Назва"));
  base::UserMessages::Install(previous);
}

// Every caption of the window is whole at the desktop's own font: none is cut by its control's
// width or by the edge of what holds it, in either search method.
TEST_F(SearchWindow, EveryCaptionFitsItsControl) {
  for (const bool addresses : {false, true}) {
    addresses ? Addresses() : Streets();
    for (QRadioButton* method : {List->RdBtnFromName, List->RdBtnFromAddress}) {
      if (!method->isEnabled()) continue;
      method->setChecked(true);
      QApplication::processEvents();
      for (QWidget* w : List->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(List.get())) continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w))
          text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
          text = button->text();
        if (text.isEmpty()) continue;
        SCOPED_TRACE(text.toStdString());
        EXPECT_LE(w->sizeHint().width(), w->width());
        EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry()))
            << w->x() << "+" << w->width();
        // No sibling caption overlaps it.
        for (QWidget* other :
             w->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
          if (other != w && other->isVisibleTo(List.get()) &&
              (qobject_cast<QLabel*>(other) || qobject_cast<QLineEdit*>(other))) {
            EXPECT_FALSE(other->geometry().intersects(w->geometry()))
                << other->objectName().toStdString();
          }
        }
      }
    }
  }
}

// The grid is headed by a caption, and a search that finds nothing leaves nothing of the last
// result to show on the map or to ask about.
TEST_F(SearchWindow, ANoResultSearchLeavesNothingOfTheLastResult) {
  Addresses();
  EXPECT_EQ(Header(), QString::fromUtf8("Адреса"));
  List->DBGridSearch->selectRow(1);
  EXPECT_TRUE(List->sbInfo->isEnabled());
  EXPECT_FALSE(List->DBMemo1->toPlainText().isEmpty());
  List->edtNameStr->setText(QString::fromUtf8("Ніякої такої вулиці"));
  QTest::mouseClick(List->sbGoSearch, Qt::LeftButton);
  ASSERT_EQ(List->QueryStreets.RecordCount(), 0);
  EXPECT_TRUE(List->DBMemo1->toPlainText().isEmpty());
  EXPECT_FALSE(List->sbInfo->isEnabled());
  EXPECT_FALSE(List->sbOnMap->isEnabled());
  List->sbInfoClick();
  List->sbOnMapClick();
  EXPECT_TRUE(Informed.empty());
  EXPECT_TRUE(Shown.empty());
  List->edtNameStr->clear();
  QTest::mouseClick(List->sbGoSearch, Qt::LeftButton);
  EXPECT_TRUE(List->sbOnMap->isEnabled());
  Streets();
  EXPECT_EQ(Header(), QString::fromUtf8("Вулиця"));
}
