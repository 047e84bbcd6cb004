#!/usr/bin/env bash
# Configures and builds one flavour of the tree.
#   scripts/build.sh <build-dir> [extra cmake arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S "$root" -B "$dir" "${generator[@]}" "$@" >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
