// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/text_safety.h"

namespace talphex {
namespace {

bool IsPrintableAscii(char c) { return c >= 0x20 && c <= 0x7E; }

}  // namespace

void AssignSafeTimestamp(std::string& safe, std::string_view text) {
  const char first = text.empty() ? '\0' : text.front();
  const bool formula = first == '=' || first == '+' || first == '-' || first == '@';
  // Sized once and written through a pointer: the loader runs this for every timestamp part.
  safe.resize(text.size() + (formula ? 1 : 0));
  char* out = safe.data();
  if (formula) *out++ = '\'';
  for (const char c : text) *out++ = IsPrintableAscii(c) && c != ';' ? c : '?';
}

std::string TerminalText(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string safe;
  safe.reserve(text.size());
  for (const char c : text) {
    if (IsPrintableAscii(c)) {
      safe.push_back(c);
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    safe.append("\\x").push_back(kHex[byte >> 4]);
    safe.push_back(kHex[byte & 0x0F]);
  }
  return safe;
}

}  // namespace talphex
