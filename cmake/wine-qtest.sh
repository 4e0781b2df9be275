#!/bin/sh
# Runs a Windows QTest program under Wine for ctest and prints its log.
#
# QTest on Windows writes its log with OutputDebugString unless the process
# has a console window, which a Wine process started from a pipe does not
# have; so the log goes to a file (-o FILE,txt) that is printed afterwards.
# The program's own output goes to a file too: a Wine server started by this
# program outlives it and would hold ctest's pipe open until the last Wine
# program of the prefix ends. The exit code is the program's.
#
#   wine-qtest.sh PROGRAM.exe [QTest arguments]
set -u
program=$1
shift
dir=$(mktemp -d "${TMPDIR:-/tmp}/vx-qtest.XXXXXX")
# Unix paths are on Wine's drive Z:.
winlog="Z:$(printf '%s' "$dir/log.txt" | tr '/' '\\')"
wine "$program" -o "$winlog,txt" "$@" >"$dir/output.txt" 2>&1 </dev/null
rc=$?
cat "$dir/output.txt" "$dir/log.txt" 2>/dev/null
rm -rf "$dir"
exit $rc
