// SQL text built by the dialects and the small text helpers of the result type.
#include "torvsqldialects.h"

#include <QtTest>

namespace {

TORVSQLSettings record(TORVSQLSettings::Type type)
{
    TORVSQLSettings settings;
    settings.type = type;
    settings.connectionName = "Text";
    return settings;
}

using F = TORVSQLColumnFlag;
using A = TORVSQLForeignKeyAction;
using T = TORVSQLDataType;

TORVSQLTable tableNamed(const QString &which)
{
    TORVSQLTable table(which);
    if (which == "Device") {
        table.columns << TORVSQLColumn("id", T::Integer, F::NotNull | F::AutoIncrement)
                      << TORVSQLColumn("name", T::Varchar, F::Unique, 50, "'x'", "COLLATE NOCASE")
                      << TORVSQLColumn("loc", T::Integer);
        table.primaryKey << "ID"; // key names match columns ignoring case
        table.foreignKeys << TORVSQLForeignKey("loc", "Location", "id", A::Cascade, A::SetNull);
    } else if (which == "Pair") {
        table.columns << TORVSQLColumn("a", T::Integer, F::NotNull) << TORVSQLColumn("b", T::Text);
        table.primaryKey << "a"
                         << "b";
    } else if (which == "Child") {
        table.columns << TORVSQLColumn("p", T::BigInteger);
        table.foreignKeys << TORVSQLForeignKey("p", "Parent", "id");
    } else if (which == "BadColumn") {
        table.columns << TORVSQLColumn("a", T::Integer) << TORVSQLColumn("b", T::Varchar) // no size
                      << TORVSQLColumn(QString(), T::Integer);
    } else {
        table.columns << TORVSQLColumn("p", T::Integer);
        table.foreignKeys << TORVSQLForeignKey("p", QString(), "id");
    }
    return table;
}

} // namespace

class TestDialectTexts : public QObject
{
    Q_OBJECT

    const TORVSQLite lite{record(TORVSQLSettings::SQLite)};
    const TORVSQLMS server{record(TORVSQLSettings::MSSqlServer)};
    const TORVSQLDummy dummy{record(TORVSQLSettings::Unknown)};

private slots:
    void deduplicate()
    {
        const QList<QPair<QString, QString>> cases{
            {"disk I/O errordisk I/O error", "disk I/O error"},
            {"locked locked", "locked "},
            {"aa", "a"},
            {"unable to open database file Error opening database", // kept whole
             "unable to open database file Error opening database"},
            {"", ""}};
        for (const auto &c : cases) {
            QCOMPARE(TORVSQLResult::deduplicate(c.first), c.second);
            QCOMPARE(TORVSQLResult::driverFailure(c.first, "q").error, c.second);
        }
        QCOMPARE(sqlTextLiteral("O'Brien's"), QStringLiteral("'O''Brien''s'"));
        QCOMPARE(sqlTextLiteral(QString()), QStringLiteral("''"));
    }

    void typeAndActionNames()
    {
        const QString unknown = "****UNKNOWN DATA TYPE****";
        QStringList liteNames, serverNames;
        for (int type = 0; type <= 10; ++type) {
            liteNames << lite.typeName(T(type), 0);
            serverNames << server.typeName(T(type), 0);
            QCOMPARE(dummy.typeName(T(type), 0), QString());
        }
        QCOMPARE(liteNames, (QStringList{"INTEGER", "INTEGER", "BOOLEAN", "REAL", "TEXT", "VARCHAR(MAX)",
                                         "BLOB", "DATE", "TIME", "DATETIME", unknown}));
        QCOMPARE(serverNames, (QStringList{"INT", "BIGINT", "BIT", "REAL", "VARCHAR(MAX)", "VARCHAR(MAX)",
                                           "VARBINARY(MAX)", "DATE", "TIME", "DATETIMEOFFSET", unknown}));
        QCOMPARE(lite.typeName(T::Varchar, 64) + server.typeName(T::Varchar, 64),
                 QStringLiteral("VARCHAR(64)VARCHAR(64)"));
        QCOMPARE(lite.typeName(T(42), 0), unknown);

        liteNames.clear();
        serverNames.clear();
        for (int action = 0; action <= 4; ++action) {
            liteNames << lite.foreignKeyActionName(A(action));
            serverNames << server.foreignKeyActionName(A(action));
        }
        QCOMPARE(liteNames, (QStringList{"RESTRICT", "SET NULL", "SET DEFAULT", "CASCADE", ""}));
        QCOMPARE(serverNames, (QStringList{"No Action", "SET NULL", "SET DEFAULT", "CASCADE", ""}));
        QVERIFY(!lite.addColumnNeedsBackfill());
        QVERIFY(server.addColumnNeedsBackfill());
    }

    void limitClause()
    {
        const auto check = [this](int limit, int offset, const QString &sqlite, const QString &ms) {
            QCOMPARE(lite.limitClause(limit, offset), sqlite);
            QCOMPARE(server.limitClause(limit, offset), ms);
            QCOMPARE(dummy.limitClause(limit, offset), QString());
        };
        check(-1, -1, "", "");
        check(10, -1, " LIMIT 10 ", " OFFSET 0 ROWS  FETCH NEXT 10 ROWS ONLY ");
        check(-1, 20, " LIMIT 999999  OFFSET 20 ", " OFFSET 20 ROWS ");
        check(10, 20, " LIMIT 10  OFFSET 20 ", " OFFSET 20 ROWS  FETCH NEXT 10 ROWS ONLY ");
        check(0, 0, " LIMIT 0  OFFSET 0 ", " OFFSET 0 ROWS  FETCH NEXT 0 ROWS ONLY ");
    }

    void createTableSql()
    {
        const auto check = [this](const QString &table, const QString &sqlite, const QString &ms) {
            QCOMPARE(lite.createTableSql(tableNamed(table)), sqlite);
            QCOMPARE(server.createTableSql(tableNamed(table)), ms);
            QCOMPARE(dummy.createTableSql(tableNamed(table)), QString());
        };
        // single key, auto-increment, default, extra text, foreign key
        check("Device",
              "CREATE TABLE Device (id INTEGER NOT NULL   PRIMARY KEY AUTOINCREMENT ,"
              "name VARCHAR(50) UNIQUE  DEFAULT 'x'  COLLATE NOCASE ,loc INTEGER   ,"
              "FOREIGN KEY (loc) REFERENCES Location (id) ON DELETE CASCADE ON UPDATE SET NULL );",
              "CREATE TABLE Device (id INT NOT NULL IDENTITY(1,1) PRIMARY KEY   ,"
              "name VARCHAR(50) UNIQUE  DEFAULT 'x'  COLLATE NOCASE ,loc INT   ,"
              "FOREIGN KEY (loc) REFERENCES Location (id) ON DELETE CASCADE ON UPDATE SET NULL );");
        check("Pair", "CREATE TABLE Pair (a INTEGER NOT NULL   ,b TEXT   , PRIMARY KEY (a, b) );",
              "CREATE TABLE Pair (a INT NOT NULL   ,b VARCHAR(MAX)   , PRIMARY KEY (a, b) );");
        check("Child",
              "CREATE TABLE Child (p INTEGER   ,FOREIGN KEY (p) REFERENCES Parent (id) "
              "ON DELETE RESTRICT ON UPDATE RESTRICT );",
              "CREATE TABLE Child (p BIGINT   ,FOREIGN KEY (p) REFERENCES Parent (id) "
              "ON DELETE No Action ON UPDATE No Action );");
        check("BadColumn", "Invalid column: b", "Invalid column: b");
        check("BadKey", "Invalid foreign key: p", "Invalid foreign key: p");
    }

    void columnAndKeyValidity()
    {
        QVERIFY(TORVSQLColumn("a", T::Varchar, {}, 1).valid);
        QVERIFY(!TORVSQLColumn("a", T::Invalid).valid);
        QVERIFY(!TORVSQLColumn(QString(), T::Text).valid);
        QVERIFY(TORVSQLForeignKey("a", "T", "id").valid);
        QVERIFY(!TORVSQLForeignKey("a", "T", QString()).valid);
    }

    void connectionString()
    {
        const auto text = [](const QString &address, int port) {
            TORVSQLSettings settings = record(TORVSQLSettings::MSSqlServer);
            settings.address = address;
            settings.port = port;
            settings.databaseName = "Veltrix";
            return TORVSQLMS::connectionString(settings);
        };
        QCOMPARE(text("db.local", 1433),
                 QStringLiteral("DRIVER={SQL SERVER};SERVER={db.local,1433};DATABASE={Veltrix};"));
        QCOMPARE(text("db.local", 0),
                 QStringLiteral("DRIVER={SQL SERVER};SERVER={db.local};DATABASE={Veltrix};"));
        QCOMPARE(text("H\\SQL%2%3", 0),
                 QStringLiteral("DRIVER={SQL SERVER};SERVER={H\\SQL%2%3};DATABASE={Veltrix};"));
        // Values cannot add keys: braces inside are doubled.
        QCOMPARE(text("x};DRIVER={evil};PWD=y", 0),
                 QStringLiteral("DRIVER={SQL SERVER};SERVER={x}};DRIVER={evil}};PWD=y};DATABASE={Veltrix};"));
    }
};

QTEST_GUILESS_MAIN(TestDialectTexts)
#include "tst_torvsqldialects.moc"
