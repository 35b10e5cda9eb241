// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/view/conf_ini.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

namespace talphex {
namespace {

constexpr std::nullopt_t kUnset = std::nullopt;

// Keys are case-blind and trimmed of blanks, not of tabs; a line starting with "#" is a comment,
// one without "=" is ignored; the last line of a key wins; CR, LF and CR LF all end a line.
TEST(ConfIni, Parses) {
  // Text, then the screenshot button and image path it sets.
  const std::tuple<std::string, std::optional<bool>, std::optional<std::string>> kCases[] = {
      {"screenshot = yes\r\n", true, kUnset},
      {"SCREENSHOT=Y\r\n", false, kUnset},
      {"SCREENSHOT=\r\n", false, kUnset},
      {"SCREENSHOT=YES\t\r\n", false, kUnset},
      {" #SCREENSHOT=NO\r\n", kUnset, kUnset},  // the key "#SCREENSHOT" is no key
      {"SCREENSHOT=NO\r\nSCREENSHOT=YES\r\n", true, kUnset},
      {"SCREENSHOT=YES\r\nSCREENSHOT=NO\r\n", false, kUnset},
      {"SCREENSHOT=NO\nIMAGE_PATH=/tmp/a/\n", false, "/tmp/a/"},
      {"SCREENSHOT=NO\rIMAGE_PATH=/tmp/a/\r", false, "/tmp/a/"},
      {"SCREENSHOT=NO\r\nIMAGE_PATH=/tmp/a/", false, "/tmp/a/"},
      {"IMAGE_PATH=/tmp/a/\r\n/elsewhere/\r\n", kUnset, "/tmp/a/"},
      {"image_path = /home/Ham/Shots/ \r\n", kUnset, "/home/Ham/Shots/"},
      {"IMAGE_PATH=/tmp/a=b/\r\n", kUnset, "/tmp/a=b/"},
      {"COLOUR=RED\r\nSCREENSHOTS=YES\r\n", kUnset, kUnset},
      // Regression: a UTF-8 byte-order mark voided the first line.
      {"\xEF\xBB\xBFSCREENSHOT=NO\r\n", false, kUnset},
  };
  for (const auto& [text, screenshot_button, image_path] : kCases) {
    const ConfSettings settings = ParseConfIni(text);
    EXPECT_EQ(settings.screenshot_button, screenshot_button) << text;
    EXPECT_EQ(settings.image_path, image_path) << text;
    EXPECT_EQ(settings.capture_path, kUnset) << text;
  }
  // The recordings' folder keeps its case, like the screenshots' folder.
  const ConfSettings recorded =
      ParseConfIni("capture_path = /home/Ham/Passes \r\nIMAGE_PATH=/a/\r\n");
  EXPECT_EQ(recorded.capture_path, "/home/Ham/Passes");
  EXPECT_EQ(recorded.image_path, "/a/");
}

// STATION takes a name of letters, digits, "-" and "_"; any other value is not taken, so that an
// earlier valid line stays in force.
// Out of bounds is brought within them; anything but digits leaves the earlier value in force.
TEST(ConfIni, LiveRecords) {
  const std::pair<const char*, std::optional<std::size_t>> kCases[] = {
      {"LIVE_RECORDS = 5000\r\n", 5000},
      {"live_records=1000\n", 1000},
      {"LIVE_RECORDS=999\n", 1000},
      {"LIVE_RECORDS=0\n", 1000},
      {"LIVE_RECORDS=100001\n", 100000},
      {"LIVE_RECORDS=999999999\n", 100000},
      {"LIVE_RECORDS=9999999999999999999999\n", std::nullopt},
      {"LIVE_RECORDS=-5\n", std::nullopt},
      {"LIVE_RECORDS=2e3\n", std::nullopt},
      {"LIVE_RECORDS=\n", std::nullopt},
      {"LIVE_RECORDS=3000\nLIVE_RECORDS=many\n", 3000},
  };
  for (const auto& [text, live_records] : kCases) {
    EXPECT_EQ(ParseConfIni(text).live_records, live_records) << text;
  }
}

TEST(ConfIni, Station) {
  const std::pair<const char*, std::optional<std::string>> kCases[] = {
      {"STATION = GS-1_north\r\n", "GS-1_north"},
      {"station=OK1abc\n", "OK1abc"},
      {"STATION=\n", ""},
      {"STATION=GS 1\n", kUnset},
      {"STATION=GS/1\n", kUnset},
      {"STATION=G\xC3\xA9\n", kUnset},
      {"STATION=a\x1B\n", kUnset},
      {"STATION=A\nSTATION=B,C\n", "A"},
      {"STATION=A\nSTATION=B\n", "B"},
  };
  for (const auto& [text, station] : kCases) {
    EXPECT_EQ(ParseConfIni(text).station, station) << text;
  }
}

// The station's callsign and position are kept as written, the last line winning: the program
// that shares frames checks them and names the file when they are wrong.
TEST(ConfIni, SidsStation) {
  const std::tuple<const char*, std::optional<std::string>, std::optional<std::string>,
                   std::optional<std::string>>
      kCases[] = {
          {"CALLSIGN = dl1abc/p \r\nLongitude=-3.7\nlatitude= 40.4\n", "dl1abc/p", "-3.7", "40.4"},
          {"CALLSIGN=A\nCALLSIGN=B C\n", "B C", kUnset, kUnset},
          {"LATITUDE=\n", kUnset, kUnset, ""},
          {"CALL_SIGN=A\nLON=1\n", kUnset, kUnset, kUnset},
      };
  for (const auto& [text, callsign, longitude, latitude] : kCases) {
    const ConfSettings settings = ParseConfIni(text);
    EXPECT_EQ(settings.callsign, callsign) << text;
    EXPECT_EQ(settings.longitude, longitude) << text;
    EXPECT_EQ(settings.latitude, latitude) << text;
  }
}

}  // namespace
}  // namespace talphex
