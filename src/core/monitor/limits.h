// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/expected.h"

namespace talphex {

// Limits a station sets on the telemetry, read from a limits.ini:
//
//   [Battery Volt 1]
//   red_low = 6.4
//   yellow_low = 7.0
//   yellow_high = 8.3
//   red_high = 8.5
//   persistence = 2
//
//   [flags]
//   Status Word 0 Low CH1_OC = 0
//   Status Word 1 High RESET = watch
//
// A field's section is named as the analysis exports name its column, without the unit. Any of
// the four limits may be left out; they must not decrease from red_low to red_high. persistence
// (1 by default) is the number of records in a row that must have a level before it is taken. A
// flag rule "= 0" or "= 1" gives the value the flag should have: an alarm while it has the other;
// "= watch" is an alarm at each change.

enum class Level { kNone, kGreen, kYellow, kRed };

struct FieldLimits {
  int field = 0;  // field index of the catalogue
  std::optional<double> red_low{}, yellow_low{}, yellow_high{}, red_high{};
  int persistence = 1;
  friend bool operator==(const FieldLimits&, const FieldLimits&) = default;
};

enum class FlagRule { kShouldBe0, kShouldBe1, kWatch };

struct FlagLimit {
  int lamp = 0;  // lamp index of the catalogue
  FlagRule rule = FlagRule::kWatch;
  friend bool operator==(const FlagLimit&, const FlagLimit&) = default;
};

struct Limits {
  std::vector<FieldLimits> fields;
  std::vector<FlagLimit> flags;
  friend bool operator==(const Limits&, const Limits&) = default;
};

// The name limits.ini gives a field (its analysis column without the unit: "Battery Volt 1") or
// a flag (its analysis column: "Status Word 0 Low CH1_OC").
std::string_view FieldLimitName(int field);
std::string_view FlagLimitName(int lamp);

// Limits of a limits.ini's text; an error names `path`, the line and what is wrong with it.
Expected<Limits> ParseLimits(std::string_view text, std::string_view path);

// Limits read from the file `path` (a regular file of at most kMaxLimitsFileBytes); an error names
// the file, and the line where its text is wrong.
inline constexpr std::size_t kMaxLimitsFileBytes = 1 << 20;
Expected<Limits> ReadLimitsFile(const std::string& path);

// The level of one value: none when it is not finite; red beyond a red limit, yellow beyond a
// yellow one; a value equal to a limit is within it.
Level LevelOf(const FieldLimits& limits, double value);

// A change of a field's or flag's level, at a record (its number) with its value.
struct LevelChange {
  std::int64_t record = 0;
  double value = 0;
  Level from = Level::kGreen;
  Level to = Level::kGreen;
};

// The level of one field or flag as its records go by, each kind in record order.
class LevelTrack {
 public:
  // The change of level, if any, that a field's value at `record` makes: the level before the
  // first record is green; a level is taken once `persistence` records in a row have it. A value
  // that is not finite has no level: it neither counts towards a run nor breaks it.
  std::optional<LevelChange> Field(const FieldLimits& limits, double value, std::int64_t record);
  // The alarm, if any, of a flag's value (0 or 1) at `record`: for "should be" rules, red from
  // the record where it has the other value, green again where it returns; for "watch", one
  // yellow alarm (from green) at each change of value, the first record compared with nothing.
  std::optional<LevelChange> Flag(const FlagLimit& limit, double value, std::int64_t record);

 private:
  Level adopted_ = Level::kGreen;
  Level running_ = Level::kGreen;
  int run_ = 0;
  std::optional<double> last_;
};

// The changes of level over a field's values in record order, record `first_record` first, as a
// LevelTrack finds them.
std::vector<LevelChange> FieldLevelChanges(const FieldLimits& limits,
                                           std::span<const double> values,
                                           std::int64_t first_record);

// The alarms of a flag over its values (0 or 1) in record order, as a LevelTrack finds them.
std::vector<LevelChange> FlagLevelChanges(const FlagLimit& limit, std::span<const double> values,
                                          std::int64_t first_record);

}  // namespace talphex
