// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/chart/chart_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>
#include <tuple>

namespace talphex {
namespace {

using ::testing::ElementsAre;

// A state whose store of `kind` holds and counts `stored` records. Record r (0-based) is received
// at second 10 + r ("00:00:10" for the first, a label that is cut short from record 90 on) and
// holds 100 * slot + r in every slot, so that each value names its record and slot.
DecoderState StateWith(Kind kind, std::size_t stored) {
  DecoderState state;
  DecoderState::RecordStore& store = state.Store(kind);
  store.resize(stored);
  for (std::size_t r = 0; r < stored; ++r) {
    store[r].RxTime = "2026-12-06 00:00:" + std::to_string(10 + r);
    for (std::size_t slot = 0; slot < kValueSlots; ++slot) store[r].Value[slot] = 100. * slot + r;
  }
  (kind == Kind::kBeacon ? state.BeaconCount : state.PayloadCount) = std::ssize(store);
  return state;
}

// One row per counted record, at most 1000; a label every rows/50 rows above 100 rows (single
// field) or every rows/40 above 40 (group), a half rounded to the even neighbour. The first rows
// hold records past the count, left from an earlier file; none counted yet, on a fresh open
// command; a count past what the store holds. The last is a larger store, as the command-line
// tool has: the chart stops at 1000 rows.
TEST(BuildChart, RowsAndLabelSpacing) {
  // Records stored and counted, rows, label spacing of the single and the grouped chart.
  constexpr std::tuple<std::size_t, std::int64_t, std::size_t, int, int> kCases[] = {
      {10, 4, 4, 0, 0},      {10, 0, 0, 0, 0},      {10, 25, 10, 0, 0},
      {40, 40, 40, 0, 0},    {41, 41, 41, 0, 1},    {60, 60, 60, 0, 2},
      {100, 100, 100, 0, 2}, {101, 101, 101, 2, 3}, {124, 124, 124, 2, 3},
      {125, 125, 125, 2, 3}, {126, 126, 126, 3, 3}, {140, 140, 140, 3, 4},
      {175, 175, 175, 4, 4}, {225, 225, 225, 4, 6}, {1200, 1200, 1000, 20, 25},
  };
  for (const auto& [stored, count, rows, single_spacing, group_spacing] : kCases) {
    SCOPED_TRACE(::testing::Message() << stored << " stored, " << count << " counted");
    DecoderState state = StateWith(Kind::kBeacon, stored);
    state.BeaconCount = count;
    const ChartContent single = BuildFieldChart(state, 1, ChartType::kBars);
    const ChartContent group = BuildGroupChart(state, {5, 6, 8}, ChartType::kBars);
    EXPECT_EQ(single.label_spacing, single_spacing);
    EXPECT_EQ(group.label_spacing, group_spacing);
    EXPECT_EQ(single.kind, Kind::kBeacon);
    for (const ChartContent* chart : {&single, &group}) {
      EXPECT_EQ(chart->row_labels.size(), rows);
      EXPECT_EQ(chart->series.empty(), rows == 0);  // no series to leave a legend behind
      for (const ChartSeries& series : chart->series) EXPECT_EQ(series.values.size(), rows);
    }
  }
}

// A row label is characters 12 to 19 of the receive time, fewer for a shorter one. The tooltip of
// a row names the legends, values and units of the series, so it shows them too.
TEST(BuildChart, RowLabelsSeriesAndTheirPointTexts) {
  DecoderState state = StateWith(Kind::kBeacon, 5);
  state.BeaconStore[2].Value[4] = -4.3125;
  state.BeaconStore[1].RxTime = "2026-12-06 ";
  state.BeaconStore[3].RxTime = "2026-12-06 1";
  state.BeaconStore[4].RxTime = "2026-12-06 10:22:33.250";
  const ChartContent single = BuildFieldChart(state, 4, ChartType::kBars);
  EXPECT_THAT(single.row_labels, ElementsAre("00:00:10", "", "00:00:12", "1", "10:22:33"));
  EXPECT_EQ(single.series.at(0).colour, std::nullopt);
  // Regression: values in the view's text form, not in full ("-4.3125 V").
  EXPECT_EQ(PointText(single, 2), "Record 3, received 00:00:12\nBattery Volt: -4.31 V");
  EXPECT_EQ(PointText(single, 2, ','), "Record 3, received 00:00:12\nBattery Volt: -4,31 V");
  EXPECT_EQ(PointText(single, 1), "Record 2\nBattery Volt: 401.00 V");
  EXPECT_EQ(PointText(single, 5), "");
  // Dated: the receive time in full, midnight included; the row label for a row without one.
  DecoderState at_midnight = state;
  at_midnight.BeaconStore[0].RxTime = "2026-12-07 00:00:00";
  const ChartContent dated = BuildFieldChart(at_midnight, 4, ChartType::kBars);
  EXPECT_EQ(PointText(dated, 0, '.', true),
            "Record 1, received 2026-12-07 00:00:00\nBattery Volt: 400.00 V");
  EXPECT_EQ(PointText(dated, 3, '.', true), "Record 4, received 1\nBattery Volt: 403.00 V");

  const ChartContent group = BuildGroupChart(state, *FieldGroup(6), ChartType::kLines);
  EXPECT_EQ(PointText(group, 0),
            "Record 1, received 00:00:10\nSP Curr X+: 500.00 mA\nSP Curr X-: 600.00 mA\n"
            "SP Curr Z+: 800.00 mA");

  // Regression: a value that is not a number says "no value", not a number text with its unit.
  state.BeaconStore[0].Value[4] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(PointText(BuildFieldChart(state, 4, ChartType::kBars), 0),
            "Record 1, received 00:00:10\nBattery Volt: no value");

  // The grouped chart takes the type of the last single-field chart ("B" ticked or not).
  EXPECT_EQ(BuildGroupChart(state, {19, 20, 18}, ChartType::kBars).type, ChartType::kBars);
  EXPECT_EQ(BuildGroupChart(state, {19, 20, 18}, ChartType::kLines).type, ChartType::kLines);

  // Payload fields chart the payload store; a status byte charts under its name.
  const ChartContent payload =
      BuildFieldChart(StateWith(Kind::kPayload, 17), 47, ChartType::kLines);
  EXPECT_EQ(payload.kind, Kind::kPayload);
  EXPECT_EQ(PointText(payload, 16), "Record 17, received 00:00:26\nStatus Word 1 High: 4716");
}

// Rows appended as records come give the chart a fresh build gives, label spacing included, up to
// the 1000 rows a chart shows; a content built while the kind had no records gains nothing.
TEST(AppendChartRows, EqualsAFreshBuild) {
  constexpr std::pair<std::size_t, std::size_t> kGrowth[] = {
      {1, 2}, {30, 41}, {100, 101}, {990, 1000}};
  for (const auto& [before, after] : kGrowth) {
    SCOPED_TRACE(::testing::Message() << before << " to " << after << " records");
    for (const Kind kind : {Kind::kBeacon, Kind::kPayload}) {
      const DecoderState old_state = StateWith(kind, before);
      const DecoderState state = StateWith(kind, after);
      std::vector<std::pair<ChartContent, ChartContent>> charts = {
          {BuildFieldChart(old_state, kind == Kind::kBeacon ? 3 : 40, ChartType::kBars),
           BuildFieldChart(state, kind == Kind::kBeacon ? 3 : 40, ChartType::kBars)}};
      if (kind == Kind::kBeacon) {
        charts.emplace_back(BuildGroupChart(old_state, {5, 6, 8}, ChartType::kLines),
                            BuildGroupChart(state, {5, 6, 8}, ChartType::kLines));
      }
      for (auto& [grown, fresh] : charts) {
        EXPECT_EQ(AppendChartRows(grown, state),
                  fresh.row_labels.size() - std::min<std::size_t>(before, kMaxChartRows));
        EXPECT_EQ(grown.row_labels, fresh.row_labels);
        EXPECT_EQ(grown.label_spacing, fresh.label_spacing);
        ASSERT_EQ(grown.series.size(), fresh.series.size());
        for (std::size_t k = 0; k < fresh.series.size(); ++k) {
          EXPECT_EQ(grown.series[k].values, fresh.series[k].values);
        }
      }
    }
  }
  ChartContent empty = BuildFieldChart(DecoderState{}, 3, ChartType::kLines);
  EXPECT_EQ(AppendChartRows(empty, StateWith(Kind::kBeacon, 5)), 0u);
  EXPECT_TRUE(empty.row_labels.empty());
}

// Past 1000 stored records the chart shows the newest 1000, so its rows move with each new record:
// appending gives nothing and leaves the content as it was, to be built anew.
TEST(AppendChartRows, MovedRowsAreBuiltAnew) {
  constexpr std::tuple<std::size_t, std::size_t, std::int64_t> kGrowth[] = {
      {990, 1200, 201}, {1000, 1001, 2}, {1500, 1501, 502}};
  for (const auto& [before, after, first_record] : kGrowth) {
    ChartContent grown = BuildFieldChart(StateWith(Kind::kBeacon, before), 3, ChartType::kLines);
    const ChartContent as_built = grown;
    const DecoderState state = StateWith(Kind::kBeacon, after);
    EXPECT_EQ(AppendChartRows(grown, state), 0u) << after;
    EXPECT_EQ(grown.row_labels, as_built.row_labels) << after;
    const ChartContent fresh = BuildFieldChart(state, 3, ChartType::kLines);
    EXPECT_EQ(fresh.first_record, first_record) << after;
    EXPECT_EQ(ChartFirstRecord(state, Kind::kBeacon), first_record) << after;
    ASSERT_EQ(fresh.series.size(), 1u);
    // Record r (1-based) holds 300 + r - 1 in slot 3.
    EXPECT_EQ(fresh.series[0].values.front(), 300. + static_cast<double>(first_record - 1));
    EXPECT_EQ(fresh.series[0].values.back(), 300. + static_cast<double>(after - 1));
    EXPECT_TRUE(
        PointText(fresh, 0, '.').starts_with("Record " + std::to_string(first_record) + ","))
        << PointText(fresh, 0, '.');
  }
}

// The title is caption and unit; a field outside 0 to 50 has no title, no rows and no series
// (nor has payload field 45 in a state of beacon records only).
TEST(ChartTitle, CaptionAndUnitOrNothingOutsideTheSlots) {
  const DecoderState state = StateWith(Kind::kBeacon, 5);
  const std::pair<int, std::string> kCases[] = {
      {4, "Battery Volt (V)"},    {0, "Message No."}, {28, "ACS Arduino Curr (\xB5\x41)"},
      {45, "Status Word 0 High"}, {-1, ""},           {51, ""},
  };
  for (const auto& [field, title] : kCases) {
    EXPECT_EQ(ChartTitle(field), title);
    EXPECT_EQ(IsChartableField(field), !title.empty());
    const ChartContent chart = BuildFieldChart(state, field, ChartType::kLines);
    EXPECT_EQ(chart.row_labels.empty() && chart.series.empty(), title.empty() || field == 45);
  }
}

// A colour drawn at `coverage` (0 to 255) over `under`, as a raster painter blends it.
Rgb Blend(Rgb over, Rgb under, int coverage) {
  const auto mix = [coverage](int a, int b) {
    return static_cast<std::uint8_t>((a * coverage + b * (255 - coverage) + 127) / 255);
  };
  return {mix(over.red, under.red), mix(over.green, under.green), mix(over.blue, under.blue)};
}

// Regression: a grey grid line antialiased into the white chart came out as exactly the window
// grey that the screenshot makes transparent. No ink of the chart, at any coverage over the
// background or over another ink, comes within a step of rounding of that grey.
TEST(ChartInks, NoBlendIsTheScreenshotKey) {
  const Rgb kInks[] = {kChartInks.text,        kChartInks.axis_line,    kChartInks.grid_line,
                       kChartInks.focus_frame, kChartInks.limit_yellow, kChartInks.limit_red,
                       kGroupColours[0],       kGroupColours[1],        kGroupColours[2]};
  const auto near_key = [](Rgb c) {
    return std::abs(c.red - kScreenshotKey.red) <= 1 &&
           std::abs(c.green - kScreenshotKey.green) <= 1 &&
           std::abs(c.blue - kScreenshotKey.blue) <= 1;
  };
  EXPECT_FALSE(near_key(kChartInks.background));
  for (const Rgb ink : kInks) {
    for (const Rgb under : kInks) {
      for (const Rgb ground : {kChartInks.background, under}) {
        for (int coverage = 0; coverage <= 255; ++coverage) {
          ASSERT_FALSE(near_key(Blend(ink, ground, coverage)))
              << int{ink.red} << "," << int{ink.green} << "," << int{ink.blue} << " at "
              << coverage;
        }
      }
    }
  }
  // The check itself: the theme's former grid grey does hit the key.
  const Rgb theme_grid{226, 226, 226};
  bool hit = false;
  for (int coverage = 0; coverage <= 255; ++coverage) {
    hit = hit || near_key(Blend(theme_grid, kChartInks.background, coverage));
  }
  EXPECT_TRUE(hit);
}

}  // namespace
}  // namespace talphex
