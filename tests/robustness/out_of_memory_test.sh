#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# An allocation failure ends talphex-cli with a message and exit status 1, not an abort. Memory
# does not grow with the input, so the address space is limited to 1 MB more than reading the
# sample capture from standard input needs (found by bisection, whatever the build): a SatNOGS
# frame export then takes its window of recent frames (2 MiB) on top, and that allocation fails.
#   out_of_memory_test.sh TALPHEX_CLI SAMPLE_CAPTURE
cli=$1
sample=$2
# Whether the sample decodes under an address-space limit of $1 KB.
reads_under() {
  (ulimit -v "$1" && exec "$cli" --csv /dev/null - <"$sample" >/dev/null 2>&1)
}
low=0
high=200000
if ! reads_under $high; then
  echo "the sample does not decode under $high KB"
  exit 1
fi
while [ $((high - low)) -gt 32 ]; do
  middle=$(((low + high) / 2))
  if reads_under $middle; then high=$middle; else low=$middle; fi
done
limit=$((high + 1024))
err=$(awk 'BEGIN { for (i = 0; i < 1000; i++) printf "2026-11-14 09:41:03|%030x\n", i }' |
  (ulimit -v $limit && exec "$cli" --csv /dev/null - 2>&1 >/dev/null))
status=$?
if [ "$status" -ne 1 ] || [ "$err" != "talphex-cli: out of memory" ]; then
  echo "expected exit status 1 and \"talphex-cli: out of memory\" under $limit KB, got $status and: $err"
  exit 1
fi
