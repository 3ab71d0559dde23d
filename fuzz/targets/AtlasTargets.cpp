// Readers of the atlas's own derived files: the pipes drawn with widths from their attribute
// table, the label file made from a geometry file and its table, the street names along the
// streets read from their segments table and the street dictionary, the grid tables of the
// object index searched, and the network topology reckoned from the pipes and the index.

#include "FuzzTarget.h"

#include "base/FileError.h"
#include "base/UserMessages.h"
#include "db/Error.h"
#include "layers/ParamLinesLayer.h"
#include "layers/SegmentLabelsLayer.h"
#include "overlays/DBPointsIndexs.h"
#include "ui/main/LabelFile.h"
#include "ui/network/NetworkTopology.h"

#include <QDir>
#include <QImage>

namespace {

// A folder of the scratch folder, emptied for each input.
QString FreshFolder(const QString& name) {
  QDir dir(fuzz::ScratchDir() + "/" + name);
  dir.removeRecursively();
  QDir().mkpath(dir.path());
  return dir.path();
}

QString Put(const QString& folder, const QString& name, const std::vector<uint8_t>& bytes) {
  return fuzz::WriteFile(QDir(fuzz::ScratchDir()).relativeFilePath(folder + "/" + name),
                         bytes.data(), bytes.size());
}

QString Text(const std::vector<uint8_t>& bytes) {
  return QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()),
                             qsizetype(std::min<size_t>(bytes.size(), 32)));
}

// Messages the readers show (a table that cannot be opened) go nowhere.
class Silence : public base::UserMessages {
public:
  void ShowMessage(const QString&) override {}
  bool Confirm(const QString&) override { return false; }
};

void Quiet() {
  static Silence silence;
  base::UserMessages::Install(&silence);
}

template <class Work> void Guarded(Work work) {
  try {
    work();
  } catch (const std::exception&) {
  }
}

} // namespace

// The field name, the attribute table, then the geometry file.
VANDREL_FUZZ_TARGET(ParamLines) {
  fuzz::EnsureGuiApplication();
  const auto pieces = fuzz::Split(data, size, 3);
  const QString folder = FreshFolder("param");
  Put(folder, "P.DBF", pieces[1]);
  const QString path = Put(folder, "P.mds", pieces[2]);
  TParamLinesLayer layer;
  layer.FileName = "P.mds";
  layer.FullPath = path;
  layer.AttrTable.SetDatabaseName(folder);
  layer.AttrTable.SetTableName("P.DBF");
  layer.Visibled = true;
  layer.RenderType = 0;
  layer.PenWidth = 1;
  layer.ParamSizeField = Text(pieces[0]);
  layer.ParamSizeKoef = 0.5;
  TWorld world;
  world.SetView(64, 64, -100, -100, 100, 100);
  QImage image(64, 64, QImage::Format_RGB32);
  image.fill(Qt::white);
  gfx::Canvas canvas(image);
  Guarded([&] { layer.Draw(canvas, world); });
  Guarded([&] { layer.SizedWidth(3, 2, world); });
  return 0;
}

// The field name, the attribute table, then the geometry file.
VANDREL_FUZZ_TARGET(LabelFile) {
  const auto pieces = fuzz::Split(data, size, 3);
  const QString folder = FreshFolder("label");
  Put(folder, "L.DBF", pieces[1]);
  const QString path = Put(folder, "L.mds", pieces[2]);
  Guarded([&] { CreateLabelFile(path, Text(pieces[0]), folder + "/L.L"); });
  return 0;
}

// The segments table and its primary index, then the street dictionary and its index.
VANDREL_FUZZ_TARGET(Segments) {
  fuzz::EnsureGuiApplication();
  Quiet();
  const auto pieces = fuzz::Split(data, size, 4);
  const QString folder = FreshFolder("segments");
  Put(folder, "Segs.PX", pieces[1]);
  Put(folder, "Segs.DB", pieces[0]);
  Put(folder, "StreetDc.PX", pieces[3]);
  Put(folder, "StreetDc.db", pieces[2]);
  TSegmentLabelsLayer layer;
  layer.Visibled = layer.VisibleLabel = true;
  layer.TextFont = "DejaVu Sans";
  layer.TextFontSize = 10;
  Guarded([&] {
    layer.SegmentsTable.SetDatabaseName(folder);
    layer.SegmentsTable.SetTableName("Segs.DB");
    layer.SegmentsTable.Open();
  });
  Guarded([&] { layer.SetStreetTable(folder + "/StreetDc.db"); });
  TWorld world;
  world.SetView(200, 200, 0, 0, 400, 400);
  QImage image(200, 200, QImage::Format_RGB32);
  image.fill(Qt::white);
  gfx::Canvas canvas(image);
  Guarded([&] { layer.Draw(canvas, world); });
  return 0;
}

namespace {

// The index's shared grid table and its primary index, and the layers table, in `folder`.
void PutIndexTables(const QString& folder, const std::vector<std::vector<uint8_t>>& pieces) {
  Put(folder, "SPIN.PX", pieces[1]);
  Put(folder, "SPIN.DB", pieces[0]);
  Put(folder, "ClassReest.PX", pieces[3]);
  Put(folder, "ClassReest.db", pieces[2]);
}

} // namespace

// The shared grid table, its index, the layers table, its index, then a class's own grid table
// (as the demo names the own table of its sewer wells).
VANDREL_FUZZ_TARGET(ObjectIndex) {
  fuzz::EnsureGuiApplication();
  Quiet();
  const auto pieces = fuzz::Split(data, size, 5);
  const QString folder = FreshFolder("index");
  PutIndexTables(folder, pieces);
  Put(folder, "spinSewerWells.db", pieces[4]);
  TWorld world;
  world.SetView(200, 200, 0, 0, 1000, 1000);
  Guarded([&] {
    TDBPointsIndexs index(folder, folder, folder, 0, 0, 1000, 1000);
    index.ChooseObject = [](const QStringList& labels) { return int(labels.size()) - 1; };
    int32_t number = 0;
    double x = 0, y = 0;
    for (const auto& [category, cls] : {std::pair{100, 1}, {100, 2}, {1, 7}}) {
      index.FindObjectsAt(world, int16_t(category), 500, 500, cls, number, x, y);
      index.FindNearestInGrid(world, int16_t(category), 250, 750, cls, number);
      index.GetObjectLabel(int16_t(category), cls, number);
    }
  });
  return 0;
}

// The pipes' attribute table, their geometry file, then the index's tables as ObjectIndex
// takes them (without a class's own grid table).
VANDREL_FUZZ_TARGET(Topology) {
  fuzz::EnsureGuiApplication();
  Quiet();
  const auto pieces = fuzz::Split(data, size, 6);
  const QString folder = FreshFolder("topology");
  Put(folder, "Water.dbf", pieces[0]);
  Put(folder, "Water.mds", pieces[1]);
  PutIndexTables(folder, {pieces.begin() + 2, pieces.end()});
  TWorld world;
  world.SetView(200, 200, 0, 0, 1000, 1000);
  Guarded([&] {
    TDBPointsIndexs index(folder, folder, folder, 0, 0, 1000, 1000);
    CalcNetworkHubs(index, world, folder, "Water.dbf", 100, 1);
  });
  return 0;
}
