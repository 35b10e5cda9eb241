// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/recent_buffer.h"
#include "core/base/text_safety.h"

namespace talphex {

// The last lines of the frame log, at most `max_lines` of them however long the input: the
// window's debug page shows no more, so no more are ever held. A line longer than
// kMaxLogLineBytes keeps its start and says how long it was, and all lines together stay
// within kMaxLogBytes.
class FrameLogBuffer {
 public:
  static constexpr std::size_t kMaxLogLineBytes = 1024;
  static constexpr std::size_t kMaxLogBytes = 32 << 20;

  explicit FrameLogBuffer(std::size_t max_lines) : lines_(max_lines, kMaxLogBytes) {}

  // A frame-log line; its CR LF is left out, and the frame text in it is shown as the record
  // view shows it (PrintableText), since it comes from the radio.
  void Add(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    AssignPrintableText(shown_, line.substr(0, kMaxLogLineBytes));
    if (line.size() > kMaxLogLineBytes) {
      shown_ += "... (" + std::to_string(line.size()) + " characters)";
    }
    lines_.Add({}, shown_);
  }
  // Lines of `other` appended after these, oldest first.
  void Append(const FrameLogBuffer& other) {
    for (std::size_t i = 0; i < other.size(); ++i) lines_.Add({}, other.line(i));
  }
  // How many of the oldest lines an Append of `other` pushes out, for a few lines that fit the
  // limits by themselves: a view can announce one removal before one insertion.
  std::size_t DropsFor(const FrameLogBuffer& other) const {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < other.size(); ++i) bytes += other.line(i).size();
    return lines_.DropsFor(bytes, other.size());
  }
  void DropOldest(std::size_t count) { lines_.DropOldest(count); }
  std::size_t size() const { return lines_.size(); }
  // Line `index`, 0 for the oldest kept.
  std::string_view line(std::size_t index) const { return lines_.bytes(index); }
  // Lines that came but were pushed out by newer ones.
  std::uint64_t dropped() const { return lines_.dropped(); }
  void Clear() { lines_.Clear(); }

 private:
  struct NoRow {};
  RecentBuffer<NoRow> lines_;
  std::string shown_;  // the line in work, its buffer kept from line to line
};

}  // namespace talphex
