#include "AsciiName.h"

#include <map>

namespace {

// Ukrainian letters as the national romanisation writes them inside a word, and the Russian
// letters Ukrainian lacks.
const std::map<char16_t, const char*>& Letters() {
  static const std::map<char16_t, const char*> letters = {
      {u'а', "a"}, {u'б', "b"},  {u'в', "v"},  {u'г', "h"},  {u'ґ', "g"},  {u'д', "d"},
      {u'е', "e"}, {u'є', "ie"}, {u'ж', "zh"}, {u'з', "z"},  {u'и', "y"},  {u'і', "i"},
      {u'ї', "i"}, {u'й', "i"},  {u'к', "k"},  {u'л', "l"},  {u'м', "m"},  {u'н', "n"},
      {u'о', "o"}, {u'п', "p"},  {u'р', "r"},  {u'с', "s"},  {u'т', "t"},  {u'у', "u"},
      {u'ф', "f"}, {u'х', "kh"}, {u'ц', "ts"}, {u'ч', "ch"}, {u'ш', "sh"}, {u'щ', "shch"},
      {u'ь', ""},  {u'ю', "iu"}, {u'я', "ia"}, {u'ё', "io"}, {u'ы', "y"},  {u'э', "e"},
      {u'ъ', ""},  {u'\'', ""},  {u'’', ""},   {u'ʼ', ""}};
  return letters;
}

} // namespace

QString AsciiName(const QString& text) {
  QString name;
  for (const QChar c : text.toLower()) {
    if (const auto letter = Letters().find(c.unicode()); letter != Letters().end())
      name += QString::fromLatin1(letter->second);
    else if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_')
      name += c;
    else
      name += '_';
  }
  if (name.isEmpty() || name[0].isDigit()) name.prepend("layer_");
  return name;
}

QString UniqueAsciiName(const QString& text, std::set<QString>& used) {
  const QString base = AsciiName(text);
  QString name = base;
  for (int n = 2; used.count(name); ++n)
    name = base + "_" + QString::number(n);
  used.insert(name);
  return name;
}
