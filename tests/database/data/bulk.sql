-- Rows added to the version-1 database of v1.sql so that copying and
-- upgrading it take a while: large tables to drop and indexes to build.
INSERT INTO Devices (serial, connected)
    WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) SELECT 'B' || i, i % 2 FROM n;
INSERT INTO Status (DevicesID, state) SELECT DevicesID, 'idle' FROM Devices WHERE DevicesID > 2;
INSERT INTO Diagnostics (DevicesID, pressure) SELECT DevicesID, 1013 FROM Devices WHERE DevicesID > 2;
INSERT INTO DeviceLogs (DevicesID, recordNo, date, time, serial, type, firstName)
    WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 50000)
    SELECT 3 + i % 1000, i, date('2020-01-01', '+' || (i % 2000) || ' days'), time(i % 86400, 'unixepoch'),
        'B' || (1 + i % 1000), 'Breath', 'Name ' || i FROM n;
INSERT INTO EventLog (timeStamp, serial, event)
    SELECT datetime(DeviceLogsID, 'unixepoch'), serial, 'test' FROM DeviceLogs WHERE DeviceLogsID % 5 = 0;
