#pragma once
// Helpers of the table-store tests: a scratch directory per test, the corpus of real files
// written by other programs, and copies of corpus tables to edit.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace testing_support {

// The root of the third-party corpus.
QString CorpusPath(const QString& relative = QString());

// Copies the corpus table `relative` (and its .PX / .MB companions) into `dir`; returns the
// path of the copied table.
QString CopyCorpusTable(const QString& relative, const QString& dir);

QByteArray ReadAll(const QString& path);
void WriteAll(const QString& path, const QByteArray& bytes);

} // namespace testing_support

namespace testing_support {
// The .PX beside a table.
QString ParadoxSidePathForTest(const QString& tablePath);
} // namespace testing_support
