// Outputs that cannot be written, through talphex-cli and through the exports beside the capture:
// each gives a message with the path and the reason, and an earlier file of the same name is left
// as it was, with no temporary file beside it.

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>

#include "capture/capture_loader.h"
#include "export/exports.h"
#include "gtest/gtest.h"
#include "robustness/robustness_helpers.h"
#include "ui/record_view.h"

namespace talphex {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;

constexpr char kEarlier[] = "earlier output, must survive\r\n";

// Runs `body` in a child process; with `read_only`, as an ordinary user in a read-only folder.
testing::CliRun RunInFolder(const testing::TempDir& dir, bool read_only,
                            const std::function<int(std::FILE* err)>& body) {
  fs::permissions(dir.path(), read_only ? fs::perms(0555) : fs::perms(0755));
  testing::CliRun run = testing::RunInChild(body, read_only);
  fs::permissions(dir.path(), fs::perms(0755));
  return run;
}

TEST(BadOutput, CommandLineNamesTheOutputAndKeepsTheEarlierFile) {
  const testing::TempDir dir;
  // The capture lies in the folder, so that an ordinary user can read it.
  const std::string capture = dir.File("pass.kss"), earlier = dir.File("pass.out");
  testing::WriteFile(capture, ReadFile(TALPHEX_SAMPLE_CAPTURE));
  enum Limit { kNone, kReadOnlyFolder, kFileSize };
  struct Case {
    std::string target;
    std::string message;  // after "talphex-cli: "
    Limit limit = kNone;
    const char* out = "/dev/null";  // standard output
  };
  const Case cases[] = {
      {earlier, earlier + ": Permission denied", kReadOnlyFolder},
      // A file size limit stands for a disk that fills while the file is written.
      {earlier, earlier + ": File too large", kFileSize},
      {"/dev/full", "/dev/full: No space left on device"},
      {"-", "cannot write to standard output", kNone, "/dev/full"},
      {dir.path(), dir.path() + ": is a folder"},
      {dir.File("no/such/out.csv"), dir.File("no/such/out.csv") + ": No such file or directory"},
  };
  for (const Case& c : cases) {
    for (const char* option : {"--csv", "--payload-csv", "--tlm"}) {
      SCOPED_TRACE(c.message + " " + option);
      testing::WriteFile(earlier, kEarlier);
      const std::string listing = dir.Listing();
      const testing::CliRun run = RunInFolder(dir, c.limit == kReadOnlyFolder, [&](std::FILE* err) {
        const rlimit limit{200, 200};  // below the size of every output of the sample
        if (c.limit == kFileSize &&
            (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)) {
          return 126;
        }
        std::FILE* out = std::fopen(c.out, "wb");
        return testing::RunCliTo(out, err, {option, c.target, capture});
      });
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.err, "talphex-cli: " + c.message + "\n");
      EXPECT_EQ(ReadFile(earlier), kEarlier);
      EXPECT_EQ(dir.Listing(), listing);
    }
  }
}

// The exports beside the capture in a read-only folder, and beside a capture whose name is that of
// the output file (regression: the export replaced the capture itself).
TEST(BadOutput, ExportsNameTheOutputAndKeepTheCapture) {
  using Export = Expected<std::string> (*)(const DecoderState&);
  const Export beacon_csv = [](const DecoderState& s) { return ExportBeaconCsv(s, '.'); };
  const Export payload_csv = [](const DecoderState& s) { return ExportPayloadCsv(s, '.'); };
  const Export report = [](const DecoderState& s) {
    return ExportReport(s, BuildRecordView(s, 1, Kind::kBeacon, '.'));
  };
  struct Case {
    const char* capture;
    Export write;
    const char* output;
    const char* reason;
  };
  constexpr char kItself[] = "is the capture itself, not replaced";
  const Case cases[] = {
      {"pass.kss", beacon_csv, "pass.csv", "Permission denied"},
      {"pass.kss", payload_csv, "pass-payload.csv", "Permission denied"},
      {"pass.kss", report, "pass.tlm", "Permission denied"},
      {"pass.csv", beacon_csv, "pass.csv", kItself},
      {"pass.tlm", report, "pass.tlm", kItself},
  };
  const testing::TempDir dir;
  const std::string sample = ReadFile(TALPHEX_SAMPLE_CAPTURE);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    DecoderState state;
    state.InputFilePath = dir.File(c.capture);
    testing::WriteFile(state.InputFilePath, sample);
    ASSERT_TRUE(LoadCaptureFile(state, state.InputFilePath).ok());
    const std::string listing = dir.Listing();
    const bool read_only = std::string_view(c.reason) != kItself;
    const testing::CliRun run = RunInFolder(dir, read_only, [&](std::FILE* err) {
      const Expected<std::string> written = c.write(state);
      std::fputs(written.ok() ? "written" : written.error().c_str(), err);
      return 0;
    });
    EXPECT_EQ(run.err, dir.File(c.output) + ": " + c.reason);
    EXPECT_EQ(ReadFile(state.InputFilePath), sample);
    EXPECT_EQ(dir.Listing(), listing);
  }
}

}  // namespace
}  // namespace talphex
