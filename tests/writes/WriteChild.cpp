// A program that writes one kind of file over and over, alternating between two contents, until
// it is killed: the kill test stops it at many points of its writes.
//   write_child KIND PATH [a|b]      KIND: ini, pth, table, plain; "a" or "b": that content once

#include "base/IniFile.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "overlays/Distation.h"

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <cstdio>

namespace {

// The two contents of each kind; `second` picks the other one.
void Write(const QString& kind, const QString& path, bool second) {
  if (kind == "ini") {
    base::IniFile ini(path);
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
    layer.SaveToFile(path);
  } else if (kind == "plain") {
    // Written in place, as a program that does not care would: the kill test must see it torn.
    QFile f(path);
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
    db::ParadoxFile::Create(path,
                            {db::paradox::MakeField("N", db::FieldType::Integer),
                             db::paradox::MakeField("S", db::FieldType::String, 24)},
                            0, rows, options);
  }
}

} // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3 && argc != 4) return 2;
  const QString kind = argv[1], path = argv[2];
  if (kind != "ini" && kind != "pth" && kind != "table" && kind != "plain") return 2;
  if (argc == 4) {
    Write(kind, path, QString(argv[3]) == "b");
    return 0;
  }
  for (bool second = true;; second = !second)
    Write(kind, path, second);
}
