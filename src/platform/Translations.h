#pragma once
// Qt's own translations, so that the standard dialogs (files, colours, questions) speak the
// program's language instead of English.

#include <QString>

class QCoreApplication;
class QTranslator;

namespace platform {

// The language for the standard dialogs: the system's when it is Ukrainian or Russian (the
// languages of the program's own texts), else Ukrainian.
QString DialogLanguage();
// Installs Qt's translation catalogue of `language` (from Qt's translations folder) into the
// application and returns it (owned by the application); null when the catalogue is not there
// (the dialogs then stay in English).
QTranslator* InstallQtTranslations(QCoreApplication& app, const QString& language);

} // namespace platform
