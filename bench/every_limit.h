// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/monitor/limits.h"
#include "core/view/field_catalogue.h"

namespace talphex {

// A limit on every field and a rule on every flag, as the benchmarks judge records by: the
// battery voltage of the generated capture crosses its yellow limit every 20 beacons and its
// status bytes change at every payload record (see AddSyntheticFrame).
inline Limits EveryLimit() {
  Limits limits;
  for (int field = 0; field < kFieldCount; ++field) {
    limits.fields.push_back({.field = field,
                             .red_low = -1e9,
                             .yellow_low = -1e8,
                             .yellow_high = 1e8,
                             .red_high = 1e9,
                             .persistence = 2});
  }
  limits.fields[4].yellow_high = 8.0;
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    limits.flags.push_back({lamp, lamp % 2 == 0 ? FlagRule::kWatch : FlagRule::kShouldBe0});
  }
  return limits;
}

}  // namespace talphex
