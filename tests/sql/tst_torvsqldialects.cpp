// SQL text built by the dialects: type names, limit clauses, foreign-key
// actions, CREATE TABLE statements, the SQL Server connection string, and
// the small text helpers of the result type.
#include "torvsqldialects.h"

#include <QtTest>

namespace {

TORVSQLSettings record(TORVSQLSettings::Type type, const QString &address = QString(), int port = 0,
                       const QString &databaseName = QString())
{
    TORVSQLSettings settings;
    settings.type = type;
    settings.connectionName = QStringLiteral("Text");
    settings.address = address;
    settings.port = port;
    settings.databaseName = databaseName;
    return settings;
}

TORVSQLTable tableNamed(const QString &which)
{
    using F = TORVSQLColumnFlag;
    if (which == QLatin1String("device")) {
        TORVSQLTable table(QStringLiteral("Device"));
        table.columns << TORVSQLColumn(QStringLiteral("id"), TORVSQLDataType::Integer,
                                       F::NotNull | F::AutoIncrement)
                      << TORVSQLColumn(QStringLiteral("name"), TORVSQLDataType::Varchar, F::Unique, 50,
                                       QStringLiteral("'x'"), QStringLiteral("COLLATE NOCASE"))
                      << TORVSQLColumn(QStringLiteral("loc"), TORVSQLDataType::Integer);
        table.primaryKey << QStringLiteral("ID"); // key names match columns ignoring case
        table.foreignKeys << TORVSQLForeignKey(QStringLiteral("loc"), QStringLiteral("Location"),
                                               QStringLiteral("id"), TORVSQLForeignKeyAction::Cascade,
                                               TORVSQLForeignKeyAction::SetNull);
        return table;
    }
    if (which == QLatin1String("composite")) {
        TORVSQLTable table(QStringLiteral("Pair"));
        table.columns << TORVSQLColumn(QStringLiteral("a"), TORVSQLDataType::Integer, F::NotNull)
                      << TORVSQLColumn(QStringLiteral("b"), TORVSQLDataType::Text);
        table.primaryKey << QStringLiteral("a") << QStringLiteral("b");
        return table;
    }
    if (which == QLatin1String("restrict")) {
        TORVSQLTable table(QStringLiteral("Child"));
        table.columns << TORVSQLColumn(QStringLiteral("p"), TORVSQLDataType::BigInteger);
        table.foreignKeys << TORVSQLForeignKey(QStringLiteral("p"), QStringLiteral("Parent"),
                                               QStringLiteral("id"));
        return table;
    }
    if (which == QLatin1String("badColumn")) {
        TORVSQLTable table(QStringLiteral("Bad"));
        table.columns << TORVSQLColumn(QStringLiteral("a"), TORVSQLDataType::Integer)
                      << TORVSQLColumn(QStringLiteral("b"), TORVSQLDataType::Varchar) // no size
                      << TORVSQLColumn(QString(), TORVSQLDataType::Integer);
        return table;
    }
    TORVSQLTable table(QStringLiteral("Bad"));
    table.columns << TORVSQLColumn(QStringLiteral("p"), TORVSQLDataType::Integer);
    table.foreignKeys << TORVSQLForeignKey(QStringLiteral("p"), QString(), QStringLiteral("id"));
    return table;
}

} // namespace

class TestDialectTexts : public QObject
{
    Q_OBJECT

private slots:
    void deduplicate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const char *const rows[][3] = {
            {"twice", "disk I/O errordisk I/O error", "disk I/O error"},
            {"twice with blank", "locked locked", "locked "},
            {"two letters", "aa", "a"},
            {"single", "unable to open database file Error opening database",
             "unable to open database file Error opening database"},
            {"one char", "x", "x"},
            {"empty", "", ""},
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
    }
    void deduplicate()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(TORVSQLResult::deduplicate(text), expected);
        QCOMPARE(TORVSQLResult::driverFailure(text, QStringLiteral("q")).error, expected);
    }

    void textLiteral()
    {
        QCOMPARE(sqlTextLiteral(QStringLiteral("abc")), QStringLiteral("'abc'"));
        QCOMPARE(sqlTextLiteral(QStringLiteral("O'Brien's")), QStringLiteral("'O''Brien''s'"));
        QCOMPARE(sqlTextLiteral(QString()), QStringLiteral("''"));
    }

    void typeNames_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<uint>("size");
        QTest::addColumn<QString>("sqlite");
        QTest::addColumn<QString>("ms");
        const struct
        {
            int type;
            uint size;
            const char *sqlite;
            const char *ms;
        } rows[] = {
            {0, 0, "INTEGER", "INT"},
            {1, 0, "INTEGER", "BIGINT"},
            {2, 0, "BOOLEAN", "BIT"},
            {3, 0, "REAL", "REAL"},
            {4, 0, "TEXT", "VARCHAR(MAX)"},
            {5, 64, "VARCHAR(64)", "VARCHAR(64)"},
            {5, 0, "VARCHAR(MAX)", "VARCHAR(MAX)"},
            {6, 0, "BLOB", "VARBINARY(MAX)"},
            {7, 0, "DATE", "DATE"},
            {8, 0, "TIME", "TIME"},
            {9, 0, "DATETIME", "DATETIMEOFFSET"},
            {10, 0, "****UNKNOWN DATA TYPE****", "****UNKNOWN DATA TYPE****"},
            {42, 0, "****UNKNOWN DATA TYPE****", "****UNKNOWN DATA TYPE****"},
        };
        for (const auto &row : rows)
            QTest::addRow("type %d size %u", row.type, row.size)
                << row.type << row.size << QString::fromLatin1(row.sqlite) << QString::fromLatin1(row.ms);
    }
    void typeNames()
    {
        QFETCH(int, type);
        QFETCH(uint, size);
        QFETCH(QString, sqlite);
        QFETCH(QString, ms);
        QCOMPARE(TORVSQLite(record(TORVSQLSettings::SQLite)).typeName(TORVSQLDataType(type), size), sqlite);
        QCOMPARE(TORVSQLMS(record(TORVSQLSettings::MSSqlServer)).typeName(TORVSQLDataType(type), size), ms);
        QCOMPARE(TORVSQLDummy(record(TORVSQLSettings::Unknown)).typeName(TORVSQLDataType(type), size),
                 QString());
    }

    void limitClause_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("sqlite");
        QTest::addColumn<QString>("ms");
        const struct
        {
            int limit;
            int offset;
            const char *sqlite;
            const char *ms;
        } rows[] = {
            {-1, -1, "", ""},
            {10, -1, " LIMIT 10 ", " OFFSET 0 ROWS  FETCH NEXT 10 ROWS ONLY "},
            {-1, 20, " LIMIT 999999  OFFSET 20 ", " OFFSET 20 ROWS "},
            {10, 20, " LIMIT 10  OFFSET 20 ", " OFFSET 20 ROWS  FETCH NEXT 10 ROWS ONLY "},
            {0, 0, " LIMIT 0  OFFSET 0 ", " OFFSET 0 ROWS  FETCH NEXT 0 ROWS ONLY "},
        };
        for (const auto &row : rows)
            QTest::addRow("limit %d offset %d", row.limit, row.offset)
                << row.limit << row.offset << QString::fromLatin1(row.sqlite) << QString::fromLatin1(row.ms);
    }
    void limitClause()
    {
        QFETCH(int, limit);
        QFETCH(int, offset);
        QFETCH(QString, sqlite);
        QFETCH(QString, ms);
        QCOMPARE(TORVSQLite(record(TORVSQLSettings::SQLite)).limitClause(limit, offset), sqlite);
        QCOMPARE(TORVSQLMS(record(TORVSQLSettings::MSSqlServer)).limitClause(limit, offset), ms);
        QCOMPARE(TORVSQLDummy(record(TORVSQLSettings::Unknown)).limitClause(limit, offset), QString());
    }

    void foreignKeyActions()
    {
        const TORVSQLite lite(record(TORVSQLSettings::SQLite));
        const TORVSQLMS server(record(TORVSQLSettings::MSSqlServer));
        QStringList liteNames, serverNames;
        for (int action = 0; action <= 4; ++action) {
            liteNames << lite.foreignKeyActionName(TORVSQLForeignKeyAction(action));
            serverNames << server.foreignKeyActionName(TORVSQLForeignKeyAction(action));
        }
        QCOMPARE(liteNames, (QStringList{"RESTRICT", "SET NULL", "SET DEFAULT", "CASCADE", ""}));
        QCOMPARE(serverNames, (QStringList{"No Action", "SET NULL", "SET DEFAULT", "CASCADE", ""}));
    }

    void createTableSql_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("sqlite");
        QTest::addColumn<QString>("ms");
        QTest::newRow("single key, auto-increment, default, extra, foreign key")
            << "device"
            << "CREATE TABLE Device (id INTEGER NOT NULL   PRIMARY KEY AUTOINCREMENT ,"
               "name VARCHAR(50) UNIQUE  DEFAULT 'x'  COLLATE NOCASE ,loc INTEGER   ,"
               "FOREIGN KEY (loc) REFERENCES Location (id) ON DELETE CASCADE ON UPDATE SET NULL );"
            << "CREATE TABLE Device (id INT NOT NULL IDENTITY(1,1) PRIMARY KEY   ,"
               "name VARCHAR(50) UNIQUE  DEFAULT 'x'  COLLATE NOCASE ,loc INT   ,"
               "FOREIGN KEY (loc) REFERENCES Location (id) ON DELETE CASCADE ON UPDATE SET NULL );";
        QTest::newRow("composite key")
            << "composite"
            << "CREATE TABLE Pair (a INTEGER NOT NULL   ,b TEXT   , PRIMARY KEY (a, b) );"
            << "CREATE TABLE Pair (a INT NOT NULL   ,b VARCHAR(MAX)   , PRIMARY KEY (a, b) );";
        QTest::newRow("restrict foreign key") << "restrict"
                                              << "CREATE TABLE Child (p INTEGER   ,FOREIGN KEY (p) "
                                                 "REFERENCES Parent (id) ON DELETE RESTRICT ON UPDATE "
                                                 "RESTRICT );"
                                              << "CREATE TABLE Child (p BIGINT   ,FOREIGN KEY (p) REFERENCES "
                                                 "Parent (id) ON DELETE No Action ON UPDATE "
                                                 "No Action );";
        QTest::newRow("invalid column") << "badColumn"
                                        << "Invalid column: b"
                                        << "Invalid column: b";
        QTest::newRow("invalid foreign key") << "badForeignKey"
                                             << "Invalid foreign key: p"
                                             << "Invalid foreign key: p";
    }
    void createTableSql()
    {
        QFETCH(QString, table);
        QFETCH(QString, sqlite);
        QFETCH(QString, ms);
        QCOMPARE(TORVSQLite(record(TORVSQLSettings::SQLite)).createTableSql(tableNamed(table)), sqlite);
        QCOMPARE(TORVSQLMS(record(TORVSQLSettings::MSSqlServer)).createTableSql(tableNamed(table)), ms);
        QCOMPARE(TORVSQLDummy(record(TORVSQLSettings::Unknown)).createTableSql(tableNamed(table)), QString());
    }

    void columnAndKeyValidity()
    {
        QVERIFY(TORVSQLColumn(QStringLiteral("a"), TORVSQLDataType::Varchar, {}, 1).valid);
        QVERIFY(!TORVSQLColumn(QStringLiteral("a"), TORVSQLDataType::Varchar).valid);
        QVERIFY(!TORVSQLColumn(QStringLiteral("a"), TORVSQLDataType::Invalid).valid);
        QVERIFY(!TORVSQLColumn(QString(), TORVSQLDataType::Text).valid);
        QVERIFY(!TORVSQLColumn().valid);
        QVERIFY(TORVSQLForeignKey(QStringLiteral("a"), QStringLiteral("T"), QStringLiteral("id")).valid);
        QVERIFY(!TORVSQLForeignKey(QStringLiteral("a"), QStringLiteral("T"), QString()).valid);
        QVERIFY(!TORVSQLForeignKey().valid);
    }

    void connectionString_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("expected");
        QTest::newRow("with port") << "db.local" << 1433
                                   << "DRIVER={SQL SERVER};SERVER=db.local,1433;DATABASE=Veltrix;";
        QTest::newRow("without port")
            << "db.local" << 0 << "DRIVER={SQL SERVER};SERVER=db.local;DATABASE=Veltrix;";
        QTest::newRow("instance name")
            << "HOST\\SQLEXPRESS" << 0 << "DRIVER={SQL SERVER};SERVER=HOST\\SQLEXPRESS;DATABASE=Veltrix;";
        QTest::newRow("percent in address")
            << "h%2%3" << 0 << "DRIVER={SQL SERVER};SERVER=h%2%3;DATABASE=Veltrix;";
    }
    void connectionString()
    {
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(QString, expected);
        QCOMPARE(TORVSQLMS::connectionString(
                     record(TORVSQLSettings::MSSqlServer, address, port, QStringLiteral("Veltrix"))),
                 expected);
    }

    void backfillIsADialectProperty()
    {
        QVERIFY(!TORVSQLite(record(TORVSQLSettings::SQLite)).addColumnNeedsBackfill());
        QVERIFY(TORVSQLMS(record(TORVSQLSettings::MSSqlServer)).addColumnNeedsBackfill());
    }
};

QTEST_GUILESS_MAIN(TestDialectTexts)
#include "tst_torvsqldialects.moc"
