#!/usr/bin/env bash
# Builds the Debian package and tries it on this machine: lintian; then
# `apt-get install ./<package>.deb`; checks of what the package sets up (the
# group "veltrix", the settings folder, the polkit rule, the installed files,
# the ODBC driver name); the installed controller started by a member of the
# group on a virtual display; and `apt-get purge` again.
#
# Needs root. Refuses to run while the package is on the machine; afterwards
# the machine is as before: the throwaway user goes, and the group and the
# settings folder go again if this script made them.
#
# VX_PACKAGE_BUILD_DIR (default build-package): the build folder of the
# package, configured with Debian's compiler and linker flags, without tests.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

package=veltrix-server-controller
folder=/var/lib/VeltrixServer
rule=/usr/share/polkit-1/rules.d/60-veltrix-server.rules
build_dir=${VX_PACKAGE_BUILD_DIR:-build-package}

if [ "$(id -u)" != 0 ]; then
    echo "test-package: run as root: it installs and removes the package" >&2
    exit 2
fi
state=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
if [ -n "$state" ] && [ "$state" != not-installed ]; then
    echo "test-package: $package is on this machine ($state); purge it first" >&2
    exit 2
fi

echo "== package: build with Debian's flags"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
VX_BUILD_DIR=$build_dir scripts/build.sh -DCMAKE_BUILD_TYPE=Release -DVX_BUILD_TESTS=OFF -DVX_BUILD_BENCH=OFF \
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
rm -f "$build_dir/${package}_"*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
deb=$(echo "$repo/$build_dir/${package}_"*.deb)
echo "package: $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

echo "== lintian"
lint=0
lint_out=$(lintian --display-info --fail-on error "$deb" 2>&1) || lint=$?
grep -v '^running with root privileges' <<<"$lint_out" || true
if [ "$lint" != 0 ]; then
    echo "test-package: lintian reports errors" >&2
    exit 1
fi
echo "lintian: no errors"

failed=0
check() { # check DESCRIPTION COMMAND [ARGS...]
    if "${@:2}"; then
        echo "ok   $1"
    else
        echo "FAIL $1"
        failed=1
    fi
}
odbc_uses() {
    local count
    count=$(odbcinst -q -d -n "SQL SERVER" 2>/dev/null | sed -n 's/^UsageCount=//p')
    echo "${count:-0}"
}

had_group=0 had_folder=0
getent group veltrix >/dev/null && had_group=1
[ -e "$folder" ] && had_folder=1
odbc_before=$(odbc_uses)
member=vx-pkg-$$ # a throwaway user, later a member of "veltrix"
probe=$folder/vx-package-test-$$.ini
bus_dir="" bus_pid="" polkitd_pid="" subject=""
cleanup() {
    set +e
    for pid in $subject $polkitd_pid $bus_pid; do kill "$pid" 2>/dev/null; done
    [ -n "$bus_dir" ] && rm -rf "$bus_dir"
    if [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" = installed ]; then
        apt-get purge -y -q "$package" >/dev/null
    fi
    rm -f "$probe"
    [ "$had_folder" = 0 ] && rmdir "$folder" 2>/dev/null
    getent passwd "$member" >/dev/null && userdel "$member"
    [ "$had_group" = 0 ] && getent group veltrix >/dev/null && groupdel veltrix
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

echo "== apt-get install ./$(basename "$deb")"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb"

check "group veltrix is a system group" test "$(getent group veltrix | cut -d: -f3)" -lt 1000
check "$folder is root:veltrix with mode 2775" test "$(stat -c '%U:%G %a' "$folder")" = "root:veltrix 2775"
for file in /usr/bin/VeltrixServerController /usr/share/applications/$package.desktop \
    /etc/xdg/autostart/$package.desktop /usr/share/icons/hicolor/32x32/apps/$package.png \
    /usr/share/icons/hicolor/scalable/apps/$package.svg "$rule" \
    /usr/share/man/man1/VeltrixServerController.1.gz /usr/share/doc/$package/copyright; do
    check "$file installed" test -f "$file"
done
check "every library of the program found" bash -c "! ldd /usr/bin/VeltrixServerController | grep -q 'not found'"
check "FreeTDS registered once more as the ODBC driver \"SQL SERVER\"" test "$(odbc_uses)" = $((odbc_before + 1))

echo "== the group: the settings folder and the polkit rule, before and after joining it"
useradd --system --no-create-home --user-group "$member"
# polkitd on a private system bus that its own user may reach; pkcheck asks
# it about a process of the member.
bus_dir=$(mktemp -d)
chmod 755 "$bus_dir"
cat >"$bus_dir/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:dir=$bus_dir</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
bus=$(dbus-daemon --config-file="$bus_dir/bus.conf" --fork --print-address=1 --print-pid=1)
export DBUS_SYSTEM_BUS_ADDRESS=${bus%%$'\n'*}
bus_pid=${bus##*$'\n'}
/usr/lib/polkit-1/polkitd --no-debug >"$bus_dir/polkitd.log" 2>&1 &
polkitd_pid=$!
for _ in $(seq 100); do
    dbus-send --system --print-reply --reply-timeout=1000 --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
        string:org.freedesktop.PolicyKit1 2>/dev/null | grep -q 'boolean true' && break
    sleep 0.1
done
setpriv --reuid="$member" --regid="$member" --init-groups sleep 600 &
subject=$!
polkit_says() { # polkit_says yes|password ACTION [UNIT VERB]
    local args=(--action-id "org.freedesktop.systemd1.$2" --process "$subject") code=0
    [ $# -gt 2 ] && args+=(--detail unit "$3" --detail verb "$4")
    pkcheck "${args[@]}" >/dev/null 2>&1 || code=$?
    case $1 in yes) [ $code = 0 ] ;; password) [ $code = 2 ] ;; esac
}
check "an outsider cannot write $folder" bash -c "! setpriv --reuid=$member --regid=$member --init-groups touch '$probe' 2>/dev/null"
check "an outsider needs a password to start the service" polkit_says password manage-units VeltrixServer.service start
check "an outsider needs a password to link unit files" polkit_says password manage-unit-files
adduser --quiet "$member" veltrix
check "a member writes $folder, and the file belongs to the group" \
    bash -c "setpriv --reuid=$member --regid=$member --init-groups touch '$probe' && test \"\$(stat -c %G '$probe')\" = veltrix"
for verb in start stop restart; do
    check "a member may $verb the service" polkit_says yes manage-units VeltrixServer.service "$verb"
done
check "a member may link, enable and disable unit files" polkit_says yes manage-unit-files
check "a member may reload systemd" polkit_says yes reload-daemon
check "a member needs a password to kill the service" polkit_says password manage-units VeltrixServer.service kill
check "a member needs a password to start another unit" polkit_says password manage-units ssh.service start

echo "== the installed controller, started by the member on a virtual display"
run_installed() {
    VX_CONTROLLER_BINARY=/usr/bin/VeltrixServerController PYTHONDONTWRITEBYTECODE=1 \
        scripts/tray-display python3 - "$member" <<'EOF'
import os, pwd, shutil, sys, tempfile
sys.path.insert(0, "tests/e2e")
import traytool
root = tempfile.mkdtemp(prefix="vx-package-")
os.chmod(root, 0o755)
try:
    # /etc/xdg as the configuration directory: the settings folder is /var/lib/VeltrixServer/.
    proc = traytool.start_controller(root, env={"XDG_CONFIG_DIRS": "/etc/xdg"}, user=pwd.getpwnam(sys.argv[1]))
    print("tray icon: window %s" % traytool.wait_for_tray_icon(proc))
    sys.exit(traytool.stop_controller(proc))
finally:
    shutil.rmtree(root, ignore_errors=True)
EOF
}
check "it shows its tray icon and ends with 0" run_installed

echo "== apt-get purge"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "$package"
for file in /usr/bin/VeltrixServerController /etc/xdg/autostart/$package.desktop "$rule"; do
    check "$file removed" test ! -e "$file"
done
check "the settings in $folder stay" test -f "$probe"
check "the group veltrix stays" bash -c "getent group veltrix >/dev/null"
check "the ODBC driver's use count is back" test "$(odbc_uses)" = "$odbc_before"

if [ "$failed" != 0 ]; then
    echo "test-package: FAILED"
    exit 1
fi
echo "test-package: passed"
