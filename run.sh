#!/usr/bin/env bash
# Builds Vantrel, prepares a demo working directory and starts the program in it: ./run.sh [directory]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
DEMO="${1:-$ROOT/demo}"
cd "$ROOT"
scripts/install-deps.sh
# Only the programs and the demo tool: the test suites are the test command's.
VANTREL_TARGETS="vantrel_programs make_demo_dir" scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG"

mkdir -p "$DEMO"
DEMO="$(cd "$DEMO" && pwd)"
echo "Demo working directory: $DEMO"
# A directory without a database gets the demo process "ETCH" that matches the simulated chamber:
# its setup, watched charts and limits (sim/default_setup.txt).
if ! compgen -G "$DEMO/[Cc][Oo][Nn][Ff][Ii][Gg].[Dd][Bb][Ff]" >/dev/null; then
  "$ROOT/build/tools/make_demo_dir" "$ROOT/sim/default_setup.txt" "$DEMO"
fi
# Vantrel takes its working directory from DIR in VANTREL.INI beside the program.
INI="$ROOT/build/bin/VANTREL.INI"
if [[ -f "$INI" ]] && grep -q '^DIR[ =]' "$INI"; then
  sed -i "s|^DIR[ =].*|DIR = $DEMO|" "$INI"
else
  printf '\n[VANTREL]\nDIR = %s\n' "$DEMO" >> "$INI"
fi
echo "Starting Vantrel on the simulated board (Ctrl+C ends it)."
# The browser view's address: VANTREL_HTTP (ADDRESS:PORT or PORT), 127.0.0.1:8080 by default.
HTTP="${VANTREL_HTTP:-127.0.0.1:8080}"
[[ "$HTTP" == *:* ]] || HTTP="127.0.0.1:$HTTP"
echo "Open http://$HTTP/ in Chromium (set VANTREL_HTTP to change the address)."
cd "$DEMO"
exec "$ROOT/build/bin/Vantrel"
