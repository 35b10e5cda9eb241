// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace talphex {

// Why the start of a frame is not an AX.25 address field; kNone when it is.
enum class Ax25Error {
  kNone,
  kTooShort,          // fewer bytes than a destination and a source address
  kBadCharacter,      // a callsign byte that is not an upper-case letter, digit or blank
  kBlankInside,       // a blank before the end of a callsign
  kEmptyCallsign,     // a callsign of blanks only
  kEarlyEnd,          // the destination marked as the last address
  kTooManyAddresses,  // no last address within the destination, source and 8 digipeaters
};

const char* Ax25ErrorText(Ax25Error error);

// The address field of an AX.25 frame: callsigns as "CALL" or "CALL-SSID".
struct Ax25Header {
  std::string destination;
  std::string source;
  std::string via;       // digipeaters, comma-separated
  std::size_t size = 0;  // bytes of the address field
};

// Reads the address field at the start of `frame` (no KISS command byte). Radio bytes: every
// byte is checked, nothing is read past the end of `frame`.
Ax25Error ParseAx25Header(std::string_view frame, Ax25Header& header);

}  // namespace talphex
