#include "dbmanagertest.h"
#include "tdbdeviceconfigform.h"
#include "tdbdeviceform.h"
#include "tdbemailconfigform.h"
#include "tdblocationconfigform.h"

#include <QDoubleSpinBox>
#include <QTimeZone>

using namespace Veltrix;

namespace {

// Quotes and letters outside ASCII, as names are stored.
const QString awkward = QString::fromUtf8("O'Brien's \"Caf\xc3\xa9\" Z\xc3\xbcrich");
const QStringList zones{QStringLiteral("Australia/Perth"), QStringLiteral("Pacific/Auckland")};

} // namespace

class TestRecordEditors : public QObject
{
    Q_OBJECT

    RecordDatabase m_db;
    int m_run = 0;

private slots:
    void init() { QVERIFY(m_db.create(QStringLiteral("records%1.db").arg(++m_run))); }
    void addDevice_data()
    {
        QTest::addColumn<QString>("serial"); // empty: the offered one
        QTest::addColumn<QString>("error");
        QTest::newRow("offered zeros") << QString() << QString();
        QTest::newRow("seven digits") << QString("1234567") << QString("8 digits long, numbers only");
        QTest::newRow("serial exists") << QString("00000001") << QString("UNIQUE");
    }
    void addDevice()
    {
        QFETCH(QString, serial);
        QFETCH(QString, error);
        m_db.device("00000001");
        TDBDeviceForm form(nullptr, m_db.db.get());
        runAndClose(form);
        click(&form, "pbNew");
        enter(&form, serial.isEmpty() ? QString() : "leSerial=" + serial);
        const QString seen = click(&form, "pbSave").join('|');
        QVERIFY2(error.isEmpty() ? seen.isEmpty()
                                 : seen.startsWith(saveError("").at(0)) && seen.contains(error),
                 qPrintable(seen));
        QCOMPARE(
            m_db.value("SELECT group_concat(serial || connected || state) FROM Devices WHERE DevicesID > 1"),
            error.isEmpty() ? (serial.isEmpty() ? "00000000" : serial) + "06" : "NULL");
    }
    // A new config is offered the devices without one, stored with the keys chosen and shown after the save.
    void deviceConfigs()
    {
        const qint64 first = m_db.device("00000001"), second = m_db.device("00000012");
        m_db.device("00000099");
        const qint64 mailB = m_db.email("B mail"), depot = m_db.location("Depot");
        m_db.email("A mail");
        m_db.location("Annex");
        m_db.config(first, "Aaa", depot);
        TDBDeviceConfigForm form(nullptr, m_db.db.get());
        runAndClose(form);
        QCOMPARE(shown(&form, "cbSerial;cbLocation;leName"), "00000001;Depot;Aaa");

        click(&form, "pbNew");
        QCOMPARE(itemTexts(child<QComboBox>(&form, "cbSerial")), QStringList({"00000012", "00000099"}));
        QCOMPARE(shown(&form, "cbSerial;cbEnabled;cbLocation;cbEmail"), ";true;None;None");
        enter(&form,
              "leName=" + awkward + ";leHostname=gate-pc;cbEnabled=false;cbLocation=Depot;cbEmail=B mail");
        QCOMPARE(click(&form, "pbSave"), saveError("Please select an existing device serial number."));
        enter(&form, "cbSerial=00000012");
        QCOMPARE(click(&form, "pbSave"), QStringList());
        const QString stored =
            "SELECT DeviceName || ';' || ifnull(HostName, '') || ';' || Disabled || ';' || "
            "ifnull(LocationID, 'NULL') || ';' || ifnull(EmailConfigID, 'NULL') FROM "
            "DeviceConfigs WHERE DevicesID = ?";
        QCOMPARE(
            m_db.value(stored, {second}),
            QStringList({awkward, "gate-pc", "1", QString::number(depot), QString::number(mailB)}).join(';'));
        QCOMPARE(shown(&form, "cbRecords;leName"), awkward + ';' + awkward); // not the first config, Aaa

        click(&form, "pbSave"); // Edit
        enter(&form, "leName=Renamed;cbLocation=None;cbEmail=None");
        QCOMPARE(click(&form, "pbSave"), QStringList());
        QCOMPARE(m_db.value(stored, {second}), "Renamed;gate-pc;1;NULL;NULL");
        QCOMPARE(child<QPushButton>(&form, "pbSave")->text() + child<QPushButton>(&form, "pbDelete")->text(),
                 "EditDelete"); // out of editing, the buttons say so again
    }
    void storedZoneKept_data()
    {
        QTest::addColumn<QVariant>("stored"); // null: no zone
        QTest::addColumn<bool>("listHoldsSystemZone");
        QTest::newRow("not in the list") << QVariant("Europe/Oslo") << false;
        QTest::newRow("unknown to this machine") << QVariant("Mars/Olympus") << false;
        QTest::newRow("none, system zone listed") << QVariant() << true;
        QTest::newRow("none, system zone not listed") << QVariant() << false;
    }
    // A location shows its own zone (the machine's if none) and Save keeps it; the next shows the list.
    void storedZoneKept()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, listHoldsSystemZone);
        const QString systemZone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
        const QStringList list = listHoldsSystemZone ? QStringList(zones) << systemZone : zones;
        const qint64 mail = m_db.email("Mail"), perth = m_db.location("A Perth"),
                     odd = m_db.location("B Odd", mail);
        m_db.db->Sql()->exec("UPDATE Location SET Timezone = 'Australia/Perth' WHERE LocationID = ?",
                             {perth});
        m_db.db->Sql()->exec("UPDATE Location SET Timezone = ? WHERE LocationID = ?", {stored, odd});
        const QString zone = stored.isNull() ? systemZone : stored.toString();
        TDBLocationConfigForm form(nullptr, m_db.db.get(), list);
        runAndClose(form);
        QVERIFY(selectId(child<QComboBox>(&form, "cbRecords"), odd));
        QCOMPARE(shown(&form, "cbTimezone;cbEmail"), zone + ";Mail");
        click(&form, "pbSave"); // Edit
        enter(&form, "cbEmail=None");
        QCOMPARE(click(&form, "pbSave"), QStringList());
        QCOMPARE(
            m_db.value("SELECT Timezone || ifnull(EmailConfigID, ' none') FROM Location WHERE LocationID = ?",
                       {odd}),
            zone + " none");
        QVERIFY(selectId(child<QComboBox>(&form, "cbRecords"), perth));
        QCOMPARE(itemTexts(child<QComboBox>(&form, "cbTimezone")), list);
    }
    // Addresses are checked as they are added; a config is stored with or without them.
    void emailConfigs()
    {
        const qint64 mail = m_db.email("Mail");
        TDBEmailConfigForm form(nullptr, m_db.db.get(), 0);
        runAndClose(form);
        click(&form, "pbNew");
        for (const auto &[input, button, address, seen] :
             {std::tuple("leToAddress", "pbAddAddress", "not-an-address", "Error: Invalid \"To\" Address"),
              std::tuple("leSMSAddress", "pbAddSMSAddress", "a@b.com ", "Error: Invalid \"SMS\" Address"),
              std::tuple("leToAddress", "pbAddAddress", "first@site.com", ""),
              std::tuple("leToAddress", "pbAddAddress", "c@d.org", ""),
              std::tuple("leSMSAddress", "pbAddSMSAddress", "0400@sms.net", ""),
              std::tuple("leSMSAddress", "pbAddSMSAddress", "0411@sms.net", "")}) {
            enter(&form, input + QStringLiteral("=") + address);
            QCOMPARE(click(&form, button).join(""), QString(seen));
        }
        child<QListWidget>(&form, "lwToAddresses")->item(0)->setSelected(true);
        click(&form, "pbRemoveAddress");
        child<QListWidget>(&form, "lwSMSAddresses")->item(0)->setSelected(true);
        click(&form, "pbRemoveSMSAddress");
        enter(&form, "leName=Mail");
        QCOMPARE(click(&form, "pbSave"), saveError("An email configuration with this name already exists"));
        enter(&form, "leName=");
        QCOMPARE(click(&form, "pbSave"), saveError("Email Config name cannot be empty"));
        // Longer than the 32767 characters a line edit takes by default.
        const QString message = QString::fromUtf8("\xc3\x9c"
                                                  "ber dem Grenzwert. ")
                                    .repeated(2000);
        enter(&form,
              "leName=" + awkward + ";leSubject=Result 'high';leMessage=" + message + ";sbResultLimit=0.08");
        QCOMPARE(click(&form, "pbSave"), QStringList());
        QCOMPARE(
            m_db.value("SELECT ifnull(toAddresses, 'NULL') || ';' || ifnull(SMSAddress, 'NULL') || ';' || "
                       "subject || ';' || message || ';' || resultLimit FROM EmailConfig WHERE Name = ?",
                       {awkward}),
            "c@d.org;0411@sms.net;Result 'high';" + message + ";0.08");
        QCOMPARE(shown(&form, "leName;lwToAddresses;lwSMSAddresses;leSubject;leMessage;sbResultLimit"),
                 awkward + ";c@d.org;0411@sms.net;Result 'high';" + message + ";0.08");
        QVERIFY(selectId(child<QComboBox>(&form, "cbRecords"), mail));
        QCOMPARE(shown(&form, "leName;lwToAddresses;leSubject;leMessage;sbResultLimit"),
                 "Mail;a@b.com;;;0.05");
        click(&form, "pbDuplicate");
        QCOMPARE(shown(&form, "leName;lwToAddresses"), "Mail_Copy;a@b.com");
    }
    void resultLimit_data()
    {
        QTest::addColumn<int>("units");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("spin"); // decimals and step as shown
        QTest::addColumn<QString>("saved");
        const auto row = [](const char *name, int units, const char *stored, const char *spin,
                            const char *saved) { QTest::newRow(name) << units << stored << spin << saved; };
        row("g/100ml", 0, "0.08", "3 0.001", "0.08");
        row("ug/L, finer than the units", 7, "0.05", "2 1", "0.05");
        row("g/210L, four digits", 10, "1234", "3 0.001", "1234");
        row("mg/L, above the usual range", 9, "2500000", "2 0.01", "2500000");
        row("old exponent form", 0, "1.23e+03", "3 0.001", "1230");
        row("no such units", 12, "7", "0 1", "7");
    }
    // A stored limit is shown and saved back as the same number, whatever the units' decimals.
    void resultLimit()
    {
        QFETCH(int, units);
        QFETCH(QString, stored);
        QFETCH(QString, spin);
        QFETCH(QString, saved);
        m_db.insert("INSERT INTO EmailConfig (Name, resultLimit) VALUES ('Limit', ?)", {stored});
        TDBEmailConfigForm form(nullptr, m_db.db.get(), units);
        runAndClose(form);
        auto *limit = child<QDoubleSpinBox>(&form, "sbResultLimit");
        QCOMPARE(limit->value(), stored.toDouble());
        QCOMPARE(QString::number(limit->decimals()) + ' ' + QString::number(limit->singleStep()), spin);
        click(&form, "pbSave"); // Edit
        QCOMPARE(click(&form, "pbSave"), QStringList());
        QCOMPARE(m_db.value("SELECT resultLimit FROM EmailConfig"), saved);
    }
    void deletions_data()
    {
        QTest::addColumn<int>("kind");  // 0 a device, 1 a location, 2 an e-mail config
        QTest::addColumn<int>("users"); // device configs that use it; -1: a location uses it
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("seen");
        QTest::addColumn<QString>("left"); // devices, locations, e-mail configs, device configs
        const auto row = [](const char *name, int kind, int users, int answer, const char *seen,
                            const char *left) {
            QTest::newRow(name) << kind << users << answer << seen << left;
        };
        const char *const three =
            "3 device configs use this e-mail config and will be deleted with it. Delete?";
        row("device with its config", 0, 1, QMessageBox::Yes,
            "Deleting a device will remove all associated database items, including log records.", "1 1 1 1");
        row("location, unused", 1, 0, QMessageBox::Yes, "Confirm Deletion?", "1 0 1 1");
        row("location, one config", 1, 1, QMessageBox::Yes,
            "1 device config uses this location and will be deleted with it. Delete?", "2 0 1 1");
        row("e-mail config, three configs", 2, 3, QMessageBox::Yes, three, "4 1 0 1");
        row("Enter answers No", 2, 3, QMessageBox::NoButton, three, "4 1 1 4");
        row("e-mail config a location uses", 2, -1, QMessageBox::Yes,
            "Confirm Deletion?|Error Deleting: Failed to delete.\nFOREIGN KEY", "0 1 1 0");
    }
    // A record's device configs go with it, as the question says (how many: a location's, an e-mail
    // config's); a config using the other kind stays. An e-mail config a location uses is kept.
    void deletions()
    {
        QFETCH(int, kind);
        QFETCH(int, users);
        QFETCH(int, answer);
        QFETCH(QString, seen);
        QFETCH(QString, left);
        const qint64 mail = m_db.email("Mail"), depot = m_db.location("Depot", users < 0 ? mail : QVariant());
        for (int i = 0; i <= users; ++i) {
            const bool usesMail = (kind == 2) == (i < users);
            m_db.config(m_db.device(QStringLiteral("0000000%1").arg(i)), QString(),
                        usesMail ? QVariant() : depot, usesMail ? mail : QVariant());
        }
        std::unique_ptr<QDialog> form;
        if (kind == 0)
            form = std::make_unique<TDBDeviceForm>(nullptr, m_db.db.get());
        else if (kind == 1)
            form = std::make_unique<TDBLocationConfigForm>(nullptr, m_db.db.get(), zones);
        else
            form = std::make_unique<TDBEmailConfigForm>(nullptr, m_db.db.get(), 0);
        runAndClose(*form);
        const QString boxes = click(form.get(), "pbDelete", {QMessageBox::StandardButton(answer)}).join('|');
        QVERIFY2(boxes.startsWith("Deletion: " + seen, Qt::CaseInsensitive), qPrintable(boxes));
        QCOMPARE(
            m_db.value(
                "SELECT (SELECT count(*) FROM Devices) || ' ' || (SELECT count(*) FROM Location) || "
                "' ' || (SELECT count(*) FROM EmailConfig) || ' ' || (SELECT count(*) FROM DeviceConfigs)"),
            left);
    }
};

QTEST_MAIN(TestRecordEditors)
#include "tst_recordeditors.moc"
