#!/usr/bin/env bash
# Configures and builds one build tree: build.sh <dir> [extra cmake arguments...];
# VANTREL_TARGETS (space-separated) limits the build to those targets.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DIR="$1"; shift
if [[ ! -f "$DIR/build.ninja" ]]; then
  cmake -S "$ROOT" -B "$DIR" -G Ninja "$@" >/dev/null
else
  cmake -S "$ROOT" -B "$DIR" "$@" >/dev/null
fi
targets=()
for t in ${VANTREL_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$DIR" "${targets[@]}"
