#include "recordeditorfixture.h"
#include "tdbemailconfigform.h"
#include "tdblocationconfigform.h"

#include <QDoubleSpinBox>
#include <QListWidget>
#include <QTimeZone>

using Veltrix::TDBEmailConfigForm;
using Veltrix::TDBLocationConfigForm;

namespace {

QStringList entries(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

const QStringList zones{QStringLiteral("Australia/Perth"), QStringLiteral("Pacific/Auckland")};

} // namespace

class TestLocationEmailEditors : public QObject
{
    Q_OBJECT

private:
    RecordEditorFixture m_fx;
    int m_run = 0;

private slots:
    void init() { QVERIFY(m_fx.create(QStringLiteral("sites%1").arg(++m_run))); }

    void newLocation_data();
    void newLocation();
    void storedLocation();
    void storedZoneKept_data();
    void storedZoneKept();
    void duplicateLocation();

    void addAddresses();
    void saveEmailConfig();
    void resultLimitDecimals_data();
    void resultLimitDecimals();
    void storedLimitSurvivesEditing_data();
    void storedLimitSurvivesEditing();
    void deleteNamesTheDeviceConfigsGoingAlong_data();
    void deleteNamesTheDeviceConfigsGoingAlong();
    void deleteRefusedByDatabase();
};

void TestLocationEmailEditors::newLocation_data()
{
    QTest::addColumn<bool>("withEmail");
    QTest::newRow("e-mail config") << true;
    QTest::newRow("None") << false;
}

void TestLocationEmailEditors::newLocation()
{
    QFETCH(bool, withEmail);
    const qint64 mailB = m_fx.email(QStringLiteral("B mail")); // first key, second by name
    m_fx.email(QStringLiteral("A mail"));
    m_fx.location(QStringLiteral("Depot"));
    TDBLocationConfigForm form(nullptr, m_fx.db.get(), zones);
    runAndClose(form);
    auto *emails = child<QComboBox>(form, "cbEmail");
    auto *zoneBox = child<QComboBox>(form, "cbTimezone");
    auto *name = child<QLineEdit>(form, "leName");
    QCOMPARE(itemTexts(emails), (QStringList{"None", "A mail", "B mail"}));
    QCOMPARE(itemTexts(zoneBox).mid(0, zones.size()), zones);

    click(form, "pbNew");
    QCOMPARE(emails->currentIndex(), 0);
    VERIFY_SAVE_ERROR(click(form, "pbSave"), QStringLiteral("Location name cannot be empty"));
    name->setText(QStringLiteral("Depot"));
    VERIFY_SAVE_ERROR(click(form, "pbSave"), QStringLiteral("A location with this name already exists"));
    name->setText(awkwardName);
    if (withEmail)
        QVERIFY(selectId(emails, mailB));
    zoneBox->setCurrentIndex(1);
    QVERIFY(click(form, "pbSave").isEmpty());

    QCOMPARE(m_fx.value(QStringLiteral("SELECT name FROM Location WHERE name <> 'Depot'")), awkwardName);
    QCOMPARE(
        m_fx.value(QStringLiteral("SELECT Timezone || '|' || ifnull(EmailConfigID, 'NULL') FROM Location "
                                  "WHERE name <> 'Depot'")),
        QStringLiteral("Pacific/Auckland|") + (withEmail ? QString::number(mailB) : QStringLiteral("NULL")));
    // Shown again, the stored location reads as saved.
    QVERIFY(selectId(
        child<QComboBox>(form, "cbRecords"),
        m_fx.value(QStringLiteral("SELECT LocationID FROM Location WHERE name <> 'Depot'")).toLongLong()));
    QCOMPARE(name->text(), awkwardName);
    QCOMPARE(emails->currentText(), withEmail ? QStringLiteral("B mail") : QStringLiteral("None"));
    QCOMPARE(zoneBox->currentText(), QStringLiteral("Pacific/Auckland"));
}

void TestLocationEmailEditors::storedLocation()
{
    const qint64 mail = m_fx.email(QStringLiteral("Mail"));
    const qint64 depot = m_fx.location(QStringLiteral("Depot"), mail);
    m_fx.location(QStringLiteral("Annex"));
    TDBLocationConfigForm form(nullptr, m_fx.db.get(), zones);
    runAndClose(form);
    QVERIFY(selectId(child<QComboBox>(form, "cbRecords"), depot));
    QCOMPARE(child<QComboBox>(form, "cbEmail")->currentText(), QStringLiteral("Mail"));

    // A stored location may take the name of another one.
    click(form, "pbSave"); // Edit
    child<QLineEdit>(form, "leName")->setText(QStringLiteral("Annex"));
    child<QComboBox>(form, "cbEmail")->setCurrentIndex(0);
    QVERIFY(click(form, "pbSave").isEmpty());
    QCOMPARE(m_fx.value(QStringLiteral("SELECT name || '|' || ifnull(EmailConfigID, 'NULL') FROM Location "
                                       "WHERE LocationID = ?"),
                        {depot}),
             QStringLiteral("Annex|NULL"));
}

void TestLocationEmailEditors::storedZoneKept_data()
{
    QTest::addColumn<QVariant>("stored"); // null: no zone
    QTest::addColumn<bool>("listHoldsSystemZone");
    QTest::newRow("not in the list") << QVariant("Europe/Oslo") << false;
    QTest::newRow("unknown to this machine") << QVariant("Mars/Olympus") << false;
    QTest::newRow("none, system zone listed") << QVariant() << true;
    QTest::newRow("none, system zone not listed") << QVariant() << false;
}

// A location shows its own zone, also one that the list lacks or this machine does not know (the
// machine's zone when it has none), and Save writes that back; the next location shows the list again.
void TestLocationEmailEditors::storedZoneKept()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, listHoldsSystemZone);
    const QString systemZone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    QStringList list{QStringLiteral("Australia/Perth"), QStringLiteral("Pacific/Auckland")};
    if (listHoldsSystemZone)
        list << systemZone;
    const qint64 perth = m_fx.location(QStringLiteral("A Perth"));
    const qint64 odd = m_fx.location(QStringLiteral("B Odd"));
    const QString setZone = QStringLiteral("UPDATE Location SET Timezone = ? WHERE LocationID = ?");
    m_fx.sql()->exec(setZone, {QStringLiteral("Australia/Perth"), perth});
    m_fx.sql()->exec(setZone, {stored, odd});
    const QString shown = stored.isNull() ? systemZone : stored.toString();

    TDBLocationConfigForm form(nullptr, m_fx.db.get(), list);
    runAndClose(form);
    auto *zoneBox = child<QComboBox>(form, "cbTimezone");
    QVERIFY(selectId(child<QComboBox>(form, "cbRecords"), odd));
    QCOMPARE(zoneBox->currentText(), shown);
    click(form, "pbSave"); // Edit
    QVERIFY(click(form, "pbSave").isEmpty());
    QCOMPARE(m_fx.value(QStringLiteral("SELECT Timezone FROM Location WHERE LocationID = ?"), {odd}), shown);
    QVERIFY(selectId(child<QComboBox>(form, "cbRecords"), perth));
    QCOMPARE(itemTexts(zoneBox), list);
}

void TestLocationEmailEditors::duplicateLocation()
{
    const qint64 mail = m_fx.email(QStringLiteral("Mail"));
    m_fx.location(QStringLiteral("Depot"), mail);
    TDBLocationConfigForm form(nullptr, m_fx.db.get(), zones);
    runAndClose(form);

    QVERIFY(click(form, "pbDuplicate").isEmpty());
    QCOMPARE(child<QLineEdit>(form, "leName")->text(), QStringLiteral("Depot_Copy"));
    QCOMPARE(child<QComboBox>(form, "cbEmail")->currentText(), QStringLiteral("Mail"));
    QVERIFY(click(form, "pbSave").isEmpty());
    QCOMPARE(m_fx.value(QStringLiteral("SELECT count(*) FROM Location WHERE EmailConfigID = ?"), {mail}),
             QStringLiteral("2"));
}

void TestLocationEmailEditors::addAddresses()
{
    TDBEmailConfigForm form(nullptr, m_fx.db.get(), 0);
    runAndClose(form);
    click(form, "pbNew");

    struct Case
    {
        bool sms;
        QString address;
        bool valid;
    };
    const QList<Case> cases{{false, QString(), false},
                            {false, QStringLiteral("not-an-address"), false},
                            {true, QStringLiteral("a@b.com "), false},
                            {false, QStringLiteral("first@site.com"), true},
                            {false, QStringLiteral("second@site.com"), true},
                            {true, QStringLiteral("0400@sms.net"), true}};
    for (const Case &c : cases) {
        auto *input = child<QLineEdit>(form, c.sms ? "leSMSAddress" : "leToAddress");
        auto *list = child<QListWidget>(form, c.sms ? "lwSMSAddresses" : "lwToAddresses");
        const QStringList before = entries(list);
        input->setText(c.address);
        const auto seen = click(form, c.sms ? "pbAddSMSAddress" : "pbAddAddress");
        if (c.valid) {
            QVERIFY(seen.isEmpty());
            QCOMPARE(entries(list), QStringList(before) << c.address);
            QVERIFY(input->text().isEmpty());
        } else {
            QCOMPARE(seen.size(), 1);
            QCOMPARE(seen.first().title, QStringLiteral("Error"));
            QCOMPARE(seen.first().text, c.sms ? QStringLiteral("Invalid \"SMS\" Address")
                                              : QStringLiteral("Invalid \"To\" Address"));
            QCOMPARE(entries(list), before);
            QCOMPARE(input->text(), c.address);
        }
    }

    auto *toList = child<QListWidget>(form, "lwToAddresses");
    toList->item(0)->setSelected(true);
    click(form, "pbRemoveAddress");
    QCOMPARE(entries(toList), QStringList{"second@site.com"});
    child<QListWidget>(form, "lwSMSAddresses")->selectAll();
    click(form, "pbRemoveSMSAddress");
    QCOMPARE(child<QListWidget>(form, "lwSMSAddresses")->count(), 0);
}

void TestLocationEmailEditors::saveEmailConfig()
{
    const qint64 mail = m_fx.email(QStringLiteral("Mail"));
    TDBEmailConfigForm form(nullptr, m_fx.db.get(), 10);
    runAndClose(form);
    auto *name = child<QLineEdit>(form, "leName");
    auto *toList = child<QListWidget>(form, "lwToAddresses");
    const QString stored =
        QStringLiteral("SELECT ifnull(toAddresses, 'NULL') || '|' || SMSAddress || '|' || subject || '|' || "
                       "message || '|' || resultLimit FROM EmailConfig WHERE Name = ?");

    click(form, "pbNew");
    name->setText(QStringLiteral("Mail"));
    VERIFY_SAVE_ERROR(click(form, "pbSave"),
                      QStringLiteral("An email configuration with this name already exists"));
    name->clear();
    VERIFY_SAVE_ERROR(click(form, "pbSave"), QStringLiteral("Email Config name cannot be empty"));
    name->setText(awkwardName);
    for (const QString &address : {QStringLiteral("a@b.com"), QStringLiteral("c@d.org")}) {
        child<QLineEdit>(form, "leToAddress")->setText(address);
        click(form, "pbAddAddress");
    }
    child<QLineEdit>(form, "leSMSAddress")->setText(QStringLiteral("0400@sms.net"));
    click(form, "pbAddSMSAddress");
    child<QLineEdit>(form, "leSubject")->setText(QStringLiteral("Result 'high'"));
    child<QLineEdit>(form, "leMessage")->setText(QStringLiteral("Über dem Grenzwert"));
    child<QDoubleSpinBox>(form, "sbResultLimit")->setValue(0.08);
    QVERIFY(click(form, "pbSave").isEmpty());
    QCOMPARE(m_fx.value(stored, {awkwardName}),
             QStringLiteral("a@b.com,c@d.org|0400@sms.net|Result 'high'|Über dem Grenzwert|0.08"));

    // Edit: shown as stored, saved back in place; no address is required.
    QVERIFY(selectId(
        child<QComboBox>(form, "cbRecords"),
        m_fx.value(QStringLiteral("SELECT EmailConfigID FROM EmailConfig WHERE Name = ?"), {awkwardName})
            .toLongLong()));
    QCOMPARE(entries(toList), (QStringList{"a@b.com", "c@d.org"}));
    click(form, "pbSave"); // Edit
    toList->selectAll();
    click(form, "pbRemoveAddress");
    QVERIFY(click(form, "pbSave").isEmpty());
    QCOMPARE(m_fx.count(QStringLiteral("EmailConfig")), 2);
    QVERIFY(m_fx.value(stored, {awkwardName}).startsWith(QStringLiteral("NULL|0400@sms.net|")));

    QVERIFY(selectId(child<QComboBox>(form, "cbRecords"), mail));
    QVERIFY(click(form, "pbDuplicate").isEmpty());
    QCOMPARE(name->text(), QStringLiteral("Mail_Copy"));
    QCOMPARE(entries(toList), QStringList{"a@b.com"});
    QVERIFY(click(form, "pbSave").isEmpty());
    QCOMPARE(m_fx.value(QStringLiteral("SELECT toAddresses FROM EmailConfig WHERE Name = 'Mail_Copy'")),
             QStringLiteral("a@b.com"));
}

void TestLocationEmailEditors::resultLimitDecimals_data()
{
    QTest::addColumn<int>("units");
    QTest::addColumn<int>("decimals");
    const int expected[] = {3, 3, 2, 2, 2, 2, 0, 0, 0, 2, 3, 3};
    for (int units = 0; units < 12; ++units)
        QTest::addRow("units %d", units) << units << expected[units];
    QTest::newRow("units -1") << -1 << 0;
    QTest::newRow("units 12") << 12 << 0;
}

void TestLocationEmailEditors::resultLimitDecimals()
{
    QFETCH(int, units);
    QFETCH(int, decimals);
    TDBEmailConfigForm form(nullptr, m_fx.db.get(), units);
    runAndClose(form);
    auto *limit = child<QDoubleSpinBox>(form, "sbResultLimit");
    QCOMPARE(limit->decimals(), decimals);
    QVERIFY(qFuzzyCompare(limit->singleStep(), std::pow(10.0, -decimals)));
}

void TestLocationEmailEditors::storedLimitSurvivesEditing_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("units");
    QTest::addColumn<QString>("saved");
    QTest::newRow("above Qt's default maximum") << "220" << 7 << "220";
    QTest::newRow("four digits") << "1234" << 0 << "1234";
    QTest::newRow("finer than the units") << "0.05" << 7 << "0.05";
    QTest::newRow("above the usual range") << "2500000" << 9 << "2500000";
    QTest::newRow("old exponent form") << "1.23e+03" << 0 << "1230";
}

// A stored limit is shown and saved back as the same number, whatever the units' decimals.
void TestLocationEmailEditors::storedLimitSurvivesEditing()
{
    QFETCH(QString, stored);
    QFETCH(int, units);
    QFETCH(QString, saved);
    m_fx.insert(QStringLiteral("INSERT INTO EmailConfig (Name, resultLimit) VALUES ('Limit', ?)"), {stored});
    TDBEmailConfigForm form(nullptr, m_fx.db.get(), units);
    runAndClose(form);
    QCOMPARE(child<QDoubleSpinBox>(form, "sbResultLimit")->value(), stored.toDouble());
    click(form, "pbSave"); // Edit
    QVERIFY(click(form, "pbSave").isEmpty());
    QCOMPARE(m_fx.value(QStringLiteral("SELECT resultLimit FROM EmailConfig")), saved);
}

void TestLocationEmailEditors::deleteNamesTheDeviceConfigsGoingAlong_data()
{
    QTest::addColumn<bool>("emailConfig"); // else a location
    QTest::addColumn<int>("users");        // device configs that use it
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question");
    const int yes = QMessageBox::Yes;
    QTest::newRow("location, unused") << false << 0 << yes << "Confirm Deletion?";
    QTest::newRow("location, one config")
        << false << 1 << yes << "1 device config uses this location and will be deleted with it. Delete?";
    const QString three =
        QStringLiteral("3 device configs use this e-mail config and will be deleted with it. Delete?");
    QTest::newRow("e-mail config, three configs") << true << 3 << yes << three;
    QTest::newRow("Enter answers No") << true << 3 << int(QMessageBox::NoButton) << three;
}

// The database deletes the device configs that use a location or e-mail config with it: the
// question says how many. One more config uses the other kind of record and stays.
void TestLocationEmailEditors::deleteNamesTheDeviceConfigsGoingAlong()
{
    QFETCH(bool, emailConfig);
    QFETCH(int, users);
    QFETCH(int, answer);
    QFETCH(QString, question);
    const qint64 mail = m_fx.email(QStringLiteral("Mail"));
    const qint64 depot = m_fx.location(QStringLiteral("Depot"));
    for (int i = 0; i <= users; ++i) {
        const bool usesMail = emailConfig == (i < users);
        m_fx.insert(QStringLiteral("INSERT INTO DeviceConfigs (DevicesID, LocationID, EmailConfigID) "
                                   "VALUES (?, ?, ?)"),
                    {m_fx.device(QStringLiteral("0000000%1").arg(i)), usesMail ? QVariant() : depot,
                     usesMail ? mail : QVariant()});
    }
    std::unique_ptr<QDialog> form;
    if (emailConfig)
        form = std::make_unique<TDBEmailConfigForm>(nullptr, m_fx.db.get(), 0);
    else
        form = std::make_unique<TDBLocationConfigForm>(nullptr, m_fx.db.get(), zones);
    runAndClose(*form);

    const auto seen = click(*form, "pbDelete", {QMessageBox::StandardButton(answer)});
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().text, question);
    const bool deleted = answer == QMessageBox::Yes;
    QCOMPARE(m_fx.count(emailConfig ? QStringLiteral("EmailConfig") : QStringLiteral("Location")),
             deleted ? 0 : 1);
    QCOMPARE(m_fx.count(QStringLiteral("DeviceConfigs")), deleted ? 1 : users + 1);
}

void TestLocationEmailEditors::deleteRefusedByDatabase()
{
    const qint64 mail = m_fx.email(QStringLiteral("Mail"));
    m_fx.location(QStringLiteral("Depot"), mail);
    TDBEmailConfigForm form(nullptr, m_fx.db.get(), 0);
    runAndClose(form);
    const auto seen = click(form, "pbDelete", {QMessageBox::Yes});
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen.at(1).title, QStringLiteral("Error Deleting"));
    QVERIFY2(seen.at(1).text.startsWith(QStringLiteral("Failed to delete.\n")) &&
                 seen.at(1).text.contains(QStringLiteral("FOREIGN KEY"), Qt::CaseInsensitive),
             qPrintable(seen.at(1).text));
    QCOMPARE(m_fx.count(QStringLiteral("EmailConfig")), 1);
    QCOMPARE(child<QComboBox>(form, "cbRecords")->count(), 1);

    // Once no location uses it, it goes.
    m_fx.sql()->exec(QStringLiteral("UPDATE Location SET EmailConfigID = NULL"));
    QCOMPARE(click(form, "pbDelete", {QMessageBox::Yes}).size(), 1);
    QCOMPARE(m_fx.count(QStringLiteral("EmailConfig")), 0);
}

QTEST_MAIN(TestLocationEmailEditors)
#include "tst_locationemaileditors.moc"
