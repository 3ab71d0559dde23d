// "Параметры классов" on a private demo atlas, through its controls: label positions, the label
// fields of the attribute table, files chosen, scale buttons, a refused post, and the map rebuilt
// with the edited style.

#include "core/FAMap.h"
#include "data/DataModule.h"
#include "layers/LinesLayer.h"
#include "ui/main/ContentCommands.h"
#include "ui/main/FormMap.h"
#include "ui/styles/FormLayersControls.h"

#include "AtlasWriter.h"

#include "base/ByteOrder.h"
#include "base/UserMessages.h"
#include "db/Table.h"
#include "gfx/SymbolFonts.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gdal.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

namespace {

class LayersControls : public ::testing::Test {
protected:
  void SetUp() override {
    demo::WriteAtlas(Atlas.path(), 1, 6);
    Data = std::make_unique<TDataModuleVANDREL>(Program.path(), 0, Atlas.path());
    Previous = &base::UserMessages::Current();
    base::UserMessages::Install(&Messages);
    Form = std::make_unique<TFormMap>(*Data);
  }
  void TearDown() override {
    Form.reset();
    base::UserMessages::Install(Previous);
  }
  // The layers table's current row moved to the layer of that name.
  void GoTo(const QString& name) {
    db::Table& t = Data->TableClasses;
    for (t.First(); !t.Eof(); t.Next())
      if (t.FieldByName("ClassName").AsString() == name) return;
    FAIL() << name.toStdString();
  }
  // A fresh cursor's view of the file.
  db::Value Stored(const QString& name, const QString& field) {
    db::Table t(Data->BaseDir, "classreest");
    t.Open();
    for (t.First(); !t.Eof(); t.Next())
      if (t.FieldByName("ClassName").AsString() == name) return t.FieldByName(field).AsValue();
    return db::Value();
  }
  QByteArray LayersFile() {
    QFile f(Data->TableClasses.FilePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  QTemporaryDir Program, Atlas;
  std::unique_ptr<TDataModuleVANDREL> Data;
  std::unique_ptr<TFormMap> Form;
  base::RecordedMessages Messages;
  base::UserMessages* Previous = nullptr; // the sink of the other tests, put back after
};

} // namespace

TEST_F(LayersControls, ThePositionButtonsShowTheRowAndWriteBothFields) {
  const QString name = QString::fromUtf8("Водопровідні колодязі"); // XLabel 1, YLabel 0
  GoTo(name);
  TFormLayersControls window(*Data, *Form->Map);
  EXPECT_TRUE(window.PositionButtons["sbRM"]->isChecked());
  window.PositionClick(1, -1);
  window.RefreshControls();
  EXPECT_TRUE(window.PositionButtons["sbRT"]->isChecked());
  QTest::mouseClick(window.PositionButtons["sbMB"], Qt::LeftButton);
  EXPECT_EQ(db::ValueToInteger(Stored(name, "XLabel")), 0);
  EXPECT_EQ(db::ValueToInteger(Stored(name, "YLabel")), 1) << "written and posted";
  EXPECT_EQ(Data->TableClasses.State(), db::TableState::Browse);
}

TEST_F(LayersControls, LabelFieldsComeFromTheAttributeTableDbFirstThenDbf) {
  GoTo(QString::fromUtf8("Пожежні гідранти")); // Hydrants.db: its text fields only
  TFormLayersControls window(*Data, *Form->Map);
  QStringList offered;
  for (int i = 0; i < window.DBComboBoxLabelFieldName->count(); ++i)
    offered << window.DBComboBoxLabelFieldName->itemText(i);
  EXPECT_EQ(offered, (QStringList{"NAME", "TYPE", "STREET", "NUMBER", "PHONE"}));
  // A name without a dot: the whole name + ".DB", then ".DBF".
  ASSERT_TRUE(window.WriteField("FileName", QString("address")));
  ASSERT_TRUE(window.PostRow());
  window.RefreshControls();
  EXPECT_EQ(window.DBComboBoxLabelFieldName->itemText(0), "NAME");
  EXPECT_GT(window.DBComboBoxLabelFieldName->count(), 3);
}

TEST_F(LayersControls, ChosenFilesSetTheKindAndForGeometryTheExtent) {
  const QString name = QString::fromUtf8("Будинки");
  GoTo(name);
  TFormLayersControls window(*Data, *Form->Map);
  const double x0 = db::ValueToFloat(Stored(name, "X0"));
  window.ApplyChosenFile(Data->MapsDir + "/Pumps.db");
  EXPECT_EQ(db::ValueToString(Stored(name, "FileName")), "Pumps.db");
  EXPECT_EQ(db::ValueToInteger(Stored(name, "PrimitiveType")), 101);
  EXPECT_EQ(db::ValueToFloat(Stored(name, "X0")), x0) << "no header read";
  window.ApplyChosenFile(Data->MapsDir + "/Streets.mds");
  QFile streets(Data->MapsDir + "/Streets.mds");
  ASSERT_TRUE(streets.open(QIODevice::ReadOnly));
  const QByteArray header = streets.read(100);
  const auto* h = reinterpret_cast<const unsigned char*>(header.constData());
  EXPECT_EQ(db::ValueToInteger(Stored(name, "PrimitiveType")), 3);
  EXPECT_EQ(db::ValueToFloat(Stored(name, "X0")), base::GetDoubleLE(h + 36));
  EXPECT_EQ(db::ValueToFloat(Stored(name, "Ym")), base::GetDoubleLE(h + 60));
  EXPECT_GE(window.DBComboBoxLabelFieldName->findText("STREET"), 0) << "Streets.DBF's fields";
}

TEST_F(LayersControls, AScaleButtonWritesTheMapsScaleAndAPostWritesIt) {
  const QString name = QString::fromUtf8("Будинки");
  GoTo(name);
  Form->Map->World.Scale = 0.5;
  TFormLayersControls window(*Data, *Form->Map);
  auto* button = window.findChild<QPushButton*>("sbScaleZoomInLabelScale");
  ASSERT_NE(button, nullptr);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(Data->TableClasses.FieldByName("ZoomInLabelScale").AsFloat(), 0.5);
  EXPECT_EQ(Data->TableClasses.State(), db::TableState::Edit) << "not posted by the button";
  window.DBNavigator1Click(TFormLayersControls::PostButton);
  EXPECT_EQ(db::ValueToFloat(Stored(name, "ZoomInLabelScale")), 0.5);
}

TEST_F(LayersControls, ADuplicateLevelIsReportedAndNothingIsWritten) {
  Data->TableClasses.First();
  const int64_t level = Data->TableClasses.FieldByName("Level").AsInteger();
  Data->TableClasses.Next();
  TFormLayersControls window(*Data, *Form->Map);
  const QByteArray before = LayersFile();
  Messages.Shown.clear();
  ASSERT_TRUE(window.WriteField("Level", level));
  EXPECT_FALSE(window.PostRow());
  ASSERT_EQ(Messages.Shown.size(), 1);
  EXPECT_TRUE(Messages.Shown[0].contains(QString::fromUtf8("порушення ключа")))
      << Messages.Shown[0].toStdString();
  EXPECT_EQ(Data->TableClasses.State(), db::TableState::Edit) << "the row stays in edit mode";
  EXPECT_EQ(LayersFile(), before);
  window.DBNavigator1Click(TFormLayersControls::CancelButton);
  // Deleting asks first; "no" keeps the row.
  Messages.Answer = false;
  const int rows = Data->TableClasses.RecordCount();
  window.DBNavigator1Click(TFormLayersControls::DeleteRow);
  EXPECT_EQ(Data->TableClasses.RecordCount(), rows);
}

TEST_F(LayersControls, TheMapIsRebuiltWithTheEditedStyleWhenTheWindowCloses) {
  const QString name = QString::fromUtf8("Вулиці");
  GoTo(name);
  QTimer::singleShot(0, [] {
    auto* window = dynamic_cast<TFormLayersControls*>(QApplication::activeModalWidget());
    if (!window) return;
    window->WriteField("PenColor", int64_t(0x000000FF));
    window->WriteField("PenWidth", 4.0);
    QTest::mouseClick(window->BitBtnClose, Qt::LeftButton); // posts and closes
  });
  Form->ContentCommands->sbLayersClick();
  EXPECT_EQ(db::ValueToInteger(Stored(name, "PenColor")), 0x000000FF);
  const TLinesLayer* streets = nullptr;
  for (const auto& l : Form->Map->Layers)
    if (l->ClassName == name) streets = dynamic_cast<const TLinesLayer*>(l.get());
  ASSERT_NE(streets, nullptr);
  EXPECT_EQ(streets->PenColor, 0x000000FF);
  EXPECT_EQ(streets->PenWidth, 4.0);
}

// ---------------------------------------------------------------- typed, clicked, as a user does

namespace {

// The window shown, its layout run, and active, so that clicks give focus as on a desktop.
void Show(QWidget& window) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

QLineEdit* EditOf(TFormLayersControls& window, const QString& field) {
  return qobject_cast<QLineEdit*>(window.Control(field));
}

// Clicks into a field, selects what it holds and types over it, key by key (Cyrillic letters as
// a Ukrainian keyboard delivers them: a key event carrying the letter).
void TypeInto(QLineEdit* edit, const QString& text) {
  QTest::mouseClick(edit, Qt::LeftButton);
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &press);
    QApplication::sendEvent(edit, &release);
  }
}

} // namespace

TEST_F(LayersControls, InsertThenDeleteGivesUpOnlyTheNewRow) {
  GoTo(QString::fromUtf8("Насосні станції"));
  TFormLayersControls window(*Data, *Form->Map);
  Show(window);
  const QByteArray before = LayersFile();
  const int rows = Data->TableClasses.RecordCount();
  Messages.Shown.clear();
  QTest::mouseClick(window.Navigator[TFormLayersControls::InsertRow], Qt::LeftButton);
  ASSERT_EQ(Data->TableClasses.State(), db::TableState::Insert);
  QTest::mouseClick(window.Navigator[TFormLayersControls::DeleteRow], Qt::LeftButton);
  EXPECT_TRUE(Messages.Shown.isEmpty()) << "no question about a row that was never stored";
  EXPECT_EQ(Data->TableClasses.State(), db::TableState::Browse);
  EXPECT_EQ(Data->TableClasses.RecordCount(), rows);
  EXPECT_EQ(LayersFile(), before);
  EXPECT_EQ(db::ValueToString(Stored(QString::fromUtf8("Насосні станції"), "ClassName")),
            QString::fromUtf8("Насосні станції"));
  // On a stored row being edited, "−" asks about the layer by its stored name.
  TypeInto(EditOf(window, "ClassName"), "Changed");
  Messages.Answer = false;
  QTest::mouseClick(window.Navigator[TFormLayersControls::DeleteRow], Qt::LeftButton);
  ASSERT_FALSE(Messages.Shown.isEmpty());
  EXPECT_FALSE(Messages.Shown.last().contains("Changed")) << Messages.Shown.last().toStdString();
}

TEST_F(LayersControls, TextTypedIsWrittenBeforeANavigatorButtonPosts) {
  TFormLayersControls window(*Data, *Form->Map);
  Show(window);
  QTest::mouseClick(window.Navigator[TFormLayersControls::InsertRow], Qt::LeftButton);
  TypeInto(EditOf(window, "ClassName"), QString::fromUtf8("Нова мережа"));
  TypeInto(EditOf(window, "Level"), "500"); // the focus stays here: the button takes none
  QTest::mouseClick(window.Navigator[TFormLayersControls::PostButton], Qt::LeftButton);
  EXPECT_EQ(Data->TableClasses.State(), db::TableState::Browse);
  EXPECT_EQ(db::ValueToInteger(Stored(QString::fromUtf8("Нова мережа"), "Level")), 500);
  // Typed, then moved away with a navigator button: the typing reaches the row first.
  TypeInto(EditOf(window, "ClassName"), QString::fromUtf8("Мережа 2"));
  QTest::mouseClick(window.Navigator[TFormLayersControls::First], Qt::LeftButton);
  EXPECT_EQ(db::ValueToInteger(Stored(QString::fromUtf8("Мережа 2"), "Level")), 500);
}

TEST_F(LayersControls, EnterPostsTheRowAndStartsNoOtherCommand) {
  GoTo(QString::fromUtf8("Будинки"));
  TFormLayersControls window(*Data, *Form->Map);
  int labelWindows = 0;
  window.OnLabels = [&] { ++labelWindows; };
  Show(window);
  for (const QString& field : {QString("ClassName"), QString("PenWidth"), QString("X0")}) {
    QLineEdit* edit = EditOf(window, field);
    const QString value = field == "ClassName" ? QString::fromUtf8("Будинки міста") : "3";
    TypeInto(edit, value);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(Data->TableClasses.State(), db::TableState::Browse) << field.toStdString();
    EXPECT_TRUE(window.isVisible());
  }
  EXPECT_EQ(labelWindows, 0) << "\"Метки\" is not the window's default button";
  EXPECT_EQ(db::ValueToFloat(Stored(QString::fromUtf8("Будинки міста"), "PenWidth")), 3.0);
  EXPECT_EQ(db::ValueToFloat(Stored(QString::fromUtf8("Будинки міста"), "X0")), 3.0);
}

TEST_F(LayersControls, TheSymbolFieldShowsTheSignTheMapDrawsAndStoresTheLetter) {
  if (!gfx::DrawsThroughSymbolTable("Wingdings")) GTEST_SKIP() << "Wingdings is installed here";
  const QString name = QString::fromUtf8("Насосні станції"); // "R" of Wingdings: a sun
  GoTo(name);
  TFormLayersControls window(*Data, *Form->Map);
  Show(window);
  EXPECT_EQ(window.DBEditCharLabel->text(), gfx::SymbolFontText("Wingdings", "R"));
  EXPECT_NE(window.DBEditCharLabel->text(), "R");
  TypeInto(window.DBEditCharLabel, "J");
  EXPECT_EQ(window.DBEditCharLabel->text(), QString(QChar(0x263A))) << "a smiling face, as drawn";
  QTest::keyClick(window.DBEditCharLabel, Qt::Key_Return);
  EXPECT_EQ(db::ValueToString(Stored(name, "CharLabel")), "J");
  // Another font shows the same letter as its own sign.
  auto* font = qobject_cast<QComboBox*>(window.Control("CharFont"));
  font->setCurrentText("Webdings");
  EXPECT_EQ(window.DBEditCharLabel->text(), gfx::SymbolFontText("Webdings", "J"));
}

TEST_F(LayersControls, StylesShowTheRowsNumberWithItsNameAndAChoiceIsWritten) {
  const QString name = QString::fromUtf8("Зелені насадження"); // BrushStyle 6
  GoTo(name);
  TFormLayersControls window(*Data, *Form->Map);
  Show(window);
  auto* brush = qobject_cast<QComboBox*>(window.Control("BrushStyle"));
  auto* pen = qobject_cast<QComboBox*>(window.Control("PenStyle"));
  ASSERT_NE(brush, nullptr);
  ASSERT_NE(pen, nullptr);
  EXPECT_EQ(brush->count(), 8);
  EXPECT_EQ(pen->count(), 6);
  EXPECT_EQ(brush->currentData().toInt(), 6);
  EXPECT_EQ(brush->currentText(), QString::fromUtf8("6 сітка"));
  EXPECT_EQ(pen->currentIndex(), -1) << "an empty value shows no style";
  pen->setCurrentIndex(2);
  window.DBNavigator1Click(TFormLayersControls::PostButton);
  EXPECT_EQ(db::ValueToInteger(Stored(name, "PenStyle")), 2);
}

TEST_F(LayersControls, TextInANumberFieldIsRefusedSayingWhyAndTheValueComesBack) {
  const QString name = QString::fromUtf8("Будинки");
  GoTo(name);
  TFormLayersControls window(*Data, *Form->Map);
  Show(window);
  QLineEdit* zoom = EditOf(window, "ZoomInScale");
  const QString was = zoom->text();
  Messages.Shown.clear();
  TypeInto(zoom, "abc");
  QTest::keyClick(zoom, Qt::Key_Tab);
  ASSERT_EQ(Messages.Shown.size(), 1);
  EXPECT_TRUE(Messages.Shown[0].contains("abc")) << Messages.Shown[0].toStdString();
  EXPECT_TRUE(Messages.Shown[0].contains("ZoomInScale")) << Messages.Shown[0].toStdString();
  EXPECT_EQ(zoom->text(), was);
  // The same through a navigator button, the focus still in the field.
  TypeInto(zoom, "xyz");
  QTest::mouseClick(window.Navigator[TFormLayersControls::PostButton], Qt::LeftButton);
  EXPECT_EQ(Messages.Shown.size(), 2);
  EXPECT_EQ(zoom->text(), was);
}

TEST_F(LayersControls, NoCaptionIsCutOrRunsIntoAnotherControl) {
  TFormLayersControls window(*Data, *Form->Map);
  Show(window);
  for (QLabel* label : window.findChildren<QLabel*>()) {
    const QString text = label->text();
    const int needed = label->fontMetrics().horizontalAdvance(text);
    EXPECT_GE(label->width(), needed) << text.toStdString();
    const QRect drawn(label->pos(), QSize(needed, label->height()));
    for (QWidget* other :
         label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (other == label || qobject_cast<QLabel*>(other) || !other->isVisible()) continue;
      EXPECT_FALSE(drawn.intersects(other->geometry()))
          << text.toStdString() << " runs into " << other->objectName().toStdString();
    }
  }
}

namespace {

// A GeoPackage of lots (areas with an owner) and wells (points), and a table without shapes.
void WriteGisFile(const QString& path) {
  GDALAllRegister();
  GDALDataset* data = GetGDALDriverManager()->GetDriverByName("GPKG")->Create(
      path.toUtf8().constData(), 0, 0, 0, GDT_Unknown, nullptr);
  ASSERT_NE(data, nullptr);
  OGRLayer* lots = data->CreateLayer("lots", nullptr, wkbPolygon, nullptr);
  OGRFieldDefn owner("OWNER", OFTString), area("AREA", OFTReal);
  ASSERT_EQ(lots->CreateField(&owner), OGRERR_NONE);
  ASSERT_EQ(lots->CreateField(&area), OGRERR_NONE);
  OGRFeature lot(lots->GetLayerDefn());
  OGRPolygon square;
  OGRLinearRing ring;
  for (const auto& [x, y] :
       {std::pair{100.0, 200.0}, {300.0, 200.0}, {300.0, 500.0}, {100.0, 500.0}})
    ring.addPoint(x, y);
  ring.closeRings();
  square.addRing(&ring);
  lot.SetGeometry(&square);
  lot.SetField("OWNER", "Водоканал");
  ASSERT_EQ(lots->CreateFeature(&lot), OGRERR_NONE);
  OGRLayer* wells = data->CreateLayer("wells", nullptr, wkbPoint, nullptr);
  OGRFeature well(wells->GetLayerDefn());
  OGRPoint point(150, 250);
  well.SetGeometry(&point);
  ASSERT_EQ(wells->CreateFeature(&well), OGRERR_NONE);
  data->CreateLayer("notes", nullptr, wkbNone, nullptr);
  GDALClose(data);
}

} // namespace

// A GIS file chosen for a row: the layer asked for when it holds several (a table without shapes
// is not offered), written as "FILE|layername=LAYER" with the kind drawing its shapes, its extent,
// and its text fields to label with — also when the row is shown again.
TEST_F(LayersControls, AGisFileChosenMakesTheRowALayerFromItsSource) {
  const QString name = QString::fromUtf8("Зелені насадження");
  GoTo(name);
  WriteGisFile(Data->MapsDir + "/Cadastre.gpkg");
  TFormLayersControls window(*Data, *Form->Map);
  QStringList offered;
  window.ChooseSourceLayer = [&](const QStringList& layers) {
    offered = layers;
    return QString();
  };
  const QByteArray before = LayersFile();
  window.ApplyChosenFile(Data->MapsDir + "/Cadastre.gpkg");
  EXPECT_EQ(offered, (QStringList{"lots", "wells"}));
  EXPECT_EQ(LayersFile(), before) << "none chosen: nothing written";
  window.ChooseSourceLayer = [](const QStringList&) { return QString("lots"); };
  window.ApplyChosenFile(Data->MapsDir + "/Cadastre.gpkg");
  EXPECT_EQ(db::ValueToString(Stored(name, "FileName")), "Cadastre.gpkg|layername=lots");
  EXPECT_EQ(db::ValueToInteger(Stored(name, "PrimitiveType")), 15);
  EXPECT_EQ(db::ValueToFloat(Stored(name, "X0")), 100);
  EXPECT_EQ(db::ValueToFloat(Stored(name, "Ym")), 500);
  EXPECT_EQ(window.DBComboBoxLabelFieldName->count(), 1);
  EXPECT_EQ(window.DBComboBoxLabelFieldName->itemText(0), "OWNER");
  window.RefreshControls();
  EXPECT_EQ(window.DBComboBoxLabelFieldName->itemText(0), "OWNER") << "shown again";
  // A GPS point in WGS 84: its extent written in the atlas's UTM metres.
  QFile gps(Data->MapsDir + "/gps.geojson");
  ASSERT_TRUE(gps.open(QIODevice::WriteOnly));
  gps.write(R"({"type": "FeatureCollection", "features": [{"type": "Feature", "properties": {},
    "geometry": {"type": "Point", "coordinates": [30.5234, 50.4501]}}]})");
  gps.close();
  window.ApplyChosenFile(Data->MapsDir + "/gps.geojson");
  EXPECT_NEAR(db::ValueToFloat(Stored(name, "X0")), 324182.21, 0.01);
  EXPECT_NEAR(db::ValueToFloat(Stored(name, "Ym")), 5591607.61, 0.01);
  // A picture placed in WGS 84: a raster layer, its extent in the atlas's metres.
  GDALDataset* picture = GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
      (Data->MapsDir + "/ortho.tif").toUtf8().constData(), 10, 10, 3, GDT_Byte, nullptr);
  double corner[6] = {30.5234, 0.001, 0, 50.4501, 0, -0.001};
  picture->SetGeoTransform(corner);
  picture->SetProjection("EPSG:4326");
  GDALClose(picture);
  window.ApplyChosenFile(Data->MapsDir + "/ortho.tif");
  EXPECT_EQ(db::ValueToString(Stored(name, "FileName")), "ortho.tif");
  EXPECT_EQ(db::ValueToInteger(Stored(name, "PrimitiveType")), 17);
  EXPECT_NEAR(db::ValueToFloat(Stored(name, "X0")), 324145.14, 0.5);  // the south-west corner
  EXPECT_NEAR(db::ValueToFloat(Stored(name, "Ym")), 5591607.61, 0.5); // the north-west one
  // A file GDAL cannot read: said, naming it; the row stays.
  QFile broken(Data->MapsDir + "/Broken.gpkg");
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("not a GeoPackage");
  broken.close();
  const QByteArray chosen = LayersFile();
  window.ApplyChosenFile(Data->MapsDir + "/Broken.gpkg");
  EXPECT_EQ(LayersFile(), chosen);
  ASSERT_FALSE(Messages.Shown.isEmpty());
  EXPECT_TRUE(Messages.Shown.back().contains("Broken.gpkg")) << Messages.Shown.back().toStdString();
}
