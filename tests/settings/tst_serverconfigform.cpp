#include "modalanswerer.h"
#include "settingslocation.h"
#include "tvxscserverconfigform.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTimeZone>
#include <QtTest>

using Veltrix::Server::Controller::TVXSCServerConfigForm;

namespace {

const QString kInvalidSmtp = QStringLiteral("Invalid SMTP Settings");
const QString kInvalidFrom = QStringLiteral("Invalid \"From\" Address");
const QString kNoRecipient = QStringLiteral("Must add at least one \"TO\" Address");
const QString kSameWebPorts = QStringLiteral("HTTP and HTTPS servers cannot use the same port.");
const QString kSameDevicePort = QStringLiteral("Device and HTTP/HTTPS servers cannot use the same port.");
const QString kWebAuthBlank =
    QStringLiteral("If Web Authentication is enabled, Username and Password cannot be blank.");
const QString kDeviceFiles = QStringLiteral(
    "If Device Server is encrypted, valid Private Key and Certificate files need to be provided.");
const QString kHttpsFiles =
    QStringLiteral("If HTTPS is enabled, valid Private Key and Certificate files need to be provided.");

QString md5(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toLocal8Bit(), QCryptographicHash::Md5).toHex());
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <class W> W *child(QWidget *form, const char *name)
{
    W *widget = form->findChild<W *>(QLatin1String(name));
    if (!widget)
        qFatal("widget %s missing", name);
    return widget;
}

QStringList listTexts(QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

} // namespace

class TestServerConfigForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void titleSizeAndLists();
    void loadsStoredValues();
    void enableStates_data();
    void enableStates();
    void validation_data();
    void validation();
    void messageBoxLook();
    void successfulSaveWritesEveryKey();
    void webUserPassword_data();
    void webUserPassword();
    void invalidStoredRecipientsAreSkipped();
    void unwritableFileKeepsDialogOpen_data();
    void unwritableFileKeepsDialogOpen();
    void addressAndTimezoneLists();
    void filePickers_data();
    void filePickers();
    void cancelWritesNothing();
    void screenshot();

private:
    QString iniPath() const { return m_folder + QStringLiteral("VeltrixServer.ini"); }
    QString makeFile(const QString &name);
    // A complete, valid configuration that passes every check.
    void writeValidConfig();
    void applyTweak(QWidget *form, const QString &tweak);

    QTemporaryDir m_root;
    int m_case = 0;
    QString m_programData;
    QString m_folder;
};

void TestServerConfigForm::initTestCase()
{
    QVERIFY(m_root.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("home-config"))));
}

// Every case gets a folder of its own: the settings file is found through the
// configuration locations, the first one holding "ProgramData".
void TestServerConfigForm::init()
{
    const QString caseRoot = m_root.filePath(QStringLiteral("case%1").arg(++m_case));
    m_programData = caseRoot + QStringLiteral("/ProgramData");
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_programData));
    m_folder = m_programData + QStringLiteral("/VeltrixServer/");
    QVERIFY(QDir().mkpath(m_folder));
    QCOMPARE(Veltrix::Server::settingsFilePath(), iniPath());
}

QString TestServerConfigForm::makeFile(const QString &name)
{
    const QString path = m_folder + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(path));
    file.write("-----BEGIN-----\n");
    return path;
}

void TestServerConfigForm::writeValidConfig()
{
    QSettings s(iniPath(), QSettings::IniFormat);
    s.setValue("devicePort", 26001);
    s.setValue("deviceServerEncrypted", true);
    s.setValue("deviceServerPrivateKeyPath", makeFile("device.key"));
    s.setValue("deviceServerCertificatePath", makeFile("device.crt"));
    s.setValue("deviceServerSharedKey", "shared-secret");
    s.setValue("webServerPort", 8080);
    s.setValue("webServerEncryptedPort", 8443);
    s.setValue("webServerEnabled", true);
    s.setValue("webServerEncryptedEnabled", true);
    s.setValue("webServerPrivateKeyPath", makeFile("web.key"));
    s.setValue("webServerCertificatePath", makeFile("web.crt"));
    s.setValue("unitsOfMeasure", 5);
    s.setValue("followUpEmailEnabled", true);
    s.setValue("followUpEmailPeriod", 6);
    s.setValue("email/enabled", true);
    s.setValue("email/smtpAddress", "smtp.example.com");
    s.setValue("email/smtpPort", 587);
    s.setValue("email/smtpUsername", "alerts@example.com");
    s.setValue("email/smtpPassword", "mail-pass");
    s.setValue("email/smtpAuthenticate", true);
    s.setValue("email/smtpEncryption", 2);
    s.setValue("email/errorFromAddress", "alerts@example.com");
    s.setValue("email/eventLevel", 1);
    s.setValue("email/errorToAddresses", "ops@example.com,Boss@Example.org");
    s.setValue("email/eventSubject", "Server event");
    s.setValue("timezones", "Europe/Berlin,Pacific/Auckland");
    s.setValue("maintenance/time", "04:30:00");
    s.setValue("maintenance/clearOldImages", true);
    s.setValue("maintenance/daysToKeepImages", 45);
    s.setValue("devices/autoAdd", false);
    s.setValue("webAuth/authenticate", true);
    s.beginWriteArray("webAuth/Users");
    s.setArrayIndex(0);
    s.setValue("password", md5("secret"));
    s.setValue("username", "admin");
    s.endArray();
    s.sync();
    QCOMPARE(s.status(), QSettings::NoError);
}

void TestServerConfigForm::titleSizeAndLists()
{
    TVXSCServerConfigForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Server Configuration"));
    QCOMPARE(form.size(), QSize(888, 773));

    const auto comboItems = [&form](const char *name) {
        auto *combo = child<QComboBox>(&form, name);
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        return items;
    };
    QCOMPARE(comboItems("cbSMTPEncryption"), QStringList({"None", "SSL/TLS", "STARTTLS"}));
    QCOMPARE(comboItems("cbEventLogEmailLevel"), QStringList({"None", "Error", "Warning", "Information"}));
    QCOMPARE(comboItems("cbUnitsOfMeasure"),
             QStringList({"g/100ml", "% BAC", "Promille w/w", "Promille w/v", "mg/mL", "g/L", "mg/100mL",
                          "ug/L", "ug/100mL", "mg/L", "g/210L", "g/230L"}));
    QCOMPARE(comboItems("cbTimezoneList").size(), QTimeZone::availableTimeZoneIds().size());
    if (QTimeZone::availableTimeZoneIds().contains(QTimeZone::systemTimeZoneId()))
        QCOMPARE(child<QComboBox>(&form, "cbTimezoneList")->currentText(),
                 QString::fromUtf8(QTimeZone::systemTimeZoneId()));
}

void TestServerConfigForm::loadsStoredValues()
{
    writeValidConfig();
    TVXSCServerConfigForm form;

    QCOMPARE(child<QSpinBox>(&form, "sbDeviceServerPortNo")->value(), 26001);
    QVERIFY(child<QCheckBox>(&form, "cbDeviceServerEncrypted")->isChecked());
    QCOMPARE(child<QLineEdit>(&form, "leDevicePrivateKey")->text(), m_folder + "device.key");
    QCOMPARE(child<QLineEdit>(&form, "leDeviceCertificate")->text(), m_folder + "device.crt");
    QCOMPARE(child<QLineEdit>(&form, "leSharedKey")->text(), QStringLiteral("shared-secret"));
    QVERIFY(!child<QCheckBox>(&form, "cbAutoAddDevices")->isChecked());
    QCOMPARE(child<QSpinBox>(&form, "sbWebServerPortNo")->value(), 8080);
    QCOMPARE(child<QSpinBox>(&form, "sbWebServerSSLPortNo")->value(), 8443);
    QVERIFY(child<QCheckBox>(&form, "cbWebServerEnabled")->isChecked());
    QVERIFY(child<QCheckBox>(&form, "cbWebServerSSLEnabled")->isChecked());
    QCOMPARE(child<QLineEdit>(&form, "leHTTPPrivateKey")->text(), m_folder + "web.key");
    QCOMPARE(child<QLineEdit>(&form, "leHTTPCertificate")->text(), m_folder + "web.crt");
    QVERIFY(child<QCheckBox>(&form, "cbHTTPAuthenticate")->isChecked());
    QCOMPARE(child<QLineEdit>(&form, "leHTTPUsername")->text(), QStringLiteral("admin"));
    QCOMPARE(child<QLineEdit>(&form, "leHTTPPassword")->text(), md5("secret"));

    QVERIFY(child<QCheckBox>(&form, "cbEmailEnable")->isChecked());
    QCOMPARE(child<QLineEdit>(&form, "leSMTPAddress")->text(), QStringLiteral("smtp.example.com"));
    QCOMPARE(child<QSpinBox>(&form, "sbSMTPPortNo")->value(), 587);
    QCOMPARE(child<QLineEdit>(&form, "leSMTPUsername")->text(), QStringLiteral("alerts@example.com"));
    QCOMPARE(child<QLineEdit>(&form, "leSMTPPassword")->text(), QStringLiteral("mail-pass"));
    QVERIFY(child<QCheckBox>(&form, "cbSMTPAuthenticate")->isChecked());
    QCOMPARE(child<QComboBox>(&form, "cbSMTPEncryption")->currentIndex(), 2);
    QCOMPARE(child<QLineEdit>(&form, "leSMTPFrom")->text(), QStringLiteral("alerts@example.com"));

    QCOMPARE(child<QComboBox>(&form, "cbEventLogEmailLevel")->currentIndex(), 1);
    QCOMPARE(child<QLineEdit>(&form, "leEventSubject")->text(), QStringLiteral("Server event"));
    QCOMPARE(listTexts(child<QListWidget>(&form, "lwEventLogToAddresses")),
             QStringList({"ops@example.com", "Boss@Example.org"}));

    QCOMPARE(child<QComboBox>(&form, "cbUnitsOfMeasure")->currentIndex(), 5);
    QVERIFY(child<QCheckBox>(&form, "cbFollowUpEmailEnable")->isChecked());
    QCOMPARE(child<QSpinBox>(&form, "sbFollowUpEmailPeriod")->value(), 6);
    QCOMPARE(listTexts(child<QListWidget>(&form, "lwTimezones")),
             QStringList({"Europe/Berlin", "Pacific/Auckland"}));
    QCOMPARE(child<QTimeEdit>(&form, "teMaintenanceTime")->time(), QTime(4, 30));
    QVERIFY(child<QCheckBox>(&form, "cbRemoveOldImages")->isChecked());
    QCOMPARE(child<QSpinBox>(&form, "sbDaysToKeepImages")->value(), 45);
}

void TestServerConfigForm::enableStates_data()
{
    QTest::addColumn<bool>("on");
    QTest::newRow("stored off") << false;
    QTest::newRow("stored on") << true;
}

// The SMTP fields follow "Email Notifications", the period its check box and
// the days box "Remove After", both as loaded and when clicked.
void TestServerConfigForm::enableStates()
{
    QFETCH(bool, on);
    {
        QSettings s(iniPath(), QSettings::IniFormat);
        s.setValue("email/enabled", on);
        s.setValue("followUpEmailEnabled", on);
        s.setValue("maintenance/clearOldImages", on);
    }
    TVXSCServerConfigForm form;
    const QList<QWidget *> smtpFields = {
        child<QWidget>(&form, "leSMTPAddress"),   child<QWidget>(&form, "sbSMTPPortNo"),
        child<QWidget>(&form, "leSMTPUsername"),  child<QWidget>(&form, "leSMTPPassword"),
        child<QWidget>(&form, "leSMTPFrom"),      child<QWidget>(&form, "cbSMTPAuthenticate"),
        child<QWidget>(&form, "cbSMTPEncryption")};
    const QList<QWidget *> eventFields = {child<QWidget>(&form, "cbEventLogEmailLevel"),
                                          child<QWidget>(&form, "leEventSubject"),
                                          child<QWidget>(&form, "lwEventLogToAddresses")};
    auto *period = child<QSpinBox>(&form, "sbFollowUpEmailPeriod");
    auto *days = child<QSpinBox>(&form, "sbDaysToKeepImages");

    for (int round = 0; round < 2; ++round) {
        const bool expected = round == 0 ? on : !on;
        for (QWidget *w : smtpFields)
            QVERIFY2(w->isEnabled() == expected, qPrintable(w->objectName()));
        for (QWidget *w : eventFields)
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        QCOMPARE(period->isEnabled(), expected);
        QCOMPARE(days->isEnabled(), expected);
        child<QCheckBox>(&form, "cbEmailEnable")->click();
        child<QCheckBox>(&form, "cbFollowUpEmailEnable")->click();
        child<QCheckBox>(&form, "cbRemoveOldImages")->click();
    }
}

void TestServerConfigForm::applyTweak(QWidget *form, const QString &tweak)
{
    const auto edit = [form](const char *name) { return child<QLineEdit>(form, name); };
    const auto spin = [form](const char *name) { return child<QSpinBox>(form, name); };
    const auto check = [form](const char *name) { return child<QCheckBox>(form, name); };

    if (tweak == "smtp address empty")
        edit("leSMTPAddress")->clear();
    else if (tweak == "smtp port 0")
        spin("sbSMTPPortNo")->setValue(0);
    else if (tweak == "smtp user empty")
        edit("leSMTPUsername")->clear();
    else if (tweak == "smtp password empty")
        edit("leSMTPPassword")->clear();
    else if (tweak == "smtp no auth")
        check("cbSMTPAuthenticate")->setChecked(false);
    else if (tweak == "from empty")
        edit("leSMTPFrom")->clear();
    else if (tweak == "from bad")
        edit("leSMTPFrom")->setText("alerts@example");
    else if (tweak == "no recipients")
        child<QListWidget>(form, "lwEventLogToAddresses")->clear();
    else if (tweak == "level none")
        child<QComboBox>(form, "cbEventLogEmailLevel")->setCurrentIndex(0);
    else if (tweak == "email off")
        check("cbEmailEnable")->click();
    else if (tweak == "web servers off") {
        check("cbWebServerEnabled")->setChecked(false);
        check("cbWebServerSSLEnabled")->setChecked(false);
    } else if (tweak == "https port = http port")
        spin("sbWebServerSSLPortNo")->setValue(8080);
    else if (tweak == "device port = http port")
        spin("sbDeviceServerPortNo")->setValue(8080);
    else if (tweak == "device port = https port")
        spin("sbDeviceServerPortNo")->setValue(8443);
    else if (tweak == "web user empty")
        edit("leHTTPUsername")->clear();
    else if (tweak == "web password empty")
        edit("leHTTPPassword")->clear();
    else if (tweak == "web auth off")
        check("cbHTTPAuthenticate")->setChecked(false);
    else if (tweak == "device key missing")
        edit("leDevicePrivateKey")->setText(m_folder + "missing.key");
    else if (tweak == "device cert missing")
        edit("leDeviceCertificate")->setText(QString());
    else if (tweak == "device not encrypted")
        check("cbDeviceServerEncrypted")->setChecked(false);
    else if (tweak == "https key missing")
        edit("leHTTPPrivateKey")->setText(m_folder + "missing.key");
    else if (tweak == "https cert missing")
        edit("leHTTPCertificate")->setText(m_folder + "missing.crt");
    else
        qFatal("unknown tweak %s", qPrintable(tweak));
}

void TestServerConfigForm::validation_data()
{
    QTest::addColumn<QStringList>("tweaks");
    QTest::addColumn<QStringList>("messages");

    const auto row = [](const char *name, const QStringList &tweaks, const QStringList &messages) {
        QTest::newRow(name) << tweaks << messages;
    };
    // Passing inputs: saved, no box.
    row("valid", {}, {});
    row("smtp without authentication needs no user",
        {"smtp no auth", "smtp user empty", "smtp password empty"}, {});
    row("level None needs no recipient", {"level none", "no recipients"}, {});
    row("e-mail off skips smtp and recipient checks",
        {"email off", "smtp address empty", "smtp port 0", "from bad", "no recipients"}, {});
    row("web auth off needs no user", {"web auth off", "web user empty", "web password empty"}, {});
    row("missing files are fine when not encrypted",
        {"device not encrypted", "device key missing", "web servers off", "https key missing"}, {});

    // One failed check each.
    row("smtp address empty", {"smtp address empty"}, {kInvalidSmtp});
    row("smtp port 0", {"smtp port 0"}, {kInvalidSmtp});
    row("smtp user empty", {"smtp user empty"}, {kInvalidSmtp});
    row("smtp password empty", {"smtp password empty"}, {kInvalidSmtp});
    row("from bad", {"from bad"}, {kInvalidFrom});
    row("from empty", {"from empty"}, {kInvalidSmtp, kInvalidFrom});
    row("no recipients", {"no recipients"}, {kNoRecipient});
    row("same web ports", {"https port = http port"}, {kSameWebPorts});
    row("same web ports, both off", {"web servers off", "https port = http port"}, {kSameWebPorts});
    row("device port = http", {"device port = http port"}, {kSameDevicePort});
    row("device port = https", {"device port = https port"}, {kSameDevicePort});
    row("web user empty", {"web user empty"}, {kWebAuthBlank});
    row("web password empty", {"web password empty"}, {kWebAuthBlank});
    row("device key missing", {"device key missing"}, {kDeviceFiles});
    row("device cert missing", {"device cert missing"}, {kDeviceFiles});
    row("https key missing", {"https key missing"}, {kHttpsFiles});
    row("https cert missing", {"https cert missing"}, {kHttpsFiles});

    // Every check runs: the boxes come one after another, in check order.
    row("all at once",
        {"smtp address empty", "from bad", "no recipients", "https port = http port",
         "device port = http port", "web password empty", "device key missing", "https cert missing"},
        {kInvalidSmtp, kInvalidFrom, kNoRecipient, kSameWebPorts, kSameDevicePort, kWebAuthBlank,
         kDeviceFiles, kHttpsFiles});
}

void TestServerConfigForm::validation()
{
    QFETCH(QStringList, tweaks);
    QFETCH(QStringList, messages);

    writeValidConfig();
    TVXSCServerConfigForm form;
    form.show();
    for (const QString &tweak : tweaks)
        applyTweak(&form, tweak);
    const QByteArray before = fileBytes(iniPath());

    ModalAnswerer answerer;
    child<QPushButton>(&form, "pbSave")->click();

    QCOMPARE(answerer.seenTexts(), messages);
    for (const ModalAnswerer::Seen &seen : answerer.seen())
        QCOMPARE(seen.title, QStringLiteral("Error"));
    if (messages.isEmpty()) {
        QVERIFY(!form.isVisible());
        QVERIFY(tweaks.isEmpty() || fileBytes(iniPath()) != before);
        if (tweaks.contains("email off")) {
            // The SMTP fields are written as shown even though e-mail is off.
            QSettings s(iniPath(), QSettings::IniFormat);
            QCOMPARE(s.value("email/enabled").toBool(), false);
            QCOMPARE(s.value("email/smtpAddress").toString(), QString());
            QCOMPARE(s.value("email/smtpPort").toInt(), 0);
            QCOMPARE(s.value("email/errorFromAddress").toString(), QStringLiteral("alerts@example"));
            QCOMPARE(s.value("email/errorToAddresses").toString(), QString());
        }
    } else {
        QVERIFY(form.isVisible());
        QCOMPARE(fileBytes(iniPath()), before);
    }
}

// The boxes are parentless, untitled but for "Error", without icon, and
// offer Ok only.
void TestServerConfigForm::messageBoxLook()
{
    writeValidConfig();
    TVXSCServerConfigForm form;
    form.show();
    applyTweak(&form, "https port = http port");

    QMessageBox::Icon icon = QMessageBox::Critical;
    QMessageBox::StandardButtons buttons;
    QObject *parent = &form;
    bool modal = false;
    QTimer probe;
    probe.setInterval(5);
    connect(&probe, &QTimer::timeout, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            icon = box->icon();
            buttons = box->standardButtons();
            parent = box->parent();
            modal = box->isModal();
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        }
    });
    probe.start();
    child<QPushButton>(&form, "pbSave")->click();

    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(int(buttons), int(QMessageBox::Ok));
    QVERIFY(!parent);
    QVERIFY(modal);
}

void TestServerConfigForm::successfulSaveWritesEveryKey()
{
    writeValidConfig();
    TVXSCServerConfigForm form;
    form.show();

    const QString deviceKey = makeFile("new-device.key");
    const QString deviceCert = makeFile("new-device.crt");
    const QString webKey = makeFile("new-web.key");
    const QString webCert = makeFile("new-web.crt");

    child<QSpinBox>(&form, "sbDeviceServerPortNo")->setValue(27002);
    child<QLineEdit>(&form, "leDevicePrivateKey")->setText(deviceKey);
    child<QLineEdit>(&form, "leDeviceCertificate")->setText(deviceCert);
    child<QLineEdit>(&form, "leSharedKey")->setText("another-secret");
    child<QCheckBox>(&form, "cbAutoAddDevices")->setChecked(true);
    child<QSpinBox>(&form, "sbWebServerPortNo")->setValue(81);
    child<QCheckBox>(&form, "cbWebServerEnabled")->setChecked(false);
    child<QSpinBox>(&form, "sbWebServerSSLPortNo")->setValue(444);
    child<QLineEdit>(&form, "leHTTPPrivateKey")->setText(webKey);
    child<QLineEdit>(&form, "leHTTPCertificate")->setText(webCert);
    child<QLineEdit>(&form, "leHTTPUsername")->setText("operator");
    child<QLineEdit>(&form, "leHTTPPassword")->setText("pa55word");
    child<QLineEdit>(&form, "leSMTPAddress")->setText("mail.example.net");
    child<QSpinBox>(&form, "sbSMTPPortNo")->setValue(465);
    child<QLineEdit>(&form, "leSMTPUsername")->setText("smtp-user");
    child<QLineEdit>(&form, "leSMTPPassword")->setText("smtp-pass");
    child<QComboBox>(&form, "cbSMTPEncryption")->setCurrentIndex(1);
    child<QLineEdit>(&form, "leSMTPFrom")->setText("server@example.net");
    child<QComboBox>(&form, "cbEventLogEmailLevel")->setCurrentIndex(3);
    child<QLineEdit>(&form, "leEventSubject")->setText("Veltrix event");
    child<QLineEdit>(&form, "leToAddressInput")->setText("third@example.com");
    child<QPushButton>(&form, "pbAddToAddress")->click();
    child<QComboBox>(&form, "cbUnitsOfMeasure")->setCurrentIndex(11);
    child<QCheckBox>(&form, "cbFollowUpEmailEnable")->click();
    child<QSpinBox>(&form, "sbFollowUpEmailPeriod")->setValue(12);
    auto *zones = child<QListWidget>(&form, "lwTimezones");
    zones->item(0)->setSelected(true);
    child<QPushButton>(&form, "pbRemoveTimezone")->click();
    auto *zoneList = child<QComboBox>(&form, "cbTimezoneList");
    QVERIFY(zoneList->count() > 0);
    zoneList->setCurrentIndex(0);
    const QString addedZone = zoneList->currentText();
    child<QPushButton>(&form, "pbAddTimezone")->click();
    child<QPushButton>(&form, "pbAddTimezone")->click();
    child<QTimeEdit>(&form, "teMaintenanceTime")->setTime(QTime(22, 15));
    child<QCheckBox>(&form, "cbRemoveOldImages")->click();
    child<QSpinBox>(&form, "sbDaysToKeepImages")->setValue(90);

    ModalAnswerer answerer;
    child<QPushButton>(&form, "pbSave")->click();
    QCOMPARE(answerer.seenTexts(), QStringList());
    QVERIFY(!form.isVisible());

    QSettings s(iniPath(), QSettings::IniFormat);
    const QList<QPair<QString, QVariant>> expected = {
        {"devicePort", 27002},
        {"deviceServerEncrypted", true},
        {"deviceServerPrivateKeyPath", deviceKey},
        {"deviceServerCertificatePath", deviceCert},
        {"deviceServerSharedKey", "another-secret"},
        {"devices/autoAdd", true},
        {"webServerPort", 81},
        {"webServerEnabled", false},
        {"webServerEncryptedPort", 444},
        {"webServerEncryptedEnabled", true},
        {"webServerPrivateKeyPath", webKey},
        {"webServerCertificatePath", webCert},
        {"email/enabled", true},
        {"email/smtpAddress", "mail.example.net"},
        {"email/smtpPort", 465},
        {"email/smtpUsername", "smtp-user"},
        {"email/smtpPassword", "smtp-pass"},
        {"email/smtpAuthenticate", true},
        {"email/smtpEncryption", 1},
        {"email/errorFromAddress", "server@example.net"},
        {"email/eventLevel", 3},
        {"email/errorToAddresses", "ops@example.com,Boss@Example.org,third@example.com"},
        {"email/eventSubject", "Veltrix event"},
        {"unitsOfMeasure", 11},
        {"followUpEmailEnabled", false},
        {"followUpEmailPeriod", 12},
        {"timezones", QStringList({"Pacific/Auckland", addedZone, addedZone}).join(',')},
        {"maintenance/time", "22:15:00"},
        {"maintenance/daysToKeepImages", 90},
        {"maintenance/clearOldImages", false},
        {"webAuth/authenticate", true},
        {"webAuth/Users/size", 1},
        {"webAuth/Users/1/username", "operator"},
        {"webAuth/Users/1/password", md5("pa55word")},
    };
    for (const auto &pair : expected) {
        QVERIFY2(s.contains(pair.first), qPrintable(pair.first));
        QCOMPARE(s.value(pair.first).toString(), pair.second.toString());
    }
}

void TestServerConfigForm::webUserPassword_data()
{
    QTest::addColumn<bool>("storedUser");
    QTest::addColumn<QString>("username"); // empty: leave the field as loaded
    QTest::addColumn<QString>("password"); // empty: leave the field as loaded
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QString>("storedHash");

    QTest::newRow("untouched keeps hash") << true << ""
                                          << ""
                                          << "admin" << md5("secret");
    QTest::newRow("renamed keeps hash") << true << "root"
                                        << ""
                                        << "root" << md5("secret");
    QTest::newRow("new password is hashed") << true << ""
                                            << "n3w"
                                            << "admin" << md5("n3w");
    QTest::newRow("same password typed again") << true << ""
                                               << "secret"
                                               << "admin" << md5("secret");
    QTest::newRow("first user") << false << "admin"
                                << "first"
                                << "admin" << md5("first");
}

void TestServerConfigForm::webUserPassword()
{
    QFETCH(bool, storedUser);
    QFETCH(QString, username);
    QFETCH(QString, password);
    QFETCH(QString, storedName);
    QFETCH(QString, storedHash);

    writeValidConfig();
    if (!storedUser) {
        QSettings s(iniPath(), QSettings::IniFormat);
        s.remove("webAuth/Users");
    }
    TVXSCServerConfigForm form;
    if (!username.isEmpty())
        child<QLineEdit>(&form, "leHTTPUsername")->setText(username);
    if (!password.isEmpty())
        child<QLineEdit>(&form, "leHTTPPassword")->setText(password);

    ModalAnswerer answerer;
    child<QPushButton>(&form, "pbSave")->click();
    QCOMPARE(answerer.seenTexts(), QStringList());

    QSettings s(iniPath(), QSettings::IniFormat);
    QCOMPARE(s.value("webAuth/Users/size").toInt(), 1);
    QCOMPARE(s.value("webAuth/Users/1/username").toString(), storedName);
    QCOMPARE(s.value("webAuth/Users/1/password").toString(), storedHash);
}

// One stored recipient that is not an address must not cost the others: only
// it is dropped, and the next Save keeps the rest.
void TestServerConfigForm::invalidStoredRecipientsAreSkipped()
{
    writeValidConfig();
    {
        QSettings s(iniPath(), QSettings::IniFormat);
        s.setValue("email/errorToAddresses",
                   "not-an-address,ops@example.com,,boss@example.org ,it@example.org");
    }
    TVXSCServerConfigForm form;
    QCOMPARE(listTexts(child<QListWidget>(&form, "lwEventLogToAddresses")),
             QStringList({"ops@example.com", "it@example.org"}));

    ModalAnswerer answerer;
    child<QPushButton>(&form, "pbSave")->click();
    QCOMPARE(answerer.seenTexts(), QStringList());
    QSettings s(iniPath(), QSettings::IniFormat);
    QCOMPARE(s.value("email/errorToAddresses").toString(), QStringLiteral("ops@example.com,it@example.org"));
}

void TestServerConfigForm::unwritableFileKeepsDialogOpen_data()
{
    QTest::addColumn<QString>("blocker");
    QTest::newRow("folder is a file") << "folder";
    QTest::newRow("file is a folder") << "file";
    QTest::newRow("read-only file") << "read-only";
}

// A save that does not reach the file must say so and keep the dialog open
// with the input, not close as if saved.
void TestServerConfigForm::unwritableFileKeepsDialogOpen()
{
    QFETCH(QString, blocker);

    writeValidConfig();
    if (blocker == "folder") {
        QVERIFY(QDir(m_programData).removeRecursively());
        QFile file(m_programData);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (blocker == "file") {
        QVERIFY(QFile::remove(iniPath()));
        QVERIFY(QDir().mkpath(iniPath()));
    } else {
        QVERIFY(QFile::setPermissions(iniPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        if (QFileInfo(iniPath()).isWritable())
            QSKIP("this user may write read-only files");
    }
    const QByteArray before = fileBytes(iniPath());

    TVXSCServerConfigForm form;
    form.show();
    // Nothing could be loaded in the first two cases: make the input pass.
    child<QSpinBox>(&form, "sbDeviceServerPortNo")->setValue(26001);
    child<QSpinBox>(&form, "sbWebServerPortNo")->setValue(8080);
    child<QSpinBox>(&form, "sbWebServerSSLPortNo")->setValue(8443);
    child<QCheckBox>(&form, "cbEmailEnable")->setChecked(false);
    child<QCheckBox>(&form, "cbHTTPAuthenticate")->setChecked(false);
    child<QCheckBox>(&form, "cbDeviceServerEncrypted")->setChecked(false);
    child<QCheckBox>(&form, "cbWebServerSSLEnabled")->setChecked(false);
    child<QLineEdit>(&form, "leSharedKey")->setText("typed-key");

    ModalAnswerer answerer;
    child<QPushButton>(&form, "pbSave")->click();

    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().first().title, QStringLiteral("Error"));
    QCOMPARE(answerer.seen().first().text, QStringLiteral("The settings could not be saved to \"%1\".")
                                               .arg(QDir::toNativeSeparators(iniPath())));
    QVERIFY(form.isVisible());
    QCOMPARE(child<QLineEdit>(&form, "leSharedKey")->text(), QStringLiteral("typed-key"));
    QCOMPARE(fileBytes(iniPath()), before);
    form.close();

    // Once the file can be written again, the rejected input must not turn up
    // in it through the next settings object on the same file.
    if (blocker == "folder") {
        QVERIFY(QFile::remove(m_programData));
        QVERIFY(QDir().mkpath(m_folder));
    } else if (blocker == "file") {
        QVERIFY(QDir(iniPath()).removeRecursively());
    } else {
        QVERIFY(QFile::setPermissions(iniPath(), QFile::ReadOwner | QFile::WriteOwner));
    }
    QFile file(iniPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[General]\ndeviceServerSharedKey=from-file\n");
    file.close();
    TVXSCServerConfigForm again;
    QVERIFY(child<QLineEdit>(&again, "leSharedKey")->text() != QStringLiteral("typed-key"));
    QVERIFY(!fileBytes(iniPath()).contains("typed-key"));
}

void TestServerConfigForm::addressAndTimezoneLists()
{
    writeValidConfig();
    TVXSCServerConfigForm form;
    auto *addresses = child<QListWidget>(&form, "lwEventLogToAddresses");
    auto *input = child<QLineEdit>(&form, "leToAddressInput");

    ModalAnswerer answerer;
    input->setText("new@example.com ");
    child<QPushButton>(&form, "pbAddToAddress")->click();
    QCOMPARE(answerer.seenTexts(), QStringList({"Invalid \"To\" Address"}));
    QCOMPARE(input->text(), QStringLiteral("new@example.com "));
    QCOMPARE(addresses->count(), 2);

    input->setText("ops@example.com"); // duplicates are allowed
    child<QPushButton>(&form, "pbAddToAddress")->click();
    QCOMPARE(answerer.seen().size(), 1);
    QVERIFY(input->text().isEmpty());
    QCOMPARE(listTexts(addresses), QStringList({"ops@example.com", "Boss@Example.org", "ops@example.com"}));

    addresses->item(0)->setSelected(true);
    addresses->item(2)->setSelected(true);
    child<QPushButton>(&form, "pbRemoveToAddress")->click();
    QCOMPARE(listTexts(addresses), QStringList({"Boss@Example.org"}));

    auto *zones = child<QListWidget>(&form, "lwTimezones");
    auto *zoneList = child<QComboBox>(&form, "cbTimezoneList");
    QVERIFY(zoneList->count() > 1);
    zoneList->setCurrentIndex(1);
    child<QPushButton>(&form, "pbAddTimezone")->click();
    child<QPushButton>(&form, "pbAddTimezone")->click();
    QCOMPARE(listTexts(zones), QStringList({"Europe/Berlin", "Pacific/Auckland", zoneList->itemText(1),
                                            zoneList->itemText(1)}));
    zones->selectAll();
    child<QPushButton>(&form, "pbRemoveTimezone")->click();
    QCOMPARE(zones->count(), 0);
}

void TestServerConfigForm::filePickers_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("caption");
    QTest::newRow("device key") << "pbDevicePrivateKey"
                                << "leDevicePrivateKey"
                                << "Select Private Key File";
    QTest::newRow("device cert") << "pbDeviceCertificate"
                                 << "leDeviceCertificate"
                                 << "Select Certificate File";
    QTest::newRow("web key") << "pbHTTPPrivateKey"
                             << "leHTTPPrivateKey"
                             << "Select Private Key File";
    QTest::newRow("web cert") << "pbHTTPCertificate"
                              << "leHTTPCertificate"
                              << "Select Certificate File";
}

void TestServerConfigForm::filePickers()
{
    QFETCH(QString, button);
    QFETCH(QString, edit);
    QFETCH(QString, caption);

    writeValidConfig();
    const QString picked = makeFile("picked.pem");
    TVXSCServerConfigForm form;
    form.show();
    auto *lineEdit = child<QLineEdit>(&form, qPrintable(edit));
    const QString loaded = lineEdit->text();

    ModalAnswerer answerer;
    answerer.answerFile(QString()); // cancelled: the text stays
    child<QPushButton>(&form, qPrintable(button))->click();
    QCOMPARE(lineEdit->text(), loaded);

    answerer.answerFile(picked);
    child<QPushButton>(&form, qPrintable(button))->click();
    QCOMPARE(lineEdit->text(), picked);

    QCOMPARE(answerer.seen().size(), 2);
    for (const ModalAnswerer::Seen &seen : answerer.seen()) {
        QCOMPARE(seen.className, QStringLiteral("QFileDialog"));
        QCOMPARE(seen.title, caption);
    }
}

void TestServerConfigForm::cancelWritesNothing()
{
    writeValidConfig();
    TVXSCServerConfigForm form;
    form.show();
    const QByteArray before = fileBytes(iniPath());
    child<QSpinBox>(&form, "sbDeviceServerPortNo")->setValue(1234);
    child<QPushButton>(&form, "pbCancel")->click();
    QVERIFY(!form.isVisible());
    QCOMPARE(fileBytes(iniPath()), before);
}

// Renders the dialog with the application's fonts and style sheet. Set
// VX_SCREENSHOT_DIR to keep the picture (docs/screenshots in the source tree).
void TestServerConfigForm::screenshot()
{
    const QString resources = qEnvironmentVariable("VX_SOURCE_DIR") + QStringLiteral("/resources/");
    for (const char *font : {"Switzerland Condensed Bold.ttf", "arial.ttf", "arialbd.ttf", "cmunss.ttf",
                             "texgyrepagella-regular.otf"})
        QFontDatabase::addApplicationFont(resources + QLatin1String(font));
    QFile style(resources + QStringLiteral("style.css"));
    if (style.open(QIODevice::ReadOnly | QIODevice::Text))
        qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
    // The offscreen platform's 12 pt default font is far larger than a
    // desktop's; draw with the size Windows uses.
    const QFont platformFont = qApp->font();
    qApp->setFont(QFont(QStringLiteral("Liberation Sans"), 9));

    writeValidConfig();
    {
        QSettings s(iniPath(), QSettings::IniFormat);
        s.setValue("deviceServerPrivateKeyPath", "C:/ProgramData/VeltrixServer/device.key");
        s.setValue("deviceServerCertificatePath", "C:/ProgramData/VeltrixServer/device.crt");
        s.setValue("webServerPrivateKeyPath", "C:/ProgramData/VeltrixServer/web.key");
        s.setValue("webServerCertificatePath", "C:/ProgramData/VeltrixServer/web.crt");
        s.setValue("timezones", "Australia/Adelaide,Australia/Brisbane,Australia/Melbourne,Australia/Perth,"
                                "Australia/Sydney,Pacific/Auckland");
    }
    TVXSCServerConfigForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QImage image = form.grab().toImage();
    qApp->setStyleSheet(QString());
    qApp->setFont(platformFont);
    QCOMPARE(image.size() / image.devicePixelRatio(), QSize(888, 773));

    const QString target = qEnvironmentVariable("VX_SCREENSHOT_DIR");
    if (!target.isEmpty())
        QVERIFY(image.save(target + QStringLiteral("/server-configuration.png")));
}

QTEST_MAIN(TestServerConfigForm)
#include "tst_serverconfigform.moc"
