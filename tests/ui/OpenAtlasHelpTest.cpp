// "Відкрити атлас ..." and the program's help: the list of the last atlases, a folder that is no
// atlas refused with its reason, the program started again on the atlas chosen, and the help
// page at F1 with its links within the page, closed by Escape.

#include "core/FAMap.h"
#include "core/MapContent.h"
#include "db/Query.h"
#include "gis/GdalLayer.h"
#include "gis/GeoPackageExport.h"
#include "gis/NetworkSources.h"
#include "ui/common/FormHtmlBrowser.h"
#include "ui/main/AtlasCommands.h"
#include "ui/main/ContentCommands.h"
#include "ui/main/FormAtlasCrs.h"
#include "ui/main/FormOpenAtlas.h"
#include "ui/main/MeasurementCommands.h"

#include "ProgramWindows.h"
#include "base/UserMessages.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// The user's configuration folder, a temporary one for the test's life.
struct ConfigHome {
  ConfigHome() {
    Previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", Dir.path().toUtf8());
  }
  ~ConfigHome() { qputenv("XDG_CONFIG_HOME", Previous); }
  QTemporaryDir Dir;
  QByteArray Previous;
};

} // namespace

TEST(OpenAtlas, TheLastAtlasesAreKeptNewestFirstOnceEachAndAtMostEight) {
  ConfigHome home;
  EXPECT_TRUE(TRecentAtlases::Read().isEmpty());
  for (int i = 0; i < 10; ++i)
    TRecentAtlases::Remember(QString("/atlases/city%1").arg(i));
  TRecentAtlases::Remember("/atlases/city5/"); // again, written otherwise
  const QStringList atlases = TRecentAtlases::Read();
  ASSERT_EQ(atlases.size(), TRecentAtlases::kMost);
  EXPECT_EQ(atlases[0], "/atlases/city5");
  EXPECT_EQ(atlases[1], "/atlases/city9");
  EXPECT_EQ(atlases.count("/atlases/city5"), 1);
  EXPECT_FALSE(atlases.contains("/atlases/city0")) << "the oldest went";
  EXPECT_TRUE(TRecentAtlases::FilePath().startsWith(home.Dir.path()));
}

TEST(OpenAtlas, AFolderThatIsNoAtlasIsRefusedWithItsReasonAndAnAtlasIsChosen) {
  ConfigHome home;
  QTemporaryDir atlas, empty;
  demo::WriteAtlas(atlas.path(), 1, 3);
  TRecentAtlases::Remember(empty.path() + "/gone");
  TRecentAtlases::Remember(atlas.path());
  TFormOpenAtlas window(QString::fromUtf8("Каталог даних /nowhere не існує"));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_TRUE(window.lblProblem->isVisible());
  ASSERT_EQ(window.lboxRecent->count(), 2);
  EXPECT_EQ(window.lboxRecent->item(0)->data(Qt::UserRole).toString(), atlas.path());
  EXPECT_TRUE(window.lboxRecent->item(0)->text().startsWith(QFileInfo(atlas.path()).fileName()))
      << "named by its folder, as the main window's title names it";
  // A folder without the layers table stays unchosen, the reason naming it.
  EXPECT_FALSE(window.Choose(empty.path()));
  EXPECT_TRUE(window.lblProblem->text().contains(empty.path()));
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(TFormOpenAtlas::ProblemOf(empty.path() + "/gone").contains("не існує"));
  // The atlas at the top of the list, opened with the button.
  window.lboxRecent->setCurrentRow(0);
  QTest::mouseClick(window.btnOpen, Qt::LeftButton);
  EXPECT_EQ(window.result(), QDialog::Accepted);
  EXPECT_EQ(window.Chosen(), atlas.path());
}

// The map menu's command starts the program again on the atlas chosen, in the same work mode,
// and closes this window.
TEST(OpenAtlas, TheProgramStartsAgainOnTheAtlasChosen) {
  DemoMainWindow shown(900, 600);
  ASSERT_TRUE(shown.Exposed);
  QString program;
  QStringList arguments;
  shown.Form->AtlasCommands->Relaunch = [&](const QString& p, const QStringList& a) {
    program = p;
    arguments = a;
    return true;
  };
  ASSERT_NE(shown.Form->Action("imOpenAtlas"), nullptr);
  EXPECT_EQ(shown.Form->windowTitle(), QFileInfo(shown.Atlas.path()).fileName() +
                                           QString::fromUtf8(" — Мережі Vandrel - Kovenor"))
      << "the title names the atlas open";
  EXPECT_TRUE(shown.Form->AtlasCommands->OpenAtlas("/atlases/other"));
  EXPECT_EQ(program, QCoreApplication::applicationFilePath());
  EXPECT_EQ(arguments, (QStringList{"--data-root", "/atlases/other", "--work-mode", "0"}));
  EXPECT_FALSE(shown.Form->isVisible());
  // A program that cannot be started leaves the window open, and says so.
  base::RecordedMessages messages;
  base::UserMessages* previous = &base::UserMessages::Current();
  base::UserMessages::Install(&messages);
  shown.Form->show();
  shown.Form->AtlasCommands->Relaunch = [](const QString&, const QStringList&) { return false; };
  EXPECT_FALSE(shown.Form->AtlasCommands->OpenAtlas("/atlases/other"));
  EXPECT_TRUE(shown.Form->isVisible());
  EXPECT_EQ(messages.Shown.size(), 1);
  base::UserMessages::Install(previous);
}

// Measurements not saved are asked for before another atlas or closing would throw them away:
// cancelled, everything stays; saved or let go, the window goes.
TEST(OpenAtlas, UnsavedMeasurementsAreAskedForBeforeTheyGo) {
  DemoMainWindow shown(900, 600);
  ASSERT_TRUE(shown.Exposed);
  base::RecordedMessages messages;
  base::UserMessages* previous = &base::UserMessages::Current();
  base::UserMessages::Install(&messages);
  int relaunched = 0;
  shown.Form->AtlasCommands->Relaunch = [&](const QString&, const QStringList&) {
    return ++relaunched > 0;
  };
  TFAMap& map = *shown.Form->Map;
  const TExtent view = map.World.ViewExtent;
  map.Measuring.Overlay()->StartMeasurement(0xFF, 0);
  map.Measuring.Overlay()->AddPoint(map.World, view.XMin, view.YMin);
  map.Measuring.Overlay()->AddPoint(map.World, view.XMax, view.YMax);
  map.Measuring.Overlay()->FinishMeasurement(map.World);
  messages.SaveChoice = base::UserMessages::SaveAnswer::Cancel;
  EXPECT_FALSE(shown.Form->close());
  EXPECT_FALSE(shown.Form->AtlasCommands->OpenAtlas("/atlases/other"));
  EXPECT_TRUE(shown.Form->isVisible());
  EXPECT_EQ(relaunched, 0);
  EXPECT_EQ(messages.Shown.size(), 2);
  EXPECT_TRUE(messages.Shown.value(0).contains(QString::fromUtf8("не збережено")));
  // Saved: closing asks nothing.
  QTemporaryDir dir;
  ASSERT_TRUE(shown.Form->MeasurementCommands->SaveMeasurementsTo(dir.filePath("kept.pth")));
  EXPECT_TRUE(shown.Form->close());
  EXPECT_EQ(messages.Shown.size(), 2);
  // Changed again and let go: the other atlas opens.
  shown.Form->show();
  map.Measuring.Overlay()->Delete(0);
  messages.SaveChoice = base::UserMessages::SaveAnswer::Discard;
  EXPECT_TRUE(shown.Form->AtlasCommands->OpenAtlas("/atlases/other"));
  EXPECT_EQ(relaunched, 1);
  EXPECT_EQ(messages.Shown.size(), 3) << "asked once, not again on closing";
  base::UserMessages::Install(previous);
}

// F1 opens the program's own help page, which names every menu; a link within it moves to its
// section; Escape closes the window.
TEST(ProgramHelp, F1ShowsTheHelpPageAndEscapeClosesIt) {
  DemoMainWindow shown(900, 600);
  ASSERT_TRUE(shown.Exposed);
  shown.Form->activateWindow();
  QTest::keyClick(shown.Form.get(), Qt::Key_F1);
  auto* help = dynamic_cast<TFormHtmlBrowser*>(shown.Form->findChild<QWidget*>("FormHtmlBrowser"));
  ASSERT_NE(help, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
  const QString text = help->Browser->toPlainText();
  for (const char* words : {"Карта", "Виміри", "Пошук", "Установки", "Утиліти", "Допомога",
                            "*Distations*", "Таблиця атрибутів", "Що тут?", "F1", "Home"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(words))) << words;
  EXPECT_EQ(help->windowTitle(), QString::fromUtf8("Довідка програми"));
  help->resize(500, 300);
  QApplication::processEvents();
  help->Browser->anchorClicked(QUrl("#commands"));
  QApplication::processEvents();
  EXPECT_GT(help->Browser->verticalScrollBar()->value(), 0) << "moved down to the section";
  EXPECT_TRUE(help->LabelStatus->text().isEmpty()) << help->LabelStatus->text().toStdString();
  help->activateWindow();
  QTest::keyClick(help->Browser, Qt::Key_Escape);
  EXPECT_FALSE(help->isVisible());
}

// The desktop's viewer lookup is slow (xdg-mime starts dozens of processes): the window and its
// first picture do not wait for it; the first page opened looks the viewer up.
TEST(ProgramHelp, TheViewerIsLookedUpWhenAPageIsFirstOpenedNotAtTheStart) {
  QTemporaryDir bin;
  const QString asked = bin.filePath("asked");
  QFile mime(bin.filePath("xdg-mime"));
  ASSERT_TRUE(mime.open(QIODevice::WriteOnly));
  mime.write(QString("#!/bin/sh\ntouch '%1'\nsleep 1\n").arg(asked).toUtf8());
  mime.close();
  mime.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);
  struct RestorePath {
    QByteArray Path;
    ~RestorePath() { qputenv("PATH", Path); }
  } restore{path};

  DemoMainWindow shown(800, 600);
  ASSERT_TRUE(shown.Exposed);
  shown.Form->Map->Settle();
  EXPECT_FALSE(shown.Form->Map->BackBuffer.isNull()) << "the first picture is drawn";
  EXPECT_FALSE(QFileInfo::exists(asked)) << "the start waited for the viewer's lookup";
  shown.Form->ContentCommands->OpenDocument(shown.Atlas.filePath("HELP/INDEX.HTM"));
  EXPECT_TRUE(QFileInfo::exists(asked)) << "the page's opening looks the viewer up";
  ASSERT_NE(shown.Form->ContentCommands->HtmlBrowser, nullptr) << "no viewer: the program's own";
  shown.Form->ContentCommands->HtmlBrowser->close();
}

// "Система координат атласу ...": the system named as it is typed, one GDAL/PROJ does not know
// refused, the one saved written to BASE/ATLAS.INI.
TEST(AtlasCrsWindow, NamesTheSystemTypedAndSavesOnlyAKnownOne) {
  DemoMainWindow shown(900, 600);
  ASSERT_TRUE(shown.Exposed);
  ASSERT_TRUE(shown.Form->Action("miAtlasCrs")->isVisible()) << "work mode 0";
  TFormAtlasCrs window(shown.Atlas.path() + "/BASE");
  window.show();
  EXPECT_EQ(window.edtCrs->text(), "EPSG:32636") << "the demo's own";
  EXPECT_TRUE(window.lblName->text().contains("UTM zone 36N"))
      << window.lblName->text().toStdString();
  window.edtCrs->clear();
  QTest::keyClicks(window.edtCrs, "+proj=nonsense");
  EXPECT_FALSE(window.btnSave->isEnabled());
  EXPECT_TRUE(window.lblName->text().contains(QString::fromUtf8("не знає")));
  // PROJ's reason said in the users' words first, its own after.
  EXPECT_TRUE(window.lblName->text().contains(QString::fromUtf8("невідома проєкція (")))
      << window.lblName->text().toStdString();
  window.edtCrs->clear();
  QTest::keyClicks(window.edtCrs, "EPSG:999999");
  EXPECT_TRUE(window.lblName->text().contains(
      QString::fromUtf8("такої системи координат немає в базі PROJ (")))
      << window.lblName->text().toStdString();
  EXPECT_TRUE(window.lblName->text().contains("crs not found"));
  QApplication::processEvents();
  EXPECT_GE(window.lblName->height(), window.lblName->heightForWidth(window.lblName->width()))
      << "the whole reason shown";
  EXPECT_LE(window.lblName->geometry().bottom(), window.btnSave->mapTo(&window, QPoint(0, 0)).y())
      << "not under the buttons";
  window.edtCrs->clear();
  QTest::keyClicks(window.edtCrs, "EPSG:4326");
  ASSERT_TRUE(window.btnSave->isEnabled());
  QTest::mouseClick(window.btnSave, Qt::LeftButton);
  QFile ini(shown.Atlas.path() + "/BASE/ATLAS.INI");
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  EXPECT_TRUE(ini.readAll().contains("CRS=EPSG:4326"));
}

// A layer from a source in UTM 36N is left out of an atlas without a system; once the system is
// set in its window, the layer is on the map without opening the atlas again.
TEST(AtlasCrsWindow, TheLayersLeftOutForWantOfASystemComeInOnceItIsSet) {
  RegisterGdalLayerKinds();
  DemoMainWindow shown(900, 600, [](const QString& atlas) {
    TMapContent content;
    content.LoadMap(atlas + "/BASE", atlas + "/MAPS", atlas, "", "");
    ExportGeoPackage(content, atlas + "/MAPS/own.gpkg", {"EPSG:32636", {}, nullptr, true});
    db::Query q;
    q.SetDatabaseName(atlas + "/BASE");
    q.SQL << "UPDATE classreest SET PrimitiveType = 13, FileName = 'own.gpkg|layername=water' "
             "WHERE Category = 4 AND Class = 1";
    q.ExecSQL();
    QFile::remove(atlas + "/BASE/ATLAS.INI");
  });
  ASSERT_TRUE(shown.Exposed);
  ASSERT_EQ(shown.Form->Map->Content.LayerOf(4, 1), nullptr) << "left out: the atlas has no system";
  QTimer::singleShot(0, [] {
    auto* window = dynamic_cast<TFormAtlasCrs*>(QApplication::activeModalWidget());
    ASSERT_NE(window, nullptr);
    window->edtCrs->clear();
    QTest::keyClicks(window->edtCrs, "EPSG:32636");
    QTest::mouseClick(window->btnSave, Qt::LeftButton);
  });
  shown.Form->Action("miAtlasCrs")->trigger();
  QApplication::processEvents();
  EXPECT_NE(shown.Form->Map->Content.LayerOf(4, 1), nullptr);
}

// A source on the network the user refused for the atlas is no fault box at every start: the
// layer is noted as refused for the panels; "Мережеві джерела атласу ..." changes the answer,
// and the layer is tried at once.
TEST(NetworkSourcesMenu, ARefusedSourceIsNoBoxAtStartAndTheAnswerChangesInTheMenu) {
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  RegisterGdalLayerKinds();
  base::RecordedMessages messages;
  base::UserMessages* previous = &base::UserMessages::Current();
  base::UserMessages::Install(&messages);
  DemoMainWindow shown(900, 600, [](const QString& atlas) {
    db::Query q;
    q.SetDatabaseName(atlas + "/BASE");
    q.SQL << "UPDATE classreest SET PrimitiveType = 13, FileName = "
             "'/vsicurl/http://127.0.0.1:9/mains.gpkg|layername=mains' "
             "WHERE Category = 4 AND Class = 1";
    q.ExecSQL();
    gis::TNetworkSources::Remember(atlas + "/MAPS", false);
  });
  ASSERT_TRUE(shown.Exposed);
  EXPECT_TRUE(messages.Shown.isEmpty()) << messages.Shown.join("\n").toStdString();
  EXPECT_TRUE(shown.Form->Map->Content.FailureOf(4, 1).contains(QString::fromUtf8("не дозволено")));
  messages.Answer = true;
  shown.Form->Action("miNetworkSources")->trigger();
  ASSERT_FALSE(messages.Shown.isEmpty());
  EXPECT_TRUE(messages.Shown[0].contains(QString::fromUtf8("зараз не дозволено")))
      << messages.Shown[0].toStdString();
  EXPECT_EQ(gis::TNetworkSources::AnswerFor(shown.Atlas.path() + "/MAPS"),
            gis::TNetworkSources::Answer::Allowed);
  EXPECT_FALSE(shown.Form->Map->Content.FailureOf(4, 1).contains(QString::fromUtf8("не дозволено")))
      << "tried now: the server is not there";
  base::UserMessages::Install(previous);
}
