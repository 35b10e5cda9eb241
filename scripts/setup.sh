#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the project needs, when any is missing.
#   scripts/setup.sh run      what building and running the programs need (./run.sh)
#   scripts/setup.sh package  that and what making and checking the Debian packages needs
#                             (scripts/package.sh)
#   scripts/setup.sh test     that and what the tests, the fuzz targets and the package checks need
#                             (./test.sh; the default)
set -euo pipefail

run_packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-svg-dev
  libcli11-dev libmosquitto-dev libcurl4-openssl-dev fonts-dejavu-core
)
package_packages=(dpkg-dev file lintian)
test_packages=(
  clang-format libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth time
  clang-14 clang-tidy-14 libclang-rt-14-dev libfuzzer-14-dev
  appstream desktop-file-utils groff-base man-db
  direwolf influxdb curl mosquitto mosquitto-clients strace
  python3 python3-pandas
)

case "${1:-test}" in
  run) packages=("${run_packages[@]}") ;;
  package) packages=("${run_packages[@]}" "${package_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${package_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 [run|package|test]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
