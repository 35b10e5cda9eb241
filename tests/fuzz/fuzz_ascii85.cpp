// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the Ascii85 body decoding. The input is decoded as a body text; whatever
// decodes must survive encoding and decoding again unchanged, and a text rejected before the
// output is sized must leave the output untouched. The input is also encoded as bytes and must
// decode back to itself.

#undef NDEBUG  // the assertions are what the target checks, in every build

#include <cassert>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/capture/ascii85.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using talphex::Ascii85Status;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::uint8_t> sentinel = {0xA5, 0x5A, 0x01};
  std::vector<std::uint8_t> decoded = sentinel;
  std::vector<std::uint8_t> again = sentinel;
  const Ascii85Status status = talphex::Ascii85Decode(text, decoded);
  // Every failure but an overflowing group is found while validating, before the output is sized.
  if (status != Ascii85Status::kOk && status != Ascii85Status::kGroupOverflow) {
    assert(decoded == sentinel && "rejected text changed the output");
  }
  assert((talphex::Ascii85DecodeText(text, again) == (status == Ascii85Status::kOk)) &&
         "Ascii85DecodeText disagrees with Ascii85Decode");

  // The opening "<~" is needed: an encoding may start with the digit "<" (first group from
  // 0x5401FEAB to 0x571E835B), which without it reads as a broken opening delimiter.
  const auto round_trips = [](const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> back;
    const std::string encoded = "<~" + talphex::Ascii85Encode(bytes.data(), bytes.size());
    return talphex::Ascii85Decode(encoded, back) == Ascii85Status::kOk && back == bytes;
  };
  // A lone digit before the terminator decodes to no bytes; nothing to encode then.
  if (status == Ascii85Status::kOk && !decoded.empty()) {
    assert(round_trips(decoded) && "re-encoded text decodes to other bytes");
  }
  if (size > 0) assert(round_trips({data, data + size}) && "encoded input decodes to other bytes");
  return 0;
}
