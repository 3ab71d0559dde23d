#include "HtmlViewer.h"

#include "base/IniFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace platform {

QString ProgramOfCommand(const QString& command) {
  const QString c = command.trimmed();
  if (c.startsWith('"')) {
    const qsizetype end = c.indexOf('"', 1);
    return end > 0 ? c.mid(1, end - 1) : QString();
  }
  return c.section(' ', 0, 0);
}

namespace {

QString DesktopEntryProgram(const QString& desktopFile) {
  const QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation) +
                           QStringList{"/usr/share/applications", "/usr/local/share/applications"};
  for (const QString& dir : dirs) {
    QFile f(dir + "/" + desktopFile);
    if (!f.open(QIODevice::ReadOnly)) continue;
    for (const QByteArray& line : f.readAll().split('\n'))
      if (line.startsWith("Exec=")) return ProgramOfCommand(QString::fromUtf8(line.mid(5)));
  }
  return QString();
}

} // namespace

QString FindHtmlViewer(const QString& appDir) {
  const QString configured =
      base::IniFile(appDir + "/vandrel.ini").ReadString("Html", "Viewer", QString());
  if (!configured.isEmpty()) return configured;
  if (!QStandardPaths::findExecutable("xdg-mime").isEmpty()) {
    QProcess mime;
    mime.start("xdg-mime", {"query", "default", "text/html"});
    if (mime.waitForFinished(3000)) {
      const QString desktop = QString::fromUtf8(mime.readAllStandardOutput()).trimmed();
      if (!desktop.isEmpty()) {
        const QString program = DesktopEntryProgram(desktop);
        if (!program.isEmpty()) return program;
      }
    }
  }
  // No viewer: the program shows the pages itself.
  return QString();
}

bool OpenInViewer(const QString& viewer, const QString& document, const QString& workingDir) {
  if (viewer.isEmpty()) return false;
  return QProcess::startDetached(viewer, {document}, workingDir);
}

} // namespace platform
