// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/mqtt_url.h"

#include <optional>
#include <string>

#include "gtest/gtest.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

struct UrlCase {
  const char* text;
  bool ok;
  bool tls;
  const char* host;
  int port;
};

TEST(MqttUrl, ParsesBrokerAddressesAndRefusesTheRest) {
  constexpr UrlCase kCases[] = {
      {"mqtt://127.0.0.1:1884", true, false, "127.0.0.1", 1884},
      {"mqtt://broker.example.org", true, false, "broker.example.org", 1883},
      {"mqtts://broker.example.org", true, true, "broker.example.org", 8883},
      {"mqtts://broker:443", true, true, "broker", 443},
      {"mqtt://[::1]:1885", true, false, "::1", 1885},
      // Regression guard: the ":" inside an IPv6 address is no port.
      {"mqtt://[::1]", true, false, "::1", 1883},
      {"mqtt://", false, false, "", 0},
      {"mqtt://:1883", false, false, "", 0},
      {"mqtt://host:0", false, false, "", 0},
      {"mqtt://host:65536", false, false, "", 0},
      {"mqtt://host:port", false, false, "", 0},
      {"mqtt://host/topic", false, false, "", 0},
      {"mqtt://user@host", false, false, "", 0},
      {"mqtt://[::1", false, false, "", 0},
      {"http://host:1883", false, false, "", 0},
      {"host:1883", false, false, "", 0},
      {"MQTT://host", false, false, "", 0},
      {"", false, false, "", 0},
  };
  for (const UrlCase& c : kCases) {
    SCOPED_TRACE(c.text);
    const Expected<MqttUrl> url = ParseMqttUrl(c.text);
    ASSERT_EQ(url.ok(), c.ok);
    if (!c.ok) {
      EXPECT_EQ(url.error().kind, ErrorKind::kUsage);
      EXPECT_EQ(url.error().message,
                "\"" + std::string(c.text) + "\" is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]");
      continue;
    }
    EXPECT_EQ(url.value().tls, c.tls);
    EXPECT_EQ(url.value().where.host, c.host);
    EXPECT_EQ(url.value().where.port, c.port);
    // The text given back parses to the same address.
    const Expected<MqttUrl> again = ParseMqttUrl(url.value().Text());
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again.value().where.Text(), url.value().where.Text());
  }
}

struct CredentialsCase {
  const char* name;
  std::optional<std::string> file_content;  // none: no password file given
  const char* env_user;
  const char* env_password;
  bool ok;
  std::optional<MqttCredentials> expected;
};

TEST(MqttUrl, CredentialsComeFromTheFileElseTheEnvironment) {
  const CredentialsCase cases[] = {
      {"FileLine", "station:s3cret\nignored:line\n", nullptr, nullptr, true,
       MqttCredentials{"station", "s3cret"}},
      {"FileWithCrLfAndColonInPassword", "gs1:a:b:c\r\n", nullptr, nullptr, true,
       MqttCredentials{"gs1", "a:b:c"}},
      {"FileBeforeEnvironment", "file:pw\n", "env", "envpw", true, MqttCredentials{"file", "pw"}},
      {"EmptyPassword", "user:\n", nullptr, nullptr, true, MqttCredentials{"user", ""}},
      {"NoColon", "justapassword\n", nullptr, nullptr, false, std::nullopt},
      {"NoUser", ":pw\n", nullptr, nullptr, false, std::nullopt},
      {"EmptyFile", "", nullptr, nullptr, false, std::nullopt},
      {"Environment", std::nullopt, "env", "envpw", true, MqttCredentials{"env", "envpw"}},
      {"PasswordWithoutUser", std::nullopt, nullptr, "envpw", false, std::nullopt},
      {"Nothing", std::nullopt, "env", nullptr, true, std::nullopt},
  };
  for (const CredentialsCase& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TempDir dir;
    std::optional<std::string> path;
    if (c.file_content) {
      path = dir.File("password");
      testing::WriteFile(*path, *c.file_content);
    }
    const auto read = ReadMqttCredentials(path, c.env_user, c.env_password);
    ASSERT_EQ(read.ok(), c.ok);
    if (!c.ok) {
      EXPECT_EQ(read.error().kind, ErrorKind::kUsage);
      // The message names where the credentials were looked for, never a password.
      EXPECT_NE(read.error().message.find(path ? *path : "TALPHEX_MQTT_USER"), std::string::npos)
          << read.error().message;
      EXPECT_EQ(read.error().message.find("envpw"), std::string::npos);
      continue;
    }
    ASSERT_EQ(read.value().has_value(), c.expected.has_value());
    if (c.expected) {
      EXPECT_EQ(read.value()->user, c.expected->user);
      EXPECT_EQ(read.value()->password, c.expected->password);
    }
  }
}

TEST(MqttUrl, UnreadablePasswordFileIsAReadErrorNamingIt) {
  const testing::TempDir dir;
  const std::string missing = dir.File("missing");
  const auto read = ReadMqttCredentials(missing, nullptr, nullptr);
  ASSERT_FALSE(read.ok());
  EXPECT_EQ(read.error().kind, ErrorKind::kNotFound);
  EXPECT_EQ(read.error().message, missing + ": No such file or directory");
}

}  // namespace
}  // namespace talphex
