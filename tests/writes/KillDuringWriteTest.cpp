// Files written by the program are whole or untouched, whatever moment the program dies at: a
// child process writes one kind of file over and over, flipping between two contents, and is
// killed at spread-out moments; afterwards every file it writes must be one content or the
// other, byte for byte, never a mix, a part or empty.

#include "AtlasWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

namespace {

// The demo atlas draws its pictures with fonts.
struct GuiEnvironment : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "writes_tests";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) App = new QGuiApplication(argc, argv);
  }
  void TearDown() override { delete App; }
  QGuiApplication* App = nullptr;
};
const auto* const gui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

// The bytes of a file with its update stamp blanked: the time a Paradox table was written
// (header bytes 0x60–0x63) and the date a dBase table was (bytes 1–3) change with every post.
QByteArray Contents(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QByteArray();
  QByteArray bytes = f.readAll();
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == "db" && bytes.size() >= 0x64) bytes.replace(0x60, 4, QByteArray(4, '\0'));
  if (suffix == "dbf" && bytes.size() >= 4) bytes.replace(1, 3, QByteArray(3, '\0'));
  return bytes;
}

struct Kind {
  const char* Name;
  QStringList Files;  // written by the kind, relative to its folder
  bool Atlas = false; // works on a copy of the demo atlas
};

void RunOnce(const Kind& kind, const QString& dir, const char* mode) {
  QProcess p;
  p.start(WRITE_CHILD, {kind.Name, dir, mode});
  ASSERT_TRUE(p.waitForFinished(120000));
  ASSERT_EQ(p.exitCode(), 0) << kind.Name << ": " << p.readAllStandardError().toStdString();
}

// A folder holding what `kind` works on: the demo atlas or nothing.
QString Prepare(const Kind& kind, const QString& atlas, const QString& dir) {
  QDir().mkpath(dir);
  if (kind.Atlas)
    std::filesystem::copy(atlas.toStdString(), dir.toStdString(),
                          std::filesystem::copy_options::recursive);
  return dir;
}

std::vector<QByteArray> Snapshot(const Kind& kind, const QString& dir) {
  std::vector<QByteArray> files;
  for (const QString& f : kind.Files)
    files.push_back(Contents(dir + "/" + f));
  return files;
}

struct Outcome {
  int Kills = 0;
  int Torn = 0;           // a file that was neither of its two contents
  int MixedTables = 0;    // a Paradox table and its primary index from different contents
  int SecondContent = 0;  // kills after which a file held the second content
  int TemporaryFiles = 0; // left beside the files by writes that were killed
};

int TemporaryFiles(const QString& dir) {
  int count = 0;
  QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext())
    if (it.next().section('/', -1).startsWith('.')) {
      std::printf("  left: %s\n", qPrintable(it.filePath()));
      ++count;
    }
  return count;
}

// Kills the looping child `kills` times and checks its files after each.
Outcome KillAndCheck(const Kind& kind, const QString& atlas, int kills) {
  QTemporaryDir root;
  const QString a = Prepare(kind, atlas, root.filePath("a")),
                b = Prepare(kind, atlas, root.filePath("b")),
                work = Prepare(kind, atlas, root.filePath("work"));
  RunOnce(kind, a, "a");
  RunOnce(kind, b, "b");
  RunOnce(kind, work, "a");
  const auto first = Snapshot(kind, a), second = Snapshot(kind, b);
  // Every file is written; an index whose keys stay the same may come out the same.
  for (size_t f = 0; f < first.size(); ++f)
    EXPECT_FALSE(first[f].isEmpty()) << kind.Name << " " << kind.Files[int(f)].toStdString();
  EXPECT_NE(first.front(), second.front()) << kind.Name;
  EXPECT_EQ(Snapshot(kind, work), first) << kind.Name;
  std::mt19937 random(uint32_t(qHash(QString(kind.Name))));
  std::uniform_int_distribution<int> delay(5, 400);
  Outcome outcome;
  for (int k = 0; k < kills; ++k) {
    QProcess child;
    child.start(WRITE_CHILD, {kind.Name, work, "loop"});
    if (!child.waitForStarted(10000)) continue;
    child.waitForReadyRead(10000); // its "writing": the kill falls among the writes
    QThread::msleep(uint32_t(delay(random)));
    child.kill(); // SIGKILL: no handler runs, no destructor removes anything
    child.waitForFinished(10000);
    ++outcome.Kills;
    const auto now = Snapshot(kind, work);
    bool torn = false, anySecond = false;
    for (size_t f = 0; f < now.size(); ++f) {
      torn |= now[f] != first[f] && now[f] != second[f];
      anySecond |= now[f] == second[f];
      // A table (.DB) listed right before its index (.PX).
      if (f + 1 < now.size() && kind.Files[int(f + 1)].endsWith(".PX") &&
          first[f + 1] != second[f + 1])
        outcome.MixedTables += (now[f] == second[f]) != (now[f + 1] == second[f + 1]);
    }
    outcome.Torn += torn;
    outcome.SecondContent += anySecond;
  }
  outcome.TemporaryFiles = TemporaryFiles(work);
  return outcome;
}

} // namespace

TEST(KillDuringWrite, EveryKindOfWriteLeavesItsFilesWholeOrUntouched) {
  QTemporaryDir atlas;
  demo::WriteAtlas(atlas.path(), 1, 8);
  const std::vector<Kind> kinds = {
      {"ini", {"file"}},
      {"pth", {"file"}},
      {"table", {"file.DB"}},
      {"post", {"MAPS/Hydrants.db", "MAPS/Hydrants.PX", "MAPS/Water.dbf"}, true},
      {"layers", {"BASE/classreest.DB", "BASE/classreest.PX"}, true},
      {"index",
       {"USER_OBJ/SPIN.DB", "USER_OBJ/SPIN.PX", "USER_OBJ/spinSewerWells.db",
        "USER_OBJ/spinSewerWells.PX"},
       true},
      {"label", {"MAPS/Buildings.L"}, true}};
  for (const Kind& kind : kinds) {
    const Outcome o = KillAndCheck(kind, atlas.path(), 40);
    std::printf("%-7s kills %d, torn %d, table and index apart %d, second content seen %d, "
                "temporary files left %d\n",
                kind.Name, o.Kills, o.Torn, o.MixedTables, o.SecondContent, o.TemporaryFiles);
    EXPECT_EQ(o.Kills, 40) << kind.Name;
    EXPECT_EQ(o.Torn, 0) << kind.Name;
    // New contents are written to files without a name: a kill leaves no stray file, but for
    // one that falls between naming the new content and renaming it over the old.
    EXPECT_LE(o.TemporaryFiles, 4) << kind.Name;
    // The kills fell while the child was writing, not before its first write.
    EXPECT_GT(o.SecondContent, 0) << kind.Name;
  }
}

// The test sees a torn file when there is one: a file written in place is caught half-written.
TEST(KillDuringWrite, AFileWrittenInPlaceIsCaughtTorn) {
  EXPECT_GT(KillAndCheck({"plain", {"file"}}, QString(), 40).Torn, 0);
}
