#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decode/decoder_state.h"

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
};

enum class ChartType { kBars, kLines };

// What the chart shows, computed without any plotting facility: one row per stored record of the
// kind, record 1 first.
struct ChartContent {
  Kind kind = Kind::kBeacon;
  ChartType type = ChartType::kLines;
  std::vector<std::string> row_labels;  // characters 12 to 19 of each record's RxTime
  std::vector<ChartSeries> series;
  // A tick and a label every `label_spacing` rows; 0 lets the plotting facility choose.
  int label_spacing = 0;
};

// Frame caption of a field: "caption (unit)", or the caption alone for a field without unit.
std::string ChartTitle(int field);

// Row label of a record: characters 12 to 19 (1-based) of its receive time, fewer when the text
// is shorter, empty when it has fewer than 12.
std::string RowLabel(const std::string& rx_time);

// rows / divisor rounded half to even above `threshold` rows, else 0 (automatic).
int LabelSpacing(std::size_t rows, std::size_t threshold, double divisor);

// The three beacon fields charted together when `field` is chosen with Shift or the right button;
// nullopt for a field that belongs to no group.
std::optional<std::array<int, 3>> FieldGroup(int field);

inline constexpr std::array<Rgb, 3> kGroupColours = {Rgb{70, 130, 180}, Rgb{34, 139, 34},
                                                     Rgb{176, 48, 96}};

// Single-field chart of field 0 to 44 over the stored records of its kind.
ChartContent BuildFieldChart(const DecoderState& state, int field, ChartType type);

// Grouped chart of three beacon fields; `type` is the type of the last single-field chart.
ChartContent BuildGroupChart(const DecoderState& state, const std::array<int, 3>& fields,
                             ChartType type);

}  // namespace talphex
