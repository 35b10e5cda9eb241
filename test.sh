#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds and runs every test: the core alone (no Qt), the default build (then the naming rules)
# and the ASan+UBSan build.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/setup.sh test
./scripts/check-format.sh

for preset in core default asan; do
  echo "== $preset build =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" --timeout 300
  if [ "$preset" = default ]; then ./scripts/clang-tidy.sh build/default; fi
done
