// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace talphex {

// SatNOGS DB frame exports: one frame a line as "YYYY-MM-DD HH:MM:SS|HEX" or
// "YYYY-MM-DDTHH:MM:SS[.fff][Z]|HEX" (UTC with or without the "Z", hex digits in either case).
// Stations send what their tools write: a UTF-8 byte-order mark before the first line, lines of
// spaces and tabs, and CR, LF or CR LF line ends are all read.

// Longest line read; a radio frame of a few hundred bytes needs about a thousand characters.
inline constexpr std::size_t kMaxSatnogsLine = 16 * 1024;

enum class SatnogsLineError {
  kNone,
  kNoSeparator,  // no "|" between the time and the frame
  kBadTime,
  kNoBytes,
  kNotHex,
  kOddHex,
  kTooLong,
};

const char* SatnogsLineErrorText(SatnogsLineError error);

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Whether a line (without its line end) holds nothing but spaces and tabs.
bool IsBlankLine(std::string_view line);

// Whether the start of a capture, a byte-order mark and blank lines skipped, is a SatNOGS line up
// to its "|".
enum class SatnogsGuess { kUndecided, kSatnogs, kOther };
SatnogsGuess GuessSatnogs(std::string_view start);

// Reads one line without its line end: the time as "YYYY-MM-DD hh:mm:ss" (fractions dropped) and
// the frame's bytes.
SatnogsLineError ParseSatnogsLine(std::string_view line, std::string& rx_time, std::string& bytes);

// A line of text, without its line end.
struct TextLine {
  std::string_view text;     // the first kMaxSatnogsLine + 1 characters when too_long
  std::uint64_t number = 0;  // 1 for the first line
  std::uint64_t offset = 0;  // position of its first byte in the stream
  bool too_long = false;
};
using TextLineSink = std::function<void(const TextLine& line)>;

// Cuts bytes fed in pieces of any size into lines, keeping no more of a line than
// kMaxSatnogsLine + 1 bytes. CR, LF and CR LF each end a line.
class LineSplitter {
 public:
  void Feed(std::span<const std::uint8_t> bytes, const TextLineSink& sink);
  // The end of the stream: a last line without a line end goes to the sink.
  void Finish(const TextLineSink& sink);

 private:
  void Emit(std::string_view text, std::uint64_t size, const TextLineSink& sink);

  std::uint64_t position_ = 0;
  std::uint64_t line_start_ = 0;
  std::uint64_t line_number_ = 0;
  std::string pending_;
  std::uint64_t pending_size_ = 0;
  bool after_cr_ = false;  // the last piece ended with a CR: an LF next belongs to it
};

}  // namespace talphex
