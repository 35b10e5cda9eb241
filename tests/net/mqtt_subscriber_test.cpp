// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/mqtt_subscriber.h"

#include <string>

#include "gtest/gtest.h"

namespace talphex {
namespace {

TEST(MqttSubscriber, FiltersAreCheckedBeforeSubscribing) {
  const std::pair<const char*, const char*> kCases[] = {
      {"talphex/+/frames", ""},
      {"talphex/GS-1/frames", ""},
      {"#", ""},
      {"talphex/#", ""},
      {"", "the filter is empty"},
      {"talphex/a+/frames", "\"+\" and \"#\" must each stand alone between \"/\""},
      {"talphex/#x", "\"+\" and \"#\" must each stand alone between \"/\""},
      {"talphex/#/frames", "\"#\" may only be the last level"},
      {"talphex/\x1b[2J/frames", "the filter holds a control byte"},
  };
  for (const auto& [filter, problem] : kCases) EXPECT_EQ(MqttFilterProblem(filter), problem);
  EXPECT_EQ(MqttMergeClientId("GS-1"), "talphex-GS-1-merge");
}

// What one station publishes is what the merging one reads back: bytes, time, port and the
// station of the topic.
TEST(MqttSubscriber, ReadsWhatAPublisherWrites) {
  struct Case {
    const char* name;
    std::string bytes;  // with the KISS command byte
    const char* rx_time;
    int millisecond;
    std::int64_t rx_ms;  // what the merger gets; a frame without a time takes its arrival
    int port;
  };
  const Case kCases[] = {
      {"Port0", std::string("\x00\xc0\xdb\x00", 4), "2026-11-14 09:41:03", 7, 1794649263007, 0},
      {"Port5", std::string("\x50\x41", 2), "2026-11-14 09:41:03", -1, 1794649263000, 5},
      {"NoTime", std::string("\x00\x41", 2), "", -1, 42, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FrameFacts facts;
    facts.bytes = c.bytes;
    facts.length = c.bytes.size();
    facts.rx_time = c.rx_time;
    facts.kiss = true;
    const ArrivedFrame arrived =
        FrameOfMessage({MqttFramesTopic("GS-1"), MqttFrameJson(facts, c.millisecond, "X"), 42});
    ASSERT_TRUE(arrived.frame) << arrived.error;
    EXPECT_EQ(arrived.frame->bytes, c.bytes.substr(1));
    EXPECT_EQ(arrived.frame->rx_ms, c.rx_ms);
    EXPECT_EQ(arrived.frame->station, "GS-1");
    EXPECT_EQ(arrived.frame->arrival_ms, 42);
    EXPECT_EQ(arrived.frame->kiss_port, c.port);
  }
}

TEST(MqttSubscriber, MessagesOfOtherTopicsOrShapesAreRefused) {
  const std::string good =
      R"({"rx_time_utc":null,"station":"GS-1","frame_hex":"41","kiss_port":0})";
  const std::pair<ArrivedMessage, const char*> kCases[] = {
      {{"talphex/GS-1/status", good, 0}, "the topic is not talphex/STATION/frames"},
      {{"talphex//frames", good, 0}, "the topic is not talphex/STATION/frames"},
      {{"other/GS-1/frames", good, 0}, "the topic is not talphex/STATION/frames"},
      {{"talphex/a/b/frames", good, 0},
       "the topic's station is not a name of letters, digits, - and _"},
      {{"talphex/\x1b[2J/frames", good, 0},
       "the topic's station is not a name of letters, digits, - and _"},
      {{"talphex/GS-1/frames", "junk", 0}, "not a JSON object"},
  };
  for (const auto& [message, error] : kCases) {
    const ArrivedFrame arrived = FrameOfMessage(message);
    EXPECT_FALSE(arrived.frame);
    EXPECT_EQ(arrived.error, error);
  }
}

}  // namespace
}  // namespace talphex
