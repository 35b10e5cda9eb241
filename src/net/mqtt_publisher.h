// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "core/capture/frame_facts.h"
#include "core/decode/decoder_state.h"
#include "net/bounded_queue.h"
#include "net/mqtt_client.h"
#include "net/mqtt_url.h"

struct mosquitto;

namespace talphex {

// Messages waiting for the broker, at most; beyond it the oldest are dropped and counted.
inline constexpr std::size_t kMqttQueueCapacity = 10'000;

// The topics of a station: talphex/STATION/frames, .../records/beacon|payload, .../status.
std::string MqttFramesTopic(std::string_view station);
std::string MqttRecordsTopic(std::string_view station, Kind kind);
std::string MqttStatusTopic(std::string_view station);

// A received frame as one JSON object: rx_time_utc ("YYYY-MM-DDThh:mm:ss.sssZ", null when the
// frame has no receive time; `millisecond` -1 writes .000), station, frame_hex (the AX.25 frame
// in lower-case hex, without the KISS command byte) and kiss_port (the command byte's port, null
// for a frame that came without one).
std::string MqttFrameJson(const FrameFacts& facts, int millisecond, std::string_view station);

struct MqttCounts {
  std::int64_t published = 0;  // acknowledged by the broker
  std::int64_t dropped = 0;    // pushed out of the full queue
  std::int64_t waiting = 0;    // queued or sent and not yet acknowledged
};

// "MQTT mqtt://host:port: N published, N dropped, N not delivered".
std::string MqttSummaryText(const MqttUrl& url, const MqttCounts& counts);

// Publishes messages with QoS 1 from a thread of its own: connects, says "online" (retained) on
// the station's status topic with "offline" as the last will, and reconnects with growing waits
// when the broker goes away. Messages wait in a bounded queue meanwhile; a message sent but not
// acknowledged when the connection drops is sent again. Every change of the connection's state is
// one line handed to the event sink, from the publisher's thread.
class MqttPublisher {
 public:
  using EventSink = std::function<void(const std::string& line)>;

  MqttPublisher(MqttSettings settings, EventSink events);
  ~MqttPublisher();
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  void Start();
  void Publish(std::string topic, std::string payload);
  // Waits until every message is acknowledged or `timeout` has passed; true when all are.
  bool WaitDelivered(std::chrono::milliseconds timeout);
  // Says "offline" when connected, disconnects and ends the thread; what was not acknowledged
  // stays counted as waiting.
  void Stop();
  MqttCounts counts() const;

 private:
  struct Message {
    std::string topic;
    std::string payload;
  };
  void Loop();
  // One connection from its attempt to its end; false when the attempt failed.
  bool Connection(struct mosquitto* mosq);
  void SendQueued(struct mosquitto* mosq);
  // Waits up to a loop's time for the broker's socket, or for a message or a stop, which the
  // wait inside mosquitto_loop alone would only see at its end.
  void WaitForWork(struct mosquitto* mosq);
  // Ends WaitForWork's wait; any thread.
  void Wake();
  void Say(const std::string& what);
  // Waits `ms` unless stopped first.
  void Pause(std::int64_t ms);

  static void OnConnect(struct mosquitto* mosq, void* self, int code);
  static void OnDisconnect(struct mosquitto* mosq, void* self, int code);
  static void OnPublish(struct mosquitto* mosq, void* self, int mid);

  MqttSettings settings_;
  EventSink events_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  BoundedQueue<Message> queue_{kMqttQueueCapacity};
  std::int64_t published_ = 0;
  // Loop thread only: the connection's state and the messages sent, by message id.
  enum class Link { kConnecting, kConnected, kRefused, kLost };
  Link link_ = Link::kConnecting;
  std::string lost_reason_;
  std::map<int, Message> in_flight_;
  std::size_t in_flight_count_ = 0;  // in_flight_.size(), for counts() under the mutex
  std::optional<int> offline_mid_;
  bool offline_acknowledged_ = false;
  int wake_[2] = {-1, -1};  // a pipe: a byte written ends WaitForWork's wait
};

}  // namespace talphex
