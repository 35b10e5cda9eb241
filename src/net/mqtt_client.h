// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "net/mqtt_url.h"

struct mosquitto;

namespace talphex {

// How a station reaches its broker, for publishing and for merging alike.
struct MqttSettings {
  MqttUrl url;
  std::string station;
  std::optional<MqttCredentials> credentials;
  std::string ca_file;  // with mqtts://: the certificates that sign the broker's; empty for none
};

// What the publisher and the subscriber share about a connection to the broker.
inline constexpr int kMqttKeepAliveSeconds = 30;
inline constexpr int kMqttQos = 1;
// The longest a client's loop waits for the network before it looks at its queue again.
inline constexpr int kMqttLoopMs = 50;

// Starts libmosquitto once for the process.
void InitialiseMosquitto();

// A libmosquitto result as text; for MOSQ_ERR_ERRNO, errno's.
std::string MqttReason(int code);

// Gives a new client the station's user and password and, for mqtts://, the certificates (the
// system's unless the settings name a CA file). Empty, or why the client cannot use them.
std::string SetUpMqttClient(struct mosquitto* mosq, const MqttSettings& settings);

// The line for a connection that has ended and is tried again in `wait_ms`: "refused by the
// broker: REASON; reconnecting in N s", "connection lost: ..." after a connection was made,
// "cannot connect: ..." when none was.
std::string MqttRetryText(bool refused, bool connected, const std::string& reason,
                          std::int64_t wait_ms);

}  // namespace talphex
