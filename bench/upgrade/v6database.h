#pragma once

// The database both upgrade benchmarks start from: version 6 with
// `rows` DeviceLogs rows, a tenth as many EventLog rows, 1,000 devices with
// status and diagnostics, and 50 locations.

#include "tvxdatabase.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>

inline void say(const QString &text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

inline TORVSQLSettings sqliteFile(const QString &path)
{
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::SQLite;
    settings.connectionName = QStringLiteral("bench");
    settings.databaseName = path;
    return settings;
}

// Fills a version-6 database with a site's worth of rows; the error, or empty.
inline QString fillVersion6(const QString &path, int rows)
{
    bool ok = true;
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        ok = db.open();
        const QStringList statements{
            "BEGIN",
            "INSERT INTO Devices (serial, connected) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
            "FROM n WHERE i < 1000) SELECT 'D' || i, i % 2 FROM n",
            "INSERT INTO Status (DevicesID, state, firmware) SELECT DevicesID, 'idle', '1.2.3' FROM Devices",
            "INSERT INTO Diagnostics (DevicesID, errorFlags, pressure) SELECT DevicesID, '0x0000', 1013 FROM "
            "Devices",
            "INSERT INTO EmailConfig (fromAddress, toAddresses, Name) VALUES ('vx@site.example', "
            "'ops@site.example', 'ops')",
            "INSERT INTO Location (name) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
            "WHERE i "
            "< 50) SELECT 'Site ' || i FROM n",
            "INSERT INTO LocationConfigs (LocationID, EmailConfigID) SELECT LocationID, 1 FROM Location "
            "WHERE "
            "LocationID % 2 = 0",
            "INSERT INTO DeviceConfigs (DevicesID, LocationID) SELECT DevicesID, 1 + DevicesID % 50 FROM "
            "Devices",
            QStringLiteral(
                "INSERT INTO DeviceLogs (DevicesID, recordNo, date, time, serial, type, outcome, result, "
                "firstName, lastName) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                "WHERE i < %1) SELECT 1 + i % 1000, i, date('2019-01-01', '+' || (i % 2500) || ' "
                "days'), time(i * 37 % 86400, 'unixepoch'), 'D' || (1 + i % 1000), 'Breath', "
                "'Pass', '0.0' || (i % 10), 'First' || (i % 977), 'Last' || (i % 331) FROM n")
                .arg(rows),
            "INSERT INTO EventLog (timeStamp, serial, event, type) SELECT date || 'T' || time, serial, 'Test "
            "complete', 'info' FROM DeviceLogs WHERE DeviceLogsID % 10 = 0",
            "COMMIT",
        };
        QSqlQuery query(db);
        for (const QString &sql : statements) {
            if (ok && !query.exec(sql)) {
                error = QStringLiteral("fill failed: %1: %2").arg(sql, query.lastError().text());
                ok = false;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok ? QString() : error.isEmpty() ? QStringLiteral("cannot open ") + path : error;
}

// Builds the database at `path` (which must not exist); the error, or empty.
inline QString buildVersion6(const QString &path, int rows)
{
    {
        Veltrix::Database::TVXDatabase db(sqliteFile(path));
        const TORVSQLResult built = db.UpgradeTo(6);
        if (!built.ok)
            return QStringLiteral("build failed: ") + built.error;
    }
    return fillVersion6(path, rows);
}

// The options both benchmarks take (--rows, --runs, --dir), and the work
// folder with the version-6 template they start from.
struct TBenchSetup
{
    const QCommandLineOption rowsOption{QStringLiteral("rows"), QStringLiteral("DeviceLogs rows."),
                                        QStringLiteral("N"), QStringLiteral("1000000")};
    const QCommandLineOption runsOption{QStringLiteral("runs"), QStringLiteral("Timed runs."),
                                        QStringLiteral("N"), QStringLiteral("3")};
    const QCommandLineOption dirOption{
        QStringLiteral("dir"), QStringLiteral("Work folder (default: temporary)."), QStringLiteral("PATH")};
    QTemporaryDir temporary;
    QDir dir;
    QString templatePath;
    int runs = 1;

    void addOptions(QCommandLineParser &parser) const
    {
        parser.addOptions({rowsOption, runsOption, dirOption});
    }
    // After parser.process(): builds the template in the work folder; false after saying why not.
    bool buildTemplate(const QCommandLineParser &parser)
    {
        const int rows = parser.value(rowsOption).toInt();
        runs = qMax(1, parser.value(runsOption).toInt());
        dir.setPath(parser.isSet(dirOption) ? parser.value(dirOption) : temporary.path());
        QDir().mkpath(dir.path());
        templatePath = dir.filePath(QStringLiteral("v6-template.db"));
        QFile::remove(templatePath);
        say(QStringLiteral("Building a version-6 database with %1 DeviceLogs rows in %2")
                .arg(rows)
                .arg(dir.path()));
        const QString failure = buildVersion6(templatePath, rows);
        if (!failure.isEmpty())
            say(failure);
        return failure.isEmpty();
    }
};
