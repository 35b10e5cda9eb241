// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
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
// random so that many stations do not knock at once. A connection that brought a frame, or stood
// kStandMs, starts the waits over from 1 s; one that ends sooner without a frame counts as a
// failed attempt, so that a server that accepts and closes at once is not asked every second.
// Times are milliseconds on any steady clock, given by the caller.
class ReconnectBackoff {
 public:
  static constexpr std::int64_t kFirstMs = 1000;
  static constexpr std::int64_t kLastMs = 30000;
  static constexpr std::int64_t kStandMs = 5000;

  // A connection was made.
  void Connected(std::int64_t now_ms);
  // Bytes read from the connection: once they hold a whole KISS frame (bytes between two
  // delimiters), the connection works.
  void Received(std::span<const std::uint8_t> bytes);
  // The connection ended, or an attempt failed: the wait before the next attempt, in
  // milliseconds. `random` picks the jitter.
  std::int64_t Lost(std::int64_t now_ms, std::uint32_t random);
  // The wait Lost gives next after a failed attempt, without its jitter.
  std::int64_t base_ms() const { return base_ms_; }
  // Back to the first wait, with no connection.
  void Reset();

 private:
  // What the bytes of the connection have shown so far.
  enum class Link : std::uint8_t { kNone, kBeforeDelimiter, kEmptyFrame, kInFrame, kWorks };

  std::int64_t base_ms_ = kFirstMs;
  Link link_ = Link::kNone;
  std::int64_t connected_ms_ = 0;
};

}  // namespace talphex
