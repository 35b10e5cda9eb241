// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/sids_submitter.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace talphex {
namespace {

using std::chrono::milliseconds;

TEST(SidsSubmitter, ServerOfAcceptsHttpUrlsWithAHostOnly) {
  struct Case {
    const char* url;
    const char* server;  // nullptr: refused
  };
  constexpr Case kCases[] = {
      {"https://db.satnogs.org/api/telemetry/", "db.satnogs.org"},
      {"http://127.0.0.1:8080/api/telemetry/", "127.0.0.1:8080"},
      {"http://[::1]:81", "[::1]:81"},
      {"http://host?x=1", "host"},
      {"ftp://host/", nullptr},
      {"HTTPS://host/", nullptr},
      {"https:///api", nullptr},
      {"http://:80/", nullptr},
      {"http://[::1/", nullptr},
      {"http://host:0/", nullptr},
      {"http://host:65536/", nullptr},
      {"http://host:8o/", nullptr},
      // Credentials would be printed with the server's name.
      {"http://user:pw@host/", nullptr},
      {"http://host/a b", nullptr},
      {"http://host/\x1b[2J", nullptr},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.url);
    const Expected<std::string> server = SidsServerOf(c.url);
    ASSERT_EQ(server.ok(), c.server != nullptr);
    if (server) {
      EXPECT_EQ(server.value(), c.server);
    } else {
      EXPECT_EQ(server.error().kind, ErrorKind::kUsage);
      EXPECT_TRUE(server.error().message.starts_with("\"" + std::string(c.url) + "\" "));
    }
  }
}

TEST(SidsSubmitter, DegreesParseInRangeAndReadWithTheirHemisphere) {
  struct Case {
    const char* text;
    bool ok;
    const char* longitude;
    const char* latitude;
  };
  constexpr Case kCases[] = {
      {"12.3456", true, "12.3456E", "12.3456N"},
      {"-12.3456", true, "12.3456W", "12.3456S"},
      {"+7", true, "7.0000E", "7.0000N"},
      // Rounding to four decimals, half away from zero, carries into the degrees.
      {"45.67895", true, "45.6790E", "45.6790N"},
      {"-0.99999", true, "1.0000W", "1.0000S"},
      {"0.00004", true, "0.0000E", "0.0000N"},
      // Rounds to zero: no "W" for a position on the meridian.
      {"-0.00004", true, "0.0000E", "0.0000N"},
      {"-0", true, "0.0000E", "0.0000N"},
      {"90", true, "90.0000E", "90.0000N"},
      {"-90.0", true, "90.0000W", "90.0000S"},
      {"", false, "", ""},
      {"-", false, "", ""},
      {"12.", false, "", ""},
      {".5", false, "", ""},
      {"1e1", false, "", ""},
      {"nan", false, "", ""},
      {"inf", false, "", ""},
      {"12,5", false, "", ""},
      {"12.5E", false, "", ""},
      {" 12", false, "", ""},
      {"+-1", false, "", ""},
      {"90.00001", false, "", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const Expected<double> latitude = ParseDegrees(c.text, 90);
    ASSERT_EQ(latitude.ok(), c.ok);
    if (!latitude) {
      EXPECT_EQ(latitude.error().message,
                "\"" + std::string(c.text) + "\" is not decimal degrees from -90 to 90");
      continue;
    }
    EXPECT_EQ(LongitudeText(latitude.value()), c.longitude);
    EXPECT_EQ(LatitudeText(latitude.value()), c.latitude);
  }
  EXPECT_TRUE(ParseDegrees("-180", 180).ok());
  EXPECT_FALSE(ParseDegrees("180.0001", 180).ok());
}

TEST(SidsSubmitter, CallsignsAreLettersDigitsDashAndSlash) {
  for (const char* good :
       {"DL1ABC", "dl1abc-2", "EA4/G0ABC", "A", "12345678901234567890123456789012"}) {
    EXPECT_TRUE(IsCallsign(good)) << good;
  }
  for (const char* bad :
       {"", "DL1 ABC", "DL1ABC_2", "DL1&ABC", "N0CALL\n", "123456789012345678901234567890123"}) {
    EXPECT_FALSE(IsCallsign(bad)) << bad;
  }
}

// Every byte, decoded back independently: unreserved bytes stay, the rest become %XX.
TEST(SidsSubmitter, PercentEncodingDecodesBackToEveryByte) {
  for (int value = 0; value < 256; ++value) {
    const std::string byte(1, static_cast<char>(value));
    const std::string encoded = PercentEncode(byte);
    const bool unreserved =
        std::isalnum(value) != 0 || byte == "-" || byte == "." || byte == "_" || byte == "~";
    if (unreserved) {
      EXPECT_EQ(encoded, byte);
      continue;
    }
    ASSERT_EQ(encoded.size(), 3u) << value;
    EXPECT_EQ(encoded[0], '%');
    EXPECT_EQ(encoded.find_first_not_of("0123456789ABCDEF", 1), std::string::npos) << encoded;
    EXPECT_EQ(std::stoi(encoded.substr(1), nullptr, 16), value);
  }
}

TEST(SidsSubmitter, FramesCarryTheirTimeAndBytesWithoutTheKissByte) {
  struct Case {
    const char* name;
    std::string bytes;
    std::uint64_t length;
    const char* rx_time;
    int millisecond;
    bool kiss;
    const char* timestamp;  // nullptr: not sent
    const char* hex;
  };
  const Case cases[] = {
      {"Kiss", std::string("\x00\x86\xa2\x0f", 4), 4, "2026-11-14 09:41:03", 7, true,
       "2026-11-14T09:41:03.007Z", "86A20F"},
      {"NoMilliseconds", std::string("\x10\xff", 2), 2, "2026-11-14 23:59:59", -1, true,
       "2026-11-14T23:59:59.000Z", "FF"},
      {"SatnogsLine", std::string("\x86\xa2", 2), 2, "2026-11-14 09:41:03", -1, false,
       "2026-11-14T09:41:03.000Z", "86A2"},
      {"NoReceiveTime", std::string("\x00\x41", 2), 2, "", 5, true, nullptr, ""},
      {"TimeThatIsNoDate", std::string("\x00\x41", 2), 2, "2026-13-14 09:41:03", 5, true, nullptr,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameFacts facts;
    facts.bytes = c.bytes;
    facts.length = c.length;
    facts.rx_time = c.rx_time;
    facts.kiss = c.kiss;
    const std::optional<SidsFrame> frame = SidsFrameOf(facts, c.millisecond);
    ASSERT_EQ(frame.has_value(), c.timestamp != nullptr);
    if (!frame) continue;
    EXPECT_EQ(frame->timestamp, c.timestamp);
    EXPECT_EQ(frame->frame_hex, c.hex);
  }
}

TEST(SidsSubmitter, FormBodyHasEveryFieldEncoded) {
  const SidsStation station{99999, "EA4/G0ABC", -3.70379, 40.41678, "1.4.0+local"};
  EXPECT_EQ(SidsFormBody(station, {"2026-11-14T09:41:03.007Z", "86A20F"}),
            "noradID=99999&source=EA4%2FG0ABC&timestamp=2026-11-14T09%3A41%3A03.007Z"
            "&frame=86A20F&locator=longLat&longitude=3.7038W&latitude=40.4168N"
            "&version=1.4.0%2Blocal");
}

// A server that answers from a script, the last answer again once the script is used up.
struct ScriptedServer {
  std::vector<HttpResponse> answers;
  std::vector<std::string> bodies;
  HttpResponse operator()(const HttpRequest& request) {
    bodies.push_back(request.body);
    return answers[std::min(bodies.size(), answers.size()) - 1];
  }
};

HttpResponse Answer(long status, std::string body = {}) { return {status, std::move(body), {}}; }
HttpResponse NoAnswer() { return {0, {}, "Connection refused"}; }

FrameFacts Frame(const std::string& bytes, FrameKind kind,
                 const char* rx_time = "2026-11-14 09:41:03") {
  FrameFacts facts;
  facts.bytes = bytes;
  facts.length = bytes.size();
  facts.offset = 100;
  facts.rx_time = rx_time;
  facts.kind = kind;
  facts.result = FrameResult::kDecoded;
  return facts;
}

// Only the start of a part longer than the loader keeps.
FrameFacts Cut(FrameFacts facts) {
  facts.length += 70'000;
  return facts;
}

TEST(SidsSubmitter, EachFrameIsSentOnceRetriedOrCountedAsTheServerAnswers) {
  const std::string first("\x00\x01", 2);
  const std::string second("\x00\x02", 2);
  struct Case {
    const char* name;
    std::vector<HttpResponse> answers;
    std::vector<FrameFacts> frames;
    std::int64_t posts;
    SidsCounts counts;  // without `waiting`, which is 0 at the end
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {"FailuresRetriedUntilAccepted",
       {Answer(500, "oops"), NoAnswer(), Answer(429), Answer(201)},
       {Frame(first, FrameKind::kBeacon)},
       4,
       {.sent = 1},
       {"SiDS host: server failed: HTTP 500: oops; retrying in 0 s",
        "SiDS host: no answer: Connection refused; retrying in 0 s",
        "SiDS host: server failed: HTTP 429; retrying in 0 s", "SiDS host: frames accepted"}},
      // Told once for the same answer; the next frame is still tried.
      {"RejectedNotRetried",
       {Answer(400, "bad frame\n")},
       {Frame(first, FrameKind::kBeacon), Frame(second, FrameKind::kBeacon)},
       2,
       {.rejected = 2},
       {"SiDS host: frame rejected: HTTP 400: bad frame\n"}},
      {"RedirectRejected",
       {Answer(301)},
       {Frame(first, FrameKind::kOther)},
       1,
       {.rejected = 1},
       {"SiDS host: frame rejected: HTTP 301"}},
      {"GivenUpAfterFailingTooLong",
       {Answer(503)},
       {Frame(first, FrameKind::kBeacon)},
       -1,
       {.given_up = 1},
       {"SiDS host: server failed: HTTP 503; retrying in 0 s",
        "SiDS host: 1 frame given up, failing for an hour: HTTP 503"}},
      // A frame with both markers is reported as a beacon and then as a payload.
      {"BothMarkersSentOnce",
       {Answer(200)},
       {Frame(first, FrameKind::kBeacon), Frame(first, FrameKind::kPayload),
        Frame(second, FrameKind::kPayload)},
       2,
       {.sent = 2},
       {"SiDS host: frames accepted"}},
      {"WithoutTimeNotSent",
       {Answer(200)},
       {Frame(first, FrameKind::kBeacon, "")},
       0,
       {.without_time = 1},
       {}},
      {"OnlyItsStartNotSent",
       {Answer(200)},
       {Cut(Frame(first, FrameKind::kOther))},
       0,
       {.too_long = 1},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server{c.answers, {}};
    std::vector<std::string> events;
    SidsSubmitter submitter(
        {"http://host/", "host", {1, "N0CALL", 1, 2, "1"}},
        [&events](const std::string& line) { events.push_back(line); }, std::ref(server),
        {milliseconds(1), milliseconds(4), milliseconds(50), milliseconds(100)});
    submitter.Start();
    for (const FrameFacts& facts : c.frames) submitter.Offer(facts, 7);
    EXPECT_TRUE(submitter.WaitSent(milliseconds(5000)));
    submitter.Stop();
    const SidsCounts counts = submitter.counts();
    EXPECT_EQ(counts.sent, c.counts.sent);
    EXPECT_EQ(counts.waiting, 0);
    EXPECT_EQ(counts.rejected, c.counts.rejected);
    EXPECT_EQ(counts.given_up, c.counts.given_up);
    EXPECT_EQ(counts.without_time, c.counts.without_time);
    EXPECT_EQ(counts.too_long, c.counts.too_long);
    EXPECT_EQ(events, c.events);
    if (c.posts >= 0) {
      EXPECT_EQ(static_cast<std::int64_t>(server.bodies.size()), c.posts);
    }
    // Retries repeat the same form; no frame is posted after it was accepted.
    for (std::size_t i = 1; i < server.bodies.size() && c.counts.sent == 1; ++i) {
      EXPECT_EQ(server.bodies[i], server.bodies[0]);
    }
  }
}

TEST(SidsSubmitter, FullQueueDropsTheOldestAndCountsThem) {
  SidsSubmitter submitter({"http://host/", "host", {1, "N0CALL", 1, 2, "1"}}, nullptr,
                          [](const HttpRequest&) { return Answer(200); });
  std::string bytes("\x00\x00\x00", 3);
  for (std::size_t i = 0; i <= kSidsQueueCapacity; ++i) {
    bytes[1] = static_cast<char>(i);
    bytes[2] = static_cast<char>(i >> 8);
    submitter.Offer(Frame(bytes, FrameKind::kBeacon), 0);
  }
  const SidsCounts counts = submitter.counts();
  EXPECT_EQ(counts.waiting, static_cast<std::int64_t>(kSidsQueueCapacity));
  EXPECT_EQ(counts.dropped, 1);
  EXPECT_EQ(SidsSummaryText("host", counts),
            "SiDS host: 0 sent, 10000 waiting, 0 rejected, 0 given up, 1 dropped");
  EXPECT_EQ(SidsSummaryText("host", {.sent = 1, .without_time = 2, .too_long = 3}),
            "SiDS host: 1 sent, 0 waiting, 0 rejected, 0 given up, 0 dropped, 2 without a receive "
            "time, 3 too long");
}

}  // namespace
}  // namespace talphex
