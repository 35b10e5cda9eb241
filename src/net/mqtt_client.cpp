// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/mqtt_client.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace talphex {

void InitialiseMosquitto() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string MqttReason(int code) {
  return code == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(code);
}

std::string SetUpMqttClient(struct mosquitto* mosq, const MqttSettings& settings) {
  if (settings.credentials) {
    mosquitto_username_pw_set(mosq, settings.credentials->user.c_str(),
                              settings.credentials->password.c_str());
  }
  if (!settings.url.tls) return "";
  const bool own_ca = !settings.ca_file.empty();
  const int code =
      mosquitto_tls_set(mosq, own_ca ? settings.ca_file.c_str() : nullptr,
                        own_ca ? nullptr : "/etc/ssl/certs", nullptr, nullptr, nullptr);
  return code == MOSQ_ERR_SUCCESS ? "" : MqttReason(code);
}

std::string MqttRetryText(bool refused, bool connected, const std::string& reason,
                          std::int64_t wait_ms) {
  const std::string retry = "; reconnecting in " + std::to_string((wait_ms + 500) / 1000) + " s";
  if (refused) return "refused by the broker: " + reason + retry;
  return (connected ? "connection lost: " : "cannot connect: ") + reason + retry;
}

}  // namespace talphex
