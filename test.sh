#!/usr/bin/env bash
# Builds and runs every test suite, then the same tests under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
cd "$ROOT"
scripts/install-deps.sh

JOBS="$(nproc)"
echo "== build and test (release) =="
scripts/build.sh build -DVANTREL_WERROR=ON -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG"
ctest --test-dir build --output-on-failure -j "$JOBS"

echo "== build and test (AddressSanitizer + UndefinedBehaviorSanitizer) =="
scripts/build.sh build-asan -DVANTREL_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1" -DVANTREL_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$JOBS"

echo "== board and usb tests (ThreadSanitizer) =="
if [[ ! -f build-tsan/build.ninja ]]; then
  cmake -S "$ROOT" -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TSAN=ON -DVANTREL_WERROR=ON >/dev/null
else
  cmake -S "$ROOT" -B build-tsan >/dev/null
fi
cmake --build build-tsan --target board_tests usb_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build-tsan/tests/usb_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build-tsan/tests/board_tests
