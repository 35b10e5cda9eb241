// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/decode/frame_decoders.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/decode/field_readers.h"

namespace talphex {
namespace {

using enum Kind;
using Decoder = void (*)(DecoderState&);

Decoder DecoderOf(Kind kind) { return kind == kBeacon ? DecodeBeaconFrame : DecodePayloadFrame; }

TelemetryRecord DecodeOne(Kind kind, int offset, const std::vector<std::uint8_t>& bytes) {
  DecoderState state;
  std::copy(bytes.begin(), bytes.end(), state.FrameBytes.begin() + offset);
  DecoderOf(kind)(state);
  return state.Store(kind).at(0);
}

// Each case sets the bytes of one field in an otherwise zero body: the field's slot must read the
// expected value and no other slot may differ from the all-zero body. The cases are the examples
// of the field readers (signed and unsigned words, 12-bit, 10-bit and 15-bit counts) and the signed
// fields whose sign the sample never shows; the golden exports pin every other field's offset and
// scale.
TEST(FrameDecoders, FieldsFromTheirOffsetsAndNoOther) {
  const std::tuple<Kind, int, std::vector<std::uint8_t>, std::size_t, double> kCases[] = {
      {kBeacon, 0, {0x2A, 0x00}, 0, 42},
      {kBeacon, 2, {0x80, 0x2C, 0x26, 0x5C}, 1, 1546005632},
      {kBeacon, 7, {0x00, 0x80}, 3, 32768},
      {kBeacon, 9, {0x9A, 0x01}, 4, 4.00365},
      {kBeacon, 11, {0xFF, 0xFF}, 5, -0.244},
      {kBeacon, 19, {0x00, 0x80}, 9, -32768 * 0.244},
      {kBeacon, 21, {0x2F, 0x02}, 10, 0.76},
      {kBeacon, 31, {0xFF, 0xFF}, 15, 65535 * 0.49 - 273.15},
      {kBeacon, 33, {0x90, 0x01}, 16, 25},
      {kBeacon, 33, {0xFF, 0x03}, 16, -0.0625},
      {kBeacon, 37, {0x00, 0x02}, 18, -32},
      {kBeacon, 39, {0x90, 0xFD}, 19, 25},  // bits above the 10-bit field are ignored
      {kBeacon, 45, {0xFF, 0x7F}, 22, 32767 * 0.00025},
      {kBeacon, 51, {0x18, 0xFC}, 25, -0.25},
      {kBeacon, 53, {0x00, 0x80}, 26, -32768},
      {kBeacon, 63, {0x00, 0x00, 0x80, 0x3F}, 31, 10},
      {kPayload, 0, {0x09}, 46, 9},
      {kPayload, 1, {0x80}, 45, 128},
      {kPayload, 2, {0x90, 0x01}, 34, 25},
      {kPayload, 2, {0xF0, 0x0F}, 34, -1},
      {kPayload, 4, {0xFF, 0x0F}, 35, -0.0625},
      {kPayload, 6, {0xCD, 0x0C}, 36, 3.50026201},
      {kPayload, 6, {0x00, 0x40}, 36, -5.00006912 * 3.5},
      {kPayload, 6, {0xFF, 0x3F}, 36, 4.99976394 * 3.5},
      {kPayload, 6, {0x01, 0x80}, 36, 0.00030518 * 3.5},  // bit 15 ignored
      {kPayload, 10, {0xFF, 0x07}, 37, 127.9375},
      {kPayload, 12, {0xC4, 0x09}, 38, 25},
      {kPayload, 14, {0x00, 0x01}, 39, 0.35999744},
      {kPayload, 14, {0xFF, 0x7F}, 39, -0.00140624},
      {kPayload, 18, {0xFF, 0xF7}, 40, 127.9375},  // upper four bits ignored
      {kPayload, 20, {0x9C, 0xFF}, 41, -1},
      {kPayload, 22, {0x01, 0x00}, 42, 0.00140624},
      {kPayload, 24, {0x00, 0x80}, 43, 32768},
      {kPayload, 26, {0x10, 0x27, 0x00, 0x00}, 44, 10000},
      {kPayload, 26, {0xFF, 0xFF, 0xFF, 0xFF}, 44, 4294967295},
  };
  for (const auto& [kind, offset, bytes, field_slot, expected] : kCases) {
    const TelemetryRecord zero = DecodeOne(kind, 0, {});
    const TelemetryRecord record = DecodeOne(kind, offset, bytes);
    for (std::size_t slot = 0; slot < kValueSlots; ++slot) {
      EXPECT_NEAR(record.Value[slot], slot == field_slot ? expected : zero.Value[slot], 1e-9)
          << "slot " << slot << ", bytes at " << offset;
    }
  }
}

TEST(FrameDecoders, TextFieldsAndTheOtherKindsSlots) {
  for (const Kind kind : {kBeacon, kPayload}) {
    DecoderState state;
    state.BodyText = "<~body~>";
    state.FrameBytes.fill(0xA5);
    std::copy_n("\x80\x2C\x26\x5C", 4, state.FrameBytes.begin() + 2);  // on-board time 1546005632
    DecoderOf(kind)(state);
    const TelemetryRecord& record = state.Store(kind).at(0);
    EXPECT_EQ(record.FrameText, (kind == kBeacon ? "TALPHEX" : "VAVE") + state.BodyText);
    EXPECT_EQ(record.TimeText, kind == kBeacon ? "2018-12-28 14:00:32" : "");
    for (int slot = 0; slot < kValueSlots; ++slot) {
      if (KindOfField(slot) == kind) continue;
      EXPECT_EQ(record.Value[slot], 0) << slot;
    }
  }
}

TEST(FrameDecoders, FullStoreCountsTheFrameButKeepsItsRecords) {
  for (const Kind kind : {kBeacon, kPayload}) {
    DecoderState state;
    for (int frame = 1; frame <= 1001; ++frame) {
      state.RxTimestamp = std::to_string(frame);
      DecoderOf(kind)(state);
    }
    EXPECT_EQ(state.Count(kind), 1001);
    EXPECT_EQ(state.Store(kind).size(), 1000u);
    EXPECT_EQ(state.Store(kind)[999].RxTime, "1000");
  }
}

TEST(FieldReaders, BytesPastTheBufferReadAsZero) {
  FrameByteArray bytes{};
  bytes.front() = 0x34;
  bytes.back() = 0x12;
  EXPECT_EQ(ReadUInt16(bytes, 512), 0x12);
  EXPECT_EQ(ReadUInt32(bytes, -2), 0x340000);
}

TEST(BytesToValue, LittleEndianWithSignOnTheLastByte) {
  const std::uint8_t bytes[] = {0, 0x01, 0x80, 0xFF};
  EXPECT_EQ(BytesToValue(bytes, 1, 2, true), 0x8001);
  EXPECT_EQ(BytesToValue(bytes, 1, 2, false), 0x0001 - 0x8000);
  EXPECT_EQ(BytesToValue(bytes, 3, 3, false), 255) << "a single byte is always unsigned";
  EXPECT_EQ(BytesToValue(bytes, 1, 0, true), 0xFF8001) << "end below 1 reads to the last byte";
  EXPECT_EQ(BytesToValue(bytes, 2, 1, true), -1);
  EXPECT_EQ(BytesToValue(bytes, 1, 9, true), -1) << "end past the array";
}

// Midnight shows the date alone.
TEST(PosixToDateTime, KnownDates) {
  const std::pair<std::int64_t, const char*> kCases[] = {
      {0, "1970-01-01"},
      {1546000000, "2018-12-28 12:26:40"},
      {951782400, "2000-02-29"},
      {2147483648, "2038-01-19 03:14:08"},
      {4294967295, "2106-02-07 06:28:15"},
  };
  for (const auto& [seconds, text] : kCases) {
    EXPECT_EQ(DateTimeText(PosixToDateTime(seconds)), text) << seconds;
  }
}

// Message numbers of the stored beacon records after decoding beacons 1 to `decoded` (the
// message number is the record's number) into a store of `capacity`, with a reset after the
// first `reset_after` when that is set: a full store keeps its first records, or its newest
// ones when asked; records left from before a reset are overwritten, never shown.
TEST(FrameDecoders, FullStoreKeepsFirstOrNewest) {
  struct Case {
    std::size_t capacity;
    bool keep_newest;
    int reset_after;  // 0: no reset
    int decoded;
    std::vector<double> stored;
    std::int64_t dropped;
  };
  const Case kCases[] = {
      {3, false, 0, 5, {1, 2, 3}, 0},
      {3, true, 0, 2, {1, 2}, 0},
      {3, true, 0, 3, {1, 2, 3}, 0},
      {3, true, 0, 4, {2, 3, 4}, 1},
      {3, true, 0, 10, {8, 9, 10}, 7},
      {1, true, 0, 3, {3}, 2},
      // After the reset the numbers count from 1 again: beacons 6, 7 are records 1, 2.
      {3, true, 5, 7, {6, 7}, 0},
      {3, true, 2, 8, {6, 7, 8}, 3},
  };
  for (const Case& c : kCases) {
    DecoderState state;
    state.store_capacity = c.capacity;
    state.keep_newest = c.keep_newest;
    for (int number = 1; number <= c.decoded; ++number) {
      if (number == c.reset_after + 1 && c.reset_after > 0) state.ResetCounts();
      state.FrameBytes.fill(0);
      state.FrameBytes[0] = static_cast<std::uint8_t>(number);
      DecodeBeaconFrame(state);
    }
    std::vector<double> stored;
    for (std::int64_t n = state.FirstStored(kBeacon); n < state.FirstStored(kBeacon) + 10; ++n) {
      if (const TelemetryRecord* record = state.StoredRecord(kBeacon, n)) {
        stored.push_back(record->Value[0]);
      }
    }
    const std::string name = std::to_string(c.capacity) + (c.keep_newest ? " newest " : " first ") +
                             std::to_string(c.decoded);
    EXPECT_EQ(stored, c.stored) << name;
    EXPECT_EQ(state.StoredCount(kBeacon), c.stored.size()) << name;
    EXPECT_EQ(state.Dropped(kBeacon), c.dropped) << name;
    // Dropped records and those past the count are not found by their numbers.
    EXPECT_EQ(state.StoredRecord(kBeacon, state.FirstStored(kBeacon) - 1), nullptr) << name;
    EXPECT_EQ(state.StoredRecord(kBeacon, state.BeaconCount + 1), nullptr) << name;
  }
}

}  // namespace
}  // namespace talphex
