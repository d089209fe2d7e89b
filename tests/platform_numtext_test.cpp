// Number texts: "%.Nf" in the C locale whatever the user's locale, and the integer helpers.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/numtext.h"

using namespace platform;

TEST(RealText, FixedDecimalsAndSpecialValues) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    double value;
    int decimals;
    const char* text;
  } rows[] = {
      {1.5, 2, "1.50"},
      {0, 2, "0.00"},
      {-0.0, 2, "0.00"},
      {-0.0, 0, "0"},
      {1073741824.0 / 1073741824.0, 2, "1.00"},
      {-2.25, 1, "-2.2"},  // halfway goes the C library's way (to even)
      {2.675, 2, "2.67"},  // 2.675 is really 2.67499999...
      {1234567.891, 2, "1234567.89"},
      {0.3, -1, "0.3000000000"},
      {2.5, -7, "2"},
      {25.25, 0, "25"},
      {-0.001, 2, "-0.00"},
      {1e20, 1, "100000000000000000000.0"},
      {std::nan(""), 2, "NaN"},
      {inf, 2, "+Infinity"},
      {-inf, 2, "-Infinity"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(realText(row.value, row.decimals), row.text) << row.value << " " << row.decimals;
  EXPECT_EQ(realText(1, 600).size(), std::string("1.").size() + 512);
  EXPECT_EQ(realText(-1.7976931348623157e308, 512).size(), 1 + 309 + 1 + 512u);
}

TEST(RealText, AgreesWithPrintfInTheCLocale) {
  // Ties, tiny and huge values over many precisions: the text must be printf's to the digit.
  const double values[] = {0.125, 0.375, 2.5, 1.005, 1e-7, 123456.789, 9.995, 1e300 / 3,
                           5e-324, 0.1 + 0.2, 4294967295.5, -7.0625};
  for (double value : values)
    for (int decimals : {0, 1, 2, 3, 6, 17, 40, 330}) {
      char expected[1200];
      std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
      EXPECT_EQ(realText(value, decimals), expected) << value << " " << decimals;
    }
}

TEST(RealText, UsesAPointUnderAnyLocale) {
  const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8",
                                "fr_FR.utf8", "nl_NL.UTF-8", "ru_RU.UTF-8"};
  std::string old = std::setlocale(LC_ALL, nullptr);
  const char* found = nullptr;
  for (const char* name : commaLocales)
    if (std::setlocale(LC_ALL, name)) {
      found = name;
      break;
    }
  if (!found) GTEST_SKIP() << "no locale with a decimal comma is installed (see locale -a)";
  std::string underLocale = realText(1.5, 2);
  std::string integer = integerText(1234567);
  std::setlocale(LC_ALL, old.c_str());
  EXPECT_EQ(underLocale, "1.50") << found;
  EXPECT_EQ(integer, "1234567") << found;
}

TEST(IntegerText, PlainDigits) {
  EXPECT_EQ(integerText(-5), "-5");
  EXPECT_EQ(integerText(600), "600");
  EXPECT_EQ(integerText(0), "0");
  EXPECT_EQ(integerText(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
}

TEST(LeftFill, ExactlyWidthCharacters) {
  EXPECT_EQ(leftFill("7", 3, '0'), "007");
  EXPECT_EQ(leftFill("1234", 3, '0'), "123");
  EXPECT_EQ(leftFill("42", 7, '0'), "0000042");
  EXPECT_EQ(leftFill("", 2, ' '), "  ");
  EXPECT_EQ(leftFill("abc", 0, '0'), "");
  EXPECT_EQ(leftFill("abc", -1, '0'), "");
}

TEST(IntegerPart, TruncatesTowardZero) {
  EXPECT_EQ(integerPart(29.0 / 100 * 100), 28);  // 28.999999999999996
  EXPECT_EQ(integerPart(-2.9), -2);
  EXPECT_EQ(integerPart(2.9), 2);
  EXPECT_EQ(integerPart(1e12), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(integerPart(-1e12), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(integerPart(std::nan("")), 0);
}

TEST(WholeNumber, DownUpAndNearest) {
  struct Row {
    float value;
    int mode;
    float whole;
  } rows[] = {
      {2.5f, 0, 2}, {-2.5f, 0, -3}, {2.1f, 1, 3}, {-2.9f, 1, -2},
      {2.5f, 2, 3}, {-2.5f, 2, -3}, {2.4f, 2, 2}, {2.7f, 9, 2},
  };
  for (const Row& row : rows)
    EXPECT_EQ(wholeNumber(row.value, row.mode), row.whole) << row.value << " mode " << row.mode;
}
