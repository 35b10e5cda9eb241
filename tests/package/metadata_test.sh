#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the files that describe the programs to the system, failing on any message, hints and
# informational notes included:
#   metadata_test.sh man FILE...       man pages rendered by groff -ww and by man -l
#   metadata_test.sh options PROGRAM MAN_PAGE
#                                      the long options of PROGRAM --help and of the man page's
#                                      OPTIONS section are the same
#   metadata_test.sh desktop FILE      desktop-file-validate
#   metadata_test.sh appstream FILE DESKTOP CHANGELOG
#                                      appstreamcli validate --pedantic --no-net, then the release
#                                      date against the changelog's and the categories against the
#                                      desktop entry's
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
  options)
    # From the help: the option column of lines that start with an option ("-h,--help",
    # "-h, --help", "--csv FILE", "--screenshot <file>").
    help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$1" --help | awk '/^ +-/ {
      for (i = 1; i <= NF && $i ~ /^-/; ++i) {
        n = split($i, names, ",")
        for (j = 1; j <= n; ++j) if (names[j] ~ /^--[a-z]/) print names[j]
      }
    }' | sort -u)
    # From the man page: the option names of the tags in OPTIONS.
    man=$(sed -n '/^\.SH OPTIONS/,/^\.SH [^O]/p' "$2" | grep -E '^\.B[IR]? ' |
      sed 's/\\-/-/g' | grep -oE -- '--[a-z][a-z-]*' | sort -u)
    [ -n "$help" ] || { echo "no options found in $1 --help"; exit 1; }
    if [ "$help" != "$man" ]; then
      echo "options of $1 --help (<) and of $2 (>) differ:"
      diff <(echo "$help") <(echo "$man") | grep '^[<>]'
      exit 1
    fi
    echo "$2: the options of --help:" $help
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
    release=$(sed -n 's/.*<release version="[^"]*" date="\([0-9-]*\)".*/\1/p' "$1" | head -n 1)
    changelog=$(date -u -d "$(dpkg-parsechangelog -l "$3" -S Date)" +%F)
    [ "$release" = "$changelog" ] || {
      echo "release date $release differs from the changelog's $changelog"; exit 1; }
    categories=$(sed -n 's/.*<category>\(.*\)<\/category>.*/\1/p' "$1" | tr '\n' ';')
    desktop_categories=$(sed -n 's/^Categories=//p' "$2")
    [ "$categories" = "$desktop_categories" ] || {
      echo "categories $categories differ from the desktop entry's $desktop_categories"; exit 1; }
    echo "release $release as in the changelog, categories $categories as in the desktop entry"
    ;;
  *)
    echo "unknown check: $check" >&2
    exit 2
    ;;
esac
