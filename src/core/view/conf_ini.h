// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace talphex {

// Settings read from conf.ini; a key that is absent leaves its default in force.
struct ConfSettings {
  std::optional<std::string> image_path;    // IMAGE_PATH, case kept
  std::optional<bool> screenshot_button;    // SCREENSHOT: true only for "YES", any case
  std::optional<std::string> capture_path;  // CAPTURE_PATH: folder of live recordings, case kept
  // STATION: the receiving station named by the line protocol, when IsStationName holds.
  std::optional<std::string> station;
  // LIVE_RECORDS: records of each kind a live connection keeps, brought within 1000 to 100,000;
  // a value that is not a whole number is ignored.
  std::optional<std::size_t> live_records;
  // The station as frames shared with SatNOGS DB name it: CALLSIGN, and LONGITUDE and LATITUDE in
  // decimal degrees; as written, for the program that uses them to check.
  std::optional<std::string> callsign;
  std::optional<std::string> longitude;
  std::optional<std::string> latitude;
};

// A station name is letters, digits, "-" and "_" (empty: no station), so that it reads the same
// in every export and every database.
bool IsStationName(std::string_view name);

// Lines end with CR LF, CR or LF. Empty lines, lines starting with "#" and lines without "=" are
// skipped. Keys are case-insensitive; key and value are trimmed of spaces (not tabs). A key may
// appear more than once: the last one wins. A UTF-8 byte-order mark at the start is skipped.
ConfSettings ParseConfIni(std::string_view text);

// Settings files are small; anything larger is not one.
inline constexpr std::size_t kMaxConfIniSize = 1 << 20;

// The settings of the conf.ini at `path`, or nothing when it is not a regular file of at most
// kMaxConfIniSize bytes that can be read (a FIFO or a device is never waited on).
std::optional<ConfSettings> ReadConfIniFile(const std::string& path);

}  // namespace talphex
