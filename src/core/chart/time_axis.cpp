// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/chart/time_axis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "core/chart/chart_scale.h"
#include "core/decode/field_readers.h"

namespace talphex {
namespace {

constexpr std::int64_t kDay = 86400;
// A bar takes this part of the room to its nearer neighbour, on either side.
constexpr double kBarShare = 0.4;
// The room of a bar that has no neighbour within the gap and no spacing to go by.
constexpr double kLoneBarRoom = 30;

std::int64_t DayOf(std::int64_t seconds) {
  return seconds >= 0 ? seconds / kDay : -((-seconds + kDay - 1) / kDay);
}

std::string TickLabel(std::int64_t seconds, std::int64_t interval, bool dated) {
  const DateTime t = PosixToDateTime(seconds);
  char text[64];
  int length = 0;
  if (interval >= kDay) {
    length = std::snprintf(text, sizeof text, "%04lld-%02d-%02d", static_cast<long long>(t.year),
                           t.month, t.day);
  } else {
    if (dated) {
      length = std::snprintf(text, sizeof text, "%04lld-%02d-%02d ", static_cast<long long>(t.year),
                             t.month, t.day);
    }
    length += interval < 60 ? std::snprintf(text + length, sizeof text - length, "%02d:%02d:%02d",
                                            t.hour, t.minute, t.second)
                            : std::snprintf(text + length, sizeof text - length, "%02d:%02d",
                                            t.hour, t.minute);
  }
  return std::string(text, static_cast<std::size_t>(length));
}

// The smallest round interval of clock time, in seconds, that is at least `minimum`.
std::int64_t TickInterval(double minimum) {
  static constexpr std::array<std::int64_t, 17> kIntervals = {
      1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200};
  for (const std::int64_t interval : kIntervals) {
    if (interval >= minimum) return interval;
  }
  return kDay * RoundStepUp(minimum / static_cast<double>(kDay));
}

}  // namespace

TimeAxis LayOutTimeAxis(const std::vector<std::optional<std::int64_t>>& times) {
  TimeAxis axis;
  const int rows = static_cast<int>(times.size());
  axis.positions.assign(times.size(), std::nullopt);
  axis.half_widths.assign(times.size(), 0);
  std::vector<int> order;
  for (int r = 0; r < rows; ++r) {
    if (times[static_cast<std::size_t>(r)]) order.push_back(r);
  }
  if (order.empty()) return axis;
  const auto time_of = [&times](int row) { return *times[static_cast<std::size_t>(row)]; };
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return time_of(a) < time_of(b); });
  axis.origin = time_of(order.front());
  for (const int r : order) {
    axis.positions[static_cast<std::size_t>(r)] = static_cast<double>(time_of(r) - axis.origin);
  }
  axis.first = 0;
  axis.last = static_cast<double>(time_of(order.back()) - axis.origin);
  axis.dated = DayOf(time_of(order.front())) != DayOf(time_of(order.back()));

  std::vector<double> spacings;  // between neighbours of one run, for bars without a neighbour
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (i == 0 || time_of(order[i]) - time_of(order[i - 1]) > kTimeAxisGapSeconds) {
      axis.runs.emplace_back();
    } else if (time_of(order[i]) > time_of(order[i - 1])) {
      spacings.push_back(static_cast<double>(time_of(order[i]) - time_of(order[i - 1])));
    }
    axis.runs.back().push_back(order[i]);
  }
  double typical = kLoneBarRoom;
  if (!spacings.empty()) {
    std::nth_element(spacings.begin(), spacings.begin() + std::ssize(spacings) / 2, spacings.end());
    typical = spacings[spacings.size() / 2];
  }
  for (const std::vector<int>& run : axis.runs) {
    for (std::size_t i = 0; i < run.size(); ++i) {
      // The room to the nearest row of the run on either side that stands at another time.
      double room = 0;
      for (const int step : {-1, 1}) {
        for (auto j = static_cast<std::ptrdiff_t>(i) + step; j >= 0 && j < std::ssize(run);
             j += step) {
          const std::int64_t distance =
              std::llabs(time_of(run[static_cast<std::size_t>(j)]) - time_of(run[i]));
          if (distance == 0) continue;
          if (room == 0 || static_cast<double>(distance) < room)
            room = static_cast<double>(distance);
          break;
        }
      }
      axis.half_widths[static_cast<std::size_t>(run[i])] =
          kBarShare * (room > 0 ? std::min(room, typical) : typical);
    }
  }
  return axis;
}

int TimeAxis::NearestRow(double position, double tolerance) const {
  int best = -1;
  double best_distance = tolerance;
  for (const std::vector<int>& run : runs) {
    // Each run is in time order: the nearest row of a run stands beside the insertion point.
    const auto at = std::lower_bound(run.begin(), run.end(), position, [this](int row, double p) {
      return *positions[static_cast<std::size_t>(row)] < p;
    });
    for (auto it = at == run.begin() ? at : at - 1; it != run.end() && it <= at; ++it) {
      const double distance = std::abs(*positions[static_cast<std::size_t>(*it)] - position);
      if (distance <= best_distance) {
        best_distance = distance;
        best = *it;
      }
    }
  }
  return best;
}

int TimeAxis::RowsBetween(double low, double high) const {
  return static_cast<int>(std::count_if(positions.begin(), positions.end(), [&](const auto& p) {
    return p && *p >= low && *p <= high;
  }));
}

std::vector<TimeTick> TimeTicks(const TimeAxis& axis, double low, double high, double max_ticks) {
  std::vector<TimeTick> ticks;
  if (!(high > low) || !(max_ticks >= 1) || axis.empty()) return ticks;
  const std::int64_t interval = TickInterval((high - low) / max_ticks);
  // Ticks stand on whole multiples of the interval in clock time, not after the first record.
  const auto start = static_cast<std::int64_t>(
      std::ceil((static_cast<double>(axis.origin) + low) / static_cast<double>(interval)));
  for (std::int64_t k = start;; ++k) {
    const std::int64_t seconds = k * interval;
    const auto position = static_cast<double>(seconds - axis.origin);
    if (position > high) break;
    ticks.push_back({position, TickLabel(seconds, interval, axis.dated)});
  }
  return ticks;
}

}  // namespace talphex
