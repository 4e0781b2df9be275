#!/usr/bin/env bash
# Configures and builds into build/ (or $VX_BUILD_DIR). Extra arguments go to
# CMake's configure step; $VX_TARGETS (space separated) limits what is built.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VX_BUILD_DIR:-build}
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$BUILD_DIR" -G Ninja "${launcher[@]}" "$@" >/dev/null
targets=()
for t in ${VX_TARGETS:-}; do
    targets+=(--target "$t")
done
cmake --build "$BUILD_DIR" --parallel "$(nproc)" "${targets[@]}"
