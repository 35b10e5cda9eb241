// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/chart/chart_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace talphex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(ChartScale, NiceIntervalIsTheNextOfOneTwoTwoAndAHalfAndFive) {
  constexpr std::pair<double, double> kCases[] = {
      {1, 1},           {0.3, 0.5},
      {2.1, 2.5},       {2.6, 5},
      {6, 10},          {0.2000000001, 0.2},  // a nice number up to rounding stays that number
      {4.4e299, 5e299}, {3e-305, 5e-305},
      {0, 1},           {-3, 1},
      {kNaN, 1},        {kInf, 1}};
  for (const auto& [minimum, interval] : kCases) {
    EXPECT_DOUBLE_EQ(NiceInterval(minimum), interval) << minimum;
  }
}

TEST(ChartScale, RoundStepUpIsTheNextOfOneTwoAndFive) {
  constexpr std::pair<double, int> kCases[] = {
      {0, 1},  {1, 1},   {1.5, 2},   {3, 5},
      {7, 10}, {11, 20}, {450, 500}, {1e12, std::numeric_limits<int>::max()}};
  for (const auto& [minimum, step] : kCases) EXPECT_EQ(RoundStepUp(minimum), step) << minimum;
}

ChartContent ContentOf(ChartType type, std::vector<double> values, std::size_t rows = 0) {
  ChartContent content;
  content.type = type;
  content.row_labels.resize(rows > 0 ? rows : values.size());
  content.series.push_back({16, "Field", std::nullopt, std::move(values), "V"});
  return content;
}

TEST(ChartScale, ValueRangeFitsTheValuesWithAMarginOnTickBoundaries) {
  using enum ChartType;
  struct Case {
    std::string name;
    ChartContent content;
    ValueScale scale;
  };
  const Case kCases[] = {
      {"lines: a twentieth of the span on both sides", ContentOf(kLines, {0, 3, 9}), {-2, 10, 2}},
      {"bars from zero up", ContentOf(kBars, {1, 2, 3}), {0, 4, 1}},
      {"bars from zero down", ContentOf(kBars, {-1, -3}), {-4, 0, 1}},
      {"bars on both sides", ContentOf(kBars, {-10, 30}), {-20, 40, 10}},
      {"constant small", ContentOf(kLines, {5, 5, 5}), {4, 6, 0.5}},
      {"constant large", ContentOf(kLines, {1000, 1000}), {900, 1100, 50}},
      {"one point", ContentOf(kLines, {-7}), {-8, -6, 0.5}},
      {"one bar", ContentOf(kBars, {250}), {0, 300, 100}},
      {"bars all zero", ContentOf(kBars, {0, 0}), {0, 1, 0.2}},
      {"no value", ContentOf(kLines, {kNaN, kNaN}), {-0.25, 1.25, 0.25}},
      // Regression: an infinite value was cut to 1e300 and flattened every other value.
      {"infinities are gaps", ContentOf(kLines, {kInf, 1, 2, -kInf}), {0.75, 2.25, 0.25}},
      {"no rows", ContentOf(kBars, {}), {0, 1.25, 0.25}},
      {"huge values cut at 1e300", ContentOf(kLines, {1e308, -1e301}), {-1.5e300, 1.5e300, 5e299}},
      {"tiny values", ContentOf(kLines, {1e-12, 3e-12}), {0.5e-12, 3.5e-12, 0.5e-12}},
      {"values past the rows left out", ContentOf(kLines, {1, 2, 100}, 2), {0.75, 2.25, 0.25}},
  };
  for (const Case& c : kCases) {
    const ValueScale scale = ScaleValues(c.content);
    EXPECT_DOUBLE_EQ(scale.low, c.scale.low) << c.name;
    EXPECT_DOUBLE_EQ(scale.high, c.scale.high) << c.name;
    EXPECT_DOUBLE_EQ(scale.interval, c.scale.interval) << c.name;
  }
}

// A live chart extends its value range by its new rows only; the range it keeps equals the one
// scanned from all rows, wherever the rows were split.
TEST(ChartScale, ValueRangeExtendedPieceByPieceEqualsOneScan) {
  using enum ChartType;
  const ChartContent kContents[] = {
      ContentOf(kLines, {3, -1, kNaN, 8, kInf, 2}),
      ContentOf(kBars, {5, 5, -1e308, 0}),
      ContentOf(kLines, {kNaN, kNaN, 4}),
      ContentOf(kLines, {1, 2, 3, 40}, 3),
  };
  for (const ChartContent& content : kContents) {
    for (std::size_t split = 0; split <= content.row_labels.size(); ++split) {
      ChartContent first_rows = content;
      first_rows.row_labels.resize(split);
      ValueRange range;
      ExtendValueRange(range, first_rows, 0);
      ExtendValueRange(range, content, split);
      EXPECT_EQ(ScaleRange(range, content.type), ScaleValues(content)) << split;
    }
  }
  ValueRange range;
  ExtendValueRange(range, ContentOf(kLines, {kNaN, 7, -2, kInf}), 0);
  EXPECT_EQ(range, (ValueRange{-2, 7}));
}

std::vector<int> Every(int step, int first, int last) {
  std::vector<int> rows;
  for (int r = first; r <= last; r += step) rows.push_back(r);
  return rows;
}

// A plot 600 pixels wide with labels that need 60 pixels each.
TEST(ChartScale, LabelStepByRowCountAndByZoom) {
  struct Case {
    std::string name;
    int rows, spacing;
    double first_shown, last_shown;
    RowLabelLayout layout;
  };
  const Case kCases[] = {
      {"86 rows, chosen apart", 86, 0, -0.5, 85.5, {10, false, Every(10, 0, 80)}},
      // Regression: every 20th row had a tick, but only every 40th a label.
      {"1000 rows every 20th, too close even upright: every 40th",
       1000,
       20,
       -0.5,
       999.5,
       {40, true, Every(40, 0, 960)}},
      {"500 rows every 20th, upright", 500, 20, -0.5, 499.5, {20, true, Every(20, 0, 480)}},
      {"spacing beyond the rows: the first row", 1000, 5000, -0.5, 999.5, {1000, false, {0}}},
      {"zoomed out a little, the spacing holds",
       500,
       20,
       -0.5,
       449.5,
       {20, true, Every(20, 0, 440)}},
      {"zoomed in, the step follows the rows in view",
       1000,
       20,
       99.5,
       199.5,
       {10, false, Every(10, 100, 190)}},
      {"zoomed, chosen", 1000, 0, 495.5, 505.5, {1, false, Every(1, 496, 505)}},
      // Regression: zoomed into a few rows of a spaced chart, no label was left.
      {"zoomed into 10 rows spaced 20", 1000, 20, 499.5, 509.5, {1, false, Every(1, 500, 509)}},
      {"no rows", 0, 0, -0.5, 0.5, {1, false, {}}},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(LayOutRowLabels(c.rows, c.spacing, c.first_shown, c.last_shown, 600, 60, 16),
              c.layout)
        << c.name;
  }
  // Four rows in view of a narrow plot still hold a label.
  EXPECT_EQ(LayOutRowLabels(1000, 20, 501.5, 505.5, 100, 60, 16).rows, std::vector<int>{504});
}

// Regression: at 175 rows ticks fell on every 4th row and labels on every 8th, as the painter
// left out turned labels that overlapped. The layout alone decides: for any row count, plot width
// and spacing, the labelled rows are evenly spaced from the first row, each a label's room from
// the next, on the content's spacing, and no wider apart than that takes.
TEST(ChartScale, EveryLabelledRowHasRoomForItsLabel) {
  constexpr double kLabelRoom = 70;
  constexpr double kTurnedRoom = 16;
  for (const double plot_width : {120.0, 300.0, 640.0, 1300.0}) {
    for (int rows = 2; rows <= 1000; ++rows) {
      const int content_spacing = LabelSpacing(static_cast<std::size_t>(rows), 100, 50);
      for (const int spacing : {0, content_spacing}) {
        const RowLabelLayout layout =
            LayOutRowLabels(rows, spacing, -0.5, rows - 0.5, plot_width, kLabelRoom, kTurnedRoom);
        SCOPED_TRACE(std::to_string(rows) + " rows spaced " + std::to_string(spacing) + " on " +
                     std::to_string(plot_width));
        ASSERT_GE(layout.step, 1);
        EXPECT_EQ(layout.rows, Every(layout.step, 0, rows - 1));
        if (layout.rows.size() < 2) continue;
        const double apart = layout.step * plot_width / rows;
        EXPECT_GE(apart, layout.rotated ? kTurnedRoom : kLabelRoom);
        if (spacing > 0) {
          EXPECT_EQ(layout.step % spacing, 0);
          // Widened by whole spacings only as far as the turned labels need.
          if (layout.step > spacing) {
            EXPECT_LT(apart - spacing * plot_width / rows, kTurnedRoom);
          }
        }
      }
    }
  }
}

TEST(ChartScale, DrawnValuesAreGapsWhenNotFinite) {
  EXPECT_TRUE(std::isnan(DrawnValue(kInf)) && std::isnan(DrawnValue(-kInf)));
  EXPECT_TRUE(std::isnan(DrawnValue(kNaN)));
  EXPECT_EQ(DrawnValue(-1e308), -1e300);
  EXPECT_EQ(DrawnValue(-4.5), -4.5);
}

TEST(ChartScale, ValueLabelsInTheViewsTextForms) {
  struct Case {
    double value, interval;
    char separator;
    std::string label;
  };
  const Case kCases[] = {
      // Regression: "%g" wrote 1.79465e+09 on every tick of the time field.
      {1794649400, 200, '.', "1794649400"},
      {3e9, 5e8, '.', "3000000000"},
      {-20, 10, '.', "-20"},
      {8.3, 0.1, '.', "8.30"},
      // Regression: the axis ignored the user's decimal separator.
      {8.3, 0.1, ',', "8,30"},
      {5, 2.5, ',', "5,00"},
      {0.75, 0.25, '.', "0.75"},
      {-1e-10, 0.5, '.', "0.00"},  // zero up to rounding, never "-0.00"
      {0.0125, 0.0025, '.', "0.0125"},
      {2.5e-12, 0.5e-12, '.', "0.0000000000025"},
      {1.5e300, 5e299, '.', "1.5e+300"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(ValueLabel(c.value, c.interval, c.separator), c.label) << c.value;
  }
}

// The ticks of the scale of each content, and their labels differ from tick to tick.
TEST(ChartScale, ValueTicksOnMultiplesWithDistinctLabels) {
  EXPECT_EQ(ValueTicks(-30, 30, 10), (std::vector<double>{-30, -20, -10, 0, 10, 20, 30}));
  EXPECT_EQ(ValueTicks(0.3, 0.3, 0.1), std::vector<double>{0.30000000000000004});
  EXPECT_EQ(ValueTicks(1, 0, 1), std::vector<double>{});
  using enum ChartType;
  const ChartContent kContents[] = {
      ContentOf(kLines, {1794649262, 1794649857}),
      ContentOf(kBars, {3e9}),
      ContentOf(kLines, {8.05, 8.31}),
      ContentOf(kLines, {1e-12, 3e-12}),
      ContentOf(kLines, {1e308, -1e301}),
      ContentOf(kBars, {-4.3125, 0.8432403}),
  };
  for (const ChartContent& content : kContents) {
    const ValueScale scale = ScaleValues(content);
    const std::vector<double> ticks = ValueTicks(scale.low, scale.high, scale.interval);
    ASSERT_GE(ticks.size(), 3u);
    EXPECT_DOUBLE_EQ(ticks.front(), scale.low);
    EXPECT_DOUBLE_EQ(ticks.back(), scale.high);
    std::set<std::string> labels;
    for (const double tick : ticks) labels.insert(ValueLabel(tick, scale.interval, ','));
    EXPECT_EQ(labels.size(), ticks.size()) << content.series[0].values[0];
  }
}

}  // namespace
}  // namespace talphex
