#pragma once
// Windows-style INI files: sections and keys compared without regard to case, values read with
// defaults, and the file written back whole and atomically with its comments, order and CR LF
// line ends kept. Text is Windows-1251. Saving applies this object's changes (the keys written
// with another value, the keys deleted) to the file as it is then, under the file's lock, so
// that two programs saving at once keep both sets of changes where they touch different keys.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

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

  // Writes the file through a temporary file; raises FileError when that fails (or when another
  // program holds the file for more than five seconds).
  void Save();

  const QString& Path() const { return FilePath; }

private:
  void Parse(const QByteArray& bytes);
  QByteArray Encoded() const;                             // the lines as the file holds them
  int FindSection(const QString& section) const;          // line of "[section]", or -1
  int FindKey(int sectionLine, const QString& key) const; // line of "key=", or -1
  int SectionEnd(int sectionLine) const;                  // line after the section's last entry

  // One change since reading or saving: a key written (Value) or deleted (no Value).
  struct Change {
    QString Section, Key;
    std::optional<QString> Value;
  };
  void Apply(const Change& change);

  QString FilePath;
  QStringList Lines;
  std::vector<Change> Changes;
};

} // namespace base
