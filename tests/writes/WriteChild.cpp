// A program that writes one kind of file over and over until it is killed: the kill test stops
// it at many points of its writes.
//   write_child KIND DIR MODE
// Plain kinds (ini, pth, table, plain) write DIR/file (DIR/file.DB for a table) with one of two
// contents: MODE "a" or "b" writes that content once, "loop" alternates for ever. Atlas kinds
// work on the demo atlas in DIR and flip its files between two states, each flip a step of the
// program's own: "post" inserts or deletes a row of a Paradox table through a cursor and edits
// a value of a dBase table in place, "layers" swaps the first two layers of the layers table as
// the panels' drag does, "index" rebuilds the object index for one of two extents, "label"
// writes the buildings' label file from one of two fields. For the flipping kinds "a" flips
// twice, "b" once.

#include "base/IniFile.h"
#include "core/CatClass.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Table.h"
#include "overlays/Distation.h"
#include "overlays/ObjectIndexBuilder.h"
#include "ui/main/LabelFile.h"

#include <QApplication>
#include <QFile>
#include <QString>

namespace {

void WritePlain(const QString& kind, const QString& dir, bool second) {
  if (kind == "ini") {
    base::IniFile ini(dir + "/file");
    ini.WriteString("Block", "Value", QString(second ? 150000 : 90000, second ? 'b' : 'a'));
    ini.Save();
  } else if (kind == "pth") {
    TWorld world;
    world.SetView(100, 100, 0, 0, 1000, 1000);
    TDistationLayer layer;
    layer.StartMeasurement(255, 0);
    for (int k = 0; k < (second ? 6000 : 4000); ++k)
      layer.AddPoint(world, k % 1000, k / 7);
    layer.FinishMeasurement(world);
    layer.SaveToFile(dir + "/file");
  } else if (kind == "plain") {
    // Written in place, as a program that does not care would: the kill test must see it torn.
    QFile f(dir + "/file");
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    const QByteArray chunk(4096, second ? 'b' : 'a');
    for (int k = 0; k < (second ? 600 : 400); ++k) {
      f.write(chunk);
      f.flush();
    }
  } else if (kind == "table") {
    std::vector<std::vector<db::Value>> rows;
    for (int k = 0; k < (second ? 9000 : 6000); ++k)
      rows.push_back({int64_t(k), QString("row %1").arg(k)});
    // A fixed update time: the two contents are then the same bytes every time.
    db::ParadoxCreateOptions options;
    options.UpdateTime = 1700000000;
    db::ParadoxFile::Create(dir + "/file.DB",
                            {db::paradox::MakeField("N", db::FieldType::Integer),
                             db::paradox::MakeField("S", db::FieldType::String, 24)},
                            0, rows, options);
  }
}

// A hydrant of a number no other has is added when missing and removed when present; the
// first pipe's first node number turns into its complement (-1 - n), which turns back.
void FlipPosts(const QString& atlas) {
  db::Table hydrants(atlas + "/MAPS", "Hydrants.db");
  hydrants.Open();
  const std::vector<db::Value> key = {int64_t(100), int64_t(3), int64_t(999999)};
  if (hydrants.FindKey(key)) {
    hydrants.Delete();
  } else {
    hydrants.First();
    std::vector<db::Value> row;
    for (db::Field& f : hydrants.Fields())
      row.push_back(f.AsValue());
    hydrants.Append();
    for (size_t f = 0; f < row.size(); ++f)
      hydrants.Fields()[f].SetValue(f == 2 ? db::Value(int64_t(999999)) : row[f]);
    hydrants.Post();
  }
  db::Table pipes(atlas + "/MAPS", "Water.dbf");
  pipes.Open();
  pipes.First();
  pipes.Edit();
  db::Field& node = pipes.FieldByName("HUB1CODE");
  node.SetAsInteger(-1 - node.AsInteger());
  pipes.Post();
}

// The first two layers change places, as a drag of the first one onto the second does.
void FlipLayers(const QString& atlas) {
  db::Table layers(atlas + "/BASE", "ClassReest");
  layers.Open();
  TNodeList list;
  FillLayerList(layers, list);
  MoveLayerLevel(list, 0, 1);
  if (!WriteLayerList(layers, list)) throw std::runtime_error("the layers table was not written");
  ClearNodeList(list);
}

void WriteAtlasKind(const QString& kind, const QString& atlas, bool second) {
  if (kind == "index") {
    const TExtent extent = second ? TExtent{320000, 5589000, 324000, 5593000}
                                  : TExtent{319000, 5588000, 325000, 5594000};
    BuildObjectIndex(atlas + "/BASE", atlas + "/MAPS", atlas + "/USER_OBJ", extent);
  } else if (kind == "label") {
    CreateLabelFile(atlas + "/MAPS/Buildings.mds", second ? "STREET" : "NAME",
                    atlas + "/MAPS/Buildings.L");
  } else if (kind == "post") {
    FlipPosts(atlas);
  } else if (kind == "layers") {
    FlipLayers(atlas);
  }
}

bool IsPlain(const QString& kind) {
  return kind == "ini" || kind == "pth" || kind == "table" || kind == "plain";
}
bool Flips(const QString& kind) {
  return kind == "post" || kind == "layers";
}

} // namespace

int main(int argc, char** argv) {
  // Messages of the layers list go to standard error without a window.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 4) return 2;
  const QString kind = argv[1], dir = argv[2], mode = argv[3];
  if (!IsPlain(kind) && kind != "post" && kind != "layers" && kind != "index" && kind != "label")
    return 2;
  const auto write = [&](bool second) {
    if (IsPlain(kind))
      WritePlain(kind, dir, second);
    else
      WriteAtlasKind(kind, dir, second);
  };
  try {
    if (mode == "loop") {
      // Said before the first write, so that the parent times its kill from the writing, not
      // from a start that a loaded machine makes slow.
      std::printf("writing\n");
      std::fflush(stdout);
      for (bool second = true;; second = !second)
        write(second);
    }
    if (Flips(kind)) {
      for (int k = mode == "a" ? 2 : 1; k > 0; --k)
        write(true);
    } else {
      write(mode == "b");
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
