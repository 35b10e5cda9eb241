// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/monitor/alarms.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <tuple>
#include <utility>

#include "core/export/analysis_exports.h"
#include "core/monitor/band_compare.h"
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

ShownRecordLimits JudgeShownRecord(const Limits& limits, const DecoderState& state,
                                   std::int64_t record_number) {
  ShownRecordLimits shown;
  for (const FieldLimits& field : limits.fields) {
    const TelemetryRecord* record = state.StoredRecord(KindOfField(field.field), record_number);
    if (record == nullptr) continue;
    const double value = record->Value[static_cast<std::size_t>(field.field)];
    const auto index = static_cast<std::size_t>(field.field);
    shown.levels[index] = LevelOf(field, value);
    shown.texts[index] = LimitText(field, value);
  }
  const TelemetryRecord* payload = state.StoredRecord(Kind::kPayload, record_number);
  if (payload == nullptr) return shown;
  const TelemetryRecord* previous = state.StoredRecord(Kind::kPayload, record_number - 1);
  for (const FlagLimit& flag : limits.flags) {
    shown.flags[static_cast<std::size_t>(flag.lamp)] = FlagInAlarm(flag, *payload, previous);
  }
  return shown;
}

LimitJudge::LimitJudge(Limits limits)
    : limits_(std::move(limits)),
      field_tracks_(limits_.fields.size()),
      flag_tracks_(limits_.flags.size()),
      avx2_(HaveAvx2()) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  for (const Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    KindBands& bands = bands_[static_cast<std::size_t>(kind)];
    const bool beacon = kind == Kind::kBeacon;
    bands.first_slot = beacon ? 0 : kFirstPayloadSlot;
    bands.low.fill(-kInf);
    bands.high.fill(kInf);
  }
  for (std::size_t i = 0; i < limits_.fields.size(); ++i) {
    const FieldLimits& field = limits_.fields[i];
    const FieldGate& gate =
        field_gates_.emplace_back(FieldGate{.red_low = field.red_low.value_or(-kInf),
                                            .yellow_low = field.yellow_low.value_or(-kInf),
                                            .yellow_high = field.yellow_high.value_or(kInf),
                                            .red_high = field.red_high.value_or(kInf)});
    SetBand(i, gate.GreenBand());
  }
  for (const FlagLimit& rule : limits_.flags) {
    const LampInfo info = Lamp(rule.lamp);
    flag_bits_.push_back({static_cast<std::size_t>(info.slot), info.mask});
  }
}

void LimitJudge::Judge(Kind kind, std::int64_t number, const TelemetryRecord& record,
                       std::vector<Alarm>& alarms) {
  // Only a value outside its stay band can change its field's level.
  const KindBands& bands = bands_[static_cast<std::size_t>(kind)];
  const double* values = record.Value.data() + bands.first_slot;
  const std::uint64_t outside =
      kind == Kind::kBeacon
          ? OutsideBits<kBeaconBandSlots>(avx2_, values, bands.low.data(), bands.high.data())
          : OutsideBits<kPayloadBandSlots>(avx2_, values, bands.low.data(), bands.high.data());
  if (outside != 0) JudgeFields(kind, number, record, outside, alarms);
  // Status flags are read from payload records; a flag's rule can change its level only when
  // its status byte changed.
  if (kind != Kind::kPayload || flag_bits_.empty()) return;
  const double* status = record.Value.data() + kFirstStatusSlot;
  if (!last_status_ || std::memcmp(last_status_->data(), status, sizeof(StatusBytes)) != 0) {
    JudgeFlags(number, record, alarms);
  }
}

void LimitJudge::JudgeFields(Kind kind, std::int64_t number, const TelemetryRecord& record,
                             std::uint64_t outside, std::vector<Alarm>& alarms) {
  KindBands& bands = bands_[static_cast<std::size_t>(kind)];
  for (; outside != 0; outside &= outside - 1) {
    const auto band = static_cast<std::size_t>(std::countr_zero(outside));
    const auto i = static_cast<std::size_t>(bands.limit[band]);
    const FieldLimits& limits = limits_.fields[i];
    const double value = record.Value[static_cast<std::size_t>(limits.field)];
    FieldGate& gate = field_gates_[i];
    const Level level = gate.LevelOf(value);
    if (level != Level::kNone && (level != gate.adopted || gate.running != gate.adopted)) {
      gate.running = level;
      if (const auto change = field_tracks_[i].Field(limits, value, number)) {
        gate.adopted = change->to;
        Raise(kind, number, record, false, limits.field, *change, alarms);
      }
    }
    std::tie(bands.low[band], bands.high[band]) = gate.StayBand(value);
  }
}

void LimitJudge::JudgeFlags(std::int64_t number, const TelemetryRecord& record,
                            std::vector<Alarm>& alarms) {
  StatusBytes status;
  std::copy_n(record.Value.begin() + kFirstStatusSlot, status.size(), status.begin());
  for (std::size_t i = 0; i < limits_.flags.size(); ++i) {
    const FlagBit bit = flag_bits_[i];
    const std::size_t byte = bit.slot - kFirstStatusSlot;
    if (last_status_ && (*last_status_)[byte] == status[byte]) continue;
    const double value = (static_cast<int>(status[byte]) & bit.mask) != 0 ? 1.0 : 0.0;
    if (const auto change = flag_tracks_[i].Flag(limits_.flags[i], value, number)) {
      Raise(Kind::kPayload, number, record, true, limits_.flags[i].lamp, *change, alarms);
    }
  }
  last_status_ = status;
}

void LimitJudge::Raise(Kind kind, std::int64_t number, const TelemetryRecord& record, bool flag,
                       int index, const LevelChange& change, std::vector<Alarm>& alarms) {
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
}

void LimitJudge::SetBand(std::size_t limit, std::pair<double, double> band) {
  const int field = limits_.fields[limit].field;
  KindBands& bands = bands_[static_cast<std::size_t>(KindOfField(field))];
  const auto index = static_cast<std::size_t>(field) - bands.first_slot;
  std::tie(bands.low[index], bands.high[index]) = band;
  bands.limit[index] = static_cast<int>(limit);
}

std::pair<double, double> LimitJudge::FieldGate::GreenBand() const {
  // A red limit without its yellow one bounds green too.
  return {std::max(red_low, yellow_low), std::min(red_high, yellow_high)};
}

std::pair<double, double> LimitJudge::FieldGate::StayBand(double value) const {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const auto above = [](double limit) { return std::nextafter(limit, kInf); };
  const auto below = [](double limit) { return std::nextafter(limit, -kInf); };
  if (running != adopted || !std::isfinite(value)) return {kInf, -kInf};
  switch (adopted) {
    case Level::kGreen:
      return GreenBand();
    case Level::kYellow:
      if (value > yellow_high) return {above(yellow_high), red_high};
      return {red_low, below(yellow_low)};
    case Level::kRed:
      if (value > red_high) return {above(red_high), kInf};
      return {-kInf, below(red_low)};
    case Level::kNone:
      break;
  }
  return {kInf, -kInf};
}

Level LimitJudge::FieldGate::LevelOf(double value) const {
  // Comparisons with NaN are false, so test finiteness first.
  if (!std::isfinite(value)) return Level::kNone;
  if (value < red_low || value > red_high) return Level::kRed;
  if (value < yellow_low || value > yellow_high) return Level::kYellow;
  return Level::kGreen;
}

void LimitJudge::Reset() {
  field_tracks_.assign(limits_.fields.size(), LevelTrack());
  for (std::size_t i = 0; i < field_gates_.size(); ++i) {
    FieldGate& gate = field_gates_[i];
    gate.adopted = gate.running = Level::kGreen;
    SetBand(i, gate.GreenBand());
  }
  flag_tracks_.assign(limits_.flags.size(), LevelTrack());
  last_status_.reset();
  worst_ = Level::kGreen;
}

}  // namespace talphex
