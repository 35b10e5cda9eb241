// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "core/base/expected.h"
#include "net/http_post.h"
#include "net/influx_spool.h"
#include "net/influx_url.h"

namespace talphex {

inline constexpr std::int64_t kInfluxBatchPoints = 5'000;
inline constexpr std::uint64_t kInfluxSpoolLimit = 256ull * 1024 * 1024;

struct InfluxWriterSettings {
  std::string host;    // HOST[:PORT], for messages
  std::string folder;  // the spool and the rejected batches
  std::int64_t batch_points = kInfluxBatchPoints;
  std::chrono::milliseconds batch_age{1'000};
  std::uint64_t spool_limit = kInfluxSpoolLimit;
  // Sealed batches kept in memory while a request is under way; beyond it they go to the spool.
  std::uint64_t memory_limit = 16 * 1024 * 1024;
  // The wait before the first retry, doubled at each failure up to the last.
  std::chrono::milliseconds first_retry{1'000};
  std::chrono::milliseconds last_retry{30'000};
};

// Counted in points.
struct InfluxCounts {
  std::int64_t sent = 0;      // taken by the server
  std::int64_t waiting = 0;   // in memory or in the spool
  std::int64_t rejected = 0;  // refused by the server (4xx), kept in a rejected-*.lp file
  std::int64_t dropped = 0;   // pushed out of the full spool, or lost to a failed disk
};

// "InfluxDB HOST: N sent, N waiting, N rejected, N dropped".
std::string InfluxSummaryText(std::string_view host, const InfluxCounts& counts);

// What a 4xx or 5xx answer says: "HTTP 400: MESSAGE", the message being InfluxDB's "error"
// value when the body is its JSON, else the body's first line; as the server sent it (the caller
// escapes it for the terminal).
std::string InfluxServerReason(long status, std::string_view body);

// The waits before retrying: `first`, doubled after each failure, at most `last`.
std::chrono::milliseconds InfluxRetryWait(int failures, std::chrono::milliseconds first,
                                          std::chrono::milliseconds last);

// One POST of a batch; HttpPost to `url` (with "Authorization: Token TOKEN" when a token is
// given) in the CLI, a fake in tests.
using InfluxSend = std::function<HttpResponse(const std::string& body)>;
InfluxSend InfluxHttpSender(const InfluxUrl& url, std::string token);

// Writes points to InfluxDB from a thread of its own, so that the decoder never waits for the
// network: batches of at most batch_points lines or batch_age. A 5xx or no answer is retried with
// growing waits while new batches wait in the spool (folder/influx-spool.lp), which is sent first;
// a 4xx is reported once and the batch kept in folder/rejected-YYYYMMDDThhmmss-N.lp, never
// retried. Every change of state is one line handed to the event sink (from either thread).
class InfluxWriter {
 public:
  using EventSink = std::function<void(const std::string& line)>;

  InfluxWriter(InfluxWriterSettings settings, InfluxSend send, EventSink events);
  ~InfluxWriter();
  InfluxWriter(const InfluxWriter&) = delete;
  InfluxWriter& operator=(const InfluxWriter&) = delete;

  // Opens the spool and says what an earlier run left in it. The error names the file.
  [[nodiscard]] Status Open();
  void Start();
  // One point's line, with its "\n".
  void Add(std::string_view line);
  // Sends what is queued for at most `timeout`, then stops; what is left stays in the spool and
  // is said in one line.
  void Finish(std::chrono::milliseconds timeout);
  InfluxCounts counts() const;

 private:
  using Clock = std::chrono::steady_clock;
  void Loop();
  // Sends one batch without the lock and counts the answer; `spool_id` 0 for a batch from memory.
  void Send(std::unique_lock<std::mutex>& lock, InfluxBatch batch, std::uint64_t spool_id);
  void Spool(const InfluxBatch& batch);
  void SpoolSealed();
  void Reject(const InfluxBatch& batch, const std::string& reason);
  bool Idle() const;
  void Say(const std::string& what);

  InfluxWriterSettings settings_;
  InfluxSend send_;
  EventSink events_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  bool finishing_ = false;
  InfluxBatcher batcher_;
  InfluxSpool spool_;
  std::int64_t in_flight_ = 0;  // points of a batch from memory being sent
  std::int64_t sent_ = 0;
  std::int64_t rejected_ = 0;
  int failures_ = 0;  // in a row
  Clock::time_point retry_at_{};
  bool drop_said_ = false;
  int rejected_files_ = 0;
};

}  // namespace talphex
