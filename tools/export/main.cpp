// vandrel-export: the atlas as a GeoPackage, or its water network as an EPANET model, without a
// window.
//
//   vandrel-export --data-root DIR -o atlas.gpkg [--crs EPSG:N] [--measurements FILE.pth]
//                  [--no-labels]
//   vandrel-export --data-root DIR --epanet water.inp [--isolate PIPE [--failed-valves N,M]]
//
// Prints a line per table written (or the model's counts) and what was left out; exits 1 when
// the file cannot be written (nothing is left behind then), 2 for arguments it does not
// understand.

#include "gis/GeoPackageExport.h"
#include "overlays/Distation.h"

#include "base/AtomicFile.h"
#include "base/PathResolver.h"
#include "base/RemoteFiles.h"
#include "gis/GdalLayer.h"
#include "gis/NetworkSources.h"
#include "layers/LayerKinds.h"
#include "network/EpanetExport.h"
#include "pg/TableStore.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

namespace {

const char* const kUsage =
    "usage: vandrel-export --data-root DIR -o FILE.gpkg [--crs EPSG:N] "
    "[--measurements FILE.pth] [--no-labels] [--allow-network-sources]\n"
    "       vandrel-export --data-root DIR --epanet FILE.inp [--isolate PIPE "
    "[--failed-valves N,M]]\n";

int ExportEpanet(const QString& dataRoot, const QString& output,
                 const network::TEpanetOptions& options) {
  QTextStream out(stdout), err(stderr);
  try {
    const QString base = base::ResolvePath(dataRoot, "BASE");
    const network::TEpanetModel model = network::BuildEpanetModel(
        base, base::ResolvePath(dataRoot, "MAPS"), network::TNetworkSettings::Read(base), options);
    base::WriteFileAtomically(output, model.Text);
    for (const QString& line : model.Notes)
      out << line << "\n";
    for (const QString& line : model.LeftOut)
      err << "vandrel-export: " << line << "\n";
    out << model.Junctions << " junctions, " << model.Reservoirs << " reservoirs, " << model.Pipes
        << " pipes (" << model.ClosedPipes << " closed), " << model.LeftOut.size() << " left out\n";
  } catch (const std::exception& e) {
    err << "vandrel-export: " << QString::fromUtf8(e.what()) << "\n";
    return 1;
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  pg::RegisterPostgresAtlas(); // a data root may be an atlas in PostgreSQL
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QTextStream out(stdout), err(stderr);
  QString dataRoot, output, measurementsFile, epanet;
  TGeoPackageOptions options;
  network::TEpanetOptions model;
  const QStringList args = app.arguments().mid(1);
  for (int i = 0; i < args.size(); ++i) {
    const bool value = i + 1 < args.size();
    if (args[i] == "--data-root" && value)
      dataRoot = args[++i];
    else if ((args[i] == "-o" || args[i] == "--output") && value)
      output = args[++i];
    else if (args[i] == "--crs" && value)
      options.Crs = args[++i];
    else if (args[i] == "--measurements" && value)
      measurementsFile = args[++i];
    else if (args[i] == "--no-labels")
      options.Labels = false;
    else if (args[i] == "--allow-network-sources")
      gis::TNetworkSources::AllowForThisRun();
    else if (args[i] == "--epanet" && value)
      epanet = args[++i];
    else if (args[i] == "--isolate" && value && args[i + 1].toLongLong() > 0)
      model.IsolatePipe = args[++i].toLongLong();
    else if (args[i] == "--failed-valves" && value)
      for (const QString& code : args[++i].split(',', Qt::SkipEmptyParts))
        model.FailedValves.insert(code.trimmed().toLongLong());
    else {
      err << "vandrel-export: unknown argument " << args[i] << "\n" << kUsage;
      return 2;
    }
  }
  try {
    if (dataRoot.isEmpty() || output.isEmpty() == epanet.isEmpty() || !base::PathExists(dataRoot)) {
      err << kUsage;
      return 2;
    }
  } catch (const std::exception& e) { // a database that cannot be reached
    err << "vandrel-export: " << QString::fromUtf8(e.what()) << "\n";
    return 1;
  }
  if (!epanet.isEmpty()) {
    model.Title = base::RootName(dataRoot);
    return ExportEpanet(dataRoot, epanet, model);
  }
  RegisterLayerKinds();
  RegisterGdalLayerKinds();
  TMapContent map;
  const QString failure =
      map.LoadMap(base::ResolvePath(dataRoot, "BASE"), base::ResolvePath(dataRoot, "MAPS"),
                  dataRoot, base::ResolvePath(dataRoot, "REFERENSE"), dataRoot + "/ROUTES");
  if (!failure.isEmpty()) err << "vandrel-export: " << failure << "\n";
  TDistationLayer measurements;
  try {
    if (!measurementsFile.isEmpty()) {
      TWorld world;
      world.SetView(1000, 1000, map.World.FullExtent.XMin, map.World.FullExtent.YMin,
                    map.World.FullExtent.XMax, map.World.FullExtent.YMax);
      measurements.LoadFromFile(measurementsFile, world);
      options.Measurements = &measurements;
    }
    const TGeoPackageReport report = ExportGeoPackage(map, output, options);
    for (const QString& line : report.Tables)
      out << line << "\n";
    for (const QString& line : report.Problems)
      err << "vandrel-export: left out " << line << "\n";
    out << report.Features << " features in " << report.Tables.size() << " tables\n";
    // The file holds what could be exported, as vandrel-render's picture holds what could be
    // drawn; scripts learn from the code that a layer is missing from it.
    return failure.isEmpty() && report.Problems.isEmpty() ? 0 : 1;
  } catch (const std::exception& e) {
    err << "vandrel-export: " << QString::fromUtf8(e.what()) << "\n";
    return 1;
  }
}
