#include "ui/text_forms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace talphex {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct TextCase {
  double value;
  const char* text;
};

TEST(IntegerText, RoundsHalfToEvenIn64Bits) {
  const TextCase kCases[] = {
      {0, "0"},
      {-0.0, "0"},
      {2.5, "2"},
      {3.5, "4"},
      {-2.5, "-2"},
      {-3.5, "-4"},
      {-0.4, "0"},
      {0.5, "0"},
      {1.5, "2"},
      {2.4999999, "2"},
      {2.5000001, "3"},
      {42, "42"},
      {2147483647, "2147483647"},
      {2147483648, "2147483648"},
      {-2147483649.0, "-2147483649"},
      {4294967296, "4294967296"},
      {4611686018427387904.0, "4611686018427387904"},  // 2^62
      {-9223372036854775808.0, "-9223372036854775808"},
      {9223372036854774784.0, "9223372036854774784"},  // the largest double below 2^63
      {9223372036854775808.0, ""},                     // 2^63 is out of range
      {-9223372036854777856.0, ""},
      {1e300, ""},
      {kInfinity, ""},
      {-kInfinity, ""},
      {kNaN, ""},
  };
  for (const TextCase& c : kCases) EXPECT_EQ(IntegerText(c.value), c.text) << c.value;
}

TEST(TwoDecimalText, RoundsThe15DigitDecimalTiesAwayFromZero) {
  const TextCase kCases[] = {
      {0, "0.00"},
      {-0.0, "0.00"},
      {3.14159, "3.14"},
      {-273.15, "-273.15"},
      {1234.5, "1234.50"},
      {0.5, "0.50"},
      {0.125, "0.13"},
      {-0.125, "-0.13"},
      {2.675, "2.68"},  // 2.67499999999999982236431605997495353221893310546875 in binary
      {1.005, "1.01"},
      {-1.005, "-1.01"},
      {0.004, "0.00"},
      {-0.004, "0.00"},  // rounds to zero: no minus
      {-0.005, "-0.01"},
      {0.0049999999999999, "0.00"},
      {9.995, "10.00"},
      {-9.995, "-10.00"},
      {99.999, "100.00"},
      {0.76, "0.76"},
      {559 * 0.49 - 273.15, "0.76"},
      {-0.244, "-0.24"},
      {4.00365, "4.00"},
      {123456789012.345, "123456789012.35"},
      {1e20, "100000000000000000000.00"},
      {1.23456789012345678e17, "123456789012346000.00"},
      {-5e-324, "0.00"},
      {1e-300, "0.00"},
      {kInfinity, ""},
      {kNaN, ""},
  };
  for (const TextCase& c : kCases) EXPECT_EQ(TwoDecimalText(c.value), c.text) << c.value;
}

TEST(TwoDecimalText, DecimalComma) {
  EXPECT_EQ(TwoDecimalText(-273.15, ','), "-273,15");
  EXPECT_EQ(TwoDecimalText(0, ','), "0,00");
  EXPECT_EQ(TwoDecimalText(1234.5, ','), "1234,50");
}

TEST(GeneralText, FifteenSignificantDigitsWithoutTrailingZeros) {
  const TextCase kCases[] = {
      {0, "0"},
      {-0.0, "0"},
      {65535, "65535"},
      {4294967295, "4294967295"},
      {12.5, "12.5"},
      {-12.5, "-12.5"},
      {2.5, "2.5"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {123456789012345, "123456789012345"},
      {kInfinity, ""},
      {kNaN, ""},
  };
  for (const TextCase& c : kCases) EXPECT_EQ(GeneralText(c.value), c.text) << c.value;
  EXPECT_EQ(GeneralText(12.5, ','), "12,5");
}

TEST(ModeText, NamesModesZeroToFiveAndShowsOtherValues) {
  const TextCase kCases[] = {
      {0, "Deployment"}, {1, "Burnwire"},      {2, "Idle"}, {3, "Activity"},
      {4, "Safe mode"},  {5, "Override mode"}, {6, "6"},    {2.5, "2.5"},
      {-1, "-1"},        {255, "255"},         {kNaN, ""},
  };
  for (const TextCase& c : kCases) EXPECT_EQ(ModeText(c.value), c.text) << c.value;
  EXPECT_EQ(ModeText(2.5, ','), "2,5");
}

}  // namespace
}  // namespace talphex
