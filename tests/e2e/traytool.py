"""Drives the real VeltrixServerController binary (VX_CONTROLLER_BINARY) with xdotool, on an X
display with a system-tray host made by scripts/tray-display."""

import contextlib
import os
import shutil
import subprocess
import tempfile
import time

# Entries reachable by keyboard whatever the service's state: (key, presses).
_MENU_KEYS = {"VX Server Localhost": ("Down", 1), "Manage Database": ("Down", 2),
              "Server Configuration": ("Down", 3), "Quit": ("Up", 1)}


class TrayError(AssertionError):
    pass


def _xdotool(*args, check=True):
    result = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True)
    if check and result.returncode != 0:
        raise TrayError("xdotool %s: %s" % (" ".join(map(str, args)), result.stderr.strip()))
    return result.stdout


def _poll(what, timeout, failure):
    until = time.monotonic() + timeout
    while not (value := what()):
        if time.monotonic() >= until:
            raise TrayError(failure)
        time.sleep(0.1)
    return value


def temporary_root(test_case):
    root = tempfile.mkdtemp(prefix="vx-e2e-")
    test_case.addCleanup(shutil.rmtree, root, True)
    return root


def settings_folder(root):
    return os.path.join(root, "ProgramData", "VeltrixServer")


def controller_env(root, env=None):
    """The environment of a controller whose settings folder is under root."""
    os.makedirs(settings_folder(root), exist_ok=True)
    os.makedirs(os.path.join(root, "runtime"), mode=0o700, exist_ok=True)
    environment = dict(os.environ, XDG_CONFIG_DIRS=os.path.join(root, "ProgramData"),
                       XDG_CONFIG_HOME=os.path.join(root, "config-home"),
                       XDG_RUNTIME_DIR=os.path.join(root, "runtime"))
    environment.pop("QT_QPA_PLATFORM", None)  # the real display, not offscreen
    environment.update(env or {})
    return environment


def start_controller(root, args=(), env=None, user=None):
    """Starts the binary; as user (a pwd entry; needs root) with a runtime folder of its own."""
    env, prefix = dict(env or {}), []
    if user is not None:
        runtime = os.path.join(root, "runtime-" + user.pw_name)
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        os.chown(runtime, user.pw_uid, user.pw_gid)
        env = {"XDG_RUNTIME_DIR": runtime, "HOME": runtime, **env}
        prefix = ["setpriv", "--reuid=%d" % user.pw_uid, "--regid=%d" % user.pw_gid, "--init-groups"]
    binary = os.environ.get("VX_CONTROLLER_BINARY", "")
    if not os.path.exists(binary):
        raise TrayError("VX_CONTROLLER_BINARY does not name the built controller: %r" % binary)
    return subprocess.Popen([*prefix, binary, *args], env=controller_env(root, env),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def stop_controller(proc, sig=15, timeout=10):
    if proc.poll() is None:
        proc.send_signal(sig)
    try:
        return proc.wait(timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        raise TrayError("the controller did not end within %s s of signal %s" % (timeout, sig))


def window_geometry(window):
    values = dict(line.partition("=")[::2] for line in _xdotool("getwindowgeometry", "--shell", window).split())
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def _windows(pid=None, small=True):
    """The visible windows of the controller(s) (of pid): small ones (icons), or large ones (menus)."""
    found = _xdotool("search", "--onlyvisible", "--class", "VeltrixServerController", check=False).split()
    if pid is not None:
        found = [w for w in found if w in _xdotool("search", "--pid", pid, check=False).split()]
    result = []
    for window in found:
        with contextlib.suppress(TrayError, KeyError, ValueError):
            _, _, width, height = window_geometry(window)
            if (width <= 64 and height <= 64) == small and (small or height > 100):
                result.append(window)
    return result


def wait_for_tray_icon(proc, timeout=20):
    def icon():
        if proc.poll() is not None:
            raise TrayError("the controller ended with %s before its icon appeared" % proc.returncode)
        return next(iter(_windows(proc.pid)), None)
    return _poll(icon, timeout, "no tray icon within %s s" % timeout)


def open_menu(icon, timeout=10):
    """Right-clicks the icon; the menu's window."""
    x, y, width, height = window_geometry(icon)
    before = set(_windows(small=False))
    _xdotool("mousemove", x + width // 2, y + height // 2, "click", "3")
    menu = _poll(lambda: next(iter(set(_windows(small=False)) - before), None), timeout, "the tray menu did not open")
    time.sleep(0.3)  # let it finish drawing
    return menu


def choose_menu_entry(text):
    key, presses = _MENU_KEYS[text]
    _xdotool("key", "--delay", "80", *([key] * presses))
    time.sleep(0.1)
    _xdotool("key", "Return")


def find_window(title, timeout=20):
    return _poll(lambda: next(iter(_xdotool("search", "--onlyvisible", "--name", "^%s$" % title,
                                            check=False).split()), None),
                 timeout, "no window titled %r within %s s" % (title, timeout))


def wait_for_window_gone(window, timeout=10):
    _poll(lambda: window not in _xdotool("search", "--onlyvisible", "--name", ".", check=False).split(),
          timeout, "window %s still shown after %s s" % (window, timeout))


def press_keys(*keys, window=None):
    if window is not None:
        _xdotool("windowactivate", "--sync", window, check=False)
        _xdotool("windowfocus", "--sync", window, check=False)
    _xdotool("key", "--delay", "80", *keys)


@contextlib.contextmanager
def bare_display():
    """An X display without a tray host; DISPLAY names it inside."""
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp"], pass_fds=(write_fd,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    old = os.environ.get("DISPLAY")
    try:
        with os.fdopen(read_fd) as pipe:
            os.environ["DISPLAY"] = ":" + pipe.readline().strip()
        yield
    finally:
        os.environ.pop("DISPLAY")
        if old is not None:
            os.environ["DISPLAY"] = old
        xvfb.terminate()
        xvfb.wait()
