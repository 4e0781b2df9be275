#!/usr/bin/env bash
# Builds the Windows service backend, its test program and a small test
# service with the mingw-w64 cross compiler and runs the test under Wine, in a
# private Wine prefix that is removed afterwards. ctest runs it as the test
# servicecontrol.tst_winservicecontrol (label "windows"), building into
# VX_WINE_BUILD_DIR of the build tree.
set -euo pipefail
cd "$(dirname "$0")/.."

OUT=${VX_WINE_BUILD_DIR:-build-windows-backend}
CXX=${VX_MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
for tool in "$CXX" x86_64-w64-mingw32-windres wine wineboot wineserver; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "test-windows-backend: $tool not found (scripts/setup.sh installs it)" >&2
        exit 1
    fi
done

mkdir -p "$OUT"
flags=(-std=c++17 -O1 -Wall -Wextra -Wpedantic -Werror -municode -static)
echo "test-windows-backend: building with $CXX"
"$CXX" "${flags[@]}" -Iservicecontrol/win \
    servicecontrol/win/winservicecontrol.cpp tests/servicecontrol/win/tst_winservicecontrol.cpp \
    -o "$OUT/tst_winservicecontrol.exe" -ladvapi32
"$CXX" "${flags[@]}" tests/servicecontrol/win/vxtestservice.cpp -o "$OUT/vxtestservice.exe" -ladvapi32

# The Windows branches of the Qt code (native event filter, drive query,
# service backend glue): a syntax check with the cross compiler against the
# Qt headers at hand, which follow the compiler's platform.
qt_include=$(qmake -query QT_INSTALL_HEADERS 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt5)
echo "test-windows-backend: checking the Windows-only Qt code"
for source in controller/windowseventfilter.cpp settings/settingslocation.cpp \
    servicecontrol/win/twinservicebackend.cpp controller/tsingleinstanceguard.cpp; do
    "$CXX" -std=c++17 -fsyntax-only -Wall -Wextra -Werror \
        -Icontroller -Isettings -Isql -Iservicecontrol -Iservicecontrol/win -Iresources \
        -isystem "$qt_include" -isystem "$qt_include/QtCore" -isystem "$qt_include/QtGui" \
        -isystem "$qt_include/QtWidgets" "$source"
done
# The manifest's version comes from CMake's configure_file; any will do here.
sed 's/@VX_MANIFEST_VERSION@/0.0.0.0/' controller/VeltrixServerController.manifest.in >"$OUT/VeltrixServerController.manifest"
x86_64-w64-mingw32-windres -I "$OUT" controller/VeltrixServerController.rc -O coff -o "$OUT/manifest.o"

prefix_root=$(mktemp -d "${TMPDIR:-/tmp}/vx-wine.XXXXXX")
export WINEPREFIX="$prefix_root/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# No display: Wine must not try to open windows.
unset DISPLAY

cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix_root"
}
trap cleanup EXIT

echo "test-windows-backend: preparing a Wine prefix"
wineboot --init >/dev/null 2>&1
# The service manager only answers once the prefix set-up has finished.
wineserver -w

echo "test-windows-backend: running the test under Wine"
set +e
timeout 300 wine "$OUT/tst_winservicecontrol.exe"
rc=$?
set -e
wineserver -w 2>/dev/null || true
exit $rc
