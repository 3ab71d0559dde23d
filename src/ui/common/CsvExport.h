#pragma once
// Saving a window's rows as a CSV file the user names (the file dialog asks before it replaces
// a file); the file is written whole or not at all, and a failure is said with the file's name.

#include <QByteArray>
#include <QString>

class QWidget;

void SaveCsvAs(QWidget* parent, const QString& suggestedName, const QByteArray& csv);
