#include "schematestdb.h"
#include "tvxdatabase.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace Veltrix::Database;
using namespace SchemaTest;

// Kills the upgrading process (which copies the database first) at random
// moments, and runs two upgrades of one database at once. After each kill the
// file must be a sound database at one of the step versions with every row,
// and a second upgrade must finish the job. Every copy reported as written
// must exist and hold the version it was taken at, and nothing but the
// database and its copies may be left in its folder.
class TestUpgradeKill : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_template;
    QMap<QString, int> m_counts;
    QList<RowSet> m_sets;
    qint64 m_copiedMs = 0; // when a whole run has its copy in place
    qint64 m_fullRunMs = 0;

    static constexpr int runs = 20;
    static constexpr int bulkLogs = 50000;
    static constexpr int bulkDevices = 5000;

    // Starts the upgrader on `path`; kills it after `killAfterMs` unless negative.
    static QProcess *startUpgrader(const QString &path, QObject *parent)
    {
        auto *upgrader = new QProcess(parent);
        upgrader->setProcessChannelMode(QProcess::MergedChannels);
        upgrader->start(QStringLiteral(VX_UPGRADER_PATH), {path});
        upgrader->waitForStarted();
        return upgrader;
    }
    static QString finish(QProcess *upgrader, qint64 killAfterMs = -1)
    {
        if (killAfterMs >= 0 && !upgrader->waitForFinished(int(killAfterMs)))
            upgrader->kill(); // SIGKILL
        upgrader->waitForFinished(60000);
        const QString output = QString::fromLocal8Bit(upgrader->readAll());
        const bool done = upgrader->exitStatus() == QProcess::NormalExit && upgrader->exitCode() == 0;
        delete upgrader;
        return done ? output + "exit 0" : output;
    }

    // Every copy of `path` the outputs report exists, and every file beside
    // `path` is one of its copies, holding the version its name gives and
    // every row.
    void checkCopies(const QString &path, const QString &outputs, const QMap<QString, int> &counts)
    {
        const QFileInfo database(path);
        QStringList reported;
        const QRegularExpression copied("^copied (.*)$", QRegularExpression::MultilineOption);
        for (auto match = copied.globalMatch(outputs); match.hasNext();)
            reported << QFileInfo(match.next().captured(1)).fileName();
        QStringList files = database.dir().entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(files.removeOne(database.fileName()), qPrintable(files.join(' ')));
        for (const QString &name : reported)
            QVERIFY2(files.contains(name), qPrintable(name + " reported, missing:\n" + outputs));
        const QRegularExpression copyName("^" + QRegularExpression::escape(database.fileName()) +
                                          "\\.v(\\d+)-\\d{8}-\\d{6}(-\\d+)?\\.bak$");
        for (const QString &name : qAsConst(files)) {
            const QString version = copyName.match(name).captured(1);
            QVERIFY2(!version.isEmpty(), qPrintable(name));
            RawDb copy(database.dir().filePath(name));
            QCOMPARE(copy.value("SELECT dbVersion FROM Info"), version);
            QCOMPARE(keptCounts(copy, version.toInt()), counts);
        }
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
        // Enough rows that the copy and the upgrade take a while: indexes to
        // build and large tables to drop.
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

        // How long a whole run and its copy take here, to spread the kills.
        const QString probe = m_dir.filePath("probe/vxs.db");
        QVERIFY(QDir().mkpath(QFileInfo(probe).path()) && QFile::copy(m_template, probe));
        QElapsedTimer timer;
        timer.start();
        QProcess *upgrader = startUpgrader(probe, this);
        QVERIFY(upgrader->waitForReadyRead(60000));
        m_copiedMs = timer.elapsed();
        const QString output = finish(upgrader);
        m_fullRunMs = timer.elapsed();
        QVERIFY2(output.startsWith("copied ") && output.contains("step 12"), qPrintable(output));
        qInfo("a copy takes %lld ms, a whole run %lld ms", m_copiedMs, m_fullRunMs);
    }

    // Two thirds of the kills fall into the copy, the others anywhere in the run.
    void killedAtRandomMoments()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);
        QMap<int, int> versionsSeen;

        for (int run = 0; run < runs + runs / 2; ++run) {
            const QString path = m_dir.filePath(QString("run%1/vxs.db").arg(run));
            QVERIFY(QDir().mkpath(QFileInfo(path).path()) && QFile::copy(m_template, path));
            const double window = run < runs ? m_copiedMs * 1.2 : m_fullRunMs * 1.1;
            QString outputs = finish(startUpgrader(path, this), qint64(random.bounded(window)));

            int version = 0;
            {
                RawDb raw(path); // rolls a hot journal back
                QCOMPARE(raw.value("PRAGMA integrity_check"), QStringLiteral("ok"));
                version = raw.value("SELECT dbVersion FROM Info").toInt();
                QVERIFY2(version >= 1 && version <= softwareLibraryVersion, qPrintable(outputs));
                QCOMPARE(keptCounts(raw, version), m_counts);
                if (version < 7)
                    QCOMPARE(raw.count("LocationConfigs"), m_sets.size());
            }
            versionsSeen[version]++;

            // The next run clears what the killed one left and finishes.
            const QString again = finish(startUpgrader(path, this));
            QVERIFY2(again.endsWith("done\nexit 0"), qPrintable(again));
            checkCopies(path, outputs + again, m_counts);
            RawDb raw(path);
            QCOMPARE(raw.value("SELECT dbVersion FROM Info"), QStringLiteral("12"));
            QCOMPARE(keptCounts(raw, 12), m_counts);
            for (const RowSet &set : m_sets)
                QCOMPARE(raw.value("SELECT EmailConfigID FROM Location WHERE LocationID = " +
                                   QString::number(set.location)),
                         QString::number(set.email));
            QCOMPARE(raw.value("PRAGMA integrity_check") + raw.rows("PRAGMA foreign_key_check").join(','),
                     QStringLiteral("ok"));
            QVERIFY(QDir(QFileInfo(path).path()).removeRecursively());
        }
        qInfo() << "versions left by the kills, with their counts:" << versionsSeen;
    }

    // One of each pair copies and upgrades; the other waits for it and has
    // nothing left to do. Neither removes what the other wrote.
    void concurrentUpgrades()
    {
        const QString small = m_dir.filePath("small.db");
        QMap<QString, int> counts;
        {
            TVXDatabase db(sqliteSettings(small));
            QVERIFY(db.UpgradeTo(6).ok);
            RawDb raw(small);
            for (int n = 1; n <= 3; ++n)
                addRowSet(raw, 6, n);
            counts = keptCounts(raw, 6);
        }
        for (int pair = 0; pair < runs; ++pair) {
            const QString path = m_dir.filePath(QString("pair%1/vxs.db").arg(pair));
            QVERIFY(QDir().mkpath(QFileInfo(path).path()) && QFile::copy(small, path));
            QProcess *first = startUpgrader(path, this);
            QProcess *second = startUpgrader(path, this);
            const QString outputs = finish(first) + '\n' + finish(second);
            QCOMPARE(outputs.count("exit 0"), 2);
            QCOMPARE(outputs.count("copied "), 1);
            checkCopies(path, outputs, counts);
            QCOMPARE(RawDb(path).value("SELECT dbVersion FROM Info"), QStringLiteral("12"));
        }
    }
};

QTEST_GUILESS_MAIN(TestUpgradeKill)
#include "tst_upgrade_kill.moc"
