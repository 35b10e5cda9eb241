#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Memory check on a big capture (not a test): generates a capture of SIZE_MB (default 2048) in a
# temporary folder, decodes it with talphex-cli and reports wall time and peak memory from
# /usr/bin/time -v, once for the summary alone and once writing every record to every export, which
# are streamed while the capture loads; then the same on a capture of as many minimal frames as
# the size holds (2 M frames in 23 MB), and on a SatNOGS frame export of the first capture's
# frames, each a line of its own and none a duplicate (2 M lines in 316 MB). The JSON lines and line protocol of 2 GB would fill some
# 60 GB: they go through links to /dev/null, which is written in place with the same work. The
# captures and outputs are removed afterwards. Fails when a peak exceeds 64 MB.
#
#   scripts/big-capture.sh [SIZE_MB]
set -euo pipefail
cd "$(dirname "$0")/.."

size_mb=${1:-2048}
limit_kb=$((64 * 1024))
if ! [[ $size_mb =~ ^[0-9]+$ ]] || [ "$size_mb" -eq 0 ]; then
  echo "usage: scripts/big-capture.sh [SIZE_MB]" >&2
  exit 2
fi

./scripts/setup.sh
build=build/big-capture
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALPHEX_BUILD_GUI=OFF \
  -DTALPHEX_BUILD_TESTS=OFF -DTALPHEX_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target talphex-cli make-big-capture

work=$(mktemp -d "${TMPDIR:-/tmp}/talphex-big-XXXXXX")
trap 'rm -rf "$work"' EXIT
capture=$work/big.kss

# Two outputs may not name one path: each discarded export gets a link of its own to /dev/null.
ln -s /dev/null "$work/discard.jsonl"
ln -s /dev/null "$work/discard.lp"

status=0
# Runs talphex-cli under /usr/bin/time -v and prints time, throughput and peak memory.
measure() {
  local name=$1
  shift
  if ! /usr/bin/time -v -o "$work/time.txt" "$build/src/app/talphex-cli" "$@" >"$work/out.txt" \
      2>"$work/err.txt"; then
    echo "$name: talphex-cli failed:" >&2
    cat "$work/err.txt" >&2
    status=1
    return
  fi
  local wall peak_kb seconds
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
  peak_kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
  seconds=$(awk -F: '{ s = 0; for (i = 1; i <= NF; ++i) s = s * 60 + $i; print s }' <<<"$wall")
  printf '%s: wall %s (%.0f MB/s), peak memory %.1f MB\n' "$name" "$wall" \
    "$(awk -v b="$bytes" -v s="$seconds" 'BEGIN { print (s > 0 ? b / 1048576 / s : 0) }')" \
    "$(awk -v k="$peak_kb" 'BEGIN { print k / 1024 }')"
  if [ "$peak_kb" -gt "$limit_kb" ]; then
    echo "$name: peak memory above 64 MB" >&2
    status=1
  fi
}

for kind in synthetic minimal satnogs; do
  echo "== generating ${size_mb} MB of $kind frames in $work =="
  flags=()
  [ $kind != synthetic ] && flags=(--$kind)
  "$build/tools/make-big-capture" "${flags[@]}" "$capture" "$size_mb"
  bytes=$(stat -c %s "$capture")
  echo "== decoding $bytes bytes =="
  measure "summary" "$capture"
  grep '^total:' "$work/out.txt"
  measure "every export, every record" --csv "$work/big.csv" --payload-csv "$work/big-payload.csv" \
    --tlm "$work/big.tlm" --analysis-csv "$work/big-analysis.csv" --jsonl "$work/discard.jsonl" \
    --influx "$work/discard.lp" "$capture"
  rm -f "$work"/big*
done
exit $status
