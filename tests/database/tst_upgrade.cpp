#include "schematestdb.h"
#include "tvxdatabase.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

using namespace Veltrix::Database;
using namespace SchemaTest;

namespace {

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_fileNo = 0;

    QString newPath() { return m_dir.filePath(QStringLiteral("db%1/vxs.db").arg(++m_fileNo)); }

    // A database at `version`, built by the steps themselves, with two row
    // sets written at version 1.
    QString buildAt(int version, QList<RowSet> *sets = nullptr)
    {
        const QString path = newPath();
        QDir().mkpath(QFileInfo(path).path());
        TVXDatabase db(sqliteSettings(path));
        const TORVSQLResult built = db.UpgradeTo(1);
        if (!built.ok)
            qFatal("build: %s", qPrintable(built.error));
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
        for (int v = 1; v < SoftwareLibraryVersion; ++v)
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
        QList<int> stepsRun;
        db.SetStepObserver([&](int to) { stepsRun << to; });
        const TORVSQLResult result = db.CreateOrUpgrade();
        QVERIFY2(result.ok, qPrintable(result.error + " / " + result.query));
        QVERIFY(result.value);

        QList<int> expectedSteps;
        for (int v = from + 1; v <= SoftwareLibraryVersion; ++v)
            expectedSteps << v;
        QCOMPARE(stepsRun, expectedSteps);
        QCOMPARE(db.DbVersion(), 12);
        QCOMPARE(db.DbSoftwareMinimum(), 5);
        QVERIFY(db.IsUnrestricted());
        QCOMPARE(db.Sql()->selectFirst(QStringLiteral("PRAGMA foreign_keys")).record.value(0).toInt(), 1);

        RawDb raw(path);
        verifyVersion12Schema(raw, QStringLiteral("36000"), QStringLiteral("'Australia/Brisbane'"));
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(keptCounts(raw, 12), before);

        // Each location kept its e-mail configuration; the others have none.
        for (const RowSet &set : sets) {
            QCOMPARE(raw.value(QStringLiteral("SELECT EmailConfigID FROM Location WHERE LocationID = %1")
                                   .arg(set.location)),
                     QString::number(set.email));
            QCOMPARE(raw.value(QStringLiteral("SELECT EmailConfigID FROM Location WHERE LocationID = %1")
                                   .arg(set.locationNoMail)),
                     QStringLiteral("NULL"));
        }
        // Old rows carry the defaults of the columns added after them.
        QCOMPARE(raw.rows(QStringLiteral("SELECT DISTINCT offsetFromUTC FROM DeviceLogs")),
                 QStringList{"36000"});
        QCOMPARE(raw.rows(QStringLiteral("SELECT DISTINCT Timezone FROM Location")),
                 QStringList{"Australia/Brisbane"});
        QCOMPARE(raw.rows(QStringLiteral("SELECT DISTINCT syncing || ',' || State FROM Devices")),
                 QStringList{"0,0"});
        QCOMPARE(raw.rows(QStringLiteral("SELECT DISTINCT Disabled FROM DeviceConfigs")), QStringList{"0"});
        QCOMPARE(raw.rows(QStringLiteral("SELECT DISTINCT resultLimit FROM EmailConfig")),
                 QStringList{"0.05"});
        QCOMPARE(raw.count(QStringLiteral("DeviceLogs WHERE imageName1 IS NULL AND result = '0.00'")),
                 before.value(QStringLiteral("DeviceLogs")));
    }

    // The second operation of step 9 meets a column that is already there.
    void failingStepLeavesThePreviousVersion()
    {
        const QString path = buildAt(8);
        {
            RawDb raw(path);
            QVERIFY(raw.exec(QStringLiteral("ALTER TABLE DeviceConfigs ADD Disabled BOOLEAN")));
        }
        TVXDatabase db(sqliteSettings(path));
        QList<int> stepsRun;
        db.SetStepObserver([&](int to) { stepsRun << to; });
        const TORVSQLResult result = db.CreateOrUpgrade();
        QVERIFY(!result.ok);
        QVERIFY2(result.error.contains(QStringLiteral("duplicate column")), qPrintable(result.error));
        QVERIFY2(result.query.contains(QStringLiteral("ALTER TABLE DeviceConfigs ADD Disabled")),
                 qPrintable(result.query));
        QCOMPARE(stepsRun, QList<int>{9});
        QCOMPARE(db.DbVersion(), 8);
        QCOMPARE(db.Sql()->selectFirst(QStringLiteral("PRAGMA foreign_keys")).record.value(0).toInt(), 1);

        RawDb raw(path);
        // The step's first column went with the rollback; later steps never ran.
        QVERIFY(!raw.columns(QStringLiteral("Devices")).join(',').contains(QStringLiteral("State|")));
        QVERIFY(raw.tables().contains(QStringLiteral("Status")));
        QCOMPARE(raw.count(QStringLiteral("Devices")), 2);
        QCOMPARE(raw.value(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    }

    void currentDatabaseIsLeftUntouched()
    {
        const QString path = buildAt(12);
        const QByteArray hash = fileHash(path);
        TVXDatabase db(sqliteSettings(path));
        bool stepRan = false;
        db.SetStepObserver([&](int) { stepRan = true; });
        QVERIFY(db.CreateOrUpgrade().ok);
        QVERIFY(!stepRan);
        db.Close();
        QCOMPARE(fileHash(path), hash);
    }

    void versionRule_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<bool>("compatible");
        QTest::addColumn<bool>("needsUpgrade");
        QTest::addColumn<QString>("error");
        QTest::newRow("12/5") << 12 << 5 << true << false << QString();
        QTest::newRow("13/12") << 13 << 12 << true << false << QString();
        QTest::newRow("13/13")
            << 13 << 13 << false << false
            << "VX Database version mismatch. Expected version 12 but actual version is 13";
        QTest::newRow("12/13")
            << 12 << 13 << false << false
            << "VX Database version mismatch. Expected version 12 but actual version is 12";
    }
    void versionRule()
    {
        QFETCH(int, version);
        QFETCH(int, minimum);
        QFETCH(bool, compatible);
        QFETCH(bool, needsUpgrade);
        QFETCH(QString, error);
        const QString path = buildAt(12);
        {
            RawDb raw(path);
            QVERIFY(raw.exec(QStringLiteral("UPDATE Info SET dbVersion = %1, dbSoftwareMinimum = %2")
                                 .arg(version)
                                 .arg(minimum)));
        }
        const QByteArray hash = fileHash(path);
        TVXDatabase db(sqliteSettings(path));
        QCOMPARE(db.DbVersion(), version);
        QCOMPARE(db.DbSoftwareMinimum(), minimum);
        QCOMPARE(db.IsCurrentVersion(), version == 12);
        QCOMPARE(db.NeedsUpgrade(), needsUpgrade);
        const TORVSQLResult check = db.CheckVersion();
        QCOMPARE(check.ok, compatible);
        QCOMPARE(check.error, error);
        QVERIFY(check.query.isEmpty());
        // Nothing to run: the upgrade only reports the check.
        const TORVSQLResult upgrade = db.CreateOrUpgrade();
        QCOMPARE(upgrade.ok, compatible);
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
        QCOMPARE(db.DbSoftwareMinimum(), 5);
        TVXDatabase four(sqliteSettings(buildAt(4)));
        QCOMPARE(four.DbVersion(), 4);
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
    }
    void unreadableInfo()
    {
        QFETCH(QString, damage);
        QFETCH(int, minimum);
        QFETCH(bool, unrestricted);
        const QString path = buildAt(6);
        {
            RawDb raw(path);
            QVERIFY(raw.exec(damage));
        }
        const QByteArray hash = fileHash(path);
        TVXDatabase db(sqliteSettings(path));
        QCOMPARE(db.DbVersion(), -1);
        QCOMPARE(db.DbSoftwareMinimum(), minimum);
        QVERIFY(db.NeedsUpgrade());
        QCOMPARE(db.IsUnrestricted(), unrestricted);
        // Tries to build version 1 and meets the existing tables.
        const TORVSQLResult result = db.CreateOrUpgrade();
        QVERIFY(!result.ok);
        QVERIFY2(result.error.contains(QStringLiteral("already exists")), qPrintable(result.error));
        db.Close();
        QCOMPARE(fileHash(path), hash);
    }

    void restrictedDatabase()
    {
        const QString path = buildAt(12);
        {
            RawDb raw(path);
            QVERIFY(raw.exec(QStringLiteral("UPDATE Info SET restrictUtility = 1")));
        }
        TVXDatabase db(sqliteSettings(path));
        QVERIFY(!db.IsUnrestricted());
        QVERIFY(db.IsCurrentVersion());
        QVERIFY(db.CheckVersion().ok);
    }

    void emptyFileIsBuilt()
    {
        const QString path = newPath();
        QDir().mkpath(QFileInfo(path).path());
        QFile empty(path);
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        TVXDatabase db(sqliteSettings(path));
        QVERIFY(db.IsOpen());
        QCOMPARE(db.DbVersion(), -1);
        QVERIFY(!db.IsUnrestricted());
        QList<int> steps;
        db.SetStepObserver([&](int to) { steps << to; });
        QVERIFY(db.CreateOrUpgrade().ok);
        QCOMPARE(steps.size(), 12);
        QCOMPARE(db.DbVersion(), 12);
    }

    void ensureConnection()
    {
        const QString path = buildAt(12);
        TVXDatabase db(sqliteSettings(path));
        QVERIFY(db.EnsureConnection().ok);

        db.Close();
        QVERIFY(!db.IsOpen());
        QCOMPARE(db.DbVersion(), -1);
        QVERIFY(db.EnsureConnection().ok);
        QVERIFY(db.IsOpen());
        QCOMPARE(db.DbVersion(), 12);

        // The file disappears under the open connection: no empty file in its place.
        QVERIFY(QFile::remove(path));
        const TORVSQLResult gone = db.EnsureConnection();
        QVERIFY(!gone.ok);
        QVERIFY2(
            gone.error.startsWith(QStringLiteral("Lost Connection, failed to reopen: The database file no "
                                                 "longer exists")),
            qPrintable(gone.error));
        QVERIFY(!QFileInfo::exists(path));

        // Never opened: the folder is missing.
        TVXDatabase lost(sqliteSettings(m_dir.filePath(QStringLiteral("no/such/folder/vxs.db"))));
        QVERIFY(!lost.IsOpen());
        const TORVSQLResult result = lost.EnsureConnection();
        QVERIFY(!result.ok);
        QVERIFY2(result.error.startsWith(QStringLiteral("Failed to open: ")), qPrintable(result.error));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("no"))));

        TVXDatabase none{TORVSQLSettings()};
        QVERIFY(!none.IsOpen());
        QCOMPARE(none.DbVersion(), -1);
        QVERIFY(!none.CreateOrUpgrade().ok);
    }

    void unusableFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("text file") << "notes.txt"
                                   << QByteArray("Dear administrator,\nthis is not a database.\n")
                                   << "is not an SQLite database";
        QTest::newRow("short file") << "short.db" << QByteArray("SQLite") << "is not an SQLite database";
        QTest::newRow("missing folder")
            << "missing/vxs.db" << QByteArray() << "folder of the database file does not exist";
        QTest::newRow("folder") << "adir" << QByteArray() << "is a folder";
    }
    void unusableFiles()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString full = m_dir.filePath(QStringLiteral("unusable/") + path);
        QDir().mkpath(m_dir.filePath(QStringLiteral("unusable")));
        if (!content.isEmpty()) {
            QFile file(full);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        } else if (path == QLatin1String("adir")) {
            QVERIFY(QDir().mkpath(full));
        }

        TVXDatabase db(sqliteSettings(full));
        const TORVSQLResult connect = db.Connect(sqliteSettings(full));
        QVERIFY(!connect.ok);
        QVERIFY2(connect.error.contains(message), qPrintable(connect.error));
        QVERIFY(!db.CreateOrUpgrade().ok);
        QVERIFY(!db.BackupBeforeUpgrade().ok);
        if (!content.isEmpty()) {
            QFile file(full);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), content);
        }
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("unusable/missing"))));
    }

    void backup()
    {
        QList<RowSet> sets;
        const QString path = buildAt(6, &sets);
        TVXDatabase db(sqliteSettings(path));
        const TVXBackupOutcome first = db.BackupBeforeUpgrade();
        QVERIFY2(first.ok && first.copied, qPrintable(first.message));
        QVERIFY2(QRegularExpression(QStringLiteral("/vxs\\.db\\.v6-\\d{8}-\\d{6}(-\\d+)?\\.bak$"))
                     .match(first.path)
                     .hasMatch(),
                 qPrintable(first.path));
        QVERIFY(first.message.contains(QDir::toNativeSeparators(first.path)));
        const TVXBackupOutcome second = db.BackupBeforeUpgrade();
        QVERIFY(second.ok && second.copied);
        QVERIFY(second.path != first.path);
        {
            RawDb copy(first.path);
            RawDb original(path);
            QCOMPARE(copy.value(QStringLiteral("SELECT dbVersion FROM Info")), QStringLiteral("6"));
            QCOMPARE(keptCounts(copy, 6), keptCounts(original, 6));
            QCOMPARE(copy.count(QStringLiteral("LocationConfigs")), 2);
        }
        QVERIFY(db.CreateOrUpgrade().ok);
        const TVXBackupOutcome current = db.BackupBeforeUpgrade();
        QVERIFY(current.ok);
        QVERIFY(!current.copied);

        const QString fresh = newPath();
        QDir().mkpath(QFileInfo(fresh).path());
        TVXDatabase empty(sqliteSettings(fresh));
        const TVXBackupOutcome none = empty.BackupBeforeUpgrade();
        QVERIFY(none.ok);
        QVERIFY(!none.copied);
        QCOMPARE(QDir(QFileInfo(fresh).path()).entryList(QDir::Files), QStringList{"vxs.db"});
    }

    void sqlServerBackupIsNotPossibleHere()
    {
        TORVSQLSettings settings;
        settings.type = TORVSQLSettings::MSSqlServer;
        settings.connectionName = QStringLiteral("ms");
        settings.address = QStringLiteral("127.0.0.1");
        settings.port = 1;
        settings.databaseName = QStringLiteral("vxs");
        TVXDatabase db(settings);
        const TVXBackupOutcome outcome = db.BackupBeforeUpgrade();
        QVERIFY(outcome.ok);
        QVERIFY(!outcome.copied);
        QVERIFY2(outcome.message.contains(QStringLiteral("SQL Server")), qPrintable(outcome.message));
    }

    // Another program holds the database: the upgrade and the copy fail
    // cleanly, nothing changes, and the upgrade works once it lets go.
    void lockedByAnotherProcess()
    {
        const QString path = buildAt(6);
        const QByteArray hash = fileHash(path);

        QProcess holder;
        holder.start(QStringLiteral("sqlite3"), {path});
        QVERIFY(holder.waitForStarted());
        holder.write("BEGIN EXCLUSIVE;\nSELECT 'locked';\n");
        // Held once a write from here cannot even start.
        auto heldByOther = [&path]() {
            QSqlDatabase probe =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("probe"));
            probe.setDatabaseName(path);
            probe.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
            bool held = false;
            if (probe.open()) {
                QSqlQuery query(probe);
                held = !query.exec(QStringLiteral("SELECT count(*) FROM Info"));
            }
            probe = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("probe"));
            return held;
        };
        QTRY_VERIFY_WITH_TIMEOUT(heldByOther(), 10000);

        TVXDatabase db(sqliteSettings(path));
        const TVXBackupOutcome backup = db.BackupBeforeUpgrade();
        QVERIFY(!backup.ok);
        QVERIFY2(backup.message.contains(QStringLiteral("locked")), qPrintable(backup.message));
        const TORVSQLResult result = db.CreateOrUpgrade();
        QVERIFY(!result.ok);
        QVERIFY2(result.error.contains(QStringLiteral("locked")), qPrintable(result.error));

        holder.write("ROLLBACK;\n.quit\n");
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));
        QCOMPARE(fileHash(path), hash);
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files), QStringList{"vxs.db"});

        QCOMPARE(db.DbVersion(), 6);
        QVERIFY(db.CreateOrUpgrade().ok);
        QCOMPARE(db.DbVersion(), 12);
    }
};

QTEST_GUILESS_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
