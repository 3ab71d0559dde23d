#pragma once
// Single-byte code pages of the atlas files (Windows-1251 above all, also 866 and 1252) to and
// from UTF-8 QStrings. Every byte decodes to one character and back, so text that is read and
// written again keeps its bytes. Other code pages that files declare (UTF-8, ISO-8859-5, 437,
// 1250, ...) are decoded through Qt's converters where Qt knows them.

#include <QByteArray>
#include <QString>

namespace base {

enum class CodePage {
  Cp1251, // Windows Cyrillic: the atlas's own text
  Cp866,  // DOS Cyrillic
  Cp1252, // Windows Western
  Utf8,
  Iso8859_5,
  Cp437,
  Cp850,
  Cp1250,
};

// The code page of a Windows/DOS code-page number (1251, 866, 1252, 437, 850, 1250); nullopt-like
// `Fallback` for numbers the program does not know.
CodePage CodePageFromNumber(int number, CodePage fallback);

// The code page named by a `.cpg` file ("1251", "CP1251", "UTF-8", "88595", "ANSI 1251", ...);
// returns false when the name is not understood.
bool CodePageFromName(const QString& name, CodePage& result);

QString CodePageName(CodePage cp);

QString Decode(const char* bytes, qsizetype length, CodePage cp);
inline QString Decode(const QByteArray& bytes, CodePage cp) {
  return Decode(bytes.constData(), bytes.size(), cp);
}
// Characters the code page cannot hold become '?'.
QByteArray Encode(const QString& text, CodePage cp);
// The characters of `text` the code page cannot hold, each once; empty when it holds them all.
QString Unencodable(const QString& text, CodePage cp);

} // namespace base
