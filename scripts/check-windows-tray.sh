#!/usr/bin/env bash
# Runs the Windows controller of build-windows/ (scripts/build-windows.sh)
# under Wine, in a fresh private Wine prefix, on a private virtual X display
# with a tray host (Xvfb and trayer), and checks the Windows path end to end:
#
#   --help prints the usage;
#   the tray icon appears and its menu opens;
#   a second start exits with 0 while the first keeps running;
#   "Server Configuration", saved, writes the settings file to Wine's
#   C:\ProgramData\VeltrixServer\VeltrixServer.ini;
#   the menu's Quit, and WM_CLOSE from taskkill, end the controller with 0.
#
# Screenshots go to build-windows/screenshots/. Exits non-zero on the first
# check that fails.
set -euo pipefail
cd "$(dirname "$0")/.."

OUT=${VX_WINDOWS_BUILD_DIR:-build-windows}
exe=$OUT/bin/VeltrixServerController.exe
say() { echo "check-windows-tray: $*"; }
fail() {
    echo "check-windows-tray: FAILED: $*" >&2
    exit 1
}
[ -f "$exe" ] || fail "$exe not found; run scripts/build-windows.sh first"
for tool in wine wineboot wineserver Xvfb trayer xdotool import; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool not found (scripts/setup.sh installs it)"
done
shots=$OUT/screenshots
mkdir -p "$shots"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/vx-wine-tray.XXXXXX")
export WINEPREFIX=$tmp/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# FreeTDS behind Wine's ODBC: SQL Server's protocol, so that the login timeout holds.
export TDSVER=${TDSVER:-7.4}
pids=()
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT

say "preparing a Wine prefix"
(
    unset DISPLAY
    wineboot --init && wineserver -w
) >/dev/null 2>&1 || fail "wineboot"

help=$(
    unset DISPLAY
    wine "$exe" --help 2>&1
) || fail "--help exited with $?"
grep -q '^Usage:' <<<"$help" || fail "--help printed no usage: $help"
say "--help prints the usage"

exec 3>"$tmp/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$tmp/displayfd" ] && break; sleep 0.1; done
[ -s "$tmp/displayfd" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$tmp/displayfd")"
trayer --edge top --align right --widthtype request --height 32 --transparent false >/dev/null 2>&1 &
pids+=($!)
sleep 1

# Polls COMMAND (a shell snippet) until it succeeds, for up to SECONDS.
wait_for() {
    local seconds=$1
    shift
    for _ in $(seq $((seconds * 5))); do
        if eval "$*"; then return 0; fi
        sleep 0.2
    done
    return 1
}
# Wine's tray (explorer.exe) docks the icon into the X tray host.
find_icon() {
    local w
    for w in $(xdotool search --onlyvisible --class explorer.exe 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        if [ "$WIDTH" -le 64 ] && [ "$HEIGHT" -le 64 ]; then
            icon=$w
            return 0
        fi
    done
    return 1
}
controller_window() { xdotool search --onlyvisible --class veltrixservercontroller.exe 2>/dev/null | head -n 1; }
open_menu() {
    eval "$(xdotool getwindowgeometry --shell "$icon")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
    wait_for 10 '[ -n "$(controller_window)" ]' && sleep 1
}
# The controller must end within 30 s, with exit code 0, after what $1 names.
expect_exit_zero() {
    local code
    wait_for 30 '! kill -0 "$controller" 2>/dev/null' || fail "$1 did not end the controller"
    set +e
    wait "$controller"
    code=$?
    set -e
    [ "$code" = 0 ] || fail "the controller ended with $code after $1"
    say "$1 ends the controller with 0"
}
ini=$WINEPREFIX/drive_c/ProgramData/VeltrixServer/VeltrixServer.ini

wine "$exe" -ShowMessage >"$tmp/controller.log" 2>&1 &
controller=$!
icon=""
wait_for 60 find_icon || fail "the tray icon did not appear"
say "the tray icon appears"
sleep 2 # the "Now running in System Tray" balloon
import -window root -crop 400x140+880+0 +repage "$shots/windows-tray-balloon.png"

open_menu || fail "the tray menu did not open"
sleep 1
import -window root -crop 400x260+880+0 +repage "$shots/windows-tray-menu.png"
say "the tray menu opens"

set +e
timeout 60 wine "$exe" >"$tmp/second.log" 2>&1
second=$?
set -e
[ "$second" = 0 ] || fail "a second start ended with $second instead of 0"
kill -0 "$controller" 2>/dev/null || fail "the first controller ended with the second"
say "a second start exits with 0; the first keeps running"

# The menu is still open: its third entry is "Server Configuration".
[ -n "$(controller_window)" ] || open_menu || fail "the tray menu did not open again"
xdotool key Down Down Down Return
dialog=""
wait_for 20 'dialog=$(xdotool search --onlyvisible --name "^Server Configuration$" 2>/dev/null | head -n 1); [ -n "$dialog" ]' ||
    fail "the server configuration dialog did not open"
sleep 1
import -window root "$shots/windows-server-configuration.png"
# Save is the second button from the right in the dialog's bottom row.
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + WIDTH - 171)) $((Y + HEIGHT - 18)) click 1
wait_for 15 '[ -s "$ini" ]' || fail "no settings file at $ini after saving"
say "the settings file lands in C:\\ProgramData\\VeltrixServer\\VeltrixServer.ini"

wait_for 15 '[ -z "$(controller_window)" ]' || fail "the server configuration dialog stayed open after saving"
open_menu || fail "the tray menu did not open for Quit"
# Quit is the last entry, at the menu's bottom edge.
eval "$(xdotool getwindowgeometry --shell "$(controller_window)")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 14)) click 1
expect_exit_zero "Quit"

# Windows ends a program with WM_CLOSE to its windows (taskkill without /F,
# an installer, a logoff); the native event filter turns it into a quit.
wine "$exe" >"$tmp/controller2.log" 2>&1 &
controller=$!
wait_for 60 find_icon || fail "the tray icon did not appear again"
wine taskkill /IM VeltrixServerController.exe >/dev/null 2>&1 || fail "taskkill found no controller"
expect_exit_zero "WM_CLOSE (taskkill)"
say "all checks passed; screenshots in $shots"
