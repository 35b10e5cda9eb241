// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/monitor/alarms.h"

#include <cstdio>
#include <utility>

#include "core/export/analysis_exports.h"
#include "core/view/field_catalogue.h"
#include "core/view/text_forms.h"

namespace talphex {
namespace {

// A limit or a value as a tooltip shows it: six significant digits, as "%g" writes them.
std::string NumberText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

double FlagValue(const TelemetryRecord& record, int lamp) {
  return FlagIsSet(record, lamp) ? 1.0 : 0.0;
}

}  // namespace

std::string_view LevelName(Level level) {
  switch (level) {
    case Level::kNone:
      return "none";
    case Level::kGreen:
      return "green";
    case Level::kYellow:
      return "yellow";
    case Level::kRed:
      return "red";
  }
  return "none";
}

std::string_view AlarmSubject(const Alarm& alarm) {
  return alarm.flag ? FlagLimitName(alarm.index) : FieldLimitName(alarm.index);
}

std::string AlarmValueText(const Alarm& alarm) {
  if (alarm.flag) return alarm.value != 0 ? "1" : "0";
  return GeneralText(alarm.value, '.');
}

void AppendAlarmCsv(std::string& out, const Alarm& alarm) {
  out.append(IsoUtcTime(alarm.rx_time, alarm.rx_millisecond)).append(",");
  out.append(std::to_string(alarm.record)).append(",").append(KindName(alarm.kind)).append(",");
  out.append(CsvCell(AlarmSubject(alarm))).append(",").append(AlarmValueText(alarm)).append(",");
  out.append(LevelName(alarm.from)).append(",").append(LevelName(alarm.to)).append("\r\n");
}

std::string AlarmLine(const Alarm& alarm) {
  const std::string time = IsoUtcTime(alarm.rx_time, alarm.rx_millisecond);
  return (time.empty() ? std::string("-") : time) + " " + std::string(KindName(alarm.kind)) + " " +
         std::to_string(alarm.record) + " " + std::string(AlarmSubject(alarm)) + " = " +
         AlarmValueText(alarm) + ": " + std::string(LevelName(alarm.from)) + " -> " +
         std::string(LevelName(alarm.to));
}

const FieldLimits* LimitsOfField(const Limits& limits, int field) {
  for (const FieldLimits& entry : limits.fields) {
    if (entry.field == field) return &entry;
  }
  return nullptr;
}

const FlagLimit* RuleOfFlag(const Limits& limits, int lamp) {
  for (const FlagLimit& entry : limits.flags) {
    if (entry.lamp == lamp) return &entry;
  }
  return nullptr;
}

std::string LimitText(const FieldLimits& limits, double value) {
  const Level level = LevelOf(limits, value);
  if (level != Level::kYellow && level != Level::kRed) return {};
  const bool red = level == Level::kRed;
  const std::optional<double>& low = red ? limits.red_low : limits.yellow_low;
  const bool below = low && value < *low;
  const double limit = below ? *low : *(red ? limits.red_high : limits.yellow_high);
  return std::string(LevelName(level)) + (below ? " low: " : " high: ") + NumberText(value) +
         (below ? " < " : " > ") + NumberText(limit);
}

bool FlagInAlarm(const FlagLimit& rule, const TelemetryRecord& record,
                 const TelemetryRecord* previous) {
  const bool set = FlagIsSet(record, rule.lamp);
  switch (rule.rule) {
    case FlagRule::kShouldBe0:
      return set;
    case FlagRule::kShouldBe1:
      return !set;
    case FlagRule::kWatch:
      return previous != nullptr && FlagIsSet(*previous, rule.lamp) != set;
  }
  return false;
}

LimitJudge::LimitJudge(Limits limits)
    : limits_(std::move(limits)),
      field_tracks_(limits_.fields.size()),
      flag_tracks_(limits_.flags.size()) {}

void LimitJudge::Judge(Kind kind, std::int64_t number, const TelemetryRecord& record,
                       std::vector<Alarm>& alarms) {
  const auto raise = [&](bool flag, int index, const LevelChange& change) {
    alarms.push_back({.kind = kind,
                      .record = number,
                      .rx_time = record.RxTime,
                      .rx_millisecond = record.RxMillisecond,
                      .flag = flag,
                      .index = index,
                      .value = change.value,
                      .from = change.from,
                      .to = change.to});
    if (change.to > worst_) worst_ = change.to;
  };
  for (std::size_t i = 0; i < limits_.fields.size(); ++i) {
    const FieldLimits& limits = limits_.fields[i];
    if (KindOfField(limits.field) != kind) continue;
    const double value = record.Value[static_cast<std::size_t>(limits.field)];
    if (const auto change = field_tracks_[i].Field(limits, value, number)) {
      raise(false, limits.field, *change);
    }
  }
  // Status flags are read from payload records.
  if (kind != Kind::kPayload) return;
  for (std::size_t i = 0; i < limits_.flags.size(); ++i) {
    const FlagLimit& rule = limits_.flags[i];
    if (const auto change = flag_tracks_[i].Flag(rule, FlagValue(record, rule.lamp), number)) {
      raise(true, rule.lamp, *change);
    }
  }
}

void LimitJudge::Reset() {
  field_tracks_.assign(limits_.fields.size(), LevelTrack());
  flag_tracks_.assign(limits_.flags.size(), LevelTrack());
  worst_ = Level::kGreen;
}

}  // namespace talphex
