#!/usr/bin/env bash
# Installs the Debian packages and the browser view's npm packages the build and the tests need.
# Idempotent: does nothing when everything is there.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev libshp-dev shapelib python3-dbfread
  libcivetweb-dev nlohmann-json3-dev zlib1g-dev libusb-1.0-0-dev unixodbc-dev odbcinst
  umockdev libumockdev-dev gir1.2-umockdev-1.0
  chromium qpdf poppler-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The browser view's npm packages (playwright-core drives Debian's chromium in the browser tests).
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
if [[ -f "$ROOT/platform/web/package.json" ]]; then
  if ! command -v npm >/dev/null; then
    SUDO=""; if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
    $SUDO apt-get install -y -qq --no-install-recommends nodejs npm
  fi
  (cd "$ROOT/platform/web" && { [[ -d node_modules ]] && npm ls --silent >/dev/null 2>&1 || npm install --no-audit --no-fund --silent; })
fi
