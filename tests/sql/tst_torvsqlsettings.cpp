#include "torvsqlsettings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TORVSQLSettings::Type)

namespace {

TORVSQLSettings record(const QString &name, TORVSQLSettings::Type type = TORVSQLSettings::SQLite,
                       const QString &database = QStringLiteral("vxs.db"))
{
    TORVSQLSettings settings;
    settings.connectionName = name;
    settings.type = type;
    settings.databaseName = database;
    return settings;
}

QStringList names(const TORVSQLSettingsList &list)
{
    QStringList result;
    for (const TORVSQLSettings &settings : list)
        result << settings.connectionName;
    return result;
}

int suffixOf(const QString &qtName, const QString &stem)
{
    return qtName.mid(stem.size()).toInt();
}

} // namespace

class TestTORVSQLSettings : public QObject
{
    Q_OBJECT

private slots:
    void readMissingGroupGivesDefaults();
    void writeAndReadBack();
    void typeFromString_data();
    void typeFromString();
    void writeListDropsStaleEntries();
    void readListBoundedByEntriesPresent_data();
    void readListBoundedByEntriesPresent();
    void indexOfNameIgnoresCase();
    void displayName_data();
    void displayName();
    void isValid_data();
    void isValid();
    void sortByName();
    void connectionCounterWrapsAfter999999();

private:
    QTemporaryDir m_dir;
    int m_fileNumber = 0;
    QString newIniPath() { return m_dir.filePath(QStringLiteral("s%1.ini").arg(++m_fileNumber)); }
};

void TestTORVSQLSettings::readMissingGroupGivesDefaults()
{
    QSettings settings(newIniPath(), QSettings::IniFormat);
    const TORVSQLSettings read = TORVSQLSettings::read(settings, QStringLiteral("db"));
    QCOMPARE(read.connectionName, QStringLiteral("Default"));
    QCOMPARE(read.type, TORVSQLSettings::Unknown);
    QCOMPARE(read.port, 0);
    QVERIFY(read.address.isEmpty() && read.databaseName.isEmpty());
    QVERIFY(read.userName.isEmpty() && read.password.isEmpty());
}

void TestTORVSQLSettings::writeAndReadBack()
{
    const QString path = newIniPath();
    TORVSQLSettings written =
        record(QStringLiteral("Office"), TORVSQLSettings::MSSqlServer, QStringLiteral("vx"));
    written.address = QStringLiteral("sql.example.com");
    written.port = 1433;
    written.userName = QStringLiteral("sa");
    written.password = QStringLiteral("p=a;s,s");
    {
        QSettings settings(path, QSettings::IniFormat);
        written.write(settings, QStringLiteral("db"));
    }
    QSettings settings(path, QSettings::IniFormat);
    QCOMPARE(TORVSQLSettings::read(settings, QStringLiteral("db")), written);
    // The server reads the storage name of the type and a plain number for the port.
    QCOMPARE(settings.value(QStringLiteral("db/type")).toString(), QStringLiteral("MSSqlServer"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\nport=1433\n"));
}

void TestTORVSQLSettings::typeFromString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<TORVSQLSettings::Type>("expected");
    QTest::newRow("SQLite") << "SQLite" << TORVSQLSettings::SQLite;
    QTest::newRow("lower case") << "sqlite" << TORVSQLSettings::SQLite;
    QTest::newRow("inside longer text") << "QSQLITE3 driver" << TORVSQLSettings::SQLite;
    QTest::newRow("MSSqlServer") << "MSSqlServer" << TORVSQLSettings::MSSqlServer;
    QTest::newRow("MSSqlServer lower case") << "mssqlserver" << TORVSQLSettings::MSSqlServer;
    QTest::newRow("both: later table entry wins") << "MSSqlServer or SQLite" << TORVSQLSettings::MSSqlServer;
    QTest::newRow("Unknown") << "Unknown" << TORVSQLSettings::Unknown;
    QTest::newRow("no match") << "Oracle" << TORVSQLSettings::Unknown;
    QTest::newRow("empty") << "" << TORVSQLSettings::Unknown;
}

void TestTORVSQLSettings::typeFromString()
{
    QFETCH(QString, text);
    QFETCH(TORVSQLSettings::Type, expected);
    QCOMPARE(TORVSQLSettings::typeFromString(text), expected);
}

void TestTORVSQLSettings::writeListDropsStaleEntries()
{
    const QString path = newIniPath();
    QSettings settings(path, QSettings::IniFormat);
    TORVSQLSettingsList five;
    for (int i = 0; i < 5; ++i)
        five << record(QStringLiteral("C%1").arg(i));
    TORVSQLSettings::writeList(settings, QStringLiteral("dbList"), five);
    const TORVSQLSettingsList two = {record(QStringLiteral("A")), record(QStringLiteral("B"))};
    TORVSQLSettings::writeList(settings, QStringLiteral("dbList"), two);
    settings.sync();

    QSettings reread(path, QSettings::IniFormat);
    QCOMPARE(TORVSQLSettings::readList(reread, QStringLiteral("dbList")), two);
    reread.beginGroup(QStringLiteral("dbList"));
    QCOMPARE(reread.childGroups(), QStringList({"1", "2"}));
    QCOMPARE(reread.value(QStringLiteral("size")).toInt(), 2);
    reread.endGroup();
}

void TestTORVSQLSettings::readListBoundedByEntriesPresent_data()
{
    QTest::addColumn<QByteArray>("array");
    QTest::addColumn<QStringList>("expected");
    const QByteArray two = "1\\connectionName=A\n1\\type=SQLite\n2\\connectionName=B\n";
    QTest::newRow("size as stored") << two + "size=2\n" << QStringList{"A", "B"};
    QTest::newRow("size below entries") << two + "size=1\n" << QStringList{"A"};
    QTest::newRow("size above entries") << two + "size=5\n" << QStringList{"A", "B"};
    QTest::newRow("huge size") << two + "size=2147483647\n" << QStringList{"A", "B"};
    QTest::newRow("negative size") << two + "size=-3\n" << QStringList{};
    QTest::newRow("text size") << two + "size=many\n" << QStringList{};
    QTest::newRow("no size") << two << QStringList{};
    QTest::newRow("gap and far entry")
        << QByteArray("1\\connectionName=A\n1\\type=SQLite\n3\\connectionName=C\n"
                      "2147483647\\connectionName=Z\nsize=2147483647\n")
        << QStringList{"A", "C", "Z"};
}

void TestTORVSQLSettings::readListBoundedByEntriesPresent()
{
    QFETCH(QByteArray, array);
    QFETCH(QStringList, expected);
    const QString path = newIniPath();
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[dbList]\n" + array);
    file.close();

    QSettings settings(path, QSettings::IniFormat);
    const TORVSQLSettingsList list = TORVSQLSettings::readList(settings, QStringLiteral("dbList"));
    QCOMPARE(names(list), expected);
    if (!list.isEmpty())
        QCOMPARE(list.first().type, TORVSQLSettings::SQLite);
}

void TestTORVSQLSettings::indexOfNameIgnoresCase()
{
    const TORVSQLSettingsList list = {record(QStringLiteral("Main")), record(QStringLiteral("Office")),
                                      record(QStringLiteral("office"))};
    QCOMPARE(TORVSQLSettings::indexOfName(list, QStringLiteral("OFFICE")), 1);
    QCOMPARE(TORVSQLSettings::indexOfName(list, QStringLiteral("main")), 0);
    QCOMPARE(TORVSQLSettings::indexOfName(list, QStringLiteral("Backup")), -1);
    QCOMPARE(TORVSQLSettings::indexOfName({}, QStringLiteral("Main")), -1);
}

void TestTORVSQLSettings::displayName_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("expected");
    QTest::newRow("SQLite") << 0 << "Main (SQLite)";
    QTest::newRow("SQL Server") << 1 << "Main (Microsoft SQL Server)";
    QTest::newRow("Unknown") << 2 << "Main (Unknown)";
    QTest::newRow("out of range") << 7 << "Main ()";
    QTest::newRow("negative") << -1 << "Main ()";
}

void TestTORVSQLSettings::displayName()
{
    QFETCH(int, type);
    QFETCH(QString, expected);
    TORVSQLSettings settings = record(QStringLiteral("Main"));
    settings.type = static_cast<TORVSQLSettings::Type>(type);
    QCOMPARE(settings.displayName(), expected);
}

void TestTORVSQLSettings::isValid_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("valid");
    QTest::newRow("SQLite") << 0 << "Main"
                            << "vxs.db" << true;
    QTest::newRow("SQL Server") << 1 << "Main"
                                << "vx" << true;
    QTest::newRow("Unknown") << 2 << "Main"
                             << "vxs.db" << false;
    QTest::newRow("out of range") << 3 << "Main"
                                  << "vxs.db" << false;
    QTest::newRow("no name") << 0 << ""
                             << "vxs.db" << false;
    QTest::newRow("no database") << 0 << "Main"
                                 << "" << false;
}

void TestTORVSQLSettings::isValid()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QString, database);
    QFETCH(bool, valid);
    QCOMPARE(record(name, static_cast<TORVSQLSettings::Type>(type), database).isValid(), valid);
}

void TestTORVSQLSettings::sortByName()
{
    TORVSQLSettingsList list = {record(QStringLiteral("b")), record(QStringLiteral("B")),
                                record(QStringLiteral("a")), record(QStringLiteral("C"))};
    TORVSQLSettings::sortByName(list);
    // Plain code-unit order: upper case before lower case.
    QCOMPARE(names(list), QStringList({"B", "C", "a", "b"}));
    TORVSQLSettings::sortByName(list, false);
    QCOMPARE(names(list), QStringList({"b", "a", "C", "B"}));
}

void TestTORVSQLSettings::connectionCounterWrapsAfter999999()
{
    const QString first = TORVSQLSettings::nextQtConnectionName(QString());
    QVERIFY2(first.startsWith(QLatin1String("TORVSQL")), qPrintable(first));
    int suffix = suffixOf(first, QStringLiteral("TORVSQL"));
    // Walk the counter up to its last value, then one more.
    while (suffix < 999999) {
        const int next = suffixOf(TORVSQLSettings::nextQtConnectionName(QStringLiteral("Main")), "Main");
        QCOMPARE(next, suffix + 1);
        suffix = next;
    }
    QCOMPARE(TORVSQLSettings::nextQtConnectionName(QStringLiteral("Main")), QStringLiteral("Main0"));
    QCOMPARE(TORVSQLSettings::nextQtConnectionName(QStringLiteral("Main")), QStringLiteral("Main1"));
}

QTEST_APPLESS_MAIN(TestTORVSQLSettings)
#include "tst_torvsqlsettings.moc"
