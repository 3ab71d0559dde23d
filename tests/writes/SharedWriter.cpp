// One of several programs writing the same tables at once, as engineers sharing an atlas do:
//   shared_writer write DIR ID COUNT   inserts COUNT rows of its own into DIR/Shared.DB (keyed:
//                                      a rewrite in key order each time) and DIR/Shared.dbf,
//                                      edits every third of them and deletes every fifth
//   shared_writer read DIR             reads both tables whole, over and over, until DIR/stop
//                                      appears; every read must be a complete, valid table
// The changes of writer ID to its row K: inserted with Value K; at step K + 1 (when K % 3 == 1)
// Value becomes -K; at step K + 2 (when K % 5 == 2) the row is deleted.

#include "db/Error.h"
#include "db/Table.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

namespace {

int64_t KeyOf(int id, int k) {
  return int64_t(id) * 1000000 + k;
}

// Moves a dBase cursor to writer `id`'s row `k`; false when it is not there.
bool FindOwn(db::Table& t, int id, int k) {
  for (t.First(); !t.Eof(); t.Next())
    if (t.FieldByName("Writer").AsInteger() == id && t.FieldByName("Seq").AsInteger() == k)
      return true;
  return false;
}

int Write(const QString& dir, int id, int count) {
  db::Table paradox(dir, "Shared.DB"), dbase(dir, "Shared.dbf");
  paradox.Open();
  dbase.Open();
  for (int k = 0; k < count; ++k) {
    paradox.Append();
    paradox.FieldByName("Key").SetAsInteger(KeyOf(id, k));
    paradox.FieldByName("Writer").SetAsInteger(id);
    paradox.FieldByName("Value").SetAsInteger(k);
    paradox.Post();
    dbase.Append();
    dbase.FieldByName("Writer").SetAsInteger(id);
    dbase.FieldByName("Seq").SetAsInteger(k);
    dbase.FieldByName("Value").SetAsInteger(k);
    dbase.Post();
    if (k % 3 == 2) { // row k - 1 gets its value negated
      if (!paradox.FindKey({KeyOf(id, k - 1)})) throw db::Error("own Paradox row missing");
      paradox.Edit();
      paradox.FieldByName("Value").SetAsInteger(-(k - 1));
      paradox.Post();
      if (!FindOwn(dbase, id, k - 1)) throw db::Error("own dBase row missing");
      dbase.Edit();
      dbase.FieldByName("Value").SetAsInteger(-(k - 1));
      dbase.Post();
    }
    if (k % 5 == 4) { // row k - 2 goes
      if (!paradox.FindKey({KeyOf(id, k - 2)})) throw db::Error("own Paradox row missing");
      paradox.Delete();
      if (!FindOwn(dbase, id, k - 2)) throw db::Error("own dBase row missing");
      dbase.Delete();
    }
  }
  return 0;
}

int Read(const QString& dir) {
  int reads = 0;
  while (!QFile::exists(dir + "/stop")) {
    for (const char* name : {"Shared.DB", "Shared.dbf"}) {
      db::Table t(dir, name);
      t.Open(); // raises on a torn or invalid file
      int64_t previous = -1;
      for (t.First(); !t.Eof(); t.Next()) {
        const int64_t writer = t.FieldByName("Writer").AsInteger();
        if (writer < 1 || writer > 99) throw db::Error(QString("a row of writer %1").arg(writer));
        if (QString(name) == "Shared.DB") {
          const int64_t key = t.FieldByName("Key").AsInteger();
          if (key <= previous) throw db::Error("keys out of order");
          previous = key;
        }
      }
    }
    ++reads;
  }
  std::printf("%d reads\n", reads);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  try {
    if (argc == 5 && QString(argv[1]) == "write")
      return Write(argv[2], QString(argv[3]).toInt(), QString(argv[4]).toInt());
    if (argc == 3 && QString(argv[1]) == "read") return Read(argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 2;
}
