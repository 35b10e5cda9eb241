// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace talphex {

// The largest frame message taken from the network; a frame is at most a few hundred bytes.
inline constexpr std::size_t kMaxFrameMessageSize = 64 * 1024;

// A frame message as stations publish it: {"rx_time_utc": "YYYY-MM-DDThh:mm:ss.sssZ" or null,
// "station": NAME, "frame_hex": HEX, "kiss_port": 0..15 or null}.
struct FrameMessage {
  std::optional<std::int64_t> rx_ms;  // milliseconds since 1970 UTC; none for null
  std::string station;
  std::string frame;  // the AX.25 frame's bytes
  std::optional<int> kiss_port;
};

enum class FrameMessageFault {
  kTooLarge,     // above kMaxFrameMessageSize
  kSyntax,       // not one JSON object of plain strings, integers and nulls
  kUnknownKey,   // a key the message does not have, or one given twice
  kMissingKey,   // one of the four keys is missing
  kBadTime,      // rx_time_utc is neither null nor a valid time in the form above
  kBadStation,   // not a station name: letters, digits, - and _
  kBadFrame,     // frame_hex empty, of odd length or not hex
  kBadKissPort,  // kiss_port neither null nor 0 to 15
};

// A message that could not be read: its fault and why, in the program's own words (never the
// message's bytes).
struct FrameMessageError {
  FrameMessageFault fault;
  std::string reason;
};

struct [[nodiscard]] FrameMessageResult {
  std::optional<FrameMessage> message;
  std::optional<FrameMessageError> error;  // set exactly when `message` is not
};

// Reads a frame message strictly: each key once, nothing else; strings hold no escapes.
FrameMessageResult ParseFrameMessage(std::string_view text);

// A frame heard by a station, as it reached the merger.
struct HeardFrame {
  std::string bytes;
  std::int64_t rx_ms = 0;       // receive time at the station, milliseconds since 1970 UTC
  std::string station;          // who heard it
  std::int64_t arrival_ms = 0;  // when it reached the merger, on the merger's clock
  int kiss_port = 0;
};

// A frame to decode once: every station that heard it, first hearer first.
struct MergedFrame {
  std::string bytes;
  std::int64_t rx_ms = 0;
  int kiss_port = 0;
  std::vector<std::string> stations;
};

// Appends a merged frame as a live KISS stream carries it: a timestamp part of its receive time,
// then the frame on its port. A time on a whole second is stamped without milliseconds, as capture
// files stamp theirs, since a frame message cannot tell ".000" from a time without them.
void AppendMergedKiss(std::string& out, const MergedFrame& frame);

struct MergerCounts {
  std::int64_t received = 0;    // frames added
  std::int64_t duplicates = 0;  // of those, frames whose bytes had been seen already
};

// Merges the frames of many stations into one stream: each frame waits kHoldMs after its arrival
// so that frames from slower stations can overtake it, and frames come out in receive-time order.
// A frame whose bytes equal those of a frame seen in the last kRememberMs is a duplicate: while
// the first is still held the duplicate adds its station to it, afterwards it is only counted.
// Times are the caller's (milliseconds, never going back), so that tests need no clock.
class FrameMerger {
 public:
  static constexpr std::int64_t kHoldMs = 2000;
  static constexpr std::int64_t kRememberMs = 10 * 60 * 1000;
  static constexpr std::size_t kMaxRemembered = 65536;

  enum class Taken { kNew, kHeldDuplicate, kDuplicate };
  // `frame.arrival_ms` is now.
  Taken Add(HeardFrame frame);
  // Appends the frames whose hold has ended at `now_ms`, in receive-time order: with each frame
  // whose hold ended go the held ones received no later, which must come before it.
  void Release(std::int64_t now_ms, std::vector<MergedFrame>& out);
  // Appends every held frame, in receive-time order: the input has ended.
  void ReleaseAll(std::vector<MergedFrame>& out);
  // When Release gives the next frame; none while nothing is held.
  std::optional<std::int64_t> NextReleaseMs() const;
  std::size_t held() const { return held_.size(); }
  std::size_t remembered() const { return seen_.size(); }
  const MergerCounts& counts() const { return counts_; }

 private:
  using HoldKey = std::pair<std::int64_t, std::uint64_t>;  // receive time, then arrival number
  struct Held {
    MergedFrame frame;
    std::uint64_t hash;
  };
  struct Seen {
    std::int64_t first_ms;
    std::optional<HoldKey> held;  // while the first frame with these bytes waits
  };
  void Forget(std::int64_t now_ms);
  void ReleaseUpTo(const HoldKey& last, std::vector<MergedFrame>& out);

  std::map<HoldKey, Held> held_;
  std::deque<std::pair<std::int64_t, HoldKey>> arrivals_;  // by arrival: when, and which frame
  std::unordered_map<std::uint64_t, Seen> seen_;
  std::deque<std::pair<std::int64_t, std::uint64_t>> seen_order_;  // oldest first
  std::uint64_t next_number_ = 0;
  MergerCounts counts_;
};

}  // namespace talphex
