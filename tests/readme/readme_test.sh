#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the README's commands as a reader types them: every fenced sh block, in a fresh folder
# that holds run.sh, scripts/ and data/ of the source tree and build/release pointing at the
# build under test (TALPHEX_BUILD_DIR has ./run.sh run that build as it is). A block whose first
# line is a "# Needs ..." comment (a radio, a display, root) is skipped, and so is the line
# ./test.sh, which is what runs this test. The README must also stay under 150 lines.
#   readme_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
readme=$source_dir/README.md
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

lines=$(wc -l <"$readme")
[ "$lines" -lt 150 ] || { echo "README.md has $lines lines; it should stay under 150"; exit 1; }

mkdir -p "$work/blocks" "$work/root/build"
for entry in run.sh scripts data; do ln -s "$source_dir/$entry" "$work/root/$entry"; done
ln -s "$build_dir" "$work/root/build/release"
awk -v dir="$work/blocks" '
  /^```sh$/ { inside = 1; ++count; next }
  /^```/ { inside = 0; next }
  inside { print > sprintf("%s/%02d.sh", dir, count) }
' "$readme"

ran=0
for block in "$work"/blocks/*.sh; do
  if head -n 1 "$block" | grep -q '^# Needs '; then
    echo "== skipped: $(head -n 1 "$block")"
    continue
  fi
  grep -v '^\./test\.sh' "$block" >"$block.run" || true
  echo "== running:"
  sed 's/^/   /' "$block.run"
  (cd "$work/root" && env -u DISPLAY -u WAYLAND_DISPLAY TALPHEX_BUILD_DIR="$build_dir" \
    bash -e "$block.run") || { echo "README block $(basename "$block" .sh) failed"; exit 1; }
  ran=$((ran + 1))
done
# The quick start, decoding a pass and the analysis exports at least.
[ "$ran" -ge 4 ] || { echo "only $ran README blocks ran"; exit 1; }
echo "README: $lines lines, $ran blocks ran"
