// "Утиліти → Експорт атласу в GeoPackage ..." through the main window: the file written and the
// count told; a path that cannot be written told, and nothing left there.

#include "ui/main/AtlasCommands.h"
#include "ui/main/FormMap.h"

#include "ProgramWindows.h"
#include "base/UserMessages.h"

#include <QAction>
#include <QFile>
#include <gtest/gtest.h>

TEST(GisExport, TheWindowsCommandWritesTheAtlasAndSaysWhatItWrote) {
  DemoMainWindow shown(900, 600);
  ASSERT_TRUE(shown.Exposed);
  ASSERT_NE(shown.Form->Action("miExportGeoPackage"), nullptr);
  base::RecordedMessages messages;
  base::UserMessages* previous = &base::UserMessages::Current();
  base::UserMessages::Install(&messages);
  const QString path = shown.Atlas.path() + "/out.gpkg";
  EXPECT_TRUE(shown.Form->AtlasCommands->ExportGeoPackageTo(path));
  EXPECT_TRUE(QFile::exists(path));
  ASSERT_EQ(messages.Shown.size(), 1);
  EXPECT_TRUE(messages.Shown[0].contains(QString::number(shown.Form->Map->Layers.size())))
      << messages.Shown[0].toStdString();
  const QString nowhere = shown.Atlas.path() + "/no/such/out.gpkg";
  EXPECT_FALSE(shown.Form->AtlasCommands->ExportGeoPackageTo(nowhere));
  EXPECT_EQ(messages.Shown.size(), 2);
  EXPECT_FALSE(QFile::exists(nowhere));
  base::UserMessages::Install(previous);
}
