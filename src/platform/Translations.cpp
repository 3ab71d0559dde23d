#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <map>

namespace platform {

QString DialogLanguage() {
  const QString system = QLocale::system().name().section('_', 0, 0);
  return system == "uk" || system == "ru" ? system : QString("uk");
}

namespace {

// Texts of the standard dialogs that Qt's catalogues leave in English (the file dialog's kinds
// of entries, named by the icon provider Qt 6 renamed): answered here, the rest passed on.
class DialogGaps : public QTranslator {
public:
  explicit DialogGaps(const QString& language, QObject* parent)
      : QTranslator(parent), Russian(language == "ru") {}
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char* = nullptr,
                    int = -1) const override {
    if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
    static const std::map<QByteArray, std::pair<const char*, const char*>> kinds = {
        {"Drive", {"Диск", "Диск"}},      {"File", {"Файл", "Файл"}},
        {"Folder", {"Тека", "Папка"}},    {"%1 File", {"Файл %1", "Файл %1"}},
        {"Shortcut", {"Ярлик", "Ярлык"}}, {"Unknown", {"Невідомо", "Неизвестно"}}};
    const auto found = kinds.find(source);
    if (found == kinds.end()) return {};
    return QString::fromUtf8(Russian ? found->second.second : found->second.first);
  }

private:
  bool Russian;
};

} // namespace

QTranslator* InstallQtTranslations(QCoreApplication& app, const QString& language) {
  QCoreApplication::installTranslator(new DialogGaps(language, &app));
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
