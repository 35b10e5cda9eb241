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
  for (const char c : text) *out++ = IsPrintableAscii(c) && c != ';' && c != '"' ? c : '?';
}

void AssignPrintableText(std::string& shown, std::string_view text) {
  shown.resize(text.size());
  char* out = shown.data();
  for (const char c : text) *out++ = IsPrintableLatin1(c) ? c : '?';
}

std::string Utf8FromLatin1(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xC0 | byte >> 6));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80                   ? 1
                         : lead >= 0xC2 && lead < 0xE0 ? 2
                         : lead >= 0xE0 && lead < 0xF0 ? 3
                         : lead >= 0xF0 && lead < 0xF5 ? 4
                                                       : 0;
    if (length == 0 || i + length > text.size()) return false;
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    const auto second = length > 1 ? static_cast<unsigned char>(text[i + 1]) : 0x80;
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
      return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

std::string PrintableUtf8(std::string_view text) {
  if (!IsValidUtf8(text)) return Utf8FromLatin1(PrintableText(text));
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // U+0080 to U+009F are the two bytes C2 80 to C2 9F.
    if (byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      out.push_back('?');
      ++i;
    } else {
      out.push_back(byte < 0x20 || byte == 0x7F ? '?' : text[i]);
    }
  }
  return out;
}

std::string TerminalText(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string safe;
  safe.reserve(text.size());
  for (const char c : text) {
    if (c == '\\') {
      safe.append("\\\\");
    } else if (IsPrintableAscii(c)) {
      safe.push_back(c);
    } else {
      const auto byte = static_cast<unsigned char>(c);
      safe.append("\\x").push_back(kHex[byte >> 4]);
      safe.push_back(kHex[byte & 0x0F]);
    }
  }
  return safe;
}

}  // namespace talphex
