#include "app/cli.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "capture/capture_loader.h"
#include "export/exports.h"
#include "export/test_files.h"
#include "ui/record_view.h"

namespace talphex {
namespace {

using testing::Captured;
using testing::ReadFile;

constexpr char kSample[] = TALPHEX_SAMPLE_CAPTURE;

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

// Runs the tool with its standard output and error captured in memory.
ToolRun RunTool(std::vector<std::string> args) {
  args.insert(args.begin(), "talphex-cli");
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  char* out_buffer = nullptr;
  char* err_buffer = nullptr;
  std::size_t out_size = 0;
  std::size_t err_size = 0;
  std::FILE* out = open_memstream(&out_buffer, &out_size);
  std::FILE* err = open_memstream(&err_buffer, &err_size);
  ToolRun run;
  run.status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
  std::fclose(out);
  std::fclose(err);
  run.out.assign(out_buffer, out_size);
  run.err.assign(err_buffer, err_size);
  std::free(out_buffer);
  std::free(err_buffer);
  return run;
}

DecoderState LoadSample(int times = 1) {
  DecoderState state;
  state.store_capacity = kUnlimitedRecords;
  for (int i = 0; i < times; ++i) {
    EXPECT_TRUE(LoadCaptureFile(state, kSample).ok());
  }
  return state;
}

std::size_t CountLines(const std::string& text) {
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  return lines;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CliTest : public testing::TempFolderTest {
 protected:
  std::string PathIn(const char* name) const { return (folder_ / name).string(); }
};

TEST_F(CliTest, SummaryOfTheSample) {
  const ToolRun run = RunTool({kSample});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const DecoderState state = LoadSample();
  EXPECT_TRUE(Contains(
      run.out, std::string(kSample) + ": 86 beacon frames, 26 payload frames decoded, 0 skipped\n"))
      << run.out;
  EXPECT_TRUE(Contains(run.out, "total: 86 beacon frames, 26 payload frames, 0 skipped\n"))
      << run.out;
  EXPECT_TRUE(Contains(run.out, "beacon " + TimeSpanText(state, Kind::kBeacon) + "\n")) << run.out;
  EXPECT_TRUE(Contains(run.out, "payload " + TimeSpanText(state, Kind::kPayload) + "\n"))
      << run.out;
}

TEST_F(CliTest, SummaryNamesSkippedFramesAndTheirReason) {
  const std::string capture = PathIn("bad.kss");
  testing::WriteFile(capture, "TALPHEX<~87cU\xC0VAVE<~z~>\xC0");
  const ToolRun run = RunTool({capture});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Contains(run.out, capture + ": 0 beacon frames, 1 payload frames decoded, 1 skipped"))
      << run.out;
  EXPECT_TRUE(Contains(run.out, SkipReasonText(SkipReason::kBodyNotDecoded))) << run.out;
  EXPECT_TRUE(Contains(run.out, "byte 0")) << run.out;
}

TEST_F(CliTest, CsvToStandardOutputEqualsTheExport) {
  const DecoderState state = LoadSample();
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  };
  const Case kCases[] = {
      {{"--csv", "-", kSample}, Captured([&](std::FILE* f) { WriteBeaconCsv(f, state, '.'); })},
      {{"--decimal-comma", "--csv", "-", kSample},
       Captured([&](std::FILE* f) { WriteBeaconCsv(f, state, ','); })},
      {{"--payload-csv", "-", kSample},
       Captured([&](std::FILE* f) { WritePayloadCsv(f, state, '.'); })},
      {{kSample, "--payload-csv", "-", "--decimal-comma"},
       Captured([&](std::FILE* f) { WritePayloadCsv(f, state, ','); })},
  };
  for (const Case& c : kCases) {
    const ToolRun run = RunTool(c.args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out == c.expected) << c.args[0] << " " << c.args[1];
  }
}

TEST_F(CliTest, CapturesFollowEachOtherInTheStores) {
  const DecoderState twice = LoadSample(2);
  ASSERT_EQ(twice.BeaconCount, 172);
  const ToolRun run = RunTool({"--csv", "-", kSample, kSample});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(CountLines(run.out), 173u);
  EXPECT_TRUE(run.out == Captured([&](std::FILE* f) { WriteBeaconCsv(f, twice, '.'); }));
}

TEST_F(CliTest, MaxRecordsLimitsTheStores) {
  const ToolRun run = RunTool({"--max-records", "10", "--csv", "-", kSample});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(CountLines(run.out), 11u);
  const ToolRun payload = RunTool({"--max-records", "0", "--payload-csv", "-", kSample});
  EXPECT_EQ(CountLines(payload.out), 1u);
  const ToolRun summary = RunTool({"--max-records", "10", kSample});
  EXPECT_TRUE(Contains(summary.out, "76 beacon frames beyond --max-records were not kept"))
      << summary.out;
}

TEST_F(CliTest, ReportOfTheRecordAsked) {
  const DecoderState state = LoadSample();
  for (int record : {1, 20, 80}) {
    const std::string path = PathIn("pass.tlm");
    const ToolRun run = RunTool({"--tlm", path, "--record", std::to_string(record), kSample});
    ASSERT_EQ(run.status, 0) << run.err;
    const RecordView view = BuildRecordView(state, record, Kind::kBeacon);
    EXPECT_EQ(ReadFile(path), Captured([&](std::FILE* f) { WriteReport(f, view); })) << record;
  }
  const ToolRun by_default = RunTool({"--tlm", "-", kSample});
  EXPECT_EQ(by_default.out, Captured([&](std::FILE* f) {
              WriteReport(f, BuildRecordView(state, 1, Kind::kBeacon));
            }));
}

TEST_F(CliTest, LogPrintsEveryFrame) {
  const DecoderState state = LoadSample();
  const ToolRun run = RunTool({"--log", kSample});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind(state.BeaconStore[0].FrameText + "\r\n", 0), 0u) << "first frame first";
  EXPECT_EQ(CountLines(run.out), 86u + 26u);
  EXPECT_TRUE(Contains(run.out, state.PayloadStore[25].FrameText + "\r\n"));
  EXPECT_TRUE(Contains(run.out, "total: 86 beacon frames")) << "the summary follows the log";
}

TEST_F(CliTest, HelpAndVersion) {
  const ToolRun help = RunTool({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--csv", "--payload-csv", "--tlm", "--record", "--max-records",
                             "--decimal-comma", "--log", "--version"}) {
    EXPECT_TRUE(Contains(help.out, option)) << option;
  }
  const ToolRun version = RunTool({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(Contains(version.out, TALPHEX_VERSION)) << version.out;
}

TEST_F(CliTest, UsageErrorsExitWith2) {
  const std::vector<std::string> kCases[] = {
      {},
      {"--csv", "-"},
      {"--unknown", kSample},
      {"--record", "0", "--tlm", "-", kSample},
      {"--record", "many", kSample},
      {"--max-records", "-1", kSample},
  };
  for (const auto& args : kCases) {
    const ToolRun run = RunTool(args);
    EXPECT_EQ(run.status, 2) << (args.empty() ? "no arguments" : args[0]);
    EXPECT_NE(run.err, "") << (args.empty() ? "no arguments" : args[0]);
  }
}

TEST_F(CliTest, UnreadableCaptureIsNamedAndTheOthersStillDecode) {
  const std::string missing = PathIn("missing.kss");
  const ToolRun run = RunTool({"--csv", "-", missing, kSample, folder_.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, missing)) << run.err;
  EXPECT_TRUE(Contains(run.err, folder_.string() + ":")) << run.err;
  EXPECT_EQ(CountLines(run.out), 87u);

  const ToolRun summary = RunTool({missing, kSample});
  EXPECT_EQ(summary.status, 1);
  EXPECT_TRUE(Contains(summary.out, "total: 86 beacon frames")) << summary.out;
}

TEST_F(CliTest, UnwritableOutputFailsWithoutHarm) {
  const std::string csv = PathIn("out.csv");
  testing::WriteFile(csv, "earlier");
  const std::string unwritable = PathIn("gone/out.csv");
  const ToolRun run = RunTool({"--csv", unwritable, "--payload-csv", csv, kSample});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, unwritable)) << run.err;
  EXPECT_EQ(ReadFile(csv), Captured([](std::FILE* f) { WritePayloadCsv(f, LoadSample(), '.'); }))
      << "the other output is still written";

  const ToolRun full = RunTool({"--csv", "/dev/full", kSample});
  EXPECT_EQ(full.status, 1);
  EXPECT_TRUE(Contains(full.err, "/dev/full")) << full.err;
}

}  // namespace
}  // namespace talphex
