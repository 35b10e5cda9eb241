// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "core/capture/live_link.h"

namespace talphex {

// When streamed input ends: after a number of decoded frames, after some seconds, or on SIGINT or
// SIGTERM. Signals are caught while one of these exists.
class StreamStop {
 public:
  StreamStop(std::optional<double> seconds);
  ~StreamStop();
  StreamStop(const StreamStop&) = delete;
  StreamStop& operator=(const StreamStop&) = delete;

  // Waits until `fd` is readable (true), or until the time is up, a signal came or `wait_ms`
  // passed (false). A negative fd or wait_ms waits for the other conditions only.
  bool WaitReadable(int fd, std::int64_t wait_ms = -1, short events = 0x001 /* POLLIN */);
  bool stopped();
  // Why streaming ended: "time is up", "interrupted" or "" while it goes on.
  std::string reason();

 private:
  std::optional<std::int64_t> deadline_ms_;  // on the steady clock
};

// Receives the bytes read and the receive time in milliseconds since 1970 UTC; false to stop.
using ByteSink = std::function<bool(std::span<const std::uint8_t> bytes, std::int64_t received_ms)>;

// Reads `fd` until its end, the sink's refusal or a stop. Returns an error text or "".
std::string ReadStream(int fd, StreamStop& stop, const ByteSink& sink);

// Connects to a TNC and reads from it until a stop or the sink's refusal, reconnecting with
// backoff. `restart` is called when a connection ends (the cut-off frame is dropped); it returns
// the bytes it dropped. Each change of state is reported on `err`. Returns whether a connection
// was ever made.
bool ReadKissTcp(const HostPort& where, StreamStop& stop, const ByteSink& sink,
                 const std::function<std::uint64_t()>& restart, std::FILE* err);

std::int64_t NowMs();

}  // namespace talphex
