// A dBase table on a disk that fills up under vandrel-tables' inserts: the insert that finds no
// space is refused and said, and the table stays byte for byte as it was before it, readable.
// The disk is a small file system of its own (a tmpfs in a mount namespace) where the machine
// lets the test make one, else a limit on the size of the files the program may write.

#include "db/DbaseFile.h"
#include "db/Table.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Inserts rows one statement at a time until one fails; leaves the table as it was before the
// failed statement in before.dbf, as it is after it in after.dbf, the statement's output in
// out and err, and the number of rows inserted in inserted.
const char* const kScript = R"SH(
set -u
dir=$1 tables=$2 mode=$3
cp "$dir/seed/pipes.dbf" "$dir/full/pipes.dbf"
limit=""
if [ "$mode" = tmpfs ]; then
  head -c 64000000 /dev/zero >"$dir/full/filler" 2>/dev/null
else
  limit=$(( $(stat -c %s "$dir/full/pipes.dbf") / 1024 + 2 ))
fi
n=0
while [ $n -lt 3000 ]; do
  cp "$dir/full/pipes.dbf" "$dir/before.dbf"
  if [ -n "$limit" ]; then
    (trap '' XFSZ; ulimit -f "$limit"; exec "$tables" sql "$dir/full" \
      "INSERT INTO pipes (K, NAME) VALUES ($n, \"труба номер $n\")") >"$dir/out" 2>"$dir/err" || break
  else
    "$tables" sql "$dir/full" "INSERT INTO pipes (K, NAME) VALUES ($n, \"труба номер $n\")" \
      >"$dir/out" 2>"$dir/err" || break
  fi
  n=$((n + 1))
done
echo $n >"$dir/inserted"
cp "$dir/full/pipes.dbf" "$dir/after.dbf"
)SH";

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool CanMountTmpfs() {
  QProcess probe;
  probe.start("unshare", {"-m", "sh", "-c", "mount -t tmpfs -o size=64k tmpfs /mnt"});
  return probe.waitForFinished(20000) && probe.exitStatus() == QProcess::NormalExit &&
         probe.exitCode() == 0;
}

} // namespace

TEST(FullDisk, AnInsertThatFindsNoSpaceLeavesTheDbaseTableAsItWas) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath("seed") && QDir(dir.path()).mkpath("full"));
  std::vector<std::vector<db::Value>> rows;
  for (int k = 0; k < 40; ++k)
    rows.push_back({int64_t(100000 + k), QString::fromUtf8("наявна труба %1").arg(k)});
  db::DbaseFile::Create(dir.path() + "/seed/pipes.dbf",
                        {db::MakeDbaseField("K", db::FieldType::Integer, 10),
                         db::MakeDbaseField("NAME", db::FieldType::String, 60)},
                        rows, base::CodePage::Cp1251);

  const bool tmpfs = CanMountTmpfs();
  QProcess run;
  const QString script =
      tmpfs ? QString("mount -t tmpfs -o size=256k tmpfs \"$1/full\" && ") + kScript
            : QString(kScript);
  const QStringList args{dir.path(), VANDREL_TABLES, tmpfs ? "tmpfs" : "limit"};
  if (tmpfs)
    run.start("unshare", QStringList{"-m", "bash", "-c", script, "full-disk"} + args);
  else
    run.start("bash", QStringList{"-c", script, "full-disk"} + args);
  ASSERT_TRUE(run.waitForFinished(600000));
  ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();

  const int inserted = ReadAll(dir.path() + "/inserted").trimmed().toInt();
  const QString err = QString::fromUtf8(ReadAll(dir.path() + "/err"));
  ASSERT_LT(inserted, 3000) << "the disk never filled";
  EXPECT_FALSE(ReadAll(dir.path() + "/out").contains("rows changed"));
  EXPECT_TRUE(err.contains(tmpfs ? QString::fromUtf8("на диску немає місця")
                                 : QString::fromUtf8("найбільший дозволений розмір")))
      << err.toStdString();
  EXPECT_TRUE(err.contains("pipes")) << err.toStdString();
  ASSERT_EQ(ReadAll(dir.path() + "/after.dbf"), ReadAll(dir.path() + "/before.dbf"));

  db::Table table(dir.path(), "after.dbf");
  table.Open();
  EXPECT_EQ(table.RecordCount(), 40 + inserted);
  table.Last();
  if (inserted > 0) {
    EXPECT_EQ(table.FieldByName("K").AsInteger(), inserted - 1);
  }
}
