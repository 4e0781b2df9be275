// Connection records: their INI form, lists of them, names and validity.
#include "torvsqlsettings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

TORVSQLSettings record(const QString &name, int type = TORVSQLSettings::SQLite, const QString &db = "vxs.db")
{
    return {TORVSQLSettings::Type(type), name, QString(), 0, db, QString(), QString()};
}

QString names(const TORVSQLSettingsList &list)
{
    QString result;
    for (const TORVSQLSettings &settings : list)
        result += settings.connectionName + ' ';
    return result;
}

} // namespace

class TestTORVSQLSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    // A record and lists written and read back: no stale entries. The server
    // reads the storage name of the type and a plain number for the port.
    void iniForm()
    {
        const QString path = m_dir.filePath("form.ini");
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(TORVSQLSettings::read(settings, "db"), record("Default", 2, QString())); // 2: Unknown
        const TORVSQLSettings written{TORVSQLSettings::MSSqlServer, "O", "host", 1433, "vx", "sa", "p"};
        written.write(settings, "db");
        TORVSQLSettings::writeList(settings, "dbList", {record("C0"), record("C1"), record("C2")});
        TORVSQLSettings::writeList(settings, "dbList", {record("A"), record("B")});
        settings.sync();
        QSettings reread(path, QSettings::IniFormat);
        QCOMPARE(TORVSQLSettings::read(reread, "db"), written);
        QCOMPARE(TORVSQLSettings::readList(reread, "dbList"),
                 (TORVSQLSettingsList{record("A"), record("B")}));
        reread.beginGroup("dbList");
        QCOMPARE(reread.childGroups(), QStringList({"1", "2"}));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text)); // "\r\n" on Windows
        const QByteArray text = file.readAll();
        QVERIFY2(text.contains("\ntype=MSSqlServer\n") && text.contains("\nport=1433\n"), text.constData());
    }

    // A damaged "size" never reads past the entries present, nor crashes.
    void readListBoundedByEntriesPresent_data()
    {
        QTest::addColumn<QByteArray>("size");
        QTest::addColumn<QString>("expected");
        QTest::newRow("below the entries") << QByteArray("1") << "A ";
        QTest::newRow("huge") << QByteArray("2147483647") << "A B Z ";
        QTest::newRow("negative") << QByteArray("-3") << "";
    }
    void readListBoundedByEntriesPresent()
    {
        QFETCH(QByteArray, size);
        QFETCH(QString, expected);
        const QString path = m_dir.filePath(QString(QTest::currentDataTag()) + ".ini");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[dbList]\n1\\connectionName=A\n1\\type=SQLite\n2\\connectionName="
                   "B\n2147483647\\connectionName=Z\n"
                   "size=" +
                   size + '\n');
        file.close();
        QSettings settings(path, QSettings::IniFormat);
        const TORVSQLSettingsList list = TORVSQLSettings::readList(settings, "dbList");
        QVERIFY(names(list) == expected && (list.isEmpty() || list.first().type == TORVSQLSettings::SQLite));
    }

    void namesAndValidity()
    {
        using S = TORVSQLSettings;
        QVERIFY(S::typeFromString("sqlite") == S::SQLite &&
                S::typeFromString("QSQLITE3 driver") == S::SQLite);
        QVERIFY(S::typeFromString("mssqlServer") == S::MSSqlServer &&
                S::typeFromString("Oracle") == S::Unknown);
        QCOMPARE(S::typeFromString("MSSqlServer or SQLite"), S::MSSqlServer); // the later table entry wins
        QString shown;
        for (const TORVSQLSettings &settings :
             {record("Main"), record("Main", 1, "vx"), record("Main", 2), record("Main", 3),
              record("Main", -1), record(""), record("Main", 0, "")})
            shown += settings.displayName() + (settings.isValid() ? "+" : "-");
        QCOMPARE(shown, "Main (SQLite)+Main (Microsoft SQL Server)+Main (Unknown)-Main ()-Main ()- "
                        "(SQLite)-Main (SQLite)-");
        TORVSQLSettingsList list = {record("b"), record("B"), record("a"), record("C")};
        QVERIFY(S::indexOfName(list, "c") == 3 && S::indexOfName(list, "x") == -1 &&
                S::indexOfName({}, "x") == -1);
        S::sortByName(list);
        QCOMPARE(names(list), "B C a b "); // code-unit order
        S::sortByName(list, false);
        QVERIFY(names(list) == "b a C B " && S::indexOfName(list, "A") == 1); // the first match ignoring case
        // One file whichever separator names it, where the system has two.
        QCOMPARE(record("M", 0, "C:\\db\\x.db") == record("M", 0, "C:/db/x.db"), QDir::separator() == '\\');
    }
};

QTEST_APPLESS_MAIN(TestTORVSQLSettings)
#include "tst_torvsqlsettings.moc"
