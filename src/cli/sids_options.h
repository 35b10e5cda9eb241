// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "core/base/expected.h"
#include "net/sids_submitter.h"

// CLI11's parser, declared here so that the header does not pull the library in.
namespace CLI {  // NOLINT(readability-identifier-naming)
class App;
}

namespace talphex {

// How long a run that has ended waits for the server to take the frames still queued, unless
// --sids-wait says otherwise.
inline constexpr double kSidsDefaultWaitSeconds = 5;

// The SiDS options as the command line gives them, before they are checked.
struct SidsCommandLine {
  bool sids = false;
  bool files = false;
  std::string url = kSidsDefaultUrl;
  std::int64_t norad_id = 0;
  std::string callsign;
  std::string longitude;
  std::string latitude;
  double wait_seconds = kSidsDefaultWaitSeconds;
};

// What --sids asks for, checked.
struct SidsOptions {
  SidsSettings settings;
  // Also the frames of the capture files read, not only those received live.
  bool files = false;
  std::chrono::milliseconds wait{};
};

// Declares --sids, --sids-url, --sids-files, --norad-id, --callsign, --longitude, --latitude and
// --sids-wait, read into `given`.
void AddSidsOptions(CLI::App& app, SidsCommandLine& given);

// The checked options, nothing without --sids, or the usage problem (naming the option, or
// conf.ini's key and path). The callsign and the position not given are read from the conf.ini
// at `conf_ini`. `live`: the run reads a TNC or standard input.
Expected<std::optional<SidsOptions>> CheckSidsOptions(const CLI::App& app,
                                                      const SidsCommandLine& given, bool live,
                                                      const std::string& conf_ini);

}  // namespace talphex
