#!/usr/bin/env bash
# Configures and builds one build tree: build.sh <dir> [extra cmake arguments...].
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DIR="$1"; shift
if [[ ! -f "$DIR/build.ninja" ]]; then
  cmake -S "$ROOT" -B "$DIR" -G Ninja "$@" >/dev/null
else
  cmake -S "$ROOT" -B "$DIR" "$@" >/dev/null
fi
cmake --build "$DIR"
