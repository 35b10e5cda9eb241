// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/view/record_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "core/decode/frame_decoders.h"
#include "core/view/text_forms.h"
#include "testkit/capture_writer.h"
#include "testkit/sample_capture.h"

namespace talphex {
namespace {

using enum Kind;
using testing::LoadSample;

void ExpectNoRecordOf(const RecordView& view, Kind kind) {
  for (int field = 0; field < kFieldCount; ++field) {
    if (KindOfField(field) != kind) continue;
    EXPECT_EQ(view.values[field], "") << "field " << field;
  }
  if (kind == kBeacon) {
    EXPECT_EQ(view.beacon_frame, "");
    EXPECT_EQ(view.posix_time, "Posix Time: ");
  } else {
    EXPECT_EQ(view.payload_frame, "");
    for (LampState lamp : view.lamps) EXPECT_EQ(lamp, LampState::kNoRecord);
  }
}

TEST(RecordView, ShowsBothKindsAtTheSameNumberAndTheLinesOfTheNavigatedKind) {
  DecoderState state = LoadSample();
  // The frame texts and values of both kinds at one number are pinned by the golden report.
  const RecordView view = BuildRecordView(state, 5, kBeacon);
  EXPECT_EQ(view.posix_time, "Posix Time: " + state.BeaconStore[4].TimeText);
  EXPECT_EQ(view.position, "#5 / 86");
  EXPECT_EQ(view.time_span, "time span: 2026-11-14 09:41:03 -> 2026-11-14 09:50:58");
  EXPECT_EQ(view.rx_timestamp, "RX Timestamp: " + state.BeaconStore[4].RxTime);
  const RecordView payload = BuildRecordView(state, 5, kPayload);
  EXPECT_EQ(payload.position, "#5 / 26");
  EXPECT_EQ(payload.time_span, "time span: 2026-11-14 09:41:11 -> 2026-11-14 09:50:46");
  EXPECT_EQ(payload.rx_timestamp, "RX Timestamp: " + state.PayloadStore[4].RxTime);
  // Past the payload count the payload line has no record to name.
  EXPECT_EQ(BuildRecordView(state, 30, kPayload).rx_timestamp, "RX Timestamp: ");
  // No span for a kind without frames.
  state.PayloadCount = 0;
  EXPECT_EQ(BuildRecordView(state, 1, kPayload).time_span, "");
  EXPECT_EQ(BuildRecordView(state, 1, kPayload).position, "#1 / 0");
}

// The span runs from the earliest to the latest receive time among the records that have one,
// whatever their order; texts that are no date and time (anything may come from the radio) and
// records without a time stay out of it.
TEST(RecordView, TimeSpanRunsFromTheEarliestToTheLatestTime) {
  struct Case {
    const char* name;
    std::vector<std::string> times;  // of the beacon records in the order they came
    const char* span;
  };
  const Case kCases[] = {
      {"first record without a time",
       {"", "2026-11-14 10:09:58"},
       "time span: 2026-11-14 10:09:58 -> 2026-11-14 10:09:58"},
      {"stamps out of order, one record without",
       {"2026-12-07 11:20:59", "", "2026-11-14 09:50:46", "2026-11-20 00:00:00"},
       "time span: 2026-11-14 09:50:46 -> 2026-12-07 11:20:59"},
      {"the earliest after the same time twice",
       {"2026-11-14 09:41:03", "2026-11-14 09:41:03", "2026-11-14 09:41:02"},
       "time span: 2026-11-14 09:41:02 -> 2026-11-14 09:41:03"},
      {"no record with a time", {"", ""}, "time span: none"},
      {"malformed times left out",
       {"'=HYPERLINK(?x?)", "2026-11-14 09:41:03", "2026-13-01 00:00:00", "2026-11-14 09:41:0?",
        "2026-11-14T09:41:04", "2026-11-14 09:41:03 UTC", "0999-01-01 00:00:00 "},
       "time span: 2026-11-14 09:41:03 -> 2026-11-14 09:41:03"},
      {"only malformed times", {"?]2?owned???       "}, "time span: none"},
      {"extremes",
       {"9999-12-31 23:59:59", "0001-01-01 00:00:00"},
       "time span: 0001-01-01 00:00:00 -> 9999-12-31 23:59:59"},
  };
  for (const Case& c : kCases) {
    DecoderState state;
    for (const std::string& time : c.times) {
      state.RxTimestamp = time;
      DecodeBeaconFrame(state);
    }
    EXPECT_EQ(TimeSpanText(state, kBeacon), c.span) << c.name;
    EXPECT_EQ(TimeSpanText(state, kPayload), "") << c.name;
    // An open command starts the span afresh.
    state.ResetCounts();
    state.RxTimestamp.clear();
    DecodeBeaconFrame(state);
    EXPECT_EQ(TimeSpanText(state, kBeacon), "time span: none") << c.name;
  }
}

TEST(RecordView, NumberWithoutAStoredRecordOfAKindShowsNoRecordOfIt) {
  DecoderState state = LoadSample();
  ExpectNoRecordOf(BuildRecordView(state, 27, kBeacon), kPayload);
  for (int number : {0, -1, 87, 1000, 1001}) {
    SCOPED_TRACE(number);
    ExpectNoRecordOf(BuildRecordView(state, number, kBeacon), kBeacon);
    ExpectNoRecordOf(BuildRecordView(state, number, kBeacon), kPayload);
  }
  // Counts reset as by an open command, then a shorter file: record 4 of the earlier file is
  // still stored but not shown.
  state.ResetCounts();
  for (int frame = 0; frame < 3; ++frame) DecodeBeaconFrame(state);
  ExpectNoRecordOf(BuildRecordView(state, 4, kBeacon), kBeacon);
  // Past the store capacity there is no record either, while the count goes on.
  state.BeaconStore.resize(1000, state.BeaconStore[60]);
  state.BeaconCount = 1005;
  EXPECT_EQ(BuildRecordView(state, 1000, kBeacon).beacon_frame, state.BeaconStore[60].FrameText);
  EXPECT_EQ(BuildRecordView(state, 1001, kBeacon).beacon_frame, "");
}

// Frame texts come from the radio: the window and the report show their control bytes, DEL and
// C1 bytes as "?" and keep Latin-1, one character for each byte, for both kinds.
TEST(RecordView, FrameTextsShowNoControlBytes) {
  DecoderState state;
  state.BeaconStore.resize(1);
  state.PayloadStore.resize(1);
  state.BeaconCount = state.PayloadCount = 1;
  state.BeaconStore[0].FrameText = std::string("TALPHEXz~>\r\nMode : 1\0\x1B[2J\x7F\x9B\xB5", 28);
  state.PayloadStore[0].FrameText = "VAVEz~>\x85\xA0\xFF\t";
  for (const Kind navigated : {kBeacon, kPayload}) {
    const RecordView view = BuildRecordView(state, 1, navigated);
    EXPECT_EQ(view.beacon_frame, "TALPHEXz~>??Mode : 1??[2J??\xB5");
    EXPECT_EQ(view.payload_frame, "VAVEz~>?\xA0\xFF?");
  }
}

// Lamp k shows bit k % 16 of status word k / 16, as the payload body carries the words: the body
// is built by the encoder, so a lamp reading the wrong byte or bit of a word is caught.
TEST(RecordView, LampsShowTheBitsOfTheStatusWords) {
  for (const std::array<std::uint16_t, 3>& words :
       {std::array<std::uint16_t, 3>{0x0001, 0x8000, 0x0100}, {0x00FF, 0xFF00, 0x1234}}) {
    PayloadRaw raw;
    raw.status = words;
    const auto body = EncodePayloadBody(raw);
    DecoderState state;
    std::copy(body.begin(), body.end(), state.FrameBytes.begin());
    DecodePayloadFrame(state);
    const RecordView view = BuildRecordView(state, 1, kPayload);
    for (int lamp = 0; lamp < kLampCount; ++lamp) {
      const bool lit = (words[lamp / 16] >> (lamp % 16) & 1) != 0;
      EXPECT_EQ(view.lamps[lamp], lit ? LampState::kSet : LampState::kClear) << "lamp " << lamp;
    }
  }
}

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Integers round half to even in 64 bits; two decimals round the 15-digit decimal with ties away
// from zero; the general form has at most 15 significant digits. A value that is not finite, or
// out of the 64-bit range, has no text.
TEST(TextForms, Examples) {
  using Form = std::string (*)(double, char);
  const Form integer = [](double value, char) { return IntegerText(value); };
  const std::tuple<Form, double, const char*> kCases[] = {
      {integer, 2.5, "2"},
      {integer, 3.5, "4"},
      {integer, -2.5, "-2"},
      {integer, -0.4, "0"},
      {integer, 2147483648, "2147483648"},
      {integer, -9223372036854775808.0, "-9223372036854775808"},  // -2^63
      {integer, 9223372036854774784.0, "9223372036854774784"},    // the largest below 2^63
      {integer, 9223372036854775808.0, ""},                       // 2^63
      {integer, -9223372036854777856.0, ""},
      {integer, kNaN, ""},
      {TwoDecimalText, -0.0, "0.00"},
      {TwoDecimalText, 0.125, "0.13"},
      {TwoDecimalText, -0.125, "-0.13"},
      {TwoDecimalText, 2.675, "2.68"},  // 2.67499999999999982236431605997495353221893310546875
      {TwoDecimalText, 1.005, "1.01"},
      {TwoDecimalText, -0.004, "0.00"},  // rounds to zero: no minus
      {TwoDecimalText, -0.005, "-0.01"},
      {TwoDecimalText, 9.995, "10.00"},
      {TwoDecimalText, 559 * 0.49 - 273.15, "0.76"},
      {TwoDecimalText, 1e20, "100000000000000000000.00"},
      {TwoDecimalText, 1.23456789012345678e17, "123456789012346000.00"},
      {TwoDecimalText, kInfinity, ""},
      {GeneralText, -0.0, "0"},
      {GeneralText, 4294967295, "4294967295"},
      {GeneralText, 0.1 + 0.2, "0.3"},
      {GeneralText, 1.0 / 3, "0.333333333333333"},
      {GeneralText, -kInfinity, ""},
      {ModeText, kNaN, ""},
      {[](double value, char) { return FixedText(value, 3, ','); }, -0.0004, "0,000"},
      {[](double value, char) { return FixedText(value, 0, '.'); }, 2.5, "2"},
      {[](double value, char) { return GroupedIntegerText(static_cast<long>(value)); }, -531480,
       "-531,480"},
      {[](double value, char) { return GroupedIntegerText(static_cast<long>(value)); }, 100, "100"},
  };
  for (const auto& [form, value, text] : kCases) EXPECT_EQ(form(value, '.'), text) << value;
  const char* const kModes[] = {"Deployment", "Burnwire",      "Idle", "Activity",
                                "Safe mode",  "Override mode", "6"};
  for (int mode = 0; mode <= 6; ++mode) EXPECT_EQ(ModeText(mode, '.'), kModes[mode]);
}

}  // namespace
}  // namespace talphex

namespace talphex {
namespace {

// A state that counted `beacons` and `payloads` frames and stored at most 1000 of each.
DecoderState Counted(std::int64_t beacons, std::int64_t payloads) {
  DecoderState state;
  state.BeaconCount = beacons;
  state.PayloadCount = payloads;
  state.BeaconStore.resize(static_cast<std::size_t>(std::min<std::int64_t>(beacons, 1000)));
  state.PayloadStore.resize(static_cast<std::size_t>(std::min<std::int64_t>(payloads, 1000)));
  return state;
}

// Regression: the status line was cut ("531480 beacon frames beyond the 1000 records a store
// keeps were not kept; 531480 payl..."), and a capture without beacon frames said nothing.
TEST(StatusTexts, ShortSentencesForWhatAnOpenGave) {
  const std::tuple<std::int64_t, std::int64_t, const char*, const char*> kCases[] = {
      {532480, 532480, "531,480 beacon and 531,480 payload frames not kept: a store holds 1000",
       ""},
      {1003, 0, "3 beacon frames not kept: a store holds 1000", ""},
      {0, 1001, "1 payload frame not kept: a store holds 1000",
       "no beacon frames: choose a VAVE field to see the 1000 payload records"},
      {1001, 1001, "1 beacon and 1 payload frames not kept: a store holds 1000", ""},
      {86, 26, "", ""},
      {0, 26, "", "no beacon frames: choose a VAVE field to see the 26 payload records"},
      {0, 0, "", "no TALPHEX or VAVE frames in /d/a.kss"},
  };
  for (const auto& [beacons, payloads, not_kept, nothing] : kCases) {
    const DecoderState state = Counted(beacons, payloads);
    EXPECT_EQ(NotKeptSummary(state), not_kept) << beacons;
    EXPECT_EQ(NothingToShowText(state, "/d/a.kss"), nothing) << beacons;
  }
}

// Regression: before any open command the count is empty ("#1 / "), not 0.
TEST(StatusTexts, PositionBeforeAndAfterTheFirstOpen) {
  const DecoderState state = Counted(0, 17);
  EXPECT_EQ(PositionText(state, 1, Kind::kBeacon, false), "#1 / ");
  EXPECT_EQ(PositionText(state, 1, Kind::kBeacon), "#1 / 0");
  EXPECT_EQ(PositionText(state, 3, Kind::kPayload), "#3 / 17");
}

}  // namespace
}  // namespace talphex
