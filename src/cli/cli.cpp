// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/output.h"
#include "core/capture/capture_loader.h"
#include "core/export/atomic_file.h"
#include "core/export/exports.h"
#include "core/view/record_view.h"

namespace talphex {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct CliOptions {
  std::vector<std::string> captures;
  std::string csv;
  std::string payload_csv;
  std::string tlm;
  int record = 1;
  std::optional<std::size_t> max_records;
  bool decimal_comma = false;
  bool log = false;
};

// Writes one output to `path` ("-" for standard output); false after reporting a failure.
template <typename Writer>
bool WriteOutput(const std::string& path, std::FILE* out, std::FILE* err, Writer&& write) {
  if (path == "-") {
    write(out);
    if (std::fflush(out) == 0 && std::ferror(out) == 0) return true;
    Put(err, "talphex-cli: cannot write to standard output\n");
    return false;
  }
  const Status written = WriteFileAtomically(path, write);
  if (written) return true;
  Put(err, "talphex-cli: " + written.error().message + "\n");
  return false;
}

std::string FileSummary(const LoadResult& result) {
  std::string text = result.path + ": " + std::to_string(result.beacon_frames) +
                     " beacon frames, " + std::to_string(result.payload_frames) +
                     " payload frames decoded, " + std::to_string(result.skipped_frames) +
                     " skipped\n";
  for (std::size_t reason = 0; reason < kSkipReasons; ++reason) {
    const std::int64_t skipped = result.skipped_by_reason[reason];
    if (skipped == 0) continue;
    text += "  " + std::to_string(skipped) +
            " skipped: " + SkipReasonText(static_cast<SkipReason>(reason)) + "\n";
  }
  for (const LoadWarning& warning : result.warnings) {
    text += "  byte " + std::to_string(warning.offset) + ": " + SkipReasonText(warning.kind);
    if (!warning.detail.empty()) text += " (" + warning.detail + ")";
    text += "\n";
  }
  if (result.skipped_frames > static_cast<std::int64_t>(result.warnings.size())) {
    text += "  (only the first " + std::to_string(result.warnings.size()) +
            " skipped frames are listed)\n";
  }
  return text;
}

std::string TotalSummary(const DecoderState& state, std::int64_t skipped) {
  std::string text = "total: " + std::to_string(state.BeaconCount) + " beacon frames, " +
                     std::to_string(state.PayloadCount) + " payload frames, " +
                     std::to_string(skipped) + " skipped\n";
  for (Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    const std::string span = TimeSpanText(state, kind);
    text += kind == Kind::kBeacon ? "beacon " : "payload ";
    text += span.empty() ? std::string("time span: none") : span;
    text += "\n";
    // A plain summary keeps no records on purpose.
    const std::string not_kept =
        state.store_capacity == 0 ? "" : NotKeptText(state, kind, "--max-records");
    if (!not_kept.empty()) text += "  " + not_kept + "\n";
  }
  return text;
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  CliOptions options;
  CLI::App app{"Decodes TALPHEX beacon and VAVE payload frames from KISS capture files.",
               "talphex-cli"};
  app.set_version_flag("--version", std::string("talphex-cli ") + TALPHEX_VERSION);
  app.add_option("CAPTURE", options.captures, "KISS capture files (*.kss), loaded in this order")
      ->required();
  app.add_option("--csv", options.csv, "Write the beacon records as CSV to FILE (- for stdout)")
      ->type_name("FILE");
  app.add_option("--payload-csv", options.payload_csv,
                 "Write the payload records as CSV to FILE (- for stdout)")
      ->type_name("FILE");
  app.add_option("--tlm", options.tlm, "Write the telemetry report of one record to FILE")
      ->type_name("FILE");
  app.add_option("--record", options.record, "Record number of the report (default 1)")
      ->check(CLI::Range(1, 1 << 30));
  app.add_option("--max-records", options.max_records, "Records kept of each kind (default: all)")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--decimal-comma", options.decimal_comma, "Write \",\" as decimal separator");
  app.add_flag("--log", options.log, "Print the frame log");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    std::ostringstream out_text;
    std::ostringstream err_text;
    const int code = app.exit(e, out_text, err_text);
    Put(out, out_text.str());
    Put(err, err_text.str());
    return code == 0 ? kExitOk : kExitUsage;
  }

  const char separator = options.decimal_comma ? ',' : '.';
  const bool writes_records =
      !options.csv.empty() || !options.payload_csv.empty() || !options.tlm.empty();
  DecoderState state;
  // The summary needs only counts and time spans, so a plain summary keeps no records.
  state.store_capacity = options.max_records.value_or(writes_records ? kUnlimitedRecords : 0);

  FrameLogSink log_sink = [out](std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), out);
  };
  int status = kExitOk;
  std::int64_t skipped = 0;
  std::string summary;
  for (const std::string& path : options.captures) {
    state.InputFilePath = path;
    const LoadResult result = LoadCaptureFile(state, path, options.log ? &log_sink : nullptr);
    skipped += result.skipped_frames;
    if (!result.ok()) {
      Put(err, "talphex-cli: " + result.error->message + "\n");
      status = kExitFailure;
    }
    summary += FileSummary(result);
  }

  if (!writes_records) {
    Put(out, summary + TotalSummary(state, skipped));
    return status;
  }
  auto fail_unless = [&status](bool written) {
    if (!written) status = kExitFailure;
  };
  if (!options.csv.empty()) {
    fail_unless(WriteOutput(options.csv, out, err,
                            [&](std::FILE* stream) { WriteBeaconCsv(stream, state, separator); }));
  }
  if (!options.payload_csv.empty()) {
    fail_unless(WriteOutput(options.payload_csv, out, err,
                            [&](std::FILE* stream) { WritePayloadCsv(stream, state, separator); }));
  }
  if (!options.tlm.empty()) {
    const RecordView view = BuildRecordView(state, options.record, Kind::kBeacon, separator);
    fail_unless(
        WriteOutput(options.tlm, out, err, [&](std::FILE* stream) { WriteReport(stream, view); }));
  }
  return status;
}

}  // namespace talphex
