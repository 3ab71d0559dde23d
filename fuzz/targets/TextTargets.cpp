// Text files from outside: a measurements file (`.pth`) loaded and drawn, the program's settings
// (`vandrel.ini`) resolved into start-up options, and `FORMS.INI` read, and statements of local
// SQL run over a small Paradox table and a dBase table made afresh for each input.

#include "FuzzTarget.h"

#include "base/IniFile.h"
#include "db/DbaseFile.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Query.h"
#include "gfx/Canvas.h"
#include "overlays/Distation.h"
#include "platform/StartupOptions.h"

#include <QDir>
#include <QImage>
#include <QProcessEnvironment>

VANDREL_FUZZ_TARGET(Measurements) {
  fuzz::EnsureGuiApplication();
  const QString path = fuzz::WriteFile("m.pth", data, size);
  TWorld world;
  world.SetView(64, 64, -1000, -1000, 1000, 1000);
  TDistationLayer layer;
  try {
    layer.LoadFromFile(path, world);
  } catch (const std::exception&) {
  }
  QImage image(64, 64, QImage::Format_RGB32);
  gfx::Canvas canvas(image);
  layer.Draw(canvas, world);
  layer.DrawCurrent(canvas, world);
  return 0;
}

VANDREL_FUZZ_TARGET(Settings) {
  QDir().mkpath(fuzz::ScratchDir() + "/app");
  fuzz::WriteFile("app/vandrel.ini", data, size);
  try {
    platform::ResolveStartupOptions(platform::ParseCommandLine({}), QProcessEnvironment(),
                                    fuzz::ScratchDir() + "/app");
  } catch (const std::runtime_error&) {
  }
  const base::IniFile forms(fuzz::WriteFile("FORMS.INI", data, size));
  for (const char* section : {"MainForm", "FormMap", "Layers", "Panels"}) {
    forms.ReadString(section, "Left", "");
    forms.ReadInteger(section, "Width", 0);
    forms.HasKey(section, "Visible");
  }
  return 0;
}

VANDREL_FUZZ_TARGET(Sql) {
  const QString dir = fuzz::ScratchDir() + "/sql";
  QDir(dir).removeRecursively();
  QDir().mkpath(dir);
  using db::FieldType;
  db::ParadoxFile::Create(dir + "/T.DB",
                          {db::paradox::MakeField("N", FieldType::Integer),
                           db::paradox::MakeField("S", FieldType::String, 20),
                           db::paradox::MakeField("D", FieldType::Float)},
                          1, {{int64_t(1), QString("один"), 1.5}, {int64_t(2), QString("two"), -2.0}});
  db::DbaseFile::Create(dir + "/U.DBF",
                        {db::MakeDbaseField("CODE", FieldType::Integer, 6),
                         db::MakeDbaseField("NAME", FieldType::String, 16)},
                        {{int64_t(1), QString("вул. Шевченка")}});
  db::Query q;
  q.SetDatabaseName(dir);
  q.SQL << QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  q.Params = {int64_t(1), QString("x")};
  try {
    q.Open();
    for (q.First(); !q.Eof(); q.Next())
      for (int c = 0; c < int(q.ColumnNames().size()); ++c)
        q.ValueAt(q.RecNo() - 1, c);
  } catch (const db::Error&) {
    try {
      q.ExecSQL();
    } catch (const db::Error&) {
    }
  }
  return 0;
}
