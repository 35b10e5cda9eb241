// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/live_link.h"

#include <gtest/gtest.h>

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

// 1 s doubling to 30 s, each wait with at most a quarter more; a connection starts it over.
TEST(ReconnectBackoff, DoublesToThirtySecondsWithJitter) {
  const std::int64_t kBases[] = {1000, 2000, 4000, 8000, 16000, 30000, 30000};
  for (std::uint32_t random : {0u, 1u, 0xFFFFFFFFu, 123457u}) {
    ReconnectBackoff backoff;
    for (std::int64_t base : kBases) {
      const std::int64_t wait = backoff.NextMs(random);
      EXPECT_GE(wait, base);
      EXPECT_LE(wait, base + base / 4);
    }
    backoff.Reset();
    EXPECT_EQ(backoff.base_ms(), 1000);
  }
  ReconnectBackoff backoff;
  EXPECT_EQ(backoff.NextMs(250), 1250);
  EXPECT_EQ(backoff.NextMs(2), 2002);
}

}  // namespace
}  // namespace talphex
