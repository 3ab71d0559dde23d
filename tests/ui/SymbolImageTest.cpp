// The symbol and logo windows on a private demo atlas: the character grid, what a choice writes
// for a class or a group, failures, new image numbers, pictures loaded from BMP files, and the
// keys of the logo window.

#include "core/CustomLayer.h"
#include "core/FAMap.h"
#include "data/DataModule.h"
#include "ui/main/ContentCommands.h"
#include "ui/main/FormMap.h"
#include "ui/main/ObjectListLink.h"
#include "ui/objects/FormSelectInfo.h"
#include "ui/panels/LayerPanels.h"
#include "ui/search/FormObjList.h"
#include "ui/styles/FormSelectImages.h"
#include "ui/styles/FormSetSymbol.h"

#include "AtlasWriter.h"

#include "base/TextCodec.h"
#include "base/UserMessages.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Table.h"
#include "gfx/SymbolFonts.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class SymbolAndImageWindows : public ::testing::Test {
protected:
  void SetUp() override {
    demo::WriteAtlas(Atlas.path(), 1, 4);
    Data = std::make_unique<TDataModuleVANDREL>(Program.path(), 0, Atlas.path());
    Previous = &base::UserMessages::Current();
    base::UserMessages::Install(&Messages);
  }
  void TearDown() override { base::UserMessages::Install(Previous); }
  QByteArray File(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  // Runs a symbol choice: cell (column, row) and the font, if any, then "Вибрати".
  bool Choose(int category, int cls, int group, int column, int row, const QString& font) {
    TFormSetSymbol window(*Data);
    QTimer::singleShot(0, [&] {
      if (!font.isEmpty()) window.SetFontName(font);
      window.sgrdSymbols->setCurrentCell(row, column);
      QTest::mouseClick(window.bbtnOK, Qt::LeftButton);
    });
    return window.ChooseSymbol(category, cls, group);
  }
  QString Field(db::Table& t, const QString& name) { return t.FieldByName(name).AsString(); }

  QTemporaryDir Program, Atlas;
  std::unique_ptr<TDataModuleVANDREL> Data;
  base::RecordedMessages Messages;
  base::UserMessages* Previous = nullptr; // the sink of the other tests, put back after
};

} // namespace

TEST_F(SymbolAndImageWindows, TheGridHoldsTheCodesFromSpaceOnAndEndsWithFourEmptyCells) {
  EXPECT_EQ(TFormSetSymbol::CellCharacter(0, 0), " ");
  EXPECT_EQ(TFormSetSymbol::CellCharacter(1, 0), "!");
  EXPECT_EQ(TFormSetSymbol::CellCharacter(0, 1), "3") << "code 51";
  EXPECT_EQ(TFormSetSymbol::CellCharacter(14, 11), QString::fromUtf8("я")) << "code 255 in 1251";
  for (int column = 15; column < 19; ++column)
    EXPECT_TRUE(TFormSetSymbol::CellCharacter(column, 11).isEmpty());
  TFormSetSymbol window(*Data);
  // Wingdings is missing here: the grid shows the signs of its codes ("J" is a smiling face).
  const QTableWidgetItem* j = window.sgrdSymbols->item((0x4A - 32) / 19, (0x4A - 32) % 19);
  EXPECT_EQ(j->data(Qt::UserRole).toString(), "J");
  EXPECT_EQ(j->text(), QString(QChar(0x263A)));
}

TEST_F(SymbolAndImageWindows, AGroupChoiceWritesOnlyThatGroupsRow) {
  const QByteArray layers = File(Data->TableClasses.FilePath());
  ASSERT_TRUE(Choose(100, 1, 3, 2, 2, "DejaVu Sans"));
  EXPECT_EQ(File(Data->TableClasses.FilePath()), layers) << "the layers table is not touched";
  db::Table groups(Data->BaseDir, "GroupReest.DB");
  groups.Open();
  ASSERT_TRUE(groups.FindKey({int64_t(100), int64_t(1), int64_t(3)}));
  EXPECT_EQ(Field(groups, "Symbol_Code"), TFormSetSymbol::CellCharacter(2, 2));
  EXPECT_EQ(Field(groups, "SymbolFont"), "DejaVu Sans");
  ASSERT_TRUE(groups.FindKey({int64_t(100), int64_t(1), int64_t(2)}));
  EXPECT_EQ(Field(groups, "Symbol_Code"), "n") << "the next group keeps its symbol";
}

TEST_F(SymbolAndImageWindows, GroupNumbersFrom128MeanTheClassesOwnSymbol) {
  const QByteArray groupsBefore = File(Data->TableGroup.FilePath());
  ASSERT_TRUE(Choose(100, 1, 200, 5, 1, ""));
  db::Table layers(Data->BaseDir, "classreest");
  layers.Open();
  layers.SetIndexName("CLASS_ID");
  ASSERT_TRUE(layers.FindKey({int64_t(100), int64_t(1)}));
  EXPECT_EQ(Field(layers, "CharLabel"), TFormSetSymbol::CellCharacter(5, 1));
  EXPECT_EQ(Field(layers, "CharFont"), "Wingdings") << "no font chosen: the font is kept";
  EXPECT_EQ(File(Data->TableGroup.FilePath()), groupsBefore);
}

TEST_F(SymbolAndImageWindows, AMissingClassRowFailsAndThePanelsSaySo) {
  EXPECT_FALSE(Choose(99, 99, 255, 0, 0, ""));
  TFormMap form(*Data);
  QTimer::singleShot(0, [] {
    if (auto* w = dynamic_cast<TFormSetSymbol*>(QApplication::activeModalWidget())) {
      w->sgrdSymbols->setCurrentCell(1, 1);
      QTest::mouseClick(w->bbtnOK, Qt::LeftButton);
    }
  });
  Messages.Shown.clear();
  form.Panels->ChangeSymbol(99, 99, 255);
  EXPECT_EQ(Messages.Shown,
            QStringList{QString::fromUtf8("Помилка при установці знаку для виводу!")});
}

TEST_F(SymbolAndImageWindows, NewImagesTakeTheNextNumberAfterTheLastWhateverRowIsCurrent) {
  db::Table& images = Data->TableImages;
  images.Append();
  images.FieldByName("ImageIndex").SetAsInteger(17);
  images.Post();
  TFormSelectImages window(*Data);
  window.DBCtrlGrid1->setCurrentCell(0, 0);
  const int rows = images.RecordCount();
  QTest::mouseClick(window.BitBtnAdd, Qt::LeftButton);
  ASSERT_EQ(images.RecordCount(), rows + 1);
  EXPECT_EQ(db::ValueToInteger(images.ValueAt(rows, images.FieldByName("ImageIndex").FieldNo())),
            18);
  // Enter is "Новий" too; Escape asks before it deletes, and neither closes the window.
  QTest::keyClick(&window, Qt::Key_Return);
  EXPECT_EQ(images.RecordCount(), rows + 2);
  Messages.Answer = false;
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_EQ(images.RecordCount(), rows + 2) << "answered no";
  Messages.Answer = true;
  window.DBCtrlGrid1->setCurrentCell(rows + 1, 0);
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_EQ(images.RecordCount(), rows + 1);
  window.DBCtrlGrid1->setCurrentCell(rows, 0);
  QTest::mouseClick(window.BitBtnOK, Qt::LeftButton);
  EXPECT_EQ(window.SelectedImageIndex, 18);
}

TEST_F(SymbolAndImageWindows, ALoadedBmpIsStoredAndReadBackAsItWas) {
  QImage picture(24, 16, QImage::Format_RGB32);
  picture.fill(QColor(10, 120, 200));
  picture.setPixelColor(3, 4, Qt::yellow);
  const QString path = Program.filePath("Logo Valve.bmp");
  ASSERT_TRUE(picture.save(path, "BMP"));
  TFormSelectImages window(*Data);
  window.DBCtrlGrid1->setCurrentCell(1, 0);
  window.LoadPicture(path);
  db::Table images(Data->BaseDir, "images.db");
  images.Open();
  images.SetRecNo(2);
  EXPECT_EQ(images.FieldByName("Image").AsBlob(), File(path));
  EXPECT_EQ(images.FieldByName("ImageName").AsString(), "Logo Valve.bmp");
  // A file that is no BMP is refused with its name and changes nothing.
  const QString text = Program.filePath("notes.txt");
  QFile f(text);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("not a picture");
  f.close();
  try {
    window.LoadPicture(text);
    FAIL();
  } catch (const db::Error& e) {
    EXPECT_TRUE(e.Message.contains("notes.txt"));
  }
  images.Close();
  images.Open();
  images.SetRecNo(2);
  EXPECT_EQ(images.FieldByName("Image").AsBlob(), File(path));
}

// ---------------------------------------------------------------- as a user chooses

namespace {

// Row and column of a character's cell in the symbol grid.
QPoint CellOf(const QString& character) {
  const int code = int(base::Encode(character, base::CodePage::Cp1251).at(0) & 0xFF) - 32;
  return {code % TFormSetSymbol::kColumns, code / TFormSetSymbol::kColumns};
}

void SetClassSymbol(db::Table& classes, int category, int cls, const QString& font,
                    const QString& character) {
  classes.SetIndexName("CLASS_ID");
  ASSERT_TRUE(classes.FindKey({int64_t(category), int64_t(cls)}));
  classes.Edit();
  classes.FieldByName("CharFont").SetAsString(font);
  classes.FieldByName("CharLabel").SetAsString(character);
  classes.Post();
  classes.SetIndexName("");
}

QString StoredClassField(TDataModuleVANDREL& data, int category, int cls, const QString& field) {
  db::Table layers(data.BaseDir, "classreest");
  layers.Open();
  layers.SetIndexName("CLASS_ID");
  return layers.FindKey({int64_t(category), int64_t(cls)}) ? layers.FieldByName(field).AsString()
                                                           : QString("(no row)");
}

} // namespace

TEST_F(SymbolAndImageWindows, TheWindowOpensOnTheRowsFontAndCharacterAndStoresWhatItShows) {
  SetClassSymbol(Data->TableClasses, 100, 3, "Webdings", "a"); // the hydrants
  TFormSetSymbol window(*Data);
  QString shownFont, shownCell, clickedCharacter, clickedSign;
  QTimer::singleShot(0, [&] {
    shownFont = window.FontComboBox->currentText();
    if (QTableWidgetItem* cell = window.sgrdSymbols->currentItem())
      shownCell = cell->data(Qt::UserRole).toString();
    // Another cell clicked as the user does: the sign of the row's own font.
    const QPoint star = CellOf("*");
    QTableWidgetItem* item = window.sgrdSymbols->item(star.y(), star.x());
    clickedCharacter = item->data(Qt::UserRole).toString();
    clickedSign = item->text();
    QTest::mouseClick(window.sgrdSymbols->viewport(), Qt::LeftButton, {},
                      window.sgrdSymbols->visualItemRect(item).center());
    QTest::mouseClick(window.bbtnOK, Qt::LeftButton);
  });
  window.show();
  ASSERT_TRUE(window.ChooseSymbol(100, 3, 255));
  EXPECT_EQ(shownFont, "Webdings");
  EXPECT_EQ(shownCell, "a");
  EXPECT_EQ(clickedSign, gfx::SymbolFontText("Webdings", "*")) << "the grid shows the row's font";
  EXPECT_EQ(StoredClassField(*Data, 100, 3, "CharFont"), "Webdings");
  EXPECT_EQ(StoredClassField(*Data, 100, 3, "CharLabel"), clickedCharacter);
}

TEST_F(SymbolAndImageWindows, NothingIsStoredUntilACellIsChosen) {
  SetClassSymbol(Data->TableClasses, 100, 3, "Wingdings", ""); // a class without a symbol yet
  const QByteArray before = File(Data->TableClasses.FilePath());
  TFormSetSymbol window(*Data);
  bool okOffered = true, stayed = false;
  QTimer::singleShot(0, [&] {
    okOffered = window.bbtnOK->isEnabled();
    QTest::mouseClick(window.bbtnOK, Qt::LeftButton);
    window.bbtnOKClick(); // the handler itself refuses too
    stayed = window.isVisible();
    QTest::mouseClick(window.bbtnCancel, Qt::LeftButton);
  });
  window.show();
  EXPECT_TRUE(window.ChooseSymbol(100, 3, 255));
  EXPECT_FALSE(okOffered);
  EXPECT_TRUE(stayed);
  EXPECT_EQ(File(Data->TableClasses.FilePath()), before);
  // With the hydrants' "H" the window opens on it; "Вибрати" keeps it.
  SetClassSymbol(Data->TableClasses, 100, 3, "Wingdings", "H");
  TFormSetSymbol again(*Data);
  QTimer::singleShot(0, [&] { QTest::mouseClick(again.bbtnOK, Qt::LeftButton); });
  again.show();
  EXPECT_TRUE(again.ChooseSymbol(100, 3, 255));
  EXPECT_EQ(StoredClassField(*Data, 100, 3, "CharLabel"), "H");
}

TEST_F(SymbolAndImageWindows, AnImageNumberThatIsNoWholeNumberIsRefused) {
  TFormSelectImages window(*Data);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  const QByteArray before = File(Data->TableImages.FilePath());
  QTableWidgetItem* number = window.DBCtrlGrid1->item(0, 1);
  const QString was = number->text();
  Messages.Shown.clear();
  window.DBCtrlGrid1->setCurrentItem(number);
  window.DBCtrlGrid1->editItem(number);
  auto* editor = window.DBCtrlGrid1->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(editor, "3x");
  QTest::keyClick(editor, Qt::Key_Tab); // on to the next cell (Enter would also add a row)
  QApplication::processEvents();
  ASSERT_EQ(Messages.Shown.size(), 1);
  EXPECT_TRUE(Messages.Shown[0].contains("3x")) << Messages.Shown[0].toStdString();
  EXPECT_EQ(window.DBCtrlGrid1->item(0, 1)->text(), was);
  EXPECT_EQ(File(Data->TableImages.FilePath()), before);
}

TEST_F(SymbolAndImageWindows, TheLogoChosenInTheSearchWindowGoesToTheListsOwnClass) {
  TFormMap form(*Data);
  TFormSelectInfo info(*Data, &form);
  TFormObjList list(*Data, *form.Map, &form);
  ConnectObjectList(list, form, info);
  form.resize(1100, 700);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  // The panels stand on the water wells.
  for (size_t i = 0; i < form.Map->Layers.size(); ++i)
    if (form.Map->Layers[i]->Category == 100 && form.Map->Layers[i]->Class == 1)
      form.lboxLayers->setCurrentRow(int(i));
  const QByteArray wells = File(Data->MapsDir + "/WaterWells.db");
  // The images as they were: an open cursor reads its rows from the file when asked.
  std::vector<db::Value> before;
  {
    db::Table hydrants(Data->MapsDir, "Hydrants.db");
    hydrants.Open();
    const size_t field = hydrants.FieldByName("ImageIndex").FieldNo();
    for (int r = 0; r < hydrants.RecordCount(); ++r)
      before.push_back(hydrants.ValueAt(r, field));
  }
  list.ShowList("Hydrants", Data->MapsDir, QString::fromUtf8("Пожежні гідранти"), 3, 100, 3, -1);
  list.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
  list.DBGridSearch->setCurrentIndex(list.DBGridSearch->model()->index(0, 0));
  int chosen = -1;
  QTimer::singleShot(0, [&] {
    auto* images = dynamic_cast<TFormSelectImages*>(QApplication::activeModalWidget());
    if (!images) return;
    QTest::mouseClick(images->BitBtnAdd, Qt::LeftButton); // a new logo number, nobody's yet
    const int last = images->DBCtrlGrid1->rowCount() - 1;
    images->DBCtrlGrid1->setCurrentCell(last, 0);
    chosen = images->DBCtrlGrid1->item(last, 1)->text().toInt();
    QTest::mouseClick(images->BitBtnOK, Qt::LeftButton);
  });
  QTest::mouseClick(list.sbImage, Qt::LeftButton);
  ASSERT_GT(chosen, 0);
  EXPECT_EQ(File(Data->MapsDir + "/WaterWells.db"), wells) << "the panels' class is not touched";
  db::Table after(Data->MapsDir, "Hydrants.db");
  after.Open();
  ASSERT_EQ(size_t(after.RecordCount()), before.size());
  int changed = 0;
  const size_t image = after.FieldByName("ImageIndex").FieldNo();
  for (int r = 0; r < after.RecordCount(); ++r)
    if (!db::ValuesEqual(after.ValueAt(r, image), before[size_t(r)])) {
      ++changed;
      EXPECT_EQ(db::ValueToInteger(after.ValueAt(r, image)), chosen);
    }
  EXPECT_EQ(changed, 1);
}

TEST_F(SymbolAndImageWindows, TheMapsChangeSymbolFollowsThePanelsRule) {
  TFormMap form(*Data);
  form.resize(1100, 700);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  int opened = 0;
  form.Panels->OnChooseSymbol = [&](int, int, int) { return ++opened, true; };
  for (size_t i = 0; i < form.Map->Layers.size(); ++i) {
    form.Map->ActiveLayer = int(i);
    const bool own = form.Map->Layers[i]->Category >= 100;
    EXPECT_EQ(form.ContentCommands->ActiveLayerHasOwnSymbol(), own)
        << form.Map->Layers[i]->ClassName.toStdString();
    const int before = opened;
    form.ContentCommands->ppmiChngSymbolClick();
    EXPECT_EQ(opened - before, own ? 1 : 0) << form.Map->Layers[i]->ClassName.toStdString();
  }
  // The map's pop-up shows the item only where it applies.
  form.Map->ActiveLayer = 0;
  ASSERT_LT(form.Map->Layers[0]->Category, 100);
  QTest::mousePress(form.Map, Qt::RightButton, {}, form.Map->rect().center());
  EXPECT_FALSE(form.Action("ppmiChngSymbol")->isVisible());
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
}

// An images table without one of the fields the window needs: said, and the window opens
// empty, offers nothing to choose or change, and writes nothing.
TEST_F(SymbolAndImageWindows, AnImagesTableWithoutItsFieldsIsSaidAndNothingIsOffered) {
  namespace px = db::paradox;
  const QString path = Data->TableImages.FilePath();
  Data->TableImages.Close();
  for (const char* side : {".db", ".DB", ".px", ".PX", ".mb", ".MB"})
    QFile::remove(QFileInfo(path).path() + "/images" + side);
  db::ParadoxFile::Create(path,
                          {px::MakeField("ImageIndex", db::FieldType::Integer),
                           px::MakeField("Image", db::FieldType::Graphic, 1)},
                          1, {{int64_t(1), db::Value()}});
  Data->TableImages.Open();
  const QByteArray before = File(path);
  Messages.Shown.clear();
  TFormSelectImages window(*Data);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ASSERT_EQ(Messages.Shown.size(), 1);
  EXPECT_TRUE(Messages.Shown[0].contains("ImageName")) << Messages.Shown[0].toStdString();
  EXPECT_EQ(window.DBCtrlGrid1->rowCount(), 0);
  EXPECT_FALSE(window.BitBtnAdd->isEnabled());
  EXPECT_FALSE(window.BitBtnOK->isEnabled());
  window.BitBtnAddClick();
  QTest::keyClick(&window, Qt::Key_Return);
  window.BitBtnOKClick();
  EXPECT_EQ(window.SelectedImageIndex, -1);
  EXPECT_EQ(File(path), before);
  EXPECT_EQ(Messages.Shown.size(), 1) << "said once";
}
