// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/view/text_forms.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace talphex {

std::string IntegerText(double value) {
  if (!std::isfinite(value)) return {};
  const double rounded = std::nearbyint(value);  // the default rounding mode: ties to even
  // 2^63 itself is out of range; every double below it converts exactly.
  if (rounded < -9223372036854775808.0 || rounded >= 9223372036854775808.0) return {};
  return std::to_string(static_cast<long long>(rounded));
}

std::string GroupedIntegerText(std::int64_t value) {
  const std::string digits = std::to_string(value);
  const std::size_t sign = value < 0 ? 1 : 0;
  std::string text = digits.substr(0, sign);
  for (std::size_t i = sign; i < digits.size(); ++i) {
    if (i > sign && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

std::string NumberText(std::int64_t value, Digits digits) {
  constexpr std::int64_t kFiveDigits = 10000;
  const bool grouped =
      digits == Digits::kGrouped && (value >= kFiveDigits || value <= -kFiveDigits);
  return grouped ? GroupedIntegerText(value) : std::to_string(value);
}

std::string TwoDecimalText(double value, char decimal_separator) {
  if (!std::isfinite(value)) return {};
  if (value == 0) return std::string("0") + decimal_separator + "00";
  // "d.dddddddddddddde+XXX": the 15 significant digits and the decimal exponent.
  // to_chars, unlike printf, does not follow the C locale's decimal point.
  char scientific[40] = {};
  std::to_chars(scientific, scientific + sizeof scientific - 1, std::fabs(value),
                std::chars_format::scientific, 14);
  char digits[15];
  digits[0] = scientific[0];
  std::memcpy(digits + 1, scientific + 2, 14);
  const int exponent = std::atoi(scientific + 17);

  // Digits before the point and the three after it (the third decides the rounding).
  auto digit_at = [&](int power) {  // the digit of 10^power
    const int index = exponent - power;
    return index >= 0 && index < 15 ? digits[index] - '0' : 0;
  };
  std::string whole;
  for (int power = std::max(exponent, 0); power >= 0; --power) {
    whole.push_back(static_cast<char>('0' + digit_at(power)));
  }
  std::string fraction = {static_cast<char>('0' + digit_at(-1)),
                          static_cast<char>('0' + digit_at(-2))};
  if (digit_at(-3) >= 5) {
    // Carry through the hundredths, the tenths and the whole part.
    std::string all = whole + fraction;
    int i = static_cast<int>(all.size()) - 1;
    while (i >= 0 && all[static_cast<std::size_t>(i)] == '9')
      all[static_cast<std::size_t>(i--)] = '0';
    if (i >= 0) {
      ++all[static_cast<std::size_t>(i)];
    } else {
      all.insert(all.begin(), '1');
    }
    whole = all.substr(0, all.size() - 2);
    fraction = all.substr(all.size() - 2);
  }
  const bool zero = whole.find_first_not_of('0') == std::string::npos && fraction == "00";
  std::string text = (value < 0 && !zero) ? "-" : "";
  text += whole;
  text += decimal_separator;
  text += fraction;
  return text;
}

std::string FixedText(double value, int decimals, char decimal_separator) {
  if (decimals == 2) return TwoDecimalText(value, decimal_separator);
  if (!std::isfinite(value)) return {};
  char text[400];
  const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed,
                                     std::clamp(decimals, 0, 17));
  std::string result(text, written.ptr);
  if (result.front() == '-' && result.find_first_not_of("-0.") == std::string::npos) {
    result.erase(0, 1);
  }
  for (char& c : result) {
    if (c == '.') c = decimal_separator;
  }
  return result;
}

std::string GeneralText(double value, char decimal_separator) {
  if (!std::isfinite(value)) return {};
  char text[40];
  const auto written = std::to_chars(text, text + sizeof text, value == 0 ? 0.0 : value,
                                     std::chars_format::general, 15);
  std::string result(text, written.ptr);
  for (char& c : result) {
    if (c == '.') c = decimal_separator;
  }
  return result;
}

std::string ModeText(double value, char decimal_separator) {
  static constexpr std::array<const char*, 6> kModeNames = {
      "Deployment", "Burnwire", "Idle", "Activity", "Safe mode", "Override mode"};
  for (std::size_t mode = 0; mode < kModeNames.size(); ++mode) {
    if (value == static_cast<double>(mode)) return kModeNames[mode];
  }
  return GeneralText(value, decimal_separator);
}

}  // namespace talphex
