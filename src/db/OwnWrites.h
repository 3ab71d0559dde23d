#pragma once
// The files this program has written, each with its signature right after the write: a file
// found with another signature was written by someone else (another user of a shared atlas).

#include <QString>

namespace db {

// Records the signature `path` and the files beside it that share its base name (a table's
// index and blob files) have now.
void NoteOwnWrite(const QString& path);
// Whether `path` is as this program's last write of it left it.
bool IsOwnState(const QString& path, const QString& signature);

} // namespace db
