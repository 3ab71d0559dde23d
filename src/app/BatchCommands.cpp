#include "BatchCommands.h"

#include "data/DataModule.h"

#include "core/Identify.h"
#include "core/MapContent.h"
#include "db/Error.h"
#include "network/NetworkCheck.h"
#include "network/ShutOff.h"
#include "overlays/DBPointsIndexs.h"
#include "overlays/ObjectIndexBuilder.h"
#include "ui/network/NetworkTopology.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QTextStream>
#include <memory>
#include <set>

namespace {

int CalcTopology(const TDataModuleVANDREL& data, const TExtent& extent) {
  TDBPointsIndexs index(data.MapsDir, data.BaseDir, data.UserObjDir, extent.XMin, extent.YMin,
                        extent.XMax, extent.YMax);
  TWorld world;
  world.FullExtent = extent;
  if (const QString problem = TopologyIndexProblem(index, data.BaseDir, data.MapsDir);
      !problem.isEmpty()) {
    QTextStream(stderr) << "vandrel: the object index in " << data.UserObjDir
                        << " cannot serve this atlas (" << problem
                        << "); no pipe row was changed. Rebuild the index (--build-index).\n";
    return 1;
  }
  QTextStream out(stdout);
  for (const TNetworkTable& network : kNetworkTables) {
    const TNetworkHubsResult r = CalcNetworkHubs(index, world, data.MapsDir, network.TableName,
                                                 network.Category, network.Class);
    out << network.TableName << ": " << r.Pipes << " pipes, " << r.EndsJoined
        << " ends joined to a node, " << r.EndsNotJoined << " ends without a node\n";
    if (!r.RecordsWithoutRow.isEmpty())
      out << "  " << r.RecordsWithoutRow.size()
          << " lines without a table row, deleted or missing (left alone): records "
          << r.RecordsWithoutRow.mid(0, 20).join("; ") << "\n";
    if (!r.RowsWithoutLine.isEmpty())
      out << "  " << r.RowsWithoutLine.size()
          << " rows without a usable line (written -1 unless said): "
          << r.RowsWithoutLine.mid(0, 20).join("; ") << "\n";
  }
  return 0;
}

int BuildIndex(const TDataModuleVANDREL& data, const TExtent& extent) {
  const TIndexBuildResult r = BuildObjectIndex(data.BaseDir, data.MapsDir, data.UserObjDir, extent);
  QTextStream out(stdout);
  out << "object index in " << data.UserObjDir << ": " << r.Objects << " objects\n";
  for (const QString& table : r.Tables)
    out << "  " << table << "\n";
  return 0;
}

// Loads the atlas's layers; the layers that could not be loaded are said on `err`.
// Whether every layer loaded; those that did not are named on standard error.
bool LoadMap(const TDataModuleVANDREL& data, TMapContent& map, QTextStream& err) {
  const QString failures =
      map.LoadMap(data.BaseDir, data.MapsDir, data.AppDir, data.RefDir, data.RoutesDir);
  if (!failures.isEmpty()) err << "vandrel: layers not loaded:\n" << failures << "\n";
  return failures.isEmpty();
}

void ReportFailure(QTextStream& err, const std::exception& e) {
  if (const auto* table = dynamic_cast<const db::Error*>(&e))
    err << "vandrel: " << table->Message << "\n";
  else
    err << "vandrel: " << e.what() << "\n";
}

// The atlas the options name, for a command without a window: it keeps its windows' positions.
std::unique_ptr<TDataModuleVANDREL> OpenData(const platform::CommandLine& line,
                                             const QString& appDir) {
  const platform::StartupOptions options =
      platform::ResolveStartupOptions(line, QProcessEnvironment::systemEnvironment(), appDir);
  auto data = std::make_unique<TDataModuleVANDREL>(appDir, options.WorkMode, options.DataRoot);
  data->SavePositions = false;
  return data;
}

} // namespace

int RunBatchCommand(const platform::CommandLine& line, const QString& appDir) {
  QTextStream err(stderr);
  try {
    const platform::StartupOptions options =
        platform::ResolveStartupOptions(line, QProcessEnvironment::systemEnvironment(), appDir);
    if (options.WorkMode != 0) {
      err << "vandrel: the atlas is written only in work mode 0 (this is work mode "
          << options.WorkMode << ")\n";
      return 1;
    }
    TDataModuleVANDREL data(appDir, options.WorkMode, options.DataRoot);
    data.SavePositions = false;
    if (!data.ReadOnlyReason.isEmpty()) {
      err << "vandrel: the atlas is not written: " << data.ReadOnlyReason << "\n";
      return 1;
    }
    // The grid's origin is the map's whole extent, as the window computes it.
    TMapContent map;
    LoadMap(data, map, err);
    const TExtent extent = map.World.FullExtent;
    map.CloseMap();
    map.DestroyLayers();
    return line.BuildIndex ? BuildIndex(data, extent) : CalcTopology(data, extent);
  } catch (const std::exception& e) {
    ReportFailure(err, e);
  }
  return 1;
}

int RunNetworkCommand(const platform::CommandLine& line, const QString& appDir) {
  QTextStream err(stderr);
  try {
    const auto opened = OpenData(line, appDir);
    TDataModuleVANDREL& data = *opened;
    QTextStream out(stdout);
    if (line.IsolatePipe) {
      const auto graph = network::TNetworkGraph::Load(
          network::SourceOf(data.BaseDir, data.MapsDir, network::kWaterNetwork));
      const network::TNetworkSettings settings = network::TNetworkSettings::Read(data.BaseDir);
      const std::set<int64_t> failed(line.FailedValves.begin(), line.FailedValves.end());
      network::TShutOff result = network::ShutOffPipe(*graph, settings, *line.IsolatePipe, failed);
      if (settings.Buildings)
        network::FindLostBuildings(
            *graph, *network::TBuildings::Load(data.BaseDir, data.MapsDir, settings), result);
      else
        err << QString::fromUtf8("vandrel: будинки без води не визначено: у BASE\\%1 не вказано "
                                 "шару будинків ([Network] Buildings=)\n")
                   .arg(network::TNetworkSettings::FileName);
      for (const QString& text : network::ShutOffCsv(*graph, result))
        out << text << "\n";
      return 0;
    }
    for (const network::TNetworkKind& kind : {network::kWaterNetwork, network::kSewerNetwork}) {
      const auto graph =
          network::TNetworkGraph::Load(network::SourceOf(data.BaseDir, data.MapsDir, kind));
      out << "# " << kind.PipesTable << "\n";
      for (const QString& text : network::NetworkCheckCsv(*graph, network::CheckNetwork(*graph)))
        out << text << "\n";
    }
    return 0;
  } catch (const std::exception& e) {
    ReportFailure(err, e);
  }
  return 1;
}

int RunIdentify(const platform::CommandLine& line, const QString& appDir) {
  QTextStream err(stderr);
  try {
    QElapsedTimer clock;
    clock.start();
    const auto opened = OpenData(line, appDir);
    TDataModuleVANDREL& data = *opened;
    TMapContent map;
    bool complete = LoadMap(data, map, err);
    const qint64 loaded = clock.elapsed();
    // A view of the window's usual size about the point, at the scale asked for.
    QImage picture(1920, 1080, QImage::Format_RGB32);
    gfx::Canvas canvas(picture);
    const auto [x, y] = *line.IdentifyAt;
    const double halfWidth = line.IdentifyScale * canvas.WidthMM() / 1000 / 2;
    const double halfHeight = halfWidth * picture.height() / picture.width();
    map.World.SetView(picture.width(), picture.height(), x - halfWidth, y - halfHeight,
                      x + halfWidth, y + halfHeight);
    map.World.ComputeScale(canvas.WidthMM());
    QTextStream out(stdout);
    clock.restart();
    const std::vector<TIdentifiedObject> found = ObjectsAt(map.Layers, canvas, map.World, x, y);
    // The benchmarks ask for the times: the first pick reads the layers' rows, a second one
    // is a pick in a window already open.
    if (qEnvironmentVariableIsSet("VANDREL_REPORT_TIMINGS")) {
      const qint64 first = clock.elapsed();
      clock.restart();
      ObjectsAt(map.Layers, canvas, map.World, x, y);
      err << "load " << loaded << " ms, first pick " << first << " ms, pick " << clock.elapsed()
          << " ms\n";
    }
    for (const QString& text : IdentifiedText(found))
      out << text << "\n";
    // What could be read is printed; a layer or row that could not makes the answer incomplete,
    // which scripts read from the exit code.
    for (const TIdentifiedObject& object : found)
      if (!object.Problem.isEmpty()) {
        err << "vandrel: " << object.Problem << "\n";
        complete = false;
      }
    return complete ? 0 : 1;
  } catch (const std::exception& e) {
    ReportFailure(err, e);
  }
  return 1;
}
