#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh

echo "== layering and translatable texts"
python3 scripts/check-layering.py
scripts/check-translations.sh

echo "== unit, GUI and end-to-end tests"
(cd build && ctest --output-on-failure --parallel 2)

echo "== Debian package: build, lintian, install, checks, purge"
# It installs and removes the package, so it runs as root.
if [ "$(id -u)" = 0 ]; then
    scripts/test-package.sh
else
    sudo --preserve-env=PATH scripts/test-package.sh
fi

echo "== damaged input under AddressSanitizer and UndefinedBehaviorSanitizer"
# Only the tests labelled "sanitize" are built and run in this tree.
cmake -S . -B build-asan -G Ninja -DVX_SANITIZE=ON -DVX_BUILD_BENCH=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
sanitize_targets=$(cd build-asan && ctest -N -L sanitize | sed -n 's/^ *Test *#[0-9]*: [^.]*\.\(.*\)$/\1/p' | sort -u)
if [ -n "$sanitize_targets" ]; then
    VX_BUILD_DIR=build-asan VX_TARGETS="$sanitize_targets" scripts/build.sh -DVX_SANITIZE=ON -DVX_BUILD_BENCH=OFF
    (cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -L sanitize)
fi

if [ -x scripts/test-windows-backend.sh ]; then
    echo "== Windows service backend under Wine"
    scripts/test-windows-backend.sh
fi
