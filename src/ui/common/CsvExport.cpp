#include "CsvExport.h"

#include "base/AtomicFile.h"
#include "base/UserMessages.h"

#include <QFileDialog>

void SaveCsvAs(QWidget* parent, const QString& suggestedName, const QByteArray& csv) {
  const QString path =
      QFileDialog::getSaveFileName(parent, QString::fromUtf8("Експорт у CSV"), suggestedName,
                                   QString::fromUtf8("Таблиці CSV (*.csv)"));
  if (path.isEmpty()) return;
  try {
    base::WriteFileAtomically(path, csv);
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(
        QString::fromUtf8("Не вдається записати %1: %2").arg(path, QString::fromUtf8(e.what())));
  }
}
