// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/satnogs_frames.h"

#include <algorithm>
#include <cstring>

#include "core/base/utc_time.h"

namespace talphex {
namespace {

constexpr std::size_t kMaxFractionDigits = 9;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Length of the time in `text` up to its "|", when its shape is right; 0 when it cannot be a
// time; npos when `text` ends first.
std::size_t TimeShapeLength(std::string_view text) {
  constexpr std::string_view kShape = "dddd-dd-dd?dd:dd:dd";
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    if (i == text.size()) return std::string_view::npos;
    const char c = text[i];
    const bool fits = kShape[i] == 'd'   ? IsDigit(c)
                      : kShape[i] == '?' ? c == ' ' || c == 'T'
                                         : c == kShape[i];
    if (!fits) return 0;
  }
  std::size_t i = kShape.size();
  if (text[10] == 'T') {
    if (i < text.size() && text[i] == '.') {
      const std::size_t digits_start = ++i;
      while (i < text.size() && IsDigit(text[i]) && i - digits_start < kMaxFractionDigits) ++i;
      if (i < text.size() && i == digits_start) return 0;
    }
    if (i < text.size() && text[i] == 'Z') ++i;
  }
  if (i == text.size()) return std::string_view::npos;
  return text[i] == '|' ? i : 0;
}

}  // namespace

const char* SatnogsLineErrorText(SatnogsLineError error) {
  switch (error) {
    case SatnogsLineError::kNone:
      return "read";
    case SatnogsLineError::kNoSeparator:
      return "no \"|\" after the time";
    case SatnogsLineError::kBadTime:
      return "time does not read as YYYY-MM-DD HH:MM:SS";
    case SatnogsLineError::kNoBytes:
      return "no frame bytes";
    case SatnogsLineError::kNotHex:
      return "frame holds characters that are not hex digits";
    case SatnogsLineError::kOddHex:
      return "odd number of hex digits";
    case SatnogsLineError::kTooLong:
      return "line longer than 16384 characters";
  }
  return "unknown";
}

bool IsBlankLine(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

SatnogsGuess GuessSatnogs(std::string_view start) {
  if (start.starts_with(kUtf8ByteOrderMark)) {
    start.remove_prefix(kUtf8ByteOrderMark.size());
  } else if (!start.empty() && kUtf8ByteOrderMark.starts_with(start)) {
    return SatnogsGuess::kUndecided;  // a byte-order mark cut short
  }
  for (;;) {
    const std::size_t text = start.find_first_not_of(" \t");
    if (text == std::string_view::npos) return SatnogsGuess::kUndecided;
    if (start[text] != '\r' && start[text] != '\n') break;
    start.remove_prefix(text + 1);
  }
  // The first line that is not blank, from its start: leading spaces make it no SatNOGS line.
  const std::size_t length = TimeShapeLength(start);
  if (length == std::string_view::npos) return SatnogsGuess::kUndecided;
  return length == 0 ? SatnogsGuess::kOther : SatnogsGuess::kSatnogs;
}

SatnogsLineError ParseSatnogsLine(std::string_view line, std::string& rx_time, std::string& bytes) {
  const std::size_t bar = line.find('|');
  if (bar == std::string_view::npos) return SatnogsLineError::kNoSeparator;
  const std::string_view time = line.substr(0, bar);
  const std::size_t shape = TimeShapeLength(line);
  if (shape != bar || bar < 19 || !ParseUtcDateTime(time.substr(0, 19), time[10])) {
    return SatnogsLineError::kBadTime;
  }
  const std::string_view hex = line.substr(bar + 1);
  if (hex.empty()) return SatnogsLineError::kNoBytes;
  bytes.clear();
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexValue(hex[i]);
    const int low = i + 1 < hex.size() ? HexValue(hex[i + 1]) : 0;
    if (high < 0 || low < 0) return SatnogsLineError::kNotHex;
    bytes.push_back(static_cast<char>(high << 4 | low));
  }
  if (hex.size() % 2 != 0) return SatnogsLineError::kOddHex;
  rx_time.assign(time.substr(0, 19));
  rx_time[10] = ' ';
  return SatnogsLineError::kNone;
}

namespace {

// The first `c` in [from, to), or `to`.
const char* Find(const char* from, const char* to, char c) {
  const void* found = std::memchr(from, c, static_cast<std::size_t>(to - from));
  return found != nullptr ? static_cast<const char*>(found) : to;
}

}  // namespace

void LineSplitter::Feed(std::span<const std::uint8_t> bytes, const TextLineSink& sink) {
  const char* const begin = reinterpret_cast<const char*>(bytes.data());
  const char* const end = begin + bytes.size();
  const char* p = begin;
  const std::uint64_t base = position_;
  position_ += bytes.size();
  if (after_cr_ && p < end) {
    after_cr_ = false;
    if (*p == '\n') line_start_ = base + static_cast<std::uint64_t>(++p - begin);
  }
  // The next LF is looked for once and kept, so that a file of CR line ends is read in one pass.
  const char* lf = Find(p, end, '\n');
  while (p < end) {
    if (lf < p) lf = Find(p, end, '\n');
    const char* const line_end = Find(p, lf, '\r');
    const auto piece = static_cast<std::size_t>(line_end - p);
    if (line_end == end || pending_size_ > 0) {
      const std::size_t room = kMaxSatnogsLine + 1 - std::min(pending_.size(), kMaxSatnogsLine + 1);
      pending_.append(p, std::min(piece, room));
      pending_size_ += piece;
    }
    if (line_end == end) break;
    if (pending_size_ > 0) {
      Emit(pending_, pending_size_, sink);
    } else {
      Emit({p, piece}, piece, sink);
    }
    pending_.clear();
    pending_size_ = 0;
    p = line_end + 1;
    if (*line_end == '\r') {
      if (p == end) {
        after_cr_ = true;
      } else if (*p == '\n') {
        ++p;
      }
    }
    line_start_ = base + static_cast<std::uint64_t>(p - begin);
  }
}

void LineSplitter::Finish(const TextLineSink& sink) {
  if (pending_size_ > 0) Emit(pending_, pending_size_, sink);
  pending_.clear();
  pending_size_ = 0;
  after_cr_ = false;
}

void LineSplitter::Emit(std::string_view text, std::uint64_t size, const TextLineSink& sink) {
  TextLine line;
  line.number = ++line_number_;
  line.offset = line_start_;
  line.text = text.substr(0, kMaxSatnogsLine + 1);
  line.too_long = size > kMaxSatnogsLine;
  sink(line);
}

}  // namespace talphex
