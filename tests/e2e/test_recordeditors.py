"""End to end: the record editors of the database manager, driven from the tray.

Run by ctest (see e2e-recordeditors.cmake); by hand:
    VX_CONTROLLER_BINARY=build/controller/VeltrixServerController \\
    VX_TEST_UPGRADER=build/tests/database/upgrader/vx_test_upgrader \\
        ../../scripts/tray-display python3 -m unittest -v test_recordeditors

The controller's settings point at a version-12 SQLite file built by the
upgrader; the manager, opened once from the tray menu, connects to it. Each
editor is reached with the keyboard (the manager's focus order: connection
box, "Manage Connections", then the four editor buttons) and filled field by
field in the editor's focus order.
What was stored is read back from the file with sqlite3.
"""

import os
import sqlite3
import subprocess
import time
import unittest

import traytool

EDITOR_BUTTON_TABS = {
    "DB Device": 2,
    "DB Device Config": 3,
    "DB Location Config": 4,
    "DB Email Config": 5,
}


class RecordEditorsTest(unittest.TestCase):

    def setUp(self):
        if not traytool.have_tray_display():
            self.fail("no display with a tray host: run under scripts/tray-display")
        upgrader = os.environ.get("VX_TEST_UPGRADER")
        if not upgrader or not os.path.exists(upgrader):
            self.fail("VX_TEST_UPGRADER does not name the upgrader")
        self.root = traytool.temporary_root(self)
        self.database = os.path.join(traytool.settings_folder(self.root), "vxs.db")
        os.makedirs(traytool.settings_folder(self.root), exist_ok=True)
        built = subprocess.run([upgrader, self.database], stdout=subprocess.PIPE, text=True, timeout=60)
        self.assertEqual(built.returncode, 0, built.stdout)
        # A private temporary folder gives this controller its own
        # single-instance key, whatever else runs on the machine.
        private_tmp = os.path.join(self.root, "tmp")
        os.makedirs(private_tmp)
        self.proc = traytool.start_controller(self.root, env={"TMPDIR": private_tmp})
        self.addCleanup(self.stop)
        self.icon = traytool.wait_for_tray_icon(self.proc)

    def stop(self):
        if self.proc.poll() is None:
            traytool.stop_controller(self.proc)

    def rows(self, sql):
        with sqlite3.connect(self.database) as db:
            return db.execute(sql).fetchall()

    def shot(self, window, name):
        return traytool.screenshot(os.path.join(self.root, name + ".png"),
                                   region=traytool.window_geometry(window))

    def open_manager(self):
        traytool.open_menu(self.icon)
        traytool.choose_menu_entry("Manage Database")
        self.manager = traytool.find_window("Database Manager")
        time.sleep(1.5)  # the connection attempt
        self.focus = 0  # on the connection box

    def activate(self, window):
        """Gives `window` the keyboard: without a window manager nothing else
        does when a dialog above it closes. Clicks into its top left corner."""
        x, y, _, _ = traytool.window_geometry(window)
        traytool.click(x + 5, y + 5)
        time.sleep(0.3)

    def open_editor(self, title):
        """Moves the manager's focus to the button for `title` and presses it.
        The focus starts on the connection box and comes back to the button
        that opened an editor when the editor closes."""
        self.activate(self.manager)
        steps = EDITOR_BUTTON_TABS[title] - self.focus
        traytool.press_keys(*(["Tab"] * steps if steps >= 0 else ["shift+Tab"] * -steps), "space")
        self.focus = EDITOR_BUTTON_TABS[title]
        editor = traytool.find_window(title)
        time.sleep(0.5)
        return editor

    def close_dialog(self, dialog):
        # Escape, as the dialog's own way out: destroying its X window would
        # leave Qt's modal loop running.
        self.activate(dialog)
        traytool.press_keys("Escape")
        traytool.wait_for_window_gone(dialog)
        time.sleep(0.3)

    def new_record(self, editor):
        # From the record box: "New"; the focus passes on to "Save" (or, where
        # "Save" was disabled while browsing, to "Cancel").
        traytool.press_keys("Tab", "space", window=editor)
        time.sleep(0.3)

    def type_text(self, text):
        subprocess.run(["xdotool", "type", "--delay", "30", text], check=True)

    def test_device_with_config_location_and_email(self):
        self.open_manager()

        # E-mail config: Name, To Addresses, the address input, "Add Address".
        editor = self.open_editor("DB Email Config")
        self.new_record(editor)
        traytool.press_keys("Tab", "Tab")
        self.type_text("Head Office")
        traytool.press_keys("Tab", "Tab")
        self.type_text("safety@veltrix.com")
        traytool.press_keys("Tab", "space")
        traytool.press_keys(*(["shift+Tab"] * 5), "space")  # back to "Save"
        time.sleep(0.5)
        self.shot(editor, "email")
        self.close_dialog(editor)
        self.assertEqual(self.rows("SELECT Name, toAddresses FROM EmailConfig"),
                         [("Head Office", "safety@veltrix.com")])
        email_id = self.rows("SELECT EmailConfigID FROM EmailConfig")[0][0]

        # Location: Name, Email (the first entry after "None"), Timezone.
        editor = self.open_editor("DB Location Config")
        self.new_record(editor)
        traytool.press_keys("Tab", "Tab")
        self.type_text("Adelaide Depot")
        traytool.press_keys("Tab", "Down")
        traytool.press_keys(*(["shift+Tab"] * 3), "space")
        time.sleep(0.5)
        self.shot(editor, "location")
        self.close_dialog(editor)
        locations = self.rows("SELECT LocationID, name, EmailConfigID, Timezone FROM Location")
        self.assertEqual(len(locations), 1)
        location_id, name, location_email, zone = locations[0]
        self.assertEqual((name, location_email), ("Adelaide Depot", email_id))
        self.assertTrue(zone)

        # Device: the serial field holds "00000000" after New. "Edit" is
        # disabled while browsing, so New hands the focus on to "Cancel".
        editor = self.open_editor("DB Device")
        self.new_record(editor)
        traytool.press_keys("Tab", "ctrl+a")
        self.type_text("20260001")
        traytool.press_keys("shift+Tab", "shift+Tab", "space")
        time.sleep(0.5)
        self.close_dialog(editor)
        devices = self.rows("SELECT DevicesID, serial FROM Devices")
        self.assertEqual([serial for _, serial in devices], ["20260001"])
        device_id = devices[0][0]

        # Device config: Serial (the only device), Enabled, Name, Hostname,
        # Location (the first entry after "None").
        editor = self.open_editor("DB Device Config")
        self.new_record(editor)
        traytool.press_keys("Tab", "Tab", "Down", "Tab", "Tab")
        self.type_text("Front Gate")
        traytool.press_keys("Tab")
        self.type_text("gate-pc")
        traytool.press_keys("Tab", "Down")
        traytool.press_keys(*(["shift+Tab"] * 6), "space")
        time.sleep(0.5)
        self.shot(editor, "device-config")
        self.close_dialog(editor)
        self.assertEqual(
            self.rows("SELECT DevicesID, DeviceName, HostName, LocationID, EmailConfigID, Disabled "
                      "FROM DeviceConfigs"),
            [(device_id, "Front Gate", "gate-pc", location_id, None, 0)])

        # Listed: the config editor opens on it.
        editor = self.open_editor("DB Device Config")
        listed = self.shot(editor, "device-config-listed")
        self.assertGreater(os.path.getsize(listed), 1000)
        self.close_dialog(editor)
        self.close_dialog(self.manager)
        self.assertIsNone(self.proc.poll(), "the controller ended")


if __name__ == "__main__":
    unittest.main()
