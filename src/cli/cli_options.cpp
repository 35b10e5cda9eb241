// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "core/base/licence.h"
#include "core/base/text_safety.h"
#include "core/view/conf_ini.h"
#include "net/mqtt_subscriber.h"

namespace talphex {
namespace {

constexpr char kProgram[] = "talphex-cli";

Error UsageError(const std::string& problem) {
  return Error{ErrorKind::kUsage, std::string(kProgram) + ": " + TerminalText(problem) +
                                      "\nRun with --help for more information.\n"};
}

// A text of whole lines for the terminal: each line escaped, the line ends kept.
std::string TerminalLines(std::string_view text) {
  std::string safe;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    safe += TerminalText(text.substr(start, end - start));
    if (end < text.size()) safe += '\n';
    start = end + 1;
  }
  return safe;
}

// What is wrong with the station network's options; empty when nothing is.
std::string MqttUsageProblem(const CliOptions& options) {
  if (options.mqtt_publish && !options.mqtt) return "--mqtt-publish needs --mqtt URL";
  if (options.mqtt_subscribe) {
    if (!options.mqtt) return "--mqtt-subscribe needs --mqtt URL";
    if (options.mqtt_publish) return "--mqtt-subscribe and --mqtt-publish cannot be used together";
    if (const std::string problem = MqttFilterProblem(*options.mqtt_subscribe); !problem.empty()) {
      return "--mqtt-subscribe: " + problem;
    }
  }
  if (options.mqtt && !options.mqtt_publish && !options.mqtt_subscribe) {
    return "--mqtt needs --mqtt-publish or --mqtt-subscribe";
  }
  if (options.mqtt_ca && !(options.mqtt && options.mqtt->tls)) {
    return "--mqtt-ca needs an mqtts:// URL in --mqtt";
  }
  if (options.mqtt_password_file && !options.mqtt) return "--mqtt-password-file needs --mqtt URL";
  if (options.mqtt && options.station.empty()) return "--mqtt needs --station NAME";
  return "";
}

// What is wrong with --influx-url; empty when nothing is.
std::string InfluxUsageProblem(const CliOptions& options) {
  if (!options.influx_url) return "";
  if (options.influx_url->api == InfluxApi::kV2 && options.influx_token.empty()) {
    return "--influx-url: an InfluxDB 2 URL needs the token in the environment variable "
           "INFLUX_TOKEN";
  }
  if (options.influx_folder.empty()) {
    return "--influx-url needs XDG_CACHE_HOME or HOME for the folder of its spool";
  }
  return "";
}

// What is wrong with options that parsed one by one; empty when nothing is.
std::string UsageProblem(const CliOptions& options) {
  if (options.captures.empty() && !options.kiss_tcp && !options.mqtt_subscribe) {
    return "give a CAPTURE, - for standard input, --kiss-tcp HOST:PORT or --mqtt-subscribe";
  }
  if (options.mqtt_subscribe && (!options.captures.empty() || options.kiss_tcp)) {
    return "--mqtt-subscribe reads no CAPTURE and no --kiss-tcp";
  }
  if (!options.captures.empty() && options.kiss_tcp) return "--kiss-tcp reads no CAPTURE";
  if (std::count(options.captures.begin(), options.captures.end(), kStandardStream) > 1) {
    return "standard input (-) can be read only once";
  }
  if (!IsStationName(options.station)) {
    return "--station: NAME may hold only letters, digits, - and _";
  }
  if (!options.Streaming() && (options.frames || options.seconds)) {
    return "--frames and --seconds need --kiss-tcp, --mqtt-subscribe or - as CAPTURE";
  }
  if (options.seconds && !(std::isfinite(*options.seconds) && *options.seconds > 0 &&
                           *options.seconds <= kMaxSeconds)) {
    return "--seconds: S must be a number of seconds above 0 and at most 1000000000";
  }
  if (options.frames && (*options.frames < 1 || *options.frames > kMaxFrames)) {
    return "--frames: N must be a whole number from 1 to 1000000000000";
  }
  for (const OutputOptionInfo& info : kOutputOptions) {
    const std::optional<std::string>& path = options.Output(info.id);
    if (!path) continue;
    if (info.needs_kiss_tcp && !options.kiss_tcp && !options.mqtt_subscribe) {
      return std::string(info.name) + " needs --kiss-tcp or --mqtt-subscribe";
    }
    if (!info.standard_output_allowed && *path == kStandardStream) {
      return std::string(info.name) + " writes binary frames, so it needs a FILE, not -";
    }
  }
  if (std::string problem = MqttUsageProblem(options); !problem.empty()) return problem;
  return InfluxUsageProblem(options);
}

}  // namespace

bool CliOptions::Streaming() const {
  return kiss_tcp || mqtt_subscribe ||
         std::find(captures.begin(), captures.end(), kStandardStream) != captures.end();
}

std::vector<PlannedInput> CliOptions::PlanInputs() const {
  std::vector<PlannedInput> inputs;
  for (const std::string& capture : captures) inputs.push_back({capture});
  // The limits and the broker's files are read, so no output may replace them.
  if (limits) inputs.push_back({*limits, "limits file"});
  if (mqtt_ca) inputs.push_back({*mqtt_ca, "CA file"});
  if (mqtt_password_file) inputs.push_back({*mqtt_password_file, "password file"});
  return inputs;
}

namespace {

// `name` in the user's configuration folder: $XDG_CONFIG_HOME/talphex, else ~/.config/talphex.
std::string UserConfigFile(const char* name) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && *config == '/') return std::string(config) + "/talphex/" + name;
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::string(home) + "/.config/talphex/" + name;
  return {};
}

}  // namespace

std::string DefaultLimitsPath() { return UserConfigFile("limits.ini"); }

std::string DefaultConfIniPath() { return UserConfigFile("conf.ini"); }

std::optional<SummaryFormat> SummaryFormatOf(std::string_view path) {
  if (path.ends_with(".md")) return SummaryFormat::kMarkdown;
  if (path.ends_with(".json")) return SummaryFormat::kJson;
  return std::nullopt;
}

std::vector<PlannedOutputRequest> CliOptions::PlanOutputs() const {
  std::vector<PlannedOutputRequest> requests;
  for (const OutputOptionInfo& info : kOutputOptions) {
    if (const std::optional<std::string>& path = Output(info.id)) {
      requests.push_back({info.name, *path, Streaming() ? info.streamed_mode : info.batch_mode});
    }
  }
  return requests;
}

Expected<CliOptions> ParseCommandLine(int argc, const char* const* argv) {
  CliOptions options;
  CLI::App app{"Decodes TALPHEX beacon and VAVE payload frames from KISS capture files.", kProgram};
  app.set_version_flag("--version",
                       std::string(kProgram) + " " + TALPHEX_VERSION + "\n" + kLicenceLine);
  app.add_option("CAPTURE", options.captures,
                 "KISS capture files (*.kss) or SatNOGS frame exports, loaded in this order; - "
                 "reads standard input as a stream");
  std::string kiss_tcp;
  app.add_option("--kiss-tcp", kiss_tcp,
                 "Decode frames as they arrive from a TNC serving KISS over TCP (Dire Wolf: "
                 "localhost:8001), reconnecting when the connection drops")
      ->type_name("HOST:PORT");
  app.add_option("--frames", options.frames,
                 "With --kiss-tcp, --mqtt-subscribe or -: end after N decoded frames of both kinds")
      ->type_name("N");
  app.add_option("--seconds", options.seconds,
                 "With --kiss-tcp, --mqtt-subscribe or -: end after S seconds")
      ->type_name("S");
  std::array<std::string, kOutputOptions.size()> paths;
  for (const OutputOptionInfo& info : kOutputOptions) {
    app.add_option(info.name, paths[static_cast<std::size_t>(info.id)], info.help)
        ->type_name("FILE");
  }
  std::string limits;
  app.add_option("--limits", limits,
                 "Judge every record against the limits in FILE (default: "
                 "$XDG_CONFIG_HOME/talphex/limits.ini or ~/.config/talphex/limits.ini, when it "
                 "exists); a bad file is a usage error")
      ->type_name("FILE");
  std::string fail_on;
  app.add_option("--fail-on", fail_on,
                 "Exit with status 4 when an alarm of this level or a worse one occurred")
      ->type_name("yellow|red")
      ->check(CLI::IsMember({"yellow", "red"}));
  app.add_option("--record", options.record, "Record number of the report (default 1)")
      ->check(CLI::Range(1, 1 << 30));
  app.add_option("--max-records", options.max_records, "Records kept of each kind (default: all)")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--decimal-comma", options.decimal_comma, "Write \",\" as decimal separator");
  app.add_flag("--log", options.log, "Print the frame log");
  app.add_flag("--hexdump", options.hexdump,
               "Print every frame as read: receive time, kind, AX.25 source > destination, "
               "length, result, then its bytes and its decoded body as hex dumps");
  app.add_option("--station", options.station,
                 "Name the receiving station in the --influx export and the MQTT topics (letters, "
                 "digits, - and _)")
      ->type_name("NAME");
  app.add_flag("--keep-duplicates", options.keep_duplicates,
               "Decode every frame of SatNOGS frame exports, also one heard by several stations");
  std::string mqtt;
  app.add_option("--mqtt", mqtt, "The MQTT broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT]")
      ->type_name("URL");
  app.add_flag("--mqtt-publish", options.mqtt_publish,
               "Publish every frame and record on talphex/STATION/frames and "
               "talphex/STATION/records/beacon|payload (QoS 1), the station's state on "
               "talphex/STATION/status");
  app.add_option("--mqtt-ca", options.mqtt_ca,
                 "With mqtts://: the certificates (PEM) that sign the broker's")
      ->type_name("FILE");
  app.add_option("--mqtt-password-file", options.mqtt_password_file,
                 "Read the broker's user and password from the first line of FILE, "
                 "user:password (else from TALPHEX_MQTT_USER and TALPHEX_MQTT_PASSWORD)")
      ->type_name("FILE");
  std::string subscribe_filter;
  app.add_option("--mqtt-subscribe", subscribe_filter,
                 "With --mqtt and --station: decode the frames every station publishes on the "
                 "topics of FILTER (default talphex/+/frames) once each, in receive-time order "
                 "within 2 s, a frame heard by several stations once with all their names "
                 "(stations in --analysis-csv and --jsonl), in a persistent session that keeps "
                 "frames while this station is away")
      ->expected(0, 1)
      ->type_name("[FILTER]");
  std::string influx_url;
  app.add_option("--influx-url", influx_url,
                 "Write every record with a receive time to InfluxDB, to its write endpoint: "
                 "http://HOST:8086/write?db=NAME, or .../api/v2/write?org=ORG&bucket=BUCKET "
                 "with the token in INFLUX_TOKEN; points wait in "
                 "$XDG_CACHE_HOME/talphex/influx-spool.lp while the server is away")
      ->type_name("URL");
  SidsCommandLine sids;
  AddSidsOptions(app, sids);
  app.footer(
      "With --kiss-tcp, - or --mqtt-subscribe the CSV files are written line by line as records "
      "arrive, and the summary goes to standard error when input ends (end of input, --frames, "
      "--seconds, Ctrl-C or SIGTERM); alarms go to standard error as they occur, and "
      "--pass-summary is written when input ends.\nNo output may name a capture read or another "
      "output; a run that "
      "reads no capture or receives nothing before it fails leaves every output as it was; a "
      "recording never replaces a file.\nExit status: 0 done, 1 a capture or output failed, "
      "no connection was ever made, or the MQTT messages, InfluxDB points or SatNOGS frames did "
      "not all arrive, 2 usage error (also a bad limits file), 4 an alarm of the "
      "--fail-on level or worse occurred and nothing failed.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    std::ostringstream out_text;
    std::ostringstream err_text;
    const int code = app.exit(e, out_text, err_text);
    if (code != 0) return Error{ErrorKind::kUsage, TerminalLines(err_text.str())};
    options.early_output = out_text.str();
    return options;
  }
  for (const OutputOptionInfo& info : kOutputOptions) {
    if (app.count(info.name) > 0) {
      options.outputs[static_cast<std::size_t>(info.id)] = paths[static_cast<std::size_t>(info.id)];
    }
  }
  if (app.count("--limits") > 0) {
    options.limits = limits;
  } else if (const std::string path = DefaultLimitsPath(); !path.empty()) {
    std::error_code ignored;
    if (std::filesystem::exists(path, ignored)) options.limits = path;
  }
  if (app.count("--fail-on") > 0) options.fail_on = fail_on == "red" ? Level::kRed : Level::kYellow;
  if (app.count("--kiss-tcp") > 0) {
    Expected<HostPort> where = ParseHostPort(kiss_tcp);
    if (!where) return UsageError("--kiss-tcp " + where.error().message);
    options.kiss_tcp = where.value();
  }
  if (app.count("--mqtt") > 0) {
    Expected<MqttUrl> url = ParseMqttUrl(mqtt);
    if (!url) return UsageError("--mqtt: " + url.error().message);
    options.mqtt = url.value();
  }
  if (app.count("--mqtt-subscribe") > 0) {
    options.mqtt_subscribe =
        subscribe_filter.empty() ? std::string(kDefaultMqttFilter) : subscribe_filter;
  }
  if (app.count("--influx-url") > 0) {
    Expected<InfluxUrl> url = ParseInfluxUrl(influx_url);
    if (!url) return UsageError("--influx-url: " + url.error().message);
    options.influx_url = url.value();
    const char* token = std::getenv("INFLUX_TOKEN");
    options.influx_token = token != nullptr ? token : "";
    options.influx_folder = InfluxCacheFolder(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"));
  }
  if (const std::string problem = UsageProblem(options); !problem.empty()) {
    return UsageError(problem);
  }
  Expected<std::optional<SidsOptions>> checked =
      CheckSidsOptions(app, sids, options.Streaming(), DefaultConfIniPath());
  if (!checked) return UsageError(checked.error().message);
  options.sids = std::move(checked.value());
  // A merging run's frames were heard by other stations, under their callsigns and positions.
  if (options.sids && options.mqtt_subscribe) {
    return UsageError(
        "--sids shares the frames this station receives, not those of --mqtt-subscribe");
  }
  return options;
}

}  // namespace talphex
