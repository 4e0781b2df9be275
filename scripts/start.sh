#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (missing packages through apt-get), builds,
# and starts the Veltrix Server Controller in the system tray.
#
# Without a display (a headless machine, an SSH session) the controller runs
# under a private virtual X display with a tray host; the script opens the
# tray menu, writes a screenshot and prints its path. From a terminal it then
# keeps running until Ctrl+C; otherwise it stops after the screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

scripts/setup.sh
scripts/build.sh

binary="$repo/build/controller/VeltrixServerController"

if [ -n "${DISPLAY:-}" ] && [ -z "${VX_FORCE_VIRTUAL_DISPLAY:-}" ]; then
    echo "start: starting $binary"
    exec "$binary" -ShowMessage "$@"
fi

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="$repo/build/runtime"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi
shot_dir="$repo/build/screenshots"
mkdir -p "$shot_dir"
shot="$shot_dir/controller-tray.png"

# Runs inside the virtual display: start, wait for the icon, open the menu,
# take the screenshot.
headless_run() {
    local binary=$1 shot=$2 keep=$3
    shift 3
    # A calm desktop instead of the black root window.
    local convert=/usr/bin/convert
    [ -x "$convert" ] || convert=convert
    if "$convert" -size 1024x768 gradient:'#3d6a9e-#16304f' "$shot.background.png" 2>/dev/null; then
        display -window root "$shot.background.png" 2>/dev/null || true # exits with 1 when done
    fi
    rm -f "$shot.background.png"
    "$binary" -ShowMessage "$@" &
    local pid=$!
    local icon="" i
    for i in $(seq 100); do
        for w in $(xdotool search --all --onlyvisible --pid "$pid" --class VeltrixServerController 2>/dev/null); do
            eval "$(xdotool getwindowgeometry --shell "$w")"
            if [ "$WIDTH" -le 64 ] && [ "$HEIGHT" -le 64 ]; then icon=$w; break 2; fi
        done
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$icon" ]; then
        echo "start: the controller's tray icon did not appear" >&2
        kill "$pid" 2>/dev/null || true
        wait "$pid" || true
        return 1
    fi
    sleep 1 # the "Now running in System Tray" balloon
    eval "$(xdotool getwindowgeometry --shell "$icon")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
    sleep 1
    import -window root -crop 440x260+584+0 +repage "$shot"
    echo "start: screenshot of the tray and its menu: $shot"
    xdotool key Escape
    if [ "$keep" = 1 ]; then
        echo "start: the controller runs on a virtual display; press Ctrl+C to stop it"
        wait "$pid" || true
    else
        kill -TERM "$pid"
        wait "$pid" || true
    fi
}
export -f headless_run

keep=0
[ -t 0 ] && keep=1

exec scripts/tray-display bash -c 'headless_run "$@"' headless_run "$binary" "$shot" "$keep" "$@"
