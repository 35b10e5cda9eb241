// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/satnogs_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
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
      // Without the "Z" the time is UTC all the same.
      {"2026-11-14T09:41:03|41", Error::kNone, "2026-11-14 09:41:03", "A"},
      {"2026-11-14T09:41:03.5|41", Error::kNone, "2026-11-14 09:41:03", "A"},
      {"2026-11-14T09:41:03ZZ|41", Error::kBadTime, "", ""},
      {"2026-11-14 09:41:03Z|41", Error::kBadTime, "", ""},
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
      {"\xEF\xBB\xBF"
       "2026-11-14 09:41:03|",
       SatnogsGuess::kSatnogs},
      {"\xEF\xBB", SatnogsGuess::kUndecided},
      {" \t\r \n\t\r\n2026-11-14T09:41:03|", SatnogsGuess::kSatnogs},
      {" \t ", SatnogsGuess::kUndecided},
      {"\xEF\xBB\xBF\xC0", SatnogsGuess::kOther},
      // A line that starts with spaces is no blank line and no SatNOGS line.
      {"  2026-11-14 09:41:03|", SatnogsGuess::kOther},
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
    for (const char* line_end : {"\n", "\r\n", "\r"}) {
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

// Every line end, and a CR LF cut between two pieces, ends one line: numbers and offsets count
// from the file's start whatever the pieces.
TEST(SatnogsFrames, CrAndLfAndCrLfEachEndOneLine) {
  const std::string text = "a\rb\r\nc\n\nd\r\r\ne";
  struct Line {
    std::string text;
    std::uint64_t number;
    std::uint64_t offset;
    bool operator==(const Line&) const = default;
  };
  const std::vector<Line> expected = {{"a", 1, 0}, {"b", 2, 2}, {"c", 3, 5}, {"", 4, 7},
                                      {"d", 5, 8}, {"", 6, 10}, {"e", 7, 12}};
  for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{4}, text.size()}) {
    LineSplitter splitter;
    std::vector<Line> lines;
    const TextLineSink sink = [&lines](const TextLine& l) {
      lines.push_back({std::string(l.text), l.number, l.offset});
    };
    for (std::size_t at = 0; at < text.size(); at += piece) {
      const std::string_view bytes = std::string_view(text).substr(at, piece);
      splitter.Feed({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, sink);
    }
    splitter.Finish(sink);
    EXPECT_TRUE(lines == expected) << "pieces of " << piece << ": " << lines.size() << " lines";
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

// The times of an export in the ISO form without "Z": "2026-11-14T09:41:03|".
std::string WithoutZone(std::string text) {
  for (std::size_t at = text.find('|'); at != std::string::npos; at = text.find('|', at + 1)) {
    text[at - 9] = 'T';
  }
  return text;
}

// The sample as a frame export in every form stations send, cut into pieces of any size, gives
// the records of the capture itself, with no line counted as malformed.
TEST(SatnogsFrames, ExportOfTheSampleDecodesLikeTheSample) {
  const DecoderState expected = testing::LoadSample();
  const std::string lf = SatnogsExportOf(SampleBytes());
  std::string blank_lines;  // a line of spaces and tabs after every frame line
  for (std::size_t at = 0, end; (end = lf.find('\n', at)) != std::string::npos; at = end + 1) {
    blank_lines += lf.substr(at, end + 1 - at) + " \t \n";
  }
  const std::pair<const char*, std::string> kExports[] = {
      {"LF", "\n" + lf},
      {"CR LF", "\r\n" + SatnogsExportOf(SampleBytes(), "\r\n")},
      {"CR only", SatnogsExportOf(SampleBytes(), "\r")},
      {"byte-order mark", "\xEF\xBB\xBF" + lf},
      {"byte-order mark and CR LF", "\xEF\xBB\xBF" + SatnogsExportOf(SampleBytes(), "\r\n")},
      {"lines of spaces and tabs", "\t\n  \r\n" + blank_lines},
      {"times without Z", WithoutZone(lf)},
  };
  for (const auto& [name, text] : kExports) {
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, text.size()}) {
      SCOPED_TRACE(::testing::Message() << name << " in pieces of " << piece);
      DecoderState state;
      const LoadResult result = LoadText(state, text, piece);
      EXPECT_TRUE(result.satnogs);
      EXPECT_FALSE(result.unrecognised);
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

// A file of text that is neither an export nor a KISS capture with a frame is named as such, once,
// in the result and the frame log; empty and blank files and captures with frames are not.
TEST(SatnogsFrames, FileWithNeitherFramesNorLinesIsNamed) {
  const std::string stamp = '\0' + std::string("2026-11-14 09:41:00") + std::string(8, '\0');
  const struct {
    const char* name;
    std::string text;
    bool unrecognised;
  } kCases[] = {
      {"empty", "", false},
      {"blank lines", " \t\r\n\r\n", false},
      {"byte-order mark alone", "\xEF\xBB\xBF\n", false},
      {"spreadsheet export", "time;Message No.\r\n2026-11-14;1\r\n", true},
      {"byte-order mark and other text", "\xEF\xBB\xBFhello", true},
      {"too short to tell", "2026-11", true},
      {"line indented by a space", " 2026-11-14 09:41:03|00\n", true},
      {"timestamp parts only", stamp + "\xC0" + stamp + "\xC0", true},
      {"KISS frame without a marker",
       "\xC0"
       "frame of another satellite\xC0",
       false},
      {"the sample capture", SampleBytes(), false},
      {"an export with malformed lines only", "2026-11-14 09:41:03|4\nx\n", false},
  };
  for (const auto& c : kCases) {
    for (const std::size_t piece : {std::size_t{1}, std::max<std::size_t>(c.text.size(), 1)}) {
      SCOPED_TRACE(::testing::Message() << c.name << " in pieces of " << piece);
      DecoderState state;
      std::vector<std::string> log;
      const LoadResult result = LoadText(state, c.text, piece, &log);
      EXPECT_EQ(result.unrecognised, c.unrecognised);
      EXPECT_EQ(std::count(log.begin(), log.end(),
                           "-- frames.csv: no KISS frames and no SatNOGS lines\r\n"),
                c.unrecognised ? 1 : 0);
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
