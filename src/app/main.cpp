// The program entry: the data module first, then the main window, then the message loop.

#include "BatchCommands.h"
#include "data/DataModule.h"

#include "base/UserMessages.h"
#include "base/Warnings.h"
#include "gis/GdalLayer.h"
#include "gis/NetworkSources.h"
#include "layers/LayerKinds.h"
#include "pg/TableStore.h"
#include "platform/StartupOptions.h"
#include "platform/Translations.h"
#include "plugins/ObjectUtils.h"
#include "ui/common/FormMsg.h"
#include "ui/common/GuardedApplication.h"
#include "ui/main/FormMap.h"
#include "ui/main/FormOpenAtlas.h"
#include "ui/main/ObjectListLink.h"
#include "ui/objects/FormSelectInfo.h"
#include "ui/search/FormObjList.h"

#include "db/Error.h"
#include "db/TableLock.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QMessageBox>
#include <QTextStream>
#include <QTimer>
#include <memory>

namespace {

constexpr const char* kVersion = "0.2.0";

// The message boxes of the program.
class DialogMessages : public base::UserMessages {
public:
  void ShowMessage(const QString& text) override {
    QString shown = text;
    shown.replace('\r', '\n');
    QMessageBox::information(QApplication::activeWindow(), QApplication::applicationName(), shown);
  }
  bool Confirm(const QString& text) override {
    return QMessageBox::question(QApplication::activeWindow(), QApplication::applicationName(),
                                 text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
  }
  bool Ask(const QString& text) override {
    return QMessageBox::question(QApplication::activeWindow(), QApplication::applicationName(),
                                 text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  }
  SaveAnswer AskToSave(const QString& text) override {
    switch (QMessageBox::question(
        QApplication::activeWindow(), QApplication::applicationName(), text,
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save)) {
    case QMessageBox::Save:
      return SaveAnswer::Save;
    case QMessageBox::Discard:
      return SaveAnswer::Discard;
    default:
      return SaveAnswer::Cancel;
    }
  }
};

int Fail(const QString& message, bool quiet) {
  QTextStream(stderr) << "vandrel: " << message << "\n";
  if (!quiet) QMessageBox::critical(nullptr, "VANDREL 2000", message);
  return 1;
}

// Saves a picture of `window` once its map has painted, then closes it the normal way.
void TakeScreenshot(TFormMap& window, const QString& file) {
  auto* timer = new QTimer(&window);
  QObject::connect(timer, &QTimer::timeout, &window, [&window, file, timer] {
    if (window.Map->NeedRedraw || window.Map->DrawingInSteps()) {
      // Not painted yet: finish it now (a display without a window manager may never expose it).
      window.Map->Settle();
      return;
    }
    timer->stop();
    if (!window.grab().save(file)) QTextStream(stderr) << "vandrel: cannot save " << file << "\n";
    window.close();
  });
  timer->start(200);
}

// With VANDREL_REPORT_FIRST_PICTURE set, writes to stderr the wall clock (milliseconds since the
// epoch) at which the window's first picture of the atlas was finished, then closes the window:
// bench/startup.sh measures the start-up with it.
void ReportFirstPicture(TFormMap& window) {
  auto* timer = new QTimer(&window);
  QObject::connect(timer, &QTimer::timeout, &window, [&window, timer] {
    const TFAMap& map = *window.Map;
    if (map.NeedRedraw || map.DrawingInSteps() || map.BackBuffer.isNull()) return;
    timer->stop();
    QTextStream(stderr) << "first picture at " << QDateTime::currentMSecsSinceEpoch() << "\n";
    window.close();
  });
  timer->start(1);
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

  if (line.AllowNetworkSources) gis::TNetworkSources::AllowForThisRun();
  pg::RegisterPostgresAtlas(); // a data root may be an atlas in PostgreSQL

  if (line.IdentifyAt) {
    // Without a window, but with fonts: the pick boxes are measured in text.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    RegisterLayerKinds();
    RegisterGdalLayerKinds();
    const QString appDir = QCoreApplication::applicationDirPath();
    plugins::ObjectUtilsRegistry::Instance().LoadPlugins(appDir + "/plugins");
    return RunIdentify(line, appDir);
  }

  if (line.IsolatePipe || line.CheckNetwork) {
    QCoreApplication app(argc, argv);
    return RunNetworkCommand(line, QCoreApplication::applicationDirPath());
  }

  if (line.CalcTopology || line.BuildIndex) {
    // Without a window: no display is needed.
    QCoreApplication app(argc, argv);
    RegisterLayerKinds();
    RegisterGdalLayerKinds();
    const QString appDir = QCoreApplication::applicationDirPath();
    plugins::ObjectUtilsRegistry::Instance().LoadPlugins(appDir + "/plugins");
    return RunBatchCommand(line, appDir);
  }

  TGuardedApplication app(argc, argv);
  QApplication::setApplicationName("VANDREL 2000");
  QApplication::setApplicationVersion(kVersion);
  // The standard dialogs in the program's language.
  platform::InstallQtTranslations(app, platform::DialogLanguage());
  const bool quiet =
      !line.Screenshot.isEmpty(); // a picture taken unattended: messages go to stderr
  DialogMessages dialogs;
  if (!quiet) base::UserMessages::Install(&dialogs);
  // A layer on the network is opened once the user allowed it for the atlas.
  if (!quiet)
    gis::TNetworkSources::SetQuestion([](const QString& atlas, const QString& address) {
      return QMessageBox::question(
                 QApplication::activeWindow(), QApplication::applicationName(),
                 QString::fromUtf8("Атлас %1 має шари з джерел у мережі (%2). Відкривати їх?\n\n"
                                   "Програма звертатиметься до цих адрес щоразу, як показує такі "
                                   "шари. Відповідь запам'ятовується для цього атласу.")
                     .arg(atlas, address),
                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    });
  // What is odd about a table (but read) is said in a message, shown on the windows' thread
  // whichever thread read the table.
  if (!quiet)
    base::SetWarningReceiver([&app](const QString& text) {
      QMetaObject::invokeMethod(
          &app, [text] { base::UserMessages::Current().ShowMessage(text); }, Qt::QueuedConnection);
    });
  RegisterLayerKinds();
  RegisterGdalLayerKinds();
  // A table another user is writing is waited for with the busy cursor.
  db::TableLock::SetWaitHook([](bool waiting) {
    if (waiting)
      QApplication::setOverrideCursor(Qt::WaitCursor);
    else
      QApplication::restoreOverrideCursor();
  });
  const QString appDir = QApplication::applicationDirPath();
  std::unique_ptr<TDataModuleVANDREL> data;
  platform::StartupOptions options;
  try {
    options =
        platform::ResolveStartupOptions(line, QProcessEnvironment::systemEnvironment(), appDir);
  } catch (const std::exception& e) {
    return Fail(QString::fromStdString(e.what()), quiet);
  }
  // A data root that cannot be opened offers another atlas (the last ones opened, or a folder)
  // instead of ending the program; unattended, it ends it.
  for (;;) {
    QString problem;
    try {
      data = std::make_unique<TDataModuleVANDREL>(appDir, options.WorkMode, options.DataRoot);
      break;
    } catch (const db::Error& e) {
      problem = e.Message;
    } catch (const std::exception& e) {
      problem = QString::fromStdString(e.what());
    }
    if (quiet) return Fail(problem, quiet);
    QTextStream(stderr) << "vandrel: " << problem << "\n";
    TFormOpenAtlas choice(problem);
    if (choice.exec() != QDialog::Accepted) return 1;
    options.DataRoot = choice.Chosen();
  }
  TRecentAtlases::Remember(data->DataRoot); // the program's own atlas too, to come back to
  for (const QString& problem :
       plugins::ObjectUtilsRegistry::Instance().LoadPlugins(appDir + "/plugins"))
    QTextStream(stderr) << "vandrel: plugin not loaded: " << problem << "\n";

  int result = 0;
  {
    TFormMap form(*data);
    TFormSelectInfo info(*data, &form);
    form.SetSelectInfo(&info);
    TFormObjList objList(*data, *form.Map, &form);
    ConnectObjectList(objList, form, info);
    TFormMsg msg(*data, &form);
    form.SetFormMsg(&msg);
    form.show();
    if (!line.Screenshot.isEmpty()) TakeScreenshot(form, line.Screenshot);
    if (qEnvironmentVariableIsSet("VANDREL_REPORT_FIRST_PICTURE")) ReportFirstPicture(form);
    result = app.exec();
  }
  base::UserMessages::Install(nullptr);
  base::SetWarningReceiver({});
  data.reset(); // the data module goes last and writes FORMS.INI
  return result;
}
