#include "tvxssettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using Veltrix::Server::TEmailEventSettings;
using Veltrix::Server::TSmtpSettings;
using Veltrix::Server::TVXSSettings;
using Veltrix::Server::TWebUser;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class TestTVXSSettings : public QObject
{
    Q_OBJECT

private slots:
    void newFileMatchesGoldenFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("VeltrixServer.ini"));
        {
            TVXSSettings settings(path);
            QVERIFY(settings.writeToDisk());
            const TORVSQLSettingsList list = settings.dbList();
            QCOMPARE(list.size(), 1);
            QCOMPARE(list.first(), settings.serverDatabase());
            QVERIFY(list.first().isValid());
        }
        const QByteArray written = readFile(path);

        QByteArray expected =
            readFile(qEnvironmentVariable("VX_SOURCE_DIR") + "/tests/settings/data/VeltrixServer.new.ini");
        QVERIFY2(!expected.isEmpty(), "golden file missing");
        expected.replace("@SETTINGS_DIR@", QDir(folder.path()).absolutePath().toUtf8());
        const QString normalised =
            QString::fromUtf8(written).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(normalised.split(QLatin1Char('\n')), QString::fromUtf8(expected).split(QLatin1Char('\n')));

        // Opening the file again finds every key present and changes nothing.
        {
            TVXSSettings again(path);
            QVERIFY(again.writeToDisk());
        }
        QCOMPARE(readFile(path), written);
    }
    void existingEntriesAreKept()
    {
        const auto settings =
            storeOn("[General]\ndevicePort=1234\nsettingsPath=/srv/vx/\n"
                    "[db]\ntype=MSSqlServer\n"
                    "[email]\nsmtpPort=587\nerrorToAddresses=me@example.net\n"
                    "[dbList]\n1\\connectionName=A\n1\\type=SQLite\n2\\connectionName=B\nsize=2\n");
        QVERIFY(settings);
        QCOMPARE(settings->devicePort(), quint16(1234));
        QCOMPARE(settings->settingsPath(), QStringLiteral("/srv/vx/"));
        // "db" is left alone once it has a type, even with its other keys missing.
        const TORVSQLSettings server = settings->serverDatabase();
        QCOMPARE(server.type, TORVSQLSettings::MSSqlServer);
        QCOMPARE(server.connectionName, QStringLiteral("Default"));
        QVERIFY(server.databaseName.isEmpty());
        // A partly written e-mail group keeps its values; only the missing keys are added.
        const TSmtpSettings smtp = settings->smtpSettings();
        QCOMPARE(smtp.port, quint16(587));
        QCOMPARE(smtp.address, QStringLiteral("smtp.example.com"));
        const TEmailEventSettings events = settings->emailEventSettings();
        QCOMPARE(events.toAddresses, QStringList{"me@example.net"});
        QCOMPARE(events.level, 2);

        QCOMPARE(settings->dbList().size(), 2);
    }
    // The command line reads the connections without touching the shared file.
    void readOnlyStoreWritesNothing()
    {
        const QString path = newIniPath();
        const QByteArray ini = "[db]\nconnectionName=S\ntype=SQLite\n"
                               "[dbList]\n1\\connectionName=A\n1\\type=SQLite\nsize=1\n";
        QVERIFY(writeFile(path, ini));
        {
            const auto settings = TVXSSettings::openReadOnly(path);
            QCOMPARE(settings->serverDatabase().connectionName, QStringLiteral("S"));
            QCOMPARE(settings->dbList().size(), 1);
            QCOMPARE(settings->devicePort(), quint16(0));
        }
        QCOMPARE(readFile(path), ini);
        const QString missing = newIniPath();
        QVERIFY(TVXSSettings::openReadOnly(missing)->dbList().isEmpty());
        QVERIFY(!QFileInfo::exists(missing));
    }
    void joinedLists_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("two names") << QByteArray("\"Europe/Berlin,Asia/Tokyo\"")
                                   << QStringList{"Europe/Berlin", "Asia/Tokyo"};
        QTest::newRow("two commas keep an empty part")
            << QByteArray("\"Europe/Berlin,,Asia/Tokyo\"") << QStringList{"Europe/Berlin", "", "Asia/Tokyo"};
        QTest::newRow("empty text") << QByteArray("") << QStringList{""};
        QTest::newRow("case kept") << QByteArray("\"UTC,utc\"") << QStringList{"UTC", "utc"};
        // A hand-edited file without quotes: QSettings parses that as a list.
        QTest::newRow("unquoted") << QByteArray("Europe/Berlin,Asia/Tokyo")
                                  << QStringList{"Europe/Berlin", "Asia/Tokyo"};
    }
    void joinedLists()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QStringList, expected);
        const auto settings =
            storeOn("[General]\ntimezones=" + stored + "\n[email]\nerrorToAddresses=" + stored + "\n");
        QVERIFY(settings);
        QCOMPARE(settings->timezones(), expected);
        QCOMPARE(settings->emailErrorToAddresses(), expected);
        QCOMPARE(settings->emailEventSettings().toAddresses, expected);
    }
    void joinedListsWritten()
    {
        const QString path = newIniPath();
        const QStringList zones = {"Europe/Berlin", "", "Asia/Tokyo"};
        {
            TVXSSettings settings(path);
            settings.setTimezones(zones);
            TEmailEventSettings events;
            events.toAddresses = QStringList{"a@example.com", "b@example.org"};
            settings.setEmailEventSettings(events);
            QVERIFY(settings.writeToDisk());
        }
        const QByteArray text = readFile(path);
        QVERIFY(text.contains("\ntimezones=\"Europe/Berlin,,Asia/Tokyo\"\n"));
        QVERIFY(text.contains("\nerrorToAddresses=\"a@example.com,b@example.org\"\n"));
        QCOMPARE(TVXSSettings(path).timezones(), zones);
    }
    // A file edited by hand may hold raw UTF-8 text; what the program writes
    // stays escaped ASCII, as Qt writes it without a codec.
    void rawText_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("raw UTF-8") << QByteArray() << QByteArray("kass\xc3\xa9");
        QTest::newRow("raw UTF-8 after a byte order mark")
            << QByteArray("\xef\xbb\xbf") << QByteArray("kass\xc3\xa9");
        QTest::newRow("escaped, as Qt writes it") << QByteArray() << QByteArray("kass\\xe9");
        QTest::newRow("raw Latin-1") << QByteArray() << QByteArray("kass\xe9");
    }
    void rawText()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, stored);
        const QByteArray content = head + "[General]\nsettingsPath=/srv/" + stored +
                                   "/\n[db]\ntype=SQLite\ndatabaseName=/srv/" + stored + ".db\n";
        // Each on a file of its own: Qt shares what it has read of a file.
        const QString path = newIniPath(), readOnlyPath = newIniPath();
        QVERIFY(writeFile(path, content) && writeFile(readOnlyPath, content));
        const QString expected = QStringLiteral("/srv/kass\u00e9");
        QCOMPARE(TVXSSettings::openReadOnly(readOnlyPath)->serverDatabase().databaseName, expected + ".db");
        {
            TVXSSettings settings(path);
            QCOMPARE(settings.settingsPath(), expected + "/");
            QCOMPARE(settings.serverDatabase().databaseName, expected + ".db");
            settings.setDeviceServerSharedKey(expected);
            QVERIFY(settings.writeToDisk());
        }
        const QByteArray written = readFile(path);
        QVERIFY(written.contains("\nsettingsPath=/srv/kass\\xe9/\n"));
        QVERIFY(written.contains("\ndeviceServerSharedKey=/srv/kass\\xe9\n"));
        QVERIFY(std::all_of(written.cbegin(), written.cend(), [](char c) { return uchar(c) < 0x80; }));
    }
    void maintenanceTime_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QTime>("expected");
        QTest::newRow("hh:mm:ss") << QByteArray("23:59:30") << QTime(23, 59, 30);
        QTest::newRow("hh:mm") << QByteArray("04:15") << QTime(4, 15);
        QTest::newRow("empty") << QByteArray("") << QTime(3, 0);
        QTest::newRow("hour out of range") << QByteArray("25:00:00") << QTime(3, 0);
        QTest::newRow("text") << QByteArray("midnight") << QTime(3, 0);
    }
    void maintenanceTime()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QTime, expected);
        const auto settings = storeOn("[maintenance]\ntime=" + stored + "\n");
        QVERIFY(settings);
        QCOMPARE(settings->maintenanceTime(), expected);

        // Written as "hh:mm:ss", milliseconds dropped.
        settings->setMaintenanceTime(QTime(7, 5, 9, 123));
        QVERIFY(settings->writeToDisk());
        QVERIFY(readFile(settings->fileName()).contains("\ntime=07:05:09\n"));
        QCOMPARE(settings->maintenanceTime(), QTime(7, 5, 9));
    }
    void ports_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("port") << QByteArray("26001") << 26001;
        QTest::newRow("largest") << QByteArray("65535") << 65535;
        QTest::newRow("above 16 bits") << QByteArray("65536") << 0;
        QTest::newRow("masked to 16 bits") << QByteArray("70000") << 4464;
        QTest::newRow("negative") << QByteArray("-1") << 0;
        QTest::newRow("text") << QByteArray("http") << 0;
    }
    void ports()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, expected);
        const auto settings =
            storeOn("[General]\ndevicePort=" + stored + "\nwebServerPort=" + stored +
                    "\nwebServerEncryptedPort=" + stored + "\n[email]\nsmtpPort=" + stored + "\n");
        QVERIFY(settings);
        QCOMPARE(int(settings->devicePort()), expected);
        QCOMPARE(int(settings->webServerPort()), expected);
        QCOMPARE(int(settings->webServerEncryptedPort()), expected);
        QCOMPARE(int(settings->smtpSettings().port), expected);

        // Written back as a plain number that the server parses.
        settings->setDevicePort(quint16(expected));
        QVERIFY(settings->writeToDisk());
        QVERIFY(
            readFile(settings->fileName()).contains("\ndevicePort=" + QByteArray::number(expected) + "\n"));
    }
    void eventLevel_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("0") << QByteArray("0") << 0;
        QTest::newRow("3") << QByteArray("3") << 3;
        QTest::newRow("7") << QByteArray("7") << 2;
        QTest::newRow("-1") << QByteArray("-1") << 2;
        QTest::newRow("text") << QByteArray("warning") << 0;
    }
    void eventLevel()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, expected);
        const auto settings = storeOn("[email]\neventLevel=" + stored + "\n");
        QVERIFY(settings);
        QCOMPARE(settings->emailEventSettings().level, expected);
    }
    void booleans_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("expected");
        // Read as the server reads them through Qt: only "", "0" and "false" are false.
        QTest::newRow("yes") << QByteArray("yes") << true;
        QTest::newRow("on") << QByteArray("on") << true;
        QTest::newRow("2") << QByteArray("2") << true;
        QTest::newRow("no") << QByteArray("no") << true;
        QTest::newRow("FALSE") << QByteArray("FALSE") << false;
        QTest::newRow("0") << QByteArray("0") << false;
        QTest::newRow("empty") << QByteArray("") << false;
    }
    void booleans()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, expected);
        const auto settings =
            storeOn("[General]\ndeviceServerEncrypted=" + stored + "\n[devices]\nautoAdd=" + stored + "\n");
        QVERIFY(settings);
        QCOMPARE(settings->deviceServerEncrypted(), expected);
        QCOMPARE(settings->devicesAutoAdd(), expected);
    }
    void webUsers()
    {
        const QString path = newIniPath();
        const QString storedHash = TWebUser::hashPassword(QStringLiteral("old"));
        {
            TVXSSettings settings(path);
            settings.setWebAuthUsers({TWebUser(QStringLiteral("u1"), QStringLiteral("a"), false),
                                      TWebUser(QStringLiteral("u2"), QStringLiteral("b"), false),
                                      TWebUser(QStringLiteral("u3"), QStringLiteral("c"), false)});
            // The dialog passes the stored hash back as already hashed, and new text as is.
            settings.setWebAuthUsers({TWebUser(QStringLiteral("alice"), storedHash, true),
                                      TWebUser(QStringLiteral("bob"), QStringLiteral("secret"), false),
                                      TWebUser(QString(), QStringLiteral("x"), false)});
            QVERIFY(settings.writeToDisk());
        }
        TVXSSettings settings(path);
        const QList<TWebUser> users = settings.webAuthUsers();
        QCOMPARE(users.size(), 2);
        QCOMPARE(users.at(0).username(), QStringLiteral("alice"));
        QCOMPARE(users.at(0).password(), storedHash);
        QCOMPARE(users.at(1).username(), QStringLiteral("bob"));
        QCOMPARE(users.at(1).password(), QStringLiteral("5ebe2294ecd0e0f08eab7690d2a6ee69"));
        // No hashes of replaced users stay behind in the file.
        settings.beginGroup(QStringLiteral("webAuth/Users"));
        QCOMPARE(settings.childGroups(), QStringList({"1", "2"}));
        QCOMPARE(settings.value(QStringLiteral("size")).toInt(), 2);
        settings.endGroup();

        // Read: entries without a name or a password are skipped.
        const auto edited = storeOn("[webAuth]\nUsers\\1\\username=\nUsers\\1\\password=abc\n"
                                    "Users\\2\\username=carol\nUsers\\2\\password=def\n"
                                    "Users\\3\\username=dave\nUsers\\size=3\n");
        QVERIFY(edited);
        const QList<TWebUser> read = edited->webAuthUsers();
        QCOMPARE(read.size(), 1);
        QCOMPARE(read.first().username(), QStringLiteral("carol"));
        QCOMPARE(read.first().password(), QStringLiteral("def"));
    }
    void writeToDisk_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("new folder below the folder") << "new folder";
        QTest::newRow("folder below a plain file") << "below file";
        QTest::newRow("read-only file") << "read-only";
    }
    void writeToDisk()
    {
        QFETCH(QString, kind);
        QTemporaryDir folder;
        QString path = folder.filePath(QStringLiteral("VeltrixServer.ini"));
        bool writable = true;
        if (kind == QLatin1String("new folder")) {
            path = folder.filePath(QStringLiteral("a/b/VeltrixServer.ini"));
        } else if (kind == QLatin1String("below file")) {
            QVERIFY(writeFile(folder.filePath(QStringLiteral("plain")), "x"));
            path = folder.filePath(QStringLiteral("plain/VeltrixServer.ini"));
            writable = false;
        } else if (kind == QLatin1String("read-only")) {
            QVERIFY(writeFile(path, "[General]\ndevicePort=1\n"));
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
            if (QFileInfo(path).isWritable())
                QSKIP("file permissions do not apply to this user");
            writable = false;
        }

        TVXSSettings settings(path);
        settings.setDevicePort(4000);
        QCOMPARE(settings.writeToDisk(), writable);
        QCOMPARE(settings.settingsFileName(), path);
        if (writable)
            QCOMPARE(TVXSSettings(path).devicePort(), quint16(4000));
    }

private:
    QTemporaryDir m_dir;
    int m_fileNumber = 0;

    QString newIniPath() { return m_dir.filePath(QStringLiteral("s%1.ini").arg(++m_fileNumber)); }
    // A store on a file that holds `ini` before the store first opens it.
    std::unique_ptr<TVXSSettings> storeOn(const QByteArray &ini)
    {
        const QString path = newIniPath();
        if (!writeFile(path, ini))
            return nullptr;
        return std::make_unique<TVXSSettings>(path);
    }
};

QTEST_GUILESS_MAIN(TestTVXSSettings)
#include "tst_tvxssettings.moc"
