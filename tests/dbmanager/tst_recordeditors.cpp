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

QComboBox *box(QWidget *form, const char *name)
{
    return child<QComboBox>(form, name);
}

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
        const QString invalid = "Serial number must be 8 digits long, numbers only";
        QTest::newRow("offered zeros") << QString() << QString();
        QTest::newRow("seven digits") << QString("1234567") << invalid;
        QTest::newRow("ends in a letter") << QString("1234567x") << invalid;
        QTest::newRow("serial exists") << QString("00000001") << QString("UNIQUE");
        QTest::newRow("transaction cannot begin")
            << QString("open") << QString("Failed to begin transaction: ");
    }
    void addDevice()
    {
        QFETCH(QString, serial);
        QFETCH(QString, error);
        m_db.device("00000001");
        TDBDeviceForm form(nullptr, m_db.db.get());
        runAndClose(form);
        click(&form, "pbNew");
        if (serial == "open") // a transaction is open already
            QVERIFY(m_db.db->Sql()->beginTransaction().ok);
        else if (!serial.isEmpty())
            enter(&form, "leSerial=" + serial);
        const QString seen = click(&form, "pbSave").join('|');
        QVERIFY(serial != "open" || m_db.db->Sql()->rollbackTransaction().ok);
        QVERIFY2(error.isEmpty() ? seen.isEmpty()
                                 : seen.startsWith(saveError("").at(0)) && seen.contains(error),
                 qPrintable(seen));
        QCOMPARE(
            m_db.value("SELECT group_concat(serial || connected || state) FROM Devices WHERE DevicesID > 1"),
            error.isEmpty() ? (serial.isEmpty() ? "00000000" : serial) + "06" : "NULL");
    }
    // Devices are added and deleted only; a deletion takes the device's
    // config along, after a question that says so.
    void deleteDevice()
    {
        const qint64 kept = m_db.device("00000001"), gone = m_db.device("00000009");
        m_db.config(gone, "Gate");
        m_db.config(kept, "Door");
        TDBDeviceForm form(nullptr, m_db.db.get());
        runAndClose(form);
        QVERIFY(child(&form, "pbDuplicate")->isHidden() && !child(&form, "pbSave")->isEnabled());
        QVERIFY(selectId(box(&form, "cbRecords"), gone));
        QCOMPARE(click(&form, "pbDelete", {QMessageBox::Yes}),
                 QStringList("Deletion: Deleting a device will remove all associated database items, "
                             "including log records.\n\nConfirm Deletion?"));
        QCOMPARE(m_db.value("SELECT (SELECT group_concat(serial) FROM Devices) || "
                            "(SELECT group_concat(DeviceName) FROM DeviceConfigs)"),
                 "00000001Door");
    }
    // A new config is offered the devices without one; it is stored with its
    // device's key and the keys of the chosen location and e-mail config, and
    // shown after the save among the others.
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
        QVERIFY(!box(&form, "cbSerial")->isEnabled()); // the device of a stored config is fixed

        click(&form, "pbNew");
        QCOMPARE(itemTexts(box(&form, "cbSerial")), QStringList({"00000012", "00000099"}));
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
        click(&form, "pbSave"); // Edit; the config is deleted meanwhile
        m_db.db->Sql()->exec("DELETE FROM DeviceConfigs WHERE DevicesID = ?", {second});
        QCOMPARE(click(&form, "pbSave"), saveError("Unable to find this config."));
        click(&form, "pbDelete"); // Cancel

        QVERIFY(selectId(box(&form, "cbRecords"), first));
        click(&form, "pbDelete", {QMessageBox::Yes}); // the device stays
        QCOMPARE(m_db.value("SELECT (SELECT count(*) FROM DeviceConfigs) || (SELECT count(*) FROM Devices)"),
                 "03");
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
    // A location shows its own zone, one that the list lacks or this machine
    // does not know too (the machine's zone when it has none), and Save writes
    // that back beside another e-mail config; the next location shows the list again.
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
        QVERIFY(selectId(box(&form, "cbRecords"), odd));
        QCOMPARE(shown(&form, "cbTimezone"), zone);
        click(&form, "pbSave"); // Edit
        enter(&form, "cbEmail=None");
        QCOMPARE(click(&form, "pbSave"), QStringList());
        QCOMPARE(
            m_db.value("SELECT Timezone || ifnull(EmailConfigID, ' none') FROM Location WHERE LocationID = ?",
                       {odd}),
            zone + " none");
        QVERIFY(selectId(box(&form, "cbRecords"), perth));
        QCOMPARE(itemTexts(box(&form, "cbTimezone")), list);
    }
    // Addresses are checked as they are added; a configuration is stored with
    // its fields, and needs no address at all. The next one shows its own.
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
              std::tuple("leSMSAddress", "pbAddSMSAddress", "0400@sms.net", "")}) {
            enter(&form, input + QStringLiteral("=") + address);
            QCOMPARE(click(&form, button).join(""), QString(seen));
        }
        child<QListWidget>(&form, "lwToAddresses")->item(0)->setSelected(true);
        click(&form, "pbRemoveAddress");
        child<QListWidget>(&form, "lwSMSAddresses")->selectAll();
        click(&form, "pbRemoveSMSAddress");
        enter(&form, "leName=Mail");
        QCOMPARE(click(&form, "pbSave"), saveError("An email configuration with this name already exists"));
        enter(&form, "leName=");
        QCOMPARE(click(&form, "pbSave"), saveError("Email Config name cannot be empty"));
        const QString message = QString::fromUtf8("\xc3\x9c"
                                                  "ber dem Grenzwert");
        enter(&form,
              "leName=" + awkward + ";leSubject=Result 'high';leMessage=" + message + ";sbResultLimit=0.08");
        QCOMPARE(click(&form, "pbSave"), QStringList());
        QCOMPARE(
            m_db.value("SELECT ifnull(toAddresses, 'NULL') || ';' || ifnull(SMSAddress, 'NULL') || ';' || "
                       "subject || ';' || message || ';' || resultLimit FROM EmailConfig WHERE Name = ?",
                       {awkward}),
            "c@d.org;NULL;Result 'high';" + message + ";0.08");
        QVERIFY(selectId(box(&form, "cbRecords"), mail + 1));
        QCOMPARE(shown(&form, "leName;lwToAddresses;lwSMSAddresses;leSubject;leMessage;sbResultLimit"),
                 awkward + ";c@d.org;;Result 'high';" + message + ";0.08");
        QVERIFY(selectId(box(&form, "cbRecords"), mail));
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
    // The units give the limit's decimals; a stored limit is shown and saved
    // back as the same number, whatever they allow.
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
    void deleteNamesTheDeviceConfigsGoingAlong_data()
    {
        QTest::addColumn<bool>("emailConfig"); // else a location
        QTest::addColumn<int>("users");        // device configs that use it; -1: a location uses it
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("seen");
        const auto row = [](const char *name, bool emailConfig, int users, int answer, const char *seen) {
            QTest::newRow(name) << emailConfig << users << answer << seen;
        };
        const char *const three =
            "3 device configs use this e-mail config and will be deleted with it. Delete?";
        row("location, unused", false, 0, QMessageBox::Yes, "Confirm Deletion?");
        row("location, one config", false, 1, QMessageBox::Yes,
            "1 device config uses this location and will be deleted with it. Delete?");
        row("e-mail config, three configs", true, 3, QMessageBox::Yes, three);
        row("Enter answers No", true, 3, QMessageBox::NoButton, three);
        row("e-mail config a location uses", true, -1, QMessageBox::Yes,
            "Confirm Deletion?|Error Deleting: Failed to delete.\nFOREIGN KEY");
    }
    // The database deletes the device configs that use a location or e-mail
    // config with it, and the question says how many; one more config uses
    // the other kind of record and stays. An e-mail config that a location
    // uses is refused.
    void deleteNamesTheDeviceConfigsGoingAlong()
    {
        QFETCH(bool, emailConfig);
        QFETCH(int, users);
        QFETCH(int, answer);
        QFETCH(QString, seen);
        const qint64 mail = m_db.email("Mail"), depot = m_db.location("Depot", users < 0 ? mail : QVariant());
        for (int i = 0; i <= users; ++i) {
            const bool usesMail = emailConfig == (i < users);
            m_db.config(m_db.device(QStringLiteral("0000000%1").arg(i)), QString(),
                        usesMail ? QVariant() : depot, usesMail ? mail : QVariant());
        }
        const std::unique_ptr<QDialog> form(
            emailConfig ? static_cast<QDialog *>(new TDBEmailConfigForm(nullptr, m_db.db.get(), 0))
                        : new TDBLocationConfigForm(nullptr, m_db.db.get(), zones));
        runAndClose(*form);
        const QString boxes = click(form.get(), "pbDelete", {QMessageBox::StandardButton(answer)}).join('|');
        QVERIFY2(boxes.startsWith("Deletion: " + seen, Qt::CaseInsensitive), qPrintable(boxes));
        const bool deleted = answer == QMessageBox::Yes && users >= 0;
        QCOMPARE(
            m_db.value(emailConfig ? "SELECT count(*) FROM EmailConfig" : "SELECT count(*) FROM Location"),
            deleted ? "0" : "1");
        QCOMPARE(m_db.value("SELECT count(*) FROM DeviceConfigs").toInt(), deleted ? 1 : users + 1);
        QCOMPARE(box(form.get(), "cbRecords")->count(), deleted ? 0 : 1);
    }
};

QTEST_MAIN(TestRecordEditors)
#include "tst_recordeditors.moc"
