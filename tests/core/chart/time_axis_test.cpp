// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/chart/time_axis.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/base/utc_time.h"

namespace talphex {
namespace {

using ::testing::ElementsAreArray;
using Times = std::vector<std::optional<std::int64_t>>;
constexpr std::nullopt_t kNone = std::nullopt;

// Receive times, then what the axis makes of them: each row's position (nothing without a
// time), the runs of the line, each row's half bar width and whether labels carry the date.
struct LayoutCase {
  const char* name;
  Times times;
  std::vector<std::optional<double>> positions;
  std::vector<std::vector<int>> runs;
  std::vector<double> half_widths;
  bool dated = false;
};

TEST(TimeAxis, RowsStandAtTheirTimesAndGapsBreakTheLine) {
  const LayoutCase kCases[] = {
      {"a gap of 8 minutes breaks the line; a row without time is left out",
       {1000, 1060, 1120, kNone, 1600, 1660},
       {0., 60., 120., kNone, 600., 660.},
       {{0, 1, 2}, {4, 5}},
       {24, 24, 24, 0, 24, 24}},
      {"5 minutes do not break it, a second more does",
       {0, 300, 601},
       {0., 300., 601.},
       {{0, 1}, {2}},
       {120, 120, 120}},
      {"rows out of time order are drawn in time order",
       {1500, 1100, 1300},
       {400., 0., 200.},
       {{1, 2, 0}},
       {80, 80, 80}},
      {"rows of one time keep their order; bars go by the nearer other time",
       {1000, 1000, 1010, 1070},
       {0., 0., 10., 70.},
       {{0, 1, 2, 3}},
       {4, 4, 4, 24}},
      {"a lone row, no spacing to go by", {kNone, 5000}, {kNone, 0.}, {{1}}, {0, 12}},
      {"no row with a time", {kNone, kNone}, {kNone, kNone}, {}, {0, 0}},
      {"midnight between the records dates the labels",
       {86399, 86401},
       {0., 2.},
       {{0, 1}},
       {0.8, 0.8},
       true},
      {"one date", {86400, 2 * 86400 - 1}, {0., 86399.}, {{0}, {1}}, {12, 12}},
      {"ten seconds either side of 1970 are two dates",
       {-10, 10},
       {0., 20.},
       {{0, 1}},
       {8, 8},
       true},
      {"bars are no wider than the typical spacing allows",
       {0, 10, 20, 200},
       {0., 10., 20., 200.},
       {{0, 1, 2, 3}},
       {4, 4, 4, 4}},
  };
  for (const LayoutCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const TimeAxis axis = LayOutTimeAxis(c.times);
    EXPECT_THAT(axis.positions, ElementsAreArray(c.positions));
    EXPECT_EQ(axis.runs, c.runs);
    EXPECT_THAT(axis.half_widths, ElementsAreArray(c.half_widths));
    EXPECT_EQ(axis.dated, c.dated);
  }
}

TEST(TimeAxis, NearestRowWithinTheTolerance) {
  const TimeAxis axis = LayOutTimeAxis({1000, 1060, 1120, kNone, 1600, 1660});
  // Position, tolerance, row.
  const std::tuple<double, double, int> kCases[] = {
      {50, 20, 1}, {80, 20, 1},   {80.5, 20, -1}, {90, 20, -1},
      {-5, 10, 0}, {700, 100, 5}, {360, 100, -1}, {1e9, 1e12, 5},
  };
  for (const auto& [position, tolerance, row] : kCases) {
    EXPECT_EQ(axis.NearestRow(position, tolerance), row) << position;
  }
  EXPECT_EQ(axis.RowsBetween(60, 600), 3);
  EXPECT_EQ(LayOutTimeAxis({kNone}).NearestRow(0, 1e9), -1);
}

// Ticks fall on round clock times, not on the first record's odd second.
TEST(TimeAxis, TicksOnRoundClockTimes) {
  const std::int64_t start = *ParseUtcDateTime("2026-11-14 09:41:03");
  const TimeAxis one_pass = LayOutTimeAxis({start, start + 600});
  const TimeAxis two_days = LayOutTimeAxis({start, start + 2 * 86400});
  struct TickCase {
    const TimeAxis* axis;
    double low, high, max_ticks;
    std::vector<std::string> labels;
    double first_position;
  };
  const TickCase kCases[] = {
      {&one_pass, 0, 600, 5, {"09:42", "09:44", "09:46", "09:48", "09:50"}, 57},
      {&one_pass, 0, 300, 5, {"09:42", "09:43", "09:44", "09:45", "09:46"}, 57},
      {&one_pass, 0, 50, 5, {"09:41:10", "09:41:20", "09:41:30", "09:41:40", "09:41:50"}, 7},
      {&one_pass, 0, 30, 100, {"09:41:03", "09:41:04"}, 0},  // a second at most: 31 ticks
      {&two_days,
       0,
       2 * 86400,
       4,
       {"2026-11-14 12:00", "2026-11-15 00:00", "2026-11-15 12:00", "2026-11-16 00:00"},
       8337},
      {&two_days,
       0,
       20 * 86400,
       4,
       {"2026-11-18", "2026-11-23", "2026-11-28", "2026-12-03"},
       310737},
      {&one_pass, 10, 10, 5, {}, 0},
  };
  for (const TickCase& c : kCases) {
    SCOPED_TRACE(c.labels.empty() ? "no range" : c.labels.front());
    const std::vector<TimeTick> ticks = TimeTicks(*c.axis, c.low, c.high, c.max_ticks);
    std::vector<std::string> labels;
    for (const TimeTick& tick : ticks) labels.push_back(tick.label);
    labels.resize(std::min(labels.size(), c.labels.size()));
    EXPECT_EQ(labels, c.labels);
    EXPECT_LE(static_cast<double>(ticks.size()), std::max(c.max_ticks, 1.));
    if (!ticks.empty()) {
      EXPECT_EQ(ticks.front().position, c.first_position);
    }
  }
}

}  // namespace
}  // namespace talphex
