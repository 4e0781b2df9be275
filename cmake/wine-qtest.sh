#!/bin/sh
# Runs a Windows QTest program under Wine for ctest and prints its log.
#
# Each run has a Wine prefix of its own, made from the build tree's prefix
# (WINEPREFIX, made by the test "wine.prefix") and removed afterwards: its
# C:\ProgramData (the settings folder), its temporary folder and its
# wineserver (which holds named objects such as the controller's
# single-instance key) are this test's alone, as the XDG folders and TMPDIR
# make them on Linux. Wine's own DLLs (system32, winsxs: 700 MB, only written
# when Wine itself is updated) are hard links into the build tree's prefix;
# the rest, the registry included, is copied.
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
template=$WINEPREFIX
dir=$(mktemp -d "${TMPDIR:-/tmp}/vx-qtest.XXXXXX")
export WINEPREFIX="$dir/prefix"
make_prefix() {
    mkdir "$WINEPREFIX" || return 1
    (cd "$template" && tar -cf - --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/winsxs .) |
        (cd "$WINEPREFIX" && tar -xf -) || return 1
    for path in drive_c/windows/system32 drive_c/windows/winsxs; do
        cp -al "$template/$path" "$WINEPREFIX/$path" || return 1
    done
}
if ! make_prefix; then
    echo "wine-qtest: cannot make a Wine prefix from $template" >&2
    rm -rf "$dir"
    exit 1
fi
# Unix paths are on Wine's drive Z:.
winlog="Z:$(printf '%s' "$dir/log.txt" | tr '/' '\\')"
wine "$program" -o "$winlog,txt" "$@" >"$dir/output.txt" 2>&1 </dev/null
rc=$?
wineserver -k 2>/dev/null
cat "$dir/output.txt" "$dir/log.txt" 2>/dev/null
rm -rf "$dir"
exit $rc
