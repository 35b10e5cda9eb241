// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/influx_url.h"

#include <string>

#include "gtest/gtest.h"

namespace talphex {
namespace {

constexpr char kNotWrite[] =
    "the URL must be the write endpoint: .../write?db=NAME (InfluxDB 1) or "
    ".../api/v2/write?org=ORG&bucket=BUCKET (InfluxDB 2)";
constexpr char kNoPassword[] =
    "put no user or password in the URL; the token comes from INFLUX_TOKEN";

struct UrlCase {
  const char* text;
  const char* host;  // empty when refused
  InfluxApi api;
  const char* error;  // empty when accepted
};

TEST(InfluxUrl, AcceptsBothWriteEndpointsAndRefusesTheRest) {
  constexpr UrlCase kCases[] = {
      {"http://127.0.0.1:8086/write?db=talphex", "127.0.0.1:8086", InfluxApi::kV1, ""},
      {"https://influx.example.org/write?db=t&rp=week&precision=ns", "influx.example.org",
       InfluxApi::kV1, ""},
      {"HTTP://[::1]:8086/write?db=t", "[::1]:8086", InfluxApi::kV1, ""},
      {"http://h:8086/api/v2/write?org=team&bucket=pass", "h:8086", InfluxApi::kV2, ""},
      {"https://h/api/v2/write?bucket=pass&org=team", "h", InfluxApi::kV2, ""},
      {"ftp://h/write?db=t", "", InfluxApi::kV1, "the URL must start with http:// or https://"},
      {"h:8086/write?db=t", "", InfluxApi::kV1, "the URL must start with http:// or https://"},
      {"http:///write?db=t", "", InfluxApi::kV1, "the URL names no host"},
      {"http://:8086/write?db=t", "", InfluxApi::kV1, "the URL names no host"},
      {"http://[::1/write?db=t", "", InfluxApi::kV1, "the URL names no host"},
      {"http://h:0/write?db=t", "", InfluxApi::kV1,
       "the URL's port must be a number from 1 to 65535"},
      {"http://h:65536/write?db=t", "", InfluxApi::kV1,
       "the URL's port must be a number from 1 to 65535"},
      {"http://h:port/write?db=t", "", InfluxApi::kV1,
       "the URL's port must be a number from 1 to 65535"},
      // Credentials on the command line would show in the process list.
      {"http://admin:secret@h/write?db=t", "", InfluxApi::kV1, kNoPassword},
      {"http://h/write?db=t&u=admin&p=secret", "", InfluxApi::kV1, kNoPassword},
      {"http://h:8086", "", InfluxApi::kV1, kNotWrite},
      {"http://h/write", "", InfluxApi::kV1, kNotWrite},
      {"http://h/write?db=", "", InfluxApi::kV1, kNotWrite},
      {"http://h/query?db=t", "", InfluxApi::kV1, kNotWrite},
      {"http://h/api/v2/write?org=team", "", InfluxApi::kV1, kNotWrite},
      {"http://h/api/v2/write?bucket=pass&org=", "", InfluxApi::kV1, kNotWrite},
      {"http://h/write?db=t#x", "", InfluxApi::kV1,
       "the URL must end with its query, without a #fragment"},
      // The points carry nanoseconds: another precision would misplace them by orders of
      // magnitude.
      {"http://h/write?db=t&precision=s", "", InfluxApi::kV1,
       "the points are in nanoseconds: leave precision out or give precision=ns"},
      {"http://h/write?db=t pass", "", InfluxApi::kV1,
       "the URL holds a space or a byte that is not printable ASCII"},
      {"http://h/write?db=t\x1b[2J", "", InfluxApi::kV1,
       "the URL holds a space or a byte that is not printable ASCII"},
  };
  for (const UrlCase& c : kCases) {
    SCOPED_TRACE(c.text);
    const Expected<InfluxUrl> url = ParseInfluxUrl(c.text);
    ASSERT_EQ(url.ok(), *c.error == '\0');
    if (!url) {
      EXPECT_EQ(url.error().kind, ErrorKind::kUsage);
      EXPECT_EQ(url.error().message, c.error);
      continue;
    }
    EXPECT_EQ(url.value().text, c.text);
    EXPECT_EQ(url.value().host, c.host);
    EXPECT_EQ(url.value().api, c.api);
  }
}

TEST(InfluxUrl, CacheFolderFollowsXdgThenHome) {
  struct FolderCase {
    const char* xdg;
    const char* home;
    const char* folder;
  };
  constexpr FolderCase kCases[] = {
      {"/x/cache", "/home/u", "/x/cache/talphex"},
      {nullptr, "/home/u", "/home/u/.cache/talphex"},
      // A relative XDG_CACHE_HOME is to be ignored, as the base directory rules say.
      {"cache", "/home/u", "/home/u/.cache/talphex"},
      {"", "/home/u", "/home/u/.cache/talphex"},
      {nullptr, "", ""},
      {nullptr, nullptr, ""},
  };
  for (const FolderCase& c : kCases) {
    SCOPED_TRACE(c.folder);
    EXPECT_EQ(InfluxCacheFolder(c.xdg, c.home), c.folder);
  }
}

}  // namespace
}  // namespace talphex
