// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "core/export/output_path.h"

namespace talphex {

// Path of the screenshot bitmap of a capture: `image_path` followed directly by the capture's file
// name with the text after its last "." replaced by "bmp" (".bmp" is appended to a name without
// "."). `image_path` is a prefix, so a folder should end with the separator.
std::string ScreenshotFileName(std::string_view image_path, std::string_view input_path,
                               char separator = kPathSeparator);

}  // namespace talphex
