#include "emailaddress.h"
#include "settingslocation.h"
#include "testfiles.h"
#include "tvxssettings.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Veltrix::Server;

namespace {

// What a store reads, as text by short names; list entries are joined by "|".
QMap<QString, QString> readAll(TVXSSettings &s)
{
    QStringList db, users;
    for (const TORVSQLSettings &entry : s.dbList())
        db << entry.connectionName;
    for (const TWebUser &user : s.webAuthUsers())
        users << user.username() + ':' + user.password();
    const TSmtpSettings smtp = s.smtpSettings();
    const auto n = [](int number) { return QString::number(number); };
    return {{"ports", n(s.devicePort()) + ',' + n(s.webServerPort()) + ',' + n(s.webServerEncryptedPort()) +
                          ',' + n(smtp.port)},
            {"flags", n(s.deviceServerEncrypted()) + ',' + n(s.devicesAutoAdd())},
            {"time", s.maintenanceTime().toString(Qt::ISODate)},
            {"level", QString::number(s.emailEventSettings().level)},
            {"zones", s.timezones().join('|')},
            {"to", s.emailEventSettings().toAddresses.join('|')},
            {"smtp", smtp.address},
            {"path", s.settingsPath()},
            {"server", s.serverDatabase().displayName() + '|' + s.serverDatabase().databaseName},
            {"dbList", db.join('|')},
            {"users", users.join('|')}};
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;
    QString newPath() { return m_dir.filePath(QStringLiteral("s%1.ini").arg(++m_files)); }

private slots:
    // A new file gets every default; opening it again changes nothing.
    void newFileMatchesGoldenFile()
    {
        const QString path = newPath();
        QVERIFY(TVXSSettings(path).writeToDisk());
        const QByteArray written = readFile(path);
        QByteArray expected = readFile(QFINDTESTDATA("data/VeltrixServer.new.ini"));
        expected.replace("@SETTINGS_DIR@", m_dir.path().toUtf8());
        // Groups and lines sorted: Qt writes a new file's sorted on Linux, as set on Windows.
        const auto sorted = [](const QByteArray &text) {
            QStringList groups = QString::fromUtf8(text).remove('\r').split("\n[");
            for (QString &group : groups) {
                QStringList lines = group.split('\n');
                lines.sort();
                group = lines.join('\n');
            }
            groups.sort();
            return groups;
        };
        QCOMPARE(sorted(written), sorted(expected));
        QVERIFY(TVXSSettings(path).writeToDisk());
        QCOMPARE(readFile(path), written);
        const QString missing = newPath(); // the command line's read-only store creates no file
        QVERIFY(TVXSSettings::openReadOnly(missing)->dbList().isEmpty());
        QVERIFY(!QFile::exists(missing));
    }
    void reads_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("expected"); // "name=text;..." of readAll()
        const auto row = [](const char *name, const QByteArray &ini, const char *expected) {
            QTest::newRow(name) << ini << QString::fromUtf8(expected);
        };
        row("ports masked, as text, negative",
            "[General]\ndevicePort=70000\nwebServerPort=http\nwebServerEncryptedPort=-1\n",
            "ports=4464,0,0,465");
        // Flags as the server reads them through Qt.
        row("flags yes and FALSE", "[General]\ndeviceServerEncrypted=yes\n[devices]\nautoAdd=FALSE\n",
            "flags=1,0");
        row("flags 2 and 0", "[General]\ndeviceServerEncrypted=2\n[devices]\nautoAdd=0\n", "flags=1,0");
        row("event level 4", "[email]\neventLevel=4\n", "level=2");
        row("time out of range", "[maintenance]\ntime=25:00:00\n", "time=03:00:00");
        row("lists quoted with an empty entry, and unquoted",
            "[General]\ntimezones=\"UTC,,utc\"\n[email]\nerrorToAddresses=a,b\n", "zones=UTC||utc;to=a|b");
        // Text written by hand as raw UTF-8 is UTF-8; any other 8-bit text is Latin-1.
        row("raw UTF-8", "[General]\nsettingsPath=/srv/kass\xc3\xa9/\n", "path=/srv/kass\xc3\xa9/");
        row("raw UTF-8 after a byte order mark", "\xef\xbb\xbf[General]\nsettingsPath=/srv/kass\xc3\xa9/\n",
            "path=/srv/kass\xc3\xa9/");
        row("escaped, as Qt writes it", "[General]\nsettingsPath=/srv/kass\\xe9/\n",
            "path=/srv/kass\xc3\xa9/");
        row("raw Latin-1", "[General]\nsettingsPath=/srv/kass\xe9/\n", "path=/srv/kass\xc3\xa9/");
        row("partly written groups",
            "[General]\nsettingsPath=/srv/\n[db]\ntype=MSSqlServer\n[email]\nsmtpPort=587\n"
            "[dbList]\n1\\connectionName=A\n2\\connectionName=B\nsize=2\n",
            "server=Default (Microsoft SQL Server)|;smtp=smtp.example.com;ports=26001,80,443,587;dbList=A|B");
        row("new file's database next to it", "[General]\nsettingsPath=/srv/\n",
            "server=Server Default (SQLite)|/srv/vxs.db;dbList=Server Default");
        row("web users without a name or a password skipped",
            "[webAuth]\nUsers\\1\\username=\nUsers\\1\\password=a\nUsers\\2\\username=carol\n"
            "Users\\2\\password=b\nUsers\\3\\username=dave\nUsers\\size=3\n",
            "users=carol:b");
        // Damaged files: what can be read is kept, the rest reads as defaults.
        QByteArray garbage(8192, '\0');
        QRandomGenerator(1).fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
        row("binary garbage", garbage, "dbList=Server Default");
        row("half-written lines",
            "[General]\ndevicePort\nwebServerPort=\ndeviceServerEncrypted=tr\n[devices]\nautoAdd=\n"
            "[email\neventLevel=\"3\n[maintenance]\ntime=03:0",
            "ports=26001,0,443,465;flags=1,0;time=03:00:00");
        row("broken serialised values",
            "[General]\ndevicePort=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5gar)\nwebServerPort=@Variant(\\0\\x2)"
            "\n",
            "ports=0,0,443,465");
    }
    void reads()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, expected);
        const QString path = newPath();
        QVERIFY(writeFile(path, ini));
        TVXSSettings::openReadOnly(path)->dbList();
        QCOMPARE(readFile(path), ini);
        for (int pass = 0; pass < 2; ++pass) { // the second reads the file as the store wrote it back
            TVXSSettings settings(path);
            const QMap<QString, QString> actual = readAll(settings);
            for (const QString &pair : expected.split(';'))
                QCOMPARE(pair.section('=', 0, 0) + '=' + actual.value(pair.section('=', 0, 0)), pair);
            QVERIFY(settings.writeToDisk());
        }
        // What the program writes stays escaped ASCII, also after a byte order mark.
        if (ini.contains("kass"))
            QVERIFY(!QString::fromLatin1(readFile(path)).contains(QRegularExpression("[^\\x00-\\x7f]")) &&
                    readFile(path).replace('\r', "").contains("\nsettingsPath=/srv/kass\\xe9/\n"));
    }
    // Web users: no invalid one, no hash of one replaced; a stored hash kept, new text hashed.
    void writesWebUsers()
    {
        const QString path = newPath(), hash = TWebUser::hashPassword(QStringLiteral("old"));
        {
            TVXSSettings s(path);
            s.setWebAuthUsers(
                {TWebUser("u1", "a", false), TWebUser("u2", "b", false), TWebUser("u3", "c", false)});
            s.setWebAuthUsers({TWebUser("alice", hash, true), TWebUser("bob", "secret", false), TWebUser()});
            QVERIFY(s.writeToDisk());
        }
        QVERIFY(!readFile(path).contains("Users\\3"));
        TVXSSettings settings(path);
        QCOMPARE(readAll(settings).value("users"), "alice:" + hash + "|bob:5ebe2294ecd0e0f08eab7690d2a6ee69");
    }
    // Top-level domains of 2 to 63 letters; the whole text is the address.
    void emailAddresses()
    {
        for (const QString &valid : {QString("jane@example.nz"), "jane@example." + QString(63, 'a')})
            QVERIFY2(Veltrix::isValidEmail(valid), qPrintable(valid));
        for (const QString &invalid :
             {QString("jane@example.c"), "jane@example." + QString(64, 'a'), QString("jane@localhost"),
              QString("jane@example.com "), QString("Jane <jane@example.com>")})
            QVERIFY2(!Veltrix::isValidEmail(invalid), qPrintable(invalid));
    }
    // The settings folder from the configuration locations or, on Windows, the drive query's output.
    void folders_data()
    {
        QTest::addColumn<QStringList>("locations");
        QTest::addColumn<QString>("drives");
        QTest::addColumn<QString>("folder");
        const auto row = [](const char *name, const QStringList &locations, const QString &drives,
                            const QString &folder) {
            QTest::newRow(name) << locations << drives << folder + "/VeltrixServer/";
        };
        row("windows, any case", {"C:/Users/a/AppData", "c:/programdata/X"}, "", "c:/programdata");
        row("first location wins", {"/a/ProgramData/x", "/b/ProgramData"}, "", "/a/ProgramData");
        row("last in the path", {"/ProgramData/programdata/x"}, "", "/ProgramData/programdata");
        row("first fixed disk", {}, "Caption  DriveType\r\r\nA:    2\r\r\nC:\r\r\nD:\t3  Data\r\r\nE: 3\r\n",
            "D://ProgramData");
        row("no drives", {"/etc/xdg"}, "", "C://ProgramData");
        row("type must match, at the line's start", {}, "F: 30\nG:\t3x\n D: 3\n", "C://ProgramData");
        row("stops at NUL", {}, QString("B: 2\n") + QChar(0) + "D: 3\n", "C://ProgramData");
    }
    void folders()
    {
        QFETCH(QStringList, locations);
        QFETCH(QString, drives);
        QFETCH(QString, folder);
        const QString fromLocations = settingsFolderFromLocations(locations);
        QCOMPARE(fromLocations.isEmpty() ? settingsFolderOnDrive(parseLogicalDrives(drives)) : fromLocations,
                 folder);
    }
    // Without a ProgramData among the configuration locations, the fallback.
    void folderFallback()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("home"))));
        qputenv("XDG_CONFIG_DIRS", "/etc/xdg");
#ifndef Q_OS_WIN
        QCOMPARE(settingsFilePath(), QStringLiteral("/var/lib/VeltrixServer/VeltrixServer.ini"));
#endif
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
