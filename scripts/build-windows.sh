#!/usr/bin/env bash
# Builds the controller and its test programs for 64-bit Windows with the
# mingw-w64 cross compiler into build-windows/ (or $VX_WINDOWS_BUILD_DIR):
# VeltrixServerController.exe and the tests land in build-windows/bin with
# the Qt DLLs, the plugins and the compiler's run-time DLLs beside them.
#
# Qt for mingw comes from scripts/build-qt-mingw.sh, which builds it once per
# machine (about 15 minutes) when it is not in its cache folder yet.
#
# Afterwards `cd build-windows && ctest` runs every test program under Wine,
# in a private Wine prefix (build-windows/wineprefix).
#
# Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."

OUT=${VX_WINDOWS_BUILD_DIR:-build-windows}
for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres wine cmake ninja; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "build-windows: $tool not found (scripts/setup.sh installs it)" >&2
        exit 1
    fi
done

scripts/build-qt-mingw.sh
qt_prefix=$(scripts/build-qt-mingw.sh --print-prefix)

launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
echo "build-windows: configuring $OUT against Qt in $qt_prefix"
cmake -S . -B "$OUT" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-w64.cmake" \
    -DVX_QT_MINGW_PREFIX="$qt_prefix" -DVX_BUILD_BENCH=OFF "${launcher[@]}" "$@" >/dev/null
echo "build-windows: building"
nice -n 5 cmake --build "$OUT" --parallel "$(nproc)"
echo "build-windows: built $OUT/bin/VeltrixServerController.exe; tests: (cd $OUT && ctest)"
