#include "chart/chart_model.h"

#include <cmath>

#include "ui/field_catalogue.h"

namespace talphex {
namespace {

constexpr std::size_t kSingleChartThreshold = 100;
constexpr double kSingleChartDivisor = 50;
constexpr std::size_t kGroupChartThreshold = 40;
constexpr double kGroupChartDivisor = 40;

ChartContent RowsOf(const DecoderState& state, Kind kind, ChartType type) {
  ChartContent content;
  content.kind = kind;
  content.type = type;
  const std::size_t rows = state.StoredCount(kind);
  content.row_labels.reserve(rows);
  for (std::size_t r = 0; r < rows; ++r) {
    content.row_labels.push_back(RowLabel(state.Store(kind)[r].RxTime));
  }
  return content;
}

ChartSeries SeriesOf(const DecoderState& state, Kind kind, int field) {
  ChartSeries series{field, std::string(Field(field).caption), std::nullopt, {}};
  const std::size_t rows = state.StoredCount(kind);
  series.values.reserve(rows);
  for (std::size_t r = 0; r < rows; ++r) {
    series.values.push_back(state.Store(kind)[r].Value[static_cast<std::size_t>(field)]);
  }
  return series;
}

}  // namespace

std::string ChartTitle(int field) {
  const FieldInfo& info = Field(field);
  std::string title(info.caption);
  if (!info.unit.empty()) title.append(" (").append(info.unit).append(")");
  return title;
}

std::string RowLabel(const std::string& rx_time) {
  if (rx_time.size() < 12) return {};
  return rx_time.substr(11, 8);
}

int LabelSpacing(std::size_t rows, std::size_t threshold, double divisor) {
  if (rows <= threshold) return 0;
  return static_cast<int>(std::nearbyint(static_cast<double>(rows) / divisor));
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
  const Kind kind = KindOfField(field);
  ChartContent content = RowsOf(state, kind, type);
  content.series.push_back(SeriesOf(state, kind, field));
  content.label_spacing =
      LabelSpacing(content.row_labels.size(), kSingleChartThreshold, kSingleChartDivisor);
  return content;
}

ChartContent BuildGroupChart(const DecoderState& state, const std::array<int, 3>& fields,
                             ChartType type) {
  ChartContent content = RowsOf(state, Kind::kBeacon, type);
  for (std::size_t k = 0; k < fields.size(); ++k) {
    content.series.push_back(SeriesOf(state, Kind::kBeacon, fields[k]));
    content.series.back().colour = kGroupColours[k];
  }
  content.label_spacing =
      LabelSpacing(content.row_labels.size(), kGroupChartThreshold, kGroupChartDivisor);
  return content;
}

}  // namespace talphex
