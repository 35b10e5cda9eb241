#include "decode/field_readers.h"

#include <gtest/gtest.h>

namespace talphex {
namespace {

FrameByteArray BytesAt(int offset, std::initializer_list<std::uint8_t> bytes) {
  FrameByteArray frame{};
  std::copy(bytes.begin(), bytes.end(), frame.begin() + offset);
  return frame;
}

TEST(FieldReaders, BytesPastTheBufferReadAsZero) {
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
  };
  for (const auto& [seconds, text] : kCases) {
    EXPECT_EQ(DateTimeText(PosixToDateTime(seconds)), text) << seconds;
  }
}

}  // namespace
}  // namespace talphex
