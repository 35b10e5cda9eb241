// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/ascii85.h"

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

Ascii85Status Ascii85Decode(std::string_view text, std::vector<std::uint8_t>& out) {
  if (text.empty()) return Ascii85Status::kEmpty;
  std::size_t start = 0;
  if (text[0] == '<') {
    if (text.size() < 2 || text[1] != '~') return Ascii85Status::kBadOpening;
    start = 2;
  }
  // Counting pass: validates the text and finds the end of the data.
  std::size_t digits = 0;
  std::size_t data_end = std::string_view::npos;
  for (std::size_t i = start; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= '!' && c <= 'u') {
      ++digits;
    } else if (c == 'z') {
      if (digits % 5 != 0) return Ascii85Status::kMisplacedZ;
      digits += 5;
    } else if (c == '~') {
      if (i + 1 >= text.size() || text[i + 1] != '>') return Ascii85Status::kNoTerminator;
      data_end = i;
      break;
    } else if (c > 'u') {
      return Ascii85Status::kInvalidCharacter;
    }
  }
  if (data_end == std::string_view::npos) return Ascii85Status::kNoTerminator;
  if (digits == 0) return Ascii85Status::kNoDigits;
  const std::size_t rest = digits % 5;
  const std::size_t length = (digits - rest) / 5 * 4 + (rest > 0 ? rest - 1 : 0);
  out.assign(length, 0);

  // Decoding pass.
  std::size_t w = 0;
  std::uint64_t group = 0;
  int in_group = 0;
  for (std::size_t i = start; i < data_end; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= '!' && c <= 'u') {
      group = group * 85 + (c - '!');
      if (++in_group == 5) {
        if (group > 0xFFFFFFFFu) return Ascii85Status::kGroupOverflow;
        out[w] = static_cast<std::uint8_t>(group >> 24);
        out[w + 1] = static_cast<std::uint8_t>(group >> 16);
        out[w + 2] = static_cast<std::uint8_t>(group >> 8);
        out[w + 3] = static_cast<std::uint8_t>(group);
        w += 4;
        group = 0;
        in_group = 0;
      }
    } else if (c == 'z') {
      w += 4;
    }
  }
  // A final partial group of r digits is padded with "u" and yields r - 1 bytes.
  if (in_group >= 2) {
    for (int i = in_group; i < 5; ++i) group = group * 85 + 84;
    if (group > 0xFFFFFFFFu) return Ascii85Status::kGroupOverflow;
    for (int i = 0; i < in_group - 1; ++i) {
      out[w + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(group >> (24 - 8 * i));
    }
  }
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
