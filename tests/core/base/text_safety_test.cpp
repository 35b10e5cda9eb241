// SPDX-License-Identifier: GPL-3.0-or-later
// What the loader tests cannot reach through a 28-byte timestamp part: every formula lead, the
// bytes at the ends of printable ASCII, and the terminal's escapes byte by byte.
#include "core/base/text_safety.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace talphex {
namespace {

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

TEST(TextSafety, TerminalTextEscapesEveryByteOutsidePrintableAscii) {
  const std::pair<std::string, std::string> kCases[] = {
      {"pass 1.kss", "pass 1.kss"},
      {"\x1B]2;owned\x07", "\\x1B]2;owned\\x07"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"\x7F\x80\xC3\xA9\xFF", "\\x7F\\x80\\xC3\\xA9\\xFF"},
      {"\\x41", "\\x41"},  // a backslash stays: the text is shown, not parsed back
  };
  for (const auto& [text, shown] : kCases) EXPECT_EQ(TerminalText(text), shown) << shown;
}

}  // namespace
}  // namespace talphex
