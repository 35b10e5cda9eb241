// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/capture/frame_merger.h"
#include "net/mqtt_publisher.h"

struct mosquitto;
struct mosquitto_message;

namespace talphex {

inline constexpr std::string_view kDefaultMqttFilter = "talphex/+/frames";

// What is wrong with a subscription filter ("+" and "#" only as whole levels, "#" last); empty
// when nothing is.
std::string MqttFilterProblem(std::string_view filter);

// The persistent session's client id of a merging station: "talphex-STATION-merge".
std::string MqttMergeClientId(std::string_view station);

// A frame message as it came from the broker, the arrival in milliseconds since 1970 UTC.
struct ArrivedMessage {
  std::string topic;
  std::string payload;
  std::int64_t arrival_ms = 0;
};

// The frame a message carries, the station taken from its topic talphex/STATION/frames and a
// null receive time replaced by the arrival; or why the message is not one (the program's own
// words: a topic or payload is never quoted).
struct [[nodiscard]] ArrivedFrame {
  std::optional<HeardFrame> frame;
  std::string error;
};
ArrivedFrame FrameOfMessage(const ArrivedMessage& message);

// Subscribes with QoS 1 from a thread of its own, in a persistent session (the broker keeps the
// frames for a subscriber that is away), reconnecting with growing waits. Messages wait in a
// queue for Take; while it holds kMqttQueueCapacity, the broker is not read, so nothing is
// dropped. Every change of the connection's state is one line handed to the event sink, from the
// subscriber's thread.
class MqttSubscriber {
 public:
  using EventSink = std::function<void(const std::string& line)>;

  MqttSubscriber(MqttSettings settings, std::string filter, EventSink events);
  ~MqttSubscriber();
  MqttSubscriber(const MqttSubscriber&) = delete;
  MqttSubscriber& operator=(const MqttSubscriber&) = delete;

  void Start();
  // Readable while messages wait: a caller can poll it beside other descriptors.
  int wake_fd() const { return wake_[0]; }
  // Moves the waiting messages to `out`.
  void Take(std::vector<ArrivedMessage>& out);
  // Disconnects and ends the thread; what was received before stays for Take.
  void Stop();
  bool ever_connected() const;

 private:
  void Loop();
  bool Connection(struct mosquitto* mosq);
  void Say(const std::string& what);
  void Pause(std::int64_t ms);
  bool Stopping();

  static void OnConnect(struct mosquitto* mosq, void* self, int code);
  static void OnDisconnect(struct mosquitto* mosq, void* self, int code);
  static void OnSubscribe(struct mosquitto* mosq, void* self, int mid, int count,
                          const int* granted);
  static void OnMessage(struct mosquitto* mosq, void* self,
                        const struct mosquitto_message* message);

  MqttSettings settings_;
  std::string filter_;
  EventSink events_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  bool ever_connected_ = false;
  std::deque<ArrivedMessage> queue_;
  int wake_[2] = {-1, -1};
  // Loop thread only.
  enum class Link { kConnecting, kConnected, kRefused, kLost };
  Link link_ = Link::kConnecting;
  std::string lost_reason_;
};

}  // namespace talphex
