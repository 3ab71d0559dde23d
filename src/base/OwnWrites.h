#pragma once
// The files this program has written, each with its signature right after the write: a file
// found with another signature was written by someone else (another user of a shared atlas).

#include <QString>

namespace base {

// A file's signature: its inode, modification time (nanoseconds) and size. A rewrite renamed
// into place changes the inode; a change in place the time or the size (within one tick of the
// file system's clock it may keep both).
QString FileSignature(const QString& path);

// Records the signature `path` has now (a file written whole by this program).
void NoteOwnFile(const QString& path);
// Records `signature` as the one this program's write left `path` with (a store's file, whose
// signature the store told in the write's transaction).
void NoteOwnState(const QString& path, const QString& signature);
// Records the signatures of `path` and of the files beside it that share its base name (a
// table's index and blob files), written under the table's lock.
void NoteOwnWrite(const QString& path);
// Whether `path` is as this program's last write of it left it.
bool IsOwnState(const QString& path, const QString& signature);

} // namespace base
