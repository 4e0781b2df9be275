#!/usr/bin/env bash
# Takes the README's pictures of the controller, running the built binary under
# the repository's virtual display with a tray host, with a settings folder
# and a sample database of its own (see scripts/screenshots.py):
#
#   scripts/screenshots.sh [--update-docs]
#
# The pictures go to build/screenshots/ (VX_BUILD_DIR for another build
# folder). With --update-docs they are then copied into docs/screenshots/;
# look at them before committing that.
set -euo pipefail
cd "$(dirname "$0")/.."

update_docs=0
case "${1:-}" in
    --update-docs) update_docs=1 ;;
    "") ;;
    *) echo "usage: scripts/screenshots.sh [--update-docs]" >&2; exit 2 ;;
esac

build=${VX_BUILD_DIR:-build}
binary="$build/controller/VeltrixServerController"
if [ ! -x "$binary" ]; then
    echo "screenshots: $binary not built (scripts/build.sh builds it)" >&2
    exit 1
fi
for tool in xdotool import convert display; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "screenshots: $tool not found (scripts/setup.sh installs it)" >&2
        exit 1
    fi
done

out="$build/screenshots"
rm -f "$out"/*.png
VX_SCREEN=${VX_SCREEN:-1280x1024x24} PYTHONDONTWRITEBYTECODE=1 scripts/tray-display python3 scripts/screenshots.py "$(realpath "$binary")" "$out"

if [ "$update_docs" = 1 ]; then
    cp "$out"/tray-menu.png "$out"/server-configuration.png "$out"/database-manager.png \
        "$out"/editor-*.png docs/screenshots/
    echo "screenshots: copied into docs/screenshots/"
fi
