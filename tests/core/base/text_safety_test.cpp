// SPDX-License-Identifier: GPL-3.0-or-later
// Every byte value through each sanitiser, with the class it belongs to, and the cases the loader
// tests cannot reach through a 28-byte timestamp part: every formula lead, the quote, and
// texts longer than one byte.
#include "core/base/text_safety.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace talphex {
namespace {

// What a sanitiser does with one byte.
enum class Shown { kKept, kQuestionMark, kEscaped };

std::string Byte(int value) { return std::string(1, static_cast<char>(value)); }

std::string Hex(int value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  return std::string("\\x") + kHex[value >> 4] + kHex[value & 0xF];
}

// The classes by byte ranges, written apart from the code under test.
Shown TimestampClass(int b) {
  return b >= 0x20 && b <= 0x7E && b != ';' && b != '"' ? Shown::kKept : Shown::kQuestionMark;
}
Shown PrintableClass(int b) {
  return (b >= 0x20 && b <= 0x7E) || b >= 0xA0 ? Shown::kKept : Shown::kQuestionMark;
}
Shown TerminalClass(int b) { return b >= 0x20 && b <= 0x7E ? Shown::kKept : Shown::kEscaped; }

TEST(TextSafety, EveryByteValueThroughEachSanitiser) {
  for (int b = 0; b <= 0xFF; ++b) {
    const std::string byte = Byte(b);
    SCOPED_TRACE(b);
    // In the middle of a time, where no formula rule applies.
    EXPECT_EQ(SafeTimestamp("0" + byte + "0"),
              "0" + (TimestampClass(b) == Shown::kKept ? byte : "?") + "0");
    EXPECT_EQ(PrintableText(byte + "x"), (PrintableClass(b) == Shown::kKept ? byte : "?") + "x");
    const std::string terminal = TerminalText(byte);
    if (b == '\\') {
      EXPECT_EQ(terminal, "\\\\");
    } else {
      EXPECT_EQ(terminal, TerminalClass(b) == Shown::kKept ? byte : Hex(b));
    }
    // A lone byte of 0x80 or more is no UTF-8, so it is read as Latin-1; U+0000 to U+00FF as
    // UTF-8 keep the printable characters alike.
    const std::string latin1_as_utf8 = Utf8FromLatin1(byte);
    const std::string utf8 = PrintableClass(b) == Shown::kKept ? latin1_as_utf8 : std::string("?");
    EXPECT_EQ(PrintableUtf8(byte), utf8);
    EXPECT_EQ(PrintableUtf8(latin1_as_utf8), utf8);
  }
}

TEST(TextSafety, TimestampsAsFilesAndViewsShowThem) {
  const std::pair<std::string, std::string> kCases[] = {
      {"2026-11-14 09:41:03", "2026-11-14 09:41:03"},  // well formed: unchanged
      {"", ""},
      {"=1+2", "'=1+2"},
      {"+1", "'+1"},
      {"-1", "'-1"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"1-2=3", "1-2=3"},  // only a leading sign runs as a formula
      {"a;b", "a?b"},
      // A leading quote made CSV readers take the rows after it into one cell.
      {"\"2026-11-14 09:41:0", "?2026-11-14 09:41:0"},
      {"=\"", "'=?"},
      {std::string("\0\x1F \x7E\x7F\x80\xFF", 7), "?? ~???"},
      {"=\r\n", "'=??"},
  };
  std::string reused = "a longer text from an earlier call";
  for (const auto& [text, safe] : kCases) {
    EXPECT_EQ(SafeTimestamp(text), safe) << text;
    AssignSafeTimestamp(reused, text);
    EXPECT_EQ(reused, safe) << text;
  }
}

TEST(TextSafety, PrintableTextKeepsLatin1AndNoLinesOfItsOwn) {
  const std::pair<std::string, std::string> kCases[] = {
      {"TALPHEX<~.hFKgph~>", "TALPHEX<~.hFKgph~>"},
      {"=1+2", "=1+2"},  // no formula rule: a report is no spreadsheet
      // A frame that forges a report line and clears the screen of whoever prints the report.
      {"VAVEz~>\r\nMessage No.       : 1 \r\n\x1B[2J", "VAVEz~>??Message No.       : 1 ???[2J"},
      {std::string("a\0b\x9B"
                   "1m\xB5\xFF",
                   8),
       "a?b?1m\xB5\xFF"},
  };
  std::string reused = "a longer text from an earlier call";
  for (const auto& [text, shown] : kCases) {
    EXPECT_EQ(PrintableText(text), shown) << text;
    AssignPrintableText(reused, text);
    EXPECT_EQ(reused, shown) << text;
  }
}

TEST(TextSafety, PrintableUtf8ReadsOtherNamesAsLatin1) {
  const std::pair<std::string, std::string> kCases[] = {
      {"pass \xC3\xA9t\xC3\xA9.kss", "pass \xC3\xA9t\xC3\xA9.kss"},  // UTF-8 stays
      {"pass \xE9t\xE9.kss", "pass \xC3\xA9t\xC3\xA9.kss"},          // Latin-1 becomes UTF-8
      {"a\xC2\x9B"
       "31m\xE2\x82\xAC",
       "a?31m\xE2\x82\xAC"},  // UTF-8 CSI, euro sign
      {"a\x9B"
       "31m\xE9",
       "a?31m\xC3\xA9"},  // Latin-1 CSI
      {"a\r\nb\x1B", "a??b?"},
  };
  for (const auto& [text, shown] : kCases) EXPECT_EQ(PrintableUtf8(text), shown) << text;
}

TEST(TextSafety, TerminalTextEscapesEveryByteOutsidePrintableAscii) {
  const std::pair<std::string, std::string> kCases[] = {
      {"pass 1.kss", "pass 1.kss"},
      {"\x1B]2;owned\x07", "\\x1B]2;owned\\x07"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"\x7F\x80\xC3\xA9\xFF", "\\x7F\\x80\\xC3\\xA9\\xFF"},
      // A literal "\x1B" must not look like an escaped ESC.
      {"\\x1B", "\\\\x1B"},
      {"\\\x1B", "\\\\\\x1B"},
  };
  for (const auto& [text, shown] : kCases) EXPECT_EQ(TerminalText(text), shown) << shown;
}

}  // namespace
}  // namespace talphex
