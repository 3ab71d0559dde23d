#include "TextCodec.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>
#include <array>
#include <cstring>
#include <unordered_map>

namespace base {
namespace {

using HighHalf = std::array<char16_t, 128>; // characters of the bytes 0x80..0xFF

// Bytes a code page leaves undefined map to the C1 control of the same number, so they survive
// a round trip unchanged.
constexpr HighHalf kCp1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

constexpr HighHalf kCp866 = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B,
    0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433,
    0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B,
    0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0};

constexpr HighHalf MakeCp1252() {
  HighHalf t{};
  constexpr char16_t low[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  for (int i = 0; i < 32; ++i)
    t[i] = low[i];
  for (int i = 32; i < 128; ++i)
    t[i] = char16_t(0x80 + i);
  return t;
}
constexpr HighHalf kCp1252 = MakeCp1252();

const HighHalf* OwnTable(CodePage cp) {
  switch (cp) {
  case CodePage::Cp1251:
    return &kCp1251;
  case CodePage::Cp866:
    return &kCp866;
  case CodePage::Cp1252:
    return &kCp1252;
  default:
    return nullptr;
  }
}

const char* QtName(CodePage cp) {
  switch (cp) {
  case CodePage::Utf8:
    return "UTF-8";
  case CodePage::Iso8859_5:
    return "ISO-8859-5";
  case CodePage::Cp437:
    return "IBM437";
  case CodePage::Cp850:
    return "IBM850";
  case CodePage::Cp1250:
    return "windows-1250";
  default:
    return "windows-1251";
  }
}

// Reverse map of one of our own tables, built once for all of them: the first texts may be
// encoded by several drawing threads at once, and a map filled on first use by two of them at
// a time corrupted the heap.
const std::unordered_map<char16_t, char>& ReverseTable(CodePage cp) {
  using Reverse = std::unordered_map<char16_t, char>;
  static const std::array<Reverse, 3> maps = [] {
    std::array<Reverse, 3> built;
    const CodePage pages[3] = {CodePage::Cp1251, CodePage::Cp866, CodePage::Cp1252};
    for (size_t slot = 0; slot < 3; ++slot) {
      const HighHalf* t = OwnTable(pages[slot]);
      for (int i = 0; i < 128; ++i)
        built[slot].emplace((*t)[i], char(0x80 + i));
    }
    return built;
  }();
  return maps[cp == CodePage::Cp1251 ? 0 : cp == CodePage::Cp866 ? 1 : 2];
}

} // namespace

CodePage CodePageFromNumber(int number, CodePage fallback) {
  switch (number) {
  case 1251:
    return CodePage::Cp1251;
  case 866:
    return CodePage::Cp866;
  case 1252:
    return CodePage::Cp1252;
  case 437:
    return CodePage::Cp437;
  case 850:
    return CodePage::Cp850;
  case 1250:
    return CodePage::Cp1250;
  case 65001:
    return CodePage::Utf8;
  default:
    return fallback;
  }
}

bool CodePageFromName(const QString& name, CodePage& result) {
  QString n = name.trimmed().toUpper();
  n.remove(' ');
  n.remove('-');
  n.remove('_');
  for (const char* prefix : {"ANSI", "WINDOWS", "CP", "OEM", "IBM"})
    if (n.startsWith(prefix) && n.size() > qsizetype(strlen(prefix)) &&
        n[qsizetype(strlen(prefix))].isDigit())
      n = n.mid(qsizetype(strlen(prefix)));
  if (n == "UTF8") return result = CodePage::Utf8, true;
  if (n == "88595" || n == "ISO88595") return result = CodePage::Iso8859_5, true;
  bool ok = false;
  const int number = n.toInt(&ok);
  if (!ok) return false;
  const CodePage sentinel = CodePage::Utf8;
  const CodePage cp = CodePageFromNumber(number, sentinel);
  if (cp == sentinel) return false;
  result = cp;
  return true;
}

QString CodePageName(CodePage cp) {
  switch (cp) {
  case CodePage::Cp1251:
    return "1251";
  case CodePage::Cp866:
    return "866";
  case CodePage::Cp1252:
    return "1252";
  case CodePage::Utf8:
    return "UTF-8";
  case CodePage::Iso8859_5:
    return "ISO-8859-5";
  case CodePage::Cp437:
    return "437";
  case CodePage::Cp850:
    return "850";
  case CodePage::Cp1250:
    return "1250";
  }
  return "1251";
}

QString Decode(const char* bytes, qsizetype length, CodePage cp) {
  if (const HighHalf* table = OwnTable(cp)) {
    QString out(length, Qt::Uninitialized);
    QChar* dst = out.data();
    for (qsizetype i = 0; i < length; ++i) {
      const auto b = static_cast<unsigned char>(bytes[i]);
      dst[i] = b < 0x80 ? QChar(b) : QChar((*table)[b - 0x80]);
    }
    return out;
  }
  QStringDecoder decoder(QtName(cp));
  if (!decoder.isValid()) return Decode(bytes, length, CodePage::Cp1251);
  return decoder.decode(QByteArrayView(bytes, length));
}

QByteArray Encode(const QString& text, CodePage cp) {
  if (OwnTable(cp)) {
    const auto& reverse = ReverseTable(cp);
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
      const char16_t c = text[i].unicode();
      if (c < 0x80) {
        out[i] = char(c);
        continue;
      }
      const auto it = reverse.find(c);
      out[i] = it == reverse.end() ? '?' : it->second;
    }
    return out;
  }
  QStringEncoder encoder(QtName(cp), QStringConverter::Flag::Default);
  if (!encoder.isValid()) return Encode(text, CodePage::Cp1251);
  return encoder.encode(text);
}

QString Unencodable(const QString& text, CodePage cp) {
  if (cp == CodePage::Utf8) return {};
  QString missing;
  const QList<uint> points = text.toUcs4();
  for (const uint point : points) {
    if (point < 0x80) continue;
    const QString one = QString::fromUcs4(reinterpret_cast<const char32_t*>(&point), 1);
    if (Decode(Encode(one, cp), cp) != one && !missing.contains(one)) missing += one;
  }
  return missing;
}

} // namespace base
