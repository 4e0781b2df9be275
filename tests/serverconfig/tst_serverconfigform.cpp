#include "settingsfolder.h"
#include "testfiles.h"
#include "tvxscserverconfigform.h"
#include "tvxssettings.h"
#include "widgettest.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using Veltrix::Server::TWebUser;
using Veltrix::Server::Controller::TVXSCServerConfigForm;

namespace {

// Each input, its key, the text stored before a case and the one it types; "*.key", "*.crt" name files.
const char *const fields[][4] = {
    {"sbDeviceServerPortNo", "devicePort", "26001", "27002"},
    {"cbDeviceServerEncrypted", "deviceServerEncrypted", "true", "true"},
    {"leDevicePrivateKey", "deviceServerPrivateKeyPath", "device.key", "new-device.key"},
    {"leDeviceCertificate", "deviceServerCertificatePath", "device.crt", "new-device.crt"},
    {"leSharedKey", "deviceServerSharedKey", "shared-secret", "another-secret"},
    {"cbAutoAddDevices", "devices/autoAdd", "false", "true"},
    {"sbWebServerPortNo", "webServerPort", "8080", "81"},
    {"cbWebServerEnabled", "webServerEnabled", "true", "false"},
    {"sbWebServerSSLPortNo", "webServerEncryptedPort", "8443", "444"},
    {"cbWebServerSSLEnabled", "webServerEncryptedEnabled", "true", "true"},
    {"leHTTPPrivateKey", "webServerPrivateKeyPath", "web.key", "new-web.key"},
    {"leHTTPCertificate", "webServerCertificatePath", "web.crt", "new-web.crt"},
    {"cbHTTPAuthenticate", "webAuth/authenticate", "true", "true"},
    {"leHTTPUsername", "webAuth/Users/1/username", "admin", "operator"},
    {"cbEmailEnable", "email/enabled", "true", "true"},
    {"leSMTPAddress", "email/smtpAddress", "smtp.example.com", "mail.example.net"},
    {"sbSMTPPortNo", "email/smtpPort", "587", "465"},
    {"leSMTPUsername", "email/smtpUsername", "alerts@example.com", "smtp-user"},
    {"leSMTPPassword", "email/smtpPassword", "mail-pass", "smtp-pass"},
    {"cbSMTPAuthenticate", "email/smtpAuthenticate", "true", "true"},
    {"cbSMTPEncryption", "email/smtpEncryption", "2", "1"},
    {"leSMTPFrom", "email/errorFromAddress", "alerts@example.com", "server@example.net"},
    {"cbEventLogEmailLevel", "email/eventLevel", "1", "3"},
    {"leEventSubject", "email/eventSubject", "Server event", "Veltrix event"},
    {"lwEventLogToAddresses", "email/errorToAddresses", "ops@example.com,Boss@Example.org", "a@example.com"},
    {"cbUnitsOfMeasure", "unitsOfMeasure", "5", "11"},
    {"cbFollowUpEmailEnable", "followUpEmailEnabled", "true", "false"},
    {"sbFollowUpEmailPeriod", "followUpEmailPeriod", "6", "12"},
    {"lwTimezones", "timezones", "Europe/Berlin,Pacific/Auckland", "Pacific/Auckland,UTC,UTC"},
    {"teMaintenanceTime", "maintenance/time", "04:30:00", "22:15:00"},
    {"cbRemoveOldImages", "maintenance/clearOldImages", "true", "false"},
    {"sbDaysToKeepImages", "maintenance/daysToKeepImages", "45", "90"},
};

const auto md5 = &TWebUser::hashPassword;

} // namespace

class TestServerConfigForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    int m_case = 0;
    QString m_caseRoot, m_folder;

    QString iniPath() const { return m_folder + QStringLiteral("VeltrixServer.ini"); }
    // Creates the file a text names; the text as the form shows it.
    QString withFile(const QString &text) const
    {
        const QString path = QDir::cleanPath(m_caseRoot + '/' + text); // outside the settings folder
        return !text.endsWith(".key") && !text.endsWith(".crt") ? text
               : writeFile(path, "-----BEGIN-----\n")           ? path
                                                                : QString();
    }
    // A configuration that passes every check, then "key=text;..." of `stored`.
    void writeConfig(const QString &stored = QString())
    {
        QSettings s(iniPath(), QSettings::IniFormat);
        for (const auto &field : fields)
            s.setValue(field[1], withFile(field[2]));
        s.setValue("webAuth/Users/1/password", md5("secret"));
        s.setValue("webAuth/Users/size", 1);
        for (const QString &pair : stored.split(';', Qt::SkipEmptyParts))
            s.setValue(pair.section('=', 0, 0), pair.section('=', 1));
    }

private slots:
    // Every case has a settings folder of its own.
    void init()
    {
        m_caseRoot = m_root.filePath(QStringLiteral("case%1").arg(++m_case));
        m_folder = ownSettingsFolder(m_caseRoot);
        QVERIFY(QDir().mkpath(m_caseRoot) && QDir().mkpath(m_folder));
    }
    void loadsAndSavesEveryKey()
    {
        writeConfig();
        TVXSCServerConfigForm form;
        form.show();
        // A combo box shows the item of the stored index.
        const auto asShown = [this, &form](const char *name, const char *text) {
            auto *combo = qobject_cast<QComboBox *>(child(&form, name));
            return combo ? combo->itemText(QString(text).toInt()) : withFile(text);
        };
        for (const auto &field : fields) {
            QCOMPARE(shown(&form, field[0]), asShown(field[0], field[2]));
            enter(&form, field[0] + QStringLiteral("=") + asShown(field[0], field[3]));
        }
        QCOMPARE(shown(&form, "leHTTPPassword"), md5("secret"));
        QCOMPARE(click(&form, "pbSave"), QStringList());
        QSettings s(iniPath(), QSettings::IniFormat);
        for (const auto &field : fields)
            QCOMPARE(s.value(field[1]).toString(), withFile(field[3]));
    }
    // The SMTP fields, period and days box follow their check boxes, as loaded and when clicked.
    void enableStates()
    {
        writeConfig("email/enabled=false;followUpEmailEnabled=false;maintenance/clearOldImages=false");
        TVXSCServerConfigForm form;
        for (const bool expected : {false, true}) {
            for (const char *name :
                 {"leSMTPAddress", "sbSMTPPortNo", "leSMTPUsername", "leSMTPPassword", "leSMTPFrom",
                  "cbSMTPAuthenticate", "cbSMTPEncryption", "sbFollowUpEmailPeriod", "sbDaysToKeepImages"})
                QVERIFY2(child(&form, name)->isEnabled() == expected, name);
            for (const char *box : {"cbEmailEnable", "cbFollowUpEmailEnable", "cbRemoveOldImages"})
                child<QAbstractButton>(&form, box)->click();
        }
    }
    // What Save refuses (each box by a part of its text, in check order) and writes ("": nothing): only
    // what the user changed. Recipients show as stored; what the widgets cannot show stays in the file.
    void saves_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shows");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("errors");
        QTest::addColumn<QString>("written");
        const auto row = [](const char *name, const QString &stored, const char *shows, const char *typed,
                            const QString &written) {
            QTest::newRow(name) << stored << shows << typed << QString() << written;
        };
        const auto refused = [](const char *name, const char *typed, const char *errors) {
            QTest::newRow(name) << QString() << QString() << typed << errors << QString();
        };
        const QString to = "email/errorToAddresses=", user = "webAuth/Users/1/username=",
                      password = ";webAuth/Users/1/password=",
                      secondUser = ";webAuth/Users/2/username=guest;webAuth/Users/2/password=x";
        row("smtp without authentication needs no user", "", "",
            "cbSMTPAuthenticate=0;leSMTPUsername=", "email/smtpAuthenticate=false;email/smtpUsername=");
        row("level None needs no recipient", "", "",
            "cbEventLogEmailLevel=None;lwEventLogToAddresses=", "email/eventLevel=0;" + to);
        row("web auth off needs no user", "", "",
            "cbHTTPAuthenticate=0;leHTTPUsername=", "webAuth/authenticate=false");
        row("no files needed unencrypted", "", "",
            "cbDeviceServerEncrypted=0;leDevicePrivateKey=;cbWebServerSSLEnabled=0;leHTTPPrivateKey=",
            "deviceServerEncrypted=false;webServerEncryptedEnabled=false");
        refused("smtp port 0", "sbSMTPPortNo=0", "SMTP Settings");
        refused("smtp user empty", "leSMTPUsername=", "SMTP Settings");
        refused("smtp password empty", "leSMTPPassword=", "SMTP Settings");
        refused("from empty", "leSMTPFrom=", "SMTP Settings|\"From\" Address");
        refused("device port = https", "sbDeviceServerPortNo=8443", "Device and HTTP");
        refused("web user empty", "leHTTPUsername=", "Web Authentication");
        refused("device certificate missing", "leDeviceCertificate=", "Device Server is");
        refused("https key missing", "leHTTPPrivateKey=/no.key", "If HTTPS");
        // Every check runs: the boxes come one after another.
        refused("all at once",
                "leSMTPAddress=;leSMTPFrom=a@b;lwEventLogToAddresses=;sbWebServerSSLPortNo=8080;"
                "sbDeviceServerPortNo=8080;leHTTPPassword=;leDevicePrivateKey=;leHTTPCertificate=/no.crt",
                "SMTP Settings|\"From\" Address|\"TO\" Address|HTTP and HTTPS|Device and HTTP|"
                "Web Authentication|Device Server is|If HTTPS");
        row("recipient with a six-letter domain", to + "ops@company.online",
            "lwEventLogToAddresses=ops@company.online", "", "");
        row("recipients that are no address, in order", to + "not-an-address,,ops@example.com",
            "lwEventLogToAddresses=not-an-address,ops@example.com", "", "");
        row("units index 15", "unitsOfMeasure=15", "cbUnitsOfMeasure=", "", "");
        row("encryption 7", "email/smtpEncryption=7", "cbSMTPEncryption=", "", "");
        row("event level 9, shown as read", "email/eventLevel=9", "cbEventLogEmailLevel=Warning", "", "");
        row("flag written as yes", "webServerEnabled=yes", "cbWebServerEnabled=true", "", "");
        row("period above the box", "followUpEmailPeriod=48", "sbFollowUpEmailPeriod=24", "", "");
        row("time without seconds", "maintenance/time=04:30", "teMaintenanceTime=04:30:00", "", "");
        row("empty time zone entry", "timezones=Europe/Berlin,,UTC", "lwTimezones=Europe/Berlin,UTC", "", "");
        row("web user untouched", "", "leHTTPUsername=admin", "", "");
        row("units index 15, another chosen", "unitsOfMeasure=15", "", "cbUnitsOfMeasure=Promille w/v",
            "unitsOfMeasure=3");
        row("event level 9, another chosen", "email/eventLevel=9", "", "cbEventLogEmailLevel=Error",
            "email/eventLevel=1");
        row("e-mail off skips its checks, the smtp fields written as shown", "", "",
            "cbEmailEnable=0;leSMTPAddress=;sbSMTPPortNo=0;leSMTPFrom=a@b;lwEventLogToAddresses=",
            "email/enabled=false;email/smtpAddress=;email/smtpPort=0;email/errorFromAddress=a@b;" + to);
        row("web user renamed keeps the hash", secondUser + ";webAuth/Users/size=2", "",
            "leHTTPUsername=root",
            user + "root" + password + md5("secret") + secondUser + ";webAuth/Users/size=2");
        row("new password hashed", "", "", "leHTTPPassword=n3w", user + "admin" + password + md5("n3w"));
        row("same password typed again", "", "", "leHTTPPassword=secret",
            user + "admin" + password + md5("secret"));
        row("first web user", "webAuth/Users/size=0",
            "leHTTPUsername=", "leHTTPUsername=ann;leHTTPPassword=pw",
            user + "ann" + password + md5("pw") + ";webAuth/Users/size=1");
    }
    void saves()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shows);
        QFETCH(QString, typed);
        QFETCH(QString, errors);
        QFETCH(QString, written);
        writeConfig(stored);
        TVXSCServerConfigForm form;
        form.show();
        const QByteArray before = readFile(iniPath());
        for (const QString &pair : shows.split(';', Qt::SkipEmptyParts))
            QCOMPARE(pair.section('=', 0, 0) + '=' + shown(&form, qPrintable(pair.section('=', 0, 0))), pair);
        enter(&form, typed);
        const QStringList seen = click(&form, "pbSave"), parts = errors.split('|', Qt::SkipEmptyParts);
        QCOMPARE(seen.size(), parts.size());
        for (int i = 0; i < seen.size(); ++i)
            QVERIFY2(seen.at(i).startsWith("Error: ") && seen.at(i).contains(parts.at(i)),
                     qPrintable(seen.at(i)));
        QCOMPARE(form.isVisible(), !parts.isEmpty());
        QVERIFY(!written.isEmpty() || readFile(iniPath()) == before);
        QSettings s(iniPath(), QSettings::IniFormat);
        for (const QString &pair : written.split(';', Qt::SkipEmptyParts))
            QCOMPARE(pair.section('=', 0, 0) + '=' + s.value(pair.section('=', 0, 0)).toString(), pair);
    }
    // A save that does not reach the file says so and keeps the input; no later save writes it either.
    void unwritableFileKeepsDialogOpen()
    {
        writeConfig();
        TVXSCServerConfigForm form;
        form.show();
        QVERIFY(QDir(m_folder).removeRecursively());
        QFile blocker(m_folder.chopped(1)); // the folder is a file now
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        enter(&form, "leSharedKey=typed");
        QCOMPARE(click(&form, "pbSave"), QStringList("Error: The settings could not be saved to \"" +
                                                     QDir::toNativeSeparators(iniPath()) + "\"."));
        QVERIFY(form.isVisible());
        QCOMPARE(shown(&form, "leSharedKey"), QStringLiteral("typed"));
        form.close();
        QVERIFY(blocker.remove() && QDir().mkpath(m_folder));
        QVERIFY(writeFile(iniPath(), "[General]\ndeviceServerSharedKey=from-file\n"));
        TVXSCServerConfigForm again;
        QCOMPARE(shown(&again, "leSharedKey"), QStringLiteral("from-file"));
        QVERIFY(!readFile(iniPath()).contains("typed"));
    }
    // Recipients and zones are added and removed, the files picked; Cancel writes nothing.
    void listsPickersAndCancel()
    {
        writeConfig();
        TVXSCServerConfigForm form;
        form.show();
        const QByteArray before = readFile(iniPath());
        enter(&form, "leToAddressInput=new@example.com ");
        QCOMPARE(click(&form, "pbAddToAddress") << shown(&form, "leToAddressInput"), // kept to be corrected
                 QStringList({"Error: Invalid \"To\" Address", "new@example.com "}));
        enter(&form, "leToAddressInput=ops@example.com"); // duplicates are allowed
        click(&form, "pbAddToAddress");
        auto *addresses = child<QListWidget>(&form, "lwEventLogToAddresses");
        addresses->item(0)->setSelected(true);
        addresses->item(2)->setSelected(true);
        click(&form, "pbRemoveToAddress");
        QCOMPARE(shown(&form, "leToAddressInput;lwEventLogToAddresses"), QStringLiteral(";Boss@Example.org"));

        auto *zones = child<QComboBox>(&form, "cbTimezoneList");
        zones->setCurrentIndex(1);
        click(&form, "pbAddTimezone");
        QCOMPARE(shown(&form, "lwTimezones"), "Europe/Berlin,Pacific/Auckland," + zones->itemText(1));
        child<QListWidget>(&form, "lwTimezones")->selectAll();
        click(&form, "pbRemoveTimezone");
        QCOMPARE(shown(&form, "lwTimezones"), QString());

        const QString picked = withFile("picked.crt");
        for (const QString name :
             {"DevicePrivateKey", "DeviceCertificate", "HTTPPrivateKey", "HTTPCertificate"}) {
            const QString edit = "le" + name, loaded = shown(&form, qPrintable(edit));
            ModalAnswerer answerer;
            answerer.answerFile(QString()); // cancelled: the text stays
            answerer.answerFile(picked);
            child<QPushButton>(&form, qPrintable("pb" + name))->click();
            const QString afterCancel = shown(&form, qPrintable(edit));
            child<QPushButton>(&form, qPrintable("pb" + name))->click();
            QCOMPARE(afterCancel + ';' + shown(&form, qPrintable(edit)), loaded + ';' + picked);
        }
        click(&form, "pbCancel");
        QVERIFY(!form.isVisible());
        QCOMPARE(readFile(iniPath()), before);
    }
};

QTEST_MAIN(TestServerConfigForm)
#include "tst_serverconfigform.moc"
