// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/frame_merger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talphex {
namespace {

TEST(FrameMessage, ReadsGoodMessages) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> rx_ms;
    const char* station;
    std::string frame;
    std::optional<int> port;
  };
  const Case kCases[] = {
      {R"({"rx_time_utc":"2024-03-01T12:00:00.250Z","station":"T1","frame_hex":"c0ff00",)"
       R"("kiss_port":0})",
       1709294400250, "T1", std::string("\xC0\xFF\x00", 3), 0},
      // Any order, blanks between tokens, upper-case hex, null time and port.
      {" { \"kiss_port\" : null , \"frame_hex\":\"AbCd\",\n\"station\":\"st-a_9\","
       "\"rx_time_utc\":null }\r\n",
       std::nullopt, "st-a_9", "\xAB\xCD", std::nullopt},
      {R"({"rx_time_utc":"1970-01-01T00:00:00.000Z","station":"x","frame_hex":"00","kiss_port":15})",
       0, "x", std::string(1, '\0'), 15},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const FrameMessageResult result = ParseFrameMessage(c.text);
    ASSERT_TRUE(result.message) << result.error->reason;
    EXPECT_FALSE(result.error);
    EXPECT_EQ(result.message->rx_ms, c.rx_ms);
    EXPECT_EQ(result.message->station, c.station);
    EXPECT_EQ(result.message->frame, c.frame);
    EXPECT_EQ(result.message->kiss_port, c.port);
  }
}

TEST(FrameMessage, RefusesBadMessagesWithTheirReason) {
  // A good message with one part replaced.
  const auto with = [](const std::string& time, const std::string& station, const std::string& hex,
                       const std::string& port) {
    return "{\"rx_time_utc\":" + time + ",\"station\":" + station + ",\"frame_hex\":" + hex +
           ",\"kiss_port\":" + port + "}";
  };
  const std::string t = "\"2024-03-01T12:00:00.250Z\"";
  struct Case {
    std::string text;
    FrameMessageFault fault;
    const char* reason;
  };
  const Case kCases[] = {
      {std::string(kMaxFrameMessageSize + 1, ' '), FrameMessageFault::kTooLarge,
       "larger than a frame message can be (65536 bytes)"},
      {"", FrameMessageFault::kSyntax, "not a JSON object"},
      {"[1]", FrameMessageFault::kSyntax, "not a JSON object"},
      {"{\"station\":\"a\"", FrameMessageFault::kSyntax, "expected \",\" or \"}\" between keys"},
      {"{\"station\" \"a\"}", FrameMessageFault::kSyntax, "expected \":\" after a key"},
      {"{\"sta\\u0074ion\":\"a\"}", FrameMessageFault::kSyntax,
       "expected a key without escapes or control bytes"},
      {with(t, "\"a\\u001b[2J\"", "\"00\"", "0"), FrameMessageFault::kSyntax,
       "station: expected a plain string, a small integer or null"},
      {with(t, "\"a\x1b\"", "\"00\"", "0"), FrameMessageFault::kSyntax,
       "station: expected a plain string, a small integer or null"},
      {with(t, "\"a\"", "\"00\"", "-1"), FrameMessageFault::kSyntax,
       "kiss_port: expected a plain string, a small integer or null"},
      {with(t, "\"a\"", "\"00\"", "1234567890"), FrameMessageFault::kSyntax,
       "expected \",\" or \"}\" between keys"},
      {with(t, "\"a\"", "\"00\"", "0") + "x", FrameMessageFault::kSyntax, "more after the object"},
      {"{\"other\":1}", FrameMessageFault::kUnknownKey, "an unknown key"},
      {"{\"station\":\"a\",\"station\":\"b\"}", FrameMessageFault::kUnknownKey,
       "station given twice"},
      {"{\"station\":\"a\",\"frame_hex\":\"00\",\"kiss_port\":0}", FrameMessageFault::kMissingKey,
       "no rx_time_utc"},
      {with("\"2024-03-01T12:00:00Z\"", "\"a\"", "\"00\"", "0"), FrameMessageFault::kBadTime,
       "rx_time_utc: expected \"YYYY-MM-DDThh:mm:ss.sssZ\" or null"},
      {with("\"2024-02-30T12:00:00.000Z\"", "\"a\"", "\"00\"", "0"), FrameMessageFault::kBadTime,
       "rx_time_utc: expected \"YYYY-MM-DDThh:mm:ss.sssZ\" or null"},
      {with("\"2024-03-01T12:00:00.2a0Z\"", "\"a\"", "\"00\"", "0"), FrameMessageFault::kBadTime,
       "rx_time_utc: expected \"YYYY-MM-DDThh:mm:ss.sssZ\" or null"},
      {with("12", "\"a\"", "\"00\"", "0"), FrameMessageFault::kBadTime,
       "rx_time_utc: expected \"YYYY-MM-DDThh:mm:ss.sssZ\" or null"},
      {with(t, "\"\"", "\"00\"", "0"), FrameMessageFault::kBadStation,
       "station: expected a name of letters, digits, - and _ (at most 64)"},
      {with(t, "\"a/b\"", "\"00\"", "0"), FrameMessageFault::kBadStation,
       "station: expected a name of letters, digits, - and _ (at most 64)"},
      {with(t, "\"" + std::string(65, 'a') + "\"", "\"00\"", "0"), FrameMessageFault::kBadStation,
       "station: expected a name of letters, digits, - and _ (at most 64)"},
      {with(t, "null", "\"00\"", "0"), FrameMessageFault::kBadStation,
       "station: expected a name of letters, digits, - and _ (at most 64)"},
      {with(t, "\"a\"", "\"\"", "0"), FrameMessageFault::kBadFrame,
       "frame_hex: expected an even number of hex digits"},
      {with(t, "\"a\"", "\"abc\"", "0"), FrameMessageFault::kBadFrame,
       "frame_hex: expected an even number of hex digits"},
      {with(t, "\"a\"", "\"0g\"", "0"), FrameMessageFault::kBadFrame,
       "frame_hex: expected an even number of hex digits"},
      {with(t, "\"a\"", "\"00\"", "16"), FrameMessageFault::kBadKissPort,
       "kiss_port: expected 0 to 15 or null"},
      {with(t, "\"a\"", "\"00\"", "01"), FrameMessageFault::kBadKissPort,
       "kiss_port: expected 0 to 15 or null"},
      {with(t, "\"a\"", "\"00\"", "\"1\""), FrameMessageFault::kBadKissPort,
       "kiss_port: expected 0 to 15 or null"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text.substr(0, 100));
    const FrameMessageResult result = ParseFrameMessage(c.text);
    EXPECT_FALSE(result.message);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->fault, c.fault);
    EXPECT_EQ(result.error->reason, c.reason);
  }
}

// One step of a merging run: a frame added (bytes, receive time, station at `now`), or frames
// released at `now` (bytes 'R') or all (bytes '*').
struct Step {
  const char* bytes;
  std::int64_t rx_ms;
  const char* station;
  std::int64_t now;
};

// What the merger did: "+N" new, "+S" a duplicate of a held frame, "+D" duplicate; each release as
// "@NOW:bytes/rx/stations...".
std::string RunSteps(FrameMerger& merger, const std::vector<Step>& steps) {
  static constexpr char kTaken[] = {'N', 'S', 'D'};
  std::string log;
  std::vector<MergedFrame> out;
  for (const Step& step : steps) {
    const std::string bytes = step.bytes;
    if (bytes != "R" && bytes != "*") {
      log += "+";
      log += kTaken[static_cast<int>(merger.Add({bytes, step.rx_ms, step.station, step.now, 0}))];
      continue;
    }
    out.clear();
    if (bytes == "R") {
      merger.Release(step.now, out);
    } else {
      merger.ReleaseAll(out);
    }
    log += " @" + std::to_string(step.now) + ":";
    for (const MergedFrame& frame : out) {
      log += frame.bytes + "/" + std::to_string(frame.rx_ms) + "/";
      for (const std::string& station : frame.stations) log += station + ",";
      log += " ";
    }
  }
  return log;
}

TEST(FrameMerger, OrdersHoldsAndMergesDuplicates) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    const char* log;
    std::int64_t duplicates;
  };
  const Case kCases[] = {
      {"frames come out by receive time once the first one's hold ends",
       {{"b", 200, "T1", 0},
        {"a", 100, "T2", 500},
        {"c", 300, "T1", 2100},
        {"R", 0, "", 1999},
        {"R", 0, "", 2000},
        {"R", 0, "", 4099},
        {"R", 0, "", 4100}},
       "+N+N+N @1999: @2000:a/100/T2, b/200/T1,  @4099: @4100:c/300/T1, ",
       0},
      {"a frame received later waits for its own hold",
       {{"a", 100, "T1", 0}, {"z", 900, "T2", 1000}, {"R", 0, "", 2000}, {"R", 0, "", 3000}},
       "+N+N @2000:a/100/T1,  @3000:z/900/T2, ",
       0},
      {"a frame late beyond the hold still comes out, after the others",
       {{"a", 100, "T1", 0}, {"R", 0, "", 2000}, {"z", 50, "T2", 2100}, {"R", 0, "", 4100}},
       "+N @2000:a/100/T1, +N @4100:z/50/T2, ",
       0},
      {"duplicates inside the hold add their station once, first hearer first",
       {{"a", 100, "T1", 0},
        {"a", 120, "T2", 500},
        {"a", 100, "T1", 600},
        {"a", 90, "T3", 1999},
        {"R", 0, "", 2000}},
       "+N+S+S+S @2000:a/100/T1,T2,T3, ",
       3},
      {"a duplicate after the release is only counted",
       {{"a", 100, "T1", 0}, {"R", 0, "", 2000}, {"a", 100, "T2", 3000}, {"*", 0, "", 9000}},
       "+N @2000:a/100/T1, +D @9000:",
       1},
      {"bytes are forgotten ten minutes after they were first seen",
       {{"a", 100, "T1", 0},
        {"R", 0, "", 2000},
        {"a", 100, "T2", 599'999},
        {"a", 100, "T3", 600'000},
        {"R", 0, "", 602'000}},
       "+N @2000:a/100/T1, +D+N @602000:a/100/T3, ",
       1},
      {"the end of input releases every held frame in order",
       {{"c", 300, "T1", 0}, {"a", 100, "T1", 10}, {"b", 200, "T2", 20}, {"*", 0, "", 30}},
       "+N+N+N @30:a/100/T1, b/200/T2, c/300/T1, ",
       0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FrameMerger merger;
    EXPECT_EQ(RunSteps(merger, c.steps), c.log);
    EXPECT_EQ(merger.counts().duplicates, c.duplicates);
    EXPECT_EQ(merger.held(), 0u);
  }
}

TEST(FrameMerger, NextReleaseIsTheOldestArrivalsHoldEnd) {
  FrameMerger merger;
  EXPECT_FALSE(merger.NextReleaseMs());
  (void)merger.Add({"a", 5, "T1", 100, 0});
  (void)merger.Add({"b", 1, "T1", 700, 0});
  EXPECT_EQ(merger.NextReleaseMs(), 2100);
}

// The memory of seen bytes is bounded: the oldest are forgotten first, even within ten minutes.
TEST(FrameMerger, RemembersAtMostTheBoundOfFrames) {
  FrameMerger merger;
  std::vector<MergedFrame> out;
  const auto frame = [](std::size_t i) { return "f" + std::to_string(i); };
  for (std::size_t i = 0; i <= FrameMerger::kMaxRemembered; ++i) {
    ASSERT_EQ(merger.Add({frame(i), 0, "T1", 0, 0}), FrameMerger::Taken::kNew);
  }
  EXPECT_EQ(merger.remembered(), FrameMerger::kMaxRemembered);
  merger.Release(FrameMerger::kHoldMs, out);
  EXPECT_EQ(out.size(), FrameMerger::kMaxRemembered + 1);
  EXPECT_EQ(merger.Add({frame(1), 0, "T2", 3000, 0}), FrameMerger::Taken::kDuplicate);
  EXPECT_EQ(merger.Add({frame(0), 0, "T2", 3000, 0}), FrameMerger::Taken::kNew);
  EXPECT_EQ(merger.counts().received, static_cast<std::int64_t>(FrameMerger::kMaxRemembered) + 3);
}

}  // namespace
}  // namespace talphex
