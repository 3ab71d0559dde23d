#include "IniFile.h"

#include "AtomicFile.h"
#include "FileError.h"
#include "FileLock.h"
#include "TextCodec.h"

#include "RemoteFiles.h"

#include <QFile>

namespace base {
namespace {

bool IsSectionLine(const QString& line) {
  const QString t = line.trimmed();
  return t.startsWith('[') && t.endsWith(']');
}

QString SectionName(const QString& line) {
  const QString t = line.trimmed();
  return t.mid(1, t.size() - 2).trimmed();
}

} // namespace

IniFile::IniFile(QString path) : FilePath(std::move(path)) {
  if (FilePath.isEmpty()) return;
  if (const std::optional<QByteArray> bytes = ReadWholeFile(FilePath)) Parse(*bytes);
}

void IniFile::Parse(const QByteArray& bytes) {
  QString text = Decode(bytes, CodePage::Cp1251);
  text.replace("\r\n", "\n");
  Lines = text.split('\n');
  if (!Lines.isEmpty() && Lines.last().isEmpty()) Lines.removeLast();
}

int IniFile::FindSection(const QString& section) const {
  for (int i = 0; i < Lines.size(); ++i)
    if (IsSectionLine(Lines[i]) && SectionName(Lines[i]).compare(section, Qt::CaseInsensitive) == 0)
      return i;
  return -1;
}

int IniFile::SectionEnd(int sectionLine) const {
  int end = sectionLine + 1;
  while (end < Lines.size() && !IsSectionLine(Lines[end]))
    ++end;
  // Keep blank lines that separate sections after the new entries.
  while (end > sectionLine + 1 && Lines[end - 1].trimmed().isEmpty())
    --end;
  return end;
}

int IniFile::FindKey(int sectionLine, const QString& key) const {
  for (int i = sectionLine + 1; i < Lines.size() && !IsSectionLine(Lines[i]); ++i) {
    const QString& line = Lines[i];
    const qsizetype eq = line.indexOf('=');
    if (eq < 0 || line.trimmed().startsWith(';')) continue;
    if (line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

bool IniFile::HasKey(const QString& section, const QString& key) const {
  const int s = FindSection(section);
  return s >= 0 && FindKey(s, key) >= 0;
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
  const int s = FindSection(section);
  if (s < 0) return def;
  const int k = FindKey(s, key);
  if (k < 0) return def;
  const QString& line = Lines[k];
  return line.mid(line.indexOf('=') + 1).trimmed();
}

int IniFile::ReadInteger(const QString& section, const QString& key, int def) const {
  bool ok = false;
  QString text = ReadString(section, key, QString());
  int value = 0;
  if (text.startsWith("0x", Qt::CaseInsensitive))
    value = text.mid(2).toInt(&ok, 16);
  else
    value = text.toInt(&ok);
  return ok ? value : def;
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value) {
  if (HasKey(section, key) && ReadString(section, key, QString()) == value.trimmed()) return;
  Changes.push_back({section, key, value});
  Apply(Changes.back());
}

void IniFile::Apply(const Change& change) {
  const QString &section = change.Section, &key = change.Key;
  if (!change.Value) {
    const int s = FindSection(section);
    const int k = s < 0 ? -1 : FindKey(s, key);
    if (k >= 0) Lines.removeAt(k);
    return;
  }
  const QString& value = *change.Value;
  int s = FindSection(section);
  if (s < 0) {
    if (!Lines.isEmpty() && !Lines.last().trimmed().isEmpty()) Lines.append(QString());
    Lines.append("[" + section + "]");
    s = int(Lines.size()) - 1;
  }
  const int k = FindKey(s, key);
  const QString line = key + "=" + value;
  if (k >= 0)
    Lines[k] = line;
  else
    Lines.insert(SectionEnd(s), line);
}

QStringList IniFile::Keys(const QString& section) const {
  QStringList keys;
  const int s = FindSection(section);
  if (s < 0) return keys;
  for (int i = s + 1; i < Lines.size() && !IsSectionLine(Lines[i]); ++i) {
    const qsizetype eq = Lines[i].indexOf('=');
    if (eq > 0 && !Lines[i].trimmed().startsWith(';')) keys << Lines[i].left(eq).trimmed();
  }
  return keys;
}

void IniFile::DeleteKey(const QString& section, const QString& key) {
  if (!HasKey(section, key)) return;
  Changes.push_back({section, key, std::nullopt});
  Apply(Changes.back());
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value) {
  WriteString(section, key, QString::number(value));
}

QByteArray IniFile::Encoded() const {
  QString text;
  for (const QString& line : Lines)
    text += line + "\r\n";
  return Encode(text, CodePage::Cp1251);
}

void IniFile::Save() {
  if (const RemoteFileKind* remote = RemoteFileKindOf(FilePath)) {
    IniFile current{QString()};
    remote->Rewrite(FilePath, [&](const std::optional<QByteArray>& now) {
      current.Lines.clear();
      if (now) current.Parse(*now);
      for (const Change& change : Changes)
        current.Apply(change);
      return current.Encoded();
    });
    Lines = current.Lines;
    Changes.clear();
    return;
  }
  const FileLock lock(FilePath, 5000, true);
  if (lock.Result() == FileLock::Outcome::TimedOut)
    throw FileError(FilePath,
                    QString::fromUtf8("файл зайнятий іншою програмою; зміни не записано"));
  if (lock.Result() == FileLock::Outcome::ReadOnly)
    throw FileError(FilePath, QString::fromUtf8("файл лише для читання (немає права на запис); "
                                                "зміни не записано"));
  // The file as another program may have left it since it was read, with this one's changes.
  IniFile current(FilePath);
  for (const Change& change : Changes)
    current.Apply(change);
  WriteFileAtomically(FilePath, current.Encoded());
  Lines = current.Lines;
  Changes.clear();
}

} // namespace base
