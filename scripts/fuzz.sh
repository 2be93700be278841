#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer into build-fuzz and runs each on its seed corpus:
# fuzz.sh [seconds per target] [target...]   (default 5 seconds, every target of fuzz/corpus/).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
SECONDS_EACH="${1:-5}"
shift || true

if [[ ! -f build-fuzz/build.ninja ]]; then
  CC=clang CXX=clang++ cmake -S "$ROOT" -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DVANTREL_SANITIZE=ON -DVANTREL_FUZZ=ON >/dev/null
fi
cmake --build build-fuzz --target fuzz_targets

targets=("$@")
if ((${#targets[@]} == 0)); then
  for d in fuzz/corpus/*/; do targets+=("$(basename "$d")"); done
fi
mkdir -p build-fuzz/artifacts build-fuzz/logs
for t in "${targets[@]}"; do
  # New inputs go to build-fuzz/corpus/<target>; the committed seeds are only read.
  mkdir -p "build-fuzz/corpus/$t"
  log="build-fuzz/logs/$t.log"
  if ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "build-fuzz/fuzz/${t}_fuzz" -max_total_time="$SECONDS_EACH" -timeout=20 \
      -artifact_prefix="build-fuzz/artifacts/$t-" "build-fuzz/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
    echo "$t: $(tail -n 1 "$log")"
  else
    tail -n 60 "$log"
    echo "$t: FAILED (input kept in build-fuzz/artifacts/, log in $log)"
    exit 1
  fi
done
