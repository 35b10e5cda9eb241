// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/live_link.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <charconv>

#include "core/capture/kiss_stream.h"

namespace talphex {

std::string HostPort::Text() const {
  const bool ipv6 = host.find(':') != std::string::npos;
  return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

Expected<HostPort> ParseHostPort(std::string_view text) {
  const std::string quoted = "\"" + std::string(text) + "\"";
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos)
    return Error{ErrorKind::kBadAddress, quoted + ": expected HOST:PORT"};
  std::string_view host = text.substr(0, colon);
  const std::string_view port_text = text.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string_view::npos) {
    return Error{ErrorKind::kBadAddress,
                 quoted + ": write an IPv6 address in brackets, as [::1]:8001"};
  }
  if (host.empty()) return Error{ErrorKind::kBadAddress, quoted + ": no host"};
  unsigned port = 0;
  const auto [end, error] =
      std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
  if (error != std::errc() || end != port_text.data() + port_text.size() || port == 0 ||
      port > 65535) {
    return Error{ErrorKind::kBadAddress, quoted + ": the port must be a number from 1 to 65535"};
  }
  return HostPort{std::string(host), static_cast<std::uint16_t>(port)};
}

void EnableTcpKeepAlive(int socket_fd) {
  const int on = 1, idle = 60, interval = 10, count = 3;
  ::setsockopt(socket_fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(socket_fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(socket_fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(socket_fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

void ReconnectBackoff::Connected(std::int64_t now_ms) {
  link_ = Link::kBeforeDelimiter;
  connected_ms_ = now_ms;
}

void ReconnectBackoff::Received(std::span<const std::uint8_t> bytes) {
  if (link_ == Link::kNone || link_ == Link::kWorks) return;
  for (const std::uint8_t byte : bytes) {
    if (byte == kFend) {
      if (link_ == Link::kInFrame) {
        link_ = Link::kWorks;
        return;
      }
      link_ = Link::kEmptyFrame;
    } else if (link_ == Link::kEmptyFrame) {
      link_ = Link::kInFrame;
    }
  }
}

std::int64_t ReconnectBackoff::Lost(std::int64_t now_ms, std::uint32_t random) {
  if (link_ == Link::kWorks || (link_ != Link::kNone && now_ms - connected_ms_ >= kStandMs)) {
    base_ms_ = kFirstMs;
  }
  link_ = Link::kNone;
  const std::int64_t wait = base_ms_ + static_cast<std::int64_t>(random % (base_ms_ / 4 + 1));
  base_ms_ = std::min(base_ms_ * 2, kLastMs);
  return wait;
}

void ReconnectBackoff::Reset() {
  base_ms_ = kFirstMs;
  link_ = Link::kNone;
}

}  // namespace talphex
