// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/monitor/alarm_log.h"

#include <gtest/gtest.h>

#include <vector>

namespace talphex {
namespace {

Alarm AlarmTo(Level to, int field = 4, bool flag = false) {
  return {.flag = flag, .index = field, .from = Level::kGreen, .to = to};
}

TEST(AlarmLog, CountsWhatIsUnacknowledgedUntilAcknowledged) {
  AlarmLog log;
  EXPECT_EQ(UnacknowledgedText(log), "");
  const std::vector<Alarm> alarms = {AlarmTo(Level::kYellow), AlarmTo(Level::kRed, 5),
                                     AlarmTo(Level::kGreen), AlarmTo(Level::kRed, 6)};
  log.Add(alarms, 0);
  EXPECT_EQ(log.unacknowledged_red(), 2);
  EXPECT_EQ(log.unacknowledged_yellow(), 1);
  EXPECT_EQ(UnacknowledgedText(log), "2 red and 1 yellow alarms unacknowledged");
  log.AcknowledgeAll();
  EXPECT_EQ(UnacknowledgedText(log), "");
  EXPECT_TRUE(log.acknowledged(3));
  const Alarm red = AlarmTo(Level::kRed);
  log.Add({&red, 1}, 0);
  EXPECT_EQ(UnacknowledgedText(log), "1 red alarm unacknowledged");
  EXPECT_TRUE(log.acknowledged(3));
  EXPECT_FALSE(log.acknowledged(4));
  log.Clear();
  EXPECT_TRUE(log.alarms().empty());
  EXPECT_EQ(log.unacknowledged_red(), 0);
}

// A red alarm calls for attention once per field or flag a minute; yellow ones never do.
TEST(AlarmLog, AlertsOncePerPointAMinute) {
  struct Step {
    Alarm alarm;
    std::int64_t now_ms;
    int alerts;
  };
  const Step steps[] = {
      {AlarmTo(Level::kRed, 4), 1'000, 1},        {AlarmTo(Level::kRed, 4), 30'000, 0},
      {AlarmTo(Level::kRed, 4, true), 30'000, 1},  // lamp 4 is another point than field 4
      {AlarmTo(Level::kYellow, 7), 30'000, 0},    {AlarmTo(Level::kRed, 5), 30'500, 1},
      {AlarmTo(Level::kRed, 4), 60'999, 0},       {AlarmTo(Level::kRed, 4), 61'000, 1},
  };
  AlarmLog log;
  for (const Step& step : steps) {
    EXPECT_EQ(log.Add({&step.alarm, 1}, step.now_ms), step.alerts) << step.now_ms;
  }
}

TEST(AlarmLog, KeepsTheNewestAlarmsAndGoesOnCounting) {
  AlarmLog log;
  std::vector<Alarm> alarms(kMaxLoggedAlarms + 5, AlarmTo(Level::kYellow));
  for (std::size_t i = 0; i < alarms.size(); ++i) alarms[i].record = static_cast<std::int64_t>(i);
  log.Add(alarms, 0);
  EXPECT_EQ(log.alarms().size(), kMaxLoggedAlarms);
  EXPECT_EQ(log.dropped(), 5);
  EXPECT_EQ(log.alarms().front().record, 5);
  EXPECT_EQ(log.unacknowledged_yellow(), static_cast<std::int64_t>(kMaxLoggedAlarms + 5));
  EXPECT_EQ(UnacknowledgedText(log), "10,005 yellow alarms unacknowledged");
}

}  // namespace
}  // namespace talphex
