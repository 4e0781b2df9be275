"""End-to-end tests of the tray controller binary.

Run by ctest (see CMakeLists.txt); by hand:
    VX_CONTROLLER_BINARY=build/controller/VeltrixServerController \\
        ../../scripts/tray-display python3 -m unittest -v test_controller.TrayTest
    VX_CONTROLLER_BINARY=... python3 -m unittest -v test_controller.NoTrayTest
"""

import os
import pwd
import signal
import subprocess
import time
import unittest

import traytool


class TrayTest(unittest.TestCase):
    """Needs a display with a tray host (scripts/tray-display)."""

    def setUp(self):
        if not traytool.have_tray_display():
            self.fail("no display with a tray host: run under scripts/tray-display")
        self.root = traytool.temporary_root(self)
        self.started = []

    def tearDown(self):
        for proc in self.started:
            if proc.poll() is None:
                proc.kill()
                proc.wait()

    def start(self, *args, user=None, env=None):
        proc = traytool.start_controller(self.root, args, env, user)
        self.started.append(proc)
        return proc

    def test_icon_menu_and_sigterm(self):
        traytool.set_desktop_background()
        proc = self.start()
        icon = traytool.wait_for_tray_icon(proc)
        menu = traytool.open_menu(icon)

        # The screenshot for the README: the tray and its open menu.
        mx, my, mw, mh = traytool.window_geometry(menu)
        ix, iy, iw, ih = traytool.window_geometry(icon)
        left, top = min(mx, ix) - 160, 0
        right, bottom = max(mx + mw, ix + iw), max(my + mh, iy + ih) + 60
        region = (max(left, 0), top, right - max(left, 0), bottom - top)
        source = os.environ.get("VX_SOURCE_DIR")
        target = os.path.join(source, "docs", "screenshots", "tray-menu.png") if source else \
            os.path.join(self.root, "tray-menu.png")
        traytool.screenshot(target, region=region)
        self.assertGreater(os.path.getsize(target), 1000)

        traytool.press_keys("Escape")
        self.assertEqual(traytool.stop_controller(proc, signal.SIGTERM), 0)
        self.assertEqual(proc.stderr.read().count("QSharedMemory"), 0)

    def test_quit_entry_ends_with_zero(self):
        proc = self.start()
        icon = traytool.wait_for_tray_icon(proc)
        traytool.open_menu(icon)
        traytool.choose_menu_entry("Quit")
        self.assertEqual(proc.wait(10), 0)

    def test_sigint_ends_with_zero(self):
        proc = self.start()
        traytool.wait_for_tray_icon(proc)
        self.assertEqual(traytool.stop_controller(proc, signal.SIGINT), 0)

    def test_second_start_exits_and_first_keeps_running(self):
        first = self.start()
        first_icon = traytool.wait_for_tray_icon(first)
        second = self.start()
        # The second shows its balloon and ends by itself with 0.
        self.assertEqual(second.wait(15), 0)
        time.sleep(0.5)
        self.assertIsNone(first.poll(), "the first controller ended")
        self.assertEqual(traytool.wait_for_tray_icon(first, timeout=5), first_icon)
        self.assertEqual(traytool.stop_controller(first), 0)
        # With the first gone, a new one stays up.
        third = self.start()
        traytool.wait_for_tray_icon(third)
        time.sleep(1.5)
        self.assertIsNone(third.poll())
        self.assertEqual(traytool.stop_controller(third), 0)

    def test_new_start_after_sigkill(self):
        first = self.start()
        traytool.wait_for_tray_icon(first)
        first.kill()  # SIGKILL: the instance segment stays behind
        first.wait(10)
        second = self.start()
        traytool.wait_for_tray_icon(second)
        time.sleep(1.5)
        self.assertIsNone(second.poll(), "the new controller refused to run after a killed one")
        self.assertEqual(traytool.stop_controller(second), 0)

    def test_each_user_has_own_controller(self):
        if os.geteuid() != 0:
            self.skipTest("starts a controller as a second user: needs root")
        name = "vx-e2e-%d" % os.getpid()  # a throwaway user
        subprocess.run(["useradd", "--system", "--no-create-home", "--user-group", name], check=True)
        self.addCleanup(subprocess.run, ["userdel", name], check=False)
        user = pwd.getpwnam(name)
        # Both users share one temporary folder, as they share /tmp.
        os.chmod(self.root, 0o755)
        shared = {"TMPDIR": os.path.join(self.root, "tmp")}
        os.mkdir(shared["TMPDIR"])
        os.chmod(shared["TMPDIR"], 0o1777)

        first = {who: self.start(user=who, env=shared) for who in (None, user)}
        for proc in first.values():
            traytool.wait_for_tray_icon(proc)
        for who in (None, user):
            self.assertEqual(self.start(user=who, env=shared).wait(15), 0, "a second start by the same user")
        time.sleep(1.5)
        for proc in first.values():
            self.assertIsNone(proc.poll(), "a user's first controller ended")
            self.assertEqual(traytool.stop_controller(proc), 0)


class NoTrayTest(unittest.TestCase):
    """Makes its own display without a tray host."""

    def test_no_tray_host_reports_and_exits_with_one(self):
        root = traytool.temporary_root(self)
        with traytool.bare_display():
            proc = traytool.start_controller(root)
            try:
                box = traytool.find_window("Systray", pid=proc.pid)
                traytool.press_keys("Return", window=box)
                self.assertEqual(proc.wait(10), 1)
            finally:
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()


if __name__ == "__main__":
    unittest.main()
