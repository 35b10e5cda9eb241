#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets (preset "fuzz": clang 14, ASan + UBSan) and runs each for a
# bounded time over its corpus. New inputs go to a scratch folder under build/fuzz, so the seed
# corpus in the repository only changes by hand; a crash leaves its input in build/fuzz/findings.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     default: 60 s, every target
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_capture_loader fuzz_ascii85 fuzz_conf_ini fuzz_satnogs_lines fuzz_report_writer)

if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]" >&2
  exit 2
fi

./scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

findings=build/fuzz/findings
mkdir -p "$findings"
status=0
for target in "${targets[@]}"; do
  seeds=tests/fuzz/corpus/$target
  work=build/fuzz/corpus/$target
  if [ ! -d "$seeds" ]; then
    echo "no seed corpus for $target at $seeds" >&2
    exit 2
  fi
  mkdir -p "$work"
  # The loader needs inputs past the longest KISS part it keeps (64 KiB) to reach that path.
  max_len=4096
  [ "$target" = fuzz_capture_loader ] && max_len=70000
  echo "== $target: ${seconds} s =="
  log=build/fuzz/$target.log
  if ! "build/fuzz/tests/fuzz/$target" "$work" "$seeds" -max_total_time="$seconds" \
      -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$findings/$target-" >"$log" 2>&1; then
    echo "$target: FINDING, see $log and $findings" >&2
    status=1
  fi
  # The last status line carries executions, coverage (cov) and features (ft).
  grep -E '^#[0-9]+' "$log" | tail -1 || true
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true
done
exit $status
