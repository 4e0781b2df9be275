#include "schematestdb.h"
#include "tvxdatabase.h"

#include <QCryptographicHash>
#include <QLockFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

using namespace Veltrix::Database;
using namespace SchemaTest;

Q_DECLARE_METATYPE(eUpgradeStop)

namespace {

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

QList<int> stepsOf(TVXDatabase &db, TORVSQLResult *result)
{
    QList<int> steps;
    db.SetProgressObserver([&](const TVXUpgradeProgress &progress) { steps << progress.toVersion; });
    *result = db.CreateOrUpgrade();
    db.SetProgressObserver({});
    return steps;
}

} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_fileNo = 0;

    QString newPath()
    {
        const QString path = m_dir.filePath(QStringLiteral("db%1/vxs.db").arg(++m_fileNo));
        QDir().mkpath(QFileInfo(path).path());
        return path;
    }

    // A database at `version`, built by the steps themselves, with two row
    // sets written at version 1.
    QString buildAt(int version, QList<RowSet> *sets = nullptr)
    {
        const QString path = newPath();
        TVXDatabase db(sqliteSettings(path));
        if (!db.UpgradeTo(1).ok)
            qFatal("cannot build version 1");
        {
            RawDb raw(path);
            const RowSet a = addRowSet(raw, 1, 1);
            const RowSet b = addRowSet(raw, 1, 2);
            if (sets)
                *sets << a << b;
        }
        const TORVSQLResult up = db.UpgradeTo(version);
        if (!up.ok || db.DbVersion() != version)
            qFatal("upgrade to %d: %s", version, qPrintable(up.error));
        return path;
    }
    // Changes the file with `sql`, then returns its hash.
    QByteArray damage(const QString &path, const QString &sql)
    {
        RawDb raw(path);
        if (!raw.exec(sql))
            qFatal("%s", qPrintable(sql));
        return fileHash(path);
    }

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Australia/Brisbane");
        tzset();
        QVERIFY(m_dir.isValid());
    }

    void upgradesFromEveryVersion_data()
    {
        QTest::addColumn<int>("from");
        for (int v = 1; v < softwareLibraryVersion; ++v)
            QTest::addRow("from %d", v) << v;
    }
    void upgradesFromEveryVersion()
    {
        QFETCH(int, from);
        QList<RowSet> sets;
        const QString path = buildAt(from, &sets);
        QMap<QString, int> before;
        {
            RawDb raw(path);
            sets << addRowSet(raw, from, 3); // rows written by a program of that version
            before = keptCounts(raw, from);
        }

        TVXDatabase db(sqliteSettings(path));
        TORVSQLResult result;
        const QList<int> steps = stepsOf(db, &result);
        QVERIFY2(result.ok && result.value, qPrintable(result.error + " / " + result.query));
        QList<int> expectedSteps;
        for (int v = from + 1; v <= softwareLibraryVersion; ++v)
            expectedSteps << v;
        QCOMPARE(steps, expectedSteps);
        QCOMPARE(db.DbVersion(), 12);
        QCOMPARE(db.DbSoftwareMinimum(), 5);
        QCOMPARE(db.Sql()->selectFirst("PRAGMA foreign_keys").record.value(0).toInt(), 1);

        RawDb raw(path);
        verifyVersion12Schema(raw, "36000", "'Australia/Brisbane'");
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(keptCounts(raw, 12), before);
        // Each location kept its e-mail configuration (moved out of LocationConfigs at 7); the others have
        // none.
        for (const RowSet &set : sets) {
            const QString query = "SELECT EmailConfigID FROM Location WHERE LocationID = ";
            QCOMPARE(raw.value(query + QString::number(set.location)), QString::number(set.email));
            QCOMPARE(raw.value(query + QString::number(set.locationNoMail)), QStringLiteral("NULL"));
        }
        // Old rows carry the defaults of the columns added after them, the machine's UTC offset included.
        const QList<QPair<QString, QString>> defaults{
            {"offsetFromUTC FROM DeviceLogs", "36000"},
            {"Timezone FROM Location", "Australia/Brisbane"},
            {"syncing || ',' || State FROM Devices", "0,0"},
            {"Disabled FROM DeviceConfigs", "0"},
            {"resultLimit FROM EmailConfig", "0.05"},
            {"imageName1 IS NULL AND result = '0.00' FROM DeviceLogs", "1"}};
        for (const auto &d : defaults)
            QCOMPARE(raw.rows("SELECT DISTINCT " + d.first), QStringList{d.second});
    }

    // The second operation of step 9 meets a column that is already there.
    void failingStepLeavesThePreviousVersion()
    {
        const QString path = buildAt(8);
        damage(path, "ALTER TABLE DeviceConfigs ADD Disabled BOOLEAN");
        TVXDatabase db(sqliteSettings(path));
        TORVSQLResult result;
        QCOMPARE(stepsOf(db, &result), QList<int>{9});
        QVERIFY2(!result.ok && result.error.contains("duplicate column"), qPrintable(result.error));
        QVERIFY2(result.query.contains("ALTER TABLE DeviceConfigs ADD Disabled"), qPrintable(result.query));
        QCOMPARE(db.DbVersion(), 8);

        RawDb raw(path);
        // The step's first column went with the rollback; later steps never ran.
        QVERIFY(!raw.columns("Devices").join(',').contains("State|"));
        QVERIFY(raw.tables().contains("Status"));
        QCOMPARE(raw.count("Devices"), 2);
        QCOMPARE(raw.value("PRAGMA integrity_check"), QStringLiteral("ok"));
    }

    // Nothing to run: the upgrade only reports the check and leaves the file as it was.
    void versionRule_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<bool>("restricted");
        QTest::addColumn<QString>("error");
        QTest::newRow("12/5") << 12 << 5 << false << QString();
        QTest::newRow("12/5 restricted") << 12 << 5 << true << QString();
        QTest::newRow("13/12") << 13 << 12 << false << QString();
        QTest::newRow("13/13")
            << 13 << 13 << false
            << "VX Database version mismatch. Expected version 12 but actual version is 13";
        QTest::newRow("12/13")
            << 12 << 13 << false
            << "VX Database version mismatch. Expected version 12 but actual version is 12";
    }
    void versionRule()
    {
        QFETCH(int, version);
        QFETCH(int, minimum);
        QFETCH(bool, restricted);
        QFETCH(QString, error);
        const QString path = buildAt(12);
        const QByteArray hash = damage(
            path,
            QStringLiteral("UPDATE Info SET dbVersion = %1, dbSoftwareMinimum = %2, restrictUtility = %3")
                .arg(version)
                .arg(minimum)
                .arg(int(restricted)));
        TVXDatabase db(sqliteSettings(path));
        QCOMPARE(db.DbVersion(), version);
        QCOMPARE(db.DbSoftwareMinimum(), minimum);
        QCOMPARE(db.IsCurrentVersion(), version == 12);
        QCOMPARE(db.IsUnrestricted(), !restricted);
        QVERIFY(!db.NeedsUpgrade());
        const TORVSQLResult check = db.CheckVersion();
        QCOMPARE(check.ok, error.isEmpty());
        QCOMPARE(check.error, error);
        TORVSQLResult upgrade;
        QCOMPARE(stepsOf(db, &upgrade), QList<int>());
        QCOMPARE(upgrade.ok, error.isEmpty());
        QCOMPARE(upgrade.error, error);
        db.Close();
        QCOMPARE(fileHash(path), hash);
    }

    void olderVersionFailsTheCheck()
    {
        TVXDatabase db(sqliteSettings(buildAt(11)));
        QVERIFY(db.NeedsUpgrade());
        QCOMPARE(
            db.CheckVersion().error,
            QStringLiteral("VX Database version mismatch. Expected version 12 but actual version is 11"));
        TVXDatabase four(sqliteSettings(buildAt(4)));
        QCOMPARE(four.DbSoftwareMinimum(), -1); // column comes with version 5
    }

    void unreadableInfo_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<bool>("unrestricted");
        QTest::newRow("empty") << "DELETE FROM Info" << -1 << false;
        QTest::newRow("missing") << "DROP TABLE Info" << -1 << false;
        QTest::newRow("version not a number") << "UPDATE Info SET dbVersion = 'abc'" << 5 << true;
        QTest::newRow("version not whole") << "UPDATE Info SET dbVersion = 6.7" << 5 << true;
        QTest::newRow("version too large") << "UPDATE Info SET dbVersion = 99999999999" << 5 << true;
    }
    void unreadableInfo()
    {
        QFETCH(QString, damage);
        QFETCH(int, minimum);
        QFETCH(bool, unrestricted);
        const QString path = buildAt(6);
        const QByteArray hash = this->damage(path, damage);
        TVXDatabase db(sqliteSettings(path));
        QCOMPARE(db.DbVersion(), -1);
        QCOMPARE(db.DbSoftwareMinimum(), minimum);
        QVERIFY(db.NeedsUpgrade());
        QCOMPARE(db.IsUnrestricted(), unrestricted);
        // Tries to build version 1 and meets the existing tables.
        const TORVSQLResult result = db.CreateOrUpgrade();
        QVERIFY2(!result.ok && result.error.contains("already exists"), qPrintable(result.error));
        // Judged unreadable before anything is copied or run.
        QCOMPARE(db.BackupAndUpgrade(true).stop, eUpgradeStop::Unreadable);
        db.Close();
        QCOMPARE(fileHash(path), hash);
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files), QStringList{"vxs.db"});
    }

    void emptyFileIsBuilt()
    {
        const QString path = newPath();
        QFile(path).open(QIODevice::WriteOnly);
        TVXDatabase db(sqliteSettings(path));
        QCOMPARE(db.DbVersion(), -1);
        QVERIFY(!db.IsUnrestricted());
        TORVSQLResult result;
        QCOMPARE(stepsOf(db, &result).size(), 12);
        QVERIFY(result.ok);
        QCOMPARE(db.DbVersion(), 12);
    }

    void ensureConnection()
    {
        const QString path = buildAt(12);
        TVXDatabase db(sqliteSettings(path));
        db.Close();
        QCOMPARE(db.DbVersion(), -1);
        QVERIFY(db.EnsureConnection().ok);
        QVERIFY(db.IsOpen());
        QCOMPARE(db.DbVersion(), 12);
        // Reopened with the database's rules: a device takes its config along, and an e-mail
        // config that a location uses stays.
        QCOMPARE(db.Sql()->selectFirst("PRAGMA foreign_keys").record.value(0).toInt(), 1);
        QVERIFY(db.Sql()->exec("DELETE FROM Devices WHERE serial = 'S1'").ok);
        QVERIFY(!db.Sql()->exec("DELETE FROM EmailConfig").ok);
        QCOMPARE(RawDb(path).value("SELECT (SELECT count(*) FROM DeviceConfigs) || (SELECT count(*) FROM "
                                   "EmailConfig)"),
                 QStringLiteral("12"));

        // The file disappears under the open connection: no empty file in its place.
        QVERIFY(QFile::remove(path));
        const TORVSQLResult gone = db.EnsureConnection();
        QVERIFY2(
            gone.error.startsWith("Lost Connection, failed to reopen: The database file no longer exists"),
            qPrintable(gone.error));
        QVERIFY(!QFileInfo::exists(path));

        // Never opened: the folder is missing.
        TVXDatabase lost(sqliteSettings(m_dir.filePath("no/such/folder/vxs.db")));
        QVERIFY(!lost.IsOpen());
        const TORVSQLResult result = lost.EnsureConnection();
        QVERIFY2(result.error.startsWith("Failed to open: "), qPrintable(result.error));
        QVERIFY(!QFileInfo::exists(m_dir.filePath("no")));

        TVXDatabase none{TORVSQLSettings()};
        QVERIFY(!none.IsOpen());
        QVERIFY(!none.CreateOrUpgrade().ok);
    }

    void unusableFiles()
    {
        const auto check = [this](const QString &name, const QByteArray &content, const QString &message) {
            const QString path = m_dir.filePath("unusable/" + name);
            QDir().mkpath(name == "adir" ? path : m_dir.filePath("unusable"));
            QFile file(path);
            if (!content.isEmpty() && (!file.open(QIODevice::WriteOnly) || file.write(content) < 0))
                QFAIL("cannot write the file");
#ifdef Q_OS_UNIX
            if (name == "fifo") // opening it to read would wait for a writer
                QCOMPARE(::mkfifo(qPrintable(path), 0600), 0);
#endif
            file.close();
            TVXDatabase db(sqliteSettings(path));
            const TORVSQLResult connect = db.Connect(sqliteSettings(path));
            QVERIFY2(!connect.ok && connect.error.contains(message), qPrintable(connect.error));
            QVERIFY(!db.CreateOrUpgrade().ok);
            QCOMPARE(db.BackupAndUpgrade(true).stop, eUpgradeStop::Unreadable);
            if (!content.isEmpty()) {
                QVERIFY(file.open(QIODevice::ReadOnly));
                QCOMPARE(file.readAll(), content);
            }
        };
        check("notes.txt", "Dear administrator,\nthis is not a database.\n", "is not an SQLite database");
        check("short.db", "SQLite", "is not an SQLite database");
        check("missing/vxs.db", {}, "folder of the database file does not exist");
        check("adir", {}, "is a folder");
#ifdef Q_OS_UNIX
        check("fifo", {}, "is not a plain file");
#endif
        QVERIFY(!QFileInfo::exists(m_dir.filePath("unusable/missing")));
    }

    // The copy and the upgrade of a version-6 database, alone, while another
    // upgrade holds the database, and with no room for the copy.
    void backupAndUpgrade_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<eUpgradeStop>("stop");
        QTest::addColumn<QString>("message");
        QTest::newRow("copied") << "" << eUpgradeStop::None
                                << "A copy of the database at version 6 was written to ";
        QTest::newRow("another upgrade runs")
            << "locked" << eUpgradeStop::Busy << "Another upgrade of this database";
#ifdef Q_OS_UNIX
        QTest::newRow("disk full") << "full" << eUpgradeStop::NoCopy
                                   << "No copy of the database could be written";
#endif
    }
    void backupAndUpgrade()
    {
        QFETCH(QString, condition);
        QFETCH(eUpgradeStop, stop);
        QFETCH(QString, message);
        const QString path = buildAt(6);
        QLockFile other(path + ".upgrade.lock");
        QVERIFY(condition != "locked" || other.tryLock(0));
        TVXDatabase db(sqliteSettings(path));
        QStringList stages;
        db.SetProgressObserver(
            [&](const TVXUpgradeProgress &progress) { stages << upgradeStageText(progress); });
#ifdef Q_OS_UNIX
        rlimit unlimited{};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        rlimit full = unlimited;
        full.rlim_cur = QFileInfo(path).size() / 2; // writes beyond fail as on a full disk
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, condition == "full" ? &full : &unlimited);
#endif
        const TVXUpgradeOutcome outcome = db.BackupAndUpgrade(true, 200);
#ifdef Q_OS_UNIX
        setrlimit(RLIMIT_FSIZE, &unlimited);
#endif
        other.unlock();

        QCOMPARE(outcome.stop, stop);
        QVERIFY2((outcome.result.error + outcome.backup.message).contains(message),
                 qPrintable(outcome.result.error + outcome.backup.message));
        QCOMPARE(db.DbVersion(), stop == eUpgradeStop::None ? 12 : 6);
        QStringList files{"vxs.db"};
        if (outcome.backup.copied) { // named after the version it holds
            files << QFileInfo(outcome.backup.path).fileName();
            QVERIFY2(QRegularExpression("^vxs\\.db\\.v6-\\d{8}-\\d{6}\\.bak$").match(files.last()).hasMatch(),
                     qPrintable(files.last()));
            QVERIFY(outcome.backup.message.endsWith(QDir::toNativeSeparators(outcome.backup.path) + '.'));
            RawDb copy(outcome.backup.path);
            QCOMPARE(copy.value("SELECT dbVersion FROM Info"), QStringLiteral("6"));
            QCOMPARE(copy.count("LocationConfigs"), 2);
            QCOMPARE(stages.mid(0, 3), (QStringList{"Copying the database", outcome.backup.message,
                                                    "Upgrading to version 7 (1 of 6)"}));
        }
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files), files);
        if (condition == "locked")
            QVERIFY2(stages.value(0).startsWith("Waiting for another upgrade of this database (process "),
                     qPrintable(stages.join('|')));
    }
};

QTEST_GUILESS_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
