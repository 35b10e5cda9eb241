// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/mqtt_publisher.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <random>

#include "core/capture/live_link.h"
#include "core/export/analysis_exports.h"

namespace talphex {
namespace {

// Messages sent and not yet acknowledged, at most: libmosquitto's own default.
constexpr std::size_t kMaxInFlight = 20;
// How long a run that ends waits for the broker to take its "offline".
constexpr std::int64_t kOfflineWaitMs = 2000;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::string MqttFramesTopic(std::string_view station) {
  return "talphex/" + std::string(station) + "/frames";
}

std::string MqttRecordsTopic(std::string_view station, Kind kind) {
  return "talphex/" + std::string(station) + "/records/" + std::string(KindName(kind));
}

std::string MqttStatusTopic(std::string_view station) {
  return "talphex/" + std::string(station) + "/status";
}

std::string MqttFrameJson(const FrameFacts& facts, int millisecond, std::string_view station) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const std::string time = IsoUtcTime(facts.rx_time, millisecond < 0 ? 0 : millisecond);
  std::string_view frame = facts.bytes;
  const bool has_port = facts.kiss && !frame.empty();
  const int port = has_port ? static_cast<std::uint8_t>(frame.front()) >> 4 : 0;
  if (has_port) frame.remove_prefix(1);
  std::string json = "{\"rx_time_utc\":" + (time.empty() ? "null" : "\"" + time + "\"") +
                     ",\"station\":\"" + std::string(station) + "\",\"frame_hex\":\"";
  for (const char byte : frame) {
    json += kDigits[static_cast<std::uint8_t>(byte) >> 4];
    json += kDigits[static_cast<std::uint8_t>(byte) & 0xF];
  }
  json += "\",\"kiss_port\":" + (has_port ? std::to_string(port) : "null") + "}";
  return json;
}

std::string MqttSummaryText(const MqttUrl& url, const MqttCounts& counts) {
  return "MQTT " + url.Text() + ": " + std::to_string(counts.published) + " published, " +
         std::to_string(counts.dropped) + " dropped, " + std::to_string(counts.waiting) +
         " not delivered";
}

MqttPublisher::MqttPublisher(MqttSettings settings, EventSink events)
    : settings_(std::move(settings)), events_(std::move(events)) {
  if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
}

MqttPublisher::~MqttPublisher() {
  Stop();
  for (const int fd : wake_) {
    if (fd >= 0) ::close(fd);
  }
}

void MqttPublisher::Start() {
  InitialiseMosquitto();
  thread_ = std::thread([this] { Loop(); });
}

void MqttPublisher::Publish(std::string topic, std::string payload) {
  {
    const std::lock_guard lock(mutex_);
    // A queue that holds messages is emptied by the loop without being woken again.
    if (queue_.empty()) Wake();
    queue_.Push({std::move(topic), std::move(payload)});
  }
  changed_.notify_all();
}

void MqttPublisher::Wake() {
  if (wake_[1] < 0) return;
  const char byte = 1;
  (void)!::write(wake_[1], &byte, 1);
}

void MqttPublisher::WaitForWork(struct mosquitto* mosq) {
  const int socket = mosquitto_socket(mosq);
  if (socket < 0) return;
  const auto socket_events =
      static_cast<short>(POLLIN | (mosquitto_want_write(mosq) ? POLLOUT : 0));
  std::array<pollfd, 2> fds{{{socket, socket_events, 0}, {wake_[0], POLLIN, 0}}};
  (void)::poll(fds.data(), fds.size(), kMqttLoopMs);
  char drained[64];
  while (wake_[0] >= 0 && ::read(wake_[0], drained, sizeof drained) > 0) {
  }
}

bool MqttPublisher::WaitDelivered(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout,
                           [this] { return queue_.empty() && in_flight_count_ == 0; });
}

void MqttPublisher::Stop() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  Wake();
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

MqttCounts MqttPublisher::counts() const {
  const std::lock_guard lock(mutex_);
  return {published_, queue_.dropped(),
          static_cast<std::int64_t>(queue_.size() + in_flight_count_)};
}

void MqttPublisher::Say(const std::string& what) {
  if (events_) events_("MQTT " + settings_.url.Text() + ": " + what);
}

void MqttPublisher::Pause(std::int64_t ms) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
}

void MqttPublisher::Loop() {
  ReconnectBackoff backoff;
  std::minstd_rand random(std::random_device{}());
  while (true) {
    {
      const std::lock_guard lock(mutex_);
      if (stop_) break;
    }
    struct mosquitto* mosq = mosquitto_new(nullptr, true, this);
    bool connected = false;
    if (mosq == nullptr) {
      lost_reason_ = std::strerror(errno);
    } else {
      connected = Connection(mosq);
      // A connection that was made starts the waits over.
      if (connected) backoff.Reset();
      mosquitto_destroy(mosq);
    }
    {
      // What was sent and not acknowledged goes out again, oldest first.
      const std::lock_guard lock(mutex_);
      for (auto sent = in_flight_.rbegin(); sent != in_flight_.rend(); ++sent) {
        queue_.PushOldest(std::move(sent->second));
      }
      in_flight_.clear();
      in_flight_count_ = 0;
      if (stop_) break;
    }
    const std::int64_t wait_ms = backoff.Lost(NowMs(), static_cast<std::uint32_t>(random()));
    Say(MqttRetryText(link_ == Link::kRefused, connected, lost_reason_, wait_ms));
    Pause(wait_ms);
  }
}

bool MqttPublisher::Connection(struct mosquitto* mosq) {
  link_ = Link::kConnecting;
  lost_reason_.clear();
  offline_mid_.reset();
  offline_acknowledged_ = false;
  const std::string status = MqttStatusTopic(settings_.station);
  mosquitto_will_set(mosq, status.c_str(), 7, "offline", kMqttQos, true);
  if (std::string problem = SetUpMqttClient(mosq, settings_); !problem.empty()) {
    lost_reason_ = std::move(problem);
    return false;
  }
  mosquitto_connect_callback_set(mosq, &MqttPublisher::OnConnect);
  mosquitto_disconnect_callback_set(mosq, &MqttPublisher::OnDisconnect);
  mosquitto_publish_callback_set(mosq, &MqttPublisher::OnPublish);
  const HostPort& where = settings_.url.where;
  if (const int code =
          mosquitto_connect(mosq, where.host.c_str(), where.port, kMqttKeepAliveSeconds);
      code != MOSQ_ERR_SUCCESS) {
    lost_reason_ = MqttReason(code);
    return false;
  }
  bool connected = false;
  std::int64_t stop_deadline = -1;
  while (true) {
    bool stopping = false;
    {
      const std::lock_guard lock(mutex_);
      stopping = stop_;
    }
    if (stopping && stop_deadline < 0) {
      if (link_ != Link::kConnected) return connected;
      // A run that ends says so itself: the last will is only for one that dies.
      int mid = 0;
      if (mosquitto_publish(mosq, &mid, status.c_str(), 7, "offline", kMqttQos, true) ==
          MOSQ_ERR_SUCCESS) {
        offline_mid_ = mid;
      }
      stop_deadline = NowMs() + kOfflineWaitMs;
    }
    if (stop_deadline >= 0 && (offline_acknowledged_ || !offline_mid_ || NowMs() > stop_deadline)) {
      mosquitto_disconnect(mosq);
      return connected;
    }
    if (link_ == Link::kConnected && !stopping) SendQueued(mosq);
    WaitForWork(mosq);
    const int code = mosquitto_loop(mosq, 0, 1);
    if (link_ == Link::kConnected) connected = true;
    if (link_ == Link::kRefused || link_ == Link::kLost) return connected;
    if (code != MOSQ_ERR_SUCCESS) {
      lost_reason_ = MqttReason(code);
      return connected;
    }
  }
}

void MqttPublisher::SendQueued(struct mosquitto* mosq) {
  while (in_flight_.size() < kMaxInFlight) {
    std::optional<Message> message;
    {
      const std::lock_guard lock(mutex_);
      message = queue_.Pop();
      if (!message) return;
      ++in_flight_count_;
    }
    int mid = 0;
    const int code = mosquitto_publish(mosq, &mid, message->topic.c_str(),
                                       static_cast<int>(message->payload.size()),
                                       message->payload.data(), kMqttQos, false);
    if (code != MOSQ_ERR_SUCCESS) {
      const std::lock_guard lock(mutex_);
      queue_.PushOldest(std::move(*message));
      --in_flight_count_;
      return;
    }
    in_flight_.emplace(mid, std::move(*message));
  }
}

void MqttPublisher::OnConnect(struct mosquitto* mosq, void* self, int code) {
  auto& publisher = *static_cast<MqttPublisher*>(self);
  if (code != 0) {
    publisher.link_ = Link::kRefused;
    publisher.lost_reason_ = mosquitto_connack_string(code);
    return;
  }
  publisher.link_ = Link::kConnected;
  const std::string status = MqttStatusTopic(publisher.settings_.station);
  mosquitto_publish(mosq, nullptr, status.c_str(), 6, "online", kMqttQos, true);
  publisher.Say("connected");
}

void MqttPublisher::OnDisconnect(struct mosquitto* /*mosq*/, void* self, int code) {
  auto& publisher = *static_cast<MqttPublisher*>(self);
  if (publisher.link_ == Link::kRefused) return;
  publisher.link_ = Link::kLost;
  if (publisher.lost_reason_.empty()) {
    publisher.lost_reason_ = code == 0 ? "disconnected" : mosquitto_strerror(code);
  }
}

void MqttPublisher::OnPublish(struct mosquitto* /*mosq*/, void* self, int mid) {
  auto& publisher = *static_cast<MqttPublisher*>(self);
  if (publisher.offline_mid_ == mid) publisher.offline_acknowledged_ = true;
  if (publisher.in_flight_.erase(mid) == 0) return;
  {
    const std::lock_guard lock(publisher.mutex_);
    ++publisher.published_;
    --publisher.in_flight_count_;
  }
  publisher.changed_.notify_all();
}

}  // namespace talphex
