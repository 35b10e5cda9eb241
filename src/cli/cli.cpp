// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/live_input.h"
#include "core/base/output.h"
#include "core/capture/capture_loader.h"
#include "core/export/analysis_exports.h"
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
  std::string analysis_csv;
  std::string jsonl;
  std::string influx;
  int record = 1;
  std::optional<std::size_t> max_records;
  bool decimal_comma = false;
  bool log = false;
  std::string kiss_tcp;
  std::optional<std::int64_t> frames;
  std::optional<double> seconds;
  std::string record_capture;
  // Input read as it comes, with exports written line by line: a TNC or standard input.
  bool Streaming() const {
    return !kiss_tcp.empty() || std::find(captures.begin(), captures.end(), "-") != captures.end();
  }
  bool keep_duplicates = false;
};

constexpr char kStandardInput[] = "-";

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
  if (result.duplicate_frames > 0) {
    text += "  " + std::to_string(result.duplicate_frames) + " duplicate frames skipped\n";
  }
  if (result.malformed_lines > 0) {
    text += "  " + std::to_string(result.malformed_lines) + " malformed lines skipped\n";
    for (const std::string& note : result.line_notes) text += "  " + note + "\n";
    if (result.malformed_lines > static_cast<std::int64_t>(result.line_notes.size())) {
      text += "  (only the first " + std::to_string(result.line_notes.size()) +
              " malformed lines are listed)\n";
    }
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

void ReportLeftOut(const std::string& path, std::int64_t left_out, std::FILE* err) {
  if (left_out == 0) return;
  Put(err, "talphex-cli: " + path + ": " + std::to_string(left_out) +
               " records without a receive time left out\n");
}

std::string UsageProblem(const CliOptions& options) {
  if (options.captures.empty() && options.kiss_tcp.empty()) {
    return "give a CAPTURE, - for standard input, or --kiss-tcp HOST:PORT";
  }
  if (!options.captures.empty() && !options.kiss_tcp.empty()) {
    return "--kiss-tcp reads no CAPTURE";
  }
  if (std::count(options.captures.begin(), options.captures.end(), kStandardInput) > 1) {
    return "standard input (-) can be read only once";
  }
  if (!options.Streaming() && (options.frames || options.seconds)) {
    return "--frames and --seconds need --kiss-tcp or - as CAPTURE";
  }
  if (!options.record_capture.empty() && options.kiss_tcp.empty()) {
    return "--record-capture needs --kiss-tcp";
  }
  if (options.Streaming() && options.csv == "-" && options.payload_csv == "-") {
    return "--csv and --payload-csv cannot both write to standard output";
  }
  const std::string* const outputs[] = {&options.csv, &options.payload_csv, &options.analysis_csv,
                                        &options.jsonl, &options.influx};
  if (options.Streaming() && std::count_if(std::begin(outputs), std::end(outputs), [](auto* path) {
                               return *path == kStandardInput;
                             }) > 1) {
    return "only one output can write to standard output while input streams";
  }
  return "";
}

// An output written as records come: opened at once, every line flushed.
class StreamedOutput {
 public:
  StreamedOutput(const std::string& path, std::FILE* out, std::FILE* err) : path_(path), err_(err) {
    if (path.empty()) return;
    file_ = path == "-" ? out : std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) Fail(std::strerror(errno));
  }
  ~StreamedOutput() { Close(); }
  StreamedOutput(const StreamedOutput&) = delete;
  StreamedOutput& operator=(const StreamedOutput&) = delete;

  bool wanted() const { return !path_.empty(); }
  bool ok() const { return !failed_; }
  void Write(std::string_view bytes) {
    if (file_ == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
    if (std::fflush(file_) != 0 || std::ferror(file_) != 0) {
      Fail(std::strerror(errno));
      Close();
    }
  }
  void Close() {
    if (file_ != nullptr && path_ != "-" && std::fclose(file_) != 0) Fail(std::strerror(errno));
    file_ = nullptr;
  }

 private:
  void Fail(const char* reason) {
    if (failed_) return;
    failed_ = true;
    Put(err_, "talphex-cli: " + (path_ == "-" ? std::string("standard output") : path_) + ": " +
                  reason + "\n");
  }

  std::string path_;
  std::FILE* err_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

// Standard input and TNC connections: records are written as they are decoded and not kept
// (except up to the record of --tlm), so nothing grows with the input.
int RunStreaming(const CliOptions& options, std::FILE* out, std::FILE* err) {
  const char separator = options.decimal_comma ? ',' : '.';
  DecoderState state;
  state.store_capacity = options.max_records.value_or(
      options.tlm.empty() ? 0 : static_cast<std::size_t>(options.record));
  StreamedOutput beacon_csv(options.csv, out, err);
  StreamedOutput payload_csv(options.payload_csv, out, err);
  StreamedOutput recording(options.record_capture, out, err);
  StreamedOutput analysis_csv(options.analysis_csv, out, err);
  StreamedOutput jsonl(options.jsonl, out, err);
  StreamedOutput influx(options.influx, out, err);
  std::pair<StreamedOutput*, AnalysisWriter> analysis[] = {
      {&analysis_csv, AnalysisWriter(AnalysisFormat::kCsv)},
      {&jsonl, AnalysisWriter(AnalysisFormat::kJsonLines)},
      {&influx, AnalysisWriter(AnalysisFormat::kInflux)},
  };
  StreamedOutput* const outputs[] = {&beacon_csv,   &payload_csv, &recording,
                                     &analysis_csv, &jsonl,       &influx};
  const auto all_ok = [&outputs] {
    return std::all_of(std::begin(outputs), std::end(outputs),
                       [](const StreamedOutput* output) { return output->ok(); });
  };
  if (!all_ok()) return kExitFailure;
  state.keep_duplicate_frames = options.keep_duplicates;
  if (beacon_csv.wanted()) beacon_csv.Write(CsvHeader(Kind::kBeacon));
  if (payload_csv.wanted()) payload_csv.Write(CsvHeader(Kind::kPayload));
  for (auto& [output, writer] : analysis) {
    if (output->wanted()) output->Write(writer.Header());
  }
  std::string line;
  state.record_sink = [&](Kind kind, const TelemetryRecord& record) {
    StreamedOutput& csv = kind == Kind::kBeacon ? beacon_csv : payload_csv;
    if (csv.wanted()) {
      line.clear();
      AppendCsvLine(line, kind, record, separator);
      csv.Write(line);
    }
    for (auto& [output, writer] : analysis) {
      if (!output->wanted()) continue;
      line.clear();
      writer.Append(line, kind, record, state.Count(kind), state.sources.back().name);
      if (!line.empty()) output->Write(line);
    }
  };
  const FrameLogSink log_sink = [out](std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
  };
  const FrameLogSink* log = options.log ? &log_sink : nullptr;

  StreamStop stop(options.seconds);
  const auto frames_done = [&] {
    return options.frames && state.BeaconCount + state.PayloadCount >= *options.frames;
  };
  int status = kExitOk;
  std::int64_t skipped = 0;
  std::string summary;
  const auto read_input = [&](const std::string& name, CaptureScanner::Mode mode,
                              const std::function<std::string(CaptureScanner&)>& run) {
    LoadResult result;
    result.path = name;
    state.InputFilePath = name;
    CaptureScanner scanner(state, result, log, mode);
    scanner.SetFrameLimit(options.frames ? *options.frames - state.BeaconCount - state.PayloadCount
                                         : -1);
    if (const std::string reason = run(scanner); !reason.empty()) {
      result.error = PathError(ErrorKind::kReadFailed, name, reason);
    } else if (mode == CaptureScanner::Mode::kCapture) {
      scanner.Finish();
    }
    skipped += result.skipped_frames;
    if (!result.ok()) {
      Put(err, "talphex-cli: " + result.error->message + "\n");
      status = kExitFailure;
    }
    summary += FileSummary(result);
  };
  const auto feed = [&](CaptureScanner& scanner) {
    return [&scanner, &frames_done](std::span<const std::uint8_t> bytes, std::int64_t received) {
      scanner.Feed(bytes, received);
      return !frames_done();
    };
  };
  if (!options.kiss_tcp.empty()) {
    const Expected<HostPort> where = ParseHostPort(options.kiss_tcp);
    if (!where) {
      Put(err, "talphex-cli: --kiss-tcp " + where.error().message + "\n");
      return kExitUsage;
    }
    read_input(where.value().Text(), CaptureScanner::Mode::kLive, [&](CaptureScanner& scanner) {
      std::string frame;
      scanner.SetFrameSink([&](const LiveFrame& live) {
        frame.assign(live.stamp_part).push_back('\xC0');
        frame.append(live.raw).push_back('\xC0');
        recording.Write(frame);
      });
      const bool connected = ReadKissTcp(
          where.value(), stop, feed(scanner), [&scanner] { return scanner.Restart(); }, err);
      if (!connected) status = kExitFailure;
      return std::string();
    });
  } else {
    for (const std::string& path : options.captures) {
      if (stop.stopped() || frames_done()) break;
      if (path != kStandardInput) {
        state.InputFilePath = path;
        const LoadResult result = LoadCaptureFile(state, path, log);
        skipped += result.skipped_frames;
        if (!result.ok()) {
          Put(err, "talphex-cli: " + result.error->message + "\n");
          status = kExitFailure;
        }
        summary += FileSummary(result);
        continue;
      }
      read_input("standard input", CaptureScanner::Mode::kCapture, [&](CaptureScanner& scanner) {
        return ReadStream(STDIN_FILENO, stop, feed(scanner));
      });
    }
  }
  if (const std::string why = stop.reason(); !why.empty()) summary += "ended: " + why + "\n";
  for (StreamedOutput* output : outputs) output->Close();
  if (!all_ok()) status = kExitFailure;
  ReportLeftOut(options.influx, analysis[2].second.without_time(), err);
  if (!options.tlm.empty()) {
    const RecordView view = BuildRecordView(state, options.record, Kind::kBeacon, separator);
    if (!WriteOutput(options.tlm, out, err,
                     [&](std::FILE* stream) { WriteReport(stream, view); })) {
      status = kExitFailure;
    }
  }
  // Streamed records are written, not kept: no note about records beyond a store's capacity.
  if (!options.max_records) state.store_capacity = 0;
  Put(err, summary + TotalSummary(state, skipped));
  return status;
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  CliOptions options;
  CLI::App app{"Decodes TALPHEX beacon and VAVE payload frames from KISS capture files.",
               "talphex-cli"};
  app.set_version_flag("--version", std::string("talphex-cli ") + TALPHEX_VERSION);
  app.add_option("CAPTURE", options.captures,
                 "KISS capture files (*.kss) or SatNOGS frame exports, loaded in this order; - "
                 "reads standard input as a "
                 "stream");
  app.add_option("--kiss-tcp", options.kiss_tcp,
                 "Decode frames as they arrive from a TNC serving KISS over TCP (Dire Wolf: "
                 "localhost:8001), reconnecting when the connection drops")
      ->type_name("HOST:PORT");
  app.add_option("--frames", options.frames,
                 "With --kiss-tcp or -: end after N decoded frames of both kinds")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  app.add_option("--seconds", options.seconds, "With --kiss-tcp or -: end after S seconds")
      ->type_name("S")
      ->check(CLI::PositiveNumber);
  app.add_option("--record-capture", options.record_capture,
                 "With --kiss-tcp: write every frame to FILE as it arrives, each after a "
                 "timestamp part, as a capture that reloads to the same records")
      ->type_name("FILE");
  app.footer(
      "With --kiss-tcp or - the CSV files are written line by line as records arrive, and the "
      "summary goes to standard error when input ends (end of input, --frames, --seconds, "
      "Ctrl-C or SIGTERM).\nExit status: 0 done, 1 a capture or output failed or no connection "
      "was ever made, 2 usage error.");
  app.add_option("--csv", options.csv, "Write the beacon records as CSV to FILE (- for stdout)")
      ->type_name("FILE");
  app.add_option("--payload-csv", options.payload_csv,
                 "Write the payload records as CSV to FILE (- for stdout)")
      ->type_name("FILE");
  app.add_option("--tlm", options.tlm, "Write the telemetry report of one record to FILE")
      ->type_name("FILE");
  app.add_option("--analysis-csv", options.analysis_csv,
                 "Write every record for analysis tools as comma-separated UTF-8 to FILE")
      ->type_name("FILE");
  app.add_option("--jsonl", options.jsonl, "Write every record as one JSON object a line to FILE")
      ->type_name("FILE");
  app.add_option("--influx", options.influx,
                 "Write every record with a receive time as InfluxDB line protocol to FILE")
      ->type_name("FILE");
  app.add_option("--record", options.record, "Record number of the report (default 1)")
      ->check(CLI::Range(1, 1 << 30));
  app.add_option("--max-records", options.max_records, "Records kept of each kind (default: all)")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--decimal-comma", options.decimal_comma, "Write \",\" as decimal separator");
  app.add_flag("--log", options.log, "Print the frame log");
  app.add_flag("--keep-duplicates", options.keep_duplicates,
               "Decode every frame of SatNOGS frame exports, also one heard by several stations");

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

  if (const std::string problem = UsageProblem(options); !problem.empty()) {
    Put(err, "talphex-cli: " + problem + "\nRun with --help for more information.\n");
    return kExitUsage;
  }
  if (options.Streaming()) return RunStreaming(options, out, err);

  const char separator = options.decimal_comma ? ',' : '.';
  const std::pair<const std::string*, AnalysisFormat> analysis_outputs[] = {
      {&options.analysis_csv, AnalysisFormat::kCsv},
      {&options.jsonl, AnalysisFormat::kJsonLines},
      {&options.influx, AnalysisFormat::kInflux},
  };
  const bool writes_records =
      !options.csv.empty() || !options.payload_csv.empty() || !options.tlm.empty() ||
      std::any_of(std::begin(analysis_outputs), std::end(analysis_outputs),
                  [](const auto& output) { return !output.first->empty(); });
  DecoderState state;
  // The summary needs only counts and time spans, so a plain summary keeps no records.
  state.store_capacity = options.max_records.value_or(writes_records ? kUnlimitedRecords : 0);
  state.keep_duplicate_frames = options.keep_duplicates;

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
  for (const auto& [path, format] : analysis_outputs) {
    if (path->empty()) continue;
    std::int64_t left_out = 0;
    // The format is copied into the lambda: clang 14 (the naming check) cannot capture a binding.
    fail_unless(WriteOutput(*path, out, err, [&, analysis_format = format](std::FILE* stream) {
      left_out = WriteAnalysis(stream, state, analysis_format);
    }));
    if (left_out > 0) {
      Put(err, "talphex-cli: " + *path + ": " + std::to_string(left_out) +
                   " records without a receive time left out\n");
    }
  }
  return status;
}

}  // namespace talphex
