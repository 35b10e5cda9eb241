// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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

// The value axis that shows every value of the content's rows: lines get a margin of a twentieth
// of the span on both sides, bars grow from zero and get it on the side away from zero, a constant
// series still gets some height, and the ends are rounded out to the tick interval. Values that
// are not finite are gaps and left out; finite values beyond ±1e300 count as ±1e300, which keeps
// every span of the scale finite. A content without values is scaled as if they ran from 0 to 1.
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

// Lays out the row labels of a content with `rows` rows and the given label spacing (0: choose)
// on a plot `plot_width` pixels wide, when a label needs `label_room` pixels. Unzoomed, the
// content's spacing holds; a chosen one keeps the labels a label's room apart. Zoomed in, the
// step follows the rows in view: the chosen one, but never wider than the content's spacing nor
// than the rows in view, so a zoomed chart keeps a label at least. The step is never beyond the
// row count. Labels are turned upright when the step gives them less than their room.
RowLabelLayout LayOutRowLabels(int rows, int label_spacing, double first_shown, double last_shown,
                               double plot_width, double label_room);

}  // namespace talphex
