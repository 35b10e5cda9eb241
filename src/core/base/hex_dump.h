// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace talphex {

// Appends `bytes` as hex dump lines of `bytes_per_line` bytes (at least 1), each ended by "\n":
// "0010  54 41 4C 50 48 45 58 3C  7E 2E ...  |TALPHEX<~.|", the offset in hex, the bytes in
// groups of eight, and the bytes again as text with "." for anything but printable ASCII, so the
// dump is safe on any terminal.
void AppendHexDump(std::string& out, std::string_view bytes, std::size_t bytes_per_line = 16);

}  // namespace talphex
