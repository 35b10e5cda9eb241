// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "core/chart/chart_model.h"

namespace talphex {

// Value axis intervals at most this many to the full height.
inline constexpr double kValueTicks = 5;

// Smallest of 1, 2, 2.5 and 5 times a power of ten that is at least `minimum`; 1 for a minimum
// that is not a positive finite number.
double NiceInterval(double minimum);

// Smallest of 1, 2, 5, 10, 20, 50, ... that is at least `minimum`; the largest int beyond them.
int RoundStepUp(double minimum);

// A value axis range: both ends whole multiples of the tick interval.
struct ValueScale {
  double low = 0;
  double high = 1;
  double interval = 0.2;
  friend bool operator==(const ValueScale&, const ValueScale&) = default;
};

// The lowest and highest value drawn so far; empty (low > high) before the first.
struct ValueRange {
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  bool empty() const { return low > high; }
  friend bool operator==(const ValueRange&, const ValueRange&) = default;
};

// Extends `range` by the drawn values (see DrawnValue) of the content's rows from `first_row` on,
// so that a live chart scans only its new rows.
void ExtendValueRange(ValueRange& range, const ChartContent& content, std::size_t first_row);

// The value axis that shows every value of `range` in a chart of `type`: lines get a margin of a
// twentieth of the span on both sides, bars grow from zero and get it on the side away from zero,
// a constant series still gets some height, and the ends are rounded out to the tick interval.
// An empty range is scaled as if the values ran from 0 to 1.
ValueScale ScaleRange(ValueRange range, ChartType type);

// The scale of every value of the content's rows (see ScaleRange). Values that are not finite
// are gaps and left out; finite values beyond ±1e300 count as ±1e300, which keeps every span of
// the scale finite.
ValueScale ScaleValues(const ChartContent& content);

// Finite values beyond are drawn at this size.
inline constexpr double kLargestValue = 1e300;

// The value a chart draws for `value`: NaN (a gap: no point, no bar) for one that is not finite,
// else the value cut to ±kLargestValue.
double DrawnValue(double value);

// The ticks of a value axis from `low` to `high`: the whole multiples of `interval` in that range.
std::vector<double> ValueTicks(double low, double high, double interval);

// Label of a value axis tick on an axis with that interval, in the texts of the record view: whole
// numbers in full when the interval is whole, else with as many decimals as the interval needs, two
// at least; values of 1e15 and beyond in their general text.
std::string ValueLabel(double value, double interval, char decimal_separator = '.');

// The labelling of a row axis that shows `first_shown` to `last_shown` (rows are centred on
// whole numbers), which rows of them carry a tick and a label, and whether the labels stand
// upright.
struct RowLabelLayout {
  int step = 1;
  bool rotated = false;
  std::vector<int> rows;
  friend bool operator==(const RowLabelLayout&, const RowLabelLayout&) = default;
};

// Pixels kept free between two labels turned upright, beyond the height of their text.
inline constexpr double kTurnedLabelGap = 1;

// Lays out the row labels of a content with `rows` rows and the given label spacing (0: choose)
// on a plot `plot_width` pixels wide, when a label needs `label_room` pixels lying and
// `turned_room` pixels turned upright. Unzoomed, the content's spacing holds; a chosen one keeps
// the labels a label's room apart. Zoomed in, the step follows the rows in view: the chosen one,
// but never wider than the content's spacing nor than the rows in view, so a zoomed chart keeps a
// label at least. Labels are turned upright when the step gives them less than their room, and
// where even turned labels would not fit, the step grows to the smallest multiple of itself that
// holds them: every row of the layout gets its tick and its label, evenly spaced. The step is
// never beyond the row count.
RowLabelLayout LayOutRowLabels(int rows, int label_spacing, double first_shown, double last_shown,
                               double plot_width, double label_room, double turned_room);

}  // namespace talphex
