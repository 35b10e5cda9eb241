// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/hex_dump.h"

#include <algorithm>
#include <cstdint>

namespace talphex {

void AppendHexDump(std::string& out, std::string_view bytes, std::size_t bytes_per_line) {
  constexpr char kHex[] = "0123456789ABCDEF";
  bytes_per_line = std::max<std::size_t>(bytes_per_line, 1);
  // Offsets take four digits, more for a dump past 64 KiB.
  int offset_digits = 4;
  while (offset_digits < 16 && (bytes.size() - 1) >> (4 * offset_digits) != 0) ++offset_digits;
  for (std::size_t start = 0; start < bytes.size(); start += bytes_per_line) {
    for (int digit = offset_digits - 1; digit >= 0; --digit) {
      out.push_back(kHex[(start >> (4 * digit)) & 0xF]);
    }
    out.push_back(' ');
    const std::string_view line = bytes.substr(start, bytes_per_line);
    for (std::size_t i = 0; i < bytes_per_line; ++i) {
      if (i % 8 == 0) out.push_back(' ');
      if (i < line.size()) {
        const auto byte = static_cast<std::uint8_t>(line[i]);
        out.push_back(kHex[byte >> 4]);
        out.push_back(kHex[byte & 0xF]);
        out.push_back(' ');
      } else {
        out.append("   ");
      }
    }
    out.append(" |");
    for (const char c : line) out.push_back(c >= 0x20 && c < 0x7F ? c : '.');
    out.append("|\n");
  }
}

}  // namespace talphex
