// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/monitor/band_compare.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace talphex {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Values that sit on, just beside and far from the band [-1, 2], and the ones with no order.
constexpr std::array<double, 12> kProbes = {-1.0,
                                            2.0,
                                            -1.0000000000000002,
                                            2.0000000000000004,
                                            -0.9999999999999999,
                                            1.9999999999999998,
                                            0.0,
                                            -1e300,
                                            1e300,
                                            -kInf,
                                            kInf,
                                            kNaN};
// Which of kProbes lie outside [-1, 2]: below -1 or above 2, never NaN.
constexpr std::array<bool, 12> kOutside = {false, false, true, true, false, false,
                                           false, true,  true, true, true,  false};

// Every probe at every slot of a row, the others inside, so that a compare that mixes
// up slots, vectors or the bit order, or takes a NaN for outside, shows.
template <std::size_t kCount, typename Compare>
void ExpectEachProbeAtEachSlot(Compare compare) {
  std::array<double, kCount> low{}, high{}, values{};
  low.fill(-1.0);
  high.fill(2.0);
  for (std::size_t slot = 0; slot < kCount; ++slot) {
    for (std::size_t probe = 0; probe < kProbes.size(); ++probe) {
      values.fill(0.5);
      values[slot] = kProbes[probe];
      const std::uint64_t expected = kOutside[probe] ? std::uint64_t{1} << slot : 0;
      EXPECT_EQ(compare(values.data(), low.data(), high.data()), expected)
          << "slot " << slot << ", value " << kProbes[probe];
    }
  }
}

TEST(BandCompare, EachPathFindsExactlyTheValuesOutsideTheirBands) {
  ExpectEachProbeAtEachSlot<36>(OutsideBitsScalar<36>);
  ExpectEachProbeAtEachSlot<12>(OutsideBitsScalar<12>);
#if defined(TALPHEX_HAVE_AVX2_PATH)
  if (!HaveAvx2()) GTEST_SKIP() << "this processor has no four-at-a-time compares";
  ExpectEachProbeAtEachSlot<36>(OutsideBitsAvx2<36>);
  ExpectEachProbeAtEachSlot<12>(OutsideBitsAvx2<12>);
#endif
}

TEST(BandCompare, PathsAgreeOnRowsWithManyValuesOutside) {
  // Bands of every shape a judge sets: whole, one-sided, one value wide, empty.
  std::mt19937_64 random(7);
  std::uniform_int_distribution<std::size_t> pick(0, kProbes.size() - 1);
  constexpr std::array<std::array<double, 2>, 5> kBands = {
      {{-kInf, kInf}, {-1.0, kInf}, {-kInf, 2.0}, {2.0, 2.0}, {kInf, -kInf}}};
  for (int row = 0; row < 2000; ++row) {
    std::array<double, 36> low{}, high{}, values{};
    std::uint64_t expected = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
      const auto& band = kBands[pick(random) % kBands.size()];
      low[i] = band[0];
      high[i] = band[1];
      values[i] = kProbes[pick(random)];
      if (values[i] < low[i] || values[i] > high[i]) expected |= std::uint64_t{1} << i;
    }
    ASSERT_EQ(OutsideBitsScalar<36>(values.data(), low.data(), high.data()), expected);
    ASSERT_EQ(OutsideBits<36>(HaveAvx2(), values.data(), low.data(), high.data()), expected);
  }
}

}  // namespace
}  // namespace talphex
