// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/file_name.h"

namespace talphex {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// Length of the valid UTF-8 sequence at `at`, or 0 when its first byte starts none.
std::size_t Utf8Length(std::string_view bytes, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[at + i]); };
  const unsigned char first = byte(0);
  if (first < 0x80) return 1;
  std::size_t length = 0;
  char32_t code = 0;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
    code = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    code = first & 0x0F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    code = first & 0x07;
  } else {
    return 0;
  }
  if (at + length > bytes.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i) & 0x3F);
  }
  // No overlong forms, no surrogates, nothing past U+10FFFF.
  const char32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < lowest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

}  // namespace

QString DecodeFileName(std::string_view bytes) {
  QString name;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t length = Utf8Length(bytes, at);
    if (length == 0) {
      name += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[at])));
      ++at;
      continue;
    }
    name += QString::fromUtf8(bytes.data() + at, static_cast<qsizetype>(length));
    at += length;
  }
  return name;
}

QByteArray EncodeFileName(const QString& name) {
  QByteArray bytes;
  for (qsizetype i = 0; i < name.size(); ++i) {
    const QChar c = name.at(i);
    if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
      bytes += name.mid(i, 2).toUtf8();
      ++i;
    } else if (c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF) {
      bytes += static_cast<char>(c.unicode() - kEscapeBase);
    } else {
      bytes += QString(c).toUtf8();
    }
  }
  return bytes;
}

}  // namespace talphex
