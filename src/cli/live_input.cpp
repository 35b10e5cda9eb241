// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/live_input.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <random>

#include "core/base/text_safety.h"
#include "core/view/status_texts.h"

namespace talphex {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

// Signal handlers may only write to a pipe; poll() wakes on it, so waiting costs no CPU.
int wake_pipe[2] = {-1, -1};
volatile std::sig_atomic_t signalled = 0;
struct sigaction old_int {};
struct sigaction old_term {};

extern "C" void OnStopSignal(int) {
  signalled = 1;
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(wake_pipe[1], &byte, 1);
}

std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Every message names the host given by the user or a reason from the system: escaped whole, so
// that no byte of theirs steers the terminal.
void Report(std::FILE* err, const std::string& text) {
  const std::string line = "talphex-cli: " + TerminalText(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), err);
  std::fflush(err);
}

// Connects with a time limit that a stop cuts short; the socket or -1 and the reason.
int Connect(const HostPort& where, StreamStop& stop, std::string& reason) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int lookup =
      ::getaddrinfo(where.host.c_str(), std::to_string(where.port).c_str(), &hints, &found);
  if (lookup != 0) {
    reason = ::gai_strerror(lookup);
    return -1;
  }
  int fd = -1;
  for (addrinfo* address = found; address != nullptr && !stop.stopped();
       address = address->ai_next) {
    fd = ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                  address->ai_protocol);
    if (fd < 0) {
      reason = std::strerror(errno);
      continue;
    }
    int error = 0;
    if (::connect(fd, address->ai_addr, address->ai_addrlen) != 0) {
      error = errno;
      if (error == EINPROGRESS) {
        if (stop.WaitReadable(fd, kConnectTimeoutMs, POLLOUT)) {
          socklen_t size = sizeof error;
          ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
        } else {
          error = stop.stopped() ? EINTR : ETIMEDOUT;
        }
      }
    }
    if (error == 0) break;
    reason = std::strerror(error);
    ::close(fd);
    fd = -1;
  }
  ::freeaddrinfo(found);
  if (fd >= 0) EnableTcpKeepAlive(fd);
  return fd;
}

}  // namespace

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

StreamStop::StreamStop(std::optional<double> seconds) {
  if (seconds) deadline_ms_ = SteadyMs() + static_cast<std::int64_t>(*seconds * 1000);
  signalled = 0;
  if (::pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) wake_pipe[0] = wake_pipe[1] = -1;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &old_int);
  ::sigaction(SIGTERM, &action, &old_term);
}

StreamStop::~StreamStop() {
  ::sigaction(SIGINT, &old_int, nullptr);
  ::sigaction(SIGTERM, &old_term, nullptr);
  for (int& fd : wake_pipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

bool StreamStop::stopped() {
  return signalled != 0 || (deadline_ms_ && SteadyMs() >= *deadline_ms_);
}

std::string StreamStop::reason() {
  if (signalled != 0) return "interrupted";
  if (deadline_ms_ && SteadyMs() >= *deadline_ms_) return "time is up";
  return "";
}

bool StreamStop::WaitReadable(int fd, std::int64_t wait_ms, short events) {
  const std::int64_t until = wait_ms >= 0 ? SteadyMs() + wait_ms : -1;
  for (;;) {
    if (stopped()) return false;
    std::int64_t timeout = -1;
    if (deadline_ms_) timeout = *deadline_ms_ - SteadyMs();
    if (until >= 0)
      timeout = timeout < 0 ? until - SteadyMs() : std::min(timeout, until - SteadyMs());
    if (until >= 0 && timeout <= 0) return false;
    std::array<pollfd, 2> fds{{{wake_pipe[0], POLLIN, 0}, {fd, events, 0}}};
    const int ready =
        ::poll(fds.data(), fd >= 0 ? 2 : 1, static_cast<int>(std::max<std::int64_t>(timeout, -1)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready > 0 && fd >= 0 && fds[1].revents != 0) return true;
  }
}

std::string ReadStream(int fd, StreamStop& stop, const ByteSink& sink) {
  std::vector<std::uint8_t> chunk(kReadChunk);
  while (stop.WaitReadable(fd)) {
    const ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return std::strerror(errno);
    }
    if (got == 0) return "";
    if (!sink({chunk.data(), static_cast<std::size_t>(got)}, NowMs())) return "";
  }
  return "";
}

bool ReadKissTcp(const HostPort& where, StreamStop& stop, const ByteSink& sink,
                 const std::function<std::uint64_t()>& restart, std::FILE* err) {
  std::minstd_rand random(static_cast<std::uint32_t>(NowMs()));
  ReconnectBackoff backoff;
  bool ever_connected = false;
  bool sink_done = false;
  while (!stop.stopped() && !sink_done) {
    Report(err, LinkStateText({.phase = LinkState::Phase::kConnecting, .where = where.Text()}));
    std::string reason;
    const int fd = Connect(where, stop, reason);
    if (fd >= 0) {
      ever_connected = true;
      backoff.Connected(SteadyMs());
      Report(err, LinkStateText({.phase = LinkState::Phase::kConnected, .where = where.Text()}));
      // Read only: the TNC never hears from this program.
      std::vector<std::uint8_t> chunk(kReadChunk);
      reason = kClosedByTncText;
      while (stop.WaitReadable(fd)) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) {
          if (got < 0) reason = std::strerror(errno);
          break;
        }
        const std::span<const std::uint8_t> bytes(chunk.data(), static_cast<std::size_t>(got));
        backoff.Received(bytes);
        if (!sink(bytes, NowMs())) {
          sink_done = true;
          break;
        }
      }
      ::close(fd);
      const std::uint64_t dropped = restart();
      if (dropped > 0) reason += ", " + CutOffText(dropped);
      if (stop.stopped() || sink_done) break;
    } else if (stop.stopped()) {
      break;
    }
    const std::int64_t wait = backoff.Lost(SteadyMs(), static_cast<std::uint32_t>(random()));
    Report(err, LinkStateText({LinkState::Phase::kRetrying, where.Text(), reason, wait}));
    stop.WaitReadable(-1, wait);
  }
  Report(err, LinkStateText({}));
  return ever_connected;
}

}  // namespace talphex
