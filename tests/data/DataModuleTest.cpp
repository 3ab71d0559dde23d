#include "data/DataModule.h"

#include "AtlasWriter.h"

#include "db/Error.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A program directory with the demo atlas beside the program.
struct ProgramDir {
  QTemporaryDir Dir;
  ProgramDir() { demo::WriteAtlas(Dir.path(), 1, 5); }
  QString Path() const { return Dir.path(); }
};

QByteArray ReadFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(DataModule, WorkModeZeroKeepsEverythingBesideTheProgram) {
  ProgramDir program;
  TDataModuleVANDREL data(program.Path() + "/", 0, QString());
  EXPECT_EQ(TDataModuleVANDREL::Instance(), &data);
  EXPECT_EQ(data.AppDir, program.Path());
  EXPECT_EQ(data.RoutesDir, program.Path() + "/ROUTES");
  EXPECT_EQ(data.BaseDir, program.Path() + "/BASE");
  EXPECT_EQ(data.MapsDir, program.Path() + "/MAPS");
  EXPECT_EQ(data.RefDir, program.Path() + "/REFERENSE");
  EXPECT_EQ(data.FormsIniPath(), program.Path() + "/FORMS.INI");
  EXPECT_TRUE(data.TableClasses.Active());
  EXPECT_EQ(data.TableClasses.RecordCount(), 14);
  EXPECT_EQ(data.TableCategory.RecordCount(), 8);
  EXPECT_EQ(data.TableImages.IndexFieldNames(), "ImageIndex");
  EXPECT_EQ(data.FormPositions.SelInfo.Left, 640);
  EXPECT_EQ(data.FormPositions.ViewSelObj.Top, 300);
}

TEST(DataModule, OtherWorkModesReadTheAtlasFromTheDataRoot) {
  ProgramDir atlas;
  QTemporaryDir programDir;
  // Directory names are found without regard to case.
  QDir(atlas.Path()).rename("BASE", "base");
  {
    TDataModuleVANDREL data(programDir.path(), 2, atlas.Path());
    EXPECT_EQ(data.WorkMode, 2);
    EXPECT_EQ(data.BaseDir, atlas.Path() + "/base");
    EXPECT_EQ(data.RoutesDir, programDir.path() + "/ROUTES");
    EXPECT_EQ(data.FormsIniPath(), programDir.path() + "/FORMS.INI");
  }
  EXPECT_TRUE(QFile::exists(programDir.path() + "/FORMS.INI"));
  EXPECT_FALSE(QFile::exists(atlas.Path() + "/FORMS.INI"));
  EXPECT_THROW(TDataModuleVANDREL(programDir.path(), 1, QString()), std::runtime_error);
}

TEST(DataModule, ADataRootThatDoesNotExistOrLacksATableIsAClearError) {
  QTemporaryDir empty;
  try {
    TDataModuleVANDREL data(empty.path(), 0, empty.path() + "/nowhere");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("nowhere"), std::string::npos);
  }
  QDir(empty.path()).mkdir("BASE");
  try {
    TDataModuleVANDREL data(empty.path(), 0, QString());
    FAIL();
  } catch (const db::Error& e) {
    EXPECT_TRUE(e.Message.contains("CATEGORYREEST.db")) << e.Message.toStdString();
  }
}

TEST(DataModule, FormPositionsAreReadWithDefaultsAndWrittenBackWhole) {
  ProgramDir program;
  {
    QFile ini(program.Path() + "/FORMS.INI");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[FSelInfo]\r\nLEFT=10\r\nTOP=20\r\n[FMsg]\r\nLEFT=-5\r\n");
  }
  {
    TDataModuleVANDREL data(program.Path(), 0, QString());
    EXPECT_EQ(data.FormPositions.SelInfo.Left, 10);
    EXPECT_EQ(data.FormPositions.SelInfo.Top, 20);
    EXPECT_EQ(data.FormPositions.Msg.Left, -5);
    EXPECT_EQ(data.FormPositions.Msg.Top, 284);
    data.FormPositions.ObjList.Left = 123;
  }
  const QByteArray written = ReadFile(program.Path() + "/FORMS.INI");
  EXPECT_TRUE(written.contains("[FEditDB]\r\nLEFT=340\r\nTOP=201\r\n")) << written.toStdString();
  EXPECT_TRUE(written.contains("[FObjList]\r\nLEFT=123\r\nTOP=122\r\n")) << written.toStdString();
  EXPECT_TRUE(written.startsWith("[FSelInfo]\r\nLEFT=10\r\nTOP=20\r\n")) << written.toStdString();
  EXPECT_TRUE(written.contains("[FViewSelObj]\r\nLEFT=300\r\nTOP=300\r\n"));
}

// The object index and user objects belong to an atlas: an atlas opened from a data root of its
// own is searched and rebuilt in its own USER_OBJ, even when the program keeps an index of its
// own atlas beside it; a read-only disc without one uses the program's.
TEST(DataModule, TheObjectIndexIsTheOpenedAtlassOwn) {
  ProgramDir atlas;
  QTemporaryDir programDir;
  const QString own = programDir.path() + "/USER_OBJ", atlasObjects = atlas.Path() + "/USER_OBJ";
  QDir(atlasObjects).removeRecursively();
  QDir().mkpath(own);
  QFile mine(own + "/SPIN.DB");
  ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
  mine.close();
  {
    TDataModuleVANDREL data(programDir.path(), 0, atlas.Path());
    EXPECT_EQ(data.UserObjDir, atlasObjects) << "the program's index is of another atlas";
  }
  {
    TDataModuleVANDREL data(programDir.path(), 2, atlas.Path());
    EXPECT_EQ(data.UserObjDir, own) << "a disc without an index: the program's";
  }
  QDir().mkpath(atlasObjects);
  {
    TDataModuleVANDREL data(programDir.path(), 2, atlas.Path());
    EXPECT_EQ(data.UserObjDir, atlasObjects) << "a disc with its own index";
  }
  TDataModuleVANDREL data(atlas.Path(), 0, "");
  EXPECT_EQ(data.UserObjDir, atlasObjects) << "the atlas beside the program";
}

// Two programs closing at once: each writes the window positions it moved, and FORMS.INI keeps
// both.
TEST(DataModule, TwoInstancesClosingKeepBothSetsOfMovedWindows) {
  ProgramDir program;
  auto first = std::make_unique<TDataModuleVANDREL>(program.Path(), 0, "");
  auto second = std::make_unique<TDataModuleVANDREL>(program.Path(), 0, "");
  first->FormPositions.SelInfo = {11, 12};
  second->FormPositions.ObjList = {21, 22};
  second.reset();
  first.reset();
  TDataModuleVANDREL after(program.Path(), 0, "");
  EXPECT_EQ(after.FormPositions.SelInfo.Left, 11);
  EXPECT_EQ(after.FormPositions.SelInfo.Top, 12);
  EXPECT_EQ(after.FormPositions.ObjList.Left, 21);
  EXPECT_EQ(after.FormPositions.ObjList.Top, 22);
}
