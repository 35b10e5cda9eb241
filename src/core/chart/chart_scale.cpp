// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/chart/chart_scale.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

ValueScale ScaleValues(const ChartContent& content) {
  const std::size_t rows = content.row_labels.size();
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (const ChartSeries& series : content.series) {
    const std::size_t count = std::min(rows, series.values.size());
    for (std::size_t r = 0; r < count; ++r) {
      const double value = series.values[r];
      if (std::isnan(value)) continue;
      low = std::min(low, std::clamp(value, -kLargestValue, kLargestValue));
      high = std::max(high, std::clamp(value, -kLargestValue, kLargestValue));
    }
  }
  if (low > high) {
    low = 0;
    high = 1;
  }
  const bool bars = content.type == ChartType::kBars;
  if (bars) {
    low = std::min(low, 0.0);
    high = std::max(high, 0.0);
  }
  const double margin = high > low ? (high - low) * 0.05 : std::max(std::abs(high) * 0.1, 1.0);
  if (!bars || low < 0) low -= margin;
  if (!bars || high > 0) high += margin;
  const double interval = NiceInterval((high - low) / kValueTicks);
  return {std::floor(low / interval) * interval, std::ceil(high / interval) * interval, interval};
}

RowLabelLayout LayOutRowLabels(int rows, int label_spacing, double first_shown, double last_shown,
                               double plot_width, double label_room) {
  const double row_width = plot_width / (last_shown - first_shown);
  RowLabelLayout layout;
  layout.step = label_spacing > 0 ? label_spacing : RoundStepUp(label_room / row_width);
  layout.step = std::min(layout.step, std::max(rows, 1));
  layout.rotated = layout.step * row_width < label_room;
  const int first =
      std::max(0, static_cast<int>(std::ceil(first_shown / layout.step)) * layout.step);
  const int last = std::min(rows - 1, static_cast<int>(std::floor(last_shown)));
  for (int r = first; r <= last; r += layout.step) layout.rows.push_back(r);
  return layout;
}

}  // namespace talphex
