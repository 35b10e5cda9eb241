// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/expected.h"

namespace talphex {

// Where a TNC serves KISS over TCP.
struct HostPort {
  std::string host;
  std::uint16_t port = 0;
  std::string Text() const;  // "host:port", IPv6 addresses in brackets
};

// "HOST:PORT", "[IPv6]:PORT"; the port 1 to 65535.
Expected<HostPort> ParseHostPort(std::string_view text);

// Turns TCP keep-alive on for a connected socket, probing after a minute of silence, so that a TNC
// that went away without closing is found also between passes, when no frame comes for long.
void EnableTcpKeepAlive(int socket_fd);

// Waits between connection attempts: 1 s, doubling up to 30 s, each with up to a quarter more at
// random so that many stations do not knock at once; back to 1 s once a connection stands.
class ReconnectBackoff {
 public:
  static constexpr std::int64_t kFirstMs = 1000;
  static constexpr std::int64_t kLastMs = 30000;

  // The wait before the next attempt, in milliseconds; `random` picks the jitter.
  std::int64_t NextMs(std::uint32_t random);
  // The wait NextMs gives next, without its jitter.
  std::int64_t base_ms() const { return base_ms_; }
  void Reset() { base_ms_ = kFirstMs; }

 private:
  std::int64_t base_ms_ = kFirstMs;
};

}  // namespace talphex
