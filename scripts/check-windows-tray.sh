#!/usr/bin/env bash
# Runs the Windows controller of build-windows/ (scripts/build-windows.sh)
# under Wine, in a fresh private Wine prefix, on a private virtual X display
# with a tray host (scripts/tray-display), and checks the Windows path end to
# end:
#
#   --help prints the usage;
#   the tray icon appears and its menu opens;
#   a second start exits with 0 while the first keeps running;
#   "Server Configuration", saved, writes the settings file to Wine's
#   C:\ProgramData\VeltrixServer\VeltrixServer.ini;
#   the menu installs the test service (vxtestservice.exe, built beside the
#   tests) from a folder with spaces, starts, stops and uninstalls it through
#   Wine's service manager;
#   the database manager builds a fresh SQLite database to the current version;
#   the menu's Quit, and WM_CLOSE from taskkill, end the controller with 0.
#
# Screenshots go to build-windows/screenshots/. Exits non-zero on the first
# check that fails.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${VX_WINDOWS_TRAY_DISPLAY:-}" ]; then
    export VX_WINDOWS_TRAY_DISPLAY=1 VX_SCREEN=1280x1024x24
    exec scripts/tray-display "$0" "$@"
fi

OUT=${VX_WINDOWS_BUILD_DIR:-build-windows}
exe=$OUT/bin/VeltrixServerController.exe
service_exe=$OUT/bin/vxtestservice.exe
say() { echo "check-windows-tray: $*"; }
fail() {
    echo "check-windows-tray: FAILED: $*" >&2
    # What the screen showed, and what the controller printed.
    [ -n "${shots:-}" ] && import -window root "$shots/windows-failure.png" 2>/dev/null
    [ -n "${tmp:-}" ] && cat "$tmp/controller.log" >&2 2>/dev/null
    exit 1
}
for file in "$exe" "$service_exe"; do
    [ -f "$file" ] || fail "$file not found; run scripts/build-windows.sh first"
done
for tool in wine wineboot wineserver xdotool import sqlite3; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool not found (scripts/setup.sh installs it)"
done
shots=$OUT/screenshots
mkdir -p "$shots"
rm -f "$shots/windows-failure.png"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/vx-wine-tray.XXXXXX")
export WINEPREFIX=$tmp/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# FreeTDS behind Wine's ODBC: SQL Server's protocol, so that the login timeout holds.
export TDSVER=${TDSVER:-7.4}
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
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
window_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
open_menu() {
    eval "$(xdotool getwindowgeometry --shell "$icon")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
    wait_for 10 '[ -n "$(controller_window)" ]' && sleep 1
}
# Chooses the tray menu's entry: "Down N" the Nth from the top (1: "VX Server
# Localhost", 4: "Start Service" ... 8: "Uninstall Service", with the install
# entries shown), "Up 1" the last, "Quit". The Windows style steps through
# disabled entries too, so N does not depend on the service's state.
menu_entry() {
    open_menu || fail "the tray menu did not open for entry $1 $2"
    xdotool key --delay 50 $(printf "$1 %.0s" $(seq "$2")) Return
}
# Keys to the window named $1, once it is there (with no window manager, the
# keyboard focus is given by hand).
keys_to() {
    local window="" name=$1
    wait_for 60 'window=$(window_named "$name"); [ -n "$window" ]' || fail "no window \"$name\""
    sleep 0.5
    xdotool windowfocus --sync "$window"
    shift
    xdotool key --delay 100 "$@"
}
start_controller() {
    wine "$exe" "$@" >>"$tmp/controller.log" 2>&1 &
    controller=$!
    icon=""
    wait_for 60 find_icon || fail "the tray icon did not appear"
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
service_state() { wine sc query VeltrixServer 2>/dev/null | sed -n 's/.*STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'; }
expect_service() {
    local state=$1
    wait_for 30 '[ "$(service_state)" = "$state" ]' || fail "the service is \"$(service_state)\", not $1, after $2"
    say "$2: the service is ${1:-gone}"
}
folder=$WINEPREFIX/drive_c/ProgramData/VeltrixServer
ini=$folder/VeltrixServer.ini

start_controller -ShowMessage
say "the tray icon appears"
sleep 2 # the "Now running in System Tray" balloon
import -window root -crop 400x140+880+0 +repage "$shots/windows-tray-balloon.png"
open_menu || fail "the tray menu did not open"
import -window root -crop 400x260+880+0 +repage "$shots/windows-tray-menu.png"
xdotool key Escape
say "the tray menu opens"

set +e
timeout 60 wine "$exe" >"$tmp/second.log" 2>&1
second=$?
set -e
[ "$second" = 0 ] || fail "a second start ended with $second instead of 0"
kill -0 "$controller" 2>/dev/null || fail "the first controller ended with the second"
say "a second start exits with 0; the first keeps running"

menu_entry Down 3
dialog=""
wait_for 20 'dialog=$(window_named "Server Configuration"); [ -n "$dialog" ]' ||
    fail "the server configuration dialog did not open"
sleep 1
import -window root "$shots/windows-server-configuration.png"
# Save is the second button from the right in the dialog's bottom row.
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + WIDTH - 171)) $((Y + HEIGHT - 18)) click 1
wait_for 15 '[ -s "$ini" ]' || fail "no settings file at $ini after saving"
say "the settings file lands in C:\\ProgramData\\VeltrixServer\\VeltrixServer.ini"
wait_for 15 '[ -z "$(window_named "Server Configuration")" ]' ||
    fail "the server configuration dialog stayed open after saving"
menu_entry Up 1
expect_exit_zero "Quit"

# The install entries, and the server's database: a SQLite file in the
# settings folder that does not exist yet. Settings keys before the first
# section belong to [General].
{
    printf 'allowInstalling=true\r\n'
    cat "$ini"
    printf '\r\n[db]\r\nconnectionName=Main\r\ntype=SQLite\r\ndatabaseName=C:/ProgramData/VeltrixServer/vxs.db\r\n'
} >"$tmp/ini" && mv "$tmp/ini" "$ini"
# The server, as an administrator would keep it: in a folder with spaces.
server_dir=$WINEPREFIX/drive_c/Program\ Files/Veltrix\ Server
mkdir -p "$server_dir"
cp "$service_exe" "$server_dir/VeltrixServer.exe"
start_controller

menu_entry Down 7
keys_to "Get Service Executable" ctrl+a
xdotool type --delay 20 'C:\Program Files\Veltrix Server\VeltrixServer.exe'
xdotool key Return
expect_service STOPPED "Install Service"
image=$(wine reg query 'HKLM\System\CurrentControlSet\Services\VeltrixServer' /v ImagePath 2>/dev/null | tr -d '\r')
grep -qF '"C:\Program Files\Veltrix Server\VeltrixServer.exe"' <<<"$image" ||
    fail "the service's image path is not the chosen file, quoted, with backslashes: $image"
grep -q '^serviceFilePath=C:/Program Files/Veltrix Server/VeltrixServer.exe' <(tr -d '\r' <"$ini") ||
    fail "the installed file was not kept in the settings"
menu_entry Down 4
expect_service RUNNING "Start Service"
sleep 1
import -window root -crop 400x140+880+0 +repage "$shots/windows-tray-running.png"
menu_entry Down 6
expect_service STOPPED "Stop Service"
menu_entry Down 8
expect_service "" "Uninstall Service"

menu_entry Down 2
keys_to "Database Manager" Tab Tab space
keys_to "Upgrade Database" y
wait_for 60 '[ -z "$(window_named "Upgrade Database")" ]' || fail "the upgrade's progress stayed open"
[ -n "$(sqlite3 "$folder/vxs.db" "SELECT dbVersion FROM Info" 2>/dev/null)" ] ||
    fail "the database manager built no database"
# Exit code 0: the database is at the version this program needs.
(unset DISPLAY; wine "$exe" --database-status >"$tmp/status.log" 2>&1) ||
    fail "the database is not current after the upgrade: $(cat "$tmp/status.log")"
sleep 1
import -window root "$shots/windows-database-manager.png"
keys_to "Database Manager" Escape
wait_for 15 '[ -z "$(window_named "Database Manager")" ]' || fail "Escape did not close the database manager"
say "the database manager builds a fresh database to the current version"

# Windows ends a program with WM_CLOSE to its windows (taskkill without /F,
# an installer, a logoff); the native event filter turns it into a quit.
wine taskkill /IM VeltrixServerController.exe >/dev/null 2>&1 || fail "taskkill found no controller"
expect_exit_zero "WM_CLOSE (taskkill)"
say "all checks passed; screenshots in $shots"
