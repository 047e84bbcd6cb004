#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) and runs each, as a CTest test, for a bounded time from its
# seed corpus.
#   scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
CC=clang CXX=clang++ "$root/scripts/build.sh" "$root/build-fuzz" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORE_BUILD_TESTS=OFF -DCORE_BUILD_BENCH=OFF \
  -DCORE_BUILD_FUZZ=ON "-DCORE_FUZZ_SECONDS=$seconds" "-DCMAKE_CXX_FLAGS=$flags" \
  "-DCMAKE_SHARED_LINKER_FLAGS=$flags" "-DCMAKE_EXE_LINKER_FLAGS=$flags"
cd "$root/build-fuzz"
ctest --output-on-failure
