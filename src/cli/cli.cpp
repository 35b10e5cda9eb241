// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/live_input.h"
#include "core/base/output.h"
#include "core/base/text_safety.h"
#include "core/capture/capture_loader.h"
#include "core/capture/capture_recorder.h"
#include "core/export/analysis_exports.h"
#include "core/export/atomic_file.h"
#include "core/export/export_sink.h"
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
  bool hexdump = false;
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
    Put(err, "talphex-cli: " + PathMessage("standard output", std::strerror(errno)) + "\n");
    return false;
  }
  const Status written = WriteFileAtomically(path, write);
  if (written) return true;
  Put(err, "talphex-cli: " + TerminalText(written.error().message) + "\n");
  return false;
}

// Standard output or standard error, every write checked: the first failure's reason is kept.
class Stream {
 public:
  explicit Stream(std::FILE* stream) : stream_(stream) {}
  void Write(std::string_view text) {
    if (!Put(stream_, text) && error_ == 0) error_ = errno != 0 ? errno : EIO;
  }
  std::FILE* get() const { return stream_; }
  // Flushes; 0 when everything reached the stream, else the reason.
  int Finish() {
    if (std::fflush(stream_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
    if (std::ferror(stream_) != 0 && error_ == 0) error_ = EIO;
    return error_;
  }

 private:
  std::FILE* stream_;
  int error_ = 0;
};

// One output of the command line: standard output for "-", else a file written atomically.
struct Output {
  const char* option;
  std::string path;
  std::unique_ptr<AtomicFile> file;
  std::FILE* stream = nullptr;
};

// Empty paths and two outputs naming one file are usage errors; the text says which, or is
// empty.
std::string OutputUsageError(const std::vector<Output>& outputs) {
  for (const Output& output : outputs) {
    if (output.path.empty()) return std::string(output.option) + ": the output path is empty";
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (std::size_t j = i + 1; j < outputs.size(); ++j) {
      struct stat a {
      }, b{};
      const bool same_file = ::stat(outputs[i].path.c_str(), &a) == 0 &&
                             ::stat(outputs[j].path.c_str(), &b) == 0 && S_ISREG(a.st_mode) &&
                             a.st_dev == b.st_dev && a.st_ino == b.st_ino;
      if (outputs[i].path == outputs[j].path || same_file) {
        return std::string(outputs[i].option) + " and " + outputs[j].option +
               " name the same file: " + TerminalText(outputs[j].path);
      }
    }
  }
  return {};
}

// A frame-log line for the terminal: frame texts come from the radio, so every byte outside
// printable ASCII is escaped; the line end stays.
std::string TerminalLine(std::string_view line) {
  const bool ended = line.size() >= 2 && line.substr(line.size() - 2) == "\r\n";
  return TerminalText(ended ? line.substr(0, line.size() - 2) : line) + (ended ? "\r\n" : "");
}

// Prints each frame as it is read: its facts, then its bytes and its decoded body as hex.
FrameFactsSink HexDumpSink(std::function<void(std::string_view)> write) {
  return [write = std::move(write), dump = std::string()](const FrameFacts& facts) mutable {
    dump.clear();
    AppendFrameDump(dump, facts, 16);
    dump += "\n";
    write(dump);
  };
}

std::string FileSummary(const LoadResult& result) {
  std::string text = TerminalText(result.path) + ": " + std::to_string(result.beacon_frames) +
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

std::string TotalSummary(const DecoderState& state, std::int64_t skipped,
                         std::optional<std::size_t> max_records) {
  std::string text = "total: " + std::to_string(state.BeaconCount) + " beacon frames, " +
                     std::to_string(state.PayloadCount) + " payload frames, " +
                     std::to_string(skipped) + " skipped\n";
  for (Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    const auto index = static_cast<std::size_t>(kind);
    const bool stamped = !state.first_rx_time[index].empty() || !state.last_rx_time[index].empty();
    text += kind == Kind::kBeacon ? "beacon " : "payload ";
    if (state.Count(kind) == 0) {
      text += "time span: none\n";
    } else if (!stamped) {
      text += "time span: no timestamp received\n";
    } else {
      text += TimeSpanText(state, kind) + "\n";
    }
    if (max_records) {
      const std::int64_t kept =
          std::min(state.Count(kind), static_cast<std::int64_t>(*max_records));
      const std::string not_kept = NotKeptText(kind, state.Count(kind), kept, "--max-records");
      if (!not_kept.empty()) text += "  " + not_kept + "\n";
    }
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
  const std::string* const outputs[] = {&options.csv, &options.payload_csv, &options.analysis_csv,
                                        &options.jsonl, &options.influx};
  if (!options.record_capture.empty() && options.kiss_tcp.empty()) {
    return "--record-capture needs --kiss-tcp";
  }
  if (options.hexdump && std::count_if(std::begin(outputs), std::end(outputs),
                                       [](auto* path) { return *path == kStandardInput; }) +
                                 (options.tlm == "-") >
                             0) {
    return "--hexdump writes to standard output, so no output can be - with it";
  }
  if (options.Streaming() && options.csv == "-" && options.payload_csv == "-") {
    return "--csv and --payload-csv cannot both write to standard output";
  }
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
  // Where the export sink writes; null when not wanted or failed.
  std::FILE* file() const { return file_; }
  void Write(std::string_view bytes) {
    if (file_ == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
    Flush();
  }
  // Hands what was written on to the reader at once.
  void Flush() {
    if (file_ == nullptr) return;
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
// (only the report's record), so nothing grows with the input.
int RunStreaming(const CliOptions& options, std::FILE* out, std::FILE* err) {
  const char separator = options.decimal_comma ? ',' : '.';
  DecoderState state;
  state.store_capacity = 0;
  StreamedOutput beacon_csv(options.csv, out, err);
  StreamedOutput payload_csv(options.payload_csv, out, err);
  StreamedOutput recording(options.record_capture, out, err);
  StreamedOutput analysis_csv(options.analysis_csv, out, err);
  StreamedOutput jsonl(options.jsonl, out, err);
  StreamedOutput influx(options.influx, out, err);
  StreamedOutput* const outputs[] = {&beacon_csv,   &payload_csv, &recording,
                                     &analysis_csv, &jsonl,       &influx};
  const auto all_ok = [&outputs] {
    return std::all_of(std::begin(outputs), std::end(outputs),
                       [](const StreamedOutput* output) { return output->ok(); });
  };
  if (!all_ok()) return kExitFailure;
  state.keep_duplicate_frames = options.keep_duplicates;
  ExportSink exports(separator, options.record, options.max_records);
  // Every line reaches its reader at once; an output that failed is closed and gets no more.
  const auto flush = [&] {
    for (StreamedOutput* output : outputs) output->Flush();
    exports.SetCsv(Kind::kBeacon, beacon_csv.file());
    exports.SetCsv(Kind::kPayload, payload_csv.file());
    exports.SetAnalysis(AnalysisFormat::kCsv, analysis_csv.file());
    exports.SetAnalysis(AnalysisFormat::kJsonLines, jsonl.file());
    exports.SetAnalysis(AnalysisFormat::kInflux, influx.file());
  };
  flush();
  // The headers at once, so that a reader of a slow stream knows the columns from the start.
  exports.WriteHeaders();
  flush();
  state.record_sink = [&](Kind kind, const TelemetryRecord& record) {
    exports.Take(kind, record, state.sources.back().name);
    flush();
  };
  const FrameLogSink log_sink = [out](std::string_view text) {
    Put(out, TerminalLine(text));
    std::fflush(out);
  };
  const FrameLogSink* log = options.log ? &log_sink : nullptr;
  const FrameFactsSink hexdump_sink = HexDumpSink([out](std::string_view text) {
    Put(out, text);
    std::fflush(out);
  });
  const FrameFactsSink* hexdump = options.hexdump ? &hexdump_sink : nullptr;

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
    scanner.SetFrameFactsSink(hexdump);
    scanner.SetFrameLimit(options.frames ? *options.frames - state.BeaconCount - state.PayloadCount
                                         : -1);
    if (const std::string reason = run(scanner); !reason.empty()) {
      result.error = PathError(ErrorKind::kReadFailed, name, reason);
    } else if (mode == CaptureScanner::Mode::kCapture) {
      scanner.Finish();
    }
    skipped += result.skipped_frames;
    if (!result.ok()) {
      Put(err, "talphex-cli: " + TerminalText(result.error->message) + "\n");
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
        frame.clear();
        AppendRecordedFrame(frame, live);
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
        const LoadResult result = LoadCaptureFile(state, path, log, nullptr, hexdump);
        skipped += result.skipped_frames;
        if (!result.ok()) {
          Put(err, "talphex-cli: " + TerminalText(result.error->message) + "\n");
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
  ReportLeftOut(options.influx, exports.influx_without_time(), err);
  if (!options.tlm.empty()) {
    if (!WriteOutput(options.tlm, out, err,
                     [&](std::FILE* stream) { WriteReport(stream, exports.ReportView()); })) {
      status = kExitFailure;
    }
  }
  Put(err, summary + TotalSummary(state, skipped, options.max_records));
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
  app.add_flag("--hexdump", options.hexdump,
               "Print every frame as read: receive time, kind, AX.25 source > destination, "
               "length, result, then its bytes and its decoded body as hex dumps");
  app.add_flag("--keep-duplicates", options.keep_duplicates,
               "Decode every frame of SatNOGS frame exports, also one heard by several stations");

  Stream out_stream(out);
  Stream err_stream(err);
  // Standard output failing (a full disk, a closed descriptor) fails the run.
  auto finish = [&](int status) {
    if (const int error = out_stream.Finish(); error != 0) {
      err_stream.Write("talphex-cli: " + PathMessage("standard output", std::strerror(error)) +
                       "\n");
      status = kExitFailure;
    }
    return err_stream.Finish() != 0 ? kExitFailure : status;
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    std::ostringstream out_text;
    std::ostringstream err_text;
    const int code = app.exit(e, out_text, err_text);
    out_stream.Write(out_text.str());
    err_stream.Write(err_text.str());
    return finish(code == 0 ? kExitOk : kExitUsage);
  }

  std::vector<Output> outputs;
  for (const auto& [option, path] :
       {std::pair<const char*, const std::string*>{"--csv", &options.csv},
        {"--payload-csv", &options.payload_csv},
        {"--tlm", &options.tlm},
        {"--analysis-csv", &options.analysis_csv},
        {"--jsonl", &options.jsonl},
        {"--influx", &options.influx}}) {
    if (app.count(option) > 0) outputs.push_back({option, *path, nullptr, nullptr});
  }
  if (const std::string usage = OutputUsageError(outputs); !usage.empty()) {
    err_stream.Write("talphex-cli: " + usage + "\n");
    return finish(kExitUsage);
  }
  if (const std::string problem = UsageProblem(options); !problem.empty()) {
    err_stream.Write("talphex-cli: " + problem + "\nRun with --help for more information.\n");
    return finish(kExitUsage);
  }
  if (options.Streaming()) return finish(RunStreaming(options, out, err));

  int status = kExitOk;
  auto report = [&](const Error& error) {
    err_stream.Write("talphex-cli: " + TerminalText(error.message) + "\n");
    status = kExitFailure;
  };
  // Every output is opened before the captures are read, so that records stream into it.
  for (Output& output : outputs) {
    if (output.path == "-") {
      output.stream = out;
      continue;
    }
    output.file = std::make_unique<AtomicFile>(output.path);
    if (const Status opened = output.file->Open(); !opened) {
      report(opened.error());
      output.file.reset();
      continue;
    }
    output.stream = output.file->stream();
  }
  auto stream_of = [&outputs](const char* option) -> std::FILE* {
    for (const Output& output : outputs) {
      if (output.option == std::string_view(option)) return output.stream;
    }
    return nullptr;
  };

  const char separator = options.decimal_comma ? ',' : '.';
  ExportSink exports(separator, options.record, options.max_records);
  exports.SetCsv(Kind::kBeacon, stream_of("--csv"));
  exports.SetCsv(Kind::kPayload, stream_of("--payload-csv"));
  exports.SetAnalysis(AnalysisFormat::kCsv, stream_of("--analysis-csv"));
  exports.SetAnalysis(AnalysisFormat::kJsonLines, stream_of("--jsonl"));
  exports.SetAnalysis(AnalysisFormat::kInflux, stream_of("--influx"));
  DecoderState state;
  // Every output takes its records from the export sink as they are decoded: none is stored.
  state.store_capacity = 0;
  state.keep_duplicate_frames = options.keep_duplicates;
  if (!outputs.empty()) {
    state.record_sink = [&exports, &state](Kind kind, const TelemetryRecord& record) {
      exports.Take(kind, record,
                   state.sources.empty() ? std::string_view() : state.sources.back().name);
    };
  }

  FrameLogSink log_sink = [&out_stream](std::string_view line) {
    out_stream.Write(TerminalLine(line));
  };
  const FrameFactsSink hexdump_sink =
      HexDumpSink([&out_stream](std::string_view text) { out_stream.Write(text); });
  std::int64_t skipped = 0;
  bool any_read = false;
  std::string summary;
  for (const std::string& path : options.captures) {
    state.InputFilePath = path;
    const LoadResult result = LoadCaptureFile(state, path, options.log ? &log_sink : nullptr,
                                              nullptr, options.hexdump ? &hexdump_sink : nullptr);
    skipped += result.skipped_frames;
    if (result.ok()) {
      any_read = true;
    } else {
      report(*result.error);
    }
    summary += FileSummary(result);
  }

  if (outputs.empty()) {
    out_stream.Write(summary + TotalSummary(state, skipped, options.max_records));
    return finish(status);
  }
  // With no capture read there is nothing to write: every output stays as it was.
  if (!any_read) return finish(status);
  exports.WriteHeaders();
  if (std::FILE* tlm = stream_of("--tlm"); tlm != nullptr) WriteReport(tlm, exports.ReportView());
  for (const Output& output : outputs) {
    if (output.option == std::string_view("--influx")) {
      ReportLeftOut(output.path, exports.influx_without_time(), err);
    }
  }
  for (Output& output : outputs) {
    if (!output.file) continue;
    if (const Status committed = output.file->Commit(); !committed) report(committed.error());
  }
  return finish(status);
}

}  // namespace talphex
