#include "base/TextCodec.h"

#include <gtest/gtest.h>

using base::CodePage;

TEST(TextCodec, Windows1251RoundTripsEveryByte) {
  QByteArray all;
  for (int b = 1; b < 256; ++b)
    all.append(char(b));
  const QString text = base::Decode(all, CodePage::Cp1251);
  EXPECT_EQ(text.size(), all.size());
  EXPECT_EQ(base::Encode(text, CodePage::Cp1251), all);
  EXPECT_EQ(base::Decode(QByteArray("\xC2\xEE\xE4\xEE\xEF\xF0\xEE\xE2\xB3\xE4 \xB9\x35"),
                         CodePage::Cp1251),
            QString::fromUtf8("Водопровід №5"));
}

TEST(TextCodec, Dos866AndWindows1252) {
  EXPECT_EQ(
      base::Decode(QByteArray("\x8D\xA0\xA8\xAC\xA5\xAD\xAE\xA2\xA0\xAD\xA8\xA5"), CodePage::Cp866),
      QString::fromUtf8("Наименование"));
  EXPECT_EQ(base::Decode(QByteArray("W\xE4hrung \x80"), CodePage::Cp1252),
            QString::fromUtf8("Währung €"));
  EXPECT_EQ(base::Encode(QString::fromUtf8("Zähler"), CodePage::Cp1252), QByteArray("Z\xE4hler"));
}

TEST(TextCodec, UnmappableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(base::Encode(QString::fromUtf8("a中b"), CodePage::Cp1251), QByteArray("a?b"));
}

TEST(TextCodec, CodePageNamesOfCpgFiles) {
  CodePage cp{};
  ASSERT_TRUE(base::CodePageFromName("1251", cp));
  EXPECT_EQ(cp, CodePage::Cp1251);
  ASSERT_TRUE(base::CodePageFromName("ANSI 1251\r\n", cp));
  EXPECT_EQ(cp, CodePage::Cp1251);
  ASSERT_TRUE(base::CodePageFromName("UTF-8", cp));
  EXPECT_EQ(cp, CodePage::Utf8);
  ASSERT_TRUE(base::CodePageFromName("88595", cp));
  EXPECT_EQ(cp, CodePage::Iso8859_5);
  ASSERT_TRUE(base::CodePageFromName("cp866", cp));
  EXPECT_EQ(cp, CodePage::Cp866);
  EXPECT_FALSE(base::CodePageFromName("klingon", cp));
  EXPECT_EQ(base::CodePageFromNumber(936, CodePage::Cp1251), CodePage::Cp1251);
}

TEST(TextCodec, OtherCodePagesThroughQt) {
  // ISO-8859-5 "Київ"
  EXPECT_EQ(base::Decode(QByteArray("\xBA\xd8\xf7\xd2"), CodePage::Iso8859_5),
            QString::fromUtf8("Київ"));
  EXPECT_EQ(base::Decode(QByteArray("\xD0\x9A\xD0\xB8"), CodePage::Utf8), QString::fromUtf8("Ки"));
}
