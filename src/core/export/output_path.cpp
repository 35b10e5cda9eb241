// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/export/output_path.h"

namespace talphex {

std::string OutputPathFor(std::string_view input_path, std::string_view suffix, char separator) {
  const std::size_t separator_at = input_path.rfind(separator);
  const std::size_t name_start = separator_at == std::string_view::npos ? 0 : separator_at + 1;
  const std::size_t dot = input_path.find('.', name_start);
  std::string path(input_path.substr(0, dot));
  path.append(suffix);
  return path;
}

std::string ChartPicturePath(std::string_view input_path, std::string_view caption,
                             char separator) {
  std::string suffix = "-";
  for (const char c : caption) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unsafe = byte < 0x20 || byte >= 0x7F || c == '/' || c == '\\' || c == separator;
    suffix.push_back(unsafe ? '_' : c);
  }
  suffix.append(".png");
  return OutputPathFor(input_path, suffix, separator);
}

}  // namespace talphex
