// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "core/chart/chart_model.h"
#include "core/decode/decoder_state.h"

namespace talphex {

// How the user moves through the records of the navigated kind, without any widget: the scroll
// bar's range, the keys' steps, the chart row that marks the record on view and the live rule of
// following the newest record. Positions are record numbers, counted from 1 since the last reset,
// so that a live store that dropped its oldest records still shows each record under its number.

// The keys that step through the records: Left, Right, Page Up, Page Down, Home and End.
enum class RecordStep { kPrevious, kNext, kPageBack, kPageForward, kFirst, kLast };
inline constexpr int kRecordsPerPage = 10;

// The record numbers the scroll bar runs over: the stored records of a kind; disabled (and 1 to
// 1) while there are none.
struct RecordRange {
  std::int64_t first = 1;
  std::int64_t last = 1;
  bool enabled = false;
  friend bool operator==(const RecordRange&, const RecordRange&) = default;
};
RecordRange NavigableRange(const DecoderState& state, Kind kind);

// The record a key moves to from `position`, kept within the range; `position` while disabled.
std::int64_t StepTarget(std::int64_t position, RecordStep step, const RecordRange& range);

// The chart row (1-based) that marks record `position` of the navigated kind; 0 (no mark) when
// the chart shows the other kind (a grouped chart left standing) or does not show the record.
int ChartMarkRow(const ChartContent& content, Kind navigated, std::int64_t position);
// The record of a clicked chart row (1-based); 0 when it is not one the scroll bar can show.
std::int64_t RecordOfChartRow(const ChartContent& content, Kind navigated, int row,
                              const RecordRange& range);

// A live view follows the newest record while it shows the last one (or none yet) and the user
// is not dragging the scroll bar.
bool FollowsNewest(std::int64_t position, const RecordRange& range, bool slider_down);
// The record on view after new records came: the newest when following; else the same record
// while it is stored, or the oldest stored once it was dropped.
std::int64_t PositionAfterArrival(std::int64_t position, bool follow, const RecordRange& range);

// The live stores' size: conf.ini's LIVE_RECORDS within these bounds.
inline constexpr std::size_t kMinLiveRecords = 1000;
inline constexpr std::size_t kMaxLiveRecords = 100000;
inline constexpr std::size_t kDefaultLiveRecords = 1000;

// "oldest 1,234 beacon and 5 payload records dropped (all are in the recording)"; "(not
// recorded)" without a recording; empty while none was dropped.
std::string DroppedRecordsText(const DecoderState& state, bool recorded);

}  // namespace talphex
