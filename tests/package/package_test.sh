#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the current build, checks it with lintian (any error or warning
# fails), unpacks it into a temporary folder and runs the unpacked command-line decoder on the
# unpacked sample capture.
set -euo pipefail
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  exit 1
}
deb=$(find "$work/out" -maxdepth 1 -name '*.deb' | head -n 1)
[ -n "$deb" ] || { echo "no .deb was made"; exit 1; }

# Informational tags are shown but do not fail the test.
lintian --display-info --fail-on error,warning --no-tag-display-limit "$deb" || {
  echo "lintian found errors or warnings in $(basename "$deb")"; exit 1; }

depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
for package in libstdc++6 libqt6widgets6 libqt6charts6 qt6-qpa-plugins; do
  grep -q "$package" <<<"$depends" || { echo "Depends lacks $package"; exit 1; }
done
dpkg -x "$deb" "$work/root"
for file in usr/bin/talphex-cli usr/bin/talphex-decoder usr/share/talphex/sample-pass.kss \
            usr/share/man/man1/talphex-cli.1.gz usr/share/man/man1/talphex-decoder.1.gz \
            usr/share/doc/talphex-decoder/copyright usr/share/doc/talphex-decoder/changelog.Debian.gz \
            usr/share/applications/talphex-decoder.desktop \
            usr/share/mime/packages/talphex-kiss-capture.xml \
            usr/share/icons/hicolor/scalable/apps/talphex-decoder.svg \
            usr/share/metainfo/org.talphex.decoder.metainfo.xml; do
  [ -e "$work/root/$file" ] || { echo "missing in package: $file"; exit 1; }
done

"$work/root/usr/bin/talphex-cli" --version | grep -q '^talphex-cli 0\.3' || {
  echo "unexpected --version output"; exit 1; }
# Help and version must work without a display.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/root/usr/bin/talphex-decoder" --version |
  grep -q '^talphex-decoder 0\.3' || { echo "talphex-decoder --version failed"; exit 1; }
summary=$("$work/root/usr/bin/talphex-cli" "$work/root/usr/share/talphex/sample-pass.kss")
echo "$summary"
grep -q '^total: 86 beacon frames, 26 payload frames, 0 skipped$' <<<"$summary" || {
  echo "unexpected decode of the packaged sample"; exit 1; }
echo "package test passed: $(basename "$deb")"
