// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/expected.h"
#include "core/capture/live_link.h"

namespace talphex {

inline constexpr std::uint16_t kMqttPort = 1883;
inline constexpr std::uint16_t kMqttTlsPort = 8883;

// Where an MQTT broker listens, and whether the connection is TLS.
struct MqttUrl {
  bool tls = false;
  HostPort where;
  std::string Text() const;  // "mqtt://host:port" or "mqtts://host:port"
};

// "mqtt://HOST[:PORT]" (port 1883 by default) or "mqtts://HOST[:PORT]" (8883); HOST may be an
// IPv6 address in brackets. A usage message otherwise.
Expected<MqttUrl> ParseMqttUrl(std::string_view text);

// The broker's user name and password.
struct MqttCredentials {
  std::string user;
  std::string password;
};

// The credentials from the first line of a password file, "user:password" (the password may hold
// ":"), else from the environment values TALPHEX_MQTT_USER and TALPHEX_MQTT_PASSWORD (given here,
// null when unset); none when neither is given. The error names the file or the variable, never
// the password.
Expected<std::optional<MqttCredentials>> ReadMqttCredentials(
    const std::optional<std::string>& password_file, const char* env_user,
    const char* env_password);

}  // namespace talphex
