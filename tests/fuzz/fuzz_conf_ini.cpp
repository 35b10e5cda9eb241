// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the conf.ini parser. Any text parses; keys found hold trimmed single-line
// values, and a SCREENSHOT line appended after the text always has the last word.

#undef NDEBUG  // the assertions are what the target checks, in every build

#include <cassert>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/view/conf_ini.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const talphex::ConfSettings settings = talphex::ParseConfIni(text);
  if (settings.image_path) {
    const std::string& path = *settings.image_path;
    assert(path.find_first_of("\r\n") == std::string::npos && "IMAGE_PATH spans lines");
    assert((path.empty() || (path.front() != ' ' && path.back() != ' ')) &&
           "IMAGE_PATH not trimmed");
  }
  for (const bool shown : {true, false}) {
    const std::string appended(std::string(text) +
                               (shown ? "\r\nscreenshot = yes\r\n" : "\nSCREENSHOT=NO\n"));
    const talphex::ConfSettings last = talphex::ParseConfIni(appended);
    assert(last.screenshot_button == shown && "the last SCREENSHOT line does not win");
    assert(last.image_path == settings.image_path && "an appended line changed IMAGE_PATH");
  }
  return 0;
}
