#include "ui/record_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "capture/capture_loader.h"
#include "capture/capture_writer.h"

namespace talphex {
namespace {

using enum Kind;

std::string Stamp(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "2026-11-14 09:%02d:%02d", 40 + i / 60, i % 60);
  return text;
}

// Loads a pass with `beacons` beacon and `payloads` payload frames; frame i of either kind follows
// timestamp i and carries i in its message number or supervisor time.
void LoadPass(DecoderState& state, int beacons, int payloads) {
  CaptureWriter writer;
  for (int i = 1; i <= std::max(beacons, payloads); ++i) {
    writer.AddTimestamp(Stamp(i));
    const auto number = static_cast<std::uint16_t>(i);
    if (i <= beacons) {
      writer.AddFrame(kBeaconMarker,
                      EncodeBeaconBody({.message_number = number, .posix_time = 1794649260}));
    }
    if (i <= payloads) {
      writer.AddFrame(kPayloadMarker, EncodePayloadBody({.supervisor_time = number}));
    }
  }
  const std::string& bytes = writer.bytes();
  const std::span<const std::uint8_t> span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                           bytes.size());
  ASSERT_EQ(LoadCaptureBytes(state, span, "pass.kss").skipped_frames, 0);
}

DecoderState Pass(int beacons, int payloads) {
  DecoderState state;
  LoadPass(state, beacons, payloads);
  return state;
}

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
  const DecoderState state = Pass(120, 17);
  const RecordView view = BuildRecordView(state, 5, kBeacon);
  EXPECT_EQ(view.values[0], "5");
  EXPECT_EQ(view.values[43], "5");
  EXPECT_EQ(view.beacon_frame, state.BeaconStore[4].FrameText);
  EXPECT_EQ(view.payload_frame, state.PayloadStore[4].FrameText);
  EXPECT_EQ(view.posix_time, "Posix Time: 2026-11-14 09:41:00");
  for (LampState lamp : view.lamps) EXPECT_EQ(lamp, LampState::kClear);
  EXPECT_EQ(view.position, "#5 / 120");
  EXPECT_EQ(view.time_span, "time span: " + Stamp(1) + " -> " + Stamp(120));
  EXPECT_EQ(view.rx_timestamp, "RX Timestamp: " + Stamp(5));
  const RecordView payload = BuildRecordView(state, 5, kPayload);
  EXPECT_EQ(payload.position, "#5 / 17");
  EXPECT_EQ(payload.time_span, "time span: " + Stamp(1) + " -> " + Stamp(17));
  EXPECT_EQ(payload.rx_timestamp, "RX Timestamp: " + Stamp(5));
  // Past the payload count the payload line has no record to name, the beacon line still has.
  EXPECT_EQ(BuildRecordView(state, 30, kPayload).rx_timestamp, "RX Timestamp: ");
  EXPECT_EQ(BuildRecordView(state, 30, kBeacon).rx_timestamp, "RX Timestamp: " + Stamp(30));
  // No span for a kind without frames.
  EXPECT_EQ(BuildRecordView(Pass(4, 0), 1, kPayload).time_span, "");
  EXPECT_EQ(BuildRecordView(Pass(4, 0), 1, kPayload).position, "#1 / 0");
}

TEST(RecordView, NumberWithoutAStoredRecordOfAKindShowsNoRecordOfIt) {
  DecoderState state = Pass(120, 17);
  const RecordView at_18 = BuildRecordView(state, 18, kBeacon);
  EXPECT_EQ(at_18.values[0], "18");
  ExpectNoRecordOf(at_18, kPayload);
  for (int number : {0, -1, 121, 1000, 1001}) {
    SCOPED_TRACE(number);
    const RecordView view = BuildRecordView(state, number, kBeacon);
    ExpectNoRecordOf(view, kBeacon);
    ExpectNoRecordOf(view, kPayload);
    EXPECT_EQ(view.rx_timestamp, "RX Timestamp: ");
  }
  // Counts reset as by an open command, then a shorter file: record 4 of the earlier file is
  // still stored but not shown.
  state.ResetCounts();
  LoadPass(state, 3, 2);
  ASSERT_EQ(state.BeaconStore[3].Value[0], 4);
  ExpectNoRecordOf(BuildRecordView(state, 4, kBeacon), kBeacon);
  // Past the store capacity there is no record either, while the count goes on.
  state.BeaconStore.resize(1000, state.BeaconStore[2]);
  state.BeaconCount = 1005;
  EXPECT_EQ(BuildRecordView(state, 1000, kBeacon).values[0], "3");
  ExpectNoRecordOf(BuildRecordView(state, 1001, kBeacon), kBeacon);
  EXPECT_EQ(BuildRecordView(state, 1001, kBeacon).position, "#1001 / 1005");
}

TEST(RecordView, EachFieldInItsTextForm) {
  DecoderState state = Pass(1, 1);
  state.BeaconStore[0].Value.fill(2.5);
  state.PayloadStore[0].Value.fill(2.5);
  const RecordView view = BuildRecordView(state, 1, kBeacon);
  const RecordView comma = BuildRecordView(state, 1, kBeacon, ',');
  for (int field = 0; field < kFieldCount; ++field) {
    std::string expected = "2.50";
    if (field == 0 || field == 1 || field == 3 || (field >= 31 && field <= 33)) expected = "2";
    if (field == 2 || field == 43 || field == 44) expected = "2.5";  // mode and general form
    EXPECT_EQ(view.values[field], expected) << "field " << field;
    std::replace(expected.begin(), expected.end(), '.', ',');
    EXPECT_EQ(comma.values[field], expected) << "field " << field;
  }
  state.BeaconStore[0].Value[2] = 5;
  EXPECT_EQ(BuildRecordView(state, 1, kBeacon).values[2], "Override mode");
}

TEST(RecordView, LampsShowTheBitsOfTheirStatusByte) {
  // Lamp columns read slots 46, 45, 48, 47, 50, 49; bit k of the byte drives row k.
  constexpr int kColumnSlots[6] = {46, 45, 48, 47, 50, 49};
  for (int column = 0; column < 6; ++column) {
    for (int flags : {9, 255, 256, 128}) {
      DecoderState state = Pass(1, 1);
      state.PayloadStore[0].Value[kColumnSlots[column]] = flags;
      const RecordView view = BuildRecordView(state, 1, kPayload);
      for (int lamp = 0; lamp < kLampCount; ++lamp) {
        const bool lit = lamp / 8 == column && (flags >> (lamp % 8) & 1) != 0;
        EXPECT_EQ(view.lamps[lamp], lit ? LampState::kSet : LampState::kClear)
            << "slot " << kColumnSlots[column] << " flags " << flags << " lamp " << lamp;
      }
    }
  }
}

}  // namespace
}  // namespace talphex
