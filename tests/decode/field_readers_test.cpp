#include "decode/field_readers.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace talphex {
namespace {

FrameByteArray BytesAt(int offset, std::initializer_list<std::uint8_t> bytes) {
  FrameByteArray frame{};
  int at = offset;
  for (std::uint8_t b : bytes) frame[static_cast<std::size_t>(at++)] = b;
  return frame;
}

using Reader = double (*)(const FrameByteArray&, int);

struct ReaderCase {
  const char* name;
  Reader reader;
  std::uint8_t low;
  std::uint8_t high;
  double expected;
};

TEST(FieldReaders, TwoByteFieldsTable) {
  constexpr ReaderCase kCases[] = {
      {"Int16 max", ReadInt16, 0xFF, 0x7F, 32767},
      {"UInt16 of the same bytes", ReadUInt16, 0xFF, 0x7F, 32767},
      {"Int16 min", ReadInt16, 0x00, 0x80, -32768},
      {"UInt16 high bit", ReadUInt16, 0x00, 0x80, 32768},
      {"Signed12 all ones", ReadSigned12, 0xFF, 0x0F, -0.0625},
      {"Signed12 largest", ReadSigned12, 0xFF, 0x07, 127.9375},
      {"Signed12 ignores upper bits", ReadSigned12, 0xFF, 0xF7, 127.9375},
      {"Signed10 all ones", ReadSigned10, 0xFF, 0x03, -0.25},
      {"Signed10 sign only", ReadSigned10, 0x00, 0x02, -128},
      {"Voltage15 most negative", ReadVoltage15, 0x00, 0x40, -16384 * 305.18 / 1000000},
      {"Voltage15 largest", ReadVoltage15, 0xFF, 0x3F, 16383 * 305.18 / 1000000},
      {"Voltage15 ignores bit 15", ReadVoltage15, 0x01, 0x80, 305.18 / 1000000},
      {"Current15 one count", ReadCurrent15, 0x01, 0x00, 7.04 * 19.975 / 1000000},
      {"Current15 minus one", ReadCurrent15, 0xFF, 0x7F, -(7.04 * 19.975 / 1000000)},
  };
  for (const ReaderCase& c : kCases) {
    EXPECT_DOUBLE_EQ(c.reader(BytesAt(40, {c.low, c.high}), 40), c.expected) << c.name;
  }
}

TEST(FieldReaders, FourByteFields) {
  EXPECT_EQ(ReadUInt32(BytesAt(2, {0xFF, 0xFF, 0xFF, 0xFF}), 2), 4294967295.0);
  EXPECT_EQ(ReadUInt32(BytesAt(2, {0x80, 0x2C, 0x26, 0x5C}), 2), 1546005632.0);
  EXPECT_EQ(ReadSingle(BytesAt(63, {0x00, 0x00, 0x80, 0x3F}), 63), 1.0f);
}

TEST(FieldReaders, BytesPastTheBufferReadAsZero) {
  FrameByteArray frame{};
  frame[512] = 0x34;
  EXPECT_EQ(ReadUInt16(frame, 512), 0x34);
  EXPECT_EQ(ReadUInt32(frame, -2), 0);
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

TEST(PosixToDateTime, KnownDates) {
  struct Case {
    std::int64_t seconds;
    const char* text;
  };
  constexpr Case kCases[] = {
      {0, "1970-01-01"},
      {1546000000, "2018-12-28 12:26:40"},
      {1546005632, "2018-12-28 14:00:32"},
      {951782400, "2000-02-29"},
      {4294967295, "2106-02-07 06:28:15"},
      {-1, "1969-12-31 23:59:59"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(DateTimeText(PosixToDateTime(c.seconds)), c.text) << c.seconds;
  }
}

}  // namespace
}  // namespace talphex
