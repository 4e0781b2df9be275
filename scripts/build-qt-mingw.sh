#!/usr/bin/env bash
# Builds Qt 5.15 (qtbase: Core, Gui, Widgets, Sql with SQLite and ODBC, Test)
# for x86_64-w64-mingw32 from Debian's own source packages and installs it into
# a per-machine cache folder outside the repository:
#
#   ${VX_QT_MINGW_PREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/veltrix/qt5-mingw64}
#
# It builds once per machine: a stamp file in the prefix records the inputs
# (compiler, configure options, recipe), and a later run with the same inputs
# returns at once. Remove the prefix (or change an input) to rebuild.
# About 15 minutes on two idle cores (43 minutes measured while other builds
# shared them), 115 MB installed.
#
#   scripts/build-qt-mingw.sh                 build if needed
#   scripts/build-qt-mingw.sh --print-prefix  print the prefix and exit
#   scripts/build-qt-mingw.sh --is-built      exit 0 when it is built, 1 else
#
# Knobs: VX_QT_MINGW_PREFIX, VX_QT_MINGW_JOBS (default: nproc),
# VX_QT_MINGW_KEEP_WORK=1 (keep the source and build tree),
# VX_DEBIAN_MIRROR, VX_DEBIAN_SECURITY_MIRROR (where the sources come from).
set -euo pipefail

cache_root=${XDG_CACHE_HOME:-$HOME/.cache}/veltrix
PREFIX=${VX_QT_MINGW_PREFIX:-$cache_root/qt5-mingw64}
if [ "${1:-}" = "--print-prefix" ]; then
    echo "$PREFIX"
    exit 0
fi

TRIPLE=x86_64-w64-mingw32
JOBS=${VX_QT_MINGW_JOBS:-$(nproc)}
# Bump when the recipe below changes in a way the options do not show.
RECIPE=1

say() { echo "build-qt-mingw: $*"; }
die() {
    echo "build-qt-mingw: ERROR: $*" >&2
    exit 1
}

# std::thread and std::mutex need the posix-thread flavour of the compiler.
CC_REAL=$TRIPLE-gcc-posix
CXX_REAL=$TRIPLE-g++-posix
for tool in "$CC_REAL" "$CXX_REAL" $TRIPLE-windres $TRIPLE-ar $TRIPLE-ranlib \
    apt-get dpkg-source tclsh make perl gcc g++; do
    command -v "$tool" >/dev/null 2>&1 || die "$tool not found (scripts/setup.sh installs it)"
done

QT_OPTIONS=(
    -xplatform win32-g++ -device-option CROSS_COMPILE=$TRIPLE-
    -release -opensource -confirm-license
    -nomake examples -nomake tests
    -no-opengl -no-dbus -no-icu
    -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype -qt-pcre -qt-harfbuzz
    # Debian's source has no bundled SQLite: it is built below from Debian's
    # sqlite3 source and linked statically into the SQLite driver.
    -sql-sqlite -system-sqlite -sql-odbc -no-sql-psql -no-sql-mysql
    # Debian's source lacks the Wintab header the tablet support of the
    # Windows platform plugin includes; the controller has no use for tablets.
    -no-feature-tabletevent
)
# As Qt's own bundled copy is built, plus what the Debian package enables.
SQLITE_DEFINES=(
    -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_OMIT_LOAD_EXTENSION
    -DSQLITE_OMIT_COMPLETE -DSQLITE_ENABLE_FTS3 -DSQLITE_ENABLE_FTS3_PARENTHESIS
    -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_RTREE -DSQLITE_ENABLE_JSON1
)

stamp_key() {
    echo "recipe: $RECIPE"
    echo "compiler: $($CXX_REAL --version | head -n 1)"
    echo "host compiler: $(g++ --version | head -n 1)"
    echo "qt options: ${QT_OPTIONS[*]}"
    echo "sqlite defines: ${SQLITE_DEFINES[*]}"
}
STAMP=$PREFIX/veltrix-qt-build.stamp
is_built() {
    [ -f "$STAMP" ] && [ "$(sed '/^--- built/,$d' "$STAMP")" = "$(stamp_key)" ]
}
if [ "${1:-}" = "--is-built" ]; then
    is_built && exit 0
    exit 1
fi

mkdir -p "$cache_root" "$(dirname "$PREFIX")"
if is_built; then
    say "Qt for mingw-w64 is already built in $PREFIX"
    exit 0
fi

# One build per machine at a time; a second caller waits and then finds it.
exec 9>"$PREFIX.lock"
if ! flock -n 9; then
    say "another build of Qt for mingw-w64 is running; waiting for it"
    flock 9
    if is_built; then
        say "Qt for mingw-w64 is now built in $PREFIX"
        exit 0
    fi
fi

started=$(date +%s)
elapsed() { echo "$(($(date +%s) - started)) s"; }
say "=================================================================="
say "BUILDING Qt 5.15 FOR WINDOWS (mingw-w64) FROM DEBIAN'S SOURCES"
say "into $PREFIX"
say "this happens once per machine and takes 15 to 45 minutes on 2 cores"
say "=================================================================="

WORK=$PREFIX.work
rm -rf "$WORK" "$PREFIX"
mkdir -p "$WORK"
cleanup() {
    local rc=$?
    if [ $rc -ne 0 ]; then
        echo "build-qt-mingw: FAILED after $(elapsed); logs and tree kept in $WORK" >&2
    elif [ "${VX_QT_MINGW_KEEP_WORK:-0}" != 1 ]; then
        rm -rf "$WORK"
    fi
}
trap cleanup EXIT

# Compiler wrappers: the posix-thread flavour under the names Qt's mkspec
# derives from CROSS_COMPILE, through ccache when it is installed.
launcher=""
if command -v ccache >/dev/null 2>&1; then
    launcher="ccache "
    # Qt's precompiled headers and __DATE__ in qmake would otherwise defeat it.
    export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
    say "using ccache"
fi
mkdir -p "$WORK/bin"
for pair in "gcc:$CC_REAL" "g++:$CXX_REAL" "c++:$CXX_REAL"; do
    printf '#!/bin/sh\nexec %s%s "$@"\n' "$launcher" "${pair#*:}" >"$WORK/bin/$TRIPLE-${pair%%:*}"
done
for name in gcc g++; do
    printf '#!/bin/sh\nexec %s/usr/bin/%s "$@"\n' "$launcher" "$name" >"$WORK/bin/$name"
done
chmod +x "$WORK/bin"/*
export PATH="$WORK/bin:$PATH"

# --- Sources: Debian's source packages, through a private apt state (no root,
# no change to the machine's apt sources).
. /etc/os-release
suite=${VERSION_CODENAME:-bookworm}
mirror=${VX_DEBIAN_MIRROR:-http://deb.debian.org/debian}
security=${VX_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
apt_dir=$WORK/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
cat >"$apt_dir/sources.list" <<EOF
deb-src [signed-by=$keyring] $mirror $suite main
deb-src [signed-by=$keyring] $mirror $suite-updates main
deb-src [signed-by=$keyring] $security $suite-security main
EOF
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o "APT::Sandbox::User=$(id -un)")
say "[$(elapsed)] fetching Debian's source packages qtbase-opensource-src and sqlite3 ($suite)"
apt-get "${apt_opts[@]}" -qq update
mkdir -p "$WORK/src"
(cd "$WORK/src" && apt-get "${apt_opts[@]}" -qq source qtbase-opensource-src sqlite3 >"$WORK/source.log" 2>&1) ||
    {
        cat "$WORK/source.log" >&2
        die "apt-get source failed"
    }
qt_src=$(find "$WORK/src" -maxdepth 1 -type d -name 'qtbase-opensource-src-*' | head -n 1)
sqlite_src=$(find "$WORK/src" -maxdepth 1 -type d -name 'sqlite3-*' | head -n 1)
[ -n "$qt_src" ] && [ -n "$sqlite_src" ] || die "unpacked sources not found in $WORK/src"
qt_version=$(basename "$(ls "$WORK"/src/qtbase-opensource-src_*.dsc)" .dsc)
sqlite_version=$(basename "$(ls "$WORK"/src/sqlite3_*.dsc)" .dsc)
say "[$(elapsed)] sources: $qt_version, $sqlite_version"

# --- SQLite: the amalgamation from Debian's sqlite3 source (its build needs
# tclsh), compiled once with mingw into a static library.
say "[$(elapsed)] building SQLite for mingw-w64"
sqlite_out=$WORK/sqlite
mkdir -p "$sqlite_out/build" "$sqlite_out/include" "$sqlite_out/lib"
(
    cd "$sqlite_out/build"
    "$sqlite_src/configure" >"$WORK/sqlite-configure.log" 2>&1
    nice -n 15 make sqlite3.c >"$WORK/sqlite-make.log" 2>&1
    nice -n 15 $TRIPLE-gcc -O2 -c "${SQLITE_DEFINES[@]}" sqlite3.c -o sqlite3.o
    $TRIPLE-ar rcs "$sqlite_out/lib/libsqlite3.a" sqlite3.o
    cp sqlite3.h sqlite3ext.h "$sqlite_out/include/"
)

# --- Qt
build=$WORK/qtbase-build
mkdir -p "$build"
say "[$(elapsed)] configuring qtbase (log: $WORK/configure.log)"
(cd "$build" && nice -n 15 "$qt_src/configure" -prefix "$PREFIX" "${QT_OPTIONS[@]}" \
    -I "$sqlite_out/include" -L "$sqlite_out/lib" >"$WORK/configure.log" 2>&1) ||
    {
        tail -n 40 "$WORK/configure.log" >&2
        die "configure failed"
    }
say "[$(elapsed)] building qtbase with $JOBS jobs (log: $WORK/make.log)"
(cd "$build" && nice -n 15 make -j"$JOBS" >"$WORK/make.log" 2>&1) ||
    {
        grep -n -m 20 -E 'error|Error' "$WORK/make.log" >&2 || true
        die "make failed"
    }
say "[$(elapsed)] installing"
(cd "$build" && make install >"$WORK/install.log" 2>&1) || die "make install failed (see $WORK/install.log)"

size=$(du -sh "$PREFIX" | cut -f1)
{
    stamp_key
    echo "--- built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $(elapsed), $size"
    echo "from: $qt_version $sqlite_version"
} >"$STAMP"
say "=================================================================="
say "Qt for mingw-w64 built in $(elapsed), $size, in $PREFIX"
say "=================================================================="
