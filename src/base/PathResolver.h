#pragma once
// Case-insensitive file names. The atlases were made on a file system that ignores letter case,
// so `CLASSREEST.DB`, `classreest.DB` and `ClassReest.db` all name one file; on Linux the name
// is looked up in its directory without regard to case. Windows separators ("\") are accepted.

#include <QString>
#include <optional>

namespace base {

// The existing entry of `dir` whose name equals `name` ignoring case (an exact match wins);
// `name` may contain sub-directories, each resolved the same way. Returns the full path.
std::optional<QString> FindPathIgnoreCase(const QString& dir, const QString& name);

// As FindPathIgnoreCase, but when nothing exists returns `dir` + "/" + `name` as given, so a
// caller can create the file or report the path it looked for.
QString ResolvePath(const QString& dir, const QString& name);

// "a\\b/c" -> "a/b/c".
QString NormalizeSeparators(const QString& path);

// The extension of a file name (its last part after a dot, the dot included), upper-cased: ".SHP";
// empty when the name has none (a dot in a folder's name does not count).
QString FileExtension(const QString& name);
// `name` with its extension replaced by `extension` (".DBF"), or with it added when it has none.
QString ChangeExtension(const QString& name, const QString& extension);

} // namespace base
