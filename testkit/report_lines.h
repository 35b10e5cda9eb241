// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The shape every telemetry report has, whatever the frames said: shared by the tests and the
// report writer's fuzz target, which links nothing but the core.

#include <cstddef>
#include <string>
#include <string_view>

namespace talphex::testing {

// Title, rule, blank, beacon frame, blank, 34 beacon fields, blank, payload frame, blank, 11
// payload fields.
inline constexpr std::size_t kReportLines = 53;

// Why `report` is more than the program's own lines, or "" when it is not: exactly kReportLines
// lines, each ended by CR LF, and no other byte below 0x20, no DEL, no C1 byte (0x80 to 0x9F).
inline std::string ReportLineFault(std::string_view report) {
  std::size_t lines = 0;
  for (std::size_t i = 0; i < report.size(); ++i) {
    const auto byte = static_cast<unsigned char>(report[i]);
    auto at = [&](std::string_view what) {
      return std::string(what) + " at byte " + std::to_string(i) + " of line " +
             std::to_string(lines + 1);
    };
    if (byte == '\r') {
      if (i + 1 == report.size() || report[i + 1] != '\n') return at("CR without LF");
      ++lines;
      ++i;
    } else if (byte == '\n') {
      return at("LF without CR");
    } else if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F)) {
      return at("control byte " + std::to_string(byte));
    }
  }
  if (!report.empty() && report.back() != '\n') return "last line without CR LF";
  if (lines != kReportLines) return std::to_string(lines) + " lines";
  return "";
}

}  // namespace talphex::testing
