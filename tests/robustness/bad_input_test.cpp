// Bad input through the loader and through talphex-cli: each broken capture gives its documented
// counts or a clear message naming the file, never a crash, a hang or memory that grows with the
// file; a conf.ini of random bytes sets nothing.

#include <sys/resource.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "capture/ascii85.h"
#include "capture/capture_loader.h"
#include "capture/capture_writer.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "robustness/robustness_helpers.h"
#include "ui/conf_ini.h"

namespace talphex {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::RandomBytes;
using testing::RunCliWith;
using ::testing::StartsWith;

// One KISS frame, delimiter included, carrying `body_text` after `marker`.
std::string RawFrame(std::string_view marker, std::string_view body_text) {
  CaptureWriter writer;
  writer.AddRawFrame(marker, body_text);
  return writer.bytes();
}

// A frame whose body encodes `size` bytes.
std::string FrameWithBody(std::string_view marker, std::size_t size) {
  std::vector<std::uint8_t> body(size);
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<std::uint8_t>(37 * i + 11);
  return RawFrame(marker, "<~" + Ascii85Encode(body.data(), body.size()));
}

std::string SummaryLine(const std::string& path, std::int64_t beacon, std::int64_t payload,
                        std::int64_t skipped) {
  return path + ": " + std::to_string(beacon) + " beacon frames, " + std::to_string(payload) +
         " payload frames decoded, " + std::to_string(skipped) + " skipped\n";
}

struct CaptureCase {
  std::string name, bytes;
  std::int64_t beacon, payload;
  std::string skip;     // reason and detail of the one frame skipped, as the frame log gives them
  std::string rx_time;  // of the first beacon record, when not empty
};

std::string Skip(SkipReason reason, const std::string& detail) {
  return std::string(SkipReasonText(reason)) + " (" + detail + ")";
}

// One frame whose body text does not decode for the reason `status` names.
CaptureCase Malformed(const std::string& name, std::string_view marker, const std::string& text,
                      Ascii85Status status) {
  return {name,
          RawFrame(marker, text),
          0,
          0,
          Skip(SkipReason::kBodyNotDecoded, Ascii85StatusText(status)),
          ""};
}

// A beacon frame after a timestamp part and the raw part `part`. Parts are recognised by their 28
// bytes before unescaping; the receive time is bytes 2 to 20 of the unescaped part.
CaptureCase Stamped(const char* name, const std::string& part, const std::string& rx_time) {
  const std::string earlier = '\0' + std::string("2026-01-01 00:00:00") + std::string(8, '\0');
  const std::string beacon = FrameWithBody(kBeaconMarker, kBeaconBodySize);
  return {name, earlier + "\xC0" + part + "\xC0" + beacon, 1, 0, "", rx_time};
}

std::vector<CaptureCase> CaptureCases() {
  const std::string beacon = FrameWithBody(kBeaconMarker, kBeaconBodySize);
  const std::string unclosed = beacon.substr(0, beacon.size() - 1);
  const std::string time = '\0' + std::string("2026-11-14 09:41:00");
  const std::string_view b = kBeaconMarker, p = kPayloadMarker;
  using S = Ascii85Status;
  std::vector<CaptureCase> cases = {
      {"EmptyFile", "", 0, 0, "", ""},
      {"NoDelimiter", unclosed, 0, 0, "", ""},
      {"OnlyDelimiters", std::string(4096, '\xC0'), 0, 0, "", ""},
      {"RandomBytes", RandomBytes(1, 1 << 20), 0, 0, "", ""},  // delimiters but no marker
      {"TimestampPartOnly", '\0' + KissEscape("\xC0" + std::string(23, 'x') + "\xDB") + "\xC0", 0,
       0, "", ""},
      {"FrameAfterLastDelimiter", beacon + unclosed, 1, 0, "",
       ""},  // the last part is never examined
      {"EscapeAtEndOfPart", unclosed + "\xDB\xC0", 1, 0, "",
       ""},  // after the terminator: not looked at
      {"EscapeAloneInPart", "\xDB\xC0" + beacon, 1, 0, "",
       ""},  // cannot swallow the delimiter after it
      Malformed("EscapeBeforeTerminator", b, "87cURD]i,\"Ebo80\xDB~>", S::kInvalidCharacter),
      Malformed("EscapedDelimiterInBody", b, "87cURD]i,\"Ebo80\xC0~>", S::kInvalidCharacter),
      // Every way an Ascii85 body can be malformed; an empty body is among the body sizes.
      Malformed("EmptyText", b, "", S::kEmpty),
      Malformed("OpeningWithoutTilde", b, "<x87cURD]i~>", S::kBadOpening),
      Malformed("LoneOpening", p, "<", S::kBadOpening),
      Malformed("NoTerminator", b, "87cURD]i", S::kNoTerminator),
      Malformed("TildeAtEnd", p, "87cURD]i~", S::kNoTerminator),
      Malformed("TildeWithoutAngle", b, "87cURD]i~x>", S::kNoTerminator),
      Malformed("CharacterAboveU", b, "87cU{D]i~>", S::kInvalidCharacter),
      Malformed("Latin1Character", p, "87cU\xB5]i~>", S::kInvalidCharacter),
      Malformed("ZInsideGroup", b, "87z~>", S::kMisplacedZ),
      Malformed("OnlyTerminator", b, "~>", S::kNoDigits),
      Malformed("OnlyBlanks", b, " \t\r\n~>", S::kNoDigits),
      Malformed("GroupAboveMaximum", b, "s8W-\"~>", S::kGroupOverflow),
      Malformed("GroupOfU", p, "uuuuu~>", S::kGroupOverflow),
      Malformed("PaddedFinalGroupOverflows", b, "87cURuuuu~>", S::kGroupOverflow),
      // Timestamp parts with escapes.
      Stamped("EscapedDelimiterInStamp",
              '\0' + std::string("0123\xDB\xDC") + "456789ABCDEFGHIJKLMNO",
              "0123\xC0"
              "456789ABCDEFGH"),
      Stamped("EscapeInSkippedFirstByte",
              "\xDB\xDD"
              "0123456789ABCDEFGHIJKLMNOP",
              "0123456789ABCDEFGHI"),
      Stamped("ShortenedBelowTwentyBytes", '\0' + KissEscape(std::string(13, '\xC0')) + "X",
              std::string(13, '\xC0') + "X"),
      Stamped("LoneEscapeAtEnd", time + std::string(7, '\0') + "\xDB", time.substr(1)),
      Stamped("TwentyNineRawBytes", time + std::string(7, '\0') + "\xDB\xDC",
              "2026-01-01 00:00:00"),
  };
  // Body sizes around the beacon layout and the longest body a frame may carry.
  for (const std::size_t size : {0, 1, 74, 75, 76, 513, 514}) {
    for (const std::string_view marker : {kBeaconMarker, kPayloadMarker}) {
      const std::string name = std::string(marker) + "Body" + std::to_string(size);
      const std::string bytes = FrameWithBody(marker, size);
      if (size == 0) {
        cases.push_back(Malformed(name, marker, "<~~>", S::kNoDigits));
      } else if (size > static_cast<std::size_t>(kFrameBytesSize)) {
        cases.push_back({name, bytes, 0, 0, Skip(SkipReason::kBodyTooLong, "514 bytes"), ""});
      } else {
        cases.push_back({name, bytes, marker == b ? 1 : 0, marker == p ? 1 : 0, "", ""});
      }
    }
  }
  return cases;
}

TEST(BadCapture, LoaderAndCommandLineGiveTheDocumentedResult) {
  const testing::TempDir dir;
  const std::string path = dir.File("case.kss");
  for (const CaptureCase& c : CaptureCases()) {
    SCOPED_TRACE(c.name);
    testing::WriteFile(path, c.bytes);
    DecoderState state;
    const LoadResult result = LoadCaptureFile(state, path);
    EXPECT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.beacon_frames, c.beacon);
    EXPECT_EQ(result.payload_frames, c.payload);
    EXPECT_EQ(result.skipped_frames, c.skip.empty() ? 0 : 1);
    std::string skips;
    for (const LoadWarning& warning : result.warnings) {
      skips += Skip(warning.kind, warning.detail);
      EXPECT_EQ(warning.file, path);
    }
    EXPECT_EQ(skips, c.skip);
    if (!c.rx_time.empty()) {
      EXPECT_EQ(state.BeaconStore.at(0).RxTime, c.rx_time);
    }

    const testing::CliRun run = RunCliWith({"--log", path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_THAT(run.out, HasSubstr(SummaryLine(path, c.beacon, c.payload, c.skip.empty() ? 0 : 1)));
    EXPECT_THAT(run.out, HasSubstr(c.skip));
  }
}

long PeakMemoryKb() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// One part of 100 MB that starts like a beacon frame, unclosed or closed and followed by a frame:
// never examined, or skipped as too long while loading goes on. Neither the body text handed on
// nor the peak memory grows with the part. The peak only rises, so an earlier, higher peak in the
// same process hides growth here; ctest runs each test in a process of its own.
TEST(BadCapture, HugePartIsNeverHeldInMemory) {
  const testing::TempDir dir;
  const std::string path = dir.File("huge.kss");
  for (const int closed : {0, 1}) {
    SCOPED_TRACE(closed);
    {
      std::ofstream file(path, std::ios::binary | std::ios::trunc);
      file << '\0' << kBeaconMarker << "<~";
      for (int megabyte = 0; megabyte < 100; ++megabyte) file << std::string(1 << 20, '!');
      if (closed) file << "~>\xC0" << FrameWithBody(kBeaconMarker, kBeaconBodySize);
    }
    DecoderState state;
    const long peak_before = PeakMemoryKb();
    const LoadResult result = LoadCaptureFile(state, path);
    EXPECT_LT(PeakMemoryKb() - peak_before, 32 * 1024) << "loading kept the part in memory";
    EXPECT_LE(state.BodyText.capacity(), 2 * kMaxPartBytes);
    EXPECT_LE(state.BodyBytes.capacity(), 2 * kMaxPartBytes);
    EXPECT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.skipped_by_reason[static_cast<std::size_t>(SkipReason::kPartTooLong)], closed);

    const testing::CliRun run = RunCliWith({path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr(SummaryLine(path, closed, 0, closed)));
    if (closed) {
      EXPECT_THAT(run.out, HasSubstr("byte 0: KISS frame longer than 65536 bytes"));
    }
  }
}

// A capture that cannot be read is named with the reason, and the files after it still load. The
// loader and the tool run as an ordinary user, for whom a file of mode 000 is unreadable.
// Regression: the loader waited for a writer on a FIFO and read a character device without end.
TEST(BadCapture, UnreadableCaptureIsNamedAndOthersStillLoad) {
  const testing::TempDir dir;
  const std::string sample = dir.File("sample.kss"), fifo = dir.File("fifo"),
                    locked = dir.File("locked");
  testing::WriteFile(sample, testing::ReadFile(TALPHEX_SAMPLE_CAPTURE));
  testing::WriteFile(locked, "");
  fs::permissions(locked, fs::perms::none);
  fs::permissions(dir.path(), fs::perms(0755));
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const std::pair<std::string, std::string> cases[] = {
      {dir.File("missing.kss"), "No such file or directory"},
      {locked, "Permission denied"},
      {sample + "/x.kss", "Not a directory"},
      {dir.path(), "is a folder, not a capture file"},
      {fifo, "not a regular file"},
      {"/dev/zero", "not a regular file"},
  };
  for (const auto& [path, reason] : cases) {
    SCOPED_TRACE(path);
    // The tool's summary goes to the same stream as its errors, after the loader's own error.
    const testing::CliRun run = testing::RunInChild(
        [&](std::FILE* err) {
          DecoderState state;
          std::fprintf(err, "%s\n", LoadCaptureFile(state, path).error.c_str());
          return testing::RunCliTo(err, err, {path, sample});
        },
        true);
    EXPECT_EQ(run.status, 1);
    const std::string error = path + ": " + reason + "\n";
    EXPECT_THAT(run.err, StartsWith(error + "talphex-cli: " + error));
    EXPECT_THAT(run.err, HasSubstr(SummaryLine(sample, 86, 26, 0)));
  }
}

// conf.ini of random bytes, or of lines that only look like keys, sets nothing, and key lines
// after it still count.
TEST(BadConfIni, GarbageSetsNothingAndLaterKeysStillApply) {
  std::vector<std::string> texts = {"\r\n\r\n\n\r\r",
                                    "=\r\n==\r\n = \r\n",
                                    "=YES\r\n",
                                    std::string("IMAGE_PATH\0=x\r\nSCREENSHOT\0=YES", 30),
                                    "\tSCREENSHOT\t=YES\r\n\tIMAGE_PATH=/x\r\n",
                                    "#SCREENSHOT=YES\r\n#IMAGE_PATH=/x\r\n"};
  // Sizes from a few bytes to 64 KiB; NUL, CR, LF, "=" and "#" all occur.
  for (std::uint64_t seed = 1; seed <= 64; ++seed) {
    texts.push_back(RandomBytes(seed, (seed * seed * 16) % 65536 + 1));
  }
  for (std::size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(i);
    const ConfSettings settings = ParseConfIni(texts[i]);
    EXPECT_EQ(settings.image_path, std::nullopt);
    EXPECT_EQ(settings.screenshot_button, std::nullopt);
    const ConfSettings keyed =
        ParseConfIni(texts[i] + "\r\nImage_Path =  /home/ham/shots/ \r\nscreenshot=yes\r\n");
    EXPECT_EQ(keyed.image_path, "/home/ham/shots/");
    EXPECT_EQ(keyed.screenshot_button, true);
  }
}

}  // namespace
}  // namespace talphex
