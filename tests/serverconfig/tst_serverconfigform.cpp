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
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTimeZone>
#include <QtTest>

using Veltrix::Server::Controller::TVXSCServerConfigForm;

namespace {

const QString invalidSmtp = QStringLiteral("Invalid SMTP Settings");
const QString invalidFrom = QStringLiteral("Invalid \"From\" Address");
const QString noRecipient = QStringLiteral("Must add at least one \"TO\" Address");
const QString sameWebPorts = QStringLiteral("HTTP and HTTPS servers cannot use the same port.");
const QString sameDevicePort = QStringLiteral("Device and HTTP/HTTPS servers cannot use the same port.");
const QString webAuthBlank =
    QStringLiteral("If Web Authentication is enabled, Username and Password cannot be blank.");
const QString deviceFiles = QStringLiteral(
    "If Device Server is encrypted, valid Private Key and Certificate files need to be provided.");
const QString httpsFiles =
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

template <class W> W *child(QWidget *form, const QString &name)
{
    W *widget = form->findChild<W *>(name);
    if (!widget)
        qFatal("widget %s missing", qPrintable(name));
    return widget;
}

// The value a widget shows, whatever its kind.
QVariant shown(QWidget *form, const QString &name)
{
    QWidget *w = child<QWidget>(form, name);
    if (auto *edit = qobject_cast<QLineEdit *>(w))
        return edit->text();
    if (auto *spin = qobject_cast<QSpinBox *>(w))
        return spin->value();
    if (auto *check = qobject_cast<QCheckBox *>(w))
        return check->isChecked();
    if (auto *combo = qobject_cast<QComboBox *>(w))
        return combo->currentIndex();
    if (auto *time = qobject_cast<QTimeEdit *>(w))
        return time->time();
    QStringList texts;
    auto *list = qobject_cast<QListWidget *>(w);
    for (int row = 0; list && row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

// Types the values into the form: {object name: value}.
void enter(QWidget *form, const QVariantMap &values)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        QWidget *w = child<QWidget>(form, it.key());
        if (auto *edit = qobject_cast<QLineEdit *>(w))
            edit->setText(it.value().toString());
        else if (auto *spin = qobject_cast<QSpinBox *>(w))
            spin->setValue(it.value().toInt());
        else if (auto *check = qobject_cast<QCheckBox *>(w))
            check->setChecked(it.value().toBool());
        else if (auto *combo = qobject_cast<QComboBox *>(w))
            combo->setCurrentIndex(it.value().toInt());
        else if (auto *time = qobject_cast<QTimeEdit *>(w))
            time->setTime(it.value().toTime());
        else if (auto *list = qobject_cast<QListWidget *>(w)) {
            list->clear();
            list->addItems(it.value().toStringList());
        }
    }
}

void clickSave(QWidget *form)
{
    child<QPushButton>(form, QStringLiteral("pbSave"))->click();
}

// Each input, its key, the valid value stored before a case and the value a
// save case types in, both as the widget shows them. Key and certificate
// names stand for existing files in the settings folder.
struct Field
{
    const char *widget;
    const char *key;
    QVariant stored;
    QVariant typed;
};

const QList<Field> &fields()
{
    static const QList<Field> table = {
        {"sbDeviceServerPortNo", "devicePort", 26001, 27002},
        {"cbDeviceServerEncrypted", "deviceServerEncrypted", true, true},
        {"leDevicePrivateKey", "deviceServerPrivateKeyPath", "device.key", "new-device.key"},
        {"leDeviceCertificate", "deviceServerCertificatePath", "device.crt", "new-device.crt"},
        {"leSharedKey", "deviceServerSharedKey", "shared-secret", "another-secret"},
        {"cbAutoAddDevices", "devices/autoAdd", false, true},
        {"sbWebServerPortNo", "webServerPort", 8080, 81},
        {"cbWebServerEnabled", "webServerEnabled", true, false},
        {"sbWebServerSSLPortNo", "webServerEncryptedPort", 8443, 444},
        {"cbWebServerSSLEnabled", "webServerEncryptedEnabled", true, true},
        {"leHTTPPrivateKey", "webServerPrivateKeyPath", "web.key", "new-web.key"},
        {"leHTTPCertificate", "webServerCertificatePath", "web.crt", "new-web.crt"},
        {"cbHTTPAuthenticate", "webAuth/authenticate", true, true},
        {"leHTTPUsername", "webAuth/Users/1/username", "admin", "operator"},
        {"cbEmailEnable", "email/enabled", true, true},
        {"leSMTPAddress", "email/smtpAddress", "smtp.example.com", "mail.example.net"},
        {"sbSMTPPortNo", "email/smtpPort", 587, 465},
        {"leSMTPUsername", "email/smtpUsername", "alerts@example.com", "smtp-user"},
        {"leSMTPPassword", "email/smtpPassword", "mail-pass", "smtp-pass"},
        {"cbSMTPAuthenticate", "email/smtpAuthenticate", true, true},
        {"cbSMTPEncryption", "email/smtpEncryption", 2, 1},
        {"leSMTPFrom", "email/errorFromAddress", "alerts@example.com", "server@example.net"},
        {"cbEventLogEmailLevel", "email/eventLevel", 1, 3},
        {"leEventSubject", "email/eventSubject", "Server event", "Veltrix event"},
        {"lwEventLogToAddresses", "email/errorToAddresses",
         QStringList({"ops@example.com", "Boss@Example.org"}),
         QStringList({"ops@example.com", "third@example.com"})},
        {"cbUnitsOfMeasure", "unitsOfMeasure", 5, 11},
        {"cbFollowUpEmailEnable", "followUpEmailEnabled", true, false},
        {"sbFollowUpEmailPeriod", "followUpEmailPeriod", 6, 12},
        {"lwTimezones", "timezones", QStringList({"Europe/Berlin", "Pacific/Auckland"}),
         QStringList({"Pacific/Auckland", "UTC", "UTC"})},
        {"teMaintenanceTime", "maintenance/time", QTime(4, 30), QTime(22, 15)},
        {"cbRemoveOldImages", "maintenance/clearOldImages", true, false},
        {"sbDaysToKeepImages", "maintenance/daysToKeepImages", 45, 90},
    };
    return table;
}

// A widget's value as the file holds it.
QVariant stored(const QVariant &value)
{
    if (value.type() == QVariant::StringList)
        return value.toStringList().join(',');
    if (value.type() == QVariant::Time)
        return value.toTime().toString(QStringLiteral("hh:mm:ss"));
    return value;
}

} // namespace

class TestServerConfigForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("home-config"))));
    }
    // Every case gets a folder of its own: the settings file is found through the
    // configuration locations, the first one holding "ProgramData".
    void init()
    {
        const QString caseRoot = m_root.filePath(QStringLiteral("case%1").arg(++m_case));
        m_programData = caseRoot + QStringLiteral("/ProgramData");
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_programData));
        m_folder = m_programData + QStringLiteral("/VeltrixServer/");
        QVERIFY(QDir().mkpath(m_folder));
        QCOMPARE(Veltrix::Server::settingsFilePath(), iniPath());
    }

    void loadsStoredValues()
    {
        writeValidConfig();
        TVXSCServerConfigForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Server Configuration"));
        for (const Field &field : fields())
            QVERIFY2(shown(&form, field.widget) == withFiles(field.stored), field.widget);
        QCOMPARE(shown(&form, "leHTTPPassword"), QVariant(md5("secret")));

        // The stored unit is an index into this list, which the server shares.
        auto *units = child<QComboBox>(&form, "cbUnitsOfMeasure");
        QStringList unitNames;
        for (int i = 0; i < units->count(); ++i)
            unitNames << units->itemText(i);
        QCOMPARE(unitNames, QStringList({"g/100ml", "% BAC", "Promille w/w", "Promille w/v", "mg/mL", "g/L",
                                         "mg/100mL", "ug/L", "ug/100mL", "mg/L", "g/210L", "g/230L"}));
        QCOMPARE(child<QComboBox>(&form, "cbTimezoneList")->count(),
                 QTimeZone::availableTimeZoneIds().size());
    }
    void enableStates_data()
    {
        QTest::addColumn<bool>("on");
        QTest::newRow("stored off") << false;
        QTest::newRow("stored on") << true;
    }
    // The SMTP fields follow "Email Notifications", the period its check box and
    // the days box "Remove After", both as loaded and when clicked.
    void enableStates()
    {
        QFETCH(bool, on);
        {
            QSettings s(iniPath(), QSettings::IniFormat);
            s.setValue("email/enabled", on);
            s.setValue("followUpEmailEnabled", on);
            s.setValue("maintenance/clearOldImages", on);
        }
        TVXSCServerConfigForm form;
        for (bool expected : {on, !on}) {
            for (const char *name :
                 {"leSMTPAddress", "sbSMTPPortNo", "leSMTPUsername", "leSMTPPassword", "leSMTPFrom",
                  "cbSMTPAuthenticate", "cbSMTPEncryption", "sbFollowUpEmailPeriod", "sbDaysToKeepImages"})
                QVERIFY2(child<QWidget>(&form, name)->isEnabled() == expected, name);
            for (const char *name : {"cbEventLogEmailLevel", "leEventSubject", "lwEventLogToAddresses"})
                QVERIFY2(child<QWidget>(&form, name)->isEnabled(), name);
            for (const char *box : {"cbEmailEnable", "cbFollowUpEmailEnable", "cbRemoveOldImages"})
                child<QCheckBox>(&form, box)->click();
        }
    }
    void validation_data()
    {
        QTest::addColumn<QVariantMap>("input");
        QTest::addColumn<QStringList>("messages");
        // Input as "object=value;...": a list takes its items joined with ",".
        const auto row = [](const char *name, const QString &input, const QStringList &messages) {
            QVariantMap values;
            for (const QString &pair : input.split(';', Qt::SkipEmptyParts)) {
                const QString object = pair.section('=', 0, 0), value = pair.section('=', 1);
                values.insert(object, object.startsWith("lw") ? QVariant(value.split(',', Qt::SkipEmptyParts))
                                                              : QVariant(value));
            }
            QTest::newRow(name) << values << messages;
        };
        const QString noFrom = "leSMTPFrom=alerts@example", noRecipients = "lwEventLogToAddresses=";
        // Passing inputs: saved, no box.
        row("valid", "", {});
        row("smtp without authentication needs no user",
            "cbSMTPAuthenticate=0;leSMTPUsername=;leSMTPPassword=", {});
        row("level None needs no recipient", "cbEventLogEmailLevel=0;" + noRecipients, {});
        row("e-mail off skips smtp and recipient checks",
            "cbEmailEnable=0;leSMTPAddress=;sbSMTPPortNo=0;" + noFrom + ";" + noRecipients, {});
        row("web auth off needs no user", "cbHTTPAuthenticate=0;leHTTPUsername=", {});
        row("missing files are fine when not encrypted",
            "cbDeviceServerEncrypted=0;leDevicePrivateKey=/"
            "no.key;cbWebServerEnabled=0;cbWebServerSSLEnabled=0;"
            "leHTTPPrivateKey=/no.key",
            {});

        // One failed check each.
        row("smtp address empty", "leSMTPAddress=", {invalidSmtp});
        row("smtp port 0", "sbSMTPPortNo=0", {invalidSmtp});
        row("smtp user empty", "leSMTPUsername=", {invalidSmtp});
        row("smtp password empty", "leSMTPPassword=", {invalidSmtp});
        row("from bad", noFrom, {invalidFrom});
        row("from empty", "leSMTPFrom=", {invalidSmtp, invalidFrom});
        row("no recipients", noRecipients, {noRecipient});
        row("same web ports", "sbWebServerSSLPortNo=8080", {sameWebPorts});
        row("same web ports, both off",
            "cbWebServerEnabled=0;cbWebServerSSLEnabled=0;sbWebServerSSLPortNo=8080", {sameWebPorts});
        row("device port = http", "sbDeviceServerPortNo=8080", {sameDevicePort});
        row("device port = https", "sbDeviceServerPortNo=8443", {sameDevicePort});
        row("web user empty", "leHTTPUsername=", {webAuthBlank});
        row("web password empty", "leHTTPPassword=", {webAuthBlank});
        row("device key missing", "leDevicePrivateKey=/no.key", {deviceFiles});
        row("device cert missing", "leDeviceCertificate=", {deviceFiles});
        row("https key missing", "leHTTPPrivateKey=/no.key", {httpsFiles});
        row("https cert missing", "leHTTPCertificate=/no.crt", {httpsFiles});

        // Every check runs: the boxes come one after another, in check order.
        row("all at once",
            "leSMTPAddress=;" + noFrom + ";" + noRecipients +
                ";sbWebServerSSLPortNo=8080;sbDeviceServerPortNo=8080;leHTTPPassword=;leDevicePrivateKey=/"
                "no.key;"
                "leHTTPCertificate=/no.crt",
            {invalidSmtp, invalidFrom, noRecipient, sameWebPorts, sameDevicePort, webAuthBlank, deviceFiles,
             httpsFiles});
    }
    void validation()
    {
        QFETCH(QVariantMap, input);
        QFETCH(QStringList, messages);

        writeValidConfig();
        TVXSCServerConfigForm form;
        form.show();
        enter(&form, input);
        const QByteArray before = fileBytes(iniPath());

        ModalAnswerer answerer;
        clickSave(&form);

        QCOMPARE(answerer.seenTexts(), messages);
        for (const ModalAnswerer::Seen &seen : answerer.seen())
            QCOMPARE(seen.title, QStringLiteral("Error"));
        QCOMPARE(form.isVisible(), !messages.isEmpty());
        QCOMPARE(fileBytes(iniPath()) == before, !messages.isEmpty() || input.isEmpty());
        if (input.contains("cbEmailEnable")) {
            // The SMTP fields are written as shown even though e-mail is off.
            QSettings s(iniPath(), QSettings::IniFormat);
            QCOMPARE(s.value("email/enabled").toBool(), false);
            QCOMPARE(s.value("email/smtpAddress").toString(), QString());
            QCOMPARE(s.value("email/smtpPort").toInt(), 0);
            QCOMPARE(s.value("email/errorFromAddress").toString(), QStringLiteral("alerts@example"));
            QCOMPARE(s.value("email/errorToAddresses").toString(), QString());
        }
    }
    void successfulSaveWritesEveryKey()
    {
        writeValidConfig();
        TVXSCServerConfigForm form;
        form.show();
        QVariantMap input;
        for (const Field &field : fields())
            input.insert(field.widget, withFiles(field.typed));
        enter(&form, input);

        ModalAnswerer answerer;
        clickSave(&form);
        QCOMPARE(answerer.seenTexts(), QStringList());
        QVERIFY(!form.isVisible());

        QSettings s(iniPath(), QSettings::IniFormat);
        for (const Field &field : fields()) {
            QVERIFY2(s.contains(field.key), field.key);
            QCOMPARE(s.value(field.key).toString(), stored(withFiles(field.typed)).toString());
        }
        QCOMPARE(s.value("webAuth/Users/size").toInt(), 1);
    }
    void webUserPassword_data()
    {
        QTest::addColumn<bool>("storedUser");
        QTest::addColumn<QVariantMap>("input");
        QTest::addColumn<QString>("storedName");
        QTest::addColumn<QString>("storedHash");

        const auto row = [](const char *name, bool stored, const QVariantMap &input, const char *user,
                            const char *password) {
            QTest::newRow(name) << stored << input << QString(user) << md5(password);
        };
        row("untouched keeps hash", true, {}, "admin", "secret");
        row("renamed keeps hash", true, {{"leHTTPUsername", "root"}}, "root", "secret");
        row("new password is hashed", true, {{"leHTTPPassword", "n3w"}}, "admin", "n3w");
        row("same password typed again", true, {{"leHTTPPassword", "secret"}}, "admin", "secret");
        row("first user", false, {{"leHTTPUsername", "admin"}, {"leHTTPPassword", "first"}}, "admin",
            "first");
    }
    void webUserPassword()
    {
        QFETCH(bool, storedUser);
        QFETCH(QVariantMap, input);
        QFETCH(QString, storedName);
        QFETCH(QString, storedHash);

        writeValidConfig();
        if (!storedUser)
            QSettings(iniPath(), QSettings::IniFormat).remove("webAuth/Users");
        TVXSCServerConfigForm form;
        enter(&form, input);

        ModalAnswerer answerer;
        clickSave(&form);
        QCOMPARE(answerer.seenTexts(), QStringList());

        QSettings s(iniPath(), QSettings::IniFormat);
        QCOMPARE(s.value("webAuth/Users/size").toInt(), 1);
        QCOMPARE(s.value("webAuth/Users/1/username").toString(), storedName);
        QCOMPARE(s.value("webAuth/Users/1/password").toString(), storedHash);
    }
    // What the widgets cannot show as stored stays in the file unless the user
    // changes it; the recipients are shown as stored.
    void untouchedValuesSurviveSave_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QVariant>("loaded");
        QTest::addColumn<QVariant>("typed");      // invalid: saved without an edit
        QTest::addColumn<QVariantMap>("written"); // after the edit
        const auto untouched = [](const char *name, const QVariantMap &stored, const char *widget,
                                  const QVariant &loaded) {
            QTest::newRow(name) << stored << QString(widget) << loaded << QVariant() << QVariantMap();
        };
        const QString to = "email/errorToAddresses";
        untouched("recipient with a six-letter domain", {{to, "ops@company.online"}}, "lwEventLogToAddresses",
                  QStringList{"ops@company.online"});
        untouched("recipients with a blank after the comma", {{to, "a@b.com, c@d.com"}},
                  "lwEventLogToAddresses", QStringList{"a@b.com", " c@d.com"});
        untouched("recipients that are no address, in order", {{to, "not-an-address,,ops@example.com"}},
                  "lwEventLogToAddresses", QStringList{"not-an-address", "ops@example.com"});
        untouched("units index 15", {{"unitsOfMeasure", "15"}}, "cbUnitsOfMeasure", -1);
        untouched("encryption 7", {{"email/smtpEncryption", "7"}}, "cbSMTPEncryption", -1);
        untouched("event level 9, shown as read", {{"email/eventLevel", "9"}}, "cbEventLogEmailLevel", 2);
        untouched("flag written as yes", {{"webServerEnabled", "yes"}}, "cbWebServerEnabled", true);
        untouched("period above the box", {{"followUpEmailPeriod", "48"}}, "sbFollowUpEmailPeriod", 24);
        untouched("days above the box", {{"maintenance/daysToKeepImages", "400"}}, "sbDaysToKeepImages", 365);
        untouched("time without seconds", {{"maintenance/time", "04:30"}}, "teMaintenanceTime", QTime(4, 30));
        untouched("empty time zone entry", {{"timezones", "Europe/Berlin,,UTC"}}, "lwTimezones",
                  QStringList{"Europe/Berlin", "UTC"});
        const QVariantMap twoUsers = {{"webAuth/Users/2/username", "guest"},
                                      {"webAuth/Users/2/password", md5("guest")},
                                      {"webAuth/Users/size", 2}};
        untouched("second web user", twoUsers, "leHTTPUsername", "admin");

        QTest::newRow("units index 15, another chosen")
            << QVariantMap{{"unitsOfMeasure", "15"}} << "cbUnitsOfMeasure" << QVariant(-1) << QVariant(3)
            << QVariantMap{{"unitsOfMeasure", 3}};
        QTest::newRow("event level 9, another chosen")
            << QVariantMap{{"email/eventLevel", "9"}} << "cbEventLogEmailLevel" << QVariant(2) << QVariant(1)
            << QVariantMap{{"email/eventLevel", 1}};
        QTest::newRow("first of two web users renamed")
            << twoUsers << "leHTTPUsername" << QVariant("admin") << QVariant("root")
            << QVariantMap{{"webAuth/Users/1/username", "root"},
                           {"webAuth/Users/1/password", md5("secret")},
                           {"webAuth/Users/2/username", "guest"},
                           {"webAuth/Users/size", 2}};
    }
    void untouchedValuesSurviveSave()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QString, widget);
        QFETCH(QVariant, loaded);
        QFETCH(QVariant, typed);
        QFETCH(QVariantMap, written);

        writeValidConfig();
        {
            QSettings s(iniPath(), QSettings::IniFormat);
            for (auto it = stored.cbegin(); it != stored.cend(); ++it)
                s.setValue(it.key(), it.value());
        }
        TVXSCServerConfigForm form;
        const QByteArray before = fileBytes(iniPath());
        QCOMPARE(shown(&form, widget), loaded);
        if (typed.isValid())
            enter(&form, {{widget, typed}});

        ModalAnswerer answerer;
        clickSave(&form);
        QCOMPARE(answerer.seenTexts(), QStringList());
        if (!typed.isValid())
            QCOMPARE(fileBytes(iniPath()), before);
        QSettings s(iniPath(), QSettings::IniFormat);
        for (auto it = written.cbegin(); it != written.cend(); ++it)
            QCOMPARE(s.value(it.key()).toString(), it.value().toString());
    }
    void unwritableFileKeepsDialogOpen_data()
    {
        QTest::addColumn<QString>("blocker");
        QTest::newRow("folder is a file") << "folder";
        QTest::newRow("read-only file") << "read-only";
    }
    // A save that does not reach the file must say so and keep the dialog open
    // with the input, not close as if saved.
    void unwritableFileKeepsDialogOpen()
    {
        QFETCH(QString, blocker);

        writeValidConfig();
        if (blocker == "folder") {
            QVERIFY(QDir(m_programData).removeRecursively());
            QFile file(m_programData);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QFile::setPermissions(iniPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
            if (QFileInfo(iniPath()).isWritable())
                QSKIP("this user may write read-only files");
        }
        const QByteArray before = fileBytes(iniPath());

        TVXSCServerConfigForm form;
        form.show();
        // Nothing could be loaded in the first case: make the input pass.
        enter(&form, {{"sbDeviceServerPortNo", 26001},
                      {"sbWebServerPortNo", 8080},
                      {"sbWebServerSSLPortNo", 8443},
                      {"cbEmailEnable", false},
                      {"cbHTTPAuthenticate", false},
                      {"cbDeviceServerEncrypted", false},
                      {"cbWebServerSSLEnabled", false},
                      {"leSharedKey", "typed-key"}});

        ModalAnswerer answerer;
        clickSave(&form);

        QCOMPARE(answerer.seen().size(), 1);
        QCOMPARE(answerer.seen().first().title, QStringLiteral("Error"));
        QCOMPARE(answerer.seen().first().text, QStringLiteral("The settings could not be saved to \"%1\".")
                                                   .arg(QDir::toNativeSeparators(iniPath())));
        QVERIFY(form.isVisible());
        QCOMPARE(shown(&form, "leSharedKey"), QVariant("typed-key"));
        QCOMPARE(fileBytes(iniPath()), before);
        form.close();

        // Once the file can be written again, the rejected input must not turn up
        // in it through the next settings object on the same file.
        if (blocker == "folder") {
            QVERIFY(QFile::remove(m_programData));
            QVERIFY(QDir().mkpath(m_folder));
        } else {
            QVERIFY(QFile::setPermissions(iniPath(), QFile::ReadOwner | QFile::WriteOwner));
        }
        QFile file(iniPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\ndeviceServerSharedKey=from-file\n");
        file.close();
        TVXSCServerConfigForm again;
        QVERIFY(shown(&again, "leSharedKey") != QVariant("typed-key"));
        QVERIFY(!fileBytes(iniPath()).contains("typed-key"));
    }
    void addressAndTimezoneLists()
    {
        writeValidConfig();
        TVXSCServerConfigForm form;
        auto *addresses = child<QListWidget>(&form, "lwEventLogToAddresses");
        auto *input = child<QLineEdit>(&form, "leToAddressInput");
        const auto click = [&form](const char *button) { child<QPushButton>(&form, button)->click(); };

        ModalAnswerer answerer;
        input->setText("new@example.com ");
        click("pbAddToAddress");
        QCOMPARE(answerer.seenTexts(), QStringList({"Invalid \"To\" Address"}));
        QCOMPARE(input->text(), QStringLiteral("new@example.com "));

        input->setText("ops@example.com"); // duplicates are allowed
        click("pbAddToAddress");
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY(input->text().isEmpty());
        QCOMPARE(shown(&form, "lwEventLogToAddresses"),
                 QStringList({"ops@example.com", "Boss@Example.org", "ops@example.com"}));
        addresses->item(0)->setSelected(true);
        addresses->item(2)->setSelected(true);
        click("pbRemoveToAddress");
        QCOMPARE(shown(&form, "lwEventLogToAddresses"), QStringList({"Boss@Example.org"}));

        auto *zoneList = child<QComboBox>(&form, "cbTimezoneList");
        if (QTimeZone::availableTimeZoneIds().contains(QTimeZone::systemTimeZoneId()))
            QCOMPARE(zoneList->currentText(), QString::fromUtf8(QTimeZone::systemTimeZoneId()));
        QVERIFY(zoneList->count() > 1);
        zoneList->setCurrentIndex(1);
        click("pbAddTimezone");
        click("pbAddTimezone");
        const QString added = zoneList->itemText(1);
        QCOMPARE(shown(&form, "lwTimezones"),
                 QStringList({"Europe/Berlin", "Pacific/Auckland", added, added}));
        child<QListWidget>(&form, "lwTimezones")->selectAll();
        click("pbRemoveTimezone");
        QCOMPARE(shown(&form, "lwTimezones"), QStringList());
    }
    void filePickers_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("caption");
        const auto row = [](const char *button, const char *edit, const char *caption) {
            QTest::newRow(button) << button << edit << caption;
        };
        row("pbDevicePrivateKey", "leDevicePrivateKey", "Select Private Key File");
        row("pbDeviceCertificate", "leDeviceCertificate", "Select Certificate File");
        row("pbHTTPPrivateKey", "leHTTPPrivateKey", "Select Private Key File");
        row("pbHTTPCertificate", "leHTTPCertificate", "Select Certificate File");
    }
    void filePickers()
    {
        QFETCH(QString, button);
        QFETCH(QString, edit);
        QFETCH(QString, caption);

        writeValidConfig();
        const QString picked = makeFile("picked.pem");
        TVXSCServerConfigForm form;
        form.show();
        const QVariant loaded = shown(&form, edit);

        ModalAnswerer answerer;
        answerer.answerFile(QString()); // cancelled: the text stays
        child<QPushButton>(&form, button)->click();
        QCOMPARE(shown(&form, edit), loaded);
        answerer.answerFile(picked);
        child<QPushButton>(&form, button)->click();
        QCOMPARE(shown(&form, edit), QVariant(picked));

        QCOMPARE(answerer.seen().size(), 2);
        for (const ModalAnswerer::Seen &seen : answerer.seen()) {
            QCOMPARE(seen.className, QStringLiteral("QFileDialog"));
            QCOMPARE(seen.title, caption);
        }
    }
    void cancelWritesNothing()
    {
        writeValidConfig();
        TVXSCServerConfigForm form;
        form.show();
        const QByteArray before = fileBytes(iniPath());
        enter(&form, {{"sbDeviceServerPortNo", 1234}});
        child<QPushButton>(&form, "pbCancel")->click();
        QVERIFY(!form.isVisible());
        QCOMPARE(fileBytes(iniPath()), before);
    }
    // Renders the dialog with the application's fonts and style sheet. Set
    // VX_SCREENSHOT_DIR to keep the picture (docs/screenshots in the source tree).
    void screenshot()
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
            s.setValue("timezones",
                       "Australia/Adelaide,Australia/Brisbane,Australia/Melbourne,Australia/Perth,"
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

private:
    QString iniPath() const { return m_folder + QStringLiteral("VeltrixServer.ini"); }
    QString makeFile(const QString &name);
    // Makes the files a value names.
    QVariant withFiles(const QVariant &value);
    // A complete, valid configuration that passes every check.
    void writeValidConfig()
    {
        QSettings s(iniPath(), QSettings::IniFormat);
        for (const Field &field : fields())
            s.setValue(field.key, stored(withFiles(field.stored)));
        s.setValue("webAuth/Users/1/password", md5("secret"));
        s.setValue("webAuth/Users/size", 1);
        s.sync();
        QCOMPARE(s.status(), QSettings::NoError);
    }

    QTemporaryDir m_root;
    int m_case = 0;
    QString m_programData;
    QString m_folder;
};

QString TestServerConfigForm::makeFile(const QString &name)
{
    QFile file(m_folder + name);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(file.fileName()));
    file.write("-----BEGIN-----\n");
    return file.fileName();
}

QVariant TestServerConfigForm::withFiles(const QVariant &value)
{
    const QString text = value.toString();
    return text.endsWith(".key") || text.endsWith(".crt") ? makeFile(text) : value;
}

QTEST_MAIN(TestServerConfigForm)
#include "tst_serverconfigform.moc"
