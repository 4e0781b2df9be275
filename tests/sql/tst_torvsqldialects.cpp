// The dialects' texts beyond the schema's own statements (data of
// tests/database), and the SQL Server connection, which no server answers
// here: how it is configured and how it fails.
#include "torvsqldialects.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>

namespace {

TORVSQLSettings serverRecord(const QString &address = QString(), int port = 0)
{
    return {TORVSQLSettings::MSSqlServer, "Server", address, port, "Veltrix", "sa", "secret"};
}

// A loopback port where the system accepts connections and nothing answers
// (no event loop serves it); closed again once the object is gone.
struct SilentListener
{
    QTcpServer server;
    bool listening = server.listen(QHostAddress::LocalHost);
};

} // namespace

class TestDialects : public QObject
{
    Q_OBJECT

    const TORVSQLite lite{TORVSQLSettings{TORVSQLSettings::SQLite, "Text", {}, 0, {}, {}, {}}};
    const TORVSQLMS server{serverRecord()};

private slots:
    // Extra text, a default and an action the schema does not use; the first
    // invalid column or foreign key stands in for the whole statement.
    void createTableSql()
    {
        TORVSQLTable table("T");
        table.columns << TORVSQLColumn("id", TORVSQLDataType::Integer, TORVSQLColumnFlag::Unique, 0, "'x'",
                                       "COLLATE NOCASE");
        table.foreignKeys << TORVSQLForeignKey("id", "L", "id", TORVSQLForeignKeyAction::SetNull,
                                               TORVSQLForeignKeyAction::SetDefault);
        const QString sql =
            "CREATE TABLE T (id INTEGER UNIQUE  DEFAULT 'x'  COLLATE NOCASE ,FOREIGN KEY (id) "
            "REFERENCES L (id) ON DELETE SET NULL ON UPDATE SET DEFAULT );";
        QCOMPARE(lite.createTableSql(table) + '|' + server.createTableSql(table),
                 sql + '|' + QString(sql).replace("INTEGER", "INT"));
        table.foreignKeys << TORVSQLForeignKey("p", QString(), "id");
        QCOMPARE(lite.createTableSql(table) + server.createTableSql(table),
                 "Invalid foreign key: pInvalid foreign key: p");
        table.columns << TORVSQLColumn("b", TORVSQLDataType::Varchar)
                      << TORVSQLColumn("c", TORVSQLDataType::Invalid);
        QCOMPARE(lite.createTableSql(table) + server.createTableSql(table),
                 "Invalid column: bInvalid column: b");
        QVERIFY(!TORVSQLColumn("c", TORVSQLDataType::Invalid).valid &&
                !TORVSQLColumn({}, TORVSQLDataType::Text).valid);
    }

    void failedConnection_data()
    {
        QTest::addColumn<bool>("answers");
        QTest::newRow("nothing listens") << false;
        QTest::newRow("nobody answers") << true; // fails after the login timeout of 10 s, never hangs
    }
    // Configured with every value braced, braces inside doubled, so that no
    // value can add keys (user and password too, which Qt would append
    // unbraced), and a login timeout; open() fails with the driver's whole
    // text, never the password, and so do statements.
    void failedConnection()
    {
        QFETCH(bool, answers);
        QCOMPARE(
            TORVSQLMS::connectionString(serverRecord("x};DRIVER={evil};PWD=y", 1433)),
            QStringLiteral("DRIVER={SQL SERVER};SERVER={x}};DRIVER={evil}};PWD=y,1433};DATABASE={Veltrix};"
                           "UID={sa};PWD={secret};"));
        QCOMPARE(TORVSQLMS::connectionString(serverRecord("H\\SQL%2%3")).left(38),
                 "DRIVER={SQL SERVER};SERVER={H\\SQL%2%3}");
        if (!QSqlDatabase::isDriverAvailable("QODBC"))
            QSKIP("Qt's ODBC driver is not installed (scripts/setup.sh installs it)");
        const QStringList before = QSqlDatabase::connectionNames();
        SilentListener listener;
        const int port = answers ? listener.server.serverPort() : SilentListener().server.serverPort();
        {
            TORVSQLMS db(serverRecord("127.0.0.1", port));
            const QSqlDatabase qt = QSqlDatabase::database(db.qtConnectionName(), false);
            QCOMPARE(qt.driverName() + qt.userName() + qt.password() + qt.connectOptions(),
                     QStringLiteral("QODBCSQL_ATTR_LOGIN_TIMEOUT=10"));
            QCOMPARE(qt.databaseName(), TORVSQLMS::connectionString(serverRecord("127.0.0.1", port)));
            QElapsedTimer timer;
            timer.start();
            const TORVSQLResult opened = db.open();
            QVERIFY2(!opened.ok && !db.isOpen() && !opened.error.contains("secret") &&
                         (answers ? opened.error.contains("Timeout expired")
                                  : opened.error.endsWith("QODBC3: Unable to connect")),
                     qPrintable(opened.error));
            QVERIFY(!answers || (timer.elapsed() >= 9000 && timer.elapsed() < 20000));
            QVERIFY(!db.exec("SELECT 1").ok && !db.beginTransaction().ok);
            QCOMPARE(db.checkConnection().error, QStringLiteral("Database Connection is inactive"));
        }
        QCOMPARE(QSqlDatabase::connectionNames(), before);
    }
};

QTEST_GUILESS_MAIN(TestDialects)
#include "tst_torvsqldialects.moc"
