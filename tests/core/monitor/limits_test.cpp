// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/monitor/limits.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "core/export/analysis_exports.h"
#include "core/view/field_catalogue.h"

namespace talphex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The name limits.ini gives field `field`: its analysis column without the unit.
std::string FieldName(int field) {
  std::string name = AnalysisColumns()[kAnalysisLeadColumns + static_cast<std::size_t>(field)];
  return name.ends_with(']') ? name.substr(0, name.rfind(" [")) : name;
}
std::string FlagName(int lamp) {
  return AnalysisColumns()[kAnalysisLeadColumns + kFieldCount + static_cast<std::size_t>(lamp)];
}

TEST(ParseLimits, ReadsEveryKindOfEntry) {
  const std::string text = "\xEF\xBB\xBF# a station's limits\r\n[" + FieldName(4) +
                           "]\r\nred_low = 6.4\r\nyellow_low=7\r\n yellow_high = 8.3 \r\n"
                           "red_high = 8.5\r\npersistence = 2\r\n\r\n[" +
                           FieldName(17) + "]\nred_high = 60\n[flags]\n" + FlagName(0) + " = 0\n" +
                           FlagName(1) + " = 1\n; a comment\n" + FlagName(47) + " = watch\n";
  const Expected<Limits> limits = ParseLimits(text, "limits.ini");
  ASSERT_TRUE(limits.ok()) << limits.error().message;
  ASSERT_EQ(limits.value().fields.size(), 2u);
  const FieldLimits& battery = limits.value().fields[0];
  EXPECT_EQ(battery.field, 4);
  EXPECT_EQ(battery.red_low, 6.4);
  EXPECT_EQ(battery.yellow_low, 7.0);
  EXPECT_EQ(battery.yellow_high, 8.3);
  EXPECT_EQ(battery.red_high, 8.5);
  EXPECT_EQ(battery.persistence, 2);
  const FieldLimits& panel = limits.value().fields[1];
  EXPECT_TRUE(panel.field == 17 && !panel.red_low && !panel.yellow_high && panel.red_high == 60.0 &&
              panel.persistence == 1);
  ASSERT_EQ(limits.value().flags.size(), 3u);
  EXPECT_EQ(limits.value().flags[0].lamp, 0);
  EXPECT_EQ(limits.value().flags[0].rule, FlagRule::kShouldBe0);
  EXPECT_EQ(limits.value().flags[1].rule, FlagRule::kShouldBe1);
  EXPECT_EQ(limits.value().flags[2].lamp, 47);
  EXPECT_EQ(limits.value().flags[2].rule, FlagRule::kWatch);
  EXPECT_TRUE(ParseLimits("", "empty.ini").ok());
}

// The example the program ships reads, with the entries it explains; a file that cannot be read
// or is too big is refused with its path.
TEST(ReadLimitsFile, TheShippedExampleAndFilesThatCannotBeRead) {
  const Expected<Limits> example = ReadLimitsFile(TALPHEX_LIMITS_EXAMPLE);
  ASSERT_TRUE(example.ok()) << example.error().message;
  EXPECT_EQ(example.value().fields.size(), 2u);
  EXPECT_EQ(example.value().flags.size(), 1u);

  const std::string folder = ::testing::TempDir();
  const std::string big = folder + "/big-limits.ini";
  std::ofstream(big) << std::string(kMaxLimitsFileBytes + 1, '#');
  for (const std::string& path : {folder + "/no-such-limits.ini", folder, big}) {
    const Expected<Limits> limits = ReadLimitsFile(path);
    ASSERT_FALSE(limits.ok()) << path;
    EXPECT_NE(limits.error().message.find(path), std::string::npos) << limits.error().message;
  }
}

// Every error names the file and the line, and says what is wrong there.
TEST(ParseLimits, ErrorsNameTheLine) {
  const std::string field = "[" + FieldName(4) + "]\n";
  const std::tuple<std::string, int, std::string> kCases[] = {
      {"[No Such Field]\n", 1, "no field is named \"No Such Field\""},
      {"red_low = 1\n", 1, "a value outside a section"},
      {field + "red_low = six\n", 2, "red_low is not a number: \"six\""},
      {field + "red_low = 1e999\n", 2, "red_low is not a number"},
      {field + "red_low = nan\n", 2, "red_low is not a number"},
      {field + "red_low = 6.4 V\n", 2, "red_low is not a number"},
      {field + "yellow_low = 7\nred_low = 7.5\n", 3, "limits out of order"},
      {field + "red_high = 8\n\nyellow_high = 8.5\n", 4, "limits out of order"},
      {field + "green = 1\n", 2, "no limit is called \"green\""},
      {field + "persistence = 0\n", 2, "persistence is a whole number of records from 1"},
      {field + "persistence = 2.5\n", 2, "persistence is a whole number"},
      {field + "red_low\n", 2, "not \"key = value\""},
      {"[" + FieldName(4) + "\n", 1, "a section name without \"]\""},
      {field + "\n" + field, 3, "a second section"},
      {"[flags]\nNo Flag = 1\n", 2, "no flag is named \"No Flag\""},
      {"[flags]\n" + FlagName(3) + " = yes\n", 2, "a flag's rule is 0, 1 or watch"},
  };
  for (const auto& [text, line, what] : kCases) {
    const Expected<Limits> limits = ParseLimits(text, "/etc/limits.ini");
    ASSERT_FALSE(limits.ok()) << text;
    EXPECT_EQ(limits.error().kind, ErrorKind::kUsage);
    const std::string where = "/etc/limits.ini:" + std::to_string(line) + ": ";
    EXPECT_TRUE(limits.error().message.starts_with(where + what)) << limits.error().message;
  }
}

// Strictly beyond a limit is out of it; equal limits leave no yellow band; no value, no level.
TEST(Limits, LevelOfAValue) {
  const FieldLimits all{.red_low = 6.4, .yellow_low = 7, .yellow_high = 8.3, .red_high = 8.5};
  const FieldLimits equal{.red_low = 7, .yellow_low = 7, .yellow_high = 8, .red_high = 8};
  const FieldLimits high_only{.red_high = 60};
  const std::tuple<const FieldLimits*, double, Level> kCases[] = {
      {&all, 7.5, Level::kGreen},  {&all, 7, Level::kGreen},          {&all, 6.99, Level::kYellow},
      {&all, 6.4, Level::kYellow}, {&all, 6.39, Level::kRed},         {&all, 8.35, Level::kYellow},
      {&all, 8.5, Level::kYellow}, {&all, 8.51, Level::kRed},         {&all, kNaN, Level::kNone},
      {&all, kInf, Level::kNone},  {&equal, 6.9, Level::kRed},        {&equal, 8.1, Level::kRed},
      {&equal, 7, Level::kGreen},  {&high_only, -1e9, Level::kGreen}, {&high_only, 61, Level::kRed},
  };
  for (const auto& [limits, value, level] : kCases) {
    EXPECT_EQ(LevelOf(*limits, value), level) << value;
  }
}

// Level changes over a run of records, record 101 first: a pass that starts out of limits
// raises its alarm at its first records; persistence delays a change until enough records in a
// row have the level; a value that is not finite neither counts nor breaks a run.
TEST(Limits, FieldLevelChangesWithPersistence) {
  struct Case {
    const char* name;
    int persistence;
    std::vector<double> values;
    std::vector<std::tuple<std::int64_t, Level, Level>> changes;  // record, from, to
  };
  const FieldLimits limits{.red_low = 6.4, .yellow_low = 7, .yellow_high = 8.3, .red_high = 8.5};
  const Case kCases[] = {
      {"all green", 1, {7.5, 7.6, 8}, {}},
      {"starts red",
       1,
       {6, 7.5},
       {{101, Level::kGreen, Level::kRed}, {102, Level::kRed, Level::kGreen}}},
      {"yellow then red",
       1,
       {8.4, 8.6},
       {{101, Level::kGreen, Level::kYellow}, {102, Level::kYellow, Level::kRed}}},
      {"one record is not enough", 2, {7.5, 6, 7.5, 6}, {}},
      {"two in a row",
       2,
       {7.5, 6, 6, 7.5, 7.5},
       {{103, Level::kGreen, Level::kRed}, {105, Level::kRed, Level::kGreen}}},
      {"not finite inside a run", 2, {6, kNaN, 6}, {{103, Level::kGreen, Level::kRed}}},
      {"not finite only", 1, {kNaN, kInf, -kInf}, {}},
      {"a change back before persistence",
       3,
       {6, 6, 7.5, 6, 6, 6},
       {{106, Level::kGreen, Level::kRed}}},
      {"yellow and red mixed do not add up", 2, {8.4, 8.6, 8.4, 8.6}, {}},
  };
  for (const Case& c : kCases) {
    FieldLimits with = limits;
    with.persistence = c.persistence;
    const std::vector<LevelChange> changes = FieldLevelChanges(with, c.values, 101);
    std::vector<std::tuple<std::int64_t, Level, Level>> got;
    for (const LevelChange& change : changes)
      got.emplace_back(change.record, change.from, change.to);
    EXPECT_EQ(got, c.changes) << c.name;
    for (const LevelChange& change : changes) {
      EXPECT_EQ(change.value, c.values[static_cast<std::size_t>(change.record - 101)]) << c.name;
    }
  }
}

TEST(Limits, FlagLevelChanges) {
  const std::tuple<FlagRule, std::vector<double>,
                   std::vector<std::tuple<std::int64_t, Level, Level>>>
      kCases[] = {
          {FlagRule::kShouldBe0, {0, 0, 0}, {}},
          {FlagRule::kShouldBe0,
           {1, 1, 0},
           {{1, Level::kGreen, Level::kRed}, {3, Level::kRed, Level::kGreen}}},
          {FlagRule::kShouldBe1,
           {1, 0, 1},
           {{2, Level::kGreen, Level::kRed}, {3, Level::kRed, Level::kGreen}}},
          {FlagRule::kWatch,
           {1, 1, 0, 1},
           {{3, Level::kGreen, Level::kYellow}, {4, Level::kGreen, Level::kYellow}}},
          {FlagRule::kWatch, {0}, {}},
      };
  for (const auto& [rule, values, expected] : kCases) {
    std::vector<std::tuple<std::int64_t, Level, Level>> got;
    for (const LevelChange& change : FlagLevelChanges({0, rule}, values, 1)) {
      got.emplace_back(change.record, change.from, change.to);
    }
    EXPECT_EQ(got, expected);
  }
}

}  // namespace
}  // namespace talphex
