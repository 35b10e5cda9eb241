// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/influx_spool.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "core/base/error.h"

namespace talphex {
namespace {

// Once this much of the file is sent and more waits behind it, the rest moves to the start.
constexpr std::uint64_t kShrinkBytes = 16 * 1024 * 1024;
constexpr std::size_t kChunk = 1024 * 1024;

bool WriteAll(int fd, const char* data, std::size_t size, std::uint64_t offset) {
  while (size > 0) {
    const ssize_t written = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
    offset += static_cast<std::uint64_t>(written);
  }
  return true;
}

bool ReadAll(int fd, char* data, std::size_t size, std::uint64_t offset) {
  while (size > 0) {
    const ssize_t read = ::pread(fd, data, size, static_cast<off_t>(offset));
    if (read < 0 && errno == EINTR) continue;
    if (read <= 0) return false;
    data += read;
    size -= static_cast<std::size_t>(read);
    offset += static_cast<std::uint64_t>(read);
  }
  return true;
}

}  // namespace

void InfluxBatcher::Add(std::string_view line, Clock::time_point now) {
  if (filling_.points == 0) started_ = now;
  filling_.lines.append(line);
  if (++filling_.points >= max_points_) SealFilling();
}

void InfluxBatcher::Seal(Clock::time_point now, bool all) {
  if (filling_.points > 0 && (all || now - started_ >= max_age_)) SealFilling();
}

std::optional<InfluxBatcher::Clock::time_point> InfluxBatcher::Deadline() const {
  if (filling_.points == 0) return std::nullopt;
  return started_ + max_age_;
}

std::int64_t InfluxBatcher::points() const {
  std::int64_t points = filling_.points;
  for (const InfluxBatch& batch : sealed_) points += batch.points;
  return points;
}

std::deque<InfluxBatch> InfluxBatcher::TakeSealed() {
  sealed_bytes_ = 0;
  return std::exchange(sealed_, {});
}

void InfluxBatcher::SealFilling() {
  sealed_bytes_ += filling_.lines.size();
  sealed_.push_back(std::move(filling_));
  filling_ = InfluxBatch();
}

InfluxSpool::InfluxSpool(std::string path, std::uint64_t limit, std::int64_t batch_points)
    : path_(std::move(path)), limit_(limit), batch_points_(batch_points) {}

InfluxSpool::~InfluxSpool() {
  if (fd_ >= 0) ::close(fd_);
}

Status InfluxSpool::Open() {
  fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd_ < 0) return WriteError(path_, errno);
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    return PathError(
        ErrorKind::kWriteFailed, path_,
        errno == EWOULDBLOCK ? "another run is using this spool" : std::strerror(errno));
  }
  // What an earlier run left, cut into batches at line ends: each Add() moves end_ to the end of
  // the batch it takes.
  std::vector<char> chunk(kChunk);
  std::uint64_t size = 0;
  std::int64_t batch_points = 0;
  for (;;) {
    const ssize_t read = ::pread(fd_, chunk.data(), chunk.size(), static_cast<off_t>(size));
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) return ReadError(path_, errno);
    if (read == 0) break;
    for (ssize_t i = 0; i < read; ++i) {
      if (chunk[static_cast<std::size_t>(i)] != '\n') continue;
      const std::uint64_t line_end = size + static_cast<std::uint64_t>(i) + 1;
      if (++batch_points == batch_points_) {
        Add(line_end - end_, batch_points);
        batch_points = 0;
      }
    }
    size += static_cast<std::uint64_t>(read);
  }
  // A last line cut short by a crash is ended, so that nothing is joined to it; the server
  // judges it like any other.
  if (size > end_) {
    char last = 0;
    if (!ReadAll(fd_, &last, 1, size - 1)) return ReadError(path_, errno);
    if (last != '\n') {
      if (!WriteAll(fd_, "\n", 1, size)) return WriteError(path_, errno);
      ++size;
      ++batch_points;
    }
    Add(size - end_, batch_points);
  }
  DropBeyondLimit();
  return Ok();
}

void InfluxSpool::Add(std::uint64_t bytes, std::int64_t points) {
  if (!entries_.empty() && !entries_.back().closed &&
      entries_.back().points + points <= batch_points_) {
    entries_.back().bytes += bytes;
    entries_.back().points += points;
  } else {
    entries_.push_back({next_id_++, end_, bytes, points, false});
  }
  end_ += bytes;
  kept_ += bytes;
  points_ += points;
}

std::string InfluxSpool::Append(const InfluxBatch& batch) {
  if (batch.points == 0) return {};
  if (fd_ < 0 || !WriteAll(fd_, batch.lines.data(), batch.lines.size(), end_)) {
    const std::string reason = std::strerror(fd_ < 0 ? EBADF : errno != 0 ? errno : EIO);
    // Nothing half written stays for the next run to read.
    if (fd_ >= 0) {
      [[maybe_unused]] const int cut = ::ftruncate(fd_, static_cast<off_t>(end_));
    }
    dropped_ += batch.points;
    return reason;
  }
  Add(batch.lines.size(), batch.points);
  DropBeyondLimit();
  return {};
}

void InfluxSpool::DropBeyondLimit() {
  // The oldest go first, but never the batch being sent: it is on its way to the server, and
  // whether it arrives is counted when the answer comes.
  while (kept_ > limit_) {
    const std::size_t oldest = !entries_.empty() && entries_.front().closed ? 1 : 0;
    if (oldest >= entries_.size()) break;
    const Entry& entry = entries_[oldest];
    kept_ -= entry.bytes;
    points_ -= entry.points;
    dropped_ += entry.points;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(oldest));
  }
  Shrink();
}

std::optional<std::pair<std::uint64_t, InfluxBatch>> InfluxSpool::Front() {
  if (entries_.empty()) return std::nullopt;
  Entry& oldest = entries_.front();
  InfluxBatch batch;
  batch.lines.resize(oldest.bytes);
  batch.points = oldest.points;
  if (!ReadAll(fd_, batch.lines.data(), batch.lines.size(), oldest.offset)) return std::nullopt;
  oldest.closed = true;
  return std::make_pair(oldest.id, std::move(batch));
}

void InfluxSpool::Pop(std::uint64_t id) {
  if (entries_.empty() || entries_.front().id != id) return;
  kept_ -= entries_.front().bytes;
  points_ -= entries_.front().points;
  entries_.pop_front();
  Shrink();
}

void InfluxSpool::Shrink() {
  if (fd_ < 0) return;
  if (entries_.empty()) {
    if (end_ > 0 && ::ftruncate(fd_, 0) == 0) kept_ = end_ = 0;
    return;
  }
  const std::uint64_t spent = end_ - kept_;
  if (spent >= kShrinkBytes && spent >= kept_) Compact();
}

void InfluxSpool::Compact() {
  if (fd_ < 0 || kept_ == end_) return;
  // Each batch moves towards the file's start, behind the one before it, leaving out what was
  // sent or dropped; forward, chunk by chunk, as the target lies before the source. A crash
  // midway leaves some points twice in the file, which InfluxDB takes as one.
  std::vector<char> chunk(kChunk);
  std::uint64_t to = 0;
  for (Entry& entry : entries_) {
    for (std::uint64_t done = 0; entry.offset != to && done < entry.bytes;) {
      const std::size_t size =
          static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, entry.bytes - done));
      if (!ReadAll(fd_, chunk.data(), size, entry.offset + done) ||
          !WriteAll(fd_, chunk.data(), size, to + done)) {
        return;
      }
      done += size;
    }
    entry.offset = to;
    to += entry.bytes;
  }
  if (::ftruncate(fd_, static_cast<off_t>(to)) != 0) return;
  end_ = to;
}

}  // namespace talphex
