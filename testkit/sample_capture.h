// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/decode/decoder_state.h"

namespace talphex::testing {

// Path of the bundled sample capture, data/sample-pass.kss: 86 beacon and 26 payload records.
const char* SampleCapturePath();

// The state after loading the bundled sample capture; a test fails if it does not load.
DecoderState LoadSample();

}  // namespace talphex::testing
