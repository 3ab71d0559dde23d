// Tables from outside: a Paradox table with its primary index and blob file, and a dBase
// table, each read by its file reader and through a cursor (every value, blobs included, a key
// looked up). Paradox input: the `.PX`, the `.MB`, then the `.DB`.

#include "FuzzTarget.h"

#include "base/FileError.h"
#include "db/DbaseFile.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/Table.h"

#include <QDir>

namespace {

void ReadThroughCursor(const QString& dir, const QString& name) {
  db::Table t;
  try {
    t.SetDatabaseName(dir);
    t.SetTableName(name);
    t.Open();
    std::vector<db::Value> key;
    for (int k = 0; k < 200 && !t.Eof(); ++k) {
      for (auto& f : t.Fields()) {
        f.AsString();
        if (db::IsBlobType(f.DataType())) f.AsBlob();
      }
      if (k == 0)
        for (int i = 0; i < t.KeyFieldCount(); ++i)
          key.push_back(t.Fields()[size_t(i)].AsValue());
      t.Next();
    }
    if (!key.empty()) t.FindKey(key);
  } catch (const db::Error&) {
  } catch (const base::FileError&) {
  }
  t.Close();
}

} // namespace

VANDREL_FUZZ_TARGET(Paradox) {
  const auto pieces = fuzz::Split(data, size, 3);
  QDir().mkpath(fuzz::ScratchDir() + "/px");
  fuzz::WriteFile("px/T.PX", pieces[0].data(), pieces[0].size());
  fuzz::WriteFile("px/T.MB", pieces[1].data(), pieces[1].size());
  const QString path = fuzz::WriteFile("px/T.DB", pieces[2].data(), pieces[2].size());
  try {
    db::ParadoxFile::Open(path)->ReadRows();
  } catch (const db::Error&) {
  } catch (const base::FileError&) {
  }
  ReadThroughCursor(fuzz::ScratchDir() + "/px", "T.DB");
  return 0;
}

VANDREL_FUZZ_TARGET(Dbase) {
  QDir().mkpath(fuzz::ScratchDir() + "/dbf");
  const QString path = fuzz::WriteFile("dbf/T.DBF", data, size);
  try {
    db::DbaseFile::Open(path)->ReadRows();
  } catch (const db::Error&) {
  } catch (const base::FileError&) {
  }
  ReadThroughCursor(fuzz::ScratchDir() + "/dbf", "T.DBF");
  return 0;
}
