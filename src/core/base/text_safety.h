// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace talphex {

// Every text that comes from the radio (or from a file name) passes one of these before it reaches
// a file, the window or a terminal, so that no frame can write lines, cells or escape sequences of
// its own.

// A receive timestamp as every file and view shows it. Anyone can transmit one, so control bytes,
// ";" (the CSV separator), '"' (a CSV reader's quote, which would swallow the rows after it) and
// bytes outside printable ASCII become "?", and a leading "=", "+", "-" or "@", which spreadsheets
// run as a formula, is prefixed with "'". A well-formed time ("YYYY-MM-DD hh:mm:ss") stays as it
// is. Assigning into `out` keeps its buffer, as the loader does for every frame.
void AssignSafeTimestamp(std::string& out, std::string_view text);
inline std::string SafeTimestamp(std::string_view text) {
  std::string safe;
  AssignSafeTimestamp(safe, text);
  return safe;
}

// Latin-1 text as the window and the report show it: control bytes (CR, LF, NUL, ESC, ...), DEL
// and the C1 bytes 0x80-0x9F become "?", so that a report holds only the lines the program writes;
// printable ASCII and the Latin-1 letters and signs 0xA0-0xFF stay. No formula rule: the report
// and the window are not spreadsheets.
void AssignPrintableText(std::string& out, std::string_view text);
inline std::string PrintableText(std::string_view text) {
  std::string shown;
  AssignPrintableText(shown, text);
  return shown;
}
// True for the bytes PrintableText keeps.
constexpr bool IsPrintableLatin1(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= 0x20 && byte <= 0x7E) || byte >= 0xA0;
}

// A text for a UTF-8 file: a text that is not valid UTF-8 is read as Latin-1, and control
// characters (C0, DEL and C1, U+0080 to U+009F) become "?", so that no line of the file can be
// broken or a terminal showing it be steered by a file name.
std::string PrintableUtf8(std::string_view text);
// Latin-1 text as UTF-8.
std::string Utf8FromLatin1(std::string_view text);
bool IsValidUtf8(std::string_view text);

// Text for a terminal: every byte outside printable ASCII written as "\xNN" and "\" as "\\", so
// that no escape sequence from a capture or a file name reaches the user's terminal and a literal
// "\x1B" in a text cannot pass for an escaped ESC.
std::string TerminalText(std::string_view text);

}  // namespace talphex
