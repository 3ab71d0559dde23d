#include "SymbolFonts.h"

#include "base/TextCodec.h"

#include <QFontDatabase>
#include <map>
#include <mutex>

namespace gfx {
namespace {

const char* const kTable =
#include "SymbolFontsData.inc"
    ;

using SignTable = std::map<QString, std::map<unsigned char, QString>>; // by lower-case font name

const SignTable& Signs() {
  static const SignTable table = [] {
    SignTable t;
    std::map<unsigned char, QString>* font = nullptr;
    for (const QString& raw : QString::fromUtf8(kTable).split('\n')) {
      const QString line = raw.trimmed();
      if (line.isEmpty() || line.startsWith('#')) continue;
      if (line.startsWith('[') && line.endsWith(']')) {
        font = &t[line.mid(1, line.size() - 2).toLower()];
        continue;
      }
      const QStringList parts = line.split(' ', Qt::SkipEmptyParts);
      bool ok = false;
      const uint code = parts.value(0).toUInt(&ok, 16);
      if (!font || !ok || code > 0xFF) continue;
      QString sign;
      for (qsizetype i = 1; i < parts.size(); ++i) {
        const char32_t point = parts[i].toUInt(&ok, 16);
        if (ok) sign += QString::fromUcs4(&point, 1);
      }
      if (!sign.isEmpty()) (*font)[static_cast<unsigned char>(code)] = sign;
    }
    return t;
  }();
  return table;
}

} // namespace

QStringList KnownSymbolFonts() {
  // The names as the table spells them, in its order.
  QStringList names;
  for (const QString& raw : QString::fromUtf8(kTable).split('\n')) {
    const QString line = raw.trimmed();
    if (line.startsWith('[') && line.endsWith(']')) names << line.mid(1, line.size() - 2);
  }
  return names;
}

bool IsKnownSymbolFont(const QString& font) {
  return Signs().count(font.trimmed().toLower()) > 0;
}

QString SymbolFontSign(const QString& font, unsigned char code) {
  const auto f = Signs().find(font.trimmed().toLower());
  if (f == Signs().end()) return QString();
  const auto s = f->second.find(code);
  return s == f->second.end() ? QString() : s->second;
}

bool FontInstalled(const QString& family) {
  // Looked up once per name: the font list does not change while the program runs.
  static std::mutex lock;
  static std::map<QString, bool> known;
  const QString key = family.trimmed().toLower();
  std::lock_guard<std::mutex> guard(lock);
  const auto it = known.find(key);
  if (it != known.end()) return it->second;
  bool installed = false;
  for (const QString& f : QFontDatabase::families())
    if (f.compare(family.trimmed(), Qt::CaseInsensitive) == 0) installed = true;
  known[key] = installed;
  return installed;
}

bool DrawsThroughSymbolTable(const QString& font) {
  return IsKnownSymbolFont(font) && !FontInstalled(font);
}

QString SymbolFontText(const QString& font, const QString& text) {
  if (!DrawsThroughSymbolTable(font)) return text;
  QString signs;
  for (const QChar c : text) {
    const QByteArray byte = base::Encode(QString(c), base::CodePage::Cp1251);
    const QString sign =
        byte.size() == 1 ? SymbolFontSign(font, static_cast<unsigned char>(byte[0])) : QString();
    signs += sign.isEmpty() ? QString(c) : sign;
  }
  return signs;
}

QString SymbolFontLetters(const QString& font, const QString& shown) {
  if (!DrawsThroughSymbolTable(font)) return shown;
  const auto table = Signs().find(font.trimmed().toLower());
  QString letters;
  for (qsizetype at = 0; at < shown.size();) {
    // The longest sign that starts here gives its code; anything else is a letter as typed.
    qsizetype matched = 0;
    unsigned char code = 0;
    for (const auto& [c, sign] : table->second)
      if (sign.size() > matched && QStringView(shown).mid(at).startsWith(sign)) {
        matched = sign.size();
        code = c;
      }
    if (matched == 0) {
      letters += shown[at++];
      continue;
    }
    letters += base::Decode(QByteArray(1, char(code)), base::CodePage::Cp1251);
    at += matched;
  }
  return letters;
}

QFont SymbolDisplayFont(const QString& family, int pixels) {
  QFont f(family);
  if (DrawsThroughSymbolTable(family)) f.setFamilies(SymbolSignFamilies());
  f.setPixelSize(pixels);
  return f;
}

QStringList SymbolSignFamilies() {
  return {"Symbola", "DejaVu Sans", "OpenSymbol", "Noto Sans Symbols 2", "Noto Sans Symbols"};
}

} // namespace gfx
