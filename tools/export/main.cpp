// vandrel-export: the atlas as a GeoPackage, without a window.
//
//   vandrel-export --data-root DIR -o atlas.gpkg [--crs EPSG:N] [--measurements FILE.pth]
//
// Prints a line per table written and the layers left out; exits 1 when the file cannot be
// written (nothing is left behind then), 2 for arguments it does not understand.

#include "gis/GeoPackageExport.h"
#include "overlays/Distation.h"

#include "base/PathResolver.h"
#include "gis/GdalLayer.h"
#include "gis/NetworkSources.h"
#include "layers/LayerKinds.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QTextStream out(stdout), err(stderr);
  QString dataRoot, output, measurementsFile;
  TGeoPackageOptions options;
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
    else if (args[i] == "--allow-network-sources")
      gis::TNetworkSources::AllowForThisRun();
    else {
      err << "vandrel-export: unknown argument " << args[i] << "\n"
          << "usage: vandrel-export --data-root DIR -o FILE.gpkg [--crs EPSG:N] "
             "[--measurements FILE.pth] [--allow-network-sources]\n";
      return 2;
    }
  }
  if (dataRoot.isEmpty() || output.isEmpty() || !QFileInfo(dataRoot).isDir()) {
    err << "usage: vandrel-export --data-root DIR -o FILE.gpkg [--crs EPSG:N] "
           "[--measurements FILE.pth] [--allow-network-sources]\n";
    return 2;
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
  } catch (const std::exception& e) {
    err << "vandrel-export: " << QString::fromUtf8(e.what()) << "\n";
    return 1;
  }
  return 0;
}
