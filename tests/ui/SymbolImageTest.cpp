// The symbol and logo windows on a private demo atlas: the character grid, what a choice writes
// for a class or a group, failures, new image numbers, pictures loaded from BMP files, and the
// keys of the logo window.

#include "app/DataModule.h"
#include "ui/FormMap.h"
#include "ui/FormSelectImages.h"
#include "ui/FormSetSymbol.h"
#include "ui/LayerPanels.h"

#include "AtlasWriter.h"

#include "base/UserMessages.h"
#include "db/Error.h"
#include "db/Table.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFontComboBox>
#include <QPushButton>
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
      if (!font.isEmpty()) window.FontComboBox->setCurrentFont(QFont(font));
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
    if (auto* w = dynamic_cast<TFormSetSymbol*>(QApplication::activeModalWidget()))
      QTest::mouseClick(w->bbtnOK, Qt::LeftButton);
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
