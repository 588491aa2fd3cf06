#include "base/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

namespace orbelune {
namespace {

TEST(NumberTextTest, WholeTextsAreFiniteDecimalNumbersWithOneSign) {
  EXPECT_EQ(parseNumber("2.5").value(), 2.5);
  EXPECT_EQ(parseNumber("+2.5e1").value(), 25.0);
  EXPECT_EQ(parseNumber("-.5").value(), -0.5);
  EXPECT_EQ(parseNumber("5.").value(), 5.0);
  for (const char* bad : {"", "+", "-", ".", "+-5", "-+5", "++5", "inf", "nan", "0x10", " 1", "1 ", "1e", "1,5"}) {
    auto v = parseNumber(bad);
    ASSERT_FALSE(v.ok()) << bad;
    EXPECT_EQ(v.error(), NumberProblem::NotANumber) << bad;
  }
  for (const char* huge : {"1e999", "-1e400", "1e-400"}) {
    auto v = parseNumber(huge);
    ASSERT_FALSE(v.ok()) << huge;
    EXPECT_EQ(v.error(), NumberProblem::OutOfRange) << huge;
  }
  EXPECT_STREQ(describe(NumberProblem::NotANumber), "is not a number");
  EXPECT_STREQ(describe(NumberProblem::OutOfRange), "is out of range");
  EXPECT_EQ(parseInteger("+42"), 42);
  EXPECT_FALSE(parseInteger("+-5").has_value());
  EXPECT_FALSE(parseInteger("4.0").has_value());
  EXPECT_FALSE(parseInteger("99999999999999999999").has_value());
}

TEST(NumberTextTest, ATextReadsAsTheNumberItBeginsWithOrNone) {
  EXPECT_EQ(leadingNumber("  12.5 Hz"), 12.5);
  EXPECT_EQ(leadingNumber("3e2x"), 300.0);
  EXPECT_EQ(leadingNumber("3e"), 3.0);
  EXPECT_EQ(leadingNumber("0 Hz"), 0.0);
  for (const char* none : {"", "abc", "-", "+-5", "inf", "1e999", "nan"}) {
    EXPECT_EQ(leadingNumber(none), std::nullopt) << none;
  }
}

TEST(NumberTextTest, AFieldReadsACommaAsThePointAndHugeNumbersAsInfinity) {
  EXPECT_EQ(fieldNumber("2,5"), 2.5);
  EXPECT_EQ(fieldNumber("  2.5 Hz"), 2.5);
  EXPECT_EQ(fieldNumber("-1,25e2x"), -125.0);
  EXPECT_EQ(fieldNumber("3,"), 3.0);
  EXPECT_EQ(fieldNumber(std::string(10000, '7')), HUGE_VAL);
  EXPECT_EQ(fieldNumber("-" + std::string(400, '9')), -HUGE_VAL);
  EXPECT_EQ(fieldNumber("1e999"), HUGE_VAL);
  EXPECT_EQ(fieldNumber("-0,5e99999999999999999999"), -HUGE_VAL);
  EXPECT_EQ(fieldNumber("0," + std::string(400, '0') + "1"), 0.0);
  EXPECT_EQ(fieldNumber("1e-400"), 0.0);
  EXPECT_EQ(fieldNumber("1e-99999999999999999999"), 0.0);
  EXPECT_EQ(fieldNumber("0" + std::string(400, '0') + "e400"), 0.0);
  for (const char* none : {"", "abc", "-", ",", "inf", "-inf", "nan", "0x1p3"}) {
    EXPECT_EQ(fieldNumber(none), 0.0) << none;
  }
}

TEST(NumberTextTest, ShortestAndRealFormsReadBackAsTheSameNumber) {
  EXPECT_EQ(formatShortest(20.0), "20");
  EXPECT_EQ(formatShortest(0.1), "0.1");
  EXPECT_EQ(formatShortest(-360.0), "-360");
  EXPECT_EQ(formatReal(20.0), "20.0");
  EXPECT_EQ(formatReal(0.1), "0.1");
  EXPECT_EQ(formatReal(1e300), "1e+300");
}

TEST(NumberTextTest, ALocaleWithADecimalCommaChangesNothing) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE locale";
  EXPECT_EQ(format2f(2.5), "2.50");
  EXPECT_EQ(parseNumber("2.5").value(), 2.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace orbelune
