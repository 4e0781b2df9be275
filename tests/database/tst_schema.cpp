#include "schema.h"
#include "schematestdb.h"
#include "tvxdatabase.h"

#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

using namespace Veltrix::Database;
using namespace SchemaTest;

class TestSchema : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

    // Runs `statement` on a fresh copy of the new database with foreign keys
    // enforced, after the setup statements, and compares what `check` reads.
    void constraint(const QStringList &setup, const QString &statement, bool allowed, const QString &check,
                    const QString &expected)
    {
        const QString copy = m_dir.filePath("fk.db");
        QFile::remove(copy);
        QVERIFY(QFile::copy(m_path, copy));
        RawDb raw(copy);
        QVERIFY(raw.exec("PRAGMA foreign_keys = ON"));
        for (const QString &sql : setup)
            QVERIFY2(raw.exec(sql), qPrintable(sql));
        QVERIFY2(raw.exec(statement) == allowed, qPrintable(statement));
        QVERIFY2(raw.value(check) == expected, qPrintable(statement + ": " + raw.value(check)));
    }

private slots:
    void initTestCase()
    {
        // Ten hours east of UTC all year, so the machine-dependent defaults are known.
        qputenv("TZ", "Australia/Brisbane");
        tzset();
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath("vxs.db");
        TVXDatabase db(sqliteSettings(m_path));
        const TORVSQLResult result = db.CreateOrUpgrade();
        QVERIFY2(result.ok, qPrintable(result.error));
    }

    void newDatabaseHasTheVersion12Schema()
    {
        RawDb raw(m_path);
        verifyVersion12Schema(raw, "36000", "'Australia/Brisbane'");
        QCOMPARE(raw.rows("SELECT InfoID, dbVersion, errorMessage, restrictUtility, dbSoftwareMinimum, "
                          "ServerState FROM Info"),
                 QStringList{"1|12|NULL|0|5|NULL"});
        const QDateTime heartbeat =
            QDateTime::fromString(raw.value("SELECT heartbeat FROM Info"), Qt::ISODate);
        QVERIFY(qAbs(heartbeat.secsTo(QDateTime::currentDateTime())) < 600);
        for (const char *insert : {"INSERT INTO Info (InfoID, dbVersion, heartbeat) VALUES (2, 1, 'x')",
                                   "INSERT INTO Info (dbVersion, heartbeat) VALUES (1, 'x')"})
            QVERIFY2(!raw.exec(insert), insert); // Info keeps one row
        QCOMPARE(raw.count("Info"), 1);

        TVXDatabase db(sqliteSettings(m_path));
        QCOMPARE(db.DbVersion(), 12);
        QCOMPARE(db.DbSoftwareMinimum(), 5);
        QVERIFY(db.IsUnrestricted() && db.IsCurrentVersion() && !db.NeedsUpgrade());
        QVERIFY(db.CheckVersion().ok);
        QCOMPARE(Schema::upgradeSteps().size(), softwareLibraryVersion - 1);
        QCOMPARE(Schema::versionOneTables().size(), 11);
    }

    void constraints()
    {
        const QStringList device{
            "INSERT INTO Devices (DevicesID, serial, connected) VALUES (1, 'A1', 1), (2, 'A2', 1)",
            "INSERT INTO DeviceLogs (DeviceLogsID, DevicesID, date, time, serial, type) VALUES "
            "(10, 1, '2026-01-01', '10:00', 'A1', 'Breath'), (11, 2, '2026-01-01', '10:00', 'A2', 'Breath')",
            "INSERT INTO DeviceImages (DeviceLogsID, imageNo) VALUES (10, 1), (11, 1)",
            "INSERT INTO Location (LocationID, name) VALUES (5, 'North')",
            "INSERT INTO DeviceConfigs (DevicesID, LocationID) VALUES (1, 5), (2, 5)",
        };
        const QStringList email =
            device +
            QStringList{"INSERT INTO EmailConfig (EmailConfigID, Name) VALUES (7, 'mail'), (8, 'other')",
                        "INSERT INTO NotificationConfig (NotificationConfigID, name) VALUES (9, 'hook')"};

        // Deleting a device cascades to its logs, images and configs; a log to its images.
        constraint(device, "DELETE FROM Devices WHERE DevicesID = 1", true,
                   "SELECT (SELECT count(*) FROM DeviceLogs) || (SELECT count(*) FROM DeviceImages) || "
                   "(SELECT count(*) FROM DeviceConfigs)",
                   "111");
        constraint(device, "DELETE FROM DeviceLogs WHERE DeviceLogsID = 11", true,
                   "SELECT group_concat(DeviceLogsID) FROM DeviceImages", "10");
        constraint(device, "DELETE FROM Location WHERE LocationID = 5", true,
                   "SELECT count(*) FROM DeviceConfigs", "0");
        constraint(email + QStringList{"UPDATE DeviceConfigs SET EmailConfigID = 7 WHERE DevicesID = 1"},
                   "DELETE FROM EmailConfig WHERE EmailConfigID = 7", true,
                   "SELECT group_concat(DevicesID) FROM DeviceConfigs", "2");
        // Configs still referred to are refused.
        constraint(email + QStringList{"UPDATE Location SET EmailConfigID = 8"},
                   "DELETE FROM EmailConfig WHERE EmailConfigID = 8", false,
                   "SELECT count(*) FROM EmailConfig", "2");
        constraint(email + QStringList{"UPDATE Location SET NotificationConfigID = 9"},
                   "DELETE FROM NotificationConfig", false, "SELECT count(*) FROM NotificationConfig", "1");
        constraint(email +
                       QStringList{"UPDATE DeviceConfigs SET NotificationConfigID = 9 WHERE DevicesID = 2"},
                   "DELETE FROM NotificationConfig", false, "SELECT count(*) FROM NotificationConfig", "1");
        constraint(device,
                   "INSERT INTO DeviceLogs (DevicesID, date, time, serial, type) "
                   "VALUES (99, '2026-01-01', '10:00', 'X', 'Breath')",
                   false, "SELECT count(*) FROM DeviceLogs", "2");
        // Names: device and e-mail config names may repeat, notification names and serials may not.
        constraint(device + QStringList{"UPDATE DeviceConfigs SET DeviceName = 'same' WHERE DevicesID = 1"},
                   "UPDATE DeviceConfigs SET DeviceName = 'same' WHERE DevicesID = 2", true,
                   "SELECT count(*) FROM DeviceConfigs WHERE DeviceName = 'same'", "2");
        constraint(email, "UPDATE EmailConfig SET Name = 'mail'", true,
                   "SELECT count(*) FROM EmailConfig WHERE Name = 'mail'", "2");
        constraint(email, "INSERT INTO NotificationConfig (name) VALUES ('hook')", false,
                   "SELECT count(*) FROM NotificationConfig", "1");
        constraint(device, "INSERT INTO Devices (serial, connected) VALUES ('A1', 0)", false,
                   "SELECT count(*) FROM Devices", "2");
        constraint(device, "INSERT INTO EmailConfig (Name) VALUES ('x')", true,
                   "SELECT resultLimit FROM EmailConfig", "0.05");
    }
};

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
