#include "StartupOptions.h"

#include <cmath>

#include "base/IniFile.h"
#include "base/PathResolver.h"
#include "base/RemoteFiles.h"

#include <QDir>
#include <stdexcept>

namespace platform {
namespace {

int ParseWorkMode(const QString& text, const QString& source) {
  bool ok = false;
  const int mode = text.trimmed().toInt(&ok);
  if (!ok || mode < 0 || mode > 255)
    throw std::runtime_error(
        ("The work mode \"" + text + "\" given by " + source + " is not a number from 0 to 255.")
            .toStdString());
  return mode;
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine line;
  for (int i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    auto value = [&](const QString& name) -> std::optional<QString> {
      if (a.startsWith(name + "=")) return a.mid(name.size() + 1);
      if (a == name && i + 1 < arguments.size()) return arguments[++i];
      return std::nullopt;
    };
    if (a == "--help" || a == "-h") {
      line.Help = true;
    } else if (a == "--version" || a == "-v") {
      line.Version = true;
    } else if (a == "--calc-topology") {
      line.CalcTopology = true;
    } else if (a == "--build-index") {
      line.BuildIndex = true;
    } else if (a.startsWith("--data-root")) {
      const auto v = value("--data-root");
      if (!v)
        line.Error = "--data-root needs a directory";
      else
        line.DataRoot = *v;
    } else if (a.startsWith("--screenshot")) {
      const auto v = value("--screenshot");
      if (!v)
        line.Error = "--screenshot needs a file name";
      else
        line.Screenshot = *v;
    } else if (a.startsWith("--identify")) {
      const auto v = value("--identify");
      const QStringList xy = v ? v->split(',') : QStringList();
      bool okX = false, okY = false;
      const double x = xy.size() == 2 ? xy[0].trimmed().toDouble(&okX) : 0;
      const double y = xy.size() == 2 ? xy[1].trimmed().toDouble(&okY) : 0;
      if (!okX || !okY || !std::isfinite(x) || !std::isfinite(y))
        line.Error = "--identify needs a map point X,Y (a decimal point, no spaces)";
      else
        line.IdentifyAt = std::make_pair(x, y);
    } else if (a.startsWith("--isolate")) {
      const auto v = value("--isolate");
      bool ok = false;
      const qlonglong pipe = v ? v->trimmed().toLongLong(&ok) : 0;
      if (!ok)
        line.Error = "--isolate needs a pipe's number (its OBJECTCODE)";
      else
        line.IsolatePipe = pipe;
    } else if (a.startsWith("--failed-valves")) {
      const auto v = value("--failed-valves");
      if (!v) line.Error = "--failed-valves needs the valves' numbers, N,M";
      for (const QString& n : v ? v->split(',', Qt::SkipEmptyParts) : QStringList()) {
        bool ok = false;
        line.FailedValves.push_back(n.trimmed().toLongLong(&ok));
        if (!ok) line.Error = "--failed-valves needs the valves' numbers, N,M";
      }
    } else if (a == "--check-network") {
      line.CheckNetwork = true;
    } else if (a == "--allow-network-sources") {
      line.AllowNetworkSources = true;
    } else if (a.startsWith("--scale")) {
      const auto v = value("--scale");
      bool ok = false;
      const double scale = v ? v->toDouble(&ok) : 0;
      if (!ok || !(scale >= 1 && scale <= 1e8))
        line.Error = "--scale needs the scale's denominator, from 1 to 100000000";
      else
        line.IdentifyScale = scale;
    } else if (a.startsWith("--work-mode")) {
      const auto v = value("--work-mode");
      bool ok = false;
      const int mode = v ? v->toInt(&ok) : 0;
      if (!ok || mode < 0 || mode > 255)
        line.Error = "--work-mode needs a number from 0 to 255";
      else
        line.WorkMode = mode;
    } else if (a.startsWith("-platform") || a.startsWith("-style") || a.startsWith("-qwindow")) {
      // Qt's own options, with their values, are left to Qt.
      if (!a.contains('=') && i + 1 < arguments.size()) ++i;
    } else {
      line.Error = "unknown argument " + a;
    }
  }
  return line;
}

QString UsageText() {
  return "Usage: vandrel [--data-root DIR] [--work-mode N] [--screenshot FILE.png] "
         "[--allow-network-sources] [--help] [--version]\n"
         "       vandrel --build-index | --calc-topology [--data-root DIR] [--work-mode 0]\n"
         "       vandrel --identify X,Y [--scale N] [--data-root DIR] [--work-mode N]\n"
         "       vandrel --isolate PIPE [--failed-valves N,M] | --check-network [--data-root DIR]\n"
         "\n"
         "Opens the electronic atlas of the water-supply and sewerage networks.\n"
         "\n"
         "  --data-root DIR  the atlas: the directory that holds BASE, MAPS and REFERENSE\n"
         "                   (default: the program's own directory), or an atlas imported\n"
         "                   into PostgreSQL: postgresql://...[#SCHEMA] (vandrel-atlas)\n"
         "  --work-mode N    0: the atlas may be edited (default); other values: read-only,\n"
         "                   changes of visibility and order are kept in memory only\n"
         "  --screenshot FILE.png  saves a picture of the window once the map has painted,\n"
         "                   then closes the program the normal way\n"
         "  --build-index    writes the object index (SPIN.DB and the per-class grid tables)\n"
         "                   from the atlas's node tables, without a window\n"
         "  --calc-topology  writes the nodes at both ends of every water and sewer pipe\n"
         "                   (HUB1CODE, HUB2CODE), without a window; work mode 0 only\n"
         "  --identify X,Y   prints what lies at the map point X,Y on every layer drawn at\n"
         "                   the view's scale: each object with the fields of its row\n"
         "  --scale N        the scale 1 : N of that view (default 500)\n"
         "  --isolate PIPE   shutting off the water pipe PIPE (its OBJECTCODE): prints the\n"
         "                   lines kind,number,label for the pipes that go dry, the valves to\n"
         "                   close and the service connections cut off\n"
         "  --failed-valves N,M  valves that will not close: the walk goes on through them\n"
         "  --check-network  prints what is wrong or worth knowing in both networks' models\n"
         "  --allow-network-sources  opens the layers whose sources are on the network (a\n"
         "                   URL, a database on another host) without asking; otherwise the\n"
         "                   window asks once per atlas and the commands leave them out\n"
         "  --help           shows this text\n"
         "  --version        shows the program's version\n"
         "\n"
         "Without options the environment (VANDREL_DATA_ROOT, VANDREL_WORK_MODE) or\n"
         "vandrel.ini beside the program ([Data] Root=, WorkMode=) decide.\n";
}

StartupOptions ResolveStartupOptions(const CommandLine& line,
                                     const QProcessEnvironment& environment,
                                     const QString& appDir) {
  StartupOptions options;
  const base::IniFile ini(appDir + "/vandrel.ini");
  if (line.WorkMode)
    options.WorkMode = *line.WorkMode;
  else if (environment.contains("VANDREL_WORK_MODE"))
    options.WorkMode = ParseWorkMode(environment.value("VANDREL_WORK_MODE"), "VANDREL_WORK_MODE");
  else if (ini.HasKey("Data", "WorkMode"))
    options.WorkMode = ParseWorkMode(ini.ReadString("Data", "WorkMode", "0"), ini.Path());
  if (line.DataRoot)
    options.DataRoot = *line.DataRoot;
  else if (environment.contains("VANDREL_DATA_ROOT"))
    options.DataRoot = environment.value("VANDREL_DATA_ROOT");
  else if (const QString root = ini.ReadString("Data", "Root", QString()); !root.isEmpty())
    // A relative root in the file beside the program is relative to the program's directory,
    // whatever directory the program was started from; a database's location stands as given.
    options.DataRoot = base::RemoteFileKindOf(root)
                           ? root
                           : QDir(appDir).absoluteFilePath(base::NormalizeSeparators(root));
  if (options.WorkMode != 0 && options.DataRoot.isEmpty())
    throw std::runtime_error(
        QString("Work mode %1 reads the atlas from a data root, but none is given "
                "(--data-root, VANDREL_DATA_ROOT or [Data] Root= in vandrel.ini).")
            .arg(options.WorkMode)
            .toStdString());
  return options;
}

} // namespace platform
