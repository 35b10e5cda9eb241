// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line decoder reading from a fake TNC on the loopback interface.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/capture/ascii85.h"
#include "core/capture/capture_loader.h"
#include "testkit/capture_writer.h"
#include "testkit/fake_tnc.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

std::string Stamp(std::uint64_t milliseconds) {
  CaptureWriter writer;
  writer.AddMillisecondStamp(milliseconds);
  return writer.bytes();
}

// Message numbers and receive times of the beacon CSV lines.
std::vector<std::string> Beacons(const std::string& csv, bool with_time) {
  std::vector<std::string> rows;
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);  // the header
  while (std::getline(lines, line)) {
    const std::size_t time_end = line.find(';');
    const std::string number = line.substr(time_end + 1, line.find('.') - time_end - 1);
    rows.push_back(with_time ? line.substr(0, time_end) + " " + number : number);
  }
  return rows;
}

std::vector<std::string> Numbers(int first, int last) {
  std::vector<std::string> numbers;
  for (int n = first; n <= last; ++n) numbers.push_back(std::to_string(n));
  return numbers;
}

struct LiveCase {
  const char* name;
  std::vector<std::vector<std::string>> connections;
  std::vector<std::string> beacons;  // message numbers, with the receive time when stamped
  bool byte_by_byte = false;
  bool with_time = false;
};

std::vector<LiveCase> LiveCases() {
  std::string burst;
  for (int n = 0; n < 10000; ++n) burst += KissBeaconFrame(n % 65536);
  const std::string oversized = "\xC0" + std::string(kMaxPartBytes + 10, 'x') + "\xC0";
  const std::string cut = KissBeaconFrame(99);
  return {
      {"one byte per write, back-to-back delimiters, noise first",
       {{"noise TALPHEX<~z~>\xC0\xC0\xC0" + KissBeaconFrame(1) + "\xC0\xC0" + KissBeaconFrame(2)}},
       {"1", "2"},
       true},
      {"ports 1 to 15 and unknown commands",
       {{"\xC0" + KissBeaconFrame(1, 1), KissBeaconFrame(2, 7, 0x0C), KissBeaconFrame(3, 15, 0x0F),
         "\xC0\x02\x10\xC0", KissBeaconFrame(4)}},
       Numbers(1, 4)},
      {"millisecond stamps with escaped bytes, one byte per write",
       {{"\xC0" + Stamp(0xC0DB00C0DB) + KissBeaconFrame(1) + Stamp(1763113260123) +
         KissBeaconFrame(2)}},
       {"1996-03-31 21:33:00 1", "2025-11-14 09:41:00 2"},
       true,
       true},
      {"oversized frame, then recovery",
       {{oversized + KissBeaconFrame(1) + KissBeaconFrame(2)}},
       {"1", "2"}},
      {"close in the middle of a frame, then a new connection",
       {{"\xC0" + KissBeaconFrame(1) + cut.substr(0, 40)}, {"\xC0" + KissBeaconFrame(2)}},
       {"1", "2"}},
      {"closed at once, then garbage, then frames",
       {{}, {std::string(3000, '\xDB') + "\xC0garbage\xC0" + KissBeaconFrame(3)}},
       {"3"}},
      {"burst of 10,000 frames", {{"\xC0" + burst}}, {}},
  };
}

TEST(LiveCli, DecodesEveryFrameFromAFakeTnc) {
  for (const LiveCase& c : LiveCases()) {
    SCOPED_TRACE(c.name);
    const std::size_t frames = c.beacons.empty() ? 10000 : c.beacons.size();
    FakeTnc tnc(c.connections, c.byte_by_byte);
    const testing::CliRun run =
        testing::RunCliWith({"--kiss-tcp", tnc.Address(), "--frames", std::to_string(frames),
                             "--seconds", "60", "--csv", "-"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> beacons = Beacons(run.out, c.with_time);
    if (c.beacons.empty()) {
      ASSERT_EQ(beacons.size(), frames);
      for (std::size_t n = 0; n < frames; ++n) ASSERT_EQ(beacons[n], std::to_string(n));
    } else {
      EXPECT_EQ(beacons, c.beacons) << run.err;
    }
    EXPECT_EQ(run.err.find("ended:"), std::string::npos) << run.err;
  }
}

// What was recorded reloads to the same beacon CSV, receive times included; the states are told.
TEST(LiveCli, RecordedCaptureReloadsToTheSameRecords) {
  testing::TempDir dir;
  // The first frame of each connection has no delimiter before it: it reads as noise.
  FakeTnc tnc({{KissBeaconFrame(1) + Stamp(1763113260123) + KissBeaconFrame(2)},
               {"\xC0" + KissBeaconFrame(3)}},
              false);
  const testing::CliRun live =
      testing::RunCliWith({"--kiss-tcp", tnc.Address(), "--frames", "2", "--record-capture",
                           dir.File("pass.kss"), "--csv", "-", "--seconds", "60"});
  ASSERT_EQ(live.status, 0) << live.err;
  const testing::CliRun reloaded = testing::RunCliWith({"--csv", "-", dir.File("pass.kss")});
  EXPECT_EQ(reloaded.out, live.out);
  EXPECT_EQ(Beacons(live.out, false), Numbers(2, 3));
  const std::string states = "talphex-cli: connecting to " + tnc.Address() +
                             "\ntalphex-cli: connected to " + tnc.Address() + "\n";
  EXPECT_EQ(live.err.rfind(states, 0), 0u) << live.err;
  EXPECT_NE(live.err.find("talphex-cli: connection lost: closed by the TNC, retrying in 1 s\n"),
            std::string::npos)
      << live.err;
}

// A burst of 100 frames read at once shares one receive time: each record is still one point of
// its own, in arrival order. The source names the recording, so the live run and the recording
// reopened are one series with the same points; unrecorded, it names the connection.
TEST(LiveCli, InfluxPointsOfALiveBurst) {
  std::string burst = "\xC0";
  for (int n = 0; n < 100; ++n) burst += KissBeaconFrame(n);
  for (const bool recorded : {true, false}) {
    SCOPED_TRACE(recorded ? "recorded" : "not recorded");
    testing::TempDir dir;
    FakeTnc tnc({{burst}}, false);
    std::vector<std::string> args = {"--kiss-tcp", tnc.Address(), "--frames", "100",
                                     "--seconds",  "60",          "--influx", dir.File("live.lp")};
    if (recorded) args.insert(args.end(), {"--record-capture", dir.File("pass.kss")});
    const testing::CliRun live = testing::RunCliWith(args);
    ASSERT_EQ(live.status, 0) << live.err;
    const std::string lines = testing::ReadFile(dir.File("live.lp"));
    const std::string start =
        "talphex_beacon,source=" + (recorded ? "pass.kss" : "tcp:" + tnc.Address()) + " ";
    std::size_t count = 0;
    long long last = 0;
    for (std::size_t at = 0; at < lines.size(); at = lines.find('\n', at) + 1, ++count) {
      const std::string line = lines.substr(at, lines.find('\n', at) - at);
      EXPECT_EQ(line.substr(0, start.size()), start);
      const long long time = std::stoll(line.substr(line.rfind(' ') + 1));
      if (count > 0) {
        EXPECT_GT(time, last) << line;
      }
      last = time;
    }
    EXPECT_EQ(count, 100u);
    if (!recorded) continue;
    const testing::CliRun reopened =
        testing::RunCliWith({"--influx", dir.File("reopened.lp"), dir.File("pass.kss")});
    ASSERT_EQ(reopened.status, 0) << reopened.err;
    EXPECT_EQ(testing::ReadFile(dir.File("reopened.lp")), lines);
  }
}

// A TNC that accepts and closes at once is not asked every second: each such connection counts as
// a failed attempt, the wait doubling, until one brings a frame. (The second wait is 2 s and up to
// a quarter more, shown rounded.)
TEST(LiveCli, ConnectionsClosedAtOnceAreTriedEverLessOften) {
  FakeTnc tnc({{}, {}, {"\xC0" + KissBeaconFrame(1)}}, false);
  const testing::CliRun run = testing::RunCliWith(
      {"--kiss-tcp", tnc.Address(), "--frames", "1", "--seconds", "60", "--csv", "-"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Beacons(run.out, false), Numbers(1, 1));
  std::vector<std::string> waits;
  std::istringstream lines(run.err);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("connection lost: closed by the TNC, retrying in ") != std::string::npos) {
      waits.push_back(line.substr(line.rfind("in ") + 3));
    }
  }
  ASSERT_EQ(waits.size(), 2u) << run.err;
  EXPECT_EQ(waits[0], "1 s");
  EXPECT_TRUE(waits[1] == "2 s" || waits[1] == "3 s") << run.err;
}

TEST(LiveCli, RefusedConnectionRetriesUntilTheTimeIsUp) {
  // A port that was just free: nothing listens there.
  int port = 0;
  {
    FakeTnc tnc({}, false);
    port = std::stoi(tnc.Address().substr(10));
  }
  const testing::CliRun run =
      testing::RunCliWith({"--kiss-tcp", "127.0.0.1:" + std::to_string(port), "--seconds", "1.5"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("connection lost: Connection refused, retrying in 1 s"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("ended: time is up"), std::string::npos) << run.err;
}

// The link's messages name the host as given: its control bytes and backslashes are escaped, so
// that neither an escape sequence nor a forged "\x1B" reaches the terminal as it stands.
TEST(LiveCli, LinkMessagesEscapeTheHost) {
  const testing::CliRun run =
      testing::RunCliWith({"--kiss-tcp", "bad\x1B[2J\\x1B.invalid:1", "--seconds", "0.5"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("talphex-cli: connecting to bad\\x1B[2J\\\\x1B.invalid:1\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find('\x1B'), std::string::npos) << run.err;
}

}  // namespace
}  // namespace talphex

namespace talphex {
namespace {

// Standard input is read as a capture file: the same CSV as the file itself, written as it comes,
// and the report of a record that is not stored, since a stream keeps none.
TEST(LiveCli, StandardInputReadsAsTheCaptureFile) {
  testing::TempDir dir;
  const int saved = ::dup(STDIN_FILENO);
  std::FILE* input = std::fopen(TALPHEX_SAMPLE_CAPTURE, "rb");
  ASSERT_NE(input, nullptr);
  ::dup2(::fileno(input), STDIN_FILENO);
  const testing::CliRun piped = testing::RunCliWith(
      {"--payload-csv", "-", "--tlm", dir.File("20.tlm"), "--record", "20", "-"});
  ::dup2(saved, STDIN_FILENO);
  ::close(saved);
  std::fclose(input);
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, testing::RunCliWith({"--payload-csv", "-", TALPHEX_SAMPLE_CAPTURE}).out);
  EXPECT_EQ(testing::ReadFile(dir.File("20.tlm")),
            testing::ReadFile(TALPHEX_TEST_DATA_DIR "/sample-record20.tlm"));
  EXPECT_EQ(piped.err.rfind("standard input: 86 beacon frames, 26 payload frames decoded", 0), 0u)
      << piped.err;
}

}  // namespace
}  // namespace talphex
