#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh

echo "== unit, GUI and end-to-end tests"
(cd build && ctest --output-on-failure --parallel 2)

echo "== damaged settings files under AddressSanitizer and UndefinedBehaviorSanitizer"
VX_BUILD_DIR=build-asan scripts/build.sh -DVX_SANITIZE=ON -DVX_BUILD_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -L sanitize)

if [ -x scripts/test-windows-backend.sh ]; then
    echo "== Windows service backend under Wine"
    scripts/test-windows-backend.sh
fi
