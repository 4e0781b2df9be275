#include "tvxssettings.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using Veltrix::Server::TVXSSettings;

namespace {

QByteArray garbage(quint32 seed, int size)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char &byte : bytes)
        byte = static_cast<char>(random.bounded(256));
    return bytes;
}

// Calls every getter once (only a crash or a sanitizer report can fail
// there) and returns the values the cases look at.
QVariantMap readEverything(TVXSSettings &s)
{
    s.settingsPath();
    s.timezones();
    s.smtpSettings();
    s.deviceServerPrivateKeyPath();
    s.deviceServerCertificatePath();
    s.deviceServerSharedKey();
    s.webServerEncryptedPort();
    s.webServerEnabled();
    s.webServerEncryptedEnabled();
    s.webServerPrivateKeyPath();
    s.webServerCertificatePath();
    s.followUpEmailEnabled();
    s.emailEnabled();
    s.maintenanceClearOldImages();
    s.webAuthAuthenticate();
    s.webPagePath();
    s.createdDefaultRecoveryOptions();
    QStringList names;
    for (const TORVSQLSettings &record : s.dbList())
        names << record.connectionName;
    return {{"devicePort", int(s.devicePort())},
            {"webServerPort", int(s.webServerPort())},
            {"deviceServerEncrypted", s.deviceServerEncrypted()},
            {"devicesAutoAdd", s.devicesAutoAdd()},
            {"unitsOfMeasure", s.unitsOfMeasure()},
            {"followUpEmailPeriod", s.followUpEmailPeriod()},
            {"daysToKeepImages", s.maintenanceDaysToKeepImages()},
            {"maintenanceTime", s.maintenanceTime()},
            {"eventLevel", s.emailEventSettings().level},
            {"serverType", int(s.serverDatabase().type)},
            {"dbList", names},
            {"webUsers", s.webAuthUsers().size()}};
}

} // namespace

class TestTVXSSettingsDamaged : public QObject
{
    Q_OBJECT

private slots:
    void damagedFileReadsDefaults_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QVariantMap>("expected");

        const QStringList defaultList = {"Server Default"};

        QTest::newRow("binary garbage")
            << garbage(1, 8192) << QVariantMap{{"devicePort", 26001}, {"dbList", defaultList}};
        QTest::newRow("garbage after valid lines")
            << "[General]\ndevicePort=1234\n" + garbage(2, 4096) << QVariantMap{{"devicePort", 1234}};
        // A line without "=" is no key at all, so its default is written.
        QTest::newRow("half-written lines")
            << QByteArray(
                   "[General]\ndevicePort\nwebServerPort=\ndeviceServerEncrypted=tr\n[devices]\nautoAdd=\n"
                   "[email\neventLevel=\"3\n[maintenance]\ntime=03:0")
            << QVariantMap{{"devicePort", 26001},
                           {"webServerPort", 0},
                           {"deviceServerEncrypted", true},
                           {"devicesAutoAdd", false},
                           {"maintenanceTime", QTime(3, 0)}};
        QTest::newRow("text in numbers and flags")
            << QByteArray("[General]\ndevicePort=abc\nwebServerPort=8 "
                          "0\nunitsOfMeasure=kg\nfollowUpEmailPeriod=two\n"
                          "deviceServerEncrypted=yes\n[email]\neventLevel=high\n"
                          "[maintenance]\ndaysToKeepImages=thirty\ntime=noon\n")
            << QVariantMap{{"devicePort", 0},
                           {"webServerPort", 0},
                           {"unitsOfMeasure", 0},
                           {"followUpEmailPeriod", 0},
                           {"deviceServerEncrypted", true},
                           {"eventLevel", 0},
                           {"daysToKeepImages", 30},
                           {"maintenanceTime", QTime(3, 0)}};
        QTest::newRow("dbList size larger than its entries")
            << QByteArray("[dbList]\n1\\connectionName=A\n1\\type=SQLite\nsize=9\n")
            << QVariantMap{{"dbList", QStringList{"A"}}};
        QTest::newRow("negative dbList size")
            << QByteArray("[dbList]\n1\\connectionName=A\nsize=-4\n") << QVariantMap{{"dbList", defaultList}};
        QTest::newRow("huge array sizes")
            << QByteArray("[dbList]\n1\\connectionName=A\nsize=2147483647\n"
                          "[webAuth]\nUsers\\1\\username=u\nUsers\\1\\password=p\nUsers\\size=2147483647\n")
            << QVariantMap{{"dbList", QStringList{"A"}}, {"webUsers", 1}};
        QTest::newRow("broken serialised values")
            << QByteArray("[General]\ndevicePort=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5gar)\n"
                          "webServerPort=@Variant(\\0\\0\\0\\x2)\n[db]\ntype=@Variant(\\0\\0\\0\\x7f)\n")
            << QVariantMap{{"devicePort", 0}, {"webServerPort", 0}, {"serverType", 2}};
        QTest::newRow("unterminated quote")
            << QByteArray("[General]\ndevicePort=77\ntimezones=\"Europe/Berlin\n[email]\neventLevel=1\n")
            << QVariantMap{{"devicePort", 77}};
    }
    void damagedFileReadsDefaults()
    {
        QFETCH(QByteArray, content);
        QFETCH(QVariantMap, expected);

        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("VeltrixServer.ini"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(content), qint64(content.size()));
        }

        for (int pass = 0; pass < 2; ++pass) {
            // The second pass reads the file as the store wrote it back.
            TVXSSettings settings(path);
            const QVariantMap actual = readEverything(settings);
            for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
                QVERIFY2(actual.contains(it.key()), qPrintable(it.key()));
                QVERIFY2(
                    actual.value(it.key()) == it.value(),
                    qPrintable(QStringLiteral("pass %1, %2: %3 instead of %4")
                                   .arg(pass)
                                   .arg(it.key(), actual.value(it.key()).toString(), it.value().toString())));
            }
            QVERIFY(settings.writeToDisk());
        }
    }
};

QTEST_GUILESS_MAIN(TestTVXSSettingsDamaged)
#include "tst_tvxssettings_damaged.moc"
