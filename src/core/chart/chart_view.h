// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/chart/chart_model.h"
#include "core/chart/chart_scale.h"
#include "core/chart/time_axis.h"

namespace talphex {

// A stretch of the row axis in axis units: rows on the record axis (row r centred on r), seconds
// after the origin on the time axis.
struct AxisSpan {
  double low = 0;
  double high = 1;
  double width() const { return high - low; }
  friend bool operator==(const AxisSpan&, const AxisSpan&) = default;
};

// How the row axis in view lies on the screen: `shown` drawn over `plot_width` pixels from
// `plot_left`.
struct AxisPixels {
  AxisSpan shown;
  double plot_left = 0;
  double plot_width = 1;
  // Axis units at pixel column `x`, and back.
  double ValueAt(double x) const;
  double PixelOf(double value) const;
  // Axis units one pixel spans.
  double UnitsPerPixel() const { return shown.width() / plot_width; }
};

// A stretch of pixel columns, left edge to right edge.
struct PixelSpan {
  double left = 0;
  double right = 0;
  friend bool operator==(const PixelSpan&, const PixelSpan&) = default;
};

// Font sizes the labels of the row axis are laid out with, measured by the caller.
struct LabelRoom {
  double row_label = 0;    // the widest row label
  double clock = 0;        // "00:00:00"
  double dated_clock = 0;  // "0000-00-00 00:00:00"
  double height = 0;       // a line of text
};

// The labels along the row axis: where each stands with its text, whether they are turned, and
// on the record axis the rows that carry them. Every label has its tick.
struct AxisLabels {
  std::vector<TimeTick> labels;
  bool rotated = false;
  std::vector<int> rows;
  friend bool operator==(const AxisLabels&, const AxisLabels&) = default;
};

// The wheel never zooms in closer than this many rows, or seconds on the time axis.
inline constexpr double kMinVisibleRows = 4;
inline constexpr double kMinVisibleSeconds = 10;
// A click or hover this many pixels from a point of the time axis still picks its record.
inline constexpr double kPickPixels = 6;
// One wheel notch (120 eighths of a degree) shows this part of the span.
inline constexpr double kWheelZoomPerNotch = 0.8;
// The mark of a record is never narrower than this many pixels on either side of its centre.
inline constexpr double kMinMarkHalfPixels = 1.5;

// The arithmetic of one kind of row axis: where rows stand, what the full view and a zoom show,
// which row a pointer picks and where the record mark stands. The chart widget asks the view of
// the axis on show and never tells the kinds apart itself.
class RowAxisView {
 public:
  virtual ~RowAxisView() = default;

  int rows() const { return rows_; }
  // True when no row has a place on the axis.
  virtual bool empty() const = 0;
  // The span that shows every row, with room for the outer slots or bars.
  virtual AxisSpan FullRange() const = 0;
  // Centre of a row's slot or bar; nothing for a row outside the content or without a place.
  virtual std::optional<double> Position(int row) const = 0;
  // Half the width of a row's slot (the record's room, marked and zoomed to) in axis units.
  virtual double HalfWidth(int row) const = 0;
  // The rows in axis order, cut where a line must break whatever the values.
  virtual std::vector<std::vector<int>> Runs() const = 0;
  // The first and last row in view (on the time axis, the lowest and highest index in view);
  // first > last when none is.
  virtual std::pair<int, int> VisibleRows(AxisSpan shown) const = 0;
  // How many rows `shown` holds, which decides whether lines show their points.
  virtual double RowsInView(AxisSpan shown) const = 0;
  // The row a pointer at axis position `position` picks, or -1.
  virtual int RowAt(const AxisPixels& pixels, double position) const = 0;
  // The labels of the axis for `shown` on a plot `plot_width` pixels wide.
  virtual AxisLabels Labels(const ChartContent& content, AxisSpan shown, double plot_width,
                            const LabelRoom& room) const = 0;
  // The tooltip of a row (see PointText).
  virtual std::string ToolTip(const ChartContent& content, int row,
                              char decimal_separator) const = 0;
  // True when every row has a slot of its own, so that bars are one category each; false when
  // the view draws each bar itself (see BarSpan).
  virtual bool OneSlotPerRow() const = 0;

  // The span that shows rows `first` to `last` (0-based, either order), rounded to whole rows
  // and kept within the rows; nothing when either end has no place.
  std::optional<AxisSpan> ZoomToRows(double first, double last) const;
  // The span after turning the wheel by `angle_delta` eighths of a degree with the pointer at
  // `anchor`: the anchor stays where it is, the span stays between the narrowest zoom and the
  // full range. A pointer outside `shown` zooms around its centre.
  AxisSpan ZoomWheel(AxisSpan shown, double anchor, int angle_delta) const;
  // The pixel columns of the mark of `row`, cut to the plot; nothing when it is out of view or
  // has no place.
  std::optional<PixelSpan> MarkSpan(int row, const AxisPixels& pixels) const;
  // The bar of series `k` of `count` drawn side by side in the room of `row`, in axis units.
  AxisSpan BarSpan(int row, int k, int count) const;

 protected:
  explicit RowAxisView(int rows) : rows_(rows) {}
  // The narrowest span the wheel zooms to.
  virtual double MinSpan() const = 0;

 private:
  int rows_;
};

// One slot per record, record 1 first.
class RecordAxisView final : public RowAxisView {
 public:
  explicit RecordAxisView(int rows) : RowAxisView(rows) {}

  bool empty() const override { return rows() < 1; }
  AxisSpan FullRange() const override;
  std::optional<double> Position(int row) const override;
  double HalfWidth(int /*row*/) const override { return 0.5; }
  std::vector<std::vector<int>> Runs() const override;
  std::pair<int, int> VisibleRows(AxisSpan shown) const override;
  double RowsInView(AxisSpan shown) const override { return shown.width(); }
  int RowAt(const AxisPixels& pixels, double position) const override;
  AxisLabels Labels(const ChartContent& content, AxisSpan shown, double plot_width,
                    const LabelRoom& room) const override;
  std::string ToolTip(const ChartContent& content, int row, char decimal_separator) const override;
  bool OneSlotPerRow() const override { return true; }

 protected:
  double MinSpan() const override { return kMinVisibleRows; }
};

// Records placed by their receive times (see LayOutTimeAxis).
class TimeAxisView final : public RowAxisView {
 public:
  explicit TimeAxisView(TimeAxis layout)
      : RowAxisView(static_cast<int>(layout.positions.size())), layout_(std::move(layout)) {}

  const TimeAxis& layout() const { return layout_; }
  bool empty() const override { return layout_.empty(); }
  AxisSpan FullRange() const override;
  std::optional<double> Position(int row) const override;
  double HalfWidth(int row) const override;
  std::vector<std::vector<int>> Runs() const override { return layout_.runs; }
  std::pair<int, int> VisibleRows(AxisSpan shown) const override;
  double RowsInView(AxisSpan shown) const override;
  int RowAt(const AxisPixels& pixels, double position) const override;
  AxisLabels Labels(const ChartContent& content, AxisSpan shown, double plot_width,
                    const LabelRoom& room) const override;
  // With the date when the axis labels carry it.
  std::string ToolTip(const ChartContent& content, int row, char decimal_separator) const override;
  bool OneSlotPerRow() const override { return false; }

 protected:
  double MinSpan() const override { return kMinVisibleSeconds; }

 private:
  TimeAxis layout_;
};

// The view of `content`'s rows on the time axis when `time_axis`, else on the record axis.
std::unique_ptr<RowAxisView> MakeRowAxisView(const ChartContent& content, bool time_axis);

// The stretches of `run` (rows in axis order) whose values are all finite: one line each, so
// that a line never joins the rows on either side of a value that is not finite. Rows past the
// end of `values` have no value.
std::vector<std::vector<int>> LineSegments(const std::vector<int>& run,
                                           const std::vector<double>& values);

}  // namespace talphex
