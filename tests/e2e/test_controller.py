"""The real binary under a real tray (ctest runs each test under scripts/tray-display)."""

import os
import pwd
import signal
import subprocess
import time
import unittest

import traytool


class TrayTest(unittest.TestCase):

    def setUp(self):
        self.root = traytool.temporary_root(self)
        self.started = []
        self.addCleanup(lambda: [p.kill() for p in self.started if p.poll() is None])

    def start(self, user=None, env=None):
        self.started.append(traytool.start_controller(self.root, (), env, user))
        return self.started[-1]

    def test_icon_menu_and_the_ways_out(self):
        # The icon and its menu; Quit, SIGTERM and SIGINT each end the program with 0.
        proc = self.start()
        traytool.open_menu(traytool.wait_for_tray_icon(proc))
        traytool.choose_menu_entry("Quit")
        self.assertEqual(proc.wait(10), 0)
        for sig in (signal.SIGTERM, signal.SIGINT):
            proc = self.start()
            traytool.wait_for_tray_icon(proc)
            self.assertEqual(traytool.stop_controller(proc, sig), 0)
            self.assertNotIn("QSharedMemory", proc.stderr.read())

    def test_one_controller_at_a_time(self):
        first = self.start()
        icon = traytool.wait_for_tray_icon(first)
        # A second start shows its balloon and ends by itself with 0; the first goes on.
        self.assertEqual(self.start().wait(15), 0)
        self.assertEqual(traytool.wait_for_tray_icon(first, timeout=5), icon)
        # Killed, the first leaves its instance segment behind: a new start stays up.
        first.kill()
        first.wait(10)
        third = self.start()
        traytool.wait_for_tray_icon(third)
        time.sleep(1.5)
        self.assertIsNone(third.poll(), "a new start refused after a killed controller")
        self.assertEqual(traytool.stop_controller(third), 0)

    def test_each_user_has_own_controller(self):
        if os.geteuid() != 0:
            raise unittest.SkipTest("starts a controller as a second user: needs root")
        name = "vx-e2e-%d" % os.getpid()  # a throwaway user
        subprocess.run(["useradd", "--system", "--no-create-home", "--user-group", name], check=True)
        self.addCleanup(subprocess.run, ["userdel", name], check=False)
        user = pwd.getpwnam(name)
        # Both users share one temporary folder, as they share /tmp.
        os.chmod(self.root, 0o755)
        shared = {"TMPDIR": os.path.join(self.root, "tmp")}
        os.mkdir(shared["TMPDIR"], 0o1777)
        os.chmod(shared["TMPDIR"], 0o1777)
        first = [self.start(who, shared) for who in (None, user)]
        for proc in first:
            traytool.wait_for_tray_icon(proc)
        for who in (None, user):
            self.assertEqual(self.start(who, shared).wait(15), 0, "a second start by the same user")
        time.sleep(1.5)
        for proc in first:
            self.assertIsNone(proc.poll(), "a user's first controller ended")
            self.assertEqual(traytool.stop_controller(proc), 0)

    def test_no_tray_host_reports_and_exits_with_one(self):
        with traytool.bare_display():
            proc = self.start()
            traytool.press_keys("Return", window=traytool.find_window("Systray"))
            self.assertEqual(proc.wait(10), 1)


if __name__ == "__main__":
    unittest.main()
