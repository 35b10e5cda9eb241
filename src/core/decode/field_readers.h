// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/decode/decoder_state.h"

namespace talphex {

using FrameByteArray = std::array<std::uint8_t, kFrameBytesSize>;

// Little-endian field readers over a decoded frame body. An offset whose bytes fall outside the
// buffer reads those bytes as 0.
double ReadUInt32(const FrameByteArray& bytes, int offset);
double ReadUInt16(const FrameByteArray& bytes, int offset);
double ReadInt16(const FrameByteArray& bytes, int offset);
double ReadSigned12(const FrameByteArray& bytes, int offset);   // 12-bit count x 0.0625
double ReadSigned10(const FrameByteArray& bytes, int offset);   // 10-bit count x 0.25
double ReadVoltage15(const FrameByteArray& bytes, int offset);  // 15-bit count x 305.18 uV
double ReadCurrent15(const FrameByteArray& bytes, int offset);  // 15-bit count x 7.04 x 19.975 u
float ReadSingle(const FrameByteArray& bytes, int offset);

// Generic little-endian integer of bytes[start..end]; only the most significant byte carries the
// sign, and a single byte is always unsigned. Returns -1 when start and end do not make a range.
double BytesToValue(std::span<const std::uint8_t> bytes, int start, int end, bool is_unsigned);

// Calendar date and time of a posix second count, in UTC.
struct DateTime {
  std::int64_t year;
  int month, day, hour, minute, second;
};
DateTime PosixToDateTime(std::int64_t seconds);

// "YYYY-MM-DD hh:mm:ss"; the time is left out when it is exactly midnight.
std::string DateTimeText(const DateTime& date_time);

}  // namespace talphex
