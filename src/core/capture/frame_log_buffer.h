// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace talphex {

// The last lines of the frame log, at most `max_lines` of them however long the input: the
// window's debug page shows no more, so no more are ever held.
class FrameLogBuffer {
 public:
  explicit FrameLogBuffer(std::size_t max_lines) : max_lines_(max_lines) {}

  // A frame-log line; its CR LF is left out.
  void Add(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (max_lines_ == 0) return;
    if (lines_.size() == max_lines_) {
      // The oldest line's buffer is reused for the newest.
      std::string reused = std::move(lines_.front());
      lines_.pop_front();
      reused.assign(line);
      lines_.push_back(std::move(reused));
      ++dropped_;
      return;
    }
    lines_.emplace_back(line);
  }
  const std::deque<std::string>& lines() const { return lines_; }
  // Lines that came but were pushed out by newer ones.
  std::uint64_t dropped() const { return dropped_; }

 private:
  std::size_t max_lines_;
  std::deque<std::string> lines_;
  std::uint64_t dropped_ = 0;
};

}  // namespace talphex
