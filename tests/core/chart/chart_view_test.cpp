// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/chart/chart_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/base/utc_time.h"

namespace talphex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
using Times = std::vector<std::optional<std::int64_t>>;

// Two runs of one-minute records, an hour apart; row 3 has no receive time.
TimeAxisView TwoPasses() {
  return TimeAxisView(LayOutTimeAxis({1000, 1060, 1120, std::nullopt, 4600, 4660}));
}

// A plot 500 pixels wide from pixel 50.
AxisPixels OnPlot(AxisSpan shown) { return {shown, 50, 500}; }

TEST(ChartView, PixelsAndAxisUnitsMapBothWays) {
  const AxisPixels pixels = OnPlot({-0.5, 9.5});
  EXPECT_DOUBLE_EQ(pixels.ValueAt(50), -0.5);
  EXPECT_DOUBLE_EQ(pixels.ValueAt(550), 9.5);
  EXPECT_DOUBLE_EQ(pixels.PixelOf(2), 175);
  EXPECT_DOUBLE_EQ(pixels.ValueAt(pixels.PixelOf(7.25)), 7.25);
  EXPECT_DOUBLE_EQ(pixels.UnitsPerPixel(), 0.02);
}

TEST(ChartView, FullRangeAndZoomToRows) {
  const RecordAxisView records(10);
  const TimeAxisView times = TwoPasses();
  struct Case {
    const char* name;
    const RowAxisView* view;
    double first, last;
    std::optional<AxisSpan> span;
  };
  const Case kCases[] = {
      {"whole slots", &records, 2, 5, AxisSpan{1.5, 5.5}},
      {"either order", &records, 5, 2, AxisSpan{1.5, 5.5}},
      {"fractions round to rows", &records, 2.4, 4.6, AxisSpan{1.5, 5.5}},
      {"kept within the rows", &records, -3, 40, AxisSpan{-0.5, 9.5}},
      {"one row", &records, 9, 9, AxisSpan{8.5, 9.5}},
      // Bars of the time axis are 0.4 of the minute to their neighbour on either side.
      {"time: from bar edge to bar edge", &times, 0, 2, AxisSpan{-24, 144}},
      {"time: across the gap", &times, 1, 5, AxisSpan{36, 3684}},
      {"time: a row without a place", &times, 3, 5, std::nullopt},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(c.view->ZoomToRows(c.first, c.last), c.span) << c.name;
  }
  EXPECT_EQ(records.FullRange(), (AxisSpan{-0.5, 9.5}));
  EXPECT_EQ(RecordAxisView(0).FullRange(), (AxisSpan{-0.5, 0.5}));
  EXPECT_EQ(RecordAxisView(0).ZoomToRows(0, 3), std::nullopt);
  // The margin is the widest of a second, a fiftieth of the span and the widest half bar.
  EXPECT_NEAR(times.FullRange().low, -73.2, 1e-9);
  EXPECT_NEAR(times.FullRange().high, 3733.2, 1e-9);
  EXPECT_EQ(TimeAxisView(LayOutTimeAxis({std::nullopt})).FullRange(), (AxisSpan{0, 1}));
}

TEST(ChartView, WheelZoomKeepsTheAnchorAndStaysWithinLimits) {
  const RecordAxisView records(100);
  const TimeAxisView times = TwoPasses();
  struct Case {
    const char* name;
    const RowAxisView* view;
    AxisSpan shown;
    double anchor;
    int angle_delta;
    AxisSpan expected;
  };
  const Case kCases[] = {
      {"a notch in: 0.8 of the span around the anchor",
       &records,
       {-0.5, 99.5},
       49.5,
       120,
       {9.5, 89.5}},
      {"a notch out again", &records, {9.5, 89.5}, 49.5, -120, {-0.5, 99.5}},
      {"never closer than four rows", &records, {10, 20}, 15, 120 * 20, {13, 17}},
      {"never beyond all rows", &records, {-0.5, 99.5}, 0, -120 * 5, {-0.5, 99.5}},
      {"pushed back inside at the left end", &records, {-0.5, 49.5}, 40, -240, {-0.5, 77.625}},
      {"an anchor outside zooms around the centre", &records, {0, 40}, 300, 120, {4, 36}},
      {"no turn, no change", &records, {0, 40}, 20, 0, {0, 40}},
      {"time: never closer than ten seconds", &times, {0, 120}, 60, 120 * 40, {55, 65}},
  };
  for (const Case& c : kCases) {
    const AxisSpan span = c.view->ZoomWheel(c.shown, c.anchor, c.angle_delta);
    EXPECT_NEAR(span.low, c.expected.low, 1e-9) << c.name;
    EXPECT_NEAR(span.high, c.expected.high, 1e-9) << c.name;
  }
  EXPECT_EQ(RecordAxisView(0).ZoomWheel({-0.5, 0.5}, 0, 120), (AxisSpan{-0.5, 0.5}));
}

TEST(ChartView, PickingRowsAndRowsInView) {
  const RecordAxisView records(10);
  const TimeAxisView times = TwoPasses();
  // On 500 pixels, 6 pixels are 0.12 rows or about 45 seconds of the time axis shown whole.
  const AxisPixels record_plot = OnPlot(records.FullRange());
  const AxisPixels time_plot = OnPlot(times.FullRange());
  struct Case {
    const char* name;
    const RowAxisView* view;
    const AxisPixels* pixels;
    double position;
    int row;
  };
  const Case kCases[] = {
      {"the nearest slot", &records, &record_plot, 3.4, 3},
      {"half-way goes up", &records, &record_plot, 3.5, 4},
      {"left of the first slot", &records, &record_plot, -0.6, -1},
      {"right of the last slot", &records, &record_plot, 9.6, -1},
      {"time: on the bar", &times, &time_plot, 70, 1},
      {"time: within six pixels of the point", &times, &time_plot, 160, 2},
      {"time: in the gap", &times, &time_plot, 2500, -1},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(c.view->RowAt(*c.pixels, c.position), c.row) << c.name;
  }
  EXPECT_EQ(records.VisibleRows({1.5, 5.5}), std::pair(2, 5));
  EXPECT_EQ(records.VisibleRows({-0.5, 9.5}), std::pair(0, 9));
  EXPECT_EQ(times.VisibleRows({50, 3700}), std::pair(1, 5));
  EXPECT_EQ(times.VisibleRows({2000, 2100}).first, 6);  // none: first beyond last
  EXPECT_DOUBLE_EQ(records.RowsInView({1.5, 5.5}), 4);
  EXPECT_DOUBLE_EQ(times.RowsInView({-10, 130}), 3);
}

TEST(ChartView, MarkSpansTheRowsRoomCutToThePlot) {
  const RecordAxisView records(10);
  const RecordAxisView many(10000);
  const TimeAxisView times = TwoPasses();
  struct Case {
    const char* name;
    const RowAxisView* view;
    AxisSpan shown;
    int row;
    std::optional<PixelSpan> span;
  };
  const Case kCases[] = {
      {"a slot of 50 pixels", &records, {-0.5, 9.5}, 2, PixelSpan{150, 200}},
      {"cut at the plot's left edge", &records, {0, 10}, 0, PixelSpan{50, 75}},
      {"out of view", &records, {4.5, 9.5}, 1, std::nullopt},
      {"never thinner than three pixels", &many, {0, 10000}, 5000, PixelSpan{298.5, 301.5}},
      {"row beyond the content", &records, {-0.5, 9.5}, 10, std::nullopt},
      {"time: the bar's room", &times, {0, 500}, 1, PixelSpan{86, 134}},
      {"time: no receive time, no mark", &times, {0, 500}, 3, std::nullopt},
  };
  for (const Case& c : kCases) {
    const std::optional<PixelSpan> span = c.view->MarkSpan(c.row, OnPlot(c.shown));
    ASSERT_EQ(span.has_value(), c.span.has_value()) << c.name;
    if (!span) continue;
    EXPECT_NEAR(span->left, c.span->left, 1e-9) << c.name;
    EXPECT_NEAR(span->right, c.span->right, 1e-9) << c.name;
  }
}

// Grouped bars share a record's room side by side, never reaching the next record's bars.
TEST(ChartView, BarsOfAGroupSideBySideInTheRecordsRoom) {
  const TimeAxisView times = TwoPasses();
  EXPECT_EQ(times.BarSpan(1, 0, 1), (AxisSpan{36, 84}));
  EXPECT_EQ(times.BarSpan(1, 0, 3), (AxisSpan{36, 52}));
  EXPECT_EQ(times.BarSpan(1, 2, 3), (AxisSpan{68, 84}));
  EXPECT_LT(times.BarSpan(0, 2, 3).high, times.BarSpan(1, 0, 3).low);
}

// Regression: a line joined record 9 to record 11 over a value of record 10 that is not finite.
TEST(ChartView, LinesBreakAtValuesThatAreNotFinite) {
  struct Case {
    const char* name;
    std::vector<int> run;
    std::vector<double> values;
    std::vector<std::vector<int>> segments;
  };
  const Case kCases[] = {
      {"all finite: one line", {0, 1, 2}, {1, 2, 3}, {{0, 1, 2}}},
      {"infinity between", {0, 1, 2, 3}, {1, kInf, 3, 4}, {{0}, {2, 3}}},
      {"NaN between", {8, 9, 10}, {0, 0, 0, 0, 0, 0, 0, 0, 1, kNaN, 3}, {{8}, {10}}},
      {"minus infinity first and last", {0, 1, 2}, {-kInf, 5, kNaN}, {{1}}},
      {"huge but finite joins", {0, 1}, {1e308, 1}, {{0, 1}}},
      {"a run in time order", {2, 0, 1}, {kNaN, 1, 3}, {{2}, {1}}},
      {"rows past the values have none", {0, 1, 2}, {1, 2}, {{0, 1}}},
      {"no value at all", {0, 1}, {kNaN, kInf}, {}},
  };
  for (const Case& c : kCases) EXPECT_EQ(LineSegments(c.run, c.values), c.segments) << c.name;
  EXPECT_EQ(RecordAxisView(3).Runs(), (std::vector<std::vector<int>>{{0, 1, 2}}));
  EXPECT_EQ(TwoPasses().Runs(), (std::vector<std::vector<int>>{{0, 1, 2}, {4, 5}}));
}

ChartContent ContentAt(Times times) {
  ChartContent content;
  for (const std::optional<std::int64_t>& time : times) {
    content.row_labels.push_back("23:59:59");
    content.row_times.push_back(time);
  }
  content.series.push_back({16, "Temp", std::nullopt, std::vector<double>(times.size(), 1), "C"});
  return content;
}

// Regression: the time axis labelled its ticks with dates and its tooltips without.
TEST(ChartView, TimeAxisToolTipsCarryTheDateWhenItsLabelsDo) {
  const std::int64_t evening = *ParseUtcDateTime("2025-03-04 23:59:59");
  const ChartContent two_dates = ContentAt({evening, evening + 2, std::nullopt});
  const ChartContent one_date = ContentAt({evening - 60, evening});
  const auto time_view = [](const ChartContent& content) { return MakeRowAxisView(content, true); };
  EXPECT_EQ(time_view(two_dates)->ToolTip(two_dates, 1, '.'),
            "Record 2, received 2025-03-05 00:00:01\nTemp: 1.00 C");
  EXPECT_EQ(time_view(two_dates)->ToolTip(two_dates, 2, '.'),
            "Record 3, received 23:59:59\nTemp: 1.00 C");  // no receive time: the row label
  EXPECT_EQ(time_view(one_date)->ToolTip(one_date, 1, '.'),
            "Record 2, received 23:59:59\nTemp: 1.00 C");
  EXPECT_EQ(MakeRowAxisView(two_dates, false)->ToolTip(two_dates, 1, ','),
            "Record 2, received 23:59:59\nTemp: 1,00 C");
  EXPECT_EQ(time_view(two_dates)->ToolTip(two_dates, -1, '.'), "");
}

TEST(ChartView, LabelsOfEachAxisKind) {
  const std::int64_t start = *ParseUtcDateTime("2026-11-14 09:41:03");
  ChartContent content = ContentAt({start, start + 300, start + 600});
  content.row_labels = {"09:41:03", "09:46:03", "09:51:03"};
  const LabelRoom room{50, 50, 120, 14};
  const AxisLabels records =
      MakeRowAxisView(content, false)->Labels(content, {-0.5, 2.5}, 600, room);
  EXPECT_EQ(records.rows, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(records.labels,
            (std::vector<TimeTick>{{0, "09:41:03"}, {1, "09:46:03"}, {2, "09:51:03"}}));
  const AxisLabels times = MakeRowAxisView(content, true)->Labels(content, {0, 600}, 128, room);
  // Two labels of 64 pixels fit.
  EXPECT_TRUE(times.rows.empty() && !times.rotated);
  EXPECT_EQ(times.labels, (std::vector<TimeTick>{{237, "09:45"}, {537, "09:50"}}));
}

}  // namespace
}  // namespace talphex
