#pragma once
// The Windows symbol fonts (Wingdings, Wingdings 2 and 3, Webdings, Symbol) on machines that do
// not have them: each character code is drawn as the Unicode sign that shows the same picture,
// from free fonts that carry those signs. Where the named font is installed it is used as it is.

#include <QFont>
#include <QString>
#include <QStringList>

namespace gfx {

// The symbol fonts of the table.
QStringList KnownSymbolFonts();
// Whether `font` is one of the symbol fonts of the table (letter case ignored).
bool IsKnownSymbolFont(const QString& font);
// The sign of a character code of a symbol font; empty when the font or the code has none.
QString SymbolFontSign(const QString& font, unsigned char code);
// Whether a font family of that name is installed (letter case ignored).
bool FontInstalled(const QString& family);
// Whether the characters of `font` are drawn through the table: a known symbol font that is not
// installed.
bool DrawsThroughSymbolTable(const QString& font);
// A text of a symbol font as it is shown: on a machine without the font each character code
// (a Windows-1251 byte) becomes its sign; otherwise the text itself.
QString SymbolFontText(const QString& font, const QString& text);
// The characters a shown text stands for: each sign of the font's table back to its character
// code (a Windows-1251 character), any other character as it is. The inverse of SymbolFontText.
QString SymbolFontLetters(const QString& font, const QString& shown);
// A font that shows texts of `family` as the map draws them: the free fonts of the signs where
// the family is a missing symbol font.
QFont SymbolDisplayFont(const QString& family, int pixels);
// The free fonts the signs are drawn from, best first.
QStringList SymbolSignFamilies();

} // namespace gfx
