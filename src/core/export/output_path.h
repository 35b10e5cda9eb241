// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace talphex {

inline constexpr char kPathSeparator = '/';

// The output file beside a capture: its file name cut at the first "." (a file name without one
// is kept whole), then `suffix` (".csv", ".tlm", "-payload.csv"). Folder names are never cut.
std::string OutputPathFor(std::string_view input_path, std::string_view suffix,
                          char separator = kPathSeparator);

}  // namespace talphex
