// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/export/screenshot_name.h"

namespace talphex {

std::string ScreenshotFileName(std::string_view image_path, std::string_view input_path,
                               char separator) {
  std::string_view name = input_path;
  if (const std::size_t slash = name.rfind(separator); slash != std::string_view::npos) {
    name.remove_prefix(slash + 1);
  }
  if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
    name = name.substr(0, dot);
  }
  std::string path(image_path);
  path.append(name).append(".bmp");
  return path;
}

}  // namespace talphex
