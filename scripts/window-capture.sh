#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Time and memory of the window on big captures (not a test). For each SIZE_MB (default 100 and
# 2048) it generates a capture in a temporary folder and measures with /usr/bin/time the summary
# of talphex-cli and talphex-decoder --screenshot (offscreen). Fails when the window's peak memory
# reaches 150 MB for a capture up to 100 MB or 250 MB for a bigger one, or its wall time passes
# three times the summary's plus one second. Then opens a 25 MB capture six times in the window
# (build/release/bench/bench_window), which prints the memory after each open and the frame
# inspector's scrolling.
#
#   scripts/window-capture.sh [SIZE_MB...]
set -euo pipefail
cd "$(dirname "$0")/.."

sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100 2048)
for size_mb in "${sizes[@]}"; do
  if ! [[ $size_mb =~ ^[0-9]+$ ]] || [ "$size_mb" -eq 0 ]; then
    echo "usage: scripts/window-capture.sh [SIZE_MB...]" >&2
    exit 2
  fi
done

cmake --preset release >/dev/null
cmake --build --preset release --target talphex-cli talphex-decoder make-big-capture bench_window
bin=build/release
work=$(mktemp -d "${TMPDIR:-/tmp}/talphex-window-XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

status=0
# Prints "SECONDS KB" of a command run under /usr/bin/time.
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || {
    cat "$work/err.txt" >&2
    return 1
  }
  cat "$work/time.txt"
}

for size_mb in "${sizes[@]}"; do
  capture=$work/big.kss
  "$bin/tools/make-big-capture" "$capture" "$size_mb"
  read -r cli_s cli_kb < <(measure "$bin/src/app/talphex-cli" "$capture")
  read -r win_s win_kb < <(measure "$bin/src/app/talphex-decoder" --screenshot "$work/shot.png" \
    "$capture")
  limit_kb=$((size_mb <= 100 ? 150 * 1024 : 250 * 1024))
  echo "${size_mb} MB: talphex-cli ${cli_s} s ${cli_kb} KB; talphex-decoder --screenshot" \
    "${win_s} s ${win_kb} KB"
  if [ "$win_kb" -ge "$limit_kb" ]; then
    echo "${size_mb} MB: window peak memory ${win_kb} KB, limit ${limit_kb} KB" >&2
    status=1
  fi
  if awk -v w="$win_s" -v c="$cli_s" 'BEGIN { exit !(w > 3 * c + 1) }'; then
    echo "${size_mb} MB: window ${win_s} s, more than 3 x ${cli_s} s + 1 s" >&2
    status=1
  fi
  rm -f "$capture"
done

"$bin/tools/make-big-capture" "$work/reopened.kss" 25
"$bin/bench/bench_window" "$work/reopened.kss" 6
exit $status
