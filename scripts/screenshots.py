"""Takes the README's pictures of the real controller; run by scripts/screenshots.sh
inside scripts/tray-display.

    screenshots.py BINARY OUTPUT_FOLDER

The controller runs with a settings folder of its own (a temporary folder): a
settings file with sample values, and a database built to the current version
by the controller's own --upgrade-database, with a few records. The pictures:
the tray with its menu, the server configuration dialog, the database manager
on that database, and the four record editors, each showing its first record.
"""

import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import traytool  # noqa: E402

SETTINGS = """[General]
devicePort=26001
deviceServerEncrypted=true
deviceServerPrivateKeyPath=C:/ProgramData/VeltrixServer/device.key
deviceServerCertificatePath=C:/ProgramData/VeltrixServer/device.crt
deviceServerSharedKey=correct-horse
webServerEnabled=true
webServerPort=8080
webServerEncryptedEnabled=true
webServerEncryptedPort=8443
webServerPrivateKeyPath=C:/ProgramData/VeltrixServer/web.key
webServerCertificatePath=C:/ProgramData/VeltrixServer/web.crt
unitsOfMeasure=5
followUpEmailEnabled=true
followUpEmailPeriod=6
timezones=Australia/Adelaide,Australia/Brisbane,Australia/Melbourne,Australia/Perth,Australia/Sydney,\
Pacific/Auckland

[db]
connectionName=Server Default
type=SQLite
databaseName={folder}/vxs.db

[dbList]
1\\connectionName=Server Default
1\\type=SQLite
1\\databaseName={folder}/vxs.db
size=1

[email]
enabled=true
smtpAddress=smtp.example.com
smtpPort=587
smtpUsername=alerts@example.com
smtpPassword=mail-pass
smtpAuthenticate=true
smtpEncryption=2
errorFromAddress=alerts@example.com
eventLevel=1
errorToAddresses=ops@example.com,Boss@Example.org
eventSubject=Server event

[devices]
autoAdd=false

[maintenance]
time=04:30:00
clearOldImages=true
daysToKeepImages=45

[webAuth]
authenticate=true
Users\\1\\username=admin
Users\\1\\password=5ebe2294ecd0e0f08eab7690d2a6ee69
Users\\size=1
"""

RECORDS = """
INSERT INTO Devices (serial, connected) VALUES ('20260001', 0), ('20260002', 0), ('20260003', 0);
INSERT INTO EmailConfig (Name, toAddresses, SMSAddress, subject, message, resultLimit) VALUES
    ('Head Office Alerts', 'safety@veltrix.com,site.manager@veltrix.com', '0400111222@sms.net',
     'Test result above limit', 'Please follow up the test below.', '0.05');
INSERT INTO EmailConfig (Name, toAddresses) VALUES ('Night Shift', 'night@veltrix.com');
INSERT INTO Location (name, EmailConfigID, Timezone) VALUES
    ('Adelaide Depot', (SELECT EmailConfigID FROM EmailConfig WHERE Name = 'Head Office Alerts'),
     'Australia/Adelaide'),
    ('Perth Yard', NULL, 'Australia/Perth');
INSERT INTO DeviceConfigs (DevicesID, DeviceName, HostName, LocationID, EmailConfigID) VALUES
    ((SELECT DevicesID FROM Devices WHERE serial = '20260001'), 'Front Gate', 'gate-pc',
     (SELECT LocationID FROM Location WHERE name = 'Adelaide Depot'),
     (SELECT EmailConfigID FROM EmailConfig WHERE Name = 'Head Office Alerts'));
INSERT INTO DeviceConfigs (DevicesID, DeviceName) VALUES
    ((SELECT DevicesID FROM Devices WHERE serial = '20260002'), 'Workshop');
"""

# The manager's focus order on a current database: connection box, "Manage
# Connections", then the editor buttons.
EDITORS = [("editor-devices", "DB Device", 2), ("editor-device-configs", "DB Device Config", 3),
           ("editor-locations", "DB Location Config", 4), ("editor-email-configs", "DB Email Config", 5)]


def convert(*args):
    subprocess.run(["/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert", *args], check=True)


def screenshot(path, region):
    """A PNG of region (x, y, width, height) of the screen, without time stamps."""
    with tempfile.TemporaryDirectory() as tmp:
        screen = os.path.join(tmp, "screen.png")
        subprocess.run(["import", "-window", "root", screen], check=True)
        x, y, width, height = region
        convert(screen, "-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage", "-strip",
                "-define", "png:exclude-chunks=date,time", path)
    print("screenshots: %s" % path)


def desktop_background():
    width, height = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True, text=True,
                                   check=True).stdout.split()
    with tempfile.TemporaryDirectory() as tmp:
        picture = os.path.join(tmp, "background.png")
        convert("-size", "%sx%s" % (width, height), "gradient:#3d6a9e-#16304f", picture)
        # display exits with 1 once it has set the root window's background.
        subprocess.run(["display", "-window", "root", picture], stderr=subprocess.DEVNULL)


def activate(window):
    """Gives window the keyboard: without a window manager nothing else does
    when a dialog above it closes."""
    x, y, _, _ = traytool.window_geometry(window)
    subprocess.run(["xdotool", "mousemove", str(x + 5), str(y + 5), "click", "1"], check=True)
    time.sleep(0.3)


def close(window):
    activate(window)
    traytool.press_keys("Escape")
    traytool.wait_for_window_gone(window)
    time.sleep(0.3)


def main(binary, output):
    os.environ["VX_CONTROLLER_BINARY"] = binary
    os.makedirs(output, exist_ok=True)
    root = tempfile.mkdtemp(prefix="vx-screenshots-")
    try:
        folder = traytool.settings_folder(root)
        os.makedirs(folder)
        with open(os.path.join(folder, "VeltrixServer.ini"), "w") as ini:
            ini.write(SETTINGS.format(folder=folder))
        built = traytool.start_controller(root, ["--upgrade-database", "--no-backup"])
        if built.wait(120) != 0:
            sys.exit("screenshots: the database could not be built:\n" + built.stdout.read() + built.stderr.read())
        with sqlite3.connect(os.path.join(folder, "vxs.db")) as db:
            db.executescript(RECORDS)

        desktop_background()
        proc = traytool.start_controller(root)
        try:
            icon = traytool.wait_for_tray_icon(proc)
            time.sleep(1)
            menu = traytool.open_menu(icon)
            mx, my, mw, mh = traytool.window_geometry(menu)
            ix, iy, iw, ih = traytool.window_geometry(icon)
            left = max(min(mx, ix) - 160, 0)
            screenshot(os.path.join(output, "tray-menu.png"),
                       (left, 0, max(mx + mw, ix + iw) - left, max(my + mh, iy + ih) + 60))
            traytool.choose_menu_entry("Server Configuration")
            dialog = traytool.find_window("Server Configuration")
            time.sleep(1)
            screenshot(os.path.join(output, "server-configuration.png"), traytool.window_geometry(dialog))
            close(dialog)

            traytool.open_menu(icon)
            traytool.choose_menu_entry("Manage Database")
            manager = traytool.find_window("Database Manager")
            time.sleep(2)  # the connection attempt
            screenshot(os.path.join(output, "database-manager.png"), traytool.window_geometry(manager))
            focus = 0  # on the connection box; back on an editor's button once the editor closes
            for name, title, tabs in EDITORS:
                activate(manager)
                traytool.press_keys(*(["Tab"] * (tabs - focus)), "space")
                focus = tabs
                editor = traytool.find_window(title)
                time.sleep(1)
                screenshot(os.path.join(output, name + ".png"), traytool.window_geometry(editor))
                close(editor)
            close(manager)
        finally:
            traytool.stop_controller(proc)
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main(*sys.argv[1:3])
