#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the program and starts it on the bundled sample capture.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/setup.sh run
cmake --preset release >/dev/null
cmake --build --preset release --target talphex-decoder talphex-cli

sample=data/sample-pass.kss
if [ -x build/release/src/app/talphex-decoder ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/release/src/app/talphex-decoder "$sample" "$@"
fi
[ -x build/release/src/app/talphex-decoder ] && echo "No display found: printing the summary of $sample instead of opening the window."
exec build/release/src/app/talphex-cli "$sample"
