// Fuzz target for the Ascii85 body decoding. The input is decoded as a body text; whatever
// decodes must survive encoding and decoding again unchanged, and a text rejected before the
// output is sized must leave the output untouched. The input is also encoded as bytes and must
// decode back to itself.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "capture/ascii85.h"

namespace {

using talphex::Ascii85Status;

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "Ascii85 fuzz check failed: %s\n", what);
  std::abort();
}

// Failures found while validating the text, before the output is replaced.
bool RejectedBeforeSizing(Ascii85Status status) {
  return status != Ascii85Status::kOk && status != Ascii85Status::kGroupOverflow;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::vector<std::uint8_t> sentinel = {0xA5, 0x5A, 0x01};
  std::vector<std::uint8_t> decoded = sentinel;
  const Ascii85Status status = talphex::Ascii85Decode(text, decoded);
  if (RejectedBeforeSizing(status)) Check(decoded == sentinel, "rejected text changed the output");
  std::vector<std::uint8_t> again = sentinel;
  Check(talphex::Ascii85DecodeText(text, again) == (status == Ascii85Status::kOk),
        "Ascii85DecodeText disagrees with Ascii85Decode");

  // A lone digit before the terminator decodes to no bytes; nothing to encode then.
  if (status == Ascii85Status::kOk && !decoded.empty()) {
    // Bytes decoded from one text encode to a text that decodes to the same bytes.
    const std::string encoded = "<~" + talphex::Ascii85Encode(decoded.data(), decoded.size());
    std::vector<std::uint8_t> round_trip;
    Check(talphex::Ascii85Decode(encoded, round_trip) == Ascii85Status::kOk,
          "re-encoded text does not decode");
    Check(round_trip == decoded, "re-encoded text decodes to other bytes");
  }

  if (size > 0) {
    // The opening "<~" is needed: an encoding may start with the digit "<" (first group from
    // 0x5401FEAB to 0x571E835B), which without it reads as a broken opening delimiter.
    const std::string encoded = "<~" + talphex::Ascii85Encode(data, size);
    std::vector<std::uint8_t> bytes;
    Check(talphex::Ascii85Decode(encoded, bytes) == Ascii85Status::kOk,
          "encoded input does not decode");
    Check(bytes == std::vector<std::uint8_t>(data, data + size), "encoded input decodes wrongly");
  }
  return 0;
}
