// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/sids_options.h"
#include "core/base/expected.h"
#include "core/capture/live_link.h"
#include "core/export/output_plan.h"
#include "core/monitor/limits.h"
#include "net/influx_url.h"
#include "net/mqtt_url.h"

namespace talphex {

// The outputs the command line can ask for, in the order of kOutputOptions.
enum class OutputOption {
  kCsv,
  kPayloadCsv,
  kTlm,
  kAnalysisCsv,
  kJsonl,
  kInflux,
  kRecordCapture,
  kAlarms,
  kPassSummary
};

// One output option, declared once: the usage checks, the batch run and the streaming run all
// read this table.
struct OutputOptionInfo {
  OutputOption id;
  const char* name;
  const char* help;
  // How the output is written when captures are read whole, and when input streams.
  OutputMode batch_mode;
  OutputMode streamed_mode;
  bool standard_output_allowed;
  bool needs_kiss_tcp;
};

inline constexpr std::array<OutputOptionInfo, 9> kOutputOptions = {{
    {OutputOption::kCsv, "--csv", "Write the beacon records as CSV to FILE (- for stdout)",
     OutputMode::kWhole, OutputMode::kStreamed, true, false},
    {OutputOption::kPayloadCsv, "--payload-csv",
     "Write the payload records as CSV to FILE (- for stdout)", OutputMode::kWhole,
     OutputMode::kStreamed, true, false},
    {OutputOption::kTlm, "--tlm", "Write the telemetry report of one record to FILE",
     OutputMode::kWhole, OutputMode::kWhole, true, false},
    {OutputOption::kAnalysisCsv, "--analysis-csv",
     "Write every record for analysis tools as comma-separated UTF-8 to FILE", OutputMode::kWhole,
     OutputMode::kStreamed, true, false},
    {OutputOption::kJsonl, "--jsonl", "Write every record as one JSON object a line to FILE",
     OutputMode::kWhole, OutputMode::kStreamed, true, false},
    {OutputOption::kInflux, "--influx",
     "Write every record with a receive time as InfluxDB line protocol to FILE", OutputMode::kWhole,
     OutputMode::kStreamed, true, false},
    // Binary KISS bytes, so never to a terminal; a new file, never one that exists.
    {OutputOption::kRecordCapture, "--record-capture",
     "With --kiss-tcp or --mqtt-subscribe: write every frame to FILE as it arrives, each after a "
     "timestamp part, as a "
     "capture that reloads to the same records; FILE must not exist yet",
     OutputMode::kRecording, OutputMode::kRecording, false, true},
    {OutputOption::kAlarms, "--alarms",
     "Write every alarm of the limits as a CSV line to FILE (- for stdout): rx_time_utc, record, "
     "kind, field, value, from, to",
     OutputMode::kWhole, OutputMode::kStreamed, true, false},
    // Markdown or JSON by the file's extension, checked with the plan.
    {OutputOption::kPassSummary, "--pass-summary",
     "Write a summary of each pass (receive times more than 10 minutes apart) to FILE when the "
     "run ends: frames, each field's minimum, maximum, mean and last value, the alarms and every "
     "flag change; FILE.md is Markdown, FILE.json JSON",
     OutputMode::kWhole, OutputMode::kWhole, true, false},
}};

inline const OutputOptionInfo& InfoOf(OutputOption id) {
  return kOutputOptions[static_cast<std::size_t>(id)];
}

// Streamed input ends after at most this many seconds or frames.
inline constexpr double kMaxSeconds = 1e9;
inline constexpr std::int64_t kMaxFrames = 1'000'000'000'000;

// The command line as a plain value: nothing is opened while it is parsed.
struct CliOptions {
  std::vector<std::string> captures;
  // By kOutputOptions; empty when not asked for.
  std::array<std::optional<std::string>, kOutputOptions.size()> outputs;
  int record = 1;
  std::optional<std::size_t> max_records;
  bool decimal_comma = false;
  bool log = false;
  bool hexdump = false;
  bool keep_duplicates = false;
  // The receiving station, a tag of the line protocol; empty for none.
  std::string station;
  std::optional<HostPort> kiss_tcp;
  std::optional<std::int64_t> frames;
  std::optional<double> seconds;
  // The limits file: --limits, else the user's limits.ini when it exists; empty for none.
  std::optional<std::string> limits;
  // --fail-on: exit status 4 when an alarm went to this level or a worse one.
  std::optional<Level> fail_on;
  // The station network: the broker, and what is done with it.
  std::optional<MqttUrl> mqtt;
  bool mqtt_publish = false;
  std::optional<std::string> mqtt_ca;
  std::optional<std::string> mqtt_password_file;
  // --mqtt-subscribe: the filter of the frames merged from many stations, a streaming source.
  std::optional<std::string> mqtt_subscribe;
  // InfluxDB written directly: the write endpoint, the token (INFLUX_TOKEN; empty for none) and
  // the folder of the spool and the rejected batches.
  std::optional<InfluxUrl> influx_url;
  std::string influx_token;
  std::string influx_folder;
  // Frames shared with SatNOGS DB: what --sids asks for; empty without it.
  std::optional<SidsOptions> sids;
  // --help or --version: this text goes to standard output and nothing else happens.
  std::string early_output;

  // Input read as it comes, with exports written line by line: a TNC or standard input.
  bool Streaming() const;
  const std::optional<std::string>& Output(OutputOption id) const {
    return outputs[static_cast<std::size_t>(id)];
  }
  // The inputs and the outputs of the run, for the output plan.
  std::vector<PlannedInput> PlanInputs() const;
  std::vector<PlannedOutputRequest> PlanOutputs() const;
};

// The limits.ini the CLI and the window read when no --limits is given:
// $XDG_CONFIG_HOME/talphex/limits.ini, else $HOME/.config/talphex/limits.ini; empty when neither
// variable is set.
std::string DefaultLimitsPath();
// The conf.ini the CLI reads the station's callsign and position from, beside that limits.ini.
std::string DefaultConfIniPath();

// The format of --pass-summary FILE by its extension; nothing for an extension it does not know.
enum class SummaryFormat { kMarkdown, kJson };
std::optional<SummaryFormat> SummaryFormatOf(std::string_view path);

// The options, or the whole usage message for standard error (exit status 2).
Expected<CliOptions> ParseCommandLine(int argc, const char* const* argv);

}  // namespace talphex
