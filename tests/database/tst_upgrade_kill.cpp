// Kills the upgrading process (which copies first) at random moments, then runs
// two upgrades at once: the file stays a sound database at a step version with
// every row, one run finishes the job while the other waits, every copy
// reported exists, holds its version and every row, and nothing else is left.
#include "databasetest.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace DatabaseTest;

namespace {

// Row counts of the tables that every version has.
QString rowCounts(const RawDb &raw)
{
    const QString configs = raw.value("SELECT name FROM sqlite_master WHERE name IN ('DeviceConfigs', "
                                      "'DeviceLocations')");
    QString counts;
    for (const QString &table :
         QStringList{"Devices", "DeviceLogs", "DeviceImages", "EventLog", "Location", "EmailConfig", configs})
        counts += raw.value("SELECT count(*) FROM " + table) + ' ';
    return counts;
}

void start(QProcess &upgrader, const QString &path)
{
    // Text: lines end in "\n" on Windows too.
    upgrader.start(QStringLiteral(VX_UPGRADER_PATH), {path}, QIODevice::ReadOnly | QIODevice::Text);
}

// The output and, when it finished its work, "exit 0"; killed after killAfterMs >= 0.
QString finish(QProcess &upgrader, qint64 killAfterMs = -1)
{
    if (killAfterMs >= 0 && !upgrader.waitForFinished(int(killAfterMs)))
        upgrader.kill(); // SIGKILL
    upgrader.waitForFinished(60000);
    const bool done = upgrader.exitStatus() == QProcess::NormalExit && upgrader.exitCode() == 0;
    return QString::fromLocal8Bit(upgrader.readAll()) + (done ? "exit 0\n" : "");
}

} // namespace

class TestUpgradeKill : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_template; // version 1 with enough rows that a run takes a while
    QString m_counts;

    // A folder of its own holding a copy of the template as vxs.db.
    QString copyInto(const QString &folder)
    {
        const QString path = m_dir.filePath(folder + "/vxs.db");
        return QDir().mkpath(m_dir.filePath(folder)) && QFile::copy(m_template, path) ? path : QString();
    }
    // Every copy the outputs report exists and has the version its message
    // names in its name; every file beside `path` is one of its copies,
    // holding the version its name gives and every row.
    void checkCopies(const QString &path, const QString &outputs)
    {
        QStringList files = QFileInfo(path).dir().entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(files.removeOne("vxs.db"), qPrintable(files.join(' ')));
        const QRegularExpression copied(
            "^copied: A copy of the database at version (\\d+) was written to .*/([^/\\n]*)\\.$",
            QRegularExpression::MultilineOption);
        for (auto match = copied.globalMatch(outputs); match.hasNext();) {
            const QRegularExpressionMatch copy = match.next();
            QVERIFY2(files.contains(copy.captured(2)) &&
                         copy.captured(2).startsWith("vxs.db.v" + copy.captured(1) + '-'),
                     qPrintable("reported, missing:\n" + outputs));
        }
        const QRegularExpression copyName("^vxs\\.db\\.v(\\d+)-\\d{8}-\\d{6}(-\\d+)?\\.bak$");
        for (const QString &name : qAsConst(files)) {
            const RawDb copy(QFileInfo(path).dir().filePath(name));
            QCOMPARE(copy.value("SELECT dbVersion FROM Info") + ' ' + rowCounts(copy),
                     copyName.match(name).captured(1) + ' ' + m_counts);
        }
    }

private slots:
    void killedAtRandomMoments()
    {
        m_template = m_dir.filePath("template.db");
        QVERIFY(runScript(m_template, "v1.sql") && runScript(m_template, "bulk.sql"));
        m_counts = rowCounts(RawDb(m_template));
        // How long a whole run and its copy take here, to spread the kills:
        // two thirds of them fall into the copy, the others anywhere in the run.
        QElapsedTimer timer;
        timer.start();
        QProcess probe;
        start(probe, copyInto("probe"));
        QVERIFY(probe.waitForReadyRead(60000));
        const qint64 copiedMs = timer.elapsed();
        QVERIFY(finish(probe).endsWith("step 12\ndone\nexit 0\n"));
        const qint64 fullRunMs = timer.elapsed();
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("a copy takes %lld ms, a whole run %lld ms; seed %u", copiedMs, fullRunMs, seed);
        QRandomGenerator random(seed);

        for (int run = 0; run < 30; ++run) {
            const QString path = copyInto(QString::number(run));
            QProcess killed, first, second;
            start(killed, path);
            const QString outputs =
                finish(killed, random.bounded(run < 20 ? copiedMs * 1.2 : fullRunMs * 1.1));
            {
                const RawDb raw(path); // rolls a hot journal back
                const int version = raw.value("SELECT dbVersion FROM Info").toInt();
                QVERIFY2(version >= 1 && version <= 12, qPrintable(outputs));
                QCOMPARE(raw.value("PRAGMA integrity_check") + ' ' + rowCounts(raw), "ok " + m_counts);
                if (version < 7)
                    QCOMPARE(raw.value("SELECT count(*) FROM LocationConfigs"), QStringLiteral("1"));
            }
            start(first, path);
            start(second, path);
            const QString pair = finish(first) + finish(second);
            QVERIFY2(pair.count("done\nexit 0") == 2 && pair.count("copied: ") <= 1, qPrintable(pair));
            checkCopies(path, outputs + pair);
            const RawDb raw(path);
            QCOMPARE(raw.rows("SELECT dbVersion, EmailConfigID FROM Info, Location WHERE LocationID = 1") +
                         raw.rows("PRAGMA integrity_check") + raw.rows("PRAGMA foreign_key_check") +
                         QStringList{rowCounts(raw)},
                     (QStringList{"12|7", "ok", m_counts}));
        }
    }
};

QTEST_GUILESS_MAIN(TestUpgradeKill)
#include "tst_upgrade_kill.moc"
