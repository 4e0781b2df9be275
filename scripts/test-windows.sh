#!/usr/bin/env bash
# The Windows build under Wine, as scripts/test.sh runs it after the Linux
# suite: Qt for mingw-w64 (built first, once per machine, when its cache
# folder does not hold it yet: 15 to 45 minutes on two cores), the Windows
# build (scripts/build-windows.sh), every Windows test program under Wine
# (ctest in build-windows/), and the real controller end to end under Wine
# with a tray host (scripts/check-windows-tray.sh).
#
# Nothing is skipped: a missing tool, a test that does not run or fails, ends
# it with a non-zero exit code.
set -euo pipefail
cd "$(dirname "$0")/.."

OUT=${VX_WINDOWS_BUILD_DIR:-build-windows}
export VX_WINDOWS_BUILD_DIR=$OUT
started=$(date +%s)
elapsed() { echo "$(($(date +%s) - started)) s"; }

if ! scripts/build-qt-mingw.sh --is-built; then
    echo "test-windows: ##################################################################"
    echo "test-windows: Qt for mingw-w64 is not in $(scripts/build-qt-mingw.sh --print-prefix):"
    echo "test-windows: BUILDING IT FIRST (15 to 45 minutes on two cores, once per machine)"
    echo "test-windows: ##################################################################"
fi
scripts/build-windows.sh
echo "test-windows: [$(elapsed)] built"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
(cd "$OUT" && ctest --output-on-failure --parallel 2) | tee "$log"
# ctest passes a run in which tests did not run; this does not.
if grep -q "The following tests did not run" "$log"; then
    echo "test-windows: some Windows tests did not run (see above for what they need)" >&2
    exit 1
fi
echo "test-windows: [$(elapsed)] $(sed -n 's/.* out of \([0-9]*\)$/\1/p' "$log") Windows tests run under Wine"

scripts/check-windows-tray.sh
echo "test-windows: [$(elapsed)] done"
