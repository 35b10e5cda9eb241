// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/mqtt_publisher.h"

#include <string>

#include "gtest/gtest.h"

namespace talphex {
namespace {

struct FrameJsonCase {
  const char* name;
  std::string bytes;
  const char* rx_time;
  int millisecond;
  bool kiss;
  const char* json;
};

TEST(MqttPublisher, FrameJsonCarriesTimePortAndBytes) {
  const FrameJsonCase cases[] = {
      {"KissPortZero", std::string("\x00\x86\xa2\xff", 4), "2026-11-14 09:41:03", 7, true,
       R"({"rx_time_utc":"2026-11-14T09:41:03.007Z","station":"GS-1","frame_hex":"86a2ff","kiss_port":0})"},
      // The port is the command byte's high nibble; the low one is the command.
      {"KissPortFive", std::string("\x50\x01", 2), "2026-11-14 09:41:03", 999, true,
       R"({"rx_time_utc":"2026-11-14T09:41:03.999Z","station":"GS-1","frame_hex":"01","kiss_port":5})"},
      {"NoMilliseconds", std::string("\x00\x41", 2), "2026-11-14 23:59:59", -1, true,
       R"({"rx_time_utc":"2026-11-14T23:59:59.000Z","station":"GS-1","frame_hex":"41","kiss_port":0})"},
      {"NoReceiveTime", std::string("\x00\x41", 2), "", -1, true,
       R"({"rx_time_utc":null,"station":"GS-1","frame_hex":"41","kiss_port":0})"},
      // A SatNOGS line's frame has no command byte: every byte is the frame's.
      {"WithoutKissByte", std::string("\x86\xa2", 2), "2026-11-14 09:41:03", 250, false,
       R"({"rx_time_utc":"2026-11-14T09:41:03.250Z","station":"GS-1","frame_hex":"86a2","kiss_port":null})"},
  };
  for (const FrameJsonCase& c : cases) {
    SCOPED_TRACE(c.name);
    FrameFacts facts;
    facts.bytes = c.bytes;
    facts.length = c.bytes.size();
    facts.rx_time = c.rx_time;
    facts.kiss = c.kiss;
    EXPECT_EQ(MqttFrameJson(facts, c.millisecond, "GS-1"), c.json);
  }
}

}  // namespace
}  // namespace talphex
