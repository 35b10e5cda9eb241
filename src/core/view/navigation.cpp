// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/view/navigation.h"

#include <algorithm>

#include "core/view/text_forms.h"

namespace talphex {

RecordRange NavigableRange(const DecoderState& state, Kind kind) {
  const auto stored = static_cast<std::int64_t>(state.StoredCount(kind));
  if (stored == 0) return {};
  return {state.FirstStored(kind), state.FirstStored(kind) + stored - 1, true};
}

std::int64_t StepTarget(std::int64_t position, RecordStep step, const RecordRange& range) {
  if (!range.enabled) return position;
  std::int64_t target = position;
  switch (step) {
    case RecordStep::kPrevious:
      target = position - 1;
      break;
    case RecordStep::kNext:
      target = position + 1;
      break;
    case RecordStep::kPageBack:
      target = position - kRecordsPerPage;
      break;
    case RecordStep::kPageForward:
      target = position + kRecordsPerPage;
      break;
    case RecordStep::kFirst:
      target = range.first;
      break;
    case RecordStep::kLast:
      target = range.last;
      break;
  }
  return std::clamp(target, range.first, range.last);
}

int ChartMarkRow(const ChartContent& content, Kind navigated, std::int64_t position) {
  if (content.kind != navigated || content.series.empty()) return 0;
  const std::int64_t row = position - content.first_record + 1;
  if (row < 1 || row > static_cast<std::int64_t>(content.row_labels.size())) return 0;
  return static_cast<int>(row);
}

std::int64_t RecordOfChartRow(const ChartContent& content, Kind navigated, int row,
                              const RecordRange& range) {
  if (!range.enabled || content.kind != navigated) return 0;
  const std::int64_t record = content.first_record + row - 1;
  return record >= range.first && record <= range.last ? record : 0;
}

bool FollowsNewest(std::int64_t position, const RecordRange& range, bool slider_down) {
  return !slider_down && (!range.enabled || position >= range.last);
}

std::int64_t PositionAfterArrival(std::int64_t position, bool follow, const RecordRange& range) {
  if (follow) return range.last;
  return std::clamp(position, range.first, range.last);
}

std::string DroppedRecordsText(const DecoderState& state, bool recorded) {
  std::string text;
  std::int64_t total = 0;
  for (const Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    if (state.Dropped(kind) == 0) continue;
    total += total == 0 ? state.Dropped(kind) : 2;
    text += text.empty() ? "oldest " : " and ";
    text += NumberText(state.Dropped(kind), Digits::kGrouped) +
            (kind == Kind::kBeacon ? " beacon" : " payload");
  }
  if (text.empty()) return {};
  return text + (total == 1 ? " record dropped" : " records dropped") +
         (recorded ? " (all are in the recording)" : " (not recorded)");
}

}  // namespace talphex
