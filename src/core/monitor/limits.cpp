// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/monitor/limits.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

#include "core/base/regular_file.h"
#include "core/export/analysis_exports.h"
#include "core/view/field_catalogue.h"

namespace talphex {
namespace {

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<int> FieldNamed(std::string_view name) {
  for (int field = 0; field < kFieldCount; ++field) {
    if (FieldLimitName(field) == name) return field;
  }
  return std::nullopt;
}

std::optional<int> FlagNamed(std::string_view name) {
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    if (FlagLimitName(lamp) == name) return lamp;
  }
  return std::nullopt;
}

std::optional<double> NumberOf(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

// Reads the file line by line; the first error stops it.
class LimitsReader {
 public:
  explicit LimitsReader(std::string_view path) : path_(path) {}

  std::optional<std::string> Line(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';') return std::nullopt;
    if (line.front() == '[') return Section(line);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return "not \"key = value\"";
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (in_flags_) return Flag(key, value);
    if (limits_.fields.empty() || !in_field_) return "a value outside a section";
    return FieldValue(key, value);
  }
  std::string Error(int line, const std::string& what) const {
    return std::string(path_) + ":" + std::to_string(line) + ": " + what;
  }
  Limits& limits() { return limits_; }

 private:
  std::optional<std::string> Section(std::string_view line) {
    if (!line.ends_with(']')) return "a section name without \"]\"";
    const std::string_view name = Trim(line.substr(1, line.size() - 2));
    in_flags_ = name == "flags";
    in_field_ = false;
    if (in_flags_) return std::nullopt;
    const std::optional<int> field = FieldNamed(name);
    if (!field) return "no field is named \"" + std::string(name) + "\"";
    for (const FieldLimits& earlier : limits_.fields) {
      if (earlier.field == *field) return "a second section for \"" + std::string(name) + "\"";
    }
    limits_.fields.push_back({.field = *field});
    in_field_ = true;
    return std::nullopt;
  }

  std::optional<std::string> FieldValue(std::string_view key, std::string_view value) {
    FieldLimits& limits = limits_.fields.back();
    if (key == "persistence") {
      int count = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
      if (error != std::errc() || end != value.data() + value.size() || count < 1) {
        return "persistence is a whole number of records from 1";
      }
      limits.persistence = count;
      return std::nullopt;
    }
    const std::array<std::pair<std::string_view, std::optional<double>*>, 4> kLimits = {{
        {"red_low", &limits.red_low},
        {"yellow_low", &limits.yellow_low},
        {"yellow_high", &limits.yellow_high},
        {"red_high", &limits.red_high},
    }};
    for (const auto& [name, slot] : kLimits) {
      if (key != name) continue;
      const std::optional<double> number = NumberOf(value);
      if (!number) return std::string(key) + " is not a number: \"" + std::string(value) + "\"";
      *slot = number;
      return CheckOrder();
    }
    return "no limit is called \"" + std::string(key) + "\"";
  }

  std::optional<std::string> Flag(std::string_view name, std::string_view value) {
    const std::optional<int> lamp = FlagNamed(name);
    if (!lamp) return "no flag is named \"" + std::string(name) + "\"";
    FlagRule rule = FlagRule::kWatch;
    if (value == "0") {
      rule = FlagRule::kShouldBe0;
    } else if (value == "1") {
      rule = FlagRule::kShouldBe1;
    } else if (value != "watch") {
      return "a flag's rule is 0, 1 or watch, not \"" + std::string(value) + "\"";
    }
    limits_.flags.push_back({*lamp, rule});
    return std::nullopt;
  }

  // The limits of the section in work, from red_low up to red_high, may not decrease.
  std::optional<std::string> CheckOrder() const {
    if (!in_field_) return std::nullopt;
    const FieldLimits& limits = limits_.fields.back();
    std::optional<double> below;
    for (const std::optional<double>& limit :
         {limits.red_low, limits.yellow_low, limits.yellow_high, limits.red_high}) {
      if (!limit) continue;
      if (below && *limit < *below) {
        return "limits out of order: red_low <= yellow_low <= yellow_high <= red_high";
      }
      below = limit;
    }
    return std::nullopt;
  }

  std::string_view path_;
  Limits limits_;
  bool in_flags_ = false;
  bool in_field_ = false;
};

}  // namespace

std::string_view FieldLimitName(int field) {
  const std::string_view column =
      AnalysisColumns()[kAnalysisLeadColumns + static_cast<std::size_t>(field)];
  const std::size_t unit = column.rfind(" [");
  return unit != std::string_view::npos && column.ends_with(']') ? column.substr(0, unit) : column;
}

std::string_view FlagLimitName(int lamp) {
  return AnalysisColumns()[kAnalysisLeadColumns + kFieldCount + static_cast<std::size_t>(lamp)];
}

Expected<Limits> ParseLimits(std::string_view text, std::string_view path) {
  LimitsReader reader(path);
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  int number = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    ++number;
    if (const auto error = reader.Line(line)) {
      return Error{ErrorKind::kUsage, reader.Error(number, *error)};
    }
    start = end + 1;
  }
  return std::move(reader.limits());
}

Expected<Limits> ReadLimitsFile(const std::string& path) {
  Expected<std::string> text = ReadRegularFile(path, kMaxLimitsFileBytes);
  if (!text.ok()) return text.error();
  return ParseLimits(text.value(), path);
}

Level LevelOf(const FieldLimits& limits, double value) {
  if (!std::isfinite(value)) return Level::kNone;
  if ((limits.red_low && value < *limits.red_low) || (limits.red_high && value > *limits.red_high))
    return Level::kRed;
  if ((limits.yellow_low && value < *limits.yellow_low) ||
      (limits.yellow_high && value > *limits.yellow_high))
    return Level::kYellow;
  return Level::kGreen;
}

std::optional<LevelChange> LevelTrack::Field(const FieldLimits& limits, double value,
                                             std::int64_t record) {
  const Level level = LevelOf(limits, value);
  if (level == Level::kNone) return std::nullopt;
  run_ = level == running_ ? run_ + 1 : 1;
  running_ = level;
  if (level == adopted_ || run_ < limits.persistence) return std::nullopt;
  const LevelChange change{record, value, adopted_, level};
  adopted_ = level;
  return change;
}

std::optional<LevelChange> LevelTrack::Flag(const FlagLimit& limit, double value,
                                            std::int64_t record) {
  const std::optional<double> last = std::exchange(last_, value);
  if (limit.rule == FlagRule::kWatch) {
    if (!last || value == *last) return std::nullopt;
    return LevelChange{record, value, Level::kGreen, Level::kYellow};
  }
  const double nominal = limit.rule == FlagRule::kShouldBe0 ? 0 : 1;
  const Level level = value == nominal ? Level::kGreen : Level::kRed;
  if (level == adopted_) return std::nullopt;
  const LevelChange change{record, value, adopted_, level};
  adopted_ = level;
  return change;
}

namespace {

template <typename Limit, typename Step>
std::vector<LevelChange> Changes(const Limit& limit, std::span<const double> values,
                                 std::int64_t first_record, Step step) {
  std::vector<LevelChange> changes;
  LevelTrack track;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (const std::optional<LevelChange> change =
            (track.*step)(limit, values[i], first_record + static_cast<std::int64_t>(i))) {
      changes.push_back(*change);
    }
  }
  return changes;
}

}  // namespace

std::vector<LevelChange> FieldLevelChanges(const FieldLimits& limits,
                                           std::span<const double> values,
                                           std::int64_t first_record) {
  return Changes(limits, values, first_record, &LevelTrack::Field);
}

std::vector<LevelChange> FlagLevelChanges(const FlagLimit& limit, std::span<const double> values,
                                          std::int64_t first_record) {
  return Changes(limit, values, first_record, &LevelTrack::Flag);
}

}  // namespace talphex
