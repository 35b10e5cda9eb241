#include "ui/record_view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

#include "capture/capture_loader.h"
#include "capture/capture_writer.h"

namespace talphex {
namespace {

std::string Stamp(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "2026-11-14 09:%02d:%02d", 40 + i / 60, i % 60);
  return text;
}

// A pass with `beacons` beacon frames and `payloads` payload frames; frame i of either kind
// follows timestamp i and carries i in its message number or supervisor time.
std::string Pass(int beacons, int payloads) {
  CaptureWriter writer;
  for (int i = 1; i <= std::max(beacons, payloads); ++i) {
    writer.AddTimestamp(Stamp(i));
    if (i <= beacons) {
      BeaconRaw beacon;
      beacon.message_number = static_cast<std::uint16_t>(i);
      beacon.posix_time = 1794649260;
      writer.AddFrame(kBeaconMarker, EncodeBeaconBody(beacon));
    }
    if (i <= payloads) {
      PayloadRaw payload;
      payload.supervisor_time = static_cast<std::uint16_t>(i);
      writer.AddFrame(kPayloadMarker, EncodePayloadBody(payload));
    }
  }
  return writer.bytes();
}

void LoadInto(DecoderState& state, const std::string& capture) {
  const LoadResult result = LoadCaptureBytes(
      state, {reinterpret_cast<const std::uint8_t*>(capture.data()), capture.size()}, "pass.kss");
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.skipped_frames, 0);
}

DecoderState LoadPass(int beacons, int payloads) {
  DecoderState state;
  LoadInto(state, Pass(beacons, payloads));
  EXPECT_EQ(state.BeaconCount, beacons);
  EXPECT_EQ(state.PayloadCount, payloads);
  return state;
}

void ExpectNoRecordOf(const RecordView& view, Kind kind, const std::string& context) {
  for (int field = 0; field < kFieldCount; ++field) {
    if (KindOfField(field) == kind) {
      EXPECT_EQ(view.values[static_cast<std::size_t>(field)], "") << context << " field " << field;
    }
  }
  if (kind == Kind::kBeacon) {
    EXPECT_EQ(view.beacon_frame, "") << context;
    EXPECT_EQ(view.posix_time, "Posix Time: ") << context;
  } else {
    EXPECT_EQ(view.payload_frame, "") << context;
    for (LampState lamp : view.lamps) EXPECT_EQ(lamp, LampState::kNoRecord) << context;
  }
}

TEST(RecordView, ShowsBothKindsAtTheSameNumber) {
  const DecoderState state = LoadPass(120, 17);
  const RecordView view = BuildRecordView(state, 5, Kind::kBeacon);
  EXPECT_EQ(view.values[0], "5");
  EXPECT_EQ(view.values[43], "5");
  EXPECT_EQ(view.beacon_frame, state.BeaconStore[4].FrameText);
  EXPECT_EQ(view.payload_frame, state.PayloadStore[4].FrameText);
  EXPECT_EQ(view.beacon_frame.substr(0, 7), "TALPHEX");
  EXPECT_EQ(view.payload_frame.substr(0, 4), "VAVE");
  EXPECT_EQ(view.posix_time, "Posix Time: 2026-11-14 09:41:00");
  EXPECT_EQ(view.position, "#5 / 120");
  for (LampState lamp : view.lamps) EXPECT_EQ(lamp, LampState::kClear);
}

TEST(RecordView, RecordAboveTheCountOfAKindShowsNoRecordOfIt) {
  const DecoderState state = LoadPass(120, 17);
  const RecordView at_18 = BuildRecordView(state, 18, Kind::kBeacon);
  EXPECT_EQ(at_18.values[0], "18");
  ExpectNoRecordOf(at_18, Kind::kPayload, "record 18");
  EXPECT_EQ(at_18.position, "#18 / 120");

  for (int number : {0, -1, 121, 1000, 1001}) {
    const RecordView view = BuildRecordView(state, number, Kind::kBeacon);
    ExpectNoRecordOf(view, Kind::kBeacon, "record " + std::to_string(number));
    ExpectNoRecordOf(view, Kind::kPayload, "record " + std::to_string(number));
    EXPECT_EQ(view.rx_timestamp, "RX Timestamp: ") << number;
  }
}

TEST(RecordView, RecordsOfAnEarlierFileBeyondTheCountAreNotShown) {
  DecoderState state = LoadPass(10, 10);
  // Counts reset as by an open command, then a shorter file refills the first records.
  state.ResetCounts();
  LoadInto(state, Pass(3, 2));
  ASSERT_EQ(state.BeaconStore[3].Value[0], 4) << "the earlier file's record is still stored";
  const RecordView view = BuildRecordView(state, 4, Kind::kBeacon);
  ExpectNoRecordOf(view, Kind::kBeacon, "record 4");
  ExpectNoRecordOf(view, Kind::kPayload, "record 4");
}

TEST(RecordView, StoreCapacityBoundsTheRecordsShown) {
  DecoderState state = LoadPass(3, 0);
  state.BeaconStore.resize(1000, state.BeaconStore[2]);
  state.BeaconCount = 1005;
  EXPECT_EQ(BuildRecordView(state, 1000, Kind::kBeacon).values[0], "3");
  ExpectNoRecordOf(BuildRecordView(state, 1001, Kind::kBeacon), Kind::kBeacon, "record 1001");
  EXPECT_EQ(BuildRecordView(state, 1001, Kind::kBeacon).position, "#1001 / 1005");
}

TEST(RecordView, EachFieldInItsTextForm) {
  DecoderState state = LoadPass(1, 1);
  state.BeaconStore[0].Value.fill(2.5);
  state.PayloadStore[0].Value.fill(2.5);
  const RecordView view = BuildRecordView(state, 1, Kind::kBeacon);
  for (int field = 0; field < kFieldCount; ++field) {
    const char* expected = "2.50";
    if (field == 0 || field == 1 || field == 3 || (field >= 31 && field <= 33)) expected = "2";
    if (field == 2 || field == 43 || field == 44) expected = "2.5";  // mode and general form
    EXPECT_EQ(view.values[static_cast<std::size_t>(field)], expected) << "field " << field;
  }
  const RecordView comma = BuildRecordView(state, 1, Kind::kBeacon, ',');
  EXPECT_EQ(comma.values[4], "2,50");
  EXPECT_EQ(comma.values[36], "2,50");
  EXPECT_EQ(comma.values[44], "2,5");
  EXPECT_EQ(comma.values[2], "2,5");
  EXPECT_EQ(comma.values[0], "2");
}

TEST(RecordView, ValueTextExamples) {
  struct Case {
    int field;
    double value;
    const char* text;
  };
  const Case kCases[] = {
      {0, 3.5, "4"},
      {1, -0.4, "0"},
      {1, 4294967296, "4294967296"},
      {1, 4611686018427387904.0, "4611686018427387904"},
      {3, 2147483648, "2147483648"},
      {31, -2.5, "-2"},
      {2, 5, "Override mode"},
      {2, 0, "Deployment"},
      {2, 6, "6"},
      {2, 2.5, "2.5"},
      {4, 4.00365, "4.00"},
      {10, 0.125, "0.13"},
      {17, -0.125, "-0.13"},
      {30, 2.675, "2.68"},
      {36, 3.50026201, "3.50"},
      {39, -0.00140624, "0.00"},
      {43, 65535, "65535"},
      {44, 4294967295, "4294967295"},
      // Values no frame gives, but a text must never be left from an earlier record.
      {1, 1e19, ""},
      {31, std::numeric_limits<double>::quiet_NaN(), ""},
      {20, std::numeric_limits<double>::infinity(), ""},
      {44, -std::numeric_limits<double>::infinity(), ""},
  };
  DecoderState state = LoadPass(1, 1);
  for (const Case& c : kCases) {
    TelemetryRecord& record = state.Store(KindOfField(c.field))[0];
    record.Value[static_cast<std::size_t>(c.field)] = c.value;
    EXPECT_EQ(BuildRecordView(state, 1, Kind::kBeacon).values[static_cast<std::size_t>(c.field)],
              c.text)
        << "field " << c.field << " value " << c.value;
  }
}

TEST(RecordView, LampsShowTheBitsOfTheirStatusByte) {
  // Lamp columns read slots 46, 45, 48, 47, 50, 49; bit k of the byte drives row k.
  constexpr int kColumnSlots[6] = {46, 45, 48, 47, 50, 49};
  for (int column = 0; column < 6; ++column) {
    for (double flags : {9.0, 255.0, 0.0, 128.0}) {
      DecoderState state = LoadPass(1, 1);
      state.PayloadStore[0].Value[static_cast<std::size_t>(kColumnSlots[column])] = flags;
      const RecordView view = BuildRecordView(state, 1, Kind::kPayload);
      const auto bits = static_cast<int>(flags);
      for (int lamp = 0; lamp < kLampCount; ++lamp) {
        const bool lit = lamp / 8 == column && (bits >> (lamp % 8) & 1) != 0;
        EXPECT_EQ(view.lamps[static_cast<std::size_t>(lamp)],
                  lit ? LampState::kSet : LampState::kClear)
            << "slot " << kColumnSlots[column] << " flags " << flags << " lamp " << lamp;
      }
    }
  }
}

TEST(RecordView, StatusWordFromAFrame) {
  // Status word 0 = 0x8009: flags 0 (S_ERROR), 3 (CH1_ON) and 15 (LAS_4_ENA) are set.
  CaptureWriter writer;
  PayloadRaw payload;
  payload.status = {0x8009, 0x0000, 0x2001};
  writer.AddFrame(kPayloadMarker, EncodePayloadBody(payload));
  DecoderState state;
  LoadInto(state, writer.bytes());
  const RecordView view = BuildRecordView(state, 1, Kind::kPayload);
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    const bool set = lamp == 0 || lamp == 3 || lamp == 15 || lamp == 32 || lamp == 45;
    EXPECT_EQ(view.lamps[static_cast<std::size_t>(lamp)], set ? LampState::kSet : LampState::kClear)
        << "lamp " << lamp;
  }
}

TEST(RecordView, SharedLinesFollowTheNavigatedKind) {
  const DecoderState state = LoadPass(120, 17);
  const RecordView beacon = BuildRecordView(state, 5, Kind::kBeacon);
  EXPECT_EQ(beacon.time_span, "time span: " + Stamp(1) + " -> " + Stamp(120));
  EXPECT_EQ(beacon.rx_timestamp, "RX Timestamp: " + Stamp(5));
  const RecordView payload = BuildRecordView(state, 5, Kind::kPayload);
  EXPECT_EQ(payload.time_span, "time span: " + Stamp(1) + " -> " + Stamp(17));
  EXPECT_EQ(payload.rx_timestamp, "RX Timestamp: " + Stamp(5));
  EXPECT_EQ(payload.position, "#5 / 17");
  // Past the payload count the payload line has no record to name, the beacon line still has.
  EXPECT_EQ(BuildRecordView(state, 30, Kind::kPayload).rx_timestamp, "RX Timestamp: ");
  EXPECT_EQ(BuildRecordView(state, 30, Kind::kBeacon).rx_timestamp, "RX Timestamp: " + Stamp(30));
}

TEST(RecordView, NoTimeSpanWithoutFramesOfTheKind) {
  const DecoderState state = LoadPass(4, 0);
  EXPECT_EQ(BuildRecordView(state, 1, Kind::kPayload).time_span, "");
  EXPECT_EQ(BuildRecordView(state, 1, Kind::kPayload).position, "#1 / 0");
  EXPECT_EQ(BuildRecordView(DecoderState{}, 1, Kind::kBeacon).time_span, "");
}

}  // namespace
}  // namespace talphex
