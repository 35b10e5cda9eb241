// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/decode/decoder_state.h"

namespace talphex {

// Exports for analysis tools, in UTF-8, one row or line per record of both kinds:
// - kCsv: comma-separated with a header line, "." as decimal separator, empty cells for values a
//   record does not have, CR LF line ends;
// - kJsonLines: one JSON object per line with the CSV's names, null for missing values, the
//   flags as booleans;
// - kInflux: InfluxDB line protocol, measurements talphex_beacon and talphex_payload, tag
//   source, snake_case field keys, the receive time in nanoseconds; a record without a receive
//   time (or one outside the years 1678 to 2261) cannot be placed and is left out.
enum class AnalysisFormat { kCsv, kJsonLines, kInflux };

// Column names in order: rx_time_utc, source, kind, record, the 45 fields (caption, a number where
// a caption repeats, the unit in brackets), the 48 status flags (status byte, then lamp caption).
const std::vector<std::string>& AnalysisColumns();
inline constexpr std::size_t kAnalysisLeadColumns = 4;

// A column name as a line-protocol field key: lower case letters, digits and "_"; "+" and "-"
// become "plus" and "minus" so that "X+" and "X-" stay apart.
std::string SnakeCaseKey(std::string_view name);

// "YYYY-MM-DDThh:mm:ssZ" of a receive time "YYYY-MM-DD hh:mm:ss"; empty for any other text.
std::string IsoUtcTime(std::string_view rx_time);

// Writes records one at a time, so that an export can follow the input as it is read.
class AnalysisWriter {
 public:
  explicit AnalysisWriter(AnalysisFormat format) : format_(format) {}

  // What comes before the first record: the CSV header line, else nothing.
  std::string Header() const;
  // Appends the line of record `number` (1 for the first of its kind) read from the capture
  // `source` (a path; its file name is written).
  void Append(std::string& out, Kind kind, const TelemetryRecord& record, std::int64_t number,
              std::string_view source);
  // Line protocol: the records left out for want of a receive time.
  std::int64_t without_time() const { return without_time_; }

 private:
  void SetSource(std::string_view source);

  AnalysisFormat format_;
  std::int64_t without_time_ = 0;
  std::string source_path_;  // the source of the escaped forms below
  std::string source_cell_;  // as it goes into the format's line
};

// Every stored record, beacon records first, with the source each came from. Returns the
// records left out for want of a receive time.
std::int64_t WriteAnalysis(std::FILE* out, const DecoderState& state, AnalysisFormat format);

}  // namespace talphex
