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

private:
    QTemporaryDir m_dir;
    QString m_path;

private slots:
    void initTestCase()
    {
        // Ten hours east of UTC all year, so the machine-dependent defaults are known.
        qputenv("TZ", "Australia/Brisbane");
        tzset();
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("vxs.db"));
        TVXDatabase db(sqliteSettings(m_path));
        QVERIFY(db.IsOpen());
        const TORVSQLResult result = db.CreateOrUpgrade();
        QVERIFY2(result.ok, qPrintable(result.error));
    }

    void newDatabaseHasTheVersion12Schema()
    {
        RawDb raw(m_path);
        verifyVersion12Schema(raw, QStringLiteral("36000"), QStringLiteral("'Australia/Brisbane'"));
    }

    void newDatabaseInfoRow()
    {
        TVXDatabase db(sqliteSettings(m_path));
        QCOMPARE(db.DbVersion(), 12);
        QCOMPARE(db.DbSoftwareMinimum(), 5);
        QVERIFY(db.IsUnrestricted());
        QVERIFY(db.IsCurrentVersion());
        QVERIFY(!db.NeedsUpgrade());
        QVERIFY(db.CheckVersion().ok);

        RawDb raw(m_path);
        const QStringList rows = raw.rows(
            QStringLiteral("SELECT InfoID, dbVersion, errorMessage, restrictUtility, dbSoftwareMinimum, "
                           "ServerState FROM Info"));
        QCOMPARE(rows, QStringList{QStringLiteral("1|12|NULL|0|5|NULL")});
        const QDateTime heartbeat =
            QDateTime::fromString(raw.value(QStringLiteral("SELECT heartbeat FROM Info")), Qt::ISODate);
        QVERIFY(heartbeat.isValid());
        QVERIFY(qAbs(heartbeat.secsTo(QDateTime::currentDateTime())) < 600);
    }

    void infoKeepsOneRow_data()
    {
        QTest::addColumn<QString>("insert");
        QTest::newRow("second key") << "INSERT INTO Info (InfoID, dbVersion, heartbeat) VALUES (2, 1, 'x')";
        QTest::newRow("same key") << "INSERT INTO Info (InfoID, dbVersion, heartbeat) VALUES (1, 1, 'x')";
        QTest::newRow("default key") << "INSERT INTO Info (dbVersion, heartbeat) VALUES (1, 'x')";
    }
    void infoKeepsOneRow()
    {
        QFETCH(QString, insert);
        RawDb raw(m_path);
        QVERIFY(!raw.exec(insert));
        QCOMPARE(raw.count(QStringLiteral("Info")), 1);
    }

    // Each case runs on a fresh copy of the new database with foreign keys
    // enforced, after the setup statements.
    void foreignKeys_data()
    {
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("expected");

        const QStringList device{
            "INSERT INTO Devices (DevicesID, serial, connected) VALUES (1, 'A1', 1)",
            "INSERT INTO Devices (DevicesID, serial, connected) VALUES (2, 'A2', 1)",
            "INSERT INTO DeviceLogs (DeviceLogsID, DevicesID, date, time, serial, type) VALUES (10, 1, "
            "'2026-01-01', '10:00', 'A1', 'Breath')",
            "INSERT INTO DeviceLogs (DeviceLogsID, DevicesID, date, time, serial, type) VALUES (11, 2, "
            "'2026-01-01', '10:00', 'A2', 'Breath')",
            "INSERT INTO DeviceImages (DeviceLogsID, imageNo) VALUES (10, 1)",
            "INSERT INTO DeviceImages (DeviceLogsID, imageNo) VALUES (11, 1)",
            "INSERT INTO Location (LocationID, name) VALUES (5, 'North')",
            "INSERT INTO DeviceConfigs (DevicesID, LocationID) VALUES (1, 5)",
            "INSERT INTO DeviceConfigs (DevicesID, LocationID) VALUES (2, 5)",
        };
        const QStringList email =
            device + QStringList{
                         "INSERT INTO EmailConfig (EmailConfigID, Name) VALUES (7, 'mail')",
                         "INSERT INTO EmailConfig (EmailConfigID, Name) VALUES (8, 'other')",
                         "INSERT INTO NotificationConfig (NotificationConfigID, name) VALUES (9, 'hook')",
                     };

        QTest::newRow("device cascades to logs, images, configs")
            << device << "DELETE FROM Devices WHERE DevicesID = 1" << true
            << "SELECT (SELECT count(*) FROM DeviceLogs) || ',' || (SELECT count(*) FROM DeviceImages) || "
               "',' || "
               "(SELECT count(*) FROM DeviceConfigs)"
            << "1,1,1";
        QTest::newRow("log cascades to its images")
            << device << "DELETE FROM DeviceLogs WHERE DeviceLogsID = 11" << true
            << "SELECT group_concat(DeviceLogsID) FROM DeviceImages"
            << "10";
        QTest::newRow("location cascades to configs") << device << "DELETE FROM Location WHERE LocationID = 5"
                                                      << true << "SELECT count(*) FROM DeviceConfigs"
                                                      << "0";
        QTest::newRow("email config of a device config cascades")
            << (email + QStringList{"UPDATE DeviceConfigs SET EmailConfigID = 7 WHERE DevicesID = 1"})
            << "DELETE FROM EmailConfig WHERE EmailConfigID = 7" << true
            << "SELECT group_concat(DevicesID) FROM DeviceConfigs"
            << "2";
        QTest::newRow("email config of a location is refused")
            << (email + QStringList{"UPDATE Location SET EmailConfigID = 8"})
            << "DELETE FROM EmailConfig WHERE EmailConfigID = 8" << false
            << "SELECT count(*) FROM EmailConfig"
            << "2";
        QTest::newRow("notification config of a location is refused")
            << (email + QStringList{"UPDATE Location SET NotificationConfigID = 9"})
            << "DELETE FROM NotificationConfig" << false << "SELECT count(*) FROM NotificationConfig"
            << "1";
        QTest::newRow("notification config of a device config is refused")
            << (email + QStringList{"UPDATE DeviceConfigs SET NotificationConfigID = 9 WHERE DevicesID = 2"})
            << "DELETE FROM NotificationConfig" << false << "SELECT count(*) FROM NotificationConfig"
            << "1";
        QTest::newRow("log of a missing device is refused")
            << device
            << "INSERT INTO DeviceLogs (DevicesID, date, time, serial, type) VALUES (99, '2026-01-01', "
               "'10:00', "
               "'X', 'Breath')"
            << false << "SELECT count(*) FROM DeviceLogs"
            << "2";
        QTest::newRow("device names may repeat")
            << (device + QStringList{"UPDATE DeviceConfigs SET DeviceName = 'same' WHERE DevicesID = 1"})
            << "UPDATE DeviceConfigs SET DeviceName = 'same' WHERE DevicesID = 2" << true
            << "SELECT count(*) FROM DeviceConfigs WHERE DeviceName = 'same'"
            << "2";
        QTest::newRow("email config names may repeat")
            << email << "UPDATE EmailConfig SET Name = 'mail'" << true
            << "SELECT count(*) FROM EmailConfig WHERE Name = 'mail'"
            << "2";
        QTest::newRow("notification config names may not")
            << email << "INSERT INTO NotificationConfig (name) VALUES ('hook')" << false
            << "SELECT count(*) FROM NotificationConfig"
            << "1";
        QTest::newRow("serials are unique")
            << device << "INSERT INTO Devices (serial, connected) VALUES ('A1', 0)" << false
            << "SELECT count(*) FROM Devices"
            << "2";
        QTest::newRow("result limit defaults") << device << "INSERT INTO EmailConfig (Name) VALUES ('x')"
                                               << true << "SELECT resultLimit FROM EmailConfig"
                                               << "0.05";
    }
    void foreignKeys()
    {
        QFETCH(QStringList, setup);
        QFETCH(QString, statement);
        QFETCH(bool, allowed);
        QFETCH(QString, check);
        QFETCH(QString, expected);

        const QString copy =
            m_dir.filePath(QStringLiteral("fk-%1.db").arg(QTest::currentDataTag()).replace(' ', '-'));
        QFile::remove(copy);
        QVERIFY(QFile::copy(m_path, copy));
        RawDb raw(copy);
        QVERIFY(raw.exec(QStringLiteral("PRAGMA foreign_keys = ON")));
        for (const QString &sql : setup)
            QVERIFY2(raw.exec(sql), qPrintable(sql));
        QCOMPARE(raw.exec(statement), allowed);
        QCOMPARE(raw.value(check), expected);
    }

    void stepsAreConsecutive()
    {
        const QList<Schema::TSchemaStep> steps = Schema::upgradeSteps();
        QCOMPARE(steps.size(), SoftwareLibraryVersion - 1);
        for (int i = 0; i < steps.size(); ++i) {
            QCOMPARE(steps.at(i).version, i + 2);
            QVERIFY(!steps.at(i).operations.isEmpty());
        }
        QCOMPARE(Schema::versionOneTables().size(), 11);
    }
};

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
