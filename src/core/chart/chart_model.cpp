// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/chart/chart_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/base/utc_time.h"
#include "core/decode/field_readers.h"
#include "core/view/field_catalogue.h"
#include "core/view/record_view.h"

namespace talphex {
namespace {

// "YYYY-MM-DD hh:mm:ss" of seconds since 1970 UTC, midnight included.
std::string FullDateTimeText(std::int64_t seconds) {
  const DateTime t = PosixToDateTime(seconds);
  char text[48];
  const int length =
      std::snprintf(text, sizeof text, "%04lld-%02d-%02d %02d:%02d:%02d",
                    static_cast<long long>(t.year), t.month, t.day, t.hour, t.minute, t.second);
  return std::string(text, static_cast<std::size_t>(std::max(length, 0)));
}

std::size_t ChartRows(const DecoderState& state, Kind kind) {
  return std::min(state.StoredCount(kind), kMaxChartRows);
}

// Index in the store of the first charted record.
std::size_t FirstChartIndex(const DecoderState& state, Kind kind) {
  return state.StoredCount(kind) - ChartRows(state, kind);
}

void AddRow(ChartContent& content, const TelemetryRecord& record) {
  content.row_labels.push_back(RowLabel(record.RxTime));
  content.row_times.push_back(ParseUtcDateTime(record.RxTime));
}

ChartContent RowsOf(const DecoderState& state, Kind kind, ChartType type) {
  ChartContent content;
  content.kind = kind;
  content.type = type;
  content.first_record = ChartFirstRecord(state, kind);
  const std::size_t rows = ChartRows(state, kind);
  const std::size_t first = FirstChartIndex(state, kind);
  content.row_labels.reserve(rows);
  content.row_times.reserve(rows);
  for (std::size_t r = 0; r < rows; ++r) AddRow(content, state.Store(kind)[first + r]);
  return content;
}

// Fields 45 to 50 have no selector of their own; their status-byte names stand in for captions.
std::string LegendOf(int field) { return std::string(SlotName(field)); }

std::string UnitOf(int field) {
  return field < kFieldCount ? std::string(Field(field).unit) : std::string();
}

ChartSeries SeriesOf(const DecoderState& state, Kind kind, int field) {
  ChartSeries series{field, LegendOf(field), std::nullopt, {}, UnitOf(field)};
  const std::size_t rows = ChartRows(state, kind);
  const std::size_t first = FirstChartIndex(state, kind);
  series.values.reserve(rows);
  for (std::size_t r = 0; r < rows; ++r) {
    series.values.push_back(state.Store(kind)[first + r].Value[static_cast<std::size_t>(field)]);
  }
  return series;
}

}  // namespace

std::int64_t ChartFirstRecord(const DecoderState& state, Kind kind) {
  return state.FirstStored(kind) + static_cast<std::int64_t>(FirstChartIndex(state, kind));
}

std::string ChartTitle(int field) {
  if (!IsChartableField(field)) return {};
  std::string title = LegendOf(field);
  const std::string unit = UnitOf(field);
  if (!unit.empty()) title.append(" (").append(unit).append(")");
  return title;
}

std::string RowLabel(const std::string& rx_time) {
  if (rx_time.size() < 12) return {};
  return rx_time.substr(11, 8);
}

int LabelSpacing(std::size_t rows, std::size_t threshold, std::size_t divisor) {
  if (rows <= threshold || divisor == 0) return 0;
  // Integer arithmetic keeps the half-to-even rule exact, whatever the floating rounding mode.
  std::size_t quotient = rows / divisor;
  const std::size_t twice_remainder = 2 * (rows % divisor);
  if (twice_remainder > divisor || (twice_remainder == divisor && quotient % 2 == 1)) ++quotient;
  return static_cast<int>(quotient);
}

std::optional<std::array<int, 3>> FieldGroup(int field) {
  switch (field) {
    case 5:
    case 6:
      return std::array<int, 3>{5, 6, 8};
    case 16:
    case 17:
      return std::array<int, 3>{16, 17, 20};
    case 19:
    case 20:
      return std::array<int, 3>{19, 20, 18};
    case 31:
    case 32:
    case 33:
      return std::array<int, 3>{31, 32, 33};
    default:
      return std::nullopt;
  }
}

ChartContent BuildFieldChart(const DecoderState& state, int field, ChartType type) {
  if (!IsChartableField(field)) {
    ChartContent empty;
    empty.type = type;
    return empty;
  }
  const Kind kind = KindOfField(field);
  ChartContent content = RowsOf(state, kind, type);
  if (content.row_labels.empty()) return content;
  content.series.push_back(SeriesOf(state, kind, field));
  content.label_spacing =
      LabelSpacing(content.row_labels.size(), kFieldChartAutoRows, kFieldChartLabelDivisor);
  return content;
}

ChartContent BuildGroupChart(const DecoderState& state, const std::array<int, 3>& fields,
                             ChartType type) {
  ChartContent content = RowsOf(state, Kind::kBeacon, type);
  if (content.row_labels.empty()) return content;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    if (!IsChartableField(fields[k]) || KindOfField(fields[k]) != Kind::kBeacon) continue;
    content.series.push_back(SeriesOf(state, Kind::kBeacon, fields[k]));
    content.series.back().colour = kGroupColours[k];
  }
  content.label_spacing =
      LabelSpacing(content.row_labels.size(), kGroupChartAutoRows, kGroupChartLabelDivisor);
  return content;
}

std::size_t AppendChartRows(ChartContent& content, const DecoderState& state) {
  const std::size_t had = content.row_labels.size();
  const std::size_t rows = ChartRows(state, content.kind);
  // Rows that moved (dropped records) are not appended to: the chart is built anew.
  if (content.series.empty() || rows <= had ||
      content.first_record != ChartFirstRecord(state, content.kind)) {
    return 0;
  }
  const DecoderState::RecordStore& store = state.Store(content.kind);
  const std::size_t first = FirstChartIndex(state, content.kind);
  for (std::size_t r = had; r < rows; ++r) AddRow(content, store[first + r]);
  for (ChartSeries& series : content.series) {
    for (std::size_t r = had; r < rows; ++r) {
      series.values.push_back(store[first + r].Value[static_cast<std::size_t>(series.field)]);
    }
  }
  // Only the grouped chart gives its series colours of their own.
  const bool group = content.series.front().colour.has_value();
  content.label_spacing = group ? LabelSpacing(rows, kGroupChartAutoRows, kGroupChartLabelDivisor)
                                : LabelSpacing(rows, kFieldChartAutoRows, kFieldChartLabelDivisor);
  return rows - had;
}

std::string PointText(const ChartContent& content, std::size_t row, char decimal_separator,
                      bool dated) {
  if (row >= content.row_labels.size()) return {};
  std::string text =
      "Record " + std::to_string(content.first_record + static_cast<std::int64_t>(row));
  const std::optional<std::int64_t> time =
      dated && row < content.row_times.size() ? content.row_times[row] : std::nullopt;
  if (time) {
    text += ", received " + FullDateTimeText(*time);
  } else if (!content.row_labels[row].empty()) {
    text += ", received " + content.row_labels[row];
  }
  for (const ChartSeries& series : content.series) {
    if (row >= series.values.size()) continue;
    const double value = series.values[row];
    text += "\n" + series.legend + ": ";
    if (!std::isfinite(value)) {
      text += "no value";
      continue;
    }
    text += FieldValueText(series.field, value, decimal_separator);
    if (!series.unit.empty()) text += " " + series.unit;
  }
  return text;
}

}  // namespace talphex
