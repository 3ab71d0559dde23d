#include "base/PathResolver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
void Touch(const QString& path) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}
} // namespace

TEST(PathResolver, NamesResolveWithoutRegardToCase) {
  QTemporaryDir dir;
  QDir(dir.path()).mkpath("MAPS/Sub");
  Touch(dir.path() + "/classreest.DB");
  Touch(dir.path() + "/MAPS/Sub/poly.dbf");
  for (const char* name : {"CLASSREEST.DB", "classreest.DB", "ClassReest.db"})
    EXPECT_EQ(base::FindPathIgnoreCase(dir.path(), name), dir.path() + "/classreest.DB") << name;
  EXPECT_EQ(base::FindPathIgnoreCase(dir.path(), "maps\\SUB\\poly.DBF"),
            dir.path() + "/MAPS/Sub/poly.dbf");
  EXPECT_FALSE(base::FindPathIgnoreCase(dir.path(), "missing.db").has_value());
  EXPECT_EQ(base::ResolvePath(dir.path(), "new.pth"), dir.path() + "/new.pth");
}

TEST(PathResolver, AnExactMatchWinsOverOthers) {
  QTemporaryDir dir;
  Touch(dir.path() + "/Water.DBF");
  Touch(dir.path() + "/water.dbf");
  EXPECT_EQ(base::FindPathIgnoreCase(dir.path(), "water.dbf"), dir.path() + "/water.dbf");
  EXPECT_EQ(base::FindPathIgnoreCase(dir.path(), "Water.DBF"), dir.path() + "/Water.DBF");
}
