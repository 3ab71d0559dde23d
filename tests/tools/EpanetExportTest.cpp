// `vandrel-export --epanet` on the demo city, solved by the EPANET 2.2 engine itself (epanet-js
// under node): the model is accepted and every junction has water under pressure; its levels lie
// within the survey points' heights; what the network check finds is left out and said; the
// shut-off of a main closes pipes and leaves its houses without their demand; an atlas without
// sources and a pipe without a diameter are refused or left out with the reason.

#include "AtlasWriter.h"

#include "base/AtomicFile.h"
#include "db/Table.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct TRun {
  int Exit = -1;
  QString Out, Err;
};

TRun Start(const QString& program, const QStringList& args) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  p.setProcessEnvironment(env);
  p.start(program, args);
  if (!p.waitForFinished(120000)) return {};
  return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

TRun Export(const QString& atlas, const QString& model, const QStringList& more = {}) {
  return Start(VANDREL_EXPORT, QStringList{"--data-root", atlas, "--epanet", model} + more);
}

// The engine's answer: counts, pressures at the junctions, the demand met.
QJsonObject Solve(const QString& model) {
  const TRun run = Start("node", {VANDREL_EPANET_SOLVER, model});
  EXPECT_EQ(run.Exit, 0) << "the engine refused the model: " << run.Out.toStdString()
                         << run.Err.toStdString();
  return QJsonDocument::fromJson(run.Out.toUtf8()).object();
}

// The rows of one section of the model, comments left out.
QList<QStringList> Section(const QString& model, const QString& name) {
  QFile file(model);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  QList<QStringList> rows;
  bool in = false;
  for (const QString& line : text.split('\n')) {
    if (line.startsWith('['))
      in = line == "[" + name + "]";
    else if (in && !line.trimmed().isEmpty() && !line.trimmed().startsWith(';'))
      rows << line.trimmed().split('\t');
  }
  return rows;
}

} // namespace

TEST(EpanetExport, TheDemoNetworkIsAModelTheEngineSolvesWithWhatTheCheckFindsLeftOut) {
  QTemporaryDir dir;
  const QString atlas = dir.path() + "/atlas", model = dir.path() + "/water.inp";
  demo::WriteAtlas(atlas, 1, 11);
  const TRun run = Export(atlas, model);
  ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
  const auto junctions = Section(model, "JUNCTIONS"), pipes = Section(model, "PIPES"),
             reservoirs = Section(model, "RESERVOIRS");
  ASSERT_GT(junctions.size(), 1000);
  ASSERT_FALSE(reservoirs.isEmpty());
  const QJsonObject solved = Solve(model);
  EXPECT_EQ(solved["junctions"].toInt(), junctions.size());
  EXPECT_EQ(solved["links"].toInt(), pipes.size());
  EXPECT_GT(solved["minPressure"].toDouble(), 0) << "water at every junction";
  // Every service connection's demand is met: 0.05 L/s each, as NETWORK.INI says.
  int connections = 0;
  for (const QStringList& j : junctions)
    connections += j.value(2) == "0.0500";
  EXPECT_NEAR(solved["demand"].toDouble(), connections * 0.05, connections * 0.05 * 1e-3);
  // Levels interpolated between the survey points lie within their heights.
  db::Table survey(atlas + "/MAPS", "Geodesy.dbf");
  survey.Open();
  double low = 1e9, high = -1e9;
  for (survey.First(); !survey.Eof(); survey.Next())
    low = std::min(low, survey.FieldByName("HEIGHT").AsFloat()),
    high = std::max(high, survey.FieldByName("HEIGHT").AsFloat());
  for (const QStringList& j : junctions) {
    EXPECT_GE(j.value(1).toDouble(), low - 0.01);
    EXPECT_LE(j.value(1).toDouble(), high + 0.01);
  }
  // The demo's service pipes without an inlet are said and not written.
  const QRegularExpression open(QString::fromUtf8("Відкритий кінець: труба (\\d+), кінцева точка"));
  int said = 0;
  for (auto m = open.globalMatch(run.Err); m.hasNext(); ++said) {
    const QString pipe = m.next().captured(1);
    for (const QStringList& p : pipes)
      EXPECT_NE(p.value(0), pipe) << "an open end was written";
  }
  EXPECT_GT(said, 10);
  // The shut-off of a main: pipes at its valves closed, its houses' demand no longer met.
  const QString shut = dir.path() + "/shut.inp";
  ASSERT_EQ(Export(atlas, shut, {"--isolate", "10"}).Exit, 0);
  int closed = 0;
  for (const QStringList& p : Section(shut, "PIPES"))
    closed += p.value(7) == "Closed";
  EXPECT_GE(closed, 2);
  EXPECT_LT(Solve(shut)["demand"].toDouble(), solved["demand"].toDouble() - 0.04);
}

TEST(EpanetExport, NoSourceIsRefusedAndAPipeWithoutADiameterIsLeftOut) {
  QTemporaryDir dir;
  const QString atlas = dir.path() + "/atlas", model = dir.path() + "/water.inp";
  demo::WriteAtlas(atlas, 1, 11);
  {
    db::Table water(atlas + "/MAPS", "Water.dbf");
    water.Open();
    water.SetRecNo(5);
    water.Edit();
    water.FieldByName("DIAMETER").Clear();
    water.Post();
  }
  const TRun run = Export(atlas, model);
  ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
  EXPECT_TRUE(run.Err.contains(QString::fromUtf8("без діаметра (DIAMETER) — не записано")));
  Solve(model);
  // Without sources nothing is written.
  QFile ini(atlas + "/BASE/NETWORK.INI");
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  const QByteArray text = ini.readAll().replace("Sources=101.2.1", "Sources=");
  ini.close();
  base::WriteFileAtomically(atlas + "/BASE/NETWORK.INI", text);
  const QString none = dir.path() + "/none.inp";
  const TRun refused = Export(atlas, none);
  EXPECT_EQ(refused.Exit, 1);
  EXPECT_TRUE(refused.Err.contains("Sources=")) << refused.Err.toStdString();
  EXPECT_FALSE(QFile::exists(none));
}

// Settings no network has (NaN, infinity, a 309-digit demand) are refused naming the key, and a
// pumping station's name with line breaks stays in its comment: the model keeps its sections.
TEST(EpanetExport, AbsurdSettingsAreRefusedAndNamesCannotAddSections) {
  QTemporaryDir dir;
  const QString atlas = dir.path() + "/atlas", model = dir.path() + "/water.inp";
  demo::WriteAtlas(atlas, 1, 11);
  QFile ini(atlas + "/BASE/NETWORK.INI");
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  const QByteArray settings = ini.readAll();
  ini.close();
  for (const QByteArray& line : {QByteArray("DemandPerConnection=nan"),
                                 QByteArray("SourceHead=inf"), QByteArray("SourceHead=1e308")}) {
    QByteArray changed = settings;
    changed.replace(line.startsWith("Demand") ? "DemandPerConnection=0.05" : "SourceHead=45", line);
    ASSERT_NE(changed, settings);
    base::WriteFileAtomically(atlas + "/BASE/NETWORK.INI", changed);
    const TRun refused = Export(atlas, model);
    EXPECT_EQ(refused.Exit, 1) << line.toStdString();
    EXPECT_TRUE(refused.Err.contains(QString::fromUtf8(line.left(line.indexOf('=') + 1))))
        << refused.Err.toStdString();
    EXPECT_FALSE(QFile::exists(model));
  }
  base::WriteFileAtomically(atlas + "/BASE/NETWORK.INI", settings);
  {
    db::Table pumps(atlas + "/MAPS", "Pumps.db");
    pumps.Open();
    for (pumps.First(); !pumps.Eof(); pumps.Next()) {
      pumps.Edit();
      pumps.FieldByName("NAME").SetAsString("P\n[DEMANDS]\n 1\t99\r\n[END]");
      pumps.Post();
    }
  }
  const TRun run = Export(atlas, model);
  ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
  EXPECT_TRUE(Section(model, "DEMANDS").isEmpty());
  EXPECT_FALSE(Section(model, "RESERVOIRS").isEmpty());
  EXPECT_GT(Solve(model)["junctions"].toInt(), 0);
}
