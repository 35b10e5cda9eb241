// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/ax25_header.h"

#include <cstdint>

namespace talphex {
namespace {

constexpr std::size_t kAddressBytes = 7;
constexpr std::size_t kMaxDigipeaters = 8;

// One 7-byte address: six callsign characters shifted left by one bit, then the SSID byte whose
// lowest bit marks the last address.
Ax25Error ReadAddress(std::string_view bytes, std::string& call) {
  call.clear();
  bool padding = false;
  for (std::size_t i = 0; i < 6; ++i) {
    const auto byte = static_cast<std::uint8_t>(bytes[i]);
    if ((byte & 1) != 0) return Ax25Error::kBadCharacter;
    const auto c = static_cast<char>(byte >> 1);
    if (c == ' ') {
      padding = true;
      continue;
    }
    const bool valid = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!valid) return Ax25Error::kBadCharacter;
    if (padding) return Ax25Error::kBlankInside;
    call.push_back(c);
  }
  if (call.empty()) return Ax25Error::kEmptyCallsign;
  const int ssid = (static_cast<std::uint8_t>(bytes[6]) >> 1) & 0x0F;
  if (ssid != 0) call += "-" + std::to_string(ssid);
  return Ax25Error::kNone;
}

bool IsLast(std::string_view address) {
  return (static_cast<std::uint8_t>(address[kAddressBytes - 1]) & 1) != 0;
}

}  // namespace

const char* Ax25ErrorText(Ax25Error error) {
  switch (error) {
    case Ax25Error::kNone:
      return "no error";
    case Ax25Error::kTooShort:
      return "too short for two addresses";
    case Ax25Error::kBadCharacter:
      return "a callsign byte is not a letter, digit or blank";
    case Ax25Error::kBlankInside:
      return "a blank inside a callsign";
    case Ax25Error::kEmptyCallsign:
      return "an empty callsign";
    case Ax25Error::kEarlyEnd:
      return "the destination is marked as the last address";
    case Ax25Error::kTooManyAddresses:
      return "no last address within 10 addresses";
  }
  return "unknown";
}

Ax25Error ParseAx25Header(std::string_view frame, Ax25Header& header) {
  header = {};
  if (frame.size() < 2 * kAddressBytes) return Ax25Error::kTooShort;
  if (const Ax25Error e = ReadAddress(frame.substr(0, kAddressBytes), header.destination);
      e != Ax25Error::kNone) {
    return e;
  }
  if (IsLast(frame.substr(0, kAddressBytes))) return Ax25Error::kEarlyEnd;
  std::string call;
  for (std::size_t index = 1; index <= 1 + kMaxDigipeaters; ++index) {
    const std::size_t at = index * kAddressBytes;
    if (frame.size() < at + kAddressBytes) return Ax25Error::kTooShort;
    const std::string_view address = frame.substr(at, kAddressBytes);
    if (const Ax25Error e = ReadAddress(address, call); e != Ax25Error::kNone) return e;
    if (index == 1) {
      header.source = call;
    } else {
      if (!header.via.empty()) header.via += ",";
      header.via += call;
    }
    if (IsLast(address)) {
      header.size = at + kAddressBytes;
      return Ax25Error::kNone;
    }
  }
  return Ax25Error::kTooManyAddresses;
}

}  // namespace talphex
