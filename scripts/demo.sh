#!/usr/bin/env bash
# Sets up the machine, builds the tree and installs it into ./demo/install.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
scripts/build.sh build
cmake --install build --prefix "$root/demo/install" >/dev/null
echo "Installed into $root/demo/install"
