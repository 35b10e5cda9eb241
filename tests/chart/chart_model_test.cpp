#include "chart/chart_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "capture/capture_loader.h"

namespace talphex {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A state whose store of `kind` holds `stored` records and counts `count` of them. Record r
// (0-based) carries the receive time "2026-12-06 hh:mm:ss" of second r and value 100 * slot + r
// in every slot, so each value names its record and slot.
DecoderState StateWith(Kind kind, std::size_t stored, std::int64_t count) {
  DecoderState state;
  std::vector<TelemetryRecord>& store = state.Store(kind);
  store.resize(stored);
  for (std::size_t r = 0; r < stored; ++r) {
    char rx_time[64];
    std::snprintf(rx_time, sizeof rx_time, "2026-12-06 %02zu:%02zu:%02zu", r / 3600 % 24,
                  r / 60 % 60, r % 60);
    store[r].RxTime = rx_time;
    for (std::size_t slot = 0; slot < store[r].Value.size(); ++slot) {
      store[r].Value[slot] = static_cast<double>(100 * slot + r);
    }
  }
  (kind == Kind::kBeacon ? state.BeaconCount : state.PayloadCount) = count;
  return state;
}

DecoderState StateWith(Kind kind, std::size_t records) {
  return StateWith(kind, records, static_cast<std::int64_t>(records));
}

TEST(ChartTitle, CaptionAndUnit) {
  struct Case {
    int field;
    const char* title;
  };
  constexpr Case kCases[] = {
      {4, "Battery Volt (V)"},
      {0, "Message No."},
      {2, "Mode"},
      {17, "Temp X+ Panel (C)"},
      {28,
       "ACS Arduino Curr (\xB5"
       "A)"},
      {44, "Overflow Time (s)"},
      {45, "Status Word 0 High"},
      {-1, ""},
      {51, ""},
  };
  for (const Case& c : kCases) EXPECT_EQ(ChartTitle(c.field), c.title) << "field " << c.field;
}

TEST(RowLabel, TakesCharactersTwelveToNineteen) {
  struct Case {
    const char* rx_time;
    const char* label;
  };
  constexpr Case kCases[] = {
      {"", ""},
      {"2026-12-06", ""},
      {"2026-12-06 ", ""},            // 11 characters
      {"2026-12-06 1", "1"},          // 12 characters
      {"2026-12-06 10:22", "10:22"},  // shorter than 19
      {"2026-12-06 10:22:33", "10:22:33"},
      {"2026-12-06 10:22:33.250", "10:22:33"},  // longer: eight characters only
  };
  for (const Case& c : kCases) EXPECT_EQ(RowLabel(c.rx_time), c.label) << '"' << c.rx_time << '"';
}

TEST(LabelSpacing, RoundsHalfToEven) {
  struct Case {
    std::size_t rows, threshold, divisor;
    int spacing;
  };
  constexpr Case kCases[] = {
      // Single-field chart.
      {0, 100, 50, 0},
      {100, 100, 50, 0},
      {101, 100, 50, 2},  // 2.02
      {124, 100, 50, 2},  // 2.48
      {125, 100, 50, 2},  // 2.5 goes to the even 2
      {126, 100, 50, 3},  // 2.52
      {175, 100, 50, 4},  // 3.5 goes to the even 4
      {225, 100, 50, 4},  // 4.5 goes to the even 4
      {1000, 100, 50, 20},
      // Grouped chart.
      {40, 40, 40, 0},
      {41, 40, 40, 1},   // 1.025
      {60, 40, 40, 2},   // 1.5 goes to the even 2
      {100, 40, 40, 2},  // 2.5 goes to the even 2
      {140, 40, 40, 4},  // 3.5 goes to the even 4
      {1000, 40, 40, 25},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(LabelSpacing(c.rows, c.threshold, c.divisor), c.spacing)
        << c.rows << " rows, threshold " << c.threshold << ", divisor " << c.divisor;
  }
}

// The builders apply the right threshold and divisor to the rows they find in the store.
TEST(BuildChart, SpacingFollowsTheRowCount) {
  struct Case {
    std::size_t rows;
    int field_spacing;
    int group_spacing;
  };
  constexpr Case kCases[] = {
      {1, 0, 0},   {40, 0, 0},  {41, 0, 1},  {60, 0, 2},     {100, 0, 2},
      {101, 2, 3}, {125, 2, 3}, {175, 4, 4}, {1000, 20, 25},
  };
  for (const Case& c : kCases) {
    const DecoderState state = StateWith(Kind::kBeacon, c.rows);
    EXPECT_EQ(BuildFieldChart(state, 17, ChartType::kBars).label_spacing, c.field_spacing)
        << c.rows << " rows";
    EXPECT_EQ(BuildGroupChart(state, {16, 17, 20}, ChartType::kBars).label_spacing, c.group_spacing)
        << c.rows << " rows";
  }
}

TEST(FieldGroup, FourGroupsOfThreeBeaconFields) {
  using Group = std::array<int, 3>;
  struct Case {
    int field;
    Group group;
  };
  constexpr Case kCases[] = {
      {5, {5, 6, 8}},     {6, {5, 6, 8}},     {16, {16, 17, 20}},
      {17, {16, 17, 20}}, {19, {19, 20, 18}}, {20, {19, 20, 18}},
      {31, {31, 32, 33}}, {32, {31, 32, 33}}, {33, {31, 32, 33}},
  };
  for (int field = -1; field <= kValueSlots; ++field) {
    std::optional<Group> expected;
    for (const Case& c : kCases) {
      if (c.field == field) expected = c.group;
    }
    EXPECT_EQ(FieldGroup(field), expected) << "field " << field;
  }
}

TEST(BuildGroupChart, SeriesInGroupOrderWithLegendsAndColours) {
  const DecoderState state = StateWith(Kind::kBeacon, 3);
  const ChartContent chart = BuildGroupChart(state, *FieldGroup(6), ChartType::kLines);

  EXPECT_EQ(chart.kind, Kind::kBeacon);
  ASSERT_EQ(chart.series.size(), 3u);
  EXPECT_EQ(chart.series[0].legend, "SP Curr X+");
  EXPECT_EQ(chart.series[1].legend, "SP Curr X-");
  EXPECT_EQ(chart.series[2].legend, "SP Curr Z+");
  EXPECT_EQ(chart.series[0].colour, (Rgb{70, 130, 180}));
  EXPECT_EQ(chart.series[1].colour, (Rgb{34, 139, 34}));
  EXPECT_EQ(chart.series[2].colour, (Rgb{176, 48, 96}));
  EXPECT_THAT(chart.series[0].values, ElementsAre(500, 501, 502));
  EXPECT_THAT(chart.series[1].values, ElementsAre(600, 601, 602));
  EXPECT_THAT(chart.series[2].values, ElementsAre(800, 801, 802));
  EXPECT_EQ(chart.series[2].unit, "mA");
}

// The grouped chart is drawn in the type of the last single-field chart, which the caller hands
// in; it must not fall back to a fixed type.
TEST(BuildGroupChart, KeepsTheTypeItIsGiven) {
  const DecoderState state = StateWith(Kind::kBeacon, 2);
  for (const ChartType type : {ChartType::kBars, ChartType::kLines}) {
    EXPECT_EQ(BuildGroupChart(state, {19, 20, 18}, type).type, type);
    EXPECT_EQ(BuildFieldChart(state, 19, type).type, type);
  }
}

TEST(BuildFieldChart, OneSeriesOfTheFieldWithoutColour) {
  const DecoderState state = StateWith(Kind::kBeacon, 3);
  const ChartContent chart = BuildFieldChart(state, 4, ChartType::kBars);

  EXPECT_EQ(chart.type, ChartType::kBars);
  EXPECT_THAT(chart.row_labels, ElementsAre("00:00:00", "00:00:01", "00:00:02"));
  ASSERT_EQ(chart.series.size(), 1u);
  EXPECT_EQ(chart.series[0].field, 4);
  EXPECT_EQ(chart.series[0].legend, "Battery Volt");
  EXPECT_EQ(chart.series[0].unit, "V");
  EXPECT_EQ(chart.series[0].colour, std::nullopt);
  EXPECT_THAT(chart.series[0].values, ElementsAre(400, 401, 402));
}

TEST(BuildFieldChart, PayloadFieldsChartThePayloadStore) {
  DecoderState state = StateWith(Kind::kPayload, 17);
  state.BeaconStore.resize(5);
  state.BeaconCount = 5;
  const ChartContent chart = BuildFieldChart(state, 40, ChartType::kLines);

  EXPECT_EQ(chart.kind, Kind::kPayload);
  EXPECT_EQ(chart.row_labels.size(), 17u);
  ASSERT_EQ(chart.series.size(), 1u);
  EXPECT_EQ(chart.series[0].legend, "PowSec Ch2 Temp");
  EXPECT_EQ(chart.series[0].values.at(16), 4016);
  // A status byte has no selector of its own but still charts under its name.
  EXPECT_EQ(BuildFieldChart(state, 47, ChartType::kLines).series.at(0).legend,
            "Status Word 1 High");
}

TEST(BuildFieldChart, RowsAreTheCountedRecordsOnly) {
  struct Case {
    std::size_t stored;
    std::int64_t count;
    std::size_t rows;
  };
  constexpr Case kCases[] = {
      {10, 4, 4},          // records past the count are left over from an earlier file
      {10, 0, 0},          // a fresh open command: nothing counted yet
      {10, 25, 10},        // counted past what the store holds
      {1200, 1200, 1000},  // a larger store (command-line tool): the chart stops at 1000
  };
  for (const Case& c : kCases) {
    const DecoderState state = StateWith(Kind::kBeacon, c.stored, c.count);
    const ChartContent single = BuildFieldChart(state, 1, ChartType::kBars);
    const ChartContent group = BuildGroupChart(state, {5, 6, 8}, ChartType::kBars);
    EXPECT_EQ(single.row_labels.size(), c.rows) << c.stored << " stored, " << c.count;
    EXPECT_EQ(group.row_labels.size(), c.rows) << c.stored << " stored, " << c.count;
    for (const ChartSeries& series : single.series) EXPECT_EQ(series.values.size(), c.rows);
    for (const ChartSeries& series : group.series) EXPECT_EQ(series.values.size(), c.rows);
  }
}

TEST(BuildChart, KindWithoutRecordsIsEmpty) {
  // Payload records only: every beacon chart is empty, and has no series to leave a legend.
  const DecoderState state = StateWith(Kind::kPayload, 5);
  const ChartContent single = BuildFieldChart(state, 17, ChartType::kBars);
  const ChartContent group = BuildGroupChart(state, {16, 17, 20}, ChartType::kBars);

  EXPECT_EQ(single.kind, Kind::kBeacon);
  EXPECT_THAT(single.row_labels, IsEmpty());
  EXPECT_THAT(single.series, IsEmpty());
  EXPECT_EQ(single.label_spacing, 0);
  EXPECT_THAT(group.row_labels, IsEmpty());
  EXPECT_THAT(group.series, IsEmpty());

  EXPECT_THAT(BuildFieldChart(DecoderState{}, 40, ChartType::kBars).series, IsEmpty());
}

TEST(BuildFieldChart, FieldOutsideTheSlotsIsEmpty) {
  const DecoderState state = StateWith(Kind::kBeacon, 5);
  for (const int field : {-1, 51, 1000}) {
    EXPECT_FALSE(IsChartableField(field));
    const ChartContent chart = BuildFieldChart(state, field, ChartType::kLines);
    EXPECT_THAT(chart.row_labels, IsEmpty()) << "field " << field;
    EXPECT_THAT(chart.series, IsEmpty()) << "field " << field;
  }
}

TEST(PointText, RecordTimeAndValuesWithUnits) {
  DecoderState state = StateWith(Kind::kBeacon, 3);
  state.BeaconStore[2].Value[4] = 3.75;
  state.BeaconStore[1].RxTime.clear();
  const ChartContent single = BuildFieldChart(state, 4, ChartType::kBars);
  const ChartContent group = BuildGroupChart(state, {31, 32, 33}, ChartType::kBars);

  EXPECT_EQ(PointText(single, 2), "Record 3, received 00:00:02\nBattery Volt: 3.75 V");
  EXPECT_EQ(PointText(single, 2, ','), "Record 3, received 00:00:02\nBattery Volt: 3,75 V");
  EXPECT_EQ(PointText(single, 1), "Record 2\nBattery Volt: 401 V");
  EXPECT_EQ(PointText(group, 0),
            "Record 1, received 00:00:00\nMag Field X: 3100 nT\nMag Field Y: 3200 nT\n"
            "Mag Field Z: 3300 nT");
  EXPECT_EQ(PointText(single, 3), "");
  state.BeaconStore[0].Value[4] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(PointText(BuildFieldChart(state, 4, ChartType::kBars), 0),
            "Record 1, received 00:00:00\nBattery Volt: no value");
  EXPECT_EQ(PointText(BuildFieldChart(state, 0, ChartType::kBars), 0),
            "Record 1, received 00:00:00\nMessage No.: 0");
}

TEST(BuildChart, SampleCapture) {
  DecoderState state;
  const LoadResult result = LoadCaptureFile(state, TALPHEX_SAMPLE_CAPTURE);
  ASSERT_TRUE(result.ok()) << result.error;

  const ChartContent single = BuildFieldChart(state, 17, ChartType::kBars);
  EXPECT_EQ(single.row_labels.size(), 86u);
  EXPECT_EQ(single.label_spacing, 0);
  for (const std::string& label : single.row_labels) EXPECT_EQ(label.size(), 8u) << label;

  EXPECT_EQ(BuildGroupChart(state, {16, 17, 20}, ChartType::kBars).label_spacing, 2);  // 2.15
  EXPECT_EQ(BuildFieldChart(state, 36, ChartType::kBars).row_labels.size(), 26u);
}

}  // namespace
}  // namespace talphex
