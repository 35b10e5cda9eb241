// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/kiss_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/capture_writer.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

struct Part {
  std::string text;
  std::uint64_t raw_size;
  std::uint64_t offset;
  bool too_long;
  bool operator==(const Part&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Part& part) {
  return out << "{" << ::testing::PrintToString(part.text) << ", raw " << part.raw_size << " at "
             << part.offset << (part.too_long ? ", too long" : "") << "}";
}

std::span<const std::uint8_t> Span(std::string_view bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// Feeds `stream` cut at the given offsets and collects the parts.
std::vector<Part> Parts(KissStreamDecoder& decoder, std::string_view stream,
                        std::vector<std::size_t> cuts = {}) {
  std::vector<Part> parts;
  const KissPartSink sink = [&parts](const KissPart& part) {
    EXPECT_EQ(part.raw.size(), std::min<std::uint64_t>(part.raw_size, kMaxPartBytes + 1));
    parts.push_back({std::string(part.text), part.raw_size, part.offset, part.too_long});
  };
  cuts.push_back(stream.size());
  std::size_t at = 0;
  for (std::size_t cut : cuts) {
    decoder.Feed(Span(stream.substr(at, cut - at)), sink);
    at = cut;
  }
  return parts;
}

std::vector<Part> Parts(std::string_view stream, KissStreamDecoder::Start start,
                        std::vector<std::size_t> cuts = {}) {
  KissStreamDecoder decoder(start);
  return Parts(decoder, stream, std::move(cuts));
}

struct StreamCase {
  const char* name;
  std::string stream;
  std::vector<Part> capture_parts;  // read as a capture file
  std::vector<Part> live_parts;     // read as a live stream
};

const std::string kLong(kMaxPartBytes + 5, 'x');
const std::string kLongest(kMaxPartBytes, 'x');

const StreamCase kStreams[] = {
    {"no delimiter", "abc", {}, {}},
    {"first part",
     "ab\xC0"
     "cd\xC0",
     {{"ab", 2, 0, false}, {"cd", 2, 3, false}},
     {{"cd", 2, 3, false}}},
    {"back-to-back delimiters",
     "\xC0\xC0x\xC0\xC0",
     {{"", 0, 0, false}, {"", 0, 1, false}, {"x", 1, 2, false}, {"", 0, 4, false}},
     {{"", 0, 1, false}, {"x", 1, 2, false}, {"", 0, 4, false}}},
    {"escapes",
     "\xC0\xDB\xDC\xDB\xDD\xDB\xDD\xDC\xC0",
     {{"", 0, 0, false}, {"\xC0\xDB\xDB\xDC", 7, 1, false}},
     {{"\xC0\xDB\xDB\xDC", 7, 1, false}}},
    {"lone escape bytes pass",
     "\xC0\xDBZ\xDB\xC0",
     {{"", 0, 0, false}, {"\xDBZ\xDB", 3, 1, false}},
     {{"\xDBZ\xDB", 3, 1, false}}},
    {"unclosed last part",
     "\xC0"
     "a\xC0"
     "bc",
     {{"", 0, 0, false}, {"a", 1, 1, false}},
     {{"a", 1, 1, false}}},
    {"too long, then recovery",
     "\xC0" + kLong + "\xC0ok\xC0",
     {{"", 0, 0, false},
      {kLong.substr(0, kMaxPartBytes + 1), kLong.size(), 1, true},
      {"ok", 2, kLong.size() + 2, false}},
     {{kLong.substr(0, kMaxPartBytes + 1), kLong.size(), 1, true},
      {"ok", 2, kLong.size() + 2, false}}},
    {"the longest part kept, and one byte more",
     "\xC0" + kLongest + "\xC0" + kLongest + "y\xC0",
     {{"", 0, 0, false},
      {kLongest, kMaxPartBytes, 1, false},
      {kLongest + "y", kMaxPartBytes + 1, kMaxPartBytes + 2, true}},
     {{kLongest, kMaxPartBytes, 1, false},
      {kLongest + "y", kMaxPartBytes + 1, kMaxPartBytes + 2, true}}},
};

// Every stream cut into two pieces at every offset, and fed one byte at a time, gives the same
// parts as in one piece: state carries over a cut between FESC and TFEND, and before a delimiter.
TEST(KissStreamDecoder, PartsDoNotDependOnHowTheStreamIsCut) {
  for (const StreamCase& c : kStreams) {
    SCOPED_TRACE(c.name);
    for (auto [start, expected] :
         {std::pair{KissStreamDecoder::Start::kCaptureFile, c.capture_parts},
          std::pair{KissStreamDecoder::Start::kLiveStream, c.live_parts}}) {
      EXPECT_EQ(Parts(c.stream, start), expected);
      const bool short_stream = c.stream.size() < 64;
      for (std::size_t cut = 0; cut <= c.stream.size(); cut += short_stream ? 1 : 997) {
        EXPECT_EQ(Parts(c.stream, start, {cut}), expected) << "cut at " << cut;
      }
      if (!short_stream) continue;
      std::vector<std::size_t> every_byte(c.stream.size());
      for (std::size_t i = 0; i < every_byte.size(); ++i) every_byte[i] = i;
      EXPECT_EQ(Parts(c.stream, start, every_byte), expected) << "one byte at a time";
    }
  }
}

// Cross-check against the test kit's writer: random parts escaped and closed by it come back as
// they were, whatever the cut.
TEST(KissStreamDecoder, ReadsBackWhatTheWriterWrote) {
  CaptureWriter writer;
  std::vector<Part> expected;
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    const std::string bytes = testing::RandomBytes(seed, seed * 7 % 61 + 1);
    expected.push_back({bytes, KissEscape(bytes).size(), writer.bytes().size(), false});
    writer.AddPart(bytes);
  }
  const std::string& stream = writer.bytes();
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    ASSERT_EQ(Parts(stream, KissStreamDecoder::Start::kCaptureFile, {cut / 2, cut}), expected)
        << "cut at " << cut / 2 << " and " << cut;
  }
}

// Frames written as KISS come back from the stream decoder as the command byte of their port and
// their bytes, delimiters and escape bytes among them.
TEST(KissStreamDecoder, ReadsBackFramesAppendedAsKiss) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    const int port = static_cast<int>(seed % 16);
    const std::string bytes = testing::RandomBytes(seed, seed * 7 % 61 + 1) + "\xC0\xDB";
    std::string stream;
    AppendKissFrame(stream, port, bytes);
    const std::vector<Part> parts = Parts(stream, KissStreamDecoder::Start::kLiveStream);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].text, std::string(1, static_cast<char>(port << 4)) + bytes);
  }
}

// A new connection drops the part cut off by the old one, and the noise before the next delimiter.
TEST(KissStreamDecoder, RestartDropsTheCutOffPartAndTheNoiseAfterIt) {
  KissStreamDecoder decoder(KissStreamDecoder::Start::kLiveStream);
  EXPECT_EQ(Parts(decoder, "noise\xC0one\xC0half"), (std::vector<Part>{{"one", 3, 6, false}}));
  EXPECT_EQ(decoder.pending_bytes(), 4u);
  EXPECT_EQ(decoder.Restart(), 4u);
  EXPECT_EQ(decoder.pending_bytes(), 0u);
  EXPECT_EQ(Parts(decoder, "-frame\xC0two\xC0"), (std::vector<Part>{{"two", 3, 21, false}}));
}

}  // namespace
}  // namespace talphex
