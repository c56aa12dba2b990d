#include "common/numbers.h"

#include <gtest/gtest.h>

#include <limits>

namespace orv {
namespace {

TEST(LeadingNumber, IntegerForm) {
  EXPECT_EQ(LeadingInt(""), 0);
  EXPECT_EQ(LeadingInt("2"), 2);
  EXPECT_EQ(LeadingInt(" 2"), 2);
  EXPECT_EQ(LeadingInt("2abc"), 2);
  EXPECT_EQ(LeadingInt("\t\r\n 12"), 12);
  EXPECT_EQ(LeadingInt("abc"), 0);
  EXPECT_EQ(LeadingInt("a2"), 0);
  EXPECT_EQ(LeadingInt(" -5x"), -5);
  EXPECT_EQ(LeadingInt("+7"), 7);
  EXPECT_EQ(LeadingInt("-"), 0);
  EXPECT_EQ(LeadingInt("2 3"), 2);
  EXPECT_EQ(LeadingInt("2.7"), 2);
  EXPECT_EQ(LeadingInt("007"), 7);
  EXPECT_EQ(LeadingInt("4000000000"), 4000000000LL);
}

TEST(LeadingNumber, IntegerFormSaturates) {
  constexpr auto kMax = std::numeric_limits<long long>::max();
  constexpr auto kMin = std::numeric_limits<long long>::min();
  EXPECT_EQ(LeadingInt("9223372036854775807"), kMax);
  EXPECT_EQ(LeadingInt("9223372036854775808"), kMax);
  EXPECT_EQ(LeadingInt("99999999999999999999999999"), kMax);
  EXPECT_EQ(LeadingInt("-9223372036854775808"), kMin);
  EXPECT_EQ(LeadingInt("-99999999999999999999999999"), kMin);
}

TEST(LeadingNumber, SingleForm) {
  EXPECT_FLOAT_EQ(LeadingFloat(""), 0.0f);
  EXPECT_FLOAT_EQ(LeadingFloat(" 1.5kb"), 1.5f);
  EXPECT_FLOAT_EQ(LeadingFloat("-.5x"), -0.5f);
  EXPECT_FLOAT_EQ(LeadingFloat("3."), 3.0f);
  EXPECT_FLOAT_EQ(LeadingFloat("."), 0.0f);
  EXPECT_FLOAT_EQ(LeadingFloat("1e3"), 1000.0f);
  EXPECT_FLOAT_EQ(LeadingFloat("2E-1z"), 0.2f);
  EXPECT_FLOAT_EQ(LeadingFloat("1e"), 1.0f);   // "e" without digits does not continue it
  EXPECT_FLOAT_EQ(LeadingFloat("1e+"), 1.0f);
  EXPECT_FLOAT_EQ(LeadingFloat("1,5"), 1.0f);  // the decimal point is always "."
  EXPECT_FLOAT_EQ(LeadingFloat("1e400"), std::numeric_limits<float>::max());
  EXPECT_FLOAT_EQ(LeadingFloat("1e-400"), 0.0f);
  EXPECT_FLOAT_EQ(LeadingFloat("x1"), 0.0f);
}

TEST(NumberText, DecimalAndClassicForms) {
  EXPECT_EQ(DecimalText(0), "0");
  EXPECT_EQ(DecimalText(12), "12");
  EXPECT_EQ(DecimalText(-5), "-5");
  EXPECT_EQ(StrText(2), " 2");
  EXPECT_EQ(StrText(0), " 0");
  EXPECT_EQ(StrText(-5), "-5");
  EXPECT_EQ(LeadingInt(StrText(123456)), 123456);
}

TEST(NumberText, FloatsWithSevenSignificantDigits) {
  EXPECT_EQ(FloatText(12345.67f), "12345.67");
  EXPECT_EQ(FloatText(23.45678f), "23.45678");
  EXPECT_EQ(FloatText(3.0f), "3");
  EXPECT_EQ(FloatText(0.5f), "0.5");
  EXPECT_EQ(FloatText(0.0f), "0");
  EXPECT_EQ(FloatText(-2.25f), "-2.25");
  EXPECT_EQ(FloatText(1234567.0f), "1234567");
  EXPECT_EQ(FloatText(49999.996f), "50000");
  EXPECT_EQ(FloatText(0.001234f), "0.001234");
  EXPECT_FLOAT_EQ(LeadingFloat(FloatText(4321.123f)), 4321.123f);
}

}  // namespace
}  // namespace orv
