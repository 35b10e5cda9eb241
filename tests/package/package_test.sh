#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the two Debian packages (talphex-cli, talphex-decoder) from a build folder, twice, and
# checks them: both runs give the same bytes; lintian --pedantic finds no error, warning or
# pedantic tag; dpkg-shlibdeps found the libraries (talphex-cli needs only the C and C++
# run-time libraries, talphex-decoder Qt); each package holds its files; the unpacked programs
# name their licence and decode the packaged sample.
#   package_test.sh BUILD_DIR [OUT_DIR]   OUT_DIR keeps the packages (default: a temporary folder)
set -euo pipefail
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=${2:-$work/out}
mkdir -p "$out"

make_packages() {
  rm -f "$1"/*.deb
  cpack --config "$build_dir/CPackConfig.cmake" -B "$1" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"; exit 1; }
  # Without dpkg-shlibdeps cpack only warns and writes packages without their libraries.
  if grep -i 'shlibdeps' "$work/cpack.log"; then
    echo "cpack could not compute the library dependencies (is dpkg-dev installed?)"; exit 1
  fi
}
make_packages "$out"
make_packages "$work/again"
cli=$(find "$out" -maxdepth 1 -name 'talphex-cli_*.deb')
decoder=$(find "$out" -maxdepth 1 -name 'talphex-decoder_*.deb')
[ -n "$cli" ] && [ -n "$decoder" ] || { echo "expected two packages, got:"; ls "$out"; exit 1; }
for deb in "$cli" "$decoder"; do
  md5=$(md5sum <"$deb" | cut -d' ' -f1)
  echo "$(basename "$deb"): md5 $md5"
  cmp -s "$deb" "$work/again/$(basename "$deb")" || {
    echo "$(basename "$deb") differs between two cpack runs"; exit 1; }
done

# Informational tags are shown but do not fail the test.
lintian --pedantic --display-info --fail-on error,warning,pedantic --tag-display-limit 0 \
  "$cli" "$decoder" || { echo "lintian found errors, warnings or pedantic tags"; exit 1; }

# Depends must hold exactly the expected libraries, and at least one: dpkg-shlibdeps found them.
check_depends() {
  local deb=$1 allowed=$2 required=$3 depends
  depends=$(dpkg-deb --field "$deb" Depends)
  echo "$(basename "$deb") Depends: $depends"
  for package in $required; do
    grep -qw -- "$package" <<<"$depends" || { echo "Depends lacks $package"; exit 1; }
  done
  for package in $(tr ',' '\n' <<<"$depends" | sed 's/ *(.*//; s/ //g'); do
    grep -qxE "$allowed" <<<"$package" || { echo "unexpected dependency: $package"; exit 1; }
  done
}
check_depends "$cli" 'libc6|libgcc-s1|libstdc\+\+6|libmosquitto1|libcurl4' \
  'libc6 libstdc++6 libmosquitto1 libcurl4'
check_depends "$decoder" \
  'libc6|libgcc-s1|libstdc\+\+6|libqt6[a-z0-9]*|qt6-qpa-plugins|libmosquitto1|libcurl4' \
  'libc6 libstdc++6 libqt6widgets6 libqt6charts6 qt6-qpa-plugins libmosquitto1 libcurl4'

dpkg -x "$cli" "$work/cli"
dpkg -x "$decoder" "$work/decoder"
check_files() {
  local root=$1 file
  shift
  for file in "$@"; do
    [ -e "$root/$file" ] || { echo "missing in package: $file"; exit 1; }
  done
}
check_files "$work/cli" usr/bin/talphex-cli usr/share/talphex/sample-pass.kss \
  usr/share/talphex/limits.example.ini \
  usr/share/man/man1/talphex-cli.1.gz usr/share/doc/talphex-cli/copyright \
  usr/share/doc/talphex-cli/changelog.Debian.gz
check_files "$work/decoder" usr/bin/talphex-decoder usr/share/man/man1/talphex-decoder.1.gz \
  usr/share/doc/talphex-decoder/copyright usr/share/doc/talphex-decoder/changelog.Debian.gz \
  usr/share/applications/talphex-decoder.desktop usr/share/mime/packages/talphex-kiss-capture.xml \
  usr/share/icons/hicolor/scalable/apps/talphex-decoder.svg \
  usr/share/metainfo/org.talphex.decoder.metainfo.xml
# One file in two packages would stop the second from installing.
if [ -e "$work/decoder/usr/bin/talphex-cli" ] || [ -e "$work/cli/usr/bin/talphex-decoder" ]; then
  echo "a program is in the other's package"; exit 1
fi

version_re='^talphex-(cli|decoder) 0\.3$'
licence_re='GPL-3.0-or-later.*/usr/share/common-licenses/GPL-3'
cli_version=$("$work/cli/usr/bin/talphex-cli" --version)
# Help and version must work without a display.
decoder_version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  "$work/decoder/usr/bin/talphex-decoder" --version)
for text in "$cli_version" "$decoder_version"; do
  head -n 1 <<<"$text" | grep -qE "$version_re" && grep -qE "$licence_re" <<<"$text" || {
    echo "unexpected --version output:"; echo "$text"; exit 1; }
done
summary=$("$work/cli/usr/bin/talphex-cli" "$work/cli/usr/share/talphex/sample-pass.kss")
echo "$summary"
grep -q '^total: 86 beacon frames, 26 payload frames, 0 skipped$' <<<"$summary" || {
  echo "unexpected decode of the packaged sample"; exit 1; }
echo "package test passed: $(basename "$cli") $(basename "$decoder")"
