// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/decode/field_readers.h"

#include <bit>
#include <cstdio>

namespace talphex {
namespace {

std::uint32_t ByteAt(const FrameByteArray& bytes, int index) {
  return index >= 0 && index < kFrameBytesSize ? bytes[static_cast<std::size_t>(index)] : 0u;
}

std::uint32_t Word(const FrameByteArray& bytes, int offset) {
  return ByteAt(bytes, offset) | ByteAt(bytes, offset + 1) << 8;
}

// Low `width` bits of the word as a two's-complement number.
int SignedField(std::uint32_t word, int width) {
  const std::uint32_t mask = (1u << width) - 1;
  const std::uint32_t n = word & mask;
  const std::uint32_t sign = 1u << (width - 1);
  return (n & sign) != 0 ? static_cast<int>(n) - static_cast<int>(1u << width)
                         : static_cast<int>(n);
}

}  // namespace

double ReadUInt32(const FrameByteArray& bytes, int offset) {
  return static_cast<double>(Word(bytes, offset) | Word(bytes, offset + 2) << 16);
}

double ReadUInt16(const FrameByteArray& bytes, int offset) {
  return static_cast<double>(Word(bytes, offset));
}

double ReadInt16(const FrameByteArray& bytes, int offset) {
  return static_cast<double>(static_cast<std::int16_t>(Word(bytes, offset)));
}

double ReadSigned12(const FrameByteArray& bytes, int offset) {
  return SignedField(Word(bytes, offset), 12) * 0.0625;
}

double ReadSigned10(const FrameByteArray& bytes, int offset) {
  return SignedField(Word(bytes, offset), 10) * 0.25;
}

double ReadVoltage15(const FrameByteArray& bytes, int offset) {
  return (SignedField(Word(bytes, offset), 15) * 305.18) / 1000000;
}

double ReadCurrent15(const FrameByteArray& bytes, int offset) {
  return ((SignedField(Word(bytes, offset), 15) * 7.04) * 19.975) / 1000000;
}

float ReadSingle(const FrameByteArray& bytes, int offset) {
  return std::bit_cast<float>(Word(bytes, offset) | Word(bytes, offset + 2) << 16);
}

double BytesToValue(std::span<const std::uint8_t> bytes, int start, int end, bool is_unsigned) {
  const int size = static_cast<int>(bytes.size());
  if (end < 1) end = size - 1;
  if (start < 0 || start > end || end >= size) return -1;
  double value = bytes[static_cast<std::size_t>(start)];
  double multiplier = 1;
  for (int i = start + 1; i <= end; ++i) {
    multiplier *= 256;
    int b = bytes[static_cast<std::size_t>(i)];
    if (i == end && b >= 128 && !is_unsigned) b -= 256;
    value += b * multiplier;
  }
  return value;
}

DateTime PosixToDateTime(std::int64_t seconds) {
  // Civil-from-days over the proleptic Gregorian calendar (H. Hinnant's algorithm).
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  return DateTime{year,
                  month,
                  day,
                  static_cast<int>(rest / 3600),
                  static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60)};
}

std::string DateTimeText(const DateTime& t) {
  // Written digit by digit: this runs once per beacon frame on the loader's hot path.
  const bool midnight = t.hour == 0 && t.minute == 0 && t.second == 0;
  if (t.year < 0 || t.year > 9999) {
    char text[64];
    const int length =
        std::snprintf(text, sizeof text, "%lld-%02d-%02d %02d:%02d:%02d",
                      static_cast<long long>(t.year), t.month, t.day, t.hour, t.minute, t.second);
    return std::string(text, static_cast<std::size_t>(midnight ? length - 9 : length));
  }
  char text[19] = {'0', '0', '0', '0', '-', '0', '0', '-', '0', '0',
                   ' ', '0', '0', ':', '0', '0', ':', '0', '0'};
  auto put2 = [&text](int at, int value) {
    text[at] = static_cast<char>('0' + value / 10);
    text[at + 1] = static_cast<char>('0' + value % 10);
  };
  const int year = static_cast<int>(t.year);
  put2(0, year / 100);
  put2(2, year % 100);
  put2(5, t.month);
  put2(8, t.day);
  put2(11, t.hour);
  put2(14, t.minute);
  put2(17, t.second);
  return std::string(text, midnight ? 10 : 19);
}

}  // namespace talphex
