// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/capture_loader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/base/regular_file.h"
#include "core/base/text_safety.h"
#include "core/capture/ascii85.h"
#include "core/decode/field_readers.h"
#include "core/decode/frame_decoders.h"

namespace talphex {
namespace {

constexpr std::size_t kReadChunk = 256 * 1024;

int MillisecondOf(std::int64_t milliseconds) {
  return static_cast<int>(((milliseconds % 1000) + 1000) % 1000);
}

// The ".mmm" after the seconds of a timestamp part as this program's recorder writes it; -1 when
// the part holds anything else there.
int TimestampPartMillisecond(std::string_view text) {
  if (text.size() < 24 || text[20] != '.') return -1;
  int millisecond = 0;
  for (std::size_t i = 21; i < 24; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    millisecond = millisecond * 10 + (text[i] - '0');
  }
  return millisecond;
}

// Whether the start of a capture holds more than a byte-order mark and blank lines.
bool HasText(std::string_view start) {
  if (start.starts_with(kUtf8ByteOrderMark)) start.remove_prefix(kUtf8ByteOrderMark.size());
  return start.find_first_not_of(" \t\r\n") != std::string_view::npos;
}

}  // namespace

std::string UtcTimeText(std::int64_t milliseconds) {
  const std::int64_t seconds =
      milliseconds >= 0 ? milliseconds / 1000 : -((-milliseconds + 999) / 1000);
  const DateTime t = PosixToDateTime(seconds);
  char text[64];
  const int length =
      std::snprintf(text, sizeof text, "%04lld-%02d-%02d %02d:%02d:%02d",
                    static_cast<long long>(t.year), t.month, t.day, t.hour, t.minute, t.second);
  return std::string(text, static_cast<std::size_t>(length));
}

std::string TimestampPart(std::int64_t milliseconds) {
  char fraction[16];
  std::snprintf(fraction, sizeof fraction, ".%03d UTC", MillisecondOf(milliseconds));
  std::string part(1, '\0');
  part.append(UtcTimeText(milliseconds)).append(fraction);
  return part;
}

CaptureScanner::CaptureScanner(DecoderState& state, LoadResult& result,
                               const FrameLogSink* frame_log, Mode mode)
    : state_(state),
      result_(result),
      frame_log_(frame_log),
      mode_(mode),
      kiss_(mode == Mode::kLive ? KissStreamDecoder::Start::kLiveStream
                                : KissStreamDecoder::Start::kCaptureFile),
      part_sink_([this](const KissPart& part) { ProcessPart(part, received_ms_); }),
      format_(mode == Mode::kLive ? Format::kKiss : Format::kUndecided),
      line_sink_([this](const TextLine& line) { ProcessLine(line); }) {
  state_.BeginSource(result_.path);
}

void CaptureScanner::Feed(std::span<const std::uint8_t> bytes, std::int64_t received_ms) {
  received_ms_ = received_ms;
  if (format_ == Format::kUndecided) {
    // A first piece that tells the format is read where it is; only an undecided start is kept.
    const std::string_view piece(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const bool kept = !start_.empty();
    if (kept) start_.append(piece);
    const std::string_view seen = kept ? std::string_view(start_) : piece;
    const SatnogsGuess guess = GuessSatnogs(seen);
    if (guess == SatnogsGuess::kUndecided && seen.size() <= kMaxPartBytes) {
      if (!kept) start_.assign(piece);
      return;
    }
    has_text_ = guess != SatnogsGuess::kUndecided || HasText(seen);
    Decide(guess == SatnogsGuess::kSatnogs ? Format::kSatnogs : Format::kKiss);
    if (!kept) Feed(bytes, received_ms);
    return;
  }
  if (format_ == Format::kSatnogs) {
    lines_.Feed(bytes, line_sink_);
  } else {
    kiss_.Feed(bytes, part_sink_);
  }
}

// Feeds the bytes held while the format was undecided.
void CaptureScanner::Decide(Format format) {
  format_ = format;
  result_.satnogs = format == Format::kSatnogs;
  const std::string start = std::move(start_);
  start_.clear();
  Feed({reinterpret_cast<const std::uint8_t*>(start.data()), start.size()}, received_ms_);
}

void CaptureScanner::Finish() {
  if (format_ == Format::kUndecided) {
    has_text_ = HasText(start_);
    Decide(Format::kKiss);
  }
  if (format_ == Format::kSatnogs) lines_.Finish(line_sink_);
  if (format_ == Format::kKiss && mode_ == Mode::kCapture && has_text_ && !kiss_frame_) {
    result_.unrecognised = true;
    if (frame_log_ != nullptr && *frame_log_) {
      (*frame_log_)("-- " + result_.path + ": " + std::string(kUnrecognisedCaptureText) + "\r\n");
    }
  }
}

std::uint64_t CaptureScanner::Restart() {
  stamp_part_.clear();
  return kiss_.Restart();
}

// A 28-byte part or a 9-byte millisecond stamp sets RxTimestamp; true for either.
bool CaptureScanner::TakeTimestamp(const KissPart& part) {
  if (part.raw_size == kTimestampPartSize) {
    AssignSafeTimestamp(state_.RxTimestamp, part.text.substr(1, 19));
    state_.RxMillisecond = TimestampPartMillisecond(part.text);
    if (mode_ == Mode::kLive) stamp_part_.assign(part.raw);
    return true;
  }
  if (part.text.size() != 9 ||
      static_cast<std::uint8_t>(part.text[0]) != kMillisecondStampCommand) {
    return false;
  }
  std::uint64_t milliseconds = 0;
  for (std::size_t i = 1; i < 9; ++i) {
    milliseconds = milliseconds << 8 | static_cast<std::uint8_t>(part.text[i]);
  }
  // Beyond the year 9999 the time no longer fits the 19 characters of a receive time.
  constexpr std::uint64_t kLastMillisecond = 253402300799999;
  if (milliseconds > kLastMillisecond) return false;
  const auto ms = static_cast<std::int64_t>(milliseconds);
  state_.RxTimestamp = UtcTimeText(ms);
  state_.RxMillisecond = MillisecondOf(ms);
  if (mode_ == Mode::kLive) stamp_part_ = TimestampPart(ms);
  return true;
}

void CaptureScanner::ProcessPart(const KissPart& part, std::int64_t received_ms) {
  if (part.raw_size == 0) return;
  if (part.too_long) {
    kiss_frame_ = true;
    Skip(SkipReason::kPartTooLong, part.offset, "");
    Report(part.text, part.raw_size, part.offset, FrameKind::kOther, FrameResult::kPartTooLong);
    return;
  }
  const bool timestamp = TakeTimestamp(part);
  if (!timestamp && mode_ == Mode::kLive) {
    // A stamp belongs to the frame right after it and to no later one.
    if (stamp_part_.empty()) {
      stamp_part_ = TimestampPart(received_ms);
      state_.RxTimestamp = UtcTimeText(received_ms);
      state_.RxMillisecond = MillisecondOf(received_ms);
    }
    if (frame_sink_) frame_sink_({stamp_part_, part.raw});
    stamp_part_.clear();
  }
  DecodeFrame(part.text, part.offset, timestamp);
}

void CaptureScanner::ProcessLine(const TextLine& line) {
  std::string_view text = line.text;
  std::uint64_t offset = line.offset;
  if (line.number == 1 && text.starts_with(kUtf8ByteOrderMark)) {
    text.remove_prefix(kUtf8ByteOrderMark.size());
    offset += kUtf8ByteOrderMark.size();
  }
  if (line.too_long) {
    MalformedLine(line.number, SatnogsLineError::kTooLong);
    return;
  }
  if (IsBlankLine(text)) return;
  const SatnogsLineError error = ParseSatnogsLine(text, line_time_, line_bytes_);
  if (error != SatnogsLineError::kNone) {
    MalformedLine(line.number, error);
    return;
  }
  // A skipped duplicate is shown with its own line's time, not that of the frame before it.
  state_.RxTimestamp.assign(line_time_);
  state_.RxMillisecond = -1;
  if (!state_.keep_duplicate_frames && state_.seen_frames.See(line_bytes_, line.number)) {
    ++result_.duplicate_frames;
    const FrameKind kind = line_bytes_.find(kBeaconMarker) != std::string::npos ? FrameKind::kBeacon
                           : line_bytes_.find(kPayloadMarker) != std::string::npos
                               ? FrameKind::kPayload
                               : FrameKind::kOther;
    Report(line_bytes_, line_bytes_.size(), offset, kind, FrameResult::kDuplicate);
    return;
  }
  DecodeFrame(line_bytes_, offset);
}

void CaptureScanner::MalformedLine(std::uint64_t number, SatnogsLineError error) {
  ++result_.malformed_lines;
  if (result_.line_notes.size() >= kMaxLineNotes) return;
  std::string note = "line " + std::to_string(number) + ": " + SatnogsLineErrorText(error);
  if (frame_log_ != nullptr && *frame_log_) {
    (*frame_log_)("-- " + note + ", skipped\r\n");
  }
  result_.line_notes.push_back(std::move(note));
}

void CaptureScanner::DecodeFrame(std::string_view frame, std::uint64_t offset, bool timestamp) {
  state_.BodyText.clear();
  bool marked = false;
  if (const std::size_t at = frame.find(kBeaconMarker); at != std::string_view::npos) {
    marked = true;
    const FrameResult result =
        DecodeBody(frame.substr(at + kBeaconMarker.size()), kBeaconMarker, offset);
    if (result == FrameResult::kDecoded) {
      DecodeBeaconFrame(state_);
      ++result_.beacon_frames;
    }
    Report(frame, frame.size(), offset, FrameKind::kBeacon, result);
  }
  if (const std::size_t at = frame.find(kPayloadMarker); at != std::string_view::npos) {
    marked = true;
    const FrameResult result =
        DecodeBody(frame.substr(at + kPayloadMarker.size()), kPayloadMarker, offset);
    if (result == FrameResult::kDecoded) {
      DecodePayloadFrame(state_);
      ++result_.payload_frames;
    }
    Report(frame, frame.size(), offset, FrameKind::kPayload, result);
  }
  if (!marked && !timestamp) {
    Report(frame, frame.size(), offset, FrameKind::kOther, FrameResult::kNoMarker);
  }
  // A part of a timestamp's size that holds a marker is a frame all the same.
  kiss_frame_ = kiss_frame_ || marked || !timestamp;
  if (frame_limit_ >= 0 && result_.beacon_frames + result_.payload_frames >= frame_limit_) {
    kiss_.StopFeeding();
  }
}

void CaptureScanner::Report(std::string_view frame, std::uint64_t length, std::uint64_t offset,
                            FrameKind kind, FrameResult result) {
  if (facts_sink_ == nullptr || !*facts_sink_) return;
  FrameFacts facts;
  facts.rx_time = state_.RxTimestamp;
  facts.bytes = frame;
  facts.length = length;
  facts.offset = offset;
  facts.kind = kind;
  facts.result = result;
  facts.kiss = format_ != Format::kSatnogs;
  (*facts_sink_)(facts);
}

FrameResult CaptureScanner::DecodeBody(std::string_view body, std::string_view marker,
                                       std::uint64_t offset) {
  state_.BodyText.assign(body);
  Log(marker, state_.BodyText);
  const Ascii85Status status = Ascii85Decode(state_.BodyText, state_.BodyBytes);
  if (status != Ascii85Status::kOk) {
    Skip(SkipReason::kBodyNotDecoded, offset, Ascii85StatusText(status));
    return FrameResult::kBodyNotDecoded;
  }
  const std::size_t size = state_.BodyBytes.size();
  if (size > static_cast<std::size_t>(kFrameBytesSize)) {
    Skip(SkipReason::kBodyTooLong, offset, std::to_string(size) + " bytes");
    return FrameResult::kBodyTooLong;
  }
  std::copy_n(state_.BodyBytes.begin(), size, state_.FrameBytes.begin());
  if (body_length_ > size) {
    std::fill(state_.FrameBytes.begin() + static_cast<std::ptrdiff_t>(size),
              state_.FrameBytes.begin() + static_cast<std::ptrdiff_t>(body_length_), 0);
  }
  body_length_ = size;
  return FrameResult::kDecoded;
}

void CaptureScanner::Skip(SkipReason reason, std::uint64_t offset, std::string detail) {
  ++result_.skipped_frames;
  ++result_.skipped_by_reason[static_cast<std::size_t>(reason)];
  if (frame_log_ != nullptr && *frame_log_) {
    std::string note = "-- frame at byte " + std::to_string(offset) + " skipped: ";
    note += SkipReasonText(reason);
    if (!detail.empty()) note += " (" + detail + ")";
    note += "\r\n";
    (*frame_log_)(note);
  }
  if (result_.warnings.size() < kMaxWarnings) {
    result_.warnings.push_back({reason, result_.path, offset, std::move(detail)});
  }
}

void CaptureScanner::Log(std::string_view marker, std::string_view body) {
  if (frame_log_ == nullptr || !*frame_log_) return;
  std::string line;
  line.reserve(marker.size() + body.size() + 2);
  line.append(marker).append(body).append("\r\n");
  (*frame_log_)(line);
}

LoadResult LoadCaptureBytes(DecoderState& state, std::span<const std::uint8_t> bytes,
                            const std::string& name, const FrameLogSink* frame_log) {
  LoadResult result;
  result.path = name;
  CaptureScanner scanner(state, result, frame_log);
  scanner.Feed(bytes);
  scanner.Finish();
  return result;
}

LoadResult LoadCaptureFile(DecoderState& state, const std::string& path,
                           const FrameLogSink* frame_log, const LoadProgress* progress,
                           const FrameFactsSink* frame_facts) {
  LoadResult result;
  result.path = path;
  // Non-blocking, so that opening a FIFO does not wait for a writer; only regular files are read.
  const Expected<int> opened = OpenRegularFile(path, "is a folder, not a capture file");
  if (!opened) {
    result.error = opened.error();
    return result;
  }
  const int fd = opened.value();
  CaptureScanner scanner(state, result, frame_log);
  scanner.SetFrameFactsSink(frame_facts);
  std::vector<std::uint8_t> chunk(kReadChunk);
  std::uint64_t bytes_read = 0;
  for (;;) {
    const ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      result.error = ReadError(path, errno);
      break;
    }
    if (got == 0) break;
    scanner.Feed({chunk.data(), static_cast<std::size_t>(got)});
    bytes_read += static_cast<std::uint64_t>(got);
    if (progress != nullptr && !(*progress)(bytes_read)) {
      result.cancelled = true;
      break;
    }
  }
  if (result.ok()) scanner.Finish();
  ::close(fd);
  return result;
}

}  // namespace talphex
