// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/decode/telemetry_record.h"
#include "testkit/capture_writer.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

using testing::RunCliWith;

constexpr char kSample[] = TALPHEX_SAMPLE_CAPTURE;
constexpr char kSummary[] =
    ": 86 beacon frames, 26 payload frames decoded, 0 skipped\n"
    "total: 86 beacon frames, 26 payload frames, 0 skipped\n"
    "beacon time span: 2026-11-14 09:41:03 -> 2026-11-14 09:50:58\n"
    "payload time span: 2026-11-14 09:41:11 -> 2026-11-14 09:50:46\n";

std::string Golden(const char* name) {
  return testing::ReadFile(std::string(TALPHEX_TEST_DATA_DIR) + "/" + name);
}

// The first `lines` lines of `text`.
std::string Head(const std::string& text, int lines) {
  std::size_t end = 0;
  for (int i = 0; i < lines; ++i) end = text.find('\n', end) + 1;
  return text.substr(0, end);
}

// The summary; with --log after every frame's line.
TEST(Cli, SummaryOfTheSample) {
  const testing::CliRun run = RunCliWith({kSample});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, kSample + std::string(kSummary));
  const std::string log = RunCliWith({"--log", kSample}).out;
  EXPECT_EQ(log.rfind("TALPHEX<~", 0), 0u);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\r'), 86 + 26);
  EXPECT_EQ(log.substr(log.rfind("\r\n") + 2), run.out);
  const std::string limited = RunCliWith({"--max-records", "10", kSample}).out;
  EXPECT_NE(limited.find("76 beacon frames beyond --max-records were not kept"), std::string::npos)
      << limited;
}

TEST(Cli, OutputsToStandardOutputAreTheExports) {
  const std::string beacon = Golden("sample-beacon.csv");
  std::string payload_comma = Golden("sample-payload.csv");
  std::replace(payload_comma.begin(), payload_comma.end(), '.', ',');
  const std::pair<std::vector<std::string>, std::string> kCases[] = {
      // Captures follow each other in the stores: the golden beacon CSV, then its records again.
      {{"--csv", "-", kSample, kSample}, beacon + beacon.substr(beacon.find('\n') + 1)},
      {{"--max-records", "10", "--csv", "-", kSample}, Head(beacon, 11)},
      {{"--max-records", "0", "--payload-csv", "-", kSample}, Head(payload_comma, 1)},
      {{kSample, "--payload-csv", "-", "--decimal-comma"}, payload_comma},
      {{"--tlm", "-", "--record", "20", kSample}, Golden("sample-record20.tlm")},
      {{"--tlm", "-", kSample}, RunCliWith({"--record", "1", "--tlm", "-", kSample}).out},
  };
  for (const auto& [args, expected] : kCases) {
    const testing::CliRun run = RunCliWith(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out == expected) << args[0] << " " << args[1];
  }
}

// A SatNOGS frame export: its duplicates and malformed lines in the summary, duplicates decoded
// with --keep-duplicates; a file of other text said to be neither.
TEST(Cli, SatnogsFrameExport) {
  const testing::TempDir dir;
  const std::string frames = dir.File("frames.csv");
  const std::string lines = SatnogsExportOf(testing::ReadFile(kSample), "\r\n");
  testing::WriteFile(frames,
                     lines + "2026-11-14 09:51:00|41F\r\n" + lines.substr(0, lines.find('\n') + 1));
  const testing::CliRun run = RunCliWith({frames});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find("total")),
            frames +
                ": 86 beacon frames, 26 payload frames decoded, 0 skipped\n"
                "  1 duplicate frame skipped\n  1 malformed line skipped\n"
                "  line 113: odd number of hex digits\n");
  const std::string kept = RunCliWith({"--keep-duplicates", frames}).out;
  EXPECT_EQ(kept.rfind(frames + ": 87 beacon frames", 0), 0u) << kept;
  // A file that is neither an export nor a capture has one line in place of its counts.
  const std::string notes = dir.File("notes\x1B.txt");
  testing::WriteFile(notes, "2026-11-14 pass notes\n");
  const testing::CliRun other = RunCliWith({notes, frames});
  EXPECT_EQ(other.status, 0) << other.err;
  EXPECT_EQ(other.out.substr(0, other.out.find(frames)),
            dir.File("notes\\x1B.txt") + ": no KISS frames and no SatNOGS lines\n");
}

// --hexdump prints every frame as it is read: its facts, its bytes and its decoded body, with no
// control byte of the radio reaching the terminal; a frame heard twice in a SatNOGS export is
// there as a skipped duplicate with the time of its own line.
TEST(Cli, HexdumpOfEveryFrame) {
  CaptureWriter writer;
  writer.AddTimestamp("2026-11-14 09:41:00");
  writer.AddRawFrame("VAVE", "z~>");
  writer.AddPart("\x1B]0;owned\x07");
  const testing::TempDir dir;
  const std::string capture = dir.File("pass.kss");
  testing::WriteFile(capture, writer.bytes());
  const testing::CliRun run = RunCliWith({"--hexdump", capture});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find(capture)),
            "2026-11-14 09:41:00  payload  TALPHX > CQ  24 bytes at byte 29  decoded\n"
            "frame (24 bytes):\n"
            "0000  00 86 A2 40 40 40 40 60  A8 82 98 A0 90 B0 61 03  |...@@@@`......a.|\n"
            "0010  F0 56 41 56 45 7A 7E 3E                           |.VAVEz~>|\n"
            "body (4 bytes):\n"
            "0000  00 00 00 00                                       |....|\n"
            "\n"
            "2026-11-14 09:41:00  other  10 bytes at byte 54  no marker\n"
            "frame (10 bytes):\n"
            "0000  1B 5D 30 3B 6F 77 6E 65  64 07                    |.]0;owned.|\n"
            "\n");
  // The copy heard two seconds later keeps its own line's time.
  CaptureWriter again;
  again.AddTimestamp("2026-11-14 09:41:02");
  again.AddRawFrame("VAVE", "z~>");
  const std::string frames = dir.File("frames.txt");
  testing::WriteFile(frames, SatnogsExportOf(writer.bytes() + again.bytes()));
  const std::string dump = RunCliWith({"--hexdump", frames}).out;
  EXPECT_NE(dump.find("2026-11-14 09:41:02  payload  TALPHX > CQ  24 bytes at byte 110  "
                      "skipped: duplicate\n"),
            std::string::npos)
      << dump;
}

// The totals' spans run from the earliest to the latest time, also when the first frame has
// none and the stamps go back; a kind without a stamped frame has none.
TEST(Cli, TimeSpansFromTheEarliestToTheLatestTime) {
  CaptureWriter writer;
  writer.AddRawFrame("VAVE", "z~>");
  writer.AddTimestamp("2026-12-07 11:20:59");
  writer.AddRawFrame("VAVE", "z~>");
  writer.AddTimestamp("2026-11-14 09:50:46");
  writer.AddRawFrame("VAVE", "z~>");
  const testing::TempDir dir;
  const std::string capture = dir.File("pass.kss");
  testing::WriteFile(capture, writer.bytes());
  const testing::CliRun run = RunCliWith({capture});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(run.out.find("total")),
            "total: 0 beacon frames, 3 payload frames, 0 skipped\n"
            "beacon time span: none\n"
            "payload time span: 2026-11-14 09:50:46 -> 2026-12-07 11:20:59\n");
  CaptureWriter unstamped;
  unstamped.AddRawFrame("VAVE", "z~>");
  testing::WriteFile(capture, unstamped.bytes());
  const std::string none = RunCliWith({capture}).out;
  EXPECT_EQ(none.substr(none.find("payload time")), "payload time span: none\n");
}

TEST(Cli, VersionAndUsageErrors) {
  const testing::CliRun version = RunCliWith({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("talphex-cli ") + TALPHEX_VERSION +
                             "\nLicence: GPL-3.0-or-later, without any warranty; the full text "
                             "is in /usr/share/common-licenses/GPL-3\n");
  const std::vector<std::string> kUsageErrors[] = {
      {},
      {"--csv", "-"},
      {"--unknown", kSample},
      {"--record", "0", "--tlm", "-", kSample},
      {"--record", "many", kSample},
      {"--max-records", "-1", kSample},
      {"-", "-"},
      {"--csv", "-", "--payload-csv", "-", "-"},
      {"--kiss-tcp", "localhost:8001", kSample},
      {"--kiss-tcp", "localhost"},
      {"--kiss-tcp", "localhost:0"},
      {"--frames", "3", kSample},
      {"--record-capture", "x.kss", "-"},
      {"--hexdump", "--csv", "-", kSample},
      {"--station", "GS 1", "--influx", "-", kSample},
      {"--station", "GS/1", "--influx", "-", kSample},
      {"--station", "G\xC3\xA9", "--influx", "-", kSample},
      {"--station", "a\x1B[2J", "--influx", "-", kSample},
      {"--station", "a,b=c", "--influx", "-", kSample},
  };
  for (const std::vector<std::string>& args : kUsageErrors) {
    const testing::CliRun run = RunCliWith(args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err, "");
    EXPECT_EQ(run.err.find('\x1B'), std::string::npos) << run.err;
  }
}

// The station names every point; the records the line protocol cannot place are counted by
// reason: 3 without a receive time (before the first stamp), 2 outside InfluxDB's years.
TEST(Cli, InfluxStationAndRecordsLeftOut) {
  testing::TempDir dir;
  CaptureWriter writer;
  for (int n = 0; n < 3; ++n) writer.AddFrame(kBeaconMarker, EncodeBeaconBody({}));
  writer.AddTimestamp("1600-01-01 00:00:00");
  writer.AddFrame(kBeaconMarker, EncodeBeaconBody({}));
  writer.AddFrame(kPayloadMarker, EncodePayloadBody({}));
  writer.AddTimestamp("2026-11-14 09:41:03");
  writer.AddFrame(kBeaconMarker, EncodeBeaconBody({}));
  testing::WriteFile(dir.File("odd.kss"), writer.bytes());
  const testing::CliRun run =
      RunCliWith({"--station", "GS-1_north", "--influx", "-", dir.File("odd.kss")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("talphex_beacon,source=odd.kss,station=GS-1_north record=5i,", 0), 0u)
      << run.out;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
  EXPECT_NE(run.err.find("talphex-cli: -: 5 records left out: 3 without a receive time, 2 with a "
                         "receive time outside InfluxDB's years 1677 to 2262\n"),
            std::string::npos)
      << run.err;
}

}  // namespace
}  // namespace talphex
