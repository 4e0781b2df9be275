#!/usr/bin/env bash
# Configures and builds into build/ (or $VX_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VX_BUILD_DIR:-build}
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$BUILD_DIR" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
