#pragma once
// Windows-style INI files: sections and keys compared without regard to case, values read with
// defaults, and the file written back whole and atomically with its comments, order and CR LF
// line ends kept. Text is Windows-1251.

#include <QString>
#include <QStringList>

namespace base {

class IniFile {
public:
  // Reads `path`; a missing or unreadable file is an empty INI (nothing is raised).
  explicit IniFile(QString path);

  QString ReadString(const QString& section, const QString& key, const QString& def) const;
  int ReadInteger(const QString& section, const QString& key, int def) const;
  void WriteString(const QString& section, const QString& key, const QString& value);
  void WriteInteger(const QString& section, const QString& key, int value);
  bool HasKey(const QString& section, const QString& key) const;
  // The section's keys in file order (comments left out).
  QStringList Keys(const QString& section) const;
  void DeleteKey(const QString& section, const QString& key);

  // Writes the file through a temporary file; raises FileError when that fails.
  void Save() const;

  const QString& Path() const { return FilePath; }

private:
  int FindSection(const QString& section) const;          // line of "[section]", or -1
  int FindKey(int sectionLine, const QString& key) const; // line of "key=", or -1
  int SectionEnd(int sectionLine) const;                  // line after the section's last entry

  QString FilePath;
  QStringList Lines;
};

} // namespace base
