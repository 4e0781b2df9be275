// The generic handle on real SQLite files: statement and first-row rules,
// save, transactions, table operations, connection life cycle and locking.
#include "torvsqldialects.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <thread>

namespace {

// Qt warnings (a connection removed while in use, a connection used from the
// wrong thread, a query on a closed connection) are faults here.
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
    settings.connectionName = QStringLiteral("Test");
    settings.databaseName = path;
    return settings;
}

} // namespace

class TestSQLite : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString &name = QStringLiteral("test.db")) const { return m_dir.filePath(name); }

    std::unique_ptr<TORVSQLite> openDatabase(const QString &name = QStringLiteral("test.db"))
    {
        auto db = std::make_unique<TORVSQLite>(sqliteRecord(path(name)));
        const TORVSQLResult opened = db->open();
        if (!opened.ok)
            qFatal("cannot open %s: %s", qPrintable(path(name)), qPrintable(opened.error));
        return db;
    }

    static QStringList column(TORVSQLBase &db, const QString &sql)
    {
        QSqlQuery query = db.prepare(sql);
        QStringList values;
        if (!query.exec())
            return {QStringLiteral("ERROR ") + query.lastError().text()};
        while (query.next())
            values << (query.value(0).isNull() ? QStringLiteral("NULL") : query.value(0).toString());
        return values;
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
        QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
    }

    void statementAndFirstRowRules()
    {
        auto db = openDatabase();
        QVERIFY(db->exec(QStringLiteral("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT);")).value);
        QVERIFY(
            db->exec(QStringLiteral("INSERT INTO t (id, name) VALUES (?, ?);"), {1, QStringLiteral("one")})
                .ok);

        TORVSQLResult row = db->selectFirst(QStringLiteral("SELECT id, name FROM t WHERE id = ?;"), {1});
        QVERIFY(row.ok && row.value);
        QCOMPARE(row.record.value(QStringLiteral("name")).toString(), QStringLiteral("one"));
        QCOMPARE(TORVSQLBase::recordToMap(row.record),
                 (TORVSQLRowMap{{QStringLiteral("id"), QStringLiteral("1")},
                                {QStringLiteral("name"), QStringLiteral("one")}}));

        TORVSQLResult none = db->selectFirst(QStringLiteral("SELECT id, NAME FROM t WHERE id = ?;"), {2});
        QVERIFY(none.ok && !none.value);
        QCOMPARE(none.record.count(), 2); // field names without values
        QCOMPARE(TORVSQLBase::recordToMap(none.record).keys(), (QStringList{"id", "name"}));

        // A statement the driver refuses reports the driver's reason and the SQL,
        // also when values were bound to it.
        const QString bad = QStringLiteral("SELECT nope FROM missing WHERE id = ?;");
        TORVSQLResult failed = db->selectFirst(bad, {1});
        QVERIFY(!failed.ok && !failed.value);
        QVERIFY2(failed.error.contains(QLatin1String("no such table")), qPrintable(failed.error));
        QVERIFY2(failed.query.startsWith(QLatin1String("SELECT nope FROM missing WHERE id = ")),
                 qPrintable(failed.query));
        failed = db->exec(QStringLiteral("INSERT INTO t (id) VALUES (?);"), {1}); // duplicate key
        QVERIFY(!failed.ok);
        QVERIFY2(failed.error.contains(QLatin1String("UNIQUE")), qPrintable(failed.error));
        QVERIFY2(failed.query.startsWith(QLatin1String("INSERT INTO t (id) VALUES (")),
                 qPrintable(failed.query));

        // prepare + bind + run/runFirst, as the record classes do
        QSqlQuery query = db->prepare(QStringLiteral("INSERT INTO t (id, name) VALUES (:id, :name);"));
        query.bindValue(QStringLiteral(":id"), 2);
        query.bindValue(QStringLiteral(":name"), QStringLiteral("two"));
        QVERIFY(db->run(query).value);
        QSqlQuery select = db->prepare(QStringLiteral("SELECT name FROM t ORDER BY id;"));
        const TORVSQLResult first = db->runFirst(select);
        QVERIFY(first.ok && first.value);
        QCOMPARE(first.record.value(0).toString(), QStringLiteral("one"));
        QCOMPARE(db->rowCount(select), 2);
        QCOMPARE(select.at(), 0); // counting keeps the position
        QSqlQuery empty = db->prepare(QStringLiteral("SELECT name FROM t WHERE id > 99;"));
        QVERIFY(!db->runFirst(empty).value);
        QCOMPARE(db->rowCount(empty), 0);
    }

    void save()
    {
        auto db = openDatabase();
        QVERIFY(
            db->exec(QStringLiteral("CREATE TABLE d (id INTEGER PRIMARY KEY AUTOINCREMENT, a TEXT, b TEXT);"))
                .ok);

        QCOMPARE(db->save(QStringLiteral("d"), {}, QStringLiteral("id"), QStringLiteral("-1"), false).ok,
                 false);
        QCOMPARE(column(*db, QStringLiteral("SELECT COUNT(*) FROM d;")), QStringList{"0"});

        // insert without the key: the database numbers the row; quotes are stored exactly
        const QString quoted = QStringLiteral("it's \"x\"; DROP TABLE d; --'");
        TORVSQLResult saved = db->save(QStringLiteral("d"), {{"a", quoted}, {"b", ""}, {"id", "-1"}},
                                       QStringLiteral("id"), QStringLiteral("-1"), false);
        QVERIFY2(saved.ok && saved.value, qPrintable(saved.error));
        QCOMPARE(column(*db, QStringLiteral("SELECT id || '|' || a FROM d;")), QStringList{"1|" + quoted});
        QCOMPARE(column(*db, QStringLiteral("SELECT b FROM d;")), QStringList{"NULL"}); // empty text is NULL

        // insert with the key
        QVERIFY(
            db->save(QStringLiteral("d"), {{"a", "seven"}}, QStringLiteral("id"), QStringLiteral("7"), true)
                .ok);
        // update: the row exists, so only the listed columns change
        QVERIFY(db->save(QStringLiteral("d"), {{"a", ""}, {"b", "B"}}, QStringLiteral("id"),
                         QStringLiteral("7"), true)
                    .ok);
        QCOMPARE(
            column(*db, QStringLiteral("SELECT id || '|' || ifnull(a, 'NULL') || '|' || ifnull(b, 'NULL') "
                                       "FROM d ORDER BY id;")),
            (QStringList{"1|" + quoted + "|NULL", "7|NULL|B"}));

        // a key with a quote in a text-keyed table: found, updated, not broken SQL
        QVERIFY(db->exec(QStringLiteral("CREATE TABLE k (name TEXT PRIMARY KEY, v TEXT);")).ok);
        const QString key = QStringLiteral("O'Brien");
        QVERIFY(db->save(QStringLiteral("k"), {{"v", "1"}}, QStringLiteral("name"), key, true).ok);
        QVERIFY(db->recordExists(QStringLiteral("k"), QStringLiteral("name"), key).value);
        QVERIFY(db->save(QStringLiteral("k"), {{"v", "2"}}, QStringLiteral("name"), key, true).ok);
        QCOMPARE(column(*db, QStringLiteral("SELECT name || '=' || v FROM k;")), QStringList{key + "=2"});

        // a failing existence check is returned as it is
        saved = db->save(QStringLiteral("missing"), {{"a", "1"}}, QStringLiteral("id"), QStringLiteral("1"),
                         true);
        QVERIFY(!saved.ok && saved.error.contains(QLatin1String("no such table")));
    }

    void recordExists()
    {
        auto db = openDatabase();
        QVERIFY(db->exec(QStringLiteral("CREATE TABLE t (id INTEGER, name TEXT);")).ok);
        QVERIFY(db->exec(QStringLiteral("INSERT INTO t VALUES (1, 'a');")).ok);
        TORVSQLResult found =
            db->recordExists(QStringLiteral("t"), QStringLiteral("id"), QStringLiteral("1"));
        QVERIFY(found.ok && found.value);
        found = db->recordExists(QStringLiteral("t"), QStringLiteral("name"), QStringLiteral("b"));
        QVERIFY(found.ok && !found.value);
        found = db->recordExists(QStringLiteral("t"), QStringLiteral("name"), QStringLiteral("x' OR '1'='1"));
        QVERIFY(found.ok && !found.value);
    }

    void transactions()
    {
        auto db = openDatabase();
        QVERIFY(db->exec(QStringLiteral("CREATE TABLE t (v INTEGER);")).ok);

        QVERIFY(db->beginTransaction().value);
        QVERIFY(db->exec(QStringLiteral("INSERT INTO t VALUES (1);")).ok);
        QVERIFY(db->commitTransaction().value);

        QVERIFY(db->beginTransaction().ok);
        QVERIFY(db->exec(QStringLiteral("INSERT INTO t VALUES (2);")).ok);
        const TORVSQLResult nested = db->beginTransaction();
        QVERIFY(!nested.ok);
        QVERIFY2(nested.error.startsWith(QLatin1String("Failed to begin transaction: ")),
                 qPrintable(nested.error));
        QVERIFY(db->rollbackTransaction().ok);
        QCOMPARE(column(*db, QStringLiteral("SELECT v FROM t;")), QStringList{"1"});

        const TORVSQLResult noTransaction = db->commitTransaction();
        QVERIFY(noTransaction.error.startsWith(QLatin1String("Failed to commit transaction: ")));
    }

    void endTransaction()
    {
        auto db = openDatabase();
        QVERIFY(db->setForeignKeys(true).ok);
        QVERIFY(db->exec(QStringLiteral("CREATE TABLE p (id INTEGER PRIMARY KEY);")).ok);
        QVERIFY(
            db->exec(QStringLiteral("CREATE TABLE c (p INTEGER REFERENCES p (id) ON DELETE RESTRICT);")).ok);
        QVERIFY(db->exec(QStringLiteral("INSERT INTO p VALUES (1); ")).ok);
        QVERIFY(db->exec(QStringLiteral("INSERT INTO c VALUES (1);")).ok);

        // success commits
        QVERIFY(db->beginTransaction().ok);
        QVERIFY(db->endTransaction(db->exec(QStringLiteral("INSERT INTO p VALUES (2);"))).value);
        QCOMPARE(column(*db, QStringLiteral("SELECT COUNT(*) FROM p;")), QStringList{"2"});

        // a delete refused by the foreign key: rolled back, and the refusal is what comes back
        QVERIFY(db->beginTransaction().ok);
        QVERIFY(db->exec(QStringLiteral("DELETE FROM p WHERE id = 2;")).ok);
        const TORVSQLResult refused = db->exec(QStringLiteral("DELETE FROM p WHERE id = 1;"));
        QVERIFY(!refused.ok);
        const TORVSQLResult ended = db->endTransaction(refused);
        QVERIFY(!ended.ok && !ended.value);
        QCOMPARE(ended.error, refused.error);
        QVERIFY2(ended.error.contains(QLatin1String("FOREIGN KEY")), qPrintable(ended.error));
        QCOMPARE(ended.query, QStringLiteral("DELETE FROM p WHERE id = 1;"));
        QCOMPARE(column(*db, QStringLiteral("SELECT COUNT(*) FROM p;")), QStringList{"2"}); // row 2 is back

        // when the rollback fails as well, its text follows the original one
        const TORVSQLResult original =
            TORVSQLResult::failure(QStringLiteral("write failed"), QStringLiteral("X"));
        const TORVSQLResult both = db->endTransaction(original); // no transaction open: rollback fails
        QVERIFY(!both.ok);
        QVERIFY2(both.error.startsWith(QLatin1String("write failed\n")) && both.error.size() > 14,
                 qPrintable(both.error));
        QCOMPARE(both.query, QStringLiteral("X"));

        // a commit that fails (deferred foreign key) does not leave the transaction open
        QVERIFY(db->exec(QStringLiteral(
                             "CREATE TABLE d (p INTEGER REFERENCES p (id) DEFERRABLE INITIALLY DEFERRED);"))
                    .ok);
        QVERIFY(db->beginTransaction().ok);
        const TORVSQLResult orphan = db->exec(QStringLiteral("INSERT INTO d VALUES (99);"));
        QVERIFY(orphan.ok);
        const TORVSQLResult commit = db->endTransaction(orphan);
        QVERIFY(!commit.ok);
        QVERIFY(commit.error.startsWith(QLatin1String("Failed to commit transaction: ")));
        QCOMPARE(column(*db, QStringLiteral("SELECT COUNT(*) FROM d;")), QStringList{"0"});
        QVERIFY(db->beginTransaction().ok);
        QVERIFY(db->commitTransaction().ok);
    }

    void tableOperations()
    {
        auto db = openDatabase();
        QVERIFY(db->exec(QStringLiteral("CREATE TABLE a (x INTEGER); ")).ok);
        QVERIFY(db->exec(QStringLiteral("INSERT INTO a VALUES (5);")).ok);
        QVERIFY(db->copyTable(QStringLiteral("a"), QStringLiteral("b")).value);
        QVERIFY(db->renameTable(QStringLiteral("b"), QStringLiteral("c")).value);
        QVERIFY(db->renameColumn(QStringLiteral("c"), QStringLiteral("x"), QStringLiteral("y")).value);
        QCOMPARE(column(*db, QStringLiteral("SELECT y FROM c;")), QStringList{"5"});
        QVERIFY(db->dropTable(QStringLiteral("c")).value);
        const TORVSQLResult gone = db->dropTable(QStringLiteral("c"));
        QVERIFY(!gone.ok);
        QCOMPARE(gone.query, QStringLiteral("DROP TABLE c;"));
    }

    void addColumn()
    {
        auto db = openDatabase();
        QVERIFY(db->exec(QStringLiteral("CREATE TABLE loc (id INTEGER PRIMARY KEY);")).ok);
        QVERIFY(db->exec(QStringLiteral("INSERT INTO loc VALUES (1);")).ok);
        QVERIFY(db->exec(QStringLiteral("CREATE TABLE t (id INTEGER);")).ok);
        for (int i = 0; i < 3; ++i)
            QVERIFY(db->exec(QStringLiteral("INSERT INTO t VALUES (?);"), {i}).ok);
        const auto changes = [&db] {
            return column(*db, QStringLiteral("SELECT total_changes();")).value(0).toInt();
        };

        QVERIFY(
            db->addColumn(QStringLiteral("t"), TORVSQLColumn(QStringLiteral("plain"), TORVSQLDataType::Text))
                .value);
        QCOMPARE(column(*db, QStringLiteral("SELECT plain FROM t;")), (QStringList{"NULL", "NULL", "NULL"}));

        // existing rows read the default, and no row was rewritten to get it
        const int before = changes();
        QVERIFY(
            db->addColumn(QStringLiteral("t"), TORVSQLColumn(QStringLiteral("rate"), TORVSQLDataType::Real,
                                                             {}, 0, QStringLiteral("0.05")))
                .value);
        QCOMPARE(changes(), before);
        QCOMPARE(column(*db, QStringLiteral("SELECT rate FROM t;")), (QStringList{"0.05", "0.05", "0.05"}));

        QVERIFY(db->setForeignKeys(true).ok);
        const TORVSQLResult withKey = db->addColumn(
            QStringLiteral("t"), TORVSQLColumn(QStringLiteral("loc"), TORVSQLDataType::Integer),
            TORVSQLForeignKey(QStringLiteral("loc"), QStringLiteral("loc"), QStringLiteral("id"),
                              TORVSQLForeignKeyAction::SetNull, TORVSQLForeignKeyAction::Cascade));
        QVERIFY2(withKey.ok, qPrintable(withKey.error));
        QVERIFY(db->exec(QStringLiteral("UPDATE t SET loc = 1;")).ok);
        QVERIFY(!db->exec(QStringLiteral("UPDATE t SET loc = 2;")).ok); // no such location
        QVERIFY(db->exec(QStringLiteral("DELETE FROM loc;")).ok);
        QCOMPARE(column(*db, QStringLiteral("SELECT loc FROM t;")), (QStringList{"NULL", "NULL", "NULL"}));

        const TORVSQLResult bad =
            db->addColumn(QStringLiteral("t"), TORVSQLColumn(QStringLiteral("v"), TORVSQLDataType::Varchar));
        QCOMPARE(bad.error, QStringLiteral("Invalid column: v"));
    }

    void foreignKeys()
    {
        auto db = openDatabase();
        QVERIFY(db->exec(QStringLiteral("CREATE TABLE p (id INTEGER PRIMARY KEY);")).ok);
        QVERIFY(db->exec(QStringLiteral("CREATE TABLE c (p INTEGER REFERENCES p (id));")).ok);
        QVERIFY(db->setForeignKeys(false).value);
        QCOMPARE(column(*db, QStringLiteral("PRAGMA foreign_keys;")), QStringList{"0"});
        QVERIFY(db->exec(QStringLiteral("INSERT INTO c VALUES (5);")).ok);
        QVERIFY(db->setForeignKeys(true).value);
        QCOMPARE(column(*db, QStringLiteral("PRAGMA foreign_keys;")), QStringList{"1"});
        QVERIFY(!db->exec(QStringLiteral("INSERT INTO c VALUES (6);")).ok);
    }

    void checkConnection()
    {
        auto db = openDatabase();
        QVERIFY(db->checkConnection().value);
        db->close();
        QVERIFY(!db->isOpen());
        TORVSQLResult lost = db->checkConnection();
        QVERIFY(!lost.ok);
        QCOMPARE(lost.error, QStringLiteral("Database Connection is inactive"));
        QVERIFY(lost.query.isEmpty());
        QVERIFY(!db->exec(QStringLiteral("SELECT 1")).ok); // no Qt warning either
        QSqlQuery query = db->prepare(QStringLiteral("SELECT 1"));
        QVERIFY(!db->run(query).ok);

        QVERIFY(db->open().value);
        QVERIFY(db->open().value); // already open
        QVERIFY(db->checkConnection().ok);
        QVERIFY(QFile::remove(path()));
        lost = db->checkConnection();
        QCOMPARE(lost.error, QStringLiteral("Database Connection is inactive"));
    }

    void applySettingsErrors()
    {
        TORVSQLSettings unknown = sqliteRecord(path());
        unknown.type = TORVSQLSettings::Unknown;
        TORVSQLDummy dummy(unknown);
        QCOMPARE(dummy.applySettings(unknown).error, QStringLiteral("No database selected"));
        QCOMPARE(dummy.open().error, QStringLiteral("No database selected"));
        QCOMPARE(dummy.setForeignKeys(true).error, QStringLiteral("Base class function does nothing"));
        QCOMPARE(dummy.recordExists("t", "id", "1").error,
                 QStringLiteral("Base class function does nothing"));
        QVERIFY(!dummy.beginTransaction().ok);
        QVERIFY(!dummy.exec(QStringLiteral("SELECT 1")).ok);

        TORVSQLite noName(sqliteRecord(QString()));
        QCOMPARE(noName.applySettings(sqliteRecord(QString())).error,
                 QStringLiteral("Database name cannot be empty"));
        QVERIFY(!noName.open().ok);
        QVERIFY(noName.applySettings(sqliteRecord(path())).value);
        QVERIFY(noName.open().value);
        QCOMPARE(noName.settings().databaseName, path());
    }

    void openFailureKeepsTheWholeDriverText()
    {
        TORVSQLite db(sqliteRecord(m_dir.filePath(QStringLiteral("no/such/folder/x.db"))));
        const TORVSQLResult opened = db.open();
        QVERIFY(!opened.ok);
        QVERIFY(opened.query.isEmpty());
        QVERIFY2(opened.error.contains(QLatin1String("unable to open database file")) &&
                     opened.error.contains(QLatin1String("Error opening database")),
                 qPrintable(opened.error));
        QCOMPARE(db.reopen().error, opened.error);
    }

    void connectionsAreNotLeaked()
    {
        const QStringList before = QSqlDatabase::connectionNames();
        QElapsedTimer timer;
        timer.start();
        QString lastName;
        for (int i = 0; i < 3000; ++i) {
            TORVSQLite db(sqliteRecord(path()));
            QVERIFY(!db.qtConnectionName().isEmpty());
            QVERIFY(db.qtConnectionName() != lastName);
            lastName = db.qtConnectionName();
            if (i % 10 == 0) { // opened, used and left with a query result alive until destruction
                QVERIFY(db.open().ok);
                QVERIFY(db.selectFirst(QStringLiteral("SELECT 1")).value);
            }
            if (i % 100 == 0) // a handle given a new record drops its old connection at once
                QVERIFY(db.applySettings(sqliteRecord(path())).ok);
            QCOMPARE(QSqlDatabase::connectionNames().size(), before.size() + 1);
        }
        QCOMPARE(QSqlDatabase::connectionNames(), before);
        qInfo("3000 handles created and destroyed in %lld ms", timer.elapsed());
    }

    void connectionHandedOverFromWorkerThread()
    {
        std::unique_ptr<TORVSQLite> db;
        QThread *const gui = QThread::currentThread();
        std::thread worker([&] {
            db = std::make_unique<TORVSQLite>(sqliteRecord(path()));
            if (db->open().ok && db->exec(QStringLiteral("CREATE TABLE t (v TEXT);")).ok)
                db->moveConnectionToThread(gui);
        });
        worker.join();
        QVERIFY(db->isOpen());
        // Qt hands a named connection only to the thread its driver lives in.
        QSqlDatabase byName = QSqlDatabase::database(db->qtConnectionName(), false);
        QVERIFY(byName.isValid());
        QCOMPARE(byName.driver()->thread(), gui);
        byName = QSqlDatabase();
        QVERIFY(db->exec(QStringLiteral("INSERT INTO t VALUES ('gui');")).ok);
        QCOMPARE(column(*db, QStringLiteral("SELECT v FROM t;")), QStringList{"gui"});

        // and back to a worker, which then uses it
        QThread thread;
        QObject context;
        context.moveToThread(&thread);
        thread.start();
        db->moveConnectionToThread(&thread);
        bool ok = false;
        QMetaObject::invokeMethod(
            &context,
            [&] {
                ok = QSqlDatabase::database(db->qtConnectionName(), false).isValid() &&
                     db->selectFirst(QStringLiteral("SELECT v FROM t;")).value;
                db->moveConnectionToThread(gui);
            },
            Qt::BlockingQueuedConnection);
        QVERIFY(ok);
        thread.quit();
        thread.wait();
        db.reset();
        QVERIFY(g_warnings.isEmpty());
    }

    void lockedDatabaseFailsAfterBusyTimeout()
    {
        auto service = openDatabase();
        QVERIFY(service->exec(QStringLiteral("CREATE TABLE t (v INTEGER);")).ok);
        QVERIFY(service->exec(QStringLiteral("INSERT INTO t VALUES (1);")).ok);
        QVERIFY(service->exec(QStringLiteral("BEGIN EXCLUSIVE;")).ok); // the service holds the file

        auto db = openDatabase();
        QElapsedTimer timer;
        timer.start();
        const TORVSQLResult begun = db->beginTransaction();
        const qint64 waited = timer.elapsed();
        QVERIFY(!begun.ok);
        QVERIFY2(begun.error.startsWith(QLatin1String("Failed to begin transaction: ")) &&
                     begun.error.contains(QLatin1String("locked")),
                 qPrintable(begun.error));
        QVERIFY2(waited >= 4000 && waited < 15000, qPrintable(QString::number(waited)));
        qInfo("beginTransaction on a locked file failed after %lld ms: %s", waited, qPrintable(begun.error));

        QVERIFY(service->exec(QStringLiteral("ROLLBACK;")).ok);
        QCOMPARE(column(*db, QStringLiteral("SELECT v FROM t;")), QStringList{"1"});
        // the failed begin left no transaction behind
        QVERIFY(db->beginTransaction().ok);
        QVERIFY(db->endTransaction(db->exec(QStringLiteral("INSERT INTO t VALUES (2);"))).ok);
        QCOMPARE(column(*service, QStringLiteral("SELECT v FROM t ORDER BY v;")), (QStringList{"1", "2"}));
    }
};

QTEST_GUILESS_MAIN(TestSQLite)
#include "tst_torvsqlite.moc"
