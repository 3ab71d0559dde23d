// The object information window and the label files.

#include "data/DataModule.h"
#include "ui/main/FormInfoPath.h"
#include "ui/main/LabelFile.h"
#include "ui/main/SmallDialogs.h"
#include "ui/objects/FormSelectInfo.h"
#include "ui/styles/FormSetSymbol.h"

#include "AtlasWriter.h"
#include "ShapeWriter.h"

#include "base/ByteOrder.h"
#include "db/DbaseFile.h"
#include "db/Table.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString Atlas() {
  static QTemporaryDir dir;
  static bool written = false;
  if (!written) {
    demo::WriteAtlas(dir.path(), 1, 12);
    written = true;
  }
  return dir.path();
}

QByteArray ReadFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(SelectInfo, ShowsNameTypeStreetAndNumber) {
  QTemporaryDir program;
  TDataModuleVANDREL data(program.path(), 0, Atlas());
  TFormSelectInfo info(data);
  EXPECT_EQ(info.windowTitle(), QString::fromUtf8("Інфо"));
  EXPECT_EQ(info.pos(), QPoint(640, 550));
  db::Table address(data.MapsDir, "address.dbf");
  address.Open();
  address.SetRecNo(3);
  const QString expected =
      address.FieldByName("NAME").AsString() + " " + address.FieldByName("TYPE").AsString() + " " +
      address.FieldByName("STREET").AsString() + ", " + address.FieldByName("NUMBER").AsString();
  info.ShowInfo(8, 1, 2);
  EXPECT_EQ(info.Text(), expected);
  EXPECT_EQ(info.windowTitle(), QString::fromUtf8("Адреси"));
  EXPECT_EQ(info.InfoTableName, "address.DBF");
  // A record past the end leaves the text as it was.
  info.ShowInfo(8, 1, 100000);
  EXPECT_EQ(info.Text(), expected);
  // The streets' table has no Number: the address stops after the street.
  info.ShowInfo(7, 4, 0);
  EXPECT_EQ(info.Text(), QString::fromUtf8("просп. Шевченка просп. Шевченка"));
}

TEST(SelectInfo, ATableWithoutNameGivesALeadingSpace) {
  QTemporaryDir program;
  TDataModuleVANDREL data(program.path(), 0, Atlas());
  db::DbaseFile::Create(data.MapsDir + "/NoName.dbf",
                        {db::MakeDbaseField("Type", db::FieldType::String, 10),
                         db::MakeDbaseField("Street", db::FieldType::String, 20),
                         db::MakeDbaseField("Number", db::FieldType::String, 5)},
                        {{QString::fromUtf8("вул."), QString::fromUtf8("Садова"), QString("7")}});
  data.TableClasses.Append();
  data.TableClasses.FieldByName("Level").SetAsInteger(99);
  data.TableClasses.FieldByName("Category").SetAsInteger(9);
  data.TableClasses.FieldByName("Class").SetAsInteger(9);
  data.TableClasses.FieldByName("FileName").SetAsString("NoName.mds");
  data.TableClasses.Post();
  TFormSelectInfo info(data);
  info.ShowInfo(9, 9, 0);
  EXPECT_EQ(info.Text(), QString::fromUtf8(" вул. Садова, 7"));
}

TEST(SelectInfo, RemembersItsPositionForFormsIni) {
  QTemporaryDir program;
  TDataModuleVANDREL data(program.path(), 0, Atlas());
  {
    TFormSelectInfo info(data);
    info.move(123, 45);
  }
  EXPECT_EQ(data.FormPositions.SelInfo.Left, 123);
  EXPECT_EQ(data.FormPositions.SelInfo.Top, 45);
}

namespace {

struct LabelRecord {
  QString Text;
  double X, Y;
};

std::vector<LabelRecord> ReadLabels(const QString& path) {
  const QByteArray bytes = ReadFile(path);
  std::vector<LabelRecord> out;
  for (qsizetype at = 0; at + kLabelRecordSize <= bytes.size(); at += kLabelRecordSize) {
    const char* r = bytes.constData() + at;
    EXPECT_EQ(r[88], 1);
    EXPECT_EQ(base::GetDoubleLE(r + 104), 10.0);
    EXPECT_EQ(QByteArray(r + 113, 7), QByteArray("\x06System"));
    EXPECT_EQ(QByteArray(r + 65, 7), QByteArray(7, '\0'))
        << "bytes the writer does not set are zero";
    out.push_back({QString::fromLatin1(r + 1, uchar(r[0])), base::GetDoubleLE(r + 72),
                   base::GetDoubleLE(r + 80)});
  }
  EXPECT_EQ(bytes.size() % kLabelRecordSize, 0);
  return out;
}

void WriteNames(const QString& dbf, int count) {
  std::vector<std::vector<db::Value>> rows;
  for (int i = 0; i < count; ++i)
    rows.push_back({QString("N%1").arg(i)});
  db::DbaseFile::Create(dbf, {db::MakeDbaseField("NAME", db::FieldType::String, 10)}, rows);
}

} // namespace

TEST(LabelFile, PointsLinesAndPolygonsGetTheirLabelPoints) {
  QTemporaryDir dir;
  demo::ShapeWriter points(demo::ShapeType::Point);
  points.AddPoint({3, 4});
  points.AddPoint({5, 6});
  points.Save(dir.path() + "/wells.shp");
  WriteNames(dir.path() + "/wells.dbf", 2);
  CreateLabelFile(dir.path() + "/wells.shp", "NAME", dir.path() + "/wells.L");
  auto labels = ReadLabels(dir.path() + "/wells.L");
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[1].Text, "N1");
  EXPECT_EQ(labels[1].X, 5);
  EXPECT_EQ(labels[1].Y, 6);

  demo::ShapeWriter areas(demo::ShapeType::Polygon);
  areas.AddShape({{{0, 0}, {0, 20}, {10, 20}, {10, 0}, {0, 0}}});
  areas.Save(dir.path() + "/blocks.shp");
  WriteNames(dir.path() + "/blocks.dbf", 1);
  CreateLabelFile(dir.path() + "/blocks.shp", "NAME", dir.path() + "/blocks.L");
  labels = ReadLabels(dir.path() + "/blocks.L");
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].X, 5);
  EXPECT_EQ(labels[0].Y, 10);

  demo::ShapeWriter lines(demo::ShapeType::PolyLine);
  lines.AddShape({{{0, 0}, {4, 8}}});
  lines.Save(dir.path() + "/pipes.shp");
  WriteNames(dir.path() + "/pipes.dbf", 1);
  CreateLabelFile(dir.path() + "/pipes.shp", "NAME", dir.path() + "/pipes.L");
  labels = ReadLabels(dir.path() + "/pipes.L");
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].X, 2);
  EXPECT_EQ(labels[0].Y, 4);
}

TEST(LabelFile, HeaderOnlyFilesAndFailuresLeaveNoHalfFile) {
  QTemporaryDir dir;
  demo::ShapeWriter empty(demo::ShapeType::Point);
  empty.Save(dir.path() + "/none.shp");
  WriteNames(dir.path() + "/none.dbf", 0);
  CreateLabelFile(dir.path() + "/none.shp", "NAME", dir.path() + "/none.L");
  EXPECT_TRUE(QFile::exists(dir.path() + "/none.L"));
  EXPECT_EQ(QFile(dir.path() + "/none.L").size(), 0);
  // A field the table lacks: an error, and the earlier label file stays as it was.
  QFile old(dir.path() + "/none.L");
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("earlier");
  old.close();
  EXPECT_ANY_THROW(CreateLabelFile(dir.path() + "/none.shp", "NOSUCH", dir.path() + "/none.L"));
  EXPECT_EQ(ReadFile(dir.path() + "/none.L"), QByteArray("earlier"));
}

TEST(LabelFile, TheDialogProposesTheLabelFileName) {
  EXPECT_EQ(ProposedLabelFile("/maps/pipes.shp"), "/maps/pipes.L");
  TFormLabelFileCreate form;
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Создание файла меток"));
  form.ChooseFile("/maps/pipes.shp");
  EXPECT_EQ(form.EditFileName->text(), "/maps/pipes.shp");
  EXPECT_EQ(form.EditLabelFile->text(), "/maps/pipes.L");
  TFormAboutBox about;
  EXPECT_EQ(about.windowTitle(), QString::fromUtf8("Про \"CD Vandrel\""));
}

// Captions and titles of the small windows are whole: the measurement window's title and labels,
// the symbol window's check box beside its buttons.
TEST(SmallWindows, TheirCaptionsAndTitlesAreNotCutOff) {
  TFormInfoPath path;
  path.show();
  const int title = path.fontMetrics().horizontalAdvance(path.windowTitle());
  EXPECT_GE(path.width(), title + 60) << "room for the title beside the close button";
  for (QLabel* label : path.findChildren<QLabel*>())
    EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
  QTemporaryDir programDir, atlas;
  demo::WriteAtlas(atlas.path(), 1, 9);
  TDataModuleVANDREL data(programDir.path(), 0, atlas.path());
  TFormSetSymbol symbol(data);
  symbol.show();
  EXPECT_GE(symbol.chboxForALL->width(), symbol.chboxForALL->sizeHint().width());
  EXPECT_LE(symbol.chboxForALL->geometry().right(), symbol.bbtnOK->geometry().left());
  EXPECT_LE(symbol.bbtnCancel->geometry().right(), symbol.width());
}
