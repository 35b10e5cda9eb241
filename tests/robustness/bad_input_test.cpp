// SPDX-License-Identifier: GPL-3.0-or-later
// Bad input through the loader and through talphex-cli: each broken capture gives its documented
// counts or a clear message naming the file, never a crash, a hang or memory that grows with the
// file; a conf.ini of random bytes sets nothing; an output that cannot be written is named with
// the reason, and an earlier file of the same name stays as it was, with no temporary file beside.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/capture/ascii85.h"
#include "core/capture/capture_loader.h"
#include "core/export/atomic_file.h"
#include "core/export/exports.h"
#include "core/view/conf_ini.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "testkit/capture_writer.h"
#include "testkit/report_lines.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::ReadFile;
using testing::RunCliTo;
using testing::WriteFile;

// One KISS frame carrying `body_text` after `marker`, and one whose body encodes `size` bytes.
std::string RawFrame(std::string_view marker, std::string_view body_text) {
  CaptureWriter writer;
  writer.AddRawFrame(marker, body_text);
  return writer.bytes();
}
std::string FrameWithBody(std::string_view marker, std::size_t size) {
  const std::vector<std::uint8_t> body(size, 0x5A);
  return RawFrame(marker, "<~" + Ascii85Encode(body.data(), size));
}

std::string SummaryLine(const std::string& path, int beacon, int payload, int skipped) {
  return path + ": " + std::to_string(beacon) + " beacon frames, " + std::to_string(payload) +
         " payload frames decoded, " + std::to_string(skipped) + " skipped\n";
}

std::string Skip(SkipReason reason, const std::string& detail) {
  return std::string(SkipReasonText(reason)) + " (" + detail + ")";
}

struct CaptureCase {
  std::string name, bytes;
  int beacon, payload;
  std::string skip;     // reason and detail of the one frame skipped, as the frame log gives them
  std::string rx_time;  // of the first beacon record
  // Text but no KISS frame: the summary says so instead of the counts.
  bool unrecognised = false;
};

CaptureCase Malformed(const std::string& name, std::string_view marker, const std::string& text,
                      Ascii85Status status) {
  const std::string skip = Skip(SkipReason::kBodyNotDecoded, Ascii85StatusText(status));
  return {name, RawFrame(marker, text), 0, 0, skip, ""};
}

// A beacon frame after a timestamp part and the raw part `part`. Parts are recognised by their 28
// bytes before unescaping; the receive time is bytes 2 to 20 of the unescaped part.
constexpr char kEarlierTime[] = "2026-01-01 00:00:00";
CaptureCase Stamped(const char* name, const std::string& part, const std::string& rx_time) {
  const std::string earlier = '\0' + std::string(kEarlierTime) + std::string(8, '\0');
  const std::string beacon = FrameWithBody(kBeaconMarker, kBeaconBodySize);
  return {name, earlier + "\xC0" + part + "\xC0" + beacon, 1, 0, "", rx_time};
}

std::vector<CaptureCase> CaptureCases() {
  const std::string beacon = FrameWithBody(kBeaconMarker, kBeaconBodySize);
  const std::string unclosed = beacon.substr(0, beacon.size() - 1);
  const std::string time = '\0' + std::string("2026-11-14 09:41:00");
  const std::string digits = "0123456789ABCDEFGHIJKLMNOP", fends(13, '\xC0');
  const std::string_view b = kBeaconMarker, p = kPayloadMarker;
  using S = Ascii85Status;
  std::vector<CaptureCase> cases = {
      {"EmptyFile", "", 0, 0, "", ""},
      {"NoDelimiter", unclosed, 0, 0, "", "", true},
      {"OnlyDelimiters", std::string(4096, '\xC0'), 0, 0, "", "", true},
      {"RandomBytes", testing::RandomBytes(1, 1 << 20), 0, 0, "", ""},
      {"StampOnly", '\0' + KissEscape("\xC0 timestamp of 28 bytes \xDB") + "\xC0", 0, 0, "", "",
       true},
      // The last part is never examined, nor bytes after a terminator, and a lone escape cannot
      // swallow the delimiter after it.
      {"FrameAfterLastDelimiter", beacon + unclosed, 1, 0, "", ""},
      {"EscapeAtEndOfPart", unclosed + "\xDB\xC0", 1, 0, "", ""},
      {"EscapeAloneInPart", "\xDB\xC0" + beacon, 1, 0, "", ""},
      Malformed("EscapeBeforeTerminator", b, "87cURD]i,\"Ebo80\xDB~>", S::kInvalidCharacter),
      Malformed("EscapedDelimiterInBody", b, "87cURD]i,\"Ebo80\xC0~>", S::kInvalidCharacter),
      // Every way an Ascii85 body can be malformed; an empty body is among the body sizes.
      Malformed("EmptyText", b, "", S::kEmpty),
      Malformed("OpeningWithoutTilde", b, "<x87cURD]i~>", S::kBadOpening),
      Malformed("NoTerminator", b, "87cURD]i", S::kNoTerminator),
      Malformed("CharacterAboveU", b, "87cU{D]i~>", S::kInvalidCharacter),
      Malformed("ZInsideGroup", b, "87z~>", S::kMisplacedZ),
      Malformed("OnlyBlanks", b, " \t\r\n~>", S::kNoDigits),
      Malformed("GroupAboveMaximum", b, "s8W-\"~>", S::kGroupOverflow),
      // Timestamp parts with escapes: an escaped delimiter, an escape in the byte before the
      // time, thirteen escapes that shorten the time, a lone escape at the end, and 29 bytes that
      // unescape to 28, which is no timestamp part.
      Stamped("EscapedDelimiter", '\0' + KissEscape("\xC0") + digits.substr(1),
              "?" + digits.substr(1, 18)),
      Stamped("EscapeInFirstByte", KissEscape("\xDB") + digits, digits.substr(0, 19)),
      Stamped("ShortenedTime", '\0' + KissEscape(fends) + "X", std::string(13, '?') + "X"),
      Stamped("LoneEscapeAtEnd", time + std::string(7, '\0') + "\xDB", time.substr(1)),
      Stamped("TwentyNineBytes", time + std::string(7, '\0') + KissEscape("\xC0"), kEarlierTime),
      // Timestamps anyone can transmit: a forged CSV row, a spreadsheet formula, a terminal
      // escape sequence, bytes outside ASCII. Every export, view and terminal gets the safe text.
      Stamped("ForgedCsvRow", std::string("\0a;b\r\nINJECT;1;2;3;4", 20) + std::string(8, '\0'),
              "a?b??INJECT?1?2?3?4"),
      Stamped("Formula", '\0' + std::string("=HYPERLINK(\"x\")    ") + std::string(8, ' '),
              "'=HYPERLINK(?x?)    "),
      // A quote opening the time made CSV readers swallow the rows after it.
      Stamped("LeadingQuote", '\0' + std::string("\"2026-11-14 09:41:0") + std::string(8, '\0'),
              "?2026-11-14 09:41:0"),
      Stamped("TerminalEscape",
              '\0' + std::string("\x1b]2;owned\x07\xB5\xFF       ") + "\x9b" + "2J     ",
              "?]2?owned???       "),
  };
  // Text after the terminator comes with the frame text: lines of a report of its own, escapes
  // and C1 bytes for whoever prints the report.
  const std::vector<std::uint8_t> body(kBeaconBodySize, 0x5A);
  const std::string encoded = "<~" + Ascii85Encode(body.data(), body.size());
  cases.push_back({"ForgedReportLines",
                   RawFrame(b, encoded + "\r\nMessage No.       : 1 \r\n\x1B[2J\x9B"
                                         "31m\x7F\n"),
                   1, 0, "", ""});
  cases.push_back({"ControlBytesInBody",
                   RawFrame(p, "<~" + std::string(1, '\0') + "\r\n" +
                                   Ascii85Encode(body.data(), kPayloadBodySize) + "\x85"),
                   0, 1, "", ""});
  // Body sizes around the beacon layout and the longest body a frame may carry.
  for (const std::size_t size : {0, 1, 74, 75, 76, 513, 514}) {
    for (const std::string_view marker : {b, p}) {
      const std::string name = std::string(marker) + "Body" + std::to_string(size);
      CaptureCase c{name, FrameWithBody(marker, size), marker == b, marker == p, "", ""};
      if (size == 0) c = Malformed(name, marker, "<~~>", S::kNoDigits);
      if (size == 514) c = {name, c.bytes, 0, 0, Skip(SkipReason::kBodyTooLong, "514 bytes"), ""};
      cases.push_back(c);
    }
  }
  return cases;
}

TEST(BadCapture, LoaderAndCommandLineGiveTheDocumentedResult) {
  const testing::TempDir dir;
  const std::string path = dir.File("case.kss");
  for (const CaptureCase& c : CaptureCases()) {
    SCOPED_TRACE(c.name);
    WriteFile(path, c.bytes);
    DecoderState state;
    const LoadResult result = LoadCaptureFile(state, path);
    const std::size_t skipped = c.skip.empty() ? 0 : 1;
    EXPECT_TRUE(result.ok()) << result.error->message;
    EXPECT_EQ(result.unrecognised, c.unrecognised);
    EXPECT_EQ(result.beacon_frames, c.beacon);
    EXPECT_EQ(result.payload_frames, c.payload);
    EXPECT_EQ(result.warnings.size(), skipped);
    for (const LoadWarning& warning : result.warnings) {
      EXPECT_EQ(warning.file + ": " + Skip(warning.kind, warning.detail), path + ": " + c.skip);
    }
    EXPECT_EQ(state.BeaconCount > 0 ? state.BeaconStore[0].RxTime : "", c.rx_time);
    const testing::CliRun run = testing::RunCliWith({"--log", path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out,
                HasSubstr(c.unrecognised ? path + ": no KISS frames and no SatNOGS lines\n"
                                         : SummaryLine(path, c.beacon, c.payload, skipped)));
    EXPECT_THAT(run.out, HasSubstr(c.skip));
    // Only printable ASCII and line ends reach the terminal; every CSV line has its 52 fields.
    const std::string report_path = dir.File("case.tlm");
    const testing::CliRun csv = testing::RunCliWith({"--csv", "-", "--tlm", report_path, path});
    for (const std::string& text : {run.out, csv.out}) {
      EXPECT_EQ(std::count_if(
                    text.begin(), text.end(),
                    [](char ch) { return (ch < 0x20 || ch > 0x7E) && ch != '\r' && ch != '\n'; }),
                0)
          << text;
    }
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 1 + c.beacon);
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), ';'), 52 * (1 + c.beacon));
    // The semicolon CSV quotes nothing, so a quote in it would start a cell across rows.
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '"'), 0) << csv.out;
    // The report holds only its own 53 lines, each ended by CR LF; printable Latin-1 only.
    const std::string report = ReadFile(report_path);
    EXPECT_EQ(testing::ReportLineFault(report), "") << report;
  }
}

// One part of 100 MB that starts like a beacon frame and is never closed: never examined, and
// neither the loader nor the tool holds it, so peak memory does not grow with it. The peak only
// rises, so an earlier, higher peak in the same process hides growth here; ctest runs each test
// in a process of its own. A closed part too long to keep is among the loader's own cases.
TEST(BadCapture, HugePartIsNeverHeldInMemory) {
  const testing::TempDir dir;
  const std::string path = dir.File("huge.kss");
  {
    std::ofstream file(path, std::ios::binary);
    file << '\0' << kBeaconMarker << "<~";
    for (int megabyte = 0; megabyte < 100; ++megabyte) file << std::string(1 << 20, '!');
  }
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  const testing::CliRun run = testing::RunCliWith({"--log", path});
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 32 * 1024) << "the part was kept in memory";
  EXPECT_EQ(run.status, 0) << run.err;
  // No frame logged: the part is never examined, so the file holds no frame.
  EXPECT_EQ(run.out, "-- " + path + ": no KISS frames and no SatNOGS lines\r\n" + path +
                         ": no KISS frames and no SatNOGS lines\n"
                         "total: 0 beacon frames, 0 payload frames, 0 skipped\n"
                         "beacon time span: none\npayload time span: none\n");
}

// conf.ini of random bytes, or of lines that only look like keys, sets nothing, and key lines
// after it still count.
TEST(BadConfIni, GarbageSetsNothingAndLaterKeysStillApply) {
  std::vector<std::string> texts = {std::string("IMAGE_PATH\0=x\r\nSCREENSHOT\0=YES", 30),
                                    "\tSCREENSHOT\t=YES\r\n\tIMAGE_PATH=/x\r\n=YES"};
  // Sizes from a few bytes to 64 KiB; NUL, CR, LF, "=" and "#" all occur.
  for (std::uint64_t seed = 1; seed <= 64; ++seed) {
    texts.push_back(testing::RandomBytes(seed, (seed * seed * 16) % 65536 + 1));
  }
  for (const std::string& text : texts) {
    const ConfSettings settings = ParseConfIni(text);
    EXPECT_FALSE(settings.image_path || settings.screenshot_button) << text.substr(0, 40);
    const ConfSettings keyed =
        ParseConfIni(text + "\r\nImage_Path =  /home/ham/shots/ \r\nscreenshot=yes\r\n");
    EXPECT_EQ(keyed.image_path, "/home/ham/shots/");
    EXPECT_EQ(keyed.screenshot_button, true);
  }
}

// Paths that cannot be read or written, run in a child process: the loader and the atomic writer
// give the kind and the path with the system's reason; the tool reports the same message, the
// capture after a bad one still loads, every output is still tried, and an earlier output file
// stays as it was, with no temporary file beside it. A file of mode 000 and a read-only folder
// refuse an ordinary user; a file size limit stands for a disk that fills while writing.
// Regression: the loader waited for a writer on a FIFO and read a character device without end.
TEST(BadPath, LoaderWriterAndCommandLineNameWhatCannotBeReadOrWritten) {
  const testing::TempDir dir;
  // The capture lies in the folder, so that an ordinary user can read it.
  const std::string capture = dir.File("pass.kss"), earlier = dir.File("pass.out");
  const std::string locked = dir.File("locked"), fifo = dir.File("fifo");
  WriteFile(capture, ReadFile(TALPHEX_SAMPLE_CAPTURE));
  WriteFile(locked, "");
  fs::permissions(locked, fs::perms::none);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  constexpr char kEarlier[] = "earlier output, must survive\r\n";
  enum Limit { kNone, kOrdinaryUser, kReadOnlyFolder, kFileSize };
  using K = ErrorKind;
  struct Case {
    bool output;  // the target of all three outputs, else a capture read before the good one
    std::string path;
    ErrorKind kind;
    std::string reason;
    Limit limit;
  };
  const Case cases[] = {
      {false, dir.File("missing.kss"), K::kNotFound, "No such file or directory", kNone},
      {false, locked, K::kPermission, "Permission denied", kOrdinaryUser},
      {false, dir.path(), K::kIsFolder, "is a folder, not a capture file", kNone},
      {false, fifo, K::kNotRegularFile, "not a regular file", kNone},
      {false, "/dev/zero", K::kNotRegularFile, "not a regular file", kNone},
      {false, "/proc/self/mem", K::kReadFailed, "Input/output error", kNone},
      {true, earlier, K::kPermission, "Permission denied", kReadOnlyFolder},
      {true, earlier, K::kWriteFailed, "File too large", kFileSize},
      {true, "/dev/full", K::kWriteFailed, "No space left on device", kNone},
      {true, dir.path(), K::kIsFolder, "is a folder", kNone},
      {true, dir.File("no/out.csv"), K::kFolderMissing, "No such file or directory", kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + ": " + c.reason);
    WriteFile(earlier, kEarlier);
    const std::string listing = dir.Listing();
    fs::permissions(dir.path(), c.limit == kReadOnlyFolder ? fs::perms(0555) : fs::perms(0755));
    // The child writes the kind and the core's message on the first line, then runs the tool.
    const auto child = [&](std::FILE* err) {
      const rlimit size_limit{1024, 1024};  // below the size of every output of the sample
      if (c.limit == kFileSize &&
          (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &size_limit) != 0)) {
        return 126;
      }
      DecoderState state;
      std::optional<Error> error = LoadCaptureFile(state, c.path).error;
      if (c.output) {
        const Status written = WriteFileAtomically(
            c.path, [](std::FILE* out) { std::fputs(std::string(2000, 'x').c_str(), out); });
        error = written ? std::nullopt : std::optional<Error>(written.error());
      }
      if (!error) return 125;
      std::fprintf(err, "%d %s\n", static_cast<int>(error->kind), error->message.c_str());
      if (!c.output) return RunCliTo(err, err, {c.path, capture});
      return RunCliTo(err, err, {"--csv", c.path, capture});
    };
    const auto run =
        testing::RunInChild(child, c.limit == kOrdinaryUser || c.limit == kReadOnlyFolder);
    fs::permissions(dir.path(), fs::perms(0755));
    EXPECT_EQ(run.status, 1);
    const std::size_t line_end = run.err.find('\n') + 1;
    const std::string kind = std::to_string(static_cast<int>(c.kind)) + " ";
    ASSERT_EQ(run.err.substr(0, kind.size()), kind) << run.err;
    const std::string message = run.err.substr(kind.size(), line_end - kind.size());
    EXPECT_EQ(message, c.path + ": " + c.reason + "\n");
    const std::string reported = "talphex-cli: " + message;
    const std::string tool = run.err.substr(line_end);
    EXPECT_THAT(tool, ::testing::StartsWith(reported));
    EXPECT_THAT(tool, HasSubstr(c.output ? "" : SummaryLine(capture, 86, 26, 0)));
    EXPECT_EQ(ReadFile(earlier), kEarlier);
    EXPECT_EQ(dir.Listing(), listing);
  }
}

// Regression: an export beside a capture whose name is that of the output file replaced the
// capture itself.
TEST(BadOutput, ExportNeverReplacesTheCapture) {
  const testing::TempDir dir;
  const std::string sample = ReadFile(TALPHEX_SAMPLE_CAPTURE);
  DecoderState state;
  state.InputFilePath = dir.File("pass.csv");
  WriteFile(state.InputFilePath, sample);
  ASSERT_TRUE(LoadCaptureFile(state, state.InputFilePath).ok());
  const Expected<std::string> written = ExportBeaconCsv(state, '.');
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error().kind, ErrorKind::kOutputIsCapture);
  EXPECT_EQ(written.error().message,
            state.InputFilePath + " would replace the capture " + state.InputFilePath);
  EXPECT_EQ(ReadFile(state.InputFilePath), sample);
}

}  // namespace
}  // namespace talphex
