#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test: the plain build, the
# address/undefined-behaviour sanitizer build (all tests), the thread
# sanitizer build (the concurrency tests), the Debian packages (lintian, and
# the consumer built against them) and a bounded fuzzing run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh

jobs=$(nproc)
status=0

echo "== plain build, and the API reference (an undocumented member fails it)"
scripts/build.sh build
cmake --build build --target docs || status=1
(cd build && ctest --output-on-failure -j "$jobs") || status=1

echo "== address and undefined-behaviour sanitizers"
san_flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DCORE_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=$san_flags" "-DCMAKE_EXE_LINKER_FLAGS=$san_flags" \
  "-DCMAKE_SHARED_LINKER_FLAGS=$san_flags"
(cd build-asan &&
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j "$jobs" -LE packaging) || status=1

echo "== thread sanitizer (concurrency tests)"
tsan_flags="-fsanitize=thread -fno-omit-frame-pointer"
scripts/build.sh build-tsan -DCMAKE_BUILD_TYPE=Debug -DCORE_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=$tsan_flags" "-DCMAKE_EXE_LINKER_FLAGS=$tsan_flags" \
  "-DCMAKE_SHARED_LINKER_FLAGS=$tsan_flags"
(cd build-tsan &&
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp" \
  ctest --output-on-failure -L concurrency) || status=1

echo "== Debian packages (lintian errors fail), extracted and used by the consumer"
if scripts/package.sh; then
  cmake -DDEB_DIR="$root/build-package" -DLIBDIR="lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)" \
    -DCONSUMER_DIR="$root/tests/packaging/consumer" -DWORK_DIR="$root/build-package/consumer-work" \
    -P tests/packaging/build_consumer.cmake || status=1
else
  status=1
fi

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing"
  scripts/fuzz.sh || status=1
fi

if [ $status -ne 0 ]; then
  echo "SOME TESTS FAILED"
fi
exit $status
