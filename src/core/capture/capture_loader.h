// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.h"
#include "core/capture/frame_facts.h"
#include "core/capture/kiss_stream.h"
#include "core/capture/satnogs_frames.h"
#include "core/decode/decoder_state.h"

namespace talphex {

// Receives every frame-log line, CR LF included: the marker and body text of each recognised
// frame, and a note for each frame that was skipped.
using FrameLogSink = std::function<void(std::string_view line)>;

struct LoadWarning {
  SkipReason kind;
  std::string file;      // the path as given: a terminal shows it through TerminalText
  std::uint64_t offset;  // byte offset of the part in the file
  std::string detail;    // the program's own words and numbers, never bytes of the capture
};

// What one capture file gave. `error` is empty when the file was read to its end.
struct [[nodiscard]] LoadResult {
  std::string path;
  std::optional<Error> error;
  std::int64_t beacon_frames = 0;   // beacon frames decoded (stored or not)
  std::int64_t payload_frames = 0;  // payload frames decoded (stored or not)
  std::int64_t skipped_frames = 0;
  std::array<std::int64_t, kSkipReasons> skipped_by_reason{};
  std::vector<LoadWarning> warnings;  // the first kMaxWarnings of the skipped frames
  // SatNOGS frame exports: frames among the last ones read by the same open command (see
  // RecentFrames), and lines that are not frames, the first kMaxLineNotes of them named as
  // "line N: reason" (the program's own words).
  bool satnogs = false;
  std::int64_t duplicate_frames = 0;
  std::int64_t malformed_lines = 0;
  std::vector<std::string> line_notes;
  // Read to its end with text in it, but neither a SatNOGS export nor a KISS capture with a
  // frame: said as "PATH: " kUnrecognisedCaptureText.
  bool unrecognised = false;
  bool cancelled = false;  // stopped by the progress callback before the end
  bool ok() const { return !error; }
};

// Called after each piece of a file with the bytes read so far; false stops loading there.
using LoadProgress = std::function<bool(std::uint64_t bytes_read)>;

inline constexpr std::string_view kUnrecognisedCaptureText = "no KISS frames and no SatNOGS lines";

inline constexpr std::size_t kMaxWarnings = 100;
inline constexpr std::size_t kMaxLineNotes = 10;
// A part of this size, counted before unescaping, carries a receive time: one byte, the 19
// characters "YYYY-MM-DD hh:mm:ss", eight more bytes (".mmm UTC" when this program writes it).
inline constexpr std::size_t kTimestampPartSize = 28;
// A part of 9 unescaped bytes starting with this one carries milliseconds since 1970-01-01 UTC,
// big-endian, as gr-satellites sends them.
inline constexpr std::uint8_t kMillisecondStampCommand = 0x09;

// "YYYY-MM-DD hh:mm:ss" (UTC, seconds truncated) of a time in milliseconds since 1970.
std::string UtcTimeText(std::int64_t milliseconds);
// The 28-byte timestamp part this program writes before each recorded frame: 0x00, the time as
// "YYYY-MM-DD hh:mm:ss", then ".mmm UTC".
std::string TimestampPart(std::int64_t milliseconds);

// A frame of a live stream as it came, with the timestamp part that stamps it (the one that came
// just before it, or one made from the receive time); recording writes both.
struct LiveFrame {
  std::string_view stamp_part;
  std::string_view raw;  // escapes included, no delimiters
};
using LiveFrameSink = std::function<void(const LiveFrame& frame)>;

// Decodes every beacon and payload frame of a byte stream fed in pieces into the state's stores.
//
// A capture (a file or standard input) keeps the file rules: every part closed by a delimiter is
// searched for the markers, and the last timestamp part stamps every frame after it, across files.
// A capture whose first non-blank line is a SatNOGS frame line is read line by line instead: each
// line's frame is searched like a part and stamped with the line's time.
// A live stream (a TNC connection) drops the bytes before the first delimiter and a frame cut off
// by a dropped connection, and stamps a frame only with the timestamp part right before it, else
// with its receive time.
class CaptureScanner {
 public:
  enum class Mode { kCapture, kLive };

  // Begins a source in the state named by `result.path`.
  CaptureScanner(DecoderState& state, LoadResult& result, const FrameLogSink* frame_log,
                 Mode mode = Mode::kCapture);
  // `received_ms`, milliseconds since 1970 UTC, stamps the frames of a live stream.
  void Feed(std::span<const std::uint8_t> bytes, std::int64_t received_ms = 0);
  // The end of a capture: a last SatNOGS line without a line end is read, and a capture that
  // held text but no frame is marked unrecognised.
  void Finish();
  // The connection ended: the frame in progress is dropped. Returns its bytes so far.
  std::uint64_t Restart();
  // Stops reading once this many frames of both kinds have been decoded; -1 for no limit.
  void SetFrameLimit(std::int64_t frames) { frame_limit_ = frames; }
  // Live streams: receives every frame that is not a timestamp, as it is decoded.
  void SetFrameSink(LiveFrameSink sink) { frame_sink_ = std::move(sink); }
  // Receives the facts of every frame that is not a timestamp part, as it is met.
  void SetFrameFactsSink(const FrameFactsSink* sink) { facts_sink_ = sink; }

 private:
  enum class Format { kUndecided, kKiss, kSatnogs };

  void Decide(Format format);
  void ProcessPart(const KissPart& part, std::int64_t received_ms);
  void ProcessLine(const TextLine& line);
  void MalformedLine(std::uint64_t number, SatnogsLineError error);
  void DecodeFrame(std::string_view frame, std::uint64_t offset, bool timestamp = false);
  bool TakeTimestamp(const KissPart& part);
  // `body`: the frame's bytes after the first occurrence of `marker`.
  FrameResult DecodeBody(std::string_view body, std::string_view marker, std::uint64_t offset);
  void Report(std::string_view frame, std::uint64_t length, std::uint64_t offset, FrameKind kind,
              FrameResult result);
  void Skip(SkipReason reason, std::uint64_t offset, std::string detail);
  void Log(std::string_view marker, std::string_view body);

  DecoderState& state_;
  LoadResult& result_;
  const FrameLogSink* frame_log_;
  Mode mode_;
  KissStreamDecoder kiss_;
  KissPartSink part_sink_;
  Format format_;
  std::string start_;        // the capture's first bytes while its format is undecided
  bool has_text_ = false;    // bytes other than blank lines came before the format was decided
  bool kiss_frame_ = false;  // a KISS part that is not a timestamp was met
  LineSplitter lines_;
  TextLineSink line_sink_;
  std::string line_time_;
  std::string line_bytes_;
  LiveFrameSink frame_sink_;
  const FrameFactsSink* facts_sink_ = nullptr;
  std::int64_t received_ms_ = 0;
  std::int64_t frame_limit_ = -1;
  std::string stamp_part_;  // live: the timestamp part just met, empty once a frame took it
  // Bytes of FrameBytes that may hold an earlier body; at first all of them, since the state
  // may hold a body of an earlier file.
  std::size_t body_length_ = kFrameBytesSize;
};

// Loads one capture file into `state`: one streaming pass, counts go on from where they are.
LoadResult LoadCaptureFile(DecoderState& state, const std::string& path,
                           const FrameLogSink* frame_log = nullptr,
                           const LoadProgress* progress = nullptr,
                           const FrameFactsSink* frame_facts = nullptr);

// The same for bytes already in memory; `name` stands for the file in warnings.
LoadResult LoadCaptureBytes(DecoderState& state, std::span<const std::uint8_t> bytes,
                            const std::string& name, const FrameLogSink* frame_log = nullptr);

}  // namespace talphex
