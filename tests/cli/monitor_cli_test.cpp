// SPDX-License-Identifier: GPL-3.0-or-later
// The pass monitor on the command line: limits read from a file, alarms as CSV and on standard
// error, the pass summary, and --fail-on's exit status. (The summary's JSON is read back by
// Python's json module in pass_summary_reader.py.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "testkit/test_support.h"

namespace talphex {
namespace {

using testing::ReadFile;
using testing::RunCliWith;
using testing::ScopedEnv;
using testing::WriteFile;

constexpr char kSample[] = TALPHEX_SAMPLE_CAPTURE;
constexpr char kEarlier[] = "earlier content\n";

// The sample's first battery voltage lies from 7.89 to 8.20 V: yellow above 8.0, red above 8.1.
constexpr char kBatteryLimits[] = "[Battery Volt 1]\nyellow_high = 8.0\nred_high = 8.1\n";
// Its alarms, checked by eye against the golden beacon CSV (column "Battery Volt").
constexpr char kBatteryAlarms[] =
    "rx_time_utc,record,kind,field,value,from,to\r\n"
    "2026-11-14T09:41:03Z,1,beacon,Battery Volt 1,8.04636,green,yellow\r\n"
    "2026-11-14T09:41:59Z,9,beacon,Battery Volt 1,8.10495,yellow,red\r\n"
    "2026-11-14T09:47:56Z,60,beacon,Battery Volt 1,8.095185,red,yellow\r\n"
    "2026-11-14T09:49:20Z,72,beacon,Battery Volt 1,7.997535,yellow,green\r\n";

// Reads `capture` as standard input.
testing::CliRun RunCliOnStandardInput(const std::string& capture, std::vector<std::string> args) {
  const int saved = ::dup(STDIN_FILENO);
  std::FILE* input = std::fopen(capture.c_str(), "rb");
  if (input == nullptr) return {};
  ::dup2(::fileno(input), STDIN_FILENO);
  const testing::CliRun run = RunCliWith(args);
  ::dup2(saved, STDIN_FILENO);
  ::close(saved);
  std::fclose(input);
  return run;
}

// A batch run writes the alarm CSV whole and says nothing of them on standard error; standard
// input, read as it comes, writes the same lines and tells each alarm on standard error, escaped.
TEST(MonitorCli, AlarmsInBatchAndLiveRuns) {
  const testing::TempDir dir;
  WriteFile(dir.File("limits.ini"), kBatteryLimits);
  const testing::CliRun batch =
      RunCliWith({"--limits", dir.File("limits.ini"), "--alarms", "-", kSample});
  EXPECT_EQ(batch.status, 0) << batch.err;
  EXPECT_EQ(batch.out, kBatteryAlarms);
  EXPECT_EQ(batch.err, "");

  const testing::CliRun live = RunCliOnStandardInput(
      kSample, {"--limits", dir.File("limits.ini"), "--alarms", dir.File("alarms.csv"), "-"});
  EXPECT_EQ(live.status, 0) << live.err;
  EXPECT_EQ(ReadFile(dir.File("alarms.csv")), kBatteryAlarms);
  EXPECT_EQ(live.err.rfind("talphex-cli: alarm: 2026-11-14T09:41:03Z beacon 1 Battery Volt 1 = "
                           "8.04636: green -> yellow\n"
                           "talphex-cli: alarm: 2026-11-14T09:41:59Z beacon 9 Battery Volt 1 = "
                           "8.10495: yellow -> red\n",
                           0),
            0u)
      << live.err;

  // Without limits, the file holds its header only.
  WriteFile(dir.File("empty.ini"), "");
  const testing::CliRun unjudged =
      RunCliWith({"--limits", dir.File("empty.ini"), "--alarms", "-", kSample});
  EXPECT_EQ(unjudged.out, "rx_time_utc,record,kind,field,value,from,to\r\n");
}

TEST(MonitorCli, FailOnSetsExitStatusFourUnlessTheRunFailed) {
  const testing::TempDir dir;
  WriteFile(dir.File("battery.ini"), kBatteryLimits);
  // The sample's panel temperature stays below 60 C: yellow, never red.
  WriteFile(dir.File("yellow.ini"), "[Battery Volt 1]\nyellow_high = 8.0\n");
  WriteFile(dir.File("calm.ini"), "[Temp X+ Panel]\nred_high = 60\n");
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {{"--fail-on", "red"}, 0},
      {{"--limits", "@/calm.ini", "--fail-on", "yellow"}, 0},
      {{"--limits", "@/yellow.ini", "--fail-on", "red"}, 0},
      {{"--limits", "@/yellow.ini", "--fail-on", "yellow"}, 4},
      {{"--limits", "@/battery.ini", "--fail-on", "red"}, 4},
      {{"--limits", "@/battery.ini", "--fail-on", "yellow", "--csv", "/dev/null"}, 4},
      {{"--limits", "@/battery.ini"}, 0},
      // A capture that cannot be read says more than the alarm.
      {{"--limits", "@/battery.ini", "--fail-on", "red", "@/missing.kss"}, 1},
      {{"--limits", "@/battery.ini", "--fail-on", "green"}, 2},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args;
    for (const std::string& arg : c.args) {
      args.push_back(arg.starts_with("@/") ? dir.File(arg.substr(2)) : arg);
    }
    args.push_back(kSample);
    const testing::CliRun run = RunCliWith(args);
    EXPECT_EQ(run.status, c.status) << c.args.at(0) << " " << c.args.at(1) << ": " << run.err;
  }
}

// A bad limits file is a usage error naming the file and the line, before any output is touched.
TEST(MonitorCli, BadLimitsFileIsAUsageErrorNamingFileAndLine) {
  struct Case {
    const char* text;  // nullptr: no file of that name
    const char* message;
  };
  const Case cases[] = {
      {"[Battery Volt 1]\nred_low = x\n", "@:2: red_low is not a number: \"x\""},
      {"[Battery Volt 1]\nred_low = 7\nyellow_low = 6\n",
       "@:3: limits out of order: red_low <= yellow_low <= yellow_high <= red_high"},
      {"# comment\n[Battery Volt 9]\n", "@:2: no field is named \"Battery Volt 9\""},
      {"[flags]\nStatus Word 0 Low CH1_OC = maybe\n",
       "@:2: a flag's rule is 0, 1 or watch, not \"maybe\""},
      {"garbage\n", "@:1: not \"key = value\""},
      {nullptr, "@: No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const testing::TempDir dir;
    const std::string limits = dir.File("limits.ini");
    if (c.text != nullptr) WriteFile(limits, c.text);
    WriteFile(dir.File("keep.csv"), kEarlier);
    const std::string listing = dir.Listing();
    const testing::CliRun run =
        RunCliWith({"--limits", limits, "--csv", dir.File("keep.csv"), "--alarms",
                    dir.File("alarms.csv"), "--pass-summary", dir.File("pass.md"), kSample});
    EXPECT_EQ(run.status, 2);
    std::string message = c.message;
    message.replace(0, 1, limits);
    EXPECT_EQ(run.err, "talphex-cli: " + message + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ReadFile(dir.File("keep.csv")), kEarlier);
    EXPECT_EQ(dir.Listing(), listing);
  }
}

// Without --limits the user's limits.ini is read where the window reads it; a bad one is a usage
// error as well.
TEST(MonitorCli, DefaultLimitsFileInTheConfigurationFolder) {
  const testing::TempDir dir;
  std::filesystem::create_directories(dir.File("xdg/talphex"));
  std::filesystem::create_directories(dir.File("home/.config/talphex"));
  WriteFile(dir.File("xdg/talphex/limits.ini"), kBatteryLimits);
  WriteFile(dir.File("home/.config/talphex/limits.ini"), "garbage\n");
  {
    const ScopedEnv xdg("XDG_CONFIG_HOME", dir.File("xdg"));
    const ScopedEnv home("HOME", dir.File("home"));
    EXPECT_EQ(RunCliWith({"--alarms", "-", kSample}).out, kBatteryAlarms);
  }
  {
    const ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    const ScopedEnv home("HOME", dir.File("home"));
    const testing::CliRun run = RunCliWith({"--alarms", "-", kSample});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "talphex-cli: " + dir.File("home/.config/talphex/limits.ini") +
                           ":1: not \"key = "
                           "value\"\n");
    // --limits names another file, and the default one is not read.
    WriteFile(dir.File("empty.ini"), "");
    EXPECT_EQ(RunCliWith({"--limits", dir.File("empty.ini"), kSample}).status, 0);
  }
  {
    const ScopedEnv xdg("XDG_CONFIG_HOME", dir.File("nothing"));
    const ScopedEnv home("HOME", dir.File("home"));
    EXPECT_EQ(RunCliWith({"--alarms", "-", kSample}).out,
              "rx_time_utc,record,kind,field,value,from,to\r\n");
  }
}

// The Markdown summary of the sample: one pass with its alarms; the file's extension chooses the
// format, and another extension is a usage error.
TEST(MonitorCli, PassSummaryMarkdownAndItsExtension) {
  const testing::TempDir dir;
  WriteFile(dir.File("limits.ini"), kBatteryLimits);
  const testing::CliRun run = RunCliWith(
      {"--limits", dir.File("limits.ini"), "--pass-summary", dir.File("pass.md"), kSample});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string markdown = ReadFile(dir.File("pass.md"));
  for (const char* line : {
           "# Pass summary\n\n## Pass 1\n",
           "| First receive time (UTC) | 2026-11-14T09:41:03Z |\n",
           "| Last receive time (UTC) | 2026-11-14T09:50:58Z |\n",
           "| Duration | 595 s |\n",
           "| Beacon frames | 86 |\n",
           "| Payload frames | 26 |\n",
           "| Message No. | 86 | 4120 | beacon 1 | 4205 | beacon 86 | 4162.5 | 4205 | beacon 86 "
           "|\n",
           "| 2026-11-14T09:41:59Z | beacon 9 | Battery Volt 1 | 8.10495 | yellow | red |\n",
       }) {
    EXPECT_NE(markdown.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(markdown.find("## Pass 2"), std::string::npos);

  const testing::CliRun other = RunCliWith({"--pass-summary", dir.File("pass.txt"), kSample});
  EXPECT_EQ(other.status, 2);
  EXPECT_EQ(other.err, "talphex-cli: --pass-summary " + dir.File("pass.txt") +
                           ": the file name must end in .md (Markdown) or .json (JSON)\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("pass.txt")));
}

// A live run writes its summary when it ends, here at the end of standard input.
TEST(MonitorCli, LiveRunWritesThePassSummaryWhenItEnds) {
  const testing::TempDir dir;
  const testing::CliRun live =
      RunCliOnStandardInput(kSample, {"--pass-summary", dir.File("live.json"), "-"});
  EXPECT_EQ(live.status, 0) << live.err;
  const testing::CliRun batch = RunCliWith({"--pass-summary", dir.File("batch.json"), kSample});
  EXPECT_EQ(batch.status, 0) << batch.err;
  EXPECT_EQ(ReadFile(dir.File("live.json")), ReadFile(dir.File("batch.json")));
  EXPECT_NE(ReadFile(dir.File("live.json")).find("\"beacon_frames\":86"), std::string::npos);
}

}  // namespace
}  // namespace talphex
