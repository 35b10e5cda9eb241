// SPDX-License-Identifier: GPL-3.0-or-later
// Careless commands: outputs named on the command line get what a shell redirect would give them.
// Devices, FIFOs and descriptor links are written in place, links are written through, a file
// the user may not write and every output of a run that read no capture stay as they were, and
// no failure of standard output passes for success. Each run is in a child process, so that its
// standard output and its user can be set.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/base/output.h"
#include "core/export/atomic_file.h"
#include "gtest/gtest.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

constexpr char kSample[] = TALPHEX_SAMPLE_CAPTURE;
constexpr char kEarlier[] = "earlier content\n";
constexpr char kAlarmHeader[] = "rx_time_utc,record,kind,field,value,from,to\r\n";

std::string Golden(const char* name) {
  return ReadFile(std::string(TALPHEX_TEST_DATA_DIR) + "/" + name);
}

// The file type bits of `path` itself, links not followed.
mode_t TypeOf(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

enum class StandardOutput { kTest, kAppendToLog, kFull, kClosed };

struct CommandCase {
  const char* name;
  std::vector<std::string> args;  // "@" stands for the temporary folder
  StandardOutput out;
  bool as_ordinary_user;
  int status;
  std::string err;  // "@" stands for the folder; empty: nothing
  // Expected content of files in the folder after the run.
  std::vector<std::pair<std::string, std::string>> files;
};

std::string InFolder(std::string text, const std::string& folder) {
  for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
    text.replace(at, 1, folder);
  }
  return text;
}

TEST(CarelessCommand, OutputsGetWhatAShellRedirectWouldGive) {
  const std::string beacon_csv = Golden("sample-beacon.csv");
  const CommandCase cases[] = {
      // Regression: "--csv /dev/stdout >> log" renamed a new file over the log.
      {"AppendedStandardOutput",
       {"--csv", "/dev/stdout", kSample},
       StandardOutput::kAppendToLog,
       false,
       0,
       "",
       {{"log", kEarlier + beacon_csv}}},
      // Regression: outputs were replaced though the only capture could not be read.
      {"NoCaptureRead",
       {"--csv", "@/keep.csv", "--tlm", "@/keep.tlm", "@/missing.kss"},
       StandardOutput::kTest,
       false,
       1,
       "talphex-cli: @/missing.kss: No such file or directory\n",
       {{"keep.csv", kEarlier}, {"keep.tlm", kEarlier}}},
      // Regression: a write-protected file was replaced (the folder lets anyone write).
      {"WriteProtectedTarget",
       {"--csv", "@/protected.csv", "@/sample.kss"},
       StandardOutput::kTest,
       true,
       1,
       "talphex-cli: @/protected.csv: Permission denied\n",
       {{"protected.csv", kEarlier}}},
      // Regression: a dangling link was replaced by a file, the file it names never created.
      {"DanglingLink",
       {"--csv", "@/dangling.csv", kSample},
       StandardOutput::kTest,
       false,
       0,
       "",
       {{"target.csv", beacon_csv}}},
      // Regression: the summary, the log and the version to a full or closed standard output
      // ended with exit status 0.
      {"SummaryToFullDevice",
       {kSample},
       StandardOutput::kFull,
       false,
       1,
       "talphex-cli: standard output: No space left on device\n",
       {}},
      {"LogToFullDevice",
       {"--log", "--csv", "@/out.csv", kSample},
       StandardOutput::kFull,
       false,
       1,
       "talphex-cli: standard output: No space left on device\n",
       {{"out.csv", beacon_csv}}},
      {"VersionToFullDevice",
       {"--version"},
       StandardOutput::kFull,
       false,
       1,
       "talphex-cli: standard output: No space left on device\n",
       {}},
      // The pass monitor's outputs go through the same plan.
      {"AlarmsAppendedToStandardOutput",
       {"--alarms", "/dev/stdout", kSample},
       StandardOutput::kAppendToLog,
       false,
       0,
       "",
       {{"log", std::string(kEarlier) + kAlarmHeader}}},
      {"AlarmsToFullDevice",
       {"--alarms", "/dev/stdout", kSample},
       StandardOutput::kFull,
       false,
       1,
       "talphex-cli: standard output: No space left on device\n",
       {}},
      {"AlarmsToWriteProtectedTarget",
       {"--alarms", "@/protected.csv", "@/sample.kss"},
       StandardOutput::kTest,
       true,
       1,
       "talphex-cli: @/protected.csv: Permission denied\n",
       {{"protected.csv", kEarlier}}},
      {"PassSummaryAndAlarmsOfNoCaptureRead",
       {"--pass-summary", "@/new.md", "--alarms", "@/keep.csv", "@/missing.kss"},
       StandardOutput::kTest,
       false,
       1,
       "talphex-cli: @/missing.kss: No such file or directory\n",
       {{"keep.csv", kEarlier}}},
      {"BadLimitsFileTouchesNoOutput",
       {"--limits", "@/keep.tlm", "--csv", "@/keep.csv", "--pass-summary", "@/new.md", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: @/keep.tlm:1: not \"key = value\"\n",
       {{"keep.csv", kEarlier}, {"keep.tlm", kEarlier}}},
      {"LimitsFileNamedAsOutput",
       {"--limits", "@/keep.csv", "--alarms", "@/keep.csv", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --alarms @/keep.csv would replace the limits file @/keep.csv\n",
       {{"keep.csv", kEarlier}}},
      {"PassSummaryOfAnUnknownFormat",
       {"--pass-summary", "@/keep.tlm", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --pass-summary @/keep.tlm: the file name must end in .md (Markdown) or .json "
       "(JSON)\n",
       {{"keep.tlm", kEarlier}}},
      // The station network's options are refused before any file or socket is opened, with
      // the option named; the files the broker's options read are inputs no output may replace.
      {"MqttPublishWithoutBroker",
       {"--mqtt-publish", "--csv", "@/keep.csv", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --mqtt-publish needs --mqtt URL\nRun with --help for more information.\n",
       {{"keep.csv", kEarlier}}},
      {"MqttBrokerWithoutPublish",
       {"--mqtt", "mqtt://127.0.0.1", "--station", "T1", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --mqtt needs --mqtt-publish or --mqtt-subscribe\nRun with --help for more "
       "information.\n",
       {}},
      // Merging is a source of its own: no capture, TNC or publishing beside it, and no file is
      // touched when it is refused.
      {"MqttSubscribeWithCapture",
       {"--mqtt", "mqtt://127.0.0.1", "--station", "M", "--mqtt-subscribe", "--analysis-csv",
        "@/keep.csv", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --mqtt-subscribe reads no CAPTURE and no --kiss-tcp\nRun with --help for "
       "more information.\n",
       {{"keep.csv", kEarlier}}},
      {"MqttSubscribeWithTnc",
       {"--mqtt", "mqtt://127.0.0.1", "--station", "M", "--mqtt-subscribe", "--kiss-tcp",
        "127.0.0.1:8001"},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --mqtt-subscribe reads no CAPTURE and no --kiss-tcp\nRun with --help for "
       "more information.\n",
       {}},
      {"MqttSubscribeWithoutBroker",
       {"--station", "M", "--mqtt-subscribe", "talphex/+/frames"},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --mqtt-subscribe needs --mqtt URL\nRun with --help for more information.\n",
       {}},
      {"MqttSubscribeWithoutStation",
       {"--mqtt", "mqtt://127.0.0.1", "--mqtt-subscribe"},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --mqtt needs --station NAME\nRun with --help for more information.\n",
       {}},
      {"MqttSubscribeAndPublish",
       {"--mqtt", "mqtt://127.0.0.1", "--station", "M", "--mqtt-subscribe", "--mqtt-publish"},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --mqtt-subscribe and --mqtt-publish cannot be used together\nRun with "
       "--help for more information.\n",
       {}},
      {"MqttSubscribeBadFilter",
       {"--mqtt", "mqtt://127.0.0.1", "--station", "M", "--mqtt-subscribe", "talphex/#/frames"},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --mqtt-subscribe: \"#\" may only be the last level\nRun with --help for "
       "more information.\n",
       {}},
      // A recording of merged frames is a new file like a TNC's: one that exists is refused
      // before the broker is asked.
      {"MqttSubscribeRecordingExists",
       {"--mqtt", "mqtt://127.0.0.1:1", "--station", "M", "--mqtt-subscribe", "--record-capture",
        "@/log"},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --record-capture @/log: the file exists, and a recording never replaces "
       "one\n",
       {{"log", kEarlier}}},
      {"MqttHttpUrl",
       {"--mqtt", "http://127.0.0.1:1883", "--mqtt-publish", "--station", "T1", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --mqtt: \"http://127.0.0.1:1883\" is not mqtt://HOST[:PORT] or "
       "mqtts://HOST[:PORT]\nRun with --help for more information.\n",
       {}},
      {"MqttCaWithoutTls",
       {"--mqtt", "mqtt://127.0.0.1", "--mqtt-publish", "--mqtt-ca", "@/keep.csv", "--station",
        "T1", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --mqtt-ca needs an mqtts:// URL in --mqtt\nRun with --help for more "
       "information.\n",
       {}},
      {"MqttWithoutStation",
       {"--mqtt", "mqtt://127.0.0.1", "--mqtt-publish", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --mqtt needs --station NAME\nRun with --help for more information.\n",
       {}},
      // A station name goes into topics, where "/", "+" and "#" would change their meaning.
      {"MqttStationWithTopicCharacters",
       {"--mqtt", "mqtt://127.0.0.1", "--mqtt-publish", "--station", "a/+", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --station: NAME may hold only letters, digits, - and _\nRun with --help "
       "for more information.\n",
       {}},
      {"MqttPasswordFileMissing",
       {"--mqtt", "mqtt://127.0.0.1", "--mqtt-publish", "--station", "T1", "--mqtt-password-file",
        "@/missing.pw", "--csv", "@/keep.csv", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --mqtt-password-file: @/missing.pw: No such file or directory\n",
       {{"keep.csv", kEarlier}}},
      {"MqttPasswordFileWithoutUser",
       {"--mqtt", "mqtt://127.0.0.1", "--mqtt-publish", "--station", "T1", "--mqtt-password-file",
        "@/log", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --mqtt-password-file: @/log: the first line must be user:password\n",
       {{"log", kEarlier}}},
      {"MqttPasswordFileAsOutput",
       {"--mqtt", "mqtt://127.0.0.1", "--mqtt-publish", "--station", "T1", "--mqtt-password-file",
        "@/keep.csv", "--csv", "@/keep.csv", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --csv @/keep.csv would replace the password file @/keep.csv\n",
       {{"keep.csv", kEarlier}}},
      {"MqttCaFileAsOutput",
       {"--mqtt", "mqtts://127.0.0.1", "--mqtt-publish", "--station", "T1", "--mqtt-ca",
        "@/keep.tlm", "--tlm", "@/keep.tlm", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --tlm @/keep.tlm would replace the CA file @/keep.tlm\n",
       {{"keep.tlm", kEarlier}}},
      {"InfluxFtpUrl",
       {"--influx-url", "ftp://127.0.0.1/write?db=t", "--csv", "@/keep.csv", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --influx-url: the URL must start with http:// or https://\nRun with --help "
       "for more information.\n",
       {{"keep.csv", kEarlier}}},
      // INFLUX_TOKEN is not set in the tests' environment.
      {"InfluxV2WithoutToken",
       {"--influx-url", "http://127.0.0.1:1/api/v2/write?org=o&bucket=b", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --influx-url: an InfluxDB 2 URL needs the token in the environment variable "
       "INFLUX_TOKEN\nRun with --help for more information.\n",
       {}},
      // Frames shared with SatNOGS DB: refused before anything is read or sent, naming what is
      // missing or wrong (conf.ini is looked for in the folder, where there is none).
      {"SidsWithoutStation",
       {"--sids", "--sids-files", "--norad-id", "99999", "--csv", "@/keep.csv", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --sids needs the station's callsign, longitude and latitude: give "
       "--callsign, --longitude and --latitude, or set CALLSIGN, LONGITUDE and LATITUDE in "
       "@/talphex/conf.ini\nRun with --help for more information.\n",
       {{"keep.csv", kEarlier}}},
      {"SidsCaptureFilesNotAskedFor",
       {"--sids", "--norad-id", "99999", "--callsign", "N0CALL", "--longitude", "1", "--latitude",
        "2", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --sids shares the frames received live (--kiss-tcp or -): add --sids-files "
       "to share those of the capture files\nRun with --help for more information.\n",
       {}},
      {"SidsUrlNotHttp",
       {"--sids", "--sids-files", "--sids-url", "db.satnogs.org", "--norad-id", "99999", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --sids-url: \"db.satnogs.org\" is not http://HOST[:PORT]/PATH or "
       "https://HOST[:PORT]/PATH\nRun with --help for more information.\n",
       {}},
      {"SidsOfOtherStationsFrames",
       {"--mqtt", "mqtt://127.0.0.1:1", "--station", "HQ", "--mqtt-subscribe", "--sids",
        "--norad-id", "99999", "--callsign", "N0CALL", "--longitude", "1", "--latitude", "2",
        "--csv", "@/keep.csv"},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --sids shares the frames this station receives, not those of "
       "--mqtt-subscribe\nRun with --help for more information.\n",
       {{"keep.csv", kEarlier}}},
      {"SidsPositionWithoutSids",
       {"--latitude", "40", kSample},
       StandardOutput::kTest,
       false,
       2,
       "talphex-cli: --latitude needs --sids\nRun with --help for more information.\n",
       {}},
      {"SummaryToClosedOutput",
       {kSample},
       StandardOutput::kClosed,
       false,
       1,
       "talphex-cli: standard output: Bad file descriptor\n",
       {}},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TempDir dir;
    const std::string folder = dir.path();
    for (const char* name : {"keep.csv", "keep.tlm", "log", "protected.csv"}) {
      WriteFile(dir.File(name), kEarlier);
    }
    fs::permissions(dir.File("protected.csv"), fs::perms(0444));
    // The ordinary user may not reach the checkout (a clone in a private folder), so the capture
    // it reads stands beside the outputs.
    fs::copy_file(kSample, dir.File("sample.kss"));
    fs::permissions(dir.File("sample.kss"), fs::perms(0444));
    fs::permissions(folder, fs::perms(0777));
    fs::create_symlink("target.csv", dir.File("dangling.csv"));
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(InFolder(arg, folder));
    const auto child = [&](std::FILE* err) {
      // The user's own conf.ini would lend a station to --sids.
      ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
      if (c.out == StandardOutput::kAppendToLog || c.out == StandardOutput::kFull) {
        const std::string target = c.out == StandardOutput::kFull ? "/dev/full" : dir.File("log");
        const int fd = ::open(target.c_str(), O_WRONLY | O_APPEND);
        if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) return 126;
      }
      if (c.out == StandardOutput::kClosed) ::close(STDOUT_FILENO);
      return testing::RunCliTo(stdout, err, args);
    };
    const auto run = testing::RunInChild(child, c.as_ordinary_user);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, InFolder(c.err, folder));
    for (const auto& [name, content] : c.files) {
      EXPECT_TRUE(ReadFile(dir.File(name)) == content) << name;
    }
    EXPECT_EQ(TypeOf(dir.File("dangling.csv")), S_IFLNK);
    EXPECT_EQ(dir.Listing(), std::string("dangling.csv\nkeep.csv\nkeep.tlm\nlog\n") +
                                 (ReadFile(dir.File("out.csv")).empty() ? "" : "out.csv\n") +
                                 "protected.csv\nsample.kss\n" +
                                 (ReadFile(dir.File("target.csv")).empty() ? "" : "target.csv\n"));
  }
}

// The InfluxDB spool in the cache folder (XDG_CACHE_HOME) is an output of the run: a folder that
// cannot be made, and a spool that is a capture or another output, stop the run before it reads.
TEST(CarelessCommand, InfluxSpoolIsPlannedWithTheOutputs) {
  struct SpoolCase {
    const char* name;
    const char* cache;  // XDG_CACHE_HOME; "@" stands for the temporary folder
    std::vector<std::string> args;
    std::string err;
  };
  constexpr char kUrl[] = "http://127.0.0.1:1/write?db=t";
  constexpr char kSpool[] = "@/cache/talphex/influx-spool.lp";
  const SpoolCase cases[] = {
      {"CacheFolderIsAFile",
       "@/keep.csv",
       {"--influx-url", kUrl, kSample},
       "talphex-cli: --influx-url: cannot make the folder @/keep.csv/talphex: Not a directory\n"},
      {"SpoolIsTheCapture",
       "@/cache",
       {"--influx-url", kUrl, kSpool},
       "talphex-cli: --influx-url @/cache/talphex/influx-spool.lp would replace the capture "
       "@/cache/talphex/influx-spool.lp\n"},
      {"SpoolIsAnotherOutput",
       "@/cache",
       {"--influx-url", kUrl, "--jsonl", kSpool, kSample},
       "talphex-cli: --jsonl @/cache/talphex/influx-spool.lp and --influx-url "
       "@/cache/talphex/influx-spool.lp name the same file\n"},
  };
  for (const SpoolCase& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TempDir dir;
    WriteFile(dir.File("keep.csv"), kEarlier);
    fs::create_directories(dir.File("cache/talphex"));
    WriteFile(InFolder(kSpool, dir.path()), kEarlier);
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(InFolder(arg, dir.path()));
    const auto run = testing::RunInChild(
        [&](std::FILE* err) {
          ::setenv("XDG_CACHE_HOME", InFolder(c.cache, dir.path()).c_str(), 1);
          return testing::RunCliTo(stdout, err, args);
        },
        false);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, InFolder(c.err, dir.path()));
    EXPECT_EQ(ReadFile(dir.File("keep.csv")), kEarlier);
    EXPECT_EQ(ReadFile(InFolder(kSpool, dir.path())), kEarlier);
  }
}

// No output path ever replaces a device, a FIFO, or what a link names: every writer of a file,
// on a private device node, a FIFO with a reader, and links to both.
TEST(CarelessCommand, NoOutputReplacesADeviceAFifoOrALinkTarget) {
  const testing::TempDir dir;
  const std::string device = dir.File("device"), fifo = dir.File("fifo");
  ASSERT_EQ(::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0) << "mknod needs root";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  fs::create_symlink("device", dir.File("device-link"));
  fs::create_symlink("fifo", dir.File("fifo-link"));
  // Drains the FIFO. Opened for reading and writing, it always has a reader (no writer meets a
  // moment without one, which would be SIGPIPE) and never reads an end of file.
  std::atomic<bool> done{false};
  const int drain = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(drain, 0);
  std::thread reader([&] {
    char buffer[4096];
    while (!done) {
      pollfd ready{drain, POLLIN, 0};
      if (::poll(&ready, 1, 20) > 0) {
        while (::read(drain, buffer, sizeof buffer) > 0) {
        }
      }
    }
  });
  const std::string listing = dir.Listing();
  for (const std::string& path : {device, fifo, dir.File("device-link"), dir.File("fifo-link")}) {
    SCOPED_TRACE(path);
    for (const char* option : {"--csv", "--payload-csv", "--tlm", "--alarms"}) {
      EXPECT_EQ(testing::RunCliWith({option, path, kSample}).status, 0);
    }
    EXPECT_TRUE(WriteFileAtomically(path, [](std::FILE* out) { Put(out, "bytes"); }).ok());
    EXPECT_EQ(TypeOf(device), S_IFCHR);
    EXPECT_EQ(TypeOf(fifo), S_IFIFO);
    EXPECT_EQ(fs::read_symlink(dir.File("device-link")), "device");
    EXPECT_EQ(fs::read_symlink(dir.File("fifo-link")), "fifo");
    EXPECT_EQ(dir.Listing(), listing);
  }
  done = true;
  reader.join();
  ::close(drain);
}

}  // namespace
}  // namespace talphex
