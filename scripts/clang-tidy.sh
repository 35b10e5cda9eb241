#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the naming rules of .clang-tidy on the sources of the programs, the test kit, the tools
# and the benchmarks in a configured build
# (default: build/default; pass another build folder as the first argument).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
[ -f "$build/compile_commands.json" ] || cmake --preset default >/dev/null
run-clang-tidy-14 -quiet -p "$build" -extra-arg=-Wno-unknown-warning-option \
  "$PWD/(src|testkit|tools|bench)/" >"$build/clang-tidy.log" 2>&1 || {
  grep -E 'error:|warning:' "$build/clang-tidy.log" | sort -u >&2
  echo "clang-tidy: naming rules broken (full log: $build/clang-tidy.log)" >&2
  exit 1
}
echo "clang-tidy: naming rules hold"
