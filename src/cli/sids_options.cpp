// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/sids_options.h"

#include <CLI/CLI.hpp>
#include <array>
#include <vector>

#include "core/view/conf_ini.h"

namespace talphex {
namespace {

constexpr double kLongitudeLimit = 180;
constexpr double kLatitudeLimit = 90;
// The longest --sids-wait: an hour, the time after which a failing frame is given up anyway.
constexpr double kMaxWaitSeconds = 3600;
// NORAD catalogue numbers have at most nine digits.
constexpr std::int64_t kMaxNoradId = 999'999'999;

// The options that mean nothing without --sids.
constexpr std::array<const char*, 7> kSidsDetails = {"--sids-url", "--sids-files", "--norad-id",
                                                     "--callsign", "--longitude",  "--latitude",
                                                     "--sids-wait"};

Error Problem(std::string message) { return Error{ErrorKind::kUsage, std::move(message)}; }

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
    text += parts[i];
  }
  return text;
}

// One of the station's values: from its option, else from conf.ini's key.
struct StationValue {
  const char* what;    // "callsign"
  const char* option;  // "--callsign"
  const char* key;     // "CALLSIGN"
  std::optional<std::string> text;
  std::string source;  // "--callsign" or "CALLSIGN in PATH"
};

}  // namespace

void AddSidsOptions(CLI::App& app, SidsCommandLine& given) {
  app.add_flag("--sids", given.sids,
               "Share every frame received live (--kiss-tcp or -) with SatNOGS DB: one HTTP "
               "form POST a frame, sent once, retried with growing waits when the server fails "
               "and given up after an hour; needs --norad-id and the station's callsign and "
               "position");
  app.add_option("--sids-url", given.url,
                 std::string("With --sids: where the frames go (default ") + kSidsDefaultUrl + ")")
      ->type_name("URL");
  app.add_flag("--sids-files", given.files,
               "With --sids: share also the frames of the capture files read, with their "
               "receive times (frames without one are counted and not sent)");
  app.add_option("--norad-id", given.norad_id,
                 "With --sids: the satellite's NORAD catalogue number (never guessed)")
      ->type_name("N");
  app.add_option("--callsign", given.callsign,
                 "With --sids: the station's callsign, letters, digits, - and / (default: "
                 "CALLSIGN in conf.ini)")
      ->type_name("CALL");
  app.add_option("--longitude", given.longitude,
                 "With --sids: the station's longitude in decimal degrees, west negative "
                 "(default: LONGITUDE in conf.ini)")
      ->type_name("DEG");
  app.add_option("--latitude", given.latitude,
                 "With --sids: the station's latitude in decimal degrees, south negative "
                 "(default: LATITUDE in conf.ini)")
      ->type_name("DEG");
  app.add_option("--sids-wait", given.wait_seconds,
                 "With --sids: how long a run that has ended waits for the frames still queued "
                 "(default 5 seconds)")
      ->type_name("S");
}

Expected<std::optional<SidsOptions>> CheckSidsOptions(const CLI::App& app,
                                                      const SidsCommandLine& given, bool live,
                                                      const std::string& conf_ini) {
  for (const char* detail : kSidsDetails) {
    if (!given.sids && app.count(detail) > 0) return Problem(std::string(detail) + " needs --sids");
  }
  if (!given.sids) return std::optional<SidsOptions>();
  SidsOptions options;
  options.files = given.files;
  if (!(given.wait_seconds >= 0 && given.wait_seconds <= kMaxWaitSeconds)) {
    return Problem("--sids-wait: S must be a number of seconds from 0 to 3600");
  }
  options.wait = std::chrono::milliseconds(static_cast<std::int64_t>(given.wait_seconds * 1000));
  const Expected<std::string> server = SidsServerOf(given.url);
  if (!server) return Problem("--sids-url: " + server.error().message);
  options.settings.url = given.url;
  options.settings.server = server.value();
  if (!live && !given.files) {
    return Problem(
        "--sids shares the frames received live (--kiss-tcp or -): add --sids-files to share "
        "those of the capture files");
  }
  if (app.count("--norad-id") == 0) {
    return Problem("--sids needs --norad-id N, the satellite's NORAD catalogue number");
  }
  if (given.norad_id < 1 || given.norad_id > kMaxNoradId) {
    return Problem("--norad-id: N must be a whole number from 1 to 999999999");
  }
  options.settings.station.norad_id = given.norad_id;
  options.settings.station.version = TALPHEX_VERSION;

  std::array<StationValue, 3> values = {{
      {"callsign", "--callsign", "CALLSIGN", {}, {}},
      {"longitude", "--longitude", "LONGITUDE", {}, {}},
      {"latitude", "--latitude", "LATITUDE", {}, {}},
  }};
  const std::array<const std::string*, 3> given_texts = {&given.callsign, &given.longitude,
                                                         &given.latitude};
  std::optional<ConfSettings> conf;
  bool conf_read = false;
  const std::string conf_name = conf_ini.empty() ? "conf.ini" : conf_ini;
  std::vector<std::string> missing, options_missing, keys_missing;
  for (std::size_t i = 0; i < values.size(); ++i) {
    StationValue& value = values[i];
    if (app.count(value.option) > 0) {
      value.text = *given_texts[i];
      value.source = value.option;
      continue;
    }
    if (!conf_read && !conf_ini.empty()) conf = ReadConfIniFile(conf_ini);
    conf_read = true;
    if (conf) {
      const std::array<const std::optional<std::string>*, 3> keys = {
          &conf->callsign, &conf->longitude, &conf->latitude};
      value.text = *keys[i];
      value.source = std::string(value.key) + " in " + conf_name;
    }
    if (!value.text) {
      missing.push_back(value.what);
      options_missing.push_back(value.option);
      keys_missing.push_back(value.key);
    }
  }
  if (!missing.empty()) {
    return Problem("--sids needs the station's " + Joined(missing) + ": give " +
                   Joined(options_missing) + ", or set " + Joined(keys_missing) + " in " +
                   conf_name);
  }
  SidsStation& station = options.settings.station;
  if (!IsCallsign(*values[0].text)) {
    return Problem(values[0].source + ": \"" + *values[0].text +
                   "\" is not a callsign of letters, digits, - and /");
  }
  station.callsign = *values[0].text;
  const Expected<double> longitude = ParseDegrees(*values[1].text, kLongitudeLimit);
  if (!longitude) return Problem(values[1].source + ": " + longitude.error().message);
  station.longitude = longitude.value();
  const Expected<double> latitude = ParseDegrees(*values[2].text, kLatitudeLimit);
  if (!latitude) return Problem(values[2].source + ": " + latitude.error().message);
  station.latitude = latitude.value();
  return std::optional<SidsOptions>(std::move(options));
}

}  // namespace talphex
