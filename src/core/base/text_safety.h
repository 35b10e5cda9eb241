// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace talphex {

// A receive timestamp as every file and view shows it. Anyone can transmit one, so control bytes,
// ";" (the CSV separator) and bytes outside printable ASCII become "?", and a leading "=", "+",
// "-" or "@", which spreadsheets run as a formula, is prefixed with "'". A well-formed time
// ("YYYY-MM-DD hh:mm:ss") stays as it is.
// Assigning into `out` keeps its buffer, as the loader does for every frame.
void AssignSafeTimestamp(std::string& out, std::string_view text);
inline std::string SafeTimestamp(std::string_view text) {
  std::string safe;
  AssignSafeTimestamp(safe, text);
  return safe;
}

// Text for a terminal: every byte outside printable ASCII written as "\xNN", so that no escape
// sequence from a capture or a file name reaches the user's terminal.
std::string TerminalText(std::string_view text);

}  // namespace talphex
