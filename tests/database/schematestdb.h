#pragma once

// Shared by the schema and upgrade tests: rows for every table of any schema
// version, and the version-12 schema as read back from an SQLite file.

#include "tvxdatabase.h"

#include <QMap>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QUuid>

namespace SchemaTest {

inline TORVSQLSettings sqliteSettings(const QString &path)
{
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::SQLite;
    settings.connectionName = "test";
    settings.databaseName = path;
    return settings;
}

// A plain Qt connection on the same file, for looking at what the code under test did.
class RawDb
{
public:
    explicit RawDb(const QString &path) : m_name(QUuid::createUuid().toString())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~RawDb()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    // Every row of the statement, each row's columns joined with "|".
    QStringList rows(const QString &sql) const
    {
        QStringList out;
        QSqlQuery query(db());
        if (!query.exec(sql))
            return {"ERROR: " + query.lastError().text()};
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < query.record().count(); ++i)
                fields << (query.value(i).isNull() ? QStringLiteral("NULL") : query.value(i).toString());
            out << fields.join('|');
        }
        return out;
    }
    QString value(const QString &sql) const { return rows(sql).value(0); }
    bool exec(const QString &sql) const { return QSqlQuery(db()).exec(sql); }
    int count(const QString &table) const { return value("SELECT count(*) FROM " + table).toInt(); }

    QStringList tables() const
    {
        return rows(
            "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' ORDER BY name");
    }
    // name|type|notnull|default|pk for each column, in database order.
    QStringList columns(const QString &table) const
    {
        QStringList out;
        for (const QString &row : rows("PRAGMA table_info(" + table + ")"))
            out << row.section('|', 1);
        return out;
    }
    // from->table.to|on delete|on update, sorted.
    QStringList foreignKeys(const QString &table) const
    {
        QStringList out;
        for (const QString &row : rows("PRAGMA foreign_key_list(" + table + ")")) {
            const QStringList f = row.split('|');
            out << QStringLiteral("%1->%2.%3|%4|%5").arg(f[3], f[2], f[4], f[6], f[5]);
        }
        out.sort();
        return out;
    }
    // origin|unique|columns|name (name only for created indexes), sorted.
    QStringList indexes(const QString &table) const
    {
        QStringList out;
        for (const QString &row : rows("PRAGMA index_list(" + table + ")")) {
            const QStringList f = row.split('|');
            QStringList cols;
            for (const QString &c : rows("PRAGMA index_info(" + f[1] + ")"))
                cols << c.section('|', 2, 2);
            out << QStringList{f[3], f[2], cols.join(','), f[3] == "c" ? f[1] : QString()}.join('|');
        }
        out.sort();
        return out;
    }

private:
    QString m_name;
};

inline QString deviceConfigsTable(int version)
{
    return version == 1 || version == 3 ? "DeviceLocations" : "DeviceConfigs";
}

// What one call of addRowSet() wrote, for checking after an upgrade.
struct RowSet
{
    int device = 0;
    int location = 0;       // has an e-mail configuration
    int locationNoMail = 0; // has none
    int email = 0;
};

// Writes a device with status, diagnostics, two logs with one image, an
// event, two locations (one with an e-mail configuration) and the device's
// configuration, using only the columns every version has.
inline RowSet addRowSet(const RawDb &raw, int version, int n)
{
    auto ok = [&](const QString &sql) {
        QSqlQuery query(raw.db());
        if (!query.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        return query.lastInsertId().toInt();
    };
    RowSet set;
    const QString serial = QStringLiteral("S%1").arg(n);
    set.device = ok("INSERT INTO Devices (serial, connected) VALUES ('" + serial + "', 1)");
    if (version < 10) {
        ok(QStringLiteral("INSERT INTO Status (DevicesID, state) VALUES (%1, 'ok')").arg(set.device));
        ok(QStringLiteral("INSERT INTO Diagnostics (DevicesID, pump) VALUES (%1, 1)").arg(set.device));
    }
    ok(QStringLiteral("INSERT INTO EventLog (timeStamp, serial, event, type) VALUES "
                      "('2026-01-0%1T10:00:00', '%2', 'started', 'info')")
           .arg(n % 9 + 1)
           .arg(serial));
    const QString log = "INSERT INTO DeviceLogs (DevicesID, recordNo, date, time, serial, type, result) "
                        "VALUES (%1, %2, '2026-02-01', '08:3%2:00', '%3', 'Breath', '0.00')";
    const int firstLog = ok(log.arg(set.device).arg(0).arg(serial));
    ok(log.arg(set.device).arg(1).arg(serial));
    ok(QStringLiteral("INSERT INTO DeviceImages (DeviceLogsID, imageNo, filename, data) "
                      "VALUES (%1, 1, 'a.jpg', X'FFD8FFE0')")
           .arg(firstLog));
    set.email =
        ok("INSERT INTO EmailConfig (fromAddress, toAddresses) VALUES ('a@b.example', 'c@d.example')");
    set.location = ok(QStringLiteral("INSERT INTO Location (name) VALUES ('Site %1')").arg(n));
    set.locationNoMail = ok(QStringLiteral("INSERT INTO Location (name) VALUES ('Site %1 b')").arg(n));
    ok((version < 7
            ? QStringLiteral("INSERT INTO LocationConfigs (LocationID, EmailConfigID) VALUES (%1, %2)")
            : QStringLiteral("UPDATE Location SET EmailConfigID = %2 WHERE LocationID = %1"))
           .arg(set.location)
           .arg(set.email));
    ok(QStringLiteral("INSERT INTO %1 (DevicesID, LocationID) VALUES (%2, %3)")
           .arg(deviceConfigsTable(version))
           .arg(set.device)
           .arg(set.location));
    return set;
}

// Row counts of the tables that survive to version 12.
inline QMap<QString, int> keptCounts(const RawDb &raw, int version)
{
    QMap<QString, int> counts;
    for (const char *t :
         {"Devices", "EventLog", "DeviceLogs", "DeviceImages", "Info", "Location", "EmailConfig"})
        counts.insert(t, raw.count(t));
    counts.insert("DeviceConfigs", raw.count(deviceConfigsTable(version)));
    return counts;
}

// Compares the schema of the file with the version-12 schema. Machine
// dependent defaults are passed in.
inline void verifyVersion12Schema(const RawDb &raw, const QString &utcOffset, const QString &timeZoneLiteral)
{
    QCOMPARE(raw.tables(),
             (QStringList{"DeviceConfigs", "DeviceImages", "DeviceLogs", "Devices", "EmailConfig", "EventLog",
                          "Info", "Location", "NotificationConfig"}));

    const QMap<QString, QStringList> columns{
        {"Devices",
         {"DevicesID|INTEGER|1|NULL|1", "serial|VARCHAR(10)|1|NULL|0", "connected|BOOLEAN|1|NULL|0",
          "lastUpdated|DATETIME|0|NULL|0", "syncing|BOOLEAN|0|0|0", "State|INTEGER|0|0|0",
          "Status|TEXT|0|NULL|0", "Diagnostics|TEXT|0|NULL|0", "Network|TEXT|0|NULL|0"}},
        {"EventLog",
         {"EventLogID|INTEGER|1|NULL|1", "timeStamp|DATETIME|1|NULL|0", "serial|VARCHAR(10)|0|NULL|0",
          "event|TEXT|0|NULL|0", "type|VARCHAR(20)|0|NULL|0"}},
        {"DeviceLogs",
         {"DeviceLogsID|INTEGER|1|NULL|1", "DevicesID|INTEGER|1|NULL|0", "recordNo|INTEGER|1|-1|0",
          "date|DATE|1|NULL|0", "time|TIME|1|NULL|0", "serial|VARCHAR(10)|1|NULL|0",
          "type|VARCHAR(100)|1|NULL|0", "outcome|VARCHAR(100)|0|NULL|0", "result|VARCHAR(100)|0|NULL|0",
          "firstName|VARCHAR(600)|0|NULL|0", "lastName|VARCHAR(100)|0|NULL|0",
          "imageName1|VARCHAR(100)|0|NULL|0", "imageName2|VARCHAR(100)|0|NULL|0",
          "imageName3|VARCHAR(100)|0|NULL|0", "offsetFromUTC|INTEGER|0|" + utcOffset + "|0"}},
        {"DeviceImages",
         {"DeviceImagesID|INTEGER|1|NULL|1", "DeviceLogsID|INTEGER|1|NULL|0", "imageNo|INTEGER|1|NULL|0",
          "filename|VARCHAR(100)|0|NULL|0", "data|BLOB|0|NULL|0"}},
        {"Info",
         {"InfoID|INTEGER|1|1|1", "dbVersion|INTEGER|1|1|0", "heartbeat|DATETIME|1|NULL|0",
          "errorMessage|TEXT|0|NULL|0", "restrictUtility|BOOLEAN|0|0|0", "dbSoftwareMinimum|INTEGER|0|5|0",
          "ServerState|VARCHAR(100)|0|NULL|0"}},
        {"Location",
         {"LocationID|INTEGER|1|NULL|1", "name|VARCHAR(100)|0|NULL|0", "EmailConfigID|INTEGER|0|NULL|0",
          "Timezone|VARCHAR(100)|0|" + timeZoneLiteral + "|0", "NotificationConfigID|INTEGER|0|NULL|0"}},
        {"DeviceConfigs",
         {"DevicesID|INTEGER|0|NULL|1", "LocationID|INTEGER|0|NULL|2", "DeviceName|VARCHAR(100)|0|NULL|0",
          "EmailConfigID|INTEGER|0|NULL|0", "HostName|VARCHAR(100)|0|NULL|0", "Disabled|BOOLEAN|0|0|0",
          "NotificationConfigID|INTEGER|0|NULL|0"}},
        {"EmailConfig",
         {"EmailConfigID|INTEGER|1|NULL|1", "fromAddress|VARCHAR(256)|0|NULL|0", "toAddresses|TEXT|0|NULL|0",
          "SMSAddress|TEXT|0|NULL|0", "subject|TEXT|0|NULL|0", "message|TEXT|0|NULL|0",
          "resultLimit|VARCHAR(10)|1|'0.05'|0", "Name|VARCHAR(100)|0|NULL|0"}},
        {"NotificationConfig",
         {"NotificationConfigID|INTEGER|1|NULL|1", "name|VARCHAR(100)|0|NULL|0", "url|VARCHAR(2048)|0|NULL|0",
          "method|VARCHAR(100)|0|NULL|0", "headers|TEXT|0|NULL|0", "message|TEXT|0|NULL|0",
          "resultLimit|VARCHAR(10)|1|'0.05'|0"}},
    };
    // Tables not listed have none.
    const QMap<QString, QStringList> foreignKeys{
        {"DeviceLogs", {"DevicesID->Devices.DevicesID|CASCADE|CASCADE"}},
        {"DeviceImages", {"DeviceLogsID->DeviceLogs.DeviceLogsID|CASCADE|CASCADE"}},
        {"Location",
         {"EmailConfigID->EmailConfig.EmailConfigID|RESTRICT|RESTRICT",
          "NotificationConfigID->NotificationConfig.NotificationConfigID|RESTRICT|RESTRICT"}},
        {"DeviceConfigs",
         {"DevicesID->Devices.DevicesID|CASCADE|CASCADE",
          "EmailConfigID->EmailConfig.EmailConfigID|CASCADE|CASCADE",
          "LocationID->Location.LocationID|CASCADE|CASCADE",
          "NotificationConfigID->NotificationConfig.NotificationConfigID|RESTRICT|RESTRICT"}},
    };
    const QMap<QString, QStringList> indexes{
        {"Devices", {"u|1|serial|"}},
        {"EventLog", {"c|0|timeStamp|EventLog_TimeStamp_Index"}},
        {"DeviceLogs", {"c|0|date,time|DeviceLogs_DateTime_Index", "c|0|serial|DeviceLogs_Serial_Index"}},
        {"DeviceConfigs", {"pk|1|DevicesID,LocationID|"}},
        {"NotificationConfig", {"u|1|name|"}},
    };
    for (auto it = columns.cbegin(); it != columns.cend(); ++it) {
        QCOMPARE(raw.columns(it.key()), it.value());
        QCOMPARE(raw.foreignKeys(it.key()), foreignKeys.value(it.key()));
        QCOMPARE(raw.indexes(it.key()), indexes.value(it.key()));
    }
    QCOMPARE(raw.value("PRAGMA integrity_check"), QStringLiteral("ok"));
    QCOMPARE(raw.rows("PRAGMA foreign_key_check"), QStringList());
}

} // namespace SchemaTest
