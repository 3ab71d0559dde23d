// Every shapefile of the corpus (files written by other programs: ArcMap, GDAL, pyshp, go-shp and
// others, with Z and M variants, multipoints, multipatches, null shapes and broken records) as
// a layer of the kind its header names: it draws what it can or fails with an error naming the
// file; never a crash or a misread. A file of one kind named by a layer of another is refused,
// naming the file and what it holds. The table of outcomes is printed for the record.

#include "AtlasWriter.h"

#include "core/MapContent.h"
#include "db/Table.h"
#include "layers/LayerKinds.h"
#include "layers/LinesLayer.h"
#include "layers/PointFile.h"
#include "layers/PointsLayer.h"
#include "layers/PolygonsLayer.h"

#include "base/FileError.h"

#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace {

struct Outcome {
  QString Kind, What;
  bool Drawn = false;
};

int InkedPixels(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      n += image.pixel(x, y) != qRgb(255, 255, 255);
  return n;
}

// The layer of the kind the file's header asks for, drawn at the file's own extent.
Outcome DrawAsItsKind(const QString& mds) {
  auto probe = std::make_unique<TLinesLayer>();
  probe->FullPath = mds;
  probe->ReadGeometryHeader();
  const int type = probe->PrimitiveType;
  std::unique_ptr<TCustomLayer> layer;
  Outcome o;
  if (TPointFile::IsPointType(type) || TPointFile::IsMultiPointType(type)) {
    auto points = std::make_unique<TPointsLayer>();
    points->CharFontSize = 6;
    layer = std::move(points);
    o.Kind = "points";
  } else if (type == 5 || type == 15 || type == 25 || type == 31) {
    layer = std::make_unique<TPolygonsLayer>();
    o.Kind = "polygons";
  } else {
    layer = std::make_unique<TLinesLayer>();
    o.Kind = "lines";
  }
  layer->FullPath = mds;
  layer->Visibled = layer->Selected = true;
  QImage image(200, 200, QImage::Format_RGB32);
  image.fill(Qt::white);
  try {
    layer->ReadGeometryHeader();
    if (auto* points = dynamic_cast<TPointsLayer*>(layer.get())) points->CheckShapeType();
    if (auto* lines = dynamic_cast<TLinesLayer*>(layer.get())) lines->CheckShapeType();
    TWorld world;
    const double w = std::max(layer->Xm - layer->X0, 1e-6),
                 h = std::max(layer->Ym - layer->Y0, 1e-6);
    world.SetView(200, 200, layer->X0 - w / 20, layer->Y0 - h / 20, layer->Xm + w / 20,
                  layer->Ym + h / 20);
    {
      gfx::Canvas canvas(image);
      layer->Draw(canvas, world);
    }
    o.Drawn = true;
    o.What = QString("drawn, %1 pixels").arg(InkedPixels(image));
  } catch (const base::FileError& e) {
    EXPECT_EQ(e.Path, mds) << e.what();
    o.What = "error: " + e.Reason + QString(" (%1 pixels drawn before it)").arg(InkedPixels(image));
  }
  return o;
}

} // namespace

TEST(CorpusShapes, EveryShapefileDrawsAsItsKindOrFailsNamingTheFile) {
  static int argc = 1;
  static char name[] = "layers_tests";
  static char* argv[] = {name, nullptr};
  std::unique_ptr<QGuiApplication> app;
  if (!QGuiApplication::instance()) app = std::make_unique<QGuiApplication>(argc, argv);
  const QString corpus = QString(VANDREL_CORPUS) + "/shapefile";
  QTemporaryDir dir;
  int files = 0, drawn = 0;
  std::printf("| file | shape type | loaded as | outcome |\n|---|---|---|---|\n");
  QDirIterator it(corpus, {"*.shp"}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString shp = it.next();
    const QString mds = dir.filePath(QString::number(files++) + ".mds");
    ASSERT_TRUE(QFile::copy(shp, mds));
    QFile head(shp);
    ASSERT_TRUE(head.open(QIODevice::ReadOnly));
    const QByteArray h = head.read(36);
    const int type = h.size() >= 36 ? uint8_t(h[32]) | uint8_t(h[33]) << 8 : -1;
    const Outcome o = DrawAsItsKind(mds);
    drawn += o.Drawn;
    std::printf("| %s | %s | %s | %s |\n", qPrintable(shp.mid(corpus.size() + 1)),
                qPrintable(TGeometryFile::ShapeTypeName(type)), qPrintable(o.Kind),
                qPrintable(o.What));
  }
  EXPECT_GT(files, 30);
  EXPECT_GT(drawn, files / 2);
}

TEST(CorpusShapes, AFileOfOneKindNamedByALayerOfAnotherIsRefusedNamingWhatItHolds) {
  const QString corpus = QString(VANDREL_CORPUS) + "/shapefile/debian-go-shp/";
  TPointsLayer points;
  points.FullPath = corpus + "polygon.shp";
  points.ReadGeometryHeader();
  try {
    points.CheckShapeType();
    FAIL() << "a polygon file taken as points";
  } catch (const base::FileError& e) {
    EXPECT_EQ(e.Path, points.FullPath);
    EXPECT_TRUE(e.Reason.contains(QString::fromUtf8("полігони (тип фігури 5)"))) << e.what();
  }
  TLinesLayer lines;
  lines.FullPath = corpus + "multipointz.shp";
  lines.ReadGeometryHeader();
  EXPECT_THROW(lines.CheckShapeType(), base::FileError);
  // Lines with Z and M, and polygons, are drawn by a lines layer; points with Z by a points one.
  for (const char* file : {"polylinez.shp", "polylinem.shp", "polygon.shp"}) {
    lines.FullPath = corpus + file;
    lines.ReadGeometryHeader();
    EXPECT_NO_THROW(lines.CheckShapeType()) << file;
  }
  points.FullPath = corpus + "pointz.shp";
  points.ReadGeometryHeader();
  EXPECT_NO_THROW(points.CheckShapeType());
  // Every point of a Z file is read at its own coordinates, not from fixed slots.
  const TPointFile z(corpus + "pointz.shp"), plain(corpus + "point.shp");
  ASSERT_EQ(z.Count(), plain.Count());
  for (int64_t i = 0; i < z.Count(); ++i) {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int r1 = 0, r2 = 0;
    ASSERT_TRUE(z.At(i, x1, y1, r1) && plain.At(i, x2, y2, r2));
    EXPECT_EQ(x1, x2);
    EXPECT_EQ(y1, y2);
    EXPECT_EQ(r1, r2);
  }
}

// Every shapefile of the corpus added to the demo atlas as a layer of its kind (the buildings',
// streets' and landmarks' settings, labels included, whatever fields the file's table lacks),
// ahead of the atlas's own layers: a file that cannot be loaded is named and left out, a layer
// that fails to draw is named, and the atlas's own layers draw exactly as without them.
TEST(CorpusShapes, InOneMapTheForeignLayersLeaveTheOthersAsTheyWere) {
  static int argc = 1;
  static char name[] = "layers_tests";
  static char* argv[] = {name, nullptr};
  std::unique_ptr<QGuiApplication> app;
  if (!QGuiApplication::instance()) app = std::make_unique<QGuiApplication>(argc, argv);
  RegisterLayerKinds();
  QTemporaryDir plain, mixed;
  demo::WriteAtlas(plain.path(), 1, 6);
  demo::WriteAtlas(mixed.path(), 1, 6);
  const QString corpus = QString(VANDREL_CORPUS) + "/shapefile";
  int n = 0;
  {
    db::Table layers(mixed.path() + "/BASE", "classreest.DB");
    layers.Open();
    // The settings of an atlas layer of each kind, by the geometry's primitive type.
    std::map<int, std::vector<db::Value>> templates;
    for (layers.First(); !layers.Eof(); layers.Next()) {
      const QString file = layers.FieldByName("FileName").AsString();
      const int64_t kind = layers.FieldByName("PrimitiveType").AsInteger();
      if ((file == "Buildings.mds" || file == "Streets.shp" || file == "Landmarks.mds") &&
          (kind == 1 || kind == 3 || kind == 5)) {
        std::vector<db::Value> row;
        for (db::Field& f : layers.Fields())
          row.push_back(f.AsValue());
        templates[int(kind)] = row;
      }
    }
    ASSERT_EQ(templates.size(), 3u);
    QDirIterator it(corpus, {"*.shp"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString shp = it.next(), stem = QString("corpus%1").arg(n);
      ASSERT_TRUE(QFile::copy(shp, mixed.path() + "/MAPS/" + stem + ".mds"));
      QFile::copy(shp.chopped(4) + ".dbf", mixed.path() + "/MAPS/" + stem + ".dbf");
      TLinesLayer probe;
      probe.FullPath = shp;
      probe.ReadGeometryHeader();
      const int type = probe.PrimitiveType;
      const int kind = TPointFile::IsPointType(type) || TPointFile::IsMultiPointType(type) ? 1
                       : type == 5 || type == 15 || type == 25 || type == 31               ? 5
                                                                                           : 3;
      layers.Append();
      for (size_t f = 0; f < templates[kind].size(); ++f)
        layers.Fields()[f].SetValue(templates[kind][f]);
      layers.FieldByName("Category").SetValue(int64_t(1));
      layers.FieldByName("Class").SetValue(int64_t(1000 + n));
      layers.FieldByName("FileName").SetValue(stem + ".mds");
      layers.FieldByName("ClassName").SetValue(stem);
      layers.FieldByName("Level").SetValue(int64_t(n - 1000)); // the key: drawn first
      layers.FieldByName("RenderType").SetValue(int64_t(0));   // the layer's own pen, no style file
      layers.Post();
      ++n;
    }
    EXPECT_GT(n, 30);
  }
  TMapContent own, all;
  const QString ownFailures =
      own.LoadMap(plain.path() + "/BASE", plain.path() + "/MAPS", plain.path(), "", "");
  EXPECT_TRUE(ownFailures.isEmpty()) << ownFailures.toStdString();
  const QString failures =
      all.LoadMap(mixed.path() + "/BASE", mixed.path() + "/MAPS", mixed.path(), "", "");
  for (const QString& line : failures.split('\n', Qt::SkipEmptyParts))
    EXPECT_TRUE(line.startsWith("corpus")) << line.toStdString();
  EXPECT_EQ(all.Layers.size() + size_t(failures.split('\n', Qt::SkipEmptyParts).size()),
            own.Layers.size() + size_t(n))
      << "every row loaded or named";
  const auto draw = [](TMapContent& map, const TExtent& view, QStringList& errors) {
    QImage image(600, 450, QImage::Format_RGB32);
    image.fill(Qt::white);
    gfx::Canvas canvas(image);
    map.World.SetView(600, 450, view.XMin, view.YMin, view.XMax, view.YMax);
    map.World.ComputeScale(canvas.WidthMM());
    map.DrawLayers(canvas, [&](int layer, const QString& reason) {
      errors << map.Layers[size_t(layer)]->ClassName + ": " + reason;
    });
    return image;
  };
  QStringList ownErrors, errors;
  const TExtent city = own.World.FullExtent;
  const QImage expected = draw(own, city, ownErrors);
  EXPECT_TRUE(ownErrors.isEmpty()) << ownErrors.join('\n').toStdString();
  // Foreign layers whose extent meets the city's (two zones of a national grid do) are hidden
  // for the comparison; the others still run their drawing over the city's view.
  const auto meetsCity = [&](const TCustomLayer& l) {
    return l.Category == 1 && l.X0 <= city.XMax && l.Xm >= city.XMin && l.Y0 <= city.YMax &&
           l.Ym >= city.YMin;
  };
  int hidden = 0;
  for (auto& layer : all.Layers)
    if (meetsCity(*layer)) {
      layer->Visibled = false;
      ++hidden;
    }
  EXPECT_LE(hidden, 2);
  EXPECT_TRUE(draw(all, city, errors) == expected) << "the atlas's own layers drew differently";
  for (auto& layer : all.Layers)
    layer->Visibled = true;
  // Each foreign layer at its own extent, the whole map drawn: failures are the foreign ones'.
  for (const auto& layer : all.Layers)
    if (layer->Category == 1) draw(all, {layer->X0, layer->Y0, layer->Xm, layer->Ym}, errors);
  for (const QString& e : errors)
    EXPECT_TRUE(e.startsWith("corpus")) << e.toStdString();
  std::printf("one map: %zu of the atlas's layers and %zu foreign ones loaded; load failures:\n%s\n"
              "drawing failures:\n%s\n",
              own.Layers.size(), all.Layers.size() - own.Layers.size(), qPrintable(failures),
              qPrintable(errors.join('\n')));
}
