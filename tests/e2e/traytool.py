"""Helpers for end-to-end tests of the real VeltrixServerController binary.

The tests run inside a private X display with a system-tray host, made by
scripts/tray-display (Xvfb + trayer), and drive the program with
xdotool and ImageMagick's `import`. Only the standard library is used.

Typical use in a test (run under scripts/tray-display; ctest does that, see
CMakeLists.txt beside this file):

    import traytool

    root = tempfile.mkdtemp()
    proc = traytool.start_controller(root)            # settings under root/ProgramData
    icon = traytool.wait_for_tray_icon(proc)          # X window id of the icon
    menu = traytool.open_menu(icon)                   # right click, returns the menu window
    traytool.choose_menu_entry("Manage Database")     # keyboard navigation of the menu
    dialog = traytool.find_window("Database Manager") # waits for a visible window by title
    traytool.screenshot("shot.png", region=traytool.window_geometry(dialog))
    traytool.close_window(dialog)
    traytool.stop_controller(proc)                    # SIGTERM, returns the exit code

Functions:
- controller_binary(): path of the binary (env VX_CONTROLLER_BINARY).
- settings_file(root): the shared INI file a controller started with root uses.
- start_controller(root, args=(), env=None, user=None): starts the binary
  with its settings folder pointed at root/ProgramData/VeltrixServer/
  through XDG_CONFIG_DIRS (the program looks for a configuration directory
  named ...ProgramData); returns a subprocess.Popen with stdout/stderr
  captured. With user (a pwd entry; needs root, and root must be readable
  by that user) it runs as that user with a runtime folder of its own.
- wait_for_tray_icon(proc, timeout): the icon's window id, once it is embedded.
- window_geometry(window): (x, y, width, height).
- open_menu(icon): opens the context menu with a right click, returns its window.
- choose_menu_entry(text): chooses an entry of the open tray menu. Works for
  the entries that are always enabled ("VX Server Localhost", "Manage
  Database", "Server Configuration", "Quit").
- find_window(title, timeout, pid=None): a visible window whose title is title.
- wait_for_window_gone(window, timeout).
- press_keys(*keys, window=None): xdotool key names ("Return", "Escape", "Tab").
- click(x, y, button=1).
- close_window(window): closes a dialog as its title bar button would.
- screenshot(path, region=None): PNG of the screen, or of region (x, y, w, h).
- set_desktop_background(top, bottom): paints the (otherwise black) root
  window with a vertical gradient, for screenshots that look like a desktop.
- stop_controller(proc, sig=SIGTERM, timeout): sends sig, returns the exit code.
- bare_display(): context manager for an X display WITHOUT a tray host
  (DISPLAY is set inside it).
"""

import contextlib
import os
import shutil
import signal
import subprocess
import tempfile
import time

BINARY_NAME = "VeltrixServerController"

# The tray menu from top to bottom; "---" is a separator.
MENU_ENTRIES = [
    "VX Server Localhost",
    "Manage Database",
    "Server Configuration",
    "---",
    "Start Service",
    "Restart Service",
    "Stop Service",
    "Install Service",
    "Uninstall Service",
    "---",
    "Quit",
]

# Entries reachable by keyboard whatever the state of the service:
# (key, presses) from a freshly opened menu.
_MENU_KEYS = {
    "VX Server Localhost": ("Down", 1),
    "Manage Database": ("Down", 2),
    "Server Configuration": ("Down", 3),
    "Quit": ("Up", 1),
}


class TrayError(AssertionError):
    pass


def controller_binary():
    path = os.environ.get("VX_CONTROLLER_BINARY")
    if not path or not os.path.exists(path):
        raise TrayError("VX_CONTROLLER_BINARY does not name the built controller: %r" % path)
    return path


def _xdotool(*args, check=True):
    result = subprocess.run(["xdotool", *map(str, args)], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)
    if check and result.returncode != 0:
        raise TrayError("xdotool %s failed: %s" % (" ".join(map(str, args)), result.stderr.strip()))
    return result.stdout


def _poll(what, timeout, step=0.1):
    until = time.monotonic() + timeout
    while True:
        value = what()
        if value:
            return value
        if time.monotonic() >= until:
            return None
        time.sleep(step)


def settings_folder(root):
    return os.path.join(root, "ProgramData", "VeltrixServer")


def settings_file(root):
    return os.path.join(settings_folder(root), "VeltrixServer.ini")


def controller_env(root, env=None):
    environment = dict(os.environ)
    os.makedirs(settings_folder(root), exist_ok=True)
    environment["XDG_CONFIG_DIRS"] = os.path.join(root, "ProgramData")
    environment["XDG_CONFIG_HOME"] = os.path.join(root, "config-home")
    runtime = os.path.join(root, "runtime")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    environment["XDG_RUNTIME_DIR"] = runtime
    environment.pop("QT_QPA_PLATFORM", None)  # the real display, not offscreen
    if env:
        environment.update(env)
    return environment


def start_controller(root, args=(), env=None, user=None):
    env, prefix = dict(env or {}), []
    if user is not None:
        runtime = os.path.join(root, "runtime-" + user.pw_name)
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        os.chown(runtime, user.pw_uid, user.pw_gid)
        env = {"XDG_RUNTIME_DIR": runtime, "HOME": runtime, **env}
        prefix = ["setpriv", "--reuid=%d" % user.pw_uid, "--regid=%d" % user.pw_gid, "--init-groups"]
    return subprocess.Popen([*prefix, controller_binary(), *args], env=controller_env(root, env),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def window_geometry(window):
    values = {}
    for line in _xdotool("getwindowgeometry", "--shell", window).splitlines():
        key, _, value = line.partition("=")
        values[key] = value
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def _visible_windows(pid=None):
    args = ["search", "--onlyvisible", "--class", BINARY_NAME]
    out = _xdotool(*args, check=False)
    windows = [w for w in out.split() if w]
    if pid is None:
        return windows
    owned = set(_xdotool("search", "--pid", pid, check=False).split())
    return [w for w in windows if w in owned]


def wait_for_tray_icon(proc, timeout=20):
    """The tray icon's window of proc: small, and embedded in the tray."""
    def icon():
        if proc.poll() is not None:
            raise TrayError("the controller ended with %s before its icon appeared" % proc.returncode)
        for window in _visible_windows(proc.pid):
            try:
                _, _, width, height = window_geometry(window)
            except (TrayError, KeyError, ValueError):
                continue
            if width <= 64 and height <= 64:
                return window
        return None
    found = _poll(icon, timeout)
    if not found:
        raise TrayError("no tray icon within %s s" % timeout)
    return found


def open_menu(icon, timeout=10):
    x, y, width, height = window_geometry(icon)
    before = set(_visible_windows())
    _xdotool("mousemove", x + width // 2, y + height // 2, "click", "3")

    def menu():
        for window in _visible_windows():
            if window in before:
                continue
            try:
                _, _, w, h = window_geometry(window)
            except (TrayError, KeyError, ValueError):
                continue
            if h > 100 and w > 80:
                return window
        return None
    found = _poll(menu, timeout)
    if not found:
        raise TrayError("the tray menu did not open")
    time.sleep(0.3)  # let it finish drawing
    return found


def choose_menu_entry(text):
    if text not in _MENU_KEYS:
        raise TrayError("%r cannot be chosen by keyboard in every state" % text)
    key, presses = _MENU_KEYS[text]
    _xdotool("key", "--delay", "80", *([key] * presses))
    time.sleep(0.1)
    _xdotool("key", "Return")


def find_window(title, timeout=20, pid=None):
    def window():
        args = ["search", "--onlyvisible", "--name", "^%s$" % title]
        if pid is not None:
            args = ["search", "--all", "--onlyvisible", "--pid", str(pid), "--name", "^%s$" % title]
        ids = _xdotool(*args, check=False).split()
        return ids[0] if ids else None
    found = _poll(window, timeout)
    if not found:
        raise TrayError("no window titled %r within %s s" % (title, timeout))
    return found


def wait_for_window_gone(window, timeout=10):
    def gone():
        return window not in _xdotool("search", "--onlyvisible", "--name", ".", check=False).split()
    if not _poll(gone, timeout):
        raise TrayError("window %s still shown after %s s" % (window, timeout))


def press_keys(*keys, window=None):
    if window is not None:
        _xdotool("windowactivate", "--sync", window, check=False)
        _xdotool("windowfocus", "--sync", window, check=False)
    _xdotool("key", "--delay", "80", *keys)


def click(x, y, button=1):
    _xdotool("mousemove", x, y, "click", button)


def close_window(window):
    _xdotool("windowclose", window, check=False)


def screenshot(path, region=None):
    """Writes a PNG of the whole screen, or of region = (x, y, w, h)."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "screen.png")
        subprocess.run(["import", "-window", "root", raw], check=True)
        args = [raw]
        if region:
            x, y, w, h = region
            args += ["-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage"]
        # No time stamps in the file: the same screen gives the same bytes.
        convert = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"
        subprocess.run([convert, *args, "-strip", "-define", "png:exclude-chunks=date,time", path],
                       check=True)
    return path


def set_desktop_background(top="#3d6a9e", bottom="#16304f"):
    convert = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"
    geometry = subprocess.run(["xdotool", "getdisplaygeometry"], stdout=subprocess.PIPE, text=True,
                              check=True).stdout.split()
    with tempfile.TemporaryDirectory() as tmp:
        picture = os.path.join(tmp, "background.png")
        subprocess.run([convert, "-size", "%sx%s" % (geometry[0], geometry[1]),
                        "gradient:%s-%s" % (top, bottom), picture], check=True)
        # display exits with 1 after setting the root background: not a failure.
        subprocess.run(["display", "-window", "root", picture], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def stop_controller(proc, sig=signal.SIGTERM, timeout=10):
    if proc.poll() is None:
        proc.send_signal(sig)
    try:
        proc.wait(timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        raise TrayError("the controller did not end within %s s of signal %s" % (timeout, sig))
    return proc.returncode


@contextlib.contextmanager
def bare_display():
    """An X display without any tray host; DISPLAY points at it inside."""
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp"], pass_fds=(write_fd,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    old = os.environ.get("DISPLAY")
    try:
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise TrayError("Xvfb did not start")
        os.environ["DISPLAY"] = ":" + number
        yield os.environ["DISPLAY"]
    finally:
        if old is None:
            os.environ.pop("DISPLAY", None)
        else:
            os.environ["DISPLAY"] = old
        xvfb.terminate()
        try:
            xvfb.wait(5)
        except subprocess.TimeoutExpired:
            xvfb.kill()
            xvfb.wait()


def temporary_root(test_case):
    """A temporary folder removed when the unittest test case ends."""
    root = tempfile.mkdtemp(prefix="vx-e2e-")
    test_case.addCleanup(shutil.rmtree, root, True)
    return root


def have_tray_display():
    return bool(os.environ.get("DISPLAY")) and shutil.which("xdotool") is not None
