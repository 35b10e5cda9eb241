// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/chart/chart_scale.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/view/text_forms.h"

namespace talphex {

double NiceInterval(double minimum) {
  if (!(minimum > 0) || !std::isfinite(minimum)) return 1;
  const double decade = std::pow(10.0, std::floor(std::log10(minimum)));
  for (const double factor : {1.0, 2.0, 2.5, 5.0}) {
    // The tolerance keeps a minimum that is a nice number, up to rounding, at that number.
    if (factor * decade >= minimum * (1 - 1e-9)) return factor * decade;
  }
  return 10 * decade;
}

int RoundStepUp(double minimum) {
  for (int decade = 1; decade < std::numeric_limits<int>::max() / 10; decade *= 10) {
    for (const int factor : {1, 2, 5}) {
      if (factor * decade >= minimum) return factor * decade;
    }
  }
  return std::numeric_limits<int>::max();
}

void ExtendValueRange(ValueRange& range, const ChartContent& content, std::size_t first_row) {
  const std::size_t rows = content.row_labels.size();
  for (const ChartSeries& series : content.series) {
    const std::size_t count = std::min(rows, series.values.size());
    for (std::size_t r = first_row; r < count; ++r) {
      const double value = DrawnValue(series.values[r]);
      if (std::isnan(value)) continue;
      range.low = std::min(range.low, value);
      range.high = std::max(range.high, value);
    }
  }
}

ValueScale ScaleRange(ValueRange range, ChartType type) {
  double low = range.empty() ? 0 : range.low;
  double high = range.empty() ? 1 : range.high;
  const bool bars = type == ChartType::kBars;
  if (bars) {
    low = std::min(low, 0.0);
    high = std::max(high, 0.0);
  }
  const double margin = high > low ? (high - low) * 0.05 : std::max(std::abs(high) * 0.1, 1.0);
  if (!bars || low < 0) low -= margin;
  // Bars that are all zero still get the height of the margin above it.
  if (!bars || high > 0 || low == high) high += margin;
  const double interval = NiceInterval((high - low) / kValueTicks);
  return {std::floor(low / interval) * interval, std::ceil(high / interval) * interval, interval};
}

ValueScale ScaleValues(const ChartContent& content) {
  ValueRange range;
  ExtendValueRange(range, content, 0);
  return ScaleRange(range, content.type);
}

double DrawnValue(double value) {
  if (!std::isfinite(value)) return std::numeric_limits<double>::quiet_NaN();
  return std::clamp(value, -kLargestValue, kLargestValue);
}

std::vector<double> ValueTicks(double low, double high, double interval) {
  std::vector<double> ticks;
  if (!(interval > 0) || !(high >= low)) return ticks;
  // Whole multiples counted, not summed, so that rounding does not creep along the axis; the
  // tolerance keeps an end that is a multiple up to rounding.
  const double first = std::ceil(low / interval - 1e-9);
  const double last = std::floor(high / interval + 1e-9);
  for (double k = first; k <= last && ticks.size() <= 1000; ++k) ticks.push_back(k * interval);
  return ticks;
}

std::string ValueLabel(double value, double interval, char decimal_separator) {
  if (std::abs(value) < interval * 1e-9) value = 0;
  if (std::abs(value) >= 1e15) return GeneralText(value, decimal_separator);
  if (interval >= 1 && std::nearbyint(interval) == interval) return IntegerText(value);
  // As many decimals as make the interval a whole number of the last one.
  int decimals = 2;
  for (; decimals < 17; ++decimals) {
    const double units = interval * std::pow(10.0, decimals);
    if (units >= 1 - 1e-6 && std::abs(units - std::nearbyint(units)) <= 1e-6 * units) break;
  }
  return FixedText(value, decimals, decimal_separator);
}

RowLabelLayout LayOutRowLabels(int rows, int label_spacing, double first_shown, double last_shown,
                               double plot_width, double label_room, double turned_room) {
  const double span = last_shown - first_shown;
  const double row_width = plot_width / span;
  const bool zoomed = span < rows - 1e-9;
  RowLabelLayout layout;
  const int chosen = RoundStepUp(label_room / row_width);
  if (label_spacing <= 0) {
    layout.step = chosen;
  } else if (zoomed) {
    layout.step = std::min(chosen, label_spacing);
  } else {
    layout.step = label_spacing;
  }
  // Any stretch of the rows in view as long as the step holds a multiple of it.
  if (zoomed) layout.step = std::min(layout.step, std::max(1, static_cast<int>(span)));
  // Turned labels that would still overlap take every second, third, ... labelled row instead,
  // so that the ticks stay with the labels.
  layout.step = std::min(layout.step, std::max(rows, 1));
  if (rows > 0 && layout.step * row_width < turned_room) {
    const double factor = std::ceil(turned_room / (layout.step * row_width));
    layout.step = static_cast<int>(std::min(factor * layout.step, static_cast<double>(rows)));
  }
  layout.rotated = layout.step * row_width < label_room;
  const int first =
      std::max(0, static_cast<int>(std::ceil(first_shown / layout.step)) * layout.step);
  const int last = std::min(rows - 1, static_cast<int>(std::floor(last_shown)));
  for (int r = first; r <= last; r += layout.step) layout.rows.push_back(r);
  return layout;
}

}  // namespace talphex
