// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/view/conf_ini.h"

#include <algorithm>

#include "core/base/regular_file.h"
#include "core/view/navigation.h"

namespace talphex {
namespace {

std::string_view TrimSpaces(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

// A whole number of records brought within the live stores' bounds; nullopt for anything else.
std::optional<std::size_t> LiveRecordsOf(std::string_view value) {
  if (value.empty() || value.size() > 9 ||
      !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::clamp<std::size_t>(std::stoul(std::string(value)), kMinLiveRecords, kMaxLiveRecords);
}

void ApplyLine(std::string_view line, ConfSettings& settings) {
  if (line.empty() || line.front() == '#') return;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return;
  const std::string key = UpperAscii(TrimSpaces(line.substr(0, equals)));
  const std::string_view value = TrimSpaces(line.substr(equals + 1));
  if (key == "IMAGE_PATH") {
    settings.image_path = std::string(value);
  } else if (key == "SCREENSHOT") {
    settings.screenshot_button = UpperAscii(value) == "YES";
  } else if (key == "CAPTURE_PATH") {
    settings.capture_path = std::string(value);
  } else if (key == "CALLSIGN") {
    settings.callsign = std::string(value);
  } else if (key == "LONGITUDE") {
    settings.longitude = std::string(value);
  } else if (key == "LATITUDE") {
    settings.latitude = std::string(value);
  } else if (key == "STATION" && IsStationName(value)) {
    settings.station = std::string(value);
  } else if (const auto live_records =
                 key == "LIVE_RECORDS" ? LiveRecordsOf(value) : std::nullopt) {
    settings.live_records = live_records;
  }
}

}  // namespace

bool IsStationName(std::string_view name) {
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
  });
}

ConfSettings ParseConfIni(std::string_view text) {
  ConfSettings settings;
  // An editor's UTF-8 byte-order mark would otherwise start the first key.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      ApplyLine(text.substr(start), settings);
      break;
    }
    ApplyLine(text.substr(start, end - start), settings);
    // CR LF is one line end; a lone CR or LF is one as well.
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return settings;
}

std::optional<ConfSettings> ReadConfIniFile(const std::string& path) {
  const Expected<std::string> text = ReadRegularFile(path, kMaxConfIniSize);
  if (!text) return std::nullopt;
  return ParseConfIni(text.value());
}

}  // namespace talphex
