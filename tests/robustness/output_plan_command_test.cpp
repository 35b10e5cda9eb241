// SPDX-License-Identifier: GPL-3.0-or-later
// Careless commands in every intake mode (captures read whole, standard input, a TNC) against
// every output option: no command destroys a capture, an earlier recording or a file it was not
// asked to write, and a run that fails before anything arrives leaves every file as it was. Each
// row gives the files before (the same folder for all), the command, the exit status, a line of
// its messages and the bytes of every file after.

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "gtest/gtest.h"
#include "testkit/capture_writer.h"
#include "testkit/fake_tnc.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

constexpr char kEarlier[] = "earlier content\n";
constexpr char kEarlierPass[] = "\xC0 an earlier pass \xC0";

enum class Intake { kCaptures, kStandardInput, kServingTnc, kNoTnc };

// What a file holds after the run.
struct After {
  enum class How { kExactly, kStartsWith };
  How how;
  std::string text;
};
After Exactly(std::string text) { return {After::How::kExactly, std::move(text)}; }
After StartsWith(std::string text) { return {After::How::kStartsWith, std::move(text)}; }

struct Row {
  std::string name;
  Intake intake;
  std::vector<std::string> args;  // "@" the folder, "TNC" the TNC's address
  int status;
  std::string message;  // part of standard error, "@" the folder; empty: not checked
  std::map<std::string, After> changed;  // every other file stays as it was
  std::string standard_input = "";       // a file of the folder
  bool append_to_log = false;            // standard output appends to "log"
};

std::string Golden(const char* name) {
  return ReadFile(std::string(TALPHEX_TEST_DATA_DIR) + "/" + name);
}

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
  for (std::size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
  return text;
}

// The folder every row starts from: two captures, an earlier recording, earlier exports, a log,
// a dangling link, a folder and an empty file.
std::map<std::string, std::string> MakeFolder(const testing::TempDir& dir) {
  const std::string sample = ReadFile(TALPHEX_SAMPLE_CAPTURE);
  std::map<std::string, std::string> files = {
      {"x.kss", sample},
      {"y.kss", sample},
      {"pass1.kss", kEarlierPass},
      {"keep.csv", kEarlier},
      {"keep.jsonl", kEarlier},
      {"keep.tlm", kEarlier},
      {"keep.influx", kEarlier},
      {"keep.acsv", kEarlier},
      {"keep-payload.csv", kEarlier},
      {"keep-alarms.csv", kEarlier},
      {"keep.md", kEarlier},
      {"log", kEarlier},
      {"empty", ""},
  };
  for (const auto& [name, content] : files) WriteFile(dir.File(name), content);
  fs::create_symlink("target.csv", dir.File("dangling.csv"));
  fs::create_directory(dir.File("folder"));
  return files;
}

std::vector<Row> Rows() {
  const std::string beacon_csv = Golden("sample-beacon.csv");
  const std::string header = beacon_csv.substr(0, beacon_csv.find('\n') + 1);
  const std::vector<std::string> every_output = {
      "--csv",          "@/keep.csv",        "--payload-csv",  "@/keep-payload.csv",
      "--tlm",          "@/keep.tlm",        "--jsonl",        "@/keep.jsonl",
      "--analysis-csv", "@/keep.acsv",       "--influx",       "@/keep.influx",
      "--alarms",       "@/keep-alarms.csv", "--pass-summary", "@/keep.md"};
  std::vector<Row> rows;
  // Regression: every export option named the capture it read, and the capture was replaced.
  for (const OutputOptionInfo& info : kOutputOptions) {
    if (info.needs_kiss_tcp) continue;
    const std::string option = info.name;
    rows.push_back({"CaptureNamedAsOutput" + option,
                    Intake::kCaptures,
                    {option, "@/x.kss", "@/x.kss"},
                    2,
                    "talphex-cli: " + option + " @/x.kss would replace the capture @/x.kss",
                    {}});
    // The limits file is read like a capture.
    rows.push_back(
        {"LimitsFileNamedAsOutput" + option,
         Intake::kCaptures,
         {"--limits", "@/keep.tlm", option, "@/keep.tlm", "@/x.kss"},
         2,
         "talphex-cli: " + option + " @/keep.tlm would replace the limits file @/keep.tlm",
         {}});
  }
  const std::vector<Row> listed = {
      // Regression: "--csv *.kss" turned the first capture into a CSV.
      {"GlobOfCaptures",
       Intake::kCaptures,
       {"--csv", "@/x.kss", "@/y.kss"},
       2,
       "talphex-cli: --csv @/x.kss would replace the capture @/x.kss",
       {}},
      {"CaptureOnStandardInputNamedAsOutput",
       Intake::kStandardInput,
       {"--csv", "@/x.kss", "-"},
       2,
       "talphex-cli: --csv @/x.kss would replace the capture on standard input",
       {},
       "x.kss"},
      // Regression: one file under two spellings, or a dangling link and its target, was written
      // twice and kept only the last output.
      {"OneFileTwoSpellings",
       Intake::kCaptures,
       {"--csv", "@/s.csv", "--payload-csv", "@/./s.csv", "@/x.kss"},
       2,
       "talphex-cli: --csv @/s.csv and --payload-csv @/./s.csv name the same file",
       {}},
      {"DanglingLinkAndItsTarget",
       Intake::kCaptures,
       {"--csv", "@/dangling.csv", "--payload-csv", "@/target.csv", "@/x.kss"},
       2,
       "talphex-cli: --csv @/dangling.csv and --payload-csv @/target.csv name the same file",
       {}},
      {"EmptyOutputPath",
       Intake::kCaptures,
       {"--csv", "", "@/x.kss"},
       2,
       "talphex-cli: --csv: the output path is empty\n",
       {}},
      {"TwoOutputsOnStandardOutput",
       Intake::kCaptures,
       {"--csv", "-", "--jsonl", "/dev/stdout", "@/x.kss"},
       2,
       "talphex-cli: --csv - and --jsonl /dev/stdout both write to standard output",
       {}},
      {"NullDeviceTakesSeveralOutputs",
       Intake::kCaptures,
       {"--csv", "/dev/null", "--payload-csv", "/dev/null", "@/x.kss"},
       0,
       "",
       {}},
      {"FolderAsOutput",
       Intake::kCaptures,
       {"--csv", "@/folder", "--tlm", "@/keep.tlm", "@/x.kss"},
       1,
       "talphex-cli: @/folder: is a folder",
       {{"keep.tlm", StartsWith("TALPHEX")}}},
      {"StreamedFolderOutput",
       Intake::kStandardInput,
       {"--jsonl", "@/folder", "--csv", "@/keep.csv", "-"},
       1,
       "talphex-cli: @/folder: is a folder",
       {},
       "x.kss"},
      // Regression: streamed outputs opened "/dev/stdout" anew and wiped what the shell appends
      // to.
      {"StreamedStandardOutputAppends",
       Intake::kStandardInput,
       {"--csv", "/dev/stdout", "-"},
       0,
       "",
       {{"log", Exactly(kEarlier + beacon_csv)}},
       "x.kss",
       true},
      {"StreamedCsvIsTheBatchCsv",
       Intake::kStandardInput,
       {"--csv", "@/keep.csv", "-"},
       0,
       "",
       {{"keep.csv", Exactly(beacon_csv)}},
       "x.kss"},
      {"StreamEndedAsAskedWithNoRecordWritesHeaders",
       Intake::kStandardInput,
       {"--csv", "@/keep.csv", "-"},
       0,
       "",
       {{"keep.csv", Exactly(header)}},
       "empty"},
      {"StreamFailedWithNoRecordKeepsOutputs",
       Intake::kStandardInput,
       {"--csv", "@/keep.csv", "--tlm", "@/keep.tlm", "-", "@/missing.kss"},
       1,
       "talphex-cli: @/missing.kss: No such file or directory",
       {},
       "empty"},
      // Regression: a refused connection left a header, 0 bytes and an empty report.
      {"RefusedConnectionKeepsOutputs",
       Intake::kNoTnc,
       [&] {
         std::vector<std::string> args = {"--kiss-tcp",       "TNC",      "--seconds", "1.5",
                                          "--record-capture", "@/new.kss"};
         args.insert(args.end(), every_output.begin(), every_output.end());
         return args;
       }(),
       1,
       "",
       {}},
      // Regression: --record-capture emptied an earlier pass: on a refused connection, on a
      // usage error, and when connected.
      {"EarlierRecordingNotReplaced",
       Intake::kNoTnc,
       {"--kiss-tcp", "TNC", "--record-capture", "@/pass1.kss"},
       2,
       "talphex-cli: --record-capture @/pass1.kss: the file exists, and a recording never "
       "replaces one",
       {}},
      {"EarlierRecordingNotReplacedOnUsageError",
       Intake::kNoTnc,
       {"--kiss-tcp", "nohostport", "--record-capture", "@/pass1.kss"},
       2,
       "",
       {}},
      {"RecordingAndExportOnOneFile",
       Intake::kNoTnc,
       {"--kiss-tcp", "TNC", "--csv", "@/r.kss", "--record-capture", "@/r.kss"},
       2,
       "talphex-cli: --csv @/r.kss and --record-capture @/r.kss name the same file",
       {}},
      {"EmptyRecordingPath",
       Intake::kNoTnc,
       {"--kiss-tcp", "TNC", "--record-capture", ""},
       2,
       "talphex-cli: --record-capture: the output path is empty",
       {}},
      {"RecordingToStandardOutput",
       Intake::kNoTnc,
       {"--kiss-tcp", "TNC", "--record-capture", "-"},
       2,
       "talphex-cli: --record-capture writes binary frames, so it needs a FILE, not -",
       {}},
      {"RecordingNeedsATnc",
       Intake::kCaptures,
       {"--record-capture", "@/new.kss", "@/x.kss"},
       2,
       "talphex-cli: --record-capture needs --kiss-tcp or --mqtt-subscribe",
       {}},
      {"ServedPassAppendsToStandardOutput",
       Intake::kServingTnc,
       {"--kiss-tcp", "TNC", "--frames", "3", "--jsonl", "/dev/stdout"},
       0,
       "",
       {{"log", StartsWith(std::string(kEarlier) + "{")}},
       "",
       true},
      // A live run writes its pass summary when it ends, here after --frames.
      {"ServedPassSummarised",
       Intake::kServingTnc,
       {"--kiss-tcp", "TNC", "--frames", "3", "--pass-summary", "@/keep.md", "--alarms",
        "@/keep-alarms.csv"},
       0,
       "",
       {{"keep.md", StartsWith("# Pass summary\n\n## Pass 1\n")},
        {"keep-alarms.csv", Exactly("rx_time_utc,record,kind,field,value,from,to\r\n")}}},
      {"ServedPassRecordedAndExported",
       Intake::kServingTnc,
       {"--kiss-tcp", "TNC", "--frames", "3", "--record-capture", "@/new.kss", "--csv",
        "@/keep.csv"},
       0,
       "",
       {{"new.kss", StartsWith("")}, {"keep.csv", StartsWith(header)}}},
  };
  rows.insert(rows.end(), listed.begin(), listed.end());
  // Regression: a bad address truncated every output and created an empty recording.
  for (const char* address :
       {"127.0.0.1:", "127.0.0.1:0", "127.0.0.1:99999", "localhost", "[::1]:x", "[]:8001"}) {
    std::vector<std::string> args = {"--kiss-tcp", address, "--record-capture", "@/new.kss"};
    args.insert(args.end(), every_output.begin(), every_output.end());
    rows.push_back({std::string("BadAddress ") + address, Intake::kNoTnc, args, 2, "", {}});
  }
  // Regression: "nan" seconds ended at once, "1e16" overflowed to "time is up".
  for (const std::vector<std::string>& limit : {std::vector<std::string>{"--seconds", "nan"},
                                                {"--seconds", "inf"},
                                                {"--seconds", "1e16"},
                                                {"--seconds", "0"},
                                                {"--seconds", "-1"},
                                                {"--frames", "0"},
                                                {"--frames", "-3"},
                                                {"--frames", "99999999999999999999"}}) {
    std::vector<std::string> args = limit;
    args.insert(args.end(), {"--csv", "@/keep.csv", "-"});
    rows.push_back({"Limit " + limit[0] + " " + limit[1],
                    Intake::kStandardInput,
                    args,
                    2,
                    limit[1] == "99999999999999999999" ? "" : limit[0] + ": ",
                    {},
                    "x.kss"});
  }
  return rows;
}

TEST(OutputPlanCommand, NoCommandDestroysWhatItWasNotAskedToWrite) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    const testing::TempDir dir;
    const std::map<std::string, std::string> before = MakeFolder(dir);
    std::unique_ptr<FakeTnc> tnc;
    std::string address = "127.0.0.1:" + std::to_string(RefusedPort());
    if (row.intake == Intake::kServingTnc) {
      std::string frames = "\xC0";
      for (int n = 1; n <= 3; ++n) frames += KissBeaconFrame(n);
      // The client runs in a forked child: the server must not be a thread of this process.
      tnc = std::make_unique<FakeTnc>(std::vector<std::vector<std::string>>{{frames}}, false,
                                      FakeTnc::Server::kChildProcess);
      address = tnc->Address();
    }
    std::vector<std::string> args;
    for (const std::string& arg : row.args) {
      args.push_back(arg == "TNC" ? address : Replaced(arg, "@", dir.path()));
    }
    const testing::CliRun run = testing::RunInChild(
        [&](std::FILE* err) {
          if (!row.standard_input.empty()) {
            const int fd = ::open(dir.File(row.standard_input).c_str(), O_RDONLY);
            if (fd < 0 || ::dup2(fd, STDIN_FILENO) < 0) return 126;
          }
          if (row.append_to_log) {
            const int fd = ::open(dir.File("log").c_str(), O_WRONLY | O_APPEND);
            if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) return 126;
          }
          return testing::RunCliTo(stdout, err, args);
        },
        false);
    EXPECT_EQ(run.status, row.status) << run.err;
    if (!row.message.empty()) {
      EXPECT_NE(run.err.find(Replaced(row.message, "@", dir.path())), std::string::npos) << run.err;
    }
    for (const auto& [name, content] : before) {
      if (row.changed.count(name) == 0) {
        EXPECT_TRUE(ReadFile(dir.File(name)) == content) << name;
      }
    }
    for (const auto& [name, after] : row.changed) {
      const std::string content = ReadFile(dir.File(name));
      switch (after.how) {
        case After::How::kExactly:
          EXPECT_TRUE(content == after.text) << name;
          break;
        case After::How::kStartsWith:
          EXPECT_TRUE(content.size() > after.text.size() &&
                      content.compare(0, after.text.size(), after.text) == 0)
              << name << ":\n"
              << content;
          break;
      }
    }
    // No file beyond those the row names, and no temporary file left behind.
    std::string expected_listing;
    std::map<std::string, bool> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) names[entry.path().filename()];
    for (const auto& [name, ignored] : names) {
      const bool new_file = before.count(name) == 0 && name != "dangling.csv" && name != "folder";
      if (!new_file || row.changed.count(name) > 0) {
        expected_listing += name + "\n";
      }
    }
    EXPECT_EQ(dir.Listing(), expected_listing);
  }
}

}  // namespace
}  // namespace talphex
