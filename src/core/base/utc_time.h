// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace talphex {

// Seconds since 1970-01-01 UTC of a calendar date and time (proleptic Gregorian).
std::int64_t UtcSeconds(std::int64_t year, int month, int day, int hour, int minute, int second);

// Seconds since 1970 of exactly "YYYY-MM-DD?hh:mm:ss", `separator` in place of "?"; nothing for
// any other text or an impossible date or time (a 30 February, a 24th hour). Receive times come
// from radio data, so they are checked before they go anywhere.
std::optional<std::int64_t> ParseUtcDateTime(std::string_view text, char separator = ' ');

}  // namespace talphex
