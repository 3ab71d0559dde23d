#pragma once
// Views named by the user, kept per atlas in BOOKMARKS.INI beside FORMS.INI: a section per data
// root, a line per bookmark ("name=xmin;ymin;xmax;ymax"). The file is written whole and
// atomically after each change the user makes.

#include "core/World.h"

#include <QString>
#include <utility>
#include <vector>

class TBookmarks {
public:
  TBookmarks(const QString& appDir, const QString& dataRoot);
  // The bookmarks of this atlas in the order they were made.
  std::vector<std::pair<QString, TExtent>> List() const;
  // Adds or replaces the bookmark; raises base::FileError naming the file when it cannot be
  // written. Returns the name as kept (characters an INI key cannot hold replaced).
  QString Add(const QString& name, const TExtent& view);
  void Remove(const QString& name);
  static QString KeptName(const QString& name);
  QString FilePath() const { return Path; }

private:
  QString Path, Section;
};
