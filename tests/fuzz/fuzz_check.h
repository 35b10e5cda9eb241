#pragma once

#include <cstdio>
#include <cstdlib>

namespace talphex::fuzz {

// Aborts with `what` on standard error when `condition` fails, so that libFuzzer keeps the input.
inline void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace talphex::fuzz
