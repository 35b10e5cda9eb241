// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talphex {

// Why a body did not decode; kOk when it did.
enum class Ascii85Status {
  kOk,
  kEmpty,             // no text at all
  kBadOpening,        // "<" not followed by "~"
  kNoTerminator,      // "~>" missing, or "~" not followed by ">"
  kInvalidCharacter,  // a code above "u" other than "z" and "~"
  kMisplacedZ,        // "z" inside a group
  kNoDigits,          // nothing to decode before the terminator
  kGroupOverflow,     // five digits above 4294967295
};

const char* Ascii85StatusText(Ascii85Status status);

// Decodes delimited Ascii85 ("<~" optional, "~>" required) into `out`. On failure before sizing,
// `out` is left untouched; otherwise it is replaced. Characters with codes up to 32 are skipped.
[[nodiscard]] Ascii85Status Ascii85Decode(std::string_view text, std::vector<std::uint8_t>& out);

// The same for a body text; true when it decoded.
[[nodiscard]] bool Ascii85DecodeText(std::string_view text, std::vector<std::uint8_t>& out);

// Standard Ascii85 encoding with "z" for all-zero groups and the "~>" terminator, no "<~".
std::string Ascii85Encode(const std::uint8_t* data, std::size_t size);

}  // namespace talphex
