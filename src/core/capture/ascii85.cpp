// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/ascii85.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace talphex {

const char* Ascii85StatusText(Ascii85Status status) {
  switch (status) {
    case Ascii85Status::kOk:
      return "decoded";
    case Ascii85Status::kEmpty:
      return "empty body";
    case Ascii85Status::kBadOpening:
      return "\"<\" not followed by \"~\"";
    case Ascii85Status::kNoTerminator:
      return "no \"~>\" terminator";
    case Ascii85Status::kInvalidCharacter:
      return "invalid Ascii85 character";
    case Ascii85Status::kMisplacedZ:
      return "\"z\" inside a group";
    case Ascii85Status::kNoDigits:
      return "no Ascii85 digits";
    case Ascii85Status::kGroupOverflow:
      return "Ascii85 group above 4294967295";
  }
  return "unknown";
}

namespace {

// Character classes: a digit's value 0 to 84, or one of these.
constexpr std::uint8_t kZeroGroup = 85;
constexpr std::uint8_t kTilde = 86;
constexpr std::uint8_t kIgnored = 87;
constexpr std::uint8_t kInvalid = 88;

constexpr std::array<std::uint8_t, 256> kClassOf = [] {
  std::array<std::uint8_t, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    auto& cls = classes[static_cast<std::size_t>(c)];
    if (c <= ' ') {
      cls = kIgnored;
    } else if (c <= 'u') {
      cls = static_cast<std::uint8_t>(c - '!');
    } else if (c == 'z') {
      cls = kZeroGroup;
    } else if (c == '~') {
      cls = kTilde;
    } else {
      cls = kInvalid;
    }
  }
  return classes;
}();

// The low 32 bits of a group value, most significant byte first.
void PutWord(std::uint8_t* at, std::uint64_t group) {
  const std::uint32_t word = __builtin_bswap32(static_cast<std::uint32_t>(group));
  std::memcpy(at, &word, sizeof word);
}

// True when the five characters at `p` are digits, "!" to "u"; eight may be read. In each byte
// the top bit is set when it is set already, when the byte is below "!" (the subtraction wraps)
// or above "u" (the addition lifts it past 0x7F). The lowest offending byte gets no borrow or
// carry from below, so it is always seen.
bool FiveDigits(const std::uint8_t* p) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kFirstFive = 0x0000008080808080;  // top bits of bytes 0 to 4
  std::uint64_t x = 0;
  std::memcpy(&x, p, sizeof x);
  if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
  return ((x | (x - '!' * kOnes) | (x + (0x7F - 'u') * kOnes)) & kFirstFive) == 0;
}

// The same where fewer than eight characters are left.
bool FiveDigitsNearEnd(const std::uint8_t* p) {
  return std::all_of(p, p + 5, [](std::uint8_t c) { return kClassOf[c] < kZeroGroup; });
}

// The value of five digits known to be "!" to "u".
std::uint64_t GroupOf(const std::uint8_t* p) {
  constexpr std::uint64_t kOffset = '!' * (52200625 + 614125 + 7225 + 85 + 1);
  return std::uint64_t{p[0]} * 52200625 + std::uint64_t{p[1]} * 614125 +
         std::uint64_t{p[2]} * 7225 + std::uint64_t{p[3]} * 85 + p[4] - kOffset;
}

}  // namespace

// One pass over the text: it is checked and decoded at once into a scratch buffer, and `out` is
// only touched once the whole text has been checked, as a separate counting pass would leave it.
Ascii85Status Ascii85Decode(std::string_view text, std::vector<std::uint8_t>& out) {
  if (text.empty()) return Ascii85Status::kEmpty;
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::uint8_t* const end = p + text.size();
  if (*p == '<') {
    if (text.size() < 2 || p[1] != '~') return Ascii85Status::kBadOpening;
    p += 2;
  }
  thread_local std::vector<std::uint8_t> scratch;
  // Every character gives at most four bytes ("z"); four more for the padded last group.
  const std::size_t bound = 4 * static_cast<std::size_t>(end - p) + 4;
  if (scratch.size() < bound) scratch.resize(bound);
  std::uint8_t* const bytes = scratch.data();
  std::size_t w = 0;
  std::size_t overflow_at = std::string_view::npos;  // bytes written before a group overflowed
  std::uint64_t group = 0;
  int in_group = 0;
  bool terminated = false;
  for (; p < end; ++p) {
    if (in_group == 0) {
      // Whole groups and "z", the usual case, go at once; anything else one character at a time.
      for (;;) {
        std::uint64_t whole = 0;
        if (end - p >= 8 ? FiveDigits(p) : end - p >= 5 && FiveDigitsNearEnd(p)) {
          whole = GroupOf(p);
          p += 5;
        } else if (p < end && *p == 'z') {
          ++p;
        } else {
          break;
        }
        if (whole > 0xFFFFFFFFu && overflow_at == std::string_view::npos) overflow_at = w;
        PutWord(bytes + w, whole);
        w += 4;
      }
      if (p == end) break;
    }
    const std::uint8_t cls = kClassOf[*p];
    if (cls < kZeroGroup) {
      group = group * 85 + cls;
      if (++in_group == 5) {
        if (group > 0xFFFFFFFFu && overflow_at == std::string_view::npos) overflow_at = w;
        PutWord(bytes + w, group);
        w += 4;
        group = 0;
        in_group = 0;
      }
    } else if (cls == kIgnored) {
      continue;
    } else if (cls == kZeroGroup) {
      if (in_group != 0) return Ascii85Status::kMisplacedZ;
      PutWord(bytes + w, 0);
      w += 4;
    } else if (cls == kTilde) {
      if (p + 1 >= end || p[1] != '>') return Ascii85Status::kNoTerminator;
      terminated = true;
      break;
    } else {
      return Ascii85Status::kInvalidCharacter;
    }
  }
  if (!terminated) return Ascii85Status::kNoTerminator;
  if (w == 0 && in_group == 0) return Ascii85Status::kNoDigits;
  // A final partial group of r digits is padded with "u" and yields r - 1 bytes.
  const std::size_t length = w + static_cast<std::size_t>(in_group > 1 ? in_group - 1 : 0);
  if (in_group >= 2) {
    for (int i = in_group; i < 5; ++i) group = group * 85 + 84;
    if (group > 0xFFFFFFFFu && overflow_at == std::string_view::npos) overflow_at = w;
    PutWord(bytes + w, group);
  }
  if (overflow_at != std::string_view::npos) {
    // The bytes before the group that did not fit stay, the rest reads 0.
    out.assign(length, 0);
    std::copy_n(bytes, overflow_at, out.begin());
    return Ascii85Status::kGroupOverflow;
  }
  out.assign(bytes, bytes + length);
  return Ascii85Status::kOk;
}

bool Ascii85DecodeText(std::string_view text, std::vector<std::uint8_t>& out) {
  return Ascii85Decode(text, out) == Ascii85Status::kOk;
}

std::string Ascii85Encode(const std::uint8_t* data, std::size_t size) {
  std::string text;
  text.reserve(size / 4 * 5 + 8);
  std::size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    const std::uint32_t group = static_cast<std::uint32_t>(data[i]) << 24 |
                                static_cast<std::uint32_t>(data[i + 1]) << 16 |
                                static_cast<std::uint32_t>(data[i + 2]) << 8 | data[i + 3];
    if (group == 0) {
      text.push_back('z');
      continue;
    }
    char digits[5];
    std::uint32_t rest = group;
    for (int k = 4; k >= 0; --k) {
      digits[k] = static_cast<char>('!' + rest % 85);
      rest /= 85;
    }
    text.append(digits, 5);
  }
  if (i < size) {
    const std::size_t tail = size - i;
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      group = group << 8 | (k < tail ? data[i + k] : 0u);
    }
    char digits[5];
    for (int k = 4; k >= 0; --k) {
      digits[k] = static_cast<char>('!' + group % 85);
      group /= 85;
    }
    text.append(digits, tail + 1);
  }
  text.append("~>");
  return text;
}

}  // namespace talphex
