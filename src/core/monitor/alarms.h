// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/decode/decoder_state.h"
#include "core/decode/telemetry_record.h"
#include "core/monitor/limits.h"
#include "core/view/field_catalogue.h"

namespace talphex {

// The first value slot of the payload status bytes (45 to 50), which hold the flags.
inline constexpr int kFirstStatusSlot = 45;

// A change of level of a field or a flag with limits, at one record.
struct Alarm {
  Kind kind = Kind::kBeacon;
  std::int64_t record = 0;  // 1 for the first record of its kind since the reset
  std::string rx_time{};    // the record's receive time text; empty when it has none
  int rx_millisecond = -1;
  bool flag = false;  // a flag rule's alarm (`index` is a lamp) or a field's (a field)
  int index = 0;
  double value = 0;
  Level from = Level::kGreen;
  Level to = Level::kGreen;
};

// "none", "green", "yellow" or "red".
std::string_view LevelName(Level level);

// The field's or flag's name in limits.ini.
std::string_view AlarmSubject(const Alarm& alarm);

// The value of an alarm as text: a field's number, a flag's "0" or "1".
std::string AlarmValueText(const Alarm& alarm);

// The alarm CSV: a header line, then one line per alarm, comma-separated UTF-8 with CR LF line
// ends as the analysis CSV; the time is empty for a record without one.
inline constexpr std::string_view kAlarmCsvHeader =
    "rx_time_utc,record,kind,field,value,from,to\r\n";
void AppendAlarmCsv(std::string& out, const Alarm& alarm);

// One line for a terminal, without its line end: "2026-11-14T09:41:03Z beacon 12 Battery Volt 1
// = 8.35: green -> yellow" ("-" for no time). Only well-formed times and the catalogue's names
// go into it.
std::string AlarmLine(const Alarm& alarm);

// The limits of a field or the rule of a flag; nullptr when there are none.
const FieldLimits* LimitsOfField(const Limits& limits, int field);
const FlagLimit* RuleOfFlag(const Limits& limits, int lamp);

// What a value's level means, as a value box's tooltip says it: "yellow high: 8.35 > 8.3",
// "red low: 6.1 < 6.4"; empty for a value within the yellow limits or not finite.
std::string LimitText(const FieldLimits& limits, double value);

// Whether a flag breaks its rule in `record`: it has the other value than a "should be" rule's,
// or, watched, it differs from the `previous` record of its kind (nullptr for none).
bool FlagInAlarm(const FlagLimit& rule, const TelemetryRecord& record,
                 const TelemetryRecord* previous);

// The limit state of what the window shows for one record number: each field's level (none for a
// field without limits or without a record) with its limit text, and the flags that break their
// rule.
struct ShownRecordLimits {
  std::array<Level, kFieldCount> levels{};
  std::array<std::string, kFieldCount> texts;
  std::array<bool, kLampCount> flags{};
};
ShownRecordLimits JudgeShownRecord(const Limits& limits, const DecoderState& state,
                                   std::int64_t record_number);

// Judges records as they arrive, each kind in record order, against a station's limits: the
// level of each field and flag goes on from one record to the next, so that a live station and
// a file read give the same alarms.
class LimitJudge {
 public:
  // No limits: every value keeps its level and raises nothing.
  LimitJudge() : LimitJudge(Limits{}) {}
  explicit LimitJudge(Limits limits);

  // Appends to `alarms` the alarms that record `number` of `kind` raises.
  void Judge(Kind kind, std::int64_t number, const TelemetryRecord& record,
             std::vector<Alarm>& alarms);
  // Every level back to green, as before a kind's first record.
  void Reset();

  const Limits& limits() const { return limits_; }
  bool empty() const { return limits_.fields.empty() && limits_.flags.empty(); }
  // The worst level an alarm has gone to since the reset (green when none was raised).
  Level worst() const { return worst_; }

 private:
  // Where a flag rule's bit lies in a record.
  struct FlagBit {
    std::size_t slot;
    int mask;
  };
  using StatusBytes = std::array<double, kValueSlots - kFirstStatusSlot>;
  // A field's limits as four numbers (a limit left out is an infinity) and the levels its track
  // holds, so that a value that keeps the level its track has taken is not handed to the track:
  // it could change nothing there.
  struct FieldGate {
    double red_low, yellow_low, yellow_high, red_high;
    Level adopted = Level::kGreen;
    Level running = Level::kGreen;
    Level LevelOf(double value) const;
    // The values, as [low, high], that keep the level the gate holds after `value`: the band of
    // its limits that `value` lies in. Empty while a run towards another level is under way or
    // after a value that is not finite, so that the next value is judged in full.
    std::pair<double, double> StayBand(double value) const;
    std::pair<double, double> GreenBand() const;
  };

  Limits limits_;
  std::vector<LevelTrack> field_tracks_;
  std::vector<LevelTrack> flag_tracks_;
  // Found once, so that a record reads its flags directly.
  std::vector<FlagBit> flag_bits_;
  std::vector<FieldGate> field_gates_;
  // Each kind's value slots, rounded up to whole vectors of four.
  static constexpr std::size_t kBeaconBandSlots = (kFirstPayloadSlot + 3) / 4 * 4;
  static constexpr std::size_t kPayloadBandSlots = (kFieldCount - kFirstPayloadSlot + 3) / 4 * 4;
  static_assert(kBeaconBandSlots <= kValueSlots &&
                kFirstPayloadSlot + kPayloadBandSlots <= kValueSlots &&
                kPayloadBandSlots <= kBeaconBandSlots);
  // Per kind, each field's stay band (everything for a field without limits) and the index of
  // its limits, from the kind's first value slot on, padded to whole vectors with bands that
  // hold everything.
  struct KindBands {
    std::size_t first_slot = 0;
    std::array<double, kBeaconBandSlots> low{};
    std::array<double, kBeaconBandSlots> high{};
    std::array<int, kBeaconBandSlots> limit{};
  };
  void SetBand(std::size_t limit, std::pair<double, double> band);
  // The rare parts of judging, out of the common path: the fields whose bits are set in
  // `outside`, and the flags of a payload record whose status bytes changed.
  void JudgeFields(Kind kind, std::int64_t number, const TelemetryRecord& record,
                   std::uint64_t outside, std::vector<Alarm>& alarms);
  void JudgeFlags(std::int64_t number, const TelemetryRecord& record, std::vector<Alarm>& alarms);
  void Raise(Kind kind, std::int64_t number, const TelemetryRecord& record, bool flag, int index,
             const LevelChange& change, std::vector<Alarm>& alarms);
  std::array<KindBands, 2> bands_{};
  // The status bytes of the last payload record: a flag in a byte that did not change can raise
  // no alarm (its rule's level depends on its value alone), so its rule is not looked at.
  // Compared bit for bit: a -0 after a 0 only has the flags looked at again.
  std::optional<StatusBytes> last_status_;
  Level worst_ = Level::kGreen;
  // Whether the processor compares four values at a time (else one at a time).
  bool avx2_ = false;
};

}  // namespace talphex
