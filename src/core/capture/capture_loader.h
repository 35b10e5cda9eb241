// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/decode/decoder_state.h"

namespace talphex {

inline constexpr std::string_view kBeaconMarker = "TALPHEX";
inline constexpr std::string_view kPayloadMarker = "VAVE";

// Receives every frame-log line, CR LF included: the marker and body text of each recognised
// frame, and a note for each frame that was skipped.
using FrameLogSink = std::function<void(std::string_view line)>;

enum class SkipReason {
  kBodyNotDecoded,  // the Ascii85 body did not decode
  kBodyTooLong,     // the decoded body has more than 513 bytes
  kPartTooLong,     // a KISS part longer than the loader keeps
};

inline constexpr std::size_t kSkipReasons = 3;

const char* SkipReasonText(SkipReason reason);

struct LoadWarning {
  SkipReason kind;
  std::string file;
  std::uint64_t offset;  // byte offset of the part in the file
  std::string detail;
};

// What one capture file gave. `error` is empty when the file was read to its end.
struct [[nodiscard]] LoadResult {
  std::string path;
  std::string error;
  std::int64_t beacon_frames = 0;   // beacon frames decoded (stored or not)
  std::int64_t payload_frames = 0;  // payload frames decoded (stored or not)
  std::int64_t skipped_frames = 0;
  std::array<std::int64_t, kSkipReasons> skipped_by_reason{};
  std::vector<LoadWarning> warnings;  // the first kMaxWarnings of the skipped frames
  bool ok() const { return error.empty(); }
};

inline constexpr std::size_t kMaxWarnings = 100;
// Longest KISS part the loader keeps; any frame of this program is far shorter.
inline constexpr std::size_t kMaxPartBytes = 64 * 1024;

// Cuts a byte stream fed in pieces into KISS parts and decodes every beacon and payload frame
// into the state's stores. Memory does not grow with the stream: a part is copied only when it
// spans two pieces, and never beyond kMaxPartBytes.
class CaptureScanner {
 public:
  CaptureScanner(DecoderState& state, LoadResult& result, const FrameLogSink* frame_log);
  void Feed(std::span<const std::uint8_t> bytes);

 private:
  void ProcessPart(std::string_view raw, std::uint64_t offset);
  bool DecodeBody(std::string_view frame, std::string_view marker, std::uint64_t offset);
  void Skip(SkipReason reason, std::uint64_t offset, std::string detail);
  void Log(std::string_view marker, std::string_view body);

  DecoderState& state_;
  LoadResult& result_;
  const FrameLogSink* frame_log_;
  std::uint64_t position_ = 0;  // bytes fed so far
  std::uint64_t part_start_ = 0;
  std::string pending_;  // start of a part that continues in the next piece
  std::uint64_t pending_size_ = 0;
  std::string unescaped_;
  // Bytes of FrameBytes that may hold an earlier body; at first all of them, since the state
  // may hold a body of an earlier file.
  std::size_t body_length_ = kFrameBytesSize;
};

// Loads one capture file into `state`: one streaming pass, counts go on from where they are.
LoadResult LoadCaptureFile(DecoderState& state, const std::string& path,
                           const FrameLogSink* frame_log = nullptr);

// The same for bytes already in memory; `name` stands for the file in warnings.
LoadResult LoadCaptureBytes(DecoderState& state, std::span<const std::uint8_t> bytes,
                            const std::string& name, const FrameLogSink* frame_log = nullptr);

}  // namespace talphex
