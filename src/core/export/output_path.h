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

// The proposed path of a saved chart picture beside a capture: OutputPathFor with "-", the
// charted field's caption and ".png". Characters of the caption that a file name should not hold
// (separators, control characters, bytes beyond ASCII) become "_".
std::string ChartPicturePath(std::string_view input_path, std::string_view caption,
                             char separator = kPathSeparator);

}  // namespace talphex
