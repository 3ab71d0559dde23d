// The suite runs under the users' locale (scripts/test.sh sets uk_UA.UTF-8): this test fails in
// any other, so that the tests cannot quietly fall back to the C locale, where numbers written
// through the C library look right by chance.

#include <QByteArray>
#include <clocale>
#include <cstdio>
#include <gtest/gtest.h>

TEST(UserLocale, TheTestsRunUnderAUkrainianLocaleWithADecimalComma) {
  const char* numeric = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_NE(numeric, nullptr);
  EXPECT_TRUE(QByteArray(numeric).startsWith("uk_UA")) << "LC_NUMERIC is " << numeric;
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", 224.38);
  EXPECT_STREQ(text, "224,38") << "the C library writes numbers as the users' desktop does";
}
