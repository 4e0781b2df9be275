"""The database manager, opened from the tray menu of the real binary.

The manager's keyboard focus order: connection box, "Manage Connections",
"Use Selected" and "Upgrade" (each only while enabled and shown), then the
editor buttons. A message box's buttons answer to their letters ("y", "n").
"""

import configparser
import os
import sqlite3
import time
import unittest

import traytool


class DatabaseManagerTest(unittest.TestCase):

    def open_manager(self):
        traytool.open_menu(self.icon)
        traytool.choose_menu_entry("Manage Database")
        manager = traytool.find_window("Database Manager")
        time.sleep(1.5)  # the connection attempt
        return manager

    def close(self, window):
        # Escape, as the user would: the dialog's run ends and the tray goes on.
        traytool.press_keys("Escape", window=window)
        traytool.wait_for_window_gone(window)

    def test_upgrade_and_use_selected(self):
        root = traytool.temporary_root(self)
        folder = traytool.settings_folder(root)
        main, other = os.path.join(folder, "vxs.db"), os.path.join(folder, "other.db")
        os.makedirs(folder)
        with open(os.path.join(folder, "VeltrixServer.ini"), "w") as ini:
            ini.write("[db]\nconnectionName=Main\ntype=SQLite\ndatabaseName=%s\n\n[dbList]\nsize=2\n" % main)
            for number, (name, path) in enumerate((("Main", main), ("Other", other)), 1):
                ini.write("%d\\connectionName=%s\n%d\\type=SQLite\n%d\\databaseName=%s\n" % (
                    number, name, number, number, path))
        built = traytool.start_controller(root, ["--upgrade-database", "--connection", "Other"])
        self.assertEqual(built.wait(60), 0, built.stdout.read())
        proc = traytool.start_controller(root)
        self.addCleanup(traytool.stop_controller, proc)
        self.icon = traytool.wait_for_tray_icon(proc)

        # The server's database does not exist yet: "Upgrade" alone is offered, and builds it.
        manager = self.open_manager()
        traytool.press_keys("Tab", "Tab", "space", window=manager)
        question = traytool.find_window("Upgrade Database", timeout=10)
        traytool.press_keys("y", window=question)
        traytool.wait_for_window_gone(question)
        time.sleep(1.0)
        with sqlite3.connect(main) as db:
            self.assertEqual(db.execute("SELECT dbVersion FROM Info").fetchone()[0], 12)
        self.close(manager)
        with self.assertRaises(traytool.TrayError):  # the server's connection did not change
            traytool.find_window("Restart Required", timeout=1.5)

        # "Use Selected" on "Other": once the manager closes, the server must restart.
        manager = self.open_manager()
        traytool.press_keys("Down", window=manager)
        time.sleep(1.5)
        traytool.press_keys("Tab", "Tab", "space", window=manager)
        time.sleep(0.5)
        self.close(manager)
        restart = traytool.find_window("Restart Required", timeout=10)
        traytool.press_keys("Return", window=restart)
        traytool.wait_for_window_gone(restart)
        stored = configparser.ConfigParser(interpolation=None)
        stored.read(os.path.join(folder, "VeltrixServer.ini"))
        self.assertEqual((stored["db"]["connectionName"], stored["db"]["databaseName"]), ("Other", other))
        self.assertIsNone(proc.poll(), "the controller ended")


if __name__ == "__main__":
    unittest.main()
