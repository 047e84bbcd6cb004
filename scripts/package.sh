#!/usr/bin/env bash
# Builds the Debian packages libcore1, libcore-dev and dbupdate into
# build-package/ and checks them with lintian (errors fail).
#   scripts/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
dir=build-package
scripts/build.sh "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DCORE_BUILD_TESTS=OFF -DCORE_BUILD_BENCH=OFF -DCORE_INSTALL_RPATH=OFF
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/*.deb
if command -v lintian >/dev/null; then
  lintian --fail-on error "$dir"/*.deb
fi
