#include "base/MappedFile.h"
#include "base/ByteOrder.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QString Write(const QTemporaryDir& dir, const QByteArray& bytes) {
  const QString path = dir.path() + "/streets.mds";
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(bytes);
  return path;
}
} // namespace

TEST(MappedFile, ReadsInBothByteOrders) {
  QTemporaryDir dir;
  QByteArray bytes(20, '\0');
  base::PutU32BE(bytes.data(), 9994);
  base::PutU32LE(bytes.data() + 4, 1000);
  base::PutDoubleLE(bytes.data() + 8, -12.5);
  base::MappedFile file(Write(dir, bytes));
  base::BinaryReader r(file);
  EXPECT_EQ(r.U32BE(), 9994u);
  EXPECT_EQ(r.U32LE(), 1000u);
  EXPECT_EQ(r.DoubleLE(), -12.5);
  EXPECT_EQ(r.Position(), 16);
  EXPECT_EQ(base::SwapBytes32(0x11223344u), 0x44332211u);
}

TEST(MappedFile, AReadPastTheEndNamesTheFileAndOffset) {
  QTemporaryDir dir;
  base::MappedFile file(Write(dir, QByteArray(10, 'x')));
  base::BinaryReader r(file);
  r.Seek(8);
  try {
    r.U32LE();
    FAIL();
  } catch (const base::FileError& e) {
    EXPECT_TRUE(e.Path.endsWith("streets.mds"));
    EXPECT_TRUE(e.Reason.contains(QString::fromUtf8("зміщенням 8"))) << e.Reason.toStdString();
  }
  EXPECT_THROW(r.At(4, -1), base::FileError);
  EXPECT_THROW(r.Seek(11), base::FileError);
  EXPECT_THROW(r.At(INT64_MAX - 2, 8), base::FileError);
}

TEST(MappedFile, MissingAndEmptyFiles) {
  QTemporaryDir dir;
  EXPECT_THROW(base::MappedFile(dir.path() + "/none.mds"), base::FileError);
  base::MappedFile empty(Write(dir, QByteArray()));
  EXPECT_EQ(empty.Size(), 0);
  base::BinaryReader r(empty);
  EXPECT_TRUE(r.AtEnd());
  EXPECT_THROW(r.U8(), base::FileError);
}

TEST(MappedFile, AFileCutByAnotherProgramWhileMappedIsAnErrorNotASignal) {
  QTemporaryDir dir;
  const QString path = Write(dir, QByteArray(256 * 1024, 'x'));
  base::MappedFile file(path);
  base::BinaryReader reader(file);
  EXPECT_EQ(reader.At(200000, 1)[0], 'x');
  // cp over the file: it is truncated first, then written.
  ASSERT_EQ(QProcess::execute("truncate", {"-s", "4096", path}), 0);
  const volatile unsigned char past = file.Bytes()[200000]; // a plain read past the new end
  EXPECT_EQ(past, 0);
  EXPECT_TRUE(file.Cut());
  try {
    reader.At(0, 4);
    ADD_FAILURE() << "the cut went unseen";
  } catch (const base::FileError& e) {
    EXPECT_TRUE(e.Reason.contains(QString::fromUtf8("файл обрізано"))) << e.what();
  }
  // Mapped again, the file is what it is now.
  base::MappedFile again(path);
  EXPECT_EQ(again.Size(), 4096);
  EXPECT_FALSE(again.Cut());
}

TEST(MappedFile, AKeptFileThatIsNoRegularFileIsRefusedWithoutWaiting) {
  QTemporaryDir dir;
  const QString fifo = dir.path() + "/kept";
  ASSERT_EQ(QProcess::execute("mkfifo", {fifo}), 0);
  EXPECT_THROW(base::MappedFile(fifo, base::MappedFile::Kind::RegularOnly), base::FileError);
  const QString target = Write(dir, "abc");
  ASSERT_TRUE(QFile::link(target, dir.path() + "/link"));
  EXPECT_THROW(base::MappedFile(dir.path() + "/link", base::MappedFile::Kind::RegularOnly),
               base::FileError);
  EXPECT_EQ(base::MappedFile(dir.path() + "/link").Size(), 3);
}
