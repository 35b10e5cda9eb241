#include "ui/text_forms.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

namespace talphex {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Integers round half to even in 64 bits; two decimals round the 15-digit decimal with ties away
// from zero; the general form has at most 15 significant digits. A value that is not finite, or
// out of the 64-bit range, has no text.
TEST(TextForms, Examples) {
  using Form = std::string (*)(double, char);
  const Form integer = [](double value, char) { return IntegerText(value); };
  const std::tuple<Form, double, const char*> kCases[] = {
      {integer, 2.5, "2"},
      {integer, 3.5, "4"},
      {integer, -2.5, "-2"},
      {integer, -0.4, "0"},
      {integer, 2147483648, "2147483648"},
      {integer, -9223372036854775808.0, "-9223372036854775808"},  // -2^63
      {integer, 9223372036854774784.0, "9223372036854774784"},    // the largest below 2^63
      {integer, 9223372036854775808.0, ""},                       // 2^63
      {integer, -9223372036854777856.0, ""},
      {integer, kNaN, ""},
      {TwoDecimalText, -0.0, "0.00"},
      {TwoDecimalText, 0.125, "0.13"},
      {TwoDecimalText, -0.125, "-0.13"},
      {TwoDecimalText, 2.675, "2.68"},  // 2.67499999999999982236431605997495353221893310546875
      {TwoDecimalText, 1.005, "1.01"},
      {TwoDecimalText, -0.004, "0.00"},  // rounds to zero: no minus
      {TwoDecimalText, -0.005, "-0.01"},
      {TwoDecimalText, 9.995, "10.00"},
      {TwoDecimalText, 559 * 0.49 - 273.15, "0.76"},
      {TwoDecimalText, 1e20, "100000000000000000000.00"},
      {TwoDecimalText, 1.23456789012345678e17, "123456789012346000.00"},
      {TwoDecimalText, kInfinity, ""},
      {GeneralText, -0.0, "0"},
      {GeneralText, 4294967295, "4294967295"},
      {GeneralText, -12.5, "-12.5"},
      {GeneralText, 0.1 + 0.2, "0.3"},
      {GeneralText, 1.0 / 3, "0.333333333333333"},
      {GeneralText, -kInfinity, ""},
      {ModeText, 0, "Deployment"},
      {ModeText, 1, "Burnwire"},
      {ModeText, 2, "Idle"},
      {ModeText, 3, "Activity"},
      {ModeText, 4, "Safe mode"},
      {ModeText, 5, "Override mode"},
      {ModeText, 6, "6"},
      {ModeText, kNaN, ""},
  };
  for (const auto& [form, value, text] : kCases) EXPECT_EQ(form(value, '.'), text) << value;
}

}  // namespace
}  // namespace talphex
