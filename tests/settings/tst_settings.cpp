#include "emailaddress.h"
#include "settingslocation.h"
#include "testfiles.h"
#include "tvxssettings.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using namespace Veltrix::Server;

namespace {

bool isAscii(const QByteArray &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](char c) { return uchar(c) < 0x80; });
}

QByteArray garbage(int size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator(1).fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

// What a store reads, as text by short names; list entries are joined by "|".
QMap<QString, QString> readAll(TVXSSettings &s)
{
    QStringList db, users;
    for (const TORVSQLSettings &entry : s.dbList())
        db << entry.connectionName;
    for (const TWebUser &user : s.webAuthUsers())
        users << user.username() + ':' + user.password();
    const TSmtpSettings smtp = s.smtpSettings();
    return {{"ports", QStringLiteral("%1,%2,%3,%4")
                          .arg(s.devicePort())
                          .arg(s.webServerPort())
                          .arg(s.webServerEncryptedPort())
                          .arg(smtp.port)},
            {"flags", QStringLiteral("%1,%2").arg(s.deviceServerEncrypted()).arg(s.devicesAutoAdd())},
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
        QVERIFY2(!expected.isEmpty(), "golden file missing");
        expected.replace("@SETTINGS_DIR@", m_dir.path().toUtf8());
        QCOMPARE(QString::fromUtf8(written).split('\n'), QString::fromUtf8(expected).split('\n'));
        QVERIFY(TVXSSettings(path).writeToDisk());
        QCOMPARE(readFile(path), written);
        // The command line's read-only store creates no file.
        const QString missing = newPath();
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
        row("event level as text", "[email]\neventLevel=warning\n", "level=0");
        row("time out of range", "[maintenance]\ntime=25:00:00\n", "time=03:00:00");
        row("list with an empty entry", "[General]\ntimezones=\"UTC,,utc\"\n[email]\nerrorToAddresses=a\n",
            "zones=UTC||utc;to=a");
        row("unquoted list", "[General]\ntimezones=Europe/Berlin,Asia/Tokyo\n",
            "zones=Europe/Berlin|Asia/Tokyo");
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
        row("binary garbage", garbage(8192), "dbList=Server Default");
        row("half-written lines",
            "[General]\ndevicePort\nwebServerPort=\ndeviceServerEncrypted=tr\n[devices]\nautoAdd=\n"
            "[email\neventLevel=\"3\n[maintenance]\ntime=03:0",
            "ports=26001,0,443,465;flags=1,0;time=03:00:00");
        row("dbList size larger than its entries", "[dbList]\n1\\connectionName=A\nsize=9\n", "dbList=A");
        row("negative dbList size", "[dbList]\n1\\connectionName=A\nsize=-4\n", "dbList=Server Default");
        row("huge array sizes",
            "[dbList]\n1\\connectionName=A\nsize=2147483647\n[webAuth]\nUsers\\1\\username=u\n"
            "Users\\1\\password=p\nUsers\\size=2147483647\n",
            "dbList=A;users=u:p");
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
            QVERIFY(isAscii(readFile(path)) && readFile(path).contains("\nsettingsPath=/srv/kass\\xe9/\n"));
    }
    // What the store writes, in the forms the server reads.
    void writes()
    {
        const QString path = newPath(), hash = TWebUser::hashPassword(QStringLiteral("old"));
        {
            TVXSSettings s(path);
            s.setTimezones({"Europe/Berlin", "", "Asia/Tokyo"});
            s.setEmailEventSettings({{"a@example.com", "b@example.org"}, QString(), 1});
            s.setMaintenanceTime(QTime(7, 5, 9, 123));
            s.setSmtpSettings(
                {"smtp.example.net", 70000 & 0xFFFF, "user", "pw", false, 2, "from@example.net"});
            s.setDevicePort(4464);
            s.setWebAuthUsers(
                {TWebUser("u1", "a", false), TWebUser("u2", "b", false), TWebUser("u3", "c", false)});
            // The dialog passes a stored hash back as already hashed, new text as it is.
            s.setWebAuthUsers({TWebUser("alice", hash, true), TWebUser("bob", "secret", false), TWebUser()});
            QVERIFY(s.writeToDisk());
        }
        const QByteArray text = readFile(path);
        for (const char *line :
             {"timezones=\"Europe/Berlin,,Asia/Tokyo\"", "time=07:05:09", "devicePort=4464", "smtpPort=4464",
              "smtpEncryption=2", "smtpAuthenticate=false", "errorFromAddress=from@example.net",
              "errorToAddresses=\"a@example.com,b@example.org\"", "Users\\size=2"})
            QVERIFY2(text.contains('\n' + QByteArray(line) + '\n'), line);
        QVERIFY(!text.contains("Users\\3")); // no hash of a replaced user stays behind
        TVXSSettings settings(path);
        QCOMPARE(readAll(settings).value("users"), "alice:" + hash + "|bob:5ebe2294ecd0e0f08eab7690d2a6ee69");
    }
    void emailAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        const auto row = [](const char *name, const QString &text, bool valid) {
            QTest::newRow(name) << text << valid;
        };
        row("two-letter domain", "jane@example.nz", true);
        row("63-letter domain", "jane@example." + QString(63, 'a'), true);
        row("name symbols, capitals", "A_b%c+d-e.f@EX-ample.ORG", true);
        row("one-letter domain", "jane@example.c", false);
        row("64-letter domain", "jane@example." + QString(64, 'a'), false);
        row("digits in domain", "jane@example.c0m", false);
        row("no dot after at", "jane@localhost", false);
        row("trailing blank", "jane@example.com ", false);
        row("text around", "Jane <jane@example.com>", false);
    }
    void emailAddresses()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(Veltrix::isValidEmail(text), valid);
    }
    // The settings folder from the configuration locations or, on Windows,
    // from the drive query's output as it prints it.
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
        row("word inside a name", {"/data/MyProgramDataStore"}, "", "/data/MyProgramData");
        row("first fixed disk", {}, "Caption  DriveType\r\r\nA:    2\r\r\nD:  3  Data\r\r\nE: 3\r\r\n",
            "D://ProgramData");
        row("no drives", {"/etc/xdg"}, "", "C://ProgramData");
        row("type must match exactly", {}, "F: 30\nG:\t3x\n", "C://ProgramData");
        row("tabs", {}, "F:\t3\tLocal\n", "F://ProgramData");
        row("drive without type", {}, "C:\r\nE:   3\n", "E://ProgramData");
        row("stops at NUL", {}, QString("B: 2\n") + QChar(0) + "D: 3\n", "C://ProgramData");
        row("leading space is not a drive line", {}, " D: 3\n", "C://ProgramData");
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
    // Through the configuration locations of this machine; without a ProgramData among them, the fallback.
    void folderThroughEnvironment()
    {
        const QString programData = m_dir.filePath(QStringLiteral("ProgramData"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("home"))));
        qputenv("XDG_CONFIG_DIRS", "/etc/xdg:" + QFile::encodeName(programData));
        QCOMPARE(settingsFilePath(), programData + "/VeltrixServer/VeltrixServer.ini");
#ifndef Q_OS_WIN
        qputenv("XDG_CONFIG_DIRS", "/etc/xdg");
        QCOMPARE(settingsFilePath(), QStringLiteral("/var/lib/VeltrixServer/VeltrixServer.ini"));
#endif
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
