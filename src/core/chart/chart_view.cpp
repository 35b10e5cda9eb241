// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/chart/chart_view.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace talphex {

double AxisPixels::ValueAt(double x) const {
  return shown.low + (x - plot_left) / plot_width * shown.width();
}

double AxisPixels::PixelOf(double value) const {
  return plot_left + (value - shown.low) / shown.width() * plot_width;
}

std::optional<AxisSpan> RowAxisView::ZoomToRows(double first, double last) const {
  if (rows_ < 1) return std::nullopt;
  const auto row_of = [this](double row) {
    return static_cast<int>(std::clamp(std::lround(row), 0L, static_cast<long>(rows_ - 1)));
  };
  const int from = row_of(std::min(first, last));
  const int to = row_of(std::max(first, last));
  const std::optional<double> low = Position(from);
  const std::optional<double> high = Position(to);
  if (!low || !high) return std::nullopt;
  // On the time axis a later row may stand earlier.
  const AxisSpan span{std::min(*low - HalfWidth(from), *high - HalfWidth(to)),
                      std::max(*low + HalfWidth(from), *high + HalfWidth(to))};
  if (!(span.high > span.low)) return std::nullopt;
  return span;
}

AxisSpan RowAxisView::ZoomWheel(AxisSpan shown, double anchor, int angle_delta) const {
  if (empty() || angle_delta == 0 || !(shown.width() > 0)) return shown;
  const AxisSpan full = FullRange();
  const double new_width =
      std::clamp(shown.width() * std::pow(kWheelZoomPerNotch, angle_delta / 120.0),
                 std::min(MinSpan(), full.width()), full.width());
  if (!(anchor >= shown.low && anchor <= shown.high)) anchor = (shown.low + shown.high) / 2;
  // The row under the pointer stays where it is.
  const double low = std::clamp(anchor - (anchor - shown.low) * new_width / shown.width(), full.low,
                                full.high - new_width);
  return {low, low + new_width};
}

std::optional<PixelSpan> RowAxisView::MarkSpan(int row, const AxisPixels& pixels) const {
  const std::optional<double> position = Position(row);
  if (!position || !(pixels.plot_width > 0) || !(pixels.shown.width() > 0)) return std::nullopt;
  const double centre = pixels.PixelOf(*position);
  const double half = std::max(kMinMarkHalfPixels, HalfWidth(row) / pixels.UnitsPerPixel());
  const PixelSpan span{std::max(pixels.plot_left, centre - half),
                       std::min(pixels.plot_left + pixels.plot_width, centre + half)};
  if (span.right <= span.left) return std::nullopt;
  return span;
}

AxisSpan RowAxisView::BarSpan(int row, int k, int count) const {
  const double half = HalfWidth(row);
  const double left = Position(row).value_or(0) - half + 2 * half * k / std::max(count, 1);
  return {left, left + 2 * half / std::max(count, 1)};
}

AxisSpan RecordAxisView::FullRange() const {
  return {-0.5, static_cast<double>(std::max(rows(), 1)) - 0.5};
}

std::optional<double> RecordAxisView::Position(int row) const {
  if (row < 0 || row >= rows()) return std::nullopt;
  return row;
}

std::vector<std::vector<int>> RecordAxisView::Runs() const {
  if (rows() < 1) return {};
  std::vector<int> run(static_cast<std::size_t>(rows()));
  for (int r = 0; r < rows(); ++r) run[static_cast<std::size_t>(r)] = r;
  return {std::move(run)};
}

std::pair<int, int> RecordAxisView::VisibleRows(AxisSpan shown) const {
  return {std::max(0, static_cast<int>(std::ceil(shown.low))),
          std::min(rows() - 1, static_cast<int>(std::floor(shown.high)))};
}

int RecordAxisView::RowAt(const AxisPixels& /*pixels*/, double position) const {
  const long row = std::lround(position);
  return row >= 0 && row < rows() ? static_cast<int>(row) : -1;
}

AxisLabels RecordAxisView::Labels(const ChartContent& content, AxisSpan shown, double plot_width,
                                  const LabelRoom& room) const {
  RowLabelLayout layout =
      LayOutRowLabels(rows(), content.label_spacing, shown.low, shown.high, plot_width,
                      room.row_label + room.height, room.height + kTurnedLabelGap);
  AxisLabels labels;
  labels.rotated = layout.rotated;
  labels.labels.reserve(layout.rows.size());
  for (const int r : layout.rows) {
    const auto row = static_cast<std::size_t>(r);
    labels.labels.push_back(
        {static_cast<double>(r), row < content.row_labels.size() ? content.row_labels[row] : ""});
  }
  labels.rows = std::move(layout.rows);
  return labels;
}

std::string RecordAxisView::ToolTip(const ChartContent& content, int row,
                                    char decimal_separator) const {
  return row < 0 ? std::string()
                 : PointText(content, static_cast<std::size_t>(row), decimal_separator);
}

AxisSpan TimeAxisView::FullRange() const {
  if (layout_.empty()) return {0, 1};
  // Room for the outer bars, and a span even for a single record.
  const double margin =
      std::max({1.0, (layout_.last - layout_.first) / 50,
                *std::max_element(layout_.half_widths.begin(), layout_.half_widths.end())});
  return {layout_.first - margin, layout_.last + margin};
}

std::optional<double> TimeAxisView::Position(int row) const {
  if (row < 0 || row >= rows()) return std::nullopt;
  return layout_.positions[static_cast<std::size_t>(row)];
}

double TimeAxisView::HalfWidth(int row) const {
  if (row < 0 || row >= rows()) return 0;
  return layout_.half_widths[static_cast<std::size_t>(row)];
}

std::pair<int, int> TimeAxisView::VisibleRows(AxisSpan shown) const {
  int first = rows();
  int last = -1;
  for (int r = 0; r < rows(); ++r) {
    const std::optional<double>& position = layout_.positions[static_cast<std::size_t>(r)];
    if (!position || *position < shown.low || *position > shown.high) continue;
    first = std::min(first, r);
    last = r;
  }
  return {first, last};
}

double TimeAxisView::RowsInView(AxisSpan shown) const {
  return layout_.RowsBetween(shown.low, shown.high);
}

int TimeAxisView::RowAt(const AxisPixels& pixels, double position) const {
  const int row = layout_.NearestRow(position, std::numeric_limits<double>::infinity());
  if (row < 0) return -1;
  const double distance = std::abs(*layout_.positions[static_cast<std::size_t>(row)] - position);
  return distance <= std::max(kPickPixels * pixels.UnitsPerPixel(), HalfWidth(row)) ? row : -1;
}

AxisLabels TimeAxisView::Labels(const ChartContent& /*content*/, AxisSpan shown, double plot_width,
                                const LabelRoom& room) const {
  const double label_room = (layout_.dated ? room.dated_clock : room.clock) + room.height;
  return {
      TimeTicks(layout_, shown.low, shown.high, std::max(1.0, std::floor(plot_width / label_room))),
      false,
      {}};
}

std::string TimeAxisView::ToolTip(const ChartContent& content, int row,
                                  char decimal_separator) const {
  if (row < 0) return {};
  return PointText(content, static_cast<std::size_t>(row), decimal_separator, layout_.dated);
}

std::unique_ptr<RowAxisView> MakeRowAxisView(const ChartContent& content, bool time_axis) {
  if (time_axis) return std::make_unique<TimeAxisView>(LayOutTimeAxis(content.row_times));
  return std::make_unique<RecordAxisView>(static_cast<int>(content.row_labels.size()));
}

std::vector<std::vector<int>> LineSegments(const std::vector<int>& run,
                                           const std::vector<double>& values) {
  std::vector<std::vector<int>> segments;
  bool open = false;
  for (const int r : run) {
    const auto row = static_cast<std::size_t>(r);
    if (r < 0 || row >= values.size() || std::isnan(DrawnValue(values[row]))) {
      open = false;
      continue;
    }
    if (!open) segments.emplace_back();
    segments.back().push_back(r);
    open = true;
  }
  return segments;
}

}  // namespace talphex
