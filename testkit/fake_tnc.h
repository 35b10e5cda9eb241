// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A TNC serving KISS over TCP on the loopback interface, for tests of live intake.

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace talphex {

// Serves one script per connection it accepts: the chunks are sent one write each (or one byte
// per write), then the connection is closed, except the last one, which stays open until the
// client closes it. It serves from a thread, or from a child process for tests that fork the
// client: a child forked while a server thread holds a lock (the allocator's) could hang.
class FakeTnc {
 public:
  enum class Server { kThread, kChildProcess };

  FakeTnc(std::vector<std::vector<std::string>> connections, bool byte_by_byte,
          Server server = Server::kThread)
      : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      std::fputs("fake TNC cannot listen\n", stderr);
    }
    port_ = ntohs(address.sin_port);
    if (server == Server::kChildProcess) {
      std::fflush(nullptr);
      child_ = ::fork();
      if (child_ == 0) {
        Serve(connections, byte_by_byte);
        ::_exit(0);
      }
      return;
    }
    server_ = std::thread([this, connections = std::move(connections), byte_by_byte] {
      Serve(connections, byte_by_byte);
    });
  }
  ~FakeTnc() {
    if (child_ > 0) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    } else {
      // Wakes a server still waiting for a connection that will not come.
      ::shutdown(listener_, SHUT_RDWR);
      server_.join();
    }
    ::close(listener_);
  }
  FakeTnc(const FakeTnc&) = delete;
  FakeTnc& operator=(const FakeTnc&) = delete;
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  void Serve(const std::vector<std::vector<std::string>>& connections, bool byte_by_byte) {
    for (std::size_t n = 0; n < connections.size(); ++n) {
      const int fd = Accept();
      if (fd < 0) return;
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      for (const std::string& chunk : connections[n]) {
        const std::size_t step = byte_by_byte ? 1 : chunk.size();
        for (std::size_t at = 0; at < chunk.size(); at += step) {
          if (::send(fd, chunk.data() + at, std::min(step, chunk.size() - at), MSG_NOSIGNAL) < 0) {
            break;
          }
        }
      }
      if (n + 1 == connections.size()) {
        char byte;
        pollfd wait{fd, POLLIN, 0};
        while (::poll(&wait, 1, 30000) > 0 && ::read(fd, &byte, 1) > 0) {
        }
      }
      ::close(fd);
    }
  }

  int Accept() {
    pollfd wait{listener_, POLLIN, 0};
    if (::poll(&wait, 1, 30000) <= 0) return -1;
    return ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  }

  int listener_;
  std::uint16_t port_ = 0;
  std::thread server_;
  pid_t child_ = -1;
};

// A loopback port with nothing listening on it: connecting is refused at once.
inline std::uint16_t RefusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

}  // namespace talphex
