// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <span>
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
// - kInflux: InfluxDB line protocol, measurements talphex_beacon and talphex_payload, tags
//   source and station, snake_case field keys, the receive time in nanoseconds; a record without
//   a receive time (or one outside the years 1677 to 2262) cannot be placed and is left out.
enum class AnalysisFormat { kCsv, kJsonLines, kInflux };

// Column names in order: rx_time_utc, source, kind, record, the 45 fields (caption, a number where
// a caption repeats, the unit in brackets), the 48 status flags (status byte, then lamp caption).
const std::vector<std::string>& AnalysisColumns();
inline constexpr std::size_t kAnalysisLeadColumns = 4;

// Whether status flag `lamp` is set in a (payload) record.
bool FlagIsSet(const TelemetryRecord& record, int lamp);
// A CSV cell: quoted, its quotes doubled, when it holds a comma, a quote or a line end.
std::string CsvCell(std::string_view text);
// A JSON string of any bytes: quotes, backslashes and control bytes escaped, so that no text from
// the radio can end the string or break a line. The bytes are expected to be UTF-8 already.
std::string JsonString(std::string_view text);

// "beacon" or "payload", as the exports name a record's kind.
std::string_view KindName(Kind kind);

// A column name as a line-protocol field key: lower case letters, digits and "_"; "+" and "-"
// become "plus" and "minus" so that "X+" and "X-" stay apart.
std::string SnakeCaseKey(std::string_view name);

// "YYYY-MM-DDThh:mm:ssZ" of a receive time "YYYY-MM-DD hh:mm:ss", "YYYY-MM-DDThh:mm:ss.sssZ"
// with its `millisecond` (0 to 999; -1 when unknown); empty for any other text.
std::string IsoUtcTime(std::string_view rx_time, int millisecond = -1);

// Records the line protocol left out, by reason.
struct InfluxLeftOut {
  std::int64_t without_time = 0;  // no receive time, or one that is not a date
  std::int64_t out_of_range = 0;  // a time InfluxDB cannot hold: before 1677 or after 2262
  std::int64_t total() const { return without_time + out_of_range; }
};

// "N records left out: ..." naming each reason; empty when none was left out.
std::string InfluxLeftOutText(const InfluxLeftOut& left_out);

// Writes records one at a time, so that an export can follow the input as it is read.
class AnalysisWriter {
 public:
  // `station` (see IsStationName) is the line protocol's station tag; empty leaves it out.
  explicit AnalysisWriter(AnalysisFormat format, std::string_view station = {});

  // Runs that merge the frames of many stations: the CSV gets a last column and JSON a last key
  // "stations", the stations that heard each record's frame (CSV: separated by a space; JSON: an
  // array). The line protocol is not changed.
  void AddStationsColumn() { stations_column_ = true; }
  // What comes before the first record: the CSV header line, else nothing.
  std::string Header() const;
  // Appends the line of record `number` (1 for the first of its kind) read from the capture
  // `source` (a path; its file name is written) and heard by `stations` (with the column).
  void Append(std::string& out, Kind kind, const TelemetryRecord& record, std::int64_t number,
              std::string_view source, std::span<const std::string> stations = {});
  // Line protocol: the records left out for want of a time InfluxDB can hold.
  const InfluxLeftOut& left_out() const { return left_out_; }

 private:
  // The last times written of one measurement and tag set.
  struct SeriesTimes {
    std::int64_t received = 0;  // the receive time of its last record, in nanoseconds
    std::int64_t written = 0;   // the time written for it: later by the records that shared it
  };
  void SetSource(std::string_view source);
  // The time of a point: its receive time, or the nanosecond after the last point of its series
  // when that one had the same receive time, so that InfluxDB keeps both, in arrival order.
  std::int64_t PointTime(Kind kind, std::int64_t received);

  AnalysisFormat format_;
  bool stations_column_ = false;
  std::string station_tag_;  // ",station=NAME", or empty
  InfluxLeftOut left_out_;
  std::string source_path_;  // the source of the escaped forms below
  std::string source_cell_;  // as it goes into the format's line
  // By kind and source_cell_: one entry per capture, so it does not grow with the records.
  std::map<std::string, SeriesTimes, std::less<>> series_;
  std::string series_key_;
};

// Every stored record, beacon records first, with the source each came from. Returns the
// records the line protocol left out.
InfluxLeftOut WriteAnalysis(std::FILE* out, const DecoderState& state, AnalysisFormat format,
                            std::string_view station = {});

}  // namespace talphex
