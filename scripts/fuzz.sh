#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) and runs each for a bounded time from its seed corpus.
#   scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
CC=clang CXX=clang++ "$root/scripts/build.sh" "$root/build-fuzz" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORE_BUILD_TESTS=OFF -DCORE_BUILD_BENCH=OFF \
  -DCORE_BUILD_FUZZ=ON "-DCMAKE_CXX_FLAGS=$flags" "-DCMAKE_SHARED_LINKER_FLAGS=$flags" \
  "-DCMAKE_EXE_LINKER_FLAGS=$flags"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in clotcurve; do
  mkdir -p "$work/$target"
  echo "fuzzing $target for ${seconds}s"
  ASAN_OPTIONS=detect_leaks=1 "$root/build-fuzz/tests/fuzz/fuzz_$target" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=256 -print_final_stats=1 \
    "$work/$target" "$root/tests/fuzz/corpus" 2>&1 | tail -n 12
done
