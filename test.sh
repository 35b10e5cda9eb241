#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds and runs every test, two at a time (tests that cannot share the machine are marked to run
# alone), in three builds that each add what the others cannot:
#   core     the tree without Qt, which proves the core and the command-line decoder build
#            without it, and the tests of that tree (core, CLI, fuzz corpora, man pages, README)
#   default  the tests that need the window (label "window": GUI tests, the packages, Dire Wolf
#            feeding the window), then the naming rules on its compile commands
#   asan     every test under AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")"

./scripts/setup.sh test
# The user's own settings and limits.ini stay out of the tests.
XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
./scripts/check-format.sh

run() {
  local preset=$1
  shift
  echo "== $preset build =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" --timeout 300 "$@"
}
run core
run default -L window
./scripts/clang-tidy.sh build/default
run asan
