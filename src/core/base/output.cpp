// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/output.h"

namespace talphex {

bool Put(std::FILE* out, std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

}  // namespace talphex
