// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/monitor/alarms.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Which of `kPairs` pairs of values lie below their low or above their high bound, one bit per
// value from the lowest bit on. Not a number compares false both ways: it has no level and
// changes nothing, so it counts as inside. The count is fixed per kind so that the loop unrolls.
template <std::size_t kPairs>
std::uint64_t OutsideBits(const double* values, const double* low, const double* high) {
  static_assert(2 * kPairs <= 64);
  std::uint64_t outside = 0;
#if defined(__SSE2__)
  // Two values at a time, with no branch.
  for (std::size_t p = 0; p < kPairs; ++p) {
    const __m128d value = _mm_loadu_pd(values + 2 * p);
    const __m128d out = _mm_or_pd(_mm_cmplt_pd(value, _mm_loadu_pd(low + 2 * p)),
                                  _mm_cmpgt_pd(value, _mm_loadu_pd(high + 2 * p)));
    outside |= static_cast<std::uint64_t>(_mm_movemask_pd(out)) << (2 * p);
  }
#else
  for (std::size_t i = 0; i < 2 * kPairs; ++i) {
    outside |= static_cast<std::uint64_t>(values[i] < low[i] || values[i] > high[i]) << i;
  }
#endif
  return outside;
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
      flag_tracks_(limits_.flags.size()) {
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
  KindBands& bands = bands_[static_cast<std::size_t>(kind)];
  // Only a value outside its stay band can change its field's level.
  for (std::uint64_t outside = OutsideSlots(kind, record); outside != 0; outside &= outside - 1) {
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
        raise(false, limits.field, *change);
      }
    }
    std::tie(bands.low[band], bands.high[band]) = gate.StayBand(value);
  }
  // Status flags are read from payload records.
  if (kind != Kind::kPayload || limits_.flags.empty()) return;
  StatusBytes status;
  std::copy_n(record.Value.begin() + kFirstStatusSlot, status.size(), status.begin());
  if (last_status_ == status) return;
  for (std::size_t i = 0; i < limits_.flags.size(); ++i) {
    const FlagBit bit = flag_bits_[i];
    const std::size_t byte = bit.slot - kFirstStatusSlot;
    if (last_status_ && (*last_status_)[byte] == status[byte]) continue;
    const double value = (static_cast<int>(status[byte]) & bit.mask) != 0 ? 1.0 : 0.0;
    if (const auto change = flag_tracks_[i].Flag(limits_.flags[i], value, number)) {
      raise(true, limits_.flags[i].lamp, *change);
    }
  }
  last_status_ = status;
}

std::uint64_t LimitJudge::OutsideSlots(Kind kind, const TelemetryRecord& record) const {
  const KindBands& bands = bands_[static_cast<std::size_t>(kind)];
  const double* values = record.Value.data() + bands.first_slot;
  constexpr std::size_t kBeaconPairs = (kFirstPayloadSlot + 1) / 2;
  constexpr std::size_t kPayloadPairs = (kFieldCount - kFirstPayloadSlot + 1) / 2;
  return kind == Kind::kBeacon
             ? OutsideBits<kBeaconPairs>(values, bands.low.data(), bands.high.data())
             : OutsideBits<kPayloadPairs>(values, bands.low.data(), bands.high.data());
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
