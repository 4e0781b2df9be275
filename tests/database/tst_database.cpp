// The application database: the schema a new database gets, the same schema
// reached by upgrading databases written by hand at versions 1 and 6, every
// statement the upgrade runs on SQL Server, the upgrade around its steps, and
// the record classes through real rows.
#include "databasetest.h"
#include "recordaccess.h"
#include "tdeviceconfig.h"
#include "tdeviceemailconfig.h"
#include "tdevicestate.h"
#include "tlocationconfig.h"
#include "tnotificationconfig.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlResult>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace Veltrix::Database;
using namespace DatabaseTest;

Q_DECLARE_METATYPE(eUpgradeStop)

namespace {

// Stands in for the ODBC driver: records every statement and transaction and
// answers each statement with success and no rows.
QStringList g_statements;

bool note(const QString &text)
{
    g_statements << text;
    return true;
}

class RecordingResult : public QSqlResult
{
public:
    explicit RecordingResult(const QSqlDriver *driver) : QSqlResult(driver) {}

protected:
    bool reset(const QString &sql) override { return note(sql); }
    QVariant data(int) override { return {}; }
    bool isNull(int) override { return true; }
    bool fetch(int) override { return false; }
    bool fetchFirst() override { return false; }
    bool fetchLast() override { return false; }
    int size() override { return 0; }
    int numRowsAffected() override { return 0; }
};

class RecordingDriver : public QSqlDriver
{
public:
    bool hasFeature(DriverFeature feature) const override { return feature == Transactions; }
    bool open(const QString &, const QString &, const QString &, const QString &, int,
              const QString &) override
    {
        setOpen(true);
        return true;
    }
    void close() override { setOpen(false); }
    QSqlResult *createResult() const override { return new RecordingResult(this); }
    bool beginTransaction() override { return note("-- begin"); }
    bool commitTransaction() override { return note("-- commit"); }
    bool rollbackTransaction() override { return note("-- rollback"); }
};

// Each table of a file as one line: name | columns with type, NOT NULL and
// default | key | foreign keys with their actions | indexes (UNIQUE: a
// column's own) | AUTOINCREMENT or the CHECK clause, which no pragma shows.
QStringList tables(const RawDb &raw)
{
    return raw.rows(
        "SELECT name, (SELECT group_concat(name || ' ' || type || CASE WHEN \"notnull\" THEN ' NOT NULL' "
        "ELSE '' END || ifnull(' DEFAULT ' || dflt_value, ''), ', ') FROM pragma_table_info(m.name)), "
        "(SELECT group_concat(name, ', ') FROM (SELECT name FROM pragma_table_info(m.name) WHERE pk ORDER "
        "BY pk)), ifnull((SELECT group_concat(k, ', ') FROM (SELECT \"from\" || ' > ' || \"table\" || '.' "
        "|| \"to\" || ' ' || on_delete || ' ' || on_update AS k FROM pragma_foreign_key_list(m.name) ORDER "
        "BY 1)), ''), ifnull((SELECT group_concat(i, ', ') FROM (SELECT CASE origin WHEN 'c' THEN name ELSE "
        "'UNIQUE' END || ' (' || (SELECT group_concat(name, ', ') FROM pragma_index_info(l.name)) || ')' AS "
        "i FROM pragma_index_list(m.name) l WHERE origin != 'pk' ORDER BY 1)), ''), CASE WHEN sql LIKE "
        "'%AUTOINCREMENT%' THEN 'AUTOINCREMENT' ELSE ifnull(substr(sql, nullif(instr(sql, 'CHECK'), 0), "
        "18), '') END FROM sqlite_master m WHERE type = 'table' AND name NOT LIKE 'sqlite%' ORDER BY 1");
}

// Runs CreateOrUpgrade(); the versions whose steps it reported, in order.
QList<int> upgrade(TVXDatabase &db, TORVSQLResult &result)
{
    QList<int> steps;
    db.SetProgressObserver([&](const TVXUpgradeProgress &progress) { steps << progress.toVersion; });
    result = db.CreateOrUpgrade();
    db.SetProgressObserver({});
    return steps;
}

const QString infoRow =
    "SELECT InfoID, dbVersion, errorMessage, restrictUtility, dbSoftwareMinimum, ServerState FROM Info";

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_fresh; // built from an empty file
    int m_fileNo = 0;

    // The hand-written version-6 database, upgraded to `version`, then changed by `sql`.
    QString databaseAt(int version, const QString &sql = QString())
    {
        const QString path = m_dir.filePath(QStringLiteral("db%1/vxs.db").arg(++m_fileNo));
        if (!QDir().mkpath(QFileInfo(path).path()) || !runScript(path, "v6.sql") ||
            !TVXDatabase(sqliteRecord(path)).UpgradeTo(version).ok ||
            (!sql.isEmpty() && !RawDb(path).exec(sql)))
            qFatal("cannot build version %d with %s", version, qPrintable(sql));
        return path;
    }

private slots:
    void initTestCase()
    {
        m_fresh = m_dir.filePath("fresh.db");
        QVERIFY(QFile(m_fresh).open(QIODevice::WriteOnly));
        TVXDatabase db(sqliteRecord(m_fresh));
        TORVSQLResult result;
        QCOMPARE(upgrade(db, result), (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
        QVERIFY2(result.ok, qPrintable(result.error));
        // Local time as the program sees it (SQLite's own can differ on Windows).
        QCOMPARE(RawDb(m_fresh).value(infoRow + " WHERE abs(strftime('%s', heartbeat) - strftime('%s', '" +
                                      QDateTime::currentDateTime().toString(Qt::ISODate) + "')) < 600"),
                 QStringLiteral("1|12|NULL|0|5|NULL"));
    }

    // The tables of data/v12-tables.txt and no other.
    void freshTables()
    {
        QStringList expected = dataFile("v12-tables.txt").split('\n').filter(QRegularExpression("^\\w"));
        expected.sort();
        QCOMPARE(tables(RawDb(m_fresh)), expected);
    }

    void upgradedFixture_data()
    {
        QTest::addColumn<int>("from");
        QTest::newRow("version 1") << 1;
        QTest::newRow("version 6") << 6;
    }
    // A database written by hand at an old version upgrades into the schema a
    // new one gets, and keeps its rows.
    void upgradedFixture()
    {
        QFETCH(int, from);
        const QString path = m_dir.filePath(QStringLiteral("v%1.db").arg(from));
        QVERIFY(runScript(path, QStringLiteral("v%1.sql").arg(from)));
        TVXDatabase db(sqliteRecord(path));
        QVERIFY(db.DbVersion() == from && db.NeedsUpgrade());
        QCOMPARE(db.DbSoftwareMinimum(), from < 5 ? -1 : 5); // the column comes with version 5
        TORVSQLResult result;
        QCOMPARE(upgrade(db, result), (from == 1 ? QList<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}
                                                 : QList<int>{7, 8, 9, 10, 11, 12}));
        QVERIFY2(result.ok, qPrintable(result.error + " / " + result.query));
        const RawDb raw(path);
        QCOMPARE(tables(raw), tables(RawDb(m_fresh)));
        // Each location keeps its e-mail configuration, moved out of
        // LocationConfigs at version 7; older rows read the defaults of the
        // columns added after them, the machine's zone and UTC offset included.
        QCOMPARE(
            raw.rows(infoRow) + raw.rows("SELECT LocationID, EmailConfigID, Timezone FROM Location") +
                raw.rows(
                    "SELECT DeviceLogsID, offsetFromUTC, hex(data) FROM DeviceLogs LEFT JOIN DeviceImages "
                    "USING (DeviceLogsID)") +
                raw.rows(
                    "SELECT DevicesID, State, LocationID, Disabled FROM Devices JOIN DeviceConfigs USING "
                    "(DevicesID)") +
                raw.rows("SELECT count(*) FROM EventLog, EmailConfig") + raw.rows("PRAGMA foreign_key_check"),
            (QStringList{"1|12|NULL|0|5|NULL", "1|7|Australia/Brisbane", "2|NULL|Australia/Brisbane",
                         "10|36000|FFD8FFE0", "11|36000|", "1|0|1|0", "2|0|2|0", "1"}));
    }

    // Every statement that building and upgrading a database runs on SQL
    // Server, against data/mssql-schema.sql. To take a deliberate change, run
    // the test with VX_UPDATE_GOLDEN=1 and copy the file it names into data/.
    void sqlServerStatements()
    {
        QSqlDatabase::registerSqlDriver("QODBC", new QSqlDriverCreator<RecordingDriver>);
        TORVSQLSettings server = sqliteRecord("Veltrix");
        server.type = TORVSQLSettings::MSSqlServer;
        TVXDatabase db(server);
        g_statements.clear();
        db.CreateOrUpgrade(); // no version ever reads back, so every step runs and the last check fails
        QString text = g_statements.filter(QRegularExpression("^(?!SELECT )")).join('\n') + '\n';
        text.replace(QRegularExpression("'\\d{4}-\\d\\d-\\d\\dT[^']*'"), "'<now>'");
        if (qEnvironmentVariableIsSet("VX_UPDATE_GOLDEN")) {
            QFile out(QCoreApplication::applicationDirPath() + "/mssql-schema.sql");
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(text.toUtf8()) == text.toUtf8().size());
            qInfo("cp %s %s/tests/database/data/", qPrintable(out.fileName()),
                  qPrintable(qgetenv("VX_SOURCE_DIR")));
        }
        QCOMPARE(text.split('\n'), dataFile("mssql-schema.sql").split('\n'));
    }

    // The second operation of step 9 meets a column that is already there.
    void failingStepLeavesThePreviousVersion()
    {
        const QString path = databaseAt(8, "ALTER TABLE DeviceConfigs ADD Disabled BOOLEAN");
        TVXDatabase db(sqliteRecord(path));
        TORVSQLResult result;
        QCOMPARE(upgrade(db, result), QList<int>{9});
        QVERIFY2(!result.ok && result.error.contains("duplicate column"), qPrintable(result.error));
        QVERIFY2(result.query.contains("ALTER TABLE DeviceConfigs ADD Disabled"), qPrintable(result.query));
        // The step's first column went with the rollback; later steps never ran.
        QCOMPARE(
            RawDb(path).value("SELECT (SELECT dbVersion FROM Info) || (SELECT count(*) FROM Status) || "
                              "(SELECT count(*) FROM pragma_table_info('Devices') WHERE name = 'State')"),
            QStringLiteral("810"));
    }

    void verdict_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<bool>("unrestricted");
        QTest::addColumn<eUpgradeStop>("stop");
        const QString set = "UPDATE Info SET dbVersion = %1, dbSoftwareMinimum = %2, restrictUtility = %3";
        QTest::newRow("current") << set.arg(12).arg(5).arg(0) << 12 << 5 << true << eUpgradeStop::None;
        QTest::newRow("restricted") << set.arg(12).arg(5).arg(1) << 12 << 5 << false << eUpgradeStop::None;
        QTest::newRow("newer, accepts this software")
            << set.arg(13).arg(12).arg(0) << 13 << 12 << true << eUpgradeStop::None;
        QTest::newRow("newer, asks for a newer software")
            << set.arg(13).arg(13).arg(0) << 13 << 13 << true << eUpgradeStop::NotCompatible;
        QTest::newRow("current, asks for a newer software")
            << set.arg(12).arg(13).arg(0) << 12 << 13 << true << eUpgradeStop::NotCompatible;
        QTest::newRow("no Info row") << "DELETE FROM Info" << -1 << -1 << false << eUpgradeStop::Unreadable;
        QTest::newRow("no Info table") << "DROP TABLE Info" << -1 << -1 << false << eUpgradeStop::Unreadable;
        for (const char *version : {"'abc'", "6.7", "99999999999"})
            QTest::addRow("version %s", version)
                << set.arg(version).arg(5).arg(0) << -1 << 5 << true << eUpgradeStop::Unreadable;
    }
    // A database at 12 or newer, or one that cannot be judged, is left as it
    // was; the upgrade only reports the check or why it stopped.
    void verdict()
    {
        QFETCH(QString, change);
        QFETCH(int, version);
        QFETCH(int, minimum);
        QFETCH(bool, unrestricted);
        QFETCH(eUpgradeStop, stop);
        const QString path = databaseAt(12, change);
        const QByteArray before = readFile(path);
        TVXDatabase db(sqliteRecord(path));
        QVERIFY(db.DbVersion() == version && db.DbSoftwareMinimum() == minimum);
        QVERIFY(db.IsCurrentVersion() == (version == 12) && db.NeedsUpgrade() == (version < 12));
        QCOMPARE(db.IsUnrestricted(), unrestricted);
        const QString mismatch = "VX Database version mismatch. Expected version 12 but actual version is %1";
        const QString error = stop == eUpgradeStop::None ? QString() : mismatch.arg(version);
        QCOMPARE(db.CheckVersion().error, error);
        TORVSQLResult result;
        QCOMPARE(upgrade(db, result), version < 0 ? QList<int>{1} : QList<int>());
        // One that cannot be read is taken for an empty one, and building version 1 meets its tables.
        QVERIFY2(result.error.contains(version < 0 ? "already exists" : error), qPrintable(result.error));
        QCOMPARE(db.BackupAndUpgrade(true).stop, stop);
        db.Close();
        QVERIFY(readFile(path) == before &&
                QFileInfo(path).dir().entryList(QDir::Files) == QStringList{"vxs.db"});
    }

    void ensureConnection()
    {
        const QString path = databaseAt(12);
        TVXDatabase db(sqliteRecord(path));
        db.Close();
        QVERIFY(db.EnsureConnection().ok && db.IsOpen());
        // Reopened with the database's rules: a device takes its config along,
        // and an e-mail config that a location uses stays.
        QVERIFY(db.Sql()->exec("DELETE FROM Devices WHERE DevicesID = 2").ok);
        QVERIFY(!db.Sql()->exec("DELETE FROM EmailConfig").ok);
        QCOMPARE(RawDb(path).value("SELECT group_concat(DevicesID) FROM DeviceConfigs"), QStringLiteral("1"));
#ifndef Q_OS_WIN // which refuses to delete a file SQLite holds open
        // The file disappears under the open connection: no empty file in its place.
        QVERIFY(QFile::remove(path));
        QVERIFY(
            db.EnsureConnection().error.startsWith("Lost Connection, failed to reopen: The database file no "
                                                   "longer exists") &&
            !QFileInfo::exists(path));
#endif
        // Never opened: the folder is missing, and stays so.
        TVXDatabase lost(sqliteRecord(m_dir.filePath("no/such/folder/vxs.db")));
        QVERIFY(!lost.IsOpen() && lost.EnsureConnection().error.startsWith("Failed to open: "));
        QVERIFY(!QFileInfo::exists(m_dir.filePath("no")) &&
                !TVXDatabase(TORVSQLSettings()).CreateOrUpgrade().ok);
    }

#ifdef Q_OS_UNIX
    // No room for the copy: nothing changed, nothing left behind.
    void diskFullDuringTheCopy()
    {
        const QString path = databaseAt(6);
        TVXDatabase db(sqliteRecord(path));
        rlimit unlimited{};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        rlimit full = unlimited;
        full.rlim_cur = QFileInfo(path).size() / 2; // writes beyond fail as on a full disk
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &full);
        const TVXUpgradeOutcome outcome = db.BackupAndUpgrade(true);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QVERIFY2(outcome.stop == eUpgradeStop::NoCopy &&
                     outcome.result.error.startsWith("No copy of the database could be written"),
                 qPrintable(outcome.result.error));
        QVERIFY(db.DbVersion() == 6 && QFileInfo(path).dir().entryList(QDir::Files) == QStringList{"vxs.db"});
    }
#endif

    // A run killed while it took the lock left it without a holder: the next run takes it over.
    void lockOfARunKilledWhileTakingIt()
    {
        const QString path = databaseAt(6);
        QFile lock(path + ".upgrade.lock");
        QVERIFY(lock.open(QIODevice::WriteOnly) && lock.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                                                    QFileDevice::FileModificationTime));
        lock.close();
        TVXDatabase db(sqliteRecord(path));
        QCOMPARE(db.BackupAndUpgrade(false, 2000).stop, eUpgradeStop::None);
        QVERIFY(db.DbVersion() == 12 && !QFileInfo::exists(lock.fileName()));
    }

    // Plain decimal notation that reads back as the number written, in both
    // records; exponent form only where the plain one would not fit the
    // column, and in limits that older versions stored.
    void resultLimit()
    {
        for (const QString &text : QStringList{"0.05", "1234", "50000", "0.123456", "0", "1e+12"}) {
            TDeviceEmailConfig email;
            TNotificationConfig notification;
            email.setResultLimit(text.toDouble());
            notification.setResultLimit(text.toDouble());
            QCOMPARE(email.toMap().value("resultLimit") + ' ' + notification.toMap().value("resultlimit"),
                     text + ' ' + text);
        }
        TDeviceEmailConfig older; // as older versions stored it
        older.fromMap({{"resultlimit", "1.23e+03"}});
        QCOMPARE(older.resultLimit(), 1230.0);
    }

    // Every record stored from a row of values with quotes and non-ASCII
    // letters and read back: its row holds those values, every SQL text it
    // builds finds the row (the location, e-mail and notification rows through
    // the configuration of a device whose serial has leading zeros), and it is
    // written back unchanged, also with NULL keys and texts and with a zone
    // this machine does not know, or none.
    void storedRecords()
    {
        const QString path = m_dir.filePath("records.db");
        QVERIFY(QFile::copy(m_fresh, path));
        const RawDb raw(path);
        TVXDatabase db(sqliteRecord(path));
        TDeviceState device;
        TDeviceEmailConfig email;
        TNotificationConfig notification;
        TLocationConfig location;
        TDeviceConfig config;
        const QList<TItemBase *> records{&device, &email, &notification, &location, &config};
        const QStringList values =
            QStringLiteral(
                "'00000007' AS serial, '2026-03-04T05:06:07' AS lastUpdated, 3 AS state, 1 AS connected|%1 "
                "AS Name, "
                "'a@b.example,c@d.example' AS toAddresses, '0400111222@sms.example' AS SMSAddress, 'Result "
                "''high''' "
                "AS subject, 'Über' AS message, '0.08' AS resultLimit|%1 AS name, "
                "'https://h.example/?x=''1''' AS url, "
                "'POST' AS method, 'Accept: application/json,X-Token: abc' AS headers, '{\"r\": 1}' AS "
                "message, "
                "'0.05' AS resultLimit|%1 AS name, 1 AS EmailConfigID, 'Asia/Kolkata' AS Timezone|1 AS "
                "DevicesID, 1 AS "
                "LocationID, %1 AS DeviceName, 1 AS EmailConfigID, 'host-1' AS HostName, 1 AS Disabled")
                .arg(sqlTextLiteral("O'Brien's \"Café\" – Zürich"))
                .split('|');
        for (int i = 0; i < records.size(); ++i) {
            const TItemMap given = selectRows(db.Sql(), "SELECT " + values.at(i)).value(0);
            QVERIFY(records[i]->fromMap(given));
            QCOMPARE(saveInTransaction(db.Sql(), *records[i], records[i] == &config), QString());
            records[i]->setId(1); // the first row of its table
            const TItemMap row = selectRows(db.Sql(), "SELECT * FROM " + records[i]->tableName()).value(0);
            for (auto it = given.cbegin(); it != given.cend(); ++it)
                QCOMPARE(row.value(it.key()), it.value());
        }
        QVERIFY(raw.exec("UPDATE DeviceConfigs SET NotificationConfigID = 1")); // no editor sets it
        QVERIFY(device.state() == 3 && device.lastUpdated() == QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)));
        QVERIFY(email.toAddresses().size() == 2 && notification.headers().size() == 2 &&
                location.timeZone() == QTimeZone("Asia/Kolkata"));
        for (TItemBase *record : records) {
            const TItemMap stored = record->toMap();
            QCOMPARE(selectKeyNames(db.Sql(), *record), QList<TKeyName>{TKeyName(1, record->name())});
            for (const QString &select : {record->selectByIdSql(1), record->selectAllSql(),
                                          record->selectByNameSql(sqlTextLiteral(record->name())),
                                          record->selectByDeviceSql("'00000007'")}) {
                const QList<TItemMap> rows = selectRows(db.Sql(), select);
                QVERIFY2(rows.size() == 1 && record->fromMap(rows.first()) && record->toMap() == stored,
                         qPrintable(select));
            }
        }
        for (const char *change :
             {"", "UPDATE DeviceConfigs SET LocationID = NULL, EmailConfigID = NULL, HostName = NULL",
              "UPDATE Location SET Timezone = 'Mars/Olympus_Mons'", "UPDATE Location SET Timezone = NULL"}) {
            QVERIFY(!*change || raw.exec(change));
            for (TItemBase *record : records) {
                const QStringList before = raw.rows("SELECT * FROM " + record->tableName());
                QVERIFY(selectRecordById(db.Sql(), 1, *record));
                QCOMPARE(saveInTransaction(db.Sql(), *record, record == &config), QString());
                QCOMPARE(raw.rows("SELECT * FROM " + record->tableName()), before);
            }
        }
        QVERIFY(!location.timeZone().isValid());
        for (int state : {0, 6, 7, 1, 3, 5, 8, 9, 1000, -1}) // not connected in the states 0, 6 and 7
            QCOMPARE(TDeviceState(device.name(), QDateTime(), state).toMap().value("connected"),
                     QString::number(int(state != 0 && state != 6 && state != 7)));
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
