// Bad captures through the loader and through talphex-cli: each gives its documented result or a
// clear message naming the file, never a crash, a hang or memory that grows with the file.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/cli.h"
#include "capture/ascii85.h"
#include "capture/capture_loader.h"
#include "capture/capture_writer.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "robustness/robustness_helpers.h"

namespace talphex {
namespace {

using testing::CliRun;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::RandomBytes;
using testing::RunCliWith;
using testing::TempDir;
using testing::WriteFile;

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// One KISS frame, delimiter included, carrying `body_text` after `marker`.
std::string RawFrame(std::string_view marker, std::string_view body_text) {
  CaptureWriter writer;
  writer.AddRawFrame(marker, body_text);
  return writer.bytes();
}

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> body(size);
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<std::uint8_t>(37 * i + 11);
  return body;
}

// A frame whose body encodes `size` bytes.
std::string FrameWithBody(std::string_view marker, std::size_t size) {
  const std::vector<std::uint8_t> body = Pattern(size);
  return RawFrame(marker, "<~" + Ascii85Encode(body.data(), body.size()));
}

std::string Repeat(std::string_view text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out.append(text);
  return out;
}

std::string SummaryLine(const std::string& path, std::int64_t beacon, std::int64_t payload,
                        std::int64_t skipped) {
  return path + ": " + std::to_string(beacon) + " beacon frames, " + std::to_string(payload) +
         " payload frames decoded, " + std::to_string(skipped) + " skipped\n";
}

struct CaptureCase {
  std::string name;
  std::string bytes;
  std::int64_t beacon = 0;
  std::int64_t payload = 0;
  std::int64_t skipped = 0;
  std::optional<SkipReason> reason;  // of the first skipped frame
  std::string detail;                // of the first skipped frame
};

std::vector<CaptureCase> CaptureCases() {
  const std::string beacon = FrameWithBody(kBeaconMarker, kBeaconBodySize);
  const std::string not_decoded = "body does not decode";
  std::vector<CaptureCase> cases = {
      {"EmptyFile", "", 0, 0, 0, {}, ""},
      {"NoDelimiter", beacon.substr(0, beacon.size() - 1), 0, 0, 0, {}, ""},
      {"OnlyDelimiters", std::string(4096, '\xC0'), 0, 0, 0, {}, ""},
      // The last part is never examined, however much it holds.
      {"FramesAfterLastDelimiter", beacon + beacon.substr(0, beacon.size() - 1), 1, 0, 0, {}, ""},
      // Bytes after the terminator are never looked at, a lone escape among them neither.
      {"EscapeAtEndOfPart", beacon.substr(0, beacon.size() - 1) + "\xDB\xC0", 1, 0, 0, {}, ""},
      // A lone escape cannot swallow the delimiter that follows it.
      {"EscapeAloneInPart", "\xDB\xC0" + beacon, 1, 0, 0, {}, ""},
      {"EscapeBeforeTerminator", RawFrame(kBeaconMarker, "87cURD]i,\"Ebo80\xDB~>"), 0, 0, 1,
       SkipReason::kBodyNotDecoded, "invalid Ascii85 character"},
      {"EscapedDelimiterInBody", RawFrame(kBeaconMarker, "87cURD]i,\"Ebo80\xC0~>"), 0, 0, 1,
       SkipReason::kBodyNotDecoded, "invalid Ascii85 character"},
      // Random bytes hold delimiters but no marker.
      {"RandomBytes", RandomBytes(1, 1 << 20), 0, 0, 0, {}, ""},
      {"TimestampPartsOnly",
       Repeat(std::string(1, '\0') + "\xDB\xDC" + std::string(23, 'x') + "\xDB\xDD\xC0", 1000),
       0,
       0,
       0,
       {},
       ""},
  };

  // Every way an Ascii85 body can be malformed: no record, a skip with the reason.
  struct Malformed {
    const char* name;
    std::string_view marker;
    std::string text;
    Ascii85Status status;
  };
  const Malformed malformed[] = {
      {"Empty", kBeaconMarker, "", Ascii85Status::kEmpty},
      {"OpeningWithoutTilde", kBeaconMarker, "<x87cURD]i~>", Ascii85Status::kBadOpening},
      {"LoneOpening", kPayloadMarker, "<", Ascii85Status::kBadOpening},
      {"NoTerminator", kBeaconMarker, "87cURD]i", Ascii85Status::kNoTerminator},
      {"TildeAtEnd", kPayloadMarker, "87cURD]i~", Ascii85Status::kNoTerminator},
      {"TildeWithoutAngle", kBeaconMarker, "87cURD]i~x>", Ascii85Status::kNoTerminator},
      {"CharacterAboveU", kBeaconMarker, "87cU{D]i~>", Ascii85Status::kInvalidCharacter},
      {"Latin1Character", kPayloadMarker,
       "87cU\xB5"
       "D]i~>",
       Ascii85Status::kInvalidCharacter},
      {"ZInsideGroup", kBeaconMarker, "87z~>", Ascii85Status::kMisplacedZ},
      {"OnlyTerminator", kBeaconMarker, "~>", Ascii85Status::kNoDigits},
      {"OnlyDelimiters", kPayloadMarker, "<~~>", Ascii85Status::kNoDigits},
      {"OnlyBlanks", kBeaconMarker, " \t\r\n~>", Ascii85Status::kNoDigits},
      {"GroupAboveMaximum", kBeaconMarker, "s8W-\"~>", Ascii85Status::kGroupOverflow},
      {"GroupOfU", kPayloadMarker, "uuuuu~>", Ascii85Status::kGroupOverflow},
      {"PaddedFinalGroupOverflows", kBeaconMarker, "87cURuuuu~>", Ascii85Status::kGroupOverflow},
  };
  for (const Malformed& m : malformed) {
    cases.push_back({std::string("Ascii85") + m.name, RawFrame(m.marker, m.text), 0, 0, 1,
                     SkipReason::kBodyNotDecoded, Ascii85StatusText(m.status)});
  }

  // Body sizes around the beacon layout and the longest body a frame may carry.
  for (const std::size_t size : {0, 1, 74, 75, 76, 513, 514}) {
    for (const std::string_view marker : {kBeaconMarker, kPayloadMarker}) {
      CaptureCase c;
      c.name = std::string(marker == kBeaconMarker ? "Beacon" : "Payload") + "Body" +
               std::to_string(size);
      c.bytes = FrameWithBody(marker, size);
      if (size == 0) {
        c.skipped = 1;
        c.reason = SkipReason::kBodyNotDecoded;
        c.detail = Ascii85StatusText(Ascii85Status::kNoDigits);
      } else if (size > 513) {
        c.skipped = 1;
        c.reason = SkipReason::kBodyTooLong;
        c.detail = std::to_string(size) + " bytes";
      } else {
        (marker == kBeaconMarker ? c.beacon : c.payload) = 1;
      }
      cases.push_back(c);
    }
  }
  return cases;
}

class BadCapture : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(BadCapture, LoadsFromMemoryWithDocumentedResult) {
  const CaptureCase& c = GetParam();
  DecoderState state;
  const LoadResult result = LoadCaptureBytes(state, Bytes(c.bytes), "case.kss");
  EXPECT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.beacon_frames, c.beacon);
  EXPECT_EQ(result.payload_frames, c.payload);
  EXPECT_EQ(result.skipped_frames, c.skipped);
  EXPECT_EQ(state.BeaconCount, c.beacon);
  EXPECT_EQ(state.PayloadCount, c.payload);
  if (c.reason) {
    ASSERT_FALSE(result.warnings.empty());
    EXPECT_EQ(result.warnings[0].kind, *c.reason);
    EXPECT_EQ(result.warnings[0].detail, c.detail);
    EXPECT_EQ(result.warnings[0].file, "case.kss");
  } else {
    EXPECT_TRUE(result.warnings.empty());
  }
}

TEST_P(BadCapture, LoadsFromFileWithSameResult) {
  const CaptureCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.File("case.kss");
  WriteFile(path, c.bytes);
  DecoderState state;
  const LoadResult result = LoadCaptureFile(state, path);
  EXPECT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.beacon_frames, c.beacon);
  EXPECT_EQ(result.payload_frames, c.payload);
  EXPECT_EQ(result.skipped_frames, c.skipped);
}

TEST_P(BadCapture, CommandLineSummaryCountsAndExplainsSkips) {
  const CaptureCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.File("case.kss");
  WriteFile(path, c.bytes);
  const CliRun run = RunCliWith({"--log", path});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_THAT(run.out, HasSubstr(SummaryLine(path, c.beacon, c.payload, c.skipped)));
  if (c.reason) {
    EXPECT_THAT(run.out, HasSubstr(std::string(SkipReasonText(*c.reason)) + " (" + c.detail + ")"));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BadCapture, ::testing::ValuesIn(CaptureCases()),
                         [](const ::testing::TestParamInfo<CaptureCase>& info) {
                           return info.param.name;
                         });

// Timestamp parts are recognised by their length before unescaping; the receive time is bytes 2
// to 20 of the unescaped part, fewer when unescaping shortened it.
TEST(BadCaptureTimestamp, EscapedTimestampPartsGiveUnescapedTimes) {
  const std::string earlier = std::string(1, '\0') + "2026-01-01 00:00:00" + std::string(8, '\0');
  struct Case {
    const char* name;
    std::string raw_part;  // before unescaping, without delimiter
    std::string rx_time;
  };
  const Case cases[] = {
      {"Plain", std::string(1, '\0') + "2026-11-14 09:41:00" + std::string(8, '\0'),
       "2026-11-14 09:41:00"},
      {"EscapedDelimiterInside", std::string(1, '\0') + "0123\xDB\xDC" + "456789ABCDEFGHIJKLMNO",
       "0123\xC0"
       "456789ABCDEFGH"},
      {"EscapeInSkippedFirstByte",
       "\xDB\xDD"
       "0123456789ABCDEFGHIJKLMNOP",
       "0123456789ABCDEFGHI"},
      {"ShortenedBelowTwentyBytes", std::string(1, '\0') + Repeat("\xDB\xDC", 13) + "X",
       std::string(13, '\xC0') + "X"},
      {"LoneEscapeAtEnd",
       std::string(1, '\0') + "2026-11-14 09:41:00" + std::string(7, '\0') + "\xDB",
       "2026-11-14 09:41:00"},
      // 29 bytes before unescaping are no timestamp part, even though 28 remain after it.
      {"TwentyNineRawBytes",
       std::string(1, '\0') + "2026-11-14 09:41:00" + std::string(7, '\0') + "\xDB\xDC",
       "2026-01-01 00:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string capture =
        earlier + "\xC0" + c.raw_part + "\xC0" + FrameWithBody(kBeaconMarker, kBeaconBodySize);
    DecoderState state;
    const LoadResult result = LoadCaptureBytes(state, Bytes(capture), "stamps.kss");
    ASSERT_EQ(result.beacon_frames, 1);
    EXPECT_EQ(state.BeaconStore[0].RxTime, c.rx_time);
  }
}

// A body shorter than its layout reads 0 for the missing bytes, never bytes of the frame before.
TEST(BadCaptureShortBody, MissingBytesReadAsZero) {
  struct Case {
    std::string_view marker;
    std::size_t size;
  };
  const Case cases[] = {{kBeaconMarker, 1},  {kBeaconMarker, 2},   {kBeaconMarker, 74},
                        {kPayloadMarker, 1}, {kPayloadMarker, 17}, {kPayloadMarker, 29}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.marker) + " " + std::to_string(c.size));
    const Kind kind = c.marker == kBeaconMarker ? Kind::kBeacon : Kind::kPayload;
    const std::size_t layout = kind == Kind::kBeacon ? kBeaconBodySize : kPayloadBodySize;
    const std::vector<std::uint8_t> body = Pattern(c.size);
    const std::vector<std::uint8_t> ones(kFrameBytesSize, 0xFF);

    // After a long frame of 0xFF bytes ...
    const std::string after_long = RawFrame(c.marker, Ascii85Encode(ones.data(), ones.size())) +
                                   RawFrame(c.marker, Ascii85Encode(body.data(), body.size()));
    DecoderState short_state;
    ASSERT_TRUE(LoadCaptureBytes(short_state, Bytes(after_long), "short.kss").ok());
    ASSERT_EQ(short_state.Count(kind), 2);

    // ... the short body gives the record of the same body padded with zeros.
    std::vector<std::uint8_t> padded = body;
    padded.resize(layout, 0);
    const std::string alone = RawFrame(c.marker, Ascii85Encode(padded.data(), padded.size()));
    DecoderState padded_state;
    ASSERT_TRUE(LoadCaptureBytes(padded_state, Bytes(alone), "padded.kss").ok());
    ASSERT_EQ(padded_state.Count(kind), 1);

    const TelemetryRecord& got = short_state.Store(kind)[1];
    const TelemetryRecord& want = padded_state.Store(kind)[0];
    EXPECT_EQ(std::memcmp(got.Value.data(), want.Value.data(), sizeof got.Value), 0);
    EXPECT_EQ(got.TimeText, want.TimeText);
  }
}

// Random bytes cut into marker frames: every frame is decoded or skipped with a reason, and the
// file and the command-line tool agree with the loader.
TEST(BadCaptureRandom, RandomBodiesAreDecodedOrSkipped) {
  std::string capture;
  int frames = 0;
  for (std::uint64_t seed = 1; seed <= 400; ++seed) {
    std::string body = RandomBytes(seed, seed % 700);
    for (char& byte : body) {
      if (byte == '\xC0') byte = '~';  // keep each frame one part; "~" makes some terminators
    }
    const std::string_view marker = seed % 3 == 0 ? kPayloadMarker : kBeaconMarker;
    capture += RawFrame(marker, (seed % 2 == 0 ? "<~" : "") + body);
    ++frames;
  }
  DecoderState state;
  const LoadResult result = LoadCaptureBytes(state, Bytes(capture), "random.kss");
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result.beacon_frames + result.payload_frames + result.skipped_frames, frames);
  EXPECT_EQ(result.skipped_by_reason[static_cast<std::size_t>(SkipReason::kPartTooLong)], 0);
  EXPECT_LE(result.warnings.size(), kMaxWarnings);

  TempDir dir;
  const std::string path = dir.File("random.kss");
  WriteFile(path, capture);
  const CliRun run = RunCliWith({path});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr(SummaryLine(path, result.beacon_frames, result.payload_frames,
                                             result.skipped_frames)));
}

// One part of 100 MB that starts like a beacon frame. The loader keeps at most kMaxPartBytes of
// a part: the part is skipped as too long (or never examined when no delimiter closes it), and
// neither the body text handed on nor the process's memory grows to the part's size.
class HugePart : public ::testing::Test {
 protected:
  static constexpr std::size_t kHugeSize = 100u << 20;

  static std::string WriteHugeCapture(const TempDir& dir, bool closed) {
    const std::string path = dir.File(closed ? "closed.kss" : "open.kss");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_GE(fd, 0);
    const std::string head = std::string(1, '\0') + "TALPHEX<~";
    const std::string block(1 << 20, '!');
    EXPECT_EQ(::write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    for (std::size_t written = head.size(); written < kHugeSize; written += block.size()) {
      EXPECT_EQ(::write(fd, block.data(), block.size()), static_cast<ssize_t>(block.size()));
    }
    if (closed) {
      const std::string tail = "~>\xC0" + FrameWithBody(kBeaconMarker, kBeaconBodySize);
      EXPECT_EQ(::write(fd, tail.data(), tail.size()), static_cast<ssize_t>(tail.size()));
    }
    ::close(fd);
    return path;
  }

  static void ExpectSmallBuffers(const DecoderState& state) {
    EXPECT_LE(state.BodyText.capacity(), 2 * kMaxPartBytes);
    EXPECT_LE(state.BodyBytes.capacity(), 2 * kMaxPartBytes);
  }

  // Loads `path` and checks that the process's peak memory grew by far less than the part. The
  // peak only rises, so in a run of many tests an earlier, higher peak hides growth here; ctest
  // runs each test in a process of its own, where it does not.
  static LoadResult LoadWithinMemory(DecoderState& state, const std::string& path) {
    const long before = PeakMemoryKb();
    LoadResult result = LoadCaptureFile(state, path);
    EXPECT_LT(PeakMemoryKb() - before, 32 * 1024) << "loading kept the part in memory";
    return result;
  }

  static long PeakMemoryKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
  }
};

TEST_F(HugePart, WithoutDelimiterNothingIsExamined) {
  TempDir dir;
  const std::string path = WriteHugeCapture(dir, false);
  DecoderState state;
  const LoadResult result = LoadWithinMemory(state, path);
  EXPECT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.beacon_frames + result.payload_frames + result.skipped_frames, 0);
  ExpectSmallBuffers(state);
}

TEST_F(HugePart, ClosedPartIsSkippedAndLoadingGoesOn) {
  TempDir dir;
  const std::string path = WriteHugeCapture(dir, true);
  DecoderState state;
  const LoadResult result = LoadWithinMemory(state, path);
  EXPECT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.beacon_frames, 1);
  EXPECT_EQ(result.skipped_frames, 1);
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_EQ(result.warnings[0].kind, SkipReason::kPartTooLong);
  EXPECT_EQ(result.warnings[0].offset, 0u);
  ExpectSmallBuffers(state);

  const CliRun run = RunCliWith({path});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr(SummaryLine(path, 1, 0, 1)));
  EXPECT_THAT(run.out, HasSubstr("byte 0: KISS frame longer than 65536 bytes"));
}

// A capture that cannot be read is named with the reason; the files after it still load. Tests
// run as root, which reads a file of mode 000, so unreadable captures here are a path that does
// not exist, a path through a file, a folder, a FIFO without writer and a character device.
TEST(UnreadableCapture, ReportedWithPathAndReasonOthersStillLoad) {
  TempDir dir;
  const std::string fifo = dir.File("fifo.kss");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const std::string plain = dir.File("plain.kss");
  WriteFile(plain, "");
  struct Case {
    const char* name;
    std::string path;
    std::string reason;
  };
  const Case cases[] = {
      {"Missing", dir.File("missing.kss"), "No such file or directory"},
      {"ThroughFile", plain + "/x.kss", "Not a directory"},
      {"Folder", dir.path(), "is a folder, not a capture file"},
      {"Fifo", fifo, "not a regular file"},
      {"CharacterDevice", "/dev/zero", "not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DecoderState state;
    const LoadResult result = LoadCaptureFile(state, c.path);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error, c.path + ": " + c.reason);

    const CliRun run = RunCliWith({c.path, TALPHEX_SAMPLE_CAPTURE});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "talphex-cli: " + c.path + ": " + c.reason + "\n");
    EXPECT_THAT(run.out, HasSubstr(SummaryLine(TALPHEX_SAMPLE_CAPTURE, 86, 26, 0)));
  }
}

TEST(CliUsage, BadArgumentsAreUsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--record", "0", TALPHEX_SAMPLE_CAPTURE},
      {"--record", "x", TALPHEX_SAMPLE_CAPTURE},
      {"--max-records", "-1", TALPHEX_SAMPLE_CAPTURE},
      {"--tlm", TALPHEX_SAMPLE_CAPTURE},
      {"--no-such-option", TALPHEX_SAMPLE_CAPTURE},
  };
  for (const std::vector<std::string>& args : cases) {
    std::string joined;
    for (const std::string& arg : args) joined += arg + " ";
    SCOPED_TRACE(joined);
    std::vector<const char*> argv = {"talphex-cli"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    EXPECT_EQ(status, 2);
    EXPECT_GT(std::ftell(err), 0) << "no message on standard error";
    std::fclose(out);
    std::fclose(err);
  }
}

}  // namespace
}  // namespace talphex
