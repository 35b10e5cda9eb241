// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/monitor/alarm_log.h"

#include "core/view/text_forms.h"

namespace talphex {

int AlarmLog::Add(std::span<const Alarm> alarms, std::int64_t now_ms) {
  int alerts = 0;
  for (const Alarm& alarm : alarms) {
    if (alarm.to == Level::kYellow || alarm.to == Level::kRed) {
      ++unacknowledged_[alarm.to == Level::kRed ? 1 : 0];
    }
    if (alarm.to == Level::kRed) {
      const auto point =
          static_cast<std::size_t>(alarm.flag ? kFieldCount + alarm.index : alarm.index);
      if (!alerted_[point] || now_ms - last_alert_ms_[point] >= kAlertIntervalMs) {
        alerted_[point] = true;
        last_alert_ms_[point] = now_ms;
        ++alerts;
      }
    }
    alarms_.push_back(alarm);
    if (alarms_.size() > kMaxLoggedAlarms) {
      alarms_.pop_front();
      ++dropped_;
    }
  }
  return alerts;
}

void AlarmLog::AcknowledgeAll() {
  acknowledged_ = dropped_ + static_cast<std::int64_t>(alarms_.size());
  unacknowledged_ = {};
}

void AlarmLog::Clear() { *this = AlarmLog(); }

bool AlarmLog::acknowledged(std::size_t index) const {
  return dropped_ + static_cast<std::int64_t>(index) < acknowledged_;
}

std::string UnacknowledgedText(const AlarmLog& log) {
  const std::int64_t red = log.unacknowledged_red();
  const std::int64_t yellow = log.unacknowledged_yellow();
  if (red == 0 && yellow == 0) return {};
  std::string text;
  if (red > 0) text = NumberText(red, Digits::kGrouped) + " red";
  if (red > 0 && yellow > 0) text += " and ";
  if (yellow > 0) text += NumberText(yellow, Digits::kGrouped) + " yellow";
  return text + (red + yellow == 1 ? " alarm" : " alarms") + " unacknowledged";
}

}  // namespace talphex
