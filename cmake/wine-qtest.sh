#!/bin/sh
# Runs a Windows QTest program under Wine for ctest and prints its log.
#
# QTest on Windows writes its log with OutputDebugString unless the process
# has a console window, which a Wine process started from a pipe does not
# have; so the log goes to a file (-o FILE,txt) that is printed afterwards.
# The exit code is the program's.
#
#   wine-qtest.sh PROGRAM.exe [QTest arguments]
set -u
program=$1
shift
# The Wine server outlives the program: started by it, it would hold ctest's
# output pipe open until the last Wine program of the prefix ends. Start it
# here, detached (it exits at once when one runs already).
wineserver </dev/null >/dev/null 2>&1
log=$(mktemp "${TMPDIR:-/tmp}/vx-qtest.XXXXXX")
# Unix paths are on Wine's drive Z:.
winlog="Z:$(printf '%s' "$log" | tr '/' '\\')"
wine "$program" -o "$winlog,txt" "$@"
rc=$?
cat "$log"
rm -f "$log"
exit $rc
