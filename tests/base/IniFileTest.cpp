#include "base/IniFile.h"
#include "base/FileError.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(IniFile, MissingFileGivesDefaultsAndIsCreatedOnSave) {
  QTemporaryDir dir;
  const QString path = dir.path() + "/FORMS.INI";
  base::IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("FEditDB", "LEFT", 340), 340);
  ini.WriteInteger("FEditDB", "LEFT", 340);
  ini.WriteInteger("FEditDB", "TOP", 201);
  ini.Save();
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("[FEditDB]\r\nLEFT=340\r\nTOP=201\r\n"));
  f.close();
  // Made read-only: a save is refused, naming the file, and the file stays as it was.
  ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
  ini.WriteInteger("FEditDB", "TOP", 999);
  EXPECT_THROW(ini.Save(), base::FileError);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("[FEditDB]\r\nLEFT=340\r\nTOP=201\r\n"));
}

TEST(IniFile, SectionsAndKeysIgnoreCaseAndOtherLinesSurvive) {
  QTemporaryDir dir;
  const QString path = dir.path() + "/a.ini";
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("; window positions\r\n[FSelInfo]\r\nLeft=12\r\nTOP = 34 "
            "\r\n\r\n[Other]\r\nx=\xCF\xF0\xE8\r\n");
  }
  base::IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("fselinfo", "LEFT", 0), 12);
  EXPECT_EQ(ini.ReadInteger("FSELINFO", "top", 0), 34);
  EXPECT_EQ(ini.ReadString("Other", "X", ""), QString::fromUtf8("При"));
  EXPECT_EQ(ini.ReadInteger("Other", "x", 7), 7) << "text that is not a number gives the default";
  ini.WriteInteger("FSelInfo", "Left", 640);
  ini.WriteInteger("FMsg", "LEFT", 428);
  ini.Save();
  base::IniFile again(path);
  EXPECT_EQ(again.ReadInteger("FSelInfo", "LEFT", 0), 640);
  EXPECT_EQ(again.ReadInteger("FMsg", "LEFT", 0), 428);
  EXPECT_EQ(again.ReadString("Other", "x", ""), QString::fromUtf8("При"));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(
      f.readAll().startsWith("; window positions\r\n[FSelInfo]\r\nLeft=640\r\nTOP = 34 \r\n"));
}

// Two programs with the same file open save their changes one after the other: each applies
// its own changes to the file as the other left it, so both sets stay where they touch
// different keys, and a key written back with the value it had is no change.
TEST(IniFile, TwoWritersKeepEachOthersChangesToOtherKeys) {
  QTemporaryDir dir;
  const QString path = dir.filePath("BOOKMARKS.INI");
  {
    base::IniFile ini(path);
    ini.WriteString("Atlas", "Home", "1,2,3,4");
    ini.WriteString("Atlas", "Old", "5,6,7,8");
    ini.WriteInteger("FSelInfo", "LEFT", 10);
    ini.Save();
  }
  base::IniFile first(path), second(path);
  first.WriteString("Atlas", "Station", "9,9,9,9");
  first.WriteInteger("FSelInfo", "LEFT", 10); // as it was: not a change
  second.DeleteKey("Atlas", "Old");
  second.WriteInteger("FSelInfo", "LEFT", 20);
  second.Save();
  first.Save();
  const base::IniFile result(path);
  EXPECT_EQ(result.ReadString("Atlas", "Home", ""), "1,2,3,4");
  EXPECT_EQ(result.ReadString("Atlas", "Station", ""), "9,9,9,9");
  EXPECT_FALSE(result.HasKey("Atlas", "Old"));
  EXPECT_EQ(result.ReadInteger("FSelInfo", "LEFT", 0), 20) << "the first did not change it";
  EXPECT_EQ(first.ReadInteger("FSelInfo", "LEFT", 0), 20) << "a save reads the others' changes";
}
