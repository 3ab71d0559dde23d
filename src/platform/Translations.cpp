#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace platform {

QString DialogLanguage() {
  const QString system = QLocale::system().name().section('_', 0, 0);
  return system == "uk" || system == "ru" ? system : QString("uk");
}

QTranslator* InstallQtTranslations(QCoreApplication& app, const QString& language) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  auto* translator = new QTranslator(&app);
  // "qtbase_uk" holds the dialogs' texts; "qt_uk" is the catalogue that includes it.
  for (const QString& name : {"qtbase_" + language, "qt_" + language})
    if (translator->load(name, folder) && QCoreApplication::installTranslator(translator))
      return translator;
  delete translator;
  return nullptr;
}

} // namespace platform
