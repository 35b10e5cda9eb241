#include "decode/field_readers.h"

#include <gtest/gtest.h>

namespace talphex {
namespace {

FrameByteArray BytesAt(int offset, std::initializer_list<std::uint8_t> bytes) {
  FrameByteArray frame{};
  std::copy(bytes.begin(), bytes.end(), frame.begin() + offset);
  return frame;
}

TEST(FieldReaders, TwoByteFields) {
  constexpr double kVolt = 305.18 / 1000000;
  constexpr double kAmp = 7.04 * 19.975 / 1000000;
  struct Case {
    double (*reader)(const FrameByteArray&, int);
    std::uint8_t low, high;
    double expected;
  };
  constexpr Case kCases[] = {
      {ReadInt16, 0xFF, 0x7F, 32767},
      {ReadUInt16, 0xFF, 0x7F, 32767},
      {ReadInt16, 0x00, 0x80, -32768},
      {ReadUInt16, 0x00, 0x80, 32768},
      {ReadSigned12, 0xFF, 0x0F, -0.0625},
      {ReadSigned12, 0xFF, 0x07, 127.9375},
      {ReadSigned12, 0xFF, 0xF7, 127.9375},  // upper four bits ignored
      {ReadSigned10, 0xFF, 0x03, -0.25},
      {ReadSigned10, 0x00, 0x02, -128},
      {ReadVoltage15, 0x00, 0x40, -16384 * kVolt},
      {ReadVoltage15, 0xFF, 0x3F, 16383 * kVolt},
      {ReadVoltage15, 0x01, 0x80, kVolt},  // bit 15 ignored
      {ReadCurrent15, 0x01, 0x00, kAmp},
      {ReadCurrent15, 0xFF, 0x7F, -kAmp},
  };
  for (const Case& c : kCases) {
    EXPECT_DOUBLE_EQ(c.reader(BytesAt(40, {c.low, c.high}), 40), c.expected)
        << std::hex << int{c.high} << " " << int{c.low};
  }
}

TEST(FieldReaders, FourByteFieldsAndBytesPastTheBuffer) {
  EXPECT_EQ(ReadUInt32(BytesAt(2, {0xFF, 0xFF, 0xFF, 0xFF}), 2), 4294967295.0);
  EXPECT_EQ(ReadUInt32(BytesAt(2, {0x80, 0x2C, 0x26, 0x5C}), 2), 1546005632.0);
  EXPECT_EQ(ReadSingle(BytesAt(63, {0x00, 0x00, 0x80, 0x3F}), 63), 1.0f);
  EXPECT_EQ(ReadUInt16(BytesAt(512, {0x34}), 512), 0x34);
  EXPECT_EQ(ReadUInt32(BytesAt(0, {0x34}), -2), 0x340000);
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
      {-1, "1969-12-31 23:59:59"},
  };
  for (const auto& [seconds, text] : kCases) {
    EXPECT_EQ(DateTimeText(PosixToDateTime(seconds)), text) << seconds;
  }
}

}  // namespace
}  // namespace talphex
