// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/capture_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/capture/ascii85.h"
#include "core/decode/frame_decoders.h"

namespace talphex {
namespace {

constexpr std::uint8_t kFend = 0xC0;
constexpr std::uint8_t kFesc = 0xDB;
constexpr std::uint8_t kTfend = 0xDC;
constexpr std::uint8_t kTfesc = 0xDD;
constexpr std::size_t kTimestampPartSize = 28;
constexpr std::size_t kReadChunk = 256 * 1024;

std::string_view AsText(const std::uint8_t* begin, const std::uint8_t* end) {
  return {reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin)};
}

// Undoes the KISS escapes in one pass; a lone FESC passes through unchanged.
void Unescape(std::string_view raw, std::string& out) {
  out.clear();
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const auto c = static_cast<std::uint8_t>(raw[i]);
    if (c == kFesc && i + 1 < raw.size()) {
      const auto next = static_cast<std::uint8_t>(raw[i + 1]);
      if (next == kTfend || next == kTfesc) {
        out.push_back(static_cast<char>(next == kTfend ? kFend : kFesc));
        ++i;
        continue;
      }
    }
    out.push_back(raw[i]);
  }
}

std::string ErrnoText(const std::string& path, int error) {
  return path + ": " + std::strerror(error);
}

}  // namespace

const char* SkipReasonText(SkipReason reason) {
  switch (reason) {
    case SkipReason::kBodyNotDecoded:
      return "body does not decode";
    case SkipReason::kBodyTooLong:
      return "decoded body longer than 513 bytes";
    case SkipReason::kPartTooLong:
      return "KISS frame longer than 65536 bytes";
  }
  return "unknown";
}

CaptureScanner::CaptureScanner(DecoderState& state, LoadResult& result,
                               const FrameLogSink* frame_log)
    : state_(state), result_(result), frame_log_(frame_log) {}

void CaptureScanner::Feed(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* p = bytes.data();
  const std::uint8_t* const end = p + bytes.size();
  const std::uint64_t base = position_;
  position_ += bytes.size();
  while (p < end) {
    const auto* fend = static_cast<const std::uint8_t*>(std::memchr(p, kFend, end - p));
    const std::uint8_t* part_end = fend != nullptr ? fend : end;
    // Keep what may still be processed, but never more than a part can usefully hold.
    if (fend == nullptr || pending_size_ > 0) {
      const std::size_t room = kMaxPartBytes + 1 - std::min(pending_.size(), kMaxPartBytes + 1);
      const auto piece = static_cast<std::size_t>(part_end - p);
      pending_.append(reinterpret_cast<const char*>(p), std::min(piece, room));
      pending_size_ += piece;
    }
    if (fend == nullptr) break;
    if (pending_size_ > 0) {
      ProcessPart(pending_, part_start_);
      pending_.clear();
      pending_size_ = 0;
    } else {
      ProcessPart(AsText(p, fend), part_start_);
    }
    p = fend + 1;
    part_start_ = base + static_cast<std::uint64_t>(p - bytes.data());
  }
}

void CaptureScanner::ProcessPart(std::string_view raw, std::uint64_t offset) {
  if (raw.empty()) return;
  if (raw.size() > kMaxPartBytes) {
    Skip(SkipReason::kPartTooLong, offset, "");
    return;
  }
  std::string_view frame = raw;
  if (raw.find(static_cast<char>(kFesc)) != std::string_view::npos) {
    Unescape(raw, unescaped_);
    frame = unescaped_;
  }
  if (raw.size() == kTimestampPartSize) state_.RxTimestamp.assign(frame.substr(1, 19));
  state_.BodyText.clear();
  if (frame.find(kBeaconMarker) != std::string_view::npos &&
      DecodeBody(frame, kBeaconMarker, offset)) {
    DecodeBeaconFrame(state_);
    ++result_.beacon_frames;
  }
  if (frame.find(kPayloadMarker) != std::string_view::npos &&
      DecodeBody(frame, kPayloadMarker, offset)) {
    DecodePayloadFrame(state_);
    ++result_.payload_frames;
  }
}

bool CaptureScanner::DecodeBody(std::string_view frame, std::string_view marker,
                                std::uint64_t offset) {
  state_.BodyText.assign(frame.substr(frame.find(marker) + marker.size()));
  Log(marker, state_.BodyText);
  const Ascii85Status status = Ascii85Decode(state_.BodyText, state_.BodyBytes);
  if (status != Ascii85Status::kOk) {
    Skip(SkipReason::kBodyNotDecoded, offset, Ascii85StatusText(status));
    return false;
  }
  const std::size_t size = state_.BodyBytes.size();
  if (size > static_cast<std::size_t>(kFrameBytesSize)) {
    Skip(SkipReason::kBodyTooLong, offset, std::to_string(size) + " bytes");
    return false;
  }
  std::copy_n(state_.BodyBytes.begin(), size, state_.FrameBytes.begin());
  if (body_length_ > size) {
    std::fill(state_.FrameBytes.begin() + static_cast<std::ptrdiff_t>(size),
              state_.FrameBytes.begin() + static_cast<std::ptrdiff_t>(body_length_), 0);
  }
  body_length_ = size;
  return true;
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
  return result;
}

LoadResult LoadCaptureFile(DecoderState& state, const std::string& path,
                           const FrameLogSink* frame_log) {
  LoadResult result;
  result.path = path;
  // Non-blocking, so that opening a FIFO does not wait for a writer; only regular files are read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    result.error = ErrnoText(path, errno);
    return result;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    result.error = ErrnoText(path, errno);
  } else if (S_ISDIR(info.st_mode)) {
    result.error = path + ": is a folder, not a capture file";
  } else if (!S_ISREG(info.st_mode)) {
    result.error = path + ": not a regular file";
  } else {
    CaptureScanner scanner(state, result, frame_log);
    std::vector<std::uint8_t> chunk(kReadChunk);
    for (;;) {
      const ssize_t got = ::read(fd, chunk.data(), chunk.size());
      if (got < 0) {
        if (errno == EINTR) continue;
        result.error = ErrnoText(path, errno);
        break;
      }
      if (got == 0) break;
      scanner.Feed({chunk.data(), static_cast<std::size_t>(got)});
    }
  }
  ::close(fd);
  return result;
}

}  // namespace talphex
