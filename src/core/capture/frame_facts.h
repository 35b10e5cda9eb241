// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/recent_buffer.h"
#include "core/capture/ascii85.h"
#include "core/capture/ax25_header.h"

namespace talphex {

enum class SkipReason {
  kBodyNotDecoded,  // the Ascii85 body did not decode
  kBodyTooLong,     // the decoded body has more than 513 bytes
  kPartTooLong,     // a KISS part longer than the loader keeps
};

inline constexpr std::size_t kSkipReasons = 3;

const char* SkipReasonText(SkipReason reason);

enum class FrameKind : std::uint8_t { kBeacon, kPayload, kOther };

// What became of a frame: decoded, or skipped and why.
enum class FrameResult : std::uint8_t {
  kDecoded,
  kNoMarker,        // neither marker: not a frame of this satellite
  kBodyNotDecoded,  // the Ascii85 body did not decode
  kBodyTooLong,     // the decoded body has more than 513 bytes
  kPartTooLong,     // a KISS part longer than the loader keeps; not searched
  kDuplicate,       // a SatNOGS frame among the last ones read by the same open command
};

const char* FrameKindText(FrameKind kind);
// "decoded", "no marker", or "skipped: " and the reason.
std::string FrameResultText(FrameResult result);

// One frame as the loader met it. A frame holding both markers gives one of these per marker.
struct FrameFacts {
  std::string_view rx_time;  // the receive time it was stamped with; empty when none
  std::string_view bytes;    // the frame, escapes undone; may be only its start (see length)
  std::uint64_t length = 0;  // bytes of the whole frame
  std::uint64_t offset = 0;  // byte offset of the frame in its capture
  FrameKind kind = FrameKind::kOther;
  FrameResult result = FrameResult::kNoMarker;
  // A KISS frame starts with the KISS command byte; a SatNOGS line's frame may not.
  bool kiss = true;
};

using FrameFactsSink = std::function<void(const FrameFacts& facts)>;

// The AX.25 address field at the start of the frame, after the KISS command byte (a SatNOGS
// frame is also tried without one).
Ax25Error FindAx25Header(const FrameFacts& facts, Ax25Header& header);

// The body of a beacon or payload frame decoded as the loader decodes it; kEmpty for other
// frames and for a frame whose marker is not among the bytes kept.
Ascii85Status DecodeFrameBody(const FrameFacts& facts, std::vector<std::uint8_t>& body);

// "2026-03-01 10:00:00  beacon  N0CALL-1 > CQ  122 bytes at byte 28  decoded": safe text only.
std::string FrameSummary(const FrameFacts& facts);
// The summary line, then the frame and the decoded body as hex dumps of their first
// kFrameDumpBytes bytes each.
inline constexpr std::size_t kFrameDumpBytes = 1024;
void AppendFrameDump(std::string& out, const FrameFacts& facts, std::size_t bytes_per_line);

// The newest frames of a long load, bounded in count and bytes. Each keeps its first
// kMaxKeptFrameBytes bytes, enough for every frame that can decode.
class FrameFactsBuffer {
 public:
  static constexpr std::size_t kMaxKeptFrameBytes = kFrameDumpBytes;
  static constexpr std::size_t kMaxBytes = 32 << 20;

  explicit FrameFactsBuffer(std::size_t max_frames) : frames_(max_frames, kMaxBytes) {}

  void Add(const FrameFacts& facts);
  // Frames that Adds of every frame of `other` push out, oldest first, for a few frames that
  // fit the limits by themselves: a view can announce one removal before one insertion.
  std::size_t DropsFor(const FrameFactsBuffer& other) const;
  void DropOldest(std::size_t count) { frames_.DropOldest(count); }
  void Clear() { frames_.Clear(); }
  std::size_t size() const { return frames_.size(); }
  // Frame `index`, 0 for the oldest kept; its views stay valid until the buffer changes.
  FrameFacts at(std::size_t index) const;
  std::uint64_t dropped() const { return frames_.dropped(); }

 private:
  struct Row {
    std::uint64_t length;
    std::uint64_t offset;
    std::array<char, 21> rx_time;  // NUL-padded; longer times are cut
    FrameKind kind;
    FrameResult result;
    bool kiss;
  };
  RecentBuffer<Row> frames_;
};

}  // namespace talphex
