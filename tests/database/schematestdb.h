#pragma once

// Shared by the schema and upgrade tests: rows for every table of any schema
// version, and the version-12 schema as read back from an SQLite file.

#include "tvxdatabase.h"

#include <QMap>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTest>
#include <QUuid>
#include <QVariant>

namespace SchemaTest {

inline TORVSQLSettings sqliteSettings(const QString &path, const QString &name = QStringLiteral("test"))
{
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::SQLite;
    settings.connectionName = name;
    settings.databaseName = path;
    return settings;
}

// A plain Qt connection on the same file, for looking at what the code under
// test did. Removed from Qt's registry when it goes out of scope.
class RawDb
{
public:
    explicit RawDb(const QString &path) : m_name(QUuid::createUuid().toString())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~RawDb()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    // Every row of the statement, each row's columns joined with "|".
    QStringList rows(const QString &sql) const
    {
        QStringList out;
        QSqlQuery query(db());
        if (!query.exec(sql))
            return {QStringLiteral("ERROR: ") + query.lastError().text()};
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < query.record().count(); ++i)
                fields << (query.value(i).isNull() ? QStringLiteral("NULL") : query.value(i).toString());
            out << fields.join(QLatin1Char('|'));
        }
        return out;
    }
    QString value(const QString &sql) const
    {
        const QStringList all = rows(sql);
        return all.isEmpty() ? QString() : all.first();
    }
    bool exec(const QString &sql) const
    {
        QSqlQuery query(db());
        return query.exec(sql);
    }

    QStringList tables() const
    {
        return rows(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE "
                                   "'sqlite_%' ORDER BY name"));
    }
    // name|type|notnull|default|pk for each column, in database order.
    QStringList columns(const QString &table) const
    {
        QStringList out;
        for (const QString &row : rows(QStringLiteral("PRAGMA table_info(%1)").arg(table))) {
            const QStringList f = row.split(QLatin1Char('|'));
            out << QStringList{f[1], f[2], f[3], f[4], f[5]}.join(QLatin1Char('|'));
        }
        return out;
    }
    // from->table.to|on delete|on update, sorted.
    QStringList foreignKeys(const QString &table) const
    {
        QStringList out;
        for (const QString &row : rows(QStringLiteral("PRAGMA foreign_key_list(%1)").arg(table))) {
            const QStringList f = row.split(QLatin1Char('|'));
            out << QStringLiteral("%1->%2.%3|%4|%5").arg(f[3], f[2], f[4], f[6], f[5]);
        }
        out.sort();
        return out;
    }
    // origin|unique|columns|name (name only for created indexes), sorted.
    QStringList indexes(const QString &table) const
    {
        QStringList out;
        for (const QString &row : rows(QStringLiteral("PRAGMA index_list(%1)").arg(table))) {
            const QStringList f = row.split(QLatin1Char('|'));
            QStringList cols;
            for (const QString &c : rows(QStringLiteral("PRAGMA index_info(%1)").arg(f[1])))
                cols << c.split(QLatin1Char('|')).value(2);
            out << QStringList{f[3], f[2], cols.join(QLatin1Char(',')),
                               f[3] == QLatin1String("c") ? f[1] : QString()}
                       .join(QLatin1Char('|'));
        }
        out.sort();
        return out;
    }
    int count(const QString &table) const
    {
        return value(QStringLiteral("SELECT count(*) FROM ") + table).toInt();
    }

private:
    QString m_name;
};

// Table names at a given version.
inline QString deviceConfigsTable(int version)
{
    return version == 1 || version == 3 ? QStringLiteral("DeviceLocations") : QStringLiteral("DeviceConfigs");
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
    RowSet set;
    auto ok = [&](const QString &sql) {
        QSqlQuery query(raw.db());
        if (!query.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        return query.lastInsertId().toInt();
    };
    const QString serial = QStringLiteral("S%1").arg(n);
    set.device = ok(QStringLiteral("INSERT INTO Devices (serial, connected) VALUES ('%1', 1)").arg(serial));
    if (version < 10) {
        ok(QStringLiteral("INSERT INTO Status (DevicesID, state) VALUES (%1, 'ok')").arg(set.device));
        ok(QStringLiteral("INSERT INTO Diagnostics (DevicesID, pump) VALUES (%1, 1)").arg(set.device));
    }
    ok(QStringLiteral("INSERT INTO EventLog (timeStamp, serial, event, type) VALUES ('2026-01-0%1T10:00:00', "
                      "'%2', 'started', 'info')")
           .arg(n % 9 + 1)
           .arg(serial));
    int firstLog = 0;
    for (int i = 0; i < 2; ++i) {
        const int log =
            ok(QStringLiteral("INSERT INTO DeviceLogs (DevicesID, recordNo, date, time, serial, type, "
                              "result) VALUES (%1, %2, '2026-02-01', '08:3%2:00', '%3', 'Breath', "
                              "'0.00')")
                   .arg(set.device)
                   .arg(i)
                   .arg(serial));
        if (i == 0)
            firstLog = log;
    }
    ok(QStringLiteral(
           "INSERT INTO DeviceImages (DeviceLogsID, imageNo, filename, data) VALUES (%1, 1, 'a.jpg', "
           "X'FFD8FFE0')")
           .arg(firstLog));
    set.email = ok(QStringLiteral("INSERT INTO EmailConfig (fromAddress, toAddresses) VALUES ('a@b.example', "
                                  "'c@d.example')"));
    set.location = ok(QStringLiteral("INSERT INTO Location (name) VALUES ('Site %1')").arg(n));
    set.locationNoMail = ok(QStringLiteral("INSERT INTO Location (name) VALUES ('Site %1 b')").arg(n));
    if (version < 7)
        ok(QStringLiteral("INSERT INTO LocationConfigs (LocationID, EmailConfigID) VALUES (%1, %2)")
               .arg(set.location)
               .arg(set.email));
    else
        ok(QStringLiteral("UPDATE Location SET EmailConfigID = %1 WHERE LocationID = %2")
               .arg(set.email)
               .arg(set.location));
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
    const QStringList tables{"Devices", "EventLog", "DeviceLogs", "DeviceImages",
                             "Info",    "Location", "EmailConfig"};
    for (const QString &t : tables)
        counts.insert(t, raw.count(t));
    counts.insert(QStringLiteral("DeviceConfigs"), raw.count(deviceConfigsTable(version)));
    return counts;
}

// Compares the schema of the file with the version-12 schema. Machine
// dependent defaults are passed in.
inline void verifyVersion12Schema(const RawDb &raw, const QString &utcOffset, const QString &timeZoneLiteral)
{
    const QStringList expectedTables{"DeviceConfigs", "DeviceImages", "DeviceLogs",
                                     "Devices",       "EmailConfig",  "EventLog",
                                     "Info",          "Location",     "NotificationConfig"};
    QCOMPARE(raw.tables(), expectedTables);

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
    for (auto it = columns.cbegin(); it != columns.cend(); ++it)
        QCOMPARE(raw.columns(it.key()), it.value());

    const QMap<QString, QStringList> foreignKeys{
        {"Devices", {}},
        {"EventLog", {}},
        {"DeviceLogs", {"DevicesID->Devices.DevicesID|CASCADE|CASCADE"}},
        {"DeviceImages", {"DeviceLogsID->DeviceLogs.DeviceLogsID|CASCADE|CASCADE"}},
        {"Info", {}},
        {"Location",
         {"EmailConfigID->EmailConfig.EmailConfigID|RESTRICT|RESTRICT",
          "NotificationConfigID->NotificationConfig.NotificationConfigID|RESTRICT|RESTRICT"}},
        {"DeviceConfigs",
         {"DevicesID->Devices.DevicesID|CASCADE|CASCADE",
          "EmailConfigID->EmailConfig.EmailConfigID|CASCADE|CASCADE",
          "LocationID->Location.LocationID|CASCADE|CASCADE",
          "NotificationConfigID->NotificationConfig.NotificationConfigID|RESTRICT|RESTRICT"}},
        {"EmailConfig", {}},
        {"NotificationConfig", {}},
    };
    for (auto it = foreignKeys.cbegin(); it != foreignKeys.cend(); ++it)
        QCOMPARE(raw.foreignKeys(it.key()), it.value());

    const QMap<QString, QStringList> indexes{
        {"Devices", {"u|1|serial|"}},
        {"EventLog", {"c|0|timeStamp|EventLog_TimeStamp_Index"}},
        {"DeviceLogs", {"c|0|date,time|DeviceLogs_DateTime_Index", "c|0|serial|DeviceLogs_Serial_Index"}},
        {"DeviceImages", {}},
        {"Info", {}},
        {"Location", {}},
        {"DeviceConfigs", {"pk|1|DevicesID,LocationID|"}},
        {"EmailConfig", {}},
        {"NotificationConfig", {"u|1|name|"}},
    };
    for (auto it = indexes.cbegin(); it != indexes.cend(); ++it)
        QCOMPARE(raw.indexes(it.key()), it.value());

    QCOMPARE(raw.value(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    QCOMPARE(raw.rows(QStringLiteral("PRAGMA foreign_key_check")), QStringList());
}

} // namespace SchemaTest
