#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# An allocation failure ends talphex-cli with a message and exit status 1, not an abort: one
# million distinct SatNOGS frames, each remembered so that a repeat is skipped, read from standard
# input under an address-space limit of 40 MB (a run of the sample needs about 8 MB).
#   out_of_memory_test.sh TALPHEX_CLI
cli=$1
err=$(awk 'BEGIN { for (i = 0; i < 1000000; i++) printf "2026-11-14 09:41:03|%030x\n", i }' |
  (ulimit -v 40000 && exec "$cli" --csv /dev/null - 2>&1 >/dev/null))
status=$?
if [ "$status" -ne 1 ] || [ "$err" != "talphex-cli: out of memory" ]; then
  echo "expected exit status 1 and \"talphex-cli: out of memory\", got $status and: $err"
  exit 1
fi
