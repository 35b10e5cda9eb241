// SPDX-License-Identifier: GPL-3.0-or-later
#include "testkit/sample_capture.h"

#include <stdexcept>
#include <string>

#include "core/capture/capture_loader.h"

namespace talphex::testing {

const char* SampleCapturePath() { return TALPHEX_SAMPLE_CAPTURE; }

DecoderState LoadSample() {
  DecoderState state;
  const auto loaded = LoadCaptureFile(state, SampleCapturePath());
  if (!loaded.ok())
    throw std::runtime_error("the sample capture does not load: " + loaded.error->message);
  return state;
}

}  // namespace talphex::testing
