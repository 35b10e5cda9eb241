// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace talphex {

// A gap between two records longer than this breaks the line of a time axis.
inline constexpr std::int64_t kTimeAxisGapSeconds = 5 * 60;

// Where the rows of a chart stand on a time axis. Positions are seconds after `origin`, the
// earliest receive time. A row without a receive time has no place and is left out: it has no
// position, belongs to no run and gets no bar.
struct TimeAxis {
  std::int64_t origin = 0;  // seconds since 1970 UTC at position 0
  // Per row: seconds after origin, or nothing.
  std::vector<std::optional<double>> positions;
  // The rows with a receive time in the order of their times (rows of one time in row order),
  // cut where two follow each other more than kTimeAxisGapSeconds apart: one line each.
  std::vector<std::vector<int>> runs;
  // Per row: half the width of its bar, in seconds; 0 for a row without a place. Bars never
  // touch their neighbours of the same run.
  std::vector<double> half_widths;
  double first = 0;  // position of the earliest and the latest record
  double last = 0;
  // The records fall on more than one UTC date, so labels carry the date.
  bool dated = false;

  bool empty() const { return runs.empty(); }
  // The row whose position is nearest to `position` and at most `tolerance` away; -1 for none.
  int NearestRow(double position, double tolerance) const;
  // Rows with a place between `low` and `high`.
  int RowsBetween(double low, double high) const;
};

// `times`: each row's receive time in seconds since 1970 UTC, nothing for a row without one.
TimeAxis LayOutTimeAxis(const std::vector<std::optional<std::int64_t>>& times);

struct TimeTick {
  double position;
  std::string label;  // Latin-1 (ASCII)
  friend bool operator==(const TimeTick&, const TimeTick&) = default;
};

// The ticks of the time axis from `low` to `high` (positions): at most `max_ticks` on whole
// multiples of a round interval of clock time (1, 2, 5, 10, 15, 30 seconds or minutes, 1, 2, 3,
// 6, 12 hours, days). Labels read "hh:mm:ss" below a minute's interval, "hh:mm" from a minute,
// with the date in front ("YYYY-MM-DD hh:mm") when the axis is dated, and the date alone from a
// day's interval.
std::vector<TimeTick> TimeTicks(const TimeAxis& axis, double low, double high, double max_ticks);

}  // namespace talphex
