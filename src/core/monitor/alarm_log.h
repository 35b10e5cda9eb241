// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>

#include "core/monitor/alarms.h"
#include "core/view/field_catalogue.h"

namespace talphex {

// The alarms a station has been told of since the last open or connect, newest last, with what
// it has acknowledged. A hostile stream can raise an alarm on every field of every frame, so only
// the newest kMaxLoggedAlarms are kept; the counts go on.
inline constexpr std::size_t kMaxLoggedAlarms = 10'000;
// A field's or flag's red alarms call for attention at most once in this time.
inline constexpr std::int64_t kAlertIntervalMs = 60'000;

class AlarmLog {
 public:
  // Adds alarms in the order they were raised; returns how many of them call for attention
  // now (`now_ms`, a steady clock): red ones of a field or flag not alerted in the last
  // kAlertIntervalMs.
  int Add(std::span<const Alarm> alarms, std::int64_t now_ms);
  void AcknowledgeAll();
  void Clear();

  const std::deque<Alarm>& alarms() const { return alarms_; }
  // Alarms dropped from the front to keep the newest.
  std::int64_t dropped() const { return dropped_; }
  // Alarms to yellow or to red raised since the last acknowledgement.
  std::int64_t unacknowledged_red() const { return unacknowledged_[1]; }
  std::int64_t unacknowledged_yellow() const { return unacknowledged_[0]; }
  // Whether the alarm at `index` of alarms() came after the last acknowledgement.
  bool acknowledged(std::size_t index) const;

 private:
  std::deque<Alarm> alarms_;
  std::int64_t dropped_ = 0;
  // Alarms added before the last acknowledgement, dropped ones included.
  std::int64_t acknowledged_ = 0;
  std::array<std::int64_t, 2> unacknowledged_{};
  // Steady time of each field's and each flag's last alert; absent (min) before the first.
  std::array<std::int64_t, kFieldCount + kLampCount> last_alert_ms_{};
  std::array<bool, kFieldCount + kLampCount> alerted_{};
};

// "2 red and 1 yellow alarm unacknowledged", "1 red alarm unacknowledged"; empty when none is.
std::string UnacknowledgedText(const AlarmLog& log);

}  // namespace talphex
