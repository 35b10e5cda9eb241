// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace talphex {

// Whole number, ties to even, as a 64-bit integer; empty for a value that is not finite or lies
// outside the 64-bit range.
std::string IntegerText(double value);

// A whole number with its digits grouped by thousands with ",": "531,480".
std::string GroupedIntegerText(std::int64_t value);

// How the digits of the counts in a sentence are written; every count of one sentence alike.
enum class Digits {
  kPlain,    // "531480": the command-line summaries, which scripts read
  kGrouped,  // "531,480": the window's status sentences; four digits stay together ("1000")
};

// A whole number in the given digits. kGrouped groups thousands with "," from five digits on, so
// that a store's "1000" and a count's "1,000" never meet in one status line.
std::string NumberText(std::int64_t value, Digits digits);

// Pattern "0.00": the value written with 15 significant digits, then rounded to hundredths with
// ties away from zero. Zero is "0.00", never "-0.00". Empty for a value that is not finite.
std::string TwoDecimalText(double value, char decimal_separator = '.');

// The value with `decimals` decimals (0 to 17): pattern "0.00" for two, else rounded to nearest.
// Zero is never negative. Empty for a value that is not finite.
std::string FixedText(double value, int decimals, char decimal_separator = '.');

// Plain decimal text with at most 15 significant digits and no trailing zeros.
std::string GeneralText(double value, char decimal_separator = '.');

// Name of a mode number 0 to 5; any other value in its general text.
std::string ModeText(double value, char decimal_separator = '.');

}  // namespace talphex
