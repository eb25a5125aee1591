#include <gtest/gtest.h>

#include "model/number_format.h"

namespace qel {

TEST(NumberFormat, GeneralPlainAndScientific) {
  EXPECT_EQ(FormatGeneral(300.0, 4, 2, ","), "300");
  EXPECT_EQ(FormatGeneral(299.99999999999994, 4, 2, ","), "300");
  EXPECT_EQ(FormatGeneral(3300.0, 6, 4, ","), "3300");
  EXPECT_EQ(FormatGeneral(4.8852, 3, 3, ","), "4,89");
  EXPECT_EQ(FormatGeneral(-0.5, 4, 3, "."), "-0.5");
  EXPECT_EQ(FormatGeneral(0.0, 4, 3, ","), "0");
  EXPECT_EQ(FormatGeneral(0.00001, 4, 3, ","), "0,00001");
  EXPECT_EQ(FormatGeneral(0.000001, 4, 3, ","), "1E-006");
  EXPECT_EQ(FormatGeneral(12345.0, 4, 2, ","), "1,235E04");  // more integer digits than P
  EXPECT_EQ(FormatGeneral(9999.6, 4, 2, ","), "1E04");      // rounding carries into a new digit
  EXPECT_EQ(FormatGeneral(1234.0, 4, 2, ","), "1234");
  EXPECT_EQ(FormatGeneral(0.125, 2, 2, ","), "0,13");  // digits: halves away from zero
}

TEST(NumberFormat, SpectraAreCountedInRussianPluralForms) {
  EXPECT_EQ(SpectraCount(1), "1 спектр");
  EXPECT_EQ(SpectraCount(4), "4 спектра");
  EXPECT_EQ(SpectraCount(5), "5 спектров");
  EXPECT_EQ(SpectraCount(11), "11 спектров");
  EXPECT_EQ(SpectraCount(12), "12 спектров");
  EXPECT_EQ(SpectraCount(14), "14 спектров");
  EXPECT_EQ(SpectraCount(21), "21 спектр");
  EXPECT_EQ(SpectraCount(22), "22 спектра");
  EXPECT_EQ(SpectraCount(0), "0 спектров");
  EXPECT_EQ(SpectraCount(64), "64 спектра");
  EXPECT_EQ(SpectraCount(101), "101 спектр");
  EXPECT_EQ(SpectraCount(111), "111 спектров");
  EXPECT_EQ(SpectraCount(112), "112 спектров");
  // The same rule for any word that agrees with a number.
  EXPECT_EQ(PluralForm(21, "хранится", "хранятся", "хранятся"), "хранится");
  EXPECT_EQ(PluralForm(-3, "a", "b", "c"), "b");
}

TEST(NumberFormat, FixedPadsDecimalsAfterRoundingToPrecision) {
  EXPECT_EQ(FormatFixed(5.0, 4, 3, ","), "5,000");
  EXPECT_EQ(FormatFixed(1.23456, 3, 2, ","), "1,23");
  EXPECT_EQ(FormatFixed(1.234, 2, 2, ","), "1,20");
  EXPECT_EQ(FormatFixed(12.5, 4, 0, ","), "13");
  EXPECT_EQ(FormatFixed(0.004, 3, 2, ","), "0,00");
  EXPECT_EQ(FormatFixed(-0.004, 3, 2, ","), "0,00");  // no sign on a zero
  EXPECT_EQ(FormatFixed(-2.5, 3, 2, "."), "-2.50");
  EXPECT_EQ(FormatFixed(0.0, 4, 3, ","), "0,000");
  EXPECT_EQ(FormatFixed(9000.0, 4, 0, ","), "9000");
  EXPECT_EQ(FormatFixed(123456.0, 4, 0, ","), "1,235E5");
  EXPECT_EQ(FormatFixed(0.999, 2, 2, ","), "1,00");
}

TEST(NumberFormat, ExponentAlwaysSignsItsExponent) {
  EXPECT_EQ(FormatExponent(1234.0, 4, 3, ","), "1,234E+003");
  EXPECT_EQ(FormatExponent(-0.000123456, 4, 3, ","), "-1,235E-004");
  EXPECT_EQ(FormatExponent(0.0, 4, 3, ","), "0,000E+000");
  EXPECT_EQ(FormatExponent(9.9999, 4, 3, "."), "1.000E+001");
}

TEST(NumberFormat, ParseFloatAcceptsTheSeparatorOnly) {
  EXPECT_DOUBLE_EQ(ParseFloat("3000", ","), 3000.0);
  EXPECT_DOUBLE_EQ(ParseFloat("-2,5", ","), -2.5);
  EXPECT_DOUBLE_EQ(ParseFloat(" ,5 ", ","), 0.5);
  EXPECT_DOUBLE_EQ(ParseFloat("1,5E3", ","), 1500.0);
  EXPECT_THROW(ParseFloat("2.5", ","), ConvertError);
  EXPECT_THROW(ParseFloat("", ","), ConvertError);
  EXPECT_THROW(ParseFloat("-", ","), ConvertError);
  EXPECT_THROW(ParseFloat("1,5E", ","), ConvertError);
  EXPECT_THROW(ParseFloat("1e999", ","), ConvertError);
  try {
    ParseFloat("12-3", ",");
    FAIL();
  } catch (const ConvertError& e) {
    EXPECT_STREQ(e.what(), "'12-3' is not a valid floating point value");
  }
}

TEST(NumberFormat, ParseInteger) {
  EXPECT_EQ(ParseInteger("115200"), 115200);
  EXPECT_EQ(ParseInteger(" -7 "), -7);
  EXPECT_THROW(ParseInteger("12a"), ConvertError);
  EXPECT_THROW(ParseInteger(""), ConvertError);
}

}  // namespace qel
