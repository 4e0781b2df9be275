#include "schematestdb.h"
#include "tvxdatabase.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Veltrix::Database;
using namespace SchemaTest;

// Kills the upgrading process at random moments. After each kill the file
// must be a sound database at one of the step versions with every row, and
// a second upgrade must finish the job.
class TestUpgradeKill : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_template;
    QMap<QString, int> m_counts;
    QList<RowSet> m_sets;
    qint64 m_fullRunMs = 0;

    static constexpr int runs = 20;
    static constexpr int bulkLogs = 250000;
    static constexpr int bulkDevices = 20000;

    bool runUpgrader(const QString &path, qint64 killAfterMs, QString *output)
    {
        QProcess upgrader;
        upgrader.setProcessChannelMode(QProcess::MergedChannels);
        upgrader.start(QStringLiteral(VX_UPGRADER_PATH), {path});
        if (!upgrader.waitForStarted())
            return false;
        if (killAfterMs >= 0 && !upgrader.waitForFinished(int(killAfterMs)))
            upgrader.kill(); // SIGKILL
        upgrader.waitForFinished(60000);
        *output = QString::fromLocal8Bit(upgrader.readAll());
        return upgrader.exitStatus() == QProcess::NormalExit && upgrader.exitCode() == 0;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_template = m_dir.filePath("template.db");
        {
            TVXDatabase db(sqliteSettings(m_template));
            QVERIFY(db.UpgradeTo(1).ok);
        }
        RawDb raw(m_template);
        m_sets << addRowSet(raw, 1, 1) << addRowSet(raw, 1, 2);
        // Enough rows that the upgrade takes a while: indexes to build and
        // large tables to drop.
        const QStringList bulk{
            "BEGIN",
            QStringLiteral(
                "INSERT INTO Devices (serial, connected) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                "SELECT i + 1 FROM n WHERE i < %1) SELECT 'B' || i, i % 2 FROM n")
                .arg(bulkDevices),
            "INSERT INTO Status (DevicesID, state, firmware) SELECT DevicesID, 'idle', '1.2.3' FROM Devices "
            "WHERE serial LIKE 'B%'",
            "INSERT INTO Diagnostics (DevicesID, errorFlags, pressure) SELECT DevicesID, '0x0000', 1013 FROM "
            "Devices WHERE serial LIKE 'B%'",
            QStringLiteral(
                "INSERT INTO DeviceLogs (DevicesID, recordNo, date, time, serial, type, result, "
                "firstName) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                "%1) SELECT 3 + i % 1000, i, date('2020-01-01', '+' || (i % 2000) || ' days'), "
                "time(i % 86400, 'unixepoch'), 'B' || (1 + i % 1000), 'Breath', '0.0' || (i % 9), "
                "'Name ' || i FROM n")
                .arg(bulkLogs),
            QStringLiteral(
                "INSERT INTO EventLog (timeStamp, serial, event, type) SELECT datetime(DeviceLogsID, "
                "'unixepoch'), serial, 'test ' || DeviceLogsID, 'info' FROM DeviceLogs WHERE "
                "DeviceLogsID % 5 = 0"),
            "COMMIT",
        };
        for (const QString &sql : bulk)
            QVERIFY2(raw.exec(sql), qPrintable(sql));
        m_counts = keptCounts(raw, 1);
        QVERIFY(m_counts.value("DeviceLogs") > bulkLogs);

        // How long a whole upgrade takes here, to spread the kills over it.
        const QString probe = m_dir.filePath("probe.db");
        QVERIFY(QFile::copy(m_template, probe));
        QElapsedTimer timer;
        timer.start();
        QString output;
        QVERIFY2(runUpgrader(probe, -1, &output), qPrintable(output));
        m_fullRunMs = timer.elapsed();
        QVERIFY2(output.contains("step 12"), qPrintable(output));
        qInfo("a full upgrade takes %lld ms", m_fullRunMs);
    }

    void killedAtRandomMoments()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);
        QMap<int, int> versionsSeen;

        for (int run = 0; run < runs; ++run) {
            const QString path = m_dir.filePath(QString("run%1.db").arg(run));
            QVERIFY(QFile::copy(m_template, path));
            const qint64 killAfter = qint64(random.bounded(double(m_fullRunMs) * 1.1));
            QString output;
            runUpgrader(path, killAfter, &output);

            int version = 0;
            {
                RawDb raw(path); // rolls a hot journal back
                QCOMPARE(raw.value("PRAGMA integrity_check"), QStringLiteral("ok"));
                version = raw.value("SELECT dbVersion FROM Info").toInt();
                QVERIFY2(version >= 1 && version <= softwareLibraryVersion, qPrintable(output));
                QCOMPARE(keptCounts(raw, version), m_counts);
                if (version < 7)
                    QCOMPARE(raw.count("LocationConfigs"), m_sets.size());
            }
            versionsSeen[version]++;

            TVXDatabase db(sqliteSettings(path));
            const TORVSQLResult again = db.CreateOrUpgrade();
            QVERIFY2(again.ok && db.DbVersion() == 12, qPrintable(again.error));
            db.Close();
            RawDb raw(path);
            QCOMPARE(keptCounts(raw, 12), m_counts);
            for (const RowSet &set : m_sets)
                QCOMPARE(raw.value("SELECT EmailConfigID FROM Location WHERE LocationID = " +
                                   QString::number(set.location)),
                         QString::number(set.email));
            QCOMPARE(raw.value("PRAGMA integrity_check") + raw.rows("PRAGMA foreign_key_check").join(','),
                     QStringLiteral("ok"));
            QFile::remove(path);
        }
        qInfo() << "versions left by the kills, with their counts:" << versionsSeen;
    }
};

QTEST_GUILESS_MAIN(TestUpgradeKill)
#include "tst_upgrade_kill.moc"
