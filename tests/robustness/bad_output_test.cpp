// Outputs that cannot be written: a read-only folder, a full device, a file size limit reached
// part-way, a folder or a missing folder as target. Each gives a message with the path and the
// reason, and an earlier file of the same name is left as it was, with no temporary file beside.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/cli.h"
#include "capture/capture_loader.h"
#include "export/exports.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "robustness/robustness_helpers.h"
#include "ui/record_view.h"

namespace talphex {
namespace {

using testing::CliRun;
using ::testing::HasSubstr;
using testing::ReadFile;
using testing::RunCliWith;
using testing::RunInChild;
using testing::TempDir;
using testing::WriteFile;

constexpr char kEarlier[] = "earlier output, must survive\r\n";

const char* const kOutputOptions[] = {"--csv", "--payload-csv", "--tlm"};

int RunCliTo(std::FILE* err, const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"talphex-cli"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  std::FILE* out = std::fopen("/dev/null", "wb");
  const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
  std::fclose(out);
  return status;
}

// A folder with a capture and an earlier output file, made read-only for ordinary users; the
// writing runs as an ordinary user, since root may write anywhere.
class ReadOnlyFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(target_, kEarlier);
    // The capture lies in the folder too, so that an ordinary user can read it.
    WriteFile(capture_, ReadFile(TALPHEX_SAMPLE_CAPTURE));
    ASSERT_EQ(::chmod(dir_.path().c_str(), 0555), 0);
    listing_ = dir_.Listing();
  }
  void ExpectUntouched() {
    EXPECT_EQ(ReadFile(target_), kEarlier);
    EXPECT_EQ(dir_.Listing(), listing_);
  }

  TempDir dir_;
  std::string target_ = dir_.File("pass.csv");
  std::string capture_ = dir_.File("pass.kss");
  std::string listing_;
};

TEST_F(ReadOnlyFolder, CommandLineOutputsFailWithPathAndReason) {
  for (const char* option : kOutputOptions) {
    SCOPED_TRACE(option);
    const CliRun run = RunInChild(
        [&](std::FILE* err) {
          return RunCliTo(err, {option, target_, capture_});
        },
        true);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "talphex-cli: " + target_ + ": Permission denied\n");
    ExpectUntouched();
  }
}

TEST_F(ReadOnlyFolder, ExportsBesideCaptureFailWithPathAndReason) {
  DecoderState state;
  ASSERT_TRUE(LoadCaptureFile(state, TALPHEX_SAMPLE_CAPTURE).ok());
  state.InputFilePath = capture_;
  const RecordView view = BuildRecordView(state, 1, Kind::kBeacon, '.');
  const CliRun run = RunInChild(
      [&](std::FILE* err) {
        const Expected<std::string> results[] = {
            ExportBeaconCsv(state, '.'), ExportPayloadCsv(state, '.'), ExportReport(state, view)};
        int failed = 0;
        for (const Expected<std::string>& result : results) {
          if (!result.ok()) {
            ++failed;
            std::fprintf(err, "%s\n", result.error().c_str());
          }
        }
        return failed;
      },
      true);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, dir_.File("pass.csv") + ": Permission denied\n" +
                         dir_.File("pass-payload.csv") + ": Permission denied\n" +
                         dir_.File("pass.tlm") + ": Permission denied\n");
  ExpectUntouched();
}

// A device without room: the write fails at the flush and the tool says so.
TEST(FullDevice, CommandLineOutputsReportNoSpace) {
  for (const char* option : kOutputOptions) {
    SCOPED_TRACE(option);
    const CliRun run = RunCliWith({option, "/dev/full", TALPHEX_SAMPLE_CAPTURE});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "talphex-cli: /dev/full: No space left on device\n");
  }
}

TEST(FullDevice, StandardOutputOnFullDeviceIsReported) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  std::FILE* err = std::tmpfile();
  const char* argv[] = {"talphex-cli", "--csv", "-", TALPHEX_SAMPLE_CAPTURE};
  EXPECT_EQ(RunCli(4, argv, full, err), 1);
  EXPECT_GT(std::ftell(err), 0) << "no message on standard error";
  std::fclose(full);
  std::fclose(err);
}

// A file size limit stands for a disk that fills while the file is written: the write fails
// part-way through, in a child process so that the limit binds nothing else.
TEST(DiskFullWhileWriting, EarlierFileSurvivesAndNoTemporaryFileIsLeft) {
  for (const char* option : kOutputOptions) {
    SCOPED_TRACE(option);
    TempDir dir;
    const std::string target = dir.File("pass.out");
    WriteFile(target, kEarlier);
    const std::string listing = dir.Listing();
    const CliRun run = RunInChild(
        [&](std::FILE* err) {
          ::signal(SIGXFSZ, SIG_IGN);
          const rlimit limit{200, 200};  // below the size of every output of the sample
          if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 126;
          return RunCliTo(err, {option, target, TALPHEX_SAMPLE_CAPTURE});
        },
        false);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "talphex-cli: " + target + ": File too large\n");
    EXPECT_EQ(ReadFile(target), kEarlier);
    EXPECT_EQ(dir.Listing(), listing);
  }
}

TEST(BadOutputPath, FolderOrMissingFolderAsTarget) {
  TempDir dir;
  struct Case {
    const char* name;
    std::string target;
    std::string reason;
  };
  const Case cases[] = {
      {"Folder", dir.path(), "is a folder"},
      {"MissingFolder", dir.File("no/such/folder/out.csv"), "No such file or directory"},
  };
  for (const Case& c : cases) {
    for (const char* option : kOutputOptions) {
      SCOPED_TRACE(std::string(c.name) + " " + option);
      const CliRun run = RunCliWith({option, c.target, TALPHEX_SAMPLE_CAPTURE});
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.err, "talphex-cli: " + c.target + ": " + c.reason + "\n");
      EXPECT_EQ(dir.Listing(), "");
    }
  }
}

// A capture whose name is that of its output file ("pass.csv") is never replaced by the export.
TEST(CaptureNamedLikeOutput, ExportRefusesAndCaptureStays) {
  TempDir dir;
  const std::string sample = ReadFile(TALPHEX_SAMPLE_CAPTURE);
  struct Case {
    const char* name;
    bool report;
  };
  for (const Case& c : {Case{"pass.csv", false}, Case{"pass.tlm", true}}) {
    SCOPED_TRACE(c.name);
    const std::string capture = dir.File(c.name);
    WriteFile(capture, sample);
    DecoderState state;
    ASSERT_TRUE(LoadCaptureFile(state, capture).ok());
    state.InputFilePath = capture;
    const Expected<std::string> written =
        c.report ? ExportReport(state, BuildRecordView(state, 1, Kind::kBeacon, '.'))
                 : ExportBeaconCsv(state, '.');
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error(), capture + ": is the capture itself, not replaced");
    EXPECT_EQ(ReadFile(capture), sample);
  }
}

// One output failing does not keep the others from being written.
TEST(BadOutputPath, OtherOutputsAreStillWritten) {
  TempDir dir;
  const CliRun run =
      RunCliWith({"--csv", "/dev/full", "--tlm", dir.File("pass.tlm"), TALPHEX_SAMPLE_CAPTURE});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("/dev/full"));
  EXPECT_EQ(dir.Listing(), "pass.tlm\n");
  EXPECT_THAT(ReadFile(dir.File("pass.tlm")), HasSubstr("TALPHEX"));
}

}  // namespace
}  // namespace talphex
