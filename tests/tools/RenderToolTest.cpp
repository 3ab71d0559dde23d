// vandrel-render as a user runs it: the PNG level changes the file's size, never its picture,
// and a level out of range is refused before anything is drawn.

#include "AtlasWriter.h"

#include "db/Table.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>

namespace {

int Render(const QStringList& args, QString* errors = nullptr) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  p.setProcessEnvironment(env);
  p.start(VANDREL_RENDER, args);
  if (!p.waitForFinished(120000)) return -1;
  if (errors) *errors = QString::fromUtf8(p.readAllStandardError());
  return p.exitCode();
}

} // namespace

TEST(RenderTool, ThePngLevelChangesTheSizeAndNotThePicture) {
  QTemporaryDir dir;
  demo::WriteAtlas(dir.path() + "/atlas", 1, 2);
  const QString atlas = dir.path() + "/atlas", none = dir.path() + "/none.png",
                most = dir.path() + "/most.png", usual = dir.path() + "/usual.png";
  ASSERT_EQ(Render({"--data-root", atlas, "--size", "640x400", "--png-level", "0", "-o", none}), 0);
  ASSERT_EQ(Render({"--data-root", atlas, "--size", "640x400", "--png-level", "9", "-o", most}), 0);
  ASSERT_EQ(Render({"--data-root", atlas, "--size", "640x400", "-o", usual}), 0);
  const QImage a(none), b(most), c(usual);
  ASSERT_FALSE(a.isNull());
  EXPECT_EQ(a.convertToFormat(QImage::Format_RGB32), b.convertToFormat(QImage::Format_RGB32));
  EXPECT_EQ(a.convertToFormat(QImage::Format_RGB32), c.convertToFormat(QImage::Format_RGB32));
  // Level 0 stores the pixels as they are: at least 3 bytes each.
  EXPECT_GE(QFileInfo(none).size(), 640 * 400 * 3);
  EXPECT_LT(QFileInfo(most).size(), QFileInfo(usual).size());
  EXPECT_LT(QFileInfo(usual).size(), QFileInfo(none).size());
  QString errors;
  EXPECT_EQ(Render({"--data-root", atlas, "--png-level", "10", "-o", usual}, &errors), 2);
  EXPECT_TRUE(errors.contains("--png-level")) << errors.toStdString();
  // With the scale bar: the same picture but for its lower left corner, where the bar is.
  const QString bar = dir.path() + "/bar.png";
  ASSERT_EQ(Render({"--data-root", atlas, "--size", "640x400", "--scale-bar", "-o", bar}), 0);
  const QImage d = QImage(bar).convertToFormat(QImage::Format_RGB32);
  const QImage e = c.convertToFormat(QImage::Format_RGB32);
  int differing = 0, outsideCorner = 0;
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 640; ++x)
      if (d.pixel(x, y) != e.pixel(x, y)) {
        ++differing;
        outsideCorner += x > 200 || y < 340;
      }
  EXPECT_GT(differing, 100);
  EXPECT_EQ(outsideCorner, 0);
}

// The same file whatever the number of drawing threads (the PNG writer is deterministic); the
// timings line; a picture that cannot be written is an error naming its file.
TEST(RenderTool, ThreadsGiveTheSameFileAndAFailedWriteIsNamed) {
  QTemporaryDir dir;
  demo::WriteAtlas(dir.path() + "/atlas", 1, 2);
  const QString atlas = dir.path() + "/atlas", one = dir.path() + "/one.png",
                three = dir.path() + "/three.png";
  QString errors;
  ASSERT_EQ(Render({"--data-root", atlas, "--size", "700x500", "--threads", "1", "-o", one}), 0);
  ASSERT_EQ(Render({"--data-root", atlas, "--size", "700x500", "--threads", "3", "--timings", "-o",
                    three},
                   &errors),
            0);
  EXPECT_TRUE(errors.contains(QRegularExpression("load [0-9.]+ ms, draw [0-9.]+ ms, write")))
      << errors.toStdString();
  QFile a(one), b(three);
  ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
  EXPECT_EQ(a.readAll(), b.readAll());
  EXPECT_EQ(Render({"--data-root", atlas, "--threads", "-1", "-o", one}, &errors), 2);
  EXPECT_TRUE(errors.contains("--threads")) << errors.toStdString();
  // A picture in a folder that does not exist: exit 1, the folder named.
  EXPECT_EQ(Render({"--data-root", atlas, "-o", dir.path() + "/no/such.png"}, &errors), 1);
  EXPECT_TRUE(errors.contains("no/such")) << errors.toStdString();
  // The mains' geometry cut short: the picture is written with the rest, the layer is named,
  // and the exit code tells a script it is missing.
  QFile mains(atlas + "/MAPS/Water.mds");
  ASSERT_TRUE(mains.resize(mains.size() / 2));
  QFile::remove(one);
  EXPECT_EQ(Render({"--data-root", atlas, "--size", "700x500", "-o", one}, &errors), 1);
  EXPECT_TRUE(errors.contains("Water")) << errors.toStdString();
  EXPECT_TRUE(QFile::exists(one));
  // The export says the same of the same layer: the file with the rest, exit 1.
  QProcess exporter;
  exporter.start(VANDREL_EXPORT, {"--data-root", atlas, "-o", dir.path() + "/atlas.gpkg"});
  ASSERT_TRUE(exporter.waitForFinished(120000));
  EXPECT_EQ(exporter.exitCode(), 1);
  EXPECT_TRUE(QString::fromUtf8(exporter.readAllStandardError()).contains("Water"));
  EXPECT_TRUE(QFile::exists(dir.path() + "/atlas.gpkg"));
}

namespace {

// A poppler tool's standard output (pdftotext, pdfinfo, pdfimages), as the user's PDF reader
// would read the file.
QString Poppler(const QString& tool, const QStringList& args) {
  QProcess p;
  p.start(tool, args);
  if (!p.waitForFinished(60000)) return {};
  return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

// A PDF of the map is vectors and text: the street names can be found as text, the page is the
// picture's size, no picture covers the page, and the page's width is the ground's width at the
// scale printed.
TEST(RenderTool, APdfHoldsTheMapAsVectorsWithItsNamesAsText) {
  QTemporaryDir dir;
  demo::WriteAtlas(dir.path(), 1, 2);
  const QString pdf = dir.filePath("map.pdf");
  // 400 m by 266.7 m about the town's middle, on 1,200 by 800 pixels.
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  p.setProcessEnvironment(env);
  p.start(VANDREL_RENDER, {"--data-root", dir.path(), "--size", "1200x800", "--extent",
                           "320900,5590700,321300,5590966.67", "-o", pdf});
  ASSERT_TRUE(p.waitForFinished(120000));
  ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  const QString scaleLine = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
  const double denominator = scaleLine.section(':', 1).trimmed().toDouble();
  ASSERT_GT(denominator, 0) << scaleLine.toStdString();

  // The street names in view are text a reader finds (a name drawn across a symbol may be cut
  // in two by the reader, so one whole name is asked for).
  const QString text = Poppler("pdftotext", {pdf, "-"});
  db::Table streets(dir.path() + "/MAPS", "Streets.dbf");
  streets.Open();
  std::set<QString> found;
  for (streets.First(); !streets.Eof(); streets.Next())
    if (const QString name = streets.FieldByName("STREET").AsString();
        name.size() > 3 && text.contains(name))
      found.insert(name);
  EXPECT_GE(found.size(), 1u) << text.toStdString();
  const QString info = Poppler("pdfinfo", {pdf});
  const QRegularExpression size(R"(Page size:\s+([\d.]+) x ([\d.]+) pts)");
  const auto m = size.match(info);
  ASSERT_TRUE(m.hasMatch()) << info.toStdString();
  EXPECT_NEAR(m.captured(1).toDouble(), 1200 * 72.0 / 96, 0.5);
  EXPECT_NEAR(m.captured(2).toDouble(), 800 * 72.0 / 96, 0.5);
  // The page's width on the ground, at the scale printed: the view's 400 m.
  const double pageMetres = m.captured(1).toDouble() / 72 * 0.0254;
  EXPECT_NEAR(pageMetres * denominator, 400, 400 * 0.005);
  // Pictures only where the atlas has pictures: none as large as the page.
  for (const QString& line : Poppler("pdfimages", {"-list", pdf}).split('\n').mid(2)) {
    const QStringList f = line.simplified().split(' ');
    if (f.size() > 4) {
      EXPECT_LT(f[3].toInt() * f[4].toInt(), 1200 * 800 / 4) << line.toStdString();
    }
  }
  // The PNG of the same view is still a picture of the same map.
  ASSERT_EQ(Render({"--data-root", dir.path(), "--size", "1200x800", "--extent",
                    "320900,5590700,321300,5590966.67", "-o", dir.filePath("map.png")}),
            0);
  EXPECT_EQ(QImage(dir.filePath("map.png")).size(), QSize(1200, 800));
}
