#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
# Every test, the end-to-end ones (virtual display with a tray host) and the
# Windows service backend's (mingw-w64 and Wine) included: the configure
# fails, naming what is missing, when they cannot be built.
scripts/build.sh -DVX_E2E_TESTS=ON -DVX_WINDOWS_TESTS=ON

echo "== layering and translatable texts"
python3 scripts/check-layering.py
scripts/check-translations.sh

echo "== unit, GUI, end-to-end and Windows backend tests"
for label in e2e windows; do
    if ! (cd build && ctest -N -L "$label" | grep -q "Total Tests: [1-9]"); then
        echo "test: no test labelled $label in build/: reconfigure with -DVX_E2E_TESTS=ON -DVX_WINDOWS_TESTS=ON" >&2
        exit 1
    fi
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
(cd build && ctest --output-on-failure --parallel 2) | tee "$log"
# ctest passes a run in which tests were skipped or did not run; this does not.
if grep -q "The following tests did not run" "$log"; then
    echo "test: some tests did not run (see above for what they need)" >&2
    exit 1
fi
echo "test: $(sed -n 's/.* out of \([0-9]*\)$/\1/p' "$log") ctest tests run"

echo "== Debian package: build, lintian, install, checks, purge"
# It installs and removes the package, so it runs as root.
if [ "$(id -u)" = 0 ]; then
    scripts/test-package.sh
else
    sudo --preserve-env=PATH scripts/test-package.sh
fi

echo "== damaged input under AddressSanitizer and UndefinedBehaviorSanitizer"
# Only the tests labelled "sanitize" are built and run in this tree.
cmake -S . -B build-asan -G Ninja -DVX_SANITIZE=ON -DVX_BUILD_BENCH=OFF -DVX_E2E_TESTS=OFF \
    -DVX_WINDOWS_TESTS=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
sanitize_targets=$(cd build-asan && ctest -N -L sanitize | sed -n 's/^ *Test *#[0-9]*: [^.]*\.\(.*\)$/\1/p' | sort -u)
if [ -n "$sanitize_targets" ]; then
    VX_BUILD_DIR=build-asan VX_TARGETS="$sanitize_targets" scripts/build.sh -DVX_SANITIZE=ON -DVX_BUILD_BENCH=OFF \
        -DVX_E2E_TESTS=OFF -DVX_WINDOWS_TESTS=OFF
    (cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -L sanitize)
fi

echo "== Windows build: its tests under Wine, the controller end to end under Wine"
# Builds Qt for mingw-w64 first when this machine has none (it says so).
scripts/test-windows.sh
