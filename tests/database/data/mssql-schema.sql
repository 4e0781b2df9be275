EXEC sp_msforeachtable "ALTER TABLE ? NOCHECK CONSTRAINT all"
-- begin
CREATE TABLE Devices (DevicesID BIGINT NOT NULL IDENTITY(1,1) PRIMARY KEY   ,serial VARCHAR(10) NOT NULL UNIQUE   ,connected BIT NOT NULL   ,lastUpdated DATETIMEOFFSET   );
CREATE TABLE Status (StatusID BIGINT NOT NULL IDENTITY(1,1) PRIMARY KEY   ,DevicesID BIGINT NOT NULL UNIQUE   ,state VARCHAR(100)   ,testState VARCHAR(100)   ,lastOutcome VARCHAR(100)   ,errorState VARCHAR(100)   ,firmware VARCHAR(10)   ,bootloader VARCHAR(10)   ,ssSerial VARCHAR(10)   ,ssFirmware VARCHAR(10)   ,featureFlags BIGINT   ,testCount INT   ,daysTillService INT   ,coinCount INT   ,lastResult INT   ,FOREIGN KEY (DevicesID) REFERENCES Devices (DevicesID) ON DELETE CASCADE ON UPDATE CASCADE );
CREATE TABLE Diagnostics (DiagnosticsID BIGINT NOT NULL IDENTITY(1,1) PRIMARY KEY   ,DevicesID BIGINT NOT NULL UNIQUE   ,logRecord INT   ,rtc DATETIMEOFFSET   ,rtcLastSet DATETIMEOFFSET   ,errorFlags VARCHAR(20)   ,statusFlags VARCHAR(20)   ,keypadButton INT   ,fuelCell INT   ,fuelCellShort BIT   ,pressure INT   ,USBVRG INT   ,barometer INT   ,altitude INT   ,temperature INT   ,flow INT   ,beeper BIT   ,pump BIT   ,spareOut BIT   ,spareIn1 BIT   ,spareIn2 BIT   ,coinSum INT   ,coinEnabled BIT   ,coinInhibit BIT   ,rtcCompensation INT   ,oldestLogRecord INT   ,FOREIGN KEY (DevicesID) REFERENCES Devices (DevicesID) ON DELETE CASCADE ON UPDATE CASCADE );
CREATE TABLE EventLog (EventLogID BIGINT NOT NULL IDENTITY(1,1) PRIMARY KEY   ,timeStamp DATETIMEOFFSET NOT NULL   ,serial VARCHAR(10)   ,event VARCHAR(MAX)   ,type VARCHAR(20)   );
CREATE TABLE DeviceLogs (DeviceLogsID BIGINT NOT NULL IDENTITY(1,1) PRIMARY KEY   ,DevicesID BIGINT NOT NULL   ,recordNo INT NOT NULL  DEFAULT -1   ,date DATE NOT NULL   ,time TIME NOT NULL   ,serial VARCHAR(10) NOT NULL   ,type VARCHAR(100) NOT NULL   ,outcome VARCHAR(100)   ,result VARCHAR(100)   ,firstName VARCHAR(600)   ,lastName VARCHAR(100)   ,imageName1 VARCHAR(100)   ,imageName2 VARCHAR(100)   ,imageName3 VARCHAR(100)   ,FOREIGN KEY (DevicesID) REFERENCES Devices (DevicesID) ON DELETE CASCADE ON UPDATE CASCADE );
CREATE TABLE DeviceImages (DeviceImagesID BIGINT NOT NULL IDENTITY(1,1) PRIMARY KEY   ,DeviceLogsID BIGINT NOT NULL   ,imageNo INT NOT NULL   ,filename VARCHAR(100)   ,data VARBINARY(MAX)   ,FOREIGN KEY (DeviceLogsID) REFERENCES DeviceLogs (DeviceLogsID) ON DELETE CASCADE ON UPDATE CASCADE );
CREATE TABLE Info (InfoID INT NOT NULL PRIMARY KEY  DEFAULT 1  CHECK (InfoID = 1)  ,dbVersion INT NOT NULL  DEFAULT 1   ,heartbeat DATETIMEOFFSET NOT NULL   ,errorMessage VARCHAR(MAX)   ,restrictUtility BIT  DEFAULT 0   );
CREATE TABLE Location (LocationID BIGINT NOT NULL IDENTITY(1,1) PRIMARY KEY   ,name VARCHAR(100)   );
CREATE TABLE DeviceLocations (DevicesID BIGINT   ,LocationID BIGINT   , PRIMARY KEY (DevicesID, LocationID) ,FOREIGN KEY (DevicesID) REFERENCES Devices (DevicesID) ON DELETE CASCADE ON UPDATE CASCADE ,FOREIGN KEY (LocationID) REFERENCES Location (LocationID) ON DELETE CASCADE ON UPDATE CASCADE );
CREATE TABLE EmailConfig (EmailConfigID BIGINT NOT NULL IDENTITY(1,1) PRIMARY KEY   ,fromAddress VARCHAR(256)   ,toAddresses VARCHAR(MAX)   ,SMSAddress VARCHAR(MAX)   ,subject VARCHAR(MAX)   ,message VARCHAR(MAX)   ,resultLimit VARCHAR(10) NOT NULL  DEFAULT '0.05'   );
CREATE TABLE LocationConfigs (LocationID BIGINT PRIMARY KEY   ,EmailConfigID BIGINT   ,FOREIGN KEY (LocationID) REFERENCES Location (LocationID) ON DELETE CASCADE ON UPDATE CASCADE ,FOREIGN KEY (EmailConfigID) REFERENCES EmailConfig (EmailConfigID) ON DELETE CASCADE ON UPDATE CASCADE );
INSERT INTO Info (dbVersion, heartbeat)VALUES (1, '<now>')
-- commit
-- begin
sp_rename 'DeviceLocations', 'DeviceConfigs';
ALTER TABLE DeviceConfigs ADD DeviceName VARCHAR(100) ;
ALTER TABLE DeviceConfigs ADD EmailConfigID BIGINT  REFERENCES EmailConfig (EmailConfigID) ON DELETE CASCADE ON UPDATE CASCADE ;
ALTER TABLE Devices ADD syncing BIT DEFAULT 0 ;
UPDATE Devices SET syncing = 0;
UPDATE Info SET dbVersion='2';
-- commit
-- begin
sp_rename 'DeviceConfigs', 'DeviceLocations';
UPDATE Info SET dbVersion='3';
-- commit
-- begin
sp_rename 'DeviceLocations', 'DeviceConfigs';
ALTER TABLE DeviceConfigs ADD HostName VARCHAR(100) ;
ALTER TABLE EmailConfig ADD Name VARCHAR(100) ;
UPDATE Info SET dbVersion='4';
-- commit
-- begin
ALTER TABLE Info ADD dbSoftwareMinimum INT DEFAULT 5 ;
UPDATE Info SET dbSoftwareMinimum = 5;
UPDATE Info SET dbVersion='5';
-- commit
-- begin
ALTER TABLE Info ADD ServerState VARCHAR(100) ;
UPDATE Info SET dbVersion='6';
-- commit
-- begin
ALTER TABLE Location ADD EmailConfigID BIGINT  REFERENCES EmailConfig (EmailConfigID) ON DELETE No Action ON UPDATE No Action ;
  UPDATE Location   SET EmailConfigID =       (SELECT LocationConfigs.EmailConfigID       FROM LocationConfigs       WHERE LocationConfigs.LocationID = Location.LocationID);
DROP TABLE LocationConfigs;
ALTER TABLE DeviceLogs ADD offsetFromUTC INT DEFAULT 36000 ;
UPDATE DeviceLogs SET offsetFromUTC = 36000;
ALTER TABLE Location ADD Timezone VARCHAR(100) DEFAULT 'Australia/Brisbane' ;
UPDATE Location SET Timezone = 'Australia/Brisbane';
UPDATE Info SET dbVersion='7';
-- commit
-- begin
ALTER TABLE Info ALTER COLUMN heartbeat DATETIMEOFFSET;
ALTER TABLE EventLog ALTER COLUMN timeStamp DATETIMEOFFSET;
ALTER TABLE Devices ALTER COLUMN lastUpdated DATETIMEOFFSET;
UPDATE Info SET dbVersion='8';
-- commit
-- begin
ALTER TABLE Devices ADD State INT DEFAULT 0 ;
UPDATE Devices SET State = 0;
ALTER TABLE DeviceConfigs ADD Disabled BIT DEFAULT 0 ;
UPDATE DeviceConfigs SET Disabled = 0;
UPDATE Info SET dbVersion='9';
-- commit
-- begin
DROP TABLE Status;
DROP TABLE Diagnostics;
ALTER TABLE Devices ADD Status VARCHAR(MAX) ;
ALTER TABLE Devices ADD Diagnostics VARCHAR(MAX) ;
ALTER TABLE Devices ADD Network VARCHAR(MAX) ;
UPDATE Info SET dbVersion='10';
-- commit
-- begin
CREATE INDEX DeviceLogs_DateTime_Index ON DeviceLogs (date, time);
CREATE INDEX DeviceLogs_Serial_Index ON DeviceLogs (serial);
CREATE INDEX EventLog_TimeStamp_Index ON EventLog (timeStamp);
UPDATE Info SET dbVersion='11';
-- commit
-- begin
CREATE TABLE NotificationConfig (NotificationConfigID BIGINT NOT NULL IDENTITY(1,1) PRIMARY KEY   ,name VARCHAR(100) UNIQUE   ,url VARCHAR(2048)   ,method VARCHAR(100)   ,headers VARCHAR(MAX)   ,message VARCHAR(MAX)   ,resultLimit VARCHAR(10) NOT NULL  DEFAULT '0.05'   );
ALTER TABLE Location ADD NotificationConfigID BIGINT  REFERENCES NotificationConfig (NotificationConfigID) ON DELETE No Action ON UPDATE No Action ;
ALTER TABLE DeviceConfigs ADD NotificationConfigID BIGINT  REFERENCES NotificationConfig (NotificationConfigID) ON DELETE No Action ON UPDATE No Action ;
UPDATE Info SET dbVersion='12';
-- commit
EXEC sp_msforeachtable "ALTER TABLE ? WITH CHECK CHECK CONSTRAINT all"
