// The program entry: the data module first, then the main window, then the message loop.

#include "DataModule.h"

#include "platform/StartupOptions.h"
#include "plugins/ObjectUtils.h"
#include "ui/FormMap.h"

#include "db/Error.h"

#include <QApplication>
#include <QMessageBox>
#include <QTextStream>
#include <cstdio>
#include <memory>

namespace {

constexpr const char* kVersion = "0.1.0";

int Fail(const QString& message) {
  QTextStream(stderr) << "vandrel: " << message << "\n";
  QMessageBox::critical(nullptr, "VANDREL 2000", message);
  return 1;
}

} // namespace

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i)
    arguments << QString::fromLocal8Bit(argv[i]);
  const platform::CommandLine line = platform::ParseCommandLine(arguments);
  if (line.Help || line.Version || !line.Error.isEmpty()) {
    // Answered without a window, so they work without a display.
    QTextStream out(line.Error.isEmpty() ? stdout : stderr);
    if (!line.Error.isEmpty())
      out << "vandrel: " << line.Error << "\n\n" << platform::UsageText();
    else if (line.Help)
      out << platform::UsageText();
    else
      out << "vandrel " << kVersion << "\n";
    return line.Error.isEmpty() ? 0 : 2;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("VANDREL 2000");
  QApplication::setApplicationVersion(kVersion);
  const QString appDir = QApplication::applicationDirPath();
  std::unique_ptr<TDataModuleVANDREL> data;
  try {
    const platform::StartupOptions options =
        platform::ResolveStartupOptions(line, QProcessEnvironment::systemEnvironment(), appDir);
    data = std::make_unique<TDataModuleVANDREL>(appDir, options.WorkMode, options.DataRoot);
  } catch (const db::Error& e) {
    return Fail(e.Message);
  } catch (const std::exception& e) {
    return Fail(QString::fromStdString(e.what()));
  }
  for (const QString& problem :
       plugins::ObjectUtilsRegistry::Instance().LoadPlugins(appDir + "/plugins"))
    QTextStream(stderr) << "vandrel: plugin not loaded: " << problem << "\n";

  int result = 0;
  {
    TFormMap form(*data);
    form.show();
    result = app.exec();
  }
  data.reset(); // the data module goes last and writes FORMS.INI
  return result;
}
