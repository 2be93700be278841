#!/usr/bin/env bash
# Builds Vantrel, prepares a demo working directory and starts the program in it: ./run.sh [--review] [directory]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
PROGRAM=Vantrel
if [[ "${1:-}" == "--review" ]]; then
  PROGRAM=VantrelReview
  shift
fi
DEMO="${1:-$ROOT/demo}"
cd "$ROOT"
echo "[1/4] Checking the Debian and npm packages the build needs..."
scripts/install-deps.sh
# Only the programs and the demo tool: the test suites are the test command's.
echo "[2/4] Building the programs (a few minutes the first time)..."
VANTREL_TARGETS="vantrel_programs make_demo_dir" scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG"

mkdir -p "$DEMO"
DEMO="$(cd "$DEMO" && pwd)"
echo "[3/4] Demo working directory: $DEMO"
# A directory without a database gets the demo process "ETCH" that matches the simulated chamber:
# its setup, watched charts, limits and decision tree (sim/default_setup.txt, sim/trees).
if ! compgen -G "$DEMO/[Cc][Oo][Nn][Ff][Ii][Gg].[Dd][Bb][Ff]" >/dev/null; then
  "$ROOT/build/tools/make_demo_dir" "$ROOT/sim/default_setup.txt" "$DEMO"
fi
# Both programs take their working directory from DIR in VANTREL.INI beside them.
INI="$ROOT/build/bin/VANTREL.INI"
if [[ -f "$INI" ]] && grep -q '^DIR[ =]' "$INI"; then
  sed -i "s|^DIR[ =].*|DIR = $DEMO|" "$INI"
elif [[ -f "$INI" ]] && grep -q '^\[VANTREL\]' "$INI"; then
  # The section is there without DIR: a second section would not be read.
  sed -i "0,/^\[VANTREL\]/s|^\[VANTREL\].*|&\nDIR = $DEMO|" "$INI"
else
  printf '\n[VANTREL]\nDIR = %s\n' "$DEMO" >> "$INI"
fi
# The program prints the address to open (VANTREL_HTTP=ADDRESS:PORT changes it; 127.0.0.1:8080 by default).
echo "[4/4] Starting $PROGRAM on the simulated board (Ctrl+C ends it)."
cd "$DEMO"
exec "$ROOT/build/bin/$PROGRAM"
