#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the programs (release preset) and runs them, so that nobody needs to know the build
# folder:
#   ./run.sh [CAPTURE...]   opens the window on the captures (the bundled sample when none);
#                           without a display, prints the command-line decoder's summary of them
#   ./run.sh --cli ARGS...  runs the command-line decoder talphex-cli with ARGS
# Paths are taken as given, from the folder it is started in. With TALPHEX_BUILD_DIR set, the
# programs of that build folder are run as they are, without building.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)

if [ -n "${TALPHEX_BUILD_DIR:-}" ]; then
  build=$TALPHEX_BUILD_DIR
else
  # Build messages go to standard error, so that the decoder's standard output stays its own.
  (
    cd "$root"
    ./scripts/setup.sh run
    cmake --preset release >/dev/null
    cmake --build --preset release --target talphex-decoder talphex-cli
  ) >&2
  build=$root/build/release
fi
cli=$build/src/app/talphex-cli
decoder=$build/src/app/talphex-decoder

if [ "${1:-}" = --cli ]; then
  shift
  exec "$cli" "$@"
fi
[ $# -gt 0 ] || set -- "$root/data/sample-pass.kss"
if [ ! -x "$decoder" ]; then
  echo "talphex-decoder is not built: printing the summary of $* instead." >&2
elif [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: printing the summary of $* instead of opening the window." >&2
else
  exec "$decoder" "$@"
fi
exec "$cli" "$@"
