// The view commands around the map: the history of views, the keys on the map, the scale bar
// and the typed scale, bookmarks kept across runs, the export of the view, the program's own
// HTML viewer and the standard dialogs in Ukrainian; through the shown window and its widgets.

#include "base/TextCodec.h"
#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "data/DataModule.h"
#include "gfx/ScaleBar.h"
#include "platform/Translations.h"
#include "ui/common/FormHtmlBrowser.h"
#include "ui/main/ContentCommands.h"
#include "ui/main/FormMap.h"
#include "ui/main/MapViewCommands.h"
#include "ui/main/OverviewPanel.h"

#include "AtlasWriter.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

double Width(const TExtent& e) {
  return e.XMax - e.XMin;
}
double CentreX(const TExtent& e) {
  return (e.XMin + e.XMax) / 2;
}
double CentreY(const TExtent& e) {
  return (e.YMin + e.YMax) / 2;
}

class ViewCommands : public ::testing::Test {
protected:
  void SetUp() override {
    demo::WriteAtlas(Atlas.path(), 1, 14);
    Open();
  }
  void Open() {
    Data = std::make_unique<TDataModuleVANDREL>(Program.path(), 0, Atlas.path());
    Form = std::make_unique<TFormMap>(*Data);
    Form->ContentCommands->SetHtmlViewer(QString()); // pages in the program's own viewer
    Form->setWindowState(Qt::WindowNoState);
    Form->resize(1180, 760);
    Form->show();
    QApplication::processEvents();
    Form->Map->Paint();
    Form->Map->setFocus();
    C = Form->ViewCommands;
  }
  void Close() {
    Form.reset();
    Data.reset();
  }
  TExtent View() const { return Form->Map->World.VisibleExtent; }
  // A key, then the pause after it (the view is drawn, and becomes history, once keys pause).
  void Key(int key, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(Form->Map, Qt::Key(key), modifiers);
    Form->Map->Settle();
    QApplication::processEvents();
  }
  void PressMouseButton(Qt::MouseButton button) {
    QTest::mousePress(Form->Map, button, {}, Form->Map->rect().center());
    QTest::mouseRelease(Form->Map, button, {}, Form->Map->rect().center());
    QApplication::processEvents();
  }

  QTemporaryDir Program, Atlas;
  std::unique_ptr<TDataModuleVANDREL> Data;
  std::unique_ptr<TFormMap> Form;
  TMapViewCommands* C = nullptr;
};

} // namespace

TEST(ViewHistory, BackForwardAndANewViewCuttingTheForwardList) {
  TViewHistory h;
  const TExtent a{0, 0, 100, 100}, b{0, 0, 50, 50}, c{10, 10, 60, 60}, d{20, 20, 30, 30};
  h.Visit(a);
  h.Visit(b);
  h.Visit(b); // the same view again is not a step
  h.Visit({0, 0, 50 + 1e-9, 50});
  h.Visit(c);
  ASSERT_EQ(h.Size(), 3u);
  EXPECT_TRUE(TViewHistory::SameView(h.Back(), b));
  EXPECT_TRUE(TViewHistory::SameView(h.Back(), a));
  EXPECT_FALSE(h.CanGoBack());
  EXPECT_TRUE(TViewHistory::SameView(h.Back(), a)) << "nowhere further back";
  EXPECT_TRUE(TViewHistory::SameView(h.Forward(), b));
  h.Visit(d); // from b: c is cut off
  EXPECT_FALSE(h.CanGoForward());
  EXPECT_EQ(h.Size(), 3u);
  EXPECT_TRUE(TViewHistory::SameView(h.Back(), b));
  EXPECT_TRUE(TViewHistory::SameView(h.Forward(), d));
  for (int k = 0; k < 300; ++k)
    h.Visit({double(k), 0, k + 1.0, 1});
  EXPECT_EQ(h.Size(), TViewHistory::kLimit);
}

TEST(ScaleBarLength, ARoundLengthThatFitsAtTwoScales) {
  // Half a pixel a metre, 200 pixels at most: 400 m fit, 200 m is the round length.
  gfx::ScaleBar bar = gfx::ChooseScaleBar(0.5, 200);
  EXPECT_EQ(bar.Metres, 200);
  EXPECT_EQ(bar.Pixels, 100);
  EXPECT_EQ(bar.Caption, QString::fromUtf8("200 м"));
  // A twentieth of a pixel a metre: 4 km fit, 2 km shown.
  bar = gfx::ChooseScaleBar(0.05, 200);
  EXPECT_EQ(bar.Metres, 2000);
  EXPECT_EQ(bar.Pixels, 100);
  EXPECT_EQ(bar.Caption, QString::fromUtf8("2 км"));
  EXPECT_EQ(gfx::ChooseScaleBar(1, 100).Metres, 100) << "a length that fits exactly";
  EXPECT_EQ(gfx::ChooseScaleBar(30, 200).Caption, QString::fromUtf8("5 м"));
  EXPECT_EQ(gfx::ScaleBarCaption(0.5), QString::fromUtf8("0,5 м"));
  EXPECT_EQ(gfx::ChooseScaleBar(0, 200).Pixels, 0);
  EXPECT_EQ(gfx::ChooseScaleBar(std::nan(""), 200).Pixels, 0);
}

TEST_F(ViewCommands, KeysZoomAboutTheCentrePanByAQuarterAndGoHome) {
  const TExtent start = View();
  Key(Qt::Key_Plus);
  EXPECT_NEAR(Width(View()), Width(start) / 2, Width(start) * 1e-6);
  EXPECT_NEAR(CentreX(View()), CentreX(start), Width(start) * 1e-6);
  EXPECT_NEAR(CentreY(View()), CentreY(start), Width(start) * 1e-6);
  Key(Qt::Key_Minus);
  EXPECT_NEAR(Width(View()), Width(start), Width(start) * 1e-6);
  Key(Qt::Key_Plus);
  const TExtent zoomed = View();
  Key(Qt::Key_Right);
  EXPECT_NEAR(CentreX(View()) - CentreX(zoomed), Width(zoomed) / 4, Width(zoomed) * 1e-6);
  Key(Qt::Key_Up);
  EXPECT_NEAR(CentreY(View()) - CentreY(zoomed), (zoomed.YMax - zoomed.YMin) / 4,
              Width(zoomed) * 1e-6);
  Key(Qt::Key_Home);
  EXPECT_TRUE(TViewHistory::SameView(View(), start));
}

TEST_F(ViewCommands, HistoryStepsBackAndForwardByKeysButtonsAndTheMouse) {
  const TExtent whole = View();
  Key(Qt::Key_Plus);
  const TExtent closer = View();
  Key(Qt::Key_Left);
  const TExtent panned = View();
  EXPECT_TRUE(C->sbBack->isEnabled());
  EXPECT_FALSE(C->sbForward->isEnabled());
  // Alt+Left on the window, the tool button, the mouse's back button.
  QTest::keyClick(Form.get(), Qt::Key_Left, Qt::AltModifier);
  QApplication::processEvents();
  EXPECT_TRUE(TViewHistory::SameView(View(), closer));
  QTest::mouseClick(C->sbBack, Qt::LeftButton);
  EXPECT_TRUE(TViewHistory::SameView(View(), whole));
  EXPECT_FALSE(C->sbBack->isEnabled());
  PressMouseButton(Qt::ForwardButton);
  EXPECT_TRUE(TViewHistory::SameView(View(), closer));
  QTest::keyClick(Form.get(), Qt::Key_Right, Qt::AltModifier);
  QApplication::processEvents();
  EXPECT_TRUE(TViewHistory::SameView(View(), panned));
  PressMouseButton(Qt::BackButton);
  EXPECT_TRUE(TViewHistory::SameView(View(), closer));
  EXPECT_TRUE(C->ActionForward->isEnabled());
  // A new view from there cuts the forward list.
  Key(Qt::Key_Minus);
  EXPECT_FALSE(C->ActionForward->isEnabled());
  EXPECT_FALSE(C->sbForward->isEnabled());
  QTest::keyClick(Form.get(), Qt::Key_Left, Qt::AltModifier);
  QApplication::processEvents();
  EXPECT_TRUE(TViewHistory::SameView(View(), closer));
}

TEST_F(ViewCommands, ATypedScaleZoomsAboutTheCentreAndTheBarIsDrawnOverTheMap) {
  const TExtent start = View();
  QLineEdit* box = C->edtScale;
  EXPECT_EQ(box->text().toLongLong(), std::llround(Form->Map->World.ScaleDenominator));
  box->setFocus();
  box->selectAll();
  QTest::keyClicks(box, "2500");
  QTest::keyClick(box, Qt::Key_Return);
  QApplication::processEvents();
  EXPECT_NEAR(Form->Map->World.ScaleDenominator, 2500, 2500 * 0.002);
  EXPECT_NEAR(CentreX(View()), CentreX(start), Width(start) * 1e-3);
  EXPECT_EQ(box->text(), "2500");
  EXPECT_TRUE(Form->LabelScale->text().endsWith("2500"));
  // Letters are not a scale.
  box->setText("abc");
  EXPECT_FALSE(C->ZoomToScale(0));
  // A scale closer than the map allows is clamped, and the box shows the scale reached; one
  // refused (0 is not a scale) gives the box back the map's.
  for (const char* typed : {"1", "0"}) {
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, typed);
    QTest::keyClick(box, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(box->text().toLongLong(), std::llround(Form->Map->World.ScaleDenominator)) << typed;
  }
  EXPECT_GT(Form->Map->World.ScaleDenominator, 1.5) << "clamped";
  // Typed and left without Enter: the map's scale comes back.
  box->setFocus();
  box->selectAll();
  QTest::keyClicks(box, "777");
  Form->Map->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(box->text().toLongLong(), std::llround(Form->Map->World.ScaleDenominator));
  // The bar: black pixels in the lower left corner of the shown map, none in the upper left.
  const QImage shown = Form->Map->grab().toImage();
  const auto blackIn = [&](QRect area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x)
        n += shown.pixelColor(x, y) == Qt::black;
    return n;
  };
  const int h = shown.height();
  EXPECT_GT(blackIn(QRect(10, h - 11, 60, 2)), 50) << "the bar's line";
  const gfx::ScaleBar bar = gfx::ChooseScaleBar(Form->Map->World.Scale, 200);
  EXPECT_EQ(shown.pixelColor(10 + bar.Pixels, h - 14), Qt::black) << "its right tick";
}

TEST_F(ViewCommands, BookmarksSurviveARestartAndLeadBackToTheirView) {
  Key(Qt::Key_Plus);
  Key(Qt::Key_Right);
  const TExtent marked = View();
  EXPECT_EQ(C->AddBookmark(QString::fromUtf8("Водозабір = північ")),
            QString::fromUtf8("Водозабір - північ"));
  Key(Qt::Key_Home);
  Close();
  const QString file = Program.path() + "/BOOKMARKS.INI";
  ASSERT_TRUE(QFile::exists(file));
  Open();
  EXPECT_FALSE(TViewHistory::SameView(View(), marked));
  emit C->BookmarksMenu->aboutToShow();
  QAction* go = nullptr;
  for (QAction* a : C->BookmarksMenu->actions())
    if (a->text() == QString::fromUtf8("Водозабір - північ")) go = a;
  ASSERT_NE(go, nullptr);
  go->trigger();
  EXPECT_TRUE(TViewHistory::SameView(View(), marked));
  // Removed, it is gone after the next start too.
  C->Bookmarks.Remove(QString::fromUtf8("Водозабір - північ"));
  Close();
  Open();
  EXPECT_TRUE(C->Bookmarks.List().empty());
}

TEST_F(ViewCommands, TheViewExportsAtTheChosenSizeAsPngAndPdf) {
  Key(Qt::Key_Plus);
  const QString png = Program.path() + "/view.png", pdf = Program.path() + "/view.pdf";
  C->ExportView(png, 640, 400, true);
  const QImage picture(png);
  EXPECT_EQ(picture.size(), QSize(640, 400));
  int black = 0;
  for (int y = 386; y < 392; ++y)
    for (int x = 10; x < 70; ++x)
      black += picture.pixelColor(x, y) == Qt::black;
  EXPECT_GT(black, 50) << "the scale bar in the lower left";
  C->ExportView(pdf, 300, 500, false);
  QFile f(pdf);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF-"));
  // A page of 300 × 500 pixels at 96 per inch: 225 × 375 points.
  const qsizetype box = bytes.indexOf("/MediaBox");
  ASSERT_GE(box, 0);
  EXPECT_TRUE(bytes.mid(box).startsWith("/MediaBox [0 0 225.000000 375.000000]"))
      << bytes.mid(box, 40).toStdString();
  EXPECT_THROW(C->ExportView(Program.path() + "/no/such/folder/x.png", 100, 100, true),
               std::exception);
}

// A file typed into the export window's box that exists already is replaced only when the user
// says so.
TEST_F(ViewCommands, TheExportWindowAsksBeforeItReplacesAFile) {
  const QString png = Program.path() + "/exists.png";
  QFile existing(png);
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.write("keep me");
  existing.close();
  base::RecordedMessages messages;
  base::UserMessages* previous = &base::UserMessages::Current();
  base::UserMessages::Install(&messages);
  const auto exportTo = [&](bool answer) {
    messages.Answer = answer;
    QTimer::singleShot(0, [&] {
      auto* dialog = Form->findChild<QDialog*>("FormExportMap");
      ASSERT_NE(dialog, nullptr);
      dialog->findChild<QLineEdit*>("edtFile")->setText(png);
      dialog->accept();
    });
    C->ActionExport->trigger();
  };
  exportTo(false);
  ASSERT_EQ(messages.Shown.size(), 1);
  EXPECT_TRUE(messages.Shown[0].contains("exists.png"));
  ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
  EXPECT_EQ(existing.readAll(), QByteArray("keep me"));
  existing.close();
  exportTo(true);
  EXPECT_EQ(QImage(png).isNull(), false) << "replaced by the map's picture";
  base::UserMessages::Install(previous);
}

TEST_F(ViewCommands, TheOwnViewerShowsAWindows1251PageAndFollowsItsLinks) {
  const QString ref = Atlas.path() + "/REFERENSE";
  QFile page1(ref + "/guide.htm"), page2(ref + "/pumps.htm");
  ASSERT_TRUE(page1.open(QIODevice::WriteOnly));
  // No charset declared: Windows-1251 since the bytes are not UTF-8; the link in another case.
  page1.write(base::Encode(QString::fromUtf8("<html><body><p>Насосна станція</p>"
                                             "<p><a href=\"PUMPS.HTM\">Насоси</a> "
                                             "<a href=\"../../outside.htm\">Поза</a></p>"
                                             "</body></html>"),
                           base::CodePage::Cp1251));
  page1.close();
  ASSERT_TRUE(page2.open(QIODevice::WriteOnly));
  page2.write("<html><head><meta charset=\"utf-8\"><title>Насоси</title></head>"
              "<body><p>Продуктивність 40 м³/год</p></body></html>");
  page2.close();
  TFormHtmlBrowser viewer({Atlas.path()});
  viewer.show();
  ASSERT_TRUE(viewer.Open(ref + "/guide.htm"));
  QApplication::processEvents();
  EXPECT_TRUE(viewer.Browser->toPlainText().contains(QString::fromUtf8("Насосна станція")));
  // A real click on the link's words.
  const auto clickOn = [&](const QString& words) {
    QTextCursor found = viewer.Browser->document()->find(words);
    ASSERT_FALSE(found.isNull()) << words.toStdString();
    QTextCursor middle(viewer.Browser->document());
    middle.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    const QPoint at = viewer.Browser->cursorRect(middle).center();
    QTest::mouseClick(viewer.Browser->viewport(), Qt::LeftButton, {}, at);
    QApplication::processEvents();
  };
  clickOn(QString::fromUtf8("Насоси"));
  EXPECT_TRUE(viewer.Browser->source().toLocalFile().endsWith("pumps.htm"));
  EXPECT_TRUE(viewer.Browser->toPlainText().contains(QString::fromUtf8("40 м³/год")));
  EXPECT_EQ(viewer.windowTitle(), QString::fromUtf8("Насоси"));
  QTest::mouseClick(viewer.sbBack, Qt::LeftButton);
  EXPECT_TRUE(viewer.Browser->source().toLocalFile().endsWith("guide.htm"));
  EXPECT_TRUE(viewer.sbForward->isEnabled());
  // A page outside the atlas is not opened.
  clickOn(QString::fromUtf8("Поза"));
  EXPECT_TRUE(viewer.Browser->source().toLocalFile().endsWith("guide.htm"));
  EXPECT_FALSE(viewer.LabelStatus->text().isEmpty());
  // The help command of the main window opens the atlas's help in it.
  Form->imHelpClick();
  QApplication::processEvents();
  ASSERT_NE(Form->ContentCommands->HtmlBrowser, nullptr);
  EXPECT_TRUE(Form->ContentCommands->HtmlBrowser->isVisible());
  EXPECT_EQ(Form->ContentCommands->HtmlBrowser->windowTitle(), QString::fromUtf8("Довідка"));
}

TEST(StandardDialogs, SpeakUkrainianWithQtsTranslations) {
  QTranslator* translator =
      platform::InstallQtTranslations(*QCoreApplication::instance(), QString("uk"));
  ASSERT_NE(translator, nullptr) << "Qt's Ukrainian catalogue (scripts/setup.sh installs it)";
  QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Open);
  const QString cancel = box.button(QDialogButtonBox::Cancel)->text().remove('&');
  // The kinds of entries in the file dialog, which Qt's catalogue leaves in English.
  EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "Folder"),
            QString::fromUtf8("Тека"));
  QCoreApplication::removeTranslator(translator);
  delete translator;
  EXPECT_EQ(cancel, QString::fromUtf8("Скасувати"));
  EXPECT_EQ(platform::DialogLanguage().size(), 2);
}

TEST_F(ViewCommands, TheOverviewIsOffUntilOpenedAndItsRectangleMovesTheView) {
  TOverviewPanel* panel = C->Overview;
  EXPECT_FALSE(panel->isVisible());
  Key(Qt::Key_Plus);
  Key(Qt::Key_Plus);
  C->ActionOverview->trigger();
  QApplication::processEvents();
  ASSERT_TRUE(panel->isVisible());
  TOverviewMap* overview = panel->Overview;
  overview->repaint();
  const TExtent before = View();
  const QRect rect = overview->ViewRect();
  ASSERT_TRUE(overview->rect().contains(rect.center()));
  // The rectangle dragged 20 pixels right and 10 down.
  const QPoint from = rect.center(), to = from + QPoint(20, 10);
  QTest::mousePress(overview, Qt::LeftButton, {}, from);
  QTest::mouseMove(overview, to);
  QTest::mouseRelease(overview, Qt::LeftButton, {}, to);
  QApplication::processEvents();
  const double perPixel = 1 / overview->Whole.Scale;
  EXPECT_NEAR(CentreX(View()) - CentreX(before), 20 * perPixel, 2 * perPixel);
  EXPECT_NEAR(CentreY(View()) - CentreY(before), -10 * perPixel, 2 * perPixel);
  EXPECT_NEAR(Width(View()), Width(before), Width(before) * 0.05) << "the same scale";
  // Closed from the menu again.
  C->ActionOverview->trigger();
  QApplication::processEvents();
  EXPECT_FALSE(panel->isVisible());
}

// "Перейти до координат ...": degrees or the atlas's metres typed in the window's dialog take
// the view's middle there with the arrow, and the status bar gives both; what is not a place is
// said.
TEST_F(ViewCommands, GoesToCoordinatesTypedInDegreesOrInTheAtlasSystem) {
  base::RecordedMessages messages;
  base::UserMessages* previous = &base::UserMessages::Current();
  base::UserMessages::Install(&messages);
  const auto type = [&](const QString& text) {
    QTimer::singleShot(0, [text] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      QLineEdit* edit = dialog->findChild<QLineEdit*>();
      ASSERT_NE(edit, nullptr);
      edit->selectAll();
      QTest::keyClicks(edit, text);
      QTest::keyClick(edit, Qt::Key_Return);
    });
    Form->Action("miGoToCoordinates")->trigger();
    QApplication::processEvents();
  };
  const double width = Width(View());
  type("50.4501, 30.5234"); // Kyiv's Maidan in WGS 84
  EXPECT_NEAR(CentreX(View()), 324182.2, 1);
  EXPECT_NEAR(CentreY(View()), 5591607.6, 1);
  EXPECT_NEAR(Width(View()), width, width / 1000) << "the scale kept";
  EXPECT_TRUE(Form->Map->Arrow.Shown());
  const QString said = Form->findChild<QLabel*>("LabelPointer")->text();
  EXPECT_TRUE(said.contains("X 324182.2") &&
              said.contains(QString::fromUtf8("50.450100°, 30.523400°")))
      << said.toStdString();
  type("320000 5590000");
  EXPECT_NEAR(CentreX(View()), 320000, 1);
  EXPECT_NEAR(CentreY(View()), 5590000, 1);
  type("pumping station");
  ASSERT_EQ(messages.Shown.size(), 1);
  EXPECT_TRUE(messages.Shown[0].contains(QString::fromUtf8("не координати")));
  EXPECT_NEAR(CentreX(View()), 320000, 1) << "the view stays";
  // Degrees with a space between them, and longitude before latitude, are read as the only
  // reading that lands on the atlas; X and Y swapped, and a place 700 km away, are said.
  type("50.4501 30.5234");
  EXPECT_NEAR(CentreX(View()), 324182.2, 1);
  EXPECT_NEAR(CentreY(View()), 5591607.6, 1);
  type("320000 5590000");
  type("30.5234, 50.4501");
  EXPECT_NEAR(CentreX(View()), 324182.2, 1);
  EXPECT_EQ(Form->findChild<QLabel*>("pnlMode")->text(),
            QString::fromUtf8("Точка поза межами об'єктів атласу"))
      << "the Maidan lies off the demo town";
  type("320000 5590000");
  type("5590000 320000");
  ASSERT_EQ(messages.Shown.size(), 2);
  EXPECT_TRUE(messages.Shown[1].contains(QString::fromUtf8("переставлено X і Y")))
      << messages.Shown[1].toStdString();
  type("44.6166, 33.5254");
  ASSERT_EQ(messages.Shown.size(), 3);
  EXPECT_TRUE(messages.Shown[2].contains(QString::fromUtf8("поза атласом")))
      << messages.Shown[2].toStdString();
  EXPECT_NEAR(CentreX(View()), 320000, 1) << "the view stays";
  base::UserMessages::Install(previous);
}

// A wheel turn changes the view at once without drawing (the last picture shown scaled), and
// the view is drawn when the turn pauses: the picture then is a fresh drawing's, byte for byte;
// a click in the meantime draws first.
TEST_F(ViewCommands, AWheelTurnDrawsOnlyWhenItPauses) {
  TFAMap& map = *Form->Map;
  const auto wheel = [&](int notches) {
    const QPointF at(300, 200);
    QWheelEvent e(at, map.mapToGlobal(at), {}, {0, 120 * notches}, Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(&map, &e);
  };
  const qint64 drawn = map.BackBuffer.cacheKey();
  const double width = Width(View());
  wheel(1);
  wheel(1);
  wheel(-1);
  EXPECT_TRUE(map.Previewing());
  EXPECT_EQ(map.BackBuffer.cacheKey(), drawn) << "nothing drawn during the turn";
  EXPECT_NEAR(Width(View()), width / 2, width / 1000) << "the view changed at once";
  EXPECT_NE(map.Screen, map.BackBuffer) << "the last picture shown scaled";
  QTest::qWait(TFAMap::kSettleDelay + 300);
  EXPECT_FALSE(map.Previewing());
  ASSERT_NE(map.BackBuffer.cacheKey(), drawn);
  const QImage settled = map.BackBuffer;
  map.Redraw();
  EXPECT_EQ(settled, map.BackBuffer) << "the settled picture is a fresh drawing's";
  // A click during a turn acts on the drawn view.
  wheel(1);
  QTest::mouseClick(&map, Qt::LeftButton, {}, {10, 10});
  EXPECT_FALSE(map.Previewing());
  EXPECT_NEAR(Width(View()), width / 4, width / 1000);
}
