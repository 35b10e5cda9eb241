// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "core/base/expected.h"

namespace talphex {

// Which InfluxDB write endpoint a URL names.
enum class InfluxApi { kV1, kV2 };

// A checked InfluxDB write endpoint: http(s)://HOST[:PORT]/write?db=NAME (InfluxDB 1) or
// http(s)://HOST[:PORT]/api/v2/write?org=ORG&bucket=BUCKET (InfluxDB 2, with a token).
struct InfluxUrl {
  std::string text;  // the whole URL, as given
  std::string host;  // HOST[:PORT] as written, for messages
  InfluxApi api = InfluxApi::kV1;
};

// The URL, or a usage message that says what is wrong. Refused: another scheme or path, no host,
// a bad port, a user or password in the URL (the token comes from INFLUX_TOKEN), a precision
// other than ns (the points are in nanoseconds), spaces and control bytes.
Expected<InfluxUrl> ParseInfluxUrl(std::string_view text);

// The folder of the spool and the rejected batches, from the given values of XDG_CACHE_HOME and
// HOME (null when unset): $XDG_CACHE_HOME/talphex, else $HOME/.cache/talphex; empty when neither
// is set.
std::string InfluxCacheFolder(const char* xdg_cache_home, const char* home);

inline constexpr char kInfluxSpoolName[] = "influx-spool.lp";

}  // namespace talphex
