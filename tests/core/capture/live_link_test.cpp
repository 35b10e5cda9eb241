// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/live_link.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace talphex {
namespace {

TEST(HostPort, ParsesHostAndPort) {
  struct Case {
    const char* text;
    const char* host;  // nullptr when the text is refused
    std::uint16_t port;
    const char* shown;  // or, for a refused text, why
  };
  const Case kCases[] = {
      {"localhost:8001", "localhost", 8001, "localhost:8001"},
      {"192.0.2.7:65535", "192.0.2.7", 65535, "192.0.2.7:65535"},
      {"[::1]:8100", "::1", 8100, "[::1]:8100"},
      {"[a]:1", "a", 1, "a:1"},
      {"::1:8100", nullptr, 0, "write an IPv6 address in brackets, as [::1]:8001"},
      {"localhost", nullptr, 0, "expected HOST:PORT"},
      {":8001", nullptr, 0, "no host"},
      {"[]:8001", nullptr, 0, "no host"},
      {"host:0", nullptr, 0, "the port must be a number from 1 to 65535"},
      {"host:65536", nullptr, 0, "the port must be a number from 1 to 65535"},
      {"host:80x", nullptr, 0, "the port must be a number from 1 to 65535"},
      {"host:", nullptr, 0, "the port must be a number from 1 to 65535"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const Expected<HostPort> parsed = ParseHostPort(c.text);
    ASSERT_EQ(parsed.ok(), c.host != nullptr);
    if (!parsed) {
      EXPECT_EQ(parsed.error().kind, ErrorKind::kBadAddress);
      EXPECT_EQ(parsed.error().message, "\"" + std::string(c.text) + "\": " + c.shown);
      continue;
    }
    EXPECT_EQ(parsed.value().host, c.host);
    EXPECT_EQ(parsed.value().port, c.port);
    EXPECT_EQ(parsed.value().Text(), c.shown);
  }
}

// 1 s doubling to 30 s, each wait with at most a quarter more; Reset starts it over.
TEST(ReconnectBackoff, DoublesToThirtySecondsWithJitter) {
  const std::int64_t kBases[] = {1000, 2000, 4000, 8000, 16000, 30000, 30000};
  for (std::uint32_t random : {0u, 1u, 0xFFFFFFFFu, 123457u}) {
    ReconnectBackoff backoff;
    for (std::int64_t base : kBases) {
      const std::int64_t wait = backoff.Lost(0, random);
      EXPECT_GE(wait, base);
      EXPECT_LE(wait, base + base / 4);
    }
    backoff.Reset();
    EXPECT_EQ(backoff.base_ms(), 1000);
  }
  ReconnectBackoff backoff;
  EXPECT_EQ(backoff.Lost(0, 250), 1250);
  EXPECT_EQ(backoff.Lost(0, 2), 2002);
}

// Which connections start the waits over: one that brought a whole frame or stood 5 s. One that
// ends sooner without a frame is a failed attempt, so a server that accepts and closes at once is
// asked ever less often.
TEST(ReconnectBackoff, OnlyAConnectionThatWorkedStartsOver) {
  enum class Event { kConnected, kReceived, kLost };
  struct Step {
    Event event;
    std::int64_t at_ms = 0;
    std::string_view bytes = {};
  };
  const auto connected = [](std::int64_t at_ms) { return Step{Event::kConnected, at_ms}; };
  const auto received = [](std::string_view bytes) { return Step{Event::kReceived, 0, bytes}; };
  const auto lost = [](std::int64_t at_ms) { return Step{Event::kLost, at_ms}; };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::int64_t> waits;  // one for each loss
  };
  const Case kCases[] = {
      {"accepted and closed at once, again and again",
       {connected(0), lost(10), connected(1010), lost(1020), connected(3020), lost(3030)},
       {1000, 2000, 4000}},
      {"a connection that stood 5 s",
       {lost(0), lost(0), connected(0), lost(5000), lost(11000)},
       {1000, 2000, 1000, 2000}},
      {"a connection that ended just before 5 s",
       {lost(0), connected(0), lost(4999)},
       {1000, 2000}},
      {"a frame, closed at once",
       {lost(0), lost(0), connected(0), received("\xC0x\xC0"), lost(10)},
       {1000, 2000, 1000}},
      {"a frame across reads",
       {lost(0), lost(0), connected(0), received("\xC0pq"), received("r"), received("\xC0"),
        lost(10)},
       {1000, 2000, 1000}},
      {"noise before the first delimiter, empty frames and a cut frame",
       {lost(0), connected(0), received("noise\xC0\xC0\xC0"), received("cut"), lost(10)},
       {1000, 2000}},
      {"a frame cut off by one connection and closed on the next",
       {connected(0), received("\xC0pq"), lost(10), connected(20), received("\xC0"), lost(30)},
       {1000, 2000}},
      {"bytes with no connection", {lost(0), received("\xC0x\xC0"), lost(0)}, {1000, 2000}},
      {"a frame on one connection spares the next attempts none",
       {lost(0), connected(0), received("\xC0x\xC0"), lost(10), lost(20), connected(30), lost(40)},
       {1000, 1000, 2000, 4000}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ReconnectBackoff backoff;
    std::vector<std::int64_t> waits;
    for (const Step& step : c.steps) {
      switch (step.event) {
        case Event::kConnected:
          backoff.Connected(step.at_ms);
          break;
        case Event::kReceived:
          backoff.Received(
              {reinterpret_cast<const std::uint8_t*>(step.bytes.data()), step.bytes.size()});
          break;
        case Event::kLost:
          waits.push_back(backoff.Lost(step.at_ms, 0));
          break;
      }
    }
    EXPECT_EQ(waits, c.waits);
  }
}

}  // namespace
}  // namespace talphex
