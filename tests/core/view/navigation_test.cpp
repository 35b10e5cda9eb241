// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/view/navigation.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/decode/frame_decoders.h"

namespace talphex {
namespace {

using enum Kind;
using enum RecordStep;

constexpr RecordRange kNone{};
constexpr RecordRange kFile{1, 40, true};
constexpr RecordRange kLive{2001, 3000, true};

// Every key stays within the stored records, also when the records start past 1 (a live store
// that dropped its oldest); nothing moves while there are none.
TEST(Navigation, StepTargets) {
  const std::tuple<RecordRange, std::int64_t, RecordStep, std::int64_t> kCases[] = {
      {kFile, 5, kNext, 6},           {kFile, 5, kPrevious, 4},
      {kFile, 1, kPrevious, 1},       {kFile, 40, kNext, 40},
      {kFile, 5, kPageForward, 15},   {kFile, 35, kPageForward, 40},
      {kFile, 5, kPageBack, 1},       {kFile, 25, kPageBack, 15},
      {kFile, 25, kFirst, 1},         {kFile, 25, kLast, 40},
      {kLive, 2005, kPageBack, 2001}, {kLive, 2001, kPrevious, 2001},
      {kLive, 2500, kFirst, 2001},    {kLive, 2999, kPageForward, 3000},
      {kNone, 1, kNext, 1},           {kNone, 1, kLast, 1},
  };
  for (const auto& [range, position, step, target] : kCases) {
    EXPECT_EQ(StepTarget(position, step, range), target)
        << range.first << ".." << range.last << " from " << position;
  }
}

TEST(Navigation, RangeCountsTheStoredRecordsByNumber) {
  DecoderState state;
  EXPECT_EQ(NavigableRange(state, kBeacon), kNone);
  state.store_capacity = 2;
  state.keep_newest = true;
  for (int i = 0; i < 5; ++i) DecodeBeaconFrame(state);
  EXPECT_EQ(NavigableRange(state, kBeacon), (RecordRange{4, 5, true}));
  EXPECT_EQ(NavigableRange(state, kPayload), kNone);
}

ChartContent ChartOf(Kind kind, std::int64_t first_record, std::size_t rows) {
  ChartContent content;
  content.kind = kind;
  content.first_record = first_record;
  content.row_labels.resize(rows);
  content.series.push_back({0, "", std::nullopt, std::vector<double>(rows), ""});
  return content;
}

// The mark follows the record by number, on the navigated kind's chart only; a click leads to the
// record of its row while the scroll bar can show it.
TEST(Navigation, ChartRowsAndRecords) {
  const ChartContent file = ChartOf(kBeacon, 1, 40);
  const ChartContent live = ChartOf(kBeacon, 2001, 1000);
  const ChartContent payload = ChartOf(kPayload, 1, 40);
  const std::tuple<const ChartContent*, std::int64_t, int> kMarks[] = {
      {&file, 1, 1},    {&file, 40, 40},     {&file, 41, 0},   {&file, 0, 0},
      {&live, 2001, 1}, {&live, 3000, 1000}, {&live, 2000, 0}, {&payload, 5, 0},
  };
  for (const auto& [content, position, row] : kMarks) {
    EXPECT_EQ(ChartMarkRow(*content, kBeacon, position), row) << position;
  }
  EXPECT_EQ(ChartMarkRow(ChartContent{}, kBeacon, 1), 0) << "a chart without series";

  const std::tuple<const ChartContent*, RecordRange, int, std::int64_t> kClicks[] = {
      {&file, kFile, 7, 7},       {&live, kLive, 1, 2001},
      {&live, kLive, 1000, 3000}, {&payload, kFile, 7, 0},
      {&file, kNone, 7, 0},       {&live, RecordRange{2501, 3000, true}, 3, 0},
  };
  for (const auto& [content, range, row, record] : kClicks) {
    EXPECT_EQ(RecordOfChartRow(*content, kBeacon, row, range), record) << row;
  }
}

// At the newest record (or with none yet) the view follows new ones unless the thumb is held;
// elsewhere it stays on its record until that record is dropped.
TEST(Navigation, LiveFollow) {
  const std::tuple<std::int64_t, RecordRange, bool, bool> kFollows[] = {
      {1, kNone, false, true},   {40, kFile, false, true},   {40, kFile, true, false},
      {39, kFile, false, false}, {3000, kLive, false, true},
  };
  for (const auto& [position, range, held, follows] : kFollows) {
    EXPECT_EQ(FollowsNewest(position, range, held), follows) << position;
  }
  const std::tuple<std::int64_t, bool, RecordRange, std::int64_t> kArrivals[] = {
      {40, true, kLive, 3000},
      {2500, false, kLive, 2500},
      {1500, false, kLive, 2001},
      {1, false, kFile, 1},
  };
  for (const auto& [position, follow, range, after] : kArrivals) {
    EXPECT_EQ(PositionAfterArrival(position, follow, range), after) << position;
  }
}

TEST(Navigation, DroppedRecordsText) {
  const std::tuple<std::int64_t, std::int64_t, bool, std::string> kCases[] = {
      {0, 0, true, ""},
      {1, 0, true, "oldest 1 beacon record dropped (all are in the recording)"},
      {1234, 0, true, "oldest 1234 beacon records dropped (all are in the recording)"},
      {12345, 0, true, "oldest 12,345 beacon records dropped (all are in the recording)"},
      {0, 2, false, "oldest 2 payload records dropped (not recorded)"},
      {1, 1, true, "oldest 1 beacon and 1 payload records dropped (all are in the recording)"},
  };
  for (const auto& [beacon, payload, recorded, text] : kCases) {
    DecoderState state;
    state.dropped = {beacon, payload};
    EXPECT_EQ(DroppedRecordsText(state, recorded), text);
  }
}

}  // namespace
}  // namespace talphex
