#include "decode/frame_decoders.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace talphex {
namespace {

struct SlotCase {
  int offset;
  std::vector<std::uint8_t> bytes;
  int slot;
  double expected;
};

using Decoder = void (*)(DecoderState&);

TelemetryRecord DecodeOne(Decoder decode, const SlotCase* c, Kind kind) {
  DecoderState state;
  if (c != nullptr) {
    for (std::size_t i = 0; i < c->bytes.size(); ++i) {
      state.FrameBytes[static_cast<std::size_t>(c->offset) + i] = c->bytes[i];
    }
  }
  decode(state);
  return state.Store(kind)[0];
}

// Each case sets the bytes of one field in an otherwise zero body: the field's slot must read the
// expected value and no other slot may differ from the all-zero body.
void ExpectOnlySlotChanges(Decoder decode, Kind kind, const std::vector<SlotCase>& cases) {
  const TelemetryRecord zero = DecodeOne(decode, nullptr, kind);
  for (const SlotCase& c : cases) {
    const TelemetryRecord record = DecodeOne(decode, &c, kind);
    EXPECT_NEAR(record.Value[static_cast<std::size_t>(c.slot)], c.expected, 1e-9)
        << "slot " << c.slot << " at offset " << c.offset;
    for (int slot = 0; slot < kValueSlots; ++slot) {
      if (slot == c.slot) continue;
      EXPECT_EQ(record.Value[static_cast<std::size_t>(slot)],
                zero.Value[static_cast<std::size_t>(slot)])
          << "slot " << slot << " changed by bytes at offset " << c.offset;
    }
  }
}

TEST(DecodeBeaconFrame, EveryFieldFromItsOffset) {
  const std::vector<SlotCase> kCases = {
      {0, {0x2A, 0x00}, 0, 42},
      {2, {0x80, 0x2C, 0x26, 0x5C}, 1, 1546005632},
      {2, {0xFF, 0xFF, 0xFF, 0xFF}, 1, 4294967295},
      {6, {0x05}, 2, 5},
      {6, {0xFF}, 2, 255},
      {7, {0x34, 0x12}, 3, 0x1234},
      {9, {0x9A, 0x01}, 4, 4.00365},
      {11, {0xFF, 0xFF}, 5, -0.244},
      {13, {0x0A, 0x00}, 6, 2.44},
      {15, {0x0A, 0x00}, 7, 2.44},
      {17, {0x0A, 0x00}, 8, 2.44},
      {19, {0x00, 0x80}, 9, -32768 * 0.244},
      {21, {0x2F, 0x02}, 10, 0.76},
      {23, {0x2F, 0x02}, 11, 0.76},
      {25, {0x2F, 0x02}, 12, 0.76},
      {27, {0x2F, 0x02}, 13, 0.76},
      {29, {0x2F, 0x02}, 14, 0.76},
      {31, {0xFF, 0xFF}, 15, 65535 * 0.49 - 273.15},
      {33, {0x90, 0x01}, 16, 25},
      {33, {0xFF, 0x03}, 16, -0.0625},
      {35, {0x90, 0x01}, 17, 25},
      {37, {0x00, 0x02}, 18, -32},
      {39, {0x90, 0xFD}, 19, 25},  // bits above the 10-bit field are ignored
      {41, {0x90, 0x01}, 20, 25},
      {43, {0x9A, 0x01}, 21, 4.00365},
      {45, {0xE8, 0x03}, 22, 0.25},
      {47, {0xE8, 0x03}, 23, 4.89},
      {49, {0xE8, 0x03}, 24, 0.25},
      {51, {0x18, 0xFC}, 25, -0.25},
      {53, {0xFE, 0xFF}, 26, -2},
      {55, {0xE8, 0x03}, 27, 0.244},
      {57, {0xE8, 0x03}, 28, 0.0651},
      {59, {0xE8, 0x03}, 29, 0.195},
      {61, {0xE8, 0x03}, 30, 2.5},
      {63, {0x00, 0x00, 0x80, 0x3F}, 31, 10},
      {67, {0x00, 0x00, 0x20, 0xC0}, 32, -25},
      {71, {0x00, 0x00, 0x00, 0x3F}, 33, 5},
  };
  ExpectOnlySlotChanges(DecodeBeaconFrame, Kind::kBeacon, kCases);
}

TEST(DecodePayloadFrame, EveryFieldFromItsOffset) {
  const std::vector<SlotCase> kCases = {
      {0, {0x09}, 46, 9},
      {1, {0x80}, 45, 128},
      {2, {0x90, 0x01}, 34, 25},
      {2, {0xF0, 0x0F}, 34, -1},
      {4, {0x90, 0x01}, 35, 25},
      {6, {0xCD, 0x0C}, 36, 3.50026201},
      {6, {0x00, 0x40}, 36, -16384 * 305.18 / 1000000 * 3.5},
      {8, {0x12}, 48, 0x12},
      {9, {0x34}, 47, 0x34},
      {10, {0xF0, 0x0F}, 37, -1},
      {12, {0xC4, 0x09}, 38, 25},
      {14, {0x00, 0x01}, 39, 0.35999744},
      {14, {0xFF, 0x7F}, 39, -0.00140624},
      {16, {0xAB}, 50, 0xAB},
      {17, {0xCD}, 49, 0xCD},
      {18, {0x90, 0x01}, 40, 25},
      {20, {0x9C, 0xFF}, 41, -1},
      {22, {0x00, 0x01}, 42, 0.35999744},
      {24, {0xFF, 0xFF}, 43, 65535},
      {26, {0x10, 0x27, 0x00, 0x00}, 44, 10000},
      {26, {0xFF, 0xFF, 0xFF, 0xFF}, 44, 4294967295},
  };
  ExpectOnlySlotChanges(DecodePayloadFrame, Kind::kPayload, kCases);
}

TEST(DecodeBeaconFrame, TextFieldsAndUnusedSlots) {
  DecoderState state;
  state.RxTimestamp = "2018-12-28 14:00:35";
  state.BodyText = "<~body~>";
  for (std::size_t i = 0; i < 75; ++i) state.FrameBytes[i] = 0xA5;
  state.FrameBytes[2] = 0x80;
  state.FrameBytes[3] = 0x2C;
  state.FrameBytes[4] = 0x26;
  state.FrameBytes[5] = 0x5C;
  DecodeBeaconFrame(state);
  ASSERT_EQ(state.BeaconCount, 1);
  EXPECT_EQ(state.PayloadCount, 0);
  const TelemetryRecord& record = state.BeaconStore[0];
  EXPECT_EQ(record.RxTime, "2018-12-28 14:00:35");
  EXPECT_EQ(record.TimeText, "2018-12-28 14:00:32");
  EXPECT_EQ(record.FrameText, "TALPHEX<~body~>");
  for (int slot = kFirstPayloadSlot; slot < kValueSlots; ++slot) {
    EXPECT_EQ(record.Value[static_cast<std::size_t>(slot)], 0) << slot;
  }
}

TEST(DecodeBeaconFrame, TimeTextOfMidnightAndOfTimesAfter2038) {
  struct Case {
    std::vector<std::uint8_t> posix;
    const char* text;
  };
  const Case kCases[] = {
      {{0, 0, 0, 0}, "1970-01-01"},
      {{0xFF, 0xFF, 0xFF, 0xFF}, "2106-02-07 06:28:15"},
      {{0x00, 0x00, 0x00, 0x80}, "2038-01-19 03:14:08"},
  };
  for (const Case& c : kCases) {
    DecoderState state;
    for (std::size_t i = 0; i < 4; ++i) state.FrameBytes[2 + i] = c.posix[i];
    DecodeBeaconFrame(state);
    EXPECT_EQ(state.BeaconStore[0].TimeText, c.text);
  }
}

TEST(DecodePayloadFrame, TextFieldsAndUnusedSlots) {
  DecoderState state;
  state.RxTimestamp = "2018-12-28 14:00:40";
  state.BodyText = "z~>";
  state.FrameBytes.fill(0xA5);
  DecodePayloadFrame(state);
  ASSERT_EQ(state.PayloadCount, 1);
  EXPECT_EQ(state.BeaconCount, 0);
  const TelemetryRecord& record = state.PayloadStore[0];
  EXPECT_EQ(record.RxTime, "2018-12-28 14:00:40");
  EXPECT_EQ(record.TimeText, "");
  EXPECT_EQ(record.FrameText, "VAVEz~>");
  for (int slot = 0; slot < kFirstPayloadSlot; ++slot) {
    EXPECT_EQ(record.Value[static_cast<std::size_t>(slot)], 0) << slot;
  }
}

TEST(FrameDecoders, FullStoreCountsTheFrameButKeepsItsRecords) {
  for (Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    const Decoder decode = kind == Kind::kBeacon ? DecodeBeaconFrame : DecodePayloadFrame;
    DecoderState state;
    std::int64_t& count = kind == Kind::kBeacon ? state.BeaconCount : state.PayloadCount;
    count = 999;
    state.FrameBytes[1] = 0x11;
    decode(state);
    ASSERT_EQ(count, 1000);
    const TelemetryRecord last = state.Store(kind)[999];
    state.FrameBytes[1] = 0x22;
    state.RxTimestamp = "later";
    decode(state);
    EXPECT_EQ(count, 1001);
    EXPECT_EQ(state.Store(kind).size(), 1000u);
    EXPECT_EQ(state.StoredCount(kind), 1000u);
    EXPECT_EQ(state.Store(kind)[999].Value, last.Value);
    EXPECT_EQ(state.Store(kind)[999].RxTime, last.RxTime);
  }
}

TEST(FrameDecoders, RecordIsClearedBeforeItIsWritten) {
  // A second file refills index 0; nothing of the first file's record may remain.
  DecoderState state;
  state.FrameBytes.fill(0xFF);
  state.RxTimestamp = "first";
  DecodeBeaconFrame(state);
  DecodePayloadFrame(state);
  state.ResetCounts();
  state.FrameBytes.fill(0);
  state.RxTimestamp.clear();
  state.BodyText.clear();
  DecodeBeaconFrame(state);
  DecodePayloadFrame(state);
  DecoderState fresh;
  DecodeBeaconFrame(fresh);
  DecodePayloadFrame(fresh);
  for (Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    EXPECT_EQ(state.Store(kind)[0].Value, fresh.Store(kind)[0].Value);
    EXPECT_EQ(state.Store(kind)[0].RxTime, "");
    EXPECT_EQ(state.Store(kind)[0].TimeText, fresh.Store(kind)[0].TimeText);
  }
}

}  // namespace
}  // namespace talphex
