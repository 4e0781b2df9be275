"""End to end: the database manager, opened from the tray.

Run by ctest (see e2e-dbmanager.cmake); by hand:
    VX_CONTROLLER_BINARY=build/controller/VeltrixServerController VX_SOURCE_DIR=$PWD \\
    VX_TEST_UPGRADER=build/tests/database/upgrader/vx_test_upgrader \\
        ../../scripts/tray-display python3 -m unittest -v test_dbmanager_e2e

The manager's keyboard focus order: connection box, "Manage Connections",
"Use Selected" and "Upgrade" (each only while enabled and shown), then the
editor buttons. A message box's buttons answer to their letters ("y", "n").
"""

import configparser
import os
import sqlite3
import subprocess
import tempfile
import time
import unittest

import traytool


class DatabaseManagerTest(unittest.TestCase):

    def setUp(self):
        if not traytool.have_tray_display():
            self.fail("no display with a tray host: run under scripts/tray-display")
        self.root = traytool.temporary_root(self)
        self.folder = traytool.settings_folder(self.root)
        os.makedirs(self.folder, exist_ok=True)
        self.shots = os.path.join(self.root, "shots")

    def start(self):
        # A private temporary folder gives this controller its own
        # single-instance key, whatever else runs on the machine.
        private_tmp = os.path.join(self.root, "tmp")
        os.makedirs(private_tmp, exist_ok=True)
        self.proc = traytool.start_controller(self.root, env={"TMPDIR": private_tmp})
        self.addCleanup(self.stop)
        self.icon = traytool.wait_for_tray_icon(self.proc)

    def stop(self):
        if self.proc.poll() is None:
            traytool.stop_controller(self.proc)

    def fail_with_screen(self, message):
        # Outside the test's folder, which is removed when the test ends.
        path = os.path.join(tempfile.gettempdir(), "vx-dbmanager-e2e-failure.png")
        traytool.screenshot(path)
        self.fail("%s (screen: %s)" % (message, path))

    def open_manager(self):
        traytool.open_menu(self.icon)
        traytool.choose_menu_entry("Manage Database")
        manager = traytool.find_window("Database Manager")
        time.sleep(1.5)  # the connection attempt
        return manager

    # Windows are found by title alone: xdotool matches any one of several
    # search conditions, so adding the process id would match every window.
    def window_or_fail(self, title, timeout=10):
        try:
            return traytool.find_window(title, timeout=timeout)
        except traytool.TrayError:
            self.fail_with_screen("no window titled %r" % title)

    def close_manager(self, manager):
        # Escape, as the user would: the dialog's run ends and the tray window
        # goes on (xdotool's windowclose would only destroy the X window).
        traytool.press_keys("Escape", window=manager)
        traytool.wait_for_window_gone(manager)

    def info_version(self, path):
        with sqlite3.connect(path) as db:
            return db.execute("SELECT dbVersion FROM Info").fetchone()[0]

    def test_fresh_folder_upgrade_builds_database(self):
        self.start()
        database = os.path.join(self.folder, "vxs.db")
        manager = self.open_manager()
        # The default connection points at an empty file: only "Upgrade" is
        # offered after the connection box and "Manage Connections".
        traytool.press_keys("Tab", "Tab", "space", window=manager)
        question = self.window_or_fail("Upgrade Database")
        traytool.press_keys("y", window=question)
        traytool.wait_for_window_gone(question)
        time.sleep(1.0)  # the build and the state refresh
        self.assertEqual(self.info_version(database), 12)

        # An empty database needs no copy, so no message follows the upgrade.
        with self.assertRaises(traytool.TrayError):
            traytool.find_window("Upgrade Database", timeout=1)
        source = os.environ.get("VX_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
        shot = traytool.screenshot(os.path.join(source, "docs", "screenshots", "database-manager.png"),
                                   region=traytool.window_geometry(manager))
        self.assertGreater(os.path.getsize(shot), 1000)

        self.close_manager(manager)
        # The server's connection did not change: no restart is asked for.
        with self.assertRaises(traytool.TrayError):
            traytool.find_window("Restart Required", timeout=1.5)
        self.assertIsNone(self.proc.poll(), "the controller ended")

    def test_use_selected_asks_for_restart(self):
        upgrader = os.environ.get("VX_TEST_UPGRADER")
        if not upgrader or not os.path.exists(upgrader):
            self.fail("VX_TEST_UPGRADER does not name the upgrader")
        first = os.path.join(self.folder, "vxs.db")
        second = os.path.join(self.folder, "other.db")
        for path in (first, second):
            built = subprocess.run([upgrader, path], stdout=subprocess.PIPE, text=True, timeout=60)
            self.assertEqual(built.returncode, 0, built.stdout)

        # The server uses "Main"; "Other" is offered after it in the list.
        with open(traytool.settings_file(self.root), "w") as ini:
            ini.write("[db]\nconnectionName=Main\ntype=SQLite\ndatabaseName=%s\n\n" % first)
            ini.write("[dbList]\nsize=2\n"
                      "1\\connectionName=Main\n1\\type=SQLite\n1\\databaseName=%s\n"
                      "2\\connectionName=Other\n2\\type=SQLite\n2\\databaseName=%s\n" % (first, second))
        self.start()
        manager = self.open_manager()
        traytool.press_keys("Down", window=manager)  # the connection box has the focus
        time.sleep(1.5)
        traytool.press_keys("Tab", "Tab", "space", window=manager)  # "Use Selected"
        time.sleep(0.5)
        self.close_manager(manager)
        restart = self.window_or_fail("Restart Required")
        traytool.screenshot(os.path.join(self.shots, "restart-required.png"),
                            region=traytool.window_geometry(restart))
        traytool.press_keys("Return", window=restart)
        traytool.wait_for_window_gone(restart)

        stored = configparser.ConfigParser(interpolation=None)
        stored.read(traytool.settings_file(self.root))
        self.assertEqual(stored["db"]["connectionName"], "Other")
        self.assertEqual(stored["db"]["databaseName"], second)
        self.assertIsNone(self.proc.poll(), "the controller ended")


if __name__ == "__main__":
    unittest.main()
