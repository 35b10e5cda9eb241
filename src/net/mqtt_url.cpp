// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/mqtt_url.h"

#include <cerrno>
#include <fstream>

#include "core/base/error.h"

namespace talphex {
namespace {

constexpr std::string_view kPlain = "mqtt://";
constexpr std::string_view kTls = "mqtts://";

Error UrlError(std::string_view text) {
  return Error{ErrorKind::kUsage,
               "\"" + std::string(text) + "\" is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"};
}

}  // namespace

std::string MqttUrl::Text() const { return std::string(tls ? kTls : kPlain) + where.Text(); }

Expected<MqttUrl> ParseMqttUrl(std::string_view text) {
  MqttUrl url;
  std::string_view rest;
  if (text.starts_with(kPlain)) {
    rest = text.substr(kPlain.size());
  } else if (text.starts_with(kTls)) {
    url.tls = true;
    rest = text.substr(kTls.size());
  } else {
    return UrlError(text);
  }
  // A port is there when a ":" follows the host (after the brackets of an IPv6 address).
  const std::size_t closing = rest.starts_with('[') ? rest.find(']') : 0;
  if (closing == std::string_view::npos) return UrlError(text);
  const bool has_port = rest.find(':', closing) != std::string_view::npos;
  const std::string host_port =
      has_port ? std::string(rest)
               : std::string(rest) + ":" + std::to_string(url.tls ? kMqttTlsPort : kMqttPort);
  Expected<HostPort> where = ParseHostPort(host_port);
  if (!where || where.value().host.find_first_of("/?#@ ") != std::string::npos) {
    return UrlError(text);
  }
  url.where = where.value();
  return url;
}

Expected<std::optional<MqttCredentials>> ReadMqttCredentials(
    const std::optional<std::string>& password_file, const char* env_user,
    const char* env_password) {
  if (password_file) {
    std::ifstream in(*password_file);
    if (!in) return ReadError(*password_file, errno);
    std::string line;
    std::getline(in, line);
    if (line.ends_with('\r')) line.pop_back();
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) {
      return PathError(ErrorKind::kUsage, *password_file, "the first line must be user:password");
    }
    return std::optional<MqttCredentials>(
        MqttCredentials{line.substr(0, colon), line.substr(colon + 1)});
  }
  if (env_password == nullptr) return std::optional<MqttCredentials>();
  if (env_user == nullptr || *env_user == '\0') {
    return Error{ErrorKind::kUsage, "TALPHEX_MQTT_PASSWORD needs TALPHEX_MQTT_USER"};
  }
  return std::optional<MqttCredentials>(MqttCredentials{env_user, env_password});
}

}  // namespace talphex
