// The generic handle on real SQLite files: statement and first-row rules,
// save, transactions, table operations, connection life cycle and locking.
#include "torvsqldialects.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <thread>

namespace {

// Qt warnings (a connection removed while in use, used from the wrong
// thread, a query on a closed connection) are faults here.
QStringList g_warnings;
QtMessageHandler g_previousHandler = nullptr;

void recordWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings << message;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

TORVSQLSettings sqliteRecord(const QString &path)
{
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::SQLite;
    settings.connectionName = "Test";
    settings.databaseName = path;
    return settings;
}

// Every value of the first column, NULL as "NULL".
QStringList column(TORVSQLBase &db, const QString &sql)
{
    QSqlQuery query = db.prepare(sql);
    if (!query.exec())
        return {"ERROR " + query.lastError().text()};
    QStringList values;
    while (query.next())
        values << (query.value(0).isNull() ? QStringLiteral("NULL") : query.value(0).toString());
    return values;
}

} // namespace

class TestSQLite : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath("test.db"); }

    std::unique_ptr<TORVSQLite> openDatabase()
    {
        auto db = std::make_unique<TORVSQLite>(sqliteRecord(path()));
        const TORVSQLResult opened = db->open();
        if (!opened.ok)
            qFatal("cannot open %s: %s", qPrintable(path()), qPrintable(opened.error));
        return db;
    }
    // Runs each statement, failing on the first that does not run.
    static bool run(TORVSQLBase &db, const QStringList &statements)
    {
        for (const QString &sql : statements)
            if (!db.exec(sql).ok)
                return false;
        return true;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        g_previousHandler = qInstallMessageHandler(recordWarnings);
    }
    void init() { g_warnings.clear(); }
    void cleanup()
    {
        QFile::remove(path());
        QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join('\n')));
    }

    void statementAndFirstRowRules()
    {
        auto db = openDatabase();
        QVERIFY(db->exec("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT);").value);
        QVERIFY(db->exec("INSERT INTO t (id, name) VALUES (?, ?);", {1, "one"}).ok);

        TORVSQLResult row = db->selectFirst("SELECT id, name FROM t WHERE id = ?;", {1});
        QVERIFY(row.ok && row.value);
        QCOMPARE(TORVSQLBase::recordToMap(row.record), (TORVSQLRowMap{{"id", "1"}, {"name", "one"}}));

        TORVSQLResult none = db->selectFirst("SELECT id, NAME FROM t WHERE id = ?;", {2});
        QVERIFY(none.ok && !none.value);
        QCOMPARE(TORVSQLBase::recordToMap(none.record).keys(), (QStringList{"id", "name"})); // no values

        // A refused statement reports the driver's reason and the SQL, also with bound values.
        TORVSQLResult failed = db->selectFirst("SELECT nope FROM missing WHERE id = ?;", {1});
        QVERIFY(!failed.ok && !failed.value);
        QVERIFY2(failed.error.contains("no such table"), qPrintable(failed.error));
        QVERIFY2(failed.query.startsWith("SELECT nope FROM missing WHERE id = "), qPrintable(failed.query));
        failed = db->exec("INSERT INTO t (id) VALUES (?);", {1}); // duplicate key
        QVERIFY2(!failed.ok && failed.error.contains("UNIQUE"), qPrintable(failed.error));
        QVERIFY2(failed.query.startsWith("INSERT INTO t (id) VALUES ("), qPrintable(failed.query));

        // prepare + bind + run/runFirst, as the record classes do
        QSqlQuery query = db->prepare("INSERT INTO t (id, name) VALUES (:id, :name);");
        query.bindValue(":id", 2);
        query.bindValue(":name", "two");
        QVERIFY(db->run(query).value);
        QSqlQuery select = db->prepare("SELECT name FROM t ORDER BY id;");
        const TORVSQLResult first = db->runFirst(select);
        QVERIFY(first.ok && first.value);
        QCOMPARE(first.record.value(0).toString(), QStringLiteral("one"));
        QCOMPARE(db->rowCount(select), 2);
        QCOMPARE(select.at(), 0); // counting keeps the position
        QSqlQuery empty = db->prepare("SELECT name FROM t WHERE id > 99;");
        QVERIFY(!db->runFirst(empty).value);
        QCOMPARE(db->rowCount(empty), 0);
    }

    void saveAndRecordExists()
    {
        auto db = openDatabase();
        QVERIFY(db->exec("CREATE TABLE d (id INTEGER PRIMARY KEY AUTOINCREMENT, a TEXT, b TEXT);").ok);
        QVERIFY(!db->save("d", {}, "id", "-1", false).ok);

        // insert without the key: the database numbers the row; quotes stored exactly; empty text is NULL
        const QString quoted = "it's \"x\"; DROP TABLE d; --'";
        const TORVSQLResult saved =
            db->save("d", {{"a", quoted}, {"b", ""}, {"id", "-1"}}, "id", "-1", false);
        QVERIFY2(saved.ok && saved.value, qPrintable(saved.error));
        // insert with the key, then update it: only the listed columns change
        QVERIFY(db->save("d", {{"a", "seven"}}, "id", "7", true).ok);
        QVERIFY(db->save("d", {{"a", ""}, {"b", "B"}}, "id", "7", true).ok);
        QCOMPARE(column(*db, "SELECT id || '|' || ifnull(a, 'NULL') || '|' || ifnull(b, 'NULL') FROM d;"),
                 (QStringList{"1|" + quoted + "|NULL", "7|NULL|B"}));

        // a key with a quote in a text-keyed table: found and updated
        QVERIFY(db->exec("CREATE TABLE k (name TEXT PRIMARY KEY, v TEXT);").ok);
        QVERIFY(db->save("k", {{"v", "1"}}, "name", "O'Brien", true).ok);
        QVERIFY(db->save("k", {{"v", "2"}}, "name", "O'Brien", true).ok);
        QCOMPARE(column(*db, "SELECT name || '=' || v FROM k;"), QStringList{"O'Brien=2"});

        QVERIFY(db->recordExists("k", "name", "O'Brien").value);
        TORVSQLResult found = db->recordExists("d", "id", "7");
        QVERIFY(found.ok && found.value);
        found = db->recordExists("k", "name", "x' OR '1'='1");
        QVERIFY(found.ok && !found.value);

        // a failing existence check is returned as it is
        const TORVSQLResult missing = db->save("missing", {{"a", "1"}}, "id", "1", true);
        QVERIFY(!missing.ok && missing.error.contains("no such table"));
    }

    void transactions()
    {
        auto db = openDatabase();
        QVERIFY(db->setForeignKeys(true).ok);
        QVERIFY(run(*db, {"CREATE TABLE p (id INTEGER PRIMARY KEY);",
                          "CREATE TABLE c (p INTEGER REFERENCES p (id) ON DELETE RESTRICT);",
                          "INSERT INTO p VALUES (1);", "INSERT INTO c VALUES (1);"}));
        QVERIFY(db->beginTransaction().value);
        QVERIFY(db->exec("INSERT INTO p VALUES (3);").ok);
        const TORVSQLResult nested = db->beginTransaction();
        QVERIFY2(!nested.ok && nested.error.startsWith("Failed to begin transaction: "),
                 qPrintable(nested.error));
        QVERIFY(db->rollbackTransaction().ok);
        QVERIFY(db->commitTransaction().error.startsWith("Failed to commit transaction: "));
        QCOMPARE(column(*db, "SELECT COUNT(*) FROM p;"), QStringList{"1"});

        QVERIFY(db->beginTransaction().ok);
        QVERIFY(db->endTransaction(db->exec("INSERT INTO p VALUES (2);")).value);
        QCOMPARE(column(*db, "SELECT COUNT(*) FROM p;"), QStringList{"2"});

        // a delete refused by the foreign key: rolled back, and the refusal is what comes back
        QVERIFY(db->beginTransaction().ok);
        QVERIFY(db->exec("DELETE FROM p WHERE id = 2;").ok);
        const TORVSQLResult refused = db->exec("DELETE FROM p WHERE id = 1;");
        const TORVSQLResult ended = db->endTransaction(refused);
        QVERIFY(!ended.ok && !ended.value);
        QCOMPARE(ended.error, refused.error);
        QVERIFY2(ended.error.contains("FOREIGN KEY"), qPrintable(ended.error));
        QCOMPARE(ended.query, QStringLiteral("DELETE FROM p WHERE id = 1;"));
        QCOMPARE(column(*db, "SELECT COUNT(*) FROM p;"), QStringList{"2"}); // row 2 is back

        // when the rollback fails as well (no transaction open), its text follows the original one
        const TORVSQLResult both = db->endTransaction(TORVSQLResult::failure("write failed", "X"));
        QVERIFY2(!both.ok && both.error.startsWith("write failed\n") && both.error.size() > 14,
                 qPrintable(both.error));
        QCOMPARE(both.query, QStringLiteral("X"));

        // a commit that fails (deferred foreign key) does not leave the transaction open
        QVERIFY(db->exec("CREATE TABLE d (p INTEGER REFERENCES p (id) DEFERRABLE INITIALLY DEFERRED);").ok);
        QVERIFY(db->beginTransaction().ok);
        const TORVSQLResult commit = db->endTransaction(db->exec("INSERT INTO d VALUES (99);"));
        QVERIFY(!commit.ok && commit.error.startsWith("Failed to commit transaction: "));
        QCOMPARE(column(*db, "SELECT COUNT(*) FROM d;"), QStringList{"0"});
        QVERIFY(db->beginTransaction().ok);
        QVERIFY(db->commitTransaction().ok);
    }

    void tableOperations()
    {
        auto db = openDatabase();
        QVERIFY(run(*db, {"CREATE TABLE a (x INTEGER); ", "INSERT INTO a VALUES (5);"}));
        QVERIFY(db->copyTable("a", "b").value);
        QVERIFY(db->renameTable("b", "c").value);
        QVERIFY(db->renameColumn("c", "x", "y").value);
        QCOMPARE(column(*db, "SELECT y FROM c;"), QStringList{"5"});
        QVERIFY(db->dropTable("c").value);
        QCOMPARE(db->dropTable("c").query, QStringLiteral("DROP TABLE c;"));

        // foreign keys switched off and on
        QVERIFY(run(*db, {"CREATE TABLE p (id INTEGER PRIMARY KEY);",
                          "CREATE TABLE r (p INTEGER REFERENCES p (id));"}));
        QVERIFY(db->setForeignKeys(false).value);
        QCOMPARE(column(*db, "PRAGMA foreign_keys;"), QStringList{"0"});
        QVERIFY(db->exec("INSERT INTO r VALUES (5);").ok);
        QVERIFY(db->setForeignKeys(true).value);
        QVERIFY(!db->exec("INSERT INTO r VALUES (6);").ok);
    }

    void addColumn()
    {
        auto db = openDatabase();
        QVERIFY(run(*db, {"CREATE TABLE loc (id INTEGER PRIMARY KEY);", "INSERT INTO loc VALUES (1);",
                          "CREATE TABLE t (id INTEGER);", "INSERT INTO t VALUES (0), (1), (2);"}));
        QVERIFY(db->addColumn("t", TORVSQLColumn("plain", TORVSQLDataType::Text)).value);
        QCOMPARE(column(*db, "SELECT plain FROM t;"), (QStringList{"NULL", "NULL", "NULL"}));

        // existing rows read the default, and no row was rewritten to get it
        const QString before = column(*db, "SELECT total_changes();").value(0);
        QVERIFY(db->addColumn("t", TORVSQLColumn("rate", TORVSQLDataType::Real, {}, 0, "0.05")).value);
        QCOMPARE(column(*db, "SELECT total_changes();").value(0), before);
        QCOMPARE(column(*db, "SELECT rate FROM t;"), (QStringList{"0.05", "0.05", "0.05"}));

        QVERIFY(db->setForeignKeys(true).ok);
        const TORVSQLResult withKey =
            db->addColumn("t", TORVSQLColumn("loc", TORVSQLDataType::Integer),
                          TORVSQLForeignKey("loc", "loc", "id", TORVSQLForeignKeyAction::SetNull,
                                            TORVSQLForeignKeyAction::Cascade));
        QVERIFY2(withKey.ok, qPrintable(withKey.error));
        QVERIFY(db->exec("UPDATE t SET loc = 1;").ok);
        QVERIFY(!db->exec("UPDATE t SET loc = 2;").ok); // no such location
        QVERIFY(db->exec("DELETE FROM loc;").ok);
        QCOMPARE(column(*db, "SELECT loc FROM t;"), (QStringList{"NULL", "NULL", "NULL"}));

        QCOMPARE(db->addColumn("t", TORVSQLColumn("v", TORVSQLDataType::Varchar)).error,
                 QStringLiteral("Invalid column: v"));
    }

    void checkConnection()
    {
        auto db = openDatabase();
        QVERIFY(db->checkConnection().value);
        db->close();
        TORVSQLResult lost = db->checkConnection();
        QVERIFY(!lost.ok && lost.query.isEmpty());
        QCOMPARE(lost.error, QStringLiteral("Database Connection is inactive"));
        QVERIFY(!db->exec("SELECT 1").ok); // no Qt warning either
        QSqlQuery query = db->prepare("SELECT 1");
        QVERIFY(!db->run(query).ok);

        QVERIFY(db->open().value);
        QVERIFY(db->open().value); // already open
        QVERIFY(QFile::remove(path()));
        QCOMPARE(db->checkConnection().error, QStringLiteral("Database Connection is inactive"));
    }

    void applySettingsAndOpenErrors()
    {
        TORVSQLSettings unknown = sqliteRecord(path());
        unknown.type = TORVSQLSettings::Unknown;
        TORVSQLDummy dummy(unknown);
        QCOMPARE(dummy.applySettings(unknown).error, QStringLiteral("No database selected"));
        QCOMPARE(dummy.open().error, QStringLiteral("No database selected"));
        QCOMPARE(dummy.setForeignKeys(true).error, QStringLiteral("Base class function does nothing"));
        QVERIFY(!dummy.beginTransaction().ok);

        TORVSQLite noName(sqliteRecord(QString()));
        QCOMPARE(noName.applySettings(sqliteRecord(QString())).error,
                 QStringLiteral("Database name cannot be empty"));
        QVERIFY(!noName.open().ok);
        QVERIFY(noName.applySettings(sqliteRecord(path())).value);
        QVERIFY(noName.open().value);

        // the driver's whole text, de-duplicated but not cut
        TORVSQLite db(sqliteRecord(m_dir.filePath("no/such/folder/x.db")));
        const TORVSQLResult opened = db.open();
        QVERIFY(!opened.ok && opened.query.isEmpty());
        QVERIFY2(opened.error.contains("unable to open database file") &&
                     opened.error.contains("Error opening database"),
                 qPrintable(opened.error));
        QCOMPARE(db.reopen().error, opened.error);
    }

    void connectionsAreNotLeaked()
    {
        const QStringList before = QSqlDatabase::connectionNames();
        QString lastName;
        for (int i = 0; i < 3000; ++i) {
            TORVSQLite db(sqliteRecord(path()));
            QVERIFY(db.qtConnectionName() != lastName);
            lastName = db.qtConnectionName();
            if (i % 10 == 0) { // opened, used and left with a query result alive until destruction
                QVERIFY(db.open().ok);
                QVERIFY(db.selectFirst("SELECT 1").value);
            }
            if (i % 100 == 0) // a handle given a new record drops its old connection at once
                QVERIFY(db.applySettings(sqliteRecord(path())).ok);
            QCOMPARE(QSqlDatabase::connectionNames().size(), before.size() + 1);
        }
        QCOMPARE(QSqlDatabase::connectionNames(), before);
    }

    void connectionHandedOverFromWorkerThread()
    {
        std::unique_ptr<TORVSQLite> db;
        QThread *const gui = QThread::currentThread();
        std::thread worker([&] {
            db = std::make_unique<TORVSQLite>(sqliteRecord(path()));
            if (db->open().ok && db->exec("CREATE TABLE t (v TEXT);").ok)
                db->moveConnectionToThread(gui);
        });
        worker.join();
        QVERIFY(db->isOpen());
        // Qt hands a named connection only to the thread its driver lives in.
        QCOMPARE(QSqlDatabase::database(db->qtConnectionName(), false).driver()->thread(), gui);
        QVERIFY(db->exec("INSERT INTO t VALUES ('gui');").ok);
        QCOMPARE(column(*db, "SELECT v FROM t;"), QStringList{"gui"});

        // and to a worker thread and back, as the database manager does around each long operation
        QThread thread;
        QObject context;
        context.moveToThread(&thread);
        thread.start();
        db->moveConnectionToThread(&thread);
        bool ok = false;
        QMetaObject::invokeMethod(
            &context,
            [&] {
                ok = db->selectFirst("SELECT v FROM t;").value;
                db->moveConnectionToThread(gui);
            },
            Qt::BlockingQueuedConnection);
        QVERIFY(ok);
        thread.quit();
        thread.wait();
        QVERIFY(db->exec("INSERT INTO t VALUES ('back');").ok);
        db.reset();
    }

    void lockedDatabaseFailsAfterBusyTimeout()
    {
        auto service = openDatabase();
        QVERIFY(run(*service, {"CREATE TABLE t (v INTEGER);", "INSERT INTO t VALUES (1);",
                               "BEGIN EXCLUSIVE;"})); // the service holds the file

        auto db = openDatabase();
        QElapsedTimer timer;
        timer.start();
        const TORVSQLResult begun = db->beginTransaction();
        const qint64 waited = timer.elapsed();
        QVERIFY2(!begun.ok && begun.error.startsWith("Failed to begin transaction: ") &&
                     begun.error.contains("locked"),
                 qPrintable(begun.error));
        QVERIFY2(waited >= 4000 && waited < 15000, qPrintable(QString::number(waited)));

        QVERIFY(service->exec("ROLLBACK;").ok);
        QCOMPARE(column(*db, "SELECT v FROM t;"), QStringList{"1"});
        // the failed begin left no transaction behind
        QVERIFY(db->beginTransaction().ok);
        QVERIFY(db->endTransaction(db->exec("INSERT INTO t VALUES (2);")).ok);
        QCOMPARE(column(*service, "SELECT v FROM t ORDER BY v;"), (QStringList{"1", "2"}));
    }
};

QTEST_GUILESS_MAIN(TestSQLite)
#include "tst_torvsqlite.moc"
