// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/mqtt_subscriber.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "core/capture/live_link.h"
#include "core/view/conf_ini.h"

namespace talphex {
namespace {

// The granted QoS of a subscription the broker refused.
constexpr int kSubscriptionRefused = 0x80;

std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t UtcMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::string MqttFilterProblem(std::string_view filter) {
  if (filter.empty()) return "the filter is empty";
  if (filter.size() > 65535) return "the filter is longer than MQTT allows";
  std::size_t start = 0;
  while (true) {
    const std::size_t end = std::min(filter.find('/', start), filter.size());
    const std::string_view level = filter.substr(start, end - start);
    for (const char c : level) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
        return "the filter holds a control byte";
    }
    if (level.find_first_of("+#") != std::string_view::npos && level.size() > 1) {
      return "\"+\" and \"#\" must each stand alone between \"/\"";
    }
    if (level == "#" && end != filter.size()) return "\"#\" may only be the last level";
    if (end == filter.size()) return "";
    start = end + 1;
  }
}

std::string MqttMergeClientId(std::string_view station) {
  return "talphex-" + std::string(station) + "-merge";
}

ArrivedFrame FrameOfMessage(const ArrivedMessage& message) {
  constexpr std::string_view kPrefix = "talphex/";
  constexpr std::string_view kSuffix = "/frames";
  std::string_view station = message.topic;
  if (!station.starts_with(kPrefix) || !station.ends_with(kSuffix) ||
      station.size() <= kPrefix.size() + kSuffix.size()) {
    return {std::nullopt, "the topic is not talphex/STATION/frames"};
  }
  station = station.substr(kPrefix.size(), station.size() - kPrefix.size() - kSuffix.size());
  if (!IsStationName(station)) {
    return {std::nullopt, "the topic's station is not a name of letters, digits, - and _"};
  }
  FrameMessageResult parsed = ParseFrameMessage(message.payload);
  if (!parsed.message) return {std::nullopt, parsed.error->reason};
  FrameMessage& frame = *parsed.message;
  return {HeardFrame{std::move(frame.frame), frame.rx_ms.value_or(message.arrival_ms),
                     std::string(station), message.arrival_ms, frame.kiss_port.value_or(0)},
          ""};
}

MqttSubscriber::MqttSubscriber(MqttSettings settings, std::string filter, EventSink events)
    : settings_(std::move(settings)), filter_(std::move(filter)), events_(std::move(events)) {
  if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
}

MqttSubscriber::~MqttSubscriber() {
  Stop();
  for (const int fd : wake_) {
    if (fd >= 0) ::close(fd);
  }
}

void MqttSubscriber::Start() {
  InitialiseMosquitto();
  thread_ = std::thread([this] { Loop(); });
}

void MqttSubscriber::Take(std::vector<ArrivedMessage>& out) {
  {
    const std::lock_guard lock(mutex_);
    for (ArrivedMessage& message : queue_) out.push_back(std::move(message));
    queue_.clear();
    char drained[64];
    while (wake_[0] >= 0 && ::read(wake_[0], drained, sizeof drained) > 0) {
    }
  }
  changed_.notify_all();
}

void MqttSubscriber::Stop() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool MqttSubscriber::ever_connected() const {
  const std::lock_guard lock(mutex_);
  return ever_connected_;
}

bool MqttSubscriber::Stopping() {
  const std::lock_guard lock(mutex_);
  return stop_;
}

void MqttSubscriber::Say(const std::string& what) {
  if (events_) events_("MQTT " + settings_.url.Text() + ": " + what);
}

void MqttSubscriber::Pause(std::int64_t ms) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
}

void MqttSubscriber::Loop() {
  ReconnectBackoff backoff;
  std::minstd_rand random(std::random_device{}());
  const std::string client_id = MqttMergeClientId(settings_.station);
  while (!Stopping()) {
    // The session outlives the connection: the broker keeps the subscription and the frames
    // for this client id while it is away.
    struct mosquitto* mosq = mosquitto_new(client_id.c_str(), false, this);
    bool connected = false;
    if (mosq == nullptr) {
      lost_reason_ = std::strerror(errno);
    } else {
      connected = Connection(mosq);
      if (connected) backoff.Reset();
      mosquitto_destroy(mosq);
    }
    if (Stopping()) break;
    const std::int64_t wait_ms = backoff.Lost(SteadyMs(), static_cast<std::uint32_t>(random()));
    Say(MqttRetryText(link_ == Link::kRefused, connected, lost_reason_, wait_ms));
    Pause(wait_ms);
  }
}

bool MqttSubscriber::Connection(struct mosquitto* mosq) {
  link_ = Link::kConnecting;
  lost_reason_.clear();
  if (std::string problem = SetUpMqttClient(mosq, settings_); !problem.empty()) {
    lost_reason_ = std::move(problem);
    return false;
  }
  mosquitto_connect_callback_set(mosq, &MqttSubscriber::OnConnect);
  mosquitto_disconnect_callback_set(mosq, &MqttSubscriber::OnDisconnect);
  mosquitto_subscribe_callback_set(mosq, &MqttSubscriber::OnSubscribe);
  mosquitto_message_callback_set(mosq, &MqttSubscriber::OnMessage);
  const HostPort& where = settings_.url.where;
  if (const int code =
          mosquitto_connect(mosq, where.host.c_str(), where.port, kMqttKeepAliveSeconds);
      code != MOSQ_ERR_SUCCESS) {
    lost_reason_ = MqttReason(code);
    return false;
  }
  bool connected = false;
  while (true) {
    bool full = false;
    {
      std::unique_lock lock(mutex_);
      if (stop_) break;
      // A full queue leaves the frames with the broker until the decoder has taken some.
      full = !changed_.wait_for(lock, std::chrono::milliseconds(kMqttLoopMs),
                                [this] { return stop_ || queue_.size() < kMqttQueueCapacity; });
      if (stop_) break;
    }
    const int code = full ? mosquitto_loop_misc(mosq) : mosquitto_loop(mosq, kMqttLoopMs, 1);
    if (link_ == Link::kConnected) connected = true;
    if (link_ == Link::kRefused || link_ == Link::kLost) return connected;
    if (code != MOSQ_ERR_SUCCESS) {
      lost_reason_ = MqttReason(code);
      return connected;
    }
  }
  // Acknowledgements of what was received go out before the connection closes, so that the
  // broker does not hand those frames to the next run again.
  // Nothing more is read: a frame not read now stays with the broker for the next run.
  mosquitto_loop_write(mosq, 1);
  mosquitto_disconnect(mosq);
  mosquitto_loop_write(mosq, 1);
  if (connected) Say("disconnected");
  return connected;
}

void MqttSubscriber::OnConnect(struct mosquitto* mosq, void* self, int code) {
  auto& subscriber = *static_cast<MqttSubscriber*>(self);
  if (code != 0) {
    subscriber.link_ = Link::kRefused;
    subscriber.lost_reason_ = mosquitto_connack_string(code);
    return;
  }
  subscriber.link_ = Link::kConnected;
  {
    const std::lock_guard lock(subscriber.mutex_);
    subscriber.ever_connected_ = true;
  }
  mosquitto_subscribe(mosq, nullptr, subscriber.filter_.c_str(), kMqttQos);
  subscriber.Say("connected");
}

void MqttSubscriber::OnDisconnect(struct mosquitto* /*mosq*/, void* self, int code) {
  auto& subscriber = *static_cast<MqttSubscriber*>(self);
  if (subscriber.link_ == Link::kRefused) return;
  subscriber.link_ = Link::kLost;
  if (subscriber.lost_reason_.empty()) {
    subscriber.lost_reason_ = code == 0 ? "disconnected" : mosquitto_strerror(code);
  }
}

void MqttSubscriber::OnSubscribe(struct mosquitto* /*mosq*/, void* self, int /*mid*/, int count,
                                 const int* granted) {
  auto& subscriber = *static_cast<MqttSubscriber*>(self);
  if (count >= 1 && granted[0] == kSubscriptionRefused) {
    subscriber.Say("the broker refused the subscription to " + subscriber.filter_);
  } else {
    subscriber.Say("subscribed to " + subscriber.filter_);
  }
}

void MqttSubscriber::OnMessage(struct mosquitto* /*mosq*/, void* self,
                               const struct mosquitto_message* message) {
  auto& subscriber = *static_cast<MqttSubscriber*>(self);
  ArrivedMessage arrived{message->topic != nullptr ? message->topic : "", std::string(), UtcMs()};
  // A message larger than any frame message is kept only as far as its size shows.
  const std::size_t size = static_cast<std::size_t>(std::max(message->payloadlen, 0));
  arrived.payload.assign(static_cast<const char*>(message->payload),
                         std::min(size, kMaxFrameMessageSize + 1));
  const std::lock_guard lock(subscriber.mutex_);
  const bool was_empty = subscriber.queue_.empty();
  subscriber.queue_.push_back(std::move(arrived));
  if (was_empty && subscriber.wake_[1] >= 0) {
    const char byte = 1;
    (void)!::write(subscriber.wake_[1], &byte, 1);
  }
}

}  // namespace talphex
