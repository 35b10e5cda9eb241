// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/capture_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/capture/ascii85.h"
#include "core/capture/capture_recorder.h"
#include "testkit/capture_writer.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Log = std::vector<std::string>;

constexpr char kStamp1[] = "2026-11-14 09:41:00";
constexpr char kStamp2[] = "2026-11-14 09:41:07";

// Loads `capture` through a scanner fed in pieces of `piece` bytes, by default all at once; the
// log gets the frame log, then a line of each frame's facts.
LoadResult Load(DecoderState& state, std::string_view capture, Log* log = nullptr,
                std::size_t piece = std::string_view::npos, Log* facts = nullptr) {
  LoadResult result;
  result.path = "pass.kss";
  const FrameLogSink sink = [log](std::string_view line) { log->emplace_back(line); };
  const FrameFactsSink facts_sink = [facts](const FrameFacts& frame) {
    facts->push_back(FrameSummary(frame) + " " + std::string(frame.bytes));
  };
  CaptureScanner scanner(state, result, log != nullptr ? &sink : nullptr);
  if (facts != nullptr) scanner.SetFrameFactsSink(&facts_sink);
  for (std::size_t at = 0; at < capture.size(); at += piece) {
    const std::string_view bytes = capture.substr(at, piece);
    scanner.Feed({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  }
  return result;
}

std::string Frame(std::string_view marker, std::span<const std::uint8_t> body) {
  return std::string(marker) + "<~" + Ascii85Encode(body.data(), body.size());
}

std::string Beacon(std::uint16_t number) {
  return Frame(kBeaconMarker, EncodeBeaconBody({.message_number = number}));
}

std::string Delimited(std::initializer_list<std::string_view> parts) {
  std::string capture;
  for (std::string_view part : parts) capture.append(part).push_back('\xC0');
  return capture;
}

// Only a part of exactly 28 bytes is a timestamp; its time stamps the frames after it, also those
// of the next file.
TEST(CaptureLoader, TimestampPartStampsTheFramesAfterIt) {
  DecoderState state;
  const std::string beacon = Beacon(1);
  const std::string payload = Frame(kPayloadMarker, Bytes(kPayloadBodySize));
  // Timestamp parts: one leading byte, the 19 characters, eight unused bytes.
  const std::string stamp1 = "#" + std::string(kStamp1) + std::string(8, ' ');
  const std::string stamp2 = "#" + std::string(kStamp2) + std::string(8, ' ');
  ASSERT_TRUE(Load(state, Delimited({beacon, stamp1, beacon, payload, stamp2.substr(0, 27),
                                     stamp2 + "x", beacon, stamp2, payload}))
                  .ok());
  ASSERT_TRUE(Load(state, Delimited({beacon})).ok());
  ASSERT_EQ(state.BeaconCount + state.PayloadCount, 6);
  const std::string_view beacon_times[] = {"", kStamp1, kStamp1, kStamp2};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(state.BeaconStore[i].RxTime, beacon_times[i]);
  EXPECT_EQ(state.PayloadStore[0].RxTime, kStamp1);
  EXPECT_EQ(state.PayloadStore[1].RxTime, kStamp2);
}

// Bytes after the Ascii85 terminator are never decoded, so they show the unescaped frame text:
// escaped FESC then a TFEND as it stands, escaped FEND, escaped FESC, a lone FESC, one at the end.
TEST(CaptureLoader, UndoesTheKissEscapes) {
  const std::pair<std::string, std::string> kCases[] = {
      {"\xDB\xDD\xDC", "\xDB\xDC"}, {"\xDB\xDC", "\xC0"}, {"\xDB\xDD", "\xDB"},
      {"\xDBZ", "\xDBZ"},           {"Z\xDB", "Z\xDB"},   {"\xDB\xDB\xDC", "\xDB\xC0"},
  };
  for (const auto& [tail, unescaped] : kCases) {
    DecoderState state;
    ASSERT_TRUE(Load(state, Delimited({"TALPHEXz~>" + tail})).ok());
    EXPECT_EQ(state.BeaconStore.at(0).FrameText, "TALPHEXz~>" + unescaped) << tail;
  }
}

// Markers are byte-exact.
TEST(CaptureLoader, PartWithoutAMarkerOnlyEmptiesTheBodyText) {
  DecoderState state;
  ASSERT_TRUE(Load(state, Delimited({"TALPHEX<~z~>"})).ok());
  EXPECT_EQ(state.BodyText, "<~z~>");
  ASSERT_TRUE(Load(state, Delimited({"talphex<~z~>TALPHE X<~z~>Vave<~z~>VAV<~z~>"})).ok());
  EXPECT_EQ(state.BodyText, "");
  EXPECT_EQ(state.BeaconCount + state.PayloadCount, 1);
}

// Regression: the body is the text after the first marker of a frame, not the last.
TEST(CaptureLoader, BodyFollowsTheFirstMarkerOfAFrame) {
  DecoderState state;
  ASSERT_TRUE(Load(state, Delimited({Beacon(9) + Beacon(5)})).ok());
  ASSERT_EQ(state.BeaconCount, 1);
  EXPECT_EQ(state.BeaconStore[0].Value[0], 9);
}

// The frame log holds each recognised frame's text, and after a frame that gives no record a note
// of its place and reason; loading goes on. A part with both markers gives one record of each
// kind, the beacon's body ending where the payload marker begins. The warnings' kinds and files are
// checked with the bad-input suite.
TEST(CaptureLoader, FrameLogAndWarnings) {
  const std::string payload = Frame(kPayloadMarker, Bytes(kPayloadBodySize, 0x07));
  const std::string both = Beacon(9) + payload;
  const std::string bad_beacon = "TALPHEX<~87cU";
  const std::string bad_payload = "VAVE{~>";
  const std::size_t bad_at = both.size() + 6;  // after "\0junk", the part and its delimiter
  const auto note = [](std::size_t offset, Ascii85Status status) {
    return "-- frame at byte " + std::to_string(offset) + " skipped: body does not decode (" +
           Ascii85StatusText(status) + ")\r\n";
  };
  DecoderState state;
  Log log;
  const std::string capture =
      Delimited({std::string(1, '\0') + "junk" + both, bad_beacon, bad_payload, Beacon(5)});
  EXPECT_TRUE(Load(state, capture, &log).ok());
  EXPECT_EQ(log, (Log{both + "\r\n", payload + "\r\n", bad_beacon + "\r\n",
                      note(bad_at, Ascii85Status::kNoTerminator), bad_payload + "\r\n",
                      note(bad_at + bad_beacon.size() + 1, Ascii85Status::kInvalidCharacter),
                      Beacon(5) + "\r\n"}));
  ASSERT_EQ(state.BeaconCount + state.PayloadCount, 3);
  EXPECT_EQ(state.BeaconStore[0].Value[0], 9);
  EXPECT_EQ(state.BeaconStore[0].FrameText, both);
  EXPECT_EQ(state.PayloadStore[0].Value[46], 7);
  EXPECT_EQ(state.PayloadStore[0].FrameText, payload);
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

// Regression: a short body read the bytes of a longer body of an earlier file. Missing bytes read
// as zero, as in a fresh state, whether the long body came in the same file, an earlier file, or
// was of the other kind.
TEST(CaptureLoader, ShortBodyReadsMissingBytesAsZero) {
  const std::string long_beacon = Frame(kBeaconMarker, Bytes(kBeaconBodySize, 0xFF));
  const std::string long_payload = Frame(kPayloadMarker, Bytes(kPayloadBodySize, 0xFF));
  const std::string short_frames = Delimited(
      {Frame(kBeaconMarker, Bytes{0x07, 0x00, 0x10}), Frame(kPayloadMarker, Bytes{0x01, 0x02})});
  DecoderState fresh;
  ASSERT_TRUE(Load(fresh, short_frames).ok());
  const std::vector<std::string> kFileSets[] = {
      {Delimited({long_beacon, long_payload}) + short_frames},
      {Delimited({long_beacon, long_payload}), short_frames},
      {Delimited({long_payload}) + short_frames},
      {Delimited({long_beacon}), short_frames},
  };
  for (const std::vector<std::string>& files : kFileSets) {
    SCOPED_TRACE(files.front());
    DecoderState state;
    for (const std::string& file : files) ASSERT_TRUE(Load(state, file).ok());
    EXPECT_EQ(state.BeaconStore.back().Value, fresh.BeaconStore[0].Value);
    EXPECT_EQ(state.PayloadStore.back().Value, fresh.PayloadStore[0].Value);
  }
  EXPECT_EQ(fresh.BeaconStore[0].Value[1], 16);
  EXPECT_EQ(fresh.PayloadStore[0].Value[45], 2);
}

// A capture with every kind of part: timestamps, escapes (some around the marker, so that pieces
// split them), empty parts, bad and good frames of both kinds, a part with both markers, an
// escaped part of 28 bytes that is no timestamp, and bytes after the last delimiter.
std::string MixedCapture() {
  CaptureWriter writer;
  writer.AddPart("");
  for (int i = 0; i < 6; ++i) {
    writer.AddTimestamp(i % 2 == 0 ? kStamp1 : kStamp2);
    writer.AddFrame(kBeaconMarker, Bytes(kBeaconBodySize, static_cast<std::uint8_t>(0xC0 + i)));
    writer.AddPart("\xDB\xC0VAVEz~>\xC0\xDB" + std::to_string(i));
    writer.AddFrame(kPayloadMarker, Bytes(kPayloadBodySize - static_cast<std::size_t>(i), 0xDB));
    writer.AddRawFrame(kBeaconMarker, i % 2 == 0 ? "87cU" : "uuuuu~>");
    writer.AddPart("");
  }
  writer.AddRawFrame(kPayloadMarker, "z~>" + Beacon(77));
  writer.AddTimestamp("2026-11-14 09:41:\xC0!");  // 29 bytes once escaped: no timestamp
  writer.AddFrame(kBeaconMarker, EncodeBeaconBody({.message_number = 78}));
  return writer.bytes() + "TALPHEX<~z~>";
}

using RecordKey = std::tuple<std::string, std::string, std::string, std::array<double, 51>>;

std::vector<RecordKey> Records(const DecoderState& state) {
  std::vector<RecordKey> records;
  for (const auto* store : {&state.BeaconStore, &state.PayloadStore}) {
    for (const auto& r : *store) records.emplace_back(r.RxTime, r.TimeText, r.FrameText, r.Value);
  }
  return records;
}

// Records, frame log and the facts of every frame, offsets included, whatever the pieces.
TEST(CaptureScanner, FeedingInPiecesGivesTheSameAsOnePiece) {
  const std::string capture = MixedCapture();
  DecoderState whole_state;
  Log whole_log;
  Log whole_facts;
  const LoadResult whole =
      Load(whole_state, capture, &whole_log, std::string_view::npos, &whole_facts);
  ASSERT_EQ(whole_facts.size(), 8 + 13 + 6 + 1u);  // and the escaped 28-byte part
  ASSERT_EQ(whole_state.BeaconCount, 8);
  ASSERT_EQ(whole_state.PayloadCount, 13);
  EXPECT_EQ(whole_state.PayloadStore[0].FrameText, std::string("VAVEz~>\xC0\xDB") + '0');
  EXPECT_EQ(whole_state.BeaconStore[7].RxTime, kStamp2);
  ASSERT_EQ(whole.skipped_frames, 6);
  for (std::size_t piece = 1; piece <= capture.size(); ++piece) {
    SCOPED_TRACE("piece size " + std::to_string(piece));
    DecoderState state;
    Log log;
    Log facts;
    const LoadResult result = Load(state, capture, &log, piece, &facts);
    EXPECT_EQ(Records(state), Records(whole_state));
    EXPECT_EQ(log, whole_log);
    EXPECT_EQ(facts, whole_facts);
    EXPECT_EQ(result.skipped_frames, whole.skipped_frames);
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace talphex

namespace talphex {
namespace {

// 1,763,113,260,123 ms after 1970: 2025-11-14 09:41:00.123 UTC.
constexpr std::uint64_t kStampMs = 1763113260123;

// A millisecond stamp part without its closing delimiter.
std::string StampPart(std::uint64_t ms) {
  CaptureWriter writer;
  writer.AddMillisecondStamp(ms);
  std::string bytes = writer.bytes();
  bytes.pop_back();
  return bytes;
}

std::span<const std::uint8_t> Span(std::string_view bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// A 9-byte part that starts with 0x09 is a millisecond stamp, its bytes escaped or not; any other
// length or first byte is not, nor a time past the year 9999.
TEST(CaptureLoader, MillisecondStampPartsStampTheFramesAfterThem) {
  struct Case {
    const char* name;
    std::string part;
    const char* rx_time;
  };
  const Case kCases[] = {
      {"stamp", StampPart(kStampMs), "2025-11-14 09:41:00"},
      {"escaped bytes", StampPart(0xC0DB00C0DBull), "1996-03-31 21:33:00"},
      {"epoch", StampPart(0), "1970-01-01 00:00:00"},
      {"last millisecond", StampPart(253402300799999), "9999-12-31 23:59:59"},
      {"past 9999", StampPart(253402300800000), "before"},
      {"eight bytes", StampPart(kStampMs).substr(0, 8), "before"},
      {"ten bytes", StampPart(kStampMs) + "x", "before"},
      {"other command", "\x08" + StampPart(kStampMs).substr(1), "before"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    DecoderState state;
    state.RxTimestamp = "before";
    ASSERT_TRUE(Load(state, Delimited({c.part, Beacon(1), Beacon(2)})).ok());
    ASSERT_EQ(state.BeaconCount, 2);
    EXPECT_EQ(state.BeaconStore[0].RxTime, c.rx_time);
    EXPECT_EQ(state.BeaconStore[1].RxTime, c.rx_time);
  }
}

// The milliseconds of a receive time reach the records where the source has them: a millisecond
// stamp, the ".mmm" of a timestamp part as the recorder writes it; a part with anything else
// there, or a SatNOGS line's time, leaves them unknown, also after a stamp that had them.
TEST(CaptureLoader, MillisecondsOfTheReceiveTime) {
  const auto timestamp_part = [](std::string_view tail) {
    std::string part(1, '\0');
    part.append(kStamp1).append(tail);
    return part;
  };
  const std::pair<std::string, int> kCases[] = {
      {StampPart(kStampMs), 123},
      {StampPart(kStampMs + 877), 0},
      {StampPart(999), 999},
      {TimestampPart(static_cast<std::int64_t>(kStampMs)), 123},
      {timestamp_part(".045 UTC"), 45},
      {timestamp_part(".999    "), 999},
      {timestamp_part(std::string(8, '\0')), -1},  // the sample's parts
      {timestamp_part(".04x UTC"), -1},
      {timestamp_part(",045 UTC"), -1},
      {timestamp_part(" 045 UTC"), -1},
  };
  for (const auto& [part, millisecond] : kCases) {
    SCOPED_TRACE(::testing::PrintToString(part));
    ASSERT_EQ(part.size(), part[0] == '\0' ? kTimestampPartSize : 9u);
    DecoderState state;
    ASSERT_TRUE(Load(state, Delimited({StampPart(kStampMs + 1), part, Beacon(1), Beacon(2)})).ok());
    ASSERT_EQ(state.BeaconCount, 2);
    EXPECT_EQ(state.BeaconStore[0].RxMillisecond, millisecond);
    EXPECT_EQ(state.BeaconStore[1].RxMillisecond, millisecond);
  }
  DecoderState state;
  ASSERT_TRUE(Load(state, Delimited({StampPart(kStampMs), Beacon(1)})).ok());
  const std::string satnogs =
      SatnogsExportOf(Delimited({std::string(1, '\0') + kStamp2 + ".500 UTC", Beacon(2)}));
  ASSERT_TRUE(LoadCaptureBytes(state, Span(satnogs), "satnogs.csv").ok());
  ASSERT_EQ(state.BeaconCount, 2);
  EXPECT_EQ(state.BeaconStore[0].RxMillisecond, 123);
  EXPECT_EQ(state.BeaconStore[1].RxMillisecond, -1);
}

TEST(CaptureLoader, TimestampPartOfAMillisecondTime) {
  EXPECT_EQ(TimestampPart(kStampMs), std::string(1, '\0') + "2025-11-14 09:41:00.123 UTC");
  EXPECT_EQ(TimestampPart(kStampMs).size(), kTimestampPartSize);
  EXPECT_EQ(TimestampPart(999), std::string(1, '\0') + "1970-01-01 00:00:00.999 UTC");
}

struct LiveRun {
  DecoderState state;
  LoadResult result;
  std::vector<std::pair<std::string, std::string>> recorded;  // stamp part, raw frame
};

// Feeds a live stream one byte at a time, received at 1000 ms per byte after kStampMs.
void FeedLive(LiveRun& run, std::string_view stream) {
  CaptureScanner scanner(run.state, run.result, nullptr, CaptureScanner::Mode::kLive);
  scanner.SetFrameSink(
      [&run](const LiveFrame& frame) { run.recorded.emplace_back(frame.stamp_part, frame.raw); });
  for (std::size_t i = 0; i < stream.size(); ++i) {
    scanner.Feed(Span(stream.substr(i, 1)), static_cast<std::int64_t>(kStampMs + 1000 * i));
  }
}

// On a live stream a frame takes the stamp right before it or else its receive time; the noise
// before the first delimiter is dropped, and so is a frame cut off at the end.
TEST(CaptureScanner, LiveStreamStampsEachFrameOnItsOwn) {
  CaptureWriter writer;
  writer.AddMillisecondStamp(kStampMs + 5);
  writer.AddFrame(kBeaconMarker, EncodeBeaconBody({.message_number = 1}));
  writer.AddFrame(kBeaconMarker, EncodeBeaconBody({.message_number = 2}));
  const std::string noise = "TALPHEX<~z~>\xC0";
  // Receive time of a frame: that of the byte that closes it.
  const auto closed_at = [&] {
    return kStampMs + 1000 * (noise.size() + writer.bytes().size() - 1);
  };
  const std::uint64_t second_closed = closed_at();
  writer.AddTimestamp(kStamp1);
  writer.AddPart("no marker");
  writer.AddFrame(kBeaconMarker, EncodeBeaconBody({.message_number = 3}));
  const std::uint64_t third_closed = closed_at();
  LiveRun run;
  FeedLive(run, noise + writer.bytes() + "TALPHEX<~z~>");
  ASSERT_EQ(run.state.BeaconCount, 3);
  const std::string times[] = {"2025-11-14 09:41:00",
                               UtcTimeText(static_cast<std::int64_t>(second_closed)),
                               UtcTimeText(static_cast<std::int64_t>(third_closed))};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(run.state.BeaconStore[i].Value[0], static_cast<double>(i + 1));
    EXPECT_EQ(run.state.BeaconStore[i].RxTime, times[i]);
  }
  // Every frame is recorded after a timestamp part that reloads to the same receive time: the
  // TNC's 28-byte part as it came, or one made from the millisecond stamp or the receive time.
  ASSERT_EQ(run.recorded.size(), 4u);
  EXPECT_EQ(run.recorded[0].first, TimestampPart(kStampMs + 5));
  EXPECT_EQ(run.recorded[2].first.substr(1, 19), kStamp1);
  testing::TempDir dir;
  CaptureRecorder recorder;
  ASSERT_TRUE(recorder.Open(dir.File("pass.kss")).ok());
  for (const auto& [stamp, raw] : run.recorded) ASSERT_TRUE(recorder.Write({stamp, raw}).ok());
  recorder.Close();
  DecoderState state;
  ASSERT_TRUE(LoadCaptureFile(state, dir.File("pass.kss")).ok());
  EXPECT_EQ(Records(state), Records(run.state));
}

// A progress callback that says stop ends the load after that piece, the records so far kept.
TEST(CaptureLoader, ProgressCanCancelBetweenPieces) {
  testing::TempDir dir;
  std::string capture;
  for (int i = 0; i < 15000; ++i) capture += Delimited({Beacon(static_cast<std::uint16_t>(i))});
  ASSERT_GT(capture.size(), 2 * 256 * 1024u);
  testing::WriteFile(dir.File("big.kss"), capture);
  std::vector<std::uint64_t> reported;
  const LoadProgress stop_at_once = [&reported](std::uint64_t bytes) {
    reported.push_back(bytes);
    return false;
  };
  DecoderState state;
  const LoadResult result = LoadCaptureFile(state, dir.File("big.kss"), nullptr, &stop_at_once);
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(reported, std::vector<std::uint64_t>{256 * 1024});
  EXPECT_GT(state.BeaconCount, 0);
  EXPECT_LT(state.BeaconCount, 15000);
  const LoadProgress go_on = [](std::uint64_t) { return true; };
  DecoderState whole;
  EXPECT_FALSE(LoadCaptureFile(whole, dir.File("big.kss"), nullptr, &go_on).cancelled);
  EXPECT_EQ(whole.BeaconCount, 15000);
}

}  // namespace
}  // namespace talphex
