// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/base/expected.h"
#include "core/capture/frame_facts.h"
#include "net/bounded_queue.h"
#include "net/http_post.h"

namespace talphex {

// Frames shared with SatNOGS DB's telemetry endpoint (SiDS): one HTTP form POST a frame.

inline constexpr char kSidsDefaultUrl[] = "https://db.satnogs.org/api/telemetry/";
// Frames waiting for the server, at most; beyond it the oldest are dropped and counted.
inline constexpr std::size_t kSidsQueueCapacity = 10'000;

// "HOST[:PORT]" of an http:// or https:// URL, as the messages name the server; an error naming
// the URL for anything else (another scheme, no host, a bad port, user info, spaces or control
// bytes).
Expected<std::string> SidsServerOf(std::string_view url);

// A callsign is 1 to 32 letters, digits, "-" and "/" ("DL1ABC-2", "EA4/G0ABC").
bool IsCallsign(std::string_view callsign);

// Decimal degrees ("12.3456", "-0.5", "+7"), within -limit to limit; an error naming what a value
// must be for anything else.
Expected<double> ParseDegrees(std::string_view text, double limit);

// A position as SatNOGS DB reads it: the degrees rounded to 4 decimals, then "E"/"W" or "N"/"S"
// by the sign ("12.3456E", "0.5000W"); a value that rounds to 0 is east or north.
std::string LongitudeText(double degrees);
std::string LatitudeText(double degrees);

// Every byte but the unreserved ones (letters, digits, "-", ".", "_", "~") as "%XX", upper case.
std::string PercentEncode(std::string_view text);

struct SidsStation {
  std::int64_t norad_id = 0;
  std::string callsign;
  double longitude = 0;  // west negative
  double latitude = 0;   // south negative
  std::string version;   // the program's
};

// One frame to share: its receive time "YYYY-MM-DDThh:mm:ss.sssZ" and its AX.25 bytes (without
// the KISS command byte) as upper-case hex.
struct SidsFrame {
  std::string timestamp;
  std::string frame_hex;
};

// The frame as the loader met it, or nothing when it has no receive time. `millisecond` is the
// state's RxMillisecond (-1: .000). The frame must be whole (`bytes` as long as `length`).
std::optional<SidsFrame> SidsFrameOf(const FrameFacts& facts, int millisecond);

// The form body: noradID, source, timestamp, frame, locator=longLat, longitude, latitude,
// version, each value percent-encoded.
std::string SidsFormBody(const SidsStation& station, const SidsFrame& frame);

struct SidsSettings {
  std::string url;
  std::string server;  // SidsServerOf(url)
  SidsStation station;
};

// How long the submitter waits and when it gives a frame up.
struct SidsTiming {
  std::chrono::milliseconds first_retry{1'000};  // waits double from this ...
  std::chrono::milliseconds last_retry{60'000};  // ... up to this
  std::chrono::milliseconds give_up{3'600'000};  // a frame failing this long after it came
  std::chrono::milliseconds request_timeout{10'000};
};

struct SidsCounts {
  std::int64_t sent = 0;          // accepted by the server
  std::int64_t waiting = 0;       // queued or being sent
  std::int64_t rejected = 0;      // answered with a 4xx (not 429) or another status not retried
  std::int64_t given_up = 0;      // failing for longer than SidsTiming::give_up
  std::int64_t dropped = 0;       // pushed out of the full queue
  std::int64_t without_time = 0;  // offered with no receive time, so never queued
  std::int64_t too_long = 0;      // offered as only its start (a part longer than kept)
};

// "SiDS HOST: N sent, N waiting, N rejected, N given up, N dropped", then ", N without a receive
// time" and ", N too long" when there were any.
std::string SidsSummaryText(std::string_view server, const SidsCounts& counts);

// Sends frames from a thread of its own, each once: a failure (no answer, a 5xx or a 429) is
// retried after growing waits, the frame given up when it has failed for SidsTiming::give_up; any
// other status that is not a success rejects the frame, which is counted and not sent again.
// Offering never waits for the network. Every change of state is one line handed to the event
// sink (from the submitter's thread); the server's answer in it is raw text for the caller to
// escape.
class SidsSubmitter {
 public:
  using EventSink = std::function<void(const std::string& line)>;
  using Poster = std::function<HttpResponse(const HttpRequest& request)>;

  SidsSubmitter(SidsSettings settings, EventSink events, Poster poster = HttpPost,
                SidsTiming timing = {});
  ~SidsSubmitter();
  SidsSubmitter(const SidsSubmitter&) = delete;
  SidsSubmitter& operator=(const SidsSubmitter&) = delete;

  void Start();
  // A frame the loader reported: queued, or counted when it has no receive time. A frame holding
  // both markers is reported twice in a row and queued once.
  void Offer(const FrameFacts& facts, int millisecond);
  // Waits until nothing is waiting or `timeout` has passed; true when nothing is.
  bool WaitSent(std::chrono::milliseconds timeout);
  // Ends the thread after the request under way, if any; what was not sent stays counted as
  // waiting.
  void Stop();
  SidsCounts counts() const;

 private:
  struct Item {
    std::string body;
    std::chrono::steady_clock::time_point queued;
  };
  enum class Link { kStarting, kAccepting, kFailing, kRejecting };
  void Loop();
  // Handles the answer to `item`'s POST; under the lock.
  void Answered(Item item, const HttpResponse& response, std::chrono::steady_clock::time_point now);
  void Say(const std::string& what);

  SidsSettings settings_;
  EventSink events_;
  Poster poster_;
  SidsTiming timing_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  BoundedQueue<Item> queue_{kSidsQueueCapacity};
  bool sending_ = false;
  std::chrono::steady_clock::time_point next_try_{};
  std::chrono::milliseconds wait_{};
  SidsCounts counts_;
  // Submitter thread only: the last state told, and its reason.
  Link link_ = Link::kStarting;
  std::string reason_;
  // Submitter thread only: lines to tell once the lock is released.
  std::vector<std::string> said_;
  // Offering thread only: the last frame offered, so that its second report is not sent again.
  std::string last_offered_;
  std::uint64_t last_offset_ = 0;
};

}  // namespace talphex
