#include "recordeditorfixture.h"
#include "tdbdeviceconfigform.h"
#include "tdbdeviceform.h"

#include <QCheckBox>

using Veltrix::TDBDeviceConfigForm;
using Veltrix::TDBDeviceForm;
using Veltrix::TEditorItem;
using Veltrix::Database::TDeviceConfig;

namespace {

// Keeps the item the editor handed back after a save.
class ConfigProbe : public TDBDeviceConfigForm
{
public:
    using TDBDeviceConfigForm::TDBDeviceConfigForm;
    TEditorItem lastSaved;

protected:
    QString SaveItem(TEditorItem &item) override
    {
        const QString error = TDBDeviceConfigForm::SaveItem(item);
        lastSaved = item;
        return error;
    }
};

} // namespace

class TestDeviceEditors : public QObject
{
    Q_OBJECT

private:
    RecordEditorFixture m_fx;
    int m_run = 0;

private slots:
    void init() { QVERIFY(m_fx.create(QStringLiteral("devices%1").arg(++m_run))); }

    void addDevice_data();
    void addDevice();
    void saveRefusedByDatabase_data();
    void saveRefusedByDatabase();
    void deleteDeviceCascades_data();
    void deleteDeviceCascades();

    void newConfigOffersOnlyDevicesWithoutConfig();
    void saveNewConfig_data();
    void saveNewConfig();
    void editStoredConfig();
    void duplicateAndDeleteConfig();
    void configItemText();
};

void TestDeviceEditors::addDevice_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("default zeros") << QString() << true;
    QTest::newRow("eight digits") << QStringLiteral("20261206") << true;
    QTest::newRow("seven digits") << QStringLiteral("1234567") << false;
    QTest::newRow("ends in a letter") << QStringLiteral("1234567x") << false;
    QTest::newRow("minus sign") << QStringLiteral("-1234567") << false;
    QTest::newRow("leading blank") << QStringLiteral(" 1234567") << false;
}

void TestDeviceEditors::addDevice()
{
    QFETCH(QString, serial);
    QFETCH(bool, accepted);
    TDBDeviceForm form(nullptr, m_fx.db.get());
    runAndClose(form);
    QVERIFY(click(form, "pbNew").isEmpty());
    auto *edit = child<QLineEdit>(form, "leSerial");
    QCOMPARE(edit->text(), QStringLiteral("00000000"));
    if (!serial.isEmpty())
        edit->setText(serial);
    const QString typed = edit->text();

    const auto seen = click(form, "pbSave");
    if (!accepted) {
        VERIFY_SAVE_ERROR(seen, QStringLiteral("Serial number must be 8 digits long, numbers only"));
        QCOMPARE(child<QPushButton>(form, "pbSave")->text(), QStringLiteral("Save")); // still editing
        QCOMPARE(edit->text(), typed);
        QCOMPARE(m_fx.count(QStringLiteral("Devices")), 0);
        return;
    }
    QVERIFY(seen.isEmpty());
    QCOMPARE(m_fx.value(QStringLiteral("SELECT serial || '|' || connected || '|' || state FROM Devices")),
             typed + QStringLiteral("|0|6"));
    QCOMPARE(itemTexts(child<QComboBox>(form, "cbRecords")), QStringList{typed});
}

void TestDeviceEditors::saveRefusedByDatabase_data()
{
    QTest::addColumn<bool>("serialExists");
    QTest::addColumn<QString>("reason");
    QTest::newRow("serial exists") << true << QStringLiteral("UNIQUE");
    QTest::newRow("transaction cannot begin") << false << QStringLiteral("Failed to begin transaction: ");
}

void TestDeviceEditors::saveRefusedByDatabase()
{
    QFETCH(bool, serialExists);
    QFETCH(QString, reason);
    if (serialExists)
        m_fx.device(QStringLiteral("00000000"));
    TDBDeviceForm form(nullptr, m_fx.db.get());
    runAndClose(form);
    click(form, "pbNew");
    if (!serialExists)
        QVERIFY(m_fx.sql()->beginTransaction().ok); // a transaction is already open
    const auto seen = click(form, "pbSave");
    if (!serialExists)
        QVERIFY(m_fx.sql()->rollbackTransaction().ok);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().title, QStringLiteral("Error Saving"));
    QVERIFY2(seen.first().text.startsWith(QStringLiteral("Failed to save.\n")) &&
                 seen.first().text.contains(reason),
             qPrintable(seen.first().text));
    QCOMPARE(m_fx.count(QStringLiteral("Devices")), serialExists ? 1 : 0);
}

void TestDeviceEditors::deleteDeviceCascades_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("yes") << int(QMessageBox::Yes);
    QTest::newRow("no") << int(QMessageBox::No);
}

// The device editor hides Duplicate and disables Edit; a deletion takes
// the device's logs, images and config along.
void TestDeviceEditors::deleteDeviceCascades()
{
    QFETCH(int, answer);
    const qint64 kept = m_fx.device(QStringLiteral("00000001"));
    const qint64 gone = m_fx.device(QStringLiteral("00000009"));
    m_fx.config(gone, QStringLiteral("Gate"));
    m_fx.config(kept, QStringLiteral("Door"));
    const qint64 log =
        m_fx.insert(QStringLiteral("INSERT INTO DeviceLogs (DevicesID, date, time, serial, type) "
                                   "VALUES (?, '2026-01-01', '10:00:00', '00000009', 'Breath')"),
                    {gone});
    m_fx.insert(QStringLiteral("INSERT INTO DeviceImages (DeviceLogsID, imageNo) VALUES (?, 1)"), {log});

    TDBDeviceForm form(nullptr, m_fx.db.get());
    runAndClose(form);
    QVERIFY(child<QPushButton>(form, "pbDuplicate")->isHidden());
    QVERIFY(!child<QPushButton>(form, "pbSave")->isEnabled()); // Edit
    QCOMPARE(itemTexts(child<QComboBox>(form, "cbRecords")), (QStringList{"00000001", "00000009"}));
    QVERIFY(selectId(child<QComboBox>(form, "cbRecords"), gone));
    const auto seen = click(form, "pbDelete", {QMessageBox::StandardButton(answer)});
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().title, QStringLiteral("Deletion"));
    QCOMPARE(seen.first().text, QStringLiteral("Deleting a device will remove all associated database items, "
                                               "including log records.\n\nConfirm Deletion?"));

    const bool deleted = answer == QMessageBox::Yes;
    QCOMPARE(m_fx.count(QStringLiteral("Devices")), deleted ? 1 : 2);
    QCOMPARE(m_fx.count(QStringLiteral("DeviceLogs")), deleted ? 0 : 1);
    QCOMPARE(m_fx.count(QStringLiteral("DeviceImages")), deleted ? 0 : 1);
    QCOMPARE(m_fx.value(QStringLiteral("SELECT group_concat(DeviceName) FROM DeviceConfigs")),
             deleted ? QStringLiteral("Door") : QStringLiteral("Gate,Door"));
    QCOMPARE(child<QComboBox>(form, "cbRecords")->count(), deleted ? 1 : 2);
}

void TestDeviceEditors::newConfigOffersOnlyDevicesWithoutConfig()
{
    const qint64 a = m_fx.device(QStringLiteral("00000001"));
    m_fx.device(QStringLiteral("00000003"));
    m_fx.device(QStringLiteral("00000002"));
    m_fx.config(a, QStringLiteral("First"));

    TDBDeviceConfigForm form(nullptr, m_fx.db.get());
    runAndClose(form);
    auto *serials = child<QComboBox>(form, "cbSerial");
    // Browsing shows the stored config's device among all devices, fixed.
    QCOMPARE(serials->count(), 3);
    QCOMPARE(serials->currentText(), QStringLiteral("00000001"));
    QVERIFY(!serials->isEnabled());

    click(form, "pbNew");
    QCOMPARE(itemTexts(serials), (QStringList{"00000002", "00000003"}));
    QCOMPARE(serials->currentIndex(), -1);
    QVERIFY(serials->isEnabled());
    child<QLineEdit>(form, "leName")->setText(QStringLiteral("Second"));
    VERIFY_SAVE_ERROR(click(form, "pbSave"),
                      QStringLiteral("Please select an existing device serial number."));
    serials->setCurrentIndex(0);
    QVERIFY(click(form, "pbSave").isEmpty());

    click(form, "pbNew"); // the device now has a config
    QCOMPARE(itemTexts(serials), QStringList{"00000003"});
    QCOMPARE(m_fx.count(QStringLiteral("DeviceConfigs")), 2);
}

void TestDeviceEditors::saveNewConfig_data()
{
    QTest::addColumn<bool>("withLocation");
    QTest::addColumn<bool>("withEmail");
    QTest::addColumn<bool>("amongOthers"); // another config is listed first
    QTest::newRow("location and e-mail") << true << true << false;
    QTest::newRow("None and None") << false << false << false;
    QTest::newRow("among others") << true << false << true;
}

void TestDeviceEditors::saveNewConfig()
{
    QFETCH(bool, withLocation);
    QFETCH(bool, withEmail);
    QFETCH(bool, amongOthers);
    const qint64 device = m_fx.device(QStringLiteral("00000012")); // leading zeros
    const qint64 other = m_fx.device(QStringLiteral("00000099"));
    if (amongOthers)
        m_fx.config(other, QStringLiteral("Aaa"));
    const qint64 mailB = m_fx.email(QStringLiteral("B mail"));
    m_fx.email(QStringLiteral("A mail"));
    const qint64 depot = m_fx.location(QStringLiteral("Depot"));
    m_fx.location(QStringLiteral("Annex"));

    ConfigProbe form(nullptr, m_fx.db.get());
    runAndClose(form);
    auto *locations = child<QComboBox>(form, "cbLocation");
    auto *emails = child<QComboBox>(form, "cbEmail");
    QCOMPARE(itemTexts(locations), (QStringList{"None", "Annex", "Depot"}));
    QCOMPARE(itemTexts(emails), (QStringList{"None", "A mail", "B mail"}));

    click(form, "pbNew");
    QCOMPARE(locations->currentIndex(), 0);
    QCOMPARE(emails->currentIndex(), 0);
    QVERIFY(child<QCheckBox>(form, "cbEnabled")->isChecked());
    QVERIFY(selectId(child<QComboBox>(form, "cbSerial"), device));
    child<QLineEdit>(form, "leName")->setText(awkwardName);
    child<QLineEdit>(form, "leHostname")->setText(QStringLiteral("gate-pc"));
    child<QCheckBox>(form, "cbEnabled")->setChecked(false);
    if (withLocation)
        QVERIFY(selectId(locations, depot));
    if (withEmail)
        QVERIFY(selectId(emails, mailB));
    QVERIFY(click(form, "pbSave").isEmpty());

    QCOMPARE(m_fx.value(QStringLiteral("SELECT DeviceName FROM DeviceConfigs WHERE DevicesID = ?"), {device}),
             awkwardName);
    QCOMPARE(m_fx.value(QStringLiteral(
                            "SELECT HostName || '|' || Disabled || '|' || ifnull(LocationID, 'NULL') "
                            "|| '|' || ifnull(EmailConfigID, 'NULL') FROM DeviceConfigs WHERE DevicesID = ?"),
                        {device}),
             QStringLiteral("gate-pc|1|%1|%2")
                 .arg(withLocation ? QString::number(depot) : QStringLiteral("NULL"),
                      withEmail ? QString::number(mailB) : QStringLiteral("NULL")));
    // The stored row is read back by its serial, a text with leading zeros that only a quoted
    // literal finds (else "Unknown Serial"), and shown.
    QCOMPARE(form.lastSaved.text, QStringLiteral("00000012 - ") + awkwardName +
                                      (withLocation ? QStringLiteral(" - Location: Depot") : QString()));
    QCOMPARE(form.lastSaved.data.toLongLong(), device);
    QCOMPARE(child<QComboBox>(form, "cbRecords")->currentData().toLongLong(), device);
    QCOMPARE(child<QLineEdit>(form, "leName")->text(), awkwardName);
    QVERIFY(!child<QCheckBox>(form, "cbEnabled")->isChecked());
}

void TestDeviceEditors::editStoredConfig()
{
    const qint64 device = m_fx.device(QStringLiteral("00000001"));
    const qint64 other = m_fx.device(QStringLiteral("00000002"));
    const qint64 depot = m_fx.location(QStringLiteral("Depot"));
    m_fx.config(other, QStringLiteral("Aaa"));
    m_fx.config(device, QStringLiteral("Zzz"), depot);

    ConfigProbe form(nullptr, m_fx.db.get());
    runAndClose(form);
    QVERIFY(selectId(child<QComboBox>(form, "cbRecords"), device));
    QCOMPARE(child<QComboBox>(form, "cbLocation")->currentText(), QStringLiteral("Depot"));
    QCOMPARE(child<QComboBox>(form, "cbSerial")->currentText(), QStringLiteral("00000001"));

    click(form, "pbSave"); // Edit
    QVERIFY(!child<QComboBox>(form, "cbSerial")->isEnabled());
    child<QLineEdit>(form, "leName")->clear();
    VERIFY_SAVE_ERROR(click(form, "pbSave"), QStringLiteral("Device name cannot be empty"));
    child<QComboBox>(form, "cbLocation")->setCurrentIndex(0); // None
    child<QLineEdit>(form, "leName")->setText(QStringLiteral("Renamed"));
    QVERIFY(click(form, "pbSave").isEmpty());
    QCOMPARE(m_fx.count(QStringLiteral("DeviceConfigs")), 2);
    QCOMPARE(m_fx.value(QStringLiteral("SELECT DeviceName || '|' || ifnull(LocationID, 'NULL') FROM "
                                       "DeviceConfigs WHERE DevicesID = ?"),
                        {device}),
             QStringLiteral("Renamed|NULL"));
    QCOMPARE(form.lastSaved.text, QStringLiteral("00000001 - Renamed"));
    QCOMPARE(child<QComboBox>(form, "cbRecords")->currentData().toLongLong(), device);

    // A config deleted meanwhile cannot be saved.
    click(form, "pbSave"); // Edit
    m_fx.sql()->exec(QStringLiteral("DELETE FROM DeviceConfigs WHERE DevicesID = ?"), {device});
    VERIFY_SAVE_ERROR(click(form, "pbSave"), QStringLiteral("Unable to find this config."));
    QCOMPARE(m_fx.count(QStringLiteral("DeviceConfigs")), 1);
}

void TestDeviceEditors::duplicateAndDeleteConfig()
{
    const qint64 first = m_fx.device(QStringLiteral("00000001"));
    const qint64 second = m_fx.device(QStringLiteral("00000002"));
    const qint64 depot = m_fx.location(QStringLiteral("Depot"));
    m_fx.config(first, QStringLiteral("Door"), depot);

    TDBDeviceConfigForm form(nullptr, m_fx.db.get());
    runAndClose(form);
    QVERIFY(click(form, "pbDuplicate").isEmpty());
    QCOMPARE(child<QLineEdit>(form, "leName")->text(), QStringLiteral("Door_Copy"));
    QCOMPARE(child<QComboBox>(form, "cbLocation")->currentText(), QStringLiteral("Depot"));
    QCOMPARE(itemTexts(child<QComboBox>(form, "cbSerial")), QStringList{"00000002"});
    child<QComboBox>(form, "cbSerial")->setCurrentIndex(0);
    QVERIFY(click(form, "pbSave").isEmpty());
    QCOMPARE(m_fx.value(QStringLiteral("SELECT DeviceName || '|' || LocationID FROM DeviceConfigs WHERE "
                                       "DevicesID = ?"),
                        {second}),
             QStringLiteral("Door_Copy|%1").arg(depot));

    // Deleting a config keeps its device.
    QVERIFY(selectId(child<QComboBox>(form, "cbRecords"), first));
    const auto seen = click(form, "pbDelete", {QMessageBox::Yes});
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().text, QStringLiteral("Confirm Deletion?"));
    QCOMPARE(m_fx.value(QStringLiteral("SELECT group_concat(DevicesID) FROM DeviceConfigs")),
             QString::number(second));
    QCOMPARE(m_fx.count(QStringLiteral("Devices")), 2);
    QCOMPARE(child<QComboBox>(form, "cbRecords")->count(), 1);
}

void TestDeviceEditors::configItemText()
{
    const qint64 device = m_fx.device(QStringLiteral("00000001"));
    const qint64 depot = m_fx.location(QStringLiteral("Depot"));
    TDBDeviceConfigForm form(nullptr, m_fx.db.get());
    runAndClose(form);
    TDeviceConfig config;
    config.setName(QStringLiteral("Door"));
    config.setId(device + 50);
    config.setLocationId(depot + 50);
    QCOMPARE(form.ConfigItemText(config), QStringLiteral("Unknown Serial - Door"));
    config.setId(device);
    config.setName(QString());
    config.setLocationId(depot);
    QCOMPARE(form.ConfigItemText(config), QStringLiteral("00000001 - Location: Depot"));
}

QTEST_MAIN(TestDeviceEditors)
#include "tst_deviceeditors.moc"
