// In the read-only work modes the data root is a distribution disc: every command of every
// window runs there, with the layout of the shown windows, and not one byte of the data root
// changes and no file appears in it.

#include "data/DataModule.h"
#include "ui/common/FormMsg.h"
#include "ui/dictionary/AFTreeDict.h"
#include "ui/dictionary/DlgAFItemDict.h"
#include "ui/dictionary/FormClassifier.h"
#include "ui/main/ContentCommands.h"
#include "ui/main/FormMap.h"
#include "ui/main/ObjectListLink.h"
#include "ui/objects/FormSelectInfo.h"
#include "ui/panels/LayerPanels.h"
#include "ui/search/FormObjList.h"
#include "ui/styles/FormLayersControls.h"
#include "ui/styles/FormSelectImages.h"
#include "ui/styles/FormSetSymbol.h"

#include "AtlasWriter.h"
#include "FolderDigests.h"
#include "ProgramWindows.h"

#include "base/UserMessages.h"
#include "core/FAMap.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace {

// The windows of the program wired as the program wires them.

class ReadOnlyModes : public ::testing::TestWithParam<int> {
protected:
  void SetUp() override {
    demo::WriteAtlas(Atlas.path(), 1, 12);
    // The grid index lives beside the program.
    std::filesystem::copy((Atlas.path() + "/USER_OBJ").toStdString(),
                          (ProgramDir.path() + "/USER_OBJ").toStdString());
    Before = FolderDigests(Atlas.path());
    Previous = &base::UserMessages::Current();
    base::UserMessages::Install(&Messages);
  }
  void TearDown() override {
    Closer.Stop();
    base::UserMessages::Install(Previous);
  }

  QTemporaryDir ProgramDir, Atlas;
  std::map<QString, QByteArray> Before;
  base::RecordedMessages Messages;
  base::UserMessages* Previous = nullptr; // the other tests' messages, put back afterwards
  // Dialogs and menus the commands open are closed as soon as they show.
  DialogCloser Closer{20, false};
};

// Clicks in the middle of the map and drags across a quarter of it.
void ClickAndDrag(TFAMap& map) {
  const QPoint centre = map.rect().center(), off = centre + QPoint(map.width() / 4, 40);
  QTest::mouseClick(&map, Qt::LeftButton, {}, centre);
  QTest::mousePress(&map, Qt::LeftButton, {}, centre);
  QTest::mouseMove(&map, off);
  QTest::mouseRelease(&map, Qt::LeftButton, {}, off);
  QTest::mouseDClick(&map, Qt::LeftButton, {}, off);
  QApplication::processEvents();
}

void UseTheMap(Program& p) {
  // Every tool on the map, the measurements included (saving one asks for a file name; the
  // dialog is closed).
  for (const char* tool : {"sbInfo", "sbEditObject", "sbZoomIn", "sbZoomOut", "sbPan", "sbAddPath",
                           "sbAddS", "sbDelPath"}) {
    QToolButton* button = p.Form.Button(tool);
    if (!button->isVisible()) {
      // A tool of a pop-out bar: its bar is opened first.
      p.Form
          .Button(QString(tool).startsWith("sbInfo") || QString(tool) == "sbEditObject"
                      ? "sbArrow"
                      : "sbShowPathPnl")
          ->click();
    }
    button->click();
    ClickAndDrag(*p.Form.Map);
  }
  QTest::keyClick(p.Form.Map, Qt::Key_Escape);
}

void UseThePanels(Program& p) {
  TLayerPanels& panels = *p.Form.Panels;
  QListWidget* tree = p.Form.lboxObjects;
  // Every line of the tree opened or closed at its folder, switched at its lamp, chosen by
  // its name; the tree grows while categories open, so lines are counted again each time.
  for (int line = 0; line < tree->count(); ++line)
    for (const int x : {8, 24, 100}) {
      tree->setCurrentRow(line);
      panels.lboxObjectsMouseUp(x);
    }
  QListWidget* layers = p.Form.lboxLayers;
  for (int line = 0; line < layers->count(); ++line) {
    layers->setCurrentRow(line);
    panels.lboxLayersMouseDown(8);
    panels.lboxLayersMouseUp(8);
  }
  // A layer dragged two places down.
  layers->setCurrentRow(0);
  panels.lboxLayersMouseDown(60);
  layers->setCurrentRow(2);
  panels.lboxLayersMouseMove();
  panels.lboxLayersMouseUp(60);
}

void UseTheSearchWindow(Program& p) {
  for (const char* command : {"sbStreets", "sbAddress"}) {
    p.Form.Button(command)->click();
    QApplication::processEvents();
    TFormObjList& list = p.List;
    list.edtNameStr->setText(QString::fromUtf8("Ш"));
    QTest::mouseClick(list.sbGoSearch, Qt::LeftButton);
    list.DBGridSearchCellClick();
    list.sbOnMapClick();
    list.sbInfoClick();
    list.sbImageClick();
    list.DBGridSearchDblClick();
    list.close();
  }
}

// Every action of the main window's menus and pop-up menus that the user can reach, run once;
// leaving the program comes last.
int TriggerEveryReachableAction(Program& p) {
  int triggered = 0;
  for (QAction* action : p.Form.findChildren<QAction*>()) {
    if (action->isSeparator() || !action->isVisible() || !action->isEnabled() ||
        action->objectName() == "imExit" || action->objectName().isEmpty())
      continue;
    action->trigger();
    QApplication::processEvents();
    ++triggered;
  }
  return triggered;
}

} // namespace

TEST_P(ReadOnlyModes, EveryWindowsCommandsLeaveTheDataRootAsItWas) {
  TDataModuleVANDREL data(ProgramDir.path(), GetParam(), Atlas.path());
  {
    Program p(data);
    p.Form.ContentCommands->SetHtmlViewer(
        "true"); // help and reference pages open in a program doing nothing
    p.Form.resize(1180, 760);
    p.Form.show();
    QApplication::processEvents();
    const double scaleBefore = p.Form.Map->World.Scale;
    UseTheMap(p);
    EXPECT_NE(p.Form.Map->World.Scale, scaleBefore) << "the zoom tools ran";
    UseThePanels(p);
    UseTheSearchWindow(p);
    EXPECT_GT(TriggerEveryReachableAction(p), 15);
    // The editing commands are hidden; run directly, they still write nothing.
    for (const char* editing : {"imLayers", "miCalcTopologicalModel", "miRebuildIndex"}) {
      EXPECT_FALSE(p.Form.Action(editing)->isVisible()) << editing;
      p.Form.Action(editing)->trigger();
    }
    p.Form.ContentCommands->ppmiChngSymbolClick();
    p.Form.Action("imExit")->trigger();
    QApplication::processEvents();
  }
  const auto after = FolderDigests(Atlas.path());
  EXPECT_EQ(after.size(), Before.size()) << "files appeared in or vanished from the data root";
  for (const auto& [file, digest] : Before) {
    const auto now = after.find(file);
    EXPECT_TRUE(now != after.end() && now->second == digest) << file.toStdString() << " changed";
  }
}

INSTANTIATE_TEST_SUITE_P(WorkModes, ReadOnlyModes, ::testing::Values(1, 2));

// ---------------------------------------------------------------- the editing windows

namespace {

// Answers every dialog the editing windows open as a user who wants the change: a dictionary
// entry typed and saved, a symbol chosen, a colour and a file chosen.
class Presser : public QObject {
public:
  explicit Presser(QString file) : File(std::move(file)) {
    Timer.setInterval(20);
    QObject::connect(&Timer, &QTimer::timeout, this, [this] { Press(); });
    Timer.start();
  }
  int Pressed = 0;

private:
  void Press() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* entry = dynamic_cast<TDlgAFItemDict*>(modal)) {
      ++Pressed;
      entry->eShort->setText("X");
      entry->eLong->setText("Written");
      QTest::mouseClick(entry->OKBtn, Qt::LeftButton);
    } else if (auto* symbol = dynamic_cast<TFormSetSymbol*>(modal)) {
      ++Pressed;
      symbol->sgrdSymbols->setCurrentCell(2, 3);
      QTest::mouseClick(symbol->bbtnOK, Qt::LeftButton);
      symbol->bbtnOKClick();
      if (symbol->isVisible()) symbol->reject();
    } else if (auto* colour = qobject_cast<QColorDialog*>(modal)) {
      ++Pressed;
      colour->setCurrentColor(QColor(10, 20, 30));
      colour->accept();
    } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      ++Pressed;
      files->selectFile(File);
      static_cast<QDialog*>(files)->accept(); // QFileDialog::accept, as its button does
    }
  }
  QString File;
  QTimer Timer;
};

template <class Widget> void ClickAll(QWidget& window) {
  for (Widget* w : window.findChildren<Widget*>())
    if (w->isVisible()) QTest::mouseClick(w, Qt::LeftButton);
}

void UseTheLayersWindow(TDataModuleVANDREL& data, TFAMap& map) {
  TFormLayersControls window(data, map);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  for (QLineEdit* edit : window.findChildren<QLineEdit*>()) {
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::keyClicks(edit, "7");
    QTest::keyClick(edit, Qt::Key_Return);
  }
  for (QComboBox* combo : window.findChildren<QComboBox*>())
    if (combo->count() > 1) combo->setCurrentIndex(1);
  ClickAll<QCheckBox>(window);
  ClickAll<QToolButton>(window); // the navigator and the label positions
  for (QPushButton* b : window.findChildren<QPushButton*>())
    if (b != window.BitBtnClose && b != window.sbLabels) QTest::mouseClick(b, Qt::LeftButton);
  // The handlers, as another caller would reach them.
  for (int button = 0; button < 8; ++button)
    window.DBNavigator1Click(button);
  window.PositionClick(1, 1);
  window.ScaleClick("ZoomInScale");
  window.ColourClick("PenColor");
  window.WriteField("ClassName", QString("X"));
  window.ApplyChosenFile(data.MapsDir + "/Streets.mds");
  window.PostRow();
  QTest::mouseClick(window.BitBtnClose, Qt::LeftButton);
}

void UseTheImagesWindow(TDataModuleVANDREL& data, const QString& bmp) {
  TFormSelectImages window(data);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QTest::mouseClick(window.BitBtnAdd, Qt::LeftButton);
  QTest::keyClick(&window, Qt::Key_Return);
  window.DBCtrlGrid1->setCurrentCell(0, 0);
  QTest::mouseClick(window.BitBtnDel, Qt::LeftButton);
  QTest::keyClick(&window, Qt::Key_Escape);
  for (int column : {0, 1}) {
    QTableWidgetItem* cell = window.DBCtrlGrid1->item(1, column);
    window.DBCtrlGrid1->editItem(cell);
    if (QWidget* editor = QApplication::focusWidget()) {
      QTest::keyClicks(editor, "9");
      QTest::keyClick(editor, Qt::Key_Return);
    }
    cell->setText("12"); // the cell changed by any other way
  }
  window.DBImageDblClick();
  window.LoadPicture(bmp);
  QTest::mouseClick(window.BitBtnOK, Qt::LeftButton);
}

void UseTheDictionary(TFormMap& form) {
  QTimer::singleShot(0, [] {
    auto* window = dynamic_cast<TFormClassifier*>(QApplication::activeModalWidget());
    if (!window) return;
    for (int node = 0; node < 2; ++node) {
      QTreeWidgetItem* item = node == 0 ? window->AFTreeDict->topLevelItem(0)
                                        : window->AFTreeDict->topLevelItem(0)->child(0);
      window->AFTreeDict->setCurrentItem(item);
      ClickAll<QPushButton>(*window);
      window->btnAddPartClick();
      window->btnAddItemClick();
      window->btnEditItemClick();
      window->btnDelItemClick();
    }
    window->close();
  });
  form.ContentCommands->miClassifierClick();
}

} // namespace

TEST_P(ReadOnlyModes, EveryButtonOfTheEditingWindowsLeavesTheDataRootAsItWas) {
  Closer.Stop();
  QImage picture(8, 8, QImage::Format_RGB32);
  picture.fill(Qt::blue);
  const QString bmp = ProgramDir.filePath("logo.bmp");
  ASSERT_TRUE(picture.save(bmp, "BMP"));
  TDataModuleVANDREL data(ProgramDir.path(), GetParam(), Atlas.path());
  {
    Program p(data);
    p.Form.resize(1180, 760);
    p.Form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.Form));
    Presser presser(data.MapsDir + "/Pumps.db");
    UseTheLayersWindow(data, *p.Form.Map);
    TFormSetSymbol symbol(data);
    symbol.ChooseSymbol(100, 1, 255);
    TFormSetSymbol group(data);
    group.ChooseSymbol(100, 1, 3);
    UseTheImagesWindow(data, bmp);
    UseTheDictionary(p.Form);
    EXPECT_GE(presser.Pressed, 2) << "the symbol windows were answered";
  }
  const auto after = FolderDigests(Atlas.path());
  EXPECT_EQ(after.size(), Before.size()) << "files appeared in or vanished from the data root";
  for (const auto& [file, digest] : Before) {
    const auto now = after.find(file);
    EXPECT_TRUE(now != after.end() && now->second == digest) << file.toStdString() << " changed";
  }
}
