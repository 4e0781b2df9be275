#!/usr/bin/env python3
"""Start-up time to the tray icon and idle CPU of the controller, side by side
with a minimal Qt tray program built in the same run; prints the ratios.

    python3 bench/startup/run.py [--build-dir build] [--runs 10] [--idle-seconds 60]

Builds VeltrixServerController, vx_bench_minimaltray and vx_bench_pollcost in
the build folder first. Without a display it runs itself under
scripts/tray-display (Xvfb with a tray host). Figures only:
the script never fails on timing.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import traytool  # noqa: E402


def with_tray_display():
    return os.path.join(ROOT, "scripts", "tray-display")


class X11:
    """Just enough of Xlib (through ctypes) to find a process's tray icon
    without starting a process per look, so the start-up figure is not
    blurred by the polling itself."""

    def __init__(self):
        import ctypes
        import ctypes.util
        self.c = ctypes
        self.lib = ctypes.CDLL(ctypes.util.find_library("X11"))
        lib = self.lib
        lib.XOpenDisplay.restype = ctypes.c_void_p
        lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        lib.XDefaultRootWindow.restype = ctypes.c_ulong
        lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        lib.XInternAtom.restype = ctypes.c_ulong
        lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        lib.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                   ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                   ctypes.POINTER(ctypes.c_uint)]
        lib.XGetWindowProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long,
                                           ctypes.c_long, ctypes.c_int, ctypes.c_ulong,
                                           ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
                                           ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
                                           ctypes.POINTER(ctypes.c_void_p)]
        lib.XFree.argtypes = [ctypes.c_void_p]
        lib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]

        class Attributes(ctypes.Structure):
            _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                        ("height", ctypes.c_int), ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
                        ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong), ("class_", ctypes.c_int),
                        ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                        ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                        ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                        ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                        ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                        ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                        ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]
        self.Attributes = Attributes
        lib.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(Attributes)]
        self.display = lib.XOpenDisplay(None)
        if not self.display:
            raise RuntimeError("cannot open the X display")
        self.root = lib.XDefaultRootWindow(self.display)
        self.pid_atom = lib.XInternAtom(self.display, b"_NET_WM_PID", 0)

    def children(self, window):
        c = self.c
        root, parent = c.c_ulong(), c.c_ulong()
        kids, count = c.POINTER(c.c_ulong)(), c.c_uint()
        if not self.lib.XQueryTree(self.display, window, c.byref(root), c.byref(parent), c.byref(kids),
                                   c.byref(count)):
            return []
        result = [kids[i] for i in range(count.value)]
        if kids:
            self.lib.XFree(kids)
        return result

    def pid_of(self, window):
        c = self.c
        actual_type, actual_format = c.c_ulong(), c.c_int()
        items, after, data = c.c_ulong(), c.c_ulong(), c.c_void_p()
        status = self.lib.XGetWindowProperty(self.display, window, self.pid_atom, 0, 1, 0, 6,  # XA_CARDINAL
                                             c.byref(actual_type), c.byref(actual_format), c.byref(items),
                                             c.byref(after), c.byref(data))
        if status != 0 or not data.value:
            return None
        value = c.cast(data, c.POINTER(c.c_ulong))[0] if items.value else None
        self.lib.XFree(data)
        return value

    def icon_window(self, pid):
        """A small, viewable window of pid that is not a top-level window
        (it sits inside the tray host)."""
        self.lib.XSync(self.display, 0)
        stack = [(w, 1) for w in self.children(self.root)]
        while stack:
            window, depth = stack.pop()
            attributes = self.Attributes()
            if not self.lib.XGetWindowAttributes(self.display, window, self.c.byref(attributes)):
                continue
            if attributes.map_state == 2 and depth > 1 and attributes.width <= 64 and attributes.height <= 64 \
                    and self.pid_of(window) == pid:
                return window
            stack.extend((w, depth + 1) for w in self.children(window))
        return None


_X11 = None


def icon_window(pid):
    """The tray icon window of pid, or None (one quick look)."""
    global _X11
    if _X11 is None:
        _X11 = X11()
    return _X11.icon_window(pid)


def time_to_icon(command, env, timeout=30):
    start = time.perf_counter()
    proc = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        while time.perf_counter() - start < timeout:
            if proc.poll() is not None:
                raise RuntimeError("%s ended with %s" % (command[0], proc.returncode))
            if icon_window(proc.pid):
                return time.perf_counter() - start
            time.sleep(0.001)
        raise RuntimeError("%s: no tray icon within %s s" % (command[0], timeout))
    finally:
        proc.terminate()
        proc.wait(10)


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the line, 12 and 13 after ")".
    return int(fields[11]) + int(fields[12])


def wait_for_icon(proc, timeout=30):
    start = time.perf_counter()
    while time.perf_counter() - start < timeout:
        if icon_window(proc.pid):
            return
        time.sleep(0.05)
    raise RuntimeError("no tray icon within %s s" % timeout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--idle-seconds", type=int, default=60)
    parser.add_argument("--no-build", action="store_true")
    args = parser.parse_args()

    if not os.environ.get("VX_BENCH_IN_DISPLAY"):
        if not args.no_build:
            subprocess.run(["cmake", "--build", args.build_dir, "--target", "VeltrixServerController",
                            "vx_bench_minimaltray", "vx_bench_pollcost"], check=True)
        env = dict(os.environ, VX_BENCH_IN_DISPLAY="1")
        command = [sys.executable, os.path.abspath(__file__), "--build-dir", args.build_dir,
                   "--runs", str(args.runs), "--idle-seconds", str(args.idle_seconds), "--no-build"]
        return subprocess.run([with_tray_display(), *command], env=env).returncode

    build = os.path.abspath(args.build_dir)
    controller = [os.path.join(build, "controller", "VeltrixServerController")]
    minimal = [os.path.join(build, "bench", "startup", "vx_bench_minimaltray")]
    root = tempfile.mkdtemp(prefix="vx-bench-")
    try:
        env = traytool.controller_env(root)
        programs = [("minimal tray program", minimal), ("controller", controller)]

        # Warm the file cache once for each.
        for _, command in programs:
            time_to_icon(command, env)

        times = {name: [] for name, _ in programs}
        for run in range(args.runs):
            order = programs if run % 2 == 0 else list(reversed(programs))
            for name, command in order:
                times[name].append(time_to_icon(command, env))
                time.sleep(0.2)

        print("start-up to the tray icon, %d runs each (median, min, max in ms):" % args.runs)
        for name, _ in programs:
            values = times[name]
            print("  %-22s %7.1f %7.1f %7.1f" % (name, statistics.median(values) * 1000,
                                                  min(values) * 1000, max(values) * 1000))
        ratio = statistics.median(times["controller"]) / statistics.median(times["minimal tray program"])
        print("  start-up ratio controller / minimal: %.2f (goal: at most 1.3)" % ratio)

        # Idle CPU: both up at the same time, measured over the same window.
        procs = [(name, subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL)) for name, command in programs]
        try:
            for _, proc in procs:
                wait_for_icon(proc)
            time.sleep(2)
            before = {name: cpu_ticks(proc.pid) for name, proc in procs}
            start = time.perf_counter()
            time.sleep(args.idle_seconds)
            elapsed = time.perf_counter() - start
            after = {name: cpu_ticks(proc.pid) for name, proc in procs}
        finally:
            for _, proc in procs:
                proc.terminate()
                proc.wait(10)
        hz = os.sysconf("SC_CLK_TCK")
        print("idle CPU over %.0f s (%% of one core):" % elapsed)
        for name, _ in programs:
            percent = (after[name] - before[name]) / hz / elapsed * 100
            print("  %-22s %7.3f %%" % (name, percent))
        print("  goal for the controller: below 0.2 %")
    finally:
        shutil.rmtree(root, ignore_errors=True)

    pollcost = os.path.join(build, "bench", "startup", "vx_bench_pollcost")
    if os.path.exists(pollcost):
        print("cost of one service poll:")
        sys.stdout.flush()
        subprocess.run([pollcost])
    return 0


if __name__ == "__main__":
    sys.exit(main())
