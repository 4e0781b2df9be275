#!/usr/bin/env bash
# Installs what building, running and testing the controller needs on Debian 12.
# Safe to run again: only missing packages are installed.
set -euo pipefail

PACKAGES=(
    # build
    build-essential cmake ninja-build ccache pkg-config clang-format
    qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite libqt5sql5-odbc
    # lupdate, which checks that every user-visible text can be translated
    qttools5-dev-tools
    # SQL Server through ODBC (FreeTDS registered as "SQL SERVER"); Wine's
    # odbc32 passes every call to the host's libodbc.so.2 (libodbc2); without
    # it a Windows program's connection fails before any driver is asked
    unixodbc unixodbc-dev tdsodbc libodbc2
    # running under a virtual display with a tray host, screenshots
    xvfb xauth trayer xdotool imagemagick x11-utils python3
    # database tools used by tests and benchmarks
    sqlite3 tzdata
    # a private message bus for the systemd backend's test
    dbus-daemon
    # the Windows service backend: cross compiler and Wine
    g++-mingw-w64-x86-64-posix wine wine64
    # the Debian package: its dependency scan, its checker, and polkit with
    # systemd's actions to try its rule on
    file lintian polkitd systemd
    # Qt for Windows, built from Debian's source packages (scripts/build-qt-mingw.sh):
    # apt-get source unpacks with dpkg-source; SQLite's amalgamation needs tclsh
    dpkg-dev tcl
)

SUDO=""
if [ "$(id -u)" != 0 ]; then
    SUDO="sudo"
fi

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# FreeTDS under the driver name the SQL Server connection string uses.
if ! odbcinst -q -d -n "SQL SERVER" >/dev/null 2>&1; then
    driver=$(ls /usr/lib/*/odbc/libtdsodbc.so 2>/dev/null | head -n 1)
    if [ -n "$driver" ]; then
        tmp=$(mktemp)
        printf '[SQL SERVER]\nDescription=FreeTDS\nDriver=%s\nUsageCount=1\n' "$driver" >"$tmp"
        $SUDO odbcinst -i -d -f "$tmp" >/dev/null
        rm -f "$tmp"
        echo "setup: registered FreeTDS as the ODBC driver \"SQL SERVER\""
    fi
fi
