#include "torvsqlsettings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

TORVSQLSettings record(const QString &name, int type = TORVSQLSettings::SQLite, const QString &db = "vxs.db")
{
    TORVSQLSettings settings;
    settings.connectionName = name;
    settings.type = TORVSQLSettings::Type(type);
    settings.databaseName = db;
    return settings;
}

QStringList names(const TORVSQLSettingsList &list)
{
    QStringList result;
    for (const TORVSQLSettings &settings : list)
        result << settings.connectionName;
    return result;
}

} // namespace

class TestTORVSQLSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_fileNumber = 0;
    QString newIniPath() { return m_dir.filePath(QStringLiteral("s%1.ini").arg(++m_fileNumber)); }

private slots:
    void readMissingGroupGivesDefaults()
    {
        QSettings settings(newIniPath(), QSettings::IniFormat);
        TORVSQLSettings expected;
        expected.connectionName = "Default";
        QCOMPARE(TORVSQLSettings::read(settings, "db"), expected);
        QCOMPARE(expected.type, TORVSQLSettings::Unknown);
        QCOMPARE(expected.port, 0);
    }

    void writeAndReadBack()
    {
        const QString path = newIniPath();
        TORVSQLSettings written = record("Office", TORVSQLSettings::MSSqlServer, "vx");
        written.address = "sql.example.com";
        written.port = 1433;
        written.userName = "sa";
        written.password = "p=a;s,s";
        {
            QSettings settings(path, QSettings::IniFormat);
            written.write(settings, "db");
        }
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(TORVSQLSettings::read(settings, "db"), written);
        // The server reads the storage name of the type and a plain number for the port.
        QCOMPARE(settings.value("db/type").toString(), QStringLiteral("MSSqlServer"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("\nport=1433\n"));
    }

    void typeFromString()
    {
        using S = TORVSQLSettings;
        QCOMPARE(S::typeFromString("sqlite"), S::SQLite);
        QCOMPARE(S::typeFromString("QSQLITE3 driver"), S::SQLite);
        QCOMPARE(S::typeFromString("mssqlServer"), S::MSSqlServer);
        QCOMPARE(S::typeFromString("MSSqlServer or SQLite"), S::MSSqlServer); // later table entry wins
        QCOMPARE(S::typeFromString("Oracle"), S::Unknown);
        QCOMPARE(S::typeFromString(""), S::Unknown);
    }

    void writeListDropsStaleEntries()
    {
        const QString path = newIniPath();
        QSettings settings(path, QSettings::IniFormat);
        TORVSQLSettingsList five;
        for (int i = 0; i < 5; ++i)
            five << record(QStringLiteral("C%1").arg(i));
        TORVSQLSettings::writeList(settings, "dbList", five);
        const TORVSQLSettingsList two = {record("A"), record("B")};
        TORVSQLSettings::writeList(settings, "dbList", two);
        settings.sync();

        QSettings reread(path, QSettings::IniFormat);
        QCOMPARE(TORVSQLSettings::readList(reread, "dbList"), two);
        reread.beginGroup("dbList");
        QCOMPARE(reread.childGroups(), QStringList({"1", "2"}));
        QCOMPARE(reread.value("size").toInt(), 2);
    }

    // A damaged "size" never reads past the entries present, nor crashes.
    void readListBoundedByEntriesPresent_data()
    {
        QTest::addColumn<QByteArray>("array");
        QTest::addColumn<QStringList>("expected");
        const QByteArray two = "1\\connectionName=A\n1\\type=SQLite\n2\\connectionName=B\n";
        QTest::newRow("size below entries") << two + "size=1\n" << QStringList{"A"};
        QTest::newRow("size above entries") << two + "size=5\n" << QStringList{"A", "B"};
        QTest::newRow("huge size") << two + "size=2147483647\n" << QStringList{"A", "B"};
        QTest::newRow("negative size") << two + "size=-3\n" << QStringList{};
        QTest::newRow("text size") << two + "size=many\n" << QStringList{};
        QTest::newRow("gap and far entry")
            << QByteArray("1\\connectionName=A\n1\\type=SQLite\n3\\connectionName="
                          "C\n2147483647\\connectionName=Z\nsize=2147483647\n")
            << QStringList{"A", "C", "Z"};
    }
    void readListBoundedByEntriesPresent()
    {
        QFETCH(QByteArray, array);
        QFETCH(QStringList, expected);
        const QString path = newIniPath();
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[dbList]\n" + array);
        file.close();

        QSettings settings(path, QSettings::IniFormat);
        const TORVSQLSettingsList list = TORVSQLSettings::readList(settings, "dbList");
        QCOMPARE(names(list), expected);
        if (!list.isEmpty())
            QCOMPARE(list.first().type, TORVSQLSettings::SQLite);
    }

    void indexOfNameIgnoresCase()
    {
        const TORVSQLSettingsList list = {record("Main"), record("Office"), record("office")};
        QCOMPARE(TORVSQLSettings::indexOfName(list, "OFFICE"), 1);
        QCOMPARE(TORVSQLSettings::indexOfName(list, "main"), 0);
        QCOMPARE(TORVSQLSettings::indexOfName(list, "Backup"), -1);
    }

    void displayNameAndValidity()
    {
        const auto check = [](int type, const QString &name, const QString &db, const QString &display,
                              bool valid) {
            const TORVSQLSettings settings = record(name, type, db);
            QCOMPARE(settings.displayName(), display);
            QCOMPARE(settings.isValid(), valid);
        };
        check(0, "Main", "vxs.db", "Main (SQLite)", true);
        check(1, "Main", "vx", "Main (Microsoft SQL Server)", true);
        check(2, "Main", "vxs.db", "Main (Unknown)", false);
        check(7, "Main", "vxs.db", "Main ()", false); // out of range
        check(-1, "Main", "vxs.db", "Main ()", false);
        check(0, "", "vxs.db", " (SQLite)", false);
        check(0, "Main", "", "Main (SQLite)", false);
    }

    void sortByName()
    {
        TORVSQLSettingsList list = {record("b"), record("B"), record("a"), record("C")};
        TORVSQLSettings::sortByName(list);
        QCOMPARE(names(list), QStringList({"B", "C", "a", "b"})); // code-unit order
        TORVSQLSettings::sortByName(list, false);
        QCOMPARE(names(list), QStringList({"b", "a", "C", "B"}));
    }

    void connectionCounterWrapsAfter999999()
    {
        const QString first = TORVSQLSettings::nextQtConnectionName(QString());
        QVERIFY2(first.startsWith("TORVSQL"), qPrintable(first));
        int suffix = first.mid(7).toInt();
        while (suffix < 999999) {
            const int next = TORVSQLSettings::nextQtConnectionName("Main").mid(4).toInt();
            QCOMPARE(next, suffix + 1);
            suffix = next;
        }
        QCOMPARE(TORVSQLSettings::nextQtConnectionName("Main"), QStringLiteral("Main0"));
        QCOMPARE(TORVSQLSettings::nextQtConnectionName("Main"), QStringLiteral("Main1"));
    }
};

QTEST_APPLESS_MAIN(TestTORVSQLSettings)
#include "tst_torvsqlsettings.moc"
