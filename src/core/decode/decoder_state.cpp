// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/decode/decoder_state.h"

#include <algorithm>
#include <iterator>

namespace talphex {

std::size_t DecoderState::StoredCount(Kind kind) const {
  const std::int64_t count = std::max<std::int64_t>(Count(kind) - Dropped(kind), 0);
  return std::min(static_cast<std::size_t>(count), Store(kind).size());
}

const TelemetryRecord* DecoderState::StoredRecord(Kind kind, std::int64_t number) const {
  const std::int64_t index = number - FirstStored(kind);
  if (index < 0 || static_cast<std::uint64_t>(index) >= StoredCount(kind)) return nullptr;
  return &Store(kind)[static_cast<std::size_t>(index)];
}

void DecoderState::ResetCounts() {
  // The stores keep their records so that their buffers are reused; nothing past the counts is
  // ever read.
  BeaconCount = 0;
  PayloadCount = 0;
  dropped = {};
  for (auto& text : earliest_rx_time) text.clear();
  for (auto& text : latest_rx_time) text.clear();
  sources.clear();
  seen_frames.Clear();
}

void DecoderState::BeginSource(std::string name) {
  sources.push_back({{BeaconCount, PayloadCount}, std::move(name)});
}

std::string_view DecoderState::SourceOf(Kind kind, std::int64_t number) const {
  const auto index = static_cast<std::size_t>(kind);
  // The last capture that began before the record was counted.
  const auto after = std::upper_bound(sources.begin(), sources.end(), number,
                                      [index](std::int64_t n, const SourceStart& start) {
                                        return n <= start.counts_before[index];
                                      });
  return after == sources.begin() ? std::string_view() : std::string_view(std::prev(after)->name);
}

}  // namespace talphex
