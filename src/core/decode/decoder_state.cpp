// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/decode/decoder_state.h"

#include <algorithm>

namespace talphex {

std::size_t DecoderState::StoredCount(Kind kind) const {
  const std::int64_t count = std::max<std::int64_t>(Count(kind), 0);
  return std::min(static_cast<std::size_t>(count), Store(kind).size());
}

void DecoderState::ResetCounts() {
  // The stores keep their records so that their buffers are reused; nothing past the counts is
  // ever read.
  BeaconCount = 0;
  PayloadCount = 0;
  for (auto& text : first_rx_time) text.clear();
  for (auto& text : last_rx_time) text.clear();
}

}  // namespace talphex
