// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/decode/decoder_state.h"

namespace talphex {

// Decode the body in state.FrameBytes into the next record of its store. The count always goes
// up; the record is stored only while the store has room. Bytes past the body read as 0.
void DecodeBeaconFrame(DecoderState& state);
void DecodePayloadFrame(DecoderState& state);

}  // namespace talphex
