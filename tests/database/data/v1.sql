-- A version-1 database as the first release left it: the eleven tables, the
-- Info row and a few rows of every kind. Written by hand, not by the code it
-- checks. SQLite syntax, statements end with ";" at the end of a line.
CREATE TABLE Devices (
    DevicesID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    serial VARCHAR(10) NOT NULL UNIQUE,
    connected BOOLEAN NOT NULL,
    lastUpdated DATETIME
);
CREATE TABLE Status (
    StatusID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    DevicesID INTEGER NOT NULL UNIQUE,
    state VARCHAR(100), testState VARCHAR(100), lastOutcome VARCHAR(100), errorState VARCHAR(100),
    firmware VARCHAR(10), bootloader VARCHAR(10), ssSerial VARCHAR(10), ssFirmware VARCHAR(10),
    featureFlags INTEGER,
    testCount INTEGER, daysTillService INTEGER, coinCount INTEGER, lastResult INTEGER,
    FOREIGN KEY (DevicesID) REFERENCES Devices (DevicesID) ON DELETE CASCADE ON UPDATE CASCADE
);
CREATE TABLE Diagnostics (
    DiagnosticsID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    DevicesID INTEGER NOT NULL UNIQUE,
    logRecord INTEGER,
    rtc DATETIME, rtcLastSet DATETIME,
    errorFlags VARCHAR(20), statusFlags VARCHAR(20),
    keypadButton INTEGER, fuelCell INTEGER,
    fuelCellShort BOOLEAN,
    pressure INTEGER, USBVRG INTEGER, barometer INTEGER, altitude INTEGER, temperature INTEGER, flow INTEGER,
    beeper BOOLEAN, pump BOOLEAN, spareOut BOOLEAN, spareIn1 BOOLEAN, spareIn2 BOOLEAN,
    coinSum INTEGER,
    coinEnabled BOOLEAN, coinInhibit BOOLEAN,
    rtcCompensation INTEGER, oldestLogRecord INTEGER,
    FOREIGN KEY (DevicesID) REFERENCES Devices (DevicesID) ON DELETE CASCADE ON UPDATE CASCADE
);
CREATE TABLE EventLog (
    EventLogID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    timeStamp DATETIME NOT NULL,
    serial VARCHAR(10),
    event TEXT,
    type VARCHAR(20)
);
CREATE TABLE DeviceLogs (
    DeviceLogsID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    DevicesID INTEGER NOT NULL,
    recordNo INTEGER NOT NULL DEFAULT -1,
    date DATE NOT NULL,
    time TIME NOT NULL,
    serial VARCHAR(10) NOT NULL,
    type VARCHAR(100) NOT NULL,
    outcome VARCHAR(100),
    result VARCHAR(100),
    firstName VARCHAR(600),
    lastName VARCHAR(100),
    imageName1 VARCHAR(100), imageName2 VARCHAR(100), imageName3 VARCHAR(100),
    FOREIGN KEY (DevicesID) REFERENCES Devices (DevicesID) ON DELETE CASCADE ON UPDATE CASCADE
);
CREATE TABLE DeviceImages (
    DeviceImagesID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    DeviceLogsID INTEGER NOT NULL,
    imageNo INTEGER NOT NULL,
    filename VARCHAR(100),
    data BLOB,
    FOREIGN KEY (DeviceLogsID) REFERENCES DeviceLogs (DeviceLogsID) ON DELETE CASCADE ON UPDATE CASCADE
);
CREATE TABLE Info (
    InfoID INTEGER NOT NULL DEFAULT 1 CHECK (InfoID = 1) PRIMARY KEY,
    dbVersion INTEGER NOT NULL DEFAULT 1,
    heartbeat DATETIME NOT NULL,
    errorMessage TEXT,
    restrictUtility BOOLEAN DEFAULT 0
);
CREATE TABLE Location (
    LocationID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    name VARCHAR(100)
);
CREATE TABLE DeviceLocations (
    DevicesID INTEGER,
    LocationID INTEGER,
    PRIMARY KEY (DevicesID, LocationID),
    FOREIGN KEY (DevicesID) REFERENCES Devices (DevicesID) ON DELETE CASCADE ON UPDATE CASCADE,
    FOREIGN KEY (LocationID) REFERENCES Location (LocationID) ON DELETE CASCADE ON UPDATE CASCADE
);
CREATE TABLE EmailConfig (
    EmailConfigID INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    fromAddress VARCHAR(256),
    toAddresses TEXT,
    SMSAddress TEXT,
    subject TEXT,
    message TEXT,
    resultLimit VARCHAR(10) NOT NULL DEFAULT '0.05'
);
CREATE TABLE LocationConfigs (
    LocationID INTEGER PRIMARY KEY,
    EmailConfigID INTEGER,
    FOREIGN KEY (LocationID) REFERENCES Location (LocationID) ON DELETE CASCADE ON UPDATE CASCADE,
    FOREIGN KEY (EmailConfigID) REFERENCES EmailConfig (EmailConfigID) ON DELETE CASCADE ON UPDATE CASCADE
);
INSERT INTO Info (dbVersion, heartbeat) VALUES (1, '2019-05-01T09:00:00');
INSERT INTO Devices (DevicesID, serial, connected, lastUpdated) VALUES
    (1, '00000001', 1, '2019-05-01T08:59:00'), (2, '00000002', 0, NULL);
INSERT INTO Status (DevicesID, state, firmware) VALUES (1, 'idle', '1.2');
INSERT INTO Diagnostics (DevicesID, pressure, pump) VALUES (1, 1013, 1);
INSERT INTO EventLog (timeStamp, serial, event, type) VALUES ('2019-05-01T09:00:00', '00000001', 'started', 'info');
INSERT INTO DeviceLogs (DeviceLogsID, DevicesID, date, time, serial, type, result) VALUES
    (10, 1, '2019-05-01', '08:30:00', '00000001', 'Breath', '0.00'),
    (11, 2, '2019-05-02', '09:30:00', '00000002', 'Breath', '0.04');
INSERT INTO DeviceImages (DeviceLogsID, imageNo, filename, data) VALUES (10, 1, 'a.jpg', X'FFD8FFE0');
INSERT INTO EmailConfig (EmailConfigID, fromAddress, toAddresses) VALUES (7, 'vx@north.example', 'ops@north.example');
INSERT INTO Location (LocationID, name) VALUES (1, 'North'), (2, 'South');
INSERT INTO LocationConfigs (LocationID, EmailConfigID) VALUES (1, 7);
INSERT INTO DeviceLocations (DevicesID, LocationID) VALUES (1, 1), (2, 2);
