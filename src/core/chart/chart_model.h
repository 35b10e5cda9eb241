// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/decode/decoder_state.h"

namespace talphex {

struct Rgb {
  std::uint8_t red, green, blue;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct ChartSeries {
  int field;                   // the field the series shows
  std::string legend;          // Latin-1
  std::optional<Rgb> colour;   // nullopt: the plotting facility's own colour
  std::vector<double> values;  // one per row
  std::string unit;            // Latin-1, empty for a field without unit
};

enum class ChartType { kBars, kLines };

// What the chart shows, computed without any plotting facility: one row per stored record of the
// kind, record 1 first. A kind without records has no rows and no series.
struct ChartContent {
  Kind kind = Kind::kBeacon;
  ChartType type = ChartType::kLines;
  std::vector<std::string> row_labels;  // characters 12 to 19 of each record's RxTime
  // Each record's receive time in seconds since 1970 UTC, for the time axis; nothing for a
  // record whose RxTime is not a time.
  std::vector<std::optional<std::int64_t>> row_times;
  std::vector<ChartSeries> series;
  // Record number of the first row: a live store that dropped its oldest records, or more stored
  // records than the chart shows, start the rows later than record 1.
  std::int64_t first_record = 1;
  // A tick and a label every `label_spacing` rows; 0 lets the plotting facility choose.
  int label_spacing = 0;
};

// The chart never shows more rows than the window's stores hold, whatever the state's capacity.
inline constexpr std::size_t kMaxChartRows = kStoreCapacity;

// Rows above which the chart spaces its labels itself, and the divisor of that spacing.
inline constexpr std::size_t kFieldChartAutoRows = 100;
inline constexpr std::size_t kFieldChartLabelDivisor = 50;
inline constexpr std::size_t kGroupChartAutoRows = 40;
inline constexpr std::size_t kGroupChartLabelDivisor = 40;

// Frame caption of a field: "caption (unit)", or the caption alone for a field without unit.
// Empty for an index outside 0 to 50.
std::string ChartTitle(int field);

// Row label of a record: characters 12 to 19 (1-based) of its receive time, fewer when the text
// is shorter, empty when it has fewer than 12.
std::string RowLabel(const std::string& rx_time);

// rows / divisor rounded to the nearest whole number, a half to the even neighbour, when there
// are more than `threshold` rows; else 0 (automatic).
int LabelSpacing(std::size_t rows, std::size_t threshold, std::size_t divisor);

// The three beacon fields charted together when `field` is chosen with Shift or the right button;
// nullopt for a field that belongs to no group.
std::optional<std::array<int, 3>> FieldGroup(int field);

inline constexpr std::array<Rgb, 3> kGroupColours = {Rgb{70, 130, 180}, Rgb{34, 139, 34},
                                                     Rgb{176, 48, 96}};

// The window's screenshot turns pixels of exactly its background grey transparent.
inline constexpr Rgb kScreenshotKey{240, 240, 240};

// The chart's own colours on its white background. Antialiasing blends a neutral grey line or
// text into the white at every coverage, and one of those blends is the screenshot's key grey;
// these are tinted towards blue, so that no blend of them with white or with each other is.
struct ChartInks {
  Rgb background;
  Rgb text;
  Rgb axis_line;
  Rgb grid_line;
  Rgb focus_frame;
  // A field's limits and the values beyond them, by level.
  Rgb limit_yellow;
  Rgb limit_red;
};
inline constexpr ChartInks kChartInks{.background = {255, 255, 255},
                                      .text = {40, 40, 90},
                                      .axis_line = {150, 162, 196},
                                      .grid_line = {204, 214, 236},
                                      .focus_frame = {40, 110, 200},
                                      .limit_yellow = {214, 158, 0},
                                      .limit_red = {212, 32, 32}};

// True for the fields a single-field chart can show: 0 to 50.
constexpr bool IsChartableField(int field) { return field >= 0 && field < kValueSlots; }

// Record number of the first row a chart of `kind` shows: the newest kMaxChartRows stored
// records are charted.
std::int64_t ChartFirstRecord(const DecoderState& state, Kind kind);

// Single-field chart of field 0 to 50 over the stored records of its kind. An index outside that
// range gives an empty content; callers that must leave the chart unchanged test
// IsChartableField first.
ChartContent BuildFieldChart(const DecoderState& state, int field, ChartType type);

// Grouped chart of three beacon fields; `type` is the type of the last single-field chart.
ChartContent BuildGroupChart(const DecoderState& state, const std::array<int, 3>& fields,
                             ChartType type);

// Extends `content`, built by BuildFieldChart or BuildGroupChart, by the records of its kind stored
// since, so that it equals what that function would build now; the rows it had are not built
// again. Returns the number of rows added. A content without series (built while the kind had no
// records) or whose rows moved (its first_record is no longer ChartFirstRecord) gains nothing:
// build it anew.
std::size_t AppendChartRows(ChartContent& content, const DecoderState& state);

// Tooltip of a row: record number and row label on the first line, then one line per series
// with its legend, value in the record view's text form, and unit ("no value" for one that is not
// finite). `dated`: the receive time in full ("YYYY-MM-DD hh:mm:ss" UTC) instead of the row label,
// for a chart whose records fall on more than one date. Empty for a row outside the content.
std::string PointText(const ChartContent& content, std::size_t row, char decimal_separator = '.',
                      bool dated = false);

}  // namespace talphex
