// The generic handle on SQLite files beyond what tests/database uses: failures,
// save's edges, failing transactions, the connection's life, threads, locks.
#include "sqliterecord.h"
#include "torvsqldialects.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlDriver>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <thread>

class TestSQLite : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath("test.db");

    // An open handle on test.db after the statements, each of which must run.
    std::unique_ptr<TORVSQLite> openDatabase(const QStringList &statements = {})
    {
        auto db = std::make_unique<TORVSQLite>(sqliteRecord(m_path));
        bool ok = db->open().ok;
        for (const QString &sql : statements)
            ok = ok && db->exec(sql).ok;
        if (!ok)
            qFatal("cannot open %s and run %s", qPrintable(m_path), qPrintable(statements.join(' ')));
        return db;
    }
    // The values of the column r of `sql`, joined with ",".
    static QString rows(TORVSQLBase &db, const QString &sql)
    {
        return db.selectFirst("SELECT group_concat(r) FROM (" + sql + ")").record.value(0).toString();
    }

private slots:
    // Qt's warnings (a connection removed in use, used on a wrong thread, a
    // query while closed) end the test: it runs with QT_FATAL_WARNINGS.
    void cleanup() { QFile::remove(m_path); }

    void statementsSaveAndTables()
    {
        auto db = openDatabase({"CREATE TABLE k (name TEXT PRIMARY KEY, v TEXT);",
                                "INSERT INTO k VALUES ('a', 'b');", "CREATE TABLE a (x INTEGER);",
                                "INSERT INTO a VALUES (5);"});
        // A refused statement reports the driver's reason and the SQL, also with bound values.
        const TORVSQLResult failed = db->selectFirst("SELECT nope FROM missing WHERE id = ?;", {1});
        QVERIFY2(!failed.ok && !failed.value && failed.error.contains("no such table") &&
                     failed.query.startsWith("SELECT nope FROM missing WHERE id = "),
                 qPrintable(failed.error + failed.query));
        // No row: the field names, lower-cased, without values.
        const TORVSQLResult none = db->selectFirst("SELECT name, V FROM k WHERE name = ?;", {"x"});
        QVERIFY(none.ok && !none.value &&
                TORVSQLBase::recordToMap(none.record) == TORVSQLRowMap({{"name", ""}, {"v", ""}}));
        QSqlQuery select = db->prepare("SELECT name FROM k;"); // counting keeps the position
        QVERIFY(db->runFirst(select).value && db->rowCount(select) == 1 && select.at() == 0);
        // save: nothing for nothing, a key with a quote found and updated, an empty text stored as NULL.
        QVERIFY(!db->save("k", {}, "name", "a", true).ok &&
                db->save("k", {{"v", "1"}}, "name", "O'Brien", true).value);
        QVERIFY(db->save("k", {{"v", ""}}, "name", "O'Brien", true).value);
        QCOMPARE(rows(*db, "SELECT name || '=' || ifnull(v, 'NULL') AS r FROM k"),
                 QStringLiteral("a=b,O'Brien=NULL"));
        QVERIFY(!db->recordExists("k", "name", "x' OR '1'='1").value);
        QVERIFY(db->save("missing", {{"a", "1"}}, "id", "1", true).error.contains("no such table"));
        QVERIFY(db->copyTable("a", "b").value && db->renameColumn("b", "x", "y").value);
        // Existing rows read a new column's default without being rewritten.
        const QString changes = rows(*db, "SELECT total_changes() AS r");
        QVERIFY(db->addColumn("b", TORVSQLColumn("rate", TORVSQLDataType::Real, {}, 0, "0.05")).value);
        QCOMPARE(rows(*db, "SELECT total_changes() AS r") + rows(*db, "SELECT y || rate AS r FROM b"),
                 changes + "50.05");
        QCOMPARE(db->addColumn("b", TORVSQLColumn("v", TORVSQLDataType::Varchar)).error, "Invalid column: v");
    }

    void failingTransactions()
    {
        auto db =
            openDatabase({"CREATE TABLE p (id INTEGER PRIMARY KEY);",
                          "CREATE TABLE d (p INTEGER REFERENCES p (id) DEFERRABLE INITIALLY DEFERRED);"});
        // When the rollback fails as well (none is open), its text follows the first one.
        const TORVSQLResult both = db->endTransaction(TORVSQLResult::failure("write failed", "X"));
        QVERIFY2(both.error.startsWith("write failed\nFailed to roll back") && both.query == "X",
                 qPrintable(both.error));
        QVERIFY(db->commitTransaction().error.startsWith("Failed to commit transaction: "));
        // A commit that fails (deferred foreign key) is rolled back and leaves no transaction open.
        QVERIFY(db->beginTransaction().value && db->endTransaction(db->exec("INSERT INTO d VALUES (9);"))
                                                    .error.startsWith("Failed to commit transaction: "));
        QVERIFY(rows(*db, "SELECT count(*) AS r FROM d") == "0" && db->beginTransaction().ok &&
                db->commitTransaction().ok);
    }

    void connection()
    {
        auto db = openDatabase();
        db->close();
        const TORVSQLResult lost = db->checkConnection();
        QVERIFY(!lost.ok && lost.query.isEmpty() && lost.error == "Database Connection is inactive");
        QSqlQuery query = db->prepare("SELECT 1");
        QVERIFY(!db->exec("SELECT 1").ok && !db->run(query).ok);                      // and no Qt warning
        QVERIFY(db->open().value && db->open().value && db->checkConnection().value); // already open
        TORVSQLDummy dummy(TORVSQLSettings{});
        QVERIFY(dummy.open().error == "No database selected" && !dummy.beginTransaction().ok);
        QCOMPARE(dummy.setForeignKeys(true).error, "Base class function does nothing");
        TORVSQLite noName(sqliteRecord(QString()));
        QVERIFY(noName.open().error == "Database name cannot be empty" &&
                noName.applySettings(sqliteRecord(m_path)).ok && noName.open().value);
        // The driver's whole text, de-duplicated but not cut.
        TORVSQLite missing(sqliteRecord(m_dir.filePath("no/such/folder/x.db")));
        const QString error = missing.open().error;
        QVERIFY2(error.contains("unable to open database file") && error.endsWith("Error opening database") &&
                     missing.reopen().error == error,
                 qPrintable(error));
        // One message written twice, with or without a blank between, is kept once.
        QCOMPARE(TORVSQLResult::driverFailure("disk I/O errordisk I/O error").error + '|' +
                     TORVSQLResult::driverFailure("locked locked").error + '|' +
                     TORVSQLResult::deduplicate("aa"),
                 "disk I/O error|locked |a");
    }

    // Every handle removes its own Qt connection, also when given a new record.
    void connectionsAreNotLeaked()
    {
        const QStringList before = QSqlDatabase::connectionNames();
        for (int i = 0; i < 3000; ++i) {
            TORVSQLite db(sqliteRecord(m_path));
            if (i % 10 == 0) // opened and left with a query result alive until destruction
                QVERIFY(db.open().ok && db.selectFirst("SELECT 1").value);
            if (i % 100 == 0)
                QVERIFY(db.applySettings(sqliteRecord(m_path)).ok);
            QCOMPARE(QSqlDatabase::connectionNames().size(), before.size() + 1);
        }
        QCOMPARE(QSqlDatabase::connectionNames(), before);
    }

    // Opened on a worker and used on this thread, as by the database manager:
    // Qt hands a named connection only to the thread its driver lives in.
    void connectionHandedOverFromAWorker()
    {
        std::unique_ptr<TORVSQLite> db;
        std::thread([&, gui = QThread::currentThread()] {
            db = openDatabase({"CREATE TABLE t (v TEXT);"});
            db->moveConnectionToThread(gui);
        }).join();
        QCOMPARE(QSqlDatabase::database(db->qtConnectionName(), false).driver()->thread(),
                 QThread::currentThread());
        QVERIFY(db->exec("INSERT INTO t VALUES ('gui');").ok);
    }

    // A file another program holds: the begin fails after the busy timeout and leaves nothing open.
    void lockedDatabaseFailsAfterBusyTimeout()
    {
        auto service = openDatabase({"CREATE TABLE t (v INTEGER);", "BEGIN EXCLUSIVE;"});
        auto db = openDatabase();
        QElapsedTimer timer;
        timer.start();
        const QString error = db->beginTransaction().error;
        QVERIFY2(error.startsWith("Failed to begin transaction: ") && error.contains("locked"),
                 qPrintable(error));
        QVERIFY(timer.elapsed() >= 4000 && timer.elapsed() < 15000);
        QVERIFY(service->exec("ROLLBACK;").ok && db->beginTransaction().ok);
        QVERIFY(db->endTransaction(db->exec("INSERT INTO t VALUES (2);")).ok &&
                rows(*service, "SELECT v AS r FROM t") == "2");
    }
};

QTEST_GUILESS_MAIN(TestSQLite)
#include "tst_torvsqlite.moc"
