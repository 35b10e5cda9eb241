#include "capture/capture_loader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/ascii85.h"
#include "capture/capture_writer.h"
#include "export/test_files.h"

namespace talphex {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kStamp1[] = "2026-11-14 09:41:00";
constexpr char kStamp2[] = "2026-11-14 09:41:07";

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

LoadResult Load(DecoderState& state, std::string_view capture, std::vector<std::string>* log = {}) {
  FrameLogSink sink = [log](std::string_view line) { log->emplace_back(line); };
  return LoadCaptureBytes(state, AsBytes(capture), "pass.kss", log != nullptr ? &sink : nullptr);
}

// A beacon body whose message number (bytes 0 and 1) is `number` and whose other bytes are `fill`.
Bytes BeaconBody(std::uint16_t number, std::uint8_t fill = 0) {
  Bytes body(kBeaconBodySize, fill);
  body[0] = static_cast<std::uint8_t>(number);
  body[1] = static_cast<std::uint8_t>(number >> 8);
  return body;
}

std::string Body(const Bytes& bytes) { return Ascii85Encode(bytes.data(), bytes.size()); }

// A raw 28-byte timestamp part: one leading byte, the 19 characters, eight unused bytes.
std::string TimestampPart(std::string_view stamp) {
  return std::string(1, '\x01') + std::string(stamp) + std::string(8, '\x02');
}

std::string Delimited(std::initializer_list<std::string_view> parts) {
  std::string capture;
  for (std::string_view part : parts) capture.append(part).push_back('\xC0');
  return capture;
}

TEST(CaptureLoader, DecodesOneBeaconFrame) {
  DecoderState state;
  const std::string body = "<~" + Body(BeaconBody(42));
  std::vector<std::string> log;
  const LoadResult result =
      Load(state, Delimited({std::string(1, '\0') + "junkTALPHEX" + body}), &log);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.beacon_frames, 1);
  EXPECT_EQ(result.skipped_frames, 0);
  ASSERT_EQ(state.BeaconCount, 1);
  EXPECT_EQ(state.PayloadCount, 0);
  EXPECT_EQ(state.BeaconStore[0].Value[0], 42);
  EXPECT_EQ(state.BeaconStore[0].FrameText, "TALPHEX" + body);
  EXPECT_EQ(state.BeaconStore[0].RxTime, "") << "no timestamp part before the frame";
  EXPECT_EQ(log, std::vector<std::string>{"TALPHEX" + body + "\r\n"});
}

TEST(CaptureLoader, OnlyPartsClosedByADelimiterAreProcessed) {
  const std::string frame = "TALPHEX<~" + Body(BeaconBody(1));
  struct Case {
    const char* name;
    std::string capture;
    std::int64_t beacons;
  };
  const Case kCases[] = {
      {"no delimiter at all", frame, 0},
      {"frame, then an unclosed frame", frame + "\xC0" + frame, 1},
      {"one byte after the last delimiter", "\xC0" + frame + "\xC0" + "T", 1},
      {"empty parts between delimiters", "\xC0\xC0\xC0" + frame + "\xC0\xC0", 1},
      {"only delimiters", "\xC0\xC0\xC0", 0},
      {"empty capture", "", 0},
  };
  for (const Case& c : kCases) {
    DecoderState state;
    const LoadResult result = Load(state, c.capture);
    EXPECT_EQ(state.BeaconCount, c.beacons) << c.name;
    EXPECT_EQ(result.skipped_frames, 0) << c.name;
  }
}

TEST(CaptureLoader, TimestampPartStampsTheFramesAfterIt) {
  DecoderState state;
  const std::string beacon = "TALPHEX<~" + Body(BeaconBody(1));
  const std::string payload = "VAVE<~" + Body(Bytes(kPayloadBodySize, 0));
  ASSERT_TRUE(Load(state, Delimited({beacon, TimestampPart(kStamp1), beacon, payload, beacon,
                                     TimestampPart(kStamp2), payload}))
                  .ok());
  ASSERT_EQ(state.BeaconCount, 3);
  EXPECT_EQ(state.BeaconStore[0].RxTime, "");
  EXPECT_EQ(state.BeaconStore[1].RxTime, kStamp1);
  EXPECT_EQ(state.BeaconStore[2].RxTime, kStamp1);
  ASSERT_EQ(state.PayloadCount, 2);
  EXPECT_EQ(state.PayloadStore[0].RxTime, kStamp1);
  EXPECT_EQ(state.PayloadStore[1].RxTime, kStamp2);

  // The last timestamp carries into the next file, and the counts go on.
  ASSERT_TRUE(Load(state, Delimited({beacon})).ok());
  ASSERT_EQ(state.BeaconCount, 4);
  EXPECT_EQ(state.BeaconStore[3].RxTime, kStamp2);
}

TEST(CaptureLoader, OnlyPartsOfExactly28BytesAreTimestamps) {
  const std::string beacon = "TALPHEX<~" + Body(BeaconBody(1));
  struct Case {
    const char* name;
    std::string part;
    std::string rx_time;
  };
  const Case kCases[] = {
      {"28 bytes", TimestampPart(kStamp1), kStamp1},
      {"27 bytes", TimestampPart(kStamp1).substr(0, 27), ""},
      {"29 bytes", TimestampPart(kStamp1) + "x", ""},
      // Length counts before unescaping: DB DC is one data byte 0xC0 in the text.
      {"28 bytes with an escape",
       "\x01"
       "2026-11-14 \xDB\xDC"
       "9:41:0" +
           std::string(8, ' '),
       "2026-11-14 \xC0"
       "9:41:0 "},
      {"29 bytes that unescape to 28",
       "\x01"
       "2026-11-14 09:41:00\xDB\xDC" +
           std::string(7, ' '),
       ""},
  };
  for (const Case& c : kCases) {
    ASSERT_EQ(c.part.size() == 28, c.rx_time.size() > 0) << c.name;
    DecoderState state;
    ASSERT_TRUE(Load(state, Delimited({c.part, beacon})).ok());
    EXPECT_EQ(state.BeaconStore[0].RxTime, c.rx_time) << c.name;
    EXPECT_EQ(state.RxTimestamp, c.rx_time) << c.name;
  }
}

TEST(CaptureLoader, UndoesTheKissEscapes) {
  // Bytes after the Ascii85 terminator are never decoded, so they show the unescaped frame text.
  struct Case {
    const char* name;
    std::string tail;
    std::string unescaped;
  };
  const Case kCases[] = {
      {"escaped FESC then TFEND", "\xDB\xDD\xDC", "\xDB\xDC"},
      {"escaped FEND", "\xDB\xDC", "\xC0"},
      {"escaped FESC", "\xDB\xDD", "\xDB"},
      {"lone FESC",
       "\xDB"
       "A",
       "\xDB"
       "A"},
      {"FESC at the end of the part", "A\xDB", "A\xDB"},
      {"double FESC", "\xDB\xDB\xDC", "\xDB\xC0"},
  };
  for (const Case& c : kCases) {
    DecoderState state;
    ASSERT_TRUE(Load(state, Delimited({"TALPHEXz~>" + c.tail})).ok());
    ASSERT_EQ(state.BeaconCount, 1) << c.name;
    EXPECT_EQ(state.BeaconStore[0].FrameText, "TALPHEXz~>" + c.unescaped) << c.name;
  }
}

TEST(CaptureLoader, PartWithBothMarkersGivesOneRecordOfEachKind) {
  DecoderState state;
  std::vector<std::string> log;
  const std::string payload_body = "<~" + Body(Bytes(kPayloadBodySize, 0x07));
  const std::string beacon_body = "<~" + Body(BeaconBody(9)) + "VAVE" + payload_body;
  const LoadResult result = Load(state, Delimited({"TALPHEX" + beacon_body}), &log);
  EXPECT_EQ(result.beacon_frames, 1);
  EXPECT_EQ(result.payload_frames, 1);
  ASSERT_EQ(state.BeaconCount, 1);
  ASSERT_EQ(state.PayloadCount, 1);
  EXPECT_EQ(state.BeaconStore[0].Value[0], 9);
  EXPECT_EQ(state.BeaconStore[0].FrameText, "TALPHEX" + beacon_body);
  EXPECT_EQ(state.PayloadStore[0].Value[46], 7);
  EXPECT_EQ(state.PayloadStore[0].FrameText, "VAVE" + payload_body);
  EXPECT_EQ(log, (std::vector<std::string>{"TALPHEX" + beacon_body + "\r\n",
                                           "VAVE" + payload_body + "\r\n"}));
}

TEST(CaptureLoader, MarkerSearchIsByteExact) {
  DecoderState state;
  const LoadResult result =
      Load(state, Delimited({"talphex<~z~>", "TALPHE X<~z~>", "Vave<~z~>", "VAV<~z~>"}));
  EXPECT_EQ(state.BeaconCount + state.PayloadCount, 0);
  EXPECT_EQ(result.skipped_frames, 0);
}

TEST(CaptureLoader, FrameWithoutMarkerOnlyEmptiesTheBodyText) {
  DecoderState state;
  ASSERT_TRUE(Load(state, Delimited({"TALPHEX<~z~>"})).ok());
  EXPECT_EQ(state.BodyText, "<~z~>");
  ASSERT_TRUE(Load(state, Delimited({"no marker here"})).ok());
  EXPECT_EQ(state.BodyText, "");
  EXPECT_EQ(state.BeaconCount, 1);
}

TEST(CaptureLoader, UndecodableBodyGivesNoRecord) {
  DecoderState state;
  std::vector<std::string> log;
  const std::string good = "TALPHEX<~" + Body(BeaconBody(5));
  const std::string bad_beacon = "TALPHEX<~87cU";  // no terminator
  const std::string bad_payload = "VAVE{~>";
  const std::string capture = Delimited({good, bad_beacon, bad_payload, good});
  const LoadResult result = Load(state, capture, &log);
  EXPECT_TRUE(result.ok()) << "loading goes on after a bad frame";
  EXPECT_EQ(result.beacon_frames, 2);
  EXPECT_EQ(result.payload_frames, 0);
  EXPECT_EQ(result.skipped_frames, 2);
  EXPECT_EQ(result.skipped_by_reason[static_cast<std::size_t>(SkipReason::kBodyNotDecoded)], 2);
  EXPECT_EQ(state.BeaconCount, 2);
  EXPECT_EQ(state.PayloadCount, 0);
  ASSERT_EQ(result.warnings.size(), 2u);
  EXPECT_EQ(result.warnings[0].kind, SkipReason::kBodyNotDecoded);
  EXPECT_EQ(result.warnings[0].file, "pass.kss");
  EXPECT_EQ(result.warnings[0].offset, good.size() + 1);
  EXPECT_EQ(result.warnings[1].offset, good.size() + bad_beacon.size() + 2);
  EXPECT_EQ(result.warnings[1].detail, Ascii85StatusText(Ascii85Status::kInvalidCharacter));
  // Each bad frame is logged with its body, then noted as skipped with its place.
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[1], bad_beacon + "\r\n");
  EXPECT_NE(log[2].find(std::to_string(good.size() + 1)), std::string::npos) << log[2];
  EXPECT_NE(log[2].find(SkipReasonText(SkipReason::kBodyNotDecoded)), std::string::npos);
  EXPECT_EQ(log[2].substr(log[2].size() - 2), "\r\n");
  EXPECT_EQ(log[3], bad_payload + "\r\n");
}

TEST(CaptureLoader, WarningsStopAtTheirLimitButSkipsAreAllCounted) {
  std::string capture;
  for (std::size_t i = 0; i < kMaxWarnings + 50; ++i) capture += Delimited({"VAVE<~87"});
  DecoderState state;
  const LoadResult result = Load(state, capture);
  EXPECT_EQ(result.skipped_frames, static_cast<std::int64_t>(kMaxWarnings + 50));
  ASSERT_EQ(result.warnings.size(), kMaxWarnings);
  EXPECT_EQ(result.warnings.back().offset, (kMaxWarnings - 1) * 9);
}

TEST(CaptureLoader, BodyLongerThanTheFrameBufferIsSkipped) {
  struct Case {
    std::size_t body_bytes;
    bool decoded;
  };
  for (const Case c : {Case{512, true}, Case{513, true}, Case{514, false}, Case{4000, false}}) {
    DecoderState state;
    const Bytes body(c.body_bytes, 0x55);
    const std::string capture =
        Delimited({"TALPHEX<~" + Body(body), "TALPHEX<~" + Body(BeaconBody(3))});
    const LoadResult result = Load(state, capture);
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(state.BeaconCount, c.decoded ? 2 : 1) << c.body_bytes;
    EXPECT_EQ(result.skipped_by_reason[static_cast<std::size_t>(SkipReason::kBodyTooLong)],
              c.decoded ? 0 : 1)
        << c.body_bytes;
    EXPECT_EQ(state.BeaconStore[state.BeaconCount - 1].Value[0], 3) << c.body_bytes;
  }
}

TEST(CaptureLoader, ShortBodyReadsMissingBytesAsZero) {
  // A long body full of 0xFF first, then short bodies: nothing of the long body may show.
  const std::string long_beacon = "TALPHEX<~" + Body(BeaconBody(0xFFFF, 0xFF));
  const std::string long_payload = "VAVE<~" + Body(Bytes(kPayloadBodySize, 0xFF));
  const std::string short_beacon = "TALPHEX<~" + Body({0x07, 0x00, 0x10});
  const std::string short_payload = "VAVE<~" + Body({0x01, 0x02});
  auto expect_short_records = [](const DecoderState& state, int beacon, int payload) {
    const TelemetryRecord& b = state.BeaconStore[static_cast<std::size_t>(beacon)];
    EXPECT_EQ(b.Value[0], 7);
    EXPECT_EQ(b.Value[1], 0x10);
    for (int slot = 2; slot <= 3; ++slot) EXPECT_EQ(b.Value[slot], 0) << slot;
    EXPECT_EQ(b.Value[17], 0);
    EXPECT_EQ(b.Value[31], 0);
    const TelemetryRecord& p = state.PayloadStore[static_cast<std::size_t>(payload)];
    EXPECT_EQ(p.Value[46], 1);
    EXPECT_EQ(p.Value[45], 2);
    EXPECT_EQ(p.Value[47], 0);
    EXPECT_EQ(p.Value[44], 0);
    EXPECT_EQ(p.Value[34], 0);
  };
  {
    SCOPED_TRACE("in one file");
    DecoderState state;
    ASSERT_TRUE(
        Load(state, Delimited({long_beacon, long_payload, short_beacon, short_payload})).ok());
    ASSERT_EQ(state.BeaconCount, 2);
    ASSERT_EQ(state.PayloadCount, 2);
    expect_short_records(state, 1, 1);
  }
  {
    SCOPED_TRACE("in the next file");
    DecoderState state;
    ASSERT_TRUE(Load(state, Delimited({long_beacon, long_payload})).ok());
    ASSERT_TRUE(Load(state, Delimited({short_beacon, short_payload})).ok());
    expect_short_records(state, 1, 1);
  }
  {
    SCOPED_TRACE("after a long body of the other kind");
    DecoderState state;
    ASSERT_TRUE(Load(state, Delimited({long_beacon, short_payload, short_beacon})).ok());
    expect_short_records(state, 1, 0);
  }
}

TEST(CaptureLoader, CountsGoOnPastTheStoreCapacity) {
  CaptureWriter writer;
  for (int i = 1; i <= 1005; ++i) {
    writer.AddFrame(kBeaconMarker, BeaconBody(static_cast<std::uint16_t>(i)));
  }
  DecoderState state;
  const LoadResult result = Load(state, writer.bytes());
  EXPECT_EQ(result.beacon_frames, 1005);
  EXPECT_EQ(state.BeaconCount, 1005);
  EXPECT_EQ(state.StoredCount(Kind::kBeacon), 1000u);
  EXPECT_EQ(state.BeaconStore[999].Value[0], 1000) << "the 1001st frame does not overwrite";
  EXPECT_EQ(state.StoredCount(Kind::kPayload), 0u);
}

// A capture with every kind of part: timestamps, escapes, empty parts, bad and good frames of
// both kinds, a part with both markers and bytes after the last delimiter.
std::string MixedCapture() {
  CaptureWriter writer;
  writer.AddPart("");
  for (int i = 0; i < 6; ++i) {
    writer.AddTimestamp(i % 2 == 0 ? kStamp1 : kStamp2);
    writer.AddFrame(kBeaconMarker, BeaconBody(static_cast<std::uint16_t>(0xC0DB + i),
                                              static_cast<std::uint8_t>(i)));
    // Escape pairs around the marker and after the body; the pieces may split them.
    writer.AddPart("\xDB\xC0VAVEz~>\xC0\xDB" + std::to_string(i));
    writer.AddFrame(kPayloadMarker, Bytes(kPayloadBodySize - static_cast<std::size_t>(i), 0xDB));
    writer.AddRawFrame(kBeaconMarker, i % 2 == 0 ? "87cU" : "uuuuu~>");
    writer.AddPart("");
  }
  writer.AddRawFrame(kPayloadMarker, "z~>TALPHEX<~" + Body(BeaconBody(77)));
  writer.AddTimestamp(
      "2026-11-14 09:41:\xC0"
      "9");  // 29 bytes once escaped: no timestamp
  writer.AddFrame(kBeaconMarker, BeaconBody(78));
  return writer.bytes() + "TALPHEX<~z~>";
}

void ExpectSameRecords(const DecoderState& a, const DecoderState& b) {
  ASSERT_EQ(a.BeaconCount, b.BeaconCount);
  ASSERT_EQ(a.PayloadCount, b.PayloadCount);
  for (Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    for (std::size_t i = 0; i < a.StoredCount(kind); ++i) {
      const TelemetryRecord& x = a.Store(kind)[i];
      const TelemetryRecord& y = b.Store(kind)[i];
      EXPECT_EQ(x.RxTime, y.RxTime) << i;
      EXPECT_EQ(x.TimeText, y.TimeText) << i;
      EXPECT_EQ(x.FrameText, y.FrameText) << i;
      EXPECT_EQ(x.Value, y.Value) << i;
    }
  }
}

TEST(CaptureScanner, FeedingInPiecesGivesTheSameAsOnePiece) {
  const std::string capture = MixedCapture();
  DecoderState whole_state;
  std::vector<std::string> whole_log;
  const LoadResult whole = Load(whole_state, capture, &whole_log);
  ASSERT_EQ(whole_state.BeaconCount, 8);
  ASSERT_EQ(whole_state.PayloadCount, 13);
  EXPECT_EQ(whole_state.PayloadStore[0].FrameText,
            "VAVEz~>\xC0\xDB"
            "0");
  EXPECT_EQ(whole_state.BeaconStore[7].RxTime, kStamp2);
  ASSERT_EQ(whole.skipped_frames, 6);

  const auto bytes = AsBytes(capture);
  for (std::size_t piece = 1; piece <= bytes.size(); ++piece) {
    DecoderState state;
    LoadResult result;
    result.path = "pass.kss";
    std::vector<std::string> log;
    const FrameLogSink sink = [&log](std::string_view line) { log.emplace_back(line); };
    CaptureScanner scanner(state, result, &sink);
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      scanner.Feed(bytes.subspan(at, std::min(piece, bytes.size() - at)));
    }
    SCOPED_TRACE("piece size " + std::to_string(piece));
    ExpectSameRecords(state, whole_state);
    EXPECT_EQ(log, whole_log);
    ASSERT_EQ(result.warnings.size(), whole.warnings.size());
    for (std::size_t w = 0; w < whole.warnings.size(); ++w) {
      EXPECT_EQ(result.warnings[w].offset, whole.warnings[w].offset);
      EXPECT_EQ(result.warnings[w].kind, whole.warnings[w].kind);
    }
    if (HasFailure()) break;
  }
}

TEST(CaptureScanner, WarningOffsetsPointAtTheSkippedPart) {
  const std::string capture = MixedCapture();
  DecoderState state;
  const LoadResult result = Load(state, capture);
  ASSERT_FALSE(result.warnings.empty());
  for (const LoadWarning& warning : result.warnings) {
    ASSERT_LT(warning.offset, capture.size());
    // A part starts at the file's start or right after a delimiter, and holds the frame's marker.
    EXPECT_TRUE(warning.offset == 0 || capture[warning.offset - 1] == '\xC0') << warning.offset;
    const std::size_t end = capture.find('\xC0', warning.offset);
    EXPECT_NE(capture.substr(warning.offset, end - warning.offset).find(kBeaconMarker),
              std::string::npos)
        << warning.offset;
  }
}

TEST(CaptureScanner, OverlongPartIsSkippedWhateverThePieces) {
  const std::string beacon = "TALPHEX<~" + Body(BeaconBody(2));
  const std::string capture =
      Delimited({beacon, "TALPHEX" + std::string(kMaxPartBytes, ' ') + "z~>", beacon});
  for (std::size_t piece : {capture.size(), std::size_t{4096}, std::size_t{1000}}) {
    DecoderState state;
    LoadResult result;
    CaptureScanner scanner(state, result, nullptr);
    const auto bytes = AsBytes(capture);
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      scanner.Feed(bytes.subspan(at, std::min(piece, bytes.size() - at)));
    }
    EXPECT_EQ(state.BeaconCount, 2) << piece;
    EXPECT_EQ(result.skipped_by_reason[static_cast<std::size_t>(SkipReason::kPartTooLong)], 1)
        << piece;
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0].offset, beacon.size() + 1) << piece;
  }
}

using CaptureFileTest = testing::TempFolderTest;

TEST_F(CaptureFileTest, FileLoadsLikeItsBytes) {
  const std::string capture = MixedCapture();
  const std::string path = (folder_ / "pass.kss").string();
  testing::WriteFile(path, capture);
  DecoderState from_file;
  const LoadResult result = LoadCaptureFile(from_file, path);
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.path, path);
  ASSERT_FALSE(result.warnings.empty());
  EXPECT_EQ(result.warnings[0].file, path);
  DecoderState from_bytes;
  (void)Load(from_bytes, capture);
  ExpectSameRecords(from_file, from_bytes);
}

TEST_F(CaptureFileTest, UnreadablePathGivesAnErrorNamingIt) {
  const std::string kMissing = (folder_ / "missing.kss").string();
  const std::string kFolder = folder_.string();
  for (const std::string& path : {kMissing, kFolder}) {
    DecoderState state;
    const LoadResult result = LoadCaptureFile(state, path);
    EXPECT_FALSE(result.ok()) << path;
    EXPECT_NE(result.error.find(path), std::string::npos) << result.error;
    EXPECT_GT(result.error.size(), path.size() + 2) << "a reason follows the path";
    EXPECT_EQ(state.BeaconCount, 0);
  }
}

}  // namespace
}  // namespace talphex
