// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <string_view>

namespace talphex {

// Writes `text` to `out` as it is; false when the stream took less than all of it.
bool Put(std::FILE* out, std::string_view text);

}  // namespace talphex
