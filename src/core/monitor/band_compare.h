// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace talphex {

// Which of `kCount` values lie below their low or above their high bound, one bit per value from
// the lowest bit on. Not a number compares false both ways: it has no level and changes nothing,
// so it counts as inside. The count is fixed per kind so that the loops unroll, and a multiple of
// the vector width: the bounds are padded with bands that hold everything.
template <std::size_t kCount>
std::uint64_t OutsideBitsScalar(const double* values, const double* low, const double* high) {
  static_assert(kCount <= 64);
  std::uint64_t outside = 0;
  for (std::size_t i = 0; i < kCount; ++i) {
    outside |= static_cast<std::uint64_t>(values[i] < low[i] || values[i] > high[i]) << i;
  }
  return outside;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TALPHEX_HAVE_AVX2_PATH 1
// Four values a compare. The common record of a quiet pass has every value inside its band, so
// the compares are first only gathered into one vector, and the bits are worked out only when
// that vector says some value is outside.
__attribute__((target("avx2"), always_inline)) inline __m256d OutsideQuad(const double* values,
                                                                          const double* low,
                                                                          const double* high) {
  const __m256d value = _mm256_loadu_pd(values);
  return _mm256_or_pd(_mm256_cmp_pd(value, _mm256_loadu_pd(low), _CMP_LT_OQ),
                      _mm256_cmp_pd(value, _mm256_loadu_pd(high), _CMP_GT_OQ));
}

template <std::size_t kCount>
__attribute__((target("avx2"))) std::uint64_t OutsideBitsAvx2(const double* values,
                                                              const double* low,
                                                              const double* high) {
  static_assert(kCount % 4 == 0 && kCount <= 64);
  __m256d any = OutsideQuad(values, low, high);
  for (std::size_t i = 4; i < kCount; i += 4) {
    any = _mm256_or_pd(any, OutsideQuad(values + i, low + i, high + i));
  }
  if (_mm256_testz_pd(any, any) != 0) return 0;
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < kCount; i += 4) {
    const __m256d outside = OutsideQuad(values + i, low + i, high + i);
    bits |= static_cast<std::uint64_t>(_mm256_movemask_pd(outside)) << i;
  }
  return bits;
}

#endif

// Whether this processor runs the four-at-a-time compares.
inline bool HaveAvx2() {
#if defined(TALPHEX_HAVE_AVX2_PATH)
  return __builtin_cpu_supports("avx2") != 0;
#else
  return false;
#endif
}

// Direct calls, not through a pointer: records alternate between the kinds, and one call site
// that alternates between two targets costs a mispredicted branch a record.
template <std::size_t kCount>
std::uint64_t OutsideBits(bool avx2, const double* values, const double* low, const double* high) {
#if defined(TALPHEX_HAVE_AVX2_PATH)
  if (avx2) return OutsideBitsAvx2<kCount>(values, low, high);
#else
  static_cast<void>(avx2);
#endif
  return OutsideBitsScalar<kCount>(values, low, high);
}

}  // namespace talphex
