#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the files that describe the programs to the system, failing on any message, hints and
# informational notes included:
#   metadata_test.sh man FILE...       man pages rendered by groff -ww and by man -l
#   metadata_test.sh desktop FILE      desktop-file-validate
#   metadata_test.sh appstream FILE    appstreamcli validate --pedantic --no-net
set -euo pipefail
check=$1
shift

# Runs a command; fails when it fails or prints anything on `stream` (1 or 2).
quiet() {
  local stream=$1 output
  shift
  if [ "$stream" = 2 ]; then
    output=$("$@" 2>&1 >/dev/null) || { echo "$output"; echo "failed: $*"; return 1; }
  else
    output=$("$@" 2>&1) || { echo "$output"; echo "failed: $*"; return 1; }
  fi
  [ -z "$output" ] || { echo "$output"; echo "messages from: $*"; return 1; }
}

case "$check" in
  man)
    for page in "$@"; do
      quiet 2 env LC_ALL=C.UTF-8 groff -ww -man -Tutf8 "$page"
      quiet 2 env LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l "$page"
      echo "$page: no warnings"
    done
    ;;
  desktop)
    quiet 1 desktop-file-validate "$1"
    echo "$1: valid"
    ;;
  appstream)
    output=$(appstreamcli validate --pedantic --no-net --no-color "$1" 2>&1) || {
      echo "$output"; exit 1; }
    echo "$output"
    ! grep -qE '^[EWIP]:' <<<"$output" || { echo "$1: not clean"; exit 1; }
    ;;
  *)
    echo "unknown check: $check" >&2
    exit 2
    ;;
esac
