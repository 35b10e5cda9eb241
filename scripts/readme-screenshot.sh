#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes docs/screenshot.png, the README's picture: the real window under Xvfb with the bundled
# sample pass loaded (field 17 charted, record 1 on view). Builds the program first when needed.
# TALPHEX_BUILD_DIR names an existing build folder to use instead of the release preset's.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
build_dir=${TALPHEX_BUILD_DIR:-}
if [ -z "$build_dir" ]; then
  cmake --preset release >/dev/null
  build_dir=build/release
fi
cmake --build "$build_dir" --target talphex-decoder

# Neither the user's conf.ini nor their locale may change the picture.
config_home=$(mktemp -d)
trap 'rm -rf "$config_home"' EXIT
mkdir -p docs
env XDG_CONFIG_HOME="$config_home" LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build_dir/src/app/talphex-decoder" --screenshot docs/screenshot.png data/sample-pass.kss
echo "docs/screenshot.png written"
