// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/monitor/pass_summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace talphex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kBatteryField = 4;   // beacon
constexpr int kCurrentField = 39;  // payload
constexpr int kStatusSlot = 46;    // lamps 0 to 7
constexpr int kOcLamp = 4;         // bit 4 of slot 46: "Status Word 0 Low CH1_OC"

TelemetryRecord RecordAt(std::string rx_time, double battery = 7.5, double status = 0) {
  TelemetryRecord record;
  record.RxTime = std::move(rx_time);
  record.Value[kBatteryField] = battery;
  record.Value[kCurrentField] = battery;
  record.Value[kStatusSlot] = status;
  return record;
}

// Beacon records in arrival order, numbered from 1.
PassSummary BeaconPass(const std::vector<TelemetryRecord>& records) {
  PassSummaryBuilder builder;
  for (std::size_t i = 0; i < records.size(); ++i) {
    builder.Add(Kind::kBeacon, static_cast<std::int64_t>(i) + 1, records[i]);
  }
  return builder.summary();
}

struct PassShape {
  std::int64_t records;
  const char* first;  // "" for none
  const char* last;
  std::int64_t duration;
};

TEST(PassSummary, SplitsWhereReceiveTimesAreMoreThanTenMinutesApart) {
  struct Case {
    const char* name;
    std::vector<const char*> times;
    std::vector<PassShape> passes;
  };
  const Case cases[] = {
      {"600 s apart: one pass",
       {"2026-11-14 09:40:00", "2026-11-14 09:50:00"},
       {{2, "2026-11-14 09:40:00", "2026-11-14 09:50:00", 600}}},
      {"601 s apart: two passes",
       {"2026-11-14 09:40:00", "2026-11-14 09:50:01"},
       {{1, "2026-11-14 09:40:00", "2026-11-14 09:40:00", 0},
        {1, "2026-11-14 09:50:01", "2026-11-14 09:50:01", 0}}},
      {"records without a time join the pass they arrive in",
       {"", "2026-11-14 09:40:00", "", "2026-11-14 10:40:00", ""},
       {{3, "2026-11-14 09:40:00", "2026-11-14 09:40:00", 0},
        {2, "2026-11-14 10:40:00", "2026-11-14 10:40:00", 0}}},
      {"a time that is not a date neither splits nor counts",
       {"2026-11-14 09:40:00", "2026-02-30 09:40:00", "2026-11-14 09:40:00\x1B", "garbage",
        "2026-11-14 09:45:00"},
       {{5, "2026-11-14 09:40:00", "2026-11-14 09:45:00", 300}}},
      {"the gap is measured from the last time met, not from the start",
       {"2026-11-14 09:40:00", "2026-11-14 09:49:00", "2026-11-14 09:58:00"},
       {{3, "2026-11-14 09:40:00", "2026-11-14 09:58:00", 1080}}},
      {"a time back by more than 600 s starts a pass; within it, first is the earliest",
       {"2026-11-14 10:00:00", "2026-11-14 09:40:00", "2026-11-14 09:39:00"},
       {{1, "2026-11-14 10:00:00", "2026-11-14 10:00:00", 0},
        {2, "2026-11-14 09:39:00", "2026-11-14 09:40:00", 60}}},
      {"no record has a time: one pass without times", {"", ""}, {{2, "", "", 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TelemetryRecord> records;
    for (const char* time : c.times) records.push_back(RecordAt(time));
    const PassSummary summary = BeaconPass(records);
    ASSERT_EQ(summary.passes.size(), c.passes.size());
    for (std::size_t p = 0; p < c.passes.size(); ++p) {
      const Pass& pass = summary.passes[p];
      EXPECT_EQ(pass.beacon_frames, c.passes[p].records) << p;
      EXPECT_EQ(pass.payload_frames, 0) << p;
      EXPECT_EQ(pass.first_rx_time.text, c.passes[p].first) << p;
      EXPECT_EQ(pass.last_rx_time.text, c.passes[p].last) << p;
      EXPECT_EQ(pass.duration_seconds(), c.passes[p].duration) << p;
    }
  }
}

TEST(PassSummary, FieldStatisticsLeaveOutValuesThatAreNotFinite) {
  struct Case {
    const char* name;
    std::vector<double> values;  // battery of beacon records 1, 2, ...
    std::int64_t count;
    double min, max, mean, last;
    std::int64_t min_at, max_at, last_at;
  };
  const Case cases[] = {
      {"NaN inside, the minimum reached twice: the first is named",
       {7.5, kNaN, 6.9, 8.4, 6.9},
       4,
       6.9,
       8.4,
       (7.5 + 6.9 + 8.4 + 6.9) / 4,
       6.9,
       3,
       4,
       5},
      {"infinities and a NaN last: the last finite value",
       {-kInf, -2, 3, kInf, kNaN},
       2,
       -2,
       3,
       0.5,
       3,
       2,
       3,
       3},
      {"one value", {8.25}, 1, 8.25, 8.25, 8.25, 8.25, 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TelemetryRecord> records;
    for (const double value : c.values) records.push_back(RecordAt("2026-11-14 09:40:00", value));
    const PassSummary summary = BeaconPass(records);
    const Pass& pass = summary.passes.at(0);
    const FieldStats& stats = pass.fields[kBatteryField];
    EXPECT_EQ(stats.count, c.count);
    EXPECT_EQ(stats.min, c.min);
    EXPECT_EQ(stats.max, c.max);
    EXPECT_DOUBLE_EQ(stats.mean(), c.mean);
    EXPECT_EQ(stats.last, c.last);
    EXPECT_EQ(stats.min_at.number, c.min_at);
    EXPECT_EQ(stats.max_at.number, c.max_at);
    EXPECT_EQ(stats.last_at.number, c.last_at);
    EXPECT_EQ(stats.last_at.kind, Kind::kBeacon);
    // Beacon records leave the payload's fields empty, though their slot holds a value.
    EXPECT_EQ(pass.fields[kCurrentField].count, 0);
  }
}

// Every flag's change is listed whether or not a rule watches it, compared with the payload
// record before (beacon records between do not count), across a pass boundary too; alarms and
// skipped frames go to the pass open when they come.
TEST(PassSummary, FlagChangesAlarmsAndSkippedFramesGoToTheirPass) {
  PassSummaryBuilder builder;
  builder.Skip(SkipReason::kBodyNotDecoded);
  builder.Add(Kind::kPayload, 1, RecordAt("2026-11-14 09:40:00", 1, 0x10));
  builder.Add(Kind::kBeacon, 1, RecordAt("2026-11-14 09:40:01", 1, 0xFF));
  Alarm alarm;
  alarm.kind = Kind::kPayload;
  alarm.record = 2;
  builder.Add(Kind::kPayload, 2, RecordAt("2026-11-14 09:40:02", 9, 0x01), {&alarm, 1});
  builder.Add(Kind::kPayload, 3, RecordAt("2026-11-14 09:40:03", 1, 0x01));
  builder.Skip(SkipReason::kPartTooLong);
  builder.Add(Kind::kPayload, 4, RecordAt("2026-11-14 11:00:00", 1, 0x00));
  builder.Skip(SkipReason::kPartTooLong);
  const PassSummary& summary = builder.summary();
  ASSERT_EQ(summary.passes.size(), 2u);
  const Pass& first = summary.passes[0];
  const Pass& second = summary.passes[1];
  EXPECT_EQ(first.skipped, (std::array<std::int64_t, kSkipReasons>{1, 0, 1}));
  EXPECT_EQ(second.skipped, (std::array<std::int64_t, kSkipReasons>{0, 0, 1}));
  EXPECT_EQ(first.beacon_frames, 1);
  EXPECT_EQ(first.payload_frames, 3);
  ASSERT_EQ(first.alarms.size(), 1u);
  EXPECT_EQ(first.alarms[0].record, 2);
  EXPECT_TRUE(second.alarms.empty());
  ASSERT_EQ(first.flag_changes.size(), 2u);
  EXPECT_EQ(first.flag_changes[0].lamp, 0);
  EXPECT_TRUE(!first.flag_changes[0].from && first.flag_changes[0].to);
  EXPECT_EQ(first.flag_changes[1].lamp, kOcLamp);
  EXPECT_TRUE(first.flag_changes[1].from && !first.flag_changes[1].to);
  EXPECT_EQ(first.flag_changes[1].record, 2);
  EXPECT_EQ(first.flag_changes[1].rx_time.text, "2026-11-14 09:40:02");
  ASSERT_EQ(second.flag_changes.size(), 1u);
  EXPECT_EQ(second.flag_changes[0].lamp, 0);
  EXPECT_EQ(second.flag_changes[0].record, 4);
}

// A capture of noise cannot make the summary grow without end.
TEST(PassSummary, ListsAndPassesAreBounded) {
  PassSummaryBuilder builder;
  for (std::int64_t n = 1; n <= static_cast<std::int64_t>(kMaxListedPerPass) + 2; ++n) {
    builder.Add(Kind::kPayload, n, RecordAt("", 1, static_cast<double>(n % 2)));
  }
  EXPECT_EQ(builder.summary().passes[0].flag_changes.size(), kMaxListedPerPass);
  EXPECT_EQ(builder.summary().passes[0].flag_changes_left_out, 1);

  PassSummaryBuilder spread;
  for (std::int64_t n = 0; n <= static_cast<std::int64_t>(kMaxPasses); ++n) {
    spread.Add(Kind::kBeacon, n + 1,
               RecordAt(n % 2 == 0 ? "2026-11-14 09:00:00" : "2026-11-15 09:00:00"));
  }
  EXPECT_EQ(spread.summary().passes.size(), kMaxPasses);
  EXPECT_TRUE(spread.summary().passes_merged);
  EXPECT_EQ(spread.summary().passes.back().beacon_frames, 2);
}

// The stores merged in receive-time order, a beacon record first on equal times, numbered from
// the first record stored; alarms judged in that order.
TEST(PassSummary, OfTheStoredRecordsMergesBothStoresByReceiveTime) {
  DecoderState state;
  state.dropped = {10, 0};
  state.BeaconCount = 12;
  state.PayloadCount = 3;
  state.BeaconStore = {RecordAt("2026-11-14 09:40:00", 7), RecordAt("2026-11-14 09:40:05", 9)};
  state.PayloadStore = {RecordAt("2026-11-14 09:39:00", 1, 0),
                        RecordAt("2026-11-14 09:40:05", 2, 0x10),
                        RecordAt("2026-11-14 09:41:00", 3, 0)};
  Limits limits;
  limits.fields.push_back({.field = kBatteryField, .yellow_high = 8});
  const PassSummary summary = SummarizeStoredRecords(state, limits);
  EXPECT_FALSE(summary.skipped_counted);
  ASSERT_EQ(summary.passes.size(), 1u);
  const Pass& pass = summary.passes[0];
  EXPECT_EQ(pass.first_rx_time.text, "2026-11-14 09:39:00");
  EXPECT_EQ(pass.duration_seconds(), 120);
  EXPECT_EQ(pass.beacon_frames, 2);
  EXPECT_EQ(pass.payload_frames, 3);
  EXPECT_EQ(pass.fields[kBatteryField].last_at.number, 12);
  EXPECT_EQ(pass.fields[kCurrentField].max_at.number, 3);
  ASSERT_EQ(pass.alarms.size(), 1u);
  EXPECT_EQ(pass.alarms[0].record, 12);
  EXPECT_EQ(pass.alarms[0].to, Level::kYellow);
  ASSERT_EQ(pass.flag_changes.size(), 2u);
  EXPECT_EQ(pass.flag_changes[0].record, 2);
  EXPECT_EQ(pass.flag_changes[1].record, 3);
}

// What the two writers make of one pass: the Markdown rows, and JSON without NaN or Infinity.
TEST(PassSummary, WritersShowTheValuesAndNullWhereThereIsNone) {
  PassSummaryBuilder builder;
  const Alarm alarm{.kind = Kind::kBeacon,
                    .record = 2,
                    .rx_time = "2026-11-14 09:40:10",
                    .rx_millisecond = 5,
                    .index = kBatteryField,
                    .value = 8.35,
                    .to = Level::kYellow};
  builder.Add(Kind::kBeacon, 1, RecordAt("2026-11-14 09:40:00", 7.5));
  builder.Add(Kind::kBeacon, 2, RecordAt("2026-11-14 09:40:10", 8.35), {&alarm, 1});
  builder.Add(Kind::kBeacon, 3, RecordAt("2026-11-14 09:40:20", kNaN));
  const std::string markdown = PassSummaryMarkdown(builder.summary());
  for (const char* line : {
           "| Duration | 20 s |\n",
           "| Frames skipped | 0 |\n",
           "| Battery Volt 1 [V] | 2 | 7.5 | beacon 1 | 8.35 | beacon 2 | 7.925 | 8.35 | beacon 2 "
           "|\n",
           "| Battery Voltage [V] | 0 | - | | - | | - | - | |\n",
           "| 2026-11-14T09:40:10.005Z | beacon 2 | Battery Volt 1 | 8.35 | green | yellow |\n",
       }) {
    EXPECT_NE(markdown.find(line), std::string::npos) << line << markdown;
  }
  const std::string json = PassSummaryJson(builder.summary());
  EXPECT_EQ(json.find("NaN"), std::string::npos);
  EXPECT_EQ(json.find("Infinity"), std::string::npos);
  EXPECT_NE(json.find("{\"field\":\"Battery Volt 1 [V]\",\"kind\":\"beacon\",\"values\":2,"
                      "\"min\":7.5,\"min_record\":1,\"max\":8.35,\"max_record\":2,\"mean\":7.925,"
                      "\"last\":8.35,\"last_record\":2}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"field\":\"Battery Voltage [V]\",\"kind\":\"payload\",\"values\":0,"
                      "\"min\":null,\"min_record\":null,\"max\":null"),
            std::string::npos)
      << json;
  EXPECT_EQ(PassSummaryMarkdown({}), "# Pass summary\n\nNo records.\n");
}

}  // namespace
}  // namespace talphex
