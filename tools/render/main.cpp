// vandrel-render: draws the atlas's map into a PNG picture or a PDF page with the same layer code,
// order and scale tests as the map window, and prints the scale denominator.
//   vandrel-render --data-root DIR [--work-mode N] [--size WxH] [--extent XMIN,YMIN,XMAX,YMAX]
//   [--measurements FILE.pth] [--png-level N] [--threads N] [--timings] [--scale-bar]
//   [--no-labels] -o FILE.png|.pdf

#include "core/MapContent.h"
#include "core/MapPicture.h"
#include "gis/GdalLayer.h"
#include "gis/NetworkSources.h"
#include "layers/LayerKinds.h"
#include "overlays/Distation.h"

#include "base/PathResolver.h"
#include "base/RemoteFiles.h"
#include "pg/TableStore.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>
#include <cmath>

namespace {

struct Options {
  QString DataRoot, Output, Measurements;
  int WorkMode = 0;
  // zlib's level for PNG pictures, 0 (none) to 9 (smallest); a fast level by default, since the
  // compression took half of a whole-map run at level 6.
  int PngLevel = 1;
  int Width = 1280, Height = 900;
  bool HasExtent = false;
  TExtent Extent;
  bool Timings = false;  // the milliseconds of loading, drawing and writing, on standard error
  int Threads = 0;       // drawing threads; 0: as many as the machine runs at once
  bool ScaleBar = false; // the scale bar in the lower left corner, as the window's exports have
  bool NoLabels = false; // the objects without their labels (to compare with another program's)
};

int Usage(QTextStream& err, const QString& problem) {
  if (!problem.isEmpty()) err << "vandrel-render: " << problem << "\n";
  err << "usage: vandrel-render --data-root DIR [--work-mode N] [--size WxH] "
         "[--extent XMIN,YMIN,XMAX,YMAX] [--measurements FILE.pth] [--png-level 0-9] [--threads N] "
         "[--timings] [--scale-bar] [--no-labels] [--allow-network-sources] "
         "-o FILE.png|.pdf\n";
  return 2;
}

bool Parse(const QStringList& args, Options& o, QString& problem) {
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if ((a == "--data-root") && hasValue)
      o.DataRoot = args[++i];
    else if ((a == "-o" || a == "--output") && hasValue)
      o.Output = args[++i];
    else if (a == "--timings")
      o.Timings = true;
    else if (a == "--scale-bar")
      o.ScaleBar = true;
    else if (a == "--no-labels")
      o.NoLabels = true;
    else if (a == "--allow-network-sources")
      gis::TNetworkSources::AllowForThisRun();
    else if (a == "--threads" && hasValue) {
      bool ok = false;
      o.Threads = args[++i].toInt(&ok);
      if (!ok || o.Threads < 0 || o.Threads > 64)
        return problem = "--threads needs a number from 0 to 64", false;
    } else if (a == "--measurements" && hasValue)
      o.Measurements = args[++i];
    else if (a == "--png-level" && hasValue) {
      bool ok = false;
      o.PngLevel = args[++i].toInt(&ok);
      if (!ok || o.PngLevel < 0 || o.PngLevel > 9)
        return problem = "--png-level needs a number from 0 to 9", false;
    } else if (a == "--work-mode" && hasValue)
      o.WorkMode = args[++i].toInt();
    else if (a == "--size" && hasValue) {
      const QStringList wh = args[++i].split('x');
      if (wh.size() != 2 || wh[0].toInt() < 1 || wh[1].toInt() < 1 || wh[0].toInt() > 20000 ||
          wh[1].toInt() > 20000)
        return problem = "--size needs WIDTHxHEIGHT in pixels", false;
      o.Width = wh[0].toInt();
      o.Height = wh[1].toInt();
    } else if (a == "--extent" && hasValue) {
      const QStringList v = args[++i].split(',');
      bool ok = v.size() == 4;
      double n[4] = {};
      for (int k = 0; ok && k < 4; ++k)
        n[k] = v[k].toDouble(&ok);
      if (!ok || n[0] >= n[2] || n[1] >= n[3])
        return problem = "--extent needs XMIN,YMIN,XMAX,YMAX", false;
      o.Extent = {n[0], n[1], n[2], n[3]};
      o.HasExtent = true;
    } else {
      return problem = "unknown argument " + a, false;
    }
  }
  if (o.DataRoot.isEmpty()) return problem = "--data-root is needed", false;
  if (o.Output.isEmpty()) return problem = "-o FILE is needed", false;
  return true;
}

} // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QTextStream out(stdout), err(stderr);
  Options o;
  QString problem;
  if (!Parse(app.arguments().mid(1), o, problem)) return Usage(err, problem);
  pg::RegisterPostgresAtlas(); // a data root may be an atlas in PostgreSQL
  try {
    if (!base::PathExists(o.DataRoot))
      return Usage(err, "the data root " + o.DataRoot + " does not exist");
  } catch (const std::exception& e) { // a database that cannot be reached
    err << "vandrel-render: " << QString::fromUtf8(e.what()) << "\n";
    return 1;
  }
  RegisterLayerKinds();
  RegisterGdalLayerKinds();

  QElapsedTimer clock;
  clock.start();
  TMapContent map;
  map.Threads = o.Threads;
  const QString failure =
      map.LoadMap(base::ResolvePath(o.DataRoot, "BASE"), base::ResolvePath(o.DataRoot, "MAPS"),
                  o.DataRoot, base::ResolvePath(o.DataRoot, "REFERENSE"), o.DataRoot + "/ROUTES");
  if (!failure.isEmpty()) err << "Невозможно открыть карту...\n" << failure << "\n";
  if (o.NoLabels)
    for (const auto& layer : map.Layers)
      layer->VisibleLabel = false;
  const TExtent view = o.HasExtent ? o.Extent : map.World.FullExtent;
  const double loaded = clock.nsecsElapsed() / 1e6;
  // The measurements go over the map, as in the map window.
  TDistationLayer measurements;
  bool measurementsFailed = false;
  if (!o.Measurements.isEmpty()) {
    TWorld world;
    world.SetView(o.Width, o.Height, view.XMin, view.YMin, view.XMax, view.YMax);
    try {
      measurements.LoadFromFile(o.Measurements, world);
    } catch (const std::exception& e) {
      measurementsFailed = true;
      err << "vandrel-render: " << QString::fromUtf8(e.what()) << "\n";
    }
  }
  TMapPictureOptions picture;
  picture.Width = o.Width;
  picture.Height = o.Height;
  picture.Measurements = o.Measurements.isEmpty() ? nullptr : &measurements;
  picture.ScaleBar = o.ScaleBar;
  // A PDF is drawn as vectors straight onto its page; other files from a picture.
  const bool pdf = o.Output.endsWith(".pdf", Qt::CaseInsensitive);
  TMapPicture drawing;
  bool saved = true;
  double drawn = 0;
  try {
    drawing = pdf ? DrawMapPdf(map, view, picture, o.Output) : DrawMapPicture(map, view, picture);
    drawn = clock.nsecsElapsed() / 1e6;
    if (!pdf) SaveMapPicture(drawing.Image, o.Output, o.PngLevel);
  } catch (const std::exception& e) {
    saved = false;
    err << "vandrel-render: " << QString::fromUtf8(e.what()) << "\n";
  }
  for (const auto& [layer, reason] : drawing.Failures)
    err << "vandrel-render: layer \"" << layer << "\" not drawn: " << reason << "\n";
  if (!saved) {
    err << "vandrel-render: cannot write " << o.Output << "\n";
    return 1;
  }
  if (o.Timings) {
    const double written = clock.nsecsElapsed() / 1e6;
    err << QString("load %1 ms, draw %2 ms, write %3 ms\n")
               .arg(loaded, 0, 'f', 1)
               .arg(drawn - loaded, 0, 'f', 1)
               .arg(written - drawn, 0, 'f', 1);
  }
  out << "1 : " << qlonglong(std::nearbyint(drawing.ScaleDenominator)) << "\n";
  // The picture is written with what could be drawn; scripts learn from the code that a layer
  // is missing from it.
  return failure.isEmpty() && !measurementsFailed && drawing.Failures.empty() ? 0 : 1;
}
