#include "schema.h"

#include "torvsqldialects.h"

#include <QTimeZone>

namespace Veltrix {
namespace Database {
namespace Schema {

namespace {

using Type = TORVSQLDataType;
using Action = TORVSQLForeignKeyAction;

const TORVSQLColumnFlags None;
const TORVSQLColumnFlags NotNull = TORVSQLColumnFlag::NotNull;
const TORVSQLColumnFlags Unique = TORVSQLColumnFlag::Unique;
const TORVSQLColumnFlags NotNullUnique = TORVSQLColumnFlag::NotNull | TORVSQLColumnFlag::Unique;
// An auto-numbered key column.
const TORVSQLColumnFlags Auto = TORVSQLColumnFlag::NotNull | TORVSQLColumnFlag::AutoIncrement;

TORVSQLColumn col(const QString &name, Type type, TORVSQLColumnFlags flags = None, quint32 size = 0,
                  const QString &defaultValue = QString(), const QString &extra = QString())
{
    return TORVSQLColumn(name, type, flags, size, defaultValue, extra);
}

// Every foreign key refers to the key column of the same name.
TORVSQLForeignKey cascade(const QString &column, const QString &table)
{
    return TORVSQLForeignKey(column, table, column, Action::Cascade, Action::Cascade);
}

TORVSQLForeignKey restrict(const QString &column, const QString &table)
{
    return TORVSQLForeignKey(column, table, column, Action::Restrict, Action::Restrict);
}

TORVSQLTable table(const QString &name, const QStringList &primaryKey, const QList<TORVSQLColumn> &columns,
                   const QList<TORVSQLForeignKey> &foreignKeys = {})
{
    TORVSQLTable result(name);
    result.primaryKey = primaryKey;
    result.columns = columns;
    result.foreignKeys = foreignKeys;
    return result;
}

TSchemaOperation createTable(const TORVSQLTable &definition)
{
    TSchemaOperation op;
    op.kind = TSchemaOperation::Kind::CreateTable;
    op.table = definition.name;
    op.definition = definition;
    return op;
}

TSchemaOperation renameTable(const QString &oldName, const QString &newName)
{
    TSchemaOperation op;
    op.kind = TSchemaOperation::Kind::RenameTable;
    op.table = oldName;
    op.newName = newName;
    return op;
}

TSchemaOperation addColumn(const QString &tableName, const TORVSQLColumn &column,
                           const TORVSQLForeignKey &foreignKey = TORVSQLForeignKey())
{
    TSchemaOperation op;
    op.kind = TSchemaOperation::Kind::AddColumn;
    op.table = tableName;
    op.column = column;
    op.foreignKey = foreignKey;
    return op;
}

TSchemaOperation dropTable(const QString &tableName)
{
    TSchemaOperation op;
    op.kind = TSchemaOperation::Kind::DropTable;
    op.table = tableName;
    return op;
}

TSchemaOperation statement(const QString &sql)
{
    TSchemaOperation op;
    op.kind = TSchemaOperation::Kind::Statement;
    op.sql = sql;
    return op;
}

TSchemaOperation sqlServerOnly(const QString &sql)
{
    TSchemaOperation op;
    op.kind = TSchemaOperation::Kind::SqlServerStatement;
    op.sql = sql;
    return op;
}

} // namespace

// ---------------------------------------------------------------------------
// Version 1
// ---------------------------------------------------------------------------

QList<TORVSQLTable> versionOneTables()
{
    return {
        table("Devices", {"DevicesID"},
              {
                  col("DevicesID", Type::BigInteger, Auto),
                  col("serial", Type::Varchar, NotNullUnique, 10),
                  col("connected", Type::Boolean, NotNull),
                  col("lastUpdated", Type::DateTime),
              }),

        table("Status", {"StatusID"},
              {
                  col("StatusID", Type::BigInteger, Auto),
                  col("DevicesID", Type::BigInteger, NotNullUnique),
                  col("state", Type::Varchar, None, 100),
                  col("testState", Type::Varchar, None, 100),
                  col("lastOutcome", Type::Varchar, None, 100),
                  col("errorState", Type::Varchar, None, 100),
                  col("firmware", Type::Varchar, None, 10),
                  col("bootloader", Type::Varchar, None, 10),
                  col("ssSerial", Type::Varchar, None, 10),
                  col("ssFirmware", Type::Varchar, None, 10),
                  col("featureFlags", Type::BigInteger),
                  col("testCount", Type::Integer),
                  col("daysTillService", Type::Integer),
                  col("coinCount", Type::Integer),
                  col("lastResult", Type::Integer),
              },
              {cascade("DevicesID", "Devices")}),

        table("Diagnostics", {"DiagnosticsID"},
              {
                  col("DiagnosticsID", Type::BigInteger, Auto),
                  col("DevicesID", Type::BigInteger, NotNullUnique),
                  col("logRecord", Type::Integer),
                  col("rtc", Type::DateTime),
                  col("rtcLastSet", Type::DateTime),
                  col("errorFlags", Type::Varchar, None, 20),
                  col("statusFlags", Type::Varchar, None, 20),
                  col("keypadButton", Type::Integer),
                  col("fuelCell", Type::Integer),
                  col("fuelCellShort", Type::Boolean),
                  col("pressure", Type::Integer),
                  col("USBVRG", Type::Integer),
                  col("barometer", Type::Integer),
                  col("altitude", Type::Integer),
                  col("temperature", Type::Integer),
                  col("flow", Type::Integer),
                  col("beeper", Type::Boolean),
                  col("pump", Type::Boolean),
                  col("spareOut", Type::Boolean),
                  col("spareIn1", Type::Boolean),
                  col("spareIn2", Type::Boolean),
                  col("coinSum", Type::Integer),
                  col("coinEnabled", Type::Boolean),
                  col("coinInhibit", Type::Boolean),
                  col("rtcCompensation", Type::Integer),
                  col("oldestLogRecord", Type::Integer),
              },
              {cascade("DevicesID", "Devices")}),

        table("EventLog", {"EventLogID"},
              {
                  col("EventLogID", Type::BigInteger, Auto),
                  col("timeStamp", Type::DateTime, NotNull),
                  col("serial", Type::Varchar, None, 10),
                  col("event", Type::Text),
                  col("type", Type::Varchar, None, 20),
              }),

        table("DeviceLogs", {"DeviceLogsID"},
              {
                  col("DeviceLogsID", Type::BigInteger, Auto),
                  col("DevicesID", Type::BigInteger, NotNull),
                  col("recordNo", Type::Integer, NotNull, 0, "-1"),
                  col("date", Type::Date, NotNull),
                  col("time", Type::Time, NotNull),
                  col("serial", Type::Varchar, NotNull, 10),
                  col("type", Type::Varchar, NotNull, 100),
                  col("outcome", Type::Varchar, None, 100),
                  col("result", Type::Varchar, None, 100),
                  col("firstName", Type::Varchar, None, 600),
                  col("lastName", Type::Varchar, None, 100),
                  col("imageName1", Type::Varchar, None, 100),
                  col("imageName2", Type::Varchar, None, 100),
                  col("imageName3", Type::Varchar, None, 100),
              },
              {cascade("DevicesID", "Devices")}),

        table("DeviceImages", {"DeviceImagesID"},
              {
                  col("DeviceImagesID", Type::BigInteger, Auto),
                  col("DeviceLogsID", Type::BigInteger, NotNull),
                  col("imageNo", Type::Integer, NotNull),
                  col("filename", Type::Varchar, None, 100),
                  col("data", Type::Blob),
              },
              {cascade("DeviceLogsID", "DeviceLogs")}),

        // Exactly one row: the key defaults to 1 and the check refuses any other.
        table("Info", {"InfoID"},
              {
                  col("InfoID", Type::Integer, NotNull, 0, "1", "CHECK (InfoID = 1) "),
                  col("dbVersion", Type::Integer, NotNull, 0, "1"),
                  col("heartbeat", Type::DateTime, NotNull),
                  col("errorMessage", Type::Text),
                  col("restrictUtility", Type::Boolean, None, 0, "0"),
              }),

        table("Location", {"LocationID"},
              {
                  col("LocationID", Type::BigInteger, Auto),
                  col("name", Type::Varchar, None, 100),
              }),

        // Called DeviceConfigs from version 4 on.
        table("DeviceLocations", {"DevicesID", "LocationID"},
              {
                  col("DevicesID", Type::BigInteger),
                  col("LocationID", Type::BigInteger),
              },
              {cascade("DevicesID", "Devices"), cascade("LocationID", "Location")}),

        table("EmailConfig", {"EmailConfigID"},
              {
                  col("EmailConfigID", Type::BigInteger, Auto),
                  col("fromAddress", Type::Varchar, None, 256),
                  col("toAddresses", Type::Text),
                  col("SMSAddress", Type::Text),
                  col("subject", Type::Text),
                  col("message", Type::Text),
                  col("resultLimit", Type::Varchar, NotNull, 10, "'0.05'"),
              }),

        table("LocationConfigs", {"LocationID"},
              {
                  col("LocationID", Type::BigInteger),
                  col("EmailConfigID", Type::BigInteger),
              },
              {cascade("LocationID", "Location"), cascade("EmailConfigID", "EmailConfig")}),
    };
}

QString infoRowInsert(const QDateTime &now)
{
    return QStringLiteral("INSERT INTO Info (dbVersion, heartbeat)VALUES (1, '") + now.toString(Qt::ISODate) +
           QStringLiteral("')");
}

TORVSQLTable notificationConfigTable()
{
    return table("NotificationConfig", {"NotificationConfigID"},
                 {
                     col("NotificationConfigID", Type::BigInteger, Auto),
                     col("name", Type::Varchar, Unique, 100),
                     col("url", Type::Varchar, None, 2048),
                     col("method", Type::Varchar, None, 100),
                     col("headers", Type::Text),
                     col("message", Type::Text),
                     col("resultLimit", Type::Varchar, NotNull, 10, "'0.05'"),
                 });
}

// ---------------------------------------------------------------------------
// Steps 2 to 12. Added columns get type, size, default and foreign key; their
// flags are not written into the database.
// ---------------------------------------------------------------------------

QList<TSchemaStep> upgradeSteps()
{
    return {
        {2,
         {
             renameTable("DeviceLocations", "DeviceConfigs"),
             addColumn("DeviceConfigs", col("DeviceName", Type::Varchar, Unique, 100)),
             addColumn("DeviceConfigs", col("EmailConfigID", Type::BigInteger),
                       cascade("EmailConfigID", "EmailConfig")),
             addColumn("Devices", col("syncing", Type::Boolean, None, 0, "0")),
         }},

        {3,
         {
             renameTable("DeviceConfigs", "DeviceLocations"),
         }},

        {4,
         {
             renameTable("DeviceLocations", "DeviceConfigs"),
             addColumn("DeviceConfigs", col("HostName", Type::Varchar, None, 100)),
             addColumn("EmailConfig", col("Name", Type::Varchar, Unique, 100)),
         }},

        {5,
         {
             addColumn("Info", col("dbSoftwareMinimum", Type::Integer, NotNull, 0, "5")),
         }},

        {6,
         {
             addColumn("Info", col("ServerState", Type::Varchar, None, 100)),
         }},

        {7,
         {
             addColumn("Location", col("EmailConfigID", Type::BigInteger),
                       restrict("EmailConfigID", "EmailConfig")),
             // Each location's e-mail configuration moves out of LocationConfigs.
             statement(
                 "  UPDATE Location   SET EmailConfigID =       (SELECT LocationConfigs.EmailConfigID       "
                 "FROM LocationConfigs       WHERE LocationConfigs.LocationID = Location.LocationID);"),
             dropTable("LocationConfigs"),
             addColumn("DeviceLogs",
                       col("offsetFromUTC", Type::Integer, NotNull, 0, machineUtcOffsetDefault())),
             addColumn("Location", col("Timezone", Type::Varchar, None, 100, machineTimeZoneDefault())),
         }},

        {8,
         {
             sqlServerOnly("ALTER TABLE Info ALTER COLUMN heartbeat DATETIMEOFFSET;"),
             sqlServerOnly("ALTER TABLE EventLog ALTER COLUMN timeStamp DATETIMEOFFSET;"),
             sqlServerOnly("ALTER TABLE Devices ALTER COLUMN lastUpdated DATETIMEOFFSET;"),
         }},

        {9,
         {
             addColumn("Devices", col("State", Type::Integer, None, 0, "0")),
             addColumn("DeviceConfigs", col("Disabled", Type::Boolean, None, 0, "0")),
         }},

        {10,
         {
             dropTable("Status"),
             dropTable("Diagnostics"),
             addColumn("Devices", col("Status", Type::Text)),
             addColumn("Devices", col("Diagnostics", Type::Text)),
             addColumn("Devices", col("Network", Type::Text)),
         }},

        {11,
         {
             statement("CREATE INDEX DeviceLogs_DateTime_Index ON DeviceLogs (date, time);"),
             statement("CREATE INDEX DeviceLogs_Serial_Index ON DeviceLogs (serial);"),
             statement("CREATE INDEX EventLog_TimeStamp_Index ON EventLog (timeStamp);"),
         }},

        {12,
         {
             createTable(notificationConfigTable()),
             addColumn("Location", col("NotificationConfigID", Type::BigInteger),
                       restrict("NotificationConfigID", "NotificationConfig")),
             addColumn("DeviceConfigs", col("NotificationConfigID", Type::BigInteger),
                       restrict("NotificationConfigID", "NotificationConfig")),
         }},
    };
}

QString machineUtcOffsetDefault()
{
    return QString::number(QTimeZone::systemTimeZone().offsetFromUtc(QDateTime::currentDateTime()));
}

QString machineTimeZoneDefault()
{
    return sqlTextLiteral(QString::fromUtf8(QTimeZone::systemTimeZone().id()));
}

namespace {
QString statementText(const QString &sql)
{
    QString text = sql.simplified();
    if (text.endsWith(QLatin1Char(';')))
        text.chop(1);
    return text;
}
} // namespace

QString TSchemaOperation::describe() const
{
    switch (kind) {
    case Kind::CreateTable:
        return QStringLiteral("create table %1").arg(table);
    case Kind::RenameTable:
        return QStringLiteral("rename table %1 to %2").arg(table, newName);
    case Kind::AddColumn:
        return QStringLiteral("add column %1.%2").arg(table, column.name);
    case Kind::DropTable:
        return QStringLiteral("drop table %1").arg(table);
    case Kind::Statement:
        return statementText(sql);
    case Kind::SqlServerStatement:
        return statementText(sql) + QStringLiteral(" (SQL Server only)");
    }
    return QString();
}

} // namespace Schema
} // namespace Database
} // namespace Veltrix
