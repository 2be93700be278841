#!/usr/bin/env bash
# Records tests/fixtures/usb/acquisition.pcap, the capture the replay test plays back: record_capture.sh [BUILD_DIR].
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD="$(cd "${1:-$ROOT/build}" && pwd)"
mkdir -p "$ROOT/tests/fixtures/usb"
cd "$BUILD/tests"
VANTREL_RECORD_CAPTURE="$ROOT/tests/fixtures/usb/acquisition.pcap" LD_PRELOAD=libumockdev-preload.so.0 \
  ./usb_emul_tests --gtest_filter='LibusbCapture.Record'
