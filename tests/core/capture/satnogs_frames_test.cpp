// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/satnogs_frames.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "core/capture/capture_loader.h"
#include "testkit/capture_writer.h"
#include "testkit/sample_capture.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

using Error = SatnogsLineError;

TEST(SatnogsFrames, LinesAreReadOrNamedWhyNot) {
  struct Case {
    const char* line;
    Error error;
    const char* time;
    const char* bytes;
  };
  const Case kCases[] = {
      {"2026-11-14 09:41:03|54414cc0", Error::kNone, "2026-11-14 09:41:03", "TAL\xC0"},
      {"2026-11-14T09:41:03Z|00FF", Error::kNone, "2026-11-14 09:41:03",
       std::string_view("\0\xFF", 2).data()},
      {"2026-11-14T09:41:03.123Z|41", Error::kNone, "2026-11-14 09:41:03", "A"},
      {"2026-11-14T09:41:03.123456789Z|41", Error::kNone, "2026-11-14 09:41:03", "A"},
      {"2026-11-14T09:41:03.1234567890Z|41", Error::kBadTime, "", ""},
      {"2026-11-14T09:41:03.Z|41", Error::kBadTime, "", ""},
      {"2026-11-14T09:41:03|41", Error::kBadTime, "", ""},
      {"2026-02-30 09:41:03|41", Error::kBadTime, "", ""},
      {"2026-11-14 09:41|41", Error::kBadTime, "", ""},
      {"2026-11-14 09:41:03 41", Error::kNoSeparator, "", ""},
      {"|41", Error::kBadTime, "", ""},  // regression: read the time before the line's start
      {"2026-11-14 09:41:03|", Error::kNoBytes, "", ""},
      {"2026-11-14 09:41:03|414", Error::kOddHex, "", ""},
      {"2026-11-14 09:41:03|41 4", Error::kNotHex, "", ""},
      {"2026-11-14 09:41:03|4g", Error::kNotHex, "", ""},
  };
  for (const Case& c : kCases) {
    std::string time;
    std::string bytes;
    EXPECT_EQ(ParseSatnogsLine(c.line, time, bytes), c.error) << c.line;
    if (c.error != Error::kNone) continue;
    EXPECT_EQ(time, c.time);
    EXPECT_EQ(
        bytes,
        std::string(c.bytes,
                    (std::string_view(c.line).size() - 1 - std::string_view(c.line).find('|')) / 2))
        << c.line;
  }
}

TEST(SatnogsFrames, FormatIsToldByTheFirstLine) {
  const std::pair<const char*, SatnogsGuess> kCases[] = {
      {"\r\n\n2026-11-14 09:41:03|zz", SatnogsGuess::kSatnogs},
      {"2026-11-14T09:41:03.5Z|", SatnogsGuess::kSatnogs},
      {"2026-11-14 09:4", SatnogsGuess::kUndecided},
      {"\n\n", SatnogsGuess::kUndecided},
      {"\xC0\x00"
       "2026-11-14 09:41:03|",
       SatnogsGuess::kOther},
      {"2026-11-14 09:41:03;", SatnogsGuess::kOther},
      {"time;Message No.", SatnogsGuess::kOther},
  };
  for (const auto& [start, guess] : kCases) EXPECT_EQ(GuessSatnogs(start), guess) << start;
}

// The longest line read and one character more, with either line end, cut anywhere: the
// splitter keeps at most one character past the limit.
TEST(SatnogsFrames, LongestLineIsReadAndOneMoreIsTooLong) {
  for (const std::size_t size : {kMaxSatnogsLine, kMaxSatnogsLine + 1}) {
    for (const char* line_end : {"\n", "\r\n"}) {
      const std::string line(size, 'A');
      const std::string text = line + line_end + "next\n";
      for (const std::size_t piece : {std::size_t{1000}, size, text.size()}) {
        SCOPED_TRACE(::testing::Message() << size << " characters in pieces of " << piece);
        LineSplitter splitter;
        std::vector<std::pair<std::string, bool>> lines;
        const TextLineSink sink = [&lines](const TextLine& l) {
          lines.emplace_back(l.text, l.too_long);
        };
        for (std::size_t at = 0; at < text.size(); at += piece) {
          const std::string_view bytes = std::string_view(text).substr(at, piece);
          splitter.Feed({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, sink);
        }
        const std::vector<std::pair<std::string, bool>> expected = {{line, size > kMaxSatnogsLine},
                                                                    {"next", false}};
        EXPECT_TRUE(lines == expected) << lines.size();
      }
    }
  }
}

std::string SampleBytes() { return testing::ReadFile(testing::SampleCapturePath()); }

LoadResult LoadText(DecoderState& state, std::string_view text, std::size_t piece,
                    std::vector<std::string>* log = nullptr) {
  LoadResult result;
  result.path = "frames.csv";
  const FrameLogSink sink = [log](std::string_view line) { log->emplace_back(line); };
  CaptureScanner scanner(state, result, log != nullptr ? &sink : nullptr);
  for (std::size_t at = 0; at < text.size(); at += piece) {
    const std::string_view bytes = text.substr(at, piece);
    scanner.Feed({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  }
  scanner.Finish();
  return result;
}

// The sample as a frame export, cut into pieces of any size and with either line end, gives the
// records of the capture itself.
TEST(SatnogsFrames, ExportOfTheSampleDecodesLikeTheSample) {
  const DecoderState expected = testing::LoadSample();
  for (const char* line_end : {"\n", "\r\n"}) {
    const std::string text = "\n" + SatnogsExportOf(SampleBytes(), line_end);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, text.size()}) {
      DecoderState state;
      const LoadResult result = LoadText(state, text, piece);
      EXPECT_TRUE(result.satnogs);
      EXPECT_EQ(result.malformed_lines, 0);
      for (Kind kind : {Kind::kBeacon, Kind::kPayload}) {
        ASSERT_EQ(state.Count(kind), expected.Count(kind));
        for (std::size_t r = 0; r < state.StoredCount(kind); ++r) {
          EXPECT_EQ(state.Store(kind)[r].RxTime, expected.Store(kind)[r].RxTime);
          EXPECT_EQ(state.Store(kind)[r].Value, expected.Store(kind)[r].Value);
        }
      }
    }
  }
}

// Bad lines among good ones: each is counted, the first ten named with their line number, and
// every good frame decodes.
TEST(SatnogsFrames, BadLinesAreCountedAndTheRestDecodes) {
  const std::string sample = SatnogsExportOf(SampleBytes());
  const std::string first = sample.substr(0, sample.find('\n') + 1);
  const std::string rest = sample.substr(first.size());
  struct Case {
    const char* name;
    std::string text;
    std::int64_t malformed;
    std::int64_t duplicates;
    const char* first_note;
  };
  const std::string bad_lines =
      "2026-11-14 09:41:03|414\n2026-11-14 09:41:03|4X\n2026-13-14 09:41:03|41\n";
  std::string twelve_bad_lines;
  for (int i = 0; i < 12; ++i) twelve_bad_lines += "x\n";
  const Case kCases[] = {
      {"bad lines", first + bad_lines + rest, 3, 0, "line 2: odd number of hex digits"},
      {"100,000 characters",
       first + "2026-11-14 09:41:03|" + std::string(100000, 'A') + "\n" + rest, 1, 0,
       "line 2: line longer than 16384 characters"},
      {"KISS bytes after the lines", sample + SampleBytes().substr(0, 4000), -1, 0, "line 113: "},
      {"a frame twice", first + first + rest, 0, 1, ""},
      {"twelve bad lines", first + twelve_bad_lines + rest, 12, 0,
       "line 2: no \"|\" after the time"},
  };
  for (const Case& c : kCases) {
    DecoderState state;
    std::vector<std::string> log;
    const LoadResult result = LoadText(state, c.text, 4096, &log);
    EXPECT_EQ(state.BeaconCount + state.PayloadCount, 86 + 26) << c.name;
    if (c.malformed >= 0) {
      EXPECT_EQ(result.malformed_lines, c.malformed) << c.name;
    }
    EXPECT_GT(result.malformed_lines + result.duplicate_frames, 0) << c.name;
    EXPECT_EQ(result.duplicate_frames, c.duplicates) << c.name;
    EXPECT_EQ(result.line_notes.size(),
              std::min<std::size_t>(static_cast<std::size_t>(result.malformed_lines), 10));
    if (result.line_notes.empty()) continue;
    EXPECT_EQ(result.line_notes[0].rfind(c.first_note, 0), 0u) << result.line_notes[0];
    std::size_t noted = 0;
    for (const std::string& line : log) noted += line.rfind("-- line ", 0) == 0 ? 1 : 0;
    EXPECT_EQ(noted, result.line_notes.size()) << c.name;
  }
}

// An open command reads each frame once: the same export twice, or loaded again, adds nothing
// unless duplicates are kept; a new open command starts afresh. An empty file is no error.
TEST(SatnogsFrames, DuplicatesAcrossTheFilesOfOneOpenCommand) {
  const std::string text = SatnogsExportOf(SampleBytes());
  DecoderState state;
  (void)LoadText(state, text, text.size());
  const LoadResult again = LoadText(state, text, text.size());
  EXPECT_EQ(again.duplicate_frames, 86 + 26);
  EXPECT_EQ(state.BeaconCount, 86);
  state.keep_duplicate_frames = true;
  (void)LoadText(state, text, text.size());
  EXPECT_EQ(state.BeaconCount, 2 * 86);
  state.keep_duplicate_frames = false;
  state.ResetCounts();
  EXPECT_EQ(LoadText(state, text, text.size()).duplicate_frames, 0);
  const LoadResult empty = LoadText(state, "", 1);
  EXPECT_EQ(empty.malformed_lines + empty.beacon_frames + empty.duplicate_frames, 0);
}

// Duplicates are looked for among the last RecentFrames::kDefaultCapacity frames: a beacon frame
// after as many others as leave it in the window is a duplicate; one more, and it decodes again.
// The window goes on from file to file of one open command.
TEST(SatnogsFrames, DuplicatesAreFoundAmongTheRecentFrames) {
  std::istringstream lines(SatnogsExportOf(SampleBytes()));
  std::string beacon;
  while (std::getline(lines, beacon) && beacon.find("54414C50484558") == std::string::npos) {
  }  // "TALPHEX" in hex
  beacon += "\n";
  const auto others = [](std::size_t first, std::size_t count) {
    std::string lines;
    char line[40];
    for (std::size_t n = first; n < first + count; ++n) {
      std::snprintf(line, sizeof line, "2026-11-14 09:41:03|%08zX\n", n);
      lines += line;
    }
    return lines;
  };
  constexpr std::size_t kWindow = RecentFrames::kDefaultCapacity;
  DecoderState state;
  const LoadResult within = LoadText(state, beacon + others(0, kWindow - 1) + beacon, 1 << 16);
  EXPECT_EQ(within.duplicate_frames, 1);
  EXPECT_EQ(state.BeaconCount, 1);
  // The beacon was seen again just now: the window starts over from there.
  const LoadResult beyond = LoadText(state, others(kWindow, kWindow) + beacon, 1 << 16);
  EXPECT_EQ(beyond.duplicate_frames, 0);
  EXPECT_EQ(state.BeaconCount, 2);
}

}  // namespace
}  // namespace talphex
