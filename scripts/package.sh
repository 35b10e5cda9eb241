#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian packages talphex-cli and talphex-decoder in build/package from the release
# build: installs what packaging needs (dpkg-dev for dpkg-shlibdeps, file, lintian), builds the
# programs, runs cpack and checks the packages with lintian. Fails when dpkg-shlibdeps found no
# library dependencies, since such a package would install without the libraries it needs.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh package
cmake --preset release >/dev/null
cmake --build --preset release --target talphex-cli talphex-decoder talphex_gzipped_docs
tests/package/package_test.sh build/release build/package
