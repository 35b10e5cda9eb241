// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/influx_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace talphex {
namespace {

// The longest server message kept for a line.
constexpr std::size_t kReasonLimit = 300;

std::string Seconds(std::chrono::milliseconds wait) {
  const auto tenths = (wait.count() + 50) / 100;
  return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "");
}

// Whether an answer is worth trying again: no answer, a server error, or "come back later".
bool Retried(const HttpResponse& response) {
  return !response.error.empty() || response.status == 408 || response.status == 429 ||
         response.status < 400 || response.status >= 500;
}

// "YYYYMMDDThhmmss" in UTC.
std::string FileTime() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &utc);
  return text;
}

}  // namespace

std::string InfluxSummaryText(std::string_view host, const InfluxCounts& counts) {
  return "InfluxDB " + std::string(host) + ": " + std::to_string(counts.sent) + " sent, " +
         std::to_string(counts.waiting) + " waiting, " + std::to_string(counts.rejected) +
         " rejected, " + std::to_string(counts.dropped) + " dropped";
}

std::string InfluxServerReason(long status, std::string_view body) {
  std::string message;
  constexpr std::string_view kKey = "\"error\":\"";
  if (const std::size_t key = body.find(kKey); key != std::string_view::npos) {
    for (std::size_t i = key + kKey.size(); i < body.size() && body[i] != '"'; ++i) {
      // JSON escapes kept as they are but for the quote and the backslash.
      if (body[i] == '\\' && i + 1 < body.size() && (body[i + 1] == '"' || body[i + 1] == '\\')) {
        ++i;
      }
      message.push_back(body[i]);
    }
  } else {
    message = std::string(body.substr(0, std::min(body.find('\n'), body.size())));
  }
  while (!message.empty() && (message.back() == '\r' || message.back() == ' ')) message.pop_back();
  if (message.size() > kReasonLimit) message = message.substr(0, kReasonLimit) + "...";
  return "HTTP " + std::to_string(status) + (message.empty() ? "" : ": " + message);
}

std::chrono::milliseconds InfluxRetryWait(int failures, std::chrono::milliseconds first,
                                          std::chrono::milliseconds last) {
  std::chrono::milliseconds wait = first;
  for (int i = 1; i < failures && wait < last; ++i) wait *= 2;
  return std::min(wait, last);
}

InfluxSend InfluxHttpSender(const InfluxUrl& url, std::string token) {
  HttpRequest request;
  request.url = url.text;
  request.content_type = "text/plain; charset=utf-8";
  if (!token.empty()) request.headers.push_back("Authorization: Token " + token);
  // Short, so that the end of a run is not held up for long by a server that does not answer.
  request.timeout = std::chrono::seconds(5);
  return [request](const std::string& body) mutable {
    request.body = body;
    HttpResponse response = HttpPost(request);
    request.body.clear();
    return response;
  };
}

InfluxWriter::InfluxWriter(InfluxWriterSettings settings, InfluxSend send, EventSink events)
    : settings_(std::move(settings)),
      send_(std::move(send)),
      events_(std::move(events)),
      batcher_(settings_.batch_points, settings_.batch_age),
      spool_(settings_.folder + "/" + kInfluxSpoolName, settings_.spool_limit,
             settings_.batch_points) {}

InfluxWriter::~InfluxWriter() {
  if (thread_.joinable()) Finish(std::chrono::milliseconds(0));
}

Status InfluxWriter::Open() {
  if (Status opened = spool_.Open(); !opened) return opened;
  if (spool_.points() > 0) {
    Say(std::to_string(spool_.points()) + " points left by an earlier run in " + spool_.path() +
        " are sent first");
  }
  if (spool_.dropped() > 0) {
    Say(std::to_string(spool_.dropped()) + " of them beyond the spool's limit were dropped");
  }
  return Ok();
}

void InfluxWriter::Start() {
  thread_ = std::thread([this] { Loop(); });
}

void InfluxWriter::Add(std::string_view line) {
  const std::lock_guard lock(mutex_);
  const std::size_t sealed = batcher_.sealed().size();
  const bool first = !batcher_.Deadline();
  batcher_.Add(line, Clock::now());
  // While a request is under way, a burst of points goes to the disk, not to memory.
  if (batcher_.sealed_bytes() > settings_.memory_limit) SpoolSealed();
  // The sender learns of a new deadline or a full batch; other points need no wake-up.
  if (first || batcher_.sealed().size() != sealed) changed_.notify_all();
}

void InfluxWriter::Finish(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  finishing_ = true;
  batcher_.Seal(Clock::now(), true);
  changed_.notify_all();
  changed_.wait_for(lock, timeout, [this] { return Idle(); });
  stop_ = true;
  changed_.notify_all();
  lock.unlock();
  if (thread_.joinable()) thread_.join();
  lock.lock();
  batcher_.Seal(Clock::now(), true);
  SpoolSealed();
  spool_.Compact();
  if (spool_.points() > 0) {
    Say(std::to_string(spool_.points()) + " points wait in " + spool_.path() + " for the next run");
  }
}

InfluxCounts InfluxWriter::counts() const {
  const std::lock_guard lock(mutex_);
  return {sent_, batcher_.points() + spool_.points() + in_flight_, rejected_, spool_.dropped()};
}

bool InfluxWriter::Idle() const {
  return batcher_.points() == 0 && spool_.empty() && in_flight_ == 0;
}

void InfluxWriter::Loop() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    const Clock::time_point now = Clock::now();
    batcher_.Seal(now, finishing_);
    const bool backing_off = now < retry_at_;
    // Batches keep their order: once some wait in the spool, the new ones queue behind them.
    if (backing_off || !spool_.empty()) SpoolSealed();
    if (!backing_off) {
      if (auto oldest = spool_.Front()) {
        Send(lock, std::move(oldest->second), oldest->first);
        continue;
      }
      if (!batcher_.sealed().empty()) {
        InfluxBatch batch = std::move(batcher_.sealed().front());
        batcher_.sealed().pop_front();
        Send(lock, std::move(batch), 0);
        continue;
      }
    }
    if (Idle()) changed_.notify_all();  // Finish() waits for this
    std::optional<Clock::time_point> until = batcher_.Deadline();
    if (backing_off) until = until ? std::min(*until, retry_at_) : retry_at_;
    if (until) {
      changed_.wait_until(lock, *until);
    } else {
      changed_.wait(lock);
    }
  }
}

void InfluxWriter::Send(std::unique_lock<std::mutex>& lock, InfluxBatch batch,
                        std::uint64_t spool_id) {
  if (spool_id == 0) in_flight_ = batch.points;
  lock.unlock();
  const HttpResponse response = send_(batch.lines);
  lock.lock();
  in_flight_ = 0;
  if (response.Success() || !Retried(response)) {
    if (spool_id != 0) spool_.Pop(spool_id);
    if (response.Success()) {
      sent_ += batch.points;
    } else {
      Reject(batch, InfluxServerReason(response.status, response.body));
    }
    if (failures_ > 0) {
      Say("writing again; " + std::to_string(spool_.points() + batcher_.points()) +
          " points waiting");
    }
    failures_ = 0;
    retry_at_ = {};
    return;
  }
  if (spool_id == 0) Spool(batch);
  SpoolSealed();
  const std::chrono::milliseconds wait =
      InfluxRetryWait(++failures_, settings_.first_retry, settings_.last_retry);
  retry_at_ = Clock::now() + wait;
  const std::string reason =
      response.error.empty() ? InfluxServerReason(response.status, response.body) : response.error;
  Say("cannot write: " + reason + "; " + std::to_string(spool_.points()) + " points wait in " +
      spool_.path() + ", retrying in " + Seconds(wait) + " s");
}

void InfluxWriter::Spool(const InfluxBatch& batch) {
  const std::int64_t dropped = spool_.dropped();
  if (const std::string failed = spool_.Append(batch); !failed.empty()) {
    Say(spool_.path() + ": " + failed + "; " + std::to_string(batch.points) + " points dropped");
  } else if (spool_.dropped() > dropped && !drop_said_) {
    Say("the spool " + spool_.path() + " is full (" +
        std::to_string(settings_.spool_limit / (1024 * 1024)) +
        " MB): the oldest points are dropped");
    drop_said_ = true;
  }
}

void InfluxWriter::SpoolSealed() {
  for (const InfluxBatch& batch : batcher_.TakeSealed()) Spool(batch);
}

void InfluxWriter::Reject(const InfluxBatch& batch, const std::string& reason) {
  rejected_ += batch.points;
  const std::string stem = settings_.folder + "/rejected-" + FileTime() + "-";
  std::string path;
  int fd = -1;
  // A new file, never one that exists.
  for (int attempt = 0; attempt < 1000 && fd < 0; ++attempt) {
    path = stem + std::to_string(++rejected_files_) + ".lp";
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  std::string kept = "kept in " + path;
  if (fd < 0) {
    kept = "cannot keep them in " + path + ": " + std::strerror(errno);
  } else {
    std::string_view rest = batch.lines;
    while (!rest.empty()) {
      const ssize_t written = ::write(fd, rest.data(), rest.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        kept = "cannot keep them in " + path + ": " + std::strerror(errno != 0 ? errno : EIO);
        break;
      }
      rest.remove_prefix(static_cast<std::size_t>(written));
    }
    if (::close(fd) != 0 && rest.empty()) {
      kept = "cannot keep them in " + path + ": " + std::strerror(errno);
    }
  }
  Say("rejected " + std::to_string(batch.points) + " points: " + reason + "; " + kept);
}

void InfluxWriter::Say(const std::string& what) {
  if (events_) events_("InfluxDB " + settings_.host + ": " + what);
}

}  // namespace talphex
