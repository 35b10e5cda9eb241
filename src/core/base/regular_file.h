// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/base/expected.h"

namespace talphex {

// Opens `path` for reading, never waiting on a FIFO, and only when it is a regular file; the
// caller closes the descriptor. A folder is refused with `folder_reason`.
Expected<int> OpenRegularFile(const std::string& path,
                              std::string_view folder_reason = "is a folder");

// The content of a regular file of at most `max_size` bytes, read by the rule above.
Expected<std::string> ReadRegularFile(const std::string& path, std::size_t max_size);

}  // namespace talphex
