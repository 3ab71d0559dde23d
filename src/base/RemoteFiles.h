#pragma once
// Files of an atlas that are not on a disk: a path such as
// "postgresql:///city?host=/run/postgresql#BASE/ATLAS.INI" names a file an atlas kept in a
// database holds. A kind registers itself (the program and the tools do so at start); the
// program's own file readers (mapped files, INI files, case-insensitive names, signatures) ask
// it for such paths, so that every reader of the atlas reads either.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace base {

struct RemoteFileKind {
  std::function<bool(const QString& path)> Claims;
  // The file's bytes; nullopt when there is no such file. Raises FileError when the store
  // cannot be read.
  std::function<std::optional<QByteArray>(const QString& path)> Read;
  // Replaces the file with what `change` makes of its content as it is now (nullopt: none yet),
  // with no other writer in between. Raises FileError when it cannot be written.
  std::function<void(const QString& path,
                     const std::function<QByteArray(const std::optional<QByteArray>&)>& change)>
      Rewrite;
  // The names of the files and folders directly in `directory`.
  std::function<QStringList(const QString& directory)> List;
  // Changes whenever the file changes; empty when there is no such file.
  std::function<QString(const QString& path)> Signature;
  // How many changes the store has told of for the files under `directory` so far, taken
  // without asking the store; and the socket that becomes readable when it tells of one
  // (-1: none), for a watcher to wait on.
  std::function<uint64_t(const QString& directory)> ChangesTold;
  std::function<int(const QString& directory)> ChangeSocket;
  // Why this user may not change the atlas at `location` (empty: may), as the store decides.
  std::function<QString(const QString& location)> ReadOnlyReason;
  // A short name of the atlas at `location` for titles and file names ("city").
  std::function<QString(const QString& location)> Name;
  // The file's bytes without a copy, where the store holds them in memory already (a geometry
  // file made from its table): `Owner` keeps them alive. Optional: without it, Read.
  struct Bytes {
    std::shared_ptr<const void> Owner;
    std::span<const unsigned char> Data;
  };
  std::function<std::optional<Bytes>(const QString& path)> Map;
};

void RegisterRemoteFileKind(RemoteFileKind kind);
// The kind whose path `path` is; null for a file on a disk.
const RemoteFileKind* RemoteFileKindOf(const QString& path);

// `name` in the folder `directory`: "dir/name", and "location#name" for a store's location
// that names no folder yet.
QString ChildPath(const QString& directory, const QString& name);

// A data root as it is kept and compared: a folder made absolute, a store's location as named.
QString AbsoluteRoot(const QString& root);
// The atlas's short name: the folder's name, or the store's name for it.
QString RootName(const QString& root);

// Whether a file or folder exists, on a disk or in a store.
bool PathExists(const QString& path);
// The whole file, on a disk or in a store; nullopt when it cannot be read.
std::optional<QByteArray> ReadWholeFile(const QString& path);

} // namespace base
