// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/live_input.h"
#include "core/base/output.h"
#include "core/base/text_safety.h"
#include "core/capture/capture_loader.h"
#include "core/capture/capture_recorder.h"
#include "core/capture/frame_merger.h"
#include "core/export/analysis_exports.h"
#include "core/export/export_sink.h"
#include "core/export/exports.h"
#include "core/export/output_plan.h"
#include "core/monitor/alarms.h"
#include "core/monitor/pass_summary.h"
#include "core/view/record_view.h"
#include "core/view/status_texts.h"
#include "net/influx_writer.h"
#include "net/mqtt_publisher.h"
#include "net/mqtt_subscriber.h"
#include "net/sids_submitter.h"

namespace talphex {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// --fail-on's level was reached; a failure (1) or a usage error (2) says more and wins.
constexpr int kExitAlarm = 4;
// How long a run that has ended waits for the broker to take what is still queued.
constexpr std::chrono::seconds kMqttDeliveryWait{10};
// Malformed messages of a merging run said one line each, at most; the rest are counted.
constexpr std::int64_t kMaxMalformedLines = 10;
// How long a run that has ended sends what InfluxDB has not taken; the rest stays spooled.
constexpr std::chrono::seconds kInfluxFinishWait{5};

// Standard output or standard error, every write checked: the first failure's reason is kept.
class Stream {
 public:
  explicit Stream(std::FILE* stream) : stream_(stream) {}
  void Write(std::string_view text) {
    if (!Put(stream_, text)) Fail(std::strerror(errno != 0 ? errno : EIO));
  }
  // Keeps the first reason the stream failed for.
  void Fail(std::string reason) {
    if (reason_.empty()) reason_ = std::move(reason);
  }
  // Flushes; empty when everything reached the stream, else the reason.
  const std::string& Finish() {
    if (std::fflush(stream_) != 0) Fail(std::strerror(errno != 0 ? errno : EIO));
    if (std::ferror(stream_) != 0) Fail(std::strerror(EIO));
    return reason_;
  }

 private:
  std::FILE* stream_;
  std::string reason_;
};

// A frame-log line for the terminal: frame texts come from the radio, so every byte outside
// printable ASCII is escaped; the line end stays.
std::string TerminalLine(std::string_view line) {
  const bool ended = line.size() >= 2 && line.substr(line.size() - 2) == "\r\n";
  return TerminalText(ended ? line.substr(0, line.size() - 2) : line) + (ended ? "\r\n" : "");
}

// One run of the command line: the decoder state, the exports and the planned outputs, shared by
// the batch and the streaming run.
class Run {
 public:
  Run(const CliOptions& options, OutputPlan& plan, Limits limits, std::FILE* out, std::FILE* err,
      Stream& out_stream, Stream& err_stream, std::optional<MqttSettings> mqtt)
      : options_(options),
        plan_(plan),
        out_(out),
        err_(err),
        out_stream_(out_stream),
        err_stream_(err_stream),
        exports_(options.decimal_comma ? ',' : '.', options.record, options.max_records,
                 options.station),
        judge_(std::move(limits)),
        alarms_output_(Output(OutputOption::kAlarms)),
        summarising_(Output(OutputOption::kPassSummary) != nullptr),
        watching_(!judge_.empty() || options.fail_on || summarising_) {
    state_.store_capacity = 0;  // every output takes its records as they come: none is stored
    state_.keep_duplicate_frames = options.keep_duplicates;
    // From the publisher's or subscriber's thread, a line at a time.
    auto events = [this](const std::string& line) { ErrorLine(line); };
    if (mqtt && options.mqtt_subscribe) {
      subscriber_ = std::make_unique<MqttSubscriber>(std::move(*mqtt), *options.mqtt_subscribe,
                                                     std::move(events));
      exports_.AddStationsColumn();
    } else if (mqtt) {
      mqtt_ = std::make_unique<MqttPublisher>(std::move(*mqtt), std::move(events));
    }
    MakeSids();
  }

  int Batch();
  int Streaming();
  // InfluxDB: opens the spool and starts sending before the input is read.
  [[nodiscard]] Status StartInflux();

 private:
  PlannedOutput* Output(OutputOption id) const { return plan_.Find(InfoOf(id).name); }
  // An output's failure: standard output's is said once, at the end, by the caller.
  void Report(const PlannedOutput& output, const Error& error) {
    if (output.to_standard_output()) {
      out_stream_.Fail(error.message.substr(error.message.find(": ") + 2));
    } else {
      Report(error);
    }
  }
  void Report(const Error& error) {
    err_stream_.Write("talphex-cli: " + TerminalText(error.message) + "\n");
    status_ = kExitFailure;
  }
  // Opens the record outputs (all but a recording) and hands their streams to the exports.
  void OpenRecordOutputs();
  // Hands every line written so far on at once; an output that failed gets nothing more.
  void FlushRecordOutputs();
  void ConnectExports();
  // Writes what remains (headers of files without records, the report) and completes every
  // output.
  void FinishOutputs();
  void DiscardOutputs();
  void Load(const std::string& path);
  // `source`: what the analysis exports name as the records' capture, when not `name`.
  void ReadStream(const std::string& name, CaptureScanner::Mode mode,
                  const std::function<std::string(CaptureScanner&)>& read,
                  const std::string& source = {});
  // Hands the bytes read to `scanner` until --frames is reached.
  ByteSink Feed(CaptureScanner& scanner) const;
  void ReadTnc(StreamStop& stop);
  void ReadCaptures(StreamStop& stop);
  bool FramesDone() const {
    return options_.frames && state_.BeaconCount + state_.PayloadCount >= *options_.frames;
  }
  const FrameLogSink* LogSink() const { return options_.log ? &log_sink_ : nullptr; }
  // Every frame read: to the hex dump, to the pass summary for the skipped ones, and to the
  // broker.
  const FrameFactsSink* FactsSink() const {
    return options_.hexdump || summarising_ || mqtt_ || sids_ ? &facts_sink_ : nullptr;
  }
  // Judges the record the state's sink has just been given, writes its alarms and adds it to the
  // pass summary.
  void Watch(Kind kind, const TelemetryRecord& record);
  // Writes the alarm CSV's header once its stream is open.
  void StartAlarms();
  void WritePassSummary();
  // The status of the run: kExitAlarm when --fail-on's level was reached and nothing failed.
  int ExitStatus() const {
    return status_ == kExitOk && options_.fail_on && judge_.worst() >= *options_.fail_on
               ? kExitAlarm
               : status_;
  }
  // The station network: started before the input is read, given what is still queued when it
  // has ended, then its summary line.
  void StartMqtt();
  void PublishRecord(Kind kind, const TelemetryRecord& record, std::string_view source);
  void FinishMqtt();
  // The merging source: frames of every station from the broker, decoded once each in
  // receive-time order, with the stations that heard them.
  void ReadMerged(StreamStop& stop);
  void DecodeMerged(CaptureScanner& scanner, std::vector<MergedFrame>& frames);
  void Malformed(const ArrivedMessage& message, const std::string& reason);
  // One escaped line on standard error, from any thread.
  void ErrorLine(const std::string& line) {
    const std::lock_guard lock(err_mutex_);
    Put(err_, "talphex-cli: " + TerminalText(line) + "\n");
    std::fflush(err_);
  }
  // A sink's summary line, escaped, through the checked standard error stream.
  void SummaryLine(const std::string& line) {
    const std::lock_guard lock(err_mutex_);
    err_stream_.Write("talphex-cli: " + TerminalText(line) + "\n");
  }
  // The recording of a streaming run, checked before any input; false (said) when it cannot be
  // made. Record hands it every frame the scanner takes.
  bool OpenRecording(CaptureRecorder& recorder);
  void Record(CaptureScanner& scanner, CaptureRecorder& recorder);
  // Every record's point to InfluxDB; at the end a bounded wait and the summary line.
  void WriteInflux(Kind kind, const TelemetryRecord& record, std::string_view source);
  void FinishInflux();
  // Frames shared with SatNOGS DB: the submitter made with the run, started before the input is
  // read, offered every frame received live (and those of capture files with --sids-files), given
  // a bounded wait when the input has ended, then its summary line.
  void MakeSids();
  void StartSids() {
    if (sids_) sids_->Start();
  }
  void OfferSids(const FrameFacts& facts);
  void FinishSids();
  // Where the frame log and the hex dump go: batch runs write through the checked stream,
  // streaming runs flush every line so that a slow stream's reader sees it at once.
  void SetPrinter(const std::function<void(std::string_view)>& print);

  const CliOptions& options_;
  OutputPlan& plan_;
  std::FILE* out_;
  std::FILE* err_;
  Stream& out_stream_;
  Stream& err_stream_;
  ExportSink exports_;
  DecoderState state_;
  int status_ = kExitOk;
  std::int64_t skipped_ = 0;
  bool any_read_ = false;
  std::string summary_;
  FrameLogSink log_sink_;
  FrameFactsSink hexdump_sink_;
  FrameFactsSink facts_sink_;
  LimitJudge judge_;
  std::vector<Alarm> alarms_;
  bool alarms_started_ = false;
  std::string alarm_lines_;
  PassSummaryBuilder passes_;
  PlannedOutput* alarms_output_;
  bool summarising_;
  // Whether records are judged or summarised as they come.
  bool watching_;
  std::unique_ptr<MqttPublisher> mqtt_;
  std::mutex err_mutex_;
  AnalysisWriter mqtt_jsonl_{AnalysisFormat::kJsonLines};
  std::array<std::int64_t, 2> mqtt_records_{};
  std::string mqtt_line_;
  std::unique_ptr<MqttSubscriber> subscriber_;
  std::span<const std::string> stations_;  // of the merged frame being decoded
  std::int64_t malformed_ = 0;
  std::string kiss_frame_;
  std::unique_ptr<InfluxWriter> influx_;
  AnalysisWriter influx_points_{AnalysisFormat::kInflux, options_.station};
  std::array<std::int64_t, 2> influx_records_{};
  std::string influx_line_;
  std::unique_ptr<SidsSubmitter> sids_;
  bool reading_file_ = false;  // a capture file is being read, not a TNC or standard input
};

void Run::StartAlarms() {
  if (alarms_started_ || alarms_output_ == nullptr || alarms_output_->stream() == nullptr) return;
  Put(alarms_output_->stream(), kAlarmCsvHeader);
  alarms_started_ = true;
}

void Run::Watch(Kind kind, const TelemetryRecord& record) {
  const std::int64_t number = state_.Count(kind);
  alarms_.clear();
  judge_.Judge(kind, number, record, alarms_);
  if (summarising_) passes_.Add(kind, number, record, alarms_);
  StartAlarms();
  if (alarms_.empty()) return;
  if (alarms_output_ != nullptr && alarms_output_->stream() != nullptr) {
    alarm_lines_.clear();
    for (const Alarm& alarm : alarms_) AppendAlarmCsv(alarm_lines_, alarm);
    Put(alarms_output_->stream(), alarm_lines_);
  }
  if (!options_.Streaming()) return;
  const std::lock_guard lock(err_mutex_);
  for (const Alarm& alarm : alarms_) {
    err_stream_.Write("talphex-cli: alarm: " + TerminalText(AlarmLine(alarm)) + "\n");
  }
  std::fflush(err_);
}

void Run::WritePassSummary() {
  const PlannedOutput* output = Output(OutputOption::kPassSummary);
  if (output == nullptr || output->stream() == nullptr) return;
  const PassSummary& summary = passes_.summary();
  Put(output->stream(), SummaryFormatOf(output->path()) == SummaryFormat::kJson
                            ? PassSummaryJson(summary)
                            : PassSummaryMarkdown(summary));
}

void Run::SetPrinter(const std::function<void(std::string_view)>& print) {
  log_sink_ = [print](std::string_view line) { print(TerminalLine(line)); };
  hexdump_sink_ = [print, dump = std::string()](const FrameFacts& facts) mutable {
    dump.clear();
    AppendFrameDump(dump, facts, 16);
    dump += "\n";
    print(dump);
  };
  facts_sink_ = [this](const FrameFacts& facts) {
    if (options_.hexdump) hexdump_sink_(facts);
    if (mqtt_) {
      mqtt_->Publish(MqttFramesTopic(options_.station),
                     MqttFrameJson(facts, state_.RxMillisecond, options_.station));
    }
    OfferSids(facts);
    switch (facts.result) {
      case FrameResult::kBodyNotDecoded:
        passes_.Skip(SkipReason::kBodyNotDecoded);
        break;
      case FrameResult::kBodyTooLong:
        passes_.Skip(SkipReason::kBodyTooLong);
        break;
      case FrameResult::kPartTooLong:
        passes_.Skip(SkipReason::kPartTooLong);
        break;
      default:
        break;
    }
  };
}

void Run::StartMqtt() {
  if (mqtt_) mqtt_->Start();
}

void Run::PublishRecord(Kind kind, const TelemetryRecord& record, std::string_view source) {
  if (!mqtt_) return;
  mqtt_line_.clear();
  mqtt_jsonl_.Append(mqtt_line_, kind, record, ++mqtt_records_[static_cast<std::size_t>(kind)],
                     source);
  while (!mqtt_line_.empty() && (mqtt_line_.back() == '\n' || mqtt_line_.back() == '\r')) {
    mqtt_line_.pop_back();
  }
  mqtt_->Publish(MqttRecordsTopic(options_.station, kind), mqtt_line_);
}

void Run::FinishMqtt() {
  if (!mqtt_) return;
  mqtt_->WaitDelivered(kMqttDeliveryWait);
  mqtt_->Stop();
  const MqttCounts counts = mqtt_->counts();
  if (counts.waiting > 0) status_ = kExitFailure;
  SummaryLine(MqttSummaryText(*options_.mqtt, counts));
}

Status Run::StartInflux() {
  if (!options_.influx_url) return Ok();
  InfluxWriterSettings settings;
  settings.host = options_.influx_url->host;
  settings.folder = options_.influx_folder;
  influx_ = std::make_unique<InfluxWriter>(
      settings, InfluxHttpSender(*options_.influx_url, options_.influx_token),
      // From the writer's thread or the decoder's, a line at a time.
      [this](const std::string& line) { ErrorLine(line); });
  if (Status opened = influx_->Open(); !opened) return opened;
  influx_->Start();
  return Ok();
}

void Run::WriteInflux(Kind kind, const TelemetryRecord& record, std::string_view source) {
  if (!influx_) return;
  influx_line_.clear();
  influx_points_.Append(influx_line_, kind, record,
                        ++influx_records_[static_cast<std::size_t>(kind)], source);
  if (!influx_line_.empty()) influx_->Add(influx_line_);
}

void Run::FinishInflux() {
  if (!influx_) return;
  influx_->Finish(kInfluxFinishWait);
  const InfluxCounts counts = influx_->counts();
  if (counts.waiting > 0 || counts.rejected > 0 || counts.dropped > 0) status_ = kExitFailure;
  std::string line = InfluxSummaryText(options_.influx_url->host, counts);
  if (const std::string left_out = InfluxLeftOutText(influx_points_.left_out());
      !left_out.empty()) {
    line += "; " + left_out;
  }
  SummaryLine(line);
}

void Run::MakeSids() {
  if (!options_.sids) return;
  // From the submitter's thread, a line at a time.
  sids_ = std::make_unique<SidsSubmitter>(options_.sids->settings,
                                          [this](const std::string& line) { ErrorLine(line); });
}

void Run::OfferSids(const FrameFacts& facts) {
  // Only the satellite's frames go to its entry in the database, not other stations' packets
  // heard on the frequency.
  if (facts.kind == FrameKind::kOther) return;
  if (sids_ && (!reading_file_ || options_.sids->files)) sids_->Offer(facts, state_.RxMillisecond);
}

void Run::FinishSids() {
  if (!sids_) return;
  sids_->WaitSent(options_.sids->wait);
  sids_->Stop();
  const SidsCounts counts = sids_->counts();
  // A frame that did not reach the database fails the run, as an output that failed does.
  if (counts.waiting + counts.rejected + counts.given_up + counts.dropped > 0) {
    status_ = kExitFailure;
  }
  SummaryLine(SidsSummaryText(options_.sids->settings.server, counts));
}

void Run::OpenRecordOutputs() {
  for (const auto& output : plan_.outputs()) {
    if (output->mode() == OutputMode::kRecording || output->opened() || output->failed()) continue;
    if (const Status opened = output->Open(); !opened) Report(*output, opened.error());
  }
  ConnectExports();
}

void Run::ConnectExports() {
  const auto stream = [this](OutputOption id) {
    const PlannedOutput* output = Output(id);
    return output != nullptr ? output->stream() : nullptr;
  };
  exports_.SetCsv(Kind::kBeacon, stream(OutputOption::kCsv));
  exports_.SetCsv(Kind::kPayload, stream(OutputOption::kPayloadCsv));
  exports_.SetAnalysis(AnalysisFormat::kCsv, stream(OutputOption::kAnalysisCsv));
  exports_.SetAnalysis(AnalysisFormat::kJsonLines, stream(OutputOption::kJsonl));
  exports_.SetAnalysis(AnalysisFormat::kInflux, stream(OutputOption::kInflux));
}

void Run::FlushRecordOutputs() {
  for (const auto& output : plan_.outputs()) {
    if (output->mode() != OutputMode::kStreamed || !output->opened()) continue;
    if (const Status flushed = output->Flush(); !flushed) Report(*output, flushed.error());
  }
  ConnectExports();
}

void Run::FinishOutputs() {
  OpenRecordOutputs();
  exports_.WriteHeaders();
  StartAlarms();
  WritePassSummary();
  if (PlannedOutput* tlm = Output(OutputOption::kTlm); tlm != nullptr && tlm->opened()) {
    WriteReport(tlm->stream(), exports_.ReportView());
  }
  if (const PlannedOutput* influx = Output(OutputOption::kInflux); influx != nullptr) {
    if (const std::string left_out = InfluxLeftOutText(exports_.influx_left_out());
        !left_out.empty()) {
      err_stream_.Write("talphex-cli: " + TerminalText(influx->path()) + ": " + left_out + "\n");
    }
  }
  for (const auto& output : plan_.outputs()) {
    if (!output->opened()) continue;
    if (const Status finished = output->Finish(); !finished) Report(*output, finished.error());
  }
}

void Run::DiscardOutputs() {
  for (const auto& output : plan_.outputs()) output->Discard();
}

void Run::Load(const std::string& path) {
  state_.InputFilePath = path;
  reading_file_ = true;
  const LoadResult result = LoadCaptureFile(state_, path, LogSink(), nullptr, FactsSink());
  reading_file_ = false;
  skipped_ += result.skipped_frames;
  if (result.ok()) {
    any_read_ = true;
  } else {
    Report(*result.error);
  }
  summary_ += FileSummaryText(result);
}

int Run::Batch() {
  SetPrinter([this](std::string_view text) { out_stream_.Write(text); });
  // Every output is opened (as a temporary file) before the captures are read, so that records
  // stream into it.
  OpenRecordOutputs();
  if (!plan_.outputs().empty() || watching_ || mqtt_ || influx_) {
    state_.record_sink = [this](Kind kind, const TelemetryRecord& record) {
      const std::string_view source =
          state_.sources.empty() ? std::string_view() : state_.sources.back().name;
      exports_.Take(kind, record, source);
      PublishRecord(kind, record, source);
      WriteInflux(kind, record, source);
      if (watching_) Watch(kind, record);
    };
  }
  StartMqtt();
  StartSids();
  for (const std::string& path : options_.captures) Load(path);
  if (plan_.outputs().empty()) {
    out_stream_.Write(summary_ + TotalSummaryText(state_, skipped_, options_.max_records));
  } else if (any_read_) {
    FinishOutputs();
  } else {
    // With no capture read there is nothing to write: every output stays as it was.
    DiscardOutputs();
  }
  FinishMqtt();
  FinishInflux();
  FinishSids();
  return ExitStatus();
}

void Run::ReadStream(const std::string& name, CaptureScanner::Mode mode,
                     const std::function<std::string(CaptureScanner&)>& read,
                     const std::string& source) {
  LoadResult result;
  result.path = name;
  state_.InputFilePath = name;
  CaptureScanner scanner(state_, result, LogSink(), mode);
  if (!source.empty()) state_.BeginSource(source);
  scanner.SetFrameFactsSink(FactsSink());
  scanner.SetFrameLimit(
      options_.frames ? *options_.frames - state_.BeaconCount - state_.PayloadCount : -1);
  if (const std::string reason = read(scanner); !reason.empty()) {
    result.error = PathError(ErrorKind::kReadFailed, name, reason);
  } else if (mode == CaptureScanner::Mode::kCapture) {
    scanner.Finish();
  }
  skipped_ += result.skipped_frames;
  if (!result.ok()) Report(*result.error);
  summary_ += FileSummaryText(result);
}

ByteSink Run::Feed(CaptureScanner& scanner) const {
  return [this, &scanner](std::span<const std::uint8_t> bytes, std::int64_t received) {
    scanner.Feed(bytes, received);
    return !FramesDone();
  };
}

bool Run::OpenRecording(CaptureRecorder& recorder) {
  const PlannedOutput* recording = Output(OutputOption::kRecordCapture);
  if (recording == nullptr) return true;
  const Status opened = recorder.Open(recording->path());
  if (!opened) Report(opened.error());
  return opened.ok();
}

void Run::Record(CaptureScanner& scanner, CaptureRecorder& recorder) {
  scanner.SetFrameSink([this, &recorder](const LiveFrame& live) {
    // A failed recording is told once and gets nothing more.
    if (recorder.recording() && !recorder.Write(live)) Report(*recorder.error());
  });
}

void Run::ReadTnc(StreamStop& stop) {
  // The recording is checked before connecting and created at the first frame.
  CaptureRecorder recorder;
  if (!OpenRecording(recorder)) return;
  // The records are named after the recording, so that they are one series with those of the
  // recording reopened later; without one, after the connection.
  const std::string source =
      recorder.recording() ? recorder.path() : "tcp:" + options_.kiss_tcp->Text();
  ReadStream(
      options_.kiss_tcp->Text(), CaptureScanner::Mode::kLive,
      [&](CaptureScanner& scanner) {
        Record(scanner, recorder);
        const auto restart = [&scanner] { return scanner.Restart(); };
        if (!ReadKissTcp(*options_.kiss_tcp, stop, Feed(scanner), restart, err_)) {
          status_ = kExitFailure;
        }
        return std::string();
      },
      source);
}

void Run::Malformed(const ArrivedMessage& message, const std::string& reason) {
  ++malformed_;
  if (malformed_ > kMaxMalformedLines) return;
  constexpr std::size_t kTopicShown = 100;
  std::string line = "MQTT " + options_.mqtt->Text() + ": malformed message on " +
                     message.topic.substr(0, kTopicShown) +
                     (message.topic.size() > kTopicShown ? "..." : "") + ": " + reason;
  if (malformed_ == kMaxMalformedLines) line += "; further ones are only counted";
  ErrorLine(line);
}

void Run::DecodeMerged(CaptureScanner& scanner, std::vector<MergedFrame>& frames) {
  for (const MergedFrame& frame : frames) {
    if (FramesDone()) break;
    kiss_frame_.clear();
    AppendMergedKiss(kiss_frame_, frame);
    stations_ = frame.stations;
    scanner.Feed({reinterpret_cast<const std::uint8_t*>(kiss_frame_.data()), kiss_frame_.size()},
                 frame.rx_ms);
  }
  stations_ = {};
  frames.clear();
}

void Run::ReadMerged(StreamStop& stop) {
  CaptureRecorder recorder;
  if (!OpenRecording(recorder)) return;
  const std::string source =
      recorder.recording() ? recorder.path() : "mqtt:" + options_.mqtt->where.Text();
  FrameMerger merger;
  ReadStream(
      options_.mqtt->Text(), CaptureScanner::Mode::kLive,
      [&](CaptureScanner& scanner) {
        Record(scanner, recorder);
        std::vector<ArrivedMessage> arrived;
        std::vector<MergedFrame> merged;
        const auto take = [&] {
          arrived.clear();
          subscriber_->Take(arrived);
          for (const ArrivedMessage& message : arrived) {
            ArrivedFrame frame = FrameOfMessage(message);
            if (frame.frame) {
              (void)merger.Add(std::move(*frame.frame));
            } else {
              Malformed(message, frame.error);
            }
          }
        };
        subscriber_->Start();
        while (!stop.stopped() && !FramesDone()) {
          constexpr std::int64_t kLongestWaitMs = 1000;
          const std::optional<std::int64_t> next = merger.NextReleaseMs();
          stop.WaitReadable(
              subscriber_->wake_fd(),
              next ? std::clamp<std::int64_t>(*next - NowMs(), 0, kLongestWaitMs) : kLongestWaitMs);
          take();
          merger.Release(NowMs(), merged);
          DecodeMerged(scanner, merged);
        }
        // What the broker handed over before the end is decoded, the held frames included.
        subscriber_->Stop();
        take();
        merger.ReleaseAll(merged);
        DecodeMerged(scanner, merged);
        return std::string();
      },
      source);
  if (!subscriber_->ever_connected()) status_ = kExitFailure;
  const MergerCounts& counts = merger.counts();
  ErrorLine("MQTT " + options_.mqtt->Text() + ": " + std::to_string(counts.received) +
            " frames received, " + std::to_string(counts.duplicates) + " duplicates, " +
            std::to_string(malformed_) + " malformed");
}

void Run::ReadCaptures(StreamStop& stop) {
  for (const std::string& path : options_.captures) {
    if (stop.stopped() || FramesDone()) break;
    if (path != kStandardStream) {
      Load(path);
      continue;
    }
    ReadStream("standard input", CaptureScanner::Mode::kCapture, [&](CaptureScanner& scanner) {
      return ::talphex::ReadStream(STDIN_FILENO, stop, Feed(scanner));
    });
  }
}

// Standard input and TNC connections: records are written as they are decoded and not kept
// (only the report's record), so nothing grows with the input. The record outputs are created at
// the first record and the recording at the first frame, so a run that fails before anything
// arrives leaves every file as it was.
int Run::Streaming() {
  if (!plan_.CheckAll([this](const Error& error) { Report(error); })) return status_;
  SetPrinter([this](std::string_view text) {
    Put(out_, text);
    std::fflush(out_);
  });
  bool any_record = false;
  state_.record_sink = [&](Kind kind, const TelemetryRecord& record) {
    if (!any_record) {
      OpenRecordOutputs();
      // The headers before the first record, as a batch run writes them.
      exports_.WriteHeaders();
      any_record = true;
    }
    exports_.Take(kind, record, state_.sources.back().name, stations_);
    if (watching_) Watch(kind, record);
    FlushRecordOutputs();
    PublishRecord(kind, record, state_.sources.back().name);
    WriteInflux(kind, record, state_.sources.back().name);
  };
  StartMqtt();
  StartSids();
  StreamStop stop(options_.seconds);
  if (options_.kiss_tcp) {
    ReadTnc(stop);
  } else if (subscriber_) {
    ReadMerged(stop);
  } else {
    ReadCaptures(stop);
  }
  if (const std::string why = stop.reason(); !why.empty()) summary_ += "ended: " + why + "\n";
  // A run that ended as asked writes its files as a batch run would, also with no record.
  if (any_record || status_ == kExitOk) {
    FinishOutputs();
  } else {
    DiscardOutputs();
  }
  err_stream_.Write(summary_ + TotalSummaryText(state_, skipped_, options_.max_records));
  FinishMqtt();
  FinishInflux();
  FinishSids();
  return ExitStatus();
}

// The folder of InfluxDB's spool and rejected batches, made when missing, and the spool planned
// with the run's outputs so that no input or output can be it (the writer opens it itself, and
// creates rejected files only as new files). A problem is a message for standard error.
std::string PrepareInfluxFolder(const CliOptions& options, std::FILE* out) {
  if (!options.influx_url) return "";
  std::error_code error;
  std::filesystem::create_directories(options.influx_folder, error);
  if (error) {
    return "--influx-url: cannot make the folder " + options.influx_folder + ": " + error.message();
  }
  std::vector<PlannedOutputRequest> outputs = options.PlanOutputs();
  outputs.push_back(
      {"--influx-url", options.influx_folder + "/" + kInfluxSpoolName, OutputMode::kStreamed});
  Expected<std::unique_ptr<OutputPlan>> plan =
      OutputPlan::Make(options.PlanInputs(), std::move(outputs), out);
  if (!plan) return plan.error().message;
  const Status checked = plan.value()->Find("--influx-url")->Check();
  return checked ? "" : "--influx-url: " + checked.error().message;
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  Stream out_stream(out);
  Stream err_stream(err);
  // Standard output failing (a full disk, a closed descriptor) fails the run, said once.
  const auto finish = [&](int status) {
    if (const std::string& reason = out_stream.Finish(); !reason.empty()) {
      err_stream.Write("talphex-cli: " + PathMessage("standard output", reason) + "\n");
      status = kExitFailure;
    }
    return err_stream.Finish().empty() ? status : kExitFailure;
  };
  const Expected<CliOptions> parsed = ParseCommandLine(argc, argv);
  if (!parsed) {
    err_stream.Write(parsed.error().message);
    return finish(kExitUsage);
  }
  const CliOptions& options = parsed.value();
  if (!options.early_output.empty()) {
    out_stream.Write(options.early_output);
    return finish(kExitOk);
  }
  // Every output is planned, and checked against the inputs and each other, before any is opened.
  Expected<std::unique_ptr<OutputPlan>> plan =
      OutputPlan::Make(options.PlanInputs(), options.PlanOutputs(), out);
  std::string problem = plan ? "" : plan.error().message;
  if (plan && options.hexdump) {
    for (const auto& output : plan.value()->outputs()) {
      if (output->to_standard_output()) {
        problem = "--hexdump writes to standard output, so no output can be - with it";
      }
    }
  }
  if (const std::optional<std::string>& summary = options.Output(OutputOption::kPassSummary);
      problem.empty() && summary && !SummaryFormatOf(*summary)) {
    problem =
        "--pass-summary " + *summary + ": the file name must end in .md (Markdown) or .json (JSON)";
  }
  if (problem.empty()) problem = PrepareInfluxFolder(options, out);
  if (!problem.empty()) {
    err_stream.Write("talphex-cli: " + TerminalText(problem) + "\n");
    return finish(kExitUsage);
  }
  // The limits are read before any output is opened: a bad file is a usage error.
  Limits limits;
  if (options.limits) {
    Expected<Limits> read = ReadLimitsFile(*options.limits);
    if (!read) {
      err_stream.Write("talphex-cli: " + TerminalText(read.error().message) + "\n");
      return finish(kExitUsage);
    }
    limits = std::move(read.value());
  }
  // The broker's credentials are read before anything is opened; a file that cannot give them
  // is a usage error.
  std::optional<MqttSettings> mqtt;
  if (options.mqtt) {
    const auto credentials =
        ReadMqttCredentials(options.mqtt_password_file, std::getenv("TALPHEX_MQTT_USER"),
                            std::getenv("TALPHEX_MQTT_PASSWORD"));
    if (!credentials) {
      err_stream.Write("talphex-cli: " +
                       TerminalText((options.mqtt_password_file ? "--mqtt-password-file: " : "") +
                                    credentials.error().message) +
                       "\n");
      return finish(kExitUsage);
    }
    mqtt = MqttSettings{*options.mqtt, options.station, credentials.value(),
                        options.mqtt_ca.value_or("")};
  }
  Run run(options, *plan.value(), std::move(limits), out, err, out_stream, err_stream,
          std::move(mqtt));
  if (const Status started = run.StartInflux(); !started) {
    err_stream.Write("talphex-cli: --influx-url: " + TerminalText(started.error().message) + "\n");
    return finish(kExitUsage);
  }
  return finish(options.Streaming() ? run.Streaming() : run.Batch());
}

}  // namespace talphex
