// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/expected.h"

namespace talphex {

// Whole line-protocol lines, each ended by "\n", one point a line.
struct InfluxBatch {
  std::string lines;
  std::int64_t points = 0;
};

// Collects points into batches of at most `max_points`, each sealed when full or when its first
// point is `max_age` old. Times are given, so that the rule is a plain computation.
class InfluxBatcher {
 public:
  using Clock = std::chrono::steady_clock;
  InfluxBatcher(std::int64_t max_points, std::chrono::milliseconds max_age)
      : max_points_(max_points), max_age_(max_age) {}

  // Adds one point's line (with its "\n").
  void Add(std::string_view line, Clock::time_point now);
  // Seals the filling batch once it is old enough, or at once with `all`.
  void Seal(Clock::time_point now, bool all = false);
  // When the filling batch must be sealed; none when it is empty.
  std::optional<Clock::time_point> Deadline() const;
  std::deque<InfluxBatch>& sealed() { return sealed_; }
  std::int64_t points() const;  // filling and sealed
  std::uint64_t sealed_bytes() const { return sealed_bytes_; }
  // Takes every sealed batch, oldest first.
  std::deque<InfluxBatch> TakeSealed();

 private:
  void SealFilling();

  std::int64_t max_points_;
  std::chrono::milliseconds max_age_;
  InfluxBatch filling_;
  Clock::time_point started_{};
  std::deque<InfluxBatch> sealed_;
  std::uint64_t sealed_bytes_ = 0;
};

// Batches that wait for the server in a file, oldest first, so that an outage costs no memory
// and a run that ends leaves them to the next. The file is plain line protocol (the points are
// idempotent, so a batch sent twice after a crash changes nothing in InfluxDB). At most `limit`
// bytes wait: beyond it the oldest batches (but the one being sent) are dropped and counted. One
// run at a time holds the file (an exclusive lock).
class InfluxSpool {
 public:
  InfluxSpool(std::string path, std::uint64_t limit, std::int64_t batch_points);
  ~InfluxSpool();
  InfluxSpool(const InfluxSpool&) = delete;
  InfluxSpool& operator=(const InfluxSpool&) = delete;

  // Opens or creates the file and takes what an earlier run left, in batches; beyond the limit
  // the oldest are dropped (see dropped()). The error names the file and the reason.
  [[nodiscard]] Status Open();
  // Adds a batch after the others, joined to the last one while together they fit a batch.
  // Returns what failed to be written (the batch is then dropped and counted); empty on success.
  std::string Append(const InfluxBatch& batch);
  // A copy of the oldest batch and its number; none when nothing waits. The batch is closed:
  // nothing more is joined to it while it is being sent.
  std::optional<std::pair<std::uint64_t, InfluxBatch>> Front();
  // Removes batch `id` once its answer came. It is still the oldest: the batch being sent is
  // never dropped.
  void Pop(std::uint64_t id);
  // Moves what waits to the file's start, so that the next run reads nothing twice.
  void Compact();

  const std::string& path() const { return path_; }
  bool empty() const { return entries_.empty(); }
  std::int64_t points() const { return points_; }
  std::uint64_t bytes() const { return kept_; }
  std::int64_t dropped() const { return dropped_; }

 private:
  struct Entry {
    std::uint64_t id;
    std::uint64_t offset;
    std::uint64_t bytes;
    std::int64_t points;
    bool closed;
  };
  void Add(std::uint64_t bytes, std::int64_t points);
  void DropBeyondLimit();
  // Empties the file once nothing waits, or moves the rest to its start when most of it is sent.
  void Shrink();

  std::string path_;
  std::uint64_t limit_;
  std::int64_t batch_points_;
  int fd_ = -1;
  std::deque<Entry> entries_;
  std::uint64_t next_id_ = 1;
  std::uint64_t end_ = 0;
  std::uint64_t kept_ = 0;  // bytes of the batches that wait; the rest of the file is spent
  std::int64_t points_ = 0;
  std::int64_t dropped_ = 0;
};

}  // namespace talphex
