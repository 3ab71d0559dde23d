// The cache of derived files: content kept for a source is given back only while the source is
// in the state it was stamped with, never for a source changed since or changed too recently
// to be sure of, and never from a damaged or foreign file.

#include "base/DerivedCache.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class DerivedCacheTest : public testing::Test {
protected:
  void SetUp() override {
    Previous = qgetenv("VANDREL_CACHE_DIR");
    qputenv("VANDREL_CACHE_DIR", QFile::encodeName(Cache.path()));
    Settled = base::DerivedCache::SettledMilliseconds();
    Source = Atlas.path() + "/Buildings.mds";
    Write(Source, "the geometry");
  }
  void TearDown() override {
    qputenv("VANDREL_CACHE_DIR", Previous);
    base::DerivedCache::SetSettledMilliseconds(Settled);
  }
  static void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  static QByteArray Loaded(const QString& source, const QByteArray& stamp) {
    const base::DerivedContent kept = base::DerivedCache::Load(source, "test-kind", stamp);
    if (!kept) return "(nothing)";
    return QByteArray(reinterpret_cast<const char*>(kept.Bytes.data()),
                      qsizetype(kept.Bytes.size()));
  }

  QTemporaryDir Cache, Atlas;
  QByteArray Previous;
  int64_t Settled = 0;
  QString Source;
};

} // namespace

TEST_F(DerivedCacheTest, ContentComesBackOnlyWhileTheSourceIsAsStamped) {
  // Just written: too recent to be stamped, so nothing is kept.
  EXPECT_TRUE(base::DerivedCache::Stamp(Source).isEmpty());
  base::DerivedCache::Store(Source, "test-kind", base::DerivedCache::Stamp(Source), "lost");
  EXPECT_TRUE(QDir(Cache.path()).entryList(QDir::Files).isEmpty());

  base::DerivedCache::SetSettledMilliseconds(0);
  const QByteArray stamp = base::DerivedCache::Stamp(Source);
  ASSERT_FALSE(stamp.isEmpty());
  base::DerivedCache::Store(Source, "test-kind", stamp, "walked once");
  EXPECT_EQ(Loaded(Source, base::DerivedCache::Stamp(Source)), "walked once");
  EXPECT_EQ(base::DerivedCache::Load(Source, "another-kind", stamp).File, nullptr);

  // Rewritten with other content of the same length and the old times: the inode and the
  // change time differ, so the kept content is not given.
  const QString replacement = Atlas.path() + "/new.mds";
  Write(replacement, "THE GEOMETRY");
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(Source).constData(), &st), 0);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(replacement).constData(), times, 0), 0);
  ASSERT_EQ(
      ::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(Source).constData()),
      0);
  EXPECT_EQ(Loaded(Source, base::DerivedCache::Stamp(Source)), "(nothing)");
}

TEST_F(DerivedCacheTest, DamagedOrSwitchedOffCachesGiveNothing) {
  base::DerivedCache::SetSettledMilliseconds(0);
  const QByteArray stamp = base::DerivedCache::Stamp(Source);
  base::DerivedCache::Store(Source, "test-kind", stamp, "kept");
  const QStringList kept = QDir(Cache.path()).entryList(QDir::Files);
  ASSERT_EQ(kept.size(), 1);
  const QString keptPath = Cache.path() + "/" + kept[0];
  // A byte of its content flipped in place: not taken.
  {
    QFile f(keptPath);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const QByteArray bytes = f.readAll();
    ASSERT_TRUE(bytes.endsWith("kept"));
    f.seek(bytes.size() - 1);
    f.write("T");
  }
  EXPECT_EQ(Loaded(Source, stamp), "(nothing)");
  // A FIFO planted at its name: refused at once, not waited on.
  QFile::remove(keptPath);
  ASSERT_EQ(::mkfifo(QFile::encodeName(keptPath).constData(), 0600), 0);
  EXPECT_EQ(Loaded(Source, stamp), "(nothing)");
  QFile::remove(keptPath);
  // Cut inside its header: not taken.
  Write(keptPath, "VANDREL-DER");
  EXPECT_EQ(Loaded(Source, stamp), "(nothing)");
  // Switched off: nothing kept and nothing given.
  qputenv("VANDREL_CACHE_DIR", "off");
  EXPECT_TRUE(base::DerivedCache::Folder().isEmpty());
  base::DerivedCache::Store(Source, "test-kind", stamp, "kept");
  EXPECT_EQ(Loaded(Source, stamp), "(nothing)");
}

TEST(DerivedArrays, ViewsAreCheckedAgainstTheContentsSize) {
  QByteArray content("x");
  const std::vector<int64_t> numbers = {1, -2, 3};
  base::AppendArray(content, std::span<const int64_t>(numbers));
  const auto bytes = std::span(reinterpret_cast<const unsigned char*>(content.constData()),
                               size_t(content.size()));
  size_t offset = 1;
  std::span<const int64_t> view;
  ASSERT_TRUE(base::ViewArray(bytes, offset, 3, view));
  EXPECT_EQ(std::vector<int64_t>(view.begin(), view.end()), numbers);
  EXPECT_EQ(offset, size_t(content.size()));
  offset = 1;
  EXPECT_FALSE(base::ViewArray(bytes, offset, 4, view)) << "one more than the content holds";
  offset = 1;
  EXPECT_FALSE(base::ViewArray(bytes, offset, size_t(1) << 62, view)) << "a count that overflows";
}
