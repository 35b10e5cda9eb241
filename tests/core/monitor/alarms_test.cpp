// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/monitor/alarms.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/export/analysis_exports.h"
#include "core/view/field_catalogue.h"

namespace talphex {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kBatteryField = 4;   // a beacon field
constexpr int kCurrentField = 39;  // a payload field
// Lamp 4 is bit 4 of status slot 46; lamp 12 bit 4 of slot 45.
constexpr int kOcLamp = 4;
constexpr int kLaserLamp = 12;

TelemetryRecord WithStatus(int slot46, int slot45 = 0) {
  TelemetryRecord record;
  record.Value[46] = slot46;
  record.Value[45] = slot45;
  return record;
}

TEST(LimitText, SaysTheLevelTheSideAndTheLimitPassed) {
  const FieldLimits limits{.field = kBatteryField,
                           .red_low = 6.4,
                           .yellow_low = 7.0,
                           .yellow_high = 8.3,
                           .red_high = 8.5};
  const FieldLimits high_only{.field = kBatteryField, .yellow_high = 60};
  struct Case {
    const FieldLimits* limits;
    double value;
    const char* text;
  };
  const Case cases[] = {
      {&limits, 8.35, "yellow high: 8.35 > 8.3"},
      {&limits, 9, "red high: 9 > 8.5"},
      {&limits, 6.9, "yellow low: 6.9 < 7"},
      {&limits, 6.1, "red low: 6.1 < 6.4"},
      {&limits, 8.3, ""},
      {&limits, 7.5, ""},
      {&limits, kInf, ""},
      {&high_only, 61.25, "yellow high: 61.25 > 60"},
      {&high_only, -1e9, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(LimitText(*c.limits, c.value), c.text) << c.value;
}

TEST(FlagInAlarm, ShouldBeRulesJudgeTheRecordAndWatchComparesWithThePrevious) {
  const TelemetryRecord clear = WithStatus(0);
  const TelemetryRecord set = WithStatus(1 << 4);
  struct Case {
    FlagRule rule;
    const TelemetryRecord* record;
    const TelemetryRecord* previous;
    bool alarm;
  };
  const Case cases[] = {
      {FlagRule::kShouldBe0, &set, nullptr, true},   {FlagRule::kShouldBe0, &clear, &set, false},
      {FlagRule::kShouldBe1, &clear, nullptr, true}, {FlagRule::kShouldBe1, &set, &clear, false},
      {FlagRule::kWatch, &set, nullptr, false},      {FlagRule::kWatch, &set, &set, false},
      {FlagRule::kWatch, &set, &clear, true},        {FlagRule::kWatch, &clear, &set, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FlagInAlarm({kOcLamp, c.rule}, *c.record, c.previous), c.alarm)
        << static_cast<int>(c.rule);
  }
}

// The window's view of one record number: the fields of both kinds at that number, and the flags
// of the payload record compared with the one before it.
TEST(JudgeShownRecord, JudgesTheRecordsOfBothKindsAtTheNumber) {
  Limits limits;
  limits.fields.push_back({.field = kBatteryField, .yellow_high = 8.3, .red_high = 8.5});
  limits.fields.push_back({.field = kCurrentField, .red_high = 100});
  limits.flags.push_back({kOcLamp, FlagRule::kShouldBe0});
  limits.flags.push_back({kLaserLamp, FlagRule::kWatch});
  DecoderState state;
  TelemetryRecord beacon;
  beacon.Value[kBatteryField] = 8.4;
  state.BeaconStore.push_back(beacon);
  state.BeaconCount = 1;
  for (const TelemetryRecord& payload : {WithStatus(1 << 4, 1 << 4), WithStatus(0, 0)}) {
    state.PayloadStore.push_back(payload);
  }
  state.PayloadStore[1].Value[kCurrentField] = 101;
  state.PayloadCount = 2;

  const ShownRecordLimits first = JudgeShownRecord(limits, state, 1);
  EXPECT_EQ(first.levels[kBatteryField], Level::kYellow);
  EXPECT_EQ(first.texts[kBatteryField], "yellow high: 8.4 > 8.3");
  EXPECT_EQ(first.levels[kCurrentField], Level::kGreen);
  EXPECT_EQ(first.levels[kBatteryField + 1], Level::kNone) << "a field without limits";
  EXPECT_TRUE(first.flags[kOcLamp]);
  EXPECT_FALSE(first.flags[kLaserLamp]) << "the first record has nothing to differ from";

  const ShownRecordLimits second = JudgeShownRecord(limits, state, 2);
  EXPECT_EQ(second.levels[kBatteryField], Level::kNone) << "no beacon record 2";
  EXPECT_EQ(second.levels[kCurrentField], Level::kRed);
  EXPECT_EQ(second.texts[kCurrentField], "red high: 101 > 100");
  EXPECT_FALSE(second.flags[kOcLamp]);
  EXPECT_TRUE(second.flags[kLaserLamp]);

  const ShownRecordLimits none = JudgeShownRecord(limits, state, 3);
  EXPECT_EQ(none.levels[kCurrentField], Level::kNone);
  EXPECT_FALSE(none.flags[kOcLamp]);
}

// Regression: a judge made without limits (the window's before limits.ini is read) took every
// non-zero value for one outside a band and looked up a limit it did not have.
TEST(LimitJudge, WithoutLimitsRaisesNothing) {
  LimitJudge judge;
  TelemetryRecord record;
  record.Value.fill(12.5);
  std::vector<Alarm> alarms;
  for (const Kind kind : {Kind::kBeacon, Kind::kPayload}) judge.Judge(kind, 1, record, alarms);
  EXPECT_TRUE(alarms.empty());
}

TEST(LimitJudge, JudgesEachKindOnItsOwnAndFlagsOnPayloadRecords) {
  Limits limits;
  limits.fields.push_back({.field = kBatteryField, .yellow_high = 8.3, .persistence = 2});
  limits.fields.push_back({.field = kCurrentField, .red_high = 100});
  limits.flags.push_back({kOcLamp, FlagRule::kShouldBe0});
  limits.flags.push_back({kLaserLamp, FlagRule::kWatch});
  LimitJudge judge(limits);
  std::vector<Alarm> alarms;

  TelemetryRecord beacon;
  beacon.RxTime = "2026-12-07 10:00:00";
  beacon.RxMillisecond = 250;
  // A beacon record with a payload field's slot out of limits raises nothing for that field,
  // and nothing for flags, whose status bytes are a payload record's.
  beacon.Value[kCurrentField] = 500;
  beacon.Value[46] = 1 << 4;
  beacon.Value[kBatteryField] = 9;
  judge.Judge(Kind::kBeacon, 1, beacon, alarms);
  EXPECT_TRUE(alarms.empty()) << "persistence 2 waits for a second record";
  // Payload records between the beacon records do not break the beacon field's run.
  TelemetryRecord payload = WithStatus(1 << 4, 1 << 4);
  payload.Value[kCurrentField] = 150;
  judge.Judge(Kind::kPayload, 1, payload, alarms);
  judge.Judge(Kind::kBeacon, 2, beacon, alarms);
  payload = WithStatus(0, 0);
  judge.Judge(Kind::kPayload, 2, payload, alarms);

  struct Expected {
    Kind kind;
    std::int64_t record;
    bool flag;
    int index;
    Level from, to;
  };
  const Expected expected[] = {
      {Kind::kPayload, 1, false, kCurrentField, Level::kGreen, Level::kRed},
      {Kind::kPayload, 1, true, kOcLamp, Level::kGreen, Level::kRed},
      {Kind::kBeacon, 2, false, kBatteryField, Level::kGreen, Level::kYellow},
      {Kind::kPayload, 2, false, kCurrentField, Level::kRed, Level::kGreen},
      {Kind::kPayload, 2, true, kOcLamp, Level::kRed, Level::kGreen},
      {Kind::kPayload, 2, true, kLaserLamp, Level::kGreen, Level::kYellow},
  };
  ASSERT_EQ(alarms.size(), std::size(expected));
  for (std::size_t i = 0; i < alarms.size(); ++i) {
    const Alarm& alarm = alarms[i];
    EXPECT_EQ(alarm.kind, expected[i].kind) << i;
    EXPECT_EQ(alarm.record, expected[i].record) << i;
    EXPECT_EQ(alarm.flag, expected[i].flag) << i;
    EXPECT_EQ(alarm.index, expected[i].index) << i;
    EXPECT_EQ(alarm.from, expected[i].from) << i;
    EXPECT_EQ(alarm.to, expected[i].to) << i;
  }
  EXPECT_EQ(alarms[2].rx_time, "2026-12-07 10:00:00");
  EXPECT_EQ(alarms[2].rx_millisecond, 250);
  EXPECT_EQ(alarms[2].value, 9);
  EXPECT_EQ(AlarmSubject(alarms[2]), "Battery Volt 1");
  EXPECT_EQ(AlarmSubject(alarms[1]), "Status Word 0 Low CH1_OC");
  EXPECT_EQ(judge.worst(), Level::kRed);

  // After a reset the levels start from green again: the same record raises its alarm anew.
  judge.Reset();
  EXPECT_EQ(judge.worst(), Level::kGreen);
  alarms.clear();
  judge.Judge(Kind::kPayload, 1, WithStatus(1 << 4), alarms);
  ASSERT_EQ(alarms.size(), 1u);
  EXPECT_EQ(alarms[0].index, kOcLamp);
}

// The judge, which passes over flags whose status byte did not change, against the pure
// FlagLevelChanges of each flag's values: random status bytes that repeat often, a rule of each
// kind on every flag, beacon records between the payload records.
TEST(LimitJudge, FlagAlarmsMatchTheFlagsLevelChanges) {
  Limits limits;
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    limits.flags.push_back({lamp, static_cast<FlagRule>(lamp % 3)});
  }
  LimitJudge judge(limits);
  std::mt19937 engine(7);
  std::vector<Alarm> alarms;
  std::vector<std::vector<double>> values(kLampCount);
  TelemetryRecord record;
  for (std::int64_t number = 1; number <= 300; ++number) {
    for (int slot = 45; slot <= 50; ++slot) {
      // Each byte keeps its value three times in four.
      if (engine() % 4 == 0) record.Value[static_cast<std::size_t>(slot)] = engine() % 256;
    }
    judge.Judge(Kind::kPayload, number, record, alarms);
    judge.Judge(Kind::kBeacon, number, WithStatus(0xFF, 0xFF), alarms);
    for (int lamp = 0; lamp < kLampCount; ++lamp) {
      values[static_cast<std::size_t>(lamp)].push_back(FlagIsSet(record, lamp) ? 1 : 0);
    }
  }
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    std::vector<std::int64_t> judged, expected;
    for (const Alarm& alarm : alarms) {
      if (alarm.index == lamp) judged.push_back(alarm.record);
    }
    for (const LevelChange& change : FlagLevelChanges(limits.flags[static_cast<std::size_t>(lamp)],
                                                      values[static_cast<std::size_t>(lamp)], 1)) {
      expected.push_back(change.record);
    }
    EXPECT_EQ(judged, expected) << FlagLimitName(lamp);
  }
}

// The judge, which looks at a field only when its value leaves the band that keeps its level,
// against the pure FieldLevelChanges: values on each limit, just beside it, far beyond it, not
// finite, in runs as slow telemetry gives; limits of several shapes (one-sided, equal limits,
// persistence 1 to 3) on the first and last field of each kind, judged together.
TEST(LimitJudge, FieldAlarmsMatchTheFieldsLevelChanges) {
  const FieldLimits shapes[] = {
      {.red_low = 6.4, .yellow_low = 7.0, .yellow_high = 8.3, .red_high = 8.5, .persistence = 2},
      {.yellow_high = 8.0},
      {.red_low = 7.0, .persistence = 3},
      {.yellow_low = 7.5, .yellow_high = 7.5, .red_high = 7.5},
      {.red_low = 6.4, .yellow_low = 6.4, .red_high = 8.5},
  };
  // The first and last field of each kind: the judge keeps each kind's values in pairs.
  constexpr int kFields[] = {
      0, kBatteryField, kFirstPayloadSlot - 1, kFirstPayloadSlot, kCurrentField, kFieldCount - 1};
  std::mt19937 engine(11);
  for (const FieldLimits& shape : shapes) {
    Limits limits;
    std::vector<double> picks = {std::nan(""), kInf, -kInf, 1e300, -1e300, 7.2};
    for (const std::optional<double>& limit :
         {shape.red_low, shape.yellow_low, shape.yellow_high, shape.red_high}) {
      if (!limit) continue;
      picks.insert(picks.end(), {*limit, std::nextafter(*limit, kInf),
                                 std::nextafter(*limit, -kInf), *limit + 0.3, *limit - 0.3});
    }
    for (const int field : kFields) {
      FieldLimits entry = shape;
      entry.field = field;
      limits.fields.push_back(entry);
    }
    LimitJudge judge(limits);
    std::vector<Alarm> alarms;
    std::array<std::vector<double>, kFieldCount> values;
    std::array<TelemetryRecord, 2> records;
    for (std::int64_t number = 1; number <= 600; ++number) {
      for (const int field : kFields) {
        TelemetryRecord& record = records[static_cast<std::size_t>(KindOfField(field))];
        if (engine() % 3 == 0) record.Value[field] = picks[engine() % picks.size()];
        values[field].push_back(record.Value[field]);
      }
      judge.Judge(Kind::kBeacon, number, records[0], alarms);
      judge.Judge(Kind::kPayload, number, records[1], alarms);
    }
    for (const int field : kFields) {
      std::vector<Alarm> of_field;
      for (const Alarm& alarm : alarms) {
        if (alarm.index == field) of_field.push_back(alarm);
      }
      const std::vector<LevelChange> expected = FieldLevelChanges(shape, values[field], 1);
      ASSERT_EQ(of_field.size(), expected.size()) << "field " << field;
      for (std::size_t i = 0; i < of_field.size(); ++i) {
        EXPECT_EQ(of_field[i].record, expected[i].record) << field << " " << i;
        EXPECT_EQ(of_field[i].from, expected[i].from) << field << " " << i;
        EXPECT_EQ(of_field[i].to, expected[i].to) << field << " " << i;
      }
    }
  }
}

// The CSV line and the terminal line of an alarm: a time only when it is a date, a flag's value
// as 0 or 1, and radio bytes in the time never written.
TEST(AlarmLines, CsvAndTerminalLinesOfFieldAndFlagAlarms) {
  struct Case {
    Alarm alarm;
    const char* csv;
    const char* line;
  };
  const Case cases[] = {
      {{.kind = Kind::kBeacon,
        .record = 12,
        .rx_time = "2026-11-14 09:41:03",
        .rx_millisecond = 7,
        .index = kBatteryField,
        .value = 8.35,
        .from = Level::kGreen,
        .to = Level::kYellow},
       "2026-11-14T09:41:03.007Z,12,beacon,Battery Volt 1,8.35,green,yellow\r\n",
       "2026-11-14T09:41:03.007Z beacon 12 Battery Volt 1 = 8.35: green -> yellow"},
      {{.kind = Kind::kPayload,
        .record = 3,
        .rx_time = "2026-11-14 09:41:03\x1B[2J",
        .flag = true,
        .index = kOcLamp,
        .value = 1,
        .from = Level::kGreen,
        .to = Level::kRed},
       ",3,payload,Status Word 0 Low CH1_OC,1,green,red\r\n",
       "- payload 3 Status Word 0 Low CH1_OC = 1: green -> red"},
  };
  for (const Case& c : cases) {
    std::string csv;
    AppendAlarmCsv(csv, c.alarm);
    EXPECT_EQ(csv, c.csv);
    EXPECT_EQ(AlarmLine(c.alarm), c.line);
  }
}

}  // namespace
}  // namespace talphex
